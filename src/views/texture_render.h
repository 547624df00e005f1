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
// Every pixel takes the colour of its nearest node, the very colour that the
// colour bar shows for that value: two neighbouring values never blend into a
// colour that stands for neither. A NaN node leaves its pixels transparent.
//
// Colour range: [min, max] (the smaller first), or the grid's own smallest
// and largest value when both are 0; a range of zero width is widened a
// little (view3d::usable_range). With direction == 0 the gradient is inverted.
// An empty grid gives a null image; a single row or column is drawn as two.
QImage render_texture(const vector2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient);
QImage render_texture(const field2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient);

// Darkens the colours of a texture by the light at the nodes of its mesh
// ([row][column], as view3d::relief_light gives it; row 0 at the bottom of the
// image), interpolated between the nodes. The alpha stays.
void shade_texture(QImage& image, const field2D& light);

// The texture as the graph is given it: every pixel repeated k times across
// and down, k the largest whole number that keeps the longer side within
// kLongestTextureSide pixels (1 for a texture already that large). The graph
// smooths between neighbouring pixels; on a texture k times finer that blend
// is k times narrower, so a boundary between two values stays a line, not a
// strip of colours that stand for neither.
constexpr int kLongestTextureSide = 512;
QImage enlarged_texture(const QImage& image);
