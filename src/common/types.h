#pragma once
// Grid types shared by every part of the program.
#include <vector>

// Element type of the density, velocity and regularizer cubes and of the
// stored forward operator.
using data_type = float;

// 2D grid [row (y)][column (x)].
using vector2D = std::vector<std::vector<data_type>>;

// 3D grid [level (z)][row (y)][column (x)]; an empty outer vector means "not loaded".
using vector3D = std::vector<vector2D>;

// Gravity fields and horizons: [row][column] of double.
using field2D = std::vector<std::vector<double>>;
