// Horizon fitting: the `horizonInversion` command with its dialog, and the
// fit that moves one horizon node by node towards the observed field while
// the density grid follows the moved surface.
//
// Each pass computes the field of the current grid (reusing the stored
// effects built once at the start), proposes new depths from the residual
// and the density contrast across the horizon, keeps the horizon between
// its neighbours, refills the cells the surface crossed and redraws. A
// second press of the action ends the fit after the current pass; the
// closing forward calculation then gives the field of the final model.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/status_text.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/int_conversion.h"
#include "engine/horizon_fit.h"
#include "engine/inversionhorizondialog.h"
#include "engine/memory.h"
#include "engine/run_inputs.h"
#include "views/surf.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

// Why the project cannot be fitted (empty when it can): a density grid, an
// observed field and at least one horizon besides the model top, all on
// the same rows and columns and holding finite numbers only.
QString fit_refusal(const MainWindow& w)
{
    const int lang = w.language;
    if (w.den_grid.empty())
        return byLanguage(lang, "3D грид плотности пуст", "3D density grid is empty");
    if (w.Vz_observed.empty())
        return byLanguage(lang, "Наблюденное поле не загружено в проект", "Observed field is empty");
    if (w.horizons.size() < 2)
        return byLanguage(lang, "Горизонты не загружены в проект", "Horizons are empty");
    if (!cube_is_regular(w.den_grid)
        || !grid_has_shape(w.Vz_observed, w.den_grid.front().size(), w.den_grid.front().front().size()))
        return byLanguage(lang, "Параметры разбиения модели и поля не совпадают",
                          "3D grid and observed field parameters don't match");
    if (!horizons_match_grid(w.horizons, w.den_grid))
        return byLanguage(lang, "Параметры разбиения горизонтов не соответствуют модели",
                          "Horizons and 3D grid have different parameters");
    RunInputs inputs;
    inputs.density = &w.den_grid;
    inputs.observed = &w.Vz_observed;
    inputs.horizons = &w.horizons;
    return non_finite_input_text(inputs, lang);
}

}  // namespace

// What each pass's redraw draws again: the horizons or the cube in the 3D
// view (built as series whenever the window has a view, drawn while the
// window shows it) and the calculated map (painted while shown).
RunRedraw MainWindow::horizonFitRedraw() const
{
    RunRedraw r = calculatedMapRedraw();
    if (!graph || !surf)
        return r;
    r.view = true;
    r.held = !surf->surfaces.isEmpty();
    const int horizon_count = static_cast<int>(horizons.size());
    const int surfaces = ui->show_top->isChecked() ? horizon_count : std::max(0, horizon_count - 1);
    if (ui->view_horizons->isChecked()) {
        r.surfaces = surfaces;
        return r;
    }
    r.cube = ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked();
    if (ui->view_cube_horizons->isChecked())
        r.surfaces = surfaces;
    return r;
}

double MainWindow::horizonFitNeedBytes(const ForwardGeometry& g) const
{
    return horizon_fit_need_bytes(run_size(g, thread_count), static_cast<int>(horizons.size()), horizonFitRedraw());
}

void MainWindow::on_horizonInversion_triggered()
{
    // A second press stops a running fit after its current pass.
    if (inversion_running && outermostRunIs(RunKind::HorizonFit)) {
        inversion_running = false;
        return;
    }
    // Another run holds the data: refused before the dialog opens.
    if (refuseWhileRunning())
        return;
    const QString refusal = fit_refusal(*this);
    if (!refusal.isEmpty()) {
        show_error(refusal);
        return;
    }
    calculated_params = observed_params;

    // One list entry per horizon below the model top, whatever the names list holds.
    std::vector<QString> names = layers_names;
    names.resize(horizons.size());
    InversionHorizonDialog dialog(this);
    dialog.setLayersNames(names);
    dialog.setPreviousParams(horizon_fit_params);
    connect(&dialog, SIGNAL(paramsSelected(QMap<QString, double>&)), this, SLOT(fitHorizon(QMap<QString, double>&)));
    interaction()->runDialog(&dialog);
}

void MainWindow::fitHorizon(QMap<QString, double>& params)
{
    {
        // Sets inversion_running, shows the stop icon on `horizonInversion`
        // and disables `forward_grid`, `inversion` and the data commands.
        RunGuard run(this, RunKind::HorizonFit);
        if (!run)
            return;
        StatusTextKeeper status_text(progress_label);  // the passes' texts go when the fit ends
        horizon_fit_params = params;
        const int passes = saturating_int(params.value(QStringLiteral("Niter")));
        const int n = saturating_int(params.value(QStringLiteral("layer")));
        const double step_scale = params.value(QStringLiteral("stepScale"));

        const QString refusal = fit_refusal(*this);
        if (!refusal.isEmpty()) {
            show_error(refusal);
            return;
        }
        // Horizon 0 is the model top and never moves.
        if (n < 1 || n >= static_cast<int>(horizons.size())) {
            show_error(QStringLiteral("Invalid number of horizon"));
            return;
        }
        vector2D den_top, den_bot;
        QString error;
        if (!collectDensFromHorizon(n, den_top, den_bot, &error)) {
            show_error(error);
            return;
        }

        // The stored effects, built once for every pass of the run. A
        // declined memory question (or a refused geometry) ends the fit
        // here with nothing changed; a stop during the build skips the
        // passes and leaves the closing calculation to rebuild them.
        bool passes_allowed = true;
        if (!calculateEffects(MemoryRun::HorizonFit)) {
            if (inversion_running)
                return;
            passes_allowed = false;
        }

        const HorizonFitScales scales = horizon_fit_scales(Vz_observed, den_top, den_bot, step_scale);
        progress_bar.setRange(0, 100);
        progress_bar.setValue(0);
        progress_bar.show();
        const QString prefix = byLanguage(language, "Итерация ", "Iter ");

        field2D field, residual, proposed, accepted;
        for (int it = 0; passes_allowed && it < passes; ++it) {
            if (!inversion_running)
                break;
            progress_bar.setValue(static_cast<int>(100LL * it / passes));
            if (progress_label)
                progress_label->setText(prefix + QString::number(it + 1) + "/" + QString::number(passes));
            QCoreApplication::processEvents();

            bool computed = false;
            {
                RunGuard forward(this, RunKind::Forward);
                computed = forward && forward3Dgrid_multithread(den_grid, x_calc, y_calc, z_calc, field, progress_bar);
            }
            // A field that was not computed would move the horizon by the
            // observed field itself.
            if (!computed)
                break;
            Vz_calculated = field;
            if (!horizon_fit_residual(field, Vz_observed, residual))
                break;
            field2D& horizon = horizons[n];
            propose_horizon_depths(horizon, residual, den_top, den_bot, scales, proposed);
            const field2D* below = n + 1 < static_cast<int>(horizons.size()) ? &horizons[n + 1] : nullptr;
            const int moved = accept_horizon_depths(horizon, proposed, horizons[n - 1], below, accepted);
            // The grid follows the surface the horizon actually takes.
            if (!fillDensAfterHorizonChange(den_top, den_bot, horizon, accepted))
                break;
            horizon = accepted;
            // The layered inversion's slab effects belong to the old surface.
            if (moved > 0)
                std::vector<field2D>().swap(layer_effects);

            if (ui->view_horizons->isChecked())
                showHorizons();
            else
                show3Dgrid();
            plotCalculated();
        }

        if (progress_label)
            progress_label->setText(byLanguage(language, "Заполнение модели", "Fill model"));
        {
            RunGuard forward(this, RunKind::Forward);
            if (forward)
                forward3Dgrid_multithread(den_grid, x_calc, y_calc, z_calc, Vz_calculated, progress_bar);
        }
        plotCalculated();
    }
    progress_bar.hide();
    // A sidecar the run did not take is told after the redraw, whose status
    // text would hide it.
    showSidecarNote();
}
