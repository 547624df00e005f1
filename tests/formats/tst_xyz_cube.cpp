// XYZDens text cubes and the cell table: round trips, the line order on
// disk, files of other software, malformed files, stops between blocks.
#include "format_test_support.h"
#include "common/grid_geometry.h"
#include "formats/xyz_cube.h"
#include "test_nodes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(vector3D)

namespace {

// The XYZDens text of a cube, built here line by line with printf, in the
// documented order: x slowest, then y, then levels from the deepest up, z
// negated.
QByteArray xyzText(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<double>& z)
{
    QByteArray out;
    char line[200];
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < y.size(); ++j)
            for (std::size_t k = z.size(); k-- > 0;) {
                std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.9g\n", x[i], y[j], -z[k],
                              double(cube[k][j][i]));
                out += line;
            }
    return out;
}

QList<QByteArray> fileLines(const QString& path)
{
    QList<QByteArray> lines = read_file(path).split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// Outputs pre-filled with something recognisable, to see that a failed read
// leaves them alone.
struct Outputs {
    vector3D cube{vector2D{std::vector<data_type>{7.0f}}};
    std::vector<double> x{-1}, y{-2}, z{-3};
    bool untouched() const
    {
        return cube == vector3D{vector2D{std::vector<data_type>{7.0f}}} && x == std::vector<double>{-1} &&
               y == std::vector<double>{-2} && z == std::vector<double>{-3};
    }
};

}  // namespace

class TestXyzCube : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writtenLinesRunColumnByColumnFromTheDeepest();
    void exactTextOfATinyCube();
    void fullPrecisionKeepsNeighbouringUtmNodesApart();
    void readsFilesOfOtherSoftware_data();
    void readsFilesOfOtherSoftware();
    void columnsFromTheTopDownAreTurnedOver();
    void sixDigitUtmFilesRead_data();
    void sixDigitUtmFilesRead();
    void malformedFilesChangeNothing_data();
    void malformedFilesChangeNothing();
    void stopBetweenBlocksChangesNothing_data();
    void stopBetweenBlocksChangesNothing();
    void stoppedOrFailedWriteLeavesTheOldFile_data();
    void stoppedOrFailedWriteLeavesTheOldFile();
    void writerRefusesGridsItCannotDescribe_data();
    void writerRefusesGridsItCannotDescribe();
    void cellTableExactText();
    void cellTableOfAnEmptyGridIsEmpty();
    void cellTableKeepsEveryDigitAndStopsBetweenLevels();
};

void TestXyzCube::roundTrip_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    QTest::newRow("2 x 3 x 4") << 2 << 3 << 4 << 1000.0 << 25.0 << 5000.0 << 50.0 << 0.0 << 100.0;
    QTest::newRow("UTM nodes 2 m apart") << 5 << 4 << 3 << 512345.0 << 2.0 << 6543210.0 << 2.0 << 10.0 << 5.0;
    QTest::newRow("fractional steps") << 4 << 3 << 6 << 0.1 << 0.3 << -7.7 << 0.7 << 0.25 << 0.125;
    QTest::newRow("single column") << 1 << 1 << 7 << 10.0 << 1.0 << 20.0 << 1.0 << 50.0 << 50.0;
    QTest::newRow("single x block") << 1 << 5 << 3 << 10.0 << 1.0 << 20.0 << 10.0 << 0.0 << 50.0;
    QTest::newRow("single level") << 4 << 3 << 1 << 0.0 << 100.0 << 0.0 << 100.0 << 250.0 << 1.0;
    QTest::newRow("single row") << 6 << 1 << 2 << 0.0 << 10.0 << 300.0 << 1.0 << 0.0 << 10.0;
    QTest::newRow("descending x") << 3 << 2 << 2 << 900.0 << -50.0 << 0.0 << 10.0 << 0.0 << 10.0;
}

void TestXyzCube::roundTrip()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(double, y0);
    QFETCH(double, dy);
    QFETCH(double, z0);
    QFETCH(double, dz);
    QTemporaryDir dir;
    const QString path = dir.filePath("cube.xyz");
    vector3D cube = make_cube(nx, ny, nz, -3.25f);
    cube[0][0][0] = 1e-7f;
    cube.back().back().back() = 3.4e38f;
    const std::vector<double> x = even_nodes(x0, x0 + (nx - 1) * dx, nx);
    const std::vector<double> y = nodes(ny, y0, dy), z = nodes(nz, z0, dz);

    QVERIFY(write_xyz_cube(path, cube, x, y, z));
    QCOMPARE(fileLines(path).size(), nx * ny * nz);

    Outputs out;
    const CodecStatus status = read_xyz_cube(path, out.cube, out.x, out.y, out.z);
    QVERIFY2(status, qPrintable(status.message()));
    QVERIFY(out.cube == cube);  // every cell to the bit
    QVERIFY(out.x == x);
    QVERIFY(out.y == y);
    QVERIFY(out.z == z);
}

void TestXyzCube::writtenLinesRunColumnByColumnFromTheDeepest()
{
    // nx = 2, ny = 3, nz = 4: 24 lines; line 5 starts the second column with
    // the first z again, line 13 the second x block with the first y again.
    QTemporaryDir dir;
    const QString path = dir.filePath("cube.xyz");
    const vector3D cube = make_cube(2, 3, 4);
    const std::vector<double> x{1000, 1025}, y{5000, 5050, 5100}, z{0, 100, 200, 300};
    QVERIFY(write_xyz_cube(path, cube, x, y, z));
    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 24);
    int n = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 3; k >= 0; --k, ++n) {
                const QList<QByteArray> f = lines[n].split(' ');
                QCOMPARE(f.size(), 4);
                QCOMPARE(f[0].toDouble(), x[i]);
                QCOMPARE(f[1].toDouble(), y[j]);
                QCOMPARE(f[2].toDouble(), -z[k]);
                QCOMPARE(f[3].toFloat(), cube[k][j][i]);
            }
    QCOMPARE(lines[4].split(' ')[2], lines[0].split(' ')[2]);
    QCOMPARE(lines[12].split(' ')[1], lines[0].split(' ')[1]);
    QVERIFY(lines[12].split(' ')[0] != lines[0].split(' ')[0]);
}

void TestXyzCube::exactTextOfATinyCube()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tiny.xyz");
    // [level][row][column]; level 0 at depth 0 is written as z = 0, not -0.
    const vector3D cube{{{2.5f, -1.0f}}, {{2.75f, 0.1f}}};
    QVERIFY(write_xyz_cube(path, cube, {100, 150.5}, {6543210}, {0, 12.5}));
    QCOMPARE(read_file(path), QByteArray("100 6543210 -12.5 2.75\n"
                                         "100 6543210 0 2.5\n"
                                         "150.5 6543210 -12.5 0.1\n"
                                         "150.5 6543210 0 -1\n"));
}

void TestXyzCube::fullPrecisionKeepsNeighbouringUtmNodesApart()
{
    // With six significant digits 6543210 and 6543212 would both be written
    // as 6.54321e+06, and the file would read with the wrong shape.
    QTemporaryDir dir;
    const QString path = dir.filePath("utm.xyz");
    const vector3D cube = make_cube(3, 3, 2);
    const std::vector<double> x{512344.5, 512346.5, 512348.5}, y{6543210, 6543212, 6543214}, z{1000.25, 1002.25};
    QVERIFY(write_xyz_cube(path, cube, x, y, z));
    QVERIFY(read_file(path).startsWith("512344.5 6543210 -1002.25 "));
    Outputs out;
    QVERIFY(read_xyz_cube(path, out.cube, out.x, out.y, out.z));
    QVERIFY(out.cube == cube);
    QVERIFY(out.x == x && out.y == y && out.z == z);
}

void TestXyzCube::readsFilesOfOtherSoftware_data()
{
    QTest::addColumn<QByteArray>("text");
    // The same 2 x 2 x 2 cube each time: x {0, 10}, y {0, 20}, depths {5, 15};
    // value = 100 x + 10 y + depth / 5 with indexes.
    const QByteArray plain = "0 0 -15 1.3\n0 0 -5 1.1\n0 20 -15 11.3\n0 20 -5 11.1\n"
                             "10 0 -15 101.3\n10 0 -5 101.1\n10 20 -15 111.3\n10 20 -5 111.1\n";
    QTest::newRow("plain") << plain;
    QTest::newRow("tabs and CRLF") << QByteArray(plain).replace(' ', '\t').replace("\n", "\r\n");
    QTest::newRow("commas with blanks") << QByteArray(plain).replace(' ', ", ");
    QTest::newRow("commas only") << QByteArray(plain).replace(' ', ',');
    QTest::newRow("byte-order mark, padding, blank lines")
        << QByteArray("\xEF\xBB\xBF  0  0 -15 1.3  \n\n") + plain.mid(plain.indexOf('\n') + 1) + "\n\n  \n";
    QTest::newRow("no final line feed") << plain.left(plain.size() - 1);
    QTest::newRow("exponents and plus signs")
        << QByteArray("0e0 0 -1.5e1 +1.3\n0 0 -5 1.1E0\n0 2e1 -15 11.3\n0 20 -5 11.1\n"
                      "1e1 0 -15 101.3\n10 0 -5 101.1\n10 20 -15 111.3\n10 20 -5 111.1\n");
    QTest::newRow("a fifth column on every line")
        << QByteArray(plain).replace("\n", " 3000\n");
}

void TestXyzCube::readsFilesOfOtherSoftware()
{
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString path = dir.filePath("other.xyz");
    QVERIFY(write_file(path, text));
    Outputs out;
    const CodecStatus status = read_xyz_cube(path, out.cube, out.x, out.y, out.z);
    QVERIFY2(status, qPrintable(status.message()));
    const vector3D expected{{{1.1f, 101.1f}, {11.1f, 111.1f}}, {{1.3f, 101.3f}, {11.3f, 111.3f}}};
    QVERIFY(out.cube == expected);
    QVERIFY(out.x == (std::vector<double>{0, 10}));
    QVERIFY(out.y == (std::vector<double>{0, 20}));
    QVERIFY(out.z == (std::vector<double>{5, 15}));
}

void TestXyzCube::sixDigitUtmFilesRead_data()
{
    QTest::addColumn<bool>("exponents");
    QTest::addColumn<int>("rows");
    QTest::newRow("6.54321e+06 style") << true << 8;
    QTest::newRow("6-digit values without exponents") << false << 8;
    QTest::newRow("three rows") << true << 3;
}

// Other programs write coordinates with six significant digits: the UTM
// northings 6543210 + 25 i become 6.54321e+06, 6.54324e+06, 6.54326e+06, ...
// (or 6543240 without an exponent) and the eastings 512345.5 + 25 j 512346,
// 512370, 512396, ... The nodes are uneven in the text by up to the rounding
// of its digits; the file reads, and the nodes are the evenly spaced ones
// those digits stand for.
void TestXyzCube::sixDigitUtmFilesRead()
{
    QFETCH(bool, exponents);
    QFETCH(int, rows);
    const int nx = 4, ny = rows, nz = 5;
    const std::vector<double> x = nodes(nx, 512345.5, 25), y = nodes(ny, 6543210, 25), z = nodes(nz, 12.5, 24.691224);
    const vector3D cube = make_cube(nx, ny, nz);
    auto six = [exponents](double v) {
        QByteArray text = QByteArray::number(v, 'g', 6);
        if (!exponents && text.contains('e'))
            text = QByteArray::number(text.toDouble(), 'f', 0);
        return text;
    };
    QByteArray text;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = nz - 1; k >= 0; --k)
                text += six(x[i]) + ' ' + six(y[j]) + ' ' + six(-z[k]) + ' ' + six(cube[k][j][i]) + '\n';
    QVERIFY(text.startsWith(exponents ? "512346 6.54321e+06 -111.265 " : "512346 6543210 -111.265 "));
    QTemporaryDir dir;
    const QString path = dir.filePath("six.xyz");
    QVERIFY(write_file(path, text));
    Outputs out;
    const CodecStatus status = read_xyz_cube(path, out.cube, out.x, out.y, out.z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(out.cube.size(), size_t(nz));
    QCOMPARE(out.cube[0].size(), size_t(ny));
    QCOMPARE(out.cube[0][0].size(), size_t(nx));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                QVERIFY(std::fabs(out.cube[k][j][i] - cube[k][j][i]) <= 5e-6 * std::fabs(cube[k][j][i]));
    // Every node lies within the rounding of the digits written; with enough
    // rows the round northings come back exactly. (The eastings were all
    // rounded up from .5, so 512346 + 25 i fits the text as well as the
    // truth does.)
    for (int i = 0; i < nx; ++i)
        QVERIFY2(std::fabs(out.x[i] - x[i]) <= 0.5 + 1e-9, qPrintable(QString::number(out.x[i], 'g', 17)));
    for (int j = 0; j < ny; ++j)
        QVERIFY2(std::fabs(out.y[j] - y[j]) <= 5, qPrintable(QString::number(out.y[j], 'g', 17)));
    for (int k = 0; k < nz; ++k)
        QVERIFY2(std::fabs(out.z[k] - z[k]) <= 5e-4, qPrintable(QString::number(out.z[k], 'g', 17)));
    for (int j = 1; j < ny; ++j)
        QCOMPARE(out.y[j] - out.y[j - 1], out.y[1] - out.y[0]);
    for (int i = 1; i < nx; ++i)
        QCOMPARE(out.x[i] - out.x[i - 1], 25.0);
    if (ny >= 8)
        QCOMPARE(out.y, y);
}

void TestXyzCube::columnsFromTheTopDownAreTurnedOver()
{
    // Columns listed from the shallowest cell down are stored by their
    // depths all the same: level 0 is always the shallowest.
    QTemporaryDir dir;
    const QString path = dir.filePath("topdown.xyz");
    QVERIFY(write_file(path, "0 0 -5 1\n0 0 -15 2\n0 0 -25 3\n"
                             "10 0 -5 4\n10 0 -15 5\n10 0 -25 6\n"));
    Outputs out;
    QVERIFY(read_xyz_cube(path, out.cube, out.x, out.y, out.z));
    QVERIFY(out.z == (std::vector<double>{5, 15, 25}));
    const vector3D expected{{{1, 4}}, {{2, 5}}, {{3, 6}}};
    QVERIFY(out.cube == expected);
}

void TestXyzCube::malformedFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("names");  // a piece the message must hold

    const int bad_value = int(CodecError::BadValue), bad_grid = int(CodecError::BadGrid),
              truncated = int(CodecError::Truncated);
    // A good 2 x 2 x 2 file to spoil: lines 1-8.
    const QByteArray good = "0 0 -15 1\n0 0 -5 2\n0 20 -15 3\n0 20 -5 4\n"
                            "10 0 -15 5\n10 0 -5 6\n10 20 -15 7\n10 20 -5 8\n";
    auto replaceLine = [&good](int line, const QByteArray& with) {
        QList<QByteArray> lines = good.split('\n');
        lines[line - 1] = with;
        return lines.join('\n');
    };

    QTest::newRow("empty file") << QByteArray() << bad_grid << "holds no grid cells";
    QTest::newRow("blank lines only") << QByteArray("\n  \n\t\n") << bad_grid << "holds no grid cells";
    QTest::newRow("three fields on line 1") << replaceLine(1, "0 0 -15") << bad_value << "line 1 ";
    QTest::newRow("three fields on line 6") << replaceLine(6, "10 0 2") << bad_value << "line 6 ";
    QTest::newRow("five fields on line 3") << replaceLine(3, "0 20 -15 3 9") << bad_value << "line 3 ";
    QTest::newRow("two lines run together") << replaceLine(4, "0 20 -5 4 10 0 -15 5") << bad_value << "line 4 ";
    QTest::newRow("unreadable value") << replaceLine(5, "10 0 -15 2.6x7") << bad_value << "\"2.6x7\"";
    QTest::newRow("unreadable x") << replaceLine(7, "1O 20 -15 7") << bad_value << "line 7 ";
    QTest::newRow("decimal comma") << replaceLine(2, "0 0 -5 2,5") << bad_value << "line 2 ";
    QTest::newRow("two signs") << replaceLine(2, "0 0 -5 +-2") << bad_value << "line 2 ";
    QTest::newRow("coordinate not finite") << replaceLine(3, "0 nan -15 3") << bad_value << "line 3 ";
    QTest::newRow("value beyond a float") << replaceLine(8, "10 20 -5 1e39") << bad_value << "line 8 ";
    QTest::newRow("number beyond a double") << replaceLine(8, "10 20 -5 1e400") << bad_value << "line 8 ";
    QTest::newRow("level missing from the second column")
        << QByteArray("0 0 -25 1\n0 0 -15 2\n0 0 -5 3\n0 20 -25 4\n0 20 -5 6\n") << bad_grid << "line 5 ";
    QTest::newRow("second column starts at another depth")
        << QByteArray("0 0 -15 1\n0 0 -5 2\n0 20 -5 3\n0 20 -15 4\n") << bad_grid << "line 3 ";
    QTest::newRow("x changes inside a column") << replaceLine(4, "5 20 -5 4") << bad_grid << "line 4 ";
    QTest::newRow("x changes inside an x block") << replaceLine(7, "11 20 -15 7") << bad_grid << "line 7 ";
    QTest::newRow("rows in another order in the second block")
        << QByteArray("0 0 -5 1\n0 20 -5 2\n0 40 -5 3\n10 0 -5 4\n10 40 -5 5\n10 20 -5 6\n") << bad_grid
        << "line 5 ";
    QTest::newRow("second block starts at another y")
        << QByteArray("0 0 -5 1\n0 20 -5 2\n10 20 -5 3\n10 0 -5 4\n") << bad_grid << "line 3 ";
    QTest::newRow("first column repeated") << QByteArray("0 0 -15 1\n0 0 -5 2\n0 0 -15 3\n0 0 -5 4\n")
                                           << bad_grid << "line 3 ";
    QTest::newRow("x block repeated")
        << QByteArray("0 0 -5 1\n0 20 -5 2\n10 0 -5 3\n10 20 -5 4\n10 0 -5 5\n10 20 -5 6\n") << bad_grid
        << "line 5 ";
    QTest::newRow("file ends inside an x block") << good + "20 0 -15 9\n" << truncated << "x block 3";
    QTest::newRow("file ends inside a column") << QByteArray("0 0 -15 1\n0 0 -5 2\n0 20 -15 3\n") << truncated
                                               << "inside a column";
    QTest::newRow("uneven x")
        << QByteArray("0 0 -5 1\n10 0 -5 2\n25 0 -5 3\n") << bad_grid << "x nodes are not evenly spaced";
    QTest::newRow("uneven y")
        << QByteArray("0 0 -5 1\n0 10 -5 2\n0 30 -5 3\n") << bad_grid << "y nodes are not evenly spaced";
    QTest::newRow("uneven beyond the rounding of six digits")
        << QByteArray("0 6.54321e+06 -5 1\n0 6.54324e+06 -5 2\n0 6.54331e+06 -5 3\n") << bad_grid
        << "y nodes are not evenly spaced";
    QTest::newRow("uneven depths")
        << QByteArray("0 0 -30 1\n0 0 -10 2\n0 0 -5 3\n") << bad_grid << "z nodes are not evenly spaced";
    QTest::newRow("depth repeated inside a column")
        << QByteArray("0 0 -15 1\n0 0 -10 2\n0 0 -10 3\n0 0 -5 4\n") << bad_grid << "not distinct";
    QTest::newRow("depths out of order")
        << QByteArray("0 0 -15 1\n0 0 -5 2\n0 0 -10 3\n") << bad_grid << "not distinct and in order";
    QTest::newRow("x beyond what the views hold")
        << QByteArray("1e20 0 -5 1\n1.000001e20 0 -5 2\n") << int(CodecError::BadHeader) << "a coordinate of 1e+20";
    QTest::newRow("depth beyond what the views hold")
        << QByteArray("0 0 -2e15 1\n0 0 -1e15 2\n") << int(CodecError::BadHeader) << "a coordinate of -2e+15";
    QTest::newRow("binary, no line ends") << QByteArray(3 << 20, 'A') << bad_value << "longer than 1 MB";
}

void TestXyzCube::malformedFilesChangeNothing()
{
    QFETCH(QByteArray, text);
    QFETCH(int, error);
    QFETCH(QString, names);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.xyz");
    QVERIFY(write_file(path, text));
    Outputs out;
    const CodecStatus status = read_xyz_cube(path, out.cube, out.x, out.y, out.z);
    QVERIFY(!status);
    QCOMPARE(int(status.code()), error);
    QVERIFY2(status.message().contains(names), qPrintable(status.message()));
    QVERIFY2(status.message().contains("bad.xyz"), qPrintable(status.message()));
    QVERIFY(!status.message(0).isEmpty() && status.message(0) != status.message());
    QVERIFY(out.untouched());
}

void TestXyzCube::stopBetweenBlocksChangesNothing_data()
{
    QTest::addColumn<int>("stopAtCall");
    QTest::newRow("before the first block") << 1;
    QTest::newRow("between blocks") << 3;
    QTest::newRow("while the levels are laid out") << 8;
    QTest::newRow("after the last level") << 0;  // 0: the last call
}

void TestXyzCube::stopBetweenBlocksChangesNothing()
{
    QFETCH(int, stopAtCall);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.xyz");
    // 20 x 25 x 40 = 20000 lines: five blocks of lines.
    const vector3D cube = make_cube(20, 25, 40);
    const std::vector<double> x = nodes(20, 0, 10), y = nodes(25, 0, 10), z = nodes(40, 0, 10);
    QVERIFY(write_file(path, xyzText(cube, x, y, z)));

    // Count the calls of a read that runs to its end.
    QList<int> percents;
    Outputs all;
    QVERIFY(read_xyz_cube(path, all.cube, all.x, all.y, all.z, [&](int p) {
        percents << p;
        return true;
    }));
    QVERIFY(all.cube == cube);
    // Once before each block of lines, once before each level is laid out,
    // once at the end.
    const int blocks = (20000 + xyz_lines_per_block - 1) / xyz_lines_per_block;
    QCOMPARE(percents.size(), blocks + 40 + 1);
    QCOMPARE(percents.back(), 100);
    for (int i = 1; i < percents.size(); ++i)
        QVERIFY(percents[i] >= percents[i - 1]);

    const int stop = stopAtCall == 0 ? percents.size() : stopAtCall;
    int calls = 0;
    Outputs out;
    const CodecStatus status = read_xyz_cube(path, out.cube, out.x, out.y, out.z, [&](int) {
        return ++calls < stop;
    });
    QCOMPARE(int(status.code()), int(CodecError::Cancelled));
    QCOMPARE(calls, stop);
    QVERIFY(out.untouched());
}

void TestXyzCube::stoppedOrFailedWriteLeavesTheOldFile_data()
{
    QTest::addColumn<bool>("oldFile");
    QTest::addColumn<int>("stopAtCall");
    QTest::newRow("stop in the middle, old file") << true << 3;
    QTest::newRow("stop at the end, old file") << true << 0;
    QTest::newRow("stop in the middle, no file") << false << 3;
}

void TestXyzCube::stoppedOrFailedWriteLeavesTheOldFile()
{
    QFETCH(bool, oldFile);
    QFETCH(int, stopAtCall);
    QTemporaryDir dir;
    const QString path = dir.filePath("cube.xyz");
    const QByteArray old = "old contents\n";
    if (oldFile)
        QVERIFY(write_file(path, old));
    const vector3D cube = make_cube(6, 2, 3);
    const std::vector<double> x = nodes(6, 0, 1), y = nodes(2, 0, 1), z = nodes(3, 0, 1);

    for (int pass = 0; pass < 2; ++pass) {
        // Calls: one per x block (6) or level (3), and one at the end.
        const int stop = stopAtCall == 0 ? (pass == 0 ? 7 : 4) : stopAtCall;
        int calls = 0;
        const auto progress = [&](int) { return ++calls < stop; };
        const CodecStatus status = pass == 0 ? write_xyz_cube(path, cube, x, y, z, progress)
                                             : write_cell_table(path, cube, x, y, z, progress);
        QCOMPARE(int(status.code()), int(CodecError::Cancelled));
        QCOMPARE(calls, stop);
        if (oldFile) {
            QCOMPARE(read_file(path), old);
            QCOMPARE(files_in(dir.path()), QStringList{"cube.xyz"});
        } else {
            QVERIFY(files_in(dir.path()).isEmpty());
        }
    }

    // A folder that cannot hold the file.
    const CodecStatus failed = write_xyz_cube(dir.filePath("missing/cube.xyz"), cube, x, y, z);
    QCOMPARE(int(failed.code()), int(CodecError::OpenFailed));
    QVERIFY(failed.message().contains("cube.xyz"));
}

void TestXyzCube::writerRefusesGridsItCannotDescribe_data()
{
    QTest::addColumn<vector3D>("cube");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    const vector3D regular = make_cube(3, 2, 2);
    vector3D ragged = regular;
    ragged[1][1].pop_back();
    vector3D fewer_rows = regular;
    fewer_rows[1].pop_back();
    QTest::newRow("empty") << vector3D() << 0 << 0 << 0;
    QTest::newRow("ragged row") << ragged << 3 << 2 << 2;
    QTest::newRow("level with fewer rows") << fewer_rows << 3 << 2 << 2;
    QTest::newRow("x nodes missing") << regular << 2 << 2 << 2;
    QTest::newRow("y nodes too many") << regular << 3 << 3 << 2;
    QTest::newRow("z nodes missing") << regular << 3 << 2 << 1;
}

void TestXyzCube::writerRefusesGridsItCannotDescribe()
{
    QFETCH(vector3D, cube);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QTemporaryDir dir;
    const std::vector<double> x = nodes(nx, 0, 1), y = nodes(ny, 0, 1), z = nodes(nz, 0, 1);
    CodecStatus status = write_xyz_cube(dir.filePath("a.xyz"), cube, x, y, z);
    QCOMPARE(int(status.code()), int(CodecError::BadGrid));
    if (!cube.empty()) {
        status = write_cell_table(dir.filePath("a.txt"), cube, x, y, z);
        QCOMPARE(int(status.code()), int(CodecError::BadGrid));
    }
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestXyzCube::cellTableExactText()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("table.txt");
    // Level by level from level 0, row by row, x fastest; depths positive.
    const vector3D cube{{{1.5f, 2.0f}, {-0.25f, 3.0f}}, {{2.67f, 0.0f}, {1e-5f, 12345.6789f}}};
    QVERIFY(write_cell_table(path, cube, {0, 10}, {100, 150}, {0, 250.5}));
    QCOMPARE(read_file(path), QByteArray("0 100 0 1.5\n"
                                         "10 100 0 2\n"
                                         "0 150 0 -0.25\n"
                                         "10 150 0 3\n"
                                         "0 100 250.5 2.67\n"
                                         "10 100 250.5 0\n"
                                         "0 150 250.5 1e-05\n"
                                         "10 150 250.5 12345.679\n"));
}

void TestXyzCube::cellTableOfAnEmptyGridIsEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("table.txt");
    QVERIFY(write_file(path, "old\n"));
    QVERIFY(write_cell_table(path, vector3D(), {}, {}, {}));
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(read_file(path), QByteArray());
}

void TestXyzCube::cellTableKeepsEveryDigitAndStopsBetweenLevels()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("table.txt");
    const vector3D cube = make_cube(2, 2, 3);
    const std::vector<double> x{512344.5, 512346.5}, y{6543210, 6543212}, z{0.1, 0.2, 0.30000000000000004};
    QList<int> percents;
    QVERIFY(write_cell_table(path, cube, x, y, z, [&](int p) {
        percents << p;
        return true;
    }));
    QCOMPARE(percents, (QList<int>{0, 33, 66, 100}));
    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 12);
    int n = 0;
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i, ++n) {
                const QList<QByteArray> f = lines[n].split(' ');
                QCOMPARE(f.size(), 4);
                QCOMPARE(f[0].toDouble(), x[i]);
                QCOMPARE(f[1].toDouble(), y[j]);
                QCOMPARE(f[2].toDouble(), z[k]);
                QCOMPARE(f[3].toFloat(), cube[k][j][i]);
            }
}

QTEST_GUILESS_MAIN(TestXyzCube)
#include "tst_xyz_cube.moc"
