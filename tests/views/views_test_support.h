#pragma once
// Fixtures shared by the view tests: a density cube with its nodes, as a cube
// load leaves it (nodes() of test_nodes.h gives evenly stepped ones), and a
// runner for the external tools (GDAL) that read the exported files back.
#include "app/mainwindow.h"
#include "test_nodes.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace views_test {

// n nodes spread evenly from `first` to `last`; a single node sits at `first`.
inline std::vector<double> spreadNodes(int n, double first, double last)
{
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(n > 1 ? first + (last - first) * i / (n - 1) : first);
    return v;
}

// The density grid den_grid[k][j][i] = value(k, j, i) on the nodes x, y and
// depth z (their counts give the shape); the view nodes are the same.
inline void giveDensityCube(MainWindow& w, const std::vector<double>& x, const std::vector<double>& y,
                            const std::vector<double>& z, const std::function<float(int, int, int)>& value)
{
    const int nz = int(z.size()), ny = int(y.size()), nx = int(x.size());
    w.den_grid.assign(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                w.den_grid[k][j][i] = value(k, j, i);
    w.x_calc = w.x_norm = x;
    w.y_calc = w.y_norm = y;
    w.z_calc = w.z_norm = z;
}

// Runs a program to its end; false, with the reason in *log, when it does not
// start, takes over a minute or exits with an error. *log holds its error
// output otherwise.
inline bool runTool(const QString& program, const QStringList& args, QString* out, QString* log)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
        *log = program + " did not run: " + p.errorString();
        return false;
    }
    *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    *log = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace views_test
