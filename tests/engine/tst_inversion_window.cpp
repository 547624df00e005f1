// The 3D density inversion on the main window, offscreen with scripted
// message boxes: the command's checks and dialog, the run frame, synthetic
// recovery, thread independence, a stop after k iterations, the cached
// regularization-weight factor, refusals of disagreeing inputs, divergence
// and memory exhaustion.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/field_stats.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/inversion_parameters.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "window_test_support.h"
#include "grid_compare_support.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

using namespace inversion_record;
using namespace windowtest;

namespace {

// A model with two bodies in a zero background.
vector3D true_model(int nx, int ny, int nz)
{
    vector3D m(nz, vector2D(ny, std::vector<float>(nx, 0.0f)));
    for (int j = ny / 4; j < ny / 2; ++j)
        for (int i = nx / 4; i < nx / 2; ++i)
            m[1][j][i] = 0.3f;
    m[nz - 1][3 * ny / 4][3 * nx / 4] = -0.4f;
    return m;
}

// Puts a zero model on the window whose observed field is the true model's field.
void give_problem(MainWindow& w, int nx = 12, int ny = 10, int nz = 4, double p = 0.5)
{
    w.x_calc = nodes(nx, 10000, 100);
    w.y_calc = nodes(ny, 20000, 100);
    w.z_calc = nodes(nz, 0, 50);
    w.calc_height = -20;
    w.expansion_factor = p;
    w.store_eff = true;
    w.save_log = false;
    w.den_grid = true_model(nx, ny, nz);
    ForwardGeometry g;
    if (forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, p, g) != ForwardStatus::Completed)
        qFatal("geometry refused");
    forward_without_store(w.den_grid, g, w.Vz_observed, 1);
    w.den_grid.assign(nz, vector2D(ny, std::vector<float>(nx, 0.0f)));
    w.effects.clear();
    w.alpha_factor = 0;
}

std::vector<double> record(int iterations_count, double power = 1)
{
    return grid_inversion_record(iterations_count, power);
}

bool all_finite(const vector3D& c)
{
    for (const auto& l : c)
        for (const auto& r : l)
            for (float v : r)
                if (!std::isfinite(v))
                    return false;
    return true;
}

} // namespace

class TestInversionWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake.reset(new FakeInteraction);
        w.reset(new MainWindow);
        w->language = 1;
    }
    void cleanup()
    {
        w.reset();
        fake.reset();
    }

    void commandChecks_data();
    void commandChecks();
    void commandOpensDialogWithState();
    void dialogOkRunsTheInversion();
    void syntheticRecovery();
    void resultsDoNotDependOnThreads();
    void stopAfterKIterations_data();
    void stopAfterKIterations();
    void factorIsCachedWhilePowerStays();
    void stopDuringFitCachesNothing();
    void stopDuringEffectsBuild();
    void flatObservedFieldIsRefused();
    void disagreeingInputsAreRefused_data();
    void disagreeingInputsAreRefused();
    void divergenceNeverWritesNaN();
    void powerScheduleRuns();
    void storageOffDropsEffects();
    void outOfMemory();
    void statusLineAfterTheRun_data();
    void statusLineAfterTheRun();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

void TestInversionWindow::commandChecks_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("no grid, English") << 1 << "no grid" << "3D density gird is empty";
    QTest::newRow("no grid, Russian") << 0 << "no grid" << QString::fromUtf8("3D грид плотности пуст ");
    QTest::newRow("no field, English") << 1 << "no field" << "Observed field is empty";
    QTest::newRow("no field, Russian") << 0 << "no field"
                                       << QString::fromUtf8("Наблюденное поле не загружено в проект");
    QTest::newRow("rows differ") << 1 << "rows" << "3D grid and observed field parameters don't match";
    QTest::newRow("columns differ") << 0 << "columns"
                                    << QString::fromUtf8("Параметры разбиения модели и поля не совпадают");
    QTest::newRow("ragged field") << 1 << "ragged" << "3D grid and observed field parameters don't match";
}

void TestInversionWindow::commandChecks()
{
    QFETCH(int, language);
    QFETCH(QString, setup);
    QFETCH(QString, error);
    give_problem(*w);
    w->language = language;
    if (setup == "no grid")
        w->den_grid.clear();
    else if (setup == "no field")
        w->Vz_observed.clear();
    else if (setup == "rows")
        w->Vz_observed.pop_back();
    else if (setup == "columns")
        for (auto& r : w->Vz_observed)
            r.pop_back();
    else if (setup == "ragged")
        w->Vz_observed[3].pop_back();
    const size_t undo = w->undo_stack.size();
    const bool dialog = answer_inversion_dialog({}, false, [&] { w->ui->inversion->trigger(); });
    QVERIFY(!dialog);
    QCOMPARE(fake->errors(), QStringList{error});
    QCOMPARE(w->undo_stack.size(), undo);
}

void TestInversionWindow::commandOpensDialogWithState()
{
    give_problem(*w);
    w->regularizer = w->den_grid;
    std::vector<double> previous = record(7);
    previous[step_scale] = 0.5;
    previous[kind] = kind_lateral;
    w->inversion_params = previous;
    w->log_dir = "/tmp/some logs";
    w->save_log = true;
    // The user's last real undo step.
    w->update_undo(1);
    const std::vector<UndoRecord> undo = w->undo_stack;
    QString memory, dir, iterations_text;
    bool uploaded_enabled = false, lateral = false, log_checked = false;
    const bool seen = answer_inversion_dialog(
        [&](inversion_parameters* d) {
            memory = d->findChild<QLabel*>("memory_label")->text();
            dir = d->findChild<QLabel*>("logDirLabel")->text();
            iterations_text = d->findChild<QLineEdit*>("input_N_iter")->text();
            uploaded_enabled = d->findChild<QCheckBox*>("use_uploaded_reg_checkbox")->isEnabled();
            lateral = d->findChild<QRadioButton*>("lateralInversion")->isChecked();
            log_checked = d->findChild<QCheckBox*>("log_checkbox")->isChecked();
            QCOMPARE(d->language(), 1);
        },
        false, [&] { w->ui->inversion->trigger(); });
    QVERIFY(seen);
    QVERIFY2(memory.startsWith(QString("You need ≈ ")) && memory.endsWith("GB RAM"), qPrintable(memory));
    QCOMPARE(memory, QString("You need ≈ %1GB RAM").arg(w->calcInvMemory(), 0, 'f', 3));
    QCOMPARE(dir, QString("/tmp/some logs"));
    QCOMPARE(iterations_text, QString("7"));
    QVERIFY(uploaded_enabled);
    QVERIFY(lateral);
    QVERIFY(log_checked);
    // Cancel: no snapshot, nothing changed.
    QCOMPARE(w->undo_stack.size(), undo.size());
    QCOMPARE(w->inversion_params, previous);
    QVERIFY(fake->errors().isEmpty());
    // However often the dialog is cancelled, the undo steps stay.
    for (int i = 0; i < 3; ++i)
        QVERIFY(answer_inversion_dialog({}, false, [&] { w->ui->inversion->trigger(); }));
    QCOMPARE(w->undo_stack.size(), undo.size());
    QCOMPARE(w->undo_stack.back().grid, undo.back().grid);
}

void TestInversionWindow::dialogOkRunsTheInversion()
{
    give_problem(*w);
    const vector3D before = w->den_grid;
    const size_t undo = w->undo_stack.size();
    const bool seen = answer_inversion_dialog(
        [](inversion_parameters* d) {
            d->findChild<QLineEdit*>("input_N_iter")->setText("2");
            d->findChild<QCheckBox*>("log_checkbox")->setChecked(false);
        },
        true, [&] { w->ui->inversion->trigger(); });
    QVERIFY(seen);
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->inversion_params.size(), record_size);
    QCOMPARE(w->inversion_params[iterations], 2.0);
    QVERIFY(!w->save_log);
    QVERIFY(!w->log_dir.isEmpty());
    // One snapshot, taken when the run started: Undo gives the grid back.
    QCOMPARE(w->undo_stack.size(), std::min<size_t>(undo + 1, 3));
    QVERIFY(bit_identical(w->undo_stack.back().grid, before));
    QVERIFY(!bit_identical(w->den_grid, before));
    QVERIFY(w->alpha_factor > 0);
    QVERIFY(!w->inversion_running);
    QVERIFY(!w->forward_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
    QVERIFY(w->ui->forward_grid->isEnabled());
    QVERIFY(w->ui->horizonInversion->isEnabled());
    QCOMPARE(w->calculated_params,
             (std::vector<double>{12, 10, w->x_calc.front(), w->x_calc.back(), w->y_calc.front(), w->y_calc.back()}));
}

void TestInversionWindow::syntheticRecovery()
{
    give_problem(*w, 12, 10, 4, 0.5);
    w->Vz_calculated.assign(10, std::vector<double>(12, 0.0));
    std::vector<double> misfits{misfit(*w)};  // the zero model's field is 0
    QString last;
    bool states_ok = true;
    while_running(
        [&] {
            if (!w->progress_label)
                return;
            const QString t = w->progress_label->text();
            // At the start of iteration n+1, and when the closing forward
            // calculation starts, the field of iteration n is in place.
            if (t != last && ((t.startsWith("Iter ") && t.endsWith(" - 0 %") && t != "Iter 1 - 0 %")
                              || t == "Recalc forward"))
                misfits.push_back(misfit(*w));
            last = t;
            states_ok = states_ok && w->inversion_running && !w->ui->forward_grid->isEnabled()
                        && same_icon(w->ui->inversion->icon(), ":/Images/stop.png");
        },
        [&] { w->start_inversion(record(6)); });
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(states_ok);
    QCOMPARE(int(misfits.size()), 7);
    for (size_t i = 1; i < misfits.size(); ++i)
        QVERIFY2(misfits[i] < misfits[i - 1],
                 qPrintable(QString("iteration %1: %2 after %3").arg(i).arg(misfits[i]).arg(misfits[i - 1])));
    QVERIFY2(misfits.back() < 0.05 * misfits.front(),
             qPrintable(QString("%1 of %2").arg(misfits.back()).arg(misfits.front())));
    // The model written into the grid (its padding rebuilt from the edges)
    // still fits far better than the start.
    QVERIFY2(misfit(*w) < 0.1 * misfits.front(), qPrintable(QString("%1 of %2").arg(misfit(*w)).arg(misfits.front())));
    QVERIFY(all_finite(w->den_grid));

    // The calculated field is the forward field of the written model.
    ForwardGeometry g;
    QCOMPARE(int(forward_geometry(w->den_grid, w->x_calc, w->y_calc, w->z_calc, w->calc_height, w->expansion_factor,
                                  g)),
             int(ForwardStatus::Completed));
    field2D reference;
    forward_without_store(w->den_grid, g, reference, 1);
    for (size_t j = 0; j < reference.size(); ++j)
        for (size_t i = 0; i < reference[j].size(); ++i)
            QVERIFY(std::abs(reference[j][i] - w->Vz_calculated[j][i]) < 1e-4 * (1 + std::abs(reference[j][i])));
    // Effects were kept (storage on) for this geometry.
    QVERIFY(effects_fit(w->effects, g));
}

void TestInversionWindow::resultsDoNotDependOnThreads()
{
    vector3D first;
    double factor = 0;
    for (int threads : {1, 2, 5}) {
        w.reset(new MainWindow);
        give_problem(*w, 11, 9, 5, 0.5);
        w->thread_count = threads;
        w->start_inversion(record(3));
        QVERIFY(fake->errors().isEmpty());
        if (threads == 1) {
            first = w->den_grid;
            factor = w->alpha_factor;
        } else {
            QCOMPARE(w->alpha_factor, factor);
            QVERIFY2(bit_identical(w->den_grid, first), qPrintable(QString::number(threads)));
        }
    }
}

void TestInversionWindow::stopAfterKIterations_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("log");
    QTest::newRow("after 1") << 1 << false;
    QTest::newRow("after 3") << 3 << false;
    QTest::newRow("after 2, filling stage on") << 2 << true;
}

void TestInversionWindow::stopAfterKIterations()
{
    QFETCH(int, k);
    QFETCH(bool, log);
    // Both runs start from the same cached factor, so their weights agree to the bit.
    give_problem(*w);
    w->start_inversion(record(1));
    const double factor = w->alpha_factor;
    QVERIFY(factor > 0);

    // The model of k complete iterations.
    w.reset(new MainWindow);
    give_problem(*w);
    w->save_log = log;
    w->alpha_factor = factor;
    w->start_inversion(record(k));
    const vector3D expected = w->den_grid;

    // A run of 10 iterations stopped by a second press during iteration k's last step.
    w.reset(new MainWindow);
    give_problem(*w);
    w->save_log = log;
    w->alpha_factor = factor;
    const QString last_step = QString("Iter %1 - 95 %").arg(k);
    bool pressed = false;
    while_running(
        [&] {
            if (!pressed && w->progress_label && w->progress_label->text() == last_step) {
                pressed = true;
                w->ui->inversion->trigger();
                QVERIFY(!w->inversion_running);
                QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
            }
        },
        [&] { w->start_inversion(record(10)); });
    QVERIFY(pressed);
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(bit_identical(w->den_grid, expected));
    QVERIFY(!w->inversion_running);
    QVERIFY(w->ui->forward_grid->isEnabled());
    // The closing forward field was computed.
    QVERIFY(misfit(*w) < field_misfit(w->Vz_observed, field2D(10, std::vector<double>(12, 0.0))).rms);
}

void TestInversionWindow::factorIsCachedWhilePowerStays()
{
    give_problem(*w);
    int fit_texts = 0;
    auto count_fit = [&] {
        if (w->progress_label && w->progress_label->text().startsWith("Fit alpha step"))
            ++fit_texts;
    };
    while_running(count_fit, [&] { w->start_inversion(record(1)); });
    QVERIFY(fit_texts > 0);
    const double factor = w->alpha_factor;
    QVERIFY(factor > 0);

    // Same depth power, other step scale and schedule: no fit.
    fit_texts = 0;
    std::vector<double> r = record(1);
    r[step_scale] = 0.5;
    r[power_schedule] = 1;
    r[final_power] = 2;
    while_running(count_fit, [&] { w->start_inversion(r); });
    QCOMPARE(fit_texts, 0);
    QCOMPARE(w->alpha_factor, factor);

    // Another depth power: fitted again.
    while_running(count_fit, [&] { w->start_inversion(record(1, 2.0)); });
    QVERIFY(fit_texts > 0);
    QVERIFY(w->alpha_factor > 0);

    // A record whose power is not a number counts as different.
    w->inversion_params[depth_power] = std::numeric_limits<double>::quiet_NaN();
    w->alpha_factor = 123;
    fit_texts = 0;
    while_running(count_fit, [&] { w->start_inversion(record(1, 2.0)); });
    QVERIFY(fit_texts > 0);
    QVERIFY(w->alpha_factor != 123);
}

void TestInversionWindow::stopDuringFitCachesNothing()
{
    give_problem(*w);
    const vector3D before = w->den_grid;
    while_running(
        [&] {
            if (w->inversion_running && w->progress_label->text().startsWith("Fit alpha step 1 - 30"))
                w->ui->inversion->trigger();
        },
        [&] { w->start_inversion(record(3)); });
    QCOMPARE(w->alpha_factor, 0.0);
    QVERIFY(bit_identical(w->den_grid, before));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->inversion_params, record(3));
    QVERIFY(!w->inversion_running);
}

void TestInversionWindow::stopDuringEffectsBuild()
{
    give_problem(*w);
    const vector3D before = w->den_grid;
    w->Vz_calculated.assign(10, std::vector<double>(12, 5.0));
    while_running(
        [&] {
            if (w->inversion_running && w->progress_label->text().startsWith("Calculating effects matrix"))
                w->ui->inversion->trigger();
        },
        [&] { w->start_inversion(record(3)); });
    QVERIFY(w->effects.empty());
    QVERIFY(bit_identical(w->den_grid, before));
    // The calculated map shows the zero field of the observed field's shape.
    QCOMPARE(w->Vz_calculated, field2D(10, std::vector<double>(12, 0.0)));
}

void TestInversionWindow::flatObservedFieldIsRefused()
{
    give_problem(*w);
    for (auto& r : w->Vz_observed)
        std::fill(r.begin(), r.end(), 7.5);
    w->den_grid[2][3][4] = 1.0f;
    const vector3D before = w->den_grid;
    w->start_inversion(record(3));
    QCOMPARE(fake->errors(),
             QStringList{"The observed field is constant: the regularization weight can't be fitted"});
    QCOMPARE(w->alpha_factor, 0.0);
    QVERIFY(bit_identical(w->den_grid, before));
    QVERIFY(!w->inversion_running);
}

void TestInversionWindow::disagreeingInputsAreRefused_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("kindValue");
    QTest::addColumn<QString>("error");
    QTest::newRow("fixed flag, horizons on another grid") << "fixed, small horizons" << 1
                                                          << "The horizons don't match the 3D grid";
    QTest::newRow("fixed flag, ragged horizon") << "fixed, ragged horizon" << 1
                                                << "The horizons don't match the 3D grid";
    QTest::newRow("fixed flags without horizons") << "fixed, no horizons" << 1
                                                  << "Fixed layers are set but there are no horizons";
    QTest::newRow("more flags than horizons") << "fixed, extra flag" << 1
                                              << "The fixed-layer flags don't match the horizons";
    QTest::newRow("lateral without horizons") << "none" << 2 << "Lateral inversion needs horizons";
    QTest::newRow("lateral, horizons on another grid") << "small horizons" << 2
                                                       << "The horizons don't match the 3D grid";
    QTest::newRow("coordinates shorter than the grid") << "short x" << 1
                                                       << "The node coordinates don't match the size of the 3D grid";
    QTest::newRow("one level") << "one level" << 1
                               << "The 3D grid needs at least two nodes with a positive step along every axis";
}

void TestInversionWindow::disagreeingInputsAreRefused()
{
    QFETCH(QString, setup);
    QFETCH(int, kindValue);
    QFETCH(QString, error);
    give_problem(*w);
    auto horizon = [](size_t ny, size_t nx, double d) { return field2D(ny, std::vector<double>(nx, d)); };
    if (setup.startsWith("fixed")) {
        w->horizons = {horizon(10, 12, 0), horizon(10, 12, 80)};
        w->fixed = {false, true};
    }
    if (setup.endsWith("small horizons"))
        w->horizons = {horizon(5, 6, 0), horizon(5, 6, 80)};
    if (setup == "fixed, ragged horizon")
        w->horizons[1][9].pop_back();
    if (setup == "fixed, no horizons")
        w->horizons.clear();
    if (setup == "fixed, extra flag")
        w->fixed.push_back(false);
    if (setup == "small horizons")
        w->fixed = {false, false};
    if (setup == "short x")
        w->x_calc.pop_back();
    if (setup == "one level") {
        w->den_grid.resize(1);
        w->z_calc.resize(1);
    }
    const vector3D before = w->den_grid;
    const field2D calculated = w->Vz_calculated;
    std::vector<double> r = record(2);
    r[kind] = kindValue;
    w->start_inversion(r);
    QCOMPARE(fake->errors(), QStringList{error});
    QVERIFY(bit_identical(w->den_grid, before));
    QVERIFY(!w->inversion_running);
    QVERIFY(w->ui->inversion->isEnabled());
}

void TestInversionWindow::divergenceNeverWritesNaN()
{
    give_problem(*w);
    w->den_grid[1][2][3] = 0.25f;
    const vector3D before = w->den_grid;
    std::vector<double> r = record(5);
    r[step_scale] = 1e30;
    w->start_inversion(r);
    QVERIFY(all_finite(w->den_grid));
    QVERIFY(bit_identical(w->den_grid, before));
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY(fake->errors()[0].startsWith("The inversion diverged"));
    // The calculated field is that of the unchanged grid.
    for (const auto& row : w->Vz_calculated)
        for (double v : row)
            QVERIFY(std::isfinite(v));
}

void TestInversionWindow::powerScheduleRuns()
{
    // With the schedule on, the first iteration uses the initial power: a
    // one-iteration run equals the constant-power run.
    give_problem(*w);
    w->start_inversion(record(1, 1.0));
    const vector3D constant = w->den_grid;
    const double factor = w->alpha_factor;
    w.reset(new MainWindow);
    give_problem(*w);
    w->alpha_factor = factor;
    std::vector<double> r = record(1, 1.0);
    r[power_schedule] = 1;
    r[final_power] = 3;
    w->start_inversion(r);
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->alpha_factor, factor);
    double scale = 0, diff = 0;
    for (size_t k = 0; k < constant.size(); ++k)
        for (size_t j = 0; j < constant[k].size(); ++j)
            for (size_t i = 0; i < constant[k][j].size(); ++i) {
                scale = std::max(scale, double(std::abs(constant[k][j][i])));
                diff = std::max(diff, double(std::abs(constant[k][j][i] - w->den_grid[k][j][i])));
            }
    QVERIFY(scale > 0);
    QVERIFY2(diff <= 1e-5 * scale, qPrintable(QString("%1 of %2").arg(diff).arg(scale)));
    // Several iterations with the schedule still fit the data.
    const double start = field_misfit(w->Vz_observed, field2D(10, std::vector<double>(12, 0.0))).rms;
    w.reset(new MainWindow);
    give_problem(*w);
    r[iterations] = 4;
    w->start_inversion(r);
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(misfit(*w) < 0.2 * start);
}

void TestInversionWindow::storageOffDropsEffects()
{
    give_problem(*w);
    w->store_eff = false;
    w->start_inversion(record(1));
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w->effects.empty());
}

void TestInversionWindow::outOfMemory()
{
    // Arrays of about 50 MB (effects alone: 512 x 512 x 50 floats) in an
    // address space that cannot grow by more than 24 MB; the grid itself
    // (and its undo snapshot) is small.
    std::ifstream status("/proc/self/status");
    std::string line;
    long long vm_kb = 0;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            vm_kb = std::atoll(line.c_str() + 7);
    QVERIFY(vm_kb > 0);
    give_problem(*w, 100, 100, 3, 1.0);
    w->den_grid.assign(50, vector2D(100, std::vector<float>(100, 0.0f)));
    w->z_calc = nodes(50, 0, 50);
    const vector3D before = w->den_grid;

    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(vm_kb + 24 * 1024) * 1024;
    QVERIFY(setrlimit(RLIMIT_AS, &tight) == 0);
    w->start_inversion(record(1));
    setrlimit(RLIMIT_AS, &old);

    QCOMPARE(fake->errors(), QStringList{"Out of memory"});
    QVERIFY(bit_identical(w->den_grid, before));
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
    QVERIFY(w->ui->forward_grid->isEnabled());
    QVERIFY(w->ui->horizonInversion->isEnabled());
    // Never a half-built operator: either none or one of this geometry.
    ForwardGeometry g;
    forward_geometry(w->den_grid, w->x_calc, w->y_calc, w->z_calc, w->calc_height, w->expansion_factor, g);
    QVERIFY(w->effects.empty() || effects_fit(w->effects, g));
}

void TestInversionWindow::statusLineAfterTheRun_data()
{
    QTest::addColumn<bool>("horizonsView");
    QTest::newRow("horizons view") << true;
    QTest::newRow("cube view") << false;
}

void TestInversionWindow::statusLineAfterTheRun()
{
    // The run's step texts ("Recalc forward" last) do not stay behind: the
    // status line says what it said before (the cube view redraws the grid
    // size), and the misfit is that of the final field.
    QFETCH(bool, horizonsView);
    give_problem(*w);
    w->ui->view_cube->setChecked(!horizonsView);
    w->ui->view_horizons->setChecked(horizonsView);
    w->progress_label->setText("(Nx, Ny, Nz) = (12, 10, 4)");
    w->start_inversion(record(3));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->progress_label->text(), QString("(Nx, Ny, Nz) = (12, 10, 4)"));
    QCOMPARE(w->misfit_label->text(), misfit_text(field_misfit(w->Vz_observed, w->Vz_calculated), 1));
    QVERIFY(w->misfit_label->text().endsWith(" %"));
}

QTEST_MAIN(TestInversionWindow)
#include "tst_inversion_window.moc"
