#include "common/grid_helpers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>

namespace {

// Extrema of one 2D grid, rows in order and columns in order, seeded with the
// first cell; only a strictly better value replaces the running one.
template <typename T, typename Better>
T extremum2d(const std::vector<std::vector<T>>& g, Better better)
{
    T v = g[0][0];
    const size_t rows = g.size();
    const size_t cols = g[0].size();
    for (size_t i = 0; i < rows; ++i) {
        const T* row = g[i].data();
        for (size_t j = 0; j < cols; ++j)
            if (better(row[j], v))
                v = row[j];
    }
    return v;
}

// Same over a cube: every level with the row count of level 0 and the column
// count of its own first row.
template <typename T, typename Better>
T extremum3d(const std::vector<std::vector<std::vector<T>>>& g, Better better)
{
    T v = g[0][0][0];
    const size_t rows = g[0].size();
    for (const auto& level : g) {
        const size_t cols = level[0].size();
        for (size_t i = 0; i < rows; ++i) {
            const T* row = level[i].data();
            for (size_t j = 0; j < cols; ++j)
                if (better(row[j], v))
                    v = row[j];
        }
    }
    return v;
}

struct Greater {
    template <typename T> bool operator()(T a, T b) const { return a > b; }
};
struct Less {
    template <typename T> bool operator()(T a, T b) const { return a < b; }
};

template <typename T>
double mean2d(const std::vector<std::vector<T>>& g)
{
    const size_t rows = g.size();
    const size_t cols = g[0].size();
    double sum = 0.0;
    for (size_t i = 0; i < rows; ++i) {
        const T* row = g[i].data();
        for (size_t j = 0; j < cols; ++j)
            sum += static_cast<double>(row[j]);
    }
    return sum / (static_cast<double>(rows) * static_cast<double>(cols));
}

// True when a and b can be combined cell by cell.
bool same_shape(const field2D& a, const field2D& b)
{
    return !a.empty() && a.size() == b.size() && a[0].size() == b[0].size();
}

} // namespace

float grid_max(const vector2D& grid) { return extremum2d(grid, Greater()); }
float grid_max(const vector3D& grid) { return extremum3d(grid, Greater()); }
double grid_max(const field2D& grid) { return extremum2d(grid, Greater()); }
double grid_max(const field3D& grid) { return extremum3d(grid, Greater()); }

float grid_min(const vector2D& grid) { return extremum2d(grid, Less()); }
float grid_min(const vector3D& grid) { return extremum3d(grid, Less()); }
double grid_min(const field2D& grid) { return extremum2d(grid, Less()); }
double grid_min(const field3D& grid) { return extremum3d(grid, Less()); }

double vector_max(const std::vector<double>& v)
{
    double m = v[0];
    for (double x : v)
        if (x > m)
            m = x;
    return m;
}

double vector_min(const std::vector<double>& v)
{
    double m = v[0];
    for (double x : v)
        if (x < m)
            m = x;
    return m;
}

float grid_abs_max(const vector3D& grid)
{
    const float mx = grid_max(grid);
    const float mn = grid_min(grid);
    return std::fabs(mn) > mx ? std::fabs(mn) : mx;
}

double grid_mean(const vector2D& grid) { return mean2d(grid); }
double grid_mean(const field2D& grid) { return mean2d(grid); }

double grid_max_deviation(const vector3D& grid)
{
    double v = static_cast<double>(grid_max(grid[0])) - grid_mean(grid[0]);
    for (const vector2D& level : grid) {
        const double mean = grid_mean(level);
        const double d1 = static_cast<double>(grid_max(level)) - mean;
        const double d2 = mean - static_cast<double>(grid_min(level));
        if (d1 > v)
            v = d1;
        else if (d2 > v)
            v = d2;
    }
    return v;
}

double grid_max_layer_range(const vector3D& grid)
{
    double v = static_cast<double>(grid_max(grid[0])) - static_cast<double>(grid_min(grid[0]));
    for (const vector2D& level : grid) {
        const double r = static_cast<double>(grid_max(level)) - static_cast<double>(grid_min(level));
        if (r > v)
            v = r;
    }
    return v;
}

void grid_scale(vector3D& grid, double factor)
{
    if (grid.empty())
        return;
    const size_t rows = grid[0].size();
    for (vector2D& level : grid) {
        if (level.empty())
            continue;
        const size_t cols = level[0].size();
        for (size_t i = 0; i < rows && i < level.size(); ++i) {
            auto& row = level[i];
            const size_t n = std::min(cols, row.size());
            for (size_t j = 0; j < n; ++j)
                row[j] = static_cast<float>(static_cast<double>(row[j]) * factor);
        }
    }
}

void grid_add_scalar(vector2D& grid, double value)
{
    if (grid.empty())
        return;
    const size_t cols = grid[0].size();
    for (auto& row : grid) {
        const size_t n = std::min(cols, row.size());
        for (size_t j = 0; j < n; ++j)
            row[j] = static_cast<float>(static_cast<double>(row[j]) + value);
    }
}

void grid_add_scalar(field2D& grid, double value)
{
    if (grid.empty())
        return;
    const size_t cols = grid[0].size();
    for (auto& row : grid) {
        const size_t n = std::min(cols, row.size());
        for (size_t j = 0; j < n; ++j)
            row[j] += value;
    }
}

namespace {

template <typename Row>
void count_non_finite(const std::vector<Row>& rows, int level, NonFiniteCells& out)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j)
            if (!std::isfinite(rows[i][j]) && out.count++ == 0) {
                out.level = level;
                out.row = static_cast<int>(i);
                out.column = static_cast<int>(j);
            }
}

}  // namespace

bool fits_cell(double value)
{
    return std::isfinite(value) && std::isfinite(static_cast<data_type>(value));
}

NonFiniteCells non_finite_cells(const vector3D& grid)
{
    NonFiniteCells out;
    for (std::size_t k = 0; k < grid.size(); ++k)
        count_non_finite(grid[k], static_cast<int>(k), out);
    return out;
}

NonFiniteCells non_finite_cells(const field2D& grid)
{
    NonFiniteCells out;
    count_non_finite(grid, -1, out);
    return out;
}

void grid_subtract(field2D& a, const field2D& b)
{
    if (!same_shape(a, b))
        return;
    const size_t cols = a[0].size();
    for (size_t i = 0; i < a.size(); ++i) {
        const size_t n = std::min({cols, a[i].size(), b[i].size()});
        for (size_t j = 0; j < n; ++j)
            a[i][j] -= b[i][j];
    }
}

void grid_add(field2D& a, const field2D& b)
{
    if (!same_shape(a, b))
        return;
    const size_t cols = a[0].size();
    for (size_t i = 0; i < a.size(); ++i) {
        const size_t n = std::min({cols, a[i].size(), b[i].size()});
        for (size_t j = 0; j < n; ++j)
            a[i][j] += b[i][j];
    }
}

long long elapsed_clock_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void print_elapsed_ms(long long start_ns)
{
    std::cerr << (elapsed_clock_ns() - start_ns) / 1000000 << " ms" << std::endl;
}
