// Every command dialog that opens prefilled with the project's own numbers
// and is confirmed without an edit leaves the project exactly as it was:
// every cube with its nodes, the horizons, both fields, the stored operators
// and the cached regularization weight. The numbers are those of real
// surveys: projected metres with 7 digits and steps such as 24.691224 m,
// 100.02 m and 0.7 m, which a six-digit text would move.
#include <QtTest>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "app/mainwindow.h"
#include "app/preferencesdialog.h"
#include "editing/horizonseditingdialog.h"
#include "editing/inputvaluedialog.h"
#include "editing/modelparamswindow.h"
#include "editing/smoothparamsdialog.h"
#include "engine/inversion_parameters.h"
#include "engine/inversionhorizondialog.h"
#include "fake_interaction.h"
#include "views/caxisdialog.h"
#include "views/scalexyzdialog.h"
#include "views/windowlimitsdialog.h"
#include "test_nodes.h"

// A lattice: first node and step per axis, and the texts a dialog must show
// for them (all their digits, nothing more).
struct Lattice {
    double x0, dx, y0, dy, z0, dz;
    const char *x0_text, *dx_text, *y0_text, *dy_text, *z0_text, *dz_text;
};
Q_DECLARE_METATYPE(Lattice)
Q_DECLARE_METATYPE(std::vector<double>)

namespace {

constexpr int kNx = 4, kNy = 3, kNz = 5;

vector3D indexed(int tag)
{
    vector3D g(kNz, vector2D(kNy, std::vector<data_type>(kNx)));
    for (int k = 0; k < kNz; ++k)
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i)
                g[k][j][i] = static_cast<data_type>(tag + 2.4 + 0.01 * k + 0.001 * j + 0.0001 * i);
    return g;
}

field2D indexed2d(double tag)
{
    field2D g(kNy, std::vector<double>(kNx));
    for (int j = 0; j < kNy; ++j)
        for (int i = 0; i < kNx; ++i)
            g[j][i] = tag + 10.123456789 * j + 0.987654321 * i;
    return g;
}

// The whole project on one lattice: density, Vp and a de-trended
// regularizer, two horizons, both fields, the stored operators, the cached
// weight, a manual observed colour range and window limits.
void giveProject(MainWindow& w, const Lattice& l)
{
    w.language = 1;
    w.x_calc = nodes(kNx, l.x0, l.dx);
    w.y_calc = nodes(kNy, l.y0, l.dy);
    w.z_calc = nodes(kNz, l.z0, l.dz);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
    w.den_grid = indexed(0);
    w.minZ = l.z0;
    w.dz = l.dz;
    w.maxZ = w.z_calc.back();
    w.calc_height = -0.7;
    w.Vp_grid = indexed(3000);
    w.x_vp = w.x_calc;
    w.y_vp = w.y_calc;
    w.z_vp = w.z_calc;
    w.regularizer = indexed(1);
    w.x_reg = w.x_calc;
    w.y_reg = w.y_calc;
    w.z_reg = w.z_calc;
    w.regularizer_offsets = {0.1, 0.2, 0.3, 0.4, 0.5};
    w.regularizer_scale = 0.37;
    const std::vector<double> g{kNx, kNy, w.x_calc.front(), w.x_calc.back(), w.y_calc.front(), w.y_calc.back()};
    w.horizons = {field2D(kNy, std::vector<double>(kNx, l.z0)), indexed2d(l.z0 + 2 * l.dz)};
    w.horizons_params = g;
    w.densities = {0, 2.67};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    w.Vz_observed = indexed2d(-12.5);
    w.observed_params = g;
    w.observed_params.insert(w.observed_params.end(), {-12.5, 40});  // a Surfer header's z range
    w.Vz_calculated = indexed2d(3.25);
    w.calculated_params = g;
    w.effects.shape(kNz, 1, 1);
    for (auto& level : w.effects.quarter)
        level[0] = 1.5f;
    w.effects.im.assign(kNz, vector2D(1, std::vector<data_type>(1, 1.5f)));
    w.effects.key.valid = true;
    w.effects.key.levels = kNz;
    w.layer_effects.assign(2, field2D(1, std::vector<double>(1, 1.0)));
    w.alpha_factor = 3.5;
    w.expansion_factor = 0.7;
    w.preferences = {1, 0, 0, 0, 0, 0.7, 1, 1, 0, 0};
    w.store_eff = true;
    w.observed_caxis = {-12.345678901, 45.678901234};
    w.model_caxis = {double(2.4f), 2.71828};
    w.window_limits = {w.x_calc.front() - 0.5, w.x_calc.back() + 0.25, w.y_calc.front(), w.y_calc.back(),
                       w.z_calc.front(), w.z_calc.back()};
    w.crop_borders = {{0, kNx - 1, kNy - 1, 0, 0, kNz - 1}};
}

// Everything a dialog sent back unchanged must leave alone.
struct Project {
    vector3D den, vp, reg;
    std::vector<double> x, y, z, xvp, yvp, zvp, xreg, yreg, zreg, offsets;
    double reg_scale = 0;
    std::vector<field2D> horizons;
    std::vector<double> horizons_params;
    field2D observed, calculated;
    std::vector<double> observed_params, calculated_params;
    std::vector<std::vector<float>> effects_quarter;
    vector3D effects_im;
    EffectsKey effects_key;
    std::vector<field2D> layer_effects;
    double alpha = 0, minZ = 0, maxZ = 0, dz = 0, calc_height = 0, expansion = 0;
    std::vector<double> observed_caxis, model_caxis, window_limits;
    std::array<int, 6> crop{};

    explicit Project(const MainWindow& w)
        : den(w.den_grid), vp(w.Vp_grid), reg(w.regularizer), x(w.x_calc), y(w.y_calc), z(w.z_calc), xvp(w.x_vp),
          yvp(w.y_vp), zvp(w.z_vp), xreg(w.x_reg), yreg(w.y_reg), zreg(w.z_reg), offsets(w.regularizer_offsets),
          reg_scale(w.regularizer_scale), horizons(w.horizons), horizons_params(w.horizons_params),
          observed(w.Vz_observed), calculated(w.Vz_calculated), observed_params(w.observed_params),
          calculated_params(w.calculated_params), effects_quarter(w.effects.quarter), effects_im(w.effects.im), effects_key(w.effects.key),
          layer_effects(w.layer_effects), alpha(w.alpha_factor), minZ(w.minZ), maxZ(w.maxZ), dz(w.dz),
          calc_height(w.calc_height), expansion(w.expansion_factor), observed_caxis(w.observed_caxis), model_caxis(w.model_caxis),
          window_limits(w.window_limits), crop(w.crop_borders)
    {
    }
};

void compareProjects(const Project& a, const Project& b)
{
    QCOMPARE(a.den, b.den);
    QCOMPARE(a.x, b.x);
    QCOMPARE(a.y, b.y);
    QCOMPARE(a.z, b.z);
    QCOMPARE(a.vp, b.vp);
    QCOMPARE(a.xvp, b.xvp);
    QCOMPARE(a.yvp, b.yvp);
    QCOMPARE(a.zvp, b.zvp);
    QCOMPARE(a.reg, b.reg);
    QCOMPARE(a.xreg, b.xreg);
    QCOMPARE(a.yreg, b.yreg);
    QCOMPARE(a.zreg, b.zreg);
    QCOMPARE(a.offsets, b.offsets);
    QCOMPARE(a.reg_scale, b.reg_scale);
    QCOMPARE(a.horizons, b.horizons);
    QCOMPARE(a.horizons_params, b.horizons_params);
    QCOMPARE(a.observed, b.observed);
    QCOMPARE(a.observed_params, b.observed_params);
    QCOMPARE(a.calculated, b.calculated);
    QCOMPARE(a.calculated_params, b.calculated_params);
    QCOMPARE(a.effects_quarter, b.effects_quarter);
    QCOMPARE(a.effects_im, b.effects_im);
    QVERIFY(a.effects_key == b.effects_key);
    QCOMPARE(a.layer_effects, b.layer_effects);
    QCOMPARE(a.alpha, b.alpha);
    QCOMPARE(a.minZ, b.minZ);
    QCOMPARE(a.maxZ, b.maxZ);
    QCOMPARE(a.dz, b.dz);
    QCOMPARE(a.calc_height, b.calc_height);
    QCOMPARE(a.expansion, b.expansion);
    QCOMPARE(a.observed_caxis, b.observed_caxis);
    QCOMPARE(a.model_caxis, b.model_caxis);
    QCOMPARE(a.window_limits, b.window_limits);
    QCOMPARE(a.crop, b.crop);
}

// Clicks the OK button of a dialog, whatever its form calls it.
bool clickOk(QWidget* dialog)
{
    for (const char* name : {"OKbutton", "OkButton", "OKButton", "ok_button", "okButton"})
        if (auto* ok = dialog->findChild<QPushButton*>(QString::fromLatin1(name))) {
            ok->click();
            return true;
        }
    return false;
}

// The texts of a dialog's line edits, by object name.
QMap<QString, QString> fieldTexts(QWidget* dialog)
{
    QMap<QString, QString> out;
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
        out.insert(edit->objectName(), edit->text());
    return out;
}

}  // namespace

class TestUnchangedDialogs : public QObject {
    Q_OBJECT

private slots:
    void okWithoutEditsChangesNothing_data();
    void okWithoutEditsChangesNothing();
    void dialogSendsBackWhatItWasGiven_data();
    void dialogSendsBackWhatItWasGiven();

private:
    FakeInteraction fake;
};

void TestUnchangedDialogs::okWithoutEditsChangesNothing_data()
{
    QTest::addColumn<Lattice>("lattice");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("shown");  // field=text pairs the dialog must show

    auto t = [](const char* name, const char* text) { return QString::fromLatin1(name) + "=" + text; };
    const struct {
        const char* name;
        std::function<QStringList(const Lattice&)> shown;
    } commands[] = {
        {"regrid", [&](const Lattice& l) {
             return QStringList{t("minX", l.x0_text), t("dx", l.dx_text), t("minY", l.y0_text), t("dy", l.dy_text),
                                t("minZ", l.z0_text), t("dz", l.dz_text)};
         }},
        {"regrid_horizons",
         [&](const Lattice& l) { return QStringList{t("minX", l.x0_text), t("dx", l.dx_text), t("dy", l.dy_text)}; }},
        {"regrid_observed",
         [&](const Lattice& l) { return QStringList{t("minY", l.y0_text), t("dx", l.dx_text), t("dy", l.dy_text)}; }},
        {"vertical", [&](const Lattice& l) {
             return QStringList{t("input_minz", l.z0_text), t("input_dz", l.dz_text), t("input_calc_height", "0.7")};
         }},
        {"preferences", [&](const Lattice&) { return QStringList{t("expansion_factor", "0.7")}; }},
        {"observed_caxis",
         [&](const Lattice&) { return QStringList{t("min_caxis", "-12.345678901"), t("max_caxis", "45.678901234")}; }},
        {"model_caxis",
         [&](const Lattice&) { return QStringList{t("min_caxis", "2.4000000953674316"), t("max_caxis", "2.71828")}; }},
        {"window_limits", [&](const Lattice& l) { return QStringList{t("inputYmin", l.y0_text)}; }},
    };
    const struct {
        const char* name;
        Lattice lattice;
    } lattices[] = {
        {"utm, dz 24.691224",
         {6512345.5, 25, 512345.5, 100.02, 1234.5612, 24.691224, "6512345.5", "25", "512345.5", "100.02", "1234.5612",
          "24.691224"}},
        {"utm, dz 0.7",
         {6512345.5, 24.691224, 512345.5, 0.7, 0, 0.7, "6512345.5", "24.691224", "512345.5", "0.7", "0", "0.7"}},
        {"dz 100.02",
         {512345.5, 100.02, 6512345.5, 25, 12.5, 100.02, "512345.5", "100.02", "6512345.5", "25", "12.5", "100.02"}},
    };
    for (const auto& l : lattices)
        for (const auto& c : commands)
            QTest::newRow(qPrintable(QString::fromLatin1(c.name) + ", " + l.name))
                << l.lattice << QString::fromLatin1(c.name) << c.shown(l.lattice);
}

void TestUnchangedDialogs::okWithoutEditsChangesNothing()
{
    QFETCH(Lattice, lattice);
    QFETCH(QString, command);
    QFETCH(QStringList, shown);

    MainWindow w;
    giveProject(w, lattice);
    const Project before(w);

    // Dialogs run through the interaction layer and the ones run with exec
    // are confirmed alike, each once.
    QMap<QString, QString> texts;
    int confirmed = 0;
    auto confirm = [&](QWidget* dialog) {
        texts = fieldTexts(dialog);
        QVERIFY2(clickOk(dialog), "no OK button");
        ++confirmed;
    };
    fake.clear();
    fake.onDialog = [&](QDialog* d) {
        confirm(d);
        return int(QDialog::Accepted);
    };
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (confirmed == 0)
                confirm(modal);
            else
                modal->close();
        } else if (clock.elapsed() > 10000) {
            poll.stop();
        }
    });
    poll.start();

    if (command == "regrid")
        w.on_regrid_triggered();
    else if (command == "regrid_horizons")
        w.on_regrid_horizons_triggered();
    else if (command == "regrid_observed")
        w.on_regrid_observed_triggered();
    else if (command == "vertical")
        w.on_Zparams_triggered();
    else if (command == "preferences")
        w.on_Customize_triggered();
    else if (command == "observed_caxis")
        w.manualObservedCaxis();
    else if (command == "model_caxis")
        w.manualModelCaxis();
    else if (command == "window_limits")
        w.on_view_limits_triggered();
    poll.stop();
    fake.onDialog = nullptr;

    QCOMPARE(confirmed, 1);
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    for (const QString& pair : shown) {
        const QString name = pair.section('=', 0, 0), text = pair.section('=', 1);
        QCOMPARE(texts.value(name, "<missing>"), text);
    }
    compareProjects(Project(w), before);
}

// Each dialog on its own, filled through its setter with a record of
// survey numbers and confirmed without edits, emits that very record. The
// runner returns what the dialog emitted, in record order.
using DialogRun = std::function<std::vector<double>(const std::vector<double>&)>;
Q_DECLARE_METATYPE(DialogRun)

void TestUnchangedDialogs::dialogSendsBackWhatItWasGiven_data()
{
    QTest::addColumn<DialogRun>("run");
    QTest::addColumn<std::vector<double>>("record");

    QTest::newRow("vertical parameters") << DialogRun([](const std::vector<double>& r) {
        ModelParamsWindow d;
        std::vector<double> out;
        QObject::connect(&d, &ModelParamsWindow::calc_height_changed, [&](double h) { out.push_back(-h); });
        QObject::connect(&d, &ModelParamsWindow::params_signal,
                         [&](double a, double b, double c) { out.insert(out.end(), {a, b, c}); });
        d.setValues(r[1], r[2], r[3], r[0]);
        clickOk(&d);
        return out;
    }) << std::vector<double>{-0.7, 1234.5612, 1234.5612 + 40 * 24.691224, 24.691224};

    QTest::newRow("preferences") << DialogRun([](const std::vector<double>& r) {
        PreferencesDialog d;
        std::vector<double> out;
        QObject::connect(&d, &PreferencesDialog::set_preferences, [&](std::vector<double>& p) { out = p; });
        d.setModelSize(4, 3, 5);
        std::vector<double> given = r;
        d.loadPreferences(given);
        clickOk(&d);
        return out;
    }) << std::vector<double>{1, 0, 0, 0, 0, 0.7, 1, 1, 0, 0};

    QTest::newRow("colour range") << DialogRun([](const std::vector<double>& r) {
        CaxisDialog d;
        std::vector<double> out;
        QObject::connect(&d, &CaxisDialog::set_caxis, [&](std::vector<double> v) { out = v; });
        d.setValues(r);
        clickOk(&d);
        return out;
    }) << std::vector<double>{-12.345678901, 6512345.5};

    QTest::newRow("vertical scale") << DialogRun([](const std::vector<double>& r) {
        ScaleXYZDialog d;
        std::vector<double> out;
        QObject::connect(&d, &ScaleXYZDialog::scaleSelected,
                         [&](int type, double v) { out = {double(type), v}; });
        d.setSpans(1000, 24.691224);
        d.setValues(int(r[0]), r[1]);
        clickOk(&d);
        return out;
    }) << std::vector<double>{1, 0.024691224};

    QTest::newRow("window limits") << DialogRun([](const std::vector<double>& r) {
        WindowLimitsDialog d;
        std::vector<double> out;
        QObject::connect(&d, &WindowLimitsDialog::sizeSelected, [&](std::vector<double>& v) { out = v; });
        d.setValues(r);
        clickOk(&d);
        return out;
    }) << std::vector<double>{6512345.5, 6512420.5, 512345.5, 512545.54, 1234.5612, 1333.326096};

    QTest::newRow("horizon editing") << DialogRun([](const std::vector<double>& r) {
        HorizonsEditingDialog d;
        std::vector<double> out;
        QObject::connect(&d, &HorizonsEditingDialog::EditingParamsSeted,
                         [&](double a, double b, double c, double e) { out = {a, b, c, e}; });
        d.setValues(r[0], r[1], r[2], r[3]);
        clickOk(&d);
        return out;
    }) << std::vector<double>{100.02, 24.691224, 0.7, 1234.5612};

    QTest::newRow("horizon fitting") << DialogRun([](const std::vector<double>& r) {
        InversionHorizonDialog d;
        std::vector<QString> names{"", "Top", "Base"};
        d.setLayersNames(names);
        QMap<QString, double> in{{"Niter", r[0]}, {"layer", r[1]}, {"stepScale", r[2]}};
        d.setPreviousParams(in);
        std::vector<double> out;
        QObject::connect(&d, &InversionHorizonDialog::paramsSelected, [&](QMap<QString, double>& p) {
            out = {p.value("Niter"), p.value("layer"), p.value("stepScale")};
        });
        clickOk(&d);
        return out;
    }) << std::vector<double>{250, 2, 0.123456789};

    QTest::newRow("smoothing") << DialogRun([](const std::vector<double>& r) {
        SmoothParamsDialog d;
        std::vector<double> out;
        auto keep = [&](std::vector<double> p) { out = p; };
        QObject::connect(&d, &SmoothParamsDialog::gridFilterParamsSelected, keep);
        QObject::connect(&d, &SmoothParamsDialog::layerFilterParamsSelected, keep);
        QObject::connect(&d, &SmoothParamsDialog::horizonFilterParamsSelected, keep);
        d.setSteps({25, 100.02, 24.691224});
        d.setLayers({"Top", "Base"});
        d.setParams(r);
        clickOk(&d);
        return out;
    }) << std::vector<double>{0, 5 * 25.0, 3 * 100.02, 5 * 24.691224, 1, 1};

    QTest::newRow("one value") << DialogRun([](const std::vector<double>& r) {
        InputValueDialog d;
        std::vector<double> out;
        QObject::connect(&d, &InputValueDialog::valueSelected, [&](double v) { out = {v}; });
        d.setValue(r[0]);
        clickOk(&d);
        return out;
    }) << std::vector<double>{1234.5612};

    QTest::newRow("inversion parameters") << DialogRun([](const std::vector<double>& r) {
        inversion_parameters d;
        std::vector<double> out;
        auto keep = [&](std::vector<double> p) { out = p; };
        QObject::connect(&d, &inversion_parameters::inv_params, keep);
        QObject::connect(&d, &inversion_parameters::polygonal_inv_grid_params, keep);
        QObject::connect(&d, &inversion_parameters::polygonal_inv_params, keep);
        d.set_previous_params(r);
        clickOk(&d);
        return out;
    }) << std::vector<double>{100, 0.123456789, 1.2345678e-7, 1.7320508075688772, 0, 2.67123456, 1, 0,
                              0, 1, 0, 123.45612, 0, 1, 0.7, 24.691224, 0, 1, 0, 1, 1.0000001, 3.1415926535,
                              0, 0, 0, 0, 1, 2.5123456789};
}

void TestUnchangedDialogs::dialogSendsBackWhatItWasGiven()
{
    QFETCH(DialogRun, run);
    QFETCH(std::vector<double>, record);
    const std::vector<double> sent = run(record);
    QCOMPARE(sent.size(), record.size());
    for (std::size_t i = 0; i < record.size(); ++i)
        QVERIFY2(sent[i] == record[i], qPrintable(QString("value %1: %2 sent back as %3")
                                                      .arg(i)
                                                      .arg(record[i], 0, 'g', 17)
                                                      .arg(sent[i], 0, 'g', 17)));
}

QTEST_MAIN(TestUnchangedDialogs)
#include "tst_unchanged_dialogs.moc"
