#include "views/surf.h"

#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <algorithm>

using namespace QtDataVisualization;

Surf::Surf(Q3DSurface* g)
    : graph(g), graph_guard(g)
{
    gradient = QCPColorGradient(QCPColorGradient::gpJet);
    if (!graph)
        return;
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
    theme->setAmbientLightStrength(0.6f);
}

Surf::~Surf()
{
    // The graph may already be gone with its window container.
    delete graph_guard.data();
}

void Surf::updateAxesRanges()
{
    if (!graph)
        return;
    const double sx = max_x - min_x;
    const double sy = max_y - min_y;
    const double sz = max_z - min_z;
    graph->axisX()->setRange(float(min_x - 0.025 * sx), float(max_x + 0.025 * sx));
    graph->axisY()->setRange(float(min_z - 0.025 * sz), float(max_z + 0.025 * sz));
    graph->axisZ()->setRange(float(min_y - 0.025 * sy), float(max_y + 0.025 * sy));
}

void Surf::clearSurfaces()
{
    if (!graph)
        return;
    for (QSurface3DSeries* s : surfaces) {
        graph->removeSeries(s);
        delete s;  // the series owns its proxy
    }
    surfaces.clear();
    proxies.clear();
    min_x = min_y = min_z = 1e20;
    max_x = max_y = max_z = -1e20;
    graph->clearSelection();
}

void Surf::clearFaults()
{
    if (!graph)
        return;
    for (QSurface3DSeries* s : fault_series) {
        graph->removeSeries(s);
        delete s;
    }
    fault_series.clear();
    graph->clearSelection();
}

void Surf::addFaults(std::vector<std::vector<std::vector<QVector3D>>> sticks, std::vector<QString>& names)
{
    if (!graph)
        return;
    for (QSurface3DSeries* s : fault_series) {
        graph->removeSeries(s);
        delete s;
    }
    fault_series.clear();

    for (std::size_t i = 0; i < sticks.size(); ++i) {
        auto& fault = sticks[i];
        std::size_t n = 0;
        for (auto& stick : fault) {
            std::stable_sort(stick.begin(), stick.end(),
                             [](const QVector3D& a, const QVector3D& b) { return a.z() < b.z(); });
            n = std::max(n, stick.size());
        }
        if (n == 0)
            continue;  // a fault without points draws nothing
        auto* data = new QSurfaceDataArray;
        data->reserve(int(fault.size()));
        for (const auto& stick : fault) {
            if (stick.empty())
                continue;
            auto* row = new QSurfaceDataRow(int(n));
            for (std::size_t k = 0; k < n; ++k) {
                const QVector3D& p = stick[std::min(k, stick.size() - 1)];
                (*row)[int(k)].setPosition(QVector3D(p.x(), p.z(), p.y()));
            }
            data->append(row);
        }
        auto* series = new QSurface3DSeries;
        series->setBaseColor(Qt::red);
        series->dataProxy()->resetArray(data);
        series->setDrawMode(QSurface3DSeries::DrawSurface);
        series->setName(i < names.size() ? names[i] : QString());
        series->setItemLabelFormat(QStringLiteral("@xLabel, @zLabel, @yLabel, @seriesName"));
        graph->addSeries(series);
        fault_series.append(series);
    }
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

void Surf::changeTheme(int theme)
{
    if (graph)
        graph->activeTheme()->setType(Q3DTheme::Theme(theme));
}

void Surf::point_selected(QPoint position)
{
    emit selectedPoint(position);
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
    return graph->selectedSeries()->selectedPoint();
}

void Surf::selectedSeries(QSurface3DSeries* series)
{
    emit selectedSeriesChanged(series);
}
