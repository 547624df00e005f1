// What the commands that make grids of a typed size count before they ask:
// the bytes of cubes and 2D grids against what building them really
// allocates, the sum over a command's grids, and the question's text.
#include <QtTest>

#include "allocation_counter.h"
#include "common/types.h"
#include "editing/grid_memory.h"

class TestGridMemory : public QObject
{
    Q_OBJECT

private slots:
    void cubeAndFieldBytes_data();
    void cubeAndFieldBytes();
    void needSumsTheGrids();
    void redrawCountsWhatIsDrawn();
    void questionText();
};

void TestGridMemory::cubeAndFieldBytes_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::newRow("cube") << 30 << 20 << 10;
    QTest::newRow("one long row") << 5000 << 1 << 1;
    QTest::newRow("many short rows") << 1 << 700 << 90;
}

// The figures are what the vectors of a grid request: every byte counted.
void TestGridMemory::cubeAndFieldBytes()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    // Built as the readers and the regrid build them: level by level, row by
    // row, each vector at its final size.
    unsigned long long start = allocation_counter::allocated();
    {
        vector3D cube;
        cube.reserve(nz);
        for (int k = 0; k < nz; ++k) {
            vector2D& level = cube.emplace_back();
            level.reserve(ny);
            for (int j = 0; j < ny; ++j)
                level.emplace_back(nx);
        }
        QCOMPARE(double(allocation_counter::allocated() - start), grid_memory::cube_bytes(nx, ny, nz));
    }
    start = allocation_counter::allocated();
    {
        field2D field;
        field.reserve(ny);
        for (int j = 0; j < ny; ++j)
            field.emplace_back(nx);
        QCOMPARE(double(allocation_counter::allocated() - start), grid_memory::field_bytes(nx, ny));
    }
}

void TestGridMemory::needSumsTheGrids()
{
    grid_memory::NewGrids g;
    g.nx = 100;
    g.ny = 50;
    g.nz = 20;
    QCOMPARE(grid_memory::need_bytes(g), 0.0);
    g.cubes = 2;
    const double cubes = 2 * (20 * 50 * (100 * 4.0 + 24) + 20 * 24);
    QCOMPARE(grid_memory::need_bytes(g), cubes);
    g.grids = 3;
    g.maps = 1;
    g.surfaces = 2;
    const double grids = 3 * 50 * (100 * 8.0 + 24) + 100 * 50 * grid_memory::kMapBytesPerNode +
                         2 * 100 * 50 * grid_memory::kViewBytesPerFaceNode;
    // Drawing surfaces costs the view's fixed part once.
    QCOMPARE(grid_memory::need_bytes(g), cubes + grids + grid_memory::kViewFixedBytes);
    g.view = true;
    const double faces = 2.0 * (100 * 50 + 100 * 20 + 50 * 20);
    QCOMPARE(grid_memory::face_nodes(100, 50, 20), faces);
    QCOMPARE(grid_memory::need_bytes(g),
             cubes + grids + faces * grid_memory::kViewBytesPerFaceNode + grid_memory::kViewFixedBytes);
}

// A run's redraw: nothing without a view on a hidden window; the view's
// series whenever it has a view (all of them when it holds none yet, the
// swap of the new ones otherwise); the rasteriser's frame of the cube
// faces (up to its plateau), the surfaces and the maps only while shown.
void TestGridMemory::redrawCountsWhatIsDrawn()
{
    using namespace grid_memory;
    Redraw r;
    r.nx = 100;
    r.ny = 50;
    r.nz = 20;
    r.cube = true;
    r.surfaces = 2;
    r.maps = 1;
    QCOMPARE(redraw_bytes(r), 0.0);
    const double plane = 100 * 50;
    r.shown = true;
    QCOMPARE(redraw_bytes(r), plane * kMapBytesPerNode);
    const double faces = face_nodes(100, 50, 20);
    const double nodes = faces + 2 * plane;
    r.shown = false;
    r.view = true;
    QCOMPARE(redraw_bytes(r), nodes * kSeriesBytesPerNode + kSeriesFixedBytes);
    r.held = true;
    QCOMPARE(redraw_bytes(r), nodes * kSeriesSwapBytesPerNode);
    r.shown = true;
    QCOMPARE(redraw_bytes(r), plane * kMapBytesPerNode + nodes * kSeriesSwapBytesPerNode +
                                  faces * (kScenesInFlight * kSceneBytesPerFaceNode + kDrawnBytesPerFaceNode) +
                                  2 * (kSurfaceDrawnBytes + plane * kSurfaceDrawnBytesPerNode));
    // The rasteriser draws what it holds once its record is full.
    r.nx = r.ny = 2000;
    const double big = redraw_bytes(r);
    r.cube = false;
    QCOMPARE(big - redraw_bytes(r),
             face_nodes(2000, 2000, 20) * (kSeriesSwapBytesPerNode + kDrawnBytesPerFaceNode) +
                 kScenesInFlight * kSceneBytes);
}

void TestGridMemory::questionText()
{
    QCOMPARE(grid_memory::question_text(6.5, 3.25, 1),
             QString("High memory usage. You need at least 6.5 GB of 3.25 GB.\n To optimize memory usage, you can make "
                     "the steps larger or the grid smaller. \n Do you want to go on without changes?"));
    QCOMPARE(grid_memory::question_text(1234567.891, 0.5, 0),
             QString::fromUtf8("Большой расход памяти. Требуется не менее 1.23457e+06 ГБ из 0.5 ГБ.\n Чтобы уменьшить "
                               "расход памяти, можно увеличить шаги или уменьшить размеры сетки. \n Продолжить без "
                               "изменений?"));
}

QTEST_MAIN(TestGridMemory)
#include "tst_grid_memory.moc"
