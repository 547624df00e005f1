#include "engine/forward.h"

#include "common/grid_geometry.h"
#include "engine/fft.h"
#include "engine/parallel.h"
#include "engine/prism.h"
#include "engine/target_clones.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <new>
#include <cstring>
#include <tuple>
#include <type_traits>

namespace {

bool keep_going(const ForwardProgress& progress, int done, int total)
{
    return !progress || progress(done, total);
}

// Cube of doubles [level][row][column].
using cube_d = std::vector<std::vector<std::vector<double>>>;

template <typename Cell>
bool level_has_shape(const std::vector<std::vector<Cell>>& level, int ny, int nx)
{
    return grid_has_shape(level, static_cast<std::size_t>(ny), static_cast<std::size_t>(nx));
}

template <typename Grid>
void zero_grid(Grid& g)
{
    for (auto& row : g)
        std::fill(row.begin(), row.end(), 0);
}

template <typename Level, typename Out>
void pad_level_impl(const Level& level, const ForwardGeometry& g, Out& out)
{
    if (!level_has_shape(out, g.My, g.Mx))
        out.assign(g.My, typename Out::value_type(g.Mx));
    for (int j = 0; j < g.My; ++j) {
        const int r = std::min(std::max(j - g.py, 0), g.ny - 1);
        const auto& src = level[r];
        auto* dst = out[j].data();
        const int left = std::min(g.px, g.Mx);
        for (int i = 0; i < left; ++i)
            dst[i] = src[0];
        for (int i = 0; i < g.nx; ++i)
            dst[g.px + i] = src[i];
        for (int i = g.px + g.nx; i < g.Mx; ++i)
            dst[i] = src[g.nx - 1];
    }
}

field2D zeros(int rows, int columns)
{
    return field2D(rows, std::vector<double>(columns, 0.0));
}

// Grid shaped rows x columns; kept as it is when it already has that shape
// (its values are then whatever the last use left).
template <typename Grid>
void shape(Grid& g, int rows, int columns)
{
    if (!level_has_shape(g, rows, columns))
        g.assign(rows, typename Grid::value_type(columns));
}

template <typename Grid>
void shape_all(std::vector<Grid>& v, std::size_t count, int rows, int columns)
{
    if (v.size() != count)
        v.resize(count);
    for (Grid& g : v)
        shape(g, rows, columns);
}


// ---------------------------------------------------------------------------
// The spectral core. Every spectrum the forward needs is that of a real grid,
// so only its half (columns 0 .. Mx/2, H of them) is formed:
// - a padded level: its model rows are transformed two per complex row
//   transform and separated; the pad rows repeat the edge rows, so their
//   transforms are the edge rows' ones; then the H columns are transformed,
//   reading the pad rows from the edge rows;
// - the unit cell's field is even along both axes, so its spectrum is real
//   and even: rows 0 .. My/2 of the swapped fields of two levels go through
//   one row transform (one level real, the other imaginary; both spectra come
//   out real), and the H columns, reading row r from row My - r, give the two
//   quarters.
// The levels are taken a pair at a time, every stage split over the workers
// by rows or by columns; each value of the sums gets its levels in order, so
// the field does not depend on the thread count.

constexpr std::size_t kPackRows = 8;     // packed rows a worker transforms at once
constexpr std::size_t kColumnChunk = 16; // columns a worker takes through every level at once

// The hot loops below are built twice on x86, for the processor's wide
// vectors and for any processor (engine/target_clones.h). Contraction into
// fused multiply-adds is off for this file, so both round alike.
#define TOLMERA_CLONES TOLMERA_TARGET_CLONES("avx2", "default")

// Separates a row transform Z of a + i*b (a, b real rows) into the half
// rows (columns 0 .. Mx/2) of A = (Z[c] + conj Z[-c]) / 2 and, when br is
// not null, B = (Z[c] - conj Z[-c]) / 2i.
template <typename T>
inline void split_packed_row_impl(const T* __restrict zr, const T* __restrict zi, int Mx, T* __restrict ar,
                                  T* __restrict ai, T* __restrict br, T* __restrict bi)
{
    const T half = static_cast<T>(0.5);
    const int H = Mx / 2 + 1;
    ar[0] = (zr[0] + zr[0]) * half;
    ai[0] = (zi[0] - zi[0]) * half;
    if (br) {
        br[0] = (zi[0] + zi[0]) * half;
        bi[0] = (zr[0] - zr[0]) * half;
        for (int c = 1; c < H; ++c) {
            const T pr = zr[c], pi = zi[c], qr = zr[Mx - c], qi = zi[Mx - c];
            ar[c] = (pr + qr) * half;
            ai[c] = (pi - qi) * half;
            br[c] = (pi + qi) * half;
            bi[c] = (qr - pr) * half;
        }
    } else {
        for (int c = 1; c < H; ++c) {
            ar[c] = (zr[c] + zr[Mx - c]) * half;
            ai[c] = (zi[c] - zi[Mx - c]) * half;
        }
    }
}

TOLMERA_CLONES void split_packed_row(const float* zr, const float* zi, int Mx, float* ar, float* ai, float* br,
                                     float* bi)
{
    split_packed_row_impl(zr, zi, Mx, ar, ai, br, bi);
}

TOLMERA_CLONES void split_packed_row(const double* zr, const double* zi, int Mx, double* ar, double* ai,
                                     double* br, double* bi)
{
    split_packed_row_impl(zr, zi, Mx, ar, ai, br, bi);
}

// One row of a batch of transformed columns (lanes L, `groups` full
// vectors, the row's vectors `stride` values apart) times the operator row,
// added to the sums: a product of two floats is formed in float and summed
// in double; otherwise everything is double.
template <std::size_t L, typename E, typename T>
inline void accumulate_groups(const E* __restrict e, const T* __restrict vr, const T* __restrict vi,
                              std::size_t stride, std::size_t groups, double* __restrict sr,
                              double* __restrict si)
{
    using P = decltype(E() * T());
    for (std::size_t g = 0; g < groups; ++g) {
        const E* eg = e + g * L;
        const T* rg = vr + g * stride;
        const T* ig = vi + g * stride;
        double* sg = sr + g * L;
        double* tg = si + g * L;
        for (std::size_t j = 0; j < L; ++j) {
            const P w = static_cast<P>(eg[j]);
            const P pr = w * rg[j];
            const P pi = w * ig[j];
            sg[j] += static_cast<double>(pr);
            tg[j] += static_cast<double>(pi);
        }
    }
}

// S[r][first + j] += E[r][first + j] * batch(r, j) for every row r and
// column j of the batch; E row r at op_rows[r]; the sums of columns c0 ..
// are a block of rows `width` apart, column c at c - c0.
template <typename E, typename T>
inline void accumulate_batch_impl(const FftColumnBatch<T>& b, const E* const* op_rows, double* sums_re,
                                  double* sums_im, std::size_t width, std::size_t c0)
{
    const std::size_t L = b.lanes, R = b.rows, full = b.count / L, tail = b.count % L;
    for (std::size_t r = 0; r < R; ++r) {
        const E* e = op_rows[r] + b.first;
        double* sr = sums_re + r * width + (b.first - c0);
        double* si = sums_im + r * width + (b.first - c0);
        const T* vr = b.re + r * L;
        const T* vi = b.im + r * L;
        const std::size_t stride = R * L;
        switch (L) {
        case 8:
            accumulate_groups<8>(e, vr, vi, stride, full, sr, si);
            break;
        case 4:
            accumulate_groups<4>(e, vr, vi, stride, full, sr, si);
            break;
        case 2:
            accumulate_groups<2>(e, vr, vi, stride, full, sr, si);
            break;
        default:
            accumulate_groups<1>(e, vr, vi, L, full * L, sr, si);
            break;
        }
        if (tail) {
            using P = decltype(E() * T());
            const std::size_t j0 = full * L;
            const T* tr = vr + full * stride;
            const T* ti = vi + full * stride;
            for (std::size_t j = 0; j < tail; ++j) {
                const P w = static_cast<P>(e[j0 + j]);
                const P pr = w * tr[j];
                const P pi = w * ti[j];
                sr[j0 + j] += static_cast<double>(pr);
                si[j0 + j] += static_cast<double>(pi);
            }
        }
    }
}

TOLMERA_CLONES void accumulate_batch(const FftColumnBatch<float>& b, const float* const* op_rows, double* sums_re,
                                     double* sums_im, std::size_t width, std::size_t c0)
{
    accumulate_batch_impl(b, op_rows, sums_re, sums_im, width, c0);
}

TOLMERA_CLONES void accumulate_batch(const FftColumnBatch<double>& b, const float* const* op_rows, double* sums_re,
                                     double* sums_im, std::size_t width, std::size_t c0)
{
    accumulate_batch_impl(b, op_rows, sums_re, sums_im, width, c0);
}

TOLMERA_CLONES void accumulate_batch(const FftColumnBatch<double>& b, const double* const* op_rows, double* sums_re,
                                     double* sums_im, std::size_t width, std::size_t c0)
{
    accumulate_batch_impl(b, op_rows, sums_re, sums_im, width, c0);
}

// Rows 0 .. rows-1 of a batch copied to out_a(r) (real parts) and, when
// out_b(r) is not null, out_b(r) (imaginary parts), at the batch's columns.
template <typename T, typename OutA, typename OutB>
void copy_batch_rows(const FftColumnBatch<T>& b, int rows, OutA out_a, OutB out_b)
{
    const std::size_t L = b.lanes, R = b.rows, groups = (b.count + L - 1) / L;
    for (int r = 0; r < rows; ++r) {
        T* a = out_a(r) + b.first;
        T* o = out_b(r);
        if (o)
            o += b.first;
        for (std::size_t g = 0; g < groups; ++g) {
            const std::size_t n = std::min(L, b.count - g * L);
            const std::size_t at = (g * R + static_cast<std::size_t>(r)) * L;
            std::memcpy(a + g * L, b.re + at, n * sizeof(T));
            if (o)
                std::memcpy(o + g * L, b.im + at, n * sizeof(T));
        }
    }
}

template <typename T>
using grid_t = std::vector<std::vector<T>>;

// Working grids of one precision.
template <typename T>
struct SpectraWork
{
    grid_t<T> fre, fim;                 // swapped fields of a pair of cells, rows 0 .. My/2
    grid_t<T> lre[2], lim[2];           // half row spectra of the model rows of two levels
    grid_t<T> kq[2];                    // quarters of two kernels (storage off)
    std::vector<grid_t<T>> pre, pim;    // per worker: packed rows
    std::vector<const T*> row_re[2], row_im[2];      // rows of the padded levels for the column pass
    std::vector<const T*> kernel_re, kernel_im;      // rows of the kernel pair for the column pass

    void release() { *this = SpectraWork(); }
    std::size_t bytes() const
    {
        std::size_t n = 0;
        auto add = [&n](const grid_t<T>& g) {
            for (const auto& row : g)
                n += row.capacity() * sizeof(T);
        };
        add(fre);
        add(fim);
        for (int b = 0; b < 2; ++b) {
            add(lre[b]);
            add(lim[b]);
            add(kq[b]);
        }
        for (const auto* v : {&pre, &pim})
            for (const auto& g : *v)
                add(g);
        return n;
    }
};

// Corner values of the depth faces in use: the faces of a pair of levels
// (the bottom of one level is usually the top of the next) and the last one
// of the pair before.
class FaceCache
{
public:
    // Makes sure the faces at the `count` depths are held (evicting others),
    // computing those missing in one split over the workers.
    void prepare(const PrismLattice& lattice, const double* zs, int count, int threads)
    {
        bool keep[kSlots] = {};
        std::vector<PrismLattice::Face*> missing;
        for (int i = 0; i < count; ++i) {
            int found = find(zs[i]);
            if (found >= 0) {
                keep[found] = true;
                continue;
            }
            bool pending = false;
            for (PrismLattice::Face* f : missing)
                pending = pending || f->z == zs[i];
            if (pending)
                continue;
            // A slot that holds memory already (a face no longer needed
            // first), so that regular levels keep three faces, not four.
            int slot = -1;
            for (int pass = 0; pass < 3 && slot < 0; ++pass)
                for (int j = 0; j < kSlots && slot < 0; ++j) {
                    const bool allocated = slots_[j].f.capacity() > 0;
                    if (!keep[j] && (pass == 2 || (allocated && (pass == 1 || !slots_[j].valid))))
                        slot = j;
                }
            keep[slot] = true;
            lattice.face_begin(zs[i], slots_[slot]);
            missing.push_back(&slots_[slot]);
        }
        if (missing.empty())
            return;
        const std::size_t rows = lattice.face_row_count();
        std::atomic<int> flags{0};
        run_split(rows * missing.size(), threads, [&](std::size_t i0, std::size_t i1) {
            for (std::size_t i = i0; i < i1;) {
                const std::size_t f = i / rows, b0 = i % rows, b1 = std::min(rows, b0 + (i1 - i));
                const int got = lattice.face_rows(*missing[f], b0, b1);
                if (got)
                    flags.fetch_or(got, std::memory_order_relaxed);
                i += b1 - b0;
            }
        });
        // One note per face, as the lone form gives.
        for (std::size_t f = 0; f < missing.size(); ++f)
            PrismLattice::report_nan(flags.load());
    }
    const PrismLattice::Face& at(double z) const { return slots_[find(z)]; }
    void reset()
    {
        for (PrismLattice::Face& f : slots_)
            f.valid = false;
    }
    void release()
    {
        for (PrismLattice::Face& f : slots_)
            f = PrismLattice::Face();
    }
    std::size_t bytes() const
    {
        std::size_t n = 0;
        for (const PrismLattice::Face& f : slots_)
            n += (f.f.capacity() + f.t.capacity()) * sizeof(double);
        return n;
    }

private:
    static constexpr int kSlots = 4;
    int find(double z) const
    {
        for (int j = 0; j < kSlots; ++j)
            if (slots_[j].valid && slots_[j].z == z)
                return j;
        return -1;
    }
    PrismLattice::Face slots_[kSlots];
};

// Working grids of the forward routines, kept between calls of the same size
// by the thread that calls them (allocating and first touching them cost more
// than a reused run's arithmetic). The runs' memory needs (engine/memory.cpp)
// count these grids; tst_memory_need compares them with what a run allocates.
struct ForwardWork
{
    // Sums of the half spectra: per range of columns of the column pass, a
    // block of My rows (each worker adds to its own block, allocated and
    // first touched by it); after the run the needed rows of their column
    // transforms, ny x H.
    std::vector<std::vector<double>> sum_re, sum_im;
    field2D Sr, Si;
    SpectraWork<float> f;
    SpectraWork<double> d;
    FaceCache faces;

    std::size_t bytes() const
    {
        std::size_t n = f.bytes() + d.bytes() + faces.bytes();
        for (const auto* v : {&sum_re, &sum_im})
            for (const auto& block : *v)
                n += block.capacity() * sizeof(double);
        for (const field2D* g : {&Sr, &Si})
            for (const auto& row : *g)
                n += row.capacity() * sizeof(double);
        return n;
    }
};

ForwardWork& work()
{
    thread_local ForwardWork w;
    return w;
}

template <typename T>
SpectraWork<T>& spectra(ForwardWork& w);
template <>
SpectraWork<float>& spectra<float>(ForwardWork& w)
{
    return w.f;
}
template <>
SpectraWork<double>& spectra<double>(ForwardWork& w)
{
    return w.d;
}

int half_columns(const ForwardGeometry& g) { return g.Mx / 2 + 1; }
int quarter_rows(const ForwardGeometry& g) { return g.My / 2 + 1; }

// The lattice of the unit cells of a geometry.
PrismLattice cell_lattice(const ForwardGeometry& g)
{
    return PrismLattice(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, g.My, g.Mx,
                        g.calc_level - 1e-6);
}

// Row r of the model padded to Mx columns (edge values repeated).
template <typename Src, typename T>
void pad_row(const Src* src, const ForwardGeometry& g, T* dst)
{
    const int left = std::min(g.px, g.Mx);
    const T first = static_cast<T>(src[0]);
    const T last = static_cast<T>(src[g.nx - 1]);
    for (int i = 0; i < left; ++i)
        dst[i] = first;
    for (int i = 0; i < g.nx; ++i)
        dst[g.px + i] = static_cast<T>(src[i]);
    for (int i = g.px + g.nx; i < g.Mx; ++i)
        dst[i] = last;
}

// One pair of levels in three splits over the workers, all of whose results
// do not depend on how the items are split:
// - faces: the depth faces of the pair's cells that are not held yet;
// - rows: the swapped fields of the pair's cells, rows 0 .. My/2 (one cell
//   real, the other imaginary) with their row transforms; and the model rows
//   of the pair's levels, two rows per complex row transform, separated into
//   half row spectra (A = (Z[c] + conj Z[-c]) / 2, B = (Z[c] - conj Z[-c]) / 2i);
// - columns: per chunk of columns, the kernels' column transforms (reading
//   row r from row My - r) into their quarters, then every level's column
//   transforms (the pad rows read from the edge rows), each times its
//   operator added to the sums in level order.
// K is the kernels' precision, S the level spectra's.
template <typename K, typename S>
struct PairStages
{
    const ForwardGeometry& g;
    int threads;
    // The kernels: none when ka < 0; kb < 0 when the pair has one level.
    int ka = -1, kb = -1;
    SpectraWork<K>* kw = nullptr;
    std::function<K*(int b, int r)> kernel_out;  // quarter row r (r <= My/2) of kernel b
    // The levels (n of them, 0 .. 2) and their operators' half rows.
    int n = 0;
    const vector2D* levels[2] = {nullptr, nullptr};
    SpectraWork<S>* lw = nullptr;
    std::function<const K*(int b, int r)> op_row;  // sums the levels with these operators
    ForwardWork* fw = nullptr;

    // The levels alone (no kernels): rows, then columns.
    void columns_after_rows()
    {
        rows_of_levels();
        columns();
    }

    void run(const PrismLattice& lattice, FaceCache& faces)
    {
        if (ka >= 0) {
            double zs[4] = {g.depths[ka], g.depths[ka] + g.dz, 0, 0};
            int count = 2;
            if (kb >= 0) {
                zs[2] = g.depths[kb];
                zs[3] = g.depths[kb] + g.dz;
                count = 4;
            }
            faces.prepare(lattice, zs, count, threads);
        }
        rows(&lattice, &faces);
        columns();
    }

    void rows_of_levels() { rows(nullptr, nullptr); }

    // The kernels' rows need the lattice and the faces (held already).
    void rows(const PrismLattice* lattice, const FaceCache* faces)
    {
        const int qr = quarter_rows(g), H = half_columns(g);
        const std::size_t kernel_items = ka >= 0 ? static_cast<std::size_t>(qr) : 0;
        const std::size_t pairs = static_cast<std::size_t>(g.ny + 1) / 2;
        const std::size_t level_items = pairs * n;
        const PrismLattice::Face* fa[2] = {nullptr, nullptr};
        const PrismLattice::Face* fb[2] = {nullptr, nullptr};
        if (ka >= 0) {
            shape(kw->fre, qr, g.Mx);
            shape(kw->fim, qr, g.Mx);
            fa[0] = &faces->at(g.depths[ka]);
            fa[1] = &faces->at(g.depths[ka] + g.dz);
            if (kb >= 0) {
                fb[0] = &faces->at(g.depths[kb]);
                fb[1] = &faces->at(g.depths[kb] + g.dz);
            }
        }
        // Every worker takes its share of the kernel rows and of the level
        // rows (their costs differ too much to split them as one list).
        const std::size_t shares = split_workers(kernel_items + level_items, threads);
        if (n > 0) {
            for (int b = 0; b < n; ++b) {
                shape(lw->lre[b], g.ny, H);
                shape(lw->lim[b], g.ny, H);
            }
            shape_all(lw->pre, shares, kPackRows, g.Mx);
            shape_all(lw->pim, shares, kPackRows, g.Mx);
        }
        run_split(shares, threads, [&](std::size_t w0, std::size_t w1) {
            for (std::size_t w = w0; w < w1; ++w)
                rows_share(w, shares, qr, pairs, fa, fb, lattice);
        });
    }

    void rows_share(std::size_t w, std::size_t shares, int qr, std::size_t pairs, const PrismLattice::Face* const* fa,
                    const PrismLattice::Face* const* fb, const PrismLattice* lattice)
    {
        const std::size_t kernel_rows = ka >= 0 ? static_cast<std::size_t>(qr) : 0;
        const std::size_t r0 = w * kernel_rows / shares, r1 = (w + 1) * kernel_rows / shares;
        if (r0 < r1) {
            lattice->field_rows(*fa[0], *fa[1], 1.0, true, kw->fre, r0, r1);
            if (kb >= 0)
                lattice->field_rows(*fb[0], *fb[1], 1.0, true, kw->fim, r0, r1);
            else
                for (std::size_t r = r0; r < r1; ++r)
                    std::fill(kw->fim[r].begin(), kw->fim[r].end(), K(0));
            fft_rows(kw->fre, kw->fim, r0, r1, fft_forward);
        }
        const std::size_t level_items = pairs * static_cast<std::size_t>(n);
        const std::size_t l0 = w * level_items / shares, l1 = (w + 1) * level_items / shares;
        if (l0 >= l1)
            return;
        grid_t<S>& zr = lw->pre[w];
        grid_t<S>& zi = lw->pim[w];
        for (std::size_t i = l0; i < l1;) {
            // A run of packed rows of one level.
            const int b = static_cast<int>(i / pairs);
            const std::size_t t0 = i % pairs;
            const std::size_t m = std::min({kPackRows, pairs - t0, l1 - i});
            const vector2D& level = *levels[b];
            for (std::size_t q = 0; q < m; ++q) {
                const std::size_t ra = 2 * (t0 + q), rb = ra + 1;
                pad_row(level[ra].data(), g, zr[q].data());
                if (rb < static_cast<std::size_t>(g.ny))
                    pad_row(level[rb].data(), g, zi[q].data());
                else
                    std::fill(zi[q].begin(), zi[q].end(), S(0));
            }
            fft_rows(zr, zi, 0, m, fft_forward);
            for (std::size_t q = 0; q < m; ++q) {
                const std::size_t ra = 2 * (t0 + q), rb = ra + 1;
                const bool has_b = rb < static_cast<std::size_t>(g.ny);
                split_packed_row(zr[q].data(), zi[q].data(), g.Mx, lw->lre[b][ra].data(), lw->lim[b][ra].data(),
                                 has_b ? lw->lre[b][rb].data() : nullptr, has_b ? lw->lim[b][rb].data() : nullptr);
            }
            i += m;
        }
    }

    void columns()
    {
        const int H = half_columns(g), qr = quarter_rows(g);
        if (ka >= 0) {
            kw->kernel_re.resize(g.My);
            kw->kernel_im.resize(g.My);
            for (int r = 0; r < g.My; ++r) {
                const int m = r <= g.My / 2 ? r : g.My - r;
                kw->kernel_re[r] = kw->fre[m].data();
                kw->kernel_im[r] = kw->fim[m].data();
            }
        }
        std::vector<const K*> op_rows[2];
        for (int b = 0; b < n; ++b) {
            lw->row_re[b].resize(g.My);
            lw->row_im[b].resize(g.My);
            op_rows[b].resize(g.My);
            for (int r = 0; r < g.My; ++r) {
                const int m = std::min(std::max(r - g.py, 0), g.ny - 1);
                lw->row_re[b][r] = lw->lre[b][m].data();
                lw->row_im[b][r] = lw->lim[b][m].data();
                op_rows[b][r] = op_row(b, r);
            }
        }
        run_split(H, threads, [&](std::size_t c0, std::size_t c1) {
            const std::size_t part = split_range_index(c0, H, threads);
            double* sums_re = n > 0 ? fw->sum_re[part].data() : nullptr;
            double* sums_im = n > 0 ? fw->sum_im[part].data() : nullptr;
            for (std::size_t c = c0; c < c1; c += kColumnChunk) {
                const std::size_t ce = std::min(c1, c + kColumnChunk);
                if (ka >= 0)
                    fft_columns(kw->kernel_re.data(), kw->kernel_im.data(), g.My, c, ce,
                                [&](const FftColumnBatch<K>& batch) {
                                    copy_batch_rows(
                                        batch, qr, [&](int r) { return kernel_out(0, r); },
                                        [&](int r) -> K* { return kb >= 0 ? kernel_out(1, r) : nullptr; });
                                });
                for (int b = 0; b < n; ++b)
                    fft_columns(lw->row_re[b].data(), lw->row_im[b].data(), g.My, c, ce,
                                [&](const FftColumnBatch<S>& batch) {
                                    accumulate_batch(batch, op_rows[b].data(), sums_re, sums_im, c1 - c0, c0);
                                });
            }
        });
    }
};

// The sums emptied: a block per range of columns of the column pass, each
// allocated and zeroed by the worker that adds to it.
void zero_sums(const ForwardGeometry& g, ForwardWork& w, int threads)
{
    const std::size_t H = static_cast<std::size_t>(half_columns(g));
    const std::size_t parts = split_workers(H, threads);
    w.sum_re.resize(parts);
    w.sum_im.resize(parts);
    run_split(H, threads, [&](std::size_t c0, std::size_t c1) {
        const std::size_t part = split_range_index(c0, H, threads);
        const std::size_t size = static_cast<std::size_t>(g.My) * (c1 - c0);
        w.sum_re[part].assign(size, 0.0);
        w.sum_im[part].assign(size, 0.0);
    });
}

// The inverse transform of the summed half spectrum (the spectrum of a real
// field), cut to the model's nodes. The columns go first (inverse as the
// forward transform of the conjugate); then each needed row is completed
// from its half (the column-transformed rows of a real field are conjugate
// symmetric) and two rows share one row transform. Divided by My * Mx.
void finish(const ForwardGeometry& g, ForwardWork& w, int threads, field2D& result)
{
    const int H = half_columns(g);
    shape(w.Sr, g.ny, H);
    shape(w.Si, g.ny, H);
    // Each block's columns, conjugated, transformed; the model's rows kept.
    run_split(static_cast<std::size_t>(H), threads, [&](std::size_t c0, std::size_t c1) {
        const std::size_t part = split_range_index(c0, H, threads), width = c1 - c0;
        double* re = w.sum_re[part].data();
        double* im = w.sum_im[part].data();
        for (std::size_t i = 0; i < static_cast<std::size_t>(g.My) * width; ++i)
            im[i] = -im[i];
        std::vector<const double*> rows_re(g.My), rows_im(g.My);
        for (int r = 0; r < g.My; ++r) {
            rows_re[r] = re + r * width;
            rows_im[r] = im + r * width;
        }
        fft_columns(rows_re.data(), rows_im.data(), g.My, 0, width, [&](const FftColumnBatch<double>& b) {
            for (int i = 0; i < g.ny; ++i)
                for (std::size_t j = 0; j < b.count; ++j) {
                    w.Sr[i][c0 + b.first + j] = b.re_at(g.py + i, j);
                    w.Si[i][c0 + b.first + j] = b.im_at(g.py + i, j);
                }
        });
    });
    // Now Y = conj of the column inverse; row r's full conjugated row is
    // Y[r][c] for c <= Mx/2 and conj Y[r][Mx - c] beyond.
    SpectraWork<double>& d = w.d;
    const std::size_t pairs = static_cast<std::size_t>(g.ny + 1) / 2;
    const std::size_t slots = split_workers(pairs, threads);
    shape_all(d.pre, slots, kPackRows, g.Mx);
    shape_all(d.pim, slots, kPackRows, g.Mx);
    const double divisor = static_cast<double>(g.Mx) * static_cast<double>(g.My);
    run_split(pairs, threads, [&](std::size_t t0, std::size_t t1) {
        const std::size_t slot = split_range_index(t0, pairs, threads);
        field2D& zr = d.pre[slot];
        field2D& zi = d.pim[slot];
        for (std::size_t t = t0; t < t1; t += kPackRows) {
            const std::size_t m = std::min(kPackRows, t1 - t);
            for (std::size_t q = 0; q < m; ++q) {
                const int ia = static_cast<int>(2 * (t + q)), ib = ia + 1;
                const double* ar = w.Sr[ia].data();
                const double* ai = w.Si[ia].data();
                const bool has_b = ib < g.ny;
                const double* br = has_b ? w.Sr[ib].data() : nullptr;
                const double* bi = has_b ? w.Si[ib].data() : nullptr;
                double* o_re = zr[q].data();
                double* o_im = zi[q].data();
                for (int c = 0; c < g.Mx; ++c) {
                    double ur, ui, vr = 0, vi = 0;  // u = row a, v = row b
                    if (c < H) {
                        ur = ar[c];
                        ui = ai[c];
                        if (has_b) {
                            vr = br[c];
                            vi = bi[c];
                        }
                    } else {
                        const int mc = g.Mx - c;
                        ur = ar[mc];
                        ui = -ai[mc];
                        if (has_b) {
                            vr = br[mc];
                            vi = -bi[mc];
                        }
                    }
                    // u + i v
                    o_re[c] = ur - vi;
                    o_im[c] = ui + vr;
                }
            }
            fft_rows(zr, zi, 0, m, fft_forward);
            for (std::size_t q = 0; q < m; ++q) {
                const int ia = static_cast<int>(2 * (t + q)), ib = ia + 1;
                for (int j = 0; j < g.nx; ++j) {
                    result[ia][j] = zr[q][g.px + j] / divisor;
                    if (ib < g.ny)
                        result[ib][j] = zi[q][g.px + j] / divisor;
                }
            }
        }
    });
}

// Levels k and k + 1 (when below nz) of a cube as row pointers.
template <typename Cube>
int level_pair(const Cube& den_grid, const ForwardGeometry& g, int k, const typename Cube::value_type* out[2])
{
    out[0] = &den_grid[k];
    if (k + 1 < g.nz) {
        out[1] = &den_grid[k + 1];
        return 2;
    }
    out[1] = nullptr;
    return 1;
}

// `effects` emptied and shaped for the geometry, its levels allocated by the
// workers (first touching that much memory costs as much as a level's
// arithmetic).
void shape_operator(const ForwardGeometry& g, EffectsOperator& effects, int threads)
{
    effects.clear();
    effects.rows = g.My;
    effects.columns = g.Mx;
    effects.quarter.resize(static_cast<std::size_t>(g.nz));
    const std::size_t size = static_cast<std::size_t>(effects.quarter_rows()) * effects.quarter_columns();
    run_split(g.nz, threads, [&](std::size_t k0, std::size_t k1) {
        for (std::size_t k = k0; k < k1; ++k)
            effects.quarter[k].assign(size, 0.0f);
    });
}

// Builds the operator into `effects` (already shaped) a pair of levels at a
// time; with a density grid (sum_levels) the pair's level spectra (double)
// are summed with it on the way. A stop (keep_going false before a pair)
// returns Stopped.
ForwardStatus build_operator(const ForwardGeometry& g, EffectsOperator& effects, int threads,
                             const ForwardProgress& progress, bool test_first, const vector3D* sum_levels)
{
    ForwardWork& w = work();
    w.faces.reset();
    const PrismLattice lattice = cell_lattice(g);
    for (int k = 0; k < g.nz; k += 2) {
        if ((k > 0 || test_first) && !keep_going(progress, k, g.nz))
            return ForwardStatus::Stopped;
        PairStages<float, double> st{g, threads};
        st.ka = k;
        st.kb = k + 1 < g.nz ? k + 1 : -1;
        st.kw = &w.f;
        st.kernel_out = [&](int b, int r) { return effects.quarter_row(k + b, r); };
        if (sum_levels) {
            st.n = level_pair(*sum_levels, g, k, st.levels);
            st.lw = &w.d;
            st.fw = &w;
            st.op_row = [&](int b, int r) -> const float* { return effects.half_row(k + b, r); };
        }
        st.run(lattice, w.faces);
    }
    return ForwardStatus::Completed;
}

} // namespace

std::size_t forward_kept_bytes()
{
    return work().bytes();
}

void forward_release_work()
{
    ForwardWork& w = work();
    w.f.release();
    w.d.release();
    w.faces.release();
    field2D().swap(w.Sr);
    field2D().swap(w.Si);
    std::vector<std::vector<double>>().swap(w.sum_re);
    std::vector<std::vector<double>>().swap(w.sum_im);
}

EffectsKey ForwardGeometry::key() const
{
    EffectsKey k;
    k.valid = true;
    k.levels = nz;
    k.rows = My;
    k.columns = Mx;
    k.dx = dx;
    k.dy = dy;
    k.dz = dz;
    k.padded_x0 = x_padded.empty() ? 0.0 : x_padded.front();
    k.padded_y0 = y_padded.empty() ? 0.0 : y_padded.front();
    k.depths = depths;
    k.calc_level = calc_level;
    k.expansion_factor = expansion_factor;
    return k;
}

ForwardStatus forward_geometry(int nx, int ny, int nz, const std::vector<double>& x,
                               const std::vector<double>& y, const std::vector<double>& z,
                               double calc_level, double expansion_factor, ForwardGeometry& g)
{
    if (nx <= 0 || ny <= 0 || nz <= 0)
        return ForwardStatus::EmptyGrid;
    if (x.size() != static_cast<std::size_t>(nx) || y.size() != static_cast<std::size_t>(ny)
        || z.size() != static_cast<std::size_t>(nz))
        return ForwardStatus::CoordinatesMismatch;
    if (nx < 2 || ny < 2 || nz < 2)
        return ForwardStatus::TooFewNodes;
    const float dx = static_cast<float>(x[1] - x[0]);
    const float dy = static_cast<float>(y[1] - y[0]);
    const float dz = static_cast<float>(z[1] - z[0]);
    for (float d : {dx, dy, dz})
        if (!(d > 0.0f) || !std::isfinite(d))
            return ForwardStatus::NodesNotIncreasing;
    if (!std::isfinite(x[0]) || !std::isfinite(y[0]) || !std::isfinite(calc_level))
        return ForwardStatus::NodesNotIncreasing;
    for (double d : z)
        if (!std::isfinite(d))
            return ForwardStatus::NodesNotIncreasing;
    if (!(expansion_factor >= 0.0) || !std::isfinite(expansion_factor))
        return ForwardStatus::BadExpansionFactor;
    const double grow = 2.0 * expansion_factor + 1.0;
    if (nx * grow > forward_max_fft_size || ny * grow > forward_max_fft_size)
        return ForwardStatus::BadExpansionFactor;

    ForwardGeometry r;
    r.nx = nx;
    r.ny = ny;
    r.nz = nz;
    r.Mx = fft_padded_size(nx, expansion_factor);
    r.My = fft_padded_size(ny, expansion_factor);
    r.px = (r.Mx - nx) / 2;
    r.py = (r.My - ny) / 2;
    r.dx = dx;
    r.dy = dy;
    r.dz = dz;
    // Padded nodes in float arithmetic, from the first node rounded to float.
    const float x0 = static_cast<float>(x[0]);
    const float y0 = static_cast<float>(y[0]);
    r.x_padded.resize(r.Mx);
    for (int i = 0; i < r.Mx; ++i) {
        const float v = (x0 - static_cast<float>(r.px) * dx) + static_cast<float>(i) * dx;
        r.x_padded[i] = v;
    }
    r.y_padded.resize(r.My);
    for (int j = 0; j < r.My; ++j) {
        const float v = (y0 - static_cast<float>(r.py) * dy) + static_cast<float>(j) * dy;
        r.y_padded[j] = v;
    }
    r.depths = z;
    r.calc_level = calc_level;
    r.expansion_factor = expansion_factor;
    g = std::move(r);
    return ForwardStatus::Completed;
}

ForwardStatus forward_geometry(const vector3D& den_grid, const std::vector<double>& x,
                               const std::vector<double>& y, const std::vector<double>& z,
                               double calc_level, double expansion_factor, ForwardGeometry& g)
{
    if (den_grid.empty() || den_grid.front().empty() || den_grid.front().front().empty())
        return ForwardStatus::EmptyGrid;
    if (!cube_is_regular(den_grid))
        return ForwardStatus::IrregularGrid;
    return forward_geometry(static_cast<int>(den_grid.front().front().size()),
                            static_cast<int>(den_grid.front().size()),
                            static_cast<int>(den_grid.size()), x, y, z, calc_level,
                            expansion_factor, g);
}

void pad_level(const vector2D& level, const ForwardGeometry& g, vector2D& out)
{
    pad_level_impl(level, g, out);
}

void pad_level(const vector2D& level, const ForwardGeometry& g, field2D& out)
{
    pad_level_impl(level, g, out);
}

void pad_level(const std::vector<std::vector<double>>& level, const ForwardGeometry& g, field2D& out)
{
    pad_level_impl(level, g, out);
}

void unit_cell_field(const ForwardGeometry& g, int k, field2D& out, int thread_count)
{
    prism_lattice_field(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, g.calc_level - 1e-6,
                        g.depths[k], g.depths[k] + g.dz, 1.0, false, out, thread_count);
}

void swapped_unit_cell_field(const ForwardGeometry& g, int k, field2D& out, int thread_count)
{
    prism_lattice_field(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, g.calc_level - 1e-6,
                        g.depths[k], g.depths[k] + g.dz, 1.0, true, out, thread_count);
}

PrismLattice unit_cell_lattice(const ForwardGeometry& g, int rows, int columns)
{
    return PrismLattice(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, rows, columns,
                        g.calc_level - 1e-6);
}

void swapped_unit_cell_field(const ForwardGeometry& g, const PrismLattice& lattice, int k, PrismLattice::Face& top,
                             PrismLattice::Face& bottom, field2D& out, int thread_count)
{
    // As prism_lattice_field does it, with the caller's faces.
    if (out.empty() || out[0].empty())
        return;
    lattice.face(g.depths[k], top, thread_count);
    lattice.face(g.depths[k] + g.dz, bottom, thread_count);
    lattice.field(top, bottom, 1.0, true, out, thread_count);
}

void swapped_unit_cell_field(const ForwardGeometry& g, int k, vector2D& out, int thread_count)
{
    prism_lattice_field(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, g.calc_level - 1e-6,
                        g.depths[k], g.depths[k] + g.dz, 1.0, true, out, thread_count);
}

bool effects_fit(const EffectsOperator& effects, const ForwardGeometry& g)
{
    // The key describes the data, whatever its layout: every writer of the
    // halves sets it, every reset empties it.
    return !effects.empty() && effects.key.valid && effects.key == g.key();
}


int forward_reuse_batch_levels(const ForwardGeometry&)
{
    // Two levels: their spectra are formed together, then summed column by
    // column with the sums of every column in the cache.
    return 2;
}

ForwardStatus build_effects(const ForwardGeometry& g, EffectsOperator& effects, int thread_count,
                            const ForwardProgress& progress)
{
    const int T = std::max(1, thread_count);
    try {
        shape_operator(g, effects, T);
        const ForwardStatus st = build_operator(g, effects, T, progress, true, nullptr);
        if (st != ForwardStatus::Completed) {
            effects.clear();
            return st;
        }
    } catch (const std::bad_alloc&) {
        effects.clear();
        return ForwardStatus::OutOfMemory;
    }
    effects.key = g.key();
    return ForwardStatus::Completed;
}

bool effects_checkable(const ForwardGeometry& g)
{
    if (g.nz <= 0 || g.depths.size() != static_cast<std::size_t>(g.nz) || !(g.dz > 0))
        return false;
    // A gap of 1e-5 of a level moves the sum of the levels by far less than
    // the check's tolerance.
    for (int k = 0; k + 1 < g.nz; ++k)
        if (!(std::fabs(g.depths[std::size_t(k) + 1] - (g.depths[std::size_t(k)] + g.dz)) <= 1e-5 * g.dz))
            return false;
    return true;
}

namespace {

// The held level (quarter) against one built, relative to the built one's
// largest value.
bool level_agrees(const std::vector<float>& held, const std::vector<float>& built)
{
    if (held.size() != built.size())
        return false;
    EffectsAgreement agreement;
    agreement.add(held.data(), built.data(), built.size());
    return agreement.within(effects_check_tolerance);
}

}  // namespace

namespace {

// One level of the geometry's padded grid from depth `top`, `thickness`
// thick, alone, into `out`, timed in `seconds`.
EffectsCheck build_lone_level(const ForwardGeometry& g, double top, double thickness, int threads,
                              EffectsOperator& out, double& seconds)
{
    ForwardGeometry lone = g;
    lone.nz = 1;
    lone.depths = {top};
    lone.dz = static_cast<float>(thickness);
    const auto start = std::chrono::steady_clock::now();
    const ForwardStatus st = build_effects(lone, out, threads);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (st == ForwardStatus::OutOfMemory)
        return EffectsCheck::NoMemory;
    return st == ForwardStatus::Completed ? EffectsCheck::Own : EffectsCheck::NotCheckable;
}

}  // namespace

EffectsCheck EffectsChecker::begin()
{
    begun_ = true;
    if (!effects_checkable(g_))
        return EffectsCheck::NotCheckable;
    // The sum of the levels is the operator of the whole slab, from the first
    // level's top to the last level's bottom.
    const double top = g_.depths.front();
    return build_lone_level(g_, top, g_.depths.back() + double(g_.dz) - top, threads_, slab_, lone_seconds_);
}

EffectsCheck EffectsChecker::time_level()
{
    if (!first_.empty())
        return EffectsCheck::Own;
    double seconds = 0;
    const EffectsCheck st = build_lone_level(g_, g_.depths.front(), g_.dz, threads_, first_, seconds);
    lone_seconds_ = std::min(lone_seconds_, seconds);
    return st;
}

EffectsCheck EffectsChecker::finish(const EffectsOperator& held)
{
    const ForwardGeometry& g = g_;
    if (held.levels() != g.nz || held.rows != g.My || held.columns != g.Mx)
        return EffectsCheck::OtherSizes;
    const std::size_t size = static_cast<std::size_t>(held.quarter_rows()) * held.quarter_columns();
    for (const auto& level : held.quarter)
        if (level.size() != size)
            return EffectsCheck::OtherSizes;
    if (!begun_) {
        const EffectsCheck started = begin();
        if (started != EffectsCheck::Own)
            return started;
    }
    if (const EffectsCheck built = time_level(); built != EffectsCheck::Own)
        return built;
    if (g.nz > 1 && last_.empty()) {
        double seconds = 0;
        const EffectsCheck built =
            build_lone_level(g, g.depths.back(), g.dz, threads_, last_, seconds);
        if (built != EffectsCheck::Own)
            return built;
    }
    const EffectsOperator& last = g.nz > 1 ? last_ : first_;
    if (first_.levels() != 1 || first_.quarter.front().size() != size || last.levels() != 1
        || last.quarter.front().size() != size)
        return EffectsCheck::NotCheckable;
    const int T = std::max(1, threads_);
    try {
        // The sum of all levels, every value finite: columns of the quarter
        // over the workers, levels in order.
        std::vector<double> sum(size, 0.0);
        std::atomic<bool> finite{true};
        run_split(size, T, [&](std::size_t i0, std::size_t i1) {
            bool ok = true;
            for (const auto& level : held.quarter) {
                const float* v = level.data();
                for (std::size_t i = i0; i < i1; ++i) {
                    ok = ok && std::isfinite(v[i]);
                    sum[i] += double(v[i]);
                }
            }
            if (!ok)
                finite.store(false, std::memory_order_relaxed);
        });
        if (!finite.load())
            return EffectsCheck::NotFinite;
        // The first and the last level as built.
        if (!level_agrees(held.quarter.front(), first_.quarter.front())
            || !level_agrees(held.quarter.back(), last.quarter.front()))
            return EffectsCheck::Differs;
        // Every level at frequency 0: the sum of its cell's field.
        const PrismLattice lattice = unit_cell_lattice(g, g.My, g.Mx);
        for (int k = 0; k < g.nz; ++k) {
            const double z = g.depths[std::size_t(k)];
            const double dc = lattice.field_sum(z, z + g.dz, 1.0, true);
            if (!(std::fabs(double(held.quarter[std::size_t(k)][0]) - dc) <= effects_check_tolerance * std::fabs(dc)))
                return EffectsCheck::Differs;
        }
        // The sum of the levels: the operator of the whole slab.
        if (slab_.levels() != 1 || slab_.quarter.front().size() != size)
            return EffectsCheck::NotCheckable;
        EffectsAgreement agreement;
        agreement.add(sum.data(), slab_.quarter.front().data(), size);
        if (!agreement.within(effects_check_tolerance))
            return EffectsCheck::Differs;
    } catch (const std::bad_alloc&) {
        return EffectsCheck::NoMemory;
    }
    return EffectsCheck::Own;
}

EffectsCheck check_effects(const EffectsOperator& held, const ForwardGeometry& g, int thread_count)
{
    EffectsChecker checker(g, thread_count);
    return checker.finish(held);
}

ForwardStatus forward_stored(const vector3D& den_grid, const ForwardGeometry& g,
                             EffectsOperator& effects, field2D& result, int thread_count,
                             const ForwardProgress& progress, bool* reused)
{
    const int T = std::max(1, thread_count);
    const bool fit = effects_fit(effects, g);
    if (reused)
        *reused = fit;
    ForwardWork& w = work();
    try {
        result = zeros(g.ny, g.nx);
        zero_sums(g, w, T);
        if (!keep_going(progress, 0, g.nz))
            return ForwardStatus::Stopped;

        if (fit) {
            // Level spectra in float, products formed in float, summed in double.
            for (int k = 0; k < g.nz; k += 2) {
                if (k > 0 && !keep_going(progress, k, g.nz))
                    return ForwardStatus::Stopped;
                PairStages<float, float> st{g, T};
                st.n = level_pair(den_grid, g, k, st.levels);
                st.lw = &w.f;
                st.fw = &w;
                st.op_row = [&](int b, int r) { return effects.half_row(k + b, r); };
                st.columns_after_rows();
            }
        } else {
            // Build the operator while summing the level spectra in double.
            shape_operator(g, effects, T);
            const ForwardStatus st = build_operator(g, effects, T, progress, false, &den_grid);
            if (st != ForwardStatus::Completed) {
                effects.clear();
                return st;
            }
            effects.key = g.key();
        }
        finish(g, w, T, result);
    } catch (const std::bad_alloc&) {
        if (!fit)
            effects.clear();
        result = zeros(g.ny, g.nx);
        return ForwardStatus::OutOfMemory;
    }
    return ForwardStatus::Completed;
}

ForwardStatus forward_without_store(const vector3D& den_grid, const ForwardGeometry& g,
                                    field2D& result, int thread_count,
                                    const ForwardProgress& progress)
{
    const int T = std::max(1, thread_count);
    ForwardWork& w = work();
    try {
        result = zeros(g.ny, g.nx);
        zero_sums(g, w, T);
        w.faces.reset();
        const PrismLattice lattice = cell_lattice(g);
        const int qr = quarter_rows(g), H = half_columns(g);
        shape(w.d.kq[0], qr, H);
        shape(w.d.kq[1], qr, H);
        for (int k = 0; k < g.nz; k += 2) {
            if (!keep_going(progress, k, g.nz)) {
                result = zeros(g.ny, g.nx);
                return ForwardStatus::Stopped;
            }
            // The kernels of the pair in double, then the pair's levels.
            PairStages<double, double> st{g, T};
            st.ka = k;
            st.kb = k + 1 < g.nz ? k + 1 : -1;
            st.kw = &w.d;
            st.kernel_out = [&](int b, int r) { return w.d.kq[b][r].data(); };
            st.n = level_pair(den_grid, g, k, st.levels);
            st.lw = &w.d;
            st.fw = &w;
            st.op_row = [&](int b, int r) -> const double* { return w.d.kq[b][r <= g.My / 2 ? r : g.My - r].data(); };
            st.run(lattice, w.faces);
        }
        finish(g, w, T, result);
    } catch (const std::bad_alloc&) {
        result = zeros(g.ny, g.nx);
        return ForwardStatus::OutOfMemory;
    }
    return ForwardStatus::Completed;
}

ForwardStatus forward_fast(const cube_d& den_grid, const std::vector<double>& x,
                           const std::vector<double>& y, const std::vector<double>& z,
                           double calc_level, double expansion_factor, field2D& result,
                           const ForwardProgress& progress, int* transforms)
{
    if (transforms)
        *transforms = 0;
    if (den_grid.empty() || den_grid.front().empty() || den_grid.front().front().empty())
        return ForwardStatus::EmptyGrid;
    const int nz = static_cast<int>(den_grid.size());
    const int ny = static_cast<int>(den_grid.front().size());
    const int nx = static_cast<int>(den_grid.front().front().size());
    for (const auto& level : den_grid)
        if (!level_has_shape(level, ny, nx))
            return ForwardStatus::IrregularGrid;
    ForwardGeometry g;
    const ForwardStatus st = forward_geometry(nx, ny, nz, x, y, z, calc_level, expansion_factor, g);
    if (st != ForwardStatus::Completed)
        return st;
    // This form places the FFT-grid nodes in double: x'_k = x0 + (k - left) * dx.
    const double dx = x[1] - x[0];
    const double dy = y[1] - y[0];
    const double dz = z[1] - z[0];
    for (int i = 0; i < g.Mx; ++i)
        g.x_padded[i] = x[0] + (i - g.px) * dx;
    for (int j = 0; j < g.My; ++j)
        g.y_padded[j] = y[0] + (j - g.py) * dy;

    try {
        result = zeros(ny, nx);
        field2D Sr, Si, kre, kim, dre, dim;
        const std::vector<double> xp{g.x_padded[g.Mx / 2] - dx / 2, g.x_padded[g.Mx / 2] + dx / 2};
        const std::vector<double> yp{g.y_padded[g.My / 2] - dy / 2, g.y_padded[g.My / 2] + dy / 2};
        for (int k = 0; k < nz; ++k) {
            if (!keep_going(progress, k, nz)) {
                result = zeros(ny, nx);
                return ForwardStatus::Stopped;
            }
            // The padded level repeats the edge cells, so it is constant
            // exactly when the level is.
            double lo = den_grid[k][0][0], hi = lo;
            for (const auto& row : den_grid[k])
                for (double v : row) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            if (lo == hi) {
                const double slab = lo * fast_forward_slab_factor * dz;
                for (auto& row : result)
                    for (double& v : row)
                        v += slab;
                continue;
            }
            if (Sr.empty()) {
                Sr = zeros(g.My, g.Mx);
                Si = zeros(g.My, g.Mx);
                kre = zeros(g.My, g.Mx);
                kim = zeros(g.My, g.Mx);
                dre = zeros(g.My, g.Mx);
                dim = zeros(g.My, g.Mx);
            }
            const std::vector<double> zp{z[k], z[k] + dz};
            prism_gravity_kernel(g.x_padded, g.y_padded, calc_level, xp, yp, zp, 1.0, dre);
            fft_shift(dre, kre);
            zero_grid(kim);
            fft_2d(kre, kim, fft_forward);
            pad_level(den_grid[k], g, dre);
            zero_grid(dim);
            fft_2d(dre, dim, fft_forward);
            for (int r = 0; r < g.My; ++r)
                for (int c = 0; c < g.Mx; ++c) {
                    // Full complex product of the two spectra.
                    Sr[r][c] += kre[r][c] * dre[r][c] - kim[r][c] * dim[r][c];
                    Si[r][c] += kre[r][c] * dim[r][c] + kim[r][c] * dre[r][c];
                }
            if (transforms)
                ++*transforms;
        }
        if (!Sr.empty()) {
            fft_2d(Sr, Si, fft_inverse);
            for (int i = 0; i < ny; ++i)
                for (int j = 0; j < nx; ++j)
                    result[i][j] += Sr[g.py + i][g.px + j];
        }
    } catch (const std::bad_alloc&) {
        result = zeros(ny, nx);
        return ForwardStatus::OutOfMemory;
    }
    return ForwardStatus::Completed;
}
