// Interactive horizon editing, offscreen with scripted message boxes: the
// brush dialog (texts, values, red fields, what it sends, how it closes),
// starting and ending the editing from the main window, and one brush step
// on the picked node with the density grid following.
#include <QtTest>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "editing/horizonseditingdialog.h"
#include "fake_interaction.h"
#include "horizon_edit_support.h"

namespace {

using namespace horizon_edit_test;

QLineEdit* field(QWidget* d, const char* name) { return d->findChild<QLineEdit*>(name); }
QPushButton* button(QWidget* d, const char* name) { return d->findChild<QPushButton*>(name); }
QString label(QWidget* d, const char* name) { return d->findChild<QLabel*>(name)->text(); }

// The widget that Tab moves to from w.
QWidget* nextTab(QWidget* w)
{
    QWidget* next = w->nextInFocusChain();
    while (next != w && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

HorizonsEditingDialog* startEditing(MainWindow& w)
{
    w.ui->edit_horizons->setEnabled(true);
    w.ui->edit_horizons->setChecked(true);
    w.on_edit_horizons_triggered();
    return w.horizons_editing_dialog;
}

}  // namespace

class TestHorizonEditWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); }

    void formAsDesigned();
    void languageTexts_data();
    void languageTexts();
    void valuesWithEveryDigit();
    void setSendsOnlyPositiveBrush_data();
    void setSendsOnlyPositiveBrush();
    void returnInAnyFieldSends();
    void fieldTurnsRedWhileNotPositive_data();
    void fieldTurnsRedWhileNotPositive();
    void everyWayOfClosingEndsTheEditing();

    void startRefusedWithoutHorizonsOrGrid_data();
    void startRefusedWithoutHorizonsOrGrid();
    void startOpensTheModelessDialog();
    void uncheckingKeepsTheDialog();
    void quittingEndsTheEditing();
    void secondStartReplacesTheDialog();

    void stepMovesThePickedHorizonAndRefillsTheGrid();
    void stepNeedsAPickedHorizonThatExists_data();
    void stepNeedsAPickedHorizonThatExists();
    void stepOnHorizonsOffTheGridIsRefused();
    void stepRefusedWhileARunHoldsTheModel();

private:
    FakeInteraction fake;
};

void TestHorizonEditWindow::formAsDesigned()
{
    HorizonsEditingDialog d;
    QCOMPARE(d.objectName(), QString("HorizonsEditingDialog"));
    QCOMPARE(d.size(), QSize(225, 168));
    QCOMPARE(d.windowTitle(), QString("Editing params"));
    for (const char* name : {"input_Rx", "input_Ry", "input_W", "input_A"}) {
        QCOMPARE(field(&d, name)->text(), QString("1"));
        QCOMPARE(field(&d, name)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }
    QCOMPARE(label(&d, "Rx_label"), QString("Rx, m"));
    QCOMPARE(label(&d, "amplitude_label"), QString("Amplitude, m"));
    QVERIFY(label(&d, "width_label").contains("Attenuation"));
    QCOMPARE(button(&d, "OKButton")->text(), QString("Set"));
    QCOMPARE(button(&d, "CancelButton")->text(), QString("Quit"));
    // Tab order: the four fields, then the buttons.
    QCOMPARE(nextTab(field(&d, "input_Rx")), static_cast<QWidget*>(field(&d, "input_Ry")));
    QCOMPARE(nextTab(field(&d, "input_Ry")), static_cast<QWidget*>(field(&d, "input_W")));
    QCOMPARE(nextTab(field(&d, "input_W")), static_cast<QWidget*>(field(&d, "input_A")));
    QCOMPARE(nextTab(field(&d, "input_A")), static_cast<QWidget*>(button(&d, "OKButton")));
    QCOMPARE(nextTab(button(&d, "OKButton")), static_cast<QWidget*>(button(&d, "CancelButton")));
}

void TestHorizonEditWindow::languageTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("Russian") << 0
                             << QStringList{"Параметры редактирования", "Rx, м", "Ry, м", "Затухание<sup>-1<sup>",
                                            "Амплитуда, м", "Применить", "Выход"};
    QTest::newRow("English") << 1
                             << QStringList{"Edit parameters", "Rx, m", "Ry, m", "Attenuation<sup>-1<sup>",
                                            "Amplitude, m", "Set", "Quit"};
}

void TestHorizonEditWindow::languageTexts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    HorizonsEditingDialog d;
    d.setLanguage(language);
    QCOMPARE(d.windowTitle(), texts[0]);
    QCOMPARE(label(&d, "Rx_label"), texts[1]);
    QCOMPARE(label(&d, "Ry_label"), texts[2]);
    QCOMPARE(label(&d, "width_label"), texts[3]);
    QCOMPARE(label(&d, "amplitude_label"), texts[4]);
    QCOMPARE(button(&d, "OKButton")->text(), texts[5]);
    QCOMPARE(button(&d, "CancelButton")->text(), texts[6]);
}

// The shortest text that reads back to the same number, so "Set" without
// an edit keeps the brush as it was.
void TestHorizonEditWindow::valuesWithEveryDigit()
{
    HorizonsEditingDialog d;
    d.setValues(100, 1.0 / 3, 0.5, -12345678);
    QCOMPARE(field(&d, "input_Rx")->text(), QString("100"));
    QCOMPARE(field(&d, "input_Ry")->text(), QString("0.3333333333333333"));
    QCOMPARE(field(&d, "input_W")->text(), QString("0.5"));
    QCOMPARE(field(&d, "input_A")->text(), QString("-12345678"));
}

void TestHorizonEditWindow::setSendsOnlyPositiveBrush_data()
{
    QTest::addColumn<QString>("rx");
    QTest::addColumn<QString>("ry");
    QTest::addColumn<QString>("w");
    QTest::addColumn<QString>("a");
    QTest::addColumn<bool>("sent");
    QTest::newRow("defaults") << "100" << "100" << "0.5" << "10" << true;
    QTest::newRow("zero amplitude") << "100" << "100" << "0.5" << "0" << true;
    QTest::newRow("negative amplitude") << "100" << "100" << "0.5" << "-3" << true;
    QTest::newRow("letters as amplitude") << "100" << "100" << "0.5" << "up" << true;
    QTest::newRow("zero Rx") << "0" << "100" << "0.5" << "10" << false;
    QTest::newRow("negative Ry") << "100" << "-1" << "0.5" << "10" << false;
    QTest::newRow("letters as W") << "100" << "100" << "wide" << "10" << false;
    QTest::newRow("empty W") << "100" << "100" << "" << "10" << false;
}

void TestHorizonEditWindow::setSendsOnlyPositiveBrush()
{
    QFETCH(QString, rx);
    QFETCH(QString, ry);
    QFETCH(QString, w);
    QFETCH(QString, a);
    QFETCH(bool, sent);
    HorizonsEditingDialog d;
    d.show();
    field(&d, "input_Rx")->setText(rx);
    field(&d, "input_Ry")->setText(ry);
    field(&d, "input_W")->setText(w);
    field(&d, "input_A")->setText(a);
    QSignalSpy spy(&d, &HorizonsEditingDialog::EditingParamsSeted);
    QSignalSpy finished(&d, &HorizonsEditingDialog::EditingFinished);
    QTest::mouseClick(button(&d, "OKButton"), Qt::LeftButton);
    QCOMPARE(spy.count(), sent ? 1 : 0);
    if (sent) {
        QCOMPARE(spy[0][0].toDouble(), rx.toDouble());
        QCOMPARE(spy[0][1].toDouble(), ry.toDouble());
        QCOMPARE(spy[0][2].toDouble(), w.toDouble());
        QCOMPARE(spy[0][3].toDouble(), a.toDouble());
    }
    QVERIFY(d.isVisible());  // the dialog stays open
    QCOMPARE(finished.count(), 0);
}

void TestHorizonEditWindow::returnInAnyFieldSends()
{
    HorizonsEditingDialog d;
    d.setValues(100, 80, 0.5, 10);
    d.show();
    QSignalSpy spy(&d, &HorizonsEditingDialog::EditingParamsSeted);
    for (const char* name : {"input_Rx", "input_Ry", "input_W", "input_A"}) {
        QTest::keyClick(field(&d, name), Qt::Key_Return);
    }
    QCOMPARE(spy.count(), 4);  // once per Return: no default button answers it as well
    QCOMPARE(spy[3][1].toDouble(), 80.0);
    field(&d, "input_Ry")->setText("-5");
    QTest::keyClick(field(&d, "input_A"), Qt::Key_Return);
    QCOMPARE(spy.count(), 4);
}

void TestHorizonEditWindow::fieldTurnsRedWhileNotPositive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::newRow("W letters") << "input_W" << "abc" << true;
    QTest::newRow("W positive") << "input_W" << "0.25" << false;
    QTest::newRow("Rx zero") << "input_Rx" << "0" << true;
    QTest::newRow("Ry negative") << "input_Ry" << "-2" << true;
    QTest::newRow("A negative") << "input_A" << "-10" << true;
    QTest::newRow("A positive") << "input_A" << "10" << false;
    QTest::newRow("A empty") << "input_A" << "" << true;
}

void TestHorizonEditWindow::fieldTurnsRedWhileNotPositive()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, red);
    HorizonsEditingDialog d;
    QLineEdit* f = field(&d, qPrintable(name));
    f->setText("7");
    f->setText(text);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(f->palette().color(group, QPalette::Base), red ? QColor(Qt::red) : QColor(Qt::white));
        QCOMPARE(f->palette().color(group, QPalette::Text), QColor(Qt::black));
    }
    f->setText("3");
    QCOMPARE(f->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
}

void TestHorizonEditWindow::everyWayOfClosingEndsTheEditing()
{
    {
        HorizonsEditingDialog d;
        d.show();
        QSignalSpy finished(&d, &HorizonsEditingDialog::EditingFinished);
        QTest::mouseClick(button(&d, "CancelButton"), Qt::LeftButton);
        QCOMPARE(finished.count(), 2);  // the button, then the close
        QVERIFY(!d.isVisible());
    }
    {
        HorizonsEditingDialog d;
        d.show();
        QSignalSpy finished(&d, &HorizonsEditingDialog::EditingFinished);
        QVERIFY(d.close());  // the window's close button
        QCOMPARE(finished.count(), 1);
        QVERIFY(!d.isVisible());
    }
    {
        HorizonsEditingDialog d;
        d.show();
        QSignalSpy finished(&d, &HorizonsEditingDialog::EditingFinished);
        QTest::keyClick(&d, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!d.isVisible());
    }
}

void TestHorizonEditWindow::startRefusedWithoutHorizonsOrGrid_data()
{
    QTest::addColumn<bool>("horizons");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::newRow("no horizons, Russian") << false << 0 << "Горизонты не загружены в проект";
    QTest::newRow("no horizons, English") << false << 1 << "Horizons are empty";
    QTest::newRow("no grid, Russian") << true << 0 << "Плотностной грид пуст";
    QTest::newRow("no grid, English") << true << 1 << "Density grid is empty";
}

void TestHorizonEditWindow::startRefusedWithoutHorizonsOrGrid()
{
    QFETCH(bool, horizons);
    QFETCH(int, language);
    QFETCH(QString, message);
    MainWindow w;
    w.language = language;
    giveLayeredModel(w);
    w.den_grid.clear();
    if (!horizons)
        w.horizons.clear();
    startEditing(w);
    QCOMPARE(fake.errors(), QStringList{message});
    QVERIFY(!w.ui->edit_horizons->isChecked());
    QVERIFY(w.horizons_editing_dialog == nullptr);
}

void TestHorizonEditWindow::startOpensTheModelessDialog()
{
    MainWindow w;
    w.language = 1;
    giveLayeredModel(w);
    w.horizon_edit_params = {150, 75, 0.4, -6};
    w.lateral_densities.clear();
    w.plotObserved();  // nothing to show: the maps are hidden
    w.plotCalculated();
    QVERIFY(!w.ui->observed_axes->axisRect()->visible());
    QVERIFY(!w.ui->calculated_axes->axisRect()->visible());

    HorizonsEditingDialog* d = startEditing(w);
    QVERIFY(d);
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(w.ui->edit_horizons->isChecked());
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(d->parentWidget(), static_cast<QWidget*>(&w));
    QCOMPARE(d->windowTitle(), QString("Edit parameters"));
    QCOMPARE(field(d, "input_Rx")->text(), QString("150"));
    QCOMPARE(field(d, "input_Ry")->text(), QString("75"));
    QCOMPARE(field(d, "input_W")->text(), QString("0.4"));
    QCOMPARE(field(d, "input_A")->text(), QString("-6"));
    QCOMPARE(w.lateral_densities.size(), std::size_t(3));  // rebuilt
    // The empty maps are shown over the horizons so that a node can be picked.
    for (QCustomPlot* plot : {w.ui->observed_axes, w.ui->calculated_axes}) {
        QVERIFY(plot->axisRect()->visible());
        QCOMPARE(plot->xAxis->range().lower, 0.0);
        QCOMPARE(plot->yAxis->range().upper, 400.0);
    }

    // "Set" reaches the brush of the main window.
    field(d, "input_Rx")->setText("60");
    field(d, "input_A")->setText("4");
    button(d, "OKButton")->click();
    QCOMPARE(w.horizon_edit_params, (std::vector<double>{60, 75, 0.4, 4}));
}

void TestHorizonEditWindow::uncheckingKeepsTheDialog()
{
    MainWindow w;
    giveLayeredModel(w);
    HorizonsEditingDialog* d = startEditing(w);
    w.ui->edit_horizons->setChecked(false);
    w.on_edit_horizons_triggered();
    QCOMPARE(w.horizons_editing_dialog, d);
    QVERIFY(d->isVisible());
    QVERIFY(fake.notes.isEmpty());
}

void TestHorizonEditWindow::quittingEndsTheEditing()
{
    MainWindow w;
    giveLayeredModel(w);
    HorizonsEditingDialog* d = startEditing(w);
    QPointer<HorizonsEditingDialog> alive(d);
    // A brush outline on the map goes with the editing.
    new QCPItemLine(w.ui->observed_axes);
    QCOMPARE(w.ui->observed_axes->itemCount(), 1);

    button(d, "CancelButton")->click();  // ends the editing from inside the dialog's own handlers
    QVERIFY(!w.ui->edit_horizons->isChecked());
    QVERIFY(w.horizons_editing_dialog == nullptr);
    QCOMPARE(w.ui->observed_axes->itemCount(), 0);
    QVERIFY(alive);  // still alive until control is back in the event loop
    QVERIFY(!alive->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive.isNull());

    // Ending a second time does no harm.
    w.offHorizonsEditing();
    QVERIFY(!w.ui->edit_horizons->isChecked());

    // Closing the dialog's window ends it too; and a new start works afterwards.
    HorizonsEditingDialog* e = startEditing(w);
    QVERIFY(e && e->isVisible());
    QVERIFY(e->close());
    QVERIFY(!w.ui->edit_horizons->isChecked());
    QVERIFY(w.horizons_editing_dialog == nullptr);
    QVERIFY(fake.notes.isEmpty());
}

void TestHorizonEditWindow::secondStartReplacesTheDialog()
{
    MainWindow w;
    giveLayeredModel(w);
    QPointer<HorizonsEditingDialog> first(startEditing(w));
    w.ui->edit_horizons->setChecked(false);
    w.on_edit_horizons_triggered();
    QPointer<HorizonsEditingDialog> second(startEditing(w));
    QVERIFY(second && second != first);
    QCOMPARE(w.horizons_editing_dialog, second.data());
    QVERIFY(w.ui->edit_horizons->isChecked());  // letting the old dialog go did not end the new editing
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QCOMPARE(w.findChildren<HorizonsEditingDialog*>().size(), 1);
}

void TestHorizonEditWindow::stepMovesThePickedHorizonAndRefillsTheGrid()
{
    MainWindow w;
    giveLayeredModel(w);
    w.horizon_edit_params = {100, 100, 0.5, 60};
    w.selected_horizon = 1;
    w.selected_row = 4;
    w.selected_column = 4;
    w.clicked_x = 200;
    w.clicked_y = 200;
    w.layer_effects.assign(3, constant(2, 2, 1));
    w.effects.shape(1, 1, 1);
    w.effects.quarter[0][0] = 1.0f;
    w.lateral_densities.assign(3, constant(9, 9, 5));
    const std::size_t undo = w.undo_stack.size();

    w.editHorizonGauss(+1);  // Down: the horizon goes 60 m deeper at the node
    QCOMPARE(w.horizons[1][4][4], 310.0);
    QVERIFY(std::fabs(w.horizons[1][4][5] - 253.75) < 1e-5);  // q = 0.25: 60 * 0.5^4
    QCOMPARE(w.horizons[1][0][0], 250.0);
    QCOMPARE(w.den_grid[3][4][4], 1.0f);  // 300 m now lies above the horizon
    QCOMPARE(w.den_grid[3][4][5], 2.0f);
    QCOMPARE(w.den_grid[2][4][4], 1.0f);

    w.editHorizonGauss(-1);  // Up: back where it was
    w.editHorizonGauss(-1);  // and 60 m above
    QCOMPARE(w.horizons[1][4][4], 190.0);
    QCOMPARE(w.den_grid[2][4][4], 2.0f);  // 200 m now lies below it
    QCOMPARE(w.den_grid[3][4][4], 2.0f);
    QCOMPARE(w.den_grid[1][4][4], 1.0f);

    // No undo snapshot, no change to the stored effects or the lateral maps;
    // the layered inversion's per-layer effects belong to the old layers.
    QCOMPARE(w.undo_stack.size(), undo);
    QVERIFY(!w.effects.empty());
    QCOMPARE(w.lateral_densities, std::vector<field2D>(3, constant(9, 9, 5)));
    QVERIFY(w.layer_effects.empty());
    QVERIFY(fake.notes.isEmpty());
}

void TestHorizonEditWindow::stepNeedsAPickedHorizonThatExists_data()
{
    QTest::addColumn<int>("horizons");
    QTest::addColumn<int>("selected");
    QTest::newRow("nothing picked") << 3 << -1;
    QTest::newRow("the top") << 3 << 0;
    QTest::newRow("past the last") << 3 << 3;
    QTest::newRow("horizon 1 of a model with one horizon") << 1 << 1;
}

void TestHorizonEditWindow::stepNeedsAPickedHorizonThatExists()
{
    QFETCH(int, horizons);
    QFETCH(int, selected);
    MainWindow w;
    giveLayeredModel(w);
    w.horizons.resize(horizons);
    w.selected_horizon = selected;
    w.selected_row = w.selected_column = 4;
    w.clicked_x = w.clicked_y = 200;
    const auto before = w.horizons;
    const vector3D grid = w.den_grid;
    w.editHorizonGauss(+1);
    w.editHorizonGauss(-1);
    QCOMPARE(w.horizons, before);
    QCOMPARE(w.den_grid, grid);
    QVERIFY(fake.notes.isEmpty());
}

void TestHorizonEditWindow::stepOnHorizonsOffTheGridIsRefused()
{
    MainWindow w;
    giveLayeredModel(w);
    for (auto& level : w.den_grid)
        level.pop_back();  // 8 rows of cells under 9 rows of horizon nodes
    w.selected_horizon = 1;
    w.selected_row = w.selected_column = 8;
    w.clicked_x = w.clicked_y = 400;
    const auto before = w.horizons;
    w.editHorizonGauss(+1);
    QCOMPARE(w.horizons, before);
    QCOMPARE(fake.errors(), QStringList{"Параметры разбиения горизонтов не соответствуют модели"});
}

void TestHorizonEditWindow::stepRefusedWhileARunHoldsTheModel()
{
    MainWindow w;
    giveLayeredModel(w);
    w.selected_horizon = 2;
    w.selected_row = w.selected_column = 4;
    w.clicked_x = w.clicked_y = 200;
    const auto before = w.horizons;
    {
        RunGuard run(&w, RunKind::Forward);
        w.editHorizonGauss(-1);
        QCOMPARE(w.horizons, before);
        QCOMPARE(fake.errors().size(), 1);
    }
    w.editHorizonGauss(-1);
    QCOMPARE(w.horizons[2][4][4], 640.0);
}

QTEST_MAIN(TestHorizonEditWindow)
#include "tst_horizon_edit_window.moc"
