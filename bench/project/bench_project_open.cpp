// Opening a project whose stored operators are in its sidecars: a density
// grid of 50 levels of 512 x 512 cells (a 512 x 512 padded grid, the eff
// sidecar 210 MB) with three layers, in a folder on tmpfs when there is one.
// The open reads the project and both sidecars and checks that they are the
// model's own before taking them (building both again and comparing every
// level and layer); it is timed beside the open of the project file alone,
// and the checks beside the builds of the whole operator and of all slab
// effects.
//
// Runs the main window on the offscreen platform.
#include "../bench_support.h"
#include "../scripted_interaction.h"
#include "app/mainwindow.h"
#include "engine/forward.h"
#include "engine/layered_inversion.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

constexpr int N = 512, LEVELS = 50;

// Four workers at most, so that runs on a shared machine compare.
int threads() { return int(std::min(4u, std::max(1u, std::thread::hardware_concurrency()))); }

// The model: 50 m cells from (500000, 6000000), levels 20 m apart, three
// layers between undulating horizons.
void give_model(MainWindow& w)
{
    std::vector<double> x, y, z;
    for (int i = 0; i < N; ++i) {
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
    w.expansion_factor = 0;
    w.store_eff = true;
    w.save_log = false;
    w.thread_count = threads();
    w.den_grid = benchsupport::seeded_density(N, LEVELS, 5, 2.0f, 2.6f);
    field2D h0(N, std::vector<double>(N, 0.0)), h1 = h0, h2 = h0;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < N; ++i) {
            h1[j][i] = 300 + 80 * std::sin(0.02 * i) * std::cos(0.03 * j);
            h2[j][i] = 650 + 60 * std::sin(0.01 * j);
        }
    w.horizons = {h0, h1, h2};
    w.horizons_params = {double(N), double(N), w.x_calc.front(), w.x_calc.back(), w.y_calc.front(), w.y_calc.back()};
    w.densities = {2.0, 2.3, 2.5};
    w.fixed.assign(3, false);
    w.layers_names.assign(3, QString());
}

struct Fixture
{
    QTemporaryDir dir;
    QString path;
    bool ok = false;
    Fixture() : dir((QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath()) + "/tolmera_bench_XXXXXX")
    {
        MainWindow w;
        give_model(w);
        w.on_forward_grid_triggered();  // builds the operator
        ForwardGeometry g;
        if (!w.modelGeometry(g)
            || compute_layer_effects(g, w.horizons, w.slabEffectsBottom(), w.layer_effects, threads())
                   != LayerEffectsStatus::Completed)
            return;
        w.layer_effects_key = w.layerEffectsKeyFor(g);
        path = dir.path() + "/bench.3Dproj";
        ok = w.effectsMatchModel() && w.layerEffectsMatchModel() && w.save_project(path) == 1
             && QFile::exists(dir.path() + "/bench.eff") && QFile::exists(dir.path() + "/bench.effh");
        bare_path = dir.path() + "/bare.3Dproj";
        ok = ok && QFile::copy(path, bare_path);
    }
    QString bare_path;  // the same project without sidecars
};

const Fixture& fixture()
{
    static const Fixture f;
    return f;
}

// The open of the project with its sidecars (`sidecars`), which must wait
// for the first run that builds the operators, or of the same project file
// alone.
void BM_project_open(benchmark::State& state, bool sidecars)
{
    const Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("fixture not written");
        return;
    }
    ScriptedOpen scripted;
    scripted.path = sidecars ? f.path : f.bare_path;
    Interaction* previous = setInteraction(&scripted);
    bool taken = true;
    for (auto _ : state) {
        MainWindow w;
        w.thread_count = threads();
        w.on_open_project_triggered();
        // Sidecars are not read at the open: they wait for the first run.
        taken = taken && w.effects.empty() && w.layer_effects.empty() && !w.pending_eff.isEmpty() == sidecars
                && !w.pending_effh.isEmpty() == sidecars;
    }
    setInteraction(previous);
    if (!taken || scripted.notes != 0)
        state.SkipWithError(sidecars ? "the sidecars were not taken" : "operators without sidecars");
}

// BEGIN checks
// The checks of an open on operators in memory, against the builds they save.
struct Operators
{
    MainWindow w;
    ForwardGeometry g;
    Operators()
    {
        give_model(w);
        w.modelGeometry(g);
        build_effects(g, w.effects, threads());
        compute_layer_effects(g, w.horizons, w.slabEffectsBottom(), w.layer_effects, threads());
    }
};

Operators& operators()
{
    static Operators o;
    return o;
}

void BM_check(benchmark::State& state, bool slab)
{
    Operators& o = operators();
    bool own = true;
    for (auto _ : state)
        own = own
              && (slab ? layer_effects_built_for(o.w.layer_effects, o.g, o.w.horizons, o.w.slabEffectsBottom(), threads())
                       : effects_built_for(o.w.effects, o.g, threads()));
    if (!own)
        state.SkipWithError("not the model's own");
}

void BM_build(benchmark::State& state, bool slab)
{
    Operators& o = operators();
    for (auto _ : state) {
        if (slab) {
            std::vector<field2D> e;
            compute_layer_effects(o.g, o.w.horizons, o.w.slabEffectsBottom(), e, threads());
        } else {
            EffectsOperator e;
            build_effects(o.g, e, threads());
        }
    }
}
// END checks

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("project_open_512x512x50", BM_project_open, true)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("project_open_without_sidecars_512x512x50", BM_project_open, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // BEGIN checks
    benchmark::RegisterBenchmark("check_operator_512x512x50", BM_check, false)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("build_operator_512x512x50", BM_build, false)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("check_slab_effects_512x512x50", BM_check, true)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("build_slab_effects_512x512x50", BM_build, true)->Unit(benchmark::kMillisecond)->UseRealTime();
    // END checks
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
