// The smoothing dialog and the three smoothing commands of the main window,
// offscreen, with scripted dialogs and message boxes.
#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "editing/smoothparamsdialog.h"
#include "fake_interaction.h"
#include "test_nodes.h"

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// A grid of 0 with a single 1 in the middle: 7 levels (10 m), 7 rows (20 m), 7 columns (50 m).
void give_spike(MainWindow& w)
{
    w.den_grid = vector3D(7, vector2D(7, std::vector<data_type>(7, 0.0f)));
    w.den_grid[3][3][3] = 1.0f;
    w.x_calc = nodes(7, 0, 50);
    w.y_calc = nodes(7, 0, 20);
    w.z_calc = nodes(7, 0, 10);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
}

// Three layers on the 7 x 7 map: tops at 0, 25 and 45 m.
void give_layers(MainWindow& w)
{
    w.horizons = {field2D(7, std::vector<double>(7, 0.0)), field2D(7, std::vector<double>(7, 25.0)),
                  field2D(7, std::vector<double>(7, 45.0))};
    w.horizons_params = {7, 7, 0, 300, 0, 120};
    w.densities = {2.0, 2.3, 2.6};
    w.fixed = {false, false, false};
    w.layers_names = {QString("Top"), QString(), QString("Base")};
}

QLineEdit* edit(QDialog* d, const char* name) { return d->findChild<QLineEdit*>(name); }
QLabel* label(QDialog* d, const char* name) { return d->findChild<QLabel*>(name); }
QComboBox* combo(QDialog* d, const char* name) { return d->findChild<QComboBox*>(name); }

}  // namespace

class TestSmoothingWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<std::vector<double>>(); }
    void init() { fake.clear(); }

    void dialogForm();
    void dialogLayersList();
    void dialogRestoresParams();
    void dialogEmitsByArea_data();
    void dialogEmitsByArea();

    void emptyGridRefused();
    void wholeModelThroughDialog();
    void reopenedDialogShowsLastRecord();
    void layerArea();
    void alongTopOfLayer();
    void layerAreaRefusals_data();
    void layerAreaRefusals();
    void otherFilterTypeChangesNothing();
    void narrowWidthsChangeNothing();

private:
    FakeInteraction fake;
};

void TestSmoothingWindow::dialogForm()
{
    SmoothParamsDialog d;
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Параметры фильтра"));
    QCOMPARE(combo(&d, "area_type")->count(), 3);
    QCOMPARE(combo(&d, "area_type")->itemText(2), QString::fromUtf8("Вдоль кровли"));
    QCOMPARE(combo(&d, "type")->itemText(0), QString::fromUtf8("Скользящее среднее"));
    QCOMPARE(label(&d, "label")->text(), QString::fromUtf8("Кол-во  ячеек"));
    QCOMPARE(d.findChild<QPushButton*>("cancelButton")->text(), QString::fromUtf8("Отмена"));
    QVERIFY(!combo(&d, "layer")->isEnabled());
    QVERIFY(!label(&d, "layer_label")->isEnabled());

    d.setSteps({50, 20, 10});
    QCOMPARE(edit(&d, "dx")->text(), QString("250"));
    QCOMPARE(edit(&d, "dy")->text(), QString("100"));
    QCOMPARE(edit(&d, "dz")->text(), QString("50"));
    QCOMPARE(label(&d, "Nx")->text(), QString("5"));
    QCOMPARE(label(&d, "Ny")->text(), QString("5"));
    QCOMPARE(label(&d, "Nz")->text(), QString("5"));
    edit(&d, "dx")->setText("75");
    QCOMPARE(label(&d, "Nx")->text(), QString("1.5"));

    combo(&d, "area_type")->setCurrentIndex(1);
    QVERIFY(combo(&d, "layer")->isEnabled());
    QVERIFY(label(&d, "layer_label")->isEnabled());
    combo(&d, "area_type")->setCurrentIndex(0);
    QVERIFY(!combo(&d, "layer")->isEnabled());
}

void TestSmoothingWindow::dialogLayersList()
{
    SmoothParamsDialog d;
    d.setLayers({QString("Top"), QString(), QString("Base")});
    QComboBox* layer = combo(&d, "layer");
    QCOMPARE(layer->count(), 3);
    QCOMPARE(layer->itemText(0), QString("Top"));
    QCOMPARE(layer->itemText(1), QString("2"));
    QCOMPARE(layer->itemText(2), QString("Base"));
    SmoothParamsDialog one;
    one.setLayers({QString("Only")});
    QCOMPARE(combo(&one, "layer")->count(), 0);
}

void TestSmoothingWindow::dialogRestoresParams()
{
    SmoothParamsDialog d;
    d.setSteps({50, 20, 10});
    d.setLayers({QString("a"), QString("b"), QString("c")});
    d.setParams({0, 150, 60, 35, 2, 1});
    QCOMPARE(edit(&d, "dx")->text(), QString("150"));
    QCOMPARE(edit(&d, "dy")->text(), QString("60"));
    QCOMPARE(edit(&d, "dz")->text(), QString("35"));
    QCOMPARE(label(&d, "Nx")->text(), QString("3"));
    QCOMPARE(label(&d, "Nz")->text(), QString("3.5"));
    QCOMPARE(combo(&d, "area_type")->currentIndex(), 2);
    QCOMPARE(combo(&d, "layer")->currentIndex(), 1);
    QVERIFY(combo(&d, "layer")->isEnabled());
    // Indexes beyond the lists leave the selections; a short record is ignored.
    d.setParams({5, 100, 40, 20, 7, 9});
    QCOMPARE(combo(&d, "type")->currentIndex(), 0);
    QCOMPARE(combo(&d, "area_type")->currentIndex(), 2);
    QCOMPARE(combo(&d, "layer")->currentIndex(), 1);
    QCOMPARE(edit(&d, "dx")->text(), QString("100"));
    d.setParams({0, 1, 2});
    QCOMPARE(edit(&d, "dx")->text(), QString("100"));
}

void TestSmoothingWindow::dialogEmitsByArea_data()
{
    QTest::addColumn<int>("area");
    QTest::newRow("whole model") << 0;
    QTest::newRow("layer") << 1;
    QTest::newRow("along top") << 2;
}

void TestSmoothingWindow::dialogEmitsByArea()
{
    QFETCH(int, area);
    SmoothParamsDialog d;
    d.setSteps({50, 20, 10});
    d.setLayers({QString("a"), QString("b"), QString("c")});
    QSignalSpy grid(&d, &SmoothParamsDialog::gridFilterParamsSelected);
    QSignalSpy layer(&d, &SmoothParamsDialog::layerFilterParamsSelected);
    QSignalSpy horizon(&d, &SmoothParamsDialog::horizonFilterParamsSelected);
    combo(&d, "area_type")->setCurrentIndex(area);
    combo(&d, "layer")->setCurrentIndex(2);
    edit(&d, "dy")->setText("abc");  // passed on as read: 0
    d.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(grid.count(), area == 0 ? 1 : 0);
    QCOMPARE(layer.count(), area == 1 ? 1 : 0);
    QCOMPARE(horizon.count(), area == 2 ? 1 : 0);
    QSignalSpy& fired = area == 0 ? grid : area == 1 ? layer : horizon;
    const auto record = fired.takeFirst().at(0).value<std::vector<double>>();
    QCOMPARE(record, (std::vector<double>{0, 250, 0, 50, double(area), 2}));
}

void TestSmoothingWindow::emptyGridRefused()
{
    MainWindow w;
    w.language = 1;
    w.on_smooth3Dgrid_triggered();
    QCOMPARE(fake.errors(), QStringList{"3D density grid is empty"});
    QVERIFY(fake.dialogs.isEmpty());
    w.language = 0;
    fake.clear();
    w.on_smooth3Dgrid_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("3D грид плотности пуст")});
    // The slot itself does nothing on an empty grid, not even store the record.
    w.smoothDensity({0, 150, 60, 30, 0, 0});
    QVERIFY(w.smooth_params.empty());
}

void TestSmoothingWindow::wholeModelThroughDialog()
{
    MainWindow w;
    give_spike(w);
    w.ui->view_dens->setChecked(false);
    fake.onDialog = [](QDialog* d) {
        // Widths of 3 spacings: half-width 1 on every axis.
        edit(d, "dx")->setText("150");
        edit(d, "dy")->setText("60");
        edit(d, "dz")->setText("30");
        d->findChild<QPushButton*>("okButton")->click();
        return int(QDialog::Accepted);
    };
    w.on_smooth3Dgrid_triggered();
    QCOMPARE(fake.dialogs, QStringList{"SmoothParamsDialog"});
    QVERIFY(fake.notes.isEmpty());
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            for (int k = 0; k < 7; ++k) {
                const bool inside = std::abs(i - 3) <= 1 && std::abs(j - 3) <= 1 && std::abs(k - 3) <= 1;
                QCOMPARE(w.den_grid[i][j][k], inside ? float(1.0 / 27.0) : 0.0f);
            }
    QCOMPARE(w.smooth_params, (std::vector<double>{0, 150, 60, 30, 0, -1}));
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    QVERIFY(w.ui->view_dens->isChecked());  // the density cube is shown
    QVERIFY(w.progress_bar.isHidden());
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid[3][3][3], 1.0f);
    QCOMPARE(w.den_grid[3][3][4], 0.0f);
}

void TestSmoothingWindow::reopenedDialogShowsLastRecord()
{
    MainWindow w;
    give_spike(w);
    give_layers(w);
    w.smooth_params = {0, 100, 100, 20, 1, 2};
    QString dx, dy, dz, nx, layer;
    int area = -1;
    fake.onDialog = [&](QDialog* d) {
        dx = edit(d, "dx")->text();
        dy = edit(d, "dy")->text();
        dz = edit(d, "dz")->text();
        nx = label(d, "Nx")->text();
        area = combo(d, "area_type")->currentIndex();
        layer = combo(d, "layer")->currentText();
        return int(QDialog::Rejected);
    };
    w.on_smooth3Dgrid_triggered();
    QCOMPARE(dx, QString("100"));
    QCOMPARE(dy, QString("100"));
    QCOMPARE(dz, QString("20"));
    QCOMPARE(nx, QString("2"));
    QCOMPARE(area, 1);
    QCOMPARE(layer, QString("Base"));

    // Without a record the widths are 5 spacings.
    MainWindow fresh;
    give_spike(fresh);
    fresh.on_smooth3Dgrid_triggered();
    QCOMPARE(dx, QString("250"));
    QCOMPARE(dz, QString("50"));
    QCOMPARE(nx, QString("5"));
    QCOMPARE(area, 0);
}

void TestSmoothingWindow::layerArea()
{
    MainWindow w;
    give_spike(w);
    give_layers(w);
    const vector3D original = w.den_grid;
    // Layer 1 spans 25 <= z < 45: levels 3 and 4 (z 30, 40).
    w.smoothDensityInLayer({0, 150, 60, 30, 1, 1});
    QVERIFY(fake.notes.isEmpty());
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            for (int k = 0; k < 7; ++k) {
                const bool in_layer = i == 3 || i == 4;
                const bool near = std::abs(i - 3) <= 1 && std::abs(j - 3) <= 1 && std::abs(k - 3) <= 1;
                const float expected = in_layer ? (near ? float(1.0 / 27.0) : 0.0f) : original[i][j][k];
                QCOMPARE(w.den_grid[i][j][k], expected);
            }
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    QCOMPARE(w.smooth_params, (std::vector<double>{0, 150, 60, 30, 1, 1}));
}

void TestSmoothingWindow::alongTopOfLayer()
{
    MainWindow w;
    give_spike(w);
    give_layers(w);
    // Horizon 1 at 25 m: H = 2; with hz = 1 levels 1 to 3 change.
    w.smoothDensityAlongHorizon({0, 150, 60, 30, 2, 1});
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(w.den_grid[2][3][3], float(1.0 / 27.0));
    QCOMPARE(w.den_grid[3][3][3], float(1.0 / 27.0));
    QCOMPARE(w.den_grid[4][3][3], 0.0f);  // outside the band: unchanged
    QCOMPARE(w.den_grid[3][4][4], float(1.0 / 27.0));

    // Along the top of the model level 0 never changes.
    MainWindow top;
    give_spike(top);
    give_layers(top);
    top.den_grid[0][0][0] = 1.0f;
    top.smoothDensityAlongHorizon({0, 150, 60, 30, 2, 0});
    QCOMPARE(top.den_grid[0][0][0], 1.0f);
    QCOMPARE(top.den_grid[1][0][0], float(1.0 / 12.0));  // box of 3 x 2 x 2 cells
}

void TestSmoothingWindow::layerAreaRefusals_data()
{
    QTest::addColumn<int>("case_");
    QTest::addColumn<int>("area");
    QTest::addColumn<QString>("message");
    QTest::newRow("layer, no horizons") << 0 << 1 << "Horizons are empty";
    QTest::newRow("along top, no horizons") << 0 << 2 << "Horizons are empty";
    QTest::newRow("layer, other size") << 1 << 1 << "Parameters of horizons and 3D grid aren't the same";
    QTest::newRow("along top, other size") << 1 << 2 << "Parameters of horizons and 3D grid aren't the same";
    QTest::newRow("no such layer") << 2 << 1 << "There is no layer 4 in the model";
    QTest::newRow("no density grid") << 3 << 2 << "Parameters of horizons and 3D grid aren't the same";
}

void TestSmoothingWindow::layerAreaRefusals()
{
    QFETCH(int, case_);
    QFETCH(int, area);
    QFETCH(QString, message);
    MainWindow w;
    w.language = 1;
    give_spike(w);
    give_layers(w);
    std::vector<double> record{0, 150, 60, 30, double(area), 1};
    switch (case_) {
    case 0: w.horizons.clear(); break;
    case 1:
        for (auto& h : w.horizons)
            h.pop_back();
        break;
    case 2: record[5] = 3; break;
    case 3: w.den_grid.clear(); break;
    }
    const vector3D original = w.den_grid;
    if (area == 1)
        w.smoothDensityInLayer(record);
    else
        w.smoothDensityAlongHorizon(record);
    QCOMPARE(fake.errors(), QStringList{message});
    QCOMPARE(w.den_grid, original);
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.smooth_params, record);  // the record is kept all the same
}

void TestSmoothingWindow::otherFilterTypeChangesNothing()
{
    MainWindow w;
    give_spike(w);
    const vector3D original = w.den_grid;
    w.smoothDensity({1, 150, 60, 30, 0, 0});
    QCOMPARE(w.den_grid, original);
    QVERIFY(w.undo_stack.empty());
    QVERIFY(w.progress_bar.isHidden());
    QCOMPARE(w.smooth_params, (std::vector<double>{1, 150, 60, 30, 0, 0}));
}

void TestSmoothingWindow::narrowWidthsChangeNothing()
{
    MainWindow w;
    give_spike(w);
    const vector3D original = w.den_grid;
    // Below two spacings on every axis: half-widths 0, the box is the cell.
    w.smoothDensity({0, 99, 39, 19, 0, 0});
    QCOMPARE(w.den_grid, original);
    QCOMPARE(w.undo_stack.size(), std::size_t(1));  // the snapshot is taken all the same
    // A negative width of two spacings or more: empty boxes.
    w.smoothDensity({0, -200, 60, 30, 0, 0});
    QCOMPARE(w.den_grid, original);
}

QTEST_MAIN(TestSmoothingWindow)
#include "tst_smoothing_window.moc"
