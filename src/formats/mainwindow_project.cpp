// The project file commands: open, save and save as, the project writer with
// its two sidecars, and the save of the close question's Yes answer.
//
// A project is read completely (file and sidecars) into a staging record
// before anything of the open project changes, so a damaged or newer file
// leaves the project, its path and the window title as they were.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/status_text.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/regularizer.h"
#include "engine/forward.h"
#include "engine/layered_inversion.h"
#include "engine/memory.h"
#include "formats/effects_file.h"
#include "formats/fault_commands.h"
#include "formats/file_io.h"
#include "formats/file_commands.h"
#include "formats/progress_bar_scope.h"
#include "formats/project_file.h"
#include "views/surf.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QLabel>

#include <utility>

namespace {

QString projectFilter() { return QStringLiteral("*.3Dproj"); }

void setLabel(MainWindow& w, const QString& text)
{
    if (w.progress_label)
        w.progress_label->setText(text);
}

// The rows and columns the layered inversion's slab effects have for a model:
// those of the density grid's levels, or of the horizons without a grid.
std::pair<std::size_t, std::size_t> layerEffectsShape(const std::vector<field2D>& horizons, const vector3D& grid)
{
    if (cube_is_regular(grid))
        return {grid.front().size(), grid.front().front().size()};
    if (horizons_are_regular(horizons))
        return {horizons.front().size(), horizons.front().front().size()};
    return {0, 0};
}

// Removes a sidecar left from an earlier save; false when it is still there.
bool removeStale(const QString& path)
{
    if (QFile::exists(path))
        QFile::remove(path);
    return !QFile::exists(path);
}

QString staleText(int language, const QString& path)
{
    return byLanguage(language, "Не удалось удалить устаревший файл \"%1\"", "Can't remove the outdated file \"%1\"")
        .arg(QDir::toNativeSeparators(path));
}

// While it lives, the project's data sets are moved into `d` (swapped, so no
// grid is copied); they go back when it ends. The regularizer is written
// in the units it was loaded in (the very values read, while it still derives
// from them), so the one in memory never changes.
class LentProject
{
public:
    LentProject(MainWindow& w, ProjectData& d) : w_(w), d_(d)
    {
        swapAll();
        d.expansion_factor = w.expansion_factor;
        d.calc_level = w.calc_height;
        d.has_calc_level = true;
        if (!w.regularizer.empty()) {
            d.regularizer.cells = regularizers::regularizer_for_file(w.regularizer, w.regularizer_offsets,
                                                                     w.regularizer_scale, w.regularizer_read);
            d.regularizer.x = w.x_reg;
            d.regularizer.y = w.y_reg;
            d.regularizer.z = w.z_reg;
        }
        if (!w.faults.empty())
            d.faults = fault_sticks_of(w.faults);
        // A calculated field whose node geometry is unknown cannot be
        // described in the file; it stays out (it can be calculated again).
        const field2D& calc = w.Vz_calculated;
        if (!calc.empty() && !calc.front().empty()) {
            std::vector<double> geometry =
                w.calculated_params.size() >= 6
                    ? w.calculated_params
                    : map_geometry(calc.size(), calc.front().size(), d.density.x, d.density.y, {d.observed_params});
            if (geometry.size() >= 6) {
                std::swap(w.Vz_calculated, d.calculated);
                d.calculated_params.assign(geometry.begin(), geometry.begin() + 6);
                calculated_lent_ = true;
            }
        }
    }
    ~LentProject()
    {
        swapAll();
        if (calculated_lent_)
            std::swap(w_.Vz_calculated, d_.calculated);
    }
    LentProject(const LentProject&) = delete;
    LentProject& operator=(const LentProject&) = delete;

private:
    void swapAll()
    {
        using std::swap;
        swap(w_.den_grid, d_.density.cells);
        swap(w_.x_calc, d_.density.x);
        swap(w_.y_calc, d_.density.y);
        swap(w_.z_calc, d_.density.z);
        swap(w_.horizons, d_.horizons);
        swap(w_.horizons_params, d_.horizons_params);
        swap(w_.densities, d_.densities);
        swap(w_.layers_names, d_.layers_names);
        swap(w_.fixed, d_.fixed);
        swap(w_.Vp_grid, d_.vp.cells);
        swap(w_.x_vp, d_.vp.x);
        swap(w_.y_vp, d_.vp.y);
        swap(w_.z_vp, d_.vp.z);
        swap(w_.Vs_grid, d_.vs.cells);
        swap(w_.x_vs, d_.vs.x);
        swap(w_.y_vs, d_.vs.y);
        swap(w_.z_vs, d_.vs.z);
        swap(w_.profiles_scheme, d_.profiles);
        swap(w_.Vz_observed, d_.observed);
        swap(w_.observed_params, d_.observed_params);
    }

    MainWindow& w_;
    ProjectData& d_;
    bool calculated_lent_ = false;
};

QString saveLabel(int tag, int language)
{
    switch (tag) {
    case project_tag_density: return byLanguage(language, "Сохранение плотностной модели", "Save density grid");
    case project_tag_horizons: return byLanguage(language, "Сохранение горизонтов", "Save horizons");
    case project_tag_vp: return byLanguage(language, "Сохранение модели Vp", "Save Vp grid");
    case project_tag_vs: return byLanguage(language, "Сохранение модели Vs", "Save Vs grid");
    case project_tag_regularizer: return byLanguage(language, "Сохранение регуляризатора", "Save Regularizer grid");
    default: return QString();
    }
}

QString openLabel(int tag, int language)
{
    switch (tag) {
    case project_tag_density: return byLanguage(language, "Загрузка плотностной модели", "Import density");
    case project_tag_vp: return byLanguage(language, "Загрузка модели Vp", "Import Vp");
    case project_tag_vs: return byLanguage(language, "Загрузка модели Vs", "Import Vs");
    case project_tag_regularizer: return byLanguage(language, "Загрузка регуляризатора", "Import Reg");
    case project_tag_profiles: return byLanguage(language, "Загрузка cхемы профилей", "Import profiles scheme");
    case project_tag_faults: return byLanguage(language, "Загрузка разломов", "Import faults");
    default: return QString();
    }
}

void setTitle(MainWindow& w)
{
    w.setWindowTitle(QStringLiteral("Tolmera3D ") + w.project_name);
}

// How an open treated a sidecar.
enum class SidecarUse { Absent, Read, NotRegular };

// What the status line says after an open that did not take the sidecars
// found (Read but not taken, or not regular files); empty when all were taken.
QString refusedSidecarsText(int language, const QString& eff, SidecarUse eff_use, const QString& effh,
                            SidecarUse effh_use)
{
    QStringList parts;
    if (eff_use != SidecarUse::Absent)
        parts << (eff_use == SidecarUse::NotRegular
                      ? byLanguage(language,
                                   "Оператор прямой задачи \"%1\" не является обычным файлом и не используется; "
                                   "он будет рассчитан при необходимости",
                                   "The forward operator \"%1\" is not a regular file and is not used; "
                                   "it will be calculated when needed")
                      : byLanguage(language,
                                   "Оператор прямой задачи \"%1\" отличается от рассчитанного для этой модели и не "
                                   "используется; он будет рассчитан при необходимости",
                                   "The forward operator \"%1\" differs from the one built for this model and is "
                                   "not used; it will be calculated when needed"))
                     .arg(QFileInfo(eff).fileName());
    if (effh_use != SidecarUse::Absent)
        parts << (effh_use == SidecarUse::NotRegular
                      ? byLanguage(language,
                                   "Эффекты слоев \"%1\" не являются обычным файлом и не используются; "
                                   "они будут рассчитаны при необходимости",
                                   "The layer effects \"%1\" are not a regular file and are not used; "
                                   "they will be calculated when needed")
                      : byLanguage(language,
                                   "Эффекты слоев \"%1\" отличаются от рассчитанных для этой модели и не "
                                   "используются; они будут рассчитаны при необходимости",
                                   "The layer effects \"%1\" differ from the ones built for this model and are "
                                   "not used; they will be calculated when needed"))
                     .arg(QFileInfo(effh).fileName());
    return parts.join(QStringLiteral(". "));
}

// How a sidecar at `path` is to be treated: only a regular file is opened
// (a pipe or device named like one would block the open or never end).
SidecarUse sidecarUse(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return SidecarUse::Absent;
    return info.isFile() ? SidecarUse::Read : SidecarUse::NotRegular;
}

// The status line after an open whose profiles block held a coordinate
// beyond the limit: the scheme was dropped, the rest of the project opened.
QString droppedProfilesText(int language, double value)
{
    return byLanguage(language, "Схема профилей не загружена: %1", "The profiles scheme is not loaded: %1")
        .arg(language == 0 ? codec_io::coordinate_refusal(value, 0) : codec_io::coordinate_refusal(value, 1, true));
}

QString savedText(int language)
{
    return byLanguage(language, "Проект успешно сохранен", "Project has been saved successfully");
}

// File > Save: the current path, asked for once when there is none. The
// result of save_project, or 0 when nothing was chosen.
int saveToProjectPath(MainWindow& w)
{
    const bool asked = w.project_path.isEmpty();
    if (asked)
        w.project_path = project_file_name(
            interaction()->saveFileName(&w, QStringLiteral("Save file"), QString(), projectFilter()));
    if (w.project_path.isEmpty()) {
        w.project_name.clear();
        return 0;
    }
    const int result = w.save_project(w.project_path);
    if (result == 0 && asked) {
        // Nothing was written: the project keeps having no file.
        w.project_path.clear();
        return result;
    }
    w.project_name = project_display_name(w.project_path);
    setTitle(w);
    if (result == 1)
        w.show_message(savedText(w.language));
    return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Conversions between the window's faults and the codecs' fault sticks

FaultSticks fault_sticks_of(const FaultSet& faults)
{
    FaultSticks out;
    out.names = faults.names;
    out.inlines = faults.inlines;
    out.crosslines = faults.crosslines;
    out.inline_type = faults.inline_type;
    out.sticks.resize(faults.sticks.size());
    for (std::size_t f = 0; f < faults.sticks.size(); ++f) {
        out.sticks[f].resize(faults.sticks[f].size());
        for (std::size_t s = 0; s < faults.sticks[f].size(); ++s)
            for (const QVector3D& p : faults.sticks[f][s])
                out.sticks[f][s].push_back(FaultPoint{p.x(), p.y(), p.z()});
    }
    return out;
}

FaultSet fault_set_of(FaultSticks sticks)
{
    FaultSet out;
    out.names = std::move(sticks.names);
    out.inlines = std::move(sticks.inlines);
    out.crosslines = std::move(sticks.crosslines);
    out.inline_type = sticks.inline_type;
    out.sticks.resize(sticks.sticks.size());
    for (std::size_t f = 0; f < sticks.sticks.size(); ++f) {
        out.sticks[f].resize(sticks.sticks[f].size());
        for (std::size_t s = 0; s < sticks.sticks[f].size(); ++s)
            for (const FaultPoint& p : sticks.sticks[f][s])
                out.sticks[f][s].push_back(QVector3D(p.x, p.y, p.z));
    }
    // One name and one number per point whatever the source held.
    out.names.resize(out.sticks.size());
    out.inlines.resize(out.sticks.size());
    out.crosslines.resize(out.sticks.size());
    for (std::size_t f = 0; f < out.sticks.size(); ++f) {
        out.inlines[f].resize(out.sticks[f].size());
        out.crosslines[f].resize(out.sticks[f].size());
        for (std::size_t s = 0; s < out.sticks[f].size(); ++s) {
            out.inlines[f][s].resize(out.sticks[f][s].size(), 0);
            out.crosslines[f][s].resize(out.sticks[f][s].size(), 0);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Writing

int MainWindow::save_project(QString& fname)
{
    if (fname.isEmpty())
        return -4;
    fname = project_file_name(fname);
    RunGuard run(this, RunKind::FileWrite);
    if (!run)
        return 0;
    StatusTextKeeper status_text(progress_label);  // the grid size comes back after the save's texts

    if (!den_grid.empty() && !x_calc.empty() && !y_calc.empty() && !z_calc.empty())
        model_bounds = {{x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back(), z_calc.front(), z_calc.back()}};

    CodecStatus status;
    {
        ProjectData data;
        LentProject lent(*this, data);
        ProgressBarScope progress(&progress_bar, false);
        const int lang = language;
        status = write_project_file(fname, data, progress.callback(), [this, lang](int tag) {
            const QString text = saveLabel(tag, lang);
            if (!text.isEmpty()) {
                setLabel(*this, text);
                progress_bar.setValue(0);
            }
        });
    }
    if (!status) {
        progress_bar.hide();
        if (status.code() != CodecError::Cancelled)
            show_error(file_failure_text(fname, status, language, true));
        return 0;
    }

    int result = 1;
    // The sidecars hold the stored operators only when their keys are those
    // of the model saved; a sidecar of an earlier save that no longer fits is
    // removed, so a reopened project never takes an operator of another model.
    // A sidecar the open found, not yet compared with a built operator and
    // still of the model's key, stays where it is when the project is saved
    // over itself: it may be the model's own.
    dropStalePendingSidecars();
    auto pending_kept = [this](const QString& sidecar) {
        return !sidecar.isEmpty() && (sidecar == pending_eff || sidecar == pending_effh);
    };
    const QString eff = project_sidecar_path(fname, QStringLiteral("eff"));
    if (effectsMatchModel()) {
        setLabel(*this, byLanguage(language, "Сохранение эффектов", "Saving forward operator"));
        ProgressBarScope progress(&progress_bar, false);
        status = write_effects_file(eff, effects, EffectsImaginary::Zero, progress.callback());
        if (!status) {
            show_error(file_failure_text(eff, status, language, true));
            removeStale(eff);
            result = -1;
        }
    } else if (!pending_kept(eff) && !removeStale(eff)) {
        show_error(staleText(language, eff));
        result = -1;
    }

    const QString effh = project_sidecar_path(fname, QStringLiteral("effh"));
    if (layerEffectsMatchModel()) {
        setLabel(*this, QStringLiteral("Saving forward operator"));
        ProgressBarScope progress(&progress_bar, false);
        status = write_layer_effects_sidecar(effh, layer_effects, progress.callback());
        if (!status) {
            show_error(file_failure_text(effh, status, language, true));
            removeStale(effh);
            if (result == 1)
                result = -2;
        }
    } else if (!pending_kept(effh) && !removeStale(effh)) {
        show_error(staleText(language, effh));
        if (result == 1)
            result = -2;
    }

    progress_bar.hide();
    return result;
}

void MainWindow::on_save_project_triggered()
{
    saveToProjectPath(*this);
}

void MainWindow::on_save_as_triggered()
{
    QString path =
        project_file_name(interaction()->saveFileName(this, QStringLiteral("Save file"), QString(), projectFilter()));
    if (path.isEmpty())
        return;
    const int result = save_project(path);
    if (result == 0)
        return;
    project_path = path;
    project_name = project_display_name(path);
    setTitle(*this);
    if (result == 1)
        show_message(savedText(language));
}

bool MainWindow::saveProjectForClose()
{
    const int result = saveToProjectPath(*this);
    // The project file itself is what the answer asked for.
    return result == 1 || result == -1 || result == -2;
}

// ---------------------------------------------------------------------------
// Reading

void MainWindow::checkPendingSidecars()
{
    dropStalePendingSidecars();
    ForwardGeometry g;
    if ((pending_eff.isEmpty() && pending_effh.isEmpty()) || !modelGeometry(g))
        return;
    // Only what a run built is compared; the file is read whole beside it,
    // so a file the memory available now can't hold beside the run's data
    // stays pending until a later run finds the room.
    const QString eff = pending_eff, effh = pending_effh;
    const auto room_for = [](const QString& path) {
        const SystemMemory memory = memory_figures();
        return memory.available_bytes == 0
               || 1.25 * double(QFileInfo(path).size()) < double(memory.available_bytes);
    };
    SidecarUse eff_use = SidecarUse::Absent, effh_use = SidecarUse::Absent;
    if (!eff.isEmpty() && effects_fit(effects, g) && room_for(eff)) {
        EffectsOperator held;
        if (!read_effects_sidecar(eff, g.Mx, g.My, g.nz, held).ok() || !effects_agree(held, effects))
            eff_use = SidecarUse::Read;
        pending_eff.clear();
        pending_eff_key = EffectsKey();
    }
    if (!effh.isEmpty() && layerEffectsServe(g) && room_for(effh)) {
        std::vector<field2D> held;
        if (!read_layer_effects_sidecar(effh, g.nx, g.ny, int(horizons.size()), held).ok()
            || !layer_effects_agree(held, layer_effects))
            effh_use = SidecarUse::Read;
        pending_effh.clear();
        pending_effh_key = 0;
    }
    const QString refused = refusedSidecarsText(language, eff, eff_use, effh, effh_use);
    if (!refused.isEmpty())
        setLabel(*this, refused);
}

void MainWindow::on_open_project_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(), projectFilter());
    if (path.isEmpty())
        return;
    {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly)) {
            show_error(QStringLiteral("Can't read file"));
            return;
        }
    }

    // Everything is read before anything of the open project changes.
    ProjectData data;
    const QString eff = project_sidecar_path(path, QStringLiteral("eff"));
    const QString effh = project_sidecar_path(path, QStringLiteral("effh"));
    {
        RunGuard run(this, RunKind::FileRead);
        if (!run)
            return;
        const QString previous_label = progress_label ? progress_label->text() : QString();
        CodecStatus status;
        {
            ProgressBarScope progress(&progress_bar);
            const int lang = language;
            status = read_project_file(path, data, progress.callback(), [this, lang](int tag) {
                const QString text = openLabel(tag, lang);
                if (!text.isEmpty())
                    setLabel(*this, text);
            });
        }
        if (!status) {
            setLabel(*this, previous_label);
            if (status.code() == CodecError::Unsupported)
                show_error(project_version_error_message());
            else if (status.code() != CodecError::Cancelled)
                show_error(file_failure_text(path, status, language, false));
            return;
        }
    }

    // Replace the project as a whole. The undo snapshots belong to the
    // project replaced: none of them may come back into this one.
    clear_all();
    undo_stack.clear();
    surf->clearSurfaces();
    surf->clearFaults();
    // Operators of the model that was open are gone.
    effects.clear();
    std::vector<field2D>().swap(layer_effects);
    layer_effects_key = 0;
    alpha_factor = 0;
    alpha_key = 0;

    if (!data.density.empty()) {
        ProjectCube& c = data.density;
        den_grid = std::move(c.cells);
        x_calc = c.x;
        y_calc = c.y;
        z_calc = c.z;
        x_norm = std::move(c.x);
        y_norm = std::move(c.y);
        z_norm = std::move(c.z);
        model_bounds = {{x_calc.front(), x_calc.back(), y_calc.front(), y_calc.back(), z_calc.front(), z_calc.back()}};
        // The vertical parameters are those of the grid read, whatever the
        // window held before: a grid of one level has no step, so dz is 0,
        // as in a new window (a rebuild from the layers then takes its
        // defaults from the deepest horizon).
        minZ = z_calc.front();
        maxZ = z_calc.back();
        dz = node_step(z_calc);
        expansion_factor = data.expansion_factor;
        if (preferences.size() > 5)
            preferences[5] = expansion_factor;
        norm_factors = NormFactors();
        const int nx = int(den_grid.front().front().size()), ny = int(den_grid.front().size()),
                  nz = int(den_grid.size());
        crop_borders = {{0, nx - 1, ny - 1, 0, 0, nz - 1}};
        surf->texture_min = grid_min(den_grid);
        surf->texture_max = grid_max(den_grid);
    }
    horizons = std::move(data.horizons);
    horizons_params = std::move(data.horizons_params);
    densities = std::move(data.densities);
    layers_names = std::move(data.layers_names);
    fixed = std::move(data.fixed);
    Vz_observed = std::move(data.observed);
    observed_params = std::move(data.observed_params);
    Vz_calculated = std::move(data.calculated);
    calculated_params = std::move(data.calculated_params);
    Vp_grid = std::move(data.vp.cells);
    x_vp = std::move(data.vp.x);
    y_vp = std::move(data.vp.y);
    z_vp = std::move(data.vp.z);
    Vs_grid = std::move(data.vs.cells);
    x_vs = std::move(data.vs.x);
    y_vs = std::move(data.vs.y);
    z_vs = std::move(data.vs.z);
    if (!data.regularizer.empty()) {
        // The file holds the regularizer as loaded; normalise it again, and
        // keep the values read for the next save.
        regularizer_scale = 1;
        regularizer_offsets.clear();
        regularizer_read = data.regularizer.cells;
        regularizer = std::move(data.regularizer.cells);
        x_reg = std::move(data.regularizer.x);
        y_reg = std::move(data.regularizer.y);
        z_reg = std::move(data.regularizer.z);
        recalcRegularizer();
    }
    profiles_scheme = std::move(data.profiles);
    if (!data.faults.empty()) {
        faults = fault_set_of(std::move(data.faults));
        surf->addFaults(faults.sticks, faults.names);
    }
    if (data.has_calc_level)
        calc_height = data.calc_level;
    // Sidecars are used only when they are the operators of the model read:
    // one with the model's sizes waits (not read) for the first run that
    // builds the operator, which compares the two (checkPendingSidecars); a
    // missing one is skipped, one that is not a regular file is not opened,
    // and one of other sizes is refused at once. The runs build what they
    // need either way.
    SidecarUse eff_use = SidecarUse::Absent, effh_use = SidecarUse::Absent;
    ForwardGeometry g;
    if (modelGeometry(g)) {
        eff_use = sidecarUse(eff);
        if (eff_use == SidecarUse::Read
            && check_sidecar_shape(eff, g.Mx, g.My, g.nz, SidecarKind::Effects).ok()) {
            pending_eff = eff;
            pending_eff_key = g.key();
            eff_use = SidecarUse::Absent;
        }
        const auto [rows, columns] = layerEffectsShape(horizons, den_grid);
        if (!horizons.empty() && rows > 0)
            effh_use = sidecarUse(effh);
        const quint64 key = layerEffectsKeyFor(g);
        if (effh_use == SidecarUse::Read && key != 0
            && check_sidecar_shape(effh, int(columns), int(rows), int(horizons.size()), SidecarKind::LayerEffects)
                   .ok()) {
            pending_effh = effh;
            pending_effh_key = key;
            effh_use = SidecarUse::Absent;
        }
    }
    QString refused = refusedSidecarsText(language, eff, eff_use, effh, effh_use);
    if (data.profiles_dropped)
        refused = refused.isEmpty() ? droppedProfilesText(language, data.profiles_far_value)
                                    : droppedProfilesText(language, data.profiles_far_value) + ". " + refused;

    setLabel(*this, QString());
    updateAxesTitles();
    project_path = path;
    project_name = project_display_name(path);
    setTitle(*this);
    progress_bar.hide();

    if (!ui->view_cube->isChecked() && !ui->view_cube_horizons->isChecked())
        showHorizons();
    else if (!den_grid.empty())
        on_view_dens_triggered();
    else if (!Vp_grid.empty())
        on_view_Vp_triggered();
    else if (!Vs_grid.empty())
        on_view_Vs_triggered();
    else if (!regularizer.empty())
        on_view_reg_triggered();
    if (!faults.empty()) {
        // Also without a cube or horizons the view takes the faults in.
        updateSurfaceSize();
        surf->updateAxesRanges();
    }
    plotObserved();
    plotCalculated();
    ui->view_faults->setEnabled(!faults.empty());
    ui->view_profiles->setEnabled(!profiles_scheme.empty());
    // The status line tells of a sidecar that was there but not taken (after
    // the redraw, which shows the grid size there).
    if (!refused.isEmpty())
        setLabel(*this, refused);
}
