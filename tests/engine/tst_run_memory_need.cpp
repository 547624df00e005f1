// The memory need of the runs of the main window (the 3D inversion with
// its options, the layered inversion, horizon fitting) against what the run
// really takes, in a child process per case (see allocation_meter.h): the
// resident peak above the resident memory when the run started, as the
// kernel counts it, must not exceed the need, nor lie below need / 1.3
// where the need is large; the heap peak must not exceed the need either.
#include "allocation_meter.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "common/grid_geometry.h"
#include "editing/smoothing.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/memory.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "test_nodes.h"
#include "layered_window_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QtDataVisualization/Q3DSurface>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace inversion_record;

namespace {

enum Option { Plain = 0, InitialModel = 1, Uploaded = 2, SignMask = 4, OperatorServes = 8, Limits = 16, Lateral = 32 };

// The thread count of most rows; each run kind also has rows at 1, 4 and 8
// threads on the first two shapes, where the per-worker scratch is the
// largest part of the run (few levels) and the smallest (many levels).
const int threads = 2;
const int thread_counts[] = {1, 4, 8};

vector3D model(int nz, int ny, int nx, float scale)
{
    vector3D c(nz, vector2D(ny, std::vector<float>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                c[k][j][i] = scale * float((i * 7 + j * 3 + k) % 11) - 0.05f;
    return c;
}

// The grid sizes of every table: few levels with a large pad (512 x 512),
// many levels without one, a lopsided padded grid (1024 x 128), a small
// lopsided one (2048 x 64 on 20 levels) and a tiny one, whose need is
// mostly the allowance every run makes besides its arrays. The
// inversion takes fewer levels than the layered runs, whose horizons need
// some levels between them.
struct Shape {
    const char* name;
    int nx, ny, nz, inversion_nz;
    double p;
};
const Shape shapes[] = {{"few levels, large pad", 90, 100, 6, 2, 2.0},
                        {"many levels, no pad", 192, 160, 24, 24, 0.0},
                        {"lopsided", 300, 24, 8, 6, 1.0},
                        {"small lopsided", 2000, 64, 20, 20, 0.0},
                        {"tiny", 16, 12, 6, 2, 0.0}};

void shape_columns()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("thread_count");
}

// The shapes of the rows at other thread counts; on the tiny grid the
// allowance per further worker shows. (Not a grid of a few rows on a wide
// pad: there the workers' transform scratch is most of the need,
// and how many workers take the few ranges of a split depends on the
// machine's load, so the peak does too.)
const Shape* const threaded_shapes[] = {&shapes[0], &shapes[1], &shapes[4]};

QString threads_name(int t)
{
    return QString("%1 thread%2").arg(t).arg(t == 1 ? "" : "s");
}

layeredtest::Model layered_model(int layers, int nx, int ny, int nz, double p, double lower = 0)
{
    layeredtest::Model m = layeredtest::make_model(layers, nx, ny, nz, 600.0 / nz);
    m.expansion = p;
    for (auto& row : m.horizons[1])
        for (double& d : row)
            d += lower;
    return m;
}

// The window with a layered model of `layers` layers and the field of
// `truth` densities; the grid holds `start` densities. `lower` moves
// horizon 1 down.
void give_layered(MainWindow& w, int layers, int nx, int ny, int nz, double p, int thread_count,
                  const std::vector<double>& start, const std::vector<double>& truth, double lower = 0)
{
    const layeredtest::Model m = layered_model(layers, nx, ny, nz, p, lower);
    layeredtest::give_layered_model(w, m, m.horizons, start, truth);
    w.language = 1;
    w.thread_count = thread_count;
    w.Vz_calculated.assign(ny, std::vector<double>(nx, 0.0));
}

// The operator of geometry g when `wanted` (else none), built on the
// calling thread alone: the worker threads of a run that reuses it start
// afresh in the child, as after opening a project with its operator.
EffectsOperator operator_of(const ForwardGeometry& g, bool wanted)
{
    EffectsOperator effects;
    if (wanted && build_effects(g, effects, 1) != ForwardStatus::Completed)
        effects.clear();
    forward_release_work();
    return effects;
}

// The model horizon fitting starts from: two layers, the grid's horizon
// 40 m below the one of the observed field, the operator stored.
void give_fit_model(MainWindow& w, int nx, int ny, int nz, double p, int thread_count)
{
    give_layered(w, 2, nx, ny, nz, p, thread_count, {2.0, 2.4}, {2.0, 2.4});
    const field2D observed = w.Vz_observed;
    give_layered(w, 2, nx, ny, nz, p, thread_count, {2.0, 2.4}, {2.0, 2.4}, 40);
    w.Vz_observed = observed;
    w.store_eff = true;
}

// The ratio of a large need to the resident peak allowed at most.
const double resident_slack = 1.3;

void report(const ForwardGeometry& g, int thread_count, double need, const allocation_meter::Usage& measured,
            double slack = resident_slack)
{
    qInfo("Mx %d My %d nz %d, %d threads: need %.0f, heap peak %.0f (%.3f), resident peak %.0f (%.3f)", g.Mx,
          g.My, g.nz, thread_count, need, measured.heap, need / measured.heap, measured.resident,
          need / measured.resident);
    QVERIFY2(measured.heap > 0, "the run failed");
    QVERIFY2(need >= measured.heap, "need below the heap peak");
    const std::string fault = allocation_meter::resident_fault(need, measured.resident, slack);
    QVERIFY2(fault.empty(), fault.c_str());
}

} // namespace

class TestRunMemoryNeed : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!allocation_meter::counting())
            QSKIP("the sanitizer's runtime owns the allocator");
    }
    void forward_data() { forward_rows(false); }
    void forward();
    // The rows at other thread counts (a test of their own, so that each runs briefly).
    void forward_threads_data() { forward_rows(true); }
    void forward_threads() { forward(); }
    void inversion_data() { inversion_rows(false); }
    void inversion();
    void inversion_threads_data() { inversion_rows(true); }
    void inversion_threads() { inversion(); }
    void layered_data() { layered_rows(false); }
    void layered();
    void layered_threads_data() { layered_rows(true); }
    void layered_threads() { layered(); }
    void horizon_fit_data() { horizon_fit_rows(false); }
    void horizon_fit();
    void horizon_fit_threads_data() { horizon_fit_rows(true); }
    void horizon_fit_threads() { horizon_fit(); }
    void horizon_fit_cube_shown_data();
    void horizon_fit_cube_shown() { horizon_fit_shown(); }
    void horizon_fit_horizons_shown_data();
    void horizon_fit_horizons_shown() { horizon_fit_shown(); }
    void horizon_fit_lopsided_shown_data();
    void horizon_fit_lopsided_shown() { horizon_fit_shown(); }
    void smoothing_data();
    void smoothing();

private:
    void horizon_fit_shown();
    void horizon_fit_rows(bool threaded);
    void layered_rows(bool threaded);
    void inversion_rows(bool threaded);
    void forward_rows(bool threaded);
};

enum class ForwardKind { WithoutStore, StoredBuilding, StoredReusing };

void TestRunMemoryNeed::forward_rows(bool threaded)
{
    shape_columns();
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("calculated");
    const struct {
        const char* name;
        ForwardKind kind;
    } kinds[] = {{"storage off", ForwardKind::WithoutStore},
                 {"stored, building", ForwardKind::StoredBuilding},
                 {"stored, reusing", ForwardKind::StoredReusing}};
    if (!threaded) {
        for (const Shape& s : shapes)
            for (const auto& k : kinds)
                for (bool calculated : {true, false})
                    QTest::newRow(qPrintable(QString("%1, %2, %3")
                                                 .arg(s.name, k.name,
                                                      calculated ? "calculated field held" : "first run")))
                        << s.nx << s.ny << s.nz << s.p << threads << int(k.kind) << calculated;
        return;
    }
    for (const Shape* s : threaded_shapes)
        for (const auto& k : kinds)
            for (int t : thread_counts)
                QTest::newRow(qPrintable(QString("%1, %2, first run, %3").arg(s->name, k.name, threads_name(t))))
                    << s->nx << s->ny << s->nz << s->p << t << int(k.kind) << false;
}

// The forward command of the window, with and without a calculated field
// of the model's size from an earlier run.
void TestRunMemoryNeed::forward()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, thread_count);
    QFETCH(int, kind);
    QFETCH(bool, calculated);
    const std::vector<double> x = nodes(nx, 10000, 100), y = nodes(ny, 20000, 100), z = nodes(nz, 0, 50);
    ForwardGeometry g;
    QCOMPARE(forward_geometry(nx, ny, nz, x, y, z, -20, p, g), ForwardStatus::Completed);
    const auto setup = [&](MainWindow& w) {
        w.language = 1;
        w.x_calc = x;
        w.y_calc = y;
        w.z_calc = z;
        w.calc_height = -20;
        w.expansion_factor = p;
        w.store_eff = ForwardKind(kind) != ForwardKind::WithoutStore;
        w.thread_count = thread_count;
        w.den_grid = model(nz, ny, nx, 0.02f);
        if (calculated)
            w.Vz_calculated.assign(ny, std::vector<double>(nx, 0.0));
    };
    const EffectsOperator served = operator_of(g, ForwardKind(kind) == ForwardKind::StoredReusing);
    double need = 0;
    const allocation_meter::Usage measured = allocation_meter::child_usage([&](const std::function<void()>& start) {
        FakeInteraction fake;
        fake.answers << QMessageBox::Yes;
        MainWindow w;
        setup(w);
        if (ForwardKind(kind) == ForwardKind::StoredReusing)
            w.effects = served;
        forward_release_work();
        start();
        w.on_forward_grid_triggered();
        return fake.errors().isEmpty() && grid_has_shape(w.Vz_calculated, ny, nx);
    });
    {
        MainWindow w;
        setup(w);
        if (ForwardKind(kind) == ForwardKind::StoredReusing)
            w.effects = served;
        need = w.forwardNeedBytes(g);
    }
    report(g, thread_count, need, measured);
}

void TestRunMemoryNeed::inversion_rows(bool threaded)
{
    shape_columns();
    QTest::addColumn<int>("options");
    const struct {
        const char* name;
        int options;
    } sets[] = {{"plain", Plain},
                {"initial model", InitialModel},
                {"uploaded regularizer, sign mask", Uploaded | SignMask},
                {"operator serves, limits", OperatorServes | Limits},
                {"lateral", Lateral}};
    if (!threaded) {
        for (const Shape& s : shapes)
            for (const auto& o : sets)
                QTest::newRow(qPrintable(QString("%1, %2").arg(s.name, o.name)))
                    << s.nx << s.ny << s.inversion_nz << s.p << threads << o.options;
        return;
    }
    // On two levels 4 and 8 threads are more threads than levels: the
    // levels are converted by as many workers as there are levels.
    for (const Shape* s : threaded_shapes)
        for (int t : thread_counts)
            for (const auto& o : {sets[0], sets[3], sets[4]})
                QTest::newRow(qPrintable(QString("%1, %2, %3").arg(s->name, o.name, threads_name(t))))
                    << s->nx << s->ny << s->inversion_nz << s->p << t << o.options;
}

void TestRunMemoryNeed::inversion()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, thread_count);
    QFETCH(int, options);
    const std::vector<double> x = nodes(nx, 10000, 100), y = nodes(ny, 20000, 100), z = nodes(nz, 0, 50);
    ForwardGeometry g;
    QCOMPARE(forward_geometry(nx, ny, nz, x, y, z, -20, p, g), ForwardStatus::Completed);
    const EffectsOperator served = operator_of(g, options & OperatorServes);
    const allocation_meter::Usage measured = allocation_meter::child_usage([&](const std::function<void()>& start) {
        FakeInteraction fake;
        fake.answers << QMessageBox::Yes;
        MainWindow w;
        w.language = 1;
        w.x_calc = x;
        w.y_calc = y;
        w.z_calc = z;
        w.calc_height = -20;
        w.expansion_factor = p;
        w.store_eff = true;
        w.save_log = false;
        w.thread_count = thread_count;
        w.den_grid = model(nz, ny, nx, 0.02f);
        forward_without_store(w.den_grid, g, w.Vz_observed, thread_count);
        w.den_grid = model(nz, ny, nx, 0.01f);
        if (options & Uploaded)
            w.regularizer = model(nz, ny, nx, 0.015f);
        if (options & OperatorServes)
            w.effects = served;
        if (options & Lateral) {
            // Two horizons: the top, and one between the levels.
            w.horizons.assign(2, field2D(ny, std::vector<double>(nx, z.front())));
            for (int j = 0; j < ny; ++j)
                for (int i = 0; i < nx; ++i)
                    w.horizons[1][j][i] = z.front() + (z.back() - z.front()) * (0.3 + 0.4 * ((i + j) % 3) / 2.0);
            w.fixed.assign(2, false);
        }
        forward_release_work();
        std::vector<double> params = grid_inversion_record(1);
        params[use_initial_model] = (options & InitialModel) ? 1 : 0;
        params[use_uploaded_regularizer] = (options & Uploaded) ? 1 : 0;
        params[sign_constraint_on] = (options & SignMask) ? 1 : 0;
        params[density_limits_on] = (options & Limits) ? 1 : 0;
        if (options & Lateral)
            params[kind] = kind_lateral;
        w.inversion_running = true;
        start();
        w.inversion(w.x_calc, w.y_calc, w.z_calc, w.Vz_observed, w.den_grid, params, w.progress_bar,
                    w.progress_label);
        return fake.errors().isEmpty();
    });
    InversionMemoryOptions o;
    o.operator_serves = options & OperatorServes;
    o.reference = options & (InitialModel | Uploaded);
    o.sign_mask = options & SignMask;
    o.fill_stage = options & (InitialModel | Uploaded | SignMask | Limits | Lateral);
    o.lateral_layers = (options & Lateral) ? 2 : 0;
    report(g, thread_count, inversion_need_bytes(run_size(g, thread_count), o), measured);
}

void TestRunMemoryNeed::layered_rows(bool threaded)
{
    shape_columns();
    QTest::addColumn<bool>("store");
    if (!threaded) {
        for (const Shape& s : shapes)
            for (bool store : {true, false})
                QTest::newRow(qPrintable(QString("%1, storage %2").arg(s.name, store ? "on" : "off")))
                    << s.nx << s.ny << s.nz << s.p << threads << store;
        return;
    }
    for (const Shape* s : threaded_shapes)
        for (bool store : {true, false})
            for (int t : thread_counts)
                QTest::newRow(
                    qPrintable(QString("%1, storage %2, %3").arg(s->name, store ? "on" : "off", threads_name(t))))
                    << s->nx << s->ny << s->nz << s->p << t << store;
}

void TestRunMemoryNeed::layered()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, thread_count);
    QFETCH(bool, store);
    const allocation_meter::Usage measured = allocation_meter::child_usage([&](const std::function<void()>& start) {
        FakeInteraction fake;
        MainWindow w;
        give_layered(w, 3, nx, ny, nz, p, thread_count, {2.0, 2.2, 2.5}, {2.0, 2.3, 2.4});
        w.store_eff = store;
        forward_release_work();
        std::vector<double> params(record_size, 0.0);
        params[iterations] = 2;
        params[step_scale] = 1;
        params[kind] = kind_layered;
        w.inversion_running = true;
        start();
        w.layered_inversion(w.x_calc, w.y_calc, w.z_calc, w.Vz_observed, w.horizons, w.densities, params);
        return fake.errors().isEmpty();
    });
    const ForwardGeometry g = layeredtest::geometry(layered_model(3, nx, ny, nz, p));
    report(g, thread_count, layered_inversion_need_bytes(run_size(g, thread_count), 3, store, false, false),
           measured);
}

void TestRunMemoryNeed::horizon_fit_rows(bool threaded)
{
    shape_columns();
    if (!threaded) {
        for (const Shape& s : shapes)
            QTest::newRow(s.name) << s.nx << s.ny << s.nz << s.p << threads;
        return;
    }
    for (const Shape* s : threaded_shapes)
        for (int t : thread_counts)
            QTest::newRow(qPrintable(QString("%1, %2").arg(s->name, threads_name(t))))
                << s->nx << s->ny << s->nz << s->p << t;
}

void TestRunMemoryNeed::horizon_fit()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, thread_count);
    const allocation_meter::Usage measured = allocation_meter::child_usage([&](const std::function<void()>& start) {
        FakeInteraction fake;
        MainWindow w;
        give_fit_model(w, nx, ny, nz, p, thread_count);
        forward_release_work();
        QMap<QString, double> params;
        params.insert("Niter", 2);
        params.insert("layer", 1);
        params.insert("stepScale", 1);
        start();
        w.fitHorizon(params);
        if (!fake.errors().isEmpty())
            qWarning("%s", qPrintable(fake.errors().join("; ")));
        return fake.errors().isEmpty();
    });
    const ForwardGeometry g = layeredtest::geometry(layered_model(2, nx, ny, nz, p));
    report(g, thread_count, horizon_fit_need_bytes(run_size(g, thread_count), 2), measured);
}

namespace {

// Horizon fitting on a window that the display shows, each case in a
// process of its own: the test's own application runs without a display,
// and a forked child could not share its display connection. The process
// is this test executable started as
//   tst_run_memory_need --horizon-fit-window nx ny nz p view [threads]
// (view: 1 the density cube, 2 the horizons; 0 the window never shown;
// threads 2 when not given). Started by hand it measures larger grids
// once, e.g. 600 600 60 0 1 4 for the fit of a 600 x 600 x 60 cube on
// four threads. It shows the window with the model drawn, fits horizon 1
// in two passes, lets the window draw what the last pass left, and writes
// one line: the need the window counts before the run, the peak of the
// heap above what was held at the start, the resident peak above the
// resident memory at the start, the frames of the 3D view and the
// paintings of the calculated map during the run, the part of the need
// that the redraw takes, the memory available before the run (as the
// memory check reads it: under a control group's limit, what the limit
// leaves) and the memory questions the run asked (the fake answers No).
// Exit code 77: no 3D view on this display. With TOLMERA_FIT_LIMIT see
// limit_own_group.
const char fit_window_flag[] = "--horizon-fit-window";
const char fit_window_line[] = "horizon-fit-window:";
enum FitView { Hidden = 0, CubeView = 1, HorizonsView = 2 };

// Counts the events of one kind a widget or window receives.
class EventCount : public QObject
{
public:
    EventCount(QObject* watched, QEvent::Type type) : type(type) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == type)
            ++count;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

// Processes events until `count` reaches `target` (at most a few seconds),
// then a little longer, so that what the window posted is drawn.
void draw_until(const EventCount& c, int target)
{
    QElapsedTimer clock;
    clock.start();
    while (c.count < target && clock.elapsed() < 5000)
        QTest::qWait(20);
    QTest::qWait(100);
}

// The memory control group this process is in (its own, when started as
// below) gets the limit of what the group holds now plus `room` bytes.
// Control groups of version 1 (memory.limit_in_bytes) and 2 (memory.max).
bool limit_own_group(double room)
{
    QFile self("/proc/self/cgroup");
    if (!self.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : self.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3)
            continue;
        const QString path = QString::fromLocal8Bit(parts.mid(2).join(':'));
        QString dir, usage, limit;
        if (parts[1] == "memory") {
            dir = "/sys/fs/cgroup/memory" + path;
            usage = "memory.usage_in_bytes";
            limit = "memory.limit_in_bytes";
        } else if (parts[0] == "0" && parts[1].isEmpty() && QFile::exists("/sys/fs/cgroup" + path + "/memory.max")) {
            dir = "/sys/fs/cgroup" + path;
            usage = "memory.current";
            limit = "memory.max";
        } else {
            continue;
        }
        QFile current(dir + "/" + usage), max(dir + "/" + limit);
        if (!current.open(QIODevice::ReadOnly) || !max.open(QIODevice::WriteOnly))
            return false;
        const double held = current.readAll().trimmed().toDouble();
        const QByteArray bytes = QByteArray::number(qint64(held + room));
        std::fprintf(stderr, "limit of %s: %.1f MB held + %.1f MB\n", qPrintable(dir), held / 1048576, room / 1048576);
        return max.write(bytes) == bytes.size();
    }
    return false;
}

int fit_window_process(int argc, char** argv)
{
    if (argc < 7)
        return 2;
    const int nx = std::atoi(argv[2]), ny = std::atoi(argv[3]), nz = std::atoi(argv[4]);
    const double p = std::atof(argv[5]);
    const int view = std::atoi(argv[6]);
    const int thread_count = argc > 7 ? std::atoi(argv[7]) : threads;
    int app_argc = 1;
    QApplication app(app_argc, argv);
    FakeInteraction fake;
    MainWindow w;
    give_fit_model(w, nx, ny, nz, p, thread_count);
    std::unique_ptr<EventCount> frames, paintings;
    if (view != Hidden) {
        w.resize(1000, 700);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w) || !w.graph)
            return 77;
        frames.reset(new EventCount(w.graph, QEvent::UpdateRequest));
        paintings.reset(new EventCount(w.ui->calculated_axes, QEvent::Paint));
        // The model as the window shows it before the run.
        if (view == HorizonsView)
            w.on_view_horizons_triggered();
        else
            w.on_view_dens_triggered();
        w.plotObserved();
        w.plotCalculated();
        draw_until(*frames, 1);
        if (frames->count == 0)
            return 77;
    }
    // Each pass takes longer than a frame in real runs: the frame the last
    // pass asked for is drawn while the next one starts.
    QObject::connect(&w.progress_bar, &QProgressBar::valueChanged, [] { QTest::qWait(60); });
    QMap<QString, double> params;
    params.insert("Niter", 2);
    params.insert("layer", 1);
    params.insert("stepScale", 1);
    ForwardGeometry g;
    if (!w.modelGeometry(g))
        return 2;
    const double need = w.horizonFitNeedBytes(g);
    const double redraw = run_redraw_bytes(run_size(g, thread_count), w.horizonFitRedraw());
    forward_release_work();
    // Started by hand with TOLMERA_FIT_LIMIT=f in a memory control group of
    // its own, the run finds f times its need available, whatever the start
    // took: the group's limit is set here, not before the process starts.
    if (const double f = qEnvironmentVariable("TOLMERA_FIT_LIMIT").toDouble(); f > 0 && !limit_own_group(f * need))
        return 4;
    const int64_t base = allocation_meter::held();
    allocation_meter::reset_peak();
    const int64_t resident_base = allocation_meter::resident_start();
    const double available = double(memory_figures().available_bytes);
    const int frames_before = frames ? frames->count : 0, paintings_before = paintings ? paintings->count : 0;
    w.fitHorizon(params);
    const int frames_run = frames ? frames->count - frames_before : 0;
    const int paintings_run = paintings ? paintings->count - paintings_before : 0;
    // What the last pass left is drawn after the run, with the operator
    // still held.
    if (view != Hidden)
        QTest::qWait(300);
    const double measured = double(allocation_meter::peak() - base);
    const double resident = resident_base >= 0 ? double(allocation_meter::resident_peak() - resident_base) : -1.0;
    if (!fake.errors().isEmpty())
        return 3;
    std::printf("\n%s %.0f %.0f %.0f %d %d %.0f %.0f %d\n", fit_window_line, need, measured, resident, frames_run,
                paintings_run, redraw, available, int(fake.questions.size()));
    std::fflush(stdout);
    return 0;
}

} // namespace

namespace {

// The shown rows (not on the tiny grid, where the window's own drawing
// would be all of it).
void shown_columns()
{
    shape_columns();
    QTest::addColumn<int>("view");
}

void shown_row(const Shape& s, FitView view)
{
    QTest::newRow(qPrintable(QString("%1, %2 shown").arg(s.name, view == CubeView ? "cube" : "horizons")))
        << s.nx << s.ny << s.nz << s.p << threads << int(view);
}

} // namespace

void TestRunMemoryNeed::horizon_fit_cube_shown_data()
{
    shown_columns();
    for (int i = 0; i < 3; ++i)
        shown_row(shapes[i], CubeView);
    // Cubes whose redraw outweighs the run's arrays: many levels, no pad.
    // The larger takes about 12 s here (the frames drawn on one thread);
    // other thread counts and memory limits are measured by hand with the
    // process this test starts (see fit_window_process).
    QTest::newRow("cube redraw over the pad, cube shown") << 150 << 150 << 60 << 0.0 << threads << int(CubeView);
    QTest::newRow("600 x 600 x 60, cube shown") << 600 << 600 << 60 << 0.0 << threads << int(CubeView);
}

void TestRunMemoryNeed::horizon_fit_horizons_shown_data()
{
    shown_columns();
    for (int i = 0; i < 3; ++i)
        shown_row(shapes[i], HorizonsView);
}

// The small lopsided grid, whose long faces take the rasteriser longest.
void TestRunMemoryNeed::horizon_fit_lopsided_shown_data()
{
    shown_columns();
    shown_row(shapes[3], CubeView);
    shown_row(shapes[3], HorizonsView);
}

// Horizon fitting with the window shown: each pass redraws the 3D view and
// the calculated map while the operator and the fit's grids are held.
void TestRunMemoryNeed::horizon_fit_shown()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, thread_count);
    QFETCH(int, view);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value("DISPLAY").isEmpty())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
    env.remove("QT_QPA_PLATFORM");
    // Mesa's software rasteriser bins the triangles of a frame on its own
    // thread while the drawing threads still hold the frames before: how
    // many are in flight at once depends on the machine's load. Drawing on
    // the calling thread alone, the frames take what one frame takes, and
    // the peak is the same from run to run. The need counts the records
    // that the rasteriser's threads keep in flight as well (two: the
    // resident peak of a shown fit of a 600 x 600 x 60 cube spread from 183
    // to 283 MB), and those are most of it on these grids: here it may lie
    // up to three times above the peak.
    env.insert("LP_NUM_THREADS", "0");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {fit_window_flag, QString::number(nx), QString::number(ny), QString::number(nz),
                 QString::number(p), QString::number(view), QString::number(thread_count)});
    QVERIFY(child.waitForFinished(300000));
    if (child.exitCode() == 77)
        QSKIP("no 3D view on this display");
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n');
    QStringList figures;
    for (const QString& line : lines)
        if (line.startsWith(fit_window_line))
            figures = line.split(' ', Qt::SkipEmptyParts);
    QCOMPARE(figures.size(), 9);
    // The run really drew: frames of the 3D view and the map painted again.
    QVERIFY2(figures[4].toInt() > 0, "no frame of the 3D view during the run");
    QVERIFY2(figures[5].toInt() > 0, "the calculated map was not painted during the run");
    const ForwardGeometry g = layeredtest::geometry(layered_model(2, nx, ny, nz, p));
    allocation_meter::Usage measured;
    measured.heap = figures[2].toDouble();
    measured.resident = figures[3].toDouble();
    QCOMPARE(figures[8].toInt(), 0); // no memory question
    report(g, thread_count, figures[1].toDouble(), measured, 3.0);
}

void TestRunMemoryNeed::smoothing_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("hxy");
    QTest::newRow("narrow box") << 2 << 3;
    QTest::newRow("hz = nz / 2") << 10 << 3;
    QTest::newRow("hz = nz / 2 + 1") << 11 << 3;
    QTest::newRow("hz = nz - 1") << 19 << 5;
    QTest::newRow("hz beyond the grid") << 60 << 100;
    QTest::newRow("hz = nz / 3, the most planes kept") << 7 << 3;
    QTest::newRow("hy = ny / 3, the most rows kept") << 2 << 30;
}

// Smoothing takes at most one grid of doubles and a few planes, whatever
// the box.
void TestRunMemoryNeed::smoothing()
{
    QFETCH(int, hz);
    QFETCH(int, hxy);
    const int nx = 120, ny = 90, nz = 20;
    const double measured = allocation_meter::child_peak([&](const std::function<void()>& start) {
        vector3D grid = model(nz, ny, nx, 0.01f);
        start();
        gridops::SmoothHalfWidths h;
        h.hx = h.hy = hxy;
        h.hz = hz;
        return gridops::smooth_whole(grid, h) == gridops::SmoothStatus::Ok;
    });
    const double plane = double(nx) * ny * 8;
    const double bound = (nz + 4) * plane + 64 * 1024;
    qInfo("peak %.0f, one grid of doubles %.0f", measured, nz * plane);
    QVERIFY(measured > 0);
    QVERIFY2(measured <= bound, qPrintable(QString("peak %1 above %2").arg(measured).arg(bound)));
    // Within that, the level planes the header counts, the running sum
    // across the levels and at most one more plane of rows.
    const double counted = (gridops::smoothing_store_planes(nz, std::min(hz, nz - 1)) + 2) * plane + 64 * 1024;
    QVERIFY2(measured <= counted, qPrintable(QString("peak %1 above %2").arg(measured).arg(counted)));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], fit_window_flag) == 0)
        return fit_window_process(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestRunMemoryNeed test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_run_memory_need.moc"
