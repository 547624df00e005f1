// Exports of 2D maps drawn from the 3D model: the constant-value surface of a
// cube and three maps of one layer of the layered model (density at the top,
// at mid-depth and the vertical mean). None of them changes the model.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "formats/const_value_surface.h"
#include "formats/constvalueexportdialog.h"
#include "formats/file_commands.h"
#include "formats/progress_bar_scope.h"
#include "formats/surfer_grid.h"

#include <QDir>

namespace {

QString layerExportFailure(int language)
{
    return byLanguage(language, "Ошибка при экспорте. Проверьте параметры разбиения горизонтов и куба плотности",
                      "Export error. Check parameters of horizons and 3D density grid");
}

// Asks for a file and writes one layer map as a Surfer 6 text grid on the
// horizons' nodes; "Ok" only after the file was written.
void saveLayerMap(MainWindow& w, const field2D& map)
{
    const QString path = interaction()->saveFileName(&w, QStringLiteral("Save file"), QString(), QStringLiteral("*.grd"));
    if (path.isEmpty())
        return;
    const std::vector<double> params = w.horizons_params;
    const CodecStatus status = write_surfer6_text_grid(path, map, params);
    if (!status) {
        w.show_error(file_failure_text(path, status, w.language, true));
        return;
    }
    w.show_message(QStringLiteral("Ok"));
}

// The layer map has the horizons' rows and columns.
bool onHorizonNodes(const MainWindow& w, const field2D& map)
{
    return !w.horizons.empty() && !map.empty() &&
           grid_has_shape(map, w.horizons.front().size(), grid_columns(w.horizons.front()));
}

}  // namespace

void MainWindow::on_export_const_value_surface_triggered()
{
    ConstValueExportDialog dialog;
    connect(&dialog, SIGNAL(valueSelected(double, int)), this, SLOT(export_const_value_surface(double, int)));
    interaction()->runDialog(&dialog);
}

void MainWindow::export_const_value_surface(double val, int key)
{
    const vector3D* cube = nullptr;
    const std::vector<double>*x = nullptr, *y = nullptr, *z = nullptr;
    switch (key) {
    case 0:
        cube = &den_grid, x = &x_calc, y = &y_calc, z = &z_calc;
        break;
    case 1:
        cube = &Vp_grid, x = &x_vp, y = &y_vp, z = &z_vp;
        break;
    case 2:
        cube = &Vs_grid, x = &x_vs, y = &y_vs, z = &z_vs;
        break;
    case 3:
        cube = &regularizer, x = &x_reg, y = &y_reg, z = &z_reg;
        break;
    default:
        break;
    }
    if (!cube || cube->empty()) {
        show_error(byLanguage(language, "Выбранный тип модели пуст", "Selected model is empty"));
        return;
    }
    QString filter;
    const QString path =
        interaction()->saveFileName(this, QStringLiteral("Save Vz calc"), QString(), surfer_save_filter(), &filter);
    if (path.isEmpty())
        return;
    if (!is_grd_name(path)) {
        show_error(byLanguage(language, "Файл не сохранен: выберите имя с расширением grd (%1)",
                              "Nothing saved: choose a name with the suffix grd (%1)")
                       .arg(QDir::toNativeSeparators(path)));
        return;
    }

    field2D surface;
    CodecStatus status;
    {
        ProgressBarScope progress(&progress_bar);
        status = const_value_surface(*cube, *z, val, surface, progress.callback());
    }
    if (!status) {
        show_error(status.message(language));
        return;
    }
    if (x->empty() || y->empty()) {
        show_error(byLanguage(language, "У выбранной модели нет координат узлов",
                              "The selected model has no node coordinates"));
        return;
    }
    const std::vector<double> geometry = {static_cast<double>(surface.front().size()),
                                          static_cast<double>(surface.size()),
                                          x->front(), x->back(), y->front(), y->back()};
    {
        ProgressBarScope progress(&progress_bar);
        status = write_surfer_grid(path, surface, geometry, filter, progress.callback());
    }
    if (!status) {
        show_error(file_failure_text(path, status, language, true));
        return;
    }
    show_message(QStringLiteral("Ok"));
}

void MainWindow::export_layers_densities(int n)
{
    // The stored maps must belong to the present horizons.
    if (n < 0 || n >= static_cast<int>(lateral_densities.size()) ||
        !onHorizonNodes(*this, lateral_densities[static_cast<std::size_t>(n)])) {
        show_error(layerExportFailure(language));
        return;
    }
    const field2D map = lateral_densities[static_cast<std::size_t>(n)];
    saveLayerMap(*this, map);
}

void MainWindow::export_layers_densities_central(int n)
{
    // The map is read at the horizons' nodes, so they must be the grid's.
    if (den_grid.empty() || horizons.empty() || n < 0 || n >= static_cast<int>(horizons.size()) ||
        !horizons_match_grid(horizons, den_grid)) {
        show_error(layerExportFailure(language));
        return;
    }
    const field2D map = extract_layer_central_density(n);
    if (!onHorizonNodes(*this, map)) {
        show_error(layerExportFailure(language));
        return;
    }
    saveLayerMap(*this, map);
}

void MainWindow::export_layers_densities_vert_mean(int n)
{
    if (den_grid.empty() || horizons.empty() || n < 0 || n >= static_cast<int>(horizons.size())) {
        show_error(layerExportFailure(language));
        return;
    }
    const field2D map = getVerticalAvgDensity(n);  // reports horizons off the grid itself
    if (!onHorizonNodes(*this, map)) {
        show_error(layerExportFailure(language));
        return;
    }
    saveLayerMap(*this, map);
}
