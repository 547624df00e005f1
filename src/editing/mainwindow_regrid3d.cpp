// Regridding commands of the main window: every loaded cube with the
// horizons and both fields onto a new lattice, the horizons alone, the
// observed field alone. The parameters come from GridConvertParams; the
// command that opens it connects only the record it needs.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/coordinate_limit.h"
#include "common/grid_geometry.h"
#include "editing/gridconvertparams.h"
#include "editing/grid_memory.h"
#include "editing/grid_memory_question.h"
#include "editing/regrid.h"
#include "editing/regrid3d.h"
#include "formats/file_io.h"
#include "formats/progress_bar_scope.h"

#include <QAction>
#include <QDebug>
#include <QLabel>

#include <new>

namespace {

struct CubeRef {
    vector3D* cube;
    std::vector<double>* x;
    std::vector<double>* y;
    std::vector<double>* z;
    const char* russian;
    const char* english;
};

struct FieldRef {
    field2D* grid;
    std::vector<double>* params;
};

// Resamples every given 2D grid from its record's lattice onto `lattice`
// into `out` (one entry per grid, in order). False when one of them cannot
// be resampled.
bool resampleFields(MainWindow& w, const std::vector<field2D>& grids, const std::vector<double>& old_params,
                    const std::vector<double>& lattice, std::vector<field2D>& out, const QString& label = QString())
{
    // Each phase of a regrid names itself while the bar runs through it.
    if (!label.isEmpty() && w.progress_label)
        w.progress_label->setText(label);
    out.assign(grids.size(), field2D());
    ProgressBarScope progress(&w.progress_bar);
    const CodecProgress step = progress.callback();
    for (std::size_t i = 0; i < grids.size(); ++i)
        if (!regrid::regrid_2d(grids[i], old_params, lattice, out[i], [&step](int percent) { step(percent); }))
            return false;
    return true;
}

QString tooLargeText(int language)
{
    return byLanguage(language, "Слишком много ячеек: увеличьте шаги или уменьшите размеры модели",
                      "Too many cells: make the steps larger or the model smaller");
}

QString outOfMemoryText(int language)
{
    return byLanguage(language, "Недостаточно памяти ", "Out of memory");
}

// The first six values of a grid_geometry record; empty when it cannot
// describe a lattice.
std::vector<double> usableGeometry(const std::vector<double>& params)
{
    if (!regrid::usable_geometry(params))
        return {};
    return std::vector<double>(params.begin(), params.begin() + 6);
}

// True (after a message) when a 2D lattice has more nodes than a grid may hold.
bool refuseHugeLattice(MainWindow& w, const std::vector<double>& lattice)
{
    if (lattice[0] * lattice[1] <= regrid::kMaxRegridCells)
        return false;
    w.show_error(tooLargeText(w.language));
    return true;
}

// True, after naming the value, when a lattice's limits or steps hold a
// coordinate beyond the limit the project file and the views hold.
bool refuseFarLattice(MainWindow& w, std::initializer_list<double> values)
{
    double far = 0;
    if (coordinates_fit(values, far))
        return false;
    w.show_error(codec_io::typed_coordinate_refusal(far, w.language));
    return true;
}

// Opens the lattice dialog without depths, filled from a 2D grid record;
// its choice goes to `regrid`.
void runSurferRegridDialog(MainWindow& w, const std::vector<double>& params,
                           void (MainWindow::*regrid)(std::vector<double>))
{
    GridConvertParams dialog;
    dialog.setLanguage(w.language);
    dialog.hideZ();
    dialog.setSurferValues(params);
    QObject::connect(&dialog, &GridConvertParams::SurferGridParams, &w, regrid);
    interaction()->runDialog(&dialog);
}

// Resamples 2D grids sharing the record `old_params` onto the lattice of the
// record `params` (its first six values, kept in `lattice`); `maps` of them
// are drawn as maps and `surfaces` as surfaces of the 3D view afterwards. False, with the grids untouched, when the
// record is unusable, the lattice too large (after a message), the user
// declines the memory question, a grid cannot be resampled or memory runs
// out (after a message).
bool regridFields(MainWindow& w, const std::vector<field2D>& grids, const std::vector<double>& old_params,
                  const std::vector<double>& params, int maps, int surfaces, std::vector<double>& lattice,
                  std::vector<field2D>& out)
{
    lattice = usableGeometry(params);
    if (lattice.empty()) {
        qDebug() << "regrid: unusable lattice record, grids kept";
        return false;
    }
    if (refuseFarLattice(w, {lattice[2], lattice[3], lattice[4], lattice[5]}) || refuseHugeLattice(w, lattice))
        return false;
    grid_memory::NewGrids need;
    need.nx = lattice[0];
    need.ny = lattice[1];
    need.grids = int(grids.size());
    need.maps = maps;
    need.surfaces = surfaces;
    if (!grid_memory::confirm_need(&w, w.language, grid_memory::need_bytes(need)))
        return false;
    try {
        if (!resampleFields(w, grids, old_params, lattice, out)) {
            qDebug() << "regrid: grids without a usable lattice record, kept";
            return false;
        }
    } catch (const std::bad_alloc&) {
        w.progress_bar.hide();
        w.show_error(outOfMemoryText(w.language));
        return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Commands

void MainWindow::on_regrid_triggered()
{
    if (den_grid.empty()) {
        show_error(byLanguage(language, "3D грид плотности пуст", "3D density grid is empty"));
        return;
    }
    if (refuseWhileRunning())
        return;
    GridConvertParams dialog;
    dialog.setLanguage(language);
    auto first = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.front(); };
    auto last = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.back(); };
    // The step of the grid's own nodes in its shortest decimal, so that the
    // prefilled record describes the current lattice and OK without edits
    // changes nothing.
    auto step = [&](const std::vector<double>& v) {
        return regrid::shown_step(first(v), last(v), static_cast<int>(v.size()), node_step(v));
    };
    dialog.setValues({first(x_calc), last(x_calc), step(x_calc), first(y_calc), last(y_calc), step(y_calc),
                      first(z_calc), last(z_calc), step(z_calc)});
    connect(&dialog, &GridConvertParams::GridConvertParamsSignal, this, &MainWindow::regrid3Dgrid);
    interaction()->runDialog(&dialog);
}

void MainWindow::on_regrid_horizons_triggered()
{
    if (horizons.empty()) {
        show_error(byLanguage(language, "Горизонты не загружены в проект", "Horizon are empty"));
        return;
    }
    if (refuseWhileRunning())
        return;
    runSurferRegridDialog(*this, horizons_params, &MainWindow::regridHorizons);
}

void MainWindow::on_regrid_observed_triggered()
{
    if (Vz_observed.empty()) {
        show_error(byLanguage(language, "Наблюденное поле не загружено в проект", "Observed field is empty"));
        return;
    }
    if (refuseWhileRunning())
        return;
    runSurferRegridDialog(*this, observed_params, &MainWindow::regridObserved);
}

// ---------------------------------------------------------------------------
// Resampling

void MainWindow::regrid3Dgrid(std::vector<double> new_params)
{
    if (den_grid.empty())
        return;
    if (refuseWhileRunning())
        return;
    int nx = 0, ny = 0, nz = 0;
    const regrid::ParamsStatus checked = regrid::check_regrid_params(new_params, nx, ny, nz);
    if (checked == regrid::ParamsStatus::Ok
        && refuseFarLattice(*this, {new_params[0], new_params[1], new_params[2], new_params[3], new_params[4],
                                    new_params[5], new_params[6], new_params[7], new_params[8]}))
        return;
    switch (checked) {
    case regrid::ParamsStatus::Ok:
        break;
    case regrid::ParamsStatus::TooLarge:
        show_error(tooLargeText(language));
        return;
    case regrid::ParamsStatus::ShortRecord:
    case regrid::ParamsStatus::BadValue:
        qDebug() << "regrid3Dgrid: unusable lattice record, nothing regridded";
        return;
    }
    if (!cube_is_regular(den_grid) || x_calc.size() < den_grid.front().front().size() ||
        y_calc.size() < den_grid.front().size() || z_calc.size() < den_grid.size()) {
        show_error(byLanguage(language, "Уровни или строки 3D грида плотности имеют разные размеры",
                              "Levels or rows of the 3D density grid differ in size"));
        return;
    }

    // Everything is resampled beside the old data first and replaced only
    // when all of it succeeded, so a failure leaves the project as it was.
    const std::array<double, 3> old_first{{x_calc.front(), y_calc.front(), z_calc.front()}};
    const std::array<double, 3> old_step{{node_step(x_calc), node_step(y_calc), node_step(z_calc)}};
    const std::vector<double> lattice = regrid::regrid_geometry(new_params);

    CubeRef cubes[] = {
        {&den_grid, &x_calc, &y_calc, &z_calc, "Регрид плотности", "Regrid density"},
        {&Vp_grid, &x_vp, &y_vp, &z_vp, "Регрид Vp", "Regrid Vp"},
        {&Vs_grid, &x_vs, &y_vs, &z_vs, "Регрид Vs", "Regrid Vs"},
        {&regularizer, &x_reg, &y_reg, &z_reg, "Регрид регуляризатора", "Regrid regularizer"},
    };
    FieldRef fields[] = {{&Vz_observed, &observed_params}, {&Vz_calculated, &calculated_params}};

    // A data set already on the new lattice is left exactly as it is: a
    // record sent back unchanged moves nothing and drops no stored operator.
    bool moves[4];
    for (std::size_t c = 0; c < 4; ++c)
        moves[c] = !cubes[c].cube->empty() &&
                   !regrid::cube_on_lattice(*cubes[c].cube, *cubes[c].x, *cubes[c].y, *cubes[c].z, new_params);
    const bool density_moves = moves[0];
    const bool horizons_move = !horizons.empty() && !regrid::grid_on_lattice(horizons.front(), horizons_params, lattice);
    bool field_moves[2];
    for (std::size_t f = 0; f < 2; ++f)
        field_moves[f] =
            !fields[f].grid->empty() && !regrid::grid_on_lattice(*fields[f].grid, *fields[f].params, lattice);

    // Every new grid is held beside the old ones until all are made; the
    // 3D view and the maps then draw the result.
    grid_memory::NewGrids need;
    need.nx = nx;
    need.ny = ny;
    need.nz = nz;
    for (bool m : moves)
        need.cubes += m ? 1 : 0;
    need.grids = horizons_move ? int(horizons.size()) : 0;
    for (bool m : field_moves) {
        need.grids += m ? 1 : 0;
        need.maps += m ? 1 : 0;
    }
    need.view = need.cubes > 0 && (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked());
    if (horizons_move && (ui->view_cube_horizons->isChecked() || ui->view_horizons->isChecked()))
        need.surfaces = int(horizons.size());
    if (!grid_memory::confirm_need(this, language, grid_memory::need_bytes(need)))
        return;

    std::vector<regrid::RegriddedCube> new_cubes(4);
    std::vector<field2D> new_horizons;
    std::vector<std::vector<field2D>> new_fields(2);
    bool horizons_done = false;
    bool fields_done[2] = {false, false};
    try {
        for (std::size_t c = 0; c < 4; ++c) {
            const CubeRef& ref = cubes[c];
            if (!moves[c])
                continue;
            progress_label->setText(byLanguage(language, ref.russian, ref.english)
                                    + QStringLiteral(" (Nx, Ny, Nz) = (%1, %2, %3)").arg(nx).arg(ny).arg(nz));
            bool done = false;
            {
                ProgressBarScope progress(&progress_bar);
                const CodecProgress step = progress.callback();
                done = regrid::resample_cube(*ref.cube, *ref.x, *ref.y, *ref.z, new_params, new_cubes[c],
                                             [&step](int percent) { step(percent); });
            }
            if (!done) {
                if (c == 0)
                    return;  // checked above; nothing changes
                qDebug() << "regrid3Dgrid: a ragged cube or short node vectors, cube" << c << "kept";
            }
        }
        if (horizons_move) {
            horizons_done = resampleFields(*this, horizons, horizons_params, lattice, new_horizons,
                                           byLanguage(language, "Регрид горизонтов", "Regrid horizons"));
            if (!horizons_done)
                qDebug() << "regrid3Dgrid: horizons without a usable lattice record, kept";
        }
        for (std::size_t f = 0; f < 2; ++f) {
            if (!field_moves[f])
                continue;
            fields_done[f] = resampleFields(*this, {*fields[f].grid}, *fields[f].params, lattice, new_fields[f],
                                            f == 0 ? byLanguage(language, "Регрид наблюденного поля",
                                                                "Regrid observed field")
                                                   : byLanguage(language, "Регрид рассчитанного поля",
                                                                "Regrid calculated field"));
            if (!fields_done[f])
                qDebug() << "regrid3Dgrid: a field without a usable lattice record, kept";
        }
    } catch (const std::bad_alloc&) {
        progress_bar.hide();
        show_error(outOfMemoryText(language));
        return;
    }

    bool any_cube = false;
    for (const regrid::RegriddedCube& out : new_cubes)
        any_cube = any_cube || !out.cells.empty();
    if (!any_cube && !horizons_done && !fields_done[0] && !fields_done[1])
        return;  // everything already lies on the new lattice

    // The snapshots are of the old lattice, and so were the horizons, the
    // fields and the other cubes they went with: none of them may come back
    // into the regridded model. A snapshot of the regrid itself would hold
    // every cube it resampled besides the density grid, beyond the three
    // grids the history keeps; the regrid empties the history instead, as a
    // new grid does.
    undo_stack.clear();

    // The regularizer's level offsets follow its levels, so that the raw
    // grid (cell / scale + offset of its level) is the one resampled and a
    // save stores the regularizer shown.
    if (!new_cubes[3].cells.empty() && !regularizer_offsets.empty() &&
        regularizer_offsets.size() == regularizer.size())
        regularizer_offsets = regrid::resample_levels(regularizer_offsets, new_cubes[3].source_levels);
    if (!new_cubes[3].cells.empty())
        vector3D().swap(regularizer_read);  // the values read are of the old lattice

    for (std::size_t c = 0; c < 4; ++c) {
        regrid::RegriddedCube& out = new_cubes[c];
        if (out.cells.empty())
            continue;
        *cubes[c].cube = std::move(out.cells);
        *cubes[c].x = std::move(out.x);
        *cubes[c].y = std::move(out.y);
        *cubes[c].z = std::move(out.z);
    }

    if (density_moves) {
        // The crop indexes of the 3D view follow the new lattice (left and
        // right along x, front and back along y, top and bottom along z).
        const int axis_of[6] = {0, 0, 1, 1, 2, 2};
        const double new_min[3] = {new_params[0], new_params[3], new_params[6]};
        const double new_step[3] = {new_params[2], new_params[5], new_params[8]};
        for (std::size_t b = 0; b < 6; ++b) {
            const int a = axis_of[b];
            crop_borders[b] =
                regrid::map_crop_index(crop_borders[b], old_first[a], old_step[a], new_min[a], new_step[a]);
        }

        x_norm = x_calc;
        y_norm = y_calc;
        z_norm = z_calc;
        norm_factors = NormFactors();
        model_bounds = {{x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back(), z_calc.front(), z_calc.back()}};
        // The stored operator belongs to the density grid's old nodes.
        effects.clear();
    }

    if (horizons_done) {
        horizons = std::move(new_horizons);
        horizons_params = lattice;
        // The layered inversion's slab effects belong to the old nodes.
        std::vector<field2D>().swap(layer_effects);
    }
    if (fields_done[0]) {
        Vz_observed = std::move(new_fields[0].front());
        observed_params = lattice;
        plotObserved();
    }
    if (fields_done[1]) {
        Vz_calculated = std::move(new_fields[1].front());
        calculated_params = lattice;
        plotCalculated();
    }
    // The phases' texts end with the grid's new size.
    if (progress_label)
        progress_label->setText(QStringLiteral("(Nx, Ny, Nz) = (%1, %2, %3)")
                                    .arg(den_grid.front().front().size())
                                    .arg(den_grid.front().size())
                                    .arg(den_grid.size()));
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
    else if (horizons_done && ui->view_horizons->isChecked())
        showHorizons();
    alpha_factor = 0;
    dropStaleOperators();
    progress_bar.hide();
}

void MainWindow::regridHorizons(std::vector<double> params)
{
    if (horizons.empty())
        return;
    if (refuseWhileRunning())
        return;
    if (regrid::grid_on_lattice(horizons.front(), horizons_params, params))
        return;  // already there: nothing moves, the slab effects stay
    std::vector<double> lattice;
    std::vector<field2D> out;
    if (!regridFields(*this, horizons, horizons_params, params, 0, int(horizons.size()), lattice, out))
        return;
    horizons = std::move(out);
    horizons_params = lattice;
    std::vector<field2D>().swap(layer_effects);
    on_view_horizons_triggered();
}

void MainWindow::regridObserved(std::vector<double> params)
{
    if (Vz_observed.empty())
        return;
    if (refuseWhileRunning())
        return;
    if (regrid::grid_on_lattice(Vz_observed, observed_params, params))
        return;  // already there
    std::vector<double> lattice;
    std::vector<field2D> out;
    if (!regridFields(*this, {Vz_observed}, observed_params, params, 1, 0, lattice, out))
        return;
    Vz_observed = std::move(out.front());
    observed_params = lattice;
    plotObserved();
}
