// The constant-value surface: the depth at which a cube first reaches a value
// going down, at every map node.
#include "formats/const_value_surface.h"

#include <QtTest>

#include <cmath>

namespace {

// nz levels at depths z0, z0 + dz, ... with the cell of level k at node
// (j, i) given by f(k, j, i).
template <typename F>
vector3D make(int nx, int ny, int nz, F f)
{
    vector3D c(static_cast<std::size_t>(nz), vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                c[std::size_t(k)][std::size_t(j)][std::size_t(i)] = data_type(f(k, j, i));
    return c;
}

std::vector<double> depths(int nz, double z0, double dz)
{
    std::vector<double> z;
    for (int k = 0; k < nz; ++k)
        z.push_back(z0 + k * dz);
    return z;
}

}  // namespace

class TestConstValueSurface : public QObject {
    Q_OBJECT

private slots:
    void pairDepth_data();
    void pairDepth();
    void increasingCube();
    void valueNeverReached();
    void valueOnALevel();
    void onlyTheUpperCrossing();
    void bothCellsEqualTheValue();
    void differentDepthPerNode();
    void badInput();
    void progressAndStop();
};

void TestConstValueSurface::pairDepth_data()
{
    QTest::addColumn<float>("a");
    QTest::addColumn<float>("b");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");  // NaN: no bracket
    const double none = std::nan("");
    QTest::newRow("increasing, middle") << 2.0f << 3.0f << 2.25 << 125.0;
    QTest::newRow("decreasing, middle") << 3.0f << 2.0f << 2.25 << 175.0;
    QTest::newRow("upper end") << 2.0f << 3.0f << 2.0 << 100.0;
    QTest::newRow("lower end") << 2.0f << 3.0f << 3.0 << 200.0;
    QTest::newRow("above both") << 2.0f << 3.0f << 3.5 << none;
    QTest::newRow("below both") << 2.0f << 3.0f << 1.0 << none;
    QTest::newRow("both equal the value") << 2.5f << 2.5f << 2.5 << 100.0;
    QTest::newRow("both equal, other value") << 2.5f << 2.5f << 2.4 << none;
    QTest::newRow("NaN cell") << std::nanf("") << 3.0f << 2.5 << none;
}

// Upper level at 100 m, lower level at 200 m.
void TestConstValueSurface::pairDepth()
{
    QFETCH(float, a);
    QFETCH(float, b);
    QFETCH(double, value);
    QFETCH(double, expected);
    const double d = const_value_depth(a, b, 100, 200, value);
    if (std::isnan(expected))
        QVERIFY(std::isnan(d));
    else
        QVERIFY2(std::fabs(d - expected) < 1e-9, qPrintable(QString::number(d, 'g', 17)));
}

void TestConstValueSurface::increasingCube()
{
    // 2.0 at the top to 2.6 at the bottom in steps of 0.1, levels 50 m apart
    // from 100 m: 2.3 lies between levels 2 and 3 (0.3 of the way is
    // reached at level 3 exactly in exact arithmetic; with float cells the
    // depth is the linear interpolation between the two bracketing levels).
    const vector3D c = make(3, 2, 7, [](int k, int, int) { return 2.0f + 0.1f * k; });
    const std::vector<double> z = depths(7, 100, 50);
    field2D s;
    QVERIFY(const_value_surface(c, z, 2.25, s));
    QCOMPARE(s.size(), std::size_t(2));
    QCOMPARE(s[0].size(), std::size_t(3));
    // Reference: the first pair that brackets 2.25, interpolated in double.
    int i = 0;
    while (!(c[std::size_t(i)][0][0] <= 2.25 && 2.25 <= c[std::size_t(i + 1)][0][0]))
        ++i;
    const double a = c[std::size_t(i)][0][0], b = c[std::size_t(i + 1)][0][0];
    const double expected = z[std::size_t(i)] + (2.25 - a) / (b - a) * (z[std::size_t(i + 1)] - z[std::size_t(i)]);
    QCOMPARE(i, 2);
    for (const auto& row : s)
        for (double d : row)
            QVERIFY2(std::fabs(d - expected) < 1e-4, qPrintable(QString::number(d, 'g', 17)));
}

void TestConstValueSurface::valueNeverReached()
{
    const vector3D c = make(3, 2, 7, [](int k, int, int) { return 2.0f + 0.1f * k; });
    field2D s;
    QVERIFY(const_value_surface(c, depths(7, 100, 50), 1.0, s));
    for (const auto& row : s)
        for (double d : row)
            QCOMPARE(d, 0.0);
}

void TestConstValueSurface::valueOnALevel()
{
    // The value equals the cell of level 3 (the cell above differs): the
    // depth of level 3, found at the pair (2, 3).
    const vector3D c = make(2, 2, 5, [](int k, int, int) { return 1.0 + 0.5 * k; });
    const std::vector<double> z = depths(5, 0, 25);
    field2D s;
    QVERIFY(const_value_surface(c, z, 2.5, s));
    for (const auto& row : s)
        for (double d : row)
            QCOMPARE(d, 75.0);
}

void TestConstValueSurface::onlyTheUpperCrossing()
{
    // 0, 10, 0, 10, 0: the value 5 is crossed four times; the first counts.
    const vector3D c = make(1, 1, 5, [](int k, int, int) { return k % 2 ? 10.0 : 0.0; });
    field2D s;
    QVERIFY(const_value_surface(c, depths(5, 0, 100), 5.0, s));
    QCOMPARE(s, (field2D{{50.0}}));
}

void TestConstValueSurface::bothCellsEqualTheValue()
{
    // A column holding the value over several levels: the depth of the first
    // of them, never NaN.
    const vector3D c = make(2, 1, 4, [](int k, int, int i) { return i == 0 ? 3.0 : (k == 0 ? 1.0 : 3.0); });
    field2D s;
    QVERIFY(const_value_surface(c, depths(4, 10, 10), 3.0, s));
    QCOMPARE(s[0][0], 10.0);  // levels 0 and 1 both hold the value
    QCOMPARE(s[0][1], 20.0);  // reached at level 1
    for (double d : s[0])
        QVERIFY(std::isfinite(d));
}

void TestConstValueSurface::differentDepthPerNode()
{
    // The value 1 is reached at level k = column index.
    const vector3D c = make(4, 3, 5, [](int k, int, int i) { return k >= i ? 1.0 : 0.0; });
    field2D s;
    QVERIFY(const_value_surface(c, depths(5, 0, 10), 1.0, s));
    for (const auto& row : s)
        QCOMPARE(row, (std::vector<double>{0.0, 10.0, 20.0, 30.0}));
    // Column 0 is 1 from the top: level 0's depth is 0, as is "not reached".
}

void TestConstValueSurface::badInput()
{
    field2D s = {{42}};
    QCOMPARE(const_value_surface(vector3D(), {0, 1}, 1.0, s).code(), CodecError::BadGrid);
    vector3D ragged = make(3, 2, 3, [](int, int, int) { return 1.0; });
    ragged[2][1].pop_back();
    QCOMPARE(const_value_surface(ragged, {0, 1, 2}, 1.0, s).code(), CodecError::BadGrid);
    const vector3D c = make(3, 2, 3, [](int, int, int) { return 1.0; });
    QCOMPARE(const_value_surface(c, {0, 1}, 1.0, s).code(), CodecError::BadGrid);  // fewer depths than levels
    QCOMPARE(s, (field2D{{42}}));
    // One level: no pair, the map is all 0.
    QVERIFY(const_value_surface(make(2, 2, 1, [](int, int, int) { return 1.0; }), {5}, 1.0, s));
    QCOMPARE(s, (field2D{{0, 0}, {0, 0}}));
}

void TestConstValueSurface::progressAndStop()
{
    const vector3D c = make(2, 4, 3, [](int k, int, int) { return double(k); });
    field2D s;
    QList<int> seen;
    QVERIFY(const_value_surface(c, {0, 1, 2}, 1.5, s, [&](int p) {
        seen << p;
        return true;
    }));
    QCOMPARE(seen, (QList<int>{0, 25, 50, 75}));
    field2D kept = {{7}};
    QCOMPARE(const_value_surface(c, {0, 1, 2}, 1.5, kept, [](int p) { return p < 50; }).code(), CodecError::Cancelled);
    QCOMPARE(kept, (field2D{{7}}));
}

QTEST_GUILESS_MAIN(TestConstValueSurface)
#include "tst_const_value_surface.moc"
