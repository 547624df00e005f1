// Surfer grids written for the vertical-section dialog.
#include "app/mainwindow.h"
#include "formats/surfer_grid.h"

QString MainWindow::saveSRF(QString dir, std::vector<std::vector<double>>& grd, std::vector<double>& params)
{
    const CodecStatus status = write_surfer7_grid(dir, grd, params);
    return status ? QString() : status.message(language);
}
