// User formulas: the grid formula over a density grid and one script row of
// the velocity-to-density conversion called cell by cell, both timed per
// cell on a seeded grid (a fixed-formula conversion over the same cube is the
// reference without the script engine). Both run in the formula worker.
//
// Between two commands the program's events run, and with them the start of
// the worker for the next command. Each run lets the events run first: with
// a pause (untimed) after that, the worker started ahead has come up, as
// between a user's commands; without one, commands come back to back and
// each waits for the start-up of its worker.
#include "editing/formula_worker.h"
#include "editing/grid_formula.h"
#include "editing/velocity_density.h"

#include "../bench_support.h"

#include <QCoreApplication>
#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

namespace vd = velocity_density;

constexpr int kLevels = 8;

std::vector<double> level_depths()
{
    return benchsupport::model_nodes(1, kLevels).z;
}

// The events between two commands, then the pause (ms, untimed).
void between_commands(benchmark::State& state, int pause_ms)
{
    if (pause_ms > 0) {
        state.PauseTiming();
        QCoreApplication::processEvents();
        QThread::msleep(unsigned(pause_ms));
        state.ResumeTiming();
    } else {
        QCoreApplication::processEvents();
    }
}

// Arguments: nx = ny, pause (ms).
void BM_GridFormula(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int pause_ms = int(state.range(1));
    const vector3D dens = benchsupport::seeded_density(n, kLevels, 12345, 1.8f, 2.9f);
    const vector3D vp = benchsupport::seeded_density(n, kLevels, 54321, 1500.f, 6000.f);
    const std::vector<double> z = level_depths();
    const grid_formula::Watch watch;  // watched, as the window runs it
    for (auto _ : state) {
        between_commands(state, pause_ms);
        vector3D out;
        const grid_formula::FormulaResult r = grid_formula::evaluate_grid_formula(
            "dens * 0.9 + Vp / 1e4 + h / 1e5", dens, z, vp, {}, {}, out, grid_formula::Progress(), &watch);
        if (!r.ok())
            state.SkipWithError("formula refused");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kLevels) * n * n);
}
BENCHMARK(BM_GridFormula)
    ->Args({64, 0})
    ->Args({64, 300})
    ->Args({354, 0})
    ->Args({354, 300})
    ->Unit(benchmark::kMillisecond);

// One per-layer conversion of the whole Vp cube by Gardner's formula, as a
// script row (script = true, one watched worker per run as the window
// starts it) or as the fixed formula. Arguments: nx = ny, script, pause (ms).
void BM_ConversionRow(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool script = state.range(1) != 0;
    const int pause_ms = int(state.range(2));
    const vector3D vp = benchsupport::seeded_density(n, kLevels, 54321, 1500.f, 6000.f);
    const std::vector<double> z = level_depths();
    vd::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    const grid_formula::Watch watch;  // watched, as the window runs it
    for (auto _ : state) {
        between_commands(state, pause_ms);
        vector3D out;
        const grid_formula::ScriptConversion run = grid_formula::convert_with_scripts(
            in, {vd::LayerFormula{script ? vd::Script : vd::Gardner}}, {"0.31 * Math.pow(Vp, 0.25)"}, out,
            vd::Progress(), &watch);
        if (!run.worker.ok() || run.status != vd::ConvertStatus::Ok)
            state.SkipWithError("conversion refused");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kLevels) * n * n);
}
BENCHMARK(BM_ConversionRow)
    ->Args({64, 1, 0})
    ->Args({64, 1, 300})
    ->Args({354, 1, 0})
    ->Args({354, 1, 300})
    ->Args({64, 0, 0})
    ->Args({354, 0, 0})
    ->Unit(benchmark::kMillisecond);

// Making a watched engine and compiling one formula: paid once per command
// inside the worker.
void BM_EngineSetUp(benchmark::State& state)
{
    for (auto _ : state) {
        grid_formula::FormulaEngine engine;
        engine.setWatch(grid_formula::Watch());
        benchmark::DoNotOptimize(engine.compile(grid_formula::gridFormulaVariables(), "dens * 1.1"));
    }
}
BENCHMARK(BM_EngineSetUp)->Unit(benchmark::kMicrosecond);

// A one-cell grid formula, back to back: the fixed cost of a command whose
// worker is still coming up.
void BM_WorkerStartUp(benchmark::State& state)
{
    const vector3D dens = benchsupport::seeded_density(1, 1, 12345, 1.8f, 2.9f);
    const grid_formula::Watch watch;
    for (auto _ : state) {
        between_commands(state, 0);
        vector3D out;
        if (!grid_formula::evaluate_grid_formula("dens * 1.1", dens, {0}, {}, {}, {}, out, grid_formula::Progress(),
                                                 &watch)
                 .ok())
            state.SkipWithError("formula refused");
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_WorkerStartUp)->Unit(benchmark::kMillisecond);

}  // namespace

// The script engine needs an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
