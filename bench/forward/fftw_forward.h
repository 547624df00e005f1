#pragma once
// A short independent spectral forward on FFTW, the yardstick of the
// program's forward calculation. Same padding, unit cell and calculation
// level as the program; written plainly:
//  - the unit cell's field from the closed-form prism evaluated on the shared
//    corner lattice (the corner function once per lattice point and depth
//    face; a face shared by two adjacent levels is evaluated once),
//  - real-to-complex transforms (float) of that field, swapped to the
//    origin, and of every padded level,
//  - the sum over levels of the kernel spectrum's real part times the level
//    spectrum (double), one complex-to-real inverse (double).
// Benchmark code only: FFTW is not a dependency of the program.
#include "engine/forward.h"
#include "engine/prism.h"

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

namespace fftwref {

struct Plans
{
    int Mx = 0, My = 0, H = 0;  // H = Mx/2 + 1 complex columns
    float* rin = nullptr;
    fftwf_complex* cout = nullptr;
    fftw_complex* sum = nullptr;
    double* out = nullptr;
    fftwf_plan r2c = nullptr;
    fftw_plan c2r = nullptr;

    Plans(int mx, int my) : Mx(mx), My(my), H(mx / 2 + 1)
    {
        rin = fftwf_alloc_real(size_t(Mx) * My);
        cout = fftwf_alloc_complex(size_t(H) * My);
        sum = fftw_alloc_complex(size_t(H) * My);
        out = fftw_alloc_real(size_t(Mx) * My);
        r2c = fftwf_plan_dft_r2c_2d(My, Mx, rin, cout, FFTW_MEASURE);
        c2r = fftw_plan_dft_c2r_2d(My, Mx, sum, out, FFTW_MEASURE);
    }
    ~Plans()
    {
        fftwf_destroy_plan(r2c);
        fftw_destroy_plan(c2r);
        fftwf_free(rin);
        fftwf_free(cout);
        fftw_free(sum);
        fftw_free(out);
    }
    Plans(const Plans&) = delete;
    Plans& operator=(const Plans&) = delete;
};

// Corner function of the prism's closed form.
inline double corner(double X, double Y, double Z)
{
    const double R = std::sqrt((X * X + Y * Y) + Z * Z);
    return X * std::log(Y + R) + Y * std::log(X + R) - Z * std::atan(X * Y / (Z * R));
}

// The corner function over the lattice for one depth face Z:
// face[i][j] = corner(cx[j], cy[i], Z), (My + 1) x (Mx + 1).
inline void corner_face(const std::vector<double>& cx, const std::vector<double>& cy, double Z,
                        std::vector<double>& face)
{
    const size_t W = cx.size();
    face.resize(W * cy.size());
    for (size_t i = 0; i < cy.size(); ++i)
        for (size_t j = 0; j < W; ++j)
            face[i * W + j] = corner(cx[j], cy[i], Z);
}

// Forward calculation. `stored` (My x H real kernel spectra per level) is
// filled when `store` is set and read when `reuse` is set.
inline void forward(const vector3D& den, const ForwardGeometry& g, Plans& p,
                    std::vector<std::vector<float>>& stored, bool store, bool reuse, field2D& result)
{
    const int Mx = g.Mx, My = g.My, H = p.H;
    const size_t half = size_t(H) * My;
    std::memset(p.sum, 0, sizeof(fftw_complex) * half);
    // Corner lattice: node j lies between corners j (its x2 face) and j + 1
    // (its x1 face), offsets from the unit cell at column Mx/2.
    std::vector<double> cx(Mx + 1), cy(My + 1);
    for (int j = 0; j <= Mx; ++j)
        cx[j] = (Mx / 2 - j + 0.5) * double(g.dx);
    for (int i = 0; i <= My; ++i)
        cy[i] = (My / 2 - i + 0.5) * double(g.dy);
    const double z0 = (g.calc_level - 1e-6) - 0.01;
    std::vector<double> top, bottom;
    double top_z = NAN;
    std::vector<float> kernel_re(half);
    if (store)
        stored.assign(g.nz, std::vector<float>());
    for (int k = 0; k < g.nz; ++k) {
        const float* K = nullptr;
        if (reuse) {
            K = stored[k].data();
        } else {
            const double Z1 = g.depths[k] - z0;
            const double Z2 = (g.depths[k] + g.dz) - z0;
            if (Z1 == top_z)
                top.swap(bottom);  // the previous level's bottom face
            else
                corner_face(cx, cy, Z1, top);
            corner_face(cx, cy, Z2, bottom);
            top_z = Z2;
            // Field of the cell, swapped so that the cell sits at the origin.
            const size_t W = Mx + 1;
            for (int i = 0; i < My; ++i) {
                const int si = (i + My / 2) % My;
                for (int j = 0; j < Mx; ++j) {
                    const size_t a = size_t(i) * W + j;
                    const double F = (bottom[a] - bottom[a + 1] - bottom[a + W] + bottom[a + W + 1])
                                     - (top[a] - top[a + 1] - top[a + W] + top[a + W + 1]);
                    p.rin[size_t(si) * Mx + (j + Mx / 2) % Mx] = float(-gravity_constant_mgal * F);
                }
            }
            fftwf_execute(p.r2c);
            for (size_t c = 0; c < half; ++c)
                kernel_re[c] = p.cout[c][0];
            K = kernel_re.data();
            if (store)
                stored[k] = kernel_re;
        }
        // The padded level.
        const vector2D& L = den[k];
        for (int j = 0; j < My; ++j) {
            const int r = std::min(std::max(j - g.py, 0), g.ny - 1);
            for (int i = 0; i < Mx; ++i)
                p.rin[size_t(j) * Mx + i] = L[r][std::min(std::max(i - g.px, 0), g.nx - 1)];
        }
        fftwf_execute(p.r2c);
        for (size_t c = 0; c < half; ++c) {
            const double e = K[c];
            p.sum[c][0] += e * p.cout[c][0];
            p.sum[c][1] += e * p.cout[c][1];
        }
    }
    fftw_execute(p.c2r);
    result.assign(g.ny, std::vector<double>(g.nx));
    const double scale = 1.0 / (double(Mx) * My);
    for (int i = 0; i < g.ny; ++i)
        for (int j = 0; j < g.nx; ++j)
            result[i][j] = p.out[size_t(g.py + i) * Mx + g.px + j] * scale;
}

} // namespace fftwref
