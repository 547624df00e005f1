// Colour gradients, cube-face textures, the colour-range dialog and the
// main window's View commands, 3D colour bar and colour-range slots, offscreen
// (the window then has no 3D graph; what the slots decide is checked through
// the window's members, the 3D view object's bookkeeping and the colour bar).
#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <cmath>
#include <functional>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views_test_support.h"
#include "views/caxisdialog.h"
#include "views/gradients.h"
#include "views/surf.h"
#include "views/texture_render.h"

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

using namespace views_test;

using Stops = QMap<double, QColor>;

// Max channel difference of two colours.
int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// A density grid of nz levels (0, 100, ...) on ny rows (0, 50, ...) and nx
// columns (0, 100, ...); level k holds 2 + 0.1 k.
void giveDensity(MainWindow& w, int nz = 5, int ny = 3, int nx = 4)
{
    giveDensityCube(w, nodes(nx, 0, 100), nodes(ny, 0, 50), nodes(nz, 0, 100),
                    [](int k, int, int) { return data_type(2.0 + 0.1 * k); });
}

// Horizons 0, 150 and 250 + 10 x on the density grid's nodes (3 rows, 4 columns).
void giveHorizons(MainWindow& w, std::size_t ny = 3, std::size_t nx = 4)
{
    w.horizons.clear();
    for (double base : {0.0, 150.0, 250.0}) {
        field2D h(ny, std::vector<double>(nx, base));
        if (base == 250.0)
            for (auto& row : h)
                for (std::size_t i = 0; i < nx; ++i)
                    row[i] += 10.0 * i;
        w.horizons.push_back(h);
    }
    w.horizons_params = {double(nx), double(ny), 0, 100.0 * (nx - 1), 0, 50.0 * (ny - 1)};
    w.densities = {2.0, 2.2, 2.4};
    w.fixed = {false, false, false};
    w.layers_names = {QString(), QString(), QString()};
}

QCPColorMap* colourBarMap(MainWindow& w)
{
    QCustomPlot* plot = w.ui->model_colorscale;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* map = qobject_cast<QCPColorMap*>(plot->plottable(i)))
            return map;
    return nullptr;
}

// Runs `action` while a timer works the colour-range dialog: `work` gets the
// dialog (it reads or types into the fields and clicks a button). Returns
// whether a dialog was seen; a missing one fails the test instead of hanging.
bool workCaxisDialog(const std::function<void(CaxisDialog*)>& work, const std::function<void()>& action)
{
    bool seen = false;
    QTimer timer;
    QElapsedTimer clock;
    clock.start();
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<CaxisDialog*>(QApplication::activeModalWidget())) {
            if (!seen) {
                seen = true;
                work(dialog);
            }
        } else if (clock.elapsed() > 5000) {
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    });
    timer.start();
    action();
    timer.stop();
    return seen;
}

QString field(CaxisDialog* d, const char* name)
{
    return d->findChild<QLineEdit*>(name)->text();
}

void typeAndClick(CaxisDialog* d, const QString& min, const QString& max, const char* button)
{
    d->findChild<QLineEdit*>("min_caxis")->setText(min);
    d->findChild<QLineEdit*>("max_caxis")->setText(max);
    d->findChild<QPushButton*>(button)->click();
}

// The context menu a slot just opened (a menu of the window that deletes itself).
QMenu* openedMenu(MainWindow& w)
{
    for (QMenu* m : w.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        if (m->isVisible())
            return m;
    return nullptr;
}

QStringList itemTexts(QMenu* m)
{
    QStringList out;
    for (QAction* a : m->actions())
        out << a->text() + (a->isChecked() ? " [x]" : a->isCheckable() ? " [ ]" : "");
    return out;
}

}  // namespace

class TestView3dWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    // Gradients
    void gradientByType_data();
    void gradientByType();
    void ownGradientsKeepDefaultProperties();

    // Textures
    void textureSizeAndCorners_data();
    void textureSizeAndCorners();
    void textureWhiteStopsAreNotCropped();
    void textureAlphaAndInversion();
    void textureOfConstantGridAndSingleRow();
    void textureHasOnlyTheNodesColours();
    void shadedTexture();
    void enlargedTexture();

    // Colour-range dialog
    void caxisDialogForm();
    void caxisDialogValues();
    void caxisDialogOk_data();
    void caxisDialogOk();

    // Drawing
    void show3DgridFixesCropBordersAndStatus();
    void show3DgridOnlyConsidersTheCheckedDataSet();
    void show3DgridColourBar_data();
    void show3DgridColourBar();
    void constantCubeGetsAUsableRange();
    void surfaceSizeFromLimitsGridHorizonsAndFaults();
    void showHorizonsColourBar();
    void showHorizonsByDensityNeedsMatchingMaps();
    void combinedViewKeepsTheCubeColourBar();
    void normalizedDataFromHorizonsOnly();

    // View commands
    void dataSetCommandsRefuseEmptyCubes_data();
    void dataSetCommandsRefuseEmptyCubes();
    void dataSetCommandSwitchesToCubeView();
    void viewModeCommands();
    void colouringCommands();
    void regularizerSignCommands();

    // Colour ranges
    void modelCaxisMenuAndDialog();
    void modelCaxisDialogShowsCubeLimits();
    void observedCaxisMenuAndDialog();
    void calcCaxisModes();
    void caxisDialogsOpenWithoutData();

private:
    FakeInteraction fake;
};

// ---------------------------------------------------------------------------
// Gradients

void TestView3dWindow::gradientByType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<Stops>("stops");
    auto preset = [](QCPColorGradient::GradientPreset p, bool inv) {
        QCPColorGradient g(p);
        return (inv ? g.inverted() : g).colorStops();
    };
    const Stops a{{0, QColor(0, 0, 76)},
                  {0.25, QColor(0, 0, 255)},
                  {0.5, QColor(255, 255, 255)},
                  {0.75, QColor(255, 0, 0)},
                  {1, QColor(127, 0, 0)}};
    const Stops aInverted{{0, QColor(127, 0, 0)},
                          {0.25, QColor(255, 0, 0)},
                          {0.5, QColor(255, 255, 255)},
                          {0.75, QColor(0, 0, 255)},
                          {1, QColor(0, 0, 76)}};
    const Stops b{{0, QColor(176, 15, 15)},
                  {0.49, QColor(209, 237, 191)},
                  {0.51, QColor(255, 255, 255)},
                  {0.53, QColor(222, 255, 255)},
                  {1, QColor(0, 0, 0)}};
    Stops bInverted;
    for (auto it = b.begin(); it != b.end(); ++it)
        bInverted.insert(1.0 - it.key(), it.value());
    QTest::newRow("0 jet") << 0 << false << preset(QCPColorGradient::gpJet, false);
    QTest::newRow("0 jet inverted") << 0 << true << preset(QCPColorGradient::gpJet, true);
    QTest::newRow("1 grayscale") << 1 << false << preset(QCPColorGradient::gpGrayscale, false);
    QTest::newRow("1 grayscale inverted") << 1 << true << preset(QCPColorGradient::gpGrayscale, true);
    QTest::newRow("2 hot") << 2 << false << preset(QCPColorGradient::gpHot, false);
    QTest::newRow("2 hot inverted") << 2 << true << preset(QCPColorGradient::gpHot, true);
    QTest::newRow("3 ion") << 3 << false << preset(QCPColorGradient::gpIon, false);
    QTest::newRow("3 ion inverted") << 3 << true << preset(QCPColorGradient::gpIon, true);
    QTest::newRow("4 own A") << 4 << false << a;
    QTest::newRow("4 own A inverted") << 4 << true << aInverted;
    QTest::newRow("5 own B") << 5 << false << b;
    QTest::newRow("5 own B inverted") << 5 << true << bInverted;
    QTest::newRow("7 none") << 7 << false << Stops();
    QTest::newRow("7 none inverted") << 7 << true << Stops();
    QTest::newRow("-1 none") << -1 << false << Stops();
    QTest::newRow("6 none inverted") << 6 << true << Stops();
}

void TestView3dWindow::gradientByType()
{
    QFETCH(int, type);
    QFETCH(bool, invert);
    QFETCH(Stops, stops);
    const Stops got = ::gradientByType(type, invert).colorStops();
    QCOMPARE(got.size(), stops.size());
    auto e = stops.begin();
    for (auto it = got.begin(); it != got.end(); ++it, ++e) {
        QVERIFY2(std::abs(it.key() - e.key()) < 1e-12, qPrintable(QString::number(it.key())));
        QCOMPARE(it.value(), e.value());
    }
    // Two presets are told apart: jet is not grayscale.
    if (type == 0)
        QVERIFY(got != QCPColorGradient(QCPColorGradient::gpGrayscale).colorStops());
}

void TestView3dWindow::ownGradientsKeepDefaultProperties()
{
    for (int type : {4, 5}) {
        const QCPColorGradient g = ::gradientByType(type, false);
        QCOMPARE(g.levelCount(), 350);
        QCOMPARE(g.colorInterpolation(), QCPColorGradient::ciRGB);
        QCOMPARE(g.periodic(), false);
    }
    // A gradient without stops paints everything black.
    QCPColorGradient none = ::gradientByType(9, false);
    QCOMPARE(QColor(none.color(0.5, QCPRange(0, 1))), QColor(Qt::black));
}

// ---------------------------------------------------------------------------
// Textures

void TestView3dWindow::textureSizeAndCorners_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QSize>("size");
    QTest::newRow("4 x 10") << 4 << 10 << QSize(50, 20);
    QTest::newRow("50 x 200") << 50 << 200 << QSize(512, 128);
    QTest::newRow("200 x 50") << 200 << 50 << QSize(128, 512);
    QTest::newRow("150 x 150") << 150 << 150 << QSize(512, 512);
}

// Four quadrants of distinct values; each corner pixel shows its quadrant's
// colour: row 0 at the bottom, column 0 at the left, the image edges on the
// first and last nodes.
void TestView3dWindow::textureSizeAndCorners()
{
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QSize, size);
    vector2D grid(rows, std::vector<data_type>(columns));
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            grid[i][j] = data_type((i >= rows / 2 ? 2 : 0) + (j >= columns / 2 ? 1 : 0));
    QCPColorGradient jet(QCPColorGradient::gpJet);
    const QImage img = render_texture(grid, 0, 3, 1.0, 255, jet);
    QCOMPARE(img.size(), size);
    QCOMPARE(img.format(), QImage::Format_ARGB32);
    const QRgb expected[4] = {jet.color(0, QCPRange(0, 3)), jet.color(1, QCPRange(0, 3)),
                              jet.color(2, QCPRange(0, 3)), jet.color(3, QCPRange(0, 3))};
    const int w = img.width() - 1, h = img.height() - 1;
    QVERIFY(colourDistance(img.pixel(0, h), expected[0]) <= 3);  // row 0, column 0
    QVERIFY(colourDistance(img.pixel(w, h), expected[1]) <= 3);  // row 0, last column
    QVERIFY(colourDistance(img.pixel(0, 0), expected[2]) <= 3);  // last row, column 0
    QVERIFY(colourDistance(img.pixel(w, 0), expected[3]) <= 3);
}

// A gradient whose ends are white (inverted own list A reversed: white in the
// middle; grayscale: white at the top) must not lose its white edge cells.
void TestView3dWindow::textureWhiteStopsAreNotCropped()
{
    const QCPColorGradient gray(QCPColorGradient::gpGrayscale);
    vector2D grid(4, std::vector<data_type>(10, 0.0f));
    for (auto& row : grid) {
        row[0] = row[1] = 1.0f;  // the first two columns white
    }
    const QImage img = render_texture(grid, 0, 1, 1.0, 255, gray);
    QCOMPARE(img.size(), QSize(50, 20));
    QCOMPARE(QColor(img.pixel(0, 10)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(49, 10)), QColor(Qt::black));
}

void TestView3dWindow::textureAlphaAndInversion()
{
    QCPColorGradient jet(QCPColorGradient::gpJet);
    // Left half 0, right half 10: each corner sits in a block of one value.
    vector2D grid(3, std::vector<data_type>(4, 0.0f));
    for (auto& row : grid)
        row[2] = row[3] = 10.0f;
    // direction 0: the lowest value takes the colour of position 1.
    const QImage inverted = render_texture(grid, 0, 10, 0.0, 255, jet);
    QVERIFY(colourDistance(inverted.pixel(0, inverted.height() - 1), jet.color(1, QCPRange(0, 1))) <= 3);
    QVERIFY(colourDistance(inverted.pixel(inverted.width() - 1, 0), jet.color(0, QCPRange(0, 1))) <= 3);
    // Every pixel carries the alpha, and the colours stay those of the gradient.
    const QImage faint = render_texture(grid, 0, 10, 1.0, 100, jet);
    for (int y = 0; y < faint.height(); ++y)
        for (int x = 0; x < faint.width(); ++x)
            QCOMPARE(qAlpha(faint.pixel(x, y)), 100);
    QVERIFY(colourDistance(faint.pixel(0, faint.height() - 1), jet.color(0, QCPRange(0, 1))) <= 3);
    // Automatic range (0, 0): the grid's own.
    const QImage automatic = render_texture(grid, 0, 0, 1.0, 255, jet);
    QVERIFY(colourDistance(automatic.pixel(automatic.width() - 1, 0), jet.color(1, QCPRange(0, 1))) <= 3);
    // Double grids behave alike.
    const field2D doubles{{0, 0, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10}};
    QCOMPARE(render_texture(doubles, 0, 10, 1.0, 255, jet), render_texture(grid, 0, 10, 1.0, 255, jet));
}

void TestView3dWindow::textureOfConstantGridAndSingleRow()
{
    QCPColorGradient jet(QCPColorGradient::gpJet);
    // A constant grid with the automatic range: the middle colour, not nothing.
    const vector2D constant(4, std::vector<data_type>(5, 2.67f));
    const QImage img = render_texture(constant, 0, 0, 1.0, 255, jet);
    QCOMPARE(img.size(), QSize(25, 20));
    QVERIFY(colourDistance(img.pixel(12, 10), jet.color(0.5, QCPRange(0, 1))) <= 3);
    // Equal explicit ends likewise.
    const QImage same = render_texture(constant, 2.67, 2.67, 1.0, 255, jet);
    QVERIFY(colourDistance(same.pixel(12, 10), jet.color(0.5, QCPRange(0, 1))) <= 3);
    // A single row still fills its texture.
    const vector2D row{{0, 0, 3, 3}};
    const QImage thin = render_texture(row, 0, 3, 1.0, 255, jet);
    QCOMPARE(thin.size(), QSize(20, 5));
    QVERIFY(colourDistance(thin.pixel(0, 2), jet.color(0, QCPRange(0, 3))) <= 3);
    QVERIFY(colourDistance(thin.pixel(19, 2), jet.color(3, QCPRange(0, 3))) <= 3);
    QVERIFY(render_texture(vector2D(), 0, 1, 1.0, 255, jet).isNull());
}

// Two layers of very different density side by side: every pixel has the
// colour of one of them (the bar's colour for its value), none a blend of the
// two, and the boundary lies half-way between the last node of one and the
// first of the other.
void TestView3dWindow::textureHasOnlyTheNodesColours()
{
    QCPColorGradient jet(QCPColorGradient::gpJet);
    vector2D grid(6, std::vector<data_type>(8, 2.3f));
    for (auto& row : grid)
        for (int j = 4; j < 8; ++j)
            row[std::size_t(j)] = 2.7f;
    const QImage img = render_texture(grid, 2.3, 2.9, 1.0, 200, jet);
    QCOMPARE(img.size(), QSize(40, 30));
    const QRgb navy = (jet.color(2.3, QCPRange(2.3, 2.9)) & 0xffffffu) | 0xc8000000u;
    const QRgb yellow = (jet.color(2.7, QCPRange(2.3, 2.9)) & 0xffffffu) | 0xc8000000u;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            // Pixel x sits at node position x * 7 / 39: nodes 0 .. 3 up to 3.5.
            const QRgb expected = x * 7.0 / 39.0 < 3.5 ? navy : yellow;
            QVERIFY2(img.pixel(x, y) == expected,
                     qPrintable(QString("pixel (%1, %2) is %3").arg(x).arg(y).arg(img.pixel(x, y), 8, 16)));
        }
    // A NaN node is left out (transparent), its neighbours keep their colours.
    grid[0][0] = std::nanf("");
    const QImage hole = render_texture(grid, 2.3, 2.9, 1.0, 255, jet);
    QCOMPARE(qAlpha(hole.pixel(0, hole.height() - 1)), 0);
    QCOMPARE(hole.pixel(0, 0), (navy & 0xffffffu) | 0xff000000u);
}

void TestView3dWindow::shadedTexture()
{
    // Light 1 on the left column of nodes, 0.5 on the right: the colour is
    // kept on the left edge, halved on the right, in between half-way; the
    // alpha stays.
    QImage img(15, 10, QImage::Format_ARGB32);
    img.fill(QColor(200, 100, 50, 180));
    shade_texture(img, field2D{{1.0, 0.75, 0.5}, {1.0, 0.75, 0.5}});
    QCOMPARE(img.pixel(0, 0), qRgba(200, 100, 50, 180));
    QCOMPARE(img.pixel(14, 9), qRgba(100, 50, 25, 180));
    QCOMPARE(img.pixel(7, 5), qRgba(150, 75, 38, 180));  // node position 1: light 0.75
    // Rows: row 0 of the light is at the bottom of the image.
    QImage rows(10, 10, QImage::Format_ARGB32);
    rows.fill(QColor(200, 200, 200));
    shade_texture(rows, field2D{{0.5, 0.5}, {1.0, 1.0}});
    QCOMPARE(qRed(rows.pixel(0, 9)), 100);
    QCOMPARE(qRed(rows.pixel(0, 0)), 200);
}

// Every pixel repeated k times, k the largest whole number keeping the longer
// side within 512 pixels: the colours and their places stay.
void TestView3dWindow::enlargedTexture()
{
    QImage small(3, 2, QImage::Format_ARGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            small.setPixel(x, y, qRgba(40 * x, 100 * y, 7, 128 + x));
    const QImage big = enlarged_texture(small);
    QCOMPARE(big.size(), QSize(510, 340));  // k = 170
    for (int y = 0; y < big.height(); y += 17)
        for (int x = 0; x < big.width(); x += 13)
            QCOMPARE(big.pixel(x, y), small.pixel(x / 170, y / 170));
    // Already 512 long (or longer): unchanged.
    const QImage wide(512, 20, QImage::Format_ARGB32);
    QCOMPARE(enlarged_texture(wide).size(), QSize(512, 20));
    QCOMPARE(enlarged_texture(QImage(300, 10, QImage::Format_ARGB32)).size(), QSize(300, 10));
    QVERIFY(enlarged_texture(QImage()).isNull());
}

// ---------------------------------------------------------------------------
// Colour-range dialog

void TestView3dWindow::caxisDialogForm()
{
    CaxisDialog d;
    QCOMPARE(d.objectName(), QString("CaxisDialog"));
    QCOMPARE(d.windowTitle(), QString("Color scale"));
    QCOMPARE(d.size(), QSize(311, 159));
    QCOMPARE(field(&d, "min_caxis"), QString("0"));
    QCOMPARE(field(&d, "max_caxis"), QString("1"));
    QCOMPARE(d.findChild<QLineEdit*>("min_caxis")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QCOMPARE(d.findChild<QLabel*>("label")->text(), QString("Min"));
    QCOMPARE(d.findChild<QLabel*>("label_2")->text(), QString("Max"));
    QCOMPARE(d.findChild<QPushButton*>("OKbutton")->text(), QString("Ok"));
    QCOMPARE(d.findChild<QPushButton*>("Cancelbutton")->text(), QString("Cancel"));
    QVERIFY(d.findChild<QWidget*>("layoutWidget"));
    // Tab order: the widgets that take tab focus, from the minimum on.
    QStringList order;
    QWidget* wgt = d.findChild<QLineEdit*>("min_caxis");
    for (int i = 0; i < 50 && order.size() < 4; ++i, wgt = wgt->nextInFocusChain())
        if ((wgt->focusPolicy() & Qt::TabFocus) && !wgt->objectName().isEmpty() && !order.contains(wgt->objectName()))
            order << wgt->objectName();
    QCOMPARE(order, (QStringList{"min_caxis", "max_caxis", "OKbutton", "Cancelbutton"}));
}

void TestView3dWindow::caxisDialogValues()
{
    CaxisDialog d;
    d.setValues({1234567, -0.000123456789});
    QCOMPARE(field(&d, "min_caxis"), QString("1234567"));
    QCOMPARE(field(&d, "max_caxis"), QString("-0.000123456789"));
    d.setValues({5});  // too short: nothing changes
    QCOMPARE(field(&d, "min_caxis"), QString("1234567"));
    d.setValues({2.2, 2.8, 9});
    QCOMPARE(field(&d, "min_caxis"), QString("2.2"));
    QCOMPARE(field(&d, "max_caxis"), QString("2.8"));
}

void TestView3dWindow::caxisDialogOk_data()
{
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("button");
    QTest::addColumn<std::vector<double>>("emitted");  // empty: nothing emitted
    QTest::newRow("ordinary") << "-2" << "2" << "OKbutton" << std::vector<double>{-2, 2};
    QTest::newRow("equal ends") << "5" << "5" << "OKbutton" << std::vector<double>{};
    QTest::newRow("min above max") << "6" << "5" << "OKbutton" << std::vector<double>{};
    QTest::newRow("unreadable min counts as 0") << "abc" << "3" << "OKbutton" << std::vector<double>{0, 3};
    QTest::newRow("both unreadable") << "x" << "y" << "OKbutton" << std::vector<double>{};
    QTest::newRow("infinite max") << "0" << "inf" << "OKbutton" << std::vector<double>{};
    QTest::newRow("not a number") << "nan" << "1" << "OKbutton" << std::vector<double>{};
    QTest::newRow("cancel") << "-2" << "2" << "Cancelbutton" << std::vector<double>{};
}

void TestView3dWindow::caxisDialogOk()
{
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(QString, button);
    QFETCH(std::vector<double>, emitted);
    CaxisDialog d;
    std::vector<std::vector<double>> got;
    bool visibleAtEmission = true;
    connect(&d, &CaxisDialog::set_caxis, [&](std::vector<double> v) {
        got.push_back(v);
        visibleAtEmission = d.isVisible();
    });
    d.show();
    typeAndClick(&d, min, max, qPrintable(button));
    QVERIFY(!d.isVisible());  // closed in every case
    if (emitted.empty()) {
        QVERIFY(got.empty());
    } else {
        QCOMPARE(got.size(), std::size_t(1));
        QCOMPARE(got[0], emitted);
        QVERIFY(!visibleAtEmission);  // the receiver runs after the dialog closed
    }
}

// ---------------------------------------------------------------------------
// Drawing

void TestView3dWindow::show3DgridFixesCropBordersAndStatus()
{
    MainWindow w;
    giveDensity(w, 10, 20, 30);
    w.on_view_dens_triggered();
    QCOMPARE(w.shown_cube, &w.den_grid);
    QCOMPARE(w.shown_x, w.x_norm);
    QCOMPARE(w.shown_z, w.z_norm);
    // left, right, front, back, top, bottom
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 29, 0, 19, 0, 9}}));
    QCOMPARE(w.progress_label->text(), QString("(Nx, Ny, Nz) = (30, 20, 10)"));
    // A bottom beyond the cube is drawn at the last level and kept.
    w.crop_borders[5] = 15;
    w.show3Dgrid();
    QCOMPARE(w.crop_borders[5], 15);
    // View bounds: the grid's nodes.
    QCOMPARE(w.surf->min_x, 0.0);
    QCOMPARE(w.surf->max_x, 2900.0);
    QCOMPARE(w.surf->max_y, 950.0);
    QCOMPARE(w.surf->max_z, 900.0);
    QVERIFY(fake.errors().isEmpty());
}

void TestView3dWindow::show3DgridOnlyConsidersTheCheckedDataSet()
{
    MainWindow w;
    w.Vp_grid.assign(3, vector2D(2, std::vector<data_type>(2, 3000.0f)));
    w.x_vp = {0, 1};
    w.y_vp = {0, 1};
    w.z_vp = {0, 1, 2};
    QVERIFY(w.ui->view_dens->isChecked());
    w.shown_cube = &w.Vp_grid;
    w.show3Dgrid();
    QCOMPARE(w.shown_cube, nullptr);  // density checked but empty: nothing drawn
    w.on_view_Vp_triggered();
    QCOMPARE(w.shown_cube, &w.Vp_grid);
    QCOMPARE(w.shown_y, w.y_vp);
    QVERIFY(w.ui->view_Vp->isChecked());
    QVERIFY(!w.ui->view_dens->isChecked());
    QCOMPARE(w.ui->scale_label->text(), QString::fromUtf8("<html>Vp, м/с </html>"));
}

void TestView3dWindow::show3DgridColourBar_data()
{
    QTest::addColumn<QString>("cube");
    QTest::addColumn<bool>("absReg");
    QTest::addColumn<std::vector<double>>("caxis");
    QTest::addColumn<int>("language");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QString>("title");
    const std::vector<double> none;
    QTest::newRow("density, automatic") << "dens" << true << none << 1 << 2.0 << 2.4
                                        << QString::fromUtf8("<html>σ, g/cm<sup>3</sup> </html>");
    QTest::newRow("density, manual, Russian") << "dens" << true << std::vector<double>{2.2, 2.8} << 0 << 2.2 << 2.8
                                              << QString::fromUtf8("<html>σ, г/см<sup>3</sup> </html>");
    QTest::newRow("Vs, manual") << "Vs" << true << std::vector<double>{2.2, 2.8} << 1 << 2.2 << 2.8
                                << QString("<html>Vs, m/s </html>");
    QTest::newRow("regularizer magnitude") << "reg" << true << std::vector<double>{2.2, 2.8} << 1 << 0.0 << 1.0
                                           << QString("R         ");
    QTest::newRow("signed regularizer") << "reg" << false << std::vector<double>{2.2, 2.8} << 0 << -1.0 << 1.0
                                        << QString("R         ");
}

void TestView3dWindow::show3DgridColourBar()
{
    QFETCH(QString, cube);
    QFETCH(bool, absReg);
    QFETCH(std::vector<double>, caxis);
    QFETCH(int, language);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QString, title);
    MainWindow w;
    w.language = language;
    giveDensity(w);
    w.Vs_grid = w.den_grid;
    w.x_vs = w.x_calc, w.y_vs = w.y_calc, w.z_vs = w.z_calc;
    w.regularizer = w.den_grid;
    for (auto& level : w.regularizer)
        for (auto& row : level)
            for (auto& v : row)
                v = -0.5f;
    w.x_reg = w.x_calc, w.y_reg = w.y_calc, w.z_reg = w.z_calc;
    w.model_caxis = caxis;
    w.modelScaleDirection = 1;
    w.ui->view_abs_reg->setChecked(absReg);
    w.ui->view_init_reg->setChecked(!absReg);
    if (cube == "dens")
        w.on_view_dens_triggered();
    else if (cube == "Vs")
        w.on_view_Vs_triggered();
    else
        w.on_view_reg_triggered();
    QVERIFY(std::abs(w.surf->texture_min - lower) < 1e-6);
    QVERIFY(std::abs(w.surf->texture_max - upper) < 1e-6);
    QCPColorMap* map = colourBarMap(w);
    QVERIFY(map);
    QCOMPARE(w.ui->model_colorscale->plottableCount(), 1);
    QCOMPARE(map->colorScale(), w.model_scale);
    QVERIFY(std::abs(w.model_scale->dataRange().lower - lower) < 1e-6);
    QVERIFY(std::abs(w.model_scale->dataRange().upper - upper) < 1e-6);
    QCOMPARE(w.model_scale->gradient().colorStops(), w.cube_gradient.colorStops());
    QVERIFY(w.model_scale->visible());
    QCOMPARE(w.model_scale->type(), QCPAxis::atRight);
    QVERIFY(w.model_scale->axis()->rangeReversed());
    QVERIFY(w.ui->scale_label->isVisibleTo(&w));
    QCOMPARE(w.ui->scale_label->text(), title);
    // A second redraw keeps one colour map on the bar.
    w.show3Dgrid();
    QCOMPARE(w.ui->model_colorscale->plottableCount(), 1);
}

void TestView3dWindow::constantCubeGetsAUsableRange()
{
    MainWindow w;
    giveDensity(w);
    for (auto& level : w.den_grid)
        for (auto& row : level)
            for (auto& v : row)
                v = 2.5f;
    w.on_view_dens_triggered();
    QVERIFY(w.surf->texture_min < 2.5 && w.surf->texture_max > 2.5);
    QVERIFY(w.model_scale->dataRange().lower < 2.5 && w.model_scale->dataRange().upper > 2.5);
}

void TestView3dWindow::surfaceSizeFromLimitsGridHorizonsAndFaults()
{
    MainWindow w;
    // Horizons only: depth from 0 to the deepest point.
    giveHorizons(w);
    w.updateSurfaceSize();
    QCOMPARE(w.surf->min_x, 0.0);
    QCOMPARE(w.surf->max_x, 300.0);
    QCOMPARE(w.surf->max_y, 100.0);
    QCOMPARE(w.surf->min_z, 0.0);
    QCOMPARE(w.surf->max_z, 280.0);
    // A density grid with y nodes 0 .. 1000 and faults between y -200 and 1200.
    giveDensity(w, 5, 11, 4);
    for (auto& y : w.y_norm)
        y *= 2;  // 0 .. 1000
    w.faults.sticks = {{{QVector3D(50, -200, 100), QVector3D(60, 1200, 300)}}};
    w.faults.names = {"F"};
    w.updateSurfaceSize();
    QCOMPARE(w.surf->min_x, 0.0);
    QCOMPARE(w.surf->max_x, 300.0);
    QCOMPARE(w.surf->min_y, -200.0);
    QCOMPARE(w.surf->max_y, 1200.0);
    QCOMPARE(w.surf->min_z, 0.0);
    QCOMPARE(w.surf->max_z, 400.0);
    // Window limits win and ignore the faults.
    w.window_limits = {1, 2, 3, 4, 5, 6};
    w.updateSurfaceSize();
    QCOMPARE(w.surf->min_y, 3.0);
    QCOMPARE(w.surf->max_z, 6.0);
}

void TestView3dWindow::showHorizonsColourBar()
{
    MainWindow w;
    giveHorizons(w);
    w.on_view_horizons_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(w.ui->edit_horizons->isEnabled());
    QVERIFY(!w.ui->changeView->isEnabled());
    // Individual level (the start state): no colour bar, an empty label.
    QVERIFY(!w.model_scale->visible());
    QCOMPARE(w.ui->scale_label->text(), QString());
    // Common level by depth: the bar shows the depth range of all horizons.
    w.on_common_coloring_level_triggered();
    QVERIFY(w.model_scale->visible());
    QCOMPARE(w.ui->scale_label->text(), QString("<html> h, m</html>"));
    QCOMPARE(w.model_scale->dataRange(), QCPRange(0, 280));
}

// Density colouring needs layer maps of the current grid: with horizons on
// another geometry the horizons are coloured by depth, and the bar says so.
void TestView3dWindow::showHorizonsByDensityNeedsMatchingMaps()
{
    MainWindow w;
    giveDensity(w);
    giveHorizons(w);
    w.ui->view_horizons->setChecked(true);
    w.ui->view_cube->setChecked(false);
    w.on_common_coloring_level_triggered();
    w.on_color_by_density_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(w.ui->color_by_density->isChecked());
    QCOMPARE(w.ui->scale_label->text(), QString::fromUtf8("<html> σ, g/cm<sup>3</sup> </html>"));
    QCOMPARE(w.lateral_densities.size(), w.horizons.size());
    QVERIFY(std::abs(w.model_scale->dataRange().lower - 2.0) < 1e-6);
    QVERIFY(std::abs(w.model_scale->dataRange().upper - 2.4) < 1e-6);
    // Horizons on another geometry (5 columns): no maps of this grid.
    giveHorizons(w, 3, 5);
    w.showHorizons();
    QCOMPARE(w.ui->scale_label->text(), QString("<html> h, m</html>"));
    QCOMPARE(w.model_scale->dataRange(), QCPRange(0, 290));
}

void TestView3dWindow::combinedViewKeepsTheCubeColourBar()
{
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    giveHorizons(w);
    w.on_view_cube_horizons_triggered();
    QVERIFY(w.ui->view_cube_horizons->isChecked());
    QVERIFY(w.ui->color_by_density->isChecked());
    QVERIFY(!w.ui->color_by_depth->isChecked());
    QVERIFY(w.ui->common_coloring_level->isChecked());
    QVERIFY(!w.ui->individual_coloring_level->isChecked());
    QVERIFY(w.ui->edit_horizons->isEnabled());
    QVERIFY(w.ui->changeView->isEnabled());
    QCOMPARE(w.ui->scale_label->text(), QString::fromUtf8("<html>σ, g/cm<sup>3</sup> </html>"));
    QCOMPARE(w.horizons_over_cube, false);
    // Without a cube the combined view is refused after its state changes.
    MainWindow empty;
    empty.language = 1;
    giveHorizons(empty);
    empty.on_view_cube_horizons_triggered();
    QCOMPARE(fake.errors(), QStringList{"3D grid is empty"});
    QVERIFY(!empty.ui->edit_horizons->isEnabled());
}

void TestView3dWindow::normalizedDataFromHorizonsOnly()
{
    MainWindow w;
    giveHorizons(w);
    w.norm_factors.exponent = {{1, 1, 1}};
    w.update_normalized_data();
    QCOMPARE(w.maxZ, 280.0);
    QCOMPARE(w.minZ, 0.0);
    QCOMPARE(w.dz, 2.8);
    QCOMPARE(w.model_bounds[4], 0.0);
    QCOMPARE(w.model_bounds[5], 280.0);
    QCOMPARE(w.x_norm, (std::vector<double>{0, 100, 200, 300}));
    QCOMPARE(w.y_calc, (std::vector<double>{0, 50, 100}));
    QCOMPARE(w.norm_factors.exponent, (std::array<int, 3>{{0, 0, 0}}));
    QCOMPARE(w.surf->max_x, 300.0);
    QCOMPARE(w.surf->max_z, 280.0);
    // With a density grid it does nothing.
    giveDensity(w);
    w.maxZ = 7;
    w.update_normalized_data();
    QCOMPARE(w.maxZ, 7.0);
}

// ---------------------------------------------------------------------------
// View commands

void TestView3dWindow::dataSetCommandsRefuseEmptyCubes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::newRow("dens en") << "view_dens" << 1 << "Density model is empty";
    QTest::newRow("dens ru") << "view_dens" << 0 << QString::fromUtf8("Плотностная модель не заргужена в проект");
    QTest::newRow("Vp en") << "view_Vp" << 1 << "Vp model is empty";
    QTest::newRow("Vp ru") << "view_Vp" << 0 << QString::fromUtf8("Модель Vp не заргужена в проект");
    QTest::newRow("Vs en") << "view_Vs" << 1 << "Vs model is empty";
    QTest::newRow("Vs ru") << "view_Vs" << 0 << QString::fromUtf8("Модель Vs не заргужена в проект");
    QTest::newRow("reg en") << "view_reg" << 1 << "Regularizer is empty";
    QTest::newRow("reg ru") << "view_reg" << 0 << QString::fromUtf8("Регуляризатор не заргужен в проект");
    QTest::newRow("cube en") << "view_cube" << 1 << "3D grid is empty";
    QTest::newRow("cube ru") << "view_cube" << 0 << QString::fromUtf8("В проекте нет ни одного 3D грида");
    QTest::newRow("horizons en") << "view_horizons" << 1 << "Horizons are empty";
    QTest::newRow("horizons ru") << "view_horizons" << 0 << QString::fromUtf8("Горизонты не загружены в проект");
    QTest::newRow("density colouring en") << "color_by_density" << 1 << "3D density grid is empty";
    QTest::newRow("density colouring ru") << "color_by_density" << 0 << QString::fromUtf8("3D грид плотности пуст");
}

void TestView3dWindow::dataSetCommandsRefuseEmptyCubes()
{
    QFETCH(QString, action);
    QFETCH(int, language);
    QFETCH(QString, message);
    MainWindow w;
    w.language = language;
    QAction* a = w.findChild<QAction*>(action);
    QVERIFY(a);
    a->setChecked(true);
    QMetaObject::invokeMethod(&w, qPrintable("on_" + action + "_triggered"), Qt::DirectConnection);
    QCOMPARE(fake.errors(), QStringList{message});
    if (action.startsWith("view_") && action != "view_cube" && action != "view_horizons")
        QVERIFY(!a->isChecked());  // the refused data set is unchecked
    if (action == "view_horizons") {
        QVERIFY(a->isChecked());   // stays checked
        QVERIFY(!w.ui->edit_horizons->isEnabled());
    }
    if (action == "color_by_density") {
        QVERIFY(!a->isChecked());
        QVERIFY(w.ui->color_by_depth->isChecked());
    }
}

void TestView3dWindow::dataSetCommandSwitchesToCubeView()
{
    MainWindow w;
    giveDensity(w);
    giveHorizons(w);
    w.on_view_horizons_triggered();
    QVERIFY(w.ui->edit_horizons->isEnabled());
    w.surf->setAlpha(10);
    w.Vp_grid = w.den_grid;
    w.x_vp = w.x_calc, w.y_vp = w.y_calc, w.z_vp = w.z_calc;
    w.on_view_Vp_triggered();
    QVERIFY(w.ui->view_Vp->isChecked());
    for (QAction* other : {w.ui->view_dens, w.ui->view_Vs, w.ui->view_reg})
        QVERIFY(!other->isChecked());
    QVERIFY(w.ui->view_cube->isChecked());
    QVERIFY(!w.ui->view_horizons->isChecked());
    QVERIFY(!w.ui->view_cube_horizons->isChecked());
    QVERIFY(!w.ui->edit_horizons->isEnabled());
    QVERIFY(w.ui->changeView->isEnabled());
    QCOMPARE(w.surf->alpha, 255);
    QCOMPARE(w.shown_cube, &w.Vp_grid);
    // A refused data set keeps the shown cube.
    w.on_view_Vs_triggered();
    QCOMPARE(w.shown_cube, &w.Vp_grid);
    QVERIFY(w.ui->view_Vp->isChecked());
}

void TestView3dWindow::viewModeCommands()
{
    MainWindow w;
    giveDensity(w);
    w.on_view_horizons_triggered();  // no horizons
    QVERIFY(w.ui->view_horizons->isChecked());
    QVERIFY(!w.ui->view_cube->isChecked());
    QVERIFY(!w.ui->changeView->isEnabled());
    w.on_view_cube_triggered();
    QVERIFY(w.ui->view_cube->isChecked());
    QVERIFY(!w.ui->view_horizons->isChecked());
    QVERIFY(w.ui->changeView->isEnabled());
    QCOMPARE(w.shown_cube, &w.den_grid);
    QCOMPARE(fake.errors().size(), 1);
}

void TestView3dWindow::colouringCommands()
{
    MainWindow w;
    giveDensity(w);
    giveHorizons(w);
    w.on_view_horizons_triggered();
    w.on_color_by_density_triggered();
    QVERIFY(w.ui->color_by_density->isChecked());
    QVERIFY(!w.ui->color_by_depth->isChecked());
    w.on_color_by_depth_triggered();
    QVERIFY(!w.ui->color_by_density->isChecked());
    QVERIFY(w.ui->color_by_depth->isChecked());
    w.on_common_coloring_level_triggered();
    QVERIFY(w.ui->common_coloring_level->isChecked());
    QVERIFY(!w.ui->individual_coloring_level->isChecked());
    QCOMPARE(w.model_scale->dataRange(), QCPRange(0, 280));
    w.on_individual_coloring_level_triggered();
    QVERIFY(!w.ui->common_coloring_level->isChecked());
    QVERIFY(w.ui->individual_coloring_level->isChecked());
    QVERIFY(!w.model_scale->visible());
    QVERIFY(fake.errors().isEmpty());
}

void TestView3dWindow::regularizerSignCommands()
{
    MainWindow w;
    giveDensity(w);
    w.regularizer = w.den_grid;
    w.x_reg = w.x_calc, w.y_reg = w.y_calc, w.z_reg = w.z_calc;
    w.on_view_reg_triggered();
    QCOMPARE(w.surf->texture_min, 0.0);
    w.on_view_init_reg_triggered();
    QVERIFY(!w.ui->view_abs_reg->isChecked());
    QVERIFY(w.ui->view_init_reg->isChecked());
    QCOMPARE(w.surf->texture_min, -1.0);
    w.on_view_abs_reg_triggered();
    QVERIFY(w.ui->view_abs_reg->isChecked());
    QVERIFY(!w.ui->view_init_reg->isChecked());
    QCOMPARE(w.surf->texture_min, 0.0);
    // Without the regularizer shown the sign commands do not redraw.
    w.on_view_dens_triggered();
    w.surf->texture_min = 42;
    w.on_view_init_reg_triggered();
    QCOMPARE(w.surf->texture_min, 42.0);
}

// ---------------------------------------------------------------------------
// Colour ranges

void TestView3dWindow::modelCaxisMenuAndDialog()
{
    MainWindow w;
    w.language = 1;
    giveDensity(w);
    w.on_view_dens_triggered();
    // Only the right button opens the menu.
    QMouseEvent left(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    w.colorbarClicked(&left);
    QVERIFY(!openedMenu(w));
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    w.colorbarClicked(&right);
    QMenu* menu = openedMenu(w);
    QVERIFY(menu);
    QCOMPARE(itemTexts(menu), (QStringList{"Auto [x]", "Manual"}));
    // Manual: the dialog shows the cube's limits; confirming {2.2, 2.8} redraws.
    QAction* manual = menu->actions().at(1);
    QString shownMin, shownMax;
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shownMin = field(d, "min_caxis");
            shownMax = field(d, "max_caxis");
            typeAndClick(d, "2.2", "2.8", "OKbutton");
        },
        [&] { manual->trigger(); }));
    QCOMPARE(shownMin, QString("2"));
    QCOMPARE(shownMax, QString("2.4"));
    QCOMPARE(w.model_caxis, (std::vector<double>{2.2, 2.8}));
    QCOMPARE(w.surf->texture_min, 2.2);
    QVERIFY(std::abs(w.model_scale->dataRange().upper - 2.8) < 1e-12);
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The menu now checks "Manual" (Russian texts with language 0).
    w.language = 0;
    w.colorbarClicked(&right);
    menu = openedMenu(w);
    QVERIFY(menu);
    QCOMPARE(itemTexts(menu), (QStringList{QString::fromUtf8("Автоматически"), QString::fromUtf8("Вручную [x]")}));
    // Equal ends change nothing; the dialog shows the stored range.
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shownMin = field(d, "min_caxis");
            typeAndClick(d, "5", "5", "OKbutton");
        },
        [&] { menu->actions().at(1)->trigger(); }));
    QCOMPARE(shownMin, QString("2.2"));
    QCOMPARE(w.model_caxis, (std::vector<double>{2.2, 2.8}));
    // Auto empties the range and redraws with the cube's limits.
    menu->actions().at(0)->trigger();
    QVERIFY(w.model_caxis.empty());
    QVERIFY(std::abs(w.surf->texture_max - 2.4) < 1e-6);
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!openedMenu(w));
}

void TestView3dWindow::modelCaxisDialogShowsCubeLimits()
{
    MainWindow w;
    giveDensity(w);
    w.den_grid[0][0][0] = 1234567.0f;
    w.on_view_dens_triggered();
    QString shownMax;
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shownMax = field(d, "max_caxis");
            typeAndClick(d, "1", "2", "Cancelbutton");
        },
        [&] { w.manualModelCaxis(); }));
    QCOMPARE(shownMax, QString("1234567"));
    QVERIFY(w.model_caxis.empty());
    // Horizons view: a manual range redraws the horizons.
    giveHorizons(w);
    w.on_view_horizons_triggered();
    w.on_common_coloring_level_triggered();
    w.on_color_by_density_triggered();
    w.setModelCaxis({1.5, 3.5});
    QCOMPARE(w.model_scale->dataRange(), QCPRange(1.5, 3.5));
    w.setModelCaxis({3, 1});  // never stored
    QCOMPARE(w.model_caxis, (std::vector<double>{1.5, 3.5}));
}

void TestView3dWindow::observedCaxisMenuAndDialog()
{
    MainWindow w;
    w.language = 1;
    w.Vz_observed = {{1, 2, 3}, {4, 5, 6}};
    w.observed_params = {3, 2, 0, 200, 0, 100};
    w.on_observed_axes_customContextMenuRequested(QPoint(3, 3));
    QMenu* menu = openedMenu(w);
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 1);
    QMenu* scale = menu->actions().at(0)->menu();
    QVERIFY(scale);
    QCOMPARE(scale->title(), QString("Color scale"));
    QCOMPARE(itemTexts(scale), (QStringList{"Auto [x]", "Manual"}));
    QString shown;
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shown = field(d, "min_caxis") + " " + field(d, "max_caxis");
            typeAndClick(d, "-3", "7", "OKbutton");
        },
        [&] { scale->actions().at(1)->trigger(); }));
    QCOMPARE(shown, QString("1 6"));
    QCOMPARE(w.observed_caxis, (std::vector<double>{-3, 7}));
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    w.language = 0;
    w.on_observed_axes_customContextMenuRequested(QPoint(3, 3));
    menu = openedMenu(w);
    scale = menu->actions().at(0)->menu();
    QCOMPARE(scale->title(), QString::fromUtf8("Цветовая шкала"));
    QCOMPARE(itemTexts(scale), (QStringList{QString::fromUtf8("Автоматически"), QString::fromUtf8("Вручную [x]")}));
    scale->actions().at(0)->trigger();
    QVERIFY(w.observed_caxis.empty());
    menu->close();
}

void TestView3dWindow::calcCaxisModes()
{
    MainWindow w;
    w.Vz_observed = {{10, 12}, {14, 16}};  // mean 13
    w.Vz_calculated = {{0, 1}, {2, 5}};    // mean 2
    w.observed_params = w.calculated_params = {2, 2, 0, 1, 0, 1};
    QVERIFY(w.calc_caxis_from_obs);
    // Automatic: the calculated field shifted by 13 - 2 as the map draws it.
    QString shown;
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shown = field(d, "min_caxis") + " " + field(d, "max_caxis");
            typeAndClick(d, "-2", "2", "OKbutton");
        },
        [&] { w.manualCalcCaxis(); }));
    QCOMPARE(shown, QString("11 16"));
    QCOMPARE(w.calc_caxis, (std::vector<double>{-2, 2}));
    QVERIFY(!w.calc_caxis_from_obs);
    w.fitCalcToObsCaxis();
    QVERIFY(w.calc_caxis_from_obs);
    QCOMPARE(w.calc_caxis, (std::vector<double>{-2, 2}));  // kept
    w.autoCalcCaxis();
    QVERIFY(w.calc_caxis.empty());
    QVERIFY(!w.calc_caxis_from_obs);
    w.setObservedCaxis({1, 2});
    QCOMPARE(w.observed_caxis, (std::vector<double>{1, 2}));
    w.autoObservedCaxis();
    QVERIFY(w.observed_caxis.empty());
    // Without an observed field: the calculated field's own limits.
    w.Vz_observed.clear();
    QVERIFY(workCaxisDialog(
        [&](CaxisDialog* d) {
            shown = field(d, "min_caxis") + " " + field(d, "max_caxis");
            typeAndClick(d, "0", "0", "Cancelbutton");
        },
        [&] { w.manualCalcCaxis(); }));
    QCOMPARE(shown, QString("0 5"));
}

void TestView3dWindow::caxisDialogsOpenWithoutData()
{
    MainWindow w;
    for (auto slot : {&MainWindow::manualModelCaxis, &MainWindow::manualObservedCaxis, &MainWindow::manualCalcCaxis}) {
        QString shown;
        QVERIFY(workCaxisDialog(
            [&](CaxisDialog* d) {
                shown = field(d, "min_caxis") + " " + field(d, "max_caxis");
                d->findChild<QPushButton*>("Cancelbutton")->click();
            },
            [&] { (w.*slot)(); }));
        QCOMPARE(shown, QString("0 1"));
    }
    QVERIFY(w.model_caxis.empty() && w.observed_caxis.empty() && w.calc_caxis.empty());
}

QTEST_MAIN(TestView3dWindow)
#include "tst_view3d_window.moc"
