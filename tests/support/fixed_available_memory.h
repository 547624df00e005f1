#pragma once
// Gives the commands that make grids of a typed size a fixed figure of
// available memory while the object lives.
#include "editing/grid_memory_question.h"

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
