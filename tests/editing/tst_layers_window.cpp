// The layered model's main-window commands, offscreen, with scripted message boxes.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "editing/inputvaluedialog.h"
#include "formats/surfer_grid.h"
#include "fake_interaction.h"

namespace {

field2D constant(std::size_t ny, std::size_t nx, double v) { return field2D(ny, std::vector<double>(nx, v)); }

// A density grid of nz levels (0, 100, ...) on 2 rows and 3 columns, every cell 1.
void give_grid(MainWindow& w, std::size_t nz = 6)
{
    w.den_grid.assign(nz, vector2D(2, std::vector<data_type>(3, 1.0f)));
    w.x_calc = {0, 50, 100};
    w.y_calc = {0, 50};
    w.z_calc.clear();
    for (std::size_t k = 0; k < nz; ++k)
        w.z_calc.push_back(100.0 * k);
}

// Runs `action` while a timer fills in and confirms (or cancels) the one-value dialog.
bool answer_value_dialog(const QString& text, bool confirm, const std::function<void()>& action)
{
    bool seen = false;
    QTimer timer;
    QElapsedTimer clock;
    clock.start();
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<InputValueDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            seen = true;
            dialog->findChild<QLineEdit*>("inputValue")->setText(text);
            dialog->findChild<QPushButton*>(confirm ? "OkButton" : "CancelButton")->click();
        } else if (clock.elapsed() > 5000) {
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    });
    timer.start();
    action();
    timer.stop();
    return seen;
}

}  // namespace

class TestLayersWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    void constantHorizonThroughDialog();
    void constantHorizonCancelled();
    void constantHorizonRefusals();
    void inputDialogTexts();
    void gridFromLayersAt0And500();
    void gridFromLayersRefusesBadVerticalParams();
    void staleTableIsRefused();
    void deleteAndClearHorizons();
    void layerFillsAndRefusals();
    void horizonSamplesReportToCaller();
    void layerMapsOnMismatch();
    void loadLayerDensityRefusals();
    void loadLayerDensityFromSurferGrid();

private:
    FakeInteraction fake;
};

void TestLayersWindow::constantHorizonThroughDialog()
{
    MainWindow w;
    give_grid(w);
    w.minZ = 0;
    w.effects.shape(1, 1, 1);
    w.effects.quarter[0][0] = 1.0f;
    w.layer_effects.assign(1, constant(1, 1, 1));
    QVERIFY(answer_value_dialog("250", true, [&] { w.on_add_constant_horizon_triggered(); }));
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.horizons.size(), std::size_t(2));
    QCOMPARE(w.horizons[0], constant(2, 3, 0));
    QCOMPARE(w.horizons[1], constant(2, 3, 250));
    QCOMPARE(w.horizons_params, (std::vector<double>{3, 2, 0, 100, 0, 50}));
    QCOMPARE(w.densities.size(), std::size_t(2));
    QCOMPARE(w.fixed.size(), std::size_t(2));
    QCOMPARE(w.layers_names.size(), std::size_t(2));
    QVERIFY(w.effects.empty());
    QVERIFY(w.layer_effects.empty());

    // A second one by the same command goes between by its depth.
    QVERIFY(answer_value_dialog("100", true, [&] { w.on_add_constant_horizon_triggered(); }));
    QCOMPARE(w.horizons.size(), std::size_t(3));
    QCOMPARE(w.horizons[1], constant(2, 3, 100));
}

void TestLayersWindow::constantHorizonCancelled()
{
    MainWindow w;
    give_grid(w);
    QVERIFY(answer_value_dialog("250", false, [&] { w.on_add_constant_horizon_triggered(); }));
    QVERIFY(w.horizons.empty());
    QVERIFY(fake.notes.isEmpty());
}

void TestLayersWindow::constantHorizonRefusals()
{
    MainWindow w;
    w.language = 1;
    w.on_add_constant_horizon_triggered();  // nothing to put it on: no dialog
    QCOMPARE(fake.errors(), QStringList{"To add horizons project must contain density model or imported horizons"});
    fake.clear();
    w.add_constant_horizon(10);
    QCOMPARE(fake.errors().size(), 1);

    give_grid(w);
    w.z_calc = {10, 110, 210, 310, 410, 510};
    fake.clear();
    w.add_constant_horizon(9.999);
    QCOMPARE(fake.errors(), QStringList{"Horizon's depth can't be less than min model depth"});
    QVERIFY(w.horizons.empty());
    fake.clear();
    w.add_constant_horizon(10);  // exactly the first node is accepted
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.horizons.size(), std::size_t(2));

    // A horizon of another geometry is refused with the size message.
    fake.clear();
    field2D other = constant(3, 3, 50);
    std::vector<double> p = {3, 3, 0, 100, 0, 100};
    w.addHorizon(other, p);
    QCOMPARE(fake.errors(), QStringList{"All horizons must have the same size"});
    QCOMPARE(w.horizons.size(), std::size_t(2));
    w.language = 0;
    fake.clear();
    w.addHorizon(other, p);
    QCOMPARE(fake.errors(),
             QStringList{QString::fromUtf8("Все горизонты должны иметь одинаковые параметры разбиения")});
}

void TestLayersWindow::inputDialogTexts()
{
    InputValueDialog d;
    d.setValue(1234567.0);
    QCOMPARE(d.findChild<QLineEdit*>("inputValue")->text(), QString("1234567"));  // every digit
    d.setValue(1234.5612);
    QCOMPARE(d.findChild<QLineEdit*>("inputValue")->text(), QString("1234.5612"));
    d.setCaption("Depth");
    QCOMPARE(d.findChild<QLabel*>("label")->text(), QString("Depth"));
    d.setLanguage(0);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Введите значение"));
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString::fromUtf8("Отмена"));
    d.setLanguage(1);
    QCOMPARE(d.windowTitle(), QString("Input value"));
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString("Cancel"));
    QCOMPARE(d.findChild<QPushButton*>("OkButton")->text(), QString("Ok"));

    // Unreadable text gives 0; the value arrives after the dialog closed.
    QSignalSpy spy(&d, SIGNAL(valueSelected(double)));
    d.findChild<QLineEdit*>("inputValue")->setText("abc");
    d.findChild<QPushButton*>("OkButton")->click();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toDouble(), 0.0);
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestLayersWindow::gridFromLayersAt0And500()
{
    MainWindow w;
    w.horizons = {constant(2, 3, 0), constant(2, 3, 500)};
    w.horizons_params = {3, 2, 1000, 1200, 50, 150};
    w.densities = {2.1, 2.6};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.recalc3Dgrid();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.maxZ, 500.0);
    QCOMPARE(w.dz, 10.0);
    QCOMPARE(w.den_grid.size(), std::size_t(51));
    QCOMPARE(w.z_calc.size(), std::size_t(51));
    QCOMPARE(w.den_grid[49][1][2], 2.1f);
    QCOMPARE(w.den_grid[50][0][0], 2.6f);
    QCOMPARE(w.x_calc, (std::vector<double>{1000, 1100, 1200}));
    QCOMPARE(w.y_norm, w.y_calc);
    QCOMPARE(w.model_bounds[4], 0.0);
    QCOMPARE(w.model_bounds[5], 500.0);
    QCOMPARE(w.crop_borders[1], 2);
    QCOMPARE(w.crop_borders[5], 50);
    if (w.progress_label)
        QCOMPARE(w.progress_label->text(), QString("(Nx, Ny, Nz) = (3, 2, 51)"));

    // New densities through the table's setter rebuild the grid.
    w.setHorizonsDensities({1.0, 3.0});
    QCOMPARE(w.den_grid[0][0][0], 1.0f);
    QCOMPARE(w.den_grid[50][0][0], 3.0f);
}

void TestLayersWindow::gridFromLayersRefusesBadVerticalParams()
{
    MainWindow w;
    w.language = 1;
    w.horizons = {constant(2, 2, 0), constant(2, 2, 0)};  // deepest horizon at 0 m
    w.horizons_params = {2, 2, 0, 1, 0, 1};
    w.densities = {1, 2};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.recalc3Dgrid();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(w.den_grid.empty());
    QCOMPARE(w.maxZ, 0.0);
    QCOMPARE(w.dz, 0.0);

    fake.clear();
    w.horizons[1] = constant(2, 2, 300);
    w.minZ = 200;
    w.maxZ = 100;
    w.dz = 10;
    w.recalc3Dgrid();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(w.den_grid.empty());

    // Without horizons nothing happens, silently.
    fake.clear();
    MainWindow empty;
    empty.recalc3Dgrid();
    QVERIFY(fake.notes.isEmpty());
}

void TestLayersWindow::staleTableIsRefused()
{
    MainWindow w;
    w.horizons = {constant(1, 1, 0), constant(1, 1, 100), constant(1, 1, 200)};
    w.horizons_params = {1, 1, 0, 0, 0, 0};
    w.densities = {1, 2, 3};
    w.fixed = {false, true, false};
    w.layers_names = {"a", "b", "c"};
    w.setHorizonsDensities_norecalc({7, 8});
    QCOMPARE(fake.errors().size(), 1);
    w.setHorizonsDensities({7, 8, 9, 10});
    QCOMPARE(fake.errors().size(), 2);
    w.set_fixed({true});
    w.set_layers_names({"x", "y", "z", "w"});
    QCOMPARE(w.densities, (std::vector<double>{1, 2, 3}));
    QCOMPARE(w.fixed, (std::vector<bool>{false, true, false}));
    QCOMPARE(w.layers_names, (std::vector<QString>{"a", "b", "c"}));

    w.setHorizonsDensities_norecalc({7, 8, 9});
    w.set_fixed({true, true, true});
    w.set_layers_names({"x", "y", "z"});
    QCOMPARE(w.densities, (std::vector<double>{7, 8, 9}));
    QCOMPARE(w.fixed, (std::vector<bool>{true, true, true}));
    QCOMPARE(w.layers_names, (std::vector<QString>{"x", "y", "z"}));
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(w.den_grid.empty());  // the no-recalc setter builds nothing
}

void TestLayersWindow::deleteAndClearHorizons()
{
    MainWindow w;
    w.horizons = {constant(1, 1, 0), constant(1, 1, 100), constant(1, 1, 200)};
    w.horizons_params = {1, 1, 0, 0, 0, 0};
    w.densities = {1, 2, 3};
    w.fixed = {false, true, false};
    w.layers_names = {"a", "b", "c"};
    w.layer_effects.assign(2, constant(1, 1, 1));
    w.lateral_densities.assign(3, constant(1, 1, 1));

    w.delete_horizon(0);
    QCOMPARE(w.horizons.size(), std::size_t(3));
    QVERIFY(w.layer_effects.empty());
    w.delete_horizon(1);
    QCOMPARE(w.densities, (std::vector<double>{1, 3}));
    QCOMPARE(w.lateral_densities.size(), std::size_t(3));  // kept
    w.delete_horizon(1);
    QVERIFY(w.horizons.empty() && w.horizons_params.empty() && w.densities.empty());

    w.horizons = {constant(1, 1, 0), constant(1, 1, 100)};
    w.horizons_params = {1, 1, 0, 0, 0, 0};
    w.densities = {1, 2};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.on_clear_horizons_triggered();
    QVERIFY(w.horizons.empty() && w.horizons_params.empty() && w.densities.empty() && w.fixed.empty() &&
            w.layers_names.empty());

    give_grid(w);
    w.effects.shape(1, 1, 1);
    w.effects.quarter[0][0] = 1.0f;
    w.on_clear_3D_grid_triggered();
    QVERIFY(w.den_grid.empty() && w.x_calc.empty() && w.z_calc.empty());
    QVERIFY(w.effects.empty());
    QVERIFY(fake.notes.isEmpty());
}

void TestLayersWindow::layerFillsAndRefusals()
{
    MainWindow w;
    give_grid(w);  // 0 .. 500 m
    w.horizons = {constant(2, 3, 0), constant(2, 3, 200)};
    w.horizons_params = {3, 2, 0, 100, 0, 50};
    w.densities = {1, 2};
    w.fixed = {false, false};
    w.layers_names = {"", ""};

    w.recalcLayerDensity_const(1, 2.5);
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.den_grid[1][0][0], 1.0f);
    QCOMPARE(w.den_grid[2][0][0], 2.5f);
    QCOMPARE(w.den_grid[5][1][2], 2.5f);

    w.addDensitytToLayer(0, 0.25);
    QCOMPARE(w.den_grid[0][1][1], 1.25f);
    QCOMPARE(w.den_grid[2][1][1], 2.5f);

    const vector3D before = w.den_grid;
    w.recalcLayerDensity_const(2, 9);  // no such layer
    w.recalcLayerDensity(1);           // no lateral maps
    w.addDensitytToLayer(5, 1);
    QCOMPARE(fake.errors(), (QStringList{"Recalc grid error", "Recalc grid error", "Recalc grid error"}));
    QCOMPARE(w.den_grid, before);

    // A density typed in the table that no cell can hold is named; nothing
    // of the table is taken and the grid is not rebuilt.
    fake.clear();
    w.language = 1;
    w.setHorizonsDensities({2.0, 1e39});
    w.setHorizonsDensities_norecalc({-4e38, 2.0});
    QCOMPARE(fake.errors(),
             (QStringList{"The density of layer 2 1e+39 is beyond the single-precision range of the grid's cells "
                          "(at most 3.4e+38 in magnitude)",
                          "The density of layer 1 -4e+38 is beyond the single-precision range of the grid's cells "
                          "(at most 3.4e+38 in magnitude)"}));
    QCOMPARE(w.densities, (std::vector<double>{1, 2}));
    QCOMPARE(w.den_grid, before);
    w.language = 0;

    fake.clear();
    w.extract_horizons_lateral_densities();
    QCOMPARE(w.lateral_densities.size(), std::size_t(2));
    QCOMPARE(w.lateral_densities[1][0][0], 2.5);  // the cell at 200 m
    w.lateral_densities[1] = {{3, 3, 3}, {3, 3, 4}};
    w.recalcLayerDensity(1);
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.den_grid[5][1][2], 4.0f);
    QCOMPARE(w.den_grid[3][0][0], 3.0f);
}

void TestLayersWindow::horizonSamplesReportToCaller()
{
    MainWindow w;
    give_grid(w, 10);
    w.horizons = {constant(2, 3, 0), constant(2, 3, 450)};
    std::vector<std::vector<float>> top, bot;
    QString why;
    QVERIFY(w.collectDensFromHorizon(1, top, bot, &why));
    QCOMPARE(top.size(), std::size_t(2));
    QVERIFY(!w.collectDensFromHorizon(2, top, bot, &why));
    QCOMPARE(why, QString("Invalid number of horizon"));
    QVERIFY(!w.collectDensFromHorizon(0, top, bot, &why));
    QCOMPARE(why, QString("Horizon is out of density model"));
    QVERIFY(!w.collectDensFromHorizon(-1, top, bot));  // no text wanted
    QVERIFY(fake.notes.isEmpty());

    field2D small = constant(1, 1, 100);
    QVERIFY(!w.fillDensAfterHorizonChange(top, bot, small, small));
    QCOMPARE(fake.errors().size(), 1);
    field2D b = constant(2, 3, 450), a = constant(2, 3, 250);
    w.den_grid[3][0][0] = 7;
    QVERIFY(w.fillDensAfterHorizonChange(top, bot, b, a));
    QCOMPARE(w.den_grid[3][0][0], bot[0][0]);
}

void TestLayersWindow::layerMapsOnMismatch()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    w.horizons = {constant(3, 3, 0), constant(3, 3, 200)};  // one row more than the grid
    w.lateral_densities = {constant(1, 1, 5)};
    w.extract_horizons_lateral_densities();
    QCOMPARE(w.lateral_densities, (std::vector<field2D>{constant(1, 1, 5)}));
    QVERIFY(w.extract_layer_central_density(0).empty());
    QVERIFY(w.getVerticalAvgDensity(0).empty());
    QCOMPARE(fake.errors(), QStringList{"Horizons and 3D grid have different parameters"});
    fake.clear();
    QVERIFY(w.getVerticalAvgDensity(5).empty());
    QVERIFY(fake.notes.isEmpty());

    std::vector<std::vector<float>> re(4, std::vector<float>(4, 9)), im;
    w.fillInvLayerDensityFromHorizons(100, re, im, 0, 3, 3, 1, 1, 1000);
    QCOMPARE(re[0][0], 1.0f);
    QCOMPARE(im.size(), std::size_t(4));
}

void TestLayersWindow::loadLayerDensityRefusals()
{
    MainWindow w;
    w.loadLayerDensity(0);
    QCOMPARE(fake.errors(), QStringList{"Layers size error"});
    QVERIFY(fake.fileRequests.isEmpty());

    fake.clear();
    give_grid(w);
    w.horizons = {constant(2, 3, 0), constant(2, 3, 200)};
    w.densities = {1, 2};
    w.loadLayerDensity(1);  // the maps are built first; the file dialog is cancelled
    QCOMPARE(w.lateral_densities.size(), std::size_t(2));
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].filter, QString("*.grd"));
    QVERIFY(fake.notes.isEmpty());
    w.loadLayerDensity(2);
    QCOMPARE(fake.errors(), QStringList{"Layers size error"});
}

void TestLayersWindow::loadLayerDensityFromSurferGrid()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = dir.filePath("layer.grd");
    const QString wide = dir.filePath("wide.grd");
    // Other coordinates than the model's: only the counts matter.
    QVERIFY(write_surfer6_text_grid(good, field2D{{2.0, 2.1, 2.2}, {2.3, 2.4, 2.5}}, {3, 2, 5000, 7000, 9000, 9100}));
    QVERIFY(write_surfer6_text_grid(wide, constant(2, 4, 3.0), {4, 2, 0, 300, 0, 100}));

    MainWindow w;
    give_grid(w);  // 0 .. 500 m
    w.horizons = {constant(2, 3, 0), constant(2, 3, 300)};
    w.horizons_params = {3, 2, 0, 100, 0, 50};
    w.densities = {1, 2};
    w.fixed = {false, false};
    w.layers_names = {"", ""};

    fake.openNames << wide;
    const vector3D before = w.den_grid;
    w.loadLayerDensity(1);
    QCOMPARE(fake.errors(), QStringList{"Grid size doesn't match to project data"});
    QCOMPARE(w.den_grid, before);

    fake.clear();
    fake.openNames << good;
    w.loadLayerDensity(1);
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.lateral_densities[1], (field2D{{2.0, 2.1, 2.2}, {2.3, 2.4, 2.5}}));
    QCOMPARE(w.den_grid[2][1][2], 1.0f);  // 200 m: layer 0
    QCOMPARE(w.den_grid[3][1][2], 2.5f);
    QCOMPARE(w.den_grid[5][0][1], 2.1f);  // the deepest level too

    fake.clear();
    fake.openNames << dir.filePath("missing.grd");
    w.loadLayerDensity(1);
    QCOMPARE(fake.errors().size(), 1);
}

QTEST_MAIN(TestLayersWindow)
#include "tst_layers_window.moc"
