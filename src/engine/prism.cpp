#include "engine/prism.h"

#include "engine/parallel.h"

#include <atomic>
#include <cmath>
#include <iostream>
#include <limits>
#include <algorithm>

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

// The corner function of a face at corner (X, Y) and depth Z below the
// nodes, with its arctangent argument; returns the distance R.
inline double corner_value(double X, double Y, double Z, double& f, double& t)
{
    const double R = std::sqrt((X * X + Y * Y) + Z * Z);
    t = X * Y / Z / R;
    f = X * std::log(Y + R) + Y * std::log(X + R) - Z * std::atan(t);
    return R;
}

} // namespace

PrismLattice::PrismLattice(double dx, double dy, double hx, double hy, int cx, int cy, int rows,
                           int columns, double level)
    : rows_(rows), cols_(columns), cx_(cx), cy_(cy), level_(level)
{
    // Offsets of the nodes from the centre, in cells: m = 0 .. qx, n = 0 .. qy
    // (the field is symmetric about the centre). Corner a (a = -1 .. q) lies
    // at a * d + h: node m has its faces at corners m - 1 and m.
    qx_ = std::max(0, std::max(cx, columns - 1 - cx));
    qy_ = std::max(0, std::max(cy, rows - 1 - cy));
    xs_.resize(qx_ + 2);
    ys_.resize(qy_ + 2);
    for (int a = -1; a <= qx_; ++a)
        xs_[a + 1] = a * dx + hx;
    for (int b = -1; b <= qy_; ++b)
        ys_[b + 1] = b * dy + hy;
}

void PrismLattice::face_begin(double z, Face& out) const
{
    const size_t W = xs_.size(), H = ys_.size();
    out.f.resize(W * H);
    out.t.resize(W * H);
    out.z = z;
    out.valid = true;
}

int PrismLattice::face_rows(Face& out, size_t b0, size_t b1) const
{
    const size_t W = xs_.size();
    const double Z = out.z - (level_ - 0.01);
    bool r_nan = false, arg_nan = false;
    for (size_t b = b0; b < b1 && b < ys_.size(); ++b) {
        const double Y = ys_[b];
        double* fr = out.f.data() + b * W;
        double* tr = out.t.data() + b * W;
        for (size_t a = 0; a < W; ++a) {
            const double X = xs_[a];
            const double R = corner_value(X, Y, Z, fr[a], tr[a]);
            r_nan |= std::isnan(R);
            arg_nan |= std::isnan(tr[a]);
        }
    }
    return (r_nan ? face_r_nan : 0) | (arg_nan ? face_arg_nan : 0);
}

double PrismLattice::face_sum(double z, int a_pos, int a_neg, int b_pos, int b_neg) const
{
    const double Z = z - (level_ - 0.01);
    auto f = [&](int b, int a) {
        double v = 0, t = 0;
        corner_value(xs_[size_t(a)], ys_[size_t(b)], Z, v, t);
        return v;
    };
    // Sum over the node offsets m (0 .. a_pos, and 1 .. a_neg on the other
    // side) of the corner differences of row b: they telescope.
    auto row = [&](int b) { return (f(b, a_pos + 1) - f(b, 0)) + (f(b, a_neg + 1) - f(b, 1)); };
    const double corners = (row(b_pos + 1) - row(0)) + (row(b_neg + 1) - row(1));
    // The arctangent branch moves: only the nodes of row offset 0 have
    // corners on both sides of the centre in y.
    double branch = 0;
    auto t = [&](int b, int a) {
        double v = 0, ta = 0;
        corner_value(xs_[size_t(a)], ys_[size_t(b)], Z, v, ta);
        return ta;
    };
    for (int m = 0; m <= std::max(a_pos, a_neg); ++m) {
        const int count = (m <= a_pos ? 1 : 0) + (m >= 1 && m <= a_neg ? 1 : 0);
        const double t_lo2 = t(0, m + 1), t_hi2 = t(1, m + 1), t_lo1 = t(0, m), t_hi1 = t(1, m);
        branch += count * (branch_offset(t_lo2, t_hi2, t_hi2) + branch_offset(t_hi1, t_lo1, -t_hi1));
    }
    return corners - branch * Z;
}

double PrismLattice::field_sum(double z_top, double z_bottom, double density, bool swapped) const
{
    // Largest offsets from the centre on either side of it, in nodes.
    const int a_pos = swapped ? cols_ / 2 : cols_ - 1 - cx_, a_neg = swapped ? cols_ - 1 - cols_ / 2 : cx_;
    const int b_pos = swapped ? rows_ / 2 : rows_ - 1 - cy_, b_neg = swapped ? rows_ - 1 - rows_ / 2 : cy_;
    if (rows_ <= 0 || cols_ <= 0 || std::max(a_pos, a_neg) > qx_ || std::max(b_pos, b_neg) > qy_ || a_pos < 0
        || a_neg < 0 || b_pos < 0 || b_neg < 0)
        return std::numeric_limits<double>::quiet_NaN();
    return -(density * gravity_constant_mgal)
           * (face_sum(z_bottom, a_pos, a_neg, b_pos, b_neg) - face_sum(z_top, a_pos, a_neg, b_pos, b_neg));
}

void PrismLattice::report_nan(int flags)
{
    if (flags & face_r_nan)
        std::cout << "R nan " << std::endl;
    if (flags & face_arg_nan)
        std::cout << "arg nan " << std::endl;
}

void PrismLattice::face(double z, Face& out, int thread_count) const
{
    face_begin(z, out);
    std::atomic<int> flags{0};
    run_split(face_row_count(), thread_count, [&](size_t b0, size_t b1) {
        const int f = face_rows(out, b0, b1);
        if (f)
            flags.fetch_or(f, std::memory_order_relaxed);
    });
    report_nan(flags.load());
}

template <typename Cell>
bool PrismLattice::fits(const Face& top, const Face& bottom, const std::vector<std::vector<Cell>>& out) const
{
    if (out.empty() || static_cast<int>(out.size()) > rows_)
        return false;
    for (const auto& row : out)
        if (static_cast<int>(row.size()) != cols_)
            return false;
    return cx_ >= 0 && cy_ >= 0 && cx_ < cols_ && cy_ < rows_ && top.valid && bottom.valid;
}

template <typename Cell>
void PrismLattice::rows_impl(const Face& top, const Face& bottom, double density, bool swapped,
                             std::vector<std::vector<Cell>>& out, size_t i0, size_t i1) const
{
    const size_t W = xs_.size();
    const int qx = qx_;
    const double z0 = level_ - 0.01;
    const double Z1 = top.z - z0, Z2 = bottom.z - z0;
    const double factor = density * gravity_constant_mgal;
    const double* g1 = top.f.data();
    const double* g2 = bottom.f.data();
    const double* tt = top.t.data();
    const double* tb = bottom.t.data();
    const int rows = rows_, cols = cols_;
    std::vector<double> q(size_t(qx) + 1);
    for (size_t i = i0; i < i1 && i < out.size(); ++i) {
        // Row offset of output row i from the centre; the field of the
        // quadrant's row n = |offset|: the corners of node (m, n) alternate
        // in sign.
        const int di = swapped ? (int(i) <= rows / 2 ? int(i) : int(i) - rows) : int(i) - cy_;
        const size_t n = size_t(std::abs(di));
        const size_t lo = n * W, hi = (n + 1) * W;  // rows of Y1 (corner n-1) and Y2 (corner n)
        for (int m = 0; m <= qx; ++m) {
            const size_t a1 = m, a2 = m + 1;  // X1 (corner m-1) and X2 (corner m)
            const double F2 = (g2[hi + a2] - g2[hi + a1]) - (g2[lo + a2] - g2[lo + a1]);
            const double F1 = (g1[hi + a2] - g1[hi + a1]) - (g1[lo + a2] - g1[lo + a1]);
            double F = F2 - F1;
            const double e1 = branch_offset(tb[lo + a2], tb[hi + a2], tb[hi + a2]);
            const double e2 = branch_offset(tb[hi + a1], tb[lo + a1], -tb[hi + a1]);
            const double e3 = branch_offset(tt[lo + a2], tt[hi + a2], tt[hi + a2]);
            const double e4 = branch_offset(tt[hi + a1], tt[lo + a1], -tt[hi + a1]);
            if (e1 != 0.0 || e2 != 0.0)
                F -= (e1 + e2) * Z2;
            if (e3 != 0.0 || e4 != 0.0)
                F += (e3 + e4) * Z1;
            q[m] = -(factor * F);
        }
        Cell* o = out[i].data();
        for (int j = 0; j < cols; ++j) {
            const int dj = swapped ? (j <= cols / 2 ? j : j - cols) : j - cx_;
            o[j] = static_cast<Cell>(q[size_t(std::abs(dj))]);
        }
    }
}

template <typename Cell>
void PrismLattice::field_impl(const Face& top, const Face& bottom, double density, bool swapped,
                              std::vector<std::vector<Cell>>& out, int thread_count) const
{
    if (!fits(top, bottom, out))
        return;
    run_split(out.size(), thread_count, [&](size_t i0, size_t i1) {
        rows_impl(top, bottom, density, swapped, out, i0, i1);
    });
}

void PrismLattice::field_rows(const Face& top, const Face& bottom, double density, bool swapped, vector2D& out,
                              size_t i0, size_t i1) const
{
    if (fits(top, bottom, out))
        rows_impl(top, bottom, density, swapped, out, i0, i1);
}

void PrismLattice::field_rows(const Face& top, const Face& bottom, double density, bool swapped, field2D& out,
                              size_t i0, size_t i1) const
{
    if (fits(top, bottom, out))
        rows_impl(top, bottom, density, swapped, out, i0, i1);
}

void PrismLattice::field(const Face& top, const Face& bottom, double density, bool swapped,
                         field2D& out, int thread_count) const
{
    field_impl(top, bottom, density, swapped, out, thread_count);
}

void PrismLattice::field(const Face& top, const Face& bottom, double density, bool swapped,
                         vector2D& out, int thread_count) const
{
    field_impl(top, bottom, density, swapped, out, thread_count);
}

namespace {

template <typename Cell>
void lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                   double z_top, double z_bottom, double density, bool swapped,
                   std::vector<std::vector<Cell>>& out, int thread_count)
{
    if (out.empty() || out[0].empty())
        return;
    const PrismLattice lattice(dx, dy, hx, hy, cx, cy, static_cast<int>(out.size()),
                               static_cast<int>(out[0].size()), level);
    PrismLattice::Face top, bottom;
    lattice.face(z_top, top, thread_count);
    lattice.face(z_bottom, bottom, thread_count);
    lattice.field(top, bottom, density, swapped, out, thread_count);
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
