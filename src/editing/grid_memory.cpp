#include "editing/grid_memory.h"

#include <algorithm>
#include <vector>

namespace grid_memory {

namespace {

constexpr double kVectorBytes = sizeof(std::vector<float>);

}  // namespace

double cube_bytes(double nx, double ny, double nz)
{
    return nz * ny * (nx * 4.0 + kVectorBytes) + nz * kVectorBytes;
}

double field_bytes(double nx, double ny)
{
    return ny * (nx * 8.0 + kVectorBytes);
}

double face_nodes(double nx, double ny, double nz)
{
    return 2.0 * (nx * ny + nx * nz + ny * nz);
}

double view_bytes(double nx, double ny, double nz)
{
    return face_nodes(nx, ny, nz) * kViewBytesPerFaceNode + kViewFixedBytes;
}

double redraw_bytes(const Redraw& r)
{
    double bytes = r.shown ? r.maps * r.nx * r.ny * kMapBytesPerNode : 0.0;
    if (!r.view)
        return bytes;
    const double faces = r.cube ? face_nodes(r.nx, r.ny, r.nz) : 0.0;
    const double nodes = faces + r.surfaces * r.nx * r.ny;
    if (nodes <= 0)
        return bytes;
    bytes += r.held ? nodes * kSeriesSwapBytesPerNode : nodes * kSeriesBytesPerNode + kSeriesFixedBytes;
    if (r.shown)
        bytes += kScenesInFlight * std::min(faces * kSceneBytesPerFaceNode, kSceneBytes)
                 + faces * kDrawnBytesPerFaceNode
                 + r.surfaces * (kSurfaceDrawnBytes + r.nx * r.ny * kSurfaceDrawnBytesPerNode);
    return bytes;
}

double need_bytes(const NewGrids& g)
{
    double bytes = g.cubes * cube_bytes(g.nx, g.ny, g.nz) + g.grids * field_bytes(g.nx, g.ny) +
                   g.maps * g.nx * g.ny * kMapBytesPerNode + g.surfaces * g.nx * g.ny * kViewBytesPerFaceNode;
    if (g.view)
        bytes += view_bytes(g.nx, g.ny, g.nz);
    else if (g.surfaces > 0)
        bytes += kViewFixedBytes;
    return bytes;
}

QString question_text(double need_gb, double available_gb, int language)
{
    const QString need = QString::number(need_gb, 'g', 6);
    const QString available = QString::number(available_gb, 'g', 6);
    if (language == 0)
        return QString::fromUtf8("Большой расход памяти. Требуется не менее %1 ГБ из %2 ГБ.\n Чтобы уменьшить "
                                 "расход памяти, можно увеличить шаги или уменьшить размеры сетки. \n Продолжить "
                                 "без изменений?")
            .arg(need, available);
    return QStringLiteral("High memory usage. You need at least %1 GB of %2 GB.\n To optimize memory usage, you can "
                          "make the steps larger or the grid smaller. \n Do you want to go on without changes?")
        .arg(need, available);
}

}  // namespace grid_memory
