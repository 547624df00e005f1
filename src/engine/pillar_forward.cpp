#include "engine/pillar_forward.h"

#include "common/grid_geometry.h"
#include "engine/prism.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

// trunc(v) limited to [lo, hi], safe for values far outside int.
int clamp_trunc(double v, int lo, int hi)
{
    if (!(v > lo))
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int>(std::trunc(v));
}

} // namespace

ForwardStatus pillar_forward(const std::vector<double>& x, const std::vector<double>& y,
                             const std::vector<double>& z, std::vector<field2D> horizons,
                             const std::vector<double>& densities, double calc_level,
                             field2D& result, const ForwardProgress& progress)
{
    if (x.empty() || y.empty() || z.empty() || horizons.empty())
        return ForwardStatus::EmptyGrid;
    const int Nx = static_cast<int>(x.size());
    const int Ny = static_cast<int>(y.size());
    const int Nz = static_cast<int>(z.size());
    const int Nh = static_cast<int>(horizons.size());
    for (const auto& h : horizons)
        if (!grid_has_shape(h, y.size(), x.size()))
            return ForwardStatus::CoordinatesMismatch;
    if (densities.size() < horizons.size())
        return ForwardStatus::CoordinatesMismatch;
    if (Nx < 2 || Ny < 2 || Nz < 2)
        return ForwardStatus::TooFewNodes;
    const double dx = x[1] - x[0];
    const double dy = y[1] - y[0];
    const double dz = z[1] - z[0];
    for (double d : {dx, dy, dz})
        if (!(d > 0) || !std::isfinite(d))
            return ForwardStatus::NodesNotIncreasing;

    const double x0 = x.front(), xl = x.back();
    const double y0 = y.front(), yl = y.back();
    const double zl = z.back();
    const double level = calc_level - 1e-6;
    const double g = dx / 2, h = dy / 2;
    const double reach = pillar_lateral_reach;

    // Horizons snapped to whole multiples of dz (on this copy only).
    for (auto& hz : horizons)
        for (auto& row : hz)
            for (double& d : row)
                d = std::trunc(d / dz) * dz;
    const double L = std::trunc(zl / dz) * dz;
    auto level_of = [&](double d) { return clamp_trunc(d / dz, 0, Nz); };
    // The last layer's pillars end at L, where its lateral strips end too, so
    // that a model of flat layers is the same slab inside and beside the grid.
    const int last_end = level_of(L);

    try {
        // Cumulative cell effects: C[t] = sum over levels s < t of the field of
        // the cell of level s at the first node, so a pillar of levels
        // t0 .. t1-1 is C[t1] - C[t0].
        std::vector<field2D> C(Nz + 1, field2D(Ny, std::vector<double>(Nx, 0.0)));
        field2D cell(Ny, std::vector<double>(Nx, 0.0));
        for (int t = 0; t < Nz; ++t) {
            prism_gravity_kernel(x, y, level, {x0 - g, x0 + g}, {y0 - h, y0 + h}, {z[t], z[t] + dz},
                                 1.0, cell);
            for (int a = 0; a < Ny; ++a)
                for (int b = 0; b < Nx; ++b)
                    C[t + 1][a][b] = C[t][a][b] + cell[a][b];
        }

        field2D R(Ny, std::vector<double>(Nx, 0.0));
        for (int n = 0; n < Nh; ++n) {
            const bool last = n == Nh - 1;
            const double rho = densities[n];
            for (int j = 0; j < Ny; ++j) {
                if (progress && !progress(n * Ny + j, Nh * Ny))
                    return ForwardStatus::Stopped;
                for (int i = 0; i < Nx; ++i) {
                    const int t0 = level_of(horizons[n][j][i]);
                    const int t1 = last ? last_end : level_of(horizons[n + 1][j][i]);
                    if (t1 <= t0)
                        continue;
                    const field2D& hi = C[t1];
                    const field2D& lo = C[t0];
                    for (int jj = 0; jj < Ny; ++jj) {
                        const int a = std::abs(jj - j);
                        double* r = R[jj].data();
                        const double* ph = hi[a].data();
                        const double* pl = lo[a].data();
                        for (int ii = 0; ii < Nx; ++ii) {
                            const int b = std::abs(ii - i);
                            r[ii] += rho * (ph[b] - pl[b]);
                        }
                    }
                }
            }
        }

        // Lateral continuation: corners and strips tile the plane outside the grid.
        auto add_prism = [&](double xa, double xb, double ya, double yb, double top, double bottom,
                             double rho) {
            prism_gravity_kernel(x, y, level, {xa, xb}, {ya, yb}, {top, bottom}, rho, cell);
            for (int a = 0; a < Ny; ++a)
                for (int b = 0; b < Nx; ++b)
                    R[a][b] += cell[a][b];
        };
        for (int n = 0; n < Nh; ++n) {
            const bool last = n == Nh - 1;
            const double rho = densities[n];
            auto top = [&](int r, int c) { return horizons[n][r][c]; };
            auto bottom = [&](int r, int c, double deepest) {
                return last ? deepest : horizons[n + 1][r][c];
            };
            add_prism(x0 - reach, x0 - g, y0 - reach, y0 - h, top(0, 0), bottom(0, 0, zl), rho);
            add_prism(xl + g, xl + reach, y0 - reach, y0 - h, top(0, Nx - 1), bottom(0, Nx - 1, zl), rho);
            add_prism(x0 - reach, x0 - g, yl + h, yl + reach, top(Ny - 1, 0), bottom(Ny - 1, 0, zl), rho);
            add_prism(xl + g, xl + reach, yl + h, yl + reach, top(Ny - 1, Nx - 1),
                      bottom(Ny - 1, Nx - 1, zl), rho);
            for (int j = 0; j < Ny; ++j) {
                add_prism(x0 - reach, x0 - g, y[j] - h, y[j] + h, top(j, 0), bottom(j, 0, L), rho);
                add_prism(xl + g, xl + reach, y[j] - h, y[j] + h, top(j, Nx - 1), bottom(j, Nx - 1, L), rho);
            }
            for (int i = 0; i < Nx; ++i) {
                add_prism(x[i] - g, x[i] + g, y0 - reach, y0 - h, top(0, i), bottom(0, i, L), rho);
                add_prism(x[i] - g, x[i] + g, yl + h, yl + reach, top(Ny - 1, i), bottom(Ny - 1, i, L), rho);
            }
        }
        result = std::move(R);
    } catch (const std::bad_alloc&) {
        return ForwardStatus::OutOfMemory;
    }
    return ForwardStatus::Completed;
}
