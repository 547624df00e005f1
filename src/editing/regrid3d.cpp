#include "editing/regrid3d.h"

#include "common/grid_geometry.h"
#include "editing/regrid.h"

#include <QString>

#include <cmath>
#include <limits>

namespace regrid {

namespace {

constexpr double kIntLimit = static_cast<double>(std::numeric_limits<int>::max());

// Truncation toward zero into the int range; NaN gives 0.
int truncated(double v)
{
    if (!(v == v))
        return 0;
    if (v >= kIntLimit)
        return std::numeric_limits<int>::max();
    if (v <= -kIntLimit)
        return -std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

// Source index on an old axis of `count` nodes from `first` with `step`:
// the nearest node (an exact half step going up).
int nearest_index(double position, double first, double step, int count)
{
    if (count <= 1 || step == 0.0 || !std::isfinite(step))
        return 0;
    return clamp_index((position - first + 0.5 * step) / step, count);
}

// Source level of a new level at `depth`: the old level at or above it,
// where a depth within the node tolerance of an old level is that level.
int level_at_or_above(double depth, double first, double step, int count)
{
    if (count <= 1 || step == 0.0 || !std::isfinite(step))
        return 0;
    return clamp_index(whole_steps((depth - first) / step), count);
}

// True when an old axis of `count` nodes (the first `count` of `nodes`) is
// the new axis of `n` nodes from `min` by `step`: the same count and both
// end nodes within the node tolerance.
bool axis_matches(const std::vector<double>& nodes, std::size_t count, double min, double step, int n)
{
    if (n < 1 || count != static_cast<std::size_t>(n) || nodes.size() < count)
        return false;
    const double tolerance = kNodeTolerance * std::fabs(step);
    if (!(std::fabs(nodes.front() - min) <= tolerance))
        return false;
    return n == 1 || std::fabs(nodes[count - 1] - ((n - 1) * step + min)) <= tolerance;
}

}  // namespace

int axis_count(double min, double max, double step)
{
    if (!std::isfinite(min) || !std::isfinite(max) || !std::isfinite(step) || step == 0.0)
        return 0;
    const double steps = (max - min) / step;
    if (!std::isfinite(steps) || std::fabs(steps) + 1.0 >= kIntLimit)
        return 0;
    return static_cast<int>(whole_steps(steps) + 1.0);
}

double snapped_max(double min, double max, double step, int count)
{
    const double snapped = (count - 1) * step + min;
    return std::fabs(snapped - max) <= kNodeTolerance * std::fabs(step) ? max : snapped;
}

double shown_step(double first, double last, int count, double step)
{
    if (count < 2 || !std::isfinite(first) || !std::isfinite(last) || !std::isfinite(step) || step == 0.0)
        return step;
    // The nodes themselves carry only rounding errors of their magnitude
    // (computed as first + i * step, or summed step by step): a candidate
    // must end on the last node to within that, not merely within the node
    // tolerance, or 24.69122 would pass for 24.691224 on a short axis.
    const double rounding = 1e-13 * (std::fabs(first) + std::fabs(last));
    for (int digits = 1; digits < 17; ++digits) {
        const double candidate = QString::number(step, 'g', digits).toDouble();
        if (candidate != 0.0 && std::fabs((count - 1) * candidate + first - last) <= rounding)
            return candidate;
    }
    return step;
}

std::vector<double> lattice_nodes(double min, double step, int count)
{
    std::vector<double> nodes(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int i = 0; i < count; ++i)
        nodes[static_cast<std::size_t>(i)] = i * step + min;
    return nodes;
}

ParamsStatus check_regrid_params(const std::vector<double>& params, int& nx, int& ny, int& nz)
{
    if (params.size() < kRegridRecordSize)
        return ParamsStatus::ShortRecord;
    for (std::size_t i = 0; i < kRegridRecordSize; ++i)
        if (!std::isfinite(params[i]))
            return ParamsStatus::BadValue;
    if (!(params[2] > 0) || !(params[5] > 0) || !(params[8] > 0))
        return ParamsStatus::BadValue;
    const int cx = axis_count(params[0], params[1], params[2]);
    const int cy = axis_count(params[3], params[4], params[5]);
    const int cz = axis_count(params[6], params[7], params[8]);
    if (cx < 1 || cy < 1 || cz < 1)
        return ParamsStatus::BadValue;
    if (static_cast<double>(cx) * cy * cz > kMaxRegridCells)
        return ParamsStatus::TooLarge;
    nx = cx;
    ny = cy;
    nz = cz;
    return ParamsStatus::Ok;
}

std::vector<double> regrid_geometry(const std::vector<double>& params)
{
    int nx = 0, ny = 0, nz = 0;
    if (check_regrid_params(params, nx, ny, nz) != ParamsStatus::Ok)
        return {};
    return {static_cast<double>(nx), static_cast<double>(ny), params[0], params[1], params[3], params[4]};
}

bool resample_cube(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<double>& z, const std::vector<double>& params, RegriddedCube& out,
                   const LevelProgress& before_level)
{
    if (!cube_is_regular(cube))
        return false;
    const int old_nz = static_cast<int>(cube.size());
    const int old_ny = static_cast<int>(cube.front().size());
    const int old_nx = static_cast<int>(cube.front().front().size());
    if (x.size() < static_cast<std::size_t>(old_nx) || y.size() < static_cast<std::size_t>(old_ny) ||
        z.size() < static_cast<std::size_t>(old_nz))
        return false;
    int nx = 0, ny = 0, nz = 0;
    if (check_regrid_params(params, nx, ny, nz) != ParamsStatus::Ok)
        return false;

    const double minX = params[0], dx = params[2];
    const double minY = params[3], dy = params[5];
    const double minZ = params[6], dz = params[8];
    const double x0 = x.front(), sx = node_step(x);
    const double y0 = y.front(), sy = node_step(y);
    const double z0 = z.front(), sz = node_step(z);

    // The source column and row of every new node are the same on every level.
    std::vector<int> column_of(static_cast<std::size_t>(nx));
    for (int i = 0; i < nx; ++i)
        column_of[static_cast<std::size_t>(i)] = nearest_index(minX + i * dx, x0, sx, old_nx);
    std::vector<int> row_of(static_cast<std::size_t>(ny));
    for (int j = 0; j < ny; ++j)
        row_of[static_cast<std::size_t>(j)] = nearest_index(minY + j * dy, y0, sy, old_ny);
    std::vector<int> level_of(static_cast<std::size_t>(nz));
    for (int k = 0; k < nz; ++k)
        level_of[static_cast<std::size_t>(k)] = level_at_or_above(minZ + k * dz, z0, sz, old_nz);

    // Each level is allocated after its progress call, so that the window
    // repaints from the start of a long resampling rather than after the
    // whole new cube has been allocated.
    vector3D cells;
    cells.reserve(static_cast<std::size_t>(nz));
    for (int k = 0; k < nz; ++k) {
        if (before_level)
            before_level(static_cast<int>(100LL * k / nz));
        const vector2D& from = cube[static_cast<std::size_t>(level_of[static_cast<std::size_t>(k)])];
        vector2D& to = cells.emplace_back();
        to.reserve(static_cast<std::size_t>(ny));
        for (int j = 0; j < ny; ++j) {
            const std::vector<data_type>& from_row = from[static_cast<std::size_t>(row_of[static_cast<std::size_t>(j)])];
            std::vector<data_type>& to_row = to.emplace_back(static_cast<std::size_t>(nx));
            for (int i = 0; i < nx; ++i)
                to_row[static_cast<std::size_t>(i)] =
                    from_row[static_cast<std::size_t>(column_of[static_cast<std::size_t>(i)])];
        }
    }

    out.cells = std::move(cells);
    out.source_levels = std::move(level_of);
    out.x = lattice_nodes(minX, dx, nx);
    out.y = lattice_nodes(minY, dy, ny);
    out.z = lattice_nodes(minZ, dz, nz);
    return true;
}

bool cube_on_lattice(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& z, const std::vector<double>& params)
{
    int nx = 0, ny = 0, nz = 0;
    if (!cube_is_regular(cube) || check_regrid_params(params, nx, ny, nz) != ParamsStatus::Ok)
        return false;
    return axis_matches(x, cube.front().front().size(), params[0], params[2], nx) &&
           axis_matches(y, cube.front().size(), params[3], params[5], ny) &&
           axis_matches(z, cube.size(), params[6], params[8], nz);
}

std::vector<double> resample_levels(const std::vector<double>& values, const std::vector<int>& source_levels)
{
    std::vector<double> out;
    out.reserve(source_levels.size());
    for (int k : source_levels) {
        if (k < 0 || static_cast<std::size_t>(k) >= values.size())
            return {};
        out.push_back(values[static_cast<std::size_t>(k)]);
    }
    return out;
}

bool regrid_3d(vector3D& cube, std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
               const std::vector<double>& params, const LevelProgress& before_level)
{
    if (cube.empty())
        return false;
    if (cube_on_lattice(cube, x, y, z, params))
        return true;  // already there: cells and nodes stay exactly as they are
    RegriddedCube out;
    if (!resample_cube(cube, x, y, z, params, out, before_level))
        return false;
    cube = std::move(out.cells);
    x = std::move(out.x);
    y = std::move(out.y);
    z = std::move(out.z);
    return true;
}

int map_crop_index(int index, double old_first, double old_step, double new_min, double new_step)
{
    if (index < 0)
        return -1;
    if (new_step == 0.0 || !std::isfinite(new_step))
        return index;
    return truncated(whole_steps((index * old_step + old_first - new_min) / new_step));
}

}  // namespace regrid
