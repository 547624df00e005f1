#pragma once
// User formulas in the script language (Qt Script, ECMAScript): the grid
// formula of the density grid (variables dens, Vp, Vs, R, h) and the script
// formulas of the velocity-to-density conversion (variables Vp, Vs, h).
//
// A formula is the user's expression; it is wrapped as
//   (function(<variables>) { return <expression>;})
// checked for syntax once, evaluated once into a function, and that
// function is called for every cell with the cell's values as numbers.
#include <QScriptValue>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "common/types.h"

class QScriptEngine;

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

// One script engine holding compiled formulas. Not copyable; lives for one
// conversion.
class FormulaEngine {
public:
    FormulaEngine();
    ~FormulaEngine();
    FormulaEngine(const FormulaEngine&) = delete;
    FormulaEngine& operator=(const FormulaEngine&) = delete;

    // Compiles an expression of the variables. Returns the formula's index,
    // or -1 when the wrapped text is not valid (with the reason in *error).
    int compile(const QStringList& variables, const QString& expression, SyntaxError* error = nullptr);

    // Calls formula `index` with the arguments as script numbers and returns
    // the number the script makes of the result (NaN for a value that is not
    // a number, or when the call threw). A thrown exception is remembered in
    // firstException(). Calling an index that did not compile gives NaN.
    double call(int index, const std::vector<double>& arguments);

    // The text of the first exception any call threw ("" when none did).
    QString firstException() const { return first_exception; }

private:
    std::unique_ptr<QScriptEngine> engine;
    std::vector<QScriptValue> functions;
    QString first_exception;
};

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
    NonFinite     // the expression gave a value that is not a finite number
};

struct FormulaResult {
    FormulaStatus status = FormulaStatus::Ok;
    SyntaxError syntax;       // for SyntaxError
    int level = -1, row = -1, column = -1;  // first cell without a finite value
    QString exception;        // the script's exception there, if it threw
    bool ok() const { return status == FormulaStatus::Ok; }
};

// Called with the percentage done before every level.
using Progress = std::function<void(int percent)>;

// Evaluates the grid formula on every cell of the density grid. The depth
// of level k is z[0] + k * (z[1] - z[0]). Vp, Vs and R are the cells of
// those grids when they fit the density grid, 0 otherwise. On Ok `out`
// receives the new grid; otherwise it is left unchanged.
FormulaResult evaluate_grid_formula(const QString& formula, const vector3D& density, const std::vector<double>& z,
                                    const vector3D& vp, const vector3D& vs, const vector3D& regularizer,
                                    vector3D& out, const Progress& progress = Progress());

}  // namespace grid_formula
