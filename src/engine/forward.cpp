#include "engine/forward.h"

#include "common/grid_geometry.h"
#include "engine/fft.h"
#include "engine/parallel.h"
#include "engine/prism.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <tuple>

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
    std::vector<const T*> row_re[2], row_im[2];

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
    const PrismLattice::Face& get(const PrismLattice& lattice, double z, int T)
    {
        for (Slot& s : slots_)
            if (s.face.valid && s.face.z == z) {
                s.used = ++clock_;
                return s.face;
            }
        Slot* oldest = &slots_[0];
        for (Slot& s : slots_)
            if (s.used < oldest->used)
                oldest = &s;
        oldest->face.valid = false;
        lattice.face(z, oldest->face, T);
        oldest->used = ++clock_;
        return oldest->face;
    }
    void reset()
    {
        for (Slot& s : slots_)
            s.face.valid = false;
    }
    void release()
    {
        for (Slot& s : slots_)
            s = Slot();
    }
    std::size_t bytes() const
    {
        std::size_t n = 0;
        for (const Slot& s : slots_)
            n += (s.face.f.capacity() + s.face.t.capacity()) * sizeof(double);
        return n;
    }

private:
    struct Slot
    {
        PrismLattice::Face face;
        unsigned long used = 0;
    };
    Slot slots_[3];
    unsigned long clock_ = 0;
};

// Working grids of the forward routines, kept between calls of the same size
// by the thread that calls them (allocating and first touching them cost more
// than a reused run's arithmetic).
struct ForwardWork
{
    field2D Sr, Si;  // sums of the half spectra, My x H
    SpectraWork<float> f;
    SpectraWork<double> d;
    FaceCache faces;

    std::size_t bytes() const
    {
        std::size_t n = f.bytes() + d.bytes() + faces.bytes();
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

// The swapped fields of the cells of levels ka and kb (kb < 0: none, zeros)
// in rows 0 .. My/2 of w.fre and w.fim, row-transformed together.
template <typename T>
void kernel_pair_rows(const ForwardGeometry& g, const PrismLattice& lattice, FaceCache& faces, int ka,
                      int kb, int threads, SpectraWork<T>& w)
{
    const int qr = quarter_rows(g);
    shape(w.fre, qr, g.Mx);
    shape(w.fim, qr, g.Mx);
    {
        const PrismLattice::Face& top = faces.get(lattice, g.depths[ka], threads);
        const PrismLattice::Face& bottom = faces.get(lattice, g.depths[ka] + g.dz, threads);
        lattice.field(top, bottom, 1.0, true, w.fre, threads);
    }
    if (kb >= 0) {
        const PrismLattice::Face& top = faces.get(lattice, g.depths[kb], threads);
        const PrismLattice::Face& bottom = faces.get(lattice, g.depths[kb] + g.dz, threads);
        lattice.field(top, bottom, 1.0, true, w.fim, threads);
    } else {
        run_split(qr, threads, [&](std::size_t r0, std::size_t r1) {
            for (std::size_t r = r0; r < r1; ++r)
                std::fill(w.fim[r].begin(), w.fim[r].end(), T(0));
        });
    }
    run_split(qr, threads, [&](std::size_t r0, std::size_t r1) { fft_rows(w.fre, w.fim, r0, r1, fft_forward); });
}

// The column transforms of a kernel pair whose rows kernel_pair_rows made:
// quarter row r (r <= My/2) of the two spectra goes to out_a(r) and, when
// out_b(r) is not null, to out_b(r).
template <typename T, typename OutA, typename OutB>
void kernel_pair_columns(const ForwardGeometry& g, int threads, SpectraWork<T>& w, OutA out_a, OutB out_b)
{
    const int H = half_columns(g), qr = quarter_rows(g);
    auto& pr = w.row_re[0];
    auto& pi = w.row_im[0];
    pr.resize(g.My);
    pi.resize(g.My);
    for (int r = 0; r < g.My; ++r) {
        const int m = r <= g.My / 2 ? r : g.My - r;
        pr[r] = w.fre[m].data();
        pi[r] = w.fim[m].data();
    }
    run_split(H, threads, [&](std::size_t c0, std::size_t c1) {
        fft_columns(pr.data(), pi.data(), g.My, c0, c1, [&](const FftColumnBatch<T>& b) {
            for (int r = 0; r < qr; ++r) {
                auto* a = out_a(r);
                auto* o = out_b(r);
                for (std::size_t j = 0; j < b.count; ++j) {
                    a[b.first + j] = b.re_at(r, j);
                    if (o)
                        o[b.first + j] = b.im_at(r, j);
                }
            }
        });
    });
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

// The half row spectra of the model rows of n (1 or 2) levels into
// w.lre[b], w.lim[b] (ny x H): rows 2t and 2t + 1 of a level share one
// complex row transform and are separated, A = (Z[c] + conj Z[-c]) / 2,
// B = (Z[c] - conj Z[-c]) / 2i.
template <typename T, typename Level>
void level_row_spectra(const ForwardGeometry& g, const Level* const* levels, int n, int threads,
                       SpectraWork<T>& w)
{
    const int H = half_columns(g);
    const std::size_t pairs = static_cast<std::size_t>(g.ny + 1) / 2;
    for (int b = 0; b < n; ++b) {
        shape(w.lre[b], g.ny, H);
        shape(w.lim[b], g.ny, H);
    }
    const std::size_t slots = std::max<std::size_t>(1, std::min<std::size_t>(threads, pairs * n));
    shape_all(w.pre, slots, kPackRows, g.Mx);
    shape_all(w.pim, slots, kPackRows, g.Mx);
    const std::size_t items = pairs * n;
    const T half = static_cast<T>(0.5);
    run_split(items, threads, [&](std::size_t i0, std::size_t i1) {
        const std::size_t slot = split_range_index(i0, items, threads);
        grid_t<T>& zr = w.pre[slot];
        grid_t<T>& zi = w.pim[slot];
        for (std::size_t i = i0; i < i1;) {
            // A run of packed rows of one level.
            const int b = static_cast<int>(i / pairs);
            const std::size_t t0 = i % pairs;
            const std::size_t m = std::min({kPackRows, pairs - t0, i1 - i});
            const Level& level = *levels[b];
            for (std::size_t q = 0; q < m; ++q) {
                const std::size_t ra = 2 * (t0 + q), rb = ra + 1;
                pad_row(level[ra].data(), g, zr[q].data());
                if (rb < static_cast<std::size_t>(g.ny))
                    pad_row(level[rb].data(), g, zi[q].data());
                else
                    std::fill(zi[q].begin(), zi[q].end(), T(0));
            }
            fft_rows(zr, zi, 0, m, fft_forward);
            for (std::size_t q = 0; q < m; ++q) {
                const std::size_t ra = 2 * (t0 + q), rb = ra + 1;
                const T* z_re = zr[q].data();
                const T* z_im = zi[q].data();
                T* ar = w.lre[b][ra].data();
                T* ai = w.lim[b][ra].data();
                T* br = rb < static_cast<std::size_t>(g.ny) ? w.lre[b][rb].data() : nullptr;
                T* bi = br ? w.lim[b][rb].data() : nullptr;
                for (int c = 0; c < H; ++c) {
                    const int mc = c == 0 ? 0 : g.Mx - c;
                    ar[c] = (z_re[c] + z_re[mc]) * half;
                    ai[c] = (z_im[c] - z_im[mc]) * half;
                    if (br) {
                        br[c] = (z_im[c] + z_im[mc]) * half;
                        bi[c] = (z_re[mc] - z_re[c]) * half;
                    }
                }
            }
            i += m;
        }
    });
}

// The column transforms of the n levels whose row spectra level_row_spectra
// made, each product with its operator added to the sums:
// S[r][c] += E_b[r][c] * L_b[r][c] for b in order, E_b row r given by
// op(b, r) (columns 0 .. Mx/2). A product of two floats is formed in float
// and summed in double; otherwise everything is double.
template <typename T, typename Op>
void accumulate_levels(const ForwardGeometry& g, int n, int threads, SpectraWork<T>& w, ForwardWork& fw, Op op)
{
    const int H = half_columns(g);
    for (int b = 0; b < n; ++b) {
        w.row_re[b].resize(g.My);
        w.row_im[b].resize(g.My);
        for (int r = 0; r < g.My; ++r) {
            const int m = std::min(std::max(r - g.py, 0), g.ny - 1);
            w.row_re[b][r] = w.lre[b][m].data();
            w.row_im[b][r] = w.lim[b][m].data();
        }
    }
    run_split(H, threads, [&](std::size_t c0, std::size_t c1) {
        for (std::size_t c = c0; c < c1; c += kColumnChunk) {
            const std::size_t ce = std::min(c1, c + kColumnChunk);
            for (int b = 0; b < n; ++b) {
                fft_columns(w.row_re[b].data(), w.row_im[b].data(), g.My, c, ce, [&](const FftColumnBatch<T>& batch) {
                    const std::size_t L = batch.lanes, R = batch.rows;
                    for (std::size_t r = 0; r < R; ++r) {
                        const auto* e = op(b, static_cast<int>(r)) + batch.first;
                        double* __restrict sr = fw.Sr[r].data() + batch.first;
                        double* __restrict si = fw.Si[r].data() + batch.first;
                        for (std::size_t j0 = 0; j0 < batch.count; j0 += L) {
                            const T* __restrict vr = batch.re + ((j0 / L) * R + r) * L;
                            const T* __restrict vi = batch.im + ((j0 / L) * R + r) * L;
                            const std::size_t m = std::min(L, batch.count - j0);
                            for (std::size_t j = 0; j < m; ++j) {
                                using P = decltype(e[0] * vr[0]);
                                const P E = static_cast<P>(e[j0 + j]);
                                const P pr = E * vr[j];
                                const P pi = E * vi[j];
                                sr[j0 + j] += static_cast<double>(pr);
                                si[j0 + j] += static_cast<double>(pi);
                            }
                        }
                    }
                });
            }
        }
    });
}

// The sums emptied, shaped My x H.
void zero_sums(const ForwardGeometry& g, ForwardWork& w, int threads)
{
    const int H = half_columns(g);
    shape(w.Sr, g.My, H);
    shape(w.Si, g.My, H);
    run_split(g.My, threads, [&](std::size_t r0, std::size_t r1) {
        for (std::size_t r = r0; r < r1; ++r) {
            std::fill(w.Sr[r].begin(), w.Sr[r].end(), 0.0);
            std::fill(w.Si[r].begin(), w.Si[r].end(), 0.0);
        }
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
    run_split(g.My, threads, [&](std::size_t r0, std::size_t r1) {
        for (std::size_t r = r0; r < r1; ++r)
            for (double& v : w.Si[r])
                v = -v;
    });
    run_split(H, threads, [&](std::size_t c0, std::size_t c1) { fft_columns(w.Sr, w.Si, c0, c1, fft_forward); });
    // Now Y = conj of the column inverse; row r's full conjugated row is
    // Y[r][c] for c <= Mx/2 and conj Y[r][Mx - c] beyond.
    SpectraWork<double>& d = w.d;
    const std::size_t pairs = static_cast<std::size_t>(g.ny + 1) / 2;
    const std::size_t slots = std::max<std::size_t>(1, std::min<std::size_t>(threads, pairs));
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
                const double* ar = w.Sr[g.py + ia].data();
                const double* ai = w.Si[g.py + ia].data();
                const bool has_b = ib < g.ny;
                const double* br = has_b ? w.Sr[g.py + ib].data() : nullptr;
                const double* bi = has_b ? w.Si[g.py + ib].data() : nullptr;
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

// Builds the operator's pairs of levels into `effects` (already shaped),
// calling after_pair(k, n) after the pair of levels k .. k + n - 1; a stop
// (keep_going false before a pair) returns Stopped.
template <typename AfterPair>
ForwardStatus build_operator(const ForwardGeometry& g, EffectsOperator& effects, int threads,
                             const ForwardProgress& progress, bool test_first, AfterPair after_pair)
{
    ForwardWork& w = work();
    w.faces.reset();
    const PrismLattice lattice = cell_lattice(g);
    for (int k = 0; k < g.nz; k += 2) {
        if ((k > 0 || test_first) && !keep_going(progress, k, g.nz))
            return ForwardStatus::Stopped;
        const int kb = k + 1 < g.nz ? k + 1 : -1;
        kernel_pair_rows(g, lattice, w.faces, k, kb, threads, w.f);
        kernel_pair_columns(
            g, threads, w.f, [&](int r) { return effects.quarter_row(k, r); },
            [&](int r) -> float* { return kb >= 0 ? effects.quarter_row(kb, r) : nullptr; });
        after_pair(k, kb >= 0 ? 2 : 1);
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
        const ForwardStatus st = build_operator(g, effects, T, progress, true, [](int, int) {});
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
                const vector2D* levels[2];
                const int n = level_pair(den_grid, g, k, levels);
                level_row_spectra(g, levels, n, T, w.f);
                accumulate_levels(g, n, T, w.f, w,
                                  [&](int b, int r) { return effects.half_row(k + b, r); });
            }
        } else {
            // Build the operator while summing the level spectra in double.
            shape_operator(g, effects, T);
            const ForwardStatus st = build_operator(g, effects, T, progress, false, [&](int k, int n) {
                const vector2D* levels[2];
                level_pair(den_grid, g, k, levels);
                level_row_spectra(g, levels, n, T, w.d);
                accumulate_levels(g, n, T, w.d, w,
                                  [&](int b, int r) { return effects.half_row(k + b, r); });
            });
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
        for (int k = 0; k < g.nz; k += 2) {
            if (!keep_going(progress, k, g.nz)) {
                result = zeros(g.ny, g.nx);
                return ForwardStatus::Stopped;
            }
            // The kernels of the pair in double, then the pair's levels.
            const int kb = k + 1 < g.nz ? k + 1 : -1;
            shape(w.d.kq[0], qr, H);
            shape(w.d.kq[1], qr, H);
            kernel_pair_rows(g, lattice, w.faces, k, kb, T, w.d);
            kernel_pair_columns(
                g, T, w.d, [&](int r) { return w.d.kq[0][r].data(); },
                [&](int r) -> double* { return kb >= 0 ? w.d.kq[1][r].data() : nullptr; });
            const vector2D* levels[2];
            const int n = level_pair(den_grid, g, k, levels);
            level_row_spectra(g, levels, n, T, w.d);
            accumulate_levels(g, n, T, w.d, w, [&](int b, int r) -> const double* {
                return w.d.kq[b][r <= g.My / 2 ? r : g.My - r].data();
            });
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
