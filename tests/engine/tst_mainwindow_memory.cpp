// The main window's memory check and inversion estimate, offscreen, with the
// question answered by a script.
#include <QtTest>

#include "app/mainwindow.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/memory.h"
#include "fake_interaction.h"
#include "fixed_memory_figures.h"
#include "layered_window_support.h"
#include "common/grid_geometry.h"
#include "inversion_records.h"
#include "test_nodes.h"

class TestMainWindowMemory : public QObject
{
    Q_OBJECT

private slots:
    // 1 GB available of a machine that could give an exabyte: every large
    // run asks, none is refused, whatever this machine has.
    void init() { figures = std::make_unique<FixedMemoryFigures>(gib, std::uint64_t(1) << 60); }
    void cleanup() { figures.reset(); }
    void small_run_asks_nothing();
    void hopeless_run_refused_data();
    void hopeless_run_refused();
    void huge_run_asks_data();
    void huge_run_asks();
    void question_names_the_run();
    void inversion_estimate();
    void inversion_asks_with_dialog_figure_data();
    void inversion_asks_with_dialog_figure();
    void forward_asks_data();
    void forward_asks();
    void first_forward_asks_with_result();
    void layered_asks_after_fresh_forward();
    void every_run_refused_beyond_ceiling_data();
    void every_run_refused_beyond_ceiling();

private:
    static constexpr std::uint64_t gib = std::uint64_t(1) << 30;
    std::unique_ptr<FixedMemoryFigures> figures;
};

void TestMainWindowMemory::small_run_asks_nothing()
{
    FakeInteraction fake;
    MainWindow w;
    QVERIFY(w.check_memory(64, 64, 10));
    QVERIFY(w.check_memory(64, 64, 10, 1.0));
    QVERIFY(w.check_memory_need(64.0 * 64 * 10, MemoryRun::Forward));
    QVERIFY(fake.questions.isEmpty());
}

void TestMainWindowMemory::hopeless_run_refused_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("lead");
    QTest::newRow("English") << 1 << QString("Out of memory: at least ");
    QTest::newRow("Russian") << 0 << QString::fromUtf8("Недостаточно памяти: требуется не менее ");
}

// A need beyond all the memory the machine can ever give is refused with
// both figures, without a question that Yes could only answer with a crash.
void TestMainWindowMemory::hopeless_run_refused()
{
    QFETCH(int, language);
    QFETCH(QString, lead);
    FixedMemoryFigures machine(gib, 3 * gib);
    FakeInteraction fake;
    fake.answers << QMessageBox::Yes;
    MainWindow w;
    w.language = language;
    QVERIFY(!w.check_memory(65536, 65536, 1000, 1.0, MemoryRun::Forward));
    QVERIFY(fake.questions.isEmpty());
    QCOMPARE(fake.errors().size(), 1);
    const QString need = QString::number(run_memory_need_gb(65536, 65536, 1000, 1.0), 'g', 6);
    QVERIFY2(fake.errors().first().startsWith(lead + need), qPrintable(fake.errors().first()));
    QVERIFY2(fake.errors().first().contains(" 3 "), qPrintable(fake.errors().first()));
    // Between the memory available and the ceiling, the question is asked.
    fake.clear();
    fake.answers << QMessageBox::Yes;
    QVERIFY(w.check_memory_need(2.0 * gib, MemoryRun::Forward));
    QCOMPARE(fake.questions.size(), 1);
    QVERIFY(fake.errors().isEmpty());
}

void TestMainWindowMemory::huge_run_asks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("result");
    QTest::newRow("No stops") << int(QMessageBox::No) << false;
    QTest::newRow("Yes goes on") << int(QMessageBox::Yes) << true;
}

void TestMainWindowMemory::huge_run_asks()
{
    QFETCH(int, answer);
    QFETCH(bool, result);
    FakeInteraction fake;
    fake.answers << QMessageBox::StandardButton(answer);
    MainWindow w;
    // 65536 x 65536 x 1000 cells: far more than any machine has, so the
    // question comes although the need is above the memory available.
    w.language = 1;
    QCOMPARE(w.check_memory(65536, 65536, 1000), result);
    QCOMPARE(fake.questions.size(), 1);
    const auto& q = fake.questions.first();
    QCOMPARE(q.title, QString("Tolmera3D"));
    QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(q.defaultButton, QMessageBox::No);
    const double need = run_memory_need_gb(65536, 65536, 1000, 20.0);  // the default bytes per cell
    QVERIFY2(q.text.startsWith("High memory usage. You need at least "
                               + QString::number(need, 'g', 6) + " GB of "),
             qPrintable(q.text));
    QVERIFY(q.text.endsWith("\n Do you want to run inversion without changes?"));
}

// The question names the run that asks, in the window's language.
void TestMainWindowMemory::question_names_the_run()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 0;
    QVERIFY(!w.check_memory(65536, 65536, 1000, 1.0, MemoryRun::HorizonFit));
    QCOMPARE(fake.questions.size(), 1);
    const double need = run_memory_need_gb(65536, 65536, 1000, 1.0);
    QVERIFY(fake.questions[0].text.startsWith(QString::fromUtf8("Большой расход памяти. Требуется не менее ")
                                              + QString::number(need, 'g', 6) + QString::fromUtf8(" ГБ из ")));
    QVERIFY(fake.questions[0].text.contains(QString::fromUtf8("Запустить «Подбор границы» без изменений?")));
}

void TestMainWindowMemory::inversion_estimate()
{
    MainWindow w;
    QCOMPARE(w.calcInvMemory(), 0.0);
    w.den_grid.assign(50, vector2D(100, std::vector<float>(128, 2.0f)));
    w.thread_count = 3;
    w.save_log = false;
    w.expansion_factor = 0.5; // 128 * 2 = 256 columns, 100 * 2 -> 256 rows
    const double GiB = double(1 << 30);
    QCOMPARE(w.calcInvMemory(), inversion_need_bytes(RunSize{128, 100, 50, 256, 256, 3}, {}) / GiB);
    // The log brings the model back every iteration.
    w.save_log = true;
    InversionMemoryOptions logged;
    logged.fill_stage = true;
    QCOMPARE(w.calcInvMemory(), inversion_need_bytes(RunSize{128, 100, 50, 256, 256, 3}, logged) / GiB);
    w.save_log = false;
    // The options of the record the dialog comes up with count.
    w.inversion_params.assign(inversion_record::record_size, 0.0);
    w.inversion_params[inversion_record::kind] = inversion_record::kind_grid;
    w.inversion_params[inversion_record::use_initial_model] = 1;
    InversionMemoryOptions blend;
    blend.reference = true;
    blend.fill_stage = true;
    QCOMPARE(w.calcInvMemory(), inversion_need_bytes(RunSize{128, 100, 50, 256, 256, 3}, blend) / GiB);
    QVERIFY(w.calcInvMemory() > inversion_need_bytes(RunSize{128, 100, 50, 256, 256, 3}, {}) / GiB);
}

namespace {

// A small grid on a padded grid of 32768 x 32768 (the factor at its cap):
// every run needs tens of GB or more before it allocates anything, so its
// question comes.
void give_huge_run(MainWindow& w, int nz)
{
    const int nx = 96, ny = 90;
    w.language = 1;
    w.x_calc = nodes(nx, 0, 100);
    w.y_calc = nodes(ny, 0, 100);
    w.z_calc = nodes(nz, 0, 10);
    w.calc_height = -10;
    w.expansion_factor = 100;
    w.thread_count = 2;
    w.save_log = false;
    w.den_grid.assign(nz, vector2D(ny, std::vector<float>(nx, 2.0f)));
    w.Vz_observed.assign(ny, std::vector<double>(nx, 1.0));
}

// The need in a question's text.
QString asked_need(const FakeInteraction& fake)
{
    if (fake.questions.size() != 1)
        return QString();
    const QString text = fake.questions.first().text;
    const QString lead = "High memory usage. You need at least ";
    if (!text.startsWith(lead))
        return QString();
    return text.mid(lead.size()).section(' ', 0, 0);
}

} // namespace

// The inversion dialog's figure is the one the run's own check asks with,
// for every option that changes it; No leaves the grid as it was.
void TestMainWindowMemory::inversion_asks_with_dialog_figure_data()
{
    QTest::addColumn<int>("option"); // record value set to 1 (-1: none)
    QTest::newRow("plain") << -1;
    QTest::newRow("initial model") << int(inversion_record::use_initial_model);
    QTest::newRow("sign constraint") << int(inversion_record::sign_constraint_on);
    QTest::newRow("limits") << int(inversion_record::density_limits_on);
}

void TestMainWindowMemory::inversion_asks_with_dialog_figure()
{
    QFETCH(int, option);
    FakeInteraction fake;
    fake.answers << QMessageBox::No;
    MainWindow w;
    give_huge_run(w, 100);
    std::vector<double> params = grid_inversion_record(1);
    if (option >= 0)
        params[std::size_t(option)] = 1;
    w.inversion_params = params;
    const double shown = w.calcInvMemory();
    QVERIFY(shown > 100);
    const vector3D before = w.den_grid;
    w.inversion_running = true;
    w.inversion(w.x_calc, w.y_calc, w.z_calc, w.Vz_observed, w.den_grid, params, w.progress_bar,
                w.progress_label);
    QCOMPARE(asked_need(fake), QString::number(shown, 'g', 6));
    QVERIFY(fake.questions.first().text.endsWith("run inversion without changes?"));
    QVERIFY(w.den_grid == before);
    QVERIFY(w.effects.empty());
}

// Both forms of the forward command ask with their own need; the
// storage-off form was never checked before.
void TestMainWindowMemory::forward_asks_data()
{
    QTest::addColumn<bool>("store");
    QTest::newRow("storage off") << false;
    QTest::newRow("storage on") << true;
}

void TestMainWindowMemory::forward_asks()
{
    QFETCH(bool, store);
    FakeInteraction fake;
    fake.answers << QMessageBox::No;
    MainWindow w;
    give_huge_run(w, 2);
    w.store_eff = store;
    ForwardGeometry g;
    QCOMPARE(forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g),
             ForwardStatus::Completed);
    const RunSize size = run_size(g, w.thread_count);
    // No calculated field yet: the run makes its result grid too.
    const double need =
        ((store ? forward_stored_need_bytes(size, false) : forward_without_store_need_bytes(size))
         + forward_result_bytes(size))
        / (1 << 30);
    w.on_forward_grid_triggered();
    QCOMPARE(asked_need(fake), QString::number(need, 'g', 6));
    QVERIFY(fake.questions.first().text.endsWith("run forward calculation without changes?"));
    QVERIFY(w.Vz_calculated.empty());
    QVERIFY(w.effects.empty());
    QVERIFY(!w.forward_running);
}

// The first forward run counts the result grid it makes; a run that finds a
// calculated field of the model's size does not.
void TestMainWindowMemory::first_forward_asks_with_result()
{
    MainWindow w;
    give_huge_run(w, 2);
    w.store_eff = true;
    ForwardGeometry g;
    QCOMPARE(forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g),
             ForwardStatus::Completed);
    const RunSize size = run_size(g, w.thread_count);
    QCOMPARE(w.forwardNeedBytes(g), forward_stored_need_bytes(size, false) + forward_result_bytes(size));
    w.Vz_calculated.assign(g.ny, std::vector<double>(g.nx, 0.0));
    QCOMPARE(w.forwardNeedBytes(g), forward_stored_need_bytes(size, false));
    QVERIFY(forward_result_bytes(size) >= double(g.nx) * g.ny * 8);
}

// The layered inversion's fresh forward run asks about its own need first;
// the rest of the run asks once the calculated field is fresh, so No to
// that question still leaves the new field and the densities as they were.
void TestMainWindowMemory::layered_asks_after_fresh_forward()
{
    FixedMemoryFigures scarce(1, std::uint64_t(1) << 60); // every need asks
    FakeInteraction fake;
    fake.answers << QMessageBox::Yes << QMessageBox::No;
    MainWindow w;
    const layeredtest::Model m = layeredtest::make_model(3, 16, 12, 12, 50);
    layeredtest::give_layered_model(w, m, m.horizons, {2.0, 2.2, 2.5}, {2.0, 2.3, 2.4});
    w.language = 1;
    w.thread_count = 2;
    w.Vz_calculated.clear();
    const std::vector<double> densities = w.densities;
    std::vector<double> params(inversion_record::record_size, 0.0);
    params[inversion_record::iterations] = 2;
    params[inversion_record::step_scale] = 1;
    params[inversion_record::kind] = inversion_record::kind_layered;
    w.inversion_running = true;
    w.layered_inversion(w.x_calc, w.y_calc, w.z_calc, w.Vz_observed, w.horizons, w.densities, params);
    QCOMPARE(fake.questions.size(), 2);
    QVERIFY(fake.questions[0].text.endsWith("run forward calculation without changes?"));
    QVERIFY(fake.questions[1].text.endsWith("run layered inversion without changes?"));
    QVERIFY(grid_has_shape(w.Vz_calculated, std::size_t(m.ny), std::size_t(m.nx)));
    QCOMPARE(w.densities, densities);
}

enum class RunCommand { ForwardWithoutStore, ForwardStored, Inversion, LayeredInversion, HorizonFit };

void TestMainWindowMemory::every_run_refused_beyond_ceiling_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("forward, storage off") << int(RunCommand::ForwardWithoutStore);
    QTest::newRow("forward, storage on") << int(RunCommand::ForwardStored);
    QTest::newRow("inversion") << int(RunCommand::Inversion);
    QTest::newRow("layered inversion") << int(RunCommand::LayeredInversion);
    QTest::newRow("horizon fitting") << int(RunCommand::HorizonFit);
}

// On a machine whose memory and swap (or limit) together are less than any
// run needs, every run command is refused with the figures before it
// starts, without a question, and the model stays as it was.
void TestMainWindowMemory::every_run_refused_beyond_ceiling()
{
    QFETCH(int, command);
    FixedMemoryFigures tiny(1024, 4096);
    FakeInteraction fake;
    fake.answers << QMessageBox::Yes << QMessageBox::Yes;
    MainWindow w;
    const layeredtest::Model m = layeredtest::make_model(3, 16, 12, 12, 50);
    layeredtest::give_layered_model(w, m, m.horizons, {2.0, 2.2, 2.5}, {2.0, 2.3, 2.4});
    w.language = 1;
    w.thread_count = 2;
    w.store_eff = command != int(RunCommand::ForwardWithoutStore);
    w.Vz_calculated.assign(m.ny, std::vector<double>(m.nx, 1.5));
    const vector3D grid = w.den_grid;
    const field2D calculated = w.Vz_calculated;
    const std::vector<double> densities = w.densities;
    const std::vector<field2D> horizons = w.horizons;
    switch (RunCommand(command)) {
    case RunCommand::ForwardWithoutStore:
    case RunCommand::ForwardStored:
        w.on_forward_grid_triggered();
        break;
    case RunCommand::Inversion:
        w.start_inversion(grid_inversion_record(2));
        break;
    case RunCommand::LayeredInversion: {
        std::vector<double> params(inversion_record::record_size, 0.0);
        params[inversion_record::iterations] = 2;
        params[inversion_record::step_scale] = 1;
        params[inversion_record::kind] = inversion_record::kind_layered;
        w.start_polygonal_inversion(params);
        break;
    }
    case RunCommand::HorizonFit: {
        QMap<QString, double> params;
        params.insert("Niter", 2);
        params.insert("layer", 1);
        params.insert("stepScale", 1);
        w.fitHorizon(params);
        break;
    }
    }
    QVERIFY(fake.questions.isEmpty());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().first().startsWith("Out of memory: at least "), qPrintable(fake.errors().first()));
    QCOMPARE(w.den_grid, grid);
    QCOMPARE(w.Vz_calculated, calculated);
    QCOMPARE(w.densities, densities);
    QCOMPARE(w.horizons, horizons);
    QVERIFY(w.effects.empty());
    QVERIFY(!w.inversion_running);
    QVERIFY(!w.forward_running);
}

QTEST_MAIN(TestMainWindowMemory)
#include "tst_mainwindow_memory.moc"
