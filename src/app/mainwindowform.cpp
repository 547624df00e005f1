#include "app/mainwindowform.h"
#include "app/texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPalette>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace {

// Form text markers: the form's own text is the English one (nullptr), the
// Russian one (kRu) or a text of its own.
const char kRu[] = "=ru";

enum Flags {
    Checkable = 1,
    Checked = 2,
    Disabled = 4,
    Hidden = 8,
};

using ActionPtr = QAction* MainWindowForm::*;
using MenuPtr = QMenu* MainWindowForm::*;

// One row per action or menu, in menu order: the row order is the order of
// the entries in each menu and of the menus in the menu bar.
struct Entry
{
    ActionPtr action;     // set for an action row
    MenuPtr menu;         // set for a menu row
    const char* name;
    MenuPtr parent;       // containing menu; nullptr: the menu bar
    const char* english;  // English text (the form's own text when never switched)
    const char* russian;  // Russian text; nullptr: never switched
    const char* form;     // form's own text: nullptr English, kRu Russian, else itself
    const char* shortcut;
    const char* icon;
    int flags;
};

#define ACT(n, parent, en, ru, form, sc, icon, fl) \
    Entry{&MainWindowForm::n, nullptr, #n, parent, en, ru, form, sc, icon, fl}
#define MENU(n, parent, en, ru, form) \
    Entry{nullptr, &MainWindowForm::n, #n, parent, en, ru, form, nullptr, nullptr, 0}
#define M(n) (&MainWindowForm::n)

const Entry kEntries[] = {
    // File
    MENU(file_menu, nullptr, "File", "Файл", nullptr),
    ACT(new_model, M(file_menu), "New project", "Новый проект", "New model", nullptr, nullptr, 0),
    MENU(open_menu, M(file_menu), "Open", "Открыть", nullptr),
    ACT(open_project, M(open_menu), "Project", "Проект", nullptr, "Ctrl+O", ":/Images/open_blue.png", 0),
    ACT(open3Dgrd, M(open_menu), "3D density grid", "3D грид плотности", "3D Grid", nullptr, ":/Images/open_1.png", 0),
    ACT(open_observed_field, M(open_menu), "Observed field", "Наблюденное поле", nullptr, nullptr, nullptr, 0),
    ACT(open_horizon, M(open_menu), "Horizons", "Горизонты", "Horizon", nullptr, nullptr, 0),
    ACT(open_vel_vp, M(open_menu), "3D Vp grid", "3D грид Vp", "Velocity - P model", nullptr, nullptr, 0),
    ACT(open_vel_vs, M(open_menu), "3D Vs grid", "3D грид Vs", "Velocity - S model", nullptr, nullptr, 0),
    ACT(open_regularizer, M(open_menu), "Regularizer", "Регуляризатор", nullptr, nullptr, nullptr, 0),
    MENU(save_menu, M(file_menu), "Save", "Сохранить", nullptr),
    ACT(save_project, M(save_menu), "Project", "Проект", nullptr, "Ctrl+S", ":/Images/save_proj2.png", 0),
    ACT(save3Dgrid, M(save_menu), "3D density grid", "3D грид плотности", "3D Grid", nullptr, ":/Images/save.png", 0),
    ACT(save_horizons, M(save_menu), "Горизонты", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(save_calc_field, M(save_menu), "Calculated field", "Рассчитанное поле", nullptr, nullptr, nullptr, 0),
    ACT(save_deltaVz, M(save_menu), "Residual field", "Разностное поле", kRu, nullptr, nullptr, 0),
    ACT(save_obs_field, M(save_menu), "Observed field", "Наблюденное поле", "Observed", nullptr, nullptr, 0),
    ACT(save_3D_vel_grid, M(save_menu), "3D Vp grid", "3D грид Vp", "3D vel grid", nullptr, nullptr, 0),
    ACT(save_regularizer, M(save_menu), "Regularizer", "Регуляризатор", kRu, nullptr, nullptr, 0),
    ACT(save_as, M(file_menu), "Save as", "Сохранить как", nullptr, nullptr, nullptr, 0),
    MENU(import_menu, M(file_menu), "Import", "Импорт", nullptr),
    ACT(importXYZDens, M(import_menu), "XYZσ", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(import_effects, M(import_menu), "Effects", nullptr, nullptr, nullptr, nullptr, Disabled | Hidden),
    ACT(import_faults, M(import_menu), "Faults", "Разломы", kRu, nullptr, nullptr, 0),
    ACT(import_profiles_scheme, M(import_menu), "Profiles scheme", "Схема профилей", kRu, nullptr, nullptr, 0),
    ACT(importTM2Dmodels, M(import_menu), "Tolmera2D models", "Модели Tolmera2D", nullptr, nullptr, nullptr, 0),
    MENU(menu_2, M(import_menu), "Средняя плотность", nullptr, nullptr),
    ACT(import_total_mean_dens, M(menu_2), "Куб", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(import_layers_mean_dens, M(menu_2), "Послойно", nullptr, nullptr, nullptr, nullptr, 0),
    MENU(export_menu, M(file_menu), "Export", "Экспорт", nullptr),
    ACT(export_text_table, M(export_menu), "Text table", nullptr, nullptr, nullptr, nullptr, Disabled | Hidden),
    ACT(export_XYZDens, M(export_menu), "XYZσ", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(export_XYZVp, M(export_menu), "XYZVp", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(exportYZslices, M(export_menu), "Slices X = const", "Срезы X = const", nullptr, nullptr, nullptr, 0),
    ACT(exportXZslices, M(export_menu), "Slices Y = const", "Срезы Y = const", nullptr, nullptr, nullptr, 0),
    ACT(ecportXYslices, M(export_menu), "Slices Z = const", "Срезы Z = const", nullptr, nullptr, nullptr, 0),
    ACT(save_effects, M(export_menu), "Effects", nullptr, nullptr, nullptr, nullptr, Disabled | Hidden),
    ACT(exportVerticalSlice, M(export_menu), "Vertical slice (section)", "Вертикальный срез (разрез)", "Вертикальный срез", nullptr, nullptr, 0),
    MENU(export_faults_menu, M(export_menu), "Faults", "Разломы", kRu),
    ACT(export_faults_one_file, M(export_faults_menu), "To common file", "В общий файл", "В один файл", nullptr, nullptr, 0),
    ACT(export_faults_multiple_files, M(export_faults_menu), "To files", "В отдельные файлы", kRu, nullptr, nullptr, 0),
    MENU(menu, M(export_menu), "Средняя плотность", nullptr, nullptr),
    ACT(export_total_mean_dens, M(menu), "Куб", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(export_layers_mean_dens, M(menu), "Послойно", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(export_const_value_surface, M(export_menu), "Поверхность постоянного значения", nullptr, nullptr, nullptr, nullptr, 0),

    // Edit
    MENU(edit_menu, nullptr, "Edit", "Редактировать", nullptr),
    ACT(actionUndo, M(edit_menu), "Undo", "Отмена", nullptr, "Ctrl+Z", nullptr, 0),
    MENU(delete_menu_2, M(edit_menu), "Delete", "Удалить", nullptr),
    ACT(clear_horizons, M(delete_menu_2), "Horizons", "Горизонты", "Cear horizons", nullptr, nullptr, 0),
    ACT(clear_3D_grid, M(delete_menu_2), "3D density grid", "3D грид плотности", "Clear 3D grid", nullptr, nullptr, 0),
    ACT(clear_Vp, M(delete_menu_2), "3D Vp grid", "3D грид Vp", "Clear Vp", nullptr, nullptr, 0),
    ACT(clear_regularizer, M(delete_menu_2), "Regularizer", "Регуляризатор", nullptr, nullptr, nullptr, 0),
    ACT(delete_faults, M(delete_menu_2), "Faults", "Разломы", kRu, nullptr, nullptr, 0),
    ACT(delete_profiles_scheme, M(delete_menu_2), "Profiles", "Схема профилей", kRu, nullptr, nullptr, 0),
    MENU(menuHorizons, M(edit_menu), "Horizons", "Горизонты", nullptr),
    ACT(edit_horizons, M(menuHorizons), "Edit", "Редактировать", nullptr, nullptr, ":/Images/up_down.png", Checkable | Disabled),
    ACT(regrid_horizons, M(menuHorizons), "Regrid", "Параметры разбиения", nullptr, nullptr, nullptr, 0),
    ACT(add_constant_horizon, M(menuHorizons), "Добавить границу", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(move_horizons_tozero, M(menuHorizons), "Сместить координаты на 0 ", nullptr, nullptr, nullptr, nullptr, 0),
    MENU(edit_3Dmodel_menu, M(edit_menu), "3D Grid", "3D грид плотности", "3D model"),
    ACT(regrid, M(edit_3Dmodel_menu), "Regrid", "Параметры разбиения", nullptr, nullptr, nullptr, 0),
    ACT(move_3Dgrid_tozero, M(edit_3Dmodel_menu), "Сместить координаты на 0 ", nullptr, nullptr, nullptr, nullptr, 0),
    MENU(edit_observed_menu, M(edit_menu), "Observed field", "Наблюденное поле", nullptr),
    ACT(regrid_observed, M(edit_observed_menu), "Regrid", "Параметры разбиения", nullptr, nullptr, nullptr, 0),
    ACT(move_observed_tozero, M(edit_observed_menu), "Сместить координаты на 0 ", nullptr, nullptr, nullptr, nullptr, 0),

    // View
    MENU(view_menu, nullptr, "View", "Вид", nullptr),
    MENU(view_limits_menu, M(view_menu), "Limits", "Размеры окон", "Размеры окна"),
    ACT(view_limits, M(view_limits_menu), "Manual", "Вручную", "Limits", "Ctrl+W", ":/Images/window_size.png", 0),
    ACT(auto_window_size, M(view_limits_menu), "Auto", "Автоматически", kRu, nullptr, ":/Images/fit__window.png", 0),
    ACT(actionZ_XY, M(view_menu), "Z:XY", nullptr, nullptr, nullptr, nullptr, 0),
    MENU(menuData_type, M(view_menu), "Model type", "Тип модели", "Data type"),
    ACT(view_cube, M(menuData_type), "3D Grid", "3D грид", "Cube", nullptr, ":/Images/cube_opac.png", Checkable | Checked),
    ACT(view_horizons, M(menuData_type), "Horizons", "Горизонты", nullptr, nullptr, ":/Images/surface_opac.png", Checkable),
    ACT(view_cube_horizons, M(menuData_type), "3D Grid + Horizons", "3D грид + Горизонты", "Cube + horizons", nullptr, ":/Images/cube_surf.png", Checkable),
    MENU(view_3D_menu, M(view_menu), "3D Grid", "3D Грид", nullptr),
    ACT(view_dens, M(view_3D_menu), "Density", "Плотность", nullptr, "Ctrl+1", nullptr, Checkable | Checked),
    ACT(view_reg, M(view_3D_menu), "Regularizer", "Регуляризатор", nullptr, "Ctrl+2", nullptr, Checkable),
    ACT(view_Vp, M(view_3D_menu), "Vp", nullptr, nullptr, "Ctrl+3", nullptr, Checkable),
    ACT(view_Vs, M(view_3D_menu), "Vs", nullptr, nullptr, "Ctrl+4", nullptr, Checkable),
    ACT(changeView, M(view_3D_menu), "Slices", "Срезы", nullptr, nullptr, ":/Images/slice.png", 0),
    MENU(horizons_coloring, M(view_menu), "Horizons", "Горизонты", nullptr),
    MENU(coloring_data_menu, M(horizons_coloring), "Coloring data", "Данные для раскраски", nullptr),
    ACT(color_by_depth, M(coloring_data_menu), "Depth", "Глубина", nullptr, nullptr, nullptr, Checkable | Checked),
    ACT(color_by_density, M(coloring_data_menu), "Density (top)", "Плотность (кровля)", "Density", nullptr, nullptr, Checkable),
    MENU(coloring_level, M(horizons_coloring), "Coloring level", "Уровень для раскраски", nullptr),
    ACT(common_coloring_level, M(coloring_level), "Common", "Общий", nullptr, nullptr, nullptr, Checkable),
    ACT(individual_coloring_level, M(coloring_level), "Individual", "Индивидуальный", nullptr, nullptr, nullptr, Checkable | Checked),
    ACT(show_top, M(horizons_coloring), "Show top", "Показать верх модели", nullptr, nullptr, nullptr, Checkable),
    MENU(mapsMenu, M(view_menu), "Maps", "Карты", kRu),
    ACT(maps_equal_xy, M(mapsMenu), "1:1", nullptr, nullptr, nullptr, nullptr, Checkable | Checked),
    MENU(view_regularizer_menu, M(view_menu), "Регуляризатор", nullptr, nullptr),
    ACT(view_abs_reg, M(view_regularizer_menu), "Модуль", nullptr, nullptr, nullptr, nullptr, Checkable | Checked),
    ACT(view_init_reg, M(view_regularizer_menu), "Исходный", nullptr, nullptr, nullptr, nullptr, Checkable),
    MENU(view_additional_menu, M(view_menu), "Extra", "Дополнительно", kRu),
    ACT(view_faults, M(view_additional_menu), "Faults", "Разломы", kRu, nullptr, ":/Images/faults_icon2.png", Checkable | Checked | Disabled),
    ACT(view_profiles, M(view_additional_menu), "Profiles", "Схема профилей", kRu, nullptr, ":/Images/net.png", Checkable | Checked | Disabled),
    ACT(show_3Daxes, M(view_additional_menu), "Оси (3D)", nullptr, nullptr, nullptr, nullptr, Checkable | Checked),
    ACT(show_mapsAxes, M(view_additional_menu), "Оси (Карты)", nullptr, nullptr, nullptr, nullptr, Checkable | Checked),
    ACT(showDock, M(view_additional_menu), "Dock", nullptr, nullptr, nullptr, nullptr, 0),

    // Model
    MENU(model_menu, nullptr, "Model", "Модель", nullptr),
    ACT(horizons_table, M(model_menu), "Layers table", "Слои", "Layer's densities", "Ctrl+T", ":/Images/spreadsheet.png", 0),
    MENU(menu3D_Grid, M(model_menu), "Density grid", "Плотностной грид", nullptr),
    MENU(menuCreate, M(menu3D_Grid), "Create", "Создать", nullptr),
    ACT(Create_empty_grid, M(menuCreate), "Empty 3D grid", "По координатам", "Create empty grid", nullptr, nullptr, 0),
    ACT(Zparams, M(menuCreate), "Using horizons", "По горизонтам", "Vertical parameters", nullptr, nullptr, 0),
    ACT(fill_zeros, M(menu3D_Grid), "Reset to zero", "Обнулить плотность", nullptr, nullptr, nullptr, 0),
    MENU(menuMath_2, M(menu3D_Grid), "Math", "Математические операции", nullptr),
    ACT(smooth3Dgrid, M(menuMath_2), "Smooth", "Сгладить", kRu, nullptr, nullptr, 0),
    ACT(formula, M(menuMath_2), "Formula", "Формула", nullptr, nullptr, nullptr, 0),
    ACT(vel_dens, M(menuMath_2), "(Depth, Velocity) - Density", "(Глубина, Скорость) - Плотность", "Velocity-Density", nullptr, nullptr, 0),
    MENU(Gardner_menu, M(menuMath_2), "Gardner's formula", "Формула Гарднера", "Gardner menu"),
    ACT(gardner_formula, M(Gardner_menu), "Vp → Density", "Скорость → Плотность", "Gardner", nullptr, nullptr, 0),
    ACT(inverse_gardner_formula, M(Gardner_menu), "Density → Vp", "Плотность → Скорость", "Inverse gardner", nullptr, nullptr, 0),
    ACT(delete_min, M(menuMath_2), "Delete mins", "Удалить минимумы", "Delete min at each z", nullptr, nullptr, 0),
    ACT(delete_mean, M(menuMath_2), "Delete means", "Удалить средние", "Delete mean at each z", nullptr, nullptr, 0),
    ACT(calc_means, M(menuMath_2), "Calculate means", "Рассчитать средние", "Расчет средних", nullptr, nullptr, 0),
    ACT(substract_cube, M(menuMath_2), "Substract cube", "Вычесть куб", kRu, nullptr, nullptr, 0),
    ACT(add_cube, M(menuMath_2), "Add cube", "Прибавить куб", kRu, nullptr, nullptr, 0),
    ACT(multiply_cube, M(menuMath_2), "Multiply by cube", "Умножить на куб", "Уножить на куб", nullptr, nullptr, 0),
    ACT(divide_cube, M(menuMath_2), "Divide by cube", "Разделить на куб", kRu, nullptr, nullptr, 0),
    ACT(add_means, M(menuMath_2), "Add means", "Прибавить средние", "Добавить средние", nullptr, nullptr, 0),
    MENU(gradientMenu, M(menuMath_2), "Gradient", "Градиент", kRu),
    ACT(x_gradient, M(gradientMenu), "∂σ/∂x", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(y_gradient, M(gradientMenu), "∂σ/∂y", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(vertical_gradient, M(gradientMenu), "∂σ/∂z", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(horizontal_gradient, M(gradientMenu), "Horizontal gradient", "Горизонтальный градиент", "Горизонтальныый градиент", nullptr, nullptr, 0),
    ACT(full_gradient, M(gradientMenu), "Full gradient", "Полный градиент", kRu, nullptr, nullptr, 0),
    ACT(ML_density_conversion, M(menuMath_2), "ML", nullptr, nullptr, nullptr, nullptr, 0),
    ACT(density_stats, M(menu3D_Grid), "Statistics", "Статистика", nullptr, nullptr, nullptr, 0),

    // Forward
    MENU(forward_menu, nullptr, "Forward", "Прямая задача", nullptr),
    ACT(forward_grid, M(forward_menu), "Forward", "Прямая задача", "Grid", "Ctrl+F", ":/Images/start_green.png", 0),

    // Inversion
    MENU(inversion_menu, nullptr, "Inversion", "Обратная задача", nullptr),
    ACT(inversion, M(inversion_menu), "3D grid", "3D грид", "Gravity", "Ctrl+I", ":/Images/start_inv.png", 0),
    ACT(horizonInversion, M(inversion_menu), "Fit horizon", "Подбор границы", kRu, nullptr, ":/Images/start_inv_horizon.png", 0),
    MENU(regularizerMenu, M(inversion_menu), "Regularizer", "Регуляризатор", kRu),
    MENU(centralRegularizerMenu_2, M(regularizerMenu), "Central regularizer", "Срединный регуляризатор", kRu),
    ACT(centralRegularizer, M(centralRegularizerMenu_2), "Constant amplitude", "Единичная ампилитуда", "Единичная амплитуда", nullptr, nullptr, 0),
    ACT(centralRegularizerOnHeights, M(centralRegularizerMenu_2), "Thickness based amplitude", "Амплитуда по мощности слоя", kRu, nullptr, nullptr, 0),
    ACT(horizonsBasedRegularizer, M(regularizerMenu), "Gradient regularizer", "Градиентный регуляризатор", "Горизонтный регуляризатор", nullptr, nullptr, 0),
    MENU(recalcRegularizerMenu, M(regularizerMenu), "Recalc", "Пересчет", kRu),
    ACT(reg_not_recalc, M(recalcRegularizerMenu), "Initial", "Исходный", "Don't recalc", nullptr, nullptr, Checkable | Checked),
    ACT(reg_del_means, M(recalcRegularizerMenu), "Delete means", "Удалить средние", nullptr, nullptr, nullptr, Checkable),
    ACT(reg_del_mins, M(recalcRegularizerMenu), "Delete mins", "Удалить минимумы", nullptr, nullptr, nullptr, Checkable),

    // Preferences
    MENU(preferences_menu, nullptr, "Preferences", "Настройки", nullptr),
    ACT(Customize, M(preferences_menu), "General", "Общие", nullptr, nullptr, nullptr, 0),

    // Help
    MENU(help_menu, nullptr, "Help", "Помощь", nullptr),
    ACT(manual, M(help_menu), "Manual", "Руководство", nullptr, nullptr, nullptr, 0),
    ACT(about_programm, M(help_menu), "About programm", "О программе", "About", nullptr, nullptr, 0),
};

#undef ACT
#undef MENU
#undef M

// The toolbar, left to right; a null action is a separator. Each entry has
// the tooltip of the form and the tooltips of the language switch.
struct ToolbarEntry
{
    ActionPtr action;
    const char* formTip;  // nullptr: none of the form's own
    const char* english;
    const char* russian;
};

const ToolbarEntry kToolbar[] = {
    {&MainWindowForm::open_project, nullptr, "Open project", "Открыть проект"},
    {&MainWindowForm::open3Dgrd, "Open 3D Grid", "Open 3D density grid", "Открыть 3D плотностной грид"},
    {nullptr, nullptr, nullptr, nullptr},
    {&MainWindowForm::save_project, nullptr, "Save project", "Сохранить проект"},
    {&MainWindowForm::save3Dgrid, "Save 3D Grid", "Save 3D density grid", "Сохранить 3D плотностной грид"},
    {nullptr, nullptr, nullptr, nullptr},
    {&MainWindowForm::view_limits, nullptr, "Set limits", "Задать размеры окон"},
    {&MainWindowForm::auto_window_size, nullptr, "Set auto limits", "Автоматические размеры окон"},
    {nullptr, nullptr, nullptr, nullptr},
    {&MainWindowForm::view_cube, "Show cube", "3D grid", "3D грид"},
    {&MainWindowForm::view_horizons, "Show horizons", "Horizons", "Горизонты"},
    {&MainWindowForm::view_cube_horizons, nullptr, "3D grid + horizons", "3D Грид + Горизонты"},
    {&MainWindowForm::view_faults, nullptr, "Faults", "Разломы"},
    {&MainWindowForm::view_profiles, nullptr, "Profiles", "Схема профилей"},
    {&MainWindowForm::changeView, "Slices", "Slices", "Срезы"},
    {nullptr, nullptr, nullptr, nullptr},
    {&MainWindowForm::edit_horizons, "Edit horizons", "Edit horizons", "Редактировать горизонты"},
    {&MainWindowForm::horizons_table, nullptr, "Layers table", "Слои"},
    {nullptr, nullptr, nullptr, nullptr},
    {&MainWindowForm::forward_grid, "Решить прямую задачу", "Forward gravity", "Решить прямую задачу"},
    {&MainWindowForm::inversion, nullptr, "Gravity inversion", "Обратная задача (3D grid)"},
    {&MainWindowForm::horizonInversion, nullptr, "Fir horizon's shape", "Подбор формы границы"},
    {nullptr, nullptr, nullptr, nullptr},
};

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

const char* formText(const Entry& e)
{
    if (!e.form)
        return e.english;
    if (e.form == kRu)
        return e.russian;
    return e.form;
}

void setWhitePalette(QWidget* w)
{
    QPalette palette;
    const QBrush white(QColor(255, 255, 255));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setBrush(g, QPalette::Window, white);
        palette.setBrush(g, QPalette::Base, white);
    }
    w->setPalette(palette);
}

void setToolbarPalette(QToolBar* bar)
{
    QPalette palette;
    const QBrush white(QColor(255, 255, 255));
    const QBrush black(QColor(0, 0, 0));
    const QBrush dark(QColor(127, 127, 127));
    const QBrush mid(QColor(170, 170, 170));
    const QBrush tipBase(QColor(255, 255, 220));
    const QBrush placeholder(QColor(0, 0, 0, 128));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (QPalette::ColorRole r : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::Light,
                                      QPalette::Midlight, QPalette::BrightText, QPalette::AlternateBase})
            palette.setBrush(g, r, white);
        palette.setBrush(g, QPalette::Dark, dark);
        palette.setBrush(g, QPalette::Mid, mid);
        for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                      QPalette::Shadow, QPalette::ToolTipText})
            palette.setBrush(g, r, black);
        palette.setBrush(g, QPalette::ToolTipBase, tipBase);
        palette.setBrush(g, QPalette::PlaceholderText, placeholder);
    }
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setBrush(QPalette::Disabled, r, dark);
    bar->setPalette(palette);
}

} // namespace

void MainWindowForm::setupUi(QMainWindow* window)
{
    // 1. The window.
    if (window->objectName().isEmpty())
        window->setObjectName(QString::fromUtf8("MainWindow"));
    window->resize(1387, 705);
    QSizePolicy windowPolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    window->setSizePolicy(windowPolicy);
    setWhitePalette(window);
    window->setWindowIcon(QIcon(QString::fromUtf8(":/Images/logo3D.png")));

    // 2. The actions.
    for (const Entry& e : kEntries) {
        if (!e.action)
            continue;
        QAction* a = new QAction(window);
        a->setObjectName(QString::fromUtf8(e.name));
        if (e.icon)
            a->setIcon(QIcon(QString::fromUtf8(e.icon)));
        if (e.flags & Checkable) {
            a->setCheckable(true);
            a->setChecked(e.flags & Checked);
        }
        if (e.flags & Disabled)
            a->setEnabled(false);
        if (e.flags & Hidden)
            a->setVisible(false);
        this->*(e.action) = a;
    }

    // 3. The central widget: splitter with the 3D area and its colour bar on
    // the left, the two maps on the right.
    centralwidget = new QWidget(window);
    centralwidget->setObjectName(QString::fromUtf8("centralwidget"));
    centralwidget->setSizePolicy(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    gridLayout_2 = new QGridLayout(centralwidget);
    gridLayout_2->setObjectName(QString::fromUtf8("gridLayout_2"));
    splitter = new QSplitter(centralwidget);
    splitter->setObjectName(QString::fromUtf8("splitter"));
    splitter->setOrientation(Qt::Horizontal);

    layoutWidget = new QWidget(splitter);
    layoutWidget->setObjectName(QString::fromUtf8("layoutWidget"));
    gridLayout = new QGridLayout(layoutWidget);
    gridLayout->setObjectName(QString::fromUtf8("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    Model3D = new QWidget(layoutWidget);
    Model3D->setObjectName(QString::fromUtf8("Model3D"));
    Model3D->setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
    gridLayout->addWidget(Model3D, 0, 0, 4, 1);
    verticalSpacer = new QSpacerItem(20, 100, QSizePolicy::Minimum, QSizePolicy::Fixed);
    gridLayout->addItem(verticalSpacer, 0, 1, 1, 1);
    scale_label = new QLabel(layoutWidget);
    scale_label->setObjectName(QString::fromUtf8("scale_label"));
    scale_label->setSizePolicy(QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed));
    scale_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    gridLayout->addWidget(scale_label, 1, 1, 1, 1);
    model_colorscale = new QCustomPlot(layoutWidget);
    model_colorscale->setObjectName(QString::fromUtf8("model_colorscale"));
    model_colorscale->setSizePolicy(QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred));
    model_colorscale->setMinimumSize(QSize(90, 0));
    gridLayout->addWidget(model_colorscale, 2, 1, 1, 1);
    horizontalSpacer = new QSpacerItem(20, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    gridLayout->addItem(horizontalSpacer, 2, 2, 1, 1);
    verticalSpacer_2 = new QSpacerItem(20, 100, QSizePolicy::Minimum, QSizePolicy::Fixed);
    gridLayout->addItem(verticalSpacer_2, 3, 1, 1, 1);
    line = new QFrame(layoutWidget);
    line->setObjectName(QString::fromUtf8("line"));
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    gridLayout->addWidget(line, 0, 3, 4, 1);
    splitter->addWidget(layoutWidget);

    layoutWidget1 = new QWidget(splitter);
    layoutWidget1->setObjectName(QString::fromUtf8("layoutWidget1"));
    verticalLayout = new QVBoxLayout(layoutWidget1);
    verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    observed_axes = new QCustomPlot(layoutWidget1);
    observed_axes->setObjectName(QString::fromUtf8("observed_axes"));
    observed_axes->setSizePolicy(QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred));
    observed_axes->setContextMenuPolicy(Qt::CustomContextMenu);
    verticalLayout->addWidget(observed_axes);
    calculated_axes = new QCustomPlot(layoutWidget1);
    calculated_axes->setObjectName(QString::fromUtf8("calculated_axes"));
    calculated_axes->setSizePolicy(QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred));
    calculated_axes->setContextMenuPolicy(Qt::CustomContextMenu);
    verticalLayout->addWidget(calculated_axes);
    splitter->addWidget(layoutWidget1);

    gridLayout_2->addWidget(splitter, 0, 0, 1, 1);
    window->setCentralWidget(centralwidget);

    // 4. The menu bar and the menus, each a child of its parent.
    menubar = new QMenuBar(window);
    menubar->setObjectName(QString::fromUtf8("menubar"));
    menubar->setGeometry(QRect(0, 0, 1387, 26));
    for (const Entry& e : kEntries) {
        if (!e.menu)
            continue;
        QWidget* parent = e.parent ? static_cast<QWidget*>(this->*(e.parent)) : menubar;
        QMenu* m = new QMenu(parent);
        m->setObjectName(QString::fromUtf8(e.name));
        this->*(e.menu) = m;
    }
    window->setMenuBar(menubar);

    // 5. The status bar (the window adds its labels and progress bar).
    statusbar = new QStatusBar(window);
    statusbar->setObjectName(QString::fromUtf8("statusbar"));
    window->setStatusBar(statusbar);

    // 6. The toolbar.
    toolBar = new QToolBar(window);
    toolBar->setObjectName(QString::fromUtf8("toolBar"));
    setToolbarPalette(toolBar);
    toolBar->setIconSize(QSize(16, 16));
    window->addToolBar(Qt::TopToolBarArea, toolBar);

    // 7. The dock with its small tree.
    dockWidget = new QDockWidget(window);
    dockWidget->setObjectName(QString::fromUtf8("dockWidget"));
    dockWidget->setFloating(false);
    dockWidget->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                            | QDockWidget::DockWidgetFloatable);
    dockWidgetContents = new QWidget();
    dockWidgetContents->setObjectName(QString::fromUtf8("dockWidgetContents"));
    treeWidget = new QTreeWidget(dockWidgetContents);
    for (int i = 0; i < 4; ++i)
        new QTreeWidgetItem(treeWidget);
    treeWidget->setObjectName(QString::fromUtf8("treeWidget"));
    treeWidget->setGeometry(QRect(0, 0, 91, 301));
    treeWidget->setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
    dockWidget->setWidget(dockWidgetContents);
    window->addDockWidget(Qt::LeftDockWidgetArea, dockWidget);

    // 8. Menu entries in table order; the toolbar in its own order.
    for (const Entry& e : kEntries) {
        if (e.menu) {
            QMenu* m = this->*(e.menu);
            if (e.parent)
                (this->*(e.parent))->addAction(m->menuAction());
            else
                menubar->addAction(m->menuAction());
        } else {
            (this->*(e.parent))->addAction(this->*(e.action));
        }
    }
    for (const ToolbarEntry& t : kToolbar) {
        if (t.action)
            toolBar->addAction(this->*(t.action));
        else
            toolBar->addSeparator();
    }

    // 9. Texts, then the connections by name.
    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateUi(QMainWindow* window)
{
    window->setWindowTitle(tr("Tolmera3D"));
    for (const Entry& e : kEntries) {
        if (e.action) {
            QAction* a = this->*(e.action);
            a->setText(tr(formText(e)));
            if (e.shortcut)
                a->setShortcut(QKeySequence(tr(e.shortcut)));
        } else {
            (this->*(e.menu))->setTitle(tr(formText(e)));
        }
    }
    for (const ToolbarEntry& t : kToolbar) {
        if (t.action && t.formTip)
            (this->*(t.action))->setToolTip(tr(t.formTip));
    }
    inversion->setIconText(tr("Gravity inversion"));
    toolBar->setWindowTitle(tr("toolBar"));
    scale_label->setText(QString());

    QTreeWidgetItem* header = treeWidget->headerItem();
    header->setText(0, tr("Element"));
    const bool sorting = treeWidget->isSortingEnabled();
    treeWidget->setSortingEnabled(false);
    const char* items[] = {"Density", "Horizons", "Regularizer", "Vp"};
    for (int i = 0; i < 4; ++i)
        treeWidget->topLevelItem(i)->setText(0, tr(items[i]));
    treeWidget->setSortingEnabled(sorting);
}

void MainWindowForm::setTexts(int lang)
{
    if (lang != 0 && lang != 1)
        return;
    for (const Entry& e : kEntries) {
        if (!e.russian)
            continue;  // shown in one language only
        const QString text = byLanguage(lang, e.russian, e.english);
        if (e.action)
            (this->*(e.action))->setText(text);
        else
            (this->*(e.menu))->setTitle(text);
    }
    for (const ToolbarEntry& t : kToolbar) {
        if (t.action)
            (this->*(t.action))->setToolTip(byLanguage(lang, t.russian, t.english));
    }
}

const std::vector<FormActionInfo>& formActions()
{
    static const std::vector<FormActionInfo> list = [] {
        std::vector<FormActionInfo> v;
        for (const Entry& e : kEntries) {
            if (!e.action)
                continue;
            const char* parent = nullptr;
            for (const Entry& p : kEntries)
                if (p.menu && p.menu == e.parent)
                    parent = p.name;
            v.push_back({e.name, parent, e.english, e.russian, e.shortcut, e.icon});
        }
        return v;
    }();
    return list;
}

const std::vector<FormMenuInfo>& formMenus()
{
    static const std::vector<FormMenuInfo> list = [] {
        std::vector<FormMenuInfo> v;
        for (const Entry& e : kEntries) {
            if (!e.menu)
                continue;
            const char* parent = nullptr;
            for (const Entry& p : kEntries)
                if (p.menu && e.parent && p.menu == e.parent)
                    parent = p.name;
            v.push_back({e.name, parent, e.english, e.russian});
        }
        return v;
    }();
    return list;
}
