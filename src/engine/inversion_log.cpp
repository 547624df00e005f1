#include "engine/inversion_log.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <algorithm>

namespace inversion_log {

QString log_file_path(const QString& dir)
{
    return dir + QStringLiteral("/log.txt");
}

QString calculated_grid_path(const QString& dir, int n)
{
    return dir + QStringLiteral("/calc Vz iter ") + QString::number(n) + QStringLiteral(".grd");
}

QString residual_grid_path(const QString& dir, int n)
{
    return dir + QStringLiteral("/dVz iter ") + QString::number(n) + QStringLiteral(".grd");
}

QString model_cube_path(const QString& dir, int n)
{
    return dir + QStringLiteral("/Density Iter ") + QString::number(n) + QStringLiteral(".3Dgrd");
}

QString start_text(const QDateTime& when)
{
    return QStringLiteral("start at ") + when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
           + QStringLiteral("\nN_iter RMSE(mGal) Min_delta(mGal) Max_delta(mGal) t(s)\n");
}

QString iteration_line(int n, double rms, double smallest, double largest, double seconds)
{
    const QChar blank(' ');
    return QString::number(n) + blank + QString::number(rms, 'g', 6) + blank + QString::number(smallest, 'g', 6)
           + blank + QString::number(largest, 'g', 6) + blank + QString::number(seconds, 'g', 6)
           + QLatin1Char('\n');
}

ResidualExtremes residual_extremes(const field2D& observed, const field2D& calculated)
{
    const double shift = grid_mean(observed) - grid_mean(calculated);
    ResidualExtremes e;
    bool first = true;
    for (std::size_t j = 0; j < observed.size(); ++j)
        for (std::size_t i = 0; i < observed[j].size(); ++i) {
            const double d = observed[j][i] - calculated[j][i] - shift;
            if (first) {
                e.smallest = e.largest = d;
                first = false;
            } else if (d < e.smallest) {
                e.smallest = d;
            } else if (d > e.largest) {
                e.largest = d;
            }
        }
    return e;
}

field2D shifted_calculated(const field2D& observed, const field2D& calculated)
{
    field2D out = calculated;
    grid_add_scalar(out, grid_mean(observed) - grid_mean(calculated));
    return out;
}

field2D mean_free_residual(const field2D& observed, const field2D& calculated)
{
    field2D out = observed;
    grid_subtract(out, calculated);
    grid_add_scalar(out, -grid_mean(out));
    return out;
}

vector3D model_window(const vector3D& padded, int nx, int ny, int row0, int column0)
{
    if (nx <= 0 || ny <= 0 || row0 < 0 || column0 < 0)
        return {};
    vector3D out(padded.size());
    for (std::size_t k = 0; k < padded.size(); ++k) {
        if (padded[k].size() < static_cast<std::size_t>(row0 + ny))
            return {};
        out[k].resize(ny);
        for (int j = 0; j < ny; ++j) {
            const auto& row = padded[k][row0 + j];
            if (row.size() < static_cast<std::size_t>(column0 + nx))
                return {};
            out[k][j].assign(row.begin() + column0, row.begin() + column0 + nx);
        }
    }
    return out;
}

} // namespace inversion_log
