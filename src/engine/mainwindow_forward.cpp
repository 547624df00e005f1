// The forward command and the main window's side of the spectral forward
// calculation: the stored form (effects built once per geometry and reused),
// the storage-off form, and building the effects alone.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "engine/forward.h"
#include "engine/forward_messages.h"
#include "engine/memory.h"
#include "engine/run_inputs.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>

namespace {

// Progress of a forward run: moves the bar (when it belongs to this run),
// lets pending events run, and asks to stop when the run's flag was cleared
// or the grid the run reads was replaced meanwhile.
ForwardProgress forwardProgress(const bool& keep_running, QProgressBar* bar, const vector3D& den,
                                const std::function<void(int, int)>& before_events = {})
{
    const vector3D::value_type* data = den.data();
    const std::size_t levels = den.size();
    return [&keep_running, bar, &den, data, levels, before_events](int done, int total) {
        if (before_events)
            before_events(done, total);
        if (bar && total > 0)
            bar->setValue(static_cast<int>(static_cast<long long>(done) * 100 / total));
        QCoreApplication::processEvents();
        return keep_running && den.data() == data && den.size() == levels;
    };
}

// The geometry of a forward run on `den`; a refused one is shown.
bool checked_geometry(MainWindow& w, const vector3D& den, const std::vector<double>& x,
                      const std::vector<double>& y, const std::vector<double>& z, ForwardGeometry& geometry)
{
    const ForwardStatus checked = forward_geometry(den, x, y, z, w.calc_height, w.expansion_factor, geometry);
    if (checked != ForwardStatus::Completed) {
        w.show_error(forward_failure_text(checked, w.language));
        return false;
    }
    return true;
}

// Whether every cell of `den` is a finite number; the first cell that is
// not is shown with the count.
bool finite_density(MainWindow& w, const vector3D& den)
{
    RunInputs inputs;
    inputs.density = &den;
    const QString refusal = non_finite_input_text(inputs, w.language);
    if (!refusal.isEmpty())
        w.show_error(refusal);
    return refusal.isEmpty();
}

// The geometry of a forward run on `den` and its result sized and zeroed, with
// the calculated field's parameters; a refused geometry or a cell that is not
// a finite number is shown and leaves `result` as it was.
bool prepare_forward(MainWindow& w, const vector3D& den, const std::vector<double>& x,
                     const std::vector<double>& y, const std::vector<double>& z, ForwardGeometry& geometry,
                     std::vector<std::vector<double>>& result)
{
    if (!checked_geometry(w, den, x, y, z, geometry) || !finite_density(w, den))
        return false;
    result.assign(geometry.ny, std::vector<double>(geometry.nx, 0.0));
    w.calculated_params = {double(geometry.nx), double(geometry.ny), x.front(), x.back(), y.front(), y.back()};
    return true;
}

// Whether a run completed; exhausted memory is shown (a stop is not).
bool run_completed(MainWindow& w, ForwardStatus status)
{
    if (status == ForwardStatus::OutOfMemory)
        w.show_error(forward_failure_text(status, w.language));
    return status == ForwardStatus::Completed;
}

} // namespace

double MainWindow::forwardNeedBytes(const ForwardGeometry& g) const
{
    const RunSize size = run_size(g, thread_count);
    const double run =
        store_eff ? forward_stored_need_bytes(size, effects_fit(effects, g)) : forward_without_store_need_bytes(size);
    // The result grid is made before the run when there is no calculated
    // field of the model's size yet.
    const bool result_held = grid_has_shape(Vz_calculated, static_cast<std::size_t>(g.ny), static_cast<std::size_t>(g.nx));
    return run + (result_held ? 0.0 : forward_result_bytes(size));
}

void MainWindow::on_forward_grid_triggered()
{
    if (den_grid.empty()) {
        show_error(forward_failure_text(ForwardStatus::EmptyGrid, language));
        return;
    }
    const long long start = elapsed_clock_ns();
    if (forward_running && outermostRunIs(RunKind::Forward)) {
        // A second press while a calculation runs: it stops at its next test
        // and the first press finishes the command.
        forward_running = false;
        return;
    }
    // Another run holds the data (an inversion's own forward calculations
    // are not started here): refused before the memory question.
    if (refuseWhileRunning())
        return;
    ForwardGeometry geometry;
    if (!checked_geometry(*this, den_grid, x_calc, y_calc, z_calc, geometry) || !finite_density(*this, den_grid))
        return;
    // Ask first, as an inversion does, when the run needs more memory than
    // there is.
    if (!check_memory_need(forwardNeedBytes(geometry), MemoryRun::Forward))
        return;
    {
        RunGuard run(this, RunKind::Forward);
        if (!run)
            return;
        if (store_eff)
            forward3Dgrid_multithread(den_grid, x_calc, y_calc, z_calc, Vz_calculated, progress_bar);
        else
            forward3Dgrid_without_store(den_grid, x_calc, y_calc, z_calc, Vz_calculated, progress_bar);
        calculated_params = {double(x_calc.size()), double(y_calc.size()), x_calc.front(),
                             x_calc.back(),         y_calc.front(),        y_calc.back()};
        progress_bar.hide();
    }
    plotCalculated();
    print_elapsed_ms(start);
    // A sidecar the run did not take is told after the redraw, whose status
    // text would hide it.
    showSidecarNote();
}

bool MainWindow::forward3Dgrid_multithread(vector3D& den, std::vector<double>& x,
                                           std::vector<double>& y, std::vector<double>& z,
                                           std::vector<std::vector<double>>& result,
                                           QProgressBar& bar)
{
    ForwardGeometry geometry;
    if (!prepare_forward(*this, den, x, y, z, geometry, result))
        return false;
    if (!forward_running)
        return false;

    // An inversion keeps the bar for its iterations.
    const bool own_bar = !inversion_running;
    if (own_bar) {
        bar.setRange(0, 100);
        bar.setValue(0);
        bar.show();
    }
    const long long start = elapsed_clock_ns();
    // The project's operator sidecar, taken when reading and checking it
    // costs less than the build.
    if (!effects_fit(effects, geometry))
        adoptPendingEffects(geometry, sidecar_choice);
    const ForwardStatus status =
        forward_stored(den, geometry, effects, result, thread_count,
                       forwardProgress(forward_running, own_bar ? &bar : nullptr, den));
    print_elapsed_ms(start);
    if (own_bar)
        bar.hide();
    return run_completed(*this, status);
}

bool MainWindow::forward3Dgrid_without_store(vector3D& den, std::vector<double>& x,
                                             std::vector<double>& y, std::vector<double>& z,
                                             std::vector<std::vector<double>>& result,
                                             QProgressBar& bar)
{
    ForwardGeometry geometry;
    if (!prepare_forward(*this, den, x, y, z, geometry, result))
        return false;
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.show();
    const ForwardStatus status = forward_without_store(den, geometry, result, thread_count,
                                                       forwardProgress(forward_running, &bar, den));
    return run_completed(*this, status);
}

bool MainWindow::calculateEffects(MemoryRun run)
{
    ForwardGeometry geometry;
    if (!checked_geometry(*this, den_grid, x_calc, y_calc, z_calc, geometry))
        return false;
    // Horizon fitting asks once for the whole fit: the build, then its passes.
    const double need = run == MemoryRun::HorizonFit ? horizonFitNeedBytes(geometry)
                                                     : effects_build_need_bytes(run_size(geometry, thread_count));
    if (!check_memory_need(need, run))
        return false;
    const int nz = geometry.nz;
    auto label = [this, nz](int done, int) {
        if (!progress_label)
            return;
        const QString i = QString::number(done + 1), n = QString::number(nz);
        progress_label->setText(language == 0
                                    ? QString::fromUtf8("Расчет матрицы эффектов для слоя %1 из %2").arg(i, n)
                                    : QStringLiteral("Calculating effects matrix for layer %1 of %2").arg(i, n));
    };
    // The build stops when the run that asked for it (horizon fitting) is stopped.
    const ForwardStatus status =
        build_effects(geometry, effects, thread_count,
                      forwardProgress(inversion_running, nullptr, den_grid, label));
    return run_completed(*this, status);
}
