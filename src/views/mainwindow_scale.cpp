// The vertical scale of the 3D view (the graph's aspect ratio, given in
// pixels or against the view's true spans) and the window limits that bound
// the 3D view and both maps, typed by the user or cleared by "Auto".
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "common/grid_helpers.h"
#include "views/scale_rules.h"
#include "views/scalexyzdialog.h"
#include "views/surf.h"
#include "views/view3d_rules.h"
#include "views/windowlimitsdialog.h"

#include <QAction>
#include <QtDataVisualization/Q3DSurface>

namespace {

// The deepest point of all horizons (0 without any).
double deepestHorizon(const std::vector<field2D>& horizons)
{
    bool any = false;
    double deepest = 0;
    for (const field2D& h : horizons)
        if (!h.empty() && !h.front().empty()) {
            const double m = grid_max(h);
            deepest = any ? std::max(deepest, m) : m;
            any = true;
        }
    return deepest;
}

// The view's bounds fitted to the shown data as "Auto" fits them: the shown
// cube's nodes, else the horizons (from depth 0 to the deepest point), each
// widened by the faults; `current` when there is nothing to fit to.
view3d::ViewBounds fittedBounds(const MainWindow& w, const view3d::ViewBounds& current)
{
    view3d::ViewBounds b = current;
    bool fitted = false;
    if (!w.den_grid.empty() && w.ui->view_dens->isChecked())
        fitted = scale::bounds_from_nodes(w.x_calc, w.y_calc, w.z_calc, b);
    else if (!w.Vp_grid.empty() && w.ui->view_Vp->isChecked())
        fitted = scale::bounds_from_nodes(w.x_vp, w.y_vp, w.z_vp, b);
    else if (!w.Vs_grid.empty() && w.ui->view_Vs->isChecked())
        fitted = scale::bounds_from_nodes(w.x_vs, w.y_vs, w.z_vs, b);
    else if (!w.horizons.empty())
        fitted = scale::bounds_from_horizons(w.horizons_params, deepestHorizon(w.horizons), b);
    // Faults stay inside the fitted view, as in every other redraw.
    if (fitted && !w.faults.empty())
        b = scale::widened(b, view3d::sticks_extent(w.faults.sticks));
    return b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Vertical scale

void MainWindow::on_actionZ_XY_triggered()
{
    if (!graph)
        return;  // no 3D view to scale
    auto* dialog = new ScaleXYZDialog(this);
    connect(dialog, SIGNAL(scaleSelected(int, double)), this, SLOT(setScale(int, double)));
    connect(dialog, SIGNAL(cancelClicked(double)), this, SLOT(setInitScale(double)));

    const double r = graph->aspectRatio();
    const scale::Spans spans = scale::view_spans(surf->bounds());
    int type = z_scale_type;
    double value = scale::value_for_ratio(type, r, spans);
    if (value == 0) {  // "Distance" without usable spans: the ratio in pixels
        type = scale::Pixels;
        value = scale::value_for_ratio(type, r, spans);
    }
    dialog->setValues(type, value);
    dialog->setInitialRatio(r);
    dialog->setSpans(spans.H, spans.V);
    dialog->setLanguage(language);
    dialog->show();
}

void MainWindow::setScale(int type, double scale)
{
    z_scale_type = type;
    if (!graph)
        return;
    const double ratio = scale::aspect_ratio(type, scale, scale::view_spans(surf->bounds()));
    if (ratio > 0)  // a zero ratio would draw nothing: keep the one the graph has
        graph->setAspectRatio(ratio);
}

void MainWindow::setInitScale(double scale)
{
    if (graph && scale > 0)
        graph->setAspectRatio(scale);
}

// ---------------------------------------------------------------------------
// Window limits

void MainWindow::on_view_limits_triggered()
{
    auto* dialog = new WindowLimitsDialog(this);
    dialog->setLanguage(language);
    if (window_limits.empty()) {
        // The bounds of the data as the view fits them (those the view shows
        // after any redraw), not what a view drawn earlier was left with.
        const view3d::ViewBounds b = fittedBounds(*this, surf->bounds());
        dialog->setValues({b.min_x, b.max_x, b.min_y, b.max_y, b.min_z, b.max_z});
    } else {
        dialog->setValues(window_limits);
    }
    connect(dialog, SIGNAL(sizeSelected(std::vector<double>&)), this, SLOT(setWindowSize(std::vector<double>&)));
    interaction()->runDialog(dialog);
    delete dialog;
}

void MainWindow::setWindowSize(std::vector<double>& sz)
{
    window_limits = sz;
    updateSurfaceSize();
    // The combined view is redrawn too, so that the limits reach its axes now.
    redraw3DView();
    // Whatever was (or was not) drawn, the axes show the limits.
    updateSurfaceSize();
    surf->updateAxesRanges();
    plotObserved();
    plotCalculated();
}

void MainWindow::on_auto_window_size_triggered()
{
    window_limits.clear();
    updateSurfaceSize();
    plotObserved();
    plotCalculated();

    // The cube's faces are drawn whole again; the axes take the fitted
    // bounds and every series is cut to them again (Surf), so what was cut
    // away by the limits is drawn again.
    if (shown_cube && (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked()))
        show3Dgrid();
    surf->setBounds(fittedBounds(*this, surf->bounds()));
    surf->updateAxesRanges();
}
