#pragma once
// The stored forward operator and the geometry it was built for.
//
// Header-only: the file codecs fold and expand operators without linking the
// engine.
#include "common/types.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Everything a stored operator depends on: metadata kept beside the data,
// whatever the layout of the data. An operator serves a model only when its
// key equals the key of that model's geometry; `valid` is false for an
// operator of unknown geometry, which serves none.
struct EffectsKey
{
    bool valid = false;
    int levels = 0;              // model levels (one operator level each)
    int rows = 0, columns = 0;   // padded FFT sizes My, Mx
    float dx = 0, dy = 0, dz = 0;
    double padded_x0 = 0, padded_y0 = 0;  // first padded node (the kernel's coordinates)
    std::vector<double> depths;  // z of every level's top
    double calc_level = 0;       // z of the calculation level
    double expansion_factor = 0;

    bool operator==(const EffectsKey& o) const
    {
        return valid == o.valid && levels == o.levels && rows == o.rows && columns == o.columns
               && dx == o.dx && dy == o.dy && dz == o.dz && padded_x0 == o.padded_x0
               && padded_y0 == o.padded_y0 && depths == o.depths && calc_level == o.calc_level
               && expansion_factor == o.expansion_factor;
    }
    bool operator!=(const EffectsKey& o) const { return !(*this == o); }
};

// The index of -k along an axis of n points.
inline int effects_mirror(int k, int n) { return k == 0 ? 0 : n - k; }

// The stored forward operator: per model level, the real part of the 2D
// spectrum (on the padded FFT grid, `rows` x `columns`) of one unit-density
// cell. The cell's field is symmetric in x and in y, so that spectrum is real
// and even along both axes: E[r][c] = E[-r][c] = E[r][-c] (indices modulo the
// sizes). Only its quarter is held, rows 0 .. rows/2 by columns
// 0 .. columns/2; every other value is one of these.
//
// The files keep the full grid of every level (see the effects codecs): it is
// expanded row by row when written and folded when read.
struct EffectsOperator
{
    // Level k: quarter_rows() x quarter_columns() values, row by row.
    std::vector<std::vector<float>> quarter;
    int rows = 0, columns = 0;  // the full grid of a level
    // Imaginary parts of every level on the full grid, as an effects file
    // brought them (the operator's spectrum has none: its imaginary part is
    // rounding only). Empty unless imported; written back as they came.
    vector3D im;
    EffectsKey key;  // geometry of the data; set whenever it is filled, reset when emptied

    int levels() const { return static_cast<int>(quarter.size()); }
    int quarter_rows() const { return rows / 2 + 1; }
    int quarter_columns() const { return columns / 2 + 1; }
    bool empty() const { return quarter.empty() && im.empty(); }

    // Quarter row q (0 <= q <= rows/2) of level k.
    float* quarter_row(int k, int q)
    {
        return quarter[static_cast<std::size_t>(k)].data() + static_cast<std::size_t>(q) * quarter_columns();
    }
    const float* quarter_row(int k, int q) const
    {
        return quarter[static_cast<std::size_t>(k)].data() + static_cast<std::size_t>(q) * quarter_columns();
    }
    // Row r (0 <= r < rows) of level k over columns 0 .. columns/2: the row
    // of the half spectrum.
    const float* half_row(int k, int r) const { return quarter_row(k, r <= rows / 2 ? r : rows - r); }
    // E[r][c] of level k on the full grid.
    float at(int k, int r, int c) const { return half_row(k, r)[c <= columns / 2 ? c : columns - c]; }

    // Row r of level k on the full grid, `columns` values into out.
    void expand_row(int k, int r, float* out) const
    {
        const float* h = half_row(k, r);
        const int half = columns / 2;
        for (int c = 0; c <= half && c < columns; ++c)
            out[c] = h[c];
        for (int c = half + 1; c < columns; ++c)
            out[c] = h[columns - c];
    }
    // Level k on the full grid.
    void expand_level(int k, vector2D& out) const
    {
        out.assign(static_cast<std::size_t>(rows), std::vector<float>(static_cast<std::size_t>(columns)));
        for (int r = 0; r < rows; ++r)
            expand_row(k, r, out[static_cast<std::size_t>(r)].data());
    }

    // Sizes set and `levels` quarters of zeros, the key reset (the data
    // are not yet those of any geometry).
    void shape(int levels, int full_rows, int full_columns)
    {
        clear();
        rows = full_rows;
        columns = full_columns;
        quarter.resize(static_cast<std::size_t>(levels));
        for (auto& q : quarter)
            q.assign(static_cast<std::size_t>(quarter_rows()) * quarter_columns(), 0.0f);
    }
    void clear()
    {
        std::vector<std::vector<float>>().swap(quarter);
        vector3D().swap(im);
        rows = columns = 0;
        key = EffectsKey();
    }
};

// The one tolerance of every check of operators and slab effects read from
// files (project sidecars, imported effects files): how far a value may lie
// from the one this program computes for the model, relative to the largest
// value of its level (or layer, or sum of levels), and how uneven a folded
// level may be.
//
// Why 1e-3: builders of the documented method place the nodes and the unit
// cell at padded coordinates held in float, which moves them by up to half a
// float step of the coordinate. Against this program's lattice that gives
// relative differences of 2.6e-7 (origin 0, 100 m cells), 2.1e-6
// (1234.5 / 2345.6, 99.9 m) and 2.75e-4 (500000.37 / 7650000.37, 250.1 m);
// this program's own builds agree to float rounding (1e-6) at any thread
// count, and so do earlier versions'. A model of another kind moves values
// by far more: a level thickness, a spacing or a level scaled by 1 %
// differs by about 1e-2, a calculation height 1 m off by more, one value
// times 1000 by orders. 1e-3 lies between, with a factor of about 4 to the
// float-node builders and of 10 to a 1 % change. (Float nodes at projected
// coordinates with steps of a few metres move by a tenth of a step, 1e-2:
// such operators are another lattice, and refused.)
constexpr double effects_check_tolerance = 1e-3;

// Relative unevenness a folded level may have: the largest difference of a
// value from the mean of its mirrors, against the level's largest value.
constexpr double effects_fold_tolerance = effects_check_tolerance;

// How far values held (read from a file) lie from the ones built again:
// rows are added in turn, and they agree when all are finite and the
// largest difference is within `tolerance` of the largest value built.
struct EffectsAgreement
{
    double worst = 0, largest = 0;
    bool finite = true;

    template <typename Held, typename Built>
    void add(const Held* held, const Built* built, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            const double d = std::fabs(double(held[i]) - double(built[i]));
            finite = finite && std::isfinite(d);
            worst = std::max(worst, d);
            largest = std::max(largest, std::fabs(double(built[i])));
        }
    }
    bool within(double tolerance) const { return finite && worst <= tolerance * largest; }
};

// How far a level folded row by row lies from even.
struct EffectsFoldStats
{
    double worst = 0, largest = 0;  // largest departure from a mean, largest mean
    bool finite = true;
    bool within(double tolerance) const { return finite && worst <= tolerance * largest; }
};

// Folds row r of a full level into row r of its quarter: `a` is the row,
// `b` its mirror row (row effects_mirror(r, rows)), each of `columns`
// values; `out` takes columns/2 + 1 values, each the mean of the value and
// its three mirrors, in double, rounded to float, so an expanded level folds
// back to itself bit for bit. The departures and means go into `stats`.
template <typename A, typename B>
void effects_fold_row(const A* a, const B* b, int columns, float* out, EffectsFoldStats& stats)
{
    const int qc = columns / 2 + 1;
    double worst = stats.worst, largest = stats.largest;
    bool finite = stats.finite;
    for (int c = 0; c < qc && c < columns; ++c) {
        const int cc = effects_mirror(c, columns);
        const double v0 = double(a[c]), v1 = double(a[cc]), v2 = double(b[c]), v3 = double(b[cc]);
        const double mean = ((v0 + v1) + (v2 + v3)) * 0.25;
        finite = finite && std::isfinite(mean);
        worst = std::max({worst, std::fabs(v0 - mean), std::fabs(v1 - mean), std::fabs(v2 - mean),
                          std::fabs(v3 - mean)});
        largest = std::max(largest, std::fabs(mean));
        out[c] = static_cast<float>(mean);
    }
    stats.worst = worst;
    stats.largest = largest;
    stats.finite = finite;
}

// Folds one full level (rows x columns values, row r at full[r]) into its
// quarter (quarter_rows x quarter_columns, resized) with effects_fold_row.
// Returns false, with `quarter` unspecified, when the level is not even
// within `tolerance` (relative, see effects_fold_tolerance) or holds values
// that are not finite.
template <typename Row>
bool effects_fold_level(const Row* full, int rows, int columns, std::vector<float>& quarter,
                        double tolerance = effects_fold_tolerance)
{
    if (rows <= 0 || columns <= 0)
        return false;
    const int qr = rows / 2 + 1, qc = columns / 2 + 1;
    quarter.assign(static_cast<std::size_t>(qr) * qc, 0.0f);
    EffectsFoldStats stats;
    for (int r = 0; r < qr && r < rows && stats.finite; ++r)
        effects_fold_row(full[r].data(), full[effects_mirror(r, rows)].data(), columns,
                         quarter.data() + static_cast<std::size_t>(r) * qc, stats);
    return stats.within(tolerance);
}
