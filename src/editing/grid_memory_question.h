#pragma once
// The question before a command that makes grids of a size the user typed,
// asked when what it allocates (grid_memory::need_bytes) exceeds the memory
// available now.
#include <cstdint>
#include <functional>

class QWidget;

namespace grid_memory {

// Bytes that can still be allocated now; 0 when unknown.
using AvailableMemory = std::function<std::uint64_t()>;

// Replaces the query of the available memory (tests give a fixed figure);
// an empty function restores the machine's figure. Returns the previous one.
AvailableMemory set_available_memory(AvailableMemory query);

// True to go on: the need fits in the memory available (or that is unknown),
// or the user answered Yes to the "High memory usage" question (default No).
// A need beyond all the memory the machine can ever give is refused with a
// message naming both figures (false).
bool confirm_need(QWidget* parent, int language, double need_bytes);

}  // namespace grid_memory
