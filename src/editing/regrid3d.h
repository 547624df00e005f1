#pragma once
// Resampling of a cube onto a new regular lattice by taking one old node per
// new node: horizontally the nearest one (an exact half step goes to the
// upper node), vertically the level at or above the new level's depth.
//
// The new lattice is a regrid_params record {minX, maxX, dx, minY, maxY, dy,
// minZ, maxZ, dz}. An axis with minimum m, step s and maximum M has
// n = trunc((M - m) / s) + 1 nodes at m + i * s. The old lattice of a cube is
// read from its node vectors: the first node and the difference of the first
// two (a single node has no step and serves every new node).
//
// Every truncation here counts a position within the node tolerance of a
// whole step (whole_steps, common/grid_geometry.h) as that step, so a level
// or a maximum a rounding error short of a node is that node: a regrid onto
// the lattice a cube already has gives the cube back unchanged.
#include "common/types.h"

#include <functional>
#include <vector>

namespace regrid {

// Number of values of a regrid_params record.
constexpr std::size_t kRegridRecordSize = 9;

// Cells a resampled cube may hold at most (about 6 GB of float cells).
constexpr double kMaxRegridCells = 1.5e9;

// Node count of an axis: whole_steps((max - min) / step) + 1; 0 when the
// values are not finite numbers, the step is 0 or the count does not fit an
// int.
int axis_count(double min, double max, double step);

// The maximum of an axis of `count` nodes from `min` by `step`: the last
// node, min + (count - 1) * step, or `max` itself when that node lies within
// the node tolerance of it (so a maximum typed on a node comes back as typed).
double snapped_max(double min, double max, double step, int count);

// The step an axis of `count` nodes from `first` to `last` is shown with in
// a dialog: the decimal with the fewest significant digits near `step`
// that, taken count - 1 times from `first`, ends on `last` to within the
// rounding of the node coordinates, so it describes the axis's own nodes (24.691224 rather than the
// 24.691224000000034 that two computed nodes differ by); `step` itself when
// no shorter decimal does, or for fewer than two nodes.
double shown_step(double first, double last, int count, double step);

// The nodes i * step + min for i = 0 .. count - 1.
std::vector<double> lattice_nodes(double min, double step, int count);

enum class ParamsStatus {
    Ok,
    ShortRecord,  // fewer than nine values
    BadValue,     // a value that is not a finite number, a step that is not positive or an axis without a node
    TooLarge      // more than kMaxRegridCells cells
};

// Checks a regrid_params record; on Ok sets the three node counts.
ParamsStatus check_regrid_params(const std::vector<double>& params, int& nx, int& ny, int& nz);

// The new 2D lattice of a regrid_params record: {nx, ny, minX, maxX, minY,
// maxY} (a grid_geometry). Empty for a record that check_regrid_params
// refuses.
std::vector<double> regrid_geometry(const std::vector<double>& params);

// Called before each new level with the share of levels done (0 to 99);
// the main window repaints its progress bar there.
using LevelProgress = std::function<void(int percent)>;

// A cube resampled onto a new lattice, with its node vectors.
struct RegriddedCube {
    vector3D cells;
    std::vector<double> x, y, z;
    // The old level each new level was taken from.
    std::vector<int> source_levels;
};

// True when the cube already lies on the lattice of `params`: the same node
// counts and, on every axis, first and last nodes within the node tolerance
// of the record's. Such a cube needs no resampling.
bool cube_on_lattice(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& z, const std::vector<double>& params);

// Per-level values (such as the regularizer's level offsets) carried to the
// new levels: entry k is values[source_levels[k]]. Empty when a source level
// lies outside `values`.
std::vector<double> resample_levels(const std::vector<double>& values, const std::vector<int>& source_levels);

// Resamples `cube` (levels of equal rows and columns) with node vectors x,
// y, z onto the lattice of `params` into `out`. New nodes outside the old
// lattice repeat the nearest border node. Returns false, leaving `out`
// alone, for an empty or ragged cube, node vectors shorter than the cube's
// axes, or a record that check_regrid_params refuses. Throws std::bad_alloc
// when the new cube does not fit in memory.
bool resample_cube(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<double>& z, const std::vector<double>& params, RegriddedCube& out,
                   const LevelProgress& before_level = LevelProgress());

// In place: replaces the cube and its three node vectors by the resampled
// ones. A cube already on the new lattice is left exactly as it is (true).
// A cube without a level is left as it is; returns false when it could not
// be resampled.
bool regrid_3d(vector3D& cube, std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
               const std::vector<double>& params, const LevelProgress& before_level = LevelProgress());

// A crop index of the 3D view carried onto the new lattice of one axis:
// whole_steps((index * old_step + old_first - new_min) / new_step). The result is
// not clamped into the new cube (the view clamps when it draws), only into
// the int range. A negative index means "not set" and stays -1.
int map_crop_index(int index, double old_first, double old_step, double new_min, double new_step);

}  // namespace regrid
