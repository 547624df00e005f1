// The arithmetic of the field maps: grids shown, colour ranges, labels,
// node picking, series positions and the equal-scale rule.
#include <QtTest>

#include "views/maps_core.h"

#include <cmath>

using namespace maps;

namespace {

field2D grid(std::initializer_list<std::initializer_list<double>> rows)
{
    field2D g;
    for (const auto& r : rows)
        g.emplace_back(r);
    return g;
}

double mean(const field2D& g)
{
    double s = 0;
    std::size_t n = 0;
    for (const auto& r : g)
        for (double v : r) {
            s += v;
            ++n;
        }
    return s / n;
}

}  // namespace

class TestMapsCore : public QObject {
    Q_OBJECT

private slots:
    void shiftToObservedMean();
    void residualHasZeroMean();
    void residualOfDifferentSizesIsEmpty();
    void thickness();
    void flatRangeIsWidened();
    void labels_data();
    void labels();
    void layerMenus();
    void layerItems();
    void nodeIndex_data();
    void nodeIndex();
    void nodePosition();
    void seriesIndex_data();
    void seriesIndex();
    void equalScale_data();
    void equalScale();
};

void TestMapsCore::shiftToObservedMean()
{
    const field2D obs = grid({{8, 12}, {9, 11}});   // mean 10
    const field2D calc = grid({{1, 7}, {2, 6}});    // mean 4
    const field2D shifted = shifted_to_observed_mean(calc, obs);
    QCOMPARE(shifted, grid({{7, 13}, {8, 12}}));
    QCOMPARE(shifted_to_observed_mean(calc, field2D()), calc);
    QVERIFY(shifted_to_observed_mean(field2D(), obs).empty());
    // The shift does not need equal sizes: only the two means count.
    const field2D wide = grid({{10, 10, 10}});
    QCOMPARE(shifted_to_observed_mean(calc, wide), grid({{7, 13}, {8, 12}}));
}

void TestMapsCore::residualHasZeroMean()
{
    const field2D obs = grid({{8, 12, 3}, {9, 11, -4}});
    const field2D calc = grid({{1, 7, 0.5}, {2, 6, 2}});
    const field2D r = residual_field(obs, calc);
    QCOMPARE(r.size(), std::size_t(2));
    QCOMPARE(r[0].size(), std::size_t(3));
    QVERIFY(std::abs(mean(r)) < 1e-12);
    // Differences keep their shape: r = (obs - calc) - mean(obs - calc).
    const double m = mean(grid({{7, 5, 2.5}, {7, 5, -6}}));
    QVERIFY(std::abs(r[0][0] - (7 - m)) < 1e-12);
    QVERIFY(std::abs(r[1][2] - (-6 - m)) < 1e-12);
}

void TestMapsCore::residualOfDifferentSizesIsEmpty()
{
    const field2D obs = grid({{8, 12, 3}, {9, 11, -4}});
    QVERIFY(residual_field(obs, grid({{1, 2}, {3, 4}})).empty());
    QVERIFY(residual_field(obs, grid({{1, 2, 3}})).empty());
    QVERIFY(residual_field(obs, field2D()).empty());
    QVERIFY(residual_field(field2D(), obs).empty());
    // A ragged calculated field (right first row, short second) is not a match either.
    QVERIFY(residual_field(obs, grid({{1, 2, 3}, {4, 5}})).empty());
}

void TestMapsCore::thickness()
{
    const std::vector<field2D> h = {grid({{0, 10}, {20, 30}}), grid({{100, 110}, {120, 160}}),
                                    grid({{200, 250}, {300, 350}})};
    QCOMPARE(layer_thickness(h, 0, 999), grid({{100, 100}, {100, 130}}));
    QCOMPARE(layer_thickness(h, 1, 999), grid({{100, 140}, {180, 190}}));
    // The last layer without a density grid: its top's deepest node shows 0.
    const double bottom = last_layer_bottom(h[2], {0, 500}, false);
    QCOMPARE(bottom, 350.0);
    QCOMPARE(layer_thickness(h, 2, bottom), grid({{150, 100}, {50, 0}}));
    // With a grid, the model's bottom (the last level).
    QCOMPARE(last_layer_bottom(h[2], {0, 250, 500}, true), 500.0);
    QCOMPARE(layer_thickness(h, 2, 500), grid({{300, 250}, {200, 150}}));
    // Out of range or mismatched horizons give nothing.
    QVERIFY(layer_thickness(h, 3, 0).empty());
    QVERIFY(layer_thickness(h, -1, 0).empty());
    const std::vector<field2D> bad = {grid({{0, 10}, {20, 30}}), grid({{100, 110, 120}})};
    QVERIFY(layer_thickness(bad, 0, 0).empty());
}

void TestMapsCore::flatRangeIsWidened()
{
    const Range r = widen_flat_range(data_range(field2D(3, std::vector<double>(4, 12.5))));
    QCOMPARE(r.lower, 12.5 - 0.001);
    QCOMPARE(r.upper, 12.5 + 0.001);
    const Range kept = widen_flat_range(data_range(grid({{-1, 2}, {5, 0}})));
    QCOMPARE(kept.lower, -1.0);
    QCOMPARE(kept.upper, 5.0);
}

void TestMapsCore::labels_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");
    QTest::newRow("calculated") << 1 << 1 << "Δg calculated, mGal" << "Δg рассчитанное, мГал";
    QTest::newRow("residual") << 1 << 2 << "Δg obs - Δg calc, mGal" << "Остаточное поле, мГал";
    QTest::newRow("top density") << 2 << 0 << "σ Sand , g/cm3" << "σ Sand , г/см3";
    QTest::newRow("central density") << 3 << 0 << "σ Sand , g/cm3" << "σ Sand , г/см3";
    QTest::newRow("top depth") << 4 << 0 << "z Sand , m" << "z Sand , м";
    QTest::newRow("thickness") << 5 << 0 << "h Sand , m" << "h Sand , м";
    QTest::newRow("mean density") << 6 << 0 << "σ Sand , g/cm3" << "σ Sand , г/см3";
}

void TestMapsCore::labels()
{
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    QCOMPARE(calculated_label(kind, index, "Sand", 1), english);
    QCOMPARE(calculated_label(kind, index, "Sand", 0), russian);
    QCOMPARE(observed_label(1), QString("Δg observed, mGal"));
    QCOMPARE(observed_label(0), QString("Δg наблюденное, мГал"));
    QCOMPARE(x_axis_label(0), QString("X, м"));
    QCOMPARE(y_axis_label(2), QString("Y, m"));
}

void TestMapsCore::layerMenus()
{
    const std::vector<LayerMenu>& m = layer_menus();
    QCOMPARE(m.size(), std::size_t(5));
    const int kinds[] = {2, 3, 6, 4, 5};
    for (std::size_t i = 0; i < m.size(); ++i) {
        QCOMPARE(m[i].kind, kinds[i]);
        QCOMPARE(layer_menu_kind(layer_menu_title(m[i], 0)), kinds[i]);
        QCOMPARE(layer_menu_kind(layer_menu_title(m[i], 1)), kinds[i]);
    }
    QCOMPARE(layer_menu_title(m[1], 1), QString("Layers densities (center)"));
    QCOMPARE(layer_menu_title(m[4], 0), QString("Мощность слоя"));
    QCOMPARE(layer_menu_kind("Color scale"), 0);
    QCOMPARE(layer_menu_kind(QString()), 0);
}

void TestMapsCore::layerItems()
{
    const std::vector<QString> names = {"Sediments", QString(), "Basement", "Sediments"};
    QCOMPARE(layer_item_text(names, 0), QString("Sediments"));
    QCOMPARE(layer_item_text(names, 1), QString("2"));
    QCOMPARE(layer_item_text(names, 2), QString("Basement"));
    QCOMPARE(layer_item_text(names, 5), QString("6"));  // more horizons than names
    QCOMPARE(find_layer_by_text(names, "2"), 1);
    QCOMPARE(find_layer_by_text(names, "Basement"), 2);
    QCOMPARE(find_layer_by_text(names, "Sediments"), 0);  // the first of two equal names
    QCOMPARE(find_layer_by_text(names, "3"), -1);         // layer 3 has a name
    QCOMPARE(find_layer_by_text(names, "Nothing"), -1);
}

void TestMapsCore::nodeIndex_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");
    // Five nodes 0, 100, ..., 400.
    QTest::newRow("first node") << 0.0 << 0.0 << 400.0 << 5 << 0;
    QTest::newRow("just left of first") << -99.0 << 0.0 << 400.0 << 5 << 0;
    QTest::newRow("one cell left") << -100.0 << 0.0 << 400.0 << 5 << -1;
    QTest::newRow("between nodes") << 199.9 << 0.0 << 400.0 << 5 << 1;
    QTest::newRow("last node") << 400.0 << 0.0 << 400.0 << 5 << 4;
    QTest::newRow("just right of last") << 499.0 << 0.0 << 400.0 << 5 << 4;
    QTest::newRow("one cell right") << 500.0 << 0.0 << 400.0 << 5 << 5;
    QTest::newRow("offset grid") << 1050.0 << 1000.0 << 1400.0 << 5 << 0;
    QTest::newRow("descending axis") << 250.0 << 400.0 << 0.0 << 5 << 1;
    QTest::newRow("one node") << 1234.0 << 50.0 << 50.0 << 1 << 0;
    QTest::newRow("zero extent") << 10.0 << 50.0 << 50.0 << 4 << 0;
    QTest::newRow("far away") << 1e300 << 0.0 << 1.0 << 2 << std::numeric_limits<int>::max() / 2;
    QTest::newRow("not a number") << std::nan("") << 0.0 << 1.0 << 2 << 0;
}

void TestMapsCore::nodeIndex()
{
    QFETCH(double, value);
    QFETCH(double, first);
    QFETCH(double, last);
    QFETCH(int, count);
    QFETCH(int, index);
    QCOMPARE(node_index(value, first, last, std::size_t(count)), index);
}

void TestMapsCore::nodePosition()
{
    QCOMPARE(node_position(0, 1000, 1400, 5), 1000.0);
    QCOMPARE(node_position(4, 1000, 1400, 5), 1400.0);
    QCOMPARE(node_position(2, 1000, 1400, 5), 1200.0);
    QCOMPARE(node_position(-1, 1000, 1400, 5), 900.0);
    QCOMPARE(node_position(3, 50, 50, 1), 50.0);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(node_index(node_position(i, -300, 300, 7), -300, 300, 7), i);
}

void TestMapsCore::seriesIndex_data()
{
    QTest::addColumn<bool>("showTop");
    QTest::addColumn<bool>("cubeAndHorizons");
    QTest::addColumn<int>("horizon");
    QTest::addColumn<int>("series");
    QTest::newRow("horizons, top shown") << true << false << 2 << 2;
    QTest::newRow("horizons, top hidden") << false << false << 2 << 1;
    QTest::newRow("cube and horizons, top shown") << true << true << 2 << 8;
    QTest::newRow("cube and horizons, top hidden") << false << true << 2 << 7;
    QTest::newRow("first editable, top hidden") << false << false << 1 << 0;
}

void TestMapsCore::seriesIndex()
{
    QFETCH(bool, showTop);
    QFETCH(bool, cubeAndHorizons);
    QFETCH(int, horizon);
    QFETCH(int, series);
    QCOMPARE(horizon_series_index(horizon, showTop, cubeAndHorizons), series);
    QCOMPARE(series_horizon_index(series, showTop, cubeAndHorizons), horizon);
    // A cube face in the cube-and-horizons view is no editable horizon.
    if (cubeAndHorizons)
        QVERIFY(series_horizon_index(0, showTop, true) < 1);
}

void TestMapsCore::equalScale_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("xlo");
    QTest::addColumn<double>("xhi");
    QTest::addColumn<double>("ylo");
    QTest::addColumn<double>("yhi");
    // A field 10 km wide and 5 km high from (0, 0).
    QTest::newRow("square area") << 400.0 << 400.0 << 0.0 << 10000.0 << -2500.0 << 7500.0;
    QTest::newRow("wide area") << 800.0 << 200.0 << -5000.0 << 15000.0 << 0.0 << 5000.0;
    QTest::newRow("matching area") << 600.0 << 300.0 << 0.0 << 10000.0 << 0.0 << 5000.0;
    QTest::newRow("no size") << 0.0 << 300.0 << 0.0 << 10000.0 << 0.0 << 5000.0;
}

void TestMapsCore::equalScale()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, xlo);
    QFETCH(double, xhi);
    QFETCH(double, ylo);
    QFETCH(double, yhi);
    Range x{0, 10000}, y{0, 5000};
    equal_scale(x, y, width, height);
    QCOMPARE(x.lower, xlo);
    QCOMPARE(x.upper, xhi);
    QCOMPARE(y.lower, ylo);
    QCOMPARE(y.upper, yhi);
    if (width > 0)
        QCOMPARE(width / (x.upper - x.lower), height / (y.upper - y.lower));
}

QTEST_APPLESS_MAIN(TestMapsCore)
#include "tst_maps_core.moc"
