#pragma once
// Counts the bytes a process holds on the heap, and their peak, by replacing
// the C allocation functions (malloc, calloc, realloc, free and the aligned
// forms) with ones that pass on to the C library and keep the count. Every
// C++ allocation (operator new, std::vector) goes through malloc, so the
// count covers it too. Link allocation_meter.cpp into one test executable
// only: it replaces the allocator of the whole process.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace allocation_meter {

// False in a sanitizer build, whose runtime owns the allocator: nothing is
// counted there, and the tests that measure skip.
bool counting();

// Bytes held now (the usable size of every live block).
int64_t held();
// The largest figure held() reached since the last reset_peak().
int64_t peak();
// Starts a new peak from what is held now.
void reset_peak();

// Runs `body` in a child process of its own (fresh working grids, no
// worker threads yet) and returns the peak of the child's heap above what it
// held when `body` called the `start` it is given (after making its inputs);
// -1 when the body returned false or the child failed. The parent must not
// have started threads that the body relies on.
double child_peak(const std::function<bool(const std::function<void()>& start)>& body);

// Runs `body` in a child process of its own, as child_peak does, and
// returns the `count` figures it gives; empty when the body gave another
// number of figures or the child failed.
std::vector<double> child_figures(const std::function<std::vector<double>()>& body, int count);

// What is wrong with a need figure against the peak measured: "" when the
// need is at least the peak and at most `slack` times it.
std::string need_fault(double need, double measured, double slack = 1.3);

} // namespace allocation_meter
