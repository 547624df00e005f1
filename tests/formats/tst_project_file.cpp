// The project file codec and its sidecars: byte layout, round trip of every
// block, damaged files, layer lists, names and sidecar checks.
#include "formats/effects_file.h"
#include "formats/project_file.h"

#include "format_test_support.h"
#include "test_nodes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

// ---- Bytes of the layout, built here from the layout alone (not by the writer)

QByteArray be_bool(bool v) { return QByteArray(1, v ? '\1' : '\0'); }

QByteArray str(const QString& s)
{
    const QByteArray u = s.toUtf8();
    return be32(u.size()) + u;
}

QByteArray doubles(std::initializer_list<double> values)
{
    QByteArray b;
    for (double v : values)
        b += be_double(v);
    return b;
}

// A cube block (without its tag) of float cells in file order.
QByteArray cube_block(qint32 nx, qint32 ny, qint32 nz, std::initializer_list<double> bounds,
                      std::initializer_list<float> cells)
{
    QByteArray b = be32(nx) + be32(ny) + be32(nz) + doubles(bounds);
    for (float c : cells)
        b += le_float(c);
    return b;
}

QByteArray field_block(qint32 nx, qint32 ny, std::initializer_list<double> limits, std::initializer_list<double> values)
{
    return be32(nx) + be32(ny) + doubles(limits) + doubles(values);
}

// The observed 2 x 2 field of the tiny project.
QByteArray tiny_observed_block()
{
    return be32(3) + field_block(2, 2, {100, 200, 300, 400}, {1.5, -2.25, 3.0, 4.125});
}

bool nearly_equal(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-9 * std::max(1.0, std::fabs(b[i])))
            return false;
    return true;
}

bool same_cube(const ProjectCube& a, const ProjectCube& b)
{
    return a.cells == b.cells && nearly_equal(a.x, b.x) && nearly_equal(a.y, b.y) && nearly_equal(a.z, b.z);
}

// A project holding every block.
ProjectData populated()
{
    ProjectData d;
    d.density.cells = make_cube(4, 3, 5, 2.25f);
    d.density.x = nodes(4, 500000.5, 25);
    d.density.y = nodes(3, 6100000.25, 50);
    d.density.z = nodes(5, 10, 20);
    d.expansion_factor = 1.5;

    field2D h0(3, std::vector<double>(4, 10.0));
    field2D h1 = make_field(4, 3, 200.5);
    field2D h2 = make_field(4, 3, 900.75);
    d.horizons = {h0, h1, h2};
    d.horizons_params = {4, 3, 500000.5, 500075.5, 6100000.25, 6100100.25};
    d.densities = {0, 2.35, -0.125};

    d.observed = make_field(6, 2, -3.5);
    d.observed_params = {6, 2, 1, 6, -10, 10};
    d.calculated = make_field(4, 3, 7.25);
    d.calculated_params = {4, 3, 500000.5, 500075.5, 6100000.25, 6100100.25};

    d.layers_names = {QString(), QStringLiteral("Осадочный чехол"), QStringLiteral("basement, 2")};
    d.fixed = {false, true, true};

    d.vp.cells = make_cube(2, 2, 3, 1500.5f);
    d.vp.x = nodes(2, -100, 10);
    d.vp.y = nodes(2, 40, 5);
    d.vp.z = nodes(3, 0, 100);
    d.vs.cells = make_cube(3, 1, 2, 800.25f);
    d.vs.x = nodes(3, 7, 1);
    d.vs.y = {12.5};
    d.vs.z = nodes(2, 5, 5);
    d.regularizer.cells = make_cube(2, 3, 2, -0.75f);
    d.regularizer.x = nodes(2, 0, 1000);
    d.regularizer.y = nodes(3, 0, 500);
    d.regularizer.z = nodes(2, 100, 200);

    d.profiles = {{1, 2, 3, 4}, {523000.125, 6700000.5, 523100, 6700100, 523200.75, 6700050}, {}};

    d.faults.inline_type = true;
    d.faults.names = {QStringLiteral("F1"), QStringLiteral("Разлом 2")};
    d.faults.sticks = {{{{1, 2, 3}, {1.5f, 2.5f, 300}}, {{10, 20, 30}}},
                       {{{523456.78f, 6712345.5f, 0}, {523456.78f, 6712345.5f, 4500.25f}}}};
    d.faults.inlines = {{{100, 100}, {101}}, {{7, 7}}};
    d.faults.crosslines = {{{200, 201}, {202}}, {{-3, 4}}};

    d.has_calc_level = true;
    d.calc_level = -25.5;
    return d;
}

void compare_projects(const ProjectData& a, const ProjectData& b)
{
    QVERIFY(same_cube(a.density, b.density));
    QCOMPARE(a.expansion_factor, b.expansion_factor);
    QCOMPARE(a.horizons, b.horizons);
    QCOMPARE(a.horizons_params, b.horizons_params);
    QCOMPARE(a.densities, b.densities);
    QCOMPARE(a.observed, b.observed);
    QCOMPARE(a.observed_params, b.observed_params);
    QCOMPARE(a.calculated, b.calculated);
    QCOMPARE(a.calculated_params, b.calculated_params);
    QCOMPARE(a.layers_names, b.layers_names);
    QCOMPARE(a.fixed, b.fixed);
    QVERIFY(same_cube(a.vp, b.vp));
    QVERIFY(same_cube(a.vs, b.vs));
    QVERIFY(same_cube(a.regularizer, b.regularizer));
    QCOMPARE(a.profiles, b.profiles);
    QCOMPARE(a.faults.inline_type, b.faults.inline_type);
    QCOMPARE(a.faults.names, b.faults.names);
    QVERIFY(a.faults.sticks == b.faults.sticks);
    QCOMPARE(a.faults.inlines, b.faults.inlines);
    QCOMPARE(a.faults.crosslines, b.faults.crosslines);
    QCOMPARE(a.has_calc_level, b.has_calc_level);
    QCOMPARE(a.calc_level, b.calc_level);
}

// A record that a failed read must leave exactly as it is.
ProjectData sentinel()
{
    ProjectData d;
    d.observed = {{42.0}};
    d.observed_params = {1, 1, 0, 0, 0, 0};
    d.layers_names = {QStringLiteral("kept")};
    d.calc_level = 7;
    return d;
}

bool is_sentinel(const ProjectData& d)
{
    return d.observed == field2D{{42.0}} && d.layers_names == std::vector<QString>{QStringLiteral("kept")} &&
           d.calc_level == 7 && d.density.empty() && d.horizons.empty();
}

}  // namespace

class TestProjectFile : public QObject {
    Q_OBJECT

private slots:
    void goldenTinyProject();
    void goldenSmallBlocks();
    void roundTripEveryBlock();
    void writtenSizeFollowsLayout();
    void blocksInAnyOrder();
    void versionOneCellsAreDoubles();
    void fileWithoutCalculationLevel();
    void layerListsOnePerHorizon_data();
    void layerListsOnePerHorizon();
    void damagedFiles_data();
    void damagedFiles();
    void coordinatesTheViewsCannotHold_data();
    void coordinatesTheViewsCannotHold();
    void sidecarOfAbsurdSize_data();
    void sidecarOfAbsurdSize();
    void writerRefusesWhatTheLayoutCannotHold_data();
    void writerRefusesWhatTheLayoutCannotHold();
    void writerRefusesWhatTheReaderRefuses_data();
    void writerRefusesWhatTheReaderRefuses();
    void failedOrCancelledSaveKeepsOldFile();
    void missingDensitiesAndFaultNumbersWrittenAsZero();
    void names_data();
    void names();
    void effectsSidecar();
    void effectsSidecarOfAnEarlierVersion();
    void effectsSidecarCutShortWhileRead_data();
    void effectsSidecarCutShortWhileRead();
    void layerEffectsSidecar();
};

void TestProjectFile::goldenTinyProject()
{
    // Only a 2 x 2 observed field: version 2, one block (tag 3), the level.
    const QByteArray expected = be32(2) + be32(1) + tiny_observed_block() + be_double(-10);

    ProjectData d;
    d.observed = {{1.5, -2.25}, {3.0, 4.125}};
    d.observed_params = {2, 2, 100, 200, 300, 400, -5, 5};  // a Surfer z range is not stored
    d.calc_level = -10;
    QTemporaryDir dir;
    const QString path = dir.filePath("tiny.3Dproj");
    QVERIFY(write_project_file(path, d));
    QCOMPARE(read_file(path), expected);

    ProjectData back;
    QVERIFY(read_project_file(path, back));
    QCOMPARE(back.version, 2);
    QCOMPARE(back.observed, d.observed);
    QCOMPARE(back.observed_params, (std::vector<double>{2, 2, 100, 200, 300, 400}));
    QVERIFY(back.density.empty() && back.horizons.empty() && back.calculated.empty());
    QVERIFY(back.has_calc_level);
    QCOMPARE(back.calc_level, -10.0);
    QCOMPARE(files_in(dir.path()), QStringList{"tiny.3Dproj"});
}

void TestProjectFile::goldenSmallBlocks()
{
    // Density (2 x 1 x 2 cells), horizons (2 of 1 x 2), names, flags, a
    // profile and a fault, each in its own layout.
    ProjectData d;
    d.density.cells = {{{0.5f, -1.25f}}, {{2.0f, 3.75f}}};
    d.density.x = {10, 20};
    d.density.y = {5};
    d.density.z = {0, 100};
    d.expansion_factor = 0.5;
    d.horizons = {{{0, 0}}, {{50.5, 60.25}}};
    d.horizons_params = {2, 1, 10, 20, 5, 5};
    d.densities = {0, 2.3};
    d.layers_names = {QString(), QStringLiteral("Слой")};
    d.fixed = {false, true};
    d.profiles = {{1, 2, 3, 4}};
    d.faults.names = {QStringLiteral("F")};
    d.faults.sticks = {{{{1, 2, 3}}}};
    d.faults.inlines = {{{9}}};
    d.faults.crosslines = {{{-8}}};
    d.calc_level = 0;

    const QByteArray expected =
        be32(2) + be32(6) +
        be32(1) + cube_block(2, 1, 2, {10, 20, 5, 5, 0, 100}, {0.5f, -1.25f, 2.0f, 3.75f}) + be_double(0.5) +
        be32(2) + be32(2) + be32(2) + be32(1) + doubles({10, 20, 5, 5}) + doubles({0, 2.3}) +
        doubles({0, 0, 50.5, 60.25}) +
        be32(5) + be32(2) + str(QString()) + str(QStringLiteral("Слой")) +
        be32(7) + be32(2) + be_bool(false) + be_bool(true) +
        be32(10) + be32(1) + be32(2) + doubles({1, 2, 3, 4}) +
        be32(11) + be_bool(false) + be32(1) + str(QStringLiteral("F")) + be32(1) + be32(1) + be32(9) + be32(-8) +
        doubles({1, 2, 3}) +
        be_double(0);

    QTemporaryDir dir;
    const QString path = dir.filePath("small.3Dproj");
    QVERIFY(write_project_file(path, d));
    QCOMPARE(read_file(path), expected);

    ProjectData back;
    QVERIFY(read_project_file(path, back));
    QVERIFY(same_cube(back.density, d.density));
    QCOMPARE(back.expansion_factor, 0.5);
    QCOMPARE(back.horizons, d.horizons);
    QCOMPARE(back.densities, d.densities);
    QCOMPARE(back.layers_names, d.layers_names);
    QCOMPARE(back.fixed, d.fixed);
    QCOMPARE(back.profiles, d.profiles);
    QVERIFY(back.faults.sticks == d.faults.sticks);
    QCOMPARE(back.faults.inlines, d.faults.inlines);
    QCOMPARE(back.faults.crosslines, d.faults.crosslines);
    // No calculated-field block: the density block gives the field's nodes.
    QCOMPARE(back.calculated_params, (std::vector<double>{2, 1, 10, 20, 5, 5}));
}

void TestProjectFile::roundTripEveryBlock()
{
    const ProjectData d = populated();
    QTemporaryDir dir;
    const QString path = dir.filePath("full.3Dproj");
    QVERIFY(write_project_file(path, d));

    // Tags written in ascending order, one per data set.
    const QByteArray bytes = read_file(path);
    QCOMPARE(bytes.left(8), be32(2) + be32(11));
    QCOMPARE(bytes.mid(8, 4), be32(1));

    QList<int> notices;
    QList<int> percents;
    ProjectData back;
    const CodecStatus s = read_project_file(path, back, [&](int p) { percents << p; return true; },
                                            [&](int tag) { notices << tag; });
    QVERIFY2(s, qPrintable(s.message()));
    QCOMPARE(notices, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    QVERIFY(!percents.isEmpty());
    QCOMPARE(percents.last(), 100);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    compare_projects(back, d);
}

void TestProjectFile::writtenSizeFollowsLayout()
{
    // Cells take 4 bytes: a 40 x 30 x 20 cube file is the cube block, tag,
    // header and level.
    ProjectData d;
    d.density.cells = make_cube(40, 30, 20);
    d.density.x = nodes(40, 0, 1);
    d.density.y = nodes(30, 0, 1);
    d.density.z = nodes(20, 0, 1);
    QTemporaryDir dir;
    const QString path = dir.filePath("size.3Dproj");
    QList<int> percents;
    QVERIFY(write_project_file(path, d, [&](int p) { percents << p; return true; }));
    QCOMPARE(QFileInfo(path).size(), qint64(8 + 4 + 12 + 48 + 40 * 30 * 20 * 4 + 8 + 8));
    QVERIFY(percents.size() >= 20);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    QCOMPARE(percents.last(), 100);
}

void TestProjectFile::blocksInAnyOrder()
{
    const QByteArray density = be32(1) + cube_block(2, 1, 2, {10, 20, 5, 5, 0, 100}, {1, 2, 3, 4}) + be_double(0);
    const QByteArray calculated = be32(4) + field_block(3, 1, {0, 2, 7, 7}, {1, 2, 3});
    QTemporaryDir dir;

    // 4 then 1: the density block, coming later, sets the calculated geometry.
    const QString a = dir.filePath("a.3Dproj");
    QVERIFY(write_file(a, be32(2) + be32(2) + calculated + density + be_double(-1)));
    ProjectData da;
    QVERIFY(read_project_file(a, da));
    QCOMPARE(da.calculated, (field2D{{1, 2, 3}}));
    QCOMPARE(da.calculated_params, (std::vector<double>{2, 1, 10, 20, 5, 5}));
    QCOMPARE(da.density.cells, (vector3D{{{1, 2}}, {{3, 4}}}));

    // 1 then 4: the calculated block's own geometry.
    const QString b = dir.filePath("b.3Dproj");
    QVERIFY(write_file(b, be32(2) + be32(2) + density + calculated + be_double(-1)));
    ProjectData db;
    QVERIFY(read_project_file(b, db));
    QCOMPARE(db.calculated_params, (std::vector<double>{3, 1, 0, 2, 7, 7}));
}

void TestProjectFile::versionOneCellsAreDoubles()
{
    QByteArray cells;
    for (double v : {0.1, -2.5, 1e-3, 7.0})
        cells += be_double(v);
    const QByteArray bytes = be32(1) + be32(1) + be32(6) + be32(2) + be32(2) + be32(1) +
                             doubles({0, 1, 0, 1, 50, 50}) + cells + be_double(-3);
    QTemporaryDir dir;
    const QString path = dir.filePath("v1.3Dproj");
    QVERIFY(write_file(path, bytes));
    ProjectData d;
    const CodecStatus s = read_project_file(path, d);
    QVERIFY2(s, qPrintable(s.message()));
    QCOMPARE(d.version, 1);
    QCOMPARE(d.vp.cells, (vector3D{{{0.1f, -2.5f}, {1e-3f, 7.0f}}}));
    QCOMPARE(d.vp.z, std::vector<double>{50});
    QCOMPARE(d.calc_level, -3.0);
}

void TestProjectFile::fileWithoutCalculationLevel()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.3Dproj");
    QVERIFY(write_file(path, be32(2) + be32(1) + tiny_observed_block()));
    ProjectData d;
    d.calc_level = 99;
    QVERIFY(read_project_file(path, d));
    QVERIFY(!d.has_calc_level);
    QCOMPARE(d.observed, (field2D{{1.5, -2.25}, {3.0, 4.125}}));
}

void TestProjectFile::layerListsOnePerHorizon_data()
{
    QTest::addColumn<int>("horizons");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<bool>>("flags");
    QTest::addColumn<QStringList>("expectedNames");
    QTest::addColumn<QList<bool>>("expectedFlags");
    QTest::newRow("three horizons, no names or flags")
        << 3 << QStringList{} << QList<bool>{} << QStringList{"", "", ""} << QList<bool>{false, false, false};
    QTest::newRow("five names and flags, three horizons")
        << 3 << QStringList{"a", "b", "c", "d", "e"} << QList<bool>{true, false, true, true, true}
        << QStringList{"a", "b", "c"} << QList<bool>{true, false, true};
    QTest::newRow("one name and flag, three horizons")
        << 3 << QStringList{"a"} << QList<bool>{true} << QStringList{"a", "", ""} << QList<bool>{true, false, false};
    QTest::newRow("names without horizons") << 0 << QStringList{"a", "b"} << QList<bool>{true} << QStringList{}
                                            << QList<bool>{};
}

void TestProjectFile::layerListsOnePerHorizon()
{
    QFETCH(int, horizons);
    QFETCH(QStringList, names);
    QFETCH(QList<bool>, flags);
    QFETCH(QStringList, expectedNames);
    QFETCH(QList<bool>, expectedFlags);

    // Built by hand: a writer always writes consistent lists.
    QByteArray blocks;
    int count = 0;
    if (horizons > 0) {
        blocks += be32(2) + be32(horizons) + be32(1) + be32(1) + doubles({0, 0, 0, 0});
        for (int i = 0; i < horizons; ++i)
            blocks += be_double(2.0 + i);
        for (int i = 0; i < horizons; ++i)
            blocks += be_double(100.0 * i);
        ++count;
    }
    if (!names.isEmpty()) {
        blocks += be32(5) + be32(names.size());
        for (const QString& n : names)
            blocks += str(n);
        ++count;
    }
    if (!flags.isEmpty()) {
        blocks += be32(7) + be32(flags.size());
        for (bool f : flags)
            blocks += be_bool(f);
        ++count;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("layers.3Dproj");
    QVERIFY(write_file(path, be32(2) + be32(count) + blocks + be_double(0)));
    ProjectData d;
    QVERIFY(read_project_file(path, d));
    QCOMPARE(int(d.horizons.size()), horizons);
    QCOMPARE(int(d.densities.size()), horizons);
    QCOMPARE(QStringList(d.layers_names.begin(), d.layers_names.end()), expectedNames);
    QCOMPARE(QList<bool>(d.fixed.begin(), d.fixed.end()), expectedFlags);
}

void TestProjectFile::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CodecError>("error");

    const QByteArray observed = tiny_observed_block();
    const QByteArray density = be32(1) + cube_block(2, 1, 2, {10, 20, 5, 5, 0, 100}, {1, 2, 3, 4}) + be_double(0);
    const QByteArray good = be32(2) + be32(2) + density + observed + be_double(-10);

    QTest::newRow("newer version") << QByteArray(be32(3) + be32(1) + observed + be_double(-10))
                                   << CodecError::Unsupported;
    QTest::newRow("empty file") << QByteArray() << CodecError::Truncated;
    QTest::newRow("cut inside the header") << good.left(6) << CodecError::Truncated;
    QTest::newRow("cut after the header") << good.left(8) << CodecError::BadHeader;
    QTest::newRow("cut inside the cube header") << good.left(8 + 4 + 20) << CodecError::Truncated;
    QTest::newRow("cut inside the cells") << good.left(8 + 4 + 60 + 6) << CodecError::BadHeader;
    QTest::newRow("cut before the expansion factor") << good.left(8 + 4 + 60 + 16) << CodecError::Truncated;
    QTest::newRow("cut inside the second block") << good.left(8 + density.size() + 30) << CodecError::Truncated;
    QTest::newRow("cut inside the calculation level") << good.left(good.size() - 3) << CodecError::Truncated;
    QTest::newRow("unknown tag") << QByteArray(be32(2) + be32(2) + be32(12) + observed + be_double(0))
                                 << CodecError::BadHeader;
    QTest::newRow("tag 0") << QByteArray(be32(2) + be32(1) + be32(0) + be_double(0)) << CodecError::BadHeader;
    QTest::newRow("more blocks than the file holds")
        << QByteArray(be32(2) + be32(3) + observed + be_double(-10)) << CodecError::BadHeader;
    QTest::newRow("absurd block count") << QByteArray(be32(2) + be32(2000000000) + observed)
                                        << CodecError::BadHeader;
    QTest::newRow("negative block count") << QByteArray(be32(2) + be32(-1) + observed) << CodecError::BadHeader;
    QTest::newRow("absurd cube size")
        << QByteArray(be32(2) + be32(1) + be32(1) + be32(100000) + be32(100000) + be32(100000) +
                      doubles({0, 1, 0, 1, 0, 1}) + QByteArray(64, '\0'))
        << CodecError::BadHeader;
    QTest::newRow("cube without cells")
        << QByteArray(be32(2) + be32(1) + be32(6) + be32(0) + be32(1) + be32(1) + doubles({0, 1, 0, 1, 0, 1}) +
                      be_double(0))
        << CodecError::BadHeader;
    QTest::newRow("cube coordinate not a number")
        << QByteArray(be32(2) + be32(1) + be32(6) + be32(1) + be32(1) + be32(1) +
                      doubles({0, std::numeric_limits<double>::quiet_NaN(), 0, 1, 0, 1}) + le_float(1) + be_double(0))
        << CodecError::BadHeader;
    QTest::newRow("negative horizon count")
        << QByteArray(be32(2) + be32(1) + be32(2) + be32(-2) + be32(1) + be32(1) + doubles({0, 0, 0, 0}) +
                      be_double(0))
        << CodecError::BadHeader;
    QTest::newRow("absurd horizon count")
        << QByteArray(be32(2) + be32(1) + be32(2) + be32(2000000000) + be32(2) + be32(2) + doubles({0, 0, 0, 0}) +
                      QByteArray(200, '\0'))
        << CodecError::BadHeader;
    QTest::newRow("absurd field size")
        << QByteArray(be32(2) + be32(1) + be32(3) + field_block(2000000000, 2000000000, {0, 0, 0, 0}, {1}))
        << CodecError::BadHeader;
    QTest::newRow("absurd name count") << QByteArray(be32(2) + be32(1) + be32(5) + be32(1000000) + str("a"))
                                       << CodecError::BadHeader;
    QTest::newRow("absurd name length") << QByteArray(be32(2) + be32(1) + be32(5) + be32(1) + be32(1000000) + "abc")
                                        << CodecError::BadHeader;
    QTest::newRow("negative name length") << QByteArray(be32(2) + be32(1) + be32(5) + be32(1) + be32(-5) + "abc")
                                          << CodecError::BadHeader;
    QTest::newRow("absurd flag count") << QByteArray(be32(2) + be32(1) + be32(7) + be32(1000) + be_bool(true))
                                       << CodecError::BadHeader;
    QTest::newRow("absurd profile points")
        << QByteArray(be32(2) + be32(1) + be32(10) + be32(1) + be32(500000000) + doubles({1, 2}))
        << CodecError::BadHeader;
    QTest::newRow("absurd fault count")
        << QByteArray(be32(2) + be32(1) + be32(11) + be_bool(false) + be32(2000000000) + str("F") + be32(0))
        << CodecError::BadHeader;
    QTest::newRow("absurd stick points")
        << QByteArray(be32(2) + be32(1) + be32(11) + be_bool(false) + be32(1) + str("F") + be32(1) +
                      be32(100000000) + be32(1) + be32(2) + doubles({1, 2, 3}))
        << CodecError::BadHeader;
    QTest::newRow("negative expansion factor")
        << QByteArray(be32(2) + be32(1) + be32(1) + cube_block(1, 1, 1, {0, 0, 0, 0, 0, 0}, {1}) + be_double(-1))
        << CodecError::BadHeader;
}

void TestProjectFile::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CodecError, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.3Dproj");
    QVERIFY(write_file(path, bytes));
    ProjectData d = sentinel();
    const CodecStatus s = read_project_file(path, d);
    QVERIFY(!s);
    QCOMPARE(s.code(), error);
    QVERIFY(!s.message().isEmpty());
    QVERIFY(!s.message(0).isEmpty());
    if (error == CodecError::Unsupported)
        QCOMPARE(s.message(), QStringLiteral("Invalid version of project"));
    else
        QVERIFY2(s.message().contains("damaged.3Dproj"), qPrintable(s.message()));
    QVERIFY(is_sentinel(d));
}

void TestProjectFile::coordinatesTheViewsCannotHold_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refused");  // the value named, empty when the file is read

    auto project = [](const QByteArray& block, double level = -10) {
        return QByteArray(be32(2) + be32(1) + block + be_double(level));
    };
    auto density = [](std::initializer_list<double> bounds) {
        return QByteArray(be32(1) + cube_block(2, 1, 2, bounds, {1, 2, 3, 4}) + be_double(0));
    };
    QTest::newRow("density x first 1e39") << project(density({1e39, 20, 5, 5, 0, 100})) << "1e+39";
    QTest::newRow("density z last -2e15") << project(density({10, 20, 5, 5, 0, -2e15})) << "-2e+15";
    QTest::newRow("density at the limit") << project(density({-1e15, 1e15, 5, 5, 0, 1e15})) << "";
    QTest::newRow("Vp y first 1e20")
        << project(be32(6) + cube_block(1, 2, 1, {0, 0, 1e20, 5, 0, 0}, {1, 2})) << "1e+20";
    QTest::newRow("observed field x max 1e300")
        << project(be32(3) + field_block(2, 1, {0, 1e300, 0, 0}, {1, 2})) << "1e+300";
    QTest::newRow("horizons y min -1e39")
        << project(be32(2) + be32(1) + be32(1) + be32(1) + doubles({0, 0, -1e39, 0}) + doubles({2.5}) + doubles({7}))
        << "-1e+39";
    QTest::newRow("calculation level 1e39") << project(tiny_observed_block(), 1e39) << "1e+39";
    QTest::newRow("fault point 1e39")
        << project(be32(11) + be_bool(false) + be32(1) + str("F") + be32(1) + be32(1) + be32(1) + be32(2) +
                   doubles({1e39, 0, 0}))
        << "1e+39";
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    auto profiles = [&](std::initializer_list<double> xy) {
        return project(be32(10) + be32(1) + be32(qint32(xy.size() / 2)) + doubles(xy));
    };
    QTest::newRow("density x last just beyond the limit")
        << project(density({10, 1.0000001e15, 5, 5, 0, 100})) << "1.0000001e+15";
    // A far profile coordinate drops the scheme; the rest is read.
    QTest::newRow("profile x NaN") << profiles({0, 0, nan, 5}) << "dropped nan";
    QTest::newRow("profile y infinity") << profiles({0, inf, 1, 5}) << "dropped inf";
    QTest::newRow("profile x 1e300") << profiles({1e300, 0, 1, 5}) << "dropped 1e+300";
    QTest::newRow("profile at the limit") << profiles({-1e15, 1e15, 1e15, -1e15}) << "";
}

// A project whose node coordinates the 3D view cannot hold (x from 1e39,
// which one flipped exponent bit gives) is refused with the value named.
void TestProjectFile::coordinatesTheViewsCannotHold()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refused);
    QTemporaryDir dir;
    const QString path = dir.filePath("far.3Dproj");
    QVERIFY(write_file(path, bytes));
    ProjectData d = sentinel();
    const CodecStatus s = read_project_file(path, d);
    if (refused.isEmpty() || refused.startsWith("dropped ")) {
        QVERIFY2(s.ok(), qPrintable(s.message()));
        QCOMPARE(d.profiles_dropped, !refused.isEmpty());
        if (d.profiles_dropped) {
            QVERIFY(d.profiles.empty());
            QCOMPARE(QString::number(d.profiles_far_value), refused.mid(8));
            QCOMPARE(d.calc_level, -10.0);
        }
        return;
    }
    QCOMPARE(s.code(), CodecError::BadHeader);
    QVERIFY2(s.message().contains("far.3Dproj\" holds a coordinate beyond the ±1e+15") &&
                 s.message().contains(": " + refused + " in "),
             qPrintable(s.message()));
    QVERIFY2(s.message(0).contains(refused), qPrintable(s.message(0)));
    QVERIFY(is_sentinel(d));
}

void TestProjectFile::sidecarOfAbsurdSize_data()
{
    QTest::addColumn<qint32>("columns");
    QTest::addColumn<qint32>("rows");
    QTest::addColumn<qint32>("planes");
    const qint32 big = std::numeric_limits<qint32>::max();
    QTest::newRow("largest counts") << big << big << big;
    QTest::newRow("product 2^64 / 16") << qint32(1 << 30) << qint32(1 << 30) << qint32(16);
    QTest::newRow("product just past 2^63 / 16") << qint32(1 << 29) << qint32(1 << 30) << qint32(33);
}

// Header counts whose product of bytes does not fit 64 bits are a short
// file, not an overflow that lets the reader go on.
void TestProjectFile::sidecarOfAbsurdSize()
{
    QFETCH(qint32, columns);
    QFETCH(qint32, rows);
    QFETCH(qint32, planes);
    QTemporaryDir dir;
    const QString eff = dir.filePath("p.eff"), effh = dir.filePath("p.effh");
    const QByteArray bytes = be32(columns) + be32(rows) + be32(planes) + QByteArray(64, '\0');
    QVERIFY(write_file(eff, bytes));
    QVERIFY(write_file(effh, bytes));
    EffectsOperator kept = make_operator(1, 1, 1);
    QCOMPARE(read_effects_sidecar(eff, columns, rows, planes, kept).code(), CodecError::Truncated);
    QCOMPARE(kept.quarter, make_operator(1, 1, 1).quarter);
    std::vector<field2D> kept_layers{field2D{{9.0}}};
    QCOMPARE(read_layer_effects_sidecar(effh, columns, rows, planes, kept_layers).code(), CodecError::Truncated);
    QCOMPARE(kept_layers, (std::vector<field2D>{field2D{{9.0}}}));
}

void TestProjectFile::writerRefusesWhatTheLayoutCannotHold_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("ragged density cube") << 0;
    QTest::newRow("cube without z nodes") << 1;
    QTest::newRow("observed field without geometry") << 2;
    QTest::newRow("horizons without geometry") << 3;
    QTest::newRow("horizons of different sizes") << 4;
}

void TestProjectFile::writerRefusesWhatTheLayoutCannotHold()
{
    QFETCH(int, kind);
    ProjectData d;
    d.density.cells = make_cube(3, 2, 2);
    d.density.x = nodes(3, 0, 1);
    d.density.y = nodes(2, 0, 1);
    d.density.z = nodes(2, 0, 1);
    switch (kind) {
    case 0: d.density.cells[1][1].pop_back(); break;
    case 1: d.density.z.clear(); break;
    case 2: d.observed = make_field(2, 2); d.observed_params = {2, 2}; break;
    case 3: d.horizons = {make_field(3, 2)}; break;
    case 4:
        d.horizons = {make_field(3, 2), make_field(2, 2)};
        d.horizons_params = {3, 2, 0, 2, 0, 1};
        break;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("refused.3Dproj");
    const CodecStatus s = write_project_file(path, d);
    QVERIFY(!s);
    QCOMPARE(s.code(), CodecError::BadGrid);
    QVERIFY(files_in(dir.path()).isEmpty());
}

void TestProjectFile::writerRefusesWhatTheReaderRefuses_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("named");  // the value as the refusal shows it, empty when written
    QTest::newRow("density x last 1e16") << "density x" << 1e16 << "1e+16";
    QTest::newRow("density x last at the limit") << "density x" << 1e15 << "";
    QTest::newRow("density z last just beyond") << "density z" << 1.0000001e15 << "1.0000001e+15";
    QTest::newRow("Vp y first -2e15") << "vp y" << -2e15 << "-2e+15";
    QTest::newRow("horizons x max 1e300") << "horizons" << 1e300 << "1e+300";
    QTest::newRow("observed y max NaN") << "observed" << std::numeric_limits<double>::quiet_NaN() << "nan";
    QTest::newRow("profile point 3e15") << "profiles" << 3e15 << "3e+15";
    QTest::newRow("fault point z 1e20 (as float)") << "faults" << 1e20 << "1.0000000200408773e+20";
    QTest::newRow("calculation level -1e16") << "level" << -1e16 << "-1e+16";
    QTest::newRow("expansion factor infinite") << "expansion" << std::numeric_limits<double>::infinity() << "-";
}

// What the reader refuses is refused before anything is written, the old
// file kept and the value named; at the limit the file is written and read.
void TestProjectFile::writerRefusesWhatTheReaderRefuses()
{
    QFETCH(QString, where);
    QFETCH(double, value);
    QFETCH(QString, named);
    ProjectData d = populated();
    if (where == "density x")
        d.density.x.back() = value;
    else if (where == "density z")
        d.density.z.back() = value;
    else if (where == "vp y")
        d.vp.y.front() = value;
    else if (where == "horizons") {
        d.horizons = {make_field(2, 2)};
        d.horizons_params = {2, 2, 0, value, 0, 1};
    } else if (where == "observed")
        d.observed_params[5] = value;
    else if (where == "profiles")
        d.profiles = {{0, 0, value, 1}};
    else if (where == "faults") {
        d.faults.sticks = {{{FaultPoint{0, 0, float(value)}}}};
        d.faults.names = {"F"};
    } else if (where == "level")
        d.calc_level = value;
    else if (where == "expansion")
        d.expansion_factor = value;
    QTemporaryDir dir;
    const QString path = dir.filePath("far.3Dproj");
    const QByteArray old = be32(2) + be32(1) + tiny_observed_block() + be_double(-10);
    QVERIFY(write_file(path, old));
    const CodecStatus s = write_project_file(path, d);
    if (named.isEmpty()) {
        QVERIFY2(s.ok(), qPrintable(s.message()));
        ProjectData back;
        QVERIFY(read_project_file(path, back).ok());
        return;
    }
    QCOMPARE(s.code(), CodecError::BadGrid);
    QVERIFY2(s.message().startsWith("The project cannot be saved"), qPrintable(s.message()));
    if (named != "-")
        QVERIFY2(s.message().contains("a coordinate of " + named + ", beyond the ±1e+15"), qPrintable(s.message()));
    QCOMPARE(read_file(path), old);
    QCOMPARE(files_in(dir.path()), QStringList{"far.3Dproj"});
}

void TestProjectFile::failedOrCancelledSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.3Dproj");
    const QByteArray old = be32(2) + be32(1) + tiny_observed_block() + be_double(-10);
    QVERIFY(write_file(path, old));

    ProjectData d = populated();
    int calls = 0;
    const CodecStatus s = write_project_file(path, d, [&](int) { return ++calls < 3; });
    QCOMPARE(s.code(), CodecError::Cancelled);
    QCOMPARE(read_file(path), old);
    QCOMPARE(files_in(dir.path()), QStringList{"keep.3Dproj"});

    d.vp.cells[0].pop_back();
    QVERIFY(!write_project_file(path, d));
    QCOMPARE(read_file(path), old);
    QCOMPARE(files_in(dir.path()), QStringList{"keep.3Dproj"});

    // A folder in the way cannot be written over.
    const QString folder = dir.filePath("folder.3Dproj");
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(write_project_file(folder, populated()).code(), CodecError::OpenFailed);
}

void TestProjectFile::missingDensitiesAndFaultNumbersWrittenAsZero()
{
    ProjectData d;
    d.horizons = {{{1.0}}, {{2.0}}};
    d.horizons_params = {1, 1, 0, 0, 0, 0};
    d.densities = {2.5};  // one short
    d.faults.names = {QStringLiteral("F")};
    d.faults.sticks = {{{{1, 2, 3}, {4, 5, 6}}}};
    d.faults.inlines = {{{11}}};  // one short; no crossline numbers at all
    QTemporaryDir dir;
    const QString path = dir.filePath("short.3Dproj");
    QVERIFY(write_project_file(path, d));
    ProjectData back;
    QVERIFY(read_project_file(path, back));
    QCOMPARE(back.densities, (std::vector<double>{2.5, 0}));
    QCOMPARE(back.faults.inlines, (std::vector<std::vector<std::vector<int>>>{{{11, 0}}}));
    QCOMPARE(back.faults.crosslines, (std::vector<std::vector<std::vector<int>>>{{{0, 0}}}));
}

void TestProjectFile::names_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("eff");
    QTest::addColumn<QString>("effh");
    QTest::newRow("with suffix") << "/d/model.3Dproj" << "/d/model.3Dproj" << "model" << "/d/model.eff"
                                 << "/d/model.effh";
    QTest::newRow("suffix in other case") << "/d/Model.3DPROJ" << "/d/Model.3DPROJ" << "Model" << "/d/Model.eff"
                                          << "/d/Model.effh";
    QTest::newRow("no suffix") << "/d/model" << "/d/model.3Dproj" << "model" << "/d/model.eff" << "/d/model.effh";
    QTest::newRow("other suffix") << "/d/a.b.grd" << "/d/a.b.grd.3Dproj" << "a.b.grd" << "/d/a.b.grd.eff"
                                  << "/d/a.b.grd.effh";
    QTest::newRow("dots in the name") << "/d/v1.2.3Dproj" << "/d/v1.2.3Dproj" << "v1.2" << "/d/v1.2.eff"
                                      << "/d/v1.2.effh";
    QTest::newRow("trailing dot") << "/d/model." << "/d/model.3Dproj" << "model" << "/d/model.eff"
                                  << "/d/model.effh";
}

void TestProjectFile::names()
{
    QFETCH(QString, chosen);
    QFETCH(QString, file);
    QFETCH(QString, title);
    QFETCH(QString, eff);
    QFETCH(QString, effh);
    QCOMPARE(project_file_name(chosen), file);
    QCOMPARE(project_display_name(file), title);
    QCOMPARE(project_sidecar_path(file, "eff"), eff);
    QCOMPARE(project_sidecar_path(file, "effh"), effh);
    QCOMPARE(project_file_name(QString()), QString());
}

void TestProjectFile::effectsSidecar()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.eff");
    EffectsOperator e = make_operator(8, 4, 3);
    e.im = make_cube(8, 4, 3, -5.0f);
    // The sidecar's form: the full grids, imaginary parts 0.
    QVERIFY(write_effects_file(path, e, EffectsImaginary::Zero));
    QByteArray bytes = read_file(path);
    QCOMPARE(bytes.size(), 12 + 3 * 4 * 8 * 16);
    QCOMPARE(bytes.mid(12 + 8, 8), be_double(0));
    QVERIFY(bytes == effects_file_bytes(expanded(e)));

    EffectsOperator out;
    QVERIFY(read_effects_sidecar(path, 8, 4, 3, out));
    QCOMPARE(out.quarter, e.quarter);
    QCOMPARE(out.rows, 4);
    QCOMPARE(out.columns, 8);
    QVERIFY(out.im.empty());
    QVERIFY(!out.key.valid);

    // A standalone file with imaginary parts: only the real ones are kept.
    QVERIFY(write_effects_file(path, e, EffectsImaginary::Held));
    EffectsOperator out2;
    QVERIFY(read_effects_sidecar(path, 8, 4, 3, out2));
    QCOMPARE(out2.quarter, e.quarter);
    QVERIFY(out2.im.empty());

    // Sizes of another model, or a damaged file: nothing is taken.
    const EffectsOperator sentinel = make_operator(2, 2, 1, 9.0f);
    EffectsOperator kept = sentinel;
    const int other_sizes[][3] = {{8, 4, 2}, {4, 8, 3}, {8, 4, 4}, {0, 0, 0}};
    for (const auto& size : other_sizes) {
        const CodecStatus s = read_effects_sidecar(path, size[0], size[1], size[2], kept);
        QCOMPARE(s.code(), CodecError::BadHeader);
        QCOMPARE(kept.quarter, sentinel.quarter);
    }
    QVERIFY(write_file(path, bytes.left(bytes.size() - 8)));
    QCOMPARE(read_effects_sidecar(path, 8, 4, 3, kept).code(), CodecError::Truncated);
    QCOMPARE(kept.quarter, sentinel.quarter);
    QVERIFY(!read_effects_sidecar(dir.filePath("missing.eff"), 8, 4, 3, kept));
    QCOMPARE(kept.quarter, sentinel.quarter);

    // Planes that are not even are not an operator's: refused.
    QVERIFY(write_file(path, effects_file_bytes(make_cube(8, 4, 3))));
    QCOMPARE(read_effects_sidecar(path, 8, 4, 3, kept).code(), CodecError::UnknownFormat);
    QCOMPARE(kept.quarter, sentinel.quarter);
    QCOMPARE(kept.rows, 2);
}

void TestProjectFile::effectsSidecarCutShortWhileRead_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("planes_left");  // whole planes the file keeps
    QTest::newRow("one worker, cut after the first plane") << 1 << 1;
    QTest::newRow("four workers, cut after the first plane") << 4 << 1;
    QTest::newRow("four workers, cut inside the last plane") << 4 << 2;
}

// Another program cuts the sidecar short while it is read: a read error
// and nothing taken, never the end of the program (a file mapped into
// memory and cut short under the mapping ends it with SIGBUS).
void TestProjectFile::effectsSidecarCutShortWhileRead()
{
    QFETCH(int, threads);
    QFETCH(int, planes_left);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.eff");
    const int columns = 64, rows = 32, planes = 3;
    QVERIFY(write_effects_file(path, make_operator(columns, rows, planes), EffectsImaginary::Zero));
    const qint64 cut = 12 + qint64(planes_left) * rows * columns * 16 + (planes_left == 2 ? 100 : 0);
    const EffectsOperator sentinel = make_operator(2, 2, 1, 9.0f);
    EffectsOperator kept = sentinel;
    const CodecStatus s = read_effects_sidecar(
        path, columns, rows, planes, kept,
        [&](int) {
            QFile::resize(path, cut);
            return true;
        },
        effects_fold_tolerance, threads);
    QCOMPARE(s.code(), CodecError::ReadFailed);
    QVERIFY2(s.message().contains("p.eff"), qPrintable(s.message()));
    QCOMPARE(kept.quarter, sentinel.quarter);
}

// A sidecar written by an earlier version holds the full grids of an
// operator even only to float rounding: it is read and folded.
void TestProjectFile::effectsSidecarOfAnEarlierVersion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.eff");
    const EffectsOperator e = make_operator(6, 8, 2, -50.0f);
    vector3D re = expanded(e);
    re[1][7][5] = std::nextafter(re[1][7][5], 1e30f);  // the mirror of [1][1][1]
    re[0][0][3] = std::nextafter(re[0][0][3], -1e30f);
    QVERIFY(write_file(path, effects_file_bytes(re)));
    EffectsOperator out;
    QVERIFY(read_effects_sidecar(path, 6, 8, 2, out));
    QCOMPARE(out.levels(), 2);
    for (int k = 0; k < 2; ++k)
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 6; ++c) {
                const float want = e.at(k, r, c);
                QVERIFY(std::fabs(out.at(k, r, c) - want) <= std::fabs(std::nextafter(want, 1e30f) - want));
            }
    // Every mirror holds one value once folded.
    QCOMPARE(out.at(1, 7, 5), out.at(1, 1, 1));
    QCOMPARE(out.at(1, 7, 5), out.at(1, 7, 1));
    // A value that is its own mirror keeps what the file holds.
    QCOMPARE(out.at(0, 0, 3), re[0][0][3]);
}

void TestProjectFile::layerEffectsSidecar()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.effh");
    const std::vector<field2D> layers = {make_field(5, 3, 1), make_field(5, 3, 2)};
    QVERIFY(write_layer_effects_sidecar(path, layers));
    QByteArray expected = be32(5) + be32(3) + be32(2);
    for (const field2D& g : layers)
        for (const auto& row : g)
            for (double v : row)
                expected += be_double(v);
    QCOMPARE(read_file(path), expected);

    std::vector<field2D> out;
    QVERIFY(read_layer_effects_sidecar(path, 5, 3, 2, out));
    QCOMPARE(out, layers);

    std::vector<field2D> kept{field2D{{9.0}}};
    QCOMPARE(read_layer_effects_sidecar(path, 5, 3, 3, kept).code(), CodecError::BadHeader);
    QCOMPARE(read_layer_effects_sidecar(path, 3, 5, 2, kept).code(), CodecError::BadHeader);
    QVERIFY(write_file(path, expected.left(expected.size() - 1)));
    QCOMPARE(read_layer_effects_sidecar(path, 5, 3, 2, kept).code(), CodecError::Truncated);
    QCOMPARE(kept, (std::vector<field2D>{field2D{{9.0}}}));

    // Grids of different sizes are refused.
    QVERIFY(!write_layer_effects_sidecar(path, {make_field(2, 2), make_field(3, 2)}));
    QVERIFY(!write_layer_effects_sidecar(path, {}));
}

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_project_file.moc"
