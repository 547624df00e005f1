#pragma once
// The layered model the horizon editing tests work on.
#include "app/mainwindow.h"

#include <cstddef>
#include <vector>

namespace horizon_edit_test {

inline field2D constant(std::size_t ny, std::size_t nx, double v) { return field2D(ny, std::vector<double>(nx, v)); }

// 9 x 9 horizon nodes spaced 50 m; horizons at 0, 250 and 650 m; levels every
// 100 m from 0 to 1000 m with cells 1 (layer 0), 2 (layer 1) and 3 (layer 2).
inline void giveLayeredModel(MainWindow& w)
{
    w.horizons = {constant(9, 9, 0), constant(9, 9, 250), constant(9, 9, 650)};
    w.horizons_params = {9, 9, 0, 400, 0, 400};
    w.densities = {1, 2, 3};
    w.fixed = {false, false, false};
    w.layers_names = {"", "", ""};
    w.x_calc = w.y_calc = {0, 50, 100, 150, 200, 250, 300, 350, 400};
    w.z_calc.clear();
    w.den_grid.clear();
    for (int k = 0; k <= 10; ++k) {
        const double z = 100.0 * k;
        w.z_calc.push_back(z);
        w.den_grid.push_back(vector2D(9, std::vector<data_type>(9, z < 250 ? 1.0f : (z < 650 ? 2.0f : 3.0f))));
    }
}

}  // namespace horizon_edit_test
