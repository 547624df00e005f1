#pragma once
// Re-normalisation of the regularizer.
//
// The regularizer is held normalised: with one offset per level, every
// stored cell equals (raw value - offset of its level) * scale; with no
// offsets it equals raw value * scale. A recalculation first restores the
// raw grid from the stored offsets and scale, then removes the level means
// or minima (or nothing), recording them as the new offsets, and scales the
// grid so that its largest magnitude is 1. Repeating a mode therefore gives
// the same grid, and the modes can be switched in any order.
#include "common/types.h"

#include <vector>

namespace regularizers {

enum class RecalcMode {
    Initial,      // no de-trending: the offsets are emptied
    DeleteMeans,  // every level loses its mean
    DeleteMins    // every level loses its minimum
};

// Recalculates in place. Does nothing and returns false for an empty or
// ragged grid. A scale that is 0 or not a finite number is taken as 1 when
// the raw grid is restored. A grid whose cells are all 0 after the
// de-trending keeps scale 1 (there is nothing to normalise).
bool recalc_regularizer(vector3D& grid, std::vector<double>& offsets, double& scale, RecalcMode mode);

// The raw grid as loaded: a copy with every cell divided by the scale and,
// when the offsets hold one value per level, its level's offset added back.
// The stored grid is not touched. An empty grid gives an empty copy.
vector3D denormalized_regularizer(const vector3D& grid, const std::vector<double>& offsets, double scale);

// The regularizer in the units it was read in, as a file stores it. `read`
// holds the values the grid was last read from (empty when it was built or
// resampled since). While the grid still derives from them (every cell
// de-normalised lies within a few float roundings of its read value) those
// values are given exactly, so saving a regularizer that was opened gives the
// file it came from, and save, open and save again give the same file. For
// any other grid the de-normalised copy is given. The stored grid is not
// touched.
vector3D regularizer_for_file(const vector3D& grid, const std::vector<double>& offsets, double scale,
                              const vector3D& read);

}  // namespace regularizers
