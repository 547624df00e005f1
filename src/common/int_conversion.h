#pragma once
// Whole-number conversion of stored values that may be damaged.
#include <cmath>

// Integer part of v (towards zero); 0 for a value that is not a number, and
// clamped to the int range so that a huge or infinite value cannot overflow.
inline int saturating_int(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483647.0)
        return -2147483647;
    return static_cast<int>(v);
}
