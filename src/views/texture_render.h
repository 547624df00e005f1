#pragma once
// Colour images of grids, used as the textures of the cube faces and the
// horizons in the 3D view.
#include "common/types.h"

#include <QImage>
#include <qcustomplot.h>

// Renders grid [row][column] through `gradient` into an ARGB32 image of
// view3d::texture_size(columns, rows) pixels whose every pixel has the given
// alpha. Row 0 is at the bottom of the image and column 0 at its left; the
// first and last pixel columns (rows) sit on the first and last nodes, so the
// image stretched over a mesh of the grid's nodes puts every value on its own
// node.
//
// Colour range: [min, max] (the smaller first), or the grid's own smallest
// and largest value when both are 0; a range of zero width is widened a
// little (view3d::usable_range). With direction == 0 the gradient is inverted.
// An empty grid gives a null image; a single row or column is drawn as two.
QImage render_texture(const vector2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient);
QImage render_texture(const field2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient);
