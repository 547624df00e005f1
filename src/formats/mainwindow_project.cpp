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
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QLabel>

#include <optional>
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

// What became of a sidecar that was not taken.
enum class SidecarFate { Missing, NotRegular, OtherSizes, Unreadable, Differs };

// The status note of a sidecar not taken: what happened, in the past.
QString sidecarNote(int language, bool layers, const QString& path, SidecarFate fate)
{
    QString why;
    switch (fate) {
    case SidecarFate::Missing: why = byLanguage(language, "файла нет", "the file is missing"); break;
    case SidecarFate::NotRegular: why = byLanguage(language, "это не обычный файл", "it is not a regular file"); break;
    case SidecarFate::OtherSizes:
        why = byLanguage(language, "его размеры не те, что у модели", "it holds other sizes than the model's");
        break;
    case SidecarFate::Unreadable: why = byLanguage(language, "он не прочитан", "it could not be read"); break;
    case SidecarFate::Differs:
        why = layers ? byLanguage(language, "они отличаются от эффектов слоев этой модели",
                                  "they differ from this model's layer effects")
                     : byLanguage(language, "он отличается от оператора этой модели",
                                  "it differs from this model's operator");
        break;
    }
    if (layers && fate != SidecarFate::Differs && fate != SidecarFate::Missing && fate != SidecarFate::NotRegular)
        why = fate == SidecarFate::OtherSizes
                  ? byLanguage(language, "их размеры не те, что у модели", "they hold other sizes than the model's")
                  : byLanguage(language, "они не прочитаны", "they could not be read");
    const QString name = QFileInfo(path).fileName();
    return (layers ? byLanguage(language, "Эффекты слоев \"%1\" не используются: %2",
                                "The layer effects \"%1\" are not used: %2")
                   : byLanguage(language, "Оператор прямой задачи \"%1\" не используется: %2",
                                "The forward operator \"%1\" is not used: %2"))
        .arg(name, why);
}

// The fate a reader's failure tells.
SidecarFate fateOf(const CodecStatus& status)
{
    switch (status.code()) {
    case CodecError::BadHeader:
    case CodecError::Truncated: return SidecarFate::OtherSizes;
    case CodecError::UnknownFormat:
    case CodecError::BadValue: return SidecarFate::Differs;
    default: return SidecarFate::Unreadable;
    }
}

void addNote(QString& notes, const QString& note)
{
    notes = notes.isEmpty() ? note : notes + QStringLiteral(". ") + note;
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

// True when the sidecar at `path` is a regular file a run may read;
// otherwise what happened is added to `notes`.
bool sidecarThere(QString& notes, int language, bool layers, const QString& path)
{
    const SidecarUse use = sidecarUse(path);
    if (use != SidecarUse::Read)
        addNote(notes, sidecarNote(language, layers, path,
                                   use == SidecarUse::Absent ? SidecarFate::Missing : SidecarFate::NotRegular));
    return use == SidecarUse::Read;
}

// The note of a removed sidecar that no longer belonged to the project saved.
QString removedNote(int language, const QString& path)
{
    return byLanguage(language, "Удален файл \"%1\": он не относится к сохраненной модели",
                      "Removed \"%1\": it does not belong to the model saved")
        .arg(QFileInfo(path).fileName());
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
    // The grid size comes back after the save's texts.
    std::optional<StatusTextKeeper> status_text(std::in_place, progress_label);

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
    // Whatever lies beside the project under its sidecar names is the
    // model's own: the operators held for the model (a sidecar the open
    // found is checked and taken first), or nothing. A file that is not the
    // model's is removed, and the status line says so.
    ForwardGeometry g;
    const bool model = modelGeometry(g);
    if (model) {
        adoptPendingEffects(g, SidecarChoice::Check);
        adoptPendingLayerEffects(g, SidecarChoice::Check);
    }
    QString notes = sidecar_note;
    sidecar_note.clear();
    auto removeOther = [&](const QString& path) {
        const bool there = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
        if (!removeStale(path))
            return false;
        if (there)
            addNote(notes, removedNote(language, path));
        return true;
    };
    const QString eff = project_sidecar_path(fname, QStringLiteral("eff"));
    if (effectsMatchModel()) {
        // The file the operator was taken from, unchanged since, is kept.
        const QFileInfo source(eff);
        const bool kept = effects_source == eff && effects_source_key == effects.key && source.isFile()
                          && source.size() == effects_source_size && source.lastModified() == effects_source_time;
        if (!kept) {
            setLabel(*this, byLanguage(language, "Сохранение эффектов", "Saving forward operator"));
            ProgressBarScope progress(&progress_bar, false);
            status = write_effects_file(eff, effects, EffectsImaginary::Zero, progress.callback());
            if (!status) {
                show_error(file_failure_text(eff, status, language, true));
                removeStale(eff);
                effects_source.clear();
                result = -1;
            } else {
                const QFileInfo written(eff);
                effects_source = eff;
                effects_source_size = written.size();
                effects_source_time = written.lastModified();
                effects_source_key = effects.key;
            }
        }
    } else if (!removeOther(eff)) {
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
    } else if (!removeOther(effh)) {
        show_error(staleText(language, effh));
        if (result == 1)
            result = -2;
    }

    progress_bar.hide();
    status_text.reset();  // the notes go after the grid size comes back
    if (!notes.isEmpty())
        setLabel(*this, notes);
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

void MainWindow::showSidecarNote()
{
    dropStalePendingSidecars();
    if (!sidecar_note.isEmpty())
        setLabel(*this, sidecar_note);
    sidecar_note.clear();
}

bool MainWindow::adoptPendingEffects(const ForwardGeometry& g, SidecarChoice choice)
{
    dropStalePendingSidecars();
    if (pending_eff.isEmpty() || pending_eff_key != g.key())
        return false;
    const QString path = pending_eff;
    pending_eff.clear();
    pending_eff_key = EffectsKey();
    if (effects_fit(effects, g))
        return false;
    if (!sidecarThere(sidecar_note, language, false, path))
        return false;
    // Levels with gaps between them: only a build tells the operator.
    if (!effects_checkable(g))
        return false;
    EffectsChecker checker(g, thread_count);
    if (checker.begin() != EffectsCheck::Own)
        return false;
    // A run weighs the file against the build it would save. A level of the
    // build costs between half a level built alone and a whole one
    // (EffectsChecker::lone_seconds), the rest of the check two such levels.
    // The file is weighed once, after its first plane: it is read on only
    // when the read, projected from that plane, and the rest of the check
    // stay below nine tenths of the least the build can cost, so that a file
    // taken saves time and one slower to read than to build (a slow disk, a
    // loaded machine) is given up after one plane. The first lone level may
    // have paid for first touching the build's memory (which the build then
    // keeps), so it only gives the file up; a file that looks quicker to read
    // is weighed again once a second level has been timed in kept memory.
    // From then on the file is read to its end (giving it up half way would
    // waste what was read) unless the projection passes the most the build
    // can cost.
    const auto least_build_ns = [&] { return (0.9 * 0.5 * g.nz - 2.0) * checker.lone_seconds() * 1e9; };
    const auto most_build_ns = [&] { return double(g.nz) * checker.lone_seconds() * 1e9; };
    const bool measured = choice == SidecarChoice::Measured;
    if (measured && least_build_ns() <= 0)
        return false;
    // The planes are timed from the first on.
    long long read_start = 0;
    long long aside_ns = 0;  // time spent on pending events and the check, not on the file
    int planes_done = -1;
    bool weighed = false;
    const CodecProgress weigh = [&](int) {
        ++planes_done;
        if (planes_done == 0)
            read_start = elapsed_clock_ns();
        if (!measured || planes_done == 0)
            return true;
        const auto projected = [&] {
            return double(elapsed_clock_ns() - read_start - aside_ns) / planes_done * g.nz;
        };
        if (!weighed) {
            if (projected() > least_build_ns())
                return false;
            const long long aside_start = elapsed_clock_ns();
            if (checker.time_level() != EffectsCheck::Own)
                return false;
            aside_ns += elapsed_clock_ns() - aside_start;
            if (projected() > least_build_ns())
                return false;
            weighed = true;
        } else if (projected() > most_build_ns()) {
            return false;
        }
        const long long events_start = elapsed_clock_ns();
        QCoreApplication::processEvents();
        aside_ns += elapsed_clock_ns() - events_start;
        return forward_running || inversion_running;  // false: the run was stopped
    };
    EffectsOperator held;
    const CodecStatus status =
        read_effects_sidecar(path, g.Mx, g.My, g.nz, held, weigh, effects_fold_tolerance, thread_count);
    if (status.code() == CodecError::Cancelled)
        return false;
    if (!status) {
        addNote(sidecar_note, sidecarNote(language, false, path, fateOf(status)));
        return false;
    }
    const EffectsCheck check = checker.finish(held);
    if (check == EffectsCheck::Own) {
        effects = std::move(held);
        effects.key = g.key();
        const QFileInfo source(path);
        effects_source = path;
        effects_source_size = source.size();
        effects_source_time = source.lastModified();
        effects_source_key = effects.key;
        return true;
    }
    if (check != EffectsCheck::NoMemory && check != EffectsCheck::NotCheckable)
        addNote(sidecar_note, sidecarNote(language, false, path,
                                          check == EffectsCheck::OtherSizes ? SidecarFate::OtherSizes
                                                                            : SidecarFate::Differs));
    return false;
}

bool MainWindow::adoptPendingLayerEffects(const ForwardGeometry& g, SidecarChoice choice)
{
    dropStalePendingSidecars();
    const quint64 key = layerEffectsKeyFor(g);
    if (pending_effh.isEmpty() || key == 0 || pending_effh_key != key)
        return false;
    const QString path = pending_effh;
    pending_effh.clear();
    pending_effh_key = 0;
    if (layerEffectsServe(g))
        return false;
    if (!sidecarThere(sidecar_note, language, true, path))
        return false;
    // The file is small beside the work: the check computes every other
    // layer's levels, a build every layer's. A run takes the file only when
    // that saves at least half the build.
    const double bottom = slabEffectsBottom();
    const LayerEffectsCost cost = layer_effects_cost(g, horizons, bottom);
    if (choice == SidecarChoice::Measured && 2 * cost.check_levels > cost.build_levels)
        return false;
    std::vector<field2D> held;
    const CodecStatus status = read_layer_effects_sidecar(path, g.nx, g.ny, int(horizons.size()), held);
    if (!status) {
        addNote(sidecar_note, sidecarNote(language, true, path, fateOf(status)));
        return false;
    }
    const LayerEffectsCheck check = check_layer_effects(held, g, horizons, bottom, thread_count);
    if (check == LayerEffectsCheck::Own) {
        layer_effects.swap(held);
        layer_effects_key = key;
        return true;
    }
    if (check != LayerEffectsCheck::NoMemory)
        addNote(sidecar_note, sidecarNote(language, true, path,
                                          check == LayerEffectsCheck::OtherSizes ? SidecarFate::OtherSizes
                                                                                 : SidecarFate::Differs));
    return false;
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
    // needs the operator, or for a save, which checks it whole before taking
    // it (adoptPendingEffects); one that is not a regular file is not opened,
    // and one of other sizes is refused at once.
    effects_source.clear();
    sidecar_note.clear();
    QString refused;
    ForwardGeometry g;
    if (modelGeometry(g)) {
        const SidecarUse eff_use = sidecarUse(eff);
        if (eff_use == SidecarUse::NotRegular) {
            addNote(refused, sidecarNote(language, false, eff, SidecarFate::NotRegular));
        } else if (eff_use == SidecarUse::Read) {
            const CodecStatus shape = check_sidecar_shape(eff, g.Mx, g.My, g.nz, SidecarKind::Effects);
            if (shape.ok()) {
                pending_eff = eff;
                pending_eff_key = g.key();
            } else {
                addNote(refused, sidecarNote(language, false, eff, fateOf(shape)));
            }
        }
        const auto [rows, columns] = layerEffectsShape(horizons, den_grid);
        const SidecarUse effh_use = !horizons.empty() && rows > 0 ? sidecarUse(effh) : SidecarUse::Absent;
        const quint64 key = layerEffectsKeyFor(g);
        if (effh_use == SidecarUse::NotRegular) {
            addNote(refused, sidecarNote(language, true, effh, SidecarFate::NotRegular));
        } else if (effh_use == SidecarUse::Read && key != 0) {
            const CodecStatus shape = check_sidecar_shape(effh, int(columns), int(rows), int(horizons.size()),
                                                          SidecarKind::LayerEffects);
            if (shape.ok()) {
                pending_effh = effh;
                pending_effh_key = key;
            } else {
                addNote(refused, sidecarNote(language, true, effh, fateOf(shape)));
            }
        }
    }
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
