// Memory and responsiveness of the commands that make a grid of a size the
// user types, and of the cube reader:
//  - regrid_<n>x<n>x<nz>: resampling a cube to half its horizontal step,
//    with the time until the first progress call (the window repaints there)
//    and the peak resident memory above the start;
//  - cube_read_<n>x<n>x<nz>: the same two figures for reading an own cube file;
//  - view_<nx>x<ny>x<nz>: what the 3D view's first frame of a cube adds to
//    the resident memory, per face node (the figure the memory question of
//    those commands counts). Needs an OpenGL display (run under xvfb-run).
#include "../bench_support.h"

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "editing/grid_memory.h"
#include "editing/regrid3d.h"
#include "formats/cube_file.h"
#include "views/surf.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtDataVisualization/Q3DSurface>

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <memory>

namespace {

std::vector<double> steps(int n, double first, double step)
{
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = first + i * step;
    return v;
}

double gb(long long kb)
{
    return double(kb) / (1024.0 * 1024.0);
}

void BM_regrid(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int nz = int(state.range(1));
    vector3D cube = benchsupport::seeded_density(n, nz, 7, 2.0f, 3.0f);
    const std::vector<double> x = steps(n, 0, 100), y = steps(n, 0, 100), z = steps(nz, 0, 50);
    // Half the horizontal step: four times the cells.
    const std::vector<double> params{0, 100.0 * (n - 1), 50, 0, 100.0 * (n - 1), 50, 0, 50.0 * (nz - 1), 50};
    double first_s = 0, peak_gb = 0;
    for (auto _ : state) {
        const long long start = benchsupport::reset_peak();
        QElapsedTimer clock;
        clock.start();
        qint64 first_ns = -1;
        regrid::RegriddedCube out;
        regrid::resample_cube(cube, x, y, z, params, out, [&](int) {
            if (first_ns < 0)
                first_ns = clock.nsecsElapsed();
        });
        first_s = double(first_ns) / 1e9;
        peak_gb = gb(benchsupport::status_kb("VmHWM") - start);
        benchmark::DoNotOptimize(out.cells.data());
    }
    state.counters["first_progress_s"] = first_s;
    state.counters["peak_GB"] = peak_gb;
    state.counters["new_cube_GB"] = double(n) * 2 * n * 2 * nz * 4 / (1 << 30);
}

void BM_cube_read(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int nz = int(state.range(1));
    QTemporaryDir dir(QDir("/dev/shm").exists() ? "/dev/shm/tolmera_bench_XXXXXX" : QString());
    const QString path = dir.path() + "/cube.3Dgrd";
    {
        const vector3D cube = benchsupport::seeded_density(n, nz, 7, 2.0f, 3.0f);
        write_cube_file(path, cube, steps(n, 0, 100), steps(n, 0, 100), steps(nz, 0, 50));
    }
    double first_s = 0, peak_gb = 0;
    for (auto _ : state) {
        vector3D cube;
        std::vector<double> x, y, z;
        const long long start = benchsupport::reset_peak();
        QElapsedTimer clock;
        clock.start();
        qint64 first_ns = -1;
        read_cube_file(path, cube, x, y, z, nullptr, [&](int) {
            if (first_ns < 0)
                first_ns = clock.nsecsElapsed();
            return true;
        });
        first_s = double(first_ns) / 1e9;
        peak_gb = gb(benchsupport::status_kb("VmHWM") - start);
    }
    state.counters["first_progress_s"] = first_s;
    state.counters["peak_GB"] = peak_gb;
}

MainWindow* window = nullptr;

void BM_view_first_frame(benchmark::State& state)
{
    const int nx = int(state.range(0)), ny = int(state.range(1)), nz = int(state.range(2));
    if (!window || !window->graph) {
        state.SkipWithError("no OpenGL context: run under xvfb-run");
        return;
    }
    MainWindow& w = *window;
    double added_gb = 0, peak_gb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.den_grid.clear();
        w.surf->clearSurfaces();
        QCoreApplication::processEvents();
        w.den_grid.assign(std::size_t(nz), vector2D(std::size_t(ny), std::vector<data_type>(std::size_t(nx), 2.5f)));
        w.den_grid[0][0][0] = 2.0f;
        w.x_calc = w.x_norm = steps(nx, 0, 100);
        w.y_calc = w.y_norm = steps(ny, 0, 100);
        w.z_calc = w.z_norm = steps(nz, 0, 50);
        w.crop_borders = {{0, nx - 1, ny - 1, 0, 0, nz - 1}};
        const long long start = benchsupport::reset_peak();
        state.ResumeTiming();
        w.ui->view_dens->setChecked(true);
        w.ui->view_cube->setChecked(true);
        w.show3Dgrid();
        // The window's first frames upload the meshes and textures.
        QElapsedTimer frames;
        frames.start();
        while (frames.elapsed() < 1500) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        added_gb = gb(benchsupport::status_kb("VmRSS") - start);
        peak_gb = gb(benchsupport::status_kb("VmHWM") - start);
    }
    const double nodes = grid_memory::face_nodes(nx, ny, nz);
    state.counters["face_nodes"] = nodes;
    state.counters["added_GB"] = added_gb;
    state.counters["peak_GB"] = peak_gb;
    state.counters["peak_bytes_per_face_node"] = peak_gb * (1 << 30) / nodes;
    state.counters["counted_GB"] = grid_memory::view_bytes(nx, ny, nz) / (1 << 30);
}

// Records when a widget is first shown.
class ShowWatch : public QObject
{
public:
    QElapsedTimer clock;
    qint64 shown_ns = -1;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show && shown_ns < 0)
            shown_ns = clock.nsecsElapsed();
        return false;
    }
};

// The whole command: the density grid shown in the 3D view, regridded to
// half its horizontal step and drawn again; the peak above the start against
// the need the command's memory question counts, and the time until the
// progress bar shows.
void BM_regrid_command(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int nz = int(state.range(1));
    if (!window || !window->graph) {
        state.SkipWithError("no OpenGL context: run under xvfb-run");
        return;
    }
    MainWindow& w = *window;
    double first_s = 0, peak_gb = 0, need_gb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.den_grid = benchsupport::seeded_density(n, nz, 7, 2.0f, 3.0f);
        w.x_calc = w.x_norm = steps(n, 0, 100);
        w.y_calc = w.y_norm = steps(n, 0, 100);
        w.z_calc = w.z_norm = steps(nz, 0, 50);
        w.crop_borders = {{0, n - 1, n - 1, 0, 0, nz - 1}};
        w.ui->view_dens->setChecked(true);
        w.ui->view_cube->setChecked(true);
        w.show3Dgrid();
        QElapsedTimer frames;
        frames.start();
        while (frames.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        grid_memory::NewGrids need;
        need.nx = need.ny = 2 * n - 1;
        need.nz = nz;
        need.cubes = 1;
        need.view = true;
        need_gb = grid_memory::need_bytes(need) / (1 << 30);
        ShowWatch watch;
        w.progress_bar.hide();
        w.progress_bar.installEventFilter(&watch);
        const long long start = benchsupport::reset_peak();
        state.ResumeTiming();
        watch.clock.start();
        w.regrid3Dgrid({0, 100.0 * (n - 1), 50, 0, 100.0 * (n - 1), 50, 0, 50.0 * (nz - 1), 50});
        frames.start();
        while (frames.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        peak_gb = gb(benchsupport::status_kb("VmHWM") - start);
        first_s = double(watch.shown_ns) / 1e9;
        w.progress_bar.removeEventFilter(&watch);
    }
    state.counters["bar_shown_s"] = first_s;
    state.counters["peak_GB"] = peak_gb;
    state.counters["need_GB"] = need_gb;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::unique_ptr<MainWindow> w;
    if (QGuiApplication::platformName() != "offscreen" && QGuiApplication::platformName() != "minimal") {
        w = std::make_unique<MainWindow>();
        w->resize(1280, 900);
        w->show();
        QCoreApplication::processEvents();
        window = w.get();
        // A first small cube, so that the figures leave out what the first
        // frame of all (shaders, the renderer's own set-up) takes once.
        w->den_grid.assign(2, vector2D(2, std::vector<data_type>(2, 2.5f)));
        w->x_calc = w->x_norm = steps(2, 0, 100);
        w->y_calc = w->y_norm = steps(2, 0, 100);
        w->z_calc = w->z_norm = steps(2, 0, 50);
        w->crop_borders = {{0, 1, 1, 0, 0, 1}};
        w->ui->view_dens->setChecked(true);
        w->ui->view_cube->setChecked(true);
        w->show3Dgrid();
        QElapsedTimer frames;
        frames.start();
        while (frames.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    benchmark::RegisterBenchmark("regrid", BM_regrid)->Args({250, 50})->Args({500, 100})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("cube_read", BM_cube_read)->Args({500, 100})->Args({1000, 100})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("view_first_frame", BM_view_first_frame)
        ->Args({500, 500, 100})->Args({1000, 1000, 100})->Args({1000, 1000, 10})->Args({2000, 2000, 50})->Args({200, 200, 1000})
        ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("regrid_command", BM_regrid_command)->Args({500, 100})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
