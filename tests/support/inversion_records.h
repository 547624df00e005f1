#pragma once
// The inversion record of a plain grid inversion for window tests.
#include "engine/inversion.h"

#include <vector>

// `iterations_count` iterations at step scale 1 and depth power `power`, no
// constraint, open density limits.
inline std::vector<double> grid_inversion_record(int iterations_count, double power = 1)
{
    using namespace inversion_record;
    std::vector<double> r(record_size, 0.0);
    r[iterations] = iterations_count;
    r[step_scale] = 1;
    r[depth_power] = power;
    r[kind] = kind_grid;
    r[lower_limit] = -open_limit;
    r[upper_limit] = open_limit;
    r[final_power] = power;
    return r;
}
