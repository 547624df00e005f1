// The layers table, offscreen with scripted message boxes: its form and
// texts, the rows the main window fills in, the records its buttons and keys
// send, and what the main window does with them (layer means, fills,
// deletion in step, a table that no longer matches the layers).
#include <QtTest>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include "app/mainwindow.h"
#include "app/run_guard.h"
#include "editing/horizonswindow.h"
#include "fake_interaction.h"

namespace {

field2D constant(std::size_t ny, std::size_t nx, double v) { return field2D(ny, std::vector<double>(nx, v)); }

// Three layers on 2 rows by 3 columns: horizons at 0, 150 and 350 m, levels
// every 100 m from 0 to 500 m. Layer 0 cells hold 1, layer 2 cells 3, and
// layer 1 cells 2 except one cell of 4, so its mean is 26 / 12.
void giveModel(MainWindow& w)
{
    w.horizons = {constant(2, 3, 0), constant(2, 3, 150), constant(2, 3, 350)};
    w.horizons_params = {3, 2, 0, 100, 0, 50};
    w.densities = {0, 0, 0};
    w.fixed = {false, true, false};
    w.layers_names = {"", "", ""};
    w.x_calc = {0, 50, 100};
    w.y_calc = {0, 50};
    w.z_calc = {0, 100, 200, 300, 400, 500};
    const float level_values[6] = {1, 1, 2, 2, 3, 3};
    w.den_grid.clear();
    for (float v : level_values)
        w.den_grid.push_back(vector2D(2, std::vector<data_type>(3, v)));
    w.den_grid[3][0][0] = 4;
}

// The table the last command opened.
HorizonsWindow* lastTable(MainWindow& w)
{
    const QList<HorizonsWindow*> tables = w.findChildren<HorizonsWindow*>();
    return tables.isEmpty() ? nullptr : tables.last();
}

QTableWidget* tableWidget(HorizonsWindow* t) { return t->findChild<QTableWidget*>("denTable"); }

QPushButton* cellButton(HorizonsWindow* t, int row, int column)
{
    QWidget* cell = tableWidget(t)->cellWidget(row, column);
    return cell ? cell->findChild<QPushButton*>() : nullptr;
}

QPushButton* formButton(HorizonsWindow* t, const char* name) { return t->findChild<QPushButton*>(name); }

void setText(HorizonsWindow* t, int row, int column, const QString& text) { t->item(row, column)->setText(text); }

// Records every signal of a table in the order it comes.
struct Recorder {
    QStringList order;
    std::vector<double> dens;
    std::vector<bool> fixed;
    std::vector<QString> names;
    int row = -1;
    double value = 0;

    explicit Recorder(HorizonsWindow* t)
    {
        QObject::connect(t, &HorizonsWindow::dens_edited, [this](std::vector<double> d) { order << "dens_edited"; dens = d; });
        QObject::connect(t, &HorizonsWindow::dens_edited_norecalc, [this](std::vector<double> d) {
            order << "dens_edited_norecalc";
            dens = d;
        });
        QObject::connect(t, &HorizonsWindow::set_fixed, [this](std::vector<bool> f) { order << "set_fixed"; fixed = f; });
        QObject::connect(t, &HorizonsWindow::names_edited, [this](std::vector<QString> n) { order << "names_edited"; names = n; });
        QObject::connect(t, &HorizonsWindow::delete_horizon, [this](int n) { order << "delete_horizon"; row = n; });
        QObject::connect(t, &HorizonsWindow::load_horizon_density, [this](int n) { order << "load_horizon_density"; row = n; });
        QObject::connect(t, &HorizonsWindow::export_horizon_density, [this](int n) { order << "export_horizon_density"; row = n; });
        QObject::connect(t, &HorizonsWindow::export_horizon_density_central, [this](int n) {
            order << "export_horizon_density_central";
            row = n;
        });
        QObject::connect(t, &HorizonsWindow::export_horizon_density_vert_mean, [this](int n) {
            order << "export_horizon_density_vert_mean";
            row = n;
        });
        QObject::connect(t, &HorizonsWindow::set_constant_density, [this](int n, double d) {
            order << "set_constant_density";
            row = n;
            value = d;
        });
    }
};

}  // namespace

class TestLayerTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fake.clear(); }

    void formAsDesigned();
    void languageTexts_data();
    void languageTexts();
    void rowsFromLayers();
    void namesReplaceNumbers();
    void okSendsDensitiesFlagsAndNames();
    void okSignalsReachTheModel();
    void typedNamesAreStorable_data();
    void typedNamesAreStorable();
    void recalcSendsDensitiesAndFlags();
    void cellButtonsSendTheirRow_data();
    void cellButtonsSendTheirRow();
    void cancelClosesWithoutSending();
    void deleteKey_data();
    void deleteKey();
    void otherKeysDoNothing();

    void openingShowsLayerMeans();
    void openingWithoutGridKeepsStoredDensities();
    void fillThenOk();
    void deletingKeepsTheListsInStep();
    void deletingDownToOneLayerEmptiesTheModel();
    void staleTableIsRefused();
    void nothingIsSentWhileARunHoldsTheModel();

private:
    FakeInteraction fake;
};

void TestLayerTable::initTestCase()
{
    qRegisterMetaType<std::vector<double>>("std::vector<double>");
    qRegisterMetaType<std::vector<bool>>("std::vector<bool>");
    qRegisterMetaType<std::vector<QString>>("std::vector<QString>");
}

void TestLayerTable::formAsDesigned()
{
    HorizonsWindow t;
    QCOMPARE(t.objectName(), QString("HorizonsWindow"));
    QCOMPARE(t.size(), QSize(1083, 466));
    QVERIFY(!t.windowIcon().isNull());
    QCOMPARE(t.windowTitle(), QString("Layers"));
    QTableWidget* table = tableWidget(&t);
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 8);
    const QStringList form{"Layer name", "Const Density", "Fix", "Set constant", "Lateral density", "Export",
                           "Export (central)", "Export (vertical mean)"};
    for (int c = 0; c < 8; ++c)
        QCOMPARE(table->horizontalHeaderItem(c)->text(), form[c]);
    QCOMPARE(formButton(&t, "OKbutton")->text(), QString("OK"));
    QCOMPARE(formButton(&t, "Cancelbutton")->text(), QString("Cancel"));
    QCOMPARE(formButton(&t, "recalc_grid")->text(), QString("Recalc 3D grid"));
    QVERIFY(formButton(&t, "recalc_grid")->isHidden());
    QVERIFY(!t.isModal());
}

void TestLayerTable::languageTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("Russian") << 0
                             << QStringList{"Имя слоя", "Плотность", "Фиксировать", "Заполнить плотностью",
                                            "Импорт плотности", "Экспорт плотности\n(кровля)",
                                            "Экспорт плотности\n(центр)", "Экспорт плотности\n(верт. среднее)"}
                             << "Отмена" << "Слои"
                             << QStringList{"Заполнить", "Загрузить", "Сохранить", "Сохранить", "Сохранить"};
    QTest::newRow("English") << 1
                             << QStringList{"Layer's name", "Density", "Fix density", "Fill density",
                                            "Import density", "Export density\n(top)", "Export density\n(center)",
                                            "Export density\n(vertical mean)"}
                             << "Cancel" << "Layers"
                             << QStringList{"Fill", "Import", "Export", "Export", "Export"};
}

void TestLayerTable::languageTexts()
{
    QFETCH(int, language);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, buttons);
    HorizonsWindow t;
    t.setLanguage(language);
    t.setLayers({1, 2}, {});
    for (int c = 0; c < 8; ++c)
        QCOMPARE(tableWidget(&t)->horizontalHeaderItem(c)->text(), titles[c]);
    QTEST(formButton(&t, "Cancelbutton")->text(), "cancel");
    QTEST(t.windowTitle(), "title");
    QCOMPARE(formButton(&t, "OKbutton")->text(), QString("OK"));
    for (int row = 0; row < 2; ++row)
        for (int c = 3; c < 8; ++c)
            QCOMPARE(cellButton(&t, row, c)->text(), buttons[c - 3]);
}

void TestLayerTable::rowsFromLayers()
{
    HorizonsWindow t;
    t.setLanguage(1);
    t.setLayers({0, 2.123456789, -1e-7, 1234567.8}, {true, false, true});
    QCOMPARE(t.rowCount(), 4);
    const QStringList numbers{"1", "2", "3", "4"};
    const QStringList dens{"0", "2.12346", "-1e-07", "1.23457e+06"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(t.item(i, 0)->text(), numbers[i]);
        QCOMPARE(t.item(i, 1)->text(), dens[i]);
    }
    QCOMPARE(t.item(0, 2)->checkState(), Qt::Checked);
    QCOMPARE(t.item(1, 2)->checkState(), Qt::Unchecked);
    QCOMPARE(t.item(2, 2)->checkState(), Qt::Checked);
    QCOMPARE(t.item(3, 2)->checkState(), Qt::Unchecked);  // past the end of the flags

    // Cells outside the table get nothing.
    t.setCellButton(4, 3, "x");
    t.setCellButton(0, 8, "x");
    t.setCellButton(-1, 3, "x");
    QVERIFY(!tableWidget(&t)->cellWidget(4, 3));
    t.setItem(7, 0, new QTableWidgetItem("x"));
    QCOMPARE(t.rowCount(), 4);
}

void TestLayerTable::namesReplaceNumbers()
{
    HorizonsWindow t;
    t.setLayers({1, 2, 3}, {});
    t.setNames({"Sediments", "", "Basement"});
    QCOMPARE(t.item(0, 0)->text(), QString("Sediments"));
    QCOMPARE(t.item(1, 0)->text(), QString());
    QCOMPARE(t.item(2, 0)->text(), QString("Basement"));

    HorizonsWindow u;
    u.setLayers({1, 2}, {});
    u.setNames({"a", "b", "c"});  // more names than rows: the numbers stay
    QCOMPARE(u.item(0, 0)->text(), QString("1"));
    QCOMPARE(u.item(1, 0)->text(), QString("2"));
    u.setNames({"only"});
    QCOMPARE(u.item(0, 0)->text(), QString("only"));
    QCOMPARE(u.item(1, 0)->text(), QString("2"));
}

void TestLayerTable::okSendsDensitiesFlagsAndNames()
{
    HorizonsWindow t;
    t.setLayers({1, 2, 3, 4, 5}, {false, true});
    t.setNames({"", "", "", "", ""});
    setText(&t, 0, 1, "2.5");
    setText(&t, 1, 1, "abc");   // unreadable: 0
    setText(&t, 2, 1, "");      // empty: 0
    setText(&t, 3, 1, "1e-3");
    t.item(0, 2)->setCheckState(Qt::Checked);
    t.item(1, 2)->setCheckState(Qt::Unchecked);
    t.item(2, 2)->setCheckState(Qt::PartiallyChecked);  // not unchecked: fixed
    setText(&t, 4, 0, "Basement");
    t.show();
    Recorder rec(&t);
    QSignalSpy recalc(&t, &HorizonsWindow::dens_edited);
    QSignalSpy norecalc(&t, &HorizonsWindow::dens_edited_norecalc);
    QVERIFY(norecalc.isValid());

    QTest::mouseClick(formButton(&t, "OKbutton"), Qt::LeftButton);
    QCOMPARE(rec.order, (QStringList{"dens_edited_norecalc", "set_fixed", "names_edited"}));
    QCOMPARE(norecalc.count(), 1);
    QCOMPARE(norecalc.first().first().value<std::vector<double>>(), (std::vector<double>{2.5, 0, 0, 1e-3, 5}));
    QCOMPARE(rec.fixed, (std::vector<bool>{true, false, true, false, false}));
    QCOMPARE(rec.names, (std::vector<QString>{"", "", "", "", "Basement"}));
    QCOMPARE(recalc.count(), 0);
    QVERIFY(!t.isVisible());  // OK closes
}

// A name goes to the model as the project file can keep it: half a surrogate
// pair standing alone (which UTF-8 cannot encode) becomes U+FFFD; every other
// character, NUL and line break included, is kept.
void TestLayerTable::typedNamesAreStorable_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    const QChar replacement(QChar::ReplacementCharacter);
    const QString emoji = QString::fromUtf8("\xF0\x9F\xAA\xA8");
    QTest::newRow("plain") << QStringLiteral("Фундамент") << QStringLiteral("Фундамент");
    QTest::newRow("emoji pair") << (QStringLiteral("a") + emoji) << (QStringLiteral("a") + emoji);
    QTest::newRow("NUL") << (QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                         << (QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
    QTest::newRow("line break") << QStringLiteral("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("lone high half") << (QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b"))
                                    << (QStringLiteral("a") + replacement + QStringLiteral("b"));
    QTest::newRow("lone low half at the end") << (QStringLiteral("a") + QChar(0xDE00))
                                              << (QStringLiteral("a") + replacement);
    QTest::newRow("halves in the wrong order") << (QString(QChar(0xDE00)) + QChar(0xD83D))
                                               << (QString(replacement) + replacement);
    QTest::newRow("high half then a pair") << (QString(QChar(0xD83D)) + emoji) << (QString(replacement) + emoji);
}

void TestLayerTable::typedNamesAreStorable()
{
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    HorizonsWindow t;
    t.setLayers({1, 2}, {false, false});
    t.setNames({"", ""});
    setText(&t, 1, 0, typed);
    t.show();
    Recorder rec(&t);
    QTest::mouseClick(formButton(&t, "OKbutton"), Qt::LeftButton);
    QCOMPARE(rec.names, (std::vector<QString>{"", sent}));
    // What is sent reads back from its UTF-8 bytes exactly.
    const QByteArray utf8 = rec.names[1].toUtf8();
    QCOMPARE(QString::fromUtf8(utf8.constData(), utf8.size()), sent);
}

void TestLayerTable::okSignalsReachTheModel()
{
    MainWindow w;
    giveModel(w);
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    QVERIFY(t);
    setText(t, 0, 1, "1.75");
    setText(t, 0, 0, "Cover");
    t->item(2, 2)->setCheckState(Qt::Checked);
    const vector3D grid = w.den_grid;
    const std::size_t undo = w.undo_stack.size();
    formButton(t, "OKbutton")->click();
    QCOMPARE(w.densities[0], 1.75);
    QCOMPARE(w.fixed, (std::vector<bool>{false, true, true}));
    QCOMPARE(w.layers_names, (std::vector<QString>{"Cover", "", ""}));
    QCOMPARE(w.den_grid, grid);  // OK does not rebuild the grid
    QCOMPARE(w.undo_stack.size(), undo);
    QVERIFY(fake.notes.isEmpty());
}

void TestLayerTable::recalcSendsDensitiesAndFlags()
{
    HorizonsWindow t;
    t.setLayers({1, 2}, {true, false});
    setText(&t, 1, 1, "2.9");
    t.show();
    Recorder rec(&t);
    t.on_recalc_grid_clicked();
    QCOMPARE(rec.order, (QStringList{"dens_edited", "set_fixed"}));
    QCOMPARE(rec.dens, (std::vector<double>{1, 2.9}));
    QCOMPARE(rec.fixed, (std::vector<bool>{true, false}));
    QVERIFY(t.isVisible());  // stays open, sends no names

    // Through the main window the densities rebuild the grid from the layers.
    MainWindow w;
    giveModel(w);
    w.minZ = 0;
    w.maxZ = 500;
    w.dz = 100;
    w.on_horizons_table_triggered();
    HorizonsWindow* table = lastTable(w);
    setText(table, 1, 1, "2.2");
    table->on_recalc_grid_clicked();
    QCOMPARE(w.densities[1], 2.2);
    QCOMPARE(w.den_grid[3][0][0], 2.2f);
    QCOMPARE(w.den_grid[2][1][2], 2.2f);
    QCOMPARE(w.den_grid[0][0][0], 1.0f);
    QVERIFY(table->isVisible());
}

void TestLayerTable::cellButtonsSendTheirRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("signal");
    QTest::newRow("fill, row 2") << 3 << 2 << "set_constant_density";
    QTest::newRow("fill, row 0") << 3 << 0 << "set_constant_density";
    QTest::newRow("import") << 4 << 1 << "load_horizon_density";
    QTest::newRow("export top") << 5 << 3 << "export_horizon_density";
    QTest::newRow("export centre") << 6 << 0 << "export_horizon_density_central";
    QTest::newRow("export vertical mean") << 7 << 2 << "export_horizon_density_vert_mean";
}

void TestLayerTable::cellButtonsSendTheirRow()
{
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(QString, signal);
    HorizonsWindow t;
    t.setLayers({1, 2, 3, 4}, {});
    setText(&t, row, 1, "2.75");
    t.show();
    Recorder rec(&t);
    QTest::mouseClick(cellButton(&t, row, column), Qt::LeftButton);
    QCOMPARE(rec.order, QStringList{signal});
    QCOMPARE(rec.row, row);
    if (column == 3)
        QCOMPARE(rec.value, 2.75);
    QVERIFY(t.isVisible());  // the buttons leave the window open

    // A sender that is not a button in a cell does nothing.
    t.onButtonClicked();
    QCOMPARE(rec.order.size(), 1);
}

void TestLayerTable::cancelClosesWithoutSending()
{
    auto* t = new HorizonsWindow;
    t->setAttribute(Qt::WA_DeleteOnClose);
    t->setLayers({1, 2}, {});
    t->show();
    QPointer<HorizonsWindow> alive(t);
    Recorder rec(t);
    formButton(t, "Cancelbutton")->click();
    QVERIFY(rec.order.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive.isNull());
}

void TestLayerTable::deleteKey_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("row 0 is the model top") << 0 << 0 << int(QMessageBox::Yes) << false << false;
    QTest::newRow("row 2, yes") << 0 << 2 << int(QMessageBox::Yes) << true << true;
    QTest::newRow("row 2, no") << 1 << 2 << int(QMessageBox::No) << true << false;
    QTest::newRow("row 1, yes, English") << 1 << 1 << int(QMessageBox::Yes) << true << true;
}

void TestLayerTable::deleteKey()
{
    QFETCH(int, language);
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, deleted);
    HorizonsWindow t;
    t.setLanguage(language);
    t.setLayers({1, 2, 3}, {});
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    tableWidget(&t)->setCurrentCell(row, 1);
    tableWidget(&t)->setFocus();
    fake.answers << QMessageBox::StandardButton(answer);
    Recorder rec(&t);
    // The key goes to the table and on to the window, whose key signal
    // reaches its own slot.
    QTest::keyClick(tableWidget(&t), Qt::Key_Delete);
    QCOMPARE(fake.questions.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(fake.questions[0].title, QString("Tolmera3D"));
        QCOMPARE(fake.questions[0].text, language == 0 ? QString("Вы уверен, что хотите удалить слой?")
                                                       : QString("Are you sure you want to delete layer"));
        QCOMPARE(fake.questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(fake.questions[0].defaultButton, QMessageBox::No);
    }
    if (deleted) {
        QCOMPARE(rec.order, QStringList{"delete_horizon"});
        QCOMPARE(rec.row, row);
        QCOMPARE(t.rowCount(), 2);
    } else {
        QVERIFY(rec.order.isEmpty());
        QCOMPARE(t.rowCount(), 3);
    }
    fake.answers.clear();
}

void TestLayerTable::otherKeysDoNothing()
{
    HorizonsWindow t;
    t.setLayers({1, 2, 3}, {});
    t.show();
    tableWidget(&t)->setCurrentCell(2, 1);
    Recorder rec(&t);
    int keys = 0;
    connect(&t, &HorizonsWindow::keyPressEvent, [&keys](QKeyEvent*) { ++keys; });
    QTest::keyClick(&t, Qt::Key_Escape);  // the dialog's own key handling never runs
    QTest::keyClick(&t, Qt::Key_Return);
    QTest::keyClick(&t, Qt::Key_Backspace);
    QCOMPARE(keys, 3);
    QVERIFY(t.isVisible());
    QVERIFY(rec.order.isEmpty());
    QVERIFY(fake.questions.isEmpty());
}

void TestLayerTable::openingShowsLayerMeans()
{
    MainWindow w;
    w.language = 1;
    giveModel(w);
    w.densities = {9, 9, 9};
    w.layers_names = {"Cover", "", "Basement"};
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    QVERIFY(t);
    // Modeless: the command returned with the window shown and nothing modal.
    QVERIFY(t->isVisible());
    QVERIFY(!t->isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(t->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(t->parentWidget(), static_cast<QWidget*>(&w));
    QCOMPARE(t->windowTitle(), QString("Layers"));

    QCOMPARE(t->rowCount(), 3);
    QCOMPARE(t->item(0, 0)->text(), QString("Cover"));
    QCOMPARE(t->item(1, 0)->text(), QString());
    QCOMPARE(t->item(2, 0)->text(), QString("Basement"));
    QCOMPARE(t->item(0, 1)->text(), QString("1"));
    QCOMPARE(t->item(1, 1)->text(), QString("2.16667"));
    QCOMPARE(t->item(2, 1)->text(), QString("3"));
    QCOMPARE(t->item(1, 2)->checkState(), Qt::Checked);
    QCOMPARE(t->item(0, 2)->checkState(), Qt::Unchecked);
    QCOMPARE(cellButton(t, 2, 7)->text(), QString("Export"));
    QCOMPARE(w.densities[0], 1.0);
    QCOMPARE(w.densities[1], 26.0 / 12);
    QCOMPARE(w.densities[2], 3.0);
    QCOMPARE(w.lateral_densities.size(), std::size_t(3));  // rebuilt
    QCOMPARE(w.lateral_densities[1][0][0], 2.0);
    QVERIFY(fake.notes.isEmpty());

    // Each command opens a window of its own.
    w.on_horizons_table_triggered();
    QCOMPARE(w.findChildren<HorizonsWindow*>().size(), 2);
}

void TestLayerTable::openingWithoutGridKeepsStoredDensities()
{
    MainWindow w;
    giveModel(w);
    w.den_grid.clear();
    w.densities = {1.5, 2.25};  // one short
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    QCOMPARE(t->item(0, 1)->text(), QString("1.5"));
    QCOMPARE(t->item(1, 1)->text(), QString("2.25"));
    QCOMPARE(t->item(2, 1)->text(), QString("0"));
    QCOMPARE(w.densities, (std::vector<double>{1.5, 2.25, 0}));

    // A grid that does not sit on the horizons gives no layer means either.
    MainWindow m;
    giveModel(m);
    m.den_grid.assign(6, vector2D(4, std::vector<data_type>(3, 7.0f)));
    m.densities = {1, 2, 3};
    m.on_horizons_table_triggered();
    QCOMPARE(m.densities, (std::vector<double>{1, 2, 3}));
    QCOMPARE(lastTable(m)->item(2, 1)->text(), QString("3"));
}

void TestLayerTable::fillThenOk()
{
    // Typing 2.5 in row 2 and pressing Fill sets the layer's cells without
    // changing its density; OK afterwards stores 2.5.
    MainWindow w;
    giveModel(w);
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    setText(t, 2, 1, "2.5");
    const std::size_t undo = w.undo_stack.size();
    QTest::mouseClick(cellButton(t, 2, 3), Qt::LeftButton);
    for (std::size_t k = 0; k < 6; ++k)
        for (std::size_t j = 0; j < 2; ++j)
            for (std::size_t i = 0; i < 3; ++i) {
                const float expected = k >= 4 ? 2.5f : (k == 3 && j == 0 && i == 0 ? 4.0f : (k >= 2 ? 2.0f : 1.0f));
                QCOMPARE(w.den_grid[k][j][i], expected);
            }
    QCOMPARE(w.densities[2], 3.0);
    QCOMPARE(w.undo_stack.size(), undo + 1);
    QVERIFY(t->isVisible());
    formButton(t, "OKbutton")->click();
    QCOMPARE(w.densities[2], 2.5);
    QVERIFY(fake.notes.isEmpty());
}

void TestLayerTable::deletingKeepsTheListsInStep()
{
    MainWindow w;
    giveModel(w);
    w.horizons.push_back(constant(2, 3, 450));
    w.fixed = {false, true, false, true};
    w.layers_names = {"a", "b", "c", "d"};
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    QCOMPARE(t->rowCount(), 4);
    const std::vector<double> before = w.densities;

    tableWidget(t)->setCurrentCell(2, 1);
    fake.answers << QMessageBox::Yes;
    QTest::keyClick(t, Qt::Key_Delete);
    QCOMPARE(w.horizons.size(), std::size_t(3));
    QCOMPARE(w.horizons[2], constant(2, 3, 450));
    QCOMPARE(w.densities, (std::vector<double>{before[0], before[1], before[3]}));
    QCOMPARE(w.fixed, (std::vector<bool>{false, true, true}));
    QCOMPARE(w.layers_names, (std::vector<QString>{"a", "b", "d"}));
    QCOMPARE(t->rowCount(), 3);
    QCOMPARE(t->item(2, 0)->text(), QString("d"));

    // The same table stays in step: its OK is taken whole.
    setText(t, 2, 1, "2.8");
    setText(t, 1, 0, "B");
    t->item(0, 2)->setCheckState(Qt::Checked);
    formButton(t, "OKbutton")->click();
    QCOMPARE(w.densities[2], 2.8);
    QCOMPARE(w.fixed, (std::vector<bool>{true, true, true}));
    QCOMPARE(w.layers_names, (std::vector<QString>{"a", "B", "d"}));
    QVERIFY(fake.errors().isEmpty());
}

void TestLayerTable::deletingDownToOneLayerEmptiesTheModel()
{
    MainWindow w;
    giveModel(w);
    w.horizons.pop_back();
    w.densities.pop_back();
    w.fixed.pop_back();
    w.layers_names.pop_back();
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    tableWidget(t)->setCurrentCell(1, 0);
    fake.answers << QMessageBox::Yes;
    QTest::keyClick(t, Qt::Key_Delete);
    QVERIFY(w.horizons.empty() && w.densities.empty() && w.fixed.empty() && w.layers_names.empty() &&
            w.horizons_params.empty());
    // The one row left names no layer any more: OK is refused, nothing comes back.
    formButton(t, "OKbutton")->click();
    QVERIFY(w.densities.empty());
    QCOMPARE(fake.errors().size(), 1);
}

void TestLayerTable::staleTableIsRefused()
{
    MainWindow w;
    giveModel(w);
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    QCOMPARE(t->rowCount(), 3);
    w.add_constant_horizon(250);  // a horizon added from the menu: the table's rows now name other layers
    QCOMPARE(w.horizons.size(), std::size_t(4));
    const std::vector<field2D> horizons = w.horizons;
    const vector3D grid = w.den_grid;
    const std::vector<double> densities = w.densities;
    const QString stale = "Таблица слоёв не соответствует текущим горизонтам. Откройте таблицу заново";

    setText(t, 1, 1, "5");
    QTest::mouseClick(cellButton(t, 1, 3), Qt::LeftButton);  // Fill
    QCOMPARE(fake.errors(), QStringList{stale});
    QCOMPARE(w.den_grid, grid);

    QTest::mouseClick(cellButton(t, 1, 4), Qt::LeftButton);  // Import asks for no file
    QTest::mouseClick(cellButton(t, 1, 5), Qt::LeftButton);  // nor does an export
    QVERIFY(fake.fileRequests.isEmpty());

    tableWidget(t)->setCurrentCell(2, 0);
    fake.answers << QMessageBox::Yes;
    QTest::keyClick(t, Qt::Key_Delete);
    QVERIFY(fake.questions.isEmpty());
    QCOMPARE(w.horizons, horizons);
    QCOMPARE(t->rowCount(), 3);

    formButton(t, "OKbutton")->click();
    QVERIFY(t->isVisible());  // stays open to be cancelled
    QCOMPARE(w.densities, densities);
    QCOMPARE(fake.errors().size(), 5);
    fake.answers.clear();

    // A table opened now matches the layers.
    fake.clear();
    w.on_horizons_table_triggered();
    HorizonsWindow* fresh = lastTable(w);
    QCOMPARE(fresh->rowCount(), 4);
    setText(fresh, 3, 1, "2.9");
    QTest::mouseClick(cellButton(fresh, 3, 3), Qt::LeftButton);
    QCOMPARE(w.den_grid[5][1][1], 2.9f);
    QVERIFY(fake.errors().isEmpty());
}

void TestLayerTable::nothingIsSentWhileARunHoldsTheModel()
{
    MainWindow w;
    giveModel(w);
    w.on_horizons_table_triggered();
    HorizonsWindow* t = lastTable(w);
    const vector3D grid = w.den_grid;
    const std::vector<double> densities = w.densities;
    {
        RunGuard run(&w, RunKind::Inversion);
        QVERIFY(run);
        setText(t, 0, 1, "9");
        QTest::mouseClick(cellButton(t, 0, 3), Qt::LeftButton);
        formButton(t, "OKbutton")->click();
        tableWidget(t)->setCurrentCell(1, 0);
        fake.answers << QMessageBox::Yes;
        QTest::keyClick(t, Qt::Key_Delete);
        QCOMPARE(w.den_grid, grid);
        QCOMPARE(w.densities, densities);
        QCOMPARE(w.horizons.size(), std::size_t(3));
        QVERIFY(t->isVisible());
        QCOMPARE(fake.errors().size(), 3);

        // Nor does a new table open.
        const int tables = w.findChildren<HorizonsWindow*>().size();
        w.on_horizons_table_triggered();
        QCOMPARE(w.findChildren<HorizonsWindow*>().size(), tables);
    }
    fake.answers.clear();
    formButton(t, "OKbutton")->click();
    QCOMPARE(w.densities[0], 9.0);
}

QTEST_MAIN(TestLayerTable)
#include "tst_layertable.moc"
