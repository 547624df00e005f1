#pragma once
// Bit-for-bit comparison of grids, for results that must not depend on the
// thread count, the batch size or the path taken.
#include "common/types.h"

#include <cstring>
#include <type_traits>
#include <vector>

// Same shape and the same bytes in every row.
template <typename T>
bool bit_identical(const std::vector<std::vector<T>>& a, const std::vector<std::vector<T>>& b)
{
    static_assert(std::is_arithmetic<T>::value, "rows of numbers only");
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size())
            return false;
        if (!a[i].empty() && std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(T)) != 0)
            return false;
    }
    return true;
}

// Same level count and every level bit-identical.
inline bool bit_identical(const vector3D& a, const vector3D& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t l = 0; l < a.size(); ++l)
        if (!bit_identical(a[l], b[l]))
            return false;
    return true;
}
