#pragma once
// User formulas whose code never ends, each in another place of the user's
// code: the call itself, the result's conversion to a number, the text of a
// thrown exception. One more tries to hook the passing of the arguments by a
// setter on a global: no argument passes through a global, so it never fires
// and that formula just ends.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>

#include "editing/formula_worker.h"

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
// without end or sit in one built-in call; and ordinary formulas run where
// the worker's surroundings fail (see HostileFault). Each runs in the
// formula worker, so the window survives, its grid stays as it was (or gets
// the right cells), and the next formula works. Columns: formula, byEscape
// (a timer presses Esc while it runs), allowanceMb (the worker's memory
// allowance, 0: the default), outcome, value (the cells of a Right
// outcome), fault (see HostileFault), message (what the error says, in
// English, for an Error outcome).
enum class HostileOutcome {
    Stopped,      // stopped by Esc: the "stopped" message
    OutOfMemory,  // an error saying that the formula ran out of memory
    ErrorOrRight, // an error message, or the right cells
    Right,        // the right cells, no message
    Error         // an error holding the row's message
};

// A script standing in for the worker where the program looks for it:
// `body` runs with the worker's arguments in "$@".
inline QString write_worker_script(const QDir& dir, const QString& name, const QString& body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return path;
}

// What fails around the worker while it lives, put back as it was after:
//  ""                   nothing
//  "reserve:ENOSPC"     the temporary folder has no room for the job
//  "reserve:ENOMEM"     no memory for the job
//  "tmpdir:<path>"      the temporary folder is <path>
//  "worker:<mode>"      a broken worker (formula_test_helper <mode>: nan,
//                       inf, short, endless) stands in for the worker
//  "worker:exit0"       the worker ends at once, without an answer
//  "worker:limit"       the worker inherits an address-space limit of 1 GB
//  "worker:softlimit"   the same as a soft limit only
class HostileFault
{
public:
    explicit HostileFault(const QString& fault)
        : scripts(QCoreApplication::applicationDirPath() + "/worker_scripts_XXXXXX")
    {
        if (fault.startsWith("reserve:")) {
            const int error = fault.endsWith("ENOSPC") ? ENOSPC : ENOMEM;
            previous_reservation = grid_formula::setJobReservation([error](int, quint64) { return error; });
            reserving = true;
        } else if (fault.startsWith("tmpdir:")) {
            old_tmpdir = qgetenv("TMPDIR");
            had_tmpdir = qEnvironmentVariableIsSet("TMPDIR");
            qputenv("TMPDIR", fault.mid(7).toLocal8Bit());
            // The next job makes its memory anew, in that folder.
            previous_reservation = grid_formula::setJobReservation(grid_formula::JobReservation());
            reserving = true;
            tmpdir = true;
        } else if (fault.startsWith("worker:")) {
            const QString mode = fault.mid(7);
            const QString worker = grid_formula::formulaWorkerPath();
            QString body;
            if (mode == "exit0")
                body = "exit 0";
            else if (mode == "limit")
                body = "ulimit -v 1048576 || exit 9\nexec \"" + worker + "\" \"$@\"";
            else if (mode == "softlimit")
                body = "ulimit -S -v 1048576 || exit 9\nexec \"" + worker + "\" \"$@\"";
            else
                body = "exec \"" TOLMERA_FORMULA_TEST_HELPER "\" " + mode + " \"$@\"";
            grid_formula::setFormulaWorkerPath(write_worker_script(QDir(scripts.path()), mode, body));
            replaced_worker = true;
        }
    }
    ~HostileFault()
    {
        if (reserving)
            grid_formula::setJobReservation(previous_reservation);
        if (tmpdir) {
            if (had_tmpdir)
                qputenv("TMPDIR", old_tmpdir);
            else
                qunsetenv("TMPDIR");
        }
        if (replaced_worker)
            grid_formula::setFormulaWorkerPath(QString());
    }
    HostileFault(const HostileFault&) = delete;
    HostileFault& operator=(const HostileFault&) = delete;

private:
    QTemporaryDir scripts;
    grid_formula::JobReservation previous_reservation;
    bool reserving = false;
    bool tmpdir = false;
    bool had_tmpdir = false;
    QByteArray old_tmpdir;
    bool replaced_worker = false;
};

// Whether a hostile row ended with the right cells.
inline bool hostile_gave_right_cells(int outcome, const QStringList& errors)
{
    return outcome == int(HostileOutcome::Right) || (outcome == int(HostileOutcome::ErrorOrRight) && errors.isEmpty());
}

// The messages of a hostile row that did not give the right cells: the
// command's "stopped" note after Esc, else one error that keeps the grid
// (and holds `message`, when given).
inline void check_hostile_refusal(int outcome, const QStringList& messages, const QStringList& errors,
                                  const QString& stopped_text, const QString& message = QString())
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
    if (!message.isEmpty())
        QVERIFY2(errors[0].contains(message), qPrintable(errors[0]));
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
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("string build stopped")
        << "(function(){ var s=''; while(true){ s += 'abcdefghij'; } })()" << true << 0
        << int(HostileOutcome::Stopped) << 0.0 << QString() << QString();
    QTest::newRow("array nested 64 deep") << nested("[", "]", 64) << false << 0 << int(HostileOutcome::ErrorOrRight)
                                          << 0.0 << QString() << QString();
    QTest::newRow("array nested 200 deep") << "1 + 0 * " + nested("[", "]", 200) << false << 0
                                           << int(HostileOutcome::ErrorOrRight) << 1.0 << QString() << QString();
    QTest::newRow("regular expression 20000 deep")
        << "new RegExp(new Array(20001).join('(') + new Array(20001).join(')')).test('') ? 1 : 2" << false << 0
        << int(HostileOutcome::ErrorOrRight) << 1.0 << QString() << QString();
    QTest::newRow("join of 1e9 elements stopped") << "new Array(1e9).join('').length + 1" << true << 0
                                                  << int(HostileOutcome::Stopped) << 0.0 << QString() << QString();
    QTest::newRow("huge JSON.stringify") << "JSON.stringify(new Array(3e8)).length" << false << 64
                                         << int(HostileOutcome::OutOfMemory) << 0.0 << QString() << QString();
    QTest::newRow("overwrites another row's function")
        << "(this.__tolmera_formula_0 = this.__tolmera_formula_1 = this.f0 = this.f1 = function(){return 99}, "
           "typeof __tolmera_make == 'undefined' ? 1.5 : 99)"
        << false << 0 << int(HostileOutcome::Right) << 1.5 << QString() << QString();

    // An ordinary formula where the worker's surroundings fail.
    const QString unchanged = "The density grid is unchanged.";
    const auto fault_row = [](const char* name, const QString& fault, const QString& message) {
        QTest::newRow(name) << "Vp * 0 + 1.5" << false << 0 << int(HostileOutcome::Error) << 0.0 << fault
                            << message;
    };
    fault_row("full temporary folder", "reserve:ENOSPC",
              "The temporary folder " + QDir::toNativeSeparators(QDir::tempPath())
                  + " has no room for the formula's data (");
    fault_row("no memory for the job", "reserve:ENOMEM", "There is not enough memory for the formula's data (");
    fault_row("missing temporary folder", "tmpdir:/nonexistent/tolmera_tmp",
              "The formula's data cannot be kept in the temporary folder /nonexistent/tolmera_tmp: ");
    const QString broken = "gave an answer that does not fit its task; it was stopped. The installation may be "
                           "damaged. " + unchanged;
    fault_row("worker answers NaN", "worker:nan", broken);
    fault_row("worker answers infinity", "worker:inf", broken);
    fault_row("worker gives too few values", "worker:short", broken);
    fault_row("worker writes without end", "worker:endless", broken);
    fault_row("worker ends at once", "worker:exit0",
              "ended before it gave its answer (exit code 0). The installation may be damaged. " + unchanged);
    fault_row("inherited address-space limit of 1 GB", "worker:limit",
              "The address-space limit (ulimit -v) of 1024.0 MB is too low for the formula process: its script "
              "engine needs at least 2304.0 MB. " + unchanged);
    QTest::newRow("inherited soft address-space limit of 1 GB")
        << "Vp * 0 + 1.5" << false << 0 << int(HostileOutcome::Right) << 1.5 << "worker:softlimit" << QString();
}
