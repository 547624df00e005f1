// XYZDens import and exports and the cell table as main-window commands,
// offscreen, with scripted file dialogs, message boxes and Esc answers.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "fake_interaction.h"
#include "file_size_limit.h"
#include "format_test_support.h"
#include "formats/xyz_cube.h"
#include "test_nodes.h"

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace fmt_test;

namespace {

// A density grid already in the project, to see that failures keep it.
void giveOldGrid(MainWindow& w)
{
    w.den_grid = make_cube(2, 2, 2, 9.0f);
    w.x_calc = w.x_norm = {0, 1};
    w.y_calc = w.y_norm = {0, 1};
    w.z_calc = w.z_norm = {0, 1};
    w.crop_borders = {{0, 1, 1, 0, 0, 1}};
}

bool keepsOldGrid(const MainWindow& w)
{
    const std::vector<double> unit{0, 1};
    return w.den_grid == make_cube(2, 2, 2, 9.0f) && w.x_calc == unit && w.y_calc == unit && w.z_calc == unit &&
           w.x_norm == unit && w.y_norm == unit && w.z_norm == unit &&
           w.crop_borders == std::array<int, 6>{{0, 1, 1, 0, 0, 1}};
}

// Presses Esc in the window as soon as the running command lets events
// through, noting the abort flag seen then.
struct EscDuringRun {
    bool pressed = false;
    bool enabledWhilePressed = false;
    explicit EscDuringRun(MainWindow& w)
    {
        QTimer::singleShot(0, &w, [this, &w] {
            enabledWhilePressed = w.abort_enabled;
            QTest::keyClick(&w, Qt::Key_Escape);
            pressed = true;
        });
    }
};

}  // namespace

class TestXyzCommands : public QObject {
    Q_OBJECT

private slots:
    void importReadsTheCubeAndShowsIt();
    void importThroughTheAction();
    void importWithoutAFileDoesNothing();
    void malformedImportLeavesTheProject_data();
    void malformedImportLeavesTheProject();
    void escDuringImport_data();
    void escDuringImport();
    void importRefusedWhileARunIsActive();
    void exportCubes_data();
    void exportCubes();
    void exportEmptyCube_data();
    void exportEmptyCube();
    void escDuringExportKeepsTheOldFile();
    void failedExportIsReported();
    void cellTable();
    void cellTableOfAnEmptyGrid();
    void exportsOnAFullDiskKeepTheOldFile_data();
    void exportsOnAFullDiskKeepTheOldFile();
};

void TestXyzCommands::importReadsTheCubeAndShowsIt()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("model.xyz");
    const vector3D cube = make_cube(4, 3, 5);
    const std::vector<double> x = nodes(4, 512000, 50), y = nodes(3, 6543210, 25), z = nodes(5, 100, 20);
    QVERIFY(write_xyz_cube(path, cube, x, y, z));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveOldGrid(w);
    w.norm_factors.divisor = {{10, 10, 10}};
    w.norm_factors.exponent = {{1, 1, 1}};
    w.calculated_params = {1, 2, 3, 4, 5, 6};
    w.model_bounds = {{1, 2, 3, 4, 5, 6}};
    w.Vp_grid = make_cube(2, 2, 2);
    w.update_undo(1);  // a snapshot of the grid the import replaces
    w.ui->view_horizons->setChecked(true);
    w.ui->view_cube->setChecked(false);

    fake.openNames << path;
    w.on_importXYZDens_triggered();

    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join('\n')));
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QString("open"));
    QCOMPARE(fake.fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake.fileRequests[0].dir, QString());
    QCOMPARE(fake.fileRequests[0].filter, QString("XYZDens file (*.xyz)"));
    QVERIFY(w.den_grid == cube);
    QVERIFY(w.x_calc == x && w.y_calc == y && w.z_calc == z);
    QVERIFY(w.x_norm == x && w.y_norm == y && w.z_norm == z);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 3, 2, 0, 0, 4}}));
    QVERIFY(w.ui->view_cube->isChecked());
    QVERIFY(!w.ui->view_horizons->isChecked());
    QVERIFY(!w.abort_enabled && !w.abort_requested);
    QVERIFY(w.progress_bar.isHidden());
    // Untouched by the import.
    QCOMPARE(w.norm_factors.exponent, (std::array<int, 3>{{1, 1, 1}}));
    QCOMPARE(w.calculated_params, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));
    QVERIFY(w.Vp_grid == make_cube(2, 2, 2));
    QVERIFY(w.undo_stack.empty());  // undo must not bring the replaced grid back
    QVERIFY(!w.runActive());
}

void TestXyzCommands::importThroughTheAction()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("model.xyz");
    QVERIFY(write_file(path, "0 0 -10 2.5\n0 0 0 2.25\n5 0 -10 2.75\n5 0 0 2\n"));
    FakeInteraction fake;
    MainWindow w;
    fake.openNames << path;
    w.ui->importXYZDens->trigger();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(w.den_grid == (vector3D{{{2.25f, 2.0f}}, {{2.5f, 2.75f}}}));
    QVERIFY(w.z_calc == (std::vector<double>{0, 10}));
}

void TestXyzCommands::importWithoutAFileDoesNothing()
{
    FakeInteraction fake;
    MainWindow w;
    giveOldGrid(w);
    w.on_importXYZDens_triggered();
    QCOMPARE(fake.fileRequests.size(), 1);
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(keepsOldGrid(w));
    QVERIFY(!w.abort_enabled && !w.abort_requested);
}

void TestXyzCommands::malformedImportLeavesTheProject_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");
    QTest::newRow("empty file") << QByteArray() << "holds no grid cells" << "не содержит ячеек";
    QTest::newRow("ragged line") << QByteArray("0 0 -10 1\n0 0 0\n") << "line 2 holds 3 fields"
                                 << "строка 2 содержит полей: 3";
    QTest::newRow("unreadable number") << QByteArray("0 0 -10 1\n0 0 0 2.5.1\n") << "line 2 field 4 (\"2.5.1\")"
                                       << "строка 2 поле 4";
    QTest::newRow("irregular lattice")
        << QByteArray("0 0 -10 1\n0 0 0 2\n0 5 -10 3\n0 5 0 4\n7 0 -10 5\n7 0 0 6\n7 6 -10 7\n7 6 0 8\n")
        << "line 7 has y = 6 where y = 5 is expected" << "строка 7 содержит y = 6";
    QTest::newRow("last x block cut short")
        << QByteArray("0 0 -10 1\n0 0 0 2\n0 5 -10 3\n0 5 0 4\n7 0 -10 5\n") << "ends inside x block 2"
        << "обрывается внутри блока x 2";
}

void TestXyzCommands::malformedImportLeavesTheProject()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.xyz");
    QVERIFY(write_file(path, text));

    for (int language : {1, 0}) {
        FakeInteraction fake;
        MainWindow w;
        w.language = language;
        giveOldGrid(w);
        w.progress_label->setText("before");
        fake.openNames << path;
        w.on_importXYZDens_triggered();
        QCOMPARE(fake.errors().size(), 1);
        const QString error = fake.errors()[0];
        QVERIFY2(error.contains(language == 1 ? english : russian), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY(fake.messages().isEmpty());
        QVERIFY(keepsOldGrid(w));
        QVERIFY(!w.abort_enabled && !w.abort_requested);
        QVERIFY(w.progress_bar.isHidden());
        QCOMPARE(w.progress_label->text(), QString());
        QVERIFY(!w.runActive());
    }

    // A file that cannot be opened is reported too.
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveOldGrid(w);
    fake.openNames << dir.filePath("missing.xyz");
    w.on_importXYZDens_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("missing.xyz"));
    QVERIFY(keepsOldGrid(w));
}

void TestXyzCommands::escDuringImport_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes: abort") << int(QMessageBox::Yes);
    QTest::newRow("No: go on") << int(QMessageBox::No);
}

void TestXyzCommands::escDuringImport()
{
    QFETCH(int, answer);
    QTemporaryDir dir;
    const QString path = dir.filePath("model.xyz");
    const vector3D cube = make_cube(10, 10, 50);
    QVERIFY(write_xyz_cube(path, cube, nodes(10, 0, 10), nodes(10, 0, 10), nodes(50, 0, 10)));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveOldGrid(w);
    fake.openNames << path;
    fake.answers << QMessageBox::StandardButton(answer);
    EscDuringRun esc(w);
    w.on_importXYZDens_triggered();

    QVERIFY(esc.pressed);
    QVERIFY(esc.enabledWhilePressed);
    QCOMPARE(fake.questions.size(), 1);
    QCOMPARE(fake.questions[0].text, QString("Do you want to abort a process?"));
    QVERIFY(fake.errors().isEmpty());
    if (answer == QMessageBox::Yes)
        QVERIFY(keepsOldGrid(w));  // the grid in the project survives an abort at any point
    else
        QVERIFY(w.den_grid == cube);
    QVERIFY(!w.abort_enabled && !w.abort_requested);
    QVERIFY(w.progress_bar.isHidden());

    // Esc after the command asks nothing.
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(fake.questions.size(), 1);
}

void TestXyzCommands::importRefusedWhileARunIsActive()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("model.xyz");
    QVERIFY(write_xyz_cube(path, make_cube(2, 2, 2), {0, 1}, {0, 1}, {0, 1}));
    FakeInteraction fake;
    MainWindow w;
    giveOldGrid(w);
    fake.openNames << path;
    {
        RunGuard run(&w, RunKind::Forward);
        QVERIFY(bool(run));
        w.on_importXYZDens_triggered();
    }
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.fileRequests.isEmpty());
    QVERIFY(keepsOldGrid(w));
}

void TestXyzCommands::exportCubes_data()
{
    QTest::addColumn<bool>("vp");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("notice");
    QTest::newRow("density, English") << false << 1 << "Density model has been saved";
    QTest::newRow("density, Russian") << false << 0 << "Грид плотности успешно сохранен";
    QTest::newRow("Vp, English") << true << 1 << "Vp model has been saved";
    QTest::newRow("Vp, Russian") << true << 0 << "Модель Vp успешно сохранена";
}

void TestXyzCommands::exportCubes()
{
    QFETCH(bool, vp);
    QFETCH(int, language);
    QFETCH(QString, notice);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xyz");
    QVERIFY(write_file(path, "old\n"));  // overwritten

    FakeInteraction fake;
    MainWindow w;
    w.language = language;
    w.den_grid = make_cube(3, 4, 5);
    w.x_calc = nodes(3, 100, 10);
    w.y_calc = nodes(4, 200, 10);
    w.z_calc = nodes(5, 0, 10);
    w.Vp_grid = make_cube(2, 3, 4, 1500.0f);
    w.x_vp = nodes(2, 512000, 2);
    w.y_vp = nodes(3, 6543210, 2);
    w.z_vp = nodes(4, 5, 5);
    fake.saveNames << path;
    if (vp)
        w.on_export_XYZVp_triggered();
    else
        w.on_export_XYZDens_triggered();

    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join('\n')));
    QCOMPARE(fake.messages(), QStringList{notice});
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QString("save"));
    QCOMPARE(fake.fileRequests[0].caption, QString("Save XYZDensity file"));
    QCOMPARE(fake.fileRequests[0].filter, QString("XYZDens file (*.xyz)"));
    QVERIFY(!w.abort_enabled && !w.abort_requested);
    QVERIFY(w.progress_bar.isHidden());

    vector3D cube;
    std::vector<double> x, y, z;
    QVERIFY(read_xyz_cube(path, cube, x, y, z));
    if (vp) {
        QVERIFY(cube == w.Vp_grid);
        QVERIFY(x == w.x_vp && y == w.y_vp && z == w.z_vp);
    } else {
        QVERIFY(cube == w.den_grid);
        QVERIFY(x == w.x_calc && y == w.y_calc && z == w.z_calc);
    }
}

void TestXyzCommands::exportEmptyCube_data()
{
    QTest::addColumn<bool>("vp");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("error");
    QTest::newRow("density, English") << false << 1 << "3D density grid is empty";
    QTest::newRow("density, Russian") << false << 0 << "3D грид плотности пуст";
    QTest::newRow("Vp, English") << true << 1 << "3D Vp grid is empty";
    QTest::newRow("Vp, Russian") << true << 0 << "3D грид Vp пуст";
}

void TestXyzCommands::exportEmptyCube()
{
    QFETCH(bool, vp);
    QFETCH(int, language);
    QFETCH(QString, error);
    FakeInteraction fake;
    MainWindow w;
    w.language = language;
    // The other cube is loaded; the one asked for is not.
    if (vp)
        giveOldGrid(w);
    else
        w.Vp_grid = make_cube(2, 2, 2);
    if (vp)
        w.on_export_XYZVp_triggered();
    else
        w.on_export_XYZDens_triggered();
    QCOMPARE(fake.errors(), QStringList{error});
    QVERIFY(fake.fileRequests.isEmpty());
}

void TestXyzCommands::escDuringExportKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xyz");
    const QString fresh = dir.filePath("fresh.xyz");
    QVERIFY(write_file(path, "old\n"));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(20, 5, 5);
    w.x_calc = nodes(20, 0, 1);
    w.y_calc = nodes(5, 0, 1);
    w.z_calc = nodes(5, 0, 1);
    for (const QString& target : {path, fresh}) {
        fake.clear();
        fake.saveNames << target;
        fake.answers << QMessageBox::Yes;
        EscDuringRun esc(w);
        w.on_export_XYZDens_triggered();
        QVERIFY(esc.pressed && esc.enabledWhilePressed);
        QCOMPARE(fake.questions.size(), 1);
        QVERIFY(fake.notes.isEmpty());  // neither a notice nor an error
        QVERIFY(!w.abort_enabled && !w.abort_requested);
        QVERIFY(w.progress_bar.isHidden());
    }
    QCOMPARE(read_file(path), QByteArray("old\n"));
    QCOMPARE(files_in(dir.path()), QStringList{"out.xyz"});
}

void TestXyzCommands::failedExportIsReported()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveOldGrid(w);
    fake.saveNames << dir.filePath("missing/out.xyz");
    w.on_export_XYZDens_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors()[0].contains("out.xyz"));
    QVERIFY(fake.messages().isEmpty());
    QVERIFY(!w.abort_enabled && !w.abort_requested);
}

void TestXyzCommands::cellTable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cells.txt");
    FakeInteraction fake;
    MainWindow w;
    w.den_grid = {{{1.5f, 2.0f}}, {{2.67f, -0.5f}}};
    w.x_calc = {500, 600};
    w.y_calc = {2500};
    w.z_calc = {10, 20};
    // The 3D view's copies scaled by their exponents give the model's nodes.
    w.x_norm = {5, 6};
    w.y_norm = {2500};
    w.z_norm = {1, 2};
    w.norm_factors.divisor = {{100, 1, 10}};
    w.norm_factors.exponent = {{2, 0, 1}};
    fake.saveNames << path;
    w.on_export_text_table_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].caption, QString("Save file"));
    QCOMPARE(fake.fileRequests[0].filter, QString("*.txt"));
    QCOMPARE(read_file(path), QByteArray("500 2500 10 1.5\n"
                                         "600 2500 10 2\n"
                                         "500 2500 20 2.67\n"
                                         "600 2500 20 -0.5\n"));
    QVERIFY(w.progress_bar.isHidden());

    // The form keeps the action hidden and disabled.
    QVERIFY(!w.ui->export_text_table->isVisible() && !w.ui->export_text_table->isEnabled());
}

void TestXyzCommands::cellTableOfAnEmptyGrid()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cells.txt");
    FakeInteraction fake;
    MainWindow w;
    fake.saveNames << path;
    w.on_export_text_table_triggered();
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(read_file(path), QByteArray());

    // Without a name nothing is written.
    w.on_export_text_table_triggered();
    QCOMPARE(files_in(dir.path()), QStringList{"cells.txt"});
}

void TestXyzCommands::exportsOnAFullDiskKeepTheOldFile_data()
{
    QTest::addColumn<bool>("cellTable");
    QTest::newRow("XYZ density") << false;
    QTest::newRow("cell table") << true;
}

// A device that refuses the bytes: the cause is shown, no success notice,
// and the file already there keeps its bytes.
void TestXyzCommands::exportsOnAFullDiskKeepTheOldFile()
{
    QFETCH(bool, cellTable);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    QVERIFY(write_file(path, "old\n"));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(12, 10, 8);
    w.x_calc = w.x_norm = nodes(12, 500000, 50);
    w.y_calc = w.y_norm = nodes(10, 6100000, 50);
    w.z_calc = w.z_norm = nodes(8, 0, 25);
    fake.saveNames << path;
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        if (cellTable)
            w.on_export_text_table_triggered();
        else
            w.on_export_XYZDens_triggered();
    }
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("out.txt") && fake.errors()[0].contains("File too large"),
             qPrintable(fake.errors()[0]));
    QVERIFY(fake.messages().isEmpty());
    QCOMPARE(read_file(path), QByteArray("old\n"));
    QCOMPARE(files_in(dir.path()), QStringList{"out.txt"});
    QVERIFY(w.progress_bar.isHidden());
}

QTEST_MAIN(TestXyzCommands)
#include "tst_xyz_commands.moc"
