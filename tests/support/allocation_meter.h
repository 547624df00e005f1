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

// The resident memory of the process as the kernel counts it (VmRSS of
// /proc/self/status), and its peak (VmHWM); -1 when unknown.
int64_t resident();
int64_t resident_peak();
// Starts a new resident peak from the resident memory now (writes 5 to
// /proc/self/clear_refs); false when the kernel does not allow it.
bool reset_resident_peak();
// Gives the heap's free pages back to the system (what the inputs' making
// left free would otherwise take the run's first pages) and starts a new
// resident peak; returns the resident memory then, -1 when unknown.
int64_t resident_start();

// What a run took: the peak of the heap above what was held at its start
// (bytes counted by this meter) and the peak of the resident memory above
// the resident memory at its start (VmHWM against VmRSS, pages the kernel
// counts: thread stacks, allocator arenas, library pages faulted in and
// memory allocated outside malloc included). -1 when not measured.
struct Usage {
    double heap = -1;
    double resident = -1;
};

// Runs `body` in a child process of its own (fresh working grids, no
// worker threads yet) and returns what it took from the moment `body`
// called the `start` it is given (after making its inputs) to its end;
// both -1 when the body returned false or the child failed. The parent must
// not have started threads that the body relies on.
Usage child_usage(const std::function<bool(const std::function<void()>& start)>& body);
// The heap peak of child_usage.
double child_peak(const std::function<bool(const std::function<void()>& start)>& body);

// Runs `body` in a child process of its own, as child_peak does, and
// returns the `count` figures it gives; empty when the body gave another
// number of figures or the child failed.
std::vector<double> child_figures(const std::function<std::vector<double>()>& body, int count);

// What is wrong with a need figure against the peak measured: "" when the
// need is at least the peak and at most `slack` times it.
std::string need_fault(double need, double measured, double slack = 1.3);

// What is wrong with a need figure against the resident peak measured: ""
// when the need is at least the peak and, for needs above `large` bytes,
// at most `slack` times it (below that, a run's fixed allowance for thread
// stacks, arenas and library pages is most of the need, and the resident
// peak of the few megabytes of arrays varies with where the allocator puts
// them).
std::string resident_fault(double need, double resident, double slack = 1.3, double large = 100.0 * 1048576);

} // namespace allocation_meter
