// The main window's measurements (misfit, layer statistics, horizon
// gradient, layer at a depth), the spectral product steps, and the two
// alternative forward calculations (single-threaded spectral, pillar sums).
// The alternatives work on copies: they never change the project's horizons.
#include "app/mainwindow.h"
#include "app/texts.h"
#include "engine/field_stats.h"
#include "engine/forward.h"
#include "engine/pillar_forward.h"

#include <QCoreApplication>
#include <QLabel>

namespace {

bool processEventsAndGoOn(int, int)
{
    QCoreApplication::processEvents();
    return true;
}

} // namespace

double MainWindow::calc_rms()
{
    const FieldMisfit misfit = field_misfit(Vz_observed, Vz_calculated);
    if (!misfit.valid)
        return 0;
    if (misfit_label)
        misfit_label->setText(misfit_text(misfit, language));
    return misfit.rms;
}

std::vector<double> MainWindow::calcLayerStats(int n)
{
    return layer_stats(den_grid, z_calc, horizons, n);
}

void MainWindow::calcHorizonGradient(int n, std::vector<std::vector<double>>& gradient)
{
    if (n < 0 || n >= static_cast<int>(horizons.size()))
        return;
    const field2D& horizon = horizons[n];
    const std::size_t ny = horizon.size();
    const std::size_t nx = ny ? horizon.front().size() : 0;
    // Spacings from the horizons' extent; without one (or with a single node
    // along an axis) there is no spacing and the gradient is all zeros.
    double dx = 0, dy = 0;
    if (horizons_params.size() >= 6 && nx > 1 && ny > 1) {
        dx = (horizons_params[3] - horizons_params[2]) / double(nx - 1);
        dy = (horizons_params[5] - horizons_params[4]) / double(ny - 1);
    }
    horizon_gradient(horizon, dx, dy, gradient);
}

int MainWindow::calcLayerN(int i, int j, double z)
{
    return layer_at_depth(horizons, i, j, z);
}

void MainWindow::calc_gradient_step(vector3D& real_Vz, vector3D& imag_Vz, vector3D& real_den,
                                    vector3D& imag_den, vector2D& real_dVz, vector2D& imag_dVz,
                                    std::vector<double>& alpha)
{
    spectral_gradient_step(real_Vz, imag_Vz, real_den, imag_den, real_dVz, imag_dVz, alpha,
                           processEventsAndGoOn);
}

void MainWindow::calc_Vz(vector3D& real_Vz, vector3D& imag_Vz, vector3D& real_den,
                         vector3D& imag_den, vector2D& real_Vz_calc, vector2D& imag_Vz_calc,
                         vector2D& Vz_calc)
{
    spectral_product_sum(real_Vz, imag_Vz, real_den, imag_den, real_Vz_calc, imag_Vz_calc, Vz_calc,
                         processEventsAndGoOn);
}

void MainWindow::forward3Dgrid_fast(std::vector<std::vector<std::vector<double>>>& den,
                                    std::vector<double>& x, std::vector<double>& y,
                                    std::vector<double>& z,
                                    std::vector<std::vector<double>>& result, QProgressBar& bar)
{
    // Copies: events run between levels, and nothing may change the inputs under the run.
    const std::vector<std::vector<std::vector<double>>> cube = den;
    const std::vector<double> xs = x, ys = y, zs = z;
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.show();
    field2D field;
    const ForwardStatus status =
        forward_fast(cube, xs, ys, zs, calc_height, expansion_factor, field,
                     [&bar](int done, int total) {
                         QCoreApplication::processEvents();
                         bar.setValue(total > 0 ? done * 100 / total : 0);
                         return true;
                     });
    bar.hide();
    if (status != ForwardStatus::Completed) {
        result.clear();
        return;
    }
    result = std::move(field);
    calculated_params = {double(xs.size()), double(ys.size()), xs.front(), xs.back(), ys.front(),
                         ys.back()};
}

void MainWindow::calc_pillar_effects_fast()
{
    if (x_calc.empty() || y_calc.empty() || z_calc.empty() || Vz_observed.empty() || horizons.empty())
        return;
    // Copies: events run between node rows, and the horizons' snapping to
    // whole multiples of dz must stay inside the calculation.
    const std::vector<double> xs = x_calc, ys = y_calc, zs = z_calc, dens = densities;
    field2D field;
    const ForwardStatus status =
        pillar_forward(xs, ys, zs, horizons, dens, calc_height, field,
                       [](int, int) {
                           QCoreApplication::processEvents();
                           return true;
                       });
    if (status == ForwardStatus::CoordinatesMismatch) {
        show_error(byLanguage(language, "Горизонты или плотности слоев не соответствуют 3D гриду",
                              "The horizons or layer densities do not match the 3D grid"));
        return;
    }
    if (status != ForwardStatus::Completed)
        return;
    Vz_calculated = std::move(field);
    calculated_params = {double(xs.size()), double(ys.size()), xs.front(), xs.back(), ys.front(),
                         ys.back()};
    plotCalculated();
    QCoreApplication::processEvents();
}
