// The exchange with the machine-learning scripts, without a display: script
// arguments, how their printed output is read, the feature file writer's
// progress and refusals, and the check of a predicted cube's lattice.

#include "ml/ml_exchange.h"
#include "test_nodes.h"

#include <QBuffer>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(MlTrainOutput::Kind)
Q_DECLARE_METATYPE(MlPredictVerdict)
Q_DECLARE_METATYPE(MlFeatureStatus)

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

} // namespace

class TestMlExchange : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setMlBinDir(QString()); }

    void locations();
    void trainArguments();
    void predictArguments();

    void trainOutputKinds_data();
    void trainOutputKinds();
    void trainScoresAndFlags();
    void emptyTokensShiftPositions();
    void trainSamples();
    void trainSamplesNeverPastTheTokens_data();
    void trainSamplesNeverPastTheTokens();

    void predictVerdicts_data();
    void predictVerdicts();

    void featureSource_data();
    void featureSource();
    void featureProgressAndStop();
    void featureRefusals_data();
    void featureRefusals();
    void headerReadBack();

    void resultLattice_data();
    void resultLattice();
};

void TestMlExchange::locations()
{
    QCOMPARE(mlBinDir(), QCoreApplication::applicationDirPath() + "/bin");
    QCOMPARE(mlPredictScriptPath(), QCoreApplication::applicationDirPath() + "/bin/code2.py");
    setMlBinDir("/somewhere/bin");
    QCOMPARE(mlTrainScriptPath(), QStringLiteral("/somewhere/bin/code.py"));
    QCOMPARE(mlPredictScriptPath(), QStringLiteral("/somewhere/bin/code2.py"));
    QCOMPARE(mlFeatureFilePath(), QStringLiteral("/somewhere/bin/xdata.bin"));
    QCOMPARE(mlResultFilePath(), QStringLiteral("/somewhere/bin/res.3Dgrd"));
    QCOMPARE(mlScratchFilePath(), QStringLiteral("/somewhere/bin/pred.txt"));
    QCOMPARE(mlInterpreter(), QStringLiteral("python"));
}

void TestMlExchange::trainArguments()
{
    setMlBinDir("/b");
    QCOMPARE(mlTrainArguments("/data/train set.txt", 3, true, false, true),
             (QStringList{"/b/code.py", "/data/train set.txt", "3", "1", "0", "1"}));
}

void TestMlExchange::predictArguments()
{
    setMlBinDir("/b");
    QCOMPARE(mlPredictArguments("t.txt", 5, false, true, false),
             (QStringList{"/b/code2.py", "t.txt", "/b/xdata.bin", "/b/res.3Dgrd", "5", "0", "1", "0"}));
}

void TestMlExchange::trainOutputKinds_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<MlTrainOutput::Kind>("kind");
    using K = MlTrainOutput::Kind;
    QTest::newRow("nothing") << QByteArray() << K::Unreadable;
    QTest::newRow("a single 1 is missing libraries, not a train file error") << QByteArray("1") << K::Unreadable;
    QTest::newRow("eight tokens") << QByteArray("0 1 1 1 1 -1 -1 -1") << K::Unreadable;
    QTest::newRow("status 1") << QByteArray("1 0 0 0 0 0 0 0 0 0 0") << K::TrainFileError;
    QTest::newRow("status 2") << QByteArray("2 0 0 0 0 0 0 0 0 0 0\n") << K::LibrariesMissing;
    QTest::newRow("other status") << QByteArray("7 0 0 0 0 0 0 0 0") << K::OtherStatus;
    QTest::newRow("nine tokens of status 0") << QByteArray("0 1 1 1 1 -1 -1 -1 -1") << K::Trained;
    QTest::newRow("unreadable status") << QByteArray("x 1 1 1 1 -1 -1 -1 -1 -1 0") << K::Unreadable;
    QTest::newRow("leading blank") << QByteArray(" 0 1 1 1 1 -1 -1 -1 -1 -1 0") << K::Unreadable;
    QTest::newRow("a traceback") << QByteArray("Traceback (most recent call last):\n  File x, line 3\nError")
                                 << K::Unreadable;
}

void TestMlExchange::trainOutputKinds()
{
    QFETCH(QByteArray, output);
    QFETCH(MlTrainOutput::Kind, kind);
    QCOMPARE(parseMlTrainOutput(output).kind, kind);
}

void TestMlExchange::trainScoresAndFlags()
{
    const MlTrainOutput out = parseMlTrainOutput("0 1 1 0 0 -0.01 -0.04 -0.09 -0.16 -0.25 0");
    QCOMPARE(out.kind, MlTrainOutput::Kind::Trained);
    QVERIFY(out.vp);
    QVERIFY(out.depth);
    QVERIFY(!out.vs);
    QVERIFY(!out.layer_index);
    QCOMPARE(out.announced, 0);
    QVERIFY(out.vp_vec.isEmpty());
    QCOMPARE(mlScoreText(out.scores),
             QStringLiteral("Cross Validation RMSE scores: 5: 0.1000; 6: 0.2000; 7: 0.3000; 8: 0.4000; 9: 0.5000; "));
}

// Two blanks in a row make an empty token that moves every later value.
void TestMlExchange::emptyTokensShiftPositions()
{
    const MlTrainOutput out = parseMlTrainOutput("0  1 1 0 0 -0.01 -0.04 -0.09 -0.16 -0.25 0");
    QCOMPARE(out.kind, MlTrainOutput::Kind::Trained);
    QVERIFY(!out.vp);     // the empty token
    QVERIFY(out.depth);   // "1"
    QVERIFY(out.vs);      // "1"
    QVERIFY(!out.layer_index);
    QCOMPARE(out.scores[0], 0.0);
    QCOMPARE(out.scores[1], -0.01);
    QCOMPARE(out.announced, 0);  // "-0.25" reads as no integer
}

void TestMlExchange::trainSamples()
{
    const QByteArray text = "0 1 1 1 1 -1 -1 -1 -1 -1 2\n"
                            "3000 100 1500 1 2.1 2.15\n"
                            "4000,200,2000,2,2.4,2.35\n";
    const MlTrainOutput out = parseMlTrainOutput(text);
    QCOMPARE(out.announced, 2);
    QCOMPARE(out.vp_vec, (QVector<double>{3000, 4000}));
    QCOMPARE(out.h_vec, (QVector<double>{100, 200}));
    QCOMPARE(out.vs_vec, (QVector<double>{1500, 2000}));
    QCOMPARE(out.ind, (QVector<int>{1, 2}));
    QCOMPARE(out.dens_vec, (QVector<double>{2.1, 2.4}));
    QCOMPARE(out.dens_pred_vec, (QVector<double>{2.15, 2.35}));
}

void TestMlExchange::trainSamplesNeverPastTheTokens_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("samples");
    QTest::newRow("N larger than the samples") << QByteArray("0 1 1 1 1 -1 -1 -1 -1 -1 5 1 2 3 4 5 6 7 8") << 1;
    QTest::newRow("absurd N") << QByteArray("0 1 1 1 1 -1 -1 -1 -1 -1 2000000000") << 0;
    QTest::newRow("negative N") << QByteArray("0 1 1 1 1 -1 -1 -1 -1 -1 -3 1 2 3 4 5 6") << 0;
    QTest::newRow("no N at all") << QByteArray("0 1 1 1 1 -1 -1 -1 -1") << 0;
}

void TestMlExchange::trainSamplesNeverPastTheTokens()
{
    QFETCH(QByteArray, output);
    QFETCH(int, samples);
    const MlTrainOutput out = parseMlTrainOutput(output);
    QCOMPARE(out.kind, MlTrainOutput::Kind::Trained);
    QCOMPARE(out.vp_vec.size(), samples);
    QCOMPARE(out.dens_pred_vec.size(), samples);
    QCOMPARE(out.ind.size(), samples);
}

void TestMlExchange::predictVerdicts_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<MlPredictVerdict>("verdict");
    QTest::newRow("p q 3 r 5") << QByteArray("p q 3 r 5") << MlPredictVerdict::Success;
    QTest::newRow("run of blanks") << QByteArray("p    q 3 r 5") << MlPredictVerdict::Success;
    QTest::newRow("steps on lines") << QByteArray("1\n2\n3\n4\n5\n") << MlPredictVerdict::Success;
    QTest::newRow("carriage returns") << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n") << MlPredictVerdict::Success;
    QTest::newRow("layer counts") << QByteArray("p q 100") << MlPredictVerdict::LayerCountsDiffer;
    QTest::newRow("layer counts after steps") << QByteArray("1\n2\n100\n") << MlPredictVerdict::LayerCountsDiffer;
    QTest::newRow("four tokens") << QByteArray("p q 3 r") << MlPredictVerdict::Failed;
    QTest::newRow("token 4 not 5") << QByteArray("1 2 3 4 6") << MlPredictVerdict::Failed;
    QTest::newRow("nothing") << QByteArray() << MlPredictVerdict::Failed;
    QTest::newRow("garbage") << QByteArray("\x01\xff garbage !!") << MlPredictVerdict::Failed;
}

void TestMlExchange::predictVerdicts()
{
    QFETCH(QByteArray, output);
    QFETCH(MlPredictVerdict, verdict);
    QCOMPARE(judgeMlPredictOutput(output), verdict);
}

void TestMlExchange::featureSource_data()
{
    QTest::addColumn<bool>("useVp");
    QTest::addColumn<bool>("useVs");
    QTest::addColumn<bool>("haveVp");
    QTest::addColumn<bool>("haveDen");
    QTest::addColumn<int>("source");  // 0 none, 1 density, 2 Vp, 3 Vs
    QTest::newRow("Vp first") << true << true << true << true << 2;
    QTest::newRow("Vs when Vp is off") << false << true << true << true << 3;
    QTest::newRow("density when both are off") << false << false << true << true << 1;
    QTest::newRow("Vp wanted but missing: Vs") << true << true << false << true << 3;
    QTest::newRow("nothing") << false << false << true << false << 0;
}

void TestMlExchange::featureSource()
{
    QFETCH(bool, useVp);
    QFETCH(bool, useVs);
    QFETCH(bool, haveVp);
    QFETCH(bool, haveDen);
    QFETCH(int, source);
    const vector3D den = haveDen ? cube(1, 1, 1, 2.f) : vector3D();
    const vector3D vp = haveVp ? cube(1, 1, 1, 3000.f) : vector3D();
    const vector3D vs = cube(1, 1, 1, 1500.f);
    const MlCubeRef got = ml_feature_source({&den}, {&vp}, {&vs}, useVp, useVs);
    const vector3D* expected[] = {nullptr, &den, &vp, &vs};
    QCOMPARE(got.loaded() ? got.cube : nullptr, expected[source]);
}

void TestMlExchange::featureProgressAndStop()
{
    const vector3D den = cube(4, 2, 2, 2.f);
    const std::vector<double> x = nodes(2, 0, 1), z = nodes(4, 0, 10);
    const MlCubeRef d{&den, &x, &x, &z};
    QList<int> seen;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    MlFeatureHeader header;
    QCOMPARE(write_ml_feature_file(buffer, d, {}, {}, {}, true, false, false, false,
                                   [&](int p) { seen << p; return true; }, &header),
             MlFeatureStatus::Written);
    QCOMPARE(seen, (QList<int>{0, 25, 50, 75}));
    QCOMPARE(header.nz, 4);
    QCOMPARE(header.bounds[5], 30.0);
    QCOMPARE(buffer.data().size(), 60 + 32 * 16);

    QBuffer stopped;
    stopped.open(QIODevice::WriteOnly);
    QCOMPARE(write_ml_feature_file(stopped, d, {}, {}, {}, true, false, false, false, [](int p) { return p < 50; }),
             MlFeatureStatus::Cancelled);
}

void TestMlExchange::featureRefusals_data()
{
    QTest::addColumn<int>("vpRows");
    QTest::addColumn<int>("nodeCount");
    QTest::addColumn<bool>("useIdx");
    QTest::addColumn<int>("horizonColumns");
    QTest::addColumn<MlFeatureStatus>("status");
    QTest::newRow("fits") << 3 << 2 << true << 2 << MlFeatureStatus::Written;
    QTest::newRow("Vp cube with fewer rows") << 2 << 2 << false << 2 << MlFeatureStatus::ShapeMismatch;
    QTest::newRow("too few x nodes") << 3 << 1 << false << 2 << MlFeatureStatus::ShapeMismatch;
    QTest::newRow("horizons narrower than the grid") << 3 << 2 << true << 1 << MlFeatureStatus::ShapeMismatch;
    QTest::newRow("narrow horizons not used") << 3 << 2 << false << 1 << MlFeatureStatus::Written;
}

void TestMlExchange::featureRefusals()
{
    QFETCH(int, vpRows);
    QFETCH(int, nodeCount);
    QFETCH(bool, useIdx);
    QFETCH(int, horizonColumns);
    QFETCH(MlFeatureStatus, status);
    const vector3D den = cube(2, 3, 2, 2.f);
    const vector3D vp = cube(2, std::size_t(vpRows), 2, 3000.f);
    const std::vector<double> x = nodes(std::size_t(nodeCount), 0, 1), y = nodes(3, 0, 1), z = nodes(2, 0, 5);
    const std::vector<field2D> horizons = {field2D(3, std::vector<double>(std::size_t(horizonColumns), 1.0))};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QCOMPARE(write_ml_feature_file(buffer, {&den, &x, &y, &z}, {&vp, &x, &y, &z}, {}, horizons, true, true, false,
                                   useIdx),
             status);
}

void TestMlExchange::headerReadBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    setMlBinDir(dir.path());
    MlFeatureHeader h;
    QVERIFY(!read_ml_feature_header(mlFeatureFilePath(), h));  // missing
    const vector3D den = cube(3, 2, 4, 2.f);
    const std::vector<double> x = nodes(4, -5, 2.5), y = nodes(2, 100, 50), z = nodes(3, 10, 20);
    QFile file(mlFeatureFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(write_ml_feature_file(file, {&den, &x, &y, &z}, {}, {}, {}, false, false, false, false),
             MlFeatureStatus::Written);
    file.close();
    QVERIFY(read_ml_feature_header(mlFeatureFilePath(), h));
    QCOMPARE(h.nx, 4);
    QCOMPARE(h.ny, 2);
    QCOMPARE(h.nz, 3);
    QCOMPARE(h.bounds, (cube_bounds{{-5, 2.5, 100, 150, 10, 50}}));
    QVERIFY(file.resize(59));
    QVERIFY(!read_ml_feature_header(mlFeatureFilePath(), h));  // short
}

void TestMlExchange::resultLattice_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("zLast");
    QTest::addColumn<bool>("fits");
    QTest::newRow("same") << 4 << 3 << 50.0 << true;
    QTest::newRow("rounding of a node") << 4 << 3 << 50.0 + 1e-12 << true;
    QTest::newRow("one column less") << 3 << 3 << 50.0 << false;
    QTest::newRow("one level more") << 4 << 4 << 50.0 << false;
    QTest::newRow("other depth") << 4 << 3 << 60.0 << false;
}

void TestMlExchange::resultLattice()
{
    QFETCH(int, nx);
    QFETCH(int, nz);
    QFETCH(double, zLast);
    QFETCH(bool, fits);
    MlFeatureHeader h;
    h.nx = 4;
    h.ny = 2;
    h.nz = 3;
    h.bounds = {{0, 30, 0, 10, 10, 50}};
    const vector3D result = cube(std::size_t(nz), 2, std::size_t(nx), 2.f);
    QCOMPARE(ml_result_fits(h, result, {{0, 30, 0, 10, 10, zLast}}), fits);
}

QTEST_GUILESS_MAIN(TestMlExchange)
#include "tst_ml_exchange.moc"
