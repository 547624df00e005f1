// The grid formula: a script expression of dens, Vp, Vs, R and h that
// replaces every cell of the density grid (evaluation in editing/grid_formula.h).
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "editing/equationdialog.h"
#include "editing/formula_watch.h"
#include "editing/formula_worker.h"
#include "editing/grid_formula.h"
#include "editing/grid_memory.h"
#include "editing/grid_memory_question.h"
#include "formats/progress_bar_scope.h"

void MainWindow::on_formula_triggered()
{
    if (refuseWhileRunning())
        return;
    if (den_grid.empty()) {
        show_error(byLanguage(language, "Плотностной грид пуст", "Density grid is empty"));
        return;
    }
    EquationDialog dialog;
    connect(&dialog, SIGNAL(OKclicked(QString)), this, SLOT(denGridMath(QString)));
    dialog.setLanguage(language);
    dialog.setAvailableGrids(den_grid, Vp_grid, Vs_grid, regularizer);
    interaction()->runDialog(&dialog);
}

// The formula is checked and evaluated on a copy first: an empty text, a
// syntax error, a cell without a finite value, a stop by the user (Esc, or
// "no" to the time question) or a failure of the formula's worker is
// reported and leaves the grid (and the undo stack) as it was. A run that
// needs more memory than is available asks first (the new grid, the
// formula's data and its worker).
void MainWindow::denGridMath(QString formula)
{
    if (refuseWhileRunning())
        return;
    if (den_grid.empty()) {
        show_error(byLanguage(language, "Плотностной грид пуст", "Density grid is empty"));
        return;
    }
    if (grid_formula::formula_is_empty(formula)) {
        show_error(emptyFormulaText(language, -1));
        return;
    }
    if (!den_grid.front().empty()) {
        const double need = grid_memory::cube_bytes(double(den_grid.front().front().size()),
                                                    double(den_grid.front().size()), double(den_grid.size()))
            + double(grid_formula::grid_formula_need_bytes(den_grid, Vp_grid, Vs_grid, regularizer));
        if (!grid_memory::confirm_need(this, language, need))
            return;
    }
    vector3D result;
    grid_formula::FormulaResult r;
    {
        RunGuard run(this, RunKind::Formula);
        if (!run)
            return;
        const FormulaStatusText status_text(*this);
        ProgressBarScope progress(&progress_bar);
        const CodecProgress step = progress.callback();
        const grid_formula::Watch watch = userFormulaWatch(*this);
        r = grid_formula::evaluate_grid_formula(formula, den_grid, z_calc, Vp_grid, Vs_grid, regularizer, result,
                                                [step](int percent) {
                                                    if (step)
                                                        step(percent);
                                                },
                                                &watch);
        abort_requested = false;
    }
    switch (r.status) {
    case grid_formula::FormulaStatus::Ok:
        break;
    case grid_formula::FormulaStatus::Aborted:
        show_message(byLanguage(language, "Вычисление формулы прервано. Плотностной грид не изменён.",
                                "The formula was stopped. The density grid is unchanged."));
        return;
    case grid_formula::FormulaStatus::EmptyGrid:
        show_error(byLanguage(language, "Грид повреждён: глубин меньше, чем уровней",
                              "The grid is damaged: it has fewer depths than levels"));
        return;
    case grid_formula::FormulaStatus::OutOfMemory:
    case grid_formula::FormulaStatus::Crashed:
    case grid_formula::FormulaStatus::NoWorker:
    case grid_formula::FormulaStatus::JobMemory:
    case grid_formula::FormulaStatus::EndedEarly:
    case grid_formula::FormulaStatus::BadAnswer:
    case grid_formula::FormulaStatus::AddressLimit:
        show_error(formulaFailureText(language, r.status, r.signal, r.fault, formula));
        return;
    case grid_formula::FormulaStatus::SyntaxError: {
        QString text = byLanguage(language, "Синтаксическая ошибка в формуле: %1", "Syntax error in the formula: %1")
                           .arg(readableFormulaText(language, r.syntax.message, r.exception_length));
        if (r.syntax.line == 1 && r.syntax.column > 0)
            text += byLanguage(language, " (позиция %1)", " (position %1)").arg(r.syntax.column);
        show_error(text);
        return;
    }
    case grid_formula::FormulaStatus::NonFinite: {
        QString text = byLanguage(language,
                                  "Формула даёт %1 (уровень %2, строка %3, столбец %4). "
                                  "Плотностной грид не изменён.",
                                  "The formula gives %1 (level %2, row %3, column %4). "
                                  "The density grid is unchanged.")
                           .arg(cellValueText(language, r.value))
                           .arg(r.level + 1)
                           .arg(r.row + 1)
                           .arg(r.column + 1);
        if (!r.exception.isEmpty())
            text += QLatin1Char('\n') + readableFormulaText(language, r.exception, r.exception_length);
        show_error(text);
        return;
    }
    }
    update_undo(1);
    den_grid = std::move(result);
    on_view_dens_triggered();
}
