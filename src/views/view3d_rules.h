#pragma once
// The pure rules behind the 3D view and its colour scales: the view bounds and
// the axis ranges made from them, texture sizes, the meshes of the cube faces,
// horizons and faults, the crop indexes and the face grids cut at them, the
// colour ranges, and the colour stops of the program's own gradients.
//
// Nothing here touches a graph or a widget: Surf and the main window build
// their series and colour maps from what these functions return, and the
// tests check them without a display.
//
// Graph positions: every item of the 3D graph sits at (X, Y, Z) =
// (x, depth, y); the vertical axis carries depth.

#include "common/types.h"
#include "views/crop_rules.h"

#include <QColor>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QVector3D>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace view3d {

// ---------------------------------------------------------------------------
// Bounds and axis ranges

// Extent of what the view shows along the model's x, y and depth.
struct ViewBounds
{
    double min_x = 1e10, max_x = -1e10;
    double min_y = 1e10, max_y = -1e10;
    double min_z = 1e10, max_z = -1e10;
};

// Widens [lo, hi] to take in v. Unset bounds (lo > hi) become [v, v] after the
// first value.
inline void extend_bound(double v, double& lo, double& hi)
{
    if (v < lo)
        lo = v;
    if (v > hi)
        hi = v;
}
void extend_bounds(const std::vector<double>& values, double& lo, double& hi);

// An axis range made from a pair of bounds: [lo - 2.5 % span, hi + 2.5 % span].
// `valid` is false when the bounds are unset (lo > hi) or not finite: the axis
// should then keep the range it has. Equal bounds give a small range around
// the value instead of an empty one.
struct AxisRange
{
    bool valid = false;
    double lower = 0;
    double upper = 0;
};
AxisRange axis_range(double lo, double hi);

// Extent {x min, x max, y min, y max, depth min, depth max} of all points of
// all sticks of all faults; `ok` false (and the extent unset) when there is
// no point at all.
struct Extent
{
    bool ok = false;
    std::array<double, 6> e{{0, 0, 0, 0, 0, 0}};
};
Extent sticks_extent(const std::vector<std::vector<std::vector<QVector3D>>>& sticks);

// The bounds widened to take in an extent (of the faults); unchanged when
// the extent is not set.
ViewBounds widened(ViewBounds b, const Extent& e);

// What the view bounds are made of, in order of precedence.
struct SurfaceSizeInput
{
    std::vector<double> window_limits;      // {xmin, xmax, ymin, ymax, zmin, zmax}; fewer than six = automatic
    const std::vector<double>* x = nullptr;  // the density grid's view nodes, when a density grid exists
    const std::vector<double>* y = nullptr;
    const std::vector<double>* z = nullptr;
    std::vector<double> horizons_params;     // {nx, ny, x first, x last, y first, y last, ...}, when horizons exist
    double horizons_deepest = 0;             // deepest horizon point
    Extent faults;                           // extent of the faults, when there are any
};
// Window limits when set (faults ignored); else the density grid's nodes; else
// the horizons (depth 0 .. deepest); else `current`. Faults then widen the
// result. Missing or empty node vectors leave their axis as in `current`.
ViewBounds surface_bounds(const ViewBounds& current, const SurfaceSizeInput& in);

// ---------------------------------------------------------------------------
// Textures

// Pixel size of a texture of a grid with `columns` x `rows` cells: 5 pixels
// per cell, the longer side brought down to 512 with the ratio of the sides
// kept.
QSize texture_size(int columns, int rows);

// ---------------------------------------------------------------------------
// Meshes: rows of graph positions

using MeshRows = std::vector<std::vector<QVector3D>>;

// Horizontal face at depth z0: one row per y node, one item per x node.
MeshRows z_face_mesh(const std::vector<double>& x, const std::vector<double>& y, double z0);
// Face at x = x0: one row per y node, one item per depth node. Column j is
// moved by j * span_x / 1000 / nz along x and row i by i * span_y / 1000 / ny
// along y, so that the graph sees increasing x along each row.
MeshRows x_face_mesh(double x0, const std::vector<double>& y, const std::vector<double>& z, double span_x,
                     double span_y);
// Face at y = y0: one row per depth node, one item per x node; column j moved
// by j * span_x / 1000 / nx along x, row i by i * span_y / 1000 / nz along y.
MeshRows y_face_mesh(const std::vector<double>& x, double y0, const std::vector<double>& z, double span_x,
                     double span_y);
// A horizon: row k, item l at (x[l], depth[k][l], y[k]); the row count and
// the row length are those of the depth grid, cut to the node vectors.
MeshRows horizon_mesh(const std::vector<double>& x, const std::vector<double>& y, const field2D& depths);
// One fault: one row per stick (sticks without points skipped), the points of
// each sorted by depth, shorter rows padded to the longest with their deepest
// point.
MeshRows fault_rows(std::vector<std::vector<QVector3D>> sticks);

// The part of a mesh that the graph is given under its axis ranges. The
// graph takes from each series the block of rows and columns whose points lie
// inside the X and Z ranges, and keeps a block of one row or column (or none)
// in a state from which a later refresh of the series reads past its data;
// and it draws a point outside the Y (depth) range on the edge of that range.
// So every series is cut to its drawable block here, and a series without
// one is taken off the graph. The block lies within the longest run of
// columns whose every point has its X inside [x_lo, x_hi] and the longest run
// of rows whose every point has its Z inside [z_lo, z_hi]; there, it is the
// largest block of at least 2 x 2 points whose every depth lies inside
// [y_lo, y_hi] (the whole plan block when every depth does). A depth that is
// not a number counts as inside: the graph has no range to put it on.
struct MeshBlock
{
    int row = 0, rows = 0;
    int column = 0, columns = 0;
    bool drawable() const { return rows >= 2 && columns >= 2; }
    bool operator==(const MeshBlock& o) const
    {
        return row == o.row && rows == o.rows && column == o.column && columns == o.columns;
    }
    bool operator!=(const MeshBlock& o) const { return !(*this == o); }
};
struct AxisRanges
{
    float x_lo = 0, x_hi = 0;  // graph X (model x)
    float z_lo = 0, z_hi = 0;  // graph Z (model y)
    float y_lo = -std::numeric_limits<float>::infinity();  // graph Y (depth): open unless set
    float y_hi = std::numeric_limits<float>::infinity();
};
MeshBlock drawable_block(const MeshRows& mesh, const AxisRanges& r);
// The rows and columns of the block (the mesh itself for the whole of it).
MeshRows block_rows(const MeshRows& mesh, const MeshBlock& b);
// The pixels of a texture laid over the whole mesh (row 0 at the bottom of
// the image, the first and last pixels on the first and last nodes) that lie
// over the block; the whole image for the whole mesh.
QRect texture_block(const QSize& image, int mesh_rows, int mesh_columns, const MeshBlock& b);

// ---------------------------------------------------------------------------
// Window limits: what the view draws of its data

// How far beyond a limit (or a bound) a value may lie and still count as
// inside it: half a unit in the sixth significant digit of the limit, the
// precision in which the limits dialog offers the view's bounds (so that OK
// on the offered bounds keeps every node), which also covers the rounding of
// graph positions to float. 0 for a limit of 0 or one that is not finite.
double limit_tolerance(double limit);
// v inside [lo, hi], each end widened by its tolerance.
bool within_limits(double v, double lo, double hi);

// The ranges that the series of the view are cut to (drawable_block): the
// view's bounds, each end widened by its tolerance and the plan ends also by
// a thousandth of their span (the shift of the vertical faces, x_face_mesh
// and y_face_mesh), kept inside the graph's axis ranges (`axes`, whose depth
// range is graph Y). An axis whose bounds are unset or reversed (lo > hi) is
// cut to its axis range alone.
AxisRanges cut_ranges(const ViewBounds& bounds, const AxisRanges& axes);

// A fault's rows (sticks sorted by depth, as fault_rows makes them) cut to
// the depths [lo, hi]: each stick keeps its points inside and ends exactly on
// a limit where it crosses one (its point there interpolated along the
// stick); sticks with nothing inside are dropped, and the rows are padded to
// the longest again with their deepest point.
MeshRows sticks_within_depth(const MeshRows& rows, float lo, float hi);

// Relief shading of the surfaces that are drawn without the graph's own light
// (the graph lights everything evenly so that the cube faces keep the colour
// bar's colours): the share of its colour that each node of a mesh shows
// under a fixed light from above the viewer's left, from kReliefShadow on a
// slope turned away from the light (or a wall edge-on to it) up to 1 on a
// level surface and on slopes facing the light. A surface is lit on the side
// that faces up; a vertical wall (a fault) on either side.
//
// Mesh positions are graph positions (x, depth, y). The slopes are taken as
// the view shows them: x and y divided by `horizontal_span` (the longer
// horizontal side of the view), depth by `aspect_ratio * depth_span` (the
// graph draws its height as the horizontal side over the aspect ratio).
// Spans or a ratio that are not positive and finite count as 1. A node
// where the mesh has no surface (repeated points) shows its full colour.
constexpr double kReliefShadow = 0.45;
field2D relief_light(const MeshRows& mesh, double horizontal_span, double depth_span, double aspect_ratio);
// The light of a mesh by depth, for a surface that can carry colour along
// depth only (a fault: the graph lays textures by plan position, which a
// vertical surface does not have): `bins` values from its shallowest to its
// deepest point, each the mean light of the nodes in that slice of depth (a
// slice without a node takes the value of the nearest one that has nodes).
// All 1 when the mesh has no depth extent or no node.
std::vector<double> light_by_depth(const MeshRows& mesh, const field2D& light, int bins);

// ---------------------------------------------------------------------------
// Crop indexes and face grids

// crop borders: left, right (columns), front, back (rows), top, bottom (levels).
using CropBorders = std::array<int, 6>;

// Negative borders become the outer faces (left, front, top 0; right nx - 1,
// back ny - 1, bottom nz - 1) and are written back. Returns the indexes to
// draw: each one at or beyond its node count is used as the last node,
// without changing `borders`.
CropBorders fix_crop_borders(CropBorders& borders, int nx, int ny, int nz);

// The six face grids of a cube cut at the given (valid) indexes.
struct CubeFaces
{
    vector2D bottom, top;  // [row][column]
    vector2D left, right;  // [row][level]
    vector2D back, front;  // [level][column]
};
// With `absolute` every value becomes its magnitude. The cube is read with the
// rows of its first level and the columns of that level's first row.
CubeFaces cut_faces(const vector3D& cube, const CropBorders& at, bool absolute);

// A run of nodes of an axis: indexes first .. first + count - 1.
struct NodeRun
{
    int first = 0, count = 0;
    bool operator==(const NodeRun& o) const { return first == o.first && count == o.count; }
};
// The longest run of nodes inside [lo, hi] (within_limits; the first of
// equals); none when no node is.
NodeRun nodes_within(const std::vector<double>& nodes, double lo, double hi);
// The nodes of a run.
std::vector<double> run_nodes(const std::vector<double>& nodes, const NodeRun& run);

// The shown cube cut by the window limits as the crop sliders cut it: per
// axis the run of nodes inside the limits (every node without limits), and
// each face's index (as fix_crop_borders gives it) moved into its axis' run,
// so that a face the limits pass by is drawn at the last node inside them
// and shows the cells there. The faces are cut to the runs of their two other
// axes. Nothing is drawn when an axis has no node inside.
struct CubeCut
{
    std::array<NodeRun, 3> runs;  // x (columns), y (rows), depth (levels)
    CropBorders at{{0, 0, 0, 0, 0, 0}};
    bool empty() const { return runs[0].count == 0 || runs[1].count == 0 || runs[2].count == 0; }
};
// `limits` {xmin, xmax, ymin, ymax, zmin, zmax}; fewer than six: no limits.
CubeCut cut_cube(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z,
                 const CropBorders& at, const std::vector<double>& limits);

// The six faces of a cut cube, each cut to the runs of its two free axes
// (all empty when the cut is empty).
CubeFaces cut_cube_faces(const vector3D& cube, const CubeCut& cut, bool absolute);
// One of them (a crop slider's face).
vector2D cut_face(const vector3D& cube, crop::Face face, const CubeCut& cut, bool absolute);
// The rows and columns of a grid in two runs (rows, columns).
vector2D run_grid(const vector2D& grid, const NodeRun& rows, const NodeRun& columns);

// ---------------------------------------------------------------------------
// Colour ranges

// Smallest and largest of the values taken in, NaNs skipped; `any` is false
// (and both ends 0) while no value was taken.
struct ValueRange
{
    bool any = false;
    double lo = 0, hi = 0;
    void take(double v)
    {
        if (std::isnan(v))
            return;
        if (!any) {
            lo = hi = v;
            any = true;
        } else {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
};

// A colour range that a colour map accepts: equal ends (a constant grid) are
// moved apart by 1 % of the value (by 1 around 0); non-finite ends give [0, 1].
std::pair<double, double> usable_range(double lo, double hi);

// Range of the cube-face textures: [-1, 1] for the signed regularizer, [0, 1]
// for its magnitude; else the manual range when it holds two values; else the
// smallest and largest cell of the cube. Always usable (see usable_range).
std::pair<double, double> cube_texture_range(bool regularizer, bool absolute_regularizer,
                                             const std::vector<double>& manual, const vector3D& cube);

// ---------------------------------------------------------------------------
// Gradients

// Colour stops of the program's own colour scales: type 4 (dark blue, blue,
// white, red, dark red) and type 5 (dark red, a light band about the middle,
// black). Empty for any other type.
QMap<double, QColor> own_gradient_stops(int type);

}  // namespace view3d
