// The stored forward operator, the layered inversion's slab effects and the
// cached regularization-weight factor never change a result: after every
// command that replaces or reshapes the density grid, the layers or the
// calculation geometry, the forward field, the layered inversion and the 3D
// inversion give what a fresh window without stored operators gives, whether
// the operators were built by the program or read from a project's sidecars.
// A project save keeps a sidecar only when it serves the model saved.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/inversion.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/project_file.h"
#include "formats/segy.h"
#include "formats/xyz_cube.h"
#include "ml/ml_exchange.h"
#include "tst_layered_support.h"
#include "float_node_operator.h"

#include <QAction>
#include <QDataStream>
#include <QLabel>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace inversion_record;
using namespace layeredtest;

namespace {

// Eight columns, six rows, ten levels 50 m apart; three layers.
Model small_model() { return make_model(3, 8, 6, 10, 50); }

std::vector<double> geometry_record(const std::vector<double>& x, const std::vector<double>& y)
{
    return {double(x.size()), double(y.size()), x.front(), x.back(), y.front(), y.back()};
}

void give_model(MainWindow& w)
{
    const Model m = small_model();
    w.language = 1;
    w.x_calc = w.x_norm = m.x;
    w.y_calc = w.y_norm = m.y;
    w.z_calc = w.z_norm = m.z;
    w.minZ = m.z.front();
    w.maxZ = m.z.back();
    w.dz = m.z[1] - m.z[0];
    w.calc_height = m.calc_level;
    w.expansion_factor = m.expansion;
    w.store_eff = true;
    w.save_log = false;
    w.horizons = m.horizons;
    w.horizons_params = geometry_record(m.x, m.y);
    w.densities = {2.0, 2.2, 2.5};
    w.fixed.assign(3, false);
    w.layers_names.assign(3, QString());
    w.den_grid = layered_grid(m, m.horizons, w.densities);
    w.Vz_observed = field_of(m, layered_grid(m, m.horizons, {2.0, 2.35, 2.4}));
    w.observed_params = geometry_record(m.x, m.y);
}

// The model of give_model with other level depths (45 m apart) and another
// calculation height: the sizes of its operators are the model's.
void give_foreign_model(MainWindow& w)
{
    give_model(w);
    w.z_calc = w.z_norm = nodes(10, 0, 45);
    w.dz = 45;
    w.calc_height -= 5;
}

// A cube with the model's node counts on another lattice: other spacings
// and other depths, so that an operator of the model has its sizes.
struct OtherCube {
    std::vector<double> x = nodes(8, 10000, 150);
    std::vector<double> y = nodes(6, 20000, 120);
    std::vector<double> z = nodes(10, 20, 60);
    vector3D cells;
    OtherCube() : cells(10, vector2D(6, std::vector<data_type>(8)))
    {
        for (int k = 0; k < 10; ++k)
            for (int j = 0; j < 6; ++j)
                for (int i = 0; i < 8; ++i)
                    cells[k][j][i] = float(2.0 + 0.05 * k + 0.01 * ((i + 2 * j) % 5));
    }
};

std::vector<double> layered_record()
{
    return plain_inversion_record(kind_layered, 1);
}

std::vector<double> grid_record()
{
    return plain_inversion_record(kind_grid, 1, 0.5);
}

// The model of `from` in a window that holds no stored operator.
void copy_model(const MainWindow& from, MainWindow& to)
{
    to.language = from.language;
    to.den_grid = from.den_grid;
    to.x_calc = from.x_calc, to.y_calc = from.y_calc, to.z_calc = from.z_calc;
    to.x_norm = from.x_norm, to.y_norm = from.y_norm, to.z_norm = from.z_norm;
    to.minZ = from.minZ, to.maxZ = from.maxZ, to.dz = from.dz;
    to.calc_height = from.calc_height;
    to.expansion_factor = from.expansion_factor;
    to.store_eff = from.store_eff;
    to.save_log = false;
    to.thread_count = from.thread_count;
    to.horizons = from.horizons;
    to.horizons_params = from.horizons_params;
    to.densities = from.densities;
    to.fixed = from.fixed;
    to.layers_names = from.layers_names;
    to.Vz_observed = from.Vz_observed;
    to.observed_params = from.observed_params;
    to.inversion_params = from.inversion_params;
    QVERIFY(to.effects.empty() && to.layer_effects.empty() && to.alpha_factor == 0);
}

double largest(const field2D& f)
{
    double m = 0;
    for (const auto& row : f)
        for (double v : row)
            m = std::max(m, std::abs(v));
    return m;
}

// Fields equal to float rounding: within `relative` (1e-5) of the larger
// field's largest value.
bool same_field(const field2D& a, const field2D& b, QString* why, double relative = 1e-5)
{
    if (a.size() != b.size() || a.empty() || a.front().size() != b.front().size()) {
        *why = "the fields have other shapes";
        return false;
    }
    const double tolerance = relative * std::max({largest(a), largest(b), 1e-12});
    for (std::size_t j = 0; j < a.size(); ++j)
        for (std::size_t i = 0; i < a[j].size(); ++i)
            if (!(std::abs(a[j][i] - b[j][i]) <= tolerance)) {
                *why = QString("node (%1, %2): %3 against %4").arg(j).arg(i).arg(a[j][i]).arg(b[j][i]);
                return false;
            }
    return true;
}

bool same_grid(const vector3D& a, const vector3D& b, QString* why, double tolerance = 1e-5)
{
    if (a.size() != b.size()) {
        *why = "the grids have other level counts";
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t j = 0; j < a[k].size(); ++j)
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                if (!(std::abs(a[k][j][i] - b[k][j][i]) <= tolerance)) {
                    *why = QString("cell (%1, %2, %3): %4 against %5")
                               .arg(k).arg(j).arg(i).arg(a[k][j][i]).arg(b[k][j][i]);
                    return false;
                }
    return true;
}

using Step = std::function<void(MainWindow&, const QString& dir, FakeInteraction&)>;

}  // namespace

Q_DECLARE_METATYPE(Step)

class TestOperatorKeysWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake.reset(new FakeInteraction);
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        setMlBinDir(dir->path());
    }
    void cleanup()
    {
        setMlBinDir(QString());
        dir.reset();
        fake.reset();
    }

    // The tables of sidecars and of imported files run as tests of their
    // own (this file built with SIDECAR_TABLES 1: tst_sidecars_window, 2:
    // tst_imported_effects_window), so that each test stays short.
#ifndef SIDECAR_TABLES
    void commandsKeepOnlyMatchingOperators_data();
    void commandsKeepOnlyMatchingOperators();
    void layerEffectsOfAnotherHeightAreNotReopened();
    void foreignEffectsFileRefused();
#elif SIDECAR_TABLES == 2
    void effectsFilesImported_data();
    void effectsFilesImported();
#else
    void sidecarsAdoptedOnlyWhenTheModelsOwn_data();
    void sidecarsAdoptedOnlyWhenTheModelsOwn();
#endif

private:
    // Runs the forward, the layered inversion and the 3D inversion in `w`,
    // which then holds all three kept values.
    void build_operators(MainWindow& w);
    // The forward, the layered and the 3D inversion of `w` against a fresh
    // window holding the same model: equal to float rounding, or within
    // `relative` of the largest value (operators of float-node builders).
    void compare_with_fresh_window(MainWindow& w, double relative = 1e-5);
    // Writes an effects file of a kind for the model of `own` (at `origin`
    // and `step`): "threads N" built on N threads, "float nodes", "dz",
    // "spacing" or "height" 1 % (1 m) off, "zeros", "level" x 1.01, "value"
    // or "mirror" x 1000, "sizes" (a level fewer). Other kinds write nothing.
    void write_operator(const QString& kind, const QString& file, const MainWindow& own, QPointF origin,
                        double step);

    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestOperatorKeysWindow::build_operators(MainWindow& w)
{
    w.on_forward_grid_triggered();
    w.start_polygonal_inversion(layered_record());
    w.start_inversion(grid_record());
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w.effectsMatchModel());
    QVERIFY(w.layerEffectsMatchModel());
    QVERIFY(w.alpha_factor != 0);
}

void TestOperatorKeysWindow::compare_with_fresh_window(MainWindow& w, double relative)
{
    MainWindow fresh;
    copy_model(w, fresh);
    QString why;

    w.on_forward_grid_triggered();
    fresh.on_forward_grid_triggered();
    QVERIFY2(same_field(w.Vz_calculated, fresh.Vz_calculated, &why, relative), qPrintable("forward: " + why));

    w.start_polygonal_inversion(layered_record());
    fresh.start_polygonal_inversion(layered_record());
    // Densities of about 2.5 g/cm3: a cell may move by that share of them.
    const double cells = relative == 1e-5 ? 1e-5 : 2.5 * relative;
    QVERIFY2(same_grid(w.den_grid, fresh.den_grid, &why, cells), qPrintable("layered inversion: " + why));
    QVERIFY2(same_field(w.Vz_calculated, fresh.Vz_calculated, &why, relative),
             qPrintable("layered inversion: " + why));

    w.start_inversion(grid_record());
    fresh.start_inversion(grid_record());
    QVERIFY2(same_grid(w.den_grid, fresh.den_grid, &why, cells), qPrintable("3D inversion: " + why));
    if (relative == 1e-5)
        QCOMPARE(w.alpha_factor, fresh.alpha_factor);
    else
        QVERIFY(std::abs(w.alpha_factor - fresh.alpha_factor) <= relative * std::abs(fresh.alpha_factor));
    QVERIFY(fake->errors().isEmpty());
}

#ifndef SIDECAR_TABLES
void TestOperatorKeysWindow::commandsKeepOnlyMatchingOperators_data()
{
    QTest::addColumn<bool>("fromProject");
    QTest::addColumn<Step>("prepare");  // once the operators are built, or before they are read
    QTest::addColumn<Step>("command");

    const Step nothing = [](MainWindow&, const QString&, FakeInteraction&) {};
    // Another lattice as a file of each kind, opened by its command.
    auto open_file = [](const QString& name, void (MainWindow::*slot)()) -> Step {
        return [name, slot](MainWindow& w, const QString& d, FakeInteraction& f) {
            const OtherCube c;
            const QString path = d + "/" + name;
            if (path.endsWith(".sgy"))
                QVERIFY(write_segy_cube(path, c.cells, c.x, c.y, c.z).ok());
            else if (path.endsWith(".xyz"))
                QVERIFY(write_xyz_cube(path, c.cells, c.x, c.y, c.z).ok());
            else
                QVERIFY(write_cube_file(path, c.cells, c.x, c.y, c.z).ok());
            f.openNames << path;
            (w.*slot)();
        };
    };
    struct Row {
        const char* name;
        Step prepare;
        Step command;
    };
    const Row rows[] = {
        {"own cube", nothing, open_file("other.3Dgrd", &MainWindow::on_open3Dgrd_triggered)},
        {"SEG-Y", nothing, open_file("other.sgy", &MainWindow::on_open3Dgrd_triggered)},
        {"XYZ import", nothing, open_file("other.xyz", &MainWindow::on_importXYZDens_triggered)},
        {"new grid", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             w.create_grid({10000, 11050, 150, 20000, 20600, 120, 0, 480, 60, 2.0, 2.6});
         }},
        {"new grid on the same lattice", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             w.create_grid({10000, 10700, 100, 20000, 20500, 100, 0, 450, 50, 2.0, 2.6});
         }},
        {"regrid", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             w.regrid3Dgrid({10000, 10700, 100, 20000, 20500, 100, 0, 450, 25});
         }},
        {"ML result", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             const OtherCube c;
             QVERIFY(write_cube_file(mlResultFilePath(), c.cells, c.x, c.y, c.z).ok());
             QFile header(mlFeatureFilePath());
             QVERIFY(header.open(QIODevice::WriteOnly));
             QDataStream out(&header);
             out << qint32(8) << qint32(6) << qint32(10);
             for (double b : {c.x.front(), c.x.back(), c.y.front(), c.y.back(), c.z.front(), c.z.back()})
                 out << b;
             header.close();
             w.loadMlResult();
         }},
        {"undo",
         [](MainWindow& w, const QString&, FakeInteraction&) {
             // A snapshot of the grid on another lattice; the model and its
             // operators stay as they are.
             OtherCube c;
             std::swap(w.den_grid, c.cells);
             std::swap(w.x_calc, c.x), std::swap(w.y_calc, c.y), std::swap(w.z_calc, c.z);
             w.update_undo(1);
             std::swap(w.den_grid, c.cells);
             std::swap(w.x_calc, c.x), std::swap(w.y_calc, c.y), std::swap(w.z_calc, c.z);
         },
         [](MainWindow& w, const QString&, FakeInteraction&) { w.on_actionUndo_triggered(); }},
        {"arithmetic with a cube", nothing,
         [](MainWindow& w, const QString& d, FakeInteraction& f) {
             const QString path = d + "/operand.3Dgrd";
             const vector3D operand(w.den_grid.size(), vector2D(6, std::vector<data_type>(8, 0.1f)));
             QVERIFY(write_cube_file(path, operand, w.x_calc, w.y_calc, w.z_calc).ok());
             f.openNames << path;
             w.on_add_cube_triggered();
         }},
        {"vertical parameters", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) { w.setZparams(0, 480, 40); }},
        {"calculation height", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) { w.set_calc_height(150); }},
        {"expansion factor", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             std::vector<double> p = w.preferences;
             p[5] = 1;
             p[6] = 1;
             p[7] = w.language;
             w.set_preferences(p);
         }},
        {"grid moved to zero", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) { w.on_move_3Dgrid_tozero_triggered(); }},
        {"horizon added", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) { w.add_constant_horizon(260); }},
        {"horizon deleted", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) { w.delete_horizon(1); }},
        {"horizon edited", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             w.horizon_edit_params = {250, 250, 0.5, 80};
             w.selected_horizon = 1;
             w.selected_row = 3;
             w.selected_column = 4;
             w.clicked_x = w.x_calc[4];
             w.clicked_y = w.y_calc[3];
             w.editHorizonGauss(1);
         }},
        {"horizon fitted", nothing,
         [](MainWindow& w, const QString&, FakeInteraction&) {
             QMap<QString, double> p{{"Niter", 2}, {"layer", 1}, {"stepScale", 1}};
             w.fitHorizon(p);
         }},
    };
    for (const Row& r : rows)
        for (bool fromProject : {false, true})
            QTest::newRow(qPrintable(QString(r.name) + (fromProject ? ", read from a project" : ", built")))
                << fromProject << r.prepare << r.command;
}

void TestOperatorKeysWindow::commandsKeepOnlyMatchingOperators()
{
    QFETCH(bool, fromProject);
    QFETCH(Step, prepare);
    QFETCH(Step, command);

    MainWindow built;
    give_model(built);
    std::unique_ptr<MainWindow> opened;
    MainWindow* w = &built;
    if (!fromProject) {
        build_operators(built);
        prepare(built, dir->path(), *fake);
    } else {
        build_operators(built);
        QString path = dir->path() + "/model.3Dproj";
        QCOMPARE(built.save_project(path), 1);
        QVERIFY(QFile::exists(dir->path() + "/model.eff"));
        QVERIFY(QFile::exists(dir->path() + "/model.effh"));
        opened.reset(new MainWindow);
        opened->language = 1;
        opened->store_eff = true;
        opened->save_log = false;
        prepare(*opened, dir->path(), *fake);
        fake->openNames << path;
        opened->on_open_project_triggered();
        QVERIFY(fake->errors().isEmpty());
        // The sidecars of the model read wait, unread, for the runs that
        // build its operators.
        QVERIFY(opened->effects.empty() && opened->layer_effects.empty());
        QVERIFY(!opened->pending_eff.isEmpty() && !opened->pending_effh.isEmpty());
        w = opened.get();
    }
    if (QTest::currentTestFailed())
        return;

    command(*w, dir->path(), *fake);
    QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
    QVERIFY(!w->den_grid.empty());
    // Whatever is still kept serves the model as it is now.
    QVERIFY(w->effects.empty() || w->effectsMatchModel());
    QVERIFY(w->layer_effects.empty() || w->layerEffectsMatchModel());
    compare_with_fresh_window(*w);
    // The model's own sidecars, or none once the model changed: no complaint.
    QVERIFY2(!w->progress_label->text().contains("not used"), qPrintable(w->progress_label->text()));
    QVERIFY(w->pending_eff.isEmpty() && w->pending_effh.isEmpty());
}

// A layered run, a new calculation height, a save: the slab effects of the
// old height do not go into the project, and a window that opens it gets the
// layer densities of a window that never had them.
void TestOperatorKeysWindow::layerEffectsOfAnotherHeightAreNotReopened()
{
    QString path = dir->path() + "/height.3Dproj";
    {
        MainWindow w;
        give_model(w);
        build_operators(w);
        QCOMPARE(w.save_project(path), 1);
        QVERIFY(QFile::exists(dir->path() + "/height.effh"));
        QVERIFY(QFile::exists(dir->path() + "/height.eff"));
        w.set_calc_height(150);
        QString again = path;
        QCOMPARE(w.save_project(again), 1);
    }
    // The sidecars of the first save were for the old height: removed.
    QVERIFY(!QFile::exists(dir->path() + "/height.effh"));
    QVERIFY(!QFile::exists(dir->path() + "/height.eff"));

    MainWindow reopened;
    reopened.store_eff = true;
    fake->openNames << path;
    reopened.on_open_project_triggered();
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(reopened.calc_height, -150.0);
    QVERIFY(reopened.layer_effects.empty() && reopened.effects.empty());

    reopened.save_log = false;
    reopened.language = 1;
    MainWindow fresh;
    copy_model(reopened, fresh);
    reopened.start_polygonal_inversion(layered_record());
    fresh.start_polygonal_inversion(layered_record());
    QString why;
    QVERIFY2(same_grid(reopened.den_grid, fresh.den_grid, &why), qPrintable(why));
    QVERIFY(fake->errors().isEmpty());
}

// A standalone effects file is taken only for a density grid of its sizes,
// and is then keyed for that grid.
void TestOperatorKeysWindow::foreignEffectsFileRefused()
{
    MainWindow w;
    give_model(w);
    w.on_forward_grid_triggered();
    const QString path = dir->path() + "/op.eff";
    fake->saveNames << path;
    w.on_save_effects_triggered();
    QVERIFY(QFile::exists(path));

    // The same grid: taken and keyed.
    MainWindow same;
    give_model(same);
    fake->openNames << path;
    same.on_import_effects_triggered();
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(same.effectsMatchModel());

    // The same sizes but another level thickness and calculation height:
    // refused, the operator kept as it was.
    MainWindow thicker;
    give_foreign_model(thicker);
    thicker.on_forward_grid_triggered();
    const EffectsKey thicker_key = thicker.effects.key;
    const auto thicker_quarter = thicker.effects.quarter;
    fake->openNames << path;
    thicker.on_import_effects_triggered();
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY(fake->errors()[0].startsWith("The effects file was calculated for another model"));
    QVERIFY(thicker.effects.key == thicker_key);
    QVERIFY(thicker.effects.quarter == thicker_quarter);
    fake->clear();

    // Another level count: refused, the operator kept as it was.
    MainWindow other;
    give_model(other);
    other.setZparams(0, 480, 40);
    other.on_forward_grid_triggered();
    const EffectsKey before = other.effects.key;
    fake->openNames << path;
    other.on_import_effects_triggered();
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY(other.effects.key == before);
    QVERIFY(other.effectsMatchModel());
}

#else
void TestOperatorKeysWindow::write_operator(const QString& kind, const QString& file, const MainWindow& own,
                                            QPointF origin, double step)
{
    ForwardGeometry g;
    QVERIFY(own.modelGeometry(g));
    auto write_eff = [&](const EffectsOperator& op) {
        QVERIFY(write_effects_file(file, op, EffectsImaginary::Zero).ok());
    };
    // An operator of the model's sizes on another geometry.
    auto built_for = [&](double spacing, double level_step, double height) {
        ForwardGeometry other;
        if (forward_geometry(g.nx, g.ny, g.nz, nodes(g.nx, origin.x(), spacing), nodes(g.ny, origin.y(), spacing),
                             nodes(g.nz, 0, level_step), height, own.expansion_factor, other)
            != ForwardStatus::Completed)
            qFatal("geometry refused");
        EffectsOperator op;
        if (build_effects(other, op, 2) != ForwardStatus::Completed)
            qFatal("not built");
        return op;
    };
    const double level_step = own.z_calc[1] - own.z_calc[0];
    if (kind.startsWith("threads")) {
        EffectsOperator op;
        QCOMPARE(int(build_effects(g, op, kind.mid(8).toInt())), int(ForwardStatus::Completed));
        write_eff(op);
    } else if (kind == "float nodes") {
        EffectsOperator op;
        QVERIFY(float_node_operator(g, op));
        write_eff(op);
    } else if (kind == "dz") {
        write_eff(built_for(step, level_step * 1.01, own.calc_height));
    } else if (kind == "spacing") {
        write_eff(built_for(step * 1.01, level_step, own.calc_height));
    } else if (kind == "height") {
        write_eff(built_for(step, level_step, own.calc_height - 1));
    } else if (kind == "zeros") {
        EffectsOperator zeros;
        zeros.shape(own.effects.levels(), own.effects.rows, own.effects.columns);
        write_eff(zeros);
    } else if (kind == "level" || kind == "mirror" || kind == "value") {
        EffectsOperator changed = own.effects;
        if (kind == "mirror")
            changed.quarter[4][0] *= 1000;  // row 0, column 0: its own mirror in both axes
        else if (kind == "value")
            changed.quarter[4][std::size_t(changed.quarter_columns()) + 1] *= 1000;  // row 1, column 1
        else
            for (float& v : changed.quarter[4])
                v *= 1.01f;
        write_eff(changed);
    } else if (kind == "sizes") {
        EffectsOperator fewer = own.effects;
        fewer.quarter.pop_back();
        write_eff(fewer);
    }
}

#if SIDECAR_TABLES == 2
void TestOperatorKeysWindow::effectsFilesImported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QPointF>("origin");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("error");  // empty when taken
    const QString other = "The effects file was calculated for another model (other grid steps, level depths or "
                          "calculation height): it is not imported";
    const QPointF at(10000, 20000);
    QTest::newRow("built on 1 thread") << "threads 1" << at << 100.0 << QString();
    QTest::newRow("built on 4 threads") << "threads 4" << at << 100.0 << QString();
    QTest::newRow("built on 8 threads") << "threads 8" << at << 100.0 << QString();
    QTest::newRow("float nodes, origin 0, 100 m") << "float nodes" << QPointF(0, 0) << 100.0 << QString();
    QTest::newRow("float nodes, 1234.5 / 2345.6, 99.9 m") << "float nodes" << QPointF(1234.5, 2345.6) << 99.9
                                                          << QString();
    QTest::newRow("float nodes, 500000.37 / 7650000.37, 250.1 m")
        << "float nodes" << QPointF(500000.37, 7650000.37) << 250.1 << QString();
    QTest::newRow("level step 1 % off") << "dz" << at << 100.0 << other;
    QTest::newRow("spacing 1 % off") << "spacing" << at << 100.0 << other;
    QTest::newRow("calculation height 1 m off") << "height" << at << 100.0 << other;
    QTest::newRow("one level x 1.01") << "level" << at << 100.0 << other;
    QTest::newRow("one value x 1000") << "value" << at << 100.0 << other;
    QTest::newRow("zeros") << "zeros" << at << 100.0 << other;
    QTest::newRow("a level fewer") << "sizes" << at << 100.0
                                   << QString("The effects file does not fit the project's 3D density grid: its "
                                              "level count or padded grid size differs");
}

// File > Import > Effects takes the same operators a project's sidecar
// passes and refuses the same others; a run on an operator taken gives
// what a fresh window gives.
void TestOperatorKeysWindow::effectsFilesImported()
{
    QFETCH(QString, kind);
    QFETCH(QPointF, origin);
    QFETCH(double, step);
    QFETCH(QString, error);
    MainWindow w;
    give_model(w);
    w.x_calc = w.x_norm = nodes(int(w.x_calc.size()), origin.x(), step);
    w.y_calc = w.y_norm = nodes(int(w.y_calc.size()), origin.y(), step);
    w.horizons_params = w.observed_params = geometry_record(w.x_calc, w.y_calc);
    w.on_forward_grid_triggered();
    QVERIFY(w.effectsMatchModel());
    const QString path = dir->path() + "/imported.eff";
    write_operator(kind, path, w, origin, step);
    MainWindow importing;
    copy_model(w, importing);
    fake->openNames << path;
    importing.on_import_effects_triggered();
    if (error.isEmpty()) {
        QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
        QVERIFY(importing.effectsMatchModel());
        compare_with_fresh_window(importing, kind == "float nodes" ? effects_check_tolerance : 1e-5);
    } else {
        QCOMPARE(fake->errors(), QStringList{error});
        QVERIFY(importing.effects.empty());
    }
}

#else
void TestOperatorKeysWindow::sidecarsAdoptedOnlyWhenTheModelsOwn_data()
{
    QTest::addColumn<QString>("eff");   // what the eff sidecar holds (see the test)
    QTest::addColumn<QString>("effh");  // likewise for the effh sidecar
    QTest::addColumn<QPointF>("origin");  // of the model's nodes
    QTest::addColumn<double>("step");     // its spacing
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("opened_status");   // the status line after the open
    QTest::addColumn<QString>("forward_status");  // after the first forward run
    QTest::addColumn<QString>("layered_status");  // after the first layered inversion
    QTest::addColumn<bool>("eff_taken");
    QTest::addColumn<bool>("effh_taken");
    const QString eff_differs = "The forward operator \"model.eff\" is not used: it differs from this model's operator";
    const QString effh_differs =
        "The layer effects \"model.effh\" are not used: they differ from this model's layer effects";
    const QString none;
    const QPointF at(10000, 20000);
    QTest::newRow("the model's own") << "own" << "own" << at << 100.0 << 1 << none << none << none << true << true;
    QTest::newRow("operator built on 1 thread") << "threads 1" << "own" << at << 100.0 << 1 << none << none << none
                                                << true << true;
    QTest::newRow("operator built on 8 threads") << "threads 8" << "own" << at << 100.0 << 1 << none << none << none
                                                 << true << true;
    QTest::newRow("float nodes, origin 0, 100 m")
        << "float nodes" << "own" << QPointF(0, 0) << 100.0 << 1 << none << none << none << true << true;
    QTest::newRow("float nodes, 1234.5 / 2345.6, 99.9 m")
        << "float nodes" << "own" << QPointF(1234.5, 2345.6) << 99.9 << 1 << none << none << none << true << true;
    QTest::newRow("float nodes, 500000.37 / 7650000.37, 250.1 m") << "float nodes" << "own"
                                                                  << QPointF(500000.37, 7650000.37) << 250.1 << 1
                                                                  << none << none << none << true << true;
    QTest::newRow("operator of another model") << "foreign" << "own" << at << 100.0 << 1 << none << eff_differs
                                               << none << false << true;
    QTest::newRow("operator, level step 1 % off") << "dz" << "own" << at << 100.0 << 1 << none << eff_differs
                                                  << none << false << true;
    QTest::newRow("operator, spacing 1 % off") << "spacing" << "own" << at << 100.0 << 1 << none << eff_differs
                                               << none << false << true;
    QTest::newRow("operator, calculation height 1 m off") << "height" << "own" << at << 100.0 << 1 << none
                                                          << eff_differs << none << false << true;
    QTest::newRow("operator, one level x 1.01") << "level" << "own" << at << 100.0 << 1 << none << eff_differs
                                                << none << false << true;
    QTest::newRow("operator, one value x 1000") << "value" << "own" << at << 100.0 << 1 << none << eff_differs
                                                << none << false << true;
    QTest::newRow("operator, a self-mirror value x 1000") << "mirror" << "own" << at << 100.0 << 1 << none
                                                          << eff_differs << none << false << true;
    QTest::newRow("operator of zeros") << "zeros" << "own" << at << 100.0 << 1 << none << eff_differs << none
                                       << false << true;
    const QString eff_sizes = "The forward operator \"model.eff\" is not used: it holds other sizes than the model's";
    QTest::newRow("operator of other sizes")  // the open's note stays until a run has another
        << "sizes" << "own" << at << 100.0 << 1 << eff_sizes << eff_sizes << none << false << true;
    QTest::newRow("operator removed after the open")
        << "removed" << "own" << at << 100.0 << 1 << none
        << QString("The forward operator \"model.eff\" is not used: the file is missing") << none << false << true;
    const QString eff_pipe = "The forward operator \"model.eff\" is not used: it is not a regular file";
    QTest::newRow("operator a pipe at the open")
        << "fifo" << "own" << at << 100.0 << 1 << eff_pipe << eff_pipe << none << false << true;
    QTest::newRow("operator a pipe after the open")
        << "late fifo" << "own" << at << 100.0 << 1 << none
        << QString("The forward operator \"model.eff\" is not used: it is not a regular file") << none << false
        << true;
    QTest::newRow("slab effects of another model") << "own" << "foreign" << at << 100.0 << 1 << none << none
                                                   << effh_differs << true << false;
    QTest::newRow("slab effects of zeros") << "own" << "zeros" << at << 100.0 << 1 << none << none << effh_differs
                                           << true << false;
    QTest::newRow("slab effects, NaN in the last layer") << "own" << "nan" << at << 100.0 << 1 << none << none
                                                         << effh_differs << true << false;
    QTest::newRow("slab effects, layer 1 x 1.01") << "own" << "layer" << at << 100.0 << 1 << none << none
                                                  << effh_differs << true << false;
    const QString effh_pipe = "The layer effects \"model.effh\" are not used: it is not a regular file";
    QTest::newRow("slab effects a pipe")  // the open's note stays until a run has another
        << "own" << "fifo" << at << 100.0 << 1 << effh_pipe << effh_pipe << none << true << false;
    QTest::newRow("both of another model, in Russian")
        << "foreign" << "foreign" << at << 100.0 << 0 << none
        << QString::fromUtf8("Оператор прямой задачи \"model.eff\" не используется: он отличается от оператора "
                             "этой модели")
        << QString::fromUtf8("Эффекты слоев \"model.effh\" не используются: они отличаются от эффектов слоев этой "
                             "модели")
        << false << false;
}

// The sidecars carry no key: a project beside sidecars of another model of
// the same sizes, of zeros or changed must not take them. The first run
// that needs one reads and checks it; one that is not the model's is
// refused, the status line says what happened, and the runs give what a
// fresh window gives. The model's own sidecars (this program's at any
// thread count, and operators of the documented method's float nodes) are
// taken as they are in the files.
void TestOperatorKeysWindow::sidecarsAdoptedOnlyWhenTheModelsOwn()
{
    QFETCH(QString, eff);
    QFETCH(QString, effh);
    QFETCH(QPointF, origin);
    QFETCH(double, step);
    QFETCH(int, language);
    QFETCH(QString, opened_status);
    QFETCH(QString, forward_status);
    QFETCH(QString, layered_status);
    QFETCH(bool, eff_taken);
    QFETCH(bool, effh_taken);

    auto place = [&](MainWindow& w) {
        w.x_calc = w.x_norm = nodes(int(w.x_calc.size()), origin.x(), step);
        w.y_calc = w.y_norm = nodes(int(w.y_calc.size()), origin.y(), step);
        w.horizons_params = w.observed_params = geometry_record(w.x_calc, w.y_calc);
    };
    QString path = dir->path() + "/model.3Dproj";
    MainWindow own;
    give_model(own);
    place(own);
    own.on_forward_grid_triggered();
    own.start_polygonal_inversion(layered_record());
    QVERIFY(own.effectsMatchModel() && own.layerEffectsMatchModel());
    QCOMPARE(own.save_project(path), 1);

    MainWindow foreign;
    give_foreign_model(foreign);
    place(foreign);
    foreign.on_forward_grid_triggered();
    foreign.start_polygonal_inversion(layered_record());
    QVERIFY(foreign.effectsMatchModel() && foreign.layerEffectsMatchModel());
    QCOMPARE(foreign.effects.rows, own.effects.rows);
    QCOMPARE(foreign.effects.columns, own.effects.columns);
    QString foreign_path = dir->path() + "/foreign.3Dproj";
    QCOMPARE(foreign.save_project(foreign_path), 1);
    QVERIFY(fake->errors().isEmpty());

    auto replace = [](const QString& from, const QString& to) {
        QFile::remove(to);
        QVERIFY(QFile::copy(from, to));
    };
    const QString eff_path = dir->path() + "/model.eff", effh_path = dir->path() + "/model.effh";
    if (eff == "foreign")
        replace(dir->path() + "/foreign.eff", eff_path);
    else
        write_operator(eff, eff_path, own, origin, step);
    if (effh == "foreign")
        replace(dir->path() + "/foreign.effh", effh_path);
    if (effh == "nan" || effh == "layer") {
        std::vector<field2D> changed = own.layer_effects;
        if (effh == "nan")
            changed.back()[2][3] = std::numeric_limits<double>::quiet_NaN();
        else
            for (auto& row : changed[1])
                for (double& v : row)
                    v *= 1.01;
        QVERIFY(write_layer_effects_sidecar(effh_path, changed).ok());
    }
    if (effh == "zeros") {
        const std::vector<field2D> zeros(own.layer_effects.size(), field2D(6, std::vector<double>(8, 0.0)));
        QVERIFY(write_layer_effects_sidecar(effh_path, zeros).ok());
    }
    // A pipe named like a sidecar: neither the open nor a run may wait on it
    // or read it.
    auto make_fifo = [](const QString& fifo) {
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    };
    if (eff == "fifo")
        make_fifo(eff_path);
    if (effh == "fifo")
        make_fifo(effh_path);

    MainWindow opened;
    opened.language = language;
    opened.store_eff = true;
    opened.save_log = false;
    // Every sidecar read and checked whatever the costs, so that each row
    // is decided by the check.
    opened.sidecar_choice = MainWindow::SidecarChoice::Check;
    fake->openNames << path;
    opened.on_open_project_triggered();
    QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
    QCOMPARE(opened.den_grid, own.den_grid);
    auto says = [&](const QString& expected, const char* when) {
        const QString label = opened.progress_label->text();
        if (expected.isEmpty())
            QVERIFY2(!label.contains("not used") && !label.contains(QString::fromUtf8("не использу")),
                     qPrintable(QString(when) + ": " + label));
        else
            QCOMPARE(label, expected);
    };
    says(opened_status, "open");
    QVERIFY(opened.effects.empty());
    QVERIFY(opened.layer_effects.empty());
    if (eff == "removed")
        QVERIFY(QFile::remove(eff_path));
    if (eff == "late fifo")
        make_fifo(eff_path);
    // The first forward run takes the operator sidecar or builds the
    // operator.
    opened.on_forward_grid_triggered();
    QVERIFY(fake->errors().isEmpty());
    says(forward_status, "forward");
    QVERIFY(opened.effectsMatchModel());
    QVERIFY(opened.pending_eff.isEmpty());
    if (eff_taken)
        QVERIFY(opened.effects.quarter != own.effects.quarter || eff == "own" || eff.startsWith("threads"));
    else
        QVERIFY(opened.effects.quarter == own.effects.quarter);
    QCOMPARE(opened.effects_source == eff_path, eff_taken);
    // Likewise the first layered inversion with the slab effects.
    opened.start_polygonal_inversion(layered_record());
    QVERIFY(fake->errors().isEmpty());
    says(layered_status, "layered inversion");
    QVERIFY(opened.layerEffectsMatchModel());
    QVERIFY(opened.pending_effh.isEmpty());
    if (!effh_taken)
        QCOMPARE(opened.layer_effects, own.layer_effects);
    for (const QString& file : {eff_path, effh_path})
        if (!QFileInfo(file).isFile())
            QFile::remove(file);
    // The forward, the layered and the 3D inversion give what a window that
    // never held a stored operator gives.
    opened.language = 1;
    compare_with_fresh_window(opened, eff == "float nodes" ? effects_check_tolerance : 1e-5);
}

#endif
#endif

QTEST_MAIN(TestOperatorKeysWindow)
#include "tst_operator_keys_window.moc"
