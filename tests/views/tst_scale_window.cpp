// The scale and window-limits dialogs and the main window's window-limit
// commands, offscreen: the dialogs' forms, texts and signals, the limits
// given to both maps and to the 3D view's bounds, and "Auto".
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views/scalexyzdialog.h"
#include "views/surf.h"
#include "views/windowlimitsdialog.h"

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

template <typename T>
T* child(QObject* o, const char* name)
{
    return o->findChild<T*>(name);
}

// Density nodes x 1000 .. 1300, y 2000 .. 2200, z 0 .. 400; an observed
// field on the same x and y nodes.
void giveModel(MainWindow& w)
{
    w.den_grid.assign(5, vector2D(3, std::vector<data_type>(4, 2.6f)));
    w.x_calc = {1000, 1100, 1200, 1300};
    w.y_calc = {2000, 2100, 2200};
    w.z_calc = {0, 100, 200, 300, 400};
    w.x_norm = w.x_calc, w.y_norm = w.y_calc, w.z_norm = w.z_calc;
    w.Vz_observed.assign(3, std::vector<double>(4, 1.0));
    w.Vz_observed[1][2] = 5;
    w.observed_params = {4, 3, 1000, 1300, 2000, 2200, 1, 5};
    w.ui->maps_equal_xy->setChecked(false);
}

void giveHorizons(MainWindow& w)
{
    w.horizons = {field2D(3, std::vector<double>(4, 0.0)), field2D(3, std::vector<double>(4, 150.0))};
    w.horizons[1][2][3] = 875;
    w.horizons_params = {4, 3, 500, 800, 600, 800};
    w.densities = {2.0, 2.3};
    w.fixed = {false, false};
    w.layers_names = {QString(), QString()};
}

std::array<double, 6> bounds(const MainWindow& w)
{
    return {{w.surf->min_x, w.surf->max_x, w.surf->min_y, w.surf->max_y, w.surf->min_z, w.surf->max_z}};
}

}  // namespace

class TestScaleWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void scaleDialogForm();
    void scaleDialogLanguage();
    void scaleDialogTypeChangeKeepsTheRatio();
    void scaleDialogReturnAppliesAndStaysOpen();
    void scaleDialogOkAppliesAndCloses();
    void scaleDialogCancelHandsBackTheExactRatio();
    void scaleDialogRefusesValuesThatDrawNothing_data();
    void scaleDialogRefusesValuesThatDrawNothing();
    void setScaleKeepsTheType();

    void limitsDialogForm_data();
    void limitsDialogForm();
    void limitsDialogValuesAndOk();
    void manualLimitsStartFromTheViewBounds();
    void manualLimitsOfferTheDataNotAStaleView();
    void manualLimitsKeepWhatWasSet();
    void cancelledLimitsChangeNothing();
    void limitsBoundBothMapsAndTheView();
    void emptyFieldGivesZero();
    void autoFitsTheShownCube();
    void autoFitsTheShownVpCube();
    void autoFitsTheHorizons();
    void autoKeepsTheFaultsInView();
    void autoWithoutDataKeepsTheBounds();

private:
    std::unique_ptr<FakeInteraction> fake;
    // Runs "Manual" while `work` fills the dialog; true presses OK.
    void runLimits(MainWindow& w, const std::function<bool(WindowLimitsDialog*)>& work);
};

// ---------------------------------------------------------------------------
// Scale dialog

void TestScaleWindow::scaleDialogForm()
{
    ScaleXYZDialog d;
    QCOMPARE(d.objectName(), QString("ScaleXYZDialog"));
    QCOMPARE(d.windowTitle(), QString("Z:XY"));
    QCOMPARE(d.size(), QSize(519, 140));
    QVERIFY(d.testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(child<QLabel>(&d, "label")->text(), QString("Z:XY"));
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->count(), 2);
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->itemText(0), QString::fromUtf8("Пиксели"));
    QCOMPARE(child<QPushButton>(&d, "OkButton")->text(), QString("Ok"));
    QVERIFY(!child<QPushButton>(&d, "OkButton")->autoDefault());
    QVERIFY(!child<QPushButton>(&d, "CancelButton")->autoDefault());
    d.setAttribute(Qt::WA_DeleteOnClose, false);
}

void TestScaleWindow::scaleDialogLanguage()
{
    ScaleXYZDialog d;
    d.setAttribute(Qt::WA_DeleteOnClose, false);
    d.setLanguage(1);
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->itemText(0), QString("Pixels"));
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->itemText(1), QString("Distance"));
    QCOMPARE(child<QPushButton>(&d, "CancelButton")->text(), QString("Cancel"));
    QCOMPARE(child<QPushButton>(&d, "OkButton")->text(), QString("Ok"));
    QCOMPARE(d.windowTitle(), QString("Z:XY"));
    d.setLanguage(0);
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->itemText(1), QString::fromUtf8("Расстояние"));
    QCOMPARE(child<QPushButton>(&d, "CancelButton")->text(), QString::fromUtf8("Отмена"));
}

void TestScaleWindow::scaleDialogTypeChangeKeepsTheRatio()
{
    ScaleXYZDialog d;
    d.setAttribute(Qt::WA_DeleteOnClose, false);
    d.setSpans(10000, 2000);
    d.setValues(0, 2);
    QLineEdit* input = child<QLineEdit>(&d, "input_scale");
    QCOMPARE(input->text(), QString("2"));
    child<QComboBox>(&d, "scaling_type")->setCurrentIndex(1);
    QCOMPARE(input->text(), QString("10"));
    child<QComboBox>(&d, "scaling_type")->setCurrentIndex(0);
    QCOMPARE(input->text(), QString("2"));
    // setValues shows the value given, whatever the type was.
    d.setValues(1, 3.14159265);
    QCOMPARE(input->text(), QString("3.14159265"));
    QCOMPARE(child<QComboBox>(&d, "scaling_type")->currentIndex(), 1);
}

void TestScaleWindow::scaleDialogReturnAppliesAndStaysOpen()
{
    ScaleXYZDialog d;
    d.setAttribute(Qt::WA_DeleteOnClose, false);
    d.setValues(1, 2);
    d.show();
    QSignalSpy spy(&d, SIGNAL(scaleSelected(int, double)));
    QLineEdit* input = child<QLineEdit>(&d, "input_scale");
    input->setText("2.5");
    QTest::keyClick(input, Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toInt(), 1);
    QCOMPARE(spy.first().at(1).toDouble(), 2.5);
    QVERIFY(d.isVisible());
}

void TestScaleWindow::scaleDialogOkAppliesAndCloses()
{
    QPointer<ScaleXYZDialog> d = new ScaleXYZDialog;
    d->setValues(0, 4);
    d->show();
    QSignalSpy spy(d.data(), SIGNAL(scaleSelected(int, double)));
    QSignalSpy cancel(d.data(), SIGNAL(cancelClicked(double)));
    child<QPushButton>(d, "OkButton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toInt(), 0);
    QCOMPARE(spy.first().at(1).toDouble(), 4.0);
    QCOMPARE(cancel.count(), 0);
    QTRY_VERIFY(d.isNull());  // deleted when closed
}

// The ratio found at opening comes back whole, also below 1 (kept as an
// integer it would come back as 0, which draws nothing).
void TestScaleWindow::scaleDialogCancelHandsBackTheExactRatio()
{
    QPointer<ScaleXYZDialog> d = new ScaleXYZDialog;
    d->setInitialRatio(0.4);
    d->setValues(0, 2);
    d->show();
    QSignalSpy spy(d.data(), SIGNAL(cancelClicked(double)));
    QSignalSpy applied(d.data(), SIGNAL(scaleSelected(int, double)));
    child<QPushButton>(d, "CancelButton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toDouble(), 0.4);
    QCOMPARE(applied.count(), 0);
    QTRY_VERIFY(d.isNull());
}

void TestScaleWindow::scaleDialogRefusesValuesThatDrawNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-1";
    QTest::newRow("empty") << "";
    QTest::newRow("unreadable") << "abc";
    QTest::newRow("infinite") << "inf";
}

void TestScaleWindow::scaleDialogRefusesValuesThatDrawNothing()
{
    QFETCH(QString, text);
    QPointer<ScaleXYZDialog> d = new ScaleXYZDialog;
    d->show();
    QSignalSpy spy(d.data(), SIGNAL(scaleSelected(int, double)));
    QLineEdit* input = child<QLineEdit>(d, "input_scale");
    input->setText(text);
    QTest::keyClick(input, Qt::Key_Return);
    child<QPushButton>(d, "OkButton")->click();
    QCOMPARE(spy.count(), 0);
    QVERIFY(!d.isNull());
    QVERIFY(d->isVisible());  // stays open for a usable value
    QVERIFY(!input->styleSheet().isEmpty());
    input->setText("1");
    QTest::keyClick(input, Qt::Key_Backspace);
    QTest::keyClick(input, Qt::Key_2);
    QVERIFY(input->styleSheet().isEmpty());  // the mark goes with the edit
    child<QPushButton>(d, "OkButton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toDouble(), 2.0);
    QTRY_VERIFY(d.isNull());
}

void TestScaleWindow::setScaleKeepsTheType()
{
    MainWindow w;
    QCOMPARE(w.z_scale_type, 0);
    w.setScale(1, 2);
    QCOMPARE(w.z_scale_type, 1);
    w.setScale(0, 0);  // no graph here: only the type is kept
    QCOMPARE(w.z_scale_type, 0);
}

// ---------------------------------------------------------------------------
// Window-limits dialog

void TestScaleWindow::limitsDialogForm_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("english") << 1 << "Window limits" << "X, m" << "Cancel";
    QTest::newRow("russian") << 0 << QString::fromUtf8("Размеры окна") << QString::fromUtf8("X, м")
                             << QString::fromUtf8("Отмена");
}

void TestScaleWindow::limitsDialogForm()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, x);
    QFETCH(QString, cancel);
    WindowLimitsDialog d;
    QCOMPARE(d.objectName(), QString("WindowLimitsDialog"));
    QCOMPARE(d.windowTitle(), QString("Dialog"));
    d.setLanguage(language);
    QCOMPARE(d.windowTitle(), title);
    QCOMPARE(child<QLabel>(&d, "xLabel")->text(), x);
    QCOMPARE(child<QLabel>(&d, "zLabel")->text(), QString(x).replace('X', 'Z'));
    QCOMPARE(child<QPushButton>(&d, "CancelButton")->text(), cancel);
    QCOMPARE(child<QLabel>(&d, "minLabel")->text(), QString("Min"));
    QCOMPARE(child<QLabel>(&d, "maxLabel")->text(), QString("Max"));
    QCOMPARE(child<QPushButton>(&d, "OkButton")->text(), QString("Ok"));
}

void TestScaleWindow::limitsDialogValuesAndOk()
{
    WindowLimitsDialog d;
    d.setValues({1, 2, 3});
    QVERIFY(child<QLineEdit>(&d, "inputXmin")->text().isEmpty());
    d.setValues({1000, 1234567.891, -50, 50.5, 0, 2500});
    QCOMPARE(child<QLineEdit>(&d, "inputXmax")->text(), QString("1234567.891"));
    QCOMPARE(child<QLineEdit>(&d, "inputYmin")->text(), QString("-50"));
    child<QLineEdit>(&d, "inputZmax")->setText("3000");
    QSignalSpy spy(&d, SIGNAL(sizeSelected(std::vector<double>&)));
    std::vector<double> got;
    connect(&d, &WindowLimitsDialog::sizeSelected, this, [&](std::vector<double>& sz) {
        QVERIFY(!d.isVisible() || d.result() == QDialog::Accepted);
        got = sz;
    });
    d.show();
    child<QPushButton>(&d, "OkButton")->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(got, (std::vector<double>{1000, 1234567.891, -50, 50.5, 0, 3000}));
}

void TestScaleWindow::runLimits(MainWindow& w, const std::function<bool(WindowLimitsDialog*)>& work)
{
    fake->onDialog = [&](QDialog* dialog) {
        auto* d = qobject_cast<WindowLimitsDialog*>(dialog);
        if (!d)
            return int(QDialog::Rejected);
        if (d->parent() != &w)
            return int(QDialog::Rejected);
        if (work(d))
            child<QPushButton>(d, "OkButton")->click();
        else
            child<QPushButton>(d, "CancelButton")->click();
        return d->result();
    };
    w.on_view_limits_triggered();
}

void TestScaleWindow::manualLimitsStartFromTheViewBounds()
{
    MainWindow w;
    w.language = 1;
    giveModel(w);
    w.on_view_dens_triggered();
    QStringList shown;
    QString title;
    runLimits(w, [&](WindowLimitsDialog* d) {
        title = d->windowTitle();
        for (const char* n : {"inputXmin", "inputXmax", "inputYmin", "inputYmax", "inputZmin", "inputZmax"})
            shown << child<QLineEdit>(d, n)->text();
        return true;
    });
    QCOMPARE(fake->dialogs, QStringList{"WindowLimitsDialog"});
    QCOMPARE(title, QString("Window limits"));
    QCOMPARE(shown, (QStringList{"1000", "1300", "2000", "2200", "0", "400"}));
    // OK without edits stores the bounds as shown.
    QCOMPARE(w.window_limits, (std::vector<double>{1000, 1300, 2000, 2200, 0, 400}));
    QVERIFY(w.findChildren<WindowLimitsDialog*>().isEmpty());  // not kept after it closed
}

void TestScaleWindow::manualLimitsKeepWhatWasSet()
{
    MainWindow w;
    giveModel(w);
    w.window_limits = {1, 2, 3, 4, 5, 6.5};
    QStringList shown;
    runLimits(w, [&](WindowLimitsDialog* d) {
        for (const char* n : {"inputXmin", "inputZmax"})
            shown << child<QLineEdit>(d, n)->text();
        return false;
    });
    QCOMPARE(shown, (QStringList{"1", "6.5"}));
}

void TestScaleWindow::cancelledLimitsChangeNothing()
{
    MainWindow w;
    giveModel(w);
    w.on_view_dens_triggered();
    runLimits(w, [&](WindowLimitsDialog* d) {
        child<QLineEdit>(d, "inputXmin")->setText("-5");
        return false;
    });
    QVERIFY(w.window_limits.empty());
}

// The limits, also narrower than the cube and unordered as typed, bound both
// maps and the 3D view.
void TestScaleWindow::limitsBoundBothMapsAndTheView()
{
    MainWindow w;
    giveModel(w);
    w.on_view_dens_triggered();
    w.plotObserved();
    runLimits(w, [&](WindowLimitsDialog* d) {
        const QStringList v{"1100", "1200", "2050", "2150", "100", "300"};
        const char* names[] = {"inputXmin", "inputXmax", "inputYmin", "inputYmax", "inputZmin", "inputZmax"};
        for (int i = 0; i < 6; ++i)
            child<QLineEdit>(d, names[i])->setText(v[i]);
        return true;
    });
    QCOMPARE(w.window_limits, (std::vector<double>{1100, 1200, 2050, 2150, 100, 300}));
    QCOMPARE(w.ui->observed_axes->xAxis->range(), QCPRange(1100, 1200));
    QCOMPARE(w.ui->observed_axes->yAxis->range(), QCPRange(2050, 2150));
    QCOMPARE(bounds(w), (std::array<double, 6>{{1100, 1200, 2050, 2150, 100, 300}}));
    // A later redraw keeps them.
    w.show3Dgrid();
    QCOMPARE(bounds(w), (std::array<double, 6>{{1100, 1200, 2050, 2150, 100, 300}}));
    // Horizons view too.
    giveHorizons(w);
    w.on_view_horizons_triggered();
    QCOMPARE(bounds(w), (std::array<double, 6>{{1100, 1200, 2050, 2150, 100, 300}}));
    QVERIFY(fake->errors().isEmpty());
}

void TestScaleWindow::emptyFieldGivesZero()
{
    MainWindow w;
    giveModel(w);
    w.on_view_dens_triggered();
    runLimits(w, [&](WindowLimitsDialog* d) {
        child<QLineEdit>(d, "inputXmin")->clear();
        child<QLineEdit>(d, "inputYmax")->setText("x");
        return true;
    });
    QCOMPARE(w.window_limits, (std::vector<double>{0, 1300, 2000, 0, 0, 400}));
}

void TestScaleWindow::autoFitsTheShownCube()
{
    MainWindow w;
    giveModel(w);
    w.on_view_dens_triggered();
    std::vector<double> limits{0, 5000, 0, 5000, 0, 9000};
    w.setWindowSize(limits);
    QCOMPARE(w.ui->observed_axes->xAxis->range(), QCPRange(0, 5000));
    w.on_auto_window_size_triggered();
    QVERIFY(w.window_limits.empty());
    QCOMPARE(bounds(w), (std::array<double, 6>{{1000, 1300, 2000, 2200, 0, 400}}));
    QCOMPARE(w.ui->observed_axes->xAxis->range(), QCPRange(1000, 1300));
    QCOMPARE(w.ui->observed_axes->yAxis->range(), QCPRange(2000, 2200));
}

void TestScaleWindow::autoFitsTheShownVpCube()
{
    MainWindow w;
    giveModel(w);
    w.Vp_grid.assign(2, vector2D(2, std::vector<data_type>(2, 3000.0f)));
    w.x_vp = {0, 10}, w.y_vp = {20, 50}, w.z_vp = {5, 95};
    w.on_view_Vp_triggered();
    std::vector<double> limits{-1, 1, -1, 1, -1, 1};
    w.setWindowSize(limits);
    w.on_auto_window_size_triggered();
    QCOMPARE(bounds(w), (std::array<double, 6>{{0, 10, 20, 50, 5, 95}}));
}

void TestScaleWindow::autoFitsTheHorizons()
{
    MainWindow w;
    giveHorizons(w);
    w.on_view_horizons_triggered();
    std::vector<double> limits{-1, 1, -1, 1, -1, 1};
    w.setWindowSize(limits);
    QCOMPARE(bounds(w), (std::array<double, 6>{{-1, 1, -1, 1, -1, 1}}));
    w.on_auto_window_size_triggered();
    QCOMPARE(bounds(w), (std::array<double, 6>{{500, 800, 600, 800, 0, 875}}));
}

// "Auto" fits the data and keeps the faults inside the view, as every redraw does.
void TestScaleWindow::autoKeepsTheFaultsInView()
{
    MainWindow w;
    giveModel(w);
    w.faults.sticks = {{{QVector3D(900, 2100, 50), QVector3D(950, 2100, 700)}}};
    w.faults.names = {"F1"};
    w.on_view_dens_triggered();
    w.on_auto_window_size_triggered();
    QCOMPARE(bounds(w), (std::array<double, 6>{{900, 1300, 2000, 2200, 0, 700}}));
}

// A project far from the origin, whose view was last left with the bounds of
// an earlier small model: the dialog offers the data's bounds.
void TestScaleWindow::manualLimitsOfferTheDataNotAStaleView()
{
    MainWindow w;
    giveModel(w);
    for (double& x : w.x_calc)
        x += 511000;
    w.x_norm = w.x_calc;
    w.ui->view_dens->setChecked(true);
    w.surf->min_x = 0, w.surf->max_x = 1000, w.surf->min_y = 0, w.surf->max_y = 1000, w.surf->min_z = 0,
    w.surf->max_z = 300;
    QStringList shown;
    runLimits(w, [&](WindowLimitsDialog* d) {
        for (const char* n : {"inputXmin", "inputXmax", "inputYmin", "inputYmax", "inputZmin", "inputZmax"})
            shown << child<QLineEdit>(d, n)->text();
        return false;
    });
    QCOMPARE(shown, (QStringList{"512000", "512300", "2000", "2200", "0", "400"}));
    QVERIFY(w.window_limits.empty());
}

void TestScaleWindow::autoWithoutDataKeepsTheBounds()
{
    MainWindow w;
    w.surf->min_x = 1, w.surf->max_x = 2, w.surf->min_y = 3, w.surf->max_y = 4, w.surf->min_z = 5,
    w.surf->max_z = 6;
    w.window_limits = {0, 1, 0, 1, 0, 1};
    w.on_auto_window_size_triggered();
    QVERIFY(w.window_limits.empty());
    QCOMPARE(bounds(w), (std::array<double, 6>{{1, 2, 3, 4, 5, 6}}));
    QVERIFY(fake->errors().isEmpty());
}

QTEST_MAIN(TestScaleWindow)
#include "tst_scale_window.moc"
