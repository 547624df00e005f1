// Slice exports of the density grid: one Surfer 6 text grid per level, row
// or column, whatever cube the 3D view shows. The files are named after a
// base name the user chooses and the slice's coordinate.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "formats/file_commands.h"
#include "formats/progress_bar_scope.h"
#include "formats/surfer_grid.h"
#include "views/slice_export.h"

namespace {

void exportSlices(MainWindow& w, slices::Kind kind)
{
    if (w.den_grid.empty())
        return;
    const vector3D& cube = w.den_grid;
    if (!cube_is_regular(cube) || w.x_calc.size() != cube.front().front().size() ||
        w.y_calc.size() != cube.front().size() || w.z_calc.size() != cube.size()) {
        w.show_error(byLanguage(w.language, "Координаты узлов 3D грида плотности не соответствуют его размерам",
                                "Node coordinates of the 3D density grid do not match its size"));
        return;
    }
    const int nx = int(w.x_calc.size()), ny = int(w.y_calc.size()), nz = int(w.z_calc.size());
    if (!slices::slices_writable(kind, nx, ny, nz)) {
        w.show_error(byLanguage(w.language,
                                "Срезы этого направления имеют одну строку или один столбец: "
                                "грид Surfer должен иметь не менее двух строк и двух столбцов",
                                "Slices of this direction have a single row or column: "
                                "a Surfer grid needs at least two rows and two columns"));
        return;
    }

    const QString chosen =
        interaction()->saveFileName(&w, QStringLiteral("Save file"), QString(), QStringLiteral("*.grd"));
    if (chosen.isEmpty())
        return;

    const std::vector<double> geometry = slices::slice_geometry(kind, w.x_calc, w.y_calc, w.z_calc);
    const QStringList names = slices::slice_file_names(
        slices::base_name(chosen), kind, slices::naming_nodes(kind, w.x_calc, w.y_calc, w.z_calc));
    const int n = slices::slice_count(kind, nx, ny, nz);
    QString failure;
    {
        RunGuard run(&w, RunKind::FileWrite);
        if (!run)
            return;
        ProgressBarScope bar(&w.progress_bar);  // hidden again when the loop ends
        const CodecProgress progress = bar.callback();
        for (int s = 0; s < n; ++s) {
            progress(s * 100 / n);
            if (w.abort_requested)
                return;  // the window is closing
            CodecStatus status;
            if (kind == slices::Kind::Levels)
                status = write_surfer6_text_grid(names[s], slices::level_slice(cube, s), geometry);
            else if (kind == slices::Kind::Rows)
                status = write_surfer6_text_grid(names[s], slices::row_slice(cube, s), geometry);
            else
                status = write_surfer6_text_grid(names[s], slices::column_slice(cube, s), geometry);
            if (!status) {
                // Slices written before stay; the rest are not attempted.
                failure = file_failure_text(names[s], status, w.language, true);
                break;
            }
        }
    }
    if (!failure.isEmpty()) {
        w.show_error(failure);
        return;
    }
    w.show_message(byLanguage(w.language, "Срезы сохранены", "Slices saved"));
}

}  // namespace

void MainWindow::on_ecportXYslices_triggered()
{
    exportSlices(*this, slices::Kind::Levels);
}

void MainWindow::on_exportXZslices_triggered()
{
    exportSlices(*this, slices::Kind::Rows);
}

void MainWindow::on_exportYZslices_triggered()
{
    exportSlices(*this, slices::Kind::Columns);
}
