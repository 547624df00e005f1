// The layered inversion: one constant density increment per layer of the
// layered model, fitted to the residual of a fresh forward calculation and
// added to every cell of its layer.
//
// The run frame `start_polygonal_inversion` is reached from the inversion
// dialog's layered kind; `layered_inversion` makes the four phases: the
// fresh forward field and residual, the slab effects of the layers (kept in
// `layer_effects` and reused while they have the run's shape), the search of
// the descent weights, and the descent itself; then the increments are
// applied to the grid and their field to the calculated field.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "engine/forward.h"
#include "engine/forward_messages.h"
#include "engine/inversion.h"
#include "engine/layered_inversion.h"
#include "engine/run_inputs.h"

#include <QCoreApplication>
#include <QLabel>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

void process_events() { QCoreApplication::processEvents(); }

// Descent steps per iteration of the record's count.
constexpr int steps_per_iteration = 500;
// The weights every layer starts the search with.
constexpr double starting_alpha = 1e-10;

// The forward command's texts, with the inversions' wording for the nodes.
QString geometry_text(ForwardStatus status, int language)
{
    if (status == ForwardStatus::TooFewNodes || status == ForwardStatus::NodesNotIncreasing)
        return grid_nodes_text(language);
    return forward_failure_text(status, language);
}

class LayeredInversionRun
{
public:
    LayeredInversionRun(MainWindow& w, std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                        field2D& observed, std::vector<field2D>& horizons, const std::vector<double>& params)
        : w(w), x(x), y(y), z(z), observed(observed), horizons(horizons), params(params)
    {
    }

    void run();

private:
    QString text(const char* russian, const char* english) const { return byLanguage(w.language, russian, english); }
    void show(const QString& t)
    {
        if (w.progress_label)
            w.progress_label->setText(t);
    }
    bool check_inputs();
    bool fresh_forward();
    bool slab_effects(double bottom);

    MainWindow& w;
    std::vector<double>& x;
    std::vector<double>& y;
    std::vector<double>& z;
    field2D& observed;
    std::vector<field2D>& horizons;
    const std::vector<double>& params;

    ForwardGeometry g;
    int layer_count = 0;
};

// Inputs that do not agree are refused before anything is computed, so that
// nothing is read out of range.
bool LayeredInversionRun::check_inputs()
{
    const ForwardStatus status = forward_geometry(w.den_grid, x, y, z, w.calc_height, w.expansion_factor, g);
    if (status != ForwardStatus::Completed) {
        w.show_error(geometry_text(status, w.language));
        return false;
    }
    if (!grid_has_shape(observed, static_cast<std::size_t>(g.ny), static_cast<std::size_t>(g.nx))) {
        w.show_error(text("Параметры разбиения модели и поля не совпадают",
                          "3D grid and observed field parameters don't match"));
        return false;
    }
    if (!horizons_match_grid(horizons, w.den_grid)) {
        w.show_error(text("Параметры разбиения горизонтов не соответствуют модели",
                          "Horizons and 3D grid have different parameters"));
        return false;
    }
    RunInputs inputs;
    inputs.density = &w.den_grid;
    inputs.observed = &observed;
    inputs.horizons = &horizons;
    const QString refusal = non_finite_input_text(inputs, w.language);
    if (!refusal.isEmpty()) {
        w.show_error(refusal);
        return false;
    }
    layer_count = static_cast<int>(horizons.size());
    return true;
}

// The forward command's calculation, with its outcome: false when it was
// refused or stopped.
bool LayeredInversionRun::fresh_forward()
{
    show(text("Пересчет прямой задачи", "Recalc forward"));
    process_events();
    // The forward run asks about its own need, as the forward command does.
    if (!w.check_memory_need(w.forwardNeedBytes(g), MemoryRun::Forward))
        return false;
    bool ok = false;
    {
        RunGuard forward(&w, RunKind::Forward);
        if (!forward)
            return false;
        if (w.store_eff)
            ok = w.forward3Dgrid_multithread(w.den_grid, x, y, z, w.Vz_calculated, w.progress_bar);
        else
            ok = w.forward3Dgrid_without_store(w.den_grid, x, y, z, w.Vz_calculated, w.progress_bar);
        w.progress_bar.hide();
    }
    // The fit does not run the forward routines again: their working grids
    // go before the slab effects are built.
    forward_release_work();
    w.plotCalculated();
    return ok && grid_has_shape(w.Vz_calculated, static_cast<std::size_t>(g.ny), static_cast<std::size_t>(g.nx));
}

// The last layer reaches `bottom`, the bottom of the grid, as its increment
// does when it is added to the grid.
bool LayeredInversionRun::slab_effects(double bottom)
{
    show(text("Расчет матрицы эффектов", "Calculating effects matrix"));
    process_events();
    int shown_layer = -1;
    std::vector<field2D> computed;
    const LayerEffectsStatus status = compute_layer_effects(
        g, horizons, bottom, computed, w.thread_count, [&](int layer, int layers, int) {
            if (layer != shown_layer) {
                shown_layer = layer;
                show(text("Рассчет матрицы эффектов для слоя ", "Calculating effects matrix for layer ")
                     + QString::number(layer + 1) + text(" из ", " of ") + QString::number(layers));
            }
            process_events();
        });
    if (status == LayerEffectsStatus::OutOfMemory)
        throw std::bad_alloc();
    if (status != LayerEffectsStatus::Completed) {
        w.show_error(text("Параметры разбиения горизонтов не соответствуют модели",
                          "Horizons and 3D grid have different parameters"));
        return false;
    }
    w.layer_effects = std::move(computed);
    return true;
}

void LayeredInversionRun::run()
{
    if (!check_inputs())
        return;
    // Stored effects serve only when their key is that of this geometry and
    // these horizons.
    const double bottom = w.slabEffectsBottom();
    const quint64 key = w.layerEffectsKeyFor(g);
    // The project's slab-effects sidecar, taken when its check costs well
    // below the build.
    w.adoptPendingLayerEffects(g, w.sidecar_choice);
    const bool reuse = w.layerEffectsServe(g);
    // Phase 1: fresh forward field and residual. The forward run asks about
    // its own need; the rest of the run (slab effects and descent) asks
    // once the calculated field is fresh.
    if (!fresh_forward())
        return;
    if (!w.check_memory_need(layered_fit_need_bytes(run_size(g, w.thread_count), layer_count, reuse),
                             MemoryRun::LayeredInversion))
        return;
    field2D residual = observed;
    grid_subtract(residual, w.Vz_calculated);
    std::vector<double> d(layer_count, 0.0);
    std::vector<double> alpha(layer_count, starting_alpha);

    w.progress_bar.setRange(0, 100);
    w.progress_bar.setValue(0);
    w.progress_bar.show();

    // Phase 2: slab effects, unless the stored ones have the run's shape.
    if (!reuse) {
        std::vector<field2D>().swap(w.layer_effects);
        w.layer_effects_key = 0;
        if (!slab_effects(bottom))
            return;
        w.layer_effects_key = key;
    }

    // Phase 3: descent weights, searched against the observed field.
    show(text("Подбор коэффициента α", "Fit α coefficient"));
    process_events();
    for (int i = 0; i < layer_count && i < static_cast<int>(w.fixed.size()); ++i)
        if (w.fixed[i])
            alpha[i] = 0.0;
    field2D search_field = observed;
    if (!fit_alpha_losses(d, search_field, w.layer_effects, alpha, process_events)) {
        w.show_error(text("Не удалось подобрать шаг инверсии по слоям: пробные шаги не сходятся",
                          "Couldn't fit the layer steps: the trial steps don't converge"));
        return;
    }
    const double scale = inversion_record::value(params, inversion_record::step_scale);
    for (double& a : alpha)
        a *= scale;

    // Phase 4: the descent against the residual.
    show(QString::fromUtf8("Инверсия"));
    process_events();
    const int iterations = std::min(inversion_record::integer(params, inversion_record::iterations),
                                    INT_MAX / steps_per_iteration);
    const int steps = iterations > 0 ? iterations * steps_per_iteration : 0;
    const LayerNormalEquations eq = layer_normal_equations(residual, w.layer_effects);
    const int per_percent = 5 * std::max(1, iterations);
    layer_descent(d, eq, alpha, steps, [&](int s) {
        if (!w.inversion_running)
            return false;
        w.progress_bar.setValue(s / per_percent);
        process_events();
        return true;
    });

    // Increments that have left the numbers (a step far too large) would
    // write values that are not numbers into the grid: keep the model.
    field2D increment_field;
    layer_prediction(d, w.layer_effects, increment_field);
    bool finite = increments_finite(d);
    for (const auto& row : increment_field)
        for (double v : row)
            finite = finite && std::isfinite(v);
    if (!finite) {
        w.show_error(text("Инверсия разошлась: приращения плотности слоев не являются числами. 3D грид оставлен "
                          "без изменений; уменьшите масштаб шага",
                          "The inversion diverged: the layer increments are not numbers. The 3D grid is left "
                          "unchanged; use a smaller step scale"));
        return;
    }
    grid_add(w.Vz_calculated, increment_field);
    for (int i = 0; i < layer_count; ++i)
        if (d[i] != 0.0)
            w.addDensitytToLayer(i, d[i]);
}

}  // namespace

void MainWindow::start_polygonal_inversion(std::vector<double> params)
{
    if (Vz_observed.empty() || horizons.size() < 2 || horizons[0].size() != Vz_observed.size()
        || horizons[0][0].size() != Vz_observed[0].size())
        return;
    {
        // Sets inversion_running, shows the stop icon on `inversion` and
        // disables the other run actions and the data commands.
        RunGuard run(this, RunKind::Inversion);
        if (!run)
            return;
        inversion_params = params;
        update_undo(1);
        layered_inversion(x_calc, y_calc, z_calc, Vz_observed, horizons, densities, inversion_params);
    }
    plotCalculated();
    progress_bar.hide();
    on_view_dens_triggered();
    // A sidecar the run did not take is told after the redraw, whose status
    // text would hide it.
    showSidecarNote();
}

void MainWindow::layered_inversion(std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                                   std::vector<std::vector<double>>& observed,
                                   std::vector<std::vector<std::vector<double>>>& layer_horizons,
                                   std::vector<double> /*layer densities: the run starts from zero increments*/,
                                   std::vector<double>& params)
{
    try {
        LayeredInversionRun run(*this, x, y, z, observed, layer_horizons, params);
        run.run();
    } catch (const std::bad_alloc&) {
        show_error(out_of_memory_text(language));
    }
}
