// Preferences: the command that opens the dialog and the slot that applies
// the record it emits.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/preferencesdialog.h"
#include "engine/model_size_estimate.h"
#include "views/gradients.h"
#include "views/surf.h"

#include <QAction>
#include <cmath>
#include <limits>

namespace {

// A record item truncated to int; `fallback` for values that are not numbers
// or do not fit an int.
int truncated(double value, int fallback)
{
    if (!std::isfinite(value) || value < std::numeric_limits<int>::min()
        || value > std::numeric_limits<int>::max())
        return fallback;
    return static_cast<int>(value);
}

} // namespace

void MainWindow::on_Customize_triggered()
{
    // A run holds the stored effects and reads the expansion factor.
    if (refuseWhileRunning())
        return;

    PreferencesDialog dialog;
    dialog.setLanguage(language);
    connect(&dialog, SIGNAL(set_preferences(std::vector<double>&)), this,
            SLOT(set_preferences(std::vector<double>&)));
    if (!den_grid.empty() && !den_grid[0].empty())
        dialog.setModelSize(static_cast<int>(den_grid[0][0].size()), static_cast<int>(den_grid[0].size()),
                            static_cast<int>(den_grid.size()));
    dialog.setInversionOptions(inversionMemoryOptions(inversion_params, save_log), expansion_factor);
    dialog.loadPreferences(preferences);
    dialog.exec();
}

void MainWindow::set_preferences(std::vector<double>& params)
{
    // Only a full record is applied.
    if (params.size() < 10)
        return;
    if (refuseWhileRunning())
        return;

    preferences = params;

    // At least one worker, whatever the record says.
    thread_count = std::max(1, truncated(params[0], 1));
    preferences[0] = thread_count;

    const int maps_type = truncated(params[1], -1);
    const bool maps_invert = params[2] != 0;
    const int model_type = truncated(params[3], -1);
    const bool model_invert = params[4] != 0;

    // A factor the dialog would refuse keeps the current one.
    if (check_expansion_factor(params[5]) != ExpansionFactorStatus::Ok) {
        preferences[5] = expansion_factor;
    } else if (params[5] != expansion_factor) {
        expansion_factor = params[5];
        dropStaleOperators();
    }

    if (params[6] != 0) {
        store_eff = true;
    } else {
        store_eff = false;
        effects.clear();
    }

    setLanguage(truncated(params[7], language));
    modelScaleDirection = truncated(params[8], 0);
    mapsScaleDirection = truncated(params[9], 0);

    maps_gradient = gradientByType(maps_type, maps_invert);
    cube_gradient = gradientByType(model_type, model_invert);
    if (surf)
        surf->gradient = cube_gradient;
    if (model_scale)
        model_scale->setGradient(cube_gradient);

    if (!Vz_observed.empty())
        plotObserved();
    if (!Vz_calculated.empty())
        plotCalculated();
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
    else
        showHorizons();
}
