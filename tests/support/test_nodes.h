#pragma once
// Evenly spaced node coordinates for test grids and cubes.
#include <cstddef>
#include <vector>

// n nodes from `first` on, `step` apart.
inline std::vector<double> nodes(std::size_t n, double first, double step)
{
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = first + step * double(i);
    return v;
}
