// Every codec writer on a device that refuses bytes (a full disk, a file
// size limit): the save fails with its cause and the file already at the
// path keeps its bytes. The refusal is made with a small RLIMIT_FSIZE, so
// no special file system is needed.
#include "formats/bln.h"
#include "formats/cube_file.h"
#include "formats/effects_file.h"
#include "formats/fault_sticks.h"
#include "formats/file_commands.h"
#include "formats/project_file.h"
#include "formats/segy.h"
#include "formats/surfer_grid.h"
#include "formats/xyz_cube.h"

#include "file_size_limit.h"
#include "format_test_support.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <map>

using namespace fmt_test;

namespace {

// The largest file the process may write while a row runs. A writer of
// `scale` 1 writes less than Qt's 16 KiB write buffer, so its bytes reach
// the device only when the save is committed; scale 4 fails at a write.
constexpr rlim_t size_limit = 4096;

std::vector<double> nodes(int n, double first, double step)
{
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[std::size_t(i)] = first + i * step;
    return v;
}

using Writer = std::function<CodecStatus(const QString& path, int scale)>;

const std::map<QString, Writer>& writers()
{
    static const std::map<QString, Writer> table = {
        {"own cube",
         [](const QString& p, int s) {
             const int n = 10 * s;
             return write_cube_file(p, make_cube(n, 12, 12), nodes(n, 0, 50), nodes(12, 0, 50), nodes(12, 0, 25));
         }},
        {"project",
         [](const QString& p, int s) {
             ProjectData d;
             d.density = {make_cube(10 * s, 12, 12), nodes(10 * s, 0, 50), nodes(12, 0, 50), nodes(12, 0, 25)};
             d.expansion_factor = 1.5;
             return write_project_file(p, d);
         }},
        {"eff sidecar",
         [](const QString& p, int s) {
             return write_effects_file(p, make_operator(8 * s, 8, 8), EffectsImaginary::Zero);
         }},
        {"effects file",
         [](const QString& p, int s) {
             EffectsOperator e = make_operator(4 * s, 8, 8);
             e.im = make_cube(4 * s, 8, 8, -1.0f);
             return write_effects_file(p, e, EffectsImaginary::Held);
         }},
        {"effh sidecar",
         [](const QString& p, int s) {
             return write_layer_effects_sidecar(p, {make_field(10 * s, 30), make_field(10 * s, 30, 7.0)});
         }},
        {"Surfer 7",
         [](const QString& p, int s) {
             return write_surfer7_grid(p, make_field(20 * s, 40), {double(20 * s), 40, 0, 1000, 0, 2000});
         }},
        {"Surfer 6 text",
         [](const QString& p, int s) {
             return write_surfer6_text_grid(p, make_field(20 * s, 30), {double(20 * s), 30, 0, 1000, 0, 2000});
         }},
        {"SEG-Y",
         [](const QString& p, int s) {
             const int n = 4 * s;
             return write_segy_cube(p, make_cube(n, 4, 12), nodes(n, 1000, 50), nodes(4, 2000, 50), nodes(12, 0, 25));
         }},
        {"XYZ",
         [](const QString& p, int s) {
             const int n = 4 * s;
             return write_xyz_cube(p, make_cube(n, 8, 8), nodes(n, 0, 50), nodes(8, 0, 50), nodes(8, 0, 25));
         }},
        {"cell table",
         [](const QString& p, int s) {
             const int n = 4 * s;
             return write_cell_table(p, make_cube(n, 8, 8), nodes(n, 0, 50), nodes(8, 0, 50), nodes(8, 0, 25));
         }},
        {"BLN",
         [](const QString& p, int s) {
             return write_bln_polyline(p, nodes(300 * s, 0.123456789, 1.5), nodes(300 * s, 0.987654321, -2.5));
         }},
        {"fault sticks",
         [](const QString& p, int s) {
             FaultSticks f;
             f.names = {QStringLiteral("F1")};
             f.sticks.resize(1);
             f.inlines.resize(1);
             f.crosslines.resize(1);
             for (int k = 0; k < 60 * s; ++k) {
                 f.sticks[0].push_back({FaultPoint{1000.25f + k, 2000.5f + k, 100.75f}, FaultPoint{1000.25f + k, 2000.5f + k, 900.5f}});
                 f.inlines[0].push_back({k, k});
                 f.crosslines[0].push_back({k + 1, k + 1});
             }
             return write_charisma_fault_sticks(p, f);
         }},
        {"text table",
         [](const QString& p, int s) { return save_whole_file(p, QByteArray(6000 * s, 'x')); }},
    };
    return table;
}

}  // namespace

class TestWriteFailures : public QObject {
    Q_OBJECT

private slots:
    void writersWithoutLimitSucceed_data();
    void writersWithoutLimitSucceed();
    void refusedWriteKeepsOldFile_data();
    void refusedWriteKeepsOldFile();
};

void TestWriteFailures::writersWithoutLimitSucceed_data()
{
    QTest::addColumn<QString>("writer");
    for (const auto& w : writers())
        QTest::newRow(qPrintable(w.first)) << w.first;
}

// Each writer really writes more than the limit (and succeeds without it),
// so the rows below test a refusal and not a writer that writes nothing.
void TestWriteFailures::writersWithoutLimitSucceed()
{
    QFETCH(QString, writer);
    QTemporaryDir dir;
    for (int scale : {1, 4}) {
        const QString path = dir.filePath(QStringLiteral("out%1").arg(scale));
        const CodecStatus status = writers().at(writer)(path, scale);
        QVERIFY2(status.ok(), qPrintable(status.message()));
        const qint64 size = QFileInfo(path).size();
        QVERIFY2(size > qint64(size_limit), qPrintable(QString::number(size)));
        if (scale == 1)
            QVERIFY2(size < 16384, qPrintable(QString::number(size)));
    }
}

void TestWriteFailures::refusedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("scale");
    for (const auto& w : writers()) {
        QTest::newRow(qPrintable(w.first + QStringLiteral(", refused at commit"))) << w.first << 1;
        QTest::newRow(qPrintable(w.first + QStringLiteral(", refused at a write"))) << w.first << 4;
    }
}

void TestWriteFailures::refusedWriteKeepsOldFile()
{
    QFETCH(QString, writer);
    QFETCH(int, scale);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("target.dat"));
    QByteArray old_bytes;
    for (int i = 0; i < 100; ++i)
        old_bytes += QByteArray::number(i * 7919) + ' ';
    QVERIFY(write_file(path, old_bytes));

    FileSizeLimit limit(size_limit);
    QVERIFY(limit.ok());
    const CodecStatus status = writers().at(writer)(path, scale);
    limit.lift();

    QVERIFY(!status.ok());
    QCOMPARE(status.code(), CodecError::WriteFailed);
    // The cause, in both languages, and the file it concerns.
    QVERIFY2(status.message().contains(QStringLiteral("File too large")), qPrintable(status.message()));
    QVERIFY2(status.message(0).contains(QStringLiteral("File too large")), qPrintable(status.message(0)));
    QVERIFY2(status.message().contains(QStringLiteral("target.dat")), qPrintable(status.message()));
    QVERIFY2(!status.message().contains(QStringLiteral("Unknown error")), qPrintable(status.message()));
    QCOMPARE(read_file(path), old_bytes);
    QCOMPARE(files_in(dir.path()), QStringList{QStringLiteral("target.dat")});
}

QTEST_GUILESS_MAIN(TestWriteFailures)
#include "tst_write_failures.moc"
