// The list of 2D-product project files: the command, the table and the map
// of the profiles with their enclosing rectangle in a turned frame.
#include "app/mainwindow.h"
#include "fake_interaction.h"
#include "formats/importtm2dfiles.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <qcustomplot.h>

#include <cmath>

namespace {

QTableWidget* table(QDialog* d) { return d->findChild<QTableWidget*>("filesTable"); }
QCustomPlot* map(QDialog* d) { return d->findChild<QCustomPlot*>("profiles_map"); }

QStringList rowTexts(QTableWidget* t, int row)
{
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->item(row, c) ? t->item(row, c)->text() : QString("<none>"));
    return out;
}

QCPCurve* rectangle(QCustomPlot* plot)
{
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* curve = qobject_cast<QCPCurve*>(plot->plottable(i)))
            return curve;
    return nullptr;
}

QList<QCPItemText*> labels(QCustomPlot* plot)
{
    QList<QCPItemText*> out;
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* t = qobject_cast<QCPItemText*>(plot->item(i)))
            out << t;
    return out;
}

QList<QCPItemLine*> arrows(QCustomPlot* plot)
{
    QList<QCPItemLine*> out;
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* l = qobject_cast<QCPItemLine*>(plot->item(i)))
            out << l;
    return out;
}

bool near(const QPointF& a, const QPointF& b)
{
    return std::fabs(a.x() - b.x()) < 1e-9 && std::fabs(a.y() - b.y()) < 1e-9;
}

const QStringList threeFiles{"/data/a.TM2Dproj", "/data/line.old.TM2Dproj", "/other/c.TM2Dproj"};

}  // namespace

class TestTm2dDialog : public QObject {
    Q_OBJECT

private slots:
    void noFileChosenDoesNothing();
    void commandListsTheChosenFiles();
    void form();
    void mapOfProfiles_data();
    void mapOfProfiles();
    void unreadableCellsCountAsZero();
    void mapTabDrawsOnlyWithRows();
    void okAndCancelClose_data();
    void okAndCancelClose();
};

void TestTm2dDialog::noFileChosenDoesNothing()
{
    FakeInteraction fake;
    MainWindow w;
    w.on_importTM2Dmodels_triggered();
    QCOMPARE(fake.fileRequests.size(), 1);
    QCOMPARE(fake.fileRequests[0].kind, QString("openMany"));
    QCOMPARE(fake.fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake.fileRequests[0].dir, QString());
    QCOMPARE(fake.fileRequests[0].filter, QString("*.TM2Dproj"));
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(fake.notes.isEmpty());
}

void TestTm2dDialog::commandListsTheChosenFiles()
{
    FakeInteraction fake;
    MainWindow w;
    fake.openNameLists << threeFiles;
    QList<QStringList> rows;
    int graphsOnMap = -1;
    fake.onDialog = [&](QDialog* d) {
        QTableWidget* t = table(d);
        for (int r = 0; r < t->rowCount(); ++r)
            rows << rowTexts(t, r);
        d->findChild<QTabWidget*>("tabWidget")->setCurrentIndex(1);
        graphsOnMap = map(d)->graphCount();
        d->findChild<QPushButton*>("OkButton")->click();
        return d->result();
    };
    w.on_importTM2Dmodels_triggered();
    QCOMPARE(fake.dialogs, QStringList{"ImportTM2Dfiles"});
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], (QStringList{"0", "0", "1", "1", "a"}));
    QCOMPARE(rows[1], (QStringList{"1", "-1", "2", "0", "line"}));
    QCOMPARE(rows[2], (QStringList{"2", "-2", "3", "-1", "c"}));
    QCOMPARE(graphsOnMap, 3);
    QVERIFY(fake.notes.isEmpty());
    // Nothing of the project changes.
    QVERIFY(!w.hasAnyData());
}

void TestTm2dDialog::form()
{
    ImportTM2Dfiles d(nullptr);
    QCOMPARE(d.windowTitle(), QString("Tolmera2D models"));
    QCOMPARE(d.size(), QSize(782, 538));
    auto* tabs = d.findChild<QTabWidget*>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QString("Таблица"));
    QCOMPARE(tabs->tabText(1), QString("Карта"));
    QCOMPARE(d.findChild<QPushButton*>("OkButton")->text(), QString("Ok"));
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString("Отмена"));
    QCOMPARE(d.findChild<QPushButton*>("pushButton")->text(), QString("Ok"));
    QCOMPARE(d.findChild<QLineEdit*>("input_azimuth")->text(), QString("0"));
    QVERIFY(d.findChild<QLabel*>("label")->text().contains("Азимут, "));
    QVERIFY(map(&d));

    QTableWidget* t = table(&d);
    QCOMPARE(t->columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << t->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{"X0", "Y0", "X1", "Y1", "Файл"}));
    QVERIFY(t->horizontalHeader()->stretchLastSection());

    d.setFilesCount(2);
    QCOMPARE(t->rowCount(), 2);
    d.setFiles({"/x/first.TM2Dproj", "second"});
    QCOMPARE(rowTexts(t, 1), (QStringList{"1", "-1", "2", "0", "second"}));
    for (int c = 0; c < 4; ++c)
        QVERIFY(t->item(0, c)->flags() & Qt::ItemIsEditable);
    QCOMPARE(t->item(0, 4)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    // More files than rows: the table grows.
    d.setFiles({"a", "b", "c"});
    QCOMPARE(t->rowCount(), 3);
    QCOMPARE(rowTexts(t, 2), (QStringList{"2", "-2", "3", "-1", "c"}));
}

void TestTm2dDialog::mapOfProfiles_data()
{
    QTest::addColumn<QString>("azimuth");
    QTest::addColumn<QPointF>("first");   // corner the arrows start from
    QTest::addColumn<QPointF>("xEnd");    // corner labelled "X"
    QTest::addColumn<QPointF>("yEnd");    // corner labelled "y"
    // End points of the three default rows: x 0..3, y -2..1.
    QTest::newRow("azimuth 0: axis-aligned box") << "0" << QPointF(0, -2) << QPointF(3, -2) << QPointF(0, 1);
    QTest::newRow("azimuth 90: a quarter turn") << "90" << QPointF(0, 1) << QPointF(0, -2) << QPointF(3, 1);
    QTest::newRow("unreadable azimuth reads as 0") << "north" << QPointF(0, -2) << QPointF(3, -2) << QPointF(0, 1);
}

void TestTm2dDialog::mapOfProfiles()
{
    QFETCH(QString, azimuth);
    QFETCH(QPointF, first);
    QFETCH(QPointF, xEnd);
    QFETCH(QPointF, yEnd);
    ImportTM2Dfiles d(nullptr);
    d.setFilesCount(3);
    d.setFiles(threeFiles);
    d.findChild<QLineEdit*>("input_azimuth")->setText(azimuth);
    QCustomPlot* plot = map(&d);
    // Drawn twice: the second drawing replaces the first.
    d.findChild<QPushButton*>("pushButton")->click();
    d.findChild<QPushButton*>("pushButton")->click();

    // Three parallel red profiles.
    QCOMPARE(plot->graphCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QCPGraph* g = plot->graph(i);
        QCOMPARE(g->dataCount(), 2);
        QCOMPARE(g->data()->at(0)->key, double(i));
        QCOMPARE(g->data()->at(0)->value, double(-i));
        QCOMPARE(g->data()->at(1)->key, double(i + 1));
        QCOMPARE(g->data()->at(1)->value, double(1 - i));
        QCOMPARE(g->pen().color(), QColor(Qt::red));
        QCOMPARE(g->pen().widthF(), 3.0);
        QCOMPARE(g->pen().style(), Qt::SolidLine);
    }
    QCOMPARE(plot->plottableCount(), 4);
    QCOMPARE(plot->itemCount(), 4);

    // The closed rectangle, starting at the first corner.
    QCPCurve* box = rectangle(plot);
    QVERIFY(box);
    QCOMPARE(box->pen().color(), QColor(Qt::black));
    QCOMPARE(box->dataCount(), 5);
    const QPointF c0(box->data()->at(0)->key, box->data()->at(0)->value);
    const QPointF c1(box->data()->at(1)->key, box->data()->at(1)->value);
    const QPointF c3(box->data()->at(3)->key, box->data()->at(3)->value);
    const QPointF c4(box->data()->at(4)->key, box->data()->at(4)->value);
    QVERIFY(near(c0, first));
    QVERIFY(near(c1, xEnd));
    QVERIFY(near(c3, yEnd));
    QVERIFY(near(c4, c0));

    const QList<QCPItemLine*> a = arrows(plot);
    QCOMPARE(a.size(), 2);
    QVERIFY(near(a[0]->start->coords(), first) && near(a[0]->end->coords(), xEnd));
    QVERIFY(near(a[1]->start->coords(), first) && near(a[1]->end->coords(), yEnd));
    for (QCPItemLine* line : a) {
        QCOMPARE(line->head().style(), QCPLineEnding::esSpikeArrow);
        QCOMPARE(line->head().width(), 8.0);
        QCOMPARE(line->head().length(), 10.0);
    }
    const QList<QCPItemText*> t = labels(plot);
    QCOMPARE(t.size(), 2);
    QCOMPARE(t[0]->text(), QString("X"));
    QVERIFY(near(t[0]->position->coords(), xEnd));
    QVERIFY(t[0]->positionAlignment() & Qt::AlignLeft);
    QCOMPARE(t[1]->text(), QString("y"));
    QVERIFY(near(t[1]->position->coords(), yEnd));
    QVERIFY(t[1]->positionAlignment() & Qt::AlignBottom);
    QCOMPARE(t[1]->padding().left(), 8);

    // Ranges follow the unturned extent of the end points, widened by a tenth.
    QCOMPARE(d.extent(), (std::array<double, 4>{{0, 3, -2, 1}}));
    QCOMPARE(plot->xAxis->range().lower, -0.3);
    QCOMPARE(plot->xAxis->range().upper, 3.3);
    QCOMPARE(plot->yAxis->range().lower, -2.3);
    QCOMPARE(plot->yAxis->range().upper, 1.3);
}

void TestTm2dDialog::unreadableCellsCountAsZero()
{
    ImportTM2Dfiles d(nullptr);
    d.setFilesCount(1);
    d.setFiles({"only.TM2Dproj"});
    QTableWidget* t = table(&d);
    t->item(0, 0)->setText("-4");
    t->item(0, 2)->setText("abc");  // X1 reads as 0
    t->item(0, 3)->setText("6");
    d.findChild<QPushButton*>("pushButton")->click();
    QCOMPARE(d.extent(), (std::array<double, 4>{{-4, 0, 0, 6}}));
    QCPGraph* g = map(&d)->graph(0);
    QCOMPARE(g->data()->at(1)->key, 0.0);
    QCOMPARE(g->data()->at(1)->value, 6.0);
}

void TestTm2dDialog::mapTabDrawsOnlyWithRows()
{
    ImportTM2Dfiles d(nullptr);
    auto* tabs = d.findChild<QTabWidget*>("tabWidget");
    tabs->setCurrentIndex(1);  // no rows: nothing drawn
    QCOMPARE(map(&d)->plottableCount(), 0);
    d.findChild<QPushButton*>("pushButton")->click();  // no rows: no drawing, no fault
    QCOMPARE(map(&d)->plottableCount(), 0);

    tabs->setCurrentIndex(0);
    d.setFilesCount(2);
    d.setFiles({"a", "b"});
    tabs->setCurrentIndex(1);
    QCOMPARE(map(&d)->graphCount(), 2);

    // A single vertical profile still gives axes with a width.
    ImportTM2Dfiles one(nullptr);
    one.setFilesCount(1);
    one.setFiles({"a"});
    table(&one)->item(0, 2)->setText("0");
    table(&one)->item(0, 3)->setText("0");
    one.findChild<QPushButton*>("pushButton")->click();
    QVERIFY(map(&one)->xAxis->range().size() > 0);
    QVERIFY(map(&one)->yAxis->range().size() > 0);
}

void TestTm2dDialog::okAndCancelClose_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Ok") << "OkButton";
    QTest::newRow("Cancel") << "CancelButton";
}

void TestTm2dDialog::okAndCancelClose()
{
    QFETCH(QString, button);
    ImportTM2Dfiles d(nullptr);
    d.setFilesCount(1);
    d.setFiles({"a"});
    d.show();
    QVERIFY(d.isVisible());
    d.findChild<QPushButton*>(button)->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestTm2dDialog)
#include "tst_tm2d_dialog.moc"
