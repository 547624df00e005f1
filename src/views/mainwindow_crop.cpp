// The crop sliders of the 3D view: the "Slices" command opens a modeless
// SliderWindow over the shown cube, and each slider move replaces one face
// of the drawn cube by the cube's values at the new node index, leaving the
// other faces, the colour bar and the axes as they are.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "common/grid_geometry.h"
#include "views/crop_rules.h"
#include "views/sliderwindow.h"
#include "views/surf.h"
#include "views/view3d_rules.h"

#include <QAction>

namespace {

// True when the 3D view holds the six faces of the shown cube at positions
// 0 to 5 and the cube's node copies fit it, so that a face can be cut out of
// the cube and handed to the view. Not so in the horizons-only view, with no
// shown cube, or when the shown cube changed shape since it was drawn.
bool cubeFacesShown(const MainWindow& w)
{
    if (!w.ui->view_cube->isChecked() && !w.ui->view_cube_horizons->isChecked())
        return false;
    if (!w.shown_cube || !cube_is_regular(*w.shown_cube))
        return false;
    const vector3D& cube = *w.shown_cube;
    if (w.shown_x.size() != cube.front().front().size() || w.shown_y.size() != cube.front().size() ||
        w.shown_z.size() != cube.size())
        return false;
    return w.surf && w.surf->surfaces.size() >= 6 && w.surf->proxies.size() >= 6;
}

// Stores the face's new index and redraws that face alone. An index beyond
// the cube draws its last node (as a full redraw does) and is kept as given;
// the face is cut to the window limits as a full redraw cuts it.
void moveFace(MainWindow& w, crop::Face face, int N)
{
    w.crop_borders[std::size_t(crop::border_slot(face))] = N;
    if (!cubeFacesShown(w))
        return;
    const vector3D& cube = *w.shown_cube;
    view3d::CropBorders borders = w.crop_borders;
    const view3d::CubeCut cut =
        view3d::cut_cube(w.shown_x, w.shown_y, w.shown_z,
                         view3d::fix_crop_borders(borders, int(w.shown_x.size()), int(w.shown_y.size()),
                                                  int(w.shown_z.size())),
                         w.window_limits);
    const bool absolute = w.ui->view_reg->isChecked() && w.ui->view_abs_reg->isChecked();
    const vector2D grid = view3d::cut_face(cube, face, cut, absolute);
    const bool first = crop::first_of_pair(face);
    const std::size_t i = std::size_t(cut.at[std::size_t(crop::border_slot(face))]);
    const std::vector<double> xs = view3d::run_nodes(w.shown_x, cut.runs[0]);
    const std::vector<double> ys = view3d::run_nodes(w.shown_y, cut.runs[1]);
    const std::vector<double> zs = view3d::run_nodes(w.shown_z, cut.runs[2]);
    switch (crop::face_axis(face)) {
    case 0:
        w.surf->replaceXFace(w.shown_x[i], ys, zs, grid, first);
        break;
    case 1:
        w.surf->replaceYFace(xs, w.shown_y[i], zs, grid, first);
        break;
    default:
        w.surf->replaceZFace(xs, ys, w.shown_z[i], grid, first);
        break;
    }
}

}  // namespace

void MainWindow::on_changeView_triggered()
{
    if (!shown_cube || shown_cube->empty() || shown_x.empty() || shown_y.empty() || shown_z.empty())
        return;
    const int nx = int(shown_x.size()), ny = int(shown_y.size()), nz = int(shown_z.size());
    auto* window = new SliderWindow(this);
    window->setRanges(0, nx - 1, 0, ny - 1, 0, nz - 1);
    // The sliders start where the faces are drawn.
    auto at = [&](crop::Face f, int n) { return crop::drawn_index(f, crop_borders[std::size_t(crop::border_slot(f))], n); };
    window->setValues(at(crop::Face::Left, nx), at(crop::Face::Right, nx), at(crop::Face::Back, ny),
                      at(crop::Face::Front, ny), at(crop::Face::Bottom, nz), at(crop::Face::Top, nz));
    window->setCoordinates(shown_x.front(), shown_x.back(), shown_y.front(), shown_y.back(), shown_z.front(),
                           shown_z.back());
    connect(window, SIGNAL(change_top(int)), this, SLOT(set_top_border(int)));
    connect(window, SIGNAL(change_bottom(int)), this, SLOT(set_bottom_border(int)));
    connect(window, SIGNAL(change_left(int)), this, SLOT(set_left_border(int)));
    connect(window, SIGNAL(change_right(int)), this, SLOT(set_right_border(int)));
    connect(window, SIGNAL(change_front(int)), this, SLOT(set_front_border(int)));
    connect(window, SIGNAL(change_back(int)), this, SLOT(set_back_border(int)));
    window->show();
}

void MainWindow::set_left_border(int N)
{
    moveFace(*this, crop::Face::Left, N);
}

void MainWindow::set_right_border(int N)
{
    moveFace(*this, crop::Face::Right, N);
}

void MainWindow::set_front_border(int N)
{
    moveFace(*this, crop::Face::Front, N);
}

void MainWindow::set_back_border(int N)
{
    moveFace(*this, crop::Face::Back, N);
}

void MainWindow::set_top_border(int N)
{
    moveFace(*this, crop::Face::Top, N);
}

void MainWindow::set_bottom_border(int N)
{
    moveFace(*this, crop::Face::Bottom, N);
}
