// File menu commands for the 2D data sets: open horizons and the observed
// field from Surfer grids; save the calculated field, the residual, the
// horizons and the observed field as Surfer 7 binary or Surfer 6 text grids.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/texts.h"
#include "common/coordinate_limit.h"
#include "common/grid_helpers.h"
#include "editing/regrid.h"
#include "formats/file_commands.h"
#include "formats/file_io.h"
#include "formats/progress_bar_scope.h"
#include "formats/surfer_grid.h"

#include <QDir>
#include <QLabel>

#include <algorithm>

namespace {

QString surferOpenFilter() { return QStringLiteral("*.grd"); }

// Writes a map in the kind the selected filter names. False after a message
// naming the file: a name whose suffix is not "grd", or a failed write
// (which leaves any earlier file in place).
bool saveSurferMap(MainWindow& w, const QString& path, const field2D& map, const std::vector<double>& geometry,
                   const QString& selected_filter)
{
    if (!is_grd_name(path)) {
        w.show_error(byLanguage(w.language, "Файл не сохранен: выберите имя с расширением grd (%1)",
                                "Nothing saved: choose a name with the suffix grd (%1)")
                         .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    CodecStatus status;
    {
        ProgressBarScope progress(&w.progress_bar);
        status = write_surfer_grid(path, map, geometry, selected_filter, progress.callback());
    }
    if (!status)
        w.show_error(file_failure_text(path, status, w.language, true));
    return bool(status);
}

QString noGeometryText(int language)
{
    return byLanguage(language, "Неизвестны координаты узлов поля: пересчитайте поле для текущей модели",
                      "The field's node coordinates are unknown: calculate the field for the current model again");
}

QString emptyGridText(int language, const QString& path)
{
    return byLanguage(language, "Файл \"%1\" не содержит грида", "File \"%1\" holds no grid")
        .arg(QDir::toNativeSeparators(path));
}

}  // namespace

void MainWindow::on_open_horizon_triggered()
{
    if (refuseWhileRunning())
        return;
    const QStringList names = interaction()->openFileNames(this, QStringLiteral("Open file"), QString(),
                                                           surferOpenFilter());
    if (names.isEmpty())
        return;
    // The layered inversion must rebuild its slab effects for the new layers.
    std::vector<field2D>().swap(layer_effects);

    long long non_finite = 0;
    for (const QString& name : names) {
        field2D grid;
        std::vector<double> params;
        const CodecStatus status = read_surfer_grid(name, grid, params);
        if (!status) {
            show_error(file_failure_text(name, status, language, false));
            continue;
        }
        non_finite += non_finite_cells(grid).count;
        if (grid.empty() || grid.front().empty() || params.size() < 6) {
            show_error(emptyGridText(language, name));
            continue;
        }
        // Depths are coordinates of the 3D view and of the project file.
        if (double far = 0; !std::all_of(grid.begin(), grid.end(), [&far](const std::vector<double>& row) {
                return coordinates_fit(row, far);
            })) {
            show_error(file_failure_text(name, codec_io::coordinate_in_file(name, far), language, false));
            continue;
        }
        // Elevations at or below zero become positive depths.
        if (grid_max(grid) <= 0) {
            for (auto& row : grid)
                for (double& v : row)
                    v = -v;
            if (params.size() >= 8) {
                const double low = -params[7];
                params[7] = -params[6];
                params[6] = low;
            }
        }
        if (!den_grid.empty()) {
            std::vector<double> lattice = regrid::cube_lattice(den_grid, x_calc, y_calc);
            if (!lattice.empty()) {
                regrid2Dgrid(grid, params, lattice);
                params = lattice;
            }
        }
        addHorizon(grid, params);  // orders by mean depth; refuses another geometry itself
    }

    if (!horizons.empty() && minZ == 0 && maxZ == 0) {
        double lowest = horizons.front()[0][0];
        double highest = lowest;
        for (const field2D& h : horizons) {
            lowest = std::min(lowest, grid_min(h));
            highest = std::max(highest, grid_max(h));
        }
        minZ = lowest;
        maxZ = highest;
        dz = (maxZ - minZ) / 50;
    }
    if (!horizons.empty())
        on_view_horizons_triggered();
    if (non_finite > 0 && progress_label)
        progress_label->setText(non_finite_read_text(non_finite, language));
}

void MainWindow::on_open_observed_field_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(), surferOpenFilter());
    if (path.isEmpty())
        return;
    setCursor(Qt::WaitCursor);
    field2D grid;
    std::vector<double> params;
    const CodecStatus status = read_surfer_grid(path, grid, params);
    setCursor(Qt::ArrowCursor);
    if (!status) {
        show_error(file_failure_text(path, status, language, false));
        return;
    }
    if (grid.empty() || grid.front().empty() || params.size() < 6) {
        show_error(emptyGridText(language, path));
        return;
    }
    const long long non_finite = non_finite_cells(grid).count;
    Vz_observed = std::move(grid);
    observed_params = std::move(params);
    alpha_factor = 0;
    plotObserved();
    // The calculated map is shown with the observed field's mean.
    if (!Vz_calculated.empty())
        plotCalculated();
    if (non_finite > 0 && progress_label)
        progress_label->setText(non_finite_read_text(non_finite, language));
}

void MainWindow::on_save_calc_field_triggered()
{
    if (Vz_calculated.empty() || Vz_calculated.front().empty())
        return;
    QString filter;
    const QString path =
        interaction()->saveFileName(this, QStringLiteral("Save Vz calc"), QString(), surfer_save_filter(), &filter);
    if (path.isEmpty())
        return;
    // Saved as the calculated map shows it: with the observed field's mean.
    field2D field = Vz_calculated;
    if (!Vz_observed.empty() && !Vz_observed.front().empty())
        grid_add_scalar(field, grid_mean(Vz_observed) - grid_mean(field));
    const std::vector<double> geometry =
        map_geometry(field.size(), field.front().size(), x_calc, y_calc, {calculated_params});
    if (geometry.empty()) {
        show_error(noGeometryText(language));
        return;
    }
    if (saveSurferMap(*this, path, field, geometry, filter))
        show_message(QStringLiteral("Ok"));
}

void MainWindow::on_save_deltaVz_triggered()
{
    const bool match = !Vz_calculated.empty() && !Vz_observed.empty() && Vz_calculated.size() == Vz_observed.size() &&
                       Vz_calculated.front().size() == Vz_observed.front().size() && !Vz_observed.front().empty();
    if (!match) {
        show_error(byLanguage(language, "Размеры полей не совпадают", "Fields sizes does not match"));
        return;
    }
    field2D residual = Vz_observed;
    grid_subtract(residual, Vz_calculated);
    grid_add_scalar(residual, -grid_mean(residual));

    QString filter;
    const QString path =
        interaction()->saveFileName(this, QStringLiteral("Save dVz"), QString(), surfer_save_filter(), &filter);
    if (path.isEmpty())
        return;
    const std::vector<double> geometry = map_geometry(residual.size(), residual.front().size(), x_calc, y_calc,
                                                      {calculated_params, observed_params});
    if (geometry.empty()) {
        show_error(noGeometryText(language));
        return;
    }
    if (saveSurferMap(*this, path, residual, geometry, filter))
        show_message(QStringLiteral("Ok"));
}

void MainWindow::on_save_horizons_triggered()
{
    if (horizons.empty())
        return;
    QString filter;
    const QString path =
        interaction()->saveFileName(this, QStringLiteral("Save"), QString(), surfer_save_filter(), &filter);
    if (path.isEmpty())
        return;
    if (!is_grd_name(path)) {
        saveSurferMap(*this, path, {}, {}, filter);  // reports the suffix
        return;
    }
    // Horizon 0, the constant top of the model, is never saved.
    for (std::size_t i = 1; i < horizons.size(); ++i) {
        const QString name = i < layers_names.size() ? layers_names[i] : QString();
        const QString file = horizon_file_name(path, static_cast<int>(i), name);
        if (!saveSurferMap(*this, file, horizons[i], horizons_params, filter))
            return;
    }
    show_message(QStringLiteral("Ok"));
}

void MainWindow::on_save_obs_field_triggered()
{
    if (Vz_observed.empty() || Vz_observed.front().empty())
        return;
    QString filter;
    const QString path =
        interaction()->saveFileName(this, QStringLiteral("Save Vz obs"), QString(), surfer_save_filter(), &filter);
    if (path.isEmpty())
        return;
    if (saveSurferMap(*this, path, Vz_observed, observed_params, filter))
        show_message(QStringLiteral("Ok"));
}
