// The main window's memory check and inversion estimate, offscreen, with the
// question answered by a script.
#include <QtTest>

#include "app/mainwindow.h"
#include "engine/memory.h"
#include "fake_interaction.h"

class TestMainWindowMemory : public QObject
{
    Q_OBJECT

private slots:
    void small_run_asks_nothing();
    void huge_run_asks_data();
    void huge_run_asks();
    void question_names_the_run();
    void inversion_estimate();
};

void TestMainWindowMemory::small_run_asks_nothing()
{
    FakeInteraction fake;
    MainWindow w;
    QVERIFY(w.check_memory(64, 64, 10));
    QVERIFY(w.check_memory(64, 64, 10, effects_build_bytes_per_cell));
    QVERIFY(fake.questions.isEmpty());
}

void TestMainWindowMemory::huge_run_asks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("result");
    QTest::newRow("No stops") << int(QMessageBox::No) << false;
    QTest::newRow("Yes goes on") << int(QMessageBox::Yes) << true;
}

void TestMainWindowMemory::huge_run_asks()
{
    QFETCH(int, answer);
    QFETCH(bool, result);
    FakeInteraction fake;
    fake.answers << QMessageBox::StandardButton(answer);
    MainWindow w;
    // 65536 x 65536 x 1000 cells: far more than any machine has, so the
    // question comes although the need is above the memory available.
    w.language = 1;
    QCOMPARE(w.check_memory(65536, 65536, 1000), result);
    QCOMPARE(fake.questions.size(), 1);
    const auto& q = fake.questions.first();
    QCOMPARE(q.title, QString("Tolmera3D"));
    QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(q.defaultButton, QMessageBox::No);
    const double need = run_memory_need_gb(65536, 65536, 1000, 20.0);  // the default bytes per cell
    QVERIFY2(q.text.startsWith("High memory usage. You need at least "
                               + QString::number(need, 'g', 6) + " GB of "),
             qPrintable(q.text));
    QVERIFY(q.text.endsWith("\n Do you want to run inversion without changes?"));
}

// The question names the run that asks, in the window's language.
void TestMainWindowMemory::question_names_the_run()
{
    FakeInteraction fake;
    MainWindow w;
    w.language = 0;
    QVERIFY(!w.check_memory(65536, 65536, 1000, effects_build_bytes_per_cell, MemoryRun::HorizonFit));
    QCOMPARE(fake.questions.size(), 1);
    const double need = run_memory_need_gb(65536, 65536, 1000, effects_build_bytes_per_cell);
    QVERIFY(fake.questions[0].text.startsWith(QString::fromUtf8("Большой расход памяти. Требуется не менее ")
                                              + QString::number(need, 'g', 6) + QString::fromUtf8(" ГБ из ")));
    QVERIFY(fake.questions[0].text.contains(QString::fromUtf8("Запустить «Подбор границы» без изменений?")));
}

void TestMainWindowMemory::inversion_estimate()
{
    MainWindow w;
    QCOMPARE(w.calcInvMemory(), 0.0);
    w.den_grid.assign(50, vector2D(128, std::vector<float>(128, 2.0f)));
    w.expansion_factor = 0;
    QVERIFY(std::abs(w.calcInvMemory() - 0.5153) < 1e-4);
    w.expansion_factor = 0.5; // 128 * 2 = 256 per axis
    QCOMPARE(w.calcInvMemory(), 256.0 * 256 * 50 * 20 / (1 << 30) + 0.5);
}

QTEST_MAIN(TestMainWindowMemory)
#include "tst_mainwindow_memory.moc"
