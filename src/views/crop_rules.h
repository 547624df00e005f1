#pragma once
// The rules behind the crop sliders of the 3D view: which face a slider
// moves, where that face sits among the 3D view's series, the index it is
// drawn at, the face grid cut out of the cube at that index, and the
// coordinate texts of the slider labels. No widgets here.
//
// Faces are named as in the main window's crop_borders: left, right (x =
// const, indexes into the columns), front, back (y = const, rows), top,
// bottom (z = const, levels).

#include "common/types.h"

#include <QString>

#include <array>
#include <vector>

namespace crop {

// The order of the six crop borders of the main window.
enum class Face : int { Left = 0, Right = 1, Front = 2, Back = 3, Top = 4, Bottom = 5 };

constexpr std::array<Face, 6> all_faces{
    {Face::Left, Face::Right, Face::Front, Face::Back, Face::Top, Face::Bottom}};

// Index of the face's member in crop_borders.
inline int border_slot(Face f) { return static_cast<int>(f); }

// Axis that the face's index runs along: 0 x (columns), 1 y (rows), 2 depth (levels).
int face_axis(Face f);

// Position of the face among the 3D view's series after a full cube redraw:
// bottom 0, top 1, left 2, right 3, back 4, front 5.
int view_position(Face f);

// The flag that picks one face of a pair in the 3D view's replace
// operations: true for the left, the front and the top face.
bool first_of_pair(Face f);

// The node index a face is drawn at on an axis of n nodes: a negative index
// is the outer face (0 for left, front and top, n - 1 for right, back and
// bottom) and an index at or beyond the last node draws the last node. -1
// when the axis has no node.
int drawn_index(Face f, int index, int n);

// The face's values cut out of the cube at a valid node index, copied:
//   left, right:  [row][level] of column `index`;
//   front, back:  [level][column] of row `index`;
//   top, bottom:  level `index` itself, [row][column].
// The cube is read with the rows of its first level and the columns of that
// level's first row; missing cells of a ragged cube read as 0. With
// `absolute` every value is replaced by its magnitude (the regularizer shown
// as absolute values). Empty for an empty cube or an index outside it.
vector2D face_grid(const vector3D& cube, Face f, int index, bool absolute);

// ---------------------------------------------------------------------------
// Slider labels

// Node step of an axis from its first and last node and its node count:
// (last - first) / (count - 1); 0 for an axis of one node (or none), whose
// sliders then only ever show the first node.
double node_step(double first, double last, int count);

// Coordinate of slider position N: N * step + first.
inline double slider_coordinate(int N, double step, double first) { return N * step + first; }

// Rich text of a slider label: "<html><p align='center'>" + letter + " = " +
// the coordinate with six significant digits + "</html>".
QString slider_label(const QString& letter, double coordinate);

}  // namespace crop
