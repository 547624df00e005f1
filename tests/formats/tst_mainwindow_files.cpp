// The main window's file slots: own cube files, section grids and effects files,
// offscreen with scripted message boxes and file dialogs.
#include "app/mainwindow.h"
#include "engine/forward.h"
#include "fake_interaction.h"
#include "test_nodes.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/progress_bar_scope.h"
#include "formats/surfer_grid.h"

#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace fmt_test;

class TestMainWindowFiles : public QObject {
    Q_OBJECT

private slots:
    void importCube();
    void importFailureChangesNothing();
    void exportCube();
    void exportFailureIsReported();
    void sectionGrid();
    void effectsExportImport();
    void effectsExportWithoutImaginaryParts();
    void effectsImportRefusals_data();
    void effectsImportRefusals();
    void effectsExportRefusedWithoutEffects();
    void progressBarScope();
};

void TestMainWindowFiles::importCube()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vp.3Dgrd");
    const vector3D cube = make_cube(4, 3, 5);
    QVERIFY(write_cube_file(path, cube, {10, 20, 30, 40}, {100, 150, 200}, {0, 10, 20, 30, 40}));
    FakeInteraction fake;
    MainWindow w;
    QVERIFY(w.import3Dgrid(path, w.Vp_grid, w.x_vp, w.y_vp, w.z_vp));
    QCOMPARE(w.Vp_grid, cube);
    QCOMPARE(w.x_vp, (std::vector<double>{10, 20, 30, 40}));
    QCOMPARE(w.y_vp, (std::vector<double>{100, 150, 200}));
    QCOMPARE(w.z_vp.back(), 40.0);
    // Every cube read sets the model bounds, whatever cube it fills.
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{10, 40, 100, 200, 0, 40}}));
    QVERIFY(w.progress_bar.isHidden());
    QVERIFY(fake.notes.isEmpty());
}

void TestMainWindowFiles::importFailureChangesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.3Dgrd");
    QVERIFY(write_cube_file(path, make_cube(4, 3, 5), {0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2, 3, 4}));
    QVERIFY(write_file(path, read_file(path).left(60 + 4 * 30)));
    FakeInteraction fake;
    MainWindow w;
    w.den_grid = make_cube(2, 2, 2);
    w.x_norm = {5, 6};
    w.model_bounds = {{1, 2, 3, 4, 5, 6}};
    const vector3D before = w.den_grid;
    QVERIFY(!w.import3Dgrid(path, w.den_grid, w.x_norm, w.y_norm, w.z_norm));
    QCOMPARE(w.den_grid, before);
    QCOMPARE(w.x_norm, (std::vector<double>{5, 6}));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("cut.3Dgrd"));
    QVERIFY(w.progress_bar.isHidden());

    // Russian messages follow the language; a missing file is reported too.
    fake.clear();
    w.language = 0;
    QVERIFY(!w.import3Dgrid(dir.filePath("none.3Dgrd"), w.den_grid, w.x_norm, w.y_norm, w.z_norm));
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].startsWith(QStringLiteral("Не удалось открыть файл")));
}

void TestMainWindowFiles::exportCube()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.3Dgrd");
    FakeInteraction fake;
    MainWindow w;
    w.den_grid = make_cube(3, 2, 4);
    w.x_calc = {0, 50, 100};
    w.y_calc = {0, 50};
    w.z_calc = {0, 100, 200, 300};
    QVERIFY(w.export3Dgrid(path, w.den_grid, w.x_calc, w.y_calc, w.z_calc));
    QVERIFY(w.progress_bar.isHidden());
    vector3D back;
    std::vector<double> x, y, z;
    QVERIFY(read_cube_file(path, back, x, y, z));
    QCOMPARE(back, w.den_grid);
    QVERIFY(fake.notes.isEmpty());
}

void TestMainWindowFiles::exportFailureIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.3Dgrd");
    QVERIFY(write_file(path, "old"));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    vector3D ragged = make_cube(3, 2, 2);
    ragged[1][0].pop_back();
    QVERIFY(!w.export3Dgrid(path, ragged, {0, 1, 2}, {0, 1}, {0, 1}));
    QCOMPARE(fake.errors().size(), 1);
    QCOMPARE(read_file(path), QByteArray("old"));
    QVERIFY(!w.export3Dgrid(dir.filePath("missing/dir/x.3Dgrd"), make_cube(2, 2, 2), {0, 1}, {0, 1}, {0, 1}));
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(fake.errors()[1].contains("x.3Dgrd"));
}

void TestMainWindowFiles::sectionGrid()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    field2D grid = make_field(5, 3);
    std::vector<double> params{5, 3, 0, 400, -1000, 0};
    QCOMPARE(w.saveSRF(dir.filePath("s.grd"), grid, params), QString());
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(dir.filePath("s.grd"), back, p));
    QCOMPARE(back, grid);
    QVERIFY(fake.notes.isEmpty());
    // One row cannot be written: nothing written, the reason handed back to
    // the section's export (which names it in its one message).
    field2D row(1, std::vector<double>(5, 1.0));
    w.language = 1;
    const QString why = w.saveSRF(dir.filePath("row.grd"), row, params);
    QVERIFY2(why.contains("1 row(s) and 5 column(s)"), qPrintable(why));
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath("row.grd")));
}

namespace {

// A density grid whose padded grid is nx x ny (expansion factor 0, powers of
// two) with nz levels; the stored operator, when given, is keyed for it.
void giveGridFor(MainWindow& w, int nx, int ny, int nz)
{
    w.den_grid = make_cube(nx, ny, nz);
    w.x_calc = nodes(std::size_t(nx), 0, 50);
    w.y_calc = nodes(std::size_t(ny), 0, 50);
    w.z_calc = nodes(std::size_t(nz), 0, 25);
    w.expansion_factor = 0;
    ForwardGeometry g;
    QVERIFY(w.modelGeometry(g));
    QCOMPARE(g.Mx, nx);
    QCOMPARE(g.My, ny);
    if (!w.effects.empty())
        w.effects.key = g.key();
}

// The operator the engine builds for the window's grid.
EffectsOperator operatorFor(const MainWindow& w)
{
    ForwardGeometry g;
    EffectsOperator e;
    if (w.modelGeometry(g))
        build_effects(g, e, 1);
    return e;
}

}  // namespace

void TestMainWindowFiles::effectsExportImport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff"), again = dir.filePath("again.eff");
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveGridFor(w, 8, 4, 3);
    w.effects = operatorFor(w);
    w.effects.im = make_cube(8, 4, 3, -5.0f);
    fake.saveNames << path;
    w.on_save_effects_triggered();
    QCOMPARE(fake.messages(), QStringList{"Effects saved"});
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.eff"));
    QCOMPARE(QFileInfo(path).size(), 12 + 8 * 4 * 3 * 16);
    // The full grids, as they always were written.
    QVERIFY(read_file(path) == effects_file_bytes(expanded(w.effects), w.effects.im));

    // A window without a density grid of the file's sizes refuses the file.
    MainWindow other;
    other.language = 0;
    fake.clear();
    fake.openNames << path;
    other.on_import_effects_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(other.effects.empty());
    // With such a grid the operator is taken and keyed for it.
    giveGridFor(other, 8, 4, 3);
    fake.clear();
    fake.openNames << path;
    other.on_import_effects_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(other.effects.quarter, w.effects.quarter);
    QCOMPARE(other.effects.im, w.effects.im);
    QVERIFY(other.effectsMatchModel());
    // Export, import, export: bit for bit.
    fake.clear();
    fake.saveNames << again;
    other.on_save_effects_triggered();
    QCOMPARE(fake.errors().size(), 0);
    QVERIFY(read_file(again) == read_file(path));

    // Russian notice.
    fake.clear();
    w.language = 0;
    fake.saveNames << path;
    w.on_save_effects_triggered();
    QCOMPARE(fake.messages(), QStringList{QStringLiteral("Эффекты сохранены")});
    // Cancelled dialogs do nothing.
    fake.clear();
    w.on_save_effects_triggered();
    other.on_import_effects_triggered();
    QVERIFY(fake.notes.isEmpty());
}

// A built or project-loaded operator has no imaginary parts: 0.0 is written.
void TestMainWindowFiles::effectsExportWithoutImaginaryParts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.eff");
    FakeInteraction fake;
    MainWindow w;
    w.effects = make_operator(4, 4, 2);
    giveGridFor(w, 4, 4, 2);
    fake.saveNames << path;
    w.on_save_effects_triggered();
    QCOMPARE(fake.messages().size(), 1);
    QVERIFY(read_file(path) == effects_file_bytes(expanded(w.effects)));
    EffectsOperator back;
    QVERIFY(read_effects_file(path, back));
    QCOMPARE(back.quarter, w.effects.quarter);
    QVERIFY(back.im.empty());
}

void TestMainWindowFiles::effectsImportRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("detail");
    QTest::newRow("half the values") << "half" << false << "";
    QTest::newRow("not even") << "uneven" << false << "Level 2";
    QTest::newRow("even to float rounding, of an earlier version") << "rounding" << true << "";
}

// A file that is cut short or does not hold an operator (its planes are not
// even) is refused with a message and leaves the stored operator as it was;
// one that is even to float rounding, as earlier versions wrote them, is
// taken.
void TestMainWindowFiles::effectsImportRefusals()
{
    QFETCH(QString, file);
    QFETCH(bool, taken);
    QFETCH(QString, detail);
    QTemporaryDir dir;
    const QString path = dir.filePath(file + ".eff");
    FakeInteraction fake;
    MainWindow w;
    w.effects = make_operator(8, 4, 2, 3.0f);
    w.effects.im = make_cube(8, 4, 2);
    giveGridFor(w, 8, 4, 2);
    QVERIFY(w.effectsMatchModel());
    // The file holds the operator of the window's grid.
    const EffectsOperator good = operatorFor(w);
    vector3D re = expanded(good);
    if (file == "half") {
        QVERIFY(write_file(path, effects_file_bytes(re).left(12 + 8 * 4 * 16)));
    } else if (file == "uneven") {
        // Level 2 a twentieth of its largest value apart from its mirrors.
        re[1][1][2] += 0.05f * std::fabs(re[1][0][0]);
        QVERIFY(write_file(path, effects_file_bytes(re)));
    } else {
        re[1][1][2] = std::nextafter(re[1][1][2], 1e30f);
        re[0][3][7] = std::nextafter(re[0][3][7], -1e30f);
        QVERIFY(write_file(path, effects_file_bytes(re)));
    }
    const EffectsOperator before = w.effects;
    fake.openNames << path;
    w.on_import_effects_triggered();
    if (taken) {
        QVERIFY2(fake.notes.isEmpty(), qPrintable(fake.errors().join("; ")));
        QCOMPARE(w.effects.levels(), 2);
        // Folded to the mean of the mirrors: within a float step of the operator.
        for (int k = 0; k < 2; ++k)
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 8; ++c)
                    QVERIFY(std::fabs(w.effects.at(k, r, c) - good.at(k, r, c)) <=
                            2.5e-7f * std::fabs(good.at(k, r, c)));
        QVERIFY(w.effects.im.empty());
        QVERIFY(w.effectsMatchModel());
        return;
    }
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].startsWith("Can't import layers effects"));
    QVERIFY(fake.errors()[0].contains(detail));
    QCOMPARE(w.effects.quarter, before.quarter);
    QCOMPARE(w.effects.im, before.im);
    QCOMPARE(w.effects.key, before.key);
    QVERIFY(w.effectsMatchModel());
}

// Nothing stored, or an operator of another grid: nothing to export.
void TestMainWindowFiles::effectsExportRefusedWithoutEffects()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.on_save_effects_triggered();
    QCOMPARE(fake.errors().size(), 1);
    w.effects = make_operator(4, 4, 2);
    giveGridFor(w, 4, 4, 2);
    w.z_calc = nodes(2, 0, 30);
    w.on_save_effects_triggered();
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(fake.fileRequests.isEmpty());
}

void TestMainWindowFiles::progressBarScope()
{
    QProgressBar bar;
    bar.hide();
    {
        ProgressBarScope scope(&bar);
        const CodecProgress progress = scope.callback();
        QVERIFY(progress(40));
        QVERIFY(!bar.isHidden());
        QCOMPARE(bar.value(), 40);
    }
    QVERIFY(bar.isHidden());
    {
        ProgressBarScope scope(&bar, false);
        QVERIFY(scope.callback()(75));
    }
    QVERIFY(!bar.isHidden());
    QCOMPARE(bar.value(), 75);
    ProgressBarScope none(nullptr);
    QVERIFY(!none.callback());
}

QTEST_MAIN(TestMainWindowFiles)
#include "tst_mainwindow_files.moc"
