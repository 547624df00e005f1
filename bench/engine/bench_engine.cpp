// Engine core benchmarks: fft_2d against FFTW (FFTW_MEASURE, one thread) on
// the same sizes in the same run, and the accumulation over levels on 1, 2
// and all cores, and the prism kernel likewise. After the runs a table of ratios (ours / FFTW) is printed.
#include "engine/fft.h"
#include "engine/parallel.h"
#include "engine/prism.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>

namespace {

template <typename T>
void fill_random(std::vector<std::vector<T>>& g, size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    g.assign(n, std::vector<T>(n));
    for (auto& r : g)
        for (T& v : r)
            v = static_cast<T>(u(gen));
}

template <typename T>
void restore(std::vector<std::vector<T>>& dst, const std::vector<std::vector<T>>& src)
{
    for (size_t i = 0; i < src.size(); ++i)
        std::copy(src[i].begin(), src[i].end(), dst[i].begin());
}

template <typename T>
void BM_fft_2d(benchmark::State& state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<std::vector<T>> re0, im0;
    fill_random(re0, n, 1);
    fill_random(im0, n, 2);
    auto re = re0, im = im0;
    for (auto _ : state) {
        fft_2d(re, im, fft_forward);
        benchmark::ClobberMemory();
        state.PauseTiming();
        restore(re, re0);
        restore(im, im0);
        state.ResumeTiming();
    }
}

void BM_fftw_float(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const size_t cells = size_t(n) * n;
    fftwf_complex* buf = fftwf_alloc_complex(cells);
    fftwf_complex* src = fftwf_alloc_complex(cells);
    fftwf_plan plan = fftwf_plan_dft_2d(n, n, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (size_t i = 0; i < cells; ++i) {
        src[i][0] = u(gen);
        src[i][1] = u(gen);
    }
    std::copy(&src[0][0], &src[0][0] + 2 * cells, &buf[0][0]);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::copy(&src[0][0], &src[0][0] + 2 * cells, &buf[0][0]);
        state.ResumeTiming();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(buf);
    fftwf_free(src);
}

void BM_fftw_double(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const size_t cells = size_t(n) * n;
    fftw_complex* buf = fftw_alloc_complex(cells);
    fftw_complex* src = fftw_alloc_complex(cells);
    fftw_plan plan = fftw_plan_dft_2d(n, n, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (size_t i = 0; i < cells; ++i) {
        src[i][0] = u(gen);
        src[i][1] = u(gen);
    }
    std::copy(&src[0][0], &src[0][0] + 2 * cells, &buf[0][0]);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::copy(&src[0][0], &src[0][0] + 2 * cells, &buf[0][0]);
        state.ResumeTiming();
    }
    fftw_destroy_plan(plan);
    fftw_free(buf);
    fftw_free(src);
}

vector3D random_cube(size_t levels, size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    vector3D c(levels, vector2D(n, std::vector<float>(n)));
    for (auto& l : c)
        for (auto& r : l)
            for (float& v : r)
                v = u(gen);
    return c;
}

// 256 x 256 x 100: the padded grid of a forward run reusing stored effects.
void BM_accumulate_effects(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    static const EffectsOperator op = [] {
        const vector3D full = random_cube(100, 129, 1);  // rows of the quarter, trimmed below
        EffectsOperator o;
        o.shape(100, 256, 256);
        for (int k = 0; k < 100; ++k)
            for (int r = 0; r < o.quarter_rows(); ++r)
                std::copy_n(full[k][r].begin(), o.quarter_columns(), o.quarter_row(k, r));
        return o;
    }();
    static const vector3D mr = random_cube(100, 256, 2);
    static const vector3D mi = random_cube(100, 256, 3);
    field2D out_re(256, std::vector<double>(256)), out_im = out_re;
    for (auto _ : state) {
        parallel_accumulate_effects(op, mr, mi, out_re, out_im, threads);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 100 * 256 * 256 * 12);
}

// The unit-cell field of one level on a 256 x 256 padded grid, as the
// operator build evaluates it.
void BM_prism_kernel(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    std::vector<double> x(256), y(256);
    for (int i = 0; i < 256; ++i) {
        x[i] = i * 50.0;
        y[i] = i * 40.0;
    }
    field2D out(256, std::vector<double>(256));
    for (auto _ : state) {
        prism_gravity_kernel(x, y, -1e-6, {x[128] - 25, x[128] + 25}, {y[128] - 20, y[128] + 20},
                             {100, 150}, 1.0, out, threads);
        benchmark::ClobberMemory();
    }
}

int hardware_threads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

// Collects the time per iteration of every run for the ratio table (the
// fastest repetition when --benchmark_repetitions is given).
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                // With repetitions the fastest one is kept: the least disturbed.
                const double t = r.real_accumulated_time / double(r.iterations);
                auto it = seconds.find(r.benchmark_name());
                if (it == seconds.end() || t < it->second)
                    seconds[r.benchmark_name()] = t;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

BENCHMARK_TEMPLATE(BM_fft_2d, float)->Name("fft_2d_float")->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fftw_float)->Name("fftw_float")->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_fft_2d, double)->Name("fft_2d_double")->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fftw_double)->Name("fftw_double")->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_prism_kernel)->Name("prism_kernel_256x256")->Arg(1)->Arg(2)->Arg(hardware_threads())->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_accumulate_effects)->Name("accumulate_effects_256x256x100")->Arg(1)->Arg(2)->Arg(hardware_threads())->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nfft_2d time / FFTW time (FFTW_MEASURE, one thread):\n");
    for (const char* precision : {"float", "double"})
        for (int n : {256, 512, 1024}) {
            const std::string ours = std::string("fft_2d_") + precision + "/" + std::to_string(n);
            const std::string ref = std::string("fftw_") + precision + "/" + std::to_string(n);
            if (reporter.seconds.count(ours) && reporter.seconds.count(ref))
                std::printf("  %-6s %4dx%-4d  %.2f\n", precision, n, n,
                            reporter.seconds[ours] / reporter.seconds[ref]);
        }
    for (const char* name : {"prism_kernel_256x256", "accumulate_effects_256x256x100"}) {
        const std::string base = std::string(name) + "/1/real_time";
        if (!reporter.seconds.count(base))
            continue;
        std::printf("%s speed-up over one thread:\n", name);
        for (const auto& kv : reporter.seconds)
            if (kv.first.rfind(name, 0) == 0)
                std::printf("  %-45s %.2fx\n", kv.first.c_str(), reporter.seconds[base] / kv.second);
    }
    benchmark::Shutdown();
    return 0;
}
