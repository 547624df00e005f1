// Re-normalisation of the regularizer: the three modes, the stored offsets
// and scale, and the raw grid given back for saving.
#include "editing/regularizer.h"

#include <QtTest>

#include <cmath>
#include <cstring>

using regularizers::RecalcMode;

Q_DECLARE_METATYPE(RecalcMode)

namespace {

// Two levels of 2 x 3 cells; level means 0.2 and 0.4, level minima 0.05 and -0.3.
vector3D loaded()
{
    return {{{0.05f, 0.1f, 0.15f}, {0.25f, 0.3f, 0.35f}}, {{-0.3f, 0.4f, 0.5f}, {0.6f, 0.7f, 0.5f}}};
}

double level_mean(const vector2D& level)
{
    double s = 0;
    std::size_t n = 0;
    for (const auto& row : level)
        for (float v : row)
            s += v, ++n;
    return s / n;
}

double largest_magnitude(const vector3D& g)
{
    double m = 0;
    for (const auto& level : g)
        for (const auto& row : level)
            for (float v : row)
                m = std::max(m, std::fabs(double(v)));
    return m;
}

// Largest difference between two cubes of one shape.
double max_difference(const vector3D& a, const vector3D& b)
{
    double d = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t j = 0; j < a[k].size(); ++j)
            for (std::size_t i = 0; i < a[k][j].size(); ++i)
                d = std::max(d, std::fabs(double(a[k][j][i]) - double(b[k][j][i])));
    return d;
}

}  // namespace

class TestRegularizer : public QObject {
    Q_OBJECT

private slots:
    void modes_data();
    void modes();
    void invariantGivesBackTheLoadedGrid_data();
    void invariantGivesBackTheLoadedGrid();
    void repeatingAModeGivesTheSameGrid();
    void modesInAnyOrder();
    void deleteMeansStoresTheMeans();
    void allZeroGridKeepsScaleOne();
    void unusableScaleIsTakenAsOne();
    void emptyOrRaggedGridIsLeftAlone();
    void denormalizedLeavesTheStoredGridAlone();
    void fileGetsTheValuesRead_data();
    void fileGetsTheValuesRead();
};

void TestRegularizer::modes_data()
{
    QTest::addColumn<RecalcMode>("mode");
    QTest::newRow("initial") << RecalcMode::Initial;
    QTest::newRow("delete means") << RecalcMode::DeleteMeans;
    QTest::newRow("delete mins") << RecalcMode::DeleteMins;
}

// Every mode ends with the largest magnitude at 1 and records what it removed.
void TestRegularizer::modes()
{
    QFETCH(RecalcMode, mode);
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, mode));
    QVERIFY(std::fabs(largest_magnitude(g) - 1.0) < 1e-6);
    switch (mode) {
    case RecalcMode::Initial:
        QVERIFY(offsets.empty());
        QVERIFY(std::fabs(scale - 1 / 0.7) < 1e-6);  // largest cell 0.7
        break;
    case RecalcMode::DeleteMeans:
        QCOMPARE(offsets.size(), std::size_t(2));
        for (const auto& level : g)
            QVERIFY(std::fabs(level_mean(level)) < 1e-6);
        break;
    case RecalcMode::DeleteMins:
        QCOMPARE(offsets.size(), std::size_t(2));
        QCOMPARE(offsets[0], double(0.05f));
        QCOMPARE(offsets[1], double(-0.3f));
        for (const auto& level : g) {
            float low = level[0][0];
            for (const auto& row : level)
                for (float v : row)
                    low = std::min(low, v);
            QCOMPARE(low, 0.0f);
        }
        break;
    }
}

void TestRegularizer::invariantGivesBackTheLoadedGrid_data() { modes_data(); }

// cell / scale + offset of its level gives back the loaded grid.
void TestRegularizer::invariantGivesBackTheLoadedGrid()
{
    QFETCH(RecalcMode, mode);
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, mode));
    const vector3D raw = loaded();
    for (std::size_t k = 0; k < g.size(); ++k)
        for (std::size_t j = 0; j < g[k].size(); ++j)
            for (std::size_t i = 0; i < g[k][j].size(); ++i) {
                const double back = g[k][j][i] / scale + (offsets.empty() ? 0.0 : offsets[k]);
                QVERIFY2(std::fabs(back - raw[k][j][i]) < 1e-6, qPrintable(QString::number(back)));
            }
    QVERIFY(max_difference(regularizers::denormalized_regularizer(g, offsets, scale), raw) < 1e-6);
}

void TestRegularizer::repeatingAModeGivesTheSameGrid()
{
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::DeleteMins));
    const vector3D first = g;
    const std::vector<double> first_offsets = offsets;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::DeleteMins));
    QVERIFY(max_difference(g, first) < 1e-6);
    QCOMPARE(offsets.size(), first_offsets.size());
    for (std::size_t k = 0; k < offsets.size(); ++k)
        QVERIFY(std::fabs(offsets[k] - first_offsets[k]) < 1e-6);
}

void TestRegularizer::modesInAnyOrder()
{
    // Means, then mins, then initial: the same as initial straight away.
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    for (RecalcMode m : {RecalcMode::DeleteMeans, RecalcMode::DeleteMins, RecalcMode::Initial})
        QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, m));
    vector3D direct = loaded();
    std::vector<double> direct_offsets;
    double direct_scale = 1;
    QVERIFY(regularizers::recalc_regularizer(direct, direct_offsets, direct_scale, RecalcMode::Initial));
    QVERIFY(max_difference(g, direct) < 1e-6);
    QVERIFY(offsets.empty());
    QVERIFY(std::fabs(scale - direct_scale) < 1e-5);
}

void TestRegularizer::deleteMeansStoresTheMeans()
{
    // A loaded two-level regularizer whose level means are 0.2 and 0.4.
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::DeleteMeans));
    QCOMPARE(offsets.size(), std::size_t(2));
    QVERIFY(std::fabs(offsets[0] - 0.2) < 1e-7);
    QVERIFY(std::fabs(offsets[1] - 0.4) < 1e-7);
    // The largest magnitude after removing the means: level 1, -0.3 - 0.4.
    QVERIFY(std::fabs(scale - 1 / 0.7) < 1e-5);
}

void TestRegularizer::allZeroGridKeepsScaleOne()
{
    // Constant levels lose everything to "delete means": nothing to scale.
    // Stored with an older scale 3: the raw levels are 2 and 5.
    vector3D g = {{{6, 6}, {6, 6}}, {{15, 15}, {15, 15}}};
    std::vector<double> offsets;
    double scale = 3;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::DeleteMeans));
    QCOMPARE(scale, 1.0);
    QCOMPARE(offsets, (std::vector<double>{2, 5}));
    for (const auto& level : g)
        for (const auto& row : level)
            for (float v : row)
                QVERIFY(std::isfinite(v) && v == 0.0f);
}

void TestRegularizer::unusableScaleIsTakenAsOne()
{
    for (double bad : {0.0, std::nan(""), HUGE_VAL}) {
        vector3D g = loaded();
        std::vector<double> offsets;
        double scale = bad;
        QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::Initial));
        QVERIFY(std::fabs(scale - 1 / 0.7) < 1e-6);
        QVERIFY(std::fabs(largest_magnitude(g) - 1.0) < 1e-6);
    }
}

void TestRegularizer::emptyOrRaggedGridIsLeftAlone()
{
    vector3D empty;
    std::vector<double> offsets{1, 2};
    double scale = 4;
    QVERIFY(!regularizers::recalc_regularizer(empty, offsets, scale, RecalcMode::DeleteMeans));
    QCOMPARE(offsets, (std::vector<double>{1, 2}));
    QCOMPARE(scale, 4.0);

    vector3D ragged = loaded();
    ragged[1][1].pop_back();
    const vector3D before = ragged;
    QVERIFY(!regularizers::recalc_regularizer(ragged, offsets, scale, RecalcMode::DeleteMeans));
    QCOMPARE(ragged, before);
}

void TestRegularizer::denormalizedLeavesTheStoredGridAlone()
{
    vector3D g = loaded();
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::DeleteMeans));
    const vector3D stored = g;
    const vector3D raw = regularizers::denormalized_regularizer(g, offsets, scale);
    QCOMPARE(g, stored);  // bit for bit
    QVERIFY(max_difference(raw, loaded()) < 1e-6);
    // Offsets that do not match the levels are not added.
    const vector3D scaled_only = regularizers::denormalized_regularizer(g, {1, 2, 3}, scale);
    QVERIFY(std::fabs(scaled_only[0][0][0] - g[0][0][0] / scale) < 1e-6);
    QVERIFY(regularizers::denormalized_regularizer(vector3D(), offsets, scale).empty());
}

// The values read go back to a file exactly while the grid derives from them,
// whatever the mode and however often it was switched; a grid changed since,
// or read values of another shape, give the de-normalised grid instead.
void TestRegularizer::fileGetsTheValuesRead_data()
{
    QTest::addColumn<int>("case_kind");
    QTest::newRow("initial") << 0;
    QTest::newRow("means, mins, initial, means") << 1;
    QTest::newRow("a cell changed since") << 2;
    QTest::newRow("read values of another shape") << 3;
    QTest::newRow("nothing read") << 4;
    QTest::newRow("NaN cell read") << 5;
}

void TestRegularizer::fileGetsTheValuesRead()
{
    QFETCH(int, case_kind);
    vector3D read = loaded();
    // Values that no scale keeps exactly.
    for (auto& level : read)
        for (auto& row : level)
            for (float& v : row)
                v = v * 3.1f + 0.0123f;
    if (case_kind == 5)
        read[1][0][2] = std::nanf("");
    vector3D g = read;
    std::vector<double> offsets;
    double scale = 1;
    QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, RecalcMode::Initial));
    if (case_kind == 1)
        for (RecalcMode m : {RecalcMode::DeleteMeans, RecalcMode::DeleteMins, RecalcMode::Initial,
                             RecalcMode::DeleteMeans})
            QVERIFY(regularizers::recalc_regularizer(g, offsets, scale, m));
    if (case_kind == 2)
        g[0][1][1] = 0.5f * g[0][1][1] + 0.25f;
    const vector3D stored = g;
    vector3D given_read = read;
    if (case_kind == 3)
        given_read.pop_back();
    if (case_kind == 4)
        given_read.clear();

    const vector3D file = regularizers::regularizer_for_file(g, offsets, scale, given_read);
    for (std::size_t k = 0; k < g.size(); ++k)  // the stored grid is untouched, bit for bit (NaN too)
        for (std::size_t j = 0; j < g[k].size(); ++j)
            QVERIFY(std::memcmp(g[k][j].data(), stored[k][j].data(), g[k][j].size() * sizeof(float)) == 0);
    const vector3D denormalised = regularizers::denormalized_regularizer(g, offsets, scale);
    const bool exact = case_kind == 0 || case_kind == 1 || case_kind == 5;
    QCOMPARE(file.size(), read.size());
    bool same_as_read = true, same_as_denormalised = true;
    for (std::size_t k = 0; k < read.size(); ++k)
        for (std::size_t j = 0; j < read[k].size(); ++j)
            for (std::size_t i = 0; i < read[k][j].size(); ++i) {
                const float v = file[k][j][i];
                same_as_read = same_as_read && (std::memcmp(&v, &read[k][j][i], sizeof v) == 0);
                same_as_denormalised =
                    same_as_denormalised && (std::memcmp(&v, &denormalised[k][j][i], sizeof v) == 0);
            }
    if (exact)
        QVERIFY(same_as_read);
    else
        QVERIFY(same_as_denormalised);
}

QTEST_GUILESS_MAIN(TestRegularizer)
#include "tst_regularizer.moc"
