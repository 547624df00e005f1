// Window limits that cut the data, on a display with OpenGL (run under Xvfb):
// a cube, a cube with faults, horizons, and a cube with horizons, each shown
// under limits that cut x, y or depth, lie between two levels or two
// horizons, are all zero, lie outside the data or are wider than it, then
// "Auto"; the graph renders after each step (the renderer takes the series'
// data and the axis ranges at that moment) and shows the data again. The
// graph keeps a series that only one row or column of fits the ranges in a
// state that crashes its next refresh, and draws a point outside the depth
// range on its edge: no series on the graph may reach outside the ranges or
// the depth limits, and a cube cut by the limits shows the cells of its
// first and last levels inside them. Series that the limits took off the
// graph are deleted with the window, or with the graph.
#include <QtTest>

#include <QImage>
#include <QPointer>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>

#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views/surf.h"
#include "views/view3d_rules.h"
#include "views_test_support.h"

using namespace QtDataVisualization;

namespace {

using namespace views_test;

// x 0 .. 10000 (11 nodes), y 0 .. 5000 (6), depth 0 .. 2000 (5).
void giveCube(MainWindow& w)
{
    giveDensityCube(w, nodes(11, 0, 1000), nodes(6, 0, 1000), nodes(5, 0, 500),
                    [](int k, int j, int i) { return 2.0f + 0.1f * float(k) + 0.01f * float(j + i); });
}

// Two faults inside the cube's x and y, reaching below it.
void giveFaults(MainWindow& w)
{
    auto stick = [](float x, float y) {
        return std::vector<QVector3D>{{x, y, 0.0f}, {x + 100, y, 1200.0f}, {x + 200, y, 2500.0f}};
    };
    w.faults.sticks = {{stick(3000, 500), stick(3200, 2500), stick(3400, 4500)},
                       {stick(7000, 1000), stick(7300, 4000)}};
    w.faults.names = {QStringLiteral("F1"), QStringLiteral("F2")};
    w.surf->addFaults(w.faults.sticks, w.faults.names);
}

// Three horizons over x 0 .. 10000 (21 nodes) and y 0 .. 5000 (11).
void giveHorizons(MainWindow& w)
{
    const int nx = 21, ny = 11;
    w.horizons.clear();
    for (double base : {0.0, 600.0, 1400.0}) {
        field2D h(ny, std::vector<double>(nx));
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                h[j][i] = base == 0 ? 0 : base + 20 * i - 30 * j;
        w.horizons.push_back(h);
    }
    w.horizons_params = {nx, ny, 0, 10000, 0, 5000};
    w.densities = {2.0, 2.3, 2.6};
    w.fixed = {false, false, false};
    w.layers_names = {QString(), QString(), QString()};
}

// Renders the graph as the window would (the renderer takes the series' data
// and the axis ranges now) and tells whether anything but the background was
// drawn.
bool drawsSomething(MainWindow& w)
{
    QCoreApplication::processEvents();
    const QImage image = w.graph->renderToImage(0, QSize(320, 240));
    if (image.isNull())
        return false;
    const QRgb corner = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != corner)
                return true;
    return false;
}

// Every point of every series on the graph inside the ranges of the graph's X
// and Z axes (the plan) and, with limits, inside the depth limits.
bool seriesInsideAxes(MainWindow& w, const std::vector<double>& limits = {})
{
    QValue3DAxis* ax = w.graph->axisX();
    QValue3DAxis* az = w.graph->axisZ();
    for (QSurface3DSeries* s : w.graph->seriesList()) {
        const QSurfaceDataArray* data = s->dataProxy()->array();
        for (const QSurfaceDataRow* row : *data)
            for (const QSurfaceDataItem& item : *row) {
                const QVector3D p = item.position();
                if (!(p.x() >= ax->min() && p.x() <= ax->max() && p.z() >= az->min() && p.z() <= az->max()))
                    return false;
                if (limits.size() >= 6 && !view3d::within_limits(p.y(), limits[4], limits[5])) {
                    qWarning() << "drawn outside the depth limits:" << s->name() << p;
                    return false;
                }
            }
    }
    return true;
}

// Depth of the cube's first level inside [zmin, zmax] (levels 0, 500, ...
// 2000), -1 when none is.
double firstLevelInside(double zmin, double zmax)
{
    for (double z = 0; z <= 2000; z += 500)
        if (view3d::within_limits(z, zmin, zmax))
            return z;
    return -1;
}

}  // namespace

class TestViewLimitsGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void limitsThenAuto_data();
    void limitsThenAuto();
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
    // Limits, and the models they are tried on: each one on a cube, on
    // horizons alone and on both; those that cut x or y on the faults too.
    struct Row
    {
        const char* name;
        QVector<double> limits;
        QStringList models;
    };
    const QStringList planModels{"cube", "cube with faults", "horizons"};
    const std::vector<Row> rows = {
        {"x cut", {500, 10000, 0, 5000, 0, 2000}, planModels},
        {"y cut", {0, 10000, 1200, 3700, 0, 2000}, planModels},
        {"all zero", {0, 0, 0, 0, 0, 0}, planModels},
        {"outside the data", {20000, 30000, 20000, 30000, 5000, 6000}, planModels},
        {"wider than the data", {-5000, 15000, -1000, 6000, -100, 3000}, planModels},
        {"z cut at the top", {0, 10000, 0, 5000, 300, 2000}, {"cube", "horizons", "cube and horizons"}},
        {"z cut at the bottom", {0, 10000, 0, 5000, 0, 1200}, {"cube", "cube and horizons"}},
        {"z cut at both ends", {-1000, 11000, -500, 5500, 400, 1600}, {"cube", "cube with faults"}},
        {"z between two levels", {0, 10000, 0, 5000, 1100, 1400}, {"cube"}},
        {"z between two horizons", {0, 10000, 0, 5000, 1000, 1100}, {"cube", "horizons", "cube and horizons"}},
        {"z outside the data", {0, 10000, 0, 5000, 3000, 4000}, {"cube", "horizons"}},
        {"x and z cut", {2500, 10000, 0, 5000, 300, 1700}, {"cube with faults", "cube and horizons"}},
    };
    for (const QString model : {"cube", "cube with faults", "horizons", "cube and horizons"})
        for (const Row& r : rows)
            if (r.models.contains(model))
                QTest::newRow(qPrintable(QString("%1, %2").arg(model, r.name))) << model << r.limits;
}

void TestViewLimitsGui::limitsThenAuto()
{
    QFETCH(QString, model);
    QFETCH(QVector<double>, limits);
    auto w = shownMainWindow({900, 650});
    QVERIFY(w);
    if (model != "horizons")
        giveCube(*w);
    if (model.contains("horizons"))
        giveHorizons(*w);
    if (model == "horizons")
        w->on_view_horizons_triggered();
    else if (model == "cube and horizons")
        w->on_view_cube_horizons_triggered();
    else
        w->on_view_dens_triggered();
    if (model.contains("faults"))
        giveFaults(*w);
    QVERIFY(drawsSomething(*w));
    const int seriesBefore = w->graph->seriesList().size();
    const float xMin = w->graph->axisX()->min(), xMax = w->graph->axisX()->max();

    const std::vector<double> l(limits.begin(), limits.end());
    {
        std::vector<double> given = l;
        w->setWindowSize(given);
    }
    QVERIFY(seriesInsideAxes(*w, l));
    drawsSomething(*w);  // (outside the data nothing need be drawn)
    QVERIFY(w->isVisible());
    if (model != "horizons" && l[1] > l[0] && l[3] > l[2]) {
        // The top face at the first level inside the depth limits, showing
        // that level's cells; none drawn when no level is inside.
        const double top = firstLevelInside(l[4], l[5]);
        QSurface3DSeries* face = w->surf->surfaces.value(1);
        QVERIFY(face);
        const bool drawn = w->graph->seriesList().contains(face);
        QCOMPARE(drawn, top >= 0 && l[0] < 10000 && l[2] < 5000);
        if (drawn) {
            for (const QSurfaceDataRow* row : *face->dataProxy()->array())
                for (const QSurfaceDataItem& item : *row)
                    QCOMPARE(double(item.position().y()), top);
            QVERIFY(drawsSomething(*w));
        }
    }

    w->on_auto_window_size_triggered();
    QVERIFY(w->window_limits.empty());
    QVERIFY(seriesInsideAxes(*w));
    QVERIFY(drawsSomething(*w));
    QCOMPARE(w->graph->seriesList().size(), seriesBefore);
    QCOMPARE(w->graph->axisX()->min(), xMin);
    QCOMPARE(w->graph->axisX()->max(), xMax);
    // And once more through the same limits, now from the fitted view.
    {
        std::vector<double> given = l;
        w->setWindowSize(given);
    }
    QVERIFY(seriesInsideAxes(*w, l));
    drawsSomething(*w);
    w->on_auto_window_size_triggered();
    QVERIFY(drawsSomething(*w));
    QVERIFY(fake->errors().isEmpty());
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
