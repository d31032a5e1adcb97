// AVX-512 kernels of the audio decoder: the complex DFT's levels of 64 points
// and more on blocks of sixteen values; everything else is the AVX2 set's.
// GCC 12 warns of the deliberately undefined vectors inside its own
// AVX-512 intrinsics (unpack, insert); the warning points into the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstddef>

#include "audio/audio_kernels.h"
#include "audio/audio_kernels_x86.h"
#include "audio/complex_dft.h"
#include "audio/dft_butterfly.h"

namespace zarn {
namespace {

// A block holds sixteen complex values as sixteen real parts, then sixteen
// imaginary parts, in natural order. The butterflies do the AVX2 set's
// operations lane for lane, so the results are the same bit for bit.
struct Block {
    __m512 re, im;
};

[[gnu::always_inline]] inline Block LoadBlock(const float* p) {
    return {_mm512_loadu_ps(p), _mm512_loadu_ps(p + 16)};
}

[[gnu::always_inline]] inline Block LoadInterleavedBlock(const float* p) {
    const __m512 lo = _mm512_loadu_ps(p), hi = _mm512_loadu_ps(p + 16);
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    return {_mm512_permutex2var_ps(lo, even, hi), _mm512_permutex2var_ps(lo, odd, hi)};
}

[[gnu::always_inline]] inline void StoreBlock(float* p, __m512 re, __m512 im) {
    _mm512_storeu_ps(p, re);
    _mm512_storeu_ps(p + 16, im);
}

// A block as the two blocks of eight that the AVX2 leaves take, in place.
inline void SplitIntoAvx2Blocks(float* p) {
    const Block b = LoadBlock(p);
    const __m512i first = _mm512_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7, 16, 17, 20, 21, 18, 19, 22, 23);
    const __m512i second = _mm512_setr_epi32(8, 9, 12, 13, 10, 11, 14, 15, 24, 25, 28, 29, 26, 27, 30, 31);
    // Stored in halves, as the leaves load them: loads then take the stored
    // values straight from the store queue.
    const __m512 a = _mm512_permutex2var_ps(b.re, first, b.im);
    const __m512 c = _mm512_permutex2var_ps(b.re, second, b.im);
    _mm256_storeu_ps(p, _mm512_castps512_ps256(a));
    _mm256_storeu_ps(p + 8, _mm512_extractf32x8_ps(a, 1));
    _mm256_storeu_ps(p + 16, _mm512_castps512_ps256(c));
    _mm256_storeu_ps(p + 24, _mm512_extractf32x8_ps(c, 1));
}

struct BlockTwiddles {
    __m512 wr, wi, w3r, w3i;
};

// Four table entries (c, s, c3, s3) into the four 128-bit lanes.
[[gnu::always_inline]] inline __m512 EntryColumn(const float* e0, const float* e1, const float* e2,
                                                 const float* e3) {
    __m512 v = _mm512_castps128_ps512(_mm_loadu_ps(e0));
    v = _mm512_insertf32x4(v, _mm_loadu_ps(e1), 1);
    v = _mm512_insertf32x4(v, _mm_loadu_ps(e2), 2);
    return _mm512_insertf32x4(v, _mm_loadu_ps(e3), 3);
}

inline __m512 UnpackLowPairs(__m512 a, __m512 b) {
    return _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(a), _mm512_castps_pd(b)));
}
inline __m512 UnpackHighPairs(__m512 a, __m512 b) {
    return _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(a), _mm512_castps_pd(b)));
}

// Column k holds the entries of offsets k, 4 + k, 8 + k, 12 + k.
[[gnu::always_inline]] inline BlockTwiddles Transpose(__m512 a0, __m512 a1, __m512 a2, __m512 a3) {
    const __m512 t0 = _mm512_unpacklo_ps(a0, a1), t1 = _mm512_unpackhi_ps(a0, a1);
    const __m512 t2 = _mm512_unpacklo_ps(a2, a3), t3 = _mm512_unpackhi_ps(a2, a3);
    return {UnpackLowPairs(t0, t2), UnpackHighPairs(t0, t2), UnpackLowPairs(t1, t3), UnpackHighPairs(t1, t3)};
}

// Entry d is first + d * step, but entry 0 is e0.
[[gnu::always_inline]] inline BlockTwiddles TransposeEntries(const float* e0, const float* first,
                                                             ptrdiff_t step) {
    const auto at = [first, step](int d) { return first + d * step; };
    return Transpose(EntryColumn(e0, at(4), at(8), at(12)), EntryColumn(at(1), at(5), at(9), at(13)),
                     EntryColumn(at(2), at(6), at(10), at(14)), EntryColumn(at(3), at(7), at(11), at(15)));
}

// Entries seen from the partner offset: (s, c, -s3, -c3).
[[gnu::always_inline]] inline BlockTwiddles Mirror(const BlockTwiddles& t) {
    const __m512 negate = _mm512_set1_ps(-0.0f);
    return {t.wi, t.wr, _mm512_xor_ps(t.w3i, negate), _mm512_xor_ps(t.w3r, negate)};
}

// Offsets m..m+15 below L/8: entries m..m+15 (es floats apart).
[[gnu::always_inline]] inline BlockTwiddles DirectTwiddles(const float* twiddles, uint32_t m, uint32_t es) {
    const float* first = twiddles + m * es;
    return TransposeEntries(first, first, es);
}

// Offsets m..m+15 from L/8 up mirror entries q - m - d.
[[gnu::always_inline]] inline BlockTwiddles MirroredTwiddles(const float* twiddles, uint32_t m, uint32_t q,
                                                             uint32_t es) {
    const float* first = twiddles + (q - m) * es;
    return Mirror(
        TransposeEntries(2 * m == q ? kEighthTwiddleEntry : first, first, -static_cast<ptrdiff_t>(es)));
}

// The one block of a 64-point level: offsets 0..7 take entries 0..7, offsets
// 8..15 mirror the eighth entry and entries 7..1.
[[gnu::always_inline]] inline BlockTwiddles Twiddles64(const float* twiddles, uint32_t es) {
    const auto at = [twiddles, es](uint32_t j) { return twiddles + j * es; };
    const BlockTwiddles t = Transpose(
        EntryColumn(at(0), at(4), kEighthTwiddleEntry, at(4)), EntryColumn(at(1), at(5), at(7), at(3)),
        EntryColumn(at(2), at(6), at(6), at(2)), EntryColumn(at(3), at(7), at(5), at(1)));
    const BlockTwiddles m = Mirror(t);
    constexpr __mmask16 kUpper = 0xFF00;
    return {_mm512_mask_blend_ps(kUpper, t.wr, m.wr), _mm512_mask_blend_ps(kUpper, t.wi, m.wi),
            _mm512_mask_blend_ps(kUpper, t.w3r, m.w3r), _mm512_mask_blend_ps(kUpper, t.w3i, m.w3i)};
}

// The butterflies of one block of offsets (see Butterfly4 of the AVX2 set);
// the first level reads interleaved pairs.
template <bool interleaved>
[[gnu::always_inline]] inline void BlockButterfly(float* p0, uint32_t quarter_floats,
                                                  const BlockTwiddles& w) {
    float* p1 = p0 + quarter_floats;
    float* p2 = p1 + quarter_floats;
    float* p3 = p2 + quarter_floats;
    const Block x0 = interleaved ? LoadInterleavedBlock(p0) : LoadBlock(p0);
    const Block x1 = interleaved ? LoadInterleavedBlock(p1) : LoadBlock(p1);
    const Block x2 = interleaved ? LoadInterleavedBlock(p2) : LoadBlock(p2);
    const Block x3 = interleaved ? LoadInterleavedBlock(p3) : LoadBlock(p3);
    const __m512 ar = _mm512_sub_ps(x0.re, x2.re), ai = _mm512_sub_ps(x0.im, x2.im);
    const __m512 br = _mm512_sub_ps(x1.re, x3.re), bi = _mm512_sub_ps(x1.im, x3.im);
    StoreBlock(p0, _mm512_add_ps(x0.re, x2.re), _mm512_add_ps(x0.im, x2.im));
    StoreBlock(p1, _mm512_add_ps(x1.re, x3.re), _mm512_add_ps(x1.im, x3.im));
    const __m512 ur = _mm512_sub_ps(ar, bi), ui = _mm512_add_ps(ai, br);
    const __m512 vr = _mm512_add_ps(ar, bi), vi = _mm512_sub_ps(ai, br);
    StoreBlock(p2, _mm512_fmsub_ps(ur, w.wr, _mm512_mul_ps(ui, w.wi)),
               _mm512_fmadd_ps(ui, w.wr, _mm512_mul_ps(ur, w.wi)));
    StoreBlock(p3, _mm512_fmsub_ps(vr, w.w3r, _mm512_mul_ps(vi, w.w3i)),
               _mm512_fmadd_ps(vi, w.w3r, _mm512_mul_ps(vr, w.w3i)));
}

// One split-radix level of `points` >= 64 values, in blocks.
template <bool interleaved>
void BlockLevel(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    const uint32_t q = points / 4;
    const uint32_t h = points / 8;
    const uint32_t es = 4 * stride;
    if (points == 64) {
        BlockButterfly<interleaved>(x, 2 * q, Twiddles64(twiddles, es));
        return;
    }
    for (uint32_t m = 0; m < h; m += 16)
        BlockButterfly<interleaved>(x + 2 * m, 2 * q, DirectTwiddles(twiddles, m, es));
    for (uint32_t m = h; m < q; m += 16)
        BlockButterfly<interleaved>(x + 2 * m, 2 * q, MirroredTwiddles(twiddles, m, q, es));
}

void BlockSplitRadix(float* x, uint32_t points, const float* twiddles, uint32_t stride);

void BlockChildren(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    BlockSplitRadix(x, points / 2, twiddles, 2 * stride);
    BlockSplitRadix(x + points, points / 4, twiddles, 4 * stride);
    BlockSplitRadix(x + points + points / 2, points / 4, twiddles, 4 * stride);
}

// Bit-reversed-order result, interleaved.
void BlockSplitRadix(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    if (points == 16) {
        SplitIntoAvx2Blocks(x);
        Leaf16FromBlocksAvx2(x);
        return;
    }
    if (points == 32) {
        SplitIntoAvx2Blocks(x);
        SplitIntoAvx2Blocks(x + 32);
        Leaf32FromBlocksAvx2(x, twiddles, stride);
        return;
    }
    BlockLevel<false>(x, points, twiddles, stride);
    BlockChildren(x, points, twiddles, stride);
}

// The generic split-radix order of operations with the AVX2 set's arithmetic:
// the results are those of ComplexDftPositive with this table, bit for bit.
void ComplexDftAvx512(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                      uint32_t table_points, int32_t* scratch) {
    if (points < 64) {
        ComplexDftPositive(kernels, x, points, twiddles, table_points, scratch);
        return;
    }
    const uint32_t stride = table_points / points;
    BlockLevel<true>(x, points, twiddles, stride);
    BlockChildren(x, points, twiddles, stride);
    kernels.bit_reverse(x, points, scratch);
}

inline __m512 NegateEven() { return _mm512_castsi512_ps(_mm512_set1_epi64(0x80000000)); }
inline __m512 NegateOdd() { return _mm512_castsi512_ps(_mm512_set1_epi64(0x8000000000000000)); }

// The reverse order of the eight complex values.
inline __m512 ReverseComplex(__m512 z) {
    return _mm512_castpd_ps(
        _mm512_permutexvar_pd(_mm512_setr_epi64(7, 6, 5, 4, 3, 2, 1, 0), _mm512_castps_pd(z)));
}

// Eight bins a pass with the AVX2 split's operations (same results), the
// rest by the AVX2 split itself.
void RealSplitAvx512(uint32_t n, float* a, const float* c, uint32_t table_quarter) {
    if (table_quarter != n / 4) {
        RealSplitPlain(n, a, c, table_quarter);
        return;
    }
    const uint32_t half = n / 2;
    const __m512 halves = _mm512_set1_ps(0.5f);
    const __m512i dup = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i dup_reversed = _mm512_setr_epi32(7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0);
    constexpr __mmask16 kOdd = 0xAAAA;
    uint32_t k = 1;
    for (; k + 8 <= half / 2; k += 8) {
        float* lo_p = a + 2 * k;
        float* hi_p = a + 2 * (half - k - 7);
        const __m512 lo = _mm512_loadu_ps(lo_p);
        const __m512 hi = ReverseComplex(_mm512_loadu_ps(hi_p));
        const __m512 cw = _mm512_permutexvar_ps(dup, _mm512_castps256_ps512(_mm256_loadu_ps(c + k)));
        const __m512 sw = _mm512_permutexvar_ps(
            dup_reversed, _mm512_castps256_ps512(_mm256_loadu_ps(c + table_quarter - k - 7)));
        const __m512 sum = _mm512_add_ps(lo, hi);
        const __m512 diff = _mm512_sub_ps(lo, hi);
        const __m512 s =
            _mm512_mul_ps(halves, _mm512_mask_blend_ps(kOdd, sum, _mm512_xor_ps(diff, NegateOdd())));
        const __m512 d = _mm512_mask_blend_ps(kOdd, diff, _mm512_xor_ps(sum, NegateOdd()));
        const __m512 p = _mm512_fmsub_ps(_mm512_xor_ps(cw, NegateEven()), _mm512_permute_ps(d, 0xB1),
                                         _mm512_mul_ps(sw, d));
        _mm512_storeu_ps(lo_p, _mm512_add_ps(s, p));
        _mm512_storeu_ps(hi_p, ReverseComplex(_mm512_xor_ps(_mm512_sub_ps(s, p), NegateOdd())));
    }
    RealSplitAvx2From(n, a, c, k);
}

}  // namespace

// The AVX2 set with the entries this level does better.
const AudioKernels& Avx512AudioKernelTable() {
    static const AudioKernels kernels = [] {
        AudioKernels k = Avx2AudioKernelTable();
        k.name = "avx512";
        k.complex_dft = ComplexDftAvx512;
        k.real_split = RealSplitAvx512;
        return k;
    }();
    return kernels;
}

}  // namespace zarn
