// Grid operations of the main window: new grids and the vertical
// parameters of the layered model, arithmetic with another cube, level
// means and minima, zeroing, the moves of a data set's first node to 0, the
// five gradients and smoothing. Each slot reads the members, calls the
// kernels in editing/new_grid.h, cube_arithmetic.h, gradients3d.h and
// smoothing.h, writes the members back, redraws and reports.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/status_text.h"
#include "app/texts.h"
#include "common/coordinate_limit.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/cell_values.h"
#include "editing/cube_arithmetic.h"
#include "editing/gradients3d.h"
#include "editing/grid_memory.h"
#include "editing/grid_memory_question.h"
#include "editing/layers.h"
#include "editing/modelparamswindow.h"
#include "editing/new_grid.h"
#include "editing/newmodelwindow.h"
#include "editing/smoothing.h"
#include "editing/smoothparamsdialog.h"
#include "formats/file_commands.h"
#include "formats/file_io.h"
#include "formats/progress_bar_scope.h"
#include "formats/segy.h"
#include "views/surf.h"

#include <QAction>

#include <cmath>
#include <functional>

namespace {

bool cubeViewChecked(const MainWindow& w)
{
    return w.ui->view_cube->isChecked() || w.ui->view_cube_horizons->isChecked();
}

bool hasCells(const vector3D& cube)
{
    return !cube.empty() && !cube.front().empty() && !cube.front().front().empty();
}

// The colour range of the 3D view from the grid's smallest and largest cell,
// then a redraw when a cube is shown.
void showChangedGrid(MainWindow& w)
{
    if (hasCells(w.den_grid)) {
        w.surf->texture_min = grid_min(w.den_grid);
        w.surf->texture_max = grid_max(w.den_grid);
    }
    if (cubeViewChecked(w))
        w.show3Dgrid();
}

// A new grid or new vertical parameters beyond gridops::kMaxNewGridCells.
QString tooManyCellsText(int language)
{
    return byLanguage(language, "Слишком много ячеек: увеличьте шаги или уменьшите размеры модели",
                      "Too many cells: make the steps larger or the model smaller");
}

QString irregularGridText(int language)
{
    return byLanguage(language, "Уровни или строки 3D грида плотности имеют разные размеры",
                      "Levels or rows of the 3D density grid differ in size");
}

// What a SEG-Y operand's read tells the user once a cell-by-cell command is
// done: its rows or columns read in reverse, its survey not along the axes.
struct OperandNotes {
    QString reversal, rotation;
};

// Reads the operand cube of an arithmetic command from a file the user
// chooses. False when the user cancelled or the file could not be read (the
// reader has reported why, or the suffix is none of 3Dgrd, sgy and segy).
// The model's bounds are those of the model, not of the operand, so they are
// kept. notes, when given, receives what the read has to tell.
bool readOperand(MainWindow& w, vector3D& cube, OperandNotes* notes = nullptr)
{
    const QString path =
        interaction()->openFileName(&w, QStringLiteral("Open file"), QString(), cube_file_filter());
    if (path.isEmpty())
        return false;
    std::vector<double> x, y, z;
    switch (cube_file_kind(path)) {
    case CubeFileKind::OwnCube: {
        const auto bounds = w.model_bounds;
        const bool read = w.import3Dgrid(path, cube, x, y, z);
        w.model_bounds = bounds;
        return read;
    }
    case CubeFileKind::SegY: {
        CodecStatus status;
        segy_placement placement;
        {
            ProgressBarScope progress(&w.progress_bar);
            status = read_segy_cube(path, cube, x, y, z, progress.callback(), &placement);
        }
        if (!status) {
            if (status.code() != CodecError::Cancelled)
                w.show_error(file_failure_text(path, status, w.language, false));
            return false;
        }
        if (notes) {
            notes->reversal = segy_reversal_text(placement, w.language);
            notes->rotation = segy_rotation_text(path, placement, x, y, w.language);
        }
        return true;
    }
    case CubeFileKind::Unknown:
        break;
    }
    w.show_error(unknown_suffix_text(path, cube_file_suffixes(), w.language));
    return false;
}

void cubeCommand(MainWindow& w, gridops::CubeOp op)
{
    if (w.refuseWhileRunning())
        return;
    vector3D operand;
    OperandNotes notes;
    if (!readOperand(w, operand, &notes))
        return;
    switch (gridops::apply_cube_op(w.den_grid, operand, op)) {
    case gridops::CubeOpStatus::Ok:
        w.dropStaleOperators();
        w.on_view_dens_triggered();
        append_status_note(w.progress_label, notes.reversal);
        if (!notes.rotation.isEmpty())
            w.show_message(notes.rotation);
        return;
    case gridops::CubeOpStatus::Mismatch:
        w.show_error(byLanguage(w.language, "Параметры разбиения не совпадают", "Grid params doesn't match"));
        return;
    case gridops::CubeOpStatus::DivisionByZero:
        w.show_error(byLanguage(w.language,
                                "Деление на ноль: куб содержит нулевые ячейки (%1). Плотность не изменена",
                                "Division by zero: the cube holds zero cells (%1). The density grid is unchanged")
                         .arg(gridops::zero_cells(operand)));
        return;
    }
}

void gradientCommand(MainWindow& w, gridops::GradientKind kind)
{
    if (w.den_grid.empty())
        return;
    if (w.refuseWhileRunning())
        return;
    const double dx = node_step(w.x_calc), dy = node_step(w.y_calc), dz = node_step(w.z_calc);
    switch (gridops::gradient_ready(w.den_grid, kind, dx, dy, dz)) {
    case gridops::GradientStatus::Ok:
        break;
    case gridops::GradientStatus::NotRegular:
        w.show_error(irregularGridText(w.language));
        return;
    case gridops::GradientStatus::SingleNode:
        w.show_error(byLanguage(w.language, "Для градиента нужно не менее двух узлов грида вдоль каждой его оси",
                                "The gradient needs at least two grid nodes along each of its axes"));
        return;
    case gridops::GradientStatus::BadSpacing:
        w.show_error(byLanguage(w.language, "Шаг узлов 3D грида равен нулю или не задан",
                                "The node spacing of the 3D grid is zero or undefined"));
        return;
    }
    w.update_undo(1);
    gridops::apply_gradient(w.den_grid, kind, dx, dy, dz);
    showChangedGrid(w);
}

// Index of a record value truncated toward zero; -1 for a value that is not
// a finite number of int range.
int recordIndex(double v)
{
    if (!std::isfinite(v) || std::fabs(v) > 1e9)
        return -1;
    return int(std::trunc(v));
}

}  // namespace

// ---------------------------------------------------------------------------
// New grid and vertical parameters

void MainWindow::on_Create_empty_grid_triggered()
{
    if (refuseWhileRunning())
        return;
    NewModelWindow dialog;
    dialog.setLanguage(language);
    connect(&dialog, &NewModelWindow::params_selected, this, &MainWindow::create_grid);
    interaction()->runDialog(&dialog);
}

void MainWindow::create_grid(std::vector<double> params)
{
    if (params.size() < gridops::kNewGridRecordSize)
        return;
    if (refuseWhileRunning())
        return;
    // The new grid is built beside the old one, and the 3D view draws it.
    const auto confirm = [this](double nx, double ny, double nz) {
        grid_memory::NewGrids need;
        need.nx = nx;
        need.ny = ny;
        need.nz = nz;
        need.cubes = 1;
        need.view = cubeViewChecked(*this);
        return grid_memory::confirm_need(this, language, grid_memory::need_bytes(need));
    };
    gridops::NewGrid grid;
    double far = 0;
    switch (gridops::build_new_grid(params, grid, confirm, &far)) {
    case gridops::NewGridStatus::Ok:
        break;
    case gridops::NewGridStatus::ShortRecord:
    case gridops::NewGridStatus::Declined:
        return;
    case gridops::NewGridStatus::BadStep:
        show_error(QStringLiteral("Step must be positive"));
        return;
    case gridops::NewGridStatus::NotFinite:
        show_error(byLanguage(language, "Границы, шаги и плотности модели должны быть числами",
                              "The bounds, steps and densities of the model must be numbers"));
        return;
    case gridops::NewGridStatus::FarCoordinate:
        show_error(codec_io::typed_coordinate_refusal(far, language));
        return;
    case gridops::NewGridStatus::DensityOutOfRange: {
        const bool top = !fits_cell(params[9]);
        show_error(cellValueRangeText(language,
                                      top ? byLanguage(language, "Плотность верхнего уровня", "The top level's density")
                                          : byLanguage(language, "Плотность нижнего уровня",
                                                       "The bottom level's density"),
                                      top ? params[9] : params[10]));
        return;
    }
    case gridops::NewGridStatus::TooLarge:
        show_error(tooManyCellsText(language));
        return;
    case gridops::NewGridStatus::OutOfMemory:
        show_error(byLanguage(language, "Недостаточно памяти ", "Out of memory"));
        return;
    }

    minZ = params[6];
    maxZ = params[7];
    dz = params[8];
    const int nx = int(grid.x.size());
    const int ny = int(grid.y.size());
    const int nz = int(grid.z.size());
    den_grid = std::move(grid.cells);
    undo_stack.clear();  // the snapshots belong to the grid replaced
    x_calc = grid.x;
    y_calc = grid.y;
    z_calc = grid.z;
    x_norm = std::move(grid.x);
    y_norm = std::move(grid.y);
    z_norm = std::move(grid.z);
    norm_factors = NormFactors();
    surf->texture_min = params[9];
    surf->texture_max = params[10];
    // left, right, front, back, top, bottom
    crop_borders = {{0, nx - 1, ny - 1, 0, 0, nz - 1}};
    alpha_factor = 0;
    dropStaleOperators();
    if (cubeViewChecked(*this))
        show3Dgrid();
}

void MainWindow::on_Zparams_triggered()
{
    if (refuseWhileRunning())
        return;
    ModelParamsWindow dialog;
    connect(&dialog, &ModelParamsWindow::params_signal, this, &MainWindow::setZparams);
    connect(&dialog, &ModelParamsWindow::calc_height_changed, this, &MainWindow::set_calc_height);
    dialog.setLanguage(language);
    dialog.setValues(minZ, maxZ, dz, calc_height);
    interaction()->runDialog(&dialog);
}

void MainWindow::setZparams(double min_z, double max_z, double step)
{
    if (!std::isfinite(min_z) || !std::isfinite(max_z) || !std::isfinite(step))
        return;
    if (!(min_z < max_z) || !(step > 0))
        return;
    if (double far = 0; !coordinates_fit({min_z, max_z, step}, far)) {
        show_error(codec_io::typed_coordinate_refusal(far, language));
        return;
    }
    if (min_z == minZ && max_z == maxZ && step == dz)
        return;
    if (refuseWhileRunning())
        return;
    if (horizons_are_regular(horizons)) {
        // The grid rebuilt from the layers on the levels it will really
        // have (a maximum depth or step of 0 takes the defaults from the
        // deepest horizon), beside the old one and its undo snapshot, and
        // drawn by the 3D view. Parameters that give no level are reported
        // by the rebuild.
        layers::VerticalParams built{min_z, max_z, step};
        const double levels =
            layers::apply_vertical_defaults(horizons, built) ? layers::level_count_unbounded(built) : 0.0;
        if (levels > 0) {
            const double nx = double(horizons.front().front().size()), ny = double(horizons.front().size());
            if (gridops::exceeds_cell_cap(nx, ny, levels)) {
                show_error(tooManyCellsText(language));
                return;
            }
            grid_memory::NewGrids need;
            need.nx = nx;
            need.ny = ny;
            need.nz = levels;
            need.cubes = 1;
            need.view = cubeViewChecked(*this);
            double bytes = grid_memory::need_bytes(need);
            if (!den_grid.empty() && !den_grid.front().empty())
                bytes += grid_memory::cube_bytes(double(den_grid.front().front().size()),
                                                 double(den_grid.front().size()), double(den_grid.size()));
            if (!grid_memory::confirm_need(this, language, bytes))
                return;
        }
    }
    // Without horizons the parameters wait for them; otherwise they are
    // taken only with the grid they build, whose undo snapshot keeps the
    // ones replaced.
    if (horizons.empty()) {
        minZ = min_z;
        maxZ = max_z;
        dz = step;
    } else if (!rebuildFromLayers(min_z, max_z, step)) {
        return;
    }
    alpha_factor = 0;
    dropStaleOperators();
}

void MainWindow::set_calc_height(double height)
{
    if (!std::isfinite(height) || -height == calc_height)
        return;
    if (double far = 0; !coordinates_fit({-height}, far)) {
        show_error(codec_io::typed_coordinate_refusal(far, language));
        return;
    }
    if (refuseWhileRunning())
        return;
    calc_height = -height;
    dropStaleOperators();
}

// ---------------------------------------------------------------------------
// Arithmetic with another cube and level operations

void MainWindow::on_add_cube_triggered()
{
    cubeCommand(*this, gridops::CubeOp::Add);
}

void MainWindow::on_substract_cube_triggered()
{
    cubeCommand(*this, gridops::CubeOp::Subtract);
}

void MainWindow::on_multiply_cube_triggered()
{
    cubeCommand(*this, gridops::CubeOp::Multiply);
}

void MainWindow::on_divide_cube_triggered()
{
    cubeCommand(*this, gridops::CubeOp::Divide);
}

void MainWindow::on_add_means_triggered()
{
    if (refuseWhileRunning())
        return;
    vector3D operand;
    if (!readOperand(*this, operand))
        return;
    const QString mismatch = byLanguage(language, "Количество ячеек по вертикали не совпадет",
                                        "Vertical cell count doesn't match");
    if (den_grid.empty()) {
        show_error(mismatch);
        return;
    }
    switch (gridops::add_level_means(den_grid, operand)) {
    case gridops::LevelStatus::Ok:
        on_view_dens_triggered();
        return;
    case gridops::LevelStatus::LevelMismatch:
        show_error(mismatch);
        return;
    case gridops::LevelStatus::EmptyLevel:
        show_error(byLanguage(language, "Параметры разбиения не совпадают", "Grid params doesn't match"));
        return;
    }
}

void MainWindow::on_calc_means_triggered()
{
    if (den_grid.empty())
        return;
    if (refuseWhileRunning())
        return;
    gridops::replace_by_level_means(den_grid);
    on_view_dens_triggered();
}

namespace {

// The frame of an undoable change of the density grid in place: nothing
// without a grid or while a computation runs, else an undo step first.
bool changeDensityGrid(MainWindow& w, void (*change)(vector3D&))
{
    if (w.den_grid.empty())
        return false;
    if (w.refuseWhileRunning())
        return false;
    w.update_undo(1);
    change(w.den_grid);
    return true;
}

}  // namespace

void MainWindow::on_delete_mean_triggered()
{
    if (changeDensityGrid(*this, gridops::remove_level_means))
        showChangedGrid(*this);
}

void MainWindow::on_delete_min_triggered()
{
    if (changeDensityGrid(*this, gridops::remove_level_minima))
        showChangedGrid(*this);
}

void MainWindow::on_fill_zeros_triggered()
{
    if (!changeDensityGrid(*this, gridops::fill_zeros))
        return;
    if (cubeViewChecked(*this))
        show3Dgrid();
    else
        showHorizons();
}

// ---------------------------------------------------------------------------
// Moves of the first node to 0

void MainWindow::on_move_3Dgrid_tozero_triggered()
{
    if (den_grid.empty())
        return;
    if (refuseWhileRunning())
        return;
    gridops::shift_nodes_to_zero(x_norm);
    gridops::shift_nodes_to_zero(y_norm);
    gridops::shift_nodes_to_zero(x_calc);
    gridops::shift_nodes_to_zero(y_calc);
    dropStaleOperators();
    if (!ui->view_horizons->isChecked())
        show3Dgrid();
    if (!Vz_calculated.empty()) {
        gridops::shift_geometry_to_zero(calculated_params);
        plotCalculated();
    }
}

void MainWindow::on_move_horizons_tozero_triggered()
{
    if (horizons.empty())
        return;
    if (refuseWhileRunning())
        return;
    gridops::shift_geometry_to_zero(horizons_params);
    if (ui->view_horizons->isChecked())
        showHorizons();
    else if (ui->view_cube_horizons->isChecked())
        show3Dgrid();
}

void MainWindow::on_move_observed_tozero_triggered()
{
    if (Vz_observed.empty())
        return;
    if (refuseWhileRunning())
        return;
    gridops::shift_geometry_to_zero(observed_params);
    plotObserved();
}

// ---------------------------------------------------------------------------
// Gradients

void MainWindow::on_x_gradient_triggered()
{
    gradientCommand(*this, gridops::GradientKind::X);
}

void MainWindow::on_y_gradient_triggered()
{
    gradientCommand(*this, gridops::GradientKind::Y);
}

void MainWindow::on_vertical_gradient_triggered()
{
    gradientCommand(*this, gridops::GradientKind::Vertical);
}

void MainWindow::on_horizontal_gradient_triggered()
{
    gradientCommand(*this, gridops::GradientKind::Horizontal);
}

void MainWindow::on_full_gradient_triggered()
{
    gradientCommand(*this, gridops::GradientKind::Full);
}

// ---------------------------------------------------------------------------
// Smoothing

void MainWindow::on_smooth3Dgrid_triggered()
{
    if (den_grid.empty()) {
        show_error(byLanguage(language, "3D грид плотности пуст", "3D density grid is empty"));
        return;
    }
    if (refuseWhileRunning())
        return;
    SmoothParamsDialog dialog;
    dialog.setSteps({node_step(x_calc), node_step(y_calc), node_step(z_calc)});
    dialog.setLayers(layers_names);
    dialog.setParams(smooth_params);
    connect(&dialog, &SmoothParamsDialog::gridFilterParamsSelected, this, &MainWindow::smoothDensity);
    connect(&dialog, &SmoothParamsDialog::layerFilterParamsSelected, this, &MainWindow::smoothDensityInLayer);
    connect(&dialog, &SmoothParamsDialog::horizonFilterParamsSelected, this,
            &MainWindow::smoothDensityAlongHorizon);
    interaction()->runDialog(&dialog);
}

// The frame of the three smoothing slots once the record is stored and the
// area's checks have passed: progress bar, undo snapshot, the run, redraw.
// Pending events run only for repaints, so no command can change the grid
// while it is being smoothed.
static void runSmoothing(MainWindow& w, const std::vector<double>& params,
                         const std::function<void(const gridops::SmoothProgress&)>& run)
{
    {
        ProgressBarScope scope(&w.progress_bar);
        w.progress_bar.setValue(0);
        w.progress_bar.show();
        if (recordIndex(params[0]) == 0) {
            w.update_undo(1);
            const CodecProgress progress = scope.callback();
            run([&progress](int percent) { progress(percent); });
        }
    }
    w.on_view_dens_triggered();
}

void MainWindow::smoothDensity(std::vector<double> params)
{
    if (den_grid.empty())
        return;
    smooth_params = params;
    if (params.size() < gridops::kSmoothRecordSize || refuseWhileRunning())
        return;
    if (!cube_is_regular(den_grid)) {
        show_error(irregularGridText(language));
        return;
    }
    const gridops::SmoothHalfWidths h = gridops::smooth_half_widths(params, x_calc, y_calc, z_calc);
    runSmoothing(*this, params,
                 [&](const gridops::SmoothProgress& progress) { gridops::smooth_whole(den_grid, h, progress); });
}

// The checks of the two layer areas; false after a message.
static bool layerAreaReady(MainWindow& w, int n)
{
    if (w.horizons.empty()) {
        w.show_error(byLanguage(w.language, "Горизонты не загружены в проект", "Horizons are empty"));
        return false;
    }
    switch (gridops::layer_area_ready(w.den_grid, w.z_calc, w.horizons, n)) {
    case gridops::SmoothStatus::Ok:
        return true;
    case gridops::SmoothStatus::NoHorizons:
    case gridops::SmoothStatus::HorizonsMismatch:
        break;
    case gridops::SmoothStatus::NotRegular:
        if (!horizons_match_grid(w.horizons, w.den_grid))
            break;
        w.show_error(irregularGridText(w.language));
        return false;
    case gridops::SmoothStatus::BadLayer:
        w.show_error(byLanguage(w.language, "Слой %1 отсутствует в модели", "There is no layer %1 in the model")
                         .arg(n + 1));
        return false;
    }
    w.show_error(byLanguage(w.language, "Параметры разбиения горизонтов и 3D грида не совпадают",
                            "Parameters of horizons and 3D grid aren't the same"));
    return false;
}

void MainWindow::smoothDensityInLayer(std::vector<double> params)
{
    smooth_params = params;
    if (params.size() < gridops::kSmoothRecordSize || refuseWhileRunning())
        return;
    const int n = recordIndex(params[5]);
    if (!layerAreaReady(*this, n))
        return;
    const gridops::SmoothHalfWidths h = gridops::smooth_half_widths(params, x_calc, y_calc, z_calc);
    runSmoothing(*this, params, [&](const gridops::SmoothProgress& progress) {
        gridops::smooth_in_layer(den_grid, z_calc, horizons, n, h, progress);
    });
}

void MainWindow::smoothDensityAlongHorizon(std::vector<double> params)
{
    smooth_params = params;
    if (params.size() < gridops::kSmoothRecordSize || refuseWhileRunning())
        return;
    const int n = recordIndex(params[5]);
    if (!layerAreaReady(*this, n))
        return;
    const gridops::SmoothHalfWidths h = gridops::smooth_half_widths(params, x_calc, y_calc, z_calc);
    runSmoothing(*this, params, [&](const gridops::SmoothProgress& progress) {
        gridops::smooth_along_top(den_grid, z_calc, horizons, n, h, progress);
    });
}
