// Grid operations of the main window, offscreen, with scripted dialogs and
// message boxes: new grids and vertical parameters, arithmetic with cubes
// read from files, level operations, moves to zero and gradients.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <map>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "editing/modelparamswindow.h"
#include "editing/newmodelwindow.h"
#include "editing/grid_memory.h"
#include "fake_interaction.h"
#include "fixed_available_memory.h"
#include "fixed_memory_figures.h"
#include "formats/cube_file.h"
#include "formats/segy.h"
#include "segy_coordinates.h"
#include "views/surf.h"
#include "test_nodes.h"

namespace {

vector3D make_cube(std::size_t nz, std::size_t ny, std::size_t nx,
                   const std::function<double(std::size_t, std::size_t, std::size_t)>& f)
{
    vector3D g(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (std::size_t i = 0; i < nz; ++i)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t k = 0; k < nx; ++k)
                g[i][j][k] = static_cast<data_type>(f(i, j, k));
    return g;
}

// A density grid of 3 levels (10 m) of 4 rows (25 m) of 5 columns (50 m)
// from x = 1000, holding 2 + 0.1 * column + 0.01 * row + 0.001 * level.
void give_grid(MainWindow& w)
{
    w.den_grid = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return 2 + 0.1 * k + 0.01 * j + 0.001 * i;
    });
    w.x_calc = nodes(5, 1000, 50);
    w.y_calc = nodes(4, -200, 25);
    w.z_calc = nodes(3, 0, 10);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
}

void give_effects(MainWindow& w)
{
    w.effects.shape(1, 1, 1);
    w.effects.quarter[0][0] = 1.0f;
    w.effects.im.assign(1, vector2D(1, std::vector<data_type>(1, 1.0f)));
    w.effects.key.valid = true;
    w.alpha_factor = 3.5;
}

// Fills the named line edits of a dialog and clicks one of its buttons.
void fill_and_click(QDialog* dialog, const std::map<QString, QString>& fields, const char* button)
{
    for (const auto& f : fields) {
        auto* edit = dialog->findChild<QLineEdit*>(f.first);
        QVERIFY2(edit, qPrintable(f.first));
        edit->setText(f.second);
    }
    auto* b = dialog->findChild<QPushButton*>(button);
    QVERIFY2(b, button);
    b->click();
}

}  // namespace

class TestGridOpsWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    // New grids and vertical parameters
    void newModelWindowTexts();
    void newGridThroughDialog();
    void newGridDefaultsAndRedraw();
    void newGridStepMustBePositive_data();
    void newGridStepMustBePositive();
    void newGridRecordChecks();
    void newGridMemoryQuestion_data();
    void newGridMemoryQuestion();
    void verticalParamsDialog();
    void verticalParamsUnchangedDoNothing();
    void verticalStepNotPositiveKeepsDialogOpen();
    void setZparamsRebuildsFromLayers();
    void setZparamsMemoryQuestion_data();
    void setZparamsMemoryQuestion();
    void setZparamsRefusals_data();
    void setZparamsRefusals();
    void setZparamsCellCap_data();
    void setZparamsCellCap();
    void setZparamsDefaultsAskWithBuiltLevels();

    // Arithmetic with a cube
    void cubeCommands_data();
    void cubeCommands();
    void addThenSubtractRestores();
    void operandOfOtherSizeRefused();
    void operandReadFailures();
    void divisionByZeroRefused();
    void segyOperand();
    void segyOperandWithFallingCoordinates();
    void addMeans();
    void calcMeansThenDeleteMeans();
    void deleteMinsAndUndo();
    void fillZerosAndUndo();
    void levelCommandsOnEmptyGrid();

    // Moves to zero
    void moveGridToZero();
    void moveHorizonsAndObservedToZero();

    // Gradients
    void gradientCommands_data();
    void gradientCommands();
    void gradientRefusals();

    // Runs
    void refusedWhileRunning();

private:
    FakeInteraction fake;
    QTemporaryDir dir;

    QString writeCube(const QString& name, const vector3D& cube, const std::vector<double>& x,
                      const std::vector<double>& y, const std::vector<double>& z)
    {
        const QString path = dir.filePath(name);
        const CodecStatus status = write_cube_file(path, cube, x, y, z);
        if (!status)
            qWarning() << status.message(1);
        return path;
    }
};

// ---------------------------------------------------------------------------
// New grids and vertical parameters

void TestGridOpsWindow::newModelWindowTexts()
{
    NewModelWindow dialog;
    QCOMPARE(dialog.findChild<QLineEdit*>("maxX")->text(), QString("1000"));
    QCOMPARE(dialog.findChild<QLineEdit*>("stepZ")->text(), QString("5"));
    QCOMPARE(dialog.findChild<QLineEdit*>("maxZ")->text(), QString("300"));
    dialog.setLanguage(1);
    QCOMPARE(dialog.windowTitle(), QString("Model parameters"));
    QCOMPARE(dialog.findChild<QLabel*>("min_label")->text(), QString("Min"));
    QCOMPARE(dialog.findChild<QLabel*>("x_label")->text(), QString("X, m"));
    QVERIFY(dialog.findChild<QLabel*>("sigma_label")->text().contains("g/cm"));
    QCOMPARE(dialog.findChild<QPushButton*>("Cancelbutton")->text(), QString("Cancel"));
    dialog.setLanguage(0);
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Параметры модели"));
    QCOMPARE(dialog.findChild<QLabel*>("step_label")->text(), QString::fromUtf8("Шаг"));
    QCOMPARE(dialog.findChild<QLabel*>("z_label")->text(), QString::fromUtf8("Z, м"));
    QVERIFY(dialog.findChild<QLabel*>("sigma_label")->text().contains(QString::fromUtf8("г/см")));
    QCOMPARE(dialog.findChild<QPushButton*>("Cancelbutton")->text(), QString::fromUtf8("Отмена"));

    ModelParamsWindow params;
    params.setLanguage(1);
    QCOMPARE(params.windowTitle(), QString("Vertical parameters"));
    QCOMPARE(params.findChild<QLabel*>("maxz_label")->text(), QString("Z<sub>max</sub>, m"));
    params.setLanguage(0);
    QCOMPARE(params.windowTitle(), QString::fromUtf8("Вертикальные параметры модели"));
    QCOMPARE(params.findChild<QLabel*>("minz_label")->text(), QString::fromUtf8("Z<sub>мин</sub>, м"));
    QVERIFY(params.findChild<QLineEdit*>("input_calc_height")->isHidden());
}

void TestGridOpsWindow::newGridThroughDialog()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    give_effects(w);
    w.layer_effects.assign(1, field2D(1, std::vector<double>(1, 1.0)));
    w.calc_height = -100;
    w.model_bounds = {{1, 2, 3, 4, 5, 6}};
    w.update_undo(1);
    const std::size_t undo_before = w.undo_stack.size();
    // No cube view: the colour range is the one the command sets.
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    fake.onDialog = [](QDialog* d) {
        fill_and_click(d,
                       {{"minX", "0"}, {"maxX", "200"}, {"stepX", "50"}, {"minY", "10"}, {"maxY", "40"},
                        {"stepY", "10"}, {"minZ", "0"}, {"maxZ", "60"}, {"stepZ", "20"}, {"minSigma", "2.0"},
                        {"maxSigma", "2.6"}},
                       "OKButton");
        return int(QDialog::Accepted);
    };
    w.on_Create_empty_grid_triggered();
    QCOMPARE(fake.dialogs, QStringList{"NewModelWindow"});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.den_grid.size(), std::size_t(4));
    QCOMPARE(w.den_grid[0].size(), std::size_t(4));
    QCOMPARE(w.den_grid[0][0].size(), std::size_t(5));
    QCOMPARE(w.den_grid[0][3][4], 2.0f);
    QCOMPARE(w.den_grid[1][0][0], float(1 * (2.6 - 2.0) / 3 + 2.0));
    QCOMPARE(w.den_grid[3][2][1], 2.6f);
    QCOMPARE(w.x_calc, (std::vector<double>{0, 50, 100, 150, 200}));
    QCOMPARE(w.y_calc, (std::vector<double>{10, 20, 30, 40}));
    QCOMPARE(w.z_calc, (std::vector<double>{0, 20, 40, 60}));
    QCOMPARE(w.x_norm, w.x_calc);
    QCOMPARE(w.y_norm, w.y_calc);
    QCOMPARE(w.z_norm, w.z_calc);
    QCOMPARE(w.norm_factors.divisor, (std::array<double, 3>{{1, 1, 1}}));
    QCOMPARE(w.norm_factors.exponent, (std::array<int, 3>{{0, 0, 0}}));
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 60.0);
    QCOMPARE(w.dz, 20.0);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 4, 3, 0, 0, 3}}));
    QCOMPARE(w.surf->texture_min, 2.0);
    QCOMPARE(w.surf->texture_max, 2.6);
    QVERIFY(w.effects.empty());
    QVERIFY(!w.effects.key.valid);
    QCOMPARE(w.alpha_factor, 0.0);
    // Slab effects of the old grid no longer serve, nor do its undo
    // snapshots (undo must not bring the old grid back); kept: the height and
    // the bounds.
    QVERIFY(w.layer_effects.empty());
    QCOMPARE(w.calc_height, -100.0);
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));
    QCOMPARE(undo_before, std::size_t(1));
    QVERIFY(w.undo_stack.empty());
}

void TestGridOpsWindow::newGridDefaultsAndRedraw()
{
    MainWindow w;
    // The dialog's own defaults: 61 levels of 201 x 201 cells of 0.
    fake.onDialog = [](QDialog* d) {
        fill_and_click(d, {}, "OKButton");
        return int(QDialog::Accepted);
    };
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    w.on_Create_empty_grid_triggered();
    QCOMPARE(w.den_grid.size(), std::size_t(61));
    QCOMPARE(w.den_grid[60].size(), std::size_t(201));
    QCOMPARE(w.den_grid[60][200].size(), std::size_t(201));
    QCOMPARE(w.den_grid[30][100][100], 0.0f);
    QVERIFY(w.shown_cube == nullptr);  // no cube view: nothing redrawn

    // With the cube view on the new grid is drawn.
    w.ui->view_cube->setChecked(true);
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, 1, 1});
    QVERIFY(w.shown_cube == &w.den_grid);
    QCOMPARE(w.shown_x, (std::vector<double>{0, 5, 10}));

    // maxX below minX: rows without cells, the right crop border -1.
    w.create_grid({10, 0, 5, 0, 10, 5, 0, 10, 5, 1, 1});
    QCOMPARE(w.den_grid.size(), std::size_t(3));
    QVERIFY(w.den_grid[0][0].empty());
    QCOMPARE(w.crop_borders[1], -1);
    QVERIFY(fake.errors().isEmpty());
}

void TestGridOpsWindow::newGridStepMustBePositive_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("x step 0") << "stepX" << "0";
    QTest::newRow("y step negative") << "stepY" << "-5";
    QTest::newRow("z step unreadable") << "stepZ" << "five";
}

void TestGridOpsWindow::newGridStepMustBePositive()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    MainWindow w;
    give_grid(w);
    give_effects(w);
    const vector3D before = w.den_grid;
    fake.onDialog = [&](QDialog* d) {
        fill_and_click(d, {{field, value}}, "OKButton");
        return int(QDialog::Rejected);
    };
    w.on_Create_empty_grid_triggered();
    QCOMPARE(fake.errors(), QStringList{"Step must be positive"});
    QCOMPARE(w.den_grid, before);
    QVERIFY(!w.effects.empty());
}

void TestGridOpsWindow::newGridRecordChecks()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D before = w.den_grid;
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, 1});  // ten values: ignored
    QCOMPARE(w.den_grid, before);
    QVERIFY(fake.errors().isEmpty());
    // A maximum of infinity would never end the node walk.
    w.create_grid({0, std::numeric_limits<double>::infinity(), 5, 0, 10, 5, 0, 10, 5, 1, 1});
    QCOMPARE(w.den_grid, before);
    QCOMPARE(fake.errors().size(), 1);
    // Steps so small that the grid cannot be held.
    w.create_grid({0, 1e6, 1e-2, 0, 1e6, 1e-2, 0, 10, 5, 1, 1});
    QCOMPARE(w.den_grid, before);
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(fake.errors().last().startsWith("Too many cells"));
    // A density that is finite as typed but no single-precision cell can
    // hold is named, top or bottom.
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, 2.67, 1e39});
    QCOMPARE(w.den_grid, before);
    QCOMPARE(fake.errors().size(), 3);
    QCOMPARE(fake.errors().last(), QStringLiteral("The bottom level's density 1e+39 is beyond the single-precision range "
                                                  "of the grid's cells (at most 3.4e+38 in magnitude)"));
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, -4e38, 1});
    QCOMPARE(w.den_grid, before);
    QVERIFY(fake.errors().last().startsWith("The top level's density -4e+38 is beyond"));
    // The largest single-precision value itself is held.
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, 1, double(std::numeric_limits<float>::max())});
    QCOMPARE(fake.errors().size(), 4);
    QCOMPARE(w.den_grid.back()[0][0], std::numeric_limits<float>::max());
}

void TestGridOpsWindow::newGridMemoryQuestion_data()
{
    QTest::addColumn<int>("answer");  // 0: no question expected
    QTest::addColumn<quint64>("available");
    QTest::newRow("declined") << int(QMessageBox::No) << quint64(1000);
    QTest::newRow("accepted") << int(QMessageBox::Yes) << quint64(1000);
    QTest::newRow("fits") << 0 << (quint64(1) << 40);
}

// A new grid larger than the memory available asks first; No keeps the old grid.
void TestGridOpsWindow::newGridMemoryQuestion()
{
    QFETCH(int, answer);
    QFETCH(quint64, available);
    FixedAvailableMemory memory(available);
    MainWindow w;
    w.language = 0;
    give_grid(w);
    give_effects(w);
    w.ui->view_cube->setChecked(true);
    const vector3D before = w.den_grid;
    if (answer)
        fake.answers << QMessageBox::StandardButton(answer);
    w.create_grid({0, 10, 5, 0, 20, 5, 0, 10, 5, 1, 1});
    QVERIFY(fake.errors().isEmpty());
    if (!answer) {
        QVERIFY(fake.questions.isEmpty());
    } else {
        QCOMPARE(fake.questions.size(), 1);
        // At most one node more per axis than the running sums give (3 x 5 x 3).
        grid_memory::NewGrids need = lattice(4, 6, 4, 1);
        need.view = true;
        QCOMPARE(fake.questions.first().text, expected_memory_question(grid_memory::need_bytes(need), 1000, 0));
    }
    if (answer == int(QMessageBox::No)) {
        QCOMPARE(w.den_grid, before);
        QVERIFY(!w.effects.empty());
    } else {
        QCOMPARE(w.den_grid.size(), std::size_t(3));
        QCOMPARE(w.den_grid[0].size(), std::size_t(5));
        QVERIFY(w.effects.empty());
    }
}

void TestGridOpsWindow::verticalParamsDialog()
{
    MainWindow w;
    w.minZ = 100;
    w.maxZ = 2500.5;
    w.dz = 12.3456789;
    w.calc_height = -250;
    give_effects(w);
    QString seen_dz, seen_height;
    bool height_hidden = false;
    fake.onDialog = [&](QDialog* d) {
        seen_dz = d->findChild<QLineEdit*>("input_dz")->text();
        seen_height = d->findChild<QLineEdit*>("input_calc_height")->text();
        height_hidden = d->findChild<QLineEdit*>("input_calc_height")->isHidden();
        // A new height, and no horizons: the grid is not rebuilt.
        fill_and_click(d, {{"input_calc_height", "300"}}, "OKbutton");
        return int(QDialog::Accepted);
    };
    w.on_Zparams_triggered();
    QCOMPARE(fake.dialogs, QStringList{"ModelParamsWindow"});
    QCOMPARE(seen_dz, QString("12.3456789"));
    QCOMPARE(seen_height, QString("250"));
    QVERIFY(height_hidden);
    QCOMPARE(w.calc_height, -300.0);
    QVERIFY(w.effects.empty());
    QCOMPARE(w.alpha_factor, 0.0);
    // The step came back with every digit: no change.
    QCOMPARE(w.dz, 12.3456789);
    QCOMPARE(w.minZ, 100.0);
    QCOMPARE(w.maxZ, 2500.5);
}

void TestGridOpsWindow::verticalParamsUnchangedDoNothing()
{
    MainWindow w;
    give_grid(w);
    w.minZ = 0;
    w.maxZ = 20;
    w.dz = 10;
    w.calc_height = 0;  // shown as "0", not "-0"
    give_effects(w);
    QString seen_height;
    fake.onDialog = [&](QDialog* d) {
        seen_height = d->findChild<QLineEdit*>("input_calc_height")->text();
        fill_and_click(d, {}, "OKbutton");
        return int(QDialog::Accepted);
    };
    w.on_Zparams_triggered();
    QCOMPARE(seen_height, QString("0"));
    QVERIFY(!w.effects.empty());
    QCOMPARE(w.alpha_factor, 3.5);
    QCOMPARE(w.calc_height, 0.0);
    QVERIFY(w.undo_stack.empty());

    // The same through the slots directly.
    w.set_calc_height(-0.0);
    w.setZparams(0, 20, 10);
    QVERIFY(!w.effects.empty());
    QCOMPARE(w.alpha_factor, 3.5);
    // A height that is not a number is ignored.
    w.set_calc_height(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(w.calc_height, 0.0);
    QVERIFY(!w.effects.empty());
}

void TestGridOpsWindow::verticalStepNotPositiveKeepsDialogOpen()
{
    MainWindow w;
    w.minZ = 0;
    w.maxZ = 100;
    w.dz = 10;
    w.calc_height = -50;
    give_effects(w);
    bool still_open = false;
    fake.onDialog = [&](QDialog* d) {
        d->show();
        fill_and_click(d, {{"input_dz", "0"}, {"input_calc_height", "75"}}, "OKbutton");
        still_open = d->isVisible();
        d->hide();
        return int(QDialog::Rejected);
    };
    w.on_Zparams_triggered();
    QVERIFY(still_open);
    QVERIFY(fake.notes.isEmpty());
    // The height was handled before the step test.
    QCOMPARE(w.calc_height, -75.0);
    QVERIFY(w.effects.empty());
    QCOMPARE(w.dz, 10.0);
}

void TestGridOpsWindow::setZparamsRebuildsFromLayers()
{
    MainWindow w;
    // Two horizons on 2 x 3 nodes: the top at 0 and one at 25 m.
    w.horizons = {field2D(2, std::vector<double>(3, 0.0)), field2D(2, std::vector<double>(3, 25.0))};
    w.horizons_params = {3, 2, 0, 100, 0, 50};
    w.densities = {2.0, 2.5};
    w.fixed = {false, false};
    w.layers_names = {QString(), QString()};
    give_effects(w);
    w.layer_effects.assign(2, field2D(2, std::vector<double>(3, 1.0)));
    w.setZparams(0, 50, 10);
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.den_grid.size(), std::size_t(6));
    QCOMPARE(w.z_calc, (std::vector<double>{0, 10, 20, 30, 40, 50}));
    QCOMPARE(w.den_grid[2][1][1], 2.0f);
    QCOMPARE(w.den_grid[3][1][1], 2.5f);
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 50.0);
    QCOMPARE(w.dz, 10.0);
    QVERIFY(w.effects.empty());
    QCOMPARE(w.alpha_factor, 0.0);
    QVERIFY(w.layer_effects.empty());  // computed for the old levels
}

void TestGridOpsWindow::setZparamsMemoryQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("declined") << int(QMessageBox::No);
    QTest::newRow("accepted") << int(QMessageBox::Yes);
}

// Typed vertical parameters that rebuild a grid larger than the memory
// available ask first; No keeps the grid and the parameters.
void TestGridOpsWindow::setZparamsMemoryQuestion()
{
    QFETCH(int, answer);
    FixedAvailableMemory memory(100);
    MainWindow w;
    w.language = 1;
    w.horizons = {field2D(2, std::vector<double>(3, 0.0)), field2D(2, std::vector<double>(3, 25.0))};
    w.horizons_params = {3, 2, 0, 100, 0, 50};
    w.densities = {2.0, 2.5};
    w.fixed = {false, false};
    w.layers_names = {QString(), QString()};
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    w.minZ = 0;
    w.maxZ = 50;
    w.dz = 25;
    w.den_grid.assign(3, vector2D(2, std::vector<data_type>(3, 1.5f)));
    const vector3D before = w.den_grid;
    fake.answers << QMessageBox::StandardButton(answer);
    w.setZparams(0, 50, 10);
    QCOMPARE(fake.questions.size(), 1);
    // Six levels of 2 x 3 cells, and the undo snapshot of the old three.
    const double bytes = grid_memory::need_bytes(lattice(3, 2, 6, 1)) + grid_memory::cube_bytes(3, 2, 3);
    QCOMPARE(fake.questions.first().text, expected_memory_question(bytes, 100, 1));
    if (answer == int(QMessageBox::No)) {
        QCOMPARE(w.den_grid, before);
        QCOMPARE(w.dz, 25.0);
    } else {
        QCOMPARE(w.den_grid.size(), std::size_t(6));
        QCOMPARE(w.dz, 10.0);
    }
}

namespace {

// A layered model of two horizons on ny x nx nodes: the top at 0 and the
// deepest horizon at `deepest` m.
void give_two_horizons(MainWindow& w, int nx, int ny, double deepest)
{
    w.horizons = {field2D(ny, std::vector<double>(nx, 0.0)), field2D(ny, std::vector<double>(nx, deepest))};
    w.horizons_params = {double(nx), double(ny), 0, 100.0 * (nx - 1), 0, 100.0 * (ny - 1)};
    w.densities = {2.0, 2.5};
    w.fixed = {false, false};
    w.layers_names = {QString(), QString()};
}

}  // namespace

void TestGridOpsWindow::setZparamsCellCap_data()
{
    QTest::addColumn<double>("minz");
    QTest::addColumn<double>("maxz");
    QTest::addColumn<double>("step");
    QTest::addColumn<bool>("refused");
    // 1000 x 1000 nodes a level: the cap of 1.5e9 cells is 1500 levels.
    QTest::newRow("2001 levels") << 0.0 << 2000.0 << 1.0 << true;
    QTest::newRow("more levels than an int counts") << 0.0 << 1e10 << 1.0 << true;
    // Typed, 101 levels; built from the deepest horizon (25 m, step 0.5),
    // 2051.
    QTest::newRow("maximum depth 0, defaults beyond the cap") << -1000.0 << 0.0 << 10.0 << true;
    QTest::newRow("1401 levels, below the cap: the memory question") << 0.0 << 1400.0 << 1.0 << false;
}

// Vertical parameters whose grid would have more cells than a new grid may
// have are refused with the new grid's message, before any question, and
// the model stays as it was.
void TestGridOpsWindow::setZparamsCellCap()
{
    QFETCH(double, minz);
    QFETCH(double, maxz);
    QFETCH(double, step);
    QFETCH(bool, refused);
    FixedMemoryFigures memory(1 << 20, std::uint64_t(1) << 60);
    MainWindow w;
    w.language = 1;
    give_two_horizons(w, 1000, 1000, 25);
    give_grid(w);
    w.minZ = 0;
    w.maxZ = 20;
    w.dz = 10;
    const vector3D before = w.den_grid;
    if (!refused)
        fake.answers << QMessageBox::No;
    w.setZparams(minz, maxz, step);
    if (refused) {
        QCOMPARE(fake.errors(), QStringList{"Too many cells: make the steps larger or the model smaller"});
        QVERIFY(fake.questions.isEmpty());
        // The new grid's refusal reads the same.
        w.create_grid({0, 1e6, 1e-2, 0, 1e6, 1e-2, 0, 10, 5, 1, 1});
        QCOMPARE(fake.errors().size(), 2);
        QCOMPARE(fake.errors().last(), fake.errors().first());
    } else {
        QVERIFY(fake.errors().isEmpty());
        QCOMPARE(fake.questions.size(), 1);
    }
    QCOMPARE(w.den_grid, before);
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 20.0);
    QCOMPARE(w.dz, 10.0);
}

// A maximum depth of 0 builds the grid from the defaults (down to the
// deepest horizon in steps of a fiftieth of its depth): the memory question
// names the need of that grid, not of the typed levels.
void TestGridOpsWindow::setZparamsDefaultsAskWithBuiltLevels()
{
    FixedMemoryFigures memory(100, std::uint64_t(1) << 60);
    MainWindow w;
    w.language = 1;
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    give_two_horizons(w, 3, 2, 25);
    fake.answers << QMessageBox::Yes;
    w.setZparams(-100, 0, 10);
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(fake.questions.size(), 1);
    // From -100 down to 25 in steps of 0.5: 251 levels (the typed ones
    // would be 11).
    const double bytes = grid_memory::need_bytes(lattice(3, 2, 251, 1));
    QCOMPARE(fake.questions.first().text, expected_memory_question(bytes, 100, 1));
    QCOMPARE(w.den_grid.size(), std::size_t(251));
    QCOMPARE(w.minZ, -100.0);
    QCOMPARE(w.maxZ, 25.0);
    QCOMPARE(w.dz, 0.5);
}

void TestGridOpsWindow::setZparamsRefusals_data()
{
    QTest::addColumn<double>("minz");
    QTest::addColumn<double>("maxz");
    QTest::addColumn<double>("step");
    QTest::newRow("min equals max") << 50.0 << 50.0 << 10.0;
    QTest::newRow("min above max") << 60.0 << 50.0 << 10.0;
    QTest::newRow("zero step") << 0.0 << 50.0 << 0.0;
    QTest::newRow("negative step") << 0.0 << 50.0 << -1.0;
    QTest::newRow("unchanged") << 0.0 << 100.0 << 10.0;
    QTest::newRow("NaN maximum") << 0.0 << std::numeric_limits<double>::quiet_NaN() << 10.0;
}

void TestGridOpsWindow::setZparamsRefusals()
{
    QFETCH(double, minz);
    QFETCH(double, maxz);
    QFETCH(double, step);
    MainWindow w;
    give_grid(w);
    w.minZ = 0;
    w.maxZ = 100;
    w.dz = 10;
    give_effects(w);
    const vector3D before = w.den_grid;
    w.setZparams(minz, maxz, step);
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 100.0);
    QCOMPARE(w.dz, 10.0);
    QCOMPARE(w.den_grid, before);
    QVERIFY(!w.effects.empty());
    QVERIFY(fake.notes.isEmpty());
}

// ---------------------------------------------------------------------------
// Arithmetic with a cube

void TestGridOpsWindow::cubeCommands_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<float>("expected");  // at cell (1, 2, 3): 2.321 and operand 0.5, in float
    const float cell = static_cast<float>(2 + 0.1 * 3 + 0.01 * 2 + 0.001 * 1);
    QTest::newRow("add") << 0 << 0.5f + cell;
    QTest::newRow("substract") << 1 << cell - 0.5f;
    QTest::newRow("multiply") << 2 << 0.5f * cell;
    QTest::newRow("divide") << 3 << cell / 0.5f;
}

void TestGridOpsWindow::cubeCommands()
{
    QFETCH(int, command);
    QFETCH(float, expected);
    MainWindow w;
    give_grid(w);
    w.ui->view_dens->setChecked(false);
    // The operand has the grid's counts but another extent and spacing.
    const vector3D operand(3, vector2D(4, std::vector<data_type>(5, 0.5f)));
    fake.openNames << writeCube("operand.3Dgrd", operand, nodes(5, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
    const auto bounds = w.model_bounds;
    const std::size_t undo_before = w.undo_stack.size();
    switch (command) {
    case 0: w.on_add_cube_triggered(); break;
    case 1: w.on_substract_cube_triggered(); break;
    case 2: w.on_multiply_cube_triggered(); break;
    case 3: w.on_divide_cube_triggered(); break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QString("Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)"));
    QCOMPARE(w.den_grid[1][2][3], expected);
    QCOMPARE(w.undo_stack.size(), undo_before);
    // The density cube is shown afterwards; the model keeps its own bounds
    // and coordinates.
    QVERIFY(w.ui->view_dens->isChecked());
    QCOMPARE(w.model_bounds, bounds);
    QCOMPARE(w.x_calc, nodes(5, 1000, 50));
}

void TestGridOpsWindow::addThenSubtractRestores()
{
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    const vector3D operand = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return std::sin(double(i + 3 * j + 7 * k));
    });
    const QString path = writeCube("wave.3Dgrd", operand, nodes(5, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
    fake.openNames << path << path;
    w.on_add_cube_triggered();
    QVERIFY(w.den_grid != original);
    w.on_substract_cube_triggered();
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t k = 0; k < 5; ++k)
                QVERIFY(std::fabs(w.den_grid[i][j][k] - original[i][j][k]) < 5e-7f);
    QVERIFY(w.undo_stack.empty());
}

void TestGridOpsWindow::operandOfOtherSizeRefused()
{
    for (int language : {0, 1}) {
        MainWindow w;
        w.language = language;
        give_grid(w);
        const vector3D original = w.den_grid;
        fake.clear();
        fake.openNames << writeCube("small.3Dgrd", vector3D(3, vector2D(4, std::vector<data_type>(4, 1.0f))),
                                    nodes(4, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
        w.on_add_cube_triggered();
        QCOMPARE(fake.errors(), QStringList{language == 0 ? QString::fromUtf8("Параметры разбиения не совпадают")
                                                          : QString("Grid params doesn't match")});
        QCOMPARE(w.den_grid, original);
    }
}

void TestGridOpsWindow::operandReadFailures()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D original = w.den_grid;
    // Cancelled: nothing at all.
    w.on_multiply_cube_triggered();
    QVERIFY(fake.notes.isEmpty());
    // Another suffix reads nothing and says which suffixes are read.
    fake.openNames << dir.filePath("operand.txt");
    w.on_multiply_cube_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("Accepted suffixes: 3Dgrd, sgy, segy"), qPrintable(fake.errors()[0]));
    QCOMPARE(w.den_grid, original);
    // A broken cube file is reported by the reader; the grid stays.
    fake.clear();
    QFile broken(dir.filePath("broken.3Dgrd"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a cube");
    broken.close();
    fake.openNames << broken.fileName();
    const auto bounds = w.model_bounds;
    w.on_add_cube_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0] != "Grid params doesn't match");
    QCOMPARE(w.den_grid, original);
    QCOMPARE(w.model_bounds, bounds);
    // An empty density grid matches no operand.
    fake.clear();
    w.den_grid.clear();
    fake.openNames << writeCube("any.3Dgrd", original, nodes(5, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
    w.on_add_cube_triggered();
    QCOMPARE(fake.errors(), QStringList{"Grid params doesn't match"});
    QVERIFY(w.den_grid.empty());
}

void TestGridOpsWindow::divisionByZeroRefused()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D original = w.den_grid;
    vector3D operand(3, vector2D(4, std::vector<data_type>(5, 2.0f)));
    operand[2][3][4] = 0.0f;
    fake.openNames << writeCube("zeros.3Dgrd", operand, nodes(5, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
    w.on_divide_cube_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].startsWith("Division by zero"));
    QVERIFY(fake.errors()[0].contains("(1)"));
    QCOMPARE(w.den_grid, original);
}

void TestGridOpsWindow::segyOperand()
{
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    const vector3D operand = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return 0.25 * double(i) + 0.5 * double(j) + double(k);
    });
    const QString path = dir.filePath("operand.sgy");
    const CodecStatus status = write_segy_cube(path, operand, nodes(5, 0, 10), nodes(4, 0, 10), nodes(3, 0, 5));
    QVERIFY2(bool(status), qPrintable(status.message(1)));
    fake.openNames << path;
    w.on_add_cube_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t k = 0; k < 5; ++k)
                QCOMPARE(w.den_grid[i][j][k], operand[i][j][k] + original[i][j][k]);
}

// An operand whose y falls from line to line and x along the lines is read
// with its rows and columns reversed: each of its cells meets the density
// cell at the same coordinates.
void TestGridOpsWindow::segyOperandWithFallingCoordinates()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D original = w.den_grid;
    // Cell (level i, row j, column k) of the operand in the file's order:
    // its node is row 3 - j, column 4 - k of the density grid.
    const vector3D in_file = make_cube(3, 4, 5, [](std::size_t i, std::size_t j, std::size_t k) {
        return 0.25 * double(i) + 0.5 * double(3 - j) + double(4 - k);
    });
    const QString path = dir.filePath("falling.sgy");
    QVERIFY(write_segy_cube(path, in_file, nodes(5, 0, 10), nodes(4, 0, 10), nodes(3, 0, 5)));
    QVERIFY(set_segy_coordinates(path, 5, 4, [&](int j, int k) {
        return QPointF(w.x_calc[std::size_t(4 - k)], w.y_calc[std::size_t(3 - j)]);
    }));
    fake.openNames << path;
    w.on_add_cube_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QVERIFY(fake.messages().isEmpty());
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t k = 0; k < 5; ++k)
                QCOMPARE(w.den_grid[i][j][k], float(0.25 * double(i) + 0.5 * double(j) + double(k)) + original[i][j][k]);
    QVERIFY2(w.progress_label->text().endsWith("; rows and columns read in reverse order (in the file y falls from "
                                               "line to line and x along the lines)"),
             qPrintable(w.progress_label->text()));
}

void TestGridOpsWindow::addMeans()
{
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D original = w.den_grid;
    // The operand's levels have their own rows and columns: means 1, 2, 3.
    vector3D operand(3, vector2D(2, std::vector<data_type>(2)));
    for (std::size_t i = 0; i < 3; ++i)
        operand[i] = {{float(i + 1) - 0.5f, float(i + 1) + 0.5f}, {float(i + 1), float(i + 1)}};
    fake.openNames << writeCube("means.3Dgrd", operand, nodes(2, 0, 1), nodes(2, 0, 1), nodes(3, 0, 1));
    w.on_add_means_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    for (std::size_t i = 0; i < 3; ++i)
        QCOMPARE(w.den_grid[i][3][4], float(double(original[i][3][4]) + double(i + 1)));
    QVERIFY(w.undo_stack.empty());

    // Another level count.
    fake.openNames << writeCube("two.3Dgrd", vector3D(2, vector2D(2, std::vector<data_type>(2, 1.0f))),
                                nodes(2, 0, 1), nodes(2, 0, 1), nodes(2, 0, 1));
    const vector3D after = w.den_grid;
    w.on_add_means_triggered();
    QCOMPARE(fake.errors(), QStringList{"Vertical cell count doesn't match"});
    QCOMPARE(w.den_grid, after);
}

void TestGridOpsWindow::calcMeansThenDeleteMeans()
{
    MainWindow w;
    give_grid(w);
    w.ui->view_dens->setChecked(false);
    w.ui->view_cube->setChecked(false);
    w.on_calc_means_triggered();
    QVERIFY(w.undo_stack.empty());
    QVERIFY(w.ui->view_dens->isChecked());
    for (const auto& level : w.den_grid) {
        const float v = level[0][0];
        for (const auto& row : level)
            for (float c : row)
                QCOMPARE(c, v);
    }
    QVERIFY(std::fabs(w.den_grid[0][0][0] - (2 + 0.2 + 0.015)) < 1e-6);
    w.ui->view_cube->setChecked(false);  // the colour range is then the command's own
    w.on_delete_mean_triggered();
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    for (const auto& level : w.den_grid)
        for (const auto& row : level)
            for (float c : row)
                QCOMPARE(c, 0.0f);
    QCOMPARE(w.surf->texture_min, 0.0);
    QCOMPARE(w.surf->texture_max, 0.0);
}

void TestGridOpsWindow::deleteMinsAndUndo()
{
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    w.on_delete_min_triggered();
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    for (std::size_t i = 0; i < 3; ++i) {
        // Each level's smallest cell was its first one.
        QCOMPARE(w.den_grid[i][0][0], 0.0f);
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t k = 0; k < 5; ++k) {
                QVERIFY(w.den_grid[i][j][k] >= 0.0f);
                QCOMPARE(w.den_grid[i][j][k], float(double(original[i][j][k]) - double(original[i][0][0])));
            }
    }
    float largest = 0;
    for (const auto& level : w.den_grid)
        for (const auto& row : level)
            for (float c : row)
                largest = std::max(largest, c);
    QCOMPARE(w.surf->texture_min, 0.0);
    QCOMPARE(w.surf->texture_max, double(largest));
    QVERIFY(std::fabs(largest - 0.43f) < 1e-6f);
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, original);
}

void TestGridOpsWindow::fillZerosAndUndo()
{
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    w.on_fill_zeros_triggered();
    QCOMPARE(w.den_grid, vector3D(3, vector2D(4, std::vector<data_type>(5, 0.0f))));
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, original);
}

void TestGridOpsWindow::levelCommandsOnEmptyGrid()
{
    MainWindow w;
    w.on_calc_means_triggered();
    w.on_delete_mean_triggered();
    w.on_delete_min_triggered();
    w.on_fill_zeros_triggered();
    QVERIFY(w.den_grid.empty());
    QVERIFY(w.undo_stack.empty());
    QVERIFY(fake.notes.isEmpty());
    // Levels of rows without cells have no minimum or mean: left alone.
    w.create_grid({10, 0, 5, 0, 10, 5, 0, 10, 5, 1, 1});
    w.on_delete_min_triggered();
    w.on_delete_mean_triggered();
    w.on_calc_means_triggered();
    QCOMPARE(w.den_grid.size(), std::size_t(3));
}

// ---------------------------------------------------------------------------
// Moves to zero

void TestGridOpsWindow::moveGridToZero()
{
    MainWindow w;
    w.den_grid = vector3D(2, vector2D(3, std::vector<data_type>(21, 1.0f)));
    w.x_calc = nodes(21, 1000, 50);
    w.y_calc = nodes(3, -300, 100);
    w.z_calc = nodes(2, 50, 10);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
    w.Vz_calculated = field2D(3, std::vector<double>(21, 0.0));
    w.calculated_params = {21, 3, 1000, 2000, -300, -100};
    w.Vp_grid = w.den_grid;
    w.x_vp = w.x_calc;
    w.horizons_params = {21, 3, 1000, 2000, -300, -100};
    w.on_move_3Dgrid_tozero_triggered();
    QCOMPARE(w.x_calc, nodes(21, 0, 50));
    QCOMPARE(w.x_calc.back(), 1000.0);
    QCOMPARE(w.y_calc, nodes(3, 0, 100));
    QCOMPARE(w.x_norm, w.x_calc);
    QCOMPARE(w.y_norm, w.y_calc);
    QCOMPARE(w.z_calc, nodes(2, 50, 10));
    QCOMPARE(w.calculated_params, (std::vector<double>{21, 3, 0, 1000, 0, 200}));
    // The others keep their coordinates.
    QCOMPARE(w.x_vp, nodes(21, 1000, 50));
    QCOMPARE(w.horizons_params, (std::vector<double>{21, 3, 1000, 2000, -300, -100}));
    QVERIFY(w.undo_stack.empty());

    // Nothing to move.
    MainWindow empty;
    empty.x_calc = nodes(3, 10, 1);
    empty.on_move_3Dgrid_tozero_triggered();
    QCOMPARE(empty.x_calc, nodes(3, 10, 1));
}

void TestGridOpsWindow::moveHorizonsAndObservedToZero()
{
    MainWindow w;
    w.horizons = {field2D(2, std::vector<double>(3, 0.0)), field2D(2, std::vector<double>(3, 40.0))};
    w.horizons_params = {3, 2, 500, 700, 100, 150, 0, 40};
    w.Vz_observed = field2D(2, std::vector<double>(2, 1.0));
    w.observed_params = {2, 2, -50, 50, 10, 20};
    w.on_move_horizons_tozero_triggered();
    QCOMPARE(w.horizons_params, (std::vector<double>{3, 2, 0, 200, 0, 50, 0, 40}));
    QCOMPARE(w.horizons[1], field2D(2, std::vector<double>(3, 40.0)));
    QCOMPARE(w.observed_params, (std::vector<double>{2, 2, -50, 50, 10, 20}));
    w.on_move_observed_tozero_triggered();
    QCOMPARE(w.observed_params, (std::vector<double>{2, 2, 0, 100, 0, 10}));

    MainWindow empty;
    empty.horizons_params = {3, 2, 500, 700, 100, 150};
    empty.observed_params = {2, 2, -50, 50, 10, 20};
    empty.on_move_horizons_tozero_triggered();
    empty.on_move_observed_tozero_triggered();
    QCOMPARE(empty.horizons_params, (std::vector<double>{3, 2, 500, 700, 100, 150}));
    QCOMPARE(empty.observed_params, (std::vector<double>{2, 2, -50, 50, 10, 20}));
}

// ---------------------------------------------------------------------------
// Gradients

void TestGridOpsWindow::gradientCommands_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<double>("expected");
    // give_grid: 0.1 per column (50 m), 0.01 per row (25 m), 0.001 per level (10 m).
    QTest::newRow("x") << 0 << 0.1;
    QTest::newRow("y") << 1 << 0.01;
    QTest::newRow("vertical") << 2 << 0.001;
    QTest::newRow("horizontal") << 3 << std::sqrt(0.002 * 0.002 + 0.0004 * 0.0004);
    QTest::newRow("full") << 4 << std::sqrt(0.002 * 0.002 + 0.0004 * 0.0004 + 0.0001 * 0.0001);
}

void TestGridOpsWindow::gradientCommands()
{
    QFETCH(int, command);
    QFETCH(double, expected);
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    switch (command) {
    case 0: w.on_x_gradient_triggered(); break;
    case 1: w.on_y_gradient_triggered(); break;
    case 2: w.on_vertical_gradient_triggered(); break;
    case 3: w.on_horizontal_gradient_triggered(); break;
    case 4: w.on_full_gradient_triggered(); break;
    }
    QVERIFY(fake.notes.isEmpty());
    for (const auto& level : w.den_grid)
        for (const auto& row : level)
            for (float v : row)
                QVERIFY2(std::fabs(v - expected) < 2e-6 + 1e-3 * expected, qPrintable(QString::number(v)));
    QVERIFY(std::fabs(w.surf->texture_min - expected) < 2e-6 + 1e-3 * expected);
    QVERIFY(std::fabs(w.surf->texture_max - expected) < 2e-6 + 1e-3 * expected);
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, original);
}

void TestGridOpsWindow::gradientRefusals()
{
    MainWindow w;
    w.language = 1;
    w.on_full_gradient_triggered();  // no grid: nothing at all
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(w.undo_stack.empty());

    // One level: the vertical and full gradients need two.
    w.den_grid = vector3D(1, vector2D(3, std::vector<data_type>(3, 1.0f)));
    w.x_calc = nodes(3, 0, 10);
    w.y_calc = nodes(3, 0, 10);
    w.z_calc = {0};
    w.on_vertical_gradient_triggered();
    w.on_full_gradient_triggered();
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.den_grid, vector3D(1, vector2D(3, std::vector<data_type>(3, 1.0f))));
    // The horizontal gradient works on one level.
    fake.clear();
    w.on_horizontal_gradient_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(w.den_grid, vector3D(1, vector2D(3, std::vector<data_type>(3, 0.0f))));
    // Coordinates without a spacing.
    w.x_calc = {5, 5, 5};
    w.on_horizontal_gradient_triggered();
    QCOMPARE(fake.errors().size(), 1);
}

// ---------------------------------------------------------------------------
// Runs

void TestGridOpsWindow::refusedWhileRunning()
{
    MainWindow w;
    give_grid(w);
    const vector3D original = w.den_grid;
    RunGuard run(&w, RunKind::Forward);
    QVERIFY(bool(run));
    fake.onDialog = [](QDialog*) {
        QTest::qFail("no dialog may open during a run", __FILE__, __LINE__);
        return int(QDialog::Rejected);
    };
    w.on_Create_empty_grid_triggered();
    w.on_Zparams_triggered();
    w.on_calc_means_triggered();
    w.on_delete_mean_triggered();
    w.on_fill_zeros_triggered();
    w.on_x_gradient_triggered();
    w.on_add_cube_triggered();
    w.on_move_3Dgrid_tozero_triggered();
    w.create_grid({0, 10, 5, 0, 10, 5, 0, 10, 5, 1, 1});
    QCOMPARE(fake.errors().size(), 9);
    QVERIFY(fake.fileRequests.isEmpty());
    QCOMPARE(w.den_grid, original);
    QCOMPARE(w.x_calc, nodes(5, 1000, 50));
    QVERIFY(w.undo_stack.empty());
}

QTEST_MAIN(TestGridOpsWindow)
#include "tst_gridops_window.moc"
