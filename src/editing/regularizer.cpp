#include "editing/regularizer.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <algorithm>
#include <cmath>

namespace regularizers {

namespace {

double usable_scale(double scale)
{
    return (scale != 0.0 && std::isfinite(scale)) ? scale : 1.0;
}

// Divides by the scale and adds the level offsets back (when there is one
// per level).
void restore_raw(vector3D& grid, const std::vector<double>& offsets, double scale)
{
    grid_scale(grid, 1.0 / usable_scale(scale));
    if (!grid.empty() && offsets.size() == grid.size())
        for (std::size_t k = 0; k < grid.size(); ++k)
            grid_add_scalar(grid[k], offsets[k]);
}

}  // namespace

bool recalc_regularizer(vector3D& grid, std::vector<double>& offsets, double& scale, RecalcMode mode)
{
    if (!cube_is_regular(grid))
        return false;

    restore_raw(grid, offsets, scale);
    if (offsets.size() != grid.size())
        offsets.assign(grid.size(), 0.0);

    switch (mode) {
    case RecalcMode::DeleteMeans:
    case RecalcMode::DeleteMins:
        for (std::size_t k = 0; k < grid.size(); ++k) {
            offsets[k] = mode == RecalcMode::DeleteMeans ? grid_mean(grid[k]) : static_cast<double>(grid_min(grid[k]));
            grid_add_scalar(grid[k], -offsets[k]);
        }
        break;
    case RecalcMode::Initial:
        offsets.clear();
        break;
    }

    const double largest = std::max(static_cast<double>(grid_max(grid)), std::fabs(static_cast<double>(grid_min(grid))));
    if (largest > 0.0 && std::isfinite(largest)) {
        scale = 1.0 / largest;
        grid_scale(grid, scale);
    } else {
        scale = 1.0;
    }
    return true;
}

vector3D denormalized_regularizer(const vector3D& grid, const std::vector<double>& offsets, double scale)
{
    vector3D raw = grid;
    if (cube_is_regular(raw))
        restore_raw(raw, offsets, scale);
    return raw;
}

}  // namespace regularizers
