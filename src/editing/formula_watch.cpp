#include "editing/formula_watch.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/texts.h"

grid_formula::Watch userFormulaWatch(MainWindow& w)
{
    grid_formula::Watch watch;
    watch.stop_requested = [&w] { return w.abort_requested; };
    watch.time_limit_ms = w.formula_time_limit_ms;
    watch.go_on = [&w](qint64 elapsed_ms) {
        const QString text = byLanguage(w.language, "Формула вычисляется уже %1 с. Продолжить вычисление?",
                                        "The formula has been running for %1 s. Do you want to go on?")
                                 .arg(elapsed_ms / 1000);
        return interaction()->question(QStringLiteral("Tolmera3D"), text, QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::Yes, &w)
            != QMessageBox::No;
    };
    return watch;
}

FormulaStatusText::FormulaStatusText(MainWindow& w) : keep(w.progress_label)
{
    if (w.progress_label)
        w.progress_label->setText(byLanguage(w.language, "Вычисляется формула. Нажмите Esc, чтобы прервать.",
                                             "Computing the formula. Press Esc to stop it."));
}
