#include "engine/prism.h"

#include "engine/parallel.h"

#include <atomic>
#include <cmath>
#include <iostream>

namespace {

// atan(b) - atan(a) as one arctangent, moved by pi onto the right branch when
// 1 + a*b is not positive; `s` tells the direction.
inline double atan_difference(double a, double b, double s)
{
    const double ab = a * b;
    double d = std::atan((b - a) / (1.0 + ab));
    if (!(ab > -1.0))
        d += s > 0.0 ? 3.14159265 : -3.14159265;
    return d;
}

} // namespace

void prism_gravity_kernel(const std::vector<double>& x_nodes, const std::vector<double>& y_nodes,
                          double level, const std::vector<double>& x_pair,
                          const std::vector<double>& y_pair, const std::vector<double>& z_pair,
                          double density, field2D& out, int thread_count)
{
    if (x_pair.size() != 2 || y_pair.size() != 2 || z_pair.size() != 2)
        return;
    if (out.size() != y_nodes.size() || out.empty() || out[0].size() != x_nodes.size())
        return;
    const size_t ny = y_nodes.size();
    const size_t nx = x_nodes.size();
    for (const auto& row : out)
        if (row.size() < nx)
            return;

    for (auto& row : out)
        for (size_t j = 0; j < nx; ++j)
            row[j] = 0.0;

    const double z0 = level - 0.01;
    const double x1 = x_pair[0], x2 = x_pair[1];
    const double y1 = y_pair[0], y2 = y_pair[1];
    const double Z1 = z_pair[0] - z0;
    const double Z2 = z_pair[1] - z0;
    const double factor = density * gravity_constant_mgal;

    std::atomic<bool> r_nan_seen{false};
    std::atomic<bool> arg_nan_seen{false};

    auto rows = [&](size_t i0, size_t i1) {
        for (size_t i = i0; i < i1; ++i) {
            const double yi = y_nodes[i];
            const double Y1 = y1 - yi;
            const double Y2 = y2 - yi;
            double* o = out[i].data();
            for (size_t j = 0; j < nx; ++j) {
                const double xj = x_nodes[j];
                const double X1 = x1 - xj;
                const double X2 = x2 - xj;

                const double R111 = std::sqrt((X1 * X1 + Y1 * Y1) + Z1 * Z1);
                const double R112 = std::sqrt((X1 * X1 + Y1 * Y1) + Z2 * Z2);
                const double R121 = std::sqrt((X1 * X1 + Y2 * Y2) + Z1 * Z1);
                const double R122 = std::sqrt((X1 * X1 + Y2 * Y2) + Z2 * Z2);
                const double R211 = std::sqrt((X2 * X2 + Y1 * Y1) + Z1 * Z1);
                const double R212 = std::sqrt((X2 * X2 + Y1 * Y1) + Z2 * Z2);
                const double R221 = std::sqrt((X2 * X2 + Y2 * Y2) + Z1 * Z1);
                const double R222 = std::sqrt((X2 * X2 + Y2 * Y2) + Z2 * Z2);
                if (std::isnan(R111) || std::isnan(R112) || std::isnan(R121) || std::isnan(R122)
                    || std::isnan(R211) || std::isnan(R212) || std::isnan(R221) || std::isnan(R222))
                    r_nan_seen.store(true, std::memory_order_relaxed);

                const double t111 = X1 * Y1 / Z1 / R111;
                const double t112 = X1 * Y1 / Z2 / R112;
                const double t121 = X1 * Y2 / Z1 / R121;
                const double t122 = X1 * Y2 / Z2 / R122;
                const double t211 = X2 * Y1 / Z1 / R211;
                const double t212 = X2 * Y1 / Z2 / R212;
                const double t221 = X2 * Y2 / Z1 / R221;
                const double t222 = X2 * Y2 / Z2 / R222;
                if (std::isnan(t111) || std::isnan(t112) || std::isnan(t121) || std::isnan(t122)
                    || std::isnan(t211) || std::isnan(t212) || std::isnan(t221) || std::isnan(t222))
                    arg_nan_seen.store(true, std::memory_order_relaxed);

                const double A1 = atan_difference(t212, t222, t222);
                const double A2 = atan_difference(t122, t112, -t122);
                const double A3 = atan_difference(t211, t221, t221);
                const double A4 = atan_difference(t121, t111, -t121);

                const double L1 = std::log((R222 + X2) / (R221 + X2) / (R122 + X1) * (R121 + X1));
                const double L2 = std::log((R211 + Y1) * ((R222 + Y2) / (R221 + Y2) / (R212 + Y1)));
                const double L3 = std::log((R112 + Y1) * ((R121 + Y2) / (R122 + Y2) / (R111 + Y1)));
                const double L4 = std::log((R211 + X2) / (R212 + X2) / (R111 + X1) * (R112 + X1));

                const double F = L1 * Y2 + L2 * X2 + L3 * X1 + L4 * Y1 - (A2 + A1) * Z2
                                 + (A4 + A3) * Z1;
                o[j] -= factor * F;
            }
        }
    };
    run_split(ny, thread_count, rows);

    // Diagnostics only: one line per kind and call, never per node.
    if (r_nan_seen.load())
        std::cout << "R nan " << std::endl;
    if (arg_nan_seen.load())
        std::cout << "arg nan " << std::endl;
}

namespace {

// The prism kernel's arctangent branch constant and pi: the kernel moves a
// difference of arctangents by 3.14159265 where the exact difference moves
// by pi, so each such move is kept as the kernel makes it.
constexpr double kernel_pi = 3.14159265;
constexpr double exact_pi = 3.14159265358979323846;

// Branch term of atan_difference(a, b, s) minus the exact difference.
inline double branch_offset(double a, double b, double s)
{
    if (a * b > -1.0 || std::isnan(a * b))
        return 0.0;
    return s > 0.0 ? kernel_pi - exact_pi : exact_pi - kernel_pi;
}

template <typename Cell>
void lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                   double z_top, double z_bottom, double density, bool swapped,
                   std::vector<std::vector<Cell>>& out, int thread_count)
{
    const int rows = static_cast<int>(out.size());
    if (rows == 0 || out[0].empty())
        return;
    const int cols = static_cast<int>(out[0].size());
    for (const auto& row : out)
        if (static_cast<int>(row.size()) != cols)
            return;
    if (cx < 0 || cy < 0 || cx >= cols || cy >= rows)
        return;

    // Offsets of the nodes from the centre, in cells: m = 0 .. qx, n = 0 .. qy.
    const int qx = std::max(cx, cols - 1 - cx);
    const int qy = std::max(cy, rows - 1 - cy);
    // Corner a (a = -1 .. q) lies at a * d + h: node m has its faces at
    // corners m - 1 and m.
    const int W = qx + 2, H = qy + 2;
    std::vector<double> cxs(W), cys(H);
    for (int a = -1; a <= qx; ++a)
        cxs[a + 1] = a * dx + hx;
    for (int b = -1; b <= qy; ++b)
        cys[b + 1] = b * dy + hy;

    const double z0 = level - 0.01;
    const double Z[2] = {z_top - z0, z_bottom - z0};
    // Corner function and arctangent argument per corner, face 0 top, 1 bottom.
    std::vector<double> f[2] = {std::vector<double>(size_t(W) * H), std::vector<double>(size_t(W) * H)};
    std::vector<double> t[2] = {std::vector<double>(size_t(W) * H), std::vector<double>(size_t(W) * H)};
    std::atomic<bool> r_nan_seen{false};
    std::atomic<bool> arg_nan_seen{false};
    run_split(H, thread_count, [&](size_t b0, size_t b1) {
        bool r_nan = false, arg_nan = false;
        for (size_t b = b0; b < b1; ++b) {
            const double Y = cys[b];
            for (int s = 0; s < 2; ++s) {
                const double Zs = Z[s];
                double* fr = f[s].data() + b * W;
                double* tr = t[s].data() + b * W;
                for (int a = 0; a < W; ++a) {
                    const double X = cxs[a];
                    const double R = std::sqrt((X * X + Y * Y) + Zs * Zs);
                    const double ta = X * Y / Zs / R;
                    r_nan |= std::isnan(R);
                    arg_nan |= std::isnan(ta);
                    tr[a] = ta;
                    fr[a] = X * std::log(Y + R) + Y * std::log(X + R) - Zs * std::atan(ta);
                }
            }
        }
        if (r_nan)
            r_nan_seen.store(true, std::memory_order_relaxed);
        if (arg_nan)
            arg_nan_seen.store(true, std::memory_order_relaxed);
    });

    // Field of the quadrant: the corners of node (m, n) alternate in sign.
    const double factor = density * gravity_constant_mgal;
    std::vector<double> q(size_t(qx + 1) * (qy + 1));
    run_split(qy + 1, thread_count, [&](size_t n0, size_t n1) {
        for (size_t n = n0; n < n1; ++n) {
            const size_t lo = n * W, hi = (n + 1) * W;  // rows of Y1 (corner n-1) and Y2 (corner n)
            for (int m = 0; m <= qx; ++m) {
                const size_t a1 = m, a2 = m + 1;  // X1 (corner m-1) and X2 (corner m)
                double F[2];
                for (int s = 0; s < 2; ++s) {
                    const double* g = f[s].data();
                    F[s] = ((g[hi + a2] - g[hi + a1]) - (g[lo + a2] - g[lo + a1]));
                }
                double Fn = F[1] - F[0];
                const double* tb = t[1].data();
                const double* tt = t[0].data();
                const double e1 = branch_offset(tb[lo + a2], tb[hi + a2], tb[hi + a2]);
                const double e2 = branch_offset(tb[hi + a1], tb[lo + a1], -tb[hi + a1]);
                const double e3 = branch_offset(tt[lo + a2], tt[hi + a2], tt[hi + a2]);
                const double e4 = branch_offset(tt[hi + a1], tt[lo + a1], -tt[hi + a1]);
                if (e1 != 0.0 || e2 != 0.0)
                    Fn -= (e1 + e2) * Z[1];
                if (e3 != 0.0 || e4 != 0.0)
                    Fn += (e3 + e4) * Z[0];
                q[n * (qx + 1) + m] = -(factor * Fn);
            }
        }
    });

    run_split(rows, thread_count, [&](size_t i0, size_t i1) {
        for (size_t i = i0; i < i1; ++i) {
            // Row offset of output row i from the centre.
            const int di = swapped ? (int(i) <= rows / 2 ? int(i) : int(i) - rows) : int(i) - cy;
            const double* qr = q.data() + size_t(std::abs(di)) * (qx + 1);
            Cell* o = out[i].data();
            for (int j = 0; j < cols; ++j) {
                const int dj = swapped ? (j <= cols / 2 ? j : j - cols) : j - cx;
                o[j] = static_cast<Cell>(qr[std::abs(dj)]);
            }
        }
    });

    if (r_nan_seen.load())
        std::cout << "R nan " << std::endl;
    if (arg_nan_seen.load())
        std::cout << "arg nan " << std::endl;
}

} // namespace

void prism_lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                         double z_top, double z_bottom, double density, bool swapped, field2D& out,
                         int thread_count)
{
    lattice_field(dx, dy, hx, hy, cx, cy, level, z_top, z_bottom, density, swapped, out, thread_count);
}

void prism_lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                         double z_top, double z_bottom, double density, bool swapped, vector2D& out,
                         int thread_count)
{
    lattice_field(dx, dy, hx, hy, cx, cy, level, z_top, z_bottom, density, swapped, out, thread_count);
}
