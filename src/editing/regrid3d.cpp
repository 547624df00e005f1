#include "editing/regrid3d.h"

#include "common/grid_geometry.h"
#include "editing/regrid.h"

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

// Source index on an old axis of `count` nodes from `first` with `step` for
// a position measured from that first node, shifted by `shift` steps (half a
// step for the nearest node, nothing for the node at or above).
int source_index(double position, double first, double step, double shift, int count)
{
    if (count <= 1 || step == 0.0 || !std::isfinite(step))
        return 0;
    return clamp_index((position - first + shift * step) / step, count);
}

}  // namespace

int axis_count(double min, double max, double step)
{
    if (!std::isfinite(min) || !std::isfinite(max) || !std::isfinite(step) || step == 0.0)
        return 0;
    const double n = (max - min) / step + 1.0;
    if (!std::isfinite(n) || std::fabs(n) >= kIntLimit)
        return 0;
    return static_cast<int>(n);
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
        column_of[static_cast<std::size_t>(i)] = source_index(minX + i * dx, x0, sx, 0.5, old_nx);
    std::vector<int> row_of(static_cast<std::size_t>(ny));
    for (int j = 0; j < ny; ++j)
        row_of[static_cast<std::size_t>(j)] = source_index(minY + j * dy, y0, sy, 0.5, old_ny);

    vector3D cells(static_cast<std::size_t>(nz),
                   vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    for (int k = 0; k < nz; ++k) {
        if (before_level)
            before_level(static_cast<int>(100LL * k / nz));
        // No half step vertically: a new level takes the old level at or above it.
        const vector2D& from = cube[static_cast<std::size_t>(source_index(minZ + k * dz, z0, sz, 0.0, old_nz))];
        vector2D& to = cells[static_cast<std::size_t>(k)];
        for (int j = 0; j < ny; ++j) {
            const std::vector<data_type>& from_row = from[static_cast<std::size_t>(row_of[static_cast<std::size_t>(j)])];
            std::vector<data_type>& to_row = to[static_cast<std::size_t>(j)];
            for (int i = 0; i < nx; ++i)
                to_row[static_cast<std::size_t>(i)] =
                    from_row[static_cast<std::size_t>(column_of[static_cast<std::size_t>(i)])];
        }
    }

    out.cells = std::move(cells);
    out.x = lattice_nodes(minX, dx, nx);
    out.y = lattice_nodes(minY, dy, ny);
    out.z = lattice_nodes(minZ, dz, nz);
    return true;
}

bool regrid_3d(vector3D& cube, std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
               const std::vector<double>& params, const LevelProgress& before_level)
{
    if (cube.empty())
        return false;
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
    return truncated((index * old_step + old_first - new_min) / new_step);
}

}  // namespace regrid
