// The main form: every command reaches its slot, the menus hold the entries
// in their order, shortcuts, icons and start states, and the switch between
// Russian and English.

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "fake_interaction.h"
#include "views/surf.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QSet>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

namespace {

// Reads the protected receiver count of a signal of any object.
struct Receivers : QObject
{
    static int of(const QObject* o, const char* signal)
    {
        return (o->*(&Receivers::receivers))(signal);
    }
};

QStringList messagesDuringConstruction;

void collectMessages(QtMsgType, const QMessageLogContext&, const QString& text)
{
    messagesDuringConstruction << text;
}

std::unique_ptr<MainWindow> makeWindow()
{
    messagesDuringConstruction.clear();
    QtMessageHandler old = qInstallMessageHandler(collectMessages);
    std::unique_ptr<MainWindow> w(new MainWindow);
    qInstallMessageHandler(old);
    return w;
}

QList<QAction*> commandActions(QWidget* w)
{
    QList<QAction*> out;
    for (QAction* a : w->findChildren<QAction*>())
        if (!a->objectName().isEmpty() && !a->menu())
            out << a;
    return out;
}

QString entryName(QAction* a)
{
    return a->menu() ? a->menu()->objectName() : a->objectName();
}

QStringList entries(QWidget* menuOrBar)
{
    QStringList out;
    for (QAction* a : menuOrBar->actions())
        out << (a->isSeparator() ? QStringLiteral("|") : entryName(a));
    return out;
}

QString textOf(MainWindow* w, const QString& name)
{
    if (auto* m = w->findChild<QMenu*>(name))
        return m->title();
    return w->findChild<QAction*>(name)->text();
}

// Every text the language switch may touch: action texts, menu titles and
// tooltips, keyed by object name.
QMap<QString, QString> allTexts(MainWindow* w)
{
    QMap<QString, QString> out;
    for (QAction* a : commandActions(w)) {
        out[a->objectName()] = a->text();
        out[a->objectName() + "#tip"] = a->toolTip();
    }
    for (QMenu* m : w->findChildren<QMenu*>())
        out[m->objectName()] = m->title();
    return out;
}

void setLanguage(MainWindow* w, int lang)
{
    QVERIFY(QMetaObject::invokeMethod(w, "setLanguage", Qt::DirectConnection, Q_ARG(int, lang)));
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake.reset(new FakeInteraction); }
    void cleanup() { fake.reset(); }

    void everyActionReachesItsSlot();
    void mapContextMenusReachTheirSlots();
    void noSlotWithoutObject();
    void formPointersBearObjectNames();
    void menuBarOrder();
    void menuEntries_data();
    void menuEntries();
    void everyActionInExactlyOneMenu();
    void hiddenEntries();
    void toolbar();
    void iconsExistAndOnlyOnToolbarActions();
    void shortcuts_data();
    void shortcuts();
    void startStates();
    void windowAndWidgets();
    void formOwnTexts_data();
    void formOwnTexts();
    void languageTexts_data();
    void languageTexts();
    void languageRoundTripRestoresRussian();
    void languageSwitchCounts();
    void otherLanguageValueChangesNothing();
    void fixedTextsNeverSwitch();
    void newProjectChangesNothing();
    void messagesGoThroughInteraction();
    void surfWithoutGraphDoesNothing();
    void offscreenSmoke();

private:
    std::unique_ptr<FakeInteraction> fake;
};

void TestMainForm::everyActionReachesItsSlot()
{
    auto w = makeWindow();
    // The same form on a plain window: the menus and the toolbar make their
    // own connections to the actions, the main window adds exactly one.
    QMainWindow plain;
    MainWindowForm plainForm;
    plainForm.setupUi(&plain);
    const QList<QAction*> actions = commandActions(w.get());
    QCOMPARE(actions.size(), 112);
    const QMetaObject* mo = w->metaObject();
    for (QAction* a : actions) {
        const QByteArray slot = "on_" + a->objectName().toLatin1() + "_triggered()";
        const int index = mo->indexOfSlot(slot.constData());
        QVERIFY2(index >= 0, slot.constData());
        QCOMPARE(mo->method(index).methodType(), QMetaMethod::Slot);
        QAction* bare = plain.findChild<QAction*>(a->objectName());
        QVERIFY(bare);
        QVERIFY2(Receivers::of(a, SIGNAL(triggered())) == Receivers::of(bare, SIGNAL(triggered())) + 1,
                 slot.constData());
    }
}

void TestMainForm::mapContextMenusReachTheirSlots()
{
    auto w = makeWindow();
    for (const char* name : {"observed_axes", "calculated_axes"}) {
        QWidget* plot = w->findChild<QWidget*>(name);
        QVERIFY(plot);
        QCOMPARE(plot->contextMenuPolicy(), Qt::CustomContextMenu);
        const QByteArray slot = QByteArray("on_") + name + "_customContextMenuRequested(QPoint)";
        QVERIFY(w->metaObject()->indexOfSlot(slot.constData()) >= 0);
        QCOMPARE(Receivers::of(plot, SIGNAL(customContextMenuRequested(QPoint))), 1);
    }
}

void TestMainForm::noSlotWithoutObject()
{
    // connectSlotsByName warns about every on_ slot without its object.
    auto w = makeWindow();
    for (const QString& m : messagesDuringConstruction)
        QVERIFY2(!m.contains("connectSlotsByName"), qPrintable(m));
    const QMetaObject* mo = w->metaObject();
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QByteArray name = mo->method(i).name();
        if (!name.startsWith("on_"))
            continue;
        const int end = name.lastIndexOf('_');
        const QString object = QString::fromLatin1(name.mid(3, end - 3));
        QVERIFY2(w->findChild<QObject*>(object), name.constData());
    }
}

void TestMainForm::formPointersBearObjectNames()
{
    auto w = makeWindow();
    MainWindowForm* ui = w->ui;
    QCOMPARE(w->objectName(), QString("MainWindow"));
    for (const FormActionInfo& info : formActions()) {
        const auto found = w->findChildren<QAction*>(info.name);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()->parent(), w.get());
    }
    QCOMPARE(int(formActions().size()), 112);
    QCOMPARE(int(formMenus().size()), 36);
    QCOMPARE(w->findChildren<QMenu*>().size(), 36);
    // A sample of the record's pointers.
    QCOMPARE(ui->open_project, w->findChild<QAction*>("open_project"));
    QCOMPARE(ui->ecportXYslices, w->findChild<QAction*>("ecportXYslices"));
    QCOMPARE(ui->menu, w->findChild<QMenu*>("menu"));
    QCOMPARE(ui->recalcRegularizerMenu, w->findChild<QMenu*>("recalcRegularizerMenu"));
    QCOMPARE(ui->Model3D, w->findChild<QWidget*>("Model3D"));
    QCOMPARE(ui->treeWidget, w->findChild<QTreeWidget*>("treeWidget"));
    QCOMPARE(static_cast<QWidget*>(ui->model_colorscale), w->findChild<QWidget*>("model_colorscale"));
    for (const char* name : {"centralwidget", "splitter", "layoutWidget", "line", "scale_label", "layoutWidget1",
                             "statusbar", "toolBar", "dockWidget", "dockWidgetContents", "menubar"})
        QVERIFY2(w->findChild<QWidget*>(name), name);
    for (const char* name : {"gridLayout_2", "gridLayout", "verticalLayout"})
        QVERIFY2(w->findChild<QLayout*>(name), name);
}

void TestMainForm::menuBarOrder()
{
    auto w = makeWindow();
    QCOMPARE(entries(w->menuBar()),
             QString("file_menu edit_menu view_menu model_menu forward_menu inversion_menu preferences_menu help_menu")
                 .split(' '));
}

void TestMainForm::menuEntries_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("content");
    const char* rows[][2] = {
        {"file_menu", "new_model open_menu save_menu save_as import_menu export_menu"},
        {"open_menu", "open_project open3Dgrd open_observed_field open_horizon open_vel_vp open_vel_vs open_regularizer"},
        {"save_menu", "save_project save3Dgrid save_horizons save_calc_field save_deltaVz save_obs_field "
                      "save_3D_vel_grid save_regularizer"},
        {"import_menu", "importXYZDens import_effects import_faults import_profiles_scheme importTM2Dmodels menu_2"},
        {"menu_2", "import_total_mean_dens import_layers_mean_dens"},
        {"export_menu", "export_text_table export_XYZDens export_XYZVp exportYZslices exportXZslices ecportXYslices "
                        "save_effects exportVerticalSlice export_faults_menu menu export_const_value_surface"},
        {"export_faults_menu", "export_faults_one_file export_faults_multiple_files"},
        {"menu", "export_total_mean_dens export_layers_mean_dens"},
        {"edit_menu", "actionUndo delete_menu_2 menuHorizons edit_3Dmodel_menu edit_observed_menu"},
        {"delete_menu_2", "clear_horizons clear_3D_grid clear_Vp clear_regularizer delete_faults delete_profiles_scheme"},
        {"menuHorizons", "edit_horizons regrid_horizons add_constant_horizon move_horizons_tozero"},
        {"edit_3Dmodel_menu", "regrid move_3Dgrid_tozero"},
        {"edit_observed_menu", "regrid_observed move_observed_tozero"},
        {"view_menu", "view_limits_menu actionZ_XY menuData_type view_3D_menu horizons_coloring mapsMenu "
                      "view_regularizer_menu view_additional_menu"},
        {"view_limits_menu", "view_limits auto_window_size"},
        {"menuData_type", "view_cube view_horizons view_cube_horizons"},
        {"view_3D_menu", "view_dens view_reg view_Vp view_Vs changeView"},
        {"horizons_coloring", "coloring_data_menu coloring_level show_top"},
        {"coloring_data_menu", "color_by_depth color_by_density"},
        {"coloring_level", "common_coloring_level individual_coloring_level"},
        {"mapsMenu", "maps_equal_xy"},
        {"view_regularizer_menu", "view_abs_reg view_init_reg"},
        {"view_additional_menu", "view_faults view_profiles show_3Daxes show_mapsAxes showDock"},
        {"model_menu", "horizons_table menu3D_Grid"},
        {"menu3D_Grid", "menuCreate fill_zeros menuMath_2 density_stats"},
        {"menuCreate", "Create_empty_grid Zparams"},
        {"menuMath_2", "smooth3Dgrid formula vel_dens Gardner_menu delete_min delete_mean calc_means substract_cube "
                       "add_cube multiply_cube divide_cube add_means gradientMenu ML_density_conversion"},
        {"Gardner_menu", "gardner_formula inverse_gardner_formula"},
        {"gradientMenu", "x_gradient y_gradient vertical_gradient horizontal_gradient full_gradient"},
        {"forward_menu", "forward_grid"},
        {"inversion_menu", "inversion horizonInversion regularizerMenu"},
        {"regularizerMenu", "centralRegularizerMenu_2 horizonsBasedRegularizer recalcRegularizerMenu"},
        {"centralRegularizerMenu_2", "centralRegularizer centralRegularizerOnHeights"},
        {"recalcRegularizerMenu", "reg_not_recalc reg_del_means reg_del_mins"},
        {"preferences_menu", "Customize"},
        {"help_menu", "manual about_programm"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString(r[0]) << QString(r[1]);
}

void TestMainForm::menuEntries()
{
    QFETCH(QString, menu);
    QFETCH(QString, content);
    auto w = makeWindow();
    QMenu* m = w->findChild<QMenu*>(menu);
    QVERIFY(m);
    QCOMPARE(entries(m), content.split(' '));
    // A submenu is a child of the menu that holds it.
    for (QAction* a : m->actions())
        if (a->menu())
            QCOMPARE(a->menu()->parent(), m);
}

void TestMainForm::everyActionInExactlyOneMenu()
{
    auto w = makeWindow();
    const QSet<QString> toolbarActions = {"open_project", "open3Dgrd", "save_project", "save3Dgrid", "view_limits",
                                          "auto_window_size", "view_cube", "view_horizons", "view_cube_horizons",
                                          "view_faults", "view_profiles", "changeView", "edit_horizons",
                                          "horizons_table", "forward_grid", "inversion", "horizonInversion"};
    for (QAction* a : commandActions(w.get())) {
        int menus = 0, bars = 0;
        for (QWidget* holder : a->associatedWidgets()) {
            if (qobject_cast<QMenu*>(holder))
                ++menus;
            else if (qobject_cast<QToolBar*>(holder))
                ++bars;
        }
        QVERIFY2(menus == 1, qPrintable(a->objectName()));
        QCOMPARE(bars, toolbarActions.contains(a->objectName()) ? 1 : 0);
    }
}

void TestMainForm::hiddenEntries()
{
    auto w = makeWindow();
    auto visibleEntries = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            if (a->isVisible())
                out << entryName(a);
        return out;
    };
    // Export: seven entries and two submenus, without "Text table" and "Effects".
    QCOMPARE(visibleEntries(w->ui->export_menu),
             QString("export_XYZDens export_XYZVp exportYZslices exportXZslices ecportXYslices exportVerticalSlice "
                     "export_faults_menu menu export_const_value_surface")
                 .split(' '));
    // Import: four entries and one submenu, without "Effects".
    QCOMPARE(visibleEntries(w->ui->import_menu),
             QString("importXYZDens import_faults import_profiles_scheme importTM2Dmodels menu_2").split(' '));
    // Extra: four entries, no way to show the dock.
    QCOMPARE(visibleEntries(w->ui->view_additional_menu),
             QString("view_faults view_profiles show_3Daxes show_mapsAxes").split(' '));
    QCOMPARE(textOf(w.get(), "show_3Daxes"), QString("Оси (3D)"));
    QCOMPARE(textOf(w.get(), "show_mapsAxes"), QString("Оси (Карты)"));
}

void TestMainForm::toolbar()
{
    auto w = makeWindow();
    QToolBar* bar = w->ui->toolBar;
    QCOMPARE(w->toolBarArea(bar), Qt::TopToolBarArea);
    QCOMPARE(bar->iconSize(), QSize(16, 16));
    QCOMPARE(entries(bar),
             QString("open_project open3Dgrd | save_project save3Dgrid | view_limits auto_window_size | view_cube "
                     "view_horizons view_cube_horizons view_faults view_profiles changeView | edit_horizons "
                     "horizons_table | forward_grid inversion horizonInversion |")
                 .split(' '));
    QCOMPARE(bar->palette().color(QPalette::Active, QPalette::ToolTipBase), QColor(255, 255, 220));
    QCOMPARE(bar->palette().color(QPalette::Disabled, QPalette::Text), QColor(127, 127, 127));
    QCOMPARE(bar->palette().color(QPalette::Active, QPalette::Button), QColor(255, 255, 255));
}

void TestMainForm::iconsExistAndOnlyOnToolbarActions()
{
    auto w = makeWindow();
    const QMap<QString, QString> icons = {
        {"open_project", "open_blue.png"},       {"open3Dgrd", "open_1.png"},
        {"save_project", "save_proj2.png"},      {"save3Dgrid", "save.png"},
        {"view_limits", "window_size.png"},      {"auto_window_size", "fit__window.png"},
        {"view_cube", "cube_opac.png"},          {"view_horizons", "surface_opac.png"},
        {"view_cube_horizons", "cube_surf.png"}, {"view_faults", "faults_icon2.png"},
        {"view_profiles", "net.png"},            {"changeView", "slice.png"},
        {"edit_horizons", "up_down.png"},        {"horizons_table", "spreadsheet.png"},
        {"forward_grid", "start_green.png"},     {"inversion", "start_inv.png"},
        {"horizonInversion", "start_inv_horizon.png"},
    };
    QSet<qint64> seen;
    for (auto it = icons.begin(); it != icons.end(); ++it) {
        const QString path = ":/Images/" + it.value();
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QAction* a = w->findChild<QAction*>(it.key());
        QVERIFY(!a->icon().isNull());
        QVERIFY(!a->icon().pixmap(16, 16).isNull());
        seen.insert(image.cacheKey());
    }
    QVERIFY(QFile::exists(":/Images/stop.png"));
    QVERIFY(QFile::exists(":/Images/logo3D.png"));
    QVERIFY(!w->windowIcon().isNull());
    // The drawings differ from each other.
    QSet<QByteArray> pictures;
    for (const QString& file : icons) {
        QFile f(":/Images/" + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        pictures.insert(f.readAll());
    }
    QCOMPARE(pictures.size(), icons.size());
    for (QAction* a : commandActions(w.get()))
        if (!icons.contains(a->objectName()))
            QVERIFY2(a->icon().isNull(), qPrintable(a->objectName()));
}

void TestMainForm::shortcuts_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("keys");
    const char* rows[][2] = {
        {"open_project", "Ctrl+O"}, {"save_project", "Ctrl+S"}, {"actionUndo", "Ctrl+Z"},
        {"forward_grid", "Ctrl+F"}, {"inversion", "Ctrl+I"},    {"horizons_table", "Ctrl+T"},
        {"view_limits", "Ctrl+W"},  {"view_dens", "Ctrl+1"},    {"view_reg", "Ctrl+2"},
        {"view_Vp", "Ctrl+3"},      {"view_Vs", "Ctrl+4"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString(r[0]) << QString(r[1]);
}

void TestMainForm::shortcuts()
{
    QFETCH(QString, action);
    QFETCH(QString, keys);
    auto w = makeWindow();
    QCOMPARE(w->findChild<QAction*>(action)->shortcut(), QKeySequence(keys));
    // Only these eleven actions have shortcuts, and the switch keeps them.
    int withShortcut = 0;
    for (QAction* a : commandActions(w.get()))
        withShortcut += a->shortcut().isEmpty() ? 0 : 1;
    QCOMPARE(withShortcut, 11);
    setLanguage(w.get(), 1);
    QCOMPARE(w->findChild<QAction*>(action)->shortcut(), QKeySequence(keys));
}

void TestMainForm::startStates()
{
    auto w = makeWindow();
    const QSet<QString> checked = {"view_cube", "view_dens", "color_by_depth", "individual_coloring_level",
                                   "view_abs_reg", "reg_not_recalc", "maps_equal_xy", "view_faults",
                                   "view_profiles", "show_3Daxes", "show_mapsAxes"};
    const QSet<QString> uncheckedCheckable = {"view_horizons", "view_cube_horizons", "view_reg", "view_Vp",
                                              "view_Vs", "color_by_density", "common_coloring_level",
                                              "view_init_reg", "reg_del_means", "reg_del_mins", "show_top",
                                              "edit_horizons"};
    const QSet<QString> disabled = {"export_text_table", "save_effects", "import_effects", "showDock",
                                    "edit_horizons", "view_faults", "view_profiles"};
    const QSet<QString> hidden = {"export_text_table", "save_effects", "import_effects", "showDock"};
    for (QAction* a : commandActions(w.get())) {
        const QString n = a->objectName();
        QVERIFY2(a->isCheckable() == (checked.contains(n) || uncheckedCheckable.contains(n)), qPrintable(n));
        QVERIFY2(a->isChecked() == checked.contains(n), qPrintable(n));
        QVERIFY2(a->isEnabled() == !disabled.contains(n), qPrintable(n));
        QVERIFY2(a->isVisible() == !hidden.contains(n), qPrintable(n));
    }
    QVERIFY(!w->ui->changeView->isCheckable());
    for (QMenu* m : w->findChildren<QMenu*>()) {
        QVERIFY(m->isEnabled());
        QVERIFY(m->menuAction()->isVisible());
    }
    QVERIFY(w->ui->dockWidget->isHidden());
    QCOMPARE(w->project_version, 2);
}

void TestMainForm::windowAndWidgets()
{
    auto w = makeWindow();
    MainWindowForm* ui = w->ui;
    QCOMPARE(w->size(), QSize(1387, 705));
    QCOMPARE(w->windowTitle(), QString("Tolmera3D"));
    QCOMPARE(w->palette().color(QPalette::Active, QPalette::Window), QColor(Qt::white));
    QCOMPARE(w->palette().color(QPalette::Disabled, QPalette::Base), QColor(Qt::white));
    QCOMPARE(ui->splitter->orientation(), Qt::Horizontal);
    QCOMPARE(ui->splitter->count(), 2);
    QCOMPARE(ui->splitter->widget(0), ui->layoutWidget);
    QCOMPARE(ui->splitter->widget(1), ui->layoutWidget1);
    QCOMPARE(ui->verticalLayout->indexOf(ui->observed_axes), 0);
    QCOMPARE(ui->verticalLayout->indexOf(ui->calculated_axes), 1);
    int row, col, rowSpan, colSpan;
    ui->gridLayout->getItemPosition(ui->gridLayout->indexOf(ui->Model3D), &row, &col, &rowSpan, &colSpan);
    QCOMPARE(QList<int>({row, col, rowSpan, colSpan}), QList<int>({0, 0, 4, 1}));
    ui->gridLayout->getItemPosition(ui->gridLayout->indexOf(ui->model_colorscale),
                                    &row, &col, &rowSpan, &colSpan);
    QCOMPARE(QList<int>({row, col}), QList<int>({2, 1}));
    ui->gridLayout->getItemPosition(ui->gridLayout->indexOf(ui->line), &row, &col, &rowSpan, &colSpan);
    QCOMPARE(QList<int>({row, col, rowSpan, colSpan}), QList<int>({0, 3, 4, 1}));
    QCOMPARE(ui->scale_label->text(), QString());
    QCOMPARE(w->dockWidgetArea(ui->dockWidget), Qt::LeftDockWidgetArea);
    QCOMPARE(ui->treeWidget->headerItem()->text(0), QString("Element"));
    QCOMPARE(ui->treeWidget->topLevelItemCount(), 4);
    QStringList items;
    for (int i = 0; i < 4; ++i)
        items << ui->treeWidget->topLevelItem(i)->text(0);
    QCOMPARE(items, QStringList({"Density", "Horizons", "Regularizer", "Vp"}));
    QCOMPARE(ui->toolBar->windowTitle(), QString("toolBar"));
    QCOMPARE(ui->inversion->iconText(), QString("Gravity inversion"));
}

void TestMainForm::formOwnTexts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");
    const char* rows[][2] = {
        {"forward_grid", "Grid"},
        {"horizons_table", "Layer's densities"},
        {"clear_horizons", "Cear horizons"},
        {"calc_means", "Расчет средних"},
        {"new_model", "New model"},
        {"open3Dgrd", "3D Grid"},
        {"multiply_cube", "Уножить на куб"},
        {"centralRegularizer", "Единичная амплитуда"},
        {"save_deltaVz", "Разностное поле"},
        {"horizonInversion", "Подбор границы"},
        {"smooth3Dgrid", "Сгладить"},
        {"centralRegularizerOnHeights", "Амплитуда по мощности слоя"},
        {"open_project", "Project"},
        {"view_Vp", "Vp"},
        {"menuData_type", "Data type"},
        {"view_limits_menu", "Размеры окна"},
        {"mapsMenu", "Карты"},
        {"file_menu", "File"},
        {"menu", "Средняя плотность"},
        {"open3Dgrd#tip", "Open 3D Grid"},
        {"forward_grid#tip", "Решить прямую задачу"},
        {"edit_horizons#tip", "Edit horizons"},
        {"view_cube#tip", "Show cube"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString(r[0]) << QString(r[1]);
}

void TestMainForm::formOwnTexts()
{
    // The form alone, on a plain window, before any language is chosen.
    QFETCH(QString, object);
    QFETCH(QString, text);
    QMainWindow window;
    MainWindowForm form;
    form.setupUi(&window);
    const QString name = object.section('#', 0, 0);
    QString actual;
    if (object.endsWith("#tip"))
        actual = window.findChild<QAction*>(name)->toolTip();
    else if (auto* m = window.findChild<QMenu*>(name))
        actual = m->title();
    else
        actual = window.findChild<QAction*>(name)->text();
    QCOMPARE(actual, text);
}

void TestMainForm::languageTexts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");
    const char* rows[][3] = {
        {"open3Dgrd", "3D density grid", "3D грид плотности"},
        {"save_deltaVz", "Residual field", "Разностное поле"},
        {"actionUndo", "Undo", "Отмена"},
        {"delete_profiles_scheme", "Profiles", "Схема профилей"},
        {"clear_horizons", "Horizons", "Горизонты"},
        {"clear_3D_grid", "3D density grid", "3D грид плотности"},
        {"clear_Vp", "3D Vp grid", "3D грид Vp"},
        {"clear_regularizer", "Regularizer", "Регуляризатор"},
        {"delete_faults", "Faults", "Разломы"},
        {"regrid", "Regrid", "Параметры разбиения"},
        {"show_top", "Show top", "Показать верх модели"},
        {"horizons_table", "Layers table", "Слои"},
        {"Create_empty_grid", "Empty 3D grid", "По координатам"},
        {"Zparams", "Using horizons", "По горизонтам"},
        {"fill_zeros", "Reset to zero", "Обнулить плотность"},
        {"gardner_formula", "Vp → Density", "Скорость → Плотность"},
        {"inverse_gardner_formula", "Density → Vp", "Плотность → Скорость"},
        {"forward_grid", "Forward", "Прямая задача"},
        {"inversion", "3D grid", "3D грид"},
        {"horizonInversion", "Fit horizon", "Подбор границы"},
        {"centralRegularizer", "Constant amplitude", "Единичная ампилитуда"},
        {"centralRegularizerOnHeights", "Thickness based amplitude", "Амплитуда по мощности слоя"},
        {"smooth3Dgrid", "Smooth", "Сгладить"},
        {"reg_not_recalc", "Initial", "Исходный"},
        {"about_programm", "About programm", "О программе"},
        {"new_model", "New project", "Новый проект"},
        {"exportVerticalSlice", "Vertical slice (section)", "Вертикальный срез (разрез)"},
        {"view_cube_horizons", "3D Grid + Horizons", "3D грид + Горизонты"},
        {"color_by_density", "Density (top)", "Плотность (кровля)"},
        {"file_menu", "File", "Файл"},
        {"export_faults_menu", "Faults", "Разломы"},
        {"edit_3Dmodel_menu", "3D Grid", "3D грид плотности"},
        {"view_limits_menu", "Limits", "Размеры окон"},
        {"menuData_type", "Model type", "Тип модели"},
        {"view_3D_menu", "3D Grid", "3D Грид"},
        {"Gardner_menu", "Gardner's formula", "Формула Гарднера"},
        {"menuMath_2", "Math", "Математические операции"},
        {"centralRegularizerMenu_2", "Central regularizer", "Срединный регуляризатор"},
        {"help_menu", "Help", "Помощь"},
        {"open_project#tip", "Open project", "Открыть проект"},
        {"open3Dgrd#tip", "Open 3D density grid", "Открыть 3D плотностной грид"},
        {"view_cube_horizons#tip", "3D grid + horizons", "3D Грид + Горизонты"},
        {"view_profiles#tip", "Profiles", "Схема профилей"},
        {"forward_grid#tip", "Forward gravity", "Решить прямую задачу"},
        {"inversion#tip", "Gravity inversion", "Обратная задача (3D grid)"},
        {"horizonInversion#tip", "Fir horizon's shape", "Подбор формы границы"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString(r[0]) << QString(r[1]) << QString(r[2]);
}

void TestMainForm::languageTexts()
{
    QFETCH(QString, object);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    auto w = makeWindow();
    QCOMPARE(w->language, 0);
    QCOMPARE(allTexts(w.get()).value(object), russian);
    setLanguage(w.get(), 1);
    QCOMPARE(w->language, 1);
    QCOMPARE(allTexts(w.get()).value(object), english);
    setLanguage(w.get(), 0);
    QCOMPARE(allTexts(w.get()).value(object), russian);
}

void TestMainForm::languageRoundTripRestoresRussian()
{
    auto w = makeWindow();
    setLanguage(w.get(), 0);
    const auto first = allTexts(w.get());
    setLanguage(w.get(), 1);
    QVERIFY(allTexts(w.get()) != first);
    setLanguage(w.get(), 0);
    QCOMPARE(allTexts(w.get()), first);
    // Same value twice changes nothing.
    setLanguage(w.get(), 0);
    QCOMPARE(allTexts(w.get()), first);
}

void TestMainForm::languageSwitchCounts()
{
    // 83 action texts, 33 menu titles and the 17 toolbar tooltips differ
    // between the two languages; everything else is shared.
    auto w = makeWindow();
    setLanguage(w.get(), 0);
    const auto ru = allTexts(w.get());
    setLanguage(w.get(), 1);
    const auto en = allTexts(w.get());
    int actionTexts = 0, menuTitles = 0, tips = 0;
    for (auto it = ru.begin(); it != ru.end(); ++it) {
        if (it.value() == en.value(it.key()))
            continue;
        if (it.key().endsWith("#tip")) {
            QAction* a = w->findChild<QAction*>(it.key().section('#', 0, 0));
            if (a->associatedWidgets().contains(w->ui->toolBar))
                ++tips;
        }
        else if (w->findChild<QMenu*>(it.key()))
            ++menuTitles;
        else
            ++actionTexts;
    }
    QCOMPARE(menuTitles, 33);
    // Toolbar tooltips are switched; others follow their action's text.
    for (QAction* a : commandActions(w.get()))
        if (!a->associatedWidgets().contains(w->ui->toolBar) && a != w->ui->inversion)
            QCOMPARE(a->toolTip(), QString(a->text()).remove('&').trimmed());
    QCOMPARE(actionTexts, 83);
    QCOMPARE(tips, 17);
}

void TestMainForm::otherLanguageValueChangesNothing()
{
    auto w = makeWindow();
    setLanguage(w.get(), 1);
    const auto english = allTexts(w.get());
    setLanguage(w.get(), 2);
    QCOMPARE(w->language, 2);
    QCOMPARE(allTexts(w.get()), english);
    setLanguage(w.get(), -1);
    QCOMPARE(w->language, -1);
    QCOMPARE(allTexts(w.get()), english);
}

void TestMainForm::fixedTextsNeverSwitch()
{
    auto w = makeWindow();
    const QMap<QString, QString> fixed = {
        {"view_regularizer_menu", "Регуляризатор"}, {"view_abs_reg", "Модуль"},
        {"view_init_reg", "Исходный"},              {"menu", "Средняя плотность"},
        {"menu_2", "Средняя плотность"},            {"move_3Dgrid_tozero", "Сместить координаты на 0 "},
        {"move_horizons_tozero", "Сместить координаты на 0 "},
        {"importXYZDens", "XYZσ"},                  {"view_Vp", "Vp"},
        {"view_Vs", "Vs"},                          {"ML_density_conversion", "ML"},
        {"actionZ_XY", "Z:XY"},                     {"maps_equal_xy", "1:1"},
        {"vertical_gradient", "∂σ/∂z"},             {"export_const_value_surface", "Поверхность постоянного значения"},
        {"showDock", "Dock"},
    };
    for (int lang : {1, 0, 1}) {
        setLanguage(w.get(), lang);
        for (auto it = fixed.begin(); it != fixed.end(); ++it)
            QCOMPARE(textOf(w.get(), it.key()), it.value());
        QCOMPARE(w->windowTitle(), QString("Tolmera3D"));
        QCOMPARE(w->ui->toolBar->windowTitle(), QString("toolBar"));
        QCOMPARE(w->ui->treeWidget->topLevelItem(0)->text(0), QString("Density"));
        QCOMPARE(w->ui->inversion->iconText(), QString("Gravity inversion"));
    }
    // Edit > Delete in English.
    setLanguage(w.get(), 1);
    QStringList texts;
    for (QAction* a : w->ui->delete_menu_2->actions())
        texts << a->text();
    QCOMPARE(texts, QStringList({"Horizons", "3D density grid", "3D Vp grid", "Regularizer", "Faults", "Profiles"}));
}

void TestMainForm::newProjectChangesNothing()
{
    auto w = makeWindow();
    w->den_grid = vector3D(2, vector2D(2, std::vector<data_type>(2, 1.5f)));
    const auto texts = allTexts(w.get());
    w->ui->new_model->trigger();
    QCOMPARE(w->den_grid.size(), std::size_t(2));
    QCOMPARE(allTexts(w.get()), texts);
    QVERIFY(fake->notes.isEmpty());
    QVERIFY(fake->questions.isEmpty());
}

void TestMainForm::messagesGoThroughInteraction()
{
    auto w = makeWindow();
    w->show_error("3D density grid is empty");
    w->show_message("Ok");
    QCOMPARE(fake->errors(), QStringList{"3D density grid is empty"});
    QCOMPARE(fake->messages(), QStringList{"Ok"});
    QCOMPARE(fake->notes.first().title, QString());
    // Questions take the scripted answer, then the default button.
    fake->answers << QMessageBox::No;
    QCOMPARE(interaction()->question("Tolmera3D", "?", QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
             QMessageBox::No);
    QCOMPARE(interaction()->question("Tolmera3D", "?", QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
             QMessageBox::Yes);
    QCOMPARE(fake->questions.size(), 2);
    // Removing the fake restores the previous interaction.
    Interaction* installed = interaction();
    QCOMPARE(installed, static_cast<Interaction*>(fake.get()));
    fake.reset();
    QVERIFY(interaction() != installed);
    QVERIFY(dynamic_cast<DialogInteraction*>(interaction()));
}

void TestMainForm::surfWithoutGraphDoesNothing()
{
    Surf surf(nullptr);
    surf.setAlpha(128);
    QCOMPARE(surf.alpha, 128);
    surf.updateAxesRanges();
    surf.clearSurfaces();
    surf.clearFaults();
    std::vector<QString> names{"F1"};
    surf.addFaults({{{QVector3D(0, 0, 1), QVector3D(0, 0, 2)}}}, names);
    surf.setFaultsVisible(false);
    surf.changeTheme(2);
    QVERIFY(surf.fault_series.isEmpty());
    QVERIFY(surf.surfaces.isEmpty());
    QCOMPARE(surf.selectedHorizon(), -1);
    QCOMPARE(surf.selectedPoint(), QPoint(-1, -1));
    // The bookkeeping goes on without a graph: cleared bounds are reset.
    QCOMPARE(surf.min_x, 1e20);
    QCOMPARE(surf.max_z, -1e20);
    QSignalSpy spy(&surf, SIGNAL(selectedPoint(QPoint)));
    surf.point_selected(QPoint(3, 4));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toPoint(), QPoint(3, 4));
}

void TestMainForm::offscreenSmoke()
{
    auto w = makeWindow();
    QVERIFY(!w->graph);  // no OpenGL offscreen
    QVERIFY(w->surf);
    QVERIFY(!w->surf->graph);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCoreApplication::processEvents();
    QVERIFY(w->ui->dockWidget->isHidden());
    QVERIFY(!w->ui->showDock->isVisible());
    QVERIFY(fake->notes.isEmpty());
    w->close();
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
