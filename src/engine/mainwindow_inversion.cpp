// The 3D density inversion: the `inversion` command with its checks and
// dialog, the run frame `start_inversion`, and the run itself for the grid
// and lateral kinds.
//
// The run works on the padded FFT grid of the forward calculation: the model
// is held as the half spectra of its levels, every iteration makes inversion_inner_step's
// gradient steps against the observed spectrum, then (when a constraint or
// the log needs it) brings the model back to the space domain for the
// model-filling stage, rebuilds the calculated field and measures the misfit.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/status_text.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "engine/fft.h"
#include "engine/forward.h"
#include "engine/forward_messages.h"
#include "engine/inversion.h"
#include "engine/inversion_constraints.h"
#include "engine/operator_keys.h"
#include "engine/inversion_parameters.h"
#include "engine/memory.h"
#include "engine/parallel.h"
#include "engine/run_inputs.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <new>

namespace {

using namespace inversion_record;

void process_events() { QCoreApplication::processEvents(); }

bool same_shape(const vector3D& a, const vector3D& b)
{
    return cube_is_regular(a) && cube_is_regular(b) && a.size() == b.size() && a[0].size() == b[0].size()
           && a[0][0].size() == b[0][0].size();
}

bool all_finite(const field2D& f)
{
    for (const auto& row : f)
        for (double v : row)
            if (!std::isfinite(v))
                return false;
    return true;
}

// Why a model's geometry cannot be used by a spectral run.
QString geometry_error(ForwardStatus status, int language)
{
    switch (status) {
    case ForwardStatus::EmptyGrid:
        return byLanguage(language, "3D грид плотности пуст ", "3D density gird is empty");
    case ForwardStatus::IrregularGrid:
        return byLanguage(language, "Уровни или строки 3D грида разного размера",
                          "The levels or rows of the 3D grid differ in size");
    case ForwardStatus::CoordinatesMismatch:
        return byLanguage(language, "Координаты узлов не соответствуют размеру 3D грида",
                          "The node coordinates don't match the size of the 3D grid");
    case ForwardStatus::TooFewNodes:
    case ForwardStatus::NodesNotIncreasing:
        return grid_nodes_text(language);
    case ForwardStatus::BadExpansionFactor:
        return byLanguage(language, "Недопустимый коэффициент расширения", "Invalid expansion factor");
    case ForwardStatus::OutOfMemory:
        return out_of_memory_text(language);
    default:
        return QString();
    }
}

QString alpha_fit_error(AlphaFitStatus status, int language)
{
    if (status == AlphaFitStatus::NoVariation)
        return byLanguage(language,
                          "Наблюденное поле постоянно: коэффициент регуляризации подобрать нельзя",
                          "The observed field is constant: the regularization weight can't be fitted");
    return byLanguage(language,
                      "Не удалось подобрать коэффициент регуляризации: пробные шаги не сходятся",
                      "Couldn't fit the regularization weight: the trial steps don't converge");
}

} // namespace

// ---------------------------------------------------------------------------
// The command

void MainWindow::on_inversion_triggered()
{
    // A second press stops the run at its next test.
    if (inversion_running && outermostRunIs(RunKind::Inversion)) {
        inversion_running = false;
        ui->inversion->setIcon(QIcon(QStringLiteral(":/Images/start_inv.png")));
        return;
    }
    // Another run holds the data: refused before the dialog opens.
    if (refuseWhileRunning())
        return;
    if (den_grid.empty()) {
        show_error(byLanguage(language, "3D грид плотности пуст ", "3D density gird is empty"));
        return;
    }
    if (Vz_observed.empty()) {
        show_error(byLanguage(language, "Наблюденное поле не загружено в проект", "Observed field is empty"));
        return;
    }
    // Every row of the field and every level of the grid is checked, not
    // only the first ones: the run reads them all.
    if (!cube_is_regular(den_grid) || !grid_has_shape(Vz_observed, den_grid[0].size(), den_grid[0][0].size())) {
        show_error(byLanguage(language, "Параметры разбиения модели и поля не совпадают",
                              "3D grid and observed field parameters don't match"));
        return;
    }
    // Cells that are not finite numbers are named before the dialog opens;
    // the run checks again, with the horizons and the regularizer it reads.
    RunInputs inputs;
    inputs.density = &den_grid;
    inputs.observed = &Vz_observed;
    if (const QString refusal = non_finite_input_text(inputs, language); !refusal.isEmpty()) {
        show_error(refusal);
        return;
    }

    // No undo snapshot here: a cancelled dialog changes nothing, and the run
    // takes its own when it starts.
    inversion_parameters dialog;
    dialog.set_previous_params(inversion_params);
    dialog.setLanguage(language);
    dialog.set_uploaded_reg_available(same_shape(regularizer, den_grid));
    dialog.set_log_dir(log_dir, save_log);
    // The need of the run the dialog would start with its options as they
    // stand, against the memory the run's own check compares it with.
    dialog.set_memory_need([this](const std::vector<double>& record, bool log) { return inversionNeedGb(record, log); },
                           static_cast<double>(query_system_memory().available_bytes) / bytes_per_gb);
    connect(&dialog, SIGNAL(inv_params(std::vector<double>)), this, SLOT(start_inversion(std::vector<double>)));
    connect(&dialog, SIGNAL(polygonal_inv_grid_params(std::vector<double>)), this,
            SLOT(start_inversion(std::vector<double>)));
    connect(&dialog, SIGNAL(polygonal_inv_params(std::vector<double>)), this,
            SLOT(start_polygonal_inversion(std::vector<double>)));
    connect(&dialog, SIGNAL(set_log_params(QString&, bool)), this, SLOT(setLogParams(QString&, bool)));
    dialog.exec();
}

// ---------------------------------------------------------------------------
// The run frame

void MainWindow::start_inversion(std::vector<double> params)
{
    {
        // Sets inversion_running, shows the stop icon on `inversion`,
        // disables the other run actions and the commands that replace data.
        RunGuard run(this, RunKind::Inversion);
        if (!run)
            return;
        update_undo(1);

        // A comparison with a value that is not a number counts as different.
        if (!(value(inversion_params, depth_power) == value(params, depth_power)))
            alpha_factor = 0;
        inversion_params = params;

        if (!x_calc.empty() && !y_calc.empty())
            calculated_params = {static_cast<double>(x_calc.size()), static_cast<double>(y_calc.size()),
                                 x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back()};

        {
            // The run's step texts go when it ends; the misfit line then
            // shows the misfit of the final field.
            StatusTextKeeper status_text(progress_label);
            inversion(x_calc, y_calc, z_calc, Vz_observed, den_grid, inversion_params, progress_bar, progress_label);
        }
        calc_rms();

        if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
            show3Dgrid();
        else
            showHorizons();
    }
    plotCalculated();
    progress_bar.hide();
    // A sidecar the run did not take is told after the redraw, whose status
    // text would hide it.
    showSidecarNote();
}

// ---------------------------------------------------------------------------
// The run

namespace {

// One run of the grid or lateral kind over the main window's members. The
// working data live here and are freed when the run ends, also when an
// allocation fails.
class GridInversionRun
{
public:
    GridInversionRun(MainWindow& w, std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                     field2D& observed, vector3D& den, const std::vector<double>& params, QProgressBar& bar,
                     QLabel* label)
        : w(w), x(x), y(y), z(z), observed(observed), den(den), params(params), bar(bar), label(label)
    {
    }

    void run();

private:
    bool running() const { return w.inversion_running; }
    void show(const QString& text)
    {
        if (label)
            label->setText(text);
        process_events();
    }
    QString text(const char* russian, const char* english) const { return byLanguage(w.language, russian, english); }
    RunControl control();
    bool check_inputs();
    void copy_window_to_calculated(const field2D& padded);
    void forward_field();
    bool fill_model(int completed);
    void close();

    MainWindow& w;
    std::vector<double>& x;
    std::vector<double>& y;
    std::vector<double>& z;
    field2D& observed;
    vector3D& den;
    const std::vector<double> params;
    QProgressBar& bar;
    QLabel* label;

    // Parameters of the run.
    int iterations_count = 0;
    int kind_value = kind_grid;
    bool any_fixed = false;
    bool sign_on = false;

    ForwardGeometry g;
    vector3D reference;               // the blends' reference model (unpadded)
    std::vector<unsigned char> sign_mask;
    std::vector<double> weights;
    field2D padded_observed, observed_re, observed_im;
    vector3D model_re, model_im;      // level half spectra, or the padded model in the filling stage
    field2D work_re, work_im;
    constraints::LateralMeansWork lateral_work; // the lateral kind's means, kept between iterations
    long long iterations_start = 0;
};

RunControl GridInversionRun::control()
{
    RunControl c;
    c.progress = [this](const QString& t) { show(t); };
    c.running = [this] { return running(); };
    c.percent = [this](int p) { bar.setValue(p); };
    return c;
}

// Inputs that do not agree are refused before anything is built, so that
// nothing is read out of range.
bool GridInversionRun::check_inputs()
{
    const ForwardStatus status = forward_geometry(den, x, y, z, w.calc_height, w.expansion_factor, g);
    if (status != ForwardStatus::Completed) {
        w.show_error(geometry_error(status, w.language));
        return false;
    }
    if (!grid_has_shape(observed, static_cast<std::size_t>(g.ny), static_cast<std::size_t>(g.nx))) {
        w.show_error(text("Параметры разбиения модели и поля не совпадают",
                          "3D grid and observed field parameters don't match"));
        return false;
    }
    // Fixed layers and the lateral kind read the horizons node by node and
    // one flag per layer.
    if (any_fixed || kind_value == kind_lateral) {
        if (w.horizons.empty()) {
            w.show_error(kind_value == kind_lateral
                             ? text("Для латеральной инверсии нужны горизонты", "Lateral inversion needs horizons")
                             : text("Заданы фиксированные слои, но нет горизонтов",
                                    "Fixed layers are set but there are no horizons"));
            return false;
        }
        if (!horizons_match_grid(w.horizons, den)) {
            w.show_error(text("Горизонты не совпадают с сеткой 3D грида", "The horizons don't match the 3D grid"));
            return false;
        }
        if (w.fixed.size() != w.horizons.size()) {
            w.show_error(text("Флаги фиксированных слоев не соответствуют горизонтам",
                              "The fixed-layer flags don't match the horizons"));
            return false;
        }
    }
    // A value that is not a finite number in any grid the run reads would
    // spread through the spectra to the whole model.
    RunInputs inputs;
    inputs.density = &den;
    inputs.observed = &observed;
    if (any_fixed || kind_value == kind_lateral)
        inputs.horizons = &w.horizons;
    if (kind_value == kind_grid && flag(params, use_uploaded_regularizer) && same_shape(w.regularizer, den))
        inputs.regularizer = &w.regularizer;
    const QString refusal = non_finite_input_text(inputs, w.language);
    if (!refusal.isEmpty()) {
        w.show_error(refusal);
        return false;
    }
    return true;
}

void GridInversionRun::copy_window_to_calculated(const field2D& padded)
{
    w.Vz_calculated.assign(g.ny, std::vector<double>(g.nx, 0.0));
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i)
            w.Vz_calculated[j][i] = padded[g.py + j][g.px + i];
}

// The calculated field of the current model spectra, redrawn.
void GridInversionRun::forward_field()
{
    predicted_field(w.effects, model_re, model_im, work_re, work_im, w.thread_count);
    copy_window_to_calculated(work_re);
    w.plotCalculated();
}

// The model-filling stage of iteration `completed` (1-based). Returns
// whether it ran.
bool GridInversionRun::fill_model(int completed)
{
    const int T = w.thread_count;
    // Depth-to-layer lookups compare level depths with the horizons in
    // double precision: a level node exactly on a horizon lies in the layer
    // below it, whatever rounding a single-precision depth would give.
    const double z0d = z[0], dzd = z[1] - z[0];
    if (kind_value == kind_grid) {
        const bool uploaded = flag(params, use_uploaded_regularizer) && same_shape(w.regularizer, den);
        if (!fills_model(params, w.regularizer.size() == den.size(), any_fixed, w.save_log, sign_on))
            return false;
        model_from_half_spectra(model_re, model_im, g.Mx, T, true);
        if (any_fixed)
            w.restore_fixed_layers(model_re, model_im, g.nx, g.ny, g.px, g.py, den, w.horizons, w.fixed, z0d, dzd);
        if (flag(params, positive_density))
            w.apply_positive_density(model_re, model_im, g.nx, g.ny, g.px, g.py, den, true);
        if (flag(params, use_initial_model))
            w.blend_initial_model(model_re, model_im, g.nx, g.ny, g.px, g.py, den, reference,
                                  integer(params, initial_regularizer_type));
        if (uploaded)
            w.blend_uploaded_regularizer(model_re, model_im, g.nx, g.ny, g.px, g.py, w.regularizer, reference);
        if (flag(params, density_limits_on))
            w.apply_density_limits(model_re, g.nx, g.ny, g.px, g.py, value(params, lower_limit),
                                   value(params, upper_limit));
        if (sign_on)
            w.apply_sign_constraint(model_re, model_im, g.nx, g.ny, g.px, g.py, den, sign_mask,
                                    integer(params, sign_constraint_type));
        if (w.save_log)
            w.saveIntermediateModel(completed, model_re, g.py, g.px);
        model_to_half_spectra(model_re, model_im, T);
        return true;
    }
    if (kind_value == kind_lateral) {
        model_from_half_spectra(model_re, model_im, g.Mx, T, true);
        constraints::ModelWindow window;
        window.nx = g.nx;
        window.ny = g.ny;
        window.px = g.px;
        window.py = g.py;
        constraints::apply_lateral_means(model_re, model_im, window, den, w.horizons, w.fixed, z0d, dzd,
                                         flag(params, positive_density), lateral_work,
                                         [] { QCoreApplication::processEvents(); });
        if (w.save_log)
            w.saveIntermediateModel(completed, model_re, g.py, g.px);
        model_to_half_spectra(model_re, model_im, T);
        return true;
    }
    return false;
}

// Brings the model back, writes it into the density grid (only when every
// value is a number) and recomputes the forward field.
void GridInversionRun::close()
{
    {
        vector2D work_re, work_im;
        for (int k = 0; k < g.nz; ++k) {
            process_events();
            level_from_half_spectrum(model_re[k], model_im[k], g.Mx, work_re, work_im);
        }
    }
    vector3D().swap(model_im);
    if (model_window_is_finite(model_re, g.nx, g.ny, g.px, g.py)) {
        for (int k = 0; k < g.nz; ++k) {
            for (int j = 0; j < g.ny; ++j)
                std::copy_n(model_re[k][g.py + j].begin() + g.px, g.nx, den[k][j].begin());
            vector2D().swap(model_re[k]);
        }
    } else {
        w.show_error(text("Инверсия разошлась: значения модели не являются числами. 3D грид оставлен без "
                          "изменений; уменьшите масштаб шага",
                          "The inversion diverged: the model values are not numbers. The 3D grid is left "
                          "unchanged; use a smaller step scale"));
    }
    vector3D().swap(model_re);
    lateral_work = constraints::LateralMeansWork();
    field2D().swap(work_re);
    field2D().swap(work_im);

    {
        RunGuard forward(&w, RunKind::Forward);
        if (forward) {
            show(text("Пересчет прямой задачи", "Recalc forward"));
            w.forward3Dgrid_multithread(den, x, y, z, w.Vz_calculated, bar);
        }
    }
    if (!w.store_eff)
        w.effects.clear();
    process_events();
    print_elapsed_ms(iterations_start);
}

void GridInversionRun::run()
{
    // Preparation.
    if (w.fixed.empty())
        w.fixed.assign(w.horizons.size(), false);
    any_fixed = std::find(w.fixed.begin(), w.fixed.end(), true) != w.fixed.end();
    iterations_count = integer(params, iterations);
    kind_value = integer(params, kind);
    const double start_power = starting_depth_power(params);

    if (!check_inputs())
        return;

    const InversionMemoryOptions memory_options = w.inversionMemoryOptions(params, w.save_log);
    if (!w.check_memory_need(w.gridInversionNeedBytes(run_size(g, w.thread_count), memory_options),
                             MemoryRun::Inversion))
        return;

    if (flag(params, use_initial_model) || !w.regularizer.empty())
        reference = den;
    if (flag(params, sign_constraint_on)) {
        sign_on = w.build_sign_mask(integer(params, sign_source), den, sign_mask);
        if (!sign_on)
            std::cout << "sign constraint off: unusable source " << integer(params, sign_source) << std::endl;
    }
    w.Vz_calculated.assign(g.ny, std::vector<double>(g.nx, 0.0));
    weights = depth_level_weights(g.nz, start_power);

    // The stored operator, taken from the project's sidecar or built when
    // it does not belong to this geometry.
    if (!effects_fit(w.effects, g))
        w.adoptPendingEffects(g, w.sidecar_choice);
    if (!effects_fit(w.effects, g)) {
        const ForwardStatus built = build_effects(g, w.effects, w.thread_count, [this](int done, int total) {
            if (!running())
                return false;
            show(text("Расчет матрицы эффектов для слоя ", "Calculating effects matrix for layer ")
                 + QString::number(done + 1) + text(" из ", " of ") + QString::number(total));
            return running();
        });
        if (built == ForwardStatus::OutOfMemory)
            throw std::bad_alloc();
        if (built != ForwardStatus::Completed)
            return;
    }

    show(text("Подбор коэффициента α", "Fit α coefficient"));
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.show();

    pad_level(observed, g, padded_observed);
    mean_free_spectrum(padded_observed, observed_re, observed_im);

    // The regularization-weight factor, fitted once and cached for the
    // geometry and the observed field it was fitted for.
    if (w.alphaFactorServes(g)) {
        for (double& v : weights)
            v *= w.alpha_factor;
    } else {
        w.alpha_factor = 0;
        w.alpha_key = 0;
        const AlphaFit fit = fit_alpha_decades(control(), g.nz, g.My, g.Mx, padded_observed, observed_re,
                                               observed_im, w.effects, weights, w.thread_count);
        if (fit.status == AlphaFitStatus::Stopped || !running())
            return;
        if (fit.status != AlphaFitStatus::Fitted) {
            w.show_error(alpha_fit_error(fit.status, w.language));
            return;
        }
        w.alpha_factor = fit.factor;
        w.alpha_key = alpha_factor_key(g, observed);
    }
    if (any_fixed)
        zero_fixed_level_weights(weights, den, w.horizons, w.fixed, z[0], z[1] - z[0]);
    if (flag(params, use_initial_model))
        zero_constant_level_weights(weights, den);
    for (double& v : weights)
        v *= value(params, step_scale);

    // The padded model and its spectra.
    model_re.assign(g.nz, vector2D());
    model_im.assign(g.nz, vector2D());
    for (int k = 0; k < g.nz; ++k)
        pad_level(den[k], g, model_re[k]);
    if (!running())
        return;
    if (w.save_log)
        w.saveIntermediateModel(0, model_re, g.py, g.px);
    {
        vector2D work_re, work_im;
        for (int k = 0; k < g.nz; ++k) {
            show(text("Рассчет спектра для слоя ", "Calculating spectrum for layer ") + QString::number(k + 1)
                 + text(" из ", " of ") + QString::number(g.nz));
            process_events();
            level_to_half_spectrum(model_re[k], model_im[k], work_re, work_im);
        }
    }
    work_re.assign(g.My, std::vector<double>(g.Mx, 0.0));
    work_im.assign(g.My, std::vector<double>(g.Mx, 0.0));
    if (w.save_log) {
        forward_field();
        w.saveInvLog(0, w.calc_rms(), 0);
    }

    show(QString::fromUtf8("Инверсия"));
    const double largest = weights.empty() ? 0.0 : vector_max(weights);
    iterations_start = elapsed_clock_ns();

    // Iterations.
    int completed = 0;
    const RunControl c = control();
    for (int it = 0; it < iterations_count; ++it) {
        const long long it_start = elapsed_clock_ns();
        if (flag(params, power_schedule))
            weights = depth_level_weights(
                g.nz, scheduled_depth_power(value(params, depth_power), value(params, final_power), it,
                                            iterations_count),
                largest);
        run_inversion_iteration(c, w.effects, model_re, model_im, observed_re, observed_im, weights, work_re,
                                work_im, w.thread_count, it, iterations_count);
        show(text("Заполнение модели", "Fill model"));
        fill_model(it + 1);
        forward_field();
        if (!running()) {
            print_elapsed_ms(it_start);
            break;
        }
        // A model that has left the numbers (a step far too large) cannot
        // improve: stop and let the closing keep the density grid.
        if (!all_finite(w.Vz_calculated)) {
            print_elapsed_ms(it_start);
            break;
        }
        const double rms = w.calc_rms();
        ++completed;
        const double t = static_cast<double>((elapsed_clock_ns() - iterations_start) / 1000000) / 1000.0;
        w.saveInvLog(completed, rms, t);
        print_elapsed_ms(it_start);
    }

    close();
}

} // namespace

void MainWindow::inversion(std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                           std::vector<std::vector<double>>& observed, vector3D& grid,
                           std::vector<double>& params, QProgressBar& bar, QLabel* lbl)
{
    try {
        GridInversionRun run(*this, x, y, z, observed, grid, params, bar, lbl);
        run.run();
    } catch (const std::bad_alloc&) {
        show_error(out_of_memory_text(language));
    }
}
