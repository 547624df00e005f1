#include "views/view3d_rules.h"

#include "common/grid_geometry.h"
#include "views/crop_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace view3d {

void extend_bounds(const std::vector<double>& values, double& lo, double& hi)
{
    for (double v : values)
        extend_bound(v, lo, hi);
}

AxisRange axis_range(double lo, double hi)
{
    AxisRange r;
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi)
        return r;
    double span = hi - lo;
    if (span <= 0) {
        // One value only: a range a few percent wide around it.
        const double pad = lo != 0 ? std::abs(lo) * 0.05 : 1.0;
        r.lower = lo - pad;
        r.upper = hi + pad;
    } else {
        r.lower = lo - 0.025 * span;
        r.upper = hi + 0.025 * span;
    }
    // The graph takes floats: the ends must stay finite and apart there too.
    const double fmax = double(std::numeric_limits<float>::max());
    if (!(std::abs(r.lower) < fmax && std::abs(r.upper) < fmax) || float(r.lower) >= float(r.upper))
        return AxisRange{};
    r.valid = true;
    return r;
}

Extent sticks_extent(const std::vector<std::vector<std::vector<QVector3D>>>& sticks)
{
    Extent out;
    auto& e = out.e;
    for (const auto& fault : sticks)
        for (const auto& stick : fault)
            for (const QVector3D& p : stick) {
                if (!out.ok) {
                    e = {{p.x(), p.x(), p.y(), p.y(), p.z(), p.z()}};
                    out.ok = true;
                    continue;
                }
                extend_bound(p.x(), e[0], e[1]);
                extend_bound(p.y(), e[2], e[3]);
                extend_bound(p.z(), e[4], e[5]);
            }
    return out;
}

ViewBounds widened(ViewBounds b, const Extent& e)
{
    if (!e.ok)
        return b;
    b.min_x = std::min(b.min_x, e.e[0]);
    b.max_x = std::max(b.max_x, e.e[1]);
    b.min_y = std::min(b.min_y, e.e[2]);
    b.max_y = std::max(b.max_y, e.e[3]);
    b.min_z = std::min(b.min_z, e.e[4]);
    b.max_z = std::max(b.max_z, e.e[5]);
    return b;
}

ViewBounds surface_bounds(const ViewBounds& current, const SurfaceSizeInput& in)
{
    ViewBounds b = current;
    if (in.window_limits.size() >= 6) {
        const auto& w = in.window_limits;
        b.min_x = w[0];
        b.max_x = w[1];
        b.min_y = w[2];
        b.max_y = w[3];
        b.min_z = w[4];
        b.max_z = w[5];
        return b;
    }
    if (in.x || in.y || in.z) {
        if (in.x && !in.x->empty()) {
            b.min_x = in.x->front();
            b.max_x = in.x->back();
        }
        if (in.y && !in.y->empty()) {
            b.min_y = in.y->front();
            b.max_y = in.y->back();
        }
        if (in.z && !in.z->empty()) {
            b.min_z = in.z->front();
            b.max_z = in.z->back();
        }
    } else if (in.horizons_params.size() >= 6) {
        const auto& p = in.horizons_params;
        b.min_x = p[2];
        b.max_x = p[3];
        b.min_y = p[4];
        b.max_y = p[5];
        b.min_z = 0;
        b.max_z = in.horizons_deepest;
    }
    return widened(b, in.faults);
}

QSize texture_size(int columns, int rows)
{
    double w = double(columns) * 5;
    double h = double(rows) * 5;
    if (w > 512 && w > h) {
        h = std::trunc(h / (w / 512));
        w = 512;
    } else if (h > 512) {
        w = std::trunc(w / (h / 512));
        h = 512;
    }
    return QSize(int(w), int(h));
}

MeshRows z_face_mesh(const std::vector<double>& x, const std::vector<double>& y, double z0)
{
    MeshRows rows(y.size(), std::vector<QVector3D>(x.size()));
    for (std::size_t i = 0; i < y.size(); ++i)
        for (std::size_t j = 0; j < x.size(); ++j)
            rows[i][j] = QVector3D(float(x[j]), float(z0), float(y[i]));
    return rows;
}

namespace {
// A shift step of a thousandth of the view's span per node; an unset or
// non-finite span gives no shift.
double shift_step(double span, std::size_t nodes)
{
    if (!(span > 0) || !std::isfinite(span) || nodes == 0)
        return 0;
    return span / 1000.0 / double(nodes);
}
}  // namespace

MeshRows x_face_mesh(double x0, const std::vector<double>& y, const std::vector<double>& z, double span_x,
                     double span_y)
{
    const double ex = shift_step(span_x, z.size());
    const double ey = shift_step(span_y, y.size());
    MeshRows rows(y.size(), std::vector<QVector3D>(z.size()));
    for (std::size_t i = 0; i < y.size(); ++i)
        for (std::size_t j = 0; j < z.size(); ++j)
            rows[i][j] = QVector3D(float(x0 + double(j) * ex), float(z[j]), float(y[i] + double(i) * ey));
    return rows;
}

MeshRows y_face_mesh(const std::vector<double>& x, double y0, const std::vector<double>& z, double span_x,
                     double span_y)
{
    const double ex = shift_step(span_x, x.size());
    const double ey = shift_step(span_y, z.size());
    MeshRows rows(z.size(), std::vector<QVector3D>(x.size()));
    for (std::size_t i = 0; i < z.size(); ++i)
        for (std::size_t j = 0; j < x.size(); ++j)
            rows[i][j] = QVector3D(float(x[j] + double(j) * ex), float(z[i]), float(y0 + double(i) * ey));
    return rows;
}

MeshRows horizon_mesh(const std::vector<double>& x, const std::vector<double>& y, const field2D& depths)
{
    const std::size_t ny = std::min(depths.size(), y.size());
    const std::size_t nx = std::min(grid_columns(depths), x.size());
    MeshRows rows;
    rows.reserve(ny);
    for (std::size_t k = 0; k < ny; ++k) {
        if (depths[k].size() < nx)
            break;  // a ragged grid: keep the complete rows only
        std::vector<QVector3D> row(nx);
        for (std::size_t l = 0; l < nx; ++l)
            row[l] = QVector3D(float(x[l]), float(depths[k][l]), float(y[k]));
        rows.push_back(std::move(row));
    }
    return rows;
}

MeshRows fault_rows(std::vector<std::vector<QVector3D>> sticks)
{
    std::size_t n = 0;
    for (auto& stick : sticks) {
        std::stable_sort(stick.begin(), stick.end(),
                         [](const QVector3D& a, const QVector3D& b) { return a.z() < b.z(); });
        n = std::max(n, stick.size());
    }
    MeshRows rows;
    for (const auto& stick : sticks) {
        if (stick.empty())
            continue;
        std::vector<QVector3D> row(n);
        for (std::size_t k = 0; k < n; ++k) {
            const QVector3D& p = stick[std::min(k, stick.size() - 1)];
            row[k] = QVector3D(p.x(), p.z(), p.y());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

namespace {
// Start and length of the longest run of true flags (the first of equals).
std::pair<int, int> longest_run(const std::vector<bool>& ok)
{
    int best = 0, best_start = 0, start = 0;
    for (int i = 0; i <= int(ok.size()); ++i) {
        if (i < int(ok.size()) && ok[std::size_t(i)])
            continue;
        if (i - start > best) {
            best = i - start;
            best_start = start;
        }
        start = i + 1;
    }
    return {best_start, best};
}
}  // namespace

namespace {
// The largest block of at least 2 x 2 true flags of `inside` (rows of equal
// length; the first of equals, scanning the blocks' last rows downwards):
// for each row the heights of the runs of true flags that end in it, and for
// each height the widest block it spans (the maximal blocks are among them).
MeshBlock largest_block(const std::vector<std::vector<bool>>& inside)
{
    MeshBlock best;
    if (inside.empty())
        return best;
    const int columns = int(inside.front().size());
    std::vector<int> height(std::size_t(columns) + 1, 0);  // a 0 sentinel at the end
    std::vector<int> stack;
    long long best_area = 0;
    for (int i = 0; i < int(inside.size()); ++i) {
        for (int j = 0; j < columns; ++j)
            height[std::size_t(j)] = inside[std::size_t(i)][std::size_t(j)] ? height[std::size_t(j)] + 1 : 0;
        stack.clear();
        for (int j = 0; j <= columns; ++j) {
            while (!stack.empty() && height[std::size_t(stack.back())] >= height[std::size_t(j)]) {
                const int h = height[std::size_t(stack.back())];
                stack.pop_back();
                const int left = stack.empty() ? 0 : stack.back() + 1;
                const int width = j - left;
                if (h >= 2 && width >= 2 && (long long)h * width > best_area) {
                    best_area = (long long)h * width;
                    best.row = i - h + 1, best.rows = h;
                    best.column = left, best.columns = width;
                }
            }
            stack.push_back(j);
        }
    }
    return best;
}

bool depth_inside(float y, const AxisRanges& r)
{
    return !(y < r.y_lo || y > r.y_hi);  // a depth that is no number counts as inside
}
}  // namespace

MeshBlock drawable_block(const MeshRows& mesh, const AxisRanges& r)
{
    MeshBlock b;
    if (mesh.empty() || mesh.front().empty())
        return b;
    const std::size_t columns = mesh.front().size();
    for (const auto& row : mesh)
        if (row.size() != columns)
            return b;  // not a grid of points: nothing the graph can draw
    std::vector<bool> column_ok(columns, true), row_ok(mesh.size(), true);
    bool depths_inside = true;
    for (std::size_t i = 0; i < mesh.size(); ++i)
        for (std::size_t j = 0; j < columns; ++j) {
            const QVector3D& p = mesh[i][j];
            if (!(p.x() >= r.x_lo && p.x() <= r.x_hi))
                column_ok[j] = false;
            if (!(p.z() >= r.z_lo && p.z() <= r.z_hi))
                row_ok[i] = false;
            depths_inside = depths_inside && depth_inside(p.y(), r);
        }
    std::tie(b.column, b.columns) = longest_run(column_ok);
    std::tie(b.row, b.rows) = longest_run(row_ok);
    if (!b.drawable() || depths_inside)
        return b;
    // Within the plan block, the depths.
    auto inside_at = [&](int i, int j) {
        return depth_inside(mesh[std::size_t(b.row + i)][std::size_t(b.column + j)].y(), r);
    };
    std::vector<std::vector<bool>> inside(std::size_t(b.rows), std::vector<bool>(std::size_t(b.columns)));
    for (int i = 0; i < b.rows; ++i)
        for (int j = 0; j < b.columns; ++j)
            inside[std::size_t(i)][std::size_t(j)] = inside_at(i, j);
    MeshBlock d = largest_block(inside);
    if (!d.drawable())
        return MeshBlock{};
    d.row += b.row;
    d.column += b.column;
    return d;
}

MeshRows block_rows(const MeshRows& mesh, const MeshBlock& b)
{
    MeshRows out;
    out.reserve(std::size_t(std::max(b.rows, 0)));
    for (int i = b.row; i < b.row + b.rows; ++i)
        out.emplace_back(mesh[std::size_t(i)].begin() + b.column, mesh[std::size_t(i)].begin() + b.column + b.columns);
    return out;
}

QRect texture_block(const QSize& image, int mesh_rows, int mesh_columns, const MeshBlock& b)
{
    auto pixel = [](int node, int nodes, int pixels) {
        return nodes > 1 ? int(std::lround(double(node) * double(pixels - 1) / double(nodes - 1))) : 0;
    };
    const int left = pixel(b.column, mesh_columns, image.width());
    const int right = pixel(b.column + b.columns - 1, mesh_columns, image.width());
    // Mesh row 0 is the bottom line of the image.
    const int top = image.height() - 1 - pixel(b.row + b.rows - 1, mesh_rows, image.height());
    const int bottom = image.height() - 1 - pixel(b.row, mesh_rows, image.height());
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

double limit_tolerance(double limit)
{
    const double a = std::abs(limit);
    if (!(a > 0) || !std::isfinite(a))
        return 0;
    // Half a unit in the sixth significant digit.
    return 0.5 * std::pow(10.0, std::floor(std::log10(a)) - 5);
}

bool within_limits(double v, double lo, double hi)
{
    return v >= lo - limit_tolerance(lo) && v <= hi + limit_tolerance(hi);
}

AxisRanges cut_ranges(const ViewBounds& b, const AxisRanges& axes)
{
    AxisRanges r = axes;
    // [lo, hi] widened by the tolerances and `extra`, inside the axis' own range.
    auto cut = [](double lo, double hi, double extra, float& axis_lo, float& axis_hi) {
        if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi)
            return;
        const double l = lo - limit_tolerance(lo) - extra;
        const double h = hi + limit_tolerance(hi) + extra;
        // Rounded inwards to float: the tolerance is many times the rounding,
        // so a point on a bound stays inside, and nothing cut to the range
        // lies beyond the tolerance.
        float fl = float(l), fh = float(h);
        if (double(fl) < l)
            fl = std::nextafter(fl, std::numeric_limits<float>::infinity());
        if (double(fh) > h)
            fh = std::nextafter(fh, -std::numeric_limits<float>::infinity());
        axis_lo = std::max(axis_lo, fl);
        axis_hi = std::min(axis_hi, fh);
    };
    cut(b.min_x, b.max_x, (b.max_x - b.min_x) / 1000.0, r.x_lo, r.x_hi);
    cut(b.min_y, b.max_y, (b.max_y - b.min_y) / 1000.0, r.z_lo, r.z_hi);
    cut(b.min_z, b.max_z, 0.0, r.y_lo, r.y_hi);
    return r;
}

MeshRows sticks_within_depth(const MeshRows& rows, float lo, float hi)
{
    MeshRows out;
    std::size_t n = 0;
    for (const auto& stick : rows) {
        std::vector<QVector3D> kept;
        // The point of the segment a -> b at depth d (a and b on either side).
        auto at_depth = [](const QVector3D& a, const QVector3D& b, float d) {
            const float t = (d - a.y()) / (b.y() - a.y());
            return QVector3D(a.x() + t * (b.x() - a.x()), d, a.z() + t * (b.z() - a.z()));
        };
        for (std::size_t k = 0; k < stick.size(); ++k) {
            const QVector3D& p = stick[k];
            const bool in = !(p.y() < lo || p.y() > hi);
            if (k > 0) {
                const QVector3D& q = stick[k - 1];
                if (q.y() < lo && p.y() > lo)
                    kept.push_back(at_depth(q, p, lo));
                if (q.y() < hi && p.y() > hi)
                    kept.push_back(at_depth(q, p, hi));
            }
            if (in)
                kept.push_back(p);
        }
        // Repeated points (the padding) once only.
        kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
        if (kept.empty())
            continue;
        n = std::max(n, kept.size());
        out.push_back(std::move(kept));
    }
    for (auto& row : out)
        row.resize(n, row.back());
    return out;
}

namespace {
double positive_or_one(double v)
{
    return (v > 0 && std::isfinite(v)) ? v : 1.0;
}
}  // namespace

field2D relief_light(const MeshRows& mesh, double horizontal_span, double depth_span, double aspect_ratio)
{
    // The graph's X, up and Z, in units of the view box.
    const double h = positive_or_one(horizontal_span);
    const double v = positive_or_one(aspect_ratio) * positive_or_one(depth_span);
    auto at = [&](std::size_t i, std::size_t j) {
        const QVector3D& p = mesh[i][j];
        return QVector3D(float(double(p.x()) / h), float(-double(p.y()) / v), float(double(p.z()) / h));
    };
    // From above at 45 degrees, from the left of a viewer above the corner of
    // the lowest x and the largest y.
    const QVector3D light = QVector3D(-1.5f, 1.5811388f, -0.5f).normalized();
    const double level = double(light.y());

    field2D out(mesh.size());
    for (std::size_t i = 0; i < mesh.size(); ++i) {
        const std::size_t n = mesh[i].size();
        out[i].assign(n, 1.0);
        for (std::size_t j = 0; j < n; ++j) {
            // Central differences along the row and across the rows, one-sided
            // at the edges; rows shorter than this one are not looked into.
            const std::size_t j0 = j > 0 ? j - 1 : j, j1 = j + 1 < n ? j + 1 : j;
            const std::size_t i0 = (i > 0 && mesh[i - 1].size() > j) ? i - 1 : i;
            const std::size_t i1 = (i + 1 < mesh.size() && mesh[i + 1].size() > j) ? i + 1 : i;
            const QVector3D along = at(i, j1) - at(i, j0);
            const QVector3D across = at(i1, j) - at(i0, j);
            const QVector3D normal = QVector3D::crossProduct(along, across);
            if (!(normal.length() > 1e-12f))
                continue;
            // Lit from above on the side that faces up; a wall, whose sides
            // are seen alike, on either side, blending into it below a tilt
            // of 30 degrees from the vertical.
            QVector3D up = normal.normalized();
            if (up.y() < 0)
                up = -up;
            const double cosine = double(QVector3D::dotProduct(up, light));
            const double tilt = std::min(1.0, double(up.y()) / 0.5);
            const double facing = tilt * std::max(0.0, cosine) + (1.0 - tilt) * std::abs(cosine);
            out[i][j] = kReliefShadow + (1.0 - kReliefShadow) * std::min(1.0, facing / level);
        }
    }
    return out;
}

std::vector<double> light_by_depth(const MeshRows& mesh, const field2D& light, int bins)
{
    const std::size_t n = std::size_t(std::max(bins, 1));
    std::vector<double> out(n, 1.0);
    ValueRange depth;
    for (const auto& row : mesh)
        for (const QVector3D& p : row)
            depth.take(double(p.y()));
    if (!depth.any || !(depth.hi > depth.lo))
        return out;
    std::vector<double> sum(n, 0.0);
    std::vector<int> count(n, 0);
    for (std::size_t i = 0; i < mesh.size() && i < light.size(); ++i)
        for (std::size_t j = 0; j < mesh[i].size() && j < light[i].size(); ++j) {
            const double t = (double(mesh[i][j].y()) - depth.lo) / (depth.hi - depth.lo);
            const std::size_t k = std::min(n - 1, std::size_t(std::max(0.0, t) * double(n)));
            sum[k] += light[i][j];
            ++count[k];
        }
    for (std::size_t k = 0; k < n; ++k) {
        // The nearest slice with nodes (the shallower one on a tie).
        for (std::size_t d = 0; d < n; ++d) {
            if (k >= d && count[k - d] > 0) {
                out[k] = sum[k - d] / count[k - d];
                break;
            }
            if (k + d < n && count[k + d] > 0) {
                out[k] = sum[k + d] / count[k + d];
                break;
            }
        }
    }
    return out;
}

CropBorders fix_crop_borders(CropBorders& borders, int nx, int ny, int nz)
{
    const int last[6] = {nx - 1, nx - 1, ny - 1, ny - 1, nz - 1, nz - 1};
    // left, front and top default to the first node; right, back and bottom to the last.
    const bool first_side[6] = {true, false, true, false, true, false};
    for (int k = 0; k < 6; ++k)
        if (borders[k] < 0)
            borders[k] = first_side[k] ? 0 : std::max(last[k], 0);
    CropBorders used = borders;
    for (int k = 0; k < 6; ++k)
        if (used[k] > last[k])
            used[k] = std::max(last[k], 0);
    return used;
}

CubeFaces cut_faces(const vector3D& cube, const CropBorders& at, bool absolute)
{
    CubeFaces f;
    if (cube.empty() || cube.front().empty() || cube.front().front().empty())
        return f;
    // Node counts along x (columns), y (rows) and depth (levels).
    const int nodes[3] = {int(cube.front().front().size()), int(cube.front().size()), int(cube.size())};
    auto face = [&](crop::Face which) {
        const int index = std::clamp(at[std::size_t(crop::border_slot(which))], 0, nodes[crop::face_axis(which)] - 1);
        return crop::face_grid(cube, which, index, absolute);
    };
    f.bottom = face(crop::Face::Bottom);
    f.top = face(crop::Face::Top);
    f.left = face(crop::Face::Left);
    f.right = face(crop::Face::Right);
    f.back = face(crop::Face::Back);
    f.front = face(crop::Face::Front);
    return f;
}

NodeRun nodes_within(const std::vector<double>& nodes, double lo, double hi)
{
    std::vector<bool> ok(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i)
        ok[i] = within_limits(nodes[i], lo, hi);
    NodeRun run;
    std::tie(run.first, run.count) = longest_run(ok);
    if (run.count == 0)
        run.first = 0;
    return run;
}

std::vector<double> run_nodes(const std::vector<double>& nodes, const NodeRun& run)
{
    if (run.count <= 0 || run.first < 0 || std::size_t(run.first + run.count) > nodes.size())
        return {};
    return std::vector<double>(nodes.begin() + run.first, nodes.begin() + run.first + run.count);
}

CubeCut cut_cube(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z,
                 const CropBorders& at, const std::vector<double>& limits)
{
    CubeCut c;
    const std::vector<double>* nodes[3] = {&x, &y, &z};
    for (int a = 0; a < 3; ++a) {
        const std::vector<double>& v = *nodes[a];
        c.runs[std::size_t(a)] = limits.size() >= 6
                                     ? nodes_within(v, limits[std::size_t(2 * a)], limits[std::size_t(2 * a + 1)])
                                     : NodeRun{0, int(v.size())};
    }
    c.at = at;
    for (crop::Face f : crop::all_faces) {
        const NodeRun& run = c.runs[std::size_t(crop::face_axis(f))];
        int& index = c.at[std::size_t(crop::border_slot(f))];
        if (run.count > 0)
            index = std::clamp(index, run.first, run.first + run.count - 1);
    }
    return c;
}

vector2D run_grid(const vector2D& grid, const NodeRun& rows, const NodeRun& columns)
{
    vector2D out;
    if (rows.count <= 0 || columns.count <= 0 || std::size_t(rows.first + rows.count) > grid.size())
        return out;
    out.reserve(std::size_t(rows.count));
    for (int i = rows.first; i < rows.first + rows.count; ++i) {
        const auto& row = grid[std::size_t(i)];
        if (std::size_t(columns.first + columns.count) > row.size())
            return {};
        out.emplace_back(row.begin() + columns.first, row.begin() + columns.first + columns.count);
    }
    return out;
}

vector2D cut_face(const vector3D& cube, crop::Face face, const CubeCut& cut, bool absolute)
{
    if (cut.empty())
        return {};
    const int axis = crop::face_axis(face);
    const vector2D whole = crop::face_grid(cube, face, cut.at[std::size_t(crop::border_slot(face))], absolute);
    // Layouts: x faces [row][level], y faces [level][column], z faces [row][column].
    switch (axis) {
    case 0:
        return run_grid(whole, cut.runs[1], cut.runs[2]);
    case 1:
        return run_grid(whole, cut.runs[2], cut.runs[0]);
    default:
        return run_grid(whole, cut.runs[1], cut.runs[0]);
    }
}

CubeFaces cut_cube_faces(const vector3D& cube, const CubeCut& cut, bool absolute)
{
    CubeFaces f;
    f.bottom = cut_face(cube, crop::Face::Bottom, cut, absolute);
    f.top = cut_face(cube, crop::Face::Top, cut, absolute);
    f.left = cut_face(cube, crop::Face::Left, cut, absolute);
    f.right = cut_face(cube, crop::Face::Right, cut, absolute);
    f.back = cut_face(cube, crop::Face::Back, cut, absolute);
    f.front = cut_face(cube, crop::Face::Front, cut, absolute);
    return f;
}

std::pair<double, double> usable_range(double lo, double hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return {0.0, 1.0};
    if (lo > hi)
        std::swap(lo, hi);
    if (lo == hi) {
        const double pad = lo != 0 ? std::abs(lo) * 0.01 : 1.0;
        return {lo - pad, hi + pad};
    }
    return {lo, hi};
}

std::pair<double, double> cube_texture_range(bool regularizer, bool absolute_regularizer,
                                             const std::vector<double>& manual, const vector3D& cube)
{
    if (regularizer)
        return absolute_regularizer ? std::make_pair(0.0, 1.0) : std::make_pair(-1.0, 1.0);
    if (manual.size() >= 2)
        return usable_range(manual[0], manual[1]);
    ValueRange r;
    for (const auto& level : cube)
        for (const auto& row : level)
            for (float v : row)
                r.take(v);
    return usable_range(r.lo, r.hi);
}

QMap<double, QColor> own_gradient_stops(int type)
{
    QMap<double, QColor> stops;
    if (type == 4) {
        stops.insert(0.0, QColor(0, 0, 76));
        stops.insert(0.25, QColor(0, 0, 255));
        stops.insert(0.5, QColor(255, 255, 255));
        stops.insert(0.75, QColor(255, 0, 0));
        stops.insert(1.0, QColor(127, 0, 0));
    } else if (type == 5) {
        stops.insert(0.0, QColor(176, 15, 15));
        stops.insert(0.49, QColor(209, 237, 191));
        stops.insert(0.51, QColor(255, 255, 255));
        stops.insert(0.53, QColor(222, 255, 255));
        stops.insert(1.0, QColor(0, 0, 0));
    }
    return stops;
}

}  // namespace view3d
