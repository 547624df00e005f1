// Long runs: the flags, the stop icons and the commands locked out while a
// run holds the project's data (see app/run_guard.h).
#include "app/run_guard.h"
#include "app/application.h"

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "engine/forward.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QTimer>
#include <algorithm>

namespace {

// Commands that replace or empty data sets a run may hold by reference.
const std::vector<QAction* MainWindowForm::*>& dataActionMembers()
{
    static const std::vector<QAction* MainWindowForm::*> members = {
        // File: everything that reads into the project
        &MainWindowForm::new_model,
        &MainWindowForm::open_project,
        &MainWindowForm::open3Dgrd,
        &MainWindowForm::open_observed_field,
        &MainWindowForm::open_horizon,
        &MainWindowForm::open_vel_vp,
        &MainWindowForm::open_vel_vs,
        &MainWindowForm::open_regularizer,
        &MainWindowForm::importXYZDens,
        &MainWindowForm::import_effects,
        &MainWindowForm::import_faults,
        &MainWindowForm::import_profiles_scheme,
        &MainWindowForm::importTM2Dmodels,
        &MainWindowForm::import_total_mean_dens,
        &MainWindowForm::import_layers_mean_dens,
        // Edit
        &MainWindowForm::actionUndo,
        &MainWindowForm::clear_horizons,
        &MainWindowForm::clear_3D_grid,
        &MainWindowForm::clear_Vp,
        &MainWindowForm::clear_regularizer,
        &MainWindowForm::delete_faults,
        &MainWindowForm::delete_profiles_scheme,
        &MainWindowForm::edit_horizons,
        &MainWindowForm::regrid_horizons,
        &MainWindowForm::add_constant_horizon,
        &MainWindowForm::move_horizons_tozero,
        &MainWindowForm::regrid,
        &MainWindowForm::move_3Dgrid_tozero,
        &MainWindowForm::regrid_observed,
        &MainWindowForm::move_observed_tozero,
        // Model
        &MainWindowForm::horizons_table,
        &MainWindowForm::Create_empty_grid,
        &MainWindowForm::Zparams,
        &MainWindowForm::fill_zeros,
        &MainWindowForm::smooth3Dgrid,
        &MainWindowForm::formula,
        &MainWindowForm::vel_dens,
        &MainWindowForm::gardner_formula,
        &MainWindowForm::inverse_gardner_formula,
        &MainWindowForm::delete_min,
        &MainWindowForm::delete_mean,
        &MainWindowForm::calc_means,
        &MainWindowForm::substract_cube,
        &MainWindowForm::add_cube,
        &MainWindowForm::multiply_cube,
        &MainWindowForm::divide_cube,
        &MainWindowForm::add_means,
        &MainWindowForm::x_gradient,
        &MainWindowForm::y_gradient,
        &MainWindowForm::vertical_gradient,
        &MainWindowForm::horizontal_gradient,
        &MainWindowForm::full_gradient,
        &MainWindowForm::ML_density_conversion,
        // Regularizer construction and re-normalisation
        &MainWindowForm::centralRegularizer,
        &MainWindowForm::centralRegularizerOnHeights,
        &MainWindowForm::horizonsBasedRegularizer,
        &MainWindowForm::reg_not_recalc,
        &MainWindowForm::reg_del_means,
        &MainWindowForm::reg_del_mins,
        // Preferences (expansion factor, effects storage)
        &MainWindowForm::Customize,
    };
    return members;
}

bool isInversionKind(RunKind kind)
{
    return kind == RunKind::Inversion || kind == RunKind::HorizonFit;
}

// The kinds that Esc (abort_requested) stops.
bool isAbortableKind(RunKind kind)
{
    return kind == RunKind::FileRead || kind == RunKind::FileWrite || kind == RunKind::Formula;
}

// A run may start inside the active ones only when they are paused with
// their data intact: an export anywhere, a forward calculation inside an
// inversion or a horizon fit.
bool mayStart(const std::vector<RunKind>& active, RunKind kind)
{
    if (active.empty() || kind == RunKind::FileWrite)
        return true;
    if (kind == RunKind::Forward)
        return std::all_of(active.begin(), active.end(), isInversionKind);
    return false;
}

bool contains(const std::vector<RunKind>& active, bool (*test)(RunKind))
{
    return std::any_of(active.begin(), active.end(), test);
}

QString busyText(int language)
{
    return byLanguage(language, "Выполняется другая операция: остановите ее или дождитесь окончания",
                      "Another operation is running: stop it or wait until it ends");
}

} // namespace

RunGuard::RunGuard(MainWindow* w, RunKind k)
    : window(w), kind(k), started(w->beginRun(k))
{
}

RunGuard::~RunGuard()
{
    if (started)
        window->endRun(kind);
}

void MainWindow::createDataActionGroup()
{
    // A disabled group keeps its actions disabled whatever other code sets
    // meanwhile, and gives each back the state last asked for when enabled.
    // Only that bookkeeping is wanted: the group's own signal connections
    // (triggered, hovered, exclusive checking) are taken off again.
    data_actions = new QActionGroup(this);
    data_actions->setExclusive(false);
    for (QAction* MainWindowForm::*member : dataActionMembers()) {
        QAction* action = ui->*member;
        data_actions->addAction(action);
        QObject::disconnect(action, nullptr, data_actions, nullptr);
    }
}

bool MainWindow::beginRun(RunKind kind)
{
    if (!mayStart(active_runs, kind)) {
        show_error(busyText(language));
        return false;
    }
    if (active_runs.empty())
        data_actions->setEnabled(false);
    if (isAbortableKind(kind) && !contains(active_runs, isAbortableKind))
        abort_requested = false;
    active_runs.push_back(kind);
    switch (kind) {
    case RunKind::Forward:
        forward_running = true;
        break;
    case RunKind::Inversion:
    case RunKind::HorizonFit:
        inversion_running = true;
        break;
    case RunKind::FileRead:
    case RunKind::FileWrite:
    case RunKind::Formula:
        abort_enabled = true;
        listenForAbortKey(true);
        break;
    }
    applyRunActionStates();
    return true;
}

void MainWindow::endRun(RunKind kind)
{
    const auto it = std::find(active_runs.rbegin(), active_runs.rend(), kind);
    if (it == active_runs.rend())
        return;
    active_runs.erase(std::next(it).base());

    if (std::find(active_runs.begin(), active_runs.end(), RunKind::Forward) == active_runs.end())
        forward_running = false;
    if (!contains(active_runs, isInversionKind))
        inversion_running = false;
    if (!contains(active_runs, isAbortableKind)) {
        abort_enabled = false;
        listenForAbortKey(false);
    }
    applyRunActionStates();

    if (active_runs.empty()) {
        // An idle program holds no run's working grids, and the heap they
        // took goes back to the system when it is much, so the next figure
        // of available memory is true.
        forward_release_work();
        release_large_free_heap();
        data_actions->setEnabled(true);
        if (pending_close)
            QTimer::singleShot(0, this, &MainWindow::finishPendingClose);
    }
}

// The starting action of the outermost run shows the stop icon and stays
// enabled (a second press stops); the other run actions are disabled.
void MainWindow::applyRunActionStates()
{
    struct RunAction
    {
        QAction* action;
        RunKind kind;
        const char* icon;
    };
    const RunAction runActions[] = {
        {ui->forward_grid, RunKind::Forward, ":/Images/start_green.png"},
        {ui->inversion, RunKind::Inversion, ":/Images/start_inv.png"},
        {ui->horizonInversion, RunKind::HorizonFit, ":/Images/start_inv_horizon.png"},
    };
    const auto owner = std::find_if(active_runs.begin(), active_runs.end(), [](RunKind k) {
        return k == RunKind::Forward || isInversionKind(k);
    });
    for (const RunAction& r : runActions) {
        const bool owns = owner != active_runs.end() && *owner == r.kind;
        r.action->setIcon(QIcon(QString::fromUtf8(owns ? ":/Images/stop.png" : r.icon)));
        r.action->setEnabled(active_runs.empty() || owns);
    }
}

bool MainWindow::refuseWhileRunning()
{
    if (!runActive())
        return false;
    show_error(busyText(language));
    return true;
}

void MainWindow::stopRuns()
{
    inversion_running = false;
    forward_running = false;
    if (abort_enabled)
        abort_requested = true;
}
