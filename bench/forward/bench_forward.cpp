// Forward calculation of seeded 256 x 256 x 100 and 512 x 512 x 100 density
// grids, expansion factor 0 and 1: building the stored operator, reusing it,
// and the storage-off form, on 1, 2 and 4 threads, side by side with a plain
// forward written on FFTW (fftw_forward.h: build, reuse, storage off; one
// thread). After the runs a table gives the ratios program / FFTW, the
// speed-ups over one thread, and the peak memory (resident high-water mark
// above the start plus the inputs the run holds) against the bytes the
// method must hold: the operator's real even quarter, the grid and one
// level's work (32 bytes per padded cell).
//
// Quick runs: --benchmark_filter=n:256/p:0 (or any part of the names).
// TOLMERA_BENCH_SAVE=dir writes the one-thread fields to dir;
// TOLMERA_BENCH_COMPARE=dir reports the largest difference against them.
#include "../bench_support.h"
#include "engine/forward.h"
#include "fftw_forward.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

using benchsupport::reset_peak;
using benchsupport::status_kb;

namespace {

constexpr int LEVELS = 100;

struct Model
{
    vector3D den;
    std::vector<double> x, y, z;
};

const Model& model(int n)
{
    static std::map<int, Model> models;
    auto it = models.find(n);
    if (it == models.end()) {
        const benchsupport::Nodes nodes = benchsupport::model_nodes(n, LEVELS);
        it = models
                 .emplace(n, Model{benchsupport::seeded_density(n, LEVELS, 20240501, 2.0f, 2.9f),
                                   nodes.x, nodes.y, nodes.z})
                 .first;
    }
    return it->second;
}

ForwardGeometry geometry(int n, double p)
{
    const Model& m = model(n);
    ForwardGeometry g;
    if (forward_geometry(m.den, m.x, m.y, m.z, -10.0, p, g) != ForwardStatus::Completed)
        std::abort();
    return g;
}

enum class Form { Build, Reuse, StorageOff };
const char* form_name(Form f)
{
    return f == Form::Build ? "build" : f == Form::Reuse ? "reuse" : "storage_off";
}

std::string case_name(int n, int p) { return "n:" + std::to_string(n) + "/p:" + std::to_string(p); }

// Operators built by the build runs, reused by the reuse runs (one at a time).
struct Held
{
    std::string key;
    EffectsOperator effects;
    std::vector<std::vector<float>> fftw;
};
Held& held()
{
    static Held h;
    return h;
}

struct Figures
{
    double seconds = -1;
    double peak_bytes = 0;
    double method_bytes = 0;
};
std::map<std::string, Figures>& figures()
{
    static std::map<std::string, Figures> f;
    return f;
}
std::map<std::string, field2D>& results()
{
    static std::map<std::string, field2D> r;
    return r;
}

double grid_bytes(const ForwardGeometry& g) { return 4.0 * g.nx * g.ny * g.nz; }
double quarter_operator_bytes(const ForwardGeometry& g)
{
    return 4.0 * (g.Mx / 2 + 1) * (g.My / 2 + 1) * g.nz;
}
double level_work_bytes(const ForwardGeometry& g) { return 32.0 * g.padded_cells(); }

double held_bytes(const EffectsOperator& e)
{
    double b = 0;
    for (const auto& level : e.quarter)
        b += 4.0 * level.size();
    for (const auto& level : e.im)
        for (const auto& row : level)
            b += 4.0 * row.size();
    return b;
}

void BM_program(benchmark::State& state, Form form, int n, int p, int threads)
{
    const Model& m = model(n);
    const ForwardGeometry g = geometry(n, p);
    const std::string key = case_name(n, p);
    EffectsOperator effects;
    if (form == Form::Reuse) {
        if (held().key != key || held().effects.empty()) {
            held().effects.clear();
            build_effects(g, held().effects, 4);
            held().key = key;
        }
        effects = std::move(held().effects);
    } else if (held().key != key) {
        held().effects.clear();
        held().fftw.clear();
    }
    field2D result;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (form == Form::Build)
            effects.clear();
        // Building and the storage-off form run once, as a first run would:
        // with the working grids that other runs kept let go.
        if (form != Form::Reuse)
            forward_release_work();
        result.clear();
        const long long base = reset_peak();
        // What the run holds on entry: the grid, the operator it reads and
        // the working grids the engine keeps from earlier runs.
        const double inputs = grid_bytes(g) + held_bytes(effects) + double(forward_kept_bytes());
        state.ResumeTiming();

        bool reused = false;
        ForwardStatus st;
        if (form == Form::StorageOff)
            st = forward_without_store(m.den, g, result, threads);
        else
            st = forward_stored(m.den, g, effects, result, threads, ForwardProgress(), &reused);
        benchmark::DoNotOptimize(result.data());

        state.PauseTiming();
        peak = std::max(peak, double(status_kb("VmHWM") - base) * 1024.0 + inputs);
        if (st != ForwardStatus::Completed || reused != (form == Form::Reuse))
            state.SkipWithError("unexpected run");
        state.ResumeTiming();
    }
    Figures& f = figures()[std::string("program/") + form_name(form) + "/" + key + "/threads:"
                           + std::to_string(threads)];
    f.peak_bytes = peak;
    f.method_bytes = grid_bytes(g) + level_work_bytes(g)
                     + (form == Form::StorageOff ? 0.0 : quarter_operator_bytes(g));
    state.counters["peak_MB"] = peak / 1048576.0;
    state.counters["x_method"] = peak / f.method_bytes;
    if (threads == 1)
        results()[std::string("program/") + form_name(form) + "/" + key] = result;
    if (form != Form::StorageOff) {
        held().effects = std::move(effects);
        held().key = key;
    }
}

void BM_fftw(benchmark::State& state, Form form, int n, int p)
{
    const Model& m = model(n);
    const ForwardGeometry g = geometry(n, p);
    const std::string key = case_name(n, p);
    std::unique_ptr<fftwref::Plans> plans(new fftwref::Plans(g.Mx, g.My));
    if (form == Form::Reuse && (held().key != key || held().fftw.empty())) {
        field2D r;
        fftwref::forward(m.den, g, *plans, held().fftw, true, false, r);
        held().key = key;
    }
    field2D result;
    for (auto _ : state) {
        state.PauseTiming();
        result.clear();
        state.ResumeTiming();
        fftwref::forward(m.den, g, *plans, held().fftw, form == Form::Build, form == Form::Reuse,
                         result);
        benchmark::DoNotOptimize(result.data());
    }
    if (form == Form::Build)
        held().key = key;
    results()[std::string("fftw/") + form_name(form) + "/" + key] = result;
}

class Collect : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred) {
                const double t = r.real_accumulated_time / double(r.iterations);
                Figures& f = figures()[r.benchmark_name()];
                if (f.seconds < 0 || t < f.seconds)
                    f.seconds = t;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

double largest_difference(const field2D& a, const field2D& b)
{
    if (a.size() != b.size() || a.empty() || a[0].size() != b[0].size())
        return INFINITY;
    double d = 0, s = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < a[i].size(); ++j) {
            d = std::max(d, std::fabs(a[i][j] - b[i][j]));
            s = std::max(s, std::fabs(b[i][j]));
        }
    return s > 0 ? d / s : d;
}

void save_field(const std::string& path, const field2D& f)
{
    std::ofstream o(path, std::ios::binary);
    const int rows = int(f.size()), cols = rows ? int(f[0].size()) : 0;
    o.write(reinterpret_cast<const char*>(&rows), 4);
    o.write(reinterpret_cast<const char*>(&cols), 4);
    for (const auto& r : f)
        o.write(reinterpret_cast<const char*>(r.data()), 8 * r.size());
}

bool load_field(const std::string& path, field2D& f)
{
    std::ifstream i(path, std::ios::binary);
    int rows = 0, cols = 0;
    if (!i.read(reinterpret_cast<char*>(&rows), 4) || !i.read(reinterpret_cast<char*>(&cols), 4))
        return false;
    f.assign(rows, std::vector<double>(cols));
    for (auto& r : f)
        i.read(reinterpret_cast<char*>(r.data()), 8 * r.size());
    return bool(i);
}

std::string file_name(std::string key)
{
    for (char& c : key)
        if (c == '/' || c == ':')
            c = '_';
    return key + ".bin";
}

} // namespace

int main(int argc, char** argv)
{
    const Form forms[] = {Form::Build, Form::Reuse, Form::StorageOff};
    for (int n : {256, 512})
        for (int p : {0, 1}) {
            // The FFTW build run leaves the kernel spectra for its reuse run,
            // the program's build run its operator for the program's reuse.
            for (Form f : forms) {
                auto* b = benchmark::RegisterBenchmark(
                    (std::string("fftw/") + form_name(f) + "/" + case_name(n, p)).c_str(),
                    [=](benchmark::State& s) { BM_fftw(s, f, n, p); });
                b->Unit(benchmark::kMillisecond)->UseRealTime();
                if (f == Form::Reuse)
                    b->MinTime(0.5);
                else
                    b->Iterations(1);
            }
            for (Form f : forms)
                for (int t : {1, 2, 4}) {
                    auto* b = benchmark::RegisterBenchmark(
                        (std::string("program/") + form_name(f) + "/" + case_name(n, p)
                         + "/threads:" + std::to_string(t))
                            .c_str(),
                        [=](benchmark::State& s) { BM_program(s, f, n, p, t); });
                    b->Unit(benchmark::kMillisecond)->UseRealTime();
                    if (f == Form::Reuse)
                        b->MinTime(0.5);
                    else
                        b->Iterations(1);
                }
        }
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Google Benchmark appends "/iterations:1/real_time" and the like.
    auto timed = [](const std::string& name) -> const Figures* {
        for (const auto& kv : figures())
            if (kv.second.seconds >= 0 && (kv.first == name || kv.first.rfind(name + "/", 0) == 0))
                return &kv.second;
        return nullptr;
    };
    auto seconds = [&](const std::string& name) {
        const Figures* f = timed(name);
        return f ? f->seconds : -1.0;
    };
    std::printf("\nRatios program / FFTW forward (one FFTW thread), speed-up over one thread,"
                " peak memory / method's bytes:\n");
    for (int n : {256, 512})
        for (int p : {0, 1}) {
            const std::string key = case_name(n, p);
            for (Form f : forms) {
                const double ref = seconds(std::string("fftw/") + form_name(f) + "/" + key);
                const std::string base = std::string("program/") + form_name(f) + "/" + key + "/threads:";
                const double t1 = seconds(base + "1");
                if (ref < 0 && t1 < 0)
                    continue;
                std::printf(" %-8s %-11s FFTW %8.1f ms |", key.c_str(), form_name(f), ref * 1e3);
                for (int t : {1, 2, 4}) {
                    const double tt = seconds(base + std::to_string(t));
                    if (tt < 0) {
                        std::printf("   %d thr      -        |", t);
                        continue;
                    }
                    const Figures& fig = figures()[base + std::to_string(t)];  // memory
                    std::printf(" %d thr %8.1f ms %5.2f x%s", t, tt * 1e3, ref > 0 ? tt / ref : 0.0,
                                t > 1 && t1 > 0 ? "" : "      ");
                    if (t > 1 && t1 > 0)
                        std::printf(" (%4.2fx)", t1 / tt);
                    std::printf(" mem %4.2f |", fig.peak_bytes / fig.method_bytes);
                }
                std::printf("\n");
            }
        }

    const char* save = std::getenv("TOLMERA_BENCH_SAVE");
    const char* compare = std::getenv("TOLMERA_BENCH_COMPARE");
    std::printf("\nLargest difference, relative to the largest value of the field:\n");
    for (const auto& kv : results()) {
        if (kv.first.rfind("program/", 0) != 0)
            continue;
        const std::string rest = kv.first.substr(8);
        const std::string key = rest.substr(rest.find('/') + 1);
        auto ref = results().find("fftw/build/" + key);
        if (ref == results().end())
            ref = results().find("fftw/storage_off/" + key);
        std::printf(" %-28s", kv.first.c_str());
        if (ref != results().end())
            std::printf(" against FFTW %.3g", largest_difference(kv.second, ref->second));
        if (save)
            save_field(std::string(save) + "/" + file_name(kv.first), kv.second);
        field2D old;
        if (compare && load_field(std::string(compare) + "/" + file_name(kv.first), old))
            std::printf(", against the saved field %.3g", largest_difference(kv.second, old));
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
