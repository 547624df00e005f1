// The regression corpus of the reader fuzz targets: every file kept under
// fuzz/corpus/<reader>/ (seeds and inputs that once crashed a reader) must
// go through its reader's fuzz entry without a crash. A reader may refuse
// the bytes; the sanitizer build (tools/sanitize.sh) also checks memory.
#include "fuzz/reader_entries.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestReaderCorpus : public QObject
{
    Q_OBJECT

private slots:
    void everyReaderHasSeeds_data();
    void everyReaderHasSeeds();
    void corpusFile_data();
    void corpusFile();
};

namespace {

QDir corpusDir(const char* reader)
{
    return QDir(QStringLiteral(TOLMERA_FUZZ_CORPUS_DIR "/") + QLatin1String(reader));
}

QStringList corpusFiles(const char* reader)
{
    return corpusDir(reader).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

void TestReaderCorpus::everyReaderHasSeeds_data()
{
    QTest::addColumn<QString>("reader");
    for (const fuzz_entry::Reader& r : fuzz_entry::readers())
        QTest::newRow(r.name) << QString::fromLatin1(r.name);
}

// A reader without a corpus would silently drop out of the regression run.
void TestReaderCorpus::everyReaderHasSeeds()
{
    QFETCH(QString, reader);
    QVERIFY2(corpusFiles(qPrintable(reader)).size() >= 2, qPrintable(reader));
}

void TestReaderCorpus::corpusFile_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("path");
    for (const fuzz_entry::Reader& r : fuzz_entry::readers())
        for (const QString& name : corpusFiles(r.name))
            QTest::newRow(qPrintable(QLatin1String(r.name) + QLatin1Char('/') + name))
                << QString::fromLatin1(r.name) << corpusDir(r.name).filePath(name);
}

void TestReaderCorpus::corpusFile()
{
    QFETCH(QString, reader);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const fuzz_entry::Entry entry = fuzz_entry::entry_of(qPrintable(reader));
    QVERIFY(entry);
    QCOMPARE(entry(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())), 0);
}

QTEST_GUILESS_MAIN(TestReaderCorpus)
#include "tst_reader_corpus.moc"
