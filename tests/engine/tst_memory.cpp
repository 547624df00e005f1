// Memory estimates, the question rule, and the memory figures read from
// meminfo and control-group fixtures.
#include "engine/inversion.h"
#include "engine/memory.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const uint64_t GiB = uint64_t(1) << 30;
const uint64_t MiB = uint64_t(1) << 20;

// Writes `content` to root/relative, creating the folders.
void put(const QString& root, const QString& relative, const QByteArray& content)
{
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray meminfo(uint64_t total_kb, uint64_t available_kb)
{
    return QByteArray("MemTotal:       ") + QByteArray::number(qulonglong(total_kb))
           + " kB\nMemFree:         1000 kB\nMemAvailable:   "
           + QByteArray::number(qulonglong(available_kb)) + " kB\nBuffers:          10 kB\n";
}

} // namespace

class TestMemory : public QObject
{
    Q_OBJECT

private slots:
    void need_data();
    void need();
    void inversion_options_data();
    void inversion_options();
    void options_from_record_data();
    void options_from_record();
    void question_rule_data();
    void question_rule();
    void question_text_data();
    void question_text();
    void this_machine();
    void cgroup_fixtures_data();
    void cgroup_fixtures();
    void meminfo_without_available();
};

void TestMemory::need_data()
{
    QTest::addColumn<int>("Mx");
    QTest::addColumn<int>("My");
    QTest::addColumn<int>("nz");
    QTest::addColumn<double>("bytes");
    QTest::addColumn<double>("expected");
    QTest::newRow("512x512x100, 5 B") << 512 << 512 << 100 << 5.0 << 26214400.0 * 5 / GiB;
    QTest::newRow("1024x1024x1000") << 1024 << 1024 << 1000 << 20.0 << 1000.0 * 20 / 1024;
    QTest::newRow("empty") << 1 << 1 << 0 << 20.0 << 0.0;
}

void TestMemory::need()
{
    QFETCH(int, Mx);
    QFETCH(int, My);
    QFETCH(int, nz);
    QFETCH(double, bytes);
    QFETCH(double, expected);
    QCOMPARE(run_memory_need_gb(Mx, My, nz, bytes), expected);
}

// The options' own arrays, exactly: the reference model (4 bytes a model
// cell) and the sign mask (1 byte), with the few percent of margin every
// figure carries; the other parts are compared with the runs in
// tst_run_memory_need.
void TestMemory::inversion_options_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("Mx");
    QTest::addColumn<int>("My");
    QTest::newRow("padded 4096, 2 levels") << 1024 << 1024 << 2 << 4096 << 4096;
    QTest::newRow("1024x1024x50") << 1024 << 1024 << 50 << 1024 << 1024;
    QTest::newRow("lopsided") << 300 << 24 << 6 << 1024 << 128;
}

void TestMemory::inversion_options()
{
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(int, nz);
    QFETCH(int, Mx);
    QFETCH(int, My);
    const RunSize s{nx, ny, nz, Mx, My, 4};
    const double cells = double(nx) * ny * nz;
    InversionMemoryOptions o;
    const double plain = inversion_need_bytes(s, o);
    o.reference = true;
    const double reference = inversion_need_bytes(s, o);
    QVERIFY(std::abs(reference - plain - 4.0 * cells * 1.03) < 1e-6 * reference);
    o.sign_mask = true;
    QVERIFY(std::abs(inversion_need_bytes(s, o) - reference - cells * 1.03) < 1e-6 * reference);
    // The filling stage holds every level on the full grid with its
    // imaginary part: at least 8 bytes a padded cell more than the half spectra.
    o.fill_stage = true;
    QVERIFY(inversion_need_bytes(s, o) - reference - cells * 1.03 >= 4.0 * Mx * My * nz);
    // An operator that serves is held already and not built.
    InversionMemoryOptions serves;
    serves.operator_serves = true;
    QVERIFY(inversion_need_bytes(s, serves) <= plain - (My / 2 + 1.0) * (Mx / 2 + 1) * nz * 4);
    // The figures of the old count (9 bytes a padded cell) fell far short
    // with few levels and a large pad: the operator and the fixed grids now
    // count, some 60 bytes and more a padded cell of one level.
    QVERIFY(plain >= 60.0 * Mx * My);
    // An empty grid needs nothing.
    QCOMPARE(inversion_need_bytes(RunSize{0, 0, 0, 1, 1, 1}, o), 0.0);
    QCOMPARE(forward_without_store_need_bytes(RunSize{nx, ny, 0, Mx, My, 1}), 0.0);
}

void TestMemory::options_from_record_data()
{
    using namespace inversion_record;
    QTest::addColumn<int>("flag");      // record value set to 1 (-1: none)
    QTest::addColumn<bool>("regularizer");
    QTest::addColumn<bool>("any_fixed");
    QTest::addColumn<bool>("save_log");
    QTest::addColumn<bool>("reference");
    QTest::addColumn<bool>("sign");
    QTest::addColumn<bool>("fill");
    QTest::newRow("plain") << -1 << false << false << false << false << false << false;
    QTest::newRow("initial model") << int(use_initial_model) << false << false << false << true << false << true;
    QTest::newRow("regularizer held, not used") << -1 << true << false << false << true << false << false;
    QTest::newRow("uploaded regularizer") << int(use_uploaded_regularizer) << true << false << false << true
                                          << false << true;
    QTest::newRow("sign constraint") << int(sign_constraint_on) << false << false << false << false << true << true;
    QTest::newRow("positive density") << int(positive_density) << false << false << false << false << false
                                      << true;
    QTest::newRow("limits") << int(density_limits_on) << false << false << false << false << false << true;
    QTest::newRow("fixed layers") << -1 << false << true << false << false << false << true;
    QTest::newRow("log") << -1 << false << false << true << false << false << true;
}

void TestMemory::options_from_record()
{
    QFETCH(int, flag);
    QFETCH(bool, regularizer);
    QFETCH(bool, any_fixed);
    QFETCH(bool, save_log);
    std::vector<double> record(inversion_record::record_size, 0.0);
    record[inversion_record::kind] = inversion_record::kind_grid;
    if (flag >= 0)
        record[std::size_t(flag)] = 1;
    const InversionMemoryOptions o = inversion_memory_options(record, regularizer, regularizer, any_fixed,
                                                              save_log, true);
    QTEST(o.reference, "reference");
    QTEST(o.sign_mask, "sign");
    QTEST(o.fill_stage, "fill");
    QVERIFY(o.operator_serves);
    // The lateral kind always fills its model.
    record[inversion_record::kind] = inversion_record::kind_lateral;
    QVERIFY(inversion_memory_options(record, regularizer, regularizer, any_fixed, save_log, false).fill_stage);
}

void TestMemory::question_rule_data()
{
    QTest::addColumn<double>("need");
    QTest::addColumn<double>("available");
    QTest::addColumn<bool>("ask");
    QTest::newRow("small need") << 0.622 << 8.0 << false;
    // A 2 x 2 x 2 grid on a machine with little free memory.
    QTest::newRow("tiny need, little free") << inversion_need_bytes(RunSize{2, 2, 2, 2, 2, 1}, {}) / GiB << 0.1
                                           << false;
    QTest::newRow("close to available") << 3.5 << 4.0 << false;
    QTest::newRow("equal to available") << 4.0 << 4.0 << false;
    QTest::newRow("just above available") << 4.01 << 4.0 << true;
    QTest::newRow("far above available") << 40.0 << 4.0 << true;
    QTest::newRow("unknown available") << 40.0 << 0.0 << false;
}

void TestMemory::question_rule()
{
    QFETCH(double, need);
    QFETCH(double, available);
    QFETCH(bool, ask);
    QCOMPARE(memory_question_needed(need, available), ask);
}

void TestMemory::question_text_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");
    QTest::newRow("forward") << int(MemoryRun::Forward) << "forward calculation" << "«Прямая задача»";
    QTest::newRow("effects") << int(MemoryRun::EffectsBuild) << "effects matrix calculation"
                             << "«Расчет матрицы эффектов»";
    QTest::newRow("inversion") << int(MemoryRun::Inversion) << "inversion" << "«Инверсия»";
    QTest::newRow("layered") << int(MemoryRun::LayeredInversion) << "layered inversion" << "«Инверсия (слои)»";
    QTest::newRow("horizon") << int(MemoryRun::HorizonFit) << "horizon fitting" << "«Подбор границы»";
}

// The question names the run it is about, in the user's language.
void TestMemory::question_text()
{
    QFETCH(int, run);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    QCOMPARE(memory_question_text(3.5, 4.0, MemoryRun(run), 1),
             QString("High memory usage. You need at least 3.5 GB of 4 GB.\n To optimize memory "
                     "usage, you can reduce the expansion factor. \n Do you want to run %1 "
                     "without changes?")
                 .arg(english));
    QCOMPARE(memory_question_text(3.5, 4.0, MemoryRun(run), 0),
             QString::fromUtf8("Большой расход памяти. Требуется не менее 3.5 ГБ из 4 ГБ.\n Чтобы уменьшить "
                               "расход памяти, можно уменьшить коэффициент расширения. \n Запустить %1 без "
                               "изменений?")
                 .arg(russian));
    QVERIFY(memory_question_text(0.62207031, 23.4567891, MemoryRun(run), 1)
                .contains("at least 0.62207 GB of 23.4568 GB."));
}

void TestMemory::this_machine()
{
    const SystemMemory m = query_system_memory();
    QVERIFY(m.total_bytes > 64 * MiB);
    QVERIFY(m.available_bytes > 0);
    QVERIFY(m.available_bytes <= m.total_bytes);
}

void TestMemory::cgroup_fixtures_data()
{
    QTest::addColumn<QByteArray>("self_cgroup");
    QTest::addColumn<QStringList>("files");   // relative path, content, relative path, content, ...
    QTest::addColumn<qulonglong>("limit");
    QTest::addColumn<qulonglong>("total");
    QTest::addColumn<qulonglong>("available");

    // Machine: 16 GiB, 12 GiB available.
    QTest::newRow("no cgroup") << QByteArray() << QStringList() << qulonglong(0)
                               << qulonglong(16 * GiB) << qulonglong(12 * GiB);
    QTest::newRow("v2 limit on parent")
        << QByteArray("0::/user.slice/app.scope\n")
        << QStringList{"user.slice/memory.max", "2147483648\n",
                       "user.slice/app.scope/memory.max", "max\n",
                       "user.slice/app.scope/memory.current", "1073741824\n",
                       "user.slice/app.scope/memory.stat", "anon 100\ninactive_file 268435456\nactive_file 5\n"}
        << qulonglong(2 * GiB) << qulonglong(2 * GiB) << qulonglong(2 * GiB - (GiB - 256 * MiB));
    QTest::newRow("v2 smaller limit on leaf")
        << QByteArray("0::/a/b\n")
        << QStringList{"a/memory.max", "4294967296\n", "a/b/memory.max", "1073741824\n",
                       "a/b/memory.current", "0\n"}
        << qulonglong(GiB) << qulonglong(GiB) << qulonglong(GiB);
    QTest::newRow("v2 namespaced root")
        << QByteArray("0::/\n")
        << QStringList{"memory.max", "3221225472\n", "memory.current", "536870912\n"}
        << qulonglong(3 * GiB) << qulonglong(3 * GiB) << qulonglong(3 * GiB - 512 * MiB);
    QTest::newRow("v2 no limit")
        << QByteArray("0::/x\n") << QStringList{"x/memory.max", "max\n", "memory.max", "max\n"}
        << qulonglong(0) << qulonglong(16 * GiB) << qulonglong(12 * GiB);
    QTest::newRow("v2 path missing under mount")
        << QByteArray("0::/host/path/not/here\n") << QStringList{"memory.max", "1073741824\n"}
        << qulonglong(GiB) << qulonglong(GiB) << qulonglong(GiB);
    QTest::newRow("limit above physical memory")
        << QByteArray("0::/\n") << QStringList{"memory.max", "68719476736\n"}
        << qulonglong(64 * GiB) << qulonglong(16 * GiB) << qulonglong(12 * GiB);
    QTest::newRow("v1 limit")
        << QByteArray("5:cpu,cpuacct:/docker/abc\n4:memory:/docker/abc\n0::/\n")
        << QStringList{"memory/docker/abc/memory.limit_in_bytes", "1610612736\n",
                       "memory/docker/abc/memory.usage_in_bytes", "1073741824\n",
                       "memory/docker/abc/memory.stat", "cache 5\ntotal_inactive_file 536870912\n",
                       "memory/memory.limit_in_bytes", "9223372036854771712\n"}
        << qulonglong(1536 * MiB) << qulonglong(1536 * MiB) << qulonglong(1024 * MiB);
    QTest::newRow("v1 unlimited (hybrid like a plain host)")
        << QByteArray("4:memory:/process_api/1\n0::/\n")
        << QStringList{"memory/process_api/1/memory.limit_in_bytes", "9223372036854771712\n",
                       "memory/process_api/1/memory.usage_in_bytes", "14856192\n",
                       "unified/cgroup.controllers", "\n"}
        << qulonglong(0) << qulonglong(16 * GiB) << qulonglong(12 * GiB);
    QTest::newRow("v1 usage over limit")
        << QByteArray("4:memory:/\n")
        << QStringList{"memory/memory.limit_in_bytes", "1073741824\n",
                       "memory/memory.usage_in_bytes", "2147483648\n"}
        << qulonglong(GiB) << qulonglong(GiB) << qulonglong(0);
    QTest::newRow("garbage files")
        << QByteArray("0::/g\nnonsense line\n")
        << QStringList{"g/memory.max", "lots\n", "g/memory.current", "\n"}
        << qulonglong(0) << qulonglong(16 * GiB) << qulonglong(12 * GiB);
}

void TestMemory::cgroup_fixtures()
{
    QFETCH(QByteArray, self_cgroup);
    QFETCH(QStringList, files);
    QFETCH(qulonglong, limit);
    QFETCH(qulonglong, total);
    QFETCH(qulonglong, available);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path() + "/cgroup";
    QDir().mkpath(root);
    for (int i = 0; i + 1 < files.size(); i += 2)
        put(root, files[i], files[i + 1].toUtf8());
    put(dir.path(), "self_cgroup", self_cgroup);
    put(dir.path(), "meminfo", meminfo(16 * GiB / 1024, 12 * GiB / 1024));

    const CgroupMemory cg = read_cgroup_memory((dir.path() + "/self_cgroup").toStdString(),
                                               root.toStdString());
    QCOMPARE(qulonglong(cg.limit_bytes), limit);

    MemoryInfoSources sources;
    sources.meminfo = (dir.path() + "/meminfo").toStdString();
    sources.self_cgroup = (dir.path() + "/self_cgroup").toStdString();
    sources.cgroup_root = root.toStdString();
    const SystemMemory m = query_system_memory(sources);
    QCOMPARE(qulonglong(m.total_bytes), total);
    QCOMPARE(qulonglong(m.available_bytes), available);
}

void TestMemory::meminfo_without_available()
{
    QTemporaryDir dir;
    put(dir.path(), "meminfo",
        "MemTotal:  8000 kB\nMemFree:  1000 kB\nBuffers:  200 kB\nCached:  300 kB\n");
    MemoryInfoSources sources;
    sources.meminfo = (dir.path() + "/meminfo").toStdString();
    sources.self_cgroup = (dir.path() + "/none").toStdString();
    sources.cgroup_root = (dir.path() + "/none").toStdString();
    const SystemMemory m = query_system_memory(sources);
    QCOMPARE(qulonglong(m.total_bytes), qulonglong(8000 * 1024));
    QCOMPARE(qulonglong(m.available_bytes), qulonglong(1500 * 1024));
}

QTEST_APPLESS_MAIN(TestMemory)
#include "tst_memory.moc"
