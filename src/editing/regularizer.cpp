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

// True when `raw` (the grid de-normalised) is `read` up to the roundings of a
// normalisation and its undoing: cells agree to 1e-5 of the largest magnitude
// in play, and cells that are not finite agree exactly (NaN with NaN).
bool derives_from(const vector3D& raw, const vector3D& read, const std::vector<double>& offsets)
{
    if (!cube_is_regular(read) || !cube_is_regular(raw) || read.size() != raw.size() || read[0].size() != raw[0].size()
        || read[0][0].size() != raw[0][0].size())
        return false;
    double largest = 0;
    for (const double o : offsets)
        if (std::isfinite(o))
            largest = std::max(largest, std::fabs(o));
    double read_largest = 0;
    for (const auto& level : read)
        for (const auto& row : level)
            for (const data_type v : row)
                if (std::isfinite(v))
                    read_largest = std::max(read_largest, std::fabs(double(v)));
    const double tolerance = 1e-5 * (largest + read_largest);
    for (std::size_t k = 0; k < read.size(); ++k)
        for (std::size_t i = 0; i < read[k].size(); ++i)
            for (std::size_t j = 0; j < read[k][i].size(); ++j) {
                const double a = read[k][i][j];
                const double b = raw[k][i][j];
                if (a == b || (std::isnan(a) && std::isnan(b)))
                    continue;
                if (!std::isfinite(a) || !std::isfinite(b) || std::fabs(a - b) > tolerance)
                    return false;
            }
    return true;
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

vector3D regularizer_for_file(const vector3D& grid, const std::vector<double>& offsets, double scale,
                              const vector3D& read)
{
    vector3D raw = denormalized_regularizer(grid, offsets, scale);
    if (!raw.empty() && derives_from(raw, read, offsets))
        for (std::size_t k = 0; k < raw.size(); ++k)
            for (std::size_t i = 0; i < raw[k].size(); ++i)
                raw[k][i] = read[k][i];  // the same sizes: no allocation
    return raw;
}

}  // namespace regularizers
