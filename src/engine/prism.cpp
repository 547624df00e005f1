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
