#pragma once
// The inversion log: the texts of "log.txt" and the two fields written per
// logged iteration. The main window writes them into the chosen directory
// (src/engine/mainwindow_inversion_log.cpp).
#include "common/types.h"

#include <QDateTime>
#include <QString>

namespace inversion_log {

// File names inside the log directory; n is the iteration number.
QString log_file_path(const QString& dir);                      // dir + "/log.txt"
QString calculated_grid_path(const QString& dir, int n);        // dir + "/calc Vz iter n.grd"
QString residual_grid_path(const QString& dir, int n);          // dir + "/dVz iter n.grd"
QString model_cube_path(const QString& dir, int n);             // dir + "/Density Iter n.3Dgrd"

// "start at dd.MM.yyyy hh:mm:ss\n" followed by the column header line.
QString start_text(const QDateTime& when);

// One iteration line: n, the misfit, the smallest and the largest
// residual and the time in seconds, blank-separated, reals as
// QString::number(value, 'g', 6), ending with a line break.
QString iteration_line(int n, double rms, double smallest, double largest, double seconds);

struct ResidualExtremes {
    double smallest = 0;
    double largest = 0;
};

// Extremes of the mean-free residual: over every cell of `observed`,
// d = observed - calculated - (mean observed - mean calculated). Both grids
// must have the same shape with at least one cell.
ResidualExtremes residual_extremes(const field2D& observed, const field2D& calculated);

// The calculated field shifted to the observed field's mean.
field2D shifted_calculated(const field2D& observed, const field2D& calculated);

// Observed minus calculated, less its own mean.
field2D mean_free_residual(const field2D& observed, const field2D& calculated);

// The model window of a padded model: levels of `ny` rows from padded row
// `row0`, `nx` columns from padded column `column0`. Empty when the window
// does not fit the padded levels.
vector3D model_window(const vector3D& padded, int nx, int ny, int row0, int column0);

} // namespace inversion_log
