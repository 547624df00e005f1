// The 3D view on a display with OpenGL (run under Xvfb): the series that the
// View commands put into the graph, that redraws replace them without keeping
// the old ones, the axis ranges and titles, and the colour of a cube face in
// the rendered picture.
//
// With TOLMERA_SCREENSHOT set to a file name, screenshotOfTheWindow also saves
// a picture of the whole screen with the window showing a cube, horizons and
// faults.
#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QValue3DAxis>

#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views_test_support.h"
#include "views/surf.h"

using namespace QtDataVisualization;

namespace {

using namespace views_test;

// nz levels at depths 0, 100, ... on ny rows (y 0, 100, ...) and nx columns
// (x 0, 200, ...); `value(level, row, column)` fills the cells.
void giveDensity(MainWindow& w, int nz, int ny, int nx, const std::function<float(int, int, int)>& value)
{
    giveDensityCube(w, nodes(nx, 0, 200), nodes(ny, 0, 100), nodes(nz, 0, 100), value);
}

// Three horizons on the density grid's nodes: 0, a dome about 300 m and a
// dipping surface from 600 to 900 m; layer densities 2.0, 2.3, 2.6.
void giveHorizons(MainWindow& w)
{
    const std::size_t ny = w.y_calc.size(), nx = w.x_calc.size();
    w.horizons.assign(3, field2D(ny, std::vector<double>(nx, 0.0)));
    for (std::size_t j = 0; j < ny; ++j)
        for (std::size_t i = 0; i < nx; ++i) {
            const double dx = double(i) / double(nx - 1) - 0.5, dy = double(j) / double(ny - 1) - 0.5;
            w.horizons[1][j][i] = 300 - 200 * std::exp(-8 * (dx * dx + dy * dy));
            w.horizons[2][j][i] = 600 + 300 * double(i) / double(nx - 1);
        }
    w.horizons_params = {double(nx), double(ny), w.x_calc.front(), w.x_calc.back(), w.y_calc.front(),
                         w.y_calc.back()};
    w.densities = {2.0, 2.3, 2.6};
    w.fixed = {false, false, false};
    w.layers_names = {QString(), QString(), QString()};
}

// The density grid built from the layers: each cell takes the density of the
// deepest horizon at or above it, plus a small lateral trend.
void fillFromLayers(MainWindow& w)
{
    for (std::size_t k = 0; k < w.den_grid.size(); ++k)
        for (std::size_t j = 0; j < w.den_grid[k].size(); ++j)
            for (std::size_t i = 0; i < w.den_grid[k][j].size(); ++i) {
                double d = w.densities[0];
                for (std::size_t h = 0; h < w.horizons.size(); ++h)
                    if (w.z_calc[k] >= w.horizons[h][j][i])
                        d = w.densities[h];
                w.den_grid[k][j][i] = float(d + 0.002 * double(i));
            }
}

void giveFault(MainWindow& w)
{
    w.faults.sticks = {{{QVector3D(900, 0, 0), QVector3D(1000, 0, 900)},
                        {QVector3D(950, 500, 0), QVector3D(1050, 500, 900)},
                        {QVector3D(1000, 1000, 0), QVector3D(1100, 1000, 900)}}};
    w.faults.names = {"F1"};
    w.surf->addFaults(w.faults.sticks, w.faults.names);
}

int seriesCount(MainWindow& w)
{
    return w.graph->seriesList().size();
}

}  // namespace

class TestView3dGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void cubeShowsSixTexturedFaces();
    void cubeAndHorizonsSeries();
    void redrawsDeleteTheOldSeries();
    void faultsStayThroughRedraws();
    void replacedFaceStaysInPlace();
    void axisTitlesFollowTheExponents();
    void renderedTopFaceHasTheValueColour_data();
    void renderedTopFaceHasTheValueColour();
    void screenshotOfTheWindow();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestView3dGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestView3dGui::cubeShowsSixTexturedFaces()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 6, 5, 4, [](int k, int, int) { return 2.0f + 0.1f * k; });
    w->on_view_dens_triggered();
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(w->surf->surfaces.size(), 6);
    QCOMPARE(w->surf->proxies.size(), 6);
    QCOMPARE(seriesCount(*w), 6);
    for (int i = 0; i < 6; ++i) {
        QSurface3DSeries* s = w->surf->surfaces[i];
        QVERIFY(w->graph->seriesList().contains(s));
        QCOMPARE(s->dataProxy(), w->surf->proxies[i]);
        QVERIFY(!s->texture().isNull());
        QCOMPARE(s->drawMode(), QSurface3DSeries::DrawSurface);
        QCOMPARE(s->itemLabelFormat(), QString("@xLabel, @zLabel, @yLabel"));
    }
    // bottom, top: [y][x] meshes at the bottom and top depths
    QCOMPARE(w->surf->proxies[0]->rowCount(), 5);
    QCOMPARE(w->surf->proxies[0]->columnCount(), 4);
    QCOMPARE(w->surf->proxies[0]->itemAt(0, 0)->position(), QVector3D(0, 500, 0));
    QCOMPARE(w->surf->proxies[1]->itemAt(4, 3)->position(), QVector3D(600, 0, 400));
    // left, right: [y][level]; back, front: [level][x]
    QCOMPARE(w->surf->proxies[2]->columnCount(), 6);
    QCOMPARE(w->surf->proxies[3]->itemAt(0, 0)->position().x(), 600.0f);
    QCOMPARE(w->surf->proxies[4]->rowCount(), 6);
    QCOMPARE(w->surf->proxies[4]->itemAt(0, 0)->position().z(), 400.0f);
    QCOMPARE(w->surf->proxies[5]->itemAt(0, 0)->position().z(), 0.0f);
    // Textures: 5 pixels per cell.
    QCOMPARE(w->surf->surfaces[0]->texture().size(), QSize(20, 25));
    QCOMPARE(w->surf->surfaces[2]->texture().size(), QSize(30, 25));
    QCOMPARE(w->surf->surfaces[4]->texture().size(), QSize(20, 30));
    // Axis ranges: the bounds widened by 2.5 %.
    QCOMPARE(w->graph->axisX()->min(), -15.0f);
    QCOMPARE(w->graph->axisX()->max(), 615.0f);
    QCOMPARE(w->graph->axisY()->max(), 512.5f);
    QCOMPARE(w->graph->axisZ()->min(), -10.0f);
}

void TestView3dGui::cubeAndHorizonsSeries()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 10, 6, 8, [](int, int, int) { return 2.0f; });
    giveHorizons(*w);
    fillFromLayers(*w);
    w->on_view_cube_horizons_triggered();
    // Six faces, then the horizons from 1 (show_top unchecked).
    QCOMPARE(w->surf->surfaces.size(), 8);
    QCOMPARE(seriesCount(*w), 8);
    QCOMPARE(w->surf->proxies[6]->rowCount(), 6);
    QCOMPARE(w->surf->proxies[6]->columnCount(), 8);
    QCOMPARE(w->surf->proxies[7]->itemAt(0, 7)->position(), QVector3D(1400, 900, 0));
    QVERIFY(w->surf->surfaces[6]->isMeshSmooth());
    QVERIFY(!w->surf->surfaces[6]->isFlatShadingEnabled());
    // With the top shown: one more.
    w->ui->show_top->setChecked(true);
    w->on_show_top_triggered();
    QCOMPARE(seriesCount(*w), 9);
    // Horizons only: they start at position 0.
    w->on_view_horizons_triggered();
    QCOMPARE(w->surf->surfaces.size(), 3);
    QCOMPARE(seriesCount(*w), 3);
    QCOMPARE(w->surf->proxies[0]->itemAt(0, 0)->position(), QVector3D(0, 0, 0));
    QVERIFY(w->ui->edit_horizons->isEnabled());
    // Back to the cube.
    w->on_view_cube_triggered();
    QCOMPARE(seriesCount(*w), 6);
    QVERIFY(fake->errors().isEmpty());
}

void TestView3dGui::redrawsDeleteTheOldSeries()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 4, 4, 4, [](int k, int j, int i) { return float(k + j + i); });
    w->on_view_dens_triggered();
    QList<QPointer<QSurface3DSeries>> old;
    for (QSurface3DSeries* s : w->surf->surfaces)
        old << s;
    for (int i = 0; i < 5; ++i)
        w->show3Dgrid();
    QCOMPARE(seriesCount(*w), 6);
    for (const auto& p : old)
        QVERIFY(p.isNull());  // removed and deleted, not left behind
    w->surf->clearSurfaces();
    QCOMPARE(seriesCount(*w), 0);
}

void TestView3dGui::faultsStayThroughRedraws()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 4, 11, 6, [](int k, int, int) { return float(k); });
    giveFault(*w);
    QCOMPARE(seriesCount(*w), 1);
    w->on_view_dens_triggered();
    QCOMPARE(seriesCount(*w), 7);
    QCOMPARE(w->surf->fault_series.size(), 1);
    // The faults widen the view: x up to 1100 (the grid ends at 1000).
    QCOMPARE(w->surf->max_x, 1100.0);
    QCOMPARE(w->graph->axisX()->max(), float(1100 + 0.025 * 1100));
    w->ui->view_faults->setChecked(false);
    w->on_view_faults_triggered();
    QVERIFY(!w->surf->fault_series.first()->isVisible());
    w->surf->clearFaults();
    QCOMPARE(seriesCount(*w), 6);
}

void TestView3dGui::replacedFaceStaysInPlace()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 4, 3, 3, [](int k, int, int) { return float(k); });
    w->surf->setAlpha(120);
    w->show3Dgrid();
    QSurface3DSeries* top = w->surf->surfaces[1];
    QCOMPARE(qAlpha(top->texture().pixel(0, 0)), 120);
    const vector2D level1 = w->den_grid[1];
    w->surf->replaceZFace(w->shown_x, w->shown_y, w->shown_z[1], level1, true);
    QCOMPARE(w->surf->surfaces[1], top);
    QCOMPARE(seriesCount(*w), 6);
    QCOMPARE(w->surf->proxies[1]->itemAt(0, 0)->position().y(), 100.0f);
    QCOMPARE(qAlpha(top->texture().pixel(0, 0)), 255);  // replacements are opaque
}

void TestView3dGui::axisTitlesFollowTheExponents()
{
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    w->updateAxesTitles();
    QCOMPARE(w->graph->axisX()->title(), QString("X, m"));
    QCOMPARE(w->graph->axisZ()->title(), QString("Y, m"));
    QCOMPARE(w->graph->axisY()->title(), QString("Z, m"));
    w->norm_factors.exponent = {{3, -2, 1}};
    w->updateAxesTitles();
    QCOMPARE(w->graph->axisX()->title(), QString("X, E3 m"));
    QCOMPARE(w->graph->axisZ()->title(), QString("Y, E-2 m"));
    QCOMPARE(w->graph->axisY()->title(), QString("Z, E1 m"));
    QVERIFY(w->graph->axisY()->isTitleVisible());
    w->ui->show_3Daxes->setChecked(false);
    w->on_show_3Daxes_triggered();
    QVERIFY(!w->graph->activeTheme()->isGridEnabled());
    QCOMPARE(w->graph->activeTheme()->labelTextColor(), QColor(Qt::white));
}

void TestView3dGui::renderedTopFaceHasTheValueColour_data()
{
    QTest::addColumn<float>("topValue");
    QTest::addColumn<QString>("dominant");
    // The cube runs from 2 to 3; jet paints 3 dark red, 2 dark blue and 2.5 green.
    QTest::newRow("largest value: red") << 3.0f << "red";
    QTest::newRow("smallest value: blue") << 2.0f << "blue";
    QTest::newRow("middle value: green") << 2.5f << "green";
}

void TestView3dGui::renderedTopFaceHasTheValueColour()
{
    QFETCH(float, topValue);
    QFETCH(QString, dominant);
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    giveDensity(*w, 5, 10, 10, [&](int k, int, int) { return k == 0 ? topValue : (k % 2 ? 2.0f : 3.0f); });
    w->on_view_dens_triggered();
    w->graph->scene()->activeCamera()->setCameraPreset(Q3DCamera::CameraPresetDirectlyAbove);
    w->graph->scene()->activeCamera()->setZoomLevel(200);
    // Full ambient light and no directional light: the picture shows the
    // texture's own colours.
    Q3DTheme* theme = w->graph->activeTheme();
    theme->setAmbientLightStrength(1.0f);
    theme->setLightStrength(0.0f);
    theme->setHighlightLightStrength(0.0f);
    QTest::qWait(50);
    const QImage img = w->graph->renderToImage(0, QSize(400, 400));
    QVERIFY(!img.isNull());
    const QColor c = img.pixelColor(200, 200);
    const int r = c.red(), g = c.green(), b = c.blue();
    const QString where = QString("pixel (%1, %2, %3)").arg(r).arg(g).arg(b);
    QCOMPARE(c.alpha(), 255);
    if (dominant == "red")
        QVERIFY2(r > g + 40 && r > b + 40, qPrintable(where));
    else if (dominant == "blue")
        QVERIFY2(b > r + 40 && b > g + 40, qPrintable(where));
    else
        QVERIFY2(g > r + 40 && g > b + 40, qPrintable(where));
    // And close to the gradient's colour of the value.
    QCPColorGradient jet(QCPColorGradient::gpJet);
    const QColor expected(jet.color(topValue, QCPRange(2, 3)));
    QVERIFY2(std::abs(r - expected.red()) <= 12 && std::abs(g - expected.green()) <= 12 &&
                 std::abs(b - expected.blue()) <= 12,
             qPrintable(where + QString(" expected (%1, %2, %3)")
                                    .arg(expected.red())
                                    .arg(expected.green())
                                    .arg(expected.blue())));
}

void TestView3dGui::screenshotOfTheWindow()
{
    const QString path = qEnvironmentVariable("TOLMERA_SCREENSHOT");
    if (path.isEmpty())
        QSKIP("set TOLMERA_SCREENSHOT to a file name to save a picture");
    auto w = shownMainWindow({1100, 700});
    QVERIFY(w);
    w->move(0, 0);
    w->language = 1;
    // The density grid built from the layers by the layered model's command.
    giveDensity(*w, 2, 11, 11, [](int, int, int) { return 2.0f; });
    giveHorizons(*w);
    w->den_grid.clear();
    w->minZ = 0;
    w->maxZ = 1000;
    w->dz = 50;
    w->recalc3Dgrid();
    QCOMPARE(w->den_grid.size(), std::size_t(21));
    giveFault(*w);
    w->ui->view_faults->setEnabled(true);
    w->crop_borders = {{-1, 6, 3, -1, -1, -1}};
    w->on_view_cube_horizons_triggered();
    w->graph->scene()->activeCamera()->setCameraPosition(-35, 25, 160);
    QVERIFY(fake->errors().isEmpty());
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QCoreApplication::processEvents();
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    QVERIFY(shot.save(path));
    qInfo() << "saved" << path << "colour bar" << w->model_scale->dataRange().lower
            << w->model_scale->dataRange().upper << w->ui->scale_label->text();
    // A manual colour range: the faces and the bar follow it.
    w->setModelCaxis({2.1, 2.5});
    QCOMPARE(w->model_scale->dataRange(), QCPRange(2.1, 2.5));
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QCoreApplication::processEvents();
    }
    QString manual = path;
    manual.insert(manual.lastIndexOf('.') < 0 ? manual.size() : manual.lastIndexOf('.'), "_manual");
    QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(manual));
    // The horizons alone, coloured by depth on a common level.
    w->on_view_horizons_triggered();
    w->on_color_by_depth_triggered();
    w->on_common_coloring_level_triggered();
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QCoreApplication::processEvents();
    }
    QString second = path;
    second.insert(second.lastIndexOf('.') < 0 ? second.size() : second.lastIndexOf('.'), "_horizons");
    QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(second));
    qInfo() << "saved" << second;
}

QTEST_MAIN(TestView3dGui)
#include "tst_view3d_gui.moc"
