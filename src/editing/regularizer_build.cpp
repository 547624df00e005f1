#include "editing/regularizer_build.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/layers.h"

#include <cmath>

namespace regularizers {

namespace {

// The layer of a cell with its top and bottom at the node.
struct CellLayer {
    int m = 0;
    double top = 0;
    double bottom = 0;
};

CellLayer cell_layer(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double z,
                     double z_bottom)
{
    CellLayer c;
    c.m = layers::layer_search(horizons, row, column, z);
    const std::size_t m = static_cast<std::size_t>(c.m);
    c.top = horizons[m][row][column];
    c.bottom = m + 1 < horizons.size() ? horizons[m + 1][row][column] : z_bottom;
    return c;
}

BuildStatus check_inputs(const vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons)
{
    if (!cube_is_regular(grid))
        return BuildStatus::NoGrid;
    if (horizons.empty())
        return BuildStatus::NoHorizons;
    if (!horizons_match_grid(horizons, grid) || z.size() != grid.size())
        return BuildStatus::Mismatch;
    return BuildStatus::Ok;
}

vector3D zeros_like(const vector3D& grid)
{
    return vector3D(grid.size(),
                    vector2D(grid.front().size(), std::vector<data_type>(grid.front().front().size(), 0.0f)));
}

}  // namespace

std::vector<double> largest_layer_thickness(const std::vector<field2D>& horizons, double z_bottom)
{
    std::vector<double> thickness(horizons.size(), 0.0);
    if (!horizons_are_regular(horizons))
        return thickness;
    const std::size_t n = horizons.size();
    const std::size_t rows = horizons.front().size();
    const std::size_t columns = horizons.front().front().size();
    for (std::size_t m = 0; m + 1 < n; ++m) {
        double largest = horizons[m + 1][0][0] - horizons[m][0][0];
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) {
                const double d = horizons[m + 1][r][c] - horizons[m][r][c];
                if (d > largest)
                    largest = d;
            }
        thickness[m] = largest;
    }
    const field2D& last = horizons.back();
    double shallowest = last[0][0];
    for (const auto& row : last)
        for (double h : row)
            if (h < shallowest)
                shallowest = h;
    thickness[n - 1] = z_bottom - shallowest;
    return thickness;
}

BuildStatus central_regularizer(const vector3D& grid, const std::vector<double>& z,
                                const std::vector<field2D>& horizons, double width, bool thickness_amplitude,
                                vector3D& out, const LevelProgress& before_level)
{
    const BuildStatus status = check_inputs(grid, z, horizons);
    if (status != BuildStatus::Ok)
        return status;

    const double z_bottom = z.back();
    const std::vector<double> largest =
        thickness_amplitude ? largest_layer_thickness(horizons, z_bottom) : std::vector<double>();
    const double s = std::fabs(width) / kWidthFactor;
    const std::size_t levels = grid.size();
    const std::size_t rows = grid.front().size();
    const std::size_t columns = grid.front().front().size();

    vector3D result = zeros_like(grid);
    for (std::size_t k = 0; k < levels; ++k) {
        if (before_level)
            before_level(static_cast<int>(100 * k / levels));
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) {
                const CellLayer layer = cell_layer(horizons, r, c, z[k], z_bottom);
                const double d = layer.bottom - layer.top;
                if (!(d > 0))
                    continue;  // no thickness here: 0 rather than 0/0
                const double t = (z[k] - layer.top - d * 0.5) / d;
                double value;
                if (s > 0)
                    value = std::exp(-t * t / (s * s));
                else
                    value = t == 0 ? 1.0 : 0.0;  // the limit of a vanishing width
                if (thickness_amplitude) {
                    const double biggest = largest[static_cast<std::size_t>(layer.m)];
                    value = biggest > 0 ? value * d / biggest : 0.0;
                }
                result[k][r][c] = static_cast<data_type>(value);
            }
    }
    out = std::move(result);
    return BuildStatus::Ok;
}

BuildStatus gradient_regularizer(const vector3D& grid, const std::vector<double>& z,
                                 const std::vector<field2D>& horizons, const std::vector<field2D>& gradients,
                                 vector3D& out, const LevelProgress& before_level)
{
    const BuildStatus status = check_inputs(grid, z, horizons);
    if (status != BuildStatus::Ok)
        return status;
    const std::size_t levels = grid.size();
    const std::size_t rows = grid.front().size();
    const std::size_t columns = grid.front().front().size();
    if (gradients.size() != horizons.size())
        return BuildStatus::Mismatch;
    for (const field2D& g : gradients)
        if (!grid_has_shape(g, rows, columns))
            return BuildStatus::Mismatch;

    const double z_bottom = z.back();
    const std::size_t n = horizons.size();
    vector3D result = zeros_like(grid);
    for (std::size_t k = 0; k < levels; ++k) {
        if (before_level)
            before_level(static_cast<int>(100 * k / levels));
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) {
                const CellLayer layer = cell_layer(horizons, r, c, z[k], z_bottom);
                const double d = layer.bottom - layer.top;
                if (!(d > 0))
                    continue;
                const std::size_t m = static_cast<std::size_t>(layer.m);
                const double g_top = gradients[m][r][c];
                const double g_bottom = m + 1 < n ? gradients[m + 1][r][c] : 0.0;
                const double value =
                    (std::sqrt(std::sqrt(g_bottom)) * (z[k] - layer.top) +
                     std::sqrt(std::sqrt(g_top)) * (layer.bottom - z[k])) / d;
                result[k][r][c] = static_cast<data_type>(value);
            }
    }

    const float largest_cell = grid_max(result);
    if (largest_cell > 0 && std::isfinite(largest_cell)) {
        const float factor = 1.0f / largest_cell;
        grid_scale(result, factor);
    }
    out = std::move(result);
    return BuildStatus::Ok;
}

}  // namespace regularizers
