// After a run the program holds again what it held before, besides the
// results the window keeps: the run's working grids are let go, and the heap
// they took goes back to the system, so that the next figure of available
// memory is true. Measured in a child process per case (allocation_meter.h):
// the bytes held on the heap and the resident size, before the run (after
// the window's views were drawn once) and after it, under the program's own
// application object (and so its allocator settings).
#include "allocation_meter.h"
#include "app/application.h"
#include "app/mainwindow.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "fake_interaction.h"
#include "inversion_records.h"
#include "layered_window_support.h"
#include "test_nodes.h"

#include <QtTest>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

using namespace inversion_record;

namespace {

enum class Run { ForwardWithoutStore, LayeredInversion };

// Resident size of the process, in bytes (0 when unknown).
double resident_bytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long pages = 0, resident = 0;
    const int read = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return read == 2 ? double(resident) * double(sysconf(_SC_PAGESIZE)) : 0.0;
}

double grids_bytes(const std::vector<field2D>& grids)
{
    double bytes = 0;
    for (const field2D& g : grids)
        for (const auto& row : g)
            bytes += double(row.capacity()) * sizeof(double) + 32;
    return bytes;
}

// Heap and resident size the program may keep beyond the results its
// window holds: the worker threads' transform tables and scratch, the
// engine's code paged in, the allocator's bookkeeping.
constexpr double heap_slack = 4.0 * (1 << 20);
constexpr double resident_slack = 16.0 * (1 << 20);

}  // namespace

class TestRunMemoryReturn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!allocation_meter::counting())
            QSKIP("the sanitizer's runtime owns the allocator");
    }
    void memoryBackAfterRun_data();
    void memoryBackAfterRun();
};

void TestRunMemoryReturn::memoryBackAfterRun_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<double>("expansion");
    // 200 x 200 nodes padded to 2048 x 2048 and to 1024 x 1024: peaks of
    // about 150 MB.
    QTest::newRow("forward, storage off, 4 threads") << int(Run::ForwardWithoutStore) << 3.0;
    QTest::newRow("layered inversion, storage off, 4 threads") << int(Run::LayeredInversion) << 2.0;
}

void TestRunMemoryReturn::memoryBackAfterRun()
{
    QFETCH(int, run);
    QFETCH(double, expansion);
    // Figures: heap held after - before, resident after - before, the run's
    // heap peak above what was held before, the results the window keeps.
    const std::vector<double> figures = allocation_meter::child_figures(
        [&]() -> std::vector<double> {
            FakeInteraction fake;
            MainWindow w;
            w.language = 1;
            w.thread_count = 4;
            w.store_eff = false;
            w.save_log = false;
            const int nx = 200, ny = 200, nz = 12;
            const layeredtest::Model m = layeredtest::make_model(3, nx, ny, nz, 600.0 / nz);
            layeredtest::Model padded = m;
            padded.expansion = expansion;
            layeredtest::give_layered_model(w, padded, padded.horizons, {2.0, 2.2, 2.5}, {2.0, 2.3, 2.4});
            // The window's views hold their drawings of the model and of a
            // calculated field of its size before the run, and the undo
            // stack is full: the run replaces these, it adds none.
            w.Vz_calculated.assign(ny, std::vector<double>(nx, 0.0));
            w.plotObserved();
            w.plotCalculated();
            w.on_view_dens_triggered();
            for (int i = 0; i < 3; ++i)
                w.update_undo(1);
            // What the drawings left for the event loop is done before the
            // figures are taken (the run processes events too).
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            // The working grids the field of the model was computed with.
            forward_release_work();
            malloc_trim(0);
            const double heap_before = double(allocation_meter::held());
            const double resident_before = resident_bytes();
            allocation_meter::reset_peak();
            if (Run(run) == Run::ForwardWithoutStore) {
                w.on_forward_grid_triggered();
            } else {
                std::vector<double> params(record_size, 0.0);
                params[iterations] = 2;
                params[step_scale] = 1;
                params[kind] = kind_layered;
                w.start_polygonal_inversion(params);
            }
            const double peak = double(allocation_meter::peak()) - heap_before;
            const double heap_after = double(allocation_meter::held());
            const double resident_after = resident_bytes();
            if (!fake.errors().isEmpty() || !fake.questions.isEmpty()) {
                qWarning("%s", qPrintable(fake.errors().join("; ")));
                return {};
            }
            // The layered inversion keeps its slab effects for the next run.
            const double kept = grids_bytes(w.layer_effects);
            return {heap_after - heap_before, resident_after - resident_before, peak, kept};
        },
        4);
    QCOMPARE(figures.size(), std::size_t(4));
    const double heap = figures[0], resident = figures[1], peak = figures[2], kept = figures[3];
    qInfo("run peak %.1f MB; after the run: heap %+.2f MB, resident %+.2f MB, results kept %.2f MB", peak / 1048576,
          heap / 1048576, resident / 1048576, kept / 1048576);
    // The run took far more than the slack allowed, or the test would show
    // nothing.
    QVERIFY2(peak > 6 * resident_slack, qPrintable(QString("run peak only %1 bytes").arg(peak)));
    QVERIFY2(heap <= kept + heap_slack,
             qPrintable(QString("%1 bytes more on the heap, %2 kept as results").arg(heap).arg(kept)));
    QVERIFY2(resident <= kept + resident_slack,
             qPrintable(QString("%1 bytes more resident, %2 kept as results").arg(resident).arg(kept)));
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestRunMemoryReturn test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_run_memory_return.moc"
