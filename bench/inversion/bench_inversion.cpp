// One iteration of the 3D density inversion on a seeded 256 x 256 x 100
// model, expansion factor 0 (FFT size 256): the stored effects are built once
// beforehand and the regularization-weight factor is preset, so the timed
// part is the iteration itself: its 20 gradient steps in the wavenumber
// domain and the calculated field of the new model. On 1, 2 and 4 threads;
// the speed-ups over one thread are printed after the runs.
//
// Memory: each run starts from the stored effects alone; the working arrays
// of the run (the model's level half spectra, the observed spectrum, the
// step grids) are allocated inside it. The reported peak is the resident
// high-water mark above the start plus the effects and the grid, against the
// bytes the method must hold: the operator's real even quarter, the grid,
// the model's half spectra (8 bytes per cell of My x (Mx/2 + 1)) and four
// padded grids of doubles.
// TOLMERA_BENCH_SAVE=dir / TOLMERA_BENCH_COMPARE=dir save the one-thread
// field of the iteration, or report the largest difference against it.
#include "../bench_support.h"
#include "engine/fft.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/parallel.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>

using benchsupport::reset_peak;
using benchsupport::status_kb;

namespace {

constexpr int N = 256;
constexpr int LEVELS = 100;

struct Problem
{
    vector3D den;
    std::vector<double> x, y, z;
    field2D observed;
    ForwardGeometry g;
    EffectsOperator effects;
    std::vector<double> weights;
};

Problem& problem()
{
    static Problem p = [] {
        Problem r;
        r.den = benchsupport::seeded_density(N, LEVELS, 20240601, -0.2f, 0.2f);
        benchsupport::Nodes n = benchsupport::model_nodes(N, LEVELS);
        r.x = std::move(n.x);
        r.y = std::move(n.y);
        r.z = std::move(n.z);
        if (forward_geometry(r.den, r.x, r.y, r.z, -10.0, 0.0, r.g) != ForwardStatus::Completed)
            std::abort();
        build_effects(r.g, r.effects, 2);
        // An observed field: the field of a smoothed copy of the model.
        vector3D smooth(LEVELS, vector2D(N, std::vector<float>(N, 0.0f)));
        for (int k = 0; k < LEVELS; k += 10)
            for (int j = 64; j < 192; ++j)
                for (int i = 64; i < 192; ++i)
                    smooth[k][j][i] = 0.1f * (1 + k % 3);
        forward_stored(smooth, r.g, r.effects, r.observed, 2);
        // The factor is preset: the weights of a run that has fitted it.
        r.weights = depth_level_weights(LEVELS, 1.0, 0.01 * 1e-3);
        return r;
    }();
    return p;
}

std::map<int, double>& memory_ratio()
{
    static std::map<int, double> m;
    return m;
}

field2D& last_field()
{
    static field2D f;
    return f;
}

void BM_inversion_iteration(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    Problem& p = problem();
    const ForwardGeometry& g = p.g;
    double peak_kb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const long long base = reset_peak();
        // The run's working data: padded observed field and its spectrum,
        // the model's level spectra, the step grids.
        field2D padded_observed, observed_re, observed_im;
        pad_level(p.observed, g, padded_observed);
        mean_free_spectrum(padded_observed, observed_re, observed_im);
        vector3D model_re(LEVELS), model_im;
        for (int k = 0; k < LEVELS; ++k)
            pad_level(p.den[k], g, model_re[k]);
        model_to_half_spectra(model_re, model_im, threads);
        field2D work_re(g.My, std::vector<double>(g.Mx, 0.0)), work_im = work_re;
        state.ResumeTiming();

        run_inversion_iteration(RunControl(), p.effects, model_re, model_im, observed_re, observed_im, p.weights,
                                work_re, work_im, threads, 0, 1);
        predicted_field(p.effects, model_re, model_im, work_re, work_im, threads);
        benchmark::DoNotOptimize(work_re.data());

        state.PauseTiming();
        peak_kb = std::max(peak_kb, double(status_kb("VmHWM") - base));
        if (threads == 1)
            last_field() = work_re;
        state.ResumeTiming();
    }
    double effects_bytes = 0;
    for (const auto& level : p.effects.quarter)
        effects_bytes += 4.0 * level.size();
    const double grid = 4.0 * N * N * LEVELS;
    const double method = 4.0 * (g.Mx / 2 + 1) * (g.My / 2 + 1) * LEVELS + grid
                          + 8.0 * g.My * (g.Mx / 2 + 1) * LEVELS + 4 * 8.0 * g.padded_cells();
    const double peak = peak_kb * 1024.0 + effects_bytes + grid;
    state.counters["peak_MB"] = peak / 1048576.0;
    state.counters["x_method"] = peak / method;
    memory_ratio()[threads] = peak / method;
}

std::map<int, double>& times()
{
    static std::map<int, double> t;
    return t;
}

class Collect : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                const std::string name = r.benchmark_name();
                const std::size_t slash = name.find('/');
                if (slash != std::string::npos)
                    times()[std::atoi(name.c_str() + slash + 1)] = r.GetAdjustedRealTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

BENCHMARK(BM_inversion_iteration)
    ->Name("inversion_iteration_256x256x100")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& kv : times())
        std::printf("%s%d thread(s): %.1f ms, speed-up over one thread %.2fx, peak memory %.2f x the"
                    " method's bytes\n",
                    kv.first == times().begin()->first ? "\n" : "", kv.first, kv.second,
                    times().count(1) ? times()[1] / kv.second : 0.0, memory_ratio()[kv.first]);
    const field2D& f = last_field();
    if (!f.empty()) {
        const char* save = std::getenv("TOLMERA_BENCH_SAVE");
        const char* compare = std::getenv("TOLMERA_BENCH_COMPARE");
        const int rows = int(f.size()), cols = int(f[0].size());
        if (save) {
            std::ofstream o(std::string(save) + "/inversion_iteration.bin", std::ios::binary);
            o.write(reinterpret_cast<const char*>(&rows), 4);
            o.write(reinterpret_cast<const char*>(&cols), 4);
            for (const auto& r : f)
                o.write(reinterpret_cast<const char*>(r.data()), 8 * r.size());
        }
        if (compare) {
            std::ifstream i(std::string(compare) + "/inversion_iteration.bin", std::ios::binary);
            int r0 = 0, c0 = 0;
            i.read(reinterpret_cast<char*>(&r0), 4);
            i.read(reinterpret_cast<char*>(&c0), 4);
            if (i && r0 == rows && c0 == cols) {
                double d = 0, s = 0;
                std::vector<double> row(cols);
                for (int r = 0; r < rows; ++r) {
                    i.read(reinterpret_cast<char*>(row.data()), 8 * cols);
                    for (int c = 0; c < cols; ++c) {
                        d = std::max(d, std::fabs(f[r][c] - row[c]));
                        s = std::max(s, std::fabs(row[c]));
                    }
                }
                std::printf("largest difference of the iteration's field against the saved one:"
                            " %.3g of its largest value\n", s > 0 ? d / s : d);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
