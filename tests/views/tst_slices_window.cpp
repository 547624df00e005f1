// The slice exports of the main window, offscreen: the files each command
// writes, read back with the program's own Surfer reader and with GDAL, the
// notices, and what is refused.
#include <QtTest>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views_test_support.h"
#include "formats/surfer_grid.h"

namespace {

using namespace views_test;

// Cell (level k, row j, column i) = 2 + 0.1 k + 0.01 j + 0.001 i + a small
// irregular part, so that every cell differs and needs all float digits.
float cellValue(int k, int j, int i)
{
    return float(2.0 + 0.1 * k + 0.01 * j + 0.001 * i + 1e-5 * std::sin(double(7 * i + 3 * j + k)));
}

// nz levels at depths 0, 250, ..., ny rows from y = 5000 step 100, nx columns
// from x = 1000 step 50.
void giveDensity(MainWindow& w, int nz, int ny, int nx)
{
    giveDensityCube(w, nodes(nx, 1000, 50), nodes(ny, 5000, 100), nodes(nz, 0, 250), cellValue);
}

QStringList grdFiles(const QString& dir)
{
    return QDir(dir).entryList({"*"}, QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

class TestSlicesWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void levelSlicesReadBack();
    void rowSlicesReadBack();
    void columnSlicesReadBack();
    void gdalReadsAVerticalSlice();
    void englishNotice();
    void nameWithoutSuffixKeepsAllCharacters();
    void closeCoordinatesGetTheirOwnFiles();
    void sameNamesAreOverwritten();
    void oneRowCubeRefused_data();
    void oneRowCubeRefused();
    void emptyGridDoesNothing();
    void cancelWritesNothing();
    void failedWriteIsReported();
    void exportsTheDensityGridWhateverIsShown();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString& name) const { return dir->filePath(name); }
};

void TestSlicesWindow::init()
{
    fake.reset(new FakeInteraction);
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void TestSlicesWindow::cleanup()
{
    fake.reset();
    dir.reset();
}

void TestSlicesWindow::levelSlicesReadBack()
{
    MainWindow w;
    giveDensity(w, 3, 4, 5);
    fake->saveNames << path("model.grd");
    w.on_ecportXYslices_triggered();
    QCOMPARE(fake->fileRequests.size(), 1);
    QCOMPARE(fake->fileRequests[0].kind, QString("save"));
    QCOMPARE(fake->fileRequests[0].caption, QString("Save file"));
    QCOMPARE(fake->fileRequests[0].dir, QString());
    QCOMPARE(fake->fileRequests[0].filter, QString("*.grd"));
    QCOMPARE(grdFiles(dir->path()), (QStringList{"model Z = 0.grd", "model Z = 250.grd", "model Z = 500.grd"}));
    QCOMPARE(fake->messages(), QStringList{QString::fromUtf8("Срезы сохранены")});
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w.progress_bar.isHidden());
    QVERIFY(!w.runActive());

    for (int k = 0; k < 3; ++k) {
        field2D rows;
        std::vector<double> params;
        const QString file = path(QString("model Z = %1.grd").arg(250 * k));
        QVERIFY2(read_surfer_grid(file, rows, params), qPrintable(file));
        QCOMPARE(params.size(), std::size_t(8));
        QCOMPARE(params[0], 5.0);
        QCOMPARE(params[1], 4.0);
        QCOMPARE(params[2], 1000.0);
        QCOMPARE(params[3], 1200.0);
        QCOMPARE(params[4], 5000.0);
        QCOMPARE(params[5], 5300.0);
        QCOMPARE(rows.size(), std::size_t(4));
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 5; ++i)
                QCOMPARE(float(rows[j][i]), w.den_grid[k][j][i]);
        double lo = rows[0][0];
        for (const auto& row : rows)
            for (double v : row)
                lo = std::min(lo, v);
        QCOMPARE(float(params[6]), float(lo));  // the z range of the data
    }
}

void TestSlicesWindow::rowSlicesReadBack()
{
    MainWindow w;
    giveDensity(w, 3, 4, 5);
    fake->saveNames << path("m.grd");
    w.on_exportXZslices_triggered();
    QCOMPARE(grdFiles(dir->path()),
             (QStringList{"m Y = 5000.grd", "m Y = 5100.grd", "m Y = 5200.grd", "m Y = 5300.grd"}));
    for (int j = 0; j < 4; ++j) {
        field2D rows;
        std::vector<double> params;
        QVERIFY(read_surfer_grid(path(QString("m Y = %1.grd").arg(5000 + 100 * j)), rows, params));
        // Columns along x, rows the levels from the top one down; y is depth.
        QCOMPARE(params[0], 5.0);
        QCOMPARE(params[1], 3.0);
        QCOMPARE(params[2], 1000.0);
        QCOMPARE(params[3], 1200.0);
        QCOMPARE(params[4], 0.0);
        QCOMPARE(params[5], 500.0);
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 5; ++i)
                QCOMPARE(float(rows[k][i]), w.den_grid[k][j][i]);
    }
}

void TestSlicesWindow::columnSlicesReadBack()
{
    MainWindow w;
    giveDensity(w, 3, 4, 5);
    fake->saveNames << path("m.grd");
    w.on_exportYZslices_triggered();
    QCOMPARE(grdFiles(dir->path()).size(), 5);
    for (int i = 0; i < 5; ++i) {
        field2D rows;
        std::vector<double> params;
        QVERIFY(read_surfer_grid(path(QString("m X = %1.grd").arg(1000 + 50 * i)), rows, params));
        QCOMPARE(params[0], 4.0);
        QCOMPARE(params[1], 3.0);
        QCOMPARE(params[2], 5000.0);
        QCOMPARE(params[3], 5300.0);
        QCOMPARE(params[4], 0.0);
        QCOMPARE(params[5], 500.0);
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j)
                QCOMPARE(float(rows[k][j]), w.den_grid[k][j][i]);
    }
}

// GDAL's Surfer text driver reads a vertical slice: its nodes at (y, depth)
// and their values.
void TestSlicesWindow::gdalReadsAVerticalSlice()
{
    const QString translate = QStandardPaths::findExecutable("gdal_translate");
    if (translate.isEmpty() || QStandardPaths::findExecutable("gdalinfo").isEmpty())
        QSKIP("GDAL tools are not installed");
    MainWindow w;
    giveDensity(w, 3, 4, 5);
    fake->saveNames << path("m.grd");
    w.on_exportYZslices_triggered();
    const QString file = path("m X = 1100.grd");
    QString out, log;
    QVERIFY2(runTool("gdalinfo", {file}, &out, &log), qPrintable(log));
    QVERIFY2(out.contains("GSAG"), qPrintable(out));
    QVERIFY2(out.contains("Size is 4, 3"), qPrintable(out));
    // Every node as "x y value" (x along the rows of the cube, y the depth).
    QVERIFY2(runTool(translate, {"-q", "-of", "XYZ", file, "/vsistdout/"}, &out, &log), qPrintable(log));
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 12);
    int checked = 0;
    for (const QString& line : lines) {
        const QStringList p = line.simplified().split(' ');
        QCOMPARE(p.size(), 3);
        const int j = qRound((p[0].toDouble() - 5000) / 100);
        const int k = qRound(p[1].toDouble() / 250);
        QVERIFY(j >= 0 && j < 4 && k >= 0 && k < 3);
        QCOMPARE(p[0].toDouble(), 5000.0 + 100 * j);
        QCOMPARE(p[1].toDouble(), 250.0 * k);
        QVERIFY2(std::abs(p[2].toDouble() - w.den_grid[k][j][2]) < 1e-6, qPrintable(line));
        ++checked;
    }
    QCOMPARE(checked, 12);
}

void TestSlicesWindow::englishNotice()
{
    MainWindow w;
    w.language = 1;
    giveDensity(w, 2, 2, 2);
    fake->saveNames << path("a.grd");
    w.on_ecportXYslices_triggered();
    QCOMPARE(fake->messages(), QStringList{"Slices saved"});
}

// The base loses only a ".grd" suffix: /dir/slices gives "slices Z = ...".
void TestSlicesWindow::nameWithoutSuffixKeepsAllCharacters()
{
    MainWindow w;
    giveDensity(w, 2, 2, 2);
    fake->saveNames << path("slices");
    w.on_ecportXYslices_triggered();
    QCOMPARE(grdFiles(dir->path()), (QStringList{"slices Z = 0.grd", "slices Z = 250.grd"}));
}

// Columns at x = 1234567 and 1234568 agree in six digits: each still gets
// its own file.
void TestSlicesWindow::closeCoordinatesGetTheirOwnFiles()
{
    MainWindow w;
    giveDensity(w, 2, 2, 3);
    w.x_calc = {1234567, 1234568, 1234569};
    fake->saveNames << path("c.grd");
    w.on_exportYZslices_triggered();
    QCOMPARE(grdFiles(dir->path()), (QStringList{"c X = 1234567.grd", "c X = 1234568.grd", "c X = 1234569.grd"}));
}

void TestSlicesWindow::sameNamesAreOverwritten()
{
    MainWindow w;
    giveDensity(w, 2, 2, 2);
    {
        QFile old(path("m Z = 0.grd"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    fake->saveNames << path("m.grd");
    w.on_ecportXYslices_triggered();
    field2D rows;
    std::vector<double> params;
    QVERIFY(read_surfer_grid(path("m Z = 0.grd"), rows, params));
    QCOMPARE(float(rows[1][1]), w.den_grid[0][1][1]);
}

void TestSlicesWindow::oneRowCubeRefused_data()
{
    QTest::addColumn<int>("command");  // 0 levels, 1 rows, 2 columns
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::addColumn<bool>("refused");
    QTest::newRow("levels of one row") << 0 << 3 << 1 << 4 << true;
    QTest::newRow("columns of one row") << 2 << 3 << 1 << 4 << true;
    QTest::newRow("rows of one row") << 1 << 3 << 1 << 4 << false;
    QTest::newRow("rows of one level") << 1 << 1 << 3 << 4 << true;
    QTest::newRow("columns of one level") << 2 << 1 << 3 << 4 << true;
    QTest::newRow("levels of one level") << 0 << 1 << 3 << 4 << false;
    QTest::newRow("levels of one column") << 0 << 3 << 3 << 1 << true;
}

// A Surfer grid needs two rows and two columns: slices that would have one
// are refused with a message before any file is asked for.
void TestSlicesWindow::oneRowCubeRefused()
{
    QFETCH(int, command);
    QFETCH(int, nz);
    QFETCH(int, ny);
    QFETCH(int, nx);
    QFETCH(bool, refused);
    MainWindow w;
    w.language = 1;
    giveDensity(w, nz, ny, nx);
    fake->saveNames << path("m.grd");
    if (command == 0)
        w.on_ecportXYslices_triggered();
    else if (command == 1)
        w.on_exportXZslices_triggered();
    else
        w.on_exportYZslices_triggered();
    if (refused) {
        QCOMPARE(fake->errors(), QStringList{"Slices of this direction have a single row or column: "
                                             "a Surfer grid needs at least two rows and two columns"});
        QVERIFY(fake->fileRequests.isEmpty());
        QVERIFY(fake->messages().isEmpty());
        QVERIFY(grdFiles(dir->path()).isEmpty());
    } else {
        QVERIFY(fake->errors().isEmpty());
        QCOMPARE(fake->messages(), QStringList{"Slices saved"});
        QVERIFY(!grdFiles(dir->path()).isEmpty());
    }
}

void TestSlicesWindow::emptyGridDoesNothing()
{
    MainWindow w;
    fake->saveNames << path("m.grd");
    w.on_ecportXYslices_triggered();
    w.on_exportXZslices_triggered();
    w.on_exportYZslices_triggered();
    QVERIFY(fake->fileRequests.isEmpty());
    QVERIFY(fake->notes.isEmpty());
    QVERIFY(grdFiles(dir->path()).isEmpty());
}

void TestSlicesWindow::cancelWritesNothing()
{
    MainWindow w;
    giveDensity(w, 2, 2, 2);
    w.on_exportXZslices_triggered();  // no name scripted: cancelled
    QCOMPARE(fake->fileRequests.size(), 1);
    QVERIFY(fake->notes.isEmpty());
    QVERIFY(grdFiles(dir->path()).isEmpty());
}

// A file that cannot be written is reported, and "Slices saved" is not shown.
void TestSlicesWindow::failedWriteIsReported()
{
    MainWindow w;
    w.language = 1;
    giveDensity(w, 2, 2, 2);
    fake->saveNames << path("no such folder/m.grd");
    w.on_ecportXYslices_triggered();
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY2(fake->errors().first().contains("m Z = 0.grd"), qPrintable(fake->errors().first()));
    QVERIFY(fake->messages().isEmpty());
    QVERIFY(w.progress_bar.isHidden());
    QVERIFY(!w.runActive());
}

void TestSlicesWindow::exportsTheDensityGridWhateverIsShown()
{
    MainWindow w;
    giveDensity(w, 2, 2, 2);
    w.Vp_grid.assign(3, vector2D(3, std::vector<data_type>(3, 3000.0f)));
    w.x_vp = {0, 1, 2}, w.y_vp = {0, 1, 2}, w.z_vp = {0, 1, 2};
    w.on_view_Vp_triggered();
    QCOMPARE(w.shown_cube, &w.Vp_grid);
    fake->saveNames << path("d.grd");
    w.on_ecportXYslices_triggered();
    QCOMPARE(grdFiles(dir->path()), (QStringList{"d Z = 0.grd", "d Z = 250.grd"}));
    field2D rows;
    std::vector<double> params;
    QVERIFY(read_surfer_grid(path("d Z = 250.grd"), rows, params));
    QCOMPARE(float(rows[0][1]), w.den_grid[1][0][1]);
}

QTEST_MAIN(TestSlicesWindow)
#include "tst_slices_window.moc"
