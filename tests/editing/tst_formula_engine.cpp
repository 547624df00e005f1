// Script formulas: compilation, calls, the grid formula over the density
// grid and the conversion's script rows against the fixed formulas.
#include <QtTest>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <csignal>

#include "editing/formula_worker.h"
#include "editing/grid_formula.h"
#include "editing/velocity_density.h"
#include "endless_formulas.h"

using namespace grid_formula;

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

// A cube whose cells differ: v0 + 100 k + 10 i + j.
vector3D ramp(std::size_t nz, std::size_t ny, std::size_t nx, float v0)
{
    vector3D c = cube(nz, ny, nx, 0);
    for (std::size_t k = 0; k < nz; ++k)
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j)
                c[k][i][j] = v0 + 100.f * k + 10.f * i + j;
    return c;
}

// The formulas that never end, and one more: a user's try/catch around
// the loop.
void add_endless_rows()
{
    for (const EndlessFormula& f : endless_formulas())
        if (f.endless)
            QTest::newRow(f.name) << QString(f.text);
    QTest::newRow("loop that catches") << "(function(){for(;;){try{for(;;){}}catch(e){}}})()";
}

// A watch that answers "no" at the first time question and notes that it
// was asked: a formula that should never run, or should end at once,
// cannot hang the test.
Watch noted_watch(bool* asked)
{
    Watch watch;
    watch.time_limit_ms = 200;
    watch.go_on = [asked](qint64) {
        *asked = true;
        return false;
    };
    return watch;
}

}  // namespace

class TestFormulaEngine : public QObject {
    Q_OBJECT

private slots:
    void wrapText();
    void compileAndCall_data();
    void compileAndCall();
    void syntaxErrors_data();
    void syntaxErrors();
    void exceptionIsRemembered();
    void exceptionText_data();
    void exceptionText();
    void argumentsCannotBeHooked();
    void scriptMatchesFixedFormulas_data();
    void scriptMatchesFixedFormulas();
    void workerConversionMatchesCellByCell_data();
    void workerConversionMatchesCellByCell();
    void runsOneAfterAnotherSeeTheirOwnCells();
    void gridFormulaVariables();
    void gridFormulaDepthByLevelStep();
    void gridsThatDoNotFitGiveZero();
    void gridFormulaRefusals_data();
    void gridFormulaRefusals();
    void jobBytes();
    void workerFaults_data();
    void workerFaults();
    void workerEndsWithTheProgram_data();
    void workerEndsWithTheProgram();
    void workerRefusesAnotherParent();
    void wrapperEscapeRefusedWithoutRunning_data();
    void wrapperEscapeRefusedWithoutRunning();
    void endlessLoopStoppedOnRequest_data();
    void endlessLoopStoppedOnRequest();
    void endlessLoopStoppedAtTimeLimit_data();
    void endlessLoopStoppedAtTimeLimit();
    void timeQuestionRepeatsWhileAnsweredYes();
};

void TestFormulaEngine::wrapText()
{
    QCOMPARE(wrap({"Vp", "Vs", "h"}, "Vp*2"), QString("(function(Vp, Vs, h) { return Vp*2;})"));
    QCOMPARE(wrap(grid_formula::gridFormulaVariables(), "dens"),
             QString("(function(dens, Vp, Vs, R, h) { return dens;})"));
}

void TestFormulaEngine::compileAndCall_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<double>("expected");  // for Vp = 2000, Vs = 1000, h = 250
    QTest::newRow("arithmetic") << "Vp / 1000 + Vs / 1000 + h / 250" << 4.0;
    QTest::newRow("Math") << "Math.sqrt(Vp * 2)" << std::sqrt(4000.0);
    QTest::newRow("conditional") << "h > 100 ? 2.5 : 1.5" << 2.5;
    QTest::newRow("constant") << "2.67" << 2.67;
    QTest::newRow("string number") << "'3.5'" << 3.5;
    QTest::newRow("object with valueOf") << "({valueOf:function(){return Vp / 500}})" << 4.0;
    QTest::newRow("object with toString") << "({toString:function(){return '7'}, valueOf:function(){return this}})"
                                          << 7.0;
}

void TestFormulaEngine::compileAndCall()
{
    QFETCH(QString, expression);
    QFETCH(double, expected);
    FormulaEngine engine;
    SyntaxError error;
    const int f = engine.compile(velocityFormulaVariables(), expression, &error);
    QVERIFY2(f >= 0, qPrintable(error.message));
    QCOMPARE(engine.call(f, {2000, 1000, 250}), expected);
    // The compiled function is reused for every call.
    QCOMPARE(engine.call(f, {2000, 1000, 250}), expected);
}

void TestFormulaEngine::syntaxErrors_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("unbalanced") << "Vp * (2 + 3";
    QTest::newRow("operator at end") << "Vp *";
    QTest::newRow("closing the wrapper") << "1;}) + (function(){return 2";
    QTest::newRow("statement") << "var x = 1";
}

void TestFormulaEngine::syntaxErrors()
{
    QFETCH(QString, expression);
    FormulaEngine engine;
    SyntaxError error;
    QCOMPARE(engine.compile(velocityFormulaVariables(), expression, &error), -1);
    QVERIFY(!error.message.isEmpty());
    QVERIFY(std::isnan(engine.call(0, {1, 2, 3})));
}

void TestFormulaEngine::exceptionIsRemembered()
{
    FormulaEngine engine;
    const int f = engine.compile(velocityFormulaVariables(), "Vp > 0 ? unknownName : 1");
    QVERIFY(f >= 0);
    QCOMPARE(engine.call(f, {-1, 0, 0}), 1.0);
    QVERIFY(engine.firstException().isEmpty());
    QVERIFY(std::isnan(engine.call(f, {1, 0, 0})));
    QVERIFY2(engine.firstException().contains("unknownName"), qPrintable(engine.firstException()));
    // The engine goes on after an exception.
    QCOMPARE(engine.call(f, {-1, 0, 0}), 1.0);
    // A value that is no number.
    const int g = engine.compile(velocityFormulaVariables(), "'abc'");
    QVERIFY(std::isnan(engine.call(g, {0, 0, 0})));
}

void TestFormulaEngine::exceptionText_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("text");
    QTest::newRow("error object") << "missing + 1" << "ReferenceError: Can't find variable: missing";
    QTest::newRow("string") << "(function(){throw 'no density'})()" << "no density";
    QTest::newRow("own toString") << "(function(){throw {toString:function(){return 'own text'}}})()"
                                  << "own text";
    QTest::newRow("toString throws") << "(function(){throw {toString:function(){throw 1}}})()"
                                     << untextableException();
    QTest::newRow("valueOf throws") << "({valueOf:function(){throw 'in valueOf'}})" << "in valueOf";
}

// The text of what a formula threw, taken by the script itself.
void TestFormulaEngine::exceptionText()
{
    QFETCH(QString, expression);
    QFETCH(QString, text);
    FormulaEngine engine;
    const int f = engine.compile(velocityFormulaVariables(), expression);
    QVERIFY(f >= 0);
    QVERIFY(std::isnan(engine.call(f, {1, 2, 3})));
    QCOMPARE(engine.firstException(), text);
    QVERIFY(!engine.aborted());
}

// A formula may set getters and setters where arguments could be passed
// (globals, the prototypes' index properties): none of them is ever reached,
// the arguments arrive unchanged and the run ends by itself.
void TestFormulaEngine::argumentsCannotBeHooked()
{
    FormulaEngine engine;
    bool asked = false;
    engine.setWatch(noted_watch(&asked));
    const QString hook = "function(v){ __hooked = 1; for(;;){} }";
    const QString getter = "function(){ __hooked = 1; for(;;){} }";
    const int f = engine.compile(
        velocityFormulaVariables(),
        QString("(this.__defineSetter__('__tolmera_argument_0', %1), this.__defineSetter__('Vp', %1), "
                "Object.prototype.__defineSetter__('0', %1), Array.prototype.__defineSetter__('1', %1), "
                "Object.prototype.__defineGetter__('2', %2), Vp + 2 * Vs + 3 * h)")
            .arg(hook, getter));
    QVERIFY(f >= 0);
    QCOMPARE(engine.call(f, {1, 10, 100}), 321.0);
    QCOMPARE(engine.call(f, {2, 20, 200}), 642.0);
    const int g = engine.compile(velocityFormulaVariables(), "Vp - Vs");
    QVERIFY(g >= 0);
    QCOMPARE(engine.call(g, {5, 3, 0}), 2.0);
    const int probe = engine.compile(velocityFormulaVariables(), "typeof __hooked == 'undefined' ? 1 : 2");
    QVERIFY(probe >= 0);
    QCOMPARE(engine.call(probe, {0, 0, 0}), 1.0);
    QVERIFY(!asked);
    QVERIFY(!engine.aborted());
}

void TestFormulaEngine::scriptMatchesFixedFormulas_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("script");
    QTest::newRow("Gardner") << 0 << "0.31 * Math.pow(Vp, 0.25)";
    QTest::newRow("water") << 2 << "2.7 + 0.3 * Math.exp(-0.00045 * h) * (1 - 2.7)";
    QTest::newRow("gas") << 3 << "(1 - 0.3 * Math.exp(-0.00045 * h)) * 2.7";
    QTest::newRow("polynomial") << 4 << "1e-7 * Vp * Vp + 2e-4 * Vp + 1.2";
}

// The conversion's script row against the same fixed formula, cell by cell,
// to single precision: a ramp of Vp over three layers.
void TestFormulaEngine::scriptMatchesFixedFormulas()
{
    QFETCH(int, type);
    QFETCH(QString, script);
    const vector3D vp = ramp(5, 3, 4, 1500.f);
    const std::vector<double> z{0, 400, 800, 1200, 1600};
    const std::vector<field2D> horizons{field2D(3, std::vector<double>(4, 0)),
                                       field2D(3, std::vector<double>(4, 500)),
                                       field2D(3, std::vector<double>(4, 1100))};
    velocity_density::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    in.horizons = &horizons;

    const velocity_density::LayerFormula fixed{type, type == 4 ? 1e-7 : 2.7, type == 4 ? 2e-4 : 30,
                                               type == 4 ? 1.2 : 0};
    vector3D by_fixed, by_script;
    QCOMPARE(convert_by_layers(in, {fixed, fixed, fixed}, velocity_density::ScriptCell(), by_fixed),
             velocity_density::ConvertStatus::Ok);

    FormulaEngine engine;
    std::vector<int> index;
    for (int m = 0; m < 3; ++m)
        index.push_back(engine.compile(velocityFormulaVariables(), script));
    QVERIFY(index[0] >= 0);
    const velocity_density::ScriptCell cell = [&](int layer, double p, double s, double h) {
        return engine.call(index[std::size_t(layer)], {p, s, h});
    };
    const velocity_density::LayerFormula scripted{velocity_density::Script};
    QCOMPARE(convert_by_layers(in, {scripted, scripted, scripted}, cell, by_script),
             velocity_density::ConvertStatus::Ok);
    for (std::size_t k = 0; k < vp.size(); ++k)
        for (std::size_t i = 0; i < vp[k].size(); ++i)
            for (std::size_t j = 0; j < vp[k][i].size(); ++j)
                QVERIFY2(std::abs(by_fixed[k][i][j] - by_script[k][i][j]) <= 4e-7 * std::abs(by_fixed[k][i][j]),
                         qPrintable(QString("%1 %2").arg(by_fixed[k][i][j]).arg(by_script[k][i][j])));
}

// The conversion with its script rows in the worker (one pass over the
// cube, the script cells filled afterwards) against the conversion calling
// the scripts cell by cell in this process: the same cells, or the same
// first cell without a finite value, whichever formula gives it. Layers
// interleave within a row at the second level (the middle horizon deepens
// with the column): cells of layers 1, 1, 0, 0 in each row there, and the
// third of them in the first row has a negative Vp (no number by Gardner).
void TestFormulaEngine::workerConversionMatchesCellByCell_data()
{
    using velocity_density::Constant;
    using velocity_density::Gardner;
    using velocity_density::Script;
    QTest::addColumn<QVector<int>>("types");
    QTest::addColumn<QStringList>("texts");  // the script of a Script row, a of a Constant row
    QTest::addColumn<bool>("with_vs");
    QTest::addColumn<QVector<int>>("bad");  // level, row, column, layer; empty: all cells good

    QTest::newRow("two scripts, all good") << QVector<int>{Script, Gardner, Script}
                                           << QStringList{"Vp / 1000 + Vs / 1e4", "", "h / 1000 + Vs"} << true
                                           << QVector<int>{};
    QTest::newRow("scripts without Vs") << QVector<int>{Script, Script, Script}
                                        << QStringList{"Vp / 1000 + Vs", "h / 1000", "Vp * h / 1e6"} << false
                                        << QVector<int>{};
    QTest::newRow("script row, then a fixed row without a number")
        << QVector<int>{Script, Constant, Script} << QStringList{"Vp / 1000", "1e39", "h"} << false
        << QVector<int>{1, 0, 0, 1};
    QTest::newRow("script without a number, later a fixed row without one")
        << QVector<int>{Script, Constant, Gardner} << QStringList{"Vp > 1505 ? 0 / 0 : 1", "1e39", ""} << false
        << QVector<int>{0, 1, 0, 0};
    QTest::newRow("fixed row without a number, later a script without one")
        << QVector<int>{Gardner, Constant, Script} << QStringList{"", "1e39", "0 / 0"} << false
        << QVector<int>{1, 0, 0, 1};
    QTest::newRow("in one row: script cell first")
        << QVector<int>{Gardner, Script, Gardner} << QStringList{"", "Vp == 1601 ? 0 / 0 : Vp / 1000", ""}
        << false << QVector<int>{1, 0, 1, 1};
    QTest::newRow("in one row: fixed cell first")
        << QVector<int>{Gardner, Script, Gardner} << QStringList{"", "Vp == 1611 ? 0 / 0 : Vp / 1000", ""}
        << false << QVector<int>{1, 0, 2, 0};
    QTest::newRow("script beyond single precision in the last layer")
        << QVector<int>{Script, Gardner, Script} << QStringList{"Vp / 1000", "", "1e39"} << true
        << QVector<int>{3, 0, 0, 2};
    QTest::newRow("script that throws") << QVector<int>{Gardner, Script, Gardner}
                                        << QStringList{"", "missing + 1", ""} << false << QVector<int>{1, 0, 0, 1};
}

void TestFormulaEngine::workerConversionMatchesCellByCell()
{
    namespace vd = velocity_density;
    QFETCH(QVector<int>, types);
    QFETCH(QStringList, texts);
    QFETCH(bool, with_vs);
    QFETCH(QVector<int>, bad);
    vector3D vp = ramp(4, 2, 4, 1500.f);
    vp[1][0][2] = -1.f;
    const vector3D vs = ramp(4, 2, 4, 800.f);
    const std::vector<double> z{0, 400, 800, 1200};
    field2D middle(2, std::vector<double>(4));
    for (std::size_t i = 0; i < 2; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            middle[i][j] = 300 + 100 * double(j);
    const std::vector<field2D> horizons{field2D(2, std::vector<double>(4, 0)), middle,
                                       field2D(2, std::vector<double>(4, 1000))};
    vd::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    if (with_vs) {
        in.vs = &vs;
        in.vs_z = &z;
    }
    in.horizons = &horizons;
    std::vector<vd::LayerFormula> per_layer;
    std::vector<QString> script_texts;
    for (int m = 0; m < types.size(); ++m) {
        per_layer.push_back(vd::LayerFormula{types[m], types[m] == vd::Constant ? texts[m].toDouble() : 0.0});
        script_texts.push_back(types[m] == vd::Script ? texts[m] : QString());
    }

    // Cell by cell in this process.
    FormulaEngine engine;
    std::vector<int> index;
    for (const QString& text : script_texts)
        index.push_back(text.isEmpty() ? -1 : engine.compile(velocityFormulaVariables(), text));
    const vd::ScriptCell cell = [&](int layer, double p, double s, double h) {
        return engine.call(index[std::size_t(layer)], {p, s, h});
    };
    vector3D expected;
    vd::BadCell expected_bad;
    const vd::ConvertStatus expected_status = vd::convert_by_layers(in, per_layer, cell, expected, &expected_bad);
    QCOMPARE(int(expected_status), int(bad.isEmpty() ? vd::ConvertStatus::Ok : vd::ConvertStatus::NonFinite));
    if (!bad.isEmpty())
        QCOMPARE((QVector<int>{expected_bad.level, expected_bad.row, expected_bad.column, expected_bad.layer}), bad);

    const vector3D untouched = cube(1, 1, 1, 7.f);
    vector3D converted = untouched;
    const ScriptConversion run = convert_with_scripts(in, per_layer, script_texts, converted);
    QVERIFY(run.worker.ok());
    QCOMPARE(int(run.status), int(expected_status));
    if (bad.isEmpty()) {
        QCOMPARE(converted, expected);
    } else {
        QCOMPARE((QVector<int>{run.bad.level, run.bad.row, run.bad.column, run.bad.layer}), bad);
        QCOMPARE(converted, untouched);
    }
}

// A run leaves its memory to the next, smaller one: each run gives its own
// cells and its own first bad cell, whatever the one before left there.
void TestFormulaEngine::runsOneAfterAnotherSeeTheirOwnCells()
{
    const vector3D big = ramp(4, 5, 6, 1.f);
    vector3D out;
    QVERIFY(evaluate_grid_formula("dens * 2", big, {0, 10}, {}, {}, {}, out).ok());
    vector3D doubled = big;
    for (vector2D& level : doubled)
        for (std::vector<data_type>& row : level)
            for (data_type& v : row)
                v *= 2;
    QCOMPARE(out, doubled);

    const vector3D small = ramp(2, 2, 3, 1.f);  // the cell of level 0, row 1, column 1 holds 12
    vector3D kept = cube(1, 1, 1, 7.f);
    const FormulaResult bad = evaluate_grid_formula("dens == 12 ? 0 / 0 : dens", small, {0, 10}, {}, {}, {}, kept);
    QCOMPARE(int(bad.status), int(FormulaStatus::NonFinite));
    QCOMPARE((QVector<int>{bad.level, bad.row, bad.column}), (QVector<int>{0, 1, 1}));
    QCOMPARE(kept, cube(1, 1, 1, 7.f));

    QVERIFY(evaluate_grid_formula("dens + h", small, {0, 10}, {}, {}, {}, out).ok());
    vector3D raised = small;
    for (std::size_t k = 0; k < raised.size(); ++k)
        for (std::vector<data_type>& row : raised[k])
            for (data_type& v : row)
                v += 10.f * k;
    QCOMPARE(out, raised);
}

void TestFormulaEngine::gridFormulaVariables()
{
    const vector3D dens = ramp(2, 2, 3, 2.f);
    const vector3D vp = ramp(2, 2, 3, 3000.f), vs = ramp(2, 2, 3, 1500.f), reg = ramp(2, 2, 3, 0.5f);
    const std::vector<double> z{100, 300};
    vector3D out;
    const FormulaResult r =
        evaluate_grid_formula("dens + Vp / 1e3 + Vs / 1e6 + R * 1e3 + h * 1e6", dens, z, vp, vs, reg, out);
    QVERIFY(r.ok());
    for (std::size_t k = 0; k < 2; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 3; ++j) {
                const double expected = double(dens[k][i][j]) + vp[k][i][j] / 1e3 + vs[k][i][j] / 1e6
                    + reg[k][i][j] * 1e3 + z[k] * 1e6;
                QCOMPARE(out[k][i][j], data_type(expected));
            }

    // dens * 1.1 scales every density.
    QVERIFY(evaluate_grid_formula("dens*1.1", dens, z, vp, vs, reg, out).ok());
    QCOMPARE(out[1][1][2], data_type(double(dens[1][1][2]) * 1.1));
}

void TestFormulaEngine::gridFormulaDepthByLevelStep()
{
    const vector3D dens = cube(4, 1, 2, 2.f);
    // The level depth is z0 + k * (z1 - z0), not the node vector's own entry.
    const std::vector<double> z{0, 250, 999, 999};
    vector3D out;
    QStringList progress;
    QVERIFY(evaluate_grid_formula("h/1000", dens, z, {}, {}, {}, out, [&](int p) { progress << QString::number(p); })
                .ok());
    // The share of cells done: 8 cells, reported as it grows.
    QCOMPARE(progress, QStringList({"0", "12", "25", "37", "50", "62", "75", "87"}));
    for (std::size_t k = 0; k < 4; ++k)
        QCOMPARE(out[k][0][1], data_type(0.25 * k));

    // One level: h is its own depth.
    QVERIFY(evaluate_grid_formula("h", cube(1, 1, 1, 2.f), {37}, {}, {}, {}, out).ok());
    QCOMPARE(out[0][0][0], 37.f);
}

void TestFormulaEngine::gridsThatDoNotFitGiveZero()
{
    const vector3D dens = cube(2, 2, 2, 2.f);
    const vector3D vp = cube(2, 3, 2, 5000.f);  // other row count
    const vector3D vs = cube(3, 2, 2, 5000.f);  // other level count
    const vector3D reg = cube(2, 2, 2, 0.25f);
    QVERIFY(!grid_fits(vp, dens));
    QVERIFY(!grid_fits(vs, dens));
    QVERIFY(grid_fits(reg, dens));
    QVERIFY(!grid_fits(vector3D(), dens));
    vector3D out;
    QVERIFY(evaluate_grid_formula("Vp + Vs + 10 + R", dens, {0, 10}, vp, vs, reg, out).ok());
    QCOMPARE(out[1][1][1], 10.25f);
}

void TestFormulaEngine::gridFormulaRefusals_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("exception");
    QTest::newRow("syntax") << "dens * (2" << int(FormulaStatus::SyntaxError) << "";
    QTest::newRow("empty text gives no number") << "" << int(FormulaStatus::NonFinite) << "";
    QTest::newRow("division by zero") << "dens / (h - 10)" << int(FormulaStatus::NonFinite) << "";
    QTest::newRow("not a number") << "'x' + dens" << int(FormulaStatus::NonFinite) << "";
    QTest::newRow("throws") << "h > 5 ? missing * 2 : dens" << int(FormulaStatus::NonFinite) << "missing";
    QTest::newRow("NUL in the text") << QString("dens").append(QChar(0)).append("+1")
                                     << int(FormulaStatus::SyntaxError) << "";
}

// Refused formulas leave the output untouched and say why.
void TestFormulaEngine::gridFormulaRefusals()
{
    QFETCH(QString, formula);
    QFETCH(int, status);
    QFETCH(QString, exception);
    const vector3D dens = cube(2, 2, 2, 2.f);
    vector3D out = cube(1, 1, 1, 7.f);
    const FormulaResult r = evaluate_grid_formula(formula, dens, {0, 10}, {}, {}, {}, out);
    QCOMPARE(int(r.status), status);
    QCOMPARE(out, cube(1, 1, 1, 7.f));
    if (r.status == FormulaStatus::SyntaxError) {
        QVERIFY(!r.syntax.message.isEmpty());
        if (formula.contains(QChar(0)))
            QCOMPARE(r.syntax.message, QString("the text holds a NUL character at position 5"));
    } else {
        QCOMPARE(r.level, formula.startsWith("dens /") || formula.startsWith("h >") ? 1 : 0);
        QCOMPARE(r.row, 0);
        QCOMPARE(r.column, 0);
        QVERIFY2(r.exception.contains(exception), qPrintable(r.exception));
    }
    QCOMPARE(int(evaluate_grid_formula("dens", vector3D(), {}, {}, {}, {}, out).status),
             int(FormulaStatus::EmptyGrid));
}

// The memory of a job: a header of 192 bytes, then each column padded to
// 64 bytes.
void TestFormulaEngine::jobBytes()
{
    const std::vector<ColumnKind> grid{ColumnKind::Float, ColumnKind::Zero, ColumnKind::Zero, ColumnKind::Zero,
                                       ColumnKind::Double};
    QCOMPARE(FormulaJob::bytes(grid, 12, false), quint64(192 + 64 + 128 + 64));
    QCOMPARE(FormulaJob::bytes({ColumnKind::Float, ColumnKind::Float, ColumnKind::Double}, 100, true),
             quint64(192 + 448 + 448 + 832 + 448 + 448));
    QCOMPARE(grid_formula_need_bytes(cube(3, 2, 2, 1.f), {}, {}, {}), quint64(448) + kWorkerBytes);
}

void TestFormulaEngine::workerFaults_data()
{
    QTest::addColumn<QString>("fault");  // see HostileFault
    QTest::addColumn<int>("status");
    QTest::newRow("full temporary folder") << "reserve:ENOSPC" << int(FormulaStatus::JobMemory);
    QTest::newRow("no memory for the job") << "reserve:ENOMEM" << int(FormulaStatus::JobMemory);
    QTest::newRow("missing temporary folder") << "tmpdir:/nonexistent/tolmera_tmp" << int(FormulaStatus::JobMemory);
    QTest::newRow("worker answers NaN") << "worker:nan" << int(FormulaStatus::BadAnswer);
    QTest::newRow("worker answers infinity") << "worker:inf" << int(FormulaStatus::BadAnswer);
    QTest::newRow("worker gives too few values") << "worker:short" << int(FormulaStatus::BadAnswer);
    QTest::newRow("worker writes without end") << "worker:endless" << int(FormulaStatus::BadAnswer);
    QTest::newRow("worker ends at once") << "worker:exit0" << int(FormulaStatus::EndedEarly);
    QTest::newRow("inherited address-space limit of 1 GB") << "worker:limit" << int(FormulaStatus::AddressLimit);
    QTest::newRow("inherited soft address-space limit of 1 GB") << "worker:softlimit" << int(FormulaStatus::Ok);
}

// Where the worker's surroundings fail, an ordinary formula says what
// failed and leaves the output as it was; the next formula is right.
void TestFormulaEngine::workerFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    const vector3D dens = ramp(3, 2, 2, 1.f);
    vector3D out = cube(1, 1, 1, 7.f);
    FormulaResult r;
    {
        const HostileFault failing(fault);
        r = evaluate_grid_formula("dens * 2", dens, {0, 10, 20}, {}, {}, {}, out);
    }
    QCOMPARE(int(r.status), status);
    if (r.status == FormulaStatus::Ok) {
        QCOMPARE(out[2][1][1], 2 * dens[2][1][1]);
    } else {
        QCOMPARE(out, cube(1, 1, 1, 7.f));
    }
    if (fault.startsWith("reserve:") || fault.startsWith("tmpdir:")) {
        QCOMPARE(r.fault.bytes, grid_formula_need_bytes(dens, {}, {}, {}) - kWorkerBytes);
        QCOMPARE(r.fault.error, fault.endsWith("ENOMEM") ? ENOMEM : fault.endsWith("ENOSPC") ? ENOSPC : ENOENT);
        QCOMPARE(r.fault.folder, fault.endsWith("ENOMEM") ? QString()
                     : fault.startsWith("tmpdir:")        ? fault.mid(7)
                                                          : QDir::tempPath());
    }
    if (fault == "worker:limit")
        QCOMPARE(r.fault.limit, quint64(1) << 30);

    out.clear();
    QVERIFY(evaluate_grid_formula("dens + 1", dens, {0, 10, 20}, {}, {}, {}, out).ok());
    QCOMPARE(out[2][1][1], dens[2][1][1] + 1);
}

namespace {

// The processes whose parent is `parent` (from /proc).
QList<qint64> children_of(qint64 parent)
{
    QList<qint64> children;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (name) state ppid ...: the name may hold blanks and brackets.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children << pid;
    }
    return children;
}

// Whether a process has ended (gone, or a zombie not yet collected).
bool ended(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const QByteArray rest = line.mid(line.lastIndexOf(')') + 2);
    return rest.startsWith('Z') || rest.startsWith('X');
}

}  // namespace

void TestFormulaEngine::workerEndsWithTheProgram_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("killed") << int(SIGKILL);
    QTest::newRow("segmentation fault") << int(SIGSEGV);
}

// A program that ends during an endless formula, however it ends, takes its
// worker with it, and leaves no job file in its temporary folder.
void TestFormulaEngine::workerEndsWithTheProgram()
{
    QFETCH(int, signal);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp.path());
    program.setProcessEnvironment(env);
    // No core file for the crash.
    program.start("/bin/sh", {"-c", "ulimit -c 0; exec \"$0\" program", TOLMERA_FORMULA_TEST_HELPER});
    QVERIFY(program.waitForStarted(20000));
    QElapsedTimer time;
    time.start();
    while (!program.canReadLine() && program.state() == QProcess::Running && time.elapsed() < 30000)
        program.waitForReadyRead(200);
    QCOMPARE(program.readLine(), QByteArray("running\n"));
    const QList<qint64> workers = children_of(program.processId());
    QCOMPARE(workers.size(), 1);
    const qint64 worker = workers.front();
    QVERIFY(!ended(worker));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());

    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    time.restart();
    while (!ended(worker) && time.elapsed() < 20000)
        QTest::qWait(50);
    QVERIFY2(ended(worker), qPrintable(QString("worker %1 still runs").arg(worker)));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
}

// A worker whose parent is not the program that started it (that program
// ended before the worker could tie itself to it) ends at once.
void TestFormulaEngine::workerRefusesAnotherParent()
{
    QProcess worker;
    worker.start(formulaWorkerPath(), {"1"});
    QVERIFY(worker.waitForFinished(20000));
    QCOMPARE(worker.exitStatus(), QProcess::NormalExit);
    QCOMPARE(worker.exitCode(), 3);
}

void TestFormulaEngine::wrapperEscapeRefusedWithoutRunning_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("closes the wrapper") << "0;}); __ran = 1; for(;;){}; (function(){return 0";
    QTest::newRow("closes it after a block") << "{}/1}); __ran = 1; for(;;){}; (function(){return 1/i";
    QTest::newRow("closes it inside a call") << "1})(__ran = 1, (function(){return 2";
    QTest::newRow("two statements") << "__ran = 1; 2";
}

// A text that would put code of its own outside the function is refused
// before anything of it runs: the global it sets stays undefined.
void TestFormulaEngine::wrapperEscapeRefusedWithoutRunning()
{
    QFETCH(QString, expression);
    FormulaEngine engine;
    // Should the text run after all, its endless loop is stopped instead
    // of hanging the test.
    bool asked = false;
    engine.setWatch(noted_watch(&asked));
    SyntaxError error;
    QCOMPARE(engine.compile(velocityFormulaVariables(), expression, &error), -1);
    QVERIFY(!error.message.isEmpty());
    QVERIFY(!asked);
    QVERIFY(!engine.aborted());
    const int probe = engine.compile(velocityFormulaVariables(), "typeof __ran == 'undefined' ? 1 : 2");
    QVERIFY(probe >= 0);
    QCOMPARE(engine.call(probe, {0, 0, 0}), 1.0);
}

void TestFormulaEngine::endlessLoopStoppedOnRequest_data()
{
    QTest::addColumn<QString>("formula");
    add_endless_rows();
    // Every call ends, but the grid never does for a user: stopped between calls.
    QTest::newRow("slow cells") << "(function(){var s = 0; for (var i = 0; i < 20000; ++i) s += i; return dens;})()";
}

// The user's stop (Esc or Cancel, here a timer) ends the run; the grid is
// left as it was.
void TestFormulaEngine::endlessLoopStoppedOnRequest()
{
    QFETCH(QString, formula);
    const vector3D dens = cube(200, 100, 100, 2.f);
    vector3D out = cube(1, 1, 1, 7.f);
    bool stop = false;
    QTimer::singleShot(100, [&stop] { stop = true; });
    Watch watch;
    watch.stop_requested = [&stop] { return stop; };
    const FormulaResult r = evaluate_grid_formula(formula, dens, {0, 10}, {}, {}, {}, out, Progress(), &watch);
    QCOMPARE(int(r.status), int(FormulaStatus::Aborted));
    QVERIFY(stop);
    QCOMPARE(out, cube(1, 1, 1, 7.f));
}

void TestFormulaEngine::endlessLoopStoppedAtTimeLimit_data()
{
    QTest::addColumn<QString>("formula");
    add_endless_rows();
}

// A run past the time limit asks whether to go on; "no" stops it.
void TestFormulaEngine::endlessLoopStoppedAtTimeLimit()
{
    QFETCH(QString, formula);
    const vector3D dens = cube(2, 2, 2, 2.f);
    vector3D out = cube(1, 1, 1, 7.f);
    QList<qint64> asked;
    Watch watch;
    watch.time_limit_ms = 100;
    watch.go_on = [&asked](qint64 elapsed) {
        asked << elapsed;
        return false;
    };
    const FormulaResult r =
        evaluate_grid_formula(formula, dens, {0, 10}, {}, {}, {}, out, Progress(), &watch);
    QCOMPARE(int(r.status), int(FormulaStatus::Aborted));
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked.first() >= 100);
    QCOMPARE(out, cube(1, 1, 1, 7.f));

    // A formula that ends in time is never asked about (the worker's start
    // counts towards the limit, so the limit is the program's own minute).
    asked.clear();
    watch.time_limit_ms = 60000;
    QVERIFY(evaluate_grid_formula("dens * 2", dens, {0, 10}, {}, {}, {}, out, Progress(), &watch).ok());
    QVERIFY(asked.isEmpty());
    QCOMPARE(out, cube(2, 2, 2, 4.f));
}

// "Go on" lets the run continue until the next period has passed.
void TestFormulaEngine::timeQuestionRepeatsWhileAnsweredYes()
{
    FormulaEngine engine;
    QList<qint64> asked;
    Watch watch;
    watch.time_limit_ms = 60;
    watch.go_on = [&asked](qint64 elapsed) {
        asked << elapsed;
        return asked.size() < 3;
    };
    engine.setWatch(watch);
    const int f = engine.compile(velocityFormulaVariables(), "(function(){for(;;){}})()");
    QVERIFY(f >= 0);
    QVERIFY(std::isnan(engine.call(f, {0, 0, 0})));
    QVERIFY(engine.aborted());
    QCOMPARE(asked.size(), 3);
    QVERIFY(asked[1] >= asked[0] + 60);
    QVERIFY(asked[2] >= asked[1] + 60);
    // Nothing runs once aborted.
    QVERIFY(std::isnan(engine.call(f, {0, 0, 0})));
    QCOMPARE(asked.size(), 3);
}

QTEST_GUILESS_MAIN(TestFormulaEngine)
#include "tst_formula_engine.moc"
