#pragma once
// Counts the bytes every operator new of the test executable hands out, so
// that a test can tell how much was allocated before some point (such as a
// reader's first progress call). Include in exactly one file of a test
// executable: it replaces the global allocation functions.
#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {

inline std::atomic<unsigned long long>& total()
{
    static std::atomic<unsigned long long> bytes{0};
    return bytes;
}

// Bytes allocated since the program started.
inline unsigned long long allocated()
{
    return total().load(std::memory_order_relaxed);
}

inline void* counted(std::size_t size)
{
    total().fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

}  // namespace allocation_counter

void* operator new(std::size_t size)
{
    return allocation_counter::counted(size);
}
void* operator new[](std::size_t size)
{
    return allocation_counter::counted(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocation_counter::counted(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocation_counter::counted(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
