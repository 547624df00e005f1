// The statistics table and the mean-density table commands of the main
// window, offscreen, with scripted dialogs and temporary files.
#include <QtTest>

#include <QClipboard>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "editing/statisticsdialog.h"
#include "fake_interaction.h"
#include "file_size_limit.h"

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

field2D plane(std::size_t ny, std::size_t nx, double v)
{
    return field2D(ny, std::vector<double>(nx, v));
}

// Levels at 0, 50 and 100 m on one row of three columns; horizon 1 at 25,
// 75 and 125 m. Cell value: 1 + k + 0.5 j.
void give_model(MainWindow& w, bool with_layers = true)
{
    w.den_grid = cube(3, 1, 3, 0);
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t j = 0; j < 3; ++j)
            w.den_grid[k][0][j] = float(1 + k) + 0.5f * j;
    w.x_calc = {0, 10, 20};
    w.y_calc = {0};
    w.z_calc = {0, 50, 100};
    if (with_layers) {
        w.horizons = {plane(1, 3, 0), field2D{{25, 75, 125}}};
        w.horizons_params = {3, 1, 0, 20, 0, 0};
        w.densities = {0, 0};
        w.fixed = {false, false};
        w.layers_names = {"Upper", "Lower"};
    }
}

QStringList table_texts(const QTableWidget* t)
{
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < t->columnCount(); ++c)
            row << (t->item(r, c) ? t->item(r, c)->text() : QString("<none>"));
        out << row.join("|");
    }
    return out;
}

QString read_file(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString("<unreadable>");
    return QString::fromUtf8(f.readAll());
}

void write_file(const QString& path, const QString& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write(text.toUtf8());
}

}  // namespace

class TestStatisticsWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); fake.onDialog = nullptr; }

    void dialogTexts_data();
    void dialogTexts();
    void dialogData();
    void copySelection_data();
    void copySelection();
    void statsCommand();
    void columnsFitTheirTexts_data();
    void columnsFitTheirTexts();
    void statsWithoutLayersAndShortNames();
    void statsSayWhyWhenHorizonsAreOffTheGrid_data();
    void statsSayWhyWhenHorizonsAreOffTheGrid();
    void exportDepthTable();
    void exportLayerTable();
    void exportRefusals();
    void importDepthTable();
    void importLayerTable();
    void importRefusals();

private:
    FakeInteraction fake;
    QTemporaryDir dir;
};

void TestStatisticsWindow::dialogTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("headers");
    QTest::newRow("English") << 1 << "Statistics" << QStringList{"Layer's name", "Min", "Max", "Mean"};
    QTest::newRow("other non-zero") << 7 << "Statistics" << QStringList{"Layer's name", "Min", "Max", "Mean"};
    QTest::newRow("Russian") << 0 << QString::fromUtf8("Статистика")
                             << QStringList{QString::fromUtf8("Имя слоя"), QString::fromUtf8("Минимум"),
                                            QString::fromUtf8("Максимум"), QString::fromUtf8("Среднее")};
}

void TestStatisticsWindow::dialogTexts()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QStringList, headers);
    StatisticsDialog d;
    QCOMPARE(d.objectName(), QString("StatisticsDialog"));
    QCOMPARE(d.size(), QSize(530, 313));
    auto* t = d.findChild<QTableWidget*>("tableWidget");
    QCOMPARE(t->columnCount(), 4);
    QCOMPARE(t->horizontalHeaderItem(0)->text(), QString("Layer"));
    QCOMPARE(d.windowTitle(), QString("Statistics"));
    d.setLanguage(language);
    QCOMPARE(d.windowTitle(), title);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(t->horizontalHeaderItem(c)->text(), headers[c]);
}

void TestStatisticsWindow::dialogData()
{
    StatisticsDialog d;
    auto* t = d.findChild<QTableWidget*>("tableWidget");
    d.setData({}, {});
    QCOMPARE(t->rowCount(), 0);
    d.setData({{1, 2}}, {"a"});  // a record of fewer than three values
    QCOMPARE(t->rowCount(), 0);
    // Every digit the value has: a cell value (single precision) with the
    // digits of the cell, any other value with the shortest text that reads
    // back to it; never six digits that stand for another number.
    d.setData({{1.23456789, 2, 1e-7}, {double(2.4f), double(2.55f), 2.5500000000000003}, {-0.5, 1234567, 2.25}},
              {"Sand", "Clay", "Total"});
    QCOMPARE(table_texts(t), (QStringList{"Sand|1.23456789|2|1e-07", "Clay|2.4|2.55|2.5500000000000003",
                                          "Total|-0.5|1234567|2.25"}));
}

void TestStatisticsWindow::copySelection_data()
{
    QTest::addColumn<QList<QPoint>>("cells");  // (column, row)
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("nothing selected") << QList<QPoint>{} << int(Qt::ControlModifier) << "\n\n\n\n";
    QTest::newRow("third mean") << QList<QPoint>{{3, 2}} << int(Qt::ControlModifier) << "\n\n2.5\t\n\n";
    QTest::newRow("two whole rows")
        << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}} << int(Qt::ControlModifier)
        << "L1\t1\t2\t1.5\t\nL2\t3\t4\t3.5\t\n\n\n";
    QTest::newRow("Ctrl+Shift+C does nothing")
        << QList<QPoint>{{3, 2}} << int(Qt::ControlModifier | Qt::ShiftModifier) << "untouched";
    QTest::newRow("C alone does nothing") << QList<QPoint>{{3, 2}} << int(Qt::NoModifier) << "untouched";
}

void TestStatisticsWindow::copySelection()
{
    QFETCH(QList<QPoint>, cells);
    QFETCH(int, modifiers);
    QFETCH(QString, clipboard);
    StatisticsDialog d;
    d.setData({{1, 2, 1.5}, {3, 4, 3.5}, {5, 6, 2.5}, {0, 9, 4.5}}, {"L1", "L2", "L3", "All"});
    auto* t = d.findChild<QTableWidget*>("tableWidget");
    t->clearSelection();
    for (const QPoint& p : cells)
        t->item(p.y(), p.x())->setSelected(true);
    QApplication::clipboard()->setText("untouched");
    // Both on the dialog and on the table, which has the focus in use.
    QTest::keyClick(&d, Qt::Key_C, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::clipboard()->text(), clipboard);
    QApplication::clipboard()->setText("untouched");
    QTest::keyClick(t, Qt::Key_C, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::clipboard()->text(), clipboard);
}

void TestStatisticsWindow::statsSayWhyWhenHorizonsAreOffTheGrid_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::newRow("English") << 1
                             << "Statistics error: the horizons are not on the nodes of the 3D density grid. "
                                "Check parameters of horizons and 3D density grid";
    QTest::newRow("Russian") << 0
                             << QString::fromUtf8("Ошибка статистики: горизонты не лежат на узлах 3D грида плотности. "
                                                  "Проверьте параметры разбиения горизонтов и куба плотности");
}

// After regridding only the horizons they lie on another lattice than the
// density grid: the command says so instead of a table of zeros.
void TestStatisticsWindow::statsSayWhyWhenHorizonsAreOffTheGrid()
{
    QFETCH(int, language);
    QFETCH(QString, message);
    MainWindow w;
    w.language = language;
    give_model(w);
    w.regridHorizons({5, 1, 0, 20, 0, 0});
    QCOMPARE(w.horizons[1].front().size(), std::size_t(5));
    const vector3D before = w.den_grid;
    fake.clear();
    fake.onDialog = [](QDialog*) { return int(QDialog::Rejected); };
    w.on_density_stats_triggered();
    QVERIFY(fake.dialogs.isEmpty());
    QCOMPARE(fake.errors(), QStringList{message});
    QCOMPARE(w.den_grid, before);

    // Back on the grid, the table opens again.
    w.regridHorizonsToGrid();
    fake.clear();
    w.on_density_stats_triggered();
    QCOMPARE(fake.dialogs, QStringList{"StatisticsDialog"});
    QVERIFY(fake.errors().isEmpty());
}

void TestStatisticsWindow::statsCommand()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    QStringList rows;
    QString title;
    fake.onDialog = [&](QDialog* d) {
        rows = table_texts(d->findChild<QTableWidget*>("tableWidget"));
        title = d->windowTitle();
        return int(QDialog::Rejected);
    };
    w.on_density_stats_triggered();
    QCOMPARE(fake.dialogs, QStringList{"StatisticsDialog"});
    QCOMPARE(title, QString("Statistics"));
    // Layer 0: level 0 all three, level 1 columns 1 and 2, level 2 column 2.
    const std::vector<double> upper = w.calcLayerStats(0);
    const std::vector<double> lower = w.calcLayerStats(1);
    QCOMPARE(upper, (std::vector<double>{1, 4, (1 + 1.5 + 2 + 2.5 + 3 + 4) / 6}));
    QCOMPARE(lower, (std::vector<double>{2, 3.5, (2 + 3 + 3.5) / 3}));
    QCOMPARE(rows, (QStringList{"Upper|1|4|2.3333333333333335", "Lower|2|3.5|2.8333333333333335", "Total|1|4|2.5"}));
    QCOMPARE(w.progress_label->text(), QString("stats 2/2"));
}

void TestStatisticsWindow::columnsFitTheirTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << 1;
    QTest::newRow("Russian") << 0;
}

// At the window's first size every text of the table is shown whole, not
// shortened to "2....": each column is at least as wide as its widest text
// and its header need.
void TestStatisticsWindow::columnsFitTheirTexts()
{
    QFETCH(int, language);
    MainWindow w;
    w.language = language;
    give_model(w);
    w.layers_names = {"Upper sandstone", "Lower"};
    QStringList problems;
    int rows = 0;
    fake.onDialog = [&](QDialog* d) {
        d->show();
        QCoreApplication::processEvents();
        const auto* t = d->findChild<QTableWidget*>("tableWidget");
        rows = t->rowCount();
        const QFontMetrics fm(t->font());
        for (int c = 0; c < t->columnCount(); ++c) {
            int widest = t->horizontalHeader()->fontMetrics().horizontalAdvance(t->horizontalHeaderItem(c)->text()) + 6;
            for (int r = 0; r < t->rowCount(); ++r)
                widest = std::max(widest, fm.horizontalAdvance(t->item(r, c)->text()) + 6);
            if (t->columnWidth(c) < widest)
                problems << QString("column %1: %2 px for %3 px").arg(c).arg(t->columnWidth(c)).arg(widest);
        }
        return int(QDialog::Rejected);
    };
    w.on_density_stats_triggered();
    QCOMPARE(rows, 3);  // the means have 17 digits: 2.3333333333333335
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestStatisticsWindow::statsWithoutLayersAndShortNames()
{
    MainWindow w;
    w.on_density_stats_triggered();  // no grid: nothing at all
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(fake.notes.isEmpty());

    give_model(w, false);
    QStringList rows;
    fake.onDialog = [&](QDialog* d) {
        rows = table_texts(d->findChild<QTableWidget*>("tableWidget"));
        return int(QDialog::Rejected);
    };
    w.language = 0;
    w.on_density_stats_triggered();
    QCOMPARE(rows, QStringList{QString::fromUtf8("Все|1|4|2.5")});

    give_model(w);
    w.layers_names = {"Upper"};  // fewer names than layers: every layer row is named " "
    w.language = 1;
    w.on_density_stats_triggered();
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[0].startsWith(" |1|4|"));
    QVERIFY(rows[1].startsWith(" |2|3.5|"));
}

void TestStatisticsWindow::exportDepthTable()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    const QString path = dir.filePath("depth.txt");
    fake.saveNames << path;
    w.on_export_total_mean_dens_triggered();
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QString("*.txt"));
    QCOMPARE(fake.messages(), QStringList{"Export finished"});
    QCOMPARE(read_file(path), QString("z dens\n0 1.5\n50 2.5\n100 3.5\n"));

    fake.clear();
    w.language = 0;
    fake.saveNames << path;
    w.on_export_total_mean_dens_triggered();
    QCOMPARE(fake.messages(), QStringList{QString::fromUtf8("Средняя плотность экспортирована")});
}

void TestStatisticsWindow::exportLayerTable()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    const QString path = dir.filePath("layers.txt");
    fake.saveNames << path;
    w.on_export_layers_mean_dens_triggered();
    QCOMPARE(fake.messages(), QStringList{"Export finished"});
    QCOMPARE(read_file(path), QString("z1 dens1 z2 dens2 \n0 1.5 0 *  \n50 2.75 50 2  \n100 4 100 3.25  \n"));

    // Cancelled file dialog: nothing written, nothing said.
    fake.clear();
    w.on_export_layers_mean_dens_triggered();
    QVERIFY(fake.notes.isEmpty());
}

void TestStatisticsWindow::exportRefusals()
{
    MainWindow w;
    w.language = 1;
    const QString path = dir.filePath("refused.txt");
    w.on_export_total_mean_dens_triggered();
    w.on_export_layers_mean_dens_triggered();
    QCOMPARE(fake.errors(), (QStringList{"Density grid is empty", "Density grid is empty"}));
    QVERIFY(fake.fileRequests.isEmpty());

    fake.clear();
    give_model(w, false);
    w.on_export_layers_mean_dens_triggered();
    QCOMPARE(fake.errors(), QStringList{"Export error. Check parameters of horizons and 3D density grid"});

    // Horizons on another lattice: refused, and a file already there stays whole.
    fake.clear();
    write_file(path, "keep me\n");
    give_model(w);
    w.horizons = {plane(2, 3, 0), plane(2, 3, 50)};
    fake.saveNames << path;
    w.on_export_layers_mean_dens_triggered();
    QCOMPARE(fake.errors(), QStringList{"Export error. Check parameters of horizons and 3D density grid"});
    QCOMPARE(read_file(path), QString("keep me\n"));
    QVERIFY(fake.messages().isEmpty());

    // A device that refuses the bytes (a full disk): the cause is shown and
    // the table already there stays whole.
    fake.clear();
    w.den_grid = cube(600, 1, 1, 2.5f);
    w.z_calc.clear();
    for (int k = 0; k < 600; ++k)
        w.z_calc.push_back(10.0 * k);
    fake.saveNames << path;
    {
        FileSizeLimit limit(1024);
        QVERIFY(limit.ok());
        w.on_export_total_mean_dens_triggered();
    }
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().contains("refused.txt") && fake.errors().front().contains("File too large"),
             qPrintable(fake.errors().front()));
    QCOMPARE(read_file(path), QString("keep me\n"));
    QVERIFY(fake.messages().isEmpty());

    // A folder that does not exist.
    fake.clear();
    fake.saveNames << dir.filePath("no/such/folder/t.txt");
    w.on_export_total_mean_dens_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().startsWith("Can't create file ") && fake.errors().front().contains("t.txt"),
             qPrintable(fake.errors().front()));
    QVERIFY(fake.messages().isEmpty());
}

void TestStatisticsWindow::importDepthTable()
{
    MainWindow w;
    give_model(w);
    const QString path = dir.filePath("in_depth.txt");
    write_file(path, "z dens\n60 2.5\n-20 2.0\n-60 9\n150 9\n");
    fake.openNames << path;
    w.on_import_total_mean_dens_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(fake.fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake.fileRequests[0].filter, QString("*.txt"));
    QCOMPARE(w.den_grid[0], (vector2D{{2, 2, 2}}));
    QCOMPARE(w.den_grid[1], (vector2D{{2.5f, 2.5f, 2.5f}}));
    QCOMPARE(w.den_grid[2], (vector2D{{3, 3.5f, 4}}));
    QVERIFY(w.undo_stack.empty());

    // Export and import give the level means back.
    const QString round = dir.filePath("round.txt");
    give_model(w);
    fake.saveNames << round;
    w.on_export_total_mean_dens_triggered();
    w.den_grid = cube(3, 1, 3, 0);
    fake.openNames << round;
    w.on_import_total_mean_dens_triggered();
    QCOMPARE(w.den_grid, (vector3D{{{1.5f, 1.5f, 1.5f}}, {{2.5f, 2.5f, 2.5f}}, {{3.5f, 3.5f, 3.5f}}}));
}

void TestStatisticsWindow::importLayerTable()
{
    MainWindow w;
    give_model(w);
    const QString path = dir.filePath("in_layers.txt");
    write_file(path, "whatever\n50 2.1 50 2.6\n100 2.2 100 * \n");
    fake.openNames << path;
    w.on_import_layers_mean_dens_triggered();
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(fake.fileRequests[0].filter, QString("Text file (*.txt)"));
    QCOMPARE(w.den_grid[0], (vector2D{{1, 1.5f, 2}}));
    QCOMPARE(w.den_grid[1], (vector2D{{2.6f, 2.1f, 2.1f}}));
    QCOMPARE(w.den_grid[2], (vector2D{{3, 3.5f, 2.2f}}));
}

void TestStatisticsWindow::importRefusals()
{
    MainWindow w;
    w.language = 1;
    w.on_import_total_mean_dens_triggered();
    w.on_import_layers_mean_dens_triggered();
    QCOMPARE(fake.errors(), (QStringList{"Density grid is empty", "Density grid is empty"}));
    fake.clear();
    w.language = 0;
    w.on_import_total_mean_dens_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("3D грид плотности пуст")});

    // A line that does not read: refused whole, with its number.
    fake.clear();
    w.language = 1;
    give_model(w);
    const vector3D before = w.den_grid;
    const QString path = dir.filePath("bad.txt");
    write_file(path, "z dens\n0 2.2\n50 two\n");
    fake.openNames << path;
    w.on_import_total_mean_dens_triggered();
    QCOMPARE(fake.errors(),
             QStringList{"Line 3 of the table cannot be read:\n50 two\nThe density grid is unchanged."});
    QCOMPARE(w.den_grid, before);

    fake.clear();
    write_file(path, "z1 dens1 z2 dens2\n0 2.2 0 x\n");
    fake.openNames << path;
    w.on_import_layers_mean_dens_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors().front().startsWith("Line 2 of the table cannot be read"));
    QCOMPARE(w.den_grid, before);

    // Without horizons the table by layer has nowhere to go.
    fake.clear();
    give_model(w, false);
    w.horizons.clear();
    write_file(path, "z1 dens1\n0 2.2\n");
    fake.openNames << path;
    w.on_import_layers_mean_dens_triggered();
    QCOMPARE(fake.errors(), QStringList{"Import error. Check parameters of horizons and 3D density grid"});

    // A file that cannot be opened.
    fake.clear();
    fake.openNames << dir.filePath("missing.txt");
    w.on_import_total_mean_dens_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors().front().startsWith("Can't read the file "));
}

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statistics_window.moc"
