#include "views/texture_render.h"

#include "views/view3d_rules.h"

#include <algorithm>
#include <cmath>

namespace {

// Position of pixel p of `pixels` along a direction of `nodes` nodes, in node
// units: the first pixel on the first node, the last on the last.
double nodePosition(int p, int pixels, int nodes)
{
    if (pixels <= 1 || nodes <= 1)
        return 0.0;
    return double(p) * double(nodes - 1) / double(pixels - 1);
}

// The node nearest to each pixel along a direction.
std::vector<int> nearestNodes(int pixels, int nodes)
{
    std::vector<int> out(std::size_t(std::max(pixels, 0)));
    for (int p = 0; p < pixels; ++p)
        out[std::size_t(p)] = std::clamp(int(std::lround(nodePosition(p, pixels, nodes))), 0, nodes - 1);
    return out;
}

template <typename Cell>
QImage render(const std::vector<std::vector<Cell>>& grid, double min, double max, double direction, int alpha,
              const QCPColorGradient& gradient)
{
    if (grid.empty() || grid.front().empty())
        return QImage();
    const int rows = int(grid.size());
    const int columns = int(grid.front().size());

    view3d::ValueRange values;
    for (const auto& row : grid)
        for (const Cell v : row)
            values.take(double(v));
    const auto range = (min == 0 && max == 0) ? view3d::usable_range(values.lo, values.hi) : view3d::usable_range(min, max);
    const QCPRange data_range(range.first, range.second);
    QCPColorGradient colours = direction == 0 ? gradient.inverted() : gradient;

    // The colour of each node, opaque in the gradient's colour with the alpha
    // written in afterwards (a ragged row's missing nodes take 0).
    const QRgb a = QRgb(qBound(0, alpha, 255)) << 24;
    std::vector<std::vector<QRgb>> node_colour(std::size_t(rows), std::vector<QRgb>(std::size_t(columns), 0));
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const auto& row = grid[std::size_t(i)];
            const double v = j < int(row.size()) ? double(row[std::size_t(j)]) : 0.0;
            node_colour[std::size_t(i)][std::size_t(j)] =
                std::isnan(v) ? QRgb(0) : ((colours.color(v, data_range) & 0x00ffffffu) | a);
        }

    const QSize size = view3d::texture_size(columns, rows);
    QImage image(size, QImage::Format_ARGB32);
    const std::vector<int> column_of = nearestNodes(size.width(), columns);
    const std::vector<int> row_of = nearestNodes(size.height(), rows);
    for (int y = 0; y < image.height(); ++y) {
        // Row 0 at the bottom.
        const auto& colour_row = node_colour[std::size_t(row_of[std::size_t(image.height() - 1 - y)])];
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = colour_row[std::size_t(column_of[std::size_t(x)])];
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

void shade_texture(QImage& image, const field2D& light)
{
    if (image.isNull() || light.empty() || light.front().empty())
        return;
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32);
    const int rows = int(light.size());
    const int columns = int(light.front().size());
    auto lightAt = [&](int i, int j) {
        const auto& row = light[std::size_t(i)];
        return j < int(row.size()) ? row[std::size_t(j)] : 1.0;
    };
    for (int y = 0; y < image.height(); ++y) {
        const double v = nodePosition(image.height() - 1 - y, image.height(), rows);
        const int i0 = std::min(int(v), rows - 1), i1 = std::min(i0 + 1, rows - 1);
        const double fv = v - i0;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double u = nodePosition(x, image.width(), columns);
            const int j0 = std::min(int(u), columns - 1), j1 = std::min(j0 + 1, columns - 1);
            const double fu = u - j0;
            const double f = (1 - fv) * ((1 - fu) * lightAt(i0, j0) + fu * lightAt(i0, j1)) +
                             fv * ((1 - fu) * lightAt(i1, j0) + fu * lightAt(i1, j1));
            const double k = std::clamp(f, 0.0, 1.0);
            const QRgb c = line[x];
            line[x] = qRgba(int(std::lround(qRed(c) * k)), int(std::lround(qGreen(c) * k)),
                            int(std::lround(qBlue(c) * k)), qAlpha(c));
        }
    }
}

QImage enlarged_texture(const QImage& image)
{
    const int longer = std::max(image.width(), image.height());
    if (image.isNull() || longer <= 0)
        return image;
    const int k = std::max(1, kLongestTextureSide / longer);
    if (k == 1)
        return image;
    // Repeating pixels is a nearest-pixel scaling by a whole factor.
    return image.scaled(image.width() * k, image.height() * k, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
