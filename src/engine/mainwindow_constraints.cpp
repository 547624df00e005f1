// The constraints of the 3D inversion's model-filling stage as the run calls
// them: each edits the run's padded space-domain model in place through the
// engine's constraint functions, processing pending events before every
// level so that a stop press reaches the run.
#include "app/mainwindow.h"
#include "engine/inversion_constraints.h"

#include <QCoreApplication>

namespace {

constraints::ModelWindow window_of(int nx, int ny, int px, int py)
{
    constraints::ModelWindow w;
    w.nx = nx;
    w.ny = ny;
    w.px = px;
    w.py = py;
    return w;
}

void process_events() { QCoreApplication::processEvents(); }

} // namespace

bool MainWindow::build_sign_mask(int source, const vector3D& grid, std::vector<unsigned char>& mask)
{
    return constraints::build_sign_mask(source, grid, regularizer, mask);
}

void MainWindow::restore_fixed_layers(vector3D& re, vector3D& im, int nx, int ny, int px, int py,
                                      const vector3D& grid, const std::vector<field2D>& layer_horizons,
                                      const std::vector<bool>& fixed_layers, double z0, double dz)
{
    constraints::restore_fixed_layers(re, im, window_of(nx, ny, px, py), grid, layer_horizons, fixed_layers, z0, dz,
                                      process_events);
}

void MainWindow::apply_positive_density(vector3D& re, vector3D& im, int nx, int ny, int px, int py,
                                        const vector3D& grid, bool positive)
{
    constraints::apply_positive_density(re, im, window_of(nx, ny, px, py), grid, positive, process_events);
}

void MainWindow::blend_initial_model(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& grid,
                                     vector3D& reference, int type)
{
    constraints::blend_initial_model(re, im, window_of(nx, ny, px, py), grid, reference, type, process_events);
}

void MainWindow::blend_uploaded_regularizer(vector3D& re, vector3D& im, int nx, int ny, int px, int py,
                                            const vector3D& reg, vector3D& reference)
{
    constraints::blend_uploaded_regularizer(re, im, window_of(nx, ny, px, py), reg, reference, process_events);
}

void MainWindow::apply_density_limits(vector3D& re, int, int, int, int, double lower, double upper)
{
    constraints::apply_density_limits(re, lower, upper);
}

void MainWindow::apply_sign_constraint(vector3D& re, vector3D&, int nx, int ny, int px, int py, const vector3D& grid,
                                       const std::vector<unsigned char>& mask, int type)
{
    constraints::apply_sign_constraint(re, window_of(nx, ny, px, py), grid, mask, type, process_events);
}

void MainWindow::apply_lateral_means(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& grid,
                                     const std::vector<field2D>& layer_horizons, const std::vector<bool>& fixed_layers,
                                     double z0, double dz, bool positive)
{
    constraints::apply_lateral_means(re, im, window_of(nx, ny, px, py), grid, layer_horizons, fixed_layers, z0, dz,
                                     positive, process_events);
}
