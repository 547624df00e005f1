#include "views/slice_export.h"

#include <QSet>

#include <cstddef>

namespace slices {

int slice_count(Kind kind, int nx, int ny, int nz)
{
    switch (kind) {
    case Kind::Levels:
        return nz;
    case Kind::Rows:
        return ny;
    case Kind::Columns:
        return nx;
    }
    return 0;
}

int slice_rows(Kind kind, int, int ny, int nz)
{
    return kind == Kind::Levels ? ny : nz;
}

int slice_columns(Kind kind, int nx, int ny, int)
{
    return kind == Kind::Columns ? ny : nx;
}

bool slices_writable(Kind kind, int nx, int ny, int nz)
{
    return slice_count(kind, nx, ny, nz) > 0 && slice_rows(kind, nx, ny, nz) >= 2 &&
           slice_columns(kind, nx, ny, nz) >= 2;
}

std::vector<double> slice_geometry(Kind kind, const std::vector<double>& x, const std::vector<double>& y,
                                   const std::vector<double>& z)
{
    const std::vector<double>* across = &x;
    const std::vector<double>* down = &y;
    if (kind == Kind::Rows)
        down = &z;
    else if (kind == Kind::Columns)
        across = &y, down = &z;
    if (across->empty() || down->empty())
        return {};
    return {double(across->size()), double(down->size()), across->front(), across->back(), down->front(),
            down->back()};
}

vector2D level_slice(const vector3D& cube, int level)
{
    return cube[std::size_t(level)];
}

field2D row_slice(const vector3D& cube, int row)
{
    const std::size_t nz = cube.size();
    const std::size_t nx = cube.front().front().size();
    field2D g(nz, std::vector<double>(nx));
    for (std::size_t l = 0; l < nz; ++l)
        for (std::size_t c = 0; c < nx; ++c)
            g[l][c] = cube[l][std::size_t(row)][c];
    return g;
}

field2D column_slice(const vector3D& cube, int column)
{
    const std::size_t nz = cube.size();
    const std::size_t ny = cube.front().size();
    field2D g(nz, std::vector<double>(ny));
    for (std::size_t l = 0; l < nz; ++l)
        for (std::size_t r = 0; r < ny; ++r)
            g[l][r] = cube[l][r][std::size_t(column)];
    return g;
}

const std::vector<double>& naming_nodes(Kind kind, const std::vector<double>& x, const std::vector<double>& y,
                                        const std::vector<double>& z)
{
    switch (kind) {
    case Kind::Levels:
        return z;
    case Kind::Rows:
        return y;
    case Kind::Columns:
        return x;
    }
    return z;
}

QString base_name(const QString& chosen)
{
    if (chosen.endsWith(QStringLiteral(".grd"), Qt::CaseInsensitive))
        return chosen.left(chosen.size() - 4);
    return chosen;
}

QStringList slice_file_names(const QString& base, Kind kind, const std::vector<double>& coordinates)
{
    const QString part = kind == Kind::Levels ? QStringLiteral(" Z = ")
                         : kind == Kind::Rows ? QStringLiteral(" Y = ")
                                              : QStringLiteral(" X = ");
    QStringList names;
    for (int digits = 6; digits <= 17; ++digits) {
        names.clear();
        QSet<QString> seen;
        bool distinct = true;
        for (double c : coordinates) {
            const QString name = base + part + QString::number(c, 'g', digits) + QStringLiteral(".grd");
            if (seen.contains(name))
                distinct = false;
            seen.insert(name);
            names << name;
        }
        if (distinct)
            break;
    }
    return names;
}

}  // namespace slices
