// Misfit, layer statistics, horizon gradient, layer at a depth and the two
// spectral products of the per-level spectra.
#include "engine/field_stats.h"

#include <QtTest>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>

namespace {

field2D constant(std::size_t ny, std::size_t nx, double v)
{
    return field2D(ny, std::vector<double>(nx, v));
}

vector3D random_cube(int nz, int ny, int nx, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    vector3D c(nz, vector2D(ny, std::vector<float>(nx)));
    for (auto& l : c)
        for (auto& r : l)
            for (float& v : r)
                v = u(gen);
    return c;
}

vector2D random_grid(int ny, int nx, unsigned seed) { return random_cube(1, ny, nx, seed)[0]; }

} // namespace

class TestFieldStats : public QObject
{
    Q_OBJECT

private slots:
    void misfitOfComparableFields();
    void misfitRefusals_data();
    void misfitRefusals();
    void misfitTexts();
    void layerStatsTable_data();
    void layerStatsTable();
    void layerStatsFallingValues();
    void horizonGradientPlanes_data();
    void horizonGradientPlanes();
    void horizonGradientNarrowHorizons_data();
    void horizonGradientNarrowHorizons();
    void layerAtDepth_data();
    void layerAtDepth();
    void productSumIsComplexProduct();
    void productSumRefusesMismatch();
    void gradientStepIsComplexProduct();
    void gradientStepZeroWeightAndMismatch();
};

void TestFieldStats::misfitOfComparableFields()
{
    // Identical up to a constant: both means removed, misfit 0.
    field2D obs{{1, 2, 3}, {4, 5, 13}};
    field2D calc = obs;
    for (auto& r : calc)
        for (double& v : r)
            v += 7.5;
    FieldMisfit m = field_misfit(obs, calc);
    QVERIFY(m.valid);
    QVERIFY(std::fabs(m.rms) < 1e-12);
    QCOMPARE(misfit_text(m, 1), QStringLiteral("0.000 mGal;  0.0 %"));

    // Brute force: rms of the mean-free difference, percent of the observed range.
    calc = {{0, 1, 1}, {2, 0, 3}};
    double mo = 28.0 / 6, mc = 7.0 / 6, s = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            const double d = (calc[i][j] - mc) - (obs[i][j] - mo);
            s += d * d;
        }
    m = field_misfit(obs, calc);
    QVERIFY(m.valid);
    QCOMPARE(m.rms, std::sqrt(s / 6));
    QCOMPARE(m.percent, std::sqrt(s / 6) * 100 / 12);
}

void TestFieldStats::misfitRefusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("empty observed") << 0;
    QTest::newRow("row counts differ") << 1;
    QTest::newRow("first rows differ") << 2;
    QTest::newRow("ragged calculated") << 3;
    QTest::newRow("ragged observed") << 4;
    QTest::newRow("empty calculated") << 5;
}

void TestFieldStats::misfitRefusals()
{
    QFETCH(int, kind);
    field2D obs = constant(3, 4, 1), calc = constant(3, 4, 2);
    switch (kind) {
    case 0: obs.clear(); break;
    case 1: calc.pop_back(); break;
    case 2: calc[0].push_back(1); break;
    case 3: calc[2].pop_back(); break;
    case 4: obs[1].pop_back(); break;
    case 5: calc.clear(); break;
    }
    const FieldMisfit m = field_misfit(obs, calc);
    QVERIFY(!m.valid);
    QCOMPARE(m.rms, 0.0);
}

void TestFieldStats::misfitTexts()
{
    FieldMisfit m;
    m.valid = true;
    m.rms = 0.5321;
    m.percent = 0.5321 * 100 / 13;
    QCOMPARE(misfit_text(m, 1), QStringLiteral("0.532 mGal;  4.1 %"));
    QCOMPARE(misfit_text(m, 0), QStringLiteral("0.532 мГал;  4.1 %"));
    // A constant observed field has no range: the share is not finite, the rms still is.
    const FieldMisfit flat = field_misfit(constant(2, 2, 3), field2D{{0, 1}, {0, 1}});
    QVERIFY(flat.valid);
    QCOMPARE(flat.rms, 0.5);
    QVERIFY(!std::isfinite(flat.percent));
    QVERIFY(misfit_text(flat, 1).startsWith(QStringLiteral("0.500 mGal;  ")));
}

void TestFieldStats::layerStatsTable_data()
{
    // Grid: 5 levels at depths 0, 10, 20, 30, 40 on 2 x 2 nodes; cell value
    // = 100 * level + 10 * row + column. Horizons as given per case.
    QTest::addColumn<QVector<double>>("depths");  // one constant depth per horizon
    QTest::addColumn<int>("n");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("middle layer 10..30") << QVector<double>{0, 10, 30} << 1
                                         << QVector<double>{100, 211, 155.5};
    QTest::newRow("level on a horizon belongs below")
        << QVector<double>{0, 20} << 0 << QVector<double>{0, 111, 55.5};
    QTest::newRow("last layer reaches down") << QVector<double>{0, 30} << 1
                                             << QVector<double>{300, 411, 355.5};
    QTest::newRow("coinciding horizons") << QVector<double>{0, 20, 20} << 1
                                         << QVector<double>{0, 0, 0};
    QTest::newRow("index -1") << QVector<double>{0, 20} << -1 << QVector<double>{0, 0, 0};
    QTest::newRow("index = horizon count") << QVector<double>{0, 20} << 2
                                           << QVector<double>{0, 0, 0};
    QTest::newRow("below the grid") << QVector<double>{0, 500} << 1 << QVector<double>{0, 0, 0};
    QTest::newRow("above the grid") << QVector<double>{-500, -400} << 0
                                    << QVector<double>{0, 0, 0};
}

void TestFieldStats::layerStatsTable()
{
    QFETCH(QVector<double>, depths);
    QFETCH(int, n);
    QFETCH(QVector<double>, expected);
    vector3D grid(5, vector2D(2, std::vector<float>(2)));
    for (int k = 0; k < 5; ++k)
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                grid[k][i][j] = 100 * k + 10 * i + j;
    const std::vector<double> z{0, 10, 20, 30, 40};
    std::vector<field2D> horizons;
    for (double d : depths)
        horizons.push_back(constant(2, 2, d));
    const std::vector<double> s = layer_stats(grid, z, horizons, n);
    QCOMPARE(s, std::vector<double>(expected.begin(), expected.end()));
}

void TestFieldStats::layerStatsFallingValues()
{
    // Values fall from the first cell to the last: the maximum is the first one.
    vector3D grid(3, vector2D(2, std::vector<float>(3)));
    float v = 10;
    for (auto& l : grid)
        for (auto& r : l)
            for (float& c : r)
                c = v--;
    const std::vector<double> z{0, 5, 10};
    std::vector<field2D> horizons{constant(2, 3, 0)};
    std::vector<double> s = layer_stats(grid, z, horizons, 0);
    QCOMPARE(s[0], -7.0);
    QCOMPARE(s[1], 10.0);
    QCOMPARE(s[2], 1.5);

    // Horizons that do not have the grid's rows and columns give the empty record,
    // never an out-of-range read.
    std::vector<field2D> small{constant(1, 3, 0)};
    QCOMPARE(layer_stats(grid, z, small, 0), (std::vector<double>{0, 0, 0}));
    std::vector<field2D> narrow{constant(2, 2, 0)};
    QCOMPARE(layer_stats(grid, z, narrow, 0), (std::vector<double>{0, 0, 0}));
    std::vector<field2D> ragged{constant(2, 3, 0)};
    ragged[0][1].pop_back();
    QCOMPARE(layer_stats(grid, z, ragged, 0), (std::vector<double>{0, 0, 0}));
    // Fewer depths than levels: nothing read past the depth vector.
    QCOMPARE(layer_stats(grid, {0, 5}, horizons, 0), (std::vector<double>{0, 0, 0}));
    // A single level: every level is scanned.
    vector3D one(1, grid[0]);
    s = layer_stats(one, {0}, horizons, 0);
    QCOMPARE(s[1], 10.0);
}

void TestFieldStats::horizonGradientPlanes_data()
{
    QTest::addColumn<double>("ax");  // depth slope along x (m per m)
    QTest::addColumn<double>("ay");
    QTest::addColumn<double>("expected");
    QTest::newRow("constant depth") << 0.0 << 0.0 << 0.0;
    QTest::newRow("10 m per 100 m along x") << 0.1 << 0.0 << 0.1;
    QTest::newRow("tilted both ways") << 0.3 << -0.4 << 0.5;
}

void TestFieldStats::horizonGradientPlanes()
{
    QFETCH(double, ax);
    QFETCH(double, ay);
    QFETCH(double, expected);
    const int ny = 4, nx = 5;
    const double dx = 100, dy = 50;
    field2D h(ny, std::vector<double>(nx));
    for (int i = 0; i < ny; ++i)
        for (int j = 0; j < nx; ++j)
            h[i][j] = 500 + ax * j * dx + ay * i * dy;
    field2D g{{123}};
    horizon_gradient(h, dx, dy, g);
    QCOMPARE(int(g.size()), ny);
    for (const auto& r : g) {
        QCOMPARE(int(r.size()), nx);
        for (double v : r)
            QVERIFY(std::fabs(v - expected) < 1e-12);
    }
}

void TestFieldStats::horizonGradientNarrowHorizons_data()
{
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::newRow("single row") << 1 << 6;
    QTest::newRow("single column") << 6 << 1;
    QTest::newRow("two rows") << 2 << 6;
    QTest::newRow("two columns") << 6 << 2;
    QTest::newRow("empty") << 0 << 0;
}

void TestFieldStats::horizonGradientNarrowHorizons()
{
    QFETCH(int, ny);
    QFETCH(int, nx);
    field2D h(ny, std::vector<double>(nx));
    for (int i = 0; i < ny; ++i)
        for (int j = 0; j < nx; ++j)
            h[i][j] = 10.0 * j * j + i;
    field2D g{{1, 2}};
    horizon_gradient(h, 10, 10, g);
    QCOMPARE(g, field2D(ny, std::vector<double>(nx, 0.0)));
    // Zero spacings (a degenerate extent) give zeros, not infinities.
    field2D wide = constant(4, 4, 1);
    wide[1][2] = 5;
    horizon_gradient(wide, 0, 10, g);
    QCOMPARE(g, constant(4, 4, 0));
}

void TestFieldStats::layerAtDepth_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("j");
    QTest::addColumn<double>("z");
    QTest::addColumn<int>("expected");
    // Horizons at 0, 100, 250 (node (1, 1) of the middle one at 150).
    QTest::newRow("inside layer 0") << 0 << 0 << 50.0 << 0;
    QTest::newRow("exactly on horizon 1") << 0 << 0 << 100.0 << 1;
    QTest::newRow("exactly on horizon 0") << 0 << 0 << 0.0 << 0;
    QTest::newRow("node-dependent horizon") << 1 << 1 << 120.0 << 0;
    QTest::newRow("above horizon 0: last layer") << 0 << 1 << -10.0 << 2;
    QTest::newRow("below the last horizon") << 0 << 0 << 300.0 << 2;
    QTest::newRow("row outside") << 2 << 0 << 50.0 << -1;
    QTest::newRow("negative column") << 0 << -1 << 50.0 << -1;
}

void TestFieldStats::layerAtDepth()
{
    QFETCH(int, i);
    QFETCH(int, j);
    QFETCH(double, z);
    std::vector<field2D> horizons{constant(2, 2, 0), constant(2, 2, 100), constant(2, 2, 250)};
    horizons[1][1][1] = 150;
    QTEST(layer_at_depth(horizons, i, j, z), "expected");
    QCOMPARE(layer_at_depth({}, 0, 0, 1.0), -1);
    QCOMPARE(layer_at_depth({constant(2, 2, 0)}, 1, 1, -5.0), 0);
}

void TestFieldStats::productSumIsComplexProduct()
{
    const int nz = 3, ny = 4, nx = 8;
    const vector3D er = random_cube(nz, ny, nx, 1), ei = random_cube(nz, ny, nx, 2);
    const vector3D dr = random_cube(nz, ny, nx, 3), di = random_cube(nz, ny, nx, 4);
    const vector2D shape(ny, std::vector<float>(nx, 9.0f));
    vector2D outr, outi;
    int calls = 0;
    QVERIFY(spectral_product_sum(er, ei, dr, di, outr, outi, shape, [&](int, int) {
        ++calls;
        return true;
    }));
    QCOMPARE(calls, nz);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            std::complex<double> s;
            for (int k = 0; k < nz; ++k)
                s += std::complex<double>(er[k][y][x], ei[k][y][x])
                     * std::complex<double>(dr[k][y][x], di[k][y][x]);
            QVERIFY(std::fabs(outr[y][x] - s.real()) < 1e-5);
            QVERIFY(std::fabs(outi[y][x] - s.imag()) < 1e-5);
        }
    // All effect spectra zero: both outputs zero.
    const vector3D zero(nz, vector2D(ny, std::vector<float>(nx, 0.0f)));
    QVERIFY(spectral_product_sum(zero, zero, dr, di, outr, outi, shape));
    QCOMPARE(outr, vector2D(ny, std::vector<float>(nx, 0.0f)));
    QCOMPARE(outi, vector2D(ny, std::vector<float>(nx, 0.0f)));
}

void TestFieldStats::productSumRefusesMismatch()
{
    const vector3D a = random_cube(2, 3, 4, 1);
    const vector3D fewer = random_cube(1, 3, 4, 1);
    vector3D ragged = a;
    ragged[1][2].pop_back();
    const vector2D shape(3, std::vector<float>(4));
    vector2D outr{{5}}, outi{{6}};
    QVERIFY(!spectral_product_sum(fewer, a, a, a, outr, outi, shape));
    QVERIFY(!spectral_product_sum(a, a, ragged, a, outr, outi, shape));
    QVERIFY(!spectral_product_sum(a, a, a, a, outr, outi, vector2D(2, std::vector<float>(4))));
    QCOMPARE(outr, (vector2D{{5}}));
    QCOMPARE(outi, (vector2D{{6}}));
}

void TestFieldStats::gradientStepIsComplexProduct()
{
    const int nz = 2, ny = 4, nx = 4;
    const vector3D er = random_cube(nz, ny, nx, 5), ei = random_cube(nz, ny, nx, 6);
    const vector3D dr0 = random_cube(nz, ny, nx, 7), di0 = random_cube(nz, ny, nx, 8);
    const vector2D rr = random_grid(ny, nx, 9), ri = random_grid(ny, nx, 10);
    const std::vector<double> alpha{0.5, -2.0};
    vector3D dr = dr0, di = di0;
    QVERIFY(spectral_gradient_step(er, ei, dr, di, rr, ri, alpha));
    for (int k = 0; k < nz; ++k)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const std::complex<double> step = std::complex<double>(er[k][y][x], ei[k][y][x])
                                                  * std::complex<double>(rr[y][x], ri[y][x])
                                                  * alpha[k];
                QVERIFY(std::fabs(dr[k][y][x] - (dr0[k][y][x] - step.real())) < 1e-5);
                QVERIFY(std::fabs(di[k][y][x] - (di0[k][y][x] - step.imag())) < 1e-5);
            }
}

void TestFieldStats::gradientStepZeroWeightAndMismatch()
{
    const vector3D e = random_cube(2, 3, 4, 1);
    const vector2D r = random_grid(3, 4, 2);
    vector3D dr = random_cube(2, 3, 4, 3), di = random_cube(2, 3, 4, 4);
    const vector3D dr0 = dr, di0 = di;
    const vector3D e2 = random_cube(2, 3, 4, 11);
    QVERIFY(spectral_gradient_step(e, e2, dr, di, r, r, {0.0, 1.0}));
    QVERIFY(std::memcmp(dr[0][1].data(), dr0[0][1].data(), 4 * sizeof(float)) == 0);
    QVERIFY(std::memcmp(di[0][2].data(), di0[0][2].data(), 4 * sizeof(float)) == 0);
    QVERIFY(dr[1] != dr0[1]);
    QVERIFY(di[1] != di0[1]);
    dr = dr0;
    di = di0;
    QVERIFY(!spectral_gradient_step(e, e, dr, di, r, r, {1.0}));  // one weight for two levels
    QVERIFY(!spectral_gradient_step(e, e, dr, di, vector2D(2, std::vector<float>(4)), r, {1.0, 1.0}));
    QVERIFY(!spectral_gradient_step(random_cube(1, 3, 4, 1), e, dr, di, r, r, {1.0, 1.0}));
    QVERIFY(dr == dr0 && di == di0);
}

QTEST_APPLESS_MAIN(TestFieldStats)
#include "tst_field_stats.moc"
