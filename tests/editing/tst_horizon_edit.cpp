// The horizon-editing brush on small horizons: the Gaussian profile against
// its closed form, the node window, the grid edges, neighbouring horizons,
// refusals, and the density grid following the edited horizon.
#include <QtTest>

#include <cmath>
#include <limits>

#include "editing/horizon_brush.h"
#include "editing/layers.h"

using namespace horizon_brush;

namespace {

field2D constant(std::size_t ny, std::size_t nx, double v) { return field2D(ny, std::vector<double>(nx, v)); }

// Closed form of the brush: a Gaussian whose full width at half maximum is
// W semi-axes, A at the centre, nothing outside the ellipse.
double reference_shift(double X, double Y, const Brush& b)
{
    const double q = X * X / (b.rx * b.rx) + Y * Y / (b.ry * b.ry);
    if (q > 1)
        return 0;
    const double r = std::sqrt(q);  // distance in semi-axes
    return b.amplitude * std::pow(0.5, (r / (b.width / 2)) * (r / (b.width / 2)));
}

// 25 x 25 nodes spaced 50 m from (0, 0): top at 0, the edited horizon at
// 500 m and a deep one at 2000 m.
struct Flat {
    std::vector<field2D> horizons{constant(25, 25, 0), constant(25, 25, 500), constant(25, 25, 2000)};
    std::vector<double> params{25, 25, 0, 1200, 0, 1200};
    vector3D grid;  // no density grid: only the horizon moves
    std::vector<double> z;
};

std::vector<double> levels(int nz, double z0, double step)
{
    std::vector<double> z(nz);
    for (int k = 0; k < nz; ++k)
        z[k] = z0 + k * step;
    return z;
}

}  // namespace

class TestHorizonEdit : public QObject {
    Q_OBJECT

private slots:
    void weightIsTheClosedFormGaussian_data();
    void weightIsTheClosedFormGaussian();
    void windowAroundThePickedNode_data();
    void windowAroundThePickedNode();
    void stepMatchesClosedFormOnEveryNode_data();
    void stepMatchesClosedFormOnEveryNode();
    void centreAndEllipseEdge();
    void brushAtTheGridEdges_data();
    void brushAtTheGridEdges();
    void singleRowOrColumnHorizon();
    void neighboursAreNeverCrossed();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void refillOneNode();
    void refillStaysInsideTheGrid();
    void gridFollowsRaisedAndLoweredHorizons_data();
    void gridFollowsRaisedAndLoweredHorizons();
};

void TestHorizonEdit::weightIsTheClosedFormGaussian_data()
{
    QTest::addColumn<double>("q");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("expected");
    QTest::newRow("centre") << 0.0 << 0.5 << 1.0;
    QTest::newRow("half maximum at half the width") << 0.0625 << 0.5 << 0.5;
    QTest::newRow("half maximum, wide brush") << 0.25 << 1.0 << 0.5;
    QTest::newRow("edge of the ellipse") << 1.0 << 0.5 << std::pow(0.5, 16.0);
    QTest::newRow("outside") << 1.0000001 << 0.5 << 0.0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0.5 << 0.0;
    QTest::newRow("zero width") << 0.0 << 0.0 << 0.0;
}

void TestHorizonEdit::weightIsTheClosedFormGaussian()
{
    QFETCH(double, q);
    QFETCH(double, width);
    QFETCH(double, expected);
    const double w = brush_weight(q, width);
    QVERIFY2(std::fabs(w - expected) <= 1e-7 * std::max(1.0, expected) + 1e-300,
             qPrintable(QString("%1 vs %2").arg(w, 0, 'g', 17).arg(expected, 0, 'g', 17)));
}

void TestHorizonEdit::windowAroundThePickedNode_data()
{
    QTest::addColumn<int>("centre");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("spacing");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::newRow("inside") << 10 << 100.0 << 50.0 << 25 << 7 << 13;
    QTest::newRow("fractional reach") << 10 << 125.0 << 50.0 << 25 << 6 << 13;
    QTest::newRow("first node") << 0 << 100.0 << 50.0 << 25 << 0 << 3;
    QTest::newRow("last node") << 24 << 100.0 << 50.0 << 25 << 21 << 25;
    QTest::newRow("larger than the grid") << 3 << 1e9 << 50.0 << 5 << 0 << 5;
    QTest::newRow("descending nodes") << 10 << 100.0 << -50.0 << 25 << 7 << 13;
    QTest::newRow("no spacing") << 0 << 100.0 << 0.0 << 1 << 0 << 1;
}

void TestHorizonEdit::windowAroundThePickedNode()
{
    QFETCH(int, centre);
    QFETCH(double, radius);
    QFETCH(double, spacing);
    QFETCH(int, count);
    int begin = -1, end = -1;
    axis_window(centre, radius, spacing, count, begin, end);
    QTEST(begin, "begin");
    QTEST(end, "end");
}

void TestHorizonEdit::stepMatchesClosedFormOnEveryNode_data()
{
    QTest::addColumn<double>("rx");
    QTest::addColumn<double>("ry");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<int>("direction");
    QTest::addColumn<double>("cx");
    QTest::addColumn<double>("cy");
    QTest::newRow("round, down") << 100.0 << 100.0 << 0.5 << 10.0 << 1 << 500.0 << 500.0;
    QTest::newRow("round, up") << 100.0 << 100.0 << 0.5 << 10.0 << -1 << 500.0 << 500.0;
    QTest::newRow("elongated along x") << 180.0 << 60.0 << 1.0 << 7.0 << 1 << 500.0 << 500.0;
    QTest::newRow("elongated along y") << 40.0 << 260.0 << 0.8 << 7.0 << -1 << 500.0 << 500.0;
    QTest::newRow("centre between nodes") << 140.0 << 90.0 << 0.7 << 12.0 << 1 << 520.0 << 485.0;
    QTest::newRow("negative amplitude reverses") << 120.0 << 120.0 << 0.6 << -9.0 << 1 << 500.0 << 500.0;
}

void TestHorizonEdit::stepMatchesClosedFormOnEveryNode()
{
    QFETCH(double, rx);
    QFETCH(double, ry);
    QFETCH(double, width);
    QFETCH(double, amplitude);
    QFETCH(int, direction);
    QFETCH(double, cx);
    QFETCH(double, cy);
    Flat m;
    const Brush brush{rx, ry, width, amplitude};
    const Result r = apply_brush(m.horizons, m.params, 1, direction, brush, Centre{10, 10, cx, cy}, m.grid, m.z);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.blocked, 0);
    // Only the nodes within R / spacing + 1 of the picked node are looked at
    // (the centre normally sits on that node).
    auto inWindow = [](int i, double radius) {
        return i >= std::trunc(10 - (radius / 50 + 1)) && i < std::trunc(10 + radius / 50 + 1);
    };
    int inside = 0;
    for (int row = 0; row < 25; ++row)
        for (int col = 0; col < 25; ++col) {
            double expected = 500;
            if (inWindow(row, ry) && inWindow(col, rx))
                expected += direction * reference_shift(col * 50.0 - cx, row * 50.0 - cy, brush);
            if (expected != 500)
                ++inside;
            const double got = m.horizons[1][row][col];
            QVERIFY2(std::fabs(got - expected) <= 1e-6 * std::fabs(expected - 500) + 1e-12,
                     qPrintable(QString("node (%1, %2): %3 vs %4").arg(row).arg(col).arg(got, 0, 'g', 15)
                                    .arg(expected, 0, 'g', 15)));
        }
    QCOMPARE(r.moved, inside);
    QVERIFY(inside > 0);
    // The other horizons stay.
    QCOMPARE(m.horizons[0], constant(25, 25, 0));
    QCOMPARE(m.horizons[2], constant(25, 25, 2000));
}

void TestHorizonEdit::centreAndEllipseEdge()
{
    // Rx = Ry = 100 m on 50 m nodes, node (10, 10) picked exactly.
    Flat m;
    const Brush brush{100, 100, 0.5, 10};
    apply_brush(m.horizons, m.params, 1, +1, brush, Centre{10, 10, 500, 500}, m.grid, m.z);
    QCOMPARE(m.horizons[1][10][10], 510.0);  // the full amplitude at the centre
    const double s = 0.5 / 2.35482;
    const double edge = 10 * std::exp(-1 / (2 * s * s));
    QVERIFY(std::fabs(m.horizons[1][10][12] - 500 - edge) < 1e-12);  // q = 1 moves
    QVERIFY(std::fabs(edge - 0.00015) < 0.00001);
    QCOMPARE(m.horizons[1][11][12], 500.0);  // q = 1.25 does not
    QCOMPARE(m.horizons[1][10][13], 500.0);  // outside the window
    QCOMPARE(m.horizons[1][7][10], 500.0);   // in the window, outside the ellipse

    // A zero amplitude moves nothing.
    Flat still;
    const Result r = apply_brush(still.horizons, still.params, 1, -1, Brush{100, 100, 0.5, 0},
                                 Centre{10, 10, 500, 500}, still.grid, still.z);
    QCOMPARE(r.moved, 0);
    QCOMPARE(still.horizons[1], constant(25, 25, 500));
}

void TestHorizonEdit::brushAtTheGridEdges_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("radius");
    QTest::newRow("first corner") << 0 << 0 << 120.0;
    QTest::newRow("last corner") << 24 << 24 << 120.0;
    QTest::newRow("first row, middle") << 0 << 12 << 200.0;
    QTest::newRow("last column, middle") << 12 << 24 << 200.0;
    QTest::newRow("brush larger than the grid") << 3 << 20 << 5000.0;
}

void TestHorizonEdit::brushAtTheGridEdges()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(double, radius);
    Flat m;
    const Brush brush{radius, radius, 0.5, 10};
    const double cx = column * 50.0, cy = row * 50.0;
    const Result r = apply_brush(m.horizons, m.params, 1, +1, brush, Centre{row, column, cx, cy}, m.grid, m.z);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(m.horizons[1][row][column], 510.0);
    int inside = 0;
    for (int i = 0; i < 25; ++i)
        for (int j = 0; j < 25; ++j) {
            const double expected = 500 + reference_shift(j * 50.0 - cx, i * 50.0 - cy, brush);
            inside += expected != 500;
            QVERIFY(std::fabs(m.horizons[1][i][j] - expected) <= 1e-6 * (expected - 500) + 1e-12);
        }
    QCOMPARE(r.moved, inside);
}

void TestHorizonEdit::singleRowOrColumnHorizon()
{
    // One column: the node spacing along x is 0 and no division by zero happens.
    std::vector<field2D> h{constant(5, 1, 0), constant(5, 1, 300)};
    std::vector<double> params{1, 5, 100, 100, 0, 200};
    vector3D grid;
    std::vector<double> z;
    const Brush brush{100, 100, 0.5, 10};
    Result r = apply_brush(h, params, 1, +1, brush, Centre{2, 0, 100, 100}, grid, z);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(h[1][2][0], 310.0);
    QVERIFY(std::fabs(h[1][0][0] - 300 - 10 * std::pow(0.5, 16.0)) < 1e-9);  // q = 1
    QVERIFY(std::fabs(h[1][1][0] - 300 - 10 * std::pow(0.5, 4.0)) < 1e-6);   // q = 0.25
    for (const auto& row : h[1])
        QVERIFY(std::isfinite(row[0]));

    // One row.
    std::vector<field2D> g{constant(1, 4, 0), constant(1, 4, 300)};
    std::vector<double> gp{4, 1, 0, 150, 7, 7};
    r = apply_brush(g, gp, 1, -1, Brush{60, 60, 1, 4}, Centre{0, 1, 50, 7}, grid, z);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(g[1][0][1], 296.0);
    QVERIFY(std::fabs(g[1][0][2] - (300 - 4 * std::pow(0.5, 4.0 * (50.0 / 60) * (50.0 / 60)))) < 1e-6);
    QCOMPARE(g[1][0][3], 300.0);
}

void TestHorizonEdit::neighboursAreNeverCrossed()
{
    // Up with the horizon above 5 m shallower at a node and A = 10: that node stays.
    Flat m;
    m.horizons = {constant(25, 25, 0), constant(25, 25, 500), constant(25, 25, 600)};
    m.horizons[0][10][10] = 495;
    const Brush brush{100, 100, 0.5, 10};
    Result r = apply_brush(m.horizons, m.params, 1, -1, brush, Centre{10, 10, 500, 500}, m.grid, m.z);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.blocked, 1);
    QCOMPARE(m.horizons[1][10][10], 500.0);
    QVERIFY(m.horizons[1][10][11] < 500);  // the others move

    Flat d;
    d.horizons = {constant(25, 25, 0), constant(25, 25, 500), constant(25, 25, 600)};
    d.horizons[2][10][10] = 503;  // the horizon below 3 m deeper at the centre
    const double landing = 500 + 10 * brush_weight(0.25, 0.5);  // where node (11, 10) lands
    d.horizons[2][11][10] = landing;
    r = apply_brush(d.horizons, d.params, 1, +1, brush, Centre{10, 10, 500, 500}, d.grid, d.z);
    QCOMPARE(r.blocked, 1);
    QCOMPARE(d.horizons[1][10][10], 500.0);    // would pass the horizon below
    QCOMPARE(d.horizons[1][11][10], landing);  // equal depths are allowed
    QCOMPARE(d.horizons[1][10][11], landing);  // the same distance across

    // The last horizon has nothing below it.
    Flat last;
    r = apply_brush(last.horizons, last.params, 2, +1, Brush{100, 100, 0.5, 1e6}, Centre{5, 5, 250, 250},
                    last.grid, last.z);
    QCOMPARE(r.blocked, 0);
    QCOMPARE(last.horizons[2][5][5], 2000 + 1e6);
}

void TestHorizonEdit::refusalsChangeNothing_data()
{
    QTest::addColumn<int>("horizon");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("gridRows");
    QTest::addColumn<int>("status");
    QTest::newRow("the top horizon") << 0 << 10 << 10 << 0.5 << 0 << int(Status::BadHorizon);
    QTest::newRow("negative horizon") << -1 << 10 << 10 << 0.5 << 0 << int(Status::BadHorizon);
    QTest::newRow("past the last horizon") << 3 << 10 << 10 << 0.5 << 0 << int(Status::BadHorizon);
    QTest::newRow("row outside") << 1 << 25 << 10 << 0.5 << 0 << int(Status::BadNode);
    QTest::newRow("column outside") << 1 << 10 << -1 << 0.5 << 0 << int(Status::BadNode);
    QTest::newRow("zero width") << 1 << 10 << 10 << 0.0 << 0 << int(Status::BadBrush);
    QTest::newRow("width not a number") << 1 << 10 << 10 << std::numeric_limits<double>::quiet_NaN() << 0
                                        << int(Status::BadBrush);
    QTest::newRow("grid of other rows") << 1 << 10 << 10 << 0.5 << 24 << int(Status::GridMismatch);
}

void TestHorizonEdit::refusalsChangeNothing()
{
    QFETCH(int, horizon);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(double, width);
    QFETCH(int, gridRows);
    Flat m;
    if (gridRows > 0) {
        m.grid.assign(3, vector2D(gridRows, std::vector<data_type>(25, 1.0f)));
        m.z = levels(3, 0, 400);
    }
    const auto horizons = m.horizons;
    const auto grid = m.grid;
    const Result r =
        apply_brush(m.horizons, m.params, horizon, +1, Brush{100, 100, width, 10}, Centre{row, column, 500, 500},
                    m.grid, m.z);
    QTEST(int(r.status), "status");
    QCOMPARE(r.moved, 0);
    QCOMPARE(m.horizons, horizons);
    QCOMPARE(m.grid, grid);

    // One horizon only: a pick of horizon 1 finds nothing to edit.
    std::vector<field2D> alone{constant(2, 2, 0)};
    QCOMPARE(apply_brush(alone, std::vector<double>{2, 2, 0, 1, 0, 1}, 1, 1, Brush{}, Centre{0, 0, 0, 0}, m.grid,
                         m.z).status,
             Status::BadHorizon);
    // A geometry record too short to place the nodes.
    std::vector<field2D> two{constant(2, 2, 0), constant(2, 2, 5)};
    QCOMPARE(apply_brush(two, std::vector<double>{2, 2, 0, 1}, 1, 1, Brush{}, Centre{0, 0, 0, 0}, m.grid, m.z)
                 .status,
             Status::BadGeometry);
}

void TestHorizonEdit::refillOneNode()
{
    // z0 = 0, step 100; cells numbered by level.
    vector3D grid(8, vector2D(1, std::vector<data_type>(1)));
    for (int k = 0; k < 8; ++k)
        grid[k][0][0] = static_cast<data_type>(k);
    const std::vector<double> z = levels(8, 0, 100);

    // A node at 250 m lowered to 350 m: the cell at 300 m takes the cell at 200 m.
    refill_node(grid, z, 0, 0, 250, 350);
    std::vector<data_type> expected{0, 1, 2, 2, 4, 5, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);
    // Raised back to 250 m: the cell at 300 m takes the cell at 400 m.
    refill_node(grid, z, 0, 0, 350, 250);
    expected = {0, 1, 2, 4, 4, 5, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);
    // Lowered across several levels at once.
    refill_node(grid, z, 0, 0, 150, 520);
    expected = {0, 1, 1, 1, 1, 1, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);

    // Depths exactly on levels: a level at the horizon's depth lies below it.
    for (int k = 0; k < 8; ++k)
        grid[k][0][0] = static_cast<data_type>(k);
    refill_node(grid, z, 0, 0, 300, 350);  // the level at 300 m is passed
    expected = {0, 1, 2, 2, 4, 5, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);
    refill_node(grid, z, 0, 0, 350, 500);  // the level at 500 m stays below
    expected = {0, 1, 2, 2, 2, 5, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);
    refill_node(grid, z, 0, 0, 500, 200);  // raised onto a level: it goes below
    expected = {0, 1, 6, 6, 6, 6, 6, 7};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(grid[k][0][0], expected[k]);
}

void TestHorizonEdit::refillStaysInsideTheGrid()
{
    vector3D grid(4, vector2D(1, std::vector<data_type>(1)));
    for (int k = 0; k < 4; ++k)
        grid[k][0][0] = static_cast<data_type>(k + 1);
    const std::vector<double> z = levels(4, 0, 100);
    const vector3D before = grid;

    refill_node(grid, z, 0, 0, 450, 900);  // lowered below the grid: nothing to read
    QCOMPARE(grid, before);
    refill_node(grid, z, 0, 0, -300, -100);  // above the grid
    QCOMPARE(grid, before);
    refill_node(grid, z, 0, 0, 900, 150);  // raised from below the grid: the last level fills up
    QCOMPARE(grid[0][0][0], 1.0f);
    QCOMPARE(grid[1][0][0], 1.0f * 2);
    QCOMPARE(grid[2][0][0], 4.0f);
    QCOMPARE(grid[3][0][0], 4.0f);
    refill_node(grid, z, 0, 0, 50, -80);  // raised above the top: level 0 takes level 1
    QCOMPARE(grid[0][0][0], 2.0f);

    // A grid of one level.
    vector3D one(1, vector2D(1, std::vector<data_type>(1, 3.0f)));
    refill_node(one, {0.0}, 0, 0, 50, -20);
    refill_node(one, {0.0}, 0, 0, -20, 50);
    QCOMPARE(one[0][0][0], 3.0f);
}

void TestHorizonEdit::gridFollowsRaisedAndLoweredHorizons_data()
{
    QTest::addColumn<double>("amplitude");
    QTest::newRow("steps down then up") << 80.0;
    QTest::newRow("negative amplitude") << -80.0;
}

void TestHorizonEdit::gridFollowsRaisedAndLoweredHorizons()
{
    // Three layers on 12 x 10 nodes spaced 50 m, levels every 100 m from
    // 0 to 1100 m. After every brush step the edited grid must equal the
    // grid built afresh from the edited horizons (the layer walk).
    QFETCH(double, amplitude);
    const int nx = 12, ny = 10;
    std::vector<field2D> horizons{constant(ny, nx, 0), constant(ny, nx, 251), constant(ny, nx, 649)};
    for (int r = 0; r < ny; ++r)
        for (int c = 0; c < nx; ++c) {
            horizons[1][r][c] += 7.0 * r + 3.0 * c;  // tilted, never on a level
            horizons[2][r][c] -= 5.0 * c;
        }
    const std::vector<double> params{double(nx), double(ny), 0, 550, 0, 450};
    const std::vector<double> densities{1.9, 2.3, 2.7};
    layers::VerticalParams v{0, 1100, 100};
    layers::LayerGrid built;
    QCOMPARE(layers::build_grid_from_layers(horizons, params, densities, v, built), layers::BuildStatus::Ok);
    vector3D grid = built.cells;
    const std::vector<double> z = built.z;

    struct Step {
        int horizon, direction, row, column;
    };
    // Horizon 1 starts exactly on the 300 m level at node (7, 0).
    const Step steps[] = {{1, +1, 4, 5}, {1, +1, 4, 6}, {2, -1, 8, 1}, {1, -1, 2, 2}, {1, -1, 3, 3},
                          {2, +1, 8, 10}, {2, -1, 1, 9}, {1, +1, 7, 0}, {1, +1, 9, 0}, {2, +1, 0, 11}};
    int moved = 0;
    for (const Step& s : steps) {
        const Centre centre{s.row, s.column, s.column * 50.0, s.row * 50.0};
        const Result r = apply_brush(horizons, params, s.horizon, s.direction, Brush{160, 120, 0.9, amplitude},
                                     centre, grid, z);
        QCOMPARE(r.status, Status::Ok);
        moved += r.moved;
        layers::VerticalParams again{0, 1100, 100};
        layers::LayerGrid expected;
        QCOMPARE(layers::build_grid_from_layers(horizons, params, densities, again, expected),
                 layers::BuildStatus::Ok);
        for (std::size_t k = 0; k < z.size(); ++k)
            for (int r2 = 0; r2 < ny; ++r2)
                for (int c = 0; c < nx; ++c)
                    QVERIFY2(grid[k][r2][c] == expected.cells[k][r2][c],
                             qPrintable(QString("level %1 node (%2, %3): %4 vs %5")
                                            .arg(k).arg(r2).arg(c).arg(grid[k][r2][c])
                                            .arg(expected.cells[k][r2][c])));
    }
    QVERIFY(moved > 50);
}

QTEST_APPLESS_MAIN(TestHorizonEdit)
#include "tst_horizon_edit.moc"
