#include "editing/layers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

namespace layers {

namespace {

// Truncation toward zero that stays inside int for any quotient: a value
// too large (or not a number) lands far outside every grid.
constexpr int kFarOutside = 1000000000;

int truncate_index(double q)
{
    if (!(std::fabs(q) < static_cast<double>(kFarOutside)))
        return q > 0 ? kFarOutside : -kFarOutside;
    return static_cast<int>(std::trunc(q));
}

std::size_t horizon_count(const std::vector<field2D>& horizons) { return horizons.size(); }

}  // namespace

// ---------------------------------------------------------------------------
// Layer lists

bool same_geometry(const std::vector<double>& a, const std::vector<double>& b, double tolerance)
{
    if (a.size() < 6 || b.size() < 6)
        return false;
    for (int i = 0; i < 6; ++i)
        if (!(std::fabs(a[i] - b[i]) <= tolerance))
            return false;
    return true;
}

bool horizon_fits_params(const field2D& horizon, const std::vector<double>& params)
{
    if (params.size() < 6)
        return false;
    if (!(params[0] >= 1 && params[1] >= 1 && params[0] < 1e9 && params[1] < 1e9))
        return false;
    const std::size_t nx = static_cast<std::size_t>(static_cast<int>(params[0]));
    const std::size_t ny = static_cast<std::size_t>(static_cast<int>(params[1]));
    return grid_has_shape(horizon, ny, nx);
}

double mean_depth(const field2D& horizon)
{
    if (horizon.empty() || horizon.front().empty())
        return 0.0;
    if (!grid_has_shape(horizon, horizon.size(), horizon.front().size())) {
        // Ragged rows: the plain mean of whatever nodes there are.
        double sum = 0;
        std::size_t count = 0;
        for (const auto& row : horizon) {
            for (double v : row)
                sum += v;
            count += row.size();
        }
        return sum / static_cast<double>(count);
    }
    return grid_mean(horizon);
}

std::size_t insertion_index(const std::vector<field2D>& horizons, const field2D& horizon)
{
    const double m = mean_depth(horizon);
    for (std::size_t i = 0; i < horizons.size(); ++i)
        if (m <= mean_depth(horizons[i]))
            return i;
    return horizons.size();
}

AddResult add_horizon(LayerLists& lists, const field2D& horizon, const std::vector<double>& params,
                      double top_depth)
{
    if (lists.params.empty()) {
        if (!horizon_fits_params(horizon, params))
            return AddResult::BadHorizon;
        const std::size_t nx = static_cast<std::size_t>(static_cast<int>(params[0]));
        const std::size_t ny = static_cast<std::size_t>(static_cast<int>(params[1]));
        // Start from clean lists: a stale entry must not shift the layers.
        lists.horizons.clear();
        lists.densities.clear();
        lists.fixed.clear();
        lists.names.clear();
        lists.params = params;
        lists.horizons.push_back(field2D(ny, std::vector<double>(nx, top_depth)));
        lists.horizons.push_back(horizon);
        lists.densities.assign(2, 0.0);
        lists.fixed.assign(2, false);
        lists.names.assign(2, QString());
        return AddResult::AddedFirst;
    }
    if (!same_geometry(params, lists.params))
        return AddResult::GeometryMismatch;
    if (!horizon_fits_params(horizon, lists.params))
        return AddResult::BadHorizon;

    const std::size_t m = std::min(insertion_index(lists.horizons, horizon), lists.horizons.size());
    lists.horizons.insert(lists.horizons.begin() + static_cast<std::ptrdiff_t>(m), horizon);
    // Keep the three layer lists in step even if one of them had fallen short.
    lists.densities.resize(lists.horizons.size() - 1, 0.0);
    lists.fixed.resize(lists.horizons.size() - 1, false);
    lists.names.resize(lists.horizons.size() - 1);
    lists.densities.insert(lists.densities.begin() + static_cast<std::ptrdiff_t>(m), 0.0);
    lists.fixed.insert(lists.fixed.begin() + static_cast<std::ptrdiff_t>(m), false);
    lists.names.insert(lists.names.begin() + static_cast<std::ptrdiff_t>(m), QString());
    return AddResult::Inserted;
}

DeleteResult delete_horizon(LayerLists& lists, int i)
{
    const int count = static_cast<int>(lists.horizons.size());
    if (i <= 0 || i >= count)
        return DeleteResult::NotRemoved;
    const auto at = static_cast<std::ptrdiff_t>(i);
    lists.horizons.erase(lists.horizons.begin() + at);
    if (i < static_cast<int>(lists.densities.size()))
        lists.densities.erase(lists.densities.begin() + at);
    if (i < static_cast<int>(lists.fixed.size()))
        lists.fixed.erase(lists.fixed.begin() + at);
    if (i < static_cast<int>(lists.names.size()))
        lists.names.erase(lists.names.begin() + at);
    if (lists.horizons.size() <= 1) {
        clear_layers(lists);
        return DeleteResult::Emptied;
    }
    return DeleteResult::Removed;
}

void clear_layers(LayerLists& lists)
{
    lists.horizons.clear();
    lists.params.clear();
    lists.densities.clear();
    lists.fixed.clear();
    lists.names.clear();
}

bool lists_in_step(const LayerLists& lists)
{
    const std::size_t n = lists.horizons.size();
    return lists.densities.size() == n && lists.fixed.size() == n && lists.names.size() == n;
}

// ---------------------------------------------------------------------------
// Depth rules

double level_depth(const std::vector<double>& z, int k)
{
    if (z.empty())
        return 0.0;
    return z.front() + k * node_step(z);
}

int level_at_or_above(double d, double z0, double step)
{
    if (step == 0.0 || !std::isfinite(step))
        return d >= z0 ? 0 : -1;
    return truncate_index((d - z0) / step);
}

int level_at_or_below(double d, double z0, double step)
{
    if (step == 0.0 || !std::isfinite(step))
        return d <= z0 ? 0 : 1;
    int k = truncate_index((d - z0) / step);
    if (std::abs(k) < kFarOutside && d > z0 + k * step)
        ++k;
    return k;
}

double last_layer_bottom(LastBottom kind, const std::vector<double>& z)
{
    const double inf = std::numeric_limits<double>::infinity();
    if (kind == LastBottom::Open || z.empty())
        return inf;
    if (kind == LastBottom::LastNode)
        return z.back();
    // Extended: one step below the last level by the level step.
    const double step = node_step(z);
    if (!(step > 0.0))
        return inf;
    return z.front() + static_cast<double>(z.size() - 1) * step + step;
}

bool in_layer_slab(const std::vector<field2D>& horizons, int n, std::size_t row, std::size_t column,
                   double depth, double last_bottom)
{
    const int count = static_cast<int>(horizon_count(horizons));
    if (n < 0 || n >= count)
        return false;
    const double top = horizons[n][row][column];
    const double bottom = n < count - 1 ? horizons[n + 1][row][column] : last_bottom;
    return top <= depth && depth < bottom;
}

int layer_search(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double depth)
{
    const int count = static_cast<int>(horizon_count(horizons));
    if (count == 0)
        return -1;
    for (int m = 0; m + 1 < count; ++m)
        if (horizons[m][row][column] <= depth && depth < horizons[m + 1][row][column])
            return m;
    return count - 1;
}

std::vector<int> layer_walk(const std::vector<field2D>& horizons, std::size_t row, std::size_t column,
                            const std::vector<double>& level_depths)
{
    std::vector<int> result(level_depths.size(), 0);
    const int count = static_cast<int>(horizon_count(horizons));
    int m = 0;
    for (std::size_t k = 0; k < level_depths.size(); ++k) {
        while (m < count - 1 && level_depths[k] >= horizons[m + 1][row][column])
            ++m;
        result[k] = m;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Density grid from the layers

double level_count_unbounded(const VerticalParams& v)
{
    if (!std::isfinite(v.minZ) || !std::isfinite(v.maxZ) || !std::isfinite(v.dz))
        return 0;
    if (!(v.maxZ > v.minZ) || !(v.dz > 0.0))
        return 0;
    // A maximum a rounding error short of a level still counts that level.
    const double q = whole_steps((v.maxZ - v.minZ) / v.dz) + 1.0;
    return std::isfinite(q) && q >= 1.0 ? q : 0.0;
}

std::size_t level_count(const VerticalParams& v)
{
    const double q = level_count_unbounded(v);
    if (q > static_cast<double>(std::numeric_limits<int>::max()))
        return 0;
    return static_cast<std::size_t>(q);
}

bool apply_vertical_defaults(const std::vector<field2D>& horizons, VerticalParams& v)
{
    if (v.maxZ != 0.0 && v.dz != 0.0)
        return true;
    if (horizons.empty())
        return false;
    const field2D& last = horizons.back();
    if (last.empty() || last.front().empty() || !grid_has_shape(last, last.size(), last.front().size()))
        return false;
    v.maxZ = grid_max(last);
    v.dz = v.maxZ / 50.0;
    return true;
}

BuildStatus effective_vertical(const std::vector<field2D>& horizons, VerticalParams& v)
{
    if (horizons.empty())
        return BuildStatus::NoHorizons;
    VerticalParams w = v;
    const bool defaults = w.maxZ == 0.0 || w.dz == 0.0;
    if (!apply_vertical_defaults(horizons, w))
        return BuildStatus::BadGeometry;
    if (level_count(w) == 0)
        return defaults ? BuildStatus::DeepestAboveTop : BuildStatus::BadVertical;
    v = w;
    return BuildStatus::Ok;
}

BuildStatus build_grid_from_layers(const std::vector<field2D>& horizons, const std::vector<double>& params,
                                   const std::vector<double>& densities, VerticalParams& v, LayerGrid& out)
{
    if (horizons.empty())
        return BuildStatus::NoHorizons;
    if (!horizons_are_regular(horizons) || params.size() < 6 || densities.size() != horizons.size())
        return BuildStatus::BadGeometry;

    VerticalParams w = v;
    const BuildStatus vs = effective_vertical(horizons, w);
    if (vs != BuildStatus::Ok)
        return vs;

    const std::size_t nx = horizons.front().front().size();
    const std::size_t ny = horizons.front().size();
    const std::size_t nz = level_count(w);
    const int count = static_cast<int>(horizons.size());

    LayerGrid g;
    try {
        g.x = even_nodes(params[2], params[3], static_cast<int>(nx));
        g.y = even_nodes(params[4], params[5], static_cast<int>(ny));
        g.z.resize(nz);
        for (std::size_t k = 0; k < nz; ++k)
            g.z[k] = static_cast<double>(k) * w.dz + w.minZ;

        g.cells.assign(nz, vector2D(ny, std::vector<data_type>(nx)));

        // Layer walk, level by level: each node keeps the layer it has
        // reached and advances past every horizon the level depth has
        // reached (several at once where horizons cross).
        std::vector<std::vector<int>> layer(ny, std::vector<int>(nx, 0));
        for (std::size_t k = 0; k < nz; ++k) {
            const double depth = g.z[k];
            for (std::size_t j = 0; j < ny; ++j) {
                std::vector<int>& lrow = layer[j];
                std::vector<data_type>& cells = g.cells[k][j];
                for (std::size_t i = 0; i < nx; ++i) {
                    int m = lrow[i];
                    while (m < count - 1 && depth >= horizons[m + 1][j][i])
                        ++m;
                    lrow[i] = m;
                    cells[i] = static_cast<data_type>(densities[m]);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return BuildStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return BuildStatus::OutOfMemory;
    }
    out = std::move(g);
    v = w;
    return BuildStatus::Ok;
}

// ---------------------------------------------------------------------------
// Filling one layer of an existing grid

FillStatus layer_fill_ready(const vector3D& grid, const std::vector<double>& z,
                            const std::vector<field2D>& horizons, int n)
{
    if (!horizons_match_grid(horizons, grid) || z.size() != grid.size())
        return FillStatus::NotReady;
    if (n < 0 || n >= static_cast<int>(horizons.size()))
        return FillStatus::BadLayer;
    return FillStatus::Ok;
}

namespace {

template <typename CellValue>
FillStatus fill_layer(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons, int n,
                      CellValue value, const LevelHook& before_level)
{
    FillStatus s = layer_fill_ready(grid, z, horizons, n);
    if (s != FillStatus::Ok)
        return s;
    const std::size_t nz = grid.size();
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    const double z0 = z.front();
    const double step = node_step(z);
    const double last_bottom = last_layer_bottom(LastBottom::Extended, z);

    for (std::size_t k = 0; k < nz; ++k) {
        if (before_level) {
            before_level();
            // Other commands may have run meanwhile: go on only while the
            // grid and the horizons still have the sizes this fill started with.
            if (layer_fill_ready(grid, z, horizons, n) != FillStatus::Ok || grid.size() != nz ||
                grid.front().size() != ny || grid.front().front().size() != nx)
                return FillStatus::Interrupted;
        }
        const double depth = z0 + static_cast<double>(k) * step;
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i)
                if (in_layer_slab(horizons, n, j, i, depth, last_bottom))
                    value(grid[k][j][i], j, i);
    }
    return FillStatus::Ok;
}

}  // namespace

FillStatus add_to_layer(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                        int n, double d, const LevelHook& before_level)
{
    return fill_layer(
        grid, z, horizons, n,
        [d](data_type& cell, std::size_t, std::size_t) { cell = static_cast<data_type>(static_cast<double>(cell) + d); },
        before_level);
}

FillStatus set_layer_value(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                           int n, double d, const LevelHook& before_level)
{
    const data_type v = static_cast<data_type>(d);
    return fill_layer(
        grid, z, horizons, n, [v](data_type& cell, std::size_t, std::size_t) { cell = v; }, before_level);
}

FillStatus set_layer_from_map(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                              int n, const field2D& map, const LevelHook& before_level)
{
    FillStatus s = layer_fill_ready(grid, z, horizons, n);
    if (s != FillStatus::Ok)
        return s;
    if (!grid_has_shape(map, grid.front().size(), grid.front().front().size()))
        return FillStatus::BadMap;
    return fill_layer(
        grid, z, horizons, n,
        [&map](data_type& cell, std::size_t j, std::size_t i) { cell = static_cast<data_type>(map[j][i]); },
        before_level);
}

// ---------------------------------------------------------------------------
// Layer maps and horizon samples

bool lateral_density_maps(const vector3D& grid, const std::vector<double>& z,
                          const std::vector<field2D>& horizons, std::vector<field2D>& maps)
{
    if (!horizons_match_grid(horizons, grid) || z.size() != grid.size())
        return false;
    const int nz = static_cast<int>(grid.size());
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    const double z0 = z.front();
    const double step = node_step(z);

    std::vector<field2D> result(horizons.size(), field2D(ny, std::vector<double>(nx, 0.0)));
    for (std::size_t h = 0; h < horizons.size(); ++h)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i) {
                const int k = level_at_or_below(horizons[h][j][i], z0, step);
                if (k >= 0 && k < nz)
                    result[h][j][i] = grid[k][j][i];
            }
    maps = std::move(result);
    return true;
}

field2D layer_central_density(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n)
{
    const int count = static_cast<int>(horizons.size());
    if (n < 0 || n >= count || !horizons_match_grid(horizons, grid) || z.size() != grid.size())
        return {};
    const int nz = static_cast<int>(grid.size());
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    const double z0 = z.front();
    const double step = node_step(z);
    const double last = z.back();

    field2D result(ny, std::vector<double>(nx, 0.0));
    for (std::size_t j = 0; j < ny; ++j)
        for (std::size_t i = 0; i < nx; ++i) {
            const double top = horizons[n][j][i];
            const double bottom = n < count - 1 ? horizons[n + 1][j][i] : last;
            const int k = level_at_or_above((top + bottom) * 0.5, z0, step);
            if (k >= 0 && k < nz)
                result[j][i] = grid[k][j][i];
        }
    return result;
}

MapStatus layer_vertical_mean(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n, field2D& out)
{
    out.clear();
    const int count = static_cast<int>(horizons.size());
    if (n < 0 || n >= count)
        return MapStatus::BadLayer;
    if (!horizons_match_grid(horizons, grid) || z.size() != grid.size())
        return MapStatus::Mismatch;
    const std::size_t nz = grid.size();
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    const double last = z.back();

    field2D result(ny, std::vector<double>(nx, 0.0));
    for (std::size_t j = 0; j < ny; ++j)
        for (std::size_t i = 0; i < nx; ++i) {
            const double top = horizons[n][j][i];
            const double bottom = n < count - 1 ? horizons[n + 1][j][i] : last;
            double sum = 0;
            std::size_t cells = 0;
            for (std::size_t l = 0; l < nz; ++l)
                if (top <= z[l] && z[l] < bottom) {
                    sum += grid[l][j][i];
                    ++cells;
                }
            if (cells != 0)
                result[j][i] = sum / static_cast<double>(cells);
        }
    out = std::move(result);
    return MapStatus::Ok;
}

SampleStatus sample_around_horizon(const vector3D& grid, const std::vector<double>& z,
                                   const std::vector<field2D>& horizons, int n, vector2D& top, vector2D& bottom)
{
    if (n < 0 || n >= static_cast<int>(horizons.size()))
        return SampleStatus::BadIndex;
    if (!horizons_match_grid(horizons, grid) || z.size() != grid.size() || z.size() < 2)
        return SampleStatus::Mismatch;
    const field2D& h = horizons[n];
    const int nz = static_cast<int>(grid.size());
    const double z0 = z.front();
    const double step = node_step(z);

    bottom.assign(h.size(), std::vector<data_type>(h.front().size(), 0));
    top.assign(h.size(), std::vector<data_type>(h.front().size(), 0));
    for (std::size_t j = 0; j < h.size(); ++j)
        for (std::size_t i = 0; i < h[j].size(); ++i) {
            const double d = h[j][i];
            int k = level_at_or_above(d, z0, step);
            if (k >= 0 && k < nz) {
                // Settle rounding of the quotient against the node depths
                // themselves, so that k is the last level not below d.
                while (k + 1 < nz && z[k + 1] <= d)
                    ++k;
                while (k > 0 && z[k] > d)
                    --k;
            }
            if (k < 1 || k >= nz - 1)
                return SampleStatus::OutOfModel;
            if (z[k] == d) {
                top[j][i] = grid[k - 1][j][i];
                bottom[j][i] = grid[k][j][i];
            } else {
                top[j][i] = grid[k][j][i];
                bottom[j][i] = grid[k + 1][j][i];
            }
        }
    return SampleStatus::Ok;
}

bool fill_after_horizon_change(vector3D& grid, const std::vector<double>& z, const vector2D& top,
                               const vector2D& bottom, const field2D& before, const field2D& after)
{
    if (!cube_is_regular(grid) || z.size() != grid.size())
        return false;
    const int nz = static_cast<int>(grid.size());
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    if (!grid_has_shape(top, ny, nx) || !grid_has_shape(bottom, ny, nx) || !grid_has_shape(before, ny, nx) ||
        !grid_has_shape(after, ny, nx))
        return false;

    double lo_depth = std::numeric_limits<double>::infinity();
    double hi_depth = -std::numeric_limits<double>::infinity();
    for (const field2D* g : {&before, &after})
        for (const auto& row : *g)
            for (double d : row)
                if (std::isfinite(d)) {
                    lo_depth = std::min(lo_depth, d);
                    hi_depth = std::max(hi_depth, d);
                }
    if (!(lo_depth <= hi_depth))
        return true;  // no depth to move between

    const double z0 = z.front();
    const double step = node_step(z);
    auto clamp_level = [nz](int k) { return k < 0 ? 0 : (k >= nz ? nz - 1 : k); };
    const int lo = clamp_level(level_at_or_above(lo_depth, z0, step));
    const int hi = clamp_level(level_at_or_above(hi_depth, z0, step));

    for (int l = lo; l <= hi; ++l) {
        const double t = z[l];
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i) {
                const double b = before[j][i];
                const double a = after[j][i];
                if (std::isnan(a) || std::isnan(b))
                    continue;
                if (a < b) {
                    if (a <= t && t < b)
                        grid[l][j][i] = bottom[j][i];
                } else if (a > b) {
                    if (b <= t && t < a)
                        grid[l][j][i] = top[j][i];
                }
            }
    }
    return true;
}

void layer_indicator_plane(const std::vector<field2D>& horizons, double z_top, vector2D& real, vector2D& imag,
                           int nl, int ny, int nx, int nfbot, int nfleft, double bottom)
{
    const int count = static_cast<int>(horizons.size());
    if (nl < 0 || nl >= count || !horizons_are_regular(horizons))
        return;
    // Never read beyond the horizons, whatever model size the caller gives.
    const int rows = std::min(ny, static_cast<int>(horizons.front().size()));
    const int cols = std::min(nx, static_cast<int>(horizons.front().front().size()));
    if (rows < 1 || cols < 1)
        return;
    const field2D& upper_h = horizons[nl];
    const field2D* lower_h = nl < count - 1 ? &horizons[nl + 1] : nullptr;

    imag.resize(real.size());
    for (std::size_t r = 0; r < real.size(); ++r) {
        const int mr = std::clamp(static_cast<int>(r) - nfbot, 0, rows - 1);
        std::vector<data_type>& out = real[r];
        for (std::size_t j = 0; j < out.size(); ++j) {
            const int mc = std::clamp(static_cast<int>(j) - nfleft, 0, cols - 1);
            const double upper = lower_h ? (*lower_h)[mr][mc] : bottom;
            out[j] = (upper_h[mr][mc] <= z_top && z_top < upper) ? 1.0f : 0.0f;
        }
        imag[r].assign(out.size(), 0.0f);
    }
}

QString storable_name(const QString& name)
{
    if (name.isValidUtf16())
        return name;
    QString out = name;
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i;  // a whole pair
        else if (c.isSurrogate())
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

}  // namespace layers
