// The cube readers allocate the cube level by level after their progress
// calls, so that the window repaints from the start of a long read: every
// allocation made between two progress calls (and before the first) is
// counted, and none may hold much more than a level of the cube.
#include <QtTest>

#include "allocation_counter.h"
#include "formats/cube_file.h"
#include "formats/project_file.h"
#include "formats/segy.h"
#include "formats/xyz_cube.h"
#include "test_nodes.h"

#include <algorithm>

namespace {

enum class Reader { Cube, Segy, Project, Xyz };

constexpr int kNx = 200, kNy = 150, kNz = 6;
constexpr double kLevelBytes = double(kNx) * kNy * sizeof(data_type);
// What a reader allocates besides the cells between two calls: row vectors,
// a read buffer, texts of messages and file names.
constexpr double kSlack = 64 * 1024;

vector3D test_cube()
{
    vector3D c(kNz, vector2D(kNy, std::vector<data_type>(kNx)));
    for (int k = 0; k < kNz; ++k)
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i)
                c[k][j][i] = data_type(k * 1000 + j + i * 0.001);
    return c;
}

// The bytes allocated before each progress call, with its percentage.
struct Calls {
    unsigned long long start = allocation_counter::allocated();
    std::vector<std::pair<int, unsigned long long>> at;
    CodecProgress callback()
    {
        return [this](int percent) {
            at.emplace_back(percent, allocation_counter::allocated());
            return true;
        };
    }
};

}  // namespace

class TestReaderProgress : public QObject
{
    Q_OBJECT

private slots:
    void levelByLevel_data();
    void levelByLevel();

private:
    QTemporaryDir dir;
};

void TestReaderProgress::levelByLevel_data()
{
    QTest::addColumn<int>("reader");
    // Gaps are counted from the first call at or above this percentage (the
    // XYZ reader reads every line first and then lays the cells out).
    QTest::addColumn<int>("from_percent");
    // A buffer of fixed size the reader allocates before it starts.
    QTest::addColumn<int>("buffer");
    QTest::newRow("own cube") << int(Reader::Cube) << 0 << 0;
    QTest::newRow("SEG-Y") << int(Reader::Segy) << 0 << 0;
    QTest::newRow("project") << int(Reader::Project) << 0 << 0;
    QTest::newRow("XYZ") << int(Reader::Xyz) << 90 << (1 << 20);  // its line buffer
}

void TestReaderProgress::levelByLevel()
{
    QFETCH(int, reader);
    QFETCH(int, from_percent);
    QFETCH(int, buffer);
    const vector3D cube = test_cube();
    const std::vector<double> x = nodes(kNx, 1000, 50), y = nodes(kNy, 5000, 50), z = nodes(kNz, 0, 25);
    const QString path = dir.filePath(QString("cube%1").arg(reader));
    switch (Reader(reader)) {
    case Reader::Cube: QVERIFY(write_cube_file(path, cube, x, y, z)); break;
    case Reader::Segy: QVERIFY(write_segy_cube(path, cube, x, y, z)); break;
    case Reader::Project: {
        ProjectData d;
        d.density = {cube, x, y, z};
        QVERIFY(write_project_file(path, d));
        break;
    }
    case Reader::Xyz: QVERIFY(write_xyz_cube(path, cube, x, y, z)); break;
    }

    vector3D read;
    std::vector<double> rx, ry, rz;
    ProjectData project;
    Calls calls;
    CodecStatus status;
    switch (Reader(reader)) {
    case Reader::Cube: status = read_cube_file(path, read, rx, ry, rz, nullptr, calls.callback()); break;
    case Reader::Segy: status = read_segy_cube(path, read, rx, ry, rz, calls.callback()); break;
    case Reader::Project:
        status = read_project_file(path, project, calls.callback());
        read = project.density.cells;
        break;
    case Reader::Xyz: status = read_xyz_cube(path, read, rx, ry, rz, calls.callback()); break;
    }
    QVERIFY2(status, qPrintable(status.message()));
    QCOMPARE(read, cube);

    QVERIFY(!calls.at.empty());
    const double before_first = double(calls.at.front().second - calls.start) - buffer;
    QVERIFY2(before_first <= kLevelBytes, qPrintable(QString("%1 bytes before the first call").arg(before_first)));
    std::size_t first = 0;
    while (first < calls.at.size() && calls.at[first].first < from_percent)
        ++first;
    QVERIFY2(calls.at.size() - first > kNz, "a progress call for every level");
    double largest = 0;
    for (std::size_t i = first + 1; i < calls.at.size(); ++i)
        largest = std::max(largest, double(calls.at[i].second - calls.at[i - 1].second));
    // A level and, with the first one, the reader's buffer of at most a level.
    QVERIFY2(largest <= 2 * kLevelBytes + kSlack,
             qPrintable(QString("%1 bytes between two calls, a level is %2").arg(largest).arg(kLevelBytes)));
}

QTEST_MAIN(TestReaderProgress)
#include "tst_reader_progress.moc"
