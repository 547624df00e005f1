#include "views/maps_core.h"

#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <cmath>
#include <limits>

namespace maps {

// ---------------------------------------------------------------------------
// Grids shown

field2D shifted_to_observed_mean(const field2D& calculated, const field2D& observed)
{
    field2D out = calculated;
    if (grid_columns(out) == 0)
        return field2D();
    if (grid_columns(observed) > 0)
        grid_add_scalar(out, grid_mean(observed) - grid_mean(calculated));
    return out;
}

field2D residual_field(const field2D& observed, const field2D& calculated)
{
    const std::size_t rows = grid_rows(observed);
    const std::size_t columns = grid_columns(observed);
    if (rows == 0 || columns == 0 || !grid_has_shape(observed, rows, columns) ||
        !grid_has_shape(calculated, rows, columns))
        return field2D();
    field2D out = observed;
    grid_subtract(out, calculated);
    grid_add_scalar(out, -grid_mean(out));
    return out;
}

field2D layer_thickness(const std::vector<field2D>& horizons, int n, double last_bottom)
{
    if (n < 0 || n >= static_cast<int>(horizons.size()))
        return field2D();
    const field2D& top = horizons[n];
    const std::size_t rows = grid_rows(top);
    const std::size_t columns = grid_columns(top);
    if (rows == 0 || columns == 0 || !grid_has_shape(top, rows, columns))
        return field2D();
    field2D base;
    if (n + 1 < static_cast<int>(horizons.size())) {
        if (!grid_has_shape(horizons[n + 1], rows, columns))
            return field2D();
        base = horizons[n + 1];
    } else {
        base.assign(rows, std::vector<double>(columns, last_bottom));
    }
    grid_subtract(base, top);
    return base;
}

double last_layer_bottom(const field2D& last_top, const std::vector<double>& z_nodes, bool has_density_grid)
{
    if (has_density_grid && !z_nodes.empty())
        return z_nodes.back();
    if (grid_columns(last_top) == 0)
        return 0;
    return grid_max(last_top);
}

// ---------------------------------------------------------------------------
// Colour ranges

Range data_range(const field2D& grid)
{
    if (grid_columns(grid) == 0)
        return Range();
    return Range{grid_min(grid), grid_max(grid)};
}

Range widen_flat_range(Range r)
{
    if (r.lower == r.upper) {
        r.lower -= 0.001;
        r.upper += 0.001;
    }
    return r;
}

// ---------------------------------------------------------------------------
// Texts

QString calculated_label(int kind, int index, const QString& name, int language)
{
    switch (kind) {
    case FieldKind:
        if (index == ResidualField)
            return byLanguage(language, "Остаточное поле, мГал", "Δg obs - Δg calc, mGal");
        return byLanguage(language, "Δg рассчитанное, мГал", "Δg calculated, mGal");
    case LayerTopDensity:
    case LayerCentralDensity:
    case LayerMeanDensity:
        return QStringLiteral("σ ") + name + byLanguage(language, " , г/см3", " , g/cm3");
    case TopDepth:
        return QStringLiteral("z ") + name + byLanguage(language, " , м", " , m");
    case Thickness:
        return QStringLiteral("h ") + name + byLanguage(language, " , м", " , m");
    default:
        return QString();
    }
}

QString observed_label(int language) { return byLanguage(language, "Δg наблюденное, мГал", "Δg observed, mGal"); }
QString x_axis_label(int language) { return byLanguage(language, "X, м", "X, m"); }
QString y_axis_label(int language) { return byLanguage(language, "Y, м", "Y, m"); }

const std::vector<LayerMenu>& layer_menus()
{
    static const std::vector<LayerMenu> menus = {
        {LayerTopDensity, "Layers densities (top)", "Плотности слоев (кровля)"},
        {LayerCentralDensity, "Layers densities (center)", "Плотности слоев (центр)"},
        {LayerMeanDensity, "Layers densities (vert. mean)", "Плотности слоев (верт. среднее)"},
        {TopDepth, "Top depth", "Глубина кровли"},
        {Thickness, "Thickness", "Мощность слоя"},
    };
    return menus;
}

QString layer_menu_title(const LayerMenu& menu, int language) { return byLanguage(language, menu.russian, menu.english); }

int layer_menu_kind(const QString& title)
{
    for (const LayerMenu& m : layer_menus())
        if (title == QString::fromUtf8(m.english) || title == QString::fromUtf8(m.russian))
            return m.kind;
    return 0;
}

QString layer_item_text(const std::vector<QString>& names, int i)
{
    if (i >= 0 && i < static_cast<int>(names.size()) && !names[i].isEmpty())
        return names[i];
    return QString::number(i + 1);
}

int find_layer_by_text(const std::vector<QString>& names, const QString& text)
{
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        const bool match = names[i].isEmpty() ? QString::number(i + 1) == text : names[i] == text;
        if (match)
            return i;
    }
    return -1;
}

QString calculated_item_text(int language) { return byLanguage(language, "Δg рассчитанное", "Δg calc"); }
QString residual_item_text(int language) { return byLanguage(language, "Δg остаточное", "Δg obs - Δg calc"); }

// ---------------------------------------------------------------------------
// Picking a node

int node_index(double value, double first, double last, std::size_t count)
{
    if (count < 2 || last == first || !std::isfinite(value))
        return 0;
    const double step = (last - first) / static_cast<double>(count - 1);
    double q = std::trunc((value - first) / step);
    // A click far outside the grid must still give a representable index.
    const double limit = static_cast<double>(std::numeric_limits<int>::max() / 2);
    if (q > limit)
        q = limit;
    if (q < -limit)
        q = -limit;
    return static_cast<int>(q);
}

double node_position(int index, double first, double last, std::size_t count)
{
    if (count < 2)
        return first;
    return index * (last - first) / static_cast<double>(count - 1) + first;
}

int horizon_series_index(int horizon, bool show_top, bool cube_and_horizons)
{
    return horizon + 6 - (show_top ? 0 : 1) - (cube_and_horizons ? 0 : 6);
}

int series_horizon_index(int series, bool show_top, bool cube_and_horizons)
{
    return series + (show_top ? 0 : 1) - (cube_and_horizons ? 6 : 0);
}

// ---------------------------------------------------------------------------
// Equal scales

void equal_scale(Range& x, Range& y, double width, double height)
{
    const double xsize = x.upper - x.lower;
    const double ysize = y.upper - y.lower;
    if (!(xsize > 0) || !(ysize > 0) || !(width > 0) || !(height > 0))
        return;
    const double sx = width / xsize;
    const double sy = height / ysize;
    if (sx > sy) {
        const double centre = 0.5 * (x.lower + x.upper);
        const double half = 0.5 * width / sy;
        x = Range{centre - half, centre + half};
    } else if (sy > sx) {
        const double centre = 0.5 * (y.lower + y.upper);
        const double half = 0.5 * height / sx;
        y = Range{centre - half, centre + half};
    }
}

}  // namespace maps
