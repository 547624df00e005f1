// Node coordinates and the 3D view, shown as a user would: a cube whose
// coordinates reach the largest magnitude the readers accept is opened and
// drawn; one beyond it (x from 1e39, one flipped exponent bit) is refused
// with a message and the cube already shown stays.
#include "app/mainwindow.h"
#include "common/coordinate_limit.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "test_nodes.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace fmt_test;

class TestFarCoordinates : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settings_dir;

private slots:
    void initTestCase();
    void cubesAtAndBeyondTheLimit_data();
    void cubesAtAndBeyondTheLimit();
};

void TestFarCoordinates::initTestCase()
{
    QVERIFY(settings_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
}

void TestFarCoordinates::cubesAtAndBeyondTheLimit_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("step");
    QTest::addColumn<bool>("accepted");
    const double m = max_coordinate_magnitude;
    QTest::newRow("x and y at the limit, 100 m apart") << m - 900 << -m << 0.0 << 100.0 << true;
    QTest::newRow("the whole range on every axis") << -m << -m << -m << m / 4.5 << true;
    QTest::newRow("x first 1e39") << 1e39 << 0.0 << 0.0 << 100.0 << false;
    QTest::newRow("z from -1e300") << 0.0 << 0.0 << -1e300 << 100.0 << false;
}

void TestFarCoordinates::cubesAtAndBeyondTheLimit()
{
    QFETCH(double, x0);
    QFETCH(double, y0);
    QFETCH(double, z0);
    QFETCH(double, step);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    const QString good = dir.filePath("good.3Dgrd"), far = dir.filePath("far.3Dgrd");
    const vector3D near_cube = make_cube(5, 4, 3, 2.0f), far_cube = make_cube(10, 10, 10, 2.5f);
    QVERIFY(write_cube_file(good, near_cube, nodes(5, 1000, 50), nodes(4, 2000, 50), nodes(3, 0, 25)));
    // The writer keeps any coordinate it is given; only the readers refuse.
    QVERIFY(write_cube_file(far, far_cube, nodes(10, x0, step), nodes(10, y0, step), nodes(10, z0, step)));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    fake.openNames << good;
    w.on_open3Dgrd_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QTest::qWait(50);

    fake.clear();
    fake.openNames << far;
    w.on_open3Dgrd_triggered();
    QTest::qWait(200);  // let the 3D view draw what it was given
    if (accepted) {
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
        QCOMPARE(w.den_grid, far_cube);
        QCOMPARE(w.x_calc.front(), x0);
    } else {
        QCOMPARE(fake.errors().size(), 1);
        QVERIFY2(fake.errors()[0].contains("far.3Dgrd") && fake.errors()[0].contains("beyond the ±1e+15"),
                 qPrintable(fake.errors()[0]));
        QCOMPARE(w.den_grid, near_cube);
        QCOMPARE(w.x_calc.front(), 1000.0);
    }
}

QTEST_MAIN(TestFarCoordinates)
#include "tst_far_coordinates_gui.moc"
