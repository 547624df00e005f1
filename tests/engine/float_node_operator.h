#pragma once
// An operator level as a builder that follows the documented method makes
// it: the nodes and the unit cell at the padded coordinates held in float,
// the prism kernel node by node, fft_shift and the single-precision
// transform; the full level, real part.
#include "engine/fft.h"
#include "engine/forward.h"
#include "engine/prism.h"

inline vector2D float_node_level(const ForwardGeometry& g, int k)
{
    field2D cell(g.My, std::vector<double>(g.Mx));
    const double xc = g.x_padded[std::size_t(g.Mx / 2)], yc = g.y_padded[std::size_t(g.My / 2)];
    const float hx = g.dx * 0.5f, hy = g.dy * 0.5f;
    prism_gravity_kernel(g.x_padded, g.y_padded, g.calc_level - 1e-6, {xc - hx, xc + hx}, {yc - hy, yc + hy},
                         {g.depths[std::size_t(k)], g.depths[std::size_t(k)] + g.dz}, 1.0, cell, 4);
    vector2D re(g.My, std::vector<float>(g.Mx)), im(g.My, std::vector<float>(g.Mx, 0.0f));
    fft_shift(cell, re);
    fft_2d(re, im, fft_forward);
    return re;
}

// The whole operator of such a builder, folded into quarters; false when a
// level is not even within `tolerance`.
inline bool float_node_operator(const ForwardGeometry& g, EffectsOperator& op, double tolerance = 0.5)
{
    op.shape(g.nz, g.My, g.Mx);
    for (int k = 0; k < g.nz; ++k) {
        const vector2D level = float_node_level(g, k);
        if (!effects_fold_level(level.data(), g.My, g.Mx, op.quarter[std::size_t(k)], tolerance))
            return false;
    }
    return true;
}
