// Density-grid undo: at most three snapshots, newest last, no redo. The
// commands that replace the model with another one empty the stack.
#include "app/mainwindow.h"

#include "app/application.h"
#include "app/mainwindowform.h"
#include "common/grid_helpers.h"
#include "views/surf.h"

#include <QAction>

namespace {

constexpr std::size_t max_undo_records = 3;

// An exact copy of a regular grid; a grid without a cell copies as empty.
vector3D copyGrid(const vector3D& source)
{
    if (source.empty() || source[0].empty() || source[0][0].empty())
        return vector3D();
    const std::size_t nz = source.size();
    const std::size_t ny = source[0].size();
    const std::size_t nx = source[0][0].size();
    vector3D copy(nz, vector2D(ny, std::vector<data_type>(nx, data_type(0))));
    for (std::size_t k = 0; k < nz; ++k)
        for (std::size_t i = 0; i < ny && i < source[k].size(); ++i)
            for (std::size_t j = 0; j < nx && j < source[k][i].size(); ++j)
                copy[k][i][j] = source[k][i][j];
    return copy;
}

bool sameShape(const vector3D& a, const vector3D& b)
{
    if (a.size() != b.size())
        return false;
    if (a.empty())
        return true;
    if (a[0].size() != b[0].size())
        return false;
    return a[0].empty() || a[0][0].size() == b[0][0].size();
}

} // namespace

void MainWindow::update_undo(int type)
{
    if (type != 1)
        return;
    if (undo_stack.size() >= max_undo_records)
        undo_stack.erase(undo_stack.begin(), undo_stack.end() - (max_undo_records - 1));
    UndoRecord record;
    record.type = 1;
    record.grid = copyGrid(den_grid);
    if (!record.grid.empty()) {
        record.x = x_calc;
        record.y = y_calc;
        record.z = z_calc;
    }
    record.minZ = minZ;
    record.maxZ = maxZ;
    record.dz = dz;
    undo_stack.push_back(std::move(record));
    note_undo_snapshot();
}

// Puts the newest snapshot back. Opening a project, a new grid, opening a
// density cube and a regrid empty the stack, so a snapshot is always of the
// model open; its coordinates come back with its cells, so the grid always
// agrees with x_calc, y_calc, z_calc, and after a rebuild from the layers
// the vertical parameters come back with them; the crop indices
// belong to the geometry and are reset when it changes, and the stored
// operators are kept only while they still serve the grid.
void MainWindow::on_actionUndo_triggered()
{
    if (undo_stack.empty() || undo_stack.back().type != 1)
        return;
    if (refuseWhileRunning())
        return;
    UndoRecord record = std::move(undo_stack.back());
    undo_stack.pop_back();

    const bool geometryChanged = !sameShape(record.grid, den_grid) || record.x != x_calc || record.y != y_calc
        || record.z != z_calc;
    den_grid = std::move(record.grid);
    if (geometryChanged) {
        x_calc = std::move(record.x);
        y_calc = std::move(record.y);
        z_calc = std::move(record.z);
        x_norm = x_calc;
        y_norm = y_calc;
        z_norm = z_calc;
        crop_borders = {{-1, -1, -1, -1, -1, -1}};
        norm_factors = NormFactors();
        if (den_grid.empty())
            update_normalized_data();  // the view follows the horizons, if any
        else if (!x_calc.empty() && !y_calc.empty() && !z_calc.empty())
            model_bounds = {{x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back(), z_calc.front(),
                             z_calc.back()}};
    }
    if (record.restores_vertical) {
        // After the view's own depths of a horizons-only model: the
        // parameters are those the restored grid was built with.
        minZ = record.minZ;
        maxZ = record.maxZ;
        dz = record.dz;
    }

    dropStaleOperators();
    if (!den_grid.empty()) {
        surf->texture_min = double(grid_min(den_grid));
        surf->texture_max = double(grid_max(den_grid));
    }
    if (ui->view_cube->isChecked() || ui->view_cube_horizons->isChecked())
        show3Dgrid();
}
