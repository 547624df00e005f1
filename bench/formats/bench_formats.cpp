// Cube file throughput: reading and writing a 256 x 256 x 100 cube as an own
// cube file and as SEG-Y, in MB/s of file over wall time, beside a plain copy
// of the same number of bytes through QFile (the ceiling for the device).
//
// Each case runs in a folder on tmpfs (/dev/shm: page cache only) and in the
// system temporary folder (a real file system: the writers commit through a
// temporary file that is flushed to disk before it replaces the target).
// TOLMERA_BENCH_DIRS (colon-separated) overrides the folders.
//
// The project's eff sidecar of a stored operator of 50 levels on a 512 x 512
// padded grid is written and read the same way; besides MB/s these report
// the peak resident memory the call adds (peak_MB: for the read it includes
// the operator read) beside the operator's own size (operator_MB).
#include "../bench_support.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/project_file.h"
#include "formats/segy.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int NX = 256, NY = 256, NZ = 100;

struct Model {
    vector3D cube;
    std::vector<double> x, y, z;
    Model()
    {
        std::mt19937 gen(12345);
        std::uniform_real_distribution<float> u(1.8f, 3.2f);
        cube.assign(NZ, vector2D(NY, std::vector<data_type>(NX)));
        for (auto& level : cube)
            for (auto& row : level)
                for (auto& v : row)
                    v = u(gen);
        x = even_nodes(500000, 500000 + 50.0 * (NX - 1), NX);
        y = even_nodes(6000000, 6000000 + 50.0 * (NY - 1), NY);
        z = even_nodes(0, 10.0 * (NZ - 1), NZ);
    }
};

const Model& model()
{
    static const Model m;
    return m;
}

enum class Format { Cube, Segy };

CodecStatus write_model(Format f, const QString& path)
{
    const Model& m = model();
    return f == Format::Cube ? write_cube_file(path, m.cube, m.x, m.y, m.z)
                             : write_segy_cube(path, m.cube, m.x, m.y, m.z);
}

void BM_write(benchmark::State& state, Format f, QString dir)
{
    const QString path = dir + (f == Format::Cube ? "/bench.3Dgrd" : "/bench.sgy");
    model();
    for (auto _ : state) {
        if (!write_model(f, path)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    const qint64 size = QFileInfo(path).size();
    state.counters["MB/s"] = benchmark::Counter(double(size) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    QFile::remove(path);
}

void BM_read(benchmark::State& state, Format f, QString dir)
{
    const QString path = dir + (f == Format::Cube ? "/bench_read.3Dgrd" : "/bench_read.sgy");
    if (!write_model(f, path)) {
        state.SkipWithError("fixture not written");
        return;
    }
    vector3D cube;
    std::vector<double> x, y, z;
    for (auto _ : state) {
        const CodecStatus s = f == Format::Cube ? read_cube_file(path, cube, x, y, z) : read_segy_cube(path, cube, x, y, z);
        if (!s) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(cube.data());
    }
    if (cube != model().cube)
        state.SkipWithError("read back differs");
    const qint64 size = QFileInfo(path).size();
    state.counters["MB/s"] = benchmark::Counter(double(size) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    QFile::remove(path);
}

// The model's SEG-Y file with its lines and the traces in each line turned
// round: x falls along the lines and y from line to line, so the read
// reverses both rows and columns. It must give the model back.
void BM_segy_read_falling(benchmark::State& state, QString dir)
{
    const QString path = dir + "/bench_falling.sgy";
    const Model& m = model();
    vector3D turned = m.cube;
    for (auto& level : turned) {
        std::reverse(level.begin(), level.end());
        for (auto& row : level)
            std::reverse(row.begin(), row.end());
    }
    bool written = bool(write_segy_cube(path, turned, m.x, m.y, m.z));
    QFile file(path);
    if (written && file.open(QIODevice::ReadWrite)) {
        QByteArray bytes = file.readAll();
        const qint64 trace_bytes = 240 + 4 * NZ;
        for (int i = 0; i < NY; ++i)
            for (int j = 0; j < NX; ++j) {
                char* header = bytes.data() + 3600 + (qint64(i) * NX + j) * trace_bytes;
                const qint16 scalar = qFromLittleEndian<qint16>(header + 70);
                const double scale = scalar < 0 ? -double(scalar) : 1.0;
                qToLittleEndian<qint32>(qint32(m.x[NX - 1 - j] * scale), header + 80);
                qToLittleEndian<qint32>(qint32(m.y[NY - 1 - i] * scale), header + 84);
            }
        written = file.seek(0) && file.write(bytes) == bytes.size();
        file.close();
    }
    if (!written) {
        state.SkipWithError("fixture not written");
        return;
    }
    vector3D cube;
    std::vector<double> x, y, z;
    for (auto _ : state) {
        if (!read_segy_cube(path, cube, x, y, z)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(cube.data());
    }
    if (cube != m.cube || x != m.x || y != m.y)
        state.SkipWithError("read back differs");
    const qint64 size = QFileInfo(path).size();
    state.counters["MB/s"] = benchmark::Counter(double(size) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    QFile::remove(path);
}

// The same number of bytes as the own cube file, written and read in one piece.
void BM_plain_copy(benchmark::State& state, bool write, QString dir)
{
    const QString path = dir + "/bench_plain.bin";
    const QByteArray bytes(60 + 4 * NX * NY * NZ, '\x5a');
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            state.SkipWithError("fixture not written");
            return;
        }
    }
    for (auto _ : state) {
        QFile f(path);
        if (write) {
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                state.SkipWithError("write failed");
        } else {
            if (!f.open(QIODevice::ReadOnly))
                state.SkipWithError("read failed");
            benchmark::DoNotOptimize(f.readAll().size());
        }
    }
    state.counters["MB/s"] = benchmark::Counter(double(bytes.size()) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    QFile::remove(path);
}

constexpr int EFF_ROWS = 512, EFF_COLUMNS = 512, EFF_LEVELS = 50;

// An even operator whose values fall off from the origin, as an operator's do.
const EffectsOperator& stored_operator()
{
    static const EffectsOperator e = [] {
        EffectsOperator o;
        o.shape(EFF_LEVELS, EFF_ROWS, EFF_COLUMNS);
        for (int k = 0; k < o.levels(); ++k)
            for (int q = 0; q < o.quarter_rows(); ++q)
                for (int c = 0; c < o.quarter_columns(); ++c)
                    o.quarter_row(k, q)[c] = float(EFF_LEVELS - k) / (1.0f + 0.01f * float(q * q + c * c));
        return o;
    }();
    return e;
}

double operator_mb(const EffectsOperator& e)
{
    double bytes = 0;
    for (const auto& level : e.quarter)
        bytes += double(level.size()) * sizeof(float);
    return bytes / 1048576.0;
}

void BM_eff_sidecar(benchmark::State& state, bool write, QString dir)
{
    const QString path = dir + "/bench.eff";
    const EffectsOperator& e = stored_operator();
    if (!write_effects_file(path, e, EffectsImaginary::Zero)) {
        state.SkipWithError("fixture not written");
        return;
    }
    double peak = 0;
    for (auto _ : state) {
        EffectsOperator read;
        const long long base = benchsupport::reset_peak();
        const CodecStatus s = write ? write_effects_file(path, e, EffectsImaginary::Zero)
                                    : read_effects_sidecar(path, EFF_COLUMNS, EFF_ROWS, EFF_LEVELS, read);
        peak = std::max(peak, double(benchsupport::status_kb("VmHWM") - base) / 1024.0);
        if (!s) {
            state.SkipWithError("failed");
            break;
        }
        if (!write && read.quarter != e.quarter) {
            state.SkipWithError("read back differs");
            break;
        }
    }
    const qint64 size = QFileInfo(path).size();
    state.counters["MB/s"] = benchmark::Counter(double(size) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peak;
    state.counters["operator_MB"] = operator_mb(e);
    QFile::remove(path);
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList roots;
    const QByteArray env = qgetenv("TOLMERA_BENCH_DIRS");
    if (!env.isEmpty()) {
        roots = QString::fromLocal8Bit(env).split(':', Qt::SkipEmptyParts);
    } else {
        if (QDir("/dev/shm").exists())
            roots << "/dev/shm";
        roots << QDir::tempPath();
    }
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    for (const QString& root : roots) {
        auto dir = std::make_unique<QTemporaryDir>(root + "/tolmera_bench_XXXXXX");
        if (!dir->isValid())
            continue;
        const QString d = dir->path();
        const std::string tag = "/" + root.toStdString();
        benchmark::RegisterBenchmark(("plain_write" + tag).c_str(), BM_plain_copy, true, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("plain_read" + tag).c_str(), BM_plain_copy, false, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("cube_file_write" + tag).c_str(), BM_write, Format::Cube, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("cube_file_read" + tag).c_str(), BM_read, Format::Cube, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("segy_write" + tag).c_str(), BM_write, Format::Segy, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("segy_read" + tag).c_str(), BM_read, Format::Segy, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("segy_read_falling" + tag).c_str(), BM_segy_read_falling, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("eff_sidecar_write" + tag).c_str(), BM_eff_sidecar, true, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("eff_sidecar_read" + tag).c_str(), BM_eff_sidecar, false, d)->Unit(benchmark::kMillisecond)->UseRealTime();
        dirs.push_back(std::move(dir));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
