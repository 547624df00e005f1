#pragma once
// Records of the project data model that the main window holds as members.

#include "common/types.h"

#include <QString>
#include <QVector3D>
#include <array>
#include <vector>

// The stored forward operator (`effects`) with the key of its geometry.
#include "engine/effects_operator.h"

// The project's faults: sticks [fault][stick][point] (x, y, depth), one name
// per fault, inline and crossline numbers of the same shape as the sticks,
// and whether the set was read as inlines.
struct FaultSet
{
    std::vector<std::vector<std::vector<QVector3D>>> sticks;
    std::vector<QString> names;
    std::vector<std::vector<std::vector<int>>> inlines;
    std::vector<std::vector<std::vector<int>>> crosslines;
    bool inline_type = false;

    bool empty() const { return sticks.empty(); }
};

// A density-grid undo snapshot (type 1 is the only kind). The node
// coordinates travel with the cells, so that a restored grid always agrees
// with its coordinates. A snapshot of a rebuild from the layers, which may
// change the vertical parameters, brings those back too, so that the next
// rebuild builds the grid restored; other snapshots leave them alone.
struct UndoRecord
{
    int type = 1;
    vector3D grid;
    std::vector<double> x, y, z;        // x_calc, y_calc, z_calc when taken
    double minZ = 0, maxZ = 0, dz = 0;  // the vertical parameters when taken
    bool restores_vertical = false;     // undo puts minZ, maxZ, dz back
    std::vector<double> params;
};

// Last confirmed content of the velocity-to-density formulas dialog, one entry
// per layer: the formula type code and the texts of the a, b and c fields.
struct FormulaSet
{
    std::vector<int> types;
    std::vector<QString> a;
    std::vector<QString> b;
    std::vector<QString> c;
};

// Divisors (10 to the exponent) and power-of-ten exponents of the view
// coordinates, per axis x, y, z.
struct NormFactors
{
    std::array<double, 3> divisor{{1.0, 1.0, 1.0}};
    std::array<int, 3> exponent{{0, 0, 0}};
};
