// Surfer grids: text and binary layouts, round trips, blanks, bad input, and
// exchange with GDAL's GSAG and GS7BG drivers.
#include "formats/surfer_grid.h"

#include "format_test_support.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

enum Kind { Binary, TextDouble, TextFloat };

CodecStatus write_kind(Kind kind, const QString& path, const field2D& grid, const std::vector<double>& params)
{
    if (kind == Binary)
        return write_surfer7_grid(path, grid, params);
    if (kind == TextDouble)
        return write_surfer6_text_grid(path, grid, params);
    vector2D floats(grid.size());
    for (size_t i = 0; i < grid.size(); ++i)
        floats[i].assign(grid[i].begin(), grid[i].end());
    return write_surfer6_text_grid(path, floats, params);
}

// Binary grid with a free choice of every header field and section.
QByteArray binary_grid(qint32 rows, qint32 cols, double xll, double yll, double xsize, double ysize,
                       const std::vector<double>& values, double blank = surfer_blank_value,
                       const char* grid_tag = "GRID", const char* data_tag = "DATA", double rotation = 0)
{
    QByteArray b = QByteArray("DSRB") + le32(4) + le32(2) + QByteArray(grid_tag, 4) + le32(72) + le32(rows) +
                   le32(cols) + le_double(xll) + le_double(yll) + le_double(xsize) + le_double(ysize) +
                   le_double(-1) + le_double(1) + le_double(rotation) + le_double(blank) + QByteArray(data_tag, 4) +
                   le32(qint32(values.size() * 8));
    for (double v : values)
        b += le_double(v);
    return b;
}

struct Sentinel {
    field2D grid{{7.0, 8.0}};
    std::vector<double> params{1, 2, 3};
    bool unchanged() const
    {
        return grid == field2D{{7.0, 8.0}} && params == std::vector<double>{1, 2, 3};
    }
};

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

}  // namespace

class TestSurferGrid : public QObject {
    Q_OBJECT

private slots:
    void textLayout();
    void binaryLayout();
    void roundTrip_data();
    void roundTrip();
    void binaryReadGeometry();
    void blanks();
    void filterChoosesKind();
    void textVariants();
    void badFiles_data();
    void badFiles();
    void absurdCountsFailFast();
    void writersRefuse_data();
    void writersRefuse();
    void failedSaveKeepsOldFile();
    void progressAndCancel();
    void gdalReadsOurGrids_data();
    void gdalReadsOurGrids();
    void weReadGdalGrids_data();
    void weReadGdalGrids();
};

void TestSurferGrid::textLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.grd");
    field2D grid(2, std::vector<double>(25));
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 25; ++j)
            grid[i][j] = i * 100 + j + 0.5;
    // The node counts come from the grid even when the record says otherwise.
    QVERIFY(write_surfer6_text_grid(path, grid, {99, 98, 6543210.5, 6543234.5, 7123456.25, 7123457.25}));
    const QStringList lines = QString::fromLatin1(read_file(path)).split('\n');
    QCOMPARE(lines.mid(0, 5), (QStringList{"DSAA", "25 2", "6543210.5 6543234.5", "7123456.25 7123457.25",
                                           "0.5 124.5"}));
    QCOMPARE(lines.size(), 5 + 2 * 4 + 1);  // last split piece after the final line feed
    for (int r = 0; r < 2; ++r) {
        const QStringList row = lines.mid(5 + 4 * r, 4);
        QCOMPARE(row[0].count(' '), 10);
        QVERIFY(row[0].endsWith(' '));
        QCOMPARE(row[1].count(' '), 10);
        QCOMPARE(row[2].count(' '), 5);
        QCOMPARE(row[3], QString());
    }
    QVERIFY(lines[5].startsWith("0.5 1.5 2.5 "));
    QVERIFY(lines[9].startsWith("100.5 "));

    // A row of exactly ten values: one full line and two empty lines.
    QVERIFY(write_surfer6_text_grid(path, field2D(2, std::vector<double>(10, 1.0)), {10, 2, 0, 9, 0, 1}));
    const QStringList ten = QString::fromLatin1(read_file(path)).split('\n');
    QCOMPARE(ten.mid(5, 6), (QStringList{"1 1 1 1 1 1 1 1 1 1 ", "", "", "1 1 1 1 1 1 1 1 1 1 ", "", ""}));
}

void TestSurferGrid::binaryLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("b.grd");
    const field2D grid{{1, 2, 3}, {4, -5, 6}};
    QVERIFY(write_surfer7_grid(path, grid, {3, 2, 100, 200, 200, 225}));
    const QByteArray b = read_file(path);
    QCOMPARE(b.size(), 100 + 6 * 8);
    QCOMPARE(b.left(4), QByteArray("DSRB"));
    QCOMPARE(b.mid(4, 8), le32(4) + le32(2));
    QCOMPARE(b.mid(12, 4), QByteArray("GRID"));
    QCOMPARE(b.mid(16, 12), le32(72) + le32(2) + le32(3));
    const double header[9] = {100, 200, 50, 25, -5, 6, 0, 1.70141e38};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(double_at_le(b, 28 + 8 * i), header[i]);
    QCOMPARE(b.mid(92, 8), QByteArray("DATA") + le32(48));
    const double values[6] = {1, 2, 3, 4, -5, 6};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(double_at_le(b, 100 + 8 * i), values[i]);
}

void TestSurferGrid::roundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    for (auto [kind, name] : {std::pair{Binary, "binary"}, {TextDouble, "text double"}, {TextFloat, "text float"}}) {
        QTest::newRow(QByteArray(name).append(" 2x2").constData()) << int(kind) << 2 << 2;
        QTest::newRow(QByteArray(name).append(" 23x7").constData()) << int(kind) << 23 << 7;
    }
}

void TestSurferGrid::roundTrip()
{
    QFETCH(int, kind);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QTemporaryDir dir;
    const QString path = dir.filePath("r.grd");
    field2D grid = make_field(nx, ny);
    grid[0][0] = 6543210.123456789;
    grid[ny - 1][nx - 1] = -1.5e-300;
    if (kind == TextFloat)
        for (auto& row : grid)
            for (double& v : row)
                v = float(v);
    const std::vector<double> params{double(nx), double(ny), 6543210.5, 6543210.5 + 25.5 * (nx - 1),
                                     7123456.25, 7123456.25 + 12.75 * (ny - 1)};
    const CodecStatus written = write_kind(Kind(kind), path, grid, params);
    QVERIFY2(written, qPrintable(written.message()));

    field2D back;
    std::vector<double> p;
    const CodecStatus status = read_surfer_grid(path, back, p);
    QVERIFY2(status, qPrintable(status.message()));
    if (kind == TextFloat) {
        // Float values are written with the digits a float needs: they read
        // back as the same floats.
        QCOMPARE(back.size(), grid.size());
        for (size_t i = 0; i < grid.size(); ++i)
            for (size_t j = 0; j < grid[i].size(); ++j)
                QCOMPARE(float(back[i][j]), float(grid[i][j]));
    } else {
        QCOMPARE(back, grid);
    }
    QCOMPARE(p.size(), size_t(8));
    QCOMPARE(p[0], double(nx));
    QCOMPARE(p[1], double(ny));
    QCOMPARE(p[2], params[2]);
    QCOMPARE(p[4], params[4]);
    // Last nodes: exact from a text grid, recomputed from the spacing in a binary one.
    QVERIFY(std::fabs(p[3] - params[3]) <= 1e-9);
    QVERIFY(std::fabs(p[5] - params[5]) <= 1e-9);
    double lo = grid[0][0], hi = grid[0][0];
    for (const auto& row : grid)
        for (double v : row) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    QCOMPARE(p[6], lo);
    QCOMPARE(p[7], hi);
}

void TestSurferGrid::binaryReadGeometry()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("g.grd");
    QVERIFY(write_file(path, binary_grid(2, 3, 100, 200, 50, 25, {1, 2, 3, 4, 5, 6})));
    field2D grid;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(path, grid, p));
    QCOMPARE(grid, (field2D{{1, 2, 3}, {4, 5, 6}}));
    QCOMPARE(p, (std::vector<double>{3, 2, 100, 200, 200, 225, -1, 1}));
}

void TestSurferGrid::blanks()
{
    QTemporaryDir dir;
    const QString text = dir.filePath("t.grd");
    QVERIFY(write_file(text, "DSAA\n3 2\n0 2\n0 1\n0 5\n1.70141e+38 1.7e+38 1.70141E+38\n"
                             "+2.5 -0 1e-3\n"));
    field2D grid;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(text, grid, p));
    QCOMPARE(grid, (field2D{{0, 1.7e38, 0}, {2.5, 0, 0.001}}));

    const QString bin = dir.filePath("b.grd");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVERIFY(write_file(bin, binary_grid(2, 2, 0, 0, 1, 1, {1e30, 5e29, nan, 2e30}, 1e30)));
    QVERIFY(read_surfer_grid(bin, grid, p));
    QCOMPARE(grid[0][0], 0.0);
    QCOMPARE(grid[0][1], 5e29);
    QVERIFY(std::isnan(grid[1][0]));
    QCOMPARE(grid[1][1], 0.0);
}

void TestSurferGrid::filterChoosesKind()
{
    QTemporaryDir dir;
    const QStringList filters = surfer_save_filter().split(";;");
    QCOMPARE(surfer_save_filter(), QStringLiteral("Surfer 7 Binary Grid (*.grd);; Surfer 6 Text Grid (*.grd);"));
    const field2D grid = make_field(3, 2);
    QVERIFY(write_surfer_grid(dir.filePath("a.GRD"), grid, {3, 2, 0, 1, 0, 1}, filters[1].trimmed()));
    QCOMPARE(read_file(dir.filePath("a.GRD")).left(5), QByteArray("DSAA\n"));
    QVERIFY(write_surfer_grid(dir.filePath("b.grd"), grid, {3, 2, 0, 1, 0, 1}, filters[0]));
    QCOMPARE(read_file(dir.filePath("b.grd")).left(4), QByteArray("DSRB"));
    QVERIFY(!surfer_filter_is_text("Surfer 6 text grid"));
}

void TestSurferGrid::textVariants()
{
    // Windows line ends, tabs, a byte order mark, values split across lines
    // at will: only white space separates the numbers.
    QTemporaryDir dir;
    const QString path = dir.filePath("v.grd");
    QVERIFY(write_file(path, "\xEF\xBB\xBF" "DSAA\r\n3\t2\r\n6543210.5 6543310.5\r\n-10 10\r\n1 6\r\n1 2\r\n3\t4 5 6\r\n"));
    field2D grid;
    std::vector<double> p;
    const CodecStatus status = read_surfer_grid(path, grid, p);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(grid, (field2D{{1, 2, 3}, {4, 5, 6}}));
    QCOMPARE(p, (std::vector<double>{3, 2, 6543210.5, 6543310.5, -10, 10, 1, 6}));
}

void TestSurferGrid::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CodecError>("error");
    const std::vector<double> six{1, 2, 3, 4, 5, 6};
    QTest::newRow("empty") << QByteArray() << CodecError::UnknownFormat;
    QTest::newRow("other format") << QByteArray("DSBB\x03\x00\x02\x00", 8) << CodecError::UnknownFormat;
    QTest::newRow("text word goes on") << QByteArray("DSAAX\n2 2\n0 1\n0 1\n0 1\n1 2 3 4\n") << CodecError::UnknownFormat;
    QTest::newRow("text cut in the values") << QByteArray("DSAA\n3 2\n0 1\n0 1\n0 1\n1 2 3 4") << CodecError::Truncated;
    QTest::newRow("text cut in the header") << QByteArray("DSAA\n3 2\n0 1\n0 1\n") << CodecError::BadHeader;
    QTest::newRow("text value not a number") << QByteArray("DSAA\n2 2\n0 1\n0 1\n0 1\n1 2 x3 4\n") << CodecError::BadValue;
    QTest::newRow("text value with junk") << QByteArray("DSAA\n2 2\n0 1\n0 1\n0 1\n1 2,5 3 4\n") << CodecError::BadValue;
    QTest::newRow("text negative count") << QByteArray("DSAA\n-2 2\n0 1\n0 1\n0 1\n1 2 3 4\n") << CodecError::BadHeader;
    QTest::newRow("text fractional count") << QByteArray("DSAA\n2.5 2\n0 1\n0 1\n0 1\n1 2 3 4 5\n") << CodecError::BadHeader;
    QTest::newRow("text coordinate not a number") << QByteArray("DSAA\n2 2\n0 abc\n0 1\n0 1\n1 2 3 4\n") << CodecError::BadHeader;
    QTest::newRow("binary GRID tag wrong") << binary_grid(2, 3, 0, 0, 1, 1, six, surfer_blank_value, "GRIX")
                                           << CodecError::BadHeader;
    QTest::newRow("binary DATA tag wrong") << binary_grid(2, 3, 0, 0, 1, 1, six, surfer_blank_value, "GRID", "DAXA")
                                           << CodecError::BadHeader;
    QTest::newRow("binary DATA before GRID") << binary_grid(2, 3, 0, 0, 1, 1, six, surfer_blank_value, "DATA", "GRID")
                                             << CodecError::BadHeader;
    QTest::newRow("binary values cut") << binary_grid(2, 3, 0, 0, 1, 1, six).left(100 + 40) << CodecError::Truncated;
    QTest::newRow("binary header cut") << binary_grid(2, 3, 0, 0, 1, 1, six).left(60) << CodecError::Truncated;
    QTest::newRow("binary no DATA") << binary_grid(2, 3, 0, 0, 1, 1, six).left(92) << CodecError::Truncated;
    QTest::newRow("binary zero rows") << binary_grid(0, 3, 0, 0, 1, 1, six) << CodecError::BadHeader;
    QTest::newRow("binary data size differs") << binary_grid(2, 2, 0, 0, 1, 1, six) << CodecError::BadHeader;
    QTest::newRow("binary spacing not a number")
        << binary_grid(2, 3, 0, 0, std::numeric_limits<double>::quiet_NaN(), 1, six) << CodecError::BadHeader;
    // Coordinates the 3D view cannot hold, as given or as the spacing makes them.
    QTest::newRow("text x min 1e39") << QByteArray("DSAA\n2 2\n1e39 2e39\n0 1\n0 1\n1 2 3 4\n") << CodecError::BadHeader;
    QTest::newRow("text y max -1e16") << QByteArray("DSAA\n2 2\n0 1\n0 -1e16\n0 1\n1 2 3 4\n") << CodecError::BadHeader;
    QTest::newRow("binary origin 1e39") << binary_grid(2, 3, 1e39, 0, 1, 1, six) << CodecError::BadHeader;
    QTest::newRow("binary spacing takes the last column past 1e15")
        << binary_grid(2, 3, 0, 0, 6e14, 1, six) << CodecError::BadHeader;
    // A node count whose byte size does not fit 64 bits.
    QTest::newRow("binary largest counts")
        << binary_grid(std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::max(), 0, 0, 1, 1, six)
        << CodecError::Truncated;
    QTest::newRow("binary rotated") << binary_grid(2, 3, 0, 0, 1, 1, six, surfer_blank_value, "GRID", "DATA", 30)
                                    << CodecError::Unsupported;
}

void TestSurferGrid::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CodecError, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.grd");
    QVERIFY(write_file(path, bytes));
    Sentinel s;
    const CodecStatus status = read_surfer_grid(path, s.grid, s.params);
    QVERIFY(!status);
    QCOMPARE(status.code(), error);
    if (error == CodecError::UnknownFormat) {
        // The same text whatever the language.
        for (int language : {0, 1})
            QCOMPARE(status.message(language), QStringLiteral("Unknown grid format. \nUse Surfer grid"));
    } else
        QVERIFY(status.message().contains("bad.grd"));
    QVERIFY(s.unchanged());
}

void TestSurferGrid::absurdCountsFailFast()
{
    QTemporaryDir dir;
    Sentinel s;
    QElapsedTimer timer;
    timer.start();
    const QString text = dir.filePath("t.grd");
    QVERIFY(write_file(text, "DSAA\n65536 32768\n0 1\n0 1\n0 1\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19\n"));
    QCOMPARE(read_surfer_grid(text, s.grid, s.params).code(), CodecError::Truncated);
    const QString bin = dir.filePath("b.grd");
    QVERIFY(write_file(bin, binary_grid(32768, 65536, 0, 0, 1, 1, {}).left(100)));
    QVERIFY(!read_surfer_grid(bin, s.grid, s.params));
    QVERIFY(timer.elapsed() < 500);
    QVERIFY(s.unchanged());
    QCOMPARE(read_surfer_grid(dir.filePath("missing.grd"), s.grid, s.params).code(), CodecError::OpenFailed);
    QVERIFY(s.unchanged());
}

void TestSurferGrid::writersRefuse_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("params");
    QTest::addColumn<bool>("ragged");
    for (auto [kind, name] : {std::pair{Binary, "binary"}, {TextDouble, "text double"}, {TextFloat, "text float"}}) {
        const QByteArray n(name);
        QTest::newRow(n + " one row") << int(kind) << 1 << 5 << 6 << false;
        QTest::newRow(n + " one column") << int(kind) << 5 << 1 << 6 << false;
        QTest::newRow(n + " empty") << int(kind) << 0 << 0 << 6 << false;
        QTest::newRow(n + " short record") << int(kind) << 3 << 3 << 5 << false;
        QTest::newRow(n + " ragged rows") << int(kind) << 3 << 3 << 6 << true;
    }
}

void TestSurferGrid::writersRefuse()
{
    QFETCH(int, kind);
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, params);
    QFETCH(bool, ragged);
    field2D grid(rows, std::vector<double>(cols, 1.0));
    if (ragged)
        grid[2].pop_back();
    QTemporaryDir dir;
    const CodecStatus status =
        write_kind(Kind(kind), dir.filePath("w.grd"), grid, std::vector<double>(params, 1.0));
    QCOMPARE(status.code(), CodecError::BadGrid);
    QVERIFY(!status.message(0).isEmpty());
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestSurferGrid::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.grd");
    QVERIFY(write_file(path, "precious"));
    for (Kind kind : {Binary, TextDouble}) {
        const CodecStatus refused = write_kind(kind, path, field2D(1, std::vector<double>(4, 1.0)), {4, 1, 0, 1, 0, 1});
        QVERIFY(!refused);
        QCOMPARE(read_file(path), QByteArray("precious"));
    }
    const CodecStatus stopped =
        write_surfer7_grid(path, make_field(4, 6), {4, 6, 0, 1, 0, 1}, [](int p) { return p < 50; });
    QCOMPARE(stopped.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), QByteArray("precious"));
    QCOMPARE(files_in(dir.path()), QStringList{"keep.grd"});
}

void TestSurferGrid::progressAndCancel()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.grd");
    QList<int> seen;
    QVERIFY(write_surfer6_text_grid(path, make_field(3, 4), {3, 4, 0, 1, 0, 1}, [&](int p) {
        seen << p;
        return true;
    }));
    QCOMPARE(seen, (QList<int>{0, 25, 50, 75, 100}));
    Sentinel s;
    QCOMPARE(read_surfer_grid(path, s.grid, s.params, [](int p) { return p < 50; }).code(), CodecError::Cancelled);
    QVERIFY(s.unchanged());
}

// ---- GDAL --------------------------------------------------------------------

void TestSurferGrid::gdalReadsOurGrids_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("driver");
    QTest::newRow("binary as GS7BG") << int(Binary) << "GS7BG";
    QTest::newRow("text double as GSAG") << int(TextDouble) << "GSAG";
    QTest::newRow("text float as GSAG") << int(TextFloat) << "GSAG";
}

void TestSurferGrid::gdalReadsOurGrids()
{
    QFETCH(int, kind);
    QFETCH(QString, driver);
    const QString translate = tool("gdal_translate");
    if (translate.isEmpty())
        QSKIP("gdal_translate (gdal-bin) is not installed");
    QTemporaryDir dir;
    const int nx = 13, ny = 7;
    field2D grid = make_field(nx, ny);
    grid[3][4] = -6543210.123456789;
    if (kind == TextFloat)
        for (auto& row : grid)
            for (double& v : row)
                v = float(v);
    const double x0 = 6543210.5, dx = 25.5, y0 = 7123456.25, dy = 12.75;
    const QString ours = dir.filePath("ours.grd");
    QVERIFY(write_kind(Kind(kind), ours, grid, {nx, ny, x0, x0 + dx * (nx - 1), y0, y0 + dy * (ny - 1)}));

    // What GDAL sees: its driver, the size and the node positions...
    const QString info = tool("gdalinfo");
    QVERIFY(!info.isEmpty());
    QString json, log;
    QVERIFY2(run(info, {"-json", ours}, &json, &log), qPrintable(log));
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    QCOMPARE(o["driverShortName"].toString(), driver);
    QCOMPARE(o["size"].toArray()[0].toInt(), nx);
    QCOMPARE(o["size"].toArray()[1].toInt(), ny);
    const QJsonArray gt = o["geoTransform"].toArray();
    for (int j = 0; j < nx; ++j)  // pixel centres are our nodes
        QVERIFY(std::fabs(gt[0].toDouble() + (j + 0.5) * gt[1].toDouble() - (x0 + j * dx)) < 1e-6);
    for (int l = 0; l < ny; ++l)  // lines from the top (largest y)
        QVERIFY(std::fabs(gt[3].toDouble() + (l + 0.5) * gt[5].toDouble() - (y0 + (ny - 1 - l) * dy)) < 1e-6);

    // ...and every value, through raw doubles.
    const QString raw = dir.filePath("out.raw");
    QVERIFY2(run(translate, {"-q", "-if", driver, "-of", "ENVI", "-ot", "Float64", ours, raw}, nullptr, &log),
             qPrintable(log));
    const QByteArray bytes = read_file(raw);
    QCOMPARE(bytes.size(), nx * ny * 8);
    for (int l = 0; l < ny; ++l)
        for (int j = 0; j < nx; ++j) {
            const double z = double_at_le(bytes, (l * nx + j) * 8);
            const double expected = grid[ny - 1 - l][j];
            // Float values carry the digits a float needs.
            const bool same = kind == TextFloat ? float(z) == float(expected) : z == expected;
            QVERIFY2(same, qPrintable(QString("line %1 column %2: %3 expected %4").arg(l).arg(j)
                                                   .arg(z, 0, 'g', 17).arg(expected, 0, 'g', 17)));
        }
}

void TestSurferGrid::weReadGdalGrids_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<double>("tolerance");  // GDAL writes text values with 14 significant digits
    QTest::newRow("GS7BG") << "GS7BG" << 0.0;
    QTest::newRow("GSAG") << "GSAG" << 1e-13;
}

void TestSurferGrid::weReadGdalGrids()
{
    QFETCH(QString, driver);
    QFETCH(double, tolerance);
    const QString translate = tool("gdal_translate");
    if (translate.isEmpty())
        QSKIP("gdal_translate (gdal-bin) is not installed");
    QTemporaryDir dir;
    // Source: raw little-endian doubles described by a VRT, north up, with one
    // no-data node, which Surfer grids store as a blank.
    const int nx = 11, ny = 6;
    const double x0 = 6543210.5, dx = 50, ytop = 7123518.75, dy = 25;
    const double nodata = -9999;
    QByteArray raw;
    std::vector<std::vector<double>> src(ny, std::vector<double>(nx));  // [line from the top][column]
    for (int l = 0; l < ny; ++l)
        for (int j = 0; j < nx; ++j) {
            src[l][j] = (l * nx + j) * 1.1 + 0.123456789012345 - (j == 3 ? 654321.0 : 0);
            raw += le_double(src[l][j]);
        }
    src[2][5] = nodata;
    raw = raw.left((2 * nx + 5) * 8) + le_double(nodata) + raw.mid((2 * nx + 6) * 8);
    QVERIFY(write_file(dir.filePath("raw.bin"), raw));
    const QString vrt = QString(R"(<VRTDataset rasterXSize="%1" rasterYSize="%2">
  <GeoTransform>%3, %4, 0, %5, 0, %6</GeoTransform>
  <VRTRasterBand dataType="Float64" band="1" subClass="VRTRawRasterBand">
    <NoDataValue>%7</NoDataValue>
    <SourceFilename relativetoVRT="1">raw.bin</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>8</PixelOffset><LineOffset>%8</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>)")
                            .arg(nx).arg(ny)
                            .arg(x0 - dx / 2, 0, 'g', 17).arg(dx, 0, 'g', 17)
                            .arg(ytop + dy / 2, 0, 'g', 17).arg(-dy, 0, 'g', 17)
                            .arg(nodata).arg(nx * 8);
    QVERIFY(write_file(dir.filePath("src.vrt"), vrt.toLatin1()));
    const QString theirs = dir.filePath("theirs.grd");
    QString log;
    QVERIFY2(run(translate, {"-q", "-of", driver, dir.filePath("src.vrt"), theirs}, nullptr, &log), qPrintable(log));

    field2D grid;
    std::vector<double> p;
    const CodecStatus status = read_surfer_grid(theirs, grid, p);
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(grid.size(), size_t(ny));
    QCOMPARE(grid[0].size(), size_t(nx));
    QCOMPARE(p[0], double(nx));
    QCOMPARE(p[1], double(ny));
    QVERIFY(std::fabs(p[2] - x0) < 1e-6);
    QVERIFY(std::fabs(p[3] - (x0 + dx * (nx - 1))) < 1e-6);
    QVERIFY(std::fabs(p[4] - (ytop - dy * (ny - 1))) < 1e-6);
    QVERIFY(std::fabs(p[5] - ytop) < 1e-6);
    for (int i = 0; i < ny; ++i)
        for (int j = 0; j < nx; ++j) {
            const double expected = src[ny - 1 - i][j] == nodata ? 0.0 : src[ny - 1 - i][j];
            QVERIFY2(std::fabs(grid[i][j] - expected) <= tolerance * std::fabs(expected),
                     qPrintable(QString("row %1 column %2: %3 expected %4").arg(i).arg(j)
                                    .arg(grid[i][j], 0, 'g', 17).arg(expected, 0, 'g', 17)));
        }
}

QTEST_GUILESS_MAIN(TestSurferGrid)
#include "tst_surfer_grid.moc"
