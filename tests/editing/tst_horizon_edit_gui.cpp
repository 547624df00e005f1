// Horizon editing as the user does it, on a display with OpenGL (run under
// Xvfb): the Edit command opens the brush dialog, a click on the map picks a
// node, Down and Up on the 3D graph move the horizon with the density grid
// following, and Quit ends the editing.
#include <QtTest>

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "editing/horizonseditingdialog.h"
#include "fake_interaction.h"
#include "horizon_edit_support.h"
#include "views/surf.h"

namespace {

using namespace horizon_edit_test;

// The layered model and an observed field.
void giveModel(MainWindow& w)
{
    giveLayeredModel(w);
    w.Vz_observed = constant(9, 9, 1);
    w.Vz_observed[2][3] = 2;
    w.observed_params = w.horizons_params;
}

void pressOnGraph(MainWindow& w, Qt::Key key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w.graph, &press);
}

}  // namespace

class TestHorizonEditGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void editWithTheMouseAndTheKeys();

private:
    FakeInteraction fake;
};

void TestHorizonEditGui::initTestCase()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal")
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestHorizonEditGui::editWithTheMouseAndTheKeys()
{
    MainWindow w;
    w.resize(1200, 900);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.graph);
    giveModel(w);
    w.ui->maps_equal_xy->setChecked(false);
    w.ui->show_top->setChecked(true);
    w.plotObserved();
    w.ui->view_horizons->trigger();  // the horizons view enables editing
    QVERIFY(w.ui->view_horizons->isChecked());
    QVERIFY(w.ui->edit_horizons->isEnabled());
    QCOMPARE(w.surf->surfaces.size(), 3);

    // Edit: the dialog opens beside the window; a wider, stronger brush is set.
    w.ui->edit_horizons->trigger();
    QVERIFY(w.ui->edit_horizons->isChecked());
    HorizonsEditingDialog* d = w.horizons_editing_dialog;
    QVERIFY(d && d->isVisible() && !d->isModal());
    d->findChild<QLineEdit*>("input_Rx")->setText("120");
    d->findChild<QLineEdit*>("input_Ry")->setText("120");
    d->findChild<QLineEdit*>("input_A")->setText("80");
    QTest::mouseClick(d->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    QCOMPARE(w.horizon_edit_params, (std::vector<double>{120, 120, 0.5, 80}));

    // A click on the map picks node (row 4, column 6) of horizon 1 and draws the brush.
    QCustomPlot* plot = w.ui->observed_axes;
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier,
                      QPoint(qRound(plot->xAxis->coordToPixel(305)), qRound(plot->yAxis->coordToPixel(205))));
    QCOMPARE(w.selected_horizon, 1);
    QCOMPARE(w.selected_row, 4);
    QCOMPARE(w.selected_column, 6);
    QCOMPARE(w.clicked_x, 300.0);
    QCOMPARE(w.clicked_y, 200.0);
    QVERIFY(plot->itemCount() > 0);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(4, 6));

    // Down on the graph: 80 m deeper at the node; the levels at 300 m
    // passed there now hold the layer above.
    pressOnGraph(w, Qt::Key_Down);
    QCOMPARE(w.horizons[1][4][6], 330.0);
    QCOMPARE(w.horizons[1][4][3], 250.0);  // outside the brush
    QCOMPARE(w.den_grid[3][4][6], 1.0f);
    QCOMPARE(w.den_grid[4][4][6], 2.0f);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(4, 6));  // still picked after the redraw

    // Up twice: 80 m above where it started; 200 m now lies below it.
    pressOnGraph(w, Qt::Key_Up);
    pressOnGraph(w, Qt::Key_Up);
    QCOMPARE(w.horizons[1][4][6], 170.0);
    QCOMPARE(w.den_grid[2][4][6], 2.0f);
    QCOMPARE(w.den_grid[3][4][6], 2.0f);
    QCOMPARE(w.den_grid[1][4][6], 1.0f);
    QVERIFY(fake.notes.isEmpty());

    // Quit ends the editing: the keys do nothing more and the brush is gone.
    QTest::mouseClick(d->findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
    QVERIFY(!w.ui->edit_horizons->isChecked());
    QVERIFY(w.horizons_editing_dialog == nullptr);
    QCOMPARE(plot->itemCount(), 0);
    pressOnGraph(w, Qt::Key_Down);
    QCOMPARE(w.horizons[1][4][6], 170.0);
}

QTEST_MAIN(TestHorizonEditGui)
#include "tst_horizon_edit_gui.moc"
