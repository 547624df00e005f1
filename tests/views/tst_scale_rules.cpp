// The vertical-scale and window-limit rules without a display: the aspect
// ratio for "Pixels" and "Distance" values, the conversion between the two,
// that no value ever gives a ratio of 0 (which makes the graph draw nothing),
// and the window-limit records and automatic bounds.
#include <QtTest>

#include "views/scale_rules.h"

#include <cmath>
#include <limits>

namespace {

view3d::ViewBounds bounds(double x0, double x1, double y0, double y1, double z0, double z1)
{
    view3d::ViewBounds b;
    b.min_x = x0, b.max_x = x1, b.min_y = y0, b.max_y = y1, b.min_z = z0, b.max_z = z1;
    return b;
}

// 10000 m in x, 5000 m in y, 2000 m in depth: H = 10000, V = 2000.
const view3d::ViewBounds kBox = bounds(0, 10000, 1000, 6000, 0, 2000);

}  // namespace

class TestScaleRules : public QObject
{
    Q_OBJECT

private slots:
    void spans();
    void aspectRatio_data();
    void aspectRatio();
    void valueForRatioIsTheInverse_data();
    void valueForRatioIsTheInverse();
    void typeChangeKeepsTheRatio();
    void neverAZeroRatio_data();
    void neverAZeroRatio();
    void limitsFromTexts();
    void textsFromLimits();
    void boundsFromNodesAndHorizons();
    void widenedByFaults();
};

void TestScaleRules::spans()
{
    const scale::Spans s = scale::view_spans(kBox);
    QCOMPARE(s.H, 10000.0);
    QCOMPARE(s.V, 2000.0);
    QVERIFY(s.usable());
    // y the longer side.
    QCOMPARE(scale::view_spans(bounds(0, 100, 0, 300, 10, 60)).H, 300.0);
    // Unset bounds (after clearing the view) give no usable spans.
    QVERIFY(!scale::view_spans(view3d::ViewBounds()).usable());
    QVERIFY(!scale::view_spans(bounds(0, 100, 0, 100, 50, 50)).usable());
}

void TestScaleRules::aspectRatio_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("ratio");
    QTest::newRow("pixels 2") << 0 << 2.0 << 0.5;
    QTest::newRow("pixels 0.25") << 0 << 0.25 << 4.0;
    QTest::newRow("pixels 1") << 0 << 1.0 << 1.0;
    // True proportions: H / V = 5.
    QTest::newRow("distance 1") << 1 << 1.0 << 5.0;
    QTest::newRow("distance 2") << 1 << 2.0 << 2.5;
    QTest::newRow("distance 10") << 1 << 10.0 << 0.5;
}

void TestScaleRules::aspectRatio()
{
    QFETCH(int, type);
    QFETCH(double, value);
    QFETCH(double, ratio);
    QCOMPARE(scale::aspect_ratio(type, value, scale::view_spans(kBox)), ratio);
}

void TestScaleRules::valueForRatioIsTheInverse_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("value");
    QTest::newRow("pixels") << 0 << 2.0 << 0.5;
    QTest::newRow("distance") << 1 << 2.0 << 2.5;
    QTest::newRow("distance below 1") << 1 << 0.4 << 12.5;
}

void TestScaleRules::valueForRatioIsTheInverse()
{
    QFETCH(int, type);
    QFETCH(double, ratio);
    QFETCH(double, value);
    const scale::Spans s = scale::view_spans(kBox);
    QCOMPARE(scale::value_for_ratio(type, ratio, s), value);
    QCOMPARE(scale::aspect_ratio(type, scale::value_for_ratio(type, ratio, s), s), ratio);
}

void TestScaleRules::typeChangeKeepsTheRatio()
{
    const scale::Spans s = scale::view_spans(kBox);
    // "Pixels" 2 is "Distance" 10 on a box five times wider than deep, and back.
    const double d = scale::convert_value(2.0, scale::Distance, s);
    QCOMPARE(d, 10.0);
    QCOMPARE(scale::convert_value(d, scale::Pixels, s), 2.0);
    QCOMPARE(scale::aspect_ratio(scale::Distance, d, s), scale::aspect_ratio(scale::Pixels, 2.0, s));
    // Without usable spans the value stays.
    QCOMPARE(scale::convert_value(2.0, scale::Distance, scale::Spans()), 2.0);
}

void TestScaleRules::neverAZeroRatio_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("usableSpans");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("pixels 0") << 0 << 0.0 << true;
    QTest::newRow("pixels negative") << 0 << -2.0 << true;
    QTest::newRow("pixels infinite") << 0 << inf << true;
    QTest::newRow("pixels nan") << 0 << nan << true;
    QTest::newRow("pixels tiny") << 0 << 1e-320 << true;  // 1 / value overflows
    QTest::newRow("distance 0") << 1 << 0.0 << true;
    QTest::newRow("distance without spans") << 1 << 1.0 << false;
}

// Each of these would hand the graph a ratio of 0, a negative, an infinite or
// NaN one: the rule gives 0, "no usable ratio", and callers keep the graph's.
void TestScaleRules::neverAZeroRatio()
{
    QFETCH(int, type);
    QFETCH(double, value);
    QFETCH(bool, usableSpans);
    const scale::Spans s = usableSpans ? scale::view_spans(kBox) : scale::Spans();
    QCOMPARE(scale::aspect_ratio(type, value, s), 0.0);
    QCOMPARE(scale::value_for_ratio(type, value, s) >= 0, true);
}

void TestScaleRules::limitsFromTexts()
{
    // As typed, unordered, an empty and an unreadable field give 0.
    QCOMPARE(scale::limits_from_texts({"100", "-50", "", "abc", "1e3", "2.5"}),
             (std::vector<double>{100, -50, 0, 0, 1000, 2.5}));
    QVERIFY(scale::limits_from_texts({"1", "2"}).empty());
}

void TestScaleRules::textsFromLimits()
{
    QCOMPARE(scale::texts_from_limits({0, 1234567.89, -25.5, 3, 0.1, 1e-7}),
             (QStringList{"0", "1234567.89", "-25.5", "3", "0.1", "1e-07"}));
    QCOMPARE(scale::texts_from_limits({1, 2, 3}), (QStringList{"", "", "", "", "", ""}));
}

void TestScaleRules::boundsFromNodesAndHorizons()
{
    view3d::ViewBounds b;
    QVERIFY(scale::bounds_from_nodes({100, 200, 300}, {50, 60}, {0, 250, 500}, b));
    QCOMPARE(b.min_x, 100.0);
    QCOMPARE(b.max_x, 300.0);
    QCOMPARE(b.min_y, 50.0);
    QCOMPARE(b.max_y, 60.0);
    QCOMPARE(b.max_z, 500.0);
    // Descending nodes still give min below max.
    QVERIFY(scale::bounds_from_nodes({300, 100}, {60, 50}, {500, 0}, b));
    QCOMPARE(b.min_x, 100.0);
    QCOMPARE(b.max_z, 500.0);
    // An empty node vector leaves the bounds.
    view3d::ViewBounds kept = kBox;
    QVERIFY(!scale::bounds_from_nodes({}, {1, 2}, {1, 2}, kept));
    QCOMPARE(kept.max_x, 10000.0);

    QVERIFY(scale::bounds_from_horizons({6, 4, 1000, 1250, 2000, 2150, 0, 900}, 875, b));
    QCOMPARE(b.min_x, 1000.0);
    QCOMPARE(b.max_x, 1250.0);
    QCOMPARE(b.min_y, 2000.0);
    QCOMPARE(b.max_y, 2150.0);
    QCOMPARE(b.min_z, 0.0);
    QCOMPARE(b.max_z, 875.0);
    QVERIFY(!scale::bounds_from_horizons({6, 4, 1000}, 875, b));
}

void TestScaleRules::widenedByFaults()
{
    view3d::Extent e;
    e.ok = true;
    e.e = {{-100, 500, 200, 7000, 10, 2500}};
    const view3d::ViewBounds b = scale::widened(kBox, e);
    QCOMPARE(b.min_x, -100.0);
    QCOMPARE(b.max_x, 10000.0);
    QCOMPARE(b.min_y, 200.0);
    QCOMPARE(b.max_y, 7000.0);
    QCOMPARE(b.min_z, 0.0);
    QCOMPARE(b.max_z, 2500.0);
    QCOMPARE(scale::widened(kBox, view3d::Extent()).max_y, 6000.0);
}

QTEST_APPLESS_MAIN(TestScaleRules)
#include "tst_scale_rules.moc"
