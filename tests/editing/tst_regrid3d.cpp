// Resampling of cubes onto a new lattice: nearest node horizontally, the
// level at or above vertically (a level a rounding error short of a node
// being that node), border nodes repeated outside the old lattice, node
// counts and crop indexes of the new lattice, and the identity onto the
// lattice a cube already has.
#include "editing/regrid3d.h"
#include "test_nodes.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// A cube whose value tells its own level, row and column: 10000 * level +
// 100 * row + column.
vector3D indexed(int nx, int ny, int nz)
{
    vector3D g(static_cast<std::size_t>(nz),
               vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                g[k][j][i] = static_cast<data_type>(10000 * k + 100 * j + i);
    return g;
}

// Source (level, row, column) read back from an indexed cube's value.
int level_of(data_type v) { return static_cast<int>(v) / 10000; }
int row_of(data_type v) { return (static_cast<int>(v) % 10000) / 100; }
int column_of(data_type v) { return static_cast<int>(v) % 100; }

}  // namespace

class TestRegrid3d : public QObject {
    Q_OBJECT

private slots:
    void axisCount_data();
    void axisCount();
    void checkParams_data();
    void checkParams();
    void sourceColumns_data();
    void sourceColumns();
    void sourceLevels_data();
    void sourceLevels();
    void coarserAndFinerCube();
    void levelRoundingShortOfNodeIsThatNode();
    void sameLatticeKeepsValues();
    void sameLatticeIsIdentity_data();
    void sameLatticeIsIdentity();
    void snappedMaximum_data();
    void snappedMaximum();
    void shownStep_data();
    void shownStep();
    void levelValuesFollowTheirLevels();
    void singleOldNodeServesEveryNewNode();
    void newNodesAreIndexTimesStep();
    void progressPerLevel();
    void refusals();
    void cropIndexes_data();
    void cropIndexes();
};

void TestRegrid3d::axisCount_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("0..1000 by 300") << 0.0 << 1000.0 << 300.0 << 4;
    QTest::newRow("0..1000 by 5") << 0.0 << 1000.0 << 5.0 << 201;
    QTest::newRow("one node") << 10.0 << 10.0 << 5.0 << 1;
    QTest::newRow("max a bit below a node") << 0.0 << 99.999 << 10.0 << 10;
    QTest::newRow("max a rounding error below a node") << 0.0 << 100.0 - 1e-9 << 10.0 << 11;
    QTest::newRow("dx 25, 4 columns") << 6512345.5 << 6512420.5 << 25.0 << 4;
    QTest::newRow("dz 24.691224, 5 levels") << 1234.5612 << 1234.5612 + 4 * 24.691224 << 24.691224 << 5;
    QTest::newRow("0.7 by 0.1") << 0.0 << 0.7 << 0.1 << 8;
    QTest::newRow("max below min") << 0.0 << -50.0 << 10.0 << -4;
    QTest::newRow("descending step") << 1000.0 << 0.0 << -5.0 << 201;
    QTest::newRow("step 0") << 0.0 << 1000.0 << 0.0 << 0;
    QTest::newRow("infinite max") << 0.0 << inf << 1.0 << 0;
    QTest::newRow("NaN step") << 0.0 << 1.0 << nan << 0;
    QTest::newRow("beyond int") << 0.0 << 1e12 << 1e-3 << 0;
}

void TestRegrid3d::axisCount()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, step);
    QFETCH(int, count);
    QCOMPARE(regrid::axis_count(min, max, step), count);
}

void TestRegrid3d::checkParams_data()
{
    QTest::addColumn<std::vector<double>>("params");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::vector<int>>("counts");
    using S = regrid::ParamsStatus;
    QTest::newRow("ok") << std::vector<double>{0, 1000, 100, 0, 500, 50, 0, 90, 10} << int(S::Ok)
                        << std::vector<int>{11, 11, 10};
    QTest::newRow("one node per axis") << std::vector<double>{5, 5, 1, 5, 5, 1, 5, 5, 1} << int(S::Ok)
                                       << std::vector<int>{1, 1, 1};
    QTest::newRow("eight values") << std::vector<double>{0, 1000, 100, 0, 500, 50, 0, 90} << int(S::ShortRecord)
                                  << std::vector<int>{};
    QTest::newRow("step 0") << std::vector<double>{0, 1000, 0, 0, 500, 50, 0, 90, 10} << int(S::BadValue)
                            << std::vector<int>{};
    QTest::newRow("negative dz") << std::vector<double>{0, 1000, 100, 0, 500, 50, 90, 0, -10} << int(S::BadValue)
                                 << std::vector<int>{};
    QTest::newRow("max below min") << std::vector<double>{0, -200, 100, 0, 500, 50, 0, 90, 10} << int(S::BadValue)
                                   << std::vector<int>{};
    QTest::newRow("NaN") << std::vector<double>{0, 1000, 100, std::nan(""), 500, 50, 0, 90, 10}
                         << int(S::BadValue) << std::vector<int>{};
    QTest::newRow("too many cells") << std::vector<double>{0, 1e5, 1, 0, 1e5, 1, 0, 1e3, 1} << int(S::TooLarge)
                                    << std::vector<int>{};
}

void TestRegrid3d::checkParams()
{
    QFETCH(std::vector<double>, params);
    QFETCH(int, status);
    QFETCH(std::vector<int>, counts);
    int nx = -7, ny = -7, nz = -7;
    QCOMPARE(int(regrid::check_regrid_params(params, nx, ny, nz)), status);
    if (counts.empty()) {
        QCOMPARE(nx, -7);
        QVERIFY(regrid::regrid_geometry(params).empty());
    } else {
        QCOMPARE((std::vector<int>{nx, ny, nz}), counts);
        QCOMPARE(regrid::regrid_geometry(params),
                 (std::vector<double>{double(nx), double(ny), params[0], params[1], params[3], params[4]}));
    }
}

// Old x nodes 0, 100, 200, 300, 400; one new node per row at `position`.
void TestRegrid3d::sourceColumns_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("column");
    QTest::newRow("on a node") << 200.0 << 2;
    QTest::newRow("just below half step") << 149.9 << 1;
    QTest::newRow("exact half step goes up") << 150.0 << 2;
    QTest::newRow("just above a node") << 100.1 << 1;
    QTest::newRow("before the first node") << -300.0 << 0;
    QTest::newRow("half step before the first") << -50.0 << 0;
    QTest::newRow("past the last node") << 449.0 << 4;
    QTest::newRow("far past the last node") << 5000.0 << 4;
}

void TestRegrid3d::sourceColumns()
{
    QFETCH(double, position);
    QFETCH(int, column);
    const vector3D cube = indexed(5, 1, 1);
    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, nodes(5, 0, 100), {0}, {0}, {position, position, 1, 0, 0, 1, 0, 0, 1}, out));
    QCOMPARE(out.cells.size(), std::size_t(1));
    QCOMPARE(out.cells[0][0].size(), std::size_t(1));
    QCOMPARE(column_of(out.cells[0][0][0]), column);
}

// Old z nodes 0, 100, 200: a new level takes the old level at or above it.
void TestRegrid3d::sourceLevels_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("level");
    QTest::newRow("on a level") << 100.0 << 1;
    QTest::newRow("half way") << 150.0 << 1;
    QTest::newRow("just above the next") << 199.99 << 1;
    QTest::newRow("above the first") << -80.0 << 0;
    QTest::newRow("far below the last") << 900.0 << 2;
}

void TestRegrid3d::sourceLevels()
{
    QFETCH(double, depth);
    QFETCH(int, level);
    const vector3D cube = indexed(1, 1, 3);
    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, {0}, {0}, nodes(3, 0, 100), {0, 0, 1, 0, 0, 1, depth, depth, 1}, out));
    QCOMPARE(level_of(out.cells[0][0][0]), level);
}

// A 5 x 4 x 3 cube (x 0..400 by 100, y 0..300 by 100, z 0..200 by 100)
// onto a coarser and onto a finer lattice, checked cell by cell against the
// source indexes worked out by hand.
void TestRegrid3d::coarserAndFinerCube()
{
    const vector3D cube = indexed(5, 4, 3);
    std::vector<double> x = nodes(5, 0, 100), y = nodes(4, 0, 100), z = nodes(3, 0, 100);

    // Coarser: x 0, 200, 400; y -100, 150; z 0, 150.
    {
        regrid::RegriddedCube out;
        QVERIFY(regrid::resample_cube(cube, x, y, z, {0, 400, 200, -100, 150, 250, 0, 150, 150}, out));
        const int cols[] = {0, 2, 4};   // (0+50)/100, (200+50)/100, (400+50)/100
        const int rows[] = {0, 2};      // -100 clamps to 0; (150+50)/100 = 2
        const int levels[] = {0, 1};    // 0/100, 150/100
        QCOMPARE(out.cells.size(), std::size_t(2));
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(out.cells[k].size(), std::size_t(2));
            for (int j = 0; j < 2; ++j) {
                QCOMPARE(out.cells[k][j].size(), std::size_t(3));
                for (int i = 0; i < 3; ++i)
                    QCOMPARE(out.cells[k][j][i], cube[levels[k]][rows[j]][cols[i]]);
            }
        }
        QCOMPARE(out.x, (std::vector<double>{0, 200, 400}));
        QCOMPARE(out.y, (std::vector<double>{-100, 150}));
        QCOMPARE(out.z, (std::vector<double>{0, 150}));
    }

    // Finer: x 0..400 by 50, y 250..350 by 50 (partly beyond the last row),
    // z 0..250 by 50 (the last new level below the last old one).
    {
        regrid::RegriddedCube out;
        QVERIFY(regrid::resample_cube(cube, x, y, z, {0, 400, 50, 250, 350, 50, 0, 250, 50}, out));
        const int cols[] = {0, 1, 1, 2, 2, 3, 3, 4, 4};
        const int rows[] = {3, 3, 3};       // (250+50)/100 = 3; beyond: the last row
        const int levels[] = {0, 0, 1, 1, 2, 2};
        QCOMPARE(out.cells.size(), std::size_t(6));
        for (int k = 0; k < 6; ++k)
            for (int j = 0; j < 3; ++j) {
                QCOMPARE(out.cells[k][j].size(), std::size_t(9));
                for (int i = 0; i < 9; ++i)
                    QCOMPARE(out.cells[k][j][i], cube[levels[k]][rows[j]][cols[i]]);
            }
    }

    // A lattice wholly beyond one side repeats that side's border throughout.
    {
        regrid::RegriddedCube out;
        QVERIFY(regrid::resample_cube(cube, x, y, z, {1000, 1200, 100, -900, -700, 100, 500, 700, 100}, out));
        for (const auto& level : out.cells)
            for (const auto& row : level)
                for (data_type v : row)
                    QCOMPARE(v, cube[2][0][4]);
    }
}

void TestRegrid3d::levelRoundingShortOfNodeIsThatNode()
{
    // Old levels 0, 0.1, 0.2, 0.3; a new level a rounding error short of 0.3
    // is level 3 (not the level above it), and so is its column.
    const vector3D cube = indexed(4, 1, 4);
    const double short_of = 0.3 - 1e-12;
    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, nodes(4, 0, 0.1), {0}, nodes(4, 0, 0.1),
                                  {short_of, short_of, 1, 0, 0, 1, short_of, short_of, 1}, out));
    QCOMPARE(level_of(out.cells[0][0][0]), 3);
    QCOMPARE(column_of(out.cells[0][0][0]), 3);
    QCOMPARE(out.source_levels, std::vector<int>{3});
    // A thousandth of a step short is a real position: still the level above.
    QVERIFY(regrid::resample_cube(cube, nodes(4, 0, 0.1), {0}, nodes(4, 0, 0.1), {0, 0, 1, 0, 0, 1, 0.2999, 0.2999, 1}, out));
    QCOMPARE(level_of(out.cells[0][0][0]), 2);
}

void TestRegrid3d::sameLatticeKeepsValues()
{
    vector3D cube = indexed(6, 5, 4);
    const vector3D before = cube;
    std::vector<double> x = nodes(6, 512340.5, 25), y = nodes(5, 7000, 40), z = nodes(4, 10, 20);
    const std::vector<double> params{x.front(), x.back(), 25, y.front(), y.back(), 40, z.front(), z.back(), 20};
    const std::vector<double> x0 = x, y0 = y, z0 = z;
    QVERIFY(regrid::regrid_3d(cube, x, y, z, params));
    QCOMPARE(cube, before);
    QCOMPARE(x, x0);
    QCOMPARE(y, y0);
    QCOMPARE(z, z0);
}

// A regrid onto the lattice the cube already has, with non-round steps and
// 7-digit coordinates: the resampler takes every cell from its own node, and
// regrid_3d leaves cells and nodes exactly as they were.
void TestRegrid3d::sameLatticeIsIdentity_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    QTest::newRow("dz 24.691224 from 1234.5612") << 6512345.5 << 25.0 << 512345.5 << 100.02 << 1234.5612 << 24.691224;
    QTest::newRow("dz 0.7 from 0") << 6512345.5 << 24.691224 << 512345.5 << 0.7 << 0.0 << 0.7;
    QTest::newRow("dz 100.02 from 12.5") << 512345.5 << 100.02 << 6512345.5 << 25.0 << 12.5 << 100.02;
    QTest::newRow("dz 0.1 from -0.3") << 6512345.5 << 0.1 << 512345.5 << 0.3 << -0.3 << 0.1;
}

void TestRegrid3d::sameLatticeIsIdentity()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(double, y0);
    QFETCH(double, dy);
    QFETCH(double, z0);
    QFETCH(double, dz);
    const int nx = 4, ny = 5, nz = 40;
    const vector3D cube = indexed(nx, ny, nz);
    const std::vector<double> x = nodes(nx, x0, dx), y = nodes(ny, y0, dy), z = nodes(nz, z0, dz);
    // The record as the regrid dialog sends it back: first and last nodes
    // and the step, each read back from its shortest text.
    const std::vector<double> params{x.front(), x.back(), dx, y.front(), y.back(), dy, z.front(), z.back(), dz};
    int cx = 0, cy = 0, cz = 0;
    QCOMPARE(regrid::check_regrid_params(params, cx, cy, cz), regrid::ParamsStatus::Ok);
    QCOMPARE((std::vector<int>{cx, cy, cz}), (std::vector<int>{nx, ny, nz}));
    QVERIFY(regrid::cube_on_lattice(cube, x, y, z, params));

    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, x, y, z, params, out));
    QCOMPARE(out.cells, cube);
    std::vector<int> levels(nz);
    for (int k = 0; k < nz; ++k)
        levels[k] = k;
    QCOMPARE(out.source_levels, levels);
    for (int k = 0; k < nz; ++k)
        QVERIFY(std::fabs(out.z[k] - z[k]) <= 1e-9 * dz);

    vector3D in_place = cube;
    std::vector<double> xi = x, yi = y, zi = z;
    QVERIFY(regrid::regrid_3d(in_place, xi, yi, zi, params));
    QCOMPARE(in_place, cube);
    QCOMPARE(xi, x);
    QCOMPARE(yi, y);
    QCOMPARE(zi, z);

    // One level more below: the old levels keep their places.
    std::vector<double> deeper = params;
    deeper[7] = z.back() + dz;
    QVERIFY(!regrid::cube_on_lattice(cube, x, y, z, deeper));
    QVERIFY(regrid::resample_cube(cube, x, y, z, deeper, out));
    QCOMPARE(out.cells.size(), std::size_t(nz + 1));
    for (int k = 0; k < nz; ++k)
        QCOMPARE(out.cells[k], cube[k]);
    QCOMPARE(out.cells[nz], cube[nz - 1]);
}

void TestRegrid3d::snappedMaximum_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("snapped");
    QTest::newRow("0..1000 by 300") << 0.0 << 1000.0 << 300.0 << 4 << 900.0;
    QTest::newRow("on a node stays as typed") << 1234.5612 << 1234.5612 + 3 * 24.691224 << 24.691224 << 4
                                              << 1234.5612 + 3 * 24.691224;
    QTest::newRow("dx 25, 4 columns") << 6512345.5 << 6512420.5 << 25.0 << 4 << 6512420.5;
    QTest::newRow("0.3 by 0.1") << 0.0 << 0.3 << 0.1 << 4 << 0.3;
}

void TestRegrid3d::snappedMaximum()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(double, snapped);
    QCOMPARE(regrid::axis_count(min, max, step), count);
    QCOMPARE(regrid::snapped_max(min, max, step, count), snapped);
}

void TestRegrid3d::shownStep_data()
{
    QTest::addColumn<std::vector<double>>("axis");
    QTest::addColumn<double>("shown");
    QTest::newRow("24.691224 from 1234.5612") << nodes(40, 1234.5612, 24.691224) << 24.691224;
    QTest::newRow("24.691224 from 6512345.5") << nodes(1000, 6512345.5, 24.691224) << 24.691224;
    QTest::newRow("0.7") << nodes(300, 0, 0.7) << 0.7;
    QTest::newRow("100.02") << nodes(12, 512345.5, 100.02) << 100.02;
    QTest::newRow("25") << nodes(4, 6512345.5, 25) << 25.0;
    QTest::newRow("24.691224, 4 nodes from 6512345.5") << nodes(4, 6512345.5, 24.691224) << 24.691224;
    QTest::newRow("one node") << std::vector<double>{12.5} << 0.0;
}

void TestRegrid3d::shownStep()
{
    QFETCH(std::vector<double>, axis);
    QFETCH(double, shown);
    const double raw = axis.size() > 1 ? axis[1] - axis[0] : 0.0;
    const double step = regrid::shown_step(axis.front(), axis.back(), int(axis.size()), raw);
    QCOMPARE(step, shown);
    // The step shown gives the axis's own count and last node.
    if (axis.size() > 1) {
        const int n = regrid::axis_count(axis.front(), axis.back(), step);
        QCOMPARE(n, int(axis.size()));
        QCOMPARE(regrid::snapped_max(axis.front(), axis.back(), step, n), axis.back());
    }
    // Irregular nodes: the step of the first two nodes, unchanged.
    QCOMPARE(regrid::shown_step(0, 1000, 4, 300.000001), 300.000001);
}

// Per-level values (the regularizer's level offsets) follow the levels the
// resampler took.
void TestRegrid3d::levelValuesFollowTheirLevels()
{
    const vector3D cube = indexed(1, 1, 3);
    regrid::RegriddedCube out;
    // New levels 5, 15, 25, 35 over old 0, 10, 20: levels 0, 1, 2, 2.
    QVERIFY(regrid::resample_cube(cube, {0}, {0}, nodes(3, 0, 10), {0, 0, 1, 0, 0, 1, 5, 35, 10}, out));
    QCOMPARE(out.source_levels, (std::vector<int>{0, 1, 2, 2}));
    QCOMPARE(regrid::resample_levels({0.1, 0.2, 0.3}, out.source_levels), (std::vector<double>{0.1, 0.2, 0.3, 0.3}));
    QVERIFY(regrid::resample_levels({0.1, 0.2}, out.source_levels).empty());
}

void TestRegrid3d::singleOldNodeServesEveryNewNode()
{
    // One column, one row and one level: every new node takes it.
    vector3D cube(1, vector2D(1, std::vector<data_type>(1, 2.5f)));
    std::vector<double> x{100}, y{200}, z{300};
    QVERIFY(regrid::regrid_3d(cube, x, y, z, {0, 300, 100, 0, 200, 100, 0, 600, 200}));
    QCOMPARE(cube.size(), std::size_t(4));
    for (const auto& level : cube) {
        QCOMPARE(level.size(), std::size_t(3));
        for (const auto& row : level) {
            QCOMPARE(row.size(), std::size_t(4));
            for (data_type v : row)
                QCOMPARE(v, 2.5f);
        }
    }
}

void TestRegrid3d::newNodesAreIndexTimesStep()
{
    vector3D cube = indexed(3, 3, 3);
    std::vector<double> x = nodes(3, 0, 1), y = nodes(3, 0, 1), z = nodes(3, 0, 1);
    QVERIFY(regrid::regrid_3d(cube, x, y, z, {0.1, 2.15, 0.1, -0.3, 0.35, 0.2, 0.05, 1.2, 0.35}));
    QCOMPARE(x.size(), std::size_t(21));
    for (std::size_t i = 0; i < x.size(); ++i)
        QCOMPARE(x[i], double(i) * 0.1 + 0.1);  // not a running sum
    QCOMPARE(y, (std::vector<double>{0 * 0.2 - 0.3, 1 * 0.2 - 0.3, 2 * 0.2 - 0.3, 3 * 0.2 - 0.3}));
    QCOMPARE(z, (std::vector<double>{0.05, 0.35 + 0.05, 2 * 0.35 + 0.05, 3 * 0.35 + 0.05}));
    QCOMPARE(cube.size(), z.size());
    QCOMPARE(cube[0].size(), y.size());
    QCOMPARE(cube[0][0].size(), x.size());
}

void TestRegrid3d::progressPerLevel()
{
    const vector3D cube = indexed(2, 2, 2);
    std::vector<int> seen;
    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, {0, 1}, {0, 1}, {0, 1}, {0, 1, 1, 0, 1, 1, 0, 0.75, 0.25}, out,
                                  [&seen](int percent) { seen.push_back(percent); }));
    QCOMPARE(seen, (std::vector<int>{0, 25, 50, 75}));
}

void TestRegrid3d::refusals()
{
    const std::vector<double> params{0, 2, 1, 0, 2, 1, 0, 2, 1};
    regrid::RegriddedCube out;
    out.x = {42};

    // Empty cube: nothing happens.
    vector3D empty;
    std::vector<double> x{0, 1}, y{0, 1}, z{0, 1};
    QVERIFY(!regrid::regrid_3d(empty, x, y, z, params));
    QVERIFY(empty.empty());
    QCOMPARE(x, (std::vector<double>{0, 1}));

    // Ragged cube.
    vector3D ragged = indexed(2, 2, 2);
    ragged[1][1].pop_back();
    QVERIFY(!regrid::resample_cube(ragged, x, y, z, params, out));

    // Node vectors shorter than the cube's axes.
    QVERIFY(!regrid::resample_cube(indexed(3, 2, 2), x, y, z, params, out));

    // A record the lattice check refuses.
    QVERIFY(!regrid::resample_cube(indexed(2, 2, 2), x, y, z, {0, 2, 0, 0, 2, 1, 0, 2, 1}, out));
    QVERIFY(!regrid::resample_cube(indexed(2, 2, 2), x, y, z, {0, 2, 1, 0, 2, 1, 0, 2}, out));

    QCOMPARE(out.x, (std::vector<double>{42}));
    QVERIFY(out.cells.empty());
}

void TestRegrid3d::cropIndexes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("oldFirst");
    QTest::addColumn<double>("oldStep");
    QTest::addColumn<double>("newMin");
    QTest::addColumn<double>("newStep");
    QTest::addColumn<int>("mapped");
    QTest::newRow("right 50 at x 500, step 20") << 50 << 0.0 << 10.0 << 0.0 << 20.0 << 25;
    QTest::newRow("left 0, new min 100") << 0 << 0.0 << 10.0 << 100.0 << 20.0 << -5;
    QTest::newRow("same lattice") << 7 << 1000.0 << 25.0 << 1000.0 << 25.0 << 7;
    QTest::newRow("same lattice, dz 24.691224") << 1 << 1234.5612 << 24.691224 << 1234.5612 << 24.691224 << 1;
    QTest::newRow("same lattice, dz 0.7") << 3 << 0.0 << 0.7 << 0.0 << 0.7 << 3;
    QTest::newRow("finer") << 3 << 0.0 << 100.0 << 0.0 << 30.0 << 10;
    QTest::newRow("not set stays unset") << -1 << 0.0 << 10.0 << -500.0 << 20.0 << -1;
    QTest::newRow("far beyond int") << 1000 << 0.0 << 1e9 << 0.0 << 1e-3 << std::numeric_limits<int>::max();
}

void TestRegrid3d::cropIndexes()
{
    QFETCH(int, index);
    QFETCH(double, oldFirst);
    QFETCH(double, oldStep);
    QFETCH(double, newMin);
    QFETCH(double, newStep);
    QFETCH(int, mapped);
    QCOMPARE(regrid::map_crop_index(index, oldFirst, oldStep, newMin, newStep), mapped);
}

QTEST_GUILESS_MAIN(TestRegrid3d)
#include "tst_regrid3d.moc"
