#pragma once
// The stored forward operator and the geometry it was built for.
#include "common/types.h"

#include <vector>

// Everything a stored operator depends on: metadata kept beside the data,
// whatever the layout of the data. An operator serves a model only when its
// key equals the key of that model's geometry; `valid` is false for an
// operator of unknown geometry, which serves none.
struct EffectsKey
{
    bool valid = false;
    int levels = 0;              // model levels (one operator level each)
    int rows = 0, columns = 0;   // padded FFT sizes My, Mx
    float dx = 0, dy = 0, dz = 0;
    double padded_x0 = 0, padded_y0 = 0;  // first padded node (the kernel's coordinates)
    std::vector<double> depths;  // z of every level's top
    double calc_level = 0;       // z of the calculation level
    double expansion_factor = 0;

    bool operator==(const EffectsKey& o) const
    {
        return valid == o.valid && levels == o.levels && rows == o.rows && columns == o.columns
               && dx == o.dx && dy == o.dy && dz == o.dz && padded_x0 == o.padded_x0
               && padded_y0 == o.padded_y0 && depths == o.depths && calc_level == o.calc_level
               && expansion_factor == o.expansion_factor;
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
    EffectsKey key;  // geometry of the data; set whenever the halves are filled, reset when emptied

    bool empty() const { return re.empty() && im.empty(); }
    void clear()
    {
        vector3D().swap(re);
        vector3D().swap(im);
        key = EffectsKey();
    }
};
