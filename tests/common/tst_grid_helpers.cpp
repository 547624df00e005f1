#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <sstream>
#include <iostream>

Q_DECLARE_METATYPE(vector2D)
Q_DECLARE_METATYPE(vector3D)
Q_DECLARE_METATYPE(field2D)

class TestGridHelpers : public QObject
{
    Q_OBJECT

private slots:
    void extrema_data();
    void extrema();
    void extrema_ignore_nan_after_first();
    void extrema_of_cubes();
    void vector_extrema();
    void abs_max_data();
    void abs_max();
    void mean();
    void max_deviation_data();
    void max_deviation();
    void max_layer_range();
    void scale_and_add_scalar();
    void subtract_and_add_data();
    void subtract_and_add();
    void elapsed_line();
    void even_nodes_end_on_the_last_data();
    void even_nodes_end_on_the_last();
};

void TestGridHelpers::extrema_data()
{
    QTest::addColumn<field2D>("grid");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("min");
    QTest::newRow("2x2") << field2D{{3, 1}, {7, 7}} << 7.0 << 1.0;
    QTest::newRow("single") << field2D{{-2.5}} << -2.5 << -2.5;
    QTest::newRow("negative") << field2D{{-1, -9, -3}, {-4, -0.5, -8}} << -0.5 << -9.0;
    QTest::newRow("extreme in last cell") << field2D{{0, 0}, {0, 1e300}} << 1e300 << 0.0;
}

void TestGridHelpers::extrema()
{
    QFETCH(field2D, grid);
    QFETCH(double, max);
    QFETCH(double, min);
    QCOMPARE(grid_max(grid), max);
    QCOMPARE(grid_min(grid), min);

    vector2D f(grid.size());
    for (size_t i = 0; i < grid.size(); ++i)
        for (double v : grid[i])
            f[i].push_back(static_cast<float>(v));
    QCOMPARE(grid_max(f), static_cast<float>(max));
    QCOMPARE(grid_min(f), static_cast<float>(min));
}

void TestGridHelpers::extrema_ignore_nan_after_first()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    field2D g{{1, nan}, {5, -2}};
    QCOMPARE(grid_max(g), 5.0);
    QCOMPARE(grid_min(g), -2.0);
    field2D first_nan{{nan, 3}, {4, 5}};
    QVERIFY(std::isnan(grid_max(first_nan)));
    QVERIFY(std::isnan(grid_min(first_nan)));
}

void TestGridHelpers::extrema_of_cubes()
{
    vector3D c{{{1, 2}, {3, 4}}, {{-6, 0}, {9, 2}}};
    QCOMPARE(grid_max(c), 9.0f);
    QCOMPARE(grid_min(c), -6.0f);
    field3D d{{{1, 2}, {3, 4}}, {{-6, 0}, {9, 2}}, {{0, 0}, {0, -7.5}}};
    QCOMPARE(grid_max(d), 9.0);
    QCOMPARE(grid_min(d), -7.5);
}

void TestGridHelpers::vector_extrema()
{
    QCOMPARE(vector_max({4.25}), 4.25);
    QCOMPARE(vector_min({4.25}), 4.25);
    QCOMPARE(vector_max({1, 8, -3, 8, 2}), 8.0);
    QCOMPARE(vector_min({1, 8, -3, 8, 2}), -3.0);
}

void TestGridHelpers::abs_max_data()
{
    QTest::addColumn<vector3D>("grid");
    QTest::addColumn<float>("expected");
    QTest::newRow("negative wins") << vector3D{{{-5, 2}}} << 5.0f;
    QTest::newRow("positive wins") << vector3D{{{-1, 2}}} << 2.0f;
    QTest::newRow("tie keeps max") << vector3D{{{-3}}, {{3}}} << 3.0f;
    QTest::newRow("all negative") << vector3D{{{-1, -4}}, {{-2, -3}}} << 4.0f;
}

void TestGridHelpers::abs_max()
{
    QFETCH(vector3D, grid);
    QFETCH(float, expected);
    QCOMPARE(grid_abs_max(grid), expected);
}

void TestGridHelpers::mean()
{
    QCOMPARE(grid_mean(field2D{{1, 2}, {3, 4}}), 2.5);
    QCOMPARE(grid_mean(vector2D{{1, 2}, {3, 4}}), 2.5);
    // The float form sums in double: 0.1f ten times is the double sum of the
    // widened values, not a float accumulation.
    vector2D tenth(1, std::vector<float>(10, 0.1f));
    QCOMPARE(grid_mean(tenth), static_cast<double>(0.1f));
    QVERIFY(std::isnan(grid_mean(field2D{{}})));
}

void TestGridHelpers::max_deviation_data()
{
    QTest::addColumn<vector3D>("grid");
    QTest::addColumn<double>("expected");
    // start 7.5 (max 10 - mean 2.5); neither d1 = 7.5 nor d2 = 2.5 is greater
    QTest::newRow("one level") << vector3D{{{0, 0, 0, 10}}} << 7.5;
    // start 5; second level: mean -7, d1 = 9 > 5 wins although d2 = 23
    QTest::newRow("d1 before d2") << vector3D{{{0, 10, 0, 10}}, {{-30, 0, 0, 2}}} << 9.0;
    // second level: mean 3.6, d1 = 2.4 is not greater than 5, d2 = 13.6 is
    QTest::newRow("d2 when d1 is not greater")
        << vector3D{{{0, 10, 0, 10}}, {{-10, 5, 5, 5, 5, 5, 5, 5, 5, 6}}} << 36.0 / 10.0 + 10.0;
}

void TestGridHelpers::max_deviation()
{
    QFETCH(vector3D, grid);
    QFETCH(double, expected);
    QCOMPARE(grid_max_deviation(grid), expected);
}

void TestGridHelpers::max_layer_range()
{
    QCOMPARE(grid_max_layer_range(vector3D{{{0, 10}}, {{-30, 2}}, {{5, 6}}}), 32.0);
    QCOMPARE(grid_max_layer_range(vector3D{{{1, 1}, {1, 1}}}), 0.0);
}

void TestGridHelpers::scale_and_add_scalar()
{
    vector3D c(2, vector2D(2, std::vector<float>(3, 3.0f)));
    grid_scale(c, 0.5);
    for (const auto& l : c)
        for (const auto& r : l)
            for (float v : r)
                QCOMPARE(v, 1.5f);
    vector3D empty;
    grid_scale(empty, 2.0);
    QVERIFY(empty.empty());

    vector2D f{{1.0f}};
    grid_add_scalar(f, 0.1);
    QCOMPARE(f[0][0], static_cast<float>(1.0 + 0.1));
    QCOMPARE(f[0][0], 1.1f);

    field2D d{{1, 2}, {3, 4}};
    grid_add_scalar(d, -1.5);
    QCOMPARE(d, (field2D{{-0.5, 0.5}, {1.5, 2.5}}));
    field2D de;
    grid_add_scalar(de, 1.0);
    QVERIFY(de.empty());
}

void TestGridHelpers::subtract_and_add_data()
{
    QTest::addColumn<field2D>("a");
    QTest::addColumn<field2D>("b");
    QTest::addColumn<field2D>("difference");
    QTest::addColumn<field2D>("sum");
    const field2D a{{1, 2, 3}, {4, 5, 6}};
    QTest::newRow("same shape") << a << field2D{{1, 1, 1}, {2, 2, 2}}
                                << field2D{{0, 1, 2}, {2, 3, 4}} << field2D{{2, 3, 4}, {6, 7, 8}};
    QTest::newRow("more rows in b") << a << field2D{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}} << a << a;
    QTest::newRow("other row length") << a << field2D{{1, 1}, {1, 1}} << a << a;
    QTest::newRow("empty b") << a << field2D{} << a << a;
    QTest::newRow("empty a") << field2D{} << field2D{} << field2D{} << field2D{};
}

void TestGridHelpers::subtract_and_add()
{
    QFETCH(field2D, a);
    QFETCH(field2D, b);
    QFETCH(field2D, difference);
    QFETCH(field2D, sum);
    field2D d = a;
    grid_subtract(d, b);
    QCOMPARE(d, difference);
    field2D s = a;
    grid_add(s, b);
    QCOMPARE(s, sum);
}

void TestGridHelpers::elapsed_line()
{
    const long long start = elapsed_clock_ns() - 1500000000LL; // 1.5 s ago
    std::ostringstream captured;
    std::streambuf* old = std::cerr.rdbuf(captured.rdbuf());
    print_elapsed_ms(start);
    std::cerr.rdbuf(old);
    const std::string line = captured.str();
    QVERIFY2(line.size() > 4 && line.compare(line.size() - 4, 4, " ms\n") == 0, line.c_str());
    const long long ms = std::stoll(line);
    QVERIFY(ms >= 1500 && ms < 60000);
    // monotonic
    const long long a = elapsed_clock_ns();
    const long long b = elapsed_clock_ns();
    QVERIFY(b >= a);
}

// Nodes spread from the first to the last node end on the last one
// exactly, so nodes rebuilt from their own first node, last node and count
// are the same nodes: a file of them reads back the same at every open.
void TestGridHelpers::even_nodes_end_on_the_last_data()
{
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("size");
    // 10751.4 + 269 * 228: the step taken back from the two ends is not 269.
    QTest::newRow("drifting axis") << 10751.4 << 10751.4 + 269.0 * 228 << 229 << 229;
    QTest::newRow("three nodes") << 0.0 << 1.0 << 3 << 3;
    QTest::newRow("falling") << 100.0 << -100.3 << 7 << 7;
    QTest::newRow("one node") << 5.0 << 9.0 << 1 << 1;
    QTest::newRow("none") << 0.0 << 1.0 << 0 << 0;
    QTest::newRow("negative count") << 0.0 << 1.0 << -3 << 0;
}

void TestGridHelpers::even_nodes_end_on_the_last()
{
    QFETCH(double, first);
    QFETCH(double, last);
    QFETCH(int, n);
    QFETCH(int, size);
    const std::vector<double> v = even_nodes(first, last, n);
    QCOMPARE(int(v.size()), size);
    if (v.empty())
        return;
    QCOMPARE(v.front(), first);
    if (n > 1) {
        QVERIFY(v.back() == last);
        const double step = (last - first) / (n - 1);
        for (int i = 0; i + 1 < n; ++i)
            QCOMPARE(v[std::size_t(i)], first + i * step);
    }
    QVERIFY(even_nodes(v.front(), v.back(), n) == v);
}

QTEST_APPLESS_MAIN(TestGridHelpers)
#include "tst_grid_helpers.moc"
