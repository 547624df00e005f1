// The velocity-to-density commands of the main window and the formulas
// dialog, offscreen, with scripted message boxes and dialogs.
#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "editing/formula_worker.h"
#include "editing/formulasdialog.h"
#include "endless_formulas.h"
#include "fake_interaction.h"
#include "fixed_available_memory.h"

namespace {

vector3D cube(std::size_t nz, std::size_t ny, std::size_t nx, float v)
{
    return vector3D(nz, vector2D(ny, std::vector<data_type>(nx, v)));
}

field2D plane(std::size_t ny, std::size_t nx, double v)
{
    return field2D(ny, std::vector<double>(nx, v));
}

double gardner_ref(double v) { return 0.31 * std::pow(v, 0.25); }

// A Vp cube of 2000 m/s on 4 levels (0, 100, 200, 300 m), 2 rows, 3 columns.
void give_vp(MainWindow& w, float v = 2000.f)
{
    w.Vp_grid = cube(4, 2, 3, v);
    w.x_vp = {1000, 1050, 1100};
    w.y_vp = {0, 50};
    w.z_vp = {0, 100, 200, 300};
}

void give_density(MainWindow& w, float v = 2.2f)
{
    w.den_grid = cube(4, 2, 3, v);
    w.x_calc = {0, 10, 20};
    w.y_calc = {0, 10};
    w.z_calc = {0, 100, 200, 300};
    w.x_norm = w.x_calc;
    w.y_norm = w.y_calc;
    w.z_norm = w.z_calc;
}

// Two layers split at 150 m on the 2 x 3 lattice.
void give_two_layers(MainWindow& w)
{
    w.horizons = {plane(2, 3, 0), plane(2, 3, 150)};
    w.horizons_params = {3, 2, 1000, 1100, 0, 50};
    w.densities = {0, 0};
    w.fixed = {false, false};
    w.layers_names = {"", ""};
}

// Sets a row's type and fields in an open formulas dialog.
void set_row(QDialog* d, int row, int type, const QString& a, const QString& b = QString(),
             const QString& c = QString())
{
    d->findChild<QComboBox*>(QString("formula_%1").arg(row))->setCurrentIndex(type);
    d->findChild<QLineEdit*>(QString("a_%1").arg(row))->setText(a);
    d->findChild<QLineEdit*>(QString("b_%1").arg(row))->setText(b);
    d->findChild<QLineEdit*>(QString("c_%1").arg(row))->setText(c);
}

void click(QDialog* d, const char* name)
{
    d->findChild<QPushButton*>(name)->click();
}

}  // namespace

class TestVelocityWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { fake.clear(); fake.onDialog = nullptr; }

    void dialogForm();
    void dialogRowsAndFieldRule_data();
    void dialogRowsAndFieldRule();
    void dialogOkSendsRows();
    void dialogCancelSendsNothing();
    void perLayerConversionThroughDialog();
    void scriptRowMatchesGardner();
    void memoryQuestion_data();
    void memoryQuestion();
    void scriptTextRefused_data();
    void scriptTextRefused();
    void nonFiniteResultRefused();
    void badValueNamedAsTheGridFormulaNamesIt_data();
    void badValueNamedAsTheGridFormulaNamesIt();
    void checksAndStoredFormulas_data();
    void checksAndStoredFormulas();
    void densityAloneIsConverted();
    void gardnerCommand();
    void inverseGardnerCommand();
    void hiddenSlots();
    void endlessScriptRowStopped_data();
    void endlessScriptRowStopped();
    void hostileScriptRows_data();
    void hostileScriptRows();

private:
    FakeInteraction fake;
};

void TestVelocityWindow::dialogForm()
{
    FormulasDialog d;
    QCOMPARE(d.windowTitle(), QString::fromUtf8("(h, V) - σ"));
    QCOMPARE(d.size(), QSize(504, 360));
    auto* import = d.findChild<QPushButton*>("ImportFormulas");
    QVERIFY(import->isHidden());
    QCOMPARE(d.findChild<QPushButton*>("OkButton")->text(), QString("Ok"));
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString::fromUtf8("Отмена"));
    d.setLanguage(1);
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString("Cancel"));
    QCOMPARE(import->text(), QString("Import formulas"));
    QCOMPARE(d.findChild<QPushButton*>("OkButton")->text(), QString("Ok"));
    d.setLanguage(0);
    QCOMPARE(d.findChild<QPushButton*>("CancelButton")->text(), QString::fromUtf8("Отмена"));
    QCOMPARE(import->text(), QString::fromUtf8("Импорт формул"));
}

void TestVelocityWindow::dialogRowsAndFieldRule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("aEnabled");
    QTest::addColumn<bool>("bShown");
    QTest::addColumn<bool>("cShown");
    QTest::addColumn<QString>("hint");
    QTest::newRow("Gardner") << 0 << false << false << false << "";
    QTest::newRow("Const") << 1 << true << false << false << "";
    QTest::newRow("water") << 2 << true << true << false << QString::fromUtf8("σ|n<sub>max</sub>");
    QTest::newRow("gas") << 3 << true << true << false << QString::fromUtf8("σ|n<sub>max</sub>");
    QTest::newRow("polynomial") << 4 << true << true << true << "a|b|c";
    QTest::newRow("script") << 5 << true << false << false << "";
}

void TestVelocityWindow::dialogRowsAndFieldRule()
{
    QFETCH(int, type);
    QFETCH(bool, aEnabled);
    QFETCH(bool, bShown);
    QFETCH(bool, cShown);
    QFETCH(QString, hint);

    FormulasDialog d;
    d.setLanguage(1);
    d.setLayersNames({"Top", ""});
    // Row 0 starts from the stored type; row 1 from Gardner (stored 7 is no item).
    d.setFormulas({type, 7}, {"2.7", "x"}, {"30"}, {});
    d.addFormulaRows(3);
    QCOMPARE(d.rowCount(), 3);
    QCOMPARE(d.findChild<QLabel*>("name_0")->text(), QString("Top"));
    QCOMPARE(d.findChild<QLabel*>("name_1")->text(), QString("2"));
    QCOMPARE(d.findChild<QLabel*>("name_2")->text(), QString("3"));
    QCOMPARE(d.findChild<QLineEdit*>("a_0")->text(), QString("2.7"));
    QCOMPARE(d.findChild<QLineEdit*>("b_0")->text(), QString("30"));
    QCOMPARE(d.findChild<QLineEdit*>("a_1")->text(), QString("x"));
    QCOMPARE(d.findChild<QLineEdit*>("c_0")->text(), QString());
    auto* combo = d.findChild<QComboBox*>("formula_0");
    QCOMPARE(combo->count(), 6);
    QCOMPARE(combo->itemText(0), QString("Gradner"));
    QCOMPARE(combo->itemText(4), QString::fromUtf8("aVp² + bVp + c"));
    QCOMPARE(combo->itemText(5), QString("Other"));
    QCOMPARE(d.findChild<QComboBox*>("formula_1")->currentIndex(), 0);

    auto check = [&](int row, int t) {
        const auto* a = d.findChild<QLineEdit*>(QString("a_%1").arg(row));
        QVERIFY(!a->isHidden());
        QCOMPARE(a->isEnabled(), t != 0);
        QCOMPARE(!d.findChild<QLineEdit*>(QString("b_%1").arg(row))->isHidden(), t == 2 || t == 3 || t == 4);
        QCOMPARE(!d.findChild<QLineEdit*>(QString("c_%1").arg(row))->isHidden(), t == 4);
    };
    QCOMPARE(combo->currentIndex(), type);
    const auto* a = d.findChild<QLineEdit*>("a_0");
    QCOMPARE(a->isEnabled(), aEnabled);
    QCOMPARE(!d.findChild<QLineEdit*>("b_0")->isHidden(), bShown);
    QCOMPARE(!d.findChild<QLineEdit*>("c_0")->isHidden(), cShown);
    QCOMPARE(d.findChild<QLabel*>("hint_0")->text(), hint);
    check(1, 0);

    // Changing a row's type changes only that row's fields.
    d.findChild<QComboBox*>("formula_2")->setCurrentIndex(4);
    check(2, 4);
    QCOMPARE(d.findChild<QLabel*>("hint_2")->text(), QString("a|b|c"));
    check(1, 0);
    d.findChild<QComboBox*>("formula_2")->setCurrentIndex(type);
    check(2, type);
    QCOMPARE(d.findChild<QLabel*>("hint_2")->text(), hint);

    // Russian items.
    FormulasDialog r;
    r.addFormulaRows(1);
    QCOMPARE(r.findChild<QComboBox*>("formula_0")->itemText(0), QString::fromUtf8("Гарднер"));
    QCOMPARE(r.findChild<QComboBox*>("formula_0")->itemText(3), QString::fromUtf8("Газонасыщенные породы"));
}

void TestVelocityWindow::dialogOkSendsRows()
{
    FormulasDialog d;
    d.addFormulaRows(2);
    set_row(&d, 0, 4, "1e-7", "2e-4", "1.2");
    set_row(&d, 1, 0, "hidden a", "hidden b", "hidden c");
    std::vector<int> types;
    std::vector<QString> a, b, c;
    bool visibleAtEmit = true;
    connect(&d, &FormulasDialog::formulasSelected,
            [&](std::vector<int>& t, std::vector<QString>& fa, std::vector<QString>& fb, std::vector<QString>& fc) {
                types = t;
                a = fa;
                b = fb;
                c = fc;
                visibleAtEmit = d.isVisible();
            });
    d.show();
    click(&d, "OkButton");
    QCOMPARE(types, (std::vector<int>{4, 0}));
    QCOMPARE(a, (std::vector<QString>{"1e-7", "hidden a"}));
    QCOMPARE(b, (std::vector<QString>{"2e-4", "hidden b"}));
    QCOMPARE(c, (std::vector<QString>{"1.2", "hidden c"}));
    QVERIFY(!visibleAtEmit);
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestVelocityWindow::dialogCancelSendsNothing()
{
    MainWindow w;
    give_vp(w);
    fake.onDialog = [](QDialog* d) {
        set_row(d, 0, 1, "2.5");
        click(d, "CancelButton");
        return d->result();
    };
    w.on_vel_dens_triggered();
    QCOMPARE(fake.dialogs, QStringList{"FormulasDialog"});
    QVERIFY(w.den_grid.empty());
    QVERIFY(w.formulas.types.empty());
}

// Two layers split at 150 m: a constant above, the water-saturated formula below.
void TestVelocityWindow::perLayerConversionThroughDialog()
{
    MainWindow w;
    give_vp(w);
    give_two_layers(w);
    w.layers_names = {"Sand", ""};
    give_density(w, 1.5f);  // replaced by the conversion
    QStringList labels;
    fake.onDialog = [&](QDialog* d) {
        labels << d->findChild<QLabel*>("name_0")->text() << d->findChild<QLabel*>("name_1")->text();
        set_row(d, 0, 1, "2.05");
        set_row(d, 1, 2, "2.7", "30");
        click(d, "OkButton");
        return d->result();
    };
    w.on_vel_dens_triggered();
    QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
    QCOMPARE(labels, (QStringList{"Sand", "2"}));
    QCOMPARE(w.den_grid.size(), std::size_t(4));
    for (std::size_t k = 0; k < 4; ++k) {
        const double z = 100.0 * k;
        const double expected = z < 150 ? 2.05 : 2.7 + 0.3 * std::exp(-0.00045 * z) * (1 - 2.7);
        QVERIFY2(std::abs(w.den_grid[k][1][2] - expected) < 1e-6, qPrintable(QString::number(k)));
    }
    // The grid takes the Vp cube's geometry; the formulas are kept for the next opening.
    QCOMPARE(w.x_calc, w.x_vp);
    QCOMPARE(w.z_calc, w.z_vp);
    QCOMPARE(w.x_norm, w.x_vp);
    QCOMPARE(w.formulas.types, (std::vector<int>{1, 2}));
    QCOMPARE(w.formulas.a, (std::vector<QString>{"2.05", "2.7"}));
    QVERIFY(w.ui->view_dens->isChecked());

    // Undo brings the old grid and its geometry back.
    QCOMPARE(w.undo_stack.size(), std::size_t(1));
    w.on_actionUndo_triggered();
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
    QCOMPARE(w.x_calc, (std::vector<double>{0, 10, 20}));

    // The next opening shows what was confirmed.
    fake.onDialog = [&](QDialog* d) {
        labels.clear();
        labels << d->findChild<QLineEdit*>("a_0")->text() << d->findChild<QLineEdit*>("b_1")->text()
               << QString::number(d->findChild<QComboBox*>("formula_1")->currentIndex());
        return int(QDialog::Rejected);
    };
    w.on_vel_dens_triggered();
    QCOMPARE(labels, (QStringList{"2.05", "30", "2"}));
}

void TestVelocityWindow::scriptRowMatchesGardner()
{
    MainWindow w;
    give_vp(w);
    for (std::size_t k = 0; k < 4; ++k)
        w.Vp_grid[k][1][1] = 1500.f + 1000.f * k;
    QVector<double> fixed;
    for (int pass = 0; pass < 2; ++pass) {
        fake.onDialog = [pass](QDialog* d) {
            set_row(d, 0, pass == 0 ? 0 : 5, "0.31 * Math.pow(Vp, 0.25) + 0 * Vs + 0 * h");
            click(d, "OkButton");
            return d->result();
        };
        w.on_vel_dens_triggered();
        QVERIFY2(fake.errors().isEmpty(), qPrintable(fake.errors().join("; ")));
        for (std::size_t k = 0; k < 4; ++k) {
            if (pass == 0)
                fixed << w.den_grid[k][1][1];
            else
                QVERIFY(std::abs(w.den_grid[k][1][1] - fixed[int(k)]) <= 4e-7 * fixed[int(k)]);
            QVERIFY(std::abs(fixed[int(k)] - gardner_ref(1500.0 + 1000.0 * k)) < 1e-5);
        }
    }
    QVERIFY(std::abs(w.den_grid[0][0][0] - 2.0730945) < 1e-5);
}

void TestVelocityWindow::memoryQuestion_data()
{
    QTest::addColumn<int>("answer");  // 0: no question expected
    QTest::addColumn<quint64>("available");
    QTest::addColumn<bool>("script");  // the first row a script, else both fixed
    QTest::newRow("script row, declined") << int(QMessageBox::No) << quint64(100) << true;
    QTest::newRow("script row, accepted") << int(QMessageBox::Yes) << quint64(100) << true;
    QTest::newRow("fixed rows, declined") << int(QMessageBox::No) << quint64(100) << false;
    QTest::newRow("fits") << 0 << (quint64(1) << 40) << true;
}

// A conversion needing more memory than is available asks first: the
// converted cube and, with script rows, their data (a 192-byte header, the
// Vp column and the results as floats, the depths as doubles, each column
// padded to 64 bytes) and their worker. No leaves the grid as it was.
void TestVelocityWindow::memoryQuestion()
{
    QFETCH(int, answer);
    QFETCH(quint64, available);
    QFETCH(bool, script);
    FixedAvailableMemory memory(available);
    MainWindow w;
    w.language = 0;
    give_vp(w);
    give_density(w, 1.5f);
    give_two_layers(w);
    if (answer)
        fake.answers << QMessageBox::StandardButton(answer);
    std::vector<int> types{script ? 5 : 1, 1};
    std::vector<QString> a{script ? "Vp / 1000" : "2", "2.5"}, b{"", ""}, c{"", ""};
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(fake.errors().isEmpty());
    if (!answer) {
        QVERIFY(fake.questions.isEmpty());
    } else {
        QCOMPARE(fake.questions.size(), 1);
        const double job = script ? 192 + 128 + 192 + 128 + double(grid_formula::kWorkerBytes) : 0;
        QCOMPARE(fake.questions.first().text,
                 expected_memory_question(grid_memory::cube_bytes(3, 2, 4) + job, 100, 0));
    }
    if (answer == int(QMessageBox::No)) {
        QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
        QVERIFY(w.undo_stack.empty());
    } else {
        QCOMPARE(w.den_grid[0][0][0], 2.f);
        QCOMPARE(w.den_grid[3][0][0], 2.5f);
    }
}

void TestVelocityWindow::scriptTextRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("syntax error") << "Vp * (2" << "Syntax error in the formula of layer 1: ";
    QTest::newRow("NUL in the text") << QString("Vp").append(QChar(0)).append("+1")
                                     << "Syntax error in the formula of layer 1: the text holds a NUL character at "
                                        "position 3";
    QTest::newRow("empty") << "" << "The formula of layer 1 is empty. The density grid is unchanged.";
    QTest::newRow("blank") << "  " << "The formula of layer 1 is empty. The density grid is unchanged.";
}

// A script row whose text does not compile or holds no formula is refused
// before anything runs; the same text in a row that is not a script does
// not matter.
void TestVelocityWindow::scriptTextRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    MainWindow w;
    w.language = 1;
    give_vp(w);
    give_density(w, 1.5f);
    give_two_layers(w);
    std::vector<int> types{5, 1};
    std::vector<QString> a{text, "2.5"}, b{"", ""}, c{"", ""};
    w.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().startsWith(error), qPrintable(fake.errors().front()));
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(w.formulas.a, a);  // kept for the next opening

    fake.clear();
    types = {1, 1};
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.den_grid[0][0][0], 0.0f);  // the text reads as 0
    QCOMPARE(w.den_grid[3][0][0], 2.5f);
}

void TestVelocityWindow::nonFiniteResultRefused()
{
    MainWindow w;
    w.language = 1;
    give_vp(w);
    give_density(w, 1.5f);
    w.Vp_grid[2][1][0] = -5.f;
    std::vector<int> types{0};
    std::vector<QString> a{""}, b{""}, c{""};
    w.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(fake.errors(),
             QStringList{"The formula of layer 1 gives a value that is not a number (level 3, row 2, column 1). "
                         "The density grid is unchanged."});
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
    QVERIFY(w.undo_stack.empty());

    fake.clear();
    w.Vp_grid[2][1][0] = 2000.f;
    types = {5};
    a = {"Vp > 1000 ? undefinedName : 1"};
    w.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().contains("undefinedName"), qPrintable(fake.errors().front()));
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
}

void TestVelocityWindow::badValueNamedAsTheGridFormulaNamesIt_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("type");  // of the second layer's row
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("gridFormula");  // gives the grid formula the same value
    QTest::addColumn<QString>("what");
    const QString beyond = "the value %1, beyond the single-precision range";
    QTest::newRow("const 1e39") << 1 << 1 << "1e39" << "" << "1e39" << beyond.arg("1e+39");
    QTest::newRow("const -1e39") << 1 << 1 << "-1e39" << "" << "-1e39" << beyond.arg("-1e+39");
    QTest::newRow("polynomial 1e38 Vp^2") << 1 << 4 << "1e38" << "0" << "4e44" << beyond.arg("4e+44");
    QTest::newRow("polynomial b Vp beyond") << 1 << 4 << "0" << "1e36" << "2e39" << beyond.arg("2e+39");
    QTest::newRow("script 1/0") << 1 << 5 << "1/0" << "" << "1/0" << "an infinite value";
    QTest::newRow("script -Vp/0") << 1 << 5 << "-Vp/0" << "" << "-1/0" << "an infinite value";
    QTest::newRow("script 1e39") << 1 << 5 << "1e39" << "" << "1e39" << beyond.arg("1e+39");
    QTest::newRow("script h * 1e37") << 1 << 5 << "h * 1e37" << "" << "2e39" << beyond.arg("2e+39");
    QTest::newRow("script 0/0") << 1 << 5 << "0/0" << "" << "0/0" << "a value that is not a number";
    QTest::newRow("const 1e39, Russian")
        << 0 << 1 << "1e39" << "" << "1e39" << QString::fromUtf8("значение 1e+39 за пределами одинарной точности");
    QTest::newRow("script 1/0, Russian")
        << 0 << 5 << "1/0" << "" << "1/0" << QString::fromUtf8("бесконечное значение");
}

// A value no cell can hold is named by the per-layer conversion with the
// words the grid formula uses for the same value; the grid stays.
void TestVelocityWindow::badValueNamedAsTheGridFormulaNamesIt()
{
    QFETCH(int, language);
    QFETCH(int, type);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, gridFormula);
    QFETCH(QString, what);
    MainWindow w;
    w.language = language;
    give_vp(w);
    give_density(w, 1.5f);
    give_two_layers(w);
    // The first layer (0 and 100 m) converts; the second (200 and 300 m) does not.
    std::vector<int> types{0, type};
    std::vector<QString> as{"", a}, bs{"", b}, cs{"", "0"};
    w.recalc3DgridFormulas(types, as, bs, cs);
    const QString expected = language == 1
        ? QString("The formula of layer 2 gives %1 (level 3, row 1, column 1). The density grid is unchanged.")
              .arg(what)
        : QString::fromUtf8("Формула слоя 2 даёт %1 (уровень 3, строка 1, столбец 1). Плотностной грид не изменён.")
              .arg(what);
    QCOMPARE(fake.errors(), QStringList{expected});
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
    QVERIFY(w.undo_stack.empty());
    QVERIFY(!w.runActive());

    // The grid formula's message for that value says the same.
    fake.clear();
    w.denGridMath(gridFormula);
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY2(fake.errors().front().contains(language == 1 ? " gives " + what + " (" : QString::fromUtf8(" даёт ") + what + " ("),
             qPrintable(fake.errors().front()));
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
}

void TestVelocityWindow::checksAndStoredFormulas_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("stored");
    QTest::newRow("fewer rows than layers") << 0 << 1 << "Formulas and layers count must be equal" << false;
    QTest::newRow("fewer rows than layers, Russian")
        << 0 << 0 << QString::fromUtf8(" Количество формул не совпадает с количеством слоев") << false;
    QTest::newRow("horizons off the Vp cube") << 1 << 1 << "Parameters of horizons and Vp grid doesn't match" << true;
    QTest::newRow("horizons off the Vp cube, Russian")
        << 1 << 0 << QString::fromUtf8("Параметры разбиения горизонтов и грида Vp не совпадают") << true;
    QTest::newRow("Vp and Vs differ") << 2 << 1 << "Parameters of Vp and Vs grids aren't equal" << true;
    QTest::newRow("Vp and Vs differ, Russian")
        << 2 << 0 << QString::fromUtf8("Параметры гридов Vp и Vs не совпадают") << true;
    QTest::newRow("nothing loaded") << 3 << 1 << "3D grid Vp is empty" << true;
    QTest::newRow("horizons off the density grid")
        << 4 << 1 << "Parameters of horizons and 3D density grid don't match" << true;
}

void TestVelocityWindow::checksAndStoredFormulas()
{
    QFETCH(int, scenario);
    QFETCH(int, language);
    QFETCH(QString, error);
    QFETCH(bool, stored);
    MainWindow w;
    w.language = language;
    give_two_layers(w);
    std::vector<int> types{1, 1};
    std::vector<QString> a{"2.1", "2.2"}, b{"", ""}, c{"", ""};
    switch (scenario) {
    case 0:
        give_vp(w);
        types = {1};
        a = {"2.1"};
        b = c = {""};
        break;
    case 1:
        give_vp(w);
        w.Vp_grid = cube(4, 3, 3, 2000.f);
        break;
    case 2:
        give_vp(w);
        w.Vs_grid = cube(3, 2, 3, 1000.f);
        w.z_vs = {0, 100, 200};
        break;
    case 3:
        break;
    case 4:
        give_density(w);
        w.horizons = {plane(3, 3, 0), plane(3, 3, 150)};
        break;
    }
    const vector3D before = w.den_grid;
    w.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(fake.errors(), QStringList{error});
    QCOMPARE(w.den_grid, before);
    QVERIFY(w.undo_stack.empty());
    QCOMPARE(!w.formulas.types.empty(), stored);
}

void TestVelocityWindow::densityAloneIsConverted()
{
    MainWindow w;
    give_density(w, 2.2f);
    std::vector<int> types{0};
    std::vector<QString> a{""}, b{""}, c{""};
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(std::abs(w.den_grid[2][1][1] - gardner_ref(2.2)) < 1e-6);
    QCOMPARE(w.x_calc, (std::vector<double>{0, 10, 20}));

    // Only a Vs cube: Gardner on the Vs values, the polynomial gives 0, the grid takes the Vs geometry.
    MainWindow v;
    v.Vs_grid = cube(2, 1, 2, 1600.f);
    v.x_vs = {5, 6};
    v.y_vs = {7};
    v.z_vs = {10, 20};
    v.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(std::abs(v.den_grid[1][0][1] - gardner_ref(1600)) < 1e-5);
    QCOMPARE(v.x_calc, v.x_vs);
    QCOMPARE(v.z_calc, v.z_vs);
    types = {4};
    a = {"0"};
    b = {"0.001"};
    c = {"0.5"};
    v.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(v.den_grid[0][0][0], 0.0f);
    give_vp(v);
    v.Vs_grid.clear();
    v.recalc3DgridFormulas(types, a, b, c);
    QCOMPARE(v.den_grid[0][0][0], 2.5f);
}

void TestVelocityWindow::gardnerCommand()
{
    MainWindow w;
    w.language = 1;
    w.on_gardner_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{"3D grid Vp is empty"});
    fake.clear();
    w.language = 0;
    w.on_gardner_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Загрузите 3D грид Vp")});

    fake.clear();
    give_vp(w);
    give_density(w, 1.0f);
    w.on_gardner_formula_triggered();
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(std::abs(w.den_grid[3][1][2] - 2.0730945) < 1e-5);
    QCOMPARE(w.x_calc, w.x_vp);
    QCOMPARE(w.y_norm, w.y_vp);
    QVERIFY(w.undo_stack.empty());
    QVERIFY(w.ui->view_dens->isChecked());

    // Negative velocities have no fourth root: refused, the grid stays.
    fake.clear();
    const vector3D before = w.den_grid;
    w.Vp_grid[0][0][1] = -1.f;
    w.language = 1;
    w.on_gardner_formula_triggered();
    QCOMPARE(fake.errors().size(), 1);
    QVERIFY(fake.errors().front().startsWith("Gardner's formula gives a value that is not a number (level 1, row 1, "
                                             "column 2)"));
    QCOMPARE(w.den_grid, before);
}

void TestVelocityWindow::inverseGardnerCommand()
{
    MainWindow w;
    w.language = 1;
    w.on_inverse_gardner_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{"3D density grid is empty"});
    fake.clear();
    w.language = 0;
    w.on_inverse_gardner_formula_triggered();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Загрузите 3D грид плотности")});

    fake.clear();
    give_vp(w, 2000.f);
    w.on_gardner_formula_triggered();
    const vector3D density = w.den_grid;
    w.Vp_grid.clear();
    w.on_inverse_gardner_formula_triggered();
    QVERIFY(fake.errors().isEmpty());
    QCOMPARE(w.den_grid, density);  // unchanged
    QVERIFY(std::abs(w.Vp_grid[2][1][1] - 2000.f) < 0.05f);
    QCOMPARE(w.x_vp, w.x_calc);
    QCOMPARE(w.z_vp, w.z_calc);
    QVERIFY(w.ui->view_Vp->isChecked());
    QVERIFY(w.undo_stack.empty());
}

void TestVelocityWindow::hiddenSlots()
{
    MainWindow w;
    give_vp(w);
    give_two_layers(w);
    w.formulas.types = {5};
    w.formulas.a = {"Vp / 1000"};
    w.convert_vel_to_dens();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Пока работает только с одной формулой без горизонтов")});
    QCOMPARE(w.den_grid[1][1][1], 2.0f);
    // An empty formula is named as such, the grid left as it was.
    fake.clear();
    w.horizons.clear();
    w.formulas.a = {"  "};
    w.convert_vel_to_dens();
    QCOMPARE(fake.errors(), QStringList{QString::fromUtf8("Формула пуста. Плотностной грид не изменён.")});
    QCOMPARE(w.den_grid[1][1][1], 2.0f);
    w.importlayers_densities(3);  // only a diagnostic line
}

void TestVelocityWindow::endlessScriptRowStopped_data()
{
    add_stop_rows();
}

// A script row that never ends is stopped by Esc (a timer presses it) or by
// "no" to the time question; the density grid and the undo stack stay.
// Meanwhile the status line says that Esc stops it.
void TestVelocityWindow::endlessScriptRowStopped()
{
    QFETCH(bool, byEscape);
    QFETCH(QString, formula);
    QFETCH(bool, endless);
    MainWindow w;
    w.language = 0;
    give_vp(w);
    give_density(w, 1.5f);
    give_two_layers(w);
    w.progress_label->setText("(Nx, Ny, Nz) = (3, 2, 4)");
    QString status_meanwhile;
    if (byEscape && endless) {
        fake.answers << QMessageBox::Yes;
        QTimer::singleShot(100, &w, [&w, &status_meanwhile] {
            QVERIFY(w.runActive());
            status_meanwhile = w.progress_label->text();
            QTest::keyClick(&w, Qt::Key_Escape);
        });
    } else if (endless) {
        w.formula_time_limit_ms = 100;
        fake.answers << QMessageBox::No;
    }
    std::vector<int> types{1, 5};
    std::vector<QString> a{"2.5", formula}, b{"", ""}, c{"", ""};
    QElapsedTimer run_time;
    run_time.start();
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(run_time.elapsed() < 10000);
    QVERIFY(fake.errors().isEmpty());
    QVERIFY(!w.runActive() && !w.abort_enabled && !w.abort_requested);
    QCOMPARE(w.formulas.a, a);  // kept for the next opening
    QCOMPARE(w.progress_label->text(), QString("(Nx, Ny, Nz) = (3, 2, 4)"));
    if (!endless) {
        // Levels at 0 and 100 m lie in the first layer, 200 and 300 m in the second.
        QVERIFY(fake.questions.isEmpty());
        QVERIFY(fake.messages().isEmpty());
        QCOMPARE(w.den_grid[1][1][2], 2.5f);
        QCOMPARE(w.den_grid[2][0][0], 1.f);
        QCOMPARE(w.den_grid[3][1][2], 1.f);
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
        return;
    }
    QCOMPARE(fake.questions.size(), 1);
    if (!byEscape)
        QCOMPARE(fake.questions[0].text,
                 QString::fromUtf8("Формула вычисляется уже 0 с. Продолжить вычисление?"));
    else
        QCOMPARE(status_meanwhile, QString::fromUtf8("Вычисляется формула. Нажмите Esc, чтобы прервать."));
    QCOMPARE(fake.messages(), QStringList{QString::fromUtf8("Пересчет прерван. Плотностной грид не изменён.")});
    QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
    QVERIFY(w.undo_stack.empty());

    // The next conversion runs as usual.
    fake.clear();
    a[1] = "Vp / 1000";
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(w.den_grid[3][1][2], 2.f);
}

void TestVelocityWindow::hostileScriptRows_data()
{
    add_hostile_rows();
}

// A script row that crashes the script engine, takes all memory or sits in
// one built-in call cannot take the window with it, nor can it change the
// other row's function: the density grid and the undo stack stay (or the
// cells are right), and the next conversion gives the right cells.
void TestVelocityWindow::hostileScriptRows()
{
    QFETCH(QString, formula);
    QFETCH(bool, byEscape);
    QFETCH(int, allowanceMb);
    QFETCH(int, outcome);
    QFETCH(double, value);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    MainWindow w;
    w.language = 1;
    give_vp(w);
    give_density(w, 1.5f);
    give_two_layers(w);
    if (byEscape) {
        fake.answers << QMessageBox::Yes;
        QTimer::singleShot(300, &w, [&w] { QTest::keyClick(&w, Qt::Key_Escape); });
    }
    // The first layer (levels at 0 and 100 m) runs the formula, the second Vp / 1000.
    std::vector<int> types{5, 5};
    std::vector<QString> a{formula, "Vp / 1000"}, b{"", ""}, c{"", ""};
    const qint64 allowance = grid_formula::setFormulaMemoryAllowance(qint64(allowanceMb) << 20);
    {
        const HostileFault failing(fault);
        w.recalc3DgridFormulas(types, a, b, c);
    }
    grid_formula::setFormulaMemoryAllowance(allowance);
    QVERIFY(!w.runActive() && !w.abort_enabled && !w.abort_requested);
    const QStringList errors = fake.errors();
    if (hostile_gave_right_cells(outcome, errors)) {
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        for (std::size_t k = 0; k < 4; ++k)
            QCOMPARE(w.den_grid[k], cube(1, 2, 3, k < 2 ? float(value) : 2.f)[0]);
        QCOMPARE(w.undo_stack.size(), std::size_t(1));
    } else {
        check_hostile_refusal(outcome, fake.messages(), errors,
                              "The conversion was stopped. The density grid is unchanged.", message);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(w.den_grid, cube(4, 2, 3, 1.5f));
        QVERIFY(w.undo_stack.empty());
    }

    fake.clear();
    a[0] = "Vp / 1000";
    w.recalc3DgridFormulas(types, a, b, c);
    QVERIFY(fake.notes.isEmpty());
    QCOMPARE(w.den_grid, cube(4, 2, 3, 2.f));
}

QTEST_MAIN(TestVelocityWindow)
#include "tst_velocity_window.moc"
