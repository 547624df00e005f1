#pragma once
// Keys of what the engine keeps between runs to save time: the stored
// forward operator (EffectsKey, engine/effects_operator.h), the layered
// inversion's slab effects (layer_effects_key, engine/layered_inversion.h)
// and the cached regularization-weight factor (alpha_factor_key, below).
// Each key covers everything its value depends on, so a kept value serves a
// run only when its key equals the key of the run's model.
#include "common/types.h"
#include "engine/forward.h"

#include <cstdint>
#include <vector>

// A 64-bit FNV-1a fingerprint of plain values.
struct KeyHasher
{
    std::uint64_t h = 14695981039346656037ULL;
    template <typename T>
    void add(const T& v)
    {
        const unsigned char* b = reinterpret_cast<const unsigned char*>(&v);
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            h ^= b[i];
            h *= 1099511628211ULL;
        }
    }
    // Never 0, so that 0 can stand for "no key".
    std::uint64_t value() const { return h == 0 ? 1 : h; }
};

// The factor found by the weight search depends on the stored operator's
// geometry (levels, padded grid, spacings, depths, calculation level,
// expansion factor) and on the observed field it was fitted against.
std::uint64_t alpha_factor_key(const ForwardGeometry& g, const field2D& observed);

// True when a stored operator's data has the sizes of the geometry's: nz
// levels of My rows of Mx values, each held as its whole quarter, and
// imaginary parts either absent or of that full shape. Used to check an
// operator read from a file before it is keyed for the model it was read for.
bool effects_data_has_shape(const EffectsOperator& effects, const ForwardGeometry& g);
