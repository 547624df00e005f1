#pragma once
// The layered model: horizons splitting the model volume into layers, one
// density, one fixed flag and one name per layer, the rules that give a
// depth its layer or its grid level, the density grid built from the layers
// and the per-layer maps read back from the density grid.
//
// Horizons are [horizon][row][column] depths in metres (positive down).
// Horizon i is the top of layer i; layer i reaches down to horizon i + 1
// and the last layer to the bottom of the model. Horizon 0 is a constant
// surface at the model top added together with the first horizon.
//
// Everything here is plain computation on the grids it is given; the main
// window's slots read their members, call these and report.
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

#include "common/types.h"

namespace layers {

// ---------------------------------------------------------------------------
// Layer lists

// The five lists of the layered model, kept in step: one horizon, one
// density, one flag and one name per layer, plus the horizons' common
// geometry {nx, ny, x first, x last, y first, y last[, z min, z max]}.
struct LayerLists {
    std::vector<field2D>& horizons;
    std::vector<double>& params;
    std::vector<double>& densities;
    std::vector<bool>& fixed;
    std::vector<QString>& names;
};

// Two horizon geometries are the same when their first six values differ
// by at most this much.
constexpr double kGeometryTolerance = 1e-5;

// True when both records hold six values or more and none of the first
// six differs by more than the tolerance.
bool same_geometry(const std::vector<double>& a, const std::vector<double>& b,
                   double tolerance = kGeometryTolerance);

// True when the record holds at least six values and the grid has exactly
// (int) params[1] rows of (int) params[0] cells.
bool horizon_fits_params(const field2D& horizon, const std::vector<double>& params);

// Mean depth of a horizon: the sum of its nodes over rows * first-row cells.
double mean_depth(const field2D& horizon);

// Where a new horizon goes among the others: the first index whose mean
// depth is not less than the new one's, or the count when it is deeper
// than all of them.
std::size_t insertion_index(const std::vector<field2D>& horizons, const field2D& horizon);

enum class AddResult {
    AddedFirst,        // the model was empty: horizon 0 at the top plus the new one
    Inserted,          // placed among the others by its mean depth
    GeometryMismatch,  // another geometry than the stored horizons: nothing changed
    BadHorizon         // the grid does not have the rows and columns its record gives
};

// Adds a horizon with density 0, not fixed and an empty name. The first
// horizon also stores `params` whole as the common geometry and brings
// horizon 0, a constant surface at `top_depth`, before it.
AddResult add_horizon(LayerLists& lists, const field2D& horizon, const std::vector<double>& params,
                      double top_depth);

enum class DeleteResult {
    NotRemoved,  // index 0 (the model top) or outside the horizons
    Removed,     // horizon and its layer entries removed
    Emptied      // at most one horizon was left, so the whole model was emptied
};

// Removes horizon i (0 < i < count) with its entries in the layer lists.
DeleteResult delete_horizon(LayerLists& lists, int i);

// Empties all five lists.
void clear_layers(LayerLists& lists);

// True when the density, flag and name lists each hold one entry per horizon.
bool lists_in_step(const LayerLists& lists);

// Replaces a per-layer list by the given values only when they hold one
// entry per layer; returns false (and changes nothing) otherwise, so that
// a table built for another set of layers cannot shift or cut the lists.
template <typename T>
bool assign_per_layer(std::vector<T>& target, const std::vector<T>& values, std::size_t layer_count)
{
    if (values.size() != layer_count)
        return false;
    target = values;
    return true;
}

// A layer name as the project file keeps it: stored as UTF-8, a name holds
// every character (NULs and line breaks too) except half a surrogate pair
// standing alone, which UTF-8 cannot encode; each such half becomes U+FFFD
// here, where a name is entered, so a saved name reads back as it was.
QString storable_name(const QString& name);

// ---------------------------------------------------------------------------
// Depth rules
//
// A density grid has Nz levels with node depths z; z0 = z[0] and the level
// step is z[1] - z[0] (0 for a single level). All comparisons are in
// double; a depth exactly on a horizon belongs to the layer below it.

// Depth of level k by the level step: z0 + k * step.
double level_depth(const std::vector<double>& z, int k);

// Level at or above depth d: trunc((d - z0) / step). With a zero step (a
// single level) it is 0 at or below z0 and -1 above it. The result may lie
// outside the levels; callers test it.
int level_at_or_above(double d, double z0, double step);

// Level at or below depth d: the level at or above, plus one when d lies
// below that level's depth. With a zero step it is 0 at or above z0 and 1
// below it.
int level_at_or_below(double d, double z0, double step);

// The bottom of the last layer.
enum class LastBottom {
    Open,      // no lower bound
    Extended,  // the last level's depth plus the level step: the last level is inside
    LastNode   // the last level's depth itself: the last level is outside
};
double last_layer_bottom(LastBottom kind, const std::vector<double>& z);

// Layer slab: true when horizon n <= depth < bottom at the node, the
// bottom being horizon n + 1, or `last_bottom` for the last layer.
bool in_layer_slab(const std::vector<field2D>& horizons, int n, std::size_t row, std::size_t column,
                   double depth, double last_bottom);

// Layer search: the first m in 0 .. N-2 with horizon m <= depth <
// horizon m+1 at the node; the last layer when there is none (also for a
// depth above horizon 0); 0 with one horizon; -1 without horizons.
int layer_search(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double depth);

// Layer walk down the given level depths at one node: the layer starts at
// 0 and advances past every horizon the depth has reached (depth >=
// horizon m+1), several at once where horizons cross. Returns one layer
// index per level.
std::vector<int> layer_walk(const std::vector<field2D>& horizons, std::size_t row, std::size_t column,
                            const std::vector<double>& level_depths);

// ---------------------------------------------------------------------------
// Density grid from the layers

struct VerticalParams {
    double minZ = 0;
    double maxZ = 0;
    double dz = 0;
};

enum class BuildStatus {
    Ok,
    NoHorizons,          // nothing to build from
    BadGeometry,         // horizons of unequal sizes, a short geometry record or one density per layer missing
    BadVertical,         // maximum depth not below the minimum, or a step that is not positive
    DeepestAboveTop,     // the defaults from the deepest horizon give no level
    OutOfMemory
};

// Level count of a grid from minZ down to maxZ in steps of dz:
// whole_steps((maxZ - minZ) / dz) + 1 (common/grid_geometry.h); 0 when the
// parameters give no level.
std::size_t level_count(const VerticalParams& v);
// The same count in double, however large (0 when the parameters give no
// level): what a size check compares with its limit.
double level_count_unbounded(const VerticalParams& v);

// The defaults of effective_vertical alone: when maxZ or dz is 0, maxZ
// becomes the largest depth of the last horizon and dz maxZ / 50. False
// (and `v` unchanged) when the last horizon gives no depth.
bool apply_vertical_defaults(const std::vector<field2D>& horizons, VerticalParams& v);

// The vertical parameters a grid would be built with: when maxZ or dz is
// 0, maxZ becomes the largest depth of the last horizon and dz maxZ / 50.
// Returns Ok only for parameters that give at least one level.
BuildStatus effective_vertical(const std::vector<field2D>& horizons, VerticalParams& v);

struct LayerGrid {
    vector3D cells;
    std::vector<double> x, y, z;
};

// Builds the density grid of the layered model: the horizons' rows and
// columns, x and y nodes spread evenly over the geometry record, levels
// from minZ down by dz, each cell holding the density of the layer the
// layer walk gives it. On Ok `v` holds the parameters used (defaults
// included); otherwise `v` and `out` are unchanged.
BuildStatus build_grid_from_layers(const std::vector<field2D>& horizons, const std::vector<double>& params,
                                   const std::vector<double>& densities, VerticalParams& v, LayerGrid& out);

// ---------------------------------------------------------------------------
// Filling one layer of an existing grid

enum class FillStatus {
    Ok,
    NotReady,     // no grid, no horizons, or horizons not on the grid's rows and columns
    BadLayer,     // no layer of that index
    BadMap,       // the map does not have the grid's rows and columns
    Interrupted   // the grid or the horizons changed size while the fill waited between levels
};

// Called before each level; the main window processes pending events there.
using LevelHook = std::function<void()>;

// Adds d to every cell of layer n (slab with the extended bottom).
FillStatus add_to_layer(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                        int n, double d, const LevelHook& before_level = {});
// Sets every cell of layer n to d.
FillStatus set_layer_value(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                           int n, double d, const LevelHook& before_level = {});
// Sets every cell of layer n to the map's value at its node.
FillStatus set_layer_from_map(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                              int n, const field2D& map, const LevelHook& before_level = {});
// The checks the three fills make before they touch a cell.
FillStatus layer_fill_ready(const vector3D& grid, const std::vector<double>& z,
                            const std::vector<field2D>& horizons, int n);

// ---------------------------------------------------------------------------
// Layer maps and horizon samples of the density grid

// One map per horizon holding the grid cell at or just below the horizon
// (0 where that level lies outside the grid). Returns false and leaves
// `maps` alone when the grid or the horizons are missing or do not match.
bool lateral_density_maps(const vector3D& grid, const std::vector<double>& z,
                          const std::vector<field2D>& horizons, std::vector<field2D>& maps);

// The density at the mid-depth of layer n at every node (the last layer's
// bottom is the last level). Empty (no rows) when there is no grid, no
// horizons, n is not a layer or the horizons do not match the grid.
field2D layer_central_density(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n);

enum class MapStatus { Ok, BadLayer, Mismatch };

// The mean of the cells of layer n at every node (levels with top <= z <
// bottom; the last layer's bottom is the last level, which never counts);
// 0 where no level qualifies. `out` is emptied unless the result is Ok.
MapStatus layer_vertical_mean(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n, field2D& out);

enum class SampleStatus { Ok, BadIndex, OutOfModel, Mismatch };

// The densities just above (top) and at or just below (bottom) horizon n
// at every node. OutOfModel when a node lies within the first level
// interval or at or below the last-but-one level; the nodes before it stay
// filled. Mismatch when the horizons do not sit on the grid.
SampleStatus sample_around_horizon(const vector3D& grid, const std::vector<double>& z,
                                   const std::vector<field2D>& horizons, int n, vector2D& top, vector2D& bottom);

// Refills the cells a moved horizon has crossed: where it rose (after <
// before) the cells with after <= z < before take `bottom`; where it sank
// the cells with before <= z < after take `top`. Nodes whose depth is not a
// number are left alone. Returns false, changing nothing, when the four
// maps do not have the grid's rows and columns or z does not have one
// depth per level.
bool fill_after_horizon_change(vector3D& grid, const std::vector<double>& z, const vector2D& top,
                               const vector2D& bottom, const field2D& before, const field2D& after);

// The indicator plane of layer nl at depth z_top on a padded grid: real
// cell 1 where horizon nl <= z_top < upper (horizon nl + 1, or `bottom`
// for the last layer) at the model node that the padded cell maps to, 0
// elsewhere; the imaginary plane is set to zeros of the same shape. Padded
// cell (r, j) maps to model row clamp(r - nfbot, 0, ny - 1) and column
// clamp(j - nfleft, 0, nx - 1), so the margins repeat the edge nodes.
// Nothing happens when nl is not a layer.
void layer_indicator_plane(const std::vector<field2D>& horizons, double z_top, vector2D& real, vector2D& imag,
                           int nl, int ny, int nx, int nfbot, int nfleft, double bottom);

}  // namespace layers
