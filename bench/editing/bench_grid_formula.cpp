// User formulas: the grid formula over a density grid and one script row of
// the velocity-to-density conversion called cell by cell, both timed per
// cell on a seeded grid (a fixed-formula conversion over the same cube is the
// reference without the script engine).
#include "editing/grid_formula.h"
#include "editing/velocity_density.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <random>

namespace {

vector3D seeded_cube(int nz, int ny, int nx, float lo, float hi)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> d(lo, hi);
    auto g = vector3D(std::size_t(nz), vector2D(std::size_t(ny), std::vector<data_type>(std::size_t(nx))));
    for (auto& level : g)
        for (auto& row : level)
            for (auto& v : row)
                v = d(gen);
    return g;
}

std::vector<double> level_depths(int nz)
{
    std::vector<double> z;
    for (int k = 0; k < nz; ++k)
        z.push_back(50.0 * k);
    return z;
}

// Argument: nx = ny (8 levels).
void BM_GridFormula(benchmark::State& state)
{
    const int n = int(state.range(0)), nz = 8;
    const vector3D dens = seeded_cube(nz, n, n, 1.8f, 2.9f);
    const vector3D vp = seeded_cube(nz, n, n, 1500.f, 6000.f);
    const std::vector<double> z = level_depths(nz);
    const grid_formula::Watch watch;  // watched, as the window runs it
    for (auto _ : state) {
        vector3D out;
        const grid_formula::FormulaResult r = grid_formula::evaluate_grid_formula(
            "dens * 0.9 + Vp / 1e4 + h / 1e5", dens, z, vp, {}, {}, out, grid_formula::Progress(), &watch);
        if (!r.ok())
            state.SkipWithError("formula refused");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(nz) * n * n);
}
BENCHMARK(BM_GridFormula)->Arg(64)->Unit(benchmark::kMillisecond);

// One script row over the whole Vp cube; argument: nx = ny (8 levels).
void BM_ScriptRow(benchmark::State& state)
{
    const int n = int(state.range(0)), nz = 8;
    const vector3D vp = seeded_cube(nz, n, n, 1500.f, 6000.f);
    const std::vector<double> z = level_depths(nz);
    velocity_density::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    for (auto _ : state) {
        grid_formula::FormulaEngine engine;
        engine.setWatch(grid_formula::Watch());
        const int f = engine.compile(grid_formula::velocityFormulaVariables(), "0.31 * Math.pow(Vp, 0.25)");
        const velocity_density::ScriptCell cell = [&engine, f](int, double p, double s, double h) {
            return engine.call(f, {p, s, h});
        };
        vector3D out;
        if (velocity_density::convert_by_layers(in, {velocity_density::LayerFormula{velocity_density::Script}}, cell,
                                                out)
            != velocity_density::ConvertStatus::Ok)
            state.SkipWithError("conversion refused");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(nz) * n * n);
}
BENCHMARK(BM_ScriptRow)->Arg(64)->Unit(benchmark::kMillisecond);

// The same conversion by the fixed Gardner formula: the cost without script.
void BM_FixedRow(benchmark::State& state)
{
    const int n = int(state.range(0)), nz = 8;
    const vector3D vp = seeded_cube(nz, n, n, 1500.f, 6000.f);
    const std::vector<double> z = level_depths(nz);
    velocity_density::ConversionInput in;
    in.vp = &vp;
    in.vp_z = &z;
    for (auto _ : state) {
        vector3D out;
        velocity_density::convert_by_layers(in, {velocity_density::LayerFormula{velocity_density::Gardner}},
                                            velocity_density::ScriptCell(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(nz) * n * n);
}
BENCHMARK(BM_FixedRow)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

// The script engine needs an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
