// The vertical section along a line drawn on the plan: the main window opens
// the section dialog, fills it and, every time the dialog's line changes,
// samples the cubes, the horizons and the fields along the line and hands
// the results to the dialog.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/texts.h"
#include "common/coordinate_limit.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "formats/file_io.h"
#include "views/horizontalslicedialog.h"
#include "views/maps_core.h"
#include "views/section_core.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// Why a line cannot be sampled, in the program's language.
QString refusalText(section::LineCheck check, int language)
{
    const bool en = language != 0;
    switch (check) {
    case section::LineCheck::NotFinite:
        return en ? QStringLiteral("Invalid line coordinates") : QStringLiteral("Неверные координаты линии");
    case section::LineCheck::BadStep:
        return en ? QStringLiteral("Step must be positive") : QStringLiteral("Шаг должен быть положительным");
    case section::LineCheck::TooShort:
        return en ? QStringLiteral("The line must be at least one step long")
                  : QStringLiteral("Длина линии должна быть не меньше шага");
    case section::LineCheck::TooMany:
        return en ? QStringLiteral("Too many points on the line: increase the step")
                  : QStringLiteral("Слишком много точек на линии: увеличьте шаг");
    case section::LineCheck::Ok:
    case section::LineCheck::Empty:
        break;
    }
    return QString();
}

// The step of the default line: the smaller of the two node spacings that
// exist (1 when neither axis has two nodes).
double defaultStep(const std::vector<double>& x, const std::vector<double>& y)
{
    const double sx = std::fabs(node_step(x)), sy = std::fabs(node_step(y));
    if (sx > 0 && sy > 0)
        return std::min(sx, sy);
    if (sx > 0)
        return sx;
    if (sy > 0)
        return sy;
    return 1.0;
}

std::size_t levelCount(const vector3D& cube, const std::vector<double>& z)
{
    return cube.empty() ? 0 : std::min(cube.size(), z.size());
}

std::vector<double> levelDepths(const std::vector<double>& z, int levels)
{
    return std::vector<double>(z.begin(), z.begin() + std::min<std::ptrdiff_t>(levels, std::ptrdiff_t(z.size())));
}

}  // namespace

void MainWindow::on_exportVerticalSlice_triggered()
{
    if (den_grid.empty()) {
        show_error(byLanguage(language, "3D грид плотности пуст", "3D density grid is empty"));
        return;
    }

    auto* dialog = new HorizontalSliceDialog(this);
    section_dialog = dialog;

    connect(dialog, SIGNAL(coordsSelected(double, double, double, double, double)), this,
            SLOT(extractHorizontalSlice(double, double, double, double, double)));
    connect(this, SIGNAL(setDensitySlice(std::vector<std::vector<double>>&, std::vector<double>&,
                                         std::vector<double>&)),
            dialog, SLOT(setDensitySlice(std::vector<std::vector<double>>&, std::vector<double>&,
                                         std::vector<double>&)));
    connect(this, SIGNAL(setHorizonsDepths(std::vector<std::vector<double>>&, std::vector<double>&)), dialog,
            SLOT(setHorizonsDepths(std::vector<std::vector<double>>&, std::vector<double>&)));
    connect(this, SIGNAL(setVzCalcSlice(std::vector<double>&, std::vector<double>&)), dialog,
            SLOT(setVzCalcSlice(std::vector<double>&, std::vector<double>&)));
    connect(this, SIGNAL(setVzObsSlice(std::vector<double>&, std::vector<double>&)), dialog,
            SLOT(setVzObsSlice(std::vector<double>&, std::vector<double>&)));
    connect(this, SIGNAL(setVzResidSlice(std::vector<double>&, std::vector<double>&)), dialog,
            SLOT(setVzResidSlice(std::vector<double>&, std::vector<double>&)));
    connect(this, SIGNAL(plotVzSlices()), dialog, SLOT(plotVz()));
    connect(dialog, SIGNAL(saveSRF(QString, std::vector<std::vector<double>>&, std::vector<double>&)), this,
            SLOT(saveSRF(QString, std::vector<std::vector<double>>&, std::vector<double>&)));
    connect(dialog, SIGNAL(dirChanged(int)), this, SLOT(setVertSliceDir(int)));

    dialog->setLanguage(language);
    // A manual range applies only when it was set for densities.
    if (model_caxis.size() >= 2 && model_caxis_density)
        dialog->setGradient(cube_gradient, model_caxis[0], model_caxis[1]);
    else
        dialog->setGradient(cube_gradient, grid_min(den_grid), grid_max(den_grid));
    if (!x_calc.empty() && !y_calc.empty())
        dialog->setModelBounds(x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back());
    dialog->setProfiles(profiles_scheme);

    // The last line, or the diagonal of the model from its first node to its
    // last; the first extraction runs here, before the dialog is shown.
    if (section_line.size() >= 5)
        dialog->setLineCoordinates(section_line[0], section_line[1], section_line[2], section_line[3],
                                   section_line[4]);
    else if (!x_calc.empty() && !y_calc.empty())
        dialog->setLineCoordinates(x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back(),
                                   defaultStep(x_calc, y_calc));

    dialog->setFaults(faults.sticks, faults.names);
    dialog->setDepthType(section_direction);

    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<HorizontalSliceDialog> guard(dialog);
    interaction()->runDialog(dialog);
    // Closed one way or another: the dialog deletes itself, and nothing here
    // refers to it any more.
    if (guard)
        guard->close();
    section_dialog = nullptr;
}

void MainWindow::setVertSliceDir(int dir)
{
    section_direction = dir;
}

void MainWindow::extractHorizontalSlice(double xmin, double xmax, double ymin, double ymax, double dxy)
{
    // The most levels any section will have, to keep it within memory.
    const std::size_t levels = std::max({levelCount(den_grid, z_calc), levelCount(Vp_grid, z_vp),
                                         levelCount(Vs_grid, z_vs), levelCount(regularizer, z_reg),
                                         std::size_t(1)});
    HorizontalSliceDialog* dialog = section_dialog;
    // A finite end or step beyond the coordinate limit is named; the line
    // goes back as for any refused line.
    const double ends[] = {xmin, xmax, ymin, ymax, dxy};
    if (double far = 0; std::all_of(std::begin(ends), std::end(ends), [](double v) { return std::isfinite(v); })
                        && !coordinates_fit(ends, far)) {
        if (dialog)
            dialog->refuseLine();
        show_error(codec_io::typed_coordinate_refusal(far, language));
        return;
    }
    const section::LineCheck check = section::check_line({xmin, xmax}, {ymin, ymax}, dxy, levels);
    if (check != section::LineCheck::Ok) {
        // The dialog keeps what it shows, and its fields and red line go back
        // to the last sampled line, which stays the kept one. A line of no
        // length is ignored without a word.
        if (dialog)
            dialog->refuseLine();
        if (check != section::LineCheck::Empty)
            show_error(refusalText(check, language));
        return;
    }
    section_line = {xmin, xmax, ymin, ymax, dxy};

    if (!dialog)
        return;
    const section::Nodes nodes = section::line_nodes(xmin, ymin, xmax, ymax, dxy);

    if (!den_grid.empty()) {
        const section::CubeGeometry g = section::cube_geometry(den_grid, x_calc, y_calc, z_calc);
        std::vector<std::vector<double>> dens = section::sample_cube(den_grid, g, nodes, section::Pick::Nearest);
        if (!dens.empty()) {
            std::vector<double> x_coords = nodes.distance;
            std::vector<double> z_coords = levelDepths(z_calc, g.levels);
            dialog->setDensitySlice(dens, x_coords, z_coords);
        }
    }

    struct Other
    {
        const vector3D& cube;
        const std::vector<double>&x, &y, &z;
        int kind;  // 2 Vp, 3 Vs, 4 regularizer
    };
    const Other others[] = {{Vp_grid, x_vp, y_vp, z_vp, 2}, {Vs_grid, x_vs, y_vs, z_vs, 3},
                            {regularizer, x_reg, y_reg, z_reg, 4}};
    for (const Other& o : others) {
        if (o.cube.empty())
            continue;
        const section::CubeGeometry g = section::cube_geometry(o.cube, o.x, o.y, o.z);
        std::vector<std::vector<double>> s = section::sample_cube(o.cube, g, nodes, section::Pick::Truncated);
        if (s.empty())
            continue;
        std::vector<double> x_coords = nodes.distance;
        std::vector<double> z_coords = levelDepths(o.z, g.levels);
        if (o.kind == 4) {
            const double min_R = grid_min(o.cube) >= 0 ? 0.0 : -1.0;
            dialog->setRegSlice(s, x_coords, z_coords, min_R, 1.0);
        } else {
            const double lo = grid_min(o.cube), hi = grid_max(o.cube);
            if (o.kind == 2)
                dialog->setVpSlice(s, x_coords, z_coords, lo, hi);
            else
                dialog->setVsSlice(s, x_coords, z_coords, lo, hi);
        }
    }

    if (!horizons.empty()) {
        std::vector<std::vector<double>> hor_depths = section::sample_horizons(horizons, horizons_params, nodes);
        std::vector<double> x_coords = nodes.distance;
        dialog->setHorizonsDepths(hor_depths, x_coords);
    }

    const bool has_calc = grid_columns(Vz_calculated) > 0;
    const bool has_obs = grid_columns(Vz_observed) > 0;
    if (!has_calc && !has_obs)
        return;

    std::vector<double> Vz_calc, Vz_obs;
    if (has_calc) {
        // Shifted by the difference of the means, as the calculated map shows it.
        const field2D shifted = maps::shifted_to_observed_mean(Vz_calculated, Vz_observed);
        section::Axis ax, ay;
        if (section::grid_axes(shifted, calculated_params, ax, ay)) {
            Vz_calc = section::sample_grid(shifted, ax, ay, nodes);
            std::vector<double> x_coords = nodes.distance;
            dialog->setVzCalcSlice(Vz_calc, x_coords);
        }
    }
    if (has_obs) {
        section::Axis ax, ay;
        if (section::grid_axes(Vz_observed, observed_params, ax, ay)) {
            Vz_obs = section::sample_grid(Vz_observed, ax, ay, nodes);
            std::vector<double> x_coords = nodes.distance;
            dialog->setVzObsSlice(Vz_obs, x_coords);
        }
    }
    std::vector<double> Vz_resid = section::residual(Vz_obs, Vz_calc);
    if (!Vz_resid.empty()) {
        std::vector<double> x_coords = nodes.distance;
        dialog->setVzResidSlice(Vz_resid, x_coords);
    }

    QPointer<HorizontalSliceDialog> alive(dialog);
    QCoreApplication::processEvents();
    // The dialog may have been closed while events were processed.
    if (alive)
        alive->plotVz();
}
