#include "editing/formula_watch.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/texts.h"
#include "editing/formula_worker.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
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

namespace {

QString megabytes(quint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

// What a message says of the worker's answer being unusable: it may be the
// installation's fault.
QString installationText(int language)
{
    return byLanguage(language, "Возможно, установка программы повреждена.", "The installation may be damaged.");
}

}  // namespace

QString formulaFailureText(int language, grid_formula::FormulaStatus status, int signal,
                           const grid_formula::WorkerFault& fault, const QString& formula)
{
    using grid_formula::FormulaStatus;
    const QString unchanged = byLanguage(language, "Плотностной грид не изменён.", "The density grid is unchanged.");
    const QString name = readableFormulaText(language, formula.simplified(), formula.simplified().size());
    switch (status) {
    case FormulaStatus::OutOfMemory:
        return byLanguage(language, "Формуле не хватило памяти: %1\n%2", "The formula ran out of memory: %1\n%2")
            .arg(name, unchanged);
    case FormulaStatus::Crashed: {
        const char* what = signal > 0 ? ::strsignal(signal) : nullptr;
        const QString how = signal > 0
            ? byLanguage(language, "сигнал %1, %2", "signal %1, %2").arg(signal).arg(QString::fromLocal8Bit(what))
            : byLanguage(language, "без ответа", "without an answer");
        return byLanguage(language, "Процесс, вычислявший формулу, аварийно завершился (%1): %2\n%3",
                          "The process computing the formula crashed (%1): %2\n%3")
            .arg(how, name, unchanged);
    }
    case FormulaStatus::JobMemory: {
        const QString size = megabytes(fault.bytes);
        if (fault.folder.isEmpty())
            return byLanguage(language, "Не хватает памяти для данных формулы (%1 МБ). %2",
                              "There is not enough memory for the formula's data (%1 MB). %2")
                .arg(size, unchanged);
        const QString folder = QDir::toNativeSeparators(fault.folder);
        if (fault.error == ENOSPC || fault.error == EDQUOT || fault.error == EFBIG)
            return byLanguage(language, "Во временной папке %1 нет места для данных формулы (%2 МБ). %3",
                              "The temporary folder %1 has no room for the formula's data (%2 MB). %3")
                .arg(folder, size, unchanged);
        return byLanguage(language, "Не удалось разместить данные формулы во временной папке %1: %2. %3",
                          "The formula's data cannot be kept in the temporary folder %1: %2. %3")
            .arg(folder, QString::fromLocal8Bit(::strerror(fault.error)), unchanged);
    }
    case FormulaStatus::EndedEarly:
        return byLanguage(language, "Процесс вычисления формул (%1) завершился, не дав ответа (код %2). %3 %4",
                          "The formula process (%1) ended before it gave its answer (exit code %2). %3 %4")
            .arg(grid_formula::formulaWorkerPath())
            .arg(fault.exit_code)
            .arg(installationText(language), unchanged);
    case FormulaStatus::BadAnswer:
        return byLanguage(language,
                          "Ответ процесса вычисления формул (%1) не соответствует заданию; процесс остановлен. %2 %3",
                          "The formula process (%1) gave an answer that does not fit its task; it was stopped. %2 %3")
            .arg(grid_formula::formulaWorkerPath(), installationText(language), unchanged);
    case FormulaStatus::AddressLimit:
        return byLanguage(language,
                          "Ограничение адресного пространства (ulimit -v) в %1 МБ слишком мало для процесса "
                          "вычисления формул: его интерпретатору нужно не менее %2 МБ. %3",
                          "The address-space limit (ulimit -v) of %1 MB is too low for the formula process: its "
                          "script engine needs at least %2 MB. %3")
            .arg(megabytes(fault.limit), megabytes(grid_formula::kWorkerAddressSpace), unchanged);
    default:
        return byLanguage(language, "Не удалось запустить процесс вычисления формул (%1). %2",
                          "The formula process could not be started (%1). %2")
            .arg(grid_formula::formulaWorkerPath(), unchanged);
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

QString emptyFormulaText(int language, int layer)
{
    if (layer < 0)
        return byLanguage(language, "Формула пуста. Плотностной грид не изменён.",
                          "The formula is empty. The density grid is unchanged.");
    return byLanguage(language, "Формула слоя %1 пуста. Плотностной грид не изменён.",
                      "The formula of layer %1 is empty. The density grid is unchanged.")
        .arg(layer + 1);
}
