// Cube file throughput: reading and writing a 256 x 256 x 100 cube as an own
// cube file and as SEG-Y, in MB/s of file over wall time, beside a plain copy
// of the same number of bytes through QFile (the ceiling for the device).
//
// Each case runs in a folder on tmpfs (/dev/shm: page cache only) and in the
// system temporary folder (a real file system: the writers commit through a
// temporary file that is flushed to disk before it replaces the target).
// TOLMERA_BENCH_DIRS (colon-separated) overrides the folders.
#include "formats/cube_file.h"
#include "formats/segy.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
        dirs.push_back(std::move(dir));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
