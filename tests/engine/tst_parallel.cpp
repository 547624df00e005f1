// Worker-thread routines: results independent of the thread count, the
// splitting rule, and the arithmetic of each routine.
#include "engine/fft.h"
#include "engine/parallel.h"
#include "grid_compare_support.h"

#include <QtTest>

#include <cstring>
#include <mutex>
#include <random>
#include <thread>

namespace {

vector3D random_cube(size_t levels, size_t rows, size_t cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    vector3D c(levels, vector2D(rows, std::vector<float>(cols)));
    for (auto& l : c)
        for (auto& r : l)
            for (float& v : r)
                v = u(gen);
    return c;
}

// A stored operator of random values (its quarter; every other value is a
// mirror of one of these).
EffectsOperator random_operator(int levels, int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    EffectsOperator op;
    op.shape(levels, rows, cols);
    for (auto& q : op.quarter)
        for (float& v : q)
            v = u(gen);
    return op;
}

field2D random_field(size_t rows, size_t cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    field2D f(rows, std::vector<double>(cols));
    for (auto& r : f)
        for (double& v : r)
            v = u(gen);
    return f;
}

} // namespace

class TestParallel : public QObject
{
    Q_OBJECT

private slots:
    void split_ranges_data();
    void split_ranges();
    void accumulate_data();
    void accumulate();
    void accumulate_ignores_imaginary_operator();
    void stale_operator_is_never_overrun();
    void update_data();
    void update();
    void fft_layers_data();
    void fft_layers();
};

void TestParallel::split_ranges_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("expected");
    QTest::newRow("8 threads 5 rows") << 5 << 8 << "0-0 0-1 1-1 1-2 2-3 3-3 3-4 4-5";
    QTest::newRow("1 thread") << 5 << 1 << "0-5";
    QTest::newRow("3 threads 10") << 10 << 3 << "0-3 3-6 6-10";
    QTest::newRow("zero threads as one") << 4 << 0 << "0-4";
    QTest::newRow("negative threads as one") << 4 << -3 << "0-4";
    QTest::newRow("no items") << 0 << 2 << "0-0 0-0";
}

void TestParallel::split_ranges()
{
    QFETCH(int, items);
    QFETCH(int, threads);
    QFETCH(QString, expected);
    std::mutex m;
    std::vector<std::pair<size_t, size_t>> ranges;
    std::vector<int> hits(size_t(items), 0);
    run_split(size_t(items), threads, [&](size_t b, size_t e) {
        std::lock_guard<std::mutex> lock(m);
        ranges.emplace_back(b, e);
        for (size_t i = b; i < e; ++i)
            ++hits[i];
    });
    std::sort(ranges.begin(), ranges.end());
    QStringList got;
    for (const auto& r : ranges)
        got << QString("%1-%2").arg(r.first).arg(r.second);
    QCOMPARE(got.join(' '), expected);
    for (int h : hits)
        QCOMPARE(h, 1);
    // The workers a split makes: its non-empty ranges (one when there is
    // nothing to split).
    const auto non_empty = std::count_if(ranges.begin(), ranges.end(), [](const auto& r) { return r.first < r.second; });
    QCOMPARE(split_workers(size_t(items), threads), size_t(std::max<std::ptrdiff_t>(1, non_empty)));
}

void TestParallel::accumulate_data()
{
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("5 rows") << 4 << 5 << 16;
    QTest::newRow("64x32x7") << 7 << 64 << 32;
    QTest::newRow("one row") << 3 << 1 << 8;
}

void TestParallel::accumulate()
{
    QFETCH(int, levels);
    QFETCH(int, rows);
    QFETCH(int, cols);
    const EffectsOperator op = random_operator(levels, rows, cols, 1);
    const vector3D mr = random_cube(levels, rows, cols, 2);
    const vector3D mi = random_cube(levels, rows, cols, 3);

    // Reference: products in float, sums in double, levels in order.
    field2D ref_re(rows, std::vector<double>(cols, 0.0)), ref_im = ref_re;
    for (int l = 0; l < levels; ++l)
        for (int r = 0; r < rows; ++r)
            for (int k = 0; k < cols; ++k) {
                ref_re[r][k] += double(float(op.at(l, r, k) * mr[l][r][k]));
                ref_im[r][k] += double(float(op.at(l, r, k) * mi[l][r][k]));
            }

    for (int t : {1, 2, 3, 8, 100, 0, -1}) {
        // Outputs start as garbage: every cell must be overwritten.
        field2D out_re(rows, std::vector<double>(cols, 123.0)), out_im = out_re;
        parallel_accumulate_effects(op, mr, mi, out_re, out_im, t);
        QVERIFY2(bit_identical(out_re, ref_re), qPrintable(QString("threads %1").arg(t)));
        QVERIFY2(bit_identical(out_im, ref_im), qPrintable(QString("threads %1").arg(t)));
    }
}

void TestParallel::accumulate_ignores_imaginary_operator()
{
    // Only the operator's real values take part: imaginary parts an effects
    // file brought beside them change no sum, and a real model spectrum
    // gives imaginary sums of zero.
    const EffectsOperator op = random_operator(2, 4, 8, 4);
    EffectsOperator with_im = op;
    with_im.im = random_cube(2, 4, 8, 7);
    const vector3D mr = random_cube(2, 4, 8, 5);
    const vector3D mi = random_cube(2, 4, 8, 6);
    field2D a(4, std::vector<double>(8)), b = a, c = a, d = a, e = a, f = a;
    parallel_accumulate_effects(op, mr, mi, a, b, 2);
    parallel_accumulate_effects(with_im, mr, mi, e, f, 2);
    QVERIFY(bit_identical(a, e));
    QVERIFY(bit_identical(b, f));
    vector3D zero_mi(2, vector2D(4, std::vector<float>(8, 0.0f)));
    parallel_accumulate_effects(op, mr, zero_mi, c, d, 2);
    QVERIFY(bit_identical(a, c));
    for (const auto& r : d)
        for (double v : r)
            QCOMPARE(v, 0.0);
}

void TestParallel::stale_operator_is_never_overrun()
{
    // An operator left from another grid (fewer levels, rows or columns) is
    // used as far as it goes and never read past its end.
    const vector3D mr = random_cube(4, 6, 8, 20);
    const vector3D mi = random_cube(4, 6, 8, 21);
    const EffectsOperator few_levels = random_operator(3, 6, 8, 22);
    field2D a(6, std::vector<double>(8, 9.0)), b = a;
    parallel_accumulate_effects(few_levels, mr, mi, a, b, 3);
    double expected = 0.0;
    for (int l = 0; l < 3; ++l)
        expected += double(float(few_levels.at(l, 5, 7) * mr[l][5][7]));
    QCOMPARE(a[5][7], expected);

    const EffectsOperator few_rows = random_operator(4, 2, 4, 23);
    field2D c(6, std::vector<double>(8, 9.0)), d = c;
    parallel_accumulate_effects(few_rows, mr, mi, c, d, 2);
    QCOMPARE(c[5][7], 0.0); // zeroed, nothing to add
    QVERIFY(c[1][3] != 0.0);

    vector3D ur = mr, ui = mi;
    const field2D fr = random_field(6, 8, 24), fi = random_field(6, 8, 25);
    parallel_update_model(few_rows, ur, ui, fr, fi, {1, 1, 1, 1}, 2);
    QCOMPARE(ur[0][5][7], mr[0][5][7]); // outside the operator: unchanged
    QVERIFY(ur[0][1][3] != mr[0][1][3]);
    const vector2D level3 = ur[3];
    parallel_update_model(few_levels, ur, ui, fr, fi, {1, 1, 1, 1}, 2);
    QVERIFY(bit_identical(ur[3], level3)); // no operator level for it
}

void TestParallel::update_data()
{
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("5 levels") << 5 << 8 << 8;
    QTest::newRow("13 levels") << 13 << 16 << 4;
    QTest::newRow("1 level") << 1 << 4 << 4;
}

void TestParallel::update()
{
    QFETCH(int, levels);
    QFETCH(int, rows);
    QFETCH(int, cols);
    const EffectsOperator op = random_operator(levels, rows, cols, 7);
    const vector3D mr0 = random_cube(levels, rows, cols, 8);
    const vector3D mi0 = random_cube(levels, rows, cols, 9);
    const field2D fr = random_field(rows, cols, 10);
    const field2D fi = random_field(rows, cols, 11);
    std::vector<double> w(levels);
    for (int l = 0; l < levels; ++l)
        w[l] = 0.01 * (l + 1);
    w[levels / 2] = 0.0; // this level must stay bit-for-bit unchanged

    vector3D ref_re = mr0, ref_im = mi0;
    for (int l = 0; l < levels; ++l) {
        if (w[l] == 0.0)
            continue;
        for (int r = 0; r < rows; ++r)
            for (int k = 0; k < cols; ++k) {
                const double o = op.at(l, r, k);
                ref_re[l][r][k] = float(double(mr0[l][r][k]) - o * fr[r][k] * w[l]);
                ref_im[l][r][k] = float(double(mi0[l][r][k]) - o * fi[r][k] * w[l]);
            }
    }

    for (int t : {1, 2, 3, 8, 100, 0}) {
        vector3D mr = mr0, mi = mi0;
        parallel_update_model(op, mr, mi, fr, fi, w, t);
        QVERIFY2(bit_identical(mr, ref_re), qPrintable(QString("threads %1").arg(t)));
        QVERIFY2(bit_identical(mi, ref_im), qPrintable(QString("threads %1").arg(t)));
        QVERIFY(bit_identical(mr[levels / 2], mr0[levels / 2]));
        QVERIFY(bit_identical(mi[levels / 2], mi0[levels / 2]));
    }
}

void TestParallel::fft_layers_data()
{
    QTest::addColumn<int>("direction");
    QTest::newRow("forward") << int(fft_forward);
    QTest::newRow("inverse") << int(fft_inverse);
}

void TestParallel::fft_layers()
{
    QFETCH(int, direction);
    const int levels = 5;
    const vector3D re0 = random_cube(levels, 16, 32, 12);
    const vector3D im0 = random_cube(levels, 16, 32, 13);
    vector3D ref_re = re0, ref_im = im0;
    for (int l = 0; l < levels; ++l)
        fft_2d(ref_re[l], ref_im[l], direction);
    for (int t : {1, 2, 3, 8, 100, 0}) {
        vector3D re = re0, im = im0;
        parallel_fft_layers(re, im, direction, t);
        QVERIFY2(bit_identical(re, ref_re), qPrintable(QString("threads %1").arg(t)));
        QVERIFY2(bit_identical(im, ref_im), qPrintable(QString("threads %1").arg(t)));
    }
}

QTEST_APPLESS_MAIN(TestParallel)
#include "tst_parallel.moc"
