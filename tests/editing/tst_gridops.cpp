// New grids from a lattice record, cube arithmetic, level means and minima,
// shifts to zero and the five gradients, checked against hand values and
// closed-form derivatives.
#include "editing/cube_arithmetic.h"
#include "editing/gradients3d.h"
#include "editing/new_grid.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

Q_DECLARE_METATYPE(std::vector<double>)

using namespace gridops;

namespace {

// nz levels of ny rows of nx cells holding f(level, row, column).
vector3D make_cube(std::size_t nz, std::size_t ny, std::size_t nx,
                   const std::function<double(std::size_t, std::size_t, std::size_t)>& f)
{
    vector3D g(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (std::size_t i = 0; i < nz; ++i)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t k = 0; k < nx; ++k)
                g[i][j][k] = static_cast<data_type>(f(i, j, k));
    return g;
}

vector3D constant_cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

double level_mean(const vector2D& level)
{
    double s = 0;
    std::size_t n = 0;
    for (const auto& row : level)
        for (float v : row) {
            s += v;
            ++n;
        }
    return s / double(n);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

class TestGridOps : public QObject {
    Q_OBJECT

private slots:
    // New grids
    void axisNodes_data();
    void axisNodes();
    void newGridDefaults();
    void newGridDensityRamp();
    void newGridRefusals_data();
    void newGridRefusals();
    void newGridEmptyAxes();
    void newGridSingleLevel();

    // Arithmetic with a cube
    void cubeOps_data();
    void cubeOps();
    void addThenSubtractRestores();
    void otherExtentSameCounts();
    void mismatchRefused_data();
    void mismatchRefused();
    void divisionByZeroRefused();

    // Level operations
    void addLevelMeans();
    void addLevelMeansRefusals();
    void replaceByMeansThenRemoveMeans();
    void removeLevelMeans();
    void removeLevelMinima();
    void levelOpsSkipEmptyLevels();
    void fillZeros();
    void shiftsToZero();

    // Gradients
    void differences_data();
    void differences();
    void linearFieldMagnitudes_data();
    void linearFieldMagnitudes();
    void quadraticFieldMagnitudes();
    void horizontalOfLevelConstantGrid();
    void gradientRefusals_data();
    void gradientRefusals();
};

// ---------------------------------------------------------------------------
// New grids

void TestGridOps::axisNodes_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("last");
    QTest::newRow("0..1000 by 5") << 0.0 << 1000.0 << 5.0 << 201 << 1000.0;
    QTest::newRow("0..300 by 5") << 0.0 << 300.0 << 5.0 << 61 << 300.0;
    QTest::newRow("max between nodes") << 0.0 << 12.0 << 5.0 << 3 << 10.0;
    QTest::newRow("single node") << 7.0 << 7.0 << 5.0 << 1 << 7.0;
    QTest::newRow("negative start") << -100.0 << 100.0 << 50.0 << 5 << 100.0;
    QTest::newRow("min above max") << 10.0 << 0.0 << 1.0 << 0 << 0.0;
    QTest::newRow("zero step") << 0.0 << 10.0 << 0.0 << 0 << 0.0;
    QTest::newRow("negative step") << 0.0 << 10.0 << -1.0 << 0 << 0.0;
    QTest::newRow("infinite max") << 0.0 << kInf << 1.0 << 0 << 0.0;
    QTest::newRow("NaN min") << kNaN << 10.0 << 1.0 << 0 << 0.0;
    // A step lost in the rounding of a huge coordinate ends the walk.
    QTest::newRow("huge coordinate") << 1e20 << 1e20 << 1.0 << 1 << 1e20;
}

void TestGridOps::axisNodes()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(double, last);
    const std::vector<double> nodes = axis_nodes(min, max, step);
    QCOMPARE(int(nodes.size()), count);
    if (count > 0) {
        QCOMPARE(nodes.front(), min);
        QCOMPARE(nodes.back(), last);
    }
    // The running sum: every node is the previous one plus the step.
    for (std::size_t i = 1; i < nodes.size(); ++i)
        QCOMPARE(nodes[i], nodes[i - 1] + step);
}

void TestGridOps::newGridDefaults()
{
    NewGrid g;
    QCOMPARE(build_new_grid({0, 1000, 5, 0, 1000, 5, 0, 300, 5, 0, 0}, g), NewGridStatus::Ok);
    QCOMPARE(g.x.size(), std::size_t(201));
    QCOMPARE(g.y.size(), std::size_t(201));
    QCOMPARE(g.z.size(), std::size_t(61));
    QCOMPARE(g.cells.size(), std::size_t(61));
    for (const auto& level : g.cells) {
        QCOMPARE(level.size(), std::size_t(201));
        for (const auto& row : level) {
            QCOMPARE(row.size(), std::size_t(201));
            for (float v : row)
                QCOMPARE(v, 0.0f);
        }
    }
    QCOMPARE(g.x[1], 5.0);
    QCOMPARE(g.z.back(), 300.0);
}

void TestGridOps::newGridDensityRamp()
{
    NewGrid g;
    QCOMPARE(build_new_grid({0, 10, 5, 0, 10, 5, 0, 300, 5, 2.0, 2.6}, g), NewGridStatus::Ok);
    QCOMPARE(g.cells.size(), std::size_t(61));
    for (std::size_t t = 0; t < g.cells.size(); ++t) {
        const float expected = static_cast<float>(double(t) * (2.6 - 2.0) / 60.0 + 2.0);
        for (const auto& row : g.cells[t])
            for (float v : row)
                QCOMPARE(v, expected);
    }
    QCOMPARE(g.cells.front()[0][0], 2.0f);
    QCOMPARE(g.cells.back()[2][2], 2.6f);
    QVERIFY(std::fabs(g.cells[1][0][0] - 2.01f) < 1e-6f);

    // Densities falling with depth.
    QCOMPARE(build_new_grid({0, 10, 5, 0, 10, 5, 0, 20, 10, 3.0, 1.0}, g), NewGridStatus::Ok);
    QCOMPARE(g.cells.size(), std::size_t(3));
    QCOMPARE(g.cells[0][0][0], 3.0f);
    QCOMPARE(g.cells[1][0][0], 2.0f);
    QCOMPARE(g.cells[2][0][0], 1.0f);
}

void TestGridOps::newGridRefusals_data()
{
    QTest::addColumn<std::vector<double>>("record");
    QTest::addColumn<int>("status");
    QTest::newRow("ten values") << std::vector<double>{0, 10, 5, 0, 10, 5, 0, 10, 5, 0} << int(NewGridStatus::ShortRecord);
    QTest::newRow("zero x step") << std::vector<double>{0, 10, 0, 0, 10, 5, 0, 10, 5, 0, 0} << int(NewGridStatus::BadStep);
    QTest::newRow("negative y step") << std::vector<double>{0, 10, 5, 0, 10, -5, 0, 10, 5, 0, 0}
                                     << int(NewGridStatus::BadStep);
    QTest::newRow("zero z step") << std::vector<double>{0, 10, 5, 0, 10, 5, 0, 10, 0, 0, 0} << int(NewGridStatus::BadStep);
    QTest::newRow("infinite max") << std::vector<double>{0, kInf, 5, 0, 10, 5, 0, 10, 5, 0, 0}
                                  << int(NewGridStatus::NotFinite);
    QTest::newRow("NaN density") << std::vector<double>{0, 10, 5, 0, 10, 5, 0, 10, 5, kNaN, 0}
                                 << int(NewGridStatus::NotFinite);
    QTest::newRow("tiny steps") << std::vector<double>{0, 1000, 1e-3, 0, 1000, 1e-3, 0, 1000, 1e-3, 0, 0}
                                << int(NewGridStatus::TooLarge);
    QTest::newRow("x max 1e16") << std::vector<double>{0, 1e16, 1e15, 0, 10, 5, 0, 10, 5, 0, 0}
                                << int(NewGridStatus::FarCoordinate);
    QTest::newRow("z min just beyond the limit")
        << std::vector<double>{0, 10, 5, 0, 10, 5, -1.0000001e15, 10, 5e14, 0, 0} << int(NewGridStatus::FarCoordinate);
}

void TestGridOps::newGridRefusals()
{
    QFETCH(std::vector<double>, record);
    QFETCH(int, status);
    NewGrid g;
    g.x = {42};
    QCOMPARE(int(build_new_grid(record, g)), status);
    QCOMPARE(g.x, std::vector<double>{42});  // untouched
}

void TestGridOps::newGridEmptyAxes()
{
    NewGrid g;
    // maxX below minX: levels of rows without cells.
    QCOMPARE(build_new_grid({100, 0, 5, 0, 10, 5, 0, 10, 5, 1, 1}, g), NewGridStatus::Ok);
    QVERIFY(g.x.empty());
    QCOMPARE(g.cells.size(), std::size_t(3));
    QCOMPARE(g.cells[0].size(), std::size_t(3));
    QVERIFY(g.cells[0][0].empty());
    // No level at all.
    QCOMPARE(build_new_grid({0, 10, 5, 0, 10, 5, 50, 10, 5, 1, 1}, g), NewGridStatus::Ok);
    QVERIFY(g.cells.empty());
    QVERIFY(g.z.empty());
    QCOMPARE(g.x.size(), std::size_t(3));
}

void TestGridOps::newGridSingleLevel()
{
    NewGrid g;
    QCOMPARE(build_new_grid({0, 10, 5, 0, 10, 5, 100, 100, 5, 2.2, 2.7}, g), NewGridStatus::Ok);
    QCOMPARE(g.cells.size(), std::size_t(1));
    QCOMPARE(g.cells[0][1][1], 2.2f);
    QVERIFY(std::isfinite(g.cells[0][0][0]));
}

// ---------------------------------------------------------------------------
// Arithmetic with a cube

void TestGridOps::cubeOps_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<float>("cell");
    QTest::addColumn<float>("operand");
    QTest::addColumn<float>("expected");
    QTest::newRow("add") << int(CubeOp::Add) << 2.5f << 0.25f << 2.75f;
    QTest::newRow("subtract") << int(CubeOp::Subtract) << 2.5f << 0.25f << 2.25f;
    QTest::newRow("subtract negative") << int(CubeOp::Subtract) << 1.0f << -1.5f << 2.5f;
    QTest::newRow("multiply") << int(CubeOp::Multiply) << 2.5f << -2.0f << -5.0f;
    QTest::newRow("divide") << int(CubeOp::Divide) << 2.5f << 0.5f << 5.0f;
    QTest::newRow("divide fraction") << int(CubeOp::Divide) << 1.0f << 3.0f << 1.0f / 3.0f;
}

void TestGridOps::cubeOps()
{
    QFETCH(int, op);
    QFETCH(float, cell);
    QFETCH(float, operand);
    QFETCH(float, expected);
    // Cells vary so that a swapped index would show.
    vector3D grid = make_cube(2, 3, 4, [&](std::size_t i, std::size_t j, std::size_t k) {
        return cell + (i * 100 + j * 10 + k);
    });
    const vector3D other = make_cube(2, 3, 4, [&](std::size_t, std::size_t, std::size_t) { return operand; });
    QCOMPARE(apply_cube_op(grid, other, CubeOp(op)), CubeOpStatus::Ok);
    QCOMPARE(grid[0][0][0], expected);
    // Another cell checked by the float formula.
    const float c = cell + 123.0f;
    float e = 0;
    switch (CubeOp(op)) {
    case CubeOp::Add: e = operand + c; break;
    case CubeOp::Subtract: e = c - operand; break;
    case CubeOp::Multiply: e = operand * c; break;
    case CubeOp::Divide: e = c / operand; break;
    }
    QCOMPARE(grid[1][2][3], e);
}

void TestGridOps::addThenSubtractRestores()
{
    const vector3D original = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return 2.0 + 0.01 * i - 0.003 * j + 0.0007 * k;
    });
    const vector3D other = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return std::sin(double(i + 2 * j + 3 * k));
    });
    vector3D grid = original;
    QCOMPARE(apply_cube_op(grid, other, CubeOp::Add), CubeOpStatus::Ok);
    QVERIFY(grid != original);
    QCOMPARE(apply_cube_op(grid, other, CubeOp::Subtract), CubeOpStatus::Ok);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t k = 0; k < 5; ++k)
                QVERIFY(std::fabs(grid[i][j][k] - original[i][j][k]) <= 4e-7f);
}

void TestGridOps::otherExtentSameCounts()
{
    // Only counts are compared: coordinates are not part of the cubes here.
    vector3D grid = constant_cube(2, 2, 2, 1.0f);
    QCOMPARE(apply_cube_op(grid, constant_cube(2, 2, 2, 3.0f), CubeOp::Multiply), CubeOpStatus::Ok);
    QCOMPARE(grid, constant_cube(2, 2, 2, 3.0f));
}

void TestGridOps::mismatchRefused_data()
{
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::newRow("levels") << 3 << 3 << 4;
    QTest::newRow("rows") << 2 << 2 << 4;
    QTest::newRow("columns") << 2 << 3 << 5;
    QTest::newRow("empty operand") << 0 << 0 << 0;
}

void TestGridOps::mismatchRefused()
{
    QFETCH(int, nz);
    QFETCH(int, ny);
    QFETCH(int, nx);
    const vector3D original = constant_cube(2, 3, 4, 1.5f);
    const vector3D other = constant_cube(std::size_t(nz), std::size_t(ny), std::size_t(nx), 2.0f);
    for (CubeOp op : {CubeOp::Add, CubeOp::Subtract, CubeOp::Multiply, CubeOp::Divide}) {
        vector3D grid = original;
        QCOMPARE(apply_cube_op(grid, other, op), CubeOpStatus::Mismatch);
        QCOMPARE(grid, original);
    }
    // An empty grid never matches, even an empty operand.
    vector3D empty;
    QCOMPARE(apply_cube_op(empty, vector3D(), CubeOp::Add), CubeOpStatus::Mismatch);
    // A ragged operand whose first level matches is refused too.
    vector3D ragged = constant_cube(2, 3, 4, 2.0f);
    ragged[1][2].resize(2);
    vector3D grid = original;
    QCOMPARE(apply_cube_op(grid, ragged, CubeOp::Add), CubeOpStatus::Mismatch);
    QCOMPARE(grid, original);
}

void TestGridOps::divisionByZeroRefused()
{
    const vector3D original = make_cube(2, 2, 3, [](std::size_t i, std::size_t j, std::size_t k) {
        return double(i + j + k);  // cell (0,0,0) is 0 too
    });
    vector3D divisor = constant_cube(2, 2, 3, 2.0f);
    divisor[1][0][2] = 0.0f;
    divisor[0][0][0] = -0.0f;
    QCOMPARE(zero_cells(divisor), std::size_t(2));
    vector3D grid = original;
    QCOMPARE(apply_cube_op(grid, divisor, CubeOp::Divide), CubeOpStatus::DivisionByZero);
    QCOMPARE(grid, original);
    // The other three operations do not care about zeros.
    QCOMPARE(apply_cube_op(grid, divisor, CubeOp::Multiply), CubeOpStatus::Ok);
    QCOMPARE(grid[1][0][2], 0.0f);
}

// ---------------------------------------------------------------------------
// Level operations

void TestGridOps::addLevelMeans()
{
    vector3D grid = make_cube(3, 2, 2, [](std::size_t i, std::size_t j, std::size_t k) { return i + 0.1 * j + 0.01 * k; });
    const vector3D original = grid;
    // Operand levels of other rows and columns: means 2.5, -1, 0.
    vector3D operand(3);
    operand[0] = {{1, 2, 3, 4}};
    operand[1] = {{-1}, {-1}, {-1}};
    operand[2] = {{5, -5}, {1, -1}};
    QCOMPARE(add_level_means(grid, operand), LevelStatus::Ok);
    const double means[3] = {2.5, -1, 0};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 2; ++j)
            for (std::size_t k = 0; k < 2; ++k)
                QCOMPARE(grid[i][j][k], float(double(original[i][j][k]) + means[i]));
}

void TestGridOps::addLevelMeansRefusals()
{
    vector3D grid = constant_cube(2, 2, 2, 1.0f);
    const vector3D original = grid;
    QCOMPARE(add_level_means(grid, constant_cube(3, 2, 2, 1.0f)), LevelStatus::LevelMismatch);
    QCOMPARE(add_level_means(grid, vector3D()), LevelStatus::LevelMismatch);
    vector3D hollow = constant_cube(2, 2, 2, 1.0f);
    hollow[1].clear();
    QCOMPARE(add_level_means(grid, hollow), LevelStatus::EmptyLevel);
    QCOMPARE(grid, original);
}

void TestGridOps::replaceByMeansThenRemoveMeans()
{
    vector3D grid = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return 2.0 + i + 0.1 * std::cos(double(j * 5 + k));
    });
    std::vector<double> means;
    for (const auto& level : grid)
        means.push_back(level_mean(level));
    replace_by_level_means(grid);
    for (std::size_t i = 0; i < 3; ++i)
        for (const auto& row : grid[i])
            for (float v : row)
                QCOMPARE(v, float(means[i]));
    remove_level_means(grid);
    for (const auto& level : grid)
        for (const auto& row : level)
            for (float v : row)
                QCOMPARE(v, 0.0f);
}

void TestGridOps::removeLevelMeans()
{
    vector3D grid = make_cube(4, 3, 6, [](std::size_t i, std::size_t j, std::size_t k) {
        return 1.5 + 0.3 * i + std::sin(double(7 * i + 3 * j + k));
    });
    const vector3D original = grid;
    remove_level_means(grid);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        QVERIFY(std::fabs(level_mean(grid[i])) < 1e-6);
        // Every cell moved by the same amount.
        const double shift = double(grid[i][0][0]) - double(original[i][0][0]);
        QVERIFY(std::fabs(shift + level_mean(original[i])) < 1e-6);
        QVERIFY(std::fabs(double(grid[i][2][5]) - double(original[i][2][5]) - shift) < 1e-6);
    }
}

void TestGridOps::removeLevelMinima()
{
    vector3D grid = make_cube(3, 3, 4, [](std::size_t i, std::size_t j, std::size_t k) {
        return -1.0 + 0.5 * i + std::cos(double(5 * i + 2 * j + k));
    });
    std::vector<float> minima;
    for (const auto& level : grid) {
        float m = level[0][0];
        for (const auto& row : level)
            for (float v : row)
                m = std::min(m, v);
        minima.push_back(m);
        QCOMPARE(level_min(level), m);
    }
    const vector3D original = grid;
    remove_level_minima(grid);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        float m = grid[i][0][0];
        for (std::size_t j = 0; j < 3; ++j)
            for (std::size_t k = 0; k < 4; ++k) {
                QVERIFY(grid[i][j][k] >= 0.0f);
                QCOMPARE(grid[i][j][k], float(double(original[i][j][k]) - double(minima[i])));
                m = std::min(m, grid[i][j][k]);
            }
        QCOMPARE(m, 0.0f);
    }
}

void TestGridOps::levelOpsSkipEmptyLevels()
{
    // Levels of rows without cells (a new grid with maxX below minX).
    vector3D hollow(2, vector2D(3));
    replace_by_level_means(hollow);
    remove_level_means(hollow);
    remove_level_minima(hollow);
    fill_zeros(hollow);
    QCOMPARE(hollow, vector3D(2, vector2D(3)));
    vector3D empty;
    QCOMPARE(add_level_means(empty, vector3D()), LevelStatus::Ok);
}

void TestGridOps::fillZeros()
{
    vector3D grid = make_cube(2, 2, 3, [](std::size_t i, std::size_t j, std::size_t k) { return 1.0 + i + j + k; });
    fill_zeros(grid);
    QCOMPARE(grid, constant_cube(2, 2, 3, 0.0f));
}

void TestGridOps::shiftsToZero()
{
    std::vector<double> x;
    for (double v = 1000; v <= 2000; v += 50)
        x.push_back(v);
    shift_nodes_to_zero(x);
    QCOMPARE(x.size(), std::size_t(21));
    for (std::size_t i = 0; i < x.size(); ++i)
        QCOMPARE(x[i], 50.0 * i);
    std::vector<double> none;
    shift_nodes_to_zero(none);
    QVERIFY(none.empty());

    std::vector<double> params{21, 11, 1000, 2000, -500, 0, 7, 9};
    shift_geometry_to_zero(params);
    QCOMPARE(params, (std::vector<double>{21, 11, 0, 1000, 0, 500, 7, 9}));
    std::vector<double> shortRecord{1, 2, 3, 4, 5};
    shift_geometry_to_zero(shortRecord);
    QCOMPARE(shortRecord, (std::vector<double>{1, 2, 3, 4, 5}));
}

// ---------------------------------------------------------------------------
// Gradients

void TestGridOps::differences_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("ax");
    QTest::addColumn<double>("ay");
    QTest::addColumn<double>("az");
    QTest::addColumn<double>("expected");
    // sigma = 2 + ax * column + ay * row + az * level: every difference is the slope.
    QTest::newRow("x") << int(GradientKind::X) << 0.1 << 0.02 << 0.3 << 0.1;
    QTest::newRow("y") << int(GradientKind::Y) << 0.1 << 0.02 << 0.3 << 0.02;
    QTest::newRow("vertical") << int(GradientKind::Vertical) << 0.1 << 0.02 << 0.3 << 0.3;
    QTest::newRow("vertical falling") << int(GradientKind::Vertical) << 0.0 << 0.0 << -0.25 << -0.25;
}

void TestGridOps::differences()
{
    QFETCH(int, kind);
    QFETCH(double, ax);
    QFETCH(double, ay);
    QFETCH(double, az);
    QFETCH(double, expected);
    vector3D grid = make_cube(4, 5, 6, [&](std::size_t i, std::size_t j, std::size_t k) {
        return 2 + ax * k + ay * j + az * i;
    });
    const vector3D original = grid;
    // Spacings are not used by the differences.
    QCOMPARE(apply_gradient(grid, GradientKind(kind), 50, 50, 10), GradientStatus::Ok);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 5; ++j)
            for (std::size_t k = 0; k < 6; ++k)
                QVERIFY2(std::fabs(grid[i][j][k] - expected) < 2e-6,
                         qPrintable(QString("(%1,%2,%3) %4").arg(i).arg(j).arg(k).arg(grid[i][j][k])));

    // Hand values on a non-linear grid: next minus this, the last one
    // copying the value before it.
    vector3D g = make_cube(3, 3, 3, [](std::size_t i, std::size_t j, std::size_t k) {
        return double(i * i * 9 + j * j * 3 + k * k);
    });
    QCOMPARE(apply_gradient(g, GradientKind(kind), 1, 1, 1), GradientStatus::Ok);
    const float expect_mid[3] = {3.0f * 1 /* (4-1) */, 3.0f * 3 /* 3*(4-1) */, 9.0f * 3};
    const int axis = kind;  // X, Y, Vertical are 0, 1, 2
    // Cell (1,1,1): the difference to the next along the axis of squares 1 -> 4.
    QCOMPARE(g[1][1][1], expect_mid[axis]);
    // Last along the axis copies the one before.
    if (axis == 0)
        QCOMPARE(g[1][1][2], g[1][1][1]);
    else if (axis == 1)
        QCOMPARE(g[1][2][1], g[1][1][1]);
    else
        QCOMPARE(g[2][1][1], g[1][1][1]);
}

void TestGridOps::linearFieldMagnitudes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("ax");
    QTest::addColumn<double>("ay");
    QTest::addColumn<double>("az");
    QTest::addColumn<double>("expected");
    // sigma = 2 + ax * x + ay * y + az * z with dx = 50, dy = 25, dz = 10 metres.
    QTest::newRow("horizontal") << int(GradientKind::Horizontal) << 3e-4 << 4e-4 << 1e-2 << 5e-4;
    QTest::newRow("full") << int(GradientKind::Full) << 3e-4 << 4e-4 << 1.2e-3 << 1.3e-3;
    QTest::newRow("full vertical only") << int(GradientKind::Full) << 0.0 << 0.0 << 0.01 << 0.01;
}

void TestGridOps::linearFieldMagnitudes()
{
    QFETCH(int, kind);
    QFETCH(double, ax);
    QFETCH(double, ay);
    QFETCH(double, az);
    QFETCH(double, expected);
    const double dx = 50, dy = 25, dz = 10;
    vector3D grid = make_cube(5, 6, 7, [&](std::size_t i, std::size_t j, std::size_t k) {
        return 2 + ax * dx * k + ay * dy * j + az * dz * i;
    });
    QCOMPARE(apply_gradient(grid, GradientKind(kind), dx, dy, dz), GradientStatus::Ok);
    for (const auto& level : grid)
        for (const auto& row : level)
            for (float v : row)
                QVERIFY2(std::fabs(v - expected) < 1e-6 + 1e-3 * expected, qPrintable(QString::number(v)));
}

void TestGridOps::quadraticFieldMagnitudes()
{
    // sigma = a x^2 + b y^2 + c z^2 on nodes x = k dx ...: the forward
    // difference over a step is a (2x + dx), the derivative at mid-step.
    const double dx = 20, dy = 30, dz = 5, a = 1e-5, b = 2e-5, c = 4e-4;
    const std::size_t nz = 4, ny = 5, nx = 6;
    auto f = [&](std::size_t i, std::size_t j, std::size_t k) {
        const double x = k * dx, y = j * dy, z = i * dz;
        return a * x * x + b * y * y + c * z * z;
    };
    auto derivative = [](double coef, double pos, double step) { return coef * (2 * pos + step); };
    for (GradientKind kind : {GradientKind::Horizontal, GradientKind::Full}) {
        vector3D grid = make_cube(nz, ny, nx, f);
        const vector3D original = grid;
        QCOMPARE(apply_gradient(grid, kind, dx, dy, dz), GradientStatus::Ok);
        const bool full = kind == GradientKind::Full;
        for (std::size_t i = 0; i < nz; ++i)
            for (std::size_t j = 0; j < ny; ++j)
                for (std::size_t k = 0; k < nx; ++k) {
                    // Edge cells repeat the inner neighbour's value.
                    const std::size_t ii = full ? std::min(i, nz - 2) : i;
                    const std::size_t jj = std::min(j, ny - 2);
                    const std::size_t kk = std::min(k, nx - 2);
                    const double gx = derivative(a, kk * dx, dx);
                    const double gy = derivative(b, jj * dy, dy);
                    const double gz = full ? derivative(c, ii * dz, dz) : 0.0;
                    const double expected = std::sqrt(gx * gx + gy * gy + gz * gz);
                    QVERIFY2(std::fabs(grid[i][j][k] - expected) <= 1e-4 * expected + 1e-7,
                             qPrintable(QString("(%1,%2,%3) %4 vs %5").arg(i).arg(j).arg(k).arg(grid[i][j][k]).arg(expected)));
                }
    }
}

void TestGridOps::horizontalOfLevelConstantGrid()
{
    vector3D grid = make_cube(4, 3, 5, [](std::size_t i, std::size_t, std::size_t) { return 2.0 + 0.1 * i; });
    QCOMPARE(apply_gradient(grid, GradientKind::Horizontal, 50, 50, 10), GradientStatus::Ok);
    QCOMPARE(grid, constant_cube(4, 3, 5, 0.0f));
}

void TestGridOps::gradientRefusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dz");
    QTest::addColumn<int>("status");
    QTest::newRow("x one column") << int(GradientKind::X) << 3 << 3 << 1 << 1.0 << 1.0 << int(GradientStatus::SingleNode);
    QTest::newRow("y one row") << int(GradientKind::Y) << 3 << 1 << 3 << 1.0 << 1.0 << int(GradientStatus::SingleNode);
    QTest::newRow("z one level") << int(GradientKind::Vertical) << 1 << 3 << 3 << 1.0 << 1.0
                                 << int(GradientStatus::SingleNode);
    QTest::newRow("x fine with one level") << int(GradientKind::X) << 1 << 1 << 3 << 1.0 << 1.0
                                           << int(GradientStatus::Ok);
    QTest::newRow("horizontal one level") << int(GradientKind::Horizontal) << 1 << 2 << 2 << 1.0 << 1.0
                                          << int(GradientStatus::Ok);
    QTest::newRow("full one level") << int(GradientKind::Full) << 1 << 3 << 3 << 1.0 << 1.0
                                    << int(GradientStatus::SingleNode);
    QTest::newRow("horizontal zero dx") << int(GradientKind::Horizontal) << 2 << 2 << 2 << 0.0 << 1.0
                                        << int(GradientStatus::BadSpacing);
    QTest::newRow("full NaN dz") << int(GradientKind::Full) << 2 << 2 << 2 << 1.0 << kNaN << int(GradientStatus::BadSpacing);
    QTest::newRow("x ignores spacing") << int(GradientKind::X) << 2 << 2 << 2 << 0.0 << kNaN << int(GradientStatus::Ok);
    QTest::newRow("empty") << int(GradientKind::X) << 0 << 0 << 0 << 1.0 << 1.0 << int(GradientStatus::NotRegular);
}

void TestGridOps::gradientRefusals()
{
    QFETCH(int, kind);
    QFETCH(int, nz);
    QFETCH(int, ny);
    QFETCH(int, nx);
    QFETCH(double, dx);
    QFETCH(double, dz);
    QFETCH(int, status);
    vector3D grid = make_cube(std::size_t(nz), std::size_t(ny), std::size_t(nx),
                              [](std::size_t i, std::size_t j, std::size_t k) { return 1.0 + i + 2.0 * j + 3.0 * k; });
    const vector3D original = grid;
    QCOMPARE(int(apply_gradient(grid, GradientKind(kind), dx, 1.0, dz)), status);
    if (status != int(GradientStatus::Ok))
        QCOMPARE(grid, original);
}

QTEST_APPLESS_MAIN(TestGridOps)
#include "tst_gridops.moc"
