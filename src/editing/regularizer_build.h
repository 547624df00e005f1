#pragma once
// Regularizers built from the layered model on the density grid's geometry.
//
// The layer of a cell is found by the layer search (layers::layer_search):
// at the cell's node, the first layer m with horizon m <= z < horizon m + 1,
// the last layer when there is none. The layer's top is horizon m, its
// bottom horizon m + 1, and for the last layer the deepest level depth (the
// last entry of z). d = bottom - top is the local thickness of the layer.
//
//  - Central regularizer: exp(-t^2 / s^2) with t = (z - top - d / 2) / d the
//    distance from the layer's mid-depth in units of the local thickness and
//    s = width / 2.35482; so the cell is 1/2 where |t| = width / (2 sqrt 2).
//    The thickness-based variant multiplies it by d / T_m, T_m the largest
//    thickness of layer m over the model.
//  - Gradient regularizer: with G_i the magnitude of the horizontal gradient
//    of horizon i, the cell interpolates linearly in depth between G_m^(1/4)
//    at the top and G_(m+1)^(1/4) at the bottom (0 at the bottom of the last
//    layer); the grid is then scaled so that its largest cell is 1.
//
// A cell whose layer has no positive local thickness there (the bottom of
// the last layer at or above its top) gets 0.
#include "common/types.h"

#include <functional>
#include <vector>

namespace regularizers {

// The factor between a Gaussian's full width at half maximum and its
// standard deviation.
constexpr double kWidthFactor = 2.35482;

enum class BuildStatus {
    Ok,
    NoGrid,      // the density grid is empty or ragged
    NoHorizons,  // no horizon to build from
    Mismatch     // horizons (or gradient maps) without the grid's rows and columns, or z without one depth per level
};

// Called before each level with the share of levels done (0 to 99).
using LevelProgress = std::function<void(int percent)>;

// The largest thickness of every layer: for a layer above the last, the
// maximum over all nodes of horizon m + 1 - horizon m; for the last layer
// `z_bottom` minus the shallowest node of the last horizon.
std::vector<double> largest_layer_thickness(const std::vector<field2D>& horizons, double z_bottom);

// The central regularizer on the shape of `grid` (whose cells are not read),
// with z the depth of every level. `thickness_amplitude` selects the
// thickness-based variant. A width of 0 gives 1 exactly at the mid-depth and
// 0 elsewhere; a negative width acts as its magnitude.
BuildStatus central_regularizer(const vector3D& grid, const std::vector<double>& z,
                                const std::vector<field2D>& horizons, double width, bool thickness_amplitude,
                                vector3D& out, const LevelProgress& before_level = LevelProgress());

// The gradient regularizer from one gradient-magnitude map per horizon
// (each with the grid's rows and columns). When every cell is 0 (flat
// horizons) the grid is left unscaled.
BuildStatus gradient_regularizer(const vector3D& grid, const std::vector<double>& z,
                                 const std::vector<field2D>& horizons, const std::vector<field2D>& gradients,
                                 vector3D& out, const LevelProgress& before_level = LevelProgress());

}  // namespace regularizers
