// The arithmetic of the vertical section without a display: sample points
// along straight and broken lines, the four-node inverse-distance sampling
// (checked against weights written out by hand and against a linear field),
// lines that are refused, the export orientation of section grids and the
// crossings of fault sticks with the section's plane.
#include <QtTest>

#include <cmath>

#include "views/section_core.h"

using namespace section;

namespace {

// Inverse-distance weight of a node at (nx, ny) seen from (x, y).
double w(double x, double y, double nx, double ny)
{
    return 1.0 / std::sqrt((x - nx) * (x - nx) + (y - ny) * (y - ny) + 1e-6);
}

// A linear field a + bx x + by y on a regular grid (ny rows, nx columns).
field2D linearField(int nx, int ny, double x0, double dx, double y0, double dy, double a, double bx, double by)
{
    field2D g(ny, std::vector<double>(nx));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            g[j][i] = a + bx * (x0 + i * dx) + by * (y0 + j * dy);
    return g;
}

bool near(double a, double b, double tol = 1e-9) { return std::fabs(a - b) <= tol * std::max(1.0, std::fabs(b)); }

QVector3D P(double x, double y, double z) { return QVector3D(float(x), float(y), float(z)); }

}  // namespace

class TestSectionCore : public QObject
{
    Q_OBJECT

private slots:
    void straightLineNodes_data();
    void straightLineNodes();
    void brokenLineNodes();
    void brokenLineWithRepeatedVertex();
    void refusedLines_data();
    void refusedLines();

    void weightsByHand();
    void sampleOnANodeIsNotTheNodeValue();
    void linearFieldExactAtCellCentres();
    void nodePairs_data();
    void nodePairs();
    void singleColumnGrid();
    void profileAlongBrokenLine();
    void cubeSectionLevels();
    void cubeWithMoreCoordinatesThanCells();
    void horizonRows();
    void raggedGridIsSkipped();

    void residualAndRms();
    void sliceParams();
    void exportOrientation();

    void sortSticks();
    void crossingAtKnownPoint();
    void verticalFaultPlane();
    void singlePointSticksUnused();
    void unequalSticks();
    void touchingEndCounts();
    void collinearTraces_data();
    void collinearTraces();
    void crossingBeforeStartIsNegative();
    void zeroLengthSectionHasNoCrossings();
};

// ---------------------------------------------------------------------------
// Sample points

void TestSectionCore::straightLineNodes_data()
{
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("y1");
    QTest::addColumn<double>("x2");
    QTest::addColumn<double>("y2");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("ux");
    QTest::addColumn<double>("uy");
    QTest::newRow("east, end not sampled") << 0.0 << 0.0 << 10.0 << 0.0 << 1.0 << 10 << 1.0 << 0.0;
    QTest::newRow("3-4-5 diagonal") << 100.0 << 200.0 << 130.0 << 240.0 << 5.0 << 10 << 0.6 << 0.8;
    QTest::newRow("west and down, start > end") << 50.0 << 50.0 << 20.0 << 10.0 << 7.0 << 7 << -0.6 << -0.8;
    QTest::newRow("length just under a whole count") << 0.0 << 0.0 << 9.999 << 0.0 << 1.0 << 9 << 1.0 << 0.0;
}

void TestSectionCore::straightLineNodes()
{
    QFETCH(double, x1);
    QFETCH(double, y1);
    QFETCH(double, x2);
    QFETCH(double, y2);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(double, ux);
    QFETCH(double, uy);
    const Nodes n = line_nodes(x1, y1, x2, y2, step);
    QCOMPARE(int(n.size()), count);
    QCOMPARE(int(n.x.size()), count);
    QCOMPARE(int(n.y.size()), count);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(n.distance[i], i * step);
        QVERIFY2(near(n.x[i], x1 + i * step * ux), qPrintable(QString::number(i)));
        QVERIFY2(near(n.y[i], y1 + i * step * uy), qPrintable(QString::number(i)));
    }
    // The last sample lies at least one and less than two steps short of the end.
    const double left = std::hypot(x2 - n.x.back(), y2 - n.y.back());
    QVERIFY(left >= step - 1e-9 && left < 2 * step);
}

void TestSectionCore::brokenLineNodes()
{
    // (0,0) -> (10,0) -> (10,10), 20 long: samples every 3 along the line.
    const Nodes n = polyline_nodes({0, 10, 10}, {0, 0, 10}, 3);
    QCOMPARE(int(n.size()), 6);
    const double ex[] = {0, 3, 6, 9, 10, 10};
    const double ey[] = {0, 0, 0, 0, 2, 5};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(n.distance[i], 3.0 * i);
        QVERIFY2(near(n.x[i], ex[i]) && near(n.y[i], ey[i]),
                 qPrintable(QString("%1: %2 %3").arg(i).arg(n.x[i]).arg(n.y[i])));
    }
}

void TestSectionCore::brokenLineWithRepeatedVertex()
{
    // A vertex given twice adds a segment of no length, which is passed over.
    const Nodes n = polyline_nodes({0, 4, 4, 4}, {0, 0, 0, 4}, 2);
    QCOMPARE(int(n.size()), 4);
    const double ex[] = {0, 2, 4, 4};
    const double ey[] = {0, 0, 0, 2};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(near(n.x[i], ex[i]) && near(n.y[i], ey[i]), qPrintable(QString::number(i)));
}

void TestSectionCore::refusedLines_data()
{
    QTest::addColumn<double>("x2");
    QTest::addColumn<double>("y2");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("check");
    QTest::addColumn<int>("count");
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("zero length") << 0.0 << 0.0 << 1.0 << 1 << int(LineCheck::Empty) << 0;
    QTest::newRow("zero length, zero step") << 0.0 << 0.0 << 0.0 << 1 << int(LineCheck::Empty) << 0;
    QTest::newRow("shorter than a step") << 0.9 << 0.0 << 1.0 << 1 << int(LineCheck::TooShort) << 0;
    QTest::newRow("exactly one step: one sample") << 1.0 << 0.0 << 1.0 << 1 << int(LineCheck::Ok) << 1;
    QTest::newRow("one and a half steps: one sample") << 1.5 << 0.0 << 1.0 << 1 << int(LineCheck::Ok) << 1;
    QTest::newRow("diagonal of one cell: one sample") << 1.0 << 1.0 << 1.0 << 1 << int(LineCheck::Ok) << 1;
    QTest::newRow("exactly two samples") << 2.0 << 0.0 << 1.0 << 1 << int(LineCheck::Ok) << 2;
    QTest::newRow("zero step") << 10.0 << 0.0 << 0.0 << 1 << int(LineCheck::BadStep) << 0;
    QTest::newRow("negative step") << 10.0 << 0.0 << -1.0 << 1 << int(LineCheck::BadStep) << 0;
    QTest::newRow("step nan") << 10.0 << 0.0 << nan << 1 << int(LineCheck::NotFinite) << 0;
    QTest::newRow("coordinate inf") << inf << 0.0 << 1.0 << 1 << int(LineCheck::NotFinite) << 0;
    QTest::newRow("coordinate nan") << 10.0 << nan << 1.0 << 1 << int(LineCheck::NotFinite) << 0;
    QTest::newRow("too many samples") << 1e12 << 0.0 << 1.0 << 1 << int(LineCheck::TooMany) << 0;
    QTest::newRow("tiny step") << 10.0 << 0.0 << 1e-300 << 1 << int(LineCheck::TooMany) << 0;
    QTest::newRow("too many cells") << 100000.0 << 0.0 << 1.0 << 1000 << int(LineCheck::TooMany) << 0;
    QTest::newRow("many samples, few levels") << 100000.0 << 0.0 << 1.0 << 10 << int(LineCheck::Ok) << 100000;
}

void TestSectionCore::refusedLines()
{
    QFETCH(double, x2);
    QFETCH(double, y2);
    QFETCH(double, step);
    QFETCH(int, levels);
    QFETCH(int, check);
    QFETCH(int, count);
    std::size_t n = 12345;
    QCOMPARE(int(check_line({0, x2}, {0, y2}, step, std::size_t(levels), &n)), check);
    QCOMPARE(int(n), count);
    // The nodes alone know no levels: they are refused exactly when a line of
    // one level would be.
    if (levels == 1)
        QCOMPARE(int(line_nodes(0, 0, x2, y2, step).size()), count);
}

// ---------------------------------------------------------------------------
// Sampling

void TestSectionCore::weightsByHand()
{
    // Unit cell with f = x: nodes (0,0)=0, (1,0)=1, (0,1)=0, (1,1)=1.
    const field2D g{{0, 1}, {0, 1}};
    const Axis a = axis_from_range(0, 1, 2, 2);
    const double x = 0.25, y = 0.5;
    const Stencil s = stencil(a, a, x, y, Pick::Truncated);
    QCOMPARE(s.col[0], 0);
    QCOMPARE(s.col[1], 1);
    QCOMPARE(s.row[0], 0);
    QCOMPARE(s.row[1], 1);
    const double w0 = 1 / std::sqrt(0.25 * 0.25 + 0.25 + 1e-6);   // nodes at x = 0
    const double w1 = 1 / std::sqrt(0.75 * 0.75 + 0.25 + 1e-6);   // nodes at x = 1
    QVERIFY(near(weighted_value(s, g), w1 / (w0 + w1)));
    QVERIFY(near(weighted_value(s, g), 0.3827833, 1e-6));
}

void TestSectionCore::sampleOnANodeIsNotTheNodeValue()
{
    // f = 10 x + 100 y on nodes 0 and 1.
    const field2D g{{0, 10}, {100, 110}};
    const Axis a = axis_from_range(0, 1, 2, 2);
    const double v = weighted_value(stencil(a, a, 0, 0, Pick::Truncated), g);
    const double w00 = 1000, w10 = w(0, 0, 1, 0), w01 = w(0, 0, 0, 1), w11 = w(0, 0, 1, 1);
    QVERIFY(near(v, (w10 * 10 + w01 * 100 + w11 * 110) / (w00 + w10 + w01 + w11)));
    QVERIFY(v > 0.1);  // the three other nodes still count
}

void TestSectionCore::linearFieldExactAtCellCentres()
{
    const double x0 = 1000, dx = 50, y0 = 5000, dy = 100;
    const field2D g = linearField(6, 5, x0, dx, y0, dy, 2.0, 0.01, -0.003);
    Axis ax, ay;
    QVERIFY(grid_axes(g, {6, 5, x0, x0 + 5 * dx, y0, y0 + 4 * dy}, ax, ay));
    // The centre of every cell, along a line through a row of centres: the
    // four weights are equal, so a linear field comes out exact.
    const Nodes n = line_nodes(x0 + 0.5 * dx, y0 + 1.5 * dy, x0 + 6.5 * dx, y0 + 1.5 * dy, dx);
    QCOMPARE(int(n.size()), 6);
    const std::vector<double> p = sample_grid(g, ax, ay, n);
    QCOMPARE(int(p.size()), 5 + 1);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(near(p[i], 2.0 + 0.01 * n.x[i] - 0.003 * n.y[i], 1e-12), qPrintable(QString::number(i)));
    // The sixth sample lies beyond the last column: both neighbours are the
    // last column, so the value is that column's (mean of its two rows).
    QVERIFY(near(p[5], 2.0 + 0.01 * (x0 + 5 * dx) - 0.003 * (y0 + 1.5 * dy), 1e-12));
}

void TestSectionCore::nodePairs_data()
{
    QTest::addColumn<double>("t");  // (x - first) / step
    QTest::addColumn<int>("pick");
    QTest::addColumn<int>("c0");
    QTest::addColumn<int>("c1");
    const int T = int(Pick::Truncated), N = int(Pick::Nearest);
    QTest::newRow("inside, truncated") << 1.7 << T << 1 << 2;
    QTest::newRow("inside, nearest (right half)") << 0.7 << N << 1 << 2;
    QTest::newRow("inside, nearest (left half)") << 1.2 << N << 1 << 2;
    QTest::newRow("truncated left half") << 0.7 << T << 0 << 1;
    QTest::newRow("on the last node") << 4.0 << T << 4 << 4;
    QTest::newRow("beyond the last node") << 7.5 << T << 4 << 4;
    QTest::newRow("far beyond") << 1e30 << T << 4 << 4;
    QTest::newRow("just before the first (toward zero)") << -0.3 << T << 0 << 1;
    QTest::newRow("well before the first") << -1.3 << T << 0 << 0;
    QTest::newRow("far before") << -1e30 << N << 0 << 0;
}

void TestSectionCore::nodePairs()
{
    QFETCH(double, t);
    QFETCH(int, pick);
    QFETCH(int, c0);
    QFETCH(int, c1);
    const Axis ax{100, 20, 5};
    const Axis ay{0, 1, 3};
    const Stencil s = stencil(ax, ay, 100 + 20 * t, 0.5, Pick(pick));
    QCOMPARE(s.col[0], c0);
    QCOMPARE(s.col[1], c1);
    QVERIFY(std::isfinite(s.weight_sum) && s.weight_sum > 0);
}

void TestSectionCore::singleColumnGrid()
{
    // One column (and a geometry whose step would divide by zero): every
    // point reads that column, weighted between its rows.
    const field2D g{{1}, {3}};
    Axis ax, ay;
    QVERIFY(grid_axes(g, {1, 2, 500, 500, 0, 10}, ax, ay));
    QCOMPARE(ax.count, 1);
    QCOMPARE(ax.step, 0.0);
    const std::vector<double> p = sample_grid(g, ax, ay, line_nodes(0, 5, 1000, 5, 100));
    QCOMPARE(int(p.size()), 10);
    for (double v : p)
        QVERIFY(near(v, 2.0));  // halfway between the rows
}

void TestSectionCore::profileAlongBrokenLine()
{
    // A field linear in x only is exact wherever a sample lies halfway
    // between two rows, whatever its x.
    const field2D g = linearField(11, 3, 0, 10, 0, 10, -5, 0.25, 0);
    Axis ax, ay;
    QVERIFY(grid_axes(g, {11, 3, 0, 100, 0, 20}, ax, ay));
    const Nodes n = polyline_nodes({5, 45, 45, 95}, {5, 5, 15, 15}, 5);
    QCOMPARE(int(n.size()), 20);
    const std::vector<double> p = sample_grid(g, ax, ay, n);
    for (std::size_t i = 0; i < n.size(); ++i) {
        if (std::fmod(n.y[i], 10.0) != 5.0)
            continue;  // samples on the vertical leg lie between rows unevenly
        // x halfway between columns, or on a column: symmetric in y.
        const double xf = std::fmod(n.x[i], 10.0);
        if (xf == 5.0)
            QVERIFY2(near(p[i], -5 + 0.25 * n.x[i], 1e-12), qPrintable(QString::number(i)));
    }
    // On the vertical leg: sample 9 at (45, 10) lies between columns 4 and 5
    // on row 1; the field does not depend on y, and x is halfway.
    QCOMPARE(n.x[9], 45.0);
    QCOMPARE(n.y[9], 10.0);
    QVERIFY(near(p[9], -5 + 0.25 * 45, 1e-12));
    // The corner is sampled on the leg it starts: (45, 5), then (45, 15).
    QCOMPARE(n.y[8], 5.0);
    QCOMPARE(n.y[10], 15.0);
}

void TestSectionCore::cubeSectionLevels()
{
    // Level k holds k * 100 + the linear field; the section of each level is
    // that level's profile, and the nearest pick moves the stencil.
    const int nx = 5, ny = 4, nz = 3;
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                cube[k][j][i] = float(k * 100 + 2 * i + j);
    const std::vector<double> x{0, 10, 20, 30, 40}, y{0, 10, 20, 30}, z{0, 50, 100};
    const CubeGeometry g = cube_geometry(cube, x, y, z);
    QCOMPARE(g.levels, 3);
    const Nodes n = line_nodes(7, 5, 37, 5, 10);  // x = 7, 17, 27
    const field2D nearest = sample_cube(cube, g, n, Pick::Nearest);
    const field2D trunc = sample_cube(cube, g, n, Pick::Truncated);
    QCOMPARE(int(nearest.size()), 3);
    QCOMPARE(int(nearest[0].size()), 3);
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < 3; ++i) {
            const double xs = n.x[i], ys = 5;
            // Truncated: columns floor(x/10), +1; nearest: round(x/10), +1.
            // Truncated: rows 0, 1 (y = 5); nearest: rows 1, 2.
            const int t0 = int(xs / 10), r0 = int((xs + 5) / 10);
            auto value = [&](int c0, int w0) {
                const int c1 = std::min(c0 + 1, nx - 1), w1 = std::min(w0 + 1, ny - 1);
                const double a = w(xs, ys, 10 * c0, 10 * w0), b = w(xs, ys, 10 * c1, 10 * w0);
                const double c = w(xs, ys, 10 * c0, 10 * w1), d = w(xs, ys, 10 * c1, 10 * w1);
                const auto v = [&](int col, int row) { return k * 100.0 + 2 * col + row; };
                return (a * v(c0, w0) + b * v(c1, w0) + c * v(c0, w1) + d * v(c1, w1)) / (a + b + c + d);
            };
            QVERIFY2(near(trunc[k][i], value(t0, 0), 1e-6), qPrintable(QString("%1 %2").arg(k).arg(i)));
            QVERIFY2(near(nearest[k][i], value(r0, 1), 1e-6), qPrintable(QString("%1 %2").arg(k).arg(i)));
        }
}

void TestSectionCore::cubeWithMoreCoordinatesThanCells()
{
    // Coordinates longer than the cube: only cells that exist are read.
    vector3D cube(2, vector2D(2, std::vector<data_type>(2, 1.0f)));
    const CubeGeometry g = cube_geometry(cube, {0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2, 3, 4});
    QCOMPARE(g.levels, 2);
    QCOMPARE(g.x.count, 2);
    QCOMPARE(g.y.count, 2);
    const field2D s = sample_cube(cube, g, line_nodes(0, 0, 10, 10, 1), Pick::Nearest);
    QCOMPARE(int(s.size()), 2);
    for (const auto& row : s)
        for (double v : row)
            QVERIFY(near(v, 1.0));
}

void TestSectionCore::horizonRows()
{
    // Horizons 0 .. 3: three rows (horizons 1, 2 and 3). Horizon h is
    // h * 100 + x / 10.
    std::vector<field2D> horizons;
    for (int h = 0; h < 4; ++h)
        horizons.push_back(linearField(4, 3, 0, 10, 0, 10, h * 100.0, 0.1, 0));
    const Nodes n = line_nodes(5, 5, 35, 5, 10);
    const field2D rows = sample_horizons(horizons, {4, 3, 0, 30, 0, 20}, n);
    QCOMPARE(int(rows.size()), 3);
    for (int h = 1; h < 4; ++h)
        for (int i = 0; i < 3; ++i)
            QVERIFY2(near(rows[h - 1][i], h * 100.0 + 0.1 * n.x[i], 1e-12),
                     qPrintable(QString("%1 %2").arg(h).arg(i)));
    // One horizon: nothing to sample; a short record: nothing either.
    QCOMPARE(int(sample_horizons({horizons[0]}, {4, 3, 0, 30, 0, 20}, n).size()), 0);
    QCOMPARE(int(sample_horizons(horizons, {4, 3, 0, 30}, n).size()), 0);
}

void TestSectionCore::raggedGridIsSkipped()
{
    const field2D ragged{{1, 2, 3}, {4, 5}};
    Axis ax, ay;
    QVERIFY(!grid_axes(ragged, {3, 2, 0, 2, 0, 1}, ax, ay));
    QVERIFY(sample_grid(ragged, Axis{0, 1, 3}, Axis{0, 1, 2}, line_nodes(0, 0, 3, 0, 1)).empty());
    vector3D cube{{{1, 2}, {3, 4}}, {{1, 2}}};
    const CubeGeometry g = cube_geometry(cube, {0, 1}, {0, 1}, {0, 1});
    QVERIFY(sample_cube(cube, g, line_nodes(0, 0, 3, 0, 1), Pick::Nearest).empty());
}

// ---------------------------------------------------------------------------
// Profiles, records, exports

void TestSectionCore::residualAndRms()
{
    QCOMPARE(residual({5, 7}, {2, 3}), (std::vector<double>{3, 4}));
    QVERIFY(near(rms({3, 4}), 3.5355339059327378));
    QCOMPARE(QString::number(rms({3, 4}), 'g', 6), QString("3.53553"));
    QVERIFY(residual({1, 2}, {1}).empty());
    QVERIFY(residual({}, {}).empty());
    QCOMPARE(rms({}), 0.0);
}

void TestSectionCore::sliceParams()
{
    QCOMPARE(slice_params({0, 10, 20, 30}, {100, 150, 200}), (std::vector<double>{4, 3, 0, 30, 100, 200}));
    QVERIFY(slice_params({}, {1, 2}).empty());
    QVERIFY(slice_params({1, 2}, {}).empty());
}

void TestSectionCore::exportOrientation()
{
    // Three levels at depths 0, 100, 200, two samples.
    const field2D s{{1, 2}, {3, 4}, {5, 6}};
    const std::vector<double> params{2, 3, 0, 10, 0, 200};

    // Positive depths: levels as stored, y from 0 to 200.
    ExportGrid pos = export_grid(s, params, true);
    QCOMPARE(pos.grid, s);
    QCOMPARE(pos.params, (std::vector<double>{2, 3, 0, 10, 0, 200}));

    // Negative depths: y = -depth grows upward, so the deepest level is row 0.
    ExportGrid neg = export_grid(s, params, false);
    QCOMPARE(neg.grid, (field2D{{5, 6}, {3, 4}, {1, 2}}));
    QCOMPARE(neg.params, (std::vector<double>{2, 3, 0, 10, -200, 0}));

    QVERIFY(export_grid({}, params, true).grid.empty());
    QVERIFY(export_grid(s, {2, 3}, true).grid.empty());
}

// ---------------------------------------------------------------------------
// Faults

void TestSectionCore::sortSticks()
{
    Sticks s{{{P(0, 0, 300), P(0, 0, 100), P(0, 0, 200)}, {}}};
    sort_sticks_by_depth(s);
    QCOMPARE(s[0][0][0].z(), 100.f);
    QCOMPARE(s[0][0][1].z(), 200.f);
    QCOMPARE(s[0][0][2].z(), 300.f);
    QVERIFY(s[0][1].empty());
}

void TestSectionCore::crossingAtKnownPoint()
{
    // Section (0,0) -> (10,0); sticks whose shallowest points are (5,-5,100)
    // and (5,5,200): the crossing is at distance 5, depth 150 (halfway).
    const Sticks s{{{P(5, -5, 100), P(5, -5, 300)}, {P(5, 5, 200), P(5, 5, 600)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, s);
    QCOMPARE(int(c.size()), 1);
    QCOMPARE(int(c[0].size()), 2);
    QCOMPARE(c[0][0].distance, 5.f);
    QCOMPARE(c[0][0].depth, 150.f);
    QCOMPARE(c[0][1].distance, 5.f);
    QCOMPARE(c[0][1].depth, 450.f);
}

void TestSectionCore::verticalFaultPlane()
{
    // A vertical fault in the plane x + y = 10 (sticks from the surface to
    // 1000 m, as vertical faults from a BLN trace are built) meets the
    // diagonal section from (0,0) to (10,10) at (5,5): distance sqrt(50).
    const Sticks s{{{P(2, 8, 0), P(2, 8, 1000)}, {P(8, 2, 0), P(8, 2, 1000)}, {P(12, -2, 0), P(12, -2, 1000)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 10, s);
    QCOMPARE(int(c.size()), 1);  // only the first trace segment crosses
    QCOMPARE(int(c[0].size()), 2);
    QVERIFY(near(c[0][0].distance, std::sqrt(50.0), 1e-6));
    QCOMPARE(c[0][0].depth, 0.f);
    QVERIFY(near(c[0][1].distance, std::sqrt(50.0), 1e-6));
    QCOMPARE(c[0][1].depth, 1000.f);

    // The same plane seen from the other end of the section.
    const std::vector<Crossing> back = fault_crossings(10, 10, 0, 0, s);
    QCOMPARE(int(back.size()), 1);
    QVERIFY(near(back[0][0].distance, std::sqrt(50.0), 1e-6));
}

void TestSectionCore::singlePointSticksUnused()
{
    // The middle stick has one point: neither pair that contains it counts,
    // even though both trace segments cross the section.
    const Sticks s{{{P(5, -5, 0), P(5, -5, 10)}, {P(5, 5, 0)}, {P(5, -5, 0), P(5, -5, 10)}}};
    QVERIFY(fault_crossings(0, 0, 10, 0, s).empty());
}

void TestSectionCore::unequalSticks()
{
    // Sticks of 2 and 4 points: 4 points, the last two using the shorter
    // stick's deepest point.
    const Sticks s{{{P(4, -2, 0), P(4, -2, 100)}, {P(4, 2, 0), P(4, 2, 50), P(4, 2, 300), P(4, 2, 500)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, s);
    QCOMPARE(int(c.size()), 1);
    QCOMPARE(int(c[0].size()), 4);
    const float depths[] = {0, 75, 200, 300};
    for (int j = 0; j < 4; ++j) {
        QCOMPARE(c[0][j].distance, 4.f);
        QCOMPARE(c[0][j].depth, depths[j]);
    }
}

void TestSectionCore::touchingEndCounts()
{
    // The trace segment ends exactly on the section's end point.
    QVERIFY(segments_cross(0, 0, 10, 0, 10, 0, 10, 5));
    QVERIFY(segments_cross(0, 0, 10, 0, 10, -5, 10, 0));
    QVERIFY(!segments_cross(0, 0, 10, 0, 11, -5, 11, 5));
    const Sticks s{{{P(10, 0, 0), P(10, 0, 100)}, {P(10, 5, 0), P(12, 5, 100)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, s);
    QCOMPARE(int(c.size()), 1);
    QCOMPARE(c[0][0].distance, 10.f);
}

void TestSectionCore::collinearTraces_data()
{
    QTest::addColumn<double>("xa");
    QTest::addColumn<double>("xb");
    QTest::addColumn<double>("yb");
    QTest::addColumn<bool>("crosses");
    QTest::newRow("on the line, overlapping") << 2.0 << 6.0 << 0.0 << true;
    QTest::newRow("on the line, covering the section") << -5.0 << 15.0 << 0.0 << true;
    QTest::newRow("on the line, touching the end") << 10.0 << 15.0 << 0.0 << true;
    QTest::newRow("on the line beyond the end") << 12.0 << 15.0 << 0.0 << false;
    QTest::newRow("on the line before the start") << -8.0 << -3.0 << 0.0 << false;
    QTest::newRow("parallel, off the line") << 2.0 << 6.0 << 1.0 << false;
}

void TestSectionCore::collinearTraces()
{
    QFETCH(double, xa);
    QFETCH(double, xb);
    QFETCH(double, yb);
    QFETCH(bool, crosses);
    QCOMPARE(segments_cross(0, 0, 10, 0, xa, yb, xb, yb), crosses);
    // Deeper points off the line, so that a crossing has points to show.
    const Sticks s{{{P(xa, yb, 0), P(xa, -3, 100)}, {P(xb, yb, 0), P(xb, 3, 100)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, s);
    QCOMPARE(c.empty(), !crosses);
    if (crosses) {
        // The shallow pair lies along the section (no single point); the
        // deep pair crosses halfway between the sticks.
        QCOMPARE(int(c[0].size()), 1);
        QCOMPARE(c[0][0].distance, float(0.5 * (xa + xb)));
        QCOMPARE(c[0][0].depth, 100.f);
    }
}

void TestSectionCore::crossingBeforeStartIsNegative()
{
    // The shallow points straddle the section at x = 1; the deep points'
    // line meets the section's line 5 m before its start.
    const Sticks s{{{P(1, -1, 0), P(-5, -1, 100)}, {P(1, 1, 0), P(-5, 1, 100)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, s);
    QCOMPARE(int(c.size()), 1);
    QCOMPARE(int(c[0].size()), 2);
    QCOMPARE(c[0][0].distance, 1.f);
    QCOMPARE(c[0][1].distance, -5.f);
    QCOMPARE(c[0][1].depth, 100.f);
}

void TestSectionCore::zeroLengthSectionHasNoCrossings()
{
    const Sticks s{{{P(0, -1, 0), P(0, -1, 100)}, {P(0, 1, 0), P(0, 1, 100)}}};
    QVERIFY(fault_crossings(0, 0, 0, 0, s).empty());
    QVERIFY(!segments_cross(0, 0, 0, 0, 0, -1, 0, 1));
    // A pair whose points coincide in plan gives no point but the others do.
    const Sticks t{{{P(5, 0, 0), P(5, -1, 100)}, {P(5, 0, 10), P(5, 1, 300)}}};
    const std::vector<Crossing> c = fault_crossings(0, 0, 10, 0, t);
    QCOMPARE(int(c.size()), 1);
    QCOMPARE(int(c[0].size()), 1);
    QCOMPARE(c[0][0].depth, 200.f);
}

QTEST_APPLESS_MAIN(TestSectionCore)
#include "tst_section_core.moc"
