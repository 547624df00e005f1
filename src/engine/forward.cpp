#include "engine/forward.h"

#include "common/grid_geometry.h"
#include "engine/fft.h"
#include "engine/parallel.h"
#include "engine/prism.h"

#include <algorithm>
#include <cmath>
#include <new>

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

// result[i][j] = S[py + i][px + j].
void take_inner_window(const field2D& S, const ForwardGeometry& g, field2D& result)
{
    for (int i = 0; i < g.ny; ++i)
        for (int j = 0; j < g.nx; ++j)
            result[i][j] = S[g.py + i][g.px + j];
}

field2D zeros(int rows, int columns)
{
    return field2D(rows, std::vector<double>(columns, 0.0));
}

// Separates the spectrum Z of a + i*b, where a and b are real grids, into
// the spectra A (left in re, im) and B (written to b_re, b_im):
// B[k] = (Z[k] - conj(Z[-k])) / 2i, then A = Z - i*B.
void split_real_pair(vector2D& re, vector2D& im, vector2D& b_re, vector2D& b_im)
{
    const std::size_t rows = re.size(), cols = re.front().size();
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t rr = r == 0 ? 0 : rows - r;
        const data_type* zr = re[r].data();
        const data_type* zi = im[r].data();
        const data_type* mr = re[rr].data();
        const data_type* mi = im[rr].data();
        data_type* br = b_re[r].data();
        data_type* bi = b_im[r].data();
        br[0] = (zi[0] + mi[0]) * 0.5f;
        bi[0] = (mr[0] - zr[0]) * 0.5f;
        for (std::size_t c = 1; c < cols; ++c) {
            br[c] = (zi[c] + mi[cols - c]) * 0.5f;
            bi[c] = (mr[cols - c] - zr[c]) * 0.5f;
        }
    }
    for (std::size_t r = 0; r < rows; ++r) {
        data_type* zr = re[r].data();
        data_type* zi = im[r].data();
        const data_type* br = b_re[r].data();
        const data_type* bi = b_im[r].data();
        for (std::size_t c = 0; c < cols; ++c) {
            zr[c] += bi[c];
            zi[c] -= br[c];
        }
    }
}

// Levels per group when the operator is built: one per worker, so that every
// worker evaluates the kernel of its own level; fewer levels than workers
// share the rows of each kernel.
int build_group(int thread_count, int levels_left)
{
    return std::max(1, std::min(thread_count, levels_left));
}

// One group of n levels from k0, a level per slot: the level's kernel
// spectrum (its real half in kernel_re(b), the imaginary one in the scratch
// kernel_im[b]) and the spectrum of its padded density (dre[b], dim[b]), then
// their products added to (Sr, Si) in level order inside every row, so that
// the sums do not depend on the thread count. The stored form keeps the
// kernels in float as the operator's levels, the storage-off form in double.
template <class KernelGrid, class KernelRe>
void add_level_group(const vector3D& den_grid, const ForwardGeometry& g, int k0, int n, int T,
                     KernelRe kernel_re, std::vector<KernelGrid>& kernel_im,
                     std::vector<field2D>& dre, std::vector<field2D>& dim, field2D& Sr, field2D& Si)
{
    const int per_level = std::max(1, T / n);
    run_split(n, T, [&](std::size_t b0, std::size_t b1) {
        for (std::size_t b = b0; b < b1; ++b) {
            const int k = k0 + static_cast<int>(b);
            KernelGrid& kre = kernel_re(static_cast<int>(b));
            unit_cell_field(g, k, dre[b], per_level);
            fft_shift(dre[b], kre);
            zero_grid(kernel_im[b]);
            fft_2d(kre, kernel_im[b], fft_forward);
            pad_level(den_grid[k], g, dre[b]);
            zero_grid(dim[b]);
            fft_2d(dre[b], dim[b], fft_forward);
        }
    });
    run_split(g.My, T, [&](std::size_t r0, std::size_t r1) {
        for (std::size_t r = r0; r < r1; ++r) {
            double* sr = Sr[r].data();
            double* si = Si[r].data();
            for (int b = 0; b < n; ++b) {
                const auto* K = kernel_re(b)[r].data();
                const double* dr = dre[b][r].data();
                const double* di = dim[b][r].data();
                for (int c = 0; c < g.Mx; ++c) {
                    const double E = K[c];
                    sr[c] += E * dr[c];
                    si[c] += E * di[c];
                }
            }
        }
    });
}

} // namespace

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
    const int cx = g.Mx / 2;
    const int cy = g.My / 2;
    const float hx = g.dx * 0.5f;
    const float hy = g.dy * 0.5f;
    const std::vector<double> xp{g.x_padded[cx] - hx, g.x_padded[cx] + hx};
    const std::vector<double> yp{g.y_padded[cy] - hy, g.y_padded[cy] + hy};
    const std::vector<double> zp{g.depths[k], g.depths[k] + g.dz};
    prism_gravity_kernel(g.x_padded, g.y_padded, g.calc_level - 1e-6, xp, yp, zp, 1.0, out,
                         thread_count);
}

bool effects_fit(const EffectsOperator& effects, const ForwardGeometry& g)
{
    // The key describes the data, whatever its layout: every writer of the
    // halves sets it, every reset empties it.
    return !effects.empty() && effects.key.valid && effects.key == g.key();
}

int forward_reuse_batch_levels(const ForwardGeometry& g)
{
    // Sixteen levels (eight transforms, two real levels sharing each) keep the
    // group's spectra near the cache and give work to up to eight workers;
    // very large grids take fewer (about 64 MB of spectra at 8 bytes per
    // padded cell).
    const double per_level = 8.0 * g.padded_cells();
    const int by_memory = static_cast<int>((64.0 * 1024 * 1024) / std::max(per_level, 1.0));
    return std::max(1, std::min({g.nz, 16, std::max(4, by_memory)}));
}

ForwardStatus build_effects(const ForwardGeometry& g, EffectsOperator& effects, bool both_halves,
                            int thread_count, const ForwardProgress& progress)
{
    const int T = std::max(1, thread_count);
    try {
        effects.clear();
        effects.re.assign(g.nz, vector2D(g.My, std::vector<data_type>(g.Mx, 0.0f)));
        if (both_halves)
            effects.im.assign(g.nz, vector2D(g.My, std::vector<data_type>(g.Mx, 0.0f)));

        const int slots = build_group(T, g.nz);
        std::vector<field2D> field(slots, zeros(g.My, g.Mx));
        std::vector<vector2D> scratch_im(both_halves ? 0 : slots,
                                         vector2D(g.My, std::vector<data_type>(g.Mx, 0.0f)));

        for (int k0 = 0; k0 < g.nz;) {
            if (!keep_going(progress, k0, g.nz)) {
                effects.clear();
                return ForwardStatus::Stopped;
            }
            const int n = build_group(T, g.nz - k0);
            const int per_level = std::max(1, T / n);
            run_split(n, T, [&](std::size_t b0, std::size_t b1) {
                for (std::size_t b = b0; b < b1; ++b) {
                    const int k = k0 + static_cast<int>(b);
                    unit_cell_field(g, k, field[b], per_level);
                    fft_shift(field[b], effects.re[k]);
                    vector2D& im = both_halves ? effects.im[k] : scratch_im[b];
                    if (!both_halves)
                        zero_grid(im);
                    fft_2d(effects.re[k], im, fft_forward);
                }
            });
            k0 += n;
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
    try {
        result = zeros(g.ny, g.nx);
        field2D Sr = zeros(g.My, g.Mx);
        field2D Si = zeros(g.My, g.Mx);
        if (!keep_going(progress, 0, g.nz))
            return ForwardStatus::Stopped;

        if (fit) {
            // Level spectra in float, a group of levels at a time; the group
            // size does not depend on the thread count.
            const int B = forward_reuse_batch_levels(g);
            vector3D spec_re(B, vector2D(g.My, std::vector<data_type>(g.Mx)));
            vector3D spec_im(B, vector2D(g.My, std::vector<data_type>(g.Mx)));
            vector3D op(B);
            field2D Pr = zeros(g.My, g.Mx);
            field2D Pi = zeros(g.My, g.Mx);
            for (int k0 = 0; k0 < g.nz; k0 += B) {
                if (k0 > 0 && !keep_going(progress, k0, g.nz))
                    return ForwardStatus::Stopped;
                const int n = std::min(B, g.nz - k0);
                if (n < static_cast<int>(spec_re.size())) {
                    spec_re.resize(n);
                    spec_im.resize(n);
                    op.resize(n);
                }
                // The levels are real: two of them share one transform.
                run_split((n + 1) / 2, T, [&](std::size_t j0, std::size_t j1) {
                    for (std::size_t j = j0; j < j1; ++j) {
                        const std::size_t a = 2 * j, b = a + 1;
                        pad_level(den_grid[k0 + a], g, spec_re[a]);
                        if (b < static_cast<std::size_t>(n))
                            pad_level(den_grid[k0 + b], g, spec_im[a]);
                        else
                            zero_grid(spec_im[a]);
                        fft_2d(spec_re[a], spec_im[a], fft_forward);
                        if (b < static_cast<std::size_t>(n))
                            split_real_pair(spec_re[a], spec_im[a], spec_re[b], spec_im[b]);
                    }
                });
                // Lend the group's operator levels to the accumulation without
                // copying them, and take them back at once.
                for (int b = 0; b < n; ++b)
                    op[b].swap(effects.re[k0 + b]);
                parallel_accumulate_effects(op, spec_re, spec_im, Pr, Pi, T);
                for (int b = 0; b < n; ++b)
                    op[b].swap(effects.re[k0 + b]);
                run_split(g.My, T, [&](std::size_t r0, std::size_t r1) {
                    for (std::size_t r = r0; r < r1; ++r)
                        for (int c = 0; c < g.Mx; ++c) {
                            Sr[r][c] += Pr[r][c];
                            Si[r][c] += Pi[r][c];
                        }
                });
            }
        } else {
            // Build the operator's real half while summing the level spectra in double.
            vector3D().swap(effects.im);
            effects.re.clear();
            effects.key = EffectsKey();
            effects.re.assign(g.nz, vector2D(g.My, std::vector<data_type>(g.Mx, 0.0f)));
            const int slots = build_group(T, g.nz);
            std::vector<field2D> dre(slots, zeros(g.My, g.Mx));
            std::vector<field2D> dim(slots, zeros(g.My, g.Mx));
            std::vector<vector2D> scratch_im(slots, vector2D(g.My, std::vector<data_type>(g.Mx)));
            for (int k0 = 0; k0 < g.nz;) {
                if (k0 > 0 && !keep_going(progress, k0, g.nz)) {
                    effects.clear();
                    return ForwardStatus::Stopped;
                }
                const int n = build_group(T, g.nz - k0);
                add_level_group(
                    den_grid, g, k0, n, T, [&](int b) -> vector2D& { return effects.re[k0 + b]; },
                    scratch_im, dre, dim, Sr, Si);
                k0 += n;
            }
            effects.key = g.key();
        }
        fft_2d(Sr, Si, fft_inverse);
        take_inner_window(Sr, g, result);
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
    try {
        result = zeros(g.ny, g.nx);
        field2D Sr = zeros(g.My, g.Mx);
        field2D Si = zeros(g.My, g.Mx);
        const int slots = build_group(T, g.nz);
        std::vector<field2D> kre(slots, zeros(g.My, g.Mx)), kim(slots, zeros(g.My, g.Mx));
        std::vector<field2D> dre(slots, zeros(g.My, g.Mx)), dim(slots, zeros(g.My, g.Mx));
        for (int k0 = 0; k0 < g.nz;) {
            if (!keep_going(progress, k0, g.nz))
                return ForwardStatus::Stopped;
            const int n = build_group(T, g.nz - k0);
            add_level_group(
                den_grid, g, k0, n, T, [&](int b) -> field2D& { return kre[b]; }, kim, dre, dim, Sr, Si);
            k0 += n;
        }
        fft_2d(Sr, Si, fft_inverse);
        take_inner_window(Sr, g, result);
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
