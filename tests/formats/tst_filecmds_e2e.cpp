// From files made by other programs to a residual map another program reads:
// a density cube written as SEG-Y by segyio and an observed field written as
// a Surfer grid by GDAL are opened through the File menu commands, the field
// of the cube is calculated, both maps and the residual are drawn, the
// residual is saved and GDAL reads it back.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "views/maps_core.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <cmath>

using namespace fmt_test;

namespace {

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// The cube's nodes: x 1000..1750, y 2000..2550 every 50 m; levels every 25 m from 25 m.
constexpr int kNx = 16, kNy = 12, kNz = 6;
constexpr double kX0 = 1000, kY0 = 2000, kStep = 50, kZ0 = 25, kDz = 25;

// Observed field at node (row j, column i), in mGal.
double observed(int j, int i)
{
    const double x = kX0 + i * kStep, y = kY0 + j * kStep;
    return 4.0 + 0.002 * (x - kX0) - 0.001 * (y - kY0) +
           3.0 * std::exp(-((x - 1400) * (x - 1400) + (y - 2250) * (y - 2250)) / (2 * 150.0 * 150.0));
}

// Writes the observed field with gdal_translate as a Surfer 7 grid (GS7BG)
// from raw doubles described by a VRT, north up, pixel centres on the nodes.
bool gdalObservedGrid(const QTemporaryDir& dir, const QString& out, QString* log)
{
    QByteArray raw;
    for (int l = 0; l < kNy; ++l)  // lines from the top (largest y)
        for (int i = 0; i < kNx; ++i)
            raw += le_double(observed(kNy - 1 - l, i));
    if (!write_file(dir.filePath("obs.bin"), raw))
        return false;
    const double ytop = kY0 + (kNy - 1) * kStep;
    const QString vrt = QString(R"(<VRTDataset rasterXSize="%1" rasterYSize="%2">
  <GeoTransform>%3, %4, 0, %5, 0, %6</GeoTransform>
  <VRTRasterBand dataType="Float64" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">obs.bin</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>8</PixelOffset><LineOffset>%7</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>)")
                            .arg(kNx).arg(kNy)
                            .arg(kX0 - kStep / 2, 0, 'g', 17).arg(kStep, 0, 'g', 17)
                            .arg(ytop + kStep / 2, 0, 'g', 17).arg(-kStep, 0, 'g', 17)
                            .arg(kNx * 8);
    if (!write_file(dir.filePath("obs.vrt"), vrt.toLatin1()))
        return false;
    return run(tool("gdal_translate"), {"-q", "-of", "GS7BG", dir.filePath("obs.vrt"), out}, nullptr, log);
}

QCPColorMap* colorMap(QCustomPlot* plot)
{
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* map = qobject_cast<QCPColorMap*>(plot->plottable(i)))
            return map;
    return nullptr;
}

// Largest difference between a drawn colour map and a [row][column] grid.
double mapDifference(QCPColorMap* map, const field2D& grid)
{
    double d = 0;
    for (std::size_t j = 0; j < grid.size(); ++j)
        for (std::size_t i = 0; i < grid[j].size(); ++i)
            d = std::max(d, std::fabs(map->data()->cell(int(i), int(j)) - grid[j][i]));
    return d;
}

}  // namespace

class TestFileCommandsEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void segyCubeAndGdalFieldToResidualInGdal();
};

void TestFileCommandsEndToEnd::segyCubeAndGdalFieldToResidualInGdal()
{
    if (tool("gdal_translate").isEmpty() || tool("gdalinfo").isEmpty())
        QSKIP("gdal-bin is not installed");
    QString log;
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!run(python, {"-c", "import segyio, numpy"}, nullptr, &log))
        QSKIP("python3-segyio is not installed");
    QTemporaryDir dir;

    // The inputs, made by other programs.
    const QString cubeFile = dir.filePath("density.sgy");
    QString cells;
    QVERIFY2(run(python,
                 {QStringLiteral(TOLMERA_TEST_DATA_DIR "/density_cube_segy.py"), cubeFile, QString::number(kNx),
                  QString::number(kNy), QString::number(kNz), QString::number(kX0), QString::number(kStep),
                  QString::number(kY0), QString::number(kStep), QString::number(kZ0), QString::number(kDz)},
                 &cells, &log),
             qPrintable(log));
    const QStringList values = cells.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(values.size(), kNx * kNy * kNz);
    const QString fieldFile = dir.filePath("observed.grd");
    QVERIFY2(gdalObservedGrid(dir, fieldFile, &log), qPrintable(log));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;

    // File > Open > density grid: the SEG-Y cube.
    fake.openNames << cubeFile;
    w.on_open3Dgrd_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(w.den_grid.size(), std::size_t(kNz));
    QCOMPARE(w.den_grid[0].size(), std::size_t(kNy));
    QCOMPARE(w.den_grid[0][0].size(), std::size_t(kNx));
    int n = 0;
    for (const auto& level : w.den_grid)
        for (const auto& row : level)
            for (float v : row)
                QCOMPARE(v, values[n++].toFloat());
    QCOMPARE(w.x_calc.front(), kX0);
    QCOMPARE(w.x_calc.back(), kX0 + (kNx - 1) * kStep);
    QCOMPARE(w.y_calc.back(), kY0 + (kNy - 1) * kStep);
    QCOMPARE(w.z_calc.front(), kZ0);
    QCOMPARE(w.z_calc.back(), kZ0 + (kNz - 1) * kDz);
    QCOMPARE(w.progress_label->text(), QStringLiteral("(Nx, Ny, Nz) = (16, 12, 6)"));

    // File > Open > observed field: the GDAL grid.
    fake.openNames << fieldFile;
    w.on_open_observed_field_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(w.Vz_observed.size(), std::size_t(kNy));
    for (int j = 0; j < kNy; ++j)
        for (int i = 0; i < kNx; ++i)
            QCOMPARE(w.Vz_observed[std::size_t(j)][std::size_t(i)], observed(j, i));
    QCustomPlot* obsPlot = w.ui->observed_axes;
    QCPColorMap* obsMap = colorMap(obsPlot);
    QVERIFY(obsMap);
    QCOMPARE(obsMap->data()->keySize(), kNx);
    QCOMPARE(obsMap->data()->valueSize(), kNy);
    QCOMPARE(mapDifference(obsMap, w.Vz_observed), 0.0);

    // Calculate > forward: the field of the cube on its own nodes.
    w.on_forward_grid_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(w.Vz_calculated.size(), std::size_t(kNy));
    QCOMPARE(w.Vz_calculated[0].size(), std::size_t(kNx));
    int peak_row = 0, peak_column = 0;
    for (int j = 0; j < kNy; ++j)
        for (int i = 0; i < kNx; ++i) {
            const double v = w.Vz_calculated[std::size_t(j)][std::size_t(i)];
            QVERIFY(std::isfinite(v));
            if (v > w.Vz_calculated[std::size_t(peak_row)][std::size_t(peak_column)])
                peak_row = j, peak_column = i;
        }
    // The denser block (columns 5 to 10, rows 4 to 7) gives the peak.
    QVERIFY2(peak_column >= 5 && peak_column <= 10 && peak_row >= 4 && peak_row <= 7,
             qPrintable(QString("peak at row %1 column %2").arg(peak_row).arg(peak_column)));
    QVERIFY(w.Vz_calculated[std::size_t(peak_row)][std::size_t(peak_column)] > 0);

    // The calculated map, then the residual on it.
    field2D shown_calc = w.Vz_calculated;
    double shift = 0;
    {
        double so = 0, sc = 0;
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i)
                so += w.Vz_observed[std::size_t(j)][std::size_t(i)], sc += w.Vz_calculated[std::size_t(j)][std::size_t(i)];
        shift = (so - sc) / (kNx * kNy);
    }
    for (auto& row : shown_calc)
        for (double& v : row)
            v += shift;
    QCPColorMap* calcMap = colorMap(w.ui->calculated_axes);
    QVERIFY(calcMap);
    QVERIFY(mapDifference(calcMap, shown_calc) < 1e-9);
    field2D residual = w.Vz_observed;
    double mean = 0;
    for (int j = 0; j < kNy; ++j)
        for (int i = 0; i < kNx; ++i) {
            residual[std::size_t(j)][std::size_t(i)] -= w.Vz_calculated[std::size_t(j)][std::size_t(i)];
            mean += residual[std::size_t(j)][std::size_t(i)] / (kNx * kNy);
        }
    for (auto& row : residual)
        for (double& v : row)
            v -= mean;
    w.visible_data = {maps::FieldKind, maps::ResidualField};
    w.plotCalculated();
    calcMap = colorMap(w.ui->calculated_axes);
    QVERIFY(calcMap);
    QVERIFY(mapDifference(calcMap, residual) < 1e-9);
    QVERIFY(!w.misfit_label->text().isEmpty());

    // File > Save > residual, as a Surfer 7 grid.
    const QString residualFile = dir.filePath("residual.grd");
    fake.saveNames << residualFile;
    fake.saveFilters << QStringLiteral("Surfer 7 Binary Grid (*.grd)");
    w.on_save_deltaVz_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Ok"});

    // GDAL opens it: driver, size, node positions and every value.
    QString json;
    QVERIFY2(run(tool("gdalinfo"), {"-json", residualFile}, &json, &log), qPrintable(log));
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    QCOMPARE(o["driverShortName"].toString(), QStringLiteral("GS7BG"));
    QCOMPARE(o["size"].toArray()[0].toInt(), kNx);
    QCOMPARE(o["size"].toArray()[1].toInt(), kNy);
    const QJsonArray gt = o["geoTransform"].toArray();
    QVERIFY(std::fabs(gt[0].toDouble() + 0.5 * gt[1].toDouble() - kX0) < 1e-6);
    QVERIFY(std::fabs(gt[1].toDouble() - kStep) < 1e-9);
    QVERIFY(std::fabs(gt[3].toDouble() + 0.5 * gt[5].toDouble() - (kY0 + (kNy - 1) * kStep)) < 1e-6);
    const QString raw = dir.filePath("residual.raw");
    QVERIFY2(run(tool("gdal_translate"), {"-q", "-of", "ENVI", "-ot", "Float64", residualFile, raw}, nullptr, &log),
             qPrintable(log));
    const QByteArray bytes = read_file(raw);
    QCOMPARE(bytes.size(), kNx * kNy * 8);
    for (int l = 0; l < kNy; ++l)
        for (int i = 0; i < kNx; ++i)
            QCOMPARE(double_at_le(bytes, (l * kNx + i) * 8), residual[std::size_t(kNy - 1 - l)][std::size_t(i)]);
}

QTEST_MAIN(TestFileCommandsEndToEnd)
#include "tst_filecmds_e2e.moc"
