// The main window's construction on a real display (run under Xvfb). Run
// normally, the 3D graph gets an OpenGL context and is placed in Model3D.
// Run with QT_XCB_GL_INTEGRATION=none (the test tst_shell_gui_nogl), the
// graph has no context: the window says so once and goes on without the 3D
// view, with every other object built.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views/surf.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtDataVisualization/Q3DSurface>
#include <QtTest>
#include <memory>

class TestShellGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void graphPlacedWithContext();
    void keyPressesOnTheGraphReachTheWindow();
    void withoutContextTheWindowGoesOn();
    void everyObjectExists();

private:
    bool noGl() const { return qgetenv("QT_XCB_GL_INTEGRATION") == "none"; }
    QTemporaryDir settingsDir;
    std::unique_ptr<FakeInteraction> fake;
};

void TestShellGui::initTestCase()
{
    qRegisterMetaType<QKeyEvent*>("QKeyEvent*");
    if (withoutDisplay())
        QSKIP("needs a display (run under xvfb-run)");
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestShellGui::graphPlacedWithContext()
{
    if (noGl())
        QSKIP("run without OpenGL");
    MainWindow w;
    QVERIFY(fake->notes.isEmpty());
    QVERIFY(w.graph);
    QVERIFY(w.graph->hasContext());
    QVERIFY(w.graph_container);
    QVERIFY(w.ui->Model3D->layout());
    QVERIFY(w.ui->Model3D->layout()->indexOf(w.graph_container) >= 0);
    QCOMPARE(w.surf->graph, w.graph);
    QCOMPARE(w.surf->alpha, 255);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(50);
    QVERIFY(w.graph_container->isVisible());
}

void TestShellGui::keyPressesOnTheGraphReachTheWindow()
{
    if (noGl())
        QSKIP("run without OpenGL");
    MainWindow w;
    QSignalSpy spy(&w, &MainWindow::keyPressEvent);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(w.graph, &press);
    QCOMPARE(spy.count(), 1);
    // Other events of the graph are not forwarded.
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(w.graph, &release);
    QCOMPARE(spy.count(), 1);
}

void TestShellGui::withoutContextTheWindowGoesOn()
{
    if (!noGl())
        QSKIP("run with OpenGL (tst_shell_gui_nogl covers this)");
    MainWindow w;
    QCOMPARE(fake->notes.size(), 1);
    QCOMPARE(fake->notes.first().icon, QMessageBox::NoIcon);
    QVERIFY(fake->notes.first().title.isEmpty());
    QCOMPARE(fake->notes.first().text, QStringLiteral("Couldn't initialize the OpenGL context."));
    QVERIFY(w.graph == nullptr);
    QVERIFY(w.graph_container == nullptr);
    QVERIFY(w.surf && w.surf->graph == nullptr);

    // Commands that reach the 3D view object run without it.
    w.den_grid = vector3D(2, vector2D(2, std::vector<data_type>(2, 2.f)));
    w.x_calc = {0, 1};
    w.y_calc = {0, 1};
    w.z_calc = {0, 1};
    w.update_undo(1);
    w.den_grid[0][0][0] = 3.f;
    w.ui->actionUndo->trigger();
    QCOMPARE(w.den_grid[0][0][0], 2.f);
    w.clear_all();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.close());
    QCOMPARE(fake->notes.size(), 1);
}

// With or without the graph: status bar, colour scales, preferences and the
// settings-driven values are all in place.
void TestShellGui::everyObjectExists()
{
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        s.setValue("preferences/language", 1);
        s.sync();
    }
    MainWindow w;
    QVERIFY(w.progress_label && w.misfit_label);
    QVERIFY(w.progress_bar.isHidden());
    QVERIFY(w.observed_scale && w.calculated_scale && w.model_scale);
    QCOMPARE(w.preferences.size(), std::size_t(10));
    QCOMPARE(w.preferences[7], 1.0);
    QCOMPARE(w.language, 1);
    QCOMPARE(w.inversion_params.size(), std::size_t(8));
    QVERIFY(!w.ui->showDock->isEnabled());
    QSettings(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D")).clear();
}

QTEST_MAIN(TestShellGui)
#include "tst_shell_gui.moc"
