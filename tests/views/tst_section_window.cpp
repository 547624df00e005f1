// The vertical section from the main window, offscreen: the dialog opened
// through the interaction layer and closed by the test, the sections,
// horizons and profiles the extraction hands it (checked against a sampler
// written out here from the rule), the lines it refuses, the remembered line
// and depth choice, and the section exports read back by the program's own
// readers and by GDAL.
#include <QtTest>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "common/grid_helpers.h"
#include "fake_interaction.h"
#include "views_test_support.h"
#include "formats/bln.h"
#include "formats/surfer_grid.h"
#include "views/horizontalslicedialog.h"
#include "views/view3d_rules.h"

namespace {

using namespace views_test;

// The section sampling rule written out plainly: the node pair around the
// point on each axis (nearest or truncated), clamped, and the four nodes
// weighted by 1 / sqrt(d^2 + 1e-6).
double reference(const std::function<double(int, int)>& v, double gx0, double gdx, int nx, double gy0, double gdy,
                 int ny, double x, double y, bool nearest)
{
    const double sx = nearest ? 0.5 * gdx : 0, sy = nearest ? 0.5 * gdy : 0;
    const int c0 = int((x - gx0 + sx) / gdx), r0 = int((y - gy0 + sy) / gdy);
    const int cols[2] = {std::clamp(c0, 0, nx - 1), std::clamp(c0 + 1, 0, nx - 1)};
    const int rows[2] = {std::clamp(r0, 0, ny - 1), std::clamp(r0 + 1, 0, ny - 1)};
    double sum = 0, wsum = 0;
    for (int r : rows)
        for (int c : cols) {
            const double dx = x - (gx0 + c * gdx), dy = y - (gy0 + r * gdy);
            const double w = 1 / std::sqrt(dx * dx + dy * dy + 1e-6);
            sum += w * v(c, r);
            wsum += w;
        }
    return sum / wsum;
}

// Sample i of the line: (x1 + i s ux, y1 + i s uy).
void samplePoint(const std::vector<double>& line, int i, double& x, double& y)
{
    const double L = std::hypot(line[1] - line[0], line[3] - line[2]);
    x = line[0] + i * line[4] * ((line[1] - line[0]) / L);
    y = line[2] + i * line[4] * ((line[3] - line[2]) / L);
}

float cellValue(int k, int j, int i)
{
    return float(2.0 + 0.1 * k + 0.01 * j + 0.001 * i + 1e-4 * std::sin(double(7 * i + 3 * j + k)));
}

// nz levels at depths 0, 250, ...; ny rows from y = 5000 step 100; nx
// columns from x = 1000 step 50.
void giveDensity(MainWindow& w, int nz = 3, int ny = 4, int nx = 5)
{
    giveDensityCube(w, nodes(nx, 1000, 50), nodes(ny, 5000, 100), nodes(nz, 0, 250), cellValue);
}

// A field a + b x + c y + small wiggle on the given geometry.
field2D giveField(const std::vector<double>& g, double a, double b, double c)
{
    const int nx = int(g[0]), ny = int(g[1]);
    const double dx = (g[3] - g[2]) / (nx - 1), dy = (g[5] - g[4]) / (ny - 1);
    field2D f(ny, std::vector<double>(nx));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            f[j][i] = a + b * (g[2] + i * dx) + c * (g[4] + j * dy) + 0.01 * std::cos(double(i * 5 + j));
    return f;
}

bool near(double a, double b, double tol = 1e-9) { return std::fabs(a - b) <= tol * std::max(1.0, std::fabs(b)); }

QLineEdit* field(QDialog* d, const char* name) { return d->findChild<QLineEdit*>(QString::fromLatin1(name)); }
QPushButton* button(QDialog* d, const char* name) { return d->findChild<QPushButton*>(QString::fromLatin1(name)); }

// Types the line into the dialog's fields and presses Enter in the step field.
void typeLine(QDialog* d, const QString& xs, const QString& xe, const QString& ys, const QString& ye,
              const QString& step)
{
    field(d, "xmin")->setText(xs);
    field(d, "xmax")->setText(xe);
    field(d, "ymin")->setText(ys);
    field(d, "ymax")->setText(ye);
    field(d, "dx")->setText(step);
    QTest::keyClick(field(d, "dx"), Qt::Key_Return);
}

// The red section line on the dialog's map: start x, end x, start y, end y.
QVector<double> redLine(HorizontalSliceDialog* d)
{
    QCustomPlot* map = d->mapPlot();
    for (int i = 0; i < map->plottableCount(); ++i) {
        auto* c = qobject_cast<QCPCurve*>(map->plottable(i));
        if (c && c->pen().color() == QColor(Qt::red) && c->data()->size() == 2)
            return {c->data()->at(0)->key, c->data()->at(1)->key, c->data()->at(0)->value, c->data()->at(1)->value};
    }
    return {};
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

}  // namespace

class TestSectionWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyGridRefused_data();
    void emptyGridRefused();
    void openingFillsTheDialog();
    void modalRunClosedByTheTest();
    void densityColourRange_data();
    void densityColourRange();
    void otherCubesAndTheirRanges();
    void regularizerRange_data();
    void regularizerRange();
    void horizonDepths();
    void fieldProfiles_data();
    void fieldProfiles();
    void refusedLines_data();
    void refusedLines();
    void crossingsFollowTheSampledLine();
    void shortLinesGiveOneSample_data();
    void shortLinesGiveOneSample();
    void flatCubeGetsAWidenedRange();
    void lineAndDepthTypeRemembered();
    void singleNodeGrid();
    void faultsReachTheDialog();

    void exportEverything_data();
    void exportEverything();
    void gdalReadsTheSectionGrid();
    void exportOnlyCalculated();
    void exportNames();
    void exportCancelled();
    void exportFailureReported();
    void emptySliceRefused();

private:
    // Opens the section; `work` runs while the dialog is up (then it is rejected).
    void openSection(MainWindow& w, const std::function<void(HorizontalSliceDialog*)>& work);

    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestSectionWindow::init()
{
    fake.reset(new FakeInteraction);
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void TestSectionWindow::cleanup()
{
    fake.reset();
    dir.reset();
}

void TestSectionWindow::openSection(MainWindow& w, const std::function<void(HorizontalSliceDialog*)>& work)
{
    bool ran = false;
    fake->onDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<HorizontalSliceDialog*>(d);
        ran = dialog != nullptr;
        if (dialog) {
            if (w.section_dialog != dialog)
                qWarning("section_dialog is not the dialog that runs");
            work(dialog);
        }
        return int(QDialog::Rejected);
    };
    w.on_exportVerticalSlice_triggered();
    fake->onDialog = nullptr;
    QVERIFY(ran);
}

// ---------------------------------------------------------------------------

void TestSectionWindow::emptyGridRefused_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::newRow("English") << 1 << QString("3D density grid is empty");
    QTest::newRow("Russian") << 0 << QString::fromUtf8("3D грид плотности пуст");
}

void TestSectionWindow::emptyGridRefused()
{
    QFETCH(int, language);
    QFETCH(QString, message);
    MainWindow w;
    w.language = language;
    w.Vp_grid.assign(2, vector2D(2, std::vector<data_type>(2, 1)));  // other data do not count
    w.on_exportVerticalSlice_triggered();
    QCOMPARE(fake->errors(), QStringList{message});
    QVERIFY(fake->dialogs.isEmpty());
    QVERIFY(!w.section_dialog);
    QVERIFY(w.findChildren<HorizontalSliceDialog*>().isEmpty());
}

void TestSectionWindow::openingFillsTheDialog()
{
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    QPointer<HorizontalSliceDialog> seen;
    openSection(w, [&](HorizontalSliceDialog* d) {
        seen = d;
        QVERIFY(d->parent() == &w);
        QCOMPARE(d->windowTitle(), QString("Slices export"));
        QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
        // The default line: the model's diagonal, the smaller node step.
        QCOMPARE(field(d, "xmin")->text(), QString("1000"));
        QCOMPARE(field(d, "xmax")->text(), QString("1200"));
        QCOMPARE(field(d, "ymin")->text(), QString("5000"));
        QCOMPARE(field(d, "ymax")->text(), QString("5300"));
        QCOMPARE(field(d, "dx")->text(), QString("50"));
        // sqrt(200^2 + 300^2) = 360.6: seven samples every 50 m.
        const std::vector<std::vector<double>>& s = d->densitySection();
        QCOMPARE(int(s.size()), 3);
        QCOMPARE(int(s[0].size()), 7);
        QCOMPARE(d->densityParams(), (std::vector<double>{7, 3, 0, 300, 0, 500}));
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 7; ++i) {
                double x, y;
                samplePoint({1000, 1200, 5000, 5300, 50}, i, x, y);
                const double r = reference([&](int c, int row) { return double(w.den_grid[k][row][c]); }, 1000,
                                           50, 5, 5000, 100, 4, x, y, true);
                QVERIFY2(near(s[k][i], r, 1e-12), qPrintable(QString("%1 %2: %3 %4").arg(k).arg(i).arg(s[k][i]).arg(r)));
            }
        // The outline of the model on the map, and the section drawn.
        QCOMPARE(d->mapPlot()->xAxis->range().center(), 1100.0);
        QVERIFY(d->sectionColorScale()->visible());
        QCOMPARE(d->findChild<QComboBox*>("depthType")->currentIndex(), 0);
    });
    QCOMPARE(fake->dialogs, QStringList{"HorizontalSliceDialog"});
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w.section_line, (std::vector<double>{1000, 1200, 5000, 5300, 50}));
    // Closed: it deletes itself and the window holds nothing of it.
    QVERIFY(!w.section_dialog);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(seen.isNull());
}

void TestSectionWindow::modalRunClosedByTheTest()
{
    MainWindow w;
    giveDensity(w);
    QPointer<QWidget> modal;
    QString modalClass;
    bool timedOut = false;
    fake->onDialog = [&](QDialog* d) {
        QElapsedTimer clock;
        clock.start();
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                modal = m;
                modalClass = QString::fromLatin1(m->metaObject()->className());
                m->close();
            } else if (clock.elapsed() > 10000) {
                timedOut = true;
                d->reject();
            }
        });
        poll.start();
        return d->exec();
    };
    w.on_exportVerticalSlice_triggered();
    fake->onDialog = nullptr;
    QVERIFY(!timedOut);
    QCOMPARE(modalClass, QString("HorizontalSliceDialog"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(modal.isNull());
    QVERIFY(!w.section_dialog);
}

// The density section takes the manual colour range only when it was set
// for densities; a range typed while another cube was shown does not apply.
void TestSectionWindow::densityColourRange_data()
{
    QTest::addColumn<QString>("shown");  // what the 3D view showed when the range was set
    QTest::addColumn<bool>("manual");
    QTest::newRow("automatic") << QString() << false;
    QTest::newRow("set for the density cube") << "dens" << true;
    QTest::newRow("set for the Vp cube") << "Vp" << false;
    QTest::newRow("set for horizons coloured by density") << "horizons" << true;
}

void TestSectionWindow::densityColourRange()
{
    QFETCH(QString, shown);
    QFETCH(bool, manual);
    MainWindow w;
    giveDensity(w);
    w.Vp_grid.assign(3, vector2D(4, std::vector<data_type>(5, 3000.f)));
    w.Vp_grid[2][3][4] = 6000.f;
    w.x_vp = w.x_calc, w.y_vp = w.y_calc, w.z_vp = w.z_calc;
    w.cube_gradient = QCPColorGradient(QCPColorGradient::gpGrayscale);
    std::vector<double> range{1.5, 2.5};
    if (shown == "dens") {
        w.on_view_dens_triggered();
    } else if (shown == "Vp") {
        w.on_view_Vp_triggered();
        range = {2000, 6000};
    } else if (shown == "horizons") {
        w.horizons = {field2D(4, std::vector<double>(5, 0.0)), field2D(4, std::vector<double>(5, 300.0))};
        w.horizons_params = {5, 4, w.x_calc.front(), w.x_calc.back(), w.y_calc.front(), w.y_calc.back()};
        w.on_view_horizons_triggered();
        w.on_color_by_density_triggered();
    }
    if (!shown.isEmpty())
        w.setModelCaxis(range);
    const QCPRange expected = manual ? QCPRange(range[0], range[1])
                                     : QCPRange(double(w.den_grid[0][0][0]), double(w.den_grid[2][3][4]));
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(d->sectionColorScale()->dataRange(), expected);
        QCOMPARE(d->sectionColorScale()->gradient(), QCPColorGradient(QCPColorGradient::gpGrayscale));
    });
}

void TestSectionWindow::otherCubesAndTheirRanges()
{
    MainWindow w;
    giveDensity(w);
    // A Vp cube on its own nodes: 2 levels, 3 rows, 6 columns from x = 900 step 60.
    w.Vp_grid.assign(2, vector2D(3, std::vector<data_type>(6)));
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 6; ++i)
                w.Vp_grid[k][j][i] = float(3000 + 500 * k + 10 * i + 7 * j);
    w.x_vp = {900, 960, 1020, 1080, 1140, 1200};
    w.y_vp = {4950, 5100, 5250};
    w.z_vp = {0, 400};
    w.Vs_grid = w.Vp_grid;
    w.x_vs = w.x_vp, w.y_vs = w.y_vp, w.z_vs = w.z_vp;
    grid_scale(w.Vs_grid, 0.5);
    openSection(w, [&](HorizontalSliceDialog* d) {
        d->showVp();
        auto* map = qobject_cast<QCPColorMap*>(d->sectionPlot()->plottable(0));
        QVERIFY(map);
        QCOMPARE(map->data()->valueSize(), 2);
        QCOMPARE(map->data()->keySize(), 7);
        QCOMPARE(map->data()->valueRange(), QCPRange(0, 400));
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < 7; ++i) {
                double x, y;
                samplePoint({1000, 1200, 5000, 5300, 50}, i, x, y);
                const double r = reference([&](int c, int row) { return double(w.Vp_grid[k][row][c]); }, 900, 60, 6,
                                           4950, 150, 3, x, y, false);
                QVERIFY2(near(map->data()->cell(i, k), r, 1e-12), qPrintable(QString("%1 %2").arg(k).arg(i)));
            }
        // Colour limits: the whole cube's extremes.
        QCOMPARE(d->sectionColorScale()->dataRange(), QCPRange(3000, 3564));
        d->showVs();
        QCOMPARE(d->sectionColorScale()->dataRange(), QCPRange(1500, 1782));
    });
}

void TestSectionWindow::regularizerRange_data()
{
    QTest::addColumn<float>("smallest");
    QTest::addColumn<double>("lower");
    QTest::newRow("no negative cells") << 0.0f << 0.0;
    QTest::newRow("a negative cell") << -0.25f << -1.0;
}

void TestSectionWindow::regularizerRange()
{
    QFETCH(float, smallest);
    QFETCH(double, lower);
    MainWindow w;
    giveDensity(w);
    w.regularizer.assign(3, vector2D(4, std::vector<data_type>(5, 0.5f)));
    w.regularizer[1][2][3] = smallest;
    w.x_reg = w.x_calc, w.y_reg = w.y_calc, w.z_reg = w.z_calc;
    openSection(w, [&](HorizontalSliceDialog* d) {
        d->showR();
        QCOMPARE(d->sectionColorScale()->dataRange(), QCPRange(lower, 1));
    });
}

void TestSectionWindow::horizonDepths()
{
    MainWindow w;
    giveDensity(w);
    // Horizons 0 .. 3 on a coarser lattice: 3 columns, 2 rows.
    w.horizons_params = {3, 2, 1000, 1200, 5000, 5300};
    w.horizons.clear();
    for (int h = 0; h < 4; ++h)
        w.horizons.push_back(giveField(w.horizons_params, 100.0 * h, 0.2, 0.05));
    openSection(w, [&](HorizontalSliceDialog* d) {
        const std::vector<std::vector<double>>& rows = d->horizonDepths();
        QCOMPARE(int(rows.size()), 3);
        for (int h = 1; h < 4; ++h) {
            QCOMPARE(int(rows[h - 1].size()), 7);
            for (int i = 0; i < 7; ++i) {
                double x, y;
                samplePoint({1000, 1200, 5000, 5300, 50}, i, x, y);
                const double r =
                    reference([&](int c, int row) { return w.horizons[h][row][c]; }, 1000, 100, 3, 5000, 300, 2, x, y,
                              false);
                QVERIFY(near(rows[h - 1][i], r, 1e-12));
            }
        }
        QCOMPARE(d->sectionPlot()->graphCount(), 3);
    });
}

void TestSectionWindow::fieldProfiles_data()
{
    QTest::addColumn<bool>("calc");
    QTest::addColumn<bool>("obs");
    QTest::newRow("both") << true << true;
    QTest::newRow("observed only") << false << true;
    QTest::newRow("calculated only") << true << false;
    QTest::newRow("none") << false << false;
}

void TestSectionWindow::fieldProfiles()
{
    QFETCH(bool, calc);
    QFETCH(bool, obs);
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    // Fields on their own lattices; the calculated one has another mean.
    const std::vector<double> cg{5, 4, 1000, 1200, 5000, 5300}, og{9, 7, 950, 1250, 4950, 5350};
    if (calc) {
        w.Vz_calculated = giveField(cg, 7.0, 0.01, -0.02);
        w.calculated_params = cg;
    }
    if (obs) {
        w.Vz_observed = giveField(og, -3.0, 0.012, -0.018);
        w.observed_params = og;
    }
    double shift = 0;
    if (calc && obs) {
        double so = 0, sc = 0;
        for (const auto& r : w.Vz_observed)
            for (double v : r)
                so += v;
        for (const auto& r : w.Vz_calculated)
            for (double v : r)
                sc += v;
        shift = so / 63 - sc / 20;
    }
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(d->calculatedProfile().empty(), !calc);
        QCOMPARE(d->observedProfile().empty(), !obs);
        QCOMPARE(d->residualProfile().empty(), !(calc && obs));
        std::vector<double> c(7), o(7);
        for (int i = 0; i < 7; ++i) {
            double x, y;
            samplePoint({1000, 1200, 5000, 5300, 50}, i, x, y);
            if (calc) {
                c[i] = reference([&](int col, int row) { return w.Vz_calculated[row][col] + shift; }, 1000, 50, 5,
                                 5000, 100, 4, x, y, false);
                QVERIFY2(near(d->calculatedProfile()[i], c[i], 1e-12), qPrintable(QString::number(i)));
            }
            if (obs) {
                o[i] = reference([&](int col, int row) { return w.Vz_observed[row][col]; }, 950, 37.5, 9, 4950,
                                 400.0 / 6, 7, x, y, false);
                QVERIFY2(near(d->observedProfile()[i], o[i], 1e-12), qPrintable(QString::number(i)));
            }
        }
        const QString label = d->findChild<QLabel*>("mse_label")->text();
        if (calc && obs) {
            double ss = 0;
            for (int i = 0; i < 7; ++i) {
                QVERIFY(near(d->residualProfile()[i], o[i] - c[i], 1e-9));
                ss += (o[i] - c[i]) * (o[i] - c[i]);
            }
            QCOMPARE(label, "RMSE = ± " + QString::number(std::sqrt(ss / 7), 'g', 6) + " mGal");
            QCOMPARE(d->profilePlot()->graphCount(), 3);
        } else {
            QVERIFY(label.isEmpty());
            QCOMPARE(d->profilePlot()->graphCount(), (calc || obs) ? 1 : 0);
        }
    });
}

void TestSectionWindow::refusedLines_data()
{
    QTest::addColumn<QStringList>("line");  // xmin, xmax, ymin, ymax, dx
    QTest::addColumn<QString>("message");    // empty: refused without a word
    QTest::newRow("zero length") << QStringList{"1100", "1100", "5100", "5100", "10"} << QString();
    QTest::newRow("zero length, zero step") << QStringList{"1100", "1100", "5100", "5100", "0"} << QString();
    QTest::newRow("shorter than a step") << QStringList{"1000", "1009", "5100", "5100", "10"}
                                         << QString("The line must be at least one step long");
    QTest::newRow("zero step") << QStringList{"1000", "1200", "5100", "5100", "0"}
                               << QString("Step must be positive");
    QTest::newRow("unreadable step") << QStringList{"1000", "1200", "5100", "5100", "ten"}
                                     << QString("Step must be positive");
    QTest::newRow("negative step") << QStringList{"1000", "1200", "5100", "5100", "-5"}
                                   << QString("Step must be positive");
    QTest::newRow("infinite end") << QStringList{"1000", "inf", "5100", "5100", "5"}
                                  << QString("Invalid line coordinates");
    QTest::newRow("too many samples") << QStringList{"0", "1e12", "5100", "5100", "1"}
                                      << QString("Too many points on the line: increase the step");
}

void TestSectionWindow::refusedLines()
{
    QFETCH(QStringList, line);
    QFETCH(QString, message);
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    w.horizons_params = {5, 4, 1000, 1200, 5000, 5300};
    w.horizons.assign(2, field2D(4, std::vector<double>(5, 100)));
    openSection(w, [&](HorizontalSliceDialog* d) {
        const std::vector<std::vector<double>> before = d->densitySection();
        const std::vector<std::vector<double>> hor = d->horizonDepths();
        typeLine(d, line[0], line[1], line[2], line[3], line[4]);
        QCOMPARE(fake->errors(), message.isEmpty() ? QStringList() : QStringList{message});
        // Nothing changes: the sections, the horizons, the kept line.
        QCOMPARE(d->densitySection(), before);
        QCOMPARE(d->horizonDepths(), hor);
        QCOMPARE(w.section_line, (std::vector<double>{1000, 1200, 5000, 5300, 50}));
        // The fields and the red line are back on the sampled line.
        QCOMPARE(field(d, "xmin")->text(), QString("1000"));
        QCOMPARE(field(d, "xmax")->text(), QString("1200"));
        QCOMPARE(field(d, "ymin")->text(), QString("5000"));
        QCOMPARE(field(d, "ymax")->text(), QString("5300"));
        QCOMPARE(field(d, "dx")->text(), QString("50"));
        QCOMPARE(redLine(d), (QVector<double>{1000, 1200, 5000, 5300}));
        double xs, xe, ys, ye, step;
        QVERIFY(d->sampledLine(xs, xe, ys, ye, step));
        QCOMPARE((std::vector<double>{xs, xe, ys, ye, step}), (std::vector<double>{1000, 1200, 5000, 5300, 50}));
    });
}

void TestSectionWindow::crossingsFollowTheSampledLine()
{
    // A fault across the diagonal; a refused line that would miss it keeps
    // the crossing of the sampled line, on the section and in the export.
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    w.faults.sticks = {{{QVector3D(1150, 5000, 0), QVector3D(1150, 5000, 900)},
                        {QVector3D(1050, 5300, 0), QVector3D(1050, 5300, 900)}}};
    w.faults.names = {"F"};
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(int(d->faultCrossings().size()), 1);
        const float distance = d->faultCrossings()[0][0].distance;
        // Short of the fault and shorter than one step: refused.
        typeLine(d, "1000", "1020", "5000", "5000", "50");
        QCOMPARE(fake->errors(), QStringList{"The line must be at least one step long"});
        QCOMPARE(int(d->faultCrossings().size()), 1);
        QCOMPARE(d->faultCrossings()[0][0].distance, distance);
        // Switching the shown cube recomputes the crossings: still the same line.
        d->showDens();
        QCOMPARE(int(d->faultCrossings().size()), 1);
        QCOMPARE(d->faultCrossings()[0][0].distance, distance);
        // The export writes the crossing of the sampled line.
        fake->saveNames << dir->filePath("cut");
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
        QVERIFY(QFile::exists(dir->filePath("cut faults.bln")));
        // A line that misses the fault, once sampled, has no crossing.
        typeLine(d, "1000", "1100", "5000", "5000", "50");
        QVERIFY(d->faultCrossings().empty());
    });
    QCOMPARE(w.section_line, (std::vector<double>{1000, 1100, 5000, 5000, 50}));
}

void TestSectionWindow::shortLinesGiveOneSample_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<QStringList>("line");  // typed; empty: the default line
    QTest::newRow("diagonal of a 2 x 2 grid") << 2 << 2 << QStringList();
    QTest::newRow("one step and a half") << 5 << 4 << QStringList{"1000", "1075", "5100", "5100", "50"};
    QTest::newRow("exactly one step") << 5 << 4 << QStringList{"1000", "1050", "5100", "5100", "50"};
}

void TestSectionWindow::shortLinesGiveOneSample()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(QStringList, line);
    MainWindow w;
    w.language = 1;
    // Rows 50 m apart, as the columns: the diagonal of one cell is 1.41 steps.
    giveDensityCube(w, nodes(nx, 1000, 50), nodes(ny, 5000, 50), nodes(3, 0, 250), cellValue);
    openSection(w, [&](HorizontalSliceDialog* d) {
        if (!line.isEmpty())
            typeLine(d, line[0], line[1], line[2], line[3], line[4]);
        QVERIFY(fake->errors().isEmpty());
        const std::vector<std::vector<double>>& s = d->densitySection();
        QCOMPARE(int(s.size()), 3);
        for (const auto& level : s)
            QCOMPARE(int(level.size()), 1);
        QCOMPARE(d->densityParams()[0], 1.0);
        // The one sample sits at the line's start.
        double xs, xe, ys, ye, step;
        QVERIFY(d->sampledLine(xs, xe, ys, ye, step));
        const double r = reference([&](int c, int row) { return double(w.den_grid[1][row][c]); }, 1000, 50, nx,
                                   5000, 50, ny, xs, ys, true);
        QVERIFY(near(s[1][0], r, 1e-12));
        // Drawn as a band one step wide around its distance.
        QCOMPARE(d->sectionPlot()->xAxis->range(), QCPRange(-0.5 * step, 0.5 * step));
        QVERIFY(d->sectionColorScale()->visible());
        if (line.isEmpty()) {
            // A section of one sample is no Surfer grid: one message says so.
            fake->saveNames << dir->filePath("one");
            QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
            QCOMPARE(fake->errors().size(), 1);
            QVERIFY2(fake->errors()[0].contains(dir->filePath("one") + " density.grd: A grid of 3 row(s) and 1 column(s)"),
                     qPrintable(fake->errors()[0]));
        }
    });
    QVERIFY(!w.section_line.empty());
}

void TestSectionWindow::flatCubeGetsAWidenedRange()
{
    // A fresh model holds one density everywhere: the section's colours get
    // the widened range of the 3D view, not a range of no width.
    MainWindow w;
    giveDensityCube(w, nodes(5, 1000, 50), nodes(4, 5000, 100), nodes(3, 0, 250),
                    [](int, int, int) { return 2.67f; });
    openSection(w, [&](HorizontalSliceDialog* d) {
        const QCPRange r = d->sectionColorScale()->dataRange();
        const auto expected = view3d::usable_range(2.67f, 2.67f);
        QCOMPARE(r.lower, expected.first);
        QCOMPARE(r.upper, expected.second);
        QVERIFY(r.lower < 2.67 && r.upper > 2.67 && r.size() < 0.1);
        // The colour map shows the density's own colour, the middle of the scale.
        auto* map = qobject_cast<QCPColorMap*>(d->sectionPlot()->plottable(0));
        QVERIFY(map);
        QCOMPARE(map->dataRange(), r);
    });
}

void TestSectionWindow::lineAndDepthTypeRemembered()
{
    MainWindow w;
    giveDensity(w);
    openSection(w, [&](HorizontalSliceDialog* d) {
        typeLine(d, "1010", "1190", "5150", "5150", "20");
        QCOMPARE(int(d->densitySection()[0].size()), 9);
        d->findChild<QComboBox*>("depthType")->setCurrentIndex(1);
    });
    QCOMPARE(w.section_line, (std::vector<double>{1010, 1190, 5150, 5150, 20}));
    QCOMPARE(w.section_direction, 1);
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(field(d, "xmin")->text(), QString("1010"));
        QCOMPARE(field(d, "ymax")->text(), QString("5150"));
        QCOMPARE(field(d, "dx")->text(), QString("20"));
        QCOMPARE(d->findChild<QComboBox*>("depthType")->currentIndex(), 1);
    });
    // A new project brings back the diagonal; the depth choice stays.
    w.clear_all();
    giveDensity(w);
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(field(d, "xmax")->text(), QString("1200"));
        QCOMPARE(field(d, "dx")->text(), QString("50"));
        QCOMPARE(d->findChild<QComboBox*>("depthType")->currentIndex(), 1);
    });
}

void TestSectionWindow::singleNodeGrid()
{
    // One column and one row: the default line has no length and is ignored
    // without a message; the dialog still opens and a typed line reads the
    // only column everywhere.
    MainWindow w;
    w.language = 1;
    giveDensity(w, 2, 1, 1);
    openSection(w, [&](HorizontalSliceDialog* d) {
        QVERIFY(fake->errors().isEmpty());
        QVERIFY(d->densitySection().empty());
        double xs, xe, ys, ye, step;
        QVERIFY(!d->sampledLine(xs, xe, ys, ye, step));
        typeLine(d, "0", "100", "0", "100", "10");
        QCOMPARE(int(d->densitySection().size()), 2);
        for (int k = 0; k < 2; ++k)
            for (double v : d->densitySection()[k])
                QVERIFY(near(v, w.den_grid[k][0][0], 1e-6));
    });
}

void TestSectionWindow::faultsReachTheDialog()
{
    MainWindow w;
    giveDensity(w);
    // A vertical fault across the diagonal, its points deepest first.
    w.faults.sticks = {{{QVector3D(1150, 5000, 900), QVector3D(1150, 5000, 0)},
                        {QVector3D(1050, 5300, 900), QVector3D(1050, 5300, 0)}}};
    w.faults.names = {"F"};
    openSection(w, [&](HorizontalSliceDialog* d) {
        QCOMPARE(int(d->faultCrossings().size()), 1);
        // The trace x = 1150 - (y - 5000) / 3 meets the diagonal
        // x = 1000 + 2 (y - 5000) / 3 at y = 5150, x = 1100: 180.28 m along.
        const double distance = std::hypot(100.0, 150.0);
        QVERIFY(near(d->faultCrossings()[0][0].distance, distance, 1e-6));
        QCOMPARE(d->faultCrossings()[0][0].depth, 0.f);
        QCOMPARE(d->faultCrossings()[0][1].depth, 900.f);
    });
    // The project's faults are not reordered by the dialog.
    QCOMPARE(w.faults.sticks[0][0][0].z(), 900.f);
}

// ---------------------------------------------------------------------------
// Exports

void TestSectionWindow::exportEverything_data()
{
    QTest::addColumn<int>("depthType");
    QTest::newRow("negative depths") << 0;
    QTest::newRow("positive depths") << 1;
}

void TestSectionWindow::exportEverything()
{
    QFETCH(int, depthType);
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    w.Vp_grid = w.den_grid;
    w.x_vp = w.x_calc, w.y_vp = w.y_calc, w.z_vp = w.z_calc;
    w.horizons_params = {5, 4, 1000, 1200, 5000, 5300};
    for (int h = 0; h < 3; ++h)
        w.horizons.push_back(giveField(w.horizons_params, 500.0 * h, 0.1, 0.2));
    const std::vector<double> g{5, 4, 1000, 1200, 5000, 5300};
    w.Vz_calculated = giveField(g, 1, 0.01, 0);
    w.calculated_params = g;
    w.Vz_observed = giveField(g, 2, 0.011, 0);
    w.observed_params = g;
    w.faults.sticks = {{{QVector3D(1150, 5000, 0), QVector3D(1150, 5000, 900)},
                        {QVector3D(1050, 5300, 0), QVector3D(1050, 5300, 900)}}};
    w.faults.names = {"F"};
    w.section_direction = depthType;
    const QString base = dir->filePath("cut");

    openSection(w, [&](HorizontalSliceDialog* d) {
        fake->saveNames << base;
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
        QCOMPARE(fake->fileRequests.last().kind, QString("save"));
        QCOMPARE(fake->fileRequests.last().caption, QString("Save slice directory"));
        QCOMPARE(fake->fileRequests.last().dir, QString());
        QCOMPARE(fake->fileRequests.last().filter, QString());
        QVERIFY2(fake->errors().isEmpty(), qPrintable(fake->errors().join('\n')));
        QCOMPARE(fake->texts(QMessageBox::NoIcon), QStringList{"Slices saved"});

        QCOMPARE(filesIn(dir->path()), (QStringList{"cut Vp.grd", "cut Vz calc.bln", "cut Vz obs.bln", "cut dVz.bln",
                                                    "cut density.grd", "cut faults.bln", "cut h1.bln", "cut h2.bln"}));

        // Profiles: distances and values, read back by the program's reader.
        auto readOne = [&](const QString& name) {
            std::vector<bln_polyline> lines;
            const CodecStatus st = read_bln_polylines(dir->filePath(name), lines);
            if (!st.ok() || lines.size() != 1)
                qWarning("cannot read %s", qPrintable(name));
            return lines.empty() ? bln_polyline() : lines[0];
        };
        const bln_polyline calc = readOne("cut Vz calc.bln");
        QCOMPARE(int(calc.size()), 14);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(calc[2 * i], 50.0 * i);
            QCOMPARE(calc[2 * i + 1], d->calculatedProfile()[i]);  // every digit kept
        }
        const bln_polyline resid = readOne("cut dVz.bln");
        for (int i = 0; i < 7; ++i)
            QCOMPARE(resid[2 * i + 1], d->residualProfile()[i]);
        // Horizon files: horizon k of the model, sign by the depth choice.
        const double sign = depthType == 1 ? 1 : -1;
        for (int k = 1; k <= 2; ++k) {
            const bln_polyline h = readOne(QString("cut h%1.bln").arg(k));
            QCOMPARE(int(h.size()), 14);
            for (int i = 0; i < 7; ++i)
                QCOMPARE(h[2 * i + 1], sign * d->horizonDepths()[k - 1][i]);
            QVERIFY(sign * h[3] > 400);  // deeper than 400 m, shown with the chosen sign
        }
        // Fault crossings: one polyline of two points, depths unsigned.
        std::vector<bln_polyline> faults;
        QVERIFY(read_bln_polylines(dir->filePath("cut faults.bln"), faults).ok());
        QCOMPARE(int(faults.size()), 1);
        QCOMPARE(faults[0][1], 0.0);
        QCOMPARE(faults[0][3], 900.0);
        QVERIFY(near(faults[0][0], std::hypot(100.0, 150.0), 1e-6));

        // The density grid: one row per level, y the depth with the chosen
        // sign, growing with the row.
        field2D grid;
        std::vector<double> params;
        QVERIFY(read_surfer_grid(dir->filePath("cut density.grd"), grid, params).ok());
        QCOMPARE(int(grid.size()), 3);
        QCOMPARE(int(grid[0].size()), 7);
        QCOMPARE(params[2], 0.0);
        QCOMPARE(params[3], 300.0);
        if (depthType == 1) {
            QCOMPARE(params[4], 0.0);
            QCOMPARE(params[5], 500.0);
        } else {
            QCOMPARE(params[4], -500.0);
            QCOMPARE(params[5], 0.0);
        }
        for (int row = 0; row < 3; ++row) {
            const int level = depthType == 1 ? row : 2 - row;
            for (int i = 0; i < 7; ++i)
                QCOMPARE(grid[row][i], d->densitySection()[level][i]);
        }
        QVERIFY(read_surfer_grid(dir->filePath("cut Vp.grd"), grid, params).ok());
        QCOMPARE(int(grid.size()), 3);
    });
}

void TestSectionWindow::gdalReadsTheSectionGrid()
{
    const QString translate = QStandardPaths::findExecutable("gdal_translate");
    if (translate.isEmpty() || QStandardPaths::findExecutable("gdalinfo").isEmpty())
        QSKIP("GDAL tools are not installed");
    MainWindow w;
    giveDensity(w);
    w.section_direction = 0;
    const QString base = dir->filePath("s");
    std::vector<std::vector<double>> section;
    openSection(w, [&](HorizontalSliceDialog* d) {
        fake->saveNames << base;
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
        section = d->densitySection();
    });
    const QString file = base + " density.grd";
    QString out, log;
    QVERIFY2(runTool("gdalinfo", {file}, &out, &log), qPrintable(log));
    QVERIFY2(out.contains("GS7BG"), qPrintable(out));
    QVERIFY2(out.contains("Size is 7, 3"), qPrintable(out));
    // Every node as "distance y value": y is minus the depth.
    QVERIFY2(runTool(translate, {"-q", "-of", "XYZ", file, "/vsistdout/"}, &out, &log), qPrintable(log));
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 21);
    for (const QString& line : lines) {
        const QStringList p = line.simplified().split(' ');
        QCOMPARE(p.size(), 3);
        const int i = qRound(p[0].toDouble() / 50);
        const int k = qRound(-p[1].toDouble() / 250);
        QVERIFY(i >= 0 && i < 7 && k >= 0 && k < 3);
        QCOMPARE(p[0].toDouble(), 50.0 * i);
        QCOMPARE(p[1].toDouble(), -250.0 * k);
        QVERIFY2(std::fabs(p[2].toDouble() - section[k][i]) < 1e-6, qPrintable(line));
    }
}

void TestSectionWindow::exportOnlyCalculated()
{
    MainWindow w;
    giveDensity(w);
    const std::vector<double> g{5, 4, 1000, 1200, 5000, 5300};
    w.Vz_calculated = giveField(g, 1, 0.01, 0);
    w.calculated_params = g;
    openSection(w, [&](HorizontalSliceDialog* d) {
        fake->saveNames << dir->filePath("c");
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
    });
    QCOMPARE(filesIn(dir->path()), (QStringList{"c Vz calc.bln", "c density.grd"}));
    QCOMPARE(fake->texts(QMessageBox::NoIcon), QStringList{QString::fromUtf8("Срезы сохранены")});
}

void TestSectionWindow::exportNames()
{
    // The base name is used as typed.
    MainWindow w;
    giveDensity(w);
    openSection(w, [&](HorizontalSliceDialog* d) {
        fake->saveNames << dir->filePath("a.bln");
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
    });
    QCOMPARE(filesIn(dir->path()), QStringList{"a.bln density.grd"});
}

void TestSectionWindow::exportCancelled()
{
    MainWindow w;
    giveDensity(w);
    openSection(w, [&](HorizontalSliceDialog* d) { QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton); });
    QCOMPARE(fake->fileRequests.size(), 1);
    QVERIFY(filesIn(dir->path()).isEmpty());
    QVERIFY(fake->notes.isEmpty());
}

void TestSectionWindow::exportFailureReported()
{
    // A folder that does not exist: nothing is written and no success is
    // claimed; the failed files are named.
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    w.horizons_params = {5, 4, 1000, 1200, 5000, 5300};
    w.horizons.assign(2, field2D(4, std::vector<double>(5, 100)));
    const QString base = dir->filePath("missing/cut");
    openSection(w, [&](HorizontalSliceDialog* d) {
        fake->saveNames << base;
        QTest::mouseClick(button(d, "saveSlice"), Qt::LeftButton);
    });
    QVERIFY(fake->texts(QMessageBox::NoIcon).isEmpty());
    // One message names every file that was not written, the grid with its
    // reason.
    const QStringList errors = fake->errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.last().startsWith("These files were not saved:\n"), qPrintable(errors.last()));
    QVERIFY(errors.last().contains(base + " h1.bln"));
    QVERIFY(errors.last().contains(base + " density.grd: "));
    QVERIFY(!QDir(dir->filePath("missing")).exists());
}

void TestSectionWindow::emptySliceRefused()
{
    // Only a Vp section: it does not count, the export is refused.
    HorizontalSliceDialog d;
    d.setLanguage(1);
    std::vector<std::vector<double>> vp{{1, 2}, {3, 4}};
    std::vector<double> x{0, 10}, z{0, 5};
    d.setVpSlice(vp, x, z, 1, 4);
    QTest::mouseClick(d.findChild<QPushButton*>("saveSlice"), Qt::LeftButton);
    QCOMPARE(fake->errors(), QStringList{"Slice is empty"});
    QVERIFY(fake->fileRequests.isEmpty());
    d.setLanguage(0);
    QTest::mouseClick(d.findChild<QPushButton*>("saveSlice"), Qt::LeftButton);
    QCOMPARE(fake->errors().last(), QString::fromUtf8("Срез пуст"));
}

QTEST_MAIN(TestSectionWindow)
#include "tst_section_window.moc"
