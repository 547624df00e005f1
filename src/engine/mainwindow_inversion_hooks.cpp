// Entry point of the layered inversion, still an empty body: the dialog's
// layered kind reaches it and nothing happens yet.
//
// TO BE FILLED by the layered-inversion work: move the body to its own file
// and delete this one.
#include "app/mainwindow.h"

// ---- Layered inversion

void MainWindow::start_polygonal_inversion(std::vector<double>) {}
