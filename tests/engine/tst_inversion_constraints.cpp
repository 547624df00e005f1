// The constraints of the inversion's model-filling stage on small padded
// fixtures: 3 levels of 2 x 2 model nodes inside a 4 x 4 padded grid (one
// padding row and column on each side), every cell distinct, so that each
// padded cell can be checked against the node it belongs to.
#include "common/grid_helpers.h"
#include "engine/inversion.h"
#include "engine/inversion_constraints.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace constraints;

namespace {

constexpr int NZ = 3, NY = 2, NX = 2, MY = 4, MX = 4, PY = 1, PX = 1;

ModelWindow window()
{
    ModelWindow w;
    w.nx = NX;
    w.ny = NY;
    w.px = PX;
    w.py = PY;
    return w;
}

int node_row(int jj) { return std::clamp(jj - PY, 0, NY - 1); }
int node_column(int ii) { return std::clamp(ii - PX, 0, NX - 1); }
bool in_window(int jj, int ii) { return jj >= PY && jj < PY + NY && ii >= PX && ii < PX + NX; }

// The padded model after the inverse transform: distinct positive values.
vector3D padded_model()
{
    vector3D m(NZ, vector2D(MY, std::vector<float>(MX)));
    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii)
                m[k][jj][ii] = 10.0f + k + 0.1f * jj + 0.01f * ii;
    return m;
}

vector3D imaginary(float v = 7.0f) { return vector3D(NZ, vector2D(MY, std::vector<float>(MX, v))); }

// The initial model: distinct negative values.
vector3D initial_model()
{
    vector3D d(NZ, vector2D(NY, std::vector<float>(NX)));
    for (int k = 0; k < NZ; ++k)
        for (int r = 0; r < NY; ++r)
            for (int s = 0; s < NX; ++s)
                d[k][r][s] = -(k + 1) - 0.1f * r - 0.01f * s;
    return d;
}

vector3D cube_of(std::initializer_list<std::initializer_list<std::initializer_list<float>>> levels)
{
    vector3D c;
    for (const auto& level : levels) {
        vector2D l;
        for (const auto& row : level)
            l.emplace_back(row);
        c.push_back(l);
    }
    return c;
}

field2D flat(double depth) { return field2D(NY, std::vector<double>(NX, depth)); }

// A horizon with its four node depths in the order (0,0), (0,1), (1,0), (1,1).
field2D nodes4(double a, double b, double c, double d) { return {{a, b}, {c, d}}; }

bool imaginary_is_zero(const vector3D& im)
{
    for (const auto& l : im)
        for (const auto& r : l)
            for (float v : r)
                if (v != 0.0f)
                    return false;
    return true;
}

} // namespace

class TestInversionConstraints : public QObject
{
    Q_OBJECT

private slots:
    void nodeLayer_data();
    void nodeLayer();
    void signMask_data();
    void signMask();
    void fixedLayers_data();
    void fixedLayers();
    void misfittingInputsChangeNothing();
    void positiveDensity_data();
    void positiveDensity();
    void initialModelBlend_data();
    void initialModelBlend();
    void initialModelBlendFollowsTheReference();
    void initialModelBlendDoesNothing_data();
    void initialModelBlendDoesNothing();
    void uploadedRegularizerBlend_data();
    void uploadedRegularizerBlend();
    void bothBlendsAgreeInsideTheWindow();
    void densityLimits_data();
    void densityLimits();
    void signConstraint_data();
    void signConstraint();
    void lateralMeans_data();
    void lateralMeans();
    void levelHookRunsPerLevel();
};

// ---------------------------------------------------------------------------

void TestInversionConstraints::nodeLayer_data()
{
    QTest::addColumn<QVector<double>>("depths"); // one node's horizon depths, top first
    QTest::addColumn<double>("z");
    QTest::addColumn<int>("layer");
    QTest::newRow("no horizons") << QVector<double>{} << 5.0 << 0;
    QTest::newRow("one horizon, above it") << QVector<double>{10} << 5.0 << 0;
    QTest::newRow("one horizon, below it") << QVector<double>{10} << 50.0 << 0;
    QTest::newRow("on horizon 0") << QVector<double>{0, 100, 200} << 0.0 << 0;
    QTest::newRow("inside layer 0") << QVector<double>{0, 100, 200} << 99.9 << 0;
    QTest::newRow("on horizon 1") << QVector<double>{0, 100, 200} << 100.0 << 1;
    QTest::newRow("on the last horizon") << QVector<double>{0, 100, 200} << 200.0 << 2;
    QTest::newRow("below the last horizon") << QVector<double>{0, 100, 200} << 1e6 << 2;
    QTest::newRow("above horizon 0: the last layer") << QVector<double>{10, 100, 200} << 5.0 << 2;
    // 0.7 has no exact single-precision value: float(0.7) lies below it.
    QTest::newRow("on horizon 0 at 0.7") << QVector<double>{0.7, 100.7} << 0.7 << 0;
    QTest::newRow("on horizon 1 at 0.7 + 50") << QVector<double>{0.7, 0.7 + 50} << 0.7 + 50 << 1;
    // Horizon 2 crosses above horizon 1: the first pair that holds the depth.
    QTest::newRow("crossing horizons: first match") << QVector<double>{0, 50, 30, 300} << 60.0 << 2;
    QTest::newRow("crossing horizons: layer 0") << QVector<double>{0, 50, 30, 300} << 40.0 << 0;
}

void TestInversionConstraints::nodeLayer()
{
    QFETCH(QVector<double>, depths);
    QFETCH(double, z);
    QFETCH(int, layer);
    std::vector<field2D> horizons;
    for (double d : depths)
        horizons.push_back(field2D{{1e9, 1e9}, {1e9, d}}); // the node under test is (1, 1)
    QCOMPARE(node_layer(horizons, 1, 1, z), layer);
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::signMask_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("regularizer"); // "same", "none", "other"
    QTest::addColumn<bool>("built");
    QTest::addColumn<QString>("mask");
    // den: {{0.5, 0}, {-0.5, 1e-30}}; regularizer: {{-1, 2}, {0, 3}}
    QTest::newRow("density grid") << 0 << "none" << true << "1001";
    QTest::newRow("density grid, regularizer loaded") << 0 << "same" << true << "1001";
    QTest::newRow("regularizer") << 1 << "same" << true << "0101";
    QTest::newRow("regularizer absent") << 1 << "none" << false << "";
    QTest::newRow("regularizer of other rows") << 1 << "other" << false << "";
    QTest::newRow("unknown source") << 2 << "same" << false << "";
    QTest::newRow("negative source") << -1 << "same" << false << "";
}

void TestInversionConstraints::signMask()
{
    QFETCH(int, source);
    QFETCH(QString, regularizer);
    QFETCH(bool, built);
    QFETCH(QString, mask);
    const vector3D den = cube_of({{{0.5f, 0.0f}, {-0.5f, 1e-30f}}});
    vector3D reg;
    if (regularizer == "same")
        reg = cube_of({{{-1, 2}, {0, 3}}});
    else if (regularizer == "other")
        reg = cube_of({{{-1, 2}}});
    std::vector<unsigned char> m{9, 9};
    QCOMPARE(build_sign_mask(source, den, reg, m), built);
    QString got;
    for (unsigned char f : m)
        got += f ? '1' : '0';
    QCOMPARE(got, mask);
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::fixedLayers_data()
{
    QTest::addColumn<QVector<double>>("horizons"); // four node depths per horizon
    QTest::addColumn<QVector<int>>("fixed");
    QTest::addColumn<double>("z0");
    QTest::addColumn<QString>("restored");         // per level, per node (0,0) (0,1) (1,0) (1,1)
    // Levels lie at z0, z0 + 50, z0 + 100.
    QTest::newRow("lower layer fixed") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{0, 1} << 0.0
                                       << "0000 1111 1111";
    QTest::newRow("upper layer fixed") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{1, 0} << 0.0
                                       << "1111 0000 0000";
    QTest::newRow("horizon crossing levels") << QVector<double>{0, 0, 0, 0, 50, 100, 100, 150} << QVector<int>{0, 1}
                                             << 0.0 << "0000 1000 1110";
    QTest::newRow("above the first horizon: last layer")
        << QVector<double>{0, 60, 0, 0, 100, 100, 100, 100} << QVector<int>{0, 1} << 0.0 << "0100 0100 1111";
    // The top level lies exactly on horizon 0 at a depth a float cannot hold:
    // it belongs to layer 0, not to the last layer.
    QTest::newRow("level on horizon 0 at 0.7")
        << QVector<double>{0.7, 0.7, 0.7, 0.7, 50, 50, 50, 50} << QVector<int>{1, 0} << 0.7 << "1111 0000 0000";
    QTest::newRow("level on horizon 0 at 0.7, last layer fixed")
        << QVector<double>{0.7, 0.7, 0.7, 0.7, 50, 50, 50, 50} << QVector<int>{0, 1} << 0.7 << "0000 1111 1111";
    QTest::newRow("fewer flags than layers") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{1}
                                             << 0.0 << "1111 0000 0000";
    QTest::newRow("no flags") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{} << 0.0
                              << "0000 0000 0000";
    QTest::newRow("one horizon") << QVector<double>{0, 0, 0, 0} << QVector<int>{1} << 0.0 << "1111 1111 1111";
}

void TestInversionConstraints::fixedLayers()
{
    QFETCH(QVector<double>, horizons);
    QFETCH(QVector<int>, fixed);
    QFETCH(double, z0);
    QFETCH(QString, restored);
    std::vector<field2D> h;
    for (int i = 0; i + 3 < horizons.size(); i += 4)
        h.push_back(nodes4(horizons[i], horizons[i + 1], horizons[i + 2], horizons[i + 3]));
    const std::vector<bool> flags(fixed.begin(), fixed.end());
    const vector3D den = initial_model();
    const vector3D before = padded_model();
    vector3D re = before, im = imaginary();

    QVERIFY(restore_fixed_layers(re, im, window(), den, h, flags, z0, 50.0));
    const QString expect = QString(restored).remove(' ');
    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii) {
                const int r = node_row(jj), s = node_column(ii);
                const bool back = expect[k * 4 + r * 2 + s] == '1';
                QCOMPARE(re[k][jj][ii], back ? den[k][r][s] : before[k][jj][ii]);
            }
    QVERIFY(imaginary_is_zero(im));
}

// Inputs that do not fit the padded model or the window leave everything
// as it was.
void TestInversionConstraints::misfittingInputsChangeNothing()
{
    const vector3D den = initial_model();
    const vector3D before = padded_model();
    const std::vector<field2D> h{flat(0), flat(50)};
    const std::vector<field2D> short_h{flat(0), field2D{{50, 50}}};
    const vector3D short_den(NZ - 1, vector2D(NY, std::vector<float>(NX, 1.0f)));
    ModelWindow wide = window();
    wide.nx = MX; // px + nx beyond the padded columns
    vector3D re = before, im = imaginary();

    QVERIFY(!restore_fixed_layers(re, im, window(), den, short_h, {true, true}, 0, 50));
    QVERIFY(!restore_fixed_layers(re, im, window(), short_den, h, {true, true}, 0, 50));
    QVERIFY(!restore_fixed_layers(re, im, wide, den, h, {true, true}, 0, 50));
    QVERIFY(!apply_positive_density(re, im, window(), short_den, true));
    vector3D short_im(NZ, vector2D(MY - 1, std::vector<float>(MX, 7.0f)));
    QVERIFY(!apply_positive_density(re, short_im, window(), den, true));
    vector3D ref = short_den;
    QVERIFY(!blend_initial_model(re, im, window(), den, ref, 0));
    QVERIFY(!apply_sign_constraint(re, window(), den, std::vector<unsigned char>(5, 1), 0));
    QVERIFY(!apply_lateral_means(re, im, window(), den, short_h, {}, 0, 50, false));
    vector3D empty;
    QVERIFY(!apply_density_limits(empty, 0, 1));
    QCOMPARE(re, before);
    QCOMPARE(im, imaginary());
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::positiveDensity_data()
{
    QTest::addColumn<bool>("positive");
    QTest::addColumn<float>("initial"); // the initial density of every cell
    QTest::newRow("off") << false << 0.0f;
    QTest::newRow("zero initial model") << true << 0.0f;
    QTest::newRow("positive initial model") << true << 10.5f;
    QTest::newRow("negative initial model") << true << -20.0f;
}

void TestInversionConstraints::positiveDensity()
{
    QFETCH(bool, positive);
    QFETCH(float, initial);
    // The model straddles zero and the initial values.
    vector3D before = padded_model();
    for (auto& l : before)
        for (auto& r : l)
            for (float& v : r)
                v -= 11.0f;
    const vector3D den(NZ, vector2D(NY, std::vector<float>(NX, initial)));
    vector3D re = before, im = imaginary();
    QVERIFY(apply_positive_density(re, im, window(), den, positive));
    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii) {
                const float v = before[k][jj][ii];
                const float expected = positive && initial > v ? initial : v;
                QCOMPARE(re[k][jj][ii], expected);
                if (positive)
                    QVERIFY(re[k][jj][ii] >= initial);
            }
    QVERIFY(imaginary_is_zero(im));
}

// ---------------------------------------------------------------------------

namespace {

// An initial model with a constant middle level.
vector3D blend_initial()
{
    return cube_of({{{0.5f, -1.0f}, {2.0f, -4.0f}}, {{3, 3}, {3, 3}}, {{1, 1}, {1, 2}}});
}

// The weight |R| of node (r, s) on level k for the initial regularizer type.
double blend_weight(const vector3D& den, int type, int k, int r, int s)
{
    const vector2D& l = den[k];
    double mean = 0, lo = l[0][0];
    for (const auto& row : l)
        for (float v : row) {
            mean += v;
            lo = std::min<double>(lo, v);
        }
    mean /= NY * NX;
    const double shift = type == 1 ? mean : type == 2 ? lo : 0.0;
    return std::fabs(static_cast<float>(l[r][s] - shift));
}

} // namespace

void TestInversionConstraints::initialModelBlend_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("norm");
    // Type 0: the largest magnitude, 4.
    QTest::newRow("no recalculation") << 0 << 4.0;
    // Type 1: level 0 has mean -0.625, max 2, min -4: deviations 2.625 and 3.375.
    QTest::newRow("level means removed") << 1 << 3.375;
    // Type 2: level ranges 6, 0, 1.
    QTest::newRow("level minima removed") << 2 << 6.0;
}

void TestInversionConstraints::initialModelBlend()
{
    QFETCH(int, type);
    QFETCH(double, norm);
    const vector3D den = blend_initial();
    const vector3D before = padded_model();
    vector3D reference = den;
    vector3D re = before, im = imaginary();
    QVERIFY(blend_initial_model(re, im, window(), den, reference, type));

    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii) {
                const int r = node_row(jj), s = node_column(ii);
                // Cells before and inside the window blend against the
                // initial model; padding after the window (scanned later)
                // against the blended edge value.
                const bool after = jj >= PY + NY || (jj >= PY && ii >= PX + NX);
                const double ref = after ? reference[k][r][s] : den[k][r][s];
                const double w = blend_weight(den, type, k, r, s);
                const double expected = ref + (before[k][jj][ii] - ref) * w / norm;
                QVERIFY2(std::fabs(re[k][jj][ii] - expected) <= 2e-6 * std::max(1.0, std::fabs(expected)),
                         qPrintable(QString("k %1 row %2 col %3: %4 vs %5")
                                        .arg(k).arg(jj).arg(ii).arg(re[k][jj][ii]).arg(expected)));
                if (in_window(jj, ii))
                    QCOMPARE(reference[k][r][s], re[k][jj][ii]);
            }
    QVERIFY(imaginary_is_zero(im));
    // With levels means or minima removed, a level that is constant in the
    // initial model has weight 0 everywhere: it keeps its reference values.
    if (type != 0)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii)
                QCOMPARE(re[1][jj][ii], 3.0f);
}

// Each iteration scales its own change, not the total one: the reference
// follows the blended model.
void TestInversionConstraints::initialModelBlendFollowsTheReference()
{
    const vector3D den = blend_initial();
    vector3D reference = den;
    vector3D re = padded_model(), im = imaginary();
    QVERIFY(blend_initial_model(re, im, window(), den, reference, 0));
    const vector3D first = re;
    // The next iteration moves every window cell by +1.
    for (int k = 0; k < NZ; ++k)
        for (int jj = PY; jj < PY + NY; ++jj)
            for (int ii = PX; ii < PX + NX; ++ii)
                re[k][jj][ii] += 1.0f;
    QVERIFY(blend_initial_model(re, im, window(), den, reference, 0));
    for (int k = 0; k < NZ; ++k)
        for (int r = 0; r < NY; ++r)
            for (int s = 0; s < NX; ++s) {
                const double expected = first[k][PY + r][PX + s] + std::fabs(den[k][r][s]) / 4.0;
                QVERIFY(std::fabs(re[k][PY + r][PX + s] - expected) < 1e-5);
            }
}

void TestInversionConstraints::initialModelBlendDoesNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("initial");
    QTest::newRow("zero initial model, type 0") << 0 << "zero";
    QTest::newRow("constant initial model, type 1") << 1 << "constant";
    QTest::newRow("levels constant, type 2") << 2 << "constant";
    QTest::newRow("unknown type") << 3 << "distinct";
    QTest::newRow("negative type") << -1 << "distinct";
}

void TestInversionConstraints::initialModelBlendDoesNothing()
{
    QFETCH(int, type);
    QFETCH(QString, initial);
    const vector3D den = initial == "zero"       ? vector3D(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)))
                         : initial == "constant" ? vector3D(NZ, vector2D(NY, std::vector<float>(NX, 2.5f)))
                                                 : blend_initial();
    vector3D reference = den;
    vector3D re = padded_model(), im = imaginary();
    QVERIFY(!blend_initial_model(re, im, window(), den, reference, type));
    QCOMPARE(re, padded_model());
    QCOMPARE(im, imaginary());
    QCOMPARE(reference, den);
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::uploadedRegularizerBlend_data()
{
    QTest::addColumn<QString>("regularizer");
    QTest::addColumn<bool>("applied");
    QTest::newRow("signed values: magnitudes count") << "signed" << true;
    QTest::newRow("all zero") << "zero" << false;
    QTest::newRow("other level count") << "levels" << false;
    QTest::newRow("other columns") << "columns" << false;
    QTest::newRow("absent") << "absent" << false;
}

void TestInversionConstraints::uploadedRegularizerBlend()
{
    QFETCH(QString, regularizer);
    QFETCH(bool, applied);
    vector3D reg;
    if (regularizer == "signed")
        reg = cube_of({{{-8, 4}, {0, 2}}, {{1, -1}, {6, 0.5f}}, {{-2, 0}, {0, 8}}});
    else if (regularizer == "zero")
        reg = vector3D(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    else if (regularizer == "levels")
        reg = vector3D(NZ + 1, vector2D(NY, std::vector<float>(NX, 1.0f)));
    else if (regularizer == "columns")
        reg = vector3D(NZ, vector2D(NY, std::vector<float>(NX + 1, 1.0f)));
    const vector3D den = initial_model();
    vector3D reference = den;
    const vector3D before = padded_model();
    vector3D re = before, im = imaginary();
    QCOMPARE(blend_uploaded_regularizer(re, im, window(), reg, reference), applied);
    if (!applied) {
        QCOMPARE(re, before);
        QCOMPARE(im, imaginary());
        QCOMPARE(reference, den);
        return;
    }
    for (int k = 0; k < NZ; ++k)
        for (int r = 0; r < NY; ++r)
            for (int s = 0; s < NX; ++s) {
                const double ref = den[k][r][s];
                const double expected = ref + std::fabs(reg[k][r][s]) * (before[k][PY + r][PX + s] - ref) / 8.0;
                QVERIFY(std::fabs(re[k][PY + r][PX + s] - expected) < 1e-5);
                QCOMPARE(reference[k][r][s], re[k][PY + r][PX + s]);
            }
    // Where the regularizer is 0 the cell keeps the reference; where its
    // magnitude is largest (-8 and 8) the whole update.
    QCOMPARE(re[0][PY + 1][PX], den[0][1][0]);
    QCOMPARE(re[0][PY][PX], before[0][PY][PX]);
    QCOMPARE(re[2][PY + 1][PX + 1], before[2][PY + 1][PX + 1]);
    // The padding before the window, at the corner of node (0, 0).
    QCOMPARE(re[0][0][0], before[0][0][0]);
    QVERIFY(imaginary_is_zero(im));
}

// With both blends on, the initial-model blend has already moved the
// reference to the model inside the window: the regularizer blend changes
// nothing there.
void TestInversionConstraints::bothBlendsAgreeInsideTheWindow()
{
    const vector3D den = blend_initial();
    const vector3D reg = cube_of({{{-8, 4}, {0, 2}}, {{1, -1}, {6, 0.5f}}, {{-2, 0}, {0, 8}}});
    vector3D reference = den;
    vector3D re = padded_model(), im = imaginary();
    QVERIFY(blend_initial_model(re, im, window(), den, reference, 0));
    const vector3D after_initial = re;
    QVERIFY(blend_uploaded_regularizer(re, im, window(), reg, reference));
    for (int k = 0; k < NZ; ++k)
        for (int jj = PY; jj < PY + NY; ++jj)
            for (int ii = PX; ii < PX + NX; ++ii)
                QCOMPARE(re[k][jj][ii], after_initial[k][jj][ii]);
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::densityLimits_data()
{
    const double open = inversion_record::open_limit;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("expected");
    QTest::newRow("below the lower limit") << 0.1 << 0.3 << 0.05f << 0.1f;
    QTest::newRow("inside") << 0.1 << 0.3 << 0.2f << 0.2f;
    QTest::newRow("on the upper limit") << 0.1 << 0.3 << 0.3f << 0.3f;
    QTest::newRow("above the upper limit") << 0.1 << 0.3 << 0.5f << 0.3f;
    QTest::newRow("limits rounded to float") << 0.1 << 0.3 << -1.0f << static_cast<float>(0.1);
    // An open side is no bound at all, not a clamp at its stand-in value.
    QTest::newRow("open lower, far below") << -open << 0.3 << -5e6f << -5e6f;
    QTest::newRow("open lower, above the upper") << -open << 0.3 << 2.0f << 0.3f;
    QTest::newRow("open upper, far above") << 0.1 << open << 5e6f << 5e6f;
    QTest::newRow("open upper, below the lower") << 0.1 << open << -2.0f << 0.1f;
    QTest::newRow("both open") << -open << open << -7e7f << -7e7f;
    QTest::newRow("beyond the open values") << -2 * open << 2 * open << 3e6f << 3e6f;
    QTest::newRow("lower not a number") << nan << 0.3 << -9.0f << -9.0f;
    QTest::newRow("upper not a number") << 0.1 << nan << 9.0f << 9.0f;
    QTest::newRow("zero limits") << 0.0 << 0.0 << -0.5f << 0.0f;
    QTest::newRow("lower above upper: lower first") << 0.5 << 0.1 << 0.0f << 0.5f;
}

void TestInversionConstraints::densityLimits()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(float, value);
    QFETCH(float, expected);
    vector3D re(NZ, vector2D(MY, std::vector<float>(MX, value)));
    QVERIFY(apply_density_limits(re, lower, upper));
    QCOMPARE(re, vector3D(NZ, vector2D(MY, std::vector<float>(MX, expected))));
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::signConstraint_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("source");
    // The model holds -0.3, 0.1 and 0.9 around the initial values; the
    // initial model {{0.5, 0}, {-0.5, 0.2}} on every level, the regularizer
    // {{-1, 0}, {2, 3}}.
    QTest::newRow("sign-direction, density grid") << 0 << 0;
    QTest::newRow("sign-direction, regularizer") << 0 << 1;
    QTest::newRow("keep sign, density grid") << 1 << 0;
    QTest::newRow("keep sign, regularizer") << 1 << 1;
    QTest::newRow("unknown type") << 2 << 0;
}

void TestInversionConstraints::signConstraint()
{
    QFETCH(int, type);
    QFETCH(int, source);
    const vector3D den(NZ, vector2D{{0.5f, 0.0f}, {-0.5f, 0.2f}});
    const vector3D reg(NZ, vector2D{{-1.0f, 0.0f}, {2.0f, 3.0f}});
    std::vector<unsigned char> mask;
    QVERIFY(build_sign_mask(source, den, reg, mask));
    const float values[] = {-0.3f, 0.1f, 0.9f};
    for (float v : values) {
        vector3D re(NZ, vector2D(MY, std::vector<float>(MX, v)));
        vector3D im = imaginary();
        QCOMPARE(apply_sign_constraint(re, window(), den, mask, type), type == 0 || type == 1);
        for (int k = 0; k < NZ; ++k)
            for (int jj = 0; jj < MY; ++jj)
                for (int ii = 0; ii < MX; ++ii) {
                    const int r = node_row(jj), s = node_column(ii);
                    const bool positive = (source == 0 ? den : reg)[k][r][s] > 0;
                    const float d = den[k][r][s];
                    float expected = v;
                    if (type == 0)
                        expected = positive ? std::max(v, d) : std::min(v, d);
                    else if (type == 1 && positive)
                        expected = std::max(v, 0.0f);
                    else if (type == 1)
                        expected = std::min(v, 0.0f);
                    QCOMPARE(re[k][jj][ii], expected);
                    // The properties the user relies on.
                    if (type == 0 && source == 0 && d > 0)
                        QVERIFY(re[k][jj][ii] >= d);
                    if (type == 0 && source == 0 && d <= 0)
                        QVERIFY(re[k][jj][ii] <= d);
                    if (type == 1 && source == 1 && !positive)
                        QVERIFY(re[k][jj][ii] <= 0);
                }
        QCOMPARE(im, imaginary()); // not touched
    }
}

// ---------------------------------------------------------------------------

void TestInversionConstraints::lateralMeans_data()
{
    QTest::addColumn<QVector<double>>("horizons");
    QTest::addColumn<QVector<int>>("fixed");
    QTest::addColumn<double>("z0");
    QTest::addColumn<bool>("positive");
    QTest::addColumn<QString>("layers"); // node-wise layer per level, per node
    QTest::newRow("one horizon: vertical means") << QVector<double>{0, 0, 0, 0} << QVector<int>{0} << 0.0 << false
                                                 << "0000 0000 0000";
    QTest::newRow("no horizons") << QVector<double>{} << QVector<int>{} << 0.0 << false << "0000 0000 0000";
    QTest::newRow("two flat layers") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{0, 0} << 0.0
                                     << false << "0000 1111 1111";
    QTest::newRow("layer boundary varies by node") << QVector<double>{0, 0, 0, 0, 50, 100, 100, 150}
                                                   << QVector<int>{0, 0} << 0.0 << false << "0000 1000 1110";
    QTest::newRow("upper layer fixed") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50} << QVector<int>{1, 0} << 0.0
                                       << false << "FFFF 1111 1111";
    // The top level lies on horizon 0 at 0.7: it is averaged with layer 0,
    // not with the deepest layer.
    QTest::newRow("level on horizon 0 at 0.7") << QVector<double>{0.7, 0.7, 0.7, 0.7, 100, 100, 100, 100}
                                               << QVector<int>{0, 0} << 0.7 << false << "0000 0000 1111";
    QTest::newRow("positive: negative means give way") << QVector<double>{0, 0, 0, 0, 50, 50, 50, 50}
                                                       << QVector<int>{0, 0} << 0.0 << true << "0000 1111 1111";
}

void TestInversionConstraints::lateralMeans()
{
    QFETCH(QVector<double>, horizons);
    QFETCH(QVector<int>, fixed);
    QFETCH(double, z0);
    QFETCH(bool, positive);
    QFETCH(QString, layers);
    std::vector<field2D> h;
    for (int i = 0; i + 3 < horizons.size(); i += 4)
        h.push_back(nodes4(horizons[i], horizons[i + 1], horizons[i + 2], horizons[i + 3]));
    const std::vector<bool> flags(fixed.begin(), fixed.end());
    const vector3D den = initial_model();
    // Window values: level k at node (r, s) is (k + 1) * sign, where node
    // (1, 1) is negative on every level, so its means are negative.
    vector3D before = padded_model();
    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii) {
                const int r = node_row(jj), s = node_column(ii);
                const float sign = (r == 1 && s == 1) ? -1.0f : 1.0f;
                before[k][jj][ii] = in_window(jj, ii) ? sign * (k + 1) * (1 + r + 10 * s) : 1000.0f;
            }
    vector3D re = before, im = imaginary();
    QVERIFY(apply_lateral_means(re, im, window(), den, h, flags, z0, 50.0, positive));

    const QString code = QString(layers).remove(' ');
    auto layer_of = [&](int k, int r, int s) {
        const QChar c = code[k * 4 + r * 2 + s];
        return c == 'F' ? 0 : c.digitValue();
    };
    for (int k = 0; k < NZ; ++k)
        for (int jj = 0; jj < MY; ++jj)
            for (int ii = 0; ii < MX; ++ii) {
                const int r = node_row(jj), s = node_column(ii);
                const int l = layer_of(k, r, s);
                // The independent mean over the levels of this layer at this node.
                double sum = 0;
                int n = 0;
                for (int q = 0; q < NZ; ++q)
                    if (layer_of(q, r, s) == l) {
                        sum += before[q][PY + r][PX + s];
                        ++n;
                    }
                const double mean = sum / n;
                const bool fixed_here = code[k * 4 + r * 2 + s] == 'F';
                const float expected = (fixed_here || (positive && mean < 0)) ? den[k][r][s]
                                                                              : static_cast<float>(mean);
                QVERIFY2(re[k][jj][ii] == expected, qPrintable(QString("k %1 row %2 col %3: %4 vs %5")
                                                                   .arg(k).arg(jj).arg(ii).arg(re[k][jj][ii])
                                                                   .arg(expected)));
            }
    QVERIFY(imaginary_is_zero(im));
}

// Every constraint lets the window process events once per level.
void TestInversionConstraints::levelHookRunsPerLevel()
{
    const vector3D den = initial_model();
    const std::vector<field2D> h{flat(0), flat(50)};
    int calls = 0;
    const LevelHook hook = [&] { ++calls; };
    vector3D re = padded_model(), im = imaginary();
    vector3D reference = den;
    std::vector<unsigned char> mask;
    QVERIFY(build_sign_mask(0, den, {}, mask));
    QVERIFY(restore_fixed_layers(re, im, window(), den, h, {true, false}, 0, 50, hook));
    QCOMPARE(calls, NZ);
    QVERIFY(apply_positive_density(re, im, window(), den, true, hook));
    QCOMPARE(calls, 2 * NZ);
    QVERIFY(blend_initial_model(re, im, window(), den, reference, 0, hook));
    QCOMPARE(calls, 3 * NZ);
    QVERIFY(apply_sign_constraint(re, window(), den, mask, 1, hook));
    QCOMPARE(calls, 4 * NZ);
    QVERIFY(apply_lateral_means(re, im, window(), den, h, {false, false}, 0, 50, false, hook));
    QCOMPARE(calls, 6 * NZ); // the sums and the fill each pass every level
}

QTEST_APPLESS_MAIN(TestInversionConstraints)
#include "tst_inversion_constraints.moc"
