#pragma once
// The fixed user interface of the main window: actions, menus, toolbar, dock
// and the central splitter with the 3D area and the two maps.
//
// Every action, menu and text of the form comes from one table in
// mainwindowform.cpp; that table builds the form and drives the switch between
// Russian and English (setTexts).

#include <QString>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QMainWindow;
class QWidget;
class QGridLayout;
class QVBoxLayout;
class QSplitter;
class QFrame;
class QLabel;
class QSpacerItem;
class QStatusBar;
class QToolBar;
class QDockWidget;
class QTreeWidget;
class QCustomPlot;

class MainWindowForm
{
public:
    // Builds the whole form into the window, sets the form's own texts and
    // connects the window's on_<object>_<signal> slots by name.
    void setupUi(QMainWindow* window);
    // The form's own texts (what shows before any language is chosen).
    void retranslateUi(QMainWindow* window);
    // Texts of the language switch: 0 Russian, 1 English; any other value
    // changes nothing.
    void setTexts(int lang);

    // ---- File
    QAction* new_model = nullptr;
    QAction* save_as = nullptr;
    QAction* open_project = nullptr;
    QAction* open3Dgrd = nullptr;
    QAction* open_observed_field = nullptr;
    QAction* open_horizon = nullptr;
    QAction* open_vel_vp = nullptr;
    QAction* open_vel_vs = nullptr;
    QAction* open_regularizer = nullptr;
    QAction* save_project = nullptr;
    QAction* save3Dgrid = nullptr;
    QAction* save_horizons = nullptr;
    QAction* save_calc_field = nullptr;
    QAction* save_deltaVz = nullptr;
    QAction* save_obs_field = nullptr;
    QAction* save_3D_vel_grid = nullptr;
    QAction* save_regularizer = nullptr;
    QAction* importXYZDens = nullptr;
    QAction* import_effects = nullptr;
    QAction* import_faults = nullptr;
    QAction* import_profiles_scheme = nullptr;
    QAction* importTM2Dmodels = nullptr;
    QAction* import_total_mean_dens = nullptr;
    QAction* import_layers_mean_dens = nullptr;
    QAction* export_text_table = nullptr;
    QAction* export_XYZDens = nullptr;
    QAction* export_XYZVp = nullptr;
    QAction* exportYZslices = nullptr;
    QAction* exportXZslices = nullptr;
    QAction* ecportXYslices = nullptr;
    QAction* save_effects = nullptr;
    QAction* exportVerticalSlice = nullptr;
    QAction* export_faults_one_file = nullptr;
    QAction* export_faults_multiple_files = nullptr;
    QAction* export_total_mean_dens = nullptr;
    QAction* export_layers_mean_dens = nullptr;
    QAction* export_const_value_surface = nullptr;
    // ---- Edit
    QAction* actionUndo = nullptr;
    QAction* clear_horizons = nullptr;
    QAction* clear_3D_grid = nullptr;
    QAction* clear_Vp = nullptr;
    QAction* clear_regularizer = nullptr;
    QAction* delete_faults = nullptr;
    QAction* delete_profiles_scheme = nullptr;
    QAction* edit_horizons = nullptr;
    QAction* regrid_horizons = nullptr;
    QAction* add_constant_horizon = nullptr;
    QAction* move_horizons_tozero = nullptr;
    QAction* regrid = nullptr;
    QAction* move_3Dgrid_tozero = nullptr;
    QAction* regrid_observed = nullptr;
    QAction* move_observed_tozero = nullptr;
    // ---- View
    QAction* view_limits = nullptr;
    QAction* auto_window_size = nullptr;
    QAction* actionZ_XY = nullptr;
    QAction* view_cube = nullptr;
    QAction* view_horizons = nullptr;
    QAction* view_cube_horizons = nullptr;
    QAction* view_dens = nullptr;
    QAction* view_reg = nullptr;
    QAction* view_Vp = nullptr;
    QAction* view_Vs = nullptr;
    QAction* changeView = nullptr;
    QAction* color_by_depth = nullptr;
    QAction* color_by_density = nullptr;
    QAction* common_coloring_level = nullptr;
    QAction* individual_coloring_level = nullptr;
    QAction* show_top = nullptr;
    QAction* maps_equal_xy = nullptr;
    QAction* view_abs_reg = nullptr;
    QAction* view_init_reg = nullptr;
    QAction* view_faults = nullptr;
    QAction* view_profiles = nullptr;
    QAction* show_3Daxes = nullptr;
    QAction* show_mapsAxes = nullptr;
    QAction* showDock = nullptr;
    // ---- Model
    QAction* horizons_table = nullptr;
    QAction* Create_empty_grid = nullptr;
    QAction* Zparams = nullptr;
    QAction* fill_zeros = nullptr;
    QAction* smooth3Dgrid = nullptr;
    QAction* formula = nullptr;
    QAction* vel_dens = nullptr;
    QAction* gardner_formula = nullptr;
    QAction* inverse_gardner_formula = nullptr;
    QAction* delete_min = nullptr;
    QAction* delete_mean = nullptr;
    QAction* calc_means = nullptr;
    QAction* substract_cube = nullptr;
    QAction* add_cube = nullptr;
    QAction* multiply_cube = nullptr;
    QAction* divide_cube = nullptr;
    QAction* add_means = nullptr;
    QAction* x_gradient = nullptr;
    QAction* y_gradient = nullptr;
    QAction* vertical_gradient = nullptr;
    QAction* horizontal_gradient = nullptr;
    QAction* full_gradient = nullptr;
    QAction* ML_density_conversion = nullptr;
    QAction* density_stats = nullptr;
    // ---- Forward, Inversion, Preferences, Help
    QAction* forward_grid = nullptr;
    QAction* inversion = nullptr;
    QAction* horizonInversion = nullptr;
    QAction* centralRegularizer = nullptr;
    QAction* centralRegularizerOnHeights = nullptr;
    QAction* horizonsBasedRegularizer = nullptr;
    QAction* reg_not_recalc = nullptr;
    QAction* reg_del_means = nullptr;
    QAction* reg_del_mins = nullptr;
    QAction* Customize = nullptr;
    QAction* manual = nullptr;
    QAction* about_programm = nullptr;

    // ---- Menus
    QMenuBar* menubar = nullptr;
    QMenu* file_menu = nullptr;
    QMenu* open_menu = nullptr;
    QMenu* save_menu = nullptr;
    QMenu* import_menu = nullptr;
    QMenu* menu_2 = nullptr;
    QMenu* export_menu = nullptr;
    QMenu* export_faults_menu = nullptr;
    QMenu* menu = nullptr;
    QMenu* edit_menu = nullptr;
    QMenu* delete_menu_2 = nullptr;
    QMenu* menuHorizons = nullptr;
    QMenu* edit_3Dmodel_menu = nullptr;
    QMenu* edit_observed_menu = nullptr;
    QMenu* view_menu = nullptr;
    QMenu* view_limits_menu = nullptr;
    QMenu* menuData_type = nullptr;
    QMenu* view_3D_menu = nullptr;
    QMenu* horizons_coloring = nullptr;
    QMenu* coloring_data_menu = nullptr;
    QMenu* coloring_level = nullptr;
    QMenu* mapsMenu = nullptr;
    QMenu* view_regularizer_menu = nullptr;
    QMenu* view_additional_menu = nullptr;
    QMenu* model_menu = nullptr;
    QMenu* menu3D_Grid = nullptr;
    QMenu* menuCreate = nullptr;
    QMenu* menuMath_2 = nullptr;
    QMenu* Gardner_menu = nullptr;
    QMenu* gradientMenu = nullptr;
    QMenu* forward_menu = nullptr;
    QMenu* inversion_menu = nullptr;
    QMenu* regularizerMenu = nullptr;
    QMenu* centralRegularizerMenu_2 = nullptr;
    QMenu* recalcRegularizerMenu = nullptr;
    QMenu* preferences_menu = nullptr;
    QMenu* help_menu = nullptr;

    // ---- Widgets
    QWidget* centralwidget = nullptr;
    QGridLayout* gridLayout_2 = nullptr;
    QSplitter* splitter = nullptr;
    QWidget* layoutWidget = nullptr;
    QGridLayout* gridLayout = nullptr;
    QFrame* line = nullptr;
    QLabel* scale_label = nullptr;
    QSpacerItem* verticalSpacer = nullptr;
    QSpacerItem* horizontalSpacer = nullptr;
    QSpacerItem* verticalSpacer_2 = nullptr;
    QCustomPlot* model_colorscale = nullptr;
    QWidget* Model3D = nullptr;
    QWidget* layoutWidget1 = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QCustomPlot* observed_axes = nullptr;
    QCustomPlot* calculated_axes = nullptr;
    QStatusBar* statusbar = nullptr;
    QToolBar* toolBar = nullptr;
    QDockWidget* dockWidget = nullptr;
    QWidget* dockWidgetContents = nullptr;
    QTreeWidget* treeWidget = nullptr;
};

// Description of the form's commands, for code that needs to walk them all
// (the language switch, tests).
struct FormActionInfo
{
    const char* name;      // object name
    const char* menu;      // object name of the menu that holds it
    const char* english;   // text in English (the form's own text when never switched)
    const char* russian;   // text in Russian; nullptr when the text is never switched
    const char* shortcut;  // nullptr when none
    const char* icon;      // resource path, nullptr when none
};
const std::vector<FormActionInfo>& formActions();

struct FormMenuInfo
{
    const char* name;     // object name
    const char* parent;   // object name of the parent menu; nullptr for the menu bar
    const char* english;
    const char* russian;  // nullptr when the title is never switched
};
const std::vector<FormMenuInfo>& formMenus();
