// Forward calculation of a seeded 256 x 256 x 100 density grid, expansion
// factor 0 and 1 (FFT sizes 256 and 1024): building the stored effects,
// reusing them, and the storage-off form, on 1 and 2 threads; beside them
// the time of (levels + 1) FFTW float transforms of the padded size
// (FFTW_MEASURE, one thread). Every run reports its peak memory: the
// resident high-water mark above the resident size at its start, and that
// peak plus the stored effects it reads, per padded cell of all levels.
// After the runs a table of ratios is printed.
#include "../bench_support.h"
#include "engine/forward.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

using benchsupport::reset_peak;
using benchsupport::status_kb;

namespace {

constexpr int N = 256;
constexpr int LEVELS = 100;

struct Model
{
    vector3D den;
    std::vector<double> x, y, z;
};

const Model& model()
{
    static const Model m = [] {
        const benchsupport::Nodes n = benchsupport::model_nodes(N, LEVELS);
        return Model{benchsupport::seeded_density(N, LEVELS, 20240501, 2.0f, 2.9f), n.x, n.y, n.z};
    }();
    return m;
}

ForwardGeometry geometry(double p)
{
    const Model& m = model();
    ForwardGeometry g;
    if (forward_geometry(m.den, m.x, m.y, m.z, -10.0, p, g) != ForwardStatus::Completed)
        std::abort();
    return g;
}

// ---- Memory figures from /proc/self (the peak can be reset there).

double process_max_rss_mb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// Operators built by the build runs, reused by the reuse runs.
std::map<int, EffectsOperator>& built_effects()
{
    static std::map<int, EffectsOperator> cache;
    return cache;
}

enum class Form { Build, Reuse, StorageOff };

void report_memory(benchmark::State& state, const ForwardGeometry& g, double peak_kb,
                   double operator_bytes)
{
    const double cells = g.padded_cells() * g.nz;
    state.counters["peak_MB"] = peak_kb / 1024.0;
    state.counters["B_per_cell"] = (peak_kb * 1024.0 + operator_bytes) / cells;
    state.counters["maxrss_MB"] = process_max_rss_mb();
}

void BM_forward(benchmark::State& state, Form form)
{
    const double p = static_cast<double>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const Model& m = model();
    const ForwardGeometry g = geometry(p);
    const int key = static_cast<int>(p);
    EffectsOperator effects;
    if (form == Form::Reuse) {
        auto it = built_effects().find(key);
        if (it == built_effects().end())
            build_effects(g, built_effects()[key], false, 2);
        effects = std::move(built_effects()[key]);
    }
    field2D result;
    double peak_kb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (form == Form::Build)
            effects.clear();
        result.clear();
        const long long base = reset_peak();
        state.ResumeTiming();

        bool reused = false;
        ForwardStatus st;
        if (form == Form::StorageOff)
            st = forward_without_store(m.den, g, result, threads);
        else
            st = forward_stored(m.den, g, effects, result, threads, ForwardProgress(), &reused);
        benchmark::DoNotOptimize(result.data());

        state.PauseTiming();
        peak_kb = std::max(peak_kb, double(status_kb("VmHWM") - base));
        if (st != ForwardStatus::Completed || reused != (form == Form::Reuse))
            state.SkipWithError("unexpected run");
        state.ResumeTiming();
    }
    const double operator_bytes =
        form == Form::Reuse ? 4.0 * g.padded_cells() * g.nz : 0.0;  // resident before the run
    report_memory(state, g, peak_kb, operator_bytes);
    if (form != Form::StorageOff)
        built_effects()[key] = std::move(effects);
}

// (levels + 1) FFTW float transforms of the padded size, one thread.
void BM_fftw_levels(benchmark::State& state)
{
    const ForwardGeometry g = geometry(static_cast<double>(state.range(0)));
    const size_t cells = size_t(g.Mx) * g.My;
    fftwf_complex* buf = fftwf_alloc_complex(cells);
    fftwf_plan plan = fftwf_plan_dft_2d(g.My, g.Mx, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t i = 0; i < cells; ++i) {
            buf[i][0] = u(gen);
            buf[i][1] = 0;
        }
        state.ResumeTiming();
        for (int k = 0; k <= g.nz; ++k)
            fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(buf);
}

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred) {
                const double t = r.real_accumulated_time / double(r.iterations);
                auto it = seconds.find(r.benchmark_name());
                if (it == seconds.end() || t < it->second)
                    seconds[r.benchmark_name()] = t;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

// Building at p = 1 evaluates the prism kernel on 100 levels of 1024 x 1024
// nodes: one iteration is enough.
BENCHMARK_CAPTURE(BM_forward, build, Form::Build)
    ->ArgNames({"p", "threads"})->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})
    ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_forward, reuse, Form::Reuse)
    ->ArgNames({"p", "threads"})->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})
    ->MinTime(1.0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_forward, storage_off, Form::StorageOff)
    ->ArgNames({"p", "threads"})->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})
    ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_fftw_levels)->Name("fftw_levels_plus_one")->ArgName("p")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Time of the first run whose name starts with `prefix` (-1 when none).
    auto t = [&](const std::string& prefix) {
        for (const auto& kv : reporter.seconds)
            if (kv.first.rfind(prefix, 0) == 0)
                return kv.second;
        return -1.0;
    };
    auto run = [](const char* form, int p, int threads) {
        return std::string("BM_forward/") + form + "/p:" + std::to_string(p)
               + "/threads:" + std::to_string(threads) + "/";
    };
    std::printf("\nForward of 256 x 256 x 100 (seconds; ratios):\n");
    for (int p : {0, 1}) {
        const double fftw = t("fftw_levels_plus_one/p:" + std::to_string(p) + "/");
        std::printf(" p = %d: (levels + 1) FFTW float transforms %.4f s\n", p, fftw);
        for (const char* form : {"build", "reuse", "storage_off"}) {
            const double t1 = t(run(form, p, 1)), t2 = t(run(form, p, 2));
            std::printf("  %-12s 1 thread %.4f s, 2 threads %.4f s, speed-up %.2fx", form, t1, t2,
                        t1 > 0 && t2 > 0 ? t1 / t2 : 0.0);
            if (std::string(form) == "reuse" && fftw > 0)
                std::printf(", / FFTW levels: %.2f (1 thread) %.2f (2 threads)", t1 / fftw, t2 / fftw);
            std::printf("\n");
        }
    }
    benchmark::Shutdown();
    return 0;
}
