// As a new user would: build a layered model from a density cube and two
// horizon grids, give the layers densities and names, load an observed
// field, faults and a profile scheme, calculate the field with stored
// effects, answer Yes to the close question to save the project, start the
// program again, open the project and find the same model, maps, 3D view and
// stored effects (the next calculation reuses them and gives the same field).
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/cube_file.h"
#include "formats/surfer_grid.h"
#include "views/surf.h"
#include "test_nodes.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <cmath>

using namespace fmt_test;

namespace {

constexpr int kNx = 12, kNy = 10, kNz = 8;
constexpr double kX0 = 400000, kY0 = 6200000, kStep = 100, kDz = 50;

QString fixture(const char* name)
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/") + QLatin1String(name);
}

QCPColorMap* colorMap(QCustomPlot* plot)
{
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* map = qobject_cast<QCPColorMap*>(plot->plottable(i)))
            return map;
    return nullptr;
}

// The cells of a drawn map, [row][column].
field2D mapCells(QCustomPlot* plot)
{
    QCPColorMap* map = colorMap(plot);
    if (!map)
        return {};
    field2D out(std::size_t(map->data()->valueSize()), std::vector<double>(std::size_t(map->data()->keySize())));
    for (int j = 0; j < map->data()->valueSize(); ++j)
        for (int i = 0; i < map->data()->keySize(); ++i)
            out[std::size_t(j)][std::size_t(i)] = map->data()->cell(i, j);
    return out;
}

double maxDifference(const field2D& a, const field2D& b)
{
    double d = 0;
    for (std::size_t j = 0; j < a.size(); ++j)
        for (std::size_t i = 0; i < a[j].size(); ++i)
            d = std::max(d, std::fabs(a[j][i] - b[j][i]));
    return d;
}

}  // namespace

class TestProjectEndToEnd : public QObject {
    Q_OBJECT

private:
    // Closing a window with data writes the settings store: a store of this test alone.
    QTemporaryDir settings_dir;

private slots:
    void initTestCase();
    void buildCalculateSaveCloseReopen();
};

void TestProjectEndToEnd::initTestCase()
{
    QVERIFY(settings_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
}

void TestProjectEndToEnd::buildCalculateSaveCloseReopen()
{
    QTemporaryDir dir;
    const std::vector<double> x = nodes(kNx, kX0, kStep), y = nodes(kNy, kY0, kStep), z = nodes(kNz, 0, kDz);
    const std::vector<double> geometry{kNx, kNy, x.front(), x.back(), y.front(), y.back()};

    // The user's files: a density cube, two horizons and an observed field.
    QVERIFY(write_cube_file(dir.filePath("density.3Dgrd"), make_cube(kNx, kNy, kNz, 0.0f), x, y, z));
    field2D top(kNy, std::vector<double>(kNx)), bottom = top, observed = top;
    for (int j = 0; j < kNy; ++j)
        for (int i = 0; i < kNx; ++i) {
            top[j][i] = 80 + 10 * i + 5 * j;
            bottom[j][i] = 220 + 3 * std::sin(0.5 * i) * 20 + 4 * j;
            observed[j][i] = 1.5 + 0.01 * i - 0.02 * j;
        }
    QVERIFY(write_surfer7_grid(dir.filePath("top.grd"), top, geometry));
    QVERIFY(write_surfer7_grid(dir.filePath("bottom.grd"), bottom, geometry));
    QVERIFY(write_surfer7_grid(dir.filePath("observed.grd"), observed, geometry));

    FakeInteraction fake;
    const QString project = dir.filePath("My model.3Dproj");

    vector3D density;
    std::vector<double> gx, gy, gz;
    std::vector<field2D> horizons;
    field2D calculated, reused;
    std::vector<std::vector<float>> stored_effects;  // the operator's quarters
    field2D observed_map, calculated_map;
    {
        MainWindow w;
        w.language = 1;
        w.store_eff = true;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Build the model.
        fake.openNames << dir.filePath("density.3Dgrd");
        w.on_open3Dgrd_triggered();
        fake.openNameLists << QStringList{dir.filePath("top.grd"), dir.filePath("bottom.grd")};
        w.on_open_horizon_triggered();
        QCOMPARE(w.horizons.size(), std::size_t(3));  // the constant top surface first
        w.setHorizonsDensities({0, 2.3, 2.67});
        w.set_fixed({false, true, false});
        w.set_layers_names({QString(), QStringLiteral("Осадки"), QStringLiteral("Фундамент")});
        fake.openNames << dir.filePath("observed.grd");
        w.on_open_observed_field_triggered();
        fake.openNames << fixture("sticks_inline.txt");
        w.on_import_faults_triggered();
        fake.openNames << fixture("profiles_mixed.bln");
        w.on_import_profiles_scheme_triggered();
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
        // The grid was built from the layers.
        float largest = 0;
        for (const auto& level : w.den_grid)
            for (const auto& row : level)
                for (float v : row)
                    largest = std::max(largest, v);
        QCOMPARE(largest, 2.67f);

        // Calculate its field with stored effects.
        w.on_forward_grid_triggered();
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
        QCOMPARE(w.Vz_calculated.size(), std::size_t(kNy));
        QVERIFY(!w.effects.empty());

        // A second calculation reuses the stored effects.
        const field2D first = w.Vz_calculated;
        w.on_forward_grid_triggered();
        reused = w.Vz_calculated;
        w.Vz_calculated = first;
        w.plotCalculated();

        density = w.den_grid;
        gx = w.x_calc, gy = w.y_calc, gz = w.z_calc;
        horizons = w.horizons;
        calculated = w.Vz_calculated;
        stored_effects = w.effects.quarter;
        observed_map = mapCells(w.ui->observed_axes);
        calculated_map = mapCells(w.ui->calculated_axes);
        QCOMPARE(observed_map.size(), std::size_t(kNy));

        // Close: "Save project before exit?" Yes, and a name for the project.
        fake.answers << QMessageBox::Yes;
        fake.saveNames << dir.filePath("My model");
        QVERIFY(w.close());
        QCOMPARE(fake.questions.size(), 1);
        QCOMPARE(fake.messages().last(), QStringLiteral("Project has been saved successfully"));
    }
    QCOMPARE(files_in(dir.path()), (QStringList{"My model.3Dproj", "My model.eff", "bottom.grd", "density.3Dgrd",
                                                "observed.grd", "top.grd"}));

    // Start again and open the project.
    fake.clear();
    MainWindow w;
    w.language = 1;
    w.store_eff = true;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    fake.openNames << project;
    w.on_open_project_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tolmera3D My model"));

    // The same model.
    QCOMPARE(w.den_grid, density);
    QCOMPARE(w.x_calc, gx);
    QCOMPARE(w.y_calc, gy);
    QCOMPARE(w.z_calc, gz);
    QCOMPARE(w.horizons, horizons);
    QCOMPARE(w.densities, (std::vector<double>{0, 2.3, 2.67}));
    QCOMPARE(w.fixed, (std::vector<bool>{false, true, false}));
    QCOMPARE(w.layers_names, (std::vector<QString>{QString(), QStringLiteral("Осадки"), QStringLiteral("Фундамент")}));
    QCOMPARE(w.Vz_observed, observed);
    QCOMPARE(w.Vz_calculated, calculated);
    QCOMPARE(w.faults.names, (std::vector<QString>{"F1", "F2", "F1"}));
    QCOMPARE(w.profiles_scheme.size(), std::size_t(3));

    // The same maps.
    QCOMPARE(mapCells(w.ui->observed_axes), observed_map);
    QVERIFY(maxDifference(mapCells(w.ui->calculated_axes), calculated_map) < 1e-12);

    // The 3D view shows the cube and the faults.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        QVERIFY(w.graph);
        QVERIFY(!w.surf->surfaces.isEmpty());
        QCOMPARE(w.surf->fault_series.size(), 3);
    }
    QVERIFY(w.ui->view_faults->isEnabled());
    QVERIFY(w.ui->view_profiles->isEnabled());

    // The stored effects wait for the next calculation, which builds the
    // operator, finds the sidecar its own (no complaint) and keeps it.
    QVERIFY(w.effects.empty() && !w.pending_eff.isEmpty());
    w.Vz_calculated.clear();
    w.on_forward_grid_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(!w.progress_label->text().contains("differ"));
    QVERIFY(w.pending_eff.isEmpty());
    QCOMPARE(w.effects.quarter, stored_effects);
    // The next one reuses it: exactly as a reuse in the first session, and
    // the field of the model.
    w.Vz_calculated.clear();
    w.on_forward_grid_triggered();
    QCOMPARE(w.Vz_calculated, reused);
    double largest = 0;
    for (const auto& row : calculated)
        for (double v : row)
            largest = std::max(largest, std::fabs(v));
    QVERIFY(largest > 0);
    QVERIFY(maxDifference(w.Vz_calculated, calculated) < 1e-5 * largest);
}

QTEST_MAIN(TestProjectEndToEnd)
#include "tst_project_e2e.moc"
