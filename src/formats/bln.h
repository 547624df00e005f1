#pragma once
// BLN polyline files ("*.bln"): profile schemes and vertical faults are read
// from them, single polylines written.
//
// A polyline is a header line whose first field is its point count k (a flag
// may follow), then k lines whose first two fields are x and y. Fields are
// separated by blanks, commas or tabs. Blank lines between polylines are
// skipped, and so are lines that cannot be headers (a first field that is
// not a whole number, or a count below 1).
#include "formats/codec_status.h"
#include "formats/fault_sticks.h"

#include <QString>

#include <vector>

// A polyline: interleaved x0, y0, x1, y1, ...
using bln_polyline = std::vector<double>;

// Reads every polyline of at least `min_points` points; shorter ones are read
// past and dropped. A count is trusted only as far as the file has lines for
// it: a file that ends inside a polyline, a point line without two numbers or
// a count too large for the file is an error naming the line, and so is a
// coordinate beyond the coordinate limit (coordinate_fits), with its value. Blank lines
// between the points of a polyline are skipped. `out` is replaced only on
// success (it may then be empty when the file holds no polyline).
CodecStatus read_bln_polylines(const QString& path, std::vector<bln_polyline>& out, int min_points = 1);

// Vertical faults made from polylines: one fault per polyline, named
// "fault_N1", "fault_N2", ...; one stick per point running from (x, y, top)
// to (x, y, bottom); inline and crossline numbers 0; crossline type.
FaultSticks bln_vertical_faults(const std::vector<bln_polyline>& polylines, double top, double bottom);

// Writes one polyline: the header "k,1", then "x, y" per point, numbers in
// the shortest form that reads back to the same double. x and y must hold the
// same number (at least one) of values. The file replaces any earlier one
// only when complete.
CodecStatus write_bln_polyline(const QString& path, const std::vector<double>& x, const std::vector<double>& y);

// Writes several polylines one after the other, each as write_bln_polyline
// writes one. Every polyline must hold at least one point; at least one
// polyline is needed.
CodecStatus write_bln_polylines(const QString& path, const std::vector<bln_polyline>& polylines);
