// The crop-slider window and the main window's "Slices" command and border
// slots, offscreen (no 3D graph: what the slots decide is checked through
// crop_borders and the window's sliders and labels).
#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QSlider>

#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views_test_support.h"
#include "views/sliderwindow.h"

namespace {

using namespace views_test;

// A density grid of nz levels (0, 100, ...), ny rows (0, 50, ...) and nx
// columns from 1000 to 2000.
void giveDensity(MainWindow& w, int nz, int ny, int nx)
{
    giveDensityCube(w, spreadNodes(nx, 1000, 2000), nodes(ny, 0, 50), nodes(nz, 0, 100),
                    [](int, int, int) { return 2.5f; });
}

QSlider* slider(SliderWindow* s, const char* name)
{
    return s->findChild<QSlider*>(name);
}

QString label(SliderWindow* s, const char* name)
{
    QLabel* l = s->findChild<QLabel*>(name);
    return l ? l->text() : QString("<no label %1>").arg(name);
}

QString centred(const QString& t)
{
    return "<html><p align='center'>" + t + "</html>";
}

}  // namespace

class TestCropWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void formOfTheWindow();
    void rangesValuesAndLabels();
    void sliderMovesRelabelAndEmit_data();
    void sliderMovesRelabelAndEmit();
    void singleNodeAxis();
    void nothingShownOpensNothing();
    void slicesCommandOpensOnTheShownCube();
    void slidersDriveTheCropBorders();
    void pairsMovePastEachOther();
    void reopenedWindowShowsTheStoredFaces();
    void eachUseOpensAnotherWindow();
    void bordersStoredWithoutFacesInTheView();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestCropWindow::formOfTheWindow()
{
    SliderWindow s;
    QCOMPARE(s.objectName(), QString("SliderWindow"));
    QCOMPARE(s.windowTitle(), QString::fromUtf8("Срезы"));
    QVERIFY(!s.windowIcon().isNull());
    for (const char* name : {"leftSlider", "rightSlider", "backSlider", "frontSlider"})
        QCOMPARE(slider(&s, name)->orientation(), Qt::Horizontal);
    for (const char* name : {"topSlider", "bottomSlider"}) {
        QCOMPARE(slider(&s, name)->orientation(), Qt::Vertical);
        QVERIFY(slider(&s, name)->invertedAppearance());
    }
    for (const char* name : {"zmax_label", "zmin_label"}) {
        QLabel* l = s.findChild<QLabel*>(name);
        QCOMPARE(l->minimumWidth(), 80);
        QCOMPARE(l->maximumWidth(), 80);
        QVERIFY(l->wordWrap());
    }
    QVERIFY(label(&s, "xmin_label").contains("Xmin = const face"));
    QVERIFY(label(&s, "zmin_label").contains("Bottom face"));
}

void TestCropWindow::rangesValuesAndLabels()
{
    SliderWindow s;
    s.setRanges(0, 10, 0, 4, 0, 5);
    s.setValues(3, 10, 4, 0, 5, 1);  // left, right, back, front, bottom, top
    s.setCoordinates(1000, 2000, 0, 200, 0, 500);
    QCOMPARE(slider(&s, "leftSlider")->maximum(), 10);
    QCOMPARE(slider(&s, "rightSlider")->maximum(), 10);
    QCOMPARE(slider(&s, "backSlider")->maximum(), 4);
    QCOMPARE(slider(&s, "frontSlider")->maximum(), 4);
    QCOMPARE(slider(&s, "bottomSlider")->maximum(), 5);
    QCOMPARE(slider(&s, "topSlider")->maximum(), 5);
    QCOMPARE(slider(&s, "backSlider")->value(), 4);
    QCOMPARE(slider(&s, "bottomSlider")->value(), 5);
    QCOMPARE(label(&s, "xmin_label"), centred("X = 1300"));
    QCOMPARE(label(&s, "xmax_label"), centred("X = 2000"));
    QCOMPARE(label(&s, "ymin_label"), centred("Y = 200"));
    QCOMPARE(label(&s, "ymax_label"), centred("Y = 0"));
    QCOMPARE(label(&s, "zmin_label"), centred("Z = 500"));
    QCOMPARE(label(&s, "zmax_label"), centred("Z = 100"));
}

void TestCropWindow::sliderMovesRelabelAndEmit_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("text");
    QTest::newRow("left") << "leftSlider" << "xmin_label" << SIGNAL(change_left(int)) << "X = 1700";
    QTest::newRow("right") << "rightSlider" << "xmax_label" << SIGNAL(change_right(int)) << "X = 1700";
    QTest::newRow("back") << "backSlider" << "ymin_label" << SIGNAL(change_back(int)) << "Y = 350";
    QTest::newRow("front") << "frontSlider" << "ymax_label" << SIGNAL(change_front(int)) << "Y = 350";
    QTest::newRow("top") << "topSlider" << "zmax_label" << SIGNAL(change_top(int)) << "Z = 1200";
    QTest::newRow("bottom") << "bottomSlider" << "zmin_label" << SIGNAL(change_bottom(int)) << "Z = 1200";
}

void TestCropWindow::sliderMovesRelabelAndEmit()
{
    QFETCH(QString, sliderName);
    QFETCH(QString, labelName);
    QFETCH(QString, signal);
    QFETCH(QString, text);
    SliderWindow s;
    s.setRanges(0, 10, 0, 10, 0, 10);
    s.setValues(0, 0, 0, 0, 0, 0);
    // x 1000 .. 2000, y 0 .. 500, z 500 .. 1500: position 7 is 1700, 350, 1250.
    s.setCoordinates(1000, 2000, 0, 500, 500, 1500);
    QSignalSpy spy(&s, signal.toLatin1().constData());
    QSignalSpy others(&s, SIGNAL(change_left(int)));
    slider(&s, sliderName.toLatin1().constData())->setValue(7);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), 7);
    QCOMPARE(label(&s, labelName.toLatin1().constData()), centred(text));
    if (sliderName != "leftSlider")
        QCOMPARE(others.count(), 0);
}

// One node along an axis: its sliders have one position and show that node.
void TestCropWindow::singleNodeAxis()
{
    SliderWindow s;
    s.setRanges(0, 3, 0, 3, 0, 0);
    s.setValues(0, 3, 0, 3, 0, 0);
    s.setCoordinates(0, 300, 0, 300, 750, 750);
    QCOMPARE(label(&s, "zmin_label"), centred("Z = 750"));
    QCOMPARE(label(&s, "zmax_label"), centred("Z = 750"));
}

void TestCropWindow::nothingShownOpensNothing()
{
    MainWindow w;
    QVERIFY(!w.shown_cube);
    w.on_changeView_triggered();
    QVERIFY(w.findChildren<SliderWindow*>().isEmpty());
    // A shown cube without levels.
    w.shown_cube = &w.Vp_grid;
    w.on_changeView_triggered();
    QVERIFY(w.findChildren<SliderWindow*>().isEmpty());
    QVERIFY(fake->errors().isEmpty());
}

void TestCropWindow::slicesCommandOpensOnTheShownCube()
{
    MainWindow w;
    giveDensity(w, 6, 5, 11);
    w.on_view_dens_triggered();
    QCOMPARE(w.shown_cube, &w.den_grid);
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 10, 0, 4, 0, 5}}));
    w.on_changeView_triggered();
    const auto windows = w.findChildren<SliderWindow*>();
    QCOMPARE(windows.size(), 1);
    SliderWindow* s = windows.first();
    QVERIFY(s->isVisible());
    QVERIFY(!s->isModal());
    QCOMPARE(slider(s, "leftSlider")->maximum(), 10);
    QCOMPARE(slider(s, "frontSlider")->maximum(), 4);
    QCOMPARE(slider(s, "topSlider")->maximum(), 5);
    QCOMPARE(slider(s, "rightSlider")->value(), 10);
    QCOMPARE(slider(s, "backSlider")->value(), 4);
    QCOMPARE(slider(s, "bottomSlider")->value(), 5);
    QCOMPARE(label(s, "xmin_label"), centred("X = 1000"));
    QCOMPARE(label(s, "xmax_label"), centred("X = 2000"));
    QCOMPARE(label(s, "ymin_label"), centred("Y = 200"));
    QCOMPARE(label(s, "zmin_label"), centred("Z = 500"));
    // Opening moved no face.
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{0, 10, 0, 4, 0, 5}}));
}

void TestCropWindow::slidersDriveTheCropBorders()
{
    MainWindow w;
    giveDensity(w, 6, 5, 11);
    w.on_view_dens_triggered();
    w.on_changeView_triggered();
    SliderWindow* s = w.findChildren<SliderWindow*>().first();
    slider(s, "leftSlider")->setValue(3);
    QCOMPARE(label(s, "xmin_label"), centred("X = 1300"));
    slider(s, "rightSlider")->setValue(8);
    slider(s, "frontSlider")->setValue(1);
    slider(s, "backSlider")->setValue(2);
    slider(s, "topSlider")->setValue(4);
    slider(s, "bottomSlider")->setValue(5);
    // left, right, front, back, top, bottom
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{3, 8, 1, 2, 4, 5}}));
    // The next full redraw keeps them.
    w.show3Dgrid();
    QCOMPARE(w.crop_borders, (std::array<int, 6>{{3, 8, 1, 2, 4, 5}}));
}

void TestCropWindow::pairsMovePastEachOther()
{
    MainWindow w;
    giveDensity(w, 6, 5, 11);
    w.on_view_dens_triggered();
    w.on_changeView_triggered();
    SliderWindow* s = w.findChildren<SliderWindow*>().first();
    slider(s, "leftSlider")->setValue(9);
    slider(s, "rightSlider")->setValue(2);
    slider(s, "topSlider")->setValue(5);
    slider(s, "bottomSlider")->setValue(0);
    QCOMPARE(w.crop_borders[0], 9);
    QCOMPARE(w.crop_borders[1], 2);
    QCOMPARE(w.crop_borders[4], 5);
    QCOMPARE(w.crop_borders[5], 0);
}

void TestCropWindow::reopenedWindowShowsTheStoredFaces()
{
    MainWindow w;
    giveDensity(w, 6, 5, 11);
    w.on_view_dens_triggered();
    w.set_left_border(3);
    w.set_bottom_border(2);
    w.on_changeView_triggered();
    SliderWindow* s = w.findChildren<SliderWindow*>().first();
    QCOMPARE(slider(s, "leftSlider")->value(), 3);
    QCOMPARE(slider(s, "bottomSlider")->value(), 2);
    QCOMPARE(label(s, "xmin_label"), centred("X = 1300"));
    QCOMPARE(label(s, "zmin_label"), centred("Z = 200"));
    // An index beyond the cube (kept from a larger one) puts its slider on the
    // last node, where the face is drawn.
    w.crop_borders[5] = 15;
    w.on_changeView_triggered();
    QCOMPARE(w.findChildren<SliderWindow*>().size(), 2);
    QCOMPARE(slider(w.findChildren<SliderWindow*>().last(), "bottomSlider")->value(), 5);
    QCOMPARE(w.crop_borders[5], 15);
}

void TestCropWindow::eachUseOpensAnotherWindow()
{
    MainWindow w;
    giveDensity(w, 3, 3, 3);
    w.on_view_dens_triggered();
    w.on_changeView_triggered();
    w.on_changeView_triggered();
    const auto windows = w.findChildren<SliderWindow*>();
    QCOMPARE(windows.size(), 2);
    // Both drive the same faces; neither follows the other.
    slider(windows[0], "leftSlider")->setValue(2);
    QCOMPARE(w.crop_borders[0], 2);
    QCOMPARE(slider(windows[1], "leftSlider")->value(), 0);
    slider(windows[1], "leftSlider")->setValue(1);
    QCOMPARE(w.crop_borders[0], 1);
    // Closing only hides.
    windows[0]->close();
    QCOMPARE(w.findChildren<SliderWindow*>().size(), 2);
}

// In the horizons view the faces are not in the 3D view: the slots only
// store the index, which the next cube redraw uses.
void TestCropWindow::bordersStoredWithoutFacesInTheView()
{
    MainWindow w;
    giveDensity(w, 6, 5, 11);
    w.on_view_dens_triggered();
    w.on_changeView_triggered();
    w.ui->view_horizons->setChecked(true);
    w.ui->view_cube->setChecked(false);
    SliderWindow* s = w.findChildren<SliderWindow*>().first();
    slider(s, "topSlider")->setValue(3);
    QCOMPARE(w.crop_borders[4], 3);
    // A smaller cube shown since: indexes beyond it are kept, nothing is read
    // outside the cube.
    w.ui->view_horizons->setChecked(false);
    w.ui->view_cube->setChecked(true);
    giveDensity(w, 2, 2, 2);
    w.show3Dgrid();
    slider(s, "leftSlider")->setValue(9);
    slider(s, "bottomSlider")->setValue(5);
    QCOMPARE(w.crop_borders[0], 9);
    QCOMPARE(w.crop_borders[5], 5);
    QVERIFY(fake->errors().isEmpty());
}

QTEST_MAIN(TestCropWindow)
#include "tst_crop_window.moc"
