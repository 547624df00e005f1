#pragma once
// A new density grid on a regular lattice given by its minima, maxima and
// steps, with a density that changes linearly from the top level to the
// bottom level.
//
// The record of the new-grid dialog holds eleven values:
//   0..2  minX, maxX, stepX      (m)
//   3..5  minY, maxY, stepY      (m)
//   6..8  minZ, maxZ, stepZ      (m, depth positive downwards)
//   9, 10 minSigma (top level), maxSigma (bottom level)   (g/cm3)
#include "common/types.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace gridops {

// Number of values in a new-grid record.
constexpr std::size_t kNewGridRecordSize = 11;

// Largest number of cells (levels x rows x columns, a level or row without
// cells counted as one) a new grid may have: 1.5e9 float cells are 6 GB.
constexpr double kMaxNewGridCells = 1.5e9;

// True when a grid of nx x ny x nz nodes (an axis without nodes counted as
// one) would have more cells than kMaxNewGridCells: new grids and the grid
// rebuilt on new vertical parameters are refused then.
bool exceeds_cell_cap(double nx, double ny, double nz);

// Nodes of one axis: starting at `min`, the running double sum adds `step`
// while it stays at or below `max`. A minimum above the maximum gives no
// node. Whether a maximum an exact number of steps away is reached depends
// on the rounding of the sum. The step must be positive and all three
// values finite (see node_count_bound); otherwise the result is empty.
std::vector<double> axis_nodes(double min, double max, double step);

// An upper bound of the node count axis_nodes gives, without building the
// nodes: -1 when a value is not finite or the step is not positive.
double node_count_bound(double min, double max, double step);

enum class NewGridStatus {
    Ok,
    ShortRecord,  // fewer than eleven values
    BadStep,      // a step that is not positive
    NotFinite,    // a minimum, maximum, step or density that is not a finite number
    FarCoordinate,  // a minimum, maximum or step beyond the coordinate limit (coordinate_fits)
    DensityOutOfRange,  // a density beyond the single-precision range of the cells
    TooLarge,     // more cells than kMaxNewGridCells
    Declined,     // the caller's confirmation said no
    OutOfMemory
};

// Asked with (upper bounds of) the node counts of a valid record before
// anything is allocated; false stops the build.
using NewGridConfirm = std::function<bool(double nx, double ny, double nz)>;

struct NewGrid {
    vector3D cells;
    std::vector<double> x, y, z;
};

// Density of level t of nz: t * (maxSigma - minSigma) / (nz - 1) + minSigma,
// computed in double; a single level holds minSigma.
double level_density(std::size_t t, std::size_t nz, double min_sigma, double max_sigma);

// Builds the grid of a new-grid record: nz levels of ny rows of nx cells,
// every cell of level t holding float(level_density(t, ...)). An axis
// without nodes leaves levels without rows or rows without cells (no level
// at all for z). `out` is replaced only on Ok. On FarCoordinate the first
// value beyond the limit is put in `far` when given.
NewGridStatus build_new_grid(const std::vector<double>& record, NewGrid& out,
                             const NewGridConfirm& confirm = NewGridConfirm(), double* far = nullptr);

}  // namespace gridops
