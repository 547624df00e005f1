// The memory need of every spectral run against what the run really
// takes: each case runs in a child process of its own (fresh working grids
// and worker threads, as in a program that has not run yet). The resident
// peak above the resident memory before the run (as the kernel counts it)
// must not exceed the need, nor lie below need / 1.3 where the need is
// large; the heap peak the allocation meter counts must not exceed the
// need either.
#include "allocation_meter.h"
#include "engine/forward.h"
#include "engine/memory.h"
#include "test_nodes.h"

#include <QtTest>

#include <functional>

namespace {

enum class Run { WithoutStore, Build, StoredBuilding, StoredReusing };

struct Case {
    int nx, ny, nz;
    double p;
    int threads;
};

vector3D model(int nz, int ny, int nx)
{
    vector3D c(nz, vector2D(ny, std::vector<float>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                c[k][j][i] = 2.0f + 0.01f * float((i * 7 + j * 3 + k) % 11);
    return c;
}

} // namespace

class TestMemoryNeed : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!allocation_meter::counting())
            QSKIP("the sanitizer's runtime owns the allocator");
    }
    void forward_runs_data();
    void forward_runs();
};

void TestMemoryNeed::forward_runs_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("threads");
    const struct {
        const char* name;
        Run run;
    } runs[] = {{"storage off", Run::WithoutStore},
                {"operator build", Run::Build},
                {"stored, building", Run::StoredBuilding},
                {"stored, reusing", Run::StoredReusing}};
    const struct {
        const char* name;
        Case c;
    } shapes[] = {{"few levels, large pad", {90, 100, 2, 2.0, 2}},
                  {"many levels, no pad", {192, 160, 48, 0.0, 2}},
                  {"lopsided", {300, 24, 6, 1.0, 4}},
                  {"half pad", {200, 150, 10, 0.5, 3}},
                  {"small lopsided", {2000, 64, 20, 0.0, 1}},
                  {"small lopsided, 8 threads", {2000, 64, 20, 0.0, 8}},
                  {"tiny", {16, 12, 4, 0.0, 1}}};
    for (const auto& r : runs)
        for (const auto& s : shapes)
            QTest::newRow(qPrintable(QString("%1, %2").arg(r.name, s.name)))
                << int(r.run) << s.c.nx << s.c.ny << s.c.nz << s.c.p << s.c.threads;
}

void TestMemoryNeed::forward_runs()
{
    QFETCH(int, run);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(double, p);
    QFETCH(int, threads);
    const Run kind = Run(run);
    RunSize size;
    const allocation_meter::Usage measured = allocation_meter::child_usage([&](const std::function<void()>& start) {
        const vector3D den = model(nz, ny, nx);
        ForwardGeometry g;
        if (forward_geometry(den, nodes(nx, 0, 50), nodes(ny, 0, 50), nodes(nz, 0, 25), -10, p, g)
            != ForwardStatus::Completed)
            return false;
        EffectsOperator effects;
        field2D result(ny, std::vector<double>(nx, 0.0));
        // Built on the calling thread alone: the workers of the run that
        // reuses it start afresh, as after opening a project with its
        // operator, whatever workers the build happened to engage.
        if (kind == Run::StoredReusing && build_effects(g, effects, 1) != ForwardStatus::Completed)
            return false;
        forward_release_work();
        start();
        ForwardStatus st = ForwardStatus::Completed;
        switch (kind) {
        case Run::WithoutStore:
            st = forward_without_store(den, g, result, threads);
            break;
        case Run::Build:
            st = build_effects(g, effects, threads);
            break;
        case Run::StoredBuilding:
        case Run::StoredReusing:
            st = forward_stored(den, g, effects, result, threads);
            break;
        }
        return st == ForwardStatus::Completed;
    });
    ForwardGeometry g;
    QCOMPARE(forward_geometry(nx, ny, nz, nodes(nx, 0, 50), nodes(ny, 0, 50), nodes(nz, 0, 25), -10, p, g),
             ForwardStatus::Completed);
    size = run_size(g, threads);
    double need = 0;
    switch (kind) {
    case Run::WithoutStore:
        need = forward_without_store_need_bytes(size);
        break;
    case Run::Build:
        need = effects_build_need_bytes(size);
        break;
    case Run::StoredBuilding:
        need = forward_stored_need_bytes(size, false);
        break;
    case Run::StoredReusing:
        need = forward_stored_need_bytes(size, true);
        break;
    }
    qInfo("Mx %d My %d nz %d: need %.0f, heap peak %.0f (%.3f), resident peak %.0f (%.3f)", g.Mx, g.My, nz, need,
          measured.heap, need / measured.heap, measured.resident, need / measured.resident);
    QVERIFY2(measured.heap > 0, "the run failed");
    QVERIFY2(need >= measured.heap, "need below the heap peak");
    const std::string fault = allocation_meter::resident_fault(need, measured.resident);
    QVERIFY2(fault.empty(), fault.c_str());
}

QTEST_GUILESS_MAIN(TestMemoryNeed)
#include "tst_memory_need.moc"
