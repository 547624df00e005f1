#pragma once
// A small layered model for the layered-inversion and horizon-fitting tests:
// undulating horizons over a regular density grid, the grid filled from
// per-layer densities, and its forward field.
#include "common/types.h"
#include "engine/forward.h"
#include "test_nodes.h"

#include <cmath>
#include <vector>

namespace layeredtest {

struct Model
{
    int nx = 16, ny = 12, nz = 12;
    std::vector<double> x, y, z;
    double calc_level = -20;
    double expansion = 0.5;
    std::vector<field2D> horizons;  // horizon 0 at the top, then undulating ones
};

// Horizon 0 at depth 0, horizon 1 around 150 m, horizon 2 around 350 m
// (three layers); `layers` = 2 keeps only the first two horizons.
inline Model make_model(int layers = 3, int nx = 16, int ny = 12, int nz = 12, double dz = 50)
{
    Model m;
    m.nx = nx;
    m.ny = ny;
    m.nz = nz;
    m.x = nodes(nx, 10000, 100);
    m.y = nodes(ny, 20000, 100);
    m.z = nodes(nz, 0, dz);
    const double pi = 3.14159265358979323846;
    field2D h0(ny, std::vector<double>(nx, 0.0)), h1 = h0, h2 = h0;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            h1[j][i] = 150 + 70 * std::sin(2 * pi * i / nx) * std::cos(2 * pi * j / ny);
            h2[j][i] = 350 + 60.0 * (i - nx / 2) / nx + 40 * std::sin(2 * pi * j / ny);
        }
    m.horizons = {h0, h1};
    if (layers >= 3)
        m.horizons.push_back(h2);
    return m;
}

// The layer of depth d at node (j, i): the number of horizons below the
// top that lie at or above d (horizons do not cross here).
inline int layer_of(const std::vector<field2D>& h, int j, int i, double d)
{
    int layer = 0;
    for (std::size_t m = 1; m < h.size(); ++m)
        if (h[m][j][i] <= d)
            layer = static_cast<int>(m);
    return layer;
}

// Cell (k, j, i) at depth z0 + k * dz takes the density of its layer.
inline vector3D layered_grid(const Model& m, const std::vector<field2D>& horizons,
                             const std::vector<double>& densities)
{
    vector3D g(m.nz, vector2D(m.ny, std::vector<float>(m.nx, 0.0f)));
    const double dz = m.z[1] - m.z[0];
    for (int k = 0; k < m.nz; ++k)
        for (int j = 0; j < m.ny; ++j)
            for (int i = 0; i < m.nx; ++i)
                g[k][j][i] = static_cast<float>(densities[layer_of(horizons, j, i, m.z[0] + k * dz)]);
    return g;
}

inline ForwardGeometry geometry(const Model& m)
{
    ForwardGeometry g;
    forward_geometry(m.nx, m.ny, m.nz, m.x, m.y, m.z, m.calc_level, m.expansion, g);
    return g;
}

// Field of a grid, in double precision with nothing stored.
inline field2D field_of(const Model& m, const vector3D& grid)
{
    field2D f;
    forward_without_store(grid, geometry(m), f, 1);
    return f;
}

inline double rms_difference(const field2D& a, const field2D& b)
{
    double s = 0;
    std::size_t n = 0;
    for (std::size_t j = 0; j < a.size(); ++j)
        for (std::size_t i = 0; i < a[j].size(); ++i) {
            s += (a[j][i] - b[j][i]) * (a[j][i] - b[j][i]);
            ++n;
        }
    return n ? std::sqrt(s / n) : 0.0;
}

}  // namespace layeredtest
