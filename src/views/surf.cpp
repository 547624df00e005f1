#include "views/surf.h"

#include "views/render_memory.h"
#include "views/scale_rules.h"
#include "views/texture_render.h"

#include <QQuaternion>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>

using namespace QtDataVisualization;

namespace {

QSurfaceDataArray* toDataArray(const view3d::MeshRows& mesh)
{
    auto* data = new QSurfaceDataArray;
    data->reserve(int(mesh.size()));
    for (const auto& items : mesh) {
        auto* row = new QSurfaceDataRow(int(items.size()));
        for (std::size_t k = 0; k < items.size(); ++k)
            (*row)[int(k)].setPosition(items[k]);
        data->append(row);
    }
    return data;
}

// Depth slices of a fault's shading.
constexpr int kReliefGradientStops = 32;

const QString kItemLabelFormat = QStringLiteral("@xLabel, @zLabel, @yLabel");

// The view the graph opens with (see the constructor).
constexpr float kLabelPointSize = 42.0f;
constexpr float kCameraHorizontalDegrees = -45.0f;
constexpr float kCameraVerticalDegrees = 25.0f;
constexpr float kCameraZoom = 95.0f;
constexpr float kCameraTargetY = -0.6f;

}  // namespace

Surf::Surf(Q3DSurface* g)
    : graph(g)
{
    if (!graph)
        return;
    connect(graph, &QObject::destroyed, this, &Surf::graphDestroyed);
    graph->setReflection(true);
    graph->setAxisX(new QValue3DAxis);
    graph->setAxisY(new QValue3DAxis);
    graph->setAxisZ(new QValue3DAxis);
    graph->setFlipHorizontalGrid(false);
    graph->axisY()->setReversed(true);
    graph->axisX()->setRange(-1, 1);
    graph->axisY()->setRange(-1, 1);
    graph->axisZ()->setRange(-1, 1);
    graph->axisX()->setTitle(QStringLiteral("X, m"));
    graph->axisY()->setTitle(QStringLiteral("Z, m"));
    graph->axisZ()->setTitle(QStringLiteral("Y, m"));
    graph->axisX()->setTitleVisible(true);
    graph->axisY()->setTitleVisible(true);
    graph->axisZ()->setTitleVisible(true);
    graph->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
    Q3DTheme* theme = graph->activeTheme();
    theme->setBackgroundColor(Qt::transparent);
    theme->setBaseColors(QList<QColor>() << QColor(Qt::transparent));
    // Ambient light only: every face shows its texture's own colours, exactly
    // those of the colour bar, whatever its angle to the camera, so values can
    // be read off the view. (A directional light adds diffuse and specular
    // terms that lighten the faces by up to a hundred levels per channel.)
    theme->setAmbientLightStrength(1.0f);
    theme->setLightStrength(0.0f);

    // Labels that stay readable at the window's first size (digits about
    // 11 px high in a pane of about 570 px) and turn to face the camera.
    QFont font = theme->font();
    font.setPointSizeF(kLabelPointSize);
    theme->setFont(font);
    for (QValue3DAxis* axis : {graph->axisX(), graph->axisY(), graph->axisZ()}) {
        axis->setLabelAutoRotation(90.0f);
        axis->setTitleFixed(false);
    }

    // Obliquely from above the front corner of the lowest x and largest y,
    // close enough that the box with its labels fills the pane; the target
    // below the centre lifts the box into the empty upper part of the view.
    Q3DCamera* camera = graph->scene()->activeCamera();
    camera->setCameraPosition(kCameraHorizontalDegrees, kCameraVerticalDegrees, kCameraZoom);
    camera->setTarget(QVector3D(0.0f, kCameraTargetY, 0.0f));
}

// The graph belongs to its window container and deletes the series it holds;
// those that the cut took off it are Surf's own.
Surf::~Surf()
{
    deleteOffGraph();
}

void Surf::deleteOffGraph()
{
    for (auto& [series, k] : kept)
        if (!k.onGraph)
            delete series;  // the series owns its proxy
    kept.clear();
}

void Surf::graphDestroyed()
{
    graph = nullptr;
    deleteOffGraph();
    surfaces.clear();
    proxies.clear();
    fault_series.clear();
}

void Surf::updateAxesRanges()
{
    if (!graph)
        return;
    const view3d::AxisRange rx = view3d::axis_range(min_x, max_x);
    const view3d::AxisRange rz = view3d::axis_range(min_z, max_z);
    const view3d::AxisRange ry = view3d::axis_range(min_y, max_y);
    if (rx.valid)
        graph->axisX()->setRange(float(rx.lower), float(rx.upper));
    if (rz.valid)
        graph->axisY()->setRange(float(rz.lower), float(rz.upper));
    if (ry.valid)
        graph->axisZ()->setRange(float(ry.lower), float(ry.upper));
    fitSeriesToAxes();
}

void Surf::keep(QSurface3DSeries* series, const view3d::MeshRows& mesh)
{
    Kept k;
    k.mesh = mesh;
    kept[series] = std::move(k);
}

void Surf::setKeptTexture(QSurface3DSeries* series, const QImage& texture)
{
    const auto it = kept.find(series);
    if (it == kept.end()) {
        series->setTexture(texture);
        return;
    }
    it->second.texture = texture;
    it->second.given = false;  // cut and given again at the next fit
}

void Surf::fitSeriesToAxes()
{
    if (!graph)
        return;
    view3d::AxisRanges r;
    r.x_lo = graph->axisX()->min(), r.x_hi = graph->axisX()->max();
    r.z_lo = graph->axisZ()->min(), r.z_hi = graph->axisZ()->max();
    if (limited) {
        r.y_lo = graph->axisY()->min(), r.y_hi = graph->axisY()->max();
        r = view3d::cut_ranges(bounds(), r);
    }
    if (!reserveRenderMemory())
        return;
    render_memory::GraphCallScope call;
    // In the order of the lists, so that the graph keeps drawing the faces,
    // the horizons and the faults in the order they were added.
    for (const auto* list : {&surfaces, &fault_series})
        for (QSurface3DSeries* series : *list) {
            const auto it = kept.find(series);
            if (it != kept.end())
                fitSeries(series, it->second, r);
        }
}

void Surf::fitSeries(QSurface3DSeries* series, Kept& k, const view3d::AxisRanges& ranges)
{
    // A fault is cut along its sticks where they leave the depth range.
    view3d::MeshRows clipped;
    if (k.sticks) {
        if (k.given && (ranges.y_lo != k.depth_lo || ranges.y_hi != k.depth_hi))
            k.given = false;
        k.depth_lo = ranges.y_lo, k.depth_hi = ranges.y_hi;
        clipped = view3d::sticks_within_depth(k.mesh, ranges.y_lo, ranges.y_hi);
    }
    const view3d::MeshRows& mesh = k.sticks ? clipped : k.mesh;
    const view3d::MeshBlock block = view3d::drawable_block(mesh, ranges);
    if (!block.drawable()) {
        if (k.onGraph)
            graph->removeSeries(series);
        k.onGraph = false;
        return;
    }
    if (!k.given || block != k.block) {
        const bool whole = block.rows == int(mesh.size()) && block.columns == int(mesh.front().size());
        series->dataProxy()->resetArray(toDataArray(whole ? mesh : view3d::block_rows(mesh, block)));
        if (!k.texture.isNull())
            series->setTexture(
                whole ? k.texture
                      : k.texture.copy(view3d::texture_block(k.texture.size(), int(mesh.size()),
                                                             int(mesh.front().size()), block)));
        k.block = block;
        k.given = true;
    }
    if (!k.onGraph)
        graph->addSeries(series);
    k.onGraph = true;
}

bool Surf::reserveRenderMemory()
{
    // The renderer copies what it is given at its next frame, where running
    // out of memory would stop the program (render_memory.h): the whole
    // scene's need (at most what changes, and what it replaces) is set aside
    // first, or the view is left empty.
    std::size_t bytes = 0;
    for (const auto& entry : kept) {
        const Kept& k = entry.second;
        bytes += render_memory::series_bytes(int(k.mesh.size()), k.mesh.empty() ? 0 : int(k.mesh.front().size()),
                                             k.texture.size());
    }
    if (render_memory::reserve_for_scene(bytes))
        return true;
    render_memory::GraphCallScope call;
    for (auto& entry : kept) {
        if (entry.second.onGraph)
            graph->removeSeries(entry.first);
        entry.second.onGraph = false;
        entry.second.given = false;
    }
    return false;
}

QPoint Surf::blockOffset(QSurface3DSeries* series) const
{
    const auto it = kept.find(series);
    if (it == kept.end() || !it->second.given)
        return QPoint(0, 0);
    return QPoint(it->second.block.row, it->second.block.column);
}

view3d::ViewBounds Surf::bounds() const
{
    view3d::ViewBounds b;
    b.min_x = min_x, b.max_x = max_x;
    b.min_y = min_y, b.max_y = max_y;
    b.min_z = min_z, b.max_z = max_z;
    return b;
}

void Surf::setBounds(const view3d::ViewBounds& b)
{
    min_x = b.min_x, max_x = b.max_x;
    min_y = b.min_y, max_y = b.max_y;
    min_z = b.min_z, max_z = b.max_z;
}

field2D Surf::reliefLight(const view3d::MeshRows& mesh) const
{
    view3d::ViewBounds own;
    for (const auto& row : mesh)
        for (const QVector3D& p : row) {
            view3d::extend_bound(p.x(), own.min_x, own.max_x);
            view3d::extend_bound(p.y(), own.min_z, own.max_z);
            view3d::extend_bound(p.z(), own.min_y, own.max_y);
        }
    view3d::ViewBounds b = bounds();
    auto unset = [](double lo, double hi) { return !(lo < hi) || !std::isfinite(lo) || !std::isfinite(hi); };
    if (unset(b.min_x, b.max_x))
        b.min_x = own.min_x, b.max_x = own.max_x;
    if (unset(b.min_y, b.max_y))
        b.min_y = own.min_y, b.max_y = own.max_y;
    if (unset(b.min_z, b.max_z))
        b.min_z = own.min_z, b.max_z = own.max_z;
    const scale::Spans spans = scale::view_spans(b);
    return view3d::relief_light(mesh, spans.H, spans.V, graph ? double(graph->aspectRatio()) : 1.0);
}

QLinearGradient Surf::reliefGradient(const view3d::MeshRows& mesh, const QColor& colour) const
{
    // The graph spreads an object gradient over the object's height: 0 at
    // its lowest point, which is its deepest (the depth axis runs reversed).
    const std::vector<double> light = view3d::light_by_depth(mesh, reliefLight(mesh), kReliefGradientStops);
    QLinearGradient g(0, 0, 0, 1);
    const std::size_t n = light.size();
    for (std::size_t k = 0; k < n; ++k) {
        const double f = light[n - 1 - k];
        g.setColorAt(n > 1 ? double(k) / double(n - 1) : 0.0,
                     QColor(int(std::lround(colour.red() * f)), int(std::lround(colour.green() * f)),
                            int(std::lround(colour.blue() * f))));
    }
    return g;
}

void Surf::removeAndDelete(QVector<QSurface3DSeries*>& list)
{
    for (QSurface3DSeries* s : list) {
        const auto it = kept.find(s);
        const bool onGraph = it == kept.end() || it->second.onGraph;
        if (it != kept.end())
            kept.erase(it);
        if (graph && onGraph)
            graph->removeSeries(s);
        delete s;  // the series owns its proxy
    }
    list.clear();
}

void Surf::clearSurfaces()
{
    removeAndDelete(surfaces);
    proxies.clear();
    min_x = min_y = min_z = 1e20;
    max_x = max_y = max_z = -1e20;
    if (graph)
        graph->clearSelection();
}

void Surf::clearFaults()
{
    removeAndDelete(fault_series);
    if (graph)
        graph->clearSelection();
}

void Surf::addFaults(std::vector<std::vector<std::vector<QVector3D>>> sticks, std::vector<QString>& names)
{
    removeAndDelete(fault_series);
    if (!graph)
        return;
    for (std::size_t i = 0; i < sticks.size(); ++i) {
        const view3d::MeshRows rows = view3d::fault_rows(std::move(sticks[i]));
        if (rows.empty())
            continue;  // a fault without points draws nothing
        auto* proxy = new QSurfaceDataProxy;
        auto* series = new QSurface3DSeries(proxy);
        series->setBaseColor(Qt::red);
        series->setBaseGradient(reliefGradient(rows, Qt::red));
        series->setColorStyle(Q3DTheme::ColorStyleObjectGradient);
        series->setDrawMode(QSurface3DSeries::DrawSurface);
        series->setName(i < names.size() ? names[i] : QString());
        series->setItemLabelFormat(QStringLiteral("@xLabel, @zLabel, @yLabel, @seriesName"));
        keep(series, rows);
        kept[series].sticks = true;
        fault_series.append(series);
    }
    fitSeriesToAxes();
}

void Surf::setFaultsVisible(bool visible)
{
    for (QSurface3DSeries* s : fault_series)
        s->setVisible(visible);
}

void Surf::setAlpha(int a)
{
    alpha = a;
}

QImage Surf::renderTexture(const vector2D& grid, double min, double max, double direction, int a) const
{
    return render_texture(grid, min, max, direction, a, gradient);
}

QImage Surf::renderTexture(const field2D& grid, double min, double max, double direction, int a) const
{
    return render_texture(grid, min, max, direction, a, gradient);
}

QImage Surf::faceTexture(const vector2D& grid, int a) const
{
    if (grid.empty() || grid.front().empty())
        return QImage();  // a face the limits leave nothing of
    return enlarged_texture(renderTexture(grid, texture_min, texture_max, 1.0, a));
}

QSurface3DSeries* Surf::appendSeries(const view3d::MeshRows& mesh)
{
    auto* proxy = new QSurfaceDataProxy;
    auto* series = new QSurface3DSeries(proxy);
    series->setDrawMode(QSurface3DSeries::DrawSurface);
    series->setItemLabelFormat(kItemLabelFormat);
    proxies.append(proxy);
    surfaces.append(series);
    keep(series, mesh);
    return series;
}

void Surf::addZFace(const std::vector<double>& x, const std::vector<double>& y, double z0, const vector2D& grid)
{
    view3d::extend_bounds(x, min_x, max_x);
    view3d::extend_bounds(y, min_y, max_y);
    view3d::extend_bound(z0, min_z, max_z);
    if (!graph)
        return;
    QSurface3DSeries* series = appendSeries(view3d::z_face_mesh(x, y, z0));
    setKeptTexture(series, faceTexture(grid, alpha));
    updateAxesRanges();
}

void Surf::addXFace(double x0, const std::vector<double>& y, const std::vector<double>& z, const vector2D& grid)
{
    view3d::extend_bound(x0, min_x, max_x);
    view3d::extend_bounds(y, min_y, max_y);
    view3d::extend_bounds(z, min_z, max_z);
    if (!graph)
        return;
    QSurface3DSeries* series = appendSeries(view3d::x_face_mesh(x0, y, z, max_x - min_x, max_y - min_y));
    series->setMeshRotation(QQuaternion::fromAxisAndAngle(QVector3D(0, 0, 0), 0));
    setKeptTexture(series, faceTexture(grid, alpha));
    updateAxesRanges();
}

void Surf::addYFace(const std::vector<double>& x, double y0, const std::vector<double>& z, const vector2D& grid)
{
    view3d::extend_bounds(x, min_x, max_x);
    view3d::extend_bound(y0, min_y, max_y);
    view3d::extend_bounds(z, min_z, max_z);
    if (!graph)
        return;
    QSurface3DSeries* series = appendSeries(view3d::y_face_mesh(x, y0, z, max_x - min_x, max_y - min_y));
    setKeptTexture(series, faceTexture(grid, alpha));
    series->setBaseColor(Qt::transparent);
    series->setMultiHighlightColor(Qt::transparent);
    updateAxesRanges();
}

void Surf::replaceFace(int position, const view3d::MeshRows& mesh, const QImage& texture)
{
    if (position >= proxies.size() || position >= surfaces.size())
        return;
    QSurface3DSeries* series = surfaces[position];
    const auto it = kept.find(series);
    if (it == kept.end())
        return;
    it->second.mesh = mesh;
    it->second.texture = texture;
    it->second.given = false;
    updateAxesRanges();
}

void Surf::replaceZFace(const std::vector<double>& x, const std::vector<double>& y, double z0, const vector2D& grid,
                        bool top)
{
    if (!graph)
        return;
    replaceFace(top ? 1 : 0, view3d::z_face_mesh(x, y, z0), faceTexture(grid, 255));
}

void Surf::replaceXFace(double x0, const std::vector<double>& y, const std::vector<double>& z, const vector2D& grid,
                        bool left)
{
    if (!graph)
        return;
    replaceFace(left ? 2 : 3, view3d::x_face_mesh(x0, y, z, max_x - min_x, max_y - min_y),
                faceTexture(grid, 255));
}

void Surf::replaceYFace(const std::vector<double>& x, double y0, const std::vector<double>& z, const vector2D& grid,
                        bool front)
{
    if (!graph)
        return;
    replaceFace(front ? 5 : 4, view3d::y_face_mesh(x, y0, z, max_x - min_x, max_y - min_y),
                faceTexture(grid, 255));
}

void Surf::addHorizon(const std::vector<double>& x, const std::vector<double>& y, const field2D& depths,
                      const field2D& colours, double cmin, double cmax, int invert)
{
    const std::size_t ny = std::min(depths.size(), y.size());
    const std::size_t nx = std::min(depths.empty() ? std::size_t(0) : depths.front().size(), x.size());
    for (std::size_t l = 0; l < nx; ++l)
        view3d::extend_bound(x[l], min_x, max_x);
    for (std::size_t k = 0; k < ny; ++k)
        view3d::extend_bound(y[k], min_y, max_y);
    if (!graph)
        return;
    const view3d::MeshRows mesh = view3d::horizon_mesh(x, y, depths);
    QSurface3DSeries* series = appendSeries(mesh);
    series->setFlatShadingEnabled(false);
    QImage texture = enlarged_texture(renderTexture(colours, cmin, cmax, invert != 0 ? 0.0 : 1.0, 255));
    shade_texture(texture, reliefLight(mesh));
    setKeptTexture(series, texture);
    series->setMeshSmooth(true);
    connect(series, &QSurface3DSeries::selectedPointChanged, this, &Surf::point_selected);
    updateAxesRanges();
}

void Surf::changeTheme(int theme)
{
    if (graph)
        graph->activeTheme()->setType(Q3DTheme::Theme(theme));
}

void Surf::point_selected(const QPoint& position)
{
    auto* series = qobject_cast<QSurface3DSeries*>(sender());
    if (!series || position == QSurface3DSeries::invalidSelectionPosition()) {
        emit selectedPoint(position);
        return;
    }
    emit selectedPoint(position + blockOffset(series));
}

void Surf::selectPoint(int position, const QPoint& point)
{
    if (position < 0 || position >= surfaces.size())
        return;
    QSurface3DSeries* series = surfaces[position];
    const auto it = kept.find(series);
    if (it != kept.end() && it->second.given) {
        const view3d::MeshBlock& b = it->second.block;
        const QPoint inBlock = point - QPoint(b.row, b.column);
        const bool inside = it->second.onGraph && inBlock.x() >= 0 && inBlock.x() < b.rows && inBlock.y() >= 0 &&
                            inBlock.y() < b.columns;
        series->setSelectedPoint(inside ? inBlock : QSurface3DSeries::invalidSelectionPosition());
        return;
    }
    series->setSelectedPoint(point);
}

int Surf::selectedHorizon()
{
    if (!graph)
        return -1;
    QSurface3DSeries* selected = graph->selectedSeries();
    if (!selected)
        return -1;
    for (int i = 0; i < surfaces.size(); ++i)
        if (surfaces[i] == selected)
            return i;
    return -1;
}

QPoint Surf::selectedPoint()
{
    if (!graph || !graph->selectedSeries())
        return QPoint(-1, -1);
    QSurface3DSeries* series = graph->selectedSeries();
    const QPoint p = series->selectedPoint();
    if (p == QSurface3DSeries::invalidSelectionPosition())
        return p;
    return p + blockOffset(series);
}

void Surf::selectedSeries(QSurface3DSeries* series)
{
    emit selectedSeriesChanged(series);
}
