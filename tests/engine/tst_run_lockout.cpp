// Every command that replaces or empties project data, reached directly (a
// shortcut, a menu rebuilt meanwhile, another caller) while an inversion
// runs: it refuses with the busy message, opens no dialog and no file
// dialog, changes nothing, and the inversion ends normally.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/forward.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "window_test_support.h"

#include <QAction>
#include <QActionGroup>
#include <QtTest>

#include <memory>

using namespace windowtest;

namespace {

const int NX = 8, NY = 6, NZ = 3;

// A density grid with its observed field, the other cubes, horizons on the
// grid's nodes, faults and a profile scheme: something for every command
// to empty or replace.
void giveProject(MainWindow& w)
{
    w.language = 1;  // English texts
    w.x_calc = w.x_norm = nodes(NX, 10000, 100);
    w.y_calc = w.y_norm = nodes(NY, 20000, 100);
    w.z_calc = w.z_norm = nodes(NZ, 0, 50);
    w.calc_height = -20;
    w.expansion_factor = 0.5;
    w.store_eff = false;
    w.den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    w.den_grid[1][2][3] = 0.3f;
    ForwardGeometry g;
    if (forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, 0.5, g) != ForwardStatus::Completed)
        qFatal("geometry refused");
    forward_without_store(w.den_grid, g, w.Vz_observed, 1);
    w.observed_params = {NX, NY, 10000, 10700, 20000, 20500, 0, 1};
    for (auto& level : w.den_grid)
        for (auto& row : level)
            for (float& v : row)
                v = 0.05f;
    w.effects.clear();
    w.alpha_factor = 0;
    w.Vp_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 3000.0f)));
    w.x_vp = w.x_calc, w.y_vp = w.y_calc, w.z_vp = w.z_calc;
    w.regularizer.assign(NZ, vector2D(NY, std::vector<float>(NX, 1.0f)));
    w.x_reg = w.x_calc, w.y_reg = w.y_calc, w.z_reg = w.z_calc;
    w.horizons = {field2D(NY, std::vector<double>(NX, 0.0)), field2D(NY, std::vector<double>(NX, 60.0))};
    w.horizons_params = {NX, NY, 10000, 10700, 20000, 20500};
    w.densities = {0.0, 0.1};
    w.fixed = {false, false};
    w.layers_names = {QStringLiteral("a"), QStringLiteral("b")};
    w.faults.sticks = {{{QVector3D(10100, 20100, 0), QVector3D(10150, 20100, 100)},
                        {QVector3D(10100, 20400, 0), QVector3D(10150, 20400, 100)}}};
    w.faults.names = {QStringLiteral("F")};
    w.profiles_scheme = {{10000, 20000, 10700, 20500}};
}

// What the inversion leaves alone.
struct Held
{
    std::vector<field2D> horizons;
    std::vector<double> horizons_params, densities, x, y, z, observed_params;
    vector3D Vp, regularizer;
    field2D observed;
    std::vector<std::vector<std::vector<QVector3D>>> sticks;
    std::vector<std::vector<double>> profiles;
    std::size_t levels = 0, rows = 0, columns = 0;

    explicit Held(const MainWindow& w)
        : horizons(w.horizons), horizons_params(w.horizons_params), densities(w.densities), x(w.x_calc),
          y(w.y_calc), z(w.z_calc), observed_params(w.observed_params), Vp(w.Vp_grid), regularizer(w.regularizer),
          observed(w.Vz_observed), sticks(w.faults.sticks), profiles(w.profiles_scheme), levels(w.den_grid.size()),
          rows(w.den_grid.empty() ? 0 : w.den_grid.front().size()),
          columns(w.den_grid.empty() || w.den_grid.front().empty() ? 0 : w.den_grid.front().front().size())
    {
    }
    bool operator==(const Held& o) const
    {
        return horizons == o.horizons && horizons_params == o.horizons_params && densities == o.densities &&
               x == o.x && y == o.y && z == o.z && observed_params == o.observed_params && Vp == o.Vp &&
               regularizer == o.regularizer && observed == o.observed && sticks == o.sticks &&
               profiles == o.profiles && levels == o.levels && rows == o.rows && columns == o.columns;
    }
};

const QString busy = QStringLiteral("Another operation is running: stop it or wait until it ends");

// A dialog opened during a run fails the test (and is rejected).
void failOnAnyDialog(FakeInteraction& fake)
{
    fake.onDialog = [](QDialog* d) {
        QTest::qFail(qPrintable(QString("a dialog opened during a run: %1").arg(d->metaObject()->className())),
                     __FILE__, __LINE__);
        return int(QDialog::Rejected);
    };
}

}  // namespace

class TestRunLockout : public QObject
{
    Q_OBJECT

private slots:
    void everyDataCommandRefusesDuringAnInversion_data();
    void everyDataCommandRefusesDuringAnInversion();
    void runCommandsRefuseBeforeTheirDialog_data();
    void runCommandsRefuseBeforeTheirDialog();
};

void TestRunLockout::everyDataCommandRefusesDuringAnInversion_data()
{
    QTest::addColumn<QString>("command");
    // The commands locked while a run is active form one action group.
    MainWindow w;
    QAction* clear = w.findChild<QAction*>(QStringLiteral("clear_3D_grid"));
    QVERIFY(clear && clear->actionGroup());
    QVERIFY(clear->actionGroup()->actions().size() > 50);
    for (QAction* a : clear->actionGroup()->actions())
        if (a->objectName() != QLatin1String("new_model"))  // a command without a body
            QTest::newRow(qPrintable(a->objectName())) << a->objectName();
}

void TestRunLockout::everyDataCommandRefusesDuringAnInversion()
{
    QFETCH(QString, command);
    FakeInteraction fake;
    fake.openNames << QStringLiteral("/nonexistent/any.file");
    failOnAnyDialog(fake);
    MainWindow w;
    giveProject(w);
    const Held before(w);
    const vector3D initial = w.den_grid;
    QAction* action = w.findChild<QAction*>(command);
    QVERIFY(action);
    if (action->isCheckable())
        action->setChecked(!action->isChecked());  // as a trigger leaves it

    bool fired = false;
    const QByteArray slot = QStringLiteral("on_%1_triggered").arg(command).toLatin1();
    while_running(
        [&] {
            if (fired || !w.inversion_running)
                return;
            fired = true;
            QVERIFY2(QMetaObject::invokeMethod(&w, slot.constData(), Qt::DirectConnection), slot.constData());
        },
        [&] { w.start_inversion(grid_inversion_record(2)); });

    QVERIFY(fired);
    QCOMPARE(fake.errors(), QStringList{busy});
    QVERIFY(fake.fileRequests.isEmpty());
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(before == Held(w));
    // The inversion ran to its end on the data it started with.
    QVERIFY(!w.inversion_running);
    QVERIFY(w.runActive() == false);
    QVERIFY(w.den_grid != initial);
}

void TestRunLockout::runCommandsRefuseBeforeTheirDialog_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("holder");
    const char* commands[] = {"forward_grid", "inversion", "horizonInversion"};
    const char* holders[] = {"forward", "inversion", "horizon fit", "grid formula"};
    const char* own[] = {"forward", "inversion", "horizon fit"};  // each command's own run: a press stops it
    for (int c = 0; c < 3; ++c)
        for (const char* holder : holders)
            if (QString(holder) != own[c])
                QTest::newRow(qPrintable(QString("%1 while the %2 runs").arg(commands[c], holder)))
                    << QString(commands[c]) << QString(holder);
}

// A run command reached while another run or a formula holds the data (its
// action is disabled, so by a shortcut or a direct call) refuses with the
// busy message before its dialog or memory question, changes nothing, and
// the run it met goes on to its end.
void TestRunLockout::runCommandsRefuseBeforeTheirDialog()
{
    QFETCH(QString, command);
    QFETCH(QString, holder);
    FakeInteraction fake;
    failOnAnyDialog(fake);
    MainWindow w;
    giveProject(w);
    const Held before(w);
    const vector3D initial = w.den_grid;

    bool fired = false;
    bool holderRanOn = false;
    const QByteArray slot = QStringLiteral("on_%1_triggered").arg(command).toLatin1();
    while_running(
        [&] {
            if (fired || !w.runActive())
                return;
            fired = true;
            QVERIFY2(QMetaObject::invokeMethod(&w, slot.constData(), Qt::DirectConnection), slot.constData());
            holderRanOn = w.runActive() && (w.inversion_running || w.forward_running || w.abort_enabled)
                && !w.abort_requested;
            if (holder == "grid formula")
                w.abort_requested = true;  // the formula never ends by itself
        },
        [&] {
            if (holder == "forward")
                w.on_forward_grid_triggered();
            else if (holder == "inversion")
                w.start_inversion(grid_inversion_record(2));
            else if (holder == "horizon fit") {
                QMap<QString, double> params{{"Niter", 2}, {"layer", 1}, {"stepScale", 1}};
                w.fitHorizon(params);
            } else
                w.denGridMath(QStringLiteral("(function(){for(;;){}})()"));
        });

    QVERIFY(fired);
    QVERIFY(holderRanOn);
    const QStringList stopped = holder == "grid formula"
        ? QStringList{"The formula was stopped. The density grid is unchanged."}
        : QStringList();
    QCOMPARE(fake.errors(), QStringList{busy});
    QCOMPARE(fake.messages(), stopped);
    QVERIFY(fake.questions.isEmpty());  // no memory question either
    QVERIFY(fake.fileRequests.isEmpty());
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(!w.runActive());
    // The run met ran to its end on its own data.
    if (holder == "inversion")
        QVERIFY(w.den_grid != initial);
    if (holder == "grid formula")
        QCOMPARE(w.den_grid, initial);
    if (holder != "horizon fit")
        QVERIFY(before == Held(w));
}

QTEST_MAIN(TestRunLockout)
#include "tst_run_lockout.moc"
