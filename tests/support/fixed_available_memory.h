#pragma once
// Gives the commands that make grids of a typed size a fixed figure of
// available memory while the object lives.
#include "editing/grid_memory.h"
#include "editing/grid_memory_question.h"

#include <QString>

class FixedAvailableMemory
{
public:
    explicit FixedAvailableMemory(std::uint64_t bytes)
        : previous_(grid_memory::set_available_memory([bytes] { return bytes; }))
    {
    }
    ~FixedAvailableMemory() { grid_memory::set_available_memory(previous_); }
    FixedAvailableMemory(const FixedAvailableMemory&) = delete;
    FixedAvailableMemory& operator=(const FixedAvailableMemory&) = delete;

private:
    grid_memory::AvailableMemory previous_;
};

// The grids a command makes on a lattice of nx by ny by nz nodes, holding
// `cubes` cubes (the other counts are left for the test to set).
inline grid_memory::NewGrids lattice(double nx, double ny, double nz, int cubes = 0)
{
    grid_memory::NewGrids g;
    g.nx = nx;
    g.ny = ny;
    g.nz = nz;
    g.cubes = cubes;
    return g;
}

// The memory question a command asks for a need of `need_bytes` while
// `available_bytes` are available.
inline QString expected_memory_question(double need_bytes, double available_bytes, int language)
{
    return grid_memory::question_text(need_bytes / (1 << 30), available_bytes / (1 << 30), language);
}
