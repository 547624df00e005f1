#pragma once
// The memory a formula run shares between the program and the formula
// worker (tolmera_formula_worker): a temporary file without a name both map
// (the worker opens it through the program's descriptor). It holds a
// header, the argument columns of the calls, the formula of each call and
// the results the worker writes.
//
// A run is a list of calls; call i passes argument a as column a's entry i
// (a float or a double column, or 0 for a column of kind Zero) to formula
// formula[i] (formula 0 when the run has no formula column) and stores the
// result, as data_type, in result[i]. The worker makes the calls in order
// and stops after the first result that is not a finite number.
#include <QtGlobal>

#include <atomic>
#include <cstddef>

#include "common/types.h"

namespace grid_formula {

constexpr int kJobColumns = 8;

// The address space the worker needs at least: the script engine reserves
// 2 GB for its compiled code when it is made (without memory behind it),
// and a run takes some more (its heap, stacks, the job's memory).
constexpr quint64 kWorkerAddressSpace = (quint64(2) << 30) + (quint64(256) << 20);
constexpr quint64 kJobMagic = 0x3142'4f4a'4d52'4f46ULL;  // "FORMJOB1"

enum class ColumnKind : quint32 { Zero = 0, Float = 1, Double = 2 };

struct JobHeader {
    quint64 magic = kJobMagic;
    quint64 calls = 0;
    quint32 arguments = 0;
    quint32 formulas = 0;  // formulas the formula column may name
    quint32 kind[kJobColumns] = {};
    quint64 offset[kJobColumns] = {};  // from the start of the file
    quint64 formula_offset = 0;        // qint32 per call; 0: no column
    quint64 result_offset = 0;         // data_type per call
    quint64 size = 0;                  // of the whole file
    // Written by the worker while it runs.
    std::atomic<quint64> done{0};       // calls made so far
    std::atomic<qint32> formula{-1};    // the formula compiled or called now
    std::atomic<qint32> crash_signal{0};  // the signal that ended it
    std::atomic<qint32> out_of_memory{0};  // an allocation failed before that
};
static_assert(std::atomic<quint64>::is_always_lock_free, "the progress counter is shared between processes");

}  // namespace grid_formula
