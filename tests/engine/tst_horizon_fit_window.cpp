// Horizon fitting on the main window, offscreen with scripted message boxes:
// the dialog's form, list and emitted map, the command's refusals and the
// dialog it opens, a fit that moves a displaced horizon back with the grid
// following it, the horizon kept between its neighbours, refusals of a bad
// horizon, a stop by a second press, and the edge cases of no pass, a flat
// observed field and a zero residual.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "engine/field_stats.h"
#include "engine/horizon_fit.h"
#include "engine/inversionhorizondialog.h"
#include "fake_interaction.h"
#include "layered_window_support.h"
#include "window_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace layeredtest;
using namespace windowtest;

using ParamMap = QMap<QString, double>;
Q_DECLARE_METATYPE(ParamMap)

namespace {

const std::vector<double> two_densities{2.0, 2.6};

field2D displaced(const field2D& h, double amplitude)
{
    field2D out = h;
    const double cy = (h.size() - 1) / 2.0, cx = (h[0].size() - 1) / 2.0;
    for (std::size_t j = 0; j < h.size(); ++j)
        for (std::size_t i = 0; i < h[j].size(); ++i) {
            const double r2 = ((j - cy) * (j - cy) + (i - cx) * (i - cx)) / 9.0;
            out[j][i] += amplitude * std::exp(-r2);
        }
    return out;
}

// A two-layer model (top, horizon 1) whose horizon 1 is displaced by a
// bump of `bump` metres; the observed field is the field of the true one.
Model give_problem(MainWindow& w, double bump)
{
    const Model m = make_model(2, 16, 12, 24, 25);
    std::vector<field2D> horizons = m.horizons;
    horizons[1] = displaced(m.horizons[1], bump);
    give_layered_model(w, m, horizons, two_densities, two_densities);
    w.store_eff = true;
    w.calculated_params.clear();
    w.effects.clear();
    return m;
}

ParamMap fit_params(int passes, int layer, double step)
{
    ParamMap p;
    p.insert("Niter", passes);
    p.insert("layer", layer);
    p.insert("stepScale", step);
    return p;
}

template <typename T>
T* child(QDialog* d, const char* name)
{
    T* c = d->findChild<T*>(name);
    if (!c)
        qFatal("no child %s", name);
    return c;
}

}  // namespace

class TestHorizonFitWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The signal passes the map by reference: the spy needs that name too.
        qRegisterMetaType<ParamMap>("QMap<QString,double>");
        qRegisterMetaType<ParamMap>("QMap<QString,double>&");
    }
    void init()
    {
        fake.reset(new FakeInteraction);
        w.reset(new MainWindow);
        w->language = 1;
    }
    void cleanup()
    {
        w.reset();
        fake.reset();
    }

    void dialogForm();
    void dialogEmitsItsMap_data();
    void dialogEmitsItsMap();
    void dialogPrefillsTheLastParameters();
    void dialogCancelEmitsNothing();
    void commandRefusals_data();
    void commandRefusals();
    void commandOpensTheDialogWithNamesAndLastParameters();
    void fitMovesADisplacedHorizonBack();
    void horizonStaysBetweenItsNeighbours_data();
    void horizonStaysBetweenItsNeighbours();
    void badHorizonIsRefused_data();
    void badHorizonIsRefused();
    void stopBySecondPress();
    void noPassStillRecomputesTheField();
    void flatObservedFieldMovesNothing();
    void zeroResidualMovesNothing();
    void russianPassTexts();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

void TestHorizonFitWindow::dialogForm()
{
    InversionHorizonDialog d(nullptr);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Параметры инверсии"));
    QCOMPARE(d.size(), QSize(398, 326));
    QCOMPARE(child<QLabel>(&d, "horizonLabel")->text(), QString::fromUtf8("\nКровля слоя\n"));
    QCOMPARE(child<QLabel>(&d, "iterLabel")->text(), QString::fromUtf8("\nКол-во итераций\n"));
    QCOMPARE(child<QLabel>(&d, "stepScaleLabel")->text(), QString::fromUtf8("\nМасштаб шага\n"));
    QCOMPARE(child<QLabel>(&d, "horizonLabel")->alignment(), Qt::AlignCenter);
    QCOMPARE(child<QComboBox>(&d, "horizonsList")->count(), 0);
    QCOMPARE(child<QLineEdit>(&d, "iterCount")->text(), QString("5"));
    QCOMPARE(child<QLineEdit>(&d, "stepScale")->text(), QString("1"));
    QCOMPARE(child<QPushButton>(&d, "OkButton")->text(), QString("Ok"));
    QCOMPARE(child<QPushButton>(&d, "cancelButton")->text(), QString::fromUtf8("Отмена"));
}

void TestHorizonFitWindow::dialogEmitsItsMap_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("iterations");
    QTest::addColumn<QString>("step");
    QTest::addColumn<double>("niter");
    QTest::addColumn<double>("layer");
    QTest::addColumn<double>("scale");
    const QStringList sand{"", "Sand", ""};
    QTest::newRow("second entry") << sand << 1 << "5" << "1" << 5.0 << 2.0 << 1.0;
    QTest::newRow("first entry") << sand << 0 << "12" << "0.25" << 12.0 << 1.0 << 0.25;
    QTest::newRow("iterations not a number") << sand << 0 << "abc" << "2" << 0.0 << 1.0 << 2.0;
    QTest::newRow("iterations not an integer") << sand << 0 << "2.5" << "2" << 0.0 << 1.0 << 2.0;
    QTest::newRow("step not a number") << sand << 1 << "3" << "x" << 3.0 << 2.0 << 0.0;
    QTest::newRow("empty list") << QStringList{""} << -1 << "3" << "1" << 3.0 << 0.0 << 1.0;
}

void TestHorizonFitWindow::dialogEmitsItsMap()
{
    QFETCH(QStringList, names);
    QFETCH(int, index);
    QFETCH(QString, iterations);
    QFETCH(QString, step);
    QFETCH(double, niter);
    QFETCH(double, layer);
    QFETCH(double, scale);
    InversionHorizonDialog d(nullptr);
    std::vector<QString> list(names.begin(), names.end());
    d.setLayersNames(list);
    if (index >= 0)
        child<QComboBox>(&d, "horizonsList")->setCurrentIndex(index);
    child<QLineEdit>(&d, "iterCount")->setText(iterations);
    child<QLineEdit>(&d, "stepScale")->setText(step);
    QSignalSpy spy(&d, SIGNAL(paramsSelected(QMap<QString, double>&)));
    QVERIFY(spy.isValid());
    bool accepted_before_emit = false;
    connect(&d, &InversionHorizonDialog::paramsSelected, [&](ParamMap&) {
        accepted_before_emit = d.result() == QDialog::Accepted;
    });
    child<QPushButton>(&d, "OkButton")->click();
    QCOMPARE(spy.count(), 1);
    QVERIFY(accepted_before_emit);
    const ParamMap map = qvariant_cast<ParamMap>(spy.at(0).at(0));
    QCOMPARE(map.keys(), (QStringList{"Niter", "layer", "stepScale"}));
    QCOMPARE(map.value("Niter"), niter);
    QCOMPARE(map.value("layer"), layer);
    QCOMPARE(map.value("stepScale"), scale);
}

void TestHorizonFitWindow::dialogPrefillsTheLastParameters()
{
    InversionHorizonDialog d(nullptr);
    std::vector<QString> names{"", "", "Sand", ""};
    d.setLayersNames(names);
    auto* list = child<QComboBox>(&d, "horizonsList");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->itemText(0), QString("2"));
    QCOMPARE(list->itemText(1), QString("Sand"));
    QCOMPARE(list->itemText(2), QString("4"));

    ParamMap all = fit_params(12, 3, 0.125);
    d.setPreviousParams(all);
    QCOMPARE(child<QLineEdit>(&d, "iterCount")->text(), QString("12"));
    QCOMPARE(list->currentIndex(), 2);
    QCOMPARE(child<QLineEdit>(&d, "stepScale")->text(), QString("0.125"));

    // Absent keys, and a layer that is not in the list, leave the form.
    InversionHorizonDialog e(nullptr);
    e.setLayersNames(names);
    ParamMap partial;
    partial.insert("layer", 9);
    e.setPreviousParams(partial);
    QCOMPARE(child<QLineEdit>(&e, "iterCount")->text(), QString("5"));
    QCOMPARE(child<QLineEdit>(&e, "stepScale")->text(), QString("1"));
    QCOMPARE(child<QComboBox>(&e, "horizonsList")->currentIndex(), 0);
}

void TestHorizonFitWindow::dialogCancelEmitsNothing()
{
    InversionHorizonDialog d(nullptr);
    std::vector<QString> names{"", "a"};
    d.setLayersNames(names);
    QSignalSpy spy(&d, SIGNAL(paramsSelected(QMap<QString, double>&)));
    child<QPushButton>(&d, "cancelButton")->click();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(d.result(), int(QDialog::Rejected));
}

void TestHorizonFitWindow::commandRefusals_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("no grid") << "no grid" << "3D density grid is empty";
    QTest::newRow("no field") << "no field" << "Observed field is empty";
    QTest::newRow("only the model top") << "one horizon" << "Horizons are empty";
    QTest::newRow("field with other rows") << "field rows" << "3D grid and observed field parameters don't match";
    QTest::newRow("horizon with a short row") << "horizon" << "Horizons and 3D grid have different parameters";
}

void TestHorizonFitWindow::commandRefusals()
{
    QFETCH(QString, setup);
    QFETCH(QString, error);
    give_problem(*w, 60);
    if (setup == "no grid")
        w->den_grid.clear();
    else if (setup == "no field")
        w->Vz_observed.clear();
    else if (setup == "one horizon")
        w->horizons.resize(1);
    else if (setup == "field rows")
        w->Vz_observed.pop_back();
    else if (setup == "horizon")
        w->horizons[1][3].pop_back();
    w->ui->horizonInversion->trigger();
    QCOMPARE(fake->errors(), QStringList{error});
    QVERIFY(fake->dialogs.isEmpty());
    QVERIFY(w->calculated_params.empty());
}

void TestHorizonFitWindow::commandOpensTheDialogWithNamesAndLastParameters()
{
    const Model m = give_problem(*w, 60);
    // Three horizons: the model top, horizon 1 and a horizon 2 named Sand.
    field2D deeper = m.horizons[1];
    for (auto& r : deeper)
        for (double& v : r)
            v += 200;
    w->horizons.push_back(deeper);
    w->layers_names = {"", "", "Sand"};
    w->densities.push_back(2.8);
    w->fixed.push_back(false);
    w->den_grid = layered_grid(m, w->horizons, {2.0, 2.6, 2.8});
    w->horizon_fit_params = fit_params(7, 2, 0.5);
    const vector3D grid = w->den_grid;
    const std::vector<field2D> horizons = w->horizons;
    QStringList items;
    QString iterations, step;
    int index = -1;
    fake->onDialog = [&](QDialog* d) {
        auto* list = child<QComboBox>(d, "horizonsList");
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        index = list->currentIndex();
        iterations = child<QLineEdit>(d, "iterCount")->text();
        step = child<QLineEdit>(d, "stepScale")->text();
        child<QPushButton>(d, "cancelButton")->click();
        return d->result();
    };
    w->ui->horizonInversion->trigger();
    QCOMPARE(fake->dialogs, QStringList{"InversionHorizonDialog"});
    QCOMPARE(items, (QStringList{"2", "Sand"}));
    QCOMPARE(index, 1);
    QCOMPARE(iterations, QString("7"));
    QCOMPARE(step, QString("0.5"));
    // Cancel: only the calculated field's geometry was taken from the observed one.
    QCOMPARE(w->calculated_params, w->observed_params);
    QCOMPARE(w->den_grid, grid);
    QCOMPARE(w->horizons, horizons);
    QVERIFY(fake->errors().isEmpty());
}

void TestHorizonFitWindow::fitMovesADisplacedHorizonBack()
{
    const Model m = give_problem(*w, -90);
    const std::vector<field2D> start = w->horizons;
    const double misfit_before = field_misfit(w->Vz_observed, field_of(m, w->den_grid)).rms;
    const double depth_before = rms_difference(w->horizons[1], m.horizons[1]);
    bool stop_icon = false, others_disabled = true;
    fake->onDialog = [&](QDialog* d) {
        child<QComboBox>(d, "horizonsList")->setCurrentIndex(0);
        child<QLineEdit>(d, "iterCount")->setText("15");
        child<QLineEdit>(d, "stepScale")->setText("4");
        while_running(
            [&] {
                if (w->inversion_running) {
                    stop_icon = stop_icon || same_icon(w->ui->horizonInversion->icon(), ":/Images/stop.png");
                    others_disabled = others_disabled && !w->ui->forward_grid->isEnabled()
                                      && !w->ui->inversion->isEnabled();
                }
            },
            [&] { child<QPushButton>(d, "OkButton")->click(); });
        return d->result();
    };
    w->layer_effects.assign(2, field2D(m.ny, std::vector<double>(m.nx, 1.0)));
    w->progress_label->setText("(Nx, Ny, Nz) = (before)");
    w->ui->horizonInversion->trigger();
    QVERIFY(fake->errors().isEmpty());
    // The layered inversion's slab effects belonged to the old surface.
    QVERIFY(w->layer_effects.empty());
    QVERIFY(stop_icon);
    QVERIFY(others_disabled);
    QVERIFY(!w->inversion_running && !w->forward_running);
    QVERIFY(same_icon(w->ui->horizonInversion->icon(), ":/Images/start_inv_horizon.png"));
    QVERIFY(w->ui->forward_grid->isEnabled() && w->ui->inversion->isEnabled());
    QVERIFY(w->progress_bar.isHidden());
    QCOMPARE(w->horizon_fit_params, fit_params(15, 1, 4));
    // The passes' texts ("Fill model" last) go: the status line says again
    // what it said before the fit.
    QCOMPARE(w->progress_label->text(), QString("(Nx, Ny, Nz) = (before)"));

    QCOMPARE(w->horizons[0], start[0]);
    const double depth_after = rms_difference(w->horizons[1], m.horizons[1]);
    QVERIFY2(depth_after < 0.65 * depth_before, qPrintable(QString("%1 -> %2").arg(depth_before).arg(depth_after)));
    // The grid follows the fitted horizon, and the calculated field is its field.
    QCOMPARE(w->den_grid, layered_grid(m, w->horizons, two_densities));
    QVERIFY(rms_difference(w->Vz_calculated, field_of(m, w->den_grid)) < 1e-3);
    const double misfit_after = field_misfit(w->Vz_observed, w->Vz_calculated).rms;
    QVERIFY2(misfit_after < 0.3 * misfit_before, qPrintable(QString("%1 -> %2").arg(misfit_before).arg(misfit_after)));
    // The stored effects stay.
    QCOMPARE(w->effects.levels(), m.nz);
}

void TestHorizonFitWindow::horizonStaysBetweenItsNeighbours_data()
{
    QTest::addColumn<QString>("neighbour");
    QTest::newRow("pushed above the model top") << "above";
    QTest::newRow("pushed below the horizon below") << "below";
}

// Nodes whose proposed depth would cross a neighbouring horizon keep their
// depth, and the grid is refilled only where the horizon did move.
void TestHorizonFitWindow::horizonStaysBetweenItsNeighbours()
{
    QFETCH(QString, neighbour);
    Model m = make_model(2, 16, 12, 24, 25);
    const bool above = neighbour == "above";
    // The horizon lies 60 m too deep (pushed up) or too shallow (pushed down).
    give_problem(*w, above ? 60 : -60);
    if (above) {
        // Close under the top, so a large step overshoots it.
        for (auto& r : w->horizons[1])
            for (double& v : r)
                v -= 50;
    }
    // A third horizon close below horizon 1.
    field2D below = w->horizons[1];
    for (auto& r : below)
        for (double& v : r)
            v += 40;
    w->horizons.push_back(below);
    m.horizons.push_back(below);
    const std::vector<double> dens{2.0, 2.6, 2.6};
    w->densities = dens;
    w->fixed.assign(3, false);
    w->layers_names.assign(3, QString());
    w->den_grid = layered_grid(m, w->horizons, dens);
    std::vector<field2D> true_horizons = m.horizons;
    true_horizons[1] = make_model(2, 16, 12, 24, 25).horizons[1];
    if (above)
        for (auto& r : true_horizons[1])
            for (double& v : r)
                v -= 50;
    w->Vz_observed = field_of(m, layered_grid(m, true_horizons, dens));

    // The first pass's proposal crosses the neighbour at some nodes.
    vector2D top, bottom;
    QVERIFY(w->collectDensFromHorizon(1, top, bottom));
    field2D residual, proposed;
    QVERIFY(horizon_fit_residual(field_of(m, w->den_grid), w->Vz_observed, residual));
    propose_horizon_depths(w->horizons[1], residual, top, bottom, horizon_fit_scales(w->Vz_observed, top, bottom, 200),
                           proposed);
    int crossing = 0;
    for (int j = 0; j < m.ny; ++j)
        for (int i = 0; i < m.nx; ++i)
            crossing += above ? proposed[j][i] < w->horizons[0][j][i] : proposed[j][i] > below[j][i];
    QVERIFY(crossing > 0);

    ParamMap p = fit_params(3, 1, 200);
    w->fitHorizon(p);
    QVERIFY(fake->errors().isEmpty());
    for (int j = 0; j < m.ny; ++j)
        for (int i = 0; i < m.nx; ++i) {
            QVERIFY(w->horizons[1][j][i] >= w->horizons[0][j][i]);
            QVERIFY(w->horizons[1][j][i] <= w->horizons[2][j][i]);
        }
    QCOMPARE(w->den_grid, layered_grid(m, w->horizons, dens));
}

void TestHorizonFitWindow::badHorizonIsRefused_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("horizon below the model") << 1 << "deep" << "Horizon is out of density model";
    QTest::newRow("horizon in the first level") << 1 << "shallow" << "Horizon is out of density model";
    QTest::newRow("the model top") << 0 << "" << "Invalid number of horizon";
    QTest::newRow("no such horizon") << 2 << "" << "Invalid number of horizon";
    QTest::newRow("negative index") << -1 << "" << "Invalid number of horizon";
}

void TestHorizonFitWindow::badHorizonIsRefused()
{
    QFETCH(int, layer);
    QFETCH(QString, setup);
    QFETCH(QString, error);
    const Model m = give_problem(*w, 60);
    if (setup == "deep")
        w->horizons[1][5][7] = m.z.back() + 10;  // below the grid
    else if (setup == "shallow")
        w->horizons[1][2][3] = m.z[0] + 10;
    w->den_grid = layered_grid(m, w->horizons, two_densities);
    w->Vz_calculated = field2D(m.ny, std::vector<double>(m.nx, 1.5));
    const vector3D grid = w->den_grid;
    const std::vector<field2D> horizons = w->horizons;
    const field2D calculated = w->Vz_calculated;
    ParamMap p = fit_params(3, layer, 1);
    w->fitHorizon(p);
    QCOMPARE(fake->errors(), QStringList{error});
    QCOMPARE(w->den_grid, grid);
    QCOMPARE(w->horizons, horizons);
    QCOMPARE(w->Vz_calculated, calculated);
    QCOMPARE(w->horizon_fit_params, p);
    QVERIFY(!w->inversion_running);
    QVERIFY(same_icon(w->ui->horizonInversion->icon(), ":/Images/start_inv_horizon.png"));
    QVERIFY(w->ui->forward_grid->isEnabled() && w->ui->inversion->isEnabled());
}

// Niter 10 and a press during pass 4: the fit ends after pass 4 with the
// closing forward calculation; the bar showed 0, 10, 20 and 30.
void TestHorizonFitWindow::stopBySecondPress()
{
    const Model m = give_problem(*w, -90);
    QStringList labels;
    QList<int> bar_values;
    bool pressed = false;
    fake->onDialog = [&](QDialog* d) {
        child<QLineEdit>(d, "iterCount")->setText("10");
        child<QLineEdit>(d, "stepScale")->setText("1");
        while_running(
            [&] {
                const QString t = w->progress_label->text();
                if (labels.isEmpty() || labels.back() != t) {
                    labels << t;
                    // The bar as each pass begins (the forward runs within a
                    // pass may show their own levels).
                    if (t.startsWith("Iter ") && !w->progress_bar.isHidden())
                        bar_values << w->progress_bar.value();
                }
                if (!pressed && t == "Iter 4/10") {
                    pressed = true;
                    w->ui->horizonInversion->trigger();
                }
            },
            [&] { child<QPushButton>(d, "OkButton")->click(); });
        return d->result();
    };
    w->ui->horizonInversion->trigger();
    QVERIFY(pressed);
    QVERIFY(fake->errors().isEmpty());
    QStringList passes;
    for (const QString& t : labels)
        if (t.startsWith("Iter "))
            passes << t;
    QCOMPARE(passes, (QStringList{"Iter 1/10", "Iter 2/10", "Iter 3/10", "Iter 4/10"}));
    QCOMPARE(labels.back(), QString("Fill model"));
    QCOMPARE(bar_values, (QList<int>{0, 10, 20, 30}));
    QVERIFY(!w->inversion_running);
    QVERIFY(w->progress_bar.isHidden());
    QVERIFY(rms_difference(w->Vz_calculated, field_of(m, w->den_grid)) < 1e-3);
    QCOMPARE(w->den_grid, layered_grid(m, w->horizons, two_densities));
}

void TestHorizonFitWindow::noPassStillRecomputesTheField()
{
    const Model m = give_problem(*w, 60);
    const std::vector<field2D> horizons = w->horizons;
    ParamMap p = fit_params(0, 1, 1);
    w->fitHorizon(p);
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->horizons, horizons);
    QVERIFY(rms_difference(w->Vz_calculated, field_of(m, w->den_grid)) < 1e-3);
}

void TestHorizonFitWindow::flatObservedFieldMovesNothing()
{
    give_problem(*w, 60);
    for (auto& r : w->Vz_observed)
        for (double& v : r)
            v = 3.0;
    const std::vector<field2D> horizons = w->horizons;
    const vector3D grid = w->den_grid;
    ParamMap p = fit_params(2, 1, 1);
    w->fitHorizon(p);
    QCOMPARE(w->horizons, horizons);
    QCOMPARE(w->den_grid, grid);
    for (const auto& r : w->Vz_calculated)
        for (double v : r)
            QVERIFY(std::isfinite(v));
}

void TestHorizonFitWindow::zeroResidualMovesNothing()
{
    give_problem(*w, 60);
    // The observed field is the field the fit itself computes for the grid.
    w->inversion_running = true;  // the build's stop flag
    QVERIFY(w->calculateEffects());
    w->inversion_running = false;
    field2D own;
    w->forward_running = true;
    QVERIFY(w->forward3Dgrid_multithread(w->den_grid, w->x_calc, w->y_calc, w->z_calc, own, w->progress_bar));
    w->forward_running = false;
    w->Vz_observed = own;
    const std::vector<field2D> horizons = w->horizons;
    const vector3D grid = w->den_grid;
    const std::vector<field2D> slab(2, field2D(12, std::vector<double>(16, 1.0)));
    w->layer_effects = slab;
    ParamMap p = fit_params(3, 1, 1);
    w->fitHorizon(p);
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->horizons, horizons);
    QCOMPARE(w->den_grid, grid);
    QCOMPARE(w->layer_effects, slab);  // nothing moved: still the surface they belong to
}

void TestHorizonFitWindow::russianPassTexts()
{
    give_problem(*w, 60);
    w->language = 0;
    QStringList labels;
    ParamMap p = fit_params(2, 1, 1);
    while_running(
        [&] {
            const QString t = w->progress_label->text();
            if (!t.startsWith(QString::fromUtf8("Расчет")) && (labels.isEmpty() || labels.back() != t))
                labels << t;
        },
        [&] { w->fitHorizon(p); });
    QCOMPARE(labels, (QStringList{QString::fromUtf8("Итерация 1/2"), QString::fromUtf8("Итерация 2/2"),
                                  QString::fromUtf8("Заполнение модели")}));
}

QTEST_MAIN(TestHorizonFitWindow)
#include "tst_horizon_fit_window.moc"
