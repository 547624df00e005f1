#include "engine/operator_keys.h"

#include "engine/effects_operator_checks.h"

std::uint64_t alpha_factor_key(const ForwardGeometry& g, const field2D& observed)
{
    const EffectsKey k = g.key();
    KeyHasher f;
    for (int v : {k.levels, k.rows, k.columns, g.nx, g.ny})
        f.add(v);
    for (float v : {k.dx, k.dy, k.dz})
        f.add(v);
    for (double v : {k.padded_x0, k.padded_y0, k.calc_level, k.expansion_factor})
        f.add(v);
    for (double v : k.depths)
        f.add(v);
    f.add(observed.size());
    for (const auto& row : observed) {
        f.add(row.size());
        for (double v : row)
            f.add(v);
    }
    return f.value();
}

bool effects_data_has_shape(const EffectsOperator& effects, const ForwardGeometry& g)
{
    return effects.levels() == g.nz && effects.rows == g.My && effects.columns == g.Mx
           && effects_operator_is_whole(effects);
}
