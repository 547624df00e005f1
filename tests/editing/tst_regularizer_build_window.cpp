// Regularizer commands of the main window, offscreen, with the width dialog
// worked by a scripted interaction: the central regularizers (plain and
// thickness-based) and the gradient regularizer on a small layered model,
// and the refusals.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "fake_interaction.h"
#include "test_nodes.h"

namespace {

QStringList repeated(int n, const QString& text)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << text;
    return out;
}

// x 0 .. 400 by 100 (5 columns), y 0 .. 200 by 100 (3 rows), z 0 .. 300 by
// 25 (13 levels). Horizon 0 flat at 0, horizon 1 the plane 100 + x / 4
// (100 m at column 0, 200 m at column 4; horizontal gradient 1/4 everywhere).
void give_model(MainWindow& w)
{
    w.x_calc = nodes(5, 0, 100);
    w.y_calc = nodes(3, 0, 100);
    w.z_calc = nodes(13, 0, 25);
    w.den_grid.assign(13, vector2D(3, std::vector<data_type>(5, 2.3f)));
    field2D plane(3, std::vector<double>(5));
    for (auto& row : plane)
        for (int i = 0; i < 5; ++i)
            row[i] = 100 + w.x_calc[i] / 4;
    w.horizons = {field2D(3, std::vector<double>(5, 0.0)), plane};
    w.horizons_params = {5, 3, 0, 400, 0, 200};
    w.densities = {0, 2.3};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
    // A stale normalisation record from an earlier regularizer.
    w.regularizer_scale = 4;
    w.regularizer_offsets = {0.5, 0.5};
}

std::size_t level(const MainWindow& w, double depth)
{
    for (std::size_t k = 0; k < w.z_calc.size(); ++k)
        if (w.z_calc[k] == depth)
            return k;
    qFatal("no level at %g", depth);
    return 0;
}

// Checks the cell at (depth, column) of every row.
void expect(const MainWindow& w, double depth, int column, double value)
{
    for (std::size_t r = 0; r < 3; ++r) {
        const double v = w.regularizer[level(w, depth)][r][static_cast<std::size_t>(column)];
        QVERIFY2(std::fabs(v - value) < 1e-5,
                 qPrintable(QString("z %1 column %2 row %3: %4, expected %5").arg(depth).arg(column).arg(r).arg(v).arg(value)));
    }
}

// Answers the width dialog: records what it shows, types `width` and clicks OK.
struct WidthAnswer {
    QString shown, caption, title;
    QString width = "0.5";
    bool ok = true;
    int operator()(QDialog* d)
    {
        shown = d->findChild<QLineEdit*>("inputValue")->text();
        caption = d->findChild<QLabel*>("label")->text();
        title = d->windowTitle();
        if (!ok)
            return int(QDialog::Rejected);
        d->findChild<QLineEdit*>("inputValue")->setText(width);
        d->findChild<QPushButton*>("OkButton")->click();
        return int(QDialog::Accepted);
    }
};

}  // namespace

class TestRegularizerBuildWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); fake.onDialog = nullptr; }

    void centralThroughDialog();
    void widthRemembered();
    void cancelBuildsNothing();
    void thicknessBased();
    void gradientRegularizer();
    void refusals_data();
    void refusals();
    void gradientWithoutGridSilent();
    void mismatchedHorizons();
    void runGuardRefuses();

private:
    FakeInteraction fake;
};

void TestRegularizerBuildWindow::centralThroughDialog()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    w.ui->view_dens->setChecked(true);
    w.ui->view_reg->setChecked(false);
    WidthAnswer answer;
    fake.onDialog = [&answer](QDialog* d) { return answer(d); };
    w.on_centralRegularizer_triggered();
    QCOMPARE(fake.dialogs, QStringList{"InputValueDialog"});
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(answer.shown, QStringLiteral("0.5"));
    QCOMPARE(answer.caption, QStringLiteral("Input relative width"));
    QCOMPARE(answer.title, QStringLiteral("Input value"));

    QCOMPARE(w.regularizer.size(), std::size_t(13));
    QCOMPARE(w.regularizer[0].size(), std::size_t(3));
    QCOMPARE(w.regularizer[0][0].size(), std::size_t(5));
    // Column 0: layer 0 from 0 to 100, the last layer from 100 to 300.
    expect(w, 50, 0, 1.0);
    expect(w, 25, 0, 0.25);
    expect(w, 75, 0, 0.25);
    expect(w, 0, 0, 1.0 / 256);
    expect(w, 200, 0, 1.0);
    expect(w, 150, 0, 0.25);
    expect(w, 300, 0, 1.0 / 256);
    // Column 4: layer 0 from 0 to 200.
    expect(w, 100, 4, 1.0);
    expect(w, 50, 4, 0.25);

    QCOMPARE(w.x_reg, w.x_calc);
    QCOMPARE(w.y_reg, w.y_calc);
    QCOMPARE(w.z_reg, w.z_calc);
    QCOMPARE(w.central_reg_width, 0.5);
    // A new regularizer holds raw values: the normalisation starts afresh.
    QCOMPARE(w.regularizer_scale, 1.0);
    QVERIFY(w.regularizer_offsets.empty());
    QVERIFY(w.ui->view_reg->isChecked());
    QVERIFY(!w.ui->view_dens->isChecked());
    QVERIFY(w.progress_bar.isHidden());
    // The density grid is not touched and no snapshot is taken.
    QCOMPARE(w.den_grid[3][1][2], 2.3f);
    QVERIFY(w.undo_stack.empty());
}

void TestRegularizerBuildWindow::widthRemembered()
{
    MainWindow w;
    w.language = 0;
    give_model(w);
    WidthAnswer answer;
    answer.width = "0.3";
    fake.onDialog = [&answer](QDialog* d) { return answer(d); };
    w.on_centralRegularizerOnHeights_triggered();
    QCOMPARE(answer.shown, QStringLiteral("0.5"));
    QCOMPARE(answer.caption, QString::fromUtf8("Введите относительную ширину"));
    QCOMPARE(w.central_reg_width, 0.3);
    answer.width = "0.8";
    w.on_centralRegularizer_triggered();
    QCOMPARE(answer.shown, QStringLiteral("0.3"));
    QCOMPARE(w.central_reg_width, 0.8);
    answer.ok = false;
    w.on_centralRegularizer_triggered();
    QCOMPARE(answer.shown, QStringLiteral("0.8"));
    QCOMPARE(fake.dialogs.size(), 3);
}

void TestRegularizerBuildWindow::cancelBuildsNothing()
{
    MainWindow w;
    give_model(w);
    WidthAnswer answer;
    answer.ok = false;
    fake.onDialog = [&answer](QDialog* d) { return answer(d); };
    w.on_centralRegularizer_triggered();
    w.on_centralRegularizerOnHeights_triggered();
    QCOMPARE(fake.dialogs.size(), 2);
    QVERIFY(w.regularizer.empty());
    QCOMPARE(w.central_reg_width, 0.5);
    QCOMPARE(w.regularizer_scale, 4.0);
}

// Layer 0 is 100 m thick at column 0 and 200 m at its thickest (column 4):
// column 0 holds half the plain values there. The last layer is 200 m thick
// at column 0 (its thickest) and 100 m at column 4.
void TestRegularizerBuildWindow::thicknessBased()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    w.createCentralRegularizerHeights(0.5);
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QVERIFY(fake.dialogs.isEmpty());
    expect(w, 50, 0, 0.5);
    expect(w, 25, 0, 0.125);
    expect(w, 200, 0, 1.0);
    expect(w, 150, 0, 0.25);
    expect(w, 100, 4, 1.0);
    expect(w, 250, 4, 0.5);
    QVERIFY(w.ui->view_reg->isChecked());
}

// Gradient 0 on horizon 0, 1/4 on horizon 1, deepest level 300: after
// scaling z / h1 above horizon 1 and (300 - z) / (300 - h1) below it.
void TestRegularizerBuildWindow::gradientRegularizer()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    w.ui->view_reg->setChecked(false);
    w.on_horizonsBasedRegularizer_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(w.regularizer.size(), std::size_t(13));
    for (int c = 0; c < 5; ++c) {
        const double h1 = 100 + 25.0 * c;
        for (double z : w.z_calc)
            expect(w, z, c, z < h1 ? z / h1 : (300 - z) / (300 - h1));
    }
    expect(w, 150, 2, 1.0);
    QCOMPARE(w.x_reg, w.x_calc);
    QCOMPARE(w.regularizer_scale, 1.0);
    QVERIFY(w.regularizer_offsets.empty());
    QVERIFY(w.ui->view_reg->isChecked());
}

void TestRegularizerBuildWindow::refusals_data()
{
    QTest::addColumn<bool>("grid");
    QTest::addColumn<bool>("horizons");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    const QString en = "3D density grid or horizons are empty";
    const QString ru = QString::fromUtf8("Для создания срединного регуляризатора необходим грид плотности и горизонты");
    QTest::newRow("no grid en") << false << true << 1 << en;
    QTest::newRow("no horizons en") << true << false << 1 << en;
    QTest::newRow("nothing ru") << false << false << 0 << ru;
}

void TestRegularizerBuildWindow::refusals()
{
    QFETCH(bool, grid);
    QFETCH(bool, horizons);
    QFETCH(int, language);
    QFETCH(QString, text);
    MainWindow w;
    w.language = language;
    give_model(w);
    if (!grid)
        w.den_grid.clear();
    if (!horizons)
        w.horizons.clear();
    fake.onDialog = [](QDialog*) { return int(QDialog::Accepted); };
    w.on_centralRegularizer_triggered();
    w.on_centralRegularizerOnHeights_triggered();
    w.createCentralRegularizer(0.5);
    w.createCentralRegularizerHeights(0.5);
    QCOMPARE(fake.errors(), repeated(4, text));
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(w.regularizer.empty());
    QCOMPARE(w.central_reg_width, 0.5);

    // The gradient regularizer reports missing horizons (a grid alone).
    fake.clear();
    w.on_horizonsBasedRegularizer_triggered();
    if (grid)
        QCOMPARE(fake.errors(), QStringList{language == 0 ? QString::fromUtf8("Горизонты не загружены в проект")
                                                          : QStringLiteral("Horizon are empty")});
    QVERIFY(w.regularizer.empty());
}

void TestRegularizerBuildWindow::gradientWithoutGridSilent()
{
    MainWindow w;
    give_model(w);
    w.den_grid.clear();
    w.on_horizonsBasedRegularizer_triggered();
    QVERIFY(fake.notes.isEmpty());
    QVERIFY(w.regularizer.empty());
}

// Horizons on other rows and columns than the grid are refused by all three.
void TestRegularizerBuildWindow::mismatchedHorizons()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    for (auto& h : w.horizons)
        h.pop_back();
    fake.onDialog = [](QDialog*) { return int(QDialog::Accepted); };
    w.on_centralRegularizer_triggered();
    w.createCentralRegularizerHeights(0.4);
    w.on_horizonsBasedRegularizer_triggered();
    QCOMPARE(fake.errors(), repeated(3, "Horizons and 3D grid have different parameters"));
    QVERIFY(fake.dialogs.isEmpty());
    QVERIFY(w.regularizer.empty());
    QCOMPARE(w.regularizer_scale, 4.0);
}

void TestRegularizerBuildWindow::runGuardRefuses()
{
    MainWindow w;
    w.language = 1;
    give_model(w);
    w.regularizer.assign(1, vector2D(1, std::vector<data_type>(1, 0.7f)));
    const vector3D before = w.regularizer;
    {
        RunGuard run(&w, RunKind::Inversion);
        QVERIFY(bool(run));
        fake.onDialog = [](QDialog*) { return int(QDialog::Accepted); };
        w.on_centralRegularizer_triggered();
        w.on_centralRegularizerOnHeights_triggered();
        w.on_horizonsBasedRegularizer_triggered();
        w.createCentralRegularizer(0.2);
        w.createCentralRegularizerHeights(0.2);
        QVERIFY(fake.dialogs.isEmpty());
        QCOMPARE(fake.errors(), repeated(5, "Another operation is running: stop it or wait until it ends"));
    }
    QCOMPARE(w.regularizer, before);
    QCOMPARE(w.central_reg_width, 0.5);
    QCOMPARE(w.regularizer_scale, 4.0);
}

QTEST_MAIN(TestRegularizerBuildWindow)
#include "tst_regularizer_build_window.moc"
