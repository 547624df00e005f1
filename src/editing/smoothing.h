#pragma once
// Moving-average smoothing of the density grid [level][row][column] over a
// box of cells, for the whole model, for the cells of one layer, or for a
// band of levels along the top of one layer.
//
// The box around cell (i, j, k) spans levels i - hz .. i + hz, rows
// j - hy .. j + hy and columns k - hx .. k + hx, cut at the edges of the
// grid; every cell inside counts, whatever its layer. The new value is the
// float of (sum of the box's cells in double) / (their number). All boxes
// read the values before the command. A negative half-width gives empty
// boxes, which leave the cells unchanged.
//
// The box sums are separable: sums over x along each row, over y down the
// rows of each level and over z across the levels. On every axis the
// windows are put together from running sums inside blocks as long as a
// window, never by subtracting one running sum from another, so the cost
// per cell does not grow with the box, and a NaN, an infinity or a huge
// value changes only the cells whose boxes hold it. Levels are read one
// after the other and written as soon as no later box needs their old
// values, so the grid is smoothed in place without a copy; the working
// memory is the planes of doubles that smoothing_store_planes counts (about
// two thirds of the levels at most), two more planes at most and a few rows.
#include "common/types.h"

#include <functional>
#include <vector>

namespace gridops {

// smooth_params record: {filter type, dx, dy, dz (box sizes in metres),
// area type, layer index}.
constexpr std::size_t kSmoothRecordSize = 6;

enum class SmoothArea { Whole = 0, Layer = 1, AlongTop = 2 };

struct SmoothHalfWidths {
    int hx = 0, hy = 0, hz = 0;
};

// trunc(width / spacing * 0.5), the spacing being the distance of the first
// two nodes. An axis of fewer than two nodes, a zero spacing or a width that
// is not a number gives 0; the result is kept within +-2^30.
int smooth_half_width(double width, const std::vector<double>& nodes);

// The three half-widths of a record (widths at indexes 1, 2, 3).
SmoothHalfWidths smooth_half_widths(const std::vector<double>& record, const std::vector<double>& x,
                                    const std::vector<double>& y, const std::vector<double>& z);

enum class SmoothStatus {
    Ok,
    NotRegular,        // no cells, levels or rows of unequal sizes, or z without one depth per level
    NoHorizons,        // a layer area without horizons
    HorizonsMismatch,  // horizons that do not have the grid's rows and columns
    BadLayer           // a layer index that is not a layer of the horizons
};

// Called before each level that is written, with the share done (0 to 100).
using SmoothProgress = std::function<void(int percent)>;

// The level planes of doubles the z sums keep for nz levels and a
// half-width hz: one for each level a box's tail starts at among the 2 hz
// after a block's first, and one for the sum of the levels after those in
// their block; at most min(2 hz, nz - 1 - hz) + 1, none when no box starts
// below the first level (hz of 0, or of nz - 1 and more). Besides them the
// smoothing holds the running sum across the levels (one plane), the rows
// the sums down the rows keep (smoothing_store_planes(ny, hy) rows, two
// thirds of a plane at most) and a few rows.
int smoothing_store_planes(int nz, int hz);

// Every cell becomes its box mean.
SmoothStatus smooth_whole(vector3D& grid, SmoothHalfWidths h, const SmoothProgress& progress = {});

// Only the cells of layer n (horizon n <= z < horizon n + 1 at the node,
// and z >= horizon n for the last layer, z being the level's depth) become
// their box mean; the boxes take every cell around them.
SmoothStatus smooth_in_layer(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                             int n, SmoothHalfWidths h, const SmoothProgress& progress = {});

// At every node, with H = trunc((depth of horizon n - z[0]) / (z[1] - z[0])),
// the levels l from H - hz to H + hz with 0 < l < level count become their
// box mean. Level 0 never changes. A grid of one level does not change.
SmoothStatus smooth_along_top(vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                              int n, SmoothHalfWidths h, const SmoothProgress& progress = {});

// The checks the two layer areas make before they change anything.
SmoothStatus layer_area_ready(const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons, int n);

}  // namespace gridops
