#include "allocation_meter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLMERA_ALLOCATION_METER 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TOLMERA_ALLOCATION_METER 0
#endif
#endif
#ifndef TOLMERA_ALLOCATION_METER
#define TOLMERA_ALLOCATION_METER 1
#endif

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
void __libc_free(void*);
}

namespace {

std::atomic<int64_t> g_held{0};
std::atomic<int64_t> g_peak{0};

void count_in(void* p)
{
    if (!p)
        return;
    const int64_t now = g_held.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed)
                        + static_cast<int64_t>(malloc_usable_size(p));
    int64_t top = g_peak.load(std::memory_order_relaxed);
    while (now > top && !g_peak.compare_exchange_weak(top, now, std::memory_order_relaxed)) {
    }
}

void count_out(void* p)
{
    if (p)
        g_held.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}

} // namespace

namespace allocation_meter {

bool counting() { return TOLMERA_ALLOCATION_METER != 0; }

int64_t held() { return g_held.load(); }
int64_t peak() { return g_peak.load(); }
void reset_peak() { g_peak.store(g_held.load()); }

namespace {

// A "Name: value kB" line of /proc/self/status, in bytes; -1 when absent.
int64_t status_kb(const char* name)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    int64_t bytes = -1;
    const std::size_t n = std::strlen(name);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, name, n) == 0 && line[n] == ':') {
            long long kb = 0;
            if (std::sscanf(line + n + 1, "%lld", &kb) == 1)
                bytes = static_cast<int64_t>(kb) * 1024;
            break;
        }
    }
    std::fclose(f);
    return bytes;
}

} // namespace

int64_t resident() { return status_kb("VmRSS"); }
int64_t resident_peak() { return status_kb("VmHWM"); }

bool reset_resident_peak()
{
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

int64_t resident_start()
{
    malloc_trim(0);
    return reset_resident_peak() ? resident() : -1;
}

std::string resident_fault(double need, double measured, double slack, double large)
{
    if (!(measured > 0))
        return "the resident peak was not measured";
    if (need < measured)
        return "need " + std::to_string(need) + " below the resident peak " + std::to_string(measured);
    if (need > large && need > slack * measured)
        return "need " + std::to_string(need) + " far above the resident peak " + std::to_string(measured);
    return std::string();
}

std::string need_fault(double need, double measured, double slack)
{
    if (!(measured > 0))
        return "the run failed";
    if (need < measured)
        return "need " + std::to_string(need) + " below the peak " + std::to_string(measured);
    if (need > slack * measured)
        return "need " + std::to_string(need) + " far above the peak " + std::to_string(measured);
    return std::string();
}

Usage child_usage(const std::function<bool(const std::function<void()>& start)>& body)
{
    int pipe_fd[2];
    if (pipe(pipe_fd) != 0)
        return Usage();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipe_fd[0]);
        int64_t base = 0, resident_base = -1;
        const bool ok = body([&base, &resident_base] {
            base = held();
            reset_peak();
            resident_base = resident_start();
        });
        const int64_t resident_top = resident_peak();
        Usage result;
        if (ok) {
            result.heap = double(peak() - base);
            if (resident_base >= 0 && resident_top >= 0)
                result.resident = double(resident_top - resident_base);
        }
        const ssize_t written = write(pipe_fd[1], &result, sizeof result);
        _exit(written == sizeof result ? 0 : 1);
    }
    close(pipe_fd[1]);
    Usage result;
    if (pid < 0 || read(pipe_fd[0], &result, sizeof result) != sizeof result)
        result = Usage();
    close(pipe_fd[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    return result;
}

double child_peak(const std::function<bool(const std::function<void()>& start)>& body)
{
    return child_usage(body).heap;
}

std::vector<double> child_figures(const std::function<std::vector<double>()>& body, int count)
{
    int pipe_fd[2];
    if (count <= 0 || pipe(pipe_fd) != 0)
        return {};
    const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(count);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipe_fd[0]);
        const std::vector<double> figures = body();
        bool ok = figures.size() == static_cast<std::size_t>(count);
        if (ok)
            ok = write(pipe_fd[1], figures.data(), bytes) == static_cast<ssize_t>(bytes);
        _exit(ok ? 0 : 1);
    }
    close(pipe_fd[1]);
    std::vector<double> result(static_cast<std::size_t>(count));
    std::size_t got = 0;
    while (pid > 0 && got < bytes) {
        const ssize_t n = read(pipe_fd[0], reinterpret_cast<char*>(result.data()) + got, bytes - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(pipe_fd[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (got != bytes)
        result.clear();
    return result;
}

} // namespace allocation_meter

#if TOLMERA_ALLOCATION_METER
extern "C" {

void* malloc(size_t size)
{
    void* p = __libc_malloc(size);
    count_in(p);
    return p;
}

void* calloc(size_t n, size_t size)
{
    void* p = __libc_calloc(n, size);
    count_in(p);
    return p;
}

void* realloc(void* old, size_t size)
{
    // The old block is counted out before the new one in: the figure never
    // holds both, as the C library may extend in place.
    const int64_t before = old ? static_cast<int64_t>(malloc_usable_size(old)) : 0;
    void* p = __libc_realloc(old, size);
    if (!p && size != 0)
        return p; // the old block stays
    g_held.fetch_sub(before, std::memory_order_relaxed);
    count_in(p);
    return p;
}

void free(void* p)
{
    count_out(p);
    __libc_free(p);
}

void* memalign(size_t alignment, size_t size)
{
    void* p = __libc_memalign(alignment, size);
    count_in(p);
    return p;
}

void* aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

void* valloc(size_t size)
{
    void* p = __libc_valloc(size);
    count_in(p);
    return p;
}

void* pvalloc(size_t size)
{
    void* p = __libc_pvalloc(size);
    count_in(p);
    return p;
}

} // extern "C"
#endif // TOLMERA_ALLOCATION_METER
