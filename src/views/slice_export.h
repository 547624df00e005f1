#pragma once
// Axis-parallel slices of a cube [level][row][column], written one Surfer
// grid per level, row or column: the grids, their node geometry and the file
// names. No files are touched here.

#include "common/types.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace slices {

enum class Kind {
    Levels,   // z = const: one [row][column] grid per level
    Rows,     // y = const: one [level][column] grid per row
    Columns,  // x = const: one [level][row] grid per column
};

// Number of slices of the kind in a cube of nx columns, ny rows, nz levels.
int slice_count(Kind kind, int nx, int ny, int nz);

// Rows and columns of each slice grid of the kind.
int slice_rows(Kind kind, int nx, int ny, int nz);
int slice_columns(Kind kind, int nx, int ny, int nz);

// A Surfer grid needs at least two rows and two columns.
bool slices_writable(Kind kind, int nx, int ny, int nz);

// Geometry record {columns, rows, first and last node across, first and
// last node down} of every slice of the kind:
//   Levels:  {nx, ny, x first, x last, y first, y last};
//   Rows:    {nx, nz, x first, x last, z first, z last};
//   Columns: {ny, nz, y first, y last, z first, z last}.
// In the vertical slices the grid's rows are the levels from the top one
// down, and the record's y range is the depth range.
std::vector<double> slice_geometry(Kind kind, const std::vector<double>& x, const std::vector<double>& y,
                                   const std::vector<double>& z);

// Slice s of the kind (the cube must be regular and s in range):
//   Levels:  level s, [row][column];
//   Rows:    [level][column] of row s;
//   Columns: [level][row] of column s.
vector2D level_slice(const vector3D& cube, int level);
field2D row_slice(const vector3D& cube, int row);
field2D column_slice(const vector3D& cube, int column);

// The node coordinates that name the slices of the kind: z for Levels, y for
// Rows, x for Columns.
const std::vector<double>& naming_nodes(Kind kind, const std::vector<double>& x, const std::vector<double>& y,
                                        const std::vector<double>& z);

// The base of the file names from the name the user chose: the name without
// its ".grd" suffix (any case); a name without that suffix is kept whole.
QString base_name(const QString& chosen);

// File names base + " Z = " (Levels), " Y = " (Rows) or " X = " (Columns) +
// the node coordinate + ".grd". Coordinates are written with six significant
// digits; when two of them would give the same name, all of them are written
// with as many more digits as it takes to tell them apart.
QStringList slice_file_names(const QString& base, Kind kind, const std::vector<double>& coordinates);

}  // namespace slices
