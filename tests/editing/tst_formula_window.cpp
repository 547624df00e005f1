// The grid formula command and its dialog, offscreen, with scripted dialogs.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "editing/equationdialog.h"
#include "editing/formula_worker.h"
#include "endless_formulas.h"
#include "fake_interaction.h"
#include "fixed_available_memory.h"

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

// Densities 2 + 0.1 k + 0.01 i + 0.001 j on 3 levels (0, 50, 100 m) of 2 x 2.
void give_density(MainWindow& w)
{
    w.den_grid = cube(3, 2, 2, 0);
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 2; ++j)
                w.den_grid[k][i][j] = 2.f + 0.1f * k + 0.01f * i + 0.001f * j;
    w.x_calc = {0, 10};
    w.y_calc = {0, 10};
    w.z_calc = {0, 50, 100};
}

// Types the formula into the dialog and confirms it.
std::function<int(QDialog*)> type_and_ok(const QString& text)
{
    return [text](QDialog* d) {
        d->findChild<QLineEdit*>("lineEdit")->setText(text);
        d->findChild<QPushButton*>("OKbutton")->click();
        return d->result();
    };
}

QString label_pieces(bool english, bool vp, bool vs, bool r)
{
    auto var = [](const char* name, bool fits) {
        return QString("<font color='%1'> %2 </font> - ").arg(fits ? "green" : "red", name);
    };
    QString s = "<html> <font color='green'> dens </font> - ";
    s += english ? "density;" : QString::fromUtf8("плотность;");
    s += "<font color='green'> h </font> - ";
    s += english ? "depth;" : QString::fromUtf8("глубина;");
    s += var("Vp", vp) + (english ? QString("velocity Vp;") : QString::fromUtf8("скорость Vp;"));
    s += var("Vs", vs) + (english ? QString("velocity Vs;") : QString::fromUtf8("скорость Vs;"));
    s += var("R", r) + (english ? QString("R Vs; </html>") : QString::fromUtf8("регуляризатор;"));
    return s;
}

}  // namespace

class TestFormulaWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); fake.onDialog = nullptr; }

    void dialogForm();
    void dialogLabel_data();
    void dialogLabel();
    void dialogOkAndCancel();
    void emptyGridRefused();
    void scaleDensitiesAndUndo();
    void depthInKilometres();
    void misfitGridGivesZero();
    void refusedFormulasLeaveGridAndUndo_data();
    void refusedFormulasLeaveGridAndUndo();
    void endlessFormulaStopped_data();
    void endlessFormulaStopped();
    void hostileFormulas_data();
    void hostileFormulas();
    void memoryQuestion_data();
    void memoryQuestion();
    void longErrorTextCut();
    void missingWorkerReported();

private:
    FakeInteraction fake;
};

void TestFormulaWindow::dialogForm()
{
    EquationDialog d;
    QCOMPARE(d.size(), QSize(562, 137));
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Введите выражение (a - переменная)"));
    QVERIFY(!d.windowIcon().isNull());
    QCOMPARE(d.findChild<QPushButton*>("OKbutton")->text(), QString("OK"));
    QCOMPARE(d.findChild<QPushButton*>("Cancelbutton")->text(), QString::fromUtf8("Отмена"));
    QCOMPARE(d.findChild<QLineEdit*>("lineEdit")->font().pointSize(), 10);
    QCOMPARE(d.findChild<QLineEdit*>("lineEdit")->alignment(), Qt::AlignCenter);
    QCOMPARE(d.findChild<QLabel*>("label")->text(), QString());
    d.setLanguage(2);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Введите выражение (a - переменная)"));
    d.setLanguage(1);
    QCOMPARE(d.windowTitle(), QString("Input equation"));
    QCOMPARE(d.findChild<QPushButton*>("Cancelbutton")->text(), QString::fromUtf8("Отмена"));
    d.setLanguage(0);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Введите выражение"));
}

void TestFormulaWindow::dialogLabel_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("vp");
    QTest::addColumn<bool>("vs");
    QTest::addColumn<bool>("r");
    QTest::newRow("English, all fit") << 1 << true << true << true;
    QTest::newRow("Russian, all fit") << 0 << true << true << true;
    QTest::newRow("English, Vp off") << 1 << false << true << true;
    QTest::newRow("Russian, Vs and R missing") << 0 << true << false << false;
}

void TestFormulaWindow::dialogLabel()
{
    QFETCH(int, language);
    QFETCH(bool, vp);
    QFETCH(bool, vs);
    QFETCH(bool, r);
    const vector3D den = cube(3, 2, 2, 2);
    EquationDialog d;
    d.setLanguage(language);
    d.setAvailableGrids(den, vp ? cube(3, 2, 2, 1) : cube(3, 2, 5, 1), vs ? cube(3, 2, 2, 1) : vector3D(),
                        r ? cube(3, 2, 2, 1) : cube(2, 2, 2, 1));
    QCOMPARE(d.findChild<QLabel*>("label")->text(), label_pieces(language != 0, vp, vs, r));
}

void TestFormulaWindow::dialogOkAndCancel()
{
    EquationDialog d;
    QStringList sent;
    connect(&d, &EquationDialog::OKclicked, [&](QString s) { sent << s; });
    d.show();
    d.findChild<QLineEdit*>("lineEdit")->setText("  dens + 1 ");
    d.findChild<QPushButton*>("OKbutton")->click();
    QCOMPARE(sent, QStringList{"  dens + 1 "});  // neither trimmed nor checked
    QVERIFY(!d.isVisible());
    d.show();
    d.findChild<QPushButton*>("Cancelbutton")->click();
    QCOMPARE(sent.size(), 1);
    QVERIFY(!d.isVisible());
}

void TestFormulaWindow::emptyGridRefused()
{
    MainWindow w;
    w.language = 1;
    w.on_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{"Density grid is empty"});
    QVERIFY(fake.dialogs.isEmpty());
    fake.clear();
    w.language = 0;
    w.on_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Плотностной грид пуст")});
}

void TestFormulaWindow::scaleDensitiesAndUndo()
{
    MainWindow w;
    give_density(w);
    const vector3D before = w.den_grid;
    QString title;
    fake.onDialog = [&](QDialog* d) {
        title = d->windowTitle();
        return type_and_ok("dens*1.1")(d);
    };
    w.on_formula_triggered();
    QCOMPARE(fake.dialogs, QStringList{"EquationDialog"});
    QCOMPARE(title, QString::fromUtf8("Введите выражение"));
    QVERIFY(fake.errors().isEmpty());
    for (std::size_t k = 0; k < 3; ++k)
        QCOMPARE(w.den_grid[k][1][0], data_type(double(before[k][1][0]) * 1.1));
    QVERIFY(w.ui->view_dens->isChecked());
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, before);
}

void TestFormulaWindow::depthInKilometres()
{
    MainWindow w;
    give_density(w);
    w.z_calc = {0, 50, 777};  // the level step decides: 0, 50, 100
    fake.onDialog = type_and_ok("h/1000");
    w.on_formula_triggered();
    QCOMPARE(w.den_grid[0], vector2D(2, std::vector<data_type>(2, 0.f)));
    QCOMPARE(w.den_grid[1], vector2D(2, std::vector<data_type>(2, 0.05f)));
    QCOMPARE(w.den_grid[2], vector2D(2, std::vector<data_type>(2, 0.1f)));
}

void TestFormulaWindow::misfitGridGivesZero()
{
    MainWindow w;
    w.language = 1;
    give_density(w);
    w.Vp_grid = cube(3, 3, 2, 5000.f);  // other row count
    w.Vs_grid = cube(3, 2, 2, 2500.f);
    QString label;
    fake.onDialog = [&](QDialog* d) {
        label = d->findChild<QLabel*>("label")->text();
        return type_and_ok("Vp + Vs / 1000")(d);
    };
    w.on_formula_triggered();
    QCOMPARE(label, label_pieces(true, false, true, false));
    QCOMPARE(w.den_grid, cube(3, 2, 2, 2.5f));
}

void TestFormulaWindow::refusedFormulasLeaveGridAndUndo_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("error");
    QTest::newRow("syntax") << "dens * (2" << "Syntax error in the formula: ";
    QTest::newRow("empty text") << "" << "The formula is empty. The density grid is unchanged.";
    QTest::newRow("blank text") << " \t " << "The formula is empty. The density grid is unchanged.";
    QTest::newRow("NUL in the text") << QString("dens").append(QChar(0)).append("+1")
                                     << "Syntax error in the formula: the text holds a NUL character at position 5";
    QTest::newRow("division by zero") << "1 / (h - 50)"
                                      << "The formula gives an infinite value (level 2, row 1, column 1). "
                                         "The density grid is unchanged.";
    QTest::newRow("minus infinity") << "h > 60 ? -Infinity : 1"
                                    << "The formula gives an infinite value (level 3, row 1, column 1). "
                                       "The density grid is unchanged.";
    QTest::newRow("beyond single precision") << "h > 60 ? 1e39 : 1"
                                             << "The formula gives the value 1e+39, beyond the single-precision "
                                                "range (level 3, row 1, column 1). The density grid is unchanged.";
    QTest::newRow("exception") << "h > 60 ? nothing : 1"
                               << "The formula gives a value that is not a number (level 3, row 1, column 1). "
                                  "The density grid is unchanged.\nReferenceError";
}

// A formula that does not compile or gives a cell no finite value is
// reported; the grid and the undo stack stay as they were.
void TestFormulaWindow::refusedFormulasLeaveGridAndUndo()
{
    QFETCH(QString, formula);
    QFETCH(QString, error);
    MainWindow w;
    w.language = 1;
    give_density(w);
    const vector3D before = w.den_grid;
    fake.onDialog = type_and_ok(formula);
    w.on_formula_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().startsWith(error), qPrintable(fake.errors().front()));
    QCOMPARE(w.den_grid, before);
    QVERIFY(w.undo_stack.empty());

    fake.clear();
    w.language = 0;
    w.denGridMath(formula);
    QCOMPARE(fake.errors().size(), 1);
    const QString russian = error.startsWith("Syntax") ? QString::fromUtf8("Синтаксическая ошибка")
        : error.startsWith("The formula is empty")      ? QString::fromUtf8("Формула пуста. ")
                                                        : QString::fromUtf8("Формула даёт ");
    QVERIFY2(fake.errors().front().startsWith(russian), qPrintable(fake.errors().front()));
}

void TestFormulaWindow::endlessFormulaStopped_data()
{
    add_stop_rows();
}

// A formula that never ends is stopped by Esc (pressed here by a timer) or
// by "no" to the time question: the window goes on, the grid and the undo
// stack are as they were, and the user is told. Meanwhile the status line
// says that Esc stops it.
void TestFormulaWindow::endlessFormulaStopped()
{
    QFETCH(bool, byEscape);
    QFETCH(QString, formula);
    QFETCH(bool, endless);
    MainWindow w;
    w.language = 1;
    give_density(w);
    w.progress_label->setText("(Nx, Ny, Nz) = (2, 2, 3)");
    const vector3D before = w.den_grid;
    QString status_meanwhile;
    if (byEscape && endless) {
        fake.answers << QMessageBox::Yes;
        QTimer::singleShot(100, &w, [&w, &status_meanwhile] {
            QVERIFY(w.runActive());
            QVERIFY(w.abort_enabled);
            QVERIFY(!w.ui->formula->isEnabled());
            status_meanwhile = w.progress_label->text();
            QTest::keyClick(&w, Qt::Key_Escape);
        });
    } else if (endless) {
        w.formula_time_limit_ms = 100;
        fake.answers << QMessageBox::No;
    }
    fake.onDialog = type_and_ok(formula);
    QElapsedTimer run_time;
    run_time.start();
    w.on_formula_triggered();
    QVERIFY(run_time.elapsed() < 10000);
    QVERIFY(!w.runActive());
    QVERIFY(!w.abort_enabled && !w.abort_requested);
    QVERIFY(w.ui->formula->isEnabled());
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.progress_label->text(), QString("(Nx, Ny, Nz) = (2, 2, 3)"));
    if (!endless) {
        QVERIFY(fake.questions.isEmpty());
        QVERIFY(fake.messages().isEmpty());
        QCOMPARE(w.den_grid, cube(3, 2, 2, 1.f));
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
        return;
    }
    QCOMPARE(fake.questions.size(), 1);
    QCOMPARE(fake.questions[0].title, QString("Tolmera3D"));
    QCOMPARE(fake.questions[0].text, byEscape ? QString("Do you want to abort a process?")
                                              : QString("The formula has been running for 0 s. Do you want to go on?"));
    QCOMPARE(fake.questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
    if (byEscape)
        QCOMPARE(status_meanwhile, QString("Computing the formula. Press Esc to stop it."));
    QCOMPARE(fake.messages(), QStringList{"The formula was stopped. The density grid is unchanged."});
    QCOMPARE(w.den_grid, before);
    QVERIFY(w.undo_stack.empty());

    // The next formula runs as usual.
    fake.clear();
    w.denGridMath("dens * 2");
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(w.den_grid[2][1][1], 2 * before[2][1][1]);
}

void TestFormulaWindow::hostileFormulas_data()
{
    add_hostile_rows();
}

// A formula that crashes the script engine, takes all memory or sits in one
// built-in call cannot take the window with it: it is stopped or reported,
// the grid and the undo stack stay (or the cells are right), and the next
// formula gives the right cells.
void TestFormulaWindow::hostileFormulas()
{
    QFETCH(QString, formula);
    QFETCH(bool, byEscape);
    QFETCH(int, allowanceMb);
    QFETCH(int, outcome);
    QFETCH(double, value);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    MainWindow w;
    w.language = 1;
    give_density(w);
    const vector3D before = w.den_grid;
    if (byEscape) {
        fake.answers << QMessageBox::Yes;
        QTimer::singleShot(300, &w, [&w] { QTest::keyClick(&w, Qt::Key_Escape); });
    }
    const qint64 allowance = grid_formula::setFormulaMemoryAllowance(qint64(allowanceMb) << 20);
    {
        const HostileFault failing(fault);
        QElapsedTimer run_time;
        run_time.start();
        w.denGridMath(formula);
        QVERIFY(run_time.elapsed() < 60000);  // no hang: a broken worker is not waited for
    }
    grid_formula::setFormulaMemoryAllowance(allowance);
    QVERIFY(!w.runActive() && !w.abort_enabled && !w.abort_requested);
    const QStringList errors = fake.errors();
    if (hostile_gave_right_cells(outcome, errors)) {
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(w.den_grid, cube(3, 2, 2, float(value)));
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
    } else {
        check_hostile_refusal(outcome, fake.messages(), errors,
                              "The formula was stopped. The density grid is unchanged.", message);
        if (QTest::currentTestFailed())
            return;
        if (!errors.isEmpty())
            qInfo("%s", qPrintable(errors[0].left(200)));
        QCOMPARE(w.den_grid, before);
        QVERIFY(w.undo_stack.empty());
    }

    fake.clear();
    const vector3D now = w.den_grid;
    w.denGridMath("dens + 0.1");
    QVERIFY(fake.notes.isEmpty());
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 2; ++j)
                QCOMPARE(w.den_grid[k][i][j], data_type(double(now[k][i][j]) + 0.1));
}

void TestFormulaWindow::memoryQuestion_data()
{
    QTest::addColumn<int>("answer");  // 0: no question expected
    QTest::addColumn<quint64>("available");
    QTest::newRow("declined") << int(QMessageBox::No) << quint64(1000);
    QTest::newRow("accepted") << int(QMessageBox::Yes) << quint64(1000);
    QTest::newRow("fits") << 0 << (quint64(1) << 40);
}

// A formula needing more memory than is available asks first: the new grid,
// the formula's data (a 192-byte header, the densities and the results as
// floats and the depths as doubles, each column padded to 64 bytes) and its
// worker. No leaves the grid and the undo stack as they were.
void TestFormulaWindow::memoryQuestion()
{
    QFETCH(int, answer);
    QFETCH(quint64, available);
    FixedAvailableMemory memory(available);
    MainWindow w;
    w.language = 1;
    give_density(w);
    const vector3D before = w.den_grid;
    if (answer)
        fake.answers << QMessageBox::StandardButton(answer);
    w.denGridMath("dens * 2");
    QVERIFY(fake.errors().isEmpty());
    if (!answer) {
        QVERIFY(fake.questions.isEmpty());
    } else {
        QCOMPARE(fake.questions.size(), 1);
        const double job = 192 + 64 + 128 + 64;
        const double need = grid_memory::cube_bytes(2, 2, 3) + job + double(grid_formula::kWorkerBytes);
        QCOMPARE(fake.questions.first().text, expected_memory_question(need, 1000, 1));
    }
    if (answer == int(QMessageBox::No)) {
        QCOMPARE(w.den_grid, before);
        QVERIFY(w.undo_stack.empty());
    } else {
        QCOMPARE(w.den_grid[2][1][1], 2 * before[2][1][1]);
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
    }
}

// A thrown text of 100 000 characters is cut in the message, which says so.
void TestFormulaWindow::longErrorTextCut()
{
    MainWindow w;
    w.language = 1;
    give_density(w);
    const vector3D before = w.den_grid;
    w.denGridMath("(function(){ throw new Array(100001).join('x'); })()");
    QCOMPARE(fake.errors().size(), 1);
    const QString text = fake.errors()[0];
    QVERIFY2(text.endsWith(QString(300, 'x') + "… (the text is cut, 100000 characters in all)"), qPrintable(text.right(400)));
    QVERIFY(text.size() < 600);
    QCOMPARE(w.den_grid, before);
}

// Without its worker a formula is refused with the worker's place named;
// the grid stays.
void TestFormulaWindow::missingWorkerReported()
{
    MainWindow w;
    w.language = 1;
    give_density(w);
    const vector3D before = w.den_grid;
    grid_formula::setFormulaWorkerPath("/nonexistent/tolmera_formula_worker");
    w.denGridMath("dens * 2");
    grid_formula::setFormulaWorkerPath(QString());
    QCOMPARE(fake.errors(), QStringList{"The formula process could not be started "
                                        "(/nonexistent/tolmera_formula_worker). The density grid is unchanged."});
    QCOMPARE(w.den_grid, before);
    QVERIFY(w.undo_stack.empty());
}

QTEST_MAIN(TestFormulaWindow)
#include "tst_formula_window.moc"
