// Stored forward operator files ("*.eff" and the project's eff sidecar).
#include "formats/effects_file.h"

#include "format_test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)
Q_DECLARE_METATYPE(EffectsImaginary)

namespace {

// An operator a failed read must leave as it was.
struct Sentinel {
    EffectsOperator e = sentinel();
    static EffectsOperator sentinel()
    {
        EffectsOperator s = make_operator(3, 2, 1, 7.0f);
        s.im = make_cube(3, 2, 1, -1.0f);
        return s;
    }
    bool unchanged() const
    {
        const EffectsOperator s = sentinel();
        return e.quarter == s.quarter && e.im == s.im && e.rows == s.rows && e.columns == s.columns;
    }
};

QByteArray effects_bytes(qint32 nx, qint32 ny, qint32 planes, const std::vector<double>& pairs)
{
    QByteArray b = be32(nx) + be32(ny) + be32(planes);
    for (double v : pairs)
        b += be_double(v);
    return b;
}

bool same_operator(const EffectsOperator& a, const EffectsOperator& b)
{
    return a.rows == b.rows && a.columns == b.columns && a.quarter == b.quarter && a.im == b.im;
}

}  // namespace

class TestEffectsFile : public QObject {
    Q_OBJECT

private slots:
    void layoutOfThreePlanes();
    void bytesOfTheFullGrid_data();
    void bytesOfTheFullGrid();
    void roundTripBitForBit();
    void sidecarHasZeroImaginaryParts();
    void zeroImaginaryPartsTakeNoMemory();
    void nearlyEvenFileAccepted();
    void widerToleranceStillRefusesOtherData();
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
    EffectsOperator e = make_operator(64, 32, 3);
    e.im = make_cube(64, 32, 3, -9.75f);
    QVERIFY(write_effects_file(path, e, EffectsImaginary::Held));
    const QByteArray b = read_file(path);
    QCOMPARE(b.size(), 12 + 98304);
    QCOMPARE(b.left(12), be32(64) + be32(32) + be32(3));
    // Plane 1, row 2, column 3: real then imaginary, big-endian doubles.
    const int at = 12 + ((1 * 32 + 2) * 64 + 3) * 16;
    QCOMPARE(b.mid(at, 16), be_double(e.at(1, 2, 3)) + be_double(e.im[1][2][3]));
    // Row 30 is row 2 mirrored, column 61 column 3 mirrored.
    const int mirrored = 12 + ((1 * 32 + 30) * 64 + 61) * 16;
    QCOMPARE(b.mid(mirrored, 8), be_double(e.at(1, 2, 3)));
}

void TestEffectsFile::bytesOfTheFullGrid_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<EffectsImaginary>("imaginary");
    QTest::newRow("8 x 4 x 3, sidecar") << 8 << 4 << 3 << EffectsImaginary::Zero;
    QTest::newRow("8 x 4 x 3, export") << 8 << 4 << 3 << EffectsImaginary::Held;
    QTest::newRow("odd sizes 7 x 5 x 2") << 7 << 5 << 2 << EffectsImaginary::Zero;
    QTest::newRow("one node") << 1 << 1 << 1 << EffectsImaginary::Held;
    QTest::newRow("one row 16 x 1") << 16 << 1 << 2 << EffectsImaginary::Zero;
    QTest::newRow("one column 1 x 6") << 1 << 6 << 2 << EffectsImaginary::Held;
    QTest::newRow("rows of more than 1 MB in chunks") << 70000 << 2 << 1 << EffectsImaginary::Zero;
    QTest::newRow("many rows per chunk") << 4 << 20000 << 2 << EffectsImaginary::Held;
}

// The file holds every level on its full grid, exactly as a writer of the
// full grids gives it (here computed from the expanded levels); reading it
// folds back to the same quarters.
void TestEffectsFile::bytesOfTheFullGrid()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(EffectsImaginary, imaginary);
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff");
    const EffectsOperator e = make_operator(nx, ny, nz, -3.0f);
    QVERIFY(write_effects_file(path, e, imaginary));
    QVERIFY(read_file(path) == effects_file_bytes(expanded(e)));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QVERIFY(same_operator(back, e));
    QVERIFY(!back.key.valid);
}

void TestEffectsFile::roundTripBitForBit()
{
    // Export, import, export: the same bytes, and the quarters and imaginary
    // parts come back bit for bit (the quarter folds from its expansion).
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff"), again = dir.filePath("again.eff");
    EffectsOperator e = make_operator(8, 6, 5);
    e.quarter_row(0, 0)[0] = std::numeric_limits<float>::denorm_min();
    e.quarter_row(4, 3)[4] = -std::numeric_limits<float>::max();
    e.quarter_row(2, 1)[3] = -0.0f;
    e.im = make_cube(8, 6, 5, -3.5f);
    e.im[4][5][7] = -std::numeric_limits<float>::max();
    QVERIFY(write_effects_file(path, e, EffectsImaginary::Held));
    QVERIFY(read_file(path) == effects_file_bytes(expanded(e), e.im));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QVERIFY(same_operator(back, e));
    QCOMPARE(std::signbit(back.quarter_row(2, 1)[3]), true);
    QVERIFY(write_effects_file(again, back, EffectsImaginary::Held));
    QVERIFY(read_file(again) == read_file(path));
}

void TestEffectsFile::sidecarHasZeroImaginaryParts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("project.eff");
    EffectsOperator e = make_operator(4, 4, 2);
    e.im = make_cube(4, 4, 2, 5.0f);  // held, but the sidecar's form writes 0
    QVERIFY(write_effects_file(path, e, EffectsImaginary::Zero));
    QVERIFY(read_file(path) == effects_file_bytes(expanded(e)));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QCOMPARE(back.quarter, e.quarter);
    QVERIFY(back.im.empty());
}

// Imaginary parts of +0.0 need no memory: they are written back as 0.0
// from an empty im. Any other value, -0.0 included, is kept.
void TestEffectsFile::zeroImaginaryPartsTakeNoMemory()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff"), again = dir.filePath("again.eff");
    const EffectsOperator e = make_operator(4, 2, 2);
    const vector3D re = expanded(e);
    vector3D im(2, vector2D(2, std::vector<data_type>(4, 0.0f)));
    im[1][1][2] = -0.0f;
    QVERIFY(write_file(path, effects_file_bytes(re, im)));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QCOMPARE(back.im.size(), std::size_t(2));
    QCOMPARE(std::signbit(back.im[1][1][2]), true);
    QVERIFY(write_effects_file(again, back, EffectsImaginary::Held));
    QVERIFY(read_file(again) == read_file(path));

    // An imaginary part too small for a float is +0.0 once read.
    QByteArray tiny = effects_file_bytes(re);
    tiny.replace(12 + 8, 8, be_double(1e-300));
    QVERIFY(write_file(path, tiny));
    QVERIFY(read_effects_file(path, back));
    QVERIFY(back.im.empty());
    QCOMPARE(back.quarter, e.quarter);
}

// A file of an earlier version holds the full grids of an operator that is
// even only to float rounding: it is accepted and folded to the mean of the
// mirrors. Unevenness beyond rounding is refused.
void TestEffectsFile::nearlyEvenFileAccepted()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.eff");
    const EffectsOperator e = make_operator(8, 6, 3, 100.0f);
    vector3D re = expanded(e);
    // One ulp up or down, differently for each mirror.
    for (std::size_t k = 0; k < re.size(); ++k)
        for (std::size_t j = 0; j < re[k].size(); ++j)
            for (std::size_t i = 0; i < re[k][j].size(); ++i)
                if ((i + 2 * j + k) % 3 != 0)
                    re[k][j][i] = std::nextafter(re[k][j][i], (i + j) % 2 ? 1e30f : -1e30f);
    QVERIFY(write_file(path, effects_file_bytes(re)));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QCOMPARE(back.levels(), 3);
    for (int k = 0; k < 3; ++k)
        for (int q = 0; q < back.quarter_rows(); ++q)
            for (int c = 0; c < back.quarter_columns(); ++c) {
                const float got = back.quarter_row(k, q)[c], want = e.quarter_row(k, q)[c];
                QVERIFY2(std::fabs(got - want) <= 2 * (std::nextafter(want, 1e30f) - want),
                         qPrintable(QString("level %1, %2, %3").arg(k).arg(q).arg(c)));
            }

    // A hundredth of the level's largest value apart from its mirror, beyond
    // the check tolerance: not an operator.
    re = expanded(e);
    re[2][1][5] += 1e-2f * 2100.0f;
    QVERIFY(write_file(path, effects_file_bytes(re)));
    Sentinel s;
    const CodecStatus refused = read_effects_file(path, s.e);
    QCOMPARE(refused.code(), CodecError::UnknownFormat);
    QVERIFY(refused.message().startsWith("Can't import layers effects"));
    QVERIFY(refused.message().contains("Level 3"));
    QVERIFY(s.unchanged());
}

// A reader given a wider tolerance (2e-2) takes a level a hundredth uneven,
// while random values, or a level a tenth uneven, are still not an
// operator's.
void TestEffectsFile::widerToleranceStillRefusesOtherData()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("wide.eff");
    const EffectsOperator e = make_operator(8, 6, 3, 100.0f);
    const float largest = std::fabs(e.at(2, 3, 4));  // the largest value of level 3
    for (float off : {1e-2f, 1e-1f}) {
        vector3D re = expanded(e);
        re[2][1][5] += off * largest;
        QVERIFY(write_file(path, effects_file_bytes(re)));
        EffectsOperator back;
        QCOMPARE(read_effects_file(path, back).code(), CodecError::UnknownFormat);
        QCOMPARE(read_effects_file(path, back, CodecProgress(), 2e-2).ok(), off < 2e-2f);
    }
    std::mt19937 gen(17);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    vector3D random(3, vector2D(6, std::vector<data_type>(8)));
    for (auto& level : random)
        for (auto& row : level)
            for (float& v : row)
                v = u(gen);
    QVERIFY(write_file(path, effects_file_bytes(random)));
    Sentinel s;
    QCOMPARE(read_effects_file(path, s.e, CodecProgress(), 2e-2).code(), CodecError::UnknownFormat);
    QVERIFY(s.unchanged());
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
    QTest::newRow("not even") << effects_file_bytes(make_cube(4, 4, 2)) << CodecError::UnknownFormat;
    QByteArray nan = good;
    nan.replace(12 + 3 * 16, 8, be_double(std::numeric_limits<double>::quiet_NaN()));
    QTest::newRow("not a number") << nan << CodecError::UnknownFormat;
    QByteArray infinite = good;
    infinite.replace(12 + 16 * 6, 8, be_double(std::numeric_limits<double>::infinity()));
    QTest::newRow("infinite in the second plane") << infinite << CodecError::UnknownFormat;
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
    const CodecStatus status = read_effects_file(path, s.e);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(status.code(), error);
    QVERIFY(status.message().startsWith("Can't import layers effects"));
    QVERIFY(s.unchanged());
    QCOMPARE(read_effects_file(dir.filePath("missing.eff"), s.e).code(), CodecError::OpenFailed);
    QVERIFY(s.unchanged());
}

void TestEffectsFile::writerRefuses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("w.eff");
    QCOMPARE(write_effects_file(path, EffectsOperator(), EffectsImaginary::Held).code(), CodecError::BadGrid);
    EffectsOperator short_level = make_operator(4, 4, 2);
    short_level.quarter[1].pop_back();
    QCOMPARE(write_effects_file(path, short_level, EffectsImaginary::Zero).code(), CodecError::BadGrid);
    EffectsOperator im_levels = make_operator(4, 4, 2);
    im_levels.im = make_cube(4, 4, 3);
    QCOMPARE(write_effects_file(path, im_levels, EffectsImaginary::Held).code(), CodecError::BadGrid);
    EffectsOperator im_rows = make_operator(4, 4, 2);
    im_rows.im = make_cube(4, 2, 2);
    QCOMPARE(write_effects_file(path, im_rows, EffectsImaginary::Held).code(), CodecError::BadGrid);
    EffectsOperator im_ragged = make_operator(4, 4, 2);
    im_ragged.im = make_cube(4, 4, 2);
    im_ragged.im[1][2].pop_back();
    QCOMPARE(write_effects_file(path, im_ragged, EffectsImaginary::Held).code(), CodecError::BadGrid);
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestEffectsFile::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.eff");
    QVERIFY(write_file(path, "precious"));
    const CodecStatus stopped =
        write_effects_file(path, make_operator(4, 4, 4), EffectsImaginary::Zero, [](int p) { return p < 50; });
    QCOMPARE(stopped.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), QByteArray("precious"));
    QCOMPARE(files_in(dir.path()), QStringList{"keep.eff"});
}

QTEST_GUILESS_MAIN(TestEffectsFile)
#include "tst_effects_file.moc"
