// Own cube files "*.3Dgrd" read and written for the main window.
#include "app/mainwindow.h"
#include "formats/cube_file.h"
#include "formats/progress_bar_scope.h"

bool MainWindow::import3Dgrid(const QString& s, vector3D& dens, std::vector<double>& x, std::vector<double>& y,
                              std::vector<double>& z)
{
    cube_bounds bounds{};
    CodecStatus status;
    {
        ProgressBarScope progress(&progress_bar);
        status = read_cube_file(s, dens, x, y, z, &bounds, progress.callback());
    }
    if (!status) {
        if (status.code() != CodecError::Cancelled)
            show_error(status.message(language));
        return false;
    }
    model_bounds = bounds;
    return true;
}

bool MainWindow::export3Dgrid(const QString& s, const vector3D& dens, const std::vector<double>& x_calc,
                              const std::vector<double>& y_calc, const std::vector<double>& z_calc)
{
    CodecStatus status;
    {
        ProgressBarScope progress(&progress_bar);
        status = write_cube_file(s, dens, x_calc, y_calc, z_calc, progress.callback());
    }
    if (!status) {
        if (status.code() != CodecError::Cancelled)
            show_error(status.message(language));
        return false;
    }
    return true;
}
