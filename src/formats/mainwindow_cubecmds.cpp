// File menu commands that move single cubes between the project and files:
// open the density grid, the regularizer, the Vp or the Vs cube; save the
// density grid, the Vp cube or the regularizer. The format is told by the
// suffix of the chosen name: "3dgrd" for the own cube file, "sgy" or "segy"
// for SEG-Y.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/status_text.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/regularizer.h"
#include "formats/file_commands.h"
#include "formats/progress_bar_scope.h"
#include "formats/segy.h"
#include "views/surf.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include <cmath>
#include <functional>
#include <limits>

namespace {

struct CubeRead {
    vector3D cube;
    std::vector<double> x, y, z;
    long long non_finite = 0;  // cells read that hold no finite number
    QString reversal;          // a SEG-Y file's rows or columns read in reverse
    QString rotation;          // a SEG-Y survey not along the axes
};

// Adds the read's notes to the status line (after the size the view has put
// there), then tells of a rotated survey.
void showReadNotes(MainWindow& w, const CubeRead& read)
{
    append_status_note(w.progress_label, non_finite_read_text(read.non_finite, w.language));
    append_status_note(w.progress_label, read.reversal);
    if (!read.rotation.isEmpty())
        w.show_message(read.rotation);
}

enum class ReadResult { Read, Failed, UnknownSuffix };

// Reads a cube by the suffix of its name into `out`. Every failure is
// reported; nothing of the project changes (an own cube file read sets
// model_bounds only when it succeeds).
ReadResult readCube(MainWindow& w, const QString& path, CubeRead& out)
{
    // The read names itself while its bar runs; the line's text comes back
    // after it (the command then shows the new size).
    StatusTextKeeper status_text(w.progress_label);
    if (w.progress_label)
        w.progress_label->setText(byLanguage(w.language, "Чтение файла %1", "Reading file %1")
                                      .arg(QFileInfo(path).fileName()));
    switch (cube_file_kind(path)) {
    case CubeFileKind::OwnCube:
        if (!w.import3Dgrid(path, out.cube, out.x, out.y, out.z))
            return ReadResult::Failed;  // reported by import3Dgrid
        break;
    case CubeFileKind::SegY: {
        CodecStatus status;
        segy_placement placement;
        {
            ProgressBarScope progress(&w.progress_bar);
            status = read_segy_cube(path, out.cube, out.x, out.y, out.z, progress.callback(), &placement);
        }
        if (!status) {
            w.show_error(file_failure_text(path, status, w.language, false));
            return ReadResult::Failed;
        }
        out.reversal = segy_reversal_text(placement, w.language);
        out.rotation = segy_rotation_text(path, placement, out.x, out.y, w.language);
        break;
    }
    case CubeFileKind::Unknown:
        w.show_error(unknown_suffix_text(path, cube_file_suffixes(), w.language));
        return ReadResult::UnknownSuffix;
    }
    const bool whole = cube_is_regular(out.cube) && out.x.size() == out.cube.front().front().size() &&
                       out.y.size() == out.cube.front().size() && out.z.size() == out.cube.size();
    if (!whole) {
        w.show_error(byLanguage(w.language, "Файл \"%1\" не содержит 3D грида", "File \"%1\" holds no 3D grid")
                         .arg(QDir::toNativeSeparators(path)));
        return ReadResult::Failed;
    }
    out.non_finite = non_finite_cells(out.cube).count;
    return ReadResult::Read;
}

// Writes a cube by the suffix of the chosen name; false after a message
// naming the file. A failed write leaves any earlier file in place.
bool writeCube(MainWindow& w, const QString& path, const vector3D& cube, const std::vector<double>& x,
               const std::vector<double>& y, const std::vector<double>& z)
{
    switch (cube_file_kind(path)) {
    case CubeFileKind::OwnCube:
        return w.export3Dgrid(path, cube, x, y, z);  // reports its own failure
    case CubeFileKind::SegY: {
        CodecStatus status;
        {
            ProgressBarScope progress(&w.progress_bar);
            status = write_segy_cube(path, cube, x, y, z, progress.callback());
        }
        if (!status)
            w.show_error(file_failure_text(path, status, w.language, true));
        return bool(status);
    }
    case CubeFileKind::Unknown:
        break;
    }
    w.show_error(byLanguage(w.language, "Файл не сохранен: выберите имя с расширением 3Dgrd, sgy или segy (%1)",
                            "Nothing saved: choose a name with the suffix 3Dgrd, sgy or segy (%1)")
                     .arg(QDir::toNativeSeparators(path)));
    return false;
}

// Crop of the 3D view over a whole cube (left, right, front, back, top,
// bottom); an empty cube gives -1 for the far sides.
std::array<int, 6> wholeCubeCrop(const vector3D& cube)
{
    const int nz = static_cast<int>(cube.size());
    const int ny = cube.empty() ? 0 : static_cast<int>(cube.front().size());
    const int nx = (cube.empty() || cube.front().empty()) ? 0 : static_cast<int>(cube.front().front().size());
    return {{0, nx - 1, ny - 1, 0, 0, nz - 1}};
}

QString openCaption() { return QStringLiteral("Open file"); }
QString saveCaption() { return QStringLiteral("Save file"); }

}  // namespace

void MainWindow::on_open3Dgrd_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, openCaption(), QString(), cube_file_filter());
    if (path.isEmpty())
        return;
    CubeRead read;
    if (readCube(*this, path, read) != ReadResult::Read)
        return;

    den_grid = std::move(read.cube);
    undo_stack.clear();  // the snapshots belong to the grid replaced
    x_norm = std::move(read.x);
    y_norm = std::move(read.y);
    z_norm = std::move(read.z);
    x_calc = x_norm;
    y_calc = y_norm;
    z_calc = z_norm;
    // The pass below runs the bar again: the line tells the new grid's size
    // meanwhile, not the old one's.
    if (progress_label)
        progress_label->setText(QString("(Nx, Ny, Nz) = (%1, %2, %3)")
                                    .arg(den_grid.front().front().size())
                                    .arg(den_grid.front().size())
                                    .arg(den_grid.size()));

    // Colour range of the 3D view: the smallest and largest cell holding a
    // finite value (0 to 0 when none does).
    float lowest = std::numeric_limits<float>::max();
    float highest = std::numeric_limits<float>::lowest();
    {
        ProgressBarScope progress(&progress_bar);
        const CodecProgress step = progress.callback();
        const std::size_t nz = den_grid.size();
        for (std::size_t k = 0; k < nz; ++k) {
            step(static_cast<int>(k * 100 / nz));
            for (const auto& row : den_grid[k])
                for (const data_type v : row) {
                    if (!std::isfinite(v))
                        continue;
                    if (v < lowest)
                        lowest = v;
                    if (v > highest)
                        highest = v;
                }
        }
    }

    if (lowest > highest)
        lowest = highest = 0;

    norm_factors = NormFactors();
    crop_borders = wholeCubeCrop(den_grid);
    surf->texture_min = lowest;
    surf->texture_max = highest;
    const std::size_t nx = den_grid.front().front().size();
    const std::size_t ny = den_grid.front().size();
    const std::size_t nz = den_grid.size();
    // The misfit of the grid that was replaced no longer describes the model.
    if (misfit_label)
        misfit_label->clear();

    calculated_params = {static_cast<double>(nx), static_cast<double>(ny), x_calc.front(), x_calc.back(),
                         y_calc.front(), y_calc.back()};
    alpha_factor = 0;
    if (!horizons.empty())
        regridHorizonsToGrid();
    dropStaleOperators();

    ui->view_dens->setChecked(true);
    on_view_dens_triggered();
    progress_bar.hide();
    showReadNotes(*this, read);
}

void MainWindow::on_open_regularizer_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, openCaption(), QString(), cube_file_filter());
    if (path.isEmpty())
        return;
    CubeRead read;
    if (readCube(*this, path, read) != ReadResult::Read)
        return;
    regularizer_read = read.cube;
    regularizer = std::move(read.cube);
    x_reg = std::move(read.x);
    y_reg = std::move(read.y);
    z_reg = std::move(read.z);
    crop_borders = wholeCubeCrop(regularizer);
    // The values just read are the raw regularizer.
    regularizer_scale = 1;
    regularizer_offsets.clear();
    recalcRegularizer();
    on_view_reg_triggered();
    showReadNotes(*this, read);
}

// Open Vp and open Vs differ only in the cube they fill and show.
static void openVelocityCube(MainWindow& w, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                             std::vector<double>& z, QAction* view, void (MainWindow::*show)())
{
    if (w.refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(&w, openCaption(), QString(), cube_file_filter());
    if (path.isEmpty())
        return;
    CubeRead read;
    switch (readCube(w, path, read)) {
    case ReadResult::Read:
        cube = std::move(read.cube);
        x = std::move(read.x);
        y = std::move(read.y);
        z = std::move(read.z);
        break;
    case ReadResult::Failed:
        return;
    case ReadResult::UnknownSuffix:
        if (cube.empty())
            return;  // nothing to show again: the message said enough
        break;       // the cube already loaded is shown again
    }
    w.crop_borders = wholeCubeCrop(cube);
    view->setChecked(true);
    (w.*show)();
    showReadNotes(w, read);
}

void MainWindow::on_open_vel_vp_triggered()
{
    openVelocityCube(*this, Vp_grid, x_vp, y_vp, z_vp, ui->view_Vp, &MainWindow::on_view_Vp_triggered);
}

void MainWindow::on_open_vel_vs_triggered()
{
    openVelocityCube(*this, Vs_grid, x_vs, y_vs, z_vs, ui->view_Vs, &MainWindow::on_view_Vs_triggered);
}

// The frame of the cube save commands: a message when there is nothing to
// save, else the name asked, `write` to it, the progress bar hidden and
// `saved_text` shown when the file was written.
static void saveCubeCommand(MainWindow& w, bool empty, const QString& empty_text, const QString& saved_text,
                            const std::function<bool(const QString&)>& write)
{
    if (empty) {
        w.show_error(empty_text);
        return;
    }
    const QString path = interaction()->saveFileName(&w, saveCaption(), QString(), cube_file_filter());
    if (path.isEmpty())
        return;
    const bool saved = write(path);
    w.progress_bar.hide();
    if (saved)
        w.show_message(saved_text);
}

void MainWindow::on_save3Dgrid_triggered()
{
    saveCubeCommand(*this, den_grid.empty(), byLanguage(language, "3D грид плотности пуст", "3D density grid is empty"),
                    byLanguage(language, "Грид плотности успешно сохранен", "Density model has been saved"),
                    [this](const QString& path) { return writeCube(*this, path, den_grid, x_calc, y_calc, z_calc); });
}

void MainWindow::on_save_3D_vel_grid_triggered()
{
    saveCubeCommand(*this, Vp_grid.empty(), byLanguage(language, "3D грид Vp пуст", "3D Vp grid is empty"),
                    byLanguage(language, "Модель Vp успешно сохранена", "Vp model has been saved"),
                    [this](const QString& path) { return writeCube(*this, path, Vp_grid, x_vp, y_vp, z_vp); });
}

void MainWindow::on_save_regularizer_triggered()
{
    saveCubeCommand(*this, regularizer.empty(),
                    byLanguage(language, "Регуляризатор не загружен в проект", "Regularizer is empty"),
                    byLanguage(language, "Регуляризатор успешно сохранен", "Regularizer has been saved"),
                    [this](const QString& path) {
                        // The file holds the regularizer in the units it was
                        // read in; the normalised grid in memory stays
                        // exactly as it is.
                        const vector3D raw = regularizers::regularizer_for_file(regularizer, regularizer_offsets,
                                                                                regularizer_scale, regularizer_read);
                        return writeCube(*this, path, raw, x_reg, y_reg, z_reg);
                    });
}
