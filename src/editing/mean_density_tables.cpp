#include "editing/mean_density_tables.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/layers.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace mean_density {

namespace {

// Six significant digits leave a relative error of at most 5e-6.
constexpr double kWrittenPrecision = 5e-6;

// A depth matches a node within the rounding of the six digits it was
// written with, and at least within the node tolerance of the lattice
// (common/grid_geometry.h), never beyond half a step.
bool depth_matches_node(double z, double node, double step)
{
    const double scale = std::max(std::abs(z), std::abs(node));
    double tolerance = std::max(kWrittenPrecision * scale, kNodeTolerance * std::abs(step));
    if (step != 0)
        tolerance = std::min(tolerance, 0.5 * std::abs(step));
    return std::abs(z - node) <= tolerance;
}

bool grid_ready(const vector3D& grid, const std::vector<double>& z)
{
    return cube_is_regular(grid) && z.size() >= grid.size();
}

QStringList split_fields(const QString& line)
{
    static const QRegularExpression separators(QStringLiteral("[ ,\t]+"));
    return line.simplified().split(separators, Qt::SkipEmptyParts);
}

bool read_number(const QString& field, double& value)
{
    bool ok = false;
    value = field.toDouble(&ok);
    return ok && std::isfinite(value);
}

TableResult bad_line(int line, const QString& text)
{
    TableResult r;
    r.status = TableStatus::BadLine;
    r.line = line;
    r.text = text;
    return r;
}

}  // namespace

int table_level(double z, const std::vector<double>& level_depths)
{
    const std::size_t nz = level_depths.size();
    if (nz == 0 || !std::isfinite(z))
        return -1;
    const double z0 = level_depths[0];
    if (nz == 1)
        return depth_matches_node(z, z0, 0) ? 0 : -1;
    const double step = level_depths[1] - z0;
    if (!(step != 0) || !std::isfinite(step))
        return -1;
    const double r = (z - z0) / step;
    const double nearest = std::round(r);
    if (nearest >= 0 && nearest < double(nz)
        && depth_matches_node(z, level_depths[static_cast<std::size_t>(nearest)], step))
        return static_cast<int>(nearest);
    const double k = std::trunc(r);
    if (!(k >= 0 && k < double(nz)))
        return -1;
    return static_cast<int>(k);
}

TableStatus write_depth_table(QTextStream& out, const vector3D& grid, const std::vector<double>& z)
{
    if (!grid_ready(grid, z))
        return TableStatus::EmptyGrid;
    out << "z dens\n";
    for (std::size_t k = 0; k < grid.size(); ++k)
        out << z[k] << " " << grid_mean(grid[k]) << "\n";
    out.flush();
    return out.status() == QTextStream::Ok ? TableStatus::Ok : TableStatus::ReadFailed;
}

TableStatus write_layer_table(QTextStream& out, const vector3D& grid, const std::vector<double>& z,
                              const std::vector<field2D>& horizons)
{
    if (!grid_ready(grid, z))
        return TableStatus::EmptyGrid;
    if (horizons.empty())
        return TableStatus::NoLayers;
    if (!horizons_match_grid(horizons, grid))
        return TableStatus::LayersMismatch;

    const std::size_t layers_count = horizons.size();
    for (std::size_t n = 1; n <= layers_count; ++n)
        out << "z" << n << " dens" << n << " ";
    out << "\n";

    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    std::vector<double> sum(layers_count);
    std::vector<long long> count(layers_count);
    for (std::size_t k = 0; k < grid.size(); ++k) {
        const double zk = z[k];
        std::fill(sum.begin(), sum.end(), 0.0);
        std::fill(count.begin(), count.end(), 0);
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j) {
                const int m = layers::layer_search(horizons, i, j, zk);
                sum[static_cast<std::size_t>(m)] += grid[k][i][j];
                ++count[static_cast<std::size_t>(m)];
            }
        for (std::size_t n = 0; n < layers_count; ++n) {
            out << zk << " ";
            if (count[n] > 0)
                out << sum[n] / double(count[n]) << " ";
            else
                out << "* ";
        }
        out << " \n";
    }
    out.flush();
    return out.status() == QTextStream::Ok ? TableStatus::Ok : TableStatus::ReadFailed;
}

TableResult read_depth_table(QTextStream& in, vector3D& grid, const std::vector<double>& z)
{
    if (!grid_ready(grid, z)) {
        TableResult r;
        r.status = TableStatus::EmptyGrid;
        return r;
    }
    const std::vector<double> depths(z.begin(), z.begin() + grid.size());
    struct Entry {
        int level;
        float value;
    };
    std::vector<Entry> entries;
    int number = 0;
    in.readLine();  // the header, whatever it holds
    ++number;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++number;
        const QString simple = line.simplified();
        if (simple.isEmpty() || simple.contains(QLatin1Char('*')))
            continue;
        const QStringList fields = split_fields(simple);
        if (fields.size() < 2)
            return bad_line(number, line);
        std::vector<double> numbers(static_cast<std::size_t>(fields.size()));
        for (int f = 0; f < fields.size(); ++f)
            if (!read_number(fields[f], numbers[static_cast<std::size_t>(f)]))
                return bad_line(number, line);
        const float stored = static_cast<float>(numbers[1]);
        if (!std::isfinite(stored))
            return bad_line(number, line);
        const int k = table_level(numbers[0], depths);
        if (k >= 0)
            entries.push_back({k, stored});
    }
    if (in.status() != QTextStream::Ok) {
        TableResult r;
        r.status = TableStatus::ReadFailed;
        return r;
    }
    TableResult result;
    for (const Entry& e : entries)
        for (auto& row : grid[static_cast<std::size_t>(e.level)])
            for (data_type& cell : row) {
                cell = e.value;
                ++result.cells_set;
            }
    return result;
}

TableResult read_layer_table(QTextStream& in, vector3D& grid, const std::vector<double>& z,
                             const std::vector<field2D>& horizons)
{
    TableResult refused;
    if (!grid_ready(grid, z)) {
        refused.status = TableStatus::EmptyGrid;
        return refused;
    }
    if (horizons.empty()) {
        refused.status = TableStatus::NoLayers;
        return refused;
    }
    if (!horizons_match_grid(horizons, grid)) {
        refused.status = TableStatus::LayersMismatch;
        return refused;
    }
    const std::vector<double> depths(z.begin(), z.begin() + grid.size());
    const int layers_count = static_cast<int>(horizons.size());

    struct Entry {
        int layer;
        int level;
        float value;
    };
    std::vector<Entry> entries;
    int number = 0;
    in.readLine();  // the header, whatever it holds
    ++number;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++number;
        const QStringList fields = split_fields(line);
        if (fields.isEmpty())
            continue;
        // An odd last field has no partner and is ignored.
        for (int l = 0; l < fields.size() / 2; ++l) {
            const QString& fz = fields[2 * l];
            const QString& fd = fields[2 * l + 1];
            if (fz.contains(QLatin1Char('*')) || fd.contains(QLatin1Char('*')))
                continue;
            double depth = 0, value = 0;
            if (!read_number(fz, depth) || !read_number(fd, value))
                return bad_line(number, line);
            const float stored = static_cast<float>(value);
            if (!std::isfinite(stored))
                return bad_line(number, line);
            if (l >= layers_count)
                continue;
            const int k = table_level(depth, depths);
            if (k >= 0)
                entries.push_back({l, k, stored});
        }
    }
    if (in.status() != QTextStream::Ok) {
        refused.status = TableStatus::ReadFailed;
        return refused;
    }

    TableResult result;
    const double open_bottom = std::numeric_limits<double>::infinity();
    const std::size_t ny = grid.front().size();
    const std::size_t nx = grid.front().front().size();
    for (const Entry& e : entries) {
        const double depth = depths[static_cast<std::size_t>(e.level)];
        vector2D& level = grid[static_cast<std::size_t>(e.level)];
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j)
                if (layers::in_layer_slab(horizons, e.layer, i, j, depth, open_bottom)) {
                    level[i][j] = e.value;
                    ++result.cells_set;
                }
    }
    return result;
}

}  // namespace mean_density
