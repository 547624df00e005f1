// Stored forward operator files ("*.eff" and the project's eff sidecar).
#include "formats/effects_file.h"

#include "format_test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

struct Sentinel {
    vector3D re{vector2D{std::vector<data_type>{1.0f}}};
    vector3D im{vector2D{std::vector<data_type>{2.0f}}};
    bool unchanged() const
    {
        return re == vector3D{vector2D{std::vector<data_type>{1.0f}}} &&
               im == vector3D{vector2D{std::vector<data_type>{2.0f}}};
    }
};

QByteArray effects_bytes(qint32 nx, qint32 ny, qint32 planes, const std::vector<double>& pairs)
{
    QByteArray b = be32(nx) + be32(ny) + be32(planes);
    for (double v : pairs)
        b += be_double(v);
    return b;
}

}  // namespace

class TestEffectsFile : public QObject {
    Q_OBJECT

private slots:
    void layoutOfThreePlanes();
    void roundTripBitForBit();
    void sidecarHasZeroImaginaryParts();
    void badFiles_data();
    void badFiles();
    void writerRefuses();
    void failedSaveKeepsOldFile();
};

void TestEffectsFile::layoutOfThreePlanes()
{
    // 3 planes on a 64 x 32 padded grid: 12 + 3*32*64 pairs of doubles.
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff");
    const vector3D re = make_cube(64, 32, 3), im = make_cube(64, 32, 3, -9.75f);
    QVERIFY(write_effects_file(path, re, im));
    const QByteArray b = read_file(path);
    QCOMPARE(b.size(), 12 + 98304);
    QCOMPARE(b.left(12), be32(64) + be32(32) + be32(3));
    // Plane 1, row 2, column 3: real then imaginary, big-endian doubles.
    const int at = 12 + ((1 * 32 + 2) * 64 + 3) * 16;
    QCOMPARE(b.mid(at, 16), be_double(re[1][2][3]) + be_double(im[1][2][3]));
}

void TestEffectsFile::roundTripBitForBit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff");
    vector3D re = make_cube(8, 4, 5), im = make_cube(8, 4, 5, -3.5f);
    re[0][0][0] = std::numeric_limits<float>::denorm_min();
    im[4][3][7] = -std::numeric_limits<float>::max();
    QVERIFY(write_effects_file(path, re, im));
    vector3D r2, i2;
    QVERIFY(read_effects_file(path, r2, i2));
    QCOMPARE(r2, re);
    QCOMPARE(i2, im);
}

void TestEffectsFile::sidecarHasZeroImaginaryParts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("project.eff");
    const vector3D re = make_cube(4, 4, 2);
    QVERIFY(write_effects_file(path, re, vector3D()));
    QCOMPARE(read_file(path).mid(12 + 8, 8), be_double(0.0));
    vector3D r2, i2;
    QVERIFY(read_effects_file(path, r2, i2));
    QCOMPARE(r2, re);
    QCOMPARE(i2, vector3D(2, vector2D(4, std::vector<data_type>(4, 0.0f))));
}

void TestEffectsFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CodecError>("error");
    const std::vector<double> pairs(2 * 2 * 3 * 2, 0.5);
    const QByteArray good = effects_bytes(2, 3, 2, pairs);
    QTest::newRow("empty") << QByteArray() << CodecError::Truncated;
    QTest::newRow("header cut") << good.left(10) << CodecError::Truncated;
    QTest::newRow("half the values") << good.left(12 + 96) << CodecError::Truncated;
    QTest::newRow("one byte short") << good.left(good.size() - 1) << CodecError::Truncated;
    QTest::newRow("zero planes") << effects_bytes(2, 3, 0, pairs) << CodecError::BadHeader;
    QTest::newRow("negative columns") << effects_bytes(-2, 3, 2, pairs) << CodecError::BadHeader;
    QTest::newRow("2^31 values in 100 bytes") << effects_bytes(65536, 32768, 1, {}).leftJustified(100, '\0')
                                              << CodecError::Truncated;
    QTest::newRow("product beyond 64 bits")
        << effects_bytes(std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::max(),
                         std::numeric_limits<qint32>::max(), pairs)
        << CodecError::Truncated;
}

void TestEffectsFile::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CodecError, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.eff");
    QVERIFY(write_file(path, bytes));
    Sentinel s;
    QElapsedTimer timer;
    timer.start();
    const CodecStatus status = read_effects_file(path, s.re, s.im);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(status.code(), error);
    QVERIFY(status.message().startsWith("Can't import layers effects"));
    QVERIFY(s.unchanged());
    QCOMPARE(read_effects_file(dir.filePath("missing.eff"), s.re, s.im).code(), CodecError::OpenFailed);
    QVERIFY(s.unchanged());
}

void TestEffectsFile::writerRefuses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("w.eff");
    QCOMPARE(write_effects_file(path, vector3D(), vector3D()).code(), CodecError::BadGrid);
    vector3D ragged = make_cube(4, 4, 2);
    ragged[1][2].pop_back();
    QCOMPARE(write_effects_file(path, ragged, vector3D()).code(), CodecError::BadGrid);
    QCOMPARE(write_effects_file(path, make_cube(4, 4, 2), make_cube(4, 4, 3)).code(), CodecError::BadGrid);
    QCOMPARE(write_effects_file(path, make_cube(4, 4, 2), make_cube(4, 2, 2)).code(), CodecError::BadGrid);
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestEffectsFile::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.eff");
    QVERIFY(write_file(path, "precious"));
    const CodecStatus stopped =
        write_effects_file(path, make_cube(4, 4, 4), vector3D(), [](int p) { return p < 50; });
    QCOMPARE(stopped.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), QByteArray("precious"));
    QCOMPARE(files_in(dir.path()), QStringList{"keep.eff"});
}

QTEST_GUILESS_MAIN(TestEffectsFile)
#include "tst_effects_file.moc"
