#include "editing/smoothing.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace gridops {

namespace {

constexpr double kHalfWidthLimit = 1 << 30;

// Number of cells of a window [i - h, i + h] cut to 0 .. n - 1.
inline int window_count(int i, int h, int n)
{
    return std::min(i + h, n - 1) - std::max(i - h, 0) + 1;
}

// Sums of each level over the x and y extent of the box, written into a
// plane of ny * nx doubles.
class PlaneSums {
public:
    PlaneSums(std::size_t ny, std::size_t nx, int hx, int hy)
        : ny_(ny), nx_(nx), hx_(hx), hy_(hy), prefix_(nx + 1), rows_((ny + 1) * nx)
    {
    }

    void compute(const vector2D& level, double* out)
    {
        const int nx = int(nx_);
        const int ny = int(ny_);
        // Running sums along each row give the x sums; running sums of those
        // down the rows give the y sums.
        std::fill(rows_.begin(), rows_.begin() + nx_, 0.0);
        for (int j = 0; j < ny; ++j) {
            const data_type* r = level[std::size_t(j)].data();
            prefix_[0] = 0;
            for (int k = 0; k < nx; ++k)
                prefix_[std::size_t(k) + 1] = prefix_[std::size_t(k)] + double(r[k]);
            const double* above = &rows_[std::size_t(j) * nx_];
            double* here = &rows_[std::size_t(j + 1) * nx_];
            for (int k = 0; k < nx; ++k) {
                const int a = std::max(k - hx_, 0);
                const int b = std::min(k + hx_, nx - 1) + 1;
                here[k] = above[k] + (prefix_[std::size_t(b)] - prefix_[std::size_t(a)]);
            }
        }
        for (int j = 0; j < ny; ++j) {
            const int a = std::max(j - hy_, 0);
            const int b = std::min(j + hy_, ny - 1) + 1;
            const double* lo = &rows_[std::size_t(a) * nx_];
            const double* hi = &rows_[std::size_t(b) * nx_];
            double* o = out + std::size_t(j) * nx_;
            for (int k = 0; k < nx; ++k)
                o[k] = hi[k] - lo[k];
        }
    }

private:
    std::size_t ny_, nx_;
    int hx_, hy_;
    std::vector<double> prefix_;
    std::vector<double> rows_;
};

// Writes box means into the selected cells of levels lo .. hi (inclusive).
// `selected(i, j, k)` tells whether cell (i, j, k) takes its mean.
template <typename Selected>
void box_smooth(vector3D& grid, SmoothHalfWidths h, int lo, int hi, Selected selected,
                const SmoothProgress& progress)
{
    if (h.hx < 0 || h.hy < 0 || h.hz < 0)
        return;  // every box is empty
    const int nz = int(grid.size());
    const int ny = int(grid.front().size());
    const int nx = int(grid.front().front().size());
    lo = std::max(lo, 0);
    hi = std::min(hi, nz - 1);
    if (lo > hi)
        return;
    // Wider boxes than the grid give the same cells.
    const int hx = std::min(h.hx, nx - 1);
    const int hy = std::min(h.hy, ny - 1);
    const int hz = std::min(h.hz, nz - 1);

    const std::size_t plane = std::size_t(ny) * std::size_t(nx);
    const int ring = std::min(2 * hz + 1, nz);
    std::vector<double> planes(std::size_t(ring) * plane);
    std::vector<double> zsum(plane, 0.0);
    PlaneSums sums(std::size_t(ny), std::size_t(nx), hx, hy);
    auto slot = [&](int level) { return planes.data() + std::size_t(level % ring) * plane; };
    auto add = [&](const double* p, double sign) {
        for (std::size_t c = 0; c < plane; ++c)
            zsum[c] += sign * p[c];
    };

    std::vector<int> cx(static_cast<std::size_t>(nx)), cy(static_cast<std::size_t>(ny));
    for (int k = 0; k < nx; ++k)
        cx[std::size_t(k)] = window_count(k, hx, nx);
    for (int j = 0; j < ny; ++j)
        cy[std::size_t(j)] = window_count(j, hy, ny);

    for (int l = std::max(lo - hz, 0); l <= std::min(lo + hz, nz - 1); ++l) {
        sums.compute(grid[std::size_t(l)], slot(l));
        add(slot(l), 1.0);
    }
    for (int i = lo; i <= hi; ++i) {
        if (progress)
            progress(int(100LL * (i - lo) / (hi - lo + 1)));
        const double cz = window_count(i, hz, nz);
        for (int j = 0; j < ny; ++j) {
            data_type* r = grid[std::size_t(i)][std::size_t(j)].data();
            const double* s = zsum.data() + std::size_t(j) * std::size_t(nx);
            const double cyz = cz * cy[std::size_t(j)];
            for (int k = 0; k < nx; ++k)
                if (selected(i, j, k))
                    r[k] = static_cast<data_type>(s[k] / (cyz * cx[std::size_t(k)]));
        }
        if (i == hi)
            break;
        // Slide the window one level down. The level leaving it and the one
        // entering it share a slot: subtract first, then overwrite. The
        // entering level lies below every level written so far.
        const int out = i - hz;
        if (out >= 0)
            add(slot(out), -1.0);
        const int in = i + hz + 1;
        if (in < nz) {
            sums.compute(grid[std::size_t(in)], slot(in));
            add(slot(in), 1.0);
        }
    }
}

bool z_fits(const vector3D& grid, const std::vector<double>& z)
{
    return z.size() == grid.size();
}

}  // namespace

int smooth_half_width(double width, const std::vector<double>& nodes)
{
    if (nodes.size() < 2)
        return 0;
    const double step = std::fabs(nodes[1] - nodes[0]);
    if (!(step > 0))
        return 0;
    const double h = width / step * 0.5;
    if (std::isnan(h))
        return 0;
    return int(std::trunc(std::max(-kHalfWidthLimit, std::min(kHalfWidthLimit, h))));
}

SmoothHalfWidths smooth_half_widths(const std::vector<double>& record, const std::vector<double>& x,
                                    const std::vector<double>& y, const std::vector<double>& z)
{
    SmoothHalfWidths h;
    if (record.size() < 4)
        return h;
    h.hx = smooth_half_width(record[1], x);
    h.hy = smooth_half_width(record[2], y);
    h.hz = smooth_half_width(record[3], z);
    return h;
}

SmoothStatus smooth_whole(vector3D& grid, SmoothHalfWidths h, const SmoothProgress& progress)
{
    if (!cube_is_regular(grid))
        return SmoothStatus::NotRegular;
    box_smooth(grid, h, 0, int(grid.size()) - 1, [](int, int, int) { return true; }, progress);
    return SmoothStatus::Ok;
}

SmoothStatus layer_area_ready(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n)
{
    if (!cube_is_regular(grid) || !z_fits(grid, z))
        return SmoothStatus::NotRegular;
    if (horizons.empty())
        return SmoothStatus::NoHorizons;
    if (!horizons_match_grid(horizons, grid))
        return SmoothStatus::HorizonsMismatch;
    if (n < 0 || n >= int(horizons.size()))
        return SmoothStatus::BadLayer;
    return SmoothStatus::Ok;
}

SmoothStatus smooth_in_layer(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                             int n, SmoothHalfWidths h, const SmoothProgress& progress)
{
    const SmoothStatus ready = layer_area_ready(grid, z, horizons, n);
    if (ready != SmoothStatus::Ok)
        return ready;
    const double open_bottom = std::numeric_limits<double>::infinity();
    box_smooth(
        grid, h, 0, int(grid.size()) - 1,
        [&](int i, int j, int k) {
            return layers::in_layer_slab(horizons, n, std::size_t(j), std::size_t(k), z[std::size_t(i)],
                                         open_bottom);
        },
        progress);
    return SmoothStatus::Ok;
}

SmoothStatus smooth_along_top(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                              int n, SmoothHalfWidths h, const SmoothProgress& progress)
{
    const SmoothStatus ready = layer_area_ready(grid, z, horizons, n);
    if (ready != SmoothStatus::Ok)
        return ready;
    const int nz = int(grid.size());
    if (nz < 2 || h.hz < 0)
        return SmoothStatus::Ok;  // no level below the top, or an empty band
    const double step = z[1] - z[0];
    if (!(std::fabs(step) > 0))
        return SmoothStatus::Ok;
    const int ny = int(grid.front().size());
    const int nx = int(grid.front().front().size());
    const field2D& top = horizons[std::size_t(n)];

    // The band of levels of every node; an empty band where the horizon
    // depth is not a number or the band misses the levels 1 .. nz - 1.
    std::vector<int> band_lo(std::size_t(ny) * std::size_t(nx), 1);
    std::vector<int> band_hi(std::size_t(ny) * std::size_t(nx), 0);
    int lo = nz, hi = -1;
    const double limit = 4.0 * nz + 4.0 * h.hz;  // beyond this every band misses the grid
    for (int j = 0; j < ny; ++j)
        for (int k = 0; k < nx; ++k) {
            const double position = (top[std::size_t(j)][std::size_t(k)] - z[0]) / step;
            if (std::isnan(position))
                continue;
            const long long H = (long long)std::trunc(std::max(-limit, std::min(limit, position)));
            const long long a = std::max<long long>(H - h.hz, 1);
            const long long b = std::min<long long>(H + h.hz, nz - 1);
            if (a > b)
                continue;
            const std::size_t c = std::size_t(j) * std::size_t(nx) + std::size_t(k);
            band_lo[c] = int(a);
            band_hi[c] = int(b);
            lo = std::min(lo, int(a));
            hi = std::max(hi, int(b));
        }
    if (lo > hi)
        return SmoothStatus::Ok;
    box_smooth(
        grid, h, lo, hi,
        [&](int i, int j, int k) {
            const std::size_t c = std::size_t(j) * std::size_t(nx) + std::size_t(k);
            return band_lo[c] <= i && i <= band_hi[c];
        },
        progress);
    return SmoothStatus::Ok;
}

}  // namespace gridops
