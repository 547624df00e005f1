#pragma once
// The horizon-editing brush: one step pushes a horizon up or down inside an
// ellipse around the picked node with a Gaussian profile, node by node, and
// the density grid follows, so that the cells a node passes take the
// density of the layer they now belong to.
//
// Plain computation on the grids it is given; MainWindow::editHorizonGauss
// reads the pick and the brush from its members and calls apply_brush.
#include <vector>

#include "common/types.h"

namespace horizon_brush {

// Ratio of a Gaussian's full width at half maximum to its standard deviation.
constexpr double kFwhmToSigma = 2.35482;

// The brush: semi-axes of the ellipse in metres, the full width at half
// maximum of the Gaussian measured in semi-axes, and the amplitude in metres.
struct Brush {
    double rx = 100;
    double ry = 100;
    double width = 0.5;
    double amplitude = 10;
};

// True when both semi-axes and the width are finite and positive.
bool brush_is_valid(const Brush& brush);

// Where the brush was put: the picked node of the horizon grid and the
// centre of the ellipse in map coordinates.
struct Centre {
    int row = -1;
    int column = -1;
    double x = 0;
    double y = 0;
};

// Relative height of the brush at q = X^2 / Rx^2 + Y^2 / Ry^2:
// exp(-q / (2 s^2)) with s = width / 2.35482, and 0 outside the ellipse
// (q > 1). 1 at the centre, 0.5 at half the width.
double brush_weight(double q, double width);

// The nodes a step looks at: rows [row_begin, row_end) and columns
// [column_begin, column_end) around the picked node.
struct NodeWindow {
    int row_begin = 0;
    int row_end = 0;
    int column_begin = 0;
    int column_end = 0;
};

// Along one axis: from max(0, trunc(c - (r / |d| + 1))) up to, not
// including, min(n, max(0, trunc(c + r / |d| + 1))); the whole axis when the
// spacing is 0 (a single node or a flat extent).
void axis_window(int centre, double radius, double spacing, int count, int& begin, int& end);

// Refills the cells of one node after its horizon moved from old_depth to
// new_depth (levels found by the level step of z, level at or above).
// Lowering gives the passed levels (old <= depth < new) the cell of the last
// level above the old depth, the layer above; raising gives the uncovered
// levels (new <= depth) the cell of the first level below the old depth,
// the layer below. A depth exactly on a level belongs to the layer below
// the horizon. Levels outside the grid are never read or written.
void refill_node(vector3D& grid, const std::vector<double>& z, int row, int column, double old_depth,
                 double new_depth);

enum class Status {
    Ok,
    BadHorizon,    // horizon 0, or no horizon of that index: nothing happens
    BadNode,       // the picked node is not on the horizon grid
    BadGeometry,   // horizons of unequal sizes or a geometry record of fewer than six values
    BadBrush,      // a semi-axis or the width is not positive
    GridMismatch   // the density grid does not have the horizons' rows and columns
};

struct Result {
    Status status = Status::Ok;
    int moved = 0;    // nodes whose depth changed
    int blocked = 0;  // nodes inside the ellipse left alone because they would cross a neighbour
};

// One step of the brush on horizon h: direction -1 raises it, +1 lowers it
// (a negative amplitude turns both round). Each node of the window inside
// the ellipse moves by direction * A * brush_weight(q), unless it would
// cross the horizon above or below (equal depths are allowed), in which
// case it does not move at all. When `grid` has levels, the cells of each
// moved node are refilled first (refill_node); an empty grid is left alone.
// Nothing changes unless the result is Ok.
Result apply_brush(std::vector<field2D>& horizons, const std::vector<double>& params, int h, int direction,
                   const Brush& brush, const Centre& centre, vector3D& grid, const std::vector<double>& z);

}  // namespace horizon_brush
