// The vertical scale and the window limits on a display with OpenGL (run
// under Xvfb): the graph's aspect ratio set from "Pixels" and "Distance"
// values, Cancel handing back the ratio found at opening, and the window
// limits on the 3D axes and both maps, cleared by "Auto".
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QValue3DAxis>

#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views_test_support.h"
#include "views/scalexyzdialog.h"
#include "views/surf.h"

using namespace QtDataVisualization;

namespace {

using namespace views_test;

// x 0 .. 10000 (11 nodes), y 0 .. 5000 (6), depth 0 .. 2000 (5): H = 10000,
// V = 2000; an observed field on the same x and y nodes.
void giveModel(MainWindow& w)
{
    giveDensityCube(w, nodes(11, 0, 1000), nodes(6, 0, 1000), nodes(5, 0, 500),
                    [](int k, int j, int i) { return k == 2 && j == 3 && i == 4 ? 2.9f : 2.5f; });
    w.Vz_observed.assign(6, std::vector<double>(11, 1.0));
    w.Vz_observed[2][2] = 3;
    w.observed_params = {11, 6, 0, 10000, 0, 5000, 1, 3};
    w.ui->maps_equal_xy->setChecked(false);
}

ScaleXYZDialog* openScale(MainWindow& w)
{
    w.on_actionZ_XY_triggered();
    const auto dialogs = w.findChildren<ScaleXYZDialog*>();
    return dialogs.isEmpty() ? nullptr : dialogs.last();
}

QLineEdit* input(ScaleXYZDialog* d)
{
    return d->findChild<QLineEdit*>("input_scale");
}

QComboBox* type(ScaleXYZDialog* d)
{
    return d->findChild<QComboBox*>("scaling_type");
}

// An axis range of [lo - 2.5 % span, hi + 2.5 % span].
void checkAxis(QValue3DAxis* axis, double lo, double hi)
{
    const double pad = 0.025 * (hi - lo);
    QCOMPARE(axis->min(), float(lo - pad));
    QCOMPARE(axis->max(), float(hi + pad));
}

}  // namespace

class TestScaleGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void opensWithTheGraphsRatio();
    void pixelsAndDistance_data();
    void pixelsAndDistance();
    void returnKeepsTheDialogOpen();
    void cancelRestoresTheOpeningRatio();
    void noZeroRatio();
    void typeIsRemembered();
    void limitsOnTheAxesAndMaps();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<MainWindow> makeShownWindow();
};

void TestScaleGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

std::unique_ptr<MainWindow> TestScaleGui::makeShownWindow()
{
    auto w = shownMainWindow({1000, 700});
    if (w) {
        giveModel(*w);
        w->on_view_dens_triggered();
    }
    return w;
}

void TestScaleGui::opensWithTheGraphsRatio()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    w->graph->setAspectRatio(2.0);
    w->language = 1;
    ScaleXYZDialog* d = openScale(*w);
    QVERIFY(d);
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    QCOMPARE(type(d)->currentIndex(), 0);
    QCOMPARE(type(d)->itemText(1), QString("Distance"));
    QCOMPARE(input(d)->text(), QString("0.5"));  // "Pixels": 1 / ratio
    // The same ratio against the true spans (H / V = 5).
    type(d)->setCurrentIndex(1);
    QCOMPARE(input(d)->text(), QString("2.5"));
    QCOMPARE(w->graph->aspectRatio(), 2.0);  // switching the type applies nothing
}

void TestScaleGui::pixelsAndDistance_data()
{
    QTest::addColumn<int>("typeIndex");
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("ratio");
    QTest::newRow("pixels 2") << 0 << "2" << 0.5;
    QTest::newRow("pixels 0.5") << 0 << "0.5" << 2.0;
    QTest::newRow("distance 1: true proportions") << 1 << "1" << 5.0;
    QTest::newRow("distance 2") << 1 << "2" << 2.5;
}

void TestScaleGui::pixelsAndDistance()
{
    QFETCH(int, typeIndex);
    QFETCH(QString, value);
    QFETCH(double, ratio);
    auto w = makeShownWindow();
    QVERIFY(w);
    QPointer<ScaleXYZDialog> d = openScale(*w);
    QVERIFY(d);
    type(d)->setCurrentIndex(typeIndex);
    input(d)->setText(value);
    d->findChild<QPushButton*>("OkButton")->click();
    QCOMPARE(w->graph->aspectRatio(), ratio);
    QCOMPARE(w->z_scale_type, typeIndex);
    QTRY_VERIFY(d.isNull());
}

void TestScaleGui::returnKeepsTheDialogOpen()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    QPointer<ScaleXYZDialog> d = openScale(*w);
    QVERIFY(d);
    input(d)->setText("4");
    QTest::keyClick(input(d), Qt::Key_Return);
    QCOMPARE(w->graph->aspectRatio(), 0.25);
    QVERIFY(!d.isNull());
    QVERIFY(d->isVisible());
    input(d)->setText("2");
    QTest::keyClick(input(d), Qt::Key_Return);
    QCOMPARE(w->graph->aspectRatio(), 0.5);
    d->close();
}

// Cancel gives back the ratio of the opening exactly, also a fractional one
// below 1.
void TestScaleGui::cancelRestoresTheOpeningRatio()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    w->graph->setAspectRatio(0.4);
    QPointer<ScaleXYZDialog> d = openScale(*w);
    QVERIFY(d);
    input(d)->setText("1");
    QTest::keyClick(input(d), Qt::Key_Return);
    QCOMPARE(w->graph->aspectRatio(), 1.0);
    d->findChild<QPushButton*>("CancelButton")->click();
    QCOMPARE(w->graph->aspectRatio(), 0.4);
    QTRY_VERIFY(d.isNull());
}

void TestScaleGui::noZeroRatio()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    w->graph->setAspectRatio(3.0);
    w->setScale(0, 0);
    w->setScale(0, -1);
    w->setScale(1, 0);
    w->setInitScale(0);
    QCOMPARE(w->graph->aspectRatio(), 3.0);
    // "Distance" with an empty view (no spans) changes nothing either.
    w->surf->clearSurfaces();
    w->setScale(1, 1);
    QCOMPARE(w->graph->aspectRatio(), 3.0);
    w->setScale(0, 4);
    QCOMPARE(w->graph->aspectRatio(), 0.25);
}

void TestScaleGui::typeIsRemembered()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    w->setScale(1, 2);  // ratio 2.5
    QCOMPARE(w->graph->aspectRatio(), 2.5);
    ScaleXYZDialog* d = openScale(*w);
    QVERIFY(d);
    QCOMPARE(type(d)->currentIndex(), 1);
    QCOMPARE(input(d)->text(), QString("2"));
    d->close();
    // Without spans (an empty view) the ratio is shown in pixels.
    w->surf->clearSurfaces();
    d = openScale(*w);
    QVERIFY(d);
    QCOMPARE(type(d)->currentIndex(), 0);
    QCOMPARE(input(d)->text(), QString("0.4"));
    d->close();
}

void TestScaleGui::limitsOnTheAxesAndMaps()
{
    auto w = makeShownWindow();
    QVERIFY(w);
    checkAxis(w->graph->axisX(), 0, 10000);
    checkAxis(w->graph->axisZ(), 0, 5000);
    checkAxis(w->graph->axisY(), 0, 2000);
    // Narrower than the cube, through the dialog.
    fake->onDialog = [](QDialog* dialog) {
        const QStringList v{"2000", "6000", "1000", "3000", "500", "1500"};
        const char* names[] = {"inputXmin", "inputXmax", "inputYmin", "inputYmax", "inputZmin", "inputZmax"};
        for (int i = 0; i < 6; ++i)
            dialog->findChild<QLineEdit*>(names[i])->setText(v[i]);
        dialog->findChild<QPushButton*>("OkButton")->click();
        return dialog->result();
    };
    w->on_view_limits_triggered();
    checkAxis(w->graph->axisX(), 2000, 6000);
    checkAxis(w->graph->axisZ(), 1000, 3000);
    checkAxis(w->graph->axisY(), 500, 1500);
    QCOMPARE(w->ui->observed_axes->xAxis->range(), QCPRange(2000, 6000));
    QCOMPARE(w->ui->observed_axes->yAxis->range(), QCPRange(1000, 3000));
    // The cube is cut at the limit planes: all six faces are drawn, each at
    // the first or last node inside the limits.
    auto faceAt = [&](int position) { return w->surf->surfaces[position]->dataProxy()->itemAt(0, 0)->position(); };
    auto checkFaces = [&]() {
        QCOMPARE(w->graph->seriesList().size(), 6);
        QCOMPARE(w->surf->surfaces.size(), 6);
        QCOMPARE(faceAt(0).y(), 1500.0f);  // bottom
        QCOMPARE(faceAt(1).y(), 500.0f);   // top
        QCOMPARE(faceAt(2).x(), 2000.0f);  // left
        QCOMPARE(faceAt(3).x(), 6000.0f);  // right
        QCOMPARE(faceAt(4).z(), 3000.0f);  // back
        QCOMPARE(faceAt(5).z(), 1000.0f);  // front
    };
    checkFaces();
    // They stay so through the redraws of the view commands.
    w->on_view_cube_triggered();
    checkAxis(w->graph->axisX(), 2000, 6000);
    checkFaces();
    // Wider than the cube, in the combined view.
    w->horizons = {field2D(6, std::vector<double>(11, 0.0)), field2D(6, std::vector<double>(11, 800.0))};
    w->horizons_params = {11, 6, 0, 10000, 0, 5000};
    w->densities = {2.0, 2.5};
    w->fixed = {false, false};
    w->layers_names = {QString(), QString()};
    w->on_view_cube_horizons_triggered();
    std::vector<double> wide{-5000, 15000, -1000, 6000, 0, 3000};
    w->setWindowSize(wide);
    checkAxis(w->graph->axisX(), -5000, 15000);
    checkAxis(w->graph->axisY(), 0, 3000);
    QCOMPARE(w->graph->seriesList().size(), 7);
    // "Auto" fits the data again.
    w->on_auto_window_size_triggered();
    QVERIFY(w->window_limits.empty());
    checkAxis(w->graph->axisX(), 0, 10000);
    checkAxis(w->graph->axisZ(), 0, 5000);
    checkAxis(w->graph->axisY(), 0, 2000);
    QCOMPARE(w->ui->observed_axes->xAxis->range(), QCPRange(0, 10000));
    QVERIFY(fake->errors().isEmpty());
}

QTEST_MAIN(TestScaleGui)
#include "tst_scale_gui.moc"
