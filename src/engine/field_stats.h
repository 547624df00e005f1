#pragma once
// Misfit between two fields, per-layer statistics of the density grid, the
// horizontal gradient of a horizon, the layer at a depth, and the two
// spectral products of the per-level spectra (field spectrum and descent step).
//
// Layers follow the layer model: layer n lies between horizon n and horizon
// n + 1 (top inclusive, bottom exclusive), the last layer reaches down
// without bound.
#include "common/types.h"

#include <QString>

#include <functional>
#include <vector>

// ---- Misfit

struct FieldMisfit
{
    bool valid = false;  // false when the fields cannot be compared
    double rms = 0;      // mGal, both means removed
    double percent = 0;  // rms * 100 / (max - min of the observed field)
};

// Root mean square of (calculated - its mean) - (observed - its mean). Not
// valid when the observed field is empty or the two fields do not have the
// same shape (every row checked).
FieldMisfit field_misfit(const field2D& observed, const field2D& calculated);

// "0.532 mGal;  4.1 %" (language 0: "мГал").
QString misfit_text(const FieldMisfit& m, int language);

// ---- Layer statistics

// {smallest, largest, mean} density of the cells of layer n; {0, 0, 0} for an
// index outside the horizons, a layer without cells, or horizons that do not
// have the grid's rows and columns. `z` holds the depth of every level.
std::vector<double> layer_stats(const vector3D& den_grid, const std::vector<double>& z,
                                const std::vector<field2D>& horizons, int n);

// ---- Horizon gradient

// Magnitude of the horizontal gradient of `horizon` (central differences with
// spacings dx, dy at interior nodes; edges copy their inner neighbours).
// `gradient` becomes rows x columns of the horizon. A horizon with fewer than
// three rows or columns, a ragged one, or spacings that are not positive
// finite numbers give all zeros (an empty horizon an empty grid).
void horizon_gradient(const field2D& horizon, double dx, double dy, field2D& gradient);

// ---- Layer at a depth

// The first m with horizons[m][i][j] <= z < horizons[m+1][i][j]; the last
// layer (horizons.size() - 1) when there is none. -1 when there are no
// horizons or (i, j) is not a node of every horizon.
int layer_at_depth(const std::vector<field2D>& horizons, int i, int j, double z);

// ---- Spectral products

// Called once per level; return false to stop (may process pending events).
using LevelCallback = std::function<bool(int level, int levels)>;

// Field spectrum: out = sum over levels of E[k] * D[k] (complex products in
// float). `out_re` and `out_im` become rows x columns of `shape`. False (and
// outputs untouched) when the spectra do not all have the level, row and
// column counts of `den_re`, or those rows and columns are not the shape's.
bool spectral_product_sum(const vector3D& eff_re, const vector3D& eff_im, const vector3D& den_re,
                          const vector3D& den_im, vector2D& out_re, vector2D& out_im,
                          const vector2D& shape, const LevelCallback& each_level = LevelCallback());

// Descent step: D[k] -= alpha[k] * E[k] * R for every level (complex product
// in float, scaled in double, stored as float). False (and nothing changed)
// on any shape mismatch, including fewer weights than levels.
bool spectral_gradient_step(const vector3D& eff_re, const vector3D& eff_im, vector3D& den_re,
                            vector3D& den_im, const vector2D& res_re, const vector2D& res_im,
                            const std::vector<double>& alpha,
                            const LevelCallback& each_level = LevelCallback());
