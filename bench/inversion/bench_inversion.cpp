// One iteration of the 3D density inversion on a seeded 256 x 256 x 100
// model, expansion factor 0 (FFT size 256): the stored effects are built once
// beforehand and the regularization-weight factor is preset, so the timed
// part is the iteration itself: its 20 gradient steps in the wavenumber
// domain and the calculated field of the new model. On 1 and 2 threads.
//
// Memory: each run starts from the stored effects alone; the working arrays
// of the run (the model's level spectra, the observed spectrum, the step
// grids) are allocated inside it. The reported peak is the resident
// high-water mark above the start plus the effects, per padded cell of all
// levels (the inversion's arrays: effects 4 bytes, level spectra 8 bytes).
#include "../bench_support.h"
#include "engine/fft.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/parallel.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

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
        build_effects(r.g, r.effects, false, 2);
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
        vector3D model_re(LEVELS), model_im(LEVELS, vector2D(g.My, std::vector<float>(g.Mx, 0.0f)));
        for (int k = 0; k < LEVELS; ++k)
            pad_level(p.den[k], g, model_re[k]);
        parallel_fft_layers(model_re, model_im, fft_forward, threads);
        field2D work_re(g.My, std::vector<double>(g.Mx, 0.0)), work_im = work_re;
        state.ResumeTiming();

        run_inversion_iteration(RunControl(), p.effects.re, model_re, model_im, observed_re, observed_im, p.weights,
                                work_re, work_im, threads, 0, 1);
        predicted_field(p.effects.re, model_re, model_im, work_re, work_im, threads);
        benchmark::DoNotOptimize(work_re.data());

        state.PauseTiming();
        peak_kb = std::max(peak_kb, double(status_kb("VmHWM") - base));
        state.ResumeTiming();
    }
    const double cells = g.padded_cells() * LEVELS;
    const double effects_bytes = 4.0 * cells;
    state.counters["peak_MB"] = (peak_kb * 1024.0 + effects_bytes) / 1048576.0;
    state.counters["B_per_cell"] = (peak_kb * 1024.0 + effects_bytes) / cells;
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
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (times().count(1) && times().count(2))
        std::printf("\nspeed-up on 2 threads: %.2fx (goal: at least 1.7x)\n", times()[1] / times()[2]);
    benchmark::Shutdown();
    return 0;
}
