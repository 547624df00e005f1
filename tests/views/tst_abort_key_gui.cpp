// Esc stops a running formula or file read from wherever the keyboard is:
// the 3D view, a map, the status line, the main window with no focused
// child, or one of the main window's modeless windows (run under Xvfb, the
// keys going through the window system as a user's do). The question is
// answered through the interaction layer; a modal dialog keeps its own Esc.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "formats/xyz_cube.h"
#include "shown_window.h"
#include "test_nodes.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtDataVisualization/Q3DSurface>
#include <QtTest>

#include <functional>

namespace {

const QString kQuestion = QStringLiteral("Do you want to abort a process?");
const QString kFormulaStopped = QStringLiteral("The formula was stopped. The density grid is unchanged.");
// Never ends by itself: only a stop ends it.
const QString kEndless = QStringLiteral("(function(){for(;;){}})()");

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

// A small density grid, shown in the 3D view (the crop sliders need a shown cube).
void giveGrid(MainWindow& w)
{
    w.den_grid = cube(3, 2, 2, 2.5f);
    w.x_calc = w.x_norm = nodes(2, 0, 10);
    w.y_calc = w.y_norm = nodes(2, 0, 10);
    w.z_calc = w.z_norm = nodes(3, 0, 10);
    w.on_view_dens_triggered();
}

enum class Operation { Formula, FileRead };

// The modeless windows of the main window, opened by their commands.
QDialog* openModeless(MainWindow& w, const QString& name)
{
    const QList<QDialog*> before = w.findChildren<QDialog*>();
    if (name == "layers table")
        w.on_horizons_table_triggered();
    else if (name == "crop sliders")
        w.on_changeView_triggered();
    else if (name == "Z:XY")
        w.on_actionZ_XY_triggered();
    for (QDialog* d : w.findChildren<QDialog*>())
        if (!before.contains(d) && d->isVisible() && !d->isModal())
            return d;
    return nullptr;
}

// Puts the keyboard on `target` and presses Esc there through the window
// system (a press alone: a window that closes on it may be gone before a
// release could reach it).
void pressEscOn(MainWindow& w, const QString& target, QDialog* modeless)
{
    if (target == "3D view") {
        QTest::keyPress(w.graph, Qt::Key_Escape);
        return;
    }
    if (modeless) {
        modeless->activateWindow();
        QTest::keyPress(modeless->windowHandle(), Qt::Key_Escape);
        return;
    }
    if (target == "map")
        w.ui->observed_axes->setFocus(Qt::MouseFocusReason);
    else if (target == "status line")
        w.progress_label->setFocus(Qt::MouseFocusReason);
    else if (QWidget* focused = w.focusWidget())  // the main window with no focused child
        focused->clearFocus();
    w.activateWindow();
    QTest::keyPress(w.windowHandle(), Qt::Key_Escape);
}

// Calls `poll` at every event processing inside `run`, and after `deadline_ms`
// stops the run (abort_requested) so that a failing test ends; returns
// whether that was needed.
bool runPolling(MainWindow& w, const std::function<void()>& poll, const std::function<void()>& run,
                qint64 deadline_ms = 20000)
{
    bool overdue = false;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (clock.elapsed() > deadline_ms && w.abort_enabled) {
            overdue = true;
            w.abort_requested = true;
            return;
        }
        poll();
    });
    timer.start();
    run();
    timer.stop();
    return overdue;
}

}  // namespace

class TestAbortKeyGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { w.reset(); }
    void init();
    void escStopsFromAnywhere_data();
    void escStopsFromAnywhere();
    void noGoesOnAndKeepsTheWindow();
    void modalDialogKeepsItsEsc();

private:
    QTemporaryDir dir;
    QString xyzPath;
    std::unique_ptr<MainWindow> w;  // one shown window for all: each test starts from giveGrid
};

void TestAbortKeyGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
    // A file read that runs long enough for a key to reach it.
    xyzPath = dir.filePath("model.xyz");
    QVERIFY(write_xyz_cube(xyzPath, cube(50, 10, 10, 1.25f), nodes(10, 0, 10), nodes(10, 0, 10),
                           nodes(50, 0, 10)));
    w = shownMainWindow(QSize(1000, 700));
    QVERIFY(w);
    w->language = 1;
}

void TestAbortKeyGui::init()
{
    QVERIFY(w && !w->runActive());
    w->undo_stack.clear();
    giveGrid(*w);
}

void TestAbortKeyGui::escStopsFromAnywhere_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("modeless");
    QTest::addColumn<int>("operation");
    const struct {
        const char* name;
        bool modeless;
    } targets[] = {{"3D view", false},     {"map", false},         {"status line", false}, {"main window", false},
                   {"layers table", true}, {"crop sliders", true}, {"Z:XY", true}};
    for (const auto& t : targets) {
        QTest::newRow(qPrintable(QString("%1, formula").arg(t.name)))
            << QString(t.name) << t.modeless << int(Operation::Formula);
        QTest::newRow(qPrintable(QString("%1, file read").arg(t.name)))
            << QString(t.name) << t.modeless << int(Operation::FileRead);
    }
}

// Esc -> the question -> Yes stops the run, wherever the keyboard was; the
// grid stays as it was, and a modeless window the key was pressed in stays
// open. Once the run has ended Esc asks nothing.
void TestAbortKeyGui::escStopsFromAnywhere()
{
    QFETCH(QString, target);
    QFETCH(bool, modeless);
    QFETCH(int, operation);
    FakeInteraction fake;
    const vector3D before = w->den_grid;
    QPointer<QDialog> window;
    if (modeless) {
        window = openModeless(*w, target);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    fake.answers << QMessageBox::Yes;
    bool pressed = false;
    const bool overdue = runPolling(
        *w,
        [&] {
            if (pressed || !w->abort_enabled)
                return;
            pressed = true;
            pressEscOn(*w, target, window);
        },
        [&] {
            if (operation == int(Operation::Formula)) {
                w->denGridMath(kEndless);
            } else {
                fake.openNames << xyzPath;
                w->on_importXYZDens_triggered();
            }
        });

    QVERIFY(pressed);
    QVERIFY2(!overdue, "Esc did not stop the run");
    QCOMPARE(fake.questions.size(), 1);
    QCOMPARE(fake.questions[0].title, QString("Tolmera3D"));
    QCOMPARE(fake.questions[0].text, kQuestion);
    QCOMPARE(fake.questions[0].defaultButton, QMessageBox::No);
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(fake.messages(),
             operation == int(Operation::Formula) ? QStringList{kFormulaStopped} : QStringList());
    QCOMPARE(w->den_grid, before);
    QVERIFY(w->undo_stack.empty());
    QVERIFY(!w->runActive() && !w->abort_enabled && !w->abort_requested);
    if (modeless)
        QVERIFY2(window && window->isVisible(), "the key closed the window too");

    // Nothing runs: Esc asks nothing (a modeless window takes it as usual).
    pressEscOn(*w, target, window);
    QCOMPARE(fake.questions.size(), 1);
    if (window)
        window->close();
}

// No: the run goes on and the modeless window stays; Esc again and Yes stops it.
void TestAbortKeyGui::noGoesOnAndKeepsTheWindow()
{
    FakeInteraction fake;
    const vector3D before = w->den_grid;
    QPointer<QDialog> window = openModeless(*w, "Z:XY");
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    fake.answers << QMessageBox::No << QMessageBox::Yes;
    int presses = 0;
    bool runningAfterNo = false;
    const bool overdue = runPolling(
        *w,
        [&] {
            if (!w->abort_enabled || presses >= 2)
                return;
            if (presses == 1)
                runningAfterNo = w->runActive() && !w->abort_requested && window && window->isVisible();
            ++presses;
            pressEscOn(*w, "Z:XY", window);
        },
        [&] { w->denGridMath(kEndless); });

    QVERIFY(!overdue);
    QCOMPARE(presses, 2);
    QVERIFY(runningAfterNo);
    QCOMPARE(fake.questions.size(), 2);
    QCOMPARE(fake.messages(), QStringList{kFormulaStopped});
    QCOMPARE(w->den_grid, before);
    QVERIFY(window && window->isVisible());
    window->close();
}

// A modal dialog open during a run takes Esc for itself (it closes) and no
// question comes; Esc in the main window afterwards asks and stops.
void TestAbortKeyGui::modalDialogKeepsItsEsc()
{
    FakeInteraction fake;
    const vector3D before = w->den_grid;

    fake.answers << QMessageBox::Yes;
    enum { Waiting, ModalShown, ModalClosed } stage = Waiting;
    int modalResult = -1;
    int questionsWhileModal = -1;
    const bool overdue = runPolling(
        *w,
        [&] {
            if (!w->abort_enabled)
                return;
            if (stage == Waiting) {
                stage = ModalShown;
                QDialog modal(w.get());
                // Should Esc not close it, it is closed so that the test goes on.
                QTimer::singleShot(5000, &modal, [&] { modal.done(100); });
                QTimer::singleShot(0, &modal, [&] {
                    QVERIFY(QTest::qWaitForWindowExposed(&modal));
                    QTest::keyPress(modal.windowHandle(), Qt::Key_Escape);
                });
                modalResult = modal.exec();
                questionsWhileModal = fake.questions.size();
                stage = ModalClosed;
                pressEscOn(*w, "main window", nullptr);
            }
        },
        [&] { w->denGridMath(kEndless); });

    QVERIFY(!overdue);
    QCOMPARE(modalResult, int(QDialog::Rejected));
    QCOMPARE(questionsWhileModal, 0);
    QCOMPARE(fake.questions.size(), 1);
    QCOMPARE(fake.messages(), QStringList{kFormulaStopped});
    QCOMPARE(w->den_grid, before);
}

QTEST_MAIN(TestAbortKeyGui)
#include "tst_abort_key_gui.moc"
