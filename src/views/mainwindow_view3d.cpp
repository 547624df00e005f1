// The 3D view of the main window: the shown cube as six textured faces at the
// crop positions, the horizons coloured by depth or by density, the faults,
// the view bounds and axis titles, the 3D colour bar, and the View commands
// that choose what is shown.
//
// The view state lives only in the checked states of the View actions; every
// redraw reads them.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "views/surf.h"
#include "views/view3d_rules.h"

#include <QAction>
#include <QLabel>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QValue3DAxis>

#include <algorithm>
#include <cmath>

namespace {

// Node vectors that do not fit their cube are replaced by the cell indexes,
// so that a faulty geometry still draws instead of reading out of range.
void fit_nodes(std::vector<double>& v, std::size_t n)
{
    if (v.size() == n)
        return;
    v.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = double(i);
}

// Smallest and largest value of a grid, NaNs skipped; (0, 0) when it holds none.
std::pair<double, double> value_range(const field2D& g)
{
    view3d::ValueRange r;
    for (const auto& row : g)
        for (double v : row)
            r.take(v);
    return {r.lo, r.hi};
}

// Over the grids that have cells; one holding only NaNs counts as (0, 0).
std::pair<double, double> value_range(const std::vector<field2D>& grids)
{
    view3d::ValueRange r;
    for (const auto& g : grids) {
        if (g.empty() || g.front().empty())
            continue;
        const auto one = value_range(g);
        r.take(one.first);
        r.take(one.second);
    }
    return {r.lo, r.hi};
}

bool cube_loaded(const vector3D& c)
{
    return !c.empty() && !c.front().empty() && !c.front().front().empty();
}

}  // namespace

// ---------------------------------------------------------------------------
// The 3D colour bar

// A fresh colour map on the bar's plot, attached to the colour scale first (the
// attachment copies the scale's gradient and range into the map) and then given
// the cube gradient and the range, which the scale follows.
static void showModelColorBar(MainWindow& w, const QString& title, std::pair<double, double> range)
{
    QCustomPlot* plot = w.ui->model_colorscale;
    if (w.model_scale) {
        plot->clearPlottables();
        auto* map = new QCPColorMap(plot->xAxis, plot->yAxis);
        map->setColorScale(w.model_scale);
        map->setVisible(true);
        w.model_scale->setVisible(true);
        w.model_scale->setType(QCPAxis::atRight);
        map->setGradient(w.cube_gradient);
        const auto r = view3d::usable_range(range.first, range.second);
        map->setDataRange(QCPRange(r.first, r.second));
    }
    w.ui->scale_label->setVisible(true);
    w.ui->scale_label->setText(title);
    plot->replot();
}

// ---------------------------------------------------------------------------
// Drawing

void MainWindow::show3Dgrid()
{
    surf->clearSurfaces();

    vector3D* cube = nullptr;
    const std::vector<double>* nodes[3] = {nullptr, nullptr, nullptr};
    QString title;
    bool regularizer_shown = false;
    if (ui->view_dens->isChecked() && !den_grid.empty()) {
        cube = &den_grid;
        nodes[0] = &x_norm, nodes[1] = &y_norm, nodes[2] = &z_norm;
        title = byLanguage(language, "<html>σ, г/см<sup>3</sup> </html>", "<html>σ, g/cm<sup>3</sup> </html>");
    } else if (ui->view_Vp->isChecked() && !Vp_grid.empty()) {
        cube = &Vp_grid;
        nodes[0] = &x_vp, nodes[1] = &y_vp, nodes[2] = &z_vp;
        title = byLanguage(language, "<html>Vp, м/с </html>", "<html>Vp, m/s </html>");
    } else if (ui->view_Vs->isChecked() && !Vs_grid.empty()) {
        cube = &Vs_grid;
        nodes[0] = &x_vs, nodes[1] = &y_vs, nodes[2] = &z_vs;
        title = byLanguage(language, "<html>Vs, м/с </html>", "<html>Vs, m/s </html>");
    } else if (ui->view_reg->isChecked() && !regularizer.empty()) {
        cube = &regularizer;
        nodes[0] = &x_reg, nodes[1] = &y_reg, nodes[2] = &z_reg;
        title = QStringLiteral("R         ");
        regularizer_shown = true;
    }
    shown_cube = cube;
    if (!cube)
        return;
    shown_x = *nodes[0];
    shown_y = *nodes[1];
    shown_z = *nodes[2];
    if (!cube_loaded(*cube))
        return;  // a cube without cells: nothing to draw

    const int nz = int(cube->size());
    const int ny = int(cube->front().size());
    const int nx = int(cube->front().front().size());
    fit_nodes(shown_x, std::size_t(nx));
    fit_nodes(shown_y, std::size_t(ny));
    fit_nodes(shown_z, std::size_t(nz));
    // The faces at the crop indexes, all cut to the window limits.
    const view3d::CubeCut cut =
        view3d::cut_cube(shown_x, shown_y, shown_z, view3d::fix_crop_borders(crop_borders, nx, ny, nz), window_limits);
    const view3d::CropBorders& at = cut.at;

    const bool absolute = regularizer_shown && ui->view_abs_reg->isChecked();
    const view3d::CubeFaces faces = view3d::cut_cube_faces(*cube, cut, absolute);
    const std::vector<double> xs = view3d::run_nodes(shown_x, cut.runs[0]);
    const std::vector<double> ys = view3d::run_nodes(shown_y, cut.runs[1]);
    const std::vector<double> zs = view3d::run_nodes(shown_z, cut.runs[2]);

    if (progress_label)
        progress_label->setText(QString("(Nx, Ny, Nz) = (%1, %2, %3)").arg(nx).arg(ny).arg(nz));

    const auto range =
        view3d::cube_texture_range(regularizer_shown, ui->view_abs_reg->isChecked(), model_caxis, *cube);
    surf->texture_min = range.first;
    surf->texture_max = range.second;

    updateSurfaceSize();

    // left, right, front, back, top, bottom. Limits with no node inside on
    // some axis leave every face empty: the six stay in their places, off the
    // graph.
    surf->addZFace(xs, ys, shown_z[std::size_t(at[5])], faces.bottom);
    surf->addZFace(xs, ys, shown_z[std::size_t(at[4])], faces.top);
    surf->addXFace(shown_x[std::size_t(at[0])], ys, zs, faces.left);
    surf->addXFace(shown_x[std::size_t(at[1])], ys, zs, faces.right);
    surf->addYFace(xs, shown_y[std::size_t(at[3])], zs, faces.back);
    surf->addYFace(xs, shown_y[std::size_t(at[2])], zs, faces.front);
    if (window_limits.size() >= 6)
        updateSurfaceSize();  // the faces widened the bounds past the limits
    surf->updateAxesRanges();

    if (model_scale)
        model_scale->axis()->setRangeReversed(modelScaleDirection != 0);
    showModelColorBar(*this, title, range);

    updateAxesTitles();

    if (ui->view_cube_horizons->isChecked() && !horizons.empty()) {
        horizons_over_cube = true;
        showHorizons();
        horizons_over_cube = false;
    }
}

void MainWindow::showHorizons()
{
    if (!horizons_over_cube)
        surf->clearSurfaces();
    if (horizons.empty() || horizons_params.size() < 6 || !horizons_are_regular(horizons))
        return;

    const std::size_t nx = horizons.front().front().size();
    const std::size_t ny = horizons.front().size();
    const std::vector<double> x = even_nodes(horizons_params[2], horizons_params[3], int(nx));
    const std::vector<double> y = even_nodes(horizons_params[4], horizons_params[5], int(ny));

    // Density colouring needs the layer maps of the current grid; when the
    // horizons do not sit on the grid there are none, and the horizons are
    // coloured by depth instead.
    bool by_density = false;
    if (ui->color_by_density->isChecked() && !den_grid.empty()) {
        extract_horizons_lateral_densities();
        by_density = horizons_match_grid(horizons, den_grid) && z_calc.size() == den_grid.size() &&
                     lateral_densities.size() >= horizons.size();
    }
    auto density_map = [&](std::size_t h) -> const field2D* {
        if (!by_density || h >= lateral_densities.size() || !grid_has_shape(lateral_densities[h], ny, nx))
            return nullptr;
        return &lateral_densities[h];
    };

    const bool common = ui->common_coloring_level->isChecked();
    std::pair<double, double> common_range{0.0, 0.0};
    if (common) {
        if (by_density) {
            if (model_caxis.size() >= 2)
                common_range = {model_caxis[0], model_caxis[1]};
            else if (cube_loaded(den_grid))
                common_range = {double(grid_min(den_grid)), double(grid_max(den_grid))};
        } else {
            common_range = value_range(horizons);
        }
    }

    // The view's bounds before the horizons are added, so that each is shaded
    // by its relief as the view will show it (they are set again below, after
    // the horizons have widened them).
    updateSurfaceSize();

    const double depth_divisor = norm_factors.divisor[2] != 0 ? norm_factors.divisor[2] : 1.0;
    const std::size_t first = ui->show_top->isChecked() ? 0 : 1;
    for (std::size_t h = first; h < horizons.size(); ++h) {
        const field2D* dens = density_map(h);
        std::pair<double, double> range = common_range;
        if (!common)
            range = dens ? value_range(*dens) : value_range(horizons[h]);
        if (dens) {
            surf->addHorizon(x, y, horizons[h], *dens, range.first, range.second, 0);
        } else {
            surf->addHorizon(x, y, horizons[h], horizons[h], range.first / depth_divisor,
                             range.second / depth_divisor, 0);
        }
    }

    updateSurfaceSize();
    surf->updateAxesRanges();

    if (!ui->view_cube_horizons->isChecked()) {
        if (common) {
            const QString title = by_density ? QString::fromUtf8("<html> σ, g/cm<sup>3</sup> </html>")
                                             : QStringLiteral("<html> h, m</html>");
            showModelColorBar(*this, title, common_range);
        } else {
            if (model_scale)
                model_scale->setVisible(false);
            ui->model_colorscale->replot();
            ui->scale_label->setText(QString());
        }
    }

    updateAxesTitles();
}

void MainWindow::updateSurfaceSize()
{
    view3d::SurfaceSizeInput in;
    in.window_limits = window_limits;
    if (!den_grid.empty()) {
        in.x = &x_norm;
        in.y = &y_norm;
        in.z = &z_norm;
    } else if (!horizons.empty() && horizons_params.size() >= 6) {
        in.horizons_params = horizons_params;
        in.horizons_deepest = value_range(horizons).second;
    }
    if (!faults.empty())
        in.faults = view3d::sticks_extent(faults.sticks);

    surf->setBounds(view3d::surface_bounds(surf->bounds(), in));
    surf->limited = window_limits.size() >= 6;
}

void MainWindow::updateAxesTitles()
{
    if (!graph)
        return;
    auto title = [](const char* axis, int exponent) {
        return exponent != 0 ? QString("%1, E%2 m").arg(axis).arg(exponent) : QString("%1, m").arg(axis);
    };
    graph->axisX()->setTitle(title("X", norm_factors.exponent[0]));
    graph->axisZ()->setTitle(title("Y", norm_factors.exponent[1]));
    graph->axisY()->setTitle(title("Z", norm_factors.exponent[2]));
    graph->axisX()->setTitleVisible(true);
    graph->axisY()->setTitleVisible(true);
    graph->axisZ()->setTitleVisible(true);
}

void MainWindow::update_normalized_data()
{
    if (!den_grid.empty() || horizons.empty() || horizons_params.size() < 6 || !horizons_are_regular(horizons))
        return;
    const double deepest = value_range(horizons).second;
    model_bounds[4] = 0;
    model_bounds[5] = deepest;
    maxZ = deepest;
    minZ = 0;
    dz = deepest / 100;
    x_norm = even_nodes(horizons_params[2], horizons_params[3], int(horizons.front().front().size()));
    y_norm = even_nodes(horizons_params[4], horizons_params[5], int(horizons.front().size()));
    x_calc = x_norm;
    y_calc = y_norm;
    norm_factors = NormFactors();
    surf->min_x = horizons_params[2];
    surf->max_x = horizons_params[3];
    surf->min_y = horizons_params[4];
    surf->max_y = horizons_params[5];
    surf->min_z = model_bounds[4];
    surf->max_z = model_bounds[5];
}

void MainWindow::redraw3DView()
{
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
    else if (ui->view_horizons->isChecked())
        showHorizons();
}

// ---------------------------------------------------------------------------
// View commands

// Redraw after a change of the horizon colouring: the horizons when they are
// shown alone, else the cube with its horizons.
static void redrawHorizonColouring(MainWindow& w)
{
    if (w.ui->view_horizons->isChecked())
        w.showHorizons();
    else if (w.ui->view_cube_horizons->isChecked())
        w.show3Dgrid();
}

// Makes `own` the shown data set and switches to the cube-only view, or
// reports the empty cube and unchecks `own`.
static void chooseDataSet(MainWindow& w, const vector3D& cube, QAction* own, const char* russian,
                          const char* english)
{
    if (cube.empty()) {
        w.show_error(byLanguage(w.language, russian, english));
        own->setChecked(false);
        return;
    }
    for (QAction* a : {w.ui->view_dens, w.ui->view_Vp, w.ui->view_Vs, w.ui->view_reg})
        a->setChecked(a == own);
    w.ui->view_cube->setChecked(true);
    w.on_view_cube_triggered();
}

void MainWindow::on_view_dens_triggered()
{
    chooseDataSet(*this, den_grid, ui->view_dens, "Плотностная модель не заргужена в проект",
                  "Density model is empty");
}

void MainWindow::on_view_Vp_triggered()
{
    chooseDataSet(*this, Vp_grid, ui->view_Vp, "Модель Vp не заргужена в проект", "Vp model is empty");
}

void MainWindow::on_view_Vs_triggered()
{
    chooseDataSet(*this, Vs_grid, ui->view_Vs, "Модель Vs не заргужена в проект", "Vs model is empty");
}

void MainWindow::on_view_reg_triggered()
{
    chooseDataSet(*this, regularizer, ui->view_reg, "Регуляризатор не заргужен в проект", "Regularizer is empty");
}

void MainWindow::on_view_abs_reg_triggered()
{
    ui->view_abs_reg->setChecked(true);
    ui->view_init_reg->setChecked(false);
    if (ui->view_reg->isChecked())
        show3Dgrid();
}

void MainWindow::on_view_init_reg_triggered()
{
    ui->view_abs_reg->setChecked(false);
    ui->view_init_reg->setChecked(true);
    if (ui->view_reg->isChecked())
        show3Dgrid();
}

void MainWindow::on_view_cube_triggered()
{
    surf->setAlpha(255);
    ui->view_cube->setChecked(true);
    ui->view_horizons->setChecked(false);
    ui->view_cube_horizons->setChecked(false);
    ui->changeView->setEnabled(true);
    if (den_grid.empty() && Vp_grid.empty() && Vs_grid.empty() && regularizer.empty())
        show_error(byLanguage(language, "В проекте нет ни одного 3D грида", "3D grid is empty"));
    else
        show3Dgrid();
    ui->edit_horizons->setEnabled(false);
}

void MainWindow::on_view_horizons_triggered()
{
    surf->setAlpha(255);
    ui->view_horizons->setChecked(true);
    ui->view_cube->setChecked(false);
    ui->view_cube_horizons->setChecked(false);
    ui->changeView->setEnabled(false);
    if (horizons.empty()) {
        show_error(byLanguage(language, "Горизонты не загружены в проект", "Horizons are empty"));
        return;
    }
    showHorizons();
    ui->edit_horizons->setEnabled(true);
}

void MainWindow::on_view_cube_horizons_triggered()
{
    surf->setAlpha(255);
    ui->view_horizons->setChecked(false);
    ui->view_cube->setChecked(false);
    ui->view_cube_horizons->setChecked(true);
    ui->changeView->setEnabled(true);
    ui->color_by_density->setChecked(true);
    ui->color_by_depth->setChecked(false);
    ui->common_coloring_level->setChecked(true);
    ui->individual_coloring_level->setChecked(false);
    if (den_grid.empty() && Vp_grid.empty() && Vs_grid.empty() && regularizer.empty()) {
        show_error(byLanguage(language, "В проекте нет ни одного 3D грида", "3D grid is empty"));
        return;
    }
    show3Dgrid();
    if (!horizons.empty())
        ui->edit_horizons->setEnabled(true);
}

void MainWindow::on_view_faults_triggered()
{
    surf->setFaultsVisible(ui->view_faults->isChecked());
    plotObserved();
    plotCalculated();
}

void MainWindow::on_view_profiles_triggered()
{
    plotObserved();
    plotCalculated();
    redraw3DView();
}

void MainWindow::on_color_by_density_triggered()
{
    if (den_grid.empty()) {
        show_error(byLanguage(language, "3D грид плотности пуст", "3D density grid is empty"));
        ui->color_by_density->setChecked(false);
        ui->color_by_depth->setChecked(true);
    } else {
        ui->color_by_density->setChecked(true);
        ui->color_by_depth->setChecked(false);
    }
    redrawHorizonColouring(*this);
}

void MainWindow::on_color_by_depth_triggered()
{
    ui->color_by_density->setChecked(false);
    ui->color_by_depth->setChecked(true);
    redrawHorizonColouring(*this);
}

void MainWindow::on_common_coloring_level_triggered()
{
    ui->individual_coloring_level->setChecked(false);
    ui->common_coloring_level->setChecked(true);
    redrawHorizonColouring(*this);
}

void MainWindow::on_individual_coloring_level_triggered()
{
    ui->individual_coloring_level->setChecked(true);
    ui->common_coloring_level->setChecked(false);
    redrawHorizonColouring(*this);
}

void MainWindow::on_show_top_triggered()
{
    redrawHorizonColouring(*this);
}

void MainWindow::on_show_3Daxes_triggered()
{
    if (!graph)
        return;
    QtDataVisualization::Q3DTheme* theme = graph->activeTheme();
    const bool shown = ui->show_3Daxes->isChecked();
    theme->setLabelBorderEnabled(shown);
    theme->setGridEnabled(shown);
    theme->setLabelTextColor(shown ? QColor(Qt::black) : QColor(Qt::white));
}
