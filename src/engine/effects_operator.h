#pragma once
// The stored forward operator and the geometry it was built for.
#include "common/types.h"

#include <vector>

// Everything a stored operator depends on. Two operators are interchangeable
// only when their keys are equal; `valid` is false for an operator whose
// geometry is unknown (read from a file, or not built yet).
struct EffectsKey
{
    bool valid = false;
    int levels = 0;              // model levels (one operator level each)
    int rows = 0, columns = 0;   // padded FFT sizes My, Mx
    float dx = 0, dy = 0, dz = 0;
    std::vector<double> depths;  // z of every level's top
    double calc_level = 0;       // z of the calculation level
    double expansion_factor = 0;

    bool operator==(const EffectsKey& o) const
    {
        return valid == o.valid && levels == o.levels && rows == o.rows && columns == o.columns
               && dx == o.dx && dy == o.dy && dz == o.dz && depths == o.depths
               && calc_level == o.calc_level && expansion_factor == o.expansion_factor;
    }
    bool operator!=(const EffectsKey& o) const { return !(*this == o); }
};

// The stored forward operator: per model level, the real and imaginary parts
// of the 2D spectrum (on the padded FFT grid) of one unit-density cell.
// The engine builds and multiplies the real half; the imaginary half is
// filled only when the operator is built on its own (horizon fitting).
struct EffectsOperator
{
    vector3D re;
    vector3D im;
    EffectsKey key;  // geometry of `re`; reset whenever the halves are replaced

    bool empty() const { return re.empty() && im.empty(); }
    void clear()
    {
        vector3D().swap(re);
        vector3D().swap(im);
        key = EffectsKey();
    }
};
