#pragma once
// The numerical core of the layered inversion: one constant density increment
// per layer of the layered model that best explains a target field.
//
// Layer i lies between horizon i and horizon i + 1 (top inclusive, bottom
// exclusive); the last layer reaches down to `last_bottom`. The slab effect
// E_i of layer i is the field (mGal, at the model's observation nodes) of the
// layer filled with 1 g/cm3: for every model level k the layer reaches, the
// level's indicator plane on the padded FFT grid (horizons extended into the
// margins by their edge rows and columns) is convolved with the field of the
// unit cell of that level, and the sum over levels is cut back to the model's
// nodes.
//
// The descent on increments d minimises the mean-free misfit
//     || (sum_i d_i E_i - f) - mean(...) ||^2
// by steps d_i -= alpha_i * sum over cells of E_i * p, with p the mean-free
// misfit of the current increments. Since p sums to zero, that sum equals
// the product of the mean-free E_i with p, and
//     sum(E_i * p) = sum_j G_ij d_j - b_i
// with G_ij = <E_i - mean E_i, E_j - mean E_j> and b_i = <E_i - mean E_i,
// f - mean f>. The steps are made in that form: each costs layers^2 products
// instead of two passes over every layer's cells.
#include "common/types.h"
#include "engine/forward.h"

#include <cstdint>
#include <functional>
#include <vector>

// ---------------------------------------------------------------------------
// Slab effects

// True when `effects` holds exactly `layers` grids of `rows` rows of
// `columns` cells each: a stored set that can serve a run of that shape.
bool layer_effects_fit(const std::vector<field2D>& effects, int layers, int rows, int columns);

// A fingerprint of everything slab effects depend on: the geometry (grid and
// FFT sizes, spacings, first nodes, level depths, calculation level,
// expansion factor), every horizon node and the last layer's bottom. Never 0,
// so that 0 can stand for effects of unknown origin (read from a file).
std::uint64_t layer_effects_key(const ForwardGeometry& g, const std::vector<field2D>& horizons, double last_bottom);

// The levels of layer i: from trunc((shallowest depth of horizon i - z0) / dz)
// to trunc((D - z0) / dz + 1), exclusive, both clamped to 0 .. nz, where D is
// the deepest depth of horizon i + 1, or `last_bottom` for the last layer.
// first >= last means no level. Horizons must be regular and not empty.
struct LevelRange
{
    int first = 0;
    int last = 0;
};
LevelRange layer_level_range(const std::vector<field2D>& horizons, int i, double last_bottom, double z0,
                             double dz, int nz);

enum class LayerEffectsStatus {
    Completed,
    Mismatch,    // the horizons are not regular or not on the geometry's rows and columns
    OutOfMemory
};

// Called before each group of levels of a layer (layer and first level of
// the group 0-based, with the layer count); the main window shows the layer
// and processes events there.
using LayerEffectsProgress = std::function<void(int layer, int layers, int level)>;

// The workers the slab-effect build makes on a grid of `levels` levels: one
// per level of a group, at most one per thread.
int layer_effects_workers(int thread_count, int levels);
// Bytes the slab-effect build holds at its peak on an Mx x My padded grid of
// `levels` levels: the complex double accumulator, and per worker the unit
// cell's field with its complex spectrum, the single-precision indicator
// plane with its imaginary part and the corner values of the cell's two
// depth faces.
double layer_effects_work_bytes(int Mx, int My, int levels, int thread_count);

// The slab effects of every layer on the geometry `g` (its padded grid,
// level depths, spacings and calculation level, see forward.h). The last
// layer's indicator uses `last_bottom` as its bottom. Layer levels follow
// layer_level_range with z0 = first level depth and dz = g.dz. Only on
// Completed is `out` replaced: Nh grids of g.ny rows by g.nx columns.
LayerEffectsStatus compute_layer_effects(const ForwardGeometry& g, const std::vector<field2D>& horizons,
                                         double last_bottom, std::vector<field2D>& out, int thread_count = 1,
                                         const LayerEffectsProgress& progress = LayerEffectsProgress());

// Whether slab effects read from a file are the ones compute_layer_effects
// gives for these layers, told at about half the cost of computing them: as
// many grids of the model's rows and columns as layers, every value finite,
// the sum of all layers against the one known in closed form (a flat first
// horizon and layers that never cross: each level's cell field summed over
// the padded grid), so a layer scaled is seen, and every other layer (the
// even or the odd ones, whichever is cheaper) computed again, so a boundary
// moved or another calculation height, level thickness or spacing is seen;
// all within effects_check_tolerance of the largest value.
enum class LayerEffectsCheck { Own, OtherSizes, NotFinite, Differs, NoMemory };
LayerEffectsCheck check_layer_effects(const std::vector<field2D>& held, const ForwardGeometry& g,
                                      const std::vector<field2D>& horizons, double last_bottom,
                                      int thread_count = 1);

// The levels the check above computes, and those of all layers (a build):
// a caller weighs the one against the other.
struct LayerEffectsCost
{
    int check_levels = 0;
    int build_levels = 0;
};
LayerEffectsCost layer_effects_cost(const ForwardGeometry& g, const std::vector<field2D>& horizons,
                                    double last_bottom);

// ---------------------------------------------------------------------------
// Descent on the increments

// Called once per descent step (the main window processes events there).
using LayerStepHook = std::function<void()>;

// The prediction p = sum_i d_i E_i on the rows and columns of E_0.
void layer_prediction(const std::vector<double>& d, const std::vector<field2D>& effects, field2D& p);

// The loss of increments d against a field: the sum over all cells of
// ((field - mean field) - (p - mean p))^2 with p = layer_prediction(d).
double layer_fit_loss(const std::vector<double>& d, const field2D& field, const std::vector<field2D>& effects);

// The normal equations of the mean-free problem (see the top of the file).
struct LayerNormalEquations
{
    std::vector<std::vector<double>> gram;  // G, layers x layers
    std::vector<double> rhs;                // b
    bool valid = false;                     // false when the shapes disagree
};
// Rows and columns are counted on the field; every effect must have them.
LayerNormalEquations layer_normal_equations(const field2D& field, const std::vector<field2D>& effects);

// `steps` descent steps of d from its current values. Before each step
// `before_step(s)` is asked (s = 0 .. steps-1) and the descent ends when it
// returns false. Returns the steps made.
int layer_descent(std::vector<double>& d, const LayerNormalEquations& eq, const std::vector<double>& alpha,
                  int steps, const std::function<bool(int)>& before_step = std::function<bool(int)>());

// A trial descent of 100 * hundreds steps from zero increments (d gives only
// the layer count; the caller's increments are not changed) against the
// field; returns the trial's loss (layer_fit_loss). With 0 steps it is the
// sum of squares of the field about its mean. `each_step` runs once per step.
double run_layer_fit_iterations(std::vector<double> d, std::vector<std::vector<double>>& field,
                                std::vector<std::vector<std::vector<double>>>& effects, std::vector<double>& alpha,
                                int hundreds, const LayerStepHook& each_step = LayerStepHook());

// Largest number of weight changes of one search (in decades, each way).
constexpr int layer_alpha_max_trials = 40;

// The weight search: L0 = the loss after 0 steps, L = after 3000 steps. While
// L is a number below L0 the weights go up by decades (the last decade is the
// first that no longer stays below L0 or gives no number); otherwise they go
// down by decades while L is not a number or exceeds L0. Finally they are
// multiplied by 0.08. Returns false, with the weights as they came, when the
// field or the effects do not have one shape, or the search needed more than
// `max_trials` decade changes.
bool fit_alpha_losses(std::vector<double> d, std::vector<std::vector<double>>& field,
                      std::vector<std::vector<std::vector<double>>>& effects, std::vector<double>& alpha,
                      const LayerStepHook& each_step = LayerStepHook(), int max_trials = layer_alpha_max_trials);

// True when every increment is a finite number.
bool increments_finite(const std::vector<double>& d);
