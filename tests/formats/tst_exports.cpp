// Constant-value surface and layer-density map exports of the main window,
// with the export dialog worked through the interaction seam.
#include "app/mainwindow.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/constvalueexportdialog.h"
#include "formats/surfer_grid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace fmt_test;

namespace {

const QString kTextFilter = QStringLiteral(" Surfer 6 Text Grid (*.grd)");

// Answers the export dialog with a value and a cube, pressing OK (or Cancel).
std::function<int(QDialog*)> answer(const QString& value, int cube, bool ok = true)
{
    return [=](QDialog* d) {
        d->findChild<QLineEdit*>("value")->setText(value);
        d->findChild<QComboBox*>("data_list")->setCurrentIndex(cube);
        d->findChild<QPushButton*>(ok ? "okButton" : "cancelButton")->click();
        return d->result();
    };
}

// Density grid of 3 x 2 nodes and 4 levels at 50, 150, 250, 350 m holding
// 2.0, 2.2, 2.4, 2.6 from the top (column 2: 2.0 everywhere).
void giveDensity(MainWindow& w)
{
    w.den_grid.assign(4, vector2D(2, std::vector<data_type>(3)));
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 3; ++i)
                w.den_grid[k][j][i] = i == 2 ? 2.0f : 2.0f + 0.2f * k;
    w.x_calc = {500, 600, 700};
    w.y_calc = {-100, 0};
    w.z_calc = {50, 150, 250, 350};
}

// Layered model on 2 x 2 nodes: levels every 50 m from 0 to 400 holding
// 1 + 0.1 * level; horizons at 0, 100 (150 at node (0, 0)) and 300.
void giveLayers(MainWindow& w)
{
    w.den_grid.assign(9, vector2D(2, std::vector<data_type>(2)));
    for (int k = 0; k < 9; ++k)
        for (auto& row : w.den_grid[k])
            for (float& v : row)
                v = 1.0f + 0.1f * k;
    w.x_calc = {0, 10};
    w.y_calc = {0, 10};
    w.z_calc.clear();
    for (int k = 0; k < 9; ++k)
        w.z_calc.push_back(50.0 * k);
    w.horizons = {field2D(2, std::vector<double>(2, 0.0)), {{150, 100}, {100, 100}},
                  field2D(2, std::vector<double>(2, 300.0))};
    w.horizons_params = {2, 2, 0, 10, 0, 10};
    w.densities = {0, 0, 0};
    w.fixed = {false, false, false};
    w.layers_names = {"", "", ""};
}

bool close(const field2D& a, const field2D& b, double tolerance)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t j = 0; j < a.size(); ++j) {
        if (a[j].size() != b[j].size())
            return false;
        for (std::size_t i = 0; i < a[j].size(); ++i)
            if (!(std::fabs(a[j][i] - b[j][i]) <= tolerance))
                return false;
    }
    return true;
}

QString describe(const field2D& g)
{
    QStringList rows;
    for (const auto& r : g) {
        QStringList cells;
        for (double v : r)
            cells << QString::number(v, 'g', 10);
        rows << cells.join(' ');
    }
    return rows.join(" | ");
}

}  // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    void dialogForm();
    void constValueSurface_data();
    void constValueSurface();
    void constValueOtherCubeLeavesDensityAlone();
    void constValueRefusals();
    void layerMaps_data();
    void layerMaps();
    void layerMapRefusals_data();
    void layerMapRefusals();
    void layerMapWriteFailure();
};

void TestExports::dialogForm()
{
    ConstValueExportDialog d;
    QCOMPARE(d.objectName(), QStringLiteral("ConstValueExportDialog"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Tolmera3D"));
    QCOMPARE(d.size(), QSize(403, 100));
    QCOMPARE(d.findChild<QLabel*>("value_label")->text(), QString::fromUtf8("Значение"));
    QVERIFY(d.findChild<QLineEdit*>("value")->text().isEmpty());
    auto* list = d.findChild<QComboBox*>("data_list");
    QCOMPARE(list->count(), 4);
    QCOMPARE(list->itemText(0), QString::fromUtf8("Плотность"));
    QCOMPARE(list->itemText(1), QStringLiteral("Vp"));
    QCOMPARE(list->itemText(2), QStringLiteral("Vs"));
    QCOMPARE(list->itemText(3), QString::fromUtf8("Регуляризатор"));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(d.findChild<QPushButton*>("okButton")->text(), QStringLiteral("Ok"));
    QCOMPARE(d.findChild<QPushButton*>("cancelButton")->text(), QString::fromUtf8("Отмена"));
    auto* grid = qobject_cast<QGridLayout*>(d.layout());
    QVERIFY(grid);
    int row, column, rs, cs;
    grid->getItemPosition(grid->indexOf(list), &row, &column, &rs, &cs);
    QCOMPARE(QPoint(column, row), QPoint(3, 0));
    grid->getItemPosition(grid->indexOf(d.findChild<QPushButton*>("cancelButton")), &row, &column, &rs, &cs);
    QCOMPARE(QPoint(column, row), QPoint(2, 1));

    // OK emits first and then accepts; an unreadable value is 0.
    QSignalSpy spy(&d, &ConstValueExportDialog::valueSelected);
    d.findChild<QLineEdit*>("value")->setText("abc");
    list->setCurrentIndex(2);
    d.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toDouble(), 0.0);
    QCOMPARE(spy[0][1].toInt(), 2);
    QCOMPARE(d.result(), int(QDialog::Accepted));
    ConstValueExportDialog cancelled;
    QSignalSpy none(&cancelled, &ConstValueExportDialog::valueSelected);
    cancelled.findChild<QPushButton*>("cancelButton")->click();
    QCOMPARE(none.size(), 0);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
}

void TestExports::constValueSurface_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<double>("depth");  // columns 0 and 1; column 2 holds 2.0 throughout
    QTest::addColumn<double>("depthColumn2");
    QTest::newRow("between levels 1 and 2, text") << "2.3" << kTextFilter << 200.0 << 0.0;
    QTest::newRow("between levels 1 and 2, binary") << "2.3" << "Surfer 7 Binary Grid (*.grd)" << 200.0 << 0.0;
    QTest::newRow("never reached") << "1.0" << kTextFilter << 0.0 << 0.0;
    // Column 2 holds the value at every level: the top level's depth, not NaN.
    QTest::newRow("the top value") << "2.0" << kTextFilter << 50.0 << 50.0;
    QTest::newRow("on a level") << "2.4" << kTextFilter << 250.0 << 0.0;
}

void TestExports::constValueSurface()
{
    QFETCH(QString, value);
    QFETCH(QString, filter);
    QFETCH(double, depth);
    QFETCH(double, depthColumn2);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    const QString path = dir.filePath("surface.GRD");
    fake.onDialog = answer(value, 0);
    fake.saveNames << path;
    fake.saveFilters << filter;
    w.on_export_const_value_surface_triggered();
    QCOMPARE(fake.dialogs, QStringList{"ConstValueExportDialog"});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save Vz calc"));
    QCOMPARE(read_file(path).left(4), filter.contains("Text") ? QByteArray("DSAA") : QByteArray("DSRB"));
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(path, back, p));
    QCOMPARE(std::vector<double>(p.begin(), p.begin() + 6), (std::vector<double>{3, 2, 500, 700, -100, 0}));
    const field2D expected = {{depth, depth, depthColumn2}, {depth, depth, depthColumn2}};
    QVERIFY2(close(back, expected, 1e-4), qPrintable(describe(back)));
    QVERIFY(w.progress_bar.isHidden());
}

void TestExports::constValueOtherCubeLeavesDensityAlone()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    const vector3D density = w.den_grid;
    const std::vector<double> xs = w.x_calc, zs = w.z_calc;
    // Vp on its own 2 x 2 grid: 1500 m/s at the top, +500 per 10 m.
    w.Vp_grid.assign(3, vector2D(2, std::vector<data_type>(2)));
    for (int k = 0; k < 3; ++k)
        for (auto& row : w.Vp_grid[k])
            for (float& v : row)
                v = 1500.0f + 500.0f * k;
    w.x_vp = {0, 1}, w.y_vp = {5, 6}, w.z_vp = {10, 20, 30};
    fake.onDialog = answer("2250", 1);
    fake.saveNames << dir.filePath("vp.grd");
    w.on_export_const_value_surface_triggered();
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(dir.filePath("vp.grd"), back, p));
    QCOMPARE(std::vector<double>(p.begin(), p.begin() + 6), (std::vector<double>{2, 2, 0, 1, 5, 6}));
    QVERIFY2(close(back, field2D(2, std::vector<double>(2, 25.0)), 1e-9), qPrintable(describe(back)));
    QCOMPARE(w.den_grid, density);
    QCOMPARE(w.x_calc, xs);
    QCOMPARE(w.z_calc, zs);
}

void TestExports::constValueRefusals()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    // Empty cubes: no file dialog.
    for (int cube : {1, 2, 3}) {
        fake.clear();
        fake.onDialog = answer("1", cube);
        w.on_export_const_value_surface_triggered();
        QCOMPARE(fake.errors(), QStringList{"Selected model is empty"});
        QVERIFY(fake.fileRequests.isEmpty());
    }
    w.language = 0;
    fake.clear();
    w.export_const_value_surface(1, 2);
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Выбранный тип модели пуст")});
    w.language = 1;
    // Cancel: nothing at all.
    fake.clear();
    fake.onDialog = answer("2.3", 0, false);
    w.on_export_const_value_surface_triggered();
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(fake.fileRequests.isEmpty());
    // Another suffix: nothing written, the reason shown.
    fake.clear();
    fake.onDialog = answer("2.3", 0);
    fake.saveNames << dir.filePath("surface.txt");
    w.on_export_const_value_surface_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("surface.txt"));
    // A folder that does not exist.
    fake.clear();
    fake.saveNames << dir.filePath("missing/surface.grd");
    w.on_export_const_value_surface_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("surface.grd"));
    QCOMPARE(files_in(dir.path()), QStringList());
}

void TestExports::layerMaps_data()
{
    QTest::addColumn<int>("kind");  // 0 top, 1 central, 2 vertical mean
    QTest::addColumn<int>("layer");
    QTest::addColumn<field2D>("expected");
    // Layer 1: 100 (150) to 300 m. Top: the first level at or below the
    // horizon; mid-depth 200 (225) lies in level 4; levels 2..5 (3..5) average.
    QTest::newRow("top of layer 1") << 0 << 1 << field2D{{1.3, 1.2}, {1.2, 1.2}};
    QTest::newRow("central of layer 1") << 1 << 1 << field2D{{1.4, 1.4}, {1.4, 1.4}};
    QTest::newRow("mean of layer 1") << 2 << 1 << field2D{{1.4, 1.35}, {1.35, 1.35}};
    // Last layer: 300 m to the last level (400 m), which it does not include.
    QTest::newRow("top of the last layer") << 0 << 2 << field2D{{1.6, 1.6}, {1.6, 1.6}};
    QTest::newRow("central of the last layer") << 1 << 2 << field2D{{1.7, 1.7}, {1.7, 1.7}};
    QTest::newRow("mean of the last layer") << 2 << 2 << field2D{{1.65, 1.65}, {1.65, 1.65}};
}

void TestExports::layerMaps()
{
    QFETCH(int, kind);
    QFETCH(int, layer);
    QFETCH(field2D, expected);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveLayers(w);
    w.extract_horizons_lateral_densities();
    const vector3D density = w.den_grid;
    const QString path = dir.filePath("layer.grd");
    fake.saveNames << path;
    switch (kind) {
    case 0: w.export_layers_densities(layer); break;
    case 1: w.export_layers_densities_central(layer); break;
    case 2: w.export_layers_densities_vert_mean(layer); break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.grd"));
    QCOMPARE(read_file(path).left(4), QByteArray("DSAA"));
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(path, back, p));
    QCOMPARE(std::vector<double>(p.begin(), p.begin() + 6), w.horizons_params);
    QVERIFY2(close(back, expected, 1e-6), qPrintable(describe(back)));
    QCOMPARE(w.den_grid, density);
}

void TestExports::layerMapRefusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("fault");  // 0 layer beyond the horizons, 1 negative layer, 2 no density grid,
                                     // 3 horizons not on the grid's nodes, 4 stale layer maps
    QTest::addColumn<QStringList>("errors");
    const QString failure = QStringLiteral("Export error. Check parameters of horizons and 3D density grid");
    const QString mismatch = QStringLiteral("Horizons and 3D grid have different parameters");
    const char* kinds[] = {"top", "central", "mean"};
    for (int k = 0; k < 3; ++k) {
        QTest::addRow("%s, layer beyond", kinds[k]) << k << 0 << QStringList{failure};
        QTest::addRow("%s, negative layer", kinds[k]) << k << 1 << QStringList{failure};
    }
    QTest::addRow("central, no density grid") << 1 << 2 << QStringList{failure};
    QTest::addRow("mean, no density grid") << 2 << 2 << QStringList{failure};
    QTest::addRow("central, horizons off the grid") << 1 << 3 << QStringList{failure};
    QTest::addRow("mean, horizons off the grid") << 2 << 3 << QStringList{mismatch, failure};
    QTest::addRow("top, stale layer maps") << 0 << 4 << QStringList{failure};
}

void TestExports::layerMapRefusals()
{
    QFETCH(int, kind);
    QFETCH(int, fault);
    QFETCH(QStringList, errors);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveLayers(w);
    w.extract_horizons_lateral_densities();
    int layer = 1;
    switch (fault) {
    case 0: layer = 3; break;
    case 1: layer = -1; break;
    case 2: w.den_grid.clear(); break;
    case 3:
        for (field2D& h : w.horizons)
            h.push_back(h.back());
        w.horizons_params = {2, 3, 0, 10, 0, 20};
        break;
    case 4:
        for (field2D& m : w.lateral_densities)
            m.pop_back();
        break;
    }
    fake.saveNames << dir.filePath("never.grd");
    switch (kind) {
    case 0: w.export_layers_densities(layer); break;
    case 1: w.export_layers_densities_central(layer); break;
    case 2: w.export_layers_densities_vert_mean(layer); break;
    }
    QCOMPARE(fake.errors(), errors);
    QVERIFY(fake.messages().isEmpty());
    QVERIFY(fake.fileRequests.isEmpty());
    QCOMPARE(files_in(dir.path()), QStringList());
}

void TestExports::layerMapWriteFailure()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 0;
    giveLayers(w);
    fake.saveNames << dir.filePath("missing/layer.grd");
    w.export_layers_densities_central(1);
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("layer.grd"), qPrintable(fake.errors()[0]));
    // Cancelled file dialog: nothing.
    fake.clear();
    w.export_layers_densities_vert_mean(1);
    QVERIFY(fake.notes.isEmpty());
}

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
