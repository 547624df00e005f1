#pragma once
// User formulas run in the formula worker, a process of their own
// (tolmera_formula_worker beside the program): a crash of the script engine,
// a formula that takes all memory or a built-in call that never returns ends
// there, and the program stops it at once on the user's word.
//
// A run takes one worker, which compiles the formulas and makes the calls
// of a FormulaJob in order (see editing/formula_job.h); the arguments and the
// results pass through memory both processes map. Each worker serves one run
// only; the one for the next run is started once the events run again after
// a run, and waits ready (libraries loaded, engine made). The worker's address
// space is capped at what it holds at start plus an allowance (by default
// three quarters of the memory available), so a runaway formula ends with
// OutOfMemory instead of exhausting the machine.
//
// The worker never outlives the program: it is killed when the program ends,
// however it ends, and it ends at once when the program that started it is
// gone before it could say so. The job's memory is a file of the temporary
// folder without a name (reached through the program's descriptor), whose
// space is reserved before it is used: no file is left behind, and a full
// folder is a message, not a fault. What the worker answers is checked
// against the job before anything of it is used.
#include "editing/formula_job.h"
#include "editing/grid_formula.h"
#include "editing/velocity_density.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace grid_formula {

// One formula of a run: its variables and the user's expression.
class FormulaJob;

struct FormulaText {
    QStringList variables;
    QString text;
};

enum class WorkerStatus {
    Ok,           // all calls made, or stopped after the first not finite result
    SyntaxError,  // formula `formula` does not compile
    Aborted,      // stopped by the user (see Watch)
    OutOfMemory,  // the formula took all the memory the worker may have
    Crashed,      // the worker ended by signal `signal`
    NotStarted,   // the worker could not be started
    JobMemory,    // the job's memory could not be had (see fault)
    EndedEarly,   // the worker ended without its answer, not by a signal (exit code in fault)
    BadAnswer,    // the worker's answer does not fit the job (it was killed)
    AddressLimit  // the inherited address-space limit (fault.limit) leaves no room for the engine
};

struct WorkerResult {
    WorkerStatus status = WorkerStatus::Ok;
    int formula = -1;         // SyntaxError, OutOfMemory, Crashed: the formula compiled or called then
    SyntaxError syntax;
    quint64 calls_made = 0;   // Ok: the results written (all, or up to the first not finite)
    QString exception;        // the first exception a call threw (cut, see below)
    double last_value = 0;    // Ok: what the last call gave, before rounding to a cell
    qint64 exception_length = 0;  // of the whole text of syntax.message or exception
    int signal = 0;           // Crashed
    WorkerFault fault;        // JobMemory, EndedEarly, AddressLimit
    bool ok() const { return status == WorkerStatus::Ok; }
};

// Reserves the space of a job's memory (the file's descriptor, its size);
// returns 0 or the system's error number, as posix_fallocate does, which is
// the default. Tests put a failing one in its place (the memory kept from
// the last job is let go, so that the next job reserves its own); an empty
// function puts the default back. Returns the previous one.
using JobReservation = std::function<int(int fd, quint64 bytes)>;
JobReservation setJobReservation(JobReservation reservation);

// The calls of a run in memory the worker maps. Fill the columns, then run it.
// The memory (a temporary file without a name, its space reserved) is kept
// for the next job when it is not large, so that a command after a command
// finds its pages at hand.
class FormulaJob {
public:
    // The bytes of the memory of a job made with these arguments.
    static quint64 bytes(const std::vector<ColumnKind>& kinds, quint64 calls, bool per_call_formula);

    // `kinds`: one per argument (at most kJobColumns); with `per_call_formula`
    // every call names its formula in formulas(), else all call formula 0.
    FormulaJob(const std::vector<ColumnKind>& kinds, quint64 calls, quint32 formula_count, bool per_call_formula);
    ~FormulaJob();
    FormulaJob(const FormulaJob&) = delete;
    FormulaJob& operator=(const FormulaJob&) = delete;
    // False when the memory could not be had (the columns are then null);
    // fault() then says why.
    bool ok() const { return header != nullptr; }
    const WorkerFault& fault() const { return why; }
    quint64 calls() const { return call_count; }
    // Makes only the first `calls` calls (at most the calls it was made for).
    void setCalls(quint64 calls);
    float* floats(int argument);
    double* doubles(int argument);
    qint32* formulas();
    const data_type* results() const;

private:
    friend struct JobRunner;
    friend WorkerResult run_formula_job(const std::vector<FormulaText>&, FormulaJob&, const Progress&,
                                        const Watch*);
    struct Memory;
    static std::unique_ptr<Memory>& kept_memory();  // of the last job, for the next
    static void releaseKeptMemory();
    friend JobReservation setJobReservation(JobReservation);
    std::unique_ptr<Memory> memory;
    uchar* base = nullptr;
    JobHeader* header = nullptr;
    quint64 call_count = 0;
    WorkerFault why;
};

// Runs the formulas over the job's calls in a worker. Progress is the share
// of calls made; a watch (see Watch) stops the worker (killed at once) on a
// stop request or a "no" to the time question. Without a watch the run
// cannot be stopped. Events run meanwhile in either case.
WorkerResult run_formula_job(const std::vector<FormulaText>& formulas, FormulaJob& job,
                             const Progress& progress = Progress(), const Watch* watch = nullptr);

// The status of a formula run that ended as the worker's did.
FormulaStatus formula_status(WorkerStatus status);

// A per-layer conversion whose script rows run in the formula worker. One
// pass computes the cells of the other rows and notes the calls of the
// script cells in cell order (up to the first cell of another formula
// without a finite value, where it stops), the worker makes those calls, and
// their results go into the script cells: the cells, and the first cell
// without a finite value, are those of one run calling the scripts cell by
// cell (see velocity_density::convert_leaving_scripts). Rows of other types
// have no script text.
struct ScriptConversion {
    velocity_density::ConvertStatus status = velocity_density::ConvertStatus::Ok;
    velocity_density::BadCell bad;
    WorkerResult worker;
    int row = -1;  // the row of a syntax error or of the formula running when the worker failed
};

ScriptConversion convert_with_scripts(const velocity_density::ConversionInput& in,
                                      const std::vector<velocity_density::LayerFormula>& per_layer,
                                      const std::vector<QString>& texts, vector3D& converted,
                                      const velocity_density::Progress& progress = velocity_density::Progress(),
                                      const Watch* watch = nullptr);

// Where the worker is: set by setFormulaWorkerPath, else beside the program,
// else where the build put it.
QString formulaWorkerPath();
void setFormulaWorkerPath(const QString& path);

// What a worker holds while it runs an ordinary formula: measured on a
// 1e6-cell grid formula, 2 MB of its own (the engine's heap and stacks) and
// 11 MB of libraries (the program maps them too, but not every page), with
// room to spare. A formula that takes more is capped (see above).
constexpr quint64 kWorkerBytes = quint64(16) << 20;

// What a grid formula over `density` allocates beyond what the project
// holds: its job's memory and its worker (the new grid is the caller's to
// count). The other grids take part as evaluate_grid_formula lets them.
quint64 grid_formula_need_bytes(const vector3D& density, const vector3D& vp, const vector3D& vs,
                                const vector3D& regularizer);

// The same for a per-layer conversion: the job and the worker of its script
// rows (0 without any).
quint64 script_conversion_need_bytes(const velocity_density::ConversionInput& in,
                                     const std::vector<velocity_density::LayerFormula>& per_layer);

// The worker's memory allowance in bytes; 0 (the default) takes three
// quarters of the memory available when a run starts. Returns the old one.
qint64 setFormulaMemoryAllowance(qint64 bytes);

}  // namespace grid_formula
