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

// Working grids of the forward routines, kept between calls of the same size
// by the thread that calls them (allocating and first touching them cost more
// than a reused run's arithmetic).
struct ForwardWork
{
    field2D Sr, Si;                 // spectrum sums
    vector3D spec_re, spec_im;      // level spectra of a reuse group
    std::vector<field2D> a, b, c, d; // per worker: transform pairs and their split
    std::vector<vector2D> ka, kb;    // per worker: the two kernels of an operator pair
    vector2D zero_im;               // imaginary scratch of a lone kernel
    std::vector<PrismLattice::Face> faces;  // depth faces of a group of levels
    PrismLattice::Face carry;       // the last face of the previous group

    // Grids of the other forms are let go, so that what is kept between
    // calls is what the last form needs.
    void drop_spectra()
    {
        vector3D().swap(spec_re);
        vector3D().swap(spec_im);
    }
    void drop_slots()
    {
        for (auto* v : {&a, &b, &c, &d})
            std::vector<field2D>().swap(*v);
        for (auto* v : {&ka, &kb})
            std::vector<vector2D>().swap(*v);
        vector2D().swap(zero_im);
        std::vector<PrismLattice::Face>().swap(faces);
        carry = PrismLattice::Face();
    }

    std::size_t bytes() const
    {
        std::size_t n = 0;
        auto add = [&n](const auto& grid) {
            for (const auto& row : grid)
                n += row.capacity() * sizeof(row[0]);
        };
        add(Sr);
        add(Si);
        for (const auto* v : {&spec_re, &spec_im})
            for (const auto& level : *v)
                add(level);
        for (const auto* v : {&a, &b, &c, &d})
            for (const auto& grid : *v)
                add(grid);
        for (const auto* v : {&ka, &kb})
            for (const auto& grid : *v)
                add(grid);
        add(zero_im);
        for (const auto* f : {&carry})
            n += (f->f.capacity() + f->t.capacity()) * sizeof(double);
        for (const auto& f : faces)
            n += (f.f.capacity() + f.t.capacity()) * sizeof(double);
        return n;
    }
};

ForwardWork& work()
{
    thread_local ForwardWork w;
    return w;
}

// The index of -k along an axis of n points.
inline std::size_t mirror_index(std::size_t k, std::size_t n)
{
    return k == 0 ? 0 : n - k;
}

// Separates the spectrum Z of a + i*b, where a and b are real grids, into
// the half spectra (columns 0 .. Mx/2) of A (left in re, im) and B (written
// to b_re, b_im): B[k] = (Z[k] - conj(Z[-k])) / 2i, then A = Z - i*B. The
// other columns are left as they are (the sums use the half spectra only).
void split_real_pair(vector2D& re, vector2D& im, vector2D& b_re, vector2D& b_im)
{
    const std::size_t rows = re.size(), cols = re.front().size();
    const std::size_t half = std::min(cols, cols / 2 + 1);
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
        for (std::size_t c = 1; c < half; ++c) {
            br[c] = (zi[c] + mi[cols - c]) * 0.5f;
            bi[c] = (mr[cols - c] - zr[c]) * 0.5f;
        }
    }
    for (std::size_t r = 0; r < rows; ++r) {
        data_type* zr = re[r].data();
        data_type* zi = im[r].data();
        const data_type* br = b_re[r].data();
        const data_type* bi = b_im[r].data();
        for (std::size_t c = 0; c < half; ++c) {
            zr[c] += bi[c];
            zi[c] -= br[c];
        }
    }
}

// Calls f(p_row, p_col, q_row, q_col) once for every pair of positions
// p = k and q = -k of an rows x columns grid (p == q for the self-mirrored
// ones), every position in exactly one call.
template <class F>
void for_mirror_pairs(std::size_t rows, std::size_t cols, F f)
{
    for (std::size_t r = 0; r <= rows / 2; ++r) {
        const std::size_t rr = mirror_index(r, rows);
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t cc = mirror_index(c, cols);
            // Rows 0 and rows/2 mirror onto themselves: take each pair once.
            if (rr == r && cc < c)
                continue;
            f(r, c, rr, cc);
        }
    }
}

// Two operator levels from one transform. On entry (ka, kb) hold the
// spectrum Z of the swapped fields a + i*b of two levels (both real and
// even); on return ka and kb hold the real parts of the two spectra,
// (Re Z[k] + Re Z[-k]) / 2 and (Im Z[k] + Im Z[-k]) / 2, and, when given,
// ia and ib their imaginary parts.
void split_operator_pair(vector2D& ka, vector2D& kb, vector2D* ia, vector2D* ib)
{
    for_mirror_pairs(ka.size(), ka[0].size(), [&](std::size_t r, std::size_t c, std::size_t rr, std::size_t cc) {
        const float pr = ka[r][c], pi = kb[r][c], qr = ka[rr][cc], qi = kb[rr][cc];
        const float are = (pr + qr) * 0.5f, bre = (pi + qi) * 0.5f;
        ka[r][c] = are;
        ka[rr][cc] = are;
        kb[r][c] = bre;
        kb[rr][cc] = bre;
        if (ia) {
            const float aim = (pi - qi) * 0.5f, bim = (qr - pr) * 0.5f;
            (*ia)[r][c] = aim;
            (*ia)[rr][cc] = -aim;
            if (ib) {
                (*ib)[r][c] = bim;
                (*ib)[rr][cc] = -bim;
            }
        }
    });
}

// Spectrum Z of a + i*b (real grids) in (zr, zi): A left in (zr, zi), B
// written to (br, bi), in double precision.
void split_level_pair(field2D& zr, field2D& zi, field2D& br, field2D& bi)
{
    for_mirror_pairs(zr.size(), zr[0].size(), [&](std::size_t r, std::size_t c, std::size_t rr, std::size_t cc) {
        const double pr = zr[r][c], pi = zi[r][c], qr = zr[rr][cc], qi = zi[rr][cc];
        const double are = (pr + qr) * 0.5, aim = (pi - qi) * 0.5;
        const double bre = (pi + qi) * 0.5, bim = (qr - pr) * 0.5;
        zr[r][c] = are;
        zi[r][c] = aim;
        zr[rr][cc] = are;
        zi[rr][cc] = -aim;
        br[r][c] = bre;
        bi[r][c] = bim;
        br[rr][cc] = bre;
        bi[rr][cc] = -bim;
    });
}

// Spectrum Z of k + i*d, k the swapped unit-cell field (real, even) and d a
// padded level: the kernel spectrum's real part left in zr, the level's
// spectrum in (zi, di).
void split_kernel_level(field2D& zr, field2D& zi, field2D& di)
{
    for_mirror_pairs(zr.size(), zr[0].size(), [&](std::size_t r, std::size_t c, std::size_t rr, std::size_t cc) {
        const double pr = zr[r][c], pi = zi[r][c], qr = zr[rr][cc], qi = zi[rr][cc];
        const double kre = (pr + qr) * 0.5;
        const double dre = (pi + qi) * 0.5, dim = (qr - pr) * 0.5;
        zr[r][c] = kre;
        zr[rr][cc] = kre;
        zi[r][c] = dre;
        zi[rr][cc] = dre;
        di[r][c] = dim;
        di[rr][cc] = -dim;
    });
}

// The lattice of the unit cells of a geometry.
PrismLattice cell_lattice(const ForwardGeometry& g)
{
    return PrismLattice(g.dx, g.dy, g.dx * 0.5f, g.dy * 0.5f, g.Mx / 2, g.My / 2, g.My, g.Mx,
                        g.calc_level - 1e-6);
}

// The depth faces of levels k0 .. k0 + n - 1 in w.faces: level b lies
// between faces top[b] and bottom[b]. A face shared by two adjacent levels
// (the bottom of one at the depth of the next one's top) is evaluated once,
// also across groups (w.carry keeps the previous group's last face). The
// faces are spread over the workers; their values do not depend on it.
void level_faces(const ForwardGeometry& g, const PrismLattice& lattice, int k0, int n, int T,
                 ForwardWork& w, std::vector<int>& top, std::vector<int>& bottom)
{
    std::vector<double> zs;
    top.assign(n, 0);
    bottom.assign(n, 0);
    for (int b = 0; b < n; ++b) {
        const double zt = g.depths[k0 + b];
        const double zb = g.depths[k0 + b] + g.dz;
        if (zs.empty() || zs.back() != zt)
            zs.push_back(zt);
        top[b] = static_cast<int>(zs.size()) - 1;
        if (zs.back() != zb)
            zs.push_back(zb);
        bottom[b] = static_cast<int>(zs.size()) - 1;
    }
    if (w.faces.size() < zs.size())
        w.faces.resize(zs.size());
    std::size_t start = 0;
    if (w.carry.valid && w.carry.z == zs[0]) {
        std::swap(w.faces[0], w.carry);
        start = 1;
    }
    const std::size_t count = zs.size() - start;
    const int per_face = std::max(1, T / static_cast<int>(std::max<std::size_t>(1, count)));
    run_split(count, T, [&](std::size_t f0, std::size_t f1) {
        for (std::size_t f = f0; f < f1; ++f)
            lattice.face(zs[start + f], w.faces[start + f], per_face);
    });
    w.carry.valid = false;
}

// After a group: its last face is kept for the next one.
void keep_last_face(ForwardWork& w, const std::vector<int>& bottom)
{
    if (!bottom.empty())
        std::swap(w.carry, w.faces[bottom.back()]);
}

// Levels per group when the operator is built: one pair of levels per
// worker (the two kernels of a pair share one transform, and so do their
// padded levels); the pairing is fixed (levels 2j and 2j + 1), so the
// operator does not depend on the thread count.
int build_group(int thread_count, int levels_left)
{
    return std::min(levels_left, 2 * std::max(1, thread_count));
}

// Operator levels k0 .. k0 + n - 1 (k0 even) into `effects`, whose quarters
// are already allocated: the kernels of a pair are transformed together and
// separated, and each spectrum's quarter is kept.
void build_operator_group(const ForwardGeometry& g, int k0, int n, int T, EffectsOperator& effects)
{
    const int pairs = (n + 1) / 2;
    const int per_pair = std::max(1, T / pairs);
    ForwardWork& w = work();
    const int slots = std::max(1, std::min(T, pairs));
    shape_all(w.ka, slots, g.My, g.Mx);
    shape_all(w.kb, slots, g.My, g.Mx);
    const PrismLattice lattice = cell_lattice(g);
    std::vector<int> top, bottom;
    level_faces(g, lattice, k0, n, T, w, top, bottom);
    run_split(pairs, T, [&](std::size_t j0, std::size_t j1) {
        const std::size_t slot = split_range_index(j0, pairs, T);
        vector2D& a = w.ka[slot];
        vector2D& b = w.kb[slot];
        for (std::size_t j = j0; j < j1; ++j) {
            const int ka = k0 + 2 * static_cast<int>(j), kb = ka + 1;
            lattice.field(w.faces[top[ka - k0]], w.faces[bottom[ka - k0]], 1.0, true, a, per_pair);
            if (kb < k0 + n)
                lattice.field(w.faces[top[kb - k0]], w.faces[bottom[kb - k0]], 1.0, true, b, per_pair);
            else
                zero_grid(b);
            fft_2d(a, b, fft_forward);
            split_operator_pair(a, b, nullptr, nullptr);
            effects_fold_level(a.data(), g.My, g.Mx, effects.quarter[ka]);
            if (kb < k0 + n)
                effects_fold_level(b.data(), g.My, g.Mx, effects.quarter[kb]);
        }
    });
    keep_last_face(w, bottom);
}

} // namespace

std::size_t forward_kept_bytes()
{
    return work().bytes();
}

void forward_release_work()
{
    ForwardWork& w = work();
    w.drop_spectra();
    w.drop_slots();
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

ForwardStatus build_effects(const ForwardGeometry& g, EffectsOperator& effects, int thread_count,
                            const ForwardProgress& progress)
{
    const int T = std::max(1, thread_count);
    try {
        effects.clear();
        work().carry.valid = false;
        work().drop_spectra();
        effects.shape(g.nz, g.My, g.Mx);
        for (int k0 = 0; k0 < g.nz;) {
            if (!keep_going(progress, k0, g.nz)) {
                effects.clear();
                return ForwardStatus::Stopped;
            }
            const int n = build_group(T, g.nz - k0);
            build_operator_group(g, k0, n, T, effects);
            k0 += n;
        }
    } catch (const std::bad_alloc&) {
        effects.clear();
        return ForwardStatus::OutOfMemory;
    }
    effects.key = g.key();
    return ForwardStatus::Completed;
}

namespace {

// Sr, Si = 0, shaped My x Mx.
void zero_sums(const ForwardGeometry& g, ForwardWork& w)
{
    shape(w.Sr, g.My, g.Mx);
    shape(w.Si, g.My, g.Mx);
    zero_grid(w.Sr);
    zero_grid(w.Si);
}

// The inverse transform of the summed half spectrum, cut to the model's nodes.
void finish(const ForwardGeometry& g, ForwardWork& w, field2D& result)
{
    // The sums are spectra of real fields: only columns 0 .. Mx/2 were
    // summed, the others are their mirrors, S[-k] = conj(S[k]).
    fft_complete_half_spectrum(w.Sr, w.Si);
    fft_2d(w.Sr, w.Si, fft_inverse);
    take_inner_window(w.Sr, g, result);
}

// Reuse: the level spectra in float, two real levels sharing one transform,
// a group of levels at a time (the group size does not depend on the thread
// count), each product with the operator formed in float and summed in
// double, levels in order inside every row.
ForwardStatus reuse_effects(const vector3D& den_grid, const ForwardGeometry& g, const EffectsOperator& op, int T,
                            const ForwardProgress& progress, ForwardWork& w)
{
    const int B = forward_reuse_batch_levels(g);
    const std::size_t H = static_cast<std::size_t>(g.Mx / 2 + 1);
    w.drop_slots();
    shape_all(w.spec_re, B, g.My, g.Mx);
    shape_all(w.spec_im, B, g.My, g.Mx);
    for (int k0 = 0; k0 < g.nz; k0 += B) {
        if (k0 > 0 && !keep_going(progress, k0, g.nz))
            return ForwardStatus::Stopped;
        const int n = std::min(B, g.nz - k0);
        run_split((n + 1) / 2, T, [&](std::size_t j0, std::size_t j1) {
            for (std::size_t j = j0; j < j1; ++j) {
                const std::size_t a = 2 * j, b = a + 1;
                pad_level(den_grid[k0 + a], g, w.spec_re[a]);
                if (b < static_cast<std::size_t>(n))
                    pad_level(den_grid[k0 + b], g, w.spec_im[a]);
                else
                    zero_grid(w.spec_im[a]);
                fft_2d(w.spec_re[a], w.spec_im[a], fft_forward);
                if (b < static_cast<std::size_t>(n))
                    split_real_pair(w.spec_re[a], w.spec_im[a], w.spec_re[b], w.spec_im[b]);
            }
        });
        run_split(g.My, T, [&](std::size_t r0, std::size_t r1) {
            for (std::size_t r = r0; r < r1; ++r) {
                double* __restrict sr = w.Sr[r].data();
                double* __restrict si = w.Si[r].data();
                for (int l = 0; l < n; ++l) {
                    const float* __restrict o = op.half_row(k0 + l, static_cast<int>(r));
                    const float* __restrict mr = w.spec_re[l][r].data();
                    const float* __restrict mi = w.spec_im[l][r].data();
                    for (std::size_t c = 0; c < H; ++c) {
                        const float pr = o[c] * mr[c];
                        const float pi = o[c] * mi[c];
                        sr[c] += static_cast<double>(pr);
                        si[c] += static_cast<double>(pi);
                    }
                }
            }
        });
    }
    return ForwardStatus::Completed;
}

// Sr += E * (Dr, Di) over the half spectrum, rows split over the workers,
// for the n levels b given by level(b, r) = {E, Dr, Di} (pointers to row r
// of each), in order inside every row.
template <class Level>
void add_products(const ForwardGeometry& g, int n, int T, ForwardWork& w, Level level)
{
    const std::size_t H = static_cast<std::size_t>(g.Mx / 2 + 1);
    run_split(g.My, T, [&](std::size_t r0, std::size_t r1) {
        for (std::size_t r = r0; r < r1; ++r) {
            double* __restrict sr = w.Sr[r].data();
            double* __restrict si = w.Si[r].data();
            for (int b = 0; b < n; ++b) {
                const auto rows = level(b, static_cast<int>(r));
                const auto* __restrict e = std::get<0>(rows);
                const double* __restrict dr = std::get<1>(rows);
                const double* __restrict di = std::get<2>(rows);
                for (std::size_t c = 0; c < H; ++c) {
                    const double E = e[c];
                    sr[c] += E * dr[c];
                    si[c] += E * di[c];
                }
            }
        }
    });
}

} // namespace

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
        zero_sums(g, w);
        if (!keep_going(progress, 0, g.nz))
            return ForwardStatus::Stopped;

        if (fit) {
            const ForwardStatus st = reuse_effects(den_grid, g, effects, T, progress, w);
            if (st != ForwardStatus::Completed)
                return st;
        } else {
            // Build the operator's real half while summing the level spectra
            // in double: per pair of levels one transform of the two kernels
            // and one of the two padded levels.
            effects.shape(g.nz, g.My, g.Mx);
            w.carry.valid = false;
            const int slots = std::max(1, std::min(T, (g.nz + 1) / 2));
            shape_all(w.a, slots, g.My, g.Mx);
            shape_all(w.b, slots, g.My, g.Mx);
            shape_all(w.c, slots, g.My, g.Mx);
            shape_all(w.d, slots, g.My, g.Mx);
            for (int k0 = 0; k0 < g.nz;) {
                if (k0 > 0 && !keep_going(progress, k0, g.nz)) {
                    effects.clear();
                    return ForwardStatus::Stopped;
                }
                const int n = build_group(T, g.nz - k0);
                build_operator_group(g, k0, n, T, effects);
                // Padded levels k0 + 2j and k0 + 2j + 1 share slot j's
                // transform; their spectra end in (a, b) and (c, d).
                const int pairs = (n + 1) / 2;
                run_split(pairs, T, [&](std::size_t j0, std::size_t j1) {
                    for (std::size_t j = j0; j < j1; ++j) {
                        const int ka = k0 + 2 * static_cast<int>(j), kb = ka + 1;
                        pad_level(den_grid[ka], g, w.a[j]);
                        if (kb < k0 + n)
                            pad_level(den_grid[kb], g, w.b[j]);
                        else
                            zero_grid(w.b[j]);
                        fft_2d(w.a[j], w.b[j], fft_forward);
                        split_level_pair(w.a[j], w.b[j], w.c[j], w.d[j]);
                    }
                });
                add_products(g, n, T, w, [&](int b, int r) {
                    const int j = b / 2;
                    const float* e = effects.half_row(k0 + b, r);
                    if (b % 2 == 0)
                        return std::make_tuple(e, w.a[j][r].data(), w.b[j][r].data());
                    return std::make_tuple(e, w.c[j][r].data(), w.d[j][r].data());
                });
                k0 += n;
            }
            effects.key = g.key();
        }
        finish(g, w, result);
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
        zero_sums(g, w);
        const int slots = std::max(1, std::min(T, g.nz));
        w.drop_spectra();
        std::vector<field2D>().swap(w.d);
        shape_all(w.a, slots, g.My, g.Mx);
        shape_all(w.b, slots, g.My, g.Mx);
        shape_all(w.c, slots, g.My, g.Mx);
        w.carry.valid = false;
        const PrismLattice lattice = cell_lattice(g);
        std::vector<int> top, bottom;
        for (int k0 = 0; k0 < g.nz;) {
            if (!keep_going(progress, k0, g.nz))
                return ForwardStatus::Stopped;
            // One level per worker: its unit cell's field and its padded
            // level share one transform.
            const int n = std::min(slots, g.nz - k0);
            const int per_level = std::max(1, T / n);
            level_faces(g, lattice, k0, n, T, w, top, bottom);
            run_split(n, T, [&](std::size_t b0, std::size_t b1) {
                for (std::size_t b = b0; b < b1; ++b) {
                    const int k = k0 + static_cast<int>(b);
                    lattice.field(w.faces[top[b]], w.faces[bottom[b]], 1.0, true, w.a[b], per_level);
                    pad_level(den_grid[k], g, w.b[b]);
                    fft_2d(w.a[b], w.b[b], fft_forward);
                    split_kernel_level(w.a[b], w.b[b], w.c[b]);
                }
            });
            add_products(g, n, T, w, [&](int b, int r) {
                return std::make_tuple(static_cast<const double*>(w.a[b][r].data()), w.b[b][r].data(),
                                       w.c[b][r].data());
            });
            keep_last_face(w, bottom);
            k0 += n;
        }
        finish(g, w, result);
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
