#include "engine/layered_inversion.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"
#include "engine/fft.h"
#include "engine/operator_keys.h"
#include "engine/parallel.h"

#include <algorithm>
#include <cmath>
#include <limits>
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

std::uint64_t layer_effects_key(const ForwardGeometry& g, const std::vector<field2D>& horizons, double last_bottom)
{
    KeyHasher f;
    for (int v : {g.nx, g.ny, g.nz, g.Mx, g.My, g.px, g.py})
        f.add(v);
    for (float v : {g.dx, g.dy, g.dz})
        f.add(v);
    f.add(g.x_padded.empty() ? 0.0 : g.x_padded.front());
    f.add(g.y_padded.empty() ? 0.0 : g.y_padded.front());
    for (double v : g.depths)
        f.add(v);
    f.add(g.calc_level);
    f.add(g.expansion_factor);
    f.add(last_bottom);
    f.add(horizons.size());
    for (const auto& h : horizons) {
        f.add(h.size());
        for (const auto& row : h) {
            f.add(row.size());
            for (double v : row)
                f.add(v);
        }
    }
    return f.value();
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

namespace {

// Working grids of one level: the unit cell's field and spectrum, the
// indicator plane and its spectrum.
struct LevelSlot
{
    field2D k_re, k_im;
    vector2D p_re, p_im;
    // The cell's depth faces, sized once: a worker's memory does not depend
    // on when the others make their faces.
    PrismLattice::Face top, bottom;
    bool used = false;

    LevelSlot(const PrismLattice& lattice, int rows, int columns)
        : k_re(rows, std::vector<double>(columns, 0.0)), k_im(k_re),
          p_re(rows, std::vector<data_type>(columns, 0.0f)), p_im(p_re)
    {
        lattice.face_begin(0.0, top);
        lattice.face_begin(0.0, bottom);
    }
};

// The spectra of level k of layer i in `slot`; slot.used is false when the
// layer does not reach the level anywhere (its spectrum would be zero).
void level_spectra(const ForwardGeometry& g, const PrismLattice& lattice, const std::vector<field2D>& horizons, int i,
                   int k, double depth, double last_bottom, LevelSlot& slot, int kernel_threads)
{
    layers::layer_indicator_plane(horizons, depth, slot.p_re, slot.p_im, i, g.ny, g.nx, g.py, g.px, last_bottom);
    slot.used = false;
    for (const auto& row : slot.p_re)
        if (std::find(row.begin(), row.end(), 1.0f) != row.end()) {
            slot.used = true;
            break;
        }
    if (!slot.used)
        return;
    swapped_unit_cell_field(g, lattice, k, slot.top, slot.bottom, slot.k_re, kernel_threads);
    for (auto& row : slot.k_im)
        std::fill(row.begin(), row.end(), 0.0);
    fft_2d(slot.k_re, slot.k_im, fft_forward);
    fft_2d(slot.p_re, slot.p_im, fft_forward);
}

// a += p * k, the complex product cell by cell, for rows [begin, end).
void accumulate(const LevelSlot& slot, field2D& a_re, field2D& a_im, std::size_t begin, std::size_t end)
{
    for (std::size_t y = begin; y < end; ++y) {
        const float* pr = slot.p_re[y].data();
        const float* pi = slot.p_im[y].data();
        const double* kr = slot.k_re[y].data();
        const double* ki = slot.k_im[y].data();
        double* ar = a_re[y].data();
        double* ai = a_im[y].data();
        const std::size_t n = a_re[y].size();
        for (std::size_t x = 0; x < n; ++x) {
            const double r = pr[x], im = pi[x];
            ar[x] += r * kr[x] - im * ki[x];
            ai[x] += r * ki[x] + im * kr[x];
        }
    }
}

}  // namespace

int layer_effects_workers(int thread_count, int levels)
{
    return static_cast<int>(split_workers(static_cast<std::size_t>(std::max(0, levels)), thread_count));
}

double layer_effects_work_bytes(int Mx, int My, int levels, int thread_count)
{
    const double cells = double(std::max(0, Mx)) * double(std::max(0, My));
    // Two faces of two doubles per corner, (Mx/2 + 2) x (My/2 + 2) corners
    // (PrismLattice around the padded grid's centre).
    const double faces = 2.0 * 2.0 * 8.0 * (std::max(0, Mx) / 2 + 2) * (std::max(0, My) / 2 + 2);
    return 16.0 * cells + layer_effects_workers(thread_count, levels) * (24.0 * cells + faces);
}

namespace {

bool layers_lie_on(const ForwardGeometry& g, const std::vector<field2D>& horizons)
{
    return horizons_are_regular(horizons) && horizons.front().size() == static_cast<std::size_t>(g.ny)
           && horizons.front().front().size() == static_cast<std::size_t>(g.nx) && g.nz > 0
           && g.depths.size() == static_cast<std::size_t>(g.nz) && g.Mx > 0 && g.My > 0;
}

// The slab effects of the layers listed in `which` (in that order) into
// `result`, one grid of g.ny x g.nx each. May throw std::bad_alloc.
void slab_effects_of(const ForwardGeometry& g, const std::vector<field2D>& horizons, double last_bottom,
                     const std::vector<int>& which, std::vector<field2D>& result, int thread_count,
                     const LayerEffectsProgress& progress)
{
    const int layers_count = static_cast<int>(horizons.size());
    const int T = std::max(1, thread_count);
    // A group takes at most one level per worker, and no layer has more
    // levels than the grid.
    const int S = layer_effects_workers(T, g.nz);
    const double z0 = g.depths.front();
    const double dz = node_step(g.depths);
    result.assign(which.size(), field2D(g.ny, std::vector<double>(g.nx, 0.0)));
    field2D a_re(g.My, std::vector<double>(g.Mx, 0.0)), a_im = a_re;
    const PrismLattice lattice = unit_cell_lattice(g, g.My, g.Mx);
    std::vector<LevelSlot> slots;
    slots.reserve(S);
    for (int t = 0; t < S; ++t)
        slots.emplace_back(lattice, g.My, g.Mx);

    for (std::size_t w = 0; w < which.size(); ++w) {
        const int i = which[w];
        for (auto& row : a_re)
            std::fill(row.begin(), row.end(), 0.0);
        for (auto& row : a_im)
            std::fill(row.begin(), row.end(), 0.0);
        const LevelRange range = layer_level_range(horizons, i, last_bottom, z0, dz, g.nz);
        // Groups of one level per worker; the spectra are summed in level
        // order, so the result does not depend on the thread count.
        for (int k0 = range.first; k0 < range.last; k0 += S) {
            const int n = std::min(S, range.last - k0);
            if (progress)
                progress(i, layers_count, k0);
            // A short group (the end of a layer) gives each level's
            // kernel the idle workers.
            const int kernel_threads = std::max(1, T / n);
            run_split(static_cast<std::size_t>(n), n, [&](std::size_t begin, std::size_t end) {
                for (std::size_t b = begin; b < end; ++b) {
                    const int k = k0 + static_cast<int>(b);
                    level_spectra(g, lattice, horizons, i, k, z0 + static_cast<double>(k) * dz, last_bottom,
                                  slots[b], kernel_threads);
                }
            });
            // Rows over the workers, levels in order within each row.
            run_split(a_re.size(), T, [&](std::size_t begin, std::size_t end) {
                for (int b = 0; b < n; ++b)
                    if (slots[b].used)
                        accumulate(slots[b], a_re, a_im, begin, end);
            });
        }
        fft_2d(a_re, a_im, fft_inverse);
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x)
                result[w][y][x] = a_re[y + g.py][x + g.px];
    }
}

}  // namespace

LayerEffectsStatus compute_layer_effects(const ForwardGeometry& g, const std::vector<field2D>& horizons,
                                         double last_bottom, std::vector<field2D>& out, int thread_count,
                                         const LayerEffectsProgress& progress)
{
    if (!layers_lie_on(g, horizons))
        return LayerEffectsStatus::Mismatch;
    std::vector<int> all(horizons.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int>(i);
    try {
        std::vector<field2D> result;
        slab_effects_of(g, horizons, last_bottom, all, result, thread_count, progress);
        out = std::move(result);
    } catch (const std::bad_alloc&) {
        return LayerEffectsStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return LayerEffectsStatus::OutOfMemory;
    }
    return LayerEffectsStatus::Completed;
}

namespace {

// The layers the check computes again: every other layer, the even or the
// odd ones, whichever reach fewer levels. Every boundary between two layers
// borders one of them, so a boundary moved changes a layer computed.
std::vector<int> checked_layers(const ForwardGeometry& g, const std::vector<field2D>& horizons, double last_bottom,
                                int* levels = nullptr, int* all = nullptr)
{
    const double z0 = g.depths.front(), dz = node_step(g.depths);
    std::vector<int> set[2];
    int count[2] = {0, 0}, total = 0;
    for (int i = 0; i < static_cast<int>(horizons.size()); ++i) {
        const LevelRange r = layer_level_range(horizons, i, last_bottom, z0, dz, g.nz);
        const int n = std::max(0, r.last - r.first);
        total += n;
        if (n > 0) {
            set[i % 2].push_back(i);
            count[i % 2] += n;
        }
    }
    const int pick = set[1].empty() || (!set[0].empty() && count[0] <= count[1]) ? 0 : 1;
    if (levels)
        *levels = count[pick];
    if (all)
        *all = total;
    return set[pick];
}

// The sum of all layers' effects when it is known without computing them:
// a flat first horizon, horizons that never cross and end above the last
// layer's bottom make the layers fill every level between the first
// horizon and that bottom, across the whole padded grid, so the sum is the
// same at every node: the levels' cell fields summed over the grid
// (PrismLattice::field_sum). Not a number otherwise.
double layers_sum(const ForwardGeometry& g, const std::vector<field2D>& horizons, double last_bottom)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double top = horizons.front().front().front();
    for (const auto& row : horizons.front())
        for (double v : row)
            if (v != top)
                return nan;
    for (std::size_t h = 0; h < horizons.size(); ++h) {
        const field2D& upper = horizons[h];
        for (std::size_t r = 0; r < upper.size(); ++r)
            for (std::size_t c = 0; c < upper[r].size(); ++c) {
                const double lower = h + 1 < horizons.size() ? horizons[h + 1][r][c] : last_bottom;
                if (!(upper[r][c] <= lower))
                    return nan;
            }
    }
    const PrismLattice lattice = unit_cell_lattice(g, g.My, g.Mx);
    const double z0 = g.depths.front(), dz = node_step(g.depths);
    double sum = 0;
    for (int k = 0; k < g.nz; ++k) {
        const double z = z0 + static_cast<double>(k) * dz;  // as the layers' indicators take it
        if (top <= z && z < last_bottom)
            sum += lattice.field_sum(g.depths[std::size_t(k)], g.depths[std::size_t(k)] + g.dz, 1.0, true);
    }
    return sum;
}

}  // namespace

LayerEffectsCost layer_effects_cost(const ForwardGeometry& g, const std::vector<field2D>& horizons,
                                    double last_bottom)
{
    LayerEffectsCost cost;
    if (layers_lie_on(g, horizons))
        checked_layers(g, horizons, last_bottom, &cost.check_levels, &cost.build_levels);
    return cost;
}

LayerEffectsCheck check_layer_effects(const std::vector<field2D>& held, const ForwardGeometry& g,
                                      const std::vector<field2D>& horizons, double last_bottom, int thread_count)
{
    if (!layers_lie_on(g, horizons) || !layer_effects_fit(held, static_cast<int>(horizons.size()), g.ny, g.nx))
        return LayerEffectsCheck::OtherSizes;
    for (const field2D& layer : held)
        for (const auto& row : layer)
            for (double v : row)
                if (!std::isfinite(v))
                    return LayerEffectsCheck::NotFinite;
    try {
        // The sum of the layers, where it is known.
        const double expected = layers_sum(g, horizons, last_bottom);
        if (std::isfinite(expected)) {
            for (int y = 0; y < g.ny; ++y)
                for (int x = 0; x < g.nx; ++x) {
                    double sum = 0;
                    for (const field2D& layer : held)
                        sum += layer[std::size_t(y)][std::size_t(x)];
                    if (!(std::fabs(sum - expected) <= effects_check_tolerance * std::fabs(expected)))
                        return LayerEffectsCheck::Differs;
                }
        }
        const std::vector<int> which = checked_layers(g, horizons, last_bottom);
        if (which.empty()) {
            // No layer reaches a level: every effect is 0.
            for (const field2D& layer : held)
                for (const auto& row : layer)
                    for (double v : row)
                        if (v != 0)
                            return LayerEffectsCheck::Differs;
            return LayerEffectsCheck::Own;
        }
        std::vector<field2D> own;
        slab_effects_of(g, horizons, last_bottom, which, own, thread_count, LayerEffectsProgress());
        for (std::size_t w = 0; w < which.size(); ++w) {
            EffectsAgreement agreement;
            for (std::size_t y = 0; y < own[w].size(); ++y)
                agreement.add(held[std::size_t(which[w])][y].data(), own[w][y].data(), own[w][y].size());
            if (!agreement.within(effects_check_tolerance))
                return LayerEffectsCheck::Differs;
        }
    } catch (const std::bad_alloc&) {
        return LayerEffectsCheck::NoMemory;
    } catch (const std::length_error&) {
        return LayerEffectsCheck::NoMemory;
    }
    return LayerEffectsCheck::Own;
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
