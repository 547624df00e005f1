// The main window on a real display with OpenGL (run under Xvfb): the 3D
// graph is created and placed, the 3D view object wraps it, and the window
// shows and processes events.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views/surf.h"

#include <QAction>
#include <QDockWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QValue3DAxis>
#include <QtTest>
#include <memory>

using namespace QtDataVisualization;

class TestMainWindowGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void constructsShowsAndProcessesEvents();
    void surfSetsUpTheGraph();
    void clearedBoundsGiveHugeRanges();
    void faultsArePaddedAndSorted();
    void addingFaultsTwiceKeepsTheSecondSet();
    void keyPressOnTheGraphIsForwarded();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestMainWindowGui::initTestCase()
{
    qRegisterMetaType<QKeyEvent*>("QKeyEvent*");
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestMainWindowGui::constructsShowsAndProcessesEvents()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    QVERIFY(fake->notes.isEmpty());  // no OpenGL complaint
    QVERIFY(w->graph);
    QVERIFY(w->graph->hasContext());
    QVERIFY(w->graph_container);
    QVERIFY(w->ui->Model3D->layout());
    QVERIFY(w->ui->Model3D->layout()->indexOf(w->graph_container) >= 0);
    QVERIFY(w->surf);
    QCOMPARE(w->surf->graph, w->graph);
    QCOMPARE(w->surf->alpha, 255);
    QVERIFY(w->ui->dockWidget->isHidden());
    QVERIFY(!w->ui->showDock->isVisible());
    QVERIFY(!w->ui->showDock->isEnabled());
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(20);
        QCoreApplication::processEvents();
    }
    QVERIFY(w->graph_container->isVisible());
    QVERIFY(w->graph_container->width() > 0);
    w->close();
    QCoreApplication::processEvents();
    w.reset();  // the 3D view object and the graph go with the window
}

void TestMainWindowGui::surfSetsUpTheGraph()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    Q3DSurface* g = w->graph;
    QVERIFY(g->axisY()->reversed());
    QCOMPARE(g->axisX()->title(), QString("X, m"));
    QCOMPARE(g->axisY()->title(), QString("Z, m"));
    QCOMPARE(g->axisZ()->title(), QString("Y, m"));
    QVERIFY(g->axisX()->isTitleVisible());
    for (QValue3DAxis* axis : {g->axisX(), g->axisY(), g->axisZ()}) {
        QCOMPARE(axis->min(), -1.0f);
        QCOMPARE(axis->max(), 1.0f);
    }
    QVERIFY(g->isReflection());
    QCOMPARE(g->shadowQuality(), QAbstract3DGraph::ShadowQualityNone);

    Surf* s = w->surf;
    s->min_x = 0;
    s->max_x = 1000;
    s->min_y = 100;
    s->max_y = 300;
    s->min_z = 10;
    s->max_z = 50;
    s->updateAxesRanges();
    QCOMPARE(g->axisX()->min(), -25.0f);
    QCOMPARE(g->axisX()->max(), 1025.0f);
    QCOMPARE(g->axisZ()->min(), 95.0f);   // y on the depth axis
    QCOMPARE(g->axisZ()->max(), 305.0f);
    QCOMPARE(g->axisY()->min(), 9.0f);    // depth on the vertical axis
    QCOMPARE(g->axisY()->max(), 51.0f);
}

void TestMainWindowGui::clearedBoundsGiveHugeRanges()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    w->surf->clearSurfaces();
    QCOMPARE(w->surf->min_x, 1e20);
    QCOMPARE(w->surf->max_z, -1e20);
    // Unset bounds (minima 1e20, maxima -1e20) never reach the graph as an
    // inverted range: the axes keep what they showed.
    w->surf->updateAxesRanges();
    for (QValue3DAxis* axis : {w->graph->axisX(), w->graph->axisY(), w->graph->axisZ()}) {
        QCOMPARE(axis->min(), -1.0f);
        QCOMPARE(axis->max(), 1.0f);
    }
    QVERIFY(w->surf->surfaces.isEmpty());
    QVERIFY(w->surf->proxies.isEmpty());
}

void TestMainWindowGui::faultsArePaddedAndSorted()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    std::vector<std::vector<std::vector<QVector3D>>> sticks(1);
    sticks[0].push_back({QVector3D(1, 2, 30), QVector3D(1, 2, 10), QVector3D(1, 2, 20)});
    sticks[0].push_back({QVector3D(5, 6, 1), QVector3D(5, 6, 2), QVector3D(5, 6, 3), QVector3D(5, 6, 4),
                         QVector3D(5, 6, 5)});
    sticks[0].push_back({QVector3D(7, 8, 4), QVector3D(7, 8, 1), QVector3D(7, 8, 2), QVector3D(7, 8, 3)});
    std::vector<QString> names{"F1"};
    // The view takes the faults in first, as the fault import does.
    view3d::ViewBounds b;
    b.min_x = 0, b.max_x = 10, b.min_y = 0, b.max_y = 10, b.min_z = 0, b.max_z = 40;
    w->surf->setBounds(b);
    w->surf->updateAxesRanges();
    w->surf->addFaults(sticks, names);
    QCOMPARE(w->surf->fault_series.size(), 1);
    QSurface3DSeries* series = w->surf->fault_series.first();
    QCOMPARE(series->name(), QString("F1"));
    QCOMPARE(series->baseColor(), QColor(Qt::red));
    QCOMPARE(series->drawMode(), QSurface3DSeries::DrawSurface);
    QSurfaceDataProxy* proxy = series->dataProxy();
    QCOMPARE(proxy->rowCount(), 3);
    QCOMPARE(proxy->columnCount(), 5);
    // Row 0: sorted by depth, then padded with the deepest point; graph
    // position is (x, depth, y).
    QCOMPARE(proxy->itemAt(0, 0)->position(), QVector3D(1, 10, 2));
    QCOMPARE(proxy->itemAt(0, 2)->position(), QVector3D(1, 30, 2));
    QCOMPARE(proxy->itemAt(0, 3)->position(), QVector3D(1, 30, 2));
    QCOMPARE(proxy->itemAt(0, 4)->position(), QVector3D(1, 30, 2));
    QCOMPARE(proxy->itemAt(2, 0)->position(), QVector3D(7, 1, 8));
    QCOMPARE(proxy->itemAt(2, 4)->position(), QVector3D(7, 4, 8));
    QVERIFY(w->graph->seriesList().contains(series));
    QCOMPARE(w->surf->selectedHorizon(), -1);
    w->surf->setFaultsVisible(false);
    QVERIFY(!series->isVisible());
}

void TestMainWindowGui::addingFaultsTwiceKeepsTheSecondSet()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    std::vector<std::vector<std::vector<QVector3D>>> first{{{QVector3D(0, 0, 1)}}, {{QVector3D(1, 1, 1)}}};
    std::vector<QString> firstNames{"A", "B"};
    w->surf->addFaults(first, firstNames);
    QCOMPARE(w->surf->fault_series.size(), 2);
    std::vector<std::vector<std::vector<QVector3D>>> second{{{QVector3D(0, 0, 1), QVector3D(0, 0, 2)}}};
    std::vector<QString> secondNames{"C"};
    w->surf->addFaults(second, secondNames);
    QCOMPARE(w->surf->fault_series.size(), 1);
    QCOMPARE(w->surf->fault_series.first()->name(), QString("C"));
    // A fault of one stick has no surface: it is kept but not on the graph.
    QVERIFY(w->graph->seriesList().isEmpty());
    w->surf->clearFaults();
    QVERIFY(w->surf->fault_series.isEmpty());
    QVERIFY(w->graph->seriesList().isEmpty());
}

void TestMainWindowGui::keyPressOnTheGraphIsForwarded()
{
    auto w = shownMainWindow(QSize(), false);
    QVERIFY(w);
    QSignalSpy spy(w.get(), SIGNAL(keyPressEvent(QKeyEvent*)));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCOMPARE(w->eventFilter(w->graph, &press), false);  // the graph gets the key too
    QCOMPARE(spy.count(), 1);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QCOMPARE(w->eventFilter(w->graph, &release), false);
    QCOMPARE(w->eventFilter(w.get(), &press), false);
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestMainWindowGui)
#include "tst_mainwindow_gui.moc"
