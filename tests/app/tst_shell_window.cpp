// The main window's construction values and settings, the close handler and
// the message texts, on the offscreen platform (no 3D graph).

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views/surf.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

std::unique_ptr<QSettings> store()
{
    return std::unique_ptr<QSettings>(new QSettings(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D")));
}

void clearStore()
{
    QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
    s.clear();
    s.sync();
}

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float value)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, value)));
}

// Loads one data set into the window by name.
void load(MainWindow& w, const QString& what)
{
    if (what == "den_grid")
        w.den_grid = cube(2, 2, 2, 2.5f);
    else if (what == "horizons")
        w.horizons = {field2D(2, std::vector<double>(2, 100.0))};
    else if (what == "Vp_grid")
        w.Vp_grid = cube(2, 2, 2, 3000.f);
    else if (what == "Vs_grid")
        w.Vs_grid = cube(2, 2, 2, 1500.f);
    else if (what == "Vz_observed")
        w.Vz_observed = field2D(2, std::vector<double>(2, 1.0));
    else if (what == "regularizer")
        w.regularizer = cube(2, 2, 2, 1.f);
    else if (what == "Vz_calculated")
        w.Vz_calculated = field2D(2, std::vector<double>(2, 1.0));
    else if (what == "profiles_scheme")
        w.profiles_scheme = {{0, 0, 1, 1}};
    else if (what == "faults")
        w.faults.sticks = {{{QVector3D(0, 0, 0), QVector3D(0, 0, 1)}}};
    else
        QFAIL(qPrintable("unknown data set " + what));
}

} // namespace

class TestShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void constructionValues();
    void windowObjectsExistWithoutGraph();
    void connectionsAreMade();
    void settingsAreRead_data();
    void settingsAreRead();
    void storedLanguageSwitchesTexts();
    void savedDirectoryIsWhereFileDialogsStart();

    void hasAnyData_data();
    void hasAnyData();
    void closeHandler_data();
    void closeHandler();
    void closeAsksInTheWindowLanguage_data();
    void closeAsksInTheWindowLanguage();
    void failedSaveThenNoCloses();

    void messagesCarryTheirIcon();
    void manualMissing_data();
    void manualMissing();
    void manualPresentIsOpened();
    void aboutBox();

private:
    QTemporaryDir settingsDir;
    std::unique_ptr<FakeInteraction> fake;
};

void TestShellWindow::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void TestShellWindow::init()
{
    clearStore();
    fake.reset(new FakeInteraction);
}

void TestShellWindow::cleanup()
{
    fake.reset();
}

void TestShellWindow::constructionValues()
{
    MainWindow w;
    QCOMPARE(w.project_version, 2);
    QVERIFY(w.project_path.isEmpty());
    QVERIFY(w.project_name.isEmpty());
    QCOMPARE(w.language, 0);
    QCOMPARE(w.preferences, (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(w.thread_count, 1);
    QCOMPARE(w.store_eff, false);
    QCOMPARE(w.expansion_factor, 0.0);
    QCOMPARE(w.modelScaleDirection, 0);
    QCOMPARE(w.mapsScaleDirection, 0);
    QVERIFY(w.den_grid.empty() && w.x_calc.empty() && w.y_calc.empty() && w.z_calc.empty());
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 0.0);
    QCOMPARE(w.dz, 0.0);
    QCOMPARE(w.calc_height, 0.0);
    QVERIFY(w.Vp_grid.empty() && w.Vs_grid.empty() && w.regularizer.empty());
    QVERIFY(w.regularizer_offsets.empty());
    QCOMPARE(w.regularizer_scale, 1.0);
    QCOMPARE(w.central_reg_width, 0.5);
    QVERIFY(w.horizons.empty() && w.densities.empty() && w.fixed.empty() && w.layers_names.empty());
    QVERIFY(w.Vz_observed.empty() && w.observed_params.empty());
    QVERIFY(w.Vz_calculated.empty() && w.calculated_params.empty());
    QVERIFY(w.effects.empty());
    QVERIFY(w.layer_effects.empty());
    QCOMPARE(w.alpha_factor, 0.0);
    QCOMPARE(w.inversion_params, (std::vector<double>{100, 0.1, 0, 1, 0, 0.02, 0, 0}));
    QVERIFY(w.log_dir.isEmpty());
    QCOMPARE(w.save_log, true);
    QVERIFY(w.horizon_fit_params.isEmpty());
    QCOMPARE(w.inversion_running, false);
    QCOMPARE(w.forward_running, false);
    QCOMPARE(w.abort_enabled, false);
    QCOMPARE(w.abort_requested, false);
    QVERIFY(w.faults.empty());
    QVERIFY(w.profiles_scheme.empty());
    QCOMPARE(w.horizon_edit_params, (std::vector<double>{100, 100, 0.5, 10}));
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.norm_factors.divisor, (std::array<double, 3>{{1, 1, 1}}));
    QCOMPARE(w.norm_factors.exponent, (std::array<int, 3>{{0, 0, 0}}));
    QVERIFY(w.shown_cube == nullptr);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{-1, -1, -1, -1, -1, -1}}));
    QVERIFY(w.window_limits.empty());
    QVERIFY(w.model_caxis.empty() && w.observed_caxis.empty() && w.calc_caxis.empty());
    QCOMPARE(w.calc_caxis_from_obs, true);
    QCOMPARE(w.visible_data, std::make_pair(1, 1));
    QCOMPARE(w.selected_row, -1);
    QCOMPARE(w.selected_column, -1);
    QCOMPARE(w.selected_horizon, -1);
    QCOMPARE(w.z_scale_type, 0);
    QCOMPARE(w.section_direction, 0);
    QVERIFY(w.section_line.empty());
    QVERIFY(w.horizons_editing_dialog == nullptr);

    // Both gradients are the jet preset.
    const QCPColorGradient jet(QCPColorGradient::gpJet);
    QVERIFY(w.maps_gradient == jet);
    QVERIFY(w.cube_gradient == jet);

    // The dock and its action are out of reach.
    QVERIFY(w.ui->dockWidget->isHidden());
    QVERIFY(!w.ui->showDock->isVisible());
    QVERIFY(!w.ui->showDock->isEnabled());
    // Nothing was said on the headless platform.
    QVERIFY(fake->notes.isEmpty());
}

// Without a graph (the offscreen platform) every other window object exists,
// so that later commands never meet a null object.
void TestShellWindow::windowObjectsExistWithoutGraph()
{
    MainWindow w;
    QVERIFY(w.graph == nullptr);
    QVERIFY(w.surf != nullptr);
    QVERIFY(w.surf->graph == nullptr);
    QCOMPARE(w.surf->alpha, 255);

    QVERIFY(w.progress_label && w.misfit_label);
    QVERIFY(w.progress_label->text().isEmpty());
    QVERIFY(w.misfit_label->text().isEmpty());
    QCOMPARE(w.progress_label->parentWidget(), static_cast<QWidget*>(w.ui->statusbar));
    QCOMPARE(w.misfit_label->parentWidget(), static_cast<QWidget*>(w.ui->statusbar));
    QCOMPARE(w.progress_bar.parentWidget(), static_cast<QWidget*>(w.ui->statusbar));
    QVERIFY(w.progress_bar.isHidden());
    // Left to right: label, bar, misfit.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.progress_bar.show();
    QCoreApplication::processEvents();
    QVERIFY(w.progress_label->x() < w.progress_bar.x());
    QVERIFY(w.progress_bar.x() < w.misfit_label->x());
    w.progress_bar.hide();

    struct Plot
    {
        QCustomPlot* plot;
        QCPColorScale* scale;
    };
    for (const Plot& p : {Plot{w.ui->observed_axes, w.observed_scale}, Plot{w.ui->calculated_axes, w.calculated_scale},
                          Plot{w.ui->model_colorscale, w.model_scale}}) {
        QVERIFY(p.scale);
        QCOMPARE(p.plot->plotLayout()->element(0, 1), static_cast<QCPLayoutElement*>(p.scale));
        QVERIFY(!p.scale->visible());
        QVERIFY(p.scale->marginGroup(QCP::msLeft) != nullptr);
        QVERIFY(!p.plot->axisRect()->visible());
    }
    const QCP::Interactions maps = QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables;
    QCOMPARE(w.ui->observed_axes->interactions(), maps);
    QCOMPARE(w.ui->calculated_axes->interactions(), maps);
    QVERIFY(fake->notes.isEmpty());
}

namespace {
// Gives the tests the window's protected connection count.
class ProbeWindow : public MainWindow
{
public:
    int keyReceivers() { return receivers(SIGNAL(keyPressEvent(QKeyEvent*))); }
};
} // namespace

// Disconnecting reports whether the connection existed: each of the table's
// connections is there exactly once.
void TestShellWindow::connectionsAreMade()
{
    ProbeWindow w;
    QCOMPARE(w.keyReceivers(), 1);
    const auto rangeChanged = QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged);
    QVERIFY(QObject::disconnect(w.surf, &Surf::selectedSeriesChanged, &w, &MainWindow::selectedSeriesChanged));
    QVERIFY(QObject::disconnect(w.surf, QOverload<const QPoint&>::of(&Surf::selectedPoint), &w,
                                &MainWindow::selectedPoint));
    QVERIFY(QObject::disconnect(&w, &MainWindow::keyPressEvent, &w, &MainWindow::keyPressSlot));
    QVERIFY(QObject::disconnect(w.ui->calculated_axes, &QCustomPlot::mousePress, &w, &MainWindow::calculatedClicked));
    QVERIFY(QObject::disconnect(w.ui->observed_axes, &QCustomPlot::mousePress, &w, &MainWindow::observedClicked));
    QVERIFY(QObject::disconnect(w.ui->splitter, &QSplitter::splitterMoved, &w, &MainWindow::updateFieldsRatio));
    QVERIFY(QObject::disconnect(w.ui->model_colorscale, &QCustomPlot::mousePress, &w, &MainWindow::colorbarClicked));
    QVERIFY(QObject::disconnect(w.ui->calculated_axes->xAxis, rangeChanged, &w, &MainWindow::calculatedXchanged));
    QVERIFY(QObject::disconnect(w.ui->observed_axes->xAxis, rangeChanged, &w, &MainWindow::observedXchanged));
    QVERIFY(QObject::disconnect(w.ui->calculated_axes->yAxis, rangeChanged, &w, &MainWindow::calculatedYchanged));
    QVERIFY(QObject::disconnect(w.ui->observed_axes->yAxis, rangeChanged, &w, &MainWindow::observedYchanged));
    // No second copy of any of them.
    QVERIFY(!QObject::disconnect(&w, &MainWindow::keyPressEvent, &w, &MainWindow::keyPressSlot));
    QVERIFY(!QObject::disconnect(w.ui->observed_axes, &QCustomPlot::mousePress, &w, &MainWindow::observedClicked));
}

void TestShellWindow::settingsAreRead_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("storeEff");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("modelDir");
    QTest::addColumn<int>("mapsDir");

    QTest::newRow("empty store") << QVariantMap() << false << 0 << 0 << 0;
    QTest::newRow("all keys") << QVariantMap{{"preferences/store_eff", true},
                                             {"preferences/language", 1},
                                             {"preferences/modelScaleDirection", 1},
                                             {"preferences/mapsScaleDirection", 1}}
                              << true << 1 << 1 << 1;
    QTest::newRow("language only") << QVariantMap{{"preferences/language", 1}} << false << 1 << 0 << 0;
    QTest::newRow("language 2 gives the default") << QVariantMap{{"preferences/language", 2}} << false << 0 << 0
                                                  << 0;
    QTest::newRow("unreadable values give 0")
        << QVariantMap{{"preferences/language", "abc"}, {"preferences/mapsScaleDirection", "x1"}} << false << 0 << 0
        << 0;
}

// Items 6 to 9 of the preferences follow the store; the thread count, the
// scale types and the expansion factor always start at 1, jet and 0.
void TestShellWindow::settingsAreRead()
{
    QFETCH(QVariantMap, stored);
    QFETCH(bool, storeEff);
    QFETCH(int, language);
    QFETCH(int, modelDir);
    QFETCH(int, mapsDir);
    {
        auto s = store();
        for (auto it = stored.begin(); it != stored.end(); ++it)
            s->setValue(it.key(), it.value());
        // Keys the program never reads.
        s->setValue("preferences/thread_count", 8);
        s->setValue("preferences/expansion_factor", 3.0);
        s->sync();
    }
    MainWindow w;
    QCOMPARE(w.store_eff, storeEff);
    QCOMPARE(w.language, language);
    QCOMPARE(w.modelScaleDirection, modelDir);
    QCOMPARE(w.mapsScaleDirection, mapsDir);
    QCOMPARE(w.preferences,
             (std::vector<double>{1, 0, 0, 0, 0, 0, storeEff ? 1.0 : 0.0, double(language), double(modelDir),
                                  double(mapsDir)}));
    QCOMPARE(w.thread_count, 1);
    QCOMPARE(w.expansion_factor, 0.0);
    QVERIFY(w.maps_gradient == QCPColorGradient(QCPColorGradient::gpJet));
}

// The stored language is applied to the form's texts.
void TestShellWindow::storedLanguageSwitchesTexts()
{
    QString russian;
    {
        MainWindow w;
        russian = w.ui->open_project->text();
    }
    {
        auto s = store();
        s->setValue("preferences/language", 1);
        s->sync();
    }
    MainWindow w;
    QCOMPARE(w.language, 1);
    QVERIFY(w.ui->open_project->text() != russian);
}

// "save/savepath" becomes the directory where file dialogs without one start,
// and the close handler stores that directory again.
void TestShellWindow::savedDirectoryIsWhereFileDialogsStart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = QDir(dir.path()).absolutePath();
    {
        auto s = store();
        s->setValue("save/savepath", path);
        s->sync();
    }
    MainWindow w;
    {
        QFileDialog probe;
        QCOMPARE(probe.directory().absolutePath(), path);
    }
    // Closing with data and No stores the directory back.
    clearStore();
    w.Vz_observed = field2D(1, std::vector<double>(1, 0.0));
    fake->answers << QMessageBox::No;
    w.show();
    QVERIFY(w.close());
    QCOMPARE(store()->value("save/savepath").toString(), path);
}

void TestShellWindow::hasAnyData_data()
{
    QTest::addColumn<QString>("dataSet");
    QTest::addColumn<bool>("counts");
    for (const char* name : {"den_grid", "horizons", "Vp_grid", "Vs_grid", "Vz_observed", "regularizer"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    // Data that the close handler does not ask about.
    for (const char* name : {"Vz_calculated", "profiles_scheme", "faults"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestShellWindow::hasAnyData()
{
    QFETCH(QString, dataSet);
    QFETCH(bool, counts);
    MainWindow w;
    QVERIFY(!w.hasAnyData());
    load(w, dataSet);
    QCOMPARE(w.hasAnyData(), counts);

    // The same test decides whether closing asks.
    w.show();
    fake->answers << QMessageBox::No;
    QVERIFY(w.close());
    QCOMPARE(fake->questions.size(), counts ? 1 : 0);
}

// The close handler's table: what is asked, whether the window closes, whether
// the project is saved and the settings written, what happens to the flags.
void TestShellWindow::closeHandler_data()
{
    QTest::addColumn<bool>("withData");
    QTest::addColumn<int>("answer");  // QMessageBox::StandardButton
    QTest::addColumn<bool>("saveSucceeds");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("saves");
    QTest::addColumn<bool>("writesSettings");

    QTest::newRow("nothing loaded") << false << int(QMessageBox::Yes) << true << false << true << 0 << true;
    QTest::newRow("data, Yes, save succeeds") << true << int(QMessageBox::Yes) << true << true << true << 1 << true;
    QTest::newRow("data, Yes, save fails") << true << int(QMessageBox::Yes) << false << true << false << 1 << false;
    QTest::newRow("data, No") << true << int(QMessageBox::No) << true << true << true << 0 << true;
    QTest::newRow("data, Cancel") << true << int(QMessageBox::Cancel) << true << true << false << 0 << false;
    QTest::newRow("data, box closed (Escape)")
        << true << int(QMessageBox::NoButton) << true << true << false << 0 << false;
}

void TestShellWindow::closeHandler()
{
    QFETCH(bool, withData);
    QFETCH(int, answer);
    QFETCH(bool, saveSucceeds);
    QFETCH(bool, asks);
    QFETCH(bool, closes);
    QFETCH(int, saves);
    QFETCH(bool, writesSettings);

    MainWindow w;
    int saveCalls = 0;
    bool settingsBeforeSave = false;
    w.save_before_close = [&] {
        ++saveCalls;
        settingsBeforeSave = store()->contains("preferences/language");
        return saveSucceeds;
    };
    if (withData)
        w.den_grid = cube(3, 2, 2, 2.0f);
    w.language = 1;
    w.store_eff = true;
    w.modelScaleDirection = 1;
    w.mapsScaleDirection = 0;
    w.inversion_running = true;
    w.forward_running = true;
    fake->answers << QMessageBox::StandardButton(answer);

    w.show();
    QCOMPARE(w.close(), closes);
    QCOMPARE(w.isVisible(), !closes);
    QCOMPARE(saveCalls, saves);
    // The settings are written only once the save has succeeded.
    QVERIFY(!settingsBeforeSave);

    if (asks) {
        QCOMPARE(fake->questions.size(), 1);
        const FakeInteraction::Question q = fake->questions.first();
        QCOMPARE(q.title, QStringLiteral("Tolmera3D"));
        QCOMPARE(q.text, QStringLiteral("Save project before exit?"));
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(q.defaultButton, QMessageBox::Cancel);
    } else {
        QVERIFY(fake->questions.isEmpty());
    }

    auto s = store();
    QCOMPARE(s->contains("preferences/language"), writesSettings);
    if (writesSettings) {
        QVERIFY(s->contains("save/savepath"));
        QCOMPARE(s->value("preferences/store_eff").toBool(), true);
        QCOMPARE(s->value("preferences/language").toInt(), 1);
        QCOMPARE(s->value("preferences/modelScaleDirection").toInt(), 1);
        QCOMPARE(s->value("preferences/mapsScaleDirection").toInt(), 0);
    } else {
        QVERIFY(s->allKeys().isEmpty());
    }

    // An accepted close stops every run; a refused one changes nothing.
    QCOMPARE(w.inversion_running, !closes);
    QCOMPARE(w.forward_running, !closes);
    QCOMPARE(w.den_grid.empty(), !withData);
    QVERIFY(fake->notes.isEmpty());
}

void TestShellWindow::closeAsksInTheWindowLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0 << QStringLiteral("Сохранить проект перед выходом?");
    QTest::newRow("English") << 1 << QStringLiteral("Save project before exit?");
    QTest::newRow("other") << 2 << QStringLiteral("Save project before exit?");
}

void TestShellWindow::closeAsksInTheWindowLanguage()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    MainWindow w;
    w.language = language;
    w.horizons = {field2D(1, std::vector<double>(1, 5.0))};
    w.show();
    QVERIFY(!w.close());  // Cancel by default
    QCOMPARE(fake->questions.size(), 1);
    QCOMPARE(fake->questions.first().text, text);
}

// After a failed save the window keeps its data; a second close answered No
// closes it.
void TestShellWindow::failedSaveThenNoCloses()
{
    MainWindow w;
    int saveCalls = 0;
    w.save_before_close = [&] {
        ++saveCalls;
        return false;
    };
    w.Vs_grid = cube(1, 1, 1, 1500.f);
    w.show();
    fake->answers << QMessageBox::Yes;
    QVERIFY(!w.close());
    QCOMPARE(saveCalls, 1);
    QCOMPARE(w.Vs_grid.size(), std::size_t(1));
    fake->answers << QMessageBox::No;
    QVERIFY(w.close());
    QCOMPARE(saveCalls, 1);
    QCOMPARE(fake->questions.size(), 2);
}

void TestShellWindow::messagesCarryTheirIcon()
{
    MainWindow w;
    w.show_error(QStringLiteral("bad"));
    w.show_message(QStringLiteral("fine"));
    w.show_error(QString());
    QCOMPARE(fake->notes.size(), 3);
    QCOMPARE(fake->notes[0].icon, QMessageBox::Critical);
    QCOMPARE(fake->notes[0].text, QStringLiteral("bad"));
    QVERIFY(fake->notes[0].title.isEmpty());
    QCOMPARE(fake->notes[1].icon, QMessageBox::Information);
    QCOMPARE(fake->notes[1].text, QStringLiteral("fine"));
    QVERIFY(fake->notes[1].title.isEmpty());
    QCOMPARE(fake->notes[2].icon, QMessageBox::Critical);
    QVERIFY(fake->notes[2].text.isEmpty());
}

namespace {
QString manualPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Tolmera3D руководство.pdf");
}
} // namespace

void TestShellWindow::manualMissing_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0 << QStringLiteral("Файл с руководством отсутствует");
    QTest::newRow("English") << 1 << QStringLiteral("Can't find the manual");
    QTest::newRow("other") << 2 << QStringLiteral("Can't find the manual");
}

void TestShellWindow::manualMissing()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    QFile::remove(manualPath());
    MainWindow w;
    w.language = language;
    w.ui->manual->trigger();
    QCOMPARE(fake->errors(), QStringList{text});
    QVERIFY(fake->openedUrls.isEmpty());
}

void TestShellWindow::manualPresentIsOpened()
{
    QFile pdf(manualPath());
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n");
    pdf.close();
    MainWindow w;
    fake->openUrlResult = false;  // no viewer: still no message
    w.ui->manual->trigger();
    QFile::remove(manualPath());
    QCOMPARE(fake->openedUrls.size(), 1);
    QCOMPARE(fake->openedUrls.first(), QUrl::fromLocalFile(manualPath()));
    QVERIFY(fake->notes.isEmpty());
}

void TestShellWindow::aboutBox()
{
    MainWindow w;
    QString text, title;
    QSize size;
    bool hasIcon = false;
    fake->onDialog = [&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box)
            return int(QDialog::Rejected);
        text = box->text();
        title = box->windowTitle();
        size = box->minimumSize();
        hasIcon = !box->iconPixmap().isNull() && box->iconPixmap().size() == QSize(99, 99);
        return int(QDialog::Accepted);
    };
    w.ui->about_programm->trigger();
    QCOMPARE(fake->dialogs, QStringList{"QMessageBox"});
    QCOMPARE(title, QStringLiteral("Tolmera3D"));
    QVERIFY(text.startsWith(
        "<html><p align='center'><span style='font-size:10pt;'><b> Tolmera3D </b> <br> Website: <a "));
    QVERIFY(text.contains(" <br> e-mail: <i>"));
    QVERIFY(text.endsWith("</i><br> 2021 "));
    QCOMPARE(size, QSize(300, 200));
    QVERIFY(hasIcon);
}

QTEST_MAIN(TestShellWindow)
#include "tst_shell_window.moc"
