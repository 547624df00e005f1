#pragma once
// The main window: owns the whole project (the data model below), the main
// form and the 3D view. Its methods live in the folder of the subsystem they
// belong to (src/engine/mainwindow_*.cpp, src/formats/mainwindow_*.cpp, ...).

#include "app/project_records.h"
#include "common/types.h"
#include "engine/memory.h"

#include <QMainWindow>
#include <QDateTime>
#include <QMap>
#include <QPoint>
#include <QProgressBar>
#include <QString>
#include <array>
#include <functional>
#include <qcustomplot.h>
#include <utility>
#include <vector>

namespace QtDataVisualization {
class Q3DSurface;
class QSurface3DSeries;
}

class MainWindowForm;
class Surf;
class QLabel;
class QKeyEvent;
class QMouseEvent;
class QAction;
class QWheelEvent;
class HorizontalSliceDialog;
struct ForwardGeometry;
class HorizonsEditingDialog;
class QActionGroup;
class QCloseEvent;
class AbortKeyFilter;
enum class RunKind : int;  // app/run_guard.h

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // ---- Long runs and the commands they lock out (see app/run_guard.h)
    // False (after a message) when another run holds the data.
    bool beginRun(RunKind kind);
    void endRun(RunKind kind);
    bool runActive() const { return !active_runs.empty(); }
    // True when the outermost active run is of this kind: its starting
    // action's second press is a stop (the other run actions refuse).
    bool outermostRunIs(RunKind kind) const { return !active_runs.empty() && active_runs.front() == kind; }
    // True (after a message) while a run is active: the caller must return.
    bool refuseWhileRunning();
    // Asks every active run to stop at its next test.
    void stopRuns();
    // Esc while abort_enabled: asks "Do you want to abort a process?"; Yes
    // sets abort_requested and gives true (views/mainwindow_mapinteraction.cpp).
    bool askToAbort();

    // ---- Stored operators (engine/mainwindow_operators.cpp): `effects`,
    // `layer_effects` and `alpha_factor` serve only the model whose key they
    // carry.
    // The geometry of a spectral run on the density grid; false when none can run.
    bool modelGeometry(ForwardGeometry& g) const;
    // Bottom of the last layer in the slab effects (the grid's extended bottom).
    double slabEffectsBottom() const;
    // Key of the slab effects of the current layers on g; 0 when the layers
    // do not lie on the density grid.
    quint64 layerEffectsKeyFor(const ForwardGeometry& g) const;
    // Whether each kept value serves the model as it is now.
    bool effectsMatchModel() const;
    bool layerEffectsMatchModel() const;
    bool layerEffectsServe(const ForwardGeometry& g) const;
    bool alphaFactorServes(const ForwardGeometry& g) const;
    // Keeps what still serves the model and drops the rest; called by every
    // command that replaces or reshapes the density grid, the layers or the
    // calculation geometry.
    void dropStaleOperators();
    // Sidecars an open found with the sizes of the model (path, and the key
    // the model had then): not read at the open. The first run that needs
    // the operator (or the slab effects) for that key takes the sidecar
    // after a whole check when that costs less than building them, and
    // builds them otherwise (adoptPendingEffects, adoptPendingLayerEffects,
    // formats/mainwindow_project.cpp); a save takes them the same way, or
    // removes them. Dropped once decided or once the model's key is another
    // (dropStalePendingSidecars).
    QString pending_eff, pending_effh;
    EffectsKey pending_eff_key;
    quint64 pending_effh_key = 0;
    // How a run chooses: weighing the file's reading against a build
    // (Measured), or always reading and checking (Check, as a save does).
    enum class SidecarChoice { Measured, Check };
    SidecarChoice sidecar_choice = SidecarChoice::Measured;
    // True when `effects` were taken; a refusal is told by sidecar_note.
    bool adoptPendingEffects(const ForwardGeometry& g, SidecarChoice choice);
    bool adoptPendingLayerEffects(const ForwardGeometry& g, SidecarChoice choice);
    // What became of the sidecars a run looked at (empty when they were
    // taken or weighed out); shown on the status line at the end of the run
    // (showSidecarNote).
    QString sidecar_note;
    void showSidecarNote();
    // The eff file `effects` were taken from unchanged, with its size and
    // time then: a save to that very file need not write it again.
    QString effects_source;
    qint64 effects_source_size = -1;
    QDateTime effects_source_time;
    EffectsKey effects_source_key;
    void dropStalePendingSidecars();

    // ---- Settings store: QSettings("TOLMERA3D", "Tolmera3D")
    void readSettings();
    void writeSettings();

    // The save of the close handler's Yes answer: true when the project was
    // written. save_before_close, when set, replaces the project save.
    bool saveProjectForClose();
    std::function<bool()> save_before_close;

protected:
    void closeEvent(QCloseEvent* event) override;

signals:
    // Takes the place of the widget's key handler: every key press of the
    // window (and, through eventFilter, of the 3D graph) is emitted here.
    void keyPressEvent(QKeyEvent* event);
    // Asks the machine-learning dialog to run the prediction (emitted by saveMLdata).
    void predictMlDensity();
    // Section data for the vertical-section dialog (connected to its slots of
    // the same names when it opens; the extraction calls the dialog directly).
    void setDensitySlice(std::vector<std::vector<double>>& dens, std::vector<double>& x_coords,
                         std::vector<double>& z_coords);
    void setHorizonsDepths(std::vector<std::vector<double>>& depths, std::vector<double>& x_coords);
    void setVzCalcSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void setVzObsSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void setVzResidSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void plotVzSlices();

public slots:
    // ---- Shell
    bool hasAnyData();
    void clear_all();
    void show_error(QString text);
    void show_message(QString text);
    void update_undo(int type);
    void set_preferences(std::vector<double>& params);

    // ---- Machine-learning density conversion (src/ml/mainwindow_ml.cpp)
    void saveMLdata(bool use_H, bool use_Vp, bool use_Vs, bool use_Idx);
    void loadMlResult();

    // ---- Maps, sections and 3D view services
    void selectedSeriesChanged(QtDataVisualization::QSurface3DSeries* series);
    void selectedPoint(QPoint position);
    void keyPressSlot(QKeyEvent* event);
    void calculatedClicked(QMouseEvent* event);
    void observedClicked(QMouseEvent* event);
    void updateFieldsRatio();
    void colorbarClicked(QMouseEvent* event);
    void observedXchanged(QCPRange range);
    void observedYchanged(QCPRange range);
    void calculatedXchanged(QCPRange range);
    void calculatedYchanged(QCPRange range);
    void set_left_border(int N);
    void set_right_border(int N);
    void set_front_border(int N);
    void set_back_border(int N);
    void set_top_border(int N);
    void set_bottom_border(int N);
    void plotObserved();
    void plotCalculated();
    void show3Dgrid();
    void showHorizons();
    // Draws again what the 3D view shows: the cube (alone or with its
    // horizons) or the horizons alone.
    void redraw3DView();
    void updateAxesTitles();
    void update_normalized_data();
    // View bounds of the 3D view from the window limits, the density grid or
    // the horizons, widened by the faults (src/views/mainwindow_view3d.cpp).
    void updateSurfaceSize();
    // Vertical scale and window limits (src/views/mainwindow_scale.cpp).
    // type 0 "Pixels", 1 "Distance" (see views/scale_rules.h).
    void setScale(int type, double scale);
    void setInitScale(double scale);
    void setWindowSize(std::vector<double>& sz);
    // Colour ranges: empty = automatic (src/views/mainwindow_colors.cpp).
    void autoModelCaxis();
    void manualModelCaxis();
    void setModelCaxis(std::vector<double> caxis);
    void autoObservedCaxis();
    void manualObservedCaxis();
    void setObservedCaxis(std::vector<double> caxis);
    void fitCalcToObsCaxis();
    void autoCalcCaxis();
    void manualCalcCaxis();
    void setCalcCaxis(std::vector<double> caxis);
    void calculatedColorbarClicked(QMouseEvent* event);
    void setEditingParams(double Rx, double Ry, double W, double A);
    void on_observed_axes_customContextMenuRequested(QPoint pos);
    void on_calculated_axes_customContextMenuRequested(QPoint pos);

    // ---- Vertical section (src/views/mainwindow_section.cpp)
    // Samples every loaded data set along the line from (xmin, ymin) to
    // (xmax, ymax) every dxy metres and hands the sections to section_dialog.
    // A line without two samples, a step that is not positive or a line with
    // too many samples is refused with a message and changes nothing.
    void extractHorizontalSlice(double xmin, double xmax, double ymin, double ymax, double dxy);
    // Keeps the dialog's depth-sign choice (section_direction).
    void setVertSliceDir(int dir);

    // ---- Field maps and map interaction (src/views/mainwindow_maps.cpp,
    //      src/views/mainwindow_mapinteraction.cpp)
    void plotEllipse();
    void change_visible_data(QAction* action);
    void updateObservedRatio();
    void updateCalculatedRatio();
    void getSelectedInfo();
    void observedMouseWheel(QWheelEvent* event);
    void calculatedMouseWheel(QWheelEvent* event);
    void showProjectTree();
    // One brush step on the picked horizon node: -1 raises, +1 lowers.
    void editHorizonGauss(int direction);
    // Ends horizon editing (the editing dialog's EditingFinished).
    void offHorizonsEditing();

    // ---- Model files: own cube files and Surfer grids of the section dialog
    // Read or write a "*.3Dgrd" cube with the status-bar progress bar; a failure
    // is shown (show_error) and returns false with the cube, its coordinates
    // and model_bounds unchanged (a failed write leaves any old file in place).
    bool import3Dgrid(const QString& s, vector3D& dens, std::vector<double>& x, std::vector<double>& y,
                      std::vector<double>& z);
    bool export3Dgrid(const QString& s, const vector3D& dens, const std::vector<double>& x_calc,
                      const std::vector<double>& y_calc, const std::vector<double>& z_calc);
    // Writes grd as a Surfer 7 binary grid for the section dialog's export;
    // shows no message: returns why the file was not written, in the
    // program's language, or an empty text when it was.
    QString saveSRF(QString dir, std::vector<std::vector<double>>& grd, std::vector<double>& params);

    // ---- Project file and its sidecars (src/formats/mainwindow_project.cpp)
    // Writes the project and its "eff" and "effh" sidecars; fname gets the
    // ".3Dproj" suffix when it lacks it. 1 all written; 0 the project file was
    // not written (any earlier file stays); -1 the eff sidecar, -2 the effh
    // sidecar could not be written (the project file is complete); -4 no name.
    // Failures are shown.
    int save_project(QString& fname);

    // ---- Faults, profile schemes, BLN polylines (src/formats/mainwindow_faults.cpp)
    // Replace `faults` from a file; true when they were replaced. A refused
    // or failed import keeps the faults as they were (after a message).
    bool import_bln_faults(QString& fname);
    bool import_charisma_faults(QString& fname);
    // Writes one polyline as a BLN file.
    void saveBLN(QString dir, std::vector<double>& x, std::vector<double>& y);

    // ---- Layered model: horizons, layer attributes, grid from layers, layer maps
    void addHorizon(std::vector<std::vector<double>>& horizon, std::vector<double>& params);
    void add_constant_horizon(double depth);
    void addDensitytToLayer(int n, double d);
    void delete_horizon(int i);
    void setHorizonsDensities(std::vector<double> dens);
    void setHorizonsDensities_norecalc(std::vector<double> dens);
    void set_fixed(std::vector<bool> fixed_layers);
    void set_layers_names(std::vector<QString> names);
    void recalc3Dgrid();
    void recalc3Dgrid_lateral();
    void recalcLayerDensity(int n);
    void recalcLayerDensity_const(int n, double d);
    void loadLayerDensity(int n);
    void extract_horizons_lateral_densities();
    std::vector<std::vector<double>> extract_layer_central_density(int n);
    std::vector<std::vector<double>> getVerticalAvgDensity(int n);
    // Densities just above and at or below horizon n; false (with the reason
    // in *error) for a bad index, a horizon outside the model or horizons
    // that do not sit on the grid. Never throws.
    bool collectDensFromHorizon(int n, std::vector<std::vector<float>>& den_top,
                                std::vector<std::vector<float>>& den_bot, QString* error = nullptr);
    // False (after a message) when the maps do not have the grid's rows and columns.
    bool fillDensAfterHorizonChange(std::vector<std::vector<float>>& den_top,
                                    std::vector<std::vector<float>>& den_bot,
                                    std::vector<std::vector<double>>& hor_before,
                                    std::vector<std::vector<double>>& hor_after);
    void fillInvLayerDensityFromHorizons(double z_top, std::vector<std::vector<float>>& dens_layer_real,
                                         std::vector<std::vector<float>>& dens_layer_imag, int Nl, int Ny, int Nx,
                                         int Nfbot, int Nfleft, double bottom);

    // ---- Regridding and regularizer normalisation (src/editing/mainwindow_regrid.cpp,
    //      src/editing/mainwindow_regularizer.cpp)
    // Resamples init_grid in place from the lattice old_params onto new_params
    // (first six values of each, grid_geometry order) by nearest node.
    void regrid2Dgrid(std::vector<std::vector<double>>& init_grid, std::vector<double>& old_params,
                      std::vector<double>& new_params);
    // Brings every horizon onto the density grid's x/y nodes.
    void regridHorizonsToGrid();
    // Restores the raw regularizer from regularizer_scale and
    // regularizer_offsets, removes level means or minima as the checked
    // recalculation mode says, and scales it to a largest magnitude of 1.
    void recalcRegularizer();
    // Regridding onto a new lattice (src/editing/mainwindow_regrid3d.cpp):
    // every loaded cube by a regrid_params record {minX, maxX, dx, minY,
    // maxY, dy, minZ, maxZ, dz}, with the horizons and both fields on the new
    // x/y nodes; the horizons or the observed field alone by a grid_geometry.
    void regrid3Dgrid(std::vector<double> new_params);
    void regridHorizons(std::vector<double> params);
    void regridObserved(std::vector<double> params);
    // Regularizers from the layered model (src/editing/mainwindow_regularizer_build.cpp).
    void createCentralRegularizer(double width);
    void createCentralRegularizerHeights(double width);
    void createHorizonsGradientsRegularizer();

    // ---- New grids, vertical parameters, smoothing (src/editing/mainwindow_gridops.cpp)
    // A new density grid from {minX, maxX, stepX, minY, maxY, stepY, minZ,
    // maxZ, stepZ, minSigma, maxSigma}; empties `effects`, alpha_factor = 0.
    void create_grid(std::vector<double> params);
    // Vertical parameters of the layered model: when valid and changed, the
    // grid is rebuilt from the layers; empties `effects`, alpha_factor = 0.
    void setZparams(double minZ, double maxZ, double dz);
    // Calculation height (calc_height = -height): when it changed, empties
    // `effects` and sets alpha_factor to 0.
    void set_calc_height(double height);
    // Moving averages with a smooth_params record {type, dx, dy, dz, area, layer}.
    void smoothDensity(std::vector<double> params);
    void smoothDensityInLayer(std::vector<double> params);
    void smoothDensityAlongHorizon(std::vector<double> params);

    // ---- Velocity-to-density conversion, grid formula (src/editing/mainwindow_velocity.cpp,
    //      src/editing/mainwindow_formula.cpp)
    // Type codes and the a, b, c texts of the formulas dialog, one per layer.
    void recalc3DgridFormulas(std::vector<int>& types, std::vector<QString>& formulas,
                              std::vector<QString>& formulas_1, std::vector<QString>& formulas_2);
    void convert_vel_to_dens();
    void importlayers_densities(int n);
    void denGridMath(QString formula);

    // ---- Constant-value surface and layer-density map exports (src/formats/mainwindow_exports.cpp)
    // key: 0 density, 1 Vp, 2 Vs, 3 regularizer.
    void export_const_value_surface(double val, int key);
    void export_layers_densities(int n);
    void export_layers_densities_central(int n);
    void export_layers_densities_vert_mean(int n);

    // ---- Engine: memory estimates (src/engine/mainwindow_memory.cpp)
    // True to go on with a spectral run on an Nx x Ny padded grid of Nz levels.
    // When the run's peak need (bytes_per_cell per padded cell, see
    // engine/memory.h) exceeds the memory available, asks "High memory
    // usage..." about that run first and returns false when the answer is No.
    bool check_memory(int Nx, int Ny, int Nz, double bytes_per_cell = 20.0, MemoryRun run = MemoryRun::Inversion);
    // The same for a run that needs `need_bytes` at its peak (the run's need
    // function of engine/memory.h).
    bool check_memory_need(double need_bytes, MemoryRun run);
    // What the forward command's run on geometry g needs (stored or storage
    // off, as store_eff says), in bytes (src/engine/mainwindow_forward.cpp).
    double forwardNeedBytes(const ForwardGeometry& g) const;
    // What horizon fitting on geometry g needs at its peak, in bytes: the
    // operator built once, the passes on it and the redraws after each
    // pass (src/engine/mainwindow_horizonfit.cpp).
    double horizonFitNeedBytes(const ForwardGeometry& g) const;
    // What the window draws again after each pass of horizon fitting, as
    // the views are set now.
    RunRedraw horizonFitRedraw() const;
    // The calculated map, painted again while a run holds its grids (after
    // each iteration of a grid or lateral inversion, each pass of horizon
    // fitting); drawn only while the window is shown.
    RunRedraw calculatedMapRedraw() const;
    // What a grid or lateral inversion of size s with `options` needs at
    // its peak, in bytes, with the map it paints again after each iteration.
    double gridInversionNeedBytes(const RunSize& s, const InversionMemoryOptions& options) const;
    // The memory options of a grid or lateral inversion of `params` on the
    // window as it is now, with the log on or off.
    InversionMemoryOptions inversionMemoryOptions(const std::vector<double>& params, bool log) const;
    // The need in GB of the inversion (of any kind) of `params` on den_grid
    // with expansion_factor, as the run's own check counts it (0 without a grid).
    double inversionNeedGb(const std::vector<double>& params, bool log) const;
    // The same for the record the inversion dialog comes up with
    // (inversion_params, save_log).
    double calcInvMemory();

    // ---- Engine: 3D density inversion (src/engine/mainwindow_inversion.cpp)
    // The run frame of the grid and lateral kinds; the whole run happens inside.
    void start_inversion(std::vector<double> params);
    // The run (only start_inversion calls it).
    void inversion(std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                   std::vector<std::vector<double>>& Vz_observed, vector3D& den_grid,
                   std::vector<double>& inversion_params, QProgressBar& bar, QLabel* lbl);
    // The layered kind (src/engine/mainwindow_layered.cpp): the run frame and the run.
    void start_polygonal_inversion(std::vector<double> params);
    void layered_inversion(std::vector<double>& x, std::vector<double>& y, std::vector<double>& z,
                           std::vector<std::vector<double>>& observed,
                           std::vector<std::vector<std::vector<double>>>& layer_horizons,
                           std::vector<double> layer_densities, std::vector<double>& params);
    // Horizon fitting (src/engine/mainwindow_horizonfit.cpp): the run of the
    // fitting dialog's map {"Niter", "layer", "stepScale"}.
    void fitHorizon(QMap<QString, double>& params);
    // Inversion log and per-iteration files.
    void setLogParams(QString& text, bool save_log);
    void saveInvLog(int n_iter, double rms, double time);
    void saveIntermediateModel(int N_iter, vector3D& current_model, int Nfbot, int Nfleft);

public:
    // ---- Inversion constraints: in-place edits of the run's padded model
    // (real and imaginary levels of My x Mx, the model window at rows py..,
    // columns px..), called by the model-filling stage in this order.
    // See src/engine/mainwindow_constraints.cpp.
    bool build_sign_mask(int source, const vector3D& den_grid, std::vector<unsigned char>& mask);
    void restore_fixed_layers(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& den_grid,
                              const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0,
                              double dz);
    void apply_positive_density(vector3D& re, vector3D& im, int nx, int ny, int px, int py,
                                const vector3D& den_grid, bool positive);
    void blend_initial_model(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& den_grid,
                             vector3D& reference, int type);
    void blend_uploaded_regularizer(vector3D& re, vector3D& im, int nx, int ny, int px, int py,
                                    const vector3D& regularizer, vector3D& reference);
    void apply_density_limits(vector3D& re, int nx, int ny, int px, int py, double lower, double upper);
    void apply_sign_constraint(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& den_grid,
                               const std::vector<unsigned char>& mask, int type);
    void apply_lateral_means(vector3D& re, vector3D& im, int nx, int ny, int px, int py, const vector3D& den_grid,
                             const std::vector<field2D>& horizons, const std::vector<bool>& fixed, double z0,
                             double dz, bool positive);

public slots:

    // ---- Engine: forward calculation (src/engine/mainwindow_forward.cpp)
    // Stored form: reuses `effects` while they belong to the grid's geometry,
    // otherwise rebuilds them. Needs forward_running; false when refused
    // (after a message) or stopped, `result` then holds zeros.
    bool forward3Dgrid_multithread(vector3D& den_grid, std::vector<double>& x, std::vector<double>& y,
                                   std::vector<double>& z, std::vector<std::vector<double>>& result,
                                   QProgressBar& bar);
    // Storage-off form: double precision, keeps nothing.
    bool forward3Dgrid_without_store(vector3D& den_grid, std::vector<double>& x, std::vector<double>& y,
                                     std::vector<double>& z, std::vector<std::vector<double>>& result,
                                     QProgressBar& bar);
    // Rebuilds `effects` (stop flag: inversion_running); false
    // when the memory question (about `run`) was declined, the build stopped
    // or was refused.
    bool calculateEffects(MemoryRun run = MemoryRun::EffectsBuild);

    // ---- Engine: misfit, statistics, alternative forward slots (src/engine/mainwindow_stats.cpp)
    double calc_rms();
    std::vector<double> calcLayerStats(int n);
    void calcHorizonGradient(int n, std::vector<std::vector<double>>& gradient);
    int calcLayerN(int i, int j, double z);
    void calc_gradient_step(vector3D& real_Vz, vector3D& imag_Vz, vector3D& real_den, vector3D& imag_den,
                            vector2D& real_dVz, vector2D& imag_dVz, std::vector<double>& alpha);
    void calc_Vz(vector3D& real_Vz, vector3D& imag_Vz, vector3D& real_den, vector3D& imag_den,
                 vector2D& real_Vz_calc, vector2D& imag_Vz_calc, vector2D& Vz_calc);
    void forward3Dgrid_fast(std::vector<std::vector<std::vector<double>>>& den_grid, std::vector<double>& x,
                            std::vector<double>& y, std::vector<double>& z,
                            std::vector<std::vector<double>>& result, QProgressBar& bar);
    void calc_pillar_effects_fast();

    // ---- Commands of the main form: one slot per action, reached by name
    void on_new_model_triggered();
    void on_open_project_triggered();
    void on_open3Dgrd_triggered();
    void on_open_observed_field_triggered();
    void on_open_horizon_triggered();
    void on_open_vel_vp_triggered();
    void on_open_vel_vs_triggered();
    void on_open_regularizer_triggered();
    void on_save_project_triggered();
    void on_save3Dgrid_triggered();
    void on_save_horizons_triggered();
    void on_save_calc_field_triggered();
    void on_save_deltaVz_triggered();
    void on_save_obs_field_triggered();
    void on_save_3D_vel_grid_triggered();
    void on_save_regularizer_triggered();
    void on_save_as_triggered();
    void on_importXYZDens_triggered();
    void on_import_effects_triggered();
    void on_import_faults_triggered();
    void on_import_profiles_scheme_triggered();
    void on_importTM2Dmodels_triggered();
    void on_import_total_mean_dens_triggered();
    void on_import_layers_mean_dens_triggered();
    void on_export_text_table_triggered();
    void on_export_XYZDens_triggered();
    void on_export_XYZVp_triggered();
    void on_exportYZslices_triggered();
    void on_exportXZslices_triggered();
    void on_ecportXYslices_triggered();
    void on_save_effects_triggered();
    void on_exportVerticalSlice_triggered();
    void on_export_faults_one_file_triggered();
    void on_export_faults_multiple_files_triggered();
    void on_export_total_mean_dens_triggered();
    void on_export_layers_mean_dens_triggered();
    void on_export_const_value_surface_triggered();
    void on_actionUndo_triggered();
    void on_clear_horizons_triggered();
    void on_clear_3D_grid_triggered();
    void on_clear_Vp_triggered();
    void on_clear_regularizer_triggered();
    void on_delete_faults_triggered();
    void on_delete_profiles_scheme_triggered();
    void on_edit_horizons_triggered();
    void on_regrid_horizons_triggered();
    void on_add_constant_horizon_triggered();
    void on_move_horizons_tozero_triggered();
    void on_regrid_triggered();
    void on_move_3Dgrid_tozero_triggered();
    void on_regrid_observed_triggered();
    void on_move_observed_tozero_triggered();
    void on_view_limits_triggered();
    void on_auto_window_size_triggered();
    void on_actionZ_XY_triggered();
    void on_view_cube_triggered();
    void on_view_horizons_triggered();
    void on_view_cube_horizons_triggered();
    void on_view_dens_triggered();
    void on_view_reg_triggered();
    void on_view_Vp_triggered();
    void on_view_Vs_triggered();
    void on_changeView_triggered();
    void on_color_by_depth_triggered();
    void on_color_by_density_triggered();
    void on_common_coloring_level_triggered();
    void on_individual_coloring_level_triggered();
    void on_show_top_triggered();
    void on_maps_equal_xy_triggered();
    void on_view_abs_reg_triggered();
    void on_view_init_reg_triggered();
    void on_view_faults_triggered();
    void on_view_profiles_triggered();
    void on_show_3Daxes_triggered();
    void on_show_mapsAxes_triggered();
    void on_showDock_triggered();
    void on_horizons_table_triggered();
    void on_Create_empty_grid_triggered();
    void on_Zparams_triggered();
    void on_fill_zeros_triggered();
    void on_smooth3Dgrid_triggered();
    void on_formula_triggered();
    void on_vel_dens_triggered();
    void on_gardner_formula_triggered();
    void on_inverse_gardner_formula_triggered();
    void on_delete_min_triggered();
    void on_delete_mean_triggered();
    void on_calc_means_triggered();
    void on_substract_cube_triggered();
    void on_add_cube_triggered();
    void on_multiply_cube_triggered();
    void on_divide_cube_triggered();
    void on_add_means_triggered();
    void on_x_gradient_triggered();
    void on_y_gradient_triggered();
    void on_vertical_gradient_triggered();
    void on_horizontal_gradient_triggered();
    void on_full_gradient_triggered();
    void on_ML_density_conversion_triggered();
    void on_density_stats_triggered();
    void on_forward_grid_triggered();
    void on_inversion_triggered();
    void on_horizonInversion_triggered();
    void on_centralRegularizer_triggered();
    void on_centralRegularizerOnHeights_triggered();
    void on_horizonsBasedRegularizer_triggered();
    void on_reg_not_recalc_triggered();
    void on_reg_del_means_triggered();
    void on_reg_del_mins_triggered();
    void on_Customize_triggered();
    void on_manual_triggered();
    void on_about_programm_triggered();

private slots:
    // 0 Russian, 1 English; any other value is only stored.
    void setLanguage(int lang);

public:
    // ================= Project data model =================
    // Project identity and settings
    int project_version = 2;
    QString project_path;
    QString project_name;
    int language = 0;
    std::vector<double> preferences{1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    int thread_count = 1;
    bool store_eff = false;
    double expansion_factor = 0;
    int modelScaleDirection = 0;
    int mapsScaleDirection = 0;

    // Density model and its grid
    vector3D den_grid;
    std::vector<double> x_calc, y_calc, z_calc;
    std::array<double, 6> model_bounds{};  // x first, x last, y first, y last, z first, z last
    double minZ = 0, maxZ = 0, dz = 0;
    double calc_height = 0;  // z of the calculation level (height above zero depth, negated)

    // Other cubes
    vector3D Vp_grid, Vs_grid;
    std::vector<double> x_vp, y_vp, z_vp;
    std::vector<double> x_vs, y_vs, z_vs;
    vector3D regularizer;
    std::vector<double> x_reg, y_reg, z_reg;
    std::vector<double> regularizer_offsets;
    double regularizer_scale = 1;
    // The values the regularizer was last read from a file, kept so that a
    // save writes them back exactly; empty once it is built, resampled or cleared.
    vector3D regularizer_read;
    double central_reg_width = 0.5;
    std::vector<double> layer_means;

    // Layer model
    std::vector<field2D> horizons;           // [horizon][row][column], m
    std::vector<double> horizons_params;     // surfer_grid_params
    std::vector<double> densities;
    std::vector<bool> fixed;
    std::vector<QString> layers_names;
    std::vector<field2D> lateral_densities;  // [layer][row][column]

    // Fields
    field2D Vz_observed;
    std::vector<double> observed_params;
    field2D Vz_calculated;
    std::vector<double> calculated_params;

    // Engine state
    EffectsOperator effects;
    std::vector<field2D> layer_effects;      // [layer][row][column]
    // What layer_effects were computed for (layer_effects_key of
    // engine/layered_inversion.h); 0 when none.
    quint64 layer_effects_key = 0;
    double alpha_factor = 0;
    quint64 alpha_key = 0;  // what alpha_factor was fitted for (alpha_factor_key); 0 when none
    std::vector<double> inversion_params{100, 0.1, 0, 1, 0, 0.02, 0, 0};
    QString log_dir;
    bool save_log = true;
    QMap<QString, double> horizon_fit_params;
    bool inversion_running = false;
    bool forward_running = false;
    bool abort_enabled = false;
    bool abort_requested = false;
    // How long a user formula runs before the program asks whether to go on
    // (milliseconds; the question comes again after each further period).
    qint64 formula_time_limit_ms = 60000;

    // Faults, profiles and remembered dialog contents
    FaultSet faults;
    std::vector<std::vector<double>> profiles_scheme;  // interleaved x, y per polyline
    FormulaSet formulas;
    std::vector<double> smooth_params;
    std::vector<double> horizon_edit_params{100, 100, 0.5, 10};  // Rx, Ry, W, A
    std::vector<UndoRecord> undo_stack;

    // View state
    std::vector<double> x_norm, y_norm, z_norm;
    NormFactors norm_factors;
    vector3D* shown_cube = nullptr;
    std::vector<double> shown_x, shown_y, shown_z;
    std::array<int, 6> crop_borders{{-1, -1, -1, -1, -1, -1}};  // left, right, front, back, top, bottom
    std::vector<double> window_limits;
    std::vector<double> model_caxis, observed_caxis, calc_caxis;
    bool model_caxis_density = false;  // model_caxis was set while the colour bar showed densities
    bool calc_caxis_from_obs = true;
    QCPColorGradient maps_gradient{QCPColorGradient::gpJet};
    QCPColorGradient cube_gradient{QCPColorGradient::gpJet};
    std::pair<int, int> visible_data{1, 1};
    std::vector<double> calculated_map_params;  // node geometry of what the calculated map shows
    int selected_row = -1, selected_column = -1, selected_horizon = -1;
    double clicked_x = 0, clicked_y = 0;
    bool syncing_map_ranges = false;  // a range change is being copied to the other map
    int z_scale_type = 0;  // scale type of the 3D view: 0 "Pixels", 1 "Distance"
    bool horizons_over_cube = false;
    std::vector<double> section_line;
    int section_direction = 0;
    HorizontalSliceDialog* section_dialog = nullptr;
    HorizonsEditingDialog* horizons_editing_dialog = nullptr;

    // ================= Window objects =================
    MainWindowForm* ui = nullptr;
    Surf* surf = nullptr;  // never null; without an OpenGL context it wraps no graph
    QtDataVisualization::Q3DSurface* graph = nullptr;  // null without an OpenGL context
    QWidget* graph_container = nullptr;
    QLabel* progress_label = nullptr;
    QProgressBar progress_bar;
    QLabel* misfit_label = nullptr;
    QCPColorScale* observed_scale = nullptr;
    QCPColorScale* calculated_scale = nullptr;
    QCPColorScale* model_scale = nullptr;

private:
    // Construction seams: each step of building the window is one function.
    void createGraph();
    void createStatusBar();
    void createColorScales();
    void makeConnections();

    // Long runs (app/mainwindow_run.cpp)
    void createDataActionGroup();
    void applyRunActionStates();
    void finishPendingClose();

    // The density grid rebuilt from the layers with these vertical
    // parameters (editing/mainwindow_layers.cpp): on success the grid and
    // the parameters it replaces go to the undo history, and the parameters
    // used (defaults included) become minZ, maxZ, dz; false, after a
    // message, with the model as it was, when no grid can be built.
    bool rebuildFromLayers(double min_z, double max_z, double step);
    // Esc from any of the window's windows reaches askToAbort while `on`
    // (views/abort_key_filter.h); set with abort_enabled.
    void listenForAbortKey(bool on);
    AbortKeyFilter* abort_key_filter = nullptr;
    std::vector<RunKind> active_runs;        // outermost first
    QActionGroup* data_actions = nullptr;    // commands disabled while a run is active
    int pending_close = 0;                   // close requested during a run (see closeEvent)
    bool close_confirmed = false;            // the next closeEvent accepts without asking
};
