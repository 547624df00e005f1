#pragma once
// Shared pieces of the engine benchmarks: the seeded square density model on
// regular nodes, and the memory figures read from /proc/self (where the
// resident high-water mark can be reset).
#include "common/types.h"

#include <malloc.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace benchsupport {

// Nodes of a model of n by n columns and `levels` levels: 100 m apart from
// (500000, 6000000), levels 50 m apart from depth 0.
struct Nodes
{
    std::vector<double> x, y, z;
};

inline Nodes model_nodes(int n, int levels)
{
    Nodes r;
    for (int i = 0; i < n; ++i) {
        r.x.push_back(500000.0 + 100.0 * i);
        r.y.push_back(6000000.0 + 100.0 * i);
    }
    for (int k = 0; k < levels; ++k)
        r.z.push_back(50.0 * k);
    return r;
}

// A density grid of `levels` levels of n by n cells, uniform in [lo, hi)
// from a fixed seed.
inline vector3D seeded_density(int n, int levels, unsigned seed, float lo, float hi)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(lo, hi);
    vector3D den(levels, vector2D(n, std::vector<float>(n)));
    for (auto& l : den)
        for (auto& row : l)
            for (float& v : row)
                v = u(gen);
    return den;
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when missing.
inline long long status_kb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(f, line))
        if (line.rfind(k, 0) == 0)
            return std::stoll(line.substr(k.size()));
    return -1;
}

// The resident size (kB) after resetting the high-water mark to it.
inline long long reset_peak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return status_kb("VmRSS");
}

} // namespace benchsupport
