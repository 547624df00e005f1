// Box-mean smoothing of a density cube: the running-sum kernel against a
// direct box sum per cell, on the same seeded cube and box.
#include "editing/smoothing.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

vector3D seeded_cube(int nz, int ny, int nx)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> d(1.8f, 2.9f);
    auto g = vector3D(std::size_t(nz), vector2D(std::size_t(ny), std::vector<data_type>(std::size_t(nx))));
    for (auto& level : g)
        for (auto& row : level)
            for (auto& v : row)
                v = d(gen);
    return g;
}

// The moving average summed cell by cell over each box, from a copy.
void direct_box_mean(vector3D& grid, gridops::SmoothHalfWidths h)
{
    const vector3D old = grid;
    const int nz = int(old.size()), ny = int(old[0].size()), nx = int(old[0][0].size());
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nx; ++k) {
                double sum = 0;
                int count = 0;
                for (int l = std::max(i - h.hz, 0); l <= std::min(i + h.hz, nz - 1); ++l)
                    for (int r = std::max(j - h.hy, 0); r <= std::min(j + h.hy, ny - 1); ++r)
                        for (int c = std::max(k - h.hx, 0); c <= std::min(k + h.hx, nx - 1); ++c) {
                            sum += old[l][r][c];
                            ++count;
                        }
                grid[i][j][k] = static_cast<data_type>(sum / count);
            }
}

// Arguments: nx = ny, nz, half-width on every axis.
void BM_SmoothRunningSums(benchmark::State& state)
{
    const int n = int(state.range(0)), nz = int(state.range(1)), h = int(state.range(2));
    const vector3D cube = seeded_cube(nz, n, n);
    for (auto _ : state) {
        state.PauseTiming();
        vector3D grid = cube;
        state.ResumeTiming();
        gridops::smooth_whole(grid, {h, h, h});
        benchmark::DoNotOptimize(grid.front().front().front());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n * nz);
}

void BM_SmoothDirect(benchmark::State& state)
{
    const int n = int(state.range(0)), nz = int(state.range(1)), h = int(state.range(2));
    const vector3D cube = seeded_cube(nz, n, n);
    for (auto _ : state) {
        state.PauseTiming();
        vector3D grid = cube;
        state.ResumeTiming();
        direct_box_mean(grid, {h, h, h});
        benchmark::DoNotOptimize(grid.front().front().front());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n * nz);
}

}  // namespace

BENCHMARK(BM_SmoothRunningSums)->Args({128, 64, 2})->Args({128, 64, 5})->Args({256, 100, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothDirect)->Args({128, 64, 2})->Args({128, 64, 5})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
