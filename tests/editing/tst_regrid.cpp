// Nearest-node resampling of 2D grids onto another lattice.
#include "editing/regrid.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// A grid whose value tells its own row and column: 100 * row + column.
field2D indexed(int nx, int ny)
{
    field2D g(static_cast<std::size_t>(ny), std::vector<double>(static_cast<std::size_t>(nx)));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            g[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = 100.0 * j + i;
    return g;
}

}  // namespace

class TestRegrid : public QObject {
    Q_OBJECT

private slots:
    void clampIndex_data();
    void clampIndex();
    void sourceNodes_data();
    void sourceNodes();
    void sameLatticeKeepsValues();
    void singleRowOrColumn();
    void singleNewNode();
    void refusesUnusableInput_data();
    void refusesUnusableInput();
    void eightValueRecordsAndProgress();
    void cubeLattice();
};

void TestRegrid::clampIndex_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside") << 2.7 << 5 << 2;
    QTest::newRow("exact node") << 3.0 << 5 << 3;
    QTest::newRow("slightly negative") << -0.4 << 5 << 0;
    QTest::newRow("far negative") << -1e12 << 5 << 0;
    QTest::newRow("at count") << 5.0 << 5 << 4;
    QTest::newRow("far beyond") << 1e300 << 5 << 4;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 5 << 0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 5 << 4;
}

void TestRegrid::clampIndex()
{
    QFETCH(double, position);
    QFETCH(int, count);
    QFETCH(int, expected);
    QCOMPARE(regrid::clamp_index(position, count), expected);
}

// Old nodes x = 0, 100, 200 (y = 0, 100, 200); one new node at (x, y).
void TestRegrid::sourceNodes_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("expected");
    QTest::newRow("exact half step goes up") << 150.0 << 0.0 << 2.0;
    QTest::newRow("just below the half step") << 149.0 << 0.0 << 1.0;
    QTest::newRow("row half step") << 0.0 << 50.0 << 100.0;
    QTest::newRow("before the first node") << -500.0 << -40.0 << 0.0;
    QTest::newRow("beyond the last node") << 1e6 << 260.0 << 202.0;
    QTest::newRow("inside") << 120.0 << 190.0 << 201.0;
}

void TestRegrid::sourceNodes()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, expected);
    const field2D g = indexed(3, 3);
    field2D out;
    QVERIFY(regrid::regrid_2d(g, {3, 3, 0, 200, 0, 200}, {1, 1, x, x, y, y}, out));
    QCOMPARE(out.size(), std::size_t(1));
    QCOMPARE(out[0].size(), std::size_t(1));
    QCOMPARE(out[0][0], expected);
}

void TestRegrid::sameLatticeKeepsValues()
{
    const field2D g = indexed(7, 5);
    field2D out;
    QVERIFY(regrid::regrid_2d(g, {7, 5, 10, 70, -20, 20}, {7, 5, 10, 70, -20, 20}, out));
    QCOMPARE(out, g);

    // A finer lattice over the same area: every new node takes its nearest
    // old node, computed here by brute force over all old nodes.
    QVERIFY(regrid::regrid_2d(g, {7, 5, 10, 70, -20, 20}, {13, 9, 10, 70, -20, 20}, out));
    QCOMPARE(out.size(), std::size_t(9));
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 13; ++i) {
            const double x = 10 + i * 5.0, y = -20 + j * 5.0;
            int bi = 0, bj = 0;
            for (int oi = 0; oi < 7; ++oi)
                if (std::fabs(10 + oi * 10.0 - x) < std::fabs(10 + bi * 10.0 - x) - 1e-9 ||
                    (std::fabs(std::fabs(10 + oi * 10.0 - x) - std::fabs(10 + bi * 10.0 - x)) < 1e-9 && oi > bi))
                    bi = oi;
            for (int oj = 0; oj < 5; ++oj)
                if (std::fabs(-20 + oj * 10.0 - y) < std::fabs(-20 + bj * 10.0 - y) - 1e-9 ||
                    (std::fabs(std::fabs(-20 + oj * 10.0 - y) - std::fabs(-20 + bj * 10.0 - y)) < 1e-9 && oj > bj))
                    bj = oj;
            QCOMPARE(out[std::size_t(j)][std::size_t(i)], 100.0 * bj + bi);
        }
}

void TestRegrid::singleRowOrColumn()
{
    field2D row = {{1, 2, 3}};
    field2D out;
    QVERIFY(regrid::regrid_2d(row, {3, 1, 0, 20, 5, 5}, {5, 4, 0, 20, 0, 300}, out));
    QCOMPARE(out.size(), std::size_t(4));
    for (const auto& r : out)
        QCOMPARE(r, (std::vector<double>{1, 2, 2, 3, 3}));  // half steps go up

    field2D column = {{7}, {8}};
    QVERIFY(regrid::regrid_2d(column, {1, 2, 3, 3, 0, 10}, {3, 2, -100, 100, 0, 10}, out));
    QCOMPARE(out, (field2D{{7, 7, 7}, {8, 8, 8}}));
}

void TestRegrid::singleNewNode()
{
    const field2D g = indexed(4, 4);
    field2D out;
    // One node per axis sits at the first coordinate, whatever the last.
    QVERIFY(regrid::regrid_2d(g, {4, 4, 0, 30, 0, 30}, {1, 1, 20, 999, 10, -5}, out));
    QCOMPARE(out, (field2D{{102}}));
}

void TestRegrid::refusesUnusableInput_data()
{
    QTest::addColumn<int>("gridKind");  // 0 good, 1 empty, 2 ragged
    QTest::addColumn<std::vector<double>>("oldParams");
    QTest::addColumn<std::vector<double>>("newParams");
    const std::vector<double> good{3, 2, 0, 2, 0, 1};
    QTest::newRow("empty grid") << 1 << good << good;
    QTest::newRow("ragged grid") << 2 << good << good;
    QTest::newRow("short old record") << 0 << std::vector<double>{3, 2, 0, 2, 0} << good;
    QTest::newRow("short new record") << 0 << good << std::vector<double>{3, 2, 0, 2, 0};
    QTest::newRow("zero new columns") << 0 << good << std::vector<double>{0, 2, 0, 2, 0, 1};
    QTest::newRow("negative new rows") << 0 << good << std::vector<double>{3, -2, 0, 2, 0, 1};
    QTest::newRow("NaN new coordinate") << 0 << good
                                       << std::vector<double>{3, 2, 0, std::nan(""), 0, 1};
    QTest::newRow("absurd new count") << 0 << good << std::vector<double>{1e12, 2, 0, 2, 0, 1};
}

void TestRegrid::refusesUnusableInput()
{
    QFETCH(int, gridKind);
    QFETCH(std::vector<double>, oldParams);
    QFETCH(std::vector<double>, newParams);
    field2D g = gridKind == 1 ? field2D() : indexed(3, 2);
    if (gridKind == 2)
        g[1].pop_back();
    field2D out = {{42}};
    QVERIFY(!regrid::regrid_2d(g, oldParams, newParams, out));
    QCOMPARE(out, (field2D{{42}}));
}

void TestRegrid::eightValueRecordsAndProgress()
{
    const field2D g = indexed(3, 3);
    field2D out;
    QList<int> seen;
    // Surfer records carry a z range after the six lattice values; it is not read.
    QVERIFY(regrid::regrid_2d(g, {3, 3, 0, 200, 0, 200, -5, 99}, {3, 4, 0, 200, 0, 150, 1e30, -1e30}, out,
                              [&](int p) { seen << p; }));
    QCOMPARE(seen, (QList<int>{25, 50, 75, 100}));
    QCOMPARE(out[3], (std::vector<double>{200, 201, 202}));  // y 150: half step up to row 2
    QCOMPARE(out[1], (std::vector<double>{100, 101, 102}));  // y 50
}

void TestRegrid::cubeLattice()
{
    const vector3D cube(2, vector2D(3, std::vector<data_type>(4, 1.0f)));
    QCOMPARE(regrid::cube_lattice(cube, {0, 10, 20, 30}, {5, 6, 7}), (std::vector<double>{4, 3, 0, 30, 5, 7}));
    QVERIFY(regrid::cube_lattice(vector3D(), {0}, {0}).empty());
    QVERIFY(regrid::cube_lattice(cube, {}, {5, 6, 7}).empty());
}

QTEST_GUILESS_MAIN(TestRegrid)
#include "tst_regrid.moc"
