// The pure rules of the 3D view: texture sizes, face, horizon and fault
// meshes, crop indexes and face grids, view bounds and axis ranges, colour
// ranges and the program's own gradient stops. No display needed.
#include "views/view3d_rules.h"

#include <QtTest>

#include "test_nodes.h"
#include <algorithm>
#include <cmath>
#include <functional>

using namespace view3d;

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// A cube whose cell (level l, row r, column c) holds 100 l + 10 r + c, with
// the sign turned on odd columns.
vector3D numbered_cube(int nz, int ny, int nx)
{
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int l = 0; l < nz; ++l)
        for (int r = 0; r < ny; ++r)
            for (int c = 0; c < nx; ++c)
                cube[l][r][c] = data_type((c % 2 ? -1 : 1) * (100 * l + 10 * r + c));
    return cube;
}

}  // namespace

class TestView3dRules : public QObject
{
    Q_OBJECT

private slots:
    void textureSize_data();
    void textureSize();

    void zFaceMesh();
    void xFaceMeshIsShiftedByAThousandthOfTheSpan();
    void yFaceMesh();
    void faceMeshWithUnsetSpanIsPlane();
    void horizonMesh();
    void horizonMeshKeepsCompleteRowsOnly();
    void drawableBlock_data();
    void drawableBlock();
    void blockRowsAndTexture();
    void drawableBlockByDepth();
    void depthLimits_data();
    void depthLimits();
    void limitTolerance();
    void sticksWithinDepth();

    void reliefOfLevelAndDome();
    void reliefFollowsTheViewsScale();
    void reliefLightsBothSidesAlike();
    void reliefOfWalls();
    void lightByDepth();

    void faultRowsArePaddedAndSorted();
    void faultRowsSkipEmptySticks();
    void sticksExtent();

    void cropDefaults_data();
    void cropDefaults();
    void cutFaces();
    void cutFacesAbsolute();
    void cutCubeToPlanLimits();

    void extendBoundFromUnset();
    void axisRange_data();
    void axisRange();
    void surfaceBounds_data();
    void surfaceBounds();

    void usableRange_data();
    void usableRange();
    void cubeTextureRange_data();
    void cubeTextureRange();

    void ownGradientStops();
};

// ---------------------------------------------------------------------------

void TestView3dRules::textureSize_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QSize>("size");
    QTest::newRow("10 x 4") << 10 << 4 << QSize(50, 20);
    QTest::newRow("102 x 102 keeps 5 px") << 102 << 102 << QSize(510, 510);
    QTest::newRow("200 x 50 wide") << 200 << 50 << QSize(512, 128);
    QTest::newRow("50 x 200 tall") << 50 << 200 << QSize(128, 512);
    QTest::newRow("150 x 150 square") << 150 << 150 << QSize(512, 512);
    QTest::newRow("103 x 10 truncated") << 103 << 10 << QSize(512, 49);  // trunc(50 / (515 / 512))
    QTest::newRow("1 x 1") << 1 << 1 << QSize(5, 5);
}

void TestView3dRules::textureSize()
{
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QSize, size);
    QCOMPARE(texture_size(columns, rows), size);
}

// ---------------------------------------------------------------------------

void TestView3dRules::zFaceMesh()
{
    const MeshRows m = z_face_mesh({0, 10, 20}, {100, 200}, 55);
    QCOMPARE(m.size(), std::size_t(2));
    QCOMPARE(m[0].size(), std::size_t(3));
    // (x, depth, y)
    QCOMPARE(m[0][0], QVector3D(0, 55, 100));
    QCOMPARE(m[0][2], QVector3D(20, 55, 100));
    QCOMPARE(m[1][1], QVector3D(10, 55, 200));
}

void TestView3dRules::xFaceMeshIsShiftedByAThousandthOfTheSpan()
{
    std::vector<double> z;
    for (int k = 0; k <= 10; ++k)
        z.push_back(100.0 * k);  // 11 depth nodes
    const std::vector<double> y{0, 500, 1000, 1500};
    const MeshRows m = x_face_mesh(250, y, z, 1000, 2000);
    QCOMPARE(m.size(), y.size());
    QCOMPARE(m[0].size(), z.size());
    const double ex = 1000.0 / 1000 / 11;
    const double ey = 2000.0 / 1000 / 4;
    QCOMPARE(m[0][0], QVector3D(250, 0, 0));
    QCOMPARE(m[0][10].x(), float(250 + 10 * ex));  // about 0.91 m to the right
    QVERIFY(std::abs(m[0][10].x() - 250.909f) < 1e-3f);
    QCOMPARE(m[0][10].y(), 1000.0f);
    QCOMPARE(m[3][4], QVector3D(float(250 + 4 * ex), 400, float(1500 + 3 * ey)));
    // x grows along every row, so the graph can draw the vertical face.
    for (const auto& row : m)
        for (std::size_t j = 1; j < row.size(); ++j)
            QVERIFY(row[j].x() > row[j - 1].x());
}

void TestView3dRules::yFaceMesh()
{
    const std::vector<double> x{0, 100, 200, 300, 400};
    const std::vector<double> z{0, 50};
    const MeshRows m = y_face_mesh(x, 700, z, 400, 1000);
    QCOMPARE(m.size(), z.size());
    QCOMPARE(m[0].size(), x.size());
    const double ex = 400.0 / 1000 / 5;
    const double ey = 1000.0 / 1000 / 2;
    QCOMPARE(m[0][0], QVector3D(0, 0, 700));
    QCOMPARE(m[1][4], QVector3D(float(400 + 4 * ex), 50, float(700 + ey)));
}

void TestView3dRules::faceMeshWithUnsetSpanIsPlane()
{
    // Bounds not set yet (span negative) or not finite: no shift at all.
    const MeshRows a = x_face_mesh(5, {0, 1}, {0, 1, 2}, -2e20, NAN);
    for (const auto& row : a)
        for (const QVector3D& p : row)
            QCOMPARE(p.x(), 5.0f);
    const MeshRows b = y_face_mesh({0, 1}, 7, {0, 1}, INFINITY, 0);
    QCOMPARE(b[1][1], QVector3D(1, 1, 7));
}

void TestView3dRules::horizonMesh()
{
    const field2D depths{{10, 11, 12}, {20, 21, 22}};
    const MeshRows m = horizon_mesh({0, 5, 10}, {100, 200}, depths);
    QCOMPARE(m.size(), std::size_t(2));
    QCOMPARE(m[0].size(), std::size_t(3));
    QCOMPARE(m[0][2], QVector3D(10, 12, 100));
    QCOMPARE(m[1][0], QVector3D(0, 20, 200));
}

void TestView3dRules::horizonMeshKeepsCompleteRowsOnly()
{
    const field2D ragged{{1, 2, 3}, {4, 5, 6}, {7}};
    QCOMPARE(horizon_mesh({0, 1, 2}, {0, 1, 2}, ragged).size(), std::size_t(2));
    // Node vectors shorter than the grid cut it.
    const MeshRows m = horizon_mesh({0, 1}, {0}, ragged);
    QCOMPARE(m.size(), std::size_t(1));
    QCOMPARE(m[0].size(), std::size_t(2));
    QVERIFY(horizon_mesh({}, {}, {}).empty());
}

// ---------------------------------------------------------------------------
// Relief shading

namespace {

// A horizon mesh on 21 x 21 nodes 100 m apart: depth(x, y).
MeshRows surfaceMesh(const std::function<double(double, double)>& depth)
{
    MeshRows m(21, std::vector<QVector3D>(21));
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j)
            m[i][j] = QVector3D(float(100 * j), float(depth(100 * j, 100 * i)), float(100 * i));
    return m;
}

std::pair<double, double> lightRange(const field2D& light)
{
    ValueRange r;
    for (const auto& row : light)
        for (double v : row)
            r.take(v);
    return {r.lo, r.hi};
}

}  // namespace

// A z face of x 0 .. 1000 (11 nodes) by y 0 .. 500 (6) at depth 100, under
// axis ranges x [xlo, xhi] and y [ylo, yhi].
void TestView3dRules::drawableBlock_data()
{
    QTest::addColumn<QVector<double>>("ranges");  // xlo, xhi, ylo, yhi
    QTest::addColumn<QVector<int>>("block");      // row, rows, column, columns
    QTest::addColumn<bool>("drawable");
    QTest::newRow("whole") << QVector<double>{-25, 1025, -10, 510} << QVector<int>{0, 6, 0, 11} << true;
    QTest::newRow("on the bounds") << QVector<double>{0, 1000, 0, 500} << QVector<int>{0, 6, 0, 11}
                                   << true;
    QTest::newRow("x cut") << QVector<double>{450, 1100, 0, 500} << QVector<int>{0, 6, 5, 6} << true;
    QTest::newRow("y cut") << QVector<double>{0, 1000, 150, 350} << QVector<int>{2, 2, 0, 11} << true;
    QTest::newRow("one column") << QVector<double>{950, 2000, 0, 500} << QVector<int>{0, 6, 10, 1}
                                << false;
    QTest::newRow("one row") << QVector<double>{0, 1000, -50, 50} << QVector<int>{0, 1, 0, 11} << false;
    QTest::newRow("all zero") << QVector<double>{-0.1, 0.1, -0.1, 0.1} << QVector<int>{0, 1, 0, 1} << false;
    QTest::newRow("outside") << QVector<double>{2000, 3000, 2000, 3000} << QVector<int>{0, 0, 0, 0}
                             << false;
}

void TestView3dRules::drawableBlock()
{
    QFETCH(QVector<double>, ranges);
    QFETCH(QVector<int>, block);
    QFETCH(bool, drawable);
    const view3d::MeshRows mesh = view3d::z_face_mesh(nodes(11, 0, 100), nodes(6, 0, 100), 100);
    view3d::AxisRanges r;
    r.x_lo = float(ranges[0]), r.x_hi = float(ranges[1]);
    r.z_lo = float(ranges[2]), r.z_hi = float(ranges[3]);
    const view3d::MeshBlock b = view3d::drawable_block(mesh, r);
    QCOMPARE(b.drawable(), drawable);
    if (drawable || block[1] > 0 || block[3] > 0) {
        QCOMPARE(b.row, block[0]);
        QCOMPARE(b.rows, block[1]);
        QCOMPARE(b.column, block[2]);
        QCOMPARE(b.columns, block[3]);
    }
}

// A fault-like mesh, whose x varies along the rows: a column counts only when
// every row has it inside; the block's rows and texture are those of the
// mesh's nodes (image row 0 at the top, mesh row 0 at the bottom).
void TestView3dRules::blockRowsAndTexture()
{
    view3d::MeshRows mesh(4, std::vector<QVector3D>(5));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 5; ++j)
            mesh[std::size_t(i)][std::size_t(j)] = QVector3D(float(10 * j + i), 0, float(100 * i));
    view3d::AxisRanges r;
    r.x_lo = 10, r.x_hi = 32;  // column 1 from x 10 (row 0) to 13, column 3 from 30 to 33
    r.z_lo = 50, r.z_hi = 300;
    const view3d::MeshBlock b = view3d::drawable_block(mesh, r);
    QCOMPARE(b.column, 1);
    QCOMPARE(b.columns, 2);  // column 3 reaches 33
    QCOMPARE(b.row, 1);
    QCOMPARE(b.rows, 3);
    const view3d::MeshRows cut = view3d::block_rows(mesh, b);
    QCOMPARE(int(cut.size()), 3);
    QCOMPARE(int(cut.front().size()), 2);
    QCOMPARE(cut[0][0], mesh[1][1]);
    QCOMPARE(cut[2][1], mesh[3][2]);
    // Texture of 9 x 7 pixels over 5 columns and 4 rows: columns 1 .. 2 are
    // pixels 2 .. 4; rows 1 .. 3 are image lines 0 .. 4 (row 3 on top).
    QCOMPARE(view3d::texture_block(QSize(9, 7), 4, 5, b), QRect(QPoint(2, 0), QPoint(4, 4)));
    // The whole mesh is the whole image.
    view3d::MeshBlock whole;
    whole.rows = 4, whole.columns = 5;
    QCOMPARE(view3d::texture_block(QSize(9, 7), 4, 5, whole), QRect(0, 0, 9, 7));
    // Rows of unequal length are no grid.
    mesh[2].pop_back();
    QVERIFY(!view3d::drawable_block(mesh, r).drawable());
}

// A horizon that rises above the depth range in one corner keeps the largest
// block of at least 2 x 2 nodes that lies inside it; one with no such block
// has nothing drawable.
void TestView3dRules::drawableBlockByDepth()
{
    // 5 rows x 6 columns; depth 100 everywhere but 10 at rows 3 .. 4 of
    // columns 3 .. 5 and at row 0 of column 0.
    field2D depths(5, std::vector<double>(6, 100));
    for (int i = 3; i < 5; ++i)
        for (int j = 3; j < 6; ++j)
            depths[std::size_t(i)][std::size_t(j)] = 10;
    depths[0][0] = 10;
    const MeshRows mesh = horizon_mesh(nodes(6, 0, 100), nodes(5, 0, 100), depths);
    AxisRanges r;
    r.x_lo = -10, r.x_hi = 600, r.z_lo = -10, r.z_hi = 500;
    QCOMPARE(drawable_block(mesh, r), (MeshBlock{0, 5, 0, 6}));  // depth open
    r.y_lo = 50, r.y_hi = 200;
    // Rows 0 .. 2 of columns 1 .. 5 (15 nodes) beat rows 1 .. 2 of the whole
    // width or rows 1 .. 4 of columns 0 .. 2 (12 each).
    QCOMPARE(drawable_block(mesh, r), (MeshBlock{0, 3, 1, 5}));
    // A depth that is no number is not cut (the graph has no range for it).
    depths[2][2] = std::nan("");
    QCOMPARE(drawable_block(horizon_mesh(nodes(6, 0, 100), nodes(5, 0, 100), depths), r), (MeshBlock{0, 3, 1, 5}));
    // The plan cut comes first: columns 3 .. 5 only.
    r.x_lo = 250;
    QCOMPARE(drawable_block(mesh, r), (MeshBlock{0, 3, 3, 3}));
    r.y_lo = 150;
    QVERIFY(!drawable_block(mesh, r).drawable());
}

// Depth limits over a model 0 .. 900 m deep: a cube (x 0 .. 1000, 11
// columns; y 0 .. 500, 6 rows; depth 0 .. 900, 10 levels), horizons at 0 m, a
// dipping one from 200 to 400 m along x and one at 800 m, and a fault stick
// pair from 0 to 900 m. Everything the view is given lies inside the limits;
// the top and bottom faces hold the cube's cells at the first and last level
// inside them.
void TestView3dRules::depthLimits_data()
{
    QTest::addColumn<double>("zmin");
    QTest::addColumn<double>("zmax");
    QTest::addColumn<int>("top");        // level of the top face, -1: no cube drawn
    QTest::addColumn<int>("bottom");     // level of the bottom face
    QTest::addColumn<QVector<int>>("horizons");  // columns drawn of each horizon (0: none)
    QTest::newRow("inside (wider than the data)") << -50.0 << 1000.0 << 0 << 9 << QVector<int>{11, 11, 11};
    QTest::newRow("on the data's bounds") << 0.0 << 900.0 << 0 << 9 << QVector<int>{11, 11, 11};
    QTest::newRow("cutting the top") << 250.0 << 1000.0 << 3 << 9 << QVector<int>{0, 8, 11};
    QTest::newRow("cutting the bottom") << 0.0 << 650.0 << 0 << 6 << QVector<int>{11, 11, 0};
    QTest::newRow("between two horizons") << 450.0 << 750.0 << 5 << 7 << QVector<int>{0, 0, 0};
    QTest::newRow("between two levels") << 610.0 << 690.0 << -1 << -1 << QVector<int>{0, 0, 0};
    QTest::newRow("outside the data") << 2000.0 << 3000.0 << -1 << -1 << QVector<int>{0, 0, 0};
}

void TestView3dRules::depthLimits()
{
    QFETCH(double, zmin);
    QFETCH(double, zmax);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(QVector<int>, horizons);

    const std::vector<double> x = nodes(11, 0, 100), y = nodes(6, 0, 100), z = nodes(10, 0, 100);
    const vector3D cube = numbered_cube(10, 6, 11);
    const std::vector<double> limits{0, 1000, 0, 500, zmin, zmax};
    ViewBounds bounds;
    bounds.min_x = limits[0], bounds.max_x = limits[1];
    bounds.min_y = limits[2], bounds.max_y = limits[3];
    bounds.min_z = limits[4], bounds.max_z = limits[5];
    // The graph's axes: the bounds and 2.5 % of their span on each side.
    AxisRanges axes;
    axes.x_lo = -25, axes.x_hi = 1025, axes.z_lo = -12.5f, axes.z_hi = 512.5f;
    axes.y_lo = float(zmin - 0.025 * (zmax - zmin)), axes.y_hi = float(zmax + 0.025 * (zmax - zmin));
    const AxisRanges ranges = cut_ranges(bounds, axes);

    // What the view is given of a mesh: its drawable block, every point of
    // it inside the limits (in plan up to the vertical faces' shift).
    auto given = [&](const MeshRows& mesh) {
        const MeshBlock b = drawable_block(mesh, ranges);
        if (!b.drawable())
            return MeshRows{};
        const MeshRows rows = block_rows(mesh, b);
        for (const auto& row : rows)
            for (const QVector3D& p : row) {
                if (!within_limits(p.y(), zmin, zmax) || !within_limits(p.x(), -1.0, 1001.0) ||
                    !within_limits(p.z(), -0.5, 500.5)) {
                    qWarning() << "outside the limits:" << p;
                    return MeshRows{{QVector3D(), QVector3D()}};  // fails the checks below
                }
            }
        return rows;
    };

    // The cube, its faces at the outer nodes.
    CropBorders borders{{-1, -1, -1, -1, -1, -1}};
    const CubeCut cut = cut_cube(x, y, z, fix_crop_borders(borders, 11, 6, 10), limits);
    const CubeFaces faces = cut_cube_faces(cube, cut, false);
    const std::vector<double> xs = run_nodes(x, cut.runs[0]), ys = run_nodes(y, cut.runs[1]),
                              zs = run_nodes(z, cut.runs[2]);
    const MeshRows face_meshes[6] = {
        z_face_mesh(xs, ys, z[std::size_t(cut.at[5])]), z_face_mesh(xs, ys, z[std::size_t(cut.at[4])]),
        x_face_mesh(x[std::size_t(cut.at[0])], ys, zs, 1000, 500),
        x_face_mesh(x[std::size_t(cut.at[1])], ys, zs, 1000, 500),
        y_face_mesh(xs, y[std::size_t(cut.at[3])], zs, 1000, 500),
        y_face_mesh(xs, y[std::size_t(cut.at[2])], zs, 1000, 500)};
    if (top < 0) {
        for (const MeshRows& m : face_meshes)
            QVERIFY(given(m).empty());
        QVERIFY(faces.top.empty() && faces.left.empty() && faces.back.empty());
    } else {
        QCOMPARE(cut.at[4], top);
        QCOMPARE(cut.at[5], bottom);
        for (const MeshRows& m : face_meshes) {
            const MeshRows g = given(m);
            QCOMPARE(g.size(), m.size());  // each face whole: it was cut to the limits already
            QCOMPARE(g.front().size(), m.front().size());
        }
        // The top and bottom faces hold the cells of their levels, at their depths.
        QCOMPARE(face_meshes[1].front().front().y(), float(z[std::size_t(top)]));
        QCOMPARE(face_meshes[0].front().front().y(), float(z[std::size_t(bottom)]));
        QCOMPARE(faces.top, cube[std::size_t(top)]);
        QCOMPARE(faces.bottom, cube[std::size_t(bottom)]);
        // The side faces reach from the top level to the bottom level.
        QCOMPARE(faces.left.front().size(), std::size_t(bottom - top + 1));
        QCOMPARE(faces.left[2][0], cube[std::size_t(top)][2][0]);
        QCOMPARE(faces.back.back()[4], cube[std::size_t(bottom)][5][4]);
    }

    // The horizons.
    std::vector<field2D> hs(3, field2D(6, std::vector<double>(11)));
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 11; ++i) {
            hs[0][std::size_t(j)][std::size_t(i)] = 0;
            hs[1][std::size_t(j)][std::size_t(i)] = 200 + 20 * i;
            hs[2][std::size_t(j)][std::size_t(i)] = 800;
        }
    for (int h = 0; h < 3; ++h) {
        const MeshRows g = given(horizon_mesh(x, y, hs[std::size_t(h)]));
        QCOMPARE(g.empty() ? 0 : int(g.front().size()), horizons[h]);
        if (!g.empty())
            QCOMPARE(int(g.size()), 6);
    }

    // The fault: two sticks from 0 to 900 m, cut on the limits.
    const MeshRows fault = fault_rows({{QVector3D(500, 100, 0), QVector3D(520, 100, 450), QVector3D(540, 100, 900)},
                                       {QVector3D(500, 300, 0), QVector3D(540, 300, 900)}});
    const MeshRows sticks = sticks_within_depth(fault, ranges.y_lo, ranges.y_hi);
    const MeshRows g = given(sticks);
    if (zmin > 900) {
        QVERIFY(g.empty());
    } else {
        QVERIFY(!g.empty());
        QCOMPARE(g.front().front().y(), float(std::max(zmin, 0.0)));
        QCOMPARE(g.back().back().y(), float(std::min(zmax, 900.0)));
    }
}

// Half a unit in the sixth significant digit: OK on the bounds the limits
// dialog offers keeps every node.
void TestView3dRules::limitTolerance()
{
    QCOMPARE(limit_tolerance(451000), 0.5);
    QCOMPARE(limit_tolerance(6201003), 5.0);
    QCOMPARE(limit_tolerance(-975), 0.0005);
    QCOMPARE(limit_tolerance(0), 0.0);
    QCOMPARE(limit_tolerance(std::nan("")), 0.0);
    const double first = 6200996.6, last = 6204003.2;
    const double shown_lo = QString::number(first, 'g', 6).toDouble(), shown_hi = QString::number(last, 'g', 6).toDouble();
    QVERIFY(shown_lo > first && shown_hi < last);  // the dialog's figures cut the outer nodes
    QVERIFY(within_limits(first, shown_lo, shown_hi));
    QVERIFY(within_limits(last, shown_lo, shown_hi));
    QVERIFY(!within_limits(first - 50, shown_lo, shown_hi));
    QCOMPARE(nodes_within({first, first + 1000, first + 2000, last}, shown_lo, shown_hi), (NodeRun{0, 4}));
    QCOMPARE(nodes_within(nodes(10, 0, 100), 150, 420), (NodeRun{2, 3}));
    QCOMPARE(nodes_within(nodes(10, 0, 100), 610, 690).count, 0);
    QCOMPARE(nodes_within(nodes(10, 0, 100), 1000, 0).count, 0);  // reversed limits take nothing
}

// A stick is cut where it crosses a limit, its point there interpolated
// along it; sticks above or below are dropped, the rows padded again.
void TestView3dRules::sticksWithinDepth()
{
    const MeshRows rows = fault_rows({{QVector3D(0, 0, 0), QVector3D(100, 0, 1000)},
                                      {QVector3D(0, 50, 0), QVector3D(10, 50, 100), QVector3D(20, 50, 200),
                                       QVector3D(120, 50, 1200)},
                                      {QVector3D(0, 90, 2000), QVector3D(0, 90, 3000)}});
    const MeshRows cut = sticks_within_depth(rows, 150, 700);
    QCOMPARE(int(cut.size()), 2);
    for (const auto& row : cut)
        QCOMPARE(int(row.size()), 3);
    // Graph positions (x, depth, y).
    auto near = [](const QVector3D& a, const QVector3D& b) { return (a - b).length() < 1e-3f; };
    QVERIFY(near(cut[0][0], QVector3D(15, 150, 0)));
    QVERIFY(near(cut[0][1], QVector3D(70, 700, 0)));
    QCOMPARE(cut[0][2], cut[0][1]);  // padded with its deepest point
    QVERIFY(near(cut[1][0], QVector3D(15, 150, 50)));
    QCOMPARE(cut[1][1], QVector3D(20, 200, 50));
    QVERIFY(near(cut[1][2], QVector3D(70, 700, 50)));
    // Open depths keep the sticks as they are.
    QCOMPARE(sticks_within_depth(rows, -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::infinity()),
             rows);
    QVERIFY(sticks_within_depth(rows, 5000, 6000).empty());
}

void TestView3dRules::reliefOfLevelAndDome()
{
    // A level surface shows its full colour at any depth.
    const field2D level = relief_light(surfaceMesh([](double, double) { return 700.0; }), 2000, 1000, 2);
    QCOMPARE(level.size(), std::size_t(21));
    QCOMPARE(level[0].size(), std::size_t(21));
    QCOMPARE(lightRange(level), std::make_pair(1.0, 1.0));
    // A dome 400 m high on 2 km: its slopes turned away from the light are
    // darker, none darker than the shadow, its top as bright as level ground.
    const field2D dome = relief_light(surfaceMesh([](double x, double y) {
        return 600 - 400 * std::exp(-((x - 1000) * (x - 1000) + (y - 1000) * (y - 1000)) / 250000);
    }), 2000, 1000, 2);
    const auto r = lightRange(dome);
    QVERIFY2(r.first >= kReliefShadow && r.first < 0.75, qPrintable(QString::number(r.first)));
    QCOMPARE(r.second, 1.0);
    QCOMPARE(dome[10][10], 1.0);  // the top is level
}

void TestView3dRules::reliefFollowsTheViewsScale()
{
    // A slope of 1 in 20 going down away from the light (towards +x and +y):
    // in a view 20 km wide and 1 km deep it is drawn at 45 degrees and dark;
    // in a view whose depth span equals its width it is nearly level.
    const MeshRows slope = surfaceMesh([](double x, double y) { return 0.05 * (x + y); });
    const double steep = lightRange(relief_light(slope, 20000, 1000, 1)).second;
    const double gentle = lightRange(relief_light(slope, 20000, 20000, 1)).first;
    QVERIFY2(steep < 0.6, qPrintable(QString::number(steep)));
    QVERIFY2(gentle > 0.9, qPrintable(QString::number(gentle)));
    // A larger aspect ratio draws the view flatter.
    QVERIFY(lightRange(relief_light(slope, 20000, 1000, 10)).second > steep + 0.2);
    // Spans and ratios that are not usable count as 1.
    QCOMPARE(relief_light(slope, 0, -1, std::nan("")), relief_light(slope, 1, 1, 1));
}

void TestView3dRules::reliefLightsBothSidesAlike()
{
    // Which way the rows run does not matter: the side facing up is lit.
    MeshRows m = surfaceMesh([](double x, double y) { return 300 + 0.2 * x - 0.1 * y + 1e-4 * x * y; });
    const field2D light = relief_light(m, 2000, 1000, 2);
    // Rows in reverse order turn the surface's normal over.
    std::reverse(m.begin(), m.end());
    field2D flipped = relief_light(m, 2000, 1000, 2);
    std::reverse(flipped.begin(), flipped.end());
    for (std::size_t i = 0; i < light.size(); ++i)
        for (std::size_t j = 0; j < light[i].size(); ++j)
            QVERIFY(std::abs(light[i][j] - flipped[i][j]) < 1e-6);
}

void TestView3dRules::reliefOfWalls()
{
    // Vertical walls (a fault: rows are sticks, items go down): a wall seen
    // edge-on by the light is in shadow, a wall facing it is fully lit.
    auto wall = [](QVector3D along) {
        MeshRows m(3, std::vector<QVector3D>(3));
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] = along * float(100 * i) + QVector3D(0, float(100 * j), 0);
        return m;
    };
    // The light comes from -x and -y (graph X and Z), three times more from x.
    const auto edge_on = lightRange(relief_light(wall(QVector3D(-1.5f, 0, -0.5f)), 1000, 1000, 1));
    QVERIFY(std::abs(edge_on.first - kReliefShadow) < 1e-6 && std::abs(edge_on.second - kReliefShadow) < 1e-6);
    const auto facing = lightRange(relief_light(wall(QVector3D(0.5f, 0, -1.5f)), 1000, 1000, 1));
    QVERIFY(facing.first > 1 - 1e-6 && facing.second == 1.0);
    // Repeated points (a padded stick) leave no surface: full colour.
    MeshRows padded(2, std::vector<QVector3D>(3, QVector3D(5, 5, 5)));
    QCOMPARE(lightRange(relief_light(padded, 1000, 1000, 1)), std::make_pair(1.0, 1.0));
}

void TestView3dRules::lightByDepth()
{
    // Two sticks of three points at depths 0, 50 and 100 (the second stick's
    // deepest point repeated); four slices of 25 m.
    const MeshRows mesh{{QVector3D(0, 0, 0), QVector3D(0, 50, 0), QVector3D(0, 100, 0)},
                        {QVector3D(0, 0, 1), QVector3D(0, 50, 1), QVector3D(0, 50, 1)}};
    const field2D light{{0.5, 0.6, 0.9}, {0.7, 0.8, 0.8}};
    const std::vector<double> byDepth = light_by_depth(mesh, light, 4);
    QCOMPARE(byDepth.size(), std::size_t(4));
    QCOMPARE(byDepth[0], 0.6);   // depth 0: (0.5 + 0.7) / 2
    QCOMPARE(byDepth[1], 0.6);   // no node: the shallower neighbour on a tie
    QCOMPARE(byDepth[2], (0.6 + 0.8 + 0.8) / 3);  // depth 50
    QCOMPARE(byDepth[3], 0.9);   // depth 100
    // No depth extent: full light.
    const MeshRows flat{{QVector3D(0, 5, 0), QVector3D(1, 5, 0)}};
    QCOMPARE(light_by_depth(flat, field2D{{0.5, 0.5}}, 3), std::vector<double>(3, 1.0));
    QCOMPARE(light_by_depth({}, {}, 2), std::vector<double>(2, 1.0));
}

// ---------------------------------------------------------------------------

void TestView3dRules::faultRowsArePaddedAndSorted()
{
    std::vector<std::vector<QVector3D>> sticks;
    sticks.push_back({QVector3D(1, 2, 30), QVector3D(1, 2, 10), QVector3D(1, 2, 20)});
    sticks.push_back({QVector3D(5, 6, 1), QVector3D(5, 6, 2), QVector3D(5, 6, 3), QVector3D(5, 6, 4),
                      QVector3D(5, 6, 5)});
    sticks.push_back({QVector3D(7, 8, 4), QVector3D(7, 8, 1), QVector3D(7, 8, 2), QVector3D(7, 8, 3)});
    const MeshRows rows = fault_rows(sticks);
    QCOMPARE(rows.size(), std::size_t(3));
    for (const auto& r : rows)
        QCOMPARE(r.size(), std::size_t(5));
    // Sorted by depth, graph position (x, depth, y), padded with the deepest point.
    QCOMPARE(rows[0][0], QVector3D(1, 10, 2));
    QCOMPARE(rows[0][1], QVector3D(1, 20, 2));
    QCOMPARE(rows[0][2], QVector3D(1, 30, 2));
    QCOMPARE(rows[0][4], QVector3D(1, 30, 2));
    QCOMPARE(rows[1][4], QVector3D(5, 5, 6));
    QCOMPARE(rows[2][0], QVector3D(7, 1, 8));
    QCOMPARE(rows[2][3], QVector3D(7, 4, 8));
    QCOMPARE(rows[2][4], QVector3D(7, 4, 8));
}

void TestView3dRules::faultRowsSkipEmptySticks()
{
    std::vector<std::vector<QVector3D>> sticks{{}, {QVector3D(0, 0, 2), QVector3D(0, 0, 1)}, {}};
    const MeshRows rows = fault_rows(sticks);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0][0], QVector3D(0, 1, 0));
    QVERIFY(fault_rows({}).empty());
    QVERIFY(fault_rows({{}, {}}).empty());
}

void TestView3dRules::sticksExtent()
{
    std::vector<std::vector<std::vector<QVector3D>>> faults(2);
    faults[0].push_back({QVector3D(10, -200, 50), QVector3D(12, 0, 400)});
    faults[1].push_back({});
    faults[1].push_back({QVector3D(-5, 1200, 80)});
    const Extent e = sticks_extent(faults);
    QVERIFY(e.ok);
    QCOMPARE(e.e, (std::array<double, 6>{{-5, 12, -200, 1200, 50, 400}}));
    QVERIFY(!sticks_extent({}).ok);
    QVERIFY(!sticks_extent({{{}}}).ok);
}

// ---------------------------------------------------------------------------

void TestView3dRules::cropDefaults_data()
{
    QTest::addColumn<QVector<int>>("borders");
    QTest::addColumn<QVector<int>>("written");
    QTest::addColumn<QVector<int>>("used");
    // left, right, front, back, top, bottom on a cube of 30 columns, 20 rows, 10 levels
    QTest::newRow("all unset") << QVector<int>{-1, -1, -1, -1, -1, -1} << QVector<int>{0, 29, 0, 19, 0, 9}
                               << QVector<int>{0, 29, 0, 19, 0, 9};
    QTest::newRow("bottom beyond the cube") << QVector<int>{0, 29, 0, 19, 0, 15} << QVector<int>{0, 29, 0, 19, 0, 15}
                                            << QVector<int>{0, 29, 0, 19, 0, 9};
    QTest::newRow("crossed borders kept") << QVector<int>{20, 5, 12, 3, 7, 2} << QVector<int>{20, 5, 12, 3, 7, 2}
                                          << QVector<int>{20, 5, 12, 3, 7, 2};
    QTest::newRow("mixed") << QVector<int>{-1, 40, -7, 25, 100, -1} << QVector<int>{0, 40, 0, 25, 100, 9}
                           << QVector<int>{0, 29, 0, 19, 9, 9};
}

void TestView3dRules::cropDefaults()
{
    QFETCH(QVector<int>, borders);
    QFETCH(QVector<int>, written);
    QFETCH(QVector<int>, used);
    CropBorders b;
    std::copy(borders.begin(), borders.end(), b.begin());
    const CropBorders u = fix_crop_borders(b, 30, 20, 10);
    QCOMPARE(QVector<int>(b.begin(), b.end()), written);
    QCOMPARE(QVector<int>(u.begin(), u.end()), used);
}

void TestView3dRules::cutFaces()
{
    const vector3D cube = numbered_cube(4, 3, 5);  // nz 4, ny 3, nx 5
    // left 1, right 3, front 0, back 2, top 1, bottom 3
    const CubeFaces f = cut_faces(cube, {{1, 3, 0, 2, 1, 3}}, false);
    // Level faces [row][column].
    QCOMPARE(f.bottom.size(), std::size_t(3));
    QCOMPARE(f.bottom[0].size(), std::size_t(5));
    QCOMPARE(f.bottom[2][4], data_type(324));
    QCOMPARE(f.top[1][3], data_type(-113));
    // Column faces [row][level].
    QCOMPARE(f.left.size(), std::size_t(3));
    QCOMPARE(f.left[0].size(), std::size_t(4));
    QCOMPARE(f.left[2][3], data_type(-321));
    QCOMPARE(f.right[1][2], data_type(-213));
    // Row faces [level][column].
    QCOMPARE(f.back.size(), std::size_t(4));
    QCOMPARE(f.back[0].size(), std::size_t(5));
    QCOMPARE(f.back[3][4], data_type(324));
    QCOMPARE(f.front[2][1], data_type(-201));
}

void TestView3dRules::cutFacesAbsolute()
{
    const vector3D cube = numbered_cube(2, 2, 2);
    const CubeFaces f = cut_faces(cube, {{0, 1, 0, 1, 0, 1}}, true);
    for (const vector2D* g : {&f.bottom, &f.top, &f.left, &f.right, &f.back, &f.front})
        for (const auto& row : *g)
            for (data_type v : row)
                QVERIFY(v >= 0);
    QCOMPARE(f.right[1][1], data_type(111));
    QVERIFY(cut_faces({}, {{0, 0, 0, 0, 0, 0}}, false).top.empty());
}

// Plan limits cut the faces to the nodes inside them and move a face that
// lies outside to the last node inside; crop indexes inside stay.
void TestView3dRules::cutCubeToPlanLimits()
{
    const vector3D cube = numbered_cube(4, 6, 11);  // nz 4, ny 6, nx 11
    const std::vector<double> x = nodes(11, 0, 100), y = nodes(6, 0, 100), z = nodes(4, 0, 100);
    // left 1, right 10, front 0, back 5, top 2, bottom 3
    const CubeCut cut = cut_cube(x, y, z, {{1, 10, 0, 5, 2, 3}}, {250, 720, 90, 400, -10, 1000});
    QCOMPARE(cut.runs[0], (NodeRun{3, 5}));
    QCOMPARE(cut.runs[1], (NodeRun{1, 4}));
    QCOMPARE(cut.runs[2], (NodeRun{0, 4}));
    QCOMPARE(QVector<int>(cut.at.begin(), cut.at.end()), (QVector<int>{3, 7, 1, 4, 2, 3}));
    const CubeFaces f = cut_cube_faces(cube, cut, false);
    QCOMPARE(f.left.size(), std::size_t(4));  // rows 1 .. 4
    QCOMPARE(f.left[0].size(), std::size_t(4));
    QCOMPARE(f.left[0][2], cube[2][1][3]);
    QCOMPARE(f.top.size(), std::size_t(4));
    QCOMPARE(f.top[0].size(), std::size_t(5));  // columns 3 .. 7
    QCOMPARE(f.top[3][4], cube[2][4][7]);
    QCOMPARE(f.front.size(), std::size_t(4));  // [level][column]
    QCOMPARE(f.front[1][0], cube[1][1][3]);
    QCOMPARE(cut_face(cube, crop::Face::Right, cut, false), f.right);
    // Without limits: the whole cube, the indexes as given.
    const CubeCut whole = cut_cube(x, y, z, {{1, 10, 0, 5, 2, 3}}, {});
    QCOMPARE(QVector<int>(whole.at.begin(), whole.at.end()), (QVector<int>{1, 10, 0, 5, 2, 3}));
    QCOMPARE(cut_cube_faces(cube, whole, false).top, cube[2]);
    // Nothing inside on one axis: nothing drawn.
    const CubeCut none = cut_cube(x, y, z, {{1, 10, 0, 5, 2, 3}}, {250, 720, 90, 400, 2000, 3000});
    QVERIFY(none.empty());
    QVERIFY(cut_cube_faces(cube, none, false).top.empty());
}

// ---------------------------------------------------------------------------

void TestView3dRules::extendBoundFromUnset()
{
    double lo = 1e20, hi = -1e20;
    extend_bound(5, lo, hi);  // one value sets both ends
    QCOMPARE(lo, 5.0);
    QCOMPARE(hi, 5.0);
    extend_bounds({3, 9, 4}, lo, hi);
    QCOMPARE(lo, 3.0);
    QCOMPARE(hi, 9.0);
}

void TestView3dRules::axisRange_data()
{
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("span 1000") << 0.0 << 1000.0 << true << -25.0 << 1025.0;
    QTest::newRow("span 40") << 10.0 << 50.0 << true << 9.0 << 51.0;
    QTest::newRow("cleared bounds") << 1e20 << -1e20 << false << 0.0 << 0.0;
    QTest::newRow("construction bounds") << 1e10 << -1e10 << false << 0.0 << 0.0;
    QTest::newRow("one value") << 200.0 << 200.0 << true << 190.0 << 210.0;
    QTest::newRow("zero") << 0.0 << 0.0 << true << -1.0 << 1.0;
    QTest::newRow("NaN") << double(NAN) << 1.0 << false << 0.0 << 0.0;
    QTest::newRow("beyond float") << -1e39 << 1e39 << false << 0.0 << 0.0;
}

void TestView3dRules::axisRange()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(bool, valid);
    QFETCH(double, lower);
    QFETCH(double, upper);
    const AxisRange r = axis_range(lo, hi);
    QCOMPARE(r.valid, valid);
    if (valid) {
        QCOMPARE(r.lower, lower);
        QCOMPARE(r.upper, upper);
        QVERIFY(float(r.lower) < float(r.upper));
    }
}

void TestView3dRules::surfaceBounds_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("withFaults");
    QTest::addColumn<QVector<double>>("bounds");  // min x, max x, min y, max y, min z, max z
    // Grid: x 0..500, y 0..1000, depth 0..300. Horizons: x 10..20, y 30..40,
    // deepest 700. Faults: x 100..400, y -200..1200, depth 50..250.
    // Window limits: -1..1, -2..2, -3..3. Current: 1..2 on every axis.
    QTest::newRow("window limits, faults ignored") << "limits" << true << QVector<double>{-1, 1, -2, 2, -3, 3};
    QTest::newRow("grid") << "grid" << false << QVector<double>{0, 500, 0, 1000, 0, 300};
    QTest::newRow("grid widened in y by faults") << "grid" << true << QVector<double>{0, 500, -200, 1200, 0, 300};
    QTest::newRow("horizons from depth 0") << "horizons" << false << QVector<double>{10, 20, 30, 40, 0, 700};
    QTest::newRow("horizons and faults") << "horizons" << true << QVector<double>{10, 400, -200, 1200, 0, 700};
    QTest::newRow("nothing keeps the current") << "none" << false << QVector<double>{1, 2, 1, 2, 1, 2};
    QTest::newRow("faults only") << "none" << true << QVector<double>{1, 400, -200, 1200, 1, 250};
}

void TestView3dRules::surfaceBounds()
{
    QFETCH(QString, source);
    QFETCH(bool, withFaults);
    QFETCH(QVector<double>, bounds);
    const std::vector<double> x{0, 250, 500}, y{0, 500, 1000}, z{0, 100, 200, 300};
    SurfaceSizeInput in;
    if (source == "limits") {
        in.window_limits = {-1, 1, -2, 2, -3, 3};
        in.x = &x, in.y = &y, in.z = &z;
    } else if (source == "grid") {
        in.x = &x, in.y = &y, in.z = &z;
    } else if (source == "horizons") {
        in.horizons_params = {2, 2, 10, 20, 30, 40};
        in.horizons_deepest = 700;
    }
    if (withFaults) {
        in.faults.ok = true;
        in.faults.e = {{100, 400, -200, 1200, 50, 250}};
    }
    ViewBounds current;
    current.min_x = current.min_y = current.min_z = 1;
    current.max_x = current.max_y = current.max_z = 2;
    const ViewBounds b = surface_bounds(current, in);
    QCOMPARE((QVector<double>{b.min_x, b.max_x, b.min_y, b.max_y, b.min_z, b.max_z}), bounds);
}

// ---------------------------------------------------------------------------

void TestView3dRules::usableRange_data()
{
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("ordinary") << 2.2 << 2.8 << 2.2 << 2.8;
    QTest::newRow("reversed") << 5.0 << -5.0 << -5.0 << 5.0;
    QTest::newRow("constant") << 2.5 << 2.5 << 2.475 << 2.525;
    QTest::newRow("negative constant") << -200.0 << -200.0 << -202.0 << -198.0;
    QTest::newRow("zero") << 0.0 << 0.0 << -1.0 << 1.0;
    QTest::newRow("infinite") << 0.0 << double(INFINITY) << 0.0 << 1.0;
}

void TestView3dRules::usableRange()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, lower);
    QFETCH(double, upper);
    const auto r = usable_range(lo, hi);
    QVERIFY(std::abs(r.first - lower) < 1e-12);
    QVERIFY(std::abs(r.second - upper) < 1e-12);
    QVERIFY(r.first < r.second);
}

void TestView3dRules::cubeTextureRange_data()
{
    QTest::addColumn<bool>("reg");
    QTest::addColumn<bool>("absReg");
    QTest::addColumn<std::vector<double>>("manual");
    QTest::addColumn<double>("fill");  // NaN: the numbered cube
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    const double numbered = double(NAN);
    // The numbered 3 x 3 x 3 cube runs from -221 to 222.
    QTest::newRow("automatic") << false << false << std::vector<double>{} << numbered << -221.0 << 222.0;
    QTest::newRow("manual") << false << false << std::vector<double>{2.2, 2.8} << numbered << 2.2 << 2.8;
    QTest::newRow("manual, one value is automatic") << false << false << std::vector<double>{2.2} << numbered
                                                    << -221.0 << 222.0;
    QTest::newRow("signed regularizer ignores manual") << true << false << std::vector<double>{2.2, 2.8}
                                                       << numbered << -1.0 << 1.0;
    QTest::newRow("regularizer magnitude") << true << true << std::vector<double>{} << numbered << 0.0 << 1.0;
    QTest::newRow("constant cube") << false << false << std::vector<double>{} << 2.0 << 1.98 << 2.02;
    QTest::newRow("zero cube") << false << false << std::vector<double>{} << 0.0 << -1.0 << 1.0;
}

void TestView3dRules::cubeTextureRange()
{
    QFETCH(bool, reg);
    QFETCH(bool, absReg);
    QFETCH(std::vector<double>, manual);
    QFETCH(double, fill);
    QFETCH(double, lower);
    QFETCH(double, upper);
    vector3D cube = numbered_cube(3, 3, 3);
    if (!std::isnan(fill))
        cube.assign(3, vector2D(3, std::vector<data_type>(3, data_type(fill))));
    const auto r = cube_texture_range(reg, absReg, manual, cube);
    QVERIFY2(std::abs(r.first - lower) < 1e-6, qPrintable(QString::number(r.first)));
    QVERIFY2(std::abs(r.second - upper) < 1e-6, qPrintable(QString::number(r.second)));
}

void TestView3dRules::ownGradientStops()
{
    const QMap<double, QColor> a = own_gradient_stops(4);
    QCOMPARE(a.keys(), (QList<double>{0, 0.25, 0.5, 0.75, 1}));
    QCOMPARE(a.value(0), QColor(0, 0, 76));
    QCOMPARE(a.value(0.25), QColor(0, 0, 255));
    QCOMPARE(a.value(0.5), QColor(Qt::white));
    QCOMPARE(a.value(0.75), QColor(255, 0, 0));
    QCOMPARE(a.value(1), QColor(127, 0, 0));
    const QMap<double, QColor> b = own_gradient_stops(5);
    QCOMPARE(b.keys(), (QList<double>{0, 0.49, 0.51, 0.53, 1}));
    QCOMPARE(b.value(0), QColor(176, 15, 15));
    QCOMPARE(b.value(0.49), QColor(209, 237, 191));
    QCOMPARE(b.value(0.51), QColor(255, 255, 255));
    QCOMPARE(b.value(0.53), QColor(222, 255, 255));
    QCOMPARE(b.value(1), QColor(0, 0, 0));
    for (const QColor& c : a.values() + b.values())
        QCOMPARE(c.alpha(), 255);
    for (int type : {-1, 0, 3, 6, 7})
        QVERIFY(own_gradient_stops(type).isEmpty());
}

QTEST_APPLESS_MAIN(TestView3dRules)
#include "tst_view3d_rules.moc"
