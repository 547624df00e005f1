// The crop-slider rules without a display: which face each slider moves and
// where it sits in the 3D view, the index a face is drawn at, the face grids
// (checked against the full redraw's own face cutter), and the slider labels.
#include <QtTest>

#include "views/crop_rules.h"
#include "views/view3d_rules.h"

using crop::Face;
Q_DECLARE_METATYPE(crop::Face)

namespace {

// Cell (l, r, c) = 100 l + 10 r + c - 50 (some negative values).
vector3D numbered(int nz, int ny, int nx)
{
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int l = 0; l < nz; ++l)
        for (int r = 0; r < ny; ++r)
            for (int c = 0; c < nx; ++c)
                cube[l][r][c] = float(100 * l + 10 * r + c - 50);
    return cube;
}

}  // namespace

class TestCropRules : public QObject
{
    Q_OBJECT

private slots:
    void facesOfTheSliders_data();
    void facesOfTheSliders();
    void drawnIndex_data();
    void drawnIndex();
    void faceGridMatchesTheFullRedraw_data();
    void faceGridMatchesTheFullRedraw();
    void faceGridLayouts();
    void faceGridOutsideTheCubeIsEmpty();
    void sliderLabels_data();
    void sliderLabels();
};

void TestCropRules::facesOfTheSliders_data()
{
    QTest::addColumn<Face>("face");
    QTest::addColumn<int>("slot");      // member of crop_borders
    QTest::addColumn<int>("axis");      // 0 x, 1 y, 2 depth
    QTest::addColumn<int>("position");  // series position in the 3D view
    QTest::addColumn<bool>("first");    // flag of the replace operation
    QTest::newRow("left") << Face::Left << 0 << 0 << 2 << true;
    QTest::newRow("right") << Face::Right << 1 << 0 << 3 << false;
    QTest::newRow("front") << Face::Front << 2 << 1 << 5 << true;
    QTest::newRow("back") << Face::Back << 3 << 1 << 4 << false;
    QTest::newRow("top") << Face::Top << 4 << 2 << 1 << true;
    QTest::newRow("bottom") << Face::Bottom << 5 << 2 << 0 << false;
}

void TestCropRules::facesOfTheSliders()
{
    QFETCH(Face, face);
    QFETCH(int, slot);
    QFETCH(int, axis);
    QFETCH(int, position);
    QFETCH(bool, first);
    QCOMPARE(crop::border_slot(face), slot);
    QCOMPARE(crop::face_axis(face), axis);
    QCOMPARE(crop::view_position(face), position);
    QCOMPARE(crop::first_of_pair(face), first);
}

void TestCropRules::drawnIndex_data()
{
    QTest::addColumn<Face>("face");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("drawn");
    QTest::newRow("inside") << Face::Left << 3 << 11 << 3;
    QTest::newRow("last node") << Face::Right << 10 << 11 << 10;
    QTest::newRow("beyond the last node") << Face::Bottom << 15 << 10 << 9;
    QTest::newRow("unset left: first") << Face::Left << -1 << 11 << 0;
    QTest::newRow("unset front: first") << Face::Front << -1 << 7 << 0;
    QTest::newRow("unset top: first") << Face::Top << -1 << 5 << 0;
    QTest::newRow("unset right: last") << Face::Right << -1 << 11 << 10;
    QTest::newRow("unset back: last") << Face::Back << -1 << 7 << 6;
    QTest::newRow("unset bottom: last") << Face::Bottom << -1 << 5 << 4;
    QTest::newRow("single node") << Face::Top << 4 << 1 << 0;
    QTest::newRow("no node") << Face::Top << 0 << 0 << -1;
}

void TestCropRules::drawnIndex()
{
    QFETCH(Face, face);
    QFETCH(int, index);
    QFETCH(int, n);
    QFETCH(int, drawn);
    QCOMPARE(crop::drawn_index(face, index, n), drawn);
}

void TestCropRules::faceGridMatchesTheFullRedraw_data()
{
    QTest::addColumn<bool>("absolute");
    QTest::newRow("signed") << false;
    QTest::newRow("absolute") << true;
}

// A face moved by a slider shows what the full redraw would draw at the same
// index: every face at every index equals view3d::cut_faces' face.
void TestCropRules::faceGridMatchesTheFullRedraw()
{
    QFETCH(bool, absolute);
    const int nz = 4, ny = 3, nx = 5;
    const vector3D cube = numbered(nz, ny, nx);
    const int counts[3] = {nx, ny, nz};
    for (Face f : crop::all_faces) {
        for (int i = 0; i < counts[crop::face_axis(f)]; ++i) {
            view3d::CropBorders at{{0, nx - 1, 0, ny - 1, 0, nz - 1}};
            at[std::size_t(crop::border_slot(f))] = i;
            const view3d::CubeFaces all = view3d::cut_faces(cube, at, absolute);
            const vector2D* expected = nullptr;
            switch (f) {
            case Face::Left: expected = &all.left; break;
            case Face::Right: expected = &all.right; break;
            case Face::Front: expected = &all.front; break;
            case Face::Back: expected = &all.back; break;
            case Face::Top: expected = &all.top; break;
            case Face::Bottom: expected = &all.bottom; break;
            }
            QVERIFY2(crop::face_grid(cube, f, i, absolute) == *expected,
                     qPrintable(QString("face %1 index %2").arg(crop::border_slot(f)).arg(i)));
        }
    }
}

void TestCropRules::faceGridLayouts()
{
    const vector3D cube = numbered(4, 3, 5);  // nz 4, ny 3, nx 5
    // Column 2: [row][level].
    const vector2D left = crop::face_grid(cube, Face::Left, 2, false);
    QCOMPARE(int(left.size()), 3);
    QCOMPARE(int(left[0].size()), 4);
    QCOMPARE(left[1][3], 100.0f * 3 + 10 * 1 + 2 - 50);
    // Row 1: [level][column].
    const vector2D front = crop::face_grid(cube, Face::Front, 1, false);
    QCOMPARE(int(front.size()), 4);
    QCOMPARE(int(front[0].size()), 5);
    QCOMPARE(front[2][4], 100.0f * 2 + 10 * 1 + 4 - 50);
    // Level 0 with magnitudes: -50 becomes 50; the cube is not changed.
    const vector2D top = crop::face_grid(cube, Face::Top, 0, true);
    QCOMPARE(top[0][0], 50.0f);
    QCOMPARE(cube[0][0][0], -50.0f);
    QCOMPARE(top, vector2D({{50, 49, 48, 47, 46}, {40, 39, 38, 37, 36}, {30, 29, 28, 27, 26}}));
}

void TestCropRules::faceGridOutsideTheCubeIsEmpty()
{
    const vector3D cube = numbered(2, 2, 2);
    QVERIFY(crop::face_grid(cube, Face::Right, 2, false).empty());
    QVERIFY(crop::face_grid(cube, Face::Back, -1, false).empty());
    QVERIFY(crop::face_grid(vector3D(), Face::Top, 0, false).empty());
}

void TestCropRules::sliderLabels_data()
{
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("N");
    QTest::addColumn<QString>("text");
    // 11 columns from 1000 to 2000: position 3 is x = 1300.
    QTest::newRow("x 1300") << 1000.0 << 2000.0 << 11 << 3 << "<html><p align='center'>X = 1300</html>";
    // Enough digits to tell neighbouring nodes of a projected grid apart.
    QTest::newRow("seven digits") << 0.0 << 1234567.0 << 2 << 1 << "<html><p align='center'>X = 1234567</html>";
    QTest::newRow("northing, 1 m apart") << 6555250.0 << 6555260.0 << 11 << 3
                                         << "<html><p align='center'>X = 6555253</html>";
    QTest::newRow("step 24.691224") << 6512345.5 << 6512345.5 + 3 * 24.691224 << 4 << 1
                                    << "<html><p align='center'>X = 6512370.191224</html>";
    QTest::newRow("fraction") << 0.0 << 1.0 << 4 << 1 << "<html><p align='center'>X = 0.333333333333333</html>";
    // A single node: the label shows that node whatever the position.
    QTest::newRow("single node") << 250.0 << 250.0 << 1 << 0 << "<html><p align='center'>X = 250</html>";
}

void TestCropRules::sliderLabels()
{
    QFETCH(double, first);
    QFETCH(double, last);
    QFETCH(int, count);
    QFETCH(int, N);
    QFETCH(QString, text);
    const double step = crop::node_step(first, last, count);
    QVERIFY(std::isfinite(step));
    QCOMPARE(crop::slider_label("X", crop::slider_coordinate(N, step, first)), text);
}

QTEST_APPLESS_MAIN(TestCropRules)
#include "tst_crop_rules.moc"
