#include "editing/smoothing.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

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
// the window's items directly, in an order fixed by the window's place.
class AxisWindows {
public:
    // Window i is the sum of the tail at tail(i) and the head at head(i);
    // an index of n stands for an empty part.
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

    int n() const { return n_; }
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

// Doubles left unset, from operator new. The system is asked to back a
// large buffer with huge pages where it gives them on request: the first
// writes then fault once every 2 MB rather than every 4 kB.
class Doubles {
public:
    explicit Doubles(std::size_t n) : bytes_(std::max<std::size_t>(n, 1) * sizeof(double))
    {
#ifdef __linux__
        if (bytes_ >= 2 * kHuge) {
            bytes_ = (bytes_ + kHuge - 1) / kHuge * kHuge;
            data_ = static_cast<double*>(::operator new(bytes_, std::align_val_t(kHuge)));
            aligned_ = true;
            madvise(data_, bytes_, MADV_HUGEPAGE);
            return;
        }
#endif
        data_ = static_cast<double*>(::operator new(bytes_));
    }
    Doubles(const Doubles&) = delete;
    Doubles& operator=(const Doubles&) = delete;
    ~Doubles()
    {
        if (aligned_)
            ::operator delete(data_, std::align_val_t(kHuge));
        else
            ::operator delete(data_);
    }

    double* get() const { return data_; }

private:
    static constexpr std::size_t kHuge = std::size_t(2) << 20;
    std::size_t bytes_;
    double* data_ = nullptr;
    bool aligned_ = false;
};

// Rows whose x sums are taken together: the heads and tails of one row are
// chains of dependent additions, those of several rows overlap.
constexpr int kRowGroup = 4;

// Window sums along x of up to kRowGroup rows at a time.
class RowSums {
public:
    RowSums(int nx, int hx)
        : nx_(nx), xs_(nx, hx), heads_(std::size_t(nx + 1) * kRowGroup), tails_(std::size_t(nx + 1) * kRowGroup)
    {
        // The zero entries that stand for an empty head or tail.
        std::fill(heads_.end() - kRowGroup, heads_.end(), 0.0);
        std::fill(tails_.end() - kRowGroup, tails_.end(), 0.0);
    }

    // out[q] := window sums of rows[q], q < kRowGroup.
    void compute(const data_type* const* rows, double* const* out)
    {
        constexpr int G = kRowGroup;
        const int nx = nx_, w = xs_.w();
        double* hd = heads_.data();
        double* tl = tails_.data();
        for (int b0 = 0; b0 < nx; b0 += w) {
            const int b1 = std::min(b0 + w, nx) - 1;
            for (int q = 0; q < G; ++q)
                hd[b0 * G + q] = double(rows[q][b0]);
            for (int k = b0 + 1; k <= b1; ++k)
                for (int q = 0; q < G; ++q)
                    hd[k * G + q] = hd[(k - 1) * G + q] + double(rows[q][k]);
            if (w == 1)
                continue;  // every window is its item: the heads
            for (int q = 0; q < G; ++q)
                tl[b1 * G + q] = double(rows[q][b1]);
            for (int k = b1 - 1; k >= b0; --k)
                for (int q = 0; q < G; ++q)
                    tl[k * G + q] = tl[(k + 1) * G + q] + double(rows[q][k]);
        }
        if (w == 1) {
            for (int q = 0; q < G; ++q)
                for (int k = 0; k < nx; ++k)
                    out[q][k] = hd[k * G + q];
            return;
        }
        // Windows cut at an edge through the tables.
        const int h = xs_.h();
        auto cut = [&](int k) {
            const double* t = tl + std::size_t(xs_.tail(k)) * G;
            const double* s = hd + std::size_t(xs_.head(k)) * G;
            for (int q = 0; q < G; ++q)
                out[q][k] = t[q] + s[q];
        };
        for (int k = 0; k < std::min(h, nx); ++k)
            cut(k);
        for (int k = std::max(nx - h, h); k < nx; ++k)
            cut(k);
        // A whole window is the tail at k - h and the head at k + h, but for
        // a window that is a block: its tail alone. A head that ends a whole
        // block ends no other whole window, so it is set to zero for it.
        for (int b = w - 1; b < nx; b += w)
            for (int q = 0; q < G; ++q)
                hd[b * G + q] = 0.0;
        for (int k = h; k < nx - h; ++k) {
            const double* t = tl + std::size_t(k - h) * G;
            const double* s = hd + std::size_t(k + h) * G;
            for (int q = 0; q < G; ++q)
                out[q][k] = t[q] + s[q];
        }
    }

private:
    int nx_;
    AxisWindows xs_;
    std::vector<double> heads_, tails_;  // item k of row q at k * kRowGroup + q; item nx zero
};

// The items that the window sums of items lo .. hi along an axis keep. A
// window's tail starts at one of the items amin .. amax (never at a block's
// first item: a window from there is that block's head). Each of those
// items has a slot, that of its place in its block less one; the items
// after the last of them in the same block are only needed as their sum,
// kept in one more vector (the rest). The tails of a block are made in the
// slots, from the block's end, once the block is complete.
struct TailLayout {
    TailLayout(const AxisWindows& axis, int lo, int hi) : w(axis.w()), n(axis.n())
    {
        for (int i = lo; i <= hi; ++i) {
            const int t = axis.tail(i);
            if (t == n)
                continue;
            amin = std::min(amin, t);
            amax = std::max(amax, t);
        }
        for (int s = amin - amin % w; s <= amax; s += w) {
            const int first = kept_first(s), last = kept_last(s);
            if (first > last)
                continue;
            slots = std::max(slots, last - s);
            rest = rest || last < block_end(s);
        }
    }

    int block_end(int s) const { return std::min(s + w, n) - 1; }
    // The first and last kept items of the block that starts at s.
    int kept_first(int s) const { return std::max(amin, s + 1); }
    int kept_last(int s) const { return std::min(amax, block_end(s)); }
    int vectors() const { return slots + (rest ? 1 : 0); }

    int w, n;
    int amin = std::numeric_limits<int>::max(), amax = -1;
    int slots = 0;
    bool rest = false;
};

// Window sums along an axis whose items (the rows of a level, or the level
// planes) come one after the other, each a vector of `len` doubles, for the
// windows of items lo .. hi. The items of the newest block are summed into
// one head. The items a tail starts at are kept in a ring of slots, and
// become tails in place once their block is complete: item i takes the
// slot of item i - w, whose tail served the window of i - h - 1 last. A
// window is read once its last item is in, in the order of the items,
// before the next item comes (or after the last item).
class StreamWindows {
public:
    // The vectors are left unset: each entry is written before it is read.
    StreamWindows(int n, int h, std::size_t len, int lo, int hi)
        : axis_(n, h), layout_(axis_, lo, hi), len_(len), head_(len), store_(std::size_t(layout_.vectors()) * len)
    {
    }

    const AxisWindows& axis() const { return axis_; }

    // Takes the part [off, off + count) of item i, whose entry c is
    // value(c).
    template <typename Value>
    void add(int i, std::size_t off, std::size_t count, Value value)
    {
        double* hd = head_.get() + off;
        const int s = i - i % axis_.w();
        const int first = layout_.kept_first(s), last = layout_.kept_last(s);
        if (axis_.starts_block(i)) {
            // A block's first item is never kept.
            for (std::size_t c = 0; c < count; ++c)
                hd[c] = value(c);
        } else if (i >= first && i <= last) {
            double* keep = slot(i) + off;
            for (std::size_t c = 0; c < count; ++c) {
                const double v = value(c);
                keep[c] = v;
                hd[c] += v;
            }
        } else if (first <= last && i == last + 1) {
            double* keep = rest() + off;
            for (std::size_t c = 0; c < count; ++c) {
                const double v = value(c);
                keep[c] = v;
                hd[c] += v;
            }
        } else if (first <= last && i > last) {
            double* keep = rest() + off;
            for (std::size_t c = 0; c < count; ++c) {
                const double v = value(c);
                keep[c] += v;
                hd[c] += v;
            }
        } else {
            for (std::size_t c = 0; c < count; ++c)
                hd[c] += value(c);
        }
    }

    // Once every part of item i is in.
    void close(int i)
    {
        if (!axis_.ends_block(i))
            return;
        const int s = i - i % axis_.w();
        const int first = layout_.kept_first(s), last = layout_.kept_last(s);
        if (first > last)
            return;
        const bool rest = last < i;
        // In chunks, so that the tail just made is still at hand.
        constexpr std::size_t chunk = 512;
        for (std::size_t off = 0; off < len_; off += chunk) {
            const std::size_t count = std::min(chunk, len_ - off);
            if (rest)
                add_rows(slot(last) + off, this->rest() + off, slot(last) + off, count);
            for (int l = last - 1; l >= first; --l)
                add_rows(slot(l) + off, slot(l + 1) + off, slot(l) + off, count);
        }
    }

    // The two parts of window i, null when empty.
    const double* tail_part(int i) const
    {
        const int t = axis_.tail(i);
        return t == axis_.n() ? nullptr : store_.get() + std::size_t(t % axis_.w() - 1) * len_;
    }
    const double* head_part(int i) const { return axis_.head(i) == axis_.n() ? nullptr : head_.get(); }

private:
    double* slot(int i) { return store_.get() + std::size_t(i % axis_.w() - 1) * len_; }
    double* rest() { return store_.get() + std::size_t(layout_.slots) * len_; }

    AxisWindows axis_;
    TailLayout layout_;
    std::size_t len_;
    Doubles head_;
    Doubles store_;  // the slots, then the rest
};

}  // namespace

int smoothing_store_planes(int nz, int hz)
{
    if (nz <= 0 || hz <= 0)
        return 0;
    const AxisWindows axis(nz, std::min(hz, nz - 1));
    return TailLayout(axis, 0, nz - 1).vectors();
}

namespace {

// Writes box means into the selected cells of levels lo .. hi (inclusive).
// `selected(i, j, k)` tells whether cell (i, j, k) takes its mean.
//
// Levels are read one after the other, each row by row: the x sums of its
// rows go into the window sums down the rows, whose rows go into the
// window sums across the levels. A level's row is written as soon as its
// window across the levels is complete, while the level that completes it
// is read; a row is only written once every box that holds it has taken
// its old value into the sums, so the grid is smoothed in place.
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

    const std::size_t row = std::size_t(nx);
    RowSums xsums(nx, hx);
    StreamWindows ys(ny, hy, row, 0, ny - 1);
    StreamWindows zs(nz, hz, std::size_t(ny) * row, lo, hi);
    std::vector<double> xrows(kRowGroup * row), denominators(row);

    std::vector<int> cx(static_cast<std::size_t>(nx)), cy(static_cast<std::size_t>(ny));
    for (int k = 0; k < nx; ++k)
        cx[std::size_t(k)] = window_count(k, hx, nx);
    for (int j = 0; j < ny; ++j)
        cy[std::size_t(j)] = window_count(j, hy, ny);

    auto report = [&](int i) {
        if (progress)
            progress(int(100LL * (i - lo) / (hi - lo + 1)));
    };
    // Row j of level i from its window across the levels.
    auto write_row = [&](int i, int j) {
        const std::size_t off = std::size_t(j) * row;
        const double* t = zs.tail_part(i);
        const double* s = zs.head_part(i);
        const double cyz = double(window_count(i, hz, nz)) * cy[std::size_t(j)];
        data_type* r = grid[std::size_t(i)][std::size_t(j)].data();
        double* d = denominators.data();
        for (int k = 0; k < nx; ++k)
            d[k] = cyz * cx[std::size_t(k)];
        auto write = [&](auto sum) {
            for (int k = 0; k < nx; ++k)
                if (selected(i, j, k))
                    r[k] = static_cast<data_type>(sum(k) / d[k]);
        };
        if (t && s) {
            const double* a = t + off;
            const double* b = s + off;
            write([a, b](int k) { return a[k] + b[k]; });
        } else {
            const double* a = (t ? t : s) + off;
            write([a](int k) { return a[k]; });
        }
    };

    // The first window's tail may start before it: begin at its block.
    int first = std::max(lo - hz, 0);
    first -= first % zs.axis().w();
    const int last = std::min(hi + hz, nz - 1);
    for (int m = first; m <= last; ++m) {
        // Level m completes the window of level m - hz.
        const int i = m - hz;
        const bool writes = i >= lo;
        if (writes)
            report(i);
        // Row j of the level's sums down the rows is complete.
        auto take_row = [&](int j) {
            const double* t = ys.tail_part(j);
            const double* s = ys.head_part(j);
            const std::size_t off = std::size_t(j) * row;
            if (t && s)
                zs.add(m, off, row, [t, s](std::size_t c) { return t[c] + s[c]; });
            else
                zs.add(m, off, row, [a = t ? t : s](std::size_t c) { return a[c]; });
            if (writes)
                write_row(i, j);
        };
        const vector2D& level = grid[std::size_t(m)];
        for (int j0 = 0; j0 < ny; j0 += kRowGroup) {
            // A short last group repeats its last row.
            const int count = std::min(kRowGroup, ny - j0);
            const data_type* rows[kRowGroup];
            double* out[kRowGroup];
            for (int q = 0; q < kRowGroup; ++q) {
                rows[q] = level[std::size_t(j0 + std::min(q, count - 1))].data();
                out[q] = xrows.data() + std::size_t(q) * row;
            }
            xsums.compute(rows, out);
            for (int q = 0; q < count; ++q) {
                const int j = j0 + q;
                const double* x = out[q];
                ys.add(j, 0, row, [x](std::size_t c) { return x[c]; });
                ys.close(j);
                if (j - hy >= 0)
                    take_row(j - hy);
            }
        }
        for (int j = std::max(ny - hy, 0); j < ny; ++j)
            take_row(j);
        zs.close(m);
    }
    // The levels whose windows reach the last level.
    for (int i = std::max(lo, last - hz + 1); i <= hi; ++i) {
        report(i);
        for (int j = 0; j < ny; ++j)
            write_row(i, j);
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
