#pragma once
// The numerical core of the 3D density inversion: the inversion record, the
// depth weighting of the levels and its schedule, the rules that zero level
// weights, one spectral gradient step, and the decade search of the
// regularization weight.
//
// The inversion works on the padded FFT grid of the forward calculation
// (My rows by Mx columns per level). The model and the operator are real, so
// the model is held as the half spectra of its levels: My rows by
// half_spectrum_columns(Mx) = Mx/2 + 1 columns (single precision, real and
// imaginary parts; the other columns are the conjugates of these). The
// stored operator is the real, even `EffectsOperator` (one level per model
// level), and the observed, predicted and misfit spectra are full grids in
// double precision.
//
// One gradient step ("inner step"): the predicted spectrum is the sum over
// levels of operator times level spectrum; minus the observed spectrum,
// brought to the space domain, its real part made mean-free and its
// imaginary part dropped, then transformed forward again, it is the misfit
// spectrum D; every level q with a non-zero weight moves by
// -w[q] * operator[q] * D. In the space domain this is
// m_q -= w_q * A_q^T r, with A_q the circular convolution of level q and r
// the mean-free residual (predicted - observed).
//
// The round trip of D through the space domain gives, at wavenumber k, the
// Hermitian part (Z(k) + conj Z(-k)) / 2 of Z = predicted - observed, and 0
// at k = 0 (the mean): every wavenumber moves on its own, so successive
// steps are made a few wavenumbers at a time, all levels and all steps
// while they stay in cache.
#include "common/types.h"
#include "engine/effects_operator.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

// ---------------------------------------------------------------------------
// The 28-value inversion record that the inversion parameters dialog emits.
namespace inversion_record {

constexpr std::size_t record_size = 28;

enum Index : std::size_t {
    iterations = 0,              // iteration count, at least 1
    step_scale = 1,              // multiplies every level weight
    regularization_parameter = 2,
    depth_power = 3,             // the initial power when the schedule is on
    regularization_type = 4,     // 0 L1, 1 L2, 2 focusing, 3 a-priori density
    effective_density = 5,
    positive_density = 6,        // no cell falls below its initial density
    use_polygons = 7,
    fitted_data_type = 8,        // 0 full field, 1 residual
    smoothing_on = 9,
    filter_type = 10,            // 0 Gaussian, 1 moving average, 2 exponential
    filter_width = 11,           // metres
    mass_centre_lines_on = 12,
    initial_level_on = 13,
    initial_level = 14,
    mass_centre_line_width = 15,
    use_initial_model = 16,
    kind = 17,                   // 1 grid, 2 lateral, 3 layered
    initial_regularizer_type = 18, // 0 none, 1 subtract level means, 2 level minima
    density_limits_on = 19,
    lower_limit = 20,            // -open_limit when open
    upper_limit = 21,            // +open_limit when open
    use_uploaded_regularizer = 22,
    sign_constraint_on = 23,
    sign_constraint_type = 24,   // 0 sign-direction, 1 keep sign
    sign_source = 25,            // 0 the density grid, 1 the regularizer
    power_schedule = 26,         // 0 constant, 1 linear change
    final_power = 27
};

enum Kind : int { kind_grid = 1, kind_lateral = 2, kind_layered = 3 };

// A density limit field holding "*" stands for this value (negated for the
// lower limit): no limit in practice.
constexpr double open_limit = 1000000.0;

// Value i of a record; 0 when the record is shorter (the eight-value seed
// that the main window holds before the first run).
inline double value(const std::vector<double>& record, std::size_t i)
{
    return i < record.size() ? record[i] : 0.0;
}
// A flag is on when its value is not 0.
inline bool flag(const std::vector<double>& record, std::size_t i) { return value(record, i) != 0.0; }
// The integer part of value i (truncation); 0 for values that are not
// numbers, clamped to the int range.
int integer(const std::vector<double>& record, std::size_t i);

// Whether an iteration of the grid kind brings the model back to the space
// domain for its filling stage: fixed layers, positive density, the
// initial-model blend, an uploaded regularizer with the grid's level count,
// density limits, the log or a sign constraint in force. The lateral kind
// always does.
bool fills_model(const std::vector<double>& record, bool regularizer_levels_match, bool any_fixed, bool save_log,
                 bool sign_on);

} // namespace inversion_record

// ---------------------------------------------------------------------------
// Depth weighting

// The starting depth power: [3], or the smaller of [27] and [3] when the
// schedule [26] is on.
double starting_depth_power(const std::vector<double>& record);

// The power of iteration `it` (0-based) of `count` under the linear
// schedule: `initial` when count <= 1, otherwise
// initial + (final - initial) * it / (count - 1).
double scheduled_depth_power(double initial, double final_power, int it, int count);

// w[q] = scale * ((q + 1) / nz) ^ power for q = 0 .. nz-1 (level 0 on top).
// The run starts from scale 0.01.
std::vector<double> depth_level_weights(int nz, double power, double scale = 0.01);

// Levels lying inside a fixed layer at every node get weight 0. Level q lies
// at z = z0 + q * dz; layer j (j < H-1) holds it when the deepest node of
// horizon j is at or above z and the shallowest node of horizon j+1 is at or
// below z; the last layer when z is strictly below the deepest node of the
// last horizon. Flags beyond the horizons, horizons beyond the flags and
// empty horizons are ignored. Returns the number of levels zeroed.
int zero_fixed_level_weights(std::vector<double>& weights, const vector3D& den_grid,
                             const std::vector<field2D>& horizons, const std::vector<bool>& fixed,
                             double z0, double dz);

// Levels of den_grid whose cells are all equal (in single precision) get
// weight 0. Returns the number of levels zeroed.
int zero_constant_level_weights(std::vector<double>& weights, const vector3D& den_grid);

// ---------------------------------------------------------------------------
// Half spectra of the model

// Columns of the half spectrum of a grid of `columns` columns: columns/2 + 1
// (1 for a single column).
int half_spectrum_columns(int columns);

// Padded level (My x Mx, space domain) into its half spectrum: `level`
// becomes the real parts, `im` the imaginary parts (My x half_spectrum_columns).
// The values are those of the single-precision fft_2d of the level.
// work_re/work_im are scratch grids (resized to My x Mx as needed).
void level_to_half_spectrum(vector2D& level, vector2D& im, vector2D& work_re, vector2D& work_im);
// Back: the half spectrum (level, im) is completed by its conjugates and
// brought back by the single-precision inverse fft_2d; `level` becomes its
// real part (My x columns), `im` is emptied. `imaginary` (optional) gets the
// imaginary parts of the inverse (rounding only: the spectrum is Hermitian).
void level_from_half_spectrum(vector2D& level, vector2D& im, int columns, vector2D& work_re, vector2D& work_im,
                              vector2D* imaginary = nullptr);
// The same for every level; levels are split over the workers. With
// imaginary_parts, `im` gets the imaginary parts of the inverse (My x
// columns per level) instead of being emptied, for routines that take the
// padded model as a complex grid.
void model_to_half_spectra(vector3D& levels, vector3D& im, int thread_count);
// The workers the two conversions above make for `levels` levels: one per
// level converted at once, at most one per thread. Each holds a level of new
// grids and the transform's scratch.
int level_conversion_workers(int thread_count, int levels);
void model_from_half_spectra(vector3D& levels, vector3D& im, int columns, int thread_count,
                             bool imaginary_parts = false);

// ---------------------------------------------------------------------------
// Spectra

// The spectrum of a padded field with its mean removed: a copy of `padded`
// minus its mean, transformed forward (double precision).
void mean_free_spectrum(const field2D& padded, field2D& spectrum_re, field2D& spectrum_im);

// The misfit spectrum of a model: predicted (sum over levels of operator
// times level spectrum, completed from the half) minus observed, brought
// back, its real part made mean-free and its imaginary part dropped, and
// transformed forward again, all on the full grid. out_re/out_im must have
// the padded shape; they are overwritten.
void misfit_spectrum(const EffectsOperator& effects, const vector3D& model_re, const vector3D& model_im,
                     const field2D& observed_re, const field2D& observed_im, field2D& out_re,
                     field2D& out_im, int thread_count);

// One gradient step (see the top of this file) of every level with a
// non-zero weight. work_re/work_im are kept for callers that pass scratch
// grids; the step does not need them. run_inversion_iteration makes the
// same steps to the bit. An operator of another grid (rows or columns other
// than the model's) moves nothing.
void inversion_inner_step(const EffectsOperator& effects, vector3D& model_re, vector3D& model_im,
                          const field2D& observed_re, const field2D& observed_im,
                          const std::vector<double>& weights, field2D& work_re, field2D& work_im,
                          int thread_count);

// The predicted field of a model spectrum on the padded grid: the sum over
// levels of operator times level spectrum, completed from the half and
// transformed back. field_re gets the field; field_im is scratch. Both must
// have the padded shape; an operator of another grid predicts no field (0).
void predicted_field(const EffectsOperator& effects, const vector3D& model_re, const vector3D& model_im,
                     field2D& field_re, field2D& field_im, int thread_count);

// ---------------------------------------------------------------------------
// Run control

// How a long computation talks to its caller: `progress` shows a text and
// lets the window process pending events; `running` tells whether to go on
// (false once the user stopped the run). Either may be empty.
struct RunControl {
    std::function<void(const QString&)> progress;
    std::function<bool()> running;
    std::function<void(int percent)> percent; // the progress bar

    void show(const QString& text) const
    {
        if (progress)
            progress(text);
    }
    void show_percent(int value) const
    {
        if (percent)
            percent(value);
    }
    bool keep_running() const { return !running || running(); }
};

// ---------------------------------------------------------------------------
// Iterations

constexpr int inner_steps_per_iteration = 20;

// The inner steps of iteration `it` (0-based) of `count`: before each step
// the bar shows it * 100 / count and the text "Iter <it+1> - <5*s> %"; after
// each step a stop of the run ends the iteration. Returns the steps made.
// work_re/work_im are not needed (see inversion_inner_step). The steps are
// made in runs of several: the texts of a run's steps are shown, and the
// stop asked after each, before the run is computed, so that the window
// is answered about once per run.
int run_inversion_iteration(const RunControl& control, const EffectsOperator& effects, vector3D& model_re,
                            vector3D& model_im, const field2D& observed_re, const field2D& observed_im,
                            const std::vector<double>& weights, field2D& work_re, field2D& work_im,
                            int thread_count, int it, int count);

// ---------------------------------------------------------------------------
// Regularization-weight search

// One trial of the search: up to ten gradient steps of the trial's half
// spectra (which the caller has zeroed) against the observed spectrum, stopping early
// when the run is stopped, then the residual energy: the sum of squares of
// (predicted - padded observed) minus its mean over the padded grid.
// `trial` only numbers the progress text.
double run_fit_iterations(const RunControl& control, vector3D& trial_re, vector3D& trial_im,
                          const field2D& padded_observed, const field2D& observed_re,
                          const field2D& observed_im, const EffectsOperator& effects,
                          const std::vector<double>& weights, int thread_count, int trial);

enum class AlphaFitStatus {
    Fitted,      // the factor is usable
    Stopped,     // the run was stopped during the search: do not cache
    NoVariation, // the observed field is constant: nothing to fit against
    NoDecade,    // the trial limit was reached without a decade change
    NonFinite    // the trials or the factor are not finite numbers
};

struct AlphaFit {
    AlphaFitStatus status = AlphaFitStatus::Fitted;
    double factor = 1.0; // the weights were multiplied by this
    int trials = 0;
};

// Largest number of trials of one search (the first one included). With
// weights that start near 10^-2 this covers factors from 10^-30 to 10^30.
constexpr int alpha_fit_max_trials = 31;

// The decade search: S = sum of squares of the padded observed field (its
// mean not removed). The first trial runs with the weights as they come.
// While trials stay below S the weights go up by decades, and the factor
// ends at 0.05 times the first decade that no longer stays below S; while
// trials exceed S (or are not finite) they go down by decades and the factor
// ends at 0.5 times the first decade at or below S; a first trial equal to S
// gives 0.5. The weights leave multiplied by the returned factor.
//
// The search ends early, with status Stopped, when control says so. It never
// runs more than max_trials trials: an observed field without variation is
// refused before any trial (NoVariation), a search that reaches the limit
// reports NoDecade, and one whose trials never give a finite energy, or
// whose factor is not a positive finite number, reports NonFinite. In every
// status but Fitted the weights are left as they came.
AlphaFit fit_alpha_decades(const RunControl& control, int nz, int My, int Mx, const field2D& padded_observed,
                           const field2D& observed_re, const field2D& observed_im,
                           const EffectsOperator& effects, std::vector<double>& weights, int thread_count,
                           int max_trials = alpha_fit_max_trials);

// True when every cell of the padded model window is a finite number.
bool model_window_is_finite(const vector3D& model_re, int nx, int ny, int px, int py);
