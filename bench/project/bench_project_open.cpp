// Opening a project and its first forward run, with the operator sidecar
// beside it and without, at two sizes: 512 x 512 x 100 cells with expansion
// factor 0 (a 512 x 512 padded grid, the eff sidecar 420 MB) and
// 256 x 256 x 100 with expansion factor 1 (1024 x 1024, 1.7 GB). The files
// lie in a folder on tmpfs when there is one (the page cache's speed; from a
// disk the run gives the file up after its first plane and builds).
//
// With the sidecar the run weighs reading and checking it against building
// the operator and takes the cheaper way; `taken` tells how often it took
// the file. The two opens run side by side in one benchmark, and
// with_over_without is the figure to read; taken_over_without and
// built_over_without split the runs with the sidecar by what they did. The same with the file always
// read and checked shows what taking it costs here. The check alone and the
// build alone are timed beside, on the operator in memory.
//
// Runs the main window on the offscreen platform.
#include "../bench_support.h"
#include "../scripted_interaction.h"
#include "app/mainwindow.h"
#include "engine/forward.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

namespace {

constexpr int LEVELS = 100;

// Four workers at most, so that runs on a shared machine compare, or as
// many as BENCH_THREADS says.
int threads()
{
    if (const int asked = qEnvironmentVariableIntValue("BENCH_THREADS"); asked > 0)
        return asked;
    return int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
}

// The model: 50 m cells from (500000, 6000000), levels 20 m apart.
void give_model(MainWindow& w, int n, double expansion)
{
    std::vector<double> x, y, z;
    for (int i = 0; i < n; ++i) {
        x.push_back(500000.0 + 50.0 * i);
        y.push_back(6000000.0 + 50.0 * i);
    }
    for (int k = 0; k < LEVELS; ++k)
        z.push_back(20.0 * k);
    w.language = 1;
    w.x_calc = w.x_norm = x;
    w.y_calc = w.y_norm = y;
    w.z_calc = w.z_norm = z;
    w.calc_height = -10;
    w.expansion_factor = expansion;
    if (w.preferences.size() > 5)
        w.preferences[5] = expansion;
    w.store_eff = true;
    w.save_log = false;
    w.thread_count = threads();
    w.den_grid = benchsupport::seeded_density(n, LEVELS, 5, 2.0f, 2.6f);
}

// A project with its eff sidecar, and the same project file alone.
struct Fixture
{
    QTemporaryDir dir;
    QString path, bare_path;
    qint64 sidecar_bytes = 0;
    EffectsOperator effects;  // the model's operator, for the check and build timings
    ForwardGeometry g;
    bool ok = false;
    Fixture(int n, double expansion)
        : dir((QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath()) + "/tolmera_bench_XXXXXX")
    {
        MainWindow w;
        give_model(w, n, expansion);
        w.on_forward_grid_triggered();  // builds the operator
        path = dir.path() + "/bench.3Dproj";
        bare_path = dir.path() + "/bare.3Dproj";
        // Both project files are copies of the one saved, so that they are
        // read alike: the file the save wrote itself read 6 ms slower (of
        // 45 ms at 512 x 512 x 100) than a copy of it, with or without the
        // sidecar beside it.
        QString saved = dir.path() + "/saved.3Dproj";
        ok = w.effectsMatchModel() && w.save_project(saved) == 1 && QFile::copy(saved, path)
             && QFile::copy(saved, bare_path) && QFile::rename(dir.path() + "/saved.eff", dir.path() + "/bench.eff")
             && QFile::remove(saved) && w.modelGeometry(g);
        sidecar_bytes = QFileInfo(dir.path() + "/bench.eff").size();
        effects = std::move(w.effects);
    }
};

const Fixture& fixture(int n, double expansion)
{
    static std::map<int, std::unique_ptr<Fixture>> made;
    auto& f = made[n];
    if (!f)
        f = std::make_unique<Fixture>(n, expansion);
    return *f;
}

// Open + first forward of one window; true when it ran on the model's own
// operator. `taken` tells whether the run took the sidecar.
bool open_and_forward(ScriptedOpen& scripted, const QString& path, bool& taken, bool always_read)
{
    scripted.path = path;
    MainWindow w;
    if (always_read)
        w.sidecar_choice = MainWindow::SidecarChoice::Check;
    w.thread_count = threads();
    w.store_eff = true;
    w.save_log = false;
    w.on_open_project_triggered();
    w.on_forward_grid_triggered();
    taken = !w.effects_source.isEmpty();
    return w.effectsMatchModel() && w.pending_eff.isEmpty();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Open + first forward with the sidecar beside the project and without, side
// by side: every iteration runs both, in turns of order, so that whatever
// drifts in the process or on the machine falls on both alike. The time is
// the pair's; with_ms and without_ms are the medians of each (a run slowed
// by another process weighs nothing), with_over_without their ratio.
void open_and_forward_pairs(benchmark::State& state, int n, double expansion, bool always_read)
{
    const Fixture& f = fixture(n, expansion);
    if (!f.ok) {
        state.SkipWithError("fixture not written");
        return;
    }
    ScriptedOpen scripted;
    Interaction* previous = setInteraction(&scripted);
    int runs = 0;
    std::vector<double> with_s, without_s, taken_s, built_s;
    bool served = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool sidecar = (turn == 0) == (runs % 2 == 0);
            const auto start = std::chrono::steady_clock::now();
            bool taken = false;
            served = open_and_forward(scripted, sidecar ? f.path : f.bare_path, taken, always_read) && served;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            (sidecar ? with_s : without_s).push_back(seconds);
            if (sidecar)
                (taken ? taken_s : built_s).push_back(seconds);
        }
        ++runs;
    }
    setInteraction(previous);
    const double with_median = median(with_s), without_median = median(without_s);
    state.counters["with_ms"] = 1e3 * with_median;
    state.counters["without_ms"] = 1e3 * without_median;
    state.counters["with_over_without"] = without_median > 0 ? with_median / without_median : 0.0;
    state.counters["taken"] = runs ? double(taken_s.size()) / runs : 0.0;
    // The runs with the sidecar split by what they did: took the file, or
    // built the operator (0 when none did).
    state.counters["taken_over_without"] =
        without_median > 0 && !taken_s.empty() ? median(taken_s) / without_median : 0.0;
    state.counters["built_over_without"] =
        without_median > 0 && !built_s.empty() ? median(built_s) / without_median : 0.0;
    state.counters["sidecar_MB"] = double(f.sidecar_bytes) / 1e6;
    if (!served || scripted.notes != 0)
        state.SkipWithError("no operator for the model after the run");
}

void BM_open_and_forward(benchmark::State& state, int n, double expansion)
{
    open_and_forward_pairs(state, n, expansion, false);
}

// The same with the sidecar always read and checked whole (what the run
// weighs against the build): with_over_without tells what taking the file
// would cost or save on this machine.
void BM_open_and_forward_always_read(benchmark::State& state, int n, double expansion)
{
    open_and_forward_pairs(state, n, expansion, true);
}

// The whole check of the operator held, and the build it stands for.
void BM_check(benchmark::State& state, int n, double expansion)
{
    const Fixture& f = fixture(n, expansion);
    bool own = f.ok;
    for (auto _ : state)
        own = own && check_effects(f.effects, f.g, threads()) == EffectsCheck::Own;
    if (!own)
        state.SkipWithError("not the model's own");
}

void BM_build(benchmark::State& state, int n, double expansion)
{
    const Fixture& f = fixture(n, expansion);
    for (auto _ : state) {
        EffectsOperator e;
        build_effects(f.g, e, threads());
    }
}

void add(const char* name, void (*fn)(benchmark::State&, int, double), int n, double p)
{
    benchmark::RegisterBenchmark(name, fn, n, p)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(8)
        ->Repetitions(3)
        ->ReportAggregatesOnly(false);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    add("open_forward_with_and_without_sidecar_512x512x100_p0", BM_open_and_forward, 512, 0);
    add("open_forward_with_and_without_sidecar_256x256x100_p1", BM_open_and_forward, 256, 1);
    add("open_forward_sidecar_always_read_512x512x100_p0", BM_open_and_forward_always_read, 512, 0);
    add("open_forward_sidecar_always_read_256x256x100_p1", BM_open_and_forward_always_read, 256, 1);
    for (const auto& [name, n, p] : {std::make_tuple("512x512x100_p0", 512, 0.0), std::make_tuple("256x256x100_p1", 256, 1.0)}) {
        benchmark::RegisterBenchmark((std::string("check_operator_") + name).c_str(), BM_check, n, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
        benchmark::RegisterBenchmark((std::string("build_operator_") + name).c_str(), BM_build, n, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
