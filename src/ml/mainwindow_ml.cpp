// The main window's side of the machine-learning density conversion: the
// command that opens the dialog, the feature file written for the prediction
// and the predicted cube taken as the density grid.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/run_guard.h"
#include "app/texts.h"
#include "formats/file_commands.h"
#include "ml/ml_exchange.h"
#include "ml/mldensityconvertor.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>

#include <cerrno>

void MainWindow::on_ML_density_conversion_triggered()
{
    if (den_grid.empty() && Vp_grid.empty() && Vs_grid.empty())
        return;
    if (refuseWhileRunning())
        return;
    MLDensityConvertor dialog;
    dialog.setLanguage(language);
    dialog.setAvailableFeatures(!Vp_grid.empty(), !Vs_grid.empty(), !horizons.empty());
    connect(&dialog, &MLDensityConvertor::predictPressed, this, &MainWindow::saveMLdata);
    connect(&dialog, &MLDensityConvertor::mlSuccess, this, &MainWindow::loadMlResult);
    connect(this, &MainWindow::predictMlDensity, &dialog, &MLDensityConvertor::predictDens);
    // Cancel (or closing the dialog) while the prediction runs stops it,
    // also while the feature file is being written.
    connect(&dialog, &MLDensityConvertor::stopRequested, this, &MainWindow::stopRuns);
    interaction()->runDialog(&dialog);
}

// Writes the ML feature file (layout in ml/ml_exchange.h) from the cube the
// features follow, then asks the dialog for the prediction. The whole
// prediction (writing, the script, taking the result) is one run: the
// commands that change data are locked out meanwhile, and a stop (the
// dialog's Cancel) ends it with the density grid unchanged.
void MainWindow::saveMLdata(bool use_H, bool use_Vp, bool use_Vs, bool use_Idx)
{
    RunGuard run(this, RunKind::FileRead);
    if (!run)
        return;
    const QString path = mlFeatureFilePath();
    // Removed first and created anew: a link planted under the file's name
    // is replaced, never followed.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        show_error(file_failure_text(
            path, CodecStatus::failure(CodecError::OpenFailed, file.errorString(), file.errorString()), language,
            true));
        return;
    }

    bool preparing = false;
    const CodecProgress progress = [&](int percent) {
        if (!preparing) {
            progress_label->setText(byLanguage(language, "Подготовка данных", "Prepare data"));
            progress_bar.show();
            preparing = true;
        }
        progress_bar.setValue(percent);
        QCoreApplication::processEvents();
        return !abort_requested;
    };
    errno = 0;
    const MlFeatureStatus status =
        write_ml_feature_file(file, {&den_grid, &x_calc, &y_calc, &z_calc}, {&Vp_grid, &x_vp, &y_vp, &z_vp},
                              {&Vs_grid, &x_vs, &y_vs, &z_vs}, horizons, use_H, use_Vp, use_Vs, use_Idx, progress);
    // The cause of a failed write, taken before anything else can change it.
    CodecStatus write_status;
    if (status == MlFeatureStatus::WriteFailed)
        write_status = write_failure(file, errno);
    progress_bar.hide();
    errno = 0;
    file.close();  // writes the last buffered bytes, which a full disk may refuse
    if (status == MlFeatureStatus::Written && file.error() != QFileDevice::NoError)
        write_status = write_failure(file, errno);

    QString error;
    switch (status) {
    case MlFeatureStatus::Written:
    case MlFeatureStatus::WriteFailed:
        if (!write_status)
            error = file_failure_text(path, write_status, language, true);
        break;
    case MlFeatureStatus::NoSource:
        error = byLanguage(language, "Ошибка. В проекте должна быть хотя бы одна сеточная модель",
                           "Error. Project must contain at least one grid model");
        break;
    case MlFeatureStatus::ShapeMismatch:
        error = byLanguage(language, "Ошибка. Сетки признаков не совпадают по размерам",
                           "Error. The grids of the features differ in size");
        break;
    case MlFeatureStatus::Cancelled:
        break;
    }
    if (!error.isEmpty() || status == MlFeatureStatus::Cancelled || abort_requested) {
        // An unfinished feature file is of no use to anyone; a stop is not
        // an error.
        QFile::remove(path);
        if (!error.isEmpty())
            show_error(error);
        abort_requested = false;
        return;
    }
    emit predictMlDensity();
    abort_requested = false;
}

// Takes the predicted cube as the density grid. The cube must lie on the
// lattice of the feature file it was predicted from; anything else is
// reported and changes nothing. Both exchange files are removed either way.
void MainWindow::loadMlResult()
{
    const QString result = mlResultFilePath();
    const QString features = mlFeatureFilePath();
    MlFeatureHeader header;
    const bool have_header = read_ml_feature_header(features, header);

    vector3D cube;
    std::vector<double> x, y, z;
    const cube_bounds old_bounds = model_bounds;
    if (import3Dgrid(result, cube, x, y, z)) {  // reports its own failure
        if (!have_header || !ml_result_fits(header, cube, model_bounds)) {
            model_bounds = old_bounds;
            show_error(byLanguage(language, "Ошибка. Рассчитанная сетка не совпадает с моделью",
                                  "Error. The predicted grid does not match the model"));
        } else {
            const bool same_geometry = x == x_calc && y == y_calc && z == z_calc && cube.size() == den_grid.size()
                && !den_grid.empty() && cube[0].size() == den_grid[0].size()
                && cube[0][0].size() == den_grid[0][0].size();
            den_grid = std::move(cube);
            x_norm = std::move(x);
            y_norm = std::move(y);
            z_norm = std::move(z);
            x_calc = x_norm;
            y_calc = y_norm;
            z_calc = z_norm;
            norm_factors = NormFactors();
            if (!same_geometry)
                crop_borders = {{-1, -1, -1, -1, -1, -1}};
            // Stored operators and the cached weight serve only the grid they
            // were computed for.
            dropStaleOperators();
            if (!ui->view_horizons->isChecked())
                show3Dgrid();
        }
    }
    QFile::remove(result);
    QFile::remove(features);
}
