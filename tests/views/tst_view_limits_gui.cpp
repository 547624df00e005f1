// Window limits that cut the data across the plan, on a display with OpenGL
// (run under Xvfb): a cube, a cube with faults and horizons, each shown under
// limits that cut x or y, are all zero, lie outside the data or are wider
// than it, then "Auto"; the graph renders after each step (the renderer takes
// the series' data and the axis ranges at that moment) and shows the data
// again. The graph keeps a series that only one row or column of fits the
// ranges in a state that crashes its next refresh: no series on the graph may
// reach outside the ranges. Crop sliders stay inside the limits, and series
// that the limits took off the graph are deleted with the window, or with the
// graph. (Limits in depth: tst_view_depth_limits_gui.)
#include <QtTest>

#include <QImage>
#include <QPointer>
#include <QSet>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>

#include <memory>

#include "app/mainwindowform.h"
#include "view_limits_support.h"

using namespace QtDataVisualization;
using namespace view_limits_test;

class TestViewLimitsGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void limitsThenAuto_data();
    void limitsThenAuto();
    void cropSlidersStayInsideTheLimits();
    void seriesOffTheGraphDieWithTheWindow();
    void seriesOffTheGraphDieWithTheGraph();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestViewLimitsGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestViewLimitsGui::limitsThenAuto_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QVector<double>>("limits");
    const std::vector<std::pair<const char*, QVector<double>>> limits = {
        {"x cut", {500, 10000, 0, 5000, 0, 2000}},
        {"y cut", {0, 10000, 1200, 3700, 0, 2000}},
        {"all zero", {0, 0, 0, 0, 0, 0}},
        {"outside the data", {20000, 30000, 20000, 30000, 5000, 6000}},
        {"wider than the data", {-5000, 15000, -1000, 6000, -100, 3000}},
    };
    for (const char* model : {"cube", "cube with faults", "horizons"})
        for (const auto& l : limits)
            QTest::newRow(qPrintable(QString("%1, %2").arg(model, l.first))) << QString(model) << l.second;
}

void TestViewLimitsGui::limitsThenAuto()
{
    QFETCH(QString, model);
    QFETCH(QVector<double>, limits);
    view_limits_test::limitsThenAuto(model, limits, *fake);
}

// A crop slider moved outside the depth limits draws its face at the last
// level inside them, with that level's cells; inside them, at its own level.
void TestViewLimitsGui::cropSlidersStayInsideTheLimits()
{
    auto w = shownMainWindow({900, 650});
    QVERIFY(w);
    giveCube(*w);
    w->on_view_dens_triggered();
    std::vector<double> limits{2500, 10000, 0, 5000, 300, 1700};
    w->setWindowSize(limits);
    auto faceDepths = [&](int position) {
        QSet<float> depths;
        for (const QSurfaceDataRow* row : *w->surf->surfaces[position]->dataProxy()->array())
            for (const QSurfaceDataItem& item : *row)
                depths.insert(item.position().y());
        return depths;
    };
    w->set_top_border(0);  // 0 m: above the limits
    QCOMPARE(faceDepths(1), QSet<float>{500.0f});
    w->set_top_border(2);
    QCOMPARE(faceDepths(1), QSet<float>{1000.0f});
    w->set_bottom_border(4);  // 2000 m: below the limits
    QCOMPARE(faceDepths(0), QSet<float>{1500.0f});
    QCOMPARE(w->crop_borders[5], 4);  // kept as moved
    w->set_left_border(0);  // x 0: left of the limits, drawn at x 3000
    QCOMPARE(w->surf->surfaces[2]->dataProxy()->array()->at(0)->at(0).position().x(), 3000.0f);
    QVERIFY(seriesInsideAxes(*w, limits));
    QVERIFY(drawsSomething(*w));
}

// Limits that take the side faces (a single level inside) and a fault (left
// of the x limit) off the graph: closing the window deletes them, as it does
// the series on the graph.
void TestViewLimitsGui::seriesOffTheGraphDieWithTheWindow()
{
    auto w = shownMainWindow({900, 650});
    QVERIFY(w);
    giveCube(*w);
    giveHorizons(*w);
    w->on_view_cube_horizons_triggered();
    giveFaults(*w);
    std::vector<double> limits{5000, 10000, 0, 5000, 1000, 1100};
    w->setWindowSize(limits);
    QList<QPointer<QObject>> off, on;
    QVector<QSurface3DSeries*> all = w->surf->surfaces;
    all += w->surf->fault_series;
    for (QSurface3DSeries* s : all)
        (w->graph->seriesList().contains(s) ? on : off) << QPointer<QObject>(s) << QPointer<QObject>(s->dataProxy());
    QVERIFY(off.size() >= 6);  // four side faces, a fault, ...
    QVERIFY(!on.isEmpty());    // the top and bottom faces at 1000 m
    w.reset();
    for (const auto& p : off)
        QVERIFY(p.isNull());
    for (const auto& p : on)
        QVERIFY(p.isNull());
}

// The graph going first (its window container closed) takes with it the
// series it holds, and the view deletes those it took off the graph.
void TestViewLimitsGui::seriesOffTheGraphDieWithTheGraph()
{
    auto* graph = new Q3DSurface;
    Surf surf(graph);
    const vector2D grid(3, std::vector<data_type>(3, 1.0f));
    surf.addZFace(nodes(3, 0, 100), nodes(3, 0, 100), 0, grid);
    surf.addZFace(nodes(3, 0, 100), nodes(3, 0, 100), 500, grid);
    view3d::ViewBounds b;
    b.min_x = 0, b.max_x = 200, b.min_y = 0, b.max_y = 200, b.min_z = 400, b.max_z = 600;
    surf.setBounds(b);
    surf.limited = true;  // the bounds are window limits
    surf.updateAxesRanges();
    QCOMPARE(surf.surfaces.size(), 2);
    QPointer<QObject> off(surf.surfaces[0]), offProxy(surf.proxies[0]), on(surf.surfaces[1]);
    QVERIFY(!graph->seriesList().contains(surf.surfaces[0]));
    QVERIFY(graph->seriesList().contains(surf.surfaces[1]));
    delete graph;
    QVERIFY(off.isNull());
    QVERIFY(offProxy.isNull());
    QVERIFY(on.isNull());
    QVERIFY(surf.surfaces.isEmpty());
    QVERIFY(!surf.graph);
}

QTEST_MAIN(TestViewLimitsGui)
#include "tst_view_limits_gui.moc"
