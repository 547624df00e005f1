// A regrid allocates its new cube level by level after each progress call,
// so that the window repaints from the start of a long resampling: every
// allocation made before the first call and between two calls is counted.
#include <QtTest>

#include "allocation_counter.h"
#include "editing/regrid3d.h"
#include "test_nodes.h"

#include <algorithm>

class TestRegrid3dProgress : public QObject
{
    Q_OBJECT

private slots:
    void levelByLevel();
};

void TestRegrid3dProgress::levelByLevel()
{
    // 50 x 40 x 8 nodes at 10 m onto half the step: 99 x 79 x 8.
    const vector3D cube(8, vector2D(40, std::vector<data_type>(50, 2.5f)));
    const std::vector<double> x = nodes(50, 0, 10), y = nodes(40, 0, 10), z = nodes(8, 0, 10);
    const std::vector<double> params{0, 490, 5, 0, 390, 5, 0, 70, 10};
    const double level_bytes = 79.0 * (99 * sizeof(data_type) + sizeof(std::vector<data_type>));

    std::vector<unsigned long long> at;
    const unsigned long long start = allocation_counter::allocated();
    regrid::RegriddedCube out;
    QVERIFY(regrid::resample_cube(cube, x, y, z, params, out,
                                  [&](int) { at.push_back(allocation_counter::allocated()); }));
    const unsigned long long end = allocation_counter::allocated();
    QCOMPARE(out.cells.size(), std::size_t(8));
    QCOMPARE(out.cells[7][78][98], 2.5f);

    QCOMPARE(at.size(), std::size_t(8));
    // Before the first call: the source indexes of the columns, rows and
    // levels and the level vector, far less than a level.
    QVERIFY2(double(at.front() - start) < level_bytes,
             qPrintable(QString("%1 bytes before the first call").arg(at.front() - start)));
    at.push_back(end);  // the last level and the node vectors
    for (std::size_t i = 1; i < at.size(); ++i)
        QVERIFY2(double(at[i] - at[i - 1]) <= level_bytes + 4096,
                 qPrintable(QString("%1 bytes between calls %2 and %3").arg(at[i] - at[i - 1]).arg(i - 1).arg(i)));
}

QTEST_MAIN(TestRegrid3dProgress)
#include "tst_regrid3d_progress.moc"
