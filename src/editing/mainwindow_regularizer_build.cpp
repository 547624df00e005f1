// Regularizers built from the layered model: the central regularizers (one
// Gaussian per layer around its mid-depth, optionally weighted by the local
// layer thickness) and the gradient regularizer (from the horizontal
// gradients of the horizons).
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "editing/inputvaluedialog.h"
#include "editing/regularizer_build.h"
#include "formats/progress_bar_scope.h"

#include <QAction>

#include <new>

namespace {

QString emptyGridOrHorizonsText(int language)
{
    return byLanguage(language, "Для создания срединного регуляризатора необходим грид плотности и горизонты",
                      "3D density grid or horizons are empty");
}

QString mismatchText(int language)
{
    return byLanguage(language, "Параметры разбиения горизонтов не соответствуют модели",
                      "Horizons and 3D grid have different parameters");
}

// Reports a refused build; true when the build went through.
bool reportBuild(MainWindow& w, regularizers::BuildStatus status)
{
    switch (status) {
    case regularizers::BuildStatus::Ok:
        return true;
    case regularizers::BuildStatus::NoGrid:
        w.show_error(byLanguage(w.language, "Уровни или строки 3D грида плотности имеют разные размеры",
                                "Levels or rows of the 3D density grid differ in size"));
        return false;
    case regularizers::BuildStatus::NoHorizons:
        w.show_error(byLanguage(w.language, "Горизонты не загружены в проект", "Horizon are empty"));
        return false;
    case regularizers::BuildStatus::Mismatch:
        w.show_error(mismatchText(w.language));
        return false;
    }
    return false;
}

// Stores a newly built regularizer on the density grid's nodes. It holds raw
// values, so the normalisation record starts afresh: scale 1, no offsets.
void storeRegularizer(MainWindow& w, vector3D& built)
{
    w.regularizer = std::move(built);
    w.x_reg = w.x_calc;
    w.y_reg = w.y_calc;
    w.z_reg = w.z_calc;
    w.regularizer_scale = 1;
    w.regularizer_offsets.clear();
    vector3D().swap(w.regularizer_read);
}

// The width question of both central commands.
void askCentralWidth(MainWindow& w, void (MainWindow::*build)(double))
{
    if (w.den_grid.empty() || w.horizons.empty()) {
        w.show_error(emptyGridOrHorizonsText(w.language));
        return;
    }
    if (w.refuseWhileRunning())
        return;
    if (!horizons_match_grid(w.horizons, w.den_grid)) {
        w.show_error(mismatchText(w.language));
        return;
    }
    InputValueDialog dialog;
    dialog.setValue(w.central_reg_width);
    dialog.setCaption(byLanguage(w.language, "Введите относительную ширину", "Input relative width"));
    dialog.setLanguage(w.language);
    QObject::connect(&dialog, &InputValueDialog::valueSelected, &w, build);
    interaction()->runDialog(&dialog);
}

void buildCentral(MainWindow& w, double width, bool thickness_amplitude)
{
    if (w.den_grid.empty() || w.horizons.empty()) {
        w.show_error(emptyGridOrHorizonsText(w.language));
        return;
    }
    if (w.refuseWhileRunning())
        return;
    w.central_reg_width = width;
    vector3D built;
    regularizers::BuildStatus status;
    try {
        ProgressBarScope progress(&w.progress_bar);
        const CodecProgress step = progress.callback();
        status = regularizers::central_regularizer(w.den_grid, w.z_calc, w.horizons, width, thickness_amplitude,
                                                   built, [&step](int percent) { step(percent); });
    } catch (const std::bad_alloc&) {
        w.show_error(byLanguage(w.language, "Недостаточно памяти ", "Out of memory"));
        return;
    }
    if (!reportBuild(w, status))
        return;
    storeRegularizer(w, built);
    w.ui->view_reg->setChecked(true);
    w.on_view_reg_triggered();
}

}  // namespace

void MainWindow::on_centralRegularizer_triggered()
{
    askCentralWidth(*this, &MainWindow::createCentralRegularizer);
}

void MainWindow::on_centralRegularizerOnHeights_triggered()
{
    askCentralWidth(*this, &MainWindow::createCentralRegularizerHeights);
}

void MainWindow::createCentralRegularizer(double width)
{
    buildCentral(*this, width, false);
}

void MainWindow::createCentralRegularizerHeights(double width)
{
    buildCentral(*this, width, true);
}

void MainWindow::on_horizonsBasedRegularizer_triggered()
{
    createHorizonsGradientsRegularizer();
}

void MainWindow::createHorizonsGradientsRegularizer()
{
    if (den_grid.empty())
        return;
    if (refuseWhileRunning())
        return;
    if (horizons.empty()) {
        show_error(byLanguage(language, "Горизонты не загружены в проект", "Horizon are empty"));
        return;
    }
    if (!horizons_match_grid(horizons, den_grid)) {
        show_error(mismatchText(language));
        return;
    }
    vector3D built;
    regularizers::BuildStatus status;
    try {
        std::vector<field2D> gradients(horizons.size());
        for (std::size_t i = 0; i < horizons.size(); ++i)
            calcHorizonGradient(static_cast<int>(i), gradients[i]);
        ProgressBarScope progress(&progress_bar);
        const CodecProgress step = progress.callback();
        status = regularizers::gradient_regularizer(den_grid, z_calc, horizons, gradients, built,
                                                    [&step](int percent) { step(percent); });
    } catch (const std::bad_alloc&) {
        show_error(byLanguage(language, "Недостаточно памяти ", "Out of memory"));
        return;
    }
    if (!reportBuild(*this, status))
        return;
    storeRegularizer(*this, built);
    on_view_reg_triggered();
}
