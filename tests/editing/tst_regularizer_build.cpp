// Regularizers built from a small layered model: the central ones (plain and
// thickness-based) and the gradient one, against values worked out by hand.
#include "editing/regularizer_build.h"
#include "test_nodes.h"

#include <QtTest>

#include <cmath>

namespace {

field2D flat(std::size_t rows, std::size_t columns, double depth)
{
    return field2D(rows, std::vector<double>(columns, depth));
}

vector3D shape(std::size_t levels, std::size_t rows, std::size_t columns)
{
    return vector3D(levels, vector2D(rows, std::vector<data_type>(columns, 7.0f)));
}

// Index of a depth in a node vector (the depths used here lie on nodes).
std::size_t at(const std::vector<double>& z, double depth)
{
    for (std::size_t k = 0; k < z.size(); ++k)
        if (z[k] == depth)
            return k;
    qFatal("depth %g is not a level", depth);
    return 0;
}

bool all_finite(const vector3D& g)
{
    for (const auto& level : g)
        for (const auto& row : level)
            for (data_type v : row)
                if (!std::isfinite(v))
                    return false;
    return true;
}

}  // namespace

class TestRegularizerBuild : public QObject {
    Q_OBJECT

private slots:
    void centralOnFlatLayer_data();
    void centralOnFlatLayer();
    void centralLastLayerReachesDeepestLevel();
    void thicknessAmplitudeHalvesThinNode();
    void largestThickness();
    void widthZeroAndNegative();
    void zeroThicknessGivesZero();
    void gradientLinearBetweenHorizons();
    void gradientVaryingByNode();
    void gradientOfFlatHorizonsStaysZero();
    void refusals();
    void progressPerLevel();
};

// Layer 0 from 0 to 100 m (flat), width 0.5: 1 at the mid-depth, 1/4 a
// quarter of the thickness away, 1/256 at the layer's top.
void TestRegularizerBuild::centralOnFlatLayer_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("expected");
    QTest::newRow("mid-depth") << 50.0 << 1.0;
    QTest::newRow("25 m") << 25.0 << 0.25;
    QTest::newRow("75 m") << 75.0 << 0.25;
    QTest::newRow("top") << 0.0 << 1.0 / 256;
}

void TestRegularizerBuild::centralOnFlatLayer()
{
    QFETCH(double, depth);
    QFETCH(double, expected);
    const std::vector<double> z = nodes(9, 0, 25);  // 0 .. 200
    const std::vector<field2D> horizons{flat(2, 3, 0), flat(2, 3, 100)};
    vector3D out;
    QCOMPARE(regularizers::central_regularizer(shape(9, 2, 3), z, horizons, 0.5, false, out),
             regularizers::BuildStatus::Ok);
    QCOMPARE(out.size(), std::size_t(9));
    for (const auto& row : out[at(z, depth)])
        for (data_type v : row)
            QVERIFY2(std::fabs(v - expected) < 1e-5, qPrintable(QString::number(v)));
}

// The last layer reaches from the last horizon (100) to the deepest level
// (200): mid-depth 150.
void TestRegularizerBuild::centralLastLayerReachesDeepestLevel()
{
    const std::vector<double> z = nodes(9, 0, 25);
    const std::vector<field2D> horizons{flat(1, 2, 0), flat(1, 2, 100)};
    vector3D out;
    QCOMPARE(regularizers::central_regularizer(shape(9, 1, 2), z, horizons, 0.5, false, out),
             regularizers::BuildStatus::Ok);
    QVERIFY(std::fabs(out[at(z, 100)][0][0] - 1.0 / 256) < 1e-6);
    QVERIFY(std::fabs(out[at(z, 125)][0][1] - 0.25) < 1e-5);
    QVERIFY(std::fabs(out[at(z, 150)][0][0] - 1.0) < 1e-6);
    QVERIFY(std::fabs(out[at(z, 200)][0][1] - 1.0 / 256) < 1e-6);
}

// Horizon 1 at 100 m over column 0 and 200 m over column 1, deepest level
// 300: layer 0 is 100 m thick at column 0 and 200 m at its thickest, so
// column 0 holds half the plain values; the last layer is 200 m thick at
// column 0 (its thickest) and 100 m at column 1.
void TestRegularizerBuild::thicknessAmplitudeHalvesThinNode()
{
    const std::vector<double> z = nodes(13, 0, 25);  // 0 .. 300
    field2D h1{{100, 200}};
    const std::vector<field2D> horizons{flat(1, 2, 0), h1};
    vector3D plain, heights;
    QCOMPARE(regularizers::central_regularizer(shape(13, 1, 2), z, horizons, 0.5, false, plain),
             regularizers::BuildStatus::Ok);
    QCOMPARE(regularizers::central_regularizer(shape(13, 1, 2), z, horizons, 0.5, true, heights),
             regularizers::BuildStatus::Ok);
    for (std::size_t k = 0; k < z.size(); ++k) {
        const double factor0 = z[k] < 100 ? 0.5 : 1.0;
        const double factor1 = z[k] < 200 ? 1.0 : 0.5;
        QVERIFY2(std::fabs(heights[k][0][0] - plain[k][0][0] * factor0) < 1e-6, qPrintable(QString::number(k)));
        QVERIFY2(std::fabs(heights[k][0][1] - plain[k][0][1] * factor1) < 1e-6, qPrintable(QString::number(k)));
    }
    QVERIFY(std::fabs(heights[at(z, 50)][0][0] - 0.5) < 1e-6);
    QVERIFY(std::fabs(heights[at(z, 100)][0][1] - 1.0) < 1e-6);
    QVERIFY(std::fabs(heights[at(z, 250)][0][1] - 0.5) < 1e-6);
}

void TestRegularizerBuild::largestThickness()
{
    const std::vector<field2D> horizons{field2D{{0, 0}, {0, 0}}, field2D{{100, 150}, {120, 90}},
                                        field2D{{300, 160}, {400, 500}}};
    // 0 -> 1: max 150; 1 -> 2: max(200, 10, 280, 410) = 410; last: 600 - 160.
    QCOMPARE(regularizers::largest_layer_thickness(horizons, 600), (std::vector<double>{150, 410, 440}));
    // One horizon: the deepest level minus its shallowest node.
    QCOMPARE(regularizers::largest_layer_thickness({field2D{{30, 10}}}, 100), (std::vector<double>{90}));
}

void TestRegularizerBuild::widthZeroAndNegative()
{
    const std::vector<double> z = nodes(9, 0, 25);
    const std::vector<field2D> horizons{flat(1, 1, 0), flat(1, 1, 100)};
    vector3D zero, negative, positive;
    QCOMPARE(regularizers::central_regularizer(shape(9, 1, 1), z, horizons, 0.0, false, zero),
             regularizers::BuildStatus::Ok);
    // A vanishing width leaves 1 exactly at the mid-depths and 0 elsewhere.
    QVERIFY(all_finite(zero));
    for (std::size_t k = 0; k < z.size(); ++k) {
        const bool mid = z[k] == 50 || z[k] == 150;
        QCOMPARE(zero[k][0][0], mid ? 1.0f : 0.0f);
    }
    QCOMPARE(regularizers::central_regularizer(shape(9, 1, 1), z, horizons, -0.7, false, negative),
             regularizers::BuildStatus::Ok);
    QCOMPARE(regularizers::central_regularizer(shape(9, 1, 1), z, horizons, 0.7, false, positive),
             regularizers::BuildStatus::Ok);
    QCOMPARE(negative, positive);
}

// The last horizon at the deepest level leaves the last layer no thickness:
// its cells are 0, not 0/0.
void TestRegularizerBuild::zeroThicknessGivesZero()
{
    const std::vector<double> z = nodes(5, 0, 50);  // 0 .. 200
    const std::vector<field2D> horizons{flat(1, 1, 0), flat(1, 1, 200)};
    vector3D central, heights, gradient;
    QCOMPARE(regularizers::central_regularizer(shape(5, 1, 1), z, horizons, 0.5, false, central),
             regularizers::BuildStatus::Ok);
    QCOMPARE(regularizers::central_regularizer(shape(5, 1, 1), z, horizons, 0.5, true, heights),
             regularizers::BuildStatus::Ok);
    QCOMPARE(regularizers::gradient_regularizer(shape(5, 1, 1), z, horizons, {flat(1, 1, 0), flat(1, 1, 16)},
                                                gradient),
             regularizers::BuildStatus::Ok);
    for (const vector3D* g : {&central, &heights, &gradient}) {
        QVERIFY(all_finite(*g));
        QCOMPARE((*g)[4][0][0], 0.0f);
    }
    QVERIFY(std::fabs(central[2][0][0] - 1.0f) < 1e-6);
}

// Horizon 0 flat (gradient 0), horizon 1 at 200 with gradient 16 (fourth
// root 2), deepest level 400: before scaling z / 100 in layer 0 and
// (400 - z) / 100 in the last layer, peak 2 at the horizon; after scaling
// z / 200 and (400 - z) / 200.
void TestRegularizerBuild::gradientLinearBetweenHorizons()
{
    const std::vector<double> z = nodes(17, 0, 25);  // 0 .. 400
    const std::vector<field2D> horizons{flat(2, 2, 0), flat(2, 2, 200)};
    const std::vector<field2D> gradients{flat(2, 2, 0), flat(2, 2, 16)};
    vector3D out;
    QCOMPARE(regularizers::gradient_regularizer(shape(17, 2, 2), z, horizons, gradients, out),
             regularizers::BuildStatus::Ok);
    for (std::size_t k = 0; k < z.size(); ++k) {
        const double expected = z[k] < 200 ? z[k] / 200 : (400 - z[k]) / 200;
        for (const auto& row : out[k])
            for (data_type v : row)
                QVERIFY2(std::fabs(v - expected) < 1e-6, qPrintable(QString("z %1: %2").arg(z[k]).arg(v)));
    }
    QCOMPARE(out[at(z, 200)][1][1], 1.0f);
}

// Horizon 1 with gradient 16 at column 0 and 81 (fourth root 3) at column 1;
// horizon 0 with gradient 1 everywhere: layer 0 goes from 1 at the top to 2
// or 3 at horizon 1; scaled by the peak 3.
void TestRegularizerBuild::gradientVaryingByNode()
{
    const std::vector<double> z = nodes(9, 0, 50);  // 0 .. 400
    const std::vector<field2D> horizons{flat(1, 2, 0), flat(1, 2, 200)};
    const std::vector<field2D> gradients{flat(1, 2, 1), field2D{{16, 81}}};
    vector3D out;
    QCOMPARE(regularizers::gradient_regularizer(shape(9, 1, 2), z, horizons, gradients, out),
             regularizers::BuildStatus::Ok);
    const double root[2] = {2, 3};
    for (std::size_t k = 0; k < z.size(); ++k)
        for (int c = 0; c < 2; ++c) {
            const double raw = z[k] < 200 ? (root[c] * z[k] + 1 * (200 - z[k])) / 200
                                          : (0 * (z[k] - 200) + root[c] * (400 - z[k])) / 200;
            QVERIFY2(std::fabs(out[k][0][c] - raw / 3) < 1e-6, qPrintable(QString("z %1 c %2").arg(z[k]).arg(c)));
        }
}

void TestRegularizerBuild::gradientOfFlatHorizonsStaysZero()
{
    const std::vector<double> z = nodes(5, 0, 50);
    const std::vector<field2D> horizons{flat(2, 2, 0), flat(2, 2, 100)};
    vector3D out;
    QCOMPARE(regularizers::gradient_regularizer(shape(5, 2, 2), z, horizons, {flat(2, 2, 0), flat(2, 2, 0)}, out),
             regularizers::BuildStatus::Ok);
    QVERIFY(all_finite(out));
    for (const auto& level : out)
        for (const auto& row : level)
            for (data_type v : row)
                QCOMPARE(v, 0.0f);
}

void TestRegularizerBuild::refusals()
{
    using S = regularizers::BuildStatus;
    const std::vector<double> z = nodes(3, 0, 50);
    const std::vector<field2D> horizons{flat(2, 2, 0), flat(2, 2, 50)};
    const std::vector<field2D> gradients{flat(2, 2, 0), flat(2, 2, 1)};
    vector3D out(1, vector2D(1, std::vector<data_type>(1, 42.0f)));
    const vector3D untouched = out;

    QCOMPARE(regularizers::central_regularizer(vector3D(), z, horizons, 0.5, false, out), S::NoGrid);
    QCOMPARE(regularizers::central_regularizer(shape(3, 2, 2), z, {}, 0.5, false, out), S::NoHorizons);
    QCOMPARE(regularizers::gradient_regularizer(shape(3, 2, 2), z, {}, {}, out), S::NoHorizons);
    // Horizons of other rows or columns than the grid.
    QCOMPARE(regularizers::central_regularizer(shape(3, 2, 3), z, horizons, 0.5, true, out), S::Mismatch);
    QCOMPARE(regularizers::gradient_regularizer(shape(3, 3, 2), z, horizons, gradients, out), S::Mismatch);
    // Depths that are not one per level.
    QCOMPARE(regularizers::central_regularizer(shape(4, 2, 2), z, horizons, 0.5, false, out), S::Mismatch);
    // Gradient maps missing or of another shape.
    QCOMPARE(regularizers::gradient_regularizer(shape(3, 2, 2), z, horizons, {flat(2, 2, 0)}, out), S::Mismatch);
    QCOMPARE(regularizers::gradient_regularizer(shape(3, 2, 2), z, horizons, {flat(2, 2, 0), flat(2, 1, 0)}, out),
             S::Mismatch);
    // A ragged grid.
    vector3D ragged = shape(3, 2, 2);
    ragged[2][1].pop_back();
    QCOMPARE(regularizers::central_regularizer(ragged, z, horizons, 0.5, false, out), S::NoGrid);
    QCOMPARE(out, untouched);
}

void TestRegularizerBuild::progressPerLevel()
{
    const std::vector<double> z = nodes(4, 0, 50);
    const std::vector<field2D> horizons{flat(1, 1, 0), flat(1, 1, 100)};
    std::vector<int> central, gradient;
    vector3D out;
    regularizers::central_regularizer(shape(4, 1, 1), z, horizons, 0.5, false, out,
                                      [&central](int p) { central.push_back(p); });
    regularizers::gradient_regularizer(shape(4, 1, 1), z, horizons, {flat(1, 1, 0), flat(1, 1, 1)}, out,
                                       [&gradient](int p) { gradient.push_back(p); });
    QCOMPARE(central, (std::vector<int>{0, 25, 50, 75}));
    QCOMPARE(gradient, central);
}

QTEST_GUILESS_MAIN(TestRegularizerBuild)
#include "tst_regularizer_build.moc"
