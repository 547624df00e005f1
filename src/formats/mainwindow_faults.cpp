// Faults and profile schemes: import of Charisma fault sticks and of BLN
// vertical faults, export to one file or one file per fault, deletion, the
// profile-scheme import and the one-polyline BLN writer.
//
// An import reads the whole file before it replaces anything, so a refused or
// failed import keeps the faults or the scheme that were there.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_helpers.h"
#include "formats/bln.h"
#include "formats/fault_commands.h"
#include "formats/fault_sticks.h"
#include "formats/file_commands.h"
#include "views/surf.h"
#include "views/view3d_rules.h"

#include <QAction>
#include <QCoreApplication>

#include <algorithm>

namespace {

QString faultsEmptyText(int language)
{
    return byLanguage(language, "Разломы не загружены в проект", "Faults are empty");
}

QString faultsSavedText(int language)
{
    return byLanguage(language, "Разломы сохранены", "Faults saved");
}

QString charismaFilter() { return QStringLiteral("Charisma fault sticks (ASCII) (*.txt)"); }

// Replaces the window's faults by `read` (already complete).
void takeFaults(MainWindow& w, FaultSticks&& read)
{
    w.faults = fault_set_of(std::move(read));
}

}  // namespace

std::vector<double> faults_extent(const std::vector<std::vector<std::vector<QVector3D>>>& sticks)
{
    const view3d::Extent e = view3d::sticks_extent(sticks);
    if (!e.ok)
        return {};
    return std::vector<double>(e.e.begin(), e.e.end());
}

bool MainWindow::import_bln_faults(QString& fname)
{
    if (fname.isEmpty())
        return false;
    // The sticks span the model's depth range: check there is one before
    // anything is read or replaced.
    double top = 0, bottom = 0;
    if (!den_grid.empty() && !z_calc.empty()) {
        top = z_calc.front();
        bottom = z_calc.back();
    } else if (!Vp_grid.empty() && !z_vp.empty()) {
        top = z_vp.front();
        bottom = z_vp.back();
    } else if (!Vs_grid.empty() && !z_vs.empty()) {
        top = z_vs.front();
        bottom = z_vs.back();
    } else if (!horizons.empty()) {
        top = 0;
        bottom = grid_max(horizons.front());
        for (const field2D& h : horizons)
            bottom = std::max(bottom, grid_max(h));
    } else {
        show_error(byLanguage(language, "Импорт bln-разломов в пустой проект невозможен",
                              "Import of bln-faults to empty project is impossible"));
        return false;
    }

    std::vector<bln_polyline> polylines;
    const CodecStatus status = read_bln_polylines(fname, polylines, 1);
    if (!status) {
        show_error(file_failure_text(fname, status, language, false));
        return false;
    }
    FaultSticks read = bln_vertical_faults(polylines, top, bottom);
    if (read.empty()) {
        show_error(byLanguage(language, "Файл \"%1\" не содержит ломаных", "File \"%1\" holds no polylines")
                       .arg(QDir::toNativeSeparators(fname)));
        return false;
    }
    takeFaults(*this, std::move(read));
    return true;
}

bool MainWindow::import_charisma_faults(QString& fname)
{
    if (fname.isEmpty())
        return false;
    FaultSticks read;
    const CodecStatus status = read_charisma_fault_sticks(fname, read);
    if (!status) {
        show_error(file_failure_text(fname, status, language, false));
        return false;
    }
    takeFaults(*this, std::move(read));
    return true;
}

void MainWindow::on_import_faults_triggered()
{
    if (refuseWhileRunning())
        return;
    QString path = interaction()->openFileName(this, QStringLiteral("Import faults"), QString(),
                                               charismaFilter() + QStringLiteral(" ;; BLN vertical faults (*.bln)"));
    if (path.isEmpty())
        return;
    const QString suffix = lower_suffix(path);
    bool replaced = false;
    if (suffix == QLatin1String("txt")) {
        replaced = import_charisma_faults(path);
    } else if (suffix == QLatin1String("bln")) {
        replaced = import_bln_faults(path);
    } else {
        show_error(unknown_suffix_text(path, {QStringLiteral("txt"), QStringLiteral("bln")}, language));
        return;
    }

    if (replaced && !faults.empty()) {
        const std::vector<double> e = faults_extent(faults.sticks);
        if (e.size() == 6) {
            if (!den_grid.empty() || !regularizer.empty() || !Vp_grid.empty() || !Vs_grid.empty()) {
                surf->min_x = std::min(surf->min_x, e[0]);
                surf->max_x = std::max(surf->max_x, e[1]);
                surf->min_y = std::min(surf->min_y, e[2]);
                surf->max_y = std::max(surf->max_y, e[3]);
                surf->min_z = std::min(surf->min_z, e[4]);
                surf->max_z = std::max(surf->max_z, e[5]);
            } else {
                surf->min_x = e[0];
                surf->max_x = e[1];
                surf->min_y = e[2];
                surf->max_y = e[3];
                surf->min_z = e[4];
                surf->max_z = e[5];
            }
            surf->updateAxesRanges();
        }
        surf->addFaults(faults.sticks, faults.names);
    }
    ui->view_faults->setEnabled(!faults.empty());
    plotObserved();
    plotCalculated();
}

void MainWindow::on_export_faults_one_file_triggered()
{
    if (faults.empty()) {
        show_error(faultsEmptyText(language));
        return;
    }
    const QString path = interaction()->saveFileName(this, QStringLiteral("Export faults"), QString(), charismaFilter());
    if (path.isEmpty())
        return;
    const CodecStatus status = write_charisma_fault_sticks(path, fault_sticks_of(faults));
    if (!status) {
        show_error(file_failure_text(path, status, language, true));
        return;
    }
    show_message(faultsSavedText(language));
}

void MainWindow::on_export_faults_multiple_files_triggered()
{
    if (faults.empty()) {
        show_error(faultsEmptyText(language));
        return;
    }
    const QString dir = interaction()->existingDirectory(this, QStringLiteral("Select directory"), QString());
    if (dir.isEmpty())
        return;
    const FaultSticks sticks = fault_sticks_of(faults);
    const std::vector<QString> files = fault_file_names(dir, sticks.names);
    for (std::size_t f = 0; f < files.size(); ++f) {
        const CodecStatus status = write_charisma_fault_sticks(files[f], sticks, int(f));
        if (!status) {
            // The files written before stay; the rest are not attempted.
            show_error(file_failure_text(files[f], status, language, true));
            return;
        }
    }
    show_message(faultsSavedText(language));
}

void MainWindow::on_delete_faults_triggered()
{
    if (refuseWhileRunning())
        return;
    FaultSet kept_type;
    kept_type.inline_type = faults.inline_type;
    faults = std::move(kept_type);
    surf->clearFaults();
    ui->view_faults->setEnabled(false);
    plotObserved();
    plotCalculated();
    QCoreApplication::processEvents();
}

void MainWindow::on_import_profiles_scheme_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("*.bln"));
    if (!path.isEmpty()) {
        std::vector<bln_polyline> read;
        const CodecStatus status = read_bln_polylines(path, read, 2);
        if (!status) {
            show_error(file_failure_text(path, status, language, false));
            return;
        }
        if (read.empty()) {
            show_error(byLanguage(language, "Файл \"%1\" не содержит профилей", "File \"%1\" holds no profiles")
                           .arg(QDir::toNativeSeparators(path)));
            return;
        }
        profiles_scheme = std::move(read);
    }
    if (!profiles_scheme.empty())
        ui->view_profiles->setEnabled(true);
    plotObserved();
    plotCalculated();
}

void MainWindow::saveBLN(QString dir, std::vector<double>& x, std::vector<double>& y)
{
    if (x.empty() || x.size() != y.size() || dir.isEmpty())
        return;
    const CodecStatus status = write_bln_polyline(dir, x, y);
    if (!status)
        show_error(file_failure_text(dir, status, language, true));
}
