#include "editing/cube_arithmetic.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <algorithm>

namespace gridops {

namespace {

bool level_has_cells(const vector2D& level)
{
    return !level.empty() && !level.front().empty();
}

template <typename Op>
void combine(vector3D& grid, const vector3D& operand, Op op)
{
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    for (std::size_t i = 0; i < grid.size(); ++i)
        for (std::size_t j = 0; j < ny; ++j) {
            data_type* cell = grid[i][j].data();
            const data_type* other = operand[i][j].data();
            for (std::size_t k = 0; k < nx; ++k)
                cell[k] = op(cell[k], other[k]);
        }
}

}  // namespace

bool same_counts(const vector3D& a, const vector3D& b)
{
    if (!cube_is_regular(a) || !cube_is_regular(b))
        return false;
    return a.size() == b.size() && a.front().size() == b.front().size() &&
           a.front().front().size() == b.front().front().size();
}

std::size_t zero_cells(const vector3D& operand)
{
    std::size_t count = 0;
    for (const auto& level : operand)
        for (const auto& row : level)
            for (data_type v : row)
                if (v == 0)
                    ++count;
    return count;
}

CubeOpStatus apply_cube_op(vector3D& grid, const vector3D& operand, CubeOp op)
{
    if (!same_counts(grid, operand))
        return CubeOpStatus::Mismatch;
    switch (op) {
    case CubeOp::Add:
        combine(grid, operand, [](data_type c, data_type o) { return o + c; });
        break;
    case CubeOp::Subtract:
        combine(grid, operand, [](data_type c, data_type o) { return c - o; });
        break;
    case CubeOp::Multiply:
        combine(grid, operand, [](data_type c, data_type o) { return o * c; });
        break;
    case CubeOp::Divide:
        if (zero_cells(operand) > 0)
            return CubeOpStatus::DivisionByZero;
        combine(grid, operand, [](data_type c, data_type o) { return c / o; });
        break;
    }
    return CubeOpStatus::Ok;
}

LevelStatus add_level_means(vector3D& grid, const vector3D& operand)
{
    if (grid.size() != operand.size())
        return LevelStatus::LevelMismatch;
    std::vector<double> means(operand.size(), 0.0);
    for (std::size_t k = 0; k < operand.size(); ++k) {
        if (!level_has_cells(operand[k]) || !grid_has_shape(operand[k], operand[k].size(), operand[k].front().size()))
            return LevelStatus::EmptyLevel;
        means[k] = grid_mean(operand[k]);
    }
    for (std::size_t k = 0; k < grid.size(); ++k)
        if (level_has_cells(grid[k]))
            grid_add_scalar(grid[k], means[k]);
    return LevelStatus::Ok;
}

void replace_by_level_means(vector3D& grid)
{
    for (auto& level : grid) {
        if (!level_has_cells(level))
            continue;
        const auto mean = static_cast<data_type>(grid_mean(level));
        const std::size_t nx = level.front().size();
        for (auto& row : level)
            for (std::size_t k = 0; k < nx && k < row.size(); ++k)
                row[k] = mean;
    }
}

void remove_level_means(vector3D& grid)
{
    for (auto& level : grid)
        if (level_has_cells(level))
            grid_add_scalar(level, -grid_mean(level));
}

float level_min(const vector2D& level)
{
    const std::size_t nx = level.front().size();
    float m = level.front().front();
    for (const auto& row : level)
        for (std::size_t k = 0; k < nx && k < row.size(); ++k)
            if (row[k] < m)
                m = row[k];
    return m;
}

void remove_level_minima(vector3D& grid)
{
    for (auto& level : grid)
        if (level_has_cells(level))
            grid_add_scalar(level, -double(level_min(level)));
}

void fill_zeros(vector3D& grid)
{
    for (auto& level : grid)
        for (auto& row : level)
            std::fill(row.begin(), row.end(), data_type(0));
}

void shift_nodes_to_zero(std::vector<double>& nodes)
{
    if (nodes.empty())
        return;
    const double first = nodes.front();
    for (double& v : nodes)
        v -= first;
}

void shift_geometry_to_zero(std::vector<double>& params)
{
    if (params.size() < 6)
        return;
    params[3] -= params[2];
    params[2] = 0;
    params[5] -= params[4];
    params[4] = 0;
}

}  // namespace gridops
