// The 3D view on a display with OpenGL (run under Xvfb): the series that the
// View commands put into the graph, that redraws replace them without keeping
// the old ones, the axis ranges and titles, and in the rendered picture: the
// view the window opens with (oblique, filled, readable labels), the colours
// of the cube's faces, which are those of the colour bar (also along a
// boundary between two layers), and the relief of horizons and faults drawn
// in one colour.
//
// With TOLMERA_SCREENSHOT set to a file name, screenshotOfTheWindow also saves
// a picture of the whole screen with the window showing a cube, horizons and
// faults. With TOLMERA_VIEW_PICTURES set to a path prefix, the layer-boundary
// and relief tests save the pictures they check (prefix_layers.png,
// prefix_dome.png, prefix_fault.png).
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

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views_test_support.h"
#include "views/crop_rules.h"
#include "views/surf.h"
#include "views/texture_render.h"

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
    void viewOpensObliqueAndFilled();
    void axisLabelsAreReadable();
    void faceColoursMatchTheColourBar_data();
    void faceColoursMatchTheColourBar();
    void faceColoursStayOnTheColourBar();
    void reliefShowsOnOneColourSurfaces_data();
    void reliefShowsOnOneColourSurfaces();
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
    // Textures: 5 pixels per cell, each repeated as many whole times as fit
    // in 512 pixels.
    const vector3D& cube = w->den_grid;
    const vector2D left = crop::face_grid(cube, crop::Face::Left, 0, false);
    QCOMPARE(w->surf->renderTexture(cube.back(), 0, 0, 1.0, 255).size(), QSize(20, 25));
    QCOMPARE(w->surf->renderTexture(left, 0, 0, 1.0, 255).size(), QSize(30, 25));
    QCOMPARE(w->surf->surfaces[0]->texture().size(), QSize(400, 500));
    QCOMPARE(w->surf->surfaces[2]->texture().size(), QSize(510, 425));
    QCOMPARE(w->surf->surfaces[4]->texture().size(), QSize(340, 510));
    QCOMPARE(w->surf->surfaces[0]->texture(),
             enlarged_texture(w->surf->renderTexture(cube.back(), w->surf->texture_min, w->surf->texture_max, 1.0, 255)));
    QCOMPARE(w->surf->surfaces[2]->texture(),
             enlarged_texture(w->surf->renderTexture(left, w->surf->texture_min, w->surf->texture_max, 1.0, 255)));
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
    // Outside the axes of the empty view: kept off the graph until the axes
    // take it in.
    QCOMPARE(seriesCount(*w), 0);
    QCOMPARE(w->surf->fault_series.size(), 1);
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

namespace {

// What the view shows as the window first opens: rendered at the pane's own
// size with the graph's own camera, lighting and labels.
QImage renderedPane(MainWindow& w)
{
    for (int i = 0; i < 10; ++i) {
        QTest::qWait(20);
        QCoreApplication::processEvents();
    }
    return w.graph->renderToImage(0, w.graph->size());
}

// Pixels of the cube's faces: opaque and clearly coloured (the labels, the
// grid and the background are grey, black or white).
bool facePixel(const QColor& c)
{
    return c.alpha() > 200 && c.hsvSaturation() > 100 && c.value() > 60;
}

QRect facesBox(const QImage& img)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (facePixel(img.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// The colour that the 3D colour bar shows for a value, read from a picture of
// the bar's plot.
QColor colourBarColour(MainWindow& w, double value)
{
    QCustomPlot* plot = w.ui->model_colorscale;
    const QImage bar = plot->toPixmap(plot->width(), plot->height(), 1.0).toImage();
    const int y = int(std::lround(w.model_scale->axis()->coordToPixel(value)));
    const int x = w.model_scale->axis()->axisRect()->center().x();
    return bar.pixelColor(x, y);
}

}  // namespace

void TestView3dGui::viewOpensObliqueAndFilled()
{
    // The window's first size, a model of 8 x 6 x 4 km.
    auto w = shownMainWindow();
    QVERIFY(w);
    giveDensityCube(*w, spreadNodes(41, 0, 8000), spreadNodes(31, 0, 6000), spreadNodes(21, 0, 4000),
                    [](int k, int j, int i) { return 2.0f + 0.02f * k + 0.005f * i + 0.003f * j; });
    w->on_view_dens_triggered();
    // From above one corner, not edge-on.
    const Q3DCamera* camera = w->graph->scene()->activeCamera();
    QVERIFY2(camera->yRotation() >= 15 && camera->yRotation() <= 60, qPrintable(QString::number(camera->yRotation())));
    QVERIFY(std::fmod(std::abs(camera->xRotation()), 90.0f) >= 20);

    const QImage img = renderedPane(*w);
    QVERIFY(!img.isNull());
    const QRect box = facesBox(img);
    const QString where = QString("faces %1 x %2 at (%3, %4) in a pane of %5 x %6")
                              .arg(box.width()).arg(box.height()).arg(box.x()).arg(box.y())
                              .arg(img.width()).arg(img.height());
    // The box fills most of the pane's width and a good part of its height
    // (edge-on it took 56 % by 27 %); the labels take the rest.
    QVERIFY2(box.width() >= 0.55 * img.width() && box.height() >= 0.38 * img.height(), qPrintable(where));
    // Centred across, and nothing of the graph (box or labels) is cut off at
    // the pane's edges.
    QVERIFY2(std::abs(box.center().x() - img.width() / 2) < img.width() / 8, qPrintable(where));
    int cut = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (x > 1 && y > 1 && x < img.width() - 2 && y < img.height() - 2)
                continue;
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() > 100 && c.value() < 200)
                ++cut;
        }
    QCOMPARE(cut, 0);
}

void TestView3dGui::axisLabelsAreReadable()
{
    auto w = shownMainWindow();
    QVERIFY(w);
    giveDensityCube(*w, spreadNodes(41, 0, 8000), spreadNodes(31, 0, 6000), spreadNodes(21, 0, 4000),
                    [](int k, int, int) { return 2.0f + 0.02f * k; });
    w->on_view_dens_triggered();
    // Only the label texts: no label boxes, no grid.
    Q3DTheme* theme = w->graph->activeTheme();
    theme->setLabelBackgroundEnabled(false);
    theme->setLabelBorderEnabled(false);
    theme->setGridEnabled(false);
    const QImage img = renderedPane(*w);
    QVERIFY(!img.isNull());
    // The depth labels stand upright left of the box, one above the other:
    // each run of rows holding dark text pixels in that strip is the height
    // of one label's digits.
    const int strip = facesBox(img).left();
    QVERIFY(strip > 0);
    QList<int> heights;
    int run = 0;
    for (int y = 0; y < img.height(); ++y) {
        bool text = false;
        for (int x = 0; x < strip && !text; ++x) {
            const QColor c = img.pixelColor(x, y);
            text = c.alpha() > 200 && c.value() < 110 && c.hsvSaturation() < 60;
        }
        if (text) {
            ++run;
        } else if (run) {
            heights << run;
            run = 0;
        }
    }
    std::sort(heights.begin(), heights.end());
    QString all;
    for (int h : heights)
        all += QString(" %1").arg(h);
    QVERIFY2(heights.size() >= 4, qPrintable(QString("%1 text rows:%2").arg(heights.size()).arg(all)));
    // The tallest few are whole lines of digits (the rest are titles and bits).
    // How high the digits come out depends on the font that stands in for the
    // label font: 11 px with DejaVu Sans, 9 to 10 px with Nimbus Sans (the URW
    // fonts that imagemagick and Ghostscript bring along). Any common sans font
    // gives at least 8 px, which is still readable.
    const int checked = heights[heights.size() - 4];
    QVERIFY2(checked >= 8, qPrintable(QString("digit height %1 px (text rows:%2)").arg(checked).arg(all)));
}

void TestView3dGui::faceColoursMatchTheColourBar_data()
{
    QTest::addColumn<float>("value");
    // On a manual range 2 .. 3: jet blue, cyan-green, green, yellow, red.
    QTest::newRow("2.2") << 2.2f;
    QTest::newRow("2.4") << 2.4f;
    QTest::newRow("2.5") << 2.5f;
    QTest::newRow("2.7") << 2.7f;
    QTest::newRow("2.9") << 2.9f;
}

void TestView3dGui::faceColoursMatchTheColourBar()
{
    QFETCH(float, value);
    auto w = shownMainWindow();
    QVERIFY(w);
    // Every cell holds the value, so every visible face (top, front and side,
    // each at its own angle to the camera) should show one colour: the bar's.
    giveDensity(*w, 6, 8, 10, [&](int, int, int) { return value; });
    w->model_caxis = {2.0, 3.0};
    w->on_view_dens_triggered();
    const QColor expected = colourBarColour(*w, value);
    QCPColorGradient jet(QCPColorGradient::gpJet);
    const QColor gradient(jet.color(value, QCPRange(2, 3)));
    QVERIFY2(std::abs(expected.red() - gradient.red()) <= 3 && std::abs(expected.green() - gradient.green()) <= 3 &&
                 std::abs(expected.blue() - gradient.blue()) <= 3,
             qPrintable(QString("bar (%1, %2, %3)").arg(expected.red()).arg(expected.green()).arg(expected.blue())));

    const QImage img = renderedPane(*w);
    QVERIFY(!img.isNull());
    const QRect box = facesBox(img);
    QVERIFY(box.width() > 50 && box.height() > 50);
    // Within 3 % of full scale per channel, on all faces alike (edges blend
    // with the background and may differ).
    const int tolerance = 8;
    int inside = 0, matching = 0;
    QColor worst = expected;
    int worst_diff = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (!facePixel(c))
                continue;
            ++inside;
            const int diff = std::max({std::abs(c.red() - expected.red()), std::abs(c.green() - expected.green()),
                                       std::abs(c.blue() - expected.blue())});
            if (diff <= tolerance)
                ++matching;
            else if (diff > worst_diff) {
                worst_diff = diff;
                worst = c;
            }
        }
    QVERIFY(inside > 1000);
    QVERIFY2(matching >= 0.95 * inside,
             qPrintable(QString("%1 of %2 face pixels match the bar's (%3, %4, %5); worst (%6, %7, %8)")
                            .arg(matching).arg(inside)
                            .arg(expected.red()).arg(expected.green()).arg(expected.blue())
                            .arg(worst.red()).arg(worst.green()).arg(worst.blue())));
}

namespace {

int colourDistance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// The pixels of the picture whose whole 5 x 5 neighbourhood satisfies `in`:
// the inside of a region, without the edges that blend with what lies next
// to it.
template <typename In>
QVector<QPoint> insidePixels(const QImage& img, In in)
{
    QVector<QPoint> out;
    for (int y = 2; y < img.height() - 2; ++y)
        for (int x = 2; x < img.width() - 2; ++x) {
            bool all = true;
            for (int dy = -2; dy <= 2 && all; ++dy)
                for (int dx = -2; dx <= 2 && all; ++dx)
                    all = in(img.pixelColor(x + dx, y + dy));
            if (all)
                out << QPoint(x, y);
        }
    return out;
}

// Whether a pixel within `reach` pixels (across or diagonally) of p is close
// to the colour c.
bool near(const QImage& img, QPoint p, int reach, const QColor& c, int tolerance)
{
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (img.rect().contains(p + QPoint(dx, dy)) &&
                colourDistance(img.pixelColor(p + QPoint(dx, dy)), c) <= tolerance)
                return true;
    return false;
}

}  // namespace

void TestView3dGui::faceColoursStayOnTheColourBar()
{
    // Two layers of very different density: navy 2.3 above yellow 2.7 (on a
    // bar from 2.3 to 2.9), the boundary across the side faces, and a
    // vertical one across the top.
    auto w = shownMainWindow();
    QVERIFY(w);
    giveDensity(*w, 8, 8, 10, [](int k, int, int i) { return (k >= 4 || i >= 6) ? 2.7f : 2.3f; });
    w->model_caxis = {2.3, 2.9};
    w->on_view_dens_triggered();
    Q3DTheme* theme = w->graph->activeTheme();
    theme->setGridEnabled(false);
    theme->setLabelBackgroundEnabled(false);
    // The bar's colours are those of the gradient (faceColoursMatchTheColourBar).
    QCPColorGradient gradient = w->surf->gradient;
    auto barColour = [&](double v) { return QColor(gradient.color(v, QCPRange(2.3, 2.9))); };
    const QColor navy = barColour(2.3), yellow = barColour(2.7);
    QVERIFY2(navy.blue() > 80 && navy.red() < 30 && yellow.red() > 220 && yellow.green() > 200 && yellow.blue() < 40,
             qPrintable(QString("bar colours %1 and %2").arg(navy.name(), yellow.name())));
    // The colours the bar has, from end to end.
    QVector<QColor> bar;
    for (int k = 0; k <= 600; ++k)
        bar << barColour(2.3 + 0.6 * k / 600.0);
    const int tolerance = 8;
    auto onBar = [&](const QColor& c) {
        for (const QColor& b : bar)
            if (colourDistance(c, b) <= tolerance)
                return true;
        return false;
    };

    const QImage img = renderedPane(*w);
    QVERIFY(!img.isNull());
    if (!qEnvironmentVariableIsEmpty("TOLMERA_VIEW_PICTURES"))
        img.save(qEnvironmentVariable("TOLMERA_VIEW_PICTURES") + "_layers.png");
    const QVector<QPoint> face = insidePixels(img, facePixel);
    QVERIFY2(face.size() > 5000, qPrintable(QString("%1 face pixels").arg(face.size())));
    // Off the bar only in a strip of at most two pixels between the layers:
    // one layer's colour within one pixel, the other's within two.
    int off = 0, stray = 0;
    QPoint first_stray;
    QColor stray_colour;
    for (const QPoint& p : face) {
        const QColor c = img.pixelColor(p);
        if (onBar(c))
            continue;
        ++off;
        const bool boundary = (near(img, p, 1, navy, tolerance) && near(img, p, 2, yellow, tolerance)) ||
                              (near(img, p, 1, yellow, tolerance) && near(img, p, 2, navy, tolerance));
        if (!boundary && stray++ == 0) {
            first_stray = p;
            stray_colour = c;
        }
    }
    // Where a face is seen at a grazing angle the graph's smoothing is wider
    // across than along it, and a boundary there blurs over a few pixels: a
    // pixel in a thousand may lie off the bar. (Colours blended in the
    // texture gave an olive strip of some twenty pixels along every
    // boundary: hundreds of pixels in a thousand.)
    QVERIFY2(stray <= face.size() / 1000, qPrintable(QString("%1 of %2 face pixels off the bar away from a boundary (%3 off the bar); "
                                            "first (%4, %5) at (%6, %7)")
                                        .arg(stray).arg(face.size()).arg(off)
                                        .arg(stray_colour.name()).arg(colourDistance(stray_colour, navy))
                                        .arg(first_stray.x()).arg(first_stray.y())));
    // Both layers are in the picture.
    int navy_count = 0, yellow_count = 0;
    for (const QPoint& p : face) {
        navy_count += colourDistance(img.pixelColor(p), navy) <= tolerance;
        yellow_count += colourDistance(img.pixelColor(p), yellow) <= tolerance;
    }
    QVERIFY2(navy_count > 1000 && yellow_count > 1000, qPrintable(QString("%1 navy, %2 yellow").arg(navy_count).arg(yellow_count)));
}

void TestView3dGui::reliefShowsOnOneColourSurfaces_data()
{
    QTest::addColumn<bool>("fault");
    QTest::newRow("dome horizon") << false;
    QTest::newRow("listric fault") << true;
}

void TestView3dGui::reliefShowsOnOneColourSurfaces()
{
    QFETCH(bool, fault);
    auto w = shownMainWindow();
    QVERIFY(w);
    // One density everywhere, so that a horizon coloured by density has one
    // colour; a dome 200 m high in the middle of the grid.
    giveDensity(*w, 10, 11, 11, [](int, int, int) { return 2.3f; });
    giveHorizons(*w);
    w->horizons.resize(2);
    w->densities.resize(2);
    w->fixed.resize(2);
    w->layers_names.resize(2);
    QColor colour;
    if (fault) {
        // A listric fault: steep at the top, flattening with depth, its
        // sticks 200 m apart along y.
        w->faults.sticks.assign(1, {});
        for (int k = 0; k <= 5; ++k) {
            std::vector<QVector3D> stick;
            for (int d = 0; d <= 9; ++d)
                stick.push_back(QVector3D(float(300 + 1400 * (d / 9.0) * (d / 9.0)), float(100 + 180 * k),
                                          float(100 * d)));
            w->faults.sticks[0].push_back(stick);
        }
        w->faults.names = {"F1"};
        w->surf->addFaults(w->faults.sticks, w->faults.names);
        w->updateSurfaceSize();
        w->surf->updateAxesRanges();
        colour = Qt::red;
    } else {
        w->model_caxis = {2.0, 3.0};
        w->ui->color_by_density->setChecked(true);
        w->on_color_by_density_triggered();
        w->on_common_coloring_level_triggered();
        w->on_view_horizons_triggered();
        QCOMPARE(w->surf->surfaces.size(), 1);
        colour = colourBarColour(*w, 2.3);
    }
    QVERIFY(fake->errors().isEmpty());
    Q3DTheme* theme = w->graph->activeTheme();
    theme->setGridEnabled(false);
    theme->setLabelBackgroundEnabled(false);
    const QImage img = renderedPane(*w);
    QVERIFY(!img.isNull());
    if (!qEnvironmentVariableIsEmpty("TOLMERA_VIEW_PICTURES"))
        img.save(qEnvironmentVariable("TOLMERA_VIEW_PICTURES") + (fault ? "_fault.png" : "_dome.png"));
    // The surface's pixels: of its hue, however dark or light.
    auto ofSurface = [&](const QColor& c) {
        const int dh = std::abs(c.hsvHue() - colour.hsvHue());
        return c.alpha() > 200 && c.hsvSaturation() > 150 && c.value() > 40 && std::min(dh, 360 - dh) <= 12;
    };
    const QVector<QPoint> pixels = insidePixels(img, ofSurface);
    QVERIFY2(pixels.size() > 2000, qPrintable(QString("%1 pixels of the surface").arg(pixels.size())));
    std::vector<int> values;
    for (const QPoint& p : pixels)
        values.push_back(img.pixelColor(p).value());
    std::sort(values.begin(), values.end());
    const int dark = values[values.size() / 10], bright = values[values.size() - 1 - values.size() / 10];
    QVERIFY2(bright - dark >= 26, qPrintable(QString("brightness %1 (darkest tenth) to %2 (brightest tenth) of %3 pixels")
                                                .arg(dark).arg(bright).arg(values.size())));
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
