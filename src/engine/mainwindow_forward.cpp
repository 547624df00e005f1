// The forward command and the main window's side of the spectral forward
// calculation: the stored form (effects built once per geometry and reused),
// the storage-off form, and building the effects alone.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "common/grid_helpers.h"
#include "engine/forward.h"
#include "engine/memory.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>

namespace {

QString forwardFailureText(ForwardStatus status, int language)
{
    switch (status) {
    case ForwardStatus::EmptyGrid:
        return byLanguage(language, "3D грид плотности пуст", "3D density grid is empty");
    case ForwardStatus::IrregularGrid:
        return byLanguage(language, "Уровни и строки 3D грида плотности имеют разный размер",
                          "The levels and rows of the 3D density grid differ in size");
    case ForwardStatus::CoordinatesMismatch:
        return byLanguage(language, "Координаты узлов не соответствуют размеру 3D грида плотности",
                          "The node coordinates do not match the size of the 3D density grid");
    case ForwardStatus::TooFewNodes:
        return byLanguage(language, "3D грид плотности должен иметь не менее двух узлов по каждой оси",
                          "The 3D density grid needs at least two nodes along every axis");
    case ForwardStatus::NodesNotIncreasing:
        return byLanguage(language, "Координаты узлов 3D грида плотности должны возрастать по каждой оси",
                          "The node coordinates of the 3D density grid must increase along every axis");
    case ForwardStatus::BadExpansionFactor:
        return byLanguage(language, "Недопустимый коэффициент расширения",
                          "The expansion factor is out of range");
    case ForwardStatus::OutOfMemory:
        return byLanguage(language, "Недостаточно памяти ", "Out of memory");
    case ForwardStatus::Completed:
    case ForwardStatus::Stopped:
        break;
    }
    return QString();
}

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

} // namespace

void MainWindow::on_forward_grid_triggered()
{
    if (den_grid.empty()) {
        show_error(forwardFailureText(ForwardStatus::EmptyGrid, language));
        return;
    }
    const long long start = elapsed_clock_ns();
    if (forward_running) {
        // A second press while a calculation runs: it stops at its next test
        // and the first press finishes the command.
        forward_running = false;
        return;
    }
    ForwardGeometry geometry;
    const ForwardStatus checked = forward_geometry(den_grid, x_calc, y_calc, z_calc, calc_height,
                                                   expansion_factor, geometry);
    if (checked != ForwardStatus::Completed) {
        show_error(forwardFailureText(checked, language));
        return;
    }
    // Building the stored operator may need much memory: ask first, as an
    // inversion does.
    if (store_eff && !effects_fit(effects, geometry)
        && !check_memory(geometry.Mx, geometry.My, geometry.nz, forward_stored_bytes_per_cell))
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
}

bool MainWindow::forward3Dgrid_multithread(vector3D& den, std::vector<double>& x,
                                           std::vector<double>& y, std::vector<double>& z,
                                           std::vector<std::vector<double>>& result,
                                           QProgressBar& bar)
{
    ForwardGeometry geometry;
    const ForwardStatus checked =
        forward_geometry(den, x, y, z, calc_height, expansion_factor, geometry);
    if (checked != ForwardStatus::Completed) {
        show_error(forwardFailureText(checked, language));
        return false;
    }
    result.assign(geometry.ny, std::vector<double>(geometry.nx, 0.0));
    calculated_params = {double(geometry.nx), double(geometry.ny), x.front(), x.back(), y.front(),
                         y.back()};
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
    const ForwardStatus status =
        forward_stored(den, geometry, effects, result, thread_count,
                       forwardProgress(forward_running, own_bar ? &bar : nullptr, den));
    print_elapsed_ms(start);
    if (own_bar)
        bar.hide();
    if (status == ForwardStatus::OutOfMemory)
        show_error(forwardFailureText(status, language));
    return status == ForwardStatus::Completed;
}

bool MainWindow::forward3Dgrid_without_store(vector3D& den, std::vector<double>& x,
                                             std::vector<double>& y, std::vector<double>& z,
                                             std::vector<std::vector<double>>& result,
                                             QProgressBar& bar)
{
    ForwardGeometry geometry;
    const ForwardStatus checked =
        forward_geometry(den, x, y, z, calc_height, expansion_factor, geometry);
    if (checked != ForwardStatus::Completed) {
        show_error(forwardFailureText(checked, language));
        return false;
    }
    result.assign(geometry.ny, std::vector<double>(geometry.nx, 0.0));
    calculated_params = {double(geometry.nx), double(geometry.ny), x.front(), x.back(), y.front(),
                         y.back()};
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.show();
    const ForwardStatus status = forward_without_store(den, geometry, result, thread_count,
                                                       forwardProgress(forward_running, &bar, den));
    if (status == ForwardStatus::OutOfMemory)
        show_error(forwardFailureText(status, language));
    return status == ForwardStatus::Completed;
}

bool MainWindow::calculateEffects()
{
    ForwardGeometry geometry;
    const ForwardStatus checked =
        forward_geometry(den_grid, x_calc, y_calc, z_calc, calc_height, expansion_factor, geometry);
    if (checked != ForwardStatus::Completed) {
        show_error(forwardFailureText(checked, language));
        return false;
    }
    if (!check_memory(geometry.Mx, geometry.My, geometry.nz, effects_build_bytes_per_cell))
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
        build_effects(geometry, effects, true, thread_count,
                      forwardProgress(inversion_running, nullptr, den_grid, label));
    if (status == ForwardStatus::OutOfMemory)
        show_error(forwardFailureText(status, language));
    return status == ForwardStatus::Completed;
}
