#pragma once
// Memory estimates of a spectral run and the machine's memory figures.
//
// All sizes in GB are units of 2^30 bytes. Mx, My are the padded FFT sizes
// (fft_padded_size), nz the level count of the density grid.
#include "common/types.h"

#include <QString>

#include <cstdint>
#include <string>

// Engine arrays per padded cell at the peak of a 3D inversion: the stored
// operator's quarter (1 byte), the model's half spectra (4 bytes) and, while
// the model is filled with constraints on, its full spectra (8 bytes at
// most, the half spectra not yet made).
constexpr double inversion_peak_bytes_per_cell = 9.0;
// Building the stored operator alone: its real even quarter (a quarter of
// the padded cells at 4 bytes).
constexpr double effects_build_bytes_per_cell = 1.0;
// Bytes per padded cell of the inversion estimate shown to the user.
constexpr double inversion_estimate_bytes_per_cell = 20.0;

constexpr double bytes_per_gb = 1073741824.0; // 2^30

// What a run really allocates: Mx * My * nz * bytes_per_cell / 2^30, in double.
double run_memory_need_gb(int Mx, int My, int nz, double bytes_per_cell);

// The estimate shown to the user: the real need plus a reserve of 0.5 GB.
double memory_need_gb(int Mx, int My, int nz, double bytes_per_cell);

// The inversion estimate shown in the inversion dialog and the preferences:
// Mx * My * nz * 20 / 2^30 + 0.5 with Mx, My from nx, ny and the expansion
// factor; 0 for an empty density grid.
double inversion_memory_estimate_gb(int nx, int ny, int nz, double expansion_factor);
double inversion_memory_estimate_gb(const vector3D& den_grid, double expansion_factor);

// True when the user should be asked before a run: its real need exceeds
// the memory available now. An unknown available figure (0 or less) asks
// nothing.
bool memory_question_needed(double need_gb, double available_gb);

// The run a memory question is about.
enum class MemoryRun : int {
    Forward,           // forward calculation
    EffectsBuild,      // building the stored effects
    Inversion,         // 3D (grid or lateral) inversion
    LayeredInversion,  // one density per layer
    HorizonFit         // horizon fitting
};

// The question shown before a run that needs more memory than there is, in
// the user's language (0 Russian, other English), naming the run.
QString memory_question_text(double need_gb, double available_gb, MemoryRun run, int language);

// ---- Machine memory -------------------------------------------------------

struct SystemMemory {
    uint64_t total_bytes = 0;     // physical memory, bounded by a cgroup limit
    uint64_t available_bytes = 0; // what can still be allocated now, likewise bounded
};

// Memory limit and use of the control group the process runs in.
struct CgroupMemory {
    uint64_t limit_bytes = 0;     // 0: no limit set
    uint64_t usage_bytes = 0;     // charged to the group
    uint64_t reclaimable_bytes = 0; // inactive file cache within the usage
};

// Where the figures are read from; tests point these at fixtures.
struct MemoryInfoSources {
    std::string meminfo = "/proc/meminfo";
    std::string self_cgroup = "/proc/self/cgroup";
    std::string cgroup_root = "/sys/fs/cgroup";
};

// Reads the effective memory limit of the process's control group, for the
// unified hierarchy (memory.max along the path up to the root) and for the
// version 1 memory controller (memory.limit_in_bytes likewise; values of 2^60
// or more mean no limit). The smallest limit found wins.
CgroupMemory read_cgroup_memory(const std::string& self_cgroup, const std::string& cgroup_root);

// Total and available physical memory (MemTotal and MemAvailable of meminfo,
// falling back to sysinfo), each bounded by the control group's limit.
SystemMemory query_system_memory(const MemoryInfoSources& sources = MemoryInfoSources());
