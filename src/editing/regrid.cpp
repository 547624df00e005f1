#include "editing/regrid.h"

#include "common/grid_geometry.h"

#include <cmath>
#include <limits>

namespace regrid {

int clamp_index(double position_in_steps, int count)
{
    if (count <= 0 || !(position_in_steps >= 1.0))  // also NaN and everything below one step
        return 0;
    if (position_in_steps >= static_cast<double>(count))
        return count - 1;
    return static_cast<int>(position_in_steps);  // truncation toward zero
}

bool usable_geometry(const std::vector<double>& params)
{
    if (params.size() < 6)
        return false;
    for (int i = 0; i < 6; ++i)
        if (!std::isfinite(params[i]))
            return false;
    const double limit = static_cast<double>(std::numeric_limits<int>::max());
    return params[0] >= 1 && params[1] >= 1 && params[0] < limit && params[1] < limit;
}

namespace {

// Step of an axis of `count` nodes from `first` to `last`; 0 for one node.
double axis_step(double first, double last, int count)
{
    return count > 1 ? (last - first) / (count - 1) : 0.0;
}

// Source index of a new node at `position` on an old axis starting at
// `first` with `step` and `count` nodes: the nearest node, half a step up.
int source_index(double position, double first, double step, int count)
{
    if (count <= 1 || step == 0.0 || !std::isfinite(step))
        return 0;
    return clamp_index((position - first + step / 2) / step, count);
}

}  // namespace

bool regrid_2d(const field2D& grid, const std::vector<double>& old_params, const std::vector<double>& new_params,
               field2D& out, const RowHook& after_row)
{
    const std::size_t rows = grid.size();
    const std::size_t cols = grid_columns(grid);
    if (rows == 0 || cols == 0 || !grid_has_shape(grid, rows, cols))
        return false;
    if (old_params.size() < 6 || !usable_geometry(new_params))
        return false;

    const int old_nx = static_cast<int>(cols);
    const int old_ny = static_cast<int>(rows);
    const double sx = axis_step(old_params[2], old_params[3], old_nx);
    const double sy = axis_step(old_params[4], old_params[5], old_ny);

    const int nx = static_cast<int>(new_params[0]);
    const int ny = static_cast<int>(new_params[1]);
    const double dx = axis_step(new_params[2], new_params[3], nx);
    const double dy = axis_step(new_params[4], new_params[5], ny);

    // Source columns are the same for every row.
    std::vector<int> column_of(static_cast<std::size_t>(nx));
    for (int i = 0; i < nx; ++i)
        column_of[static_cast<std::size_t>(i)] = source_index(i * dx + new_params[2], old_params[2], sx, old_nx);

    field2D result(static_cast<std::size_t>(ny), std::vector<double>(static_cast<std::size_t>(nx)));
    for (int j = 0; j < ny; ++j) {
        const int J = source_index(j * dy + new_params[4], old_params[4], sy, old_ny);
        const std::vector<double>& from = grid[static_cast<std::size_t>(J)];
        std::vector<double>& to = result[static_cast<std::size_t>(j)];
        for (int i = 0; i < nx; ++i)
            to[static_cast<std::size_t>(i)] = from[static_cast<std::size_t>(column_of[static_cast<std::size_t>(i)])];
        if (after_row)
            after_row(static_cast<int>(100LL * (j + 1) / ny));
    }
    out = std::move(result);
    return true;
}

bool grid_on_lattice(const field2D& grid, const std::vector<double>& old_params,
                     const std::vector<double>& new_params)
{
    if (old_params.size() < 6 || !usable_geometry(new_params))
        return false;
    const std::size_t rows = grid.size();
    const std::size_t cols = grid_columns(grid);
    const int nx = static_cast<int>(new_params[0]);
    const int ny = static_cast<int>(new_params[1]);
    if (rows != static_cast<std::size_t>(ny) || cols != static_cast<std::size_t>(nx) ||
        !grid_has_shape(grid, rows, cols))
        return false;
    const double tolerance_x = kNodeTolerance * std::fabs(axis_step(new_params[2], new_params[3], nx));
    const double tolerance_y = kNodeTolerance * std::fabs(axis_step(new_params[4], new_params[5], ny));
    return std::fabs(old_params[2] - new_params[2]) <= tolerance_x &&
           std::fabs(old_params[3] - new_params[3]) <= tolerance_x &&
           std::fabs(old_params[4] - new_params[4]) <= tolerance_y &&
           std::fabs(old_params[5] - new_params[5]) <= tolerance_y;
}

std::vector<double> cube_lattice(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y)
{
    if (cube.empty() || cube.front().empty() || cube.front().front().empty() || x.empty() || y.empty())
        return {};
    return {static_cast<double>(cube.front().front().size()), static_cast<double>(cube.front().size()), x.front(),
            x.back(), y.front(), y.back()};
}

}  // namespace regrid
