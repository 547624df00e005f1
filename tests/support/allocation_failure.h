#pragma once
// Makes an allocation of the test executable fail on purpose: once armed,
// the operator new of the arming thread that brings the bytes it allocated
// since arming above the budget fails (once: the failure disarms it, unless
// armed to `keep` failing). A failure does what the library's operator new
// does when memory runs out: it calls the new-handler when one is installed
// (which makes room, and the allocation is then served, or throws) and
// throws std::bad_alloc otherwise. Include in exactly one file of a test
// executable: it replaces the global allocation functions.
#include <cstdlib>
#include <new>
#include <thread>

namespace allocation_failure {

struct State {
    bool armed = false;
    unsigned long long budget = 0;
    unsigned long long spent = 0;
    std::size_t min_size = 0;
    bool keep = false;
    int failures = 0;
    std::thread::id thread;
};

inline State& state()
{
    static State s;
    return s;
}

// The next allocations of at least `min_size` bytes may take `budget`
// bytes in all; the one that goes beyond fails (with `keep`, every one
// after it too, until disarmed).
inline void arm(unsigned long long budget, std::size_t min_size = 0, bool keep = false)
{
    state().min_size = min_size;
    state().keep = keep;
    state().armed = true;
    state().budget = budget;
    state().spent = 0;
    state().thread = std::this_thread::get_id();
}

inline void disarm() { state().armed = false; }

// Failures injected since the program started.
inline int failures() { return state().failures; }

inline void* allocate(std::size_t size)
{
    State& s = state();
    if (s.armed && size >= s.min_size && std::this_thread::get_id() == s.thread) {
        s.spent += size;
        if (s.spent > s.budget) {
            s.armed = s.keep;
            ++s.failures;
            std::new_handler handler = std::get_new_handler();
            if (!handler)
                throw std::bad_alloc();
            handler();
        }
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace allocation_failure

void* operator new(std::size_t size) { return allocation_failure::allocate(size); }
void* operator new[](std::size_t size) { return allocation_failure::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocation_failure::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocation_failure::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
