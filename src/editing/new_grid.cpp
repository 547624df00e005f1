#include "editing/new_grid.h"

#include "common/coordinate_limit.h"
#include "common/grid_helpers.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

namespace gridops {

double node_count_bound(double min, double max, double step)
{
    if (!std::isfinite(min) || !std::isfinite(max) || !std::isfinite(step) || !(step > 0))
        return -1;
    if (min > max)
        return 0;
    // The running sum may round a little short of min + n * step: one node of slack.
    return std::floor((max - min) / step) + 2;
}

std::vector<double> axis_nodes(double min, double max, double step)
{
    std::vector<double> nodes;
    const double bound = node_count_bound(min, max, step);
    if (bound <= 0)
        return nodes;
    nodes.reserve(static_cast<std::size_t>(bound));
    for (double v = min; v <= max;) {
        nodes.push_back(v);
        const double next = v + step;
        // A step lost in the rounding of a huge coordinate would never end the walk.
        if (!(next > v) || double(nodes.size()) >= bound)
            break;
        v = next;
    }
    return nodes;
}

double level_density(std::size_t t, std::size_t nz, double min_sigma, double max_sigma)
{
    if (nz < 2)
        return min_sigma;
    return double(t) * (max_sigma - min_sigma) / double(nz - 1) + min_sigma;
}

bool exceeds_cell_cap(double nx, double ny, double nz)
{
    return std::max(nx, 1.0) * std::max(ny, 1.0) * std::max(nz, 1.0) > kMaxNewGridCells;
}

NewGridStatus build_new_grid(const std::vector<double>& record, NewGrid& out, const NewGridConfirm& confirm,
                             double* far)
{
    if (record.size() < kNewGridRecordSize)
        return NewGridStatus::ShortRecord;
    for (std::size_t i = 0; i < kNewGridRecordSize; ++i)
        if (!std::isfinite(record[i]))
            return NewGridStatus::NotFinite;
    if (!fits_cell(record[9]) || !fits_cell(record[10]))
        return NewGridStatus::DensityOutOfRange;
    if (!(record[2] > 0) || !(record[5] > 0) || !(record[8] > 0))
        return NewGridStatus::BadStep;
    // Every node lies between its axis's minimum and maximum.
    double beyond = 0;
    if (!coordinates_fit(std::vector<double>(record.begin(), record.begin() + 9), beyond)) {
        if (far)
            *far = beyond;
        return NewGridStatus::FarCoordinate;
    }

    const double bx = node_count_bound(record[0], record[1], record[2]);
    const double by = node_count_bound(record[3], record[4], record[5]);
    const double bz = node_count_bound(record[6], record[7], record[8]);
    if (exceeds_cell_cap(bx, by, bz))
        return NewGridStatus::TooLarge;
    if (confirm && !confirm(std::max(bx, 0.0), std::max(by, 0.0), std::max(bz, 0.0)))
        return NewGridStatus::Declined;

    try {
        NewGrid grid;
        grid.x = axis_nodes(record[0], record[1], record[2]);
        grid.y = axis_nodes(record[3], record[4], record[5]);
        grid.z = axis_nodes(record[6], record[7], record[8]);
        const std::size_t nx = grid.x.size();
        const std::size_t ny = grid.y.size();
        const std::size_t nz = grid.z.size();
        grid.cells.reserve(nz);
        for (std::size_t t = 0; t < nz; ++t) {
            const auto value = static_cast<data_type>(level_density(t, nz, record[9], record[10]));
            grid.cells.emplace_back(ny, std::vector<data_type>(nx, value));
        }
        out = std::move(grid);
    } catch (const std::bad_alloc&) {
        return NewGridStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return NewGridStatus::OutOfMemory;
    }
    return NewGridStatus::Ok;
}

}  // namespace gridops
