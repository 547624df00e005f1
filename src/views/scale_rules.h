#pragma once
// The vertical scale of the 3D view and the window limits, without widgets.
//
// The graph's aspect ratio is the drawn length of the longest horizontal axis
// over the drawn height. The user gives it in one of two ways:
//   type 0 "Pixels":   a value p stands for the ratio 1 / p (p is the drawn
//                      height over the drawn longest horizontal side);
//   type 1 "Distance": a value d stands for the ratio (1 / d) * H / V, with H
//                      the longer horizontal span and V the vertical span of
//                      the view, so d is the vertical exaggeration against the
//                      true spans (1 draws the box in its true proportions).
//
// A ratio of 0, a negative or a non-finite one draws nothing at all, so every
// rule below gives 0 for "no usable ratio" and the callers then keep the
// ratio the graph has.

#include "views/view3d_rules.h"

#include <QStringList>

#include <vector>

namespace scale {

enum Type { Pixels = 0, Distance = 1 };

// Horizontal and vertical spans of the view.
struct Spans
{
    double H = 0;  // max(x span, y span)
    double V = 0;  // depth span
    // Both spans positive and finite, so that "Distance" values can be used.
    bool usable() const;
};
Spans view_spans(const view3d::ViewBounds& b);

// The aspect ratio for a value of the given type; 0 when the value is not a
// positive finite number or, for "Distance", the spans are not usable.
double aspect_ratio(int type, double value, const Spans& spans);

// The value of the given type that stands for an aspect ratio (the inverse
// of aspect_ratio); 0 when the ratio or, for "Distance", the spans are not
// usable.
double value_for_ratio(int type, double ratio, const Spans& spans);

// The value after the type is switched to new_type, so that it keeps
// describing the same ratio: times H / V on the way to "Distance", times
// V / H on the way back to "Pixels". Unchanged when the spans are not usable.
double convert_value(double value, int new_type, const Spans& spans);

// ---------------------------------------------------------------------------
// Window limits {xmin, xmax, ymin, ymax, zmin, zmax}

// The six limits as typed, in record order; a field that does not read as a
// number gives 0. Fewer than six texts give an empty record.
std::vector<double> limits_from_texts(const QStringList& texts);

// The texts shown for a record of limits (six significant digits); empty
// texts for a record of fewer than six values.
QStringList texts_from_limits(const std::vector<double>& limits);

// View bounds that fit a cube: each axis from the smaller to the larger of
// its first and last node. False (and `out` unchanged) when a node vector is
// empty.
bool bounds_from_nodes(const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<double>& z, view3d::ViewBounds& out);

// View bounds that fit the horizons: x and y from the grid record {nx, ny, x
// first, x last, y first, y last, ...}, depth from 0 to the deepest point.
// False (and `out` unchanged) for a record of fewer than six values.
bool bounds_from_horizons(const std::vector<double>& horizons_params, double deepest, view3d::ViewBounds& out);

// The bounds widened to take in an extent (of the faults).
using view3d::widened;

}  // namespace scale
