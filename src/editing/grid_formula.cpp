#include "editing/grid_formula.h"

#include <QCoreApplication>
#include <QScriptEngine>
#include <QScriptSyntaxCheckResult>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace grid_formula {

QString wrap(const QStringList& variables, const QString& expression)
{
    return QStringLiteral("(function(") + variables.join(QStringLiteral(", ")) + QStringLiteral(") { return ")
        + expression + QStringLiteral(";})");
}

bool formula_is_empty(const QString& text)
{
    return text.trimmed().isEmpty();
}

int nul_position(const QString& text)
{
    return text.indexOf(QChar(0));
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

namespace {

// The most variables a formula may have (the grid formula has five).
constexpr int kMaxArguments = 8;

// The script that makes a formula's closure: make(f, n) gives a function
// that calls f with the first n entries of the argument array and returns
// the result as a number (unary plus, which runs the result's valueOf or
// toString here), or, when anything throws, the exception's text (a
// string, by the String function as it was before any user code ran), or
// null when even that text cannot be made.
QString make_script()
{
    QStringList makers;
    for (int n = 0; n <= kMaxArguments; ++n) {
        QStringList args;
        for (int i = 0; i < n; ++i)
            args << QStringLiteral("a[%1]").arg(i);
        makers << QStringLiteral("function(f) { return function() { try { return +f(%1); } "
                                 "catch (e) { return text(e); } }; }")
                      .arg(args.join(QStringLiteral(", ")));
    }
    return QStringLiteral("(function(a, S) {\n"
                          "  function text(e) { try { return S(e); } catch (x) { return null; } }\n"
                          "  var makers = [")
        + makers.join(QStringLiteral(",\n  "))
        + QStringLiteral("];\n"
                         "  return function(f, n) { return makers[n](f); };\n"
                         "})");
}

// The text of a value read back from the engine: only a primitive is
// converted (an object's conversion would run its script code).
QString primitive_text(const QScriptValue& value)
{
    if (value.isString() || value.isNumber() || value.isBool())
        return value.toString();
    return untextableException();
}

bool fill_error(const QScriptSyntaxCheckResult& check, int offset, SyntaxError* error)
{
    if (check.state() == QScriptSyntaxCheckResult::Valid)
        return true;
    if (error) {
        error->message = check.errorMessage();
        if (error->message.isEmpty())
            error->message = QStringLiteral("incomplete expression");
        error->line = check.errorLineNumber() > 0 ? check.errorLineNumber() : 0;
        error->column = check.errorColumnNumber() > 0 ? check.errorColumnNumber() : 0;
        // Positions on the first line count from the start of the user's text.
        if (error->line == 1 && error->column > offset)
            error->column -= offset;
    }
    return false;
}

// The name of a compiled formula's closure in the activation of the
// context the calls run in (see call()); no user function sees it.
QString function_name(std::size_t index)
{
    return QStringLiteral("f%1").arg(index);
}

}  // namespace

QString untextableException()
{
    return QStringLiteral("the formula's error cannot be turned into text");
}

FormulaEngine::FormulaEngine() : engine(new QScriptEngine)
{
    // Built before any user code has run, so nothing here can be hooked.
    // The argument array lives only in the closures of make; its entries
    // are its own from the start, so setting them never reaches a setter
    // of a prototype. make itself is held here only, never in a global.
    argument_array = engine->newArray(kMaxArguments);
    for (quint32 i = 0; i < quint32(kMaxArguments); ++i)
        argument_array.setProperty(i, QScriptValue());
    QScriptValue factory = engine->evaluate(make_script());
    make = factory.call(QScriptValue(), QScriptValueList{argument_array,
                                                         engine->globalObject().property(QStringLiteral("String"))});
}

FormulaEngine::~FormulaEngine()
{
    leaveCallContext();
}

void FormulaEngine::leaveCallContext()
{
    if (call_context) {
        engine->popContext();
        call_context = nullptr;
    }
}


int FormulaEngine::compile(const QStringList& variables, const QString& expression, SyntaxError* error)
{
    // The engine reads a text only up to a NUL: what follows would be lost.
    if (const int nul = nul_position(expression); nul >= 0) {
        if (error) {
            error->message = QStringLiteral("the text holds a NUL character at position %1").arg(nul + 1);
            error->line = 0;
            error->column = 0;
        }
        return -1;
    }
    // The text by itself first: a text that closes the wrapper (say
    // "0;}); for(;;){}; (function(){return 0") is no valid program alone.
    if (!fill_error(QScriptEngine::checkSyntax(expression), 0, error))
        return -1;
    // Then as one expression: this catches the texts that are valid alone
    // only because a block or a regular expression swallows the closing of
    // the wrapper ("{}/1}); ...; (function(){return 1/i"). An empty text
    // stays valid: its function returns nothing.
    if (!formula_is_empty(expression)
        && QScriptEngine::checkSyntax(QStringLiteral("(") + expression + QStringLiteral("\n)")).state()
               != QScriptSyntaxCheckResult::Valid) {
        if (error) {
            error->message = QStringLiteral("the text is not a single expression");
            error->line = 0;
            error->column = 0;
        }
        return -1;
    }
    // Length of the wrapper before the user's text (the empty wrapper less ";})").
    const int prefix = wrap(variables, QString()).size() - 3;
    const QString text = wrap(variables, expression);
    if (!fill_error(QScriptEngine::checkSyntax(text), prefix, error))
        return -1;
    if (variables.size() > kMaxArguments || was_aborted) {
        if (error) {
            error->message = was_aborted ? QStringLiteral("the run was stopped")
                                         : QStringLiteral("too many variables");
            error->line = 0;
            error->column = 0;
        }
        return -1;
    }
    // The wrapper is evaluated into a function (nothing of the user's text
    // runs: it is one function expression) in the global context, so that
    // the user's function sees the global scope only, and handed to make;
    // the closure make gives is kept here and reached by the call program
    // through the activation of a context of its own (see call()): only a
    // running evaluation can be aborted, a bare QScriptValue::call cannot.
    leaveCallContext();
    const QScriptValue function = engine->evaluate(text, QString(), 1);
    QScriptValue closure;
    if (!engine->hasUncaughtException() && function.isFunction() && !was_aborted)
        closure = make.call(QScriptValue(), QScriptValueList{function, QScriptValue(int(variables.size()))});
    if (engine->hasUncaughtException() || !closure.isFunction() || was_aborted) {
        if (error) {
            // Before any user code ran an exception is the engine's own
            // (too deep a nesting, say), and its text is safe to make.
            const QScriptValue exception = engine->uncaughtException();
            error->message = !engine->hasUncaughtException() ? QStringLiteral("the text is not one expression")
                : (!called && exception.isError()) ? exception.toString()
                                                   : primitive_text(exception);
            error->line = 0;
            error->column = 0;
        }
        engine->clearExceptions();
        return -1;
    }
    const std::size_t index = functions.size();
    Compiled compiled;
    compiled.closure = closure;
    compiled.program = QScriptProgram(function_name(index) + QStringLiteral("()"));
    compiled.arguments = variables.size();
    functions.push_back(compiled);
    return static_cast<int>(index);
}

double FormulaEngine::call(int index, const std::vector<double>& arguments)
{
    if (was_aborted || index < 0 || index >= static_cast<int>(functions.size()))
        return std::numeric_limits<double>::quiet_NaN();
    const Compiled& f = functions[static_cast<std::size_t>(index)];
    if (!call_context && !direct_calls) {
        // The calls run as the body of a function whose locals are the
        // closures: the call programs find them, the user's functions (made
        // in the global scope) do not, so no formula reaches another's.
        call_context = engine->pushContext();
        QScriptValue locals = call_context->activationObject();
        for (std::size_t i = 0; i < functions.size(); ++i)
            locals.setProperty(function_name(i), functions[i].closure);
    }
    for (int i = 0; i < f.arguments; ++i)
        argument_array.setProperty(quint32(i), i < static_cast<int>(arguments.size())
                                                   ? QScriptValue(arguments[static_cast<std::size_t>(i)])
                                                   : QScriptValue());
    called = true;
    QScriptValue closure = f.closure;
    const QScriptValue result = direct_calls ? closure.call() : engine->evaluate(f.program);
    if (was_aborted) {
        engine->clearExceptions();
        return std::numeric_limits<double>::quiet_NaN();
    }
    // The closure gives a number, or the text of an exception. Anything
    // else (a formula that replaced the closure's global, say) counts as no
    // number; nothing but primitives is converted here.
    double value = std::numeric_limits<double>::quiet_NaN();
    QString exception;
    if (engine->hasUncaughtException()) {
        exception = primitive_text(engine->uncaughtException());
        engine->clearExceptions();
    } else if (result.isNumber()) {
        value = result.toNumber();
    } else if (result.isString()) {
        exception = result.toString();
    } else if (result.isNull()) {
        exception = untextableException();
    }
    if (first_exception.isEmpty())
        first_exception = exception;
    if (watching)
        keepLive();
    return was_aborted ? std::numeric_limits<double>::quiet_NaN() : value;
}

void FormulaEngine::setWatch(const Watch& w)
{
    watch = w;
    watching = true;
    const int interval = std::max(1, watch.events_interval_ms);
    // Inside one long call the engine itself lets events run; the timer then
    // does the polling.
    engine->setProcessEventsInterval(interval);
    if (!timer) {
        timer.reset(new QTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this] { poll(); });
    }
    timer->start(interval);
    next_question_ms = watch.time_limit_ms;
    run_time.start();
    since_events.start();
}

void FormulaEngine::abort()
{
    was_aborted = true;
    if (engine->isEvaluating())
        engine->abortEvaluation();
}

void FormulaEngine::keepLive()
{
    if (since_events.elapsed() < watch.events_interval_ms)
        return;
    QCoreApplication::processEvents();
    since_events.start();
    poll();
}

void FormulaEngine::poll()
{
    if (was_aborted) {
        abort();  // again, should anything be evaluating since
        return;
    }
    if (asking)
        return;
    if (watch.stop_requested && watch.stop_requested()) {
        abort();
        return;
    }
    if (watch.time_limit_ms <= 0 || run_time.elapsed() < next_question_ms)
        return;
    asking = true;
    const bool go_on = !watch.go_on || watch.go_on(run_time.elapsed());
    asking = false;
    if (!go_on || (watch.stop_requested && watch.stop_requested()))
        abort();
    else
        next_question_ms = run_time.elapsed() + watch.time_limit_ms;
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

CellValueFault cell_value_fault(double value)
{
    if (std::isnan(value))
        return CellValueFault::NotANumber;
    if (std::isinf(value))
        return CellValueFault::Infinite;
    return CellValueFault::BeyondSinglePrecision;
}

}  // namespace grid_formula
