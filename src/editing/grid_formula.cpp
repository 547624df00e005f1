#include "editing/grid_formula.h"

#include "editing/layers.h"

#include <QScriptEngine>
#include <QScriptSyntaxCheckResult>
#include <QScriptValueList>

#include <cmath>
#include <limits>

namespace grid_formula {

QString wrap(const QStringList& variables, const QString& expression)
{
    return QStringLiteral("(function(") + variables.join(QStringLiteral(", ")) + QStringLiteral(") { return ")
        + expression + QStringLiteral(";})");
}

QStringList gridFormulaVariables()
{
    return {QStringLiteral("dens"), QStringLiteral("Vp"), QStringLiteral("Vs"), QStringLiteral("R"),
            QStringLiteral("h")};
}

QStringList velocityFormulaVariables()
{
    return {QStringLiteral("Vp"), QStringLiteral("Vs"), QStringLiteral("h")};
}

FormulaEngine::FormulaEngine() : engine(new QScriptEngine) {}

FormulaEngine::~FormulaEngine() = default;

int FormulaEngine::compile(const QStringList& variables, const QString& expression, SyntaxError* error)
{
    // Length of the wrapper before the user's text (the empty wrapper less ";})").
    const int prefix = wrap(variables, QString()).size() - 3;
    const QString text = wrap(variables, expression);
    const QScriptSyntaxCheckResult check = QScriptEngine::checkSyntax(text);
    if (check.state() != QScriptSyntaxCheckResult::Valid) {
        if (error) {
            error->message = check.errorMessage();
            if (error->message.isEmpty())
                error->message = QStringLiteral("incomplete expression");
            error->line = check.errorLineNumber() > 0 ? check.errorLineNumber() : 0;
            error->column = check.errorColumnNumber() > 0 ? check.errorColumnNumber() : 0;
            // Positions on the first line count from the start of the user's text.
            if (error->line == 1 && error->column > prefix)
                error->column -= prefix;
        }
        return -1;
    }
    QScriptValue function = engine->evaluate(text, QString(), 1);
    if (engine->hasUncaughtException() || !function.isFunction()) {
        if (error) {
            error->message = engine->hasUncaughtException() ? engine->uncaughtException().toString()
                                                            : QStringLiteral("the text is not one expression");
            error->line = 0;
            error->column = 0;
        }
        engine->clearExceptions();
        return -1;
    }
    functions.push_back(function);
    return static_cast<int>(functions.size()) - 1;
}

double FormulaEngine::call(int index, const std::vector<double>& arguments)
{
    if (index < 0 || index >= static_cast<int>(functions.size()))
        return std::numeric_limits<double>::quiet_NaN();
    QScriptValueList args;
    args.reserve(static_cast<int>(arguments.size()));
    for (double a : arguments)
        args.append(QScriptValue(a));
    const QScriptValue result = functions[static_cast<std::size_t>(index)].call(QScriptValue(), args);
    if (engine->hasUncaughtException()) {
        if (first_exception.isEmpty())
            first_exception = engine->uncaughtException().toString();
        engine->clearExceptions();
        return std::numeric_limits<double>::quiet_NaN();
    }
    return result.toNumber();
}

bool grid_fits(const vector3D& grid, const vector3D& density)
{
    if (grid.empty() || density.empty() || grid.size() != density.size())
        return false;
    if (grid.front().size() != density.front().size())
        return false;
    if (grid.front().empty())
        return density.front().empty();
    if (density.front().empty() || grid.front().front().size() != density.front().front().size())
        return false;
    // Every level and row must hold the same cells, so that each density
    // cell has its partner.
    const std::size_t ny = density.front().size();
    const std::size_t nx = density.front().front().size();
    for (std::size_t k = 0; k < grid.size(); ++k) {
        if (grid[k].size() < ny || density[k].size() > grid[k].size())
            return false;
        for (std::size_t i = 0; i < density[k].size(); ++i)
            if (grid[k][i].size() < density[k][i].size() || grid[k][i].size() < nx)
                return false;
    }
    return true;
}

FormulaResult evaluate_grid_formula(const QString& formula, const vector3D& density, const std::vector<double>& z,
                                    const vector3D& vp, const vector3D& vs, const vector3D& regularizer,
                                    vector3D& out, const Progress& progress)
{
    FormulaResult result;
    if (density.empty() || z.size() < (density.size() > 1 ? 2u : 1u)) {
        result.status = FormulaStatus::EmptyGrid;
        return result;
    }
    FormulaEngine engine;
    const int f = engine.compile(gridFormulaVariables(), formula, &result.syntax);
    if (f < 0) {
        result.status = FormulaStatus::SyntaxError;
        return result;
    }
    const bool use_vp = grid_fits(vp, density);
    const bool use_vs = grid_fits(vs, density);
    const bool use_reg = grid_fits(regularizer, density);

    vector3D cells = density;
    std::vector<double> args(5, 0.0);
    const std::size_t nz = cells.size();
    for (std::size_t k = 0; k < nz; ++k) {
        if (progress)
            progress(static_cast<int>(100 * k / nz));
        const double h = layers::level_depth(z, static_cast<int>(k));
        for (std::size_t i = 0; i < cells[k].size(); ++i)
            for (std::size_t j = 0; j < cells[k][i].size(); ++j) {
                args[0] = cells[k][i][j];
                args[1] = use_vp ? double(vp[k][i][j]) : 0.0;
                args[2] = use_vs ? double(vs[k][i][j]) : 0.0;
                args[3] = use_reg ? double(regularizer[k][i][j]) : 0.0;
                args[4] = h;
                const data_type value = static_cast<data_type>(engine.call(f, args));
                if (!std::isfinite(value)) {
                    result.status = FormulaStatus::NonFinite;
                    result.level = int(k);
                    result.row = int(i);
                    result.column = int(j);
                    result.exception = engine.firstException();
                    return result;
                }
                cells[k][i][j] = value;
            }
    }
    out = std::move(cells);
    return result;
}

}  // namespace grid_formula
