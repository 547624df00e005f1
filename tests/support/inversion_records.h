#pragma once
// Inversion records of plain runs for window tests and benchmarks.
#include "engine/inversion.h"

#include <vector>

// An inversion of kind `kind_value` (inversion_record::kind_grid, ...):
// `iterations_count` iterations at step scale `step` and depth power
// `power`, no constraint, open density limits.
inline std::vector<double> plain_inversion_record(int kind_value, int iterations_count, double step = 1,
                                                  double power = 1)
{
    using namespace inversion_record;
    std::vector<double> r(record_size, 0.0);
    r[iterations] = iterations_count;
    r[step_scale] = step;
    r[depth_power] = power;
    r[kind] = kind_value;
    r[lower_limit] = -open_limit;
    r[upper_limit] = open_limit;
    r[final_power] = power;
    return r;
}

// A plain grid inversion at step scale 1.
inline std::vector<double> grid_inversion_record(int iterations_count, double power = 1)
{
    return plain_inversion_record(inversion_record::kind_grid, iterations_count, 1, power);
}
