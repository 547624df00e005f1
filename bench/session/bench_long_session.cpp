// A long session in one process: the same cycle of work (a forward
// calculation with the stored operator, a layered inversion, a project save
// with its sidecars) repeated 100 times on a 200 x 200 x 50 model with three
// layers, expansion factor 0, two threads. Every cycle does the same work,
// so a process that has worked for a while should run it as fast as it did
// at first: reported are the median times of the first cycles (after the
// first, which builds the operators) and of the last ones, their ratio (goal
// at most 1.1), and the kernel time of both.
//
// TOLMERA_SESSION_CYCLES and TOLMERA_SESSION_N change the cycle count and
// the model's side. Runs the main window of the program's application
// object on the offscreen platform.
#include "../bench_support.h"
#include "../scripted_interaction.h"
#include "app/application.h"
#include "app/mainwindow.h"
#include "engine/inversion.h"
#include "inversion_records.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int LEVELS = 50;
constexpr int THREADS = 2;
constexpr int COMPARED = 10;  // cycles averaged at each end

int env_int(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// Three layers between undulating horizons over a seeded density grid; the
// observed field is the model's own field, shifted and tilted.
void give_model(MainWindow& w, int n)
{
    const benchsupport::Nodes nodes = benchsupport::model_nodes(n, LEVELS);
    w.language = 1;
    w.x_calc = w.x_norm = nodes.x;
    w.y_calc = w.y_norm = nodes.y;
    w.z_calc = w.z_norm = nodes.z;
    w.minZ = nodes.z.front();
    w.maxZ = nodes.z.back();
    w.dz = nodes.z[1] - nodes.z[0];
    w.calc_height = -10;
    w.expansion_factor = 0;
    w.store_eff = true;
    w.save_log = false;
    w.thread_count = THREADS;
    w.den_grid = benchsupport::seeded_density(n, LEVELS, 7, 2.0f, 2.6f);
    field2D h0(std::size_t(n), std::vector<double>(std::size_t(n), 0.0)), h1 = h0, h2 = h0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            h1[j][i] = 700 + 200 * std::sin(0.05 * i) * std::cos(0.04 * j);
            h2[j][i] = 1600 + 150 * std::sin(0.03 * j);
        }
    w.horizons = {h0, h1, h2};
    const std::vector<double> geometry = {double(n), double(n), nodes.x.front(), nodes.x.back(), nodes.y.front(),
                                          nodes.y.back()};
    w.horizons_params = geometry;
    w.densities = {2.0, 2.3, 2.5};
    w.fixed.assign(3, false);
    w.layers_names.assign(3, QString());
    w.on_forward_grid_triggered();
    w.Vz_observed = w.Vz_calculated;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            w.Vz_observed[std::size_t(j)][std::size_t(i)] += 0.5 + 0.002 * i;
    w.observed_params = geometry;
}

std::vector<double> layered_record()
{
    return plain_inversion_record(inversion_record::kind_layered, 2);
}

double kernel_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_stime.tv_sec) + 1e-6 * double(u.ru_stime.tv_usec);
}

void BM_long_session(benchmark::State& state)
{
    const int cycles = std::max(env_int("TOLMERA_SESSION_CYCLES", 100), 2 * COMPARED + 1);
    const int n = env_int("TOLMERA_SESSION_N", 200);
    QTemporaryDir dir((QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath()) +
                      "/tolmera_session_XXXXXX");
    ScriptedOpen scripted;
    Interaction* previous = setInteraction(&scripted);
    std::vector<double> wall(static_cast<std::size_t>(cycles), 0.0), kernel = wall;
    for (auto _ : state) {
        MainWindow w;
        give_model(w, n);
        QString path = dir.path() + "/session.3Dproj";
        for (int c = 0; c < cycles; ++c) {
            QElapsedTimer t;
            t.start();
            const double k0 = kernel_seconds();
            w.on_forward_grid_triggered();
            w.start_polygonal_inversion(layered_record());
            if (w.save_project(path) != 1)
                scripted.notes++;
            wall[std::size_t(c)] = double(t.nsecsElapsed()) * 1e-9;
            kernel[std::size_t(c)] = kernel_seconds() - k0;
        }
    }
    setInteraction(previous);
    std::fprintf(stderr, "cycle seconds (wall/kernel):");
    for (int c = 0; c < cycles; ++c)
        std::fprintf(stderr, " %.2f/%.2f", wall[std::size_t(c)], kernel[std::size_t(c)]);
    std::fprintf(stderr, "\n");
    // The first cycle builds the operators: the first compared are the next.
    // Medians, which a passing load on a shared machine moves less.
    auto median = [&](const std::vector<double>& v, int from) {
        std::vector<double> part(v.begin() + from, v.begin() + from + COMPARED);
        std::nth_element(part.begin(), part.begin() + COMPARED / 2, part.end());
        return part[COMPARED / 2];
    };
    const double first = median(wall, 1), last = median(wall, cycles - COMPARED);
    state.counters["first_s"] = first;
    state.counters["last_s"] = last;
    state.counters["last_per_first"] = last / first;
    state.counters["first_kernel_s"] = median(kernel, 1);
    state.counters["last_kernel_s"] = median(kernel, cycles - COMPARED);
    if (scripted.notes != 0)
        state.SkipWithError("a message or a failed save");
}

}  // namespace

BENCHMARK(BM_long_session)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
