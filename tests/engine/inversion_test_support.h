#pragma once
// A small spectral inversion problem built from first principles for the
// tests: padded geometry, edge-replicated padding, the stored operator from
// the prism kernel, and a brute-force circular operator to check against.
#include "common/types.h"
#include "engine/effects_operator.h"
#include "engine/fft.h"
#include "engine/prism.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <random>
#include <vector>

namespace invtest {

struct Problem {
    int nx = 0, ny = 0, nz = 0;
    int Mx = 0, My = 0, px = 0, py = 0;
    double dx = 0, dy = 0, dz = 0;
    double x0 = 0, y0 = 0, z0 = 0;
    double zc = 0; // calculation level
    std::vector<double> xp, yp; // padded nodes
    EffectsOperator op;         // the stored operator, one level per model level

    double depth(int k) const { return z0 + k * dz; }
    int half() const { return Mx > 1 ? Mx / 2 + 1 : Mx; } // columns of a half spectrum
};

inline Problem make_problem(int nx, int ny, int nz, double p, double dx = 100, double dy = 80, double dz = 50,
                            double z0 = 0, double zc = -10)
{
    Problem g;
    g.nx = nx;
    g.ny = ny;
    g.nz = nz;
    g.Mx = fft_padded_size(nx, p);
    g.My = fft_padded_size(ny, p);
    g.px = (g.Mx - nx) / 2;
    g.py = (g.My - ny) / 2;
    g.dx = dx;
    g.dy = dy;
    g.dz = dz;
    g.x0 = 1000;
    g.y0 = 2000;
    g.z0 = z0;
    g.zc = zc;
    for (int i = 0; i < g.Mx; ++i)
        g.xp.push_back(g.x0 + (i - g.px) * dx);
    for (int j = 0; j < g.My; ++j)
        g.yp.push_back(g.y0 + (j - g.py) * dy);
    const double xc = g.xp[g.Mx / 2], yc = g.yp[g.My / 2];
    g.op.shape(nz, g.My, g.Mx);
    for (int k = 0; k < nz; ++k) {
        field2D cell(g.My, std::vector<double>(g.Mx, 0.0));
        prism_gravity_kernel(g.xp, g.yp, zc - 1e-6, {xc - dx / 2, xc + dx / 2}, {yc - dy / 2, yc + dy / 2},
                             {g.depth(k), g.depth(k) + dz}, 1.0, cell);
        vector2D re(g.My, std::vector<float>(g.Mx, 0.0f)), im = re;
        fft_shift(cell, re);
        fft_2d(re, im, fft_forward);
        if (!effects_fold_level(re.data(), g.My, g.Mx, g.op.quarter[k]))
            std::abort();  // the spectrum of the centred cell is even
    }
    return g;
}

// Edge replication of a model-sized grid onto the padded grid.
template <typename Cell>
std::vector<std::vector<Cell>> pad(const std::vector<std::vector<Cell>>& f, const Problem& g)
{
    std::vector<std::vector<Cell>> out(g.My, std::vector<Cell>(g.Mx));
    for (int j = 0; j < g.My; ++j)
        for (int i = 0; i < g.Mx; ++i)
            out[j][i] = f[std::clamp(j - g.py, 0, g.ny - 1)][std::clamp(i - g.px, 0, g.nx - 1)];
    return out;
}

inline field2D random_field(int rows, int cols, unsigned seed, double lo = -3, double hi = 5)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    field2D f(rows, std::vector<double>(cols));
    for (auto& r : f)
        for (double& v : r)
            v = u(gen);
    return f;
}

// Signed circular offset in [-M/2, M/2).
inline int wrap(int d, int M)
{
    int w = ((d % M) + M) % M;
    return w < M / 2 ? w : w - M;
}

// Field of level k's unit cell at every offset: K[oy + My/2][ox + Mx/2] is the
// field at (ox*dx, oy*dy) from the cell's centre, straight from the kernel.
inline field2D offset_kernel(const Problem& g, int k)
{
    std::vector<double> xs, ys;
    for (int o = -g.Mx / 2; o < g.Mx / 2; ++o)
        xs.push_back(o * g.dx);
    for (int o = -g.My / 2; o < g.My / 2; ++o)
        ys.push_back(o * g.dy);
    field2D K(g.My, std::vector<double>(g.Mx, 0.0));
    prism_gravity_kernel(xs, ys, g.zc - 1e-6, {-g.dx / 2, g.dx / 2}, {-g.dy / 2, g.dy / 2},
                         {g.depth(k), g.depth(k) + g.dz}, 1.0, K);
    return K;
}

// The circular operator of level k by direct sums: (A m)[a] = sum_b K(a - b) m[b].
// transposed: (A^T r)[a] = sum_b K(b - a) r[b].
inline field2D apply_operator(const Problem& g, const field2D& K, const field2D& m, bool transposed)
{
    field2D out(g.My, std::vector<double>(g.Mx, 0.0));
    for (int ja = 0; ja < g.My; ++ja)
        for (int ia = 0; ia < g.Mx; ++ia) {
            double s = 0;
            for (int jb = 0; jb < g.My; ++jb)
                for (int ib = 0; ib < g.Mx; ++ib) {
                    const int oy = transposed ? wrap(jb - ja, g.My) : wrap(ja - jb, g.My);
                    const int ox = transposed ? wrap(ib - ia, g.Mx) : wrap(ia - ib, g.Mx);
                    s += K[oy + g.My / 2][ox + g.Mx / 2] * m[jb][ib];
                }
            out[ja][ia] = s;
        }
    return out;
}

inline double mean(const field2D& f)
{
    double s = 0;
    size_t n = 0;
    for (const auto& r : f) {
        for (double v : r)
            s += v;
        n += r.size();
    }
    return s / n;
}

// Level half spectra of a padded model (single precision): columns
// 0 .. Mx/2 of the fft_2d of every level.
inline void model_spectra(const vector3D& padded, vector3D& re, vector3D& im)
{
    re = padded;
    im = padded;
    for (auto& l : im)
        for (auto& r : l)
            std::fill(r.begin(), r.end(), 0.0f);
    for (size_t k = 0; k < re.size(); ++k) {
        fft_2d(re[k], im[k], fft_forward);
        for (auto* level : {&re[k], &im[k]})
            for (auto& r : *level)
                r.resize(r.size() > 1 ? r.size() / 2 + 1 : r.size());
    }
}

// Half spectra back in the space domain: completed by their conjugates and
// brought back by the inverse fft_2d; re gets the real parts, im the
// imaginary parts (Mx columns).
inline void model_levels(vector3D& re, vector3D& im, int Mx)
{
    for (size_t k = 0; k < re.size(); ++k) {
        vector2D full_re(re[k].size(), std::vector<float>(Mx, 0.0f)), full_im = full_re;
        for (size_t r = 0; r < re[k].size(); ++r) {
            std::copy(re[k][r].begin(), re[k][r].end(), full_re[r].begin());
            std::copy(im[k][r].begin(), im[k][r].end(), full_im[r].begin());
        }
        fft_complete_half_spectrum(full_re, full_im);
        fft_2d(full_re, full_im, fft_inverse);
        re[k] = full_re;
        im[k] = full_im;
    }
}

} // namespace invtest
