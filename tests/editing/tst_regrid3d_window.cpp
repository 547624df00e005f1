// Regridding commands of the main window, offscreen, with the parameter
// dialog worked by a scripted interaction: every loaded cube with the
// horizons and both fields onto a new lattice, the horizons alone, the
// observed field alone, and the refusals.
#include <QProgressBar>
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <map>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "editing/gridconvertparams.h"
#include "editing/regrid3d.h"
#include "editing/regularizer.h"
#include "formats/project_file.h"
#include "editing/grid_memory.h"
#include "fake_interaction.h"
#include "fixed_available_memory.h"
#include "test_nodes.h"

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

QStringList repeated(int n, const QString& text)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << text;
    return out;
}

// A cube whose value tells its own level, row and column (plus a tag).
vector3D indexed(int nx, int ny, int nz, int tag = 0)
{
    vector3D g(static_cast<std::size_t>(nz),
               vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                g[k][j][i] = static_cast<data_type>(tag + 10000 * k + 100 * j + i);
    return g;
}

field2D indexed2d(int nx, int ny, double tag)
{
    field2D g(static_cast<std::size_t>(ny), std::vector<double>(static_cast<std::size_t>(nx)));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            g[j][i] = tag + 100 * j + i;
    return g;
}

// Density grid of 3 levels (z 0, 10, 20) of 4 rows (y -200 .. -125 by 25) of
// 5 columns (x 1000 .. 1200 by 50); the observed and calculated fields and
// two horizons on the same x/y nodes.
void give_model(MainWindow& w)
{
    w.den_grid = indexed(5, 4, 3);
    w.x_calc = nodes(5, 1000, 50);
    w.y_calc = nodes(4, -200, 25);
    w.z_calc = nodes(3, 0, 10);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
    w.minZ = 0;
    w.maxZ = 20;
    w.dz = 10;
    w.Vz_observed = indexed2d(5, 4, 0.5);
    w.observed_params = {5, 4, 1000, 1200, -200, -125, -3, 3};
    w.Vz_calculated = indexed2d(5, 4, 0.25);
    w.calculated_params = {5, 4, 1000, 1200, -200, -125};
    w.horizons = {field2D(4, std::vector<double>(5, 0.0)), indexed2d(5, 4, 1000)};
    w.horizons_params = {5, 4, 1000, 1200, -200, -125, 0, 1400};
    w.densities = {0, 2.3};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.effects.shape(1, 1, 1);
    w.effects.quarter[0][0] = 1.0f;
    w.effects.im.assign(1, vector2D(1, std::vector<data_type>(1, 1.0f)));
    w.effects.key.valid = true;
    w.layer_effects.assign(2, field2D(1, std::vector<double>(1, 1.0)));
    w.alpha_factor = 3.5;
    w.crop_borders = {{0, 4, 3, 0, 0, 2}};
}

// Vp on its own, coarser lattice: x 1000 .. 1200 by 100, y -200, -150, z 0, 20.
void give_vp(MainWindow& w)
{
    w.Vp_grid = indexed(3, 2, 2, 500000);
    w.x_vp = nodes(3, 1000, 100);
    w.y_vp = nodes(2, -200, 50);
    w.z_vp = nodes(2, 0, 20);
}

// The new lattice used below: x 1000, 1100, 1200 (1210 snapped down);
// y -200, -150, -100; z 5, 15, 25.
const std::vector<QString> kNewLattice{"1000", "1210", "100", "-200", "-100", "50", "5", "25", "10"};
const char* kFields[9] = {"minX", "maxX", "dx", "minY", "maxY", "dy", "minZ", "maxZ", "dz"};

// Fills the dialog's fields with `values` (nine, or six for a hidden Z row)
// and clicks OK.
void fill_and_ok(QDialog* dialog, const std::vector<QString>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        auto* edit = dialog->findChild<QLineEdit*>(kFields[i]);
        QVERIFY2(edit, kFields[i]);
        edit->setText(values[i]);
    }
    dialog->findChild<QPushButton*>("OKbutton")->click();
}

QStringList field_texts(QDialog* dialog, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << dialog->findChild<QLineEdit*>(kFields[i])->text();
    return out;
}

}  // namespace

class TestRegrid3dWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); fake.onDialog = nullptr; }

    void regridThroughDialog();
    void regridEveryCubeFromItsOwnLattice();
    void regridSkipsWhatIsNotLoaded();
    void invalidThreeDRecordChangesNothing();
    void refusals_data();
    void refusals();
    void tooLargeLatticeRefused();
    void runGuardRefuses();
    void regridHorizonsThroughDialog();
    void regridObservedThroughDialog();
    void regularizerOffsetsFollowTheLevels_data();
    void regularizerOffsetsFollowTheLevels();
    void memoryQuestion_data();
    void memoryQuestion();

private:
    FakeInteraction fake;
};

void TestRegrid3dWindow::regridThroughDialog()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    give_vp(w);
    w.update_undo(1);
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    // No cube view: nothing redraws the cube; the status label ends with
    // the new size.
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    // Each phase names itself while the bar runs through it.
    QStringList phases;
    connect(&w.progress_bar, &QProgressBar::valueChanged, [&] {
        if (phases.isEmpty() || phases.last() != w.progress_label->text())
            phases << w.progress_label->text();
    });
    const vector3D den_before = w.den_grid;
    const field2D obs_before = w.Vz_observed, calc_before = w.Vz_calculated;
    const std::vector<field2D> horizons_before = w.horizons;

    QStringList prefilled, hidden;
    QString title;
    fake.onDialog = [&](QDialog* d) {
        title = d->windowTitle();
        prefilled = field_texts(d, 9);
        fill_and_ok(d, kNewLattice);
        return int(QDialog::Rejected);
    };
    w.on_regrid_triggered();
    QCOMPARE(fake.dialogs, QStringList{"GridConvertParams"});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(title, QStringLiteral("Grid parameters"));
    QCOMPARE(prefilled, (QStringList{"1000", "1200", "50", "-200", "-125", "25", "0", "20", "10"}));

    // Density: columns 0, 2, 4 (x 1000, 1100, 1200 nearest), rows 0, 2, 3
    // (y -200, -150 and -100 beyond the last row -125), levels 0, 1, 2
    // (z 5, 15, 25 take the level at or above).
    const int cols[] = {0, 2, 4}, rows[] = {0, 2, 3}, levels[] = {0, 1, 2};
    QCOMPARE(w.den_grid.size(), std::size_t(3));
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(w.den_grid[k].size(), std::size_t(3));
        for (int j = 0; j < 3; ++j) {
            QCOMPARE(w.den_grid[k][j].size(), std::size_t(3));
            for (int i = 0; i < 3; ++i)
                QCOMPARE(w.den_grid[k][j][i], den_before[levels[k]][rows[j]][cols[i]]);
        }
    }
    QCOMPARE(w.x_calc, (std::vector<double>{1000, 1100, 1200}));
    QCOMPARE(w.y_calc, (std::vector<double>{-200, -150, -100}));
    QCOMPARE(w.z_calc, (std::vector<double>{5, 15, 25}));
    QCOMPARE(w.x_norm, w.x_calc);
    QCOMPARE(w.y_norm, w.y_calc);
    QCOMPARE(w.z_norm, w.z_calc);

    // Vp from its own lattice (x by 100, y by 50, z by 20): columns 0, 1, 2,
    // rows 0, 1, 1, levels 0, 0, 1.
    const int vcols[] = {0, 1, 2}, vrows[] = {0, 1, 1}, vlevels[] = {0, 0, 1};
    const vector3D vp_source = indexed(3, 2, 2, 500000);
    QCOMPARE(w.Vp_grid.size(), std::size_t(3));
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                QCOMPARE(w.Vp_grid[k][j][i], vp_source[vlevels[k]][vrows[j]][vcols[i]]);
    QCOMPARE(w.x_vp, w.x_calc);
    QCOMPARE(w.y_vp, w.y_calc);
    QCOMPARE(w.z_vp, w.z_calc);

    // Fields and horizons on the new x/y nodes with six-value records.
    const std::vector<double> geometry{3, 3, 1000, 1200, -200, -100};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(w.Vz_observed[j][i], obs_before[rows[j]][cols[i]]);
            QCOMPARE(w.Vz_calculated[j][i], calc_before[rows[j]][cols[i]]);
            QCOMPARE(w.horizons[1][j][i], horizons_before[1][rows[j]][cols[i]]);
        }
    QCOMPARE(w.observed_params, geometry);
    QCOMPARE(w.calculated_params, geometry);
    QCOMPARE(w.horizons_params, geometry);
    QCOMPARE(w.horizons.size(), std::size_t(2));
    QCOMPARE(w.horizons[0].size(), std::size_t(3));

    // Crop indexes: left 0 -> 0, right 4 (x 1200) -> 2, front 3 (y -125) ->
    // int(75 / 50) = 1, back 0 -> 0, top 0 (z 0) -> int(-5 / 10) = 0,
    // bottom 2 (z 20) -> int(15 / 10) = 1.
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 2, 1, 0, 0, 1}}));

    // The stored operator and the cached weight are gone; the rest stays.
    QVERIFY(w.effects.empty());
    QVERIFY(!w.effects.key.valid);
    QCOMPARE(w.alpha_factor, 0.0);
    QVERIFY(w.layer_effects.empty());
    // The snapshots of the old lattice are gone: undo brings none of them
    // back beside the regridded horizons and fields.
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 20.0);
    QCOMPARE(w.dz, 10.0);
    QCOMPARE(w.densities, (std::vector<double>{0, 2.3}));
    QVERIFY(w.Vs_grid.empty());
    QVERIFY(w.regularizer.empty());
    QCOMPARE(w.progress_label->text(), QStringLiteral("(Nx, Ny, Nz) = (3, 3, 3)"));
    QCOMPARE(phases, (QStringList{"Regrid density (Nx, Ny, Nz) = (3, 3, 3)", "Regrid Vp (Nx, Ny, Nz) = (3, 3, 3)",
                                  "Regrid horizons", "Regrid observed field", "Regrid calculated field"}));
    QVERIFY(w.progress_bar.isHidden());
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{1000, 1200, -200, -100, 5, 25}}));
}

void TestRegrid3dWindow::regridEveryCubeFromItsOwnLattice()
{
    MainWindow w;
    w.language = 0;
    give_model(w);
    // Vs: one level, x 950 .. 1250 by 150, y -200 only.
    w.Vs_grid = indexed(3, 1, 1, 700000);
    w.x_vs = nodes(3, 950, 150);
    w.y_vs = {-200};
    w.z_vs = {0};
    // Regularizer on the density grid's nodes.
    w.regularizer = indexed(5, 4, 3, 900000);
    w.x_reg = w.x_calc;
    w.y_reg = w.y_calc;
    w.z_reg = w.z_calc;
    w.regularizer_offsets = {0.1, 0.2, 0.3};
    w.regularizer_scale = 2;

    w.regrid3Dgrid({1000, 1200, 100, -200, -100, 50, 5, 25, 10});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));

    // Vs: x 1000 -> int((50 + 75) / 150) = 0, 1100 -> int(225 / 150) = 1,
    // 1200 -> int(325 / 150) = 2; its single row and level serve every node.
    const int vcols[] = {0, 1, 2};
    QCOMPARE(w.Vs_grid.size(), std::size_t(3));
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                QCOMPARE(w.Vs_grid[k][j][i], data_type(700000 + vcols[i]));
    QCOMPARE(w.x_vs, (std::vector<double>{1000, 1100, 1200}));
    QCOMPARE(w.z_vs, (std::vector<double>{5, 15, 25}));

    const vector3D reg_source = indexed(5, 4, 3, 900000);
    const int cols[] = {0, 2, 4}, rows[] = {0, 2, 3}, levels[] = {0, 1, 2};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                QCOMPARE(w.regularizer[k][j][i], reg_source[levels[k]][rows[j]][cols[i]]);
    QCOMPARE(w.y_reg, (std::vector<double>{-200, -150, -100}));
    // The normalisation record stays with the regularizer.
    QCOMPARE(w.regularizer_offsets, (std::vector<double>{0.1, 0.2, 0.3}));
    QCOMPARE(w.regularizer_scale, 2.0);
    // The cube view is redrawn on the new lattice.
    QVERIFY(w.ui->view_cube->isChecked());
    QCOMPARE(w.progress_label->text(), QStringLiteral("(Nx, Ny, Nz) = (3, 3, 3)"));
}

// Density grid, Vp and the observed field only: the two cubes and the field
// are resampled and nothing else appears.
void TestRegrid3dWindow::regridSkipsWhatIsNotLoaded()
{
    MainWindow w;
    give_model(w);
    give_vp(w);
    w.horizons.clear();
    w.horizons_params.clear();
    w.densities.clear();
    w.fixed.clear();
    w.layers_names.clear();
    w.Vz_calculated.clear();
    w.calculated_params = {1, 2, 3, 4, 5, 6, 7, 8};
    w.regrid3Dgrid({1000, 1200, 100, -200, -100, 50, 5, 25, 10});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.den_grid.size(), std::size_t(3));
    QCOMPARE(w.Vp_grid.front().size(), std::size_t(3));
    QCOMPARE(w.Vz_observed.size(), std::size_t(3));
    QCOMPARE(w.observed_params, (std::vector<double>{3, 3, 1000, 1200, -200, -100}));
    QVERIFY(w.horizons.empty());
    QVERIFY(w.horizons_params.empty());
    QVERIFY(w.Vz_calculated.empty());
    QCOMPARE(w.calculated_params, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    QVERIFY(w.Vs_grid.empty() && w.x_vs.empty());
    QVERIFY(w.regularizer.empty() && w.x_reg.empty());
}

// The 3D command connects only the 3D record: a zero vertical step gives a
// valid 2D record and nothing happens.
void TestRegrid3dWindow::invalidThreeDRecordChangesNothing()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    w.update_undo(1);
    const vector3D den_before = w.den_grid;
    const field2D obs_before = w.Vz_observed;
    const std::vector<double> x_before = w.x_calc;
    fake.onDialog = [&](QDialog* d) {
        fill_and_ok(d, {"1000", "1200", "100", "-200", "-100", "50", "0", "20", "0"});
        return int(QDialog::Rejected);
    };
    w.on_regrid_triggered();
    QCOMPARE(fake.dialogs.size(), 1);
    QCOMPARE(w.den_grid, den_before);
    QCOMPARE(w.x_calc, x_before);
    QCOMPARE(w.Vz_observed, obs_before);
    QVERIFY(!w.effects.empty());
    QCOMPARE(w.alpha_factor, 3.5);

    // Records that the dialog would never send do nothing either.
    w.regrid3Dgrid({1000, 1200, 100, -200, -100, 50, 0, 20});
    w.regrid3Dgrid({1000, 1200, -100, -200, -100, 50, 0, 20, 10});
    w.regrid3Dgrid({1000, 900, 100, -200, -100, 50, 0, 20, 10});
    // Nor does the grid's own lattice sent back unchanged.
    w.regrid3Dgrid({1000, 1200, 50, -200, -125, 25, 0, 20, 10});
    QCOMPARE(w.den_grid, den_before);
    QVERIFY(fake.errors().isEmpty());
    // A regrid that changed nothing leaves what undo can take back.
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
}

void TestRegrid3dWindow::refusals_data()
{
    QTest::addColumn<int>("command");  // 0 3D, 1 horizons, 2 observed
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("3D en") << 0 << 1 << "3D density grid is empty";
    QTest::newRow("3D ru") << 0 << 0 << QString::fromUtf8("3D грид плотности пуст");
    QTest::newRow("horizons en") << 1 << 1 << "Horizon are empty";
    QTest::newRow("horizons ru") << 1 << 0 << QString::fromUtf8("Горизонты не загружены в проект");
    QTest::newRow("observed en") << 2 << 2 << "Observed field is empty";
    QTest::newRow("observed ru") << 2 << 0 << QString::fromUtf8("Наблюденное поле не загружено в проект");
}

void TestRegrid3dWindow::refusals()
{
    QFETCH(int, command);
    QFETCH(int, language);
    QFETCH(QString, text);
    MainWindow w;
    w.language = language;
    switch (command) {
    case 0: w.on_regrid_triggered(); break;
    case 1: w.on_regrid_horizons_triggered(); break;
    default: w.on_regrid_observed_triggered(); break;
    }
    QCOMPARE(fake.errors(), QStringList{text});
    QVERIFY(fake.dialogs.isEmpty());

    // The resamplers themselves skip what is not loaded, silently.
    w.regrid3Dgrid({0, 10, 1, 0, 10, 1, 0, 10, 1});
    w.regridHorizons({3, 3, 0, 10, 0, 10});
    w.regridObserved({3, 3, 0, 10, 0, 10});
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(w.den_grid.empty() && w.horizons.empty() && w.Vz_observed.empty());
    QVERIFY(w.horizons_params.empty() && w.observed_params.empty());
}

void TestRegrid3dWindow::tooLargeLatticeRefused()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    const vector3D den_before = w.den_grid;
    const field2D obs_before = w.Vz_observed;
    const std::vector<field2D> horizons_before = w.horizons;
    w.regrid3Dgrid({0, 1e6, 1, 0, 1e6, 1, 0, 1000, 1});
    w.regridHorizons({1e5, 1e5, 0, 1, 0, 1});
    w.regridObserved({1e5, 1e5, 0, 1, 0, 1});
    QCOMPARE(fake.errors(), repeated(3, "Too many cells: make the steps larger or the model smaller"));
    QCOMPARE(w.den_grid, den_before);
    QCOMPARE(w.Vz_observed, obs_before);
    QCOMPARE(w.horizons, horizons_before);
    QVERIFY(!w.effects.empty());
}

void TestRegrid3dWindow::runGuardRefuses()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    const vector3D den_before = w.den_grid;
    const field2D obs_before = w.Vz_observed;
    const std::vector<field2D> horizons_before = w.horizons;
    const std::vector<double> hp_before = w.horizons_params;
    {
        RunGuard run(&w, RunKind::Forward);
        QVERIFY(bool(run));
        fake.onDialog = [&](QDialog* d) {
            fill_and_ok(d, kNewLattice);
            return int(QDialog::Rejected);
        };
        w.on_regrid_triggered();
        w.on_regrid_horizons_triggered();
        w.on_regrid_observed_triggered();
        QVERIFY(fake.dialogs.isEmpty());
        w.regrid3Dgrid({1000, 1200, 100, -200, -100, 50, 5, 25, 10});
        w.regridHorizons({3, 3, 1000, 1200, -200, -100});
        w.regridObserved({3, 3, 1000, 1200, -200, -100});
        QCOMPARE(fake.errors().size(), 6);
        QCOMPARE(fake.errors().first(), QStringLiteral("Another operation is running: stop it or wait until it ends"));
    }
    QCOMPARE(w.den_grid, den_before);
    QCOMPARE(w.Vz_observed, obs_before);
    QCOMPARE(w.horizons, horizons_before);
    QCOMPARE(w.horizons_params, hp_before);
    QVERIFY(!w.effects.empty());
    QCOMPARE(w.alpha_factor, 3.5);
}

void TestRegrid3dWindow::regridHorizonsThroughDialog()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    const vector3D den_before = w.den_grid;
    const std::vector<field2D> horizons_before = w.horizons;
    w.ui->view_cube->setChecked(true);
    w.ui->view_horizons->setChecked(false);
    QStringList prefilled;
    bool z_hidden = false;
    fake.onDialog = [&](QDialog* d) {
        prefilled = field_texts(d, 6);
        z_hidden = d->findChild<QLineEdit*>("minZ")->isHidden() && d->findChild<QLineEdit*>("dz")->isHidden() &&
                   d->findChild<QLabel*>("Nz")->isHidden();
        // x 1000 .. 1200 by 100; y -200 .. -125 by 75.
        fill_and_ok(d, {"1000", "1200", "100", "-200", "-125", "75"});
        return int(QDialog::Rejected);
    };
    w.on_regrid_horizons_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(prefilled, (QStringList{"1000", "1200", "50", "-200", "-125", "25"}));
    QVERIFY(z_hidden);
    QCOMPARE(w.horizons_params, (std::vector<double>{3, 2, 1000, 1200, -200, -125}));
    QCOMPARE(w.horizons.size(), std::size_t(2));
    const int cols[] = {0, 2, 4}, rows[] = {0, 3};  // y -125: int((75 + 12.5) / 25) = 3
    for (int j = 0; j < 2; ++j) {
        QCOMPARE(w.horizons[1][j].size(), std::size_t(3));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.horizons[1][j][i], horizons_before[1][rows[j]][cols[i]]);
    }
    QVERIFY(w.ui->view_horizons->isChecked());
    // The density grid and the layer lists are not touched.
    QCOMPARE(w.den_grid, den_before);
    QCOMPARE(w.densities, (std::vector<double>{0, 2.3}));
    QVERIFY(!w.effects.empty());
}

void TestRegrid3dWindow::regridObservedThroughDialog()
{
    MainWindow w;
    w.language = 0;
    give_model(w);
    const field2D obs_before = w.Vz_observed, calc_before = w.Vz_calculated;
    QStringList prefilled;
    QString title;
    fake.onDialog = [&](QDialog* d) {
        title = d->windowTitle();
        prefilled = field_texts(d, 6);
        // x 900 .. 1300 by 200 (beyond both ends), y -200 .. -100 by 100.
        fill_and_ok(d, {"900", "1300", "200", "-200", "-100", "100"});
        return int(QDialog::Rejected);
    };
    w.on_regrid_observed_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(title, QString::fromUtf8("Параметры сетки"));
    QCOMPARE(prefilled, (QStringList{"1000", "1200", "50", "-200", "-125", "25"}));
    QCOMPARE(w.observed_params, (std::vector<double>{3, 2, 900, 1300, -200, -100}));
    // x 900 -> clamped to 0, 1100 -> int(125 / 50) = 2, 1300 -> 4 (clamped);
    // y -200 -> 0, -100 -> 3 (clamped).
    const int cols[] = {0, 2, 4}, rows[] = {0, 3};
    QCOMPARE(w.Vz_observed.size(), std::size_t(2));
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.Vz_observed[j][i], obs_before[rows[j]][cols[i]]);
    QCOMPARE(w.Vz_calculated, calc_before);
    QCOMPARE(w.calculated_params, (std::vector<double>{5, 4, 1000, 1200, -200, -125}));

    // A record with a single row gives nothing to the horizons' command.
    fake.clear();
    const field2D obs_now = w.Vz_observed;
    fake.onDialog = [&](QDialog* d) {
        fill_and_ok(d, {"900", "1300", "200", "-200", "-200", "100"});
        return int(QDialog::Rejected);
    };
    w.on_regrid_observed_triggered();
    QCOMPARE(w.Vz_observed, obs_now);
}

namespace {

void compareNear(const vector3D& a, const vector3D& b)
{
    QCOMPARE(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        QCOMPARE(a[k].size(), b[k].size());
        for (std::size_t j = 0; j < a[k].size(); ++j) {
            QCOMPARE(a[k][j].size(), b[k][j].size());
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                QVERIFY2(std::fabs(a[k][j][i] - b[k][j][i]) <= 1e-5f * std::max(1.0f, std::fabs(b[k][j][i])),
                         qPrintable(QString("cell %1 %2 %3: %4 vs %5").arg(k).arg(j).arg(i).arg(a[k][j][i]).arg(b[k][j][i])));
        }
    }
}

}  // namespace

void TestRegrid3dWindow::regularizerOffsetsFollowTheLevels_data()
{
    QTest::addColumn<std::vector<double>>("record");
    QTest::addColumn<std::vector<int>>("levels");
    // Old levels 0, 10, 20.
    QTest::newRow("finer levels") << std::vector<double>{1000, 1200, 50, -200, -125, 25, 5, 25, 5}
                                  << std::vector<int>{0, 1, 1, 2, 2};
    QTest::newRow("levels moved down") << std::vector<double>{1000, 1200, 50, -200, -125, 25, 10, 30, 10}
                                       << std::vector<int>{1, 2, 2};
}

// "Delete means" keeps the level means as offsets; a regrid that changes or
// moves the levels carries them along, so the regularizer the user sees (and
// a saved project) is the raw regularizer resampled.
void TestRegrid3dWindow::regularizerOffsetsFollowTheLevels()
{
    QFETCH(std::vector<double>, record);
    QFETCH(std::vector<int>, levels);
    QTemporaryDir dir;
    MainWindow w;
    w.language = 1;
    give_model(w);
    // A regularizer whose levels differ a lot, so a shifted offset shows.
    w.regularizer = indexed(5, 4, 3, 7);
    w.x_reg = w.x_calc;
    w.y_reg = w.y_calc;
    w.z_reg = w.z_calc;
    w.regularizer_scale = 1;
    w.regularizer_offsets.clear();
    w.on_reg_del_means_triggered();
    QCOMPARE(w.regularizer_offsets.size(), std::size_t(3));
    const vector3D raw = regularizers::denormalized_regularizer(w.regularizer, w.regularizer_offsets,
                                                                w.regularizer_scale);
    const std::vector<double> offsets = w.regularizer_offsets;
    regrid::RegriddedCube expected;
    QVERIFY(regrid::resample_cube(raw, w.x_reg, w.y_reg, w.z_reg, record, expected));
    QCOMPARE(expected.source_levels, levels);

    w.regrid3Dgrid(record);
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.regularizer.size(), levels.size());
    std::vector<double> moved;
    for (int k : levels)
        moved.push_back(offsets[std::size_t(k)]);
    QCOMPARE(w.regularizer_offsets, moved);
    compareNear(regularizers::denormalized_regularizer(w.regularizer, w.regularizer_offsets, w.regularizer_scale),
                expected.cells);

    // Saved: the raw regularizer resampled; opened again: the same.
    QString path = dir.filePath("r.3Dproj");
    QCOMPARE(w.save_project(path), 1);
    ProjectData saved;
    QVERIFY(read_project_file(path, saved));
    compareNear(saved.regularizer.cells, expected.cells);
    MainWindow b;
    fake.clear();
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    compareNear(regularizers::denormalized_regularizer(b.regularizer, b.regularizer_offsets, b.regularizer_scale),
                expected.cells);
    QCOMPARE(b.z_reg, expected.z);
}

void TestRegrid3dWindow::memoryQuestion_data()
{
    QTest::addColumn<int>("command");  // 0 3D, 1 horizons, 2 observed
    QTest::addColumn<int>("answer");   // 0: no question expected
    QTest::addColumn<quint64>("available");
    QTest::newRow("3D declined") << 0 << int(QMessageBox::No) << quint64(64);
    QTest::newRow("3D accepted") << 0 << int(QMessageBox::Yes) << quint64(64);
    QTest::newRow("3D fits") << 0 << 0 << (quint64(1) << 40);
    QTest::newRow("horizons declined") << 1 << int(QMessageBox::No) << quint64(64);
    QTest::newRow("horizons accepted") << 1 << int(QMessageBox::Yes) << quint64(64);
    QTest::newRow("observed declined") << 2 << int(QMessageBox::No) << quint64(64);
    QTest::newRow("observed fits") << 2 << 0 << (quint64(1) << 40);
}

// Every regrid asks before it allocates more than the memory available; a
// No leaves the whole project as it was.
void TestRegrid3dWindow::memoryQuestion()
{
    QFETCH(int, command);
    QFETCH(int, answer);
    QFETCH(quint64, available);
    FixedAvailableMemory memory(available);
    MainWindow w;
    w.language = 1;
    give_model(w);
    give_vp(w);
    w.ui->view_cube->setChecked(true);
    w.ui->view_cube_horizons->setChecked(false);
    w.ui->view_horizons->setChecked(false);
    const std::array<int, 6> crop_before = w.crop_borders;
    const vector3D den_before = w.den_grid, vp_before = w.Vp_grid;
    const std::vector<double> x_before = w.x_calc, z_before = w.z_calc;
    const std::vector<field2D> horizons_before = w.horizons;
    const std::vector<double> hp_before = w.horizons_params, op_before = w.observed_params;
    const field2D obs_before = w.Vz_observed, calc_before = w.Vz_calculated;
    if (answer)
        fake.answers << QMessageBox::StandardButton(answer);

    // The lattice x 1000 .. 1200 by 100, y -200 .. -100 by 50, z 5 .. 25 by 10.
    grid_memory::NewGrids need = lattice(3, 3, 3);
    switch (command) {
    case 0:
        w.regrid3Dgrid({1000, 1200, 100, -200, -100, 50, 5, 25, 10});
        need.cubes = 2;  // density and Vp
        need.grids = 4;  // two horizons, both fields
        need.maps = 2;
        need.view = true;
        break;
    case 1:
        w.regridHorizons({3, 3, 1000, 1200, -200, -100});
        need.grids = 2;
        need.surfaces = 2;  // the command shows the horizons
        break;
    default:
        w.regridObserved({3, 3, 1000, 1200, -200, -100});
        need.grids = 1;
        need.maps = 1;
        break;
    }
    QVERIFY(fake.errors().isEmpty());
    if (!answer) {
        QVERIFY(fake.questions.isEmpty());
    } else {
        QCOMPARE(fake.questions.size(), 1);
        const FakeInteraction::Question& q = fake.questions.first();
        QCOMPARE(q.title, QString("Tolmera3D"));
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(q.defaultButton, QMessageBox::No);
        QCOMPARE(q.text, expected_memory_question(grid_memory::need_bytes(need), double(available), 1));
    }
    const bool regridded = answer != int(QMessageBox::No);
    const std::size_t rows = regridded ? 3 : 4;
    switch (command) {
    case 0:
        QCOMPARE(w.den_grid.front().size(), rows);
        if (regridded)
            break;
        QCOMPARE(w.den_grid, den_before);
        QCOMPARE(w.Vp_grid, vp_before);
        QCOMPARE(w.x_calc, x_before);
        QCOMPARE(w.z_calc, z_before);
        QCOMPARE(w.horizons, horizons_before);
        QCOMPARE(w.horizons_params, hp_before);
        QCOMPARE(w.Vz_observed, obs_before);
        QCOMPARE(w.observed_params, op_before);
        QCOMPARE(w.Vz_calculated, calc_before);
        QVERIFY(w.crop_borders == crop_before);
        QVERIFY(!w.effects.empty());
        QCOMPARE(w.layer_effects.size(), std::size_t(2));
        QCOMPARE(w.alpha_factor, 3.5);
        break;
    case 1:
        QCOMPARE(w.horizons.front().size(), rows);
        if (!regridded) {
            QCOMPARE(w.horizons, horizons_before);
            QCOMPARE(w.horizons_params, hp_before);
            QCOMPARE(w.layer_effects.size(), std::size_t(2));
        }
        break;
    default:
        QCOMPARE(w.Vz_observed.size(), rows);
        if (!regridded)
            QCOMPARE(w.observed_params, op_before);
        break;
    }
}

QTEST_MAIN(TestRegrid3dWindow)
#include "tst_regrid3d_window.moc"
