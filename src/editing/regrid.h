#pragma once
// Resampling onto a new regular lattice by taking one old node per new node:
// horizontally the nearest one (an exact half step goes to the upper node).
//
// A 2D lattice is described by a grid_geometry record {nx, ny, x first,
// x last, y first, y last}; only the first six values of a longer record
// (such as the eight of a Surfer header) are read. The old lattice's steps
// come from its record's first and last coordinates and the grid's own
// row and column counts.
#include "common/types.h"

#include <functional>
#include <vector>

namespace regrid {

// Called after each new row with the share done (1 to 100).
using RowHook = std::function<void(int percent)>;

// Index of the source node for a position measured in old steps from the
// first old node: truncated toward zero, then clamped into 0 .. count - 1
// (a NaN position gives 0).
int clamp_index(double position_in_steps, int count);

// True when the record holds at least six values, node counts of at least
// one that fit an int, and finite coordinates.
bool usable_geometry(const std::vector<double>& params);

// Resamples `grid` (rows of equal length) from the lattice `old_params`
// onto `new_params` into `out`. A grid of one row or one column gives every
// new node that row or column; a new lattice of one node along an axis puts
// it at the first coordinate. Returns false, leaving `out` alone, for an
// empty or ragged grid or an unusable record.
bool regrid_2d(const field2D& grid, const std::vector<double>& old_params, const std::vector<double>& new_params,
               field2D& out, const RowHook& after_row = RowHook());

// True when `grid` (with the lattice `old_params`) already lies on the
// lattice `new_params`: the same row and column counts and every corner
// within the node tolerance (common/grid_geometry.h) of a step. Resampling
// such a grid would give it back unchanged, so callers leave it alone.
bool grid_on_lattice(const field2D& grid, const std::vector<double>& old_params,
                     const std::vector<double>& new_params);

// The horizontal lattice of a cube: {columns of the first row of the first
// level, rows of the first level, first and last x, first and last y}.
// Empty when the cube or a coordinate vector is empty.
std::vector<double> cube_lattice(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y);

}  // namespace regrid
