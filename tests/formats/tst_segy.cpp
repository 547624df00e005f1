// SEG-Y cubes: written layout, round trips, every read format in both byte
// orders, bad input, and exchange with segyio.
#include "formats/segy.h"
#include "common/grid_helpers.h"

#include "format_test_support.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

// A SEG-Y file made field by field, for fixtures the writer cannot make.
struct Fixture {
    bool big = false;
    int format = 5;
    int nx = 4, ny = 3, nz = 5;
    int interval = 10000;  // sample interval as stored
    int delay = 0;
    qint16 time_scalar = 0;           // positions 215-216
    double extended_interval = 0;     // positions 3273-3280
    bool revision_2_bytes = false;    // bytes 3501, 3502 = 2, 0
    qint16 scalar = 0;
    int extended_headers = 0;
    quint16 revision = 0;
    std::function<qint32(int i, int j)> key = [](int, int j) { return j + 1; };
    std::function<qint32(int i, int j)> inline_no = [](int i, int) { return i + 1; };
    std::function<qint32(int i, int j)> x = [](int, int j) { return 1000 + 50 * j; };
    std::function<qint32(int i, int j)> y = [](int i, int) { return 2000 + 25 * i; };
    std::function<qint32(int i, int j)> cdp_y = [](int, int) { return 0; };  // 185-188 (181-184 is the key)
    std::function<qint32(int i, int j)> source_x = [](int, int) { return 0; };  // 73-76
    std::function<qint32(int i, int j)> source_y = [](int, int) { return 0; };  // 77-80
    // Exactly representable in every sample format.
    std::function<double(int k, int i, int j)> value = [](int k, int i, int j) {
        return 100.0 * k + 10.0 * i + j - 7.0;
    };

    QByteArray i16(qint16 v) const { return big ? be16(v) : le16(v); }
    QByteArray i32(qint32 v) const { return big ? be32(v) : le32(v); }

    QByteArray sample(double v) const
    {
        switch (format) {
        case 1: return i32(qint32(ieee_to_ibm(float(v))));
        case 2: return i32(qint32(v));
        case 3: return i16(qint16(v));
        default: {
            const float f = float(v);
            quint32 bits;
            std::memcpy(&bits, &f, 4);
            return i32(qint32(bits));
        }
        }
    }

    QByteArray bytes() const
    {
        QByteArray b(3600, '\0');
        auto put = [&](int position, const QByteArray& field) { b.replace(position - 1, field.size(), field); };
        put(3217, i16(qint16(interval)));
        put(3221, i16(qint16(nz)));
        put(3225, i16(qint16(format)));
        put(3501, i16(qint16(revision)));
        if (revision_2_bytes)
            put(3501, QByteArray("\x02\x00", 2));
        {
            quint64 bits;
            std::memcpy(&bits, &extended_interval, 8);
            QByteArray field(8, '\0');
            if (big)
                qToBigEndian<quint64>(bits, field.data());
            else
                qToLittleEndian<quint64>(bits, field.data());
            put(3273, field);
        }
        put(3505, i16(qint16(extended_headers)));
        if (extended_headers > 0)
            b += QByteArray(3200 * extended_headers, ' ');
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j) {
                QByteArray h(240, '\0');
                auto set = [&](int position, const QByteArray& field) { h.replace(position - 1, field.size(), field); };
                set(71, i16(scalar));
                set(81, i32(x(i, j)));
                set(85, i32(y(i, j)));
                set(109, i16(qint16(delay)));
                set(215, i16(time_scalar));
                set(181, i32(key(i, j)));
                set(185, i32(cdp_y(i, j)));
                set(73, i32(source_x(i, j)));
                set(77, i32(source_y(i, j)));
                set(189, i32(inline_no(i, j)));
                b += h;
                for (int k = 0; k < nz; ++k)
                    b += sample(value(k, i, j));
            }
        return b;
    }
};

struct Sentinel {
    vector3D cube{vector2D{std::vector<data_type>{42.0f}}};
    std::vector<double> x{-1.0}, y{-2.0}, z{-3.0};
    bool unchanged() const
    {
        return cube == vector3D{vector2D{std::vector<data_type>{42.0f}}} && x == std::vector<double>{-1.0} &&
               y == std::vector<double>{-2.0} && z == std::vector<double>{-3.0};
    }
};

qint16 i16_at(const QByteArray& b, int position)
{
    return qFromLittleEndian<qint16>(b.constData() + position - 1);
}
qint32 i32_at(const QByteArray& b, int position)
{
    return qFromLittleEndian<qint32>(b.constData() + position - 1);
}
double f64_at(const QByteArray& b, int position)
{
    const quint64 bits = qFromLittleEndian<quint64>(b.constData() + position - 1);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

// Nodes first + i * step, as the program builds them.
std::vector<double> nodes(double first, double step, int n)
{
    std::vector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = first + i * step;
    return v;
}

// Sample k of a trace at (x, y) in the files of the placement tests: its
// value tells where it belongs.
double placed_value(double x, double y, int k)
{
    return 1000.0 * (y - 5000) + (x - 1000) + 0.25 * k;
}

QString segyio_script()
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/segyio_fixtures.py");
}

// The system interpreter when it has segyio; empty otherwise.
QString python_with_segyio()
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python))
        return QString();
    return run(python, {"-c", "import segyio, numpy"}) ? python : QString();
}

}  // namespace

class TestSegy : public QObject {
    Q_OBJECT

private slots:
    void writtenLayout();
    void roundTrip_data();
    void roundTrip();
    void depthFields_data();
    void depthFields();
    void degenerateShapesRoundTrip_data();
    void degenerateShapesRoundTrip();
    void readerPrefersExtendedInterval();
    void unusableExtendedIntervalIsIgnored_data();
    void unusableExtendedIntervalIsIgnored();
    void coordinateScalar_data();
    void coordinateScalar();
    void readFormats_data();
    void readFormats();
    void ibmConversion_data();
    void ibmConversion();
    void ibmRoundTrip();
    void lineDetection();
    void singleLineAndSingleColumn();
    void extendedTextualHeaders();
    void geometryScanOnAnyDevice();
    void badFiles_data();
    void badFiles();
    void coordinatesThatMakeNoGrid_data();
    void coordinatesThatMakeNoGrid();
    void fallingCoordinatesAreReversed_data();
    void fallingCoordinatesAreReversed();
    void rotatedSurveyIsNamed_data();
    void rotatedSurveyIsNamed();
    void nonFiniteSamplesAreRead_data();
    void nonFiniteSamplesAreRead();
    void writerRefuses_data();
    void writerRefuses();
    void failedSaveKeepsOldFile();
    void segyioReadsOurFiles_data();
    void segyioReadsOurFiles();
    void weReadSegyioFiles_data();
    void weReadSegyioFiles();
};

void TestSegy::writtenLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("l.sgy");
    const vector3D cube = make_cube(4, 2, 3);
    const std::vector<double> x{1000, 1050, 1100, 1150}, y{2000, 2025}, z{100, 110, 120};
    QVERIFY(write_segy_cube(path, cube, x, y, z));
    const QByteArray b = read_file(path);
    QCOMPARE(b.size(), 3600 + 8 * (240 + 3 * 4));  // 5616
    QCOMPARE(b.left(3200), QByteArray(3200, '\0'));
    QCOMPARE(i16_at(b, 3213), qint16(8));
    QCOMPARE(i16_at(b, 3217), qint16(10000));
    QCOMPARE(i16_at(b, 3219), qint16(10000));
    QCOMPARE(i16_at(b, 3221), qint16(3));
    QCOMPARE(i16_at(b, 3225), qint16(5));
    // Revision 2: the exact step in the extended interval, the byte-order
    // constant, the revision bytes and fixed-length traces.
    QCOMPARE(f64_at(b, 3273), 10000.0);
    QCOMPARE(i32_at(b, 3297), qint32(0x01020304));
    QCOMPARE(int(uchar(b[3500])), 2);
    QCOMPARE(int(uchar(b[3501])), 0);
    QCOMPARE(i16_at(b, 3503), qint16(1));
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) {
            const QByteArray t = b.mid(3600 + (i * 4 + j) * 252, 252);
            QCOMPARE(i32_at(t, 1), i * 4 + j + 1);
            QCOMPARE(i32_at(t, 5), j + 1);
            QCOMPARE(i16_at(t, 71), qint16(0));
            QCOMPARE(i32_at(t, 73), qint32(x[j]));
            QCOMPARE(i32_at(t, 77), qint32(y[i]));
            QCOMPARE(i32_at(t, 81), qint32(x[j]));
            QCOMPARE(i32_at(t, 85), qint32(y[i]));
            QCOMPARE(i16_at(t, 109), qint16(100));
            QCOMPARE(i16_at(t, 115), qint16(3));
            QCOMPARE(i16_at(t, 117), qint16(10000));
            QCOMPARE(i16_at(t, 215), qint16(0));
            QCOMPARE(i32_at(t, 181), j + 1);
            QCOMPARE(i32_at(t, 185), i + 1);
            QCOMPARE(i32_at(t, 189), i + 1);
            QCOMPARE(i32_at(t, 193), j + 1);
            for (int k = 0; k < 3; ++k)
                QCOMPARE(float_at_le(t, 240 + 4 * k), cube[k][i][j]);
        }
}

void TestSegy::roundTrip_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::newRow("10 m steps") << 4 << 2 << 3 << 0.0 << 10.0 << 1000.0 << 50.0;
    QTest::newRow("first depth 500") << 5 << 3 << 7 << 500.0 << 25.0 << 6543210.5 << 25.5;
    QTest::newRow("above sea level") << 3 << 4 << 4 << -300.0 << 0.5 << -12.25 << 0.25;
    QTest::newRow("65.535 m") << 2 << 2 << 2 << 0.0 << 65.535 << 0.0 << 1.0;
    QTest::newRow("smallest step") << 2 << 3 << 5 << 7.0 << 0.001 << 100.0 << 1.0;
    QTest::newRow("below a millimetre") << 2 << 2 << 4 << 3.25 << 0.0001 << 100.0 << 1.0;
    QTest::newRow("40x30x20") << 40 << 30 << 20 << 0.0 << 100.0 / 3.0 * 0.3 << 500000.0 << 100.0;
    for (double z0 : {0.0, 12.5})
        for (double dz : {0.5, 24.691224, 32.768, 50.0, 65.535, 100.02, 250.0})
            QTest::newRow(QString("dz %1 from %2").arg(dz).arg(z0).toLatin1())
                << 4 << 3 << 9 << z0 << dz << 512345.5 << 25.0;
    QTest::newRow("first depth 1234.56789") << 2 << 2 << 3 << 1234.56789 << 7.0 << 0.0 << 1.0;
    QTest::newRow("first depth 40000") << 2 << 2 << 3 << 40000.0 << 10.0 << 0.0 << 1.0;
}

void TestSegy::roundTrip()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, z0);
    QFETCH(double, dz);
    QFETCH(double, x0);
    QFETCH(double, dx);
    QTemporaryDir dir;
    const QString path = dir.filePath("r.sgy");
    vector3D cube = make_cube(nx, ny, nz);
    cube[0][0][0] = std::numeric_limits<float>::denorm_min();
    cube[nz - 1][ny - 1][nx - 1] = -std::numeric_limits<float>::max();
    std::vector<double> x(nx), y(ny), z(nz);
    for (int j = 0; j < nx; ++j)
        x[j] = x0 + j * dx;
    for (int i = 0; i < ny; ++i)
        y[i] = 7123456.25 + i * 12.5;
    for (int k = 0; k < nz; ++k)
        z[k] = z0 + k * dz;
    const CodecStatus written = write_segy_cube(path, cube, x, y, z);
    QVERIFY2(written, qPrintable(written.message()));
    QCOMPARE(QFileInfo(path).size(), 3600 + qint64(nx) * ny * (240 + 4 * nz));

    vector3D back;
    std::vector<double> bx, by, bz;
    const CodecStatus status = read_segy_cube(path, back, bx, by, bz);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(back, cube);
    QCOMPARE(bx.size(), size_t(nx));
    QCOMPARE(by.size(), size_t(ny));
    for (int j = 0; j < nx; ++j)
        QVERIFY(std::fabs(bx[j] - x[j]) < 1e-9);
    for (int i = 0; i < ny; ++i)
        QVERIFY(std::fabs(by[i] - y[i]) < 1e-9);
    // The step comes back exactly from the extended interval; the first
    // depth as exactly as the 16-bit delay with its scalar holds it (to four
    // decimals while they fit, otherwise to fewer).
    const double z0_precision = z0 == 1234.56789 ? 0.05 : 0.0;
    QCOMPARE(bz.size(), size_t(nz));
    for (int k = 0; k < nz; ++k)
        QVERIFY2(std::fabs(bz[k] - z[k]) <= z0_precision + 1e-9 * std::max(1.0, std::fabs(z[k])),
                 qPrintable(QString("%1 vs %2").arg(bz[k], 0, 'g', 17).arg(z[k], 0, 'g', 17)));
    if (nz > 1)
        QVERIFY(std::fabs((bz[1] - bz[0]) - dz) <= 1e-9 * std::max(1.0, dz));
}

void TestSegy::depthFields_data()
{
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    QTest::addColumn<int>("interval");  // 16-bit field, unsigned as the standard defines it
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("time_scalar");
    // The step in thousandths of a metre up to 65.535 m, whole metres above;
    // the delay in metres, scaled for decimals.
    QTest::newRow("0.5 m") << 0.0 << 0.5 << 500 << 0 << 0;
    QTest::newRow("0.7 m") << 0.0 << 0.7 << 700 << 0 << 0;
    QTest::newRow("24.691224 m") << 0.0 << 24.691224 << 24691 << 0 << 0;
    QTest::newRow("32.767 m") << 0.0 << 32.767 << 32767 << 0 << 0;
    QTest::newRow("32.768 m") << 0.0 << 32.768 << 32768 << 0 << 0;
    QTest::newRow("50 m") << 0.0 << 50.0 << 50000 << 0 << 0;
    QTest::newRow("65.535 m") << 0.0 << 65.535 << 65535 << 0 << 0;
    QTest::newRow("65.536 m") << 0.0 << 65.536 << 65 << 0 << 0;
    QTest::newRow("100.02 m") << 0.0 << 100.02 << 100 << 0 << 0;
    QTest::newRow("250 m") << 0.0 << 250.0 << 250 << 0 << 0;
    QTest::newRow("40000 m") << 0.0 << 40000.0 << 40000 << 0 << 0;
    QTest::newRow("65535 m") << 0.0 << 65535.0 << 65535 << 0 << 0;
    QTest::newRow("70000 m") << 0.0 << 70000.0 << 0 << 0 << 0;
    QTest::newRow("below a millimetre") << 0.0 << 0.0004 << 0 << 0 << 0;
    QTest::newRow("first depth 12.5") << 12.5 << 10.0 << 10000 << 125 << -10;
    QTest::newRow("first depth -0.25") << -0.25 << 10.0 << 10000 << -25 << -100;
    QTest::newRow("first depth 3.1416") << 3.1416 << 10.0 << 10000 << 31416 << -10000;
    QTest::newRow("first depth 500") << 500.0 << 10.0 << 10000 << 500 << 0;
    QTest::newRow("first depth 40000") << 40000.0 << 10.0 << 10000 << 4000 << 10;
}

void TestSegy::depthFields()
{
    QFETCH(double, z0);
    QFETCH(double, dz);
    QFETCH(int, interval);
    QFETCH(int, delay);
    QFETCH(int, time_scalar);
    QTemporaryDir dir;
    const QString path = dir.filePath("d.sgy");
    QVERIFY(write_segy_cube(path, make_cube(2, 2, 4), {0, 1}, {0, 1}, nodes(z0, dz, 4)));
    const QByteArray b = read_file(path);
    QCOMPARE(int(quint16(i16_at(b, 3217))), interval);
    QCOMPARE(int(quint16(i16_at(b, 3219))), interval);
    QCOMPARE(int(quint16(i16_at(b, 3600 + 117))), interval);
    // Our reader prefers the exact extended interval; a reader of the
    // 16-bit field alone (unsigned, thousandths of a metre) finds the step
    // wherever it is at most 65.535 m.
    vector3D c;
    std::vector<double> x, y, z;
    QVERIFY(read_segy_cube(path, c, x, y, z));
    QVERIFY(std::fabs((z[1] - z[0]) - dz) <= 1e-9 * dz);
    if (dz <= 65.535)
        QVERIFY(std::fabs(interval / 1000.0 - dz) < 0.001);
    QVERIFY(std::fabs(f64_at(b, 3273) - dz * 1000) <= 1e-9 * dz * 1000);
    QCOMPARE(int(i16_at(b, 3600 + 109)), delay);
    QCOMPARE(int(i16_at(b, 3600 + 215)), time_scalar);
}

void TestSegy::degenerateShapesRoundTrip_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::newRow("one row") << 5 << 1 << 3;
    QTest::newRow("one column") << 1 << 4 << 3;
    QTest::newRow("one level") << 3 << 2 << 1;
    QTest::newRow("one cell") << 1 << 1 << 1;
}

void TestSegy::degenerateShapesRoundTrip()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QTemporaryDir dir;
    const QString path = dir.filePath("g.sgy");
    const vector3D cube = make_cube(nx, ny, nz);
    const std::vector<double> x = nodes(6512345.5, 25, nx), y = nodes(512345.5, 50, ny), z = nodes(12.5, 24.691224, nz);
    const CodecStatus written = write_segy_cube(path, cube, x, y, z);
    QVERIFY2(written, qPrintable(written.message()));
    vector3D back;
    std::vector<double> bx, by, bz;
    const CodecStatus read = read_segy_cube(path, back, bx, by, bz);
    QVERIFY2(read, qPrintable(read.message()));
    QCOMPARE(back, cube);
    QCOMPARE(bx, x);
    QCOMPARE(by, y);
    QCOMPARE(bz.size(), z.size());
    for (int k = 0; k < nz; ++k)
        QVERIFY(std::fabs(bz[k] - z[k]) <= 1e-9 * z[k]);
}

void TestSegy::readerPrefersExtendedInterval()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.sgy");
    for (bool big : {false, true}) {
        Fixture f;
        f.big = big;
        f.interval = 24691;
        f.extended_interval = 24691.224;
        f.delay = 125;
        f.time_scalar = -10;
        // Revision 2 in single bytes, or as the 16-bit 0x0200 some writers use.
        for (int form = 0; form < 2; ++form) {
            f.revision_2_bytes = form == 0;
            f.revision = form == 0 ? 0 : 0x0200;
            QVERIFY(write_file(path, f.bytes()));
            vector3D c;
            std::vector<double> x, y, z;
            const CodecStatus status = read_segy_cube(path, c, x, y, z);
            QVERIFY2(status, qPrintable(status.message()));
            for (int k = 0; k < f.nz; ++k)
                QVERIFY2(std::fabs(z[k] - (12.5 + k * 24.691224)) < 1e-9,
                         qPrintable(QString::number(z[k], 'g', 17)));
        }
        // Before revision 2 the bytes 3273-3280 mean nothing: the 16-bit
        // interval holds.
        f.revision_2_bytes = false;
        f.revision = 0x0100;
        QVERIFY(write_file(path, f.bytes()));
        vector3D c;
        std::vector<double> x, y, z;
        QVERIFY(read_segy_cube(path, c, x, y, z));
        QVERIFY(std::fabs(z[2] - (12.5 + 2 * 24.691)) < 1e-9);
        // A revision 2 file without an extended interval uses the 16-bit one,
        // read unsigned (a step of 50 m written by older programs as 50000).
        f.revision_2_bytes = true;
        f.extended_interval = 0;
        f.interval = 50000;
        f.time_scalar = 0;
        f.delay = 100;
        QVERIFY(write_file(path, f.bytes()));
        QVERIFY(read_segy_cube(path, c, x, y, z));
        QCOMPARE(z[3], 250.0);
    }
}

void TestSegy::unusableExtendedIntervalIsIgnored_data()
{
    QTest::addColumn<double>("extended");
    QTest::addColumn<int>("interval");   // 16-bit field, as stored
    QTest::addColumn<double>("step");    // depth step read, metres
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Not a positive finite number, depths beyond the coordinate limit, or a
    // step the views cannot tell from none: the 16-bit field holds.
    QTest::newRow("1e300") << 1e300 << 50000 << 50.0;
    QTest::newRow("last depth beyond the limit") << 1e18 / 4 << 10000 << 10.0;
    QTest::newRow("1e-300") << 1e-300 << 500 << 0.5;
    QTest::newRow("NaN") << nan << 10000 << 10.0;
    QTest::newRow("infinity") << inf << 10000 << 10.0;
    QTest::newRow("negative") << -24691.224 << 24691 << 24.691;
    QTest::newRow("zero") << 0.0 << 24691 << 24.691;
    // A usable one, with the last depth near the limit, is taken.
    QTest::newRow("last depth near the limit") << 2.49e17 << 10000 << 2.49e14;
}

void TestSegy::unusableExtendedIntervalIsIgnored()
{
    QFETCH(double, extended);
    QFETCH(int, interval);
    QFETCH(double, step);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.sgy");
    for (bool big : {false, true}) {
        Fixture f;
        f.big = big;
        f.revision_2_bytes = true;
        f.interval = interval;
        f.extended_interval = extended;
        f.delay = 125;
        f.time_scalar = -10;
        QVERIFY(write_file(path, f.bytes()));
        vector3D c;
        std::vector<double> x, y, z;
        const CodecStatus status = read_segy_cube(path, c, x, y, z);
        QVERIFY2(status, qPrintable(status.message()));
        QCOMPARE(z.size(), size_t(f.nz));
        for (int k = 0; k < f.nz; ++k)
            QVERIFY2(std::fabs(z[k] - (12.5 + k * step)) <= 1e-9 * std::max(1.0, std::fabs(z[k])),
                     qPrintable(QString::number(z[k], 'g', 17)));
    }
}

void TestSegy::coordinateScalar_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<int>("scalar");
    QTest::addColumn<double>("precision");
    QTest::newRow("whole metres") << 6543210.0 << 50.0 << 0 << 0.0;
    QTest::newRow("half metres") << 6543210.5 << 25.0 << -10 << 0.0;
    QTest::newRow("millimetres") << 1234.567 << 0.125 << -1000 << 0.0;
    QTest::newRow("thirds, small") << 100.0 << 100.0 / 3 << -10000 << 0.5e-4;
    QTest::newRow("thirds, projected") << 6543210.0 << 100.0 / 3 << -100 << 0.5e-2;
}

void TestSegy::coordinateScalar()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(int, scalar);
    QFETCH(double, precision);
    QTemporaryDir dir;
    const QString path = dir.filePath("s.sgy");
    const std::vector<double> x{x0, x0 + dx, x0 + 2 * dx}, y{x0, x0 + 2 * dx};
    QVERIFY(write_segy_cube(path, make_cube(3, 2, 2), x, y, {0, 1}));
    const QByteArray b = read_file(path);
    QCOMPARE(int(i16_at(b, 3600 + 71)), scalar);
    vector3D c;
    std::vector<double> bx, by, bz;
    QVERIFY(read_segy_cube(path, c, bx, by, bz));
    for (int j = 0; j < 3; ++j)
        QVERIFY2(std::fabs(bx[j] - x[j]) <= precision + 1e-9 * std::fabs(x[j]),
                 qPrintable(QString("%1 vs %2").arg(bx[j], 0, 'g', 17).arg(x[j], 0, 'g', 17)));
}

void TestSegy::readFormats_data()
{
    QTest::addColumn<bool>("big");
    QTest::addColumn<int>("format");
    for (bool big : {false, true})
        for (int format : {1, 2, 3, 5})
            QTest::newRow(QString("%1-endian format %2").arg(big ? "big" : "little").arg(format).toLatin1())
                << big << format;
}

void TestSegy::readFormats()
{
    QFETCH(bool, big);
    QFETCH(int, format);
    Fixture f;
    f.big = big;
    f.format = format;
    f.nz = 100;  // format 3: traces of 240 + 200 bytes
    f.delay = 250;
    f.scalar = -10;
    f.x = [](int, int j) { return 65432105 + 250 * j; };
    f.y = [](int i, int) { return 71234560 + 125 * i; };
    QTemporaryDir dir;
    const QString path = dir.filePath("f.sgy");
    QVERIFY(write_file(path, f.bytes()));
    if (format == 3)
        QCOMPARE(QFileInfo(path).size(), 3600 + 12 * 440);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    segy_geometry g;
    QVERIFY(scan_segy_geometry(file, g));
    QCOMPARE(g.big_endian, big);
    QCOMPARE(g.sample_format, format);
    QCOMPARE(g.traces_per_line, 4);
    QCOMPARE(g.lines, 3);
    QCOMPARE(g.samples, 100);
    QCOMPARE(g.trace_bytes, qint64(format == 3 ? 440 : 640));

    vector3D cube;
    std::vector<double> x, y, z;
    const CodecStatus status = read_segy_cube(path, cube, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(cube.size(), size_t(100));
    QCOMPARE(cube[0].size(), size_t(3));
    QCOMPARE(cube[0][0].size(), size_t(4));
    for (int k = 0; k < 100; ++k)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                QCOMPARE(cube[k][i][j], float(f.value(k, i, j)));
    QCOMPARE(x, (std::vector<double>{6543210.5, 6543235.5, 6543260.5, 6543285.5}));
    QCOMPARE(y, (std::vector<double>{7123456.0, 7123468.5, 7123481.0}));
    QCOMPARE(z.front(), 250.0);
    QCOMPARE(z[1], 260.0);
    QCOMPARE(z.back(), 250.0 + 99 * 10.0);
}

void TestSegy::ibmConversion_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<float>("value");
    QTest::newRow("1.0") << quint32(0x41100000) << 1.0f;
    QTest::newRow("-1.0") << quint32(0xC1100000) << -1.0f;
    QTest::newRow("zero") << quint32(0) << 0.0f;
    QTest::newRow("zero fraction, exponent set") << quint32(0x45000000) << 0.0f;
    QTest::newRow("0.5") << quint32(0x40800000) << 0.5f;
    QTest::newRow("100") << quint32(0x42640000) << 100.0f;
    QTest::newRow("-118.625") << quint32(0xC276A000) << -118.625f;
    QTest::newRow("0.15625") << quint32(0x40280000) << 0.15625f;
    QTest::newRow("largest IBM is infinite") << quint32(0x7FFFFFFF) << std::numeric_limits<float>::infinity();
    QTest::newRow("smallest IBM underflows") << quint32(0x00100000) << 0.0f;
}

void TestSegy::ibmConversion()
{
    QFETCH(quint32, word);
    QFETCH(float, value);
    QCOMPARE(ibm_to_ieee(word), value);
    if (std::isfinite(value) && value != 0.0f)
        QCOMPARE(ieee_to_ibm(value), word);
}

void TestSegy::ibmRoundTrip()
{
    // Floats whose significand fits IBM's 21 to 24 bits survive both ways.
    for (float v : {1.0f, 3.0f, -0.375f, 1e-20f, 6.5e20f, 123456.0f, -7.25f, 1.0f / 1024})
        QCOMPARE(ibm_to_ieee(ieee_to_ibm(v)), v);
    // Others round to the nearest IBM single.
    const float third = 1.0f / 3;
    QVERIFY(std::fabs(ibm_to_ieee(ieee_to_ibm(third)) - third) <= third * 1e-6f);
}

void TestSegy::lineDetection()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("k.sgy");
    // Key at 181 constant: the inline number at 189 gives the lines.
    Fixture f;
    f.key = [](int, int) { return 0; };
    QVERIFY(write_file(path, f.bytes()));
    vector3D c;
    std::vector<double> x, y, z;
    QVERIFY(read_segy_cube(path, c, x, y, z));
    QCOMPARE(c[0].size(), size_t(3));
    QCOMPARE(c[0][0].size(), size_t(4));
    // Key at 181 a falling coordinate-like number per line.
    f.key = [](int, int j) { return 500000 + 25 * j; };
    f.inline_no = [](int, int) { return 0; };
    QVERIFY(write_file(path, f.bytes()));
    QVERIFY(read_segy_cube(path, c, x, y, z));
    QCOMPARE(c[2][2][3], float(f.value(2, 2, 3)));
    // Key at 181 the CDP x of lines whose x falls: it falls along each line
    // and rises where the next line starts.
    Fixture cdp_x;
    cdp_x.x = [](int, int j) { return 1150 - 50 * j; };
    cdp_x.key = cdp_x.x;
    cdp_x.inline_no = [](int, int) { return 0; };
    segy_placement placement;
    QVERIFY(write_file(path, cdp_x.bytes()));
    const CodecStatus status = read_segy_cube(path, c, x, y, z, CodecProgress(), &placement);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(c[0].size(), size_t(3));
    QCOMPARE(c[0][0].size(), size_t(4));
    QCOMPARE(x, (std::vector<double>{1000, 1050, 1100, 1150}));
    QVERIFY(placement.columns_reversed && !placement.rows_reversed);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            QCOMPARE(c[4][i][j], float(cdp_x.value(4, i, 3 - j)));
}

void TestSegy::singleLineAndSingleColumn()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("one.sgy");
    // Keys that never fall: all traces form one line, read as one row.
    Fixture one_line;
    one_line.key = [](int i, int j) { return i * 10 + j; };
    one_line.inline_no = [](int, int) { return 1; };
    one_line.x = [](int i, int j) { return 1000 + 50 * (i * 4 + j); };
    one_line.y = [](int, int) { return 2000; };
    QVERIFY(write_file(path, one_line.bytes()));
    vector3D c;
    std::vector<double> x, y, z;
    CodecStatus status = read_segy_cube(path, c, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(c.size(), size_t(5));
    QCOMPARE(c[0].size(), size_t(1));
    QCOMPARE(c[0][0].size(), size_t(12));
    QCOMPARE(y, std::vector<double>{2000});
    QCOMPARE(x.front(), 1000.0);
    QCOMPARE(x.back(), 1550.0);
    QCOMPARE(c[3][0][9], float(one_line.value(3, 2, 1)));
    // Keys that fall at every trace: lines of one trace, one column.
    Fixture single_traces;
    single_traces.key = [](int i, int j) { return 100 - i * 4 - j; };
    single_traces.x = [](int, int) { return 1000; };
    single_traces.y = [](int i, int j) { return 2000 + 25 * (i * 4 + j); };
    QVERIFY(write_file(path, single_traces.bytes()));
    status = read_segy_cube(path, c, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(c[0].size(), size_t(12));
    QCOMPARE(c[0][0].size(), size_t(1));
    QCOMPARE(x, std::vector<double>{1000});
    QCOMPARE(y.back(), 2275.0);
}

void TestSegy::extendedTextualHeaders()
{
    Fixture f;
    f.revision = 0x0100;
    f.extended_headers = 2;
    QTemporaryDir dir;
    const QString path = dir.filePath("e.sgy");
    QVERIFY(write_file(path, f.bytes()));
    vector3D c;
    std::vector<double> x, y, z;
    const CodecStatus status = read_segy_cube(path, c, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(c[4][2][3], float(f.value(4, 2, 3)));
    // Extended headers are counted only from revision 1 on.
    f.revision = 0;
    f.extended_headers = 0;
    QByteArray b = f.bytes();
    b.replace(3504, 2, le16(3));
    QVERIFY(write_file(path, b));
    QVERIFY(read_segy_cube(path, c, x, y, z));
}

void TestSegy::geometryScanOnAnyDevice()
{
    Fixture f;
    f.big = true;
    f.format = 1;
    f.delay = 20;
    QByteArray bytes = f.bytes();
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    segy_geometry g;
    QVERIFY(scan_segy_geometry(buffer, g));
    QCOMPARE(g.traces_per_line, 4);
    QCOMPARE(g.lines, 3);
    QCOMPARE(g.samples, 5);
    QCOMPARE(g.x_first, 1000.0);
    QCOMPARE(g.x_last, 1150.0);
    QCOMPARE(g.y_first, 2000.0);
    QCOMPARE(g.y_last, 2050.0);
    QCOMPARE(g.z_first, 20.0);
    QCOMPARE(g.z_step, 10.0);

    segy_binary_header h;
    QVERIFY(read_segy_binary_header(buffer, h));
    QVERIFY(h.big_endian);
    QCOMPARE(h.sample_format(), 1);
    QCOMPARE(h.samples_per_trace(), 5);
    QCOMPARE(h.sample_interval(), 10000);
    segy_trace_header t;
    QVERIFY(buffer.seek(3600 + 260));
    QVERIFY(read_segy_trace_header(buffer, t, true));
    QCOMPARE(t.int32_at(181), 2);
    QCOMPARE(t.int32_at(81), 1050);
    QCOMPARE(t.int16_at(109), qint16(20));

    // Headers written back field by field come out as read.
    QByteArray copy;
    QBuffer out(&copy);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(write_segy_binary_header(out, h));
    QVERIFY(write_segy_trace_header(out, t));
    QCOMPARE(copy, bytes.mid(3200, 400) + bytes.mid(3600 + 260, 240));
}

void TestSegy::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CodecError>("error");
    Fixture f;
    const QByteArray good = f.bytes();
    auto with = [](QByteArray b, int position, const QByteArray& field) {
        b.replace(position - 1, field.size(), field);
        return b;
    };
    QTest::newRow("shorter than the file header") << good.left(3000) << CodecError::UnknownFormat;
    QTest::newRow("format 8") << with(good, 3225, le16(8)) << CodecError::Unsupported;
    QTest::newRow("format 6 big-endian") << with(good, 3225, be16(6)) << CodecError::Unsupported;
    QTest::newRow("format 4") << with(good, 3225, le16(4)) << CodecError::Unsupported;
    QTest::newRow("format 0") << with(good, 3225, le16(0)) << CodecError::Unsupported;
    QTest::newRow("no samples") << with(good, 3221, le16(0)) << CodecError::BadHeader;
    QTest::newRow("no traces") << good.left(3600) << CodecError::BadHeader;
    QTest::newRow("65535 samples in a short file") << with(good, 3221, le16(-1)) << CodecError::BadHeader;
    QTest::newRow("last trace cut") << good.left(good.size() - 7) << CodecError::Truncated;
    QTest::newRow("last line short") << good.left(good.size() - 260) << CodecError::BadHeader;
    QTest::newRow("zero sample interval") << with(good, 3217, le16(0)) << CodecError::BadHeader;
    QTest::newRow("variable extended headers") << with(with(good, 3501, le16(0x100)), 3505, le16(-1))
                                               << CodecError::Unsupported;
    Fixture uneven;
    uneven.key = [](int i, int j) { return i == 1 && j == 2 ? 0 : j + 1; };
    QTest::newRow("lines of different lengths") << uneven.bytes() << CodecError::BadHeader;
}

void TestSegy::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CodecError, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.sgy");
    QVERIFY(write_file(path, bytes));
    Sentinel s;
    const CodecStatus status = read_segy_cube(path, s.cube, s.x, s.y, s.z);
    QVERIFY(!status);
    QCOMPARE(status.code(), error);
    QVERIFY2(status.message().contains("bad.sgy"), qPrintable(status.message()));
    QVERIFY(!status.message(0).isEmpty());
    QVERIFY(s.unchanged());
}

void TestSegy::coordinatesThatMakeNoGrid_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");        // what the message says is wrong
    QTest::addColumn<QString>("other_fields");  // the fields the message names as spread
    const QString one_point = "stay the same along the lines or from line to line";
    auto zero = [](int, int) { return 0; };
    Fixture cdp;  // the key at 181-184 runs 1, 2, ... along each line
    cdp.x = zero;
    cdp.y = zero;
    cdp.cdp_y = [](int i, int) { return 100 + 10 * i; };
    QTest::newRow("group coordinates 0, CDP set")
        << cdp.bytes() << one_point
        << "the CDP coordinates (bytes 181-188) do not, but the cube's nodes are taken from bytes 81-88";
    Fixture source;
    source.x = zero;
    source.y = zero;
    source.source_x = [](int, int j) { return 1000 + 50 * j; };
    source.source_y = [](int i, int) { return 2000 - 25 * i; };
    QTest::newRow("group coordinates 0, source set")
        << source.bytes() << one_point
        << "the source coordinates (bytes 73-80) do not, but the cube's nodes are taken from bytes 81-88";
    Fixture both = source;
    both.cdp_y = cdp.cdp_y;
    QTest::newRow("group coordinates 0, CDP and source set")
        << both.bytes() << one_point
        << "the CDP coordinates (bytes 181-188) and the source coordinates (bytes 73-80) do not";
    Fixture none;
    none.x = zero;
    none.y = zero;
    QTest::newRow("every coordinate 0") << none.bytes() << one_point + " (x 0 to 0, y 0 to 0)" << QString();
    Fixture flat;
    flat.x = [](int, int) { return 1000; };
    QTest::newRow("x the same along a line") << flat.bytes() << one_point + " (x 1000 to 1000, y 2000 to 2050)"
                                             << QString();
    Fixture flat_y;
    flat_y.y = [](int, int) { return 2000; };
    QTest::newRow("y the same from line to line") << flat_y.bytes() << one_point + " (x 1000 to 1150, y 2000 to 2000)"
                                                  << QString();
    const qint32 back_and_forth[] = {1000, 1100, 1050, 1150};
    Fixture x_back;
    x_back.x = [back_and_forth](int, int j) { return back_and_forth[j]; };
    QTest::newRow("x turns back along the first line")
        << x_back.bytes() << "x, read from the group coordinates (bytes 81-88 of the trace headers), turns back along "
                             "the first line: trace 3 has x 1050 after 1100"
        << QString();
    Fixture x_falls_back;
    x_falls_back.x = [back_and_forth](int, int j) { return 2150 - back_and_forth[j]; };
    QTest::newRow("falling x turns back along the first line")
        << x_falls_back.bytes() << "turns back along the first line: trace 3 has x 1100 after 1050" << QString();
    Fixture y_back;
    y_back.y = [](int i, int) { return i == 1 ? 2050 : 2000 + 10 * i; };
    QTest::newRow("y turns back from line to line")
        << y_back.bytes() << "y, read from the group coordinates (bytes 81-88 of the trace headers), turns back from "
                             "line to line: line 3 starts at y 2020 after 2050"
        << QString();
}

// A file whose traces cannot be the nodes of a grid is refused at open with
// the bytes the coordinates come from; at one point, the fields that do
// spread are named.
void TestSegy::coordinatesThatMakeNoGrid()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(QString, other_fields);
    QTemporaryDir dir;
    const QString path = dir.filePath("flat.sgy");
    QVERIFY(write_file(path, bytes));
    Sentinel s;
    const CodecStatus status = read_segy_cube(path, s.cube, s.x, s.y, s.z);
    QVERIFY(!status);
    QCOMPARE(status.code(), CodecError::BadHeader);
    QVERIFY2(status.message().contains("flat.sgy\" does not hold a readable cube: its traces' "),
             qPrintable(status.message()));
    QVERIFY2(status.message().contains("read from the group coordinates (bytes 81-88 of the trace headers)"),
             qPrintable(status.message()));
    QVERIFY2(status.message().contains(reason), qPrintable(status.message()));
    if (other_fields.isEmpty()) {
        QVERIFY2(!status.message().contains("CDP") && !status.message().contains("source"),
                 qPrintable(status.message()));
    } else {
        QVERIFY2(status.message().contains(other_fields), qPrintable(status.message()));
    }
    QVERIFY(status.message(0).contains(QString::fromUtf8("байты 81-88")));
    QVERIFY(s.unchanged());
}

void TestSegy::fallingCoordinatesAreReversed_data()
{
    QTest::addColumn<QString>("writer");  // "own": the fixture above; "segyio"
    QTest::addColumn<bool>("big");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("dy");
    QTest::addColumn<bool>("columns_reversed");
    QTest::addColumn<bool>("rows_reversed");
    for (const char* writer : {"own", "segyio"}) {
        auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", name, writer) << QString(writer);
        };
        row("rising") << false << 5 << 4 << 3 << 1000.0 << 50.0 << 5000.0 << 25.0 << false << false;
        row("y falls") << false << 5 << 4 << 3 << 1000.0 << 50.0 << 5100.0 << -50.0 << false << true;
        row("x falls") << false << 5 << 4 << 3 << 1150.0 << -50.0 << 5000.0 << 25.0 << true << false;
        row("both fall, big-endian IBM") << true << 1 << 4 << 3 << 1150.0 << -50.0 << 5100.0 << -50.0 << true << true;
        row("one line, x falls") << false << 5 << 5 << 1 << 1200.0 << -50.0 << 5000.0 << 0.0 << true << false;
        row("one trace per line, y falls") << true << 5 << 1 << 4 << 1000.0 << 0.0 << 5150.0 << -50.0 << false << true;
    }
}

// Whichever way x and y run in the file, the cube's nodes increase and every
// cell holds the samples of the trace at its node's coordinates; a save
// writes the same cells at the same coordinates in increasing order.
void TestSegy::fallingCoordinatesAreReversed()
{
    QFETCH(QString, writer);
    QFETCH(bool, big);
    QFETCH(int, format);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(double, y0);
    QFETCH(double, dy);
    QFETCH(bool, columns_reversed);
    QFETCH(bool, rows_reversed);
    const int nz = 3;
    QTemporaryDir dir;
    const QString path = dir.filePath("placed.sgy");
    if (writer == "segyio") {
        const QString python = python_with_segyio();
        if (python.isEmpty())
            QSKIP("python3-segyio is not installed");
        QString log;
        QVERIFY2(run(python, {segyio_script(), "write", path, big ? "big" : "little", QString::number(format),
                              QString::number(nx), QString::number(ny), QString::number(nz), "10000", "0", "0",
                              QString::number(x0), QString::number(dx), QString::number(y0), QString::number(dy),
                              "1000", "5000"},
                     nullptr, &log),
                 qPrintable(log));
    } else {
        Fixture f;
        f.big = big;
        f.format = format;
        f.nx = nx;
        f.ny = ny;
        f.nz = nz;
        f.x = [=](int, int j) { return qint32(x0 + dx * j); };
        f.y = [=](int i, int) { return qint32(y0 + dy * i); };
        f.value = [=](int k, int i, int j) { return placed_value(x0 + dx * j, y0 + dy * i, k); };
        QVERIFY(write_file(path, f.bytes()));
    }

    vector3D cube;
    std::vector<double> x, y, z;
    segy_placement placement;
    placement.rotation = -1;
    const CodecStatus status = read_segy_cube(path, cube, x, y, z, CodecProgress(), &placement);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(int(cube.size()), nz);
    QCOMPARE(int(cube[0].size()), ny);
    QCOMPARE(int(cube[0][0].size()), nx);
    QCOMPARE(x, nodes(std::min(x0, x0 + dx * (nx - 1)), std::fabs(dx), nx));
    QCOMPARE(y, nodes(std::min(y0, y0 + dy * (ny - 1)), std::fabs(dy), ny));
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j)
                QCOMPARE(cube[k][i][j], float(placed_value(x[j], y[i], k)));
    QCOMPARE(placement.columns_reversed, columns_reversed);
    QCOMPARE(placement.rows_reversed, rows_reversed);
    QCOMPARE(placement.rotation, 0.0);
    const QString note = segy_reversal_text(placement, 1);
    QCOMPARE(note.contains("rows"), rows_reversed);
    QCOMPARE(note.contains("columns"), columns_reversed);
    QCOMPARE(segy_reversal_text(placement, 0).isEmpty(), note.isEmpty());
    QVERIFY(segy_rotation_text(path, placement, x, y, 1).isEmpty());

    const QString saved = dir.filePath("saved.sgy");
    QVERIFY(write_segy_cube(saved, cube, x, y, z));
    vector3D back;
    std::vector<double> bx, by, bz;
    segy_placement again;
    QVERIFY(read_segy_cube(saved, back, bx, by, bz, CodecProgress(), &again));
    QCOMPARE(back, cube);
    QCOMPARE(bx, x);
    QCOMPARE(by, y);
    QVERIFY(!again.rows_reversed && !again.columns_reversed);
}

void TestSegy::rotatedSurveyIsNamed_data()
{
    QTest::addColumn<double>("angle");  // of the lines, counter-clockwise from the x axis
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<bool>("rows_reversed");
    QTest::newRow("30 degrees") << 30.0 << 5 << 4 << false;
    // The last trace lies south of the first: the rows come in reverse.
    QTest::newRow("-30 degrees, long lines") << -30.0 << 8 << 4 << true;
    QTest::newRow("30 degrees, one line") << 30.0 << 6 << 1 << false;
    QTest::newRow("30 degrees, one trace per line") << 30.0 << 1 << 5 << false;
}

// A survey whose lines do not run along x or y opens on the axis-aligned
// grid between its first and last traces, with a message naming the angle.
void TestSegy::rotatedSurveyIsNamed()
{
    QFETCH(double, angle);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(bool, rows_reversed);
    const double a = angle * 3.14159265358979323846 / 180, d = 100;
    auto at = [=](int i, int j) {
        return std::make_pair(10000 + j * d * std::cos(a) - i * d * std::sin(a),
                              20000 + j * d * std::sin(a) + i * d * std::cos(a));
    };
    Fixture f;
    f.nx = nx;
    f.ny = ny;
    f.scalar = -100;
    f.x = [=](int i, int j) { return qint32(std::lround(at(i, j).first * 100)); };
    f.y = [=](int i, int j) { return qint32(std::lround(at(i, j).second * 100)); };
    QTemporaryDir dir;
    const QString path = dir.filePath("rotated.sgy");
    QVERIFY(write_file(path, f.bytes()));
    vector3D cube;
    std::vector<double> x, y, z;
    segy_placement placement;
    const CodecStatus status = read_segy_cube(path, cube, x, y, z, CodecProgress(), &placement);
    QVERIFY2(status, qPrintable(status.message()));
    QVERIFY2(std::fabs(placement.rotation - 30) < 0.1, qPrintable(QString::number(placement.rotation)));
    QCOMPARE(placement.rows_reversed, rows_reversed);
    QVERIFY(!placement.columns_reversed);
    // The first and the last trace at their own coordinates, the corners of
    // the grid.
    auto rounded = [](double v) { return std::round(v * 100) / 100; };
    const int first_row = rows_reversed ? ny - 1 : 0, last_row = ny - 1 - first_row;
    QCOMPARE(x.front(), rounded(at(0, 0).first));
    QCOMPARE(y[first_row], rounded(at(0, 0).second));
    QVERIFY(std::fabs(x.back() - rounded(at(0, nx - 1).first)) < 1e-9);
    if (ny > 1)  // a single line lies at the first trace's y
        QVERIFY(std::fabs(y[last_row] - rounded(at(ny - 1, nx - 1).second)) < 1e-9);
    for (int k = 0; k < f.nz; ++k) {
        QCOMPARE(cube[k][first_row][0], float(f.value(k, 0, 0)));
        QCOMPARE(cube[k][last_row][nx - 1], float(f.value(k, ny - 1, nx - 1)));
    }
    const QString text = segy_rotation_text(path, placement, x, y, 1);
    QVERIFY2(text.contains("rotated.sgy\" is rotated by about 30\u00b0"), qPrintable(text));
    QVERIFY2(text.contains("placed on the axis-aligned grid between the first and the last traces' coordinates"),
             qPrintable(text));
    QVERIFY2(segy_rotation_text(path, placement, x, y, 0).contains(QString::fromUtf8("примерно на 30°")),
             qPrintable(segy_rotation_text(path, placement, x, y, 0)));
}

void TestSegy::nonFiniteSamplesAreRead_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("big");
    QTest::newRow("IEEE little-endian") << 5 << false;
    QTest::newRow("IEEE big-endian") << 5 << true;
}

// NaN and infinite samples are read as they are; the command counts them.
void TestSegy::nonFiniteSamplesAreRead()
{
    QFETCH(int, format);
    QFETCH(bool, big);
    Fixture f;
    f.format = format;
    f.big = big;
    const auto plain = f.value;
    f.value = [plain](int k, int i, int j) {
        if (k == 1 && i == 2 && j == 3)
            return std::numeric_limits<double>::quiet_NaN();
        if (k == 4 && i == 0 && j == 1)
            return -std::numeric_limits<double>::infinity();
        return plain(k, i, j);
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("nan.sgy");
    QVERIFY(write_file(path, f.bytes()));
    vector3D cube;
    std::vector<double> x, y, z;
    const CodecStatus status = read_segy_cube(path, cube, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QVERIFY(std::isnan(cube[1][2][3]));
    QCOMPARE(cube[4][0][1], -std::numeric_limits<float>::infinity());
    QCOMPARE(cube[0][0][0], float(plain(0, 0, 0)));
    const NonFiniteCells cells = non_finite_cells(cube);
    QCOMPARE(cells.count, 2LL);
    QCOMPARE(cells.level, 1);
}

void TestSegy::writerRefuses_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    QTest::addColumn<double>("x0");
    QTest::newRow("empty") << 0 << 0 << 0 << 0.0 << 10.0 << 0.0;
    QTest::newRow("depth decreasing") << 3 << 3 << 3 << 0.0 << -10.0 << 0.0;
    QTest::newRow("equal depths") << 3 << 3 << 3 << 0.0 << 0.0 << 0.0;
    QTest::newRow("first depth beyond the delay") << 3 << 3 << 3 << 4e8 << 10.0 << 0.0;
    QTest::newRow("coordinates too large") << 3 << 3 << 3 << 0.0 << 10.0 << 3e9;
}

void TestSegy::writerRefuses()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, z0);
    QFETCH(double, dz);
    QFETCH(double, x0);
    const vector3D cube = nz > 0 ? make_cube(nx, ny, nz) : vector3D();
    std::vector<double> x(nx), y(ny), z(nz);
    for (int j = 0; j < nx; ++j)
        x[j] = x0 + j;
    for (int i = 0; i < ny; ++i)
        y[i] = i;
    for (int k = 0; k < nz; ++k)
        z[k] = z0 + k * dz;
    QTemporaryDir dir;
    const CodecStatus status = write_segy_cube(dir.filePath("w.sgy"), cube, x, y, z);
    QCOMPARE(status.code(), CodecError::BadGrid);
    QVERIFY(!status.message().isEmpty());
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestSegy::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.sgy");
    QVERIFY(write_file(path, "precious"));
    const vector3D cube = make_cube(3, 4, 2);
    const CodecStatus stopped =
        write_segy_cube(path, cube, {0, 1, 2}, {0, 1, 2, 3}, {0, 10}, [](int p) { return p < 50; });
    QCOMPARE(stopped.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), QByteArray("precious"));
    QVERIFY(!write_segy_cube(path, cube, {0, 1, 2}, {0, 1, 2, 3}, {10, 0}));
    QCOMPARE(read_file(path), QByteArray("precious"));
    QCOMPARE(files_in(dir.path()), QStringList{"keep.sgy"});
    // A stopped read leaves the outputs alone.
    QVERIFY(write_segy_cube(path, cube, {0, 1, 2}, {0, 1, 2, 3}, {0, 10}));
    Sentinel s;
    QCOMPARE(read_segy_cube(path, s.cube, s.x, s.y, s.z, [](int p) { return p < 50; }).code(), CodecError::Cancelled);
    QVERIFY(s.unchanged());
}

// ---- segyio -------------------------------------------------------------------

void TestSegy::segyioReadsOurFiles_data()
{
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("dz");
    for (double z0 : {0.0, 12.5})
        for (double dz : {0.5, 24.691224, 32.768, 50.0, 65.535, 100.02, 250.0})
            QTest::newRow(QString("dz %1 from %2").arg(dz).arg(z0).toLatin1()) << z0 << dz;
}

void TestSegy::segyioReadsOurFiles()
{
    QFETCH(double, z0);
    QFETCH(double, dz);
    const QString python = python_with_segyio();
    if (python.isEmpty())
        QSKIP("python3-segyio is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath("ours.sgy");
    const int nx = 5, ny = 4, nz = 6;
    const vector3D cube = make_cube(nx, ny, nz);
    const std::vector<double> x = nodes(6543210.5, 25.5, nx), y = nodes(7123456.25, 12.5, ny), z = nodes(z0, dz, nz);
    QVERIFY(write_segy_cube(path, cube, x, y, z));

    QString out, log;
    QVERIFY2(run(python, {segyio_script(), "read", path}, &out, &log), qPrintable(log));
    const QJsonObject o = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(o["binary_format"].toInt(), 5);
    QCOMPARE(o["binary_samples"].toInt(), nz);
    QCOMPARE(o["tracecount"].toInt(), nx * ny);
    QCOMPARE(o["ilines"].toArray().size(), ny);
    QCOMPARE(o["xlines"].toArray().size(), nx);
    QCOMPARE(o["samples"].toArray().size(), nz);
    const QJsonArray tx = o["x"].toArray(), ty = o["y"].toArray();
    for (int t = 0; t < nx * ny; ++t) {
        QCOMPARE(tx[t].toDouble(), x[t % nx]);
        QCOMPARE(ty[t].toDouble(), y[t / nx]);
    }

    // Sample positions as a SEG-Y reader finds them: the first depth is the
    // delay with the time scalar applied (both as segyio reads them); the
    // step the revision 2 extended interval.
    QCOMPARE(o["revision_major"].toInt(), 2);
    const double first = o["first_depth"].toDouble();
    const double step = o["extended_interval"].toDouble() / 1000.0;
    QCOMPARE(first, z0);
    for (int k = 0; k < nz; ++k)
        QVERIFY2(std::fabs(first + k * step - z[k]) <= 1e-9 * std::max(1.0, z[k]),
                 qPrintable(QString("%1: %2").arg(k).arg(first + k * step, 0, 'g', 17)));
    // The 16-bit interval, unsigned as the standard defines it: thousandths
    // of a metre up to 65.535 m (50 m is 50000), whole metres above. The
    // trace headers agree with the binary header (so segyio does not fall
    // back to a default). Where the step fits in thousandths of a metre, the
    // samples an unsigned reader finds through segyio step by it: a 50 m cube
    // reads 0, 50, 100 ... or 12.5, 62.5, ...
    const int interval = o["binary_interval"].toInt() & 0xffff;
    QCOMPARE(o["trace_interval"].toInt() & 0xffff, interval);
    const QJsonArray samples = o["unsigned_samples"].toArray();
    QCOMPARE(samples.size(), nz);
    if (dz <= 65.535) {
        QCOMPARE(interval, int(std::floor(dz * 1000 + 1e-6)));
        for (int k = 0; k < nz; ++k)
            QVERIFY2(std::fabs(samples[k].toDouble() - (z0 + k * interval / 1000.0)) < 1e-9,
                     qPrintable(QString("%1: %2").arg(k).arg(samples[k].toDouble(), 0, 'g', 17)));
        if (dz == 0.5 || dz == 50.0)
            for (int k = 0; k < nz; ++k)
                QCOMPARE(samples[k].toDouble(), z[k]);
    } else {
        QCOMPARE(interval, int(std::floor(dz + 1e-9)));
    }
    // segyio's own positions step by the field as it takes it: unsigned, or
    // (segyio 1.8) signed, which no 16-bit value can serve above 32.767 m.
    const QJsonArray own = o["samples"].toArray();
    const double own_step = own[1].toDouble() - own[0].toDouble();
    QVERIFY2(std::fabs(own_step - interval / 1000.0) < 1e-9 || std::fabs(own_step - qint16(interval) / 1000.0) < 1e-9,
             qPrintable(QString::number(own_step, 'g', 17)));

    const QByteArray ref = read_file(path + ".ref");
    QCOMPARE(ref.size(), nx * ny * nz * 4);
    for (int t = 0; t < nx * ny; ++t)
        for (int k = 0; k < nz; ++k)
            QCOMPARE(float_at_le(ref, (t * nz + k) * 4), cube[k][t / nx][t % nx]);
}

void TestSegy::weReadSegyioFiles_data()
{
    QTest::addColumn<QString>("endian");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("interval");  // 16-bit sample interval segyio writes
    for (const char* endian : {"big", "little"})
        for (int format : {1, 5})
            for (int interval : {10000, 50000})
                QTest::newRow(QString("%1-endian format %2, interval %3").arg(endian).arg(format).arg(interval).toLatin1())
                    << endian << format << interval;
}

void TestSegy::weReadSegyioFiles()
{
    QFETCH(QString, endian);
    QFETCH(int, format);
    QFETCH(int, interval);
    const QString python = python_with_segyio();
    if (python.isEmpty())
        QSKIP("python3-segyio is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath("theirs.sgy");
    const int nx = 6, ny = 4, nz = 9;
    QString log;
    QVERIFY2(run(python, {segyio_script(), "write", path, endian, QString::number(format), QString::number(nx),
                          QString::number(ny), QString::number(nz), QString::number(interval), "100", "-100", "6543210.5", "25.25",
                          "7123456.25", "12.5"},
                 nullptr, &log),
             qPrintable(log));
    vector3D cube;
    std::vector<double> x, y, z;
    const CodecStatus status = read_segy_cube(path, cube, x, y, z);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(cube.size(), size_t(nz));
    QCOMPARE(cube[0].size(), size_t(ny));
    QCOMPARE(cube[0][0].size(), size_t(nx));
    const QByteArray ref = read_file(path + ".ref");  // what segyio itself reads
    QCOMPARE(ref.size(), nx * ny * nz * 4);
    for (int t = 0; t < nx * ny; ++t)
        for (int k = 0; k < nz; ++k)
            QCOMPARE(cube[k][t / nx][t % nx], float_at_le(ref, (t * nz + k) * 4));
    for (int j = 0; j < nx; ++j)
        QCOMPARE(x[j], 6543210.5 + 25.25 * j);
    for (int i = 0; i < ny; ++i)
        QCOMPARE(y[i], 7123456.25 + 12.5 * i);
    // The interval taken unsigned, as the standard defines it: 50000 is 50 m.
    for (int k = 0; k < nz; ++k)
        QCOMPARE(z[k], 100.0 + interval / 1000.0 * k);
}

QTEST_GUILESS_MAIN(TestSegy)
#include "tst_segy.moc"
