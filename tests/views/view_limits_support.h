#pragma once
// The models and the steps shared by the window-limits tests on a display
// (tst_view_limits_gui: limits across the plan; tst_view_depth_limits_gui:
// limits in depth): a cube, faults and horizons given to a shown main window,
// whether the graph draws anything, whether what it holds lies inside the
// axes and the limits, and one run of limits and "Auto".
#include <QtTest>

#include <QImage>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>

#include "app/mainwindow.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views/surf.h"
#include "views/view3d_rules.h"
#include "views_test_support.h"

namespace view_limits_test {

using namespace views_test;
using namespace QtDataVisualization;


// x 0 .. 10000 (11 nodes), y 0 .. 5000 (6), depth 0 .. 2000 (5).
inline void giveCube(MainWindow& w)
{
    giveDensityCube(w, nodes(11, 0, 1000), nodes(6, 0, 1000), nodes(5, 0, 500),
                    [](int k, int j, int i) { return 2.0f + 0.1f * float(k) + 0.01f * float(j + i); });
}

// Two faults inside the cube's x and y, reaching below it.
inline void giveFaults(MainWindow& w)
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
inline void giveHorizons(MainWindow& w)
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
inline bool drawsSomething(MainWindow& w)
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
inline bool seriesInsideAxes(MainWindow& w, const std::vector<double>& limits = {})
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
inline double firstLevelInside(double zmin, double zmax)
{
    for (double z = 0; z <= 2000; z += 500)
        if (view3d::within_limits(z, zmin, zmax))
            return z;
    return -1;
}

// One row: the model shown, the limits set, "Auto", the limits again and
// "Auto" again; the graph renders after each step.
inline void limitsThenAuto(const QString& model, const QVector<double>& limits, const FakeInteraction& fake)
{
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
    QVERIFY(fake.errors().isEmpty());
}

}  // namespace view_limits_test
