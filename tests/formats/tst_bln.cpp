// BLN polylines: reading profile schemes and vertical faults, writing one
// polyline, from small text fixtures.
#include "formats/bln.h"

#include "format_test_support.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace fmt_test;

Q_DECLARE_METATYPE(CodecError)

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/") + QLatin1String(name);
}

QString text_file(const QTemporaryDir& dir, const QByteArray& text)
{
    const QString path = dir.filePath("f.bln");
    return write_file(path, text) ? path : QString();
}

}  // namespace

class TestBln : public QObject {
    Q_OBJECT

private slots:
    void threePointProfile();
    void headerForms_data();
    void headerForms();
    void mixedFileAsProfilesAndAsFaults();
    void nonHeaderLinesSkipped();
    void badFiles_data();
    void badFiles();
    void absurdCountDoesNotAllocate();
    void verticalFaults();
    void writeOnePolyline();
    void writtenPolylineReadsBackAtFullPrecision();
    void writerRefuses();
};

void TestBln::threePointProfile()
{
    std::vector<bln_polyline> lines;
    QVERIFY(read_bln_polylines(fixture("profile_three_points.bln"), lines, 2));
    QCOMPARE(lines, (std::vector<bln_polyline>{{100, 200, 150, 200, 200, 250}}));
}

void TestBln::headerForms_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("comma") << QByteArray("2,1\n1,2\n3,4\n");
    QTest::newRow("blank") << QByteArray("2 1\n1 2\n3 4\n");
    QTest::newRow("comma and blank") << QByteArray("2, 1\n1, 2\n3, 4\n");
    QTest::newRow("tabs and runs of blanks") << QByteArray("  2\t\t1\n1 \t 2\n   3    4   \n");
    QTest::newRow("count alone, points with z") << QByteArray("2\n1,2,99\n3,4,98\n");
    QTest::newRow("windows line ends") << QByteArray("2,1\r\n1,2\r\n3,4\r\n");
    QTest::newRow("no final line end") << QByteArray("2,1\n1,2\n3,4");
}

void TestBln::headerForms()
{
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    std::vector<bln_polyline> lines;
    QVERIFY(read_bln_polylines(text_file(dir, text), lines, 2));
    QCOMPARE(lines, (std::vector<bln_polyline>{{1, 2, 3, 4}}));
}

void TestBln::mixedFileAsProfilesAndAsFaults()
{
    // Blank lines around and inside polylines, a polyline of one point whose
    // point has a whole-number x (it must not be taken for a header).
    std::vector<bln_polyline> profiles;
    QVERIFY(read_bln_polylines(fixture("profiles_mixed.bln"), profiles, 2));
    QCOMPARE(profiles, (std::vector<bln_polyline>{{0, 0, 10, 10},
                                                   {1, 1, 2, 2, 3, 3, 4, 4},
                                                   {523000.125, 6000000.5, 523100.25, 6000100.75}}));

    std::vector<bln_polyline> faults;
    QVERIFY(read_bln_polylines(fixture("profiles_mixed.bln"), faults, 1));
    QCOMPARE(faults.size(), std::size_t(4));
    QCOMPARE(faults[2], (bln_polyline{523000, 6000000}));
    QCOMPARE(faults[3], profiles[2]);
}

void TestBln::nonHeaderLinesSkipped()
{
    QTemporaryDir dir;
    std::vector<bln_polyline> lines;
    QVERIFY(read_bln_polylines(text_file(dir, "title line\n0,1\n-3,1\n2.5,1\n2,1\n5,6\n7,8\n"), lines, 1));
    QCOMPARE(lines, (std::vector<bln_polyline>{{5, 6, 7, 8}}));

    // A file without any polyline reads as empty.
    QVERIFY(read_bln_polylines(text_file(dir, "\n\n"), lines, 1));
    QVERIFY(lines.empty());
}

void TestBln::badFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<CodecError>("error");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("ends inside a polyline") << QByteArray("3,1\n1,2\n3,4\n") << CodecError::Truncated << "3 points";
    QTest::newRow("ends inside a later polyline")
        << QByteArray("2,1\n1,2\n3,4\n5,1\n1,1\n") << CodecError::Truncated << "line 4";
    QTest::newRow("point without y") << QByteArray("2,1\n1,2\n3\n") << CodecError::BadValue << "line 3";
    QTest::newRow("point not a number") << QByteArray("2,1\n1,2\nx,4\n") << CodecError::BadValue << "line 3";
    QTest::newRow("point not finite") << QByteArray("2,1\n1,2\ninf,4\n") << CodecError::BadValue << "line 3";
    // Coordinates beyond what the views hold (and a saved project holds).
    QTest::newRow("x 1e20") << QByteArray("2,1\n1,2\n1e20,4\n") << CodecError::BadValue
                            << "line 3 holds a coordinate of 1e+20, beyond the ±1e+15";
    QTest::newRow("y 1e39") << QByteArray("2,1\n1,1e39\n3,4\n") << CodecError::BadValue
                            << "line 2 holds a coordinate of 1e+39, beyond the ±1e+15";
    QTest::newRow("x just beyond -1e15") << QByteArray("1,1\n-1.0000000000001e15,4\n") << CodecError::BadValue
                                         << "line 2 holds a coordinate of -1.0000000000001e+15, beyond";
}

void TestBln::badFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(CodecError, error);
    QFETCH(QString, mentions);
    QTemporaryDir dir;
    std::vector<bln_polyline> lines{{9, 9}};
    const CodecStatus s = read_bln_polylines(text_file(dir, text), lines, 1);
    QCOMPARE(s.code(), error);
    QVERIFY2(s.message().contains(mentions), qPrintable(s.message()));
    QVERIFY(!s.message(0).isEmpty());
    QCOMPARE(lines, (std::vector<bln_polyline>{{9, 9}}));

    std::vector<bln_polyline> missing{{9, 9}};
    QCOMPARE(read_bln_polylines(dir.filePath("none.bln"), missing, 1).code(), CodecError::OpenFailed);
    QCOMPARE(missing, (std::vector<bln_polyline>{{9, 9}}));
}

void TestBln::absurdCountDoesNotAllocate()
{
    QTemporaryDir dir;
    std::vector<bln_polyline> lines;
    for (const char* header : {"2147483647,1\n", "9223372036854775807,1\n"}) {
        const CodecStatus s = read_bln_polylines(text_file(dir, QByteArray(header) + "1,2\n3,4\n"), lines, 1);
        QCOMPARE(s.code(), CodecError::Truncated);
    }
    // Too large even for a 64-bit count: not a header at all.
    QVERIFY(read_bln_polylines(text_file(dir, "99999999999999999999,1\n"), lines, 1));
    QVERIFY(lines.empty());
}

void TestBln::verticalFaults()
{
    std::vector<bln_polyline> lines;
    QVERIFY(read_bln_polylines(fixture("profile_three_points.bln"), lines, 1));
    const FaultSticks f = bln_vertical_faults(lines, 0, 5000);
    QCOMPARE(f.names, std::vector<QString>{"fault_N1"});
    QCOMPARE(f.inline_type, false);
    QCOMPARE(f.sticks.size(), std::size_t(1));
    QCOMPARE(f.sticks[0].size(), std::size_t(3));
    QVERIFY((f.sticks[0][0] == std::vector<FaultPoint>{{100, 200, 0}, {100, 200, 5000}}));
    QVERIFY((f.sticks[0][2] == std::vector<FaultPoint>{{200, 250, 0}, {200, 250, 5000}}));
    QCOMPARE(f.inlines, (std::vector<std::vector<std::vector<int>>>{{{0, 0}, {0, 0}, {0, 0}}}));
    QCOMPARE(f.crosslines, f.inlines);

    // Numbered by accepted polylines; an empty one makes no fault.
    const FaultSticks g = bln_vertical_faults({{1, 2}, {}, {3, 4, 5, 6}}, -10, 20);
    QCOMPARE(g.names, (std::vector<QString>{"fault_N1", "fault_N2"}));
    QVERIFY((g.sticks[1][1] == std::vector<FaultPoint>{{5, 6, -10}, {5, 6, 20}}));
}

void TestBln::writeOnePolyline()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("line.bln");
    QVERIFY(write_bln_polyline(path, {100, 150.5, -2e-7}, {200, 6712345.25, 0}));
    QCOMPARE(read_file(path), QByteArray("3,1\n100, 200\n150.5, 6712345.25\n-2e-07, 0\n"));
}

void TestBln::writtenPolylineReadsBackAtFullPrecision()
{
    const std::vector<double> x{523456.789012345, 0.1, 1.0 / 3.0};
    const std::vector<double> y{6712345.678901234, -0.2, -999999999999999.875};  // the last at the limit
    QTemporaryDir dir;
    const QString path = dir.filePath("line.bln");
    QVERIFY(write_bln_polyline(path, x, y));
    for (int min_points : {1, 2}) {
        std::vector<bln_polyline> lines;
        QVERIFY(read_bln_polylines(path, lines, min_points));
        QCOMPARE(lines.size(), std::size_t(1));
        for (std::size_t i = 0; i < x.size(); ++i) {
            QCOMPARE(lines[0][2 * i], x[i]);
            QCOMPARE(lines[0][2 * i + 1], y[i]);
        }
    }
}

void TestBln::writerRefuses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("line.bln");
    QVERIFY(write_file(path, "old"));
    QCOMPARE(write_bln_polyline(path, {}, {}).code(), CodecError::BadGrid);
    QCOMPARE(write_bln_polyline(path, {1, 2}, {1}).code(), CodecError::BadGrid);
    QCOMPARE(read_file(path), QByteArray("old"));
    QCOMPARE(write_bln_polyline(dir.path(), {1}, {1}).code(), CodecError::OpenFailed);
}

QTEST_GUILESS_MAIN(TestBln)
#include "tst_bln.moc"
