// The constraints as the 3D inversion applies them on the main window,
// offscreen: the lateral kind on a two-layer synthetic (also with the top
// level on horizon 0 at a depth a float cannot hold, a fixed layer and
// positive density), every grid-kind constraint in a run, their order, and
// the dialog's open density limit.
#include "app/mainwindow.h"
#include "engine/field_stats.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/inversion_parameters.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

using namespace inversion_record;
using namespace windowtest;

namespace {

const int NX = 12, NY = 10, NZ = 6;
const double DZ = 50;
// Round trip of the level spectra through the transforms.
const float EPS = 2e-5f;

// The boundary between the two layers: 125 m below the top in the west,
// 225 m in the east, so that it falls between different levels.
double boundary(double z0, int i) { return z0 + (i < NX / 2 ? 125.0 : 225.0); }

// A two-layer true model with one density per layer and node: a light
// block in the upper layer and a dense block in the lower one.
vector3D two_layer_model(double z0)
{
    vector3D m(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i) {
                const bool lower = z0 + k * DZ >= boundary(z0, i);
                if (!lower && j >= 2 && j < 5 && i >= 2 && i < 8)
                    m[k][j][i] = -0.2f;
                if (lower && j >= 5 && j < 9 && i >= 4 && i < 10)
                    m[k][j][i] = 0.3f;
            }
    return m;
}

void give_geometry(MainWindow& w, double z0)
{
    w.x_calc = nodes(NX, 10000, 100);
    w.y_calc = nodes(NY, 20000, 100);
    w.z_calc = nodes(NZ, z0, DZ);
    w.calc_height = -20;
    w.expansion_factor = 0.5;
    w.store_eff = true;
    w.save_log = false;
    w.effects.clear();
    w.alpha_factor = 0;
}

void give_observed(MainWindow& w, const vector3D& truth)
{
    ForwardGeometry g;
    if (forward_geometry(truth, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g)
        != ForwardStatus::Completed)
        qFatal("geometry refused");
    forward_without_store(truth, g, w.Vz_observed, 1);
}

// Horizon 0 at the model top (z0) and the boundary.
void give_two_horizons(MainWindow& w, double z0)
{
    field2D top(NY, std::vector<double>(NX, z0)), bottom(NY, std::vector<double>(NX));
    for (int j = 0; j < NY; ++j)
        for (int i = 0; i < NX; ++i)
            bottom[j][i] = boundary(z0, i);
    w.horizons = {top, bottom};
    w.fixed = {false, false};
}

std::vector<double> record(int kind_value, int iterations_count = 3)
{
    return plain_inversion_record(kind_value, iterations_count);
}

// The misfit of a model on the window's geometry.
double model_misfit(const MainWindow& w, const vector3D& model)
{
    ForwardGeometry g;
    field2D field;
    if (forward_geometry(model, w.x_calc, w.y_calc, w.z_calc, w.calc_height, w.expansion_factor, g)
        != ForwardStatus::Completed)
        qFatal("geometry refused");
    forward_without_store(model, g, field, 1);
    return field_misfit(w.Vz_observed, field).rms;
}

double zero_model_misfit(const MainWindow& w)
{
    return field_misfit(w.Vz_observed, field2D(NY, std::vector<double>(NX, 0.0))).rms;
}

float cube_min(const vector3D& c)
{
    float m = c[0][0][0];
    for (const auto& l : c)
        for (const auto& r : l)
            for (float v : r)
                m = std::min(m, v);
    return m;
}

float cube_max(const vector3D& c)
{
    float m = c[0][0][0];
    for (const auto& l : c)
        for (const auto& r : l)
            for (float v : r)
                m = std::max(m, v);
    return m;
}

// The layer of level k at node (j, i) of the two horizons, by hand.
int layer_of(const MainWindow& w, int k, int j, int i)
{
    const double z = w.z_calc[0] + k * DZ;
    if (w.horizons.size() < 2)
        return 0;
    return (z >= w.horizons[0][j][i] && z < w.horizons[1][j][i]) ? 0 : 1;
}

// Largest spread of the model along a vertical within one layer.
float largest_layer_spread(const MainWindow& w)
{
    float spread = 0;
    for (int j = 0; j < NY; ++j)
        for (int i = 0; i < NX; ++i)
            for (int l = 0; l < 2; ++l) {
                float lo = 1e30f, hi = -1e30f;
                for (int k = 0; k < NZ; ++k)
                    if (layer_of(w, k, j, i) == l) {
                        lo = std::min(lo, w.den_grid[k][j][i]);
                        hi = std::max(hi, w.den_grid[k][j][i]);
                    }
                if (hi >= lo)
                    spread = std::max(spread, hi - lo);
            }
    return spread;
}

} // namespace

class TestInversionConstraintsWindow : public QObject
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

    void lateralKind_data();
    void lateralKind();
    void lateralKindThroughTheDialog();
    void gridKindConstraints_data();
    void gridKindConstraints();
    void openLowerLimitFromTheDialog();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

// ---------------------------------------------------------------------------

void TestInversionConstraintsWindow::lateralKind_data()
{
    QTest::addColumn<double>("z0");
    QTest::addColumn<int>("horizonCount");
    QTest::addColumn<bool>("upperFixed");
    QTest::addColumn<bool>("positive");
    QTest::newRow("two layers") << 0.0 << 2 << false << false;
    // float(0.7) lies below 0.7: the top level must still count as layer 0.
    QTest::newRow("top level on horizon 0 at 0.7") << 0.7 << 2 << false << false;
    QTest::newRow("upper layer fixed") << 0.0 << 2 << true << false;
    QTest::newRow("positive density") << 0.0 << 2 << false << true;
    QTest::newRow("one horizon: vertical means") << 0.0 << 1 << false << false;
}

void TestInversionConstraintsWindow::lateralKind()
{
    QFETCH(double, z0);
    QFETCH(int, horizonCount);
    QFETCH(bool, upperFixed);
    QFETCH(bool, positive);
    give_geometry(*w, z0);
    give_observed(*w, two_layer_model(z0));
    give_two_horizons(*w, z0);
    w->horizons.resize(horizonCount);
    w->fixed.assign(horizonCount, false);
    if (upperFixed)
        w->fixed[0] = true;
    // The starting model: 0.05 in the upper layer, 0 in the lower one.
    w->den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                if (layer_of(*w, k, j, i) == 0)
                    w->den_grid[k][j][i] = 0.05f;
    const vector3D initial = w->den_grid;
    w->Vz_calculated.clear();

    std::vector<double> r = record(kind_lateral);
    r[positive_density] = positive ? 1 : 0;
    w->start_inversion(r);
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w->den_grid != initial);
    QVERIFY(misfit(*w) < zero_model_misfit(*w));

    // One density per layer and node, constant down each vertical.
    if (horizonCount == 1) {
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                for (int k = 1; k < NZ; ++k)
                    QVERIFY(std::fabs(w->den_grid[k][j][i] - w->den_grid[0][j][i]) < EPS);
    } else {
        QVERIFY2(largest_layer_spread(*w) < EPS, qPrintable(QString::number(largest_layer_spread(*w))));
    }
    if (upperFixed)
        for (int k = 0; k < NZ; ++k)
            for (int j = 0; j < NY; ++j)
                for (int i = 0; i < NX; ++i)
                    if (layer_of(*w, k, j, i) == 0)
                        QVERIFY(std::fabs(w->den_grid[k][j][i] - 0.05f) < EPS);
    // The light block pulls the free model below zero unless positive
    // density keeps every layer mean at or above the starting densities.
    if (positive)
        QVERIFY(cube_min(w->den_grid) > -EPS);
    else if (!upperFixed)
        QVERIFY(cube_min(w->den_grid) < -0.01f);
}

// The lateral radio button sends its record to the same run.
void TestInversionConstraintsWindow::lateralKindThroughTheDialog()
{
    give_geometry(*w, 0.7);
    give_observed(*w, two_layer_model(0.7));
    give_two_horizons(*w, 0.7);
    w->den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    QVERIFY(answer_inversion_dialog(
        [](inversion_parameters* d) {
            d->findChild<QRadioButton*>("lateralInversion")->click();
            d->findChild<QLineEdit*>("input_N_iter")->setText("2");
            d->findChild<QCheckBox*>("log_checkbox")->setChecked(false);
        },
        true, [&] { w->on_inversion_triggered(); }));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->inversion_params[kind], double(kind_lateral));
    QVERIFY(misfit(*w) < zero_model_misfit(*w));
    QVERIFY(largest_layer_spread(*w) < EPS);
}

// ---------------------------------------------------------------------------

void TestInversionConstraintsWindow::gridKindConstraints_data()
{
    QTest::addColumn<QString>("setup");
    for (const char* setup :
         {"fixed upper layer", "positive density", "initial-model blend", "uploaded regularizer", "density limits",
          "sign-direction, density grid", "keep sign, regularizer", "order: limits after positive density",
          "order: sign after limits", "order: fixed layer before limits"})
        QTest::newRow(setup) << QString::fromUtf8(setup);
}

void TestInversionConstraintsWindow::gridKindConstraints()
{
    QFETCH(QString, setup);
    give_geometry(*w, 0.0);
    give_observed(*w, two_layer_model(0.0));
    // A starting model with both signs: +0.1 in the west, -0.1 in the east
    // (columns), 0 on the top level.
    w->den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    for (int k = 1; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                w->den_grid[k][j][i] = i < NX / 2 ? 0.1f : -0.1f;
    // A regularizer of the model's shape: negative in the north, zero in a
    // band, positive in the south.
    vector3D reg(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                reg[k][j][i] = j < 4 ? -2.0f : j < 6 ? 0.0f : 1.0f + 0.1f * i;

    std::vector<double> r = record(kind_grid, 2);
    if (setup.contains("fixed")) {
        give_two_horizons(*w, 0.0);
        w->fixed = {true, false};
    }
    if (setup.contains("positive"))
        r[positive_density] = 1;
    if (setup == "initial-model blend")
        r[use_initial_model] = 1;
    if (setup == "uploaded regularizer" || setup.contains("regularizer")) {
        w->regularizer = reg;
        r[use_uploaded_regularizer] = setup == "uploaded regularizer" ? 1 : 0;
    }
    if (setup == "density limits") {
        r[density_limits_on] = 1;
        r[lower_limit] = -0.05;
        r[upper_limit] = 0.08;
    }
    if (setup.startsWith("order: limits")) {
        r[density_limits_on] = 1;
        r[upper_limit] = 0.05; // below the positive starting densities
    }
    if (setup.startsWith("order: sign")) {
        r[density_limits_on] = 1;
        r[lower_limit] = -0.3;
        r[sign_constraint_on] = 1;
        r[sign_constraint_type] = 1;
        r[sign_source] = 0;
    }
    if (setup.startsWith("order: fixed")) {
        r[density_limits_on] = 1;
        r[upper_limit] = 0.05; // binds the fixed layer's 0.1 too
    }
    if (setup.startsWith("sign-direction")) {
        r[sign_constraint_on] = 1;
        r[sign_constraint_type] = 0;
        r[sign_source] = 0;
    }
    if (setup.startsWith("keep sign")) {
        r[sign_constraint_on] = 1;
        r[sign_constraint_type] = 1;
        r[sign_source] = 1;
    }
    const vector3D initial = w->den_grid;
    const double start = model_misfit(*w, initial);
    w->start_inversion(r);
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w->den_grid != initial);
    QVERIFY2(misfit(*w) < start, qPrintable(QString("%1 from %2").arg(misfit(*w)).arg(start)));
    const vector3D& d = w->den_grid;

    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i) {
                const float v = d[k][j][i], v0 = initial[k][j][i];
                const QByteArray where = QString("%1 at level %2 row %3 column %4: %5 from %6")
                                             .arg(setup).arg(k).arg(j).arg(i).arg(v).arg(v0).toUtf8();
                if (setup == "fixed upper layer" && layer_of(*w, k, j, i) == 0)
                    QVERIFY2(std::fabs(v - v0) < EPS, where);
                if (setup == "positive density")
                    QVERIFY2(v > v0 - EPS, where);
                // Where the initial model is 0 the blend keeps the reference.
                if (setup == "initial-model blend" && v0 == 0)
                    QVERIFY2(std::fabs(v) < EPS, where);
                // Where the regularizer is 0 likewise.
                if (setup == "uploaded regularizer" && reg[k][j][i] == 0)
                    QVERIFY2(std::fabs(v - v0) < EPS, where);
                if (setup == "density limits")
                    QVERIFY2(v > -0.05f - EPS && v < 0.08f + EPS, where);
                if (setup == "sign-direction, density grid")
                    QVERIFY2(v0 > 0 ? v > v0 - EPS : v < v0 + EPS, where);
                if (setup == "keep sign, regularizer")
                    QVERIFY2(reg[k][j][i] > 0 ? v > -EPS : v < EPS, where);
                // Limits come after positive density: they win.
                if (setup == "order: limits after positive density")
                    QVERIFY2(v < 0.05f + EPS, where);
                // The sign constraint comes after the limits: it wins.
                if (setup == "order: sign after limits")
                    QVERIFY2(v0 > 0 ? v > -EPS : v < EPS, where);
                // Limits come after the fixed layers: a fixed 0.1 is clamped.
                if (setup == "order: fixed layer before limits" && layer_of(*w, k, j, i) == 0 && v0 > 0.05f)
                    QVERIFY2(std::fabs(v - 0.05f) < EPS, where);
            }
    if (setup == "density limits") {
        // Both limits bind somewhere.
        QVERIFY(cube_min(d) < -0.05f + EPS);
        QVERIFY(cube_max(d) > 0.08f - EPS);
    }
}

// Limits switched on with the lower field left empty: no bound below, not a
// clamp at 0.
void TestInversionConstraintsWindow::openLowerLimitFromTheDialog()
{
    give_geometry(*w, 0.0);
    give_observed(*w, two_layer_model(0.0));
    w->den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    QVERIFY(answer_inversion_dialog(
        [](inversion_parameters* d) {
            d->findChild<QRadioButton*>("gridInversion")->click();
            d->findChild<QLineEdit*>("input_N_iter")->setText("2");
            d->findChild<QCheckBox*>("den_limits_checkbox")->setChecked(true);
            d->findChild<QLineEdit*>("den_limits_min")->setText("");
            d->findChild<QLineEdit*>("den_limits_max")->setText("0.05");
            d->findChild<QCheckBox*>("log_checkbox")->setChecked(false);
        },
        true, [&] { w->on_inversion_triggered(); }));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->inversion_params[density_limits_on], 1.0);
    QCOMPARE(w->inversion_params[lower_limit], -open_limit);
    QCOMPARE(w->inversion_params[upper_limit], 0.05);
    QVERIFY(cube_max(w->den_grid) < 0.05f + EPS);
    QVERIFY(cube_max(w->den_grid) > 0.05f - EPS);
    QVERIFY(cube_min(w->den_grid) < -0.01f);
}

QTEST_MAIN(TestInversionConstraintsWindow)
#include "tst_inversion_constraints_window.moc"
