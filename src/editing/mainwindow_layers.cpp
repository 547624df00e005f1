// The layered model's commands of the main window: horizons and layer
// attributes, the density grid built from the layers, the layer fills and
// the layer maps read back from the density grid. Each slot reads the
// members, calls the rules in editing/layers.h, writes the members back,
// redraws and reports.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/cell_values.h"
#include "editing/inputvaluedialog.h"
#include "editing/layers.h"
#include "formats/surfer_grid.h"
#include "views/surf.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

const char* kRecalcGridError = "Recalc grid error";

}  // namespace

// ---------------------------------------------------------------------------
// Horizons and layer attributes

void MainWindow::addHorizon(std::vector<std::vector<double>>& horizon, std::vector<double>& params)
{
    layers::LayerLists lists{horizons, horizons_params, densities, fixed, layers_names};
    switch (layers::add_horizon(lists, horizon, params, minZ)) {
    case layers::AddResult::GeometryMismatch:
        show_error(byLanguage(language, "Все горизонты должны иметь одинаковые параметры разбиения",
                       "All horizons must have the same size"));
        return;
    case layers::AddResult::BadHorizon:
        show_error(byLanguage(language, "Сетка горизонта не соответствует своим параметрам разбиения",
                       "The horizon grid does not match its own size parameters"));
        return;
    case layers::AddResult::AddedFirst:
    case layers::AddResult::Inserted:
        break;
    }
    effects.clear();
    std::vector<field2D>().swap(layer_effects);
}

void MainWindow::add_constant_horizon(double depth)
{
    if (refuseWhileRunning())
        return;
    if ((!z_calc.empty() && depth < z_calc.front()) || !std::isfinite(depth)) {
        show_error(byLanguage(language, "Глубина горизонта должна быть больше минимальной глубины модели",
                       "Horizon's depth can't be less than min model depth"));
        return;
    }
    std::vector<double> geometry;
    if (!horizons.empty()) {
        geometry = horizons_params;
    } else if (!den_grid.empty() && !den_grid.front().empty()) {
        geometry = {static_cast<double>(grid_columns(den_grid.front())), static_cast<double>(den_grid.front().size()),
                    x_calc.empty() ? 0.0 : x_calc.front(), x_calc.empty() ? 0.0 : x_calc.back(),
                    y_calc.empty() ? 0.0 : y_calc.front(), y_calc.empty() ? 0.0 : y_calc.back()};
    }
    if (geometry.size() < 6 || !(geometry[0] >= 1 && geometry[1] >= 1 && geometry[0] < 1e9 && geometry[1] < 1e9)) {
        show_error(byLanguage(language,
                       "Для добавления горизонта в проекте должна быть плотностная модель или загруженные горизонты",
                       "To add horizons project must contain density model or imported horizons"));
        return;
    }
    const std::size_t nx = static_cast<std::size_t>(static_cast<int>(geometry[0]));
    const std::size_t ny = static_cast<std::size_t>(static_cast<int>(geometry[1]));
    field2D horizon(ny, std::vector<double>(nx, depth));
    addHorizon(horizon, geometry);
    if (ui->view_horizons->isChecked())
        showHorizons();
    else
        show3Dgrid();
}

void MainWindow::on_add_constant_horizon_triggered()
{
    if (refuseWhileRunning())
        return;
    if (den_grid.empty() && horizons.empty()) {
        show_error(byLanguage(language,
                       "Для добавления горизонта в проекте должна быть плотностная модель или загруженные горизонты",
                       "To add horizons project must contain density model or imported horizons"));
        return;
    }
    InputValueDialog dialog;
    dialog.setValue(100);
    dialog.setCaption(byLanguage(language, "Введите глубину горизонта", "Input depth"));
    dialog.setLanguage(language);
    connect(&dialog, SIGNAL(valueSelected(double)), this, SLOT(add_constant_horizon(double)));
    dialog.exec();
}

void MainWindow::addDensitytToLayer(int n, double d)
{
    if (layers::layer_fill_ready(den_grid, z_calc, horizons, n) != layers::FillStatus::Ok) {
        show_error(kRecalcGridError);
        return;
    }
    const layers::FillStatus s =
        layers::add_to_layer(den_grid, z_calc, horizons, n, d, [] { QCoreApplication::processEvents(); });
    if (s != layers::FillStatus::Ok) {
        qDebug() << "addDensitytToLayer stopped: the grid or the horizons changed meanwhile";
        show_error(kRecalcGridError);
    }
}

void MainWindow::delete_horizon(int i)
{
    if (refuseWhileRunning())
        return;
    layers::LayerLists lists{horizons, horizons_params, densities, fixed, layers_names};
    const layers::DeleteResult r = layers::delete_horizon(lists, i);
    std::vector<field2D>().swap(layer_effects);
    if (r == layers::DeleteResult::Emptied) {
        if (ui->view_horizons->isChecked())
            showHorizons();
        else
            show3Dgrid();
    }
}

void MainWindow::on_clear_3D_grid_triggered()
{
    if (refuseWhileRunning())
        return;
    vector3D().swap(den_grid);
    x_calc.clear();
    y_calc.clear();
    z_calc.clear();
    x_norm.clear();
    y_norm.clear();
    z_norm.clear();
    surf->clearSurfaces();
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
    dropStaleOperators();
}

void MainWindow::on_clear_Vp_triggered()
{
    if (refuseWhileRunning())
        return;
    vector3D().swap(Vp_grid);
    x_vp.clear();
    y_vp.clear();
    z_vp.clear();
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
}

void MainWindow::on_clear_regularizer_triggered()
{
    if (refuseWhileRunning())
        return;
    vector3D().swap(regularizer);
    vector3D().swap(regularizer_read);
    x_reg.clear();
    y_reg.clear();
    z_reg.clear();
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
}

void MainWindow::on_clear_horizons_triggered()
{
    if (refuseWhileRunning())
        return;
    layers::LayerLists lists{horizons, horizons_params, densities, fixed, layers_names};
    layers::clear_layers(lists);
    if (ui->view_horizons->isChecked())
        showHorizons();
    else
        show3Dgrid();
}

// The layers table may have been opened before horizons were added or
// deleted; its rows then no longer match the layers and are refused whole.
static QString stale_table_message(int language)
{
    return byLanguage(language, "Таблица слоёв не соответствует текущим горизонтам. Откройте таблицу заново",
               "The layers table does not match the current horizons. Open the table again");
}

// A layer density typed in the table that no cell can hold is named, and
// none of the table's densities is taken.
static bool layerDensitiesFitCells(MainWindow& w, const std::vector<double>& dens)
{
    for (std::size_t i = 0; i < dens.size(); ++i)
        if (!fits_cell(dens[i])) {
            w.show_error(cellValueRangeText(
                w.language, byLanguage(w.language, "Плотность слоя %1", "The density of layer %1").arg(i + 1), dens[i]));
            return false;
        }
    return true;
}

void MainWindow::setHorizonsDensities(std::vector<double> dens)
{
    if (!layerDensitiesFitCells(*this, dens))
        return;
    if (!layers::assign_per_layer(densities, dens, horizons.size())) {
        show_error(stale_table_message(language));
        return;
    }
    update_undo(1);
    recalc3Dgrid();
}

void MainWindow::setHorizonsDensities_norecalc(std::vector<double> dens)
{
    if (!layerDensitiesFitCells(*this, dens))
        return;
    if (!layers::assign_per_layer(densities, dens, horizons.size()))
        show_error(stale_table_message(language));
}

// The table sends the flags and the names right after the densities, whose
// setter has already reported a stale table: these only refuse.
void MainWindow::set_fixed(std::vector<bool> fixed_layers)
{
    if (!layers::assign_per_layer(fixed, fixed_layers, horizons.size()))
        qDebug() << "set_fixed refused: flags" << fixed_layers.size() << "layers" << horizons.size();
}

void MainWindow::set_layers_names(std::vector<QString> names)
{
    if (!layers::assign_per_layer(layers_names, names, horizons.size()))
        qDebug() << "set_layers_names refused: names" << names.size() << "layers" << horizons.size();
}

// ---------------------------------------------------------------------------
// Density grid from the layered model

void MainWindow::recalc3Dgrid()
{
    rebuildFromLayers(minZ, maxZ, dz);
}

bool MainWindow::rebuildFromLayers(double min_z, double max_z, double step)
{
    if (horizons.empty())
        return false;
    layers::VerticalParams v{min_z, max_z, step};
    layers::LayerGrid built;
    const layers::BuildStatus status =
        layers::build_grid_from_layers(horizons, horizons_params, densities, v, built);
    switch (status) {
    case layers::BuildStatus::Ok:
        break;
    case layers::BuildStatus::NoHorizons:
        return false;
    case layers::BuildStatus::BadVertical:
        show_error(byLanguage(language,
                       "Неверные вертикальные параметры модели: максимальная глубина должна быть больше "
                       "минимальной, а шаг по глубине - положительным",
                       "Invalid vertical parameters: the maximum depth must be greater than the minimum depth "
                       "and the depth step must be positive"));
        return false;
    case layers::BuildStatus::DeepestAboveTop:
        show_error(byLanguage(language,
                       "Нижний горизонт должен лежать ниже кровли модели. Задайте вертикальные параметры модели",
                       "The deepest horizon must lie below the top of the model. Set the vertical parameters "
                       "of the model"));
        return false;
    case layers::BuildStatus::BadGeometry:
        show_error(kRecalcGridError);
        return false;
    case layers::BuildStatus::OutOfMemory:
        show_error(byLanguage(language, "Недостаточно памяти ", "Out of memory"));
        return false;
    }

    // The grid replaced, with the vertical parameters it goes with; also an
    // empty one, so that undo takes back this rebuild and nothing before it.
    update_undo(1);
    undo_stack.back().restores_vertical = true;
    minZ = v.minZ;
    maxZ = v.maxZ;
    dz = v.dz;

    const std::size_t nx = built.x.size();
    const std::size_t ny = built.y.size();
    const std::size_t nz = built.z.size();
    model_bounds = {built.x.front(), built.x.back(), built.y.front(), built.y.back(), minZ, maxZ};

    den_grid = std::move(built.cells);
    if (!densities.empty()) {
        const auto mm = std::minmax_element(densities.begin(), densities.end());
        surf->texture_min = *mm.first;
        surf->texture_max = *mm.second;
    }
    norm_factors = NormFactors();
    x_calc = built.x;
    y_calc = built.y;
    z_calc = built.z;
    x_norm = std::move(built.x);
    y_norm = std::move(built.y);
    z_norm = std::move(built.z);
    // left, right, front, back, top, bottom
    crop_borders = {{0, static_cast<int>(nx) - 1, static_cast<int>(ny) - 1, 0, 0, static_cast<int>(nz) - 1}};
    dropStaleOperators();

    if (progress_label)
        progress_label->setText(QString("(Nx, Ny, Nz) = (%1, %2, %3)").arg(nx).arg(ny).arg(nz));

    surf->clearSurfaces();
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
    else
        showHorizons();
    updateAxesTitles();
    return true;
}

void MainWindow::recalc3Dgrid_lateral() {}

void MainWindow::recalcLayerDensity(int n)
{
    const layers::FillStatus ready = layers::layer_fill_ready(den_grid, z_calc, horizons, n);
    const bool map_ok = ready == layers::FillStatus::Ok && n < static_cast<int>(lateral_densities.size()) &&
                        grid_has_shape(lateral_densities[n], den_grid.front().size(), den_grid.front().front().size());
    if (!map_ok) {
        show_error(kRecalcGridError);
    } else {
        update_undo(1);
        // A copy: pending events may replace the maps while the fill runs.
        const field2D map = lateral_densities[n];
        if (layers::set_layer_from_map(den_grid, z_calc, horizons, n, map, [] { QCoreApplication::processEvents(); }) !=
            layers::FillStatus::Ok)
            show_error(kRecalcGridError);
    }
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
}

void MainWindow::recalcLayerDensity_const(int n, double d)
{
    if (!fits_cell(d)) {
        show_error(cellValueRangeText(language, byLanguage(language, "Плотность слоя %1", "The density of layer %1").arg(n + 1),
                                      d));
        return;
    }
    if (layers::layer_fill_ready(den_grid, z_calc, horizons, n) != layers::FillStatus::Ok) {
        show_error(kRecalcGridError);
    } else {
        update_undo(1);
        if (layers::set_layer_value(den_grid, z_calc, horizons, n, d, [] { QCoreApplication::processEvents(); }) !=
            layers::FillStatus::Ok)
            show_error(kRecalcGridError);
    }
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
}

void MainWindow::loadLayerDensity(int n)
{
    if (lateral_densities.size() != horizons.size())
        extract_horizons_lateral_densities();
    if (n < 0 || n >= static_cast<int>(lateral_densities.size())) {
        show_error("Layers size error");
        return;
    }
    const QString path = interaction()->openFileName(this, "Open file", "", "*.grd");
    if (path.isEmpty())
        return;
    field2D grid;
    std::vector<double> params;
    const CodecStatus status = read_surfer_grid(path, grid, params);
    if (!status) {
        show_error(status.message(language));
        return;
    }
    const field2D& first = lateral_densities.front();
    if (grid.size() == first.size() && grid_columns(grid) == grid_columns(first) &&
        grid_has_shape(grid, first.size(), grid_columns(first))) {
        lateral_densities[n] = std::move(grid);
        recalcLayerDensity(n);
    } else {
        show_error("Grid size doesn't match to project data");
    }
}

// ---------------------------------------------------------------------------
// Layer maps and horizon samples of the density grid

void MainWindow::extract_horizons_lateral_densities()
{
    layers::lateral_density_maps(den_grid, z_calc, horizons, lateral_densities);
}

std::vector<std::vector<double>> MainWindow::extract_layer_central_density(int n)
{
    return layers::layer_central_density(den_grid, z_calc, horizons, n);
}

std::vector<std::vector<double>> MainWindow::getVerticalAvgDensity(int n)
{
    field2D out;
    if (layers::layer_vertical_mean(den_grid, z_calc, horizons, n, out) == layers::MapStatus::Mismatch)
        show_error(byLanguage(language, "Параметры разбиения горизонтов не соответствуют модели",
                       "Horizons and 3D grid have different parameters"));
    return out;
}

bool MainWindow::collectDensFromHorizon(int n, std::vector<std::vector<float>>& den_top,
                                        std::vector<std::vector<float>>& den_bot, QString* error)
{
    QString text;
    switch (layers::sample_around_horizon(den_grid, z_calc, horizons, n, den_top, den_bot)) {
    case layers::SampleStatus::Ok:
        return true;
    case layers::SampleStatus::BadIndex:
        text = "Invalid number of horizon";
        break;
    case layers::SampleStatus::OutOfModel:
        text = "Horizon is out of density model";
        break;
    case layers::SampleStatus::Mismatch:
        text = byLanguage(language, "Параметры разбиения горизонтов не соответствуют модели",
                   "Horizons and 3D grid have different parameters");
        break;
    }
    if (error)
        *error = text;
    return false;
}

bool MainWindow::fillDensAfterHorizonChange(std::vector<std::vector<float>>& den_top,
                                            std::vector<std::vector<float>>& den_bot,
                                            std::vector<std::vector<double>>& hor_before,
                                            std::vector<std::vector<double>>& hor_after)
{
    if (layers::fill_after_horizon_change(den_grid, z_calc, den_top, den_bot, hor_before, hor_after))
        return true;
    show_error(byLanguage(language, "Параметры разбиения горизонтов не соответствуют модели",
                   "Horizons and 3D grid have different parameters"));
    return false;
}

void MainWindow::fillInvLayerDensityFromHorizons(double z_top, std::vector<std::vector<float>>& dens_layer_real,
                                                 std::vector<std::vector<float>>& dens_layer_imag, int Nl, int Ny,
                                                 int Nx, int Nfbot, int Nfleft, double bottom)
{
    layers::layer_indicator_plane(horizons, z_top, dens_layer_real, dens_layer_imag, Nl, Ny, Nx, Nfbot, Nfleft,
                                  bottom);
}
