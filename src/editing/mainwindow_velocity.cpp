// Velocity-to-density conversion commands: the per-layer formulas dialog and
// its conversion, Gardner's formula and its inverse. The formulas themselves
// live in editing/velocity_density.h, the script rows in editing/grid_formula.h.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "editing/formula_watch.h"
#include "editing/formulasdialog.h"
#include "editing/formula_worker.h"
#include "editing/grid_formula.h"
#include "editing/grid_memory.h"
#include "editing/grid_memory_question.h"
#include "editing/velocity_density.h"
#include "formats/progress_bar_scope.h"

#include <QDebug>

namespace vd = velocity_density;

namespace {

vd::Progress barProgress(ProgressBarScope& scope)
{
    const CodecProgress step = scope.callback();
    if (!step)
        return vd::Progress();
    return [step](int percent) { step(percent); };
}

QString cellPlace(int language, const vd::BadCell& bad)
{
    return byLanguage(language, "уровень %1, строка %2, столбец %3", "level %1, row %2, column %3")
        .arg(bad.level + 1)
        .arg(bad.row + 1)
        .arg(bad.column + 1);
}

QString noVpText(int language)
{
    return byLanguage(language, "Загрузите 3D грид Vp", "3D grid Vp is empty");
}

QString vpVsMismatchText(int language)
{
    return byLanguage(language, "Параметры гридов Vp и Vs не совпадают", "Parameters of Vp and Vs grids aren't equal");
}

QString formulaCountText(int language)
{
    return byLanguage(language, " Количество формул не совпадает с количеством слоев",
                      "Formulas and layers count must be equal");
}

QString damagedGridText(int language)
{
    return byLanguage(language, "Грид повреждён: размеры уровней различаются или глубин меньше, чем уровней",
                      "The grid is damaged: its levels differ in size or it has fewer depths than levels");
}

QString syntaxErrorText(int language, std::size_t layer, const grid_formula::SyntaxError& error)
{
    return byLanguage(language, "Синтаксическая ошибка в формуле слоя %1: %2",
                      "Syntax error in the formula of layer %1: %2")
        .arg(layer + 1)
        .arg(error.message);
}

// The first cell whose value no cell can hold, named as the grid formula
// names it.
QString layerBadValueText(int language, int layer, const vd::BadCell& bad)
{
    return byLanguage(language, "Формула слоя %1 даёт %2 (%3). Плотностной грид не изменён.",
                      "The formula of layer %1 gives %2 (%3). The density grid is unchanged.")
        .arg(layer + 1)
        .arg(cellValueText(language, bad.value), cellPlace(language, bad));
}

QString stoppedText(int language)
{
    return byLanguage(language, "Пересчет прерван. Плотностной грид не изменён.",
                      "The conversion was stopped. The density grid is unchanged.");
}

using CubeConversion = vd::ConvertStatus (*)(const vector3D&, vector3D&, vd::BadCell*, const vd::Progress&);

// Gardner's formula or its inverse over a whole cube, with the progress bar.
// False, with the error shown, when the source is damaged or a cell gives
// a value that is not a number; notANumber takes the place of that cell.
bool convertCube(MainWindow& w, CubeConversion convert, const vector3D& source, vector3D& converted,
                 const QString& notANumber)
{
    vd::BadCell bad;
    vd::ConvertStatus status;
    {
        ProgressBarScope progress(&w.progress_bar);
        status = convert(source, converted, &bad, barProgress(progress));
    }
    if (status == vd::ConvertStatus::BadGrid) {
        w.show_error(damagedGridText(w.language));
        return false;
    }
    if (status != vd::ConvertStatus::Ok) {
        w.show_error(notANumber.arg(cellPlace(w.language, bad)));
        return false;
    }
    return true;
}

// The message for a conversion whose worker gave no result, or "" when it did.
QString scriptFailureText(int language, const grid_formula::ScriptConversion& run, const QString& formula)
{
    using grid_formula::WorkerStatus;
    switch (run.worker.status) {
    case WorkerStatus::OutOfMemory:
    case WorkerStatus::Crashed:
    case WorkerStatus::NotStarted:
    case WorkerStatus::JobMemory:
    case WorkerStatus::EndedEarly:
    case WorkerStatus::BadAnswer:
    case WorkerStatus::AddressLimit:
        return formulaFailureText(language, grid_formula::formula_status(run.worker.status), run.worker.signal,
                                  run.worker.fault, formula);
    default:
        return QString();
    }
}

// What a conversion allocates beyond what the project holds: the converted
// cube, and the data and the worker of its script rows.
double conversionNeedBytes(const vd::ConversionInput& in, const std::vector<vd::LayerFormula>& per_layer)
{
    const int source = vd::conversion_source(in);
    const vector3D& cube = source == 1 ? *in.vp : source == 2 ? *in.vs : *in.density;
    double bytes = double(grid_formula::script_conversion_need_bytes(in, per_layer));
    if (!cube.empty() && !cube.front().empty())
        bytes += grid_memory::cube_bytes(double(cube.front().front().size()), double(cube.front().size()),
                                         double(cube.size()));
    return bytes;
}

}  // namespace

// The density grid takes the cells and nodes of a converted cube; the stored
// operators and the cached regularization weight stay only while they serve
// its geometry.
static void takeConvertedGrid(MainWindow& w, vector3D&& cells, const std::vector<double>& x,
                              const std::vector<double>& y, const std::vector<double>& z)
{
    const bool same = w.den_grid.size() == cells.size() && w.x_calc == x && w.y_calc == y && w.z_calc == z
        && !cells.empty() && !w.den_grid.empty() && w.den_grid.front().size() == cells.front().size();
    w.den_grid = std::move(cells);
    if (same) {
        w.dropStaleOperators();
        return;
    }
    w.x_calc = x;
    w.y_calc = y;
    w.z_calc = z;
    w.x_norm = x;
    w.y_norm = y;
    w.z_norm = z;
    w.norm_factors = NormFactors();
    if (!x.empty() && !y.empty() && !z.empty())
        w.model_bounds = {x.front(), x.back(), y.front(), y.back(), z.front(), z.back()};
    w.dropStaleOperators();
}

void MainWindow::on_vel_dens_triggered()
{
    if (refuseWhileRunning())
        return;
    FormulasDialog dialog;
    dialog.setLanguage(language);
    dialog.setLayersNames(layers_names);
    dialog.setFormulas(formulas.types, formulas.a, formulas.b, formulas.c);
    dialog.addFormulaRows(horizons.empty() ? 1 : static_cast<int>(horizons.size()));
    connect(&dialog,
            SIGNAL(formulasSelected(std::vector<int>&, std::vector<QString>&, std::vector<QString>&,
                                    std::vector<QString>&)),
            this,
            SLOT(recalc3DgridFormulas(std::vector<int>&, std::vector<QString>&, std::vector<QString>&,
                                      std::vector<QString>&)));
    interaction()->runDialog(&dialog);
}

void MainWindow::recalc3DgridFormulas(std::vector<int>& types, std::vector<QString>& formulas_a,
                                      std::vector<QString>& formulas_b, std::vector<QString>& formulas_c)
{
    if (refuseWhileRunning())
        return;
    const std::size_t layers_count = horizons.size();
    const std::size_t rows = types.size();
    const bool lists_in_step = formulas_a.size() == rows && formulas_b.size() == rows && formulas_c.size() == rows;
    if ((layers_count > 0 && rows != layers_count) || rows == 0 || !lists_in_step) {
        show_error(formulaCountText(language));
        return;
    }
    // Kept even when a check below stops the conversion, so that the dialog
    // shows them again.
    formulas.types = types;
    formulas.a = formulas_a;
    formulas.b = formulas_b;
    formulas.c = formulas_c;

    vd::ConversionInput in;
    in.vp = &Vp_grid;
    in.vp_z = &z_vp;
    in.vs = &Vs_grid;
    in.vs_z = &z_vs;
    in.density = &den_grid;
    in.density_z = &z_calc;
    in.horizons = &horizons;
    const std::vector<vd::LayerFormula> per_layer = vd::parse_layer_formulas(types, formulas_a, formulas_b, formulas_c);

    switch (vd::check_conversion(in, per_layer.size())) {
    case vd::ConvertStatus::Ok:
        break;
    case vd::ConvertStatus::NoSource:
        show_error(noVpText(language));
        return;
    case vd::ConvertStatus::HorizonsMismatch:
        show_error(byLanguage(language, "Параметры разбиения горизонтов и грида Vp не совпадают",
                              "Parameters of horizons and Vp grid doesn't match"));
        return;
    case vd::ConvertStatus::DensityHorizonsMismatch:
        show_error(byLanguage(language, "Параметры разбиения горизонтов и куба плотности не совпадают",
                              "Parameters of horizons and 3D density grid don't match"));
        return;
    case vd::ConvertStatus::VpVsMismatch:
        show_error(vpVsMismatchText(language));
        return;
    case vd::ConvertStatus::FormulaCount:
        show_error(formulaCountText(language));
        return;
    case vd::ConvertStatus::BadGrid:
    case vd::ConvertStatus::NonFinite:
        show_error(damagedGridText(language));
        return;
    }

    // Script rows: each must hold a formula, and each is compiled once and
    // must compile. The user's scripts may run long or never end: Esc (or
    // "no" to the time question) stops them.
    for (std::size_t i = 0; i < per_layer.size(); ++i)
        if (per_layer[i].type == vd::Script && grid_formula::formula_is_empty(formulas_a[i])) {
            show_error(emptyFormulaText(language, int(i)));
            return;
        }
    if (!grid_memory::confirm_need(this, language, conversionNeedBytes(in, per_layer)))
        return;
    const int source = vd::conversion_source(in);
    vector3D converted;
    grid_formula::ScriptConversion run;
    {
        RunGuard guard(this, RunKind::Formula);
        if (!guard)
            return;
        const FormulaStatusText status_text(*this);
        ProgressBarScope progress(&progress_bar);
        const grid_formula::Watch watch = userFormulaWatch(*this);
        run = grid_formula::convert_with_scripts(in, per_layer, formulas_a, converted, barProgress(progress), &watch);
        abort_requested = false;
    }
    if (run.worker.status == grid_formula::WorkerStatus::SyntaxError) {
        grid_formula::SyntaxError error = run.worker.syntax;
        error.message = readableFormulaText(language, error.message, run.worker.exception_length);
        show_error(syntaxErrorText(language, std::size_t(std::max(0, run.row)), error));
        return;
    }
    if (run.worker.status == grid_formula::WorkerStatus::Aborted) {
        show_message(stoppedText(language));
        return;
    }
    const QString failure = scriptFailureText(
        language, run, run.row >= 0 ? formulas_a[std::size_t(run.row)] : QString());
    if (!failure.isEmpty()) {
        show_error(failure);
        return;
    }
    if (run.status != vd::ConvertStatus::Ok) {
        QString text = layerBadValueText(language, run.bad.layer, run.bad);
        if (!run.worker.exception.isEmpty())
            text += QLatin1Char('\n') + readableFormulaText(language, run.worker.exception, run.worker.exception_length);
        show_error(text);
        return;
    }

    update_undo(1);
    if (source == 1)
        takeConvertedGrid(*this, std::move(converted), x_vp, y_vp, z_vp);
    else if (source == 2)
        takeConvertedGrid(*this, std::move(converted), x_vs, y_vs, z_vs);
    else
        den_grid = std::move(converted);
    on_view_dens_triggered();
}

void MainWindow::on_gardner_formula_triggered()
{
    if (refuseWhileRunning())
        return;
    if (Vp_grid.empty()) {
        show_error(noVpText(language));
        return;
    }
    vector3D converted;
    if (!convertCube(*this, vd::gardner_cube, Vp_grid, converted,
                     byLanguage(language,
                                "Формула Гарднера даёт значение, не являющееся числом (%1): скорости не могут быть "
                                "отрицательными. Плотностной грид не изменён.",
                                "Gardner's formula gives a value that is not a number (%1): velocities must not be "
                                "negative. The density grid is unchanged.")))
        return;
    takeConvertedGrid(*this, std::move(converted), x_vp, y_vp, z_vp);
    on_view_dens_triggered();
}

void MainWindow::on_inverse_gardner_formula_triggered()
{
    if (refuseWhileRunning())
        return;
    if (den_grid.empty()) {
        show_error(byLanguage(language, "Загрузите 3D грид плотности", "3D density grid is empty"));
        return;
    }
    vector3D converted;
    if (!convertCube(*this, vd::inverse_gardner_cube, den_grid, converted,
                     byLanguage(language,
                                "Обратная формула Гарднера даёт значение, не являющееся числом (%1). Грид Vp не "
                                "изменён.",
                                "The inverse Gardner formula gives a value that is not a number (%1). The Vp grid is "
                                "unchanged.")))
        return;
    Vp_grid = std::move(converted);
    x_vp = x_calc;
    y_vp = y_calc;
    z_vp = z_calc;
    on_view_Vp_triggered();
}

// The first stored formula as a script of Vp, Vs and h over the whole Vp
// cube (else the Vs cube), whatever the layers: the per-layer conversion with
// one script row and the horizons left out.
void MainWindow::convert_vel_to_dens()
{
    if (refuseWhileRunning())
        return;
    if (!horizons.empty())
        show_error(QString::fromUtf8("Пока работает только с одной формулой без горизонтов"));
    if (Vp_grid.empty() && Vs_grid.empty()) {
        show_error(noVpText(language));
        return;
    }
    const QString text = formulas.a.empty() ? QString() : formulas.a.front();
    vd::ConversionInput in;
    in.vp = &Vp_grid;
    in.vp_z = &z_vp;
    in.vs = &Vs_grid;
    in.vs_z = &z_vs;
    const std::vector<vd::LayerFormula> one{vd::LayerFormula{vd::Script}};
    if (grid_formula::formula_is_empty(text)) {
        show_error(emptyFormulaText(language, -1));
        return;
    }
    if (!grid_memory::confirm_need(this, language, conversionNeedBytes(in, one)))
        return;
    vector3D converted;
    grid_formula::ScriptConversion run;
    {
        RunGuard guard(this, RunKind::Formula);
        if (!guard)
            return;
        const FormulaStatusText status_text(*this);
        ProgressBarScope progress(&progress_bar);
        const grid_formula::Watch watch = userFormulaWatch(*this);
        run = grid_formula::convert_with_scripts(in, one, {text}, converted, barProgress(progress), &watch);
        abort_requested = false;
    }
    if (run.worker.status == grid_formula::WorkerStatus::SyntaxError) {
        grid_formula::SyntaxError error = run.worker.syntax;
        error.message = readableFormulaText(language, error.message, run.worker.exception_length);
        show_error(syntaxErrorText(language, 0, error));
        return;
    }
    if (run.worker.status == grid_formula::WorkerStatus::Aborted) {
        show_message(stoppedText(language));
        return;
    }
    const QString failure = scriptFailureText(language, run, text);
    if (!failure.isEmpty()) {
        show_error(failure);
        return;
    }
    if (run.status == vd::ConvertStatus::VpVsMismatch) {
        show_error(vpVsMismatchText(language));
        return;
    }
    if (run.status != vd::ConvertStatus::Ok) {
        show_error(layerBadValueText(language, 0, run.bad));
        return;
    }
    update_undo(1);
    if (vd::conversion_source(in) == 1)
        takeConvertedGrid(*this, std::move(converted), x_vp, y_vp, z_vp);
    else
        takeConvertedGrid(*this, std::move(converted), x_vs, y_vs, z_vs);
    on_view_dens_triggered();
}

void MainWindow::importlayers_densities(int n)
{
    qDebug() << "importlayers_densities" << n;
}
