// Runs refuse grids holding values that are not finite numbers: the forward
// calculation, the 3D grid and lateral inversions, the layered inversion and
// horizon fitting, each with NaN or an infinity in the density grid, the
// observed field or a horizon it reads. The refusal names the grid, its first
// such cell and the count; the model, the fields and the horizons stay as
// they were. A horizon the run does not read does not stop it.
#include "app/mainwindow.h"
#include "common/grid_helpers.h"
#include "engine/inversion_parameters.h"
#include "engine/run_inputs.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "layered_window_support.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

using namespace layeredtest;

namespace {

const std::vector<double> two_densities{2.0, 2.6};

std::vector<double> inversion_record_of(int kind_value)
{
    std::vector<double> r = grid_inversion_record(1);
    r[inversion_record::kind] = kind_value;
    return r;
}

// The cells a test spoils: the first (in reading order) and one after it.
constexpr int first_level = 1, first_row = 2, first_column = 3;
constexpr int second_level = 4, second_row = 7, second_column = 9;

}  // namespace

class TestRunInputsWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake.reset(new FakeInteraction);
        w.reset(new MainWindow);
        w->language = 1;
        const Model m = make_model(2, 16, 12, 12, 50);
        give_layered_model(*w, m, m.horizons, two_densities, two_densities);
        w->store_eff = true;
        w->effects.clear();
        w->Vz_calculated.assign(m.ny, std::vector<double>(m.nx, 1.5));
    }
    void cleanup()
    {
        w.reset();
        fake.reset();
    }

    void runRefusesNonFiniteInput_data();
    void runRefusesNonFiniteInput();
    void horizonNotReadDoesNotStopTheGridInversion();
    void russianTextAndCount();

private:
    void start(const QString& run);

    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
};

void TestRunInputsWindow::start(const QString& run)
{
    if (run == "forward") {
        w->on_forward_grid_triggered();
    } else if (run == "inversion") {
        w->start_inversion(inversion_record_of(inversion_record::kind_grid));
    } else if (run == "lateral") {
        w->start_inversion(inversion_record_of(inversion_record::kind_lateral));
    } else if (run == "layered") {
        std::vector<double> r = inversion_record_of(inversion_record::kind_layered);
        w->start_polygonal_inversion(r);
    } else if (run == "fit") {
        QMap<QString, double> p;
        p.insert("Niter", 2);
        p.insert("layer", 1);
        p.insert("stepScale", 1);
        w->fitHorizon(p);
    } else {
        qFatal("unknown run");
    }
}

void TestRunInputsWindow::runRefusesNonFiniteInput_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<double>("value");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const char* run : {"forward", "inversion", "lateral", "layered", "fit"}) {
        QTest::addRow("%s density NaN", run) << run << "density" << nan;
        QTest::addRow("%s density +inf", run) << run << "density" << inf;
        if (QByteArray(run) == "forward")
            continue;
        QTest::addRow("%s observed NaN", run) << run << "observed" << nan;
        QTest::addRow("%s observed -inf", run) << run << "observed" << -inf;
        if (QByteArray(run) == "inversion")
            continue;  // the grid kind reads no horizon
        QTest::addRow("%s horizon NaN", run) << run << "horizon" << nan;
        QTest::addRow("%s horizon +inf", run) << run << "horizon" << inf;
    }
}

void TestRunInputsWindow::runRefusesNonFiniteInput()
{
    QFETCH(QString, run);
    QFETCH(QString, grid);
    QFETCH(double, value);

    QString where;
    if (grid == "density") {
        w->den_grid[first_level][first_row][first_column] = float(value);
        w->den_grid[second_level][second_row][second_column] = float(value);
        where = QString("The 3D density grid holds values that are not finite numbers (NaN or infinity): 2 cells, "
                        "the first at level %1, row %2, column %3.")
                    .arg(first_level + 1).arg(first_row + 1).arg(first_column + 1);
    } else {
        field2D& map = grid == "observed" ? w->Vz_observed : w->horizons[1];
        map[first_row][first_column] = value;
        map[second_row][second_column] = value;
        where = QString("%1 holds values that are not finite numbers (NaN or infinity): 2 nodes, the first at row %2, "
                        "column %3.")
                    .arg(grid == "observed" ? "The observed field" : "Horizon 2")
                    .arg(first_row + 1).arg(first_column + 1);
    }
    const vector3D density = w->den_grid;
    const field2D observed = w->Vz_observed;
    const field2D calculated = w->Vz_calculated;
    const std::vector<field2D> horizons = w->horizons;

    start(run);

    QCOMPARE(fake->errors(), QStringList{where + " The run was not started; the model is unchanged."});
    // Compared as bit patterns: NaN cells must stay NaN.
    auto same_cube = [](const vector3D& a, const vector3D& b) {
        for (std::size_t k = 0; k < a.size(); ++k)
            for (std::size_t j = 0; j < a[k].size(); ++j)
                if (std::memcmp(a[k][j].data(), b[k][j].data(), a[k][j].size() * sizeof(float)) != 0)
                    return false;
        return a.size() == b.size();
    };
    auto same_map = [](const field2D& a, const field2D& b) {
        for (std::size_t j = 0; j < a.size(); ++j)
            if (a[j].size() != b[j].size() || std::memcmp(a[j].data(), b[j].data(), a[j].size() * sizeof(double)) != 0)
                return false;
        return a.size() == b.size();
    };
    QVERIFY(same_cube(w->den_grid, density));
    QVERIFY(same_map(w->Vz_observed, observed));
    QVERIFY(same_map(w->Vz_calculated, calculated));
    QCOMPARE(w->horizons.size(), horizons.size());
    for (std::size_t n = 0; n < horizons.size(); ++n)
        QVERIFY(same_map(w->horizons[n], horizons[n]));
    QVERIFY(!w->inversion_running);
    QVERIFY(!w->forward_running);
}

void TestRunInputsWindow::horizonNotReadDoesNotStopTheGridInversion()
{
    w->horizons[1][first_row][first_column] = std::numeric_limits<double>::quiet_NaN();
    start("inversion");
    QCOMPARE(fake->errors(), QStringList());
    QVERIFY(non_finite_cells(w->den_grid).count == 0);
    QVERIFY(non_finite_cells(w->Vz_calculated).count == 0);
}

void TestRunInputsWindow::russianTextAndCount()
{
    RunInputs inputs;
    vector3D cube(2, vector2D(2, std::vector<float>(3, 0.0f)));
    cube[1][0][2] = std::numeric_limits<float>::infinity();
    cube[1][1][0] = -std::numeric_limits<float>::infinity();
    cube[1][1][1] = std::numeric_limits<float>::quiet_NaN();
    vector3D regularizer = cube;
    regularizer[0][1][1] = std::numeric_limits<float>::quiet_NaN();
    inputs.regularizer = &regularizer;
    QCOMPARE(non_finite_input_text(inputs, 0),
             QString::fromUtf8("Регуляризатор содержит значения, не являющиеся конечными числами (NaN или "
                               "бесконечность): 4 ячеек, первая — уровень 1, строка 2, столбец 2. Расчёт не запущен, "
                               "модель не изменена."));
    // The density grid is named before the regularizer.
    inputs.density = &cube;
    QVERIFY(non_finite_input_text(inputs, 1).startsWith("The 3D density grid holds values that are not finite numbers "
                                                        "(NaN or infinity): 3 cells, the first at level 2, row 1, "
                                                        "column 3."));
    const vector3D clean(2, vector2D(2, std::vector<float>(3, 0.0f)));
    inputs = RunInputs();
    inputs.density = &clean;
    QCOMPARE(non_finite_input_text(inputs, 1), QString());
}

QTEST_MAIN(TestRunInputsWindow)
#include "tst_run_inputs_window.moc"
