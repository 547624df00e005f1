#include "editing/horizon_brush.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"

#include <algorithm>
#include <cmath>

namespace horizon_brush {

bool brush_is_valid(const Brush& brush)
{
    return std::isfinite(brush.rx) && std::isfinite(brush.ry) && std::isfinite(brush.width) && brush.rx > 0 &&
           brush.ry > 0 && brush.width > 0;
}

double brush_weight(double q, double width)
{
    if (!(q <= 1.0) || !(width > 0))
        return 0.0;
    const double s = width / kFwhmToSigma;
    return std::exp(-q / (2.0 * s * s));
}

namespace {

// trunc(v) as an int, clamped to [lo, hi] (infinities included).
int clamped_trunc(double v, int lo, int hi)
{
    if (std::isnan(v))
        return lo;
    if (v <= lo)
        return lo;
    if (v >= hi)
        return hi;
    return static_cast<int>(std::trunc(v));
}

}  // namespace

void axis_window(int centre, double radius, double spacing, int count, int& begin, int& end)
{
    const double reach = spacing == 0.0 ? HUGE_VAL : radius / std::fabs(spacing);
    begin = clamped_trunc(centre - (reach + 1.0), 0, count);
    end = std::min(count, clamped_trunc(centre + reach + 1.0, 0, count));
}

void refill_node(vector3D& grid, const std::vector<double>& z, int row, int column, double old_depth,
                 double new_depth)
{
    const int nz = static_cast<int>(grid.size());
    if (nz == 0 || static_cast<int>(z.size()) < nz || !(new_depth != old_depth) || !std::isfinite(old_depth) ||
        !std::isfinite(new_depth))
        return;
    const double z0 = z[0];
    const double step = nz > 1 ? z[1] - z[0] : 0.0;
    const int m_old = layers::level_at_or_above(old_depth, z0, step);
    const int m_new = layers::level_at_or_above(new_depth, z0, step);
    auto cell = [&](int level) -> data_type& { return grid[level][row][column]; };

    if (new_depth > old_depth) {
        // Lowered: the passed levels (old <= z < new) take the last level
        // above the old depth. A level exactly at the old depth was below
        // the horizon and is passed too; one exactly at the new depth stays
        // below it.
        int source = std::max(0, m_old);
        if (source >= nz)
            return;
        while (source > 0 && z[source] >= old_depth)
            --source;
        while (source + 1 < nz && z[source + 1] < old_depth)
            ++source;
        const int last = std::min(m_new + 1, nz - 1);
        for (int l = source; l <= last; ++l)
            if (z[l] < new_depth)
                cell(l) = cell(source);
    } else {
        // Raised: the uncovered levels take the level below the old depth.
        const int source = std::min(std::max(0, m_old), nz - 2);
        const int first = std::max(0, m_new);
        const int last = std::min(std::max(0, m_old), nz - 1);
        for (int l = first; l <= last; ++l)
            if (z[l] >= new_depth)
                cell(l) = cell(source + 1);
    }
}

Result apply_brush(std::vector<field2D>& horizons, const std::vector<double>& params, int h, int direction,
                   const Brush& brush, const Centre& centre, vector3D& grid, const std::vector<double>& z)
{
    Result result;
    const int count = static_cast<int>(horizons.size());
    if (h < 1 || h >= count) {
        result.status = Status::BadHorizon;
        return result;
    }
    if (!horizons_are_regular(horizons) || params.size() < 6) {
        result.status = Status::BadGeometry;
        return result;
    }
    const int ny = static_cast<int>(grid_rows(horizons.front()));
    const int nx = static_cast<int>(grid_columns(horizons.front()));
    if (centre.row < 0 || centre.row >= ny || centre.column < 0 || centre.column >= nx) {
        result.status = Status::BadNode;
        return result;
    }
    const double x0 = params[2];
    const double y0 = params[4];
    const double dx = nx > 1 ? (params[3] - x0) / (nx - 1) : 0.0;
    const double dy = ny > 1 ? (params[5] - y0) / (ny - 1) : 0.0;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(dx) || !std::isfinite(dy)) {
        result.status = Status::BadGeometry;
        return result;
    }
    if (!brush_is_valid(brush)) {
        result.status = Status::BadBrush;
        return result;
    }
    const bool refill = !grid.empty();
    if (refill && (!horizons_match_grid(horizons, grid) || z.size() < grid.size())) {
        result.status = Status::GridMismatch;
        return result;
    }

    int r_begin, r_end, c_begin, c_end;
    axis_window(centre.row, brush.ry, dy, ny, r_begin, r_end);
    axis_window(centre.column, brush.rx, dx, nx, c_begin, c_end);

    field2D& edited = horizons[h];
    const field2D& above = horizons[h - 1];
    const field2D* below = h < count - 1 ? &horizons[h + 1] : nullptr;
    for (int r = r_begin; r < r_end; ++r) {
        for (int j = c_begin; j < c_end; ++j) {
            const double X = j * dx + x0 - centre.x;
            const double Y = r * dy + y0 - centre.y;
            const double q = X * X / (brush.rx * brush.rx) + Y * Y / (brush.ry * brush.ry);
            if (!(q <= 1.0))
                continue;  // outside the ellipse
            const double dh = direction * brush.amplitude * brush_weight(q, brush.width);
            const double old_depth = edited[r][j];
            const double new_depth = old_depth + dh;
            if (!(dh != 0.0) || !std::isfinite(new_depth))
                continue;
            // A horizon never crosses its neighbours; a node that would is not moved at all.
            if (above[r][j] > new_depth || (below && new_depth > (*below)[r][j])) {
                ++result.blocked;
                continue;
            }
            if (refill)
                refill_node(grid, z, r, j, old_depth, new_depth);
            edited[r][j] = new_depth;
            ++result.moved;
        }
    }
    return result;
}

}  // namespace horizon_brush
