// Own cube file "*.3Dgrd": layout, round trips, both cell kinds and bad input.
#include "formats/cube_file.h"

#include "format_test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

// Header of a cube file as the format defines it.
QByteArray header(qint32 nx, qint32 ny, qint32 nz, const double (&b)[6])
{
    QByteArray h = be32(nx) + be32(ny) + be32(nz);
    for (double v : b)
        h += be_double(v);
    return h;
}

const double kBounds[6] = {6543210.5, 6543310.5, 7123456.25, 7123506.25, 100.0, 400.0};

QByteArray float_cells(const vector3D& cube)
{
    QByteArray out;
    for (const auto& level : cube)
        for (const auto& row : level)
            for (float v : row)
                out += le_float(v);
    return out;
}

// Outputs filled with recognisable values, to prove a failed read leaves them alone.
struct Sentinel {
    vector3D cube{vector2D{std::vector<data_type>{42.0f}}};
    std::vector<double> x{-1.0}, y{-2.0}, z{-3.0};
    cube_bounds bounds{{9, 8, 7, 6, 5, 4}};
    bool unchanged() const
    {
        return cube == vector3D{vector2D{std::vector<data_type>{42.0f}}} && x == std::vector<double>{-1.0} &&
               y == std::vector<double>{-2.0} && z == std::vector<double>{-3.0} &&
               bounds == cube_bounds{{9, 8, 7, 6, 5, 4}};
    }
};

}  // namespace

class TestCubeFile : public QObject {
    Q_OBJECT

private slots:
    void writtenLayout();
    void roundTrip_data();
    void roundTrip();
    void doubleCells();
    void trailingBytes_data();
    void trailingBytes();
    void badFiles_data();
    void badFiles();
    void absurdHeaderFailsFast();
    void cancelledReadKeepsData();
    void writerRefuses_data();
    void writerRefuses();
    void failedSaveKeepsOldFile();
    void unwritableTarget();
    void progressReachesHundred();
};

void TestCubeFile::writtenLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("c.3Dgrd");
    const vector3D cube = make_cube(2, 3, 4);
    const std::vector<double> x{6543210.5, 6543310.5}, y{7123456.25, 7123481.25, 7123506.25},
        z{100, 200, 300, 400};
    QVERIFY(write_cube_file(path, cube, x, y, z));
    const QByteArray bytes = read_file(path);
    QCOMPARE(bytes.size(), 60 + 4 * 24);
    QCOMPARE(bytes.left(60), header(2, 3, 4, kBounds));
    QCOMPARE(bytes.mid(60), float_cells(cube));
}

void TestCubeFile::roundTrip_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::newRow("2x3x4") << 2 << 3 << 4;
    QTest::newRow("one cell") << 1 << 1 << 1;
    QTest::newRow("one level") << 7 << 5 << 1;
    QTest::newRow("one row") << 9 << 1 << 3;
    QTest::newRow("33x17x11") << 33 << 17 << 11;
}

void TestCubeFile::roundTrip()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QTemporaryDir dir;
    const QString path = dir.filePath("round.3Dgrd");
    vector3D cube = make_cube(nx, ny, nz);
    cube[0][0][0] = std::numeric_limits<float>::denorm_min();
    if (nx > 1)
        cube[0][0][1] = -0.0f;
    const std::vector<double> x = even_nodes(6543210.5, 6543210.5 + 25.0 * (nx - 1), nx);
    const std::vector<double> y = even_nodes(-500.125, -500.125 + 12.5 * (ny - 1), ny);
    const std::vector<double> z = even_nodes(50, 50 + 100.0 * (nz - 1), nz);
    QVERIFY(write_cube_file(path, cube, x, y, z));

    vector3D back;
    std::vector<double> bx, by, bz;
    cube_bounds bounds{};
    CubeCellKind kind = CubeCellKind::DoubleBigEndian;
    const CodecStatus status = read_cube_file(path, back, bx, by, bz, &bounds, {}, &kind);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(kind, CubeCellKind::Float32LittleEndian);
    QCOMPARE(back.size(), size_t(nz));
    QVERIFY(std::memcmp(float_cells(back).constData(), float_cells(cube).constData(), size_t(4) * nx * ny * nz) == 0);
    QCOMPARE(bx, x);
    QCOMPARE(by, y);
    QCOMPARE(bz, z);
    QCOMPARE(bounds, (cube_bounds{{x.front(), x.back(), y.front(), y.back(), z.front(), z.back()}}));
}

void TestCubeFile::doubleCells()
{
    // Cells as big-endian doubles (the older form): each is rounded to float.
    QTemporaryDir dir;
    const QString path = dir.filePath("d.3Dgrd");
    const double values[6] = {0.1, -2.5e-8, 3.000000123456789, 1e30, -7.0, 2.0 / 3.0};
    QByteArray bytes = header(3, 2, 1, kBounds);
    for (double v : values)
        bytes += be_double(v);
    QVERIFY(write_file(path, bytes));
    vector3D cube;
    std::vector<double> x, y, z;
    CubeCellKind kind = CubeCellKind::Float32LittleEndian;
    QVERIFY(read_cube_file(path, cube, x, y, z, nullptr, {}, &kind));
    QCOMPARE(kind, CubeCellKind::DoubleBigEndian);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(cube[0][i / 3][i % 3], float(values[i]));
    QCOMPARE(z, std::vector<double>{100.0});
}

void TestCubeFile::trailingBytes_data()
{
    QTest::addColumn<bool>("doubles");
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("asFloat");
    QTest::newRow("float +3") << false << 3 << true;
    QTest::newRow("double +7") << true << 7 << false;
}

void TestCubeFile::trailingBytes()
{
    QFETCH(bool, doubles);
    QFETCH(int, extra);
    QFETCH(bool, asFloat);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.3Dgrd");
    const vector3D cube = make_cube(4, 3, 2);
    QByteArray bytes = header(4, 3, 2, kBounds);
    for (const auto& level : cube)
        for (const auto& row : level)
            for (float v : row)
                bytes += doubles ? be_double(v) : le_float(v);
    bytes += QByteArray(extra, '\x7f');
    QVERIFY(write_file(path, bytes));
    vector3D back;
    std::vector<double> x, y, z;
    CubeCellKind kind;
    QVERIFY(read_cube_file(path, back, x, y, z, nullptr, {}, &kind));
    QCOMPARE(kind == CubeCellKind::Float32LittleEndian, asFloat);
    QCOMPARE(back, cube);
}

void TestCubeFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CodecError>("error");
    const int n = 4 * 3 * 2;
    const QByteArray cells = float_cells(make_cube(4, 3, 2));
    QTest::newRow("empty file") << QByteArray() << CodecError::BadHeader;
    QTest::newRow("short header") << header(4, 3, 2, kBounds).left(59) << CodecError::BadHeader;
    QTest::newRow("zero count") << header(4, 0, 2, kBounds) + cells << CodecError::BadHeader;
    QTest::newRow("negative count") << header(-4, 3, -2, kBounds) + cells << CodecError::BadHeader;
    QTest::newRow("size fits neither kind") << header(4, 3, 2, kBounds) + QByteArray(6 * n, '\0')
                                            << CodecError::BadHeader;
    QTest::newRow("cut in level 2") << header(4, 3, 2, kBounds) + cells.left(4 * 12 + 20) << CodecError::Truncated;
    QTest::newRow("cut one byte short") << header(4, 3, 2, kBounds) + cells.left(4 * n - 1) << CodecError::Truncated;
    QTest::newRow("one spare cell") << header(4, 3, 2, kBounds) + cells + QByteArray(4, '\0') << CodecError::BadHeader;
    QTest::newRow("header only") << header(4, 3, 2, kBounds) << CodecError::Truncated;
    const double nan_bounds[6] = {0, 1, std::nan(""), 1, 0, 1};
    QTest::newRow("coordinate not a number") << header(4, 3, 2, nan_bounds) + cells << CodecError::BadHeader;
    // Coordinates the 3D view cannot hold (one flipped exponent bit gives 1e39).
    const double far_x[6] = {1e39, 1, 0, 1, 0, 1};
    QTest::newRow("x first 1e39") << header(4, 3, 2, far_x) + cells << CodecError::BadHeader;
    const double far_z[6] = {0, 1, 0, 1, 0, -1.5e15};
    QTest::newRow("z last -1.5e15") << header(4, 3, 2, far_z) + cells << CodecError::BadHeader;
    QTest::newRow("counts overflow 64 bits") << header(std::numeric_limits<qint32>::max(),
                                                       std::numeric_limits<qint32>::max(),
                                                       std::numeric_limits<qint32>::max(), kBounds) + cells
                                             << CodecError::Truncated;
}

void TestCubeFile::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CodecError, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.3Dgrd");
    QVERIFY(write_file(path, bytes));
    Sentinel s;
    const CodecStatus status = read_cube_file(path, s.cube, s.x, s.y, s.z, &s.bounds);
    QVERIFY(!status);
    QCOMPARE(status.code(), error);
    QVERIFY(!status.message().isEmpty());
    QVERIFY(!status.message(0).isEmpty());
    QVERIFY(s.unchanged());
}

void TestCubeFile::absurdHeaderFailsFast()
{
    // 2^31 cells announced by a 100-byte file: refused before any allocation.
    QTemporaryDir dir;
    const QString path = dir.filePath("huge.3Dgrd");
    QVERIFY(write_file(path, header(65536, 32768, 1, kBounds) + QByteArray(40, '\0')));
    Sentinel s;
    QElapsedTimer timer;
    timer.start();
    const CodecStatus status = read_cube_file(path, s.cube, s.x, s.y, s.z, &s.bounds);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(status.code(), CodecError::Truncated);
    QVERIFY2(status.message().contains("65536 x 32768 x 1"), qPrintable(status.message()));
    QVERIFY(s.unchanged());

    // A missing file is reported, not ignored.
    const CodecStatus missing = read_cube_file(dir.filePath("none.3Dgrd"), s.cube, s.x, s.y, s.z, &s.bounds);
    QCOMPARE(missing.code(), CodecError::OpenFailed);
    QVERIFY(missing.message().contains("none.3Dgrd"));
    QVERIFY(s.unchanged());
}

void TestCubeFile::cancelledReadKeepsData()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("c.3Dgrd");
    const vector3D cube = make_cube(3, 3, 5);
    QVERIFY(write_cube_file(path, cube, {0, 1, 2}, {0, 1, 2}, {0, 1, 2, 3, 4}));
    Sentinel s;
    int calls = 0;
    const CodecStatus status = read_cube_file(path, s.cube, s.x, s.y, s.z, &s.bounds, [&](int) { return ++calls < 3; });
    QCOMPARE(status.code(), CodecError::Cancelled);
    QCOMPARE(calls, 3);
    QVERIFY(s.unchanged());
}

void TestCubeFile::writerRefuses_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("empty cube") << 0;
    QTest::newRow("empty level") << 1;
    QTest::newRow("short row in level 2") << 2;
    QTest::newRow("missing level rows") << 3;
    QTest::newRow("no coordinates") << 4;
}

void TestCubeFile::writerRefuses()
{
    QFETCH(int, kind);
    vector3D cube = make_cube(3, 2, 2);
    std::vector<double> x{0, 1, 2}, y{0, 1}, z{0, 1};
    switch (kind) {
    case 0: cube.clear(); break;
    case 1: cube[0].clear(); break;
    case 2: cube[1][1].pop_back(); break;
    case 3: cube[1].pop_back(); break;
    case 4: y.clear(); break;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("w.3Dgrd");
    const CodecStatus status = write_cube_file(path, cube, x, y, z);
    QCOMPARE(status.code(), CodecError::BadGrid);
    QVERIFY(!status.message().isEmpty());
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestCubeFile::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.3Dgrd");
    QVERIFY(write_file(path, "precious"));
    // Stopped half-way: the old file stays and no temporary is left.
    const CodecStatus stopped =
        write_cube_file(path, make_cube(3, 3, 6), {0, 1, 2}, {0, 1, 2}, {0, 1, 2, 3, 4, 5}, [](int p) { return p < 50; });
    QCOMPARE(stopped.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), QByteArray("precious"));
    QCOMPARE(files_in(dir.path()), QStringList{"keep.3Dgrd"});
    // Refused grid: same.
    QVERIFY(!write_cube_file(path, vector3D(), {0}, {0}, {0}));
    QCOMPARE(read_file(path), QByteArray("precious"));
}

void TestCubeFile::unwritableTarget()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/x.3Dgrd");
    const CodecStatus status = write_cube_file(path, make_cube(2, 2, 2), {0, 1}, {0, 1}, {0, 1});
    QCOMPARE(status.code(), CodecError::OpenFailed);
    QVERIFY(status.message().contains("x.3Dgrd"));
}

void TestCubeFile::progressReachesHundred()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.3Dgrd");
    QList<int> written, read;
    QVERIFY(write_cube_file(path, make_cube(2, 2, 4), {0, 1}, {0, 1}, {0, 1, 2, 3}, [&](int p) {
        written << p;
        return true;
    }));
    vector3D c;
    std::vector<double> x, y, z;
    QVERIFY(read_cube_file(path, c, x, y, z, nullptr, [&](int p) {
        read << p;
        return true;
    }));
    const QList<int> expected{0, 25, 50, 75, 100};
    QCOMPARE(written, expected);
    QCOMPARE(read, expected);
}

QTEST_GUILESS_MAIN(TestCubeFile)
#include "tst_cube_file.moc"
