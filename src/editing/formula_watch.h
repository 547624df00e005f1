#pragma once
// A user formula run from the main window: the command holds a run guard of
// kind Formula (commands that change data are locked out, Esc asks to abort),
// and the script engine watches it with what is built here.
#include "app/status_text.h"
#include "editing/grid_formula.h"

class MainWindow;

// A text from a formula's run (an exception, the engine's message) as a
// message shows it: cut to a readable length, saying so and how long the
// whole text was (full_length: of the whole, which may be longer than text).
QString readableFormulaText(int language, const QString& text, qint64 full_length);

// The message for a formula whose worker gave no result (OutOfMemory,
// Crashed, NoWorker, JobMemory, EndedEarly, BadAnswer, AddressLimit): it
// says what failed (the formula, naming it and the signal; the temporary
// folder, naming it; memory; the installation; the address-space limit,
// naming it) and that the density grid is unchanged.
QString formulaFailureText(int language, grid_formula::FormulaStatus status, int signal,
                           const grid_formula::WorkerFault& fault, const QString& formula);

// The message for a formula text that holds nothing (`layer` < 0: the grid
// formula, else the formula of that layer, from 0).
QString emptyFormulaText(int language, int layer);

// Stops on the user's abort (Esc, or closing the window) and asks through
// the interaction layer whether to go on each time the run has lasted
// MainWindow::formula_time_limit_ms.
grid_formula::Watch userFormulaWatch(MainWindow& window);

// While it lives, the status line says that Esc stops the formula; what the
// line said before comes back when it goes.
class FormulaStatusText
{
public:
    explicit FormulaStatusText(MainWindow& window);

private:
    StatusTextKeeper keep;
};

// A value a formula gave that no cell can hold, as the messages name it:
// "a value that is not a number", "an infinite value" or "the value 1e+39,
// beyond the single-precision range" (see grid_formula::cell_value_fault).
QString cellValueText(int language, double value);
