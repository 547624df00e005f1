#include "views/texture_render.h"

#include "views/view3d_rules.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename Cell>
QImage render(const std::vector<std::vector<Cell>>& grid, double min, double max, double direction, int alpha,
              const QCPColorGradient& gradient)
{
    if (grid.empty() || grid.front().empty())
        return QImage();
    const int rows = int(grid.size());
    const int columns = int(grid.front().size());
    // A colour map needs two cells along each direction to span its range;
    // a single row or column is repeated.
    const int map_rows = std::max(rows, 2);
    const int map_columns = std::max(columns, 2);

    // No margins: the axis rectangle, and with it the colour map, fills the
    // whole picture, so that its edges are the first and last nodes.
    //
    // QCustomPlot puts value v at pixel y = bottom() - v / range * height,
    // bottom() being the rectangle's last pixel row, and clips its layers one
    // pixel above the rectangle. A rectangle starting one pixel down in a
    // picture one pixel taller therefore maps the value range exactly onto
    // pixel rows 0 .. H - 1, which are kept.
    QCustomPlot plot;
    plot.plotLayout()->setMargins(QMargins(0, 0, 0, 0));
    plot.axisRect()->setAutoMargins(QCP::msNone);
    plot.axisRect()->setMargins(QMargins(0, 1, 0, 0));
    plot.axisRect()->setMinimumMargins(QMargins(0, 0, 0, 0));
    for (QCPAxis* axis : plot.axisRect()->axes())
        axis->setVisible(false);
    plot.xAxis->setRange(0, 5);
    plot.yAxis->setRange(0, 5);

    auto* map = new QCPColorMap(plot.xAxis, plot.yAxis);
    map->data()->setSize(map_columns, map_rows);
    map->data()->setRange(QCPRange(0, 5), QCPRange(0, 5));
    view3d::ValueRange values;
    for (int i = 0; i < map_rows; ++i) {
        const auto& row = grid[std::size_t(std::min(i, rows - 1))];
        for (int j = 0; j < map_columns; ++j) {
            const int c = std::min(j, columns - 1);
            const double v = c < int(row.size()) ? double(row[std::size_t(c)]) : 0.0;
            map->data()->setCell(j, i, v);
            values.take(v);
        }
    }
    // The colours are drawn opaque and the alpha is written afterwards, so that
    // the white background never mixes into them.
    map->setGradient(direction == 0 ? gradient.inverted() : gradient);
    const auto range = (min == 0 && max == 0) ? view3d::usable_range(values.lo, values.hi) : view3d::usable_range(min, max);
    map->setDataRange(QCPRange(range.first, range.second));

    const QSize size = view3d::texture_size(columns, rows);
    QImage image = plot.toPixmap(size.width(), size.height() + 1, 1.0)
                       .toImage()
                       .copy(0, 0, size.width(), size.height())
                       .convertToFormat(QImage::Format_ARGB32);
    const QRgb a = QRgb(qBound(0, alpha, 255)) << 24;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = (line[x] & 0x00ffffffu) | a;
    }
    return image;
}

}  // namespace

QImage render_texture(const vector2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient)
{
    return render(grid, min, max, direction, alpha, gradient);
}

QImage render_texture(const field2D& grid, double min, double max, double direction, int alpha,
                      const QCPColorGradient& gradient)
{
    return render(grid, min, max, direction, alpha, gradient);
}
