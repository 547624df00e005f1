#pragma once
// The constant-value surface of a cube: at every map node, the depth at which
// the cube first reaches a value going down from the top.
#include "common/types.h"
#include "formats/codec_status.h"

#include <vector>

// Depth of the value between two levels at one node, or NaN when the pair
// (upper cell a at depth za, lower cell b at depth zb) does not bracket it
// (b <= value <= a or a <= value <= b, ends included). Linear interpolation,
// the denominator |b - a| formed in single precision; when both cells equal
// the value the depth is the upper level's.
double const_value_depth(data_type a, data_type b, double za, double zb, double value);

// Fills `surface` with the cube's rows and columns: at each node the depth of
// the first bracketing level pair from the top, 0 where none brackets the
// value. `z` gives the depth of every level. `progress` is called before
// each row and may stop the search. Fails, leaving `surface` alone, for an
// empty or ragged cube or fewer depths than levels.
CodecStatus const_value_surface(const vector3D& cube, const std::vector<double>& z, double value, field2D& surface,
                                const CodecProgress& progress = CodecProgress());
