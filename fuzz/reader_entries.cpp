#include "fuzz/reader_entries.h"

#include "common/grid_geometry.h"
#include "editing/mean_density_tables.h"
#include "engine/forward.h"
#include "formats/bln.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/fault_sticks.h"
#include "formats/project_file.h"
#include "formats/segy.h"
#include "formats/surfer_grid.h"
#include "formats/xyz_cube.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdlib>
#include <cstring>

namespace fuzz_entry {

namespace {

// One scratch folder per process; every input replaces the file before it.
const QString& scratch_dir()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    static const QString path = dir.path();
    return path;
}

QString put_file(const QString& name, const char* data, std::size_t size)
{
    const QString path = scratch_dir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(data, qint64(size)) != qint64(size))
        std::abort();  // the scratch folder itself failed, not the reader
    return path;
}

QString put_file(const QString& name, const std::uint8_t* data, std::size_t size)
{
    return put_file(name, reinterpret_cast<const char*>(data), size);
}

}  // namespace

int cube_file(const std::uint8_t* data, std::size_t size)
{
    vector3D cube;
    std::vector<double> x, y, z;
    cube_bounds bounds{};
    CubeCellKind kind = CubeCellKind::Float32LittleEndian;
    read_cube_file(put_file(QStringLiteral("input.3Dgrd"), data, size), cube, x, y, z, &bounds, CodecProgress(),
                   &kind);
    return 0;
}

int surfer_grid(const std::uint8_t* data, std::size_t size)
{
    field2D rows;
    std::vector<double> params;
    read_surfer_grid(put_file(QStringLiteral("input.grd"), data, size), rows, params);
    return 0;
}

int segy(const std::uint8_t* data, std::size_t size)
{
    vector3D cube;
    std::vector<double> x, y, z;
    read_segy_cube(put_file(QStringLiteral("input.sgy"), data, size), cube, x, y, z);
    return 0;
}

int effects_file(const std::uint8_t* data, std::size_t size)
{
    EffectsOperator effects;
    read_effects_file(put_file(QStringLiteral("input.eff"), data, size), effects);
    return 0;
}

int project(const std::uint8_t* data, std::size_t size)
{
    // Split at the separators: project, "eff" sidecar, "effh" sidecar.
    const QByteArray all = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const QByteArray separator(project_part_separator);
    QByteArray parts[3];
    int start = 0;
    for (int p = 0; p < 3; ++p) {
        const int end = p < 2 ? all.indexOf(separator, start) : -1;
        parts[p] = all.mid(start, end < 0 ? -1 : end - start);
        if (end < 0)
            break;
        start = end + separator.size();
    }
    const QString path = put_file(QStringLiteral("input.3Dproj"), parts[0].constData(), std::size_t(parts[0].size()));
    const QString eff = project_sidecar_path(path, QStringLiteral("eff"));
    const QString effh = project_sidecar_path(path, QStringLiteral("effh"));
    put_file(QStringLiteral("input.eff"), parts[1].constData(), std::size_t(parts[1].size()));
    put_file(QStringLiteral("input.effh"), parts[2].constData(), std::size_t(parts[2].size()));
    if (eff != scratch_dir() + QStringLiteral("/input.eff") || effh != scratch_dir() + QStringLiteral("/input.effh"))
        std::abort();  // the sidecar names changed: the entry must follow them

    ProjectData project;
    if (!read_project_file(path, project))
        return 0;
    // The shapes the program expects of the sidecars of this model.
    ForwardGeometry g;
    if (!project.density.cells.empty() &&
        forward_geometry(project.density.cells, project.density.x, project.density.y, project.density.z,
                         project.has_calc_level ? project.calc_level : 0.0, project.expansion_factor,
                         g) == ForwardStatus::Completed) {
        // Read and checked as a run does before it takes the operator.
        EffectsOperator stored;
        if (read_effects_sidecar(eff, g.Mx, g.My, g.nz, stored))
            check_effects(stored, g, 1);
    }
    std::size_t rows = 0, columns = 0;
    if (cube_is_regular(project.density.cells)) {
        rows = project.density.cells.front().size();
        columns = project.density.cells.front().front().size();
    } else if (horizons_are_regular(project.horizons)) {
        rows = project.horizons.front().size();
        columns = project.horizons.front().front().size();
    }
    if (!project.horizons.empty() && rows > 0) {
        std::vector<field2D> layer_effects;
        read_layer_effects_sidecar(effh, int(columns), int(rows), int(project.horizons.size()), layer_effects);
    }
    return 0;
}

int bln(const std::uint8_t* data, std::size_t size)
{
    const QString path = put_file(QStringLiteral("input.bln"), data, size);
    std::vector<bln_polyline> polylines;
    // Profile schemes take any polyline, vertical faults need two points.
    read_bln_polylines(path, polylines, 1);
    if (read_bln_polylines(path, polylines, 2))
        bln_vertical_faults(polylines, 0.0, 1000.0);
    return 0;
}

int fault_sticks(const std::uint8_t* data, std::size_t size)
{
    FaultSticks faults;
    read_charisma_fault_sticks(put_file(QStringLiteral("input.txt"), data, size), faults);
    return 0;
}

int xyz(const std::uint8_t* data, std::size_t size)
{
    vector3D cube;
    std::vector<double> x, y, z;
    read_xyz_cube(put_file(QStringLiteral("input.xyz"), data, size), cube, x, y, z);
    return 0;
}

MeanDensityModel mean_density_model()
{
    MeanDensityModel m;
    m.z = {100.0, 200.0, 300.0};
    m.grid.assign(3, vector2D(4, std::vector<data_type>(5)));
    for (std::size_t k = 0; k < m.grid.size(); ++k)
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t i = 0; i < 5; ++i)
                m.grid[k][j][i] = data_type(2.0 + 0.1 * double(k) + 0.01 * double(j) + 0.001 * double(i));
    m.horizons = {field2D(4, std::vector<double>(5, 0.0)), field2D(4, std::vector<double>(5, 150.0))};
    return m;
}

int mean_density(const std::uint8_t* data, std::size_t size)
{
    // As the program reads a table: a text-mode device under a text stream.
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    MeanDensityModel m = mean_density_model();
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly | QIODevice::Text);
        QTextStream in(&buffer);
        mean_density::read_depth_table(in, m.grid, m.z);
    }
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly | QIODevice::Text);
        QTextStream in(&buffer);
        mean_density::read_layer_table(in, m.grid, m.z, m.horizons);
    }
    return 0;
}

const std::vector<Reader>& readers()
{
    static const std::vector<Reader> all = {
        {"cube_file", &cube_file},   {"surfer_grid", &surfer_grid},   {"segy", &segy},
        {"effects_file", &effects_file}, {"project", &project},       {"bln", &bln},
        {"fault_sticks", &fault_sticks}, {"xyz", &xyz},               {"mean_density", &mean_density},
    };
    return all;
}

Entry entry_of(const char* name)
{
    for (const Reader& r : readers())
        if (std::strcmp(r.name, name) == 0)
            return r.entry;
    return nullptr;
}

}  // namespace fuzz_entry
