// The main window's side of the machine-learning conversion: the command and
// its dialog, the feature file written for the prediction, and the predicted
// cube taken as the density grid.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "file_size_limit.h"
#include "formats/cube_file.h"
#include "ml/mldensityconvertor.h"

#include "ui_mldensityconvertor.h"
#include "test_nodes.h"

#include <QAction>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

// A cube whose every cell tells its place: base + 100 level + 10 row + column.
vector3D numbered(std::size_t nz, std::size_t ny, std::size_t nx, float base)
{
    vector3D c = cube(nz, ny, nx, 0.f);
    for (std::size_t k = 0; k < nz; ++k)
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j)
                c[k][i][j] = base + float(100 * k + 10 * i + j);
    return c;
}

struct FeatureFile
{
    qint32 nx = 0, ny = 0, nz = 0;
    double bounds[6] = {};
    std::vector<std::array<double, 4>> cells;
    qint64 size = 0;
};

// Decodes the bytes by hand (big-endian int32 and IEEE doubles), apart from
// the stream the program writes with.
double bigEndianDouble(const char* p)
{
    quint64 bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | quint8(p[i]);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

qint32 bigEndianInt(const char* p)
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | quint8(p[i]);
    return qint32(bits);
}

FeatureFile decodeFeatureFile(const QByteArray& bytes)
{
    FeatureFile f;
    f.size = bytes.size();
    if (bytes.size() < 60)
        return f;
    const char* p = bytes.constData();
    f.nx = bigEndianInt(p);
    f.ny = bigEndianInt(p + 4);
    f.nz = bigEndianInt(p + 8);
    for (int i = 0; i < 6; ++i)
        f.bounds[i] = bigEndianDouble(p + 12 + 8 * i);
    for (int off = 60; off + 32 <= bytes.size(); off += 32)
        f.cells.push_back({bigEndianDouble(p + off), bigEndianDouble(p + off + 8), bigEndianDouble(p + off + 16),
                           bigEndianDouble(p + off + 24)});
    return f;
}

// A feature file of the given lattice (header only: the result check reads no more).
void writeFeatureHeader(qint32 nx, qint32 ny, qint32 nz, const std::array<double, 6>& bounds)
{
    QFile file(mlFeatureFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    out << nx << ny << nz;
    for (double b : bounds)
        out << b;
}

FeatureFile readFeatureFile()
{
    QFile file(mlFeatureFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return FeatureFile();
    return decodeFeatureFile(file.readAll());
}

} // namespace

class TestMlWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandNeedsACube();
    void commandTellsTheDialogWhatExists_data();
    void commandTellsTheDialogWhatExists();
    void dialogTexts_data();
    void dialogTexts();
    void predictWithoutTrainFileDoesNothing();
    void predictChainWritesTheFeatureFile();
    void cancelWhilePreparingStopsThePrediction();
    void featureFileThatCannotBeOpenedIsReported();
    void featureFileOnAFullDiskIsReported_data();
    void featureFileOnAFullDiskIsReported();
    void plantedLinkIsReplacedNotFollowed();

    void featureFileLayout();
    void geometryFromVsWhenVpIsOff();
    void allFeaturesOffGiveZeros();
    void layerNumbers();
    void noSourceCube_data();
    void noSourceCube();
    void featureCubeTooSmallIsRefused();

    void resultReplacesTheDensityGrid();
    void unreadableResultChangesNothing();
    void resultOffTheFeatureLattice_data();
    void resultOffTheFeatureLattice();

private:
    QTemporaryDir settingsDir;
    QTemporaryDir binDir;  // exchange files of this run only
    std::unique_ptr<FakeInteraction> fake;
};

void TestMlWindow::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QVERIFY(binDir.isValid());
    setMlBinDir(binDir.path());
    QCOMPARE(mlFeatureFilePath(), binDir.path() + "/xdata.bin");
}

void TestMlWindow::init()
{
    fake.reset(new FakeInteraction);
    QFile::remove(mlFeatureFilePath());
    QFile::remove(mlResultFilePath());
}

void TestMlWindow::cleanup()
{
    fake.reset();
    QFile::remove(mlFeatureFilePath());
    QFile::remove(mlResultFilePath());
}

void TestMlWindow::commandNeedsACube()
{
    MainWindow w;
    w.horizons = {field2D(2, std::vector<double>(2, 10.0))};
    w.Vz_observed = field2D(2, std::vector<double>(2, 1.0));
    w.ui->ML_density_conversion->trigger();
    QVERIFY(fake->dialogs.isEmpty());
    QVERIFY(fake->notes.isEmpty());
}

void TestMlWindow::commandTellsTheDialogWhatExists_data()
{
    QTest::addColumn<bool>("den");
    QTest::addColumn<bool>("vp");
    QTest::addColumn<bool>("vs");
    QTest::addColumn<bool>("hor");
    QTest::newRow("density only") << true << false << false << false;
    QTest::newRow("Vs only") << false << false << true << false;
    QTest::newRow("Vp with horizons") << false << true << false << true;
    QTest::newRow("everything") << true << true << true << true;
}

void TestMlWindow::commandTellsTheDialogWhatExists()
{
    QFETCH(bool, den);
    QFETCH(bool, vp);
    QFETCH(bool, vs);
    QFETCH(bool, hor);
    MainWindow w;
    w.language = 1;
    if (den)
        w.den_grid = cube(1, 1, 1, 2.f);
    if (vp)
        w.Vp_grid = cube(1, 1, 1, 3000.f);
    if (vs)
        w.Vs_grid = cube(1, 1, 1, 1500.f);
    if (hor)
        w.horizons = {field2D(1, std::vector<double>(1, 0.0))};
    bool seen = false;
    fake->onDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<MLDensityConvertor*>(d);
        if (!dialog)
            return int(QDialog::Rejected);
        seen = true;
        [&] {
            QCOMPARE(dialog->usesVp(), vp);
            QCOMPARE(dialog->usesVs(), vs);
            QCOMPARE(dialog->usesLayerIndex(), hor);
            QVERIFY(dialog->usesDepth());
            QCOMPARE(dialog->languageUsed(), 1);
            QVERIFY(dialog->parent() == nullptr);
            QVERIFY(dialog->ui->progressBar->isHidden());
            QVERIFY(dialog->ui->learning_result_V_axes->isHidden());
            QVERIFY(dialog->ui->learning_result_H_d_axes->isHidden());
        }();
        return int(QDialog::Rejected);
    };
    w.ui->ML_density_conversion->trigger();
    QVERIFY(seen);
    QCOMPARE(fake->dialogs, QStringList{"MLDensityConvertor"});
}

void TestMlWindow::dialogTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");  // label_2, label_3, load_train, train_button, OKbutton, CancelButton
    QTest::newRow("Russian") << 0
                             << QStringList{"Параметры ML", "Алгоритм", "Загрузить обучающую выборку",
                                            "Обучить модель", "Рассчитать плотности", "Отмена"};
    QTest::newRow("English") << 1
                             << QStringList{"ML preferences", "Regression type", "Load train file", "Train model",
                                            "Predict densities", "Cancel"};
    QTest::newRow("other keeps the form") << 2
                                          << QStringList{"ML preferences", "Regression type:", "Load train file",
                                                         "Train model", "Predict densities", "Cancel"};
}

void TestMlWindow::dialogTexts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    MLDensityConvertor dialog;
    dialog.setLanguage(language);
    QCOMPARE(dialog.languageUsed(), language);
    QCOMPARE((QStringList{dialog.ui->label_2->text(), dialog.ui->label_3->text(), dialog.ui->load_train->text(),
                          dialog.ui->train_button->text(), dialog.ui->OKbutton->text(),
                          dialog.ui->CancelButton->text()}),
             texts);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ML density calculation"));
    QCOMPARE(dialog.ui->cross_val_scores->text(), QStringLiteral("Cross Validation RMS scores:"));
    QCOMPARE(dialog.size(), QSize(1018, 553));
    QCOMPARE(dialog.ui->progressBar->minimum(), 0);
    QCOMPARE(dialog.ui->progressBar->maximum(), 100);
    const QStringList regressions{"Gradient boosting (trees)", "Gradient boosting (dart)",
                                  "Gradient boosting (linear)", "Random forest", "Linear regression", "ElasticNet"};
    QCOMPARE(dialog.ui->reg_list->count(), regressions.size());
    for (int i = 0; i < regressions.size(); ++i)
        QCOMPARE(dialog.ui->reg_list->itemText(i), regressions[i]);
}

void TestMlWindow::predictWithoutTrainFileDoesNothing()
{
    MLDensityConvertor dialog;
    QSignalSpy spy(&dialog, &MLDensityConvertor::predictPressed);
    dialog.ui->OKbutton->click();
    QCOMPARE(spy.count(), 0);
    // A cancelled file dialog keeps no path either.
    QMetaObject::invokeMethod(&dialog, "on_load_train_clicked");
    QCOMPARE(fake->fileRequests.size(), 1);
    QCOMPARE(fake->fileRequests.first().filter, QStringLiteral("text file (*.txt; *.dat)"));
    dialog.ui->OKbutton->click();
    QCOMPARE(spy.count(), 0);
}

// Predict with a train file: the window writes the feature file from the
// features the dialog sends and asks the dialog for the prediction.
void TestMlWindow::predictChainWritesTheFeatureFile()
{
    MainWindow w;
    w.Vp_grid = numbered(2, 2, 3, 3000.f);
    w.x_vp = nodes(3, 0, 10);
    w.y_vp = nodes(2, 0, 10);
    w.z_vp = nodes(2, 0, 10);
    fake->openNames << "/tmp/train.txt";
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    // The file as the prediction finds it (no script here: the run fails and
    // removes it afterwards).
    QByteArray written;
    connect(&w, &MainWindow::predictMlDensity, this, [&] {
        QFile file(mlFeatureFilePath());
        if (file.open(QIODevice::ReadOnly))
            written = file.readAll();
    });
    fake->onDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<MLDensityConvertor*>(d);
        QMetaObject::invokeMethod(dialog, "on_load_train_clicked");
        dialog->ui->OKbutton->click();
        return dialog->result();
    };
    w.ui->ML_density_conversion->trigger();
    QCOMPARE(predicted.count(), 1);
    const FeatureFile f = decodeFeatureFile(written);
    QCOMPARE(f.size, qint64(60 + 32 * 12));
    QCOMPARE(f.cells.size(), std::size_t(12));
    // Depth and Vp in use; no Vs cube, no horizons.
    QCOMPARE(f.cells[11][1], 3000.0 + 100 + 10 + 2);
    QCOMPARE(f.cells[11][0], 10.0);
    QCOMPARE(f.cells[11][2], 0.0);
    QCOMPARE(f.cells[11][3], 0.0);
    QVERIFY(w.den_grid.empty());  // no result came back
    // No script here: neither the training nor the prediction gets an answer;
    // the interpreter's exit code and its last word say why.
    QCOMPARE(fake->errors().size(), 2);
    QVERIFY2(fake->errors().first().startsWith(QString::fromUtf8("Процесс ML завершился с ошибкой (код 2): ")),
             qPrintable(fake->errors().first()));
    QVERIFY2(fake->errors().first().contains("can't open file"), qPrintable(fake->errors().first()));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

// Cancel while the feature file is written ("Prepare data") stops the whole
// prediction: no script runs, the grid stays; a second Predict meanwhile is
// ignored, and the commands that change data are locked out.
void TestMlWindow::cancelWhilePreparingStopsThePrediction()
{
    MainWindow w;
    w.language = 1;
    w.den_grid = cube(1, 1, 1, 1.5f);
    w.x_calc = w.y_calc = w.z_calc = {0};
    w.Vp_grid = numbered(40, 3, 3, 3000.f);
    w.x_vp = nodes(3, 0, 10);
    w.y_vp = nodes(3, 0, 10);
    w.z_vp = nodes(40, 0, 10);
    fake->openNames << "/tmp/train.txt";
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    bool during = false, locked = false;
    int presses = 0;
    fake->onDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<MLDensityConvertor*>(d);
        QMetaObject::invokeMethod(dialog, "on_load_train_clicked");
        fake->clear();  // the training's own failure (no script here)
        QSignalSpy pressed(dialog, &MLDensityConvertor::predictPressed);
        QTimer::singleShot(0, dialog, [&w, dialog, &during, &locked] {
            during = dialog->isRunning();
            locked = w.runActive() && !w.ui->ML_density_conversion->isEnabled() && !w.ui->open_project->isEnabled();
            QMetaObject::invokeMethod(dialog, "on_OKbutton_clicked");  // a second press
            dialog->ui->CancelButton->click();
        });
        dialog->ui->OKbutton->click();
        presses = pressed.count();
        return dialog->result();
    };
    w.ui->ML_density_conversion->trigger();
    QVERIFY(during);
    QVERIFY(locked);
    QCOMPARE(presses, 1);
    QCOMPARE(predicted.count(), 0);
    QVERIFY(fake->notes.isEmpty());
    QCOMPARE(w.den_grid, cube(1, 1, 1, 1.5f));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(!w.runActive());
    QVERIFY(!w.abort_requested && !w.abort_enabled);
    QVERIFY(w.ui->ML_density_conversion->isEnabled());
}

// A program folder where the feature file cannot be created is reported.
void TestMlWindow::featureFileThatCannotBeOpenedIsReported()
{
    MainWindow w;
    w.language = 1;
    w.Vp_grid = numbered(2, 2, 3, 3000.f);
    w.x_vp = nodes(3, 0, 10);
    w.y_vp = nodes(2, 0, 10);
    w.z_vp = nodes(2, 0, 10);
    // A folder under the file's name cannot be replaced by the file.
    QVERIFY(QDir().mkpath(mlFeatureFilePath()));
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    w.saveMLdata(true, true, false, false);
    QDir(mlFeatureFilePath()).removeRecursively();
    QCOMPARE(predicted.count(), 0);
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY2(fake->errors().first().startsWith("Can't save file \"" + QDir::toNativeSeparators(mlFeatureFilePath())),
             qPrintable(fake->errors().first()));
    QVERIFY(!w.runActive());
}

// A disk that refuses the file's bytes (a file size limit stands in for a
// full disk): the message names the file and the cause, as the other writers'
// do, and no unfinished file is left. Refused at a write (a large cube) and
// when the last buffered bytes go out (a small one).
void TestMlWindow::featureFileOnAFullDiskIsReported_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("language");
    QTest::newRow("refused at a write") << 40 << 1;
    QTest::newRow("refused when closing") << 6 << 1;
    QTest::newRow("in Russian") << 40 << 0;
}

void TestMlWindow::featureFileOnAFullDiskIsReported()
{
    QFETCH(int, side);
    QFETCH(int, language);
    MainWindow w;
    w.language = language;
    w.Vp_grid = numbered(std::size_t(side), std::size_t(side), std::size_t(side), 3000.f);
    w.x_vp = nodes(std::size_t(side), 0, 10);
    w.y_vp = nodes(std::size_t(side), 0, 10);
    w.z_vp = nodes(std::size_t(side), 0, 10);
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    {
        FileSizeLimit limit(side == 6 ? 1000 : 100000);  // the file: 60 + 32 bytes per cell
        QVERIFY(limit.ok());
        w.saveMLdata(true, true, false, false);
    }
    QCOMPARE(predicted.count(), 0);
    QCOMPARE(fake->errors().size(), 1);
    const QString error = fake->errors().first();
    const QString start = language == 1 ? "Can't save file \"" : QStringLiteral("Не удалось сохранить файл \"");
    QVERIFY2(error.startsWith(start + QDir::toNativeSeparators(mlFeatureFilePath()) + "\": File too large"),
             qPrintable(error));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(!w.runActive());
}

// A link planted under the feature file's name is replaced by the file; the
// file it pointed to is not written.
void TestMlWindow::plantedLinkIsReplacedNotFollowed()
{
    MainWindow w;
    w.Vp_grid = numbered(2, 2, 3, 3000.f);
    w.x_vp = nodes(3, 0, 10);
    w.y_vp = nodes(2, 0, 10);
    w.z_vp = nodes(2, 0, 10);
    const QString victim = binDir.path() + "/precious.txt";
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    QVERIFY(QFile::link(victim, mlFeatureFilePath()));
    QByteArray written;
    bool link = true;
    connect(&w, &MainWindow::predictMlDensity, this, [&] {
        link = QFileInfo(mlFeatureFilePath()).isSymLink();
        QFile file(mlFeatureFilePath());
        if (file.open(QIODevice::ReadOnly))
            written = file.readAll();
    });
    w.saveMLdata(true, true, false, false);
    QVERIFY(!link);
    QCOMPARE(written.size(), 60 + 32 * 12);
    QFile f(victim);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("precious"));
    QVERIFY(fake->errors().isEmpty());
    QFile::remove(victim);
}

// nx 2, ny 3, nz 4: 60 + 32 x 24 bytes, big-endian header.
void TestMlWindow::featureFileLayout()
{
    MainWindow w;
    w.den_grid = numbered(4, 3, 2, 2.f);
    w.x_calc = nodes(2, 500, 250);
    w.y_calc = nodes(3, 1000, 100);
    w.z_calc = nodes(4, 20, 40);
    w.Vp_grid = numbered(4, 3, 2, 4000.f);
    w.x_vp = w.x_calc;
    w.y_vp = w.y_calc;
    w.z_vp = w.z_calc;
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    w.saveMLdata(true, true, false, false);
    QCOMPARE(predicted.count(), 1);

    QFile file(mlFeatureFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 828);
    QCOMPARE(bytes.left(12), QByteArray::fromHex("000000020000000300000004"));

    const FeatureFile f = readFeatureFile();
    QCOMPARE(f.nx, 2);
    QCOMPARE(f.ny, 3);
    QCOMPARE(f.nz, 4);
    const double bounds[6] = {500, 750, 1000, 1200, 20, 140};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.bounds[i], bounds[i]);
    std::size_t n = 0;
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 2; ++j, ++n) {
                QCOMPARE(f.cells[n][0], 20.0 + 40 * k);
                QCOMPARE(f.cells[n][1], 4000.0 + 100 * k + 10 * i + j);
                QCOMPARE(f.cells[n][2], 0.0);
                QCOMPARE(f.cells[n][3], 0.0);
            }
    QCOMPARE(w.progress_label->text(), QStringLiteral("Подготовка данных"));
    QVERIFY(w.progress_bar.isHidden());
}

void TestMlWindow::geometryFromVsWhenVpIsOff()
{
    MainWindow w;
    w.den_grid = cube(5, 5, 5, 2.f);
    w.x_calc = nodes(5, 0, 1);
    w.y_calc = nodes(5, 0, 1);
    w.z_calc = nodes(5, 0, 1);
    w.Vs_grid = numbered(2, 1, 3, 1000.f);
    w.x_vs = nodes(3, -30, 15);
    w.y_vs = nodes(1, 7, 1);
    w.z_vs = nodes(2, 300, 200);
    w.saveMLdata(true, false, true, false);
    const FeatureFile f = readFeatureFile();
    QCOMPARE(f.nx, 3);
    QCOMPARE(f.ny, 1);
    QCOMPARE(f.nz, 2);
    const double bounds[6] = {-30, 0, 7, 7, 300, 500};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.bounds[i], bounds[i]);
    QCOMPARE(f.cells.size(), std::size_t(6));
    QCOMPARE(f.cells[4][0], 500.0);
    QCOMPARE(f.cells[4][2], 1000.0 + 100 + 1);
}

void TestMlWindow::allFeaturesOffGiveZeros()
{
    MainWindow w;
    w.den_grid = cube(2, 2, 2, 2.f);
    w.x_calc = nodes(2, 0, 1);
    w.y_calc = nodes(2, 0, 1);
    w.z_calc = nodes(2, 10, 1);
    w.Vp_grid = cube(3, 3, 3, 1.f);  // not used: its flag is off
    w.x_vp = w.y_vp = w.z_vp = nodes(3, 0, 1);
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    w.saveMLdata(false, false, false, false);
    QCOMPARE(predicted.count(), 1);
    const FeatureFile f = readFeatureFile();
    QCOMPARE(f.nz, 2);
    QCOMPARE(f.cells.size(), std::size_t(8));
    for (const auto& c : f.cells)
        for (double v : c)
            QCOMPARE(v, 0.0);
}

// Layer m + 1 for horizon m <= z < horizon m + 1; the horizon count above the
// first horizon and at or below the last.
void TestMlWindow::layerNumbers()
{
    MainWindow w;
    const std::size_t nz = 8;
    w.den_grid = cube(nz, 1, 1, 2.f);
    w.x_calc = {0};
    w.y_calc = {0};
    w.z_calc = nodes(nz, 0, 100);  // 0, 100, ..., 700
    w.horizons = {field2D(1, {100.0}), field2D(1, {300.0}), field2D(1, {500.0})};
    w.saveMLdata(false, false, false, true);
    const FeatureFile f = readFeatureFile();
    QCOMPARE(f.cells.size(), nz);
    const double expected[nz] = {3, 1, 1, 2, 2, 3, 3, 3};
    for (std::size_t k = 0; k < nz; ++k)
        QCOMPARE(f.cells[k][3], expected[k]);
}

void TestMlWindow::noSourceCube_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0 << QStringLiteral("Ошибка. В проекте должна быть хотя бы одна сеточная модель");
    QTest::newRow("English") << 1 << QStringLiteral("Error. Project must contain at least one grid model");
}

void TestMlWindow::noSourceCube()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    MainWindow w;
    w.language = language;
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    w.saveMLdata(true, false, false, false);
    QCOMPARE(predicted.count(), 0);
    QCOMPARE(fake->errors(), QStringList{text});
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

// A feature cube smaller than the source would be read past its end.
void TestMlWindow::featureCubeTooSmallIsRefused()
{
    MainWindow w;
    w.language = 1;
    w.Vp_grid = cube(3, 3, 3, 3000.f);
    w.x_vp = w.y_vp = w.z_vp = nodes(3, 0, 1);
    w.Vs_grid = cube(3, 2, 3, 1500.f);
    w.x_vs = w.z_vs = nodes(3, 0, 1);
    w.y_vs = nodes(2, 0, 1);
    QSignalSpy predicted(&w, &MainWindow::predictMlDensity);
    w.saveMLdata(true, true, true, false);
    QCOMPARE(predicted.count(), 0);
    QCOMPARE(fake->errors(), QStringList{"Error. The grids of the features differ in size"});
    // Horizons that do not cover the grid likewise.
    fake->clear();
    w.Vs_grid.clear();
    w.horizons = {field2D(3, std::vector<double>(2, 1.0))};
    w.saveMLdata(true, true, false, true);
    QCOMPARE(predicted.count(), 0);
    QCOMPARE(fake->errors().size(), 1);
}

void TestMlWindow::resultReplacesTheDensityGrid()
{
    MainWindow w;
    w.den_grid = cube(1, 1, 1, 1.f);
    w.x_calc = w.y_calc = w.z_calc = {0};
    w.Vp_grid = cube(2, 2, 2, 3000.f);
    w.crop_borders = {{0, 0, 0, 0, 0, 0}};
    const vector3D predicted = numbered(3, 2, 4, 2.f);
    QVERIFY(write_cube_file(mlResultFilePath(), predicted, nodes(4, 10, 5), nodes(2, 20, 5), nodes(3, 0, 50)).ok());
    writeFeatureHeader(4, 2, 3, {{10, 25, 20, 25, 0, 100}});
    w.undo_stack.clear();

    w.loadMlResult();
    QVERIFY(w.den_grid == predicted);
    QCOMPARE(w.x_calc, nodes(4, 10, 5));
    QCOMPARE(w.y_calc, nodes(2, 20, 5));
    QCOMPARE(w.z_calc, nodes(3, 0, 50));
    QCOMPARE(w.x_norm, w.x_calc);
    QCOMPARE(w.z_norm, w.z_calc);
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{10, 25, 20, 25, 0, 100}}));
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.Vp_grid.size(), std::size_t(2));
    QVERIFY(!QFile::exists(mlResultFilePath()));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
    QVERIFY(fake->notes.isEmpty());
}

void TestMlWindow::unreadableResultChangesNothing()
{
    MainWindow w;
    w.den_grid = cube(1, 2, 2, 1.f);
    w.x_calc = w.y_calc = {0, 1};
    w.z_calc = {0};
    QFile result(mlResultFilePath());
    QVERIFY(result.open(QIODevice::WriteOnly));
    result.write("not a cube");
    result.close();
    w.loadMlResult();
    QCOMPARE(w.den_grid, cube(1, 2, 2, 1.f));
    QCOMPARE(w.x_calc, (std::vector<double>{0, 1}));
    QVERIFY(!QFile::exists(mlResultFilePath()));
    QCOMPARE(fake->errors().size(), 1);  // reported, not passed over in silence
}

// A result that does not lie on the lattice the features were written for
// (other counts or other nodes) is refused and the grid kept.
void TestMlWindow::resultOffTheFeatureLattice_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<double>("xLast");
    QTest::newRow("other column count") << 3 << 25.0;
    QTest::newRow("other last node") << 4 << 40.0;
}

void TestMlWindow::resultOffTheFeatureLattice()
{
    QFETCH(int, nx);
    QFETCH(double, xLast);
    MainWindow w;
    w.language = 1;
    w.den_grid = cube(1, 2, 2, 1.f);
    w.x_calc = w.y_calc = {0, 1};
    w.z_calc = {0};
    w.model_bounds = {{0, 1, 0, 1, 0, 0}};
    writeFeatureHeader(4, 2, 3, {{10, 25, 20, 25, 0, 100}});
    const double step = (xLast - 10) / (nx - 1);
    QVERIFY(write_cube_file(mlResultFilePath(), numbered(3, 2, std::size_t(nx), 2.f), nodes(std::size_t(nx), 10, step),
                            nodes(2, 20, 5), nodes(3, 0, 50))
                .ok());
    w.loadMlResult();
    QCOMPARE(w.den_grid, cube(1, 2, 2, 1.f));
    QCOMPARE(w.x_calc, (std::vector<double>{0, 1}));
    QCOMPARE(w.model_bounds, (std::array<double, 6>{{0, 1, 0, 1, 0, 0}}));
    QCOMPARE(fake->errors(), QStringList{"Error. The predicted grid does not match the model"});
    QVERIFY(!QFile::exists(mlResultFilePath()));
    QVERIFY(!QFile::exists(mlFeatureFilePath()));
}

QTEST_MAIN(TestMlWindow)
#include "tst_ml_window.moc"
