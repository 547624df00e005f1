#pragma once
// Mean-density tables: plain text tables of the density grid's mean density
// by depth (one mean per level) and by depth and layer (one mean per level
// and layer), written from the grid and read back into it.
//
// Table by depth:
//   z dens
//   <depth of level 0> <mean of level 0>
//   ...
// Table by depth and layer (N layers):
//   z1 dens1 z2 dens2 ... zN densN
//   <depth> <mean of layer 1> <depth> <mean of layer 2> ... (" * " for a layer
//   without a cell at that level)
// Numbers are written with six significant digits. Readers skip the first
// line, split the others at blanks, commas and tabs (a run of them is one
// separator) and read every field as a number; a table with a field that is
// not a number is refused whole, before any cell changes.
#include <QString>

#include <vector>

#include "common/types.h"

class QTextStream;

namespace mean_density {

// The level a depth read from a table belongs to, or -1 when it lies
// outside the levels. A depth that matches a level's node depth to the six
// significant digits the tables are written with is that level; any other
// depth gives trunc((z - z0) / step) with z0 and step from the first two
// nodes. With a single level only its own depth matches.
int table_level(double z, const std::vector<double>& level_depths);

enum class TableStatus {
    Ok,
    EmptyGrid,      // no density grid, or fewer depths than levels
    NoLayers,       // the table by layer needs horizons
    LayersMismatch, // the horizons do not have the grid's rows and columns
    BadLine,        // a field that is not a number, or a line that is not a list of pairs
    ReadFailed      // the stream reported an error
};

// Outcome of reading a table: for BadLine the 1-based line number and its text.
struct TableResult {
    TableStatus status = TableStatus::Ok;
    int line = 0;
    QString text;
    int cells_set = 0;  // cells the import changed
    bool ok() const { return status == TableStatus::Ok; }
};

// Writes the table by depth: the header "z dens", then the depth and the
// mean of every level (sum in double over rows x first-row cells).
TableStatus write_depth_table(QTextStream& out, const vector3D& grid, const std::vector<double>& z);

// Writes the table by depth and layer. A cell belongs to the layer the
// layer search gives at its node (the last layer when it lies in none).
TableStatus write_layer_table(QTextStream& out, const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons);

// Reads a table by depth and sets every cell of each listed level to its
// density (later lines for one level win). Lines containing "*" and blank
// lines are skipped, as are depths outside the levels. Nothing changes
// unless the whole table reads.
TableResult read_depth_table(QTextStream& in, vector3D& grid, const std::vector<double>& z);

// Reads a table by depth and layer: pair l of a line sets, at its level,
// the cells that lie in layer l (horizon l <= depth < horizon l + 1, the
// last layer without a lower bound). Pairs holding "*" are skipped, and so
// are pairs beyond the last layer and depths outside the levels. Nothing
// changes unless the whole table reads.
TableResult read_layer_table(QTextStream& in, vector3D& grid, const std::vector<double>& z,
                             const std::vector<field2D>& horizons);

}  // namespace mean_density
