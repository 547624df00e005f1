#include "engine/horizon_fit.h"

#include "common/grid_geometry.h"
#include "common/grid_helpers.h"

#include <algorithm>
#include <cmath>

HorizonFitScales horizon_fit_scales(const field2D& observed, const vector2D& top, const vector2D& bottom,
                                    double step_scale)
{
    HorizonFitScales s;
    if (!observed.empty() && !observed.front().empty())
        s.range = grid_max(observed) - grid_min(observed);
    if (!top.empty() && !top.front().empty() && grid_has_shape(bottom, top.size(), top.front().size())
        && grid_has_shape(top, top.size(), top.front().size())) {
        vector2D diff(top.size(), std::vector<data_type>(top.front().size()));
        for (std::size_t j = 0; j < top.size(); ++j)
            for (std::size_t i = 0; i < top[j].size(); ++i)
                diff[j][i] = bottom[j][i] - top[j][i];
        s.contrast = std::max(std::abs(static_cast<double>(grid_min(diff))), static_cast<double>(grid_max(diff)));
    }
    s.gain = s.range * step_scale / horizon_fit_slab_mgal / 5.0;
    return s;
}

bool horizon_fit_residual(const field2D& calculated, const field2D& observed, field2D& residual)
{
    if (calculated.empty() || calculated.front().empty()
        || !grid_has_shape(calculated, calculated.size(), calculated.front().size())
        || !grid_has_shape(observed, calculated.size(), calculated.front().size()))
        return false;
    field2D r = calculated;
    grid_subtract(r, observed);
    double sum = 0.0;
    for (const auto& row : r)
        for (double v : row)
            sum += v;
    const double mean = sum / (static_cast<double>(r.size()) * static_cast<double>(r.front().size()));
    for (auto& row : r)
        for (double& v : row)
            v -= mean;
    residual = std::move(r);
    return true;
}

void propose_horizon_depths(const field2D& horizon, const field2D& residual, const vector2D& top,
                            const vector2D& bottom, const HorizonFitScales& scales, field2D& proposed)
{
    proposed = horizon;
    for (std::size_t j = 0; j < horizon.size(); ++j)
        for (std::size_t i = 0; i < horizon[j].size(); ++i) {
            const data_type contrast = top[j][i] - bottom[j][i];
            proposed[j][i] = horizon[j][i]
                             - residual[j][i] / scales.range * scales.gain * static_cast<double>(contrast)
                                   / scales.contrast;
        }
}

int accept_horizon_depths(const field2D& horizon, const field2D& proposed, const field2D& above,
                          const field2D* below, field2D& accepted)
{
    accepted = horizon;
    int moved = 0;
    for (std::size_t j = 0; j < horizon.size(); ++j)
        for (std::size_t i = 0; i < horizon[j].size(); ++i) {
            const double p = proposed[j][i];
            if (!std::isfinite(p) || !(p >= above[j][i]))
                continue;
            if (below && !(p <= (*below)[j][i]))
                continue;
            if (p != horizon[j][i])
                ++moved;
            accepted[j][i] = p;
        }
    return moved;
}
