#pragma once
// User formulas whose code never ends, each in another place of the user's
// code: the call itself, the result's conversion to a number, the text of a
// thrown exception. One more tries to hook the passing of the arguments by a
// setter on a global: no argument passes through a global, so it never fires
// and that formula just ends.
#include <QString>
#include <QStringList>
#include <QtTest>

struct EndlessFormula {
    const char* name;
    const char* text;
    bool endless;  // false: ends by itself
};

inline const std::vector<EndlessFormula>& endless_formulas()
{
    static const std::vector<EndlessFormula> formulas{
        {"endless call", "(function(){for(;;){}})()", true},
        {"endless valueOf", "({valueOf:function(){for(;;){}}})", true},
        {"endless exception text", "(function(){throw {toString:function(){for(;;){}}}})()", true},
        {"argument setter", "(this.__defineSetter__('__tolmera_argument_0', function(v){for(;;){}}), 1)", false},
        {"endless toString", "({toString:function(){for(;;){}}, valueOf:function(){return this}})", true},
    };
    return formulas;
}

// The rows of a window's stop test: each formula stopped by Esc and by "no"
// to the time question (columns byEscape, formula, endless).
inline void add_stop_rows()
{
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<QString>("formula");
    QTest::addColumn<bool>("endless");
    for (const EndlessFormula& f : endless_formulas()) {
        QTest::newRow(qPrintable(QString("Esc, ") + f.name)) << true << QString(f.text) << f.endless;
        QTest::newRow(qPrintable(QString("time limit, ") + f.name)) << false << QString(f.text) << f.endless;
    }
}

// Formulas that harm the script engine itself: they crash it, take memory
// without end or sit in one built-in call. Each runs in the formula worker,
// so the window survives, its grid stays as it was (or gets the right
// cells), and the next formula works. Columns: formula, byEscape (a timer
// presses Esc while it runs), allowanceMb (the worker's memory allowance, 0:
// the default), outcome, value (the cells of a Right outcome).
enum class HostileOutcome {
    Stopped,      // stopped by Esc: the "stopped" message
    OutOfMemory,  // an error saying that the formula ran out of memory
    ErrorOrRight, // an error message, or the right cells
    Right         // the right cells, no message
};

// Whether a hostile row ended with the right cells.
inline bool hostile_gave_right_cells(int outcome, const QStringList& errors)
{
    return outcome == int(HostileOutcome::Right) || (outcome == int(HostileOutcome::ErrorOrRight) && errors.isEmpty());
}

// The messages of a hostile row that did not give the right cells: the
// command's "stopped" note after Esc, else one error that keeps the grid.
inline void check_hostile_refusal(int outcome, const QStringList& messages, const QStringList& errors,
                                  const QString& stopped_text)
{
    if (outcome == int(HostileOutcome::Stopped)) {
        QCOMPARE(messages, QStringList{stopped_text});
        QVERIFY(errors.isEmpty());
        return;
    }
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].endsWith("The density grid is unchanged."), qPrintable(errors[0]));
    if (outcome == int(HostileOutcome::OutOfMemory))
        QVERIFY2(errors[0].startsWith("The formula ran out of memory: "), qPrintable(errors[0]));
}

inline QString nested(const char* open, const char* close, int depth)
{
    return QString(open).repeated(depth) + QString(close).repeated(depth);
}

inline void add_hostile_rows()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<int>("allowanceMb");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<double>("value");
    QTest::newRow("string build stopped")
        << "(function(){ var s=''; while(true){ s += 'abcdefghij'; } })()" << true << 0
        << int(HostileOutcome::Stopped) << 0.0;
    QTest::newRow("array nested 64 deep") << nested("[", "]", 64) << false << 0 << int(HostileOutcome::ErrorOrRight)
                                          << 0.0;
    QTest::newRow("array nested 200 deep") << "1 + 0 * " + nested("[", "]", 200) << false << 0
                                           << int(HostileOutcome::ErrorOrRight) << 1.0;
    QTest::newRow("regular expression 20000 deep")
        << "new RegExp(new Array(20001).join('(') + new Array(20001).join(')')).test('') ? 1 : 2" << false << 0
        << int(HostileOutcome::ErrorOrRight) << 1.0;
    QTest::newRow("join of 1e9 elements stopped") << "new Array(1e9).join('').length + 1" << true << 0
                                                  << int(HostileOutcome::Stopped) << 0.0;
    QTest::newRow("huge JSON.stringify") << "JSON.stringify(new Array(3e8)).length" << false << 64
                                         << int(HostileOutcome::OutOfMemory) << 0.0;
    QTest::newRow("overwrites another row's function")
        << "(this.__tolmera_formula_0 = this.__tolmera_formula_1 = this.f0 = this.f1 = function(){return 99}, "
           "typeof __tolmera_make == 'undefined' ? 1.5 : 99)"
        << false << 0 << int(HostileOutcome::Right) << 1.5;
}
