#pragma once
// Spectral forward calculation of a density grid's vertical gravity effect.
//
// Every level of the grid is a layer of identical right prisms. The grid is
// padded to power-of-two FFT sizes chosen by the expansion factor p (the pads
// repeat the nearest edge cell), the field of one unit-density cell of a level
// at the padded grid's centre is quadrant-swapped and transformed, and the
// field is the inverse transform of the sum over levels of that operator (its
// real part) times the level's spectrum, cut back to the grid's own nodes.
//
// The routines below take the grid, its node coordinates, the calculation
// level, a thread count and a progress callback; none of them knows the main
// window. A run that is stopped through the callback leaves the result at
// zeros.
#include "common/types.h"
#include "engine/effects_operator.h"
#include "engine/prism.h"

#include <cstddef>
#include <functional>
#include <vector>

// Geometry of one spectral run.
struct ForwardGeometry
{
    int nx = 0, ny = 0, nz = 0;  // model columns, rows, levels
    int Mx = 0, My = 0;          // FFT sizes
    int px = 0, py = 0;          // padding cells before the model (the far side gets the rest)
    float dx = 0, dy = 0, dz = 0;
    std::vector<double> x_padded, y_padded;  // nodes of the padded grid
    std::vector<double> depths;              // z of every level's top
    double calc_level = 0;                   // z of the calculation level
    double expansion_factor = 0;

    // The key an operator built for this geometry carries.
    EffectsKey key() const;
    // Padded cells per level.
    double padded_cells() const { return static_cast<double>(Mx) * My; }
};

enum class ForwardStatus {
    Completed,
    Stopped,            // the progress callback asked to stop
    EmptyGrid,          // no density grid
    IrregularGrid,      // levels or rows of different sizes
    CoordinatesMismatch,// node vectors do not match the grid's size
    TooFewNodes,        // fewer than two nodes along an axis (no spacing)
    NodesNotIncreasing, // a spacing that is not a positive finite number
    BadExpansionFactor, // negative, not finite, or FFT sizes beyond reach
    OutOfMemory
};

// Called before each group of levels with the levels done and the total;
// returns false to stop the run. May process pending events. An empty
// callback never stops.
using ForwardProgress = std::function<bool(int done, int total)>;

// Largest FFT size along an axis that a run accepts.
constexpr int forward_max_fft_size = 1 << 15;

// Checks the inputs and derives the run's geometry: spacings from the first
// two nodes (rounded to float), FFT sizes by fft_padded_size, pads
// (M - n) / 2 before the model, padded nodes x0 - px*dx + i*dx in float.
ForwardStatus forward_geometry(const vector3D& den_grid, const std::vector<double>& x,
                               const std::vector<double>& y, const std::vector<double>& z,
                               double calc_level, double expansion_factor, ForwardGeometry& g);

// Shape-only form, for cubes of doubles and for callers that check the grid
// themselves: nx, ny, nz are the model's sizes.
ForwardStatus forward_geometry(int nx, int ny, int nz, const std::vector<double>& x,
                               const std::vector<double>& y, const std::vector<double>& z,
                               double calc_level, double expansion_factor, ForwardGeometry& g);

// One level of the model on the padded grid: out[j][i] =
// level[clamp(j - py)][clamp(i - px)]. `out` is resized to My x Mx when its
// shape differs.
void pad_level(const vector2D& level, const ForwardGeometry& g, vector2D& out);
void pad_level(const vector2D& level, const ForwardGeometry& g, field2D& out);
void pad_level(const std::vector<std::vector<double>>& level, const ForwardGeometry& g, field2D& out);

// Field (mGal) at the padded nodes of the unit-density cell of level k: the
// prism x'[Mx/2] +- dx/2, y'[My/2] +- dy/2, depths z_k .. z_k + dz, observed
// at calc_level - 1e-6. `out` must be My x Mx. The nodes are taken on the
// regular lattice of the spacings around the cell (prism_lattice_field).
void unit_cell_field(const ForwardGeometry& g, int k, field2D& out, int thread_count = 1);
// The same field quadrant-swapped (as fft_shift of it), the cell at the origin.
void swapped_unit_cell_field(const ForwardGeometry& g, int k, field2D& out, int thread_count = 1);
void swapped_unit_cell_field(const ForwardGeometry& g, int k, vector2D& out, int thread_count = 1);
// The same in steps, for callers that keep the depth faces' corner values
// between cells: the lattice of the unit cell's field on `rows` x `columns`
// padded nodes (made once per geometry), then the swapped field of level k
// with the faces held in `top` and `bottom` (their storage is reused).
PrismLattice unit_cell_lattice(const ForwardGeometry& g, int rows, int columns);
void swapped_unit_cell_field(const ForwardGeometry& g, const PrismLattice& lattice, int k, PrismLattice::Face& top,
                             PrismLattice::Face& bottom, field2D& out, int thread_count = 1);

// True when the stored operator belongs to this geometry: it holds data and
// its key equals g.key(). An operator without a key serves no geometry: an
// operator read from a file is keyed by its reader once its sizes were
// checked against the model it is read for. This is the one test of reuse.
bool effects_fit(const EffectsOperator& effects, const ForwardGeometry& g);

// Whether an operator read from a file (or imported) is the one the engine
// builds for a model, told without building it: a whole check that costs a
// few levels' builds.
enum class EffectsCheck {
    Own,          // taken: it is the model's operator
    OtherSizes,   // other level count or padded grid
    NotFinite,    // a value that is not a finite number
    Differs,      // another model's (or changed) values
    NotCheckable, // the model's levels leave gaps: only a build tells
    NoMemory
};

// True when the model's levels follow each other without gaps (each level's
// top is the bottom of the one above), which the whole check needs.
bool effects_checkable(const ForwardGeometry& g);

// The whole check, in two steps so that a caller can time the first and
// weigh reading a file against building (see the main window's sidecars):
// - begin() builds the operator of the whole slab, from the first level's
//   top to the last level's bottom, alone (one level: the cheapest part of
//   the check, and its time bounds what a level of a build costs);
// - time_level() builds the first level alone (part of the check) and
//   times it again: the first build of a size also pays for first touching
//   its working memory, the second runs in kept memory;
// - finish(held) builds what is left of the first and the last level and
//   compares: those two levels; every level's value at frequency 0 with the
//   field sum of its unit cell (closed form, see PrismLattice::field_sum),
//   so one level scaled is seen; the sum of all levels with the operator of
//   the whole slab, which the levels add up to (a level is the transform of
//   the difference of the cell's field between its bottom and top faces, so
//   the sum telescopes), so one changed value is seen; and every value
//   finite. All within effects_check_tolerance.
// A caller that gives the file up after begin() has spent one level.
class EffectsChecker
{
public:
    EffectsChecker(const ForwardGeometry& g, int thread_count) : g_(g), threads_(thread_count) {}
    EffectsCheck begin();
    EffectsCheck time_level();
    EffectsCheck finish(const EffectsOperator& held);
    // Seconds the quickest level built alone so far took. A lone level
    // takes the corner values of two depth faces and one transform; a level
    // of a build takes one face (the levels of a build share their faces)
    // and one transform, so at least half of this (in kept memory) and at
    // most all of it.
    double lone_seconds() const { return lone_seconds_; }

private:
    const ForwardGeometry& g_;
    int threads_;
    EffectsOperator first_, last_, slab_;
    bool begun_ = false;
    double lone_seconds_ = 0;
};

// begin() and finish() at once.
EffectsCheck check_effects(const EffectsOperator& held, const ForwardGeometry& g, int thread_count);

// Builds the stored operator for the geometry: level k is the quarter of
// the real part of fft_2d(fft_shift(unit_cell_field(k))) (the imaginary part
// is rounding: the field is even). The kernel evaluations and transforms are
// spread over the worker threads. A stop empties the operator. On completion
// the key is set.
ForwardStatus build_effects(const ForwardGeometry& g, EffectsOperator& effects, int thread_count,
                            const ForwardProgress& progress = ForwardProgress());

// Stored form. Reuses `effects` when effects_fit: the level spectra are formed in float and
// their products with the operator summed in double. Otherwise rebuilds the
// operator while summing the level spectra in double.
// `result` becomes ny x nx; it keeps zeros unless the run completes.
// `reused` (optional) tells which path ran.
ForwardStatus forward_stored(const vector3D& den_grid, const ForwardGeometry& g,
                             EffectsOperator& effects, field2D& result, int thread_count,
                             const ForwardProgress& progress = ForwardProgress(),
                             bool* reused = nullptr);

// Storage-off form: every level's operator is computed, used and dropped,
// all in double precision; nothing is kept.
ForwardStatus forward_without_store(const vector3D& den_grid, const ForwardGeometry& g,
                                    field2D& result, int thread_count,
                                    const ForwardProgress& progress = ForwardProgress());

// Single-threaded form over a cube of doubles: a level that is laterally
// constant (value v) adds the slab term v * slab_factor * dz at every node
// instead of a transform; other levels as the storage-off form, with the
// cell observed at calc_level itself. `transforms` (optional) counts the
// levels that were transformed.
constexpr double fast_forward_slab_factor = 0.0419339786922;
ForwardStatus forward_fast(const std::vector<std::vector<std::vector<double>>>& den_grid,
                           const std::vector<double>& x, const std::vector<double>& y,
                           const std::vector<double>& z, double calc_level, double expansion_factor,
                           field2D& result, const ForwardProgress& progress = ForwardProgress(),
                           int* transforms = nullptr);

// Bytes of the working grids that the forward routines keep, for the calling
// thread, between calls of the same size.
std::size_t forward_kept_bytes();
// Lets the calling thread's kept working grids go.
void forward_release_work();

// Levels of model spectrum handled together by the stored form's reuse path:
// bounded by memory, independent of the thread count (so the sums, and the
// field, do not depend on it).
int forward_reuse_batch_levels(const ForwardGeometry& g);
