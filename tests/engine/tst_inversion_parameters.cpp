// The inversion parameters dialog: what OK emits for a table of inputs,
// reopening with the emitted record, the enabling rules, the step warning,
// the memory display and the log directory. No exec: the dialog is shown
// and its buttons clicked.
#include "engine/inversion_parameters.h"

#include "engine/inversion.h"
#include "fake_interaction.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

using namespace inversion_record;

namespace {

using Record = std::vector<double>;

// What one press of OK sent, in order.
struct Emitted {
    QStringList order;
    Record record;
    QString dir;
    bool save_log = false;
};

void listen(inversion_parameters& d, Emitted& e)
{
    QObject::connect(&d, &inversion_parameters::set_log_params, [&e](QString& dir, bool save) {
        e.order << "set_log_params";
        e.dir = dir;
        e.save_log = save;
    });
    QObject::connect(&d, &inversion_parameters::inv_params, [&e](std::vector<double> r) {
        e.order << "inv_params";
        e.record = r;
    });
    QObject::connect(&d, &inversion_parameters::polygonal_inv_grid_params, [&e](std::vector<double> r) {
        e.order << "polygonal_inv_grid_params";
        e.record = r;
    });
    QObject::connect(&d, &inversion_parameters::polygonal_inv_params, [&e](std::vector<double> r) {
        e.order << "polygonal_inv_params";
        e.record = r;
    });
}

template <typename W>
W* child(QDialog& d, const char* name)
{
    W* w = d.findChild<W*>(name);
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

// Applies "name=value" inputs: line edits take the text, check boxes and
// radio buttons "1"/"0" (a radio button is clicked), combo boxes an index.
void apply(QDialog& d, const QStringList& inputs)
{
    for (const QString& input : inputs) {
        const int eq = input.indexOf('=');
        const QString name = input.left(eq);
        const QString value = input.mid(eq + 1);
        QObject* o = d.findChild<QObject*>(name);
        QVERIFY2(o, qPrintable(name));
        if (auto* e = qobject_cast<QLineEdit*>(o))
            e->setText(value);
        else if (auto* r = qobject_cast<QRadioButton*>(o))
            r->click();
        else if (auto* c = qobject_cast<QCheckBox*>(o))
            c->setChecked(value == "1");
        else if (auto* b = qobject_cast<QComboBox*>(o))
            b->setCurrentIndex(value.toInt());
        else
            QFAIL(qPrintable("unknown widget kind " + name));
    }
}

Emitted press_ok(inversion_parameters& d)
{
    Emitted e;
    listen(d, e);
    d.show();
    QTest::mouseClick(child<QPushButton>(d, "ok_button"), Qt::LeftButton);
    return e;
}

// The record of an untouched dialog.
Record defaults()
{
    Record r(record_size, 0.0);
    r[iterations] = 5;
    r[step_scale] = 1;
    r[depth_power] = 1;
    r[effective_density] = 0.1;
    r[use_polygons] = 1;
    r[filter_width] = 1;
    r[mass_centre_lines_on] = 1;
    r[mass_centre_line_width] = 0.2;
    r[kind] = 1;
    r[lower_limit] = -open_limit;
    r[upper_limit] = open_limit;
    r[use_uploaded_regularizer] = 1;
    r[final_power] = 1;
    return r;
}

QString describe(const Record& r)
{
    QStringList s;
    for (double v : r)
        s << QString::number(v, 'g', 10);
    return s.join(' ');
}

} // namespace

class TestInversionParameters : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    void emittedRecords_data();
    void emittedRecords();
    void eightValueSeedKeepsDefaults();
    void damagedRecordKeepsChoices();
    void cancelEmitsNothing();
    void kindEnabling_data();
    void kindEnabling();
    void restoredKindKeepsUploadedBoxUntilChanged();
    void uploadedRegularizerUnavailable();
    void regTypeShowsEffectiveDensity();
    void powerTypeEnablesFinalPower();
    void densityLimitFieldsFollowCheckbox();
    void stepWarning_data();
    void stepWarning();
    void restoredStepWarningFollowsLanguage();
    void memoryDisplay();
    void memoryFollowsTheForm();
    void logDirectory();
    void texts_data();
    void texts();

private:
    FakeInteraction fake;
};

void TestInversionParameters::emittedRecords_data()
{
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QVariantMap>("changes"); // index -> value, against the defaults

    auto m = [](std::initializer_list<std::pair<int, double>> l) {
        QVariantMap out;
        for (const auto& p : l)
            out.insert(QString::number(p.first), p.second);
        return out;
    };
    QTest::newRow("untouched") << QStringList() << "inv_params" << m({});
    QTest::newRow("12 iterations") << QStringList{"input_N_iter=12"} << "inv_params" << m({{iterations, 12}});
    QTest::newRow("0 iterations") << QStringList{"input_N_iter=0"} << "inv_params" << m({{iterations, 1}});
    QTest::newRow("-3 iterations") << QStringList{"input_N_iter=-3"} << "inv_params" << m({{iterations, 1}});
    QTest::newRow("7.5 iterations") << QStringList{"input_N_iter=7.5"} << "inv_params" << m({{iterations, 1}});
    QTest::newRow("no iterations") << QStringList{"input_N_iter="} << "inv_params" << m({{iterations, 1}});
    QTest::newRow("numbers") << QStringList{"input_alpha=0.25", "input_c=3e-2", "input_power=1.5",
                                            "positive_checkbox=1", "input_den=abc"}
                             << "inv_params"
                             << m({{step_scale, 0.25}, {regularization_parameter, 0.03}, {depth_power, 1.5},
                                   {positive_density, 1}, {effective_density, 0}});
    QTest::newRow("step above 1 is sent") << QStringList{"input_alpha=1.5"} << "inv_params"
                                          << m({{step_scale, 1.5}});
    QTest::newRow("regularization") << QStringList{"reg_type=3", "use_init_model_checkbox=1", "init_reg_type=2",
                                                   "use_uploaded_reg_checkbox=0"}
                                    << "inv_params"
                                    << m({{regularization_type, 3}, {use_initial_model, 1},
                                          {initial_regularizer_type, 2}, {use_uploaded_regularizer, 0}});
    QTest::newRow("sign constraint") << QStringList{"sign_account_checkbox=1", "sign_account_type=1",
                                                    "sign_account_data_type=1"}
                                     << "inv_params"
                                     << m({{sign_constraint_on, 1}, {sign_constraint_type, 1}, {sign_source, 1}});
    QTest::newRow("linear power") << QStringList{"power_type=1", "input_final_power=2.5"} << "inv_params"
                                  << m({{power_schedule, 1}, {final_power, 2.5}});
    QTest::newRow("limits * and 3") << QStringList{"den_limits_checkbox=1", "den_limits_min= * ", "den_limits_max=3"}
                                    << "inv_params"
                                    << m({{density_limits_on, 1}, {lower_limit, -open_limit}, {upper_limit, 3}});
    QTest::newRow("limits -0.5 and *") << QStringList{"den_limits_checkbox=1", "den_limits_min=-0.5",
                                                      "den_limits_max=*"}
                                       << "inv_params"
                                       << m({{density_limits_on, 1}, {lower_limit, -0.5}, {upper_limit, open_limit}});
    // An empty bound means no bound on that side, not a bound at 0.
    QTest::newRow("limits empty") << QStringList{"den_limits_checkbox=1", "den_limits_min=", "den_limits_max=  "}
                                  << "inv_params"
                                  << m({{density_limits_on, 1}, {lower_limit, -open_limit}, {upper_limit, open_limit}});
    QTest::newRow("limits 0 and 0") << QStringList{"den_limits_checkbox=1", "den_limits_min=0", "den_limits_max=0"}
                                    << "inv_params" << m({{density_limits_on, 1}, {lower_limit, 0}, {upper_limit, 0}});
    QTest::newRow("lateral") << QStringList{"lateralInversion=1"} << "polygonal_inv_grid_params" << m({{kind, 2}});
    QTest::newRow("lateral, smoothing") << QStringList{"lateralInversion=1", "use_smooth_checkbox=1",
                                                       "filter_type_list=2", "input_filter_param=250"}
                                        << "polygonal_inv_grid_params"
                                        << m({{kind, 2}, {smoothing_on, 1}, {filter_type, 2}, {filter_width, 250}});
    QTest::newRow("layered") << QStringList{"polygonalInversion=1", "input_N_iter=3"} << "polygonal_inv_params"
                             << m({{kind, 3}, {iterations, 3}});
    QTest::newRow("hidden options") << QStringList{"use_polygons=0", "use_mass_centums_checkbox=0",
                                                   "mass_centrum_width_value=0.7", "fitting_data_type=1",
                                                   "initial_level_checkbox=1", "initial_level_value=12.5"}
                                    << "inv_params"
                                    << m({{use_polygons, 0}, {mass_centre_lines_on, 0}, {mass_centre_line_width, 0.7},
                                          {fitted_data_type, 1}, {initial_level_on, 1}, {initial_level, 12.5}});
}

void TestInversionParameters::emittedRecords()
{
    QFETCH(QStringList, inputs);
    QFETCH(QString, signal);
    QFETCH(QVariantMap, changes);
    Record expected = defaults();
    for (auto it = changes.begin(); it != changes.end(); ++it)
        expected[it.key().toInt()] = it.value().toDouble();

    inversion_parameters d;
    QString dir = "/tmp/inversion-log";
    d.set_log_dir(dir, true);
    apply(d, inputs);
    const Emitted e = press_ok(d);
    QCOMPARE(e.order, (QStringList{"set_log_params", signal}));
    QVERIFY(!d.isVisible());
    QCOMPARE(e.dir, QString("/tmp/inversion-log"));
    QVERIFY(e.save_log);
    QCOMPARE(int(e.record.size()), int(record_size));
    QVERIFY2(e.record == expected, qPrintable(describe(e.record) + "\n   expected " + describe(expected)));

    // Reopening with the record and pressing OK gives it back.
    inversion_parameters again;
    again.set_previous_params(e.record);
    again.setLanguage(1);
    const Emitted back = press_ok(again);
    QCOMPARE(back.order.value(1), signal);
    QVERIFY2(back.record == e.record, qPrintable(describe(back.record) + "\n   expected " + describe(e.record)));
}

void TestInversionParameters::eightValueSeedKeepsDefaults()
{
    inversion_parameters d;
    d.set_previous_params({100, 0.1, 0, 1, 0, 0.02, 0, 0});
    QCOMPARE(child<QLineEdit>(d, "input_N_iter")->text(), QString("5"));
    QCOMPARE(child<QLineEdit>(d, "input_den")->text(), QString("0.1"));
    QVERIFY(child<QRadioButton>(d, "gridInversion")->isChecked());
    QCOMPARE(press_ok(d).record, defaults());
}

void TestInversionParameters::damagedRecordKeepsChoices()
{
    // Combo indexes the boxes do not have and values that are not numbers
    // never leave a box without a choice or the count below 1.
    Record r = defaults();
    r[regularization_type] = 9;
    r[sign_source] = -1;
    r[power_schedule] = std::numeric_limits<double>::quiet_NaN();
    r[iterations] = std::numeric_limits<double>::infinity();
    inversion_parameters d;
    d.set_previous_params(r);
    const Record out = press_ok(d).record;
    QCOMPARE(out[regularization_type], 0.0);
    QCOMPARE(out[sign_source], 0.0);
    QCOMPARE(out[power_schedule], 0.0);
    QCOMPARE(out[iterations], 2147483647.0);
}

void TestInversionParameters::cancelEmitsNothing()
{
    inversion_parameters d;
    Emitted e;
    listen(d, e);
    d.show();
    QTest::mouseClick(child<QPushButton>(d, "cancel_button"), Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QVERIFY(e.order.isEmpty());
}

void TestInversionParameters::kindEnabling_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("gridOptions");  // sign, initial model, limits, uploaded regularizer
    QTest::addColumn<bool>("depthPower");   // power and regularization type
    QTest::addColumn<bool>("positiveShown");
    QTest::addColumn<bool>("logWidgets");
    QTest::newRow("grid -> lateral") << "lateralInversion" << false << false << true << true;
    QTest::newRow("grid -> layers") << "polygonalInversion" << false << false << false << false;
    QTest::newRow("layers -> grid") << "polygonalInversion,gridInversion" << true << true << true << true;
    QTest::newRow("lateral -> layers") << "lateralInversion,polygonalInversion" << false << false << false << false;
    QTest::newRow("layers -> lateral") << "polygonalInversion,lateralInversion" << false << false << true << true;
    QTest::newRow("lateral -> grid") << "lateralInversion,gridInversion" << true << true << true << true;
}

void TestInversionParameters::kindEnabling()
{
    QFETCH(QString, kind);
    QFETCH(bool, gridOptions);
    QFETCH(bool, depthPower);
    QFETCH(bool, positiveShown);
    QFETCH(bool, logWidgets);
    inversion_parameters d;
    d.set_uploaded_reg_available(true);
    d.show();
    for (const QString& k : kind.split(','))
        d.findChild<QRadioButton*>(k)->click();
    for (const char* name : {"sign_account_checkbox", "sign_account_type", "use_init_model_checkbox", "init_reg_type",
                             "den_limits_checkbox", "use_uploaded_reg_checkbox"})
        QVERIFY2(d.findChild<QWidget*>(name)->isEnabled() == gridOptions, name);
    for (const char* name : {"input_power", "alpha_pow", "reg_type", "type"})
        QVERIFY2(d.findChild<QWidget*>(name)->isEnabled() == depthPower, name);
    for (const char* name : {"positive_density", "positive_checkbox"})
        QVERIFY2(d.findChild<QWidget*>(name)->isVisibleTo(&d) == positiveShown, name);
    for (const char* name : {"log_checkbox", "logDirLabel", "setLogDir"})
        QVERIFY2(d.findChild<QWidget*>(name)->isEnabled() == logWidgets, name);
    // Enabled in every kind.
    for (const char* name : {"input_c", "input_alpha", "power_type", "input_N_iter"})
        QVERIFY2(d.findChild<QWidget*>(name)->isEnabled(), name);
}

void TestInversionParameters::restoredKindKeepsUploadedBoxUntilChanged()
{
    Record r = defaults();
    r[kind] = 2;
    inversion_parameters d;
    d.set_previous_params(r);
    d.set_uploaded_reg_available(true);
    QVERIFY(child<QRadioButton>(d, "lateralInversion")->isChecked());
    QVERIFY(child<QCheckBox>(d, "use_uploaded_reg_checkbox")->isEnabled());
    d.show();
    // Only leaving the grid kind disables it.
    child<QRadioButton>(d, "gridInversion")->click();
    QVERIFY(child<QCheckBox>(d, "use_uploaded_reg_checkbox")->isEnabled());
    child<QRadioButton>(d, "polygonalInversion")->click();
    QVERIFY(!child<QCheckBox>(d, "use_uploaded_reg_checkbox")->isEnabled());
}

void TestInversionParameters::uploadedRegularizerUnavailable()
{
    Record r = defaults();
    r[use_uploaded_regularizer] = 1;
    inversion_parameters d;
    d.set_previous_params(r);
    d.set_uploaded_reg_available(false);
    QVERIFY(!child<QCheckBox>(d, "use_uploaded_reg_checkbox")->isEnabled());
    d.show();
    // Switching kinds never enables it.
    child<QRadioButton>(d, "lateralInversion")->click();
    child<QRadioButton>(d, "gridInversion")->click();
    QVERIFY(!child<QCheckBox>(d, "use_uploaded_reg_checkbox")->isEnabled());
    QCOMPARE(press_ok(d).record[use_uploaded_regularizer], 0.0);
}

void TestInversionParameters::regTypeShowsEffectiveDensity()
{
    inversion_parameters d;
    QComboBox* type = child<QComboBox>(d, "reg_type");
    for (int index : {2, 1, 3, 0}) {
        type->setCurrentIndex(index);
        const bool shown = index >= 2;
        QCOMPARE(child<QLabel>(d, "den")->isVisibleTo(&d), shown);
        QCOMPARE(child<QLineEdit>(d, "input_den")->isVisibleTo(&d), shown);
    }
    // A restored focusing record shows it too.
    Record r = defaults();
    r[regularization_type] = 2;
    inversion_parameters restored;
    restored.set_previous_params(r);
    QVERIFY(child<QLineEdit>(restored, "input_den")->isVisibleTo(&restored));
}

void TestInversionParameters::powerTypeEnablesFinalPower()
{
    inversion_parameters d;
    QVERIFY(!child<QLineEdit>(d, "input_final_power")->isEnabled());
    child<QComboBox>(d, "power_type")->setCurrentIndex(1);
    QVERIFY(child<QLineEdit>(d, "input_final_power")->isEnabled());
    child<QComboBox>(d, "power_type")->setCurrentIndex(0);
    QVERIFY(!child<QLineEdit>(d, "input_final_power")->isEnabled());
    Record r = defaults();
    r[power_schedule] = 1;
    inversion_parameters restored;
    restored.set_previous_params(r);
    QVERIFY(child<QLineEdit>(restored, "input_final_power")->isEnabled());
}

void TestInversionParameters::densityLimitFieldsFollowCheckbox()
{
    inversion_parameters d;
    QVERIFY(!child<QLineEdit>(d, "den_limits_min")->isEnabled());
    child<QCheckBox>(d, "den_limits_checkbox")->setChecked(true);
    QVERIFY(child<QLineEdit>(d, "den_limits_min")->isEnabled());
    QVERIFY(child<QLineEdit>(d, "den_limits_max")->isEnabled());
    Record r = defaults();
    r[lower_limit] = -open_limit;
    r[upper_limit] = open_limit;
    inversion_parameters restored;
    restored.set_previous_params(r);
    QCOMPARE(child<QLineEdit>(restored, "den_limits_min")->text(), QString("*"));
    QCOMPARE(child<QLineEdit>(restored, "den_limits_max")->text(), QString("*"));
    r[lower_limit] = -0.5;
    r[upper_limit] = 2e6;
    restored.set_previous_params(r);
    QCOMPARE(child<QLineEdit>(restored, "den_limits_min")->text(), QString("-0.5"));
    QCOMPARE(child<QLineEdit>(restored, "den_limits_max")->text(), QString("*"));
}

void TestInversionParameters::stepWarning_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("warning");
    QTest::newRow("English") << 1 << QString("Inversion can fall apart. Use step value ≤ 1.");
    QTest::newRow("Russian") << 0 << QString::fromUtf8("Возможно расхождение результатов. Испоьзуйте значения ≤ 1.");
    QTest::newRow("other value") << 7 << QString("Inversion can fall apart. Use step value ≤ 1.");
}

void TestInversionParameters::stepWarning()
{
    QFETCH(int, language);
    QFETCH(QString, warning);
    inversion_parameters d;
    d.setLanguage(language);
    QLineEdit* step = child<QLineEdit>(d, "input_alpha");
    QLabel* label = child<QLabel>(d, "warning");
    step->setText("1");
    QVERIFY(label->text().isEmpty());
    QCOMPARE(step->palette().color(QPalette::Base), QColor(Qt::white));
    step->setText("1.01");
    QCOMPARE(label->text(), warning);
    QCOMPARE(step->palette().color(QPalette::Base), QColor(Qt::red));
    QCOMPARE(step->palette().color(QPalette::Text), QColor(Qt::black));
    step->setText("0.5");
    QVERIFY(label->text().isEmpty());
    QCOMPARE(step->palette().color(QPalette::Base), QColor(Qt::white));
}

void TestInversionParameters::restoredStepWarningFollowsLanguage()
{
    // The opening command fills the form before it sets the language.
    Record r = defaults();
    r[step_scale] = 2;
    inversion_parameters d;
    d.set_previous_params(r);
    d.setLanguage(1);
    QCOMPARE(child<QLabel>(d, "warning")->text(), QString("Inversion can fall apart. Use step value ≤ 1."));
    d.setLanguage(0);
    QVERIFY(child<QLabel>(d, "warning")->text().startsWith(QString::fromUtf8("Возможно")));
}

void TestInversionParameters::memoryDisplay()
{
    inversion_parameters d;
    d.setLanguage(1);
    d.set_memory(1.23456, 8);
    QLabel* label = child<QLabel>(d, "memory_label");
    QCOMPARE(label->text(), QString("You need ≈ 1.235GB RAM"));
    QCOMPARE(label->styleSheet(), QString("QLabel { background-color : white}"));
    d.setLanguage(0);
    d.set_memory(9, 8);
    QCOMPARE(label->text(), QString::fromUtf8("Необходимо ≈ 9.000GB RAM"));
    QCOMPARE(label->styleSheet(), QString("QLabel { background-color : red}"));
    // Shown, not refused.
    QCOMPARE(press_ok(d).order.size(), 2);
}

// The figure follows the form: every change shows the need of the record
// the form now describes, with the log as its box says.
void TestInversionParameters::memoryFollowsTheForm()
{
    using namespace inversion_record;
    inversion_parameters d;
    d.setLanguage(1);
    QString logs = "/tmp";
    d.set_log_dir(logs, false);
    int calls = 0;
    d.set_memory_need(
        [&calls](const std::vector<double>& r, bool log) {
            ++calls;
            return 1.0 + 2.0 * r[use_initial_model] + 4.0 * r[sign_constraint_on] + 8.0 * (r[kind] == kind_layered)
                   + (log ? 16.0 : 0.0);
        },
        6.5);
    QLabel* label = child<QLabel>(d, "memory_label");
    QCOMPARE(label->text(), QString("You need ≈ 1.000GB RAM"));
    QCOMPARE(label->styleSheet(), QString("QLabel { background-color : white}"));
    child<QCheckBox>(d, "use_init_model_checkbox")->setChecked(true);
    QCOMPARE(label->text(), QString("You need ≈ 3.000GB RAM"));
    child<QCheckBox>(d, "sign_account_checkbox")->setChecked(true);
    QCOMPARE(label->text(), QString("You need ≈ 7.000GB RAM"));
    QCOMPARE(label->styleSheet(), QString("QLabel { background-color : red}"));
    child<QCheckBox>(d, "sign_account_checkbox")->setChecked(false);
    child<QRadioButton>(d, "polygonalInversion")->setChecked(true);
    QCOMPARE(label->text(), QString("You need ≈ 11.000GB RAM"));
    child<QRadioButton>(d, "gridInversion")->setChecked(true);
    child<QCheckBox>(d, "log_checkbox")->setChecked(true);
    QCOMPARE(label->text(), QString("You need ≈ 19.000GB RAM"));
    QVERIFY(calls > 0);
}

void TestInversionParameters::logDirectory()
{
    inversion_parameters d;
    QString empty;
    d.set_log_dir(empty, false);
    QCOMPARE(child<QLabel>(d, "logDirLabel")->text(), QDir::currentPath());
    QVERIFY(!child<QCheckBox>(d, "log_checkbox")->isChecked());

    // The directory button: a cancelled answer changes nothing, a chosen one is shown and sent.
    d.show();
    QTest::mouseClick(child<QPushButton>(d, "setLogDir"), Qt::LeftButton);
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QString("dir"));
    QCOMPARE(fake.fileRequests[0].caption, QString("Save file"));
    QCOMPARE(child<QLabel>(d, "logDirLabel")->text(), QDir::currentPath());
    fake.directories << "/tmp/chosen logs";
    QTest::mouseClick(child<QPushButton>(d, "setLogDir"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(d, "logDirLabel")->text(), QString("/tmp/chosen logs"));
    child<QCheckBox>(d, "log_checkbox")->setChecked(true);
    const Emitted e = press_ok(d);
    QCOMPARE(e.dir, QString("/tmp/chosen logs"));
    QVERIFY(e.save_log);

    // An empty directory handed in is sent as the current directory.
    inversion_parameters fresh;
    fresh.set_log_dir(empty, true);
    const Emitted f = press_ok(fresh);
    QCOMPARE(f.dir, QDir::currentPath());
}

void TestInversionParameters::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("tab0");
    QTest::addColumn<QString>("grid");
    QTest::newRow("English") << 1 << "Inversion parameters" << "Cancel" << "Main" << "Grid";
    QTest::newRow("Russian") << 0 << QString::fromUtf8("Параметры инверсии") << QString::fromUtf8("Отмена")
                             << QString::fromUtf8("Основные") << QString::fromUtf8("Грид");
}

void TestInversionParameters::texts()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, cancel);
    QFETCH(QString, tab0);
    QFETCH(QString, grid);
    inversion_parameters d;
    d.setLanguage(1 - language);
    d.setLanguage(language);
    QCOMPARE(d.windowTitle(), title);
    QCOMPARE(child<QPushButton>(d, "cancel_button")->text(), cancel);
    QCOMPARE(child<QPushButton>(d, "ok_button")->text(), QString("OK"));
    QCOMPARE(child<QTabWidget>(d, "tabWidget")->tabText(0), tab0);
    QCOMPARE(child<QTabWidget>(d, "tabWidget")->currentIndex(), 0);
    QCOMPARE(child<QRadioButton>(d, "gridInversion")->text(), grid);
    QCOMPARE(child<QComboBox>(d, "power_type")->itemText(1), QString::fromUtf8("Линейное изменение"));
    QCOMPARE(child<QComboBox>(d, "reg_type")->count(), 4);
    QVERIFY(!child<QPushButton>(d, "ok_button")->autoDefault());
    QCOMPARE(d.size(), QSize(551, 500));
}

QTEST_MAIN(TestInversionParameters)
#include "tst_inversion_parameters.moc"
