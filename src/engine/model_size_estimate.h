#pragma once
// The expanded (padded) FFT grid of a model for a given expansion factor and
// the memory an inversion on it needs, as the preferences dialog shows them
// while the user types the factor, together with the checks that decide
// whether a factor can be accepted at all.
#include "engine/memory.h"

#include <QString>

#include <cstdint>

// The largest expansion factor accepted. Useful factors are a few units; the
// cap keeps a factor typed without a model loaded from blowing up the padded
// grid of the next model.
constexpr double max_expansion_factor = 100.0;

enum class ExpansionFactorStatus {
    Ok,
    NotANumber,        // empty or unreadable text, or NaN
    NotFinite,         // infinite
    Negative,
    AboveLimit,        // above max_expansion_factor
    DoesNotFitMemory,  // the padded grid is larger than the machine's memory
};

struct ExpandedModelEstimate {
    ExpansionFactorStatus status = ExpansionFactorStatus::NotANumber;
    double factor = 0.0;    // the factor read (Ok and DoesNotFitMemory only)
    // Padded sizes: the smallest powers of two not below n * (2p + 1), 1 when
    // that product is at most 1; nz is the level count as given. Filled for
    // Ok and DoesNotFitMemory only.
    int mx = 1;
    int my = 1;
    int nz = 0;
    // What the inversion on the expanded grid needs (inversion_need_bytes),
    // in GB (2^30).
    double memory_gb = 0.0;
    // The padded grid itself: mx * my * max(nz, 1) cells of 4 bytes.
    double grid_bytes = 0.0;

    bool ok() const { return status == ExpansionFactorStatus::Ok; }
    // The sizes and the memory figure above are meaningful.
    bool hasSizes() const
    {
        return status == ExpansionFactorStatus::Ok || status == ExpansionFactorStatus::DoesNotFitMemory;
    }
};

// Range check of a factor value: finite, not negative, not above the cap.
ExpansionFactorStatus check_expansion_factor(double value);

// Reads a factor typed by the user (surrounding blanks ignored, '.' as the
// decimal point) and checks it; *value receives the number read (+0 for -0)
// whenever the text is a number.
ExpansionFactorStatus parse_expansion_factor(const QString& text, double* value);

// The estimate for a model of nx by ny by nz nodes (negative counts count as
// 0). total_memory_bytes is the machine's physical memory; 0 means unknown
// and skips the memory test. The memory figure is that of an inversion with
// `options` on `threads` workers. A factor that fails its checks gives no
// sizes, and no loop runs on it.
ExpandedModelEstimate estimate_expanded_model(double factor, int nx, int ny, int nz, uint64_t total_memory_bytes,
                                              int threads = 1,
                                              const InversionMemoryOptions& options = InversionMemoryOptions());
ExpandedModelEstimate estimate_expanded_model(const QString& text, int nx, int ny, int nz,
                                              uint64_t total_memory_bytes, int threads = 1,
                                              const InversionMemoryOptions& options = InversionMemoryOptions());
