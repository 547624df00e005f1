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
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/project_file.h"
#include "formats/segy.h"
#include "formats/xyz_cube.h"
#include "ml/ml_exchange.h"
#include "tst_layered_support.h"

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
    std::vector<double> r(record_size, 0.0);
    r[iterations] = 1;
    r[step_scale] = 1;
    r[depth_power] = 1;
    r[kind] = kind_layered;
    r[lower_limit] = -open_limit;
    r[upper_limit] = open_limit;
    r[final_power] = 1;
    return r;
}

std::vector<double> grid_record()
{
    std::vector<double> r = layered_record();
    r[step_scale] = 0.5;
    r[kind] = kind_grid;
    return r;
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

// Fields equal to float rounding: within 1e-5 of the larger field's largest value.
bool same_field(const field2D& a, const field2D& b, QString* why)
{
    if (a.size() != b.size() || a.empty() || a.front().size() != b.front().size()) {
        *why = "the fields have other shapes";
        return false;
    }
    const double tolerance = 1e-5 * std::max({largest(a), largest(b), 1e-12});
    for (std::size_t j = 0; j < a.size(); ++j)
        for (std::size_t i = 0; i < a[j].size(); ++i)
            if (!(std::abs(a[j][i] - b[j][i]) <= tolerance)) {
                *why = QString("node (%1, %2): %3 against %4").arg(j).arg(i).arg(a[j][i]).arg(b[j][i]);
                return false;
            }
    return true;
}

bool same_grid(const vector3D& a, const vector3D& b, QString* why)
{
    if (a.size() != b.size()) {
        *why = "the grids have other level counts";
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t j = 0; j < a[k].size(); ++j)
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                if (!(std::abs(a[k][j][i] - b[k][j][i]) <= 1e-5)) {
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

    void commandsKeepOnlyMatchingOperators_data();
    void commandsKeepOnlyMatchingOperators();
    void layerEffectsOfAnotherHeightAreNotReopened();
    void foreignEffectsFileRefused();
    void sidecarsAdoptedOnlyWhenTheModelsOwn_data();
    void sidecarsAdoptedOnlyWhenTheModelsOwn();

private:
    // Runs the forward, the layered inversion and the 3D inversion in `w`,
    // which then holds all three kept values.
    void build_operators(MainWindow& w);
    // The forward, the layered and the 3D inversion of `w` against a fresh
    // window holding the same model.
    void compare_with_fresh_window(MainWindow& w);

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

void TestOperatorKeysWindow::compare_with_fresh_window(MainWindow& w)
{
    MainWindow fresh;
    copy_model(w, fresh);
    QString why;

    w.on_forward_grid_triggered();
    fresh.on_forward_grid_triggered();
    QVERIFY2(same_field(w.Vz_calculated, fresh.Vz_calculated, &why), qPrintable("forward: " + why));

    w.start_polygonal_inversion(layered_record());
    fresh.start_polygonal_inversion(layered_record());
    QVERIFY2(same_grid(w.den_grid, fresh.den_grid, &why), qPrintable("layered inversion: " + why));
    QVERIFY2(same_field(w.Vz_calculated, fresh.Vz_calculated, &why), qPrintable("layered inversion: " + why));

    w.start_inversion(grid_record());
    fresh.start_inversion(grid_record());
    QVERIFY2(same_grid(w.den_grid, fresh.den_grid, &why), qPrintable("3D inversion: " + why));
    QCOMPARE(w.alpha_factor, fresh.alpha_factor);
    QVERIFY(fake->errors().isEmpty());
}

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
    QVERIFY2(!w->progress_label->text().contains("differ"), qPrintable(w->progress_label->text()));
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

void TestOperatorKeysWindow::sidecarsAdoptedOnlyWhenTheModelsOwn_data()
{
    QTest::addColumn<QString>("eff");   // what the eff sidecar holds: own, foreign, zeros
    QTest::addColumn<QString>("effh");  // likewise for the effh sidecar
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("opened_status");  // the status line after the open
    QTest::addColumn<QString>("forward_status");  // after the first forward run, which builds the operator
    QTest::addColumn<QString>("layered_status");  // after the first layered inversion, which builds the slab effects
    const QString eff_en = "The forward operator \"model.eff\" differs from the one built for this model and is not "
                           "used; it will be calculated when needed";
    const QString effh_en = "The layer effects \"model.effh\" differ from the ones built for this model and are not "
                            "used; they will be calculated when needed";
    const QString none;
    QTest::newRow("the model's own") << "own" << "own" << 1 << none << none << none;
    QTest::newRow("operator of another model") << "foreign" << "own" << 1 << none << eff_en << none;
    QTest::newRow("operator of zeros") << "zeros" << "own" << 1 << none << eff_en << none;
    QTest::newRow("operator, level 1 doubled") << "level 1" << "own" << 1 << none << eff_en << none;
    QTest::newRow("operator, a self-mirror value of level 1 x1000") << "mirror" << "own" << 1 << none << eff_en << none;
    QTest::newRow("slab effects of another model") << "own" << "foreign" << 1 << none << none << effh_en;
    QTest::newRow("slab effects of zeros") << "own" << "zeros" << 1 << none << none << effh_en;
    QTest::newRow("slab effects, NaN in the last layer") << "own" << "nan" << 1 << none << none << effh_en;
    QTest::newRow("operator a pipe")
        << "fifo" << "own" << 1
        << QString("The forward operator \"model.eff\" is not a regular file and is not used; it will be calculated "
                   "when needed")
        << none << none;
    QTest::newRow("slab effects a pipe")
        << "own" << "fifo" << 1
        << QString("The layer effects \"model.effh\" are not a regular file and are not used; they will be "
                   "calculated when needed")
        << none << none;
    QTest::newRow("both of another model, in Russian")
        << "foreign" << "foreign" << 0 << none
        << QString::fromUtf8("Оператор прямой задачи \"model.eff\" отличается от рассчитанного для этой модели и не "
                             "используется; он будет рассчитан при необходимости")
        << QString::fromUtf8("Эффекты слоев \"model.effh\" отличаются от рассчитанных для этой модели и не "
                             "используются; они будут рассчитаны при необходимости");
}

// The sidecars carry no key: a project copied beside the sidecars of another
// model of the same sizes (another level thickness and calculation height),
// or beside sidecars of zeros, must not take them. They are refused, the
// status line says so, and the runs give what a fresh window gives. The
// model's own sidecars are taken as they are in the files.
void TestOperatorKeysWindow::sidecarsAdoptedOnlyWhenTheModelsOwn()
{
    QFETCH(QString, eff);
    QFETCH(QString, effh);
    QFETCH(int, language);
    QFETCH(QString, opened_status);
    QFETCH(QString, forward_status);
    QFETCH(QString, layered_status);

    QString path = dir->path() + "/model.3Dproj";
    MainWindow own;
    give_model(own);
    own.on_forward_grid_triggered();
    own.start_polygonal_inversion(layered_record());
    QVERIFY(own.effectsMatchModel() && own.layerEffectsMatchModel());
    QCOMPARE(own.save_project(path), 1);

    MainWindow foreign;
    give_foreign_model(foreign);
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
    if (eff == "foreign")
        replace(dir->path() + "/foreign.eff", dir->path() + "/model.eff");
    if (effh == "foreign")
        replace(dir->path() + "/foreign.effh", dir->path() + "/model.effh");
    if (eff == "zeros") {
        EffectsOperator zeros;
        zeros.shape(own.effects.levels(), own.effects.rows, own.effects.columns);
        QVERIFY(write_effects_file(dir->path() + "/model.eff", zeros, EffectsImaginary::Zero).ok());
    }
    if (eff == "level 1" || eff == "mirror") {
        EffectsOperator changed = own.effects;
        if (eff == "mirror")
            changed.quarter[1][0] *= 1000;  // row 0, column 0: its own mirror in both axes
        else
            for (float& v : changed.quarter[1])
                v *= 2;
        QVERIFY(write_effects_file(dir->path() + "/model.eff", changed, EffectsImaginary::Zero).ok());
    }
    if (effh == "nan") {
        std::vector<field2D> changed = own.layer_effects;
        changed.back()[2][3] = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(write_layer_effects_sidecar(dir->path() + "/model.effh", changed).ok());
    }
    // A pipe named like a sidecar: the open must neither wait on it nor read it.
    for (const auto& [held, suffix] : {std::make_pair(eff, QString("eff")), std::make_pair(effh, QString("effh"))})
        if (held == "fifo") {
            const QString fifo = dir->path() + "/model." + suffix;
            QFile::remove(fifo);
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        }
    if (effh == "zeros") {
        const std::vector<field2D> zeros(own.layer_effects.size(), field2D(6, std::vector<double>(8, 0.0)));
        QVERIFY(write_layer_effects_sidecar(dir->path() + "/model.effh", zeros).ok());
    }

    MainWindow opened;
    opened.language = language;
    opened.store_eff = true;
    opened.save_log = false;
    fake->openNames << path;
    opened.on_open_project_triggered();
    QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
    QCOMPARE(opened.den_grid, own.den_grid);
    // The open reads no sidecar: only one that is not a regular file is
    // named at once.
    auto says = [&](const QString& expected, const char* when) {
        const QString label = opened.progress_label->text();
        if (expected.isEmpty())
            QVERIFY2(!label.contains("differ") && !label.contains(QString::fromUtf8("отлича")),
                     qPrintable(QString(when) + ": " + label));
        else
            QCOMPARE(label, expected);
    };
    says(opened_status, "open");
    QVERIFY(opened.effects.empty());
    QVERIFY(opened.layer_effects.empty());
    // The first forward run builds the operator and compares the sidecar
    // with it; the one built serves either way.
    opened.on_forward_grid_triggered();
    QVERIFY(fake->errors().isEmpty());
    says(forward_status, "forward");
    QVERIFY(opened.effects.quarter == own.effects.quarter);
    QVERIFY(opened.effectsMatchModel());
    QVERIFY(opened.pending_eff.isEmpty());
    // Likewise the first layered inversion with the slab effects.
    opened.start_polygonal_inversion(layered_record());
    QVERIFY(fake->errors().isEmpty());
    says(layered_status, "layered inversion");
    QCOMPARE(opened.layer_effects, own.layer_effects);
    QVERIFY(opened.layerEffectsMatchModel());
    QVERIFY(opened.pending_effh.isEmpty());
    for (const QString& suffix : {QString("eff"), QString("effh")})
        if (!QFileInfo(dir->path() + "/model." + suffix).isFile())
            QFile::remove(dir->path() + "/model." + suffix);
    // The forward, the layered and the 3D inversion give what a window that
    // never held a stored operator gives.
    opened.language = 1;
    compare_with_fresh_window(opened);
}

QTEST_MAIN(TestOperatorKeysWindow)
#include "tst_operator_keys_window.moc"
