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

// out = a + b, item by item.
inline void add_rows(const double* a, const double* b, double* out, std::size_t n)
{
    for (std::size_t c = 0; c < n; ++c)
        out[c] = a[c] + b[c];
}

// Window sums without subtraction. The items 0 .. n - 1 of an axis are cut
// into blocks of w = 2h + 1 items; every window [i - h, i + h], cut to the
// axis, is then a block's head, a block's tail, or the tail of one block
// followed by the head of the next. Heads (running sums from a block's
// start) and tails (running sums to a block's end) cost one addition per
// item each, whatever w, and every window sum adds exactly the window's
// own items, nothing is subtracted: a NaN, an infinity or a huge value
// reaches only the windows that hold it, and the rounding is that of adding
// the window's items directly, in another order.
class AxisWindows {
public:
    // Window i is the sum of the tail at tail(i) and the head at head(i);
    // an index of n stands for an empty part (a zero entry).
    AxisWindows(int n, int h) : n_(n), h_(h), w_(2 * h + 1), tail_(std::size_t(n)), head_(std::size_t(n))
    {
        for (int i = 0; i < n; ++i) {
            const int a = std::max(i - h, 0);
            const int b = std::min(i + h, n - 1);
            const bool one_block = a / w_ == b / w_;
            tail_[std::size_t(i)] = one_block && a % w_ == 0 ? n : a;
            head_[std::size_t(i)] = one_block && a % w_ != 0 ? n : b;
        }
    }

    int h() const { return h_; }
    int w() const { return w_; }
    bool starts_block(int i) const { return i % w_ == 0; }
    bool ends_block(int i) const { return i % w_ == w_ - 1 || i == n_ - 1; }
    int tail(int i) const { return tail_[std::size_t(i)]; }
    int head(int i) const { return head_[std::size_t(i)]; }

private:
    int n_, h_, w_;
    std::vector<int> tail_, head_;
};

// Sums of each level over the x and y extent of the box, written into a
// plane of ny * nx doubles.
class PlaneSums {
public:
    PlaneSums(std::size_t ny, std::size_t nx, int hx, int hy)
        : ny_(ny), nx_(nx), xs_(int(nx), hx), ys_(int(ny), hy), xhead_(nx + 1), xtail_(nx + 1),
          heads_((ny + 1) * nx), tails_((ny + 1) * nx)
    {
        // The zero entries that stand for an empty head or tail.
        xhead_[nx] = xtail_[nx] = 0.0;
        std::fill(heads_.begin() + std::ptrdiff_t(ny * nx), heads_.end(), 0.0);
        std::fill(tails_.begin() + std::ptrdiff_t(ny * nx), tails_.end(), 0.0);
    }

    void compute(const vector2D& level, double* out)
    {
        const int nx = int(nx_);
        const int ny = int(ny_);
        // x sums of each row into the tails' rows, heads of those down the
        // rows as each row is done.
        for (int j = 0; j < ny; ++j) {
            const data_type* r = level[std::size_t(j)].data();
            double* hd = xhead_.data();
            double* tl = xtail_.data();
            for (int b0 = 0; b0 < nx; b0 += xs_.w()) {
                const int b1 = std::min(b0 + xs_.w(), nx) - 1;
                hd[b0] = double(r[b0]);
                for (int k = b0 + 1; k <= b1; ++k)
                    hd[k] = hd[k - 1] + double(r[k]);
                tl[b1] = double(r[b1]);
                for (int k = b1 - 1; k >= b0; --k)
                    tl[k] = tl[k + 1] + double(r[k]);
            }
            double* xsum = row(tails_, j);
            // Windows cut at an edge through the tables; whole windows are
            // a block when they start one, else a tail and the next head.
            const int h = xs_.h(), w = xs_.w();
            for (int k = 0; k < std::min(h, nx); ++k)
                xsum[k] = tl[xs_.tail(k)] + hd[xs_.head(k)];
            for (int k = std::max(nx - h, h); k < nx; ++k)
                xsum[k] = tl[xs_.tail(k)] + hd[xs_.head(k)];
            for (int a0 = 0; a0 + 2 * h < nx; a0 += w) {
                xsum[a0 + h] = tl[a0];
                const int end = std::min(a0 + h + w, nx - h);
                for (int k = a0 + h + 1; k < end; ++k)
                    xsum[k] = tl[k - h] + hd[k + h];
            }
            double* head = row(heads_, j);
            if (ys_.starts_block(j))
                std::copy(xsum, xsum + nx, head);
            else
                add_rows(row(heads_, j - 1), xsum, head, nx_);
        }
        for (int j = ny - 1; j >= 0; --j)
            if (!ys_.ends_block(j))
                add_rows(row(tails_, j), row(tails_, j + 1), row(tails_, j), nx_);
        for (int j = 0; j < ny; ++j)
            add_rows(row(tails_, ys_.tail(j)), row(heads_, ys_.head(j)), out + std::size_t(j) * nx_, nx_);
    }

private:
    double* row(std::vector<double>& rows, int j) { return rows.data() + std::size_t(j) * nx_; }

    std::size_t ny_, nx_;
    AxisWindows xs_, ys_;
    std::vector<double> xhead_, xtail_;
    std::vector<double> heads_, tails_;  // (ny + 1) rows, the last one zero
};

}  // namespace

int smoothing_store_planes(int nz, int hz)
{
    // Two blocks of 2 hz + 1 planes; when the levels fit in two blocks every
    // level has a plane of its own (the slot of a level is the level), so
    // the stores never exceed one grid of doubles.
    const long long w = 2LL * std::max(hz, 0) + 1;
    return int(std::min<long long>(2 * std::min<long long>(w, nz), nz));
}

namespace {

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

    // Levels are taken in blocks of 2 hz + 1 as along x and y. The plane
    // sums of the block holding the newest level fill one of two stores
    // and its head is kept as one plane; once the block is complete its
    // store becomes its tails, in place. The previous block's tails sit in
    // the other store.
    const AxisWindows zs(nz, hz);
    const std::size_t plane = std::size_t(ny) * std::size_t(nx);
    const int block = std::min(zs.w(), nz);
    std::vector<double> stores(std::size_t(smoothing_store_planes(nz, hz)) * plane);
    std::vector<double> head(plane);
    PlaneSums sums(std::size_t(ny), std::size_t(nx), hx, hy);
    auto slot = [&](int level) {
        return stores.data() + (std::size_t((level / zs.w()) % 2) * std::size_t(block) +
                                std::size_t(level % zs.w())) * plane;
    };

    std::vector<int> cx(static_cast<std::size_t>(nx)), cy(static_cast<std::size_t>(ny));
    for (int k = 0; k < nx; ++k)
        cx[std::size_t(k)] = window_count(k, hx, nx);
    for (int j = 0; j < ny; ++j)
        cy[std::size_t(j)] = window_count(j, hy, ny);

    // The first window's tail may start before it: begin at its block.
    int next = std::max(lo - hz, 0);
    next -= next % zs.w();
    for (int i = lo; i <= hi; ++i) {
        if (progress)
            progress(int(100LL * (i - lo) / (hi - lo + 1)));
        // Plane sums up to the window's last level. Each level is read
        // before it is written: the window of level i reaches level i.
        const int last = std::min(i + hz, nz - 1);
        for (; next <= last; ++next) {
            double* p = slot(next);
            sums.compute(grid[std::size_t(next)], p);
            if (zs.starts_block(next))
                std::copy(p, p + plane, head.data());
            else
                add_rows(head.data(), p, head.data(), plane);
            if (zs.ends_block(next))
                for (int l = next - 1; l >= next - next % zs.w(); --l)
                    add_rows(slot(l), slot(l + 1), slot(l), plane);
        }
        // The window's sum is a block's head, a block's tail, or a tail and
        // the next head, added as the cells are written.
        const int t = zs.tail(i);
        const double* first = t == nz ? head.data() : slot(t);
        const double* second = t == nz || zs.head(i) == nz ? nullptr : head.data();
        const double cz = window_count(i, hz, nz);
        for (int j = 0; j < ny; ++j) {
            data_type* r = grid[std::size_t(i)][std::size_t(j)].data();
            const std::size_t row = std::size_t(j) * std::size_t(nx);
            const double cyz = cz * cy[std::size_t(j)];
            auto write = [&](auto sum) {
                for (int k = 0; k < nx; ++k)
                    if (selected(i, j, k))
                        r[k] = static_cast<data_type>(sum(k) / (cyz * cx[std::size_t(k)]));
            };
            const double* f = first + row;
            if (second) {
                const double* g = second + row;
                write([f, g](int k) { return f[k] + g[k]; });
            } else {
                write([f](int k) { return f[k]; });
            }
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
