#pragma once
// Cell-by-cell operations of the density grid: arithmetic with another cube
// of the same node counts, level means and minima, zeroing, and the shift of
// a lattice so that its first node lies at 0.
//
// Cubes are [level][row][column]. Only node counts are compared, never
// coordinates: a cube of the same counts but another extent is accepted.
#include "common/types.h"

#include <cstddef>
#include <vector>

namespace gridops {

enum class CubeOp { Add, Subtract, Multiply, Divide };

// True when both cubes have cells, every level of each has the rows and
// columns of its first level, and the level, row and column counts agree.
bool same_counts(const vector3D& a, const vector3D& b);

// Number of cells of the operand that are 0 (the divisors a division refuses).
std::size_t zero_cells(const vector3D& operand);

enum class CubeOpStatus {
    Ok,
    Mismatch,        // the counts differ (or either cube is empty or ragged)
    DivisionByZero   // a division whose operand holds zero cells: nothing changed
};

// In float, cell by cell: Add operand + cell, Subtract cell - operand,
// Multiply operand * cell, Divide cell / operand. A division is refused as a
// whole when any operand cell is 0, so that no infinity or NaN enters the
// grid. `grid` changes only on Ok.
CubeOpStatus apply_cube_op(vector3D& grid, const vector3D& operand, CubeOp op);

enum class LevelStatus {
    Ok,
    LevelMismatch,  // level counts differ
    EmptyLevel      // an operand level without cells has no mean
};

// Adds to every cell of level k the mean of the operand's level k (over
// that level's own rows and columns, which need not match the grid's).
// `grid` changes only on Ok; an empty grid and an empty operand agree.
LevelStatus add_level_means(vector3D& grid, const vector3D& operand);

// Every level becomes its own mean (stored as float). Levels without cells
// are left alone.
void replace_by_level_means(vector3D& grid);

// Every level loses its mean (subtracted in double, stored as float), so
// that each level's mean becomes 0 up to rounding. Levels without cells are
// left alone.
void remove_level_means(vector3D& grid);

// Smallest cell of a level over its rows and the first row's cell count,
// starting from the first cell; the level must have a cell.
float level_min(const vector2D& level);

// Every level loses its smallest cell, so that each level's minimum becomes 0
// and no cell is negative. Levels without cells are left alone.
void remove_level_minima(vector3D& grid);

// Every cell becomes 0.
void fill_zeros(vector3D& grid);

// Node vector shifted so that it starts at 0 and keeps its spacing.
void shift_nodes_to_zero(std::vector<double>& nodes);

// Geometry record {.., .., x first, x last, y first, y last, ...}: x last -=
// x first, x first = 0, likewise for y. Records shorter than six values
// are left alone.
void shift_geometry_to_zero(std::vector<double>& params);

}  // namespace gridops
