// The prism kernel against closed forms of other bodies and a brute-force
// volume integral of the point-mass attraction.
#include "engine/fft.h"
#include "engine/prism.h"

#include <QtTest>

#include <cmath>

namespace {

const double G = gravity_constant_mgal;
const double kPi = 3.14159265358979323846;

// Gauss-Legendre nodes and weights on [-1, 1] (Newton iteration on P_n).
void gauss_legendre(int n, std::vector<double>& x, std::vector<double>& w)
{
    x.assign(n, 0.0);
    w.assign(n, 0.0);
    for (int i = 0; i < n; ++i) {
        double z = std::cos(kPi * (i + 0.75) / (n + 0.5));
        for (int it = 0; it < 100; ++it) {
            double p0 = 1.0, p1 = z;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            const double dp = n * (z * p1 - p0) / (z * z - 1.0);
            const double dz = p1 / dp;
            z -= dz;
            if (std::abs(dz) < 1e-16)
                break;
        }
        double p0 = 1.0, p1 = z;
        for (int k = 2; k <= n; ++k) {
            const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
            p0 = p1;
            p1 = p2;
        }
        const double dp = n * (z * p1 - p0) / (z * z - 1.0);
        x[i] = z;
        w[i] = 2.0 / ((1.0 - z * z) * dp * dp);
    }
}

// Composite Gauss-Legendre rule on [a, b] with `panels` panels.
void composite_rule(double a, double b, int panels, int order, std::vector<double>& x,
                    std::vector<double>& w)
{
    std::vector<double> gx, gw;
    gauss_legendre(order, gx, gw);
    x.clear();
    w.clear();
    const double step = (b - a) / panels;
    for (int p = 0; p < panels; ++p) {
        const double lo = a + p * step, mid = lo + step / 2;
        for (int i = 0; i < order; ++i) {
            x.push_back(mid + gx[i] * step / 2);
            w.push_back(gw[i] * step / 2);
        }
    }
}

// Vertical attraction (positive downwards) of a homogeneous prism at the
// point (px, py, pz), by summing G*rho*dV*(z - pz)/r^3 over the volume.
double brute_force_prism(double px, double py, double pz, const double xs[2], const double ys[2],
                         const double zs[2], double density)
{
    std::vector<double> X, WX, Y, WY, Z, WZ;
    composite_rule(xs[0], xs[1], 8, 24, X, WX);
    composite_rule(ys[0], ys[1], 8, 24, Y, WY);
    composite_rule(zs[0], zs[1], 8, 24, Z, WZ);
    double sum = 0.0;
    for (size_t k = 0; k < Z.size(); ++k) {
        const double dz = Z[k] - pz;
        for (size_t j = 0; j < Y.size(); ++j) {
            const double dy = Y[j] - py;
            double row = 0.0;
            for (size_t i = 0; i < X.size(); ++i) {
                const double dx = X[i] - px;
                const double r2 = dx * dx + dy * dy + dz * dz;
                row += WX[i] / (r2 * std::sqrt(r2));
            }
            sum += WZ[k] * WY[j] * dz * row;
        }
    }
    return G * density * sum;
}

field2D kernel_at(const std::vector<double>& xn, const std::vector<double>& yn, double level,
                  const double xs[2], const double ys[2], const double zs[2], double density,
                  int threads = 1)
{
    field2D out(yn.size(), std::vector<double>(xn.size(), 0.0));
    prism_gravity_kernel(xn, yn, level, {xs[0], xs[1]}, {ys[0], ys[1]}, {zs[0], zs[1]}, density,
                         out, threads);
    return out;
}

} // namespace

class TestPrism : public QObject
{
    Q_OBJECT

private slots:
    void wide_slab();
    void point_mass_limit_data();
    void point_mass_limit();
    void against_volume_integral_data();
    void against_volume_integral();
    void symmetry_and_linearity();
    void threads_do_not_change_result();
    void shape_guard_leaves_out_untouched_data();
    void shape_guard_leaves_out_untouched();
    void lattice_field_matches_kernel_data();
    void lattice_field_matches_kernel();
    void lattice_field_threads_and_guard();
};

void TestPrism::wide_slab()
{
    // 20 km x 20 km, 1 m thick, top 1 m below the level, node at the centre.
    const double level = 0.0;
    const double xs[2] = {-10000, 10000}, ys[2] = {-10000, 10000}, zs[2] = {1.0, 2.0};
    const field2D g = kernel_at({0.0}, {0.0}, level, xs, ys, zs, 1.0);
    // Infinite-slab value 2*pi*G*t, about 0.0419.
    QVERIFY(std::abs(g[0][0] - 2 * kPi * G * 1.0) < 0.001 * 2 * kPi * G);
    QVERIFY(std::abs(g[0][0] - 0.0419) < 0.0001);
    // Exact value of the square plate stack: a thin square sheet of half width
    // a at height h above the node attracts with 4*G*rho*dz*atan(a^2/(h*sqrt(2a^2+h^2))).
    const double a = 10000.0, z0 = level - 0.01;
    std::vector<double> Z, W;
    composite_rule(zs[0] - z0, zs[1] - z0, 4, 20, Z, W);
    double ref = 0.0;
    for (size_t k = 0; k < Z.size(); ++k)
        ref += W[k] * 4.0 * G * std::atan(a * a / (Z[k] * std::sqrt(2 * a * a + Z[k] * Z[k])));
    // The kernel's branch correction uses pi as 3.14159265, which leaves a
    // relative error of about 1e-9 here.
    QVERIFY2(std::abs(g[0][0] - ref) < 1e-8 * ref,
             qPrintable(QString("%1 vs %2").arg(g[0][0], 0, 'g', 15).arg(ref, 0, 'g', 15)));
}

void TestPrism::point_mass_limit_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::newRow("above") << 0.0 << 0.0;
    QTest::newRow("offset x") << 700.0 << 0.0;
    QTest::newRow("offset xy") << -400.0 << 900.0;
}

void TestPrism::point_mass_limit()
{
    QFETCH(double, dx);
    QFETCH(double, dy);
    // 10 m cube at 1 km depth, density 2.5.
    const double xs[2] = {-5, 5}, ys[2] = {-5, 5}, zs[2] = {995, 1005};
    const double level = 0.0, rho = 2.5;
    const field2D g = kernel_at({-dx}, {-dy}, level, xs, ys, zs, rho);
    const double z = 1000.0 - (level - 0.01);
    const double r = std::sqrt(dx * dx + dy * dy + z * z);
    const double mass = rho * 1000.0;
    const double expected = G * mass * z / (r * r * r);
    QVERIFY(g[0][0] > 0);
    QVERIFY2(std::abs(g[0][0] - expected) < 1e-4 * expected,
             qPrintable(QString("%1 vs %2").arg(g[0][0]).arg(expected)));
}

void TestPrism::against_volume_integral_data()
{
    QTest::addColumn<double>("px");
    QTest::addColumn<double>("py");
    QTest::addColumn<double>("level");
    QTest::newRow("over the middle") << 50.0 << 15.0 << 0.0;
    QTest::newRow("over a corner") << 0.0 << -50.0 << 0.0;
    QTest::newRow("outside footprint") << 180.0 << 140.0 << -20.0;
    QTest::newRow("far below level") << 30.0 << 30.0 << 10.0;
}

void TestPrism::against_volume_integral()
{
    QFETCH(double, px);
    QFETCH(double, py);
    QFETCH(double, level);
    const double xs[2] = {0, 100}, ys[2] = {-50, 80}, zs[2] = {20, 70};
    const double rho = -0.35;
    const field2D g = kernel_at({px}, {py}, level, xs, ys, zs, rho);
    const double ref = brute_force_prism(px, py, level - 0.01, xs, ys, zs, rho);
    QVERIFY2(std::abs(g[0][0] - ref) < 1e-7 * std::abs(ref),
             qPrintable(QString("%1 vs %2").arg(g[0][0], 0, 'g', 15).arg(ref, 0, 'g', 15)));
}

void TestPrism::symmetry_and_linearity()
{
    // Prism centred under the node grid; nodes mirrored in x and y.
    std::vector<double> nodes;
    for (int i = -4; i <= 4; ++i)
        nodes.push_back(i * 37.5);
    const double xs[2] = {-60, 60}, ys[2] = {-60, 60}, zs[2] = {40, 90};
    const field2D g = kernel_at(nodes, nodes, 0.0, xs, ys, zs, 1.0);
    const field2D h = kernel_at(nodes, nodes, 0.0, xs, ys, zs, -3.0);
    const size_t n = nodes.size();
    double peak = g[4][4];
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            const double v = g[i][j];
            QVERIFY(v > 0);
            QVERIFY(v <= peak);
            QVERIFY(std::abs(v - g[n - 1 - i][j]) < 1e-12 * peak);
            QVERIFY(std::abs(v - g[i][n - 1 - j]) < 1e-12 * peak);
            // Square prism: x and y may be swapped. The two sides take the
            // arctangent branch differently, and pi as 3.14159265 leaves ~1e-9.
            QVERIFY(std::abs(v - g[j][i]) < 1e-8 * peak);
            QVERIFY(std::abs(h[i][j] + 3.0 * v) < 1e-12 * peak);
        }
}

void TestPrism::threads_do_not_change_result()
{
    std::vector<double> xn, yn;
    for (int i = 0; i < 33; ++i)
        xn.push_back(i * 10.0);
    for (int i = 0; i < 17; ++i)
        yn.push_back(i * 12.0);
    const double xs[2] = {100, 110}, ys[2] = {90, 102}, zs[2] = {5, 15};
    const field2D one = kernel_at(xn, yn, 0.0, xs, ys, zs, 2.0, 1);
    for (int t : {0, 2, 3, 8, 40})
        QVERIFY(kernel_at(xn, yn, 0.0, xs, ys, zs, 2.0, t) == one);
}

void TestPrism::shape_guard_leaves_out_untouched_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("pair_size");
    QTest::newRow("one row fewer") << 2 << 4 << 2;
    QTest::newRow("one row more") << 4 << 4 << 2;
    QTest::newRow("first row short") << 3 << 3 << 2;
    QTest::newRow("pair of three") << 3 << 4 << 3;
    QTest::newRow("pair of one") << 3 << 4 << 1;
}

void TestPrism::shape_guard_leaves_out_untouched()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, pair_size);
    const std::vector<double> xn{0, 1, 2, 3}, yn{0, 1, 2};
    field2D out(rows, std::vector<double>(cols, 7.0));
    std::vector<double> zpair{10, 20};
    zpair.resize(pair_size, 30.0);
    prism_gravity_kernel(xn, yn, 0.0, {-1, 1}, {-1, 1}, zpair, 1.0, out);
    QCOMPARE(out, field2D(rows, std::vector<double>(cols, 7.0)));
}

void TestPrism::lattice_field_matches_kernel_data()
{
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("level");
    // A shallow top face makes the kernel's arctangent pairs change branch
    // along the centre row and column.
    QTest::newRow("64 x 32, deep cell") << 64 << 32 << 100.0 << 50.0 << 400.0 << 440.0 << -10.0;
    QTest::newRow("32 x 64, shallow top") << 32 << 64 << 100.0 << 50.0 << 0.0 << 40.0 << -10.0;
    QTest::newRow("16 x 16, top just below the level") << 16 << 16 << 25.0 << 25.0 << 0.5 << 10.5 << 0.0;
    QTest::newRow("8 x 2, odd spacings") << 8 << 2 << 12.5 << 7.25 << 3.0 << 9.0 << -1.0;
}

// The lattice form against the kernel evaluated node by node at the same
// nodes, directly and quadrant-swapped.
void TestPrism::lattice_field_matches_kernel()
{
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, top);
    QFETCH(double, bottom);
    QFETCH(double, level);
    const int cx = cols / 2, cy = rows / 2;
    std::vector<double> xn(cols), yn(rows);
    for (int j = 0; j < cols; ++j)
        xn[j] = (j - cx) * dx;
    for (int i = 0; i < rows; ++i)
        yn[i] = (i - cy) * dy;
    field2D ref(rows, std::vector<double>(cols));
    prism_gravity_kernel(xn, yn, level, {-dx / 2, dx / 2}, {-dy / 2, dy / 2}, {top, bottom}, 2.5, ref);
    double scale = 0;
    for (const auto& r : ref)
        for (double v : r)
            scale = std::max(scale, std::fabs(v));

    field2D out(rows, std::vector<double>(cols, 7.0)), swapped = out, shifted = out;
    prism_lattice_field(dx, dy, dx / 2, dy / 2, cx, cy, level, top, bottom, 2.5, false, out);
    prism_lattice_field(dx, dy, dx / 2, dy / 2, cx, cy, level, top, bottom, 2.5, true, swapped);
    double worst = 0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            worst = std::max(worst, std::fabs(out[i][j] - ref[i][j]));
    qInfo("largest deviation %.3g of the largest value", worst / scale);
    QVERIFY(worst < 1e-10 * scale);  // far below the operator's float rounding
    fft_shift(out, shifted);
    QCOMPARE(swapped, shifted);
    // Mirror symmetry about the cell (row and column cx, cy).
    for (int i = 1; i < rows - cy; ++i)
        for (int j = 1; j < cols - cx; ++j)
            QCOMPARE(out[cy + i][cx + j], out[cy - i][cx - j]);

    // The sum over every node, in closed form, against the sum of the field
    // (direct and swapped hold the same nodes).
    const PrismLattice lattice(dx, dy, dx / 2, dy / 2, cx, cy, rows, cols, level);
    double total = 0, magnitude = 0;
    for (const auto& r : out)
        for (double v : r) {
            total += v;
            magnitude += std::fabs(v);
        }
    for (bool swap : {false, true}) {
        const double sum = lattice.field_sum(top, bottom, 2.5, swap);
        qInfo("field sum %.12g, closed form %.12g", total, sum);
        QVERIFY(std::fabs(sum - total) <= 1e-12 * magnitude);
    }

    vector2D single(rows, std::vector<float>(cols));
    prism_lattice_field(dx, dy, dx / 2, dy / 2, cx, cy, level, top, bottom, 2.5, false, single);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            QCOMPARE(single[i][j], float(out[i][j]));
}

void TestPrism::lattice_field_threads_and_guard()
{
    field2D one(32, std::vector<double>(16));
    prism_lattice_field(10, 20, 5, 10, 8, 16, -1, 5, 15, 1.0, true, one, 1);
    for (int t : {2, 3, 40}) {
        field2D many(32, std::vector<double>(16));
        prism_lattice_field(10, 20, 5, 10, 8, 16, -1, 5, 15, 1.0, true, many, t);
        QCOMPARE(many, one);
    }
    field2D ragged(4, std::vector<double>(4, 7.0));
    ragged[2].resize(3, 7.0);
    const field2D before = ragged;
    prism_lattice_field(10, 10, 5, 5, 2, 2, -1, 5, 15, 1.0, false, ragged);
    QCOMPARE(ragged, before);
}

QTEST_APPLESS_MAIN(TestPrism)
#include "tst_prism.moc"
