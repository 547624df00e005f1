// Commands that run out of memory: every command is delivered through the
// program's application object, whose guard shows "Out of memory", keeps the
// model as it was and lets the program go on. The failure is injected by a
// budget on the allocations made after the command starts, or in the 3D
// view's redraw after it (on a display).
#include <QtTest>

#include "allocation_failure.h"
#include "app/application.h"
#include "app/mainwindow.h"
#include "editing/smoothing.h"
#include "fake_interaction.h"
#include "shown_window.h"
#include "test_nodes.h"
#include "views/render_memory.h"

#include <QtDataVisualization/Q3DSurface>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

using Command = std::function<void(MainWindow&)>;
Q_DECLARE_METATYPE(Command)

class TestCommandOutOfMemory : public QObject
{
    Q_OBJECT

private slots:
    void command_fails_data();
    void command_fails();
    void out_of_memory_in_a_queued_call_data();
    void out_of_memory_in_a_queued_call();
    void redraw_fails_data();
    void redraw_fails();
};

namespace {

void give_grid(MainWindow& w)
{
    const int nx = 24, ny = 20, nz = 12;
    w.x_calc = nodes(nx, 0, 100);
    w.y_calc = nodes(ny, 0, 100);
    w.z_calc = nodes(nz, 0, 50);
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
    w.den_grid.assign(nz, vector2D(ny, std::vector<float>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                w.den_grid[k][j][i] = float(2.0 + 0.01 * i - 0.02 * j + 0.03 * k + ((i * 7 + j * 3 + k) % 5) * 0.1);
}

std::size_t grid_bytes(const MainWindow& w)
{
    return w.den_grid.size() * w.den_grid[0].size() * w.den_grid[0][0].size() * sizeof(float);
}

// Runs `command` as the program runs a command: from the event loop,
// through the application's notify.
void run_as_event(MainWindow& w, const Command& command)
{
    bool done = false;
    QTimer::singleShot(0, &w, [&] {
        done = true;
        command(w);
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    QCoreApplication::processEvents();
}

// What the command makes of the model when it has the memory.
vector3D result_of(const Command& command)
{
    MainWindow done;
    give_grid(done);
    run_as_event(done, command);
    return done.den_grid;
}

// Ends the test program when it is still alive after `seconds`: a window
// that stopped answering (a frame waiting for ever) fails the test instead of
// hanging it.
class Watchdog
{
public:
    explicit Watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  std::fprintf(stderr, "FAIL: the window stopped answering\n");
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

// Counts the frames of the 3D graph; once armed, the first allocation of the
// next frame fails.
class FrameFailure : public QObject
{
public:
    int frames = 0;
    bool armNext = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Expose) {
            ++frames;
            if (armNext) {
                armNext = false;
                allocation_failure::arm(0);
            }
        }
        return false;
    }
};

// Lets the window's pending events and frames pass.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

} // namespace

void TestCommandOutOfMemory::command_fails_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<double>("budget"); // in grids of the model's floats
    const std::vector<double> smooth = {0, 300, 300, 150, 0, 0};
    for (double budget : {0.0, 0.5, 1.5}) {
        const QByteArray b = QByteArray::number(budget);
        QTest::newRow("smoothing " + b) << Command([smooth](MainWindow& w) { w.smoothDensity(smooth); }) << budget;
        QTest::newRow("x gradient " + b) << Command([](MainWindow& w) { w.on_x_gradient_triggered(); }) << budget;
        QTest::newRow("full gradient " + b)
            << Command([](MainWindow& w) { w.on_full_gradient_triggered(); }) << budget;
        QTest::newRow("level means removed " + b)
            << Command([](MainWindow& w) { w.on_delete_mean_triggered(); }) << budget;
        QTest::newRow("level means " + b) << Command([](MainWindow& w) { w.on_calc_means_triggered(); }) << budget;
        QTest::newRow("zeros filled " + b) << Command([](MainWindow& w) { w.on_fill_zeros_triggered(); }) << budget;
    }
}

void TestCommandOutOfMemory::command_fails()
{
    QFETCH(Command, command);
    QFETCH(double, budget);
    FakeInteraction fake;
    const vector3D after = result_of(command);
    MainWindow w;
    w.language = 1;
    give_grid(w);
    const vector3D before = w.den_grid;
    const std::vector<double> x = w.x_calc, y = w.y_calc, z = w.z_calc;
    const std::size_t undo = w.undo_stack.size();
    const int failures = allocation_failure::failures();

    run_as_event(w, [&](MainWindow& window) {
        allocation_failure::arm(static_cast<unsigned long long>(budget * grid_bytes(window)));
        command(window);
        allocation_failure::disarm();
    });
    allocation_failure::disarm();
    if (allocation_failure::failures() == failures)
        QSKIP("the command finished within the budget");
    QCOMPARE(fake.errors(), QStringList{"Out of memory"});
    // The model as it was, or the command's whole result when only the
    // redraw after it failed: never a half-changed grid.
    QCOMPARE(w.x_calc, x);
    QCOMPARE(w.y_calc, y);
    QCOMPARE(w.z_calc, z);
    if (w.den_grid == before)
        QCOMPARE(w.undo_stack.size(), undo);
    else
        QVERIFY(w.den_grid == after);

    // The program goes on: the same command runs to its end now.
    fake.clear();
    run_as_event(w, command);
    QVERIFY(fake.errors().isEmpty());
}

void TestCommandOutOfMemory::out_of_memory_in_a_queued_call_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("Russian") << 0 << QString::fromUtf8("Недостаточно памяти ");
    QTest::newRow("English") << 1 << QString("Out of memory");
}

// A slot called by name from the event loop (as the form's actions are) that
// throws: the window stays, shows the message in its language, and the next
// event is handled.
void TestCommandOutOfMemory::out_of_memory_in_a_queued_call()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    FakeInteraction fake;
    MainWindow w;
    w.language = language;
    give_grid(w);
    const vector3D before = w.den_grid;
    const std::vector<double> smooth = {0, 300, 300, 150, 0, 0};
    QMetaObject::invokeMethod(&w, "smoothDensity", Qt::QueuedConnection, Q_ARG(std::vector<double>, smooth));
    // The first allocation of a plane of the grid fails (the event's own are smaller).
    allocation_failure::arm(0, w.den_grid[0].size() * w.den_grid[0][0].size() * sizeof(double));
    QTRY_COMPARE_WITH_TIMEOUT(fake.errors().size(), 1, 5000);
    allocation_failure::disarm();
    QCOMPARE(fake.errors().first(), text);
    QVERIFY(w.den_grid == before);
    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
}

void TestCommandOutOfMemory::redraw_fails_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<bool>("inFrame");
    const std::pair<const char*, Command> commands[] = {
        {"x gradient", [](MainWindow& w) { w.on_x_gradient_triggered(); }},
        {"level means removed", [](MainWindow& w) { w.on_delete_mean_triggered(); }},
        {"full gradient", [](MainWindow& w) { w.on_full_gradient_triggered(); }},
    };
    for (const auto& c : commands) {
        // An allocation of the graph's frame that draws the command's result.
        QTest::newRow(QByteArray(c.first) + ", in the frame") << c.second << true;
        // No memory for the series the view is to be given (every large
        // allocation of the command and its redraw fails).
        QTest::newRow(QByteArray(c.first) + ", for the series") << c.second << false;
    }
}

// The 3D view runs out of memory while it redraws after a command: the
// command's result stays whole, the window answers events and draws again,
// and either the frame went on (no message) or the view was left empty with
// the out-of-memory message, and is drawn by the next redraw.
void TestCommandOutOfMemory::redraw_fails()
{
    QFETCH(Command, command);
    QFETCH(bool, inFrame);
    if (withoutDisplay())
        QSKIP("needs a display with OpenGL");
    FakeInteraction fake;
    const vector3D after = result_of(command);
    auto w = shownMainWindow(QSize(900, 600));
    QVERIFY(w);
    w->language = 1;
    give_grid(*w);
    w->on_view_dens_triggered();
    settle();
    const int shown = w->graph->seriesList().size();
    QVERIFY(shown > 0);
    FrameFailure frames;
    w->graph->installEventFilter(&frames);
    const int failures = allocation_failure::failures();
    const std::size_t undo = w->undo_stack.size();
    {
        Watchdog dog(60);
        const int drawn = frames.frames;
        run_as_event(*w, [&](MainWindow& window) {
            if (!inFrame)  // larger than any allocation of the command on this grid
                allocation_failure::arm(0, 64 * 1024, true);
            command(window);
            // The series are refused within the command's redraw; a frame
            // drawn while every large allocation still failed would fail
            // more than the fund set aside for one failure in a frame can
            // cover (the frame's own failure is the other row's case).
            if (!inFrame)
                allocation_failure::disarm();
            frames.armNext = inFrame;
            window.graph->requestUpdate();
        });
        // The frame that draws the command's result, and the events after it.
        QTRY_VERIFY_WITH_TIMEOUT(frames.frames > drawn, 5000);
        settle();
        allocation_failure::disarm();
        QVERIFY(allocation_failure::failures() > failures);

        // The command's whole result.
        QVERIFY(w->den_grid == after);
        QCOMPARE(w->undo_stack.size(), std::min(undo + 1, std::size_t(3)));
        if (inFrame) {
            QVERIFY(fake.errors().isEmpty());
            QCOMPARE(w->graph->seriesList().size(), shown);
        } else {
            QCOMPARE(fake.errors(), QStringList{"Out of memory"});
            QVERIFY(w->graph->seriesList().isEmpty());
        }
        // The window answers events, and the graph draws frames.
        bool later = false;
        QTimer::singleShot(0, [&] { later = true; });
        QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
        const int before = frames.frames;
        w->graph->requestUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(frames.frames > before, 5000);
        QVERIFY(!w->graph->renderToImage().isNull());
    }
    QVERIFY(render_memory::fund_held());

    // The next redraw draws the view whole.
    fake.clear();
    w->on_view_dens_triggered();
    settle();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w->graph->seriesList().size(), shown);
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    qRegisterMetaType<std::vector<double>>("std::vector<double>");
    TestCommandOutOfMemory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_command_out_of_memory.moc"
