// The layered inversion on a 256 x 256 x 40 model with three layers,
// expansion factor 0 (FFT size 256): the slab effects of the layers on 1 and
// 2 threads, and 500 descent steps (one iteration of the record's count) on
// the normal equations, with the equations built inside the timed part.
#include "../bench_support.h"
#include "editing/layers.h"
#include "engine/forward.h"
#include "engine/layered_inversion.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int N = 256;
constexpr int LEVELS = 40;

struct Problem
{
    ForwardGeometry g;
    std::vector<field2D> horizons;
    std::vector<double> z;
    double bottom = 0;
};

Problem& problem()
{
    static Problem p = [] {
        Problem r;
        const benchsupport::Nodes n = benchsupport::model_nodes(N, LEVELS);
        r.z = n.z;
        forward_geometry(N, N, LEVELS, n.x, n.y, r.z, -10.0, 0.0, r.g);
        field2D top(N, std::vector<double>(N, 0.0)), h1 = top, h2 = top;
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) {
                h1[j][i] = 500 + 200 * std::sin(i / 20.0) * std::cos(j / 30.0);
                h2[j][i] = 1200 + 150 * std::sin(j / 25.0);
            }
        r.horizons = {top, h1, h2};
        r.bottom = layers::last_layer_bottom(layers::LastBottom::Extended, r.z);
        return r;
    }();
    return p;
}

void BM_SlabEffects(benchmark::State& state)
{
    Problem& p = problem();
    const int threads = static_cast<int>(state.range(0));
    std::vector<field2D> out;
    for (auto _ : state) {
        compute_layer_effects(p.g, p.horizons, p.bottom, out, threads);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SlabEffects)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DescentIteration(benchmark::State& state)
{
    Problem& p = problem();
    static std::vector<field2D> effects;
    if (effects.empty())
        compute_layer_effects(p.g, p.horizons, p.bottom, effects, 2);
    field2D residual(N, std::vector<double>(N, 0.0));
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < N; ++i)
            residual[j][i] = 0.1 * effects[1][j][i] - 0.05 * effects[2][j][i];
    const std::vector<double> alpha(3, 1e-7);
    for (auto _ : state) {
        const LayerNormalEquations eq = layer_normal_equations(residual, effects);
        std::vector<double> d(3, 0.0);
        layer_descent(d, eq, alpha, 500);
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_DescentIteration)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
