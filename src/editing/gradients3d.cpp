#include "editing/gradients3d.h"

#include "common/grid_geometry.h"

#include <cmath>
#include <cstddef>

namespace gridops {

namespace {

bool usable_spacing(double d)
{
    return std::isfinite(d) && d != 0;
}

// Differences along x in every row; the last column copies the one before.
void difference_x(vector3D& grid, std::size_t ny, std::size_t nx)
{
    for (auto& level : grid)
        for (std::size_t j = 0; j < ny; ++j) {
            data_type* r = level[j].data();
            for (std::size_t k = 0; k + 1 < nx; ++k)
                r[k] = r[k + 1] - r[k];
            r[nx - 1] = r[nx - 2];
        }
}

// Differences along y in every level; the last row copies the one before.
void difference_y(vector3D& grid, std::size_t ny, std::size_t nx)
{
    for (auto& level : grid) {
        for (std::size_t j = 0; j + 1 < ny; ++j) {
            data_type* r = level[j].data();
            const data_type* next = level[j + 1].data();
            for (std::size_t k = 0; k < nx; ++k)
                r[k] = next[k] - r[k];
        }
        level[ny - 1] = level[ny - 2];
    }
}

// Differences along z; the deepest level copies the one above.
void difference_z(vector3D& grid, std::size_t ny, std::size_t nx)
{
    const std::size_t nz = grid.size();
    for (std::size_t i = 0; i + 1 < nz; ++i)
        for (std::size_t j = 0; j < ny; ++j) {
            data_type* r = grid[i][j].data();
            const data_type* next = grid[i + 1][j].data();
            for (std::size_t k = 0; k < nx; ++k)
                r[k] = next[k] - r[k];
        }
    grid[nz - 1] = grid[nz - 2];
}

// Magnitudes in place. Walking levels, rows and columns upwards, every cell
// reads only cells further on in the walk (the next column, row or level),
// which still hold the values before the command, so no copy is needed.
void magnitude(vector3D& grid, std::size_t ny, std::size_t nx, double dx, double dy, double dz, bool full)
{
    const std::size_t nz = grid.size();
    const std::size_t levels = full ? nz - 1 : nz;
    for (std::size_t i = 0; i < levels; ++i) {
        vector2D& level = grid[i];
        for (std::size_t j = 0; j + 1 < ny; ++j) {
            data_type* r = level[j].data();
            const data_type* next_row = level[j + 1].data();
            const data_type* below = full ? grid[i + 1][j].data() : nullptr;
            for (std::size_t k = 0; k + 1 < nx; ++k) {
                const data_type c = r[k];
                const double gx = double(data_type(r[k + 1] - c)) / dx;
                const double gy = double(data_type(next_row[k] - c)) / dy;
                double sum = gx * gx + gy * gy;
                if (full) {
                    const double gz = double(data_type(below[k] - c)) / dz;
                    sum += gz * gz;
                }
                r[k] = static_cast<data_type>(std::sqrt(sum));
            }
            r[nx - 1] = r[nx - 2];
        }
        level[ny - 1] = level[ny - 2];
    }
    if (full)
        grid[nz - 1] = grid[nz - 2];
}

}  // namespace

GradientStatus gradient_ready(const vector3D& grid, GradientKind kind, double dx, double dy, double dz)
{
    if (!cube_is_regular(grid))
        return GradientStatus::NotRegular;
    const std::size_t nz = grid.size();
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    const bool uses_x = kind == GradientKind::X || kind == GradientKind::Horizontal || kind == GradientKind::Full;
    const bool uses_y = kind == GradientKind::Y || kind == GradientKind::Horizontal || kind == GradientKind::Full;
    const bool uses_z = kind == GradientKind::Vertical || kind == GradientKind::Full;
    if ((uses_x && nx < 2) || (uses_y && ny < 2) || (uses_z && nz < 2))
        return GradientStatus::SingleNode;
    if (kind == GradientKind::Horizontal || kind == GradientKind::Full) {
        if (!usable_spacing(dx) || !usable_spacing(dy) || (kind == GradientKind::Full && !usable_spacing(dz)))
            return GradientStatus::BadSpacing;
    }
    return GradientStatus::Ok;
}

GradientStatus apply_gradient(vector3D& grid, GradientKind kind, double dx, double dy, double dz)
{
    const GradientStatus status = gradient_ready(grid, kind, dx, dy, dz);
    if (status != GradientStatus::Ok)
        return status;
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    switch (kind) {
    case GradientKind::X:
        difference_x(grid, ny, nx);
        break;
    case GradientKind::Y:
        difference_y(grid, ny, nx);
        break;
    case GradientKind::Vertical:
        difference_z(grid, ny, nx);
        break;
    case GradientKind::Horizontal:
        magnitude(grid, ny, nx, dx, dy, dz, false);
        break;
    case GradientKind::Full:
        magnitude(grid, ny, nx, dx, dy, dz, true);
        break;
    }
    return GradientStatus::Ok;
}

}  // namespace gridops
