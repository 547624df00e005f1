#pragma once
// The arithmetic behind the two field maps and the clicks on them: what grid
// each kind of the calculated map shows, its colour-bar label, the automatic
// colour range, node picking on a horizon grid, the series positions of the
// horizons in the 3D view and the equal-scale rule. No widgets here.

#include "common/types.h"

#include <QString>
#include <cstddef>
#include <vector>

namespace maps {

// What the calculated map shows: (kind, index). Kind 1 is the field itself
// (index 1 the calculated field, index 2 the residual); kinds 2 to 6 are
// per-layer maps and their index is the layer (0 the top layer).
enum Kind {
    FieldKind = 1,
    LayerTopDensity = 2,
    LayerCentralDensity = 3,
    TopDepth = 4,
    Thickness = 5,
    LayerMeanDensity = 6,
};
enum FieldIndex { CalculatedField = 1, ResidualField = 2 };

inline bool is_layer_kind(int kind) { return kind >= LayerTopDensity && kind <= LayerMeanDensity; }

// ---------------------------------------------------------------------------
// Grids shown

// A copy of the calculated field raised by mean(observed) - mean(calculated),
// so that both maps share one level; unchanged when the observed field is
// empty. Empty when the calculated field is empty.
field2D shifted_to_observed_mean(const field2D& calculated, const field2D& observed);

// The residual observed - calculated with its own mean removed. Empty when
// either field is empty or their rows and columns differ.
field2D residual_field(const field2D& observed, const field2D& calculated);

// Thickness of layer n: the next horizon (or, for the last layer, a flat
// base at `last_bottom`) minus horizon n. Empty for an n outside the horizons
// or when the two horizons differ in rows or columns.
field2D layer_thickness(const std::vector<field2D>& horizons, int n, double last_bottom);

// The flat base of the last layer: the model's bottom (the last level of
// the density grid) when a grid exists, otherwise the deepest node of the
// layer's own top, so that its deepest node shows a thickness of 0.
double last_layer_bottom(const field2D& last_top, const std::vector<double>& z_nodes, bool has_density_grid);

// ---------------------------------------------------------------------------
// Colour ranges

struct Range
{
    double lower = 0;
    double upper = 0;
};

// The smallest and largest cell of a non-empty grid.
Range data_range(const field2D& grid);

// A zero-width range cannot colour anything: min == max becomes
// (min - 0.001, max + 0.001). Other ranges are returned unchanged.
Range widen_flat_range(Range r);

// ---------------------------------------------------------------------------
// Texts

// Colour-bar label of the calculated map for (kind, index); `name` is the
// layer's name for the per-layer kinds. English when language != 0.
QString calculated_label(int kind, int index, const QString& name, int language);
QString observed_label(int language);
QString x_axis_label(int language);
QString y_axis_label(int language);

// The layer submenus of the calculated map's context menu, in menu order.
struct LayerMenu
{
    int kind;
    const char* english;
    const char* russian;
};
const std::vector<LayerMenu>& layer_menus();
QString layer_menu_title(const LayerMenu& menu, int language);
// The kind of a layer submenu with this title (either language); 0 if none.
int layer_menu_kind(const QString& title);

// Item text of layer i: its name when it has a non-empty one, else i + 1.
QString layer_item_text(const std::vector<QString>& names, int i);
// The first layer whose item text equals `text`; -1 when none.
int find_layer_by_text(const std::vector<QString>& names, const QString& text);

// Texts of the two field items (English, Russian).
QString calculated_item_text(int language);
QString residual_item_text(int language);

// ---------------------------------------------------------------------------
// Picking a node

// Index of the node nearest below `value` on an axis of `count` nodes from
// `first` to `last`: (value - first) / step truncated toward zero, not
// clamped (a value less than a step before the first node gives 0). An axis
// of one node (or of zero extent) has only node 0.
int node_index(double value, double first, double last, std::size_t count);
// Coordinate of node `index` on the same axis (first for a one-node axis).
double node_position(int index, double first, double last, std::size_t count);

// Position of horizon h in the 3D view's surface list: the six cube faces
// come first in the cube-and-horizons view, and horizon 0 is there only when
// the top is shown.
int horizon_series_index(int horizon, bool show_top, bool cube_and_horizons);
// The horizon drawn at series position s (the inverse of the above).
int series_horizon_index(int series, bool show_top, bool cube_and_horizons);

// ---------------------------------------------------------------------------
// Equal scales

// Widens one of the two ranges about its centre so that both axes get the
// same number of pixels per unit on a plot area of width x height pixels:
// the axis with more pixels per unit is widened. Nothing changes for empty
// ranges or a plot area without size.
void equal_scale(Range& x, Range& y, double width, double height);

}  // namespace maps
