// Project open, save and save-as commands of the main window, offscreen, with
// scripted file dialogs and message boxes: every data set and both sidecars
// through a save and an open, the writer's results, damaged files that leave
// the open project alone, and the close question's Yes.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "common/grid_geometry.h"
#include "engine/forward.h"
#include "engine/layered_inversion.h"
#include "fake_interaction.h"
#include "file_size_limit.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/project_file.h"
#include "test_nodes.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace fmt_test;

namespace {

// Builds the stored operator of the window's density grid.
bool buildEffects(MainWindow& w)
{
    ForwardGeometry g;
    if (forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g) !=
        ForwardStatus::Completed)
        return false;
    return build_effects(g, w.effects, 1) == ForwardStatus::Completed;
}

// A project with every data set, as the commands leave them.
void populate(MainWindow& w)
{
    w.language = 1;
    w.den_grid = make_cube(6, 5, 4, 2.2f);
    w.x_calc = nodes(6, 500000, 100);
    w.y_calc = nodes(5, 6100000, 100);
    w.z_calc = nodes(4, 0, 50);
    w.x_norm = w.x_calc, w.y_norm = w.y_calc, w.z_norm = w.z_calc;
    w.expansion_factor = 1;
    w.preferences[5] = 1;
    w.calc_height = -10;

    w.horizons = {field2D(5, std::vector<double>(6, 0.0)), make_field(6, 5, 20), make_field(6, 5, 90)};
    w.horizons_params = {6, 5, 500000, 500500, 6100000, 6100400, -1, 1};
    w.densities = {0, 2.3, 2.6};
    w.layers_names = {QString(), QStringLiteral("Осадки"), QStringLiteral("Фундамент")};
    w.fixed = {false, true, false};

    w.Vz_observed = make_field(6, 5, -4);
    w.observed_params = {6, 5, 500000, 500500, 6100000, 6100400, -10, 10};
    w.Vz_calculated = make_field(6, 5, 3);
    w.calculated_params = {6, 5, 500000, 500500, 6100000, 6100400};

    w.Vp_grid = make_cube(3, 2, 2, 2000);
    w.x_vp = nodes(3, 0, 10), w.y_vp = nodes(2, 0, 10), w.z_vp = nodes(2, 0, 10);
    w.Vs_grid = make_cube(2, 2, 3, 1000);
    w.x_vs = nodes(2, 5, 10), w.y_vs = nodes(2, 5, 10), w.z_vs = nodes(3, 5, 10);

    // The regularizer as the open command leaves it: normalised from raw values.
    w.regularizer = make_cube(3, 3, 2, 4.0f);
    w.x_reg = nodes(3, 0, 100), w.y_reg = nodes(3, 0, 100), w.z_reg = nodes(2, 0, 100);
    w.regularizer_scale = 1;
    w.regularizer_offsets.clear();
    w.recalcRegularizer();

    w.profiles_scheme = {{500000, 6100000, 500500, 6100400}, {1, 2, 3, 4, 5, 6}};
    w.faults.inline_type = true;
    w.faults.names = {QStringLiteral("F1"), QStringLiteral("F2")};
    w.faults.sticks = {{{QVector3D(500100, 6100100, 0), QVector3D(500100, 6100100, 150)}},
                       {{QVector3D(500300.5f, 6100200.25f, 10)}, {QVector3D(500310, 6100210, 20)}}};
    w.faults.inlines = {{{1, 1}}, {{2}, {3}}};
    w.faults.crosslines = {{{10, 11}}, {{12}, {13}}};

    // Slab effects of the three layers on the grid's nodes, keyed for them.
    ForwardGeometry g;
    if (w.modelGeometry(g)
        && compute_layer_effects(g, w.horizons, w.slabEffectsBottom(), w.layer_effects) == LayerEffectsStatus::Completed)
        w.layer_effects_key = w.layerEffectsKeyFor(g);
}

QString windowTitle(const MainWindow& w) { return w.windowTitle(); }

// Equal bit for bit: NaN equals NaN of the same bits, 0 differs from -0.
template <typename T>
bool sameBits(const T& a, const T& b)
{
    static_assert(std::is_arithmetic<T>::value, "numbers only");
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameBits(a[i], b[i]))
            return false;
    return true;
}

// Cells that no normalisation scales exactly, with a different mean per level.
vector3D unevenCube(int nx, int ny, int nz, double level_step)
{
    vector3D cube(static_cast<std::size_t>(nz),
                  vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    int n = 0;
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j)
                cube[k][i][j] = data_type(3.3 * std::sin(1.7 * ++n) + level_step * k);
    return cube;
}

// The regularizer as the open command leaves it, normalised in `mode`
// (0 initial, 1 level means removed, 2 level minima removed).
void giveRegularizer(MainWindow& w, const vector3D& raw, int mode)
{
    w.ui->reg_not_recalc->setChecked(mode == 0);
    w.ui->reg_del_means->setChecked(mode == 1);
    w.ui->reg_del_mins->setChecked(mode == 2);
    w.regularizer = raw;
    w.regularizer_read = raw;
    w.x_reg = nodes(raw.front().front().size(), 10, 100);
    w.y_reg = nodes(raw.front().size(), 20, 100);
    w.z_reg = nodes(raw.size(), 0, 25);
    w.regularizer_scale = 1;
    w.regularizer_offsets.clear();
    w.recalcRegularizer();
}

// Every member the project file holds, bit for bit.
void compareProjects(const MainWindow& a, const MainWindow& b)
{
    QVERIFY(sameBits(b.den_grid, a.den_grid));
    QVERIFY(sameBits(b.x_calc, a.x_calc));
    QVERIFY(sameBits(b.y_calc, a.y_calc));
    QVERIFY(sameBits(b.z_calc, a.z_calc));
    QVERIFY(sameBits(b.expansion_factor, a.expansion_factor));
    QVERIFY(sameBits(b.calc_height, a.calc_height));
    QVERIFY(sameBits(b.horizons, a.horizons));
    QVERIFY(sameBits(b.horizons_params, a.horizons_params));
    QVERIFY(sameBits(b.densities, a.densities));
    QCOMPARE(b.layers_names, a.layers_names);
    QCOMPARE(b.fixed, a.fixed);
    QVERIFY(sameBits(b.Vz_observed, a.Vz_observed));
    QVERIFY(sameBits(b.observed_params, a.observed_params));
    QVERIFY(sameBits(b.Vz_calculated, a.Vz_calculated));
    QVERIFY(sameBits(b.calculated_params, a.calculated_params));
    QVERIFY(sameBits(b.Vp_grid, a.Vp_grid));
    QVERIFY(sameBits(b.Vs_grid, a.Vs_grid));
    QVERIFY(sameBits(b.regularizer, a.regularizer));
    QVERIFY(sameBits(b.x_reg, a.x_reg));
    QVERIFY(sameBits(b.y_reg, a.y_reg));
    QVERIFY(sameBits(b.z_reg, a.z_reg));
    QVERIFY(sameBits(b.regularizer_scale, a.regularizer_scale));
    QVERIFY(sameBits(b.regularizer_offsets, a.regularizer_offsets));
    QVERIFY(sameBits(b.profiles_scheme, a.profiles_scheme));
    QCOMPARE(b.faults.names, a.faults.names);
    QVERIFY(b.faults.sticks == a.faults.sticks);
}

}  // namespace

class TestProjectCommands : public QObject {
    Q_OBJECT

private:
    // Closing a window with data writes the settings store: a store of this test alone.
    QTemporaryDir settings_dir;

private slots:
    void initTestCase();
    void saveAndOpenEveryDataSet();
    void saveResults();
    void saveOnAFullDiskKeepsTheOldFiles();
    void saveKeepsTheStatusLine();
    void sidecarsFollowTheSavedProject();
    void regularizerSavedInLoadedUnitsAndUnchanged();
    void sidecarsUsedOnlyWhenTheirSizesMatch();
    void saveLeavesOnlyTheModelsOwnSidecars_data();
    void saveLeavesOnlyTheModelsOwnSidecars();
    void effectsSidecarMustBeEven_data();
    void effectsSidecarMustBeEven();
    void damagedFilesLeaveTheProjectUnchanged_data();
    void damagedFilesLeaveTheProjectUnchanged();
    void unreadableFile();
    void saveAsksOnceAndAddsTheSuffix();
    void saveWithoutPathCancelled();
    void closeQuestionYesSaves();
    void openedProjectReplacesEverything();
    void saveOpenSaveIsExact_data();
    void saveOpenSaveIsExact();
    void undoNeverBringsBackAReplacedModel_data();
    void undoNeverBringsBackAReplacedModel();
};

void TestProjectCommands::initTestCase()
{
    QVERIFY(settings_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
}

void TestProjectCommands::saveAndOpenEveryDataSet()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow a;
    populate(a);
    QVERIFY(buildEffects(a));
    const vector3D regularizer_before = a.regularizer;

    fake.saveNames << dir.filePath("model");  // no suffix: it is added
    a.on_save_as_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Project has been saved successfully"});
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.3Dproj"));
    const QString path = dir.filePath("model.3Dproj");
    QCOMPARE(a.project_path, path);
    QCOMPARE(a.project_name, QStringLiteral("model"));
    QCOMPARE(windowTitle(a), QStringLiteral("Tolmera3D model"));
    QCOMPARE(files_in(dir.path()), (QStringList{"model.3Dproj", "model.eff", "model.effh"}));
    QCOMPARE(a.regularizer, regularizer_before);  // bit for bit
    QVERIFY(a.progress_bar.isHidden());
    QCOMPARE(a.model_bounds, (std::array<double, 6>{{500000, 500500, 6100000, 6100400, 0, 150}}));

    fake.clear();
    MainWindow b;
    b.language = 1;
    b.calc_height = 777;
    b.expansion_factor = 3;
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.3Dproj"));

    QCOMPARE(b.den_grid, a.den_grid);
    QCOMPARE(b.x_calc, a.x_calc);
    QCOMPARE(b.y_calc, a.y_calc);
    QCOMPARE(b.z_calc, a.z_calc);
    QCOMPARE(b.x_norm, a.x_calc);
    QCOMPARE(b.expansion_factor, 1.0);
    QCOMPARE(b.preferences[5], 1.0);
    QCOMPARE(b.calc_height, -10.0);
    QCOMPARE(b.minZ, 0.0);
    QCOMPARE(b.maxZ, 150.0);
    QCOMPARE(b.dz, 50.0);
    QCOMPARE(b.crop_borders, (std::array<int, 6>{{0, 5, 4, 0, 0, 3}}));
    QCOMPARE(b.horizons, a.horizons);
    QCOMPARE(b.horizons_params, (std::vector<double>{6, 5, 500000, 500500, 6100000, 6100400}));
    QCOMPARE(b.densities, a.densities);
    QCOMPARE(b.layers_names, a.layers_names);
    QCOMPARE(b.fixed, a.fixed);
    QCOMPARE(b.Vz_observed, a.Vz_observed);
    QCOMPARE(b.observed_params, (std::vector<double>{6, 5, 500000, 500500, 6100000, 6100400}));
    QCOMPARE(b.Vz_calculated, a.Vz_calculated);
    QCOMPARE(b.calculated_params, a.calculated_params);
    QCOMPARE(b.Vp_grid, a.Vp_grid);
    QCOMPARE(b.z_vp, a.z_vp);
    QCOMPARE(b.Vs_grid, a.Vs_grid);
    QCOMPARE(b.x_vs, a.x_vs);
    // Normalised again from the raw values in the file.
    QCOMPARE(b.regularizer.size(), a.regularizer.size());
    for (std::size_t k = 0; k < a.regularizer.size(); ++k)
        for (std::size_t j = 0; j < a.regularizer[k].size(); ++j)
            for (std::size_t i = 0; i < a.regularizer[k][j].size(); ++i)
                QVERIFY(std::fabs(b.regularizer[k][j][i] - a.regularizer[k][j][i]) < 1e-6);
    QCOMPARE(b.regularizer_scale, a.regularizer_scale);
    QCOMPARE(b.profiles_scheme, a.profiles_scheme);
    QCOMPARE(b.faults.names, a.faults.names);
    QVERIFY(b.faults.sticks == a.faults.sticks);
    QCOMPARE(b.faults.inlines, a.faults.inlines);
    QCOMPARE(b.faults.crosslines, a.faults.crosslines);
    QCOMPARE(b.faults.inline_type, true);
    // Both sidecars wait, unread, for the runs that build the operators of
    // the model read with them; the forward run's operator agrees with the
    // file (no complaint) and is the one the first window built.
    QVERIFY(b.effects.empty() && b.layer_effects.empty());
    QCOMPARE(b.pending_eff, dir.filePath("model.eff"));
    QCOMPARE(b.pending_effh, dir.filePath("model.effh"));
    // Saved over itself before any run: the sidecars are checked whole and
    // taken, and the files, the model's own, stay as they were.
    const QByteArray eff_bytes = read_file(dir.filePath("model.eff")), effh_bytes = read_file(dir.filePath("model.effh"));
    QVERIFY(!eff_bytes.isEmpty() && !effh_bytes.isEmpty());
    // Saving the project opened gives the same file again (before the
    // forward run below recomputes the calculated field).
    QString again = dir.filePath("again.3Dproj");
    QCOMPARE(b.save_project(again), 1);
    QVERIFY(read_file(again) == read_file(path));
    QString same = path;
    QCOMPARE(b.save_project(same), 1);
    QCOMPARE(read_file(dir.filePath("model.eff")), eff_bytes);
    QCOMPARE(read_file(dir.filePath("model.effh")), effh_bytes);
    QCOMPARE(read_file(dir.filePath("again.eff")), eff_bytes);
    QCOMPARE(read_file(dir.filePath("again.effh")), effh_bytes);
    b.store_eff = true;
    b.on_forward_grid_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY2(!b.progress_label->text().contains("not used"), qPrintable(b.progress_label->text()));
    QVERIFY(b.pending_eff.isEmpty());
    QCOMPARE(b.effects.quarter, a.effects.quarter);
    QVERIFY(b.effects.im.empty());
    QVERIFY(b.effectsMatchModel());

    QCOMPARE(b.project_path, path);
    QCOMPARE(b.project_name, QStringLiteral("model"));
    QCOMPARE(windowTitle(b), QStringLiteral("Tolmera3D model"));
    QVERIFY(b.ui->view_faults->isEnabled());
    QVERIFY(b.ui->view_profiles->isEnabled());
    QVERIFY(b.progress_bar.isHidden());
    QVERIFY(!b.progress_label->text().contains("Import"));  // the redraw may show the grid size
    QCOMPARE(b.alpha_factor, 0.0);

}

void TestProjectCommands::saveKeepsTheStatusLine()
{
    // The save writes its steps into the status line and then gives back
    // what it said (the grid size), after a good save and after a failed one.
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    QVERIFY(buildEffects(w));
    const QString size = w.progress_label->text().isEmpty() ? QStringLiteral("(Nx, Ny, Nz) = (1, 2, 3)")
                                                            : w.progress_label->text();
    w.progress_label->setText(size);
    QString good = dir.filePath("p.3Dproj");
    QCOMPARE(w.save_project(good), 1);
    QCOMPARE(w.progress_label->text(), size);
    QString nowhere = dir.filePath("missing/folder/p.3Dproj");
    QCOMPARE(w.save_project(nowhere), 0);
    QCOMPARE(fake.errors().size(), 1);
    QCOMPARE(w.progress_label->text(), size);
    QVERIFY(w.progress_bar.isHidden());
}

void TestProjectCommands::saveResults()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    QVERIFY(buildEffects(w));

    QString empty;
    QCOMPARE(w.save_project(empty), -4);

    QString nowhere = dir.filePath("missing/folder/p.3Dproj");
    QCOMPARE(w.save_project(nowhere), 0);
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("p.3Dproj"), qPrintable(fake.errors()[0]));

    // A folder where the eff sidecar should go: the project is complete, the
    // effh sidecar still written.
    fake.clear();
    QVERIFY(QDir().mkpath(dir.filePath("a.eff")));
    QString a = dir.filePath("a.3Dproj");
    QCOMPARE(w.save_project(a), -1);
    QCOMPARE(fake.errors().size(), 1);
    ProjectData read;
    QVERIFY(read_project_file(a, read));
    QVERIFY(QFileInfo(dir.filePath("a.effh")).isFile());

    fake.clear();
    QVERIFY(QDir().mkpath(dir.filePath("b.effh")));
    QString b = dir.filePath("b.3Dproj");
    QCOMPARE(w.save_project(b), -2);
    QVERIFY(QFileInfo(dir.filePath("b.eff")).isFile());
    QVERIFY(read_project_file(b, read));

    // Save as with a sidecar failure takes the path but gives no success notice.
    fake.clear();
    fake.saveNames << a;
    w.on_save_as_triggered();
    QCOMPARE(w.project_path, a);
    QVERIFY(fake.messages().isEmpty());
    QCOMPARE(fake.errors().size(), 1);

    // Save as that writes nothing changes nothing.
    fake.clear();
    fake.saveNames << nowhere;
    w.on_save_as_triggered();
    QCOMPARE(w.project_path, a);
    QCOMPARE(windowTitle(w), QStringLiteral("Tolmera3D a"));

    fake.clear();
    QString c = dir.filePath("c");
    QCOMPARE(w.save_project(c), 1);
    QCOMPARE(c, dir.filePath("c.3Dproj"));
    QVERIFY(fake.errors().isEmpty());
}

// A device that refuses the bytes: Save shows the cause instead of "Project
// has been saved successfully", and the project and its sidecars keep their
// old bytes.
void TestProjectCommands::saveOnAFullDiskKeepsTheOldFiles()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    w.den_grid = make_cube(40, 30, 6, 2.2f);
    w.x_calc = w.x_norm = nodes(40, 500000, 100);
    w.y_calc = w.y_norm = nodes(30, 6100000, 100);
    w.z_calc = w.z_norm = nodes(6, 0, 50);
    w.horizons.clear(), w.layer_effects.clear(), w.layers_names.clear(), w.fixed.clear(), w.densities.clear();
    w.Vz_observed.clear(), w.Vz_calculated.clear();
    QVERIFY(buildEffects(w));
    fake.saveNames << dir.filePath("p.3Dproj");
    w.on_save_project_triggered();
    QCOMPARE(fake.messages(), QStringList{"Project has been saved successfully"});
    const QString project = w.project_path, eff = dir.filePath("p.eff");
    const QByteArray good_project = read_file(project), good_eff = read_file(eff);
    QVERIFY(good_project.size() > 20000);
    QVERIFY(good_eff.size() > good_project.size() + 20000);

    // The project itself refused.
    w.den_grid[0][0][0] += 1;
    fake.clear();
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        w.on_save_project_triggered();
    }
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("p.3Dproj") && fake.errors()[0].contains("File too large"),
             qPrintable(fake.errors()[0]));
    QCOMPARE(read_file(project), good_project);
    QCOMPARE(read_file(eff), good_eff);

    // The project written, the eff sidecar refused: reported, the old one
    // is not left to pass for the new grid's. (The operator does not change
    // with the densities: the sidecar is written again because the file was
    // touched since it was written.)
    {
        QFile touched(eff);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    fake.clear();
    {
        FileSizeLimit limit(rlim_t(good_project.size()) + 1024);
        QVERIFY(limit.ok());
        w.on_save_project_triggered();
    }
    QCOMPARE(fake.messages(), QStringList());
    QVERIFY(!fake.errors().isEmpty());
    QVERIFY2(fake.errors()[0].contains("p.eff") && fake.errors()[0].contains("File too large"),
             qPrintable(fake.errors()[0]));
    QVERIFY(read_file(project) != good_project);
    QVERIFY(!QFile::exists(eff) || read_file(eff) == good_eff);
    for (const QString& name : files_in(dir.path()))  // no temporary file left behind
        QVERIFY2(name == "p.3Dproj" || name == "p.eff", qPrintable(name));
}

void TestProjectCommands::sidecarsFollowTheSavedProject()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    QVERIFY(buildEffects(w));
    QString path = dir.filePath("p.3Dproj");
    QCOMPARE(w.save_project(path), 1);
    QCOMPARE(files_in(dir.path()), (QStringList{"p.3Dproj", "p.eff", "p.effh"}));
    // The full grid of every level with imaginary parts 0.0, as the sidecar
    // has always been written.
    QVERIFY(read_file(dir.filePath("p.eff")) == effects_file_bytes(expanded(w.effects)));

    // Operators that do not belong to the model saved are not written, and
    // those of an earlier save are removed.
    w.calc_height = -20;  // the stored operator was built for -10
    w.layer_effects.pop_back();  // two grids for three layers
    QCOMPARE(w.save_project(path), 1);
    QCOMPARE(files_in(dir.path()), QStringList{"p.3Dproj"});

    // Operators of the new height: written again.
    QVERIFY(buildEffects(w));
    w.layer_effects.push_back(make_field(6, 5));
    ForwardGeometry g;
    QVERIFY(w.modelGeometry(g));
    w.layer_effects_key = w.layerEffectsKeyFor(g);
    QCOMPARE(w.save_project(path), 1);
    QCOMPARE(files_in(dir.path()), (QStringList{"p.3Dproj", "p.eff", "p.effh"}));
    w.effects.clear();
    std::vector<field2D>().swap(w.layer_effects);
    QCOMPARE(w.save_project(path), 1);
    QCOMPARE(files_in(dir.path()), QStringList{"p.3Dproj"});
    QVERIFY(fake.errors().isEmpty());
}

void TestProjectCommands::regularizerSavedInLoadedUnitsAndUnchanged()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.regularizer = {{{0.25f, -0.5f}}, {{1.0f, 0.125f}}};
    w.x_reg = {0, 1}, w.y_reg = {0}, w.z_reg = {0, 10};
    w.regularizer_scale = 0.5;
    w.regularizer_offsets = {3, -7};
    const vector3D before = w.regularizer;
    QString path = dir.filePath("r.3Dproj");
    QCOMPARE(w.save_project(path), 1);
    QCOMPARE(w.regularizer, before);
    QCOMPARE(w.regularizer_scale, 0.5);
    QCOMPARE(w.regularizer_offsets, (std::vector<double>{3, -7}));

    ProjectData d;
    QVERIFY(read_project_file(path, d));
    // value / scale + offset of its level
    QCOMPARE(d.regularizer.cells, (vector3D{{{3.5f, 2.0f}}, {{-5.0f, -6.75f}}}));
}

void TestProjectCommands::sidecarsUsedOnlyWhenTheirSizesMatch()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow a;
    populate(a);
    QVERIFY(buildEffects(a));
    QString path = dir.filePath("s.3Dproj");
    QCOMPARE(a.save_project(path), 1);

    // Sidecars of another model put beside the project.
    QVERIFY(write_effects_file(dir.filePath("s.eff"), make_operator(8, 8, 4), EffectsImaginary::Zero));
    QVERIFY(write_layer_effects_sidecar(dir.filePath("s.effh"), {make_field(6, 5), make_field(6, 5)}));

    MainWindow b;
    b.effects = make_operator(2, 2, 2);
    b.layer_effects = {make_field(6, 5), make_field(6, 5), make_field(6, 5)};
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(b.den_grid, a.den_grid);
    QVERIFY(b.effects.empty());
    // The slab effects of the project that was open do not belong to this one.
    QVERIFY(b.layer_effects.empty());

    // A damaged sidecar is skipped too.
    QVERIFY(write_file(dir.filePath("s.eff"), QByteArray("\0\0\0", 3)));
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(b.effects.empty());
}

void TestProjectCommands::saveLeavesOnlyTheModelsOwnSidecars_data()
{
    QTest::addColumn<QString>("beside");  // what lies beside the project opened: own, foreign, none
    QTest::addColumn<bool>("save_as");    // to a new path, or over the project
    QTest::addColumn<bool>("stale_at_target");  // a foreign eff already at the new path
    QTest::addColumn<QStringList>("files");     // in the folder afterwards
    QTest::addColumn<QString>("note");          // the status line after the save
    const QString differs = "The forward operator \"p.eff\" is not used: it differs from this model's operator";
    const QString removed = differs + ". Removed \"p.eff\": it does not belong to the model saved";
    const QStringList opened = {"p.3Dproj", "p.eff"};
    QTest::newRow("own, saved over itself") << "own" << false << false << opened << QString();
    QTest::newRow("own, saved to a new path")
        << "own" << true << false << QStringList{"new.3Dproj", "new.eff", "p.3Dproj", "p.eff"} << QString();
    QTest::newRow("foreign, saved over itself") << "foreign" << false << false << QStringList{"p.3Dproj"} << removed;
    QTest::newRow("foreign, saved to a new path")
        << "foreign" << true << false << QStringList{"new.3Dproj", "p.3Dproj", "p.eff"} << differs;
    QTest::newRow("none, saved to a new path over a foreign file")
        << "none" << true << true << QStringList{"new.3Dproj", "p.3Dproj"}
        << QString("Removed \"new.eff\": it does not belong to the model saved");
    QTest::newRow("removed after the open, saved over itself")
        << "removed" << false << false << QStringList{"p.3Dproj"}
        << QString("The forward operator \"p.eff\" is not used: the file is missing");
}

// A save before any run: whatever lies beside the project under the
// sidecars' names afterwards is the model's own operator or nothing. The
// sidecar the open found is checked whole and taken; one that is not the
// model's is removed and the status line says so.
void TestProjectCommands::saveLeavesOnlyTheModelsOwnSidecars()
{
    QFETCH(QString, beside);
    QFETCH(bool, save_as);
    QFETCH(bool, stale_at_target);
    QFETCH(QStringList, files);
    QFETCH(QString, note);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow a;
    populate(a);
    a.horizons.clear();  // the operator sidecar alone
    a.densities.clear();
    a.layers_names.clear();
    a.fixed.clear();
    QVERIFY(buildEffects(a));
    ForwardGeometry g;
    QVERIFY(a.modelGeometry(g));
    QString path = dir.filePath("p.3Dproj");
    QCOMPARE(a.save_project(path), 1);
    QCOMPARE(files_in(dir.path()), (QStringList{"p.3Dproj", "p.eff"}));
    // An operator of the model's sizes for a calculation height 1 m lower.
    ForwardGeometry lower = g;
    lower.calc_level -= 1;
    EffectsOperator foreign;
    QCOMPARE(int(build_effects(lower, foreign, 1)), int(ForwardStatus::Completed));
    if (beside == "foreign")
        QVERIFY(write_effects_file(dir.filePath("p.eff"), foreign, EffectsImaginary::Zero));
    if (beside == "none")
        QVERIFY(QFile::remove(dir.filePath("p.eff")));
    if (stale_at_target)
        QVERIFY(write_effects_file(dir.filePath("new.eff"), foreign, EffectsImaginary::Zero));
    const QByteArray own_bytes = effects_file_bytes(expanded(a.effects));

    MainWindow b;
    b.language = 1;
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(b.effects.empty());
    if (beside == "removed")
        QVERIFY(QFile::remove(dir.filePath("p.eff")));
    if (save_as) {
        fake.saveNames << dir.filePath("new.3Dproj");
        b.on_save_as_triggered();
    } else {
        b.on_save_project_triggered();
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Project has been saved successfully"});
    QCOMPARE(files_in(dir.path()), files);
    QCOMPARE(b.progress_label->text(), note.isEmpty() ? b.progress_label->text() : note);
    if (note.isEmpty())
        QVERIFY2(!b.progress_label->text().contains("Removed") && !b.progress_label->text().contains("not used"),
                 qPrintable(b.progress_label->text()));
    // What lies beside the project saved is the model's operator.
    const QString saved_eff = dir.filePath(save_as ? "new.eff" : "p.eff");
    if (QFile::exists(saved_eff))
        QCOMPARE(read_file(saved_eff), own_bytes);
    QCOMPARE(b.effectsMatchModel(), QFile::exists(saved_eff));
}

void TestProjectCommands::effectsSidecarMustBeEven_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("taken");
    QTest::newRow("as written") << "none" << true;
    QTest::newRow("even to float rounding, of an earlier version") << "rounding" << true;
    QTest::newRow("not even") << "uneven" << false;
}

// The eff sidecar holds full grids; it is taken only when every plane is
// even (to float rounding, as earlier versions wrote it). One that is not is
// skipped without a message, as any other unusable sidecar: the project
// opens and the operator is built again by the next run that needs it.
void TestProjectCommands::effectsSidecarMustBeEven()
{
    QFETCH(QString, change);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow a;
    populate(a);
    QVERIFY(buildEffects(a));
    QString path = dir.filePath("e.3Dproj");
    QCOMPARE(a.save_project(path), 1);
    const QString eff = dir.filePath("e.eff");
    const QByteArray written = read_file(eff);
    const int rows = a.effects.rows, columns = a.effects.columns;
    // The value of level k, row r, column c in the file.
    auto at = [&](int k, int r, int c) { return 12 + ((k * rows + r) * columns + c) * 16; };
    QByteArray bytes = written;
    if (change == "rounding") {
        bytes.replace(at(1, 1, 2), 8, be_double(std::nextafter(a.effects.at(1, 1, 2), 1e30f)));
        bytes.replace(at(3, rows - 2, columns - 1), 8, be_double(std::nextafter(a.effects.at(3, 2, 1), -1e30f)));
    } else if (change == "uneven") {
        // A hundredth of the level's largest value (its mean, at 0, 0) off.
        bytes.replace(at(2, 1, 2), 8, be_double(a.effects.at(2, 1, 2) + 0.01 * std::fabs(a.effects.at(2, 0, 0))));
    }
    QVERIFY(write_file(eff, bytes));

    MainWindow b;
    b.language = 1;
    b.effects = make_operator(2, 2, 2);
    fake.openNames << path;
    b.on_open_project_triggered();
    QVERIFY2(fake.notes.isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(b.den_grid, a.den_grid);
    QCOMPARE(b.project_path, path);
    QVERIFY(b.effects.empty());
    QVERIFY(!b.effectsMatchModel());
    // Read and checked by the run that needs it (whatever the costs).
    b.store_eff = true;
    b.sidecar_choice = MainWindow::SidecarChoice::Check;
    b.on_forward_grid_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    if (taken)
        QVERIFY2(!b.progress_label->text().contains("not used"), qPrintable(b.progress_label->text()));
    else
        QCOMPARE(b.progress_label->text(),
                 QString("The forward operator \"e.eff\" is not used: it differs from this model's operator"));
    if (!taken) {
        QVERIFY(b.effectsMatchModel());
        QCOMPARE(b.effects.quarter, a.effects.quarter);
        return;
    }
    QVERIFY(b.effectsMatchModel());
    QVERIFY(b.effects.im.empty());
    if (change == "none")
        QCOMPARE(b.effects.quarter, a.effects.quarter);  // fold(expand(q)) == q
    for (int k = 0; k < a.effects.levels(); ++k)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                QVERIFY(std::fabs(b.effects.at(k, r, c) - a.effects.at(k, r, c)) <=
                        2.5e-7f * std::fabs(a.effects.at(k, r, c)));
    // Saved again: the operator as read, expanded.
    QString again = dir.filePath("again.3Dproj");
    QCOMPARE(b.save_project(again), 1);
    const QByteArray rewritten = read_file(dir.filePath("again.eff"));
    QVERIFY(rewritten == effects_file_bytes(expanded(b.effects)));
    if (change == "none")
        QVERIFY(rewritten == written);
}

void TestProjectCommands::damagedFilesLeaveTheProjectUnchanged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray observed = be32(3) + be32(1) + be32(1) + be_double(0) + be_double(0) + be_double(0) +
                                be_double(0) + be_double(5);
    QTest::newRow("newer version") << QByteArray(be32(3) + be32(1) + observed + be_double(0))
                                   << "Invalid version of project";
    QTest::newRow("empty file") << QByteArray() << "damaged.3Dproj";
    QTest::newRow("truncated block") << QByteArray(be32(2) + be32(1) + observed.left(20)) << "damaged.3Dproj";
    QTest::newRow("unknown tag") << QByteArray(be32(2) + be32(2) + observed + be32(12) + be_double(0))
                                 << "damaged.3Dproj";
    QTest::newRow("absurd count") << QByteArray(be32(2) + be32(1) + be32(1) + be32(2000000000) + be32(2000000000) +
                                                be32(2000000000) + QByteArray(48, '\0'))
                                  << "damaged.3Dproj";
    // Node coordinates beyond what the 3D view can hold (one flipped exponent bit).
    QTest::newRow("density x first 1e39")
        << QByteArray(be32(2) + be32(1) + be32(1) + be32(2) + be32(1) + be32(1) + be_double(1e39) + be_double(2e39) +
                      be_double(0) + be_double(0) + be_double(0) + be_double(0) + le_float(1) + le_float(2) +
                      be_double(0) + be_double(-10))
        << "holds a coordinate beyond the ±1e+15 the program can show: 1e+39 in block 1";
}

void TestProjectCommands::damagedFilesLeaveTheProjectUnchanged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    QVERIFY(buildEffects(w));
    fake.saveNames << dir.filePath("good.3Dproj");
    w.on_save_project_triggered();
    QCOMPARE(w.project_path, dir.filePath("good.3Dproj"));
    const QByteArray good = read_file(w.project_path);
    const vector3D cube = w.den_grid;
    const EffectsOperator effects = w.effects;
    const auto layer_effects = w.layer_effects;
    w.progress_label->setText(QStringLiteral("before"));

    const QString damaged = dir.filePath("damaged.3Dproj");
    QVERIFY(write_file(damaged, bytes));
    fake.clear();
    fake.openNames << damaged;
    w.on_open_project_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains(error), qPrintable(fake.errors()[0]));
    QCOMPARE(w.den_grid, cube);
    QCOMPARE(w.effects.quarter, effects.quarter);
    QCOMPARE(w.effects.key, effects.key);
    QCOMPARE(w.layer_effects, layer_effects);
    QCOMPARE(w.horizons.size(), std::size_t(3));
    QCOMPARE(w.faults.names.size(), std::size_t(2));
    QCOMPARE(w.project_path, dir.filePath("good.3Dproj"));
    QCOMPARE(windowTitle(w), QStringLiteral("Tolmera3D good"));
    QCOMPARE(w.progress_label->text(), QStringLiteral("before"));
    QVERIFY(w.progress_bar.isHidden());

    // A Save right after writes the project still open, not an empty one.
    fake.clear();
    w.on_save_project_triggered();
    QCOMPARE(fake.messages(), QStringList{"Project has been saved successfully"});
    QCOMPARE(read_file(w.project_path), good);
}

void TestProjectCommands::unreadableFile()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    const vector3D cube = w.den_grid;
    fake.openNames << dir.filePath("none.3Dproj");
    w.on_open_project_triggered();
    QCOMPARE(fake.errors(), QStringList{"Can't read file"});
    QCOMPARE(w.den_grid, cube);

    // Cancelled dialog: nothing at all.
    fake.clear();
    w.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.den_grid, cube);
}

void TestProjectCommands::saveAsksOnceAndAddsTheSuffix()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 0;
    w.Vz_observed = {{1, 2}, {3, 4}};
    w.observed_params = {2, 2, 0, 1, 0, 1};
    fake.saveNames << dir.filePath("obs");
    w.on_save_project_triggered();
    QCOMPARE(w.project_path, dir.filePath("obs.3Dproj"));
    QCOMPARE(fake.messages(), QStringList{QStringLiteral("Проект успешно сохранен")});
    QCOMPARE(windowTitle(w), QStringLiteral("Tolmera3D obs"));
    w.on_save_project_triggered();
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.messages().size(), 2);
    QCOMPARE(files_in(dir.path()), QStringList{"obs.3Dproj"});
    // Only the observed field: version 2, one block, the level.
    QCOMPARE(read_file(w.project_path).size(), 8 + 4 + 8 + 32 + 32 + 8);

    // A first save that fails leaves the project without a file.
    MainWindow v;
    v.Vz_observed = w.Vz_observed;
    v.observed_params = w.observed_params;
    fake.clear();
    fake.saveNames << dir.filePath("missing/obs.3Dproj");
    v.on_save_project_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(v.project_path.isEmpty());
}

void TestProjectCommands::saveWithoutPathCancelled()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    populate(w);
    w.project_name = QStringLiteral("old");
    w.on_save_project_triggered();
    QCOMPARE(fake.fileRequests.size(), 1);
    QVERIFY(w.project_name.isEmpty());
    QVERIFY(w.project_path.isEmpty());
    QVERIFY(fake.messages().isEmpty());
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestProjectCommands::closeQuestionYesSaves()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    {
        MainWindow w;
        populate(w);
        w.show();
        // Yes, then the save dialog cancelled: the window stays open.
        fake.answers << QMessageBox::Yes;
        QVERIFY(!w.close());
        QCOMPARE(fake.questions.size(), 1);
        QCOMPARE(fake.questions[0].text, QStringLiteral("Save project before exit?"));
        QVERIFY(files_in(dir.path()).isEmpty());

        // Yes with a name: the project is written and the window closes.
        fake.answers << QMessageBox::Yes;
        fake.saveNames << dir.filePath("closing");
        QVERIFY(w.close());
        QCOMPARE(files_in(dir.path()), (QStringList{"closing.3Dproj", "closing.effh"}));
    }
    MainWindow again;
    fake.openNames << dir.filePath("closing.3Dproj");
    again.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(again.den_grid, make_cube(6, 5, 4, 2.2f));
    // The slab effects sidecar waits for the first layered run.
    QCOMPARE(again.pending_effh, dir.filePath("closing.effh"));
}

void TestProjectCommands::openedProjectReplacesEverything()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    // A project with only an observed field.
    MainWindow small;
    small.Vz_observed = {{1, 2}, {3, 4}};
    small.observed_params = {2, 2, 0, 1, 0, 1};
    small.calc_height = -3;
    QString path = dir.filePath("small.3Dproj");
    QCOMPARE(small.save_project(path), 1);

    MainWindow w;
    populate(w);
    QVERIFY(buildEffects(w));
    w.ui->view_faults->setEnabled(true);
    w.ui->view_profiles->setEnabled(true);
    fake.openNames << path;
    w.on_open_project_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.Vz_observed, small.Vz_observed);
    QVERIFY(w.den_grid.empty() && w.x_calc.empty() && w.x_norm.empty());
    QVERIFY(w.horizons.empty() && w.densities.empty() && w.layers_names.empty() && w.fixed.empty());
    QVERIFY(w.Vz_calculated.empty() && w.calculated_params.empty());
    QVERIFY(w.Vp_grid.empty() && w.Vs_grid.empty() && w.regularizer.empty());
    QVERIFY(w.profiles_scheme.empty() && w.faults.empty());
    QVERIFY(w.effects.empty() && w.layer_effects.empty());
    QCOMPARE(w.calc_height, -3.0);
    QCOMPARE(w.expansion_factor, 1.0);  // only a density block sets it
    QVERIFY(!w.ui->view_faults->isEnabled());
    QVERIFY(!w.ui->view_profiles->isEnabled());
    QCOMPARE(windowTitle(w), QStringLiteral("Tolmera3D small"));
}

// Save, open in a fresh window and save again: every member comes back bit
// for bit and the second file is the first one byte for byte.
void TestProjectCommands::saveOpenSaveIsExact_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("y0");
    QTest::addColumn<int>("horizon_count");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("nan_node");
    QTest::addColumn<int>("reg_levels");
    QTest::addColumn<int>("reg_mode");  // -1: no regularizer
    QTest::addColumn<double>("x_step");
    QTest::addColumn<bool>("used_window");  // the open follows that of another project

    const QString plain = QStringLiteral("Осадки");
    QTest::newRow("one level") << 4 << 3 << 1 << 500000.0 << 6100000.0 << 2 << plain << false << 0 << -1 << 100.0
                               << false;
    QTest::newRow("2x2") << 2 << 2 << 2 << 0.0 << 0.0 << 2 << plain << false << 0 << -1 << 100.0 << false;
    QTest::newRow("coordinates at the limit") << 3 << 2 << 2 << -1e15 << 1e15 - 100 << 2 << plain << false << 0
                                              << -1 << 100.0 << false;
    QTest::newRow("NaN horizon node") << 4 << 3 << 2 << 0.0 << 0.0 << 3 << plain << true << 0 << -1 << 100.0 << false;
    QTest::newRow("name with a NUL") << 3 << 3 << 2 << 0.0 << 0.0 << 2
                                     << (QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << false << 0 << -1
                                     << 100.0 << false;
    QTest::newRow("name with an emoji") << 3 << 3 << 2 << 0.0 << 0.0 << 2 << QString::fromUtf8("Соль \xF0\x9F\xA7\x82")
                                        << false << 0 << -1 << 100.0 << false;
    QTest::newRow("name with a line break") << 3 << 3 << 2 << 0.0 << 0.0 << 2 << QStringLiteral("top\nbottom")
                                            << false << 0 << -1 << 100.0 << false;
    QTest::newRow("no horizons") << 3 << 3 << 2 << 0.0 << 0.0 << 0 << plain << false << 0 << -1 << 100.0 << false;
    QTest::newRow("50 horizons") << 3 << 3 << 2 << 0.0 << 0.0 << 50 << plain << false << 0 << -1 << 100.0 << false;
    QTest::newRow("regularizer as read") << 5 << 4 << 3 << 0.0 << 0.0 << 2 << plain << false << 3 << 0 << 100.0
                                         << false;
    QTest::newRow("regularizer, level means removed") << 5 << 4 << 60 << 0.0 << 0.0 << 2 << plain << false << 60
                                                      << 1 << 100.0 << false;
    QTest::newRow("regularizer, level minima removed") << 5 << 4 << 4 << 0.0 << 0.0 << 2 << plain << false << 4
                                                       << 2 << 100.0 << false;
    QTest::newRow("regularizer of one level") << 2 << 2 << 1 << 0.0 << 0.0 << 0 << plain << false << 1 << 1 << 100.0
                                              << false;
    // A grid of one level has no step: the open gives it none, whatever
    // the window held before.
    QTest::newRow("one level, used window") << 4 << 3 << 1 << 500000.0 << 6100000.0 << 2 << plain << false << 0
                                            << -1 << 100.0 << true;
    QTest::newRow("two levels, used window") << 4 << 3 << 2 << 500000.0 << 6100000.0 << 2 << plain << false << 0
                                             << -1 << 100.0 << true;
    // Nodes 10751.4 + 269 i: the step between the first and last node is
    // not exact in binary, and the last node must not drift from open to open.
    QTest::newRow("drifting axis") << 229 << 3 << 2 << 10751.4 << 6100000.0 << 2 << plain << false << 0 << -1
                                   << 269.0 << false;
}

void TestProjectCommands::saveOpenSaveIsExact()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, x0);
    QFETCH(double, y0);
    QFETCH(int, horizon_count);
    QFETCH(QString, name);
    QFETCH(bool, nan_node);
    QFETCH(int, reg_levels);
    QFETCH(int, reg_mode);
    QFETCH(double, x_step);
    QFETCH(bool, used_window);

    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow a;
    a.language = 1;
    a.den_grid = unevenCube(nx, ny, nz, 0.25);
    // x as an open leaves it: spread from the first node to the last.
    a.x_calc = even_nodes(x0, x0 + x_step * (nx - 1), nx);
    a.y_calc = nodes(std::size_t(ny), y0, 100);
    a.z_calc = nodes(std::size_t(nz), 0, 50);
    a.x_norm = a.x_calc, a.y_norm = a.y_calc, a.z_norm = a.z_calc;
    a.expansion_factor = 0.7;
    a.calc_height = -12.5;
    const std::vector<double> geometry{double(nx), double(ny), a.x_calc.front(), a.x_calc.back(),
                                       a.y_calc.front(), a.y_calc.back()};
    for (int h = 0; h < horizon_count; ++h) {
        field2D depth = make_field(nx, ny, 0.1 + 7.3 * h);
        a.horizons.push_back(depth);
        a.densities.push_back(2.0 + 0.013 * h);
        a.layers_names.push_back(h == horizon_count - 1 ? name : QString::number(h));
        a.fixed.push_back(h % 2 == 1);
    }
    if (nan_node)
        a.horizons.back()[0][1] = std::nan("");
    if (horizon_count > 0)
        a.horizons_params = geometry;
    a.Vz_observed = make_field(nx, ny, -4.1);
    a.observed_params = geometry;
    a.Vz_calculated = make_field(nx, ny, 3.7);
    a.calculated_params = geometry;
    vector3D raw;
    if (reg_mode >= 0) {
        raw = unevenCube(nx, ny, reg_levels, 0.6);
        giveRegularizer(a, raw, reg_mode);
    }

    QString first = dir.filePath("first.3Dproj");
    QCOMPARE(a.save_project(first), 1);
    if (reg_mode >= 0) {
        // The file holds the regularizer exactly as it was read.
        ProjectData d;
        QVERIFY(read_project_file(first, d));
        QVERIFY(sameBits(d.regularizer.cells, raw));
    }

    MainWindow b;
    b.language = 1;
    b.ui->reg_not_recalc->setChecked(reg_mode <= 0);
    b.ui->reg_del_means->setChecked(reg_mode == 1);
    b.ui->reg_del_mins->setChecked(reg_mode == 2);
    if (used_window) {
        // Another project, of levels 25 m apart, open before.
        MainWindow other;
        other.den_grid = make_cube(2, 2, 3);
        other.x_calc = nodes(2, 0, 10), other.y_calc = nodes(2, 0, 10), other.z_calc = nodes(3, 5, 25);
        QString path = dir.filePath("other.3Dproj");
        QCOMPARE(other.save_project(path), 1);
        fake.openNames << path;
        b.on_open_project_triggered();
        QCOMPARE(b.dz, 25.0);
    }
    fake.openNames << first;
    b.on_open_project_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    compareProjects(a, b);
    // The vertical parameters are those of the grid opened; one level has no step.
    QCOMPARE(b.minZ, a.z_calc.front());
    QCOMPARE(b.maxZ, a.z_calc.back());
    QCOMPARE(b.dz, nz > 1 ? 50.0 : 0.0);

    QString second = dir.filePath("second.3Dproj");
    QCOMPARE(b.save_project(second), 1);
    const QByteArray bytes = read_file(first);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(read_file(second) == bytes);
}

// A snapshot of one model never comes back into another: opening a project,
// a new grid, opening a density cube and a regrid empty the undo stack.
// Undo after vertical parameters takes back that rebuild alone, with the
// parameters. Either way the model left agrees with itself: the horizons and
// both fields lie on the density grid's nodes, the vertical parameters are
// those of its levels, and a save and an open give it back.
void TestProjectCommands::undoNeverBringsBackAReplacedModel_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("undoable");
    QTest::newRow("open project") << 0 << false;
    QTest::newRow("new grid") << 1 << false;
    QTest::newRow("open density cube") << 2 << false;
    QTest::newRow("regrid") << 3 << false;
    QTest::newRow("vertical parameters") << 4 << true;
}

void TestProjectCommands::undoNeverBringsBackAReplacedModel()
{
    QFETCH(int, command);
    QFETCH(bool, undoable);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(8, 6, 5, 2.5f);
    w.x_calc = nodes(8, 1000, 100), w.y_calc = nodes(6, 0, 100), w.z_calc = nodes(5, 0, 50);
    w.x_norm = w.x_calc, w.y_norm = w.y_calc, w.z_norm = w.z_calc;
    w.minZ = 0, w.maxZ = 200, w.dz = 50;
    const bool layered = command >= 3;
    if (layered) {
        // Two layers and both fields on the grid's nodes.
        const std::vector<double> lattice{8, 6, 1000, 1700, 0, 500};
        w.horizons = {field2D(6, std::vector<double>(8, 0.0)), field2D(6, std::vector<double>(8, 120.0))};
        w.horizons_params = lattice;
        w.densities = {2.0, 2.5};
        w.fixed = {false, false};
        w.layers_names = {QString(), QString()};
        w.Vz_observed = make_field(8, 6, -3);
        w.observed_params = lattice;
        w.Vz_calculated = make_field(8, 6, 2);
        w.calculated_params = lattice;
    }
    // An edit before the command.
    w.update_undo(1);
    w.den_grid[0][0][0] = 7.f;
    const vector3D edited = w.den_grid;
    QCOMPARE(w.undo_stack.size(), std::size_t(1));

    // The other model: 4 x 3 x 3 from x = -500.
    const vector3D other = make_cube(4, 3, 3, 1.5f);
    const std::vector<double> x = nodes(4, -500, 100), y = nodes(3, 0, 100), z = nodes(3, 0, 50);
    switch (command) {
    case 0: {
        MainWindow source;
        source.den_grid = other;
        source.x_calc = x, source.y_calc = y, source.z_calc = z;
        QString path = dir.filePath("other.3Dproj");
        QCOMPARE(source.save_project(path), 1);
        fake.openNames << path;
        w.on_open_project_triggered();
        break;
    }
    case 1:
        w.create_grid({-500, -200, 100, 0, 200, 100, 0, 100, 50, 1.5, 1.5});
        break;
    case 2: {
        const QString path = dir.filePath("other.3Dgrd");
        QVERIFY(write_cube_file(path, other, x, y, z).ok());
        fake.openNames << path;
        w.on_open3Dgrd_triggered();
        break;
    }
    case 3:
        w.regrid3Dgrid({-500, -200, 100, 0, 200, 100, 0, 100, 50});
        break;
    case 4:
        w.setZparams(0, 240, 40);
        break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));

    if (undoable) {
        // Seven levels 40 m apart on the same nodes; undo takes back this
        // rebuild and its parameters, and only it.
        QCOMPARE(w.z_calc, nodes(7, 0, 40));
        QCOMPARE(w.dz, 40.0);
        QCOMPARE(w.undo_stack.size(), std::size_t(2));
        w.on_actionUndo_triggered();
        QCOMPARE(w.den_grid, edited);
        QCOMPARE(w.x_calc, nodes(8, 1000, 100));
        QCOMPARE(w.z_calc, nodes(5, 0, 50));
        QCOMPARE(w.minZ, 0.0);
        QCOMPARE(w.maxZ, 200.0);
        QCOMPARE(w.dz, 50.0);
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
    } else {
        QCOMPARE(w.x_calc, x);
        QVERIFY(w.undo_stack.empty());
        const vector3D opened = w.den_grid;
        QCOMPARE(opened.size(), std::size_t(3));

        w.on_actionUndo_triggered();
        QCOMPARE(w.den_grid, opened);
        QCOMPARE(w.x_calc, x);
        QCOMPARE(w.y_calc, y);
        QCOMPARE(w.z_calc, z);
    }

    if (layered) {
        // What statistics and the layered inversion ask of the model.
        const std::size_t ny = w.den_grid.front().size(), nx = w.den_grid.front().front().size();
        QVERIFY(horizons_match_grid(w.horizons, w.den_grid));
        QVERIFY(grid_has_shape(w.Vz_observed, ny, nx));
        QVERIFY(grid_has_shape(w.Vz_calculated, ny, nx));
        const std::vector<double> lattice{double(nx), double(ny), w.x_calc.front(), w.x_calc.back(),
                                          w.y_calc.front(), w.y_calc.back()};
        QCOMPARE(w.horizons_params, lattice);
        QCOMPARE(w.observed_params, lattice);
        QCOMPARE(w.calculated_params, lattice);

        // A save and an open give the same model back.
        QString path = dir.filePath("left.3Dproj");
        QCOMPARE(w.save_project(path), 1);
        MainWindow reopened;
        fake.openNames << path;
        reopened.on_open_project_triggered();
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
        QCOMPARE(reopened.den_grid, w.den_grid);
        QCOMPARE(reopened.x_calc, w.x_calc);
        QCOMPARE(reopened.y_calc, w.y_calc);
        QCOMPARE(reopened.z_calc, w.z_calc);
        QCOMPARE(reopened.horizons, w.horizons);
        QCOMPARE(reopened.Vz_observed, w.Vz_observed);
        QCOMPARE(reopened.Vz_calculated, w.Vz_calculated);
        if (undoable) {
            QCOMPARE(reopened.minZ, w.minZ);
            QCOMPARE(reopened.maxZ, w.maxZ);
            QCOMPARE(reopened.dz, w.dz);
            // The next rebuild from the layers builds on the levels restored.
            w.recalc3Dgrid();
            QCOMPARE(w.z_calc, nodes(5, 0, 50));
            w.on_actionUndo_triggered();
            QCOMPARE(w.den_grid, edited);
        }
    }

    // A snapshot taken in the model left still comes back.
    const vector3D now = w.den_grid;
    w.update_undo(1);
    w.den_grid[0][0][0] = 9.f;
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, now);
}

QTEST_MAIN(TestProjectCommands)
#include "tst_project_commands.moc"
