// The numerical core of horizon fitting: the run's scales, the residual,
// the proposed depths against the closed-form step, the acceptance between
// the neighbouring horizons, and passes on a synthetic model that move a
// displaced horizon back towards the true one.
#include "editing/layers.h"
#include "engine/field_stats.h"
#include "engine/horizon_fit.h"
#include "tst_layered_support.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace layeredtest;

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf_value = std::numeric_limits<double>::infinity();

// A horizon displaced from the true one by a smooth bump.
field2D displaced(const field2D& h, double amplitude)
{
    field2D out = h;
    const double cy = (h.size() - 1) / 2.0, cx = (h[0].size() - 1) / 2.0;
    for (std::size_t j = 0; j < h.size(); ++j)
        for (std::size_t i = 0; i < h[j].size(); ++i) {
            const double r2 = ((j - cy) * (j - cy) + (i - cx) * (i - cx)) / 9.0;
            out[j][i] += amplitude * std::exp(-r2);
        }
    return out;
}

}  // namespace

class TestHorizonFit : public QObject
{
    Q_OBJECT

private slots:
    void scalesOfARun();
    void residualIsMeanFree();
    void proposedStepIsTheClosedForm_data();
    void proposedStepIsTheClosedForm();
    void noFiniteStepWithoutRangeOrContrast();
    void acceptanceKeepsTheHorizonBetweenItsNeighbours_data();
    void acceptanceKeepsTheHorizonBetweenItsNeighbours();
    void passesMoveADisplacedHorizonBack_data();
    void passesMoveADisplacedHorizonBack();
};

void TestHorizonFit::scalesOfARun()
{
    const field2D observed{{-3, 1, 2}, {5, 0, 4}};
    const vector2D top{{2.0f, 2.0f, 2.5f}};
    const vector2D bottom{{2.2f, 1.5f, 2.6f}};
    const HorizonFitScales s = horizon_fit_scales(observed, top, bottom, 2.0);
    QCOMPARE(s.range, 8.0);
    QCOMPARE(float(s.contrast), 0.5f);  // |2.0 - 1.5| is the largest contrast
    QCOMPARE(s.gain, 8.0 * 2.0 / 0.0419 / 5.0);
    // Density maps of different shapes give no contrast.
    const HorizonFitScales bad = horizon_fit_scales(observed, top, vector2D{{2.2f, 1.5f}}, 2.0);
    QCOMPARE(bad.contrast, 0.0);
}

void TestHorizonFit::residualIsMeanFree()
{
    const field2D calculated{{1, 2, 3}, {4, 5, 6}};
    const field2D observed{{0, 0, 0}, {0, 0, 6}};
    field2D r;
    QVERIFY(horizon_fit_residual(calculated, observed, r));
    // calculated - observed = {1,2,3},{4,5,0}, mean 2.5.
    const field2D expected{{-1.5, -0.5, 0.5}, {1.5, 2.5, -2.5}};
    QCOMPARE(r, expected);
    field2D untouched{{9}};
    QVERIFY(!horizon_fit_residual(calculated, field2D{{1, 2, 3}}, untouched));
    QVERIFY(!horizon_fit_residual(calculated, field2D{{1, 2, 3}, {4, 5}}, untouched));
    QCOMPARE(untouched, field2D{{9}});
}

void TestHorizonFit::proposedStepIsTheClosedForm_data()
{
    QTest::addColumn<double>("residual");
    QTest::addColumn<float>("top");
    QTest::addColumn<float>("bottom");
    QTest::addColumn<double>("step_scale");
    // A positive residual over a denser lower layer moves the surface down.
    QTest::newRow("denser below, positive residual") << 1.2 << 2.0f << 2.5f << 1.0;
    QTest::newRow("denser below, negative residual") << -0.7 << 2.0f << 2.5f << 1.0;
    QTest::newRow("lighter below") << 1.2 << 2.6f << 2.3f << 0.5;
    QTest::newRow("no contrast at the node") << 3.0 << 2.4f << 2.4f << 1.0;
    QTest::newRow("zero residual") << 0.0 << 2.0f << 2.5f << 3.0;
}

void TestHorizonFit::proposedStepIsTheClosedForm()
{
    QFETCH(double, residual);
    QFETCH(float, top);
    QFETCH(float, bottom);
    QFETCH(double, step_scale);
    const field2D horizon{{100, 250}};
    const field2D r{{residual, 0.0}};
    // The second node carries the largest contrast of the horizon.
    const vector2D t{{top, 2.0f}}, b{{bottom, 2.8f}};
    const field2D observed{{-1.0, 4.0}};
    const HorizonFitScales s = horizon_fit_scales(observed, t, b, step_scale);
    field2D proposed;
    propose_horizon_depths(horizon, r, t, b, s, proposed);
    const double M = double(2.8f - 2.0f);
    const double step = residual * step_scale * double(top - bottom) / (0.0419 * 5 * M);
    QVERIFY2(std::abs(proposed[0][0] - (100 - step)) < 1e-9,
             qPrintable(QString("%1 vs %2").arg(proposed[0][0], 0, 'g', 17).arg(100 - step, 0, 'g', 17)));
    QCOMPARE(proposed[0][1], 250.0);
    if (residual > 0 && bottom > top)
        QVERIFY(proposed[0][0] > 100);
    if (residual > 0 && bottom < top)
        QVERIFY(proposed[0][0] < 100);
}

void TestHorizonFit::noFiniteStepWithoutRangeOrContrast()
{
    const field2D horizon{{100, 250}};
    const field2D r{{1.0, -1.0}};
    field2D proposed;
    // A flat observed field.
    const vector2D t{{2.0f, 2.0f}}, b{{2.5f, 2.5f}};
    propose_horizon_depths(horizon, r, t, b, horizon_fit_scales(field2D{{3, 3}}, t, b, 1), proposed);
    QVERIFY(!std::isfinite(proposed[0][0]) && !std::isfinite(proposed[0][1]));
    // No contrast anywhere along the horizon.
    propose_horizon_depths(horizon, r, t, t, horizon_fit_scales(field2D{{1, 3}}, t, t, 1), proposed);
    QVERIFY(!std::isfinite(proposed[0][0]) && !std::isfinite(proposed[0][1]));
    // Such depths are never taken.
    field2D accepted;
    QCOMPARE(accept_horizon_depths(horizon, proposed, field2D{{0, 0}}, nullptr, accepted), 0);
    QCOMPARE(accepted, horizon);
}

void TestHorizonFit::acceptanceKeepsTheHorizonBetweenItsNeighbours_data()
{
    QTest::addColumn<double>("proposed");
    QTest::addColumn<bool>("with_below");
    QTest::addColumn<double>("expected");
    // Horizon at 200, the one above at 100, the one below at 300.
    QTest::newRow("inside") << 230.0 << true << 230.0;
    QTest::newRow("up to the horizon above") << 100.0 << true << 100.0;
    QTest::newRow("above the horizon above") << 99.0 << true << 200.0;
    QTest::newRow("down to the horizon below") << 300.0 << true << 300.0;
    QTest::newRow("below the horizon below") << 301.0 << true << 200.0;
    QTest::newRow("below, last horizon") << 450.0 << false << 450.0;
    QTest::newRow("not a number") << nan_value << true << 200.0;
    QTest::newRow("infinitely deep, last horizon") << inf_value << false << 200.0;
    QTest::newRow("infinitely high") << -inf_value << true << 200.0;
}

void TestHorizonFit::acceptanceKeepsTheHorizonBetweenItsNeighbours()
{
    QFETCH(double, proposed);
    QFETCH(bool, with_below);
    QFETCH(double, expected);
    const field2D horizon{{200, 200}}, above{{100, 100}}, below{{300, 300}};
    const field2D p{{proposed, 210}};
    field2D accepted;
    const int moved = accept_horizon_depths(horizon, p, above, with_below ? &below : nullptr, accepted);
    QCOMPARE(accepted[0][0], expected);
    QCOMPARE(accepted[0][1], 210.0);
    QCOMPARE(moved, expected == 200.0 ? 1 : 2);
}

void TestHorizonFit::passesMoveADisplacedHorizonBack_data()
{
    QTest::addColumn<double>("bump");
    QTest::newRow("horizon raised") << -90.0;
    QTest::newRow("horizon lowered") << 90.0;
}

// The fit's loop on a two-layer model: the field of the grid, the proposed
// and accepted depths, the grid refilled along the accepted surface.
void TestHorizonFit::passesMoveADisplacedHorizonBack()
{
    QFETCH(double, bump);
    const Model m = make_model(2, 16, 12, 24, 25);
    const std::vector<double> densities{2.0, 2.6};
    const field2D observed = field_of(m, layered_grid(m, m.horizons, densities));

    std::vector<field2D> horizons = m.horizons;
    horizons[1] = displaced(m.horizons[1], bump);
    vector3D grid = layered_grid(m, horizons, densities);
    vector2D top, bottom;
    QCOMPARE(layers::sample_around_horizon(grid, m.z, horizons, 1, top, bottom), layers::SampleStatus::Ok);
    const HorizonFitScales scales = horizon_fit_scales(observed, top, bottom, 4.0);

    const double depth_error_start = rms_difference(horizons[1], m.horizons[1]);
    const double misfit_start = field_misfit(observed, field_of(m, grid)).rms;
    double misfit = misfit_start;
    field2D residual, proposed, accepted;
    for (int pass = 0; pass < 15; ++pass) {
        const field2D field = field_of(m, grid);
        QVERIFY(horizon_fit_residual(field, observed, residual));
        propose_horizon_depths(horizons[1], residual, top, bottom, scales, proposed);
        accept_horizon_depths(horizons[1], proposed, horizons[0], nullptr, accepted);
        QVERIFY(layers::fill_after_horizon_change(grid, m.z, top, bottom, horizons[1], accepted));
        horizons[1] = accepted;
        // The grid always follows the horizon.
        QCOMPARE(grid, layered_grid(m, horizons, densities));
        misfit = field_misfit(observed, field_of(m, grid)).rms;
    }
    const double depth_error = rms_difference(horizons[1], m.horizons[1]);
    QVERIFY2(misfit < 0.3 * misfit_start, qPrintable(QString("misfit %1 -> %2").arg(misfit_start).arg(misfit)));
    QVERIFY2(depth_error < 0.65 * depth_error_start,
             qPrintable(QString("depth error %1 -> %2").arg(depth_error_start).arg(depth_error)));
    // Where the displacement was largest the horizon has come most of the way back.
    const int cj = (m.ny - 1) / 2, ci = (m.nx - 1) / 2;
    const double centre_error = std::abs(horizons[1][cj][ci] - m.horizons[1][cj][ci]);
    QVERIFY2(centre_error < 0.4 * std::abs(bump), qPrintable(QString("centre error %1").arg(centre_error)));
}

QTEST_APPLESS_MAIN(TestHorizonFit)
#include "tst_horizon_fit.moc"
