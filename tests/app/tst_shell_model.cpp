// The project data model: clear_all on a populated project (what is emptied,
// what is kept), deleting the profile scheme, and the density-grid undo.

#include "app/mainwindow.h"
#include "engine/forward.h"
#include "engine/operator_keys.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "test_nodes.h"
#include "views/surf.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

// A stored operator of nz levels on a ny x nx padded grid, every value
// `value`, with imaginary parts as an import brings them when asked.
EffectsOperator effectsOf(int nz, int ny, int nx, float value, bool imaginary = false)
{
    EffectsOperator e;
    e.shape(nz, ny, nx);
    for (auto& level : e.quarter)
        std::fill(level.begin(), level.end(), value);
    if (imaginary)
        e.im = cube(std::size_t(nz), std::size_t(ny), std::size_t(nx), value);
    return e;
}

// A density grid with its coordinates, as a cube load leaves it.
void giveGrid(MainWindow& w, std::size_t nz, std::size_t ny, std::size_t nx, float value, double origin = 0)
{
    w.den_grid = cube(nz, ny, nx, value);
    w.x_calc = nodes(nx, origin, 100);
    w.y_calc = nodes(ny, origin + 50, 100);
    w.z_calc = nodes(nz, 0, 50);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
}

// Every data set and every remembered parameter of a project.
void populate(MainWindow& w)
{
    giveGrid(w, 4, 3, 2, 2.3f);
    w.horizons = {field2D(3, std::vector<double>(2, 10.0)), field2D(3, std::vector<double>(2, 80.0))};
    w.horizons_params = {2, 3, 0, 100, 50, 150};
    w.densities = {2.1, 2.5};
    w.fixed = {false, true};
    w.layers_names = {"top", "bottom"};
    w.lateral_densities = w.horizons;
    w.Vz_observed = field2D(3, std::vector<double>(2, 1.5));
    w.observed_params = {2, 3, 0, 100, 50, 150, 1, 2};
    w.Vz_calculated = field2D(3, std::vector<double>(2, 0.5));
    w.calculated_params = {2, 3, 0, 100, 50, 150};
    w.Vp_grid = cube(4, 3, 2, 3000.f);
    w.x_vp = w.x_calc;
    w.y_vp = w.y_calc;
    w.z_vp = w.z_calc;
    w.Vs_grid = cube(4, 3, 2, 1500.f);
    w.x_vs = w.x_calc;
    w.y_vs = w.y_calc;
    w.z_vs = w.z_calc;
    w.regularizer = cube(4, 3, 2, 1.f);
    w.x_reg = w.x_calc;
    w.y_reg = w.y_calc;
    w.z_reg = w.z_calc;
    w.profiles_scheme = {{0, 50, 100, 150}};
    w.faults.sticks = {{{QVector3D(0, 50, 10), QVector3D(0, 50, 100)}}};
    w.faults.names = {"F1"};
    w.faults.inlines = {{{1, 1}}};
    w.faults.crosslines = {{{2, 2}}};
    w.faults.inline_type = true;
    w.section_line = {0, 100, 50, 150, 10};
    w.ui->view_faults->setEnabled(true);

    // Kept by clear_all.
    w.effects = effectsOf(4, 8, 8, 0.25f, true);
    w.layer_effects = {field2D(3, std::vector<double>(2, 0.1))};
    w.alpha_factor = 7.5;
    w.minZ = 0;
    w.maxZ = 150;
    w.dz = 50;
    w.calc_height = -100;
    w.model_bounds = {{0, 100, 50, 250, 0, 150}};
    w.expansion_factor = 1;
    w.preferences = {2, 1, 0, 3, 1, 1, 1, 1, 0, 1};
    w.inversion_params = {10, 0.2, 0, 1, 0, 0.02, 0, 0};
    w.log_dir = "/tmp/log";
    w.save_log = false;
    w.horizon_fit_params = {{"Niter", 5}};
    w.regularizer_offsets = {0.1, 0.2, 0.3, 0.4};
    w.regularizer_scale = 2;
    w.central_reg_width = 0.25;
    w.layer_means = {2.2, 2.4};
    w.formulas.types = {1};
    w.smooth_params = {3, 3, 1};
    w.horizon_edit_params = {50, 60, 0.3, 5};
    w.project_path = "/tmp/p.3Dproj";
    w.project_name = "p";
    w.model_caxis = {2, 3};
    w.observed_caxis = {0, 2};
    w.calc_caxis = {0, 1};
    w.window_limits = {0, 100, 50, 150};
    w.crop_borders = {{0, 1, 0, 2, 0, 3}};
    w.shown_cube = &w.den_grid;
    w.shown_x = w.x_calc;
    w.section_direction = 1;
    w.update_undo(1);
}

} // namespace

class TestShellModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void clearAllEmptiesTheDataSets();
    void clearAllKeepsEverythingElse();
    void clearAllResetsLayerChoices_data();
    void clearAllResetsLayerChoices();
    void clearAllRemovesMapItemsOnly();
    void clearAllOnEmptyProject();
    void deleteProfilesScheme();

    void snapshotsKeepTheLastThree();
    void snapshotIsADeepCopy();
    void emptySnapshotEmptiesTheGrid();
    void otherTypesDoNothing();
    void undoRestoresCoordinatesWhenTheGeometryChanged();
    void undoKeepsStoredEffectsOnTheSameGeometry();
    void undoSetsTheTextureRange();
    void undoOutlivesClearAll();
    void undoFromTheMenuAction();

private:
    QTemporaryDir settingsDir;
    std::unique_ptr<FakeInteraction> fake;
};

void TestShellModel::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestShellModel::clearAllEmptiesTheDataSets()
{
    MainWindow w;
    populate(w);
    w.clear_all();
    QVERIFY(w.den_grid.empty());
    QVERIFY(w.x_norm.empty() && w.y_norm.empty() && w.z_norm.empty());
    QVERIFY(w.x_calc.empty() && w.y_calc.empty() && w.z_calc.empty());
    QVERIFY(w.horizons.empty() && w.horizons_params.empty() && w.densities.empty());
    QVERIFY(w.lateral_densities.empty() && w.layers_names.empty() && w.fixed.empty());
    QVERIFY(w.Vz_observed.empty() && w.observed_params.empty());
    QVERIFY(w.Vz_calculated.empty() && w.calculated_params.empty());
    QVERIFY(w.Vp_grid.empty() && w.Vs_grid.empty());
    QVERIFY(w.x_vp.empty() && w.y_vp.empty() && w.z_vp.empty());
    QVERIFY(w.x_vs.empty() && w.y_vs.empty() && w.z_vs.empty());
    QVERIFY(w.regularizer.empty() && w.x_reg.empty() && w.y_reg.empty() && w.z_reg.empty());
    QVERIFY(w.profiles_scheme.empty());
    QVERIFY(w.faults.sticks.empty() && w.faults.names.empty());
    QVERIFY(w.faults.inlines.empty() && w.faults.crosslines.empty());
    QVERIFY(w.section_line.empty());
    QVERIFY(!w.ui->view_faults->isEnabled());
    QVERIFY(!w.hasAnyData());
    QVERIFY(fake->notes.isEmpty());
}

void TestShellModel::clearAllKeepsEverythingElse()
{
    MainWindow w;
    populate(w);
    w.clear_all();
    QCOMPARE(w.effects.levels(), 4);
    QCOMPARE(w.effects.im.size(), std::size_t(4));
    QCOMPARE(w.layer_effects.size(), std::size_t(1));
    QCOMPARE(w.alpha_factor, 7.5);
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    QCOMPARE(w.maxZ, 150.0);
    QCOMPARE(w.dz, 50.0);
    QCOMPARE(w.calc_height, -100.0);
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{0, 100, 50, 250, 0, 150}}));
    QCOMPARE(w.expansion_factor, 1.0);
    QCOMPARE(w.preferences, (std::vector<double>{2, 1, 0, 3, 1, 1, 1, 1, 0, 1}));
    QCOMPARE(w.inversion_params.size(), std::size_t(8));
    QCOMPARE(w.inversion_params[0], 10.0);
    QCOMPARE(w.log_dir, QStringLiteral("/tmp/log"));
    QCOMPARE(w.save_log, false);
    QCOMPARE(w.horizon_fit_params.value("Niter"), 5.0);
    QCOMPARE(w.regularizer_offsets.size(), std::size_t(4));
    QCOMPARE(w.regularizer_scale, 2.0);
    QCOMPARE(w.central_reg_width, 0.25);
    QCOMPARE(w.layer_means.size(), std::size_t(2));
    QCOMPARE(w.formulas.types.size(), std::size_t(1));
    QCOMPARE(w.smooth_params.size(), std::size_t(3));
    QCOMPARE(w.horizon_edit_params, (std::vector<double>{50, 60, 0.3, 5}));
    QCOMPARE(w.faults.inline_type, true);
    QCOMPARE(w.project_path, QStringLiteral("/tmp/p.3Dproj"));
    QCOMPARE(w.project_name, QStringLiteral("p"));
    QCOMPARE(w.model_caxis, (std::vector<double>{2, 3}));
    QCOMPARE(w.observed_caxis.size(), std::size_t(2));
    QCOMPARE(w.calc_caxis.size(), std::size_t(2));
    QCOMPARE(w.window_limits.size(), std::size_t(4));
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 1, 0, 2, 0, 3}}));
    QVERIFY(w.shown_cube == &w.den_grid);
    QCOMPARE(w.shown_x.size(), std::size_t(2));
    QCOMPARE(w.section_direction, 1);
}

// The calculated map must not go on naming a layer that no longer exists,
// nor horizon editing a horizon; the field kinds stay.
void TestShellModel::clearAllResetsLayerChoices_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("kindAfter");
    QTest::addColumn<int>("indexAfter");
    QTest::newRow("calculated field") << 1 << 1 << 1 << 1;
    QTest::newRow("residual") << 1 << 2 << 1 << 2;
    QTest::newRow("layer map of layer 1") << 2 << 1 << 1 << 1;
    QTest::newRow("vertical mean of layer 0") << 6 << 0 << 1 << 1;
}

void TestShellModel::clearAllResetsLayerChoices()
{
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(int, kindAfter);
    QFETCH(int, indexAfter);
    MainWindow w;
    populate(w);
    w.visible_data = {kind, index};
    w.selected_row = 1;
    w.selected_column = 0;
    w.selected_horizon = 1;
    w.clear_all();
    QCOMPARE(w.visible_data, std::make_pair(kindAfter, indexAfter));
    QCOMPARE(w.selected_horizon, -1);
    QCOMPARE(w.selected_row, -1);
    QCOMPARE(w.selected_column, -1);
}

// The map items go; the colour maps themselves stay and nothing is replotted.
void TestShellModel::clearAllRemovesMapItemsOnly()
{
    MainWindow w;
    for (QCustomPlot* plot : {w.ui->observed_axes, w.ui->calculated_axes}) {
        new QCPItemText(plot);
        new QCPItemEllipse(plot);
        new QCPColorMap(plot->xAxis, plot->yAxis);
    }
    const int observedPlottables = w.ui->observed_axes->plottableCount();
    const int calculatedPlottables = w.ui->calculated_axes->plottableCount();
    w.clear_all();
    QCOMPARE(w.ui->observed_axes->itemCount(), 0);
    QCOMPARE(w.ui->calculated_axes->itemCount(), 0);
    QCOMPARE(w.ui->observed_axes->plottableCount(), observedPlottables);
    QCOMPARE(w.ui->calculated_axes->plottableCount(), calculatedPlottables);
}

void TestShellModel::clearAllOnEmptyProject()
{
    MainWindow w;
    w.ui->view_faults->setEnabled(true);
    new QCPItemText(w.ui->observed_axes);
    w.clear_all();
    QVERIFY(!w.ui->view_faults->isEnabled());
    QCOMPARE(w.ui->observed_axes->itemCount(), 0);
    QVERIFY(!w.hasAnyData());
    QCOMPARE(w.preferences.size(), std::size_t(10));
}

void TestShellModel::deleteProfilesScheme()
{
    MainWindow w;
    w.profiles_scheme = {{0, 0, 1, 1}, {2, 2, 3, 3}};
    w.ui->view_profiles->setEnabled(true);
    w.ui->delete_profiles_scheme->trigger();
    QVERIFY(w.profiles_scheme.empty());
    QVERIFY(!w.ui->view_profiles->isEnabled());
    // With no scheme the command still disables the toggle.
    w.ui->view_profiles->setEnabled(true);
    w.on_delete_profiles_scheme_triggered();
    QVERIFY(!w.ui->view_profiles->isEnabled());
    QVERIFY(fake->notes.isEmpty());
}

// Snapshots of 1, 2, 3, 4 leave 2, 3, 4; undo restores them newest first and
// a fourth undo does nothing.
void TestShellModel::snapshotsKeepTheLastThree()
{
    MainWindow w;
    giveGrid(w, 2, 2, 2, 1.f);
    for (float v : {2.f, 3.f, 4.f, 5.f}) {
        w.update_undo(1);
        w.den_grid = cube(2, 2, 2, v);
    }
    QCOMPARE(w.undo_stack.size(), std::size_t(3));
    QCOMPARE(w.undo_stack.front().grid[0][0][0], 2.f);
    for (float expected : {4.f, 3.f, 2.f}) {
        w.on_actionUndo_triggered();
        QCOMPARE(w.den_grid[1][1][1], expected);
    }
    QVERIFY(w.undo_stack.empty());
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid[1][1][1], 2.f);
    QVERIFY(fake->notes.isEmpty());
}

void TestShellModel::snapshotIsADeepCopy()
{
    MainWindow w;
    giveGrid(w, 3, 2, 4, 0.f);
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 4; ++j)
                w.den_grid[k][i][j] = float(100 * k + 10 * i + j);
    const vector3D before = w.den_grid;
    w.update_undo(1);
    QCOMPARE(w.undo_stack.back().type, 1);
    QCOMPARE(w.undo_stack.back().x, w.x_calc);
    w.den_grid[2][1][3] = -1.f;
    w.den_grid[0][0][0] = 42.f;
    w.on_actionUndo_triggered();
    QVERIFY(w.den_grid == before);
}

// A snapshot taken without a density grid empties the grid and its
// coordinates on undo.
void TestShellModel::emptySnapshotEmptiesTheGrid()
{
    MainWindow w;
    w.update_undo(1);
    QVERIFY(w.undo_stack.back().grid.empty());
    giveGrid(w, 2, 3, 4, 2.f);
    w.on_actionUndo_triggered();
    QVERIFY(w.den_grid.empty());
    QVERIFY(w.x_calc.empty() && w.y_calc.empty() && w.z_calc.empty());
    QVERIFY(w.undo_stack.empty());
}

void TestShellModel::otherTypesDoNothing()
{
    MainWindow w;
    giveGrid(w, 1, 1, 1, 1.f);
    w.update_undo(2);
    w.update_undo(0);
    QVERIFY(w.undo_stack.empty());
    // A record of another type at the top is left alone.
    w.update_undo(1);
    w.undo_stack.back().type = 2;
    w.den_grid[0][0][0] = 9.f;
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid[0][0][0], 9.f);
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
}

// A load or regrid after the snapshot changed the geometry: undo brings the
// snapshot's coordinates back with its cells and drops what belongs to the
// other geometry.
void TestShellModel::undoRestoresCoordinatesWhenTheGeometryChanged()
{
    MainWindow w;
    giveGrid(w, 2, 3, 4, 1.f);
    const std::vector<double> x = w.x_calc, y = w.y_calc, z = w.z_calc;
    w.update_undo(1);

    giveGrid(w, 5, 6, 7, 2.f, 1000);
    w.effects = effectsOf(5, 16, 16, 1.f, true);
    w.alpha_factor = 3;
    w.crop_borders = {{1, 5, 1, 4, 0, 3}};
    w.norm_factors.exponent = {{3, 3, 2}};

    // No cube view: the 3D view is not redrawn, so the members show what
    // undo itself did.
    w.ui->view_cube->setChecked(false);
    w.ui->view_cube_horizons->setChecked(false);
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid.size(), std::size_t(2));
    QCOMPARE(w.den_grid[0].size(), std::size_t(3));
    QCOMPARE(w.den_grid[0][0].size(), std::size_t(4));
    QCOMPARE(w.x_calc, x);
    QCOMPARE(w.y_calc, y);
    QCOMPARE(w.z_calc, z);
    QCOMPARE(w.x_norm, x);
    QCOMPARE(w.y_norm, y);
    QCOMPARE(w.z_norm, z);
    QVERIFY(w.effects.empty());
    QCOMPARE(w.alpha_factor, 0.0);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{-1, -1, -1, -1, -1, -1}}));
    QCOMPARE(w.norm_factors.exponent, (std::array<int, 3>{{0, 0, 0}}));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{x.front(), x.back(), y.front(), y.back(), z.front(), z.back()}}));

    // With the cube shown, the redraw crops within the restored grid.
    w.update_undo(1);
    giveGrid(w, 5, 6, 7, 2.f, 1000);
    w.crop_borders = {{1, 6, 1, 5, 0, 4}};
    w.ui->view_cube->setChecked(true);
    w.on_actionUndo_triggered();
    QVERIFY(w.crop_borders[1] <= 3 && w.crop_borders[3] <= 2 && w.crop_borders[5] <= 1);
}

// Same shape and nodes: the stored operator and the cached weight stay.
void TestShellModel::undoKeepsStoredEffectsOnTheSameGeometry()
{
    MainWindow w;
    giveGrid(w, 2, 3, 4, 1.f);
    w.update_undo(1);
    w.den_grid[1][2][3] = 5.f;
    ForwardGeometry g;
    QVERIFY(w.modelGeometry(g));
    w.effects = effectsOf(g.nz, g.My, g.Mx, 1.f);
    w.effects.key = g.key();
    w.alpha_factor = 3;
    w.alpha_key = alpha_factor_key(g, w.Vz_observed);
    w.crop_borders = {{0, 2, 0, 1, 0, 1}};
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid[1][2][3], 1.f);
    QCOMPARE(w.effects.levels(), 2);
    QVERIFY(w.effectsMatchModel());
    QCOMPARE(w.alpha_factor, 3.0);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 2, 0, 1, 0, 1}}));
}

void TestShellModel::undoSetsTheTextureRange()
{
    MainWindow w;
    giveGrid(w, 2, 2, 2, 2.f);
    w.den_grid[0][1][0] = 1.5f;
    w.den_grid[1][0][1] = 3.25f;
    w.update_undo(1);
    w.den_grid = cube(2, 2, 2, 0.f);
    w.ui->view_cube->setChecked(false);
    w.surf->texture_min = -7;
    w.surf->texture_max = 7;
    w.on_actionUndo_triggered();
    QCOMPARE(w.surf->texture_min, 1.5);
    QCOMPARE(w.surf->texture_max, 3.25);

    // An empty restored grid leaves the range alone.
    w.update_undo(1);
    w.den_grid.clear();
    w.update_undo(1);
    giveGrid(w, 1, 1, 1, 9.f);
    w.on_actionUndo_triggered();
    QVERIFY(w.den_grid.empty());
    QCOMPARE(w.surf->texture_max, 3.25);
}

// Snapshots survive a project clear; undo then restores the old grid with
// its own coordinates.
void TestShellModel::undoOutlivesClearAll()
{
    MainWindow w;
    populate(w);
    const std::vector<double> x = w.x_calc;
    w.clear_all();
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid.size(), std::size_t(4));
    QCOMPARE(w.x_calc, x);
    QCOMPARE(w.z_calc.size(), w.den_grid.size());
}

void TestShellModel::undoFromTheMenuAction()
{
    MainWindow w;
    giveGrid(w, 1, 2, 2, 1.f);
    w.update_undo(1);
    w.den_grid[0][0][0] = 8.f;
    QCOMPARE(w.ui->actionUndo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    w.ui->actionUndo->trigger();
    QCOMPARE(w.den_grid[0][0][0], 1.f);
    QVERIFY(w.undo_stack.empty());
}

QTEST_MAIN(TestShellModel)
#include "tst_shell_model.moc"
