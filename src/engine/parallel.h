#pragma once
// Worker-thread routines of the spectral engine. Each call hands contiguous
// ranges of rows or levels to worker threads and waits for them all before
// returning, so to the caller it is an ordinary blocking function. The
// workers are kept alive between calls in a small pool owned by the engine
// (starting and joining threads on every call cost more than the work of a
// short call). Workers share the grids without locks; each writes only its
// own range.
//
// Splitting rule: with n items and T threads, worker i (i = 0 .. T-1) takes
// the items [i*n/T, (i+1)*n/T) (integer division). A thread count below 1 is
// treated as 1. Results do not depend on the thread count.
#include "common/types.h"
#include "engine/effects_operator.h"

#include <cstddef>
#include <functional>
#include <vector>

// Runs work(begin, end) over the ranges of the splitting rule on the pool's
// workers and the calling thread (a single range runs on the calling
// thread). When the system cannot start a thread, the threads there are do
// the work. An exception thrown by work is passed on to the caller once all
// ranges have ended. May be called from inside work.
void run_split(size_t item_count, int thread_count,
               const std::function<void(size_t begin, size_t end)>& work);

// The ranges run_split(item_count, thread_count) hands out, and so the
// most threads that run them: min(item_count, thread_count), at least 1.
// Work that keeps scratch per range or per thread makes this many.
size_t split_workers(size_t item_count, int thread_count);

// The number of the range of run_split(item_count, thread_count) that starts
// at `begin` (0 .. min(item_count, thread_count) - 1; distinct for the
// non-empty ranges of one call), for work that keeps scratch per range.
size_t split_range_index(size_t begin, size_t item_count, int thread_count);

// Predicted spectrum: out_re[r][k] = sum over levels l of
// effects.at(l, r, k) * model_re[l][r][k] (each product formed in float,
// summed in double, levels in order), out_im likewise with model_im.
// The outputs must already have the padded size; they are overwritten.
// Rows are split over the workers. An operator of another grid (fewer
// levels, rows or columns) is used as far as it goes: cells beyond it get
// no term, and it is never read past its end.
void parallel_accumulate_effects(const EffectsOperator& effects, const vector3D& model_re,
                                 const vector3D& model_im, field2D& out_re, field2D& out_im,
                                 int thread_count);

// Gradient step: for every level l whose weight is not 0 (NaN counts as
// non-zero), model_re[l][r][k] = float(model_re - effects.at(l, r, k) *
// misfit_re[r][k] * weights[l]) computed in double, model_im likewise with
// misfit_im. Levels with weight 0, and cells beyond an operator of another
// grid, stay bit-for-bit unchanged. Levels are split over the workers.
void parallel_update_model(const EffectsOperator& effects, vector3D& model_re, vector3D& model_im,
                           const field2D& misfit_re, const field2D& misfit_im,
                           const std::vector<double>& weights, int thread_count);

// Single-precision fft_2d (see engine/fft.h) of every level, in place;
// direction 0 forward, 1 inverse. Levels are split over the workers.
void parallel_fft_layers(vector3D& re, vector3D& im, int direction, int thread_count);
