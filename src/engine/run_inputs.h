#pragma once
// The check every run (the forward calculation, the 3D, lateral and layered
// inversions, horizon fitting) makes before it starts: the grids it reads
// must hold finite numbers only. A NaN or an infinity in one cell spreads
// through the spectra to every value of the result, so a run that started
// from it would end in a field of NaN or in a "diverged" inversion whose
// advice (a smaller step) cannot help.
#include "common/types.h"

#include <QString>

#include <vector>

// The grids a run reads; a null pointer is a grid the run does not read.
struct RunInputs {
    const vector3D* density = nullptr;
    const field2D* observed = nullptr;
    const std::vector<field2D>* horizons = nullptr;
    const vector3D* regularizer = nullptr;
};

// Why the run cannot start: the first grid (in the order above) holding a
// value that is not a finite number, named with its first such cell (level,
// row, column counted from 1; horizons by their number from 1) and the count
// of such cells. Empty when every cell is finite.
QString non_finite_input_text(const RunInputs& inputs, int language);
