#include "views/crop_rules.h"

#include "common/text_numbers.h"

#include <cmath>
#include <cstddef>

namespace crop {

int face_axis(Face f)
{
    switch (f) {
    case Face::Left:
    case Face::Right:
        return 0;
    case Face::Front:
    case Face::Back:
        return 1;
    case Face::Top:
    case Face::Bottom:
        return 2;
    }
    return 0;
}

int view_position(Face f)
{
    switch (f) {
    case Face::Bottom:
        return 0;
    case Face::Top:
        return 1;
    case Face::Left:
        return 2;
    case Face::Right:
        return 3;
    case Face::Back:
        return 4;
    case Face::Front:
        return 5;
    }
    return 0;
}

bool first_of_pair(Face f)
{
    return f == Face::Left || f == Face::Front || f == Face::Top;
}

int drawn_index(Face f, int index, int n)
{
    if (n <= 0)
        return -1;
    if (index < 0)
        return first_of_pair(f) ? 0 : n - 1;
    return index >= n ? n - 1 : index;
}

vector2D face_grid(const vector3D& cube, Face f, int index, bool absolute)
{
    if (cube.empty() || cube.front().empty() || cube.front().front().empty() || index < 0)
        return {};
    const std::size_t nz = cube.size();
    const std::size_t ny = cube.front().size();
    const std::size_t nx = cube.front().front().size();
    const std::size_t at = static_cast<std::size_t>(index);
    auto cell = [&](std::size_t l, std::size_t r, std::size_t c) -> data_type {
        const vector2D& level = cube[l];
        if (r >= level.size() || c >= level[r].size())
            return 0;
        const data_type v = level[r][c];
        return absolute ? std::abs(v) : v;
    };

    vector2D g;
    switch (face_axis(f)) {
    case 0:  // [row][level] of column `at`
        if (at >= nx)
            return {};
        g.assign(ny, std::vector<data_type>(nz));
        for (std::size_t r = 0; r < ny; ++r)
            for (std::size_t l = 0; l < nz; ++l)
                g[r][l] = cell(l, r, at);
        break;
    case 1:  // [level][column] of row `at`
        if (at >= ny)
            return {};
        g.assign(nz, std::vector<data_type>(nx));
        for (std::size_t l = 0; l < nz; ++l)
            for (std::size_t c = 0; c < nx; ++c)
                g[l][c] = cell(l, at, c);
        break;
    default:  // level `at`, [row][column]
        if (at >= nz)
            return {};
        g.assign(ny, std::vector<data_type>(nx));
        for (std::size_t r = 0; r < ny; ++r)
            for (std::size_t c = 0; c < nx; ++c)
                g[r][c] = cell(at, r, c);
        break;
    }
    return g;
}

double node_step(double first, double last, int count)
{
    return count > 1 ? (last - first) / double(count - 1) : 0.0;
}

QString slider_label(const QString& letter, double coordinate)
{
    return QStringLiteral("<html><p align='center'>") + letter + QStringLiteral(" = ") +
           text_numbers::label_text(coordinate) + QStringLiteral("</html>");
}

}  // namespace crop
