// Field and horizon open and save commands of the main window, offscreen,
// with scripted file dialogs and message boxes; saved grids are read back by
// our reader and by GDAL.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "common/grid_helpers.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/surfer_grid.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include <cmath>

using namespace fmt_test;

namespace {

const QString kBinaryFilter = QStringLiteral("Surfer 7 Binary Grid (*.grd)");
const QString kTextFilter = QStringLiteral(" Surfer 6 Text Grid (*.grd)");

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

field2D filled(int nx, int ny, double (*f)(int j, int i))
{
    field2D g(static_cast<std::size_t>(ny), std::vector<double>(static_cast<std::size_t>(nx)));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            g[std::size_t(j)][std::size_t(i)] = f(j, i);
    return g;
}

double mean(const field2D& g)
{
    double s = 0;
    std::size_t n = 0;
    for (const auto& r : g)
        for (double v : r)
            s += v, ++n;
    return s / n;
}

double maxDifference(const field2D& a, const field2D& b)
{
    double d = 0;
    for (std::size_t j = 0; j < a.size(); ++j)
        for (std::size_t i = 0; i < a[j].size(); ++i)
            d = std::max(d, std::fabs(a[j][i] - b[j][i]));
    return d;
}

// A model whose density grid has 6 x 4 nodes at x 1000..1250, y 2000..2150,
// with calculated and observed fields on those nodes.
void giveFields(MainWindow& w)
{
    w.den_grid.assign(3, vector2D(4, std::vector<data_type>(6, 2.67f)));
    w.x_calc = {1000, 1050, 1100, 1150, 1200, 1250};
    w.y_calc = {2000, 2050, 2100, 2150};
    w.z_calc = {0, 100, 200};
    w.Vz_calculated = make_field(6, 4, -3.5);
    w.calculated_params = {6, 4, 1000, 1250, 2000, 2150};
    w.Vz_observed = make_field(6, 4, 12.5);
    for (auto& row : w.Vz_observed)
        for (double& v : row)
            v = v * 0.5 + 3;
    w.observed_params = {6, 4, 1000, 1250, 2000, 2150, 0, 0};
}

// What GDAL reads from a grid file: driver, size, node positions and values
// (as [row from the smallest y][column]).
struct GdalView {
    QString driver;
    int nx = 0, ny = 0;
    double x0 = 0, dx = 0, ytop = 0, dy = 0;  // pixel centres
    field2D values;
};

bool gdalRead(const QString& path, GdalView& view, QString* log)
{
    QString json;
    if (!run(tool("gdalinfo"), {"-json", path}, &json, log))
        return false;
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    view.driver = o["driverShortName"].toString();
    view.nx = o["size"].toArray()[0].toInt();
    view.ny = o["size"].toArray()[1].toInt();
    const QJsonArray gt = o["geoTransform"].toArray();
    view.dx = gt[1].toDouble();
    view.dy = gt[5].toDouble();
    view.x0 = gt[0].toDouble() + 0.5 * view.dx;
    view.ytop = gt[3].toDouble() + 0.5 * view.dy;
    const QString raw = path + ".raw";
    if (!run(tool("gdal_translate"), {"-q", "-of", "ENVI", "-ot", "Float64", path, raw}, nullptr, log))
        return false;
    const QByteArray bytes = read_file(raw);
    if (bytes.size() != view.nx * view.ny * 8)
        return false;
    view.values.assign(std::size_t(view.ny), std::vector<double>(std::size_t(view.nx)));
    for (int l = 0; l < view.ny; ++l)
        for (int j = 0; j < view.nx; ++j)
            view.values[std::size_t(view.ny - 1 - l)][std::size_t(j)] = double_at_le(bytes, (l * view.nx + j) * 8);
    return true;
}

}  // namespace

class TestFieldCommands : public QObject {
    Q_OBJECT

private slots:
    void openHorizonsInAnyOrder();
    void openHorizonsNegatesElevations_data();
    void openHorizonsNegatesElevations();
    void openHorizonsOntoTheDensityGrid();
    void openHorizonsReportsAndGoesOn();
    void openObservedField();
    void openObservedFieldCountsNonFiniteNodes();
    void failedObservedOpenKeepsTheField();
    void saveFields_data();
    void saveFields();
    void gdalReadsSavedFields_data();
    void gdalReadsSavedFields();
    void saveHorizons();
    void hostileLayerNamesStayInTheFolder();
    void residualNeedsFieldsOfOneSize_data();
    void residualNeedsFieldsOfOneSize();
    void failedSaveIsReported();
    void calculatedFieldWithoutNodes();
    void nothingToSaveEndsSilently();
    void opensRefusedWhileARunIsActive();
};

void TestFieldCommands::openHorizonsInAnyOrder()
{
    QTemporaryDir dir;
    const std::vector<double> params{5, 3, 0, 400, 0, 100};
    const QString deep = dir.filePath("deep.grd"), shallow = dir.filePath("shallow.grd"),
                  middle = dir.filePath("middle.grd");
    QVERIFY(write_surfer7_grid(deep, filled(5, 3, [](int j, int i) { return 300.0 + 10 * j - i; }), params));
    QVERIFY(write_surfer6_text_grid(shallow, filled(5, 3, [](int j, int i) { return 100.0 + j + i; }), params));
    QVERIFY(write_surfer7_grid(middle, filled(5, 3, [](int j, int i) { return 200.0 - j * i; }), params));

    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.layer_effects = {field2D(1, std::vector<double>(1, 1.0))};
    fake.openNameLists << QStringList{deep, shallow, middle};
    w.on_open_horizon_triggered();

    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QStringLiteral("openMany"));
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.grd"));
    QCOMPARE(w.horizons.size(), std::size_t(4));
    QCOMPARE(w.horizons[0], field2D(3, std::vector<double>(5, 0.0)));  // the model top
    QCOMPARE(w.horizons[1], filled(5, 3, [](int j, int i) { return 100.0 + j + i; }));
    QCOMPARE(w.horizons[2], filled(5, 3, [](int j, int i) { return 200.0 - j * i; }));
    QCOMPARE(w.horizons[3], filled(5, 3, [](int j, int i) { return 300.0 + 10 * j - i; }));
    QCOMPARE(w.densities.size(), std::size_t(4));
    QCOMPARE(w.fixed.size(), std::size_t(4));
    QCOMPARE(w.layers_names.size(), std::size_t(4));
    QCOMPARE(std::vector<double>(w.horizons_params.begin(), w.horizons_params.begin() + 6), params);
    QVERIFY(w.layer_effects.empty());
    // No vertical parameters before: taken from the horizons.
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.maxZ, 320.0);
    QCOMPARE(w.dz, 320.0 / 50);
    QVERIFY(w.ui->view_horizons->isChecked());
}

void TestFieldCommands::openHorizonsNegatesElevations_data()
{
    QTest::addColumn<double>("top");  // largest value of the grid
    QTest::addColumn<bool>("negated");
    QTest::newRow("all below zero") << -10.0 << true;
    QTest::newRow("largest exactly zero") << 0.0 << true;
    QTest::newRow("one positive value") << 5.0 << false;
}

void TestFieldCommands::openHorizonsNegatesElevations()
{
    QFETCH(double, top);
    QFETCH(bool, negated);
    QTemporaryDir dir;
    field2D grid = filled(4, 3, [](int j, int i) { return -100.0 - 10 * j - i; });
    grid[1][2] = top;
    const QString path = dir.filePath("h.grd");
    QVERIFY(write_surfer7_grid(path, grid, {4, 3, 0, 3, 0, 2}));
    FakeInteraction fake;
    MainWindow w;
    fake.openNameLists << QStringList{path};
    w.on_open_horizon_triggered();
    QCOMPARE(w.horizons.size(), std::size_t(2));
    field2D expected = grid;
    if (negated)
        for (auto& row : expected)
            for (double& v : row)
                v = -v;
    QCOMPARE(w.horizons[1], expected);
}

void TestFieldCommands::openHorizonsOntoTheDensityGrid()
{
    QTemporaryDir dir;
    // Horizons on x 0, 50, ..., 300 and y 0, 50, ..., 200; density nodes
    // x 0, 100, 200, 300 and y 0, 100, 200.
    const std::vector<double> fine{7, 5, 0, 300, 0, 200};
    QStringList names;
    for (int h = 3; h >= 1; --h) {
        const QString path = dir.filePath(QString("h%1.grd").arg(h));
        field2D g(5, std::vector<double>(7));
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 7; ++i)
                g[j][i] = 100.0 * h + 10 * j + i;
        QVERIFY(write_surfer7_grid(path, g, fine));
        names << path;
    }
    FakeInteraction fake;
    MainWindow w;
    w.den_grid.assign(3, vector2D(3, std::vector<data_type>(4, 2.0f)));
    w.x_calc = {0, 100, 200, 300};
    w.y_calc = {0, 100, 200};
    w.z_calc = {0, 200, 400};
    w.minZ = 0, w.maxZ = 400, w.dz = 200;
    fake.openNameLists << names;
    w.on_open_horizon_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.horizons.size(), std::size_t(4));
    QCOMPARE(w.horizons_params, (std::vector<double>{4, 3, 0, 300, 0, 200}));
    for (int h = 1; h <= 3; ++h)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 4; ++i)
                QCOMPARE(w.horizons[h][j][i], 100.0 * h + 10 * (2 * j) + 2 * i);
    // Vertical parameters already set stay.
    QCOMPARE(w.maxZ, 400.0);
    QCOMPARE(w.dz, 200.0);
}

void TestFieldCommands::openHorizonsReportsAndGoesOn()
{
    QTemporaryDir dir;
    const QString good1 = dir.filePath("good1.grd"), good2 = dir.filePath("good2.grd"), junk = dir.filePath("junk.grd"),
                  other = dir.filePath("other.grd");
    QVERIFY(write_surfer7_grid(good1, field2D(3, std::vector<double>(4, 100.0)), {4, 3, 0, 3, 0, 2}));
    QVERIFY(write_surfer7_grid(good2, field2D(3, std::vector<double>(4, 200.0)), {4, 3, 0, 3, 0, 2}));
    QVERIFY(write_surfer7_grid(other, field2D(3, std::vector<double>(5, 150.0)), {5, 3, 0, 4, 0, 2}));
    QVERIFY(write_file(junk, "DSAA\n4 3\nnot numbers\n"));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNameLists << QStringList{good1, junk, other, good2};
    w.on_open_horizon_triggered();
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY2(fake.errors()[0].contains("junk.grd"), qPrintable(fake.errors()[0]));
    QCOMPARE(fake.errors()[1], QStringLiteral("All horizons must have the same size"));
    QCOMPARE(w.horizons.size(), std::size_t(3));
    QCOMPARE(w.horizons[2][0][0], 200.0);
}

void TestFieldCommands::openObservedField()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("obs.grd");
    const field2D field = make_field(6, 4, -20);
    QVERIFY(write_surfer7_grid(path, field, {6, 4, 1000, 1250, 2000, 2150}));
    FakeInteraction fake;
    MainWindow w;
    w.alpha_factor = 2;
    w.Vz_calculated = make_field(6, 4);
    fake.openNames << path;
    w.on_open_observed_field_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.grd"));
    QCOMPARE(w.Vz_observed, field);
    QCOMPARE(w.observed_params.size(), std::size_t(8));
    QCOMPARE(std::vector<double>(w.observed_params.begin(), w.observed_params.begin() + 6),
             (std::vector<double>{6, 4, 1000, 1250, 2000, 2150}));
    QCOMPARE(w.observed_params[6], grid_min(field));
    QCOMPARE(w.observed_params[7], grid_max(field));
    QCOMPARE(w.alpha_factor, 0.0);
    QCOMPARE(w.ui->observed_axes->plottableCount(), 1);  // the map is drawn
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
}

// Nodes without a finite value are read as they are and counted on the
// status line.
void TestFieldCommands::openObservedFieldCountsNonFiniteNodes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("obs.grd");
    field2D field = make_field(6, 4, -20);
    field[1][2] = std::numeric_limits<double>::quiet_NaN();
    field[3][5] = -std::numeric_limits<double>::infinity();
    QVERIFY(write_surfer7_grid(path, field, {6, 4, 1000, 1250, 2000, 2150}));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    fake.openNames << path;
    w.on_open_observed_field_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(std::isnan(w.Vz_observed[1][2]));
    QCOMPARE(w.progress_label->text(), QStringLiteral("cells read without a finite value (NaN or infinity): 2"));
}

void TestFieldCommands::failedObservedOpenKeepsTheField()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.Vz_observed = make_field(3, 3);
    w.observed_params = {3, 3, 0, 2, 0, 2};
    w.alpha_factor = 2;
    const QString junk = dir.filePath("junk.grd");
    QVERIFY(write_file(junk, "this is no grid"));
    // A file of another format reads the reader's own text, in either language.
    for (int language : {0, 1}) {
        w.language = language;
        fake.clear();
        fake.openNames << junk;
        w.on_open_observed_field_triggered();
        QCOMPARE(fake.errors(), QStringList{QStringLiteral("Unknown grid format. \nUse Surfer grid")});
    }
    for (const QString& path : {junk, dir.filePath("none.grd")}) {
        fake.clear();
        fake.openNames << path;
        w.on_open_observed_field_triggered();
        QCOMPARE(fake.errors().size(), 1);
        QCOMPARE(w.Vz_observed, make_field(3, 3));
        QCOMPARE(w.observed_params, (std::vector<double>{3, 3, 0, 2, 0, 2}));
        QCOMPARE(w.alpha_factor, 2.0);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }
    QVERIFY(fake.errors()[0].contains("none.grd"));
}

void TestFieldCommands::saveFields_data()
{
    QTest::addColumn<int>("kind");  // 0 calculated alone, 1 calculated with observed, 2 residual, 3 observed
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("caption");
    for (int text = 0; text < 2; ++text) {
        const QString f = text ? kTextFilter : kBinaryFilter;
        const char* k = text ? "text" : "binary";
        QTest::addRow("calculated, %s", k) << 0 << f << "Save Vz calc";
        QTest::addRow("calculated with observed mean, %s", k) << 1 << f << "Save Vz calc";
        QTest::addRow("residual, %s", k) << 2 << f << "Save dVz";
        QTest::addRow("observed, %s", k) << 3 << f << "Save Vz obs";
    }
}

void TestFieldCommands::saveFields()
{
    QFETCH(int, kind);
    QFETCH(QString, filter);
    QFETCH(QString, caption);
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    giveFields(w);
    if (kind == 0)
        w.Vz_observed.clear();
    const field2D calc = w.Vz_calculated, obs = w.Vz_observed;
    const QString path = dir.filePath("out.GRD");
    fake.saveNames << path;
    fake.saveFilters << filter;
    switch (kind) {
    case 0:
    case 1: w.on_save_calc_field_triggered(); break;
    case 2: w.on_save_deltaVz_triggered(); break;
    case 3: w.on_save_obs_field_triggered(); break;
    }
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    QCOMPARE(fake.fileRequests[0].caption, caption);
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("Surfer 7 Binary Grid (*.grd);; Surfer 6 Text Grid (*.grd);"));
    // The members are not changed by a save.
    QCOMPARE(w.Vz_calculated, calc);
    QCOMPARE(w.Vz_observed, obs);

    QCOMPARE(read_file(path).left(4), filter.contains("Text") ? QByteArray("DSAA") : QByteArray("DSRB"));
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(path, back, p));
    QCOMPARE(std::vector<double>(p.begin(), p.begin() + 6), (std::vector<double>{6, 4, 1000, 1250, 2000, 2150}));
    field2D expected;
    switch (kind) {
    case 0:
        expected = calc;
        break;
    case 1:
        expected = calc;
        for (auto& row : expected)
            for (double& v : row)
                v += mean(obs) - mean(calc);
        QVERIFY(std::fabs(mean(back) - mean(obs)) < 1e-9);
        break;
    case 2:
        expected = obs;
        for (std::size_t j = 0; j < expected.size(); ++j)
            for (std::size_t i = 0; i < expected[j].size(); ++i)
                expected[j][i] -= calc[j][i];
        {
            const double m = mean(expected);
            for (auto& row : expected)
                for (double& v : row)
                    v -= m;
        }
        QVERIFY(std::fabs(mean(back)) < 1e-9);
        break;
    case 3:
        expected = obs;
        break;
    }
    QVERIFY2(maxDifference(back, expected) < 1e-9, qPrintable(QString::number(maxDifference(back, expected))));
}

void TestFieldCommands::gdalReadsSavedFields_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("driver");
    QTest::newRow("Surfer 7") << kBinaryFilter << "GS7BG";
    QTest::newRow("Surfer 6 text") << kTextFilter << "GSAG";
}

void TestFieldCommands::gdalReadsSavedFields()
{
    QFETCH(QString, filter);
    QFETCH(QString, driver);
    if (tool("gdal_translate").isEmpty() || tool("gdalinfo").isEmpty())
        QSKIP("gdal-bin is not installed");
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    giveFields(w);
    using Slot = void (MainWindow::*)();
    const Slot saves[] = {&MainWindow::on_save_calc_field_triggered, &MainWindow::on_save_deltaVz_triggered,
                          &MainWindow::on_save_obs_field_triggered};
    const char* names[] = {"calc.grd", "residual.grd", "observed.grd"};
    field2D residual = w.Vz_observed;
    grid_subtract(residual, w.Vz_calculated);
    grid_add_scalar(residual, -grid_mean(residual));
    field2D calc = w.Vz_calculated;
    grid_add_scalar(calc, grid_mean(w.Vz_observed) - grid_mean(calc));
    const field2D expected[] = {calc, residual, w.Vz_observed};
    for (int s = 0; s < 3; ++s) {
        const QString path = dir.filePath(names[s]);
        fake.saveNames << path;
        fake.saveFilters << filter;
        (w.*saves[s])();
        GdalView view;
        QString log;
        QVERIFY2(gdalRead(path, view, &log), qPrintable(log));
        QCOMPARE(view.driver, driver);
        QCOMPARE(view.nx, 6);
        QCOMPARE(view.ny, 4);
        QVERIFY(std::fabs(view.x0 - 1000) < 1e-6 && std::fabs(view.dx - 50) < 1e-6);
        QVERIFY(std::fabs(view.ytop - 2150) < 1e-6 && std::fabs(view.dy + 50) < 1e-6);
        // GDAL writes and reads text values with 14 significant digits at most.
        const double tolerance = driver == "GSAG" ? 1e-10 : 0.0;
        QVERIFY2(maxDifference(view.values, expected[s]) <= tolerance,
                 qPrintable(QString("%1: %2").arg(names[s]).arg(maxDifference(view.values, expected[s]))));
    }
    QCOMPARE(fake.messages(), (QStringList{"Ok", "Ok", "Ok"}));
}

void TestFieldCommands::saveHorizons()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.horizons = {field2D(3, std::vector<double>(4, 0.0)), field2D(3, std::vector<double>(4, 100.0)),
                  field2D(3, std::vector<double>(4, 200.0)), field2D(3, std::vector<double>(4, 300.0))};
    w.horizons_params = {4, 3, 10, 40, 20, 60, 0, 300};
    w.layers_names = {"", "Sand", "", "Salt"};
    w.densities = {0, 0, 0, 0};
    w.fixed = {false, false, false, false};
    fake.saveNames << dir.filePath("model.grd");
    fake.saveFilters << kTextFilter;
    w.on_save_horizons_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("\n")));
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Save"));
    QCOMPARE(files_in(dir.path()), (QStringList{"model 1 Sand.grd", "model 2.grd", "model 3 Salt.grd"}));
    for (int i = 1; i <= 3; ++i) {
        const QString name = i == 1 ? "model 1 Sand.grd" : i == 2 ? "model 2.grd" : "model 3 Salt.grd";
        field2D back;
        std::vector<double> p;
        QVERIFY(read_surfer_grid(dir.filePath(name), back, p));
        QCOMPARE(back, w.horizons[std::size_t(i)]);
        QCOMPARE(std::vector<double>(p.begin(), p.begin() + 6), (std::vector<double>{4, 3, 10, 40, 20, 60}));
        QCOMPARE(read_file(dir.filePath(name)).left(4), QByteArray("DSAA"));
    }
}

void TestFieldCommands::hostileLayerNamesStayInTheFolder()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("out/sub"));
    const QString out = root.filePath("out/sub");
    FakeInteraction fake;
    MainWindow w;
    w.horizons = {field2D(2, std::vector<double>(2, 0.0)), field2D(2, std::vector<double>(2, 1.0)),
                  field2D(2, std::vector<double>(2, 2.0))};
    w.horizons_params = {2, 2, 0, 1, 0, 1};
    w.layers_names = {"", "../../escaped", "/tmp/abs"};
    fake.saveNames << out + "/m.grd";
    w.on_save_horizons_triggered();
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    QCOMPARE(files_in(out).size(), 2);
    QCOMPARE(files_in(root.filePath("out")), QStringList());
    QCOMPARE(files_in(root.path()), QStringList());
    QVERIFY(!QFile::exists("/tmp/abs.grd"));
}

void TestFieldCommands::residualNeedsFieldsOfOneSize_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("no calculated field") << 0;
    QTest::newRow("no observed field") << 1;
    QTest::newRow("other row count") << 2;
    QTest::newRow("other column count") << 3;
}

void TestFieldCommands::residualNeedsFieldsOfOneSize()
{
    QFETCH(int, fault);
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveFields(w);
    switch (fault) {
    case 0: w.Vz_calculated.clear(); break;
    case 1: w.Vz_observed.clear(); break;
    case 2: w.Vz_observed.pop_back(); break;
    case 3:
        for (auto& row : w.Vz_observed)
            row.pop_back();
        break;
    }
    fake.saveNames << "/tmp/never.grd";
    w.on_save_deltaVz_triggered();
    QCOMPARE(fake.errors(), QStringList{"Fields sizes does not match"});
    QVERIFY(fake.fileRequests.isEmpty());
    w.language = 0;
    fake.clear();
    w.on_save_deltaVz_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Размеры полей не совпадают")});
}

void TestFieldCommands::failedSaveIsReported()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveFields(w);
    w.horizons = {field2D(4, std::vector<double>(6, 0.0)), field2D(4, std::vector<double>(6, 50.0))};
    w.horizons_params = {6, 4, 1000, 1250, 2000, 2150};
    using Slot = void (MainWindow::*)();
    for (Slot save : {&MainWindow::on_save_calc_field_triggered, &MainWindow::on_save_deltaVz_triggered,
                      &MainWindow::on_save_obs_field_triggered, &MainWindow::on_save_horizons_triggered}) {
        // A folder that does not exist.
        fake.clear();
        fake.saveNames << dir.filePath("missing/f.grd");
        (w.*save)();
        QCOMPARE(fake.messages(), QStringList());
        QCOMPARE(fake.errors().size(), 1);
        QVERIFY2(fake.errors()[0].contains("missing"), qPrintable(fake.errors()[0]));
        // Another suffix: nothing written, the reason shown.
        fake.clear();
        fake.saveNames << dir.filePath("f.txt");
        (w.*save)();
        QCOMPARE(fake.messages(), QStringList());
        QCOMPARE(fake.errors().size(), 1);
        QVERIFY(fake.errors()[0].contains("f.txt"));
    }
    QCOMPARE(files_in(dir.path()), QStringList());

    // A grid Surfer cannot hold (one row) leaves the file that was there.
    const QString old = dir.filePath("old.grd");
    QVERIFY(write_file(old, "previous"));
    w.Vz_observed = {{1, 2, 3}};
    w.observed_params = {3, 1, 0, 2, 0, 0};
    fake.clear();
    fake.saveNames << old;
    w.on_save_obs_field_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains("old.grd"), qPrintable(fake.errors()[0]));
    QCOMPARE(read_file(old), QByteArray("previous"));
}

void TestFieldCommands::calculatedFieldWithoutNodes()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    giveFields(w);
    // A project holding a calculated field but no density grid: its own
    // record gives the nodes.
    w.den_grid.clear();
    w.x_calc.clear();
    w.y_calc.clear();
    fake.saveNames << dir.filePath("c.grd");
    w.on_save_calc_field_triggered();
    QCOMPARE(fake.messages(), QStringList{"Ok"});
    field2D back;
    std::vector<double> p;
    QVERIFY(read_surfer_grid(dir.filePath("c.grd"), back, p));
    QCOMPARE(p[2], 1000.0);
    // Without any record that fits the field nothing is written.
    w.calculated_params = {7, 4, 0, 1, 0, 1};
    fake.clear();
    fake.saveNames << dir.filePath("d.grd");
    w.on_save_calc_field_triggered();
    QCOMPARE(fake.messages(), QStringList());
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(!QFile::exists(dir.filePath("d.grd")));
}

void TestFieldCommands::nothingToSaveEndsSilently()
{
    FakeInteraction fake;
    MainWindow w;
    w.on_save_calc_field_triggered();
    w.on_save_obs_field_triggered();
    w.on_save_horizons_triggered();
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(fake.fileRequests.isEmpty());
    // A cancelled dialog does nothing either.
    giveFields(w);
    w.on_save_calc_field_triggered();
    w.on_save_deltaVz_triggered();
    w.on_save_obs_field_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(fake.fileRequests.size(), 3);
    fake.openNames.clear();
    w.on_open_observed_field_triggered();
    w.on_open_horizon_triggered();
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(w.horizons.empty());
}

void TestFieldCommands::opensRefusedWhileARunIsActive()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.grd");
    QVERIFY(write_surfer7_grid(path, make_field(4, 3), {4, 3, 0, 3, 0, 2}));
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    RunGuard run(&w, RunKind::Inversion);
    QVERIFY(bool(run));
    fake.openNames << path;
    fake.openNameLists << QStringList{path};
    w.on_open_observed_field_triggered();
    w.on_open_horizon_triggered();
    QCOMPARE(fake.errors().size(), 2);
    QVERIFY(fake.fileRequests.isEmpty());
    QVERIFY(w.Vz_observed.empty());
    QVERIFY(w.horizons.empty());
}

QTEST_MAIN(TestFieldCommands)
#include "tst_fieldcmds.moc"
