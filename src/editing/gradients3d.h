#pragma once
// Derivatives of the density grid [level][row][column]: the plain
// differences of neighbouring cells along x, y or z (next cell minus this
// one, not divided by the spacing), and the magnitudes of the horizontal and
// of the full 3D gradient (differences divided by the node spacings, in
// g/cm3 per metre).
//
// Every result cell is computed from the values the grid held before. The
// last cell along an axis has no next neighbour and takes the new value of
// the cell before it.
#include "common/types.h"

namespace gridops {

enum class GradientKind {
    X,           // sigma[i][j][k+1] - sigma[i][j][k]
    Y,           // sigma[i][j+1][k] - sigma[i][j][k]
    Vertical,    // sigma[i+1][j][k] - sigma[i][j][k]  (level i+1 is deeper)
    Horizontal,  // sqrt(gx^2 + gy^2)
    Full         // sqrt(gx^2 + gy^2 + gz^2)
};

enum class GradientStatus {
    Ok,
    NotRegular,   // no cells, or levels and rows of unequal sizes
    SingleNode,   // fewer than two nodes along an axis the command uses
    BadSpacing    // a spacing that is 0 or not finite along an axis the magnitude uses
};

// The checks `apply_gradient` makes before it changes anything.
GradientStatus gradient_ready(const vector3D& grid, GradientKind kind, double dx, double dy, double dz);

// Replaces the grid by its derivative. dx, dy and dz (the spacings of the
// first two nodes of each axis) are read by the magnitude kinds only.
// Differences are taken in float; a magnitude divides them in double by
// the spacing and stores the float of the square root. `grid` changes only
// on Ok.
GradientStatus apply_gradient(vector3D& grid, GradientKind kind, double dx, double dy, double dz);

}  // namespace gridops
