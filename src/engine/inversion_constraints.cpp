#include "engine/inversion_constraints.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/layers.h"
#include "engine/inversion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace constraints {

namespace {

// The padded grid of a model and the node every padded row and column
// belongs to.
struct Padding {
    int nz = 0, My = 0, Mx = 0;
    std::vector<int> row_node;    // padded row -> model row
    std::vector<int> column_node; // padded column -> model column
};

bool padded_is_regular(const vector3D& re)
{
    return cube_is_regular(re);
}

// The padded shape of `re` with the window `w` inside it, or false when the
// window does not fit.
bool make_padding(const vector3D& re, const ModelWindow& w, Padding& p)
{
    if (!padded_is_regular(re) || w.nx <= 0 || w.ny <= 0 || w.px < 0 || w.py < 0)
        return false;
    p.nz = static_cast<int>(re.size());
    p.My = static_cast<int>(re[0].size());
    p.Mx = static_cast<int>(re[0][0].size());
    if (w.py + w.ny > p.My || w.px + w.nx > p.Mx)
        return false;
    p.row_node.resize(p.My);
    for (int jj = 0; jj < p.My; ++jj)
        p.row_node[jj] = std::clamp(jj - w.py, 0, w.ny - 1);
    p.column_node.resize(p.Mx);
    for (int ii = 0; ii < p.Mx; ++ii)
        p.column_node[ii] = std::clamp(ii - w.px, 0, w.nx - 1);
    return true;
}

bool has_shape(const vector3D& cube, int nz, int ny, int nx)
{
    return cube_is_regular(cube) && cube.size() == static_cast<std::size_t>(nz)
           && cube[0].size() == static_cast<std::size_t>(ny) && cube[0][0].size() == static_cast<std::size_t>(nx);
}

bool same_shape(const vector3D& a, const vector3D& b)
{
    return cube_is_regular(a) && has_shape(b, static_cast<int>(a.size()), static_cast<int>(a[0].size()),
                                           static_cast<int>(a[0][0].size()));
}

bool horizons_fit(const std::vector<field2D>& horizons, int ny, int nx)
{
    for (const auto& h : horizons)
        if (!grid_has_shape(h, static_cast<std::size_t>(ny), static_cast<std::size_t>(nx)))
            return false;
    return true;
}

void before(const LevelHook& hook)
{
    if (hook)
        hook();
}

void zero_level(vector2D& level)
{
    for (auto& row : level)
        std::fill(row.begin(), row.end(), 0.0f);
}

// ref + diff * weight / norm: the difference times the weight in single
// precision, the division and the sum in double, stored in single precision.
float blended(float value, float ref, float weight, double norm)
{
    const float scaled = (value - ref) * weight;
    return static_cast<float>(static_cast<double>(ref) + static_cast<double>(scaled) / norm);
}

// The blend both blending constraints share: `weight(k, r, s)` is the
// non-negative weight of node (r, s) on level k, `norm` its normalisation.
template <typename Weight>
void blend(vector3D& re, vector3D& im, const ModelWindow& w, const Padding& p, vector3D& reference, double norm,
           const Weight& weight, const LevelHook& before_level)
{
    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        for (int jj = 0; jj < p.My; ++jj) {
            const int r = p.row_node[jj];
            const bool window_row = jj >= w.py && jj < w.py + w.ny;
            auto& row = re[k][jj];
            auto& ref_row = reference[k][r];
            for (int ii = 0; ii < p.Mx; ++ii) {
                const int s = p.column_node[ii];
                const float value = blended(row[ii], ref_row[s], weight(k, r, s), norm);
                row[ii] = value;
                if (window_row && ii >= w.px && ii < w.px + w.nx)
                    ref_row[s] = value;
            }
        }
        zero_level(im[k]);
    }
}

} // namespace

int node_layer(const std::vector<field2D>& horizons, int r, int s, double z)
{
    if (horizons.size() < 2)
        return 0;
    return layers::layer_search(horizons, static_cast<std::size_t>(r), static_cast<std::size_t>(s), z);
}

bool build_sign_mask(int source, const vector3D& den_grid, const vector3D& regularizer,
                     std::vector<unsigned char>& mask)
{
    mask.clear();
    const vector3D* cube = nullptr;
    if (source == 0)
        cube = &den_grid;
    else if (source == 1 && same_shape(den_grid, regularizer))
        cube = &regularizer;
    if (!cube || !cube_is_regular(*cube))
        return false;
    const std::size_t nz = cube->size(), ny = (*cube)[0].size(), nx = (*cube)[0][0].size();
    mask.resize(nz * ny * nx);
    std::size_t n = 0;
    for (const auto& level : *cube)
        for (const auto& row : level)
            for (float v : row)
                mask[n++] = v > 0.0f ? 1 : 0;
    return true;
}

bool restore_fixed_layers(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                          const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0,
                          double dz, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(im, p.nz, p.My, p.Mx) || !has_shape(den_grid, p.nz, w.ny, w.nx)
        || !horizons_fit(horizons, w.ny, w.nx))
        return false;
    // Per level, whether each model node lies in a fixed layer.
    std::vector<unsigned char> node_fixed(static_cast<std::size_t>(w.ny) * w.nx);
    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        const double z = z0 + k * dz;
        bool any = false;
        for (int r = 0; r < w.ny; ++r)
            for (int s = 0; s < w.nx; ++s) {
                const int l = node_layer(horizons, r, s, z);
                const bool f = l >= 0 && static_cast<std::size_t>(l) < fixed.size() && fixed[l];
                node_fixed[static_cast<std::size_t>(r) * w.nx + s] = f;
                any = any || f;
            }
        if (any)
            for (int jj = 0; jj < p.My; ++jj) {
                const int r = p.row_node[jj];
                const auto& initial = den_grid[k][r];
                const unsigned char* flags = &node_fixed[static_cast<std::size_t>(r) * w.nx];
                auto& row = re[k][jj];
                for (int ii = 0; ii < p.Mx; ++ii) {
                    const int s = p.column_node[ii];
                    if (flags[s])
                        row[ii] = initial[s];
                }
            }
        zero_level(im[k]);
    }
    return true;
}

bool apply_positive_density(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                            bool positive, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(im, p.nz, p.My, p.Mx) || !has_shape(den_grid, p.nz, w.ny, w.nx))
        return false;
    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        if (positive)
            for (int jj = 0; jj < p.My; ++jj) {
                const auto& initial = den_grid[k][p.row_node[jj]];
                auto& row = re[k][jj];
                for (int ii = 0; ii < p.Mx; ++ii) {
                    const float d = initial[p.column_node[ii]];
                    if (d > row[ii])
                        row[ii] = d;
                }
            }
        zero_level(im[k]);
    }
    return true;
}

bool blend_initial_model(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         vector3D& reference, int type, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(im, p.nz, p.My, p.Mx) || !has_shape(den_grid, p.nz, w.ny, w.nx)
        || !has_shape(reference, p.nz, w.ny, w.nx))
        return false;
    double b = 0;
    switch (type) {
    case 0:
        b = grid_abs_max(den_grid);
        break;
    case 1:
        b = grid_max_deviation(den_grid);
        break;
    case 2:
        b = grid_max_layer_range(den_grid);
        break;
    default:
        return false;
    }
    if (!(b > 0) || !std::isfinite(b))
        return false;

    // |R| per level: the initial level, less its mean (type 1) or its
    // minimum (type 2), as single-precision cells.
    vector2D R;
    int level_of_R = -1;
    auto weight = [&](int k, int r, int s) {
        if (k != level_of_R) {
            R = den_grid[k];
            if (type == 1)
                grid_add_scalar(R, -grid_mean(den_grid[k]));
            else if (type == 2)
                grid_add_scalar(R, -static_cast<double>(grid_min(den_grid[k])));
            level_of_R = k;
        }
        return std::fabs(R[r][s]);
    };
    blend(re, im, w, p, reference, b, weight, before_level);
    return true;
}

bool blend_uploaded_regularizer(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& regularizer,
                                vector3D& reference, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(im, p.nz, p.My, p.Mx) || !has_shape(reference, p.nz, w.ny, w.nx)
        || !same_shape(regularizer, reference))
        return false;
    const double g = grid_abs_max(regularizer);
    if (!(g > 0) || !std::isfinite(g))
        return false;
    auto weight = [&](int k, int r, int s) { return std::fabs(regularizer[k][r][s]); };
    blend(re, im, w, p, reference, g, weight, before_level);
    return true;
}

bool lower_limit_binds(double lower)
{
    return lower > -inversion_record::open_limit;
}

bool upper_limit_binds(double upper)
{
    return upper < inversion_record::open_limit;
}

bool apply_density_limits(vector3D& re, double lower, double upper, const LevelHook& before_level)
{
    if (!padded_is_regular(re))
        return false;
    // A comparison with a value that is not a number is false, so such a
    // limit never binds either.
    const bool has_lower = lower_limit_binds(lower);
    const bool has_upper = upper_limit_binds(upper);
    const float lo = static_cast<float>(lower);
    const float hi = static_cast<float>(upper);
    for (auto& level : re) {
        before(before_level);
        if (!has_lower && !has_upper)
            continue;
        for (auto& row : level)
            for (float& v : row) {
                if (has_lower && lo > v)
                    v = lo;
                else if (has_upper && v > hi)
                    v = hi;
            }
    }
    return true;
}

bool apply_sign_constraint(vector3D& re, const ModelWindow& w, const vector3D& den_grid,
                           const std::vector<unsigned char>& mask, int type, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(den_grid, p.nz, w.ny, w.nx)
        || mask.size() != static_cast<std::size_t>(p.nz) * w.ny * w.nx)
        return false;
    if (type != 0 && type != 1)
        return false;
    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        for (int jj = 0; jj < p.My; ++jj) {
            const int r = p.row_node[jj];
            const auto& initial = den_grid[k][r];
            const unsigned char* m = &mask[(static_cast<std::size_t>(k) * w.ny + r) * w.nx];
            auto& row = re[k][jj];
            for (int ii = 0; ii < p.Mx; ++ii) {
                const int s = p.column_node[ii];
                float& v = row[ii];
                if (type == 0) {
                    v = m[s] ? std::max(v, initial[s]) : std::min(v, initial[s]);
                } else if (m[s]) {
                    if (v < 0.0f)
                        v = 0.0f;
                } else if (v > 0.0f) {
                    v = 0.0f;
                }
            }
        }
    }
    return true;
}

int lateral_means_layers(int horizons)
{
    return std::max(horizons, 1);
}

namespace {

// The sizes of the lateral means' arrays: one int per model cell, a double
// and an int per layer and node.
std::size_t lateral_cells(int nz, int ny, int nx)
{
    return static_cast<std::size_t>(std::max(nz, 0)) * std::max(ny, 0) * std::max(nx, 0);
}
std::size_t lateral_sums(int ny, int nx, int layers)
{
    return static_cast<std::size_t>(std::max(layers, 0)) * std::max(ny, 0) * std::max(nx, 0);
}

} // namespace

double lateral_means_bytes(int nz, int ny, int nx, int layers)
{
    return double(lateral_cells(nz, ny, nx)) * sizeof(int)
           + double(lateral_sums(ny, nx, layers)) * (sizeof(double) + sizeof(int));
}

bool apply_lateral_means(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0, double dz,
                         bool positive, const LevelHook& before_level)
{
    LateralMeansWork work;
    return apply_lateral_means(re, im, w, den_grid, horizons, fixed, z0, dz, positive, work, before_level);
}

bool apply_lateral_means(vector3D& re, vector3D& im, const ModelWindow& w, const vector3D& den_grid,
                         const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0, double dz,
                         bool positive, LateralMeansWork& work, const LevelHook& before_level)
{
    Padding p;
    if (!make_padding(re, w, p) || !has_shape(im, p.nz, p.My, p.Mx) || !has_shape(den_grid, p.nz, w.ny, w.nx)
        || !horizons_fit(horizons, w.ny, w.nx))
        return false;
    const int layers = lateral_means_layers(static_cast<int>(horizons.size()));
    const std::size_t nodes = static_cast<std::size_t>(w.ny) * w.nx;
    auto at = [&](int l, int r, int s) { return static_cast<std::size_t>(l) * nodes + static_cast<std::size_t>(r) * w.nx + s; };

    // The node-wise layer of every level and node, found at the first call.
    std::vector<int>& layer = work.layer;
    if (layer.size() != lateral_cells(p.nz, w.ny, w.nx) || work.layers != layers) {
        layer.assign(lateral_cells(p.nz, w.ny, w.nx), 0);
        work.layers = layers;
        for (int k = 0; k < p.nz; ++k) {
            const double z = z0 + k * dz;
            for (int r = 0; r < w.ny; ++r)
                for (int s = 0; s < w.nx; ++s)
                    layer[static_cast<std::size_t>(k) * nodes + static_cast<std::size_t>(r) * w.nx + s] =
                        node_layer(horizons, r, s, z);
        }
    }

    // Vertical sums and counts per layer and node over the model window.
    std::vector<double>& mean = work.mean;
    std::vector<int>& count = work.count;
    mean.assign(lateral_sums(w.ny, w.nx, layers), 0.0);
    count.assign(lateral_sums(w.ny, w.nx, layers), 0);
    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        const int* lk = &layer[static_cast<std::size_t>(k) * nodes];
        for (int r = 0; r < w.ny; ++r) {
            const auto& row = re[k][w.py + r];
            for (int s = 0; s < w.nx; ++s) {
                const std::size_t i = at(lk[static_cast<std::size_t>(r) * w.nx + s], r, s);
                mean[i] += row[w.px + s];
                ++count[i];
            }
        }
    }
    for (std::size_t i = 0; i < mean.size(); ++i)
        if (count[i] != 0)
            mean[i] /= count[i];

    for (int k = 0; k < p.nz; ++k) {
        before(before_level);
        const int* lk = &layer[static_cast<std::size_t>(k) * nodes];
        for (int jj = 0; jj < p.My; ++jj) {
            const int r = p.row_node[jj];
            const auto& initial = den_grid[k][r];
            auto& row = re[k][jj];
            for (int ii = 0; ii < p.Mx; ++ii) {
                const int s = p.column_node[ii];
                const int l = lk[static_cast<std::size_t>(r) * w.nx + s];
                const double m = mean[at(l, r, s)];
                const bool is_fixed = static_cast<std::size_t>(l) < fixed.size() && fixed[l];
                row[ii] = (is_fixed || (positive && m < 0)) ? initial[s] : static_cast<float>(m);
            }
        }
        zero_level(im[k]);
    }
    return true;
}

} // namespace constraints
