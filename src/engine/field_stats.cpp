#include "engine/field_stats.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <algorithm>
#include <cmath>

namespace {

// Level index trunc(v) clamped to [lo, hi] without converting out-of-range
// doubles to int.
int clamped_level(double v, int lo, int hi)
{
    if (!(v > lo))  // also NaN
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int>(std::trunc(v));
}

template <typename Cube>
bool cube_has_shape(const Cube& c, std::size_t levels, std::size_t rows, std::size_t columns)
{
    if (c.size() != levels)
        return false;
    for (const auto& level : c)
        if (!grid_has_shape(level, rows, columns))
            return false;
    return true;
}

} // namespace

FieldMisfit field_misfit(const field2D& observed, const field2D& calculated)
{
    FieldMisfit m;
    if (observed.empty() || observed.front().empty())
        return m;
    const std::size_t rows = observed.size();
    const std::size_t cols = observed.front().size();
    if (!grid_has_shape(observed, rows, cols) || !grid_has_shape(calculated, rows, cols))
        return m;
    const double mo = grid_mean(observed);
    const double mc = grid_mean(calculated);
    double S = 0;
    double lo = observed[0][0], hi = observed[0][0];
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j) {
            const double d = (calculated[i][j] - mc) - (observed[i][j] - mo);
            S += d * d;
            lo = std::min(lo, observed[i][j]);
            hi = std::max(hi, observed[i][j]);
        }
    m.valid = true;
    m.rms = std::sqrt(S / (static_cast<double>(rows) * static_cast<double>(cols)));
    m.percent = m.rms * 100.0 / (hi - lo);
    return m;
}

QString misfit_text(const FieldMisfit& m, int language)
{
    const QString unit = language == 0 ? QStringLiteral("мГал") : QStringLiteral("mGal");
    return QString::number(m.rms, 'f', 3) + QStringLiteral(" ") + unit + QStringLiteral(";  ")
           + QString::number(m.percent, 'f', 1) + QStringLiteral(" %");
}

std::vector<double> layer_stats(const vector3D& den_grid, const std::vector<double>& z,
                                const std::vector<field2D>& horizons, int n)
{
    const std::vector<double> none{0, 0, 0};
    const int Nh = static_cast<int>(horizons.size());
    if (n < 0 || n >= Nh || !horizons_match_grid(horizons, den_grid))
        return none;
    const int Nz = static_cast<int>(den_grid.size());
    if (z.size() < den_grid.size())
        return none;
    const std::size_t rows = den_grid.front().size();
    const std::size_t cols = den_grid.front().front().size();
    const bool last = n == Nh - 1;
    const field2D& top = horizons[n];

    // The band of levels that can hold a cell of the layer (evenly spaced levels).
    int k0 = 0, k1 = Nz - 1;
    const double z0 = z[0];
    const double dz = Nz > 1 ? z[1] - z[0] : 0.0;
    if (dz > 0 && std::isfinite(dz)) {
        k0 = clamped_level((grid_min(top) - z0) / dz - 1, 0, Nz - 1);
        if (!last)
            k1 = clamped_level((grid_max(horizons[n + 1]) - z0) / dz + 1, 0, Nz - 1);
    }

    double lo = 0, hi = 0, sum = 0;
    long long count = 0;
    for (int k = k0; k <= k1; ++k) {
        const double zk = z[k];
        for (std::size_t i = 0; i < rows; ++i)
            for (std::size_t j = 0; j < cols; ++j) {
                if (!(top[i][j] <= zk))
                    continue;
                if (!last && !(zk < horizons[n + 1][i][j]))
                    continue;
                const double v = den_grid[k][i][j];
                if (count == 0) {
                    lo = hi = v;
                } else {
                    if (v < lo)
                        lo = v;
                    if (v > hi)
                        hi = v;
                }
                sum += v;
                ++count;
            }
    }
    if (count == 0)
        return none;
    return {lo, hi, sum / static_cast<double>(count)};
}

void horizon_gradient(const field2D& horizon, double dx, double dy, field2D& gradient)
{
    const std::size_t ny = horizon.size();
    const std::size_t nx = ny ? horizon.front().size() : 0;
    gradient.assign(ny, std::vector<double>(nx, 0.0));
    if (ny < 3 || nx < 3 || !grid_has_shape(horizon, ny, nx))
        return;
    if (!(dx > 0 || dx < 0) || !(dy > 0 || dy < 0) || !std::isfinite(dx) || !std::isfinite(dy))
        return;
    for (std::size_t i = 1; i + 1 < ny; ++i) {
        for (std::size_t j = 1; j + 1 < nx; ++j) {
            const double gx = (horizon[i][j + 1] - horizon[i][j - 1]) * 0.5 / dx;
            const double gy = (horizon[i + 1][j] - horizon[i - 1][j]) * 0.5 / dy;
            gradient[i][j] = std::sqrt(gx * gx + gy * gy);
        }
        gradient[i][0] = gradient[i][1];
        gradient[i][nx - 1] = gradient[i][nx - 2];
    }
    gradient[0] = gradient[1];
    gradient[ny - 1] = gradient[ny - 2];
}

int layer_at_depth(const std::vector<field2D>& horizons, int i, int j, double z)
{
    const int Nh = static_cast<int>(horizons.size());
    if (Nh == 0 || i < 0 || j < 0)
        return -1;
    for (const auto& h : horizons)
        if (static_cast<std::size_t>(i) >= h.size() || static_cast<std::size_t>(j) >= h[i].size())
            return -1;
    for (int m = 0; m + 1 < Nh; ++m)
        if (horizons[m][i][j] <= z && z < horizons[m + 1][i][j])
            return m;
    return Nh - 1;
}

bool spectral_product_sum(const vector3D& eff_re, const vector3D& eff_im, const vector3D& den_re,
                          const vector3D& den_im, vector2D& out_re, vector2D& out_im,
                          const vector2D& shape, const LevelCallback& each_level)
{
    const std::size_t rows = shape.size();
    const std::size_t cols = rows ? shape.front().size() : 0;
    const std::size_t levels = den_re.size();
    if (!grid_has_shape(shape, rows, cols))
        return false;
    for (const vector3D* c : {&eff_re, &eff_im, &den_re, &den_im})
        if (!cube_has_shape(*c, levels, rows, cols))
            return false;
    out_re.assign(rows, std::vector<data_type>(cols, 0.0f));
    out_im.assign(rows, std::vector<data_type>(cols, 0.0f));
    for (std::size_t k = 0; k < levels; ++k) {
        if (each_level && !each_level(static_cast<int>(k), static_cast<int>(levels)))
            break;
        for (std::size_t y = 0; y < rows; ++y)
            for (std::size_t x = 0; x < cols; ++x) {
                const float er = eff_re[k][y][x], ei = eff_im[k][y][x];
                const float dr = den_re[k][y][x], di = den_im[k][y][x];
                out_re[y][x] += er * dr - ei * di;
                out_im[y][x] += er * di + ei * dr;
            }
    }
    return true;
}

bool spectral_gradient_step(const vector3D& eff_re, const vector3D& eff_im, vector3D& den_re,
                            vector3D& den_im, const vector2D& res_re, const vector2D& res_im,
                            const std::vector<double>& alpha, const LevelCallback& each_level)
{
    const std::size_t levels = den_re.size();
    if (levels == 0)
        return true;
    const std::size_t rows = den_re.front().size();
    const std::size_t cols = rows ? den_re.front().front().size() : 0;
    for (const vector3D* c : {&eff_re, &eff_im, static_cast<const vector3D*>(&den_re),
                              static_cast<const vector3D*>(&den_im)})
        if (!cube_has_shape(*c, levels, rows, cols))
            return false;
    if (!grid_has_shape(res_re, rows, cols) || !grid_has_shape(res_im, rows, cols)
        || alpha.size() < levels)
        return false;
    for (std::size_t k = 0; k < levels; ++k) {
        if (each_level && !each_level(static_cast<int>(k), static_cast<int>(levels)))
            break;
        const double a = alpha[k];
        for (std::size_t y = 0; y < rows; ++y)
            for (std::size_t x = 0; x < cols; ++x) {
                const float er = eff_re[k][y][x], ei = eff_im[k][y][x];
                const float rr = res_re[y][x], ri = res_im[y][x];
                const float pr = er * rr - ei * ri;
                const float pi = er * ri + ei * rr;
                den_re[k][y][x] = static_cast<data_type>(den_re[k][y][x] - pr * a);
                den_im[k][y][x] = static_cast<data_type>(den_im[k][y][x] - pi * a);
            }
    }
    return true;
}
