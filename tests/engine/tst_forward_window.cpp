// The forward command and the main window's forward, statistics and
// alternative forward slots, offscreen with scripted message boxes.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/forward.h"
#include "engine/memory.h"
#include "fake_interaction.h"
#include "fixed_memory_figures.h"
#include "window_test_support.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <random>

using namespace windowtest;

namespace {

// A seeded density grid of nz levels (0, dz, ...) on ny rows and nx columns.
void give_grid(MainWindow& w, int nx, int ny, int nz, double dz = 50, unsigned seed = 4)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(2.0f, 2.8f);
    w.den_grid.assign(nz, vector2D(ny, std::vector<float>(nx)));
    for (auto& l : w.den_grid)
        for (auto& r : l)
            for (float& v : r)
                v = u(gen);
    w.x_calc = nodes(nx, 10000, 100);
    w.y_calc = nodes(ny, 20000, 100);
    w.z_calc = nodes(nz, 0, dz);
    w.calc_height = -20;
}

bool sameIcon(const QIcon& icon, const char* path)
{
    return icon.pixmap(32).toImage() == QIcon(QString::fromUtf8(path)).pixmap(32).toImage();
}

bool allZero(const field2D& f)
{
    for (const auto& r : f)
        for (double v : r)
            if (v != 0)
                return false;
    return true;
}

double relDiff(const field2D& a, const field2D& b)
{
    double d = 0, s = 0;
    for (size_t i = 0; i < b.size(); ++i)
        for (size_t j = 0; j < b[i].size(); ++j) {
            d = std::max(d, std::fabs(a.at(i).at(j) - b[i][j]));
            s = std::max(s, std::fabs(b[i][j]));
        }
    return s > 0 ? d / s : d;
}

// The field of the window's grid by the core's storage-off form.
field2D reference(const MainWindow& w)
{
    ForwardGeometry g;
    if (forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g)
        != ForwardStatus::Completed)
        qFatal("reference geometry refused");
    field2D r;
    forward_without_store(w.den_grid, g, r, 1);
    return r;
}

// Runs `during` at the first event processing inside `action`.
void atFirstEvents(const std::function<void()>& during, const std::function<void()>& action)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, during);
    timer.start();
    action();
    timer.stop();
}

} // namespace

class TestForwardWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake.reset(new FakeInteraction);
        w.reset(new MainWindow);
    }
    void cleanup()
    {
        w.reset();
        fake.reset();
    }

    void emptyGridShowsOnlyTheError_data();
    void emptyGridShowsOnlyTheError();
    void badGeometryIsRefused();
    void storedRunBuildsThenReuses();
    void staleEffectsAreRebuilt_data();
    void staleEffectsAreRebuilt();
    void storageOffKeepsNothing();
    void declinedMemoryQuestionRunsNothing();
    void commandFrameAndStopBySecondPress_data();
    void commandFrameAndStopBySecondPress();
    void forwardInsideAnotherRunLeavesItsFrame();
    void calculateEffectsBuildsTheOperator();
    void misfitLabel();
    void layerStatsAndGradientSlots();
    void pillarSlotWorksOnCopies();
    void fastSlotWritesFieldAndGeometry();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

void TestForwardWindow::emptyGridShowsOnlyTheError_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0 << QString::fromUtf8("3D грид плотности пуст");
    QTest::newRow("English") << 1 << QStringLiteral("3D density grid is empty");
}

void TestForwardWindow::emptyGridShowsOnlyTheError()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    w->language = language;
    w->ui->forward_grid->trigger();
    QCOMPARE(fake->errors(), QStringList{text});
    QVERIFY(!w->forward_running);
    QVERIFY(sameIcon(w->ui->forward_grid->icon(), ":/Images/start_green.png"));
    QVERIFY(w->Vz_calculated.empty());
    QVERIFY(w->calculated_params.empty());
}

void TestForwardWindow::badGeometryIsRefused()
{
    w->language = 1;
    give_grid(*w, 6, 5, 3);
    w->x_calc.pop_back();  // coordinates no longer match the grid
    w->ui->forward_grid->trigger();
    QCOMPARE(fake->errors(),
             QStringList{"The node coordinates do not match the size of the 3D density grid"});
    QVERIFY(w->Vz_calculated.empty());
    QVERIFY(w->ui->open_project->isEnabled());

    fake->clear();
    give_grid(*w, 6, 1, 3);  // a single row has no y spacing
    w->y_calc.resize(1);
    w->ui->forward_grid->trigger();
    QCOMPARE(fake->errors(), QStringList{"The 3D density grid needs at least two nodes along every axis"});
    QVERIFY(w->Vz_calculated.empty());
}

void TestForwardWindow::storedRunBuildsThenReuses()
{
    give_grid(*w, 12, 9, 4);
    w->store_eff = true;
    w->expansion_factor = 0.5;
    w->thread_count = 2;
    w->ui->forward_grid->trigger();
    QVERIFY(fake->errors().isEmpty());
    const field2D ref = reference(*w);
    QVERIFY(relDiff(w->Vz_calculated, ref) < 1e-6);
    QCOMPARE(w->calculated_params, (std::vector<double>{12, 9, 10000, 11100, 20000, 20800}));
    QCOMPARE(w->effects.levels(), 4);
    QVERIFY(w->effects.key.valid);
    QVERIFY(w->effects.im.empty());
    QVERIFY(!w->forward_running);
    QVERIFY(w->progress_bar.isHidden());

    // Reuse: the stored operator is read, not rebuilt (doubling it doubles the field).
    for (auto& level : w->effects.quarter)
        for (float& v : level)
            v *= 2;
    w->ui->forward_grid->trigger();
    QVERIFY(relDiff(w->Vz_calculated, ref) > 0.9);
    field2D doubled = ref;
    for (auto& r : doubled)
        for (double& v : r)
            v *= 2;
    QVERIFY(relDiff(w->Vz_calculated, doubled) < 1e-6);
}

void TestForwardWindow::staleEffectsAreRebuilt_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("dz") << "dz";
    QTest::newRow("calculation height") << "height";
    QTest::newRow("cube with more levels") << "levels";
    QTest::newRow("expansion factor") << "factor";
}

// Commands are meant to empty the stored operator when the geometry
// changes; even when one does not, a run never uses an operator of another
// geometry and never reads past its levels.
void TestForwardWindow::staleEffectsAreRebuilt()
{
    QFETCH(QString, change);
    give_grid(*w, 10, 8, 3);
    w->store_eff = true;
    w->ui->forward_grid->trigger();
    const field2D first = w->Vz_calculated;
    QVERIFY(!w->effects.empty());

    if (change == "dz")
        w->z_calc = nodes(3, 0, 80);
    else if (change == "height")
        w->calc_height = -300;
    else if (change == "levels")
        give_grid(*w, 10, 8, 7, 50, 4);
    else if (change == "factor")
        w->expansion_factor = 1;
    w->ui->forward_grid->trigger();
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(relDiff(w->Vz_calculated, reference(*w)) < 1e-6);
    QVERIFY(relDiff(w->Vz_calculated, first) > 1e-4);
    QCOMPARE(w->effects.levels(), int(w->den_grid.size()));
}

void TestForwardWindow::storageOffKeepsNothing()
{
    give_grid(*w, 9, 7, 3);
    w->store_eff = false;
    w->thread_count = 3;
    w->ui->forward_grid->trigger();
    QVERIFY(w->effects.empty());
    QVERIFY(relDiff(w->Vz_calculated, reference(*w)) < 1e-12);
    QCOMPARE(w->calculated_params, (std::vector<double>{9, 7, 10000, 10800, 20000, 20600}));
    QVERIFY(w->progress_bar.isHidden());
}

void TestForwardWindow::declinedMemoryQuestionRunsNothing()
{
    // 1 GB available of a machine that could give an exabyte, so the need
    // is asked about rather than refused.
    FixedMemoryFigures machine(std::uint64_t(1) << 30, std::uint64_t(1) << 60);
    // 1000 levels on a 32768 x 32768 padded grid: terabytes of stored effects.
    w->den_grid.assign(1000, vector2D(2, std::vector<float>(2, 2.0f)));
    w->x_calc = nodes(2, 0, 100);
    w->y_calc = nodes(2, 0, 100);
    w->z_calc = nodes(1000, 0, 10);
    w->expansion_factor = 8000;
    w->store_eff = true;
    fake->answers << QMessageBox::No;
    w->language = 1;
    w->ui->forward_grid->trigger();
    QCOMPARE(fake->questions.size(), 1);
    QVERIFY(fake->questions[0].text.startsWith("High memory usage"));
    // The question is about the forward calculation, not an inversion.
    QVERIFY(fake->questions[0].text.endsWith("Do you want to run forward calculation without changes?"));
    QVERIFY(w->Vz_calculated.empty());
    QVERIFY(w->calculated_params.empty());
    QVERIFY(w->effects.empty());
    QVERIFY(!w->forward_running);
}

void TestForwardWindow::commandFrameAndStopBySecondPress_data()
{
    QTest::addColumn<bool>("store");
    QTest::newRow("storing effects") << true;
    QTest::newRow("storage off") << false;
}

void TestForwardWindow::commandFrameAndStopBySecondPress()
{
    QFETCH(bool, store);
    give_grid(*w, 40, 30, 8);
    w->store_eff = store;
    w->expansion_factor = 1;
    w->Vz_calculated = {{5}};
    const bool inversionEnabled = w->ui->inversion->isEnabled();
    const bool fitEnabled = w->ui->horizonInversion->isEnabled();
    QVERIFY(inversionEnabled && fitEnabled);

    bool seen = false;
    atFirstEvents(
        [&] {
            seen = true;
            QVERIFY(w->forward_running);
            QVERIFY(sameIcon(w->ui->forward_grid->icon(), ":/Images/stop.png"));
            QVERIFY(w->ui->forward_grid->isEnabled());
            QVERIFY(!w->ui->inversion->isEnabled());
            QVERIFY(!w->ui->horizonInversion->isEnabled());
            QVERIFY(!w->ui->open_project->isEnabled());  // commands that replace the grid
            QVERIFY(!w->ui->Customize->isEnabled());
            QVERIFY(!w->progress_bar.isHidden());
            w->ui->forward_grid->trigger();  // the second press
            QVERIFY(!w->forward_running);
        },
        [&] { w->ui->forward_grid->trigger(); });
    QVERIFY(seen);
    QVERIFY(fake->errors().isEmpty());
    // Stopped: zeros of the grid's shape, the geometry set, nothing stored.
    QCOMPARE(int(w->Vz_calculated.size()), 30);
    QCOMPARE(int(w->Vz_calculated[0].size()), 40);
    QVERIFY(allZero(w->Vz_calculated));
    QCOMPARE(int(w->calculated_params.size()), 6);
    QVERIFY(w->effects.empty());
    // The frame is restored.
    QVERIFY(!w->forward_running);
    QVERIFY(sameIcon(w->ui->forward_grid->icon(), ":/Images/start_green.png"));
    QCOMPARE(w->ui->inversion->isEnabled(), inversionEnabled);
    QCOMPARE(w->ui->horizonInversion->isEnabled(), fitEnabled);
    QVERIFY(w->ui->open_project->isEnabled());
    QVERIFY(w->progress_bar.isHidden());

    // The next press runs to the end.
    w->ui->forward_grid->trigger();
    QVERIFY(!allZero(w->Vz_calculated));
    QCOMPARE(w->effects.empty(), !store);
}

void TestForwardWindow::forwardInsideAnotherRunLeavesItsFrame()
{
    // A forward run inside an inversion (its closing run) leaves the bar and
    // the run actions to the inversion.
    give_grid(*w, 8, 6, 3);
    w->store_eff = true;
    w->inversion_running = true;
    w->forward_running = true;
    w->progress_bar.hide();
    bool bar_seen = false;
    atFirstEvents([&] { bar_seen = !w->progress_bar.isHidden(); },
                  [&] {
                      QVERIFY(w->forward3Dgrid_multithread(w->den_grid, w->x_calc, w->y_calc, w->z_calc,
                                                           w->Vz_calculated, w->progress_bar));
                  });
    QVERIFY(!bar_seen);
    QVERIFY(relDiff(w->Vz_calculated, reference(*w)) < 1e-6);

    // Without the run flag the stored form only zeroes the result and sets the geometry.
    w->forward_running = false;
    w->calculated_params.clear();
    QVERIFY(!w->forward3Dgrid_multithread(w->den_grid, w->x_calc, w->y_calc, w->z_calc,
                                          w->Vz_calculated, w->progress_bar));
    QVERIFY(allZero(w->Vz_calculated));
    QCOMPARE(int(w->calculated_params.size()), 6);
}

void TestForwardWindow::calculateEffectsBuildsTheOperator()
{
    w->language = 1;
    give_grid(*w, 8, 6, 3);
    w->inversion_running = true;
    QVERIFY(w->calculateEffects());
    QCOMPARE(w->effects.levels(), 3);
    QVERIFY(w->effects.im.empty());  // the spectrum of an even field has no imaginary part
    QVERIFY(w->effects.key.valid);
    QVERIFY(w->progress_label->text().startsWith("Calculating effects matrix for layer "));
    QVERIFY(w->progress_label->text().endsWith(" of 3"));

    // The stored form reuses what was built here (doubling it doubles the field).
    for (auto& level : w->effects.quarter)
        for (float& v : level)
            v *= 2;
    w->forward_running = true;
    QVERIFY(w->forward3Dgrid_multithread(w->den_grid, w->x_calc, w->y_calc, w->z_calc, w->Vz_calculated,
                                         w->progress_bar));
    field2D doubled = reference(*w);
    for (auto& r : doubled)
        for (double& v : r)
            v *= 2;
    QVERIFY(relDiff(w->Vz_calculated, doubled) < 1e-6);

    // Without the run flag the build stops at once and empties the operator.
    w->inversion_running = false;
    QVERIFY(!w->calculateEffects());
    QVERIFY(w->effects.empty());
    QVERIFY(!w->effects.key.valid);
}

void TestForwardWindow::misfitLabel()
{
    w->language = 1;
    w->misfit_label->setText("before");
    QCOMPARE(w->calc_rms(), 0.0);  // nothing to compare
    QCOMPARE(w->misfit_label->text(), QStringLiteral("before"));
    w->Vz_observed = {{0, 13}, {6, 7}};
    w->Vz_calculated = {{0, 13}, {6}};  // ragged: not comparable
    QCOMPARE(w->calc_rms(), 0.0);
    QCOMPARE(w->misfit_label->text(), QStringLiteral("before"));
    w->Vz_calculated = {{1, 14}, {7, 8}};
    QCOMPARE(w->calc_rms(), 0.0);
    QCOMPARE(w->misfit_label->text(), QStringLiteral("0.000 mGal;  0.0 %"));
    w->Vz_calculated = {{1, 13}, {6, 7}};
    const double rms = w->calc_rms();
    QVERIFY(rms > 0);
    w->language = 0;
    w->calc_rms();
    QVERIFY(w->misfit_label->text().contains(QString::fromUtf8("мГал;  ")));
}

void TestForwardWindow::layerStatsAndGradientSlots()
{
    give_grid(*w, 4, 3, 5, 10);
    w->horizons = {field2D(3, std::vector<double>(4, 0.0)), field2D(3, std::vector<double>(4, 20.0))};
    const std::vector<double> s = w->calcLayerStats(0);
    QCOMPARE(int(s.size()), 3);
    QVERIFY(s[0] <= s[2] && s[2] <= s[1] && s[0] >= 2.0);
    QCOMPARE(w->calcLayerStats(2), (std::vector<double>{0, 0, 0}));
    QCOMPARE(w->calcLayerN(1, 1, 25.0), 1);
    QCOMPARE(w->calcLayerN(3, 1, 25.0), -1);

    // Horizons smaller than the grid: an empty record, no out-of-range read.
    w->horizons = {field2D(2, std::vector<double>(4, 0.0))};
    QCOMPARE(w->calcLayerStats(0), (std::vector<double>{0, 0, 0}));

    // Gradient: a plane tilted 10 m per 100 m along x over the horizons' extent.
    field2D plane(3, std::vector<double>(4));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            plane[i][j] = 100 + 10.0 * j;
    w->horizons = {plane, field2D(1, std::vector<double>(4, 5.0))};
    w->horizons_params = {4, 3, 0, 300, 0, 200};
    field2D g{{9}};
    w->calcHorizonGradient(0, g);
    QCOMPARE(int(g.size()), 3);
    for (const auto& r : g)
        for (double v : r)
            QVERIFY(std::fabs(v - 0.1) < 1e-12);
    w->calcHorizonGradient(1, g);  // a single row: zeros
    QCOMPARE(g, field2D(1, std::vector<double>(4, 0.0)));
    g = {{9}};
    w->calcHorizonGradient(2, g);  // no such horizon: untouched
    QCOMPARE(g, (field2D{{9}}));
    w->horizons_params.clear();
    w->calcHorizonGradient(0, g);  // no extent, no spacing: zeros
    QCOMPARE(g, field2D(3, std::vector<double>(4, 0.0)));
}

void TestForwardWindow::pillarSlotWorksOnCopies()
{
    w->language = 1;
    give_grid(*w, 5, 4, 6, 100);
    w->Vz_observed = field2D(4, std::vector<double>(5, 0.0));
    w->horizons = {field2D(4, std::vector<double>(5, 0.0)), field2D(4, std::vector<double>(5, 230.0))};
    w->densities = {2.2, 2.5};
    const std::vector<field2D> before = w->horizons;
    w->calc_pillar_effects_fast();
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->horizons, before);  // not snapped to multiples of dz
    QCOMPARE(int(w->Vz_calculated.size()), 4);
    QVERIFY(w->Vz_calculated[0][0] > 0);
    QCOMPARE(w->calculated_params, (std::vector<double>{5, 4, 10000, 10400, 20000, 20300}));

    // Horizons smaller than the grid: an error, nothing changed.
    const field2D kept = w->Vz_calculated;
    w->horizons[1].pop_back();
    w->calc_pillar_effects_fast();
    QCOMPARE(fake->errors(), QStringList{"The horizons or layer densities do not match the 3D grid"});
    QCOMPARE(w->Vz_calculated, kept);
    // Nothing without an observed field.
    fake->clear();
    w->Vz_observed.clear();
    w->calc_pillar_effects_fast();
    QVERIFY(fake->notes.isEmpty());
}

void TestForwardWindow::fastSlotWritesFieldAndGeometry()
{
    std::vector<std::vector<std::vector<double>>> cube(3, field2D(4, std::vector<double>(6, 1.0)));
    cube[1][2][3] = 2.5;
    std::vector<double> x = nodes(6, 0, 10), y = nodes(4, 100, 10), z = nodes(3, 0, 10);
    field2D result;
    w->calc_height = -1;
    w->forward3Dgrid_fast(cube, x, y, z, result, w->progress_bar);
    QCOMPARE(int(result.size()), 4);
    QCOMPARE(int(result[0].size()), 6);
    QVERIFY(result[2][3] > result[0][0]);
    QCOMPARE(w->calculated_params, (std::vector<double>{6, 4, 0, 50, 100, 130}));
    QVERIFY(w->progress_bar.isHidden());

    // A single-row cube: an empty result, nothing read out of range.
    std::vector<std::vector<std::vector<double>>> row(3, field2D(1, std::vector<double>(6, 1.0)));
    std::vector<double> y1{100};
    w->forward3Dgrid_fast(row, x, y1, z, result, w->progress_bar);
    QVERIFY(result.empty());

    // The spectral products refuse mismatched shapes without touching anything.
    vector3D a(2, vector2D(2, std::vector<float>(2, 1.0f))), b(1, vector2D(2, std::vector<float>(2, 1.0f)));
    vector2D re{{3}}, im{{4}}, shape(2, std::vector<float>(2));
    w->calc_Vz(a, a, b, b, re, im, shape);
    QCOMPARE(re, (vector2D{{3}}));
    std::vector<double> alpha{1.0};
    vector3D d = a;
    w->calc_gradient_step(a, a, d, d, shape, shape, alpha);  // one weight for two levels
    QVERIFY(d == a);
}

QTEST_MAIN(TestForwardWindow)
#include "tst_forward_window.moc"
