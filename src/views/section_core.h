#pragma once
// The arithmetic of the vertical section: sample points along a line (or a
// broken line) at a fixed step, the four-node inverse-distance sampling of
// cubes, horizons and fields at those points, the grids and records the
// section exports write, and the crossings of the fault sticks with the
// section's vertical plane. No widgets here.

#include "common/types.h"

#include <QVector3D>

#include <cstddef>
#include <vector>

namespace section {

// ---------------------------------------------------------------------------
// Sample points

// Sample points along a line: x, y and the distance of each from the start.
struct Nodes
{
    std::vector<double> x, y, distance;
    std::size_t size() const { return distance.size(); }
};

// Limits that keep a section within memory: samples along the line, and
// samples times the largest level count of the cubes shown.
constexpr std::size_t max_samples = 1000000;
constexpr std::size_t max_cells = 20000000;

enum class LineCheck {
    Ok,
    NotFinite,  // a coordinate or the step is not a finite number
    Empty,      // the line has no length: nothing to sample, ignored
    BadStep,    // the step is not positive
    TooShort,   // no sample: the line is shorter than one step
    TooMany,    // more samples (or cells) than the limits above
};

// Length of the broken line through the vertices (xs[k], ys[k]).
double polyline_length(const std::vector<double>& xs, const std::vector<double>& ys);

// Checks a broken line (at least two vertices, as many y as x) sampled at
// `step` for sections of up to `levels` levels. `count` receives the sample
// count trunc(length / step) when the line is usable, 0 otherwise: a line
// from one to two steps long gives one sample.
LineCheck check_line(const std::vector<double>& xs, const std::vector<double>& ys, double step,
                     std::size_t levels, std::size_t* count = nullptr);

// Sample i (i = 0 .. trunc(length / step) - 1) lies at the distance i * step
// from the first vertex, measured along the broken line; the end of the line
// is never sampled. On a two-vertex line sample i is at
// (x1 + d ux, y1 + d uy) with the unit direction (ux, uy). A line that does
// not pass check_line gives no samples.
Nodes polyline_nodes(const std::vector<double>& xs, const std::vector<double>& ys, double step);
Nodes line_nodes(double x1, double y1, double x2, double y2, double step);

// ---------------------------------------------------------------------------
// Sampling

// A regular axis: first node, node step, node count. An axis of one node (or
// of a zero step) maps every point to node 0.
struct Axis
{
    double first = 0;
    double step = 0;
    int count = 0;
};

// From node coordinates (the step of the first two nodes), with at most
// `cells` nodes: a grid whose coordinates and cells disagree in count is read
// only where both exist.
Axis axis_from_nodes(const std::vector<double>& nodes, std::size_t cells);
// From a first and last node and a node count (the horizons' and the fields'
// geometry records), with at most `cells` nodes.
Axis axis_from_range(double first, double last, double count, std::size_t cells);

enum class Pick {
    Truncated,  // the node at or before the point and the next one
    Nearest,    // the node nearest the point and the next one
};

// The four nodes around a point and their weights
// 1 / sqrt(distance^2 + 1e-6). Indices are clamped to the grid, so a point
// outside it takes the border nodes' values.
struct Stencil
{
    int col[2] = {0, 0};
    int row[2] = {0, 0};
    double weight[4] = {0, 0, 0, 0};  // (c0,r0), (c1,r0), (c0,r1), (c1,r1)
    double weight_sum = 0;
};
Stencil stencil(const Axis& ax, const Axis& ay, double x, double y, Pick pick);

// Weighted value of a [row][column] grid at a stencil.
double weighted_value(const Stencil& s, const vector2D& grid);
double weighted_value(const Stencil& s, const field2D& grid);

// Geometry of a cube from its node coordinates and cell counts.
struct CubeGeometry
{
    Axis x, y;
    int levels = 0;
};
CubeGeometry cube_geometry(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                           const std::vector<double>& z);

// Section of a cube [level][sample], cells widened to double. Empty when the
// cube is not regular or its geometry has no nodes.
field2D sample_cube(const vector3D& cube, const CubeGeometry& g, const Nodes& nodes, Pick pick);

// Profile of a [row][column] grid along the nodes (truncated pick); empty
// when the grid is not regular.
std::vector<double> sample_grid(const field2D& grid, const Axis& ax, const Axis& ay, const Nodes& nodes);

// Geometry {nx, ny, x first, x last, y first, y last} of a [row][column] grid
// as axes; false when the record holds fewer than six values or the grid has
// no cells.
bool grid_axes(const field2D& grid, const std::vector<double>& geometry, Axis& ax, Axis& ay);

// Depths of horizons 1 .. count - 1 along the nodes, one row per horizon;
// horizon 0, the flat top, is not sampled. Empty without a usable geometry.
field2D sample_horizons(const std::vector<field2D>& horizons, const std::vector<double>& geometry,
                        const Nodes& nodes);

// ---------------------------------------------------------------------------
// Profiles, records and exports

// observed - calculated sample by sample; empty unless both have the same
// non-zero length.
std::vector<double> residual(const std::vector<double>& observed, const std::vector<double>& calculated);

// sqrt(sum r^2 / n); 0 for an empty profile.
double rms(const std::vector<double>& values);

// {sample count, level count, first distance, last distance, first level
// depth, last level depth}; empty when either vector is empty.
std::vector<double> slice_params(const std::vector<double>& distances, const std::vector<double>& depths);

// A section grid as it is written: rows are levels ordered so that y grows
// with the row, y being the depth (positive_depths) or the depth negated.
struct ExportGrid
{
    field2D grid;
    std::vector<double> params;  // {columns, rows, x first, x last, y first, y last}
};
ExportGrid export_grid(const field2D& section, const std::vector<double>& params, bool positive_depths);

// ---------------------------------------------------------------------------
// Faults

using Sticks = std::vector<std::vector<std::vector<QVector3D>>>;  // [fault][stick][point]

// Orders the points of every stick by depth (z), the shallowest first.
void sort_sticks_by_depth(Sticks& sticks);

// A point of a crossing: distance along the section from its start, depth.
struct CrossingPoint
{
    float distance = 0;
    float depth = 0;
};
using Crossing = std::vector<CrossingPoint>;

// True when the plan segments p1-p2 and a-b share a point (their ends
// included; collinear segments only when they overlap).
bool segments_cross(double x1, double y1, double x2, double y2, double xa, double ya, double xb, double yb);

// Crossings of the faults with the vertical plane over the section from
// (x1, y1) to (x2, y2). Every pair of consecutive sticks of a fault, both of
// at least two points, whose trace segment (between their shallowest points)
// crosses the section gives one polyline. Its point j pairs the j-th points
// of both sticks in depth order (the shorter stick repeats its deepest
// point): where the line through them meets the section's line, at the
// distance from the section's start (negative before it) and at the depth
// interpolated between them by plan distance. A pair whose line runs
// parallel to the section gives no point. The sticks must be sorted by depth.
std::vector<Crossing> fault_crossings(double x1, double y1, double x2, double y2, const Sticks& sticks);

}  // namespace section
