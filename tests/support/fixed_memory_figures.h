#pragma once
// Gives every memory check (the runs' and the grid commands') fixed figures
// of available memory and of the ceiling while the object lives.
#include "engine/memory.h"

class FixedMemoryFigures
{
public:
    FixedMemoryFigures(std::uint64_t available_bytes, std::uint64_t ceiling_bytes)
    {
        SystemMemory m;
        m.total_bytes = ceiling_bytes;
        m.available_bytes = available_bytes;
        m.ceiling_bytes = ceiling_bytes;
        previous_ = set_memory_figures([m] { return m; });
    }
    ~FixedMemoryFigures() { set_memory_figures(previous_); }
    FixedMemoryFigures(const FixedMemoryFigures&) = delete;
    FixedMemoryFigures& operator=(const FixedMemoryFigures&) = delete;

private:
    MemoryFigures previous_;
};
