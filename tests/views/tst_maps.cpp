// The observed and calculated maps on the main window, offscreen: what each
// kind shows, colour ranges and labels, overlays, range synchronisation,
// equal scales, node picking, the context menu and the keys.
#include <QtTest>

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"

namespace {

// 3 rows (y 0, 100, 200) by 4 columns (x 0, 100, 200, 300).
const std::vector<double> kGeometry = {4, 3, 0, 300, 0, 200};

field2D make(std::function<double(int, int)> f, int rows = 3, int cols = 4)
{
    field2D g(rows, std::vector<double>(cols));
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            g[i][j] = f(i, j);
    return g;
}

double gmin(const field2D& g)
{
    double m = g[0][0];
    for (const auto& r : g)
        for (double v : r)
            m = std::min(m, v);
    return m;
}
double gmax(const field2D& g)
{
    double m = g[0][0];
    for (const auto& r : g)
        for (double v : r)
            m = std::max(m, v);
    return m;
}
double gmean(const field2D& g)
{
    double s = 0;
    for (const auto& r : g)
        for (double v : r)
            s += v;
    return s / (g.size() * g[0].size());
}

// Observed and calculated fields, three horizons (0; 100 + 10 x; 300 + 20 y)
// and a density grid of five levels 0 .. 400 m, level k holding 2 + 0.1 k.
void giveModel(MainWindow& w)
{
    w.Vz_observed = make([](int i, int j) { return 10 + i + 0.5 * j; });
    w.observed_params = kGeometry;
    w.Vz_calculated = make([](int i, int j) { return 2.0 * i - j; });
    w.calculated_params = kGeometry;
    w.horizons = {make([](int, int) { return 0.0; }), make([](int, int j) { return 100.0 + 10 * j; }),
                  make([](int i, int) { return 300.0 + 20 * i; })};
    w.horizons_params = kGeometry;
    w.densities = {2.0, 2.1, 2.2};
    w.fixed = {false, false, false};
    w.layers_names = {"Sand", QString(), "Rock"};
    w.den_grid.clear();
    for (int k = 0; k < 5; ++k)
        w.den_grid.push_back(vector2D(3, std::vector<data_type>(4, data_type(2.0 + 0.1 * k))));
    w.x_calc = {0, 100, 200, 300};
    w.y_calc = {0, 100, 200};
    w.z_calc = {0, 100, 200, 300, 400};
}

QCPColorMap* colorMap(QCustomPlot* plot)
{
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* map = qobject_cast<QCPColorMap*>(plot->plottable(i)))
            return map;
    return nullptr;
}

int curveCount(QCustomPlot* plot)
{
    int n = 0;
    for (int i = 0; i < plot->plottableCount(); ++i)
        n += qobject_cast<QCPCurve*>(plot->plottable(i)) ? 1 : 0;
    return n;
}

bool mapShown(QCustomPlot* plot, QCPColorScale* scale)
{
    return plot->axisRect()->visible() && scale->visible();
}

// Cell values of the map's colour map as a grid [row][column].
field2D cells(QCPColorMap* map)
{
    field2D g(map->data()->valueSize(), std::vector<double>(map->data()->keySize()));
    for (int i = 0; i < map->data()->valueSize(); ++i)
        for (int j = 0; j < map->data()->keySize(); ++j)
            g[i][j] = map->data()->cell(j, i);
    return g;
}

bool near(double a, double b, double tol = 1e-9) { return std::abs(a - b) <= tol * std::max(1.0, std::abs(b)); }

QMenu* openMenu(MainWindow& w)
{
    for (QMenu* m : w.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        if (m->testAttribute(Qt::WA_DeleteOnClose) && m->isVisible())
            return m;
    return nullptr;
}

QAction* findAction(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void closeMenu(QMenu* menu)
{
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class TestMaps : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    void kinds_data();
    void kinds();
    void calculatedFieldIsShiftedToObservedMean();
    void missingLayerFallsBackToCalculatedField();
    void layerMapWithoutHorizonsIsHidden();
    void residualOfDifferentSizesIsNotDrawn();
    void misfitIsRefreshedOnEveryDraw();
    void constantFieldRangeIsWidened();
    void colourRangeChoices();
    void observedMap();
    void overlays();
    void windowLimitsKeepNodePositions();
    void rangesStayInStep();
    void equalScales();
    void equalScalesOff();
    void pickOnMap();
    void pickFromViewAndBrushParameters();
    void contextMenu();
    void contextMenuLayerNames();
    void contextMenuColourScale();
    void escapeAsksToAbort();
    void arrowKeysNeedHorizonEditing();
    void mapsAxesAndDock();

private:
    FakeInteraction fake;
};

// ---------------------------------------------------------------------------
// What each kind shows

void TestMaps::kinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("language");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QString>("label");

    // Calculated field: with an observed field it takes the observed range
    // (10 .. 13.5) by default.
    QTest::newRow("calculated, en") << 1 << 1 << 1 << 10.0 << 13.5 << "Δg calculated, mGal";
    QTest::newRow("calculated, ru") << 1 << 1 << 0 << 10.0 << 13.5 << "Δg рассчитанное, мГал";
    // Residual: obs - calc = 10 - i + 1.5 j, less its mean (9 + 2.25 = 11.25 - ...).
    QTest::newRow("residual, en") << 1 << 2 << 1 << -3.25 << 3.25 << "Δg obs - Δg calc, mGal";
    QTest::newRow("residual, ru") << 1 << 2 << 0 << -3.25 << 3.25 << "Остаточное поле, мГал";
    // Density at the top of layer 0 (depth 0): level 0 everywhere, 2.0.
    QTest::newRow("top density") << 2 << 0 << 1 << 2.0 - 0.001 << 2.0 + 0.001 << "σ Sand , g/cm3";
    QTest::newRow("top density, ru") << 2 << 0 << 0 << 2.0 - 0.001 << 2.0 + 0.001 << "σ Sand , г/см3";
    // Top depth of layer 1: 100 .. 130; the unnamed layer has an empty name.
    QTest::newRow("top depth") << 4 << 1 << 1 << 100.0 << 130.0 << "z  , m";
    QTest::newRow("top depth, ru") << 4 << 1 << 0 << 100.0 << 130.0 << "z  , м";
    // Thickness of layer 1: (300 + 20 i) - (100 + 10 j): 170 .. 240.
    QTest::newRow("thickness") << 5 << 1 << 1 << 170.0 << 240.0 << "h  , m";
    // Last layer down to the grid's bottom 400: 400 - (300 + 20 i): 60 .. 100.
    QTest::newRow("thickness, last") << 5 << 2 << 0 << 60.0 << 100.0 << "h Rock , м";
    // Central and mean densities come from the layer-map operations; their
    // ranges are checked against those below.
    QTest::newRow("central density") << 3 << 1 << 1 << qQNaN() << qQNaN() << "σ  , g/cm3";
    QTest::newRow("mean density") << 6 << 2 << 0 << qQNaN() << qQNaN() << "σ Rock , г/см3";
}

void TestMaps::kinds()
{
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(int, language);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QString, label);

    MainWindow w;
    giveModel(w);
    w.language = language;
    w.visible_data = {kind, index};
    w.plotCalculated();

    QCustomPlot* plot = w.ui->calculated_axes;
    QVERIFY(mapShown(plot, w.calculated_scale));
    QCPColorMap* map = colorMap(plot);
    QVERIFY(map);
    QCOMPARE(map->data()->keySize(), 4);
    QCOMPARE(map->data()->valueSize(), 3);
    QCOMPARE(map->data()->keyRange(), QCPRange(0, 300));
    QCOMPARE(map->data()->valueRange(), QCPRange(0, 200));
    QCOMPARE(w.calculated_scale->axis()->label(), label);
    QCOMPARE(plot->xAxis->label(), QString(language ? "X, m" : "X, м"));
    QCOMPARE(plot->yAxis->label(), QString(language ? "Y, m" : "Y, м"));
    QCOMPARE(w.calculated_map_params, kGeometry);
    QCOMPARE(w.visible_data, std::make_pair(kind, index));

    if (std::isnan(lower)) {
        const field2D expected =
            kind == 3 ? w.extract_layer_central_density(index) : w.getVerticalAvgDensity(index);
        QCOMPARE(cells(map).size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            for (std::size_t j = 0; j < expected[i].size(); ++j)
                QVERIFY(near(cells(map)[i][j], expected[i][j]));
        lower = gmin(expected);
        upper = gmax(expected);
        if (lower == upper) {
            lower -= 0.001;
            upper += 0.001;
        }
    }
    QVERIFY2(near(map->dataRange().lower, lower) && near(map->dataRange().upper, upper),
             qPrintable(QString("%1 .. %2").arg(map->dataRange().lower).arg(map->dataRange().upper)));
    QVERIFY(fake.errors().isEmpty());
}

void TestMaps::calculatedFieldIsShiftedToObservedMean()
{
    MainWindow w;
    w.Vz_observed = make([](int i, int j) { return 10 + (i - 1) + (j - 1.5); });  // mean 10
    w.observed_params = kGeometry;
    w.Vz_calculated = make([](int i, int j) { return 4 + 2.0 * (i - 1) - (j - 1.5); });  // mean 4
    w.calculated_params = kGeometry;
    w.plotCalculated();
    field2D shown = cells(colorMap(w.ui->calculated_axes));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            QVERIFY(near(shown[i][j], w.Vz_calculated[i][j] + 6));

    // Without an observed field the calculated field is drawn as it is.
    w.Vz_observed.clear();
    w.plotCalculated();
    QCOMPARE(cells(colorMap(w.ui->calculated_axes)), w.Vz_calculated);

    // The residual always has mean 0.
    giveModel(w);
    w.visible_data = {1, 2};
    w.plotCalculated();
    QVERIFY(std::abs(gmean(cells(colorMap(w.ui->calculated_axes)))) < 1e-12);
}

void TestMaps::missingLayerFallsBackToCalculatedField()
{
    MainWindow w;
    giveModel(w);
    w.visible_data = {4, 3};  // three horizons: layers 0 .. 2
    w.plotCalculated();
    QCOMPARE(w.visible_data, std::make_pair(1, 1));
    QVERIFY(mapShown(w.ui->calculated_axes, w.calculated_scale));
    QCOMPARE(w.calculated_scale->axis()->label(), QString("Δg рассчитанное, мГал"));

    w.visible_data = {2, -1};
    w.plotCalculated();
    QCOMPARE(w.visible_data, std::make_pair(1, 1));
}

void TestMaps::layerMapWithoutHorizonsIsHidden()
{
    MainWindow w;
    giveModel(w);
    w.visible_data = {4, 1};
    w.plotCalculated();
    QVERIFY(mapShown(w.ui->calculated_axes, w.calculated_scale));

    // The project was cleared: no horizons and no calculated field.
    w.horizons.clear();
    w.horizons_params.clear();
    w.Vz_calculated.clear();
    w.calculated_params.clear();
    w.plotCalculated();
    QVERIFY(!w.ui->calculated_axes->axisRect()->visible());
    QVERIFY(!w.calculated_scale->visible());
    QCOMPARE(w.ui->calculated_axes->plottableCount(), 0);

    // A top-density map for which no layer map can be built is hidden too.
    giveModel(w);
    w.den_grid.clear();
    w.lateral_densities.clear();
    w.visible_data = {2, 1};
    w.plotCalculated();
    QVERIFY(!mapShown(w.ui->calculated_axes, w.calculated_scale));
    // So is a mean-density map without a density grid, and without a message.
    w.visible_data = {6, 1};
    w.plotCalculated();
    QVERIFY(!mapShown(w.ui->calculated_axes, w.calculated_scale));
    QVERIFY(fake.errors().isEmpty());
}

void TestMaps::residualOfDifferentSizesIsNotDrawn()
{
    MainWindow w;
    giveModel(w);
    w.Vz_calculated = make([](int i, int j) { return i + j; }, 3, 5);
    w.calculated_params = {5, 3, 0, 400, 0, 200};
    w.visible_data = {1, 2};
    w.plotCalculated();
    QVERIFY(!mapShown(w.ui->calculated_axes, w.calculated_scale));
    QCOMPARE(w.ui->calculated_axes->plottableCount(), 0);

    // Without a calculated field there is no residual either.
    w.Vz_calculated.clear();
    w.plotCalculated();
    QVERIFY(!mapShown(w.ui->calculated_axes, w.calculated_scale));
}

void TestMaps::misfitIsRefreshedOnEveryDraw()
{
    MainWindow w;
    giveModel(w);
    QVERIFY(w.misfit_label);
    w.language = 1;
    w.plotCalculated();
    QVERIFY2(w.misfit_label->text().contains("mGal"), qPrintable(w.misfit_label->text()));
    // Also when the map has nothing to show (a mean-density map without a grid).
    w.misfit_label->clear();
    w.den_grid.clear();
    w.visible_data = {6, 1};
    w.plotCalculated();
    QVERIFY(!mapShown(w.ui->calculated_axes, w.calculated_scale));
    QVERIFY(w.misfit_label->text().contains("mGal"));
}

void TestMaps::constantFieldRangeIsWidened()
{
    MainWindow w;
    w.Vz_observed = make([](int, int) { return 12.5; });
    w.observed_params = kGeometry;
    w.plotObserved();
    QCPColorMap* map = colorMap(w.ui->observed_axes);
    QVERIFY(map);
    QVERIFY(near(map->dataRange().lower, 12.499));
    QVERIFY(near(map->dataRange().upper, 12.501));

    // The calculated map follows the observed automatic range, widened too.
    w.Vz_calculated = make([](int i, int j) { return i * j; });
    w.calculated_params = kGeometry;
    w.plotCalculated();
    QVERIFY(near(colorMap(w.ui->calculated_axes)->dataRange().lower, 12.499));
    QVERIFY(near(colorMap(w.ui->calculated_axes)->dataRange().upper, 12.501));
}

void TestMaps::colourRangeChoices()
{
    MainWindow w;
    giveModel(w);
    w.calc_caxis = {-2, 2};
    w.plotCalculated();
    // Following the observed map wins while an observed field exists.
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(10, 13.5));
    w.observed_caxis = {5, 20};
    w.plotCalculated();
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(5, 20));

    w.calc_caxis_from_obs = false;
    w.plotCalculated();
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(-2, 2));

    // Without an observed field the stored range applies even while following.
    w.calc_caxis_from_obs = true;
    w.Vz_observed.clear();
    w.plotCalculated();
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(-2, 2));
    w.calc_caxis.clear();
    w.plotCalculated();
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(-3, 4));

    // Layer maps and the residual always use their own data range.
    giveModel(w);
    w.calc_caxis = {-2, 2};
    w.visible_data = {4, 1};
    w.plotCalculated();
    QCOMPARE(colorMap(w.ui->calculated_axes)->dataRange(), QCPRange(100, 130));
}

void TestMaps::observedMap()
{
    MainWindow w;
    w.plotObserved();
    QVERIFY(!mapShown(w.ui->observed_axes, w.observed_scale));

    giveModel(w);
    w.mapsScaleDirection = 1;
    w.language = 1;
    w.plotObserved();
    QVERIFY(mapShown(w.ui->observed_axes, w.observed_scale));
    QCPColorMap* map = colorMap(w.ui->observed_axes);
    QCOMPARE(cells(map), w.Vz_observed);
    QCOMPARE(map->dataRange(), QCPRange(10, 13.5));
    QCOMPARE(w.observed_scale->axis()->label(), QString("Δg observed, mGal"));
    QVERIFY(w.observed_scale->axis()->rangeReversed());
    QCOMPARE(w.observed_scale->dataRange(), QCPRange(10, 13.5));
    for (QCPAxis* axis : w.ui->observed_axes->axisRect()->axes())
        QVERIFY(axis->visible());

    w.observed_caxis = {0, 50};
    w.mapsScaleDirection = 0;
    w.language = 0;
    w.plotObserved();
    QCOMPARE(colorMap(w.ui->observed_axes)->dataRange(), QCPRange(0, 50));
    QCOMPARE(w.observed_scale->axis()->label(), QString("Δg наблюденное, мГал"));
    QVERIFY(!w.observed_scale->axis()->rangeReversed());
    QCOMPARE(w.ui->observed_axes->plottableCount(), 1);  // the old map is gone

    w.Vz_observed.clear();
    w.plotObserved();
    QVERIFY(!mapShown(w.ui->observed_axes, w.observed_scale));
    QCOMPARE(w.ui->observed_axes->plottableCount(), 0);
}

void TestMaps::overlays()
{
    MainWindow w;
    giveModel(w);
    w.profiles_scheme = {{0, 0, 100, 100, 200, 50}, {50, 50}, {10, 10, 20, 20}};
    w.faults.sticks = {{{QVector3D(10, 20, 5), QVector3D(11, 21, 50)}, {QVector3D(30, 40, 5)}, {QVector3D(50, 60, 5)}}};
    w.faults.names = {"F1"};
    w.ui->view_profiles->setChecked(true);
    w.ui->view_faults->setChecked(true);
    w.plotObserved();
    QCustomPlot* plot = w.ui->observed_axes;
    QCOMPARE(curveCount(plot), 3);  // two profiles (the one-point one is skipped) and one fault

    QList<QCPCurve*> curves;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* c = qobject_cast<QCPCurve*>(plot->plottable(i)))
            curves << c;
    QCOMPARE(curves[0]->data()->size(), 3);
    QCOMPARE(curves[0]->pen().color(), QColor(0, 0, 0));
    QCOMPARE(curves[1]->data()->size(), 2);
    QCPCurve* fault = curves[2];
    QCOMPARE(fault->pen().color(), QColor(128, 0, 128));
    QCOMPARE(fault->data()->size(), 3);
    QCOMPARE(fault->data()->at(1)->key, 30.0);
    QCOMPARE(fault->data()->at(1)->value, 40.0);

    w.plotCalculated();
    QCOMPARE(curveCount(w.ui->calculated_axes), 3);

    w.ui->view_profiles->setChecked(false);
    w.plotObserved();
    QCOMPARE(curveCount(plot), 1);
    w.ui->view_faults->setChecked(false);
    w.plotObserved();
    QCOMPARE(curveCount(plot), 0);
}

void TestMaps::windowLimitsKeepNodePositions()
{
    MainWindow w;
    giveModel(w);
    w.ui->maps_equal_xy->setChecked(false);
    w.window_limits = {-1000, 1000, -500, 500};
    w.plotObserved();
    QCustomPlot* plot = w.ui->observed_axes;
    QCOMPARE(plot->xAxis->range(), QCPRange(-1000, 1000));
    QCOMPARE(plot->yAxis->range(), QCPRange(-500, 500));
    // The cells stay on the field's own nodes.
    QCOMPARE(colorMap(plot)->data()->keyRange(), QCPRange(0, 300));
    QCOMPARE(colorMap(plot)->data()->valueRange(), QCPRange(0, 200));
}

// ---------------------------------------------------------------------------
// Ranges and scales

void TestMaps::rangesStayInStep()
{
    MainWindow w;
    giveModel(w);
    w.plotObserved();
    w.plotCalculated();
    QCustomPlot* obs = w.ui->observed_axes;
    QCustomPlot* calc = w.ui->calculated_axes;
    QCOMPARE(obs->xAxis->range(), calc->xAxis->range());
    QCOMPARE(obs->yAxis->range(), calc->yAxis->range());

    int obsX = 0, calcX = 0, obsY = 0, calcY = 0;
    const auto changed = QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged);
    connect(obs->xAxis, changed, [&] { ++obsX; });
    connect(calc->xAxis, changed, [&] { ++calcX; });
    connect(obs->yAxis, changed, [&] { ++obsY; });
    connect(calc->yAxis, changed, [&] { ++calcY; });

    // Dragging the observed map pans the calculated one, once.
    obs->xAxis->moveRange(25);
    QCOMPARE(obsX, 1);
    QCOMPARE(calcX, 1);
    QCOMPARE(obsY + calcY, 0);
    QCOMPARE(calc->xAxis->range(), obs->xAxis->range());
    QCOMPARE(calc->xAxis2->range(), obs->xAxis->range());  // the top axis follows

    // Zooming the calculated map zooms the observed one.
    calc->yAxis->scaleRange(0.5, calc->yAxis->range().center());
    QCOMPARE(obsY, 1);
    QCOMPARE(calcY, 1);
    QCOMPARE(obs->yAxis->range(), calc->yAxis->range());
    QCOMPARE(obsX + calcX, 2);
}

void TestMaps::equalScales()
{
    MainWindow w;
    w.resize(1200, 900);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A field 10 km wide and 5 km high.
    w.Vz_observed = make([](int i, int j) { return i * j; }, 6, 11);
    w.observed_params = {11, 6, 0, 10000, 0, 5000};
    QVERIFY(w.ui->maps_equal_xy->isChecked());
    w.plotObserved();

    QCustomPlot* plot = w.ui->observed_axes;
    const QRect rect = plot->axisRect()->rect();
    QVERIFY(rect.width() > 50 && rect.height() > 50);
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    QVERIFY2(near(rect.width() / x.size(), rect.height() / y.size(), 1e-9),
             qPrintable(QString("%1 x %2 px, %3 x %4 m").arg(rect.width()).arg(rect.height()).arg(x.size()).arg(y.size())));
    // The field fits, one axis exactly, the other widened about its centre.
    QVERIFY(x.lower <= 0 && x.upper >= 10000 && y.lower <= 0 && y.upper >= 5000);
    QVERIFY((x == QCPRange(0, 10000)) != (y == QCPRange(0, 5000)) || near(x.size() / y.size(), 2.0));
    QVERIFY(near(x.center(), 5000) && near(y.center(), 2500));
    // The calculated map shares the ranges.
    QCOMPARE(w.ui->calculated_axes->xAxis->range(), x);
    QCOMPARE(w.ui->calculated_axes->yAxis->range(), y);

    // Moving the splitter re-applies the rule after a drag.
    plot->xAxis->setRange(3000, 4000);
    w.updateFieldsRatio();
    QCOMPARE(plot->xAxis->range(), x);
    QCOMPARE(plot->yAxis->range(), y);
}

void TestMaps::equalScalesOff()
{
    MainWindow w;
    w.resize(1000, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    giveModel(w);
    w.calculated_params = {4, 3, 1000, 1300, 2000, 2200};
    w.Vz_observed = make([](int i, int j) { return i - j; });
    w.plotObserved();
    w.plotCalculated();
    QVERIFY(w.ui->maps_equal_xy->isChecked());
    w.ui->maps_equal_xy->trigger();  // unchecks and re-applies
    QVERIFY(!w.ui->maps_equal_xy->isChecked());
    // The calculated map is handled last: both end on its extent.
    QCOMPARE(w.ui->calculated_axes->xAxis->range(), QCPRange(1000, 1300));
    QCOMPARE(w.ui->observed_axes->xAxis->range(), QCPRange(1000, 1300));
    QCOMPARE(w.ui->observed_axes->yAxis->range(), QCPRange(2000, 2200));

    // Window limits win over both extents.
    w.window_limits = {-10, 10, -20, 20};
    w.on_maps_equal_xy_triggered();
    QCOMPARE(w.ui->observed_axes->xAxis->range(), QCPRange(-10, 10));
    QCOMPARE(w.ui->calculated_axes->yAxis->range(), QCPRange(-20, 20));
}

// ---------------------------------------------------------------------------
// Picking a horizon node

void TestMaps::pickOnMap()
{
    MainWindow w;
    w.resize(1000, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    giveModel(w);
    // Plain axes with room around the grid, so that every click lands inside.
    w.ui->maps_equal_xy->setChecked(false);
    w.window_limits = {-400, 700, -300, 500};
    w.plotObserved();
    w.plotCalculated();
    QCustomPlot* plot = w.ui->observed_axes;
    auto click = [&](double x, double y) {
        const QPoint at(qRound(plot->xAxis->coordToPixel(x)), qRound(plot->yAxis->coordToPixel(y)));
        QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, at);
    };

    // Horizon editing off: nothing is picked.
    click(150, 150);
    QCOMPARE(w.selected_row, -1);
    QCOMPARE(w.selected_column, -1);
    QCOMPARE(plot->itemCount(), 0);

    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    // Less than a cell left of the first column: column 0.
    click(-50, 160);
    QCOMPARE(w.selected_column, 0);
    QCOMPARE(w.selected_row, 1);
    QCOMPARE(w.selected_horizon, 1);  // no horizon selected in the 3D view
    QCOMPARE(w.clicked_x, 0.0);       // moved to the node
    QCOMPARE(w.clicked_y, 100.0);
    QCOMPARE(plot->itemCount(), 3);
    QCOMPARE(w.ui->calculated_axes->itemCount(), 3);
    auto* ellipse = qobject_cast<QCPItemEllipse*>(plot->item(0));
    QVERIFY(ellipse);
    QCOMPARE(ellipse->topLeft->coords(), QPointF(-100, 0));
    QCOMPARE(ellipse->bottomRight->coords(), QPointF(100, 200));
    QCOMPARE(ellipse->pen().color(), QColor(255, 0, 0));

    // The last node, and a click just beyond it.
    click(330, 230);
    QCOMPARE(w.selected_column, 3);
    QCOMPARE(w.selected_row, 2);
    QCOMPARE(w.clicked_x, 300.0);
    QCOMPARE(w.clicked_y, 200.0);

    // More than a cell left: column -1, no brush drawn (the old one stays).
    click(-150, 50);
    QCOMPARE(w.selected_column, -1);
    QCOMPARE(w.selected_row, 0);
    QVERIFY(std::abs(w.clicked_x + 150) < 5);  // the click itself, to a pixel
    auto* kept = qobject_cast<QCPItemEllipse*>(plot->item(0));
    QCOMPARE(kept->topLeft->coords(), QPointF(200, 100));

    // The calculated map picks the same way; without horizons nothing happens.
    const QPoint at(qRound(w.ui->calculated_axes->xAxis->coordToPixel(210)),
                    qRound(w.ui->calculated_axes->yAxis->coordToPixel(10)));
    QTest::mouseClick(w.ui->calculated_axes, Qt::MiddleButton, Qt::NoModifier, at);
    QCOMPARE(w.selected_column, 2);
    QCOMPARE(w.selected_row, 0);
    w.horizons.clear();
    click(100, 100);
    QCOMPARE(w.selected_column, 2);

    // With editing on but no fields, no brush is drawn on either map.
    giveModel(w);
    w.Vz_calculated.clear();
    w.Vz_observed.clear();
    w.ui->calculated_axes->clearItems();
    plot->clearItems();
    w.selectedPoint(QPoint(1, 1));
    QCOMPARE(plot->itemCount(), 0);
    QCOMPARE(w.ui->calculated_axes->itemCount(), 0);
}

void TestMaps::pickFromViewAndBrushParameters()
{
    MainWindow w;
    giveModel(w);
    w.plotObserved();
    w.plotCalculated();

    // Editing off: the pick is stored but no brush is drawn.
    w.selectedPoint(QPoint(2, 3));
    QCOMPARE(w.selected_row, 2);
    QCOMPARE(w.selected_column, 3);
    QCOMPARE(w.ui->observed_axes->itemCount(), 0);

    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    w.selectedPoint(QPoint(2, 3));
    QCOMPARE(w.clicked_x, 300.0);
    QCOMPARE(w.clicked_y, 200.0);
    QCOMPARE(w.ui->observed_axes->itemCount(), 3);

    w.setEditingParams(50, 20, 1, 5);
    QCOMPARE(w.horizon_edit_params, (std::vector<double>{50, 20, 1, 5}));
    auto* ellipse = qobject_cast<QCPItemEllipse*>(w.ui->calculated_axes->item(0));
    QVERIFY(ellipse);
    QCOMPARE(ellipse->topLeft->coords(), QPointF(250, 180));
    QCOMPARE(ellipse->bottomRight->coords(), QPointF(350, 220));
    auto* line = qobject_cast<QCPItemLine*>(w.ui->calculated_axes->item(1));
    QVERIFY(line);
    QCOMPARE(line->start->coords(), QPointF(250, 200));
    QCOMPARE(line->end->coords(), QPointF(350, 200));

    // A redraw of the calculated map removes its brush.
    w.plotCalculated();
    QCOMPARE(w.ui->calculated_axes->itemCount(), 0);
    QCOMPARE(w.ui->observed_axes->itemCount(), 3);

    // One-column horizons: every click lands on column 0.
    w.horizons = {make([](int, int) { return 0.0; }, 3, 1), make([](int, int) { return 5.0; }, 3, 1)};
    w.horizons_params = {1, 3, 100, 100, 0, 200};
    w.selectedPoint(QPoint(1, 0));
    QCOMPARE(w.clicked_x, 100.0);
    QCOMPARE(w.clicked_y, 100.0);
}

// ---------------------------------------------------------------------------
// The calculated map's menu

void TestMaps::contextMenu()
{
    MainWindow w;
    w.show();
    giveModel(w);
    w.language = 1;
    w.on_calculated_axes_customContextMenuRequested(QPoint(10, 10));
    QMenu* menu = openMenu(w);
    QVERIFY(menu);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    QCOMPARE(texts.mid(0, 7), (QStringList{"Δg calc", "Δg obs - Δg calc", "Layers densities (top)",
                                           "Layers densities (center)", "Layers densities (vert. mean)",
                                           "Top depth", "Thickness"}));
    QVERIFY(menu->actions()[0]->isChecked());
    QVERIFY(!menu->actions()[1]->isChecked());

    // Layers densities (center) > layer 2 (the unnamed one, shown as "2").
    QMenu* center = findAction(menu, "Layers densities (center)")->menu();
    QVERIFY(center);
    QStringList items;
    for (QAction* a : center->actions())
        items << a->text();
    QCOMPARE(items, (QStringList{"Sand", "2", "Rock"}));
    emit menu->triggered(center->actions()[1]);
    QCOMPARE(w.visible_data, std::make_pair(3, 1));
    QVERIFY(mapShown(w.ui->calculated_axes, w.calculated_scale));
    QCOMPARE(w.calculated_scale->axis()->label(), QString("σ  , g/cm3"));
    closeMenu(menu);

    // Reopened, the item and its submenu are checked; the field item is not.
    w.on_calculated_axes_customContextMenuRequested(QPoint(10, 10));
    menu = openMenu(w);
    QVERIFY(menu);
    QVERIFY(!menu->actions()[0]->isChecked());
    QAction* centerEntry = findAction(menu, "Layers densities (center)");
    QVERIFY(centerEntry->isChecked());
    QVERIFY(centerEntry->menu()->actions()[1]->isChecked());
    QVERIFY(!centerEntry->menu()->actions()[0]->isChecked());
    QVERIFY(!findAction(menu, "Top depth")->isChecked());

    // The residual item.
    emit menu->triggered(menu->actions()[1]);
    QCOMPARE(w.visible_data, std::make_pair(1, 2));
    closeMenu(menu);

    // Chosen with the keyboard: the menu's own signal reaches
    // change_visible_data and the menu is gone afterwards.
    w.visible_data = {1, 1};
    w.on_calculated_axes_customContextMenuRequested(QPoint(10, 10));
    menu = openMenu(w);
    QVERIFY(menu);
    QPointer<QMenu> guard(menu);
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(w.visible_data, std::make_pair(1, 2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());

    // In Russian, without horizons: two items only (and no layer menus).
    w.language = 0;
    w.horizons.clear();
    w.on_calculated_axes_customContextMenuRequested(QPoint(10, 10));
    menu = openMenu(w);
    QVERIFY(menu);
    QCOMPARE(menu->actions()[0]->text(), QString("Δg рассчитанное"));
    QCOMPARE(menu->actions()[1]->text(), QString("Δg остаточное"));
    QVERIFY(menu->actions()[1]->isChecked());
    for (QAction* a : menu->actions())
        QVERIFY(a->text() == "Δg рассчитанное" || a->text() == "Δg остаточное");
    emit menu->triggered(menu->actions()[0]);
    QCOMPARE(w.visible_data, std::make_pair(1, 1));
    closeMenu(menu);
}

void TestMaps::contextMenuLayerNames()
{
    MainWindow w;
    w.show();
    giveModel(w);
    w.layers_names = {"Sediments", "Sediments", QString()};
    w.language = 0;
    w.on_calculated_axes_customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = openMenu(w);
    QVERIFY(menu);
    QMenu* depth = findAction(menu, "Глубина кровли")->menu();
    QVERIFY(depth);
    // Two layers of one name: the second item selects the first layer.
    emit menu->triggered(depth->actions()[1]);
    QCOMPARE(w.visible_data, std::make_pair(4, 0));
    emit menu->triggered(depth->actions()[2]);
    QCOMPARE(w.visible_data, std::make_pair(4, 2));
    QMenu* thickness = findAction(menu, "Мощность слоя")->menu();
    emit menu->triggered(thickness->actions()[2]);
    QCOMPARE(w.visible_data, std::make_pair(5, 2));
    // An action of no known menu changes nothing but still redraws.
    QMenu other("Something");
    QAction* stray = other.addAction("Sediments");
    w.change_visible_data(stray);
    QCOMPARE(w.visible_data, std::make_pair(5, 2));
    closeMenu(menu);
}

void TestMaps::contextMenuColourScale()
{
    MainWindow w;
    w.show();
    giveModel(w);
    w.language = 1;
    auto scaleMenu = [&](QMenu* menu) -> QMenu* {
        QAction* entry = findAction(menu, "Color scale");
        return entry ? entry->menu() : nullptr;
    };
    auto texts = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << a->text() + (a->isChecked() ? "*" : "");
        return out;
    };

    w.on_calculated_axes_customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = openMenu(w);
    QVERIFY(menu);
    QVERIFY(menu->actions().last()->menu() == scaleMenu(menu));
    QCOMPARE(texts(scaleMenu(menu)), (QStringList{"As observed*", "Auto", "Manual"}));
    // "Auto" runs its own slot, then reaches change_visible_data, which keeps the kind.
    QAction* automatic = scaleMenu(menu)->actions()[1];
    automatic->trigger();
    emit menu->triggered(automatic);
    QVERIFY(!w.calc_caxis_from_obs);
    QCOMPARE(w.visible_data, std::make_pair(1, 1));
    closeMenu(menu);

    w.calc_caxis = {-2, 2};
    w.on_calculated_axes_customContextMenuRequested(QPoint(5, 5));
    menu = openMenu(w);
    QCOMPARE(texts(scaleMenu(menu)), (QStringList{"As observed", "Auto", "Manual*"}));
    scaleMenu(menu)->actions()[0]->trigger();
    QVERIFY(w.calc_caxis_from_obs);
    QCOMPARE(w.calc_caxis, (std::vector<double>{-2, 2}));
    closeMenu(menu);

    // Without an observed field there is no "As observed"; in Russian.
    w.Vz_observed.clear();
    w.calc_caxis.clear();
    w.language = 0;
    w.on_calculated_axes_customContextMenuRequested(QPoint(5, 5));
    menu = openMenu(w);
    QAction* entry = findAction(menu, "Цветовая шкала");
    QVERIFY(entry);
    QCOMPARE(texts(entry->menu()), (QStringList{"Автоматически*", "Вручную"}));
    closeMenu(menu);

    // Only the calculated field has a colour-scale menu.
    w.visible_data = {1, 2};
    w.on_calculated_axes_customContextMenuRequested(QPoint(5, 5));
    menu = openMenu(w);
    QVERIFY(!findAction(menu, "Цветовая шкала"));
    closeMenu(menu);
}

// ---------------------------------------------------------------------------
// Keys

void TestMaps::escapeAsksToAbort()
{
    MainWindow w;
    // No abortable operation: no question.
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(fake.questions.isEmpty());
    QVERIFY(!w.abort_requested);

    w.abort_enabled = true;
    fake.answers << QMessageBox::No;
    QKeyEvent no(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    no.accept();
    w.keyPressSlot(&no);
    QCOMPARE(fake.questions.size(), 1);
    QCOMPARE(fake.questions[0].title, QString("Tolmera3D"));
    QCOMPARE(fake.questions[0].text, QString("Do you want to abort a process?"));
    QCOMPARE(fake.questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(fake.questions[0].defaultButton, QMessageBox::No);
    QVERIFY(!no.isAccepted());
    QVERIFY(!w.abort_requested);

    // Through the window's own key handler.
    fake.answers << QMessageBox::Yes;
    w.inversion_running = true;
    w.forward_running = true;
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(fake.questions.size(), 2);
    QVERIFY(w.abort_requested);
    QVERIFY(w.abort_enabled);  // never cleared here
    QVERIFY(w.inversion_running && w.forward_running);

    // Other keys ask nothing.
    QTest::keyClick(&w, Qt::Key_A);
    QCOMPARE(fake.questions.size(), 2);
}

void TestMaps::arrowKeysNeedHorizonEditing()
{
    MainWindow w;
    giveModel(w);
    w.selected_row = 1;
    w.selected_column = 1;
    w.selected_horizon = 2;
    // Neither editing nor a horizons view: the pick is not even refreshed.
    QTest::keyClick(&w, Qt::Key_Up);
    QCOMPARE(w.selected_horizon, 2);
    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    QTest::keyClick(&w, Qt::Key_Down);
    QCOMPARE(w.selected_horizon, 2);
    // Editing in the horizons view: the pick is read from the 3D view, which
    // has no selection here, so nothing is edited.
    w.ui->view_horizons->setChecked(true);
    QTest::keyClick(&w, Qt::Key_Down);
    QCOMPARE(w.selected_horizon, -1);
    QCOMPARE(w.horizons[1][1][1], 110.0);
}

void TestMaps::mapsAxesAndDock()
{
    MainWindow w;
    w.show();
    giveModel(w);
    w.plotObserved();  // the calculated map stays empty
    w.ui->show_mapsAxes->trigger();
    QVERIFY(!w.ui->show_mapsAxes->isChecked());
    for (QCPAxis* axis : w.ui->observed_axes->axisRect()->axes())
        QVERIFY(!axis->visible());
    for (QCPAxis* axis : w.ui->calculated_axes->axisRect()->axes())
        QVERIFY(!axis->visible());

    w.ui->show_mapsAxes->trigger();
    for (QCPAxis* axis : w.ui->observed_axes->axisRect()->axes())
        QVERIFY(axis->visible());
    // The hidden map keeps its axes as they were.
    for (QCPAxis* axis : w.ui->calculated_axes->axisRect()->axes())
        QVERIFY(!axis->visible());

    // A redraw shows the four axes again.
    w.ui->show_mapsAxes->trigger();
    w.plotObserved();
    for (QCPAxis* axis : w.ui->observed_axes->axisRect()->axes())
        QVERIFY(axis->visible());

    QVERIFY(w.ui->dockWidget->isHidden());
    w.on_showDock_triggered();
    QVERIFY(!w.ui->dockWidget->isHidden());
    w.ui->dockWidget->hide();
    w.showProjectTree();
    QVERIFY(!w.ui->dockWidget->isHidden());
}

QTEST_MAIN(TestMaps)
#include "tst_maps.moc"
