// The layers table command of the main window: opens a modeless table of
// the layered model and connects what it sends to the layer slots.
#include "app/mainwindow.h"

#include "app/texts.h"
#include "common/grid_geometry.h"
#include "editing/horizonswindow.h"

void MainWindow::on_horizons_table_triggered()
{
    if (refuseWhileRunning())
        return;

    auto* table = new HorizonsWindow(this);
    table->setAttribute(Qt::WA_DeleteOnClose);
    connect(table, SIGNAL(dens_edited(std::vector<double>)), this, SLOT(setHorizonsDensities(std::vector<double>)));
    connect(table, SIGNAL(dens_edited_norecalc(std::vector<double>)), this,
            SLOT(setHorizonsDensities_norecalc(std::vector<double>)));
    connect(table, SIGNAL(delete_horizon(int)), this, SLOT(delete_horizon(int)));
    connect(table, SIGNAL(set_fixed(std::vector<bool>)), this, SLOT(set_fixed(std::vector<bool>)));
    connect(table, SIGNAL(names_edited(std::vector<QString>)), this, SLOT(set_layers_names(std::vector<QString>)));
    connect(table, SIGNAL(load_horizon_density(int)), this, SLOT(loadLayerDensity(int)));
    connect(table, SIGNAL(export_horizon_density(int)), this, SLOT(export_layers_densities(int)));
    connect(table, SIGNAL(export_horizon_density_central(int)), this, SLOT(export_layers_densities_central(int)));
    connect(table, SIGNAL(export_horizon_density_vert_mean(int)), this, SLOT(export_layers_densities_vert_mean(int)));
    connect(table, SIGNAL(set_constant_density(int, double)), this, SLOT(recalcLayerDensity_const(int, double)));

    // The table keeps the rows it was opened with. Once horizons have been
    // added or deleted elsewhere its row numbers name other layers, so it
    // sends nothing more; nor while a run holds the model.
    table->setSendCheck([this](int rows) {
        if (refuseWhileRunning())
            return false;
        if (rows != static_cast<int>(horizons.size())) {
            show_error(byLanguage(language, "Таблица слоёв не соответствует текущим горизонтам. Откройте таблицу заново",
                                  "The layers table does not match the current horizons. Open the table again"));
            return false;
        }
        return true;
    });

    // Layer densities: the mean cell of each layer of the density grid.
    // Without a grid that sits on the horizons the densities stored so far
    // are the only ones there are, and they are kept.
    const std::size_t count = horizons.size();
    if (horizons_match_grid(horizons, den_grid)) {
        densities.assign(count, 0.0);
        for (std::size_t i = 0; i < count; ++i)
            densities[i] = calcLayerStats(static_cast<int>(i))[2];
    } else {
        densities.resize(count, 0.0);
    }

    table->setLanguage(language);
    table->setLayers(densities, fixed);
    table->setNames(layers_names);
    extract_horizons_lateral_densities();
    table->show();
}
