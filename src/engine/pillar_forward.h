#pragma once
// Space-domain forward calculation of the layered model: every node's
// column of cells is summed as a pillar of unit-cell effects, and prisms
// reaching 1e7 m beyond the grid carry every layer on laterally with the
// layering of the nearest edge node.
#include "common/types.h"
#include "engine/forward.h"

#include <vector>

// Distance (m) to which the lateral prisms reach beyond the grid.
constexpr double pillar_lateral_reach = 1e7;

// x, y, z: the model's node coordinates (z: level tops, evenly spaced);
// horizons: [horizon][row][column] depths, each Ny x Nx; densities: one per
// layer (per horizon). The horizons are taken by value: the snapping of
// their depths to whole multiples of dz stays inside the calculation.
// `result` becomes Ny x Nx (mGal) on completion and is left untouched
// otherwise. `progress` is called once per node row of the pillar sum.
ForwardStatus pillar_forward(const std::vector<double>& x, const std::vector<double>& y,
                             const std::vector<double>& z, std::vector<field2D> horizons,
                             const std::vector<double>& densities, double calc_level,
                             field2D& result, const ForwardProgress& progress = ForwardProgress());
