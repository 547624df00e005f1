// Long runs: the flags and icons of each kind, the commands locked out while
// a run holds the data, which runs may nest, and a close request during a run.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "fake_interaction.h"

#include <QAction>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

bool showsIcon(QAction* action, const char* resource)
{
    return iconImage(action->icon()) == iconImage(QIcon(QString::fromUtf8(resource)));
}

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

const char* const stopIcon = ":/Images/stop.png";

QString busyEnglish()
{
    return QStringLiteral("Another operation is running: stop it or wait until it ends");
}

// Commands that replace or empty data sets, by object name.
const QStringList lockedCommands = {
    "new_model", "open_project", "open3Dgrd", "open_observed_field", "open_horizon", "open_vel_vp", "open_vel_vs",
    "open_regularizer", "importXYZDens", "import_effects", "import_faults", "import_profiles_scheme",
    "importTM2Dmodels", "import_total_mean_dens", "import_layers_mean_dens", "actionUndo", "clear_horizons",
    "clear_3D_grid", "clear_Vp", "clear_regularizer", "delete_faults", "delete_profiles_scheme", "regrid_horizons",
    "add_constant_horizon", "move_horizons_tozero", "regrid", "move_3Dgrid_tozero", "regrid_observed",
    "move_observed_tozero", "horizons_table", "Create_empty_grid", "Zparams", "fill_zeros", "smooth3Dgrid",
    "formula", "vel_dens", "gardner_formula", "inverse_gardner_formula", "delete_min", "delete_mean",
    "substract_cube", "add_cube", "multiply_cube", "divide_cube", "add_means", "x_gradient", "y_gradient",
    "vertical_gradient", "horizontal_gradient", "full_gradient", "ML_density_conversion", "centralRegularizer",
    "centralRegularizerOnHeights", "horizonsBasedRegularizer", "reg_not_recalc", "reg_del_means", "reg_del_mins",
    "Customize"};

// Commands that only read or show data stay available.
const QStringList freeCommands = {"save_project", "save_as",     "save3Dgrid",   "export_XYZDens", "view_cube",
                                  "view_horizons", "view_limits", "density_stats", "about_programm", "manual"};

QAction* action(MainWindow& w, const QString& name)
{
    auto* a = w.findChild<QAction*>(name);
    if (!a)
        qWarning("no action %s", qPrintable(name));
    return a;
}

} // namespace

class TestRunGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void flagsAndIconsOfEachKind_data();
    void flagsAndIconsOfEachKind();
    void dataCommandsAreLockedAndRestored();
    void stateChangedDuringARunIsAppliedAfterIt();
    void lockedActionsDoNotTrigger();
    void undoIsRefusedDuringARun();
    void nesting_data();
    void nesting();
    void forwardInsideInversionLeavesTheInversionIcons();
    void stoppedRunStillHoldsTheData();
    void fileRunsTakeTheAbortFlags();
    void busyMessageInBothLanguages_data();
    void busyMessageInBothLanguages();

    void closeDuringRun_data();
    void closeDuringRun();
    void closeDuringRunCancelledLetsItRun();
    void closeDuringRunWithFailedSaveStaysOpen();

private:
    QTemporaryDir settingsDir;
    std::unique_ptr<FakeInteraction> fake;
};

void TestRunGuard::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestRunGuard::flagsAndIconsOfEachKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("forwardFlag");
    QTest::addColumn<bool>("inversionFlag");
    QTest::addColumn<bool>("abortEnabled");
    QTest::addColumn<QString>("owner");  // action showing the stop icon, empty for none

    QTest::newRow("forward") << int(RunKind::Forward) << true << false << false << "forward_grid";
    QTest::newRow("inversion") << int(RunKind::Inversion) << false << true << false << "inversion";
    QTest::newRow("horizon fit") << int(RunKind::HorizonFit) << false << true << false << "horizonInversion";
    QTest::newRow("file read") << int(RunKind::FileRead) << false << false << true << "";
    QTest::newRow("file write") << int(RunKind::FileWrite) << false << false << true << "";
    QTest::newRow("formula") << int(RunKind::Formula) << false << false << true << "";
}

void TestRunGuard::flagsAndIconsOfEachKind()
{
    QFETCH(int, kind);
    QFETCH(bool, forwardFlag);
    QFETCH(bool, inversionFlag);
    QFETCH(bool, abortEnabled);
    QFETCH(QString, owner);

    MainWindow w;
    struct Run
    {
        QAction* action;
        const char* start;
    };
    const Run runs[] = {{w.ui->forward_grid, ":/Images/start_green.png"},
                        {w.ui->inversion, ":/Images/start_inv.png"},
                        {w.ui->horizonInversion, ":/Images/start_inv_horizon.png"}};
    {
        RunGuard run(&w, RunKind(kind));
        QVERIFY(bool(run));
        QVERIFY(w.runActive());
        QCOMPARE(w.forward_running, forwardFlag);
        QCOMPARE(w.inversion_running, inversionFlag);
        QCOMPARE(w.abort_enabled, abortEnabled);
        for (const Run& r : runs) {
            const bool owns = r.action->objectName() == owner;
            QCOMPARE(r.action->isEnabled(), owns);
            QVERIFY(showsIcon(r.action, owns ? stopIcon : r.start));
        }
    }
    QVERIFY(!w.runActive());
    QVERIFY(!w.forward_running && !w.inversion_running && !w.abort_enabled);
    for (const Run& r : runs) {
        QVERIFY(r.action->isEnabled());
        QVERIFY(showsIcon(r.action, r.start));
    }
    QVERIFY(fake->notes.isEmpty());
}

void TestRunGuard::dataCommandsAreLockedAndRestored()
{
    MainWindow w;
    const bool editHorizonsBefore = w.ui->edit_horizons->isEnabled();
    QMap<QString, bool> before;
    for (const QString& name : lockedCommands) {
        QVERIFY2(action(w, name), qPrintable(name));
        before[name] = action(w, name)->isEnabled();
    }
    QVERIFY(before["open_project"] && before["actionUndo"] && before["Customize"]);
    {
        RunGuard run(&w, RunKind::Inversion);
        for (const QString& name : lockedCommands)
            QVERIFY2(!action(w, name)->isEnabled(), qPrintable(name));
        QVERIFY(!w.ui->edit_horizons->isEnabled());
        for (const QString& name : freeCommands)
            QVERIFY2(action(w, name)->isEnabled(), qPrintable(name));
    }
    for (const QString& name : lockedCommands)
        QCOMPARE(action(w, name)->isEnabled(), before[name]);
    // Disabled before the run (no horizons view), disabled after it.
    QCOMPARE(w.ui->edit_horizons->isEnabled(), editHorizonsBefore);
    QVERIFY(!editHorizonsBefore);
}

// Other code may enable or disable a locked command while a run is active:
// the command stays locked and gets that state when the run ends.
void TestRunGuard::stateChangedDuringARunIsAppliedAfterIt()
{
    MainWindow w;
    {
        RunGuard run(&w, RunKind::Forward);
        w.ui->edit_horizons->setEnabled(true);   // e.g. the horizons view was chosen
        w.ui->actionUndo->setEnabled(false);
        QVERIFY(!w.ui->edit_horizons->isEnabled());
        QVERIFY(!w.ui->actionUndo->isEnabled());
    }
    QVERIFY(w.ui->edit_horizons->isEnabled());
    QVERIFY(!w.ui->actionUndo->isEnabled());
    // And the group does not tie checkable commands together.
    w.ui->reg_del_means->setChecked(true);
    QVERIFY(w.ui->reg_not_recalc->isChecked());
}

// The user's ways in (menus, toolbar, shortcuts) skip a disabled command.
void TestRunGuard::lockedActionsDoNotTrigger()
{
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy spy(w.ui->actionUndo, &QAction::triggered);
    {
        RunGuard run(&w, RunKind::Inversion);
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(spy.count(), 0);
    }
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(spy.count(), 1);
}

void TestRunGuard::undoIsRefusedDuringARun()
{
    MainWindow w;
    w.language = 1;
    w.den_grid = cube(1, 1, 1, 1.f);
    w.x_calc = {0};
    w.y_calc = {0};
    w.z_calc = {0};
    w.update_undo(1);
    w.den_grid[0][0][0] = 2.f;
    {
        RunGuard run(&w, RunKind::Inversion);
        QVERIFY(!w.ui->actionUndo->isEnabled());
        w.on_actionUndo_triggered();  // reached some other way: refused
        QCOMPARE(w.den_grid[0][0][0], 2.f);
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
        QCOMPARE(fake->errors(), QStringList{busyEnglish()});
    }
    w.ui->actionUndo->trigger();
    QCOMPARE(w.den_grid[0][0][0], 1.f);
}

void TestRunGuard::nesting_data()
{
    QTest::addColumn<int>("outer");
    QTest::addColumn<int>("inner");
    QTest::addColumn<bool>("allowed");
    const RunKind F = RunKind::Forward, I = RunKind::Inversion, H = RunKind::HorizonFit, R = RunKind::FileRead,
                  W = RunKind::FileWrite;
    QTest::newRow("forward in inversion") << int(I) << int(F) << true;
    QTest::newRow("forward in horizon fit") << int(H) << int(F) << true;
    QTest::newRow("export in forward") << int(F) << int(W) << true;
    QTest::newRow("export in inversion") << int(I) << int(W) << true;
    QTest::newRow("export in import") << int(R) << int(W) << true;
    QTest::newRow("forward in forward") << int(F) << int(F) << false;
    QTest::newRow("inversion in forward") << int(F) << int(I) << false;
    QTest::newRow("inversion in inversion") << int(I) << int(I) << false;
    QTest::newRow("horizon fit in inversion") << int(I) << int(H) << false;
    QTest::newRow("import in inversion") << int(I) << int(R) << false;
    QTest::newRow("import in export") << int(W) << int(R) << false;
    QTest::newRow("forward in export") << int(W) << int(F) << false;
    QTest::newRow("forward in import") << int(R) << int(F) << false;
}

void TestRunGuard::nesting()
{
    QFETCH(int, outer);
    QFETCH(int, inner);
    QFETCH(bool, allowed);
    MainWindow w;
    w.language = 1;
    RunGuard first(&w, RunKind(outer));
    QVERIFY(bool(first));
    const bool forward = w.forward_running, inversion = w.inversion_running;
    {
        RunGuard second(&w, RunKind(inner));
        QCOMPARE(bool(second), allowed);
        QCOMPARE(fake->errors(), allowed ? QStringList() : QStringList{busyEnglish()});
        if (!allowed) {
            QCOMPARE(w.forward_running, forward);
            QCOMPARE(w.inversion_running, inversion);
        }
    }
    // The outer run is untouched by the inner one's end.
    QVERIFY(w.runActive());
    QVERIFY(!w.ui->open_project->isEnabled());
    QCOMPARE(w.inversion_running, inversion);
}

// The inversion's closing forward run keeps the inversion's action states.
void TestRunGuard::forwardInsideInversionLeavesTheInversionIcons()
{
    MainWindow w;
    RunGuard inversion(&w, RunKind::Inversion);
    {
        RunGuard forward(&w, RunKind::Forward);
        QVERIFY(w.forward_running && w.inversion_running);
        QVERIFY(showsIcon(w.ui->inversion, stopIcon));
        QVERIFY(w.ui->inversion->isEnabled());
        QVERIFY(showsIcon(w.ui->forward_grid, ":/Images/start_green.png"));
        QVERIFY(!w.ui->forward_grid->isEnabled());
    }
    QVERIFY(!w.forward_running);
    QVERIFY(w.inversion_running);
    QVERIFY(showsIcon(w.ui->inversion, stopIcon));
    QVERIFY(!w.ui->horizonInversion->isEnabled());
}

// A stop only clears the flag: until the run has returned no other run may
// start and the data stay locked.
void TestRunGuard::stoppedRunStillHoldsTheData()
{
    MainWindow w;
    RunGuard run(&w, RunKind::Inversion);
    w.inversion_running = false;  // second press of the action
    QVERIFY(w.runActive());
    QVERIFY(!w.beginRun(RunKind::Inversion));
    QVERIFY(w.beginRun(RunKind::Forward));  // its own closing forward run is allowed
    w.endRun(RunKind::Forward);
    QVERIFY(!w.ui->clear_3D_grid->isEnabled());
    QVERIFY(w.refuseWhileRunning());
    QCOMPARE(fake->errors().size(), 2);
}

void TestRunGuard::fileRunsTakeTheAbortFlags()
{
    MainWindow w;
    w.abort_requested = true;  // left over from an earlier aborted operation
    {
        RunGuard run(&w, RunKind::FileRead);
        QVERIFY(w.abort_enabled);
        QVERIFY(!w.abort_requested);
        {
            RunGuard nested(&w, RunKind::FileWrite);
            QVERIFY(w.abort_enabled);
        }
        QVERIFY(w.abort_enabled);
        w.stopRuns();
        QVERIFY(w.abort_requested);
    }
    QVERIFY(!w.abort_enabled);
    // Stopping with no file run leaves the abort request alone.
    w.abort_requested = false;
    RunGuard forward(&w, RunKind::Forward);
    w.stopRuns();
    QVERIFY(!w.abort_requested);
    QVERIFY(!w.forward_running);
}

void TestRunGuard::busyMessageInBothLanguages_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0
                             << QStringLiteral("Выполняется другая операция: остановите ее или дождитесь окончания");
    QTest::newRow("English") << 1 << busyEnglish();
}

void TestRunGuard::busyMessageInBothLanguages()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    MainWindow w;
    w.language = language;
    QVERIFY(!w.refuseWhileRunning());
    RunGuard run(&w, RunKind::Forward);
    QVERIFY(w.refuseWhileRunning());
    QCOMPARE(fake->errors(), QStringList{text});
}

// A close during a run: the question is asked at once, the run is stopped,
// and the window saves (on Yes) and closes only after the run has returned.
void TestRunGuard::closeDuringRun_data()
{
    QTest::addColumn<bool>("withData");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("saves");
    QTest::addColumn<bool>("writesSettings");
    QTest::newRow("data, Yes") << true << int(QMessageBox::Yes) << 1 << true;
    QTest::newRow("data, No") << true << int(QMessageBox::No) << 0 << true;
    QTest::newRow("nothing loaded") << false << int(QMessageBox::Yes) << 0 << true;
}

void TestRunGuard::closeDuringRun()
{
    QFETCH(bool, withData);
    QFETCH(int, answer);
    QFETCH(int, saves);
    QFETCH(bool, writesSettings);
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        s.clear();
    }

    MainWindow w;
    if (withData)
        w.den_grid = cube(2, 2, 2, 2.f);
    int saveCalls = 0;
    bool runActiveAtSave = true;
    w.save_before_close = [&] {
        ++saveCalls;
        runActiveAtSave = w.runActive();
        return true;
    };
    fake->answers << QMessageBox::StandardButton(answer);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    {
        RunGuard run(&w, RunKind::Inversion);
        RunGuard forward(&w, RunKind::Forward);
        QVERIFY(!w.close());                 // the run is still on the stack
        QVERIFY(!w.inversion_running);       // ... but told to stop
        QVERIFY(!w.forward_running);
        QVERIFY(w.isVisible());
        QCOMPARE(saveCalls, 0);              // nothing half-computed is saved
        QCOMPARE(fake->questions.size(), withData ? 1 : 0);
        // A second request while waiting asks nothing more.
        QVERIFY(!w.close());
        QCOMPARE(fake->questions.size(), withData ? 1 : 0);
        QCoreApplication::processEvents();
        QVERIFY(w.isVisible());
    }
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(saveCalls, saves);
    if (saves)
        QVERIFY(!runActiveAtSave);
    QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
    QCOMPARE(s.contains("preferences/language"), writesSettings);
    QVERIFY(fake->notes.isEmpty());
}

void TestRunGuard::closeDuringRunCancelledLetsItRun()
{
    MainWindow w;
    w.Vz_observed = field2D(1, std::vector<double>(1, 1.0));
    int saveCalls = 0;
    w.save_before_close = [&] { return ++saveCalls, true; };
    w.show();
    {
        RunGuard run(&w, RunKind::Forward);
        fake->answers << QMessageBox::Cancel;
        QVERIFY(!w.close());
        QVERIFY(w.forward_running);
    }
    QCoreApplication::processEvents();
    QTest::qWait(20);
    QVERIFY(w.isVisible());
    QCOMPARE(saveCalls, 0);
    // Later closes ask again.
    fake->answers << QMessageBox::No;
    QVERIFY(w.close());
    QCOMPARE(fake->questions.size(), 2);
}

void TestRunGuard::closeDuringRunWithFailedSaveStaysOpen()
{
    MainWindow w;
    w.horizons = {field2D(1, std::vector<double>(1, 1.0))};
    int saveCalls = 0;
    w.save_before_close = [&] { return ++saveCalls, false; };
    w.show();
    {
        RunGuard run(&w, RunKind::HorizonFit);
        fake->answers << QMessageBox::Yes;
        QVERIFY(!w.close());
    }
    QTRY_COMPARE(saveCalls, 1);
    QTest::qWait(20);
    QVERIFY(w.isVisible());
    QCOMPARE(w.horizons.size(), std::size_t(1));
    // Nothing is pending any more: the next close asks again.
    fake->answers << QMessageBox::No;
    QVERIFY(w.close());
    QCOMPARE(fake->questions.size(), 2);
}

QTEST_MAIN(TestRunGuard)
#include "tst_run_guard.moc"
