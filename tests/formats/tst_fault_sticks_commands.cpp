// Fault commands of the main window, offscreen: import of Charisma fault
// sticks and BLN vertical faults with the checks made before anything is
// replaced, export to one file and to one file per fault, delete, and the
// box of all fault points.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/fault_commands.h"
#include "formats/fault_sticks.h"
#include "views/surf.h"
#include "test_nodes.h"

#include <QAction>
#include <QTemporaryDir>
#include <QtTest>

using namespace fmt_test;

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/") + QLatin1String(name);
}

void setFaults(MainWindow& w)
{
    w.faults.inline_type = false;
    w.faults.names = {QStringLiteral("Old")};
    w.faults.sticks = {{{QVector3D(1, 2, 3), QVector3D(1, 2, 4)}}};
    w.faults.inlines = {{{0, 0}}};
    w.faults.crosslines = {{{0, 0}}};
}

void checkOldFaults(const MainWindow& w)
{
    QCOMPARE(w.faults.names, std::vector<QString>{"Old"});
    QVERIFY((w.faults.sticks == std::vector<std::vector<std::vector<QVector3D>>>{
                                   {{QVector3D(1, 2, 3), QVector3D(1, 2, 4)}}}));
}

}  // namespace

class TestFaultCommands : public QObject {
    Q_OBJECT

private slots:
    void importCharismaWithDensityGrid();
    void importWithOnlyHorizonsSetsTheBounds();
    void suffixChoosesTheReader();
    void refusedImportsKeepTheFaults_data();
    void refusedImportsKeepTheFaults();
    void blnDepthRange_data();
    void blnDepthRange();
    void exportOneFileAndBack();
    void exportOneFilePerFault();
    void exportStopsAtAFileItCannotWrite();
    void deleteFaults();
    void extent();
};

void TestFaultCommands::importCharismaWithDensityGrid()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.den_grid = make_cube(3, 3, 3);
    w.x_calc = nodes(3, 523400, 10), w.y_calc = nodes(3, 6712300, 10), w.z_calc = nodes(3, 0, 100);
    w.surf->min_x = 523400, w.surf->max_x = 523420;
    w.surf->min_y = 6712300, w.surf->max_y = 6712320;
    w.surf->min_z = 0, w.surf->max_z = 200;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Import faults"));
    QCOMPARE(fake.fileRequests[0].filter,
             QStringLiteral("Charisma fault sticks (ASCII) (*.txt) ;; BLN vertical faults (*.bln)"));
    QCOMPARE(w.faults.names, (std::vector<QString>{"F1", "F2", "F1"}));
    QCOMPARE(w.faults.sticks[0].size(), std::size_t(3));
    QVERIFY(w.faults.inline_type);
    QCOMPARE(w.faults.inlines[0][0], (std::vector<int>{100, 100}));
    QVERIFY(w.ui->view_faults->isEnabled());
    // With a density grid the bounds only grow.
    QCOMPARE(w.surf->min_x, 1.0);
    QCOMPARE(w.surf->max_x, double(523470.0f));
    QCOMPARE(w.surf->min_y, 2.0);
    QCOMPARE(w.surf->max_y, double(6712360.0f));
    QCOMPARE(w.surf->min_z, 0.0);
    QCOMPARE(w.surf->max_z, double(1600.0f));
}

void TestFaultCommands::importWithOnlyHorizonsSetsTheBounds()
{
    FakeInteraction fake;
    MainWindow w;
    w.horizons = {field2D(2, std::vector<double>(2, 0.0))};
    w.horizons_params = {2, 2, 0, 1, 0, 1};
    w.surf->min_x = -1e6, w.surf->max_x = 1e7;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.surf->min_x, 1.0);
    QCOMPARE(w.surf->max_x, double(523470.0f));
    QCOMPARE(w.surf->min_z, 0.0);
    QCOMPARE(w.surf->max_z, double(1600.0f));
}

void TestFaultCommands::suffixChoosesTheReader()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture("sticks_inline.txt"), dir.filePath("FAULTS.TXT")));
    QVERIFY(QFile::copy(fixture("sticks_inline.txt"), dir.filePath("faults.dat")));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << dir.filePath("FAULTS.TXT");
    w.on_import_faults_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.faults.names.size(), std::size_t(3));

    setFaults(w);
    fake.openNames << dir.filePath("faults.dat");
    w.on_import_faults_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("Accepted suffixes: txt, bln (in any case)"), qPrintable(fake.errors()[0]));
    checkOldFaults(w);
}

void TestFaultCommands::refusedImportsKeepTheFaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("withGrid");
    QTest::addColumn<QString>("error");
    QTest::newRow("BLN faults into an empty project")
        << "f.bln" << QByteArray("2,1\n1,2\n3,4\n") << false << "Import of bln-faults to empty project is impossible";
    QTest::newRow("BLN without polylines") << "f.bln" << QByteArray("\n") << true << "holds no polylines";
    QTest::newRow("BLN cut short") << "f.bln" << QByteArray("5,1\n1,2\n") << true << "5 points";
    QTest::newRow("empty fault-stick file") << "f.txt" << QByteArray() << true << "holds no fault sticks";
    QTest::newRow("only short lines") << "f.txt" << QByteArray("a b c\n\n") << true << "holds no fault sticks";
    QTest::newRow("unreadable coordinate") << "f.txt" << QByteArray("INLINE- 1 2 x 4 5 F 1\n") << true << "line 1";
}

void TestFaultCommands::refusedImportsKeepTheFaults()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(bool, withGrid);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(write_file(dir.filePath(name), text));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    if (withGrid) {
        w.den_grid = make_cube(2, 2, 2);
        w.x_calc = w.y_calc = w.z_calc = {0, 1};
    }
    setFaults(w);
    w.ui->view_faults->setEnabled(true);
    fake.openNames << dir.filePath(name);
    w.on_import_faults_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains(error), qPrintable(fake.errors()[0]));
    checkOldFaults(w);
    QVERIFY(w.ui->view_faults->isEnabled());
}

void TestFaultCommands::blnDepthRange_data()
{
    QTest::addColumn<int>("loaded");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("bottom");
    QTest::newRow("density grid") << 0 << 0.0 << 5000.0;
    QTest::newRow("Vp only") << 1 << 100.0 << 900.0;
    QTest::newRow("Vs only") << 2 << 50.0 << 250.0;
    QTest::newRow("horizons only") << 3 << 0.0 << 3210.5;
}

void TestFaultCommands::blnDepthRange()
{
    QFETCH(int, loaded);
    QFETCH(double, top);
    QFETCH(double, bottom);
    FakeInteraction fake;
    MainWindow w;
    switch (loaded) {
    case 0:
        w.den_grid = make_cube(2, 2, 2);
        w.x_calc = w.y_calc = {0, 1};
        w.z_calc = {0, 5000};
        w.Vs_grid = make_cube(2, 2, 2);
        w.z_vs = {1, 2};
        break;
    case 1: w.Vp_grid = make_cube(2, 2, 2), w.z_vp = {100, 900}; break;
    case 2: w.Vs_grid = make_cube(2, 2, 2), w.z_vs = {50, 250}; break;
    case 3:
        w.horizons = {field2D{{0, 0}}, field2D{{100, 3210.5}}, field2D{{2000, 3000}}};
        w.horizons_params = {2, 1, 0, 1, 0, 0};
        break;
    }
    QString path = fixture("profile_three_points.bln");
    QVERIFY(w.import_bln_faults(path));
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.faults.names, std::vector<QString>{"fault_N1"});
    QCOMPARE(w.faults.sticks[0].size(), std::size_t(3));
    QVERIFY((w.faults.sticks[0][0] == std::vector<QVector3D>{QVector3D(100, 200, float(top)),
                                                             QVector3D(100, 200, float(bottom))}));
    QCOMPARE(w.faults.inline_type, false);
    QCOMPARE(w.faults.inlines[0][2], (std::vector<int>{0, 0}));
}

void TestFaultCommands::exportOneFileAndBack()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 0;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    const FaultSet before = w.faults;

    fake.saveNames << dir.filePath("all.txt");
    w.on_export_faults_one_file_triggered();
    QCOMPARE(fake.messages(), QStringList{QStringLiteral("Разломы сохранены")});
    QCOMPARE(fake.fileRequests.last().caption, QStringLiteral("Export faults"));
    QCOMPARE(fake.fileRequests.last().filter, QStringLiteral("Charisma fault sticks (ASCII) (*.txt)"));
    QVERIFY(read_file(dir.filePath("all.txt")).startsWith("INLINE-\t100\t200\t523456.78\t6712345.5\t0\tF1\t1\n"));

    w.faults = FaultSet();
    fake.openNames << dir.filePath("all.txt");
    w.on_import_faults_triggered();
    QCOMPARE(w.faults.names, before.names);
    QVERIFY(w.faults.sticks == before.sticks);
    QCOMPARE(w.faults.inlines, before.inlines);
    QCOMPARE(w.faults.crosslines, before.crosslines);
    QCOMPARE(w.faults.inline_type, true);

    // A cancelled dialog writes nothing.
    fake.clear();
    w.on_export_faults_one_file_triggered();
    QVERIFY(fake.messages().isEmpty());
    QCOMPARE(files_in(dir.path()), QStringList{"all.txt"});
}

void TestFaultCommands::exportOneFilePerFault()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    w.faults.names.push_back(QStringLiteral("../F3"));
    w.faults.sticks.push_back({{QVector3D(1, 1, 1)}});
    w.faults.inlines.push_back({{5}});
    w.faults.crosslines.push_back({{6}});

    fake.directories << dir.path();
    w.on_export_faults_multiple_files_triggered();
    QCOMPARE(fake.fileRequests.last().caption, QStringLiteral("Select directory"));
    QCOMPARE(fake.messages(), QStringList{"Faults saved"});
    // The two faults named F1 keep a file each; the odd name stays in the folder.
    QCOMPARE(files_in(dir.path()),
             (QStringList{"fault F1 (2).txt", "fault F1.txt", "fault F2.txt", "fault __F3.txt"}));
    QCOMPARE(read_file(dir.filePath("fault F2.txt")), QByteArray("INLINE-\t7\t8\t1\t2\t3\tF2\t1\n"));
    QCOMPARE(read_file(dir.filePath("fault F1 (2).txt")), QByteArray("INLINE-\t9\t10\t4\t5\t6\tF1\t1\n"));
    const QByteArray first = read_file(dir.filePath("fault F1.txt"));
    QCOMPARE(first.count('\n'), 5);
    QVERIFY(first.endsWith("\tF1\t3\n"));  // stick numbers from 1 within the fault
}

void TestFaultCommands::exportStopsAtAFileItCannotWrite()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    QVERIFY(QDir().mkpath(dir.filePath("fault F2.txt")));  // a folder in the way
    fake.directories << dir.path();
    w.on_export_faults_multiple_files_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("fault F2.txt"), qPrintable(fake.errors()[0]));
    QVERIFY(fake.messages().isEmpty());
    QVERIFY(QFileInfo(dir.filePath("fault F1.txt")).isFile());
    QVERIFY(!QFileInfo(dir.filePath("fault F1 (2).txt")).exists());
}

void TestFaultCommands::deleteFaults()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << fixture("sticks_inline.txt");
    w.on_import_faults_triggered();
    QVERIFY(w.ui->view_faults->isEnabled());
    w.on_delete_faults_triggered();
    QVERIFY(w.faults.empty());
    QVERIFY(w.faults.names.empty() && w.faults.inlines.empty() && w.faults.crosslines.empty());
    QVERIFY(w.surf->fault_series.isEmpty());
    QVERIFY(!w.ui->view_faults->isEnabled());
    w.on_export_faults_one_file_triggered();
    w.on_export_faults_multiple_files_triggered();
    QCOMPARE(fake.errors(), (QStringList{"Faults are empty", "Faults are empty"}));
    QCOMPARE(fake.fileRequests.size(), 1);  // only the import asked for a file
}

void TestFaultCommands::extent()
{
    QCOMPARE(faults_extent({}), std::vector<double>());
    QCOMPARE(faults_extent({{}, {{}}}), std::vector<double>());
    const std::vector<std::vector<std::vector<QVector3D>>> sticks = {
        {{QVector3D(5, 6, 7), QVector3D(-1, 10, 3)}}, {{QVector3D(2, -4, 100)}, {QVector3D(8, 0, -2)}}};
    QCOMPARE(faults_extent(sticks), (std::vector<double>{-1, 8, -4, 10, -2, 100}));
}

QTEST_MAIN(TestFaultCommands)
#include "tst_fault_sticks_commands.moc"
