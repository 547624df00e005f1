// The memory need of the runs of the main window (the 3D inversion with
// its options, the layered inversion, horizon fitting) against what the run
// really allocates, counted on the heap of a child process per case (see
// allocation_meter.h): the peak above what was held when the run started
// must lie between the need and need / 1.3.
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
// many levels without one, and a lopsided padded grid (1024 x 128). The
// inversion takes fewer levels than the layered runs, whose horizons need
// some levels between them.
struct Shape {
    const char* name;
    int nx, ny, nz, inversion_nz;
    double p;
};
const Shape shapes[] = {{"few levels, large pad", 90, 100, 6, 2, 2.0},
                        {"many levels, no pad", 192, 160, 24, 24, 0.0},
                        {"lopsided", 300, 24, 8, 6, 1.0}};

void shape_columns()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("thread_count");
}

// The shapes of the rows at other thread counts. (Not a grid of a few rows
// on a wide pad: there the workers' transform scratch is most of the need,
// and how many workers take the few ranges of a split depends on the
// machine's load, so the peak does too.)
const Shape* const threaded_shapes[] = {&shapes[0], &shapes[1]};

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

void report(const ForwardGeometry& g, int thread_count, double need, double measured)
{
    qInfo("Mx %d My %d nz %d, %d threads: need %.0f, measured peak %.0f, ratio %.3f", g.Mx, g.My, g.nz,
          thread_count, need, measured, need / measured);
    const std::string fault = allocation_meter::need_fault(need, measured);
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
    void forward_data();
    void forward();
    void inversion_data();
    void inversion();
    void layered_data();
    void layered();
    void horizon_fit_data();
    void horizon_fit();
    void horizon_fit_shown_data();
    void horizon_fit_shown();
    void smoothing_data();
    void smoothing();
};

enum class ForwardKind { WithoutStore, StoredBuilding, StoredReusing };

void TestRunMemoryNeed::forward_data()
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
    for (const Shape& s : shapes)
        for (const auto& k : kinds)
            for (bool calculated : {true, false})
                QTest::newRow(qPrintable(QString("%1, %2, %3")
                                             .arg(s.name, k.name,
                                                  calculated ? "calculated field held" : "first run")))
                    << s.nx << s.ny << s.nz << s.p << threads << int(k.kind) << calculated;
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
    const double measured = allocation_meter::child_peak([&](const std::function<void()>& start) {
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

void TestRunMemoryNeed::inversion_data()
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
    for (const Shape& s : shapes)
        for (const auto& o : sets)
            QTest::newRow(qPrintable(QString("%1, %2").arg(s.name, o.name)))
                << s.nx << s.ny << s.inversion_nz << s.p << threads << o.options;
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
    const double measured = allocation_meter::child_peak([&](const std::function<void()>& start) {
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

void TestRunMemoryNeed::layered_data()
{
    shape_columns();
    QTest::addColumn<bool>("store");
    for (const Shape& s : shapes)
        for (bool store : {true, false})
            QTest::newRow(qPrintable(QString("%1, storage %2").arg(s.name, store ? "on" : "off")))
                << s.nx << s.ny << s.nz << s.p << threads << store;
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
    const double measured = allocation_meter::child_peak([&](const std::function<void()>& start) {
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

void TestRunMemoryNeed::horizon_fit_data()
{
    shape_columns();
    for (const Shape& s : shapes)
        QTest::newRow(s.name) << s.nx << s.ny << s.nz << s.p << threads;
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
    const double measured = allocation_meter::child_peak([&](const std::function<void()>& start) {
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
//   tst_run_memory_need --horizon-fit-window nx ny nz p view
// (view: 1 the density cube, 2 the horizons; 0 the window never shown,
// for one-off measures of larger grids). It shows the window with the
// model drawn, fits horizon 1 in two passes, lets the window draw what the
// last pass left, and writes one line: the need the window counts before
// the run, the peak of the heap above what was held at the start, the
// frames of the 3D view and the paintings of the calculated map during the
// run. Exit code 77: no 3D view on this display.
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

int fit_window_process(int argc, char** argv)
{
    if (argc < 7)
        return 2;
    const int nx = std::atoi(argv[2]), ny = std::atoi(argv[3]), nz = std::atoi(argv[4]);
    const double p = std::atof(argv[5]);
    const int view = std::atoi(argv[6]);
    int app_argc = 1;
    QApplication app(app_argc, argv);
    FakeInteraction fake;
    MainWindow w;
    give_fit_model(w, nx, ny, nz, p, threads);
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
    forward_release_work();
    const int64_t base = allocation_meter::held();
    allocation_meter::reset_peak();
    const int frames_before = frames ? frames->count : 0, paintings_before = paintings ? paintings->count : 0;
    w.fitHorizon(params);
    const int frames_run = frames ? frames->count - frames_before : 0;
    const int paintings_run = paintings ? paintings->count - paintings_before : 0;
    // What the last pass left is drawn after the run, with the operator
    // still held.
    if (view != Hidden)
        QTest::qWait(300);
    const double measured = double(allocation_meter::peak() - base);
    if (!fake.errors().isEmpty())
        return 3;
    std::printf("\n%s %.0f %.0f %d %d\n", fit_window_line, need, measured, frames_run, paintings_run);
    std::fflush(stdout);
    return 0;
}

} // namespace

void TestRunMemoryNeed::horizon_fit_shown_data()
{
    shape_columns();
    QTest::addColumn<int>("view");
    for (const Shape& s : shapes)
        for (const auto& v : {std::make_pair("cube", CubeView), std::make_pair("horizons", HorizonsView)})
            QTest::newRow(qPrintable(QString("%1, %2 shown").arg(s.name, v.first)))
                << s.nx << s.ny << s.nz << s.p << threads << int(v.second);
}

// Horizon fitting with the window shown: each pass redraws the 3D view and
// the calculated map while the operator and the fit's grids are held.
void TestRunMemoryNeed::horizon_fit_shown()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, view);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value("DISPLAY").isEmpty())
        QSKIP("needs a display with OpenGL (run under xvfb-run)");
    env.remove("QT_QPA_PLATFORM");
    // Mesa's software rasteriser bins the triangles of a frame on its own
    // thread while the drawing threads still hold the frames before: how
    // many are in flight at once depends on the machine's load. Drawing on
    // the calling thread alone, the frames take what one frame takes.
    env.insert("LP_NUM_THREADS", "0");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {fit_window_flag, QString::number(nx), QString::number(ny), QString::number(nz),
                 QString::number(p), QString::number(view)});
    QVERIFY(child.waitForFinished(300000));
    if (child.exitCode() == 77)
        QSKIP("no 3D view on this display");
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n');
    QStringList figures;
    for (const QString& line : lines)
        if (line.startsWith(fit_window_line))
            figures = line.split(' ', Qt::SkipEmptyParts);
    QCOMPARE(figures.size(), 5);
    // The run really drew: frames of the 3D view and the map painted again.
    QVERIFY2(figures[3].toInt() > 0, "no frame of the 3D view during the run");
    QVERIFY2(figures[4].toInt() > 0, "the calculated map was not painted during the run");
    const ForwardGeometry g = layeredtest::geometry(layered_model(2, nx, ny, nz, p));
    report(g, threads, figures[1].toDouble(), figures[2].toDouble());
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
