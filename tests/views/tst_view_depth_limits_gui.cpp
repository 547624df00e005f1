// Window limits that cut the data in depth, on a display with OpenGL (run
// under Xvfb): a cube, horizons, a cube with horizons and a cube with faults,
// each shown under limits that cut the top, the bottom or both, lie between
// two levels or two horizons, or below the data, then "Auto"; the graph
// renders after each step and shows the data again. The graph draws a point
// outside its depth range on the edge of that range: nothing on the graph
// may lie outside the depth limits, and a cube cut by them shows the cells of
// its first level inside them on its top face. (Limits across the plan:
// tst_view_limits_gui.)
#include <QtTest>

#include <memory>

#include "view_limits_support.h"

using namespace view_limits_test;

class TestViewDepthLimitsGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void limitsThenAuto_data();
    void limitsThenAuto();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestViewDepthLimitsGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

// Limits, and the models they are tried on (the cube levels lie at 0, 500,
// .. 2000 m; the horizons at 0 m, 300 .. 1000 m and 1100 .. 1800 m).
void TestViewDepthLimitsGui::limitsThenAuto_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QVector<double>>("limits");
    struct Row
    {
        const char* name;
        QVector<double> limits;
        QStringList models;
    };
    const std::vector<Row> rows = {
        {"cut at the top", {0, 10000, 0, 5000, 300, 2000}, {"cube", "horizons", "cube and horizons"}},
        {"cut at the bottom", {0, 10000, 0, 5000, 0, 1200}, {"cube", "cube and horizons"}},
        {"cut at both ends", {-1000, 11000, -500, 5500, 400, 1600}, {"cube", "cube with faults"}},
        {"between two levels", {0, 10000, 0, 5000, 1100, 1400}, {"cube"}},
        {"between two horizons", {0, 10000, 0, 5000, 1000, 1100}, {"cube", "horizons", "cube and horizons"}},
        {"below the data", {0, 10000, 0, 5000, 3000, 4000}, {"cube", "horizons"}},
        {"cut with x", {2500, 10000, 0, 5000, 300, 1700}, {"cube with faults", "cube and horizons"}},
    };
    for (const QString model : {"cube", "cube with faults", "horizons", "cube and horizons"})
        for (const Row& r : rows)
            if (r.models.contains(model))
                QTest::newRow(qPrintable(QString("%1, %2").arg(model, r.name))) << model << r.limits;
}

void TestViewDepthLimitsGui::limitsThenAuto()
{
    QFETCH(QString, model);
    QFETCH(QVector<double>, limits);
    view_limits_test::limitsThenAuto(model, limits, *fake);
}

QTEST_MAIN(TestViewDepthLimitsGui)
#include "tst_view_depth_limits_gui.moc"
