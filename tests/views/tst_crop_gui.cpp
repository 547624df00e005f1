// Crop sliders on a display with OpenGL (run under Xvfb): a slider move
// replaces exactly one face of the drawn cube in place, with the cube's
// values at the new index, and leaves everything else in the 3D view alone.
#include <QtTest>

#include <QAction>
#include <QSlider>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>

#include <cmath>
#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "views_test_support.h"
#include "views/crop_rules.h"
#include "views/sliderwindow.h"
#include "views/surf.h"
#include "views/texture_render.h"

using namespace QtDataVisualization;

namespace {

using namespace views_test;

// nz levels (0, 100, ...), ny rows (0, 50, ...), nx columns from 1000 to
// 2000; cell (k, j, i) = k + 0.1 j + 0.01 i.
void giveDensity(MainWindow& w, int nz, int ny, int nx)
{
    giveDensityCube(w, spreadNodes(nx, 1000, 2000), nodes(ny, 0, 50), nodes(nz, 0, 100),
                    [](int k, int j, int i) { return float(k + 0.1 * j + 0.01 * i); });
}

// Positions of every item of a proxy.
QVector<QVector3D> items(QSurfaceDataProxy* p)
{
    QVector<QVector3D> out;
    for (int r = 0; r < p->rowCount(); ++r)
        for (int c = 0; c < p->columnCount(); ++c)
            out << p->itemAt(r, c)->position();
    return out;
}

struct ViewState
{
    QVector<QSurface3DSeries*> series;
    QVector<QVector<QVector3D>> meshes;
    QVector<QImage> textures;
};

ViewState state(MainWindow& w)
{
    ViewState s;
    for (int i = 0; i < w.surf->surfaces.size(); ++i) {
        s.series << w.surf->surfaces[i];
        s.meshes << items(w.surf->proxies[i]);
        s.textures << w.surf->surfaces[i]->texture();
    }
    return s;
}

QSlider* slider(SliderWindow* s, const char* name)
{
    return s->findChild<QSlider*>(name);
}

}  // namespace

class TestCropGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void sliderReplacesOneFace_data();
    void sliderReplacesOneFace();
    void absoluteRegularizerFace();
    void horizonsViewIsLeftAlone();
    void smallerCubeShownSince();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestCropGui::initTestCase()
{
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
}

void TestCropGui::sliderReplacesOneFace_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<int>("face");   // crop::Face
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("coordinate");  // 0 x, 1 depth, 2 y of the graph position
    QTest::addColumn<double>("value");     // of item (0, 0)
    QTest::newRow("left to column 3") << "leftSlider" << int(crop::Face::Left) << 3 << 0 << 1300.0;
    QTest::newRow("right to column 7") << "rightSlider" << int(crop::Face::Right) << 7 << 0 << 1700.0;
    QTest::newRow("front to row 1") << "frontSlider" << int(crop::Face::Front) << 1 << 2 << 50.0;
    QTest::newRow("back to row 2") << "backSlider" << int(crop::Face::Back) << 2 << 2 << 100.0;
    QTest::newRow("top to level 2") << "topSlider" << int(crop::Face::Top) << 2 << 1 << 200.0;
    QTest::newRow("bottom to level 4") << "bottomSlider" << int(crop::Face::Bottom) << 4 << 1 << 400.0;
}

void TestCropGui::sliderReplacesOneFace()
{
    QFETCH(QString, sliderName);
    QFETCH(int, face);
    QFETCH(int, index);
    QFETCH(int, coordinate);
    QFETCH(double, value);
    const crop::Face f = crop::Face(face);
    auto w = shownMainWindow({1000, 700});
    QVERIFY(w);
    giveDensity(*w, 6, 5, 11);
    w->on_view_dens_triggered();
    QCOMPARE(w->graph->seriesList().size(), 6);
    const ViewState before = state(*w);
    const float axisMin = w->graph->axisX()->min();

    w->on_changeView_triggered();
    SliderWindow* s = w->findChildren<SliderWindow*>().first();
    slider(s, sliderName.toLatin1().constData())->setValue(index);

    QCOMPARE(w->crop_borders[std::size_t(crop::border_slot(f))], index);
    const ViewState after = state(*w);
    QCOMPARE(after.series, before.series);  // the same series, in place
    QCOMPARE(w->graph->seriesList().size(), 6);
    const int moved = crop::view_position(f);
    for (int i = 0; i < 6; ++i) {
        if (i == moved)
            continue;
        QCOMPARE(after.meshes[i], before.meshes[i]);
        QCOMPARE(after.textures[i], before.textures[i]);
    }
    QVERIFY(after.meshes[moved] != before.meshes[moved]);
    const QVector3D p = w->surf->proxies[moved]->itemAt(0, 0)->position();
    QCOMPARE(double(coordinate == 0 ? p.x() : coordinate == 1 ? p.y() : p.z()), value);
    // The face shows the cube's values at the new index, opaque, in the
    // colour range of the drawn cube.
    const vector2D grid = crop::face_grid(w->den_grid, f, index, false);
    QCOMPARE(after.textures[moved],
             enlarged_texture(w->surf->renderTexture(grid, w->surf->texture_min, w->surf->texture_max, 1.0, 255)));
    QCOMPARE(w->graph->axisX()->min(), axisMin);  // the axes stay
}

void TestCropGui::absoluteRegularizerFace()
{
    auto w = shownMainWindow({1000, 700});
    QVERIFY(w);
    w->regularizer.assign(4, vector2D(3, std::vector<data_type>(5)));
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 5; ++i)
                w->regularizer[k][j][i] = float(std::sin(1.3 * k + 0.7 * j + 0.4 * i));
    w->x_reg = {0, 100, 200, 300, 400}, w->y_reg = {0, 100, 200}, w->z_reg = {0, 50, 100, 150};
    w->on_view_reg_triggered();
    QVERIFY(w->ui->view_abs_reg->isChecked());
    QCOMPARE(w->shown_cube, &w->regularizer);
    w->set_top_border(2);
    const QImage absolute = w->surf->surfaces[1]->texture();
    QCOMPARE(absolute, enlarged_texture(w->surf->renderTexture(crop::face_grid(w->regularizer, crop::Face::Top, 2, true),
                                                               0, 1, 1.0, 255)));
    QVERIFY(absolute != enlarged_texture(w->surf->renderTexture(crop::face_grid(w->regularizer, crop::Face::Top, 2, false),
                                                                0, 1, 1.0, 255)));
    QCOMPARE(w->regularizer[2][0][0], float(std::sin(2.6)));  // the cube keeps its signs
}

// In the horizons view positions 0 to 5 are no cube faces: a slider from an
// earlier window only stores its index.
void TestCropGui::horizonsViewIsLeftAlone()
{
    auto w = shownMainWindow({1000, 700});
    QVERIFY(w);
    giveDensity(*w, 6, 5, 11);
    w->horizons.clear();
    // Seven horizons: six series without the top one, as many as the faces.
    for (int h = 0; h < 7; ++h) {
        w->horizons.push_back(field2D(5, std::vector<double>(11, 70.0 * h)));
        w->densities.push_back(2 + 0.1 * h);
        w->fixed.push_back(false);
        w->layers_names.push_back(QString());
    }
    w->horizons_params = {11, 5, 1000, 2000, 0, 200};
    w->on_view_dens_triggered();
    w->on_changeView_triggered();
    SliderWindow* s = w->findChildren<SliderWindow*>().first();
    w->on_view_horizons_triggered();
    const ViewState before = state(*w);
    QCOMPARE(before.series.size(), 6);
    slider(s, "bottomSlider")->setValue(1);
    slider(s, "topSlider")->setValue(3);
    slider(s, "leftSlider")->setValue(2);
    const ViewState after = state(*w);
    QCOMPARE(after.meshes, before.meshes);
    QCOMPARE(after.textures, before.textures);
    QCOMPARE(w->crop_borders[5], 1);
    // Back to the cube: the faces are drawn at the stored indexes.
    w->on_view_cube_triggered();
    QCOMPARE(w->surf->proxies[0]->itemAt(0, 0)->position().y(), 100.0f);
    QCOMPARE(w->surf->proxies[1]->itemAt(0, 0)->position().y(), 300.0f);
    QCOMPARE(w->surf->proxies[2]->itemAt(0, 0)->position().x(), 1200.0f);
}

// A window opened on a larger cube: indexes beyond the cube now shown draw
// its last node.
void TestCropGui::smallerCubeShownSince()
{
    auto w = shownMainWindow({1000, 700});
    QVERIFY(w);
    giveDensity(*w, 6, 5, 11);
    w->on_view_dens_triggered();
    w->on_changeView_triggered();
    SliderWindow* s = w->findChildren<SliderWindow*>().first();
    giveDensity(*w, 3, 2, 4);
    w->show3Dgrid();
    slider(s, "leftSlider")->setValue(9);
    QCOMPARE(w->crop_borders[0], 9);
    QCOMPARE(w->surf->proxies[2]->itemAt(0, 0)->position().x(), 2000.0f);  // the last of 4 columns
    QCOMPARE(w->surf->proxies[2]->rowCount(), 2);
    QCOMPARE(w->graph->seriesList().size(), 6);
    QVERIFY(fake->errors().isEmpty());
}

QTEST_MAIN(TestCropGui)
#include "tst_crop_gui.moc"
