// The expanded grid and memory estimate of the preferences, and the checks on
// the expansion factor, without a display.

#include "engine/model_size_estimate.h"

#include <QElapsedTimer>
#include <QtTest>
#include <cmath>

Q_DECLARE_METATYPE(ExpansionFactorStatus)

class TestPreferencesEstimate : public QObject
{
    Q_OBJECT

private slots:
    void estimate_data();
    void estimate();
    void rejected_data();
    void rejected();
    void acceptedBounds_data();
    void acceptedBounds();
    void paddedGridMustFitInMemory();
    void recordValuesAreChecked_data();
    void recordValuesAreChecked();
};

void TestPreferencesEstimate::estimate_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mx");
    QTest::addColumn<int>("my");

    // 100 x 60 x 20 model, factor 0: 128 x 64; factor 1: 300 and 180 nodes -> 512 x 256.
    QTest::newRow("100x60x20 p=0") << 100 << 60 << 20 << "0" << 128 << 64;
    QTest::newRow("100x60x20 p=1") << 100 << 60 << 20 << "1" << 512 << 256;
    // No density grid: 1 x 1 x 0.
    QTest::newRow("no model p=2") << 0 << 0 << 0 << "2" << 1 << 1;
    QTest::newRow("no model p=100") << 0 << 0 << 0 << "100" << 1 << 1;
    QTest::newRow("single node") << 1 << 1 << 1 << "0" << 1 << 1;
    QTest::newRow("exact powers") << 128 << 64 << 3 << "0" << 128 << 64;
    QTest::newRow("one above a power") << 129 << 65 << 3 << "0" << 256 << 128;
    QTest::newRow("p=0.5 doubles") << 100 << 64 << 5 << "0.5" << 256 << 128;
    QTest::newRow("p=2 five times") << 100 << 60 << 10 << "2" << 512 << 512;
    QTest::newRow("fractional product") << 3 << 5 << 1 << "0.25" << 8 << 8;  // 4.5 -> 8, 7.5 -> 8
    QTest::newRow("blanks around") << 100 << 60 << 20 << "  1  " << 512 << 256;
    QTest::newRow("exponent form") << 100 << 60 << 20 << "1e0" << 512 << 256;
    QTest::newRow("minus zero") << 100 << 60 << 20 << "-0" << 128 << 64;
    QTest::newRow("cap with a model") << 10 << 10 << 1 << "100" << 2048 << 2048;  // 2010 -> 2048
    QTest::newRow("negative counts") << -5 << -1 << -3 << "1" << 1 << 1;
}

void TestPreferencesEstimate::estimate()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(QString, text);
    QFETCH(int, mx);
    QFETCH(int, my);

    const ExpandedModelEstimate e = estimate_expanded_model(text, nx, ny, nz, 0);
    QCOMPARE(e.status, ExpansionFactorStatus::Ok);
    QVERIFY(e.ok());
    QCOMPARE(e.mx, mx);
    QCOMPARE(e.my, my);
    QCOMPARE(e.nz, std::max(nz, 0));
    QVERIFY(!std::signbit(e.factor));
    // The need of the inversion on the expanded grid, in units of 2^30 bytes.
    const double expected =
        inversion_need_bytes(RunSize{std::max(nx, 0), std::max(ny, 0), std::max(nz, 0), mx, my, 1}, {})
        / 1024.0 / 1024.0 / 1024.0;
    QCOMPARE(e.memory_gb, expected);
    // With options and workers, the figure their run needs.
    InversionMemoryOptions blend;
    blend.reference = true;
    blend.fill_stage = true;
    const ExpandedModelEstimate b = estimate_expanded_model(text, nx, ny, nz, 0, 4, blend);
    QCOMPARE(b.memory_gb, inversion_need_bytes(RunSize{std::max(nx, 0), std::max(ny, 0), std::max(nz, 0), mx, my, 4},
                                               blend)
                              / 1024.0 / 1024.0 / 1024.0);
    QCOMPARE(e.grid_bytes, double(mx) * my * std::max(nz, 1) * 4.0);
}

void TestPreferencesEstimate::rejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ExpansionFactorStatus>("status");

    QTest::newRow("negative") << "-1" << ExpansionFactorStatus::Negative;
    QTest::newRow("small negative") << "-0.001" << ExpansionFactorStatus::Negative;
    QTest::newRow("nan") << "nan" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("NaN") << "NaN" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("inf") << "inf" << ExpansionFactorStatus::NotFinite;
    QTest::newRow("-inf") << "-inf" << ExpansionFactorStatus::NotFinite;
    QTest::newRow("text") << "abc" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("empty") << "" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("blank") << "   " << ExpansionFactorStatus::NotANumber;
    QTest::newRow("trailing text") << "2x" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("decimal comma") << "1,5" << ExpansionFactorStatus::NotANumber;
    QTest::newRow("above the cap") << "100.001" << ExpansionFactorStatus::AboveLimit;
    QTest::newRow("huge") << "1e300" << ExpansionFactorStatus::AboveLimit;
}

void TestPreferencesEstimate::rejected()
{
    QFETCH(QString, text);
    QFETCH(ExpansionFactorStatus, status);

    QElapsedTimer clock;
    clock.start();
    const ExpandedModelEstimate e = estimate_expanded_model(text, 100, 60, 20, 0);
    QVERIFY(clock.elapsed() < 1000);  // no doubling loop on an unbounded target
    // "1e400" style overflows are either unreadable or infinite; both are refused.
    QCOMPARE(e.status, status);
    QVERIFY(!e.ok());
    QVERIFY(!e.hasSizes());
    QCOMPARE(e.mx, 1);
    QCOMPARE(e.my, 1);
}

void TestPreferencesEstimate::acceptedBounds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("cap") << "100" << 100.0;
    QTest::newRow("tiny") << "1e-3" << 0.001;
    QTest::newRow("fraction") << "1.5" << 1.5;
}

void TestPreferencesEstimate::acceptedBounds()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    double read = -1;
    QCOMPARE(parse_expansion_factor(text, &read), ExpansionFactorStatus::Ok);
    QCOMPARE(read, value);
}

void TestPreferencesEstimate::paddedGridMustFitInMemory()
{
    // 1000 x 1000 x 100 nodes with factor 10: 21000 -> 32768 on both axes,
    // 32768^2 * 100 * 4 bytes = 400 GiB.
    const uint64_t gib = uint64_t(1) << 30;
    ExpandedModelEstimate e = estimate_expanded_model(QStringLiteral("10"), 1000, 1000, 100, 16 * gib);
    QCOMPARE(e.status, ExpansionFactorStatus::DoesNotFitMemory);
    QVERIFY(e.hasSizes());
    QCOMPARE(e.mx, 32768);
    QCOMPARE(e.grid_bytes, 400.0 * gib);
    // The same grid on a machine with enough memory, or with the memory unknown.
    QVERIFY(estimate_expanded_model(QStringLiteral("10"), 1000, 1000, 100, 512 * gib).ok());
    QVERIFY(estimate_expanded_model(QStringLiteral("10"), 1000, 1000, 100, 0).ok());
    // The limit is inclusive: exactly the machine's memory fits.
    e = estimate_expanded_model(QStringLiteral("0"), 1024, 1024, 256, gib);
    QCOMPARE(e.status, ExpansionFactorStatus::Ok);
    e = estimate_expanded_model(QStringLiteral("0"), 1024, 1024, 257, gib);
    QCOMPARE(e.status, ExpansionFactorStatus::DoesNotFitMemory);
}

void TestPreferencesEstimate::recordValuesAreChecked_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<ExpansionFactorStatus>("status");
    QTest::newRow("0") << 0.0 << ExpansionFactorStatus::Ok;
    QTest::newRow("2") << 2.0 << ExpansionFactorStatus::Ok;
    QTest::newRow("nan") << std::nan("") << ExpansionFactorStatus::NotANumber;
    QTest::newRow("inf") << HUGE_VAL << ExpansionFactorStatus::NotFinite;
    QTest::newRow("-1") << -1.0 << ExpansionFactorStatus::Negative;
    QTest::newRow("1000") << 1000.0 << ExpansionFactorStatus::AboveLimit;
}

void TestPreferencesEstimate::recordValuesAreChecked()
{
    QFETCH(double, value);
    QFETCH(ExpansionFactorStatus, status);
    QCOMPARE(check_expansion_factor(value), status);
    QCOMPARE(estimate_expanded_model(value, 100, 60, 20, 0).status, status);
}

QTEST_GUILESS_MAIN(TestPreferencesEstimate)
#include "tst_preferences_estimate.moc"
