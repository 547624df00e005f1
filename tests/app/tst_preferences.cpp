// The preferences dialog (widgets, texts in both languages, the live estimate,
// refused expansion factors, the emitted record, the device list), the main
// window's side (applying a record, the Preferences command) and the settings
// store.

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/preferencesdialog.h"
#include "engine/memory.h"
#include "app/run_guard.h"
#include "fake_interaction.h"
#include "views/gradients.h"
#include "views/surf.h"

#include <CL/cl.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

template <typename T>
T* child(QObject* parent, const char* name)
{
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

QString text(QObject* d, const char* label)
{
    return child<QLabel>(d, label)->text();
}

QStringList items(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

void typeFactor(PreferencesDialog& d, const QString& value)
{
    QLineEdit* edit = child<QLineEdit>(&d, "expansion_factor");
    edit->selectAll();
    if (value.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, value);
    QCOMPARE(edit->text(), value);
}

// What OK emitted, or an empty record.
std::vector<double> emitted(const QSignalSpy& spy)
{
    if (spy.isEmpty())
        return {};
    return spy.last().at(0).value<std::vector<double>>();
}

// Runs `during` on the modal widget that `start` opens; fails (and closes the
// widget) after a deadline instead of hanging.
bool onModal(const std::function<void()>& start, const std::function<void(QWidget*)>& during)
{
    bool seen = false;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && !seen) {
            seen = true;
            during(modal);
            if (modal->isVisible())
                modal->close();
        } else if (clock.elapsed() > 10000) {
            if (modal)
                modal->close();
            timer.stop();
        }
    });
    timer.start();
    start();
    timer.stop();
    return seen;
}

std::vector<QPair<double, QColor>> stops(const QCPColorGradient& g)
{
    std::vector<QPair<double, QColor>> out;
    const QMap<double, QColor> s = g.colorStops();
    for (auto it = s.begin(); it != s.end(); ++it)
        out.push_back({it.key(), it.value()});
    return out;
}

EffectsOperator someEffects()
{
    EffectsOperator e;
    e.shape(2, 4, 4);
    for (auto& level : e.quarter)
        std::fill(level.begin(), level.end(), 1.f);
    e.im.assign(2, vector2D(4, std::vector<data_type>(4, 1.f)));
    return e;
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The dialog
    void constructionState();
    void threadChoices_data();
    void threadChoices();
    void languageTexts_data();
    void languageTexts();
    void languageListSwitchesTheOpenDialog();
    void estimateLabels_data();
    void estimateLabels();
    void refusedFactors_data();
    void refusedFactors();
    void refusedWhenTheGridDoesNotFitMemory();
    void loadPreferencesFillsTheWidgets();
    void recordAfterEdits();
    void threadCountOutsideTheList_data();
    void threadCountOutsideTheList();
    void unknownLanguageSurvivesOk();
    void cancelEmitsNothing();
    void deviceListMatchesTheIcdLoader();

    // The main window
    void setPreferencesApplies();
    void effectsAfterAnApply_data();
    void effectsAfterAnApply();
    void damagedRecordsAreNotApplied();
    void preferencesCommandAppliesOk();
    void preferencesCommandCancel();
    void preferencesCommandRefusedWhileRunning();

    // The settings store
    void settingsRoundTripThroughWriteAndRead();
    void settingsAbsentKeysKeepTheDefaults();
    void settingsUnreadableValues();
    void settingsOutOfRangeReadAsDefaults_data();
    void settingsOutOfRangeReadAsDefaults();
    void settingsStoredByCloseWithNo();
    void settingsStoredByCloseOfAnEmptyWindow();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<QTemporaryDir> config;
    std::unique_ptr<QTemporaryDir> folders;
};

void TestPreferences::initTestCase()
{
    qRegisterMetaType<std::vector<double>>("std::vector<double>");
    qRegisterMetaType<std::vector<double>>("std::vector<double>&");
    // A settings location of this test alone.
    config.reset(new QTemporaryDir);
    QVERIFY(config->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config->path());
    folders.reset(new QTemporaryDir);
    QVERIFY(folders->isValid());
}

void TestPreferences::init()
{
    fake.reset(new FakeInteraction);
    QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
    s.clear();
    s.sync();
}

void TestPreferences::cleanup()
{
    fake.reset();
}

// ---------------------------------------------------------------- dialog

void TestPreferences::constructionState()
{
    PreferencesDialog d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Preferences"));
    QCOMPARE(d.size(), QSize(563, 340));
    QCOMPARE(d.styleSheet(), QStringLiteral("QMainWindow {background: 'white';}"));

    // The form's own texts until a language is chosen.
    QCOMPARE(text(&d, "thread_count_label"), QStringLiteral("Thread count"));
    QVERIFY(text(&d, "use_device_label").contains(QStringLiteral("Use device")));
    QVERIFY(text(&d, "expansion_label").contains(QStringLiteral("Model expansion")));
    QCOMPARE(text(&d, "cube_scale_dir_label"), QStringLiteral("Cube scae direction"));
    QCOMPARE(child<QLineEdit>(&d, "expansion_factor")->text(), QStringLiteral("2"));
    QCOMPARE(text(&d, "model_size"), QString());
    QCOMPARE(text(&d, "required_memory"), QString());

    const unsigned cores = std::thread::hardware_concurrency();
    QCOMPARE(child<QComboBox>(&d, "ThreadList")->count(), int(cores > 0 ? cores : 1));
    QCOMPARE(child<QComboBox>(&d, "ThreadList")->itemText(0), QStringLiteral("1"));

    const QStringList scales{"Jet", "Gray scale", "Hot", "Ion", "Blue-Red", "Seismic"};
    QCOMPARE(items(child<QComboBox>(&d, "ColorScale")), scales);
    QCOMPARE(items(child<QComboBox>(&d, "ColorScale_cube")), scales);
    QCOMPARE(child<QComboBox>(&d, "ColorScale")->iconSize(), QSize(80, 16));
    for (const char* list : {"ColorScale", "ColorScale_cube"})
        for (int i = 0; i < 6; ++i)
            QVERIFY2(!child<QComboBox>(&d, list)->itemIcon(i).isNull(), list);
    QCOMPARE(items(child<QComboBox>(&d, "language_list")), (QStringList{"Русский", "English"}));
    QCOMPARE(items(child<QComboBox>(&d, "cube_scale_dir_type")), (QStringList{"Upward", "Downward"}));
    QCOMPARE(items(child<QComboBox>(&d, "field_scale_dir_type")), (QStringList{"Upward", "Downward"}));
    QCOMPARE(child<QCheckBox>(&d, "invert_checkbox")->text(), QString());
    QCOMPARE(child<QPushButton>(&d, "OKbutton")->text(), QStringLiteral("Ok"));
    QCOMPARE(child<QPushButton>(&d, "Cancelbutton")->text(), QStringLiteral("Cancel"));
    QVERIFY(d.expansionFactorAccepted());
}

void TestPreferences::threadChoices_data()
{
    QTest::addColumn<unsigned>("cores");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unknown core count") << 0u << QStringList{"1"};
    QTest::newRow("one") << 1u << QStringList{"1"};
    QTest::newRow("four") << 4u << QStringList{"1", "2", "3", "4"};
}

void TestPreferences::threadChoices()
{
    QFETCH(unsigned, cores);
    QFETCH(QStringList, expected);
    QCOMPARE(PreferencesDialog::threadChoices(cores), expected);
}

void TestPreferences::languageTexts_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QStringList>("expected");  // title, then the labels below, then the direction items
    QTest::newRow("English") << 1
                             << QStringList{"Preferences", "Count of threads", "Computing device",
                                            "Expansion factor", "Required RAM for inversion",
                                            "Colorscale (maps)", "Invert colorscale (maps)",
                                            "Colorscale (3D model)", "Invert colorscale (3D model)",
                                            "Store effects", "Language", "Cube scae direction",
                                            "Field scale direction", "Upward", "Downward"};
    QTest::newRow("Russian") << 0
                             << QStringList{"Настройки", "Кол-во потоков", "Вычислительное устройство",
                                            "Коэффициент расширения", "Объем ОЗУ для инверсии",
                                            "Цветовая шкала (карты)", "Инвертировать шкалу (карты)",
                                            "Цветовая шкала (3D модель)", "Инвертировать шкалу (3D модель)",
                                            "Хранить эффекты в памяти", "Язык",
                                            "Направление шкалы (3D модель)", "Направление шкалы (карты)",
                                            "Снизу вверх", "Сверху сниз"};
}

void TestPreferences::languageTexts()
{
    QFETCH(int, lang);
    QFETCH(QStringList, expected);
    PreferencesDialog d;
    d.setLanguage(lang);
    const QStringList shown{d.windowTitle(),
                            text(&d, "thread_count_label"),
                            text(&d, "use_device_label"),
                            text(&d, "expansion_label"),
                            text(&d, "memory_label"),
                            text(&d, "field_color_label"),
                            text(&d, "invert_field_color_label"),
                            text(&d, "model_color_label"),
                            text(&d, "invert_cube_color_label"),
                            text(&d, "store_effects_label"),
                            text(&d, "language_label"),
                            text(&d, "cube_scale_dir_label"),
                            text(&d, "field_scale_dir_label"),
                            child<QComboBox>(&d, "cube_scale_dir_type")->itemText(0),
                            child<QComboBox>(&d, "cube_scale_dir_type")->itemText(1)};
    QCOMPARE(shown, expected);
    QCOMPARE(items(child<QComboBox>(&d, "field_scale_dir_type")), expected.mid(13));
    // Buttons and the lists of scales and languages keep their texts.
    QCOMPARE(child<QPushButton>(&d, "OKbutton")->text(), QStringLiteral("Ok"));
    QCOMPARE(child<QComboBox>(&d, "ColorScale")->itemText(4), QStringLiteral("Blue-Red"));

    // Any other language changes no text.
    d.setLanguage(2);
    QCOMPARE(text(&d, "thread_count_label"), expected.at(1));
    QCOMPARE(child<QComboBox>(&d, "cube_scale_dir_type")->itemText(1), expected.at(14));
}

void TestPreferences::languageListSwitchesTheOpenDialog()
{
    PreferencesDialog d;
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 1, 1, 0};
    d.setLanguage(1);
    d.loadPreferences(record);
    QComboBox* languages = child<QComboBox>(&d, "language_list");
    QComboBox* cube_dir = child<QComboBox>(&d, "cube_scale_dir_type");
    QCOMPARE(cube_dir->currentIndex(), 1);

    languages->setCurrentIndex(0);
    QCOMPARE(d.windowTitle(), QStringLiteral("Настройки"));
    QCOMPARE(text(&d, "field_scale_dir_label"), QStringLiteral("Направление шкалы (карты)"));
    QCOMPARE(cube_dir->currentText(), QStringLiteral("Сверху сниз"));
    QVERIFY(text(&d, "model_size").startsWith(QStringLiteral("Кол-во ячеек: ")));

    languages->setCurrentIndex(1);
    QCOMPARE(d.windowTitle(), QStringLiteral("Preferences"));
    QCOMPARE(text(&d, "cube_scale_dir_label"), QStringLiteral("Cube scae direction"));
    QCOMPARE(text(&d, "field_scale_dir_label"), QStringLiteral("Field scale direction"));
    QCOMPARE(items(cube_dir), (QStringList{"Upward", "Downward"}));
    QCOMPARE(items(child<QComboBox>(&d, "field_scale_dir_type")), (QStringList{"Upward", "Downward"}));
    QCOMPARE(cube_dir->currentIndex(), 1);  // the choice survives the switch
    QVERIFY(text(&d, "model_size").startsWith(QStringLiteral("Expanded size: ")));
}

void TestPreferences::estimateLabels_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("mx");
    QTest::addColumn<int>("my");

    QTest::newRow("p=0 English") << 100 << 60 << 20 << 1 << "0" << "Expanded size: 128x64x20" << 128 << 64;
    QTest::newRow("p=1 English") << 100 << 60 << 20 << 1 << "1" << "Expanded size: 512x256x20" << 512 << 256;
    QTest::newRow("p=1 Russian") << 100 << 60 << 20 << 0 << "1" << "Кол-во ячеек: 512x256x20" << 512 << 256;
    QTest::newRow("no model") << 0 << 0 << 0 << 1 << "2" << "Expanded size: 1x1x0" << 1 << 1;
    QTest::newRow("language 2 reads English") << 100 << 60 << 20 << 2 << "0" << "Expanded size: 128x64x20" << 128
                                              << 64;
}

void TestPreferences::estimateLabels()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(int, lang);
    QFETCH(QString, factor);
    QFETCH(QString, size);
    QFETCH(int, mx);
    QFETCH(int, my);
    // The need of the inversion on the expanded grid with one worker (the
    // record's thread count), as its run counts it.
    const QString memory = QStringLiteral("≈ ")
                           + QString::number(inversion_need_bytes(RunSize{nx, ny, nz, mx, my, 1}, {}) / (1 << 30),
                                             'g', 6)
                           + QStringLiteral(" GB");

    PreferencesDialog d;
    d.setLanguage(lang);
    if (nx > 0)
        d.setModelSize(nx, ny, nz);
    d.setMemoryLimit(0);
    std::vector<double> record{1, 0, 0, 0, 0, 5, 0, double(lang), 0, 0};
    d.loadPreferences(record);
    d.setLanguage(lang);  // a language outside the list leaves the dialog's own
    // Typing goes through the live estimate.
    typeFactor(d, factor);
    QCOMPARE(text(&d, "model_size"), size);
    QCOMPARE(text(&d, "required_memory"), memory);
    QVERIFY(d.expansionFactorAccepted());
    QVERIFY(child<QLineEdit>(&d, "expansion_factor")->styleSheet().isEmpty());

    // Loading a record shows the estimate of its factor at once.
    PreferencesDialog loaded;
    loaded.setLanguage(lang);
    if (nx > 0)
        loaded.setModelSize(nx, ny, nz);
    record[5] = factor.toDouble();
    loaded.loadPreferences(record);
    loaded.setLanguage(lang);
    QCOMPARE(text(&loaded, "model_size"), size);
    QCOMPARE(text(&loaded, "required_memory"), memory);
}

void TestPreferences::refusedFactors_data()
{
    QTest::addColumn<QString>("factor");
    QTest::newRow("negative") << "-1";
    QTest::newRow("nan") << "nan";
    QTest::newRow("inf") << "inf";
    QTest::newRow("text") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("above the cap") << "1000";
}

void TestPreferences::refusedFactors()
{
    QFETCH(QString, factor);
    PreferencesDialog d;
    d.setLanguage(1);
    d.setModelSize(100, 60, 20);
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    d.loadPreferences(record);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));

    QElapsedTimer clock;
    clock.start();
    typeFactor(d, factor);
    QVERIFY(clock.elapsed() < 5000);  // "inf" must not spin in the estimate
    QVERIFY(!d.expansionFactorAccepted());
    QLineEdit* field = child<QLineEdit>(&d, "expansion_factor");
    QVERIFY(field->styleSheet().contains(QStringLiteral("background")));
    QVERIFY(!text(&d, "model_size").startsWith(QStringLiteral("Expanded size")));
    QCOMPARE(text(&d, "required_memory"), QString());

    QTest::mouseClick(child<QPushButton>(&d, "OKbutton"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QVERIFY(d.isVisible());  // left open for a correction

    // A valid factor clears the mark and OK goes through.
    typeFactor(d, QStringLiteral("0.5"));
    QVERIFY(d.expansionFactorAccepted());
    QVERIFY(field->styleSheet().isEmpty());
    QCOMPARE(text(&d, "model_size"), QStringLiteral("Expanded size: 256x128x20"));
    QTest::mouseClick(child<QPushButton>(&d, "OKbutton"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(emitted(spy).at(5), 0.5);
    QVERIFY(!d.isVisible());
}

void TestPreferences::refusedWhenTheGridDoesNotFitMemory()
{
    PreferencesDialog d;
    d.setLanguage(1);
    d.setModelSize(1000, 1000, 100);
    d.setMemoryLimit(uint64_t(16) << 30);
    std::vector<double> record{1, 0, 0, 0, 0, 10, 0, 1, 0, 0};
    d.loadPreferences(record);
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    QVERIFY(!d.expansionFactorAccepted());
    QCOMPARE(text(&d, "model_size"), QStringLiteral("Expanded size: 32768x32768x100"));
    QVERIFY(text(&d, "required_memory").contains(QStringLiteral("does not fit in memory")));
    child<QPushButton>(&d, "OKbutton")->click();
    QCOMPARE(spy.count(), 0);

    // The same factor on a machine with more memory.
    d.setMemoryLimit(uint64_t(1) << 40);
    QVERIFY(d.expansionFactorAccepted());
    child<QPushButton>(&d, "OKbutton")->click();
    QCOMPARE(spy.count(), 1);
}

void TestPreferences::loadPreferencesFillsTheWidgets()
{
    PreferencesDialog d;
    d.setLanguage(1);
    std::vector<double> record{1, 3, 1, 5, 0, 0.1234567, 1, 0, 1, 1};
    d.loadPreferences(record);
    QCOMPARE(child<QComboBox>(&d, "ThreadList")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>(&d, "ColorScale")->currentIndex(), 3);
    QVERIFY(child<QCheckBox>(&d, "invert_checkbox")->isChecked());
    QCOMPARE(child<QComboBox>(&d, "ColorScale_cube")->currentIndex(), 5);
    QVERIFY(!child<QCheckBox>(&d, "invert_checkbox_cube")->isChecked());
    QCOMPARE(child<QLineEdit>(&d, "expansion_factor")->text(), QStringLiteral("0.1234567"));
    QVERIFY(child<QCheckBox>(&d, "store_eff_checkbox")->isChecked());
    QCOMPARE(child<QComboBox>(&d, "language_list")->currentIndex(), 0);
    QCOMPARE(d.windowTitle(), QStringLiteral("Настройки"));  // the language switched the texts
    QCOMPARE(child<QComboBox>(&d, "cube_scale_dir_type")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>(&d, "field_scale_dir_type")->currentIndex(), 1);

    // A record read back unchanged gives the same record.
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    child<QPushButton>(&d, "OKbutton")->click();
    QCOMPARE(spy.count(), 1);
    const std::vector<double> expected{1, 3, 1, 5, 0, 0.1234567, 1, 0, 1, 1};
    QCOMPARE(emitted(spy), expected);
}

void TestPreferences::recordAfterEdits()
{
    PreferencesDialog d;
    d.setLanguage(1);
    d.setModelSize(100, 60, 20);
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    d.loadPreferences(record);
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));

    QComboBox* threads = child<QComboBox>(&d, "ThreadList");
    const int last = threads->count() - 1;
    threads->setCurrentIndex(last);
    child<QComboBox>(&d, "ColorScale")->setCurrentIndex(2);
    child<QCheckBox>(&d, "invert_checkbox")->setChecked(true);
    child<QComboBox>(&d, "ColorScale_cube")->setCurrentIndex(4);
    child<QCheckBox>(&d, "invert_checkbox_cube")->setChecked(true);
    typeFactor(d, QStringLiteral("1.5"));
    child<QCheckBox>(&d, "store_eff_checkbox")->setChecked(true);
    child<QComboBox>(&d, "language_list")->setCurrentIndex(0);
    child<QComboBox>(&d, "cube_scale_dir_type")->setCurrentIndex(1);
    child<QComboBox>(&d, "field_scale_dir_type")->setCurrentIndex(1);

    QTest::mouseClick(child<QPushButton>(&d, "OKbutton"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    const std::vector<double> expected{double(last + 1), 2, 1, 4, 1, 1.5, 1, 0, 1, 1};
    QCOMPARE(emitted(spy), expected);
}

void TestPreferences::threadCountOutsideTheList_data()
{
    QTest::addColumn<double>("threads");
    QTest::addColumn<int>("index");
    const int count = int(PreferencesDialog::threadChoices(std::thread::hardware_concurrency()).size());
    QTest::newRow("0") << 0.0 << 0;
    QTest::newRow("negative") << -3.0 << 0;
    QTest::newRow("nan") << std::nan("") << 0;
    QTest::newRow("more than the cores") << double(count + 50) << count - 1;
}

void TestPreferences::threadCountOutsideTheList()
{
    QFETCH(double, threads);
    QFETCH(int, index);
    PreferencesDialog d;
    std::vector<double> record{threads, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    d.loadPreferences(record);
    QCOMPARE(child<QComboBox>(&d, "ThreadList")->currentIndex(), index);
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    child<QPushButton>(&d, "OKbutton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(emitted(spy).at(0), double(index + 1));
    QVERIFY(emitted(spy).at(0) >= 1);
}

void TestPreferences::unknownLanguageSurvivesOk()
{
    // A language the list does not offer leaves the list without a choice and
    // the texts as they were; OK hands the value back unchanged.
    PreferencesDialog d;
    d.setLanguage(1);
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 2, 0, 0};
    d.loadPreferences(record);
    QCOMPARE(child<QComboBox>(&d, "language_list")->currentIndex(), -1);
    QCOMPARE(text(&d, "thread_count_label"), QStringLiteral("Count of threads"));
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    child<QPushButton>(&d, "OKbutton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(emitted(spy).at(7), 2.0);
}

void TestPreferences::cancelEmitsNothing()
{
    PreferencesDialog d;
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    d.loadPreferences(record);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    child<QComboBox>(&d, "ColorScale")->setCurrentIndex(3);
    QTest::mouseClick(child<QPushButton>(&d, "Cancelbutton"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!d.isVisible());
}

void TestPreferences::deviceListMatchesTheIcdLoader()
{
    // The loader's own answer, platforms and devices from the last to the first.
    QStringList expected;
    cl_uint platform_count = 0;
    if (clGetPlatformIDs(0, nullptr, &platform_count) == CL_SUCCESS && platform_count > 0) {
        std::vector<cl_platform_id> platforms(platform_count);
        QCOMPARE(clGetPlatformIDs(platform_count, platforms.data(), nullptr), CL_SUCCESS);
        for (int p = int(platform_count) - 1; p >= 0; --p) {
            cl_uint device_count = 0;
            if (clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 0, nullptr, &device_count) != CL_SUCCESS)
                continue;
            std::vector<cl_device_id> devices(device_count);
            QCOMPARE(clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, device_count, devices.data(), nullptr),
                     CL_SUCCESS);
            for (int i = int(device_count) - 1; i >= 0; --i) {
                size_t size = 0;
                QCOMPARE(clGetDeviceInfo(devices[i], CL_DEVICE_NAME, 0, nullptr, &size), CL_SUCCESS);
                std::string name(size, '\0');
                QCOMPARE(clGetDeviceInfo(devices[i], CL_DEVICE_NAME, size, &name[0], nullptr), CL_SUCCESS);
                expected << QString::fromStdString(std::string(name.c_str()));
                clReleaseDevice(devices[i]);
            }
        }
    }
    // pocl is installed on the machines this suite runs on: a real CPU device.
    if (QFile::exists(QStringLiteral("/etc/OpenCL/vendors/pocl.icd")))
        QVERIFY(!expected.isEmpty());

    PreferencesDialog d;
    QCOMPARE(items(child<QComboBox>(&d, "DeviceList")), expected);
    QCOMPARE(PreferencesDialog::computingDeviceNames(), expected);
    for (const QString& name : expected)
        QVERIFY(!name.isEmpty() && !name.contains(QChar(0)));
}

// ---------------------------------------------------------------- main window

void TestPreferences::setPreferencesApplies()
{
    MainWindow w;
    std::vector<double> record{3, 2, 1, 4, 0, 1.5, 1, 1, 1, 0};
    w.set_preferences(record);
    QCOMPARE(w.preferences, record);
    QCOMPARE(w.thread_count, 3);
    QCOMPARE(w.expansion_factor, 1.5);
    QVERIFY(w.store_eff);
    QCOMPARE(w.language, 1);
    QCOMPARE(w.modelScaleDirection, 1);
    QCOMPARE(w.mapsScaleDirection, 0);
    QVERIFY(stops(w.maps_gradient) == stops(gradientByType(2, true)));
    QVERIFY(stops(w.cube_gradient) == stops(gradientByType(4, false)));
    QVERIFY(stops(w.surf->gradient) == stops(w.cube_gradient));
    if (w.model_scale)
        QVERIFY(stops(w.model_scale->gradient()) == stops(w.cube_gradient));
    // The hot preset inverted starts white.
    QCOMPARE(w.maps_gradient.colorStops().first(), QColor(255, 255, 255));

    // Language 2: stored, texts left alone.
    const QString title = w.ui->Customize->text();
    record[7] = 2;
    w.set_preferences(record);
    QCOMPARE(w.language, 2);
    QCOMPARE(w.preferences.at(7), 2.0);
    QCOMPARE(w.ui->Customize->text(), title);
}

void TestPreferences::effectsAfterAnApply_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("store");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<double>("expected_factor");
    QTest::newRow("same factor, storage on") << 2.0 << 1.0 << true << 2.0;
    QTest::newRow("new factor") << 1.0 << 1.0 << false << 1.0;
    QTest::newRow("storage off") << 2.0 << 0.0 << false << 2.0;
    QTest::newRow("nan factor kept out") << std::nan("") << 1.0 << true << 2.0;
    QTest::newRow("negative factor kept out") << -1.0 << 1.0 << true << 2.0;
    QTest::newRow("inf factor kept out") << HUGE_VAL << 1.0 << true << 2.0;
}

void TestPreferences::effectsAfterAnApply()
{
    QFETCH(double, factor);
    QFETCH(double, store);
    QFETCH(bool, kept);
    QFETCH(double, expected_factor);

    MainWindow w;
    w.expansion_factor = 2;
    w.store_eff = true;
    w.preferences = {1, 0, 0, 0, 0, 2, 1, 0, 0, 0};
    w.effects = someEffects();
    std::vector<double> record{1, 0, 0, 0, 0, factor, store, 0, 0, 0};
    w.set_preferences(record);
    QCOMPARE(!w.effects.empty(), kept);
    QCOMPARE(w.effects.quarter.empty(), w.effects.im.empty());
    QCOMPARE(w.expansion_factor, expected_factor);
    QCOMPARE(w.preferences.at(5), expected_factor);
    QCOMPARE(w.store_eff, store != 0);
}

void TestPreferences::damagedRecordsAreNotApplied()
{
    MainWindow w;
    const std::vector<double> before = w.preferences;
    std::vector<double> short_record{4, 1, 1};
    w.set_preferences(short_record);
    QCOMPARE(w.preferences, before);
    QCOMPARE(w.thread_count, 1);

    // Never fewer than one worker.
    std::vector<double> zero_threads{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    w.set_preferences(zero_threads);
    QCOMPARE(w.thread_count, 1);
    QCOMPARE(w.preferences.at(0), 1.0);
    std::vector<double> nan_threads{std::nan(""), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    w.set_preferences(nan_threads);
    QCOMPARE(w.thread_count, 1);
}

void TestPreferences::preferencesCommandAppliesOk()
{
    MainWindow w;
    std::vector<double> english{1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    w.set_preferences(english);
    w.den_grid = vector3D(20, vector2D(60, std::vector<data_type>(100, 2.67f)));
    w.effects = someEffects();

    QString size_shown, title_shown, factor_shown;
    const bool opened = onModal([&]() { w.ui->Customize->trigger(); },
                                [&](QWidget* modal) {
                                    auto* d = qobject_cast<PreferencesDialog*>(modal);
                                    if (!d)
                                        return;
                                    title_shown = d->windowTitle();
                                    size_shown = text(d, "model_size");
                                    factor_shown = child<QLineEdit>(d, "expansion_factor")->text();
                                    child<QComboBox>(d, "ColorScale")->setCurrentIndex(1);
                                    QLineEdit* edit = child<QLineEdit>(d, "expansion_factor");
                                    edit->selectAll();
                                    QTest::keyClicks(edit, QStringLiteral("1"));
                                    child<QPushButton>(d, "OKbutton")->click();
                                });
    QVERIFY(opened);
    QCOMPARE(title_shown, QStringLiteral("Preferences"));
    QCOMPARE(factor_shown, QStringLiteral("0"));
    QCOMPARE(size_shown, QStringLiteral("Expanded size: 128x64x20"));
    QCOMPARE(w.expansion_factor, 1.0);
    QCOMPARE(w.preferences.at(5), 1.0);
    QCOMPARE(w.preferences.at(1), 1.0);
    QVERIFY(stops(w.maps_gradient) == stops(gradientByType(1, false)));
    QVERIFY(w.effects.empty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestPreferences::preferencesCommandCancel()
{
    MainWindow w;
    std::vector<double> russian{1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    w.set_preferences(russian);
    const std::vector<double> before = w.preferences;

    QString title_shown, size_shown;
    const bool opened = onModal([&]() { w.ui->Customize->trigger(); },
                                [&](QWidget* modal) {
                                    auto* d = qobject_cast<PreferencesDialog*>(modal);
                                    if (!d)
                                        return;
                                    title_shown = d->windowTitle();
                                    size_shown = text(d, "model_size");
                                    child<QComboBox>(d, "ColorScale")->setCurrentIndex(3);
                                    child<QPushButton>(d, "Cancelbutton")->click();
                                });
    QVERIFY(opened);
    QCOMPARE(title_shown, QStringLiteral("Настройки"));
    QCOMPARE(size_shown, QStringLiteral("Кол-во ячеек: 1x1x0"));  // no density grid
    QCOMPARE(w.preferences, before);
}

void TestPreferences::preferencesCommandRefusedWhileRunning()
{
    MainWindow w;
    bool opened = false;
    {
        RunGuard run(&w, RunKind::Forward);
        QVERIFY(bool(run));
        opened = onModal([&]() { w.on_Customize_triggered(); }, [](QWidget*) {});
        // Nor does a record reach the model meanwhile.
        w.effects = someEffects();
        std::vector<double> record{1, 0, 0, 0, 0, 3, 0, 0, 0, 0};
        w.set_preferences(record);
        QCOMPARE(w.expansion_factor, 0.0);
        QVERIFY(!w.effects.quarter.empty());
    }
    QVERIFY(!opened);
    QVERIFY(!fake->notes.isEmpty());
}

// ---------------------------------------------------------------- settings

void TestPreferences::settingsRoundTripThroughWriteAndRead()
{
    const QString dir = folders->path();
    {
        MainWindow w;
        std::vector<double> record{2, 1, 0, 2, 0, 1, 1, 1, 1, 1};
        w.set_preferences(record);
        QFileDialog remember;
        remember.setDirectory(dir);
        w.writeSettings();
    }
    QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
    QCOMPARE(s.value("save/savepath").toString(), QDir(dir).absolutePath());
    QCOMPARE(s.value("preferences/store_eff").toBool(), true);
    QCOMPARE(s.value("preferences/language").toInt(), 1);
    QCOMPARE(s.value("preferences/modelScaleDirection").toInt(), 1);
    QCOMPARE(s.value("preferences/mapsScaleDirection").toInt(), 1);
    // Only the five keys are kept.
    QCOMPARE(s.allKeys().size(), 5);

    // Another start: the stored choices come back, the others start afresh.
    {
        QFileDialog elsewhere;
        elsewhere.setDirectory(QDir::tempPath());
    }
    MainWindow w;
    w.readSettings();
    QVERIFY(w.store_eff);
    QCOMPARE(w.language, 1);
    QCOMPARE(w.modelScaleDirection, 1);
    QCOMPARE(w.mapsScaleDirection, 1);
    QCOMPARE(w.thread_count, 1);
    QCOMPARE(w.expansion_factor, 0.0);
    const std::vector<double> expected{1, 0, 0, 0, 0, 0, 1, 1, 1, 1};
    QCOMPARE(w.preferences, expected);
    // File dialogs opened without a directory start in the stored one.
    QFileDialog next;
    QCOMPARE(next.directory().absolutePath(), QDir(dir).absolutePath());
}

void TestPreferences::settingsAbsentKeysKeepTheDefaults()
{
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        s.setValue("preferences/mapsScaleDirection", 1);
        s.sync();
    }
    MainWindow w;
    w.readSettings();
    QVERIFY(!w.store_eff);
    QCOMPARE(w.language, 0);
    QCOMPARE(w.modelScaleDirection, 0);
    QCOMPARE(w.mapsScaleDirection, 1);
    const std::vector<double> expected{1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    QCOMPARE(w.preferences, expected);
}

void TestPreferences::settingsUnreadableValues()
{
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        s.setValue("preferences/language", "abc");
        s.setValue("preferences/mapsScaleDirection", "down");
        s.setValue("preferences/modelScaleDirection", 2);
        s.sync();
    }
    MainWindow w;
    w.language = 1;
    w.readSettings();
    QCOMPARE(w.language, 0);
    QCOMPARE(w.mapsScaleDirection, 0);
    QCOMPARE(w.modelScaleDirection, 0);  // the list has no third direction
    QCOMPARE(w.preferences.at(7), 0.0);
    QCOMPARE(w.preferences.at(8), 0.0);
    QCOMPARE(w.preferences.at(9), 0.0);
}

// Each key read within its range: anything else comes back as the key's
// default, and neither the close nor Preferences > OK stores it again.
void TestPreferences::settingsOutOfRangeReadAsDefaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");  // the member read (store_eff as 0 or 1)
    QTest::addColumn<int>("item");      // its preferences item

    const QString lang = QStringLiteral("preferences/language");
    const QString model = QStringLiteral("preferences/modelScaleDirection");
    const QString maps = QStringLiteral("preferences/mapsScaleDirection");
    const QString eff = QStringLiteral("preferences/store_eff");
    QTest::newRow("language 7") << lang << QVariant(7) << 0 << 7;
    QTest::newRow("language -1") << lang << QVariant(-1) << 0 << 7;
    QTest::newRow("language 2147483648") << lang << QVariant(QStringLiteral("2147483648")) << 0 << 7;
    QTest::newRow("language 1.5") << lang << QVariant(QStringLiteral("1.5")) << 0 << 7;
    QTest::newRow("language 1") << lang << QVariant(1) << 1 << 7;
    QTest::newRow("model direction -5") << model << QVariant(-5) << 0 << 8;
    QTest::newRow("model direction 99") << model << QVariant(99) << 0 << 8;
    QTest::newRow("model direction 2147483648") << model << QVariant(QStringLiteral("2147483648")) << 0 << 8;
    QTest::newRow("model direction 1") << model << QVariant(1) << 1 << 8;
    QTest::newRow("maps direction -5") << maps << QVariant(-5) << 0 << 9;
    QTest::newRow("maps direction 2147483648") << maps << QVariant(QStringLiteral("2147483648")) << 0 << 9;
    QTest::newRow("maps direction 1") << maps << QVariant(1) << 1 << 9;
    QTest::newRow("store effects abc") << eff << QVariant(QStringLiteral("abc")) << 0 << 6;
    QTest::newRow("store effects 2") << eff << QVariant(2) << 0 << 6;
    QTest::newRow("store effects empty") << eff << QVariant(QString()) << 0 << 6;
    QTest::newRow("store effects true") << eff << QVariant(true) << 1 << 6;
    QTest::newRow("store effects 1") << eff << QVariant(1) << 1 << 6;
    QTest::newRow("store effects false") << eff << QVariant(false) << 0 << 6;
}

void TestPreferences::settingsOutOfRangeReadAsDefaults()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(int, expected);
    QFETCH(int, item);
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        s.setValue(key, stored);
        s.sync();
    }
    const auto member = [&](const MainWindow& w) {
        switch (item) {
        case 6: return w.store_eff ? 1 : 0;
        case 7: return w.language;
        case 8: return w.modelScaleDirection;
        default: return w.mapsScaleDirection;
        }
    };
    const auto storedNow = [&]() {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        return item == 6 ? (s.value(key).toBool() ? 1 : 0) : s.value(key).toInt();
    };

    MainWindow w;  // reads the store
    QCOMPARE(member(w), expected);
    QCOMPARE(w.preferences.at(std::size_t(item)), double(expected));

    // Preferences > OK hands back what was read; the close stores it.
    const bool opened = onModal([&]() { w.ui->Customize->trigger(); },
                                [&](QWidget* modal) {
                                    if (auto* d = qobject_cast<PreferencesDialog*>(modal))
                                        child<QPushButton>(d, "OKbutton")->click();
                                });
    QVERIFY(opened);
    QCOMPARE(member(w), expected);
    w.writeSettings();
    QCOMPARE(storedNow(), expected);

    // A value out of range that reaches the window otherwise is not stored.
    w.language = 5;
    w.modelScaleDirection = -3;
    w.mapsScaleDirection = 99;
    w.writeSettings();
    QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
    QCOMPARE(s.value("preferences/language").toInt(), 0);
    QCOMPARE(s.value("preferences/modelScaleDirection").toInt(), 0);
    QCOMPARE(s.value("preferences/mapsScaleDirection").toInt(), 0);
}

void TestPreferences::settingsStoredByCloseWithNo()
{
    const QString dir = folders->path();
    {
        MainWindow w;
        std::vector<double> record{1, 0, 0, 0, 0, 0, 1, 1, 0, 1};
        w.set_preferences(record);
        w.Vz_observed = field2D(3, std::vector<double>(3, 1.0));
        w.observed_params = {3, 3, 0, 2, 0, 2};
        QFileDialog remember;
        remember.setDirectory(dir);
        fake->answers << QMessageBox::No;
        QVERIFY(w.close());
        QCOMPARE(fake->questions.size(), 1);
    }
    {
        QSettings s(QStringLiteral("TOLMERA3D"), QStringLiteral("Tolmera3D"));
        QCOMPARE(s.value("preferences/language").toInt(), 1);
        QCOMPARE(s.value("preferences/store_eff").toBool(), true);
        QCOMPARE(s.value("preferences/mapsScaleDirection").toInt(), 1);
        QCOMPARE(s.value("save/savepath").toString(), QDir(dir).absolutePath());
    }
    // The next start reads them back.
    MainWindow again;
    QCOMPARE(again.language, 1);
    QVERIFY(again.store_eff);
    QCOMPARE(again.mapsScaleDirection, 1);
    QCOMPARE(again.modelScaleDirection, 0);
    const std::vector<double> expected{1, 0, 0, 0, 0, 0, 1, 1, 0, 1};
    QCOMPARE(again.preferences, expected);
}

// Preferences chosen while nothing is loaded survive a restart: the close
// asks nothing but still stores them.
void TestPreferences::settingsStoredByCloseOfAnEmptyWindow()
{
    {
        MainWindow w;
        std::vector<double> record{1, 0, 0, 0, 0, 0, 1, 1, 1, 1};
        w.set_preferences(record);
        QVERIFY(w.close());
        QCOMPARE(fake->questions.size(), 0);
    }
    MainWindow again;
    QCOMPARE(again.language, 1);
    QVERIFY(again.store_eff);
    QCOMPARE(again.modelScaleDirection, 1);
    QCOMPARE(again.mapsScaleDirection, 1);
    QCOMPARE(again.ui->open_project->text(), QStringLiteral("Project"));
}

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
