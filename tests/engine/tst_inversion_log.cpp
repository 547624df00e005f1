// The inversion log on the main window, offscreen: "log.txt" with its start
// line, header and iteration lines, the per-iteration calculated and
// residual grids and model cubes, read back with the program's own readers
// and the Surfer grids also with GDAL; logging off, repeated runs, a stop,
// and failed writes reported.
#include "../formats/format_test_support.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "common/grid_helpers.h"
#include "engine/field_stats.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/inversion_log.h"
#include "engine/inversion_parameters.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "formats/cube_file.h"
#include "formats/surfer_grid.h"
#include "window_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace inversion_record;
using namespace windowtest;

namespace {

const int NX = 12, NY = 10, NZ = 4;

// An observed field of two bodies and a non-zero starting model.
void give_problem(MainWindow& w)
{
    w.x_calc = nodes(NX, 10000, 100);
    w.y_calc = nodes(NY, 20000, 100);
    w.z_calc = nodes(NZ, 0, 50);
    w.calc_height = -20;
    w.expansion_factor = 0.5;
    w.store_eff = true;
    w.den_grid.assign(NZ, vector2D(NY, std::vector<float>(NX, 0.0f)));
    for (int j = NY / 4; j < NY / 2; ++j)
        for (int i = NX / 4; i < NX / 2; ++i)
            w.den_grid[1][j][i] = 0.3f;
    w.den_grid[NZ - 1][3 * NY / 4][3 * NX / 4] = -0.4f;
    ForwardGeometry g;
    if (forward_geometry(w.den_grid, w.x_calc, w.y_calc, w.z_calc, w.calc_height, 0.5, g) != ForwardStatus::Completed)
        qFatal("geometry refused");
    forward_without_store(w.den_grid, g, w.Vz_observed, 1);
    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                w.den_grid[k][j][i] = 0.01f * k + 0.002f * j - 0.001f * i;
    w.effects.clear();
    w.alpha_factor = 0;
}

std::vector<double> record(int iterations_count, double power = 1)
{
    return grid_inversion_record(iterations_count, power);
}

QStringList log_lines(const QString& dir)
{
    QFile f(inversion_log::log_file_path(dir));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

const QString header = QStringLiteral("N_iter RMSE(mGal) Min_delta(mGal) Max_delta(mGal) t(s)");

bool is_start_line(const QString& line)
{
    static const QRegularExpression re(QStringLiteral("^start at (\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return false;
    const QDateTime when = QDateTime::fromString(m.captured(1), QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    return when.isValid() && std::abs(when.secsTo(QDateTime::currentDateTime())) < 600;
}

double grid_rms(const field2D& g)
{
    double s = 0;
    int n = 0;
    for (const auto& r : g)
        for (double v : r)
            s += v * v, ++n;
    return std::sqrt(s / n);
}

bool close_to(double a, double b, double relative)
{
    return std::fabs(a - b) <= relative * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

// Same value when both are written with six significant digits.
bool same_6_digits(double written, double exact)
{
    return QString::number(exact, 'g', 6).toDouble() == written;
}

QString tool(const char* name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

// GDAL's view of a Surfer grid: driver, size, node centres and values
// ([row from the smallest y][column]).
struct GdalGrid {
    QString driver;
    int nx = 0, ny = 0;
    double x0 = 0, dx = 0, ytop = 0, dy = 0;
    field2D values;
};

bool gdal_read(const QString& path, GdalGrid& g, QString* log)
{
    QString json;
    if (!fmt_test::run(tool("gdalinfo"), {"-json", path}, &json, log))
        return false;
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    g.driver = o["driverShortName"].toString();
    g.nx = o["size"].toArray()[0].toInt();
    g.ny = o["size"].toArray()[1].toInt();
    const QJsonArray gt = o["geoTransform"].toArray();
    g.dx = gt[1].toDouble();
    g.dy = gt[5].toDouble();
    g.x0 = gt[0].toDouble() + 0.5 * g.dx;
    g.ytop = gt[3].toDouble() + 0.5 * g.dy;
    const QString raw = path + ".raw";
    const bool translated =
        fmt_test::run(tool("gdal_translate"), {"-q", "-of", "ENVI", "-ot", "Float64", path, raw}, nullptr, log);
    const QByteArray bytes = fmt_test::read_file(raw);
    QFile::remove(raw);
    QFile::remove(raw + ".aux.xml");
    QFile::remove(path + ".hdr");
    QFile::remove(QFileInfo(raw).path() + "/" + QFileInfo(raw).completeBaseName() + ".hdr");
    if (!translated || bytes.size() != g.nx * g.ny * 8)
        return false;
    g.values.assign(g.ny, std::vector<double>(g.nx));
    for (int l = 0; l < g.ny; ++l)
        for (int j = 0; j < g.nx; ++j)
            g.values[g.ny - 1 - l][j] = fmt_test::double_at_le(bytes, (l * g.nx + j) * 8);
    return true;
}

QStringList files(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QStringList expected_files(int last)
{
    QStringList names{"log.txt"};
    for (int n = 0; n <= last; ++n)
        names << QString("calc Vz iter %1.grd").arg(n) << QString("dVz iter %1.grd").arg(n)
              << QString("Density Iter %1.3Dgrd").arg(n);
    names.sort();
    return names;
}

} // namespace

class TestInversionLog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake.reset(new FakeInteraction);
        w.reset(new MainWindow);
        w->language = 1;
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        path = dir->path();
    }
    void cleanup()
    {
        w.reset();
        fake.reset();
        dir.reset();
    }

    void pureTexts();
    void threeIterationsLogged();
    void surferGridsReadByGdal();
    void loggingOffWritesTheHeaderOnly();
    void repeatedRunsAppend();
    void stopLeavesTheModelWithoutALine();
    void dialogGivesTheLogSettings();
    void failedWritesAreReported();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<QTemporaryDir> dir;
    QString path;
};

void TestInversionLog::pureTexts()
{
    QCOMPARE(inversion_log::start_text(QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1))),
             QString("start at 07.03.2024 09:05:01\n") + header + "\n");
    QCOMPARE(inversion_log::iteration_line(0, 0.532117123, -1.25, 2.5, 0), QString("0 0.532117 -1.25 2.5 0\n"));
    QCOMPARE(inversion_log::iteration_line(12, 1.5e-05, -3e7, 1234567.8, 0.25),
             QString("12 1.5e-05 -3e+07 1.23457e+06 0.25\n"));
    QCOMPARE(inversion_log::calculated_grid_path("/d", 3), QString("/d/calc Vz iter 3.grd"));
    QCOMPARE(inversion_log::residual_grid_path("/d", 10), QString("/d/dVz iter 10.grd"));
    QCOMPARE(inversion_log::model_cube_path("/d", 0), QString("/d/Density Iter 0.3Dgrd"));

    // The extremes of the mean-free residual: here observed - calculated is
    // {-3, -1, 0, 4}, its mean 0.
    const field2D observed{{1, 2}, {3, 4}};
    const field2D calculated{{4, 3}, {3, 0}};
    const auto e = inversion_log::residual_extremes(observed, calculated);
    QCOMPARE(e.smallest, -3.0);
    QCOMPARE(e.largest, 4.0);
    // A constant shift of the calculated field changes nothing.
    field2D shifted = calculated;
    grid_add_scalar(shifted, 100);
    const auto s = inversion_log::residual_extremes(observed, shifted);
    QCOMPARE(s.smallest, -3.0);
    QCOMPARE(s.largest, 4.0);
    QCOMPARE(inversion_log::shifted_calculated(observed, shifted), (field2D{{4, 3}, {3, 0}}));
    QCOMPARE(inversion_log::mean_free_residual(observed, shifted), (field2D{{-3, -1}, {0, 4}}));

    // The model window of a padded model.
    const vector3D padded{{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}};
    QCOMPARE(inversion_log::model_window(padded, 2, 1, 1, 1), (vector3D{{{5, 6}}}));
    QVERIFY(inversion_log::model_window(padded, 3, 1, 1, 1).empty());
}

void TestInversionLog::threeIterationsLogged()
{
    give_problem(*w);
    const vector3D initial = w->den_grid;
    w->setLogParams(path, true);
    w->start_inversion(record(3));
    QVERIFY(fake->errors().isEmpty());

    QCOMPARE(files(path), expected_files(3));

    const QStringList lines = log_lines(path);
    QCOMPARE(lines.size(), 2 + 4);
    QVERIFY2(is_start_line(lines[0]), qPrintable(lines[0]));
    QCOMPARE(lines[1], header);
    double previous_time = 0;
    for (int n = 0; n <= 3; ++n) {
        const QStringList f = lines[2 + n].split(' ');
        QCOMPARE(f.size(), 5);
        QCOMPARE(f[0], QString::number(n));
        const double rms = f[1].toDouble(), lo = f[2].toDouble(), hi = f[3].toDouble(), t = f[4].toDouble();
        if (n == 0)
            QCOMPARE(f[4], QString("0"));
        QVERIFY(t >= previous_time);
        previous_time = t;

        // The two grids of the iteration, read back.
        field2D calc, resid;
        std::vector<double> calc_params, resid_params;
        QVERIFY(read_surfer_grid(inversion_log::calculated_grid_path(path, n), calc, calc_params));
        QVERIFY(read_surfer_grid(inversion_log::residual_grid_path(path, n), resid, resid_params));
        const std::vector<double> geometry{NX, NY, 10000, 11100, 20000, 20900};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(calc_params[i], geometry[i]);
            QCOMPARE(resid_params[i], geometry[i]);
        }
        // The calculated grid carries the observed mean; with the residual
        // it adds up to the observed field.
        QVERIFY(close_to(grid_mean(calc), grid_mean(w->Vz_observed), 1e-12));
        QVERIFY(std::fabs(grid_mean(resid)) < 1e-12 * grid_max(w->Vz_observed));
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                QVERIFY(close_to(calc[j][i] + resid[j][i], w->Vz_observed[j][i], 1e-12));
        // The line describes the same mean-free residual.
        QVERIFY2(same_6_digits(lo, grid_min(resid)), qPrintable(lines[2 + n]));
        QVERIFY2(same_6_digits(hi, grid_max(resid)), qPrintable(lines[2 + n]));
        QVERIFY2(same_6_digits(rms, grid_rms(resid)), qPrintable(lines[2 + n]));

        // The model of the iteration: only the model window, with the
        // density grid's nodes.
        vector3D cube;
        std::vector<double> x, y, z;
        QVERIFY(read_cube_file(inversion_log::model_cube_path(path, n), cube, x, y, z));
        QCOMPARE(x, w->x_calc);
        QCOMPARE(y, w->y_calc);
        QCOMPARE(z, w->z_calc);
        QCOMPARE(int(cube.size()), NZ);
        QCOMPARE(int(cube[0].size()), NY);
        QCOMPARE(int(cube[0][0].size()), NX);
        if (n == 0)
            QCOMPARE(cube, initial);
        if (n == 3)
            for (int k = 0; k < NZ; ++k)
                for (int j = 0; j < NY; ++j)
                    for (int i = 0; i < NX; ++i)
                        QVERIFY(std::fabs(cube[k][j][i] - w->den_grid[k][j][i]) < 1e-5);
    }
    // The misfit falls from the starting model.
    QVERIFY(lines[5].split(' ')[1].toDouble() < lines[2].split(' ')[1].toDouble());
}

void TestInversionLog::surferGridsReadByGdal()
{
    if (tool("gdal_translate").isEmpty() || tool("gdalinfo").isEmpty())
        QSKIP("gdal-bin is not installed");
    give_problem(*w);
    w->setLogParams(path, true);
    w->start_inversion(record(3));
    QVERIFY(fake->errors().isEmpty());
    for (int n = 0; n <= 3; ++n)
        for (const QString& file :
             {inversion_log::calculated_grid_path(path, n), inversion_log::residual_grid_path(path, n)}) {
            field2D ours;
            std::vector<double> params;
            QVERIFY(read_surfer_grid(file, ours, params));
            GdalGrid g;
            QString log;
            QVERIFY2(gdal_read(file, g, &log), qPrintable(log));
            QCOMPARE(g.driver, QString("GS7BG"));
            QCOMPARE(g.nx, NX);
            QCOMPARE(g.ny, NY);
            QVERIFY(close_to(g.x0, 10000, 1e-12));
            QVERIFY(close_to(g.dx, 100, 1e-12));
            QVERIFY(close_to(g.ytop, 20900, 1e-12));
            QVERIFY(close_to(g.dy, -100, 1e-12));
            QCOMPARE(g.values, ours);
        }
}

// Logging off with a directory: each confirmed dialog still adds the start
// line and the header, and nothing else is written.
void TestInversionLog::loggingOffWritesTheHeaderOnly()
{
    give_problem(*w);
    w->setLogParams(path, false);
    w->start_inversion(record(2));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(files(path), QStringList{"log.txt"});
    const QStringList lines = log_lines(path);
    QCOMPARE(lines.size(), 2);
    QVERIFY(is_start_line(lines[0]));
    QCOMPARE(lines[1], header);
}

// Runs append to the same log; files of a later run replace those with the
// same numbers.
void TestInversionLog::repeatedRunsAppend()
{
    give_problem(*w);
    w->setLogParams(path, true);
    w->start_inversion(record(3));
    QByteArray first_cube = fmt_test::read_file(inversion_log::model_cube_path(path, 1));

    w->setLogParams(path, true);
    w->start_inversion(record(1));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(files(path), expected_files(3));
    const QStringList lines = log_lines(path);
    QCOMPARE(lines.size(), 6 + 4);
    QVERIFY(is_start_line(lines[6]));
    QCOMPARE(lines[7], header);
    QVERIFY(lines[8].startsWith("0 "));
    QVERIFY(lines[9].startsWith("1 "));
    // The second run's iteration 1 started from the first run's result.
    QVERIFY(fmt_test::read_file(inversion_log::model_cube_path(path, 1)) != first_cube);
    vector3D cube;
    std::vector<double> x, y, z;
    QVERIFY(read_cube_file(inversion_log::model_cube_path(path, 1), cube, x, y, z));
    for (int k = 0; k < NZ; ++k)
        for (int j = 0; j < NY; ++j)
            for (int i = 0; i < NX; ++i)
                QVERIFY(std::fabs(cube[k][j][i] - w->den_grid[k][j][i]) < 1e-5);
}

// A stop during iteration 2 leaves the model file of iteration 2 without a
// log line or grids for it.
void TestInversionLog::stopLeavesTheModelWithoutALine()
{
    give_problem(*w);
    w->setLogParams(path, true);
    bool pressed = false;
    while_running(
        [&] {
            if (!pressed && w->progress_label && w->progress_label->text() == "Iter 2 - 95 %") {
                pressed = true;
                w->ui->inversion->trigger();
            }
        },
        [&] { w->start_inversion(record(10)); });
    QVERIFY(pressed);
    QVERIFY(fake->errors().isEmpty());
    QStringList expected = expected_files(1) << "Density Iter 2.3Dgrd";
    expected.sort();
    QCOMPARE(files(path), expected);
    const QStringList lines = log_lines(path);
    QCOMPARE(lines.size(), 2 + 2);
    QVERIFY(lines[3].startsWith("1 "));
}

// The dialog hands its directory and check box to the window before the run.
void TestInversionLog::dialogGivesTheLogSettings()
{
    give_problem(*w);
    w->log_dir = path;
    w->save_log = false;
    QVERIFY(answer_inversion_dialog(
        [](inversion_parameters* d) {
            d->findChild<QLineEdit*>("input_N_iter")->setText("2");
            d->findChild<QCheckBox*>("log_checkbox")->setChecked(true);
        },
        true, [&] { w->on_inversion_triggered(); }));
    QVERIFY(fake->errors().isEmpty());
    QVERIFY(w->save_log);
    QCOMPARE(w->log_dir, path);
    QCOMPARE(files(path), expected_files(2));
    QCOMPARE(log_lines(path).size(), 2 + 3);
}

void TestInversionLog::failedWritesAreReported()
{
    give_problem(*w);
    // A directory that does not exist: logging off gives no message, logging
    // on reports the log file once for the whole run, which still completes.
    QString missing = path + "/missing";
    w->setLogParams(missing, false);
    QVERIFY(fake->errors().isEmpty());
    w->setLogParams(missing, true);
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY(fake->errors()[0].contains("log.txt"));
    const vector3D before = w->den_grid;
    w->start_inversion(record(2));
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY(w->den_grid != before);
    QVERIFY(!QDir(missing).exists());

    // A grid that cannot replace what stands in its place is reported; the
    // log line and the other files of the iteration are written.
    give_problem(*w);
    QVERIFY(QDir(path).mkdir("calc Vz iter 1.grd"));
    w->setLogParams(path, true);
    QCOMPARE(fake->errors().size(), 1);
    w->start_inversion(record(2));
    QCOMPARE(fake->errors().size(), 2);
    QVERIFY(fake->errors()[1].contains("calc Vz iter 1.grd"));
    QVERIFY(QFileInfo(path + "/dVz iter 1.grd").isFile());
    QVERIFY(QFileInfo(path + "/calc Vz iter 2.grd").isFile());
    QCOMPARE(log_lines(path).size(), 2 + 3);
    // Russian texts in Russian.
    w->language = 0;
    w->setLogParams(missing, true);
    QCOMPARE(fake->errors().size(), 3);
    QVERIFY(fake->errors()[2].startsWith(QString::fromUtf8("Не удалось записать файл журнала инверсии ")));
}

QTEST_MAIN(TestInversionLog)
#include "tst_inversion_log.moc"
