// Picking a horizon node between the maps and the 3D view, on a display with
// OpenGL (run under Xvfb): a map click selects the node on the horizon's
// series, a node picked in the 3D view moves the brush, and the arrow keys
// pressed on the 3D graph keep the node selected across the redraw.
#include <QtTest>

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views/surf.h"

using namespace QtDataVisualization;

namespace {

field2D flat(double depth) { return field2D(3, std::vector<double>(4, depth)); }

// Three horizons on 3 rows (y 0 .. 200) by 4 columns (x 0 .. 300), an observed
// field on the same nodes, and one surface series per horizon in the 3D view
// (all three, as with "Show top" checked).
void giveHorizons(MainWindow& w)
{
    w.horizons = {flat(0), flat(100), flat(300)};
    w.horizons_params = {4, 3, 0, 300, 0, 200};
    w.densities = {2, 2.1, 2.2};
    w.fixed = {false, false, false};
    w.layers_names = {QString(), QString(), QString()};
    w.Vz_observed = flat(10);
    w.Vz_observed[1][2] = 12;
    w.observed_params = w.horizons_params;
}

void addSeries(MainWindow& w)
{
    for (const field2D& h : w.horizons) {
        auto* data = new QSurfaceDataArray;
        for (int i = 0; i < 3; ++i) {
            auto* row = new QSurfaceDataRow(4);
            for (int j = 0; j < 4; ++j)
                (*row)[j].setPosition(QVector3D(100.0f * j, float(h[i][j]), 100.0f * i));
            data->append(row);
        }
        auto* series = new QSurface3DSeries;
        series->dataProxy()->resetArray(data);
        w.graph->addSeries(series);
        w.surf->surfaces.append(series);
        w.surf->proxies.append(series->dataProxy());
    }
}

}  // namespace

class TestMapsGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.clear(); }
    void mapClickSelectsTheNodeInTheView();
    void nodePickedInTheViewMovesTheBrush();
    void arrowKeysOnTheGraphKeepTheSelection();

private:
    FakeInteraction fake;
};

void TestMapsGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestMapsGui::mapClickSelectsTheNodeInTheView()
{
    auto window = shownMainWindow({1200, 900});
    QVERIFY(window);
    MainWindow& w = *window;
    giveHorizons(w);
    addSeries(w);
    w.ui->maps_equal_xy->setChecked(false);
    w.window_limits = {-100, 400, -100, 300};
    w.plotObserved();
    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    w.ui->show_top->setChecked(true);
    QCustomPlot* plot = w.ui->observed_axes;
    auto click = [&](double x, double y) {
        QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier,
                          QPoint(qRound(plot->xAxis->coordToPixel(x)), qRound(plot->yAxis->coordToPixel(y))));
    };

    // Without a horizons view the 3D view is left alone.
    click(210, 110);
    QCOMPARE(w.selected_horizon, 1);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QSurface3DSeries::invalidSelectionPosition());

    // In the horizons view the node is selected on horizon 1's series.
    w.ui->view_horizons->setChecked(true);
    click(210, 110);
    QCOMPARE(w.selected_row, 1);
    QCOMPARE(w.selected_column, 2);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(1, 2));
    QCOMPARE(w.graph->selectedSeries(), w.surf->surfaces[1]);

    // With the top hidden, horizon 1 is the first series; horizon 2 has no
    // series of its own beyond the list and nothing breaks.
    w.ui->show_top->setChecked(false);
    w.graph->clearSelection();
    click(10, 10);
    QCOMPARE(w.selected_horizon, 1);
    QCOMPARE(w.surf->surfaces[0]->selectedPoint(), QPoint(0, 0));

    // A click outside the grid selects nothing in the view.
    w.graph->clearSelection();
    click(-90, 10);
    QCOMPARE(w.selected_column, 0);  // less than a cell left of the grid
    click(390, 10);
    QCOMPARE(w.selected_column, 3);
    w.graph->clearSelection();
    w.ui->show_top->setChecked(true);
    click(10, 290);
    QCOMPARE(w.selected_row, 2);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(2, 0));
}

void TestMapsGui::nodePickedInTheViewMovesTheBrush()
{
    auto window = shownMainWindow({1200, 900});
    QVERIFY(window);
    MainWindow& w = *window;
    giveHorizons(w);
    addSeries(w);
    w.plotObserved();
    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    w.ui->view_horizons->setChecked(true);
    w.ui->show_top->setChecked(true);

    // Selecting a point on a series reaches selectedPoint through Surf.
    w.surf->surfaces[2]->setSelectedPoint(QPoint(2, 1));
    QCoreApplication::processEvents();
    w.surf->point_selected(QPoint(2, 1));
    QCOMPARE(w.selected_row, 2);
    QCOMPARE(w.selected_column, 1);
    QCOMPARE(w.clicked_x, 100.0);
    QCOMPARE(w.clicked_y, 200.0);
    QCOMPARE(w.ui->observed_axes->itemCount(), 3);

    // getSelectedInfo reads the horizon and node from the view.
    w.selected_row = w.selected_column = w.selected_horizon = -1;
    w.getSelectedInfo();
    QCOMPARE(w.selected_horizon, 2);
    QCOMPARE(w.selected_row, 2);
    QCOMPARE(w.selected_column, 1);

    // A map click keeps the horizon selected in the view.
    QCustomPlot* plot = w.ui->observed_axes;
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier,
                      QPoint(qRound(plot->xAxis->coordToPixel(110)), qRound(plot->yAxis->coordToPixel(10))));
    QCOMPARE(w.selected_horizon, 2);
    QCOMPARE(w.surf->surfaces[2]->selectedPoint(), QPoint(0, 1));

    // Horizon 0 (the top) is never edited: a click then picks horizon 1.
    w.surf->surfaces[0]->setSelectedPoint(QPoint(0, 0));
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier,
                      QPoint(qRound(plot->xAxis->coordToPixel(210)), qRound(plot->yAxis->coordToPixel(10))));
    QCOMPARE(w.selected_horizon, 1);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(0, 2));
}

void TestMapsGui::arrowKeysOnTheGraphKeepTheSelection()
{
    auto window = shownMainWindow({1200, 900});
    QVERIFY(window);
    MainWindow& w = *window;
    giveHorizons(w);
    w.ui->show_top->setChecked(true);
    w.ui->view_horizons->setChecked(true);
    w.showHorizons();
    if (w.surf->surfaces.size() != 3)
        addSeries(w);  // without a horizon drawing of its own
    QCOMPARE(w.surf->surfaces.size(), 3);
    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);

    w.surf->surfaces[1]->setSelectedPoint(QPoint(1, 3));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(w.graph, &down);
    QCOMPARE(w.selected_horizon, 1);
    QCOMPARE(w.selected_row, 1);
    QCOMPARE(w.selected_column, 3);
    QVERIFY(w.surf->surfaces.size() >= 2);
    QCOMPARE(w.surf->surfaces[1]->selectedPoint(), QPoint(1, 3));

    // Esc on the graph asks only while an abortable operation runs.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(w.graph, &esc);
    QVERIFY(fake.questions.isEmpty());
    w.abort_enabled = true;
    fake.answers << QMessageBox::Yes;
    QCoreApplication::sendEvent(w.graph, &esc);
    QCOMPARE(fake.questions.size(), 1);
    QVERIFY(w.abort_requested);
}

QTEST_MAIN(TestMapsGui)
#include "tst_maps_gui.moc"
