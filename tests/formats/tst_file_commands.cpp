// What the File menu commands decide around the codecs: the format a name
// asks for, per-horizon file names, the node geometry of a saved map and
// failure texts that name the file.
#include "formats/file_commands.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

Q_DECLARE_METATYPE(CubeFileKind)

class TestFileCommands : public QObject {
    Q_OBJECT

private slots:
    void cubeKind_data();
    void cubeKind();
    void grdNames();
    void safeNames_data();
    void safeNames();
    void horizonFileNames_data();
    void horizonFileNames();
    void hostileLayerNamesStayInTheFolder();
    void mapGeometry();
    void failureTextNamesTheFile();
    void unknownSuffixNamesTheAcceptedOnes();
};

void TestFileCommands::cubeKind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<CubeFileKind>("kind");
    QTest::newRow("own") << "/d/model.3Dgrd" << CubeFileKind::OwnCube;
    QTest::newRow("own in capitals") << "/d/MODEL.3DGRD" << CubeFileKind::OwnCube;
    QTest::newRow("segy") << "/d/cube.sgy" << CubeFileKind::SegY;
    QTest::newRow("segy in capitals") << "/d/cube.SGY" << CubeFileKind::SegY;
    QTest::newRow("last dot counts") << "/d/cube.sgy.3dgrd" << CubeFileKind::OwnCube;
    QTest::newRow("other") << "/d/cube.dat" << CubeFileKind::Unknown;
    QTest::newRow("no suffix") << "/d/cube" << CubeFileKind::Unknown;
    QTest::newRow("segy spelled out") << "/d/cube.segy" << CubeFileKind::SegY;
    QTest::newRow("segy spelled out in capitals") << "/d/cube.SeGy" << CubeFileKind::SegY;
}

void TestFileCommands::cubeKind()
{
    QFETCH(QString, name);
    QFETCH(CubeFileKind, kind);
    QCOMPARE(cube_file_kind(name), kind);
}

void TestFileCommands::grdNames()
{
    QVERIFY(is_grd_name("/a/b.grd"));
    QVERIFY(is_grd_name("/a/b.GRD"));
    QVERIFY(is_grd_name("/a/b.c.grd"));
    QVERIFY(!is_grd_name("/a/b.txt"));
    QVERIFY(!is_grd_name("/a/grd"));
    QCOMPARE(cube_file_filter(), QStringLiteral("Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)"));
}

void TestFileCommands::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "Sand" << "Sand";
    QTest::newRow("Cyrillic and blanks") << QString::fromUtf8("Песчаник верхний") << QString::fromUtf8("Песчаник верхний");
    QTest::newRow("slash") << "a/b" << "a_b";
    QTest::newRow("backslash") << "a\\b" << "a_b";
    QTest::newRow("climbing") << "../../etc/passwd" << "____etc_passwd";
    QTest::newRow("dots only") << ".." << "_";
    QTest::newRow("three dots") << "..." << "_.";
    QTest::newRow("drive") << "C:evil" << "C_evil";
    QTest::newRow("control character") << QString("a") + QChar(10) + "b" << "a_b";
    QTest::newRow("wildcards") << "a*b?c" << "a_b_c";
    QTest::newRow("one dot kept") << "v1.2" << "v1.2";
}

void TestFileCommands::safeNames()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(safe_file_name_part(name), expected);
}

void TestFileCommands::horizonFileNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("layer");
    QTest::addColumn<QString>("expected");
    QTest::newRow("with layer name") << "/data/out/model.grd" << 1 << "Sand" << "/data/out/model 1 Sand.grd";
    QTest::newRow("empty layer name") << "/data/out/model.grd" << 2 << "" << "/data/out/model 2.grd";
    QTest::newRow("base up to the first dot") << "/data/out/model.v2.grd" << 3 << "Salt" << "/data/out/model 3 Salt.grd";
    QTest::newRow("blank-only layer name") << "/data/out/model.grd" << 4 << "   " << "/data/out/model 4.grd";
}

void TestFileCommands::horizonFileNames()
{
    QFETCH(QString, chosen);
    QFETCH(int, index);
    QFETCH(QString, layer);
    QFETCH(QString, expected);
    QCOMPARE(horizon_file_name(chosen, index, layer), expected);
}

void TestFileCommands::hostileLayerNamesStayInTheFolder()
{
    const QString folder = QStringLiteral("/data/out");
    for (const QString& layer : {QStringLiteral("../../x"), QStringLiteral("/etc/passwd"), QStringLiteral(".."),
                                 QStringLiteral("a/../../b"), QStringLiteral("..\\..\\c")}) {
        const QString file = horizon_file_name(folder + "/model.grd", 1, layer);
        const QFileInfo info(QDir::cleanPath(file));
        QCOMPARE(info.absolutePath(), folder);
        QVERIFY2(info.fileName().startsWith("model 1 ") && info.fileName().endsWith(".grd"), qPrintable(file));
    }
}

void TestFileCommands::mapGeometry()
{
    // From the node vectors when they fit the map.
    QCOMPARE(map_geometry(2, 3, {0, 10, 20}, {5, 15}), (std::vector<double>{3, 2, 0, 20, 5, 15}));
    // Otherwise from the first record with the map's counts (only six values).
    const std::vector<double> other{4, 2, 1, 2, 3, 4};
    const std::vector<double> fits{3, 2, 100, 300, 50, 60, 7, 8};
    QCOMPARE(map_geometry(2, 3, {}, {}, {other, fits}), (std::vector<double>{3, 2, 100, 300, 50, 60}));
    QCOMPARE(map_geometry(2, 3, {0, 10}, {5, 15}, {fits}), (std::vector<double>{3, 2, 100, 300, 50, 60}));
    QVERIFY(map_geometry(2, 3, {}, {}, {other, {3, 2}}).empty());
    QVERIFY(map_geometry(0, 3, {0, 10, 20}, {}).empty());
}

void TestFileCommands::unknownSuffixNamesTheAcceptedOnes()
{
    QCOMPARE(cube_file_suffixes(), (QStringList{"3Dgrd", "sgy", "segy"}));
    QCOMPARE(unknown_suffix_text("/d/cube.dat", cube_file_suffixes(), 1),
             QStringLiteral("File \"%1\" was not opened: the suffix \"dat\" is not read here. Accepted suffixes: "
                            "3Dgrd, sgy, segy (in any case).")
                 .arg(QDir::toNativeSeparators("/d/cube.dat")));
    QCOMPARE(unknown_suffix_text("/d/cube", {"txt", "bln"}, 1),
             QStringLiteral("File \"%1\" was not opened: its name has no suffix. Accepted suffixes: txt, bln (in any "
                            "case).")
                 .arg(QDir::toNativeSeparators("/d/cube")));
    const QString russian = unknown_suffix_text("/d/cube.dat", cube_file_suffixes(), 0);
    QVERIFY2(russian.contains(QStringLiteral("расширение \"dat\" не читается")) &&
                 russian.contains(QStringLiteral("3Dgrd, sgy, segy")),
             qPrintable(russian));
}

void TestFileCommands::failureTextNamesTheFile()
{
    const QString path = QStringLiteral("/tmp/some dir/field.grd");
    const CodecStatus plain = CodecStatus::failure(CodecError::BadGrid, "The grid is empty", QString::fromUtf8("Грид пуст"));
    const QString en = file_failure_text(path, plain, 1, true);
    QVERIFY(en.contains(QDir::toNativeSeparators(path)));
    QVERIFY(en.contains("The grid is empty"));
    QVERIFY(en.startsWith("Can't save"));
    const QString ru = file_failure_text(path, plain, 0, false);
    QVERIFY(ru.contains(QString::fromUtf8("Грид пуст")));
    QVERIFY(ru.contains(QDir::toNativeSeparators(path)));
    // A text that names the file already is kept as it is.
    const CodecStatus named = CodecStatus::failure(CodecError::OpenFailed, "Can't create file \"" + path + "\": denied");
    QCOMPARE(file_failure_text(path, named, 1, true), named.message());
}

QTEST_GUILESS_MAIN(TestFileCommands)
#include "tst_file_commands.moc"
