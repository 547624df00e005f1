#pragma once
// Velocity-to-density conversion: Gardner's formula and its inverse, the
// fixed per-layer formulas, and the conversion of a whole cube with one
// formula per layer of the layered model.
//
// Velocities are in m/s, densities in g/cm3, depths in metres (positive
// down). A conversion never changes its inputs: it writes a new cube, and
// the caller replaces the project's grid only when the result is good.
//
// The script formula (type 5) is evaluated by the caller's callback, so
// that this library stays free of the script engine (see
// editing/grid_formula.h for the Qt Script side).
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

#include "common/types.h"

namespace velocity_density {

// Per-layer formula codes, equal to the index of the formula's item in the
// dialog's combo box.
enum FormulaType : int {
    Gardner = 0,         // 0.31 * v^(1/4)
    Constant = 1,        // a
    WaterSaturated = 2,  // matrix density a, maximum porosity b %, pores filled with water (1 g/cm3)
    GasSaturated = 3,    // matrix density a, maximum porosity b %, pores filled with gas (0 g/cm3)
    Polynomial = 4,      // a * Vp^2 + b * Vp + c
    Script = 5,          // a script expression of Vp, Vs and h
    FormulaTypeCount = 6
};

// Porosity decay with depth: porosity(z) = b % * exp(-kPorosityDecay * z).
constexpr double kPorosityDecay = 0.00045;

// Gardner's formula 0.31 * v^(1/4); the fourth root is taken in single
// precision as two square roots, the product in double.
float gardner(float v);
// Its inverse (rho / 0.31)^4: the quotient in double rounded to float, the
// fourth power by three float multiplications.
float inverse_gardner(float rho);
// Water-saturated rock: a + phi * (1 - a), phi = b * 0.01 * exp(-0.00045 z).
double water_saturated(double a, double b, double z);
// Gas-saturated rock: (1 - phi) * a.
double gas_saturated(double a, double b, double z);
// a * Vp^2 + b * Vp + c, computed as Vp * a * Vp + Vp * b + c.
double polynomial(double a, double b, double c, double vp);

// One layer's formula with its numeric parameters.
struct LayerFormula {
    int type = Gardner;
    double a = 0, b = 0, c = 0;
};

// The per-layer formulas from the dialog's lists: the type codes and the
// texts of the a, b and c fields, read with QString::toDouble (an empty or
// unreadable text gives 0). Missing entries give Gardner with zeros.
std::vector<LayerFormula> parse_layer_formulas(const std::vector<int>& types, const std::vector<QString>& a,
                                               const std::vector<QString>& b, const std::vector<QString>& c);

// The value of a script formula for one cell: layer index, Vp, Vs (0 where
// the cube is not loaded) and depth. Returns the script's number (NaN when
// the script gave none).
using ScriptCell = std::function<double(int layer, double vp, double vs, double h)>;

// Called with the percentage of cells done: by the per-layer conversion
// before every row, by the Gardner cubes before every level.
using Progress = std::function<void(int percent)>;

// Where a conversion met its first value that no cell can hold (not a
// number, infinite, or beyond the single-precision range), and that value.
struct BadCell {
    int level = -1, row = -1, column = -1;
    int layer = -1;
    double value = std::numeric_limits<double>::quiet_NaN();  // as the formula gave it, before rounding to a cell
    bool found() const { return level >= 0; }
};

enum class ConvertStatus {
    Ok,
    NoSource,          // nothing to convert: no velocity cube and no density grid
    FormulaCount,      // the lists do not hold one formula per layer
    HorizonsMismatch,  // the horizons do not sit on the rows and columns of the converted cube
    DensityHorizonsMismatch,  // the same, the converted cube being the density grid itself
    VpVsMismatch,      // Vp and Vs cubes of different sizes
    BadGrid,           // a ragged cube or fewer depths than levels
    NonFinite          // a formula gave a value that is not a finite number
};

// What a per-layer conversion works on.
struct ConversionInput {
    const vector3D* vp = nullptr;       // may be empty
    const std::vector<double>* vp_z = nullptr;
    const vector3D* vs = nullptr;       // may be empty
    const std::vector<double>* vs_z = nullptr;
    const vector3D* density = nullptr;  // may be empty
    const std::vector<double>* density_z = nullptr;
    const std::vector<field2D>* horizons = nullptr;  // may be empty: one layer
};

// Which cube the conversion starts from: 1 Vp, 2 Vs, 3 the density grid
// itself, 0 none.
int conversion_source(const ConversionInput& in);

// The checks made before anything is converted: one formula per layer (one
// formula at least without horizons), Vp and Vs of one size when both are
// loaded, regular cubes with one depth per level, and horizons on the rows
// and columns of the cube that is converted.
ConvertStatus check_conversion(const ConversionInput& in, std::size_t formula_count);

// Converts the source cube (Vp, else Vs, else the density grid) cell by
// cell with the formula of the cell's layer (layer search at the level's
// node depth). `out` receives the new cube; on any status but Ok it is left
// unchanged, and for NonFinite `bad` tells where the first such value was.
ConvertStatus convert_by_layers(const ConversionInput& in, const std::vector<LayerFormula>& formulas,
                                const ScriptCell& script, vector3D& out, BadCell* bad = nullptr,
                                const Progress& progress = Progress());

// The cells of the cube a conversion converts (Vp, else Vs, else the
// density grid); 0 when there is none or it is ragged.
std::size_t conversion_cells(const ConversionInput& in);

// Where a conversion that leaves its script cells to the caller writes
// their calls: call n is the n-th script cell in cell order, with its Vp,
// Vs and depth (as convert_by_layers would pass them) and the formula
// formula_of_layer[layer] of its layer. A null column is not written.
// Capacity: the calls the columns hold (conversion_cells is always enough).
struct ScriptCalls {
    float* vp = nullptr;
    float* vs = nullptr;
    double* h = nullptr;
    qint32* formula = nullptr;
    const qint32* formula_of_layer = nullptr;  // needed with `formula`
    std::size_t capacity = 0;
    std::size_t count = 0;  // set by the conversion
};

// The conversion of convert_by_layers in one pass with the script cells
// left out: their calls go to `calls` and the cells hold NaN in `cells`,
// to be filled by fill_script_cells once the calls are made. The other
// cells are computed as convert_by_layers does, up to the first one
// without a finite value (NonFinite, `bad` set; the later cells stay 0 and
// no later script cell is noted). For the statuses of check_conversion
// `cells` is left unchanged and no call is noted.
ConvertStatus convert_leaving_scripts(const ConversionInput& in, const std::vector<LayerFormula>& formulas,
                                      ScriptCalls& calls, vector3D& cells, BadCell* bad = nullptr);

// Puts the results of the calls of convert_leaving_scripts into its cells:
// the n-th script cell takes values[n] (for n < count; a cell beyond has
// none). NonFinite, with `bad` set, at the first script cell then without a
// finite value: of the whole conversion the first such cell is that one,
// else the one convert_leaving_scripts stopped at, if any.
ConvertStatus fill_script_cells(const ConversionInput& in, vector3D& cells, const data_type* values,
                                std::size_t count, BadCell* bad = nullptr);

// Gardner's formula on every cell of a velocity cube (`out` = converted
// copy); NonFinite (with `out` unchanged) when a cell gives no finite value,
// BadGrid for an empty or ragged cube.
ConvertStatus gardner_cube(const vector3D& velocity, vector3D& out, BadCell* bad = nullptr,
                           const Progress& progress = Progress());
// The inverse formula on every cell of a density grid.
ConvertStatus inverse_gardner_cube(const vector3D& density, vector3D& out, BadCell* bad = nullptr,
                                   const Progress& progress = Progress());

}  // namespace velocity_density
