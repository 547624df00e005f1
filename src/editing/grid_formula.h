#pragma once
// User formulas in the script language (Qt Script, ECMAScript): the grid
// formula of the density grid (variables dens, Vp, Vs, R, h) and the script
// formulas of the velocity-to-density conversion (variables Vp, Vs, h).
//
// A formula is the user's expression; it is wrapped as
//   (function(<variables>) { return <expression>;})
// checked for syntax once, evaluated once into a function, and that
// function is called for every cell with the cell's values as numbers.
// The program runs its formulas in the formula worker, a process of its own
// (editing/formula_worker.h), where this engine does the work.
//
// The compiled functions, and the makers of their closures, are held by the
// engine object and reached only through the activation of the calls' own
// context: no global name leads to them, so one formula cannot replace
// another's function.
//
// Every piece of the user's code runs inside an evaluation of the engine,
// which a watch can abort: the call itself, and also what the script does
// to turn the result into a number or an exception into its text (valueOf,
// toString). The arguments go into an array that only the engine's own
// closures hold, so there is no slot the user's text could reach or hook;
// after an evaluation only plain numbers and strings are read back.
//
// The text must be one expression on its own: it is checked by itself
// before it is wrapped, so that it cannot close the wrapper and put code of
// its own outside the function (which would run when the wrapper is
// evaluated). What the function does when called is the user's affair; a
// watched engine (Watch below) keeps the program live and can abort it.
#include <QElapsedTimer>
#include <QScriptProgram>
#include <QScriptValue>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

#include "common/types.h"

class QScriptContext;
class QScriptEngine;
class QTimer;

namespace grid_formula {

// The wrapper text for an expression of the given variables.
QString wrap(const QStringList& variables, const QString& expression);

// A syntax problem of a formula: the engine's message and the position in
// the user's expression (1-based line and column; 0 when unknown).
struct SyntaxError {
    QString message;
    int line = 0;
    int column = 0;
};

// How a run of user formulas stays interruptible. A formula may never end
// (an endless loop is one line of script), and it runs on the GUI thread.
// While a watch is set the engine lets all pending events run at least every
// `events_interval_ms`, also in the middle of one long call, polls
// `stop_requested` then, and each time the run has lasted another
// `time_limit_ms` asks `go_on` (given the milliseconds run so far) whether to
// continue. A stop request or a false answer aborts the evaluation.
//
// Events run with user input: whoever sets a watch must keep the commands
// that change the data being read from running meanwhile (the main window
// holds a run guard).
struct Watch {
    std::function<bool()> stop_requested;
    std::function<bool(qint64 elapsed_ms)> go_on;
    qint64 time_limit_ms = 0;  // 0: never ask
    int events_interval_ms = 50;
};

// One script engine holding compiled formulas. Not copyable; lives for one
// conversion.
class FormulaEngine {
public:
    FormulaEngine();
    ~FormulaEngine();
    FormulaEngine(const FormulaEngine&) = delete;
    FormulaEngine& operator=(const FormulaEngine&) = delete;

    // Compiles an expression of the variables. Returns the formula's index,
    // or -1 when the text is not one valid expression by itself or once
    // wrapped (with the reason in *error). Nothing of the user's text runs.
    int compile(const QStringList& variables, const QString& expression, SyntaxError* error = nullptr);

    // Calls formula `index` with the arguments as script numbers and returns
    // the number the script makes of the result (NaN for a value that is not
    // a number, or when the call threw). A thrown exception is remembered in
    // firstException(). Calling an index that did not compile gives NaN, and
    // so does every call once the evaluation was aborted.
    double call(int index, const std::vector<double>& arguments);

    // The text of the first exception any call threw ("" when none did).
    QString firstException() const { return first_exception; }

    // Calls the closures directly instead of through an evaluation: faster,
    // but a running call cannot be aborted (for a process that is killed to
    // stop it). Set before the first call.
    void setDirectCalls(bool direct) { direct_calls = direct; }

    // Starts watching the run (see Watch); the run's time counts from here.
    void setWatch(const Watch& watch);
    // Aborts the evaluation: a call running now returns at once, later ones
    // do nothing.
    void abort();
    // True once the evaluation was aborted (by abort(), a stop request or a
    // "no" to the time question).
    bool aborted() const { return was_aborted; }

private:
    struct Compiled {
        QScriptValue closure;    // made by make (see compile())
        QScriptProgram program;  // calls the closure
        int arguments = 0;
    };
    void leaveCallContext();
    // Lets events run when the interval has passed, then polls.
    void keepLive();
    // The stop request and the time question.
    void poll();

    std::unique_ptr<QScriptEngine> engine;
    QScriptValue make;  // makes a formula's closure; no global holds it
    QScriptContext* call_context = nullptr;  // the calls' context while pushed
    bool called = false;  // some user code has run
    bool direct_calls = false;
    std::vector<Compiled> functions;
    QScriptValue argument_array;  // the arguments of the call; only the closures hold it
    QString first_exception;

    Watch watch;
    bool watching = false;
    bool was_aborted = false;
    bool asking = false;
    qint64 next_question_ms = 0;
    QElapsedTimer run_time;
    QElapsedTimer since_events;
    std::unique_ptr<QTimer> timer;  // polls while a long call lets events run
};

// The text given for an exception (or a syntax problem) whose own text
// cannot be made: its toString throws, say.
QString untextableException();

// True when a formula's text holds nothing but blanks: its function would
// return nothing, which no cell can hold.
bool formula_is_empty(const QString& text);

// The index of the first NUL character of a formula's text, or -1. The
// script engine would read the text only up to it, so such a text is
// refused (compile() says where the character is).
int nul_position(const QString& text);

// Variables of the grid formula, in the order the function receives them.
QStringList gridFormulaVariables();      // dens, Vp, Vs, R, h
// Variables of the conversion's script formulas.
QStringList velocityFormulaVariables();  // Vp, Vs, h

// True when `grid` has the level count of `density`, its first level the
// row count and its first row the cell count of the density grid's (the
// test that decides whether a grid's values reach the formula).
bool grid_fits(const vector3D& grid, const vector3D& density);

enum class FormulaStatus {
    Ok,
    EmptyGrid,    // no density grid (or fewer depths than levels)
    SyntaxError,  // the expression does not compile
    NonFinite,    // the expression gave a value that is not a finite number
    Aborted,      // stopped by the user (see Watch)
    OutOfMemory,  // the formula took all the memory its worker may have
    Crashed,      // the formula's worker ended by a signal (see formula_worker.h)
    NoWorker,     // the formula's worker could not be started
    JobMemory,    // the memory of the formula's data could not be had (see WorkerFault)
    EndedEarly,   // the worker ended without its answer, not by a signal
    BadAnswer,    // the worker's answer does not fit the job
    AddressLimit  // the address-space limit is too low for the script engine
};

// What went wrong around a formula's worker, for the message.
struct WorkerFault {
    int exit_code = 0;  // EndedEarly: the worker's exit code
    int error = 0;      // JobMemory: the system's error number
    QString folder;     // JobMemory: the temporary folder, when the error is the folder's
    quint64 bytes = 0;  // JobMemory: the size of the formula's data
    quint64 limit = 0;  // AddressLimit: the limit, in bytes
};

struct FormulaResult {
    FormulaStatus status = FormulaStatus::Ok;
    SyntaxError syntax;       // for SyntaxError
    int level = -1, row = -1, column = -1;  // first cell without a finite value
    double value = 0;         // what the formula gave there (see cell_value_fault)
    QString exception;        // the script's exception there, if it threw (cut when long)
    qint64 exception_length = 0;  // of the whole text of exception or syntax.message
    int signal = 0;           // Crashed: the signal
    WorkerFault fault;        // JobMemory, EndedEarly, AddressLimit
    bool ok() const { return status == FormulaStatus::Ok; }
};

// What a formula's value that no cell can hold is, for the message naming it.
enum class CellValueFault {
    NotANumber,          // NaN
    Infinite,            // +inf or -inf
    BeyondSinglePrecision  // finite, but beyond the single-precision range of a cell
};
CellValueFault cell_value_fault(double value);

// Called with the percentage of cells done, before the first cell and
// whenever that percentage grows.
using Progress = std::function<void(int percent)>;

// Evaluates the grid formula on every cell of the density grid, in the
// formula worker (see editing/formula_worker.h). The depth
// of level k is z[0] + k * (z[1] - z[0]). Vp, Vs and R are the cells of
// those grids when they fit the density grid, 0 otherwise. On Ok `out`
// receives the new grid; otherwise it is left unchanged. With a watch the
// run can be stopped (status Aborted).
FormulaResult evaluate_grid_formula(const QString& formula, const vector3D& density, const std::vector<double>& z,
                                    const vector3D& vp, const vector3D& vs, const vector3D& regularizer,
                                    vector3D& out, const Progress& progress = Progress(),
                                    const Watch* watch = nullptr);

}  // namespace grid_formula
