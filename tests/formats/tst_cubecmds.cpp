// Cube open and save commands of the main window, offscreen, with scripted
// file dialogs and message boxes.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "engine/forward.h"
#include "fake_interaction.h"
#include "file_size_limit.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "formats/file_commands.h"
#include "formats/segy.h"
#include "segy_coordinates.h"
#include "test_nodes.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace fmt_test;

namespace {

// A cube file of the given kind ("3Dgrd", "3DGRD", "sgy", "segy") in dir.
QString writeCube(const QTemporaryDir& dir, const QString& name, const QString& suffix, const vector3D& cube,
                  const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z)
{
    const QString path = dir.filePath(name + "." + suffix);
    const CodecStatus s = cube_file_kind(path) == CubeFileKind::SegY ? write_segy_cube(path, cube, x, y, z)
                                                                     : write_cube_file(path, cube, x, y, z);
    return s ? path : QString();
}

// Reads back a cube file of either kind.
bool readBack(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
              std::vector<double>& z)
{
    return cube_file_kind(path) == CubeFileKind::SegY ? bool(read_segy_cube(path, cube, x, y, z))
                                                      : bool(read_cube_file(path, cube, x, y, z));
}

double maxDifference(const vector3D& a, const vector3D& b)
{
    double d = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t j = 0; j < a[k].size(); ++j)
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                d = std::max(d, std::fabs(double(a[k][j][i]) - double(b[k][j][i])));
    return d;
}

bool sameShape(const vector3D& a, const vector3D& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].size() != b[k].size())
            return false;
        for (std::size_t j = 0; j < a[k].size(); ++j)
            if (a[k][j].size() != b[k][j].size())
                return false;
    }
    return true;
}

}  // namespace

class TestCubeCommands : public QObject {
    Q_OBJECT

private slots:
    void openDensity_data();
    void openDensity();
    void openDensityResamplesHorizons();
    void openDensityKeepsEffectsOnlyForTheSameGeometry();
    void openOtherCubes_data();
    void openOtherCubes();
    void openRegularizerNormalises();
    void failedOpenChangesNothing_data();
    void failedOpenChangesNothing();
    void unknownSuffixOnVelocityShowsThePresentCube();
    void saveCubes_data();
    void saveCubes();
    void regularizerRoundTripLeavesItBitIdentical();
    void saveEmptyCube_data();
    void saveEmptyCube();
    void failedSaveIsReported();
    void saveOnAFullDiskKeepsTheOldFile_data();
    void saveOnAFullDiskKeepsTheOldFile();
    void opensRefusedWhileARunIsActive();
    void openDensityCountsNonFiniteCells_data();
    void openDensityCountsNonFiniteCells();
    void openSegyWithTracesAtOnePointIsRefused();
    void openSegyWhateverTheDirection_data();
    void openSegyWhateverTheDirection();
    void regularizerModes();
};

void TestCubeCommands::openDensity_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("own cube") << "3Dgrd";
    QTest::newRow("own cube, suffix in capitals") << "3DGRD";
    QTest::newRow("SEG-Y") << "sgy";
    QTest::newRow("SEG-Y, spelled out in capitals") << "SEGY";
}

void TestCubeCommands::openDensity()
{
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    const vector3D cube = make_cube(10, 20, 5);
    const std::vector<double> x = nodes(10, 1000, 25), y = nodes(20, 5000, 50), z = nodes(5, 0, 50);
    const QString path = writeCube(dir, "density", suffix, cube, x, y, z);
    QVERIFY(!path.isEmpty());

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.alpha_factor = 3;
    w.model_bounds = {{1, 2, 3, 4, 5, 6}};
    w.norm_factors.divisor = {{10, 10, 10}};
    fake.openNames << path;
    w.on_open3Dgrd_triggered();

    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QStringLiteral("open"));
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)"));

    QCOMPARE(w.den_grid, cube);
    QCOMPARE(w.x_calc, x);
    QCOMPARE(w.y_calc, y);
    QCOMPARE(w.z_calc, z);
    QCOMPARE(w.x_norm, w.x_calc);
    QCOMPARE(w.y_norm, w.y_calc);
    QCOMPARE(w.z_norm, w.z_calc);
    // left, right, front, back, top, bottom
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 9, 19, 0, 0, 4}}));
    QCOMPARE(w.progress_label->text(), QStringLiteral("(Nx, Ny, Nz) = (10, 20, 5)"));
    QCOMPARE(w.calculated_params, (std::vector<double>{10, 20, 1000, 1225, 5000, 5950}));
    QCOMPARE(w.alpha_factor, 0.0);
    QCOMPARE(w.norm_factors.divisor, (std::array<double, 3>{{1, 1, 1}}));
    QVERIFY(w.ui->view_dens->isChecked());
    QCOMPARE(w.shown_cube, &w.den_grid);
    QVERIFY(w.progress_bar.isHidden());
    if (cube_file_kind(path) == CubeFileKind::SegY)
        QCOMPARE(w.model_bounds, (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));  // SEG-Y leaves them
    else
        QCOMPARE(w.model_bounds, (std::array<double, 6>{{1000, 1225, 5000, 5950, 0, 200}}));
}

void TestCubeCommands::openDensityResamplesHorizons()
{
    QTemporaryDir dir;
    // Density nodes x 0, 100, 200, 300 and y 0, 100, 200.
    const QString path = writeCube(dir, "d", "3Dgrd", make_cube(4, 3, 3), nodes(4, 0, 100), nodes(3, 0, 100),
                                   nodes(3, 0, 50));
    FakeInteraction fake;
    MainWindow w;
    // Horizons on x 0, 50, ..., 300 and y 0, 50, ..., 200: value 1000 * row + column.
    field2D h(5, std::vector<double>(7));
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 7; ++i)
            h[j][i] = 1000.0 * j + i;
    w.horizons = {field2D(5, std::vector<double>(7, 0.0)), h};
    w.horizons_params = {7, 5, 0, 300, 0, 200, 0, 4006};
    w.densities = {0, 0};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.layer_effects = {field2D(2, std::vector<double>(2, 1.0))};
    fake.openNames << path;
    w.on_open3Dgrd_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.horizons_params, (std::vector<double>{4, 3, 0, 300, 0, 200}));
    // Every density node takes the horizon node at its own position.
    QCOMPARE(w.horizons[1], (field2D{{0, 2, 4, 6}, {2000, 2002, 2004, 2006}, {4000, 4002, 4004, 4006}}));
    QCOMPARE(w.horizons[0], field2D(3, std::vector<double>(4, 0.0)));
    QVERIFY(w.layer_effects.empty());  // built for the old nodes
}

void TestCubeCommands::openDensityKeepsEffectsOnlyForTheSameGeometry()
{
    QTemporaryDir dir;
    const std::vector<double> x = nodes(4, 0, 10), y = nodes(3, 0, 10), z = nodes(3, 0, 10);
    const QString same = writeCube(dir, "same", "3Dgrd", make_cube(4, 3, 3, 9.0f), x, y, z);
    const QString deeper = writeCube(dir, "deeper", "3Dgrd", make_cube(4, 3, 3), x, y, nodes(3, 5, 10));
    const QString larger = writeCube(dir, "larger", "3Dgrd", make_cube(5, 3, 3), nodes(5, 0, 10), y, z);
    FakeInteraction fake;
    MainWindow w;
    w.den_grid = make_cube(4, 3, 3);
    w.x_calc = x, w.y_calc = y, w.z_calc = z;
    ForwardGeometry g;
    QVERIFY(w.modelGeometry(g));
    w.effects = make_operator(8, 8, 3);
    w.effects.key = g.key();

    // New densities on the same nodes: the stored operator still serves.
    fake.openNames << same;
    w.on_open3Dgrd_triggered();
    QCOMPARE(w.effects.quarter, make_operator(8, 8, 3).quarter);
    QVERIFY(w.effects.key.valid);

    for (const QString& other : {deeper, larger}) {
        w.effects = make_operator(8, 8, 3);
        w.effects.key = g.key();
        fake.openNames << other;
        w.on_open3Dgrd_triggered();
        QVERIFY2(w.effects.empty(), qPrintable(other));
        QVERIFY(!w.effects.key.valid);
    }
    QVERIFY(fake.errors().isEmpty());
}

void TestCubeCommands::openOtherCubes_data()
{
    QTest::addColumn<int>("kind");  // 1 Vp, 2 Vs, 3 regularizer
    QTest::addColumn<QString>("suffix");
    for (const char* s : {"3Dgrd", "sgy", "segy"}) {
        QTest::addRow("Vp %s", s) << 1 << s;
        QTest::addRow("Vs %s", s) << 2 << s;
        QTest::addRow("regularizer %s", s) << 3 << s;
    }
}

void TestCubeCommands::openOtherCubes()
{
    QFETCH(int, kind);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    const vector3D cube = make_cube(6, 4, 3);
    const std::vector<double> x = nodes(6, 100, 20), y = nodes(4, 300, 40), z = nodes(3, 10, 10);
    const QString path = writeCube(dir, "c", suffix, cube, x, y, z);
    QVERIFY(!path.isEmpty());
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D density = make_cube(2, 2, 2);
    w.den_grid = density;
    w.x_calc = {0, 1}, w.y_calc = {0, 1}, w.z_calc = {0, 1};
    w.calculated_params = {2, 2, 0, 1, 0, 1};
    w.alpha_factor = 5;
    fake.openNames << path;
    switch (kind) {
    case 1:
        w.on_open_vel_vp_triggered();
        QCOMPARE(w.Vp_grid, cube);
        QCOMPARE(w.x_vp, x);
        QCOMPARE(w.y_vp, y);
        QCOMPARE(w.z_vp, z);
        QVERIFY(w.ui->view_Vp->isChecked());
        QCOMPARE(w.shown_cube, &w.Vp_grid);
        break;
    case 2:
        w.on_open_vel_vs_triggered();
        QCOMPARE(w.Vs_grid, cube);
        QCOMPARE(w.x_vs, x);
        QCOMPARE(w.y_vs, y);
        QCOMPARE(w.z_vs, z);
        QVERIFY(w.ui->view_Vs->isChecked());
        QCOMPARE(w.shown_cube, &w.Vs_grid);
        break;
    case 3:
        w.on_open_regularizer_triggered();
        QVERIFY(sameShape(w.regularizer, cube));
        QCOMPARE(w.x_reg, x);
        QCOMPARE(w.y_reg, y);
        QCOMPARE(w.z_reg, z);
        QVERIFY(w.ui->view_reg->isChecked());
        QCOMPARE(w.shown_cube, &w.regularizer);
        break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 5, 3, 0, 0, 2}}));
    // The density model and what depends on it stay.
    QCOMPARE(w.den_grid, density);
    QCOMPARE(w.x_calc, (std::vector<double>{0, 1}));
    QCOMPARE(w.calculated_params, (std::vector<double>{2, 2, 0, 1, 0, 1}));
    QCOMPARE(w.alpha_factor, 5.0);
}

void TestCubeCommands::openRegularizerNormalises()
{
    QTemporaryDir dir;
    // Raw regularizer: level means 0.2 and 0.4, largest magnitude 0.7.
    const vector3D raw = {{{0.05f, 0.1f, 0.15f}, {0.25f, 0.3f, 0.35f}}, {{-0.3f, 0.4f, 0.5f}, {0.6f, 0.7f, 0.5f}}};
    const QString path = writeCube(dir, "r", "3Dgrd", raw, {0, 1, 2}, {0, 1}, {0, 1});
    FakeInteraction fake;
    MainWindow w;
    // An older normalisation is forgotten: the file holds the raw values.
    w.regularizer_scale = 17;
    w.regularizer_offsets = {1, 2};
    fake.openNames << path;
    w.on_open_regularizer_triggered();
    QVERIFY(w.regularizer_offsets.empty());
    QVERIFY(std::fabs(w.regularizer_scale - 1 / 0.7) < 1e-6);
    QVERIFY(std::fabs(w.regularizer[1][1][1] - 1.0f) < 1e-6);

    // With "delete means" checked the level means are recorded.
    w.ui->reg_del_means->setChecked(true);
    w.ui->reg_not_recalc->setChecked(false);
    fake.openNames << path;
    w.on_open_regularizer_triggered();
    QCOMPARE(w.regularizer_offsets.size(), std::size_t(2));
    QVERIFY(std::fabs(w.regularizer_offsets[0] - 0.2) < 1e-7);
    QVERIFY(std::fabs(w.regularizer_offsets[1] - 0.4) < 1e-7);
    QVERIFY(fake.errors().isEmpty());
}

void TestCubeCommands::failedOpenChangesNothing_data()
{
    QTest::addColumn<int>("kind");       // 0 density, 1 Vp, 2 Vs, 3 regularizer
    QTest::addColumn<int>("fault");      // 0 truncated own cube, 1 missing file, 2 not a SEG-Y file, 3 unknown suffix,
                                         // 4 coordinates the 3D view cannot hold
    QTest::addColumn<QString>("error");  // part of the expected message
    const char* kinds[] = {"density", "Vp", "Vs", "regularizer"};
    for (int k = 0; k < 4; ++k) {
        QTest::addRow("%s, truncated cube file", kinds[k]) << k << 0 << "cut.3Dgrd";
        QTest::addRow("%s, missing file", kinds[k]) << k << 1 << "none.3Dgrd";
        QTest::addRow("%s, not SEG-Y", kinds[k]) << k << 2 << "junk.sgy";
        QTest::addRow("%s, x first 1e39", kinds[k]) << k << 4 << "a coordinate of 1e+39";
    }
    QTest::addRow("density, unknown suffix") << 0 << 3 << "Accepted suffixes: 3Dgrd, sgy, segy (in any case)";
    QTest::addRow("regularizer, unknown suffix") << 3 << 3 << "the suffix \"dat\" is not read here";
}

void TestCubeCommands::failedOpenChangesNothing()
{
    QFETCH(int, kind);
    QFETCH(int, fault);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QString path;
    switch (fault) {
    case 0:
        path = writeCube(dir, "cut", "3Dgrd", make_cube(4, 3, 5), nodes(4, 0, 1), nodes(3, 0, 1), nodes(5, 0, 1));
        QVERIFY(write_file(path, read_file(path).left(60 + 4 * 30)));
        break;
    case 1:
        path = dir.filePath("none.3Dgrd");
        break;
    case 2:
        path = dir.filePath("junk.sgy");
        QVERIFY(write_file(path, QByteArray(5000, 'x')));
        break;
    case 3:
        path = writeCube(dir, "cube", "3Dgrd", make_cube(4, 3, 5), nodes(4, 0, 1), nodes(3, 0, 1), nodes(5, 0, 1));
        QVERIFY(QFile::rename(path, dir.filePath("cube.dat")));
        path = dir.filePath("cube.dat");
        break;
    case 4:
        path = writeCube(dir, "far", "3Dgrd", make_cube(4, 3, 5), {1e39, 1e39, 1e39, 1e39}, nodes(3, 0, 1),
                         nodes(5, 0, 1));
        break;
    }
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D old = make_cube(2, 3, 2, 7.0f);
    w.den_grid = w.Vp_grid = w.Vs_grid = w.regularizer = old;
    w.x_calc = w.x_norm = w.x_vp = w.x_vs = w.x_reg = {5, 6};
    w.y_calc = w.y_norm = w.y_vp = w.y_vs = w.y_reg = {1, 2, 3};
    w.z_calc = w.z_norm = w.z_vp = w.z_vs = w.z_reg = {0, 9};
    w.crop_borders = {{1, 1, 1, 1, 1, 1}};
    w.model_bounds = {{1, 2, 3, 4, 5, 6}};
    w.calculated_params = {2, 3, 5, 6, 1, 3};
    w.alpha_factor = 4;
    w.regularizer_scale = 0.5;
    w.regularizer_offsets = {0.1, 0.2};
    w.effects = make_operator(4, 4, 2);
    fake.openNames << path;
    switch (kind) {
    case 0: w.on_open3Dgrd_triggered(); break;
    case 1: w.on_open_vel_vp_triggered(); break;
    case 2: w.on_open_vel_vs_triggered(); break;
    case 3: w.on_open_regularizer_triggered(); break;
    }
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains(error), qPrintable(fake.errors()[0]));
    QVERIFY(fake.messages().isEmpty());
    for (const vector3D* c : {&w.den_grid, &w.Vp_grid, &w.Vs_grid, &w.regularizer})
        QCOMPARE(*c, old);
    for (const std::vector<double>* v : {&w.x_calc, &w.x_norm, &w.x_vp, &w.x_vs, &w.x_reg})
        QCOMPARE(*v, (std::vector<double>{5, 6}));
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{1, 1, 1, 1, 1, 1}}));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));
    QCOMPARE(w.calculated_params, (std::vector<double>{2, 3, 5, 6, 1, 3}));
    QCOMPARE(w.alpha_factor, 4.0);
    QCOMPARE(w.regularizer_scale, 0.5);
    QCOMPARE(w.regularizer_offsets, (std::vector<double>{0.1, 0.2}));
    QCOMPARE(w.effects.quarter, make_operator(4, 4, 2).quarter);
    QVERIFY(w.progress_bar.isHidden());
}

void TestCubeCommands::unknownSuffixOnVelocityShowsThePresentCube()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vp.dat");
    QVERIFY(write_file(path, "whatever"));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    // No Vp cube yet: only the suffixes that are read (no second box about
    // the missing cube from the view switch), and the view stays as it was.
    w.ui->view_dens->setChecked(true);
    fake.openNames << path;
    w.on_open_vel_vp_triggered();
    const QString refused = "File \"" + QDir::toNativeSeparators(path) +
                            "\" was not opened: the suffix \"dat\" is not read here. Accepted suffixes: 3Dgrd, sgy, "
                            "segy (in any case).";
    QCOMPARE(fake.errors(), (QStringList{refused}));
    QVERIFY(w.Vp_grid.empty());
    QVERIFY(!w.ui->view_Vp->isChecked());
    QVERIFY(w.ui->view_dens->isChecked());
    // With a Vs cube loaded it is shown again, its crop reset.
    fake.clear();
    w.Vs_grid = make_cube(3, 2, 4);
    w.x_vs = {0, 1, 2}, w.y_vs = {0, 1}, w.z_vs = {0, 1, 2, 3};
    w.crop_borders = {{1, 1, 1, 1, 1, 1}};
    fake.openNames << dir.filePath("vs.DAT");
    w.on_open_vel_vs_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("\"DAT\" is not read here. Accepted suffixes: 3Dgrd, sgy, segy"));
    QCOMPARE(w.Vs_grid, make_cube(3, 2, 4));
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 2, 1, 0, 0, 3}}));
    QVERIFY(w.ui->view_Vs->isChecked());
}

void TestCubeCommands::saveCubes_data()
{
    QTest::addColumn<int>("kind");  // 0 density, 1 Vp
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("notice");
    for (const char* s : {"3Dgrd", "sgy", "SGY", "segy"}) {
        QTest::addRow("density %s", s) << 0 << s << "Density model has been saved";
        QTest::addRow("Vp %s", s) << 1 << s << "Vp model has been saved";
    }
}

void TestCubeCommands::saveCubes()
{
    QFETCH(int, kind);
    QFETCH(QString, suffix);
    QFETCH(QString, notice);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D cube = make_cube(5, 4, 3);
    const std::vector<double> x = nodes(5, 100, 10), y = nodes(4, 200, 20), z = nodes(3, 0, 5);
    if (kind == 0)
        w.den_grid = cube, w.x_calc = x, w.y_calc = y, w.z_calc = z;
    else
        w.Vp_grid = cube, w.x_vp = x, w.y_vp = y, w.z_vp = z;
    const QString path = dir.filePath("out." + suffix);
    fake.saveNames << path;
    if (kind == 0)
        w.on_save3Dgrid_triggered();
    else
        w.on_save_3D_vel_grid_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{notice});
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)"));
    QVERIFY(w.progress_bar.isHidden());
    vector3D back;
    std::vector<double> bx, by, bz;
    QVERIFY(readBack(path, back, bx, by, bz));
    QCOMPARE(back, cube);
    QCOMPARE(bx, x);
        QCOMPARE(by, y);
        QCOMPARE(bz, z);
    // The written format is the one the suffix names.
    const QByteArray bytes = read_file(path);
    if (cube_file_kind(path) == CubeFileKind::SegY)
        QCOMPARE(bytes.size(), 3600 + 5 * 4 * (240 + 3 * 4));
    else
        QCOMPARE(bytes.size(), 60 + 5 * 4 * 3 * 4);
}

void TestCubeCommands::regularizerRoundTripLeavesItBitIdentical()
{
    QTemporaryDir dir;
    const vector3D raw = make_cube(5, 4, 3, -1500.0f);
    const QString in = writeCube(dir, "in", "3Dgrd", raw, nodes(5, 0, 1), nodes(4, 0, 1), nodes(3, 0, 1));
    for (QAction* (MainWindowForm::*mode) : {&MainWindowForm::reg_not_recalc, &MainWindowForm::reg_del_means,
                                             &MainWindowForm::reg_del_mins}) {
        for (const char* suffix : {"3Dgrd", "sgy"}) {
            FakeInteraction fake;
            MainWindow w;
            w.language = 1;
            for (QAction* a : {w.ui->reg_not_recalc, w.ui->reg_del_means, w.ui->reg_del_mins})
                a->setChecked(a == w.ui->*mode);
            fake.openNames << in;
            w.on_open_regularizer_triggered();
            const vector3D loaded = w.regularizer;
            const std::vector<double> offsets = w.regularizer_offsets;
            const double scale = w.regularizer_scale;
            const QString out = dir.filePath(QString("out.") + suffix);
            fake.saveNames << out;
            w.on_save_regularizer_triggered();
            QCOMPARE(fake.messages(), QStringList{"Regularizer has been saved"});
            // Saving changes nothing in memory, not even by rounding.
            QCOMPARE(w.regularizer, loaded);
            QCOMPARE(w.regularizer_offsets, offsets);
            QCOMPARE(w.regularizer_scale, scale);
            // The file holds the values that were read, up to float rounding.
            vector3D back;
            std::vector<double> x, y, z;
            QVERIFY(readBack(out, back, x, y, z));
            QVERIFY(sameShape(back, raw));
            QVERIFY2(maxDifference(back, raw) <= 3000 * 4e-7, qPrintable(QString::number(maxDifference(back, raw))));
        }
    }
}

void TestCubeCommands::saveEmptyCube_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("error");
    QTest::newRow("density") << 0 << 1 << "3D density grid is empty";
    QTest::newRow("density, Russian") << 0 << 0 << QString::fromUtf8("3D грид плотности пуст");
    QTest::newRow("Vp") << 1 << 1 << "3D Vp grid is empty";
    QTest::newRow("Vp, Russian") << 1 << 0 << QString::fromUtf8("3D грид Vp пуст");
    QTest::newRow("regularizer") << 2 << 1 << "Regularizer is empty";
    QTest::newRow("regularizer, Russian") << 2 << 0 << QString::fromUtf8("Регуляризатор не загружен в проект");
}

void TestCubeCommands::saveEmptyCube()
{
    QFETCH(int, kind);
    QFETCH(int, language);
    QFETCH(QString, error);
    FakeInteraction fake;
    MainWindow w;
    w.language = language;
    fake.saveNames << "/tmp/never-written.3Dgrd";
    switch (kind) {
    case 0: w.on_save3Dgrid_triggered(); break;
    case 1: w.on_save_3D_vel_grid_triggered(); break;
    case 2: w.on_save_regularizer_triggered(); break;
    }
    QCOMPARE(fake.errors(), QStringList{error});
    QVERIFY(fake.fileRequests.isEmpty());  // no dialog
}

void TestCubeCommands::failedSaveIsReported()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(3, 3, 3);
    w.x_calc = nodes(3, 0, 1), w.y_calc = nodes(3, 0, 1), w.z_calc = nodes(3, 0, 1);

    // A folder that does not exist, in both formats: an error naming the file, no notice.
    for (const char* name : {"missing/d.3Dgrd", "missing/d.sgy"}) {
        fake.clear();
        fake.saveNames << dir.filePath(name);
        w.on_save3Dgrid_triggered();
        QCOMPARE(fake.messages(), QStringList());
        QCOMPARE(fake.errors().size(), 1);
        QVERIFY2(fake.errors()[0].contains(QFileInfo(name).fileName()), qPrintable(fake.errors()[0]));
    }
    // A cube SEG-Y cannot hold (depths that fall from level to level) leaves
    // the old file.
    const QString old = dir.filePath("old.sgy");
    QVERIFY(write_file(old, "previous contents"));
    w.z_calc = nodes(3, 200, -100);
    fake.clear();
    fake.saveNames << old;
    w.on_save3Dgrid_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("old.sgy"), qPrintable(fake.errors()[0]));
    QCOMPARE(read_file(old), QByteArray("previous contents"));
    QVERIFY(w.progress_bar.isHidden());

    // A name with another suffix: nothing written, the reason shown.
    fake.clear();
    fake.saveNames << dir.filePath("d.txt");
    w.on_save3Dgrid_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("d.txt"));
    QVERIFY(!QFile::exists(dir.filePath("d.txt")));
}

void TestCubeCommands::saveOnAFullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<int>("kind");  // 0 density, 1 Vp, 2 regularizer
    QTest::addColumn<QString>("suffix");
    const char* kinds[] = {"density", "Vp", "regularizer"};
    for (int k = 0; k < 3; ++k)
        for (const char* suffix : {"3Dgrd", "sgy"})
            QTest::addRow("%s, %s", kinds[k], suffix) << k << QString(suffix);
}

// A device that refuses the bytes: the cause is shown instead of the saved
// notice, and the file already there keeps its bytes.
void TestCubeCommands::saveOnAFullDiskKeepsTheOldFile()
{
    QFETCH(int, kind);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D cube = make_cube(16, 16, 16);
    w.den_grid = w.Vp_grid = w.regularizer = cube;
    w.x_calc = w.x_vp = w.x_reg = nodes(16, 1000, 50);
    w.y_calc = w.y_vp = w.y_reg = nodes(16, 2000, 50);
    w.z_calc = w.z_vp = w.z_reg = nodes(16, 0, 25);
    w.regularizer_scale = 1;
    const QString path = dir.filePath("old." + suffix);
    const QByteArray old_bytes = "a good file of another cube";
    QVERIFY(write_file(path, old_bytes));
    fake.saveNames << path;
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        switch (kind) {
        case 0: w.on_save3Dgrid_triggered(); break;
        case 1: w.on_save_3D_vel_grid_triggered(); break;
        case 2: w.on_save_regularizer_triggered(); break;
        }
    }
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("old." + suffix), qPrintable(fake.errors()[0]));
    QVERIFY2(fake.errors()[0].contains("File too large"), qPrintable(fake.errors()[0]));
    QCOMPARE(read_file(path), old_bytes);
    QCOMPARE(files_in(dir.path()), QStringList{"old." + suffix});
    QVERIFY(w.progress_bar.isHidden());
    QCOMPARE(w.regularizer, cube);
}

void TestCubeCommands::openDensityCountsNonFiniteCells_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("own cube") << "3Dgrd";
    QTest::newRow("SEG-Y") << "sgy";
}

// Cells without a finite value are read as they are and counted on the
// status line; the misfit of the replaced grid goes.
void TestCubeCommands::openDensityCountsNonFiniteCells()
{
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    vector3D cube = make_cube(4, 3, 2);
    cube[0][1][2] = std::numeric_limits<float>::quiet_NaN();
    cube[1][0][0] = std::numeric_limits<float>::infinity();
    cube[1][2][3] = std::numeric_limits<float>::quiet_NaN();
    const QString path = writeCube(dir, "density", suffix, cube, nodes(4, 0, 100), nodes(3, 0, 100), nodes(2, 0, 50));
    QVERIFY(!path.isEmpty());

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.misfit_label->setText("0.020 mGal; 0.6 %");
    fake.openNames << path;
    w.on_open3Dgrd_triggered();

    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QVERIFY(std::isnan(w.den_grid[0][1][2]));
    QVERIFY(std::isinf(w.den_grid[1][0][0]));
    QCOMPARE(w.progress_label->text(),
             QStringLiteral("(Nx, Ny, Nz) = (4, 3, 2); cells read without a finite value (NaN or infinity): 3"));
    QCOMPARE(w.misfit_label->text(), QString());

    // The other cubes' opens say it too.
    fake.openNames << path;
    w.on_open_vel_vp_triggered();
    QCOMPARE(w.progress_label->text(),
             QStringLiteral("(Nx, Ny, Nz) = (4, 3, 2); cells read without a finite value (NaN or infinity): 3"));
}

// A SEG-Y file whose group coordinates are all 0 while the CDP and source
// coordinates hold the positions is refused with the bytes named; the
// project keeps its grid.
void TestCubeCommands::openSegyWithTracesAtOnePointIsRefused()
{
    QTemporaryDir dir;
    const int nx = 4, ny = 3, nz = 2;
    const QString path = writeCube(dir, "flat", "sgy", make_cube(nx, ny, nz), nodes(nx, 1000, 100), nodes(ny, 5000, 100),
                                   nodes(nz, 0, 50));
    QVERIFY(!path.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const int trace_bytes = 240 + 4 * nz;
    for (int t = 0; t < nx * ny; ++t)
        bytes.replace(3600 + t * trace_bytes + 80, 8, QByteArray(8, '\0'));  // bytes 81-88
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
    file.close();

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(2, 2, 2);
    w.x_calc = nodes(2, 0, 1);
    w.y_calc = nodes(2, 0, 1);
    w.z_calc = nodes(2, 0, 1);
    const vector3D before = w.den_grid;
    w.progress_label->setText("(Nx, Ny, Nz) = (2, 2, 2)");
    fake.openNames << path;
    w.on_open3Dgrd_triggered();

    QCOMPARE(fake.errors().size(), 1);
    const QString error = fake.errors()[0];
    QVERIFY2(error.contains("group coordinates (bytes 81-88 of the trace headers), stay the same along the lines or "
                            "from line to line"),
             qPrintable(error));
    QVERIFY2(error.contains("the CDP coordinates (bytes 181-188) and the source coordinates (bytes 73-80) do not"),
             qPrintable(error));
    QCOMPARE(w.den_grid, before);
    QCOMPARE(w.x_calc, nodes(2, 0, 1));
    QCOMPARE(w.progress_label->text(), QStringLiteral("(Nx, Ny, Nz) = (2, 2, 2)"));
}

void TestCubeCommands::openSegyWhateverTheDirection_data()
{
    QTest::addColumn<int>("kind");  // 0 density, 1 Vp, 2 Vs, 3 regularizer, 4 Vp converted to density
    QTest::addColumn<bool>("x_falls");
    QTest::addColumn<bool>("y_falls");
    QTest::addColumn<double>("rotation");  // of the survey's lines, degrees
    QTest::addColumn<QString>("note");     // on the status line
    const QString rows = "rows read in reverse order", columns = "columns read in reverse order",
                  both = "rows and columns read in reverse order";
    QTest::newRow("density, y falls") << 0 << false << true << 0.0 << rows;
    QTest::newRow("Vp, x falls") << 1 << true << false << 0.0 << columns;
    QTest::newRow("Vs, both fall") << 2 << true << true << 0.0 << both;
    QTest::newRow("regularizer, both fall") << 3 << true << true << 0.0 << both;
    QTest::newRow("Vp, both fall, converted by Gardner's formula") << 4 << true << true << 0.0 << both;
    QTest::newRow("density, rotated by 30 degrees") << 0 << false << false << 30.0 << QString();
}

// A SEG-Y cube whose x falls along the lines or y from line to line opens
// with increasing nodes, each cell at its trace's coordinates, and the
// status line says what was reversed; a rotated survey opens with a message
// naming its angle.
void TestCubeCommands::openSegyWhateverTheDirection()
{
    QFETCH(int, kind);
    QFETCH(bool, x_falls);
    QFETCH(bool, y_falls);
    QFETCH(double, rotation);
    QFETCH(QString, note);
    const int nx = 5, ny = 4, nz = 3;
    const std::vector<double> x = nodes(nx, 1000, 100), y = nodes(ny, 5000, 100), z = nodes(nz, 0, 10);
    // A cell's value tells its node's coordinates.
    auto value = [](double xv, double yv, int k) { return 2000.0 + 1000 * k + (xv - 1000) + 0.1 * (yv - 5000); };
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    vector3D in_file = cube;  // trace (i, j) of the file in row i, column j
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < ny; ++i)
            for (int j = 0; j < nx; ++j) {
                cube[k][i][j] = float(value(x[j], y[i], k));
                in_file[k][i][j] = float(value(x[x_falls ? nx - 1 - j : j], y[y_falls ? ny - 1 - i : i], k));
            }
    QTemporaryDir dir;
    const QString path = writeCube(dir, "turned", "sgy", in_file, x, y, z);
    QVERIFY(!path.isEmpty());
    const double a = rotation * M_PI / 180;
    QVERIFY(set_segy_coordinates(path, nx, ny, [&](int i, int j) {
        const double xv = x[x_falls ? nx - 1 - j : j], yv = y[y_falls ? ny - 1 - i : i];
        return QPointF(1000 + (xv - 1000) * std::cos(a) - (yv - 5000) * std::sin(a),
                       5000 + (xv - 1000) * std::sin(a) + (yv - 5000) * std::cos(a));
    }));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << path;
    const vector3D* read = nullptr;
    const std::vector<double>*read_x = nullptr, *read_y = nullptr;
    switch (kind) {
    case 0:
        w.on_open3Dgrd_triggered();
        read = &w.den_grid, read_x = &w.x_calc, read_y = &w.y_calc;
        break;
    case 1:
    case 4:
        w.on_open_vel_vp_triggered();
        read = &w.Vp_grid, read_x = &w.x_vp, read_y = &w.y_vp;
        break;
    case 2:
        w.on_open_vel_vs_triggered();
        read = &w.Vs_grid, read_x = &w.x_vs, read_y = &w.y_vs;
        break;
    case 3:
        w.on_open_regularizer_triggered();
        read = &w.regularizer_read, read_x = &w.x_reg, read_y = &w.y_reg;
        break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    const QString status = w.progress_label->text();
    if (note.isEmpty())
        QVERIFY2(!status.contains("reverse"), qPrintable(status));
    else
        QVERIFY2(status.startsWith("(Nx, Ny, Nz) = (5, 4, 3); " + note), qPrintable(status));
    if (rotation == 0) {
        QVERIFY2(fake.messages().isEmpty(), qPrintable(fake.messages().join("\n")));
        QCOMPARE(*read, cube);
        QCOMPARE(*read_x, x);
        QCOMPARE(*read_y, y);
    } else {
        QCOMPARE(fake.messages().size(), 1);
        QVERIFY2(fake.messages()[0].contains("turned.sgy\" is rotated by about 30\u00b0"), qPrintable(fake.messages()[0]));
        QVERIFY2(fake.messages()[0].contains("the cube is placed on the axis-aligned grid between the first and the "
                                             "last traces' coordinates (x 1000 to 1346, y 5000 to 5460)"),
                 qPrintable(fake.messages()[0]));
        QCOMPARE(read_x->front(), 1000.0);
        QCOMPARE(read_y->front(), 5000.0);
        QCOMPARE((*read)[2][0][0], cube[2][0][0]);
        QCOMPARE((*read)[2][ny - 1][nx - 1], cube[2][ny - 1][nx - 1]);
    }
    if (kind == 4) {
        // Converted, the density keeps the velocity's coordinates.
        w.on_gardner_formula_triggered();
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
        QCOMPARE(w.x_calc, x);
        QCOMPARE(w.y_calc, y);
        QCOMPARE(w.z_calc, z);
        for (int k = 0; k < nz; ++k)
            for (int i = 0; i < ny; ++i)
                for (int j = 0; j < nx; ++j) {
                    const double expected = 0.31 * std::pow(value(x[j], y[i], k), 0.25);
                    QVERIFY2(std::fabs(w.den_grid[k][i][j] - expected) < 1e-6 * expected,
                             qPrintable(QString("%1 %2 %3: %4").arg(k).arg(i).arg(j).arg(w.den_grid[k][i][j])));
                }
    }
}

void TestCubeCommands::opensRefusedWhileARunIsActive()
{
    QTemporaryDir dir;
    const QString path = writeCube(dir, "d", "3Dgrd", make_cube(3, 3, 3), nodes(3, 0, 1), nodes(3, 0, 1), nodes(3, 0, 1));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D old = make_cube(2, 2, 2);
    w.den_grid = w.Vp_grid = w.Vs_grid = w.regularizer = old;
    {
        RunGuard run(&w, RunKind::Forward);
        QVERIFY(bool(run));
        using Slot = void (MainWindow::*)();
        for (Slot open : {&MainWindow::on_open3Dgrd_triggered, &MainWindow::on_open_vel_vp_triggered,
                          &MainWindow::on_open_vel_vs_triggered, &MainWindow::on_open_regularizer_triggered,
                          &MainWindow::on_reg_del_means_triggered}) {
            fake.openNames = QStringList{path};
            (w.*open)();
        }
        QCOMPARE(fake.errors().size(), 5);
        QVERIFY(fake.fileRequests.isEmpty());
    }
    for (const vector3D* c : {&w.den_grid, &w.Vp_grid, &w.Vs_grid, &w.regularizer})
        QCOMPARE(*c, old);
    QVERIFY(!w.ui->reg_del_means->isChecked());
    // Saving only reads: allowed during a run.
    {
        RunGuard run(&w, RunKind::Forward);
        fake.clear();
        w.x_calc = w.y_calc = w.z_calc = {0, 1};
        fake.saveNames << dir.filePath("during.3Dgrd");
        w.on_save3Dgrid_triggered();
        QCOMPARE(fake.errors(), QStringList());
        QCOMPARE(fake.messages(), QStringList{"Density model has been saved"});
    }
}

void TestCubeCommands::regularizerModes()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    const vector3D raw = {{{0.05f, 0.1f, 0.15f}, {0.25f, 0.3f, 0.35f}}, {{-0.3f, 0.4f, 0.5f}, {0.6f, 0.7f, 0.5f}}};
    w.regularizer = raw;
    w.x_reg = {0, 1, 2}, w.y_reg = {0, 1}, w.z_reg = {0, 1};
    w.on_reg_del_means_triggered();
    QVERIFY(w.ui->reg_del_means->isChecked());
    QVERIFY(!w.ui->reg_not_recalc->isChecked() && !w.ui->reg_del_mins->isChecked());
    QCOMPARE(w.regularizer_offsets.size(), std::size_t(2));
    QVERIFY(std::fabs(w.regularizer_offsets[1] - 0.4) < 1e-7);
    QVERIFY(w.ui->view_reg->isChecked());

    w.on_reg_del_mins_triggered();
    const vector3D mins = w.regularizer;
    w.on_reg_del_mins_triggered();  // choosing it again keeps it checked and the grid
    QVERIFY(w.ui->reg_del_mins->isChecked());
    QVERIFY(maxDifference(w.regularizer, mins) < 1e-6);

    // "Initial" gives back the loaded grid over its largest magnitude.
    w.on_reg_not_recalc_triggered();
    QVERIFY(w.ui->reg_not_recalc->isChecked());
    QVERIFY(w.regularizer_offsets.empty());
    vector3D expected = raw;
    for (auto& level : expected)
        for (auto& row : level)
            for (float& v : row)
                v = float(v / 0.7);
    QVERIFY(maxDifference(w.regularizer, expected) < 1e-6);
    QVERIFY(fake.errors().isEmpty());

    // Without a regularizer the view reports it.
    w.regularizer.clear();
    w.on_reg_del_means_triggered();
    QCOMPARE(fake.errors(), QStringList{"Regularizer is empty"});
}

QTEST_MAIN(TestCubeCommands)
#include "tst_cubecmds.moc"
