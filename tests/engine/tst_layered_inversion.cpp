// The numerical core of the layered inversion: level ranges of the layers,
// slab effects against the forward field of each layer's indicator cube,
// the descent in normal-equation form against a cell-by-cell descent, the
// weight search's rules and the recovery of known layer increments.
#include "editing/layers.h"
#include "engine/layered_inversion.h"
#include "tst_layered_support.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using namespace layeredtest;

namespace {

field2D random_field(int ny, int nx, unsigned seed, double lo = -1, double hi = 1)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    field2D f(ny, std::vector<double>(nx));
    for (auto& r : f)
        for (double& v : r)
            v = u(gen);
    return f;
}

double mean(const field2D& f)
{
    double s = 0;
    std::size_t n = 0;
    for (const auto& r : f)
        for (double v : r) {
            s += v;
            ++n;
        }
    return s / n;
}

// The descent as the cell-by-cell rule states it: p = sum d_i E_i - f,
// p -= mean(p), d_i -= alpha_i * sum(E_i * p), all layers from the same p.
std::vector<double> cell_descent(const field2D& f, const std::vector<field2D>& E, const std::vector<double>& alpha,
                                 int steps)
{
    std::vector<double> d(E.size(), 0.0);
    const std::size_t ny = f.size(), nx = f[0].size();
    for (int s = 0; s < steps; ++s) {
        field2D p(ny, std::vector<double>(nx, 0.0));
        for (std::size_t l = 0; l < E.size(); ++l)
            for (std::size_t j = 0; j < ny; ++j)
                for (std::size_t i = 0; i < nx; ++i)
                    p[j][i] += d[l] * E[l][j][i];
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i)
                p[j][i] -= f[j][i];
        const double m = mean(p);
        for (auto& r : p)
            for (double& v : r)
                v -= m;
        std::vector<double> step(E.size(), 0.0);
        for (std::size_t l = 0; l < E.size(); ++l) {
            double g = 0;
            for (std::size_t j = 0; j < ny; ++j)
                for (std::size_t i = 0; i < nx; ++i)
                    g += E[l][j][i] * p[j][i];
            step[l] = alpha[l] * g;
        }
        for (std::size_t l = 0; l < E.size(); ++l)
            d[l] -= step[l];
    }
    return d;
}

// Indicator cube of layer n: 1 where the level depth lies in the layer slab
// (the last layer down to one step below the last level).
vector3D indicator(const Model& m, int n)
{
    const double bottom = layers::last_layer_bottom(layers::LastBottom::Extended, m.z);
    vector3D c(m.nz, vector2D(m.ny, std::vector<float>(m.nx, 0.0f)));
    for (int k = 0; k < m.nz; ++k)
        for (int j = 0; j < m.ny; ++j)
            for (int i = 0; i < m.nx; ++i)
                if (layers::in_layer_slab(m.horizons, n, j, i, layers::level_depth(m.z, k), bottom))
                    c[k][j][i] = 1.0f;
    return c;
}

std::vector<field2D> slab_effects(const Model& m)
{
    std::vector<field2D> E;
    const LayerEffectsStatus s = compute_layer_effects(
        geometry(m), m.horizons, layers::last_layer_bottom(layers::LastBottom::Extended, m.z), E, 2);
    if (s != LayerEffectsStatus::Completed)
        qFatal("slab effects refused");
    return E;
}

double max_abs(const field2D& f)
{
    double v = 0;
    for (const auto& r : f)
        for (double x : r)
            v = std::max(v, std::abs(x));
    return v;
}

}  // namespace

class TestLayeredInversion : public QObject
{
    Q_OBJECT

private slots:
    void levelRanges_data();
    void levelRanges();
    void slabEffectsAreFieldsOfLayerIndicators_data();
    void slabEffectsAreFieldsOfLayerIndicators();
    void slabEffectsRefuseHorizonsOffTheGrid();
    void slabEffectsDoNotDependOnThreads();
    void slabEffectsBuiltForTheirLayersOnly_data();
    void slabEffectsBuiltForTheirLayersOnly();
    void effectsFitOnlyTheirShape_data();
    void effectsFitOnlyTheirShape();
    void zeroStepTrialIsFieldVariance();
    void normalEquationDescentMatchesCellDescent();
    void descentStopsWhenAsked();
    void weightSearchRules_data();
    void weightSearchRules();
    void weightSearchEndsAtTheFirstWorseDecade();
    void recoversLayerIncrements_data();
    void recoversLayerIncrements();
};

void TestLayeredInversion::levelRanges_data()
{
    QTest::addColumn<double>("h1a");
    QTest::addColumn<double>("h1b");
    QTest::addColumn<int>("layer");
    QTest::addColumn<double>("dz");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Horizons {0, 0}, {h1a, h1b}, {260, 300}; z0 = 0, 10 levels, bottom 500.
    QTest::newRow("top layer") << 120.0 << 180.0 << 0 << 50.0 << 0 << 4;
    QTest::newRow("middle layer") << 120.0 << 180.0 << 1 << 50.0 << 2 << 7;
    QTest::newRow("last layer clamped to the levels") << 120.0 << 180.0 << 2 << 50.0 << 5 << 10;
    QTest::newRow("horizon above the top") << -100.0 << -60.0 << 1 << 50.0 << 0 << 7;
    QTest::newRow("top layer above the top") << -100.0 << -60.0 << 0 << 50.0 << 0 << 0;
    QTest::newRow("no such layer") << 120.0 << 180.0 << 3 << 50.0 << 0 << 0;
    QTest::newRow("negative layer") << 120.0 << 180.0 << -1 << 50.0 << 0 << 0;
    QTest::newRow("zero step") << 120.0 << 180.0 << 1 << 0.0 << 0 << 0;
}

void TestLayeredInversion::levelRanges()
{
    QFETCH(double, h1a);
    QFETCH(double, h1b);
    QFETCH(int, layer);
    QFETCH(double, dz);
    QFETCH(int, first);
    QFETCH(int, last);
    const std::vector<field2D> h{{{0, 0}}, {{h1a, h1b}}, {{260, 300}}};
    const LevelRange r = layer_level_range(h, layer, 500, 0, dz, 10);
    QCOMPARE(r.first, first);
    QCOMPARE(r.last, last);
}

void TestLayeredInversion::slabEffectsAreFieldsOfLayerIndicators_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<double>("expansion");
    QTest::newRow("three layers") << 3 << 0.5;
    QTest::newRow("two layers, no padding") << 2 << 0.0;
    QTest::newRow("three layers, wide padding") << 3 << 1.0;
}

// The slab effect of a layer is the forward field of the cube holding 1 in
// the layer's cells and 0 elsewhere; the last layer reaches the grid's bottom.
void TestLayeredInversion::slabEffectsAreFieldsOfLayerIndicators()
{
    QFETCH(int, layers);
    QFETCH(double, expansion);
    Model m = make_model(layers);
    m.expansion = expansion;
    const std::vector<field2D> E = slab_effects(m);
    QCOMPARE(int(E.size()), layers);
    for (int n = 0; n < layers; ++n) {
        const field2D reference = field_of(m, indicator(m, n));
        QCOMPARE(E[n].size(), std::size_t(m.ny));
        QCOMPARE(E[n][0].size(), std::size_t(m.nx));
        const double scale = max_abs(reference);
        QVERIFY(scale > 1.0);  // a layer of 1 g/cm3, over 100 m thick
        for (int j = 0; j < m.ny; ++j)
            for (int i = 0; i < m.nx; ++i)
                QVERIFY2(std::abs(E[n][j][i] - reference[j][i]) < 1e-5 * scale,
                         qPrintable(QString("layer %1 node %2,%3: %4 vs %5")
                                        .arg(n)
                                        .arg(j)
                                        .arg(i)
                                        .arg(E[n][j][i])
                                        .arg(reference[j][i])));
    }
}

void TestLayeredInversion::slabEffectsRefuseHorizonsOffTheGrid()
{
    Model m = make_model(3);
    std::vector<field2D> out{field2D(1, std::vector<double>(1, 7.0))};
    std::vector<field2D> h = m.horizons;
    h[2].pop_back();  // a horizon with a row missing
    QCOMPARE(compute_layer_effects(geometry(m), h, 600, out), LayerEffectsStatus::Mismatch);
    h = m.horizons;
    for (auto& hz : h)
        hz.pop_back();  // regular horizons, but not on the grid's rows
    QCOMPARE(compute_layer_effects(geometry(m), h, 600, out), LayerEffectsStatus::Mismatch);
    QCOMPARE(out.size(), std::size_t(1));
    QCOMPARE(out[0][0][0], 7.0);
}

void TestLayeredInversion::slabEffectsDoNotDependOnThreads()
{
    const Model m = make_model(3);
    const double bottom = layers::last_layer_bottom(layers::LastBottom::Extended, m.z);
    std::vector<field2D> one, three, eight;
    QList<int> groups;
    QCOMPARE(compute_layer_effects(geometry(m), m.horizons, bottom, one, 1), LayerEffectsStatus::Completed);
    QCOMPARE(compute_layer_effects(geometry(m), m.horizons, bottom, three, 3,
                                   [&](int layer, int layers, int level) {
                                       QCOMPARE(layers, 3);
                                       groups << layer * 100 + level;
                                   }),
             LayerEffectsStatus::Completed);
    QCOMPARE(compute_layer_effects(geometry(m), m.horizons, bottom, eight, 8), LayerEffectsStatus::Completed);
    QCOMPARE(three, one);
    QCOMPARE(eight, one);
    // One call per group of three levels, layers in order.
    QVERIFY(!groups.isEmpty());
    for (int n = 1; n < groups.size(); ++n)
        QVERIFY(groups[n] > groups[n - 1]);
    const LevelRange r0 = layer_level_range(m.horizons, 0, bottom, m.z[0], m.z[1] - m.z[0], m.nz);
    QCOMPARE(groups.count(r0.first), 1);
    QCOMPARE(groups.count(r0.first + 3), r0.first + 3 < r0.last ? 1 : 0);
}

void TestLayeredInversion::slabEffectsBuiltForTheirLayersOnly_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<bool>("own");
    QTest::newRow("computed for the layers") << "own" << true;
    QTest::newRow("other calculation height") << "height" << false;
    QTest::newRow("other level thickness") << "dz" << false;
    QTest::newRow("first horizon 10 m deeper") << "horizon" << false;
    QTest::newRow("zeros") << "zeros" << false;
    QTest::newRow("a value not a number") << "nan" << false;
    QTest::newRow("boundary of layers 1 and 2 100 m deeper") << "boundary" << false;
    QTest::newRow("a value not a number in layer 2") << "nan 2" << false;
    QTest::newRow("infinity in layer 1") << "inf 1" << false;
    QTest::newRow("layer 1 doubled") << "double 1" << false;
    QTest::newRow("layer 0 x 1.01") << "scaled 0" << false;
    QTest::newRow("layer 2 x 1.01") << "scaled 2" << false;
}

// Slab effects read from a file are taken for a model only when the check
// finds them its own: a boundary moved, another geometry, a layer scaled or
// a value that is not a number refuses them.
void TestLayeredInversion::slabEffectsBuiltForTheirLayersOnly()
{
    QFETCH(QString, held);
    QFETCH(bool, own);
    const Model m = make_model(3);
    Model other = held == "dz" ? make_model(3, 16, 12, 12, 45) : m;
    if (held == "height")
        other.calc_level = -25;
    if (held == "horizon" || held == "boundary")
        for (auto& row : other.horizons[held == "horizon" ? 1 : 2])
            for (double& v : row)
                v += held == "horizon" ? 10 : 100;
    std::vector<field2D> E = slab_effects(other);
    if (held == "zeros")
        for (auto& layer : E)
            for (auto& row : layer)
                std::fill(row.begin(), row.end(), 0.0);
    if (held == "nan")
        E[0][3][4] = std::numeric_limits<double>::quiet_NaN();
    if (held == "nan 2")
        E[2][5][6] = std::numeric_limits<double>::quiet_NaN();
    if (held == "inf 1")
        E[1][2][3] = std::numeric_limits<double>::infinity();
    if (held.startsWith("scaled"))
        for (auto& row : E[std::size_t(held.mid(7).toInt())])
            for (double& v : row)
                v *= 1.01;
    if (held == "double 1")
        for (auto& row : E[1])
            for (double& v : row)
                v *= 2;
    const double bottom = layers::last_layer_bottom(layers::LastBottom::Extended, m.z);
    QCOMPARE(check_layer_effects(E, geometry(m), m.horizons, bottom, 3) == LayerEffectsCheck::Own, own);
    // Another shape is never the model's.
    E.pop_back();
    QCOMPARE(int(check_layer_effects(E, geometry(m), m.horizons, bottom, 3)), int(LayerEffectsCheck::OtherSizes));
}

void TestLayeredInversion::effectsFitOnlyTheirShape_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("fits");
    QTest::newRow("same shape") << "" << true;
    QTest::newRow("one layer more") << "layer" << false;
    QTest::newRow("one row less") << "row" << false;
    QTest::newRow("one short row") << "ragged" << false;
    QTest::newRow("empty") << "empty" << false;
}

void TestLayeredInversion::effectsFitOnlyTheirShape()
{
    QFETCH(QString, change);
    QFETCH(bool, fits);
    std::vector<field2D> e(3, field2D(4, std::vector<double>(5, 1.0)));
    if (change == "layer")
        e.push_back(e[0]);
    else if (change == "row")
        e[1].pop_back();
    else if (change == "ragged")
        e[2][3].pop_back();
    else if (change == "empty")
        e.clear();
    QCOMPARE(layer_effects_fit(e, 3, 4, 5), fits);
}

void TestLayeredInversion::zeroStepTrialIsFieldVariance()
{
    field2D f = random_field(6, 7, 11, 3, 9);
    std::vector<field2D> E{random_field(6, 7, 12), random_field(6, 7, 13)};
    std::vector<double> alpha{1e-3, 1e-3};
    const double m = mean(f);
    double expected = 0;
    for (const auto& r : f)
        for (double v : r)
            expected += (v - m) * (v - m);
    QCOMPARE(run_layer_fit_iterations({0, 0}, f, E, alpha, 0), expected);
    // The caller's increments and weights are left alone.
    std::vector<double> d{0.5, -0.5};
    run_layer_fit_iterations(d, f, E, alpha, 2);
    QCOMPARE(alpha, (std::vector<double>{1e-3, 1e-3}));
}

void TestLayeredInversion::normalEquationDescentMatchesCellDescent()
{
    field2D f = random_field(7, 9, 21, -2, 4);
    std::vector<field2D> E{random_field(7, 9, 22, 0, 2), random_field(7, 9, 23, -1, 1), random_field(7, 9, 24)};
    const std::vector<double> alpha{0.004, 0.006, 0.0};
    const int steps = 300;
    const std::vector<double> reference = cell_descent(f, E, alpha, steps);

    const LayerNormalEquations eq = layer_normal_equations(f, E);
    QVERIFY(eq.valid);
    std::vector<double> d(3, 0.0);
    QCOMPARE(layer_descent(d, eq, alpha, steps), steps);
    for (int l = 0; l < 3; ++l)
        QVERIFY2(std::abs(d[l] - reference[l]) <= 1e-9 * (1 + std::abs(reference[l])),
                 qPrintable(QString("layer %1: %2 vs %3").arg(l).arg(d[l]).arg(reference[l])));
    QCOMPARE(d[2], 0.0);  // a zero weight never moves its layer

    // The trial's loss is the loss of the reference increments.
    const double loss = run_layer_fit_iterations({0, 0, 0}, f, E, const_cast<std::vector<double>&>(alpha), 3);
    const double ref_loss = layer_fit_loss(reference, f, E);
    QVERIFY(std::abs(loss - ref_loss) <= 1e-9 * ref_loss);
    QVERIFY(ref_loss < layer_fit_loss({0, 0, 0}, f, E));
}

void TestLayeredInversion::descentStopsWhenAsked()
{
    field2D f = random_field(5, 5, 31);
    std::vector<field2D> E{random_field(5, 5, 32)};
    const LayerNormalEquations eq = layer_normal_equations(f, E);
    std::vector<double> d{0.0};
    QCOMPARE(layer_descent(d, eq, {0.01}, 100, [](int s) { return s < 7; }), 7);
    std::vector<double> d7{0.0};
    layer_descent(d7, eq, {0.01}, 7);
    QCOMPARE(d, d7);
    // Effects of another shape than the field: nothing to descend on.
    const LayerNormalEquations bad = layer_normal_equations(random_field(5, 4, 1), E);
    QVERIFY(!bad.valid);
    std::vector<double> d0{0.0};
    QCOMPARE(layer_descent(d0, bad, {0.01}, 10), 0);
    QCOMPARE(d0[0], 0.0);
}

void TestLayeredInversion::weightSearchRules_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("result");
    QTest::newRow("all effects zero") << "zero" << true;
    QTest::newRow("all layers fixed") << "fixed" << true;
    QTest::newRow("field with a value that is not a number") << "nan" << false;
    QTest::newRow("effects of another shape") << "shape" << false;
    QTest::newRow("one weight missing") << "weights" << false;
}

void TestLayeredInversion::weightSearchRules()
{
    QFETCH(QString, setup);
    QFETCH(bool, result);
    field2D f = random_field(6, 6, 41, 0, 10);
    std::vector<field2D> E{random_field(6, 6, 42), random_field(6, 6, 43)};
    std::vector<double> alpha{1e-10, 1e-10};
    if (setup == "zero")
        E.assign(2, field2D(6, std::vector<double>(6, 0.0)));
    else if (setup == "fixed")
        alpha.assign(2, 0.0);
    else if (setup == "nan")
        f[2][3] = std::numeric_limits<double>::quiet_NaN();
    else if (setup == "shape")
        E[1].pop_back();
    else if (setup == "weights")
        alpha.pop_back();
    const std::vector<double> before = alpha;
    QCOMPARE(fit_alpha_losses({0, 0}, f, E, alpha), result);
    if (!result) {
        QCOMPARE(alpha, before);
        return;
    }
    // Equal losses before and after the trial: only the final 0.08.
    for (std::size_t l = 0; l < alpha.size(); ++l)
        QCOMPARE(alpha[l], before[l] * 0.08);
}

// The weights end at 0.08 times the first decade whose trial is no longer
// below the starting loss, and the decade before it was below.
void TestLayeredInversion::weightSearchEndsAtTheFirstWorseDecade()
{
    const Model m = make_model(3);
    std::vector<field2D> E = slab_effects(m);
    field2D f = field_of(m, layered_grid(m, m.horizons, {2.0, 2.3, 2.1}));
    std::vector<double> alpha(3, 1e-10);
    QVERIFY(fit_alpha_losses({0, 0, 0}, f, E, alpha));
    const double l0 = run_layer_fit_iterations({0, 0, 0}, f, E, alpha, 0);
    std::vector<double> decade = alpha, before = alpha;
    for (double& a : decade)
        a /= 0.08;
    for (double& a : before)
        a /= 0.8;
    const double at_decade = run_layer_fit_iterations({0, 0, 0}, f, E, decade, 30);
    const double at_before = run_layer_fit_iterations({0, 0, 0}, f, E, before, 30);
    QVERIFY(std::isnan(at_decade) || at_decade >= l0);
    QVERIFY(at_before < l0);
    // The chosen weights give a descent that lowers the loss.
    QVERIFY(run_layer_fit_iterations({0, 0, 0}, f, E, alpha, 30) < l0);
    // The decade is a power of ten times the start.
    const double ratio = std::log10(decade[0] / 1e-10);
    QVERIFY(std::abs(ratio - std::round(ratio)) < 1e-9);
}

void TestLayeredInversion::recoversLayerIncrements_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<std::vector<double>>("start");
    QTest::addColumn<std::vector<double>>("truth");
    QTest::addColumn<bool>("fix_top");
    // A constant added to every layer has no field of its own on this
    // grid: with all layers free the increments are found up to it, so the
    // free cases use increments without such a common part.
    QTest::newRow("three layers, top fixed") << 3 << std::vector<double>{2.0, 2.2, 2.5}
                                             << std::vector<double>{2.0, 2.35, 2.4} << true;
    QTest::newRow("two layers, free") << 2 << std::vector<double>{2.0, 2.4} << std::vector<double>{2.1, 2.3}
                                      << false;
    QTest::newRow("three layers, free") << 3 << std::vector<double>{2.0, 2.2, 2.5}
                                        << std::vector<double>{1.9, 2.4, 2.4} << false;
}

void TestLayeredInversion::recoversLayerIncrements()
{
    QFETCH(int, layers);
    QFETCH(std::vector<double>, start);
    QFETCH(std::vector<double>, truth);
    QFETCH(bool, fix_top);
    const Model m = make_model(layers);
    field2D observed = field_of(m, layered_grid(m, m.horizons, truth));
    const field2D calculated = field_of(m, layered_grid(m, m.horizons, start));
    field2D residual = observed;
    for (int j = 0; j < m.ny; ++j)
        for (int i = 0; i < m.nx; ++i)
            residual[j][i] -= calculated[j][i];

    std::vector<field2D> E = slab_effects(m);
    std::vector<double> d(layers, 0.0), alpha(layers, 1e-10);
    if (fix_top)
        alpha[0] = 0;
    QVERIFY(fit_alpha_losses(d, observed, E, alpha));
    const LayerNormalEquations eq = layer_normal_equations(residual, E);
    layer_descent(d, eq, alpha, 500 * 20);
    for (int l = 0; l < layers; ++l)
        QVERIFY2(std::abs(d[l] - (truth[l] - start[l])) < 0.005,
                 qPrintable(QString("layer %1: %2 vs %3").arg(l).arg(d[l]).arg(truth[l] - start[l])));
    if (fix_top)
        QCOMPARE(d[0], 0.0);
    // The misfit falls to a small part of what it was.
    const double before = layer_fit_loss(std::vector<double>(layers, 0.0), residual, E);
    QVERIFY(layer_fit_loss(d, residual, E) < 1e-4 * before);
}

QTEST_APPLESS_MAIN(TestLayeredInversion)
#include "tst_layered_inversion.moc"
