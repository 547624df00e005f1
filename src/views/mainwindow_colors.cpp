// Colour ranges of the 3D view and the two maps: automatic (the member empty)
// or manual (a {min, max} typed into CaxisDialog), the calculated map's
// "As observed" mode, and the context menus that switch them.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_helpers.h"
#include "common/text_numbers.h"
#include "views/caxisdialog.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>

#include <cmath>

namespace {

bool usable_caxis(const std::vector<double>& c)
{
    return c.size() >= 2 && std::isfinite(c[0]) && std::isfinite(c[1]) && c[0] < c[1];
}

bool has_cells(const field2D& g)
{
    return !g.empty() && !g.front().empty();
}

// A context menu that deletes itself once it has closed and its action ran.
QMenu* newContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    return menu;
}

// Runs the range dialog filled with `shown` (nothing when it holds fewer than
// two values), with its result going to `slot` of the window.
void runCaxisDialog(MainWindow* w, const std::vector<double>& shown, const char* slot)
{
    CaxisDialog dialog;
    dialog.setValues(shown);
    QObject::connect(&dialog, SIGNAL(set_caxis(std::vector<double>)), w, slot);
    dialog.exec();
}

}  // namespace

// ---------------------------------------------------------------------------
// 3D view

void MainWindow::setModelCaxis(std::vector<double> caxis)
{
    if (!usable_caxis(caxis))
        return;
    model_caxis = {caxis[0], caxis[1]};
    // The colour bar shows densities for the density cube and for horizons
    // coloured by density; a range typed for another cube is not a density range.
    model_caxis_density = ui->view_horizons->isChecked() ? ui->color_by_density->isChecked()
                                                         : shown_cube == &den_grid;
    redraw3DView();
}

void MainWindow::autoModelCaxis()
{
    model_caxis.clear();
    model_caxis_density = false;
    redraw3DView();
}

void MainWindow::manualModelCaxis()
{
    std::vector<double> shown = model_caxis;
    if (shown.empty() && shown_cube && !shown_cube->empty() && !shown_cube->front().empty() &&
        !shown_cube->front().front().empty())
        // The cells are single precision: shown with the digits they have.
        shown = {text_numbers::decimal_value(grid_min(*shown_cube)), text_numbers::decimal_value(grid_max(*shown_cube))};
    runCaxisDialog(this, shown, SLOT(setModelCaxis(std::vector<double>)));
}

void MainWindow::colorbarClicked(QMouseEvent* event)
{
    if (!event || event->button() != Qt::RightButton)
        return;
    QMenu* menu = newContextMenu(this);
    QAction* autoItem = menu->addAction(byLanguage(language, "Автоматически", "Auto"), this, &MainWindow::autoModelCaxis);
    QAction* manualItem = menu->addAction(byLanguage(language, "Вручную", "Manual"), this, &MainWindow::manualModelCaxis);
    QAction* current = model_caxis.empty() ? autoItem : manualItem;
    current->setCheckable(true);
    current->setChecked(true);
    menu->popup(ui->model_colorscale->mapToGlobal(event->pos()));
}

// ---------------------------------------------------------------------------
// Observed map

void MainWindow::setObservedCaxis(std::vector<double> caxis)
{
    if (!usable_caxis(caxis))
        return;
    observed_caxis = {caxis[0], caxis[1]};
    plotObserved();
    if (calc_caxis_from_obs)
        plotCalculated();
}

void MainWindow::autoObservedCaxis()
{
    observed_caxis.clear();
    plotObserved();
    if (calc_caxis_from_obs)
        plotCalculated();
}

void MainWindow::manualObservedCaxis()
{
    std::vector<double> shown = observed_caxis;
    if (shown.empty() && has_cells(Vz_observed))
        shown = {grid_min(Vz_observed), grid_max(Vz_observed)};
    runCaxisDialog(this, shown, SLOT(setObservedCaxis(std::vector<double>)));
}

void MainWindow::on_observed_axes_customContextMenuRequested(QPoint pos)
{
    QMenu* menu = newContextMenu(this);
    QMenu* scale = menu->addMenu(byLanguage(language, "Цветовая шкала", "Color scale"));
    QAction* autoItem = scale->addAction(byLanguage(language, "Автоматически", "Auto"), this, &MainWindow::autoObservedCaxis);
    QAction* manualItem =
        scale->addAction(byLanguage(language, "Вручную", "Manual"), this, &MainWindow::manualObservedCaxis);
    QAction* current = observed_caxis.empty() ? autoItem : manualItem;
    current->setCheckable(true);
    current->setChecked(true);
    menu->popup(ui->observed_axes->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------
// Calculated map

void MainWindow::setCalcCaxis(std::vector<double> caxis)
{
    if (!usable_caxis(caxis))
        return;
    calc_caxis = {caxis[0], caxis[1]};
    calc_caxis_from_obs = false;
    plotCalculated();
}

void MainWindow::autoCalcCaxis()
{
    calc_caxis.clear();
    calc_caxis_from_obs = false;
    plotCalculated();
}

void MainWindow::fitCalcToObsCaxis()
{
    calc_caxis_from_obs = true;
    plotCalculated();
}

void MainWindow::manualCalcCaxis()
{
    std::vector<double> shown = calc_caxis;
    if (shown.empty() && has_cells(Vz_calculated)) {
        if (has_cells(Vz_observed)) {
            // The calculated field as the calculated map draws it.
            field2D shifted = Vz_calculated;
            grid_add_scalar(shifted, grid_mean(Vz_observed) - grid_mean(Vz_calculated));
            shown = {grid_min(shifted), grid_max(shifted)};
        } else {
            shown = {grid_min(Vz_calculated), grid_max(Vz_calculated)};
        }
    }
    runCaxisDialog(this, shown, SLOT(setCalcCaxis(std::vector<double>)));
}

void MainWindow::calculatedColorbarClicked(QMouseEvent*) {}
