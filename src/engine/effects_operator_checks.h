#pragma once
// Checks of a stored operator's data (header-only, like the operator itself,
// so that the file codecs use them without linking the engine).
#include "engine/effects_operator.h"

#include <cstddef>

// True when the operator holds data of one regular shape: at least one
// level, a non-empty grid, every level its whole quarter, and the imaginary
// parts either absent or one full rows x columns grid per level.
inline bool effects_operator_is_whole(const EffectsOperator& e)
{
    if (e.quarter.empty() || e.rows <= 0 || e.columns <= 0)
        return false;
    const std::size_t quarter = static_cast<std::size_t>(e.quarter_rows()) * e.quarter_columns();
    for (const auto& level : e.quarter)
        if (level.size() != quarter)
            return false;
    if (e.im.empty())
        return true;
    if (e.im.size() != e.quarter.size())
        return false;
    for (const auto& level : e.im) {
        if (level.size() != static_cast<std::size_t>(e.rows))
            return false;
        for (const auto& row : level)
            if (row.size() != static_cast<std::size_t>(e.columns))
                return false;
    }
    return true;
}
