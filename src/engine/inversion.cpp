#include "engine/inversion.h"

#include "common/int_conversion.h"

#include "common/grid_helpers.h"
#include "engine/fft.h"
#include "engine/parallel.h"

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

// Rows [r0, r1) of update_and_accumulate. Cloned for AVX2 where the
// processor has it; without contraction into fused multiply-adds both
// clones round alike.
__attribute__((target_clones("avx2", "default"))) void update_and_accumulate_rows(
    const vector3D& operator_re, vector3D& model_re, vector3D& model_im, const field2D& misfit_re,
    const field2D& misfit_im, const std::vector<double>& weights, field2D& out_re, field2D& out_im,
    std::size_t levels, std::size_t cols, std::size_t r0, std::size_t r1)
{
    for (std::size_t r = r0; r < r1; ++r) {
        std::fill(out_re[r].begin(), out_re[r].end(), 0.0);
        std::fill(out_im[r].begin(), out_im[r].end(), 0.0);
    }
    constexpr std::size_t block = 8;
    for (std::size_t b0 = r0; b0 < r1; b0 += block) {
        const std::size_t b1 = std::min(b0 + block, r1);
        for (std::size_t l = 0; l < levels; ++l) {
            const double w = l < weights.size() ? weights[l] : 0.0;
            for (std::size_t r = b0; r < b1; ++r) {
                const float* __restrict op = operator_re[l][r].data();
                float* __restrict mr = model_re[l][r].data();
                float* __restrict mi = model_im[l][r].data();
                if (w != 0.0) {
                    const double* __restrict fr = misfit_re[r].data();
                    const double* __restrict fi = misfit_im[r].data();
                    for (std::size_t k = 0; k < cols; ++k) {
                        const double o = static_cast<double>(op[k]);
                        mr[k] = static_cast<float>(static_cast<double>(mr[k]) - o * fr[k] * w);
                        mi[k] = static_cast<float>(static_cast<double>(mi[k]) - o * fi[k] * w);
                    }
                }
                double* __restrict sr = out_re[r].data();
                double* __restrict si = out_im[r].data();
                for (std::size_t k = 0; k < cols; ++k) {
                    const float pr = op[k] * mr[k];
                    const float pi = op[k] * mi[k];
                    sr[k] += static_cast<double>(pr);
                    si[k] += static_cast<double>(pi);
                }
            }
        }
    }
}

// One pass over the operator and the model on the half spectrum (columns
// 0 .. Mx/2; the model and the operator are real, so the other columns are
// mirrors): every level with a non-zero weight moves by -w * operator *
// misfit (as parallel_update_model), and the moved model's predicted
// spectrum is summed into out (as parallel_accumulate_effects: float
// products summed in double, levels in order) and completed by its mirror.
// Rows are split over the workers, a few rows at a time so that the rows'
// sums stay in cache. Empty weights only sum.
void update_and_accumulate(const vector3D& operator_re, vector3D& model_re, vector3D& model_im,
                           const field2D& misfit_re, const field2D& misfit_im, const std::vector<double>& weights,
                           field2D& out_re, field2D& out_im, int thread_count)
{
    if (out_re.empty())
        return;
    const std::size_t levels = std::min(model_re.size(), operator_re.size());
    const std::size_t rows = std::min(out_re.size(), misfit_re.size());
    const std::size_t cols = rows ? std::min(out_re[0].size(), misfit_re[0].size()) : 0;
    const std::size_t half = std::min(cols, cols / 2 + 1);
    run_split(rows, thread_count, [&](std::size_t r0, std::size_t r1) {
        update_and_accumulate_rows(operator_re, model_re, model_im, misfit_re, misfit_im, weights, out_re, out_im,
                                   levels, half, r0, r1);
    });
    fft_complete_half_spectrum(out_re, out_im);
}

// Successive gradient steps of one model on its half spectrum: each step's
// update pass also sums the moved model's predicted spectrum for the next
// step, so that a step reads the operator and the model once. finish()
// completes the moved levels' spectra from their halves.
class GradientSteps
{
public:
    GradientSteps(const vector3D& operator_re, vector3D& model_re, vector3D& model_im, const field2D& observed_re,
                  const field2D& observed_im, int thread_count)
        : op(operator_re), re(model_re), im(model_im), obs_re(observed_re), obs_im(observed_im), T(thread_count)
    {
        const std::size_t rows = observed_re.size();
        const std::size_t cols = rows ? observed_re[0].size() : 0;
        pred_re.assign(rows, std::vector<double>(cols, 0.0));
        pred_im = pred_re;
    }

    void step(const std::vector<double>& weights, field2D& misfit_re, field2D& misfit_im)
    {
        if (!have_prediction)
            update_and_accumulate(op, re, im, pred_re, pred_im, std::vector<double>(), pred_re, pred_im, T);
        misfit_from_predicted(pred_re, pred_im, obs_re, obs_im, misfit_re, misfit_im);
        update_and_accumulate(op, re, im, misfit_re, misfit_im, weights, pred_re, pred_im, T);
        have_prediction = true;
        for (std::size_t l = 0; l < weights.size(); ++l)
            if (weights[l] != 0.0) {
                if (moved.size() < weights.size())
                    moved.resize(weights.size(), false);
                moved[l] = true;
            }
    }

    // The levels that moved get their columns beyond Mx/2 from their halves.
    void finish()
    {
        const std::size_t levels = std::min({re.size(), im.size(), moved.size()});
        run_split(levels, T, [&](std::size_t l0, std::size_t l1) {
            for (std::size_t l = l0; l < l1; ++l)
                if (moved[l])
                    fft_complete_half_spectrum(re[l], im[l]);
        });
        moved.clear();
    }

private:
    const vector3D& op;
    vector3D& re;
    vector3D& im;
    const field2D& obs_re;
    const field2D& obs_im;
    const int T;
    field2D pred_re, pred_im;
    std::vector<bool> moved;
    bool have_prediction = false;
};

} // namespace

void misfit_spectrum(const vector3D& operator_re, const vector3D& model_re, const vector3D& model_im,
                     const field2D& observed_re, const field2D& observed_im, field2D& out_re,
                     field2D& out_im, int thread_count)
{
    field2D pred_re = out_re, pred_im = out_im;
    parallel_accumulate_effects(operator_re, model_re, model_im, pred_re, pred_im, thread_count);
    misfit_from_predicted(pred_re, pred_im, observed_re, observed_im, out_re, out_im);
}

void inversion_inner_step(const vector3D& operator_re, vector3D& model_re, vector3D& model_im,
                          const field2D& observed_re, const field2D& observed_im,
                          const std::vector<double>& weights, field2D& work_re, field2D& work_im,
                          int thread_count)
{
    GradientSteps stepper(operator_re, model_re, model_im, observed_re, observed_im, thread_count);
    stepper.step(weights, work_re, work_im);
    stepper.finish();
}

void predicted_field(const vector3D& operator_re, const vector3D& model_re, const vector3D& model_im,
                     field2D& field_re, field2D& field_im, int thread_count)
{
    parallel_accumulate_effects(operator_re, model_re, model_im, field_re, field_im, thread_count);
    fft_2d(field_re, field_im, fft_inverse);
}

// ---------------------------------------------------------------------------
// Iterations

int run_inversion_iteration(const RunControl& control, const vector3D& operator_re, vector3D& model_re,
                            vector3D& model_im, const field2D& observed_re, const field2D& observed_im,
                            const std::vector<double>& weights, field2D& work_re, field2D& work_im,
                            int thread_count, int it, int count)
{
    int steps = 0;
    GradientSteps stepper(operator_re, model_re, model_im, observed_re, observed_im, thread_count);
    for (int s = 0; s < inner_steps_per_iteration; ++s) {
        control.show_percent(count > 0 ? static_cast<int>(static_cast<long long>(it) * 100 / count) : 0);
        control.show(QStringLiteral("Iter %1 - %2 %").arg(it + 1).arg(5 * s));
        stepper.step(weights, work_re, work_im);
        ++steps;
        if (!control.keep_running())
            break;
    }
    stepper.finish();
    return steps;
}

// ---------------------------------------------------------------------------
// Regularization-weight search

double run_fit_iterations(const RunControl& control, vector3D& trial_re, vector3D& trial_im,
                          const field2D& padded_observed, const field2D& observed_re,
                          const field2D& observed_im, const vector3D& operator_re,
                          const std::vector<double>& weights, int thread_count, int trial)
{
    const std::size_t rows = trial_re.empty() ? 0 : trial_re[0].size();
    const std::size_t cols = rows ? trial_re[0][0].size() : 0;
    field2D work_re(rows, std::vector<double>(cols, 0.0));
    field2D work_im(rows, std::vector<double>(cols, 0.0));

    GradientSteps stepper(operator_re, trial_re, trial_im, observed_re, observed_im, thread_count);
    for (int step = 0; step < 100 && control.keep_running(); step += 10) {
        control.show(QStringLiteral("Fit alpha step %1 - %2 %").arg(trial).arg(step));
        stepper.step(weights, work_re, work_im);
    }
    stepper.finish();

    // Residual energy of the trial, also after a stop.
    predicted_field(operator_re, trial_re, trial_im, work_re, work_im, thread_count);
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
                           const vector3D& operator_re, std::vector<double>& weights, int thread_count,
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
    vector3D trial_re(nz, vector2D(My, std::vector<float>(Mx, 0.0f)));
    vector3D trial_im(nz, vector2D(My, std::vector<float>(Mx, 0.0f)));
    const double S = sum_of_squares(padded_observed);

    auto trial_energy = [&](int n) {
        zero(trial_re);
        zero(trial_im);
        ++fit.trials;
        return run_fit_iterations(control, trial_re, trial_im, padded_observed, observed_re, observed_im,
                                  operator_re, weights, thread_count, n);
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
