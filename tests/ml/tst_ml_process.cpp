// The machine-learning conversion through the real interpreter: training and
// prediction on a small synthetic (density a known linear function of Vp and
// depth) with the program's own scripts, and every way a script can fail,
// with stand-in scripts written by the tests.
//
// Each run works in a temporary folder of its own that holds copies of the
// scripts (from the bin folder beside this executable), so that runs in
// parallel never share exchange files.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "formats/cube_file.h"
#include "ml/ml_exchange.h"
#include "ml/mldensityconvertor.h"

#include "ui_mldensityconvertor.h"
#include "test_nodes.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QDataStream>
#include <QtTest>
#include <qcustomplot.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

const char* const kScripts[] = {"code.py", "code2.py", "tolmera_ml.py"};

// The synthetic truth.
double trueDensity(double vp, double depth)
{
    return 1.2 + 0.0003 * vp + 0.0002 * depth;
}

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

// Vp of cell (level, row, column) in the model.
float modelVp(std::size_t k, std::size_t i, std::size_t j)
{
    return float(2000 + 300 * k + 40 * i + 25 * j);
}

} // namespace

class TestMlProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void trainAndPredict();
    void everyRegressionType_data();
    void everyRegressionType();
    void layerCountsDiffer();

    void trainingOutcomes_data();
    void trainingOutcomes();
    void trainingScoresFromTheScript();
    void trainingCancelledByTheUser();
    void plotsOfTheTrainSet();

    void predictionFailures_data();
    void predictionFailures();
    void staleResultIsNotTaken();
    void predictionTimesOut();
    void predictionCancelledByTheUser();
    void interpreterMissing();
    void damagedFeatureFileIsNamed_data();
    void damagedFeatureFileIsNamed();

private:
    // A window with a Vp cube (6 x 5 x 4) and a small density grid elsewhere.
    void fillModel(MainWindow& w);
    void writeTrainFile(int samples, bool layers);
    void writeScript(const char* name, const QString& body);
    // Runs the ML command: load the train file (which trains), then, when
    // predict is set, press Predict. before runs first on the shown dialog.
    void runCommand(MainWindow& w, bool predict, std::function<void(MLDensityConvertor*)> before = {},
                    std::function<void(MLDensityConvertor*)> afterTraining = {});

    QTemporaryDir settingsDir;
    QTemporaryDir work;
    QString bin;
    QString trainPath;
    std::unique_ptr<FakeInteraction> fake;
};

void TestMlProcess::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QVERIFY(work.isValid());
    bin = work.path() + "/bin";
    QVERIFY(QDir().mkpath(bin));
    setMlBinDir(bin);
    trainPath = work.path() + "/train.txt";

    QProcess probe;
    probe.start("python", {"-c", "import numpy, sklearn"});
    QVERIFY2(probe.waitForFinished(60000) && probe.exitCode() == 0,
             "\"python\" on the search path must be an interpreter with numpy and scikit-learn");
}

void TestMlProcess::init()
{
    fake.reset(new FakeInteraction);
    const QString source = QCoreApplication::applicationDirPath() + "/bin/";
    for (const char* name : kScripts) {
        QFile::remove(bin + "/" + name);
        QVERIFY2(QFile::copy(source + name, bin + "/" + name), name);
    }
    QFile::remove(mlFeatureFilePath());
    QFile::remove(mlResultFilePath());
    writeTrainFile(60, false);
}

void TestMlProcess::cleanup()
{
    fake.reset();
}

void TestMlProcess::fillModel(MainWindow& w)
{
    w.language = 1;
    w.Vp_grid = cube(4, 5, 6, 0.f);
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < 5; ++i)
            for (std::size_t j = 0; j < 6; ++j)
                w.Vp_grid[k][i][j] = modelVp(k, i, j);
    w.x_vp = nodes(6, 1000, 50);
    w.y_vp = nodes(5, 2000, 50);
    w.z_vp = nodes(4, 100, 200);
    w.den_grid = cube(2, 2, 2, 1.f);
    w.x_calc = w.y_calc = w.z_calc = nodes(2, 0, 10);
}

// Vp, depth, Vs (0: no Vs), layer, density; with layers, layer 1 or 2.
void TestMlProcess::writeTrainFile(int samples, bool layers)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> vp(1500, 4500), depth(0, 1500);
    QFile file(trainPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    QTextStream out(&file);
    out.setRealNumberPrecision(12);
    out << "Vp depth Vs layer density\n";
    for (int n = 0; n < samples; ++n) {
        const double v = vp(rng), h = depth(rng);
        out << v << ' ' << h << " 0 " << (layers ? 1 + n % 2 : 1) << ' ' << trueDensity(v, h) << '\n';
    }
}

void TestMlProcess::writeScript(const char* name, const QString& body)
{
    QFile file(bin + "/" + name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    file.write("import sys, time\n" + body.toUtf8() + "\n");
}

void TestMlProcess::runCommand(MainWindow& w, bool predict, std::function<void(MLDensityConvertor*)> before,
                               std::function<void(MLDensityConvertor*)> afterTraining)
{
    fake->openNames << trainPath;
    fake->onDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<MLDensityConvertor*>(d);
        dialog->show();
        if (before)
            before(dialog);
        QMetaObject::invokeMethod(dialog, "on_load_train_clicked");
        if (afterTraining)
            afterTraining(dialog);
        if (predict && dialog->isVisible())
            dialog->ui->OKbutton->click();
        return dialog->result();
    };
    w.ui->ML_density_conversion->trigger();
    QCOMPARE(fake->dialogs, QStringList{"MLDensityConvertor"});
}

// Linear regression on Vp and depth recovers the truth: the scores are zero,
// the plots show Vp and depth, and every cell of the predicted grid matches.
void TestMlProcess::trainAndPredict()
{
    MainWindow w;
    fillModel(w);
    QString scores;
    bool vpShown = false, depthShown = false, vsShown = true;
    int trainPoints = 0;
    int highestBar = 0;
    runCommand(
        w, true,
        [&](MLDensityConvertor* d) {
            d->ui->reg_list->setCurrentIndex(4);  // linear regression
            connect(d->ui->progressBar, &QProgressBar::valueChanged, d,
                    [&](int v) { highestBar = std::max(highestBar, v); });
        },
        [&](MLDensityConvertor* d) {
            scores = d->ui->cross_val_scores->text();
            vpShown = !d->ui->learning_result_V_axes->isHidden() && !d->ui->learning_result_V_d_axes->isHidden();
            depthShown = !d->ui->learning_result_H_axes->isHidden();
            vsShown = !d->ui->learning_result_Vs_axes->isHidden() || !d->ui->learning_result_Vs_d_axes->isHidden();
            trainPoints = d->ui->learning_result_V_axes->graphCount() == 2
                ? d->ui->learning_result_V_axes->graph(0)->data()->size()
                : -1;
            QVERIFY(d->usesVp());
            QVERIFY(d->usesDepth());
            QVERIFY(!d->usesVs());
            QVERIFY(!d->usesLayerIndex());
            QVERIFY(d->ui->progressBar->isHidden());
        });
    QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
    QCOMPARE(scores, QStringLiteral("Cross Validation RMSE scores: 5: 0.0000; 6: 0.0000; 7: 0.0000; 8: 0.0000; "
                                    "9: 0.0000; "));
    QVERIFY(vpShown);
    QVERIFY(depthShown);
    QVERIFY(!vsShown);
    QCOMPARE(trainPoints, 60);
    QVERIFY(highestBar >= 20);

    QCOMPARE(w.den_grid.size(), std::size_t(4));
    QCOMPARE(w.den_grid[0].size(), std::size_t(5));
    QCOMPARE(w.den_grid[0][0].size(), std::size_t(6));
    QCOMPARE(w.x_calc, w.x_vp);
    QCOMPARE(w.y_calc, w.y_vp);
    QCOMPARE(w.z_calc, w.z_vp);
    double worst = 0;
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < 5; ++i)
            for (std::size_t j = 0; j < 6; ++j)
                worst = std::max(worst, std::abs(w.den_grid[k][i][j] - trueDensity(modelVp(k, i, j), w.z_vp[k])));
    QVERIFY2(worst < 1e-5, qPrintable(QString::number(worst)));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(!QFile::exists(mlResultFilePath()));
    QVERIFY(w.undo_stack.empty());
}

void TestMlProcess::everyRegressionType_data()
{
    QTest::addColumn<int>("regression");
    QTest::addColumn<double>("largestRmse");
    QTest::newRow("gradient boosting (trees)") << 0 << 0.15;
    QTest::newRow("gradient boosting (dart)") << 1 << 0.15;
    QTest::newRow("gradient boosting (linear)") << 2 << 1e-3;
    QTest::newRow("random forest") << 3 << 0.15;
    QTest::newRow("linear regression") << 4 << 1e-6;
    QTest::newRow("ElasticNet") << 5 << 0.01;
}

// The training script straight from a process: every regression of the list
// trains on the synthetic and reports its fit and its samples.
void TestMlProcess::everyRegressionType()
{
    QFETCH(int, regression);
    QFETCH(double, largestRmse);
    QProcess process;
    process.start(mlInterpreter(), mlTrainArguments(trainPath, regression, true, false, false));
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);
    const MlTrainOutput out = parseMlTrainOutput(process.readAllStandardOutput());
    QCOMPARE(out.kind, MlTrainOutput::Kind::Trained);
    QVERIFY(out.vp);
    QVERIFY(out.depth);
    QVERIFY(!out.vs);
    QVERIFY(!out.layer_index);
    QCOMPARE(out.announced, 60);
    QCOMPARE(out.dens_pred_vec.size(), 60);
    for (double score : out.scores) {
        QVERIFY(score <= 0);
        QVERIFY2(std::sqrt(-score) < largestRmse, qPrintable(QString::number(std::sqrt(-score))));
    }
    // The samples come back as written.
    for (int i = 0; i < 60; ++i)
        QVERIFY(std::abs(out.dens_vec[i] - trueDensity(out.vp_vec[i], out.h_vec[i])) < 1e-8);
}

// The model has three layers, the train set two: the script says so and the
// grid stays.
void TestMlProcess::layerCountsDiffer()
{
    writeTrainFile(60, true);
    MainWindow w;
    fillModel(w);
    w.horizons = {field2D(5, std::vector<double>(6, 0.0)), field2D(5, std::vector<double>(6, 300.0)),
                  field2D(5, std::vector<double>(6, 500.0))};
    runCommand(w, true, [](MLDensityConvertor* d) { d->ui->reg_list->setCurrentIndex(4); });
    QCOMPARE(fake->errors(), QStringList{"Layers counts in train and model are different"});
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(!QFile::exists(mlResultFilePath()));
}

void TestMlProcess::trainingOutcomes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("garbage") << "print('hello world')" << "Please install python ML libraries" << false;
    QTest::newRow("garbage of many words")
        << "print('this is not at all what the program expects to read')" << "Please install python ML libraries" << false;
    QTest::newRow("a single 1") << "print(1)" << "Please install python ML libraries" << false;
    QTest::newRow("status 1") << "print('1 0 0 0 0 0 0 0 0 0 0'); sys.exit(1)" << "Error in train file" << true;
    QTest::newRow("status 2") << "print('2 0 0 0 0 0 0 0 0 0 0')" << "Please install python ML libraries" << false;
    QTest::newRow("other status") << "print('9 0 0 0 0 0 0 0 0 0 0')" << QString() << true;
    QTest::newRow("killed")
        << "import os, signal; print('0 1 1'); sys.stdout.flush(); os.kill(os.getpid(), signal.SIGKILL)"
        << "The ML process was killed or crashed (stopped by the system, for example for lack of memory). Nothing "
           "was trained."
        << true;
    QTest::newRow("failed without a report")
        << "sys.stderr.write('Traceback (most recent call last):\\n  ...\\nMemoryError\\n'); sys.exit(1)"
        << "The ML process failed (exit code 1): MemoryError" << true;
    QTest::newRow("status 0 from a crashed script")
        << "print('0 1 1 0 0 -1 -1 -1 -1 -1 0'); sys.stderr.write('it broke'); sys.exit(3)" << "it broke" << true;
}

void TestMlProcess::trainingOutcomes()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    QFETCH(bool, staysOpen);
    writeScript("code.py", script);
    MainWindow w;
    fillModel(w);
    bool open = false;
    QString scores;
    runCommand(w, false, {}, [&](MLDensityConvertor* d) {
        open = d->isVisible();
        scores = d->ui->cross_val_scores->text();
    });
    QCOMPARE(fake->errors(), error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(open, staysOpen);
    QCOMPARE(scores, QStringLiteral("Cross Validation RMS scores:"));
}

// The scores of the script's output become the text; features it reports
// unused are dropped for good, and N = 0 leaves every plot hidden.
void TestMlProcess::trainingScoresFromTheScript()
{
    writeScript("code.py", "print('0 1 1 0 0 -0.01 -0.04 -0.09 -0.16 -0.25 0')");
    MainWindow w;
    fillModel(w);
    w.Vs_grid = w.Vp_grid;
    w.horizons = {field2D(5, std::vector<double>(6, 0.0))};
    runCommand(w, false, {}, [&](MLDensityConvertor* d) {
        QCOMPARE(d->ui->cross_val_scores->text(),
                 QStringLiteral("Cross Validation RMSE scores: 5: 0.1000; 6: 0.2000; 7: 0.3000; 8: 0.4000; "
                                "9: 0.5000; "));
        QVERIFY(d->usesVp());
        QVERIFY(d->usesDepth());
        QVERIFY(!d->usesVs());
        QVERIFY(!d->usesLayerIndex());
        for (QCustomPlot* p : d->findChildren<QCustomPlot*>())
            QVERIFY(p->isHidden());
        // A later run that reports Vs used cannot bring it back.
        writeScript("code.py", "print('0 1 1 1 1 -0.01 -0.04 -0.09 -0.16 -0.25 0')");
        d->ui->train_button->click();
        QVERIFY(!d->usesVs());
        QVERIFY(!d->usesLayerIndex());
    });
    QVERIFY(fake->errors().isEmpty());
}

void TestMlProcess::trainingCancelledByTheUser()
{
    writeScript("code.py", "time.sleep(60)");
    MainWindow w;
    fillModel(w);
    QElapsedTimer clock;
    clock.start();
    bool open = false;
    runCommand(
        w, false,
        [](MLDensityConvertor* d) { QTimer::singleShot(300, d->ui->CancelButton, &QPushButton::click); },
        [&](MLDensityConvertor* d) {
            open = d->isVisible();
            QVERIFY(!d->isRunning());
            QVERIFY(d->ui->train_button->isEnabled());
        });
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(open);  // Cancel during a run stops the run only
    QVERIFY(fake->errors().isEmpty());
}

// Two samples: each feature's pair of plots shows the train set and the
// prediction against the feature, and the differences, with 1/20 margins.
void TestMlProcess::plotsOfTheTrainSet()
{
    writeScript("code.py", "print('0 1 1 1 0 -0.01 -0.01 -0.01 -0.01 -0.01 2')\n"
                           "print('3000 100 1500 1 2.1 2.2')\n"
                           "print('4000 300 2500 2 2.5 2.4')");
    MainWindow w;
    fillModel(w);
    w.Vs_grid = w.Vp_grid;
    runCommand(w, false, {}, [&](MLDensityConvertor* d) {
        struct Expected
        {
            QCustomPlot* main;
            QCustomPlot* diff;
            QString label;
            double lo, hi;
        };
        const Expected pairs[] = {
            {d->ui->learning_result_V_axes, d->ui->learning_result_V_d_axes, "Vp, m/s", 2950, 4050},
            {d->ui->learning_result_Vs_axes, d->ui->learning_result_Vs_d_axes, "Vs, m/s", 1450, 2550},
            {d->ui->learning_result_H_axes, d->ui->learning_result_H_d_axes, "h, m", 90, 310},
        };
        for (const Expected& e : pairs) {
            QVERIFY(!e.main->isHidden());
            QVERIFY(!e.diff->isHidden());
            QCOMPARE(e.main->graphCount(), 2);
            QCOMPARE(e.main->graph(0)->name(), QStringLiteral("Train set"));
            QCOMPARE(e.main->graph(1)->name(), QStringLiteral("Predict"));
            QCOMPARE(e.main->graph(0)->scatterStyle().shape(), QCPScatterStyle::ssCircle);
            QCOMPARE(e.main->graph(0)->scatterStyle().size(), 5.0);
            QCOMPARE(e.main->graph(0)->lineStyle(), QCPGraph::lsNone);
            QCOMPARE(e.main->graph(0)->pen().color(), QColor(Qt::red));
            QCOMPARE(e.main->graph(1)->pen().color(), QColor(Qt::green));
            QCOMPARE(e.main->graph(1)->data()->at(1)->value, 2.4);
            QCOMPARE(e.main->xAxis->label(), e.label);
            QCOMPARE(e.main->yAxis->label(), QStringLiteral("σ, g/cm3"));
            QCOMPARE(e.main->xAxis->range().lower, e.lo);
            QCOMPARE(e.main->xAxis->range().upper, e.hi);
            QVERIFY(std::abs(e.main->yAxis->range().lower - 2.08) < 1e-12);
            QVERIFY(std::abs(e.main->yAxis->range().upper - 2.52) < 1e-12);
            QVERIFY(e.main->legend->visible());
            QCOMPARE(e.main->axisRect()->insetLayout()->insetAlignment(0), Qt::AlignRight | Qt::AlignBottom);

            QCOMPARE(e.diff->graphCount(), 1);
            QCOMPARE(e.diff->graph(0)->name(), QStringLiteral("σ(pred) - σ(obs)"));
            QCOMPARE(e.diff->yAxis->label(), QStringLiteral("Δσ, g/cm3"));
            QCOMPARE(e.diff->xAxis->label(), e.label);
            QVERIFY(std::abs(e.diff->graph(0)->data()->at(0)->value - 0.1) < 1e-12);
            QVERIFY(std::abs(e.diff->yAxis->range().lower + 0.11) < 1e-12);
            QVERIFY(std::abs(e.diff->yAxis->range().upper - 0.11) < 1e-12);
        }
        if (!qEnvironmentVariableIsEmpty("TOLMERA_ML_SHOT"))
            d->grab().save(qEnvironmentVariable("TOLMERA_ML_SHOT"));
    });
    QVERIFY(fake->errors().isEmpty());
}

void TestMlProcess::predictionFailures_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");
    QTest::newRow("garbage") << "print('<<< garbage >>>')" << "The ML process failed";
    QTest::newRow("error stream") << "sys.stderr.write('Traceback: boom\\n'); sys.exit(1)" << "Traceback: boom";
    QTest::newRow("success printed, exit code 1")
        << "print('1\\n2\\n3\\n4\\n5'); sys.stderr.write('disk full'); sys.exit(1)" << "disk full";
    QTest::newRow("killed by a signal") << "import os, signal; print('1 2 3 4 5', flush=True); "
                                           "os.kill(os.getpid(), signal.SIGKILL)"
                                        << "The ML process failed";
    QTest::newRow("success printed, no result") << "print('1 2 3 4 5')" << "Can't open file ";
    QTest::newRow("result of the wrong size")
        << "import struct\n"
           "open(sys.argv[3], 'wb').write(struct.pack('>3i', 6, 5, 3) + struct.pack('>6d', 1000, 1250, 2000, 2200, "
           "100, 500) + b'\\0' * (4 * 90))\n"
           "print('1 2 3 4 5')"
        << "Error. The predicted grid does not match the model";
}

// Whatever goes wrong, the user is told and the grid is kept; no exchange
// file stays behind.
void TestMlProcess::predictionFailures()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    writeScript("code2.py", script);
    MainWindow w;
    fillModel(w);
    w.model_bounds = {{0, 10, 0, 10, 0, 10}};
    runCommand(w, true, [](MLDensityConvertor* d) { d->ui->reg_list->setCurrentIndex(4); });
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY2(fake->errors().first().startsWith(error), qPrintable(fake->errors().first()));
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QCOMPARE(w.x_calc, nodes(2, 0, 10));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{0, 10, 0, 10, 0, 10}}));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(!QFile::exists(mlResultFilePath()));
}

// A result file from an earlier run cannot pass for the answer of a script
// that reports success without writing one.
void TestMlProcess::staleResultIsNotTaken()
{
    MainWindow w;
    fillModel(w);
    QVERIFY(write_cube_file(mlResultFilePath(), cube(4, 5, 6, 9.f), w.x_vp, w.y_vp, w.z_vp).ok());
    writeScript("code2.py", "print('1 2 3 4 5')");
    runCommand(w, true);
    QCOMPARE(fake->errors().size(), 1);
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QVERIFY(!QFile::exists(mlResultFilePath()));
}

void TestMlProcess::predictionTimesOut()
{
    writeScript("code2.py", "print(1, flush=True); time.sleep(60)");
    MainWindow w;
    fillModel(w);
    QElapsedTimer clock;
    clock.start();
    runCommand(w, true, [](MLDensityConvertor* d) { d->setTimeouts(100000, 1500); });
    QVERIFY(clock.elapsed() < 30000);
    QCOMPARE(fake->errors(), QStringList{"The ML process did not finish in time and was stopped"});
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

void TestMlProcess::predictionCancelledByTheUser()
{
    writeScript("code2.py", "time.sleep(60)");
    MainWindow w;
    fillModel(w);
    QElapsedTimer clock;
    clock.start();
    bool closed = false;
    runCommand(w, true, {}, [&](MLDensityConvertor* d) {
        QTimer::singleShot(300, d->ui->CancelButton, &QPushButton::click);
        d->ui->OKbutton->click();
        closed = !d->isVisible();
    });
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(closed);
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

// No interpreter on the search path: both runs end at once with a message.
void TestMlProcess::interpreterMissing()
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray("/nonexistent-folder"));
    MainWindow w;
    fillModel(w);
    runCommand(w, true);
    qputenv("PATH", path);
    QCOMPARE(fake->errors(), (QStringList{"Can't start python", "Can't start python"}));
    QCOMPARE(w.den_grid, cube(2, 2, 2, 1.f));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

void TestMlProcess::damagedFeatureFileIsNamed_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("reason");
    auto header = [](qint32 nx, qint32 ny, qint32 nz, double x_last) {
        QByteArray b;
        QDataStream out(&b, QIODevice::WriteOnly);  // big-endian, as the program writes it
        out << nx << ny << nz << 0.0 << x_last << 0.0 << 1.0 << 0.0 << 1.0;
        return b;
    };
    QTest::newRow("cell counts far beyond the file")
        << header(2147483647, 2147483647, 2147483647, 1.0)
        << "Feature file is not valid: a grid of 2147483647 x 2147483647 x 2147483647 cells needs";
    QTest::newRow("bounds not numbers") << header(1, 1, 1, std::nan("")) + QByteArray(32, '\0')
                                        << "Feature file is not valid: its grid bounds are not finite numbers";
}

// The prediction script reads a damaged feature file without a raw Python
// error: it says the file is not valid.
void TestMlProcess::damagedFeatureFileIsNamed()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, reason);
    QFile features(mlFeatureFilePath());
    QVERIFY(features.open(QIODevice::WriteOnly | QIODevice::Truncate));
    features.write(header);
    features.close();
    QProcess process;
    process.start(mlInterpreter(), mlPredictArguments(trainPath, 4, true, false, false));
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.startsWith(reason), qPrintable(error));
    QVERIFY2(!error.contains("Error:"), qPrintable(error));
}

QTEST_MAIN(TestMlProcess)
#include "tst_ml_process.moc"
