// The project data model: whether it holds data, emptying it before a
// project is loaded, and deleting the profile scheme.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "views/surf.h"

#include <QAction>

namespace {

template <typename T>
void release(T& container)
{
    T().swap(container);
}

} // namespace

bool MainWindow::hasAnyData()
{
    return !den_grid.empty() || !horizons.empty() || !Vp_grid.empty() || !Vs_grid.empty() || !Vz_observed.empty()
        || !regularizer.empty();
}

// Empties every data set of the project (and forgets the sidecars waiting
// to be compared). The remembered parameters, the
// stored effects, the undo snapshots and the view settings stay; nothing is
// redrawn (the project reader that calls this redraws when it has read).
void MainWindow::clear_all()
{
    release(den_grid);
    release(x_norm);
    release(y_norm);
    release(z_norm);
    release(x_calc);
    release(y_calc);
    release(z_calc);

    release(horizons);
    release(horizons_params);
    release(densities);
    release(lateral_densities);
    release(layers_names);
    release(fixed);

    release(Vz_observed);
    release(observed_params);
    release(Vz_calculated);
    release(calculated_params);

    release(Vp_grid);
    release(Vs_grid);
    release(x_vp);
    release(y_vp);
    release(z_vp);
    release(x_vs);
    release(y_vs);
    release(z_vs);

    release(regularizer);
    release(regularizer_read);
    release(x_reg);
    release(y_reg);
    release(z_reg);

    release(profiles_scheme);
    // The faults-type flag stays: the next fault read sets it.
    release(faults.sticks);
    release(faults.inlines);
    release(faults.crosslines);
    release(faults.names);
    surf->clearFaults();
    ui->view_faults->setEnabled(false);

    release(section_line);

    // The calculated map must not go on naming a layer that no longer exists,
    // nor horizon editing a horizon.
    if (visible_data.first != 1)
        visible_data = {1, 1};
    selected_row = selected_column = selected_horizon = -1;

    ui->calculated_axes->clearItems();
    ui->observed_axes->clearItems();
    // Sidecars of the project opened belong to its model, now gone.
    dropStalePendingSidecars();
}

void MainWindow::on_delete_profiles_scheme_triggered()
{
    if (refuseWhileRunning())
        return;
    release(profiles_scheme);
    ui->view_profiles->setEnabled(false);
    plotObserved();
    plotCalculated();
}
