#include "views/section_core.h"

#include "common/grid_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace section {

namespace {

bool finite(double v) { return std::isfinite(v); }

// Node pair around v on an axis: trunc((v - first) / step) (or, for the
// nearest pick, trunc((v - first + step / 2) / step)) and the node after it,
// each clamped to the axis. Computed in double so that a point far outside
// the grid never overflows an int.
void node_pair(const Axis& a, double v, Pick pick, int& i0, int& i1)
{
    i0 = i1 = 0;
    if (a.count <= 1 || !(a.step != 0) || !finite(a.step))
        return;
    const double shift = pick == Pick::Nearest ? 0.5 * a.step : 0.0;
    double t = (v - a.first + shift) / a.step;
    if (!finite(t))
        t = 0;
    const double lo = std::trunc(t);
    const double hi = lo + 1;
    const double last = a.count - 1;
    i0 = int(std::clamp(lo, 0.0, last));
    i1 = int(std::clamp(hi, 0.0, last));
}

template <typename Cell>
double weighted(const Stencil& s, const std::vector<std::vector<Cell>>& grid)
{
    const double v = s.weight[0] * double(grid[s.row[0]][s.col[0]]) + s.weight[1] * double(grid[s.row[0]][s.col[1]]) +
                     s.weight[2] * double(grid[s.row[1]][s.col[0]]) + s.weight[3] * double(grid[s.row[1]][s.col[1]]);
    return v / s.weight_sum;
}

template <typename Cell>
bool regular(const std::vector<std::vector<Cell>>& g)
{
    return grid_columns(g) > 0 && grid_has_shape(g, grid_rows(g), grid_columns(g));
}

std::vector<Stencil> stencils(const Axis& ax, const Axis& ay, const Nodes& nodes, Pick pick)
{
    std::vector<Stencil> out(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i)
        out[i] = stencil(ax, ay, nodes.x[i], nodes.y[i], pick);
    return out;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

}  // namespace

// ---------------------------------------------------------------------------
// Sample points

double polyline_length(const std::vector<double>& xs, const std::vector<double>& ys)
{
    double length = 0;
    for (std::size_t k = 0; k + 1 < xs.size() && k + 1 < ys.size(); ++k)
        length += std::hypot(xs[k + 1] - xs[k], ys[k + 1] - ys[k]);
    return length;
}

LineCheck check_line(const std::vector<double>& xs, const std::vector<double>& ys, double step, std::size_t levels,
                     std::size_t* count)
{
    if (count)
        *count = 0;
    if (xs.size() < 2 || xs.size() != ys.size())
        return LineCheck::TooShort;
    for (std::size_t k = 0; k < xs.size(); ++k)
        if (!finite(xs[k]) || !finite(ys[k]))
            return LineCheck::NotFinite;
    const double length = polyline_length(xs, ys);
    if (!finite(length))
        return LineCheck::NotFinite;
    if (length == 0)
        return LineCheck::Empty;
    if (!finite(step))
        return LineCheck::NotFinite;
    if (!(step > 0))
        return LineCheck::BadStep;
    const double q = length / step;
    if (!finite(q) || q > double(max_samples))
        return LineCheck::TooMany;
    if (q < 1)
        return LineCheck::TooShort;
    const std::size_t n = std::size_t(q);
    if (n * std::max<std::size_t>(levels, 1) > max_cells)
        return LineCheck::TooMany;
    if (count)
        *count = n;
    return LineCheck::Ok;
}

Nodes polyline_nodes(const std::vector<double>& xs, const std::vector<double>& ys, double step)
{
    Nodes nodes;
    std::size_t n = 0;
    if (check_line(xs, ys, step, 1, &n) != LineCheck::Ok)
        return nodes;
    nodes.x.resize(n);
    nodes.y.resize(n);
    nodes.distance.resize(n);

    std::size_t k = 0;       // segment from vertex k to vertex k + 1
    double start = 0;        // distance of vertex k from the first vertex
    double length = std::hypot(xs[1] - xs[0], ys[1] - ys[0]);
    const std::size_t last_segment = xs.size() - 2;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = double(i) * step;
        // Move on to the segment that holds d (segments of zero length are
        // passed over).
        while (k < last_segment && (d >= start + length || length == 0)) {
            start += length;
            ++k;
            length = std::hypot(xs[k + 1] - xs[k], ys[k + 1] - ys[k]);
        }
        const double ux = length > 0 ? (xs[k + 1] - xs[k]) / length : 0.0;
        const double uy = length > 0 ? (ys[k + 1] - ys[k]) / length : 0.0;
        const double along = d - start;
        nodes.x[i] = xs[k] + along * ux;
        nodes.y[i] = ys[k] + along * uy;
        nodes.distance[i] = d;
    }
    return nodes;
}

Nodes line_nodes(double x1, double y1, double x2, double y2, double step)
{
    return polyline_nodes({x1, x2}, {y1, y2}, step);
}

// ---------------------------------------------------------------------------
// Sampling

Axis axis_from_nodes(const std::vector<double>& nodes, std::size_t cells)
{
    Axis a;
    if (nodes.empty() || cells == 0)
        return a;
    a.first = nodes.front();
    a.step = node_step(nodes);
    a.count = int(std::min<std::size_t>(std::min(nodes.size(), cells), std::size_t(std::numeric_limits<int>::max())));
    return a;
}

Axis axis_from_range(double first, double last, double count, std::size_t cells)
{
    Axis a;
    if (!finite(first) || !finite(last) || !(count >= 1) || cells == 0)
        return a;
    a.first = first;
    a.step = count >= 2 ? (last - first) / (count - 1) : 0.0;
    a.count = int(std::min<double>(std::min<double>(std::floor(count), double(cells)), double(std::numeric_limits<int>::max())));
    return a;
}

Stencil stencil(const Axis& ax, const Axis& ay, double x, double y, Pick pick)
{
    Stencil s;
    node_pair(ax, x, pick, s.col[0], s.col[1]);
    node_pair(ay, y, pick, s.row[0], s.row[1]);
    int w = 0;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            const double dx = x - (ax.first + s.col[c] * ax.step);
            const double dy = y - (ay.first + s.row[r] * ay.step);
            s.weight[w] = 1.0 / std::sqrt(dx * dx + dy * dy + 1e-6);
            s.weight_sum += s.weight[w];
            ++w;
        }
    return s;
}

double weighted_value(const Stencil& s, const vector2D& grid) { return weighted(s, grid); }
double weighted_value(const Stencil& s, const field2D& grid) { return weighted(s, grid); }

CubeGeometry cube_geometry(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                           const std::vector<double>& z)
{
    CubeGeometry g;
    if (!cube_is_regular(cube))
        return g;
    g.x = axis_from_nodes(x, cube.front().front().size());
    g.y = axis_from_nodes(y, cube.front().size());
    g.levels = int(std::min(z.size(), cube.size()));
    return g;
}

field2D sample_cube(const vector3D& cube, const CubeGeometry& g, const Nodes& nodes, Pick pick)
{
    if (!cube_is_regular(cube) || g.x.count <= 0 || g.y.count <= 0 || g.levels <= 0 || nodes.size() == 0 ||
        std::size_t(g.levels) > cube.size() || std::size_t(g.y.count) > cube.front().size() ||
        std::size_t(g.x.count) > cube.front().front().size())
        return field2D();
    // The four nodes and weights of a sample serve every level.
    const std::vector<Stencil> st = stencils(g.x, g.y, nodes, pick);
    field2D out(std::size_t(g.levels), std::vector<double>(nodes.size()));
    for (int k = 0; k < g.levels; ++k)
        for (std::size_t i = 0; i < st.size(); ++i)
            out[k][i] = weighted_value(st[i], cube[k]);
    return out;
}

std::vector<double> sample_grid(const field2D& grid, const Axis& ax, const Axis& ay, const Nodes& nodes)
{
    if (!regular(grid) || ax.count <= 0 || ay.count <= 0 || std::size_t(ay.count) > grid.size() ||
        std::size_t(ax.count) > grid.front().size())
        return {};
    std::vector<double> out(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i)
        out[i] = weighted_value(stencil(ax, ay, nodes.x[i], nodes.y[i], Pick::Truncated), grid);
    return out;
}

bool grid_axes(const field2D& grid, const std::vector<double>& geometry, Axis& ax, Axis& ay)
{
    if (geometry.size() < 6 || !regular(grid))
        return false;
    ax = axis_from_range(geometry[2], geometry[3], geometry[0], grid_columns(grid));
    ay = axis_from_range(geometry[4], geometry[5], geometry[1], grid_rows(grid));
    return ax.count > 0 && ay.count > 0;
}

field2D sample_horizons(const std::vector<field2D>& horizons, const std::vector<double>& geometry,
                        const Nodes& nodes)
{
    if (!horizons_are_regular(horizons))
        return field2D();
    Axis ax, ay;
    if (!grid_axes(horizons.front(), geometry, ax, ay))
        return field2D();
    const std::vector<Stencil> st = stencils(ax, ay, nodes, Pick::Truncated);
    field2D out;
    for (std::size_t h = 1; h < horizons.size(); ++h) {
        std::vector<double> row(st.size());
        for (std::size_t i = 0; i < st.size(); ++i)
            row[i] = weighted_value(st[i], horizons[h]);
        out.push_back(std::move(row));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Profiles, records and exports

std::vector<double> residual(const std::vector<double>& observed, const std::vector<double>& calculated)
{
    if (observed.empty() || observed.size() != calculated.size())
        return {};
    std::vector<double> out(observed.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = observed[i] - calculated[i];
    return out;
}

double rms(const std::vector<double>& values)
{
    if (values.empty())
        return 0;
    double sum = 0;
    for (double v : values)
        sum += v * v;
    return std::sqrt(sum / double(values.size()));
}

std::vector<double> slice_params(const std::vector<double>& distances, const std::vector<double>& depths)
{
    if (distances.empty() || depths.empty())
        return {};
    return {double(distances.size()), double(depths.size()), distances.front(), distances.back(), depths.front(),
            depths.back()};
}

ExportGrid export_grid(const field2D& section, const std::vector<double>& params, bool positive_depths)
{
    ExportGrid out;
    if (section.empty() || params.size() < 6)
        return out;
    const double sign = positive_depths ? 1.0 : -1.0;
    const double y_first = sign * params[4];
    const double y_last = sign * params[5];
    out.grid = section;
    if (y_first <= y_last) {
        out.params = {params[0], params[1], params[2], params[3], y_first, y_last};
    } else {
        // Row 0 of a Surfer grid is its lowest y.
        std::reverse(out.grid.begin(), out.grid.end());
        out.params = {params[0], params[1], params[2], params[3], y_last, y_first};
    }
    return out;
}

// ---------------------------------------------------------------------------
// Faults

void sort_sticks_by_depth(Sticks& sticks)
{
    for (auto& fault : sticks)
        for (auto& stick : fault)
            std::stable_sort(stick.begin(), stick.end(),
                             [](const QVector3D& a, const QVector3D& b) { return a.z() < b.z(); });
}

bool segments_cross(double x1, double y1, double x2, double y2, double xa, double ya, double xb, double yb)
{
    if (x1 == x2 && y1 == y2)
        return false;  // a section without length has no plane
    const double den = (x1 - x2) * (yb - ya) - (y1 - y2) * (xb - xa);
    if (den != 0) {
        const double s = ((xb - x2) * (yb - ya) - (yb - y2) * (xb - xa)) / den;
        const double u = ((yb - y2) * (x1 - x2) - (xb - x2) * (y1 - y2)) / den;
        return s >= 0 && s <= 1 && u >= 0 && u <= 1;
    }
    // Parallel: they cross only when both lie on one line and overlap.
    const double dx = x2 - x1, dy = y2 - y1;
    if (cross(xa - x1, ya - y1, dx, dy) != 0 || cross(xb - x1, yb - y1, dx, dy) != 0)
        return false;
    const double len2 = dx * dx + dy * dy;
    const double ta = ((xa - x1) * dx + (ya - y1) * dy) / len2;
    const double tb = ((xb - x1) * dx + (yb - y1) * dy) / len2;
    return std::max(std::min(ta, tb), 0.0) <= std::min(std::max(ta, tb), 1.0);
}

std::vector<Crossing> fault_crossings(double x1, double y1, double x2, double y2, const Sticks& sticks)
{
    std::vector<Crossing> out;
    const double dx = x2 - x1, dy = y2 - y1;
    const double length = std::hypot(dx, dy);
    if (!(length > 0) || !finite(length))
        return out;
    for (const auto& fault : sticks) {
        for (std::size_t i = 0; i + 1 < fault.size(); ++i) {
            const std::vector<QVector3D>& A = fault[i];
            const std::vector<QVector3D>& B = fault[i + 1];
            if (A.size() < 2 || B.size() < 2)
                continue;
            if (!segments_cross(x1, y1, x2, y2, A[0].x(), A[0].y(), B[0].x(), B[0].y()))
                continue;
            Crossing crossing;
            const std::size_t n = std::max(A.size(), B.size());
            for (std::size_t j = 0; j < n; ++j) {
                const QVector3D& a = A[std::min(j, A.size() - 1)];
                const QVector3D& b = B[std::min(j, B.size() - 1)];
                const double xa = a.x(), ya = a.y(), za = a.z();
                const double xb = b.x(), yb = b.y(), zb = b.z();
                // Where the line through a and b meets the section's line:
                // p1 + t (p2 - p1).
                const double den = cross(dx, dy, xb - xa, yb - ya);
                if (den == 0)
                    continue;  // parallel to the section (or a and b on one plan point)
                const double t = cross(xa - x1, ya - y1, xb - xa, yb - ya) / den;
                const double X = x1 + t * dx, Y = y1 + t * dy;
                const double Q = std::hypot(X - xa, Y - ya);
                const double R = std::hypot(X - xb, Y - yb);
                const double depth = Q + R > 0 ? (zb * Q + za * R) / (Q + R) : 0.5 * (za + zb);
                if (!finite(t) || !finite(depth))
                    continue;
                crossing.push_back({float(t * length), float(depth)});
            }
            if (!crossing.empty())
                out.push_back(std::move(crossing));
        }
    }
    return out;
}

}  // namespace section
