// Regridding of the main window's 2D data: one grid onto another lattice,
// and the horizons onto the density grid's nodes.
#include "app/mainwindow.h"

#include "editing/layers.h"
#include "editing/regrid.h"
#include "formats/progress_bar_scope.h"

#include <QDebug>

void MainWindow::regrid2Dgrid(std::vector<std::vector<double>>& init_grid, std::vector<double>& old_params,
                              std::vector<double>& new_params)
{
    if (init_grid.empty())
        return;
    field2D out;
    bool done = false;
    {
        // The bar repaints after each row; user input waits, so nothing can
        // replace the grid while it is resampled.
        ProgressBarScope progress(&progress_bar);
        const CodecProgress step = progress.callback();
        done = regrid::regrid_2d(init_grid, old_params, new_params, out, [&step](int percent) { step(percent); });
    }
    if (done)
        init_grid = std::move(out);
    else
        qDebug() << "regrid2Dgrid: unusable grid or lattice, grid kept";
}

void MainWindow::regridHorizonsToGrid()
{
    if (horizons.empty() || den_grid.empty())
        return;
    std::vector<double> lattice = regrid::cube_lattice(den_grid, x_calc, y_calc);
    if (lattice.empty() || horizons_params.size() < 6)
        return;
    const bool moved = !layers::same_geometry(horizons_params, lattice) ||
                       !layers::horizon_fits_params(horizons.front(), lattice);
    for (field2D& horizon : horizons)
        regrid2Dgrid(horizon, horizons_params, lattice);
    horizons_params = lattice;
    // The layered inversion's slab effects belong to the old nodes.
    if (moved)
        std::vector<field2D>().swap(layer_effects);
}
