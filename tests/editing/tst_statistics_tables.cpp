// Mean-density tables by depth and by depth and layer: the written text,
// the level rule of the readers, round trips and refused input.
#include <QtTest>

#include <QTextStream>

#include "editing/mean_density_tables.h"

using namespace mean_density;

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

field2D plane(std::size_t ny, std::size_t nx, double v)
{
    return field2D(ny, std::vector<double>(nx, v));
}

QString depthTable(const vector3D& grid, const std::vector<double>& z, TableStatus* status = nullptr)
{
    QString text;
    QTextStream out(&text);
    const TableStatus s = write_depth_table(out, grid, z);
    if (status)
        *status = s;
    return text;
}

QString layerTable(const vector3D& grid, const std::vector<double>& z, const std::vector<field2D>& horizons,
                   TableStatus* status = nullptr)
{
    QString text;
    QTextStream out(&text);
    const TableStatus s = write_layer_table(out, grid, z, horizons);
    if (status)
        *status = s;
    return text;
}

TableResult readDepth(QString text, vector3D& grid, const std::vector<double>& z)
{
    QTextStream in(&text);
    return read_depth_table(in, grid, z);
}

TableResult readLayers(QString text, vector3D& grid, const std::vector<double>& z,
                       const std::vector<field2D>& horizons)
{
    QTextStream in(&text);
    return read_layer_table(in, grid, z, horizons);
}

// Two layers on a 1 x 3 grid: horizon 1 at 25, 75 and 125 m; levels 0, 50, 100 m.
struct TwoLayers {
    vector3D grid = cube(3, 1, 3, 0);
    std::vector<double> z{0, 50, 100};
    std::vector<field2D> horizons{plane(1, 3, 0), field2D{{25, 75, 125}}};
};

}  // namespace

class TestStatisticsTables : public QObject {
    Q_OBJECT

private slots:
    void levelOfDepth_data();
    void levelOfDepth();
    void depthTableText();
    void layerTableText();
    void depthTableRoundTrip();
    void layerTableRoundTrip();
    void depthImportRules();
    void layerImportRules();
    void malformedLinesRefused_data();
    void malformedLinesRefused();
    void refusedGrids();
};

void TestStatisticsTables::levelOfDepth_data()
{
    QTest::addColumn<std::vector<double>>("nodes");
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("level");
    const std::vector<double> z50{0, 50, 100};
    QTest::newRow("node") << z50 << 50.0 << 1;
    QTest::newRow("between truncates") << z50 << 60.0 << 1;
    QTest::newRow("just above a node truncates") << z50 << 99.0 << 1;
    QTest::newRow("slightly above first") << z50 << -20.0 << 0;
    QTest::newRow("above") << z50 << -60.0 << -1;
    QTest::newRow("below") << z50 << 150.0 << -1;
    QTest::newRow("NaN") << z50 << std::nan("") << -1;
    // Steps that are not exact in binary: the written node depth comes back a
    // rounding error off and still names its own level.
    std::vector<double> z01;
    for (int k = 0; k < 10; ++k)
        z01.push_back(0.1 * k);
    QTest::newRow("0.3 on a 0.1 step") << z01 << 0.3 << 3;
    QTest::newRow("0.7 on a 0.1 step") << z01 << 0.7 << 7;
    // Six significant digits of a deep node.
    std::vector<double> deep;
    for (int k = 0; k < 5; ++k)
        deep.push_back(1234.5678 + 33.3333 * k);
    QTest::newRow("node written with six digits") << deep << 1301.23 << 2;  // node 1301.2344
    QTest::newRow("between deep nodes") << deep << 1300.0 << 1;
    QTest::newRow("single level, its depth") << std::vector<double>{40} << 40.0 << 0;
    QTest::newRow("single level, another depth") << std::vector<double>{40} << 45.0 << -1;
}

void TestStatisticsTables::levelOfDepth()
{
    QFETCH(std::vector<double>, nodes);
    QFETCH(double, depth);
    QFETCH(int, level);
    QCOMPARE(table_level(depth, nodes), level);
}

void TestStatisticsTables::depthTableText()
{
    vector3D grid = cube(3, 2, 2, 0);
    const float values[3] = {2.1f, 2.25f, 2.4f};
    for (int k = 0; k < 3; ++k)
        grid[k] = vector2D(2, std::vector<data_type>(2, values[k]));
    grid[1][0][0] = 2.2f;  // mean 2.2375
    grid[1][1][1] = 2.3f;  // back to 2.25
    QCOMPARE(depthTable(grid, {0, 50, 100}), QString("z dens\n0 2.1\n50 2.25\n100 2.4\n"));
}

void TestStatisticsTables::layerTableText()
{
    TwoLayers m;
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            m.grid[k][0][j] = float(1 + k) + 0.5f * j;
    // Level 0: every node in layer 0 (horizon 1 below 0), layer 1 has no cell.
    // Level 1 (50 m): node 0 in layer 1, nodes 1 and 2 in layer 0.
    // Level 2 (100 m): nodes 0 and 1 in layer 1, node 2 in layer 0.
    QCOMPARE(layerTable(m.grid, m.z, m.horizons),
             QString("z1 dens1 z2 dens2 \n"
                     "0 1.5 0 *  \n"
                     "50 2.75 50 2  \n"
                     "100 4 100 3.25  \n"));
}

void TestStatisticsTables::depthTableRoundTrip()
{
    vector3D grid = cube(4, 2, 3, 0);
    std::vector<double> z;
    for (int k = 0; k < 4; ++k) {
        z.push_back(0.1 * k + 1000.0);  // steps not exact in binary
        for (auto& row : grid[k])
            std::fill(row.begin(), row.end(), 2.0f + 0.123f * k);
    }
    const QString text = depthTable(grid, z);
    vector3D back = cube(4, 2, 3, -1);
    const TableResult r = readDepth(text, back, z);
    QVERIFY(r.ok());
    QCOMPARE(r.cells_set, 24);
    for (int k = 0; k < 4; ++k)
        QVERIFY2(std::abs(back[k][1][2] - grid[k][1][2]) < 1e-5, qPrintable(QString::number(k)));
}

void TestStatisticsTables::layerTableRoundTrip()
{
    TwoLayers m;
    // One density per layer and level, so the means are exact.
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t j = 0; j < 3; ++j) {
            const bool lower = m.z[k] >= m.horizons[1][0][j];
            m.grid[k][0][j] = lower ? 2.5f + 0.1f * k : 2.0f + 0.1f * k;
        }
    const QString text = layerTable(m.grid, m.z, m.horizons);
    vector3D back = cube(3, 1, 3, -1);
    const TableResult r = readLayers(text, back, m.z, m.horizons);
    QVERIFY(r.ok());
    QCOMPARE(back, m.grid);
    QCOMPARE(r.cells_set, 9);
}

void TestStatisticsTables::depthImportRules()
{
    vector3D grid = cube(3, 1, 2, 1);
    const std::vector<double> z{0, 50, 100};
    const TableResult r = readDepth("depth density\n"  // any header is skipped
                                    "60 2.5\n"
                                    "-20 2.0\n"
                                    "-60 9\n"
                                    "150 9\n"
                                    "\n"
                                    "100 * \n"
                                    "100, 2.7\n"
                                    "100\t2.8 5\n",  // a third number is ignored
                                    grid, z);
    QVERIFY(r.ok());
    QCOMPARE(grid[0][0][1], 2.0f);
    QCOMPARE(grid[1][0][0], 2.5f);
    QCOMPARE(grid[2][0][1], 2.8f);  // later lines win; a comma and a blank are one separator

    // A first data line placed on the first line is taken for the header.
    vector3D g2 = cube(3, 1, 1, 1);
    QVERIFY(readDepth("0 3.0\n50 3.5\n", g2, z).ok());
    QCOMPARE(g2[0][0][0], 1.0f);
    QCOMPARE(g2[1][0][0], 3.5f);
}

void TestStatisticsTables::layerImportRules()
{
    TwoLayers m;
    m.grid = cube(3, 1, 3, 1);
    // Level 1 (50 m): pair 1 sets node 0 only (layer 1 there), pair 0 nodes 1 and 2.
    // Level 2: the layer-1 pair is "*": only node 2 (layer 0) changes.
    // The third pair is beyond the two layers and is ignored.
    // Level 0: the pair sets layer 0 everywhere; the unpaired last field is ignored.
    const TableResult r = readLayers("z1 dens1 z2 dens2\n"
                                     "50 2.1 50 2.6 50 9\n"
                                     "100 2.2 100 * \n"
                                     "500 9 500 9\n"
                                     "0 2.05 x\n",
                                     m.grid, m.z, m.horizons);
    QVERIFY(r.ok());
    QCOMPARE(m.grid[0], (vector2D{{2.05f, 2.05f, 2.05f}}));
    QCOMPARE(m.grid[1], (vector2D{{2.6f, 2.1f, 2.1f}}));
    QCOMPARE(m.grid[2], (vector2D{{1, 1, 2.2f}}));
    QCOMPARE(r.cells_set, 7);
}

void TestStatisticsTables::malformedLinesRefused_data()
{
    QTest::addColumn<bool>("layers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("depth: word") << false << "z dens\n0 2.1\n50 abc\n" << 3;
    QTest::newRow("depth: lone number") << false << "z dens\n0 2.1\n50\n100 2.4\n" << 3;
    QTest::newRow("depth: decimal comma") << false << "z dens\n0 2,1x\n" << 2;
    QTest::newRow("depth: infinite") << false << "z dens\n0 inf\n" << 2;
    QTest::newRow("depth: too large for a float") << false << "z dens\n0 1e300\n" << 2;
    QTest::newRow("depth: binary") << false << QString("z dens\n") + QChar(0x1) + "\x7f 2\n" << 2;
    QTest::newRow("layers: word") << true << "h\n0 2.1 0 x\n" << 2;
    QTest::newRow("layers: bad depth") << true << "h\n50 2 50 2\nq 2.1 0 2\n" << 3;
}

// A table that does not read is refused whole: no cell changes.
void TestStatisticsTables::malformedLinesRefused()
{
    QFETCH(bool, layers);
    QFETCH(QString, text);
    QFETCH(int, line);
    TwoLayers m;
    m.grid = cube(3, 1, 3, 1);
    const TableResult r = layers ? readLayers(text, m.grid, m.z, m.horizons) : readDepth(text, m.grid, m.z);
    QCOMPARE(r.status, TableStatus::BadLine);
    QCOMPARE(r.line, line);
    QVERIFY(!r.text.isEmpty());
    QCOMPARE(m.grid, cube(3, 1, 3, 1));
}

void TestStatisticsTables::refusedGrids()
{
    TwoLayers m;
    TableStatus s;
    QCOMPARE(depthTable(vector3D(), {}, &s), QString());
    QCOMPARE(s, TableStatus::EmptyGrid);
    QCOMPARE(depthTable(m.grid, {0, 50}, &s), QString());  // fewer depths than levels
    QCOMPARE(s, TableStatus::EmptyGrid);
    QCOMPARE(layerTable(m.grid, m.z, {}, &s), QString());
    QCOMPARE(s, TableStatus::NoLayers);
    QCOMPARE(layerTable(m.grid, m.z, {plane(2, 3, 0)}, &s), QString());
    QCOMPARE(s, TableStatus::LayersMismatch);

    vector3D empty;
    QCOMPARE(readDepth("z\n0 1\n", empty, {}).status, TableStatus::EmptyGrid);
    QCOMPARE(readLayers("z\n0 1\n", m.grid, m.z, {}).status, TableStatus::NoLayers);
    QCOMPARE(readLayers("z\n0 1\n", m.grid, m.z, {plane(1, 2, 0)}).status, TableStatus::LayersMismatch);
    QCOMPARE(m.grid, cube(3, 1, 3, 0));
}

QTEST_GUILESS_MAIN(TestStatisticsTables)
#include "tst_statistics_tables.moc"
