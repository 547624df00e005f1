// Velocity-to-density formulas and the per-layer conversion of a cube.
#include <QtTest>

#include <cmath>
#include <limits>

#include "editing/velocity_density.h"

using namespace velocity_density;

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

field2D plane(std::size_t ny, std::size_t nx, double v)
{
    return field2D(ny, std::vector<double>(nx, v));
}

std::vector<double> depths(std::size_t nz, double step, double z0 = 0)
{
    std::vector<double> z;
    for (std::size_t k = 0; k < nz; ++k)
        z.push_back(z0 + step * double(k));
    return z;
}

// Independent references: the textbook forms of the formulas.
double gardner_ref(double v) { return 0.31 * std::pow(v, 0.25); }
double porosity_ref(double b, double z) { return b / 100.0 * std::exp(-0.00045 * z); }

// The layer of a depth at one node: brute force over the horizon depths.
int layer_ref(const std::vector<double>& h, double z)
{
    for (std::size_t m = 0; m + 1 < h.size(); ++m)
        if (h[m] <= z && z < h[m + 1])
            return int(m);
    return int(h.size()) - 1;
}

}  // namespace

class TestVelocityDensity : public QObject {
    Q_OBJECT

private slots:
    void fixedFormulas_data();
    void fixedFormulas();
    void gardnerInverseRoundTrip();
    void parseFormulas();
    void perLayerChoiceByDepth();
    void crossingAndShallowDepthsGoToLastLayer();
    void vpOnlyCubeWithEveryFormula();
    void vsOnlyAndDensityOnlySources();
    void scriptCellGetsItsValues();
    void progressCountsCells();
    void refusals_data();
    void refusals();
    void nonFiniteResultLeavesOutput();
    void wholeCubeGardner();
};

void TestVelocityDensity::fixedFormulas_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("c");
    QTest::addColumn<double>("vp");
    QTest::addColumn<double>("z");
    QTest::addColumn<double>("expected");

    QTest::newRow("Gardner 2000") << 0 << 0.0 << 0.0 << 0.0 << 2000.0 << 0.0 << 2.0730945;
    QTest::newRow("Gardner 1500") << 0 << 0.0 << 0.0 << 0.0 << 1500.0 << 300.0 << gardner_ref(1500);
    QTest::newRow("Gardner 6000") << 0 << 0.0 << 0.0 << 0.0 << 6000.0 << 900.0 << gardner_ref(6000);
    QTest::newRow("Gardner 0") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("Const") << 1 << 2.67 << 9.0 << 9.0 << 3000.0 << 500.0 << 2.67;
    // 2.7 - 0.3 * 1.7 = 2.19 at the surface; tends to the matrix with depth.
    QTest::newRow("water z=0") << 2 << 2.7 << 30.0 << 0.0 << 0.0 << 0.0 << 2.19;
    QTest::newRow("water z=1000") << 2 << 2.7 << 30.0 << 0.0 << 0.0 << 1000.0
                                  << 2.7 + porosity_ref(30, 1000) * (1 - 2.7);
    QTest::newRow("water deep") << 2 << 2.7 << 30.0 << 0.0 << 0.0 << 50000.0 << 2.7;
    QTest::newRow("gas z=0") << 3 << 2.7 << 30.0 << 0.0 << 0.0 << 0.0 << 1.89;
    QTest::newRow("gas z=2500") << 3 << 2.5 << 20.0 << 0.0 << 0.0 << 2500.0
                                << (1 - porosity_ref(20, 2500)) * 2.5;
    QTest::newRow("gas deep") << 3 << 2.7 << 30.0 << 0.0 << 0.0 << 50000.0 << 2.7;
    QTest::newRow("polynomial") << 4 << 0.0 << 0.001 << 0.5 << 2000.0 << 0.0 << 2.5;
    QTest::newRow("polynomial square") << 4 << 1e-7 << 2e-4 << 1.2 << 3000.0 << 0.0
                                       << 1e-7 * 9e6 + 2e-4 * 3000 + 1.2;
}

// Each formula on a one-cell Vp cube at depth z, against the hand value.
void TestVelocityDensity::fixedFormulas()
{
    QFETCH(int, type);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, c);
    QFETCH(double, vp);
    QFETCH(double, z);
    QFETCH(double, expected);

    const vector3D velocity = cube(1, 1, 1, float(vp));
    const std::vector<double> zs{z};
    ConversionInput in;
    in.vp = &velocity;
    in.vp_z = &zs;
    vector3D out;
    QCOMPARE(convert_by_layers(in, {LayerFormula{type, a, b, c}}, ScriptCell(), out), ConvertStatus::Ok);
    QCOMPARE(out.size(), std::size_t(1));
    QVERIFY2(std::abs(out[0][0][0] - expected) <= 2e-6 * std::max(1.0, std::abs(expected)),
             qPrintable(QString("%1 vs %2").arg(out[0][0][0], 0, 'g', 9).arg(expected, 0, 'g', 9)));
}

void TestVelocityDensity::gardnerInverseRoundTrip()
{
    for (float v : {300.f, 1500.f, 2000.f, 4321.f, 8000.f}) {
        const float rho = gardner(v);
        QVERIFY(std::abs(rho - gardner_ref(v)) < 1e-6 * gardner_ref(v) + 1e-7);
        const float back = inverse_gardner(rho);
        QVERIFY2(std::abs(back - v) < 2e-6 * v * 4, qPrintable(QString::number(back)));
    }
    // (rho / 0.31)^4 of 2.0 by hand: (6.4516129)^4 = 1732.52...
    QVERIFY(std::abs(inverse_gardner(2.0f) - std::pow(2.0 / 0.31, 4)) < 1e-3);
}

void TestVelocityDensity::parseFormulas()
{
    const auto f = parse_layer_formulas({0, 2, 5}, {"", "2.7", "Math.sqrt(Vp)"}, {"x", "30"}, {"1e-3"});
    QCOMPARE(f.size(), std::size_t(3));
    QCOMPARE(f[0].type, 0);
    QCOMPARE(f[0].a, 0.0);
    QCOMPARE(f[0].b, 0.0);  // unreadable text
    QCOMPARE(f[0].c, 1e-3);
    QCOMPARE(f[1].a, 2.7);
    QCOMPARE(f[1].b, 30.0);
    QCOMPARE(f[1].c, 0.0);  // missing entry
    QCOMPARE(f[2].type, 5);
    QCOMPARE(f[2].a, 0.0);
}

// Three layers over a 2 x 3 grid whose middle horizon changes depth from node
// to node; every cell must take its own layer's constant.
void TestVelocityDensity::perLayerChoiceByDepth()
{
    const std::size_t nz = 9, ny = 2, nx = 3;
    const vector3D velocity = cube(nz, ny, nx, 2500.f);
    const std::vector<double> zs = depths(nz, 50);  // 0 .. 400
    std::vector<field2D> horizons{plane(ny, nx, 0), plane(ny, nx, 100), plane(ny, nx, 0)};
    const double second[2][3] = {{150, 200, 250}, {300, 350, 400}};
    for (std::size_t i = 0; i < ny; ++i)
        for (std::size_t j = 0; j < nx; ++j)
            horizons[2][i][j] = second[i][j];

    ConversionInput in;
    in.vp = &velocity;
    in.vp_z = &zs;
    in.horizons = &horizons;
    const std::vector<LayerFormula> formulas{{Constant, 1.0}, {Gardner}, {WaterSaturated, 2.6, 25}};
    vector3D out;
    QCOMPARE(convert_by_layers(in, formulas, ScriptCell(), out), ConvertStatus::Ok);
    for (std::size_t k = 0; k < nz; ++k)
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j) {
                const int m = layer_ref({horizons[0][i][j], horizons[1][i][j], horizons[2][i][j]}, zs[k]);
                const double expected = m == 0   ? 1.0
                    : m == 1                     ? gardner_ref(2500)
                                                 : 2.6 + porosity_ref(25, zs[k]) * (1 - 2.6);
                QVERIFY2(std::abs(out[k][i][j] - expected) < 1e-5,
                         qPrintable(QString("k=%1 i=%2 j=%3 m=%4").arg(k).arg(i).arg(j).arg(m)));
            }
    // A depth exactly on a horizon belongs to the layer below: level 2 (100 m).
    QCOMPARE(out[2][0][0], data_type(gardner(2500.f)));
}

void TestVelocityDensity::crossingAndShallowDepthsGoToLastLayer()
{
    const vector3D velocity = cube(4, 1, 1, 2000.f);
    const std::vector<double> zs{-50, 0, 150, 250};
    // Horizon 2 above horizon 1: between them no layer holds the depth.
    const std::vector<field2D> horizons{plane(1, 1, 0), plane(1, 1, 200), plane(1, 1, 100)};
    ConversionInput in;
    in.vp = &velocity;
    in.vp_z = &zs;
    in.horizons = &horizons;
    vector3D out;
    QCOMPARE(convert_by_layers(in, {{Constant, 1}, {Constant, 2}, {Constant, 3}}, ScriptCell(), out),
             ConvertStatus::Ok);
    QCOMPARE(out[0][0][0], 3.0f);  // above horizon 0
    QCOMPARE(out[1][0][0], 1.0f);
    QCOMPARE(out[2][0][0], 1.0f);  // 0 <= 150 < 200
    QCOMPARE(out[3][0][0], 3.0f);  // below 200 but above 100: no layer holds it
}

void TestVelocityDensity::vpOnlyCubeWithEveryFormula()
{
    // Without horizons one formula covers every cell.
    const vector3D velocity = cube(3, 2, 2, 2000.f);
    const std::vector<double> zs = depths(3, 100);
    ConversionInput in;
    in.vp = &velocity;
    in.vp_z = &zs;
    vector3D out;
    QCOMPARE(convert_by_layers(in, {{Gardner}}, ScriptCell(), out), ConvertStatus::Ok);
    for (const auto& level : out)
        for (const auto& row : level)
            for (data_type v : row)
                QVERIFY(std::abs(v - 2.0730945) < 1e-5);
}

void TestVelocityDensity::vsOnlyAndDensityOnlySources()
{
    const vector3D vs = cube(2, 1, 2, 1600.f);
    const std::vector<double> zs = depths(2, 10);
    ConversionInput in;
    in.vs = &vs;
    in.vs_z = &zs;
    QCOMPARE(conversion_source(in), 2);
    vector3D out;
    QCOMPARE(convert_by_layers(in, {{Gardner}}, ScriptCell(), out), ConvertStatus::Ok);
    QVERIFY(std::abs(out[1][0][1] - gardner_ref(1600)) < 1e-5);
    // The polynomial needs a Vp cube: 0 without one.
    QCOMPARE(convert_by_layers(in, {{Polynomial, 0, 0.001, 0.5}}, ScriptCell(), out), ConvertStatus::Ok);
    QCOMPARE(out[0][0][0], 0.0f);

    const vector3D density = cube(2, 1, 1, 2.2f);
    ConversionInput d;
    d.density = &density;
    d.density_z = &zs;
    QCOMPARE(conversion_source(d), 3);
    QCOMPARE(convert_by_layers(d, {{Gardner}}, ScriptCell(), out), ConvertStatus::Ok);
    QVERIFY(std::abs(out[0][0][0] - gardner_ref(2.2)) < 1e-6);
}

// The bar follows the cells done, row by row, not only level by level.
void TestVelocityDensity::progressCountsCells()
{
    const vector3D vp = cube(2, 2, 3, 2000.f);
    const std::vector<double> z{0, 100};
    velocity_density::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    QList<int> percents;
    vector3D out;
    QCOMPARE(velocity_density::convert_by_layers(in, {velocity_density::LayerFormula{velocity_density::Constant, 2}},
                                                 velocity_density::ScriptCell(), out, nullptr,
                                                 [&percents](int p) { percents << p; }),
             velocity_density::ConvertStatus::Ok);
    QCOMPARE(percents, QList<int>({0, 25, 50, 75}));
}

void TestVelocityDensity::scriptCellGetsItsValues()
{
    vector3D vp = cube(2, 1, 2, 0), vs = cube(2, 1, 2, 0);
    for (std::size_t k = 0; k < 2; ++k)
        for (std::size_t j = 0; j < 2; ++j) {
            vp[k][0][j] = float(1000 + 10 * k + j);
            vs[k][0][j] = float(500 + 10 * k + j);
        }
    const std::vector<double> zs{25, 75};
    const std::vector<field2D> horizons{plane(1, 2, 0), plane(1, 2, 50)};
    ConversionInput in;
    in.vp = &vp;
    in.vp_z = &zs;
    in.vs = &vs;
    in.vs_z = &zs;
    in.horizons = &horizons;
    QStringList calls;
    const ScriptCell script = [&](int layer, double p, double s, double h) {
        calls << QString("%1 %2 %3 %4").arg(layer).arg(p).arg(s).arg(h);
        return p + s + h;
    };
    vector3D out;
    QCOMPARE(convert_by_layers(in, {{Script}, {Script}}, script, out), ConvertStatus::Ok);
    QCOMPARE(calls, QStringList({"0 1000 500 25", "0 1001 501 25", "1 1010 510 75", "1 1011 511 75"}));
    QCOMPARE(out[1][0][1], 1011.f + 511.f + 75.f);
}

void TestVelocityDensity::refusals_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("status");
    QTest::newRow("fewer formulas than layers") << 0 << int(ConvertStatus::FormulaCount);
    QTest::newRow("no formula without horizons") << 1 << int(ConvertStatus::FormulaCount);
    QTest::newRow("nothing loaded") << 2 << int(ConvertStatus::NoSource);
    QTest::newRow("horizons fit only Vs") << 3 << int(ConvertStatus::HorizonsMismatch);
    QTest::newRow("Vp and Vs differ") << 4 << int(ConvertStatus::VpVsMismatch);
    QTest::newRow("horizons off the density grid") << 5 << int(ConvertStatus::DensityHorizonsMismatch);
    QTest::newRow("fewer depths than levels") << 6 << int(ConvertStatus::BadGrid);
}

void TestVelocityDensity::refusals()
{
    QFETCH(int, scenario);
    QFETCH(int, status);
    vector3D vp = cube(3, 2, 2, 2000.f), vs = cube(3, 2, 2, 1000.f), density = cube(3, 2, 2, 2.f);
    const std::vector<double> zs = depths(3, 10);
    std::vector<field2D> horizons{plane(2, 2, 0), plane(2, 2, 15)};
    std::vector<LayerFormula> formulas{{Gardner}, {Gardner}};
    ConversionInput in;
    in.vp = &vp;
    in.vp_z = &zs;
    in.vs = &vs;
    in.vs_z = &zs;
    in.horizons = &horizons;
    const vector3D empty;
    std::vector<double> short_z{0, 10};
    switch (scenario) {
    case 0:
        formulas.pop_back();
        break;
    case 1:
        in.horizons = nullptr;
        formulas.clear();
        break;
    case 2:
        in.vp = in.vs = &empty;
        in.density = &empty;
        break;
    case 3:
        vp = cube(3, 3, 2, 2000.f);
        vs = cube(3, 2, 2, 1000.f);
        in.vs = &empty;  // Vs alone would match; the converted cube is Vp
        break;
    case 4:
        vs = cube(2, 2, 2, 1000.f);
        break;
    case 5:
        in.vp = in.vs = &empty;
        in.density = &density;
        in.density_z = &zs;
        horizons = {plane(2, 3, 0), plane(2, 3, 15)};
        break;
    case 6:
        in.vp_z = &short_z;
        break;
    }
    vector3D out = cube(1, 1, 1, 7.f);
    QCOMPARE(int(convert_by_layers(in, formulas, ScriptCell(), out)), status);
    QCOMPARE(out, cube(1, 1, 1, 7.f));
}

void TestVelocityDensity::nonFiniteResultLeavesOutput()
{
    vector3D vp = cube(2, 2, 2, 2000.f);
    vp[1][0][1] = -100.f;  // no fourth root
    const std::vector<double> zs = depths(2, 10);
    ConversionInput in;
    in.vp = &vp;
    in.vp_z = &zs;
    vector3D out = cube(1, 1, 1, 7.f);
    BadCell bad;
    QCOMPARE(convert_by_layers(in, {{Gardner}}, ScriptCell(), out, &bad), ConvertStatus::NonFinite);
    QCOMPARE(out, cube(1, 1, 1, 7.f));
    QCOMPARE(bad.level, 1);
    QCOMPARE(bad.row, 0);
    QCOMPARE(bad.column, 1);

    vp[1][0][1] = 2000.f;
    const ScriptCell nan_script = [](int, double, double, double) { return std::nan(""); };
    QCOMPARE(convert_by_layers(in, {{Script}}, nan_script, out, &bad), ConvertStatus::NonFinite);
    QCOMPARE(bad.level, 0);
    // Too large for a float.
    QCOMPARE(convert_by_layers(in, {{Constant, 1e300}}, ScriptCell(), out), ConvertStatus::NonFinite);
    QCOMPARE(out, cube(1, 1, 1, 7.f));
}

void TestVelocityDensity::wholeCubeGardner()
{
    vector3D vp = cube(2, 2, 3, 2000.f);
    vp[0][1][2] = 3000.f;
    vector3D rho;
    QStringList steps;
    QCOMPARE(gardner_cube(vp, rho, nullptr, [&](int p) { steps << QString::number(p); }), ConvertStatus::Ok);
    QCOMPARE(steps, QStringList({"0", "50"}));
    QVERIFY(std::abs(rho[1][1][1] - 2.0730945) < 1e-5);
    QVERIFY(std::abs(rho[0][1][2] - gardner_ref(3000)) < 1e-5);
    vector3D back;
    QCOMPARE(inverse_gardner_cube(rho, back), ConvertStatus::Ok);
    QVERIFY(std::abs(back[1][1][1] - 2000) < 0.02);
    QVERIFY(std::abs(back[0][1][2] - 3000) < 0.03);

    vector3D bad_out = cube(1, 1, 1, 7.f);
    QCOMPARE(gardner_cube(vector3D(), bad_out), ConvertStatus::BadGrid);
    QCOMPARE(inverse_gardner_cube(cube(1, 1, 1, 1e12f), bad_out), ConvertStatus::NonFinite);
    QCOMPARE(bad_out, cube(1, 1, 1, 7.f));
}

QTEST_GUILESS_MAIN(TestVelocityDensity)
#include "tst_velocity_density.moc"
