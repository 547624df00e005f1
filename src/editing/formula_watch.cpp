#include "editing/formula_watch.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/texts.h"
#include "editing/formula_worker.h"

#include <algorithm>
#include <cstring>

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

namespace {

// The most characters of a formula's text a message shows.
constexpr int kReadableChars = 300;

}  // namespace

QString readableFormulaText(int language, const QString& text, qint64 full_length)
{
    const qint64 length = std::max<qint64>(full_length, text.size());
    if (length <= kReadableChars)
        return text;
    return text.left(kReadableChars)
        + byLanguage(language, "… (текст обрезан, всего символов: %1)", "… (the text is cut, %1 characters in all)")
              .arg(length);
}

QString formulaFailureText(int language, grid_formula::FormulaStatus status, int signal, const QString& formula)
{
    const QString name = readableFormulaText(language, formula.simplified(), formula.simplified().size());
    switch (status) {
    case grid_formula::FormulaStatus::OutOfMemory:
        return byLanguage(language, "Формуле не хватило памяти: %1\nПлотностной грид не изменён.",
                          "The formula ran out of memory: %1\nThe density grid is unchanged.")
            .arg(name);
    case grid_formula::FormulaStatus::Crashed: {
        const char* what = signal > 0 ? ::strsignal(signal) : nullptr;
        const QString how = signal > 0
            ? byLanguage(language, "сигнал %1, %2", "signal %1, %2").arg(signal).arg(QString::fromLocal8Bit(what))
            : byLanguage(language, "без ответа", "without an answer");
        return byLanguage(language,
                          "Процесс, вычислявший формулу, аварийно завершился (%1): %2\nПлотностной грид не изменён.",
                          "The process computing the formula crashed (%1): %2\nThe density grid is unchanged.")
            .arg(how, name);
    }
    default:
        return byLanguage(language,
                          "Не удалось запустить процесс вычисления формул (%1). Плотностной грид не изменён.",
                          "The formula process could not be started (%1). The density grid is unchanged.")
            .arg(grid_formula::formulaWorkerPath());
    }
}

QString cellValueText(int language, double value)
{
    switch (grid_formula::cell_value_fault(value)) {
    case grid_formula::CellValueFault::NotANumber:
        break;
    case grid_formula::CellValueFault::Infinite:
        return byLanguage(language, "бесконечное значение", "an infinite value");
    case grid_formula::CellValueFault::BeyondSinglePrecision:
        return byLanguage(language, "значение %1 за пределами одинарной точности",
                          "the value %1, beyond the single-precision range")
            .arg(value, 0, 'g', 6);
    }
    return byLanguage(language, "значение, не являющееся числом", "a value that is not a number");
}
