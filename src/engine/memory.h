#pragma once
// What the spectral runs allocate, the question asked before a run that
// needs more than there is, and the machine's memory figures.
//
// All sizes in GB are units of 2^30 bytes. Mx, My are the padded FFT sizes
// (fft_padded_size), nz the level count of the density grid.
#include "common/types.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr double bytes_per_gb = 1073741824.0; // 2^30

// A need counted per padded cell: Mx * My * nz * bytes_per_cell / 2^30, in double.
double run_memory_need_gb(int Mx, int My, int nz, double bytes_per_cell);

// ---- What a run allocates ------------------------------------------------
//
// Each function below gives the bytes a run allocates at its peak above
// what was held when it started (the density grid, the observed field and
// an operator that serves are held already), counted from the sizes, the
// level count, the worker threads and the options. The working grids that
// do not grow with the level count (padded double grids of one pair of
// levels, depth faces, transform scratch) are counted with the ones that do.
// An empty grid (a size of 0) needs nothing.

// The sizes a run's memory depends on.
struct RunSize {
    int nx = 0, ny = 0, nz = 0; // model columns, rows, levels
    int Mx = 0, My = 0;         // padded FFT sizes (fft_padded_size)
    int threads = 1;            // worker threads (below 1 counts as 1)
};

struct ForwardGeometry;
// The sizes of a run on geometry g with `threads` workers.
RunSize run_size(const ForwardGeometry& g, int threads);

// What any run takes besides the arrays counted below, as the kernel counts
// it: the pages of the program's and the libraries' code and data that the
// run touches first, the stacks of the worker threads it starts and the
// allocator's arenas of those threads (their headers, and blocks rounded up
// to whole pages). Every run's need below includes it, but the layered
// fit's, which follows a forward run that has taken it already.
//
// Measured as the resident peak of runs on a tiny grid (16 x 12 x 6, whose
// arrays take well under a megabyte), each in a fresh child process of the
// window (tst_run_memory_need, the "tiny" rows: VmHWM after writing 5 to
// /proc/self/clear_refs, less VmRSS at the run's start, the heap's free
// pages given back first), less the heap peak of the run: 3.1 to 6.0 MB
// over the forward, inversion, layered and horizon-fitting runs (up to
// 6.6 MB on larger grids, whose blocks round up to pages), and less than
// 0.02 MB more per further worker (their stacks' touched pages; the
// allowance per worker leaves room for deeper stacks). The figures depend
// on how the allocator keeps and returns memory (glibc here): measure them
// again when that changes.
constexpr double kRunFixedResidentBytes = 7.0 * 1024 * 1024;
constexpr double kRunResidentBytesPerThread = 0.25 * 1024 * 1024;
double run_allowance_bytes(int threads);

// Forward calculation with effects storage off.
double forward_without_store_need_bytes(const RunSize& s);
// Building the stored operator alone.
double effects_build_need_bytes(const RunSize& s);
// Forward calculation with storage on: reusing an operator that serves, or
// building it on the way.
double forward_stored_need_bytes(const RunSize& s, bool operator_serves);

// The forward run's result: ny rows of nx doubles, made before the run when
// the caller holds no field of that size yet.
double forward_result_bytes(const RunSize& s);

// The options of a 3D (grid or lateral) inversion that change its memory.
struct InversionMemoryOptions {
    bool operator_serves = false; // the stored operator serves the run: not built
    bool reference = false;       // the initial-model blend or an uploaded regularizer: a copy of the model
    bool sign_mask = false;       // the sign constraint: one byte per model cell
    bool fill_stage = false;      // the model is brought back to the space domain every iteration
                                  // (fixed layers, constraints, the lateral kind or the log)
    int lateral_layers = 0;       // the lateral kind: the layers of its means (0: another kind)
};
double inversion_need_bytes(const RunSize& s, const InversionMemoryOptions& options);
// The options of an inversion of `record` (the inversion record): the run
// copies the model when the blend is on or any regularizer is held, builds
// the sign mask when the constraint is on, and fills the model as
// inversion_record::fills_model says; the lateral kind keeps its means'
// working arrays for `horizons` horizons.
InversionMemoryOptions inversion_memory_options(const std::vector<double>& record, bool regularizer_held,
                                                bool regularizer_levels_match, bool any_fixed, bool save_log,
                                                bool operator_serves, int horizons = 0);

// The layered inversion: its forward run (stored or not), whose working
// grids are let go after it, then its slab effects of `layers` layers (not
// built when the stored ones serve) beside the operator the run built.
double layered_inversion_need_bytes(const RunSize& s, int layers, bool store_effects, bool operator_serves,
                                    bool slab_effects_serve);
// What the layered inversion adds after its fresh forward run, whose own
// need the forward run asks about: the fit's grids and the slab effects.
double layered_fit_need_bytes(const RunSize& s, int layers, bool slab_effects_serve);

// What the window draws again after each pass of a run on the model's
// rows, columns and levels (grid_memory::redraw_bytes counts it).
struct RunRedraw {
    bool view = false;  // the window has a 3D view
    bool cube = false;  // the view draws the model's cube
    int surfaces = 0;   // horizons the view draws as surfaces
    int maps = 0;       // maps painted again
    bool shown = false; // the window shows them
    bool held = false;  // the view holds series already
};
double run_redraw_bytes(const RunSize& s, const RunRedraw& redraw);

// Horizon fitting: the operator built once, then a stored forward run on it
// per pass, with the fit's own grids and a copy of `horizons` horizons, and
// the window's redraw after each pass.
double horizon_fit_need_bytes(const RunSize& s, int horizons, const RunRedraw& redraw = RunRedraw());

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
    uint64_t ceiling_bytes = 0;   // all the process can ever get: physical memory plus swap,
                                  // bounded by a cgroup limit (0: unknown)
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
// falling back to sysinfo) and the ceiling (MemTotal plus SwapTotal), each
// bounded by the control group's limit.
SystemMemory query_system_memory(const MemoryInfoSources& sources = MemoryInfoSources());

// The figures every memory check uses: the machine's, or those a test set.
SystemMemory memory_figures();
using MemoryFigures = std::function<SystemMemory()>;
// Replaces the figures (an empty function restores the machine's); returns
// the previous replacement.
MemoryFigures set_memory_figures(MemoryFigures figures);

// What a check does with a need: go on, ask the "High memory usage"
// question (the need exceeds the memory available now), or refuse (it
// exceeds all the memory the machine or its limit can ever give, so Yes
// could only end the program). Unknown figures (0) neither ask nor refuse.
enum class MemoryVerdict { Fits, Ask, Refuse };
MemoryVerdict memory_verdict(double need_bytes, const SystemMemory& memory);

// The message of a refused need, naming the need and the ceiling, in the
// user's language (0 Russian, other English).
QString memory_refusal_text(double need_gb, double ceiling_gb, int language);
