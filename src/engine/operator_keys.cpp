#include "engine/operator_keys.h"

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
    if (effects.levels() != g.nz || effects.rows != g.My || effects.columns != g.Mx)
        return false;
    const std::size_t quarter = static_cast<std::size_t>(effects.quarter_rows()) * effects.quarter_columns();
    for (const auto& level : effects.quarter)
        if (level.size() != quarter)
            return false;
    if (effects.im.empty())
        return true;
    if (effects.im.size() != static_cast<std::size_t>(g.nz))
        return false;
    for (const auto& level : effects.im) {
        if (level.size() != static_cast<std::size_t>(g.My))
            return false;
        for (const auto& row : level)
            if (row.size() != static_cast<std::size_t>(g.Mx))
                return false;
    }
    return true;
}
