#pragma once
// The numerical core of horizon fitting: one horizon of the layered model is
// moved node by node so that the calculated field approaches the observed
// one, with the densities just above and below it held fixed.
//
// Each pass takes the residual r (calculated minus observed, mean removed)
// and proposes at every node
//     proposed = depth - r / R * G * (top - bottom) / M
// with R the observed range, M the largest density contrast along the
// horizon and G = R * s / 0.0419 / 5 (s the step scale; 0.0419 mGal is the
// attraction of an infinite slab 1 m thick of 1 g/cm3). R and G cancel but
// for rounding, so the step is r * s * (top - bottom) / (0.0419 * 5 * M)
// metres: a positive residual over a denser lower layer moves the surface
// down.
//
// A proposed depth is taken only where it is a finite number and keeps the
// horizon between its neighbours (not above the horizon above it, not below
// the horizon below it); elsewhere the node keeps its depth for the pass.
// The density grid is then refilled between the old and the accepted
// surface, so the grid always follows the horizon.
#include "common/types.h"

#include <vector>

// The slab attraction used to scale the step (mGal per metre per g/cm3).
constexpr double horizon_fit_slab_mgal = 0.0419;

struct HorizonFitScales
{
    double range = 0;     // R: largest minus smallest observed value (mGal)
    double contrast = 0;  // M: the larger of |min D| and max D, D = bottom - top
    double gain = 0;      // G = R * s / 0.0419 / 5
};

// The scales of a run. `top` and `bottom` are the densities just above and
// below the horizon; M is 0 unless both have one shape. The observed field
// must not be empty.
HorizonFitScales horizon_fit_scales(const field2D& observed, const vector2D& top, const vector2D& bottom,
                                    double step_scale);

// residual = calculated - observed, then its mean (sum of all cells over
// rows times the length of row 0) removed. False, with `residual` left
// alone, when the two fields do not have one shape.
bool horizon_fit_residual(const field2D& calculated, const field2D& observed, field2D& residual);

// The proposed depths of every node of `horizon` (see the top of the file),
// the density difference formed in single precision and the rest in double.
// A flat observed field or a horizon without contrast gives values that are
// not numbers. `proposed` becomes the horizon's shape. All grids must share
// the horizon's rows and columns.
void propose_horizon_depths(const field2D& horizon, const field2D& residual, const vector2D& top,
                            const vector2D& bottom, const HorizonFitScales& scales, field2D& proposed);

// The accepted surface of a pass: the proposed depth where it is finite, at
// or below `above` and (when `below` is given) at or above `below`; the old
// depth elsewhere. Returns the number of nodes whose depth changes.
int accept_horizon_depths(const field2D& horizon, const field2D& proposed, const field2D& above,
                          const field2D* below, field2D& accepted);
