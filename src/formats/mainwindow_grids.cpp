// Surfer grids written for the vertical-section dialog.
#include "app/mainwindow.h"
#include "formats/surfer_grid.h"

bool MainWindow::saveSRF(QString dir, std::vector<std::vector<double>>& grd, std::vector<double>& params)
{
    const CodecStatus status = write_surfer7_grid(dir, grd, params);
    if (!status)
        show_error(status.message(language));
    return status.ok();
}
