#pragma once
// The constraints of the 3D inversion's model-filling stage: in-place edits
// of the padded space-domain model, applied once per iteration between the
// inverse and the forward transform of the levels.
//
// The padded model is nz levels of My rows by Mx columns (a real grid of
// densities and an imaginary grid), the model window occupying rows py ..
// py+ny-1 and columns px .. px+nx-1. Every constraint treats all padded
// cells: padded cell (jj, ii) belongs to the model node at row
// clamp(jj - py, 0, ny - 1) and column clamp(ii - px, 0, nx - 1), so the
// padding takes the data of the nearest edge node.
//
// The initial density of a cell is den_grid[k][r][s] at its node: the model
// as it was when the run started. Level k lies at depth z0 + k * dz, taken
// in double precision from the level nodes, and its layer at a node is
// found with layers::layer_search in double precision as well.
//
// Each function checks that what it reads fits the padded model and the
// window; when it does not, it changes nothing and returns false.
#include "common/types.h"

#include <functional>
#include <vector>

namespace constraints {

// Called before each level; the main window processes pending events there.
using LevelHook = std::function<void()>;

// Where the model sits inside the padded grid.
struct ModelWindow {
    int nx = 0, ny = 0; // model columns and rows
    int px = 0, py = 0; // first padded column and row of the model
};

// The node-wise layer of depth z at node (r, s): the first layer l = 0 ..
// H-2 with horizons[l] <= z < horizons[l+1]; the last layer when there is
// none (a depth above horizon 0 included); 0 with fewer than two horizons.
int node_layer(const std::vector<field2D>& horizons, int r, int s, double z);

// The sign mask: one flag per model cell (index (k * ny + r) * nx + s), true
// where the source cell is above 0. Source 0 is den_grid; source 1 is the
// regularizer when it has den_grid's level, row and column counts. Any other
// case returns false with the mask emptied: the run then goes without the
// sign constraint.
bool build_sign_mask(int source, const vector3D& den_grid, const vector3D& regularizer,
                     std::vector<unsigned char>& mask);

// Fixed layers: a cell whose node-wise layer is fixed takes its initial
// density; the imaginary value of every cell becomes 0. Flags beyond `fixed`
// count as free. Needs horizons on the model's rows and columns.
bool restore_fixed_layers(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                          const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0,
                          double dz, const LevelHook& before_level = {});

// Positive density: with `positive` on, a cell below its initial density
// takes it. The imaginary value of every cell becomes 0.
bool apply_positive_density(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                            bool positive, const LevelHook& before_level = {});

// Blend towards the initial model with the initial regularizer of `type`:
// 0 den_grid itself, 1 den_grid minus each level's mean, 2 minus each
// level's minimum; b is the largest magnitude (0), grid_max_deviation (1) or
// grid_max_layer_range (2) of den_grid. Every cell becomes
// ref + (value - ref) * |R| / b, ref being the reference model at its node;
// the imaginary value becomes 0; inside the window the reference takes the
// new value (the scan goes through the padded rows and columns in order, so
// padding after the window blends against the updated edge values). Another
// type, or b that is not a positive number, changes nothing.
bool blend_initial_model(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         vector3D& reference, int type, const LevelHook& before_level = {});

// Blend by the uploaded regularizer: as above with |regularizer| / g, g its
// largest magnitude. Nothing happens when the regularizer and the reference
// differ in shape or g is not a positive number.
bool blend_uploaded_regularizer(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& regularizer,
                                vector3D& reference, const LevelHook& before_level = {});

// True when a lower (upper) density limit binds at all: a number above
// -open_limit (below open_limit). The dialog gives an open field that value.
bool lower_limit_binds(double lower);
bool upper_limit_binds(double upper);

// Density limits: a cell below the lower limit takes it, otherwise a cell
// above the upper limit takes that (limits rounded to single precision). An
// open limit, or one that is not a number, leaves its side unbounded. The
// imaginary grid is not touched.
bool apply_density_limits(vector3D& re, double lower, double upper, const LevelHook& before_level = {});

// Sign constraint with the mask of build_sign_mask. Type 0 (sign-direction):
// where the mask is set a cell may only rise above its initial density,
// elsewhere only fall below it. Type 1 (keep sign): where the mask is set a
// negative cell becomes 0, elsewhere a positive one does. Another type
// changes nothing. The imaginary grid is not touched.
bool apply_sign_constraint(vector3D& re, const ModelWindow& w, const vector3D& den_grid,
                           const std::vector<unsigned char>& mask, int type, const LevelHook& before_level = {});

// The lateral kind: per layer and node the vertical mean of the model
// window's values of the levels in that layer at that node; every cell then
// takes the mean of its node-wise layer, or its initial density when that
// layer is fixed or, with `positive` on, when the mean is negative. The
// imaginary value becomes 0. Without horizons every level is in layer 0.
bool apply_lateral_means(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0, double dz,
                         bool positive, const LevelHook& before_level = {});

// The working arrays of the lateral means, kept by the run from one
// iteration to the next: the node-wise layer of every model cell (found at
// the first call, the same for every iteration) and per layer and node the
// sum and count of the vertical mean.
struct LateralMeansWork {
    std::vector<int> layer;
    std::vector<double> mean;
    std::vector<int> count;
    // The layers the means are taken over for `horizons` horizons.
    int layers = 0;
};
int lateral_means_layers(int horizons);
// The bytes of those arrays for a model window of nz x ny x nx cells and
// `layers` layers: what the run's workspace holds.
double lateral_means_bytes(int nz, int ny, int nx, int layers);
// The same means on the run's workspace: its arrays are made at the first
// call and reused.
bool apply_lateral_means(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0, double dz,
                         bool positive, LateralMeansWork& work, const LevelHook& before_level = {});

} // namespace constraints
