// Writes the seed corpus of the reader fuzz targets with the program's own
// writers: fuzz_seed_writer <corpus folder>. Each reader gets a folder named
// as in fuzz_entry::readers(). tools/make_fuzz_corpus.sh adds the files made
// by other programs (GDAL, segyio).
#include "fuzz/reader_entries.h"

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

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

namespace {

QString g_root;

QString seed_path(const char* reader, const char* name)
{
    const QString dir = g_root + QLatin1Char('/') + QLatin1String(reader);
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + QLatin1String(name);
}

void check(const CodecStatus& s, const char* what)
{
    if (!s) {
        std::fprintf(stderr, "%s: %s\n", what, qPrintable(s.message()));
        std::exit(1);
    }
}

QByteArray read_all(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::exit(1);
    return f.readAll();
}

void write_all(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::exit(1);
}

// A cube of nz levels of ny rows of nx columns with distinct values.
vector3D make_cube(int nx, int ny, int nz, float base)
{
    vector3D c(static_cast<std::size_t>(nz), vector2D(static_cast<std::size_t>(ny), std::vector<data_type>(static_cast<std::size_t>(nx))));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                c[k][j][i] = base + 0.1f * float(k) + 0.01f * float(j) + 0.001f * float(i);
    return c;
}

// A stored operator of nz levels on a ny x nx padded grid (even, as every
// operator is) with distinct quarter values.
EffectsOperator make_operator(int nx, int ny, int nz, float base)
{
    EffectsOperator e;
    e.shape(nz, ny, nx);
    for (int k = 0; k < nz; ++k)
        for (int q = 0; q < e.quarter_rows(); ++q)
            for (int c = 0; c < e.quarter_columns(); ++c)
                e.quarter_row(k, q)[c] = base + 0.1f * float(k) + 0.01f * float(q) + 0.001f * float(c);
    return e;
}

std::vector<double> nodes(int n, double first, double step)
{
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[std::size_t(i)] = first + step * i;
    return v;
}

field2D make_field(int nx, int ny, double base)
{
    field2D f(static_cast<std::size_t>(ny), std::vector<double>(static_cast<std::size_t>(nx)));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            f[j][i] = base + 0.5 * j + 0.25 * i;
    return f;
}

void cube_seeds()
{
    const vector3D c = make_cube(5, 4, 3, 2.0f);
    check(write_cube_file(seed_path("cube_file", "float32.3Dgrd"), c, nodes(5, 1000, 50), nodes(4, 2000, 50),
                          nodes(3, 0, 100)),
          "cube");
    check(write_cube_file(seed_path("cube_file", "one_node.3Dgrd"), make_cube(1, 1, 1, 2.5f), {10}, {20}, {30}),
          "cube one node");
    // The older kind: the same header, cells as big-endian doubles.
    QByteArray bytes = read_all(seed_path("cube_file", "float32.3Dgrd")).left(cube_file_header_size);
    const vector3D d = make_cube(3, 2, 2, 1.5f);
    uchar header[12];
    qToBigEndian<qint32>(3, header);
    qToBigEndian<qint32>(2, header + 4);
    qToBigEndian<qint32>(2, header + 8);
    bytes.replace(0, 12, reinterpret_cast<const char*>(header), 12);
    for (const auto& level : d)
        for (const auto& row : level)
            for (data_type v : row) {
                uchar b[8];
                qToBigEndian<double>(double(v), b);
                bytes.append(reinterpret_cast<const char*>(b), 8);
            }
    write_all(seed_path("cube_file", "double_be.3Dgrd"), bytes);
}

void surfer_seeds()
{
    field2D f = make_field(5, 4, 100.0);
    f[1][2] = surfer_blank_value;
    const std::vector<double> params = {5, 4, 500.0, 900.0, 700.0, 1000.0};
    check(write_surfer7_grid(seed_path("surfer_grid", "surfer7.grd"), f, params), "surfer 7");
    check(write_surfer6_text_grid(seed_path("surfer_grid", "surfer6.grd"), f, params), "surfer 6");
}

void segy_seeds()
{
    check(write_segy_cube(seed_path("segy", "ieee_le.sgy"), make_cube(4, 3, 5, 2.2f), nodes(4, 500000, 25),
                          nodes(3, 6000000, 25), nodes(5, 100, 10)),
          "segy");
}

void effects_seeds()
{
    EffectsOperator imported = make_operator(4, 4, 2, 0.5f);
    imported.im = make_cube(4, 4, 2, -0.5f);
    check(write_effects_file(seed_path("effects_file", "effects.eff"), imported, EffectsImaginary::Held), "effects");
    check(write_effects_file(seed_path("effects_file", "real_only.eff"), make_operator(2, 2, 1, 0.25f),
                             EffectsImaginary::Zero),
          "effects real");
}

FaultSticks make_faults()
{
    FaultSticks f;
    f.inline_type = true;
    f.names = {QStringLiteral("F1"), QStringLiteral("fault two")};
    f.sticks = {{{{100, 200, 50}, {110, 210, 400}}, {{150, 250, 60}, {160, 260, 420}}},
                {{{300, 400, 10}, {300, 410, 200}, {305, 420, 380}}}};
    f.inlines = {{{10, 10}, {11, 11}}, {{20, 20, 20}}};
    f.crosslines = {{{5, 6}, {7, 8}}, {{1, 2, 3}}};
    return f;
}

void project_seeds()
{
    const int nx = 4, ny = 3, nz = 2;
    ProjectData d;
    d.density = {make_cube(nx, ny, nz, 2.3f), nodes(nx, 1000, 100), nodes(ny, 5000, 100), nodes(nz, 50, 100)};
    d.expansion_factor = 0;
    d.horizons = {make_field(nx, ny, 0), make_field(nx, ny, 120)};
    d.horizons_params = {double(nx), double(ny), 1000, 1300, 5000, 5200};
    d.densities = {2.1, 2.4};
    d.observed = make_field(nx, ny, -3);
    d.observed_params = d.horizons_params;
    d.calculated = make_field(nx, ny, -2);
    d.calculated_params = d.horizons_params;
    d.layers_names = {QStringLiteral("верхний"), QStringLiteral("lower")};
    d.fixed = {false, true};
    d.vp = {make_cube(nx, ny, nz, 3000.0f), d.density.x, d.density.y, d.density.z};
    d.vs = {make_cube(nx, ny, nz, 1500.0f), d.density.x, d.density.y, d.density.z};
    d.regularizer = {make_cube(nx, ny, nz, 1.0f), d.density.x, d.density.y, d.density.z};
    d.profiles = {{1000, 5000, 1300, 5200}, {1100, 5000, 1100, 5200, 1200, 5100}};
    d.faults = make_faults();
    d.has_calc_level = true;
    d.calc_level = 0;
    const QString tmp = QDir::tempPath() + QStringLiteral("/tolmera_seed.3Dproj");
    check(write_project_file(tmp, d), "project");
    const QByteArray full = read_all(tmp);

    ForwardGeometry g;
    if (forward_geometry(d.density.cells, d.density.x, d.density.y, d.density.z, d.calc_level, d.expansion_factor,
                         g) != ForwardStatus::Completed)
        std::exit(1);
    check(write_effects_file(tmp, make_operator(g.Mx, g.My, g.nz, 0.75f), EffectsImaginary::Zero), "eff sidecar");
    const QByteArray eff = read_all(tmp);
    check(write_layer_effects_sidecar(tmp, {make_field(nx, ny, 0.1), make_field(nx, ny, 0.2)}), "effh sidecar");
    const QByteArray effh = read_all(tmp);
    QFile::remove(tmp);

    const QByteArray sep(fuzz_entry::project_part_separator);
    write_all(seed_path("project", "full.3Dproj"), full);
    write_all(seed_path("project", "with_sidecars.3Dproj"), full + sep + eff + sep + effh);

    // A model of the density grid only, and horizons only.
    ProjectData grid_only;
    grid_only.density = {make_cube(2, 2, 2, 2.0f), nodes(2, 0, 10), nodes(2, 0, 10), nodes(2, 5, 10)};
    check(write_project_file(tmp, grid_only), "project grid only");
    write_all(seed_path("project", "grid_only.3Dproj"), read_all(tmp));
    ProjectData horizons_only;
    horizons_only.horizons = {make_field(3, 2, 10)};
    horizons_only.horizons_params = {3, 2, 0, 20, 0, 10};
    horizons_only.densities = {2.67};
    check(write_project_file(tmp, horizons_only), "project horizons only");
    const QByteArray h = read_all(tmp);
    check(write_layer_effects_sidecar(tmp, {make_field(3, 2, 0.3)}), "effh sidecar of horizons");
    write_all(seed_path("project", "horizons_effh.3Dproj"), h + sep + sep + read_all(tmp));
    QFile::remove(tmp);
}

void bln_seeds()
{
    check(write_bln_polyline(seed_path("bln", "one.bln"), {0, 100, 250.5}, {0, 50, 75.25}), "bln");
    check(write_bln_polylines(seed_path("bln", "two.bln"), {{0, 0, 10, 10}, {-5, 3, 7, 9, 12, 1e6}}), "bln two");
}

void fault_seeds()
{
    check(write_charisma_fault_sticks(seed_path("fault_sticks", "sticks.txt"), make_faults()), "faults");
    FaultSticks cross = make_faults();
    cross.inline_type = false;
    check(write_charisma_fault_sticks(seed_path("fault_sticks", "crossline.txt"), cross, 1), "faults one");
}

void xyz_seeds()
{
    check(write_xyz_cube(seed_path("xyz", "cube.xyz"), make_cube(3, 3, 2, 2.6f), nodes(3, 100, 10),
                         nodes(3, 200, 10), nodes(2, 0, 5)),
          "xyz");
    check(write_xyz_cube(seed_path("xyz", "two_by_two.xyz"), make_cube(2, 2, 3, 1.9f), nodes(2, -50.5, 0.25),
                         nodes(2, 1e6, 1000), nodes(3, 10, 20)),
          "xyz two by two");
}

void mean_density_seeds()
{
    const fuzz_entry::MeanDensityModel m = fuzz_entry::mean_density_model();
    {
        QFile f(seed_path("mean_density", "by_depth.txt"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
            std::exit(1);
        QTextStream out(&f);
        if (mean_density::write_depth_table(out, m.grid, m.z) != mean_density::TableStatus::Ok)
            std::exit(1);
    }
    {
        QFile f(seed_path("mean_density", "by_layer.txt"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
            std::exit(1);
        QTextStream out(&f);
        if (mean_density::write_layer_table(out, m.grid, m.z, m.horizons) != mean_density::TableStatus::Ok)
            std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    cube_seeds();
    surfer_seeds();
    segy_seeds();
    effects_seeds();
    project_seeds();
    bln_seeds();
    fault_seeds();
    xyz_seeds();
    mean_density_seeds();
    return 0;
}
