#pragma once
// Radix-2 complex FFT in one and two dimensions, and the quadrant swap.
//
// A complex grid is held as two grids of equal shape (real parts, imaginary
// parts): two vector2D in single precision, two field2D in double precision.
// Sizes must be powers of two. The transform has the positive exponent and no
// scaling:  X[m] = sum_n x[n] * exp(+2*pi*i*n*m/N).
//
// Single-precision forms do all butterfly arithmetic in float (the stage angle
// is formed in double and rounded to float); double forms work in double.
// Twiddles come from a recurrence with one cosine and one sine per stage, so
// results are bit-identical between the 1D and the 2D routines and do not
// depend on how rows or columns are batched internally.
#include "common/types.h"

#include <cstddef>
#include <functional>
#include <vector>

// Directions of fft_2d.
enum : int {
    fft_forward = 0, // unscaled forward transform, positive exponent
    fft_inverse = 1  // conjugate input, forward transform, divide by rows*columns
};

// In-place forward transform of the sequence (re[n], im[n]). Both arrays must
// have the same power-of-two length; otherwise nothing is changed.
void fft_radix2(std::vector<float>& re, std::vector<float>& im);
void fft_radix2(std::vector<double>& re, std::vector<double>& im);

// In-place 2D transform: every row, then every column, each by fft_radix2.
// direction 0 (fft_forward): unscaled forward transform.
// direction 1 (fft_inverse): the imaginary parts are negated as the rows are
//   read, and every value is divided by rows*columns at the end (in float for
//   the single form: float(columns) * float(rows)). The real parts are then
//   those of the exact inverse of direction 0; the imaginary parts are the
//   negated imaginary parts of that inverse. Callers use the real parts only.
// Both grids must have the same power-of-two shape (every row as long as the
// first); otherwise nothing is changed.
void fft_2d(vector2D& re, vector2D& im, int direction);
void fft_2d(field2D& re, field2D& im, int direction);

// The two passes of fft_2d on their own, for data whose other rows or
// columns follow from some of them (real or symmetric grids): fft_2d is
// fft_rows over every row, then fft_columns over every column, to the bit.
// fft_rows transforms rows begin .. end-1, which must all have one
// power-of-two length (the grid's other rows may differ); the inverse
// direction conjugates their input. fft_columns transforms columns
// begin .. end-1 over all rows (a power-of-two count, each row at least `end`
// long); the inverse direction divides by the row count times the length of
// the first row. Calls with other shapes change nothing.
void fft_rows(vector2D& re, vector2D& im, std::size_t begin, std::size_t end, int direction);
void fft_rows(field2D& re, field2D& im, std::size_t begin, std::size_t end, int direction);
void fft_columns(vector2D& re, vector2D& im, std::size_t begin, std::size_t end, int direction);
void fft_columns(field2D& re, field2D& im, std::size_t begin, std::size_t end, int direction);

// A batch of columns transformed by the gathering fft_columns: the value of
// row r, column first + j (j < count) is re[((j / lanes) * rows + r) * lanes
// + j % lanes], likewise im. Valid during the consumer's call only.
template <typename T>
struct FftColumnBatch
{
    std::size_t first = 0, count = 0, rows = 0, lanes = 1;
    const T* re = nullptr;
    const T* im = nullptr;
    T re_at(std::size_t r, std::size_t j) const { return re[((j / lanes) * rows + r) * lanes + j % lanes]; }
    T im_at(std::size_t r, std::size_t j) const { return im[((j / lanes) * rows + r) * lanes + j % lanes]; }
};

// Forward transforms of columns begin .. end-1 of a grid of `rows` rows (a
// power of two) whose row r is read from re[r], im[r] (several r may share
// one row, as the repeated pad rows of a padded grid do). Nothing is written
// back: every batch of transformed columns goes to `consume`, batches in
// column order. The values are those fft_columns gives, to the bit.
void fft_columns(const float* const* re, const float* const* im, std::size_t rows, std::size_t begin,
                 std::size_t end, const std::function<void(const FftColumnBatch<float>&)>& consume);
void fft_columns(const double* const* re, const double* const* im, std::size_t rows, std::size_t begin,
                 std::size_t end, const std::function<void(const FftColumnBatch<double>&)>& consume);

// Quadrant swap: with hR = rows/2 and hC = columns/2 (of the source),
// destination row y takes source row y + hR when y < hR, else y - hR; within it
// column x takes source column x + hC when x < hC, else x - hC. For even sizes
// applying it twice restores the grid. The destination must already have the
// source's shape (otherwise it is left untouched); the source is not changed.
void fft_shift(const field2D& source, vector2D& destination);
void fft_shift(const field2D& source, field2D& destination);

// Completes the spectrum of a real grid from its columns 0 .. columns/2:
// every other column c of row r becomes the conjugate of column columns - c
// of row (rows - r) mod rows. Grids must have the same shape.
void fft_complete_half_spectrum(field2D& re, field2D& im);
void fft_complete_half_spectrum(vector2D& re, vector2D& im);

// Whether fft_2d may use the processor's wide vector instructions (AVX2)
// when it has them; returns the previous setting. Results are bit-identical
// either way: this only lets tests and diagnostics run the portable code.
bool fft_allow_wide_vectors(bool allow);

// FFT size for n nodes along an axis with the expansion factor p: the smallest
// power of two not less than n * (2p + 1) (1 when that product is at most 1).
int fft_padded_size(int n, double expansion_factor);
