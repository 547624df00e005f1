// Charisma fault sticks: reading, writing and the names of per-fault files,
// from small text fixtures.
#include "formats/fault_sticks.h"

#include "format_test_support.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/") + QLatin1String(name);
}

QString text_file(const QTemporaryDir& dir, const QByteArray& text, const char* name = "f.txt")
{
    const QString path = dir.filePath(QLatin1String(name));
    return write_file(path, text) ? path : QString();
}

std::vector<std::size_t> stick_sizes(const std::vector<std::vector<FaultPoint>>& fault)
{
    std::vector<std::size_t> sizes;
    for (const auto& s : fault)
        sizes.push_back(s.size());
    return sizes;
}

FaultSticks two_faults()
{
    FaultSticks f;
    f.inline_type = false;
    f.names = {QStringLiteral("A"), QStringLiteral("Б 2")};
    f.sticks = {{{{523456.78f, 6712345.5f, 0.f}, {523456.78f, 6712345.5f, 4500.25f}}, {{1.f, 2.f, 3.f}}},
                {{{-0.125f, 1e-3f, 123456.7f}}}};
    f.inlines = {{{10, 10}, {11}}, {{0}}};
    f.crosslines = {{{20, 21}, {22}}, {{-5}}};
    return f;
}

}  // namespace

class TestFaultSticks : public QObject {
    Q_OBJECT

private slots:
    void readFixture();
    void singleLine();
    void keywordSetsType_data();
    void keywordSetsType();
    void shortLinesSkipped();
    void emptyFileChangesNothing();
    void badNumbers_data();
    void badNumbers();
    void writeLayout();
    void writeOneFault();
    void roundTripAtFullPrecision();
    void namesWithSeparators();
    void fileNames();
};

void TestFaultSticks::readFixture()
{
    FaultSticks f;
    QVERIFY(read_charisma_fault_sticks(fixture("sticks_inline.txt"), f));
    QVERIFY(f.inline_type);
    // Names F1, F2, F1: a name that comes back starts a further fault.
    QCOMPARE(f.names, (std::vector<QString>{"F1", "F2", "F1"}));
    // Stick numbers 1, 1, 2, 2, 1: three sticks of two, two and one points.
    QCOMPARE(stick_sizes(f.sticks[0]), (std::vector<std::size_t>{2, 2, 1}));
    QCOMPARE(stick_sizes(f.sticks[1]), (std::vector<std::size_t>{1}));
    QCOMPARE(stick_sizes(f.sticks[2]), (std::vector<std::size_t>{1}));
    QVERIFY((f.sticks[0][0][1] == FaultPoint{523456.78f, 6712345.5f, 1500.25f}));
    QVERIFY((f.sticks[0][2][0] == FaultPoint{523470, 6712360, 100}));
    QCOMPARE(f.inlines[0], (std::vector<std::vector<int>>{{100, 100}, {101, 101}, {102}}));
    QCOMPARE(f.crosslines[0], (std::vector<std::vector<int>>{{200, 201}, {200, 201}, {200}}));
    QCOMPARE(f.inlines[1], (std::vector<std::vector<int>>{{7}}));
    QCOMPARE(f.crosslines[2], (std::vector<std::vector<int>>{{10}}));
}

void TestFaultSticks::singleLine()
{
    QTemporaryDir dir;
    FaultSticks f;
    QVERIFY(read_charisma_fault_sticks(text_file(dir, "CROSSLINE- 1.9 -2.7 10 20 30 X 4"), f));
    QVERIFY(!f.inline_type);
    QCOMPARE(f.names, std::vector<QString>{"X"});
    QVERIFY((f.sticks == std::vector<std::vector<std::vector<FaultPoint>>>{{{{10, 20, 30}}}}));
    // Inline and crossline numbers are truncated reals.
    QCOMPARE(f.inlines, (std::vector<std::vector<std::vector<int>>>{{{1}}}));
    QCOMPARE(f.crosslines, (std::vector<std::vector<std::vector<int>>>{{{-2}}}));
}

void TestFaultSticks::keywordSetsType_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<bool>("inlineType");
    QTest::newRow("INLINE-") << QByteArray("INLINE-") << true;
    QTest::newRow("inline lower case") << QByteArray("inline") << true;
    QTest::newRow("CROSSLINE-") << QByteArray("CROSSLINE-") << false;
    QTest::newRow("other") << QByteArray("FAULT") << false;
}

void TestFaultSticks::keywordSetsType()
{
    QFETCH(QByteArray, keyword);
    QFETCH(bool, inlineType);
    QTemporaryDir dir;
    FaultSticks f;
    // Only the first point line's keyword counts.
    QVERIFY(read_charisma_fault_sticks(
        text_file(dir, keyword + " 1 2 3 4 5 F 1\nCROSSLINE- 1 2 3 4 6 F 1\n"), f));
    QCOMPARE(f.inline_type, inlineType);
}

void TestFaultSticks::shortLinesSkipped()
{
    QTemporaryDir dir;
    FaultSticks f;
    QVERIFY(read_charisma_fault_sticks(
        text_file(dir, "# exported faults\n\nINLINE- 1 2 3 4 5 F 1\n   \nINLINE- 1 2 3\nINLINE- 1 2 6 7 8 F 1\n"),
        f));
    QVERIFY((f.sticks == std::vector<std::vector<std::vector<FaultPoint>>>{{{{3, 4, 5}, {6, 7, 8}}}}));
}

void TestFaultSticks::emptyFileChangesNothing()
{
    QTemporaryDir dir;
    FaultSticks f = two_faults();
    for (const QByteArray& text : {QByteArray(), QByteArray("\n\n"), QByteArray("short line\n")}) {
        const CodecStatus s = read_charisma_fault_sticks(text_file(dir, text), f);
        QCOMPARE(s.code(), CodecError::UnknownFormat);
        QCOMPARE(f.names, two_faults().names);
        QVERIFY(f.sticks == two_faults().sticks);
    }
    QCOMPARE(read_charisma_fault_sticks(dir.filePath("none.txt"), f).code(), CodecError::OpenFailed);
    QCOMPARE(f.names, two_faults().names);
}

void TestFaultSticks::badNumbers_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("field");
    QTest::newRow("x") << QByteArray("INLINE- 1 2 abc 4 5 F 1") << "abc";
    QTest::newRow("inline") << QByteArray("INLINE- one 2 3 4 5 F 1") << "one";
    QTest::newRow("stick") << QByteArray("INLINE- 1 2 3 4 5 F s") << "\"s\"";
    QTest::newRow("z not finite") << QByteArray("INLINE- 1 2 3 4 nan F 1") << "nan";
    // Numbers beyond what the views hold are named as such, not as "not a
    // number".
    QTest::newRow("y beyond float") << QByteArray("INLINE- 1 2 3 1e300 5 F 1")
                                    << "holds a coordinate of 1e+300, beyond the ±1e+15";
    QTest::newRow("x beyond what the views hold") << QByteArray("INLINE- 1 2 2000000000000000.0 4 5 F 1")
                                                  << "holds a coordinate of 2e+15, beyond the ±1e+15";
    QTest::newRow("z beyond what the views hold") << QByteArray("INLINE- 1 2 3 4 -2e15 F 1")
                                                  << "holds a coordinate of -2e+15, beyond the ±1e+15";
}

void TestFaultSticks::badNumbers()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, field);
    QTemporaryDir dir;
    FaultSticks f = two_faults();
    const CodecStatus s = read_charisma_fault_sticks(text_file(dir, "INLINE- 1 2 3 4 5 F 1\n" + line + "\n"), f);
    QCOMPARE(s.code(), CodecError::BadValue);
    QVERIFY2(s.message().contains("line 2") && s.message().contains(field), qPrintable(s.message()));
    QVERIFY2(s.message(0).contains(QStringLiteral("строка 2")), qPrintable(s.message(0)));
    if (field.contains("beyond"))
        QVERIFY2(!s.message().contains("not a number") && s.message(0).contains(QStringLiteral("по модулю больше")),
                 qPrintable(s.message(0)));
    QCOMPARE(f.names, two_faults().names);
}

void TestFaultSticks::writeLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    QVERIFY(write_charisma_fault_sticks(path, two_faults()));
    QCOMPARE(read_file(path),
             QByteArray("CROSSLINE-\t10\t20\t523456.78\t6712345.5\t0\tA\t1\n"
                        "CROSSLINE-\t10\t21\t523456.78\t6712345.5\t4500.25\tA\t1\n"
                        "CROSSLINE-\t11\t22\t1\t2\t3\tA\t2\n"
                        "CROSSLINE-\t0\t-5\t-0.125\t0.001\t123456.7\tБ_2\t1\n"));
    FaultSticks inl = two_faults();
    inl.inline_type = true;
    QVERIFY(write_charisma_fault_sticks(path, inl));
    QVERIFY(read_file(path).startsWith("INLINE-\t10\t20\t"));
}

void TestFaultSticks::writeOneFault()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("one.txt");
    QVERIFY(write_charisma_fault_sticks(path, two_faults(), 1));
    QCOMPARE(read_file(path), QByteArray("CROSSLINE-\t0\t-5\t-0.125\t0.001\t123456.7\tБ_2\t1\n"));
    QCOMPARE(write_charisma_fault_sticks(path, two_faults(), 2).code(), CodecError::BadGrid);
}

void TestFaultSticks::roundTripAtFullPrecision()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rt.txt");
    FaultSticks f = two_faults();
    f.names[1] = QStringLiteral("B");
    f.sticks[1][0][0] = FaultPoint{6543210.5f, 7654321.25f, 1.0f / 3.0f};
    QVERIFY(write_charisma_fault_sticks(path, f));
    FaultSticks back;
    QVERIFY(read_charisma_fault_sticks(path, back));
    QCOMPARE(back.names, f.names);
    QVERIFY(back.sticks == f.sticks);  // bit for bit
    QCOMPARE(back.inlines, f.inlines);
    QCOMPARE(back.crosslines, f.crosslines);
    QCOMPARE(back.inline_type, f.inline_type);
}

void TestFaultSticks::namesWithSeparators()
{
    QCOMPARE(charisma_name_field(QStringLiteral("Main  fault,north\tside")), QStringLiteral("Main_fault_north_side"));
    QTemporaryDir dir;
    const QString path = dir.filePath("n.txt");
    FaultSticks f = two_faults();
    QVERIFY(write_charisma_fault_sticks(path, f));
    FaultSticks back;
    QVERIFY(read_charisma_fault_sticks(path, back));
    QCOMPARE(back.names, (std::vector<QString>{"A", "Б_2"}));
    QVERIFY(back.sticks == f.sticks);
}

void TestFaultSticks::fileNames()
{
    QCOMPARE(fault_file_names("/d", {"F1", "F2"}), (std::vector<QString>{"/d/fault F1.txt", "/d/fault F2.txt"}));
    // Equal names, also in other letter case, never share a file.
    QCOMPARE(fault_file_names("/d", {"A", "A", "a", "A (2)"}),
             (std::vector<QString>{"/d/fault A.txt", "/d/fault A (2).txt", "/d/fault a (3).txt",
                                   "/d/fault A (2) (2).txt"}));
    // Names cannot lead out of the folder; nothing left gives the position.
    const std::vector<QString> unsafe = fault_file_names("/d", {"../../etc/x", "a/b\\c:d", "", "  "});
    QCOMPARE(unsafe.size(), std::size_t(4));
    for (const QString& name : unsafe) {
        QVERIFY2(name.startsWith("/d/fault ") && !name.mid(3).contains('/') && !name.contains(".."),
                 qPrintable(name));
        QVERIFY(name.endsWith(".txt"));
    }
    QCOMPARE(unsafe[2], QStringLiteral("/d/fault 3.txt"));
    QCOMPARE(unsafe[3], QStringLiteral("/d/fault 4.txt"));
}

QTEST_GUILESS_MAIN(TestFaultSticks)
#include "tst_fault_sticks.moc"
