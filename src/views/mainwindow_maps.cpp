// The observed and calculated maps: what each shows, its colour range and
// label, the profile and fault overlays and the horizon-editing brush.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "views/field_maps.h"
#include "views/maps_core.h"

#include <QAction>
#include <algorithm>

namespace {

// The picture a map is asked to draw.
struct MapPicture
{
    const field2D* grid = nullptr;
    const std::vector<double>* geometry = nullptr;  // nx, ny, x first, x last, y first, y last
    maps::Range range;
    QString label;
};

void hideMap(QCustomPlot* plot, QCPColorScale* scale)
{
    plot->axisRect()->setVisible(false);
    if (scale)
        scale->setVisible(false);
    plot->replot(QCustomPlot::rpRefreshHint);
}

// Steps shared by both maps once there is something to draw: axes, colour
// map, colour scale, labels and overlays. The caller applies the aspect rule.
void drawMap(MainWindow& w, QCustomPlot* plot, QCPColorScale* scale, const MapPicture& picture)
{
    const field2D& grid = *picture.grid;
    const std::vector<double>& geometry = *picture.geometry;

    plot->axisRect()->setVisible(true);
    plot->setVisible(true);

    // Extent: the window limits when set, otherwise the grid's own nodes.
    const bool limited = w.window_limits.size() >= 4;
    const double xmin = limited ? w.window_limits[0] : geometry[2];
    const double xmax = limited ? w.window_limits[1] : geometry[3];
    const double ymin = limited ? w.window_limits[2] : geometry[4];
    const double ymax = limited ? w.window_limits[3] : geometry[5];

    showFullAxesBox(plot);
    plot->xAxis->setRange(xmin, xmax);
    plot->yAxis->setRange(ymin, ymax);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setNumberFormat(QStringLiteral("f"));
        axis->setNumberPrecision(0);
    }

    // The cells always sit on the grid's own nodes; the window limits only
    // choose what part of the plane the axes show.
    const int ny = static_cast<int>(grid.size());
    const int nx = static_cast<int>(grid_columns(grid));
    auto* map = new QCPColorMap(plot->xAxis, plot->yAxis);
    map->data()->setSize(nx, ny);
    map->data()->setRange(QCPRange(geometry[2], geometry[3]), QCPRange(geometry[4], geometry[5]));
    for (int i = 0; i < ny; ++i) {
        const std::vector<double>& row = grid[i];
        const int n = std::min(nx, static_cast<int>(row.size()));
        for (int j = 0; j < n; ++j)
            map->data()->setCell(j, i, row[j]);
    }

    // Attaching the map to the scale copies the scale's gradient and range
    // into the map, so the map's own ones are set afterwards.
    if (scale) {
        // The bar spans exactly the height of the axis rectangle.
        if (!scale->property("tolmera_aligned").toBool()) {
            auto* group = new QCPMarginGroup(plot);
            plot->axisRect()->setMarginGroup(QCP::msTop | QCP::msBottom, group);
            scale->setMarginGroup(QCP::msTop | QCP::msBottom, group);
            scale->setProperty("tolmera_aligned", true);
        }
        scale->setVisible(true);
        scale->setType(QCPAxis::atRight);
        map->setColorScale(scale);
        scale->axis()->setLabel(picture.label);
        scale->axis()->setRangeReversed(w.mapsScaleDirection != 0);
    }
    map->setGradient(w.maps_gradient);
    map->setDataRange(QCPRange(picture.range.lower, picture.range.upper));

    plot->xAxis->setLabel(maps::x_axis_label(w.language));
    plot->yAxis->setLabel(maps::y_axis_label(w.language));

    plot->rescaleAxes();

    if (w.ui->view_profiles->isChecked())
        plotProfilesOverlay(plot, w.profiles_scheme);
    if (w.ui->view_faults->isChecked())
        plotFaultsOverlay(plot, w.faults.sticks);

    plot->replot(QCustomPlot::rpRefreshHint);
}

bool hasGeometry(const std::vector<double>& params) { return params.size() >= 6; }

}  // namespace

// ---------------------------------------------------------------------------
// Overlays

void showFullAxesBox(QCustomPlot* plot)
{
    QCPAxisRect* rect = plot->axisRect();
    // The top and right axes follow the bottom and left ones; connect once.
    if (!rect->property("tolmera_full_box").toBool()) {
        rect->setupFullAxesBox(true);
        rect->setProperty("tolmera_full_box", true);
    }
    for (QCPAxis* axis : rect->axes())
        axis->setVisible(true);
    plot->xAxis2->setTickLabels(false);
    plot->yAxis2->setTickLabels(false);
}

QCPCurve* addPolylineCurve(QCustomPlot* plot, const std::vector<double>& line)
{
    const int points = static_cast<int>(line.size() / 2);
    if (points < 2)
        return nullptr;
    QVector<double> t(points), x(points), y(points);
    for (int k = 0; k < points; ++k) {
        t[k] = k;
        x[k] = line[2 * k];
        y[k] = line[2 * k + 1];
    }
    auto* curve = new QCPCurve(plot->xAxis, plot->yAxis);
    curve->setData(t, x, y);
    curve->setPen(QPen(QColor(0, 0, 0)));
    return curve;
}

void plotProfilesOverlay(QCustomPlot* plot, const std::vector<std::vector<double>>& scheme)
{
    for (const std::vector<double>& line : scheme)
        addPolylineCurve(plot, line);
}

void plotFaultsOverlay(QCustomPlot* plot, const std::vector<std::vector<std::vector<QVector3D>>>& sticks)
{
    for (const auto& fault : sticks) {
        QVector<double> t, x, y;
        for (const auto& stick : fault) {
            if (stick.empty())
                continue;  // a stick without points has no trace
            t.append(t.size());
            x.append(stick.front().x());
            y.append(stick.front().y());
        }
        if (t.isEmpty())
            continue;
        auto* curve = new QCPCurve(plot->xAxis, plot->yAxis);
        curve->setData(t, x, y);
        curve->setPen(QPen(QColor(128, 0, 128)));
    }
}

// ---------------------------------------------------------------------------
// The two maps

void MainWindow::plotObserved()
{
    QCustomPlot* plot = ui->observed_axes;
    plot->clearPlottables();
    if (grid_columns(Vz_observed) == 0 || !hasGeometry(observed_params)) {
        hideMap(plot, observed_scale);
        return;
    }

    MapPicture picture;
    picture.grid = &Vz_observed;
    picture.geometry = &observed_params;
    picture.range = observed_caxis.size() >= 2 ? maps::Range{observed_caxis[0], observed_caxis[1]}
                                               : maps::data_range(Vz_observed);
    picture.range = maps::widen_flat_range(picture.range);
    picture.label = maps::observed_label(language);
    drawMap(*this, plot, observed_scale, picture);
    updateObservedRatio();
}

void MainWindow::plotCalculated()
{
    QCustomPlot* plot = ui->calculated_axes;
    plot->clearItems();

    // A layer map whose layer is gone (horizons deleted or cleared) falls
    // back to the calculated field.
    if (maps::is_layer_kind(visible_data.first) &&
        (visible_data.second < 0 || visible_data.second >= static_cast<int>(horizons.size())))
        visible_data = {maps::FieldKind, maps::CalculatedField};

    const int kind = visible_data.first;
    const int n = visible_data.second;
    field2D shown;
    const std::vector<double>* geometry = &calculated_params;
    QString name;

    if (kind == maps::FieldKind) {
        if (n == maps::CalculatedField)
            shown = maps::shifted_to_observed_mean(Vz_calculated, Vz_observed);
        else if (n == maps::ResidualField)
            shown = maps::residual_field(Vz_observed, Vz_calculated);
    } else if (maps::is_layer_kind(kind)) {
        geometry = &horizons_params;
        if (n < static_cast<int>(layers_names.size()))
            name = layers_names[n];
        switch (kind) {
        case maps::LayerTopDensity:
            extract_horizons_lateral_densities();
            if (n < static_cast<int>(lateral_densities.size()))
                shown = lateral_densities[n];
            break;
        case maps::LayerCentralDensity:
            shown = extract_layer_central_density(n);
            break;
        case maps::LayerMeanDensity:
            // Without a density grid there is nothing to average (and no
            // reason to complain on every redraw).
            if (!den_grid.empty())
                shown = getVerticalAvgDensity(n);
            break;
        case maps::TopDepth:
            shown = horizons[n];
            break;
        case maps::Thickness:
            shown = maps::layer_thickness(
                horizons, n, maps::last_layer_bottom(horizons[n], z_calc, !den_grid.empty()));
            break;
        }
    }

    if (grid_columns(shown) == 0 || !hasGeometry(*geometry)) {
        plot->clearPlottables();
        hideMap(plot, calculated_scale);
        calc_rms();
        return;
    }
    plot->clearPlottables();
    calculated_map_params = *geometry;

    MapPicture picture;
    picture.grid = &shown;
    picture.geometry = &calculated_map_params;
    const bool field = kind == maps::FieldKind && n == maps::CalculatedField;
    if (field && calc_caxis_from_obs && grid_columns(Vz_observed) > 0)
        picture.range = observed_caxis.size() >= 2 ? maps::Range{observed_caxis[0], observed_caxis[1]}
                                                   : maps::data_range(Vz_observed);
    else if (field && calc_caxis.size() >= 2)
        picture.range = maps::Range{calc_caxis[0], calc_caxis[1]};
    else
        picture.range = maps::data_range(shown);
    picture.range = maps::widen_flat_range(picture.range);
    picture.label = maps::calculated_label(kind, n, name, language);
    drawMap(*this, plot, calculated_scale, picture);
    updateCalculatedRatio();
    calc_rms();
}

// ---------------------------------------------------------------------------
// The horizon-editing brush

void MainWindow::plotEllipse()
{
    if (!ui->edit_horizons->isChecked() || selected_row < 0 || selected_column < 0)
        return;
    if (horizons.empty() || grid_columns(horizons.front()) == 0 || horizons_params.size() < 6)
        return;
    const std::size_t ncols = grid_columns(horizons.front());
    const std::size_t nrows = grid_rows(horizons.front());
    clicked_x = maps::node_position(selected_column, horizons_params[2], horizons_params[3], ncols);
    clicked_y = maps::node_position(selected_row, horizons_params[4], horizons_params[5], nrows);
    const double rx = horizon_edit_params.size() > 0 ? horizon_edit_params[0] : 0;
    const double ry = horizon_edit_params.size() > 1 ? horizon_edit_params[1] : 0;

    auto brush = [&](QCustomPlot* plot) {
        plot->clearItems();
        const QPen red(QColor(255, 0, 0));
        auto* ellipse = new QCPItemEllipse(plot);
        ellipse->topLeft->setCoords(clicked_x - rx, clicked_y - ry);
        ellipse->bottomRight->setCoords(clicked_x + rx, clicked_y + ry);
        ellipse->setPen(red);
        ellipse->setBrush(Qt::NoBrush);
        auto* across = new QCPItemLine(plot);
        across->start->setCoords(clicked_x - rx, clicked_y);
        across->end->setCoords(clicked_x + rx, clicked_y);
        across->setPen(red);
        auto* along = new QCPItemLine(plot);
        along->start->setCoords(clicked_x, clicked_y - ry);
        along->end->setCoords(clicked_x, clicked_y + ry);
        along->setPen(red);
    };
    if (grid_columns(Vz_calculated) > 0)
        brush(ui->calculated_axes);
    if (grid_columns(Vz_observed) > 0)
        brush(ui->observed_axes);
    ui->calculated_axes->replot(QCustomPlot::rpRefreshHint);
    ui->observed_axes->replot(QCustomPlot::rpRefreshHint);
}
