#pragma once
// Small helpers over the program's grids: extrema, means, in-place arithmetic
// with a scalar or another grid, two spread measures of a cube, and the
// elapsed-time diagnostic line.
//
// Shapes are taken from the first row (and first level): a 2D grid has
// grid.size() rows of grid[0].size() columns; a cube has cube.size() levels,
// each read with the row count of level 0 and the column count of that level's
// first row. Single-precision cells are widened to double for arithmetic and
// rounded back to float when stored in place.
//
// The extrema, grid_mean and the spread measures read the first cell
// unconditionally: never pass an empty grid. Extrema are seeded with the first
// cell and replaced only by a strictly greater (smaller) value, so a NaN in the
// first cell stays the result and NaNs elsewhere are ignored.
#include "common/types.h"

#include <vector>

// 3D grid of double [level][row][column].
using field3D = std::vector<field2D>;

// Largest cell value.
float grid_max(const vector2D& grid);
float grid_max(const vector3D& grid);
double grid_max(const field2D& grid);
double grid_max(const field3D& grid);

// Smallest cell value.
float grid_min(const vector2D& grid);
float grid_min(const vector3D& grid);
double grid_min(const field2D& grid);
double grid_min(const field3D& grid);

// Largest / smallest element of a non-empty vector.
double vector_max(const std::vector<double>& v);
double vector_min(const std::vector<double>& v);

// Largest magnitude of a cube: |grid_min| when it exceeds grid_max, else grid_max.
float grid_abs_max(const vector3D& grid);

// Arithmetic mean of all cells (sum in double / (rows * columns)).
// A grid whose first row is empty gives NaN (0 / 0).
double grid_mean(const vector2D& grid);
double grid_mean(const field2D& grid);

// Spread measure used to normalise regularizers: starting from
// max - mean of level 0, every level l (from the first) with d1 = max_l - mean_l
// and d2 = mean_l - min_l replaces the running value by d1 when d1 exceeds it,
// otherwise by d2 when d2 exceeds it.
double grid_max_deviation(const vector3D& grid);

// Largest (max - min) of a level, over all levels.
double grid_max_layer_range(const vector3D& grid);

// In place: every cell becomes float(cell * factor). Nothing happens on an empty grid.
void grid_scale(vector3D& grid, double factor);

// In place: every cell becomes cell + value (rounded back to float in the
// single-precision form). Nothing happens on an empty grid.
void grid_add_scalar(vector2D& grid, double value);
void grid_add_scalar(field2D& grid, double value);

// In place a[i][j] -= b[i][j] (resp. +=). Does nothing unless both grids have
// at least one row, the same row count and the same first-row length.
void grid_subtract(field2D& a, const field2D& b);
void grid_add(field2D& a, const field2D& b);

// The cells of a grid that hold no finite number (NaN or an infinity): how
// many there are and where the first one is, in reading order (level, row,
// column; 0-based). level stays -1 for a 2D grid; row and column stay -1 when
// every cell is finite.
struct NonFiniteCells {
    long long count = 0;
    int level = -1;
    int row = -1;
    int column = -1;
    bool any() const { return count > 0; }
};
NonFiniteCells non_finite_cells(const vector3D& grid);
NonFiniteCells non_finite_cells(const field2D& grid);

// Whether a value typed or computed for a cell can be held by one: a finite
// number that stays finite once rounded to single precision (1e39 does not).
bool fits_cell(double value);

// Monotonic time stamp in nanoseconds, to be passed to print_elapsed_ms.
long long elapsed_clock_ns();

// Writes the whole milliseconds elapsed since start_ns (a value of
// elapsed_clock_ns()), followed by " ms" and a line end, to the error stream.
void print_elapsed_ms(long long start_ns);
