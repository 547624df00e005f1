// Box-mean smoothing of a density cube: the kernel against the former
// running-sum kernel (kept here as the yardstick of speed and memory) and a
// direct box sum per cell, on the same seeded cube and box. Each case
// reports the working memory above the cube (peak_MB, from the resident
// high-water mark) and the one grid of doubles the bound allows (grid_MB).
#include "../bench_support.h"
#include "editing/smoothing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// The former kernel of the whole-model smoothing: running sums along x and
// down the rows, and a window of level planes slid by adding the entering
// level and subtracting the leaving one. Fast and lean, but a NaN, an
// infinity or a huge value spoils every later sum of its line; kept only to
// measure against.
int reference_window_count(int i, int h, int n)
{
    return std::min(i + h, n - 1) - std::max(i - h, 0) + 1;
}

class ReferencePlaneSums {
public:
    ReferencePlaneSums(std::size_t ny, std::size_t nx, int hx, int hy)
        : ny_(ny), nx_(nx), hx_(hx), hy_(hy), prefix_(nx + 1), rows_((ny + 1) * nx)
    {
    }

    void compute(const vector2D& level, double* out)
    {
        const int nx = int(nx_);
        const int ny = int(ny_);
        std::fill(rows_.begin(), rows_.begin() + std::ptrdiff_t(nx_), 0.0);
        for (int j = 0; j < ny; ++j) {
            const data_type* r = level[std::size_t(j)].data();
            prefix_[0] = 0;
            for (int k = 0; k < nx; ++k)
                prefix_[std::size_t(k) + 1] = prefix_[std::size_t(k)] + double(r[k]);
            const double* above = &rows_[std::size_t(j) * nx_];
            double* here = &rows_[std::size_t(j + 1) * nx_];
            for (int k = 0; k < nx; ++k) {
                const int a = std::max(k - hx_, 0);
                const int b = std::min(k + hx_, nx - 1) + 1;
                here[k] = above[k] + (prefix_[std::size_t(b)] - prefix_[std::size_t(a)]);
            }
        }
        for (int j = 0; j < ny; ++j) {
            const int a = std::max(j - hy_, 0);
            const int b = std::min(j + hy_, ny - 1) + 1;
            const double* lo = &rows_[std::size_t(a) * nx_];
            const double* hi = &rows_[std::size_t(b) * nx_];
            double* o = out + std::size_t(j) * nx_;
            for (int k = 0; k < nx; ++k)
                o[k] = hi[k] - lo[k];
        }
    }

private:
    std::size_t ny_, nx_;
    int hx_, hy_;
    std::vector<double> prefix_;
    std::vector<double> rows_;
};

void reference_running_sums(vector3D& grid, gridops::SmoothHalfWidths h)
{
    const int nz = int(grid.size());
    const int ny = int(grid.front().size());
    const int nx = int(grid.front().front().size());
    const int hx = std::min(h.hx, nx - 1);
    const int hy = std::min(h.hy, ny - 1);
    const int hz = std::min(h.hz, nz - 1);
    const std::size_t plane = std::size_t(ny) * std::size_t(nx);
    const int ring = std::min(2 * hz + 1, nz);
    std::vector<double> planes(std::size_t(ring) * plane);
    std::vector<double> zsum(plane, 0.0);
    ReferencePlaneSums sums(std::size_t(ny), std::size_t(nx), hx, hy);
    auto slot = [&](int level) { return planes.data() + std::size_t(level % ring) * plane; };
    auto add = [&](const double* p, double sign) {
        for (std::size_t c = 0; c < plane; ++c)
            zsum[c] += sign * p[c];
    };
    std::vector<int> cx(static_cast<std::size_t>(nx)), cy(static_cast<std::size_t>(ny));
    for (int k = 0; k < nx; ++k)
        cx[std::size_t(k)] = reference_window_count(k, hx, nx);
    for (int j = 0; j < ny; ++j)
        cy[std::size_t(j)] = reference_window_count(j, hy, ny);
    for (int l = 0; l <= std::min(hz, nz - 1); ++l) {
        sums.compute(grid[std::size_t(l)], slot(l));
        add(slot(l), 1.0);
    }
    for (int i = 0; i < nz; ++i) {
        const double cz = reference_window_count(i, hz, nz);
        for (int j = 0; j < ny; ++j) {
            data_type* r = grid[std::size_t(i)][std::size_t(j)].data();
            const double* s = zsum.data() + std::size_t(j) * std::size_t(nx);
            const double cyz = cz * cy[std::size_t(j)];
            for (int k = 0; k < nx; ++k)
                r[k] = static_cast<data_type>(s[k] / (cyz * cx[std::size_t(k)]));
        }
        if (i == nz - 1)
            break;
        const int out = i - hz;
        if (out >= 0)
            add(slot(out), -1.0);
        const int in = i + hz + 1;
        if (in < nz) {
            sums.compute(grid[std::size_t(in)], slot(in));
            add(slot(in), 1.0);
        }
    }
}

template <typename Kernel>
void run_case(benchmark::State& state, Kernel kernel)
{
    const int n = int(state.range(0)), nz = int(state.range(1));
    const int hxy = int(state.range(2)), hz = int(state.range(3));
    const vector3D cube = seeded_cube(nz, n, n);
    double peak_mb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        vector3D grid = cube;
        const long long start = benchsupport::reset_peak();
        state.ResumeTiming();
        kernel(grid, gridops::SmoothHalfWidths{hxy, hxy, hz});
        benchmark::DoNotOptimize(grid.front().front().front());
        state.PauseTiming();
        peak_mb = std::max(peak_mb, double(benchsupport::status_kb("VmHWM") - start) / 1024.0);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n * nz);
    state.counters["peak_MB"] = peak_mb;
    state.counters["grid_MB"] = double(n) * n * nz * 8 / (1 << 20);
}

// Arguments: nx = ny, nz, half-width along x and y, half-width along z.
void BM_Smooth(benchmark::State& state)
{
    run_case(state, [](vector3D& g, gridops::SmoothHalfWidths h) { gridops::smooth_whole(g, h); });
}

void BM_SmoothReferenceRunningSums(benchmark::State& state)
{
    run_case(state, reference_running_sums);
}

void BM_SmoothDirect(benchmark::State& state)
{
    run_case(state, direct_box_mean);
}

// On a shared machine the least of several repetitions is the steadiest
// figure: run with --benchmark_repetitions=N and
// --benchmark_enable_random_interleaving=true.
void side_by_side(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

}  // namespace

// The two kernels take turns case by case, so a change of load on the
// machine touches both.
#define SMOOTH_CASE(n, nz, hxy, hz)                                                                       \
    BENCHMARK(BM_Smooth)->Args({n, nz, hxy, hz})->Apply(side_by_side);                                    \
    BENCHMARK(BM_SmoothReferenceRunningSums)->Args({n, nz, hxy, hz})->Apply(side_by_side);

SMOOTH_CASE(128, 64, 2, 2)
SMOOTH_CASE(500, 100, 1, 1)
SMOOTH_CASE(500, 100, 2, 2)
SMOOTH_CASE(500, 100, 5, 5)
SMOOTH_CASE(500, 100, 20, 20)
SMOOTH_CASE(500, 100, 2, 50)
SMOOTH_CASE(500, 100, 5, 99)
SMOOTH_CASE(400, 100, 2, 60)
BENCHMARK(BM_SmoothDirect)->Args({128, 64, 2, 2})->Args({128, 64, 5, 5})->Apply(side_by_side);

BENCHMARK_MAIN();
