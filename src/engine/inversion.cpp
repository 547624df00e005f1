#include "engine/inversion.h"

#include "common/int_conversion.h"

#include "common/grid_helpers.h"
#include "engine/fft.h"
#include "engine/parallel.h"
#include "engine/target_clones.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

// ---------------------------------------------------------------------------
// Record

int inversion_record::integer(const std::vector<double>& record, std::size_t i)
{
    return saturating_int(value(record, i));
}

bool inversion_record::fills_model(const std::vector<double>& record, bool regularizer_levels_match, bool any_fixed,
                                   bool save_log, bool sign_on)
{
    if (integer(record, kind) == kind_lateral)
        return true;
    return any_fixed || flag(record, positive_density) || flag(record, use_initial_model)
           || (flag(record, use_uploaded_regularizer) && regularizer_levels_match) || flag(record, density_limits_on)
           || save_log || sign_on;
}

// ---------------------------------------------------------------------------
// Depth weighting

double starting_depth_power(const std::vector<double>& record)
{
    using namespace inversion_record;
    const double p = value(record, depth_power);
    if (flag(record, power_schedule))
        return std::min(value(record, final_power), p);
    return p;
}

double scheduled_depth_power(double initial, double final_power, int it, int count)
{
    if (count <= 1)
        return initial;
    return initial + (final_power - initial) * static_cast<double>(it) / static_cast<double>(count - 1);
}

std::vector<double> depth_level_weights(int nz, double power, double scale)
{
    std::vector<double> w(nz > 0 ? static_cast<std::size_t>(nz) : 0);
    for (int q = 0; q < nz; ++q)
        w[q] = scale * std::pow(static_cast<double>(q + 1) / static_cast<double>(nz), power);
    return w;
}

namespace {

bool horizon_extent(const field2D& h, double& shallowest, double& deepest)
{
    bool any = false;
    for (const auto& row : h)
        for (double d : row) {
            if (!any) {
                shallowest = deepest = d;
                any = true;
            } else {
                shallowest = std::min(shallowest, d);
                deepest = std::max(deepest, d);
            }
        }
    return any;
}

} // namespace

int zero_fixed_level_weights(std::vector<double>& weights, const vector3D& den_grid,
                             const std::vector<field2D>& horizons, const std::vector<bool>& fixed,
                             double z0, double dz)
{
    const std::size_t H = std::min(horizons.size(), fixed.size());
    if (H == 0)
        return 0;
    std::vector<double> shallow(H), deep(H);
    std::vector<bool> valid(H);
    for (std::size_t h = 0; h < H; ++h)
        valid[h] = horizon_extent(horizons[h], shallow[h], deep[h]);

    int zeroed = 0;
    const std::size_t nz = std::min(den_grid.size(), weights.size());
    for (std::size_t q = 0; q < nz; ++q) {
        const double z = z0 + static_cast<double>(q) * dz;
        bool inside = false;
        for (std::size_t j = 0; j + 1 < H && !inside; ++j)
            inside = fixed[j] && valid[j] && valid[j + 1] && deep[j] <= z && z <= shallow[j + 1];
        if (!inside)
            inside = fixed[H - 1] && valid[H - 1] && z > deep[H - 1];
        if (inside && weights[q] != 0.0) {
            weights[q] = 0.0;
            ++zeroed;
        }
    }
    std::cout << "alphas ";
    for (double w : weights)
        std::cout << w << ' ';
    std::cout << std::endl;
    return zeroed;
}

int zero_constant_level_weights(std::vector<double>& weights, const vector3D& den_grid)
{
    int zeroed = 0;
    const std::size_t nz = std::min(den_grid.size(), weights.size());
    for (std::size_t q = 0; q < nz; ++q) {
        const vector2D& level = den_grid[q];
        if (level.empty() || level.front().empty())
            continue;
        if (grid_min(level) == grid_max(level) && weights[q] != 0.0) {
            weights[q] = 0.0;
            ++zeroed;
        }
    }
    return zeroed;
}

// ---------------------------------------------------------------------------
// Spectra

namespace {

double sum_of_squares(const field2D& g)
{
    double s = 0.0;
    for (const auto& row : g)
        for (double v : row)
            s += v * v;
    return s;
}

double mean_of(const field2D& g)
{
    double s = 0.0;
    std::size_t n = 0;
    for (const auto& row : g) {
        for (double v : row)
            s += v;
        n += row.size();
    }
    return n ? s / static_cast<double>(n) : 0.0;
}

void fill(field2D& g, double v)
{
    for (auto& row : g)
        std::fill(row.begin(), row.end(), v);
}

void add_scalar(field2D& g, double v)
{
    for (auto& row : g)
        for (double& x : row)
            x += v;
}

void zero(vector3D& c)
{
    for (auto& level : c)
        for (auto& row : level)
            std::fill(row.begin(), row.end(), 0.0f);
}

} // namespace

void mean_free_spectrum(const field2D& padded, field2D& spectrum_re, field2D& spectrum_im)
{
    spectrum_re = padded;
    add_scalar(spectrum_re, -mean_of(spectrum_re));
    spectrum_im.assign(padded.size(), std::vector<double>(padded.empty() ? 0 : padded[0].size(), 0.0));
    fft_2d(spectrum_re, spectrum_im, fft_forward);
}

// ---------------------------------------------------------------------------
// Half spectra of the model

int half_spectrum_columns(int columns) { return columns > 1 ? columns / 2 + 1 : columns; }

namespace {

void shape_grid(vector2D& g, std::size_t rows, std::size_t cols)
{
    g.resize(rows);
    for (auto& row : g)
        row.resize(cols);
}

} // namespace

namespace {

// The half spectrum of `level` into out_re/out_im (already My x half).
void half_spectrum_into(const vector2D& level, vector2D& out_re, vector2D& out_im, vector2D& work_re,
                        vector2D& work_im)
{
    const std::size_t rows = level.size(), cols = rows ? level[0].size() : 0;
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    shape_grid(work_re, rows, cols);
    shape_grid(work_im, rows, cols);
    for (std::size_t r = 0; r < rows; ++r) {
        std::copy(level[r].begin(), level[r].end(), work_re[r].begin());
        std::fill(work_im[r].begin(), work_im[r].end(), 0.0f);
    }
    fft_2d(work_re, work_im, fft_forward);
    for (std::size_t r = 0; r < rows; ++r) {
        std::copy_n(work_re[r].begin(), half, out_re[r].begin());
        std::copy_n(work_im[r].begin(), half, out_im[r].begin());
    }
}

// The level of the half spectrum (re, im) into out (already My x columns),
// its imaginary parts into *imaginary (already My x columns) when given.
void level_from_half_into(const vector2D& re, const vector2D& im, std::size_t cols, vector2D& out,
                          vector2D* imaginary, vector2D& work_re, vector2D& work_im)
{
    const std::size_t rows = re.size();
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    shape_grid(work_re, rows, cols);
    shape_grid(work_im, rows, cols);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t mirror = (rows - r) % rows;
        for (std::size_t c = 0; c < cols; ++c) {
            if (c < half) {
                work_re[r][c] = re[r][c];
                work_im[r][c] = im[r][c];
            } else {
                work_re[r][c] = re[mirror][cols - c];
                work_im[r][c] = -im[mirror][cols - c];
            }
        }
    }
    fft_2d(work_re, work_im, fft_inverse);
    for (std::size_t r = 0; r < rows; ++r) {
        std::copy(work_re[r].begin(), work_re[r].end(), out[r].begin());
        if (imaginary)
            std::copy(work_im[r].begin(), work_im[r].end(), (*imaginary)[r].begin());
    }
}

// Converts every level: a few levels at a time (one per worker), the new
// levels allocated by the calling thread and the old ones let go by it, so
// that the memory of the old levels serves the next new ones.
// convert(k, new_re, new_im, work_re, work_im) fills level k's new grids,
// whose shapes shape(new_re, new_im) gives.
template <typename Shape, typename Convert>
void convert_levels(vector3D& levels, vector3D& im, int thread_count, const Shape& shape, const Convert& convert)
{
    im.resize(levels.size());
    const std::size_t batch = static_cast<std::size_t>(
        std::max(level_conversion_workers(thread_count, static_cast<int>(std::min<std::size_t>(levels.size(), 1u << 30))), 1));
    std::vector<vector2D> new_re(batch), new_im(batch);
    std::vector<vector2D> work_re(batch), work_im(batch);
    for (std::size_t b0 = 0; b0 < levels.size(); b0 += batch) {
        const std::size_t n = std::min(batch, levels.size() - b0);
        for (std::size_t i = 0; i < n; ++i)
            shape(new_re[i], new_im[i]);
        run_split(n, thread_count, [&](std::size_t i0, std::size_t i1) {
            for (std::size_t i = i0; i < i1; ++i)
                convert(b0 + i, new_re[i], new_im[i], work_re[i], work_im[i]);
        });
        for (std::size_t i = 0; i < n; ++i) {
            levels[b0 + i].swap(new_re[i]);
            im[b0 + i].swap(new_im[i]);
            vector2D().swap(new_re[i]);
            vector2D().swap(new_im[i]);
        }
    }
}

} // namespace

int level_conversion_workers(int thread_count, int levels)
{
    return std::max(0, std::min(std::max(thread_count, 1), levels));
}

void level_to_half_spectrum(vector2D& level, vector2D& im, vector2D& work_re, vector2D& work_im)
{
    const std::size_t rows = level.size(), cols = rows ? level[0].size() : 0;
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    vector2D half_re(rows, std::vector<float>(half)), half_im(rows, std::vector<float>(half));
    half_spectrum_into(level, half_re, half_im, work_re, work_im);
    level.swap(half_re);
    im.swap(half_im);
}

void level_from_half_spectrum(vector2D& level, vector2D& im, int columns, vector2D& work_re, vector2D& work_im,
                              vector2D* imaginary)
{
    const std::size_t rows = level.size(), cols = static_cast<std::size_t>(std::max(columns, 0));
    vector2D out(rows, std::vector<float>(cols));
    if (imaginary)
        imaginary->assign(rows, std::vector<float>(cols));
    level_from_half_into(level, im, cols, out, imaginary, work_re, work_im);
    level.swap(out);
    vector2D().swap(im);
}

void model_to_half_spectra(vector3D& levels, vector3D& im, int thread_count)
{
    const std::size_t rows = levels.empty() ? 0 : levels[0].size();
    const std::size_t cols = rows ? levels[0][0].size() : 0;
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    convert_levels(
        levels, im, thread_count,
        [&](vector2D& re, vector2D& imag) {
            re.assign(rows, std::vector<float>(half));
            imag.assign(rows, std::vector<float>(half));
        },
        [&](std::size_t k, vector2D& re, vector2D& imag, vector2D& work_re, vector2D& work_im) {
            half_spectrum_into(levels[k], re, imag, work_re, work_im);
        });
}

void model_from_half_spectra(vector3D& levels, vector3D& im, int columns, int thread_count, bool imaginary_parts)
{
    const std::size_t rows = levels.empty() ? 0 : levels[0].size();
    const std::size_t cols = static_cast<std::size_t>(std::max(columns, 0));
    convert_levels(
        levels, im, thread_count,
        [&](vector2D& re, vector2D& imag) {
            re.assign(rows, std::vector<float>(cols));
            if (imaginary_parts)
                imag.assign(rows, std::vector<float>(cols));
        },
        [&](std::size_t k, vector2D& re, vector2D& imag, vector2D& work_re, vector2D& work_im) {
            level_from_half_into(levels[k], im[k], cols, re, imaginary_parts ? &imag : nullptr, work_re, work_im);
        });
}

namespace {

// The misfit spectrum from a predicted spectrum: predicted minus observed,
// brought back, its real part made mean-free and its imaginary part dropped,
// transformed forward again.
void misfit_from_predicted(const field2D& predicted_re, const field2D& predicted_im, const field2D& observed_re,
                           const field2D& observed_im, field2D& out_re, field2D& out_im)
{
    out_re = predicted_re;
    out_im = predicted_im;
    grid_subtract(out_re, observed_re);
    grid_subtract(out_im, observed_im);
    fft_2d(out_re, out_im, fft_inverse);
    add_scalar(out_re, -mean_of(out_re));
    fill(out_im, 0.0);
    fft_2d(out_re, out_im, fft_forward);
}

// Every level of re and im has `rows` rows of `half` values.
bool model_has_half_shape(const vector3D& re, const vector3D& im, std::size_t rows, std::size_t half)
{
    if (re.size() != im.size())
        return false;
    for (std::size_t l = 0; l < re.size(); ++l) {
        if (re[l].size() != rows || im[l].size() != rows)
            return false;
        for (std::size_t r = 0; r < rows; ++r)
            if (re[l][r].size() != half || im[l][r].size() != half)
                return false;
    }
    return true;
}

// Columns of the half spectrum that one block of steps holds: with all the
// levels of two rows they stay in the second-level cache. A whole number of
// vectors, so that the loops of a full block have no remainder.
constexpr std::size_t step_block_columns = 64;

// What every block of one run of steps shares.
struct StepRun
{
    const EffectsOperator& op;
    vector3D& re;
    vector3D& im;
    const field2D& obs_re;
    const field2D& obs_im;
    const double* w;        // the weight of every level (0 beyond the weights given)
    std::size_t levels;     // levels that take part
    std::size_t rows, cols; // My, Mx
    int steps;
};

// Where one block's rows of every level are: the operator's half row (the
// same for a row and its mirror) and the model's two rows.
struct BlockRows
{
    std::vector<const float*> op;
    std::vector<float*> re, im;  // [2 * level + i]
};

// sums += float(o * m) in double, over N columns.
template <std::size_t N>
__attribute__((always_inline)) inline void accumulate_columns(const float* __restrict o, const float* __restrict mr,
                                                              const float* __restrict mi, double* __restrict sr,
                                                              double* __restrict si, std::size_t n)
{
    const std::size_t count = N ? N : n;
    for (std::size_t k = 0; k < count; ++k) {
        const float a = o[k] * mr[k];
        const float b = o[k] * mi[k];
        sr[k] += static_cast<double>(a);
        si[k] += static_cast<double>(b);
    }
}

// m = float(m - o * d * w) in double, then sums += float(o * m) when `sum`.
template <std::size_t N>
__attribute__((always_inline)) inline void update_columns(const float* __restrict o, float* __restrict mr,
                                                          float* __restrict mi, const double* __restrict dr,
                                                          const double* __restrict di, double w,
                                                          double* __restrict sr, double* __restrict si, bool sum,
                                                          std::size_t n)
{
    const std::size_t count = N ? N : n;
    if (sum) {
        for (std::size_t k = 0; k < count; ++k) {
            const double ok = static_cast<double>(o[k]);
            const float a = static_cast<float>(static_cast<double>(mr[k]) - ok * dr[k] * w);
            const float b = static_cast<float>(static_cast<double>(mi[k]) - ok * di[k] * w);
            mr[k] = a;
            mi[k] = b;
            const float pa = o[k] * a;
            const float pb = o[k] * b;
            sr[k] += static_cast<double>(pa);
            si[k] += static_cast<double>(pb);
        }
    } else {
        for (std::size_t k = 0; k < count; ++k) {
            const double ok = static_cast<double>(o[k]);
            mr[k] = static_cast<float>(static_cast<double>(mr[k]) - ok * dr[k] * w);
            mi[k] = static_cast<float>(static_cast<double>(mi[k]) - ok * di[k] * w);
        }
    }
}

// `steps` gradient steps of the wavenumbers in columns [c0, c1) of the half
// spectrum in row r and its mirror row (My - r) mod My. Every step forms the
// predicted spectrum (float products summed in double, levels in order),
// the misfit D from it (see the top of inversion.h) and moves every level
// with a non-zero weight by -w * operator * D, computed in double and
// rounded to float. A step's update pass also sums the moved model's
// prediction for the next step. N is the block's width when it is a full
// block, 0 otherwise.
template <std::size_t N>
__attribute__((always_inline)) inline void step_block_columns_of(const StepRun& run, BlockRows& at, std::size_t r,
                                                                 std::size_t c0, std::size_t c1)
{
    constexpr std::size_t B = step_block_columns;
    const std::size_t mirror = (run.rows - r) % run.rows;
    const std::size_t rows_of[2] = {r, mirror};
    const std::size_t n = mirror == r ? 1 : 2;
    const std::size_t nc = c1 - c0;
    alignas(64) double pr[2][2 * B], pi[2][2 * B], hr[2][2 * B], hi[2][2 * B], dr[2][2 * B], di[2][2 * B];

    for (std::size_t l = 0; l < run.levels; ++l) {
        at.op[l] = run.op.half_row(static_cast<int>(l), static_cast<int>(r)) + c0;
        for (std::size_t i = 0; i < n; ++i) {
            at.re[2 * l + i] = run.re[l][rows_of[i]].data() + c0;
            at.im[2 * l + i] = run.im[l][rows_of[i]].data() + c0;
        }
    }

    // The Hermitian part of the observed spectrum: (O(k) + conj O(-k)) / 2.
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t rr = rows_of[i], rm = rows_of[n - 1 - i];
        for (std::size_t k = 0; k < nc; ++k) {
            const std::size_t c = c0 + k, cm = (run.cols - c) % run.cols;
            hr[i][k] = 0.5 * (run.obs_re[rr][c] + run.obs_re[rm][cm]);
            hi[i][k] = 0.5 * (run.obs_im[rr][c] - run.obs_im[rm][cm]);
        }
    }

    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < nc; ++k)
            pr[i][k] = pi[i][k] = 0.0;
    for (std::size_t l = 0; l < run.levels; ++l)
        for (std::size_t i = 0; i < n; ++i)
            accumulate_columns<N>(at.op[l], at.re[2 * l + i], at.im[2 * l + i], pr[i], pi[i], nc);

    for (int s = 0; s < run.steps; ++s) {
        // The misfit: predicted minus observed, its Hermitian part. Only in
        // the columns that are their own mirrors (0 and Mx/2) does the
        // predicted spectrum have a part that is not Hermitian.
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t k = 0; k < nc; ++k) {
                dr[i][k] = pr[i][k] - hr[i][k];
                di[i][k] = pi[i][k] - hi[i][k];
            }
            const std::size_t j = n - 1 - i;
            for (std::size_t c : {std::size_t(0), run.cols / 2}) {
                if (c < c0 || c >= c1 || (run.cols - c) % run.cols != c)
                    continue;
                const std::size_t k = c - c0;
                dr[i][k] = 0.5 * (pr[i][k] + pr[j][k]) - hr[i][k];
                di[i][k] = 0.5 * (pi[i][k] - pi[j][k]) - hi[i][k];
            }
        }
        if (r == 0 && c0 == 0)
            dr[0][0] = di[0][0] = 0.0;  // the mean is removed

        const bool sum = s + 1 < run.steps;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t k = 0; k < nc; ++k)
                pr[i][k] = pi[i][k] = 0.0;
        for (std::size_t l = 0; l < run.levels; ++l) {
            const double w = run.w[l];
            for (std::size_t i = 0; i < n; ++i) {
                if (w != 0.0)
                    update_columns<N>(at.op[l], at.re[2 * l + i], at.im[2 * l + i], dr[i], di[i], w, pr[i], pi[i],
                                      sum, nc);
                else if (sum)
                    accumulate_columns<N>(at.op[l], at.re[2 * l + i], at.im[2 * l + i], pr[i], pi[i], nc);
            }
        }
    }
}

// One block of step_block_columns_of. Cloned for the processor's wide
// vector instructions where it has them; without contraction into fused
// multiply-adds every clone rounds alike.
TOLMERA_TARGET_CLONES("avx512f", "avx2", "default") void step_block(const StepRun& run, BlockRows& at, std::size_t r,
                                                                   std::size_t c0, std::size_t c1)
{
    if (c1 - c0 == step_block_columns)
        step_block_columns_of<step_block_columns>(run, at, r, c0, c1);
    else
        step_block_columns_of<0>(run, at, r, c0, c1);
}

// `steps` gradient steps of the model's half spectra (see step_block), a
// block of wavenumbers at a time; the pairs of mirrored rows are split over
// the workers. A model, operator or observed spectrum of shapes that do not
// agree moves nothing.
void gradient_steps(const EffectsOperator& op, vector3D& re, vector3D& im, const field2D& obs_re,
                    const field2D& obs_im, const std::vector<double>& weights, int steps, int thread_count)
{
    if (steps <= 0 || re.empty() || obs_re.empty() || obs_re[0].empty())
        return;
    const std::size_t rows = obs_re.size(), cols = obs_re[0].size();
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    if (op.rows != static_cast<int>(rows) || op.columns != static_cast<int>(cols) || obs_im.size() != rows
        || obs_im[0].size() != cols || !model_has_half_shape(re, im, rows, half))
        return;
    const std::size_t levels = std::min({re.size(), im.size(), static_cast<std::size_t>(op.levels())});
    std::vector<double> w(levels, 0.0);
    bool any = false;
    for (std::size_t l = 0; l < levels && l < weights.size(); ++l) {
        w[l] = weights[l];
        any = any || w[l] != 0.0;
    }
    if (!any)
        return;
    const StepRun run{op, re, im, obs_re, obs_im, w.data(), levels, rows, cols, steps};
    run_split(rows / 2 + 1 < rows ? rows / 2 + 1 : rows, thread_count, [&](std::size_t p0, std::size_t p1) {
        BlockRows at;
        at.op.resize(levels);
        at.re.resize(2 * levels);
        at.im.resize(2 * levels);
        for (std::size_t p = p0; p < p1; ++p)
            for (std::size_t c0 = 0; c0 < half;) {
                // A short last block joins the one before it.
                std::size_t c1 = std::min(c0 + step_block_columns, half);
                if (half - c1 < step_block_columns / 4)
                    c1 = half;
                step_block(run, at, p, c0, c1);
                c0 = c1;
            }
    });
}

// Rows [r0, r1) of the predicted spectrum over columns [0, half): float
// products summed in double, levels in order, a few rows at a time so that
// their sums stay in cache. Cloned as step_block.
TOLMERA_TARGET_CLONES("avx512f", "avx2", "default") void accumulate_half_rows(
    const EffectsOperator& op, const vector3D& model_re, const vector3D& model_im, field2D& out_re,
    field2D& out_im, std::size_t levels, std::size_t half, std::size_t r0, std::size_t r1)
{
    for (std::size_t r = r0; r < r1; ++r) {
        std::fill(out_re[r].begin(), out_re[r].begin() + static_cast<std::ptrdiff_t>(half), 0.0);
        std::fill(out_im[r].begin(), out_im[r].begin() + static_cast<std::ptrdiff_t>(half), 0.0);
    }
    constexpr std::size_t block = 8;
    for (std::size_t b0 = r0; b0 < r1; b0 += block) {
        const std::size_t b1 = std::min(b0 + block, r1);
        for (std::size_t l = 0; l < levels; ++l)
            for (std::size_t r = b0; r < b1; ++r)
                accumulate_columns<0>(op.half_row(static_cast<int>(l), static_cast<int>(r)), model_re[l][r].data(),
                                      model_im[l][r].data(), out_re[r].data(), out_im[r].data(), half);
    }
}

// Steps asked for one at a time and made in runs (see
// run_inversion_iteration): about this many cell-steps per run, so that
// the window is answered a few times a second on large models.
constexpr double cell_steps_per_run = 3.0e8;

int steps_per_run(const vector3D& model)
{
    const double cells = model.empty() || model[0].empty()
                             ? 0.0
                             : double(model.size()) * double(model[0].size()) * double(model[0][0].size());
    if (cells <= 0)
        return inner_steps_per_iteration;
    return std::clamp(static_cast<int>(cell_steps_per_run / cells), 1, inner_steps_per_iteration);
}

} // namespace

namespace {

// The predicted spectrum of the model's half spectra on the full grid
// (pred_re/pred_im of the padded shape): summed over columns 0 .. Mx/2,
// completed by the conjugates. An operator of another grid predicts 0.
void predicted_spectrum(const EffectsOperator& effects, const vector3D& model_re, const vector3D& model_im,
                        field2D& pred_re, field2D& pred_im, int thread_count)
{
    const std::size_t rows = pred_re.size(), cols = rows ? pred_re[0].size() : 0;
    if (!rows || !cols)
        return;
    const std::size_t half = static_cast<std::size_t>(half_spectrum_columns(static_cast<int>(cols)));
    const bool fits = effects.rows == static_cast<int>(rows) && effects.columns == static_cast<int>(cols)
                      && model_has_half_shape(model_re, model_im, rows, half);
    if (!fits) {
        fill(pred_re, 0.0);
        fill(pred_im, 0.0);
        return;
    }
    const std::size_t levels = std::min(model_re.size(), static_cast<std::size_t>(effects.levels()));
    run_split(rows, thread_count, [&](std::size_t r0, std::size_t r1) {
        accumulate_half_rows(effects, model_re, model_im, pred_re, pred_im, levels, half, r0, r1);
    });
    fft_complete_half_spectrum(pred_re, pred_im);
}

} // namespace

void misfit_spectrum(const EffectsOperator& effects, const vector3D& model_re, const vector3D& model_im,
                     const field2D& observed_re, const field2D& observed_im, field2D& out_re,
                     field2D& out_im, int thread_count)
{
    field2D pred_re = out_re, pred_im = out_im;
    predicted_spectrum(effects, model_re, model_im, pred_re, pred_im, thread_count);
    misfit_from_predicted(pred_re, pred_im, observed_re, observed_im, out_re, out_im);
}

void inversion_inner_step(const EffectsOperator& effects, vector3D& model_re, vector3D& model_im,
                          const field2D& observed_re, const field2D& observed_im,
                          const std::vector<double>& weights, field2D&, field2D&, int thread_count)
{
    gradient_steps(effects, model_re, model_im, observed_re, observed_im, weights, 1, thread_count);
}

void predicted_field(const EffectsOperator& effects, const vector3D& model_re, const vector3D& model_im,
                     field2D& field_re, field2D& field_im, int thread_count)
{
    predicted_spectrum(effects, model_re, model_im, field_re, field_im, thread_count);
    fft_2d(field_re, field_im, fft_inverse);
}

// ---------------------------------------------------------------------------
// Iterations

int run_inversion_iteration(const RunControl& control, const EffectsOperator& effects, vector3D& model_re,
                            vector3D& model_im, const field2D& observed_re, const field2D& observed_im,
                            const std::vector<double>& weights, field2D&, field2D&, int thread_count, int it,
                            int count)
{
    const int per_run = steps_per_run(model_re);
    int steps = 0, pending = 0;
    for (int s = 0; s < inner_steps_per_iteration; ++s) {
        control.show_percent(count > 0 ? static_cast<int>(static_cast<long long>(it) * 100 / count) : 0);
        control.show(QStringLiteral("Iter %1 - %2 %").arg(it + 1).arg(5 * s));
        ++pending;
        ++steps;
        const bool stop = !control.keep_running();
        if (stop || pending == per_run || s + 1 == inner_steps_per_iteration) {
            gradient_steps(effects, model_re, model_im, observed_re, observed_im, weights, pending, thread_count);
            pending = 0;
        }
        if (stop)
            break;
    }
    return steps;
}

// ---------------------------------------------------------------------------
// Regularization-weight search

double run_fit_iterations(const RunControl& control, vector3D& trial_re, vector3D& trial_im,
                          const field2D& padded_observed, const field2D& observed_re,
                          const field2D& observed_im, const EffectsOperator& effects,
                          const std::vector<double>& weights, int thread_count, int trial)
{
    // The steps are asked for one at a time and made in runs, as in
    // run_inversion_iteration.
    const int per_run = steps_per_run(trial_re);
    int pending = 0;
    for (int step = 0; step < 100 && control.keep_running(); step += 10) {
        control.show(QStringLiteral("Fit alpha step %1 - %2 %").arg(trial).arg(step));
        if (++pending == per_run) {
            gradient_steps(effects, trial_re, trial_im, observed_re, observed_im, weights, pending, thread_count);
            pending = 0;
        }
    }
    gradient_steps(effects, trial_re, trial_im, observed_re, observed_im, weights, pending, thread_count);

    // Residual energy of the trial, also after a stop.
    const std::size_t rows = observed_re.size();
    const std::size_t cols = rows ? observed_re[0].size() : 0;
    field2D work_re(rows, std::vector<double>(cols)), work_im = work_re;
    predicted_field(effects, trial_re, trial_im, work_re, work_im, thread_count);
    grid_subtract(work_re, padded_observed);
    add_scalar(work_re, -mean_of(work_re));
    return sum_of_squares(work_re);
}

namespace {

void scale_weights(std::vector<double>& w, double f)
{
    for (double& x : w)
        x *= f;
}

} // namespace

AlphaFit fit_alpha_decades(const RunControl& control, int nz, int My, int Mx, const field2D& padded_observed,
                           const field2D& observed_re, const field2D& observed_im,
                           const EffectsOperator& effects, std::vector<double>& weights, int thread_count,
                           int max_trials)
{
    AlphaFit fit;
    if (nz <= 0 || My <= 0 || Mx <= 0 || padded_observed.empty() || padded_observed[0].empty()) {
        fit.status = AlphaFitStatus::NoVariation;
        return fit;
    }
    // A constant field leaves nothing to fit: the mean-free residual of
    // every trial is zero and the search would climb without end.
    if (grid_max(padded_observed) == grid_min(padded_observed)) {
        fit.status = AlphaFitStatus::NoVariation;
        return fit;
    }
    max_trials = std::max(1, max_trials);

    const std::vector<double> original = weights;
    const int half = half_spectrum_columns(Mx);
    vector3D trial_re(nz, vector2D(My, std::vector<float>(half, 0.0f)));
    vector3D trial_im(nz, vector2D(My, std::vector<float>(half, 0.0f)));
    const double S = sum_of_squares(padded_observed);

    auto trial_energy = [&](int n) {
        zero(trial_re);
        zero(trial_im);
        ++fit.trials;
        return run_fit_iterations(control, trial_re, trial_im, padded_observed, observed_re, observed_im,
                                  effects, weights, thread_count, n);
    };

    int n = 1;
    double v = trial_energy(n);
    double f = 1.0;
    bool limit_reached = false;
    bool any_finite = std::isfinite(v);

    if (v < S) {
        // The steps converge: go up while they still do.
        while (control.keep_running()) {
            if (fit.trials >= max_trials) {
                limit_reached = true;
                break;
            }
            ++n;
            std::cout << "increasing alpha" << std::endl;
            const long long t0 = elapsed_clock_ns();
            scale_weights(weights, 10.0);
            f *= 10.0;
            v = trial_energy(n);
            any_finite = any_finite || std::isfinite(v);
            print_elapsed_ms(t0);
            if (!(v < S))
                break;
        }
        f *= 0.05;
        scale_weights(weights, 0.05);
    } else if (v > S || !std::isfinite(v)) {
        // The steps diverge (or overflow): go down until they no longer do.
        while (control.keep_running()) {
            if (fit.trials >= max_trials) {
                limit_reached = true;
                break;
            }
            ++n;
            std::cout << "decreasing alpha" << std::endl;
            const long long t0 = elapsed_clock_ns();
            scale_weights(weights, 0.1);
            f *= 0.1;
            v = trial_energy(n);
            any_finite = any_finite || std::isfinite(v);
            print_elapsed_ms(t0);
            if (!(v > S || !std::isfinite(v)))
                break;
        }
        f *= 0.5;
        scale_weights(weights, 0.5);
    } else {
        f *= 0.5;
        scale_weights(weights, 0.5);
    }

    fit.factor = f;
    if (!control.keep_running())
        fit.status = AlphaFitStatus::Stopped;
    else if (!any_finite || !std::isfinite(f) || !(f > 0.0))
        fit.status = AlphaFitStatus::NonFinite;
    else if (limit_reached)
        fit.status = AlphaFitStatus::NoDecade;
    if (fit.status != AlphaFitStatus::Fitted)
        weights = original;
    else
        for (double w : weights)
            if (!std::isfinite(w)) {
                fit.status = AlphaFitStatus::NonFinite;
                weights = original;
                break;
            }
    return fit;
}

bool model_window_is_finite(const vector3D& model_re, int nx, int ny, int px, int py)
{
    for (const vector2D& level : model_re)
        for (int j = 0; j < ny; ++j) {
            const std::vector<float>& row = level[static_cast<std::size_t>(py + j)];
            for (int i = 0; i < nx; ++i)
                if (!std::isfinite(row[static_cast<std::size_t>(px + i)]))
                    return false;
        }
    return true;
}
