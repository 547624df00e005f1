#include "editing/velocity_density.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"

#include <cmath>
#include <limits>

namespace velocity_density {

float gardner(float v)
{
    const float root = std::sqrt(std::sqrt(v));
    return static_cast<float>(0.31 * root);
}

float inverse_gardner(float rho)
{
    const float q = static_cast<float>(rho / 0.31);
    return q * q * q * q;
}

double water_saturated(double a, double b, double z)
{
    return std::exp(-kPorosityDecay * z) * (b * 0.01 * (1 - a)) + a;
}

double gas_saturated(double a, double b, double z)
{
    return (1 - std::exp(-kPorosityDecay * z) * (b * 0.01)) * a;
}

double polynomial(double a, double b, double c, double vp)
{
    return vp * a * vp + vp * b + c;
}

std::vector<LayerFormula> parse_layer_formulas(const std::vector<int>& types, const std::vector<QString>& a,
                                               const std::vector<QString>& b, const std::vector<QString>& c)
{
    std::vector<LayerFormula> out(types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        out[i].type = types[i];
        out[i].a = i < a.size() ? a[i].toDouble() : 0.0;
        out[i].b = i < b.size() ? b[i].toDouble() : 0.0;
        out[i].c = i < c.size() ? c[i].toDouble() : 0.0;
    }
    return out;
}

namespace {

bool loaded(const vector3D* cube)
{
    return cube && !cube->empty();
}

bool same_shape(const vector3D& a, const vector3D& b)
{
    return a.size() == b.size() && !a.empty() && a.front().size() == b.front().size()
        && !a.front().empty() && a.front().front().size() == b.front().front().size();
}

bool cube_with_depths(const vector3D* cube, const std::vector<double>* z)
{
    return cube_is_regular(*cube) && z && z->size() >= cube->size();
}

const vector3D* source_cube(const ConversionInput& in, const std::vector<double>** z)
{
    switch (conversion_source(in)) {
    case 1:
        *z = in.vp_z;
        return in.vp;
    case 2:
        *z = in.vs_z;
        return in.vs;
    case 3:
        *z = in.density_z;
        return in.density;
    default:
        *z = nullptr;
        return nullptr;
    }
}

}  // namespace

int conversion_source(const ConversionInput& in)
{
    if (loaded(in.vp))
        return 1;
    if (loaded(in.vs))
        return 2;
    if (loaded(in.density))
        return 3;
    return 0;
}

ConvertStatus check_conversion(const ConversionInput& in, std::size_t formula_count)
{
    const std::size_t layers_count = in.horizons ? in.horizons->size() : 0;
    if (layers_count > 0 ? formula_count != layers_count : formula_count == 0)
        return ConvertStatus::FormulaCount;

    const std::vector<double>* z = nullptr;
    const vector3D* source = source_cube(in, &z);
    if (!source)
        return ConvertStatus::NoSource;
    if (!cube_with_depths(source, z))
        return ConvertStatus::BadGrid;

    const int kind = conversion_source(in);
    if (layers_count > 0) {
        const std::size_t ny = source->front().size();
        const std::size_t nx = source->front().front().size();
        for (const field2D& h : *in.horizons)
            if (!grid_has_shape(h, ny, nx))
                return kind == 3 ? ConvertStatus::DensityHorizonsMismatch : ConvertStatus::HorizonsMismatch;
    }
    if (loaded(in.vp) && loaded(in.vs)) {
        if (!same_shape(*in.vp, *in.vs))
            return ConvertStatus::VpVsMismatch;
        if (!cube_is_regular(*in.vs))
            return ConvertStatus::BadGrid;
    }
    return ConvertStatus::Ok;
}

namespace {

// The layer of cell (i, j) at a level's depth: 0 without horizons, and
// where the search finds none.
int layer_at(const std::vector<field2D>& horizons, std::size_t i, std::size_t j, double depth)
{
    const int m = horizons.size() > 1 ? layers::layer_search(horizons, i, j, depth) : 0;
    return m < 0 ? 0 : m;
}

const std::vector<field2D>& horizons_of(const ConversionInput& in)
{
    static const std::vector<field2D> no_horizons;
    return in.horizons ? *in.horizons : no_horizons;
}

// The conversion cell by cell into `result` (sized as the source cube).
// Script cells go to `script` (layer, Vp, Vs, depth); with Leave they keep
// a NaN and their value is not checked, else the value the script gives is
// stored and checked as any other. Stops at the first value that is not a
// finite number (NonFinite, `bad` set), leaving the later cells as they were.
enum class ScriptCells { Call, Leave };

template <ScriptCells mode, typename ScriptOp>
ConvertStatus convert_cells(const ConversionInput& in, const std::vector<LayerFormula>& formulas, ScriptOp&& script,
                            vector3D& result, BadCell* bad, const Progress& progress)
{
    const std::vector<double>* zp = nullptr;
    const vector3D& source = *source_cube(in, &zp);
    const std::vector<double>& z = *zp;
    const vector3D* vp = loaded(in.vp) ? in.vp : nullptr;
    const vector3D* vs = loaded(in.vs) ? in.vs : nullptr;
    const std::vector<field2D>& horizons = horizons_of(in);

    const std::size_t nz = source.size();
    const std::size_t ny = source.front().size();
    const std::size_t nx = source.front().front().size();
    for (std::size_t k = 0; k < nz; ++k) {
        const double depth = z[k];
        for (std::size_t i = 0; i < ny; ++i) {
            // The share of cells done (whole rows).
            if (progress)
                progress(static_cast<int>(100 * (k * ny + i) / (nz * ny)));
            for (std::size_t j = 0; j < nx; ++j) {
                const int m = layer_at(horizons, i, j, depth);
                const LayerFormula& f = formulas[static_cast<std::size_t>(m)];
                const double v = source[k][i][j];
                double value = v;
                switch (f.type) {
                case Gardner:
                    value = gardner(static_cast<float>(v));
                    break;
                case Constant:
                    value = f.a;
                    break;
                case WaterSaturated:
                    value = water_saturated(f.a, f.b, depth);
                    break;
                case GasSaturated:
                    value = gas_saturated(f.a, f.b, depth);
                    break;
                case Polynomial:
                    value = vp ? polynomial(f.a, f.b, f.c, (*vp)[k][i][j]) : 0.0;
                    break;
                case Script:
                    value = script(m, vp ? double((*vp)[k][i][j]) : 0.0, vs ? double((*vs)[k][i][j]) : 0.0, depth);
                    if (mode == ScriptCells::Leave) {
                        result[k][i][j] = std::numeric_limits<data_type>::quiet_NaN();
                        continue;
                    }
                    break;
                default:
                    break;  // unknown code: the cell keeps the source value
                }
                const data_type stored = static_cast<data_type>(value);
                if (!std::isfinite(stored)) {
                    if (bad)
                        *bad = BadCell{int(k), int(i), int(j), m, value};
                    return ConvertStatus::NonFinite;
                }
                result[k][i][j] = stored;
            }
        }
    }
    return ConvertStatus::Ok;
}

vector3D zero_cube(const ConversionInput& in)
{
    const std::vector<double>* z = nullptr;
    const vector3D& source = *source_cube(in, &z);
    return vector3D(source.size(),
                    vector2D(source.front().size(), std::vector<data_type>(source.front().front().size(), 0)));
}

}  // namespace

ConvertStatus convert_by_layers(const ConversionInput& in, const std::vector<LayerFormula>& formulas,
                                const ScriptCell& script, vector3D& out, BadCell* bad, const Progress& progress)
{
    const ConvertStatus checked = check_conversion(in, formulas.size());
    if (checked != ConvertStatus::Ok)
        return checked;
    vector3D result = zero_cube(in);
    const auto call = [&script](int layer, double vp, double vs, double h) {
        return script ? script(layer, vp, vs, h) : std::nan("");
    };
    const ConvertStatus status = convert_cells<ScriptCells::Call>(in, formulas, call, result, bad, progress);
    if (status == ConvertStatus::Ok)
        out = std::move(result);
    return status;
}

std::size_t conversion_cells(const ConversionInput& in)
{
    const std::vector<double>* z = nullptr;
    const vector3D* source = source_cube(in, &z);
    if (!source || !cube_is_regular(*source))
        return 0;
    return source->size() * source->front().size() * source->front().front().size();
}

ConvertStatus convert_leaving_scripts(const ConversionInput& in, const std::vector<LayerFormula>& formulas,
                                      ScriptCalls& calls, vector3D& cells, BadCell* bad)
{
    calls.count = 0;
    const ConvertStatus checked = check_conversion(in, formulas.size());
    if (checked != ConvertStatus::Ok)
        return checked;
    cells = zero_cube(in);
    const auto note = [&calls](int layer, double vp, double vs, double h) {
        const std::size_t n = calls.count;
        if (n < calls.capacity) {
            if (calls.vp)
                calls.vp[n] = static_cast<float>(vp);
            if (calls.vs)
                calls.vs[n] = static_cast<float>(vs);
            if (calls.h)
                calls.h[n] = h;
            if (calls.formula)
                calls.formula[n] = calls.formula_of_layer[layer];
        }
        calls.count = n + 1;
        return 0.0;
    };
    return convert_cells<ScriptCells::Leave>(in, formulas, note, cells, bad, Progress());
}

ConvertStatus fill_script_cells(const ConversionInput& in, vector3D& cells, const data_type* values,
                                std::size_t count, BadCell* bad)
{
    const std::vector<double>* zp = nullptr;
    if (!source_cube(in, &zp))
        return ConvertStatus::NoSource;
    std::size_t n = 0;
    for (std::size_t k = 0; k < cells.size(); ++k)
        for (std::size_t i = 0; i < cells[k].size(); ++i) {
            data_type* row = cells[k][i].data();
            for (std::size_t j = 0; j < cells[k][i].size(); ++j) {
                if (!std::isnan(row[j]))
                    continue;
                const data_type value = n < count ? values[n] : std::numeric_limits<data_type>::quiet_NaN();
                ++n;
                if (!std::isfinite(value)) {
                    if (bad)
                        *bad = BadCell{int(k), int(i), int(j), layer_at(horizons_of(in), i, j, (*zp)[k]), value};
                    return ConvertStatus::NonFinite;
                }
                row[j] = value;
            }
        }
    return ConvertStatus::Ok;
}

namespace {

template <typename Op>
ConvertStatus map_cube(const vector3D& in, vector3D& out, BadCell* bad, const Progress& progress, Op op)
{
    if (!cube_is_regular(in))
        return ConvertStatus::BadGrid;
    vector3D result = in;
    const std::size_t nz = result.size();
    for (std::size_t k = 0; k < nz; ++k) {
        if (progress)
            progress(static_cast<int>(100 * k / nz));
        for (std::size_t i = 0; i < result[k].size(); ++i)
            for (std::size_t j = 0; j < result[k][i].size(); ++j) {
                const data_type v = op(result[k][i][j]);
                if (!std::isfinite(v)) {
                    if (bad)
                        *bad = BadCell{int(k), int(i), int(j), -1, v};
                    return ConvertStatus::NonFinite;
                }
                result[k][i][j] = v;
            }
    }
    out = std::move(result);
    return ConvertStatus::Ok;
}

}  // namespace

ConvertStatus gardner_cube(const vector3D& velocity, vector3D& out, BadCell* bad, const Progress& progress)
{
    return map_cube(velocity, out, bad, progress, [](data_type v) { return gardner(v); });
}

ConvertStatus inverse_gardner_cube(const vector3D& density, vector3D& out, BadCell* bad, const Progress& progress)
{
    return map_cube(density, out, bad, progress, [](data_type v) { return inverse_gardner(v); });
}

}  // namespace velocity_density
