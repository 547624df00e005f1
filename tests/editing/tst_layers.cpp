// The layered model's rules and computations, on small grids.
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

#include "common/grid_geometry.h"
#include "editing/layers.h"

using namespace layers;

namespace {

field2D constant(std::size_t ny, std::size_t nx, double v) { return field2D(ny, std::vector<double>(nx, v)); }

std::vector<double> geometry(double nx, double ny, double x0 = 0, double x1 = 100, double y0 = 0, double y1 = 100)
{
    return {nx, ny, x0, x1, y0, y1};
}

// A cube whose cell (k, j, i) holds 1000 * k + 10 * j + i.
vector3D numbered_cube(std::size_t nz, std::size_t ny, std::size_t nx)
{
    vector3D c(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (std::size_t k = 0; k < nz; ++k)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i)
                c[k][j][i] = static_cast<data_type>(1000 * k + 10 * j + i);
    return c;
}

std::vector<double> levels(std::size_t nz, double z0, double step)
{
    std::vector<double> z(nz);
    for (std::size_t k = 0; k < nz; ++k)
        z[k] = z0 + static_cast<double>(k) * step;
    return z;
}

struct Model {
    std::vector<field2D> horizons;
    std::vector<double> params;
    std::vector<double> densities;
    std::vector<bool> fixed;
    std::vector<QString> names;
    LayerLists lists{horizons, params, densities, fixed, names};
};

}  // namespace

class TestLayers : public QObject {
    Q_OBJECT

private slots:
    // --- layer lists
    void firstHorizonBringsTheTop();
    void geometryTolerance_data();
    void geometryTolerance();
    void insertionOrder_data();
    void insertionOrder();
    void refusedHorizonChangesNothing();
    void deletionKeepsListsInStep();
    void perLayerSetterRefusesOtherLengths();

    // --- depth rules
    void levelRules_data();
    void levelRules();
    void lastLayerBottoms();
    void slabOnHorizonBelongsBelow();
    void layerSearch_data();
    void layerSearch();
    void layerWalkCrossesSeveralHorizons();
    void spacingAndMatchHelpers();

    // --- density grid from layers
    void gridFromHorizonsAt0And500();
    void levelCountTruncates();
    void gridNodesAndBounds();
    void crossingHorizonsInGrid();
    void walkAgreesWithSearchOnOrderedHorizons();
    void refusedVerticalParams_data();
    void refusedVerticalParams();
    void badGeometryRefused();

    // --- layer fills
    void addToLastLayerReachesDeepestLevel();
    void setLayerValueAndMap();
    void fillRefusals();
    void fillStopsWhenGridChangesBetweenLevels();

    // --- layer maps and samples
    void lateralMaps();
    void lateralMapsRefuseMismatch();
    void centralDensity();
    void verticalMean();
    void sampleAroundHorizon_data();
    void sampleAroundHorizon();
    void sampleRefusals();
    void fillAfterHorizonChange();
    void fillAfterHorizonChangeRefusesMismatch();
    void indicatorPlaneRepeatsEdges();
    void indicatorPlaneLastLayerAndBadIndex();
};

// ---------------------------------------------------------------------------

void TestLayers::firstHorizonBringsTheTop()
{
    Model m;
    std::vector<double> p = {3, 2, 0, 200, 0, 100, 10, 90};  // from a Surfer grid: eight values
    field2D h = constant(2, 3, 300);
    h[1][2] = 50;  // shallower than the top in one node: still goes after horizon 0
    QCOMPARE(add_horizon(m.lists, h, p, -25.0), AddResult::AddedFirst);
    QCOMPARE(m.horizons.size(), std::size_t(2));
    QCOMPARE(m.horizons[0], constant(2, 3, -25.0));
    QCOMPARE(m.horizons[1], h);
    QCOMPARE(m.params, p);
    QCOMPARE(m.densities, (std::vector<double>{0, 0}));
    QCOMPARE(m.fixed, (std::vector<bool>{false, false}));
    QCOMPARE(m.names, (std::vector<QString>{QString(), QString()}));
    QVERIFY(lists_in_step(m.lists));
}

void TestLayers::geometryTolerance_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("x last +2e-5") << 3 << 2e-5 << false;
    QTest::newRow("x last +1e-6") << 3 << 1e-6 << true;
    QTest::newRow("x last -2e-5") << 3 << -2e-5 << false;
    QTest::newRow("y first +9e-6") << 4 << 9e-6 << true;
    QTest::newRow("nx +1") << 0 << 1.0 << false;
    QTest::newRow("z range ignored") << 6 << 1000.0 << true;
}

void TestLayers::geometryTolerance()
{
    QFETCH(int, index);
    QFETCH(double, offset);
    QFETCH(bool, accepted);
    Model m;
    std::vector<double> p = {3, 2, 0, 200, 0, 100, 10, 90};
    QCOMPARE(add_horizon(m.lists, constant(2, 3, 100), p, 0), AddResult::AddedFirst);
    std::vector<double> q = p;
    q[index] += offset;
    field2D h = constant(2, 3, 200);
    if (index == 0)
        h = constant(2, 4, 200);  // a grid that fits its own record
    const AddResult r = add_horizon(m.lists, h, q, 0);
    QCOMPARE(r, accepted ? AddResult::Inserted : AddResult::GeometryMismatch);
    QCOMPARE(m.horizons.size(), std::size_t(accepted ? 3 : 2));
    QCOMPARE(m.params, p);  // the stored record never changes
    QVERIFY(lists_in_step(m.lists));
}

void TestLayers::insertionOrder_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("expected");
    // Existing: horizon 0 at 0 m, horizon 1 at 200 m, horizon 2 at 400 m.
    QTest::newRow("equal to horizon 1 goes before it") << 200.0 << 1;
    QTest::newRow("between 1 and 2") << 300.0 << 2;
    QTest::newRow("deeper than all is appended") << 900.0 << 3;
    QTest::newRow("equal to the top becomes horizon 0") << 0.0 << 0;
    QTest::newRow("above the top becomes horizon 0") << -50.0 << 0;
}

void TestLayers::insertionOrder()
{
    QFETCH(double, depth);
    QFETCH(int, expected);
    Model m;
    const auto p = geometry(2, 2);
    add_horizon(m.lists, constant(2, 2, 200), p, 0.0);
    QCOMPARE(add_horizon(m.lists, constant(2, 2, 400), p, 0.0), AddResult::Inserted);
    m.densities = {1.0, 2.0, 3.0};
    m.fixed = {true, true, true};
    m.names = {"a", "b", "c"};

    field2D h = constant(2, 2, depth);
    QCOMPARE(insertion_index(m.horizons, h), std::size_t(expected));
    QCOMPARE(add_horizon(m.lists, h, p, 0.0), AddResult::Inserted);
    QCOMPARE(m.horizons.size(), std::size_t(4));
    QCOMPARE(m.horizons[expected], h);
    QCOMPARE(m.densities[expected], 0.0);
    QCOMPARE(bool(m.fixed[expected]), false);
    QVERIFY(m.names[expected].isEmpty());
    // The other entries keep their order and stay with their horizons.
    std::vector<double> others;
    for (int i = 0; i < 4; ++i)
        if (i != expected)
            others.push_back(m.densities[i]);
    QCOMPARE(others, (std::vector<double>{1, 2, 3}));
    QVERIFY(lists_in_step(m.lists));
}

void TestLayers::refusedHorizonChangesNothing()
{
    Model m;
    // The first horizon must fit its own record.
    QCOMPARE(add_horizon(m.lists, constant(2, 3, 10), geometry(2, 2), 0), AddResult::BadHorizon);
    QCOMPARE(add_horizon(m.lists, constant(2, 2, 10), {2, 2, 0}, 0), AddResult::BadHorizon);
    QVERIFY(m.horizons.empty());
    QVERIFY(m.params.empty());

    add_horizon(m.lists, constant(2, 2, 100), geometry(2, 2), 0);
    // A ragged grid with the right record is refused too.
    field2D ragged = constant(2, 2, 50);
    ragged[1].pop_back();
    QCOMPARE(add_horizon(m.lists, ragged, geometry(2, 2), 0), AddResult::BadHorizon);
    QCOMPARE(m.horizons.size(), std::size_t(2));
    QVERIFY(lists_in_step(m.lists));
}

void TestLayers::deletionKeepsListsInStep()
{
    Model m;
    const auto p = geometry(2, 2);
    add_horizon(m.lists, constant(2, 2, 100), p, 0);
    add_horizon(m.lists, constant(2, 2, 200), p, 0);
    add_horizon(m.lists, constant(2, 2, 300), p, 0);
    m.densities = {0, 1, 2, 3};
    m.fixed = {false, true, false, true};
    m.names = {"", "one", "two", "three"};

    QCOMPARE(delete_horizon(m.lists, 0), DeleteResult::NotRemoved);
    QCOMPARE(delete_horizon(m.lists, 4), DeleteResult::NotRemoved);
    QCOMPARE(delete_horizon(m.lists, -1), DeleteResult::NotRemoved);
    QCOMPARE(m.horizons.size(), std::size_t(4));

    QCOMPARE(delete_horizon(m.lists, 2), DeleteResult::Removed);
    QCOMPARE(m.horizons.size(), std::size_t(3));
    QCOMPARE(m.horizons[2], constant(2, 2, 300));
    QCOMPARE(m.densities, (std::vector<double>{0, 1, 3}));
    QCOMPARE(m.fixed, (std::vector<bool>{false, true, true}));
    QCOMPARE(m.names, (std::vector<QString>{"", "one", "three"}));

    QCOMPARE(delete_horizon(m.lists, 1), DeleteResult::Removed);
    QCOMPARE(delete_horizon(m.lists, 1), DeleteResult::Emptied);
    QVERIFY(m.horizons.empty());
    QVERIFY(m.params.empty());
    QVERIFY(m.densities.empty() && m.fixed.empty() && m.names.empty());

    // After emptying, the next horizon starts a new model with a new geometry.
    QCOMPARE(add_horizon(m.lists, constant(3, 3, 50), geometry(3, 3), 5), AddResult::AddedFirst);
    QCOMPARE(m.horizons[0], constant(3, 3, 5));
}

void TestLayers::perLayerSetterRefusesOtherLengths()
{
    std::vector<double> dens = {1, 2, 3};
    QVERIFY(!assign_per_layer(dens, std::vector<double>{9, 9}, 3));
    QVERIFY(!assign_per_layer(dens, std::vector<double>{9, 9, 9, 9}, 3));
    QCOMPARE(dens, (std::vector<double>{1, 2, 3}));
    QVERIFY(assign_per_layer(dens, std::vector<double>{4, 5, 6}, 3));
    QCOMPARE(dens, (std::vector<double>{4, 5, 6}));
    std::vector<QString> names = {"a", "b"};
    QVERIFY(!assign_per_layer(names, std::vector<QString>{"x"}, 2));
    QCOMPARE(names, (std::vector<QString>{"a", "b"}));
}

// ---------------------------------------------------------------------------

void TestLayers::levelRules_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("above");
    QTest::addColumn<int>("below");
    QTest::newRow("on level 3") << 300.0 << 0.0 << 100.0 << 3 << 3;
    QTest::newRow("between 2 and 3") << 250.0 << 0.0 << 100.0 << 2 << 3;
    QTest::newRow("on the first level") << 0.0 << 0.0 << 100.0 << 0 << 0;
    QTest::newRow("just under the first") << 1e-9 << 0.0 << 100.0 << 0 << 1;
    QTest::newRow("offset grid") << 175.0 << 50.0 << 50.0 << 2 << 3;
    QTest::newRow("above the grid truncates toward zero") << -50.0 << 0.0 << 100.0 << 0 << 0;
    QTest::newRow("far above") << -250.0 << 0.0 << 100.0 << -2 << -2;
    QTest::newRow("single level, below") << 10.0 << 5.0 << 0.0 << 0 << 1;
    QTest::newRow("single level, above") << 1.0 << 5.0 << 0.0 << -1 << 0;
    QTest::newRow("not a number") << std::nan("") << 0.0 << 100.0 << -1000000000 << -1000000000;
    QTest::newRow("huge depth") << 1e300 << 0.0 << 1.0 << 1000000000 << 1000000000;
}

void TestLayers::levelRules()
{
    QFETCH(double, depth);
    QFETCH(double, z0);
    QFETCH(double, step);
    QFETCH(int, above);
    QFETCH(int, below);
    QCOMPARE(level_at_or_above(depth, z0, step), above);
    QCOMPARE(level_at_or_below(depth, z0, step), below);
}

void TestLayers::lastLayerBottoms()
{
    const auto z = levels(5, 100, 50);  // 100 .. 300
    QVERIFY(std::isinf(last_layer_bottom(LastBottom::Open, z)));
    QCOMPARE(last_layer_bottom(LastBottom::Extended, z), 350.0);
    QCOMPARE(last_layer_bottom(LastBottom::LastNode, z), 300.0);
    QCOMPARE(level_depth(z, 3), 250.0);
    // A single level stays inside the extended bottom.
    QVERIFY(std::isinf(last_layer_bottom(LastBottom::Extended, {100.0})));
}

void TestLayers::slabOnHorizonBelongsBelow()
{
    std::vector<field2D> h = {constant(1, 1, 0), constant(1, 1, 200), constant(1, 1, 400)};
    const double bottom = 1000;
    QVERIFY(in_layer_slab(h, 0, 0, 0, 0, bottom));
    QVERIFY(in_layer_slab(h, 0, 0, 0, 199.999, bottom));
    QVERIFY(!in_layer_slab(h, 0, 0, 0, 200, bottom));
    QVERIFY(in_layer_slab(h, 1, 0, 0, 200, bottom));
    QVERIFY(in_layer_slab(h, 2, 0, 0, 400, bottom));
    QVERIFY(in_layer_slab(h, 2, 0, 0, 999.9, bottom));
    QVERIFY(!in_layer_slab(h, 2, 0, 0, 1000, bottom));
    QVERIFY(!in_layer_slab(h, 3, 0, 0, 500, bottom));
    QVERIFY(!in_layer_slab(h, -1, 0, 0, 500, bottom));
    QVERIFY(!in_layer_slab(h, 0, 0, 0, -1, bottom));
}

void TestLayers::layerSearch_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("layer");
    // Horizons at 0, 200 and 400 m.
    QTest::newRow("on horizon 0") << 0.0 << 0;
    QTest::newRow("inside layer 0") << 100.0 << 0;
    QTest::newRow("on horizon 1") << 200.0 << 1;
    QTest::newRow("on the last horizon") << 400.0 << 2;
    QTest::newRow("below all") << 5000.0 << 2;
    QTest::newRow("above horizon 0 goes to the last layer") << -10.0 << 2;
}

void TestLayers::layerSearch()
{
    QFETCH(double, depth);
    QFETCH(int, layer);
    std::vector<field2D> h = {constant(1, 1, 0), constant(1, 1, 200), constant(1, 1, 400)};
    QCOMPARE(layer_search(h, 0, 0, depth), layer);
    QCOMPARE(layer_search({constant(1, 1, 0)}, 0, 0, depth), 0);
    QCOMPARE(layer_search({}, 0, 0, depth), -1);
}

void TestLayers::layerWalkCrossesSeveralHorizons()
{
    // Horizon 2 (150 m) above horizon 1 (300 m) at this node.
    std::vector<field2D> h = {constant(1, 1, 0), constant(1, 1, 300), constant(1, 1, 150)};
    const auto z = levels(6, -100, 100);  // -100 .. 400
    const auto walk = layer_walk(h, 0, 0, z);
    // Above horizon 1 layer 0 (also above horizon 0), at and below it layer 2.
    QCOMPARE(walk, (std::vector<int>{0, 0, 0, 0, 2, 2}));
    // Ordered horizons: a level exactly on a horizon takes the layer below.
    std::vector<field2D> ordered = {constant(1, 1, 0), constant(1, 1, 100), constant(1, 1, 250)};
    QCOMPARE(layer_walk(ordered, 0, 0, levels(5, 0, 100)), (std::vector<int>{0, 1, 1, 2, 2}));
}

void TestLayers::spacingAndMatchHelpers()
{
    QCOMPARE(node_step({}), 0.0);
    QCOMPARE(node_step({5.0}), 0.0);
    QCOMPARE(node_step({5.0, 7.5, 10.0}), 2.5);

    vector3D grid = numbered_cube(3, 2, 4);
    std::vector<field2D> h = {constant(2, 4, 0), constant(2, 4, 10)};
    QVERIFY(horizons_match_grid(h, grid));
    QVERIFY(!horizons_match_grid({}, grid));
    QVERIFY(!horizons_match_grid(h, {}));
    h[1][1].push_back(3);  // one ragged row
    QVERIFY(!horizons_match_grid(h, grid));
    h = {constant(2, 4, 0), constant(3, 4, 10)};
    QVERIFY(!horizons_match_grid(h, grid));
    h = {constant(2, 4, 0)};
    grid[2].pop_back();  // one level short of a row
    QVERIFY(!horizons_match_grid(h, grid));
}

// ---------------------------------------------------------------------------

void TestLayers::gridFromHorizonsAt0And500()
{
    std::vector<field2D> h = {constant(2, 3, 0), constant(2, 3, 500)};
    VerticalParams v;  // all 0
    LayerGrid g;
    QCOMPARE(build_grid_from_layers(h, geometry(3, 2), {2.1, 2.6}, v, g), BuildStatus::Ok);
    QCOMPARE(v.maxZ, 500.0);
    QCOMPARE(v.dz, 10.0);
    QCOMPARE(v.minZ, 0.0);
    QCOMPARE(g.z.size(), std::size_t(51));
    QCOMPARE(g.cells.size(), std::size_t(51));
    QCOMPARE(g.z.back(), 500.0);
    for (std::size_t k = 0; k < 51; ++k)
        for (const auto& row : g.cells[k])
            for (data_type c : row)
                QCOMPARE(c, k < 50 ? 2.1f : 2.6f);
}

void TestLayers::levelCountTruncates()
{
    QCOMPARE(level_count({0, 1000, 300}), std::size_t(4));
    QCOMPARE(level_count({0, 1000, 250}), std::size_t(5));
    QCOMPARE(level_count({100, 100, 10}), std::size_t(0));
    QCOMPARE(level_count({100, 50, 10}), std::size_t(0));
    QCOMPARE(level_count({0, 100, 0}), std::size_t(0));
    QCOMPARE(level_count({0, 100, -5}), std::size_t(0));
    QCOMPARE(level_count({0, std::numeric_limits<double>::infinity(), 10}), std::size_t(0));
    QCOMPARE(level_count({0, 1e300, 1e-300}), std::size_t(0));

    std::vector<field2D> h = {constant(1, 2, 0), constant(1, 2, 700)};
    VerticalParams v{0, 1000, 300};
    LayerGrid g;
    QCOMPARE(build_grid_from_layers(h, geometry(2, 1), {1, 2}, v, g), BuildStatus::Ok);
    QCOMPARE(g.z, (std::vector<double>{0, 300, 600, 900}));
    QCOMPARE(v.maxZ, 1000.0);  // set parameters are kept, not the last level
    QCOMPARE(g.cells[2][0][0], 1.0f);
    QCOMPARE(g.cells[3][0][1], 2.0f);
}

void TestLayers::gridNodesAndBounds()
{
    std::vector<field2D> h = {constant(3, 5, 0), constant(3, 5, 100)};
    VerticalParams v{0, 100, 50};
    LayerGrid g;
    QCOMPARE(build_grid_from_layers(h, {5, 3, 1000, 1400, 200, 300}, {0, 1}, v, g), BuildStatus::Ok);
    QCOMPARE(g.x, (std::vector<double>{1000, 1100, 1200, 1300, 1400}));
    QCOMPARE(g.y, (std::vector<double>{200, 250, 300}));
    QCOMPARE(g.cells.front().size(), std::size_t(3));
    QCOMPARE(g.cells.front().front().size(), std::size_t(5));

    // One column: the only node is the first, not a division by zero.
    std::vector<field2D> single = {constant(2, 1, 0), constant(2, 1, 100)};
    QCOMPARE(build_grid_from_layers(single, {1, 2, 7, 7, 0, 10}, {0, 1}, v, g), BuildStatus::Ok);
    QCOMPARE(g.x, (std::vector<double>{7}));
    QCOMPARE(g.y, (std::vector<double>{0, 10}));
}

void TestLayers::crossingHorizonsInGrid()
{
    // Node 0: ordered horizons 0, 200, 400. Node 1: horizon 2 (100 m) above horizon 1 (300 m).
    std::vector<field2D> h = {constant(1, 2, 0), field2D{{200, 300}}, field2D{{400, 100}}};
    VerticalParams v{0, 500, 100};
    LayerGrid g;
    QCOMPARE(build_grid_from_layers(h, geometry(2, 1), {1, 2, 3}, v, g), BuildStatus::Ok);
    std::vector<float> node0, node1;
    for (const auto& level : g.cells) {
        node0.push_back(level[0][0]);
        node1.push_back(level[0][1]);
    }
    QCOMPARE(node0, (std::vector<float>{1, 1, 2, 2, 3, 3}));
    QCOMPARE(node1, (std::vector<float>{1, 1, 1, 3, 3, 3}));  // layer 1 gets no cell
}

void TestLayers::walkAgreesWithSearchOnOrderedHorizons()
{
    // Independent reference: on ordered horizons with the top at the first
    // level, the walk and the search must give every cell the same layer.
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::size_t ny = 4, nx = 5, n = 4;
    std::vector<field2D> h(n, constant(ny, nx, 0));
    for (std::size_t j = 0; j < ny; ++j)
        for (std::size_t i = 0; i < nx; ++i) {
            double d = 0;
            for (std::size_t m = 1; m < n; ++m) {
                d += std::round(u(rng) * 30) * 10;  // often exactly on a level
                h[m][j][i] = d;
            }
        }
    const std::vector<double> dens = {1.5, 2.0, 2.5, 3.0};
    VerticalParams v{0, 1000, 10};
    LayerGrid g;
    QCOMPARE(build_grid_from_layers(h, geometry(nx, ny), dens, v, g), BuildStatus::Ok);
    for (std::size_t k = 0; k < g.z.size(); ++k)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i) {
                const int m = layer_search(h, j, i, g.z[k]);
                QCOMPARE(g.cells[k][j][i], static_cast<float>(dens[m]));
            }
}

void TestLayers::refusedVerticalParams_data()
{
    QTest::addColumn<double>("minZ");
    QTest::addColumn<double>("maxZ");
    QTest::addColumn<double>("dz");
    QTest::addColumn<double>("deepest");
    QTest::addColumn<int>("status");
    QTest::newRow("max equal to min") << 100.0 << 100.0 << 10.0 << 500.0 << int(BuildStatus::BadVertical);
    QTest::newRow("max above min") << 100.0 << 50.0 << 10.0 << 500.0 << int(BuildStatus::BadVertical);
    QTest::newRow("negative step") << 0.0 << 500.0 << -10.0 << 500.0 << int(BuildStatus::BadVertical);
    QTest::newRow("deepest horizon at 0 m") << 0.0 << 0.0 << 0.0 << 0.0 << int(BuildStatus::DeepestAboveTop);
    QTest::newRow("deepest horizon above 0 m") << 0.0 << 0.0 << 0.0 << -20.0 << int(BuildStatus::DeepestAboveTop);
    QTest::newRow("deepest horizon above the top") << 300.0 << 0.0 << 0.0 << 200.0 << int(BuildStatus::DeepestAboveTop);
    QTest::newRow("deepest horizon not a number") << 0.0 << 0.0 << 0.0 << std::nan("") << int(BuildStatus::DeepestAboveTop);
}

void TestLayers::refusedVerticalParams()
{
    QFETCH(double, minZ);
    QFETCH(double, maxZ);
    QFETCH(double, dz);
    QFETCH(double, deepest);
    QFETCH(int, status);
    std::vector<field2D> h = {constant(2, 2, minZ), constant(2, 2, deepest)};
    VerticalParams v{minZ, maxZ, dz};
    LayerGrid g;
    g.z = {42};
    QCOMPARE(int(build_grid_from_layers(h, geometry(2, 2), {1, 2}, v, g)), status);
    QCOMPARE(v.minZ, minZ);
    QCOMPARE(v.maxZ, maxZ);
    QCOMPARE(v.dz, dz);
    QVERIFY(g.cells.empty());
    QCOMPARE(g.z, (std::vector<double>{42}));
}

void TestLayers::badGeometryRefused()
{
    VerticalParams v{0, 100, 10};
    LayerGrid g;
    QCOMPARE(build_grid_from_layers({}, geometry(2, 2), {}, v, g), BuildStatus::NoHorizons);
    std::vector<field2D> h = {constant(2, 2, 0), constant(2, 2, 50)};
    QCOMPARE(build_grid_from_layers(h, geometry(2, 2), {1}, v, g), BuildStatus::BadGeometry);
    QCOMPARE(build_grid_from_layers(h, {2, 2, 0}, {1, 2}, v, g), BuildStatus::BadGeometry);
    h[1].pop_back();
    QCOMPARE(build_grid_from_layers(h, geometry(2, 2), {1, 2}, v, g), BuildStatus::BadGeometry);
    QVERIFY(g.cells.empty());
}

// ---------------------------------------------------------------------------

void TestLayers::addToLastLayerReachesDeepestLevel()
{
    vector3D grid(6, vector2D(1, std::vector<data_type>(2, 1.0f)));
    const auto z = levels(6, 0, 100);  // 0 .. 500
    std::vector<field2D> h = {constant(1, 2, 0), field2D{{200, 300}}};
    int calls = 0;
    QCOMPARE(add_to_layer(grid, z, h, 1, 0.5, [&] { ++calls; }), FillStatus::Ok);
    QCOMPARE(calls, 6);
    std::vector<float> n0, n1;
    for (const auto& level : grid) {
        n0.push_back(level[0][0]);
        n1.push_back(level[0][1]);
    }
    QCOMPARE(n0, (std::vector<float>{1, 1, 1.5, 1.5, 1.5, 1.5}));
    QCOMPARE(n1, (std::vector<float>{1, 1, 1, 1.5, 1.5, 1.5}));

    QCOMPARE(add_to_layer(grid, z, h, 0, -1.0), FillStatus::Ok);
    QCOMPARE(grid[1][0][0], 0.0f);
    QCOMPARE(grid[2][0][0], 1.5f);
}

void TestLayers::setLayerValueAndMap()
{
    vector3D grid = numbered_cube(5, 2, 2);
    const auto z = levels(5, 0, 100);
    std::vector<field2D> h = {constant(2, 2, 0), constant(2, 2, 150), constant(2, 2, 300)};
    QCOMPARE(set_layer_value(grid, z, h, 1, 2.25), FillStatus::Ok);
    QCOMPARE(grid[1][1][1], 1011.0f);  // 100 m: layer 0
    QCOMPARE(grid[2][1][1], 2.25f);     // 200 m: layer 1
    QCOMPARE(grid[3][1][1], 3011.0f);  // 300 m exactly on horizon 2: layer 2

    const field2D map = {{1.0, 2.0}, {3.0, 4.0}};
    QCOMPARE(set_layer_from_map(grid, z, h, 2, map), FillStatus::Ok);
    QCOMPARE(grid[3][0][1], 2.0f);
    QCOMPARE(grid[4][1][0], 3.0f);  // the deepest level too
    QCOMPARE(grid[2][1][0], 2.25f);
}

void TestLayers::fillRefusals()
{
    const vector3D original = numbered_cube(3, 2, 2);
    vector3D grid = original;
    const auto z = levels(3, 0, 100);
    std::vector<field2D> h = {constant(2, 2, 0), constant(2, 2, 150)};
    QCOMPARE(set_layer_value(grid, z, h, 2, 9), FillStatus::BadLayer);
    QCOMPARE(set_layer_value(grid, z, h, -1, 9), FillStatus::BadLayer);
    QCOMPARE(add_to_layer(grid, z, {constant(2, 3, 0)}, 0, 9), FillStatus::NotReady);
    QCOMPARE(add_to_layer(grid, z, {}, 0, 9), FillStatus::NotReady);
    QCOMPARE(add_to_layer(grid, levels(2, 0, 100), h, 0, 9), FillStatus::NotReady);
    vector3D empty;
    QCOMPARE(set_layer_value(empty, z, h, 0, 9), FillStatus::NotReady);
    QCOMPARE(set_layer_from_map(grid, z, h, 0, constant(2, 1, 5)), FillStatus::BadMap);
    QCOMPARE(set_layer_from_map(grid, z, h, 0, field2D{}), FillStatus::BadMap);
    QCOMPARE(grid, original);
}

void TestLayers::fillStopsWhenGridChangesBetweenLevels()
{
    vector3D grid = numbered_cube(4, 2, 2);
    const auto z = levels(4, 0, 100);
    std::vector<field2D> h = {constant(2, 2, 0), constant(2, 2, 150)};
    int calls = 0;
    // Another command empties the grid while the fill waits for events.
    const FillStatus s = set_layer_value(grid, z, h, 1, 7, [&] {
        if (++calls == 3)
            grid.clear();
    });
    QCOMPARE(s, FillStatus::Interrupted);
    QVERIFY(grid.empty());

    grid = numbered_cube(4, 2, 2);
    calls = 0;
    QCOMPARE(set_layer_value(grid, z, h, 1, 7, [&] {
                 if (++calls == 2)
                     h.clear();
             }),
             FillStatus::Interrupted);
}

// ---------------------------------------------------------------------------

void TestLayers::lateralMaps()
{
    const vector3D grid = numbered_cube(6, 1, 4);  // levels 0 .. 500 m
    const auto z = levels(6, 0, 100);
    std::vector<field2D> h = {constant(1, 4, 0), field2D{{250, 300, 0, 900}}, field2D{{500, 499.5, 501, 100}}};
    std::vector<field2D> maps = {constant(1, 1, 77)};
    QVERIFY(lateral_density_maps(grid, z, h, maps));
    QCOMPARE(maps.size(), std::size_t(3));
    QCOMPARE(maps[0], (field2D{{0, 1, 2, 3}}));
    // 250 m takes level 3 (300 m), 300 m level 3, 0 m level 0, deeper than the grid 0.
    QCOMPARE(maps[1], (field2D{{3000, 3001, 2, 0}}));
    QCOMPARE(maps[2], (field2D{{5000, 5001, 0, 1003}}));
}

void TestLayers::lateralMapsRefuseMismatch()
{
    const vector3D grid = numbered_cube(3, 2, 2);
    const auto z = levels(3, 0, 100);
    std::vector<field2D> maps = {constant(1, 1, 77)};
    const auto before = maps;
    QVERIFY(!lateral_density_maps(grid, z, {constant(2, 3, 0)}, maps));
    QVERIFY(!lateral_density_maps(grid, z, {}, maps));
    QVERIFY(!lateral_density_maps({}, z, {constant(2, 2, 0)}, maps));
    QVERIFY(!lateral_density_maps(grid, levels(2, 0, 100), {constant(2, 2, 0)}, maps));
    QCOMPARE(maps, before);
}

void TestLayers::centralDensity()
{
    const vector3D grid = numbered_cube(11, 1, 2);  // 0 .. 1000 m
    const auto z = levels(11, 0, 100);
    std::vector<field2D> h = {constant(1, 2, 0), field2D{{400, 150}}};
    // Last layer: top 400, bottom the last level 1000, mid 700: level 7.
    QCOMPARE(layer_central_density(grid, z, h, 1), (field2D{{7000, 5001}}));
    // Layer 0: mid 200 -> level 2; mid 75 -> level 0 (truncation).
    QCOMPARE(layer_central_density(grid, z, h, 0), (field2D{{2000, 1}}));
    QVERIFY(layer_central_density(grid, z, h, 2).empty());
    QVERIFY(layer_central_density(grid, z, h, -1).empty());
    QVERIFY(layer_central_density({}, z, h, 0).empty());
    QVERIFY(layer_central_density(grid, z, {constant(1, 3, 0)}, 0).empty());
    // A top far below the grid gives 0, never a read outside it.
    std::vector<field2D> deep = {constant(1, 2, 0), constant(1, 2, 5000), constant(1, 2, 9000)};
    QCOMPARE(layer_central_density(grid, z, deep, 1), (field2D{{0, 0}}));
}

void TestLayers::verticalMean()
{
    vector3D grid(6, vector2D(1, std::vector<data_type>(2)));
    for (std::size_t k = 0; k < 6; ++k) {
        grid[k][0][0] = static_cast<data_type>(k);
        grid[k][0][1] = static_cast<data_type>(10 * k);
    }
    const auto z = levels(6, 0, 100);  // 0 .. 500
    std::vector<field2D> h = {constant(1, 2, 0), field2D{{200, 500}}, field2D{{400, 500}}};
    field2D out;
    QCOMPARE(layer_vertical_mean(grid, z, h, 1, out), MapStatus::Ok);
    // 200 .. 400 m averages levels 200 and 300 m; an empty layer gives 0.
    QCOMPARE(out, (field2D{{2.5, 0}}));
    // Last layer: 400 m .. the last level, which never counts.
    QCOMPARE(layer_vertical_mean(grid, z, h, 2, out), MapStatus::Ok);
    QCOMPARE(out, (field2D{{4, 0}}));
    QCOMPARE(layer_vertical_mean(grid, z, h, 0, out), MapStatus::Ok);
    QCOMPARE(out, (field2D{{0.5, 20}}));

    QCOMPARE(layer_vertical_mean(grid, z, h, 3, out), MapStatus::BadLayer);
    QVERIFY(out.empty());
    QCOMPARE(layer_vertical_mean(grid, z, {constant(2, 2, 0)}, 0, out), MapStatus::Mismatch);
    QVERIFY(out.empty());
}

void TestLayers::sampleAroundHorizon_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("topLevel");
    QTest::addColumn<int>("bottomLevel");
    // Levels 0 .. 900 m in steps of 100.
    QTest::newRow("exactly on level 5") << 500.0 << int(SampleStatus::Ok) << 4 << 5;
    QTest::newRow("550 m") << 550.0 << int(SampleStatus::Ok) << 5 << 6;
    QTest::newRow("exactly on level 1") << 100.0 << int(SampleStatus::Ok) << 0 << 1;
    QTest::newRow("within the first interval") << 50.0 << int(SampleStatus::OutOfModel) << -1 << -1;
    QTest::newRow("above the grid") << -150.0 << int(SampleStatus::OutOfModel) << -1 << -1;
    QTest::newRow("between the last two levels") << 850.0 << int(SampleStatus::Ok) << 8 << 9;
    QTest::newRow("exactly on the last level") << 900.0 << int(SampleStatus::OutOfModel) << -1 << -1;
    QTest::newRow("just above level 8") << 799.999 << int(SampleStatus::Ok) << 7 << 8;
}

void TestLayers::sampleAroundHorizon()
{
    QFETCH(double, depth);
    QFETCH(int, status);
    QFETCH(int, topLevel);
    QFETCH(int, bottomLevel);
    const vector3D grid = numbered_cube(10, 1, 2);
    const auto z = levels(10, 0, 100);
    std::vector<field2D> h = {constant(1, 2, 0), field2D{{300, depth}}};
    vector2D top, bot;
    QCOMPARE(int(sample_around_horizon(grid, z, h, 1, top, bot)), status);
    QCOMPARE(top.size(), std::size_t(1));
    QCOMPARE(top[0][0], 2000.0f);  // the good node before stays filled
    QCOMPARE(bot[0][0], 3000.0f);
    if (status == int(SampleStatus::Ok)) {
        QCOMPARE(top[0][1], static_cast<float>(1000 * topLevel + 1));
        QCOMPARE(bot[0][1], static_cast<float>(1000 * bottomLevel + 1));
    }
}

void TestLayers::sampleRefusals()
{
    const vector3D grid = numbered_cube(10, 1, 2);
    const auto z = levels(10, 0, 100);
    std::vector<field2D> h = {constant(1, 2, 0), constant(1, 2, 300)};
    vector2D top, bot;
    QCOMPARE(sample_around_horizon(grid, z, h, 2, top, bot), SampleStatus::BadIndex);
    QCOMPARE(sample_around_horizon(grid, z, h, -1, top, bot), SampleStatus::BadIndex);
    QCOMPARE(sample_around_horizon(grid, z, {constant(1, 3, 0), constant(1, 3, 300)}, 1, top, bot),
             SampleStatus::Mismatch);
    QCOMPARE(sample_around_horizon({}, z, h, 1, top, bot), SampleStatus::Mismatch);
    // Horizon 0 at the first level lies within the first interval.
    QCOMPARE(sample_around_horizon(grid, z, h, 0, top, bot), SampleStatus::OutOfModel);
}

void TestLayers::fillAfterHorizonChange()
{
    const auto z = levels(8, 0, 100);  // 0 .. 700
    vector3D grid(8, vector2D(1, std::vector<data_type>(2, 5.0f)));
    const vector2D top = {{1.0f, 1.0f}};
    const vector2D bot = {{2.0f, 2.0f}};
    const field2D before = {{250, 250}};
    const field2D after = {{450, std::nan("")}};
    // Moved down from 250 to 450 m: the levels at 300 and 400 m take the density above.
    QVERIFY(fill_after_horizon_change(grid, z, top, bot, before, after));
    std::vector<float> n0, n1;
    for (const auto& level : grid) {
        n0.push_back(level[0][0]);
        n1.push_back(level[0][1]);
    }
    QCOMPARE(n0, (std::vector<float>{5, 5, 5, 1, 1, 5, 5, 5}));
    QCOMPARE(n1, (std::vector<float>(8, 5.0f)));  // a node that is not a number is left alone
    // Moved back up: the same cells take the density below.
    QVERIFY(fill_after_horizon_change(grid, z, top, bot, after, before));
    n0.clear();
    for (const auto& level : grid)
        n0.push_back(level[0][0]);
    QCOMPARE(n0, (std::vector<float>{5, 5, 5, 2, 2, 5, 5, 5}));

    // Outside the grid the level range is clamped; a move to exactly a level excludes it.
    vector3D g2(3, vector2D(1, std::vector<data_type>(1, 0.0f)));
    QVERIFY(fill_after_horizon_change(g2, levels(3, 0, 100), {{7.0f}}, {{8.0f}}, {{-500}}, {{100}}));
    QCOMPARE(g2[0][0][0], 7.0f);
    QCOMPARE(g2[1][0][0], 0.0f);
    QVERIFY(fill_after_horizon_change(g2, levels(3, 0, 100), {{7.0f}}, {{8.0f}}, {{5000}}, {{150}}));
    QCOMPARE(g2[2][0][0], 8.0f);
    QCOMPARE(g2[1][0][0], 0.0f);
}

void TestLayers::fillAfterHorizonChangeRefusesMismatch()
{
    const auto z = levels(4, 0, 100);
    const vector3D original(4, vector2D(2, std::vector<data_type>(2, 5.0f)));
    vector3D grid = original;
    const vector2D ok2 = {{1, 1}, {1, 1}};
    const field2D h2 = {{0, 0}, {0, 0}};
    const field2D h2deep = {{300, 300}, {300, 300}};
    QVERIFY(!fill_after_horizon_change(grid, z, ok2, ok2, h2, field2D{{300, 300}}));
    QVERIFY(!fill_after_horizon_change(grid, z, vector2D{{1, 1}}, ok2, h2, h2deep));
    QVERIFY(!fill_after_horizon_change(grid, levels(3, 0, 100), ok2, ok2, h2, h2deep));
    QCOMPARE(grid, original);
    QVERIFY(fill_after_horizon_change(grid, z, ok2, ok2, h2, h2deep));
    QVERIFY(grid != original);
}

void TestLayers::indicatorPlaneRepeatsEdges()
{
    // Model 3 x 2 (rows x columns): layer 1 contains z_top = 150 only at row 0, column 1.
    std::vector<field2D> h = {constant(3, 2, 0), field2D{{200, 100}, {200, 200}, {200, 200}},
                              constant(3, 2, 400)};
    vector2D re(11, std::vector<data_type>(10, 9.0f));
    vector2D im(3, std::vector<data_type>(1, 9.0f));
    layer_indicator_plane(h, 150.0, re, im, 1, 3, 2, 4, 4, 1000.0);
    for (int r = 0; r < 11; ++r)
        for (int j = 0; j < 10; ++j) {
            const int mr = std::clamp(r - 4, 0, 2);
            const int mc = std::clamp(j - 4, 0, 1);
            const float expected = (mr == 0 && mc == 1) ? 1.0f : 0.0f;
            QCOMPARE(re[r][j], expected);
        }
    // Padded rows 0 .. 4 all read model row 0.
    for (int r = 0; r <= 4; ++r)
        QCOMPARE(re[r][9], 1.0f);
    QCOMPARE(re[5][9], 0.0f);
    QCOMPARE(im.size(), re.size());
    for (const auto& row : im)
        QCOMPARE(row, std::vector<data_type>(10, 0.0f));

    // Layer 0 is the complement above horizon 1.
    layer_indicator_plane(h, 150.0, re, im, 0, 3, 2, 4, 4, 1000.0);
    QCOMPARE(re[0][9], 0.0f);
    QCOMPARE(re[10][0], 1.0f);
}

void TestLayers::indicatorPlaneLastLayerAndBadIndex()
{
    std::vector<field2D> h = {constant(2, 2, 0), constant(2, 2, 100)};
    vector2D re(4, std::vector<data_type>(4, 9.0f)), im;
    layer_indicator_plane(h, 500.0, re, im, 1, 2, 2, 1, 1, 600.0);
    QCOMPARE(re[3][3], 1.0f);
    layer_indicator_plane(h, 600.0, re, im, 1, 2, 2, 1, 1, 600.0);
    QCOMPARE(re[0][0], 0.0f);  // bottom itself is outside

    vector2D untouched(2, std::vector<data_type>(2, 9.0f));
    vector2D im2 = untouched;
    layer_indicator_plane(h, 50.0, untouched, im2, 2, 2, 2, 0, 0, 600.0);
    QCOMPARE(untouched, vector2D(2, std::vector<data_type>(2, 9.0f)));
    QCOMPARE(im2, vector2D(2, std::vector<data_type>(2, 9.0f)));
    // A model size larger than the horizons never reads past them.
    layer_indicator_plane(h, 50.0, untouched, im2, 0, 50, 50, 0, 0, 600.0);
    QCOMPARE(untouched[1][1], 1.0f);
}

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
