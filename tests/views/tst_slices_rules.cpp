// Slice-export rules without files: slice counts and shapes, the geometry
// record of each kind, the slice grids, the base name and the file names.
#include <QtTest>

#include "views/slice_export.h"

using slices::Kind;
Q_DECLARE_METATYPE(slices::Kind)

namespace {

// Cell (l, r, c) = 100 l + 10 r + c.
vector3D numbered(int nz, int ny, int nx)
{
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int l = 0; l < nz; ++l)
        for (int r = 0; r < ny; ++r)
            for (int c = 0; c < nx; ++c)
                cube[l][r][c] = float(100 * l + 10 * r + c);
    return cube;
}

const std::vector<double> X{1000, 1100, 1200, 1300};
const std::vector<double> Y{0, 500, 1000};
const std::vector<double> Z{0, 250};

}  // namespace

class TestSlicesRules : public QObject
{
    Q_OBJECT

private slots:
    void shapes_data();
    void shapes();
    void geometry();
    void sliceGrids();
    void baseName_data();
    void baseName();
    void fileNames();
    void fileNamesThatWouldCollide();
};

void TestSlicesRules::shapes_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("writable");
    QTest::newRow("levels") << Kind::Levels << 4 << 3 << 2 << 2 << 3 << 4 << true;
    QTest::newRow("rows") << Kind::Rows << 4 << 3 << 2 << 3 << 2 << 4 << true;
    QTest::newRow("columns") << Kind::Columns << 4 << 3 << 2 << 4 << 2 << 3 << true;
    // One level: the vertical slices would be one-row grids.
    QTest::newRow("rows of one level") << Kind::Rows << 4 << 3 << 1 << 3 << 1 << 4 << false;
    QTest::newRow("columns of one level") << Kind::Columns << 4 << 3 << 1 << 4 << 1 << 3 << false;
    QTest::newRow("levels of one level") << Kind::Levels << 4 << 3 << 1 << 1 << 3 << 4 << true;
    // One row of the cube.
    QTest::newRow("levels of one row") << Kind::Levels << 4 << 1 << 3 << 3 << 1 << 4 << false;
    QTest::newRow("rows of one row") << Kind::Rows << 4 << 1 << 3 << 1 << 3 << 4 << true;
    QTest::newRow("columns of one row") << Kind::Columns << 4 << 1 << 3 << 4 << 3 << 1 << false;
    QTest::newRow("levels of one column") << Kind::Levels << 1 << 3 << 3 << 3 << 3 << 1 << false;
}

void TestSlicesRules::shapes()
{
    QFETCH(Kind, kind);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(int, count);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, writable);
    QCOMPARE(slices::slice_count(kind, nx, ny, nz), count);
    QCOMPARE(slices::slice_rows(kind, nx, ny, nz), rows);
    QCOMPARE(slices::slice_columns(kind, nx, ny, nz), columns);
    QCOMPARE(slices::slices_writable(kind, nx, ny, nz), writable);
}

void TestSlicesRules::geometry()
{
    QCOMPARE(slices::slice_geometry(Kind::Levels, X, Y, Z), (std::vector<double>{4, 3, 1000, 1300, 0, 1000}));
    QCOMPARE(slices::slice_geometry(Kind::Rows, X, Y, Z), (std::vector<double>{4, 2, 1000, 1300, 0, 250}));
    QCOMPARE(slices::slice_geometry(Kind::Columns, X, Y, Z), (std::vector<double>{3, 2, 0, 1000, 0, 250}));
    QCOMPARE(&slices::naming_nodes(Kind::Levels, X, Y, Z), &Z);
    QCOMPARE(&slices::naming_nodes(Kind::Rows, X, Y, Z), &Y);
    QCOMPARE(&slices::naming_nodes(Kind::Columns, X, Y, Z), &X);
}

void TestSlicesRules::sliceGrids()
{
    const vector3D cube = numbered(2, 3, 4);
    QCOMPARE(slices::level_slice(cube, 1), cube[1]);
    // Row 2: [level][column], the top level first.
    QCOMPARE(slices::row_slice(cube, 2), (field2D{{20, 21, 22, 23}, {120, 121, 122, 123}}));
    // Column 3: [level][row].
    QCOMPARE(slices::column_slice(cube, 3), (field2D{{3, 13, 23}, {103, 113, 123}}));
}

void TestSlicesRules::baseName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("base");
    QTest::newRow("grd") << "/data/model.grd" << "/data/model";
    QTest::newRow("upper case") << "/data/model.GRD" << "/data/model";
    // A name without the suffix keeps all its characters.
    QTest::newRow("no suffix") << "/data/slices" << "/data/slices";
    QTest::newRow("other suffix") << "/data/slices.txt" << "/data/slices.txt";
    QTest::newRow("dots in the folder") << "/data.v2/a.b.grd" << "/data.v2/a.b";
}

void TestSlicesRules::baseName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, base);
    QCOMPARE(slices::base_name(chosen), base);
}

void TestSlicesRules::fileNames()
{
    QCOMPARE(slices::slice_file_names("/d/model", Kind::Levels, {0, 250, 500}),
             (QStringList{"/d/model Z = 0.grd", "/d/model Z = 250.grd", "/d/model Z = 500.grd"}));
    QCOMPARE(slices::slice_file_names("m", Kind::Rows, {-12.5, 1234567}),
             (QStringList{"m Y = -12.5.grd", "m Y = 1.23457e+06.grd"}));
    QCOMPARE(slices::slice_file_names("m", Kind::Columns, {0.1}), QStringList{"m X = 0.1.grd"});
    QVERIFY(slices::slice_file_names("m", Kind::Columns, {}).isEmpty());
}

// Coordinates that agree in six significant digits would write one file over
// the other: all names of the export then carry enough digits to differ.
void TestSlicesRules::fileNamesThatWouldCollide()
{
    const QStringList names = slices::slice_file_names("m", Kind::Columns, {1234567, 1234568, 1234569});
    QCOMPARE(names, (QStringList{"m X = 1234567.grd", "m X = 1234568.grd", "m X = 1234569.grd"}));
    const QStringList fine = slices::slice_file_names("m", Kind::Levels, {100.0000001, 100.0000002});
    QCOMPARE(fine.size(), 2);
    QVERIFY(fine[0] != fine[1]);
    QCOMPARE(fine[0], QString("m Z = 100.0000001.grd"));
}

QTEST_APPLESS_MAIN(TestSlicesRules)
#include "tst_slices_rules.moc"
