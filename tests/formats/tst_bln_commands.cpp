// Profile-scheme import and the one-polyline BLN writer of the main window,
// offscreen.
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "format_test_support.h"
#include "formats/bln.h"

#include <QAction>
#include <QTemporaryDir>
#include <QtTest>

using namespace fmt_test;

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TOLMERA_TEST_DATA_DIR "/") + QLatin1String(name);
}

const std::vector<std::vector<double>> kOld{{9, 9, 8, 8}};

}  // namespace

class TestBlnCommands : public QObject {
    Q_OBJECT

private slots:
    void importProfiles();
    void cancelledImportKeepsTheScheme();
    void failedImportsKeepTheScheme_data();
    void failedImportsKeepTheScheme();
    void saveBLN();
};

void TestBlnCommands::importProfiles()
{
    FakeInteraction fake;
    MainWindow w;
    w.profiles_scheme = kOld;
    QVERIFY(!w.ui->view_profiles->isEnabled());
    fake.openNames << fixture("profiles_mixed.bln");
    w.on_import_profiles_scheme_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(fake.fileRequests[0].caption, QStringLiteral("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QStringLiteral("*.bln"));
    QCOMPARE(w.profiles_scheme, (std::vector<std::vector<double>>{
                                    {0, 0, 10, 10}, {1, 1, 2, 2, 3, 3, 4, 4},
                                    {523000.125, 6000000.5, 523100.25, 6000100.75}}));
    QVERIFY(w.ui->view_profiles->isEnabled());
}

void TestBlnCommands::cancelledImportKeepsTheScheme()
{
    FakeInteraction fake;
    MainWindow w;
    w.profiles_scheme = kOld;
    w.on_import_profiles_scheme_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.profiles_scheme, kOld);
    QVERIFY(w.ui->view_profiles->isEnabled());
}

void TestBlnCommands::failedImportsKeepTheScheme_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("cut short") << QByteArray("3,1\n1,2\n") << "3 points";
    QTest::newRow("bad point") << QByteArray("2,1\n1,2\nx,y\n") << "line 3";
    QTest::newRow("only one-point polylines") << QByteArray("1,1\n5,5\n") << "holds no profiles";
    QTest::newRow("missing file") << QByteArray() << "missing.bln";
}

void TestBlnCommands::failedImportsKeepTheScheme()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QString path = dir.filePath("missing.bln");
    if (!text.isEmpty()) {
        path = dir.filePath("p.bln");
        QVERIFY(write_file(path, text));
    }
    FakeInteraction fake;
    MainWindow w;
    w.language = 1;
    w.profiles_scheme = kOld;
    fake.openNames << path;
    w.on_import_profiles_scheme_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors()[0].contains(error), qPrintable(fake.errors()[0]));
    QCOMPARE(w.profiles_scheme, kOld);
}

void TestBlnCommands::saveBLN()
{
    QTemporaryDir dir;
    FakeInteraction fake;
    MainWindow w;
    std::vector<double> x{100, 523456.789}, y{200, 6712345.125};
    w.saveBLN(dir.filePath("line.bln"), x, y);
    QCOMPARE(read_file(dir.filePath("line.bln")), QByteArray("2,1\n100, 200\n523456.789, 6712345.125\n"));
    // Both readers take it back.
    std::vector<bln_polyline> lines;
    QVERIFY(read_bln_polylines(dir.filePath("line.bln"), lines, 2));
    QCOMPARE(lines, (std::vector<bln_polyline>{{100, 200, 523456.789, 6712345.125}}));

    std::vector<double> shorter{1};
    w.saveBLN(dir.filePath("bad.bln"), x, shorter);
    w.saveBLN(QString(), x, y);
    QCOMPARE(files_in(dir.path()), QStringList{"line.bln"});
    w.saveBLN(dir.filePath("no/such/folder/l.bln"), x, y);
    QCOMPARE(fake.errors().size(), 1);
}

QTEST_MAIN(TestBlnCommands)
#include "tst_bln_commands.moc"
