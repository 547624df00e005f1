// The inversion core: depth weighting and its schedule, the level-weight
// rules, one gradient step against a brute-force transposed operator, the
// decade search of the regularization weight, and a synthetic recovery.
#include "engine/inversion.h"

#include "engine/parallel.h"
#include "inversion_test_support.h"
#include "grid_compare_support.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace invtest;

namespace {

field2D constant_horizon(int ny, int nx, double d) { return field2D(ny, std::vector<double>(nx, d)); }

// rms of (calculated - its mean) - (observed - its mean) over the model window.
double window_misfit(const Problem& g, const field2D& padded_field, const field2D& observed)
{
    double mc = 0, mo = 0;
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            mc += padded_field[g.py + j][g.px + i];
            mo += observed[j][i];
        }
    mc /= g.nx * g.ny;
    mo /= g.nx * g.ny;
    double s = 0;
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            const double d = (padded_field[g.py + j][g.px + i] - mc) - (observed[j][i] - mo);
            s += d * d;
        }
    return std::sqrt(s / (g.nx * g.ny));
}

// The forward field (model window) of a model through the spectral operator.
field2D forward_field(const Problem& g, const vector3D& model)
{
    vector3D padded;
    for (const auto& level : model)
        padded.push_back(pad(level, g));
    vector3D re, im;
    model_spectra(padded, re, im);
    field2D fr(g.My, std::vector<double>(g.Mx)), fi = fr;
    predicted_field(g.op, re, im, fr, fi, 1);
    field2D out(g.ny, std::vector<double>(g.nx));
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i)
            out[j][i] = fr[g.py + j][g.px + i];
    return out;
}

struct Inverted {
    std::vector<double> misfits; // before the first iteration, then after each
    vector3D model_re;
    AlphaFit fit;
};

Inverted invert(const Problem& g, const field2D& observed, int iterations, int threads, double power = 1)
{
    Inverted out;
    const field2D padded_obs = pad(observed, g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> w = depth_level_weights(g.nz, power);
    out.fit = fit_alpha_decades(RunControl(), g.nz, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, threads);
    vector3D re(g.nz, vector2D(g.My, std::vector<float>(g.half(), 0.0f))), im = re;
    field2D work_re(g.My, std::vector<double>(g.Mx)), work_im = work_re;
    field2D fr = work_re, fi = work_re;
    predicted_field(g.op, re, im, fr, fi, threads);
    out.misfits.push_back(window_misfit(g, fr, observed));
    for (int it = 0; it < iterations; ++it) {
        run_inversion_iteration(RunControl(), g.op, re, im, obs_re, obs_im, w, work_re, work_im, threads, it,
                                iterations);
        predicted_field(g.op, re, im, fr, fi, threads);
        out.misfits.push_back(window_misfit(g, fr, observed));
    }
    model_levels(re, im, g.Mx);
    out.model_re = re;
    return out;
}

} // namespace

class TestInversion : public QObject
{
    Q_OBJECT

private slots:
    void recordAccess();
    void levelWeights_data();
    void levelWeights();
    void powerSchedule();
    void startingPower_data();
    void startingPower();
    void fixedLevelWeights_data();
    void fixedLevelWeights();
    void fixedLevelWeightsToleratesMismatchedLists();
    void constantLevelWeights();
    void innerStepFromZeroIsTransposedOperator_data();
    void innerStepFromZeroIsTransposedOperator();
    void innerStepIgnoresFieldMean();
    void halfSpectra_data();
    void halfSpectra();
    void innerStepMatchesMisfitSpectrum_data();
    void innerStepMatchesMisfitSpectrum();
    void iterationProgressAndStop();
    void iterationEqualsInnerSteps_data();
    void iterationEqualsInnerSteps();
    void decadeSearchMatchesTrialEnergies_data();
    void decadeSearchMatchesTrialEnergies();
    void decadeSearchRefusesFlatField();
    void decadeSearchBoundsNonFiniteTrials();
    void decadeSearchBoundsTrials();
    void decadeSearchStops();
    void syntheticRecovery();
    void resultsDoNotDependOnThreads();
};

void TestInversion::recordAccess()
{
    using namespace inversion_record;
    const std::vector<double> seed{100, 0.1, 0, 1, 0, 0.02, 0, 0};
    QCOMPARE(value(seed, iterations), 100.0);
    QCOMPARE(value(seed, kind), 0.0);
    QVERIFY(!flag(seed, power_schedule));
    std::vector<double> r(record_size, 0.0);
    r[iterations] = 7.9;
    r[kind] = std::numeric_limits<double>::quiet_NaN();
    r[sign_source] = 1e30;
    QCOMPARE(integer(r, iterations), 7);
    QCOMPARE(integer(r, kind), 0);
    QCOMPARE(integer(r, sign_source), 2147483647);
}

void TestInversion::levelWeights_data()
{
    QTest::addColumn<double>("power");
    QTest::addColumn<std::vector<double>>("expected");
    QTest::newRow("power 1") << 1.0 << std::vector<double>{0.0025, 0.005, 0.0075, 0.01};
    QTest::newRow("power 0") << 0.0 << std::vector<double>{0.01, 0.01, 0.01, 0.01};
    QTest::newRow("power 2") << 2.0 << std::vector<double>{0.01 / 16, 0.01 / 4, 0.01 * 9 / 16, 0.01};
}

void TestInversion::levelWeights()
{
    QFETCH(double, power);
    QFETCH(std::vector<double>, expected);
    const std::vector<double> w = depth_level_weights(4, power);
    QCOMPARE(int(w.size()), 4);
    for (int q = 0; q < 4; ++q)
        QVERIFY2(std::abs(w[q] - expected[q]) < 1e-15, qPrintable(QString::number(q)));
    QVERIFY(depth_level_weights(0, 1).empty());
}

void TestInversion::powerSchedule()
{
    const double expected[] = {1, 1.25, 1.5, 1.75, 2};
    for (int it = 0; it < 5; ++it)
        QCOMPARE(scheduled_depth_power(1, 2, it, 5), expected[it]);
    QCOMPARE(scheduled_depth_power(1.5, 3, 0, 1), 1.5);
    QCOMPARE(scheduled_depth_power(1.5, 3, 0, 0), 1.5);
    QCOMPARE(scheduled_depth_power(2, 0, 2, 3), 0.0);
}

void TestInversion::startingPower_data()
{
    QTest::addColumn<double>("power");
    QTest::addColumn<double>("schedule");
    QTest::addColumn<double>("finalPower");
    QTest::addColumn<double>("expected");
    QTest::newRow("constant") << 1.5 << 0.0 << 0.5 << 1.5;
    QTest::newRow("linear, final smaller") << 1.5 << 1.0 << 0.5 << 0.5;
    QTest::newRow("linear, final larger") << 1.0 << 1.0 << 2.0 << 1.0;
}

void TestInversion::startingPower()
{
    QFETCH(double, power);
    QFETCH(double, schedule);
    QFETCH(double, finalPower);
    QFETCH(double, expected);
    std::vector<double> r(inversion_record::record_size, 0.0);
    r[inversion_record::depth_power] = power;
    r[inversion_record::power_schedule] = schedule;
    r[inversion_record::final_power] = finalPower;
    QCOMPARE(starting_depth_power(r), expected);
}

void TestInversion::fixedLevelWeights_data()
{
    // Levels at 0, 100, ..., 900 m; horizon 0 at 0 m, horizon 1 varies
    // between 300 and 500 m, horizon 2 between 600 and 700 m.
    QTest::addColumn<std::vector<bool>>("fixed");
    QTest::addColumn<std::vector<int>>("zeroed");
    QTest::newRow("none") << std::vector<bool>{false, false, false} << std::vector<int>{};
    // Layer 0: deepest of horizon 0 is 0, shallowest of horizon 1 is 300:
    // levels 0..300 inclusive.
    QTest::newRow("top layer") << std::vector<bool>{true, false, false} << std::vector<int>{0, 1, 2, 3};
    // Layer 1: from 500 (deepest of horizon 1) to 600 (shallowest of horizon 2).
    QTest::newRow("middle layer") << std::vector<bool>{false, true, false} << std::vector<int>{5, 6};
    // Last layer: strictly below 700.
    QTest::newRow("last layer") << std::vector<bool>{false, false, true} << std::vector<int>{8, 9};
    QTest::newRow("all") << std::vector<bool>{true, true, true} << std::vector<int>{0, 1, 2, 3, 5, 6, 8, 9};
}

void TestInversion::fixedLevelWeights()
{
    QFETCH(std::vector<bool>, fixed);
    QFETCH(std::vector<int>, zeroed);
    const int ny = 2, nx = 3, nz = 10;
    vector3D grid(nz, vector2D(ny, std::vector<float>(nx, 1.0f)));
    std::vector<field2D> horizons{constant_horizon(ny, nx, 0), constant_horizon(ny, nx, 400),
                                  constant_horizon(ny, nx, 650)};
    horizons[1][0][0] = 300;
    horizons[1][1][2] = 500;
    horizons[2][0][1] = 600;
    horizons[2][1][1] = 700;
    std::vector<double> w = depth_level_weights(nz, 1);
    const std::vector<double> before = w;
    const int n = zero_fixed_level_weights(w, grid, horizons, fixed, 0.0, 100.0);
    QCOMPARE(n, int(zeroed.size()));
    for (int q = 0; q < nz; ++q) {
        const bool expect_zero = std::find(zeroed.begin(), zeroed.end(), q) != zeroed.end();
        QCOMPARE(w[q], expect_zero ? 0.0 : before[q]);
    }
}

void TestInversion::fixedLevelWeightsToleratesMismatchedLists()
{
    vector3D grid(4, vector2D(2, std::vector<float>(2, 1.0f)));
    std::vector<double> w = depth_level_weights(4, 1);
    const std::vector<double> before = w;
    // Flags without horizons (horizons deleted) do nothing.
    QCOMPARE(zero_fixed_level_weights(w, grid, {}, {true, true}, 0, 100), 0);
    QCOMPARE(w, before);
    // More flags than horizons: only the horizons that exist count; the one
    // horizon is the last layer, fixed, so levels strictly below it go.
    QCOMPARE(zero_fixed_level_weights(w, grid, {constant_horizon(2, 2, 150)}, {true, true}, 0, 100), 2);
    QCOMPARE(w[0], before[0]);
    QCOMPARE(w[1], before[1]);
    QCOMPARE(w[2], 0.0);
    // An empty horizon is skipped, not read.
    w = before;
    QCOMPARE(zero_fixed_level_weights(w, grid, {field2D(), constant_horizon(2, 2, 150)}, {true, false}, 0, 100), 0);
    // Fewer weights than levels: never written past their end.
    std::vector<double> two{1, 1};
    QCOMPARE(zero_fixed_level_weights(two, grid, {constant_horizon(2, 2, -1)}, {true}, 0, 100), 2);
}

void TestInversion::constantLevelWeights()
{
    vector3D grid(3, vector2D(2, std::vector<float>(3, 0.0f)));
    grid[1][1][2] = 0.1f;  // level 1 varies
    grid[2] = vector2D(2, std::vector<float>(3, 2.5f));
    std::vector<double> w{1, 2, 3};
    QCOMPARE(zero_constant_level_weights(w, grid), 2);
    QCOMPARE(w, (std::vector<double>{0, 2, 0}));
}

void TestInversion::innerStepFromZeroIsTransposedOperator_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("threads");
    QTest::newRow("6x5x3, p=0.5") << 6 << 5 << 3 << 0.5 << 1;
    QTest::newRow("8x8x2, p=0, 3 threads") << 8 << 8 << 2 << 0.0 << 3;
    QTest::newRow("7x3x4, p=1") << 7 << 3 << 4 << 1.0 << 2;
}

void TestInversion::innerStepFromZeroIsTransposedOperator()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, factor);
    QFETCH(int, threads);
    const Problem g = make_problem(nx, ny, nz, factor);
    const field2D observed = random_field(ny, nx, 7u + nx);
    const field2D padded_obs = pad(observed, g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);

    std::vector<double> w;
    for (int k = 0; k < nz; ++k)
        w.push_back(0.3 + 0.7 * k);
    w[nz - 1] = 0.0; // a level with weight 0 stays where it is

    vector3D re(nz, vector2D(g.My, std::vector<float>(g.half(), 0.0f))), im = re;
    field2D work_re(g.My, std::vector<double>(g.Mx)), work_im = work_re;
    inversion_inner_step(g.op, re, im, obs_re, obs_im, w, work_re, work_im, threads);
    model_levels(re, im, g.Mx);

    // Residual of the zero model: predicted 0 minus observed, mean-free.
    field2D residual = padded_obs;
    const double m = mean(padded_obs);
    for (auto& r : residual)
        for (double& v : r)
            v = -(v - m);
    for (int k = 0; k < nz; ++k) {
        const field2D K = offset_kernel(g, k);
        const field2D at_r = apply_operator(g, K, residual, true);
        double scale = 0;
        for (const auto& r : at_r)
            for (double v : r)
                scale = std::max(scale, std::abs(v * w[k]));
        for (int j = 0; j < g.My; ++j)
            for (int i = 0; i < g.Mx; ++i) {
                const double expected = -w[k] * at_r[j][i];
                const double got = re[k][j][i];
                if (w[k] == 0.0)
                    QCOMPARE(got, 0.0);
                else if (std::abs(got - expected) > 2e-5 * scale)
                    QFAIL(qPrintable(QString("level %1 cell (%2,%3): %4 vs %5").arg(k).arg(j).arg(i).arg(got).arg(expected)));
                // The model stays real.
                QVERIFY(std::abs(im[k][j][i]) <= 2e-5 * std::max(scale, 1e-30));
            }
        if (w[k] != 0.0)
            QVERIFY(scale > 0);
    }
}

void TestInversion::innerStepIgnoresFieldMean()
{
    // The residual is made mean-free: neither a constant added to the
    // observed field nor the constant field of a uniform starting model moves
    // the model, so steps from a uniform model equal that model plus the
    // steps from zero, whatever the observed field's mean.
    const Problem g = make_problem(5, 4, 2, 0.5);
    const field2D observed = random_field(4, 5, 3u);
    vector3D results[2];
    for (int pass = 0; pass < 2; ++pass) {
        field2D obs = observed;
        const float start = pass == 0 ? 0.0f : 0.2f;
        if (pass == 1)
            for (auto& r : obs)
                for (double& v : r)
                    v += 40.0;
        field2D obs_re, obs_im;
        mean_free_spectrum(pad(obs, g), obs_re, obs_im);
        vector3D re, im;
        model_spectra(vector3D(2, vector2D(g.My, std::vector<float>(g.Mx, start))), re, im);
        field2D wr(g.My, std::vector<double>(g.Mx)), wi = wr;
        for (int s = 0; s < 3; ++s)
            inversion_inner_step(g.op, re, im, obs_re, obs_im, {0.01, 0.02}, wr, wi, 1);
        model_levels(re, im, g.Mx);
        results[pass] = re;
    }
    double scale = 0;
    for (const auto& l : results[0])
        for (const auto& r : l)
            for (float v : r)
                scale = std::max(scale, double(std::abs(v)));
    QVERIFY(scale > 0);
    for (size_t k = 0; k < results[0].size(); ++k)
        for (size_t j = 0; j < results[0][k].size(); ++j)
            for (size_t i = 0; i < results[0][k][j].size(); ++i)
                QVERIFY2(std::abs(results[0][k][j][i] + 0.2 - results[1][k][j][i]) <= 1e-4 * (scale + 0.2),
                         qPrintable(QString("%1 %2 %3: %4 %5").arg(k).arg(j).arg(i)
                                        .arg(results[0][k][j][i]).arg(results[1][k][j][i])));
}

void TestInversion::halfSpectra_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("16x8") << 16 << 8;
    QTest::newRow("4x32") << 4 << 32;
    QTest::newRow("one row") << 1 << 8;
    QTest::newRow("one column") << 8 << 1;
}

void TestInversion::halfSpectra()
{
    // The half spectrum of a level is the first Mx/2 + 1 columns of its
    // fft_2d; brought back, it gives the level again to float rounding,
    // whatever the thread count.
    QFETCH(int, rows);
    QFETCH(int, cols);
    vector3D levels;
    for (int k = 0; k < 3; ++k) {
        const field2D f = random_field(rows, cols, 60u + k);
        vector2D level(rows, std::vector<float>(cols));
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i)
                level[j][i] = float(f[j][i]);
        levels.push_back(level);
    }
    vector3D expected_re, expected_im;
    model_spectra(levels, expected_re, expected_im);
    QCOMPARE(half_spectrum_columns(cols), int(expected_re[0][0].size()));

    vector3D one_re = levels, one_im;
    model_to_half_spectra(one_re, one_im, 1);
    QVERIFY(bit_identical(one_re, expected_re));
    QVERIFY(bit_identical(one_im, expected_im));
    vector3D three_re = levels, three_im;
    model_to_half_spectra(three_re, three_im, 3);
    QVERIFY(bit_identical(three_re, one_re));
    QVERIFY(bit_identical(three_im, one_im));

    vector3D back_re = one_re, back_im = one_im;
    model_levels(back_re, back_im, cols);
    vector3D with_re = one_re, with_im = one_im;
    model_from_half_spectra(with_re, with_im, cols, 2, true);
    QVERIFY(bit_identical(with_re, back_re));
    QVERIFY(bit_identical(with_im, back_im));
    model_from_half_spectra(one_re, one_im, cols, 1);
    model_from_half_spectra(three_re, three_im, cols, 3);
    QVERIFY(bit_identical(one_re, back_re));
    QVERIFY(bit_identical(three_re, one_re));
    for (int k = 0; k < 3; ++k) {
        QVERIFY(one_im[k].empty());
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i)
                QVERIFY(std::abs(one_re[k][j][i] - levels[k][j][i]) <= 1e-5f * 5);
    }
}

void TestInversion::innerStepMatchesMisfitSpectrum_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("threads");
    QTest::newRow("9x7, padded") << 9 << 7 << 0.5 << 2;
    QTest::newRow("one row") << 5 << 1 << 0.0 << 1;
    QTest::newRow("one column") << 1 << 6 << 0.0 << 3;
}

void TestInversion::innerStepMatchesMisfitSpectrum()
{
    // The step made wavenumber by wavenumber against the step through the
    // space domain: the misfit spectrum of the full grids, then every level
    // moved by it. The starting model is random, so that the columns that
    // are their own mirrors (0 and Mx/2) are not exactly Hermitian in
    // float, and a level at weight 0 keeps its spectrum.
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(double, factor);
    QFETCH(int, threads);
    const int nz = 3;
    const Problem g = make_problem(nx, ny, nz, factor);
    field2D obs_re, obs_im;
    mean_free_spectrum(pad(random_field(ny, nx, 31u), g), obs_re, obs_im);
    vector3D start;
    for (int k = 0; k < nz; ++k) {
        vector2D level(g.My, std::vector<float>(g.Mx));
        const field2D f = random_field(g.My, g.Mx, 40u + k, -0.5, 0.5);
        for (int j = 0; j < g.My; ++j)
            for (int i = 0; i < g.Mx; ++i)
                level[j][i] = float(f[j][i]);
        start.push_back(level);
    }
    vector3D a_re, a_im;
    model_spectra(start, a_re, a_im);
    const vector3D start_re = a_re;
    vector3D b_re = a_re, b_im = a_im;
    const std::vector<double> w = {2e-3, 0.0, 5e-3};

    field2D wr(g.My, std::vector<double>(g.Mx)), wi = wr;
    inversion_inner_step(g.op, a_re, a_im, obs_re, obs_im, w, wr, wi, threads);
    field2D d_re(g.My, std::vector<double>(g.Mx)), d_im = d_re;
    misfit_spectrum(g.op, b_re, b_im, obs_re, obs_im, d_re, d_im, 1);
    parallel_update_model(g.op, b_re, b_im, d_re, d_im, w, 1);

    QVERIFY(bit_identical(a_re[1], b_re[1]));
    QVERIFY(bit_identical(a_im[1], b_im[1]));
    double scale = 0, worst = 0, moved = 0;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < g.My; ++j)
            for (int i = 0; i < g.half(); ++i) {
                scale = std::max({scale, double(std::abs(b_re[k][j][i])), double(std::abs(b_im[k][j][i]))});
                worst = std::max({worst, double(std::abs(a_re[k][j][i] - b_re[k][j][i])),
                                  double(std::abs(a_im[k][j][i] - b_im[k][j][i]))});
                moved = std::max(moved, double(std::abs(b_re[k][j][i] - start_re[k][j][i])));
            }
    // Float rounding only.
    QVERIFY(moved > 1e-3 * scale);
    QVERIFY2(worst <= 1e-6 * scale, qPrintable(QString("%1 of %2 (moved %3)").arg(worst).arg(scale).arg(moved)));
}

void TestInversion::iterationProgressAndStop()
{
    const Problem g = make_problem(4, 4, 2, 0);
    field2D obs_re, obs_im;
    mean_free_spectrum(pad(random_field(4, 4, 1u), g), obs_re, obs_im);
    vector3D re(2, vector2D(g.My, std::vector<float>(g.half(), 0.0f))), im = re;
    field2D wr(g.My, std::vector<double>(g.Mx)), wi = wr;
    QStringList texts;
    QList<int> bars;
    int calls = 0;
    RunControl control;
    control.progress = [&](const QString& t) { texts << t; };
    control.percent = [&](int p) { bars << p; };
    QCOMPARE(run_inversion_iteration(control, g.op, re, im, obs_re, obs_im, {1e-3, 1e-3}, wr, wi, 1, 2, 5), 20);
    QCOMPARE(texts.size(), 20);
    QCOMPARE(texts.first(), QString("Iter 3 - 0 %"));
    QCOMPARE(texts.last(), QString("Iter 3 - 95 %"));
    QCOMPARE(bars.first(), 40);
    // A stop ends the iteration after the step in progress.
    control.running = [&] { return ++calls < 4; };
    QCOMPARE(run_inversion_iteration(control, g.op, re, im, obs_re, obs_im, {1e-3, 1e-3}, wr, wi, 1, 0, 1), 4);
}

void TestInversion::iterationEqualsInnerSteps_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("zeroWeight");
    QTest::newRow("1 thread") << 1 << false;
    QTest::newRow("3 threads, a level at weight 0") << 3 << true;
}

void TestInversion::iterationEqualsInnerSteps()
{
    // The iteration shares each step's predicted spectrum with the next
    // step; the model must be that of twenty separate steps, to the bit.
    QFETCH(int, threads);
    QFETCH(bool, zeroWeight);
    const Problem g = make_problem(9, 7, 4, 0.5);
    field2D obs_re, obs_im;
    mean_free_spectrum(pad(random_field(7, 9, 21u), g), obs_re, obs_im);
    vector3D start_re, start_im;
    vector3D start(4, vector2D(g.My, std::vector<float>(g.Mx, 0.0f)));
    start[2][5][6] = 0.7f;
    model_spectra(start, start_re, start_im);
    std::vector<double> w = depth_level_weights(4, 1, 0.3);
    if (zeroWeight)
        w[1] = 0.0;
    vector3D a_re = start_re, a_im = start_im, b_re = start_re, b_im = start_im;
    field2D wr(g.My, std::vector<double>(g.Mx)), wi = wr;
    for (int s = 0; s < inner_steps_per_iteration; ++s)
        inversion_inner_step(g.op, a_re, a_im, obs_re, obs_im, w, wr, wi, threads);
    QCOMPARE(run_inversion_iteration(RunControl(), g.op, b_re, b_im, obs_re, obs_im, w, wr, wi, threads, 0, 1),
             inner_steps_per_iteration);
    QVERIFY(bit_identical(a_re, b_re));
    QVERIFY(bit_identical(a_im, b_im));
    QVERIFY(!bit_identical(a_re, start_re));
    if (zeroWeight)
        QVERIFY(bit_identical({b_re[1]}, {start_re[1]}));
}

void TestInversion::decadeSearchMatchesTrialEnergies_data()
{
    QTest::addColumn<double>("startScale");
    // Weights far below the working decade search upwards, far above it downwards.
    QTest::newRow("upwards") << 1e-6;
    QTest::newRow("downwards") << 1e4;
    QTest::newRow("from the run's start") << 1.0;
}

void TestInversion::decadeSearchMatchesTrialEnergies()
{
    QFETCH(double, startScale);
    const Problem g = make_problem(6, 6, 3, 0.5);
    // A field made by a model, so that it can be fitted.
    vector3D truth(3, vector2D(6, std::vector<float>(6, 0.0f)));
    truth[1][2][3] = 0.5f;
    truth[2][3][2] = -0.3f;
    const field2D observed = forward_field(g, truth);
    const field2D padded_obs = pad(observed, g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> start = depth_level_weights(3, 1, 0.01 * startScale);

    // Independent reference: the energy of one trial at every decade.
    double S = 0;
    for (const auto& r : padded_obs)
        for (double v : r)
            S += v * v;
    auto energy = [&](double f) {
        std::vector<double> w = start;
        for (double& x : w)
            x *= f;
        vector3D re(3, vector2D(g.My, std::vector<float>(g.half(), 0.0f))), im = re;
        return run_fit_iterations(RunControl(), re, im, padded_obs, obs_re, obs_im, g.op, w, 1, 1);
    };
    double expected;
    int expected_trials = 1;
    const double v1 = energy(1);
    if (v1 < S) {
        int k = 0;
        while (energy(std::pow(10.0, k + 1)) < S)
            ++k;
        expected_trials = k + 2;
        expected = std::pow(10.0, k + 1) * 0.05;
    } else {
        int k = 1;
        while (!(energy(std::pow(10.0, -k)) <= S))
            ++k;
        expected_trials = k + 1;
        expected = std::pow(10.0, -k) * 0.5;
    }

    std::vector<double> w = start;
    const AlphaFit fit = fit_alpha_decades(RunControl(), 3, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1);
    QCOMPARE(int(fit.status), int(AlphaFitStatus::Fitted));
    QVERIFY2(std::abs(fit.factor / expected - 1) < 1e-9,
             qPrintable(QString("%1 vs %2").arg(fit.factor).arg(expected)));
    QCOMPARE(fit.trials, expected_trials);
    for (int q = 0; q < 3; ++q)
        QVERIFY(std::abs(w[q] / (start[q] * fit.factor) - 1) < 1e-9);
}

void TestInversion::decadeSearchRefusesFlatField()
{
    const Problem g = make_problem(4, 4, 2, 0);
    const field2D padded_obs(g.My, std::vector<double>(g.Mx, 3.25));
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> w = depth_level_weights(2, 1);
    const std::vector<double> before = w;
    int steps = 0;
    RunControl control;
    control.progress = [&](const QString&) { ++steps; };
    const AlphaFit fit = fit_alpha_decades(control, 2, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1);
    QCOMPARE(int(fit.status), int(AlphaFitStatus::NoVariation));
    QCOMPARE(fit.trials, 0);
    QCOMPARE(steps, 0);
    QCOMPARE(w, before);
}

void TestInversion::decadeSearchBoundsNonFiniteTrials()
{
    Problem g = make_problem(4, 4, 2, 0);
    g.op.quarter_row(1, 0)[0] = std::numeric_limits<float>::quiet_NaN();
    const field2D padded_obs = pad(random_field(4, 4, 5u), g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> w = depth_level_weights(2, 1);
    const std::vector<double> before = w;
    const AlphaFit fit =
        fit_alpha_decades(RunControl(), 2, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1, 8);
    QCOMPARE(int(fit.status), int(AlphaFitStatus::NonFinite));
    QCOMPARE(fit.trials, 8);
    QCOMPARE(w, before);
}

void TestInversion::decadeSearchBoundsTrials()
{
    // An operator of zeros never moves the trial: its energy (the observed
    // field's spread) stays below S, so the search would climb forever.
    Problem g = make_problem(4, 4, 2, 0);
    for (auto& l : g.op.quarter)
        std::fill(l.begin(), l.end(), 0.0f);
    const field2D padded_obs = pad(random_field(4, 4, 9u, 1, 6), g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> w = depth_level_weights(2, 1);
    const std::vector<double> before = w;
    const AlphaFit fit =
        fit_alpha_decades(RunControl(), 2, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1, 6);
    QCOMPARE(int(fit.status), int(AlphaFitStatus::NoDecade));
    QCOMPARE(fit.trials, 6);
    QCOMPARE(w, before);
    // The default limit holds too, and the factor never became infinite.
    const AlphaFit unbounded =
        fit_alpha_decades(RunControl(), 2, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1);
    QCOMPARE(int(unbounded.status), int(AlphaFitStatus::NoDecade));
    QCOMPARE(unbounded.trials, alpha_fit_max_trials);
    QVERIFY(std::isfinite(unbounded.factor));
}

void TestInversion::decadeSearchStops()
{
    const Problem g = make_problem(4, 4, 2, 0);
    const field2D padded_obs = pad(random_field(4, 4, 5u), g);
    field2D obs_re, obs_im;
    mean_free_spectrum(padded_obs, obs_re, obs_im);
    std::vector<double> w = depth_level_weights(2, 1, 1e-9);
    const std::vector<double> before = w;
    int steps = 0;
    RunControl control;
    control.progress = [&](const QString& t) {
        ++steps;
        QVERIFY(t.startsWith("Fit alpha step 1 - "));
    };
    control.running = [&] { return steps < 3; };
    const AlphaFit fit = fit_alpha_decades(control, 2, g.My, g.Mx, padded_obs, obs_re, obs_im, g.op, w, 1);
    QCOMPARE(int(fit.status), int(AlphaFitStatus::Stopped));
    QCOMPARE(fit.trials, 1);
    QCOMPARE(steps, 3);
    QCOMPARE(w, before);
}

void TestInversion::syntheticRecovery()
{
    const Problem g = make_problem(10, 8, 4, 0.5);
    vector3D truth(4, vector2D(8, std::vector<float>(10, 0.0f)));
    for (int j = 2; j < 5; ++j)
        for (int i = 3; i < 7; ++i)
            truth[1][j][i] = 0.3f;
    truth[3][5][6] = -0.4f;
    const field2D observed = forward_field(g, truth);
    const Inverted r = invert(g, observed, 6, 1);
    QCOMPARE(int(r.fit.status), int(AlphaFitStatus::Fitted));
    for (size_t i = 1; i < r.misfits.size(); ++i)
        QVERIFY2(r.misfits[i] < r.misfits[i - 1],
                 qPrintable(QString("iteration %1: %2 after %3").arg(i).arg(r.misfits[i]).arg(r.misfits[i - 1])));
    QVERIFY2(r.misfits.back() < 0.05 * r.misfits.front(),
             qPrintable(QString("%1 of %2").arg(r.misfits.back()).arg(r.misfits.front())));
    // The recovered model's own field fits the data as well as the spectra said.
    vector3D model(4, vector2D(8, std::vector<float>(10)));
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 8; ++j)
            for (int i = 0; i < 10; ++i)
                model[k][j][i] = r.model_re[k][g.py + j][g.px + i];
    const field2D f = forward_field(g, model);
    double mo = 0, mf = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 10; ++i) {
            mo += observed[j][i];
            mf += f[j][i];
        }
    double s = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 10; ++i) {
            const double d = (f[j][i] - mf / 80) - (observed[j][i] - mo / 80);
            s += d * d;
        }
    QVERIFY(std::sqrt(s / 80) < 0.1 * r.misfits.front());
}

void TestInversion::resultsDoNotDependOnThreads()
{
    const Problem g = make_problem(9, 7, 5, 0.5);
    const field2D observed = random_field(7, 9, 11u);
    const Inverted one = invert(g, observed, 2, 1);
    for (int threads : {2, 3, 8}) {
        const Inverted many = invert(g, observed, 2, threads);
        QCOMPARE(many.fit.factor, one.fit.factor);
        QCOMPARE(many.misfits, one.misfits);
        QVERIFY2(bit_identical(many.model_re, one.model_re), qPrintable(QString::number(threads)));
    }
}

QTEST_GUILESS_MAIN(TestInversion)
#include "tst_inversion.moc"
