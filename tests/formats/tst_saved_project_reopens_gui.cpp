// What a reader accepts can be saved in a project that opens again, as a
// user would do it: open a cube, read one more file through its command
// (values up to the coordinate limit, or beyond it, which the command
// refuses with the value named and the project as it was), "Save as", then
// open the saved project: no message but the notice of the save, and the
// same data.
#include "app/mainwindow.h"
#include "common/coordinate_limit.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "formats/segy.h"
#include "test_nodes.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace fmt_test;

namespace {

constexpr double kLimit = max_coordinate_magnitude;

// A SEG-Y cube of 3 x 2 traces and 5 levels from depth 0 with step dz, its
// revision 2 extended interval then replaced by `extended` (thousandths of
// a metre) when that is not 0.
bool write_segy(const QString& path, double dz, double extended = 0)
{
    if (!write_segy_cube(path, make_cube(3, 2, 5), nodes(3, 500000, 50), nodes(2, 7000000, 50), nodes(5, 0, dz)))
        return false;
    if (extended == 0)
        return true;
    QByteArray b = read_file(path);
    b.replace(3272, 8, le_double(extended));
    return write_file(path, b);
}

}  // namespace

class TestSavedProjectReopens : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settings_dir;

private slots:
    void initTestCase();
    void savedProjectReopens_data();
    void savedProjectReopens();
    void oldProjectWithFarProfileOpens();
};

void TestSavedProjectReopens::initTestCase()
{
    QVERIFY(settings_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
}

void TestSavedProjectReopens::savedProjectReopens_data()
{
    QTest::addColumn<QString>("command");   // cube, faults, profiles, observed
    QTest::addColumn<QString>("file");      // name of the file read
    QTest::addColumn<QByteArray>("text");   // its content (empty: made by the row's writer)
    QTest::addColumn<QString>("refused");   // the value a refusal names, empty when accepted

    const QByteArray m = QByteArray::number(kLimit, 'g', 17);
    QTest::newRow("3D grid over the whole range") << "cube" << "whole.3Dgrd" << QByteArray() << "";
    QTest::newRow("SEG-Y, last depth at the limit") << "cube" << "deep.sgy" << QByteArray() << "";
    QTest::newRow("SEG-Y, extended interval 1e300") << "cube" << "e300.sgy" << QByteArray() << "";
    QTest::newRow("SEG-Y, extended interval 1e-300") << "cube" << "em300.sgy" << QByteArray() << "";
    QTest::newRow("BLN faults at the limit")
        << "faults" << "f.bln" << QByteArray("2,1\n-" + m + ", " + m + "\n" + m + " -" + m + "\n") << "";
    QTest::newRow("BLN faults, x 1e20") << "faults" << "f.bln" << QByteArray("1,1\n1e20, 5\n") << "1e+20";
    QTest::newRow("BLN faults, x 1e39") << "faults" << "f.bln" << QByteArray("1,1\n1e39, 5\n") << "1e+39";
    QTest::newRow("Charisma faults at the limit")
        << "faults" << "f.txt"
        << QByteArray("INLINE-\t1\t2\t" + m + "\t-" + m + "\t" + m + "\tF\t1\nINLINE-\t1\t3\t-" + m + "\t" + m +
                      "\t-" + m + "\tF\t1\n")
        << "";
    QTest::newRow("Charisma faults, z 2e15")
        << "faults" << "f.txt" << QByteArray("INLINE- 1 2 3 4 2000000000000000.0 F 1\n") << "2e+15";
    QTest::newRow("profile scheme at the limit")
        << "profiles" << "p.bln" << QByteArray("2,1\n-" + m + ", " + m + "\n" + m + ", -" + m + "\n") << "";
    QTest::newRow("profile scheme, y 1e300")
        << "profiles" << "p.bln" << QByteArray("2,1\n0, 1e300\n1, 1\n") << "1e+300";
    QTest::newRow("new grid at the limit")
        << "new grid" << "" << QByteArray("-1e15 1e15 1e15 0 100 50 0 1e15 5e14 2 2.5") << "";
    QTest::newRow("new grid, x to 1e16")
        << "new grid" << "" << QByteArray("0 1e16 5e15 0 100 50 0 100 50 2 2.5") << "1e+16";
    QTest::newRow("new grid, y from just beyond the limit")
        << "new grid" << "" << QByteArray("0 100 50 -1.0000001e15 0 5e14 0 100 50 2 2.5") << "-1.0000001e+15";
    QTest::newRow("vertical parameters, z to 1e16")
        << "vertical" << "" << QByteArray("0 1e16 5e15") << "1e+16";
    QTest::newRow("regrid, x to 2e15")
        << "regrid" << "" << QByteArray("0 2e15 1e15 2000 2100 50 0 50 25") << "2e+15";
    QTest::newRow("horizon, one depth 1e300")
        << "horizon" << "h.grd" << QByteArray("DSAA\n2 2\n1000 1150\n2000 2100\n10 1e300\n10 20\n30 1e300\n")
        << "1e+300";
    QTest::newRow("observed field over the whole range")
        << "observed" << "o.grd"
        << QByteArray("DSAA\n2 2\n-" + m + " " + m + "\n-" + m + " " + m + "\n1 4\n1 2\n3 4\n") << "";
}

void TestSavedProjectReopens::savedProjectReopens()
{
    QFETCH(QString, command);
    QFETCH(QString, file);
    QFETCH(QByteArray, text);
    QFETCH(QString, refused);
    QTemporaryDir dir;
    const QString start = dir.filePath("start.3Dgrd"), path = dir.filePath(file);
    const QString project = dir.filePath("p.3Dproj");
    QVERIFY(write_cube_file(start, make_cube(4, 3, 3), nodes(4, 1000, 50), nodes(3, 2000, 50), nodes(3, 0, 25)));
    if (file == "whole.3Dgrd")
        QVERIFY(write_cube_file(path, make_cube(3, 3, 3), nodes(3, -kLimit, kLimit), nodes(3, -kLimit, kLimit),
                                nodes(3, -kLimit, kLimit)));
    else if (file == "deep.sgy")
        QVERIFY(write_segy(path, kLimit / 4));
    else if (file == "e300.sgy")
        QVERIFY(write_segy(path, 50, 1e300));
    else if (file == "em300.sgy")
        QVERIFY(write_segy(path, 50, 1e-300));
    else if (!file.isEmpty())
        QVERIFY(write_file(path, text));
    std::vector<double> typed;
    if (file.isEmpty())
        for (const QByteArray& v : text.split(' '))
            typed.push_back(v.toDouble());

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    fake.openNames << start;
    w.on_open3Dgrd_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    const std::vector<double> start_x = w.x_calc, start_z = w.z_calc;

    fake.clear();
    if (command == "horizon")
        fake.openNameLists << QStringList{path};
    else if (!file.isEmpty())
        fake.openNames << path;
    if (command == "new grid")
        w.create_grid(typed);
    else if (command == "vertical")
        w.setZparams(typed[0], typed[1], typed[2]);
    else if (command == "regrid")
        w.regrid3Dgrid(typed);
    else if (command == "horizon")
        w.on_open_horizon_triggered();
    else if (command == "cube")
        w.on_open3Dgrd_triggered();
    else if (command == "faults")
        w.on_import_faults_triggered();
    else if (command == "profiles")
        w.on_import_profiles_scheme_triggered();
    else
        w.on_open_observed_field_triggered();
    QTest::qWait(50);
    if (refused.isEmpty()) {
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    } else {
        // Refused with the value named; nothing taken.
        QCOMPARE(fake.errors().size(), 1);
        QVERIFY2(fake.errors()[0].contains(file) && fake.errors()[0].contains("coordinate of " + refused + ", beyond"),
                 qPrintable(fake.errors()[0]));
        QVERIFY(w.faults.empty());
        QVERIFY(w.profiles_scheme.empty());
        QVERIFY(w.horizons.empty());
        QCOMPARE(w.x_calc, start_x);
        QCOMPARE(w.z_calc, start_z);
    }
    if (file.endsWith(".sgy")) {
        // An unusable extended interval is ignored: the 16-bit field, 50000, holds.
        QCOMPARE(w.z_calc.size(), size_t(5));
        QCOMPARE(w.z_calc[1] - w.z_calc[0], file == "deep.sgy" ? kLimit / 4 : 50.0);
    }

    if (command == "new grid" && refused.isEmpty())
        QCOMPARE(w.x_calc, (std::vector<double>{-kLimit, 0, kLimit}));
    const auto faults = w.faults.sticks;
    const auto profiles = w.profiles_scheme;
    const auto observed = w.Vz_observed;
    const vector3D cube = w.den_grid;
    const std::vector<double> x = w.x_calc, z = w.z_calc;
    fake.clear();
    fake.saveNames << project;
    w.on_save_as_triggered();
    QCOMPARE(fake.errors(), QStringList());
    QCOMPARE(fake.messages(), QStringList{"Project has been saved successfully"});

    fake.clear();
    MainWindow reopened;
    reopened.language = 1;
    fake.openNames << project;
    reopened.on_open_project_triggered();
    QCOMPARE(fake.errors(), QStringList());
    QCOMPARE(reopened.den_grid, cube);
    QCOMPARE(reopened.x_calc.front(), x.front());
    QCOMPARE(reopened.x_calc.back(), x.back());
    QCOMPARE(reopened.z_calc.back(), z.back());
    QVERIFY(reopened.faults.sticks == faults);
    QCOMPARE(reopened.profiles_scheme, profiles);
    QCOMPARE(reopened.Vz_observed, observed);
}

// A project written before profile coordinates were held to the limit:
// the scheme is dropped with a word on the status line, the rest opens and
// saves again.
void TestSavedProjectReopens::oldProjectWithFarProfileOpens()
{
    QTemporaryDir dir;
    const QString start = dir.filePath("start.3Dgrd"), project = dir.filePath("old.3Dproj");
    QVERIFY(write_cube_file(start, make_cube(4, 3, 3), nodes(4, 1000, 50), nodes(3, 2000, 50), nodes(3, 0, 25)));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << start;
    w.on_open3Dgrd_triggered();
    w.profiles_scheme = {{1000, 2000, 12345.5, 2100}};
    fake.saveNames << project;
    w.on_save_as_triggered();
    QCOMPARE(fake.errors(), QStringList());
    QByteArray bytes = read_file(project);
    QCOMPARE(bytes.count(be_double(12345.5)), 1);
    bytes.replace(be_double(12345.5), be_double(1.0000001e15));
    QVERIFY(write_file(project, bytes));

    fake.clear();
    MainWindow reopened;
    reopened.language = 1;
    reopened.show();
    QVERIFY(QTest::qWaitForWindowExposed(&reopened));
    fake.openNames << project;
    reopened.on_open_project_triggered();
    QCOMPARE(fake.errors(), QStringList());
    QCOMPARE(reopened.den_grid, w.den_grid);
    QCOMPARE(reopened.x_calc, w.x_calc);
    QVERIFY(reopened.profiles_scheme.empty());
    const QString status = reopened.progress_label->text();
    QVERIFY2(status.contains("profiles scheme is not loaded") && status.contains("1.0000001e+15"), qPrintable(status));

    fake.clear();
    fake.saveNames << project;
    reopened.on_save_as_triggered();
    QCOMPARE(fake.errors(), QStringList());
    MainWindow again;
    fake.openNames << project;
    again.on_open_project_triggered();
    QCOMPARE(fake.errors(), QStringList());
    QCOMPARE(again.den_grid, w.den_grid);
}

QTEST_MAIN(TestSavedProjectReopens)
#include "tst_saved_project_reopens_gui.moc"
