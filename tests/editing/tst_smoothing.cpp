// Moving-average smoothing of the density grid against a brute-force box
// mean written straight from the rule: every area, widths inside and beyond
// the grid, empty boxes, and constant grids that must not change at all.
#include "editing/smoothing.h"
#include "test_nodes.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

using namespace gridops;

namespace {

using Selector = std::function<bool(int, int, int)>;

// The box of cell (i, j, k) as the rule states it: the old values cut at
// the edges, summed in double; `abs` is the sum of their magnitudes, which
// bounds the rounding of any order of adding them.
struct BoxSum {
    double sum = 0, abs = 0;
    long count = 0;
};

BoxSum box_sum(const vector3D& old, SmoothHalfWidths h, int i, int j, int k)
{
    const int nz = int(old.size()), ny = int(old[0].size()), nx = int(old[0][0].size());
    BoxSum b;
    for (int l = i - h.hz; l <= i + h.hz; ++l)
        for (int r = j - h.hy; r <= j + h.hy; ++r)
            for (int c = k - h.hx; c <= k + h.hx; ++c) {
                if (l < 0 || l >= nz || r < 0 || r >= ny || c < 0 || c >= nx)
                    continue;
                b.sum += old[l][r][c];
                b.abs += std::fabs(double(old[l][r][c]));
                ++b.count;
            }
    return b;
}

// The rule as stated: every selected cell takes its box mean; an empty box
// leaves the cell.
vector3D brute_force(const vector3D& old, SmoothHalfWidths h, const Selector& selected)
{
    vector3D out = old;
    const int nz = int(old.size()), ny = int(old[0].size()), nx = int(old[0][0].size());
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nx; ++k) {
                if (!selected(i, j, k))
                    continue;
                const BoxSum b = box_sum(old, h, i, j, k);
                if (b.count > 0)
                    out[i][j][k] = static_cast<data_type>(b.sum / double(b.count));
            }
    return out;
}

vector3D random_cube(int nz, int ny, int nx, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(1.5f, 3.0f);
    auto g = vector3D(std::size_t(nz), vector2D(std::size_t(ny), std::vector<data_type>(std::size_t(nx))));
    for (auto& level : g)
        for (auto& row : level)
            for (auto& v : row)
                v = d(gen);
    return g;
}

// Equal up to the last bit or two of a float: the sums are the same sums,
// only added in another order.
bool close(const vector3D& a, const vector3D& b, QString* where)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < a[i].size(); ++j)
            for (std::size_t k = 0; k < a[i][j].size(); ++k) {
                const float x = a[i][j][k], y = b[i][j][k];
                if (std::fabs(x - y) > 2.5e-7f * std::max(1.0f, std::fabs(y))) {
                    *where = QString("(%1,%2,%3): %4 vs %5").arg(i).arg(j).arg(k).arg(x, 0, 'g', 9).arg(y, 0, 'g', 9);
                    return false;
                }
            }
    return true;
}

// Horizons over an ny x nx map: the top at z0, a wavy one and a deeper
// flat one.
std::vector<field2D> wavy_horizons(int ny, int nx, double z0, double dz)
{
    field2D top(std::size_t(ny), std::vector<double>(std::size_t(nx), z0));
    auto wave = field2D(std::size_t(ny), std::vector<double>(std::size_t(nx)));
    field2D deep(std::size_t(ny), std::vector<double>(std::size_t(nx), z0 + 9.5 * dz));
    for (int j = 0; j < ny; ++j)
        for (int k = 0; k < nx; ++k)
            wave[std::size_t(j)][std::size_t(k)] = z0 + dz * (4.3 + 2.2 * std::sin(0.7 * j + 0.4 * k));
    return {top, wave, deep};
}

bool in_layer(const std::vector<field2D>& h, int n, int j, int k, double z)
{
    const double top = h[std::size_t(n)][std::size_t(j)][std::size_t(k)];
    if (n + 1 >= int(h.size()))
        return z >= top;
    return top <= z && z < h[std::size_t(n + 1)][std::size_t(j)][std::size_t(k)];
}

// The cells the band along the top of layer n changes.
Selector along_top(const std::vector<field2D>& horizons, int n, const std::vector<double>& z, SmoothHalfWidths h)
{
    const int nz = int(z.size());
    return [&horizons, n, z, h, nz](int i, int j, int k) {
        const int H = int(std::trunc((horizons[std::size_t(n)][std::size_t(j)][std::size_t(k)] - z[0]) / (z[1] - z[0])));
        return i >= H - h.hz && i <= H + h.hz && i > 0 && i < nz;
    };
}

}  // namespace

Q_DECLARE_METATYPE(SmoothHalfWidths)

class TestSmoothing : public QObject {
    Q_OBJECT

private slots:
    void halfWidth_data();
    void halfWidth();
    void halfWidthsOfRecord();
    void wholeAgainstBruteForce_data();
    void wholeAgainstBruteForce();
    void singleSpike();
    void constantGridUnchanged_data();
    void constantGridUnchanged();
    void negativeHalfWidthChangesNothing();
    void layerAgainstBruteForce_data();
    void layerAgainstBruteForce();
    void alongTopAgainstBruteForce_data();
    void alongTopAgainstBruteForce();
    void alongTopKeepsLevelZero();
    void alongTopOneLevel();
    void oddCellsStayInTheirBoxes_data();
    void oddCellsStayInTheirBoxes();
    void storePlanes_data();
    void storePlanes();
    void refusals_data();
    void refusals();
    void progressReported();
};

void TestSmoothing::halfWidth_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("nodeCount");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("expected");
    QTest::newRow("default 5 steps") << 250.0 << 5 << 50.0 << 2;
    QTest::newRow("3 steps") << 30.0 << 5 << 10.0 << 1;
    QTest::newRow("just below 2 steps") << 19.9 << 5 << 10.0 << 0;
    QTest::newRow("2 steps") << 20.0 << 5 << 10.0 << 1;
    QTest::newRow("zero width") << 0.0 << 5 << 10.0 << 0;
    QTest::newRow("negative 1 step") << -10.0 << 5 << 10.0 << 0;
    QTest::newRow("negative 2 steps") << -20.0 << 5 << 10.0 << -1;
    QTest::newRow("descending nodes") << 50.0 << 5 << -10.0 << 2;
    QTest::newRow("one node") << 50.0 << 1 << 10.0 << 0;
    QTest::newRow("zero spacing") << 50.0 << 3 << 0.0 << 0;
    QTest::newRow("NaN width") << std::numeric_limits<double>::quiet_NaN() << 5 << 10.0 << 0;
    QTest::newRow("huge width") << 1e300 << 5 << 10.0 << (1 << 30);
    QTest::newRow("huge negative width") << -1e300 << 5 << 10.0 << -(1 << 30);
}

void TestSmoothing::halfWidth()
{
    QFETCH(double, width);
    QFETCH(int, nodeCount);
    QFETCH(double, step);
    QFETCH(int, expected);
    QCOMPARE(smooth_half_width(width, nodes(nodeCount, 100.0, step)), expected);
}

void TestSmoothing::halfWidthsOfRecord()
{
    const SmoothHalfWidths h =
        smooth_half_widths({0, 250, 60, 25, 0, 0}, nodes(9, 0, 50), nodes(9, 0, 20), nodes(9, 0, 5));
    QCOMPARE(h.hx, 2);
    QCOMPARE(h.hy, 1);
    QCOMPARE(h.hz, 2);
    const SmoothHalfWidths none = smooth_half_widths({0, 250}, nodes(9, 0, 50), nodes(9, 0, 20), nodes(9, 0, 5));
    QCOMPARE(none.hx, 0);
}

void TestSmoothing::wholeAgainstBruteForce_data()
{
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::addColumn<SmoothHalfWidths>("h");
    QTest::newRow("2,2,2") << 7 << 8 << 9 << SmoothHalfWidths{2, 2, 2};
    QTest::newRow("1,2,3") << 9 << 7 << 11 << SmoothHalfWidths{1, 2, 3};
    QTest::newRow("x only") << 4 << 5 << 12 << SmoothHalfWidths{3, 0, 0};
    QTest::newRow("y only") << 4 << 12 << 5 << SmoothHalfWidths{0, 4, 0};
    QTest::newRow("z only") << 12 << 4 << 5 << SmoothHalfWidths{0, 0, 5};
    QTest::newRow("wider than grid") << 3 << 4 << 5 << SmoothHalfWidths{9, 7, 1000};
    QTest::newRow("all zero") << 3 << 4 << 5 << SmoothHalfWidths{0, 0, 0};
    QTest::newRow("one level") << 1 << 6 << 7 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("one column") << 5 << 6 << 1 << SmoothHalfWidths{2, 2, 2};
    QTest::newRow("z window as long as grid") << 5 << 3 << 3 << SmoothHalfWidths{1, 1, 2};
    QTest::newRow("several blocks on every axis") << 17 << 18 << 23 << SmoothHalfWidths{2, 3, 2};
    QTest::newRow("hz = nz / 3") << 13 << 5 << 6 << SmoothHalfWidths{1, 1, 4};
    QTest::newRow("hz = nz - 2") << 9 << 5 << 6 << SmoothHalfWidths{1, 1, 7};
    QTest::newRow("hx = nx - 2, hy = ny - 2") << 3 << 7 << 9 << SmoothHalfWidths{7, 5, 1};
}

void TestSmoothing::wholeAgainstBruteForce()
{
    QFETCH(int, nz);
    QFETCH(int, ny);
    QFETCH(int, nx);
    QFETCH(SmoothHalfWidths, h);
    vector3D grid = random_cube(nz, ny, nx, 11u + unsigned(nz * 7 + nx));
    const vector3D expected = brute_force(grid, h, [](int, int, int) { return true; });
    QCOMPARE(smooth_whole(grid, h), SmoothStatus::Ok);
    QString where;
    QVERIFY2(close(grid, expected, &where), qPrintable(where));
}

void TestSmoothing::singleSpike()
{
    // A 1 at least two cells from every edge: its 3 x 3 x 3 block becomes 1/27.
    vector3D grid(7, vector2D(7, std::vector<data_type>(7, 0.0f)));
    grid[3][3][3] = 1.0f;
    QCOMPARE(smooth_whole(grid, {1, 1, 1}), SmoothStatus::Ok);
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            for (int k = 0; k < 7; ++k) {
                const bool inside = std::abs(i - 3) <= 1 && std::abs(j - 3) <= 1 && std::abs(k - 3) <= 1;
                QCOMPARE(grid[i][j][k], inside ? float(1.0 / 27.0) : 0.0f);
            }
    // A 1 in a corner: its box is cut to 2 x 2 x 2 cells.
    vector3D corner(5, vector2D(5, std::vector<data_type>(5, 0.0f)));
    corner[0][0][0] = 1.0f;
    QCOMPARE(smooth_whole(corner, {1, 1, 1}), SmoothStatus::Ok);
    QCOMPARE(corner[0][0][0], 0.125f);
    QCOMPARE(corner[1][1][1], float(1.0 / 27.0));
    QCOMPARE(corner[0][1][0], float(1.0 / 12.0));
    QCOMPARE(corner[2][0][0], 0.0f);
}

void TestSmoothing::constantGridUnchanged_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<SmoothHalfWidths>("h");
    QTest::newRow("2.67, 2,2,2") << 2.67f << SmoothHalfWidths{2, 2, 2};
    QTest::newRow("0.1, 5,1,3") << 0.1f << SmoothHalfWidths{5, 1, 3};
    QTest::newRow("-1.3e-3, 1,4,7") << -1.3e-3f << SmoothHalfWidths{1, 4, 7};
    QTest::newRow("3.14159, wide") << 3.14159f << SmoothHalfWidths{50, 50, 50};
}

void TestSmoothing::constantGridUnchanged()
{
    QFETCH(float, value);
    QFETCH(SmoothHalfWidths, h);
    const int nz = 12, ny = 9, nx = 10;
    const vector3D original(nz, vector2D(ny, std::vector<data_type>(nx, value)));
    const std::vector<double> z = nodes(nz, 0, 10);
    const std::vector<field2D> horizons = wavy_horizons(ny, nx, 0, 10);

    vector3D grid = original;
    QCOMPARE(smooth_whole(grid, h), SmoothStatus::Ok);
    QCOMPARE(grid, original);
    for (int n = 0; n < 3; ++n) {
        QCOMPARE(smooth_in_layer(grid, z, horizons, n, h), SmoothStatus::Ok);
        QCOMPARE(grid, original);
        QCOMPARE(smooth_along_top(grid, z, horizons, n, h), SmoothStatus::Ok);
        QCOMPARE(grid, original);
    }
}

void TestSmoothing::negativeHalfWidthChangesNothing()
{
    const vector3D original = random_cube(4, 5, 6, 3);
    const std::vector<double> z = nodes(4, 0, 10);
    const std::vector<field2D> horizons = wavy_horizons(5, 6, 0, 10);
    for (SmoothHalfWidths h : {SmoothHalfWidths{-1, 2, 2}, SmoothHalfWidths{2, -1, 2}, SmoothHalfWidths{2, 2, -1}}) {
        vector3D grid = original;
        QCOMPARE(smooth_whole(grid, h), SmoothStatus::Ok);
        QCOMPARE(grid, original);
        QCOMPARE(smooth_in_layer(grid, z, horizons, 1, h), SmoothStatus::Ok);
        QCOMPARE(grid, original);
        QCOMPARE(smooth_along_top(grid, z, horizons, 1, h), SmoothStatus::Ok);
        QCOMPARE(grid, original);
    }
}

void TestSmoothing::layerAgainstBruteForce_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<SmoothHalfWidths>("h");
    QTest::newRow("top layer") << 0 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("middle layer") << 1 << SmoothHalfWidths{2, 1, 2};
    QTest::newRow("last layer, open bottom") << 2 << SmoothHalfWidths{1, 2, 3};
    QTest::newRow("middle layer, x only") << 1 << SmoothHalfWidths{3, 0, 0};
}

void TestSmoothing::layerAgainstBruteForce()
{
    QFETCH(int, layer);
    QFETCH(SmoothHalfWidths, h);
    const int nz = 14, ny = 8, nx = 9;
    const double z0 = 100, dz = 10;
    const std::vector<double> z = nodes(nz, z0, dz);
    const std::vector<field2D> horizons = wavy_horizons(ny, nx, z0, dz);
    // Layers of distinct densities plus noise, so mixing across a boundary shows.
    vector3D grid = random_cube(nz, ny, nx, 5u + unsigned(layer));
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nx; ++k)
                for (int n = 0; n < 3; ++n)
                    if (in_layer(horizons, n, j, k, z[std::size_t(i)]))
                        grid[i][j][k] += 10.0f * n;
    const vector3D original = grid;
    const Selector selected = [&](int i, int j, int k) { return in_layer(horizons, layer, j, k, z[std::size_t(i)]); };
    const vector3D expected = brute_force(original, h, selected);
    QCOMPARE(smooth_in_layer(grid, z, horizons, layer, h), SmoothStatus::Ok);
    QString where;
    QVERIFY2(close(grid, expected, &where), qPrintable(where));

    // Cells of other layers keep their values exactly; some cells of the
    // layer took in densities of a neighbouring layer.
    bool mixed = false;
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nx; ++k) {
                if (!selected(i, j, k))
                    QCOMPARE(grid[i][j][k], original[i][j][k]);
                else if (std::fabs(grid[i][j][k] - original[i][j][k]) > 3.0f)
                    mixed = true;
            }
    if (h.hz > 0)
        QVERIFY(mixed);
}

void TestSmoothing::alongTopAgainstBruteForce_data()
{
    QTest::addColumn<int>("horizon");
    QTest::addColumn<double>("z0");
    QTest::addColumn<SmoothHalfWidths>("h");
    QTest::newRow("wavy horizon") << 1 << 100.0 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("wavy horizon, wide band") << 1 << 100.0 << SmoothHalfWidths{2, 1, 3};
    QTest::newRow("flat deep horizon") << 2 << 100.0 << SmoothHalfWidths{1, 2, 2};
    QTest::newRow("top of the model") << 0 << 100.0 << SmoothHalfWidths{1, 1, 2};
    QTest::newRow("horizons above the grid") << 1 << 160.0 << SmoothHalfWidths{1, 1, 1};
}

void TestSmoothing::alongTopAgainstBruteForce()
{
    QFETCH(int, horizon);
    QFETCH(double, z0);
    QFETCH(SmoothHalfWidths, h);
    const int nz = 13, ny = 7, nx = 8;
    const double dz = 10;
    const std::vector<double> z = nodes(nz, z0, dz);
    // Horizons laid out from depth 100 whatever the grid's top.
    const std::vector<field2D> horizons = wavy_horizons(ny, nx, 100, dz);
    vector3D grid = random_cube(nz, ny, nx, 17u + unsigned(horizon));
    const vector3D original = grid;
    const Selector selected = along_top(horizons, horizon, z, h);
    const vector3D expected = brute_force(original, h, selected);
    QCOMPARE(smooth_along_top(grid, z, horizons, horizon, h), SmoothStatus::Ok);
    QString where;
    QVERIFY2(close(grid, expected, &where), qPrintable(where));
    QCOMPARE(grid[0], original[0]);
}

void TestSmoothing::alongTopKeepsLevelZero()
{
    const int nz = 6, ny = 4, nx = 5;
    const std::vector<double> z = nodes(nz, 0, 10);
    const std::vector<field2D> horizons = wavy_horizons(ny, nx, 0, 10);
    vector3D grid = random_cube(nz, ny, nx, 99);
    const vector3D original = grid;
    QCOMPARE(smooth_along_top(grid, z, horizons, 0, {1, 1, 2}), SmoothStatus::Ok);
    QCOMPARE(grid[0], original[0]);
    QVERIFY(grid[1] != original[1]);
    QVERIFY(grid[2] != original[2]);
    QCOMPARE(grid[3], original[3]);
}

void TestSmoothing::alongTopOneLevel()
{
    vector3D grid = random_cube(1, 4, 5, 8);
    const vector3D original = grid;
    field2D top(4, std::vector<double>(5, 0.0));
    QCOMPARE(smooth_along_top(grid, {0.0}, {top}, 0, {1, 1, 1}), SmoothStatus::Ok);
    QCOMPARE(grid, original);
}

void TestSmoothing::oddCellsStayInTheirBoxes_data()
{
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("layer");
    QTest::addColumn<SmoothHalfWidths>("h");
    QTest::newRow("whole, 1,1,1") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("whole, 2,1,0") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{2, 1, 0};
    QTest::newRow("whole, z only") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{0, 0, 3};
    QTest::newRow("whole, 3,2,2") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{3, 2, 2};
    QTest::newRow("whole, wider than grid") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{20, 20, 20};
    QTest::newRow("whole, hz = nz / 3") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{1, 1, 3};
    QTest::newRow("whole, hz = nz - 2") << int(SmoothArea::Whole) << 0 << SmoothHalfWidths{1, 3, 8};
    QTest::newRow("layer 0, 1,1,1") << int(SmoothArea::Layer) << 0 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("layer 1, 2,2,1") << int(SmoothArea::Layer) << 1 << SmoothHalfWidths{2, 2, 1};
    QTest::newRow("layer 1, 1,0,3") << int(SmoothArea::Layer) << 1 << SmoothHalfWidths{1, 0, 3};
    QTest::newRow("along top 1, 1,1,1") << int(SmoothArea::AlongTop) << 1 << SmoothHalfWidths{1, 1, 1};
    QTest::newRow("along top 1, 2,1,2") << int(SmoothArea::AlongTop) << 1 << SmoothHalfWidths{2, 1, 2};
    QTest::newRow("along top 0, 1,2,3") << int(SmoothArea::AlongTop) << 0 << SmoothHalfWidths{1, 2, 3};
}

void TestSmoothing::oddCellsStayInTheirBoxes()
{
    // A grid of 2.0 with the cells a file's null or broken samples give: a
    // NaN, an infinity of each sign (close enough to share boxes, whose
    // direct sum is NaN) and a null value of each sign.
    QFETCH(int, area);
    QFETCH(int, layer);
    QFETCH(SmoothHalfWidths, h);
    const int nz = 10, ny = 9, nx = 11;
    const std::vector<double> z = nodes(nz, 0, 10);
    const std::vector<field2D> horizons = wavy_horizons(ny, nx, 0, 10);
    vector3D grid(nz, vector2D(ny, std::vector<data_type>(nx, 2.0f)));
    const float inf = std::numeric_limits<float>::infinity();
    grid[2][1][1] = std::numeric_limits<float>::quiet_NaN();
    grid[4][6][2] = inf;
    grid[5][7][4] = -inf;
    grid[3][2][8] = 1e30f;
    grid[7][6][9] = -1e30f;
    const vector3D original = grid;

    Selector selected = [](int, int, int) { return true; };
    SmoothStatus status = SmoothStatus::Ok;
    switch (SmoothArea(area)) {
    case SmoothArea::Whole: status = smooth_whole(grid, h); break;
    case SmoothArea::Layer:
        selected = [&](int i, int j, int k) { return in_layer(horizons, layer, j, k, z[std::size_t(i)]); };
        status = smooth_in_layer(grid, z, horizons, layer, h);
        break;
    case SmoothArea::AlongTop:
        selected = along_top(horizons, layer, z, h);
        status = smooth_along_top(grid, z, horizons, layer, h);
        break;
    }
    QCOMPARE(status, SmoothStatus::Ok);

    int changed = 0, nonFinite = 0;
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nx; ++k) {
                const float got = grid[i][j][k];
                const QString at = QString("(%1,%2,%3): %4").arg(i).arg(j).arg(k).arg(got, 0, 'g', 9);
                if (!selected(i, j, k)) {
                    QVERIFY2(std::memcmp(&got, &original[i][j][k], sizeof got) == 0, qPrintable(at));
                    continue;
                }
                ++changed;
                const BoxSum b = box_sum(original, h, i, j, k);
                const float want = static_cast<data_type>(b.sum / double(b.count));
                if (!std::isfinite(b.abs)) {
                    ++nonFinite;
                    // Non-finite exactly where the direct sum is: NaN, or
                    // an infinity of the same sign.
                    if (std::isnan(want))
                        QVERIFY2(std::isnan(got), qPrintable(at));
                    else
                        QVERIFY2(got == want, qPrintable(at));
                } else if (b.abs == 2.0 * double(b.count)) {
                    // No odd cell in the box: it stays exactly 2.
                    QVERIFY2(got == 2.0f, qPrintable(at));
                } else {
                    // Within the float rounding of the mean and the
                    // rounding any order of adding the box in double allows.
                    const double tolerance = 2.5e-7 * std::max(1.0, std::fabs(double(want))) + 0x1p-52 * b.abs;
                    QVERIFY2(std::isfinite(got) && std::fabs(double(got) - double(want)) <= tolerance,
                             qPrintable(at + QString(" vs %1").arg(want, 0, 'g', 9)));
                }
            }
    QVERIFY(changed > 0);
    QVERIFY(nonFinite > 0 || changed == 0);
}

void TestSmoothing::storePlanes_data()
{
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("planes");
    // The 2 hz levels after each block's first, but only up to the last
    // level a box starts at (nz - 1 - hz), and the sum of the rest of that
    // level's block.
    QTest::newRow("no extent") << 100 << 0 << 0;
    QTest::newRow("narrow box") << 100 << 2 << 5;
    QTest::newRow("blocks end where the starts end") << 20 << 6 << 12;
    QTest::newRow("hz = nz / 3") << 100 << 33 << 66;
    QTest::newRow("hz = nz / 2") << 100 << 50 << 50;
    QTest::newRow("hz = nz - 2") << 100 << 98 << 2;
    QTest::newRow("hz = nz - 1") << 100 << 99 << 0;
    QTest::newRow("beyond the grid") << 100 << 1000 << 0;
    QTest::newRow("one level") << 1 << 3 << 0;
}

// The planes kept stay within two thirds of the levels whatever the box.
void TestSmoothing::storePlanes()
{
    QFETCH(int, nz);
    QFETCH(int, hz);
    QFETCH(int, planes);
    QCOMPARE(smoothing_store_planes(nz, hz), planes);
    for (int h = 0; h <= nz + 1; ++h)
        QVERIFY2(3 * smoothing_store_planes(nz, h) <= 2 * nz + 1, qPrintable(QString("hz %1").arg(h)));
}

void TestSmoothing::refusals_data()
{
    QTest::addColumn<int>("case_");
    QTest::addColumn<int>("status");
    QTest::newRow("no horizons") << 0 << int(SmoothStatus::NoHorizons);
    QTest::newRow("other rows") << 1 << int(SmoothStatus::HorizonsMismatch);
    QTest::newRow("other columns in a later horizon") << 2 << int(SmoothStatus::HorizonsMismatch);
    QTest::newRow("layer below the horizons") << 3 << int(SmoothStatus::BadLayer);
    QTest::newRow("negative layer") << 4 << int(SmoothStatus::BadLayer);
    QTest::newRow("z of another length") << 5 << int(SmoothStatus::NotRegular);
    QTest::newRow("empty grid") << 6 << int(SmoothStatus::NotRegular);
}

void TestSmoothing::refusals()
{
    QFETCH(int, case_);
    QFETCH(int, status);
    const int nz = 5, ny = 4, nx = 6;
    vector3D grid = random_cube(nz, ny, nx, 1);
    std::vector<double> z = nodes(nz, 0, 10);
    std::vector<field2D> horizons = wavy_horizons(ny, nx, 0, 10);
    int layer = 1;
    switch (case_) {
    case 0: horizons.clear(); break;
    case 1: horizons[0].pop_back(); break;
    case 2: horizons[2][1].push_back(5); break;
    case 3: layer = 3; break;
    case 4: layer = -1; break;
    case 5: z.pop_back(); break;
    case 6: grid.clear(); break;
    }
    const vector3D original = grid;
    QCOMPARE(int(smooth_in_layer(grid, z, horizons, layer, {1, 1, 1})), status);
    QCOMPARE(grid, original);
    QCOMPARE(int(smooth_along_top(grid, z, horizons, layer, {1, 1, 1})), status);
    QCOMPARE(grid, original);
    if (case_ == 6)
        QCOMPARE(smooth_whole(grid, {1, 1, 1}), SmoothStatus::NotRegular);
}

void TestSmoothing::progressReported()
{
    vector3D grid = random_cube(10, 3, 3, 2);
    std::vector<int> seen;
    smooth_whole(grid, {1, 1, 1}, [&](int p) { seen.push_back(p); });
    QCOMPARE(seen.size(), std::size_t(10));
    QCOMPARE(seen.front(), 0);
    QCOMPARE(seen.back(), 90);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
}

QTEST_APPLESS_MAIN(TestSmoothing)
#include "tst_smoothing.moc"
