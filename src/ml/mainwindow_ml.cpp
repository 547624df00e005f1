// The main window's side of the machine-learning density conversion: the
// command that opens the dialog, the feature file written for the prediction
// and the predicted cube taken as the density model.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "formats/cube_file.h"
#include "ml/mldensityconvertor.h"

#include <QAction>
#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QLabel>

namespace {

// The cube whose geometry the feature file follows, with its nodes.
struct FeatureSource
{
    const vector3D* cube = nullptr;
    const std::vector<double>* x = nullptr;
    const std::vector<double>* y = nullptr;
    const std::vector<double>* z = nullptr;
};

// Levels, rows and columns of a cube taken from its first level and row.
bool hasShapeAtLeast(const vector3D& cube, std::size_t nz, std::size_t ny, std::size_t nx)
{
    if (cube.size() < nz)
        return false;
    for (std::size_t k = 0; k < nz; ++k) {
        if (cube[k].size() < ny)
            return false;
        for (std::size_t i = 0; i < ny; ++i)
            if (cube[k][i].size() < nx)
                return false;
    }
    return true;
}

bool horizonsCover(const std::vector<field2D>& horizons, std::size_t ny, std::size_t nx)
{
    for (const field2D& h : horizons) {
        if (h.size() < ny)
            return false;
        for (std::size_t i = 0; i < ny; ++i)
            if (h[i].size() < nx)
                return false;
    }
    return true;
}

// Layer of depth z at a node, counted from 1 (the layer below horizon 0):
// m + 1 for the first m with horizon m <= z < horizon m + 1, otherwise the
// horizon count.
int layerNumber(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double z)
{
    const int n = int(horizons.size());
    for (int m = 0; m + 1 < n; ++m)
        if (horizons[m][row][column] <= z && z < horizons[m + 1][row][column])
            return m + 1;
    return n;
}

} // namespace

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
    interaction()->runDialog(&dialog);
}

// Writes the ML feature file: int32 nx, ny, nz, the first and last node of
// each axis, then per cell (level outermost, column innermost) four doubles:
// depth, Vp, Vs and layer number, 0 for a feature not used. Then asks the
// dialog for the prediction.
void MainWindow::saveMLdata(bool use_H, bool use_Vp, bool use_Vs, bool use_Idx)
{
    const QString path = mlFeatureFilePath();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;

    FeatureSource source;
    if (use_Vp && !Vp_grid.empty())
        source = {&Vp_grid, &x_vp, &y_vp, &z_vp};
    else if (use_Vs && !Vs_grid.empty())
        source = {&Vs_grid, &x_vs, &y_vs, &z_vs};
    else if (!den_grid.empty())
        source = {&den_grid, &x_calc, &y_calc, &z_calc};
    if (!source.cube || source.cube->front().empty() || source.cube->front().front().empty()) {
        show_error(byLanguage(language, "Ошибка. В проекте должна быть хотя бы одна сеточная модель",
                              "Error. Project must contain at least one grid model"));
        return;
    }
    const vector3D& cube = *source.cube;
    const std::size_t nz = cube.size();
    const std::size_t ny = cube[0].size();
    const std::size_t nx = cube[0][0].size();

    // Every feature used is read at the source's indexes: its cube (or the
    // horizons) must cover them, and the source its own nodes.
    const bool fits = hasShapeAtLeast(cube, nz, ny, nx) && source.x->size() == nx && source.y->size() == ny
        && source.z->size() == nz && (!use_Vp || hasShapeAtLeast(Vp_grid, nz, ny, nx))
        && (!use_Vs || hasShapeAtLeast(Vs_grid, nz, ny, nx)) && (!use_Idx || horizonsCover(horizons, ny, nx));
    if (!fits) {
        show_error(byLanguage(language, "Ошибка. Сетки признаков не совпадают по размерам",
                              "Error. The grids of the features differ in size"));
        return;
    }

    QDataStream out(&file);
    out << qint32(nx) << qint32(ny) << qint32(nz);
    out << source.x->front() << source.x->back() << source.y->front() << source.y->back() << source.z->front()
        << source.z->back();

    progress_label->setText(byLanguage(language, "Подготовка данных", "Prepare data"));
    progress_bar.show();
    const std::vector<double>& zs = *source.z;
    const double z0 = zs[0];
    const double step = nz > 1 ? zs[1] - zs[0] : 0.0;
    for (std::size_t k = 0; k < nz; ++k) {
        progress_bar.setValue(int(100 * k / nz));
        QCoreApplication::processEvents();
        const double z = z0 + double(k) * step;
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j) {
                out << (use_H ? z : 0.0);
                out << (use_Vp ? double(Vp_grid[k][i][j]) : 0.0);
                out << (use_Vs ? double(Vs_grid[k][i][j]) : 0.0);
                out << (use_Idx ? double(layerNumber(horizons, i, j, z)) : 0.0);
            }
    }
    progress_bar.hide();
    file.close();
    if (out.status() != QDataStream::Ok || file.error() != QFileDevice::NoError) {
        show_error(byLanguage(language, "Не удалось записать файл ", "Can't write the file ") + path);
        return;
    }
    emit predictMlDensity();
}

// Takes the predicted cube as the density grid; an unreadable result changes
// nothing. Both exchange files are removed either way.
void MainWindow::loadMlResult()
{
    vector3D cube;
    std::vector<double> x, y, z;
    cube_bounds bounds{};
    const CodecStatus status = read_cube_file(mlResultFilePath(), cube, x, y, z, &bounds);
    if (status.ok() && !cube.empty()) {
        const bool sameGeometry = x == x_calc && y == y_calc && z == z_calc;
        den_grid = std::move(cube);
        x_norm = std::move(x);
        y_norm = std::move(y);
        z_norm = std::move(z);
        x_calc = x_norm;
        y_calc = y_norm;
        z_calc = z_norm;
        model_bounds = bounds;
        norm_factors = NormFactors();
        if (!sameGeometry)
            crop_borders = {{-1, -1, -1, -1, -1, -1}};
        if (!ui->view_horizons->isChecked())
            show3Dgrid();
    }
    QFile::remove(mlResultFilePath());
    QFile::remove(mlFeatureFilePath());
}
