#pragma once
// Cubes as plain text, one cell per line.
//
// XYZDens file ("*.xyz"): four fields per line, x, y, z, value; x and y in
// metres, z the elevation (the negated depth: a cell at depth 500 has
// z = -500), the value a density in g/cm3 or a velocity in m/s. The lines
// come column by column: x varies slowest, then y, z fastest; within one
// (x, y) column the lines run from the deepest cell up to the shallowest.
// Every column lists the same levels and every x block the same rows, in the
// same order. No header.
//
// Cell table ("*.txt"): four fields per line, x, y, z (depth, positive down),
// value; level by level from level 0, row by row, x fastest. No header.
//
// Both writers put one blank between fields and a line feed after each line;
// coordinates are written with as many digits as a double needs to be read
// back exactly, values with as many as a float needs.
#include "common/types.h"
#include "formats/codec_status.h"

#include <vector>

// Reads an XYZDens file. The shape of the grid is found from the order of
// the lines: the first repeat of the first line's z ends the first column
// (nz levels), the first column that starts with the first line's y again
// starts the second x block (ny rows), and the line count gives the number
// of x blocks. Every line is checked against that lattice, and the nodes of
// each axis must be distinct and evenly spaced.
//
// Lines may separate their fields by blanks, tabs or commas; empty lines are
// skipped. Every line must have the field count of the first one (at least
// four). Coordinates must be finite numbers, values numbers that fit a float
// (nan and inf are read as such).
//
// On success: cube [level][row][column] with level 0 the shallowest, x the
// evenly spaced nodes from the first to the last x block's x, y the rows in
// file order, z the depths in ascending order (each column is stored by its
// depths, whichever way the file runs them). On any failure, including a
// stop through progress (called before each block of lines with the
// percentage of the file read, and once more at the end), the outputs keep
// their contents and the status says what is wrong, naming the line.
CodecStatus read_xyz_cube(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                          std::vector<double>& z, const CodecProgress& progress = CodecProgress());

// Writes cube as an XYZDens file: for each column i (x[i]), each row j
// (y[j]), levels from the last to the first, the line x[i] y[j] -z[k] value.
// z holds depths. The cube must be regular and every coordinate vector must
// have one node per column, row and level. progress is called before every x
// block; a stop (or any failure) leaves an existing file at path untouched
// and creates none.
CodecStatus write_xyz_cube(const QString& path, const vector3D& cube, const std::vector<double>& x,
                           const std::vector<double>& y, const std::vector<double>& z,
                           const CodecProgress& progress = CodecProgress());

// Writes the cell table of cube: for each level k, row j, column i the line
// x[i] y[j] z[k] value. An empty cube gives an empty file. progress is called
// before every level; a stop or failure leaves any existing file untouched.
CodecStatus write_cell_table(const QString& path, const vector3D& cube, const std::vector<double>& x,
                             const std::vector<double>& y, const std::vector<double>& z,
                             const CodecProgress& progress = CodecProgress());

// Lines read between two progress calls of read_xyz_cube.
constexpr int xyz_lines_per_block = 4096;
