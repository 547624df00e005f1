#pragma once
// Small geometry checks shared by every part of the program: the spacing of
// a node vector, evenly spread nodes and whether the horizons sit on the
// density grid's nodes.
// Use these instead of repeating the tests inline.
#include <cmath>
#include <cstddef>
#include <vector>

#include "common/types.h"

// Spacing of a regular node vector: the difference of its first two nodes,
// 0 when it has fewer than two nodes.
inline double node_step(const std::vector<double>& nodes)
{
    return nodes.size() < 2 ? 0.0 : nodes[1] - nodes[0];
}

// The n nodes of an axis spread evenly from `first` to `last`: node i at
// first + i * (last - first) / (n - 1), and the last node `last` itself, not
// a rounding error beside it. Files hold an axis as its first node, last node
// and count, so the nodes rebuilt at every open end where the file says and a
// save after an open writes the same numbers again. One node sits at
// `first`; a count below one gives none.
inline std::vector<double> even_nodes(double first, double last, int n)
{
    std::vector<double> nodes(n > 0 ? static_cast<std::size_t>(n) : 0u);
    if (n == 1) {
        nodes[0] = first;
    } else if (n > 1) {
        const double step = (last - first) / (n - 1);
        for (int i = 0; i + 1 < n; ++i)
            nodes[static_cast<std::size_t>(i)] = first + i * step;
        nodes.back() = last;
    }
    return nodes;
}

// A position on a regular axis lies on a node when it is within this
// fraction of a step of it. Node depths and coordinates are computed (first
// + i * step) and steps typed in decimal are rarely exact in binary, so a
// node can come out a rounding error short of where it belongs; no one
// places a node a millionth of a step away from another on purpose.
constexpr double kNodeTolerance = 1e-6;

// Whole steps in a position measured in steps from the first node:
// truncated toward zero, except that a position within kNodeTolerance of a
// whole number is that number. So a level whose depth is a rounding error
// short of a node is that node, not the one above it, and an axis whose
// last node is a rounding error short of the maximum keeps its count.
inline double whole_steps(double steps)
{
    const double nearest = std::round(steps);
    if (std::fabs(steps - nearest) <= kNodeTolerance)
        return nearest;
    return std::trunc(steps);
}

// Row count of a [row][column] grid and cell count of its first row.
template <typename Cell>
inline std::size_t grid_rows(const std::vector<std::vector<Cell>>& g) { return g.size(); }
template <typename Cell>
inline std::size_t grid_columns(const std::vector<std::vector<Cell>>& g)
{
    return g.empty() ? 0 : g.front().size();
}

// True when every row of the grid holds exactly `columns` cells and there
// are exactly `rows` rows.
template <typename Cell>
inline bool grid_has_shape(const std::vector<std::vector<Cell>>& g, std::size_t rows, std::size_t columns)
{
    if (g.size() != rows)
        return false;
    for (const auto& row : g)
        if (row.size() != columns)
            return false;
    return true;
}

// True when the cube is not empty and every level has the rows and columns
// of its first level.
inline bool cube_is_regular(const vector3D& cube)
{
    if (cube.empty() || cube.front().empty() || cube.front().front().empty())
        return false;
    const std::size_t ny = cube.front().size();
    const std::size_t nx = cube.front().front().size();
    for (const auto& level : cube)
        if (!grid_has_shape(level, ny, nx))
            return false;
    return true;
}

// True when the horizons and the density grid both exist and every horizon
// has exactly the rows and columns of the grid's levels, so that a horizon
// node (row, column) can be read for every grid cell and the other way round.
inline bool horizons_match_grid(const std::vector<field2D>& horizons, const vector3D& grid)
{
    if (horizons.empty() || !cube_is_regular(grid))
        return false;
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    for (const auto& h : horizons)
        if (!grid_has_shape(h, ny, nx))
            return false;
    return true;
}

// True when every horizon has the rows and columns of the first one and
// the first one has at least one node.
inline bool horizons_are_regular(const std::vector<field2D>& horizons)
{
    if (horizons.empty() || horizons.front().empty() || horizons.front().front().empty())
        return false;
    const std::size_t ny = horizons.front().size();
    const std::size_t nx = horizons.front().front().size();
    for (const auto& h : horizons)
        if (!grid_has_shape(h, ny, nx))
            return false;
    return true;
}
