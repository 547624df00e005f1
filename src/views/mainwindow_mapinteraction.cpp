// What the user does with the two maps: the calculated map's menu, keeping
// the two maps' ranges in step, the equal-scale rule, picking a horizon node
// on a map or in the 3D view, the arrow keys of horizon editing, Esc, and
// the small view toggles of the maps.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "common/grid_geometry.h"
#include "views/abort_key_filter.h"
#include "views/maps_core.h"
#include "views/surf.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QWheelEvent>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>

namespace {

void rescaleToPlottables(QCustomPlot* plot)
{
    plot->xAxis->rescale();
    plot->yAxis->rescale();
}

// The equal-scale rule and the usual extents of one map; `extent` is the
// geometry record of what the map shows.
void applyRatio(MainWindow& w, QCustomPlot* plot, const std::vector<double>& extent)
{
    if (w.ui->maps_equal_xy->isChecked()) {
        // New ranges can change the tick labels and with them the size of
        // the axis rectangle: repeat until the rectangle stays put.
        for (int pass = 0; pass < 4; ++pass) {
            const QRect rect = plot->axisRect()->rect();
            maps::Range x{extent[2], extent[3]};
            maps::Range y{extent[4], extent[5]};
            plot->xAxis->setRange(x.lower, x.upper);
            plot->yAxis->setRange(y.lower, y.upper);
            maps::equal_scale(x, y, rect.width(), rect.height());
            plot->xAxis->setRange(x.lower, x.upper);
            plot->yAxis->setRange(y.lower, y.upper);
            plot->replot(QCustomPlot::rpRefreshHint);
            if (plot->axisRect()->rect() == rect)
                break;
        }
    } else {
        rescaleToPlottables(plot);
        if (w.window_limits.size() >= 4) {
            plot->xAxis->setRange(w.window_limits[0], w.window_limits[1]);
            plot->yAxis->setRange(w.window_limits[2], w.window_limits[3]);
        } else {
            plot->xAxis->setRange(extent[2], extent[3]);
            plot->yAxis->setRange(extent[4], extent[5]);
        }
    }
    plot->replot(QCustomPlot::rpRefreshHint);
}

// Copies a range to an axis of the other map unless this change is itself
// such a copy, so that a change travels once and never bounces back.
void copyRange(MainWindow& w, QCPAxis* target, const QCPRange& range)
{
    if (w.syncing_map_ranges)
        return;
    w.syncing_map_ranges = true;
    target->setRange(range);
    target->parentPlot()->replot(QCustomPlot::rpRefreshHint);
    w.syncing_map_ranges = false;
}

}  // namespace

// ---------------------------------------------------------------------------
// What the calculated map shows

void MainWindow::on_calculated_axes_customContextMenuRequested(QPoint pos)
{
    // Gone once it has closed, whether an item was chosen or not (a chosen
    // item's slots run before the deferred deletion).
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);

    QAction* calc = menu->addAction(maps::calculated_item_text(language));
    if (visible_data == std::make_pair(int(maps::FieldKind), int(maps::CalculatedField))) {
        calc->setCheckable(true);
        calc->setChecked(true);
    }
    QAction* residual = menu->addAction(maps::residual_item_text(language));
    if (visible_data == std::make_pair(int(maps::FieldKind), int(maps::ResidualField))) {
        residual->setCheckable(true);
        residual->setChecked(true);
    }

    if (!horizons.empty()) {
        for (const maps::LayerMenu& entry : maps::layer_menus()) {
            QMenu* sub = menu->addMenu(maps::layer_menu_title(entry, language));
            for (int i = 0; i < static_cast<int>(horizons.size()); ++i) {
                QAction* item = sub->addAction(maps::layer_item_text(layers_names, i));
                if (visible_data == std::make_pair(entry.kind, i)) {
                    item->setCheckable(true);
                    item->setChecked(true);
                    sub->menuAction()->setCheckable(true);
                    sub->menuAction()->setChecked(true);
                }
            }
        }
    }

    // The colour range of the calculated field (not of the other kinds).
    if (visible_data == std::make_pair(int(maps::FieldKind), int(maps::CalculatedField))) {
        const bool english = language != 0;
        QMenu* scale = menu->addMenu(english ? QStringLiteral("Color scale") : QStringLiteral("Цветовая шкала"));
        QAction* asObserved = nullptr;
        if (grid_columns(Vz_observed) > 0)
            asObserved = scale->addAction(english ? QStringLiteral("As observed") : QStringLiteral("По наблюденному полю"),
                                          this, &MainWindow::fitCalcToObsCaxis);
        QAction* automatic = scale->addAction(english ? QStringLiteral("Auto") : QStringLiteral("Автоматически"), this,
                                              &MainWindow::autoCalcCaxis);
        QAction* manual = scale->addAction(english ? QStringLiteral("Manual") : QStringLiteral("Вручную"), this,
                                           &MainWindow::manualCalcCaxis);
        QAction* current = asObserved && calc_caxis_from_obs ? asObserved : calc_caxis.empty() ? automatic : manual;
        current->setCheckable(true);
        current->setChecked(true);
    }

    connect(menu, &QMenu::triggered, this, &MainWindow::change_visible_data, Qt::DirectConnection);
    menu->popup(ui->calculated_axes->mapToGlobal(pos));
}

void MainWindow::change_visible_data(QAction* action)
{
    const QString text = action->text();
    if (text == maps::calculated_item_text(1) || text == maps::calculated_item_text(0)) {
        visible_data = {maps::FieldKind, maps::CalculatedField};
    } else if (text == maps::residual_item_text(1) || text == maps::residual_item_text(0)) {
        visible_data = {maps::FieldKind, maps::ResidualField};
    } else {
        // A layer item: its menu's title names the kind, its text the layer.
        QMenu* holder = nullptr;
        for (QWidget* w : action->associatedWidgets())
            if ((holder = qobject_cast<QMenu*>(w)))
                break;
        const int kind = holder ? maps::layer_menu_kind(holder->title()) : 0;
        if (kind != 0) {
            const int layer = maps::find_layer_by_text(layers_names, text);
            if (layer >= 0)
                visible_data = {kind, layer};
        }
    }
    plotCalculated();
}

// ---------------------------------------------------------------------------
// Keeping the two maps in step

void MainWindow::observedXchanged(QCPRange range) { copyRange(*this, ui->calculated_axes->xAxis, range); }
void MainWindow::observedYchanged(QCPRange range) { copyRange(*this, ui->calculated_axes->yAxis, range); }
void MainWindow::calculatedXchanged(QCPRange range) { copyRange(*this, ui->observed_axes->xAxis, range); }
void MainWindow::calculatedYchanged(QCPRange range) { copyRange(*this, ui->observed_axes->yAxis, range); }

void MainWindow::updateObservedRatio()
{
    if (grid_columns(Vz_observed) == 0 || observed_params.size() < 6 ||
        !ui->observed_axes->axisRect()->visible())
        return;
    applyRatio(*this, ui->observed_axes, observed_params);
}

void MainWindow::updateCalculatedRatio()
{
    // Without a calculated field a layer map keeps the ranges of its drawing.
    if (grid_columns(Vz_calculated) == 0 || calculated_map_params.size() < 6 ||
        !ui->calculated_axes->axisRect()->visible())
        return;
    applyRatio(*this, ui->calculated_axes, calculated_map_params);
}

void MainWindow::updateFieldsRatio()
{
    if (grid_columns(Vz_observed) > 0) {
        rescaleToPlottables(ui->observed_axes);
        updateObservedRatio();
    }
    if (grid_columns(Vz_calculated) > 0) {
        rescaleToPlottables(ui->calculated_axes);
        updateCalculatedRatio();
    }
}

void MainWindow::on_maps_equal_xy_triggered() { updateFieldsRatio(); }

// Not connected: copy one map's ranges to the other after a wheel turn.
void MainWindow::observedMouseWheel(QWheelEvent*)
{
    ui->calculated_axes->xAxis->setRange(ui->observed_axes->xAxis->range());
    ui->calculated_axes->yAxis->setRange(ui->observed_axes->yAxis->range());
    ui->calculated_axes->replot();
}

void MainWindow::calculatedMouseWheel(QWheelEvent*)
{
    ui->observed_axes->xAxis->setRange(ui->calculated_axes->xAxis->range());
    ui->observed_axes->yAxis->setRange(ui->calculated_axes->yAxis->range());
    ui->observed_axes->replot();
}

// ---------------------------------------------------------------------------
// Picking a horizon node

namespace {

// Selects (row, column) of horizon h in the 3D view, when the view shows the
// horizons, the horizon's series exists and the node lies on its grid.
void selectInView(MainWindow& w, int h)
{
    if (!w.ui->view_horizons->isChecked() && !w.ui->view_cube_horizons->isChecked())
        return;
    if (w.horizons.empty() || w.selected_row < 0 || w.selected_column < 0 ||
        w.selected_row >= static_cast<int>(grid_rows(w.horizons.front())) ||
        w.selected_column >= static_cast<int>(grid_columns(w.horizons.front())))
        return;
    const int s = maps::horizon_series_index(h, w.ui->show_top->isChecked(), w.ui->view_cube_horizons->isChecked());
    if (s < 0 || s >= w.surf->surfaces.size())
        return;
    w.surf->selectPoint(s, QPoint(w.selected_row, w.selected_column));
}

void pickOnMap(MainWindow& w, QCustomPlot* plot, QMouseEvent* event)
{
    const double x = plot->xAxis->pixelToCoord(event->pos().x());
    const double y = plot->yAxis->pixelToCoord(event->pos().y());
    if (!w.ui->edit_horizons->isChecked())
        return;
    if (w.horizons.empty() || grid_columns(w.horizons.front()) == 0 || w.horizons_params.size() < 6)
        return;
    w.getSelectedInfo();
    w.clicked_x = x;
    w.clicked_y = y;
    const std::vector<double>& p = w.horizons_params;
    w.selected_column = maps::node_index(x, p[2], p[3], grid_columns(w.horizons.front()));
    w.selected_row = maps::node_index(y, p[4], p[5], grid_rows(w.horizons.front()));
    if (w.selected_horizon < 1 || w.selected_horizon >= static_cast<int>(w.horizons.size()))
        w.selected_horizon = 1;
    w.plotEllipse();
    selectInView(w, w.selected_horizon);
}

}  // namespace

void MainWindow::observedClicked(QMouseEvent* event) { pickOnMap(*this, ui->observed_axes, event); }
void MainWindow::calculatedClicked(QMouseEvent* event) { pickOnMap(*this, ui->calculated_axes, event); }

void MainWindow::getSelectedInfo()
{
    const int series = surf->selectedHorizon();
    selected_horizon = series < 0 ? -1
                                  : maps::series_horizon_index(series, ui->show_top->isChecked(),
                                                               ui->view_cube_horizons->isChecked());
    if (selected_horizon < 1)
        return;
    const QPoint point = surf->selectedPoint();
    selected_row = point.x();
    selected_column = point.y();
    if (horizons.empty() || grid_columns(horizons.front()) == 0 || horizons_params.size() < 6)
        return;
    clicked_x = maps::node_position(selected_column, horizons_params[2], horizons_params[3],
                                    grid_columns(horizons.front()));
    clicked_y = maps::node_position(selected_row, horizons_params[4], horizons_params[5],
                                    grid_rows(horizons.front()));
}

void MainWindow::selectedPoint(QPoint position)
{
    selected_row = position.x();
    selected_column = position.y();
    plotEllipse();
}

void MainWindow::selectedSeriesChanged(QtDataVisualization::QSurface3DSeries*) {}

void MainWindow::setEditingParams(double Rx, double Ry, double W, double A)
{
    horizon_edit_params = {Rx, Ry, W, A};
    plotEllipse();
}

// ---------------------------------------------------------------------------
// Keys

bool MainWindow::askToAbort()
{
    if (interaction()->question(QStringLiteral("Tolmera3D"), QStringLiteral("Do you want to abort a process?"),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, this)
        != QMessageBox::Yes)
        return false;
    abort_requested = true;
    return true;
}

void MainWindow::listenForAbortKey(bool on)
{
    if (on) {
        if (!abort_key_filter)
            abort_key_filter = new AbortKeyFilter(this);
        qApp->installEventFilter(abort_key_filter);  // once, however often asked
    } else if (abort_key_filter) {
        qApp->removeEventFilter(abort_key_filter);
    }
}

void MainWindow::keyPressSlot(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // While the key filter listens it has taken Esc before it came here.
        if (abort_enabled && !askToAbort())
            event->ignore();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (!ui->edit_horizons->isChecked() ||
            (!ui->view_horizons->isChecked() && !ui->view_cube_horizons->isChecked()))
            return;
        getSelectedInfo();
        if (selected_horizon < 1 || selected_horizon >= static_cast<int>(horizons.size()))
            return;
        if (selected_row < 0 || selected_row >= static_cast<int>(grid_rows(horizons.front())) ||
            selected_column < 0 || selected_column >= static_cast<int>(grid_columns(horizons.front())))
            return;
        editHorizonGauss(event->key() == Qt::Key_Up ? -1 : +1);
        if (ui->view_horizons->isChecked())
            showHorizons();
        else
            show3Dgrid();
        // The redraw replaced the series: select the node again.
        selectInView(*this, selected_horizon);
        return;
    }
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// View toggles

void MainWindow::on_show_mapsAxes_triggered()
{
    const bool show = ui->show_mapsAxes->isChecked();
    for (QCustomPlot* plot : {ui->observed_axes, ui->calculated_axes}) {
        if (show && !plot->axisRect()->visible())
            continue;
        for (QCPAxis* axis : plot->axisRect()->axes())
            axis->setVisible(show);
    }
    ui->observed_axes->replot(QCustomPlot::rpRefreshHint);
    ui->calculated_axes->replot(QCustomPlot::rpRefreshHint);
}

void MainWindow::on_showDock_triggered() { ui->dockWidget->setVisible(true); }
void MainWindow::showProjectTree() { ui->dockWidget->setVisible(true); }
