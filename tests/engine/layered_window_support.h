#pragma once
// Puts a small layered model (tst_layered_support.h) into a main window, for
// the window tests of the layered inversion, horizon fitting and their
// memory needs.
#include "app/mainwindow.h"
#include "tst_layered_support.h"

#include <QString>

#include <vector>

namespace layeredtest {

// The grid geometry record (nx, ny, first and last x, first and last y) of
// the model's map.
inline std::vector<double> geometry_record(const Model& m)
{
    return {double(m.nx), double(m.ny), m.x.front(), m.x.back(), m.y.front(), m.y.back()};
}

// The window holds the model's nodes, calculation level and expansion
// factor, the horizons `grid_horizons` with one layer per density of
// `start` and the grid filled from them, and the observed field of the
// model's own horizons filled with `truth`.
inline void give_layered_model(MainWindow& w, const Model& m, const std::vector<field2D>& grid_horizons,
                               const std::vector<double>& start, const std::vector<double>& truth)
{
    w.x_calc = m.x;
    w.y_calc = m.y;
    w.z_calc = m.z;
    w.calc_height = m.calc_level;
    w.expansion_factor = m.expansion;
    w.save_log = false;
    w.horizons = grid_horizons;
    w.horizons_params = geometry_record(m);
    w.densities = start;
    w.fixed.assign(start.size(), false);
    w.layers_names.assign(start.size(), QString());
    w.den_grid = layered_grid(m, grid_horizons, start);
    w.Vz_observed = field_of(m, layered_grid(m, m.horizons, truth));
    w.observed_params = geometry_record(m);
}

}  // namespace layeredtest
