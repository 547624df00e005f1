#include "engine/layered_inversion.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"
#include "engine/fft.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// trunc(v) clamped to 0 .. n; values that are not numbers give 0.
int clamped_level(double v, int n)
{
    if (!(v > 0.0))
        return 0;
    if (v >= static_cast<double>(n))
        return n;
    return static_cast<int>(v);
}

double shallowest(const field2D& h)
{
    double m = h.front().front();
    for (const auto& row : h)
        for (double v : row)
            if (v < m)
                m = v;
    return m;
}

double deepest(const field2D& h)
{
    double m = h.front().front();
    for (const auto& row : h)
        for (double v : row)
            if (v > m)
                m = v;
    return m;
}

bool effects_have_shape(const std::vector<field2D>& effects, std::size_t rows, std::size_t columns)
{
    for (const auto& e : effects)
        if (!grid_has_shape(e, rows, columns))
            return false;
    return true;
}

double mean_of(const field2D& g)
{
    double sum = 0.0;
    std::size_t n = 0;
    for (const auto& row : g) {
        for (double v : row)
            sum += v;
        n += row.size();
    }
    return n ? sum / static_cast<double>(n) : 0.0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Slab effects

bool layer_effects_fit(const std::vector<field2D>& effects, int layers, int rows, int columns)
{
    if (layers <= 0 || rows <= 0 || columns <= 0 || effects.size() != static_cast<std::size_t>(layers))
        return false;
    return effects_have_shape(effects, static_cast<std::size_t>(rows), static_cast<std::size_t>(columns));
}

LevelRange layer_level_range(const std::vector<field2D>& horizons, int i, double last_bottom, double z0, double dz,
                             int nz)
{
    LevelRange r;
    const int count = static_cast<int>(horizons.size());
    if (i < 0 || i >= count || !horizons_are_regular(horizons) || nz <= 0 || !(dz > 0.0))
        return r;
    const double lower = i + 1 < count ? deepest(horizons[i + 1]) : last_bottom;
    r.first = clamped_level((shallowest(horizons[i]) - z0) / dz, nz);
    r.last = clamped_level((lower - z0) / dz + 1.0, nz);
    return r;
}

LayerEffectsStatus compute_layer_effects(const ForwardGeometry& g, const std::vector<field2D>& horizons,
                                         double last_bottom, std::vector<field2D>& out, int thread_count,
                                         const LayerEffectsProgress& progress)
{
    if (!horizons_are_regular(horizons) || horizons.front().size() != static_cast<std::size_t>(g.ny)
        || horizons.front().front().size() != static_cast<std::size_t>(g.nx) || g.nz <= 0
        || g.depths.size() != static_cast<std::size_t>(g.nz) || g.Mx <= 0 || g.My <= 0)
        return LayerEffectsStatus::Mismatch;
    const int layers_count = static_cast<int>(horizons.size());
    const double z0 = g.depths.front();
    const double dz = node_step(g.depths);
    try {
        std::vector<field2D> result(layers_count, field2D(g.ny, std::vector<double>(g.nx, 0.0)));
        field2D cell(g.My, std::vector<double>(g.Mx, 0.0));
        field2D k_re(g.My, std::vector<double>(g.Mx, 0.0)), k_im = k_re;
        field2D a_re = k_re, a_im = k_re;
        vector2D p_re(g.My, std::vector<data_type>(g.Mx, 0.0f)), p_im = p_re;

        for (int i = 0; i < layers_count; ++i) {
            for (auto& row : a_re)
                std::fill(row.begin(), row.end(), 0.0);
            for (auto& row : a_im)
                std::fill(row.begin(), row.end(), 0.0);
            const LevelRange range = layer_level_range(horizons, i, last_bottom, z0, dz, g.nz);
            for (int k = range.first; k < range.last; ++k) {
                if (progress)
                    progress(i, layers_count, k);
                layers::layer_indicator_plane(horizons, z0 + static_cast<double>(k) * dz, p_re, p_im, i, g.ny, g.nx,
                                              g.py, g.px, last_bottom);
                // A level the layer does not reach anywhere adds nothing.
                bool any = false;
                for (const auto& row : p_re) {
                    if (std::find(row.begin(), row.end(), 1.0f) != row.end()) {
                        any = true;
                        break;
                    }
                }
                if (!any)
                    continue;
                unit_cell_field(g, k, cell, thread_count);
                fft_shift(cell, k_re);
                for (auto& row : k_im)
                    std::fill(row.begin(), row.end(), 0.0);
                fft_2d(k_re, k_im, fft_forward);
                fft_2d(p_re, p_im, fft_forward);
                for (int y = 0; y < g.My; ++y) {
                    const float* pr = p_re[y].data();
                    const float* pi = p_im[y].data();
                    const double* kr = k_re[y].data();
                    const double* ki = k_im[y].data();
                    double* ar = a_re[y].data();
                    double* ai = a_im[y].data();
                    for (int x = 0; x < g.Mx; ++x) {
                        const double r = pr[x], im = pi[x];
                        ar[x] += r * kr[x] - im * ki[x];
                        ai[x] += r * ki[x] + im * kr[x];
                    }
                }
            }
            fft_2d(a_re, a_im, fft_inverse);
            for (int y = 0; y < g.ny; ++y)
                for (int x = 0; x < g.nx; ++x)
                    result[i][y][x] = a_re[y + g.py][x + g.px];
        }
        out = std::move(result);
    } catch (const std::bad_alloc&) {
        return LayerEffectsStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return LayerEffectsStatus::OutOfMemory;
    }
    return LayerEffectsStatus::Completed;
}

// ---------------------------------------------------------------------------
// Descent

void layer_prediction(const std::vector<double>& d, const std::vector<field2D>& effects, field2D& p)
{
    if (effects.empty())
        return;
    const std::size_t rows = effects.front().size();
    const std::size_t columns = rows ? effects.front().front().size() : 0;
    p.assign(rows, std::vector<double>(columns, 0.0));
    const std::size_t n = std::min(d.size(), effects.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!grid_has_shape(effects[i], rows, columns))
            continue;
        const double di = d[i];
        for (std::size_t y = 0; y < rows; ++y) {
            const double* e = effects[i][y].data();
            double* out = p[y].data();
            for (std::size_t x = 0; x < columns; ++x)
                out[x] += di * e[x];
        }
    }
}

double layer_fit_loss(const std::vector<double>& d, const field2D& field, const std::vector<field2D>& effects)
{
    if (field.empty() || field.front().empty())
        return 0.0;
    const std::size_t rows = field.size(), columns = field.front().size();
    field2D p;
    if (!effects.empty() && effects_have_shape(effects, rows, columns))
        layer_prediction(d, effects, p);
    else
        p.assign(rows, std::vector<double>(columns, 0.0));
    const double fm = mean_of(field);
    const double pm = mean_of(p);
    double loss = 0.0;
    for (std::size_t y = 0; y < rows; ++y)
        for (std::size_t x = 0; x < columns && x < field[y].size(); ++x) {
            const double v = (field[y][x] - fm) - (p[y][x] - pm);
            loss += v * v;
        }
    return loss;
}

LayerNormalEquations layer_normal_equations(const field2D& field, const std::vector<field2D>& effects)
{
    LayerNormalEquations eq;
    const std::size_t L = effects.size();
    eq.gram.assign(L, std::vector<double>(L, 0.0));
    eq.rhs.assign(L, 0.0);
    if (field.empty() || field.front().empty())
        return eq;
    const std::size_t rows = field.size(), columns = field.front().size();
    if (!grid_has_shape(field, rows, columns) || !effects_have_shape(effects, rows, columns))
        return eq;

    std::vector<double> means(L);
    for (std::size_t i = 0; i < L; ++i)
        means[i] = mean_of(effects[i]);
    const double fm = mean_of(field);
    std::vector<double> e(L);
    for (std::size_t y = 0; y < rows; ++y)
        for (std::size_t x = 0; x < columns; ++x) {
            const double f = field[y][x] - fm;
            for (std::size_t i = 0; i < L; ++i)
                e[i] = effects[i][y][x] - means[i];
            for (std::size_t i = 0; i < L; ++i) {
                const double ei = e[i];
                eq.rhs[i] += ei * f;
                double* gi = eq.gram[i].data();
                for (std::size_t j = i; j < L; ++j)
                    gi[j] += ei * e[j];
            }
        }
    for (std::size_t i = 0; i < L; ++i)
        for (std::size_t j = 0; j < i; ++j)
            eq.gram[i][j] = eq.gram[j][i];
    eq.valid = true;
    return eq;
}

int layer_descent(std::vector<double>& d, const LayerNormalEquations& eq, const std::vector<double>& alpha, int steps,
                  const std::function<bool(int)>& before_step)
{
    const std::size_t L = eq.rhs.size();
    if (!eq.valid || d.size() != L || alpha.size() < L)
        return 0;
    std::vector<double> gradient(L);
    for (int s = 0; s < steps; ++s) {
        if (before_step && !before_step(s))
            return s;
        for (std::size_t i = 0; i < L; ++i) {
            const double* gi = eq.gram[i].data();
            double g = 0.0;
            for (std::size_t j = 0; j < L; ++j)
                g += gi[j] * d[j];
            gradient[i] = g - eq.rhs[i];
        }
        for (std::size_t i = 0; i < L; ++i)
            d[i] -= alpha[i] * gradient[i];
    }
    return steps > 0 ? steps : 0;
}

namespace {

// One trial: 100 * hundreds steps from zero increments, then the loss.
double trial_loss(std::size_t layers, const LayerNormalEquations& eq, const field2D& field,
                  const std::vector<field2D>& effects, const std::vector<double>& alpha, int hundreds,
                  const LayerStepHook& each_step)
{
    std::vector<double> d(layers, 0.0);
    const int steps = 100 * std::max(0, hundreds);
    if (steps > 0)
        layer_descent(d, eq, alpha, steps, [&each_step](int) {
            if (each_step)
                each_step();
            return true;
        });
    return layer_fit_loss(d, field, effects);
}

}  // namespace

double run_layer_fit_iterations(std::vector<double> d, std::vector<std::vector<double>>& field,
                                std::vector<std::vector<std::vector<double>>>& effects, std::vector<double>& alpha,
                                int hundreds, const LayerStepHook& each_step)
{
    const LayerNormalEquations eq = layer_normal_equations(field, effects);
    return trial_loss(d.size(), eq, field, effects, alpha, hundreds, each_step);
}

bool fit_alpha_losses(std::vector<double> d, std::vector<std::vector<double>>& field,
                      std::vector<std::vector<std::vector<double>>>& effects, std::vector<double>& alpha,
                      const LayerStepHook& each_step, int max_trials)
{
    const LayerNormalEquations eq = layer_normal_equations(field, effects);
    if (!eq.valid || d.size() != effects.size() || alpha.size() != effects.size())
        return false;
    const std::vector<double> start = alpha;
    auto loss = [&](int hundreds) { return trial_loss(d.size(), eq, field, effects, alpha, hundreds, each_step); };
    auto scale = [&alpha](double f) {
        for (double& a : alpha)
            a *= f;
    };

    const double l0 = loss(0);
    double l = loss(30);
    int changes = 0;
    if (!std::isnan(l) && l < l0) {
        do {
            if (++changes > max_trials) {
                alpha = start;
                return false;
            }
            scale(10.0);
            l = loss(30);
        } while (!std::isnan(l) && l < l0);
    } else {
        while (std::isnan(l) || l > l0) {
            if (++changes > max_trials) {
                alpha = start;
                return false;
            }
            scale(0.1);
            l = loss(30);
        }
    }
    scale(0.08);
    return true;
}

bool increments_finite(const std::vector<double>& d)
{
    for (double v : d)
        if (!std::isfinite(v))
            return false;
    return true;
}
