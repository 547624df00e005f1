#pragma once
// A user formula run from the main window: the command holds a run guard of
// kind Formula (commands that change data are locked out, Esc asks to abort),
// and the script engine watches it with what is built here.
#include "app/status_text.h"
#include "editing/grid_formula.h"

class MainWindow;

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
