#include "engine/fft.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

// The 2D transform works on batches of rows or columns at once: W sequences
// are interleaved in a scratch array laid out [element][lane], so every
// butterfly is one vector operation over W independent sequences. Every lane
// does exactly the arithmetic of fft_radix2 on its own sequence (same
// twiddles, same operation order), so the batched transform is bit-identical
// to transforming every row and column one by one. Two consecutive radix-2
// stages are done per pass over the scratch (the butterflies of both stages on
// four elements kept in registers), which halves the memory traffic without
// changing any arithmetic.

// The vectors are GCC's vector extensions. On x86 a second copy of the 2D
// transform is built for AVX2 (eight floats or four doubles per vector) and
// chosen at run time when the processor has it; the portable copy uses
// 16-byte vectors.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TOLMERA_FFT_AVX2 1
#endif

#if defined(__GNUC__)
#define TOLMERA_INLINE inline __attribute__((always_inline))
#else
#define TOLMERA_INLINE inline
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;

bool is_power_of_two(size_t n) { return n != 0 && (n & (n - 1)) == 0; }

unsigned log2_of(size_t n)
{
    unsigned l = 0;
    while ((size_t(1) << l) < n)
        ++l;
    return l;
}

// Stage rotation w = cos(pi/h) + i sin(pi/h) in the working precision: the
// angle is formed in double and rounded to T.
template <typename T>
void stage_rotation(size_t h, T& wr, T& wi)
{
    const T angle = static_cast<T>(kPi / static_cast<double>(h));
    wr = std::cos(angle);
    wi = std::sin(angle);
}

// One-dimensional transform exactly as specified: counter-method bit reversal,
// then radix-2 stages with the twiddle advanced by recurrence after every offset.
template <typename T>
void radix2_inplace(T* re, T* im, size_t n)
{
    size_t d = 1;
    for (size_t j = 1; j < n; ++j) {
        if (j < d) {
            std::swap(re[d - 1], re[j - 1]);
            std::swap(im[d - 1], im[j - 1]);
        }
        size_t e = n / 2;
        while (e < d) {
            d -= e;
            e /= 2;
        }
        d += e;
    }
    for (size_t L = 2; L <= n; L *= 2) {
        const size_t h = L / 2;
        T wr, wi;
        stage_rotation(h, wr, wi);
        T ur = 1, ui = 0;
        for (size_t k = 0; k < h; ++k) {
            for (size_t p = k; p < n; p += L) {
                const T tr = re[p + h] * ur - im[p + h] * ui;
                const T ti = re[p + h] * ui + im[p + h] * ur;
                re[p + h] = re[p] - tr;
                im[p + h] = im[p] - ti;
                re[p] = re[p] + tr;
                im[p] = im[p] + ti;
            }
            const T t = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = t;
        }
    }
}

// The twiddles of every stage, by the same recurrence as radix2_inplace:
// stage with half span h uses tw[h + k] for offset k (entries 1 .. n-1).
template <typename T>
void stage_twiddles(size_t n, std::vector<T>& twr, std::vector<T>& twi)
{
    twr.assign(n < 2 ? 2 : n, T(0));
    twi.assign(n < 2 ? 2 : n, T(0));
    for (size_t h = 1; h < n; h *= 2) {
        T wr, wi;
        stage_rotation(h, wr, wi);
        T ur = 1, ui = 0;
        for (size_t k = 0; k < h; ++k) {
            twr[h + k] = ur;
            twi[h + k] = ui;
            const T t = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = t;
        }
    }
}

// Bit-reversal permutation of 0 .. n-1 (the permutation the counter method makes).
std::vector<uint32_t> bit_reversal(size_t n)
{
    std::vector<uint32_t> rev(n);
    const unsigned bits = log2_of(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t r = 0;
        for (unsigned b = 0; b < bits; ++b)
            if (i & (size_t(1) << b))
                r |= uint32_t(1) << (bits - 1 - b);
        rev[i] = r;
    }
    return rev;
}

typedef float v8f __attribute__((vector_size(32)));
typedef double v4d __attribute__((vector_size(32)));
typedef float v4f __attribute__((vector_size(16)));
typedef double v2d __attribute__((vector_size(16)));

template <typename V, typename T>
TOLMERA_INLINE void butterfly(V& ar, V& ai, V& br, V& bi, T ur, T ui)
{
    const V tr = br * ur - bi * ui;
    const V ti = br * ui + bi * ur;
    br = ar - tr;
    bi = ai - ti;
    ar = ar + tr;
    ai = ai + ti;
}

// One radix-2 stage (half span h) over the n interleaved elements at re, im.
template <typename V, typename T>
TOLMERA_INLINE void single_stage(V* __restrict re, V* __restrict im, size_t n, size_t h,
                                 const T* twr, const T* twi)
{
    const size_t L = 2 * h;
    for (size_t b = 0; b < n; b += L) {
        V* r = re + b;
        V* i = im + b;
        for (size_t k = 0; k < h; ++k) {
            V r0 = r[k], i0 = i[k], r1 = r[k + h], i1 = i[k + h];
            butterfly(r0, i0, r1, i1, twr[h + k], twi[h + k]);
            r[k] = r0;
            i[k] = i0;
            r[k + h] = r1;
            i[k + h] = i1;
        }
    }
}

// Two consecutive stages (half spans h and 2h) in one pass: the butterflies
// of both stages on four elements held in registers.
template <typename V, typename T>
TOLMERA_INLINE void double_stage(V* __restrict re, V* __restrict im, size_t n, size_t h,
                                 const T* twr, const T* twi)
{
    const size_t h2 = 2 * h, h3 = 3 * h, L = 4 * h;
    for (size_t b = 0; b < n; b += L) {
        V* r = re + b;
        V* i = im + b;
        for (size_t k = 0; k < h; ++k) {
            const T u1r = twr[h + k], u1i = twi[h + k];
            const T u2r = twr[h2 + k], u2i = twi[h2 + k];
            const T u3r = twr[h3 + k], u3i = twi[h3 + k];
            V r0 = r[k], i0 = i[k];
            V r1 = r[k + h], i1 = i[k + h];
            V r2 = r[k + h2], i2 = i[k + h2];
            V r3 = r[k + h3], i3 = i[k + h3];
            // stage with half span h: pairs (0,1) and (2,3)
            butterfly(r0, i0, r1, i1, u1r, u1i);
            butterfly(r2, i2, r3, i3, u1r, u1i);
            // stage with half span 2h: pairs (0,2) with offset k, (1,3) with offset k+h
            butterfly(r0, i0, r2, i2, u2r, u2i);
            butterfly(r1, i1, r3, i3, u3r, u3i);
            r[k] = r0;
            i[k] = i0;
            r[k + h] = r1;
            i[k + h] = i1;
            r[k + h2] = r2;
            i[k + h2] = i2;
            r[k + h3] = r3;
            i[k + h3] = i3;
        }
    }
}

// Stages with half spans h_begin, 2*h_begin, .. below h_end over n elements,
// two at a time while two remain.
template <typename V, typename T>
TOLMERA_INLINE void stage_range(V* re, V* im, size_t n, size_t h_begin, size_t h_end,
                                const T* twr, const T* twi)
{
    size_t h = h_begin;
    size_t count = 0;
    for (size_t x = h_begin; x < h_end; x *= 2)
        ++count;
    if (count & 1u) {
        single_stage(re, im, n, h, twr, twi);
        h *= 2;
    }
    for (; h < h_end; h *= 4)
        double_stage(re, im, n, h, twr, twi);
}

// Elements per block whose first stages run while the block stays in the
// level-1 cache (re and im of 256 elements of 32 bytes: 16 KB).
constexpr size_t kBlock = 256;

// Radix-2 stages over W interleaved sequences already in bit-reversed order.
// The stages with half span below kBlock only mix elements within aligned
// blocks of kBlock, so they are done block by block; the rest over the whole.
template <typename V, typename T>
TOLMERA_INLINE void batch_stages(V* re, V* im, size_t n, const T* twr, const T* twi)
{
    if (n <= kBlock) {
        stage_range(re, im, n, 1, n, twr, twi);
        return;
    }
    for (size_t b = 0; b < n; b += kBlock)
        stage_range(re + b, im + b, kBlock, 1, kBlock, twr, twi);
    stage_range(re, im, n, kBlock, n, twr, twi);
}

// In-register transposes: rows[b] holds W consecutive elements of sequence b;
// afterwards rows[e] holds element e of the W sequences.
TOLMERA_INLINE void transpose(v8f* x)
{
    const v8f t0 = __builtin_shufflevector(x[0], x[1], 0, 8, 1, 9, 4, 12, 5, 13);
    const v8f t1 = __builtin_shufflevector(x[0], x[1], 2, 10, 3, 11, 6, 14, 7, 15);
    const v8f t2 = __builtin_shufflevector(x[2], x[3], 0, 8, 1, 9, 4, 12, 5, 13);
    const v8f t3 = __builtin_shufflevector(x[2], x[3], 2, 10, 3, 11, 6, 14, 7, 15);
    const v8f t4 = __builtin_shufflevector(x[4], x[5], 0, 8, 1, 9, 4, 12, 5, 13);
    const v8f t5 = __builtin_shufflevector(x[4], x[5], 2, 10, 3, 11, 6, 14, 7, 15);
    const v8f t6 = __builtin_shufflevector(x[6], x[7], 0, 8, 1, 9, 4, 12, 5, 13);
    const v8f t7 = __builtin_shufflevector(x[6], x[7], 2, 10, 3, 11, 6, 14, 7, 15);
    const v8f s0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    const v8f s1 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    const v8f s2 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    const v8f s3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
    const v8f s4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
    const v8f s5 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
    const v8f s6 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
    const v8f s7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
    x[0] = __builtin_shufflevector(s0, s4, 0, 1, 2, 3, 8, 9, 10, 11);
    x[1] = __builtin_shufflevector(s1, s5, 0, 1, 2, 3, 8, 9, 10, 11);
    x[2] = __builtin_shufflevector(s2, s6, 0, 1, 2, 3, 8, 9, 10, 11);
    x[3] = __builtin_shufflevector(s3, s7, 0, 1, 2, 3, 8, 9, 10, 11);
    x[4] = __builtin_shufflevector(s0, s4, 4, 5, 6, 7, 12, 13, 14, 15);
    x[5] = __builtin_shufflevector(s1, s5, 4, 5, 6, 7, 12, 13, 14, 15);
    x[6] = __builtin_shufflevector(s2, s6, 4, 5, 6, 7, 12, 13, 14, 15);
    x[7] = __builtin_shufflevector(s3, s7, 4, 5, 6, 7, 12, 13, 14, 15);
}

TOLMERA_INLINE void transpose(v4f* x)
{
    const v4f t0 = __builtin_shufflevector(x[0], x[1], 0, 4, 1, 5);
    const v4f t1 = __builtin_shufflevector(x[0], x[1], 2, 6, 3, 7);
    const v4f t2 = __builtin_shufflevector(x[2], x[3], 0, 4, 1, 5);
    const v4f t3 = __builtin_shufflevector(x[2], x[3], 2, 6, 3, 7);
    x[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    x[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    x[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    x[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

TOLMERA_INLINE void transpose(v2d* x)
{
    const v2d t0 = __builtin_shufflevector(x[0], x[1], 0, 2);
    const v2d t1 = __builtin_shufflevector(x[0], x[1], 1, 3);
    x[0] = t0;
    x[1] = t1;
}

TOLMERA_INLINE void transpose(v4d* x)
{
    const v4d t0 = __builtin_shufflevector(x[0], x[1], 0, 4, 2, 6);
    const v4d t1 = __builtin_shufflevector(x[0], x[1], 1, 5, 3, 7);
    const v4d t2 = __builtin_shufflevector(x[2], x[3], 0, 4, 2, 6);
    const v4d t3 = __builtin_shufflevector(x[2], x[3], 1, 5, 3, 7);
    x[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    x[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    x[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    x[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// The twiddles and the bit-reversal permutation of one length, made once per
// thread and length and kept: every transform of that length reuses them.
template <typename T>
struct Tables {
    std::vector<T> twr, twi;
    std::vector<uint32_t> rev;
};

template <typename T>
const Tables<T>& tables_for(size_t n)
{
    thread_local std::vector<std::pair<size_t, Tables<T>>> cache;
    for (const auto& e : cache)
        if (e.first == n)
            return e.second;
    Tables<T> t;
    stage_twiddles(n, t.twr, t.twi);
    t.rev = bit_reversal(n);
    cache.emplace_back(n, std::move(t));
    return cache.back().second;
}

// Working memory of the transforms, kept per thread between calls; it grows
// to the largest size asked for and is never cleared (every element a
// transform reads it has written first).
template <typename T>
T* scratch_storage(size_t count)
{
    struct Block {
        T* data = nullptr;
        size_t size = 0;
        ~Block() { std::free(data); }
    };
    thread_local Block block;
    if (block.size < count) {
        std::free(block.data);
        block.data = nullptr;
        block.size = 0;
        void* p = nullptr;
        if (posix_memalign(&p, 64, count * sizeof(T)) != 0 || !p)
            throw std::bad_alloc();
        block.data = static_cast<T*>(p);
        block.size = count;
    }
    return block.data;
}

// Interleaved scratch of `groups` sequences-of-W batches of n elements,
// 64-byte aligned, with the twiddles and the bit-reversal permutation of
// length n. Group g occupies re + g*n and im + g*n.
template <typename T, typename V>
struct Scratch {
    static constexpr size_t W = sizeof(V) / sizeof(T);
    const Tables<T>& tables;
    V* re;
    V* im;

    Scratch(size_t n, size_t groups)
        : tables(tables_for<T>(n))
    {
        re = reinterpret_cast<V*>(scratch_storage<T>(2 * groups * n * W));
        im = re + groups * n;
    }
    const T* twr() const { return tables.twr.data(); }
    const T* twi() const { return tables.twi.data(); }
    const uint32_t* rev() const { return tables.rev.data(); }
    T* lanes_re(size_t e) { return reinterpret_cast<T*>(re + e); }
    T* lanes_im(size_t e) { return reinterpret_cast<T*>(im + e); }
};

// Column batches taken together per visit of a row: every row is touched
// once per K*W columns (a whole cache line of floats), which keeps the
// translation and cache misses of the column pass down.
constexpr size_t kColumnGroups = 2;

// Rows begin .. end-1 of a grid (each nc long, a power of two): W rows at a
// time are interleaved (transposed) into the scratch in bit-reversed order,
// transformed, and written back. The inverse direction conjugates the input.
template <typename T, typename V>
TOLMERA_INLINE void fft_rows_batched(std::vector<std::vector<T>>& gre, std::vector<std::vector<T>>& gim,
                                     size_t row_begin, size_t row_end, bool inverse)
{
    constexpr size_t W = sizeof(V) / sizeof(T);
    const size_t nc = gre[row_begin].size();
    Scratch<T, V> s(nc, 1);
    const uint32_t* rev = s.rev();
    T* row_re[W];
    T* row_im[W];
    for (size_t r0 = row_begin; r0 < row_end; r0 += W) {
        const size_t m = row_end - r0 < W ? row_end - r0 : W;
        for (size_t b = 0; b < m; ++b) {
            row_re[b] = gre[r0 + b].data();
            row_im[b] = gim[r0 + b].data();
        }
        if (m < W) {
            std::memset(static_cast<void*>(s.re), 0, nc * sizeof(V));
            std::memset(static_cast<void*>(s.im), 0, nc * sizeof(V));
        }
        if (m == W && nc % W == 0) {
            // W x W tiles transposed in registers.
            for (size_t e = 0; e < nc; e += W) {
                V xr[W], xi[W];
                for (size_t b = 0; b < W; ++b) {
                    std::memcpy(&xr[b], row_re[b] + e, sizeof(V));
                    std::memcpy(&xi[b], row_im[b] + e, sizeof(V));
                }
                transpose(xr);
                transpose(xi);
                for (size_t q = 0; q < W; ++q) {
                    s.re[rev[e + q]] = xr[q];
                    s.im[rev[e + q]] = inverse ? -xi[q] : xi[q];
                }
            }
        } else {
            for (size_t e = 0; e < nc; ++e) {
                T* dr = s.lanes_re(rev[e]);
                T* di = s.lanes_im(rev[e]);
                for (size_t b = 0; b < m; ++b) {
                    dr[b] = row_re[b][e];
                    di[b] = inverse ? -row_im[b][e] : row_im[b][e];
                }
            }
        }
        batch_stages(s.re, s.im, nc, s.twr(), s.twi());
        if (m == W && nc % W == 0) {
            for (size_t e = 0; e < nc; e += W) {
                V xr[W], xi[W];
                for (size_t q = 0; q < W; ++q) {
                    xr[q] = s.re[e + q];
                    xi[q] = s.im[e + q];
                }
                transpose(xr);
                transpose(xi);
                for (size_t b = 0; b < W; ++b) {
                    std::memcpy(row_re[b] + e, &xr[b], sizeof(V));
                    std::memcpy(row_im[b] + e, &xi[b], sizeof(V));
                }
            }
        } else {
            for (size_t e = 0; e < nc; ++e) {
                const T* sr = s.lanes_re(e);
                const T* si = s.lanes_im(e);
                for (size_t b = 0; b < m; ++b) {
                    row_re[b][e] = sr[b];
                    row_im[b][e] = si[b];
                }
            }
        }
    }
}

// Columns begin .. end-1 of nr rows (a power of two), row e read from
// in_re(e), in_im(e): neighbouring columns are loaded as vectors of W from
// each row, K batches of W per visit of a row. After each batch's stages
// sink(c0, count, sre, sim) takes the batch: column c0 + j of row e is lane
// j % W of vector (j / W) * nr + e.
template <typename T, typename V, typename InRe, typename InIm, typename Sink>
TOLMERA_INLINE void fft_columns_core(InRe in_re, InIm in_im, size_t nr, size_t col_begin, size_t col_end,
                                     Sink&& sink)
{
    constexpr size_t W = sizeof(V) / sizeof(T);
    constexpr size_t K = kColumnGroups;
    Scratch<T, V> s(nr, K);
    const uint32_t* rev = s.rev();
    V* const sre = s.re;
    V* const sim = s.im;
    size_t c0 = col_begin;
    for (; c0 + K * W <= col_end; c0 += K * W) {
        for (size_t e = 0; e < nr; ++e) {
            const T* pr = in_re(e) + c0;
            const T* pi = in_im(e) + c0;
            const size_t q = rev[e];
            for (size_t g = 0; g < K; ++g) {
                std::memcpy(sre + g * nr + q, pr + g * W, sizeof(V));
                std::memcpy(sim + g * nr + q, pi + g * W, sizeof(V));
            }
        }
        for (size_t g = 0; g < K; ++g)
            batch_stages(sre + g * nr, sim + g * nr, nr, s.twr(), s.twi());
        sink(c0, K * W, sre, sim);
    }
    // The remaining columns (fewer than K*W), W or fewer at a time.
    for (; c0 < col_end; c0 += W) {
        const size_t m = col_end - c0 < W ? col_end - c0 : W;
        if (m < W) {
            std::memset(static_cast<void*>(sre), 0, nr * sizeof(V));
            std::memset(static_cast<void*>(sim), 0, nr * sizeof(V));
        }
        for (size_t e = 0; e < nr; ++e) {
            T* dr = s.lanes_re(rev[e]);
            T* di = s.lanes_im(rev[e]);
            const T* pr = in_re(e) + c0;
            const T* pi = in_im(e) + c0;
            for (size_t b = 0; b < m; ++b) {
                dr[b] = pr[b];
                di[b] = pi[b];
            }
        }
        batch_stages(sre, sim, nr, s.twr(), s.twi());
        sink(c0, m, sre, sim);
    }
}

// Columns begin .. end-1 of a grid, in place. A divisor other than 1
// divides every result (the inverse).
template <typename T, typename V>
TOLMERA_INLINE void fft_columns_batched(std::vector<std::vector<T>>& gre, std::vector<std::vector<T>>& gim,
                                        size_t col_begin, size_t col_end, bool inverse, T divisor)
{
    constexpr size_t W = sizeof(V) / sizeof(T);
    const size_t nr = gre.size();
    fft_columns_core<T, V>([&](size_t e) -> const T* { return gre[e].data(); },
                           [&](size_t e) -> const T* { return gim[e].data(); }, nr, col_begin, col_end,
                           [&](size_t c0, size_t count, V* sre, V* sim) {
                               const size_t groups = (count + W - 1) / W;
                               if (inverse) {
                                   for (size_t e = 0; e < groups * nr; ++e) {
                                       sre[e] = sre[e] / divisor;
                                       sim[e] = sim[e] / divisor;
                                   }
                               }
                               if (count % W == 0) {
                                   for (size_t e = 0; e < nr; ++e) {
                                       T* pr = gre[e].data() + c0;
                                       T* pi = gim[e].data() + c0;
                                       for (size_t g = 0; g < groups; ++g) {
                                           std::memcpy(pr + g * W, sre + g * nr + e, sizeof(V));
                                           std::memcpy(pi + g * W, sim + g * nr + e, sizeof(V));
                                       }
                                   }
                                   return;
                               }
                               for (size_t e = 0; e < nr; ++e) {
                                   const T* sr = reinterpret_cast<const T*>(sre + e);
                                   const T* si = reinterpret_cast<const T*>(sim + e);
                                   for (size_t b = 0; b < count; ++b) {
                                       gre[e][c0 + b] = sr[b];
                                       gim[e][c0 + b] = si[b];
                                   }
                               }
                           });
}

// Columns begin .. end-1 of the rows given by pointers, handed to a consumer.
template <typename T, typename V>
TOLMERA_INLINE void fft_columns_gathered(const T* const* in_re, const T* const* in_im, size_t nr,
                                         size_t col_begin, size_t col_end,
                                         const std::function<void(const FftColumnBatch<T>&)>& consume)
{
    constexpr size_t W = sizeof(V) / sizeof(T);
    fft_columns_core<T, V>([&](size_t e) { return in_re[e]; }, [&](size_t e) { return in_im[e]; }, nr,
                           col_begin, col_end, [&](size_t c0, size_t count, V* sre, V* sim) {
                               FftColumnBatch<T> batch;
                               batch.first = c0;
                               batch.count = count;
                               batch.rows = nr;
                               batch.lanes = W;
                               batch.re = reinterpret_cast<const T*>(sre);
                               batch.im = reinterpret_cast<const T*>(sim);
                               consume(batch);
                           });
}

template <typename T, typename V>
TOLMERA_INLINE void fft_2d_batched(std::vector<std::vector<T>>& gre,
                                   std::vector<std::vector<T>>& gim, int direction)
{
    const size_t nr = gre.size();
    const size_t nc = gre[0].size();
    const bool inverse = direction == 1;
    fft_rows_batched<T, V>(gre, gim, 0, nr, inverse);
    fft_columns_batched<T, V>(gre, gim, 0, nc, inverse, static_cast<T>(nc) * static_cast<T>(nr));
}

template <typename T>
bool valid_complex_grid(const std::vector<std::vector<T>>& re, const std::vector<std::vector<T>>& im)
{
    if (re.empty() || re.size() != im.size() || !is_power_of_two(re.size()))
        return false;
    const size_t nc = re[0].size();
    if (!is_power_of_two(nc))
        return false;
    for (size_t i = 0; i < re.size(); ++i)
        if (re[i].size() != nc || im[i].size() != nc)
            return false;
    return true;
}

void fft_2d_portable(vector2D& re, vector2D& im, int direction)
{
    fft_2d_batched<float, v4f>(re, im, direction);
}

void fft_2d_portable(field2D& re, field2D& im, int direction)
{
    fft_2d_batched<double, v2d>(re, im, direction);
}

void fft_rows_portable(vector2D& re, vector2D& im, size_t b, size_t e, bool inverse)
{
    fft_rows_batched<float, v4f>(re, im, b, e, inverse);
}

void fft_rows_portable(field2D& re, field2D& im, size_t b, size_t e, bool inverse)
{
    fft_rows_batched<double, v2d>(re, im, b, e, inverse);
}

void fft_columns_portable(vector2D& re, vector2D& im, size_t b, size_t e, bool inverse, float d)
{
    fft_columns_batched<float, v4f>(re, im, b, e, inverse, d);
}

void fft_columns_portable(field2D& re, field2D& im, size_t b, size_t e, bool inverse, double d)
{
    fft_columns_batched<double, v2d>(re, im, b, e, inverse, d);
}

void fft_columns_gathered_portable(const float* const* re, const float* const* im, size_t nr, size_t b,
                                   size_t e, const std::function<void(const FftColumnBatch<float>&)>& f)
{
    fft_columns_gathered<float, v4f>(re, im, nr, b, e, f);
}

void fft_columns_gathered_portable(const double* const* re, const double* const* im, size_t nr, size_t b,
                                   size_t e, const std::function<void(const FftColumnBatch<double>&)>& f)
{
    fft_columns_gathered<double, v2d>(re, im, nr, b, e, f);
}

#if TOLMERA_FFT_AVX2
__attribute__((target("avx2"))) void fft_2d_avx2(vector2D& re, vector2D& im, int direction)
{
    fft_2d_batched<float, v8f>(re, im, direction);
}

__attribute__((target("avx2"))) void fft_2d_avx2(field2D& re, field2D& im, int direction)
{
    fft_2d_batched<double, v4d>(re, im, direction);
}

__attribute__((target("avx2"))) void fft_rows_avx2(vector2D& re, vector2D& im, size_t b, size_t e, bool inverse)
{
    fft_rows_batched<float, v8f>(re, im, b, e, inverse);
}

__attribute__((target("avx2"))) void fft_rows_avx2(field2D& re, field2D& im, size_t b, size_t e, bool inverse)
{
    fft_rows_batched<double, v4d>(re, im, b, e, inverse);
}

__attribute__((target("avx2"))) void fft_columns_avx2(vector2D& re, vector2D& im, size_t b, size_t e,
                                                      bool inverse, float d)
{
    fft_columns_batched<float, v8f>(re, im, b, e, inverse, d);
}

__attribute__((target("avx2"))) void fft_columns_avx2(field2D& re, field2D& im, size_t b, size_t e,
                                                      bool inverse, double d)
{
    fft_columns_batched<double, v4d>(re, im, b, e, inverse, d);
}

__attribute__((target("avx2"))) void fft_columns_gathered_avx2(
    const float* const* re, const float* const* im, size_t nr, size_t b, size_t e,
    const std::function<void(const FftColumnBatch<float>&)>& f)
{
    fft_columns_gathered<float, v8f>(re, im, nr, b, e, f);
}

__attribute__((target("avx2"))) void fft_columns_gathered_avx2(
    const double* const* re, const double* const* im, size_t nr, size_t b, size_t e,
    const std::function<void(const FftColumnBatch<double>&)>& f)
{
    fft_columns_gathered<double, v4d>(re, im, nr, b, e, f);
}

bool avx2_usable()
{
    static const bool usable = __builtin_cpu_supports("avx2");
    return usable;
}
#endif

std::atomic<bool> wide_vectors_allowed{true};

template <typename Grid>
void fft_2d_dispatch(Grid& re, Grid& im, int direction)
{
#if TOLMERA_FFT_AVX2
    if (wide_vectors_allowed.load(std::memory_order_relaxed) && avx2_usable()) {
        fft_2d_avx2(re, im, direction);
        return;
    }
#endif
    fft_2d_portable(re, im, direction);
}

bool wide_vectors()
{
#if TOLMERA_FFT_AVX2
    return wide_vectors_allowed.load(std::memory_order_relaxed) && avx2_usable();
#else
    return false;
#endif
}

template <typename T>
void rows_dispatch(std::vector<std::vector<T>>& re, std::vector<std::vector<T>>& im, size_t begin,
                   size_t end, int direction)
{
    if (begin >= end || end > re.size() || re.size() != im.size())
        return;
    const size_t nc = re[begin].size();
    if (!is_power_of_two(nc))
        return;
    for (size_t r = begin; r < end; ++r)
        if (re[r].size() != nc || im[r].size() != nc)
            return;
#if TOLMERA_FFT_AVX2
    if (wide_vectors()) {
        fft_rows_avx2(re, im, begin, end, direction == fft_inverse);
        return;
    }
#endif
    fft_rows_portable(re, im, begin, end, direction == fft_inverse);
}

template <typename T>
void columns_dispatch(std::vector<std::vector<T>>& re, std::vector<std::vector<T>>& im, size_t begin,
                      size_t end, int direction)
{
    const size_t nr = re.size();
    if (begin >= end || nr != im.size() || !is_power_of_two(nr))
        return;
    for (size_t r = 0; r < nr; ++r)
        if (re[r].size() < end || im[r].size() < end)
            return;
    const T divisor = static_cast<T>(re[0].size()) * static_cast<T>(nr);
#if TOLMERA_FFT_AVX2
    if (wide_vectors()) {
        fft_columns_avx2(re, im, begin, end, direction == fft_inverse, divisor);
        return;
    }
#endif
    fft_columns_portable(re, im, begin, end, direction == fft_inverse, divisor);
}

template <typename T>
void columns_gathered_dispatch(const T* const* re, const T* const* im, size_t rows, size_t begin, size_t end,
                               const std::function<void(const FftColumnBatch<T>&)>& consume)
{
    if (begin >= end || !is_power_of_two(rows) || !consume)
        return;
#if TOLMERA_FFT_AVX2
    if (wide_vectors()) {
        fft_columns_gathered_avx2(re, im, rows, begin, end, consume);
        return;
    }
#endif
    fft_columns_gathered_portable(re, im, rows, begin, end, consume);
}

template <typename T>
void complete_half(std::vector<std::vector<T>>& re, std::vector<std::vector<T>>& im)
{
    const size_t rows = re.size();
    if (rows == 0 || im.size() != rows)
        return;
    const size_t cols = re[0].size();
    for (size_t r = 0; r < rows; ++r)
        if (re[r].size() != cols || im[r].size() != cols)
            return;
    for (size_t r = 0; r < rows; ++r) {
        const size_t rr = r == 0 ? 0 : rows - r;
        T* dr = re[r].data();
        T* di = im[r].data();
        const T* sr = re[rr].data();
        const T* si = im[rr].data();
        for (size_t c = cols / 2 + 1; c < cols; ++c) {
            dr[c] = sr[cols - c];
            di[c] = -si[cols - c];
        }
    }
}

template <typename Src, typename Dst>
void quadrant_swap(const std::vector<std::vector<Src>>& src, std::vector<std::vector<Dst>>& dst)
{
    if (src.empty())
        return;
    const size_t nr = src.size();
    const size_t nc = src[0].size();
    if (dst.size() != nr)
        return;
    for (size_t y = 0; y < nr; ++y)
        if (dst[y].size() < nc || src[y].size() < nc)
            return;
    const size_t hr = nr / 2;
    const size_t hc = nc / 2;
    for (size_t y = 0; y < nr; ++y) {
        const Src* s = src[y < hr ? y + hr : y - hr].data();
        Dst* d = dst[y].data();
        for (size_t x = 0; x < nc; ++x)
            d[x] = static_cast<Dst>(s[x < hc ? x + hc : x - hc]);
    }
}

} // namespace

void fft_radix2(std::vector<float>& re, std::vector<float>& im)
{
    if (re.size() != im.size() || !is_power_of_two(re.size()))
        return;
    radix2_inplace(re.data(), im.data(), re.size());
}

void fft_radix2(std::vector<double>& re, std::vector<double>& im)
{
    if (re.size() != im.size() || !is_power_of_two(re.size()))
        return;
    radix2_inplace(re.data(), im.data(), re.size());
}

void fft_2d(vector2D& re, vector2D& im, int direction)
{
    if (!valid_complex_grid(re, im))
        return;
    fft_2d_dispatch(re, im, direction);
}

void fft_2d(field2D& re, field2D& im, int direction)
{
    if (!valid_complex_grid(re, im))
        return;
    fft_2d_dispatch(re, im, direction);
}

void fft_rows(vector2D& re, vector2D& im, size_t begin, size_t end, int direction)
{
    rows_dispatch(re, im, begin, end, direction);
}

void fft_rows(field2D& re, field2D& im, size_t begin, size_t end, int direction)
{
    rows_dispatch(re, im, begin, end, direction);
}

void fft_columns(vector2D& re, vector2D& im, size_t begin, size_t end, int direction)
{
    columns_dispatch(re, im, begin, end, direction);
}

void fft_columns(field2D& re, field2D& im, size_t begin, size_t end, int direction)
{
    columns_dispatch(re, im, begin, end, direction);
}

void fft_columns(const float* const* re, const float* const* im, size_t rows, size_t begin, size_t end,
                 const std::function<void(const FftColumnBatch<float>&)>& consume)
{
    columns_gathered_dispatch(re, im, rows, begin, end, consume);
}

void fft_columns(const double* const* re, const double* const* im, size_t rows, size_t begin, size_t end,
                 const std::function<void(const FftColumnBatch<double>&)>& consume)
{
    columns_gathered_dispatch(re, im, rows, begin, end, consume);
}

void fft_complete_half_spectrum(field2D& re, field2D& im)
{
    complete_half(re, im);
}

void fft_complete_half_spectrum(vector2D& re, vector2D& im)
{
    complete_half(re, im);
}

void fft_shift(const field2D& source, vector2D& destination)
{
    quadrant_swap(source, destination);
}

void fft_shift(const field2D& source, field2D& destination)
{
    quadrant_swap(source, destination);
}

int fft_padded_size(int n, double expansion_factor)
{
    const double target = static_cast<double>(n) * (2.0 * expansion_factor + 1.0);
    int m = 1;
    while (target > m && m < (1 << 30))
        m *= 2;
    return m;
}

bool fft_allow_wide_vectors(bool allow)
{
    return wide_vectors_allowed.exchange(allow);
}
