// The inversion log: "log.txt" in the chosen directory with a start line and
// a header per confirmed inversion dialog and one line per logged iteration,
// and per iteration the calculated field, the residual (Surfer 7 binary
// grids) and the model (own cube file).
//
// A file that cannot be written is reported: the first failure of a run
// with a message box, later ones of the same run (most often the same
// cause: a missing directory, no permission, a full disk) on the error
// stream only, so that the run is not interrupted again and again.
#include "app/mainwindow.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "engine/inversion_log.h"
#include "formats/cube_file.h"
#include "formats/surfer_grid.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <iostream>

namespace {

// Appends text to the log file; false with the reason when it cannot be
// opened or written.
bool append_text(const QString& path, const QString& text, QString& reason)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        reason = file.errorString();
        return false;
    }
    {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        out << text;
        out.flush();
        if (out.status() != QTextStream::Ok) {
            reason = file.errorString();
            return false;
        }
    }
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    return true;
}

// Whether this run's first failure was shown, kept on the window itself.
const char* const failure_shown_property = "inversionLogFailureShown";

void set_failure_shown(MainWindow& w, bool shown)
{
    w.setProperty(failure_shown_property, shown);
}

void report_log_failure(MainWindow& w, const QString& path, const QString& reason)
{
    const QString name = QDir::toNativeSeparators(path);
    if (w.property(failure_shown_property).toBool()) {
        std::cerr << "inversion log: couldn't write " << name.toStdString() << ": " << reason.toStdString()
                  << std::endl;
        return;
    }
    set_failure_shown(w, true);
    w.show_error(byLanguage(w.language, "Не удалось записать файл журнала инверсии ",
                            "Couldn't write the inversion log file ")
                 + name + QStringLiteral("\n") + reason);
}

} // namespace

void MainWindow::setLogParams(QString& text, bool save)
{
    save_log = save;
    log_dir = text;
    // A new run: its first failure is shown again.
    set_failure_shown(*this, false);
    if (log_dir.isEmpty())
        return;
    const QString path = inversion_log::log_file_path(log_dir);
    QString reason;
    // Without logging the start line is still added where it can be; a
    // directory the user did not ask to log into is no reason for a message.
    if (!append_text(path, inversion_log::start_text(QDateTime::currentDateTime()), reason) && save_log)
        report_log_failure(*this, path, reason);
}

void MainWindow::saveInvLog(int n_iter, double rms, double time)
{
    if (!save_log || log_dir.isEmpty())
        return;
    if (Vz_observed.empty() || Vz_observed.front().empty()
        || !grid_has_shape(Vz_calculated, Vz_observed.size(), Vz_observed.front().size())
        || !grid_has_shape(Vz_observed, Vz_observed.size(), Vz_observed.front().size())) {
        report_log_failure(*this, inversion_log::log_file_path(log_dir),
                           byLanguage(language, "Вычисленное и наблюденное поля разного размера",
                                      "The calculated and the observed fields differ in size"));
        return;
    }
    const inversion_log::ResidualExtremes e = inversion_log::residual_extremes(Vz_observed, Vz_calculated);

    const QString path = inversion_log::log_file_path(log_dir);
    QString reason;
    if (!append_text(path, inversion_log::iteration_line(n_iter, rms, e.smallest, e.largest, time), reason)) {
        // Without the line the grids of this iteration are not written either.
        report_log_failure(*this, path, reason);
        return;
    }

    const QString calculated_path = inversion_log::calculated_grid_path(log_dir, n_iter);
    const CodecStatus calculated =
        write_surfer7_grid(calculated_path, inversion_log::shifted_calculated(Vz_observed, Vz_calculated),
                           calculated_params);
    if (!calculated)
        report_log_failure(*this, calculated_path, calculated.message(language));

    const QString residual_path = inversion_log::residual_grid_path(log_dir, n_iter);
    const CodecStatus residual = write_surfer7_grid(
        residual_path, inversion_log::mean_free_residual(Vz_observed, Vz_calculated), calculated_params);
    if (!residual)
        report_log_failure(*this, residual_path, residual.message(language));
}

void MainWindow::saveIntermediateModel(int N_iter, vector3D& current_model, int Nfbot, int Nfleft)
{
    if (log_dir.isEmpty())
        return;
    const QString path = inversion_log::model_cube_path(log_dir, N_iter);
    if (!cube_is_regular(den_grid)) {
        report_log_failure(*this, path, byLanguage(language, "3D грид плотности пуст ", "3D density gird is empty"));
        return;
    }
    const int ny = static_cast<int>(den_grid.front().size());
    const int nx = static_cast<int>(den_grid.front().front().size());
    const vector3D window = inversion_log::model_window(current_model, nx, ny, Nfbot, Nfleft);
    if (window.size() != den_grid.size()) {
        report_log_failure(*this, path, byLanguage(language, "Модель не совпадает с 3D гридом плотности",
                                            "The model doesn't match the 3D density grid"));
        return;
    }
    const CodecStatus status = write_cube_file(path, window, x_calc, y_calc, z_calc, [](int) {
        QCoreApplication::processEvents();
        return true;
    });
    if (!status)
        report_log_failure(*this, path, status.message(language));
}
