// Interactive horizon editing: the Edit command that opens the brush
// dialog, the end of editing, and one brush step on the picked horizon
// node (reached from the arrow keys, src/views/mainwindow_mapinteraction.cpp).
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "app/texts.h"
#include "editing/horizon_brush.h"
#include "editing/horizonseditingdialog.h"

#include <QAction>
#include <QCoreApplication>

namespace {

// Makes a hidden (empty) map visible over the horizons' extent, so that a
// node can be picked on it.
void openEmptyMap(QCustomPlot* plot, const std::vector<double>& extent)
{
    if (plot->axisRect()->visible())
        return;
    plot->axisRect()->setVisible(true);
    plot->setVisible(true);
    if (extent.size() >= 6) {
        plot->xAxis->setRange(extent[2], extent[3]);
        plot->yAxis->setRange(extent[4], extent[5]);
    }
    plot->replot(QCustomPlot::rpRefreshHint);
}

}  // namespace

void MainWindow::on_edit_horizons_triggered()
{
    if (ui->edit_horizons->isChecked() && refuseWhileRunning()) {
        ui->edit_horizons->setChecked(false);
        return;
    }
    if (!ui->edit_horizons->isChecked()) {
        // Unchecking only stops the keys; an open dialog stays open.
    } else if (horizons.empty()) {
        show_error(byLanguage(language, "Горизонты не загружены в проект", "Horizons are empty"));
        ui->edit_horizons->setChecked(false);
    } else if (den_grid.empty()) {
        show_error(byLanguage(language, "Плотностной грид пуст", "Density grid is empty"));
        ui->edit_horizons->setChecked(false);
    } else {
        extract_horizons_lateral_densities();
        openEmptyMap(ui->observed_axes, horizons_params);
        openEmptyMap(ui->calculated_axes, horizons_params);

        // Only the newest dialog drives the editing: an older one still open
        // is let go without ending the editing that starts now.
        if (HorizonsEditingDialog* previous = horizons_editing_dialog) {
            horizons_editing_dialog = nullptr;
            disconnect(previous, nullptr, this, nullptr);
            previous->close();
            previous->deleteLater();
        }

        auto* dialog = new HorizonsEditingDialog(this);
        horizons_editing_dialog = dialog;
        std::vector<double> p = horizon_edit_params;
        const double defaults[4] = {100, 100, 0.5, 10};
        for (std::size_t i = p.size(); i < 4; ++i)
            p.push_back(defaults[i]);
        dialog->setValues(p[0], p[1], p[2], p[3]);
        dialog->setLanguage(language);
        connect(dialog, SIGNAL(EditingParamsSeted(double, double, double, double)), this,
                SLOT(setEditingParams(double, double, double, double)));
        connect(dialog, SIGNAL(EditingFinished()), this, SLOT(offHorizonsEditing()));
        dialog->show();
    }
    QCoreApplication::processEvents();
}

void MainWindow::offHorizonsEditing()
{
    ui->edit_horizons->setChecked(false);
    for (QCustomPlot* plot : {ui->observed_axes, ui->calculated_axes}) {
        plot->clearItems();
        plot->replot(QCustomPlot::rpRefreshHint);
    }
    // The dialog may be inside its own Cancel or close handler: it is let go
    // of here and deleted once control is back in the event loop. Ending the
    // editing a second time finds no dialog and does no harm.
    if (HorizonsEditingDialog* dialog = horizons_editing_dialog) {
        horizons_editing_dialog = nullptr;
        disconnect(dialog, nullptr, this, nullptr);
        if (sender() != dialog)
            dialog->hide();
        dialog->deleteLater();
    }
}

void MainWindow::editHorizonGauss(int k)
{
    // A pick can name horizon 1 while only the top surface exists.
    const int h = selected_horizon;
    if (h < 1 || h >= static_cast<int>(horizons.size()))
        return;
    if (refuseWhileRunning())
        return;

    horizon_brush::Brush brush;
    if (horizon_edit_params.size() >= 4)
        brush = {horizon_edit_params[0], horizon_edit_params[1], horizon_edit_params[2], horizon_edit_params[3]};
    const horizon_brush::Centre centre{selected_row, selected_column, clicked_x, clicked_y};
    const horizon_brush::Result result =
        horizon_brush::apply_brush(horizons, horizons_params, h, k, brush, centre, den_grid, z_calc);
    if (result.status == horizon_brush::Status::GridMismatch) {
        show_error(byLanguage(language, "Параметры разбиения горизонтов не соответствуют модели",
                              "Horizons and 3D grid have different parameters"));
        return;
    }
    // The stored per-layer effects belong to the old layer shapes.
    if (result.moved > 0)
        std::vector<field2D>().swap(layer_effects);
}
