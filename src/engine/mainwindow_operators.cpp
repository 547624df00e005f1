// What the main window keeps between runs to save time: the stored forward
// operator `effects`, the layered inversion's slab effects `layer_effects`
// and the cached regularization-weight factor `alpha_factor`. Each carries
// the key of the model it was computed for (engine/operator_keys.h), and the
// functions below are the one place that decides whether it still serves the
// model as it is now. Every use tests the key; the commands that replace or
// reshape the density grid, the layers or the calculation geometry call
// dropStaleOperators, and a project save writes only what still serves.
#include "app/mainwindow.h"

#include "common/grid_geometry.h"
#include "editing/layers.h"
#include "engine/forward.h"
#include "engine/layered_inversion.h"
#include "engine/operator_keys.h"

#include <cmath>
#include <utility>

bool MainWindow::modelGeometry(ForwardGeometry& g) const
{
    return !den_grid.empty()
           && forward_geometry(den_grid, x_calc, y_calc, z_calc, calc_height, expansion_factor, g)
                  == ForwardStatus::Completed;
}

double MainWindow::slabEffectsBottom() const
{
    return layers::last_layer_bottom(layers::LastBottom::Extended, z_calc);
}

quint64 MainWindow::layerEffectsKeyFor(const ForwardGeometry& g) const
{
    if (horizons.empty() || !horizons_match_grid(horizons, den_grid))
        return 0;
    return ::layer_effects_key(g, horizons, slabEffectsBottom());
}

bool MainWindow::effectsMatchModel() const
{
    ForwardGeometry g;
    return modelGeometry(g) && effects_fit(effects, g);
}

bool MainWindow::layerEffectsMatchModel() const
{
    ForwardGeometry g;
    return modelGeometry(g) && layerEffectsServe(g);
}

bool MainWindow::layerEffectsServe(const ForwardGeometry& g) const
{
    return layer_effects_key != 0
           && layer_effects_fit(layer_effects, static_cast<int>(horizons.size()), g.ny, g.nx)
           && layer_effects_key == layerEffectsKeyFor(g);
}

bool MainWindow::alphaFactorServes(const ForwardGeometry& g) const
{
    return alpha_factor != 0 && std::isfinite(alpha_factor) && alpha_key != 0
           && alpha_key == alpha_factor_key(g, Vz_observed);
}

void MainWindow::dropStaleOperators()
{
    ForwardGeometry g;
    const bool model = modelGeometry(g);
    if (!model || !effects_fit(effects, g))
        effects.clear();
    if (!model || !layerEffectsServe(g)) {
        std::vector<field2D>().swap(layer_effects);
        layer_effects_key = 0;
    }
    if (!model || !alphaFactorServes(g)) {
        alpha_factor = 0;
        alpha_key = 0;
    }
    dropStalePendingSidecars();
}

void MainWindow::dropStalePendingSidecars()
{
    ForwardGeometry g;
    const bool model = modelGeometry(g);
    // A sidecar waits only while it may save a build: not once the model's
    // operator is held (a save writes that one).
    if (!model || pending_eff_key != g.key() || effects_fit(effects, g)) {
        pending_eff.clear();
        pending_eff_key = EffectsKey();
    }
    if (!model || pending_effh_key == 0 || pending_effh_key != layerEffectsKeyFor(g) || layerEffectsServe(g)) {
        pending_effh.clear();
        pending_effh_key = 0;
    }
}
