// Cubes exchanged as plain text: the XYZDens import and exports (abortable
// with Esc) and the cell table of the density grid.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/run_guard.h"
#include "formats/file_commands.h"
#include "formats/progress_bar_scope.h"
#include "formats/xyz_cube.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <cmath>

namespace {

QString xyzFilter() { return QStringLiteral("XYZDens file (*.xyz)"); }

// English when language is 1, Russian otherwise.
QString text(int language, const char* english, const char* russian)
{
    return QString::fromUtf8(language == 1 ? english : russian);
}

// Progress of an abortable file operation: moves the progress bar, lets all
// pending events run (so that Esc reaches the key handler) and stops when the
// user asked to abort. The run guard of the operation keeps the commands that
// change the project disabled meanwhile.
class AbortableProgress {
public:
    explicit AbortableProgress(MainWindow& window) : w(window) {}
    CodecProgress callback()
    {
        return [this](int percent) {
            if (w.progress_bar.isHidden())
                w.progress_bar.show();
            if (w.progress_bar.value() != percent)
                w.progress_bar.setValue(percent);
            if (!since_events.isValid() || since_events.elapsed() >= 20) {
                QCoreApplication::processEvents();
                since_events.start();
            }
            return !w.abort_requested;
        };
    }

private:
    MainWindow& w;
    QElapsedTimer since_events;
};

// Writes one cube as an XYZDens file (the density and the Vp export).
void exportXyz(MainWindow& w, const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
               const std::vector<double>& z, const QString& empty_text, const QString& saved_text)
{
    if (cube.empty()) {
        w.show_error(empty_text);
        return;
    }
    const QString path =
        interaction()->saveFileName(&w, QStringLiteral("Save XYZDensity file"), QString(), xyzFilter());
    if (path.isEmpty())
        return;
    CodecStatus status;
    {
        RunGuard run(&w, RunKind::FileWrite);
        if (!run)
            return;
        w.progress_bar.setValue(0);
        w.progress_bar.show();
        AbortableProgress progress(w);
        status = write_xyz_cube(path, cube, x, y, z, progress.callback());
        w.progress_bar.hide();
        w.abort_requested = false;
    }
    if (!status) {
        // An abort leaves no file behind and is not reported.
        if (status.code() != CodecError::Cancelled)
            w.show_error(file_failure_text(path, status, w.language, true));
        return;
    }
    w.show_message(saved_text);
}

}  // namespace

void MainWindow::on_importXYZDens_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(), xyzFilter());
    if (path.isEmpty())
        return;

    RunGuard run(this, RunKind::FileRead);
    if (!run)
        return;
    vector3D cube;
    std::vector<double> x, y, z;
    progress_bar.setValue(0);
    progress_bar.show();
    if (progress_label)
        progress_label->setText(QStringLiteral("Import"));
    CodecStatus status;
    {
        AbortableProgress progress(*this);
        status = read_xyz_cube(path, cube, x, y, z, progress.callback());
    }
    if (!status) {
        // The grid in the project stays as it was.
        if (progress_label)
            progress_label->clear();
        progress_bar.hide();
        abort_requested = false;
        if (status.code() != CodecError::Cancelled)
            show_error(file_failure_text(path, status, language, false));
        return;
    }

    den_grid = std::move(cube);
    undo_stack.clear();  // the snapshots belong to the grid replaced
    x_calc = x;
    y_calc = y;
    z_calc = z;
    x_norm = std::move(x);
    y_norm = std::move(y);
    z_norm = std::move(z);
    const int nz = static_cast<int>(den_grid.size());
    const int ny = static_cast<int>(den_grid.front().size());
    const int nx = static_cast<int>(den_grid.front().front().size());
    crop_borders = {{0, nx - 1, ny - 1, 0, 0, nz - 1}};  // left, right, front, back, top, bottom
    dropStaleOperators();
    on_view_cube_triggered();
    progress_bar.hide();
    abort_requested = false;
}

void MainWindow::on_export_XYZDens_triggered()
{
    exportXyz(*this, den_grid, x_calc, y_calc, z_calc,
              text(language, "3D density grid is empty", "3D грид плотности пуст"),
              text(language, "Density model has been saved", "Грид плотности успешно сохранен"));
}

void MainWindow::on_export_XYZVp_triggered()
{
    exportXyz(*this, Vp_grid, x_vp, y_vp, z_vp, text(language, "3D Vp grid is empty", "3D грид Vp пуст"),
              text(language, "Vp model has been saved", "Модель Vp успешно сохранена"));
}

void MainWindow::on_export_text_table_triggered()
{
    const QString path = interaction()->saveFileName(this, QStringLiteral("Save file"), QString(), QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    // Model coordinates from the 3D view's copies and their exponents.
    auto model = [](const std::vector<double>& nodes, int exponent) {
        std::vector<double> out(nodes);
        if (exponent != 0) {
            const double factor = std::pow(10.0, exponent);
            for (double& v : out)
                v *= factor;
        }
        return out;
    };
    const std::vector<double> x = model(x_norm, norm_factors.exponent[0]);
    const std::vector<double> y = model(y_norm, norm_factors.exponent[1]);
    const std::vector<double> z = model(z_norm, norm_factors.exponent[2]);
    CodecStatus status;
    {
        ProgressBarScope progress(&progress_bar);
        progress_bar.setValue(0);
        progress_bar.show();
        status = write_cell_table(path, den_grid, x, y, z, progress.callback());
    }
    if (!status)
        show_error(file_failure_text(path, status, language, true));
}
