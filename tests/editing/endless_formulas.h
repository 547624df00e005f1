#pragma once
// User formulas whose code never ends, each in another place of the user's
// code: the call itself, the result's conversion to a number, the text of a
// thrown exception. One more tries to hook the passing of the arguments by a
// setter on a global: no argument passes through a global, so it never fires
// and that formula just ends.
#include <QString>
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
