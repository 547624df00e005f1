// Spectral forward calculation: geometry and padding, exactness of the
// spectral sum against a brute-force circular sum, physics against a direct
// sum of prisms, agreement of the stored, reused and storage-off forms for
// any thread count, the effects key, stops, and the single-threaded form.
#include "engine/fft.h"
#include "engine/forward.h"
#include "float_node_operator.h"
#include "engine/pillar_forward.h"
#include "engine/prism.h"
#include "grid_compare_support.h"
#include "test_nodes.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

vector3D random_cube(int nz, int ny, int nx, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(1.5f, 3.0f);
    vector3D c(nz, vector2D(ny, std::vector<float>(nx)));
    for (auto& l : c)
        for (auto& r : l)
            for (float& v : r)
                v = u(gen);
    return c;
}

struct Model
{
    vector3D den;
    std::vector<double> x, y, z;
    double zc = -10;
    double p = 0;

    ForwardGeometry geometry() const
    {
        ForwardGeometry g;
        const ForwardStatus st = forward_geometry(den, x, y, z, zc, p, g);
        if (st != ForwardStatus::Completed)
            qFatal("geometry refused");
        return g;
    }
};

Model random_model(int nx, int ny, int nz, double p, unsigned seed = 7)
{
    Model m;
    m.den = random_cube(nz, ny, nx, seed);
    m.x = nodes(nx, 1000, 100);
    m.y = nodes(ny, 2000, 50);
    m.z = nodes(nz, 0, 40);
    m.p = p;
    return m;
}

double max_abs(const field2D& f)
{
    double m = 0;
    for (const auto& r : f)
        for (double v : r)
            m = std::max(m, std::fabs(v));
    return m;
}

// Largest |a - b| relative to the largest |b|.
double rel_diff(const field2D& a, const field2D& b)
{
    if (a.size() != b.size())
        return 1e300;
    double d = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size())
            return 1e300;
        for (size_t j = 0; j < a[i].size(); ++j)
            d = std::max(d, std::fabs(a[i][j] - b[i][j]));
    }
    const double scale = max_abs(b);
    return scale > 0 ? d / scale : d;
}

bool all_zero(const field2D& f)
{
    for (const auto& r : f)
        for (double v : r)
            if (v != 0.0)
                return false;
    return true;
}

field2D run_off(const Model& m, int threads)
{
    field2D r;
    if (forward_without_store(m.den, m.geometry(), r, threads) != ForwardStatus::Completed)
        qFatal("storage-off run failed");
    return r;
}

field2D run_stored(const Model& m, EffectsOperator& eff, int threads, bool* reused = nullptr)
{
    field2D r;
    if (forward_stored(m.den, m.geometry(), eff, r, threads, ForwardProgress(), reused)
        != ForwardStatus::Completed)
        qFatal("stored run failed");
    return r;
}

// Field of the model by direct summation of prism kernels, one per cell.
field2D direct_sum(const Model& m)
{
    const int nz = int(m.den.size()), ny = int(m.den[0].size()), nx = int(m.den[0][0].size());
    const double dx = m.x[1] - m.x[0], dy = m.y[1] - m.y[0], dz = m.z[1] - m.z[0];
    field2D sum(ny, std::vector<double>(nx, 0.0)), one(ny, std::vector<double>(nx, 0.0));
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j) {
                const double rho = m.den[k][i][j];
                if (rho == 0)
                    continue;
                prism_gravity_kernel(m.x, m.y, m.zc - 1e-6, {m.x[j] - dx / 2, m.x[j] + dx / 2},
                                     {m.y[i] - dy / 2, m.y[i] + dy / 2}, {m.z[k], m.z[k] + dz}, rho,
                                     one);
                for (int a = 0; a < ny; ++a)
                    for (int b = 0; b < nx; ++b)
                        sum[a][b] += one[a][b];
            }
    return sum;
}

} // namespace

class TestForward : public QObject
{
    Q_OBJECT

private slots:
    void geometrySizesAndPads_data();
    void geometrySizesAndPads();
    void geometryRefusals_data();
    void geometryRefusals();
    void paddingRepeatsEdgeCells();
    void spectralSumEqualsCircularSum_data();
    void spectralSumEqualsCircularSum();
    void isolatedBlockMatchesDirectSum_data();
    void isolatedBlockMatchesDirectSum();
    void irregularDepthsMatchDirectSum();
    void uniformGridGivesUniformField();
    void formsAgreeForAnyThreadCount_data();
    void formsAgreeForAnyThreadCount();
    void geometryChangeRebuildsEffects_data();
    void geometryChangeRebuildsEffects();
    void effectsWithoutKeyNeverFit();
    void buildEffectsMatchesFullTransform();
    void effectsCheckedWhole_data();
    void effectsCheckedWhole();
    void gappedLevelsNotCheckable();
    void stopsLeaveZeros();
    void fastFormConstantLevelsUseSlab();
    void fastFormMatchesStorageOff();
    void fastFormRefusesBadShapes();
    void pillarsOfFlatLayersGiveSlabs_data();
    void pillarsOfFlatLayersGiveSlabs();
    void pillarsFollowHorizonShape();
    void pillarsRefuseMismatchedInputs();
};

void TestForward::geometrySizesAndPads_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("Mx");
    QTest::addColumn<int>("My");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("100x75 p0") << 100 << 75 << 0.0 << 128 << 128 << 14 << 26;
    QTest::newRow("64x64 p0") << 64 << 64 << 0.0 << 64 << 64 << 0 << 0;
    QTest::newRow("100 p0.5") << 100 << 2 << 0.5 << 256 << 4 << 78 << 1;
    QTest::newRow("100 p1") << 100 << 3 << 1.0 << 512 << 16 << 206 << 6;
    QTest::newRow("12x10 p0.5") << 12 << 10 << 0.5 << 32 << 32 << 10 << 11;
}

void TestForward::geometrySizesAndPads()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(double, p);
    Model m;
    m.den = vector3D(2, vector2D(ny, std::vector<float>(nx, 1.0f)));
    m.x = nodes(nx, 500, 25);
    m.y = nodes(ny, -300, 10);
    m.z = nodes(2, 0, 5);
    m.p = p;
    const ForwardGeometry g = m.geometry();
    QTEST(g.Mx, "Mx");
    QTEST(g.My, "My");
    QTEST(g.px, "px");
    QTEST(g.py, "py");
    // Padded nodes continue the model's nodes outwards with the same spacing.
    QCOMPARE(g.x_padded[g.px], 500.0);
    QCOMPARE(g.x_padded[g.px + nx - 1], 500.0 + 25.0 * (nx - 1));
    QCOMPARE(g.x_padded[0], 500.0 - 25.0 * g.px);
    QCOMPARE(g.y_padded[g.py], -300.0);
    QCOMPARE(g.y_padded[g.My - 1], -300.0 + 10.0 * (g.My - 1 - g.py));
}

void TestForward::geometryRefusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("status");
    QTest::newRow("empty grid") << 0 << int(ForwardStatus::EmptyGrid);
    QTest::newRow("ragged row") << 1 << int(ForwardStatus::IrregularGrid);
    QTest::newRow("level of other size") << 2 << int(ForwardStatus::IrregularGrid);
    QTest::newRow("x nodes short") << 3 << int(ForwardStatus::CoordinatesMismatch);
    QTest::newRow("z nodes long") << 4 << int(ForwardStatus::CoordinatesMismatch);
    QTest::newRow("single column") << 5 << int(ForwardStatus::TooFewNodes);
    QTest::newRow("single level") << 6 << int(ForwardStatus::TooFewNodes);
    QTest::newRow("decreasing y") << 7 << int(ForwardStatus::NodesNotIncreasing);
    QTest::newRow("repeated z") << 8 << int(ForwardStatus::NodesNotIncreasing);
    QTest::newRow("negative factor") << 9 << int(ForwardStatus::BadExpansionFactor);
    QTest::newRow("huge factor") << 10 << int(ForwardStatus::BadExpansionFactor);
    QTest::newRow("NaN factor") << 11 << int(ForwardStatus::BadExpansionFactor);
}

void TestForward::geometryRefusals()
{
    QFETCH(int, kind);
    Model m = random_model(4, 3, 2, 0);
    switch (kind) {
    case 0: m.den.clear(); break;
    case 1: m.den[1][2].pop_back(); break;
    case 2: m.den[1].pop_back(); break;
    case 3: m.x.pop_back(); break;
    case 4: m.z.push_back(200); break;
    case 5:
        for (auto& l : m.den)
            for (auto& r : l)
                r.resize(1);
        m.x.resize(1);
        break;
    case 6: m.den.resize(1); m.z.resize(1); break;
    case 7: m.y = {10, 0, -10}; break;
    case 8: m.z = {5, 5}; break;
    case 9: m.p = -0.5; break;
    case 10: m.p = 1e9; break;
    case 11: m.p = std::nan(""); break;
    }
    ForwardGeometry g;
    QTEST(int(forward_geometry(m.den, m.x, m.y, m.z, m.zc, m.p, g)), "status");
}

void TestForward::paddingRepeatsEdgeCells()
{
    Model m;
    m.den = {{{1, 2, 3}, {4, 5, 6}}, {{0, 0, 0}, {0, 0, 0}}};
    m.x = nodes(3, 0, 1);
    m.y = nodes(2, 0, 1);
    m.z = nodes(2, 0, 1);
    m.p = 1;  // 3*3 = 9 -> 16 columns (6 before), 2*3 = 6 -> 8 rows (3 before)
    const ForwardGeometry g = m.geometry();
    QCOMPARE(g.Mx, 16);
    QCOMPARE(g.My, 8);
    vector2D out;
    pad_level(m.den[0], g, out);
    QCOMPARE(int(out.size()), 8);
    for (int j = 0; j < 8; ++j) {
        QCOMPARE(int(out[j].size()), 16);
        const int r = std::min(std::max(j - 3, 0), 1);
        for (int i = 0; i < 16; ++i) {
            const int c = std::min(std::max(i - 6, 0), 2);
            QCOMPARE(out[j][i], m.den[0][r][c]);
        }
    }
    field2D outd;
    pad_level(m.den[0], g, outd);
    QCOMPARE(outd[0][0], 1.0);
    QCOMPARE(outd[7][15], 6.0);
}

void TestForward::spectralSumEqualsCircularSum_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("threads");
    QTest::newRow("12x10x3 p0.5") << 12 << 10 << 3 << 0.5 << 1;
    QTest::newRow("12x10x3 p0.5, 3 threads") << 12 << 10 << 3 << 0.5 << 3;
    QTest::newRow("12x5x3 p0 (16 x 8)") << 12 << 5 << 3 << 0.0 << 2;
    QTest::newRow("7x9x2 p1.3") << 7 << 9 << 2 << 1.3 << 1;
    QTest::newRow("5x3x5 p0 (8 x 4), 40 threads") << 5 << 3 << 5 << 0.0 << 40;
}

// The field at node (i, j) is the circular sum, over the padded and
// edge-repeated grid, of each cell's density times the unit-cell field of
// its level at the circular offset between node and cell. The operator keeps
// the real part of the spectrum, that is the even part of the swapped field.
void TestForward::spectralSumEqualsCircularSum()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, threads);
    const Model m = random_model(nx, ny, nz, p, 11);
    const ForwardGeometry g = m.geometry();
    const int Mx = g.Mx, My = g.My;

    field2D ref(ny, std::vector<double>(nx, 0.0));
    field2D K(My, std::vector<double>(Mx));
    field2D P;
    for (int k = 0; k < nz; ++k) {
        unit_cell_field(g, k, K);
        pad_level(m.den[k], g, P);
        // Swapped field: cell at the origin.
        auto Ks = [&](int a, int b) {
            a = ((a % My) + My) % My;
            b = ((b % Mx) + Mx) % Mx;
            return K[(a + My / 2) % My][(b + Mx / 2) % Mx];
        };
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j) {
                const int I = g.py + i, J = g.px + j;
                double s = 0;
                for (int a = 0; a < My; ++a)
                    for (int b = 0; b < Mx; ++b)
                        s += P[a][b] * 0.5 * (Ks(I - a, J - b) + Ks(a - I, b - J));
                ref[i][j] += s;
            }
    }
    QVERIFY(max_abs(ref) > 0.1);

    const field2D off = run_off(m, threads);
    QVERIFY2(rel_diff(off, ref) < 1e-11, qPrintable(QString::number(rel_diff(off, ref))));

    EffectsOperator eff;
    bool reused = true;
    const field2D built = run_stored(m, eff, threads, &reused);
    QVERIFY(!reused);
    QVERIFY2(rel_diff(built, ref) < 1e-6, qPrintable(QString::number(rel_diff(built, ref))));
    const field2D again = run_stored(m, eff, threads, &reused);
    QVERIFY(reused);
    QVERIFY2(rel_diff(again, ref) < 1e-6, qPrintable(QString::number(rel_diff(again, ref))));
}

void TestForward::isolatedBlockMatchesDirectSum_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("tolerance");
    // nx = ny = 24 with a block near one edge. Without expansion (FFT size 32)
    // the offsets between the far nodes and the block exceed half the FFT
    // size and wrap around; from p = 0.5 on (64, 128, 256) every offset
    // within the model is represented and the sum is exact up to rounding.
    QTest::newRow("p0") << 0.0 << 5e-3;
    QTest::newRow("p0.5") << 0.5 << 1e-11;
    QTest::newRow("p1") << 1.0 << 1e-11;
    QTest::newRow("p3") << 3.0 << 1e-11;
}

void TestForward::isolatedBlockMatchesDirectSum()
{
    QFETCH(double, p);
    QFETCH(double, tolerance);
    Model m;
    const int n = 24, nz = 5;
    m.den = vector3D(nz, vector2D(n, std::vector<float>(n, 0.0f)));
    for (int k = 1; k < 3; ++k)
        for (int i = 2; i < 6; ++i)
            for (int j = 1; j < 5; ++j)
                m.den[k][i][j] = 0.4f;
    m.x = nodes(n, 0, 100);
    m.y = nodes(n, 0, 100);
    m.z = nodes(nz, 0, 50);
    m.zc = -5;
    m.p = p;
    const field2D direct = direct_sum(m);
    const field2D off = run_off(m, 2);
    EffectsOperator eff;
    const field2D stored = run_stored(m, eff, 2);
    // Interior nodes: two nodes in from every edge.
    double worst_off = 0, worst_stored = 0;
    const double scale = max_abs(direct);
    for (int i = 2; i < n - 2; ++i)
        for (int j = 2; j < n - 2; ++j) {
            worst_off = std::max(worst_off, std::fabs(off[i][j] - direct[i][j]) / scale);
            worst_stored = std::max(worst_stored, std::fabs(stored[i][j] - direct[i][j]) / scale);
        }
    qInfo("p = %g: largest relative deviation %.3g (storage off), %.3g (stored)", p, worst_off,
          worst_stored);
    QVERIFY(worst_off < tolerance);
    QVERIFY(worst_stored < std::max(tolerance, 2e-6));
    if (p == 0)
        QVERIFY(worst_off > 1e-4);  // the wrap-around is real without expansion
}

// Levels whose bottom is not the next level's top (irregular depths) do not
// share a depth face; the field still equals the direct sum of prisms, for
// any thread count and in both forms.
void TestForward::irregularDepthsMatchDirectSum()
{
    Model m;
    const int n = 12;
    m.den = vector3D(4, vector2D(n, std::vector<float>(n, 0.0f)));
    for (int k = 0; k < 4; ++k)
        for (int i = 3; i < 7; ++i)
            for (int j = 4; j < 8; ++j)
                m.den[k][i][j] = 0.3f + 0.1f * k;
    m.x = nodes(n, 0, 100);
    m.y = nodes(n, 0, 80);
    m.z = {0.0, 40.0, 95.0, 130.0};  // levels 40 m thick, gaps below levels 1 and 2
    m.zc = -5;
    m.p = 1;
    const field2D direct = direct_sum(m);
    for (int threads : {1, 3}) {
        const field2D off = run_off(m, threads);
        EffectsOperator eff;
        const field2D stored = run_stored(m, eff, threads);
        QVERIFY2(rel_diff(off, direct) < 1e-11, qPrintable(QString::number(rel_diff(off, direct))));
        QVERIFY2(rel_diff(stored, direct) < 2e-6, qPrintable(QString::number(rel_diff(stored, direct))));
    }
}

void TestForward::uniformGridGivesUniformField()
{
    Model m = random_model(9, 6, 3, 0.5);
    for (auto& l : m.den)
        for (auto& r : l)
            for (float& v : r)
                v = 2.1f;
    const field2D f = run_off(m, 1);
    for (const auto& r : f)
        for (double v : r)
            QVERIFY(std::fabs(v - f[0][0]) < 1e-9 * std::fabs(f[0][0]));
    EffectsOperator eff;
    const field2D s = run_stored(m, eff, 2);
    for (const auto& r : s)
        for (double v : r)
            QVERIFY(std::fabs(v - s[0][0]) < 1e-6 * std::fabs(s[0][0]));
}

void TestForward::formsAgreeForAnyThreadCount_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("nz");
    QTest::newRow("p0, 5 levels") << 0.0 << 5;
    QTest::newRow("p0.5, 7 levels") << 0.5 << 7;
    QTest::newRow("p1, 1 thread worth of levels") << 1.0 << 2;
}

void TestForward::formsAgreeForAnyThreadCount()
{
    QFETCH(double, p);
    QFETCH(int, nz);
    const Model m = random_model(16, 12, nz, p, 3);
    const field2D off1 = run_off(m, 1);
    EffectsOperator eff1;
    const field2D built1 = run_stored(m, eff1, 1);
    const field2D reused1 = run_stored(m, eff1, 1);
    QVERIFY2(rel_diff(built1, off1) < 1e-6, qPrintable(QString::number(rel_diff(built1, off1))));
    QVERIFY2(rel_diff(reused1, off1) < 1e-6, qPrintable(QString::number(rel_diff(reused1, off1))));
    QVERIFY(rel_diff(reused1, built1) > 0);  // float level spectra: not the same arithmetic

    for (int threads : {2, 3, 8, 40}) {
        QCOMPARE(bit_identical(run_off(m, threads), off1), true);
        EffectsOperator eff;
        bool reused = true;
        QVERIFY(bit_identical(run_stored(m, eff, threads, &reused), built1));
        QVERIFY(!reused);
        QVERIFY(bit_identical(run_stored(m, eff, threads, &reused), reused1));
        QVERIFY(reused);
        QVERIFY(eff.quarter == eff1.quarter);
    }
}

void TestForward::geometryChangeRebuildsEffects_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("dz") << "dz";
    QTest::newRow("calculation height") << "zc";
    QTest::newRow("first depth") << "z0";
    QTest::newRow("x spacing") << "dx";
    QTest::newRow("y spacing") << "dy";
    QTest::newRow("expansion factor, same FFT size") << "p";
    QTest::newRow("more levels") << "levels";
    QTest::newRow("fewer levels") << "fewer";
    QTest::newRow("first node moved") << "x0";
}

void TestForward::geometryChangeRebuildsEffects()
{
    QFETCH(QString, change);
    Model a = random_model(10, 8, 4, 0.5, 5);
    EffectsOperator eff;
    const field2D fa = run_stored(a, eff, 2);
    QCOMPARE(eff.key, a.geometry().key());

    Model b = a;
    if (change == "dz")
        b.z = nodes(4, 0, 60);
    else if (change == "zc")
        b.zc = -200;
    else if (change == "z0")
        b.z = nodes(4, 100, 40);
    else if (change == "dx")
        b.x = nodes(10, 1000, 120);
    else if (change == "dy")
        b.y = nodes(8, 2000, 70);
    else if (change == "p")
        b.p = 0.45;  // 10 * 1.9 = 19 -> still 32 columns, 8 * 1.9 = 15.2 -> still 16 rows
    else if (change == "levels") {
        b.den = random_cube(9, 8, 10, 5);
        for (int k = 0; k < 4; ++k)
            b.den[k] = a.den[k];
        b.z = nodes(9, 0, 40);
    } else if (change == "fewer") {
        b.den.resize(2);
        b.z.resize(2);
    } else if (change == "x0") {
        b.x = nodes(10, 0, 100);  // the kernel's coordinates round otherwise
    }
    if (change == "p") {
        QCOMPARE(b.geometry().Mx, a.geometry().Mx);
        QCOMPARE(b.geometry().My, a.geometry().My);
    }
    bool reused = true;
    const field2D fb = run_stored(b, eff, 2, &reused);
    QVERIFY(!reused);
    QCOMPARE(eff.key, b.geometry().key());
    QCOMPARE(eff.levels(), int(b.den.size()));
    const field2D fresh = run_off(b, 1);
    QVERIFY2(rel_diff(fb, fresh) < 1e-6, qPrintable(QString::number(rel_diff(fb, fresh))));
    if (change != "p" && change != "x0")
        QVERIFY(rel_diff(fb, fa) > 1e-4);
}

// An operator whose geometry is unknown (its key reset) serves no grid, even
// with the grid's sizes: it is rebuilt and keyed.
void TestForward::effectsWithoutKeyNeverFit()
{
    const Model m = random_model(10, 8, 3, 0, 9);
    const ForwardGeometry g = m.geometry();
    EffectsOperator eff;
    const field2D built = run_stored(m, eff, 1);
    QVERIFY(effects_fit(eff, g));
    eff.key = EffectsKey();
    QVERIFY(!effects_fit(eff, g));
    bool reused = true;
    const field2D again = run_stored(m, eff, 1, &reused);
    QVERIFY(!reused);
    QCOMPARE(eff.key, g.key());
    QVERIFY(rel_diff(again, built) < 1e-12);
    // An emptied operator keeps no key that could make it fit.
    eff.clear();
    QVERIFY(!eff.key.valid);
    QVERIFY(!effects_fit(eff, g));
}

// The operator built alone is the one the stored form builds, and it is the
// quarter of the spectrum of the swapped unit-cell field transformed whole.
void TestForward::buildEffectsMatchesFullTransform()
{
    const Model m = random_model(10, 8, 3, 0.5, 9);
    const ForwardGeometry g = m.geometry();
    EffectsOperator stored;
    run_stored(m, stored, 1);
    QVERIFY(stored.im.empty());
    for (int threads : {1, 4}) {
        EffectsOperator op;
        QCOMPARE(int(build_effects(g, op, threads)), int(ForwardStatus::Completed));
        QVERIFY(op.quarter == stored.quarter);
        QVERIFY(op.im.empty());
        QCOMPARE(op.key, g.key());
        QCOMPARE(op.rows, g.My);
        QCOMPARE(op.columns, g.Mx);
        for (int k = 0; k < 3; ++k) {
            vector2D re(g.My, std::vector<float>(g.Mx)), im(g.My, std::vector<float>(g.Mx, 0.0f));
            swapped_unit_cell_field(g, k, re);
            fft_2d(re, im, fft_forward);
            float re_max = 0, im_max = 0, diff = 0;
            for (int r = 0; r < g.My; ++r)
                for (int c = 0; c < g.Mx; ++c) {
                    re_max = std::max(re_max, std::fabs(re[r][c]));
                    im_max = std::max(im_max, std::fabs(im[r][c]));
                    diff = std::max(diff, std::fabs(op.at(k, r, c) - re[r][c]));
                }
            // The field is even, so its spectrum is real and even.
            QVERIFY(im_max < 1e-5f * re_max);
            QVERIFY2(diff < 1e-5f * re_max, qPrintable(QString::number(diff / re_max)));
        }
    }
}

void TestForward::effectsCheckedWhole_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("held");
    QTest::addColumn<int>("verdict");
    const int own = int(EffectsCheck::Own), differs = int(EffectsCheck::Differs);
    QTest::newRow("built on 1 thread") << 1000.0 << 2000.0 << 100.0 << "threads 1" << own;
    QTest::newRow("built on 4 threads") << 1000.0 << 2000.0 << 100.0 << "threads 4" << own;
    QTest::newRow("built on 8 threads") << 1000.0 << 2000.0 << 100.0 << "threads 8" << own;
    QTest::newRow("float nodes, origin 0, 100 m") << 0.0 << 0.0 << 100.0 << "float nodes" << own;
    QTest::newRow("float nodes, 1234.5 / 2345.6, 99.9 m") << 1234.5 << 2345.6 << 99.9 << "float nodes" << own;
    QTest::newRow("float nodes, 500000.37 / 7650000.37, 250.1 m")
        << 500000.37 << 7650000.37 << 250.1 << "float nodes" << own;
    QTest::newRow("level step 1 % off") << 1000.0 << 2000.0 << 100.0 << "dz" << differs;
    QTest::newRow("spacing 1 % off") << 1000.0 << 2000.0 << 100.0 << "spacing" << differs;
    QTest::newRow("calculation height 1 m off") << 1000.0 << 2000.0 << 100.0 << "height" << differs;
    QTest::newRow("one level x 1.01") << 1000.0 << 2000.0 << 100.0 << "level x1.01" << differs;
    QTest::newRow("one value x 1000") << 1000.0 << 2000.0 << 100.0 << "value x1000" << differs;
    QTest::newRow("self-mirror value x 1000") << 1000.0 << 2000.0 << 100.0 << "mirror x1000" << differs;
    QTest::newRow("first level of another height") << 1000.0 << 2000.0 << 100.0 << "level 0" << differs;
    QTest::newRow("last level of another height") << 1000.0 << 2000.0 << 100.0 << "level 6" << differs;
    QTest::newRow("zeros") << 1000.0 << 2000.0 << 100.0 << "zeros" << differs;
    QTest::newRow("a value not a number") << 1000.0 << 2000.0 << 100.0 << "nan" << int(EffectsCheck::NotFinite);
    QTest::newRow("other level count") << 1000.0 << 2000.0 << 100.0 << "levels" << int(EffectsCheck::OtherSizes);
}

// An operator read from a file is taken for a model when the whole check
// finds it the one built for it: this program's at any thread count and
// the documented method's float nodes down to steps of about 100 m at
// projected coordinates; not one of another geometry or with a level or a
// value changed.
void TestForward::effectsCheckedWhole()
{
    QFETCH(double, x0);
    QFETCH(double, y0);
    QFETCH(double, step);
    QFETCH(QString, held);
    QFETCH(int, verdict);
    const int n = 24, levels = 7;
    const double dz = 40, height = -10;
    auto geometry = [&](double dx, double level_step, double level) {
        ForwardGeometry g;
        if (forward_geometry(n, n - 4, levels, nodes(n, x0, dx), nodes(n - 4, y0, dx), nodes(levels, 0, level_step),
                             level, 0.5, g)
            != ForwardStatus::Completed)
            qFatal("geometry refused");
        return g;
    };
    const ForwardGeometry g = geometry(step, dz, height);
    const ForwardGeometry other = geometry(held == "spacing" ? step * 1.01 : step, held == "dz" ? dz * 1.01 : dz,
                                           held == "height" || held.startsWith("level ") ? height - 1 : height);
    EffectsOperator op;
    const int threads = held.startsWith("threads") ? held.mid(8).toInt() : 2;
    QCOMPARE(int(build_effects(held.startsWith("level ") ? g : other, op, threads)), int(ForwardStatus::Completed));
    if (held.startsWith("level ")) {
        EffectsOperator theirs;
        QCOMPARE(int(build_effects(other, theirs, 1)), int(ForwardStatus::Completed));
        const std::size_t k = std::size_t(held.mid(6).toInt());
        std::swap(op.quarter[k], theirs.quarter[k]);
    } else if (held == "level x1.01") {
        for (float& v : op.quarter[3])
            v *= 1.01f;
    } else if (held == "value x1000") {
        op.quarter[3][std::size_t(op.quarter_columns()) + 1] *= 1000;  // row 1, column 1
    } else if (held == "mirror x1000") {
        op.quarter[2][0] *= 1000;  // row 0, column 0: its own mirror in both axes
    } else if (held == "zeros") {
        op.shape(g.nz, g.My, g.Mx);
    } else if (held == "nan") {
        op.quarter[3][5] = std::numeric_limits<float>::quiet_NaN();
    } else if (held == "levels") {
        op.quarter.pop_back();
    } else if (held == "float nodes") {
        double worst = 0;
        for (int k = 0; k < g.nz; ++k) {
            const vector2D level = float_node_level(g, k);
            std::vector<float> folded;
            QVERIFY(effects_fold_level(level.data(), g.My, g.Mx, folded, 0.5));
            EffectsAgreement a;
            a.add(folded.data(), op.quarter[std::size_t(k)].data(), folded.size());
            worst = std::max(worst, a.worst / a.largest);
            op.quarter[std::size_t(k)] = folded;
        }
        qInfo("float nodes lie %.3g of a level's largest value from the lattice", worst);
    }
    op.key = EffectsKey();
    // Checked with another thread count than it was built with.
    QCOMPARE(int(check_effects(op, g, 3)), verdict);
}

// A model whose levels leave gaps cannot be checked without a build.
void TestForward::gappedLevelsNotCheckable()
{
    ForwardGeometry g;
    QCOMPARE(int(forward_geometry(8, 8, 3, nodes(8, 0, 10), nodes(8, 0, 10), {0.0, 10.0, 30.0}, -5, 0, g)),
             int(ForwardStatus::Completed));
    QVERIFY(!effects_checkable(g));
    EffectsOperator op;
    QCOMPARE(int(build_effects(g, op, 1)), int(ForwardStatus::Completed));
    QCOMPARE(int(check_effects(op, g, 1)), int(EffectsCheck::NotCheckable));
}

void TestForward::stopsLeaveZeros()
{
    const Model m = random_model(10, 8, 6, 0.5, 2);
    const ForwardGeometry g = m.geometry();
    int calls = 0;
    auto stop_second = [&](int, int) { return ++calls < 2; };

    field2D r{{1, 2}};
    EffectsOperator eff;
    QCOMPARE(int(forward_stored(m.den, g, eff, r, 2, stop_second)), int(ForwardStatus::Stopped));
    QCOMPARE(int(r.size()), 8);
    QVERIFY(all_zero(r));
    QVERIFY(eff.empty());  // a stop during the build empties the operator
    QVERIFY(!eff.key.valid);

    run_stored(m, eff, 2);
    const EffectsOperator kept = eff;
    // A stop while reusing keeps the operator (all six levels form one group
    // here, so the only test comes before it).
    r = field2D{{1, 2}};
    QCOMPARE(int(forward_stored(m.den, g, eff, r, 2, [](int, int) { return false; })),
             int(ForwardStatus::Stopped));
    QVERIFY(all_zero(r));
    QCOMPARE(int(r.size()), 8);
    QVERIFY(eff.quarter == kept.quarter);
    QCOMPARE(eff.key, kept.key);

    calls = 0;
    QCOMPARE(int(forward_without_store(m.den, g, r, 2, stop_second)), int(ForwardStatus::Stopped));
    QVERIFY(all_zero(r));
    QCOMPARE(int(r[0].size()), 10);

    calls = 0;
    EffectsOperator both;
    QCOMPARE(int(build_effects(g, both, 1, stop_second)), int(ForwardStatus::Stopped));
    QVERIFY(both.empty());

    // The callback sees the levels done out of the total.
    std::vector<int> seen;
    field2D q;
    forward_without_store(m.den, g, q, 2, [&](int done, int total) {
        seen.push_back(done);
        return total == 6;
    });
    QCOMPARE(seen, (std::vector<int>{0, 2, 4}));
}

void TestForward::fastFormConstantLevelsUseSlab()
{
    const int nz = 3, ny = 5, nx = 6;
    std::vector<std::vector<std::vector<double>>> cube(nz, field2D(ny, std::vector<double>(nx)));
    const double values[nz] = {1.5, 0.0, -0.25};
    for (int k = 0; k < nz; ++k)
        for (auto& r : cube[k])
            for (double& v : r)
                v = values[k];
    const auto x = nodes(nx, 0, 10), y = nodes(ny, 0, 10), z = nodes(nz, 0, 20);
    field2D result;
    int transforms = -1;
    QCOMPARE(int(forward_fast(cube, x, y, z, -1, 0.5, result, ForwardProgress(), &transforms)),
             int(ForwardStatus::Completed));
    QCOMPARE(transforms, 0);
    const double expected = 0.0419339786922 * 20 * (1.5 + 0.0 - 0.25);
    for (const auto& r : result)
        for (double v : r)
            QVERIFY(std::fabs(v - expected) < 1e-12);

    for (auto& l : cube)
        for (auto& r : l)
            for (double& v : r)
                v = 0;
    QCOMPARE(int(forward_fast(cube, x, y, z, -1, 0.5, result, ForwardProgress(), &transforms)),
             int(ForwardStatus::Completed));
    QCOMPARE(transforms, 0);
    QVERIFY(all_zero(result));
    QCOMPARE(int(result.size()), ny);
}

void TestForward::fastFormMatchesStorageOff()
{
    const Model m = random_model(12, 9, 4, 0.5, 21);
    std::vector<std::vector<std::vector<double>>> cube(4);
    for (int k = 0; k < 4; ++k) {
        cube[k].resize(9);
        for (int i = 0; i < 9; ++i)
            cube[k][i].assign(m.den[k][i].begin(), m.den[k][i].end());
    }
    field2D fast;
    int transforms = 0;
    QCOMPARE(int(forward_fast(cube, m.x, m.y, m.z, m.zc, m.p, fast, ForwardProgress(), &transforms)),
             int(ForwardStatus::Completed));
    QCOMPARE(transforms, 4);
    const field2D off = run_off(m, 1);
    QVERIFY2(rel_diff(fast, off) < 1e-6, qPrintable(QString::number(rel_diff(fast, off))));
}

void TestForward::fastFormRefusesBadShapes()
{
    const auto x = nodes(4, 0, 10), y = nodes(3, 0, 10), z = nodes(2, 0, 10);
    std::vector<std::vector<std::vector<double>>> cube(2, field2D(3, std::vector<double>(4, 1.0)));
    field2D result{{7}};
    auto run = [&](const std::vector<std::vector<std::vector<double>>>& c,
                   const std::vector<double>& xs, const std::vector<double>& ys) {
        return forward_fast(c, xs, ys, z, -1, 0, result);
    };
    auto ragged = cube;
    ragged[1][2].pop_back();
    QCOMPARE(int(run(ragged, x, y)), int(ForwardStatus::IrregularGrid));
    QCOMPARE(int(run(cube, nodes(5, 0, 10), y)), int(ForwardStatus::CoordinatesMismatch));
    std::vector<std::vector<std::vector<double>>> one_row(2, field2D(1, std::vector<double>(4, 1.0)));
    QCOMPARE(int(run(one_row, x, nodes(1, 0, 10))), int(ForwardStatus::TooFewNodes));
    QCOMPARE(int(run({}, x, y)), int(ForwardStatus::EmptyGrid));
    QCOMPARE(result, (field2D{{7}}));  // untouched by every refusal
}

void TestForward::pillarsOfFlatLayersGiveSlabs_data()
{
    QTest::addColumn<double>("second");  // depth of the second horizon
    QTest::addColumn<double>("expected_thickness_weighted");  // sum of density * thickness
    // Levels 0, 100, ..., 900: the model reaches down to 900 m inside the grid
    // and beside it. Densities 0.2 above the second horizon, 0.5 below it.
    QTest::newRow("horizons 0 and 300") << 300.0 << (0.2 * 300 + 0.5 * 600);
    QTest::newRow("second horizon snapped from 330 to 300") << 330.0 << (0.2 * 300 + 0.5 * 600);
    QTest::newRow("second horizon at the bottom") << 900.0 << (0.2 * 900);
}

// Flat layers continue laterally far beyond the grid, so the field is that
// of horizontal slabs, 2*pi*G*sum(density * thickness), at every node.
void TestForward::pillarsOfFlatLayersGiveSlabs()
{
    QFETCH(double, second);
    QFETCH(double, expected_thickness_weighted);
    const auto x = nodes(7, 0, 100), y = nodes(6, 500, 100), z = nodes(10, 0, 100);
    const std::vector<field2D> horizons{field2D(6, std::vector<double>(7, 0.0)),
                                        field2D(6, std::vector<double>(7, second))};
    field2D result;
    QCOMPARE(int(pillar_forward(x, y, z, horizons, {0.2, 0.5}, -1, result)),
             int(ForwardStatus::Completed));
    const double expected = 2 * M_PI * gravity_constant_mgal * expected_thickness_weighted;
    QCOMPARE(int(result.size()), 6);
    for (const auto& r : result) {
        QCOMPARE(int(r.size()), 7);
        for (double v : r)
            QVERIFY2(std::fabs(v - expected) < 1e-3 * expected,
                     qPrintable(QString("%1 vs %2").arg(v).arg(expected)));
    }
}

// Deepening the second horizon under one inner node replaces the lower
// density by the upper one in the cells between the two depths there: the
// change of the field is the field of those cells with the density difference.
void TestForward::pillarsFollowHorizonShape()
{
    const auto x = nodes(7, 0, 100), y = nodes(6, 500, 100), z = nodes(10, 0, 100);
    std::vector<field2D> flat{field2D(6, std::vector<double>(7, 0.0)),
                              field2D(6, std::vector<double>(7, 300.0))};
    std::vector<field2D> bent = flat;
    bent[1][2][3] = 500;
    field2D f_flat, f_bent;
    QCOMPARE(int(pillar_forward(x, y, z, flat, {0.2, 0.5}, -1, f_flat)), int(ForwardStatus::Completed));
    int rows_seen = 0;
    QCOMPARE(int(pillar_forward(x, y, z, bent, {0.2, 0.5}, -1, f_bent, [&](int, int total) {
                 ++rows_seen;
                 return total == 12;
             })),
             int(ForwardStatus::Completed));
    QCOMPARE(rows_seen, 12);  // once per node row and layer
    field2D cell(6, std::vector<double>(7)), expected(6, std::vector<double>(7, 0.0));
    for (double top : {300.0, 400.0}) {
        prism_gravity_kernel(x, y, -1 - 1e-6, {250, 350}, {650, 750}, {top, top + 100}, 0.2 - 0.5, cell);
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 7; ++j)
                expected[i][j] += cell[i][j];
    }
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 7; ++j)
            QVERIFY2(std::fabs((f_bent[i][j] - f_flat[i][j]) - expected[i][j]) < 1e-9,
                     qPrintable(QString("%1 vs %2").arg(f_bent[i][j] - f_flat[i][j]).arg(expected[i][j])));
}

void TestForward::pillarsRefuseMismatchedInputs()
{
    const auto x = nodes(5, 0, 100), y = nodes(4, 0, 100), z = nodes(6, 0, 50);
    const field2D good(4, std::vector<double>(5, 0.0));
    field2D result{{42}};
    auto run = [&](const std::vector<double>& xs, const std::vector<double>& ys,
                   const std::vector<field2D>& hs, const std::vector<double>& dens) {
        return int(pillar_forward(xs, ys, z, hs, dens, -1, result));
    };
    QCOMPARE(run(x, y, {good, field2D(3, std::vector<double>(5, 0.0))}, {1, 2}),
             int(ForwardStatus::CoordinatesMismatch));  // smaller than the grid
    QCOMPARE(run(x, y, {good, field2D(4, std::vector<double>(4, 0.0))}, {1, 2}),
             int(ForwardStatus::CoordinatesMismatch));
    QCOMPARE(run(x, y, {good, good}, {1}), int(ForwardStatus::CoordinatesMismatch));
    QCOMPARE(run(x, nodes(1, 0, 100), {field2D(1, std::vector<double>(5, 0.0))}, {1}),
             int(ForwardStatus::TooFewNodes));
    QCOMPARE(run(nodes(1, 0, 100), y, {field2D(4, std::vector<double>(1, 0.0))}, {1}),
             int(ForwardStatus::TooFewNodes));
    QCOMPARE(run(x, y, {}, {}), int(ForwardStatus::EmptyGrid));
    QCOMPARE(result, (field2D{{42}}));
    // Horizons above zero depth are held at level 0 (no negative level index).
    std::vector<field2D> high{field2D(4, std::vector<double>(5, -400.0))};
    QCOMPARE(run(x, y, high, {1}), int(ForwardStatus::Completed));
    QCOMPARE(int(result.size()), 4);
}

QTEST_APPLESS_MAIN(TestForward)
#include "tst_forward.moc"
