// Entry points of the 3D inversion that the constraints, the inversion log
// and the layered inversion fill in. The run calls them as named below; until
// that work lands each one is an empty body (the log settings are already
// stored so that the dialog gets them back).
//
// TO BE FILLED by the inversion-constraints and log work: move each body to
// its own file (mainwindow_inversion_constraints.cpp, mainwindow_inversion_log.cpp)
// and delete it here.
#include "app/mainwindow.h"

// ---- Model-filling stage: each edits the padded space-domain model in place.

// Builds one flag per model cell (true where the source cell is above 0);
// false switches the sign constraint off for the run.
bool MainWindow::build_sign_mask(int, const vector3D&, std::vector<unsigned char>& mask)
{
    mask.clear();
    return false;
}

void MainWindow::restore_fixed_layers(vector3D&, vector3D&, int, int, int, int, const vector3D&,
                                      const std::vector<field2D>&, const std::vector<bool>&, double, double)
{
}

void MainWindow::apply_positive_density(vector3D&, vector3D&, int, int, int, int, const vector3D&, bool) {}

void MainWindow::blend_initial_model(vector3D&, vector3D&, int, int, int, int, const vector3D&, vector3D&, int) {}

void MainWindow::blend_uploaded_regularizer(vector3D&, vector3D&, int, int, int, int, const vector3D&, vector3D&) {}

void MainWindow::apply_density_limits(vector3D&, int, int, int, int, double, double) {}

void MainWindow::apply_sign_constraint(vector3D&, vector3D&, int, int, int, int, const vector3D&,
                                       const std::vector<unsigned char>&, int)
{
}

void MainWindow::apply_lateral_means(vector3D&, vector3D&, int, int, int, int, const vector3D&,
                                     const std::vector<field2D>&, const std::vector<bool>&, double, double, bool)
{
}

// ---- Inversion log

void MainWindow::setLogParams(QString& text, bool save)
{
    save_log = save;
    log_dir = text;
}

void MainWindow::saveInvLog(int, double, double) {}

void MainWindow::saveIntermediateModel(int, vector3D&, int, int) {}

// ---- Layered inversion

void MainWindow::start_polygonal_inversion(std::vector<double>) {}
