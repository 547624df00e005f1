// The layered inversion on the main window, offscreen with scripted message
// boxes: the start conditions, recovery of known layer densities with the
// calculated field left equal to the field of the new grid, fixed layers,
// reuse and rebuilding of the stored slab effects, stops by a second press,
// refusals of horizons or fields off the grid, divergence, and the run from
// the inversion dialog's layered kind.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/field_stats.h"
#include "engine/inversion.h"
#include "engine/inversion_parameters.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "layered_window_support.h"
#include "window_test_support.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

using namespace inversion_record;
using namespace layeredtest;
using namespace windowtest;

namespace {

// The grid reaches 1150 m, far below twice the deepest horizon, so the last
// layer's slab is much thicker than the layer above its bottom horizon.
Model window_model(int layers) { return make_model(layers, 16, 12, 24, 50); }

// The window holds the layered model with `start` densities and the
// observed field of the same horizons with `truth` densities.
Model give_problem(MainWindow& w, int layers, const std::vector<double>& start, const std::vector<double>& truth)
{
    const Model m = window_model(layers);
    give_layered_model(w, m, m.horizons, start, truth);
    w.store_eff = true;
    w.effects.clear();
    w.layer_effects.clear();
    return m;
}

std::vector<double> record(int iterations_count, double step = 1)
{
    return plain_inversion_record(kind_layered, iterations_count, step);
}

double max_difference(const vector3D& a, const vector3D& b)
{
    double d = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t j = 0; j < a[k].size(); ++j)
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                d = std::max(d, double(std::abs(a[k][j][i] - b[k][j][i])));
    return d;
}

// Largest change of the cells of layer n between two grids.
double layer_change(const Model& m, const vector3D& a, const vector3D& b, int n)
{
    double d = 0;
    for (int k = 0; k < m.nz; ++k)
        for (int j = 0; j < m.ny; ++j)
            for (int i = 0; i < m.nx; ++i)
                if (layer_of(m.horizons, j, i, m.z[k]) == n)
                    d = std::max(d, double(std::abs(a[k][j][i] - b[k][j][i])));
    return d;
}

}  // namespace

class TestLayeredWindow : public QObject
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

    void startConditions_data();
    void startConditions();
    void recoversLayerDensities_data();
    void recoversLayerDensities();
    void fixedLayersStay();
    void allLayersFixedChangeNothing();
    void storedEffectsReusedWhileTheirShapeFits();
    void storedEffectsRebuiltForAnotherShape();
    void storedEffectsFollowTheirInputs_data();
    void storedEffectsFollowTheirInputs();
    void stopBySecondPress_data();
    void stopBySecondPress();
    void inputsOffTheGridAreRefused_data();
    void inputsOffTheGridAreRefused();
    void divergenceNeverWritesNaN();
    void runFromTheDialogsLayeredKind();
    void outOfMemoryDuringTheSlabEffects();
    void progressTexts_data();
    void progressTexts();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

void TestLayeredWindow::startConditions_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("no observed field") << "no field";
    QTest::newRow("only the model top") << "one horizon";
    QTest::newRow("no horizons") << "no horizons";
    QTest::newRow("first horizon with other rows") << "rows";
    QTest::newRow("first horizon with other columns") << "columns";
}

void TestLayeredWindow::startConditions()
{
    QFETCH(QString, setup);
    give_problem(*w, 3, {2.0, 2.2, 2.5}, {2.0, 2.35, 2.4});
    if (setup == "no field")
        w->Vz_observed.clear();
    else if (setup == "one horizon")
        w->horizons.resize(1);
    else if (setup == "no horizons")
        w->horizons.clear();
    else if (setup == "rows")
        w->Vz_observed.pop_back();
    else if (setup == "columns")
        for (auto& r : w->Vz_observed)
            r.pop_back();
    const vector3D grid = w->den_grid;
    const std::vector<double> params = w->inversion_params;
    const std::size_t undo = w->undo_stack.size();
    w->start_polygonal_inversion(record(2));
    QCOMPARE(w->den_grid, grid);
    QCOMPARE(w->undo_stack.size(), undo);
    QCOMPARE(w->inversion_params, params);
    QVERIFY(w->layer_effects.empty());
    QVERIFY(fake->notes.isEmpty());
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
}

void TestLayeredWindow::recoversLayerDensities_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<std::vector<double>>("start");
    QTest::addColumn<std::vector<double>>("truth");
    // A constant added to every layer has no field on this grid: the free
    // cases use increments without such a common part.
    QTest::newRow("two layers") << 2 << std::vector<double>{2.0, 2.4} << std::vector<double>{2.1, 2.3};
    QTest::newRow("three layers") << 3 << std::vector<double>{2.0, 2.2, 2.5} << std::vector<double>{1.9, 2.4, 2.4};
}

void TestLayeredWindow::recoversLayerDensities()
{
    QFETCH(int, layers);
    QFETCH(std::vector<double>, start);
    QFETCH(std::vector<double>, truth);
    const Model m = give_problem(*w, layers, start, truth);
    const vector3D start_grid = w->den_grid;
    const std::size_t undo = w->undo_stack.size();
    const double misfit_before = field_misfit(w->Vz_observed, field_of(m, start_grid)).rms;

    bool stop_icon_seen = false, forward_disabled = true;
    while_running(
        [&] {
            if (w->inversion_running) {
                stop_icon_seen = stop_icon_seen || same_icon(w->ui->inversion->icon(), ":/Images/stop.png");
                forward_disabled = forward_disabled && !w->ui->forward_grid->isEnabled()
                                   && !w->ui->horizonInversion->isEnabled();
            }
        },
        [&] { w->start_polygonal_inversion(record(20)); });

    QVERIFY(fake->errors().isEmpty());
    QVERIFY(stop_icon_seen);
    QVERIFY(forward_disabled);
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
    QVERIFY(w->ui->forward_grid->isEnabled() && w->ui->horizonInversion->isEnabled());
    QVERIFY(w->progress_bar.isHidden());
    QCOMPARE(w->undo_stack.size(), undo + 1);
    QCOMPARE(w->undo_stack.back().grid, start_grid);
    QCOMPARE(w->inversion_params, record(20));
    QCOMPARE(w->densities, start);  // the layer table is not the inversion's

    // Every layer holds its true density.
    const double error = max_difference(w->den_grid, layered_grid(m, m.horizons, truth));
    QVERIFY2(error < 0.005, qPrintable(QString("largest density error %1").arg(error)));
    // The misfit falls, and the calculated field is the field of the new grid.
    QVERIFY2(misfit(*w) < 0.01 * misfit_before,
             qPrintable(QString("misfit %1 -> %2").arg(misfit_before).arg(misfit(*w))));
    const double consistency = rms_difference(w->Vz_calculated, field_of(m, w->den_grid));
    QVERIFY2(consistency < 1e-3, qPrintable(QString("calculated field off by %1 mGal").arg(consistency)));

    // The slab effects are stored, one grid of the field's size per layer.
    QCOMPARE(int(w->layer_effects.size()), layers);
    for (const auto& e : w->layer_effects) {
        QCOMPARE(e.size(), std::size_t(m.ny));
        QCOMPARE(e[0].size(), std::size_t(m.nx));
    }
}

void TestLayeredWindow::fixedLayersStay()
{
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    const Model m = give_problem(*w, 3, start, truth);
    // The top layer is fixed: its cells keep their values to the bit.
    w->fixed = {true, false, false};
    const vector3D start_grid = w->den_grid;
    w->start_polygonal_inversion(record(20));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(layer_change(m, w->den_grid, start_grid, 0), 0.0);
    QVERIFY(max_difference(w->den_grid, layered_grid(m, m.horizons, truth)) < 0.005);

    // Flags shorter than the layers: the missing ones count as free.
    give_problem(*w, 3, start, truth);
    w->fixed = {true};
    w->start_polygonal_inversion(record(20));
    QCOMPARE(layer_change(m, w->den_grid, start_grid, 0), 0.0);
    QVERIFY(max_difference(w->den_grid, layered_grid(m, m.horizons, truth)) < 0.005);
}

void TestLayeredWindow::allLayersFixedChangeNothing()
{
    const Model m = give_problem(*w, 3, {2.0, 2.2, 2.5}, {2.0, 2.35, 2.4});
    w->fixed.assign(3, true);
    const vector3D start_grid = w->den_grid;
    w->start_polygonal_inversion(record(2));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->den_grid, start_grid);
    QVERIFY(rms_difference(w->Vz_calculated, field_of(m, start_grid)) < 1e-3);
}

void TestLayeredWindow::storedEffectsReusedWhileTheirShapeFits()
{
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    const Model m = give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    w->start_polygonal_inversion(record(20));
    const std::vector<field2D> first = w->layer_effects;
    QCOMPARE(int(first.size()), 3);

    // Stored effects of the run's shape are taken as they are: doubled, they
    // give half the increments, and the effects phase is not shown.
    give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    std::vector<field2D> doubled = first;
    for (auto& e : doubled)
        for (auto& r : e)
            for (double& v : r)
                v *= 2;
    w->layer_effects = doubled;
    const vector3D start_grid = w->den_grid;
    QStringList labels;
    while_running(
        [&] {
            if (labels.isEmpty() || labels.back() != w->progress_label->text())
                labels << w->progress_label->text();
        },
        [&] { w->start_polygonal_inversion(record(20)); });
    QCOMPARE(w->layer_effects, doubled);
    for (const QString& t : labels)
        QVERIFY2(!t.startsWith("Calculating effects matrix"), qPrintable(t));
    QVERIFY(labels.contains("Fit α coefficient"));
    QVERIFY(labels.contains(QString::fromUtf8("Инверсия")));
    QVERIFY(std::abs(layer_change(m, w->den_grid, start_grid, 1) - 0.075) < 0.003);
}

void TestLayeredWindow::storedEffectsRebuiltForAnotherShape()
{
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    const Model m = give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    w->start_polygonal_inversion(record(20));
    const std::vector<field2D> reference = w->layer_effects;

    for (const QString change : {"one layer less", "one row less", "a short row"}) {
        give_problem(*w, 3, start, truth);
        w->fixed = {true, false, false};
        w->layer_effects = reference;
        if (change == "one layer less")
            w->layer_effects.pop_back();
        else if (change == "one row less")
            for (auto& e : w->layer_effects)
                e.pop_back();
        else
            w->layer_effects[1][5].pop_back();
        QStringList labels;
        while_running(
            [&] {
                if (labels.isEmpty() || labels.back() != w->progress_label->text())
                    labels << w->progress_label->text();
            },
            [&] { w->start_polygonal_inversion(record(20)); });
        QVERIFY2(w->layer_effects == reference, qPrintable(change));
        QVERIFY2(labels.contains("Calculating effects matrix for layer 3 of 3"), qPrintable(change));
        QVERIFY(max_difference(w->den_grid, layered_grid(m, m.horizons, truth)) < 0.005);
    }
}

void TestLayeredWindow::storedEffectsFollowTheirInputs_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("rebuilt");
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("calculation height") << "height" << true;
    QTest::newRow("expansion factor") << "expansion" << true;
    QTest::newRow("one horizon node") << "node" << true;
    QTest::newRow("level depths") << "levels" << true;
    QTest::newRow("effects of unknown origin") << "unknown" << true;
}

// Effects of the run's shape computed for other inputs (a changed
// calculation height, expansion factor, horizon or levels) are computed
// again; so are effects without a key, whatever their shape.
void TestLayeredWindow::storedEffectsFollowTheirInputs()
{
    QFETCH(QString, change);
    QFETCH(bool, rebuilt);
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    w->start_polygonal_inversion(record(1));
    QVERIFY(w->layer_effects_key != 0);
    const std::vector<field2D> first = w->layer_effects;

    give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    w->layer_effects = first;
    if (change == "height")
        w->calc_height = -120;
    else if (change == "expansion")
        w->expansion_factor = 1;
    else if (change == "node")
        w->horizons[2][4][4] += 60;  // across a level
    else if (change == "levels")
        for (double& z : w->z_calc)
            z += 10;
    else if (change == "unknown") {
        w->calc_height = -120;
        w->layer_effects_key = 0;
    }
    QStringList labels;
    while_running(
        [&] {
            if (labels.isEmpty() || labels.back() != w->progress_label->text())
                labels << w->progress_label->text();
        },
        [&] { w->start_polygonal_inversion(record(1)); });
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(labels.contains("Calculating effects matrix"), rebuilt);
    QCOMPARE(w->layer_effects != first, rebuilt);
}

void TestLayeredWindow::stopBySecondPress_data()
{
    QTest::addColumn<QString>("phase");
    QTest::newRow("during the slab effects") << "Calculating effects matrix for layer 2 of 3";
    QTest::newRow("during the weight search") << "Fit α coefficient";
    QTest::newRow("at the start of the descent") << QString::fromUtf8("Инверсия");
}

// A second press of the action clears the flag; the descent stops before
// its next step and what it reached is applied.
void TestLayeredWindow::stopBySecondPress()
{
    QFETCH(QString, phase);
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    const Model m = give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    const vector3D start_grid = w->den_grid;
    bool pressed = false;
    while_running(
        [&] {
            if (!pressed && w->progress_label->text() == phase) {
                pressed = true;
                w->ui->inversion->trigger();
            }
        },
        [&] { w->start_polygonal_inversion(record(50)); });
    QVERIFY(pressed);
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
    QVERIFY(w->ui->forward_grid->isEnabled());
    // The slab effects were finished and kept.
    QCOMPARE(int(w->layer_effects.size()), 3);
    const double change = max_difference(w->den_grid, start_grid);
    if (phase == QString::fromUtf8("Инверсия")) {
        // At most a step was made: far from the truth, but applied consistently.
        QVERIFY(change < 0.1 * 0.15);
    } else {
        QCOMPARE(w->den_grid, start_grid);
    }
    QVERIFY(rms_difference(w->Vz_calculated, field_of(m, w->den_grid)) < 1e-3);
}

void TestLayeredWindow::inputsOffTheGridAreRefused_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("lower horizon with a row missing") << "horizon row"
                                                     << "Horizons and 3D grid have different parameters";
    QTest::newRow("lower horizon with a short row") << "horizon ragged"
                                                   << "Horizons and 3D grid have different parameters";
    QTest::newRow("grid with other columns than the field") << "grid columns"
                                                            << "3D grid and observed field parameters don't match";
    QTest::newRow("node coordinates of another count") << "coordinates"
                                                       << "The node coordinates do not match the size of the 3D "
                                                          "density grid";
}

void TestLayeredWindow::inputsOffTheGridAreRefused()
{
    QFETCH(QString, setup);
    QFETCH(QString, error);
    give_problem(*w, 3, {2.0, 2.2, 2.5}, {2.0, 2.35, 2.4});
    if (setup == "horizon row")
        w->horizons[2].pop_back();
    else if (setup == "horizon ragged")
        w->horizons[1][4].pop_back();
    else if (setup == "grid columns") {
        for (auto& level : w->den_grid)
            for (auto& r : level)
                r.pop_back();
        w->x_calc.pop_back();
    } else if (setup == "coordinates")
        w->y_calc.pop_back();
    const vector3D grid = w->den_grid;
    w->start_polygonal_inversion(record(2));
    QCOMPARE(fake->errors(), QStringList{error});
    QCOMPARE(w->den_grid, grid);
    QVERIFY(w->layer_effects.empty());
    QVERIFY(!w->inversion_running);
}

void TestLayeredWindow::divergenceNeverWritesNaN()
{
    give_problem(*w, 3, {2.0, 2.2, 2.5}, {2.0, 2.35, 2.4});
    const vector3D grid = w->den_grid;
    w->start_polygonal_inversion(record(2, 1e6));
    QCOMPARE(fake->errors(),
             QStringList{"The inversion diverged: the layer increments are not numbers. The 3D grid is left "
                         "unchanged; use a smaller step scale"});
    QCOMPARE(w->den_grid, grid);
    for (const auto& r : w->Vz_calculated)
        for (double v : r)
            QVERIFY(std::isfinite(v));
}

void TestLayeredWindow::runFromTheDialogsLayeredKind()
{
    const std::vector<double> start{2.0, 2.2, 2.5}, truth{2.0, 2.35, 2.4};
    const Model m = give_problem(*w, 3, start, truth);
    w->fixed = {true, false, false};
    const vector3D start_grid = w->den_grid;
    QVERIFY(answer_inversion_dialog(
        [](inversion_parameters* d) {
            d->findChild<QRadioButton*>("polygonalInversion")->click();
            d->findChild<QLineEdit*>("input_N_iter")->setText("20");
            d->findChild<QLineEdit*>("input_alpha")->setText("1");
        },
        true, [&] { w->ui->inversion->trigger(); }));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(int(w->inversion_params.size()), int(record_size));
    QCOMPARE(integer(w->inversion_params, kind), int(kind_layered));
    QCOMPARE(integer(w->inversion_params, iterations), 20);
    // One snapshot, taken when the run started.
    QCOMPARE(w->undo_stack.size(), std::size_t(1));
    QVERIFY(max_difference(w->den_grid, layered_grid(m, m.horizons, truth)) < 0.005);
    QCOMPARE(layer_change(m, w->den_grid, start_grid, 0), 0.0);
}

long long vm_size_kb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            return std::atoll(line.c_str() + 7);
    return 0;
}

// The slab effects of a 100 x 100 grid padded to 512 x 512 need about 12 MB
// at once; once the fresh forward field is done the address space may grow
// by 6 MB only.
void TestLayeredWindow::outOfMemoryDuringTheSlabEffects()
{
    give_problem(*w, 3, {2.0, 2.2, 2.5}, {2.0, 2.35, 2.4});
    const Model big = make_model(3, 100, 100, 6, 100);
    w->x_calc = big.x;
    w->y_calc = big.y;
    w->z_calc = big.z;
    w->expansion_factor = 2;
    w->horizons = big.horizons;
    w->den_grid = layered_grid(big, big.horizons, {2.0, 2.2, 2.5});
    w->Vz_observed = field2D(100, std::vector<double>(100, 0.0));
    w->Vz_observed[50][50] = 1;
    const vector3D before = w->den_grid;

    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    bool limited = false;
    while_running(
        [&] {
            if (!limited && w->progress_label->text() == "Calculating effects matrix") {
                const long long vm = vm_size_kb();
                QVERIFY(vm > 0);
                rlimit tight = old;
                tight.rlim_cur = static_cast<rlim_t>(vm + 1024) * 1024;
                limited = setrlimit(RLIMIT_AS, &tight) == 0;
            }
        },
        [&] { w->start_polygonal_inversion(record(1)); });
    setrlimit(RLIMIT_AS, &old);

    QVERIFY(limited);
    QCOMPARE(fake->errors(), QStringList{"Out of memory"});
    QCOMPARE(w->den_grid, before);
    QVERIFY(w->layer_effects.empty());
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->inversion->icon(), ":/Images/start_inv.png"));
    QVERIFY(w->ui->forward_grid->isEnabled() && w->ui->horizonInversion->isEnabled());
}

void TestLayeredWindow::progressTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("Russian") << 0
                             << QStringList{QString::fromUtf8("Пересчет прямой задачи"),
                                            QString::fromUtf8("Расчет матрицы эффектов"),
                                            QString::fromUtf8("Рассчет матрицы эффектов для слоя 1 из 2"),
                                            QString::fromUtf8("Рассчет матрицы эффектов для слоя 2 из 2"),
                                            QString::fromUtf8("Подбор коэффициента α"),
                                            QString::fromUtf8("Инверсия")};
    QTest::newRow("English") << 1
                             << QStringList{"Recalc forward",
                                            "Calculating effects matrix",
                                            "Calculating effects matrix for layer 1 of 2",
                                            "Calculating effects matrix for layer 2 of 2",
                                            "Fit α coefficient",
                                            QString::fromUtf8("Инверсия")};
}

// The phases announce themselves in order; one iteration is 500 steps and
// the bar climbs by one every five of them.
void TestLayeredWindow::progressTexts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    give_problem(*w, 2, {2.0, 2.4}, {2.1, 2.3});
    w->language = language;
    QStringList labels;
    QList<int> bar;
    while_running(
        [&] {
            if (labels.isEmpty() || labels.back() != w->progress_label->text())
                labels << w->progress_label->text();
            if (!w->progress_bar.isHidden() && (bar.isEmpty() || bar.back() != w->progress_bar.value()))
                bar << w->progress_bar.value();
        },
        [&] { w->start_polygonal_inversion(record(1)); });
    QCOMPARE(labels, texts);
    QCOMPARE(bar.front(), 0);
    QCOMPARE(bar.back(), 99);
    for (int n = 1; n < bar.size(); ++n)
        QCOMPARE(bar[n], bar[n - 1] + 1);
}

QTEST_MAIN(TestLayeredWindow)
#include "tst_layered_window.moc"
