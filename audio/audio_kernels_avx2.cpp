// AVX2 + FMA kernels of the audio decoder and its inverse real transform; the
// transform keeps four complex values per register, interleaved as in memory.
#include <immintrin.h>

#include <initializer_list>

#include "audio/dft_butterfly.h"
#include "audio/audio_kernels.h"
#include "audio/audio_kernels_x86.h"
#include "audio/block_split_radix.h"
#include "audio/complex_dft.h"

namespace zarn {
namespace {

inline __m256 NegateEven() { return _mm256_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f); }
inline __m256 NegateOdd() { return _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f); }

// Swaps real and imaginary parts of each complex value.
inline __m256 SwapParts(__m256 z) { return _mm256_permute_ps(z, 0xB1); }

// Lanes 0, 1 against 2, 3 within each 128-bit half (complex values 0 and 1, 2 and 3).
inline __m256 SwapPairs(__m256 v) { return _mm256_permute_ps(v, 0x4E); }

// z w with wr and wi the real and imaginary parts of w, each in both lanes of a value.
inline __m256 ComplexMulSplit(__m256 z, __m256 wr, __m256 wi) {
    return _mm256_fmaddsub_ps(z, wr, _mm256_mul_ps(SwapParts(z), wi));
}

inline __m256 ComplexMul(__m256 z, __m256 w) {
    return ComplexMulSplit(z, _mm256_moveldup_ps(w), _mm256_movehdup_ps(w));
}

inline __m256 InterleaveLow(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
}
inline __m256 InterleaveHigh(__m256 a, __m256 b) {
    return _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
}

// Reverses the order of the four complex values.
inline __m256 ReverseComplex(__m256 z) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(z), 0x1B));
}

// Four butterflies at offsets m..m+3; entry k is (wr, wi, w3r, w3i) of offset m+k.
[[gnu::always_inline]] inline void Butterfly4Registers(__m256* x0, __m256* x1, __m256* x2, __m256* x3,
                                                       __m128 e0, __m128 e1, __m128 e2, __m128 e3) {
    const __m256 a = _mm256_sub_ps(*x0, *x2);
    const __m256 b = _mm256_sub_ps(*x1, *x3);
    *x0 = _mm256_add_ps(*x0, *x2);
    *x1 = _mm256_add_ps(*x1, *x3);
    const __m256 ib = _mm256_xor_ps(SwapParts(b), NegateEven());
    const __m256 u = _mm256_add_ps(a, ib);
    const __m256 v = _mm256_sub_ps(a, ib);
    // Pair each u with its v so that one register of twiddle entries serves both.
    const __m256 ta = _mm256_insertf128_ps(_mm256_castps128_ps256(e0), e2, 1);
    const __m256 tb = _mm256_insertf128_ps(_mm256_castps128_ps256(e1), e3, 1);
    const __m256 ra = ComplexMul(InterleaveLow(u, v), ta);
    const __m256 rb = ComplexMul(InterleaveHigh(u, v), tb);
    *x2 = InterleaveLow(ra, rb);
    *x3 = InterleaveHigh(ra, rb);
}

inline void Butterfly4(float* x, uint32_t q, uint32_t m, __m128 e0, __m128 e1, __m128 e2, __m128 e3) {
    float* p0 = x + 2 * m;
    float* p1 = p0 + 2 * q;
    float* p2 = p1 + 2 * q;
    float* p3 = p2 + 2 * q;
    __m256 x0 = _mm256_loadu_ps(p0), x1 = _mm256_loadu_ps(p1);
    __m256 x2 = _mm256_loadu_ps(p2), x3 = _mm256_loadu_ps(p3);
    Butterfly4Registers(&x0, &x1, &x2, &x3, e0, e1, e2, e3);
    _mm256_storeu_ps(p0, x0);
    _mm256_storeu_ps(p1, x1);
    _mm256_storeu_ps(p2, x2);
    _mm256_storeu_ps(p3, x3);
}

// Entry (c, s, c3, s3) seen from the partner offset: (s, c, -s3, -c3).
inline __m128 Mirrored(const float* entry) {
    const __m128 e = _mm_loadu_ps(entry);
    return _mm_xor_ps(_mm_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1)), _mm_setr_ps(0.0f, 0.0f, -0.0f, -0.0f));
}

void SplitLevelAvx2(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    const uint32_t q = points / 4;
    const uint32_t h = points / 8;  // a multiple of 4 for points >= 32
    const uint32_t es = 4 * stride;
    for (uint32_t m = 0; m < h; m += 4) {
        const float* t = twiddles + m * es;
        Butterfly4(x, q, m, _mm_loadu_ps(t), _mm_loadu_ps(t + es), _mm_loadu_ps(t + 2 * es),
                   _mm_loadu_ps(t + 3 * es));
    }
    // Offset h has w = e^(i pi/4), w3 = e^(3 i pi/4); offsets above mirror entry q - m.
    const __m128 eighth = _mm_setr_ps(kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
    const float* t = twiddles + (h - 1) * es;
    Butterfly4(x, q, h, eighth, Mirrored(t), Mirrored(t - es), Mirrored(t - 2 * es));
    for (uint32_t m = h + 4; m < q; m += 4) {
        t = twiddles + (q - m) * es;
        Butterfly4(x, q, m, Mirrored(t), Mirrored(t - es), Mirrored(t - 2 * es), Mirrored(t - 3 * es));
    }
}

// Within each 128-bit half [c0, c1]: [c1 + c0, c0 + (-c1)].
inline __m256 PairSumDifference(__m256 z) {
    return _mm256_add_ps(
        SwapPairs(z), _mm256_xor_ps(z, _mm256_setr_ps(0.0f, 0.0f, -0.0f, -0.0f, 0.0f, 0.0f, -0.0f, -0.0f)));
}

// Four points in one register, result in bit-reversed order X0, X2, X1, X3.
inline __m256 Dft4Register(__m256 z) {
    const __m256 swapped = _mm256_permute2f128_ps(z, z, 0x01);  // [x2 x3 | x0 x1]
    const __m256 sum = _mm256_add_ps(z, swapped);               // [s02 s13 | . .]
    const __m256 diff = _mm256_sub_ps(swapped, z);              // [. . | d02 d13]
    const __m256 y = _mm256_blend_ps(sum, diff, 0xF0);
    const __m256 iy = _mm256_xor_ps(SwapParts(y), NegateEven());
    return PairSumDifference(_mm256_blend_ps(y, iy, 0xC0));  // [s02 s13 | d02 i d13]
}

// Eight points in two registers, bit-reversed order.
inline void Dft8Registers(__m256* r0, __m256* r1) {
    const __m256 sum = _mm256_add_ps(*r0, *r1);                       // [p0 + p2 | p1 + p3]
    const __m256 diff = _mm256_sub_ps(*r0, *r1);                      // [a | b]
    const __m256 swapped = _mm256_permute2f128_ps(diff, diff, 0x01);  // [b | a]
    const __m256 aa = _mm256_blend_ps(diff, swapped, 0xF0);
    const __m256 bb = _mm256_blend_ps(swapped, diff, 0xF0);
    // [ib | -ib] with ib = (-b.im, b.re): one sign pattern.
    const __m256 ib = _mm256_xor_ps(SwapParts(bb), _mm256_setr_ps(-0.0f, 0, -0.0f, 0, 0, -0.0f, 0, -0.0f));
    const __m256 uv = _mm256_add_ps(aa, ib);
    // w = (1, 0), e^(i pi/4) | (1, 0), e^(3i pi/4), split into real and imaginary parts.
    const __m256 wr =
        _mm256_setr_ps(1.0f, 1.0f, kHalfRoot2, kHalfRoot2, 1.0f, 1.0f, -kHalfRoot2, -kHalfRoot2);
    const __m256 wi = _mm256_setr_ps(0.0f, 0.0f, kHalfRoot2, kHalfRoot2, 0.0f, 0.0f, kHalfRoot2, kHalfRoot2);
    *r0 = Dft4Register(sum);
    *r1 = PairSumDifference(ComplexMulSplit(uv, wr, wi));
}

void Leaf8Avx2(float* x) {
    __m256 r0 = _mm256_loadu_ps(x), r1 = _mm256_loadu_ps(x + 8);
    Dft8Registers(&r0, &r1);
    _mm256_storeu_ps(x, r0);
    _mm256_storeu_ps(x + 8, r1);
}

constexpr float kCos8 = 0.92387953251128676f;  // cos(pi/8)
constexpr float kSin8 = 0.38268343236508977f;  // sin(pi/8)

// Sixteen points in four registers, bit-reversed order.
[[gnu::always_inline]] inline void Leaf16Registers(__m256* r) {
    Butterfly4Registers(&r[0], &r[1], &r[2], &r[3], _mm_setr_ps(1.0f, 0.0f, 1.0f, 0.0f),
                        _mm_setr_ps(kCos8, kSin8, kSin8, kCos8),
                        _mm_setr_ps(kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2),
                        _mm_setr_ps(kSin8, kCos8, -kCos8, -kSin8));
    Dft8Registers(&r[0], &r[1]);
    r[2] = Dft4Register(r[2]);
    r[3] = Dft4Register(r[3]);
}

void Leaf16Avx2(float* x) {
    __m256 r[4];
    for (uint32_t k = 0; k < 4; ++k) r[k] = _mm256_loadu_ps(x + 8 * k);
    Leaf16Registers(r);
    for (uint32_t k = 0; k < 4; ++k) _mm256_storeu_ps(x + 8 * k, r[k]);
}

}  // namespace

void RealSplitAvx2From(uint32_t n, float* a, const float* c, uint32_t first_bin) {
    const uint32_t half = n / 2;
    const uint32_t table_quarter = n / 4;
    const __m256 halves = _mm256_set1_ps(0.5f);
    const __m256i dup = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i dup_reversed = _mm256_setr_epi32(3, 3, 2, 2, 1, 1, 0, 0);
    const uint32_t groups = first_bin + 4 <= half / 2 ? (half / 2 - first_bin) / 4 : 0;
    // Pointers stepped through the loop: index arithmetic competed with the vector work.
    float* lo_p = a + 2 * first_bin;
    float* hi_p = groups > 0 ? a + 2 * (half - first_bin - 3) : a;
    const float* c_lo = c + first_bin;
    const float* c_hi = groups > 0 ? c + table_quarter - first_bin - 3 : c;
    for (uint32_t g = 0; g < groups; ++g, lo_p += 8, hi_p -= 8, c_lo += 4, c_hi -= 4) {
        const __m256 lo = _mm256_loadu_ps(lo_p);
        const __m256 hi = ReverseComplex(_mm256_loadu_ps(hi_p));
        const __m256 cw = _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(c_lo)), dup);
        const __m256 sw = _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(c_hi)), dup_reversed);
        const __m256 sum = _mm256_add_ps(lo, hi);
        const __m256 diff = _mm256_sub_ps(lo, hi);
        // S/2 = (sum.re, -diff.im) / 2, D = (diff.re, -sum.im).
        const __m256 s = _mm256_mul_ps(halves, _mm256_blend_ps(sum, _mm256_xor_ps(diff, NegateOdd()), 0xAA));
        const __m256 d = _mm256_blend_ps(diff, _mm256_xor_ps(sum, NegateOdd()), 0xAA);
        // P = i (w/2) D = (-(cw di + sw dr), cw dr - sw di).
        const __m256 p = _mm256_fmsub_ps(_mm256_xor_ps(cw, NegateEven()), SwapParts(d), _mm256_mul_ps(sw, d));
        _mm256_storeu_ps(lo_p, _mm256_add_ps(s, p));
        _mm256_storeu_ps(hi_p, ReverseComplex(_mm256_xor_ps(_mm256_sub_ps(s, p), NegateOdd())));
    }
    for (uint32_t k = first_bin + 4 * groups; k < half / 2; ++k)
        RealSplitPair(a + 2 * k, a + 2 * (half - k), c[k], c[table_quarter - k]);
}

namespace {

void RealSplitAvx2(uint32_t n, float* a, const float* c, uint32_t table_quarter) {
    if (table_quarter != n / 4) {
        RealSplitPlain(n, a, c, table_quarter);
        return;
    }
    RealSplitAvx2From(n, a, c, 1);
}

// Rows 0, 2, 1, 3 of a 4 x 4 block of complex values (one register per row),
// transposed: register k receives column k with its rows in that same order.
// Rows are paired by 128-bit loads, so that only in-lane unpacks remain.
inline void TransposeReversed(const float* block, uint32_t row_stride, __m256* out) {
    const auto pair = [block, row_stride](uint32_t row, uint32_t column) {
        const float* low = block + row * row_stride + 2 * column;
        return _mm256_castps_pd(_mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)),
                                                     _mm_loadu_ps(low + row_stride), 1));
    };
    const __m256d r01 = pair(0, 0), r23 = pair(2, 0);  // columns 0, 1 of rows 0 | 1 and 2 | 3
    const __m256d s01 = pair(0, 2), s23 = pair(2, 2);  // columns 2, 3
    out[0] = _mm256_castpd_ps(_mm256_unpacklo_pd(r01, r23));
    out[1] = _mm256_castpd_ps(_mm256_unpackhi_pd(r01, r23));
    out[2] = _mm256_castpd_ps(_mm256_unpacklo_pd(s01, s23));
    out[3] = _mm256_castpd_ps(_mm256_unpackhi_pd(s01, s23));
}

// Destination row r' takes source column rev2(r').
inline void StoreReversed(float* block, uint32_t row_stride, const __m256* columns) {
    _mm256_storeu_ps(block, columns[0]);
    _mm256_storeu_ps(block + row_stride, columns[2]);
    _mm256_storeu_ps(block + 2 * row_stride, columns[1]);
    _mm256_storeu_ps(block + 3 * row_stride, columns[3]);
}

// Index [row: 2 bits][m][column: 2 bits] goes to [rev column][rev m][rev row]:
// the 4 x 4 block of middle bits m swaps, transposed, with the block of rev m.
void BitReverseAvx2(float* x, uint32_t points, int32_t* reverse) {
    if (points < 16) {
        BitReversePlain(x, points, reverse);
        return;
    }
    const uint32_t middle_bits = static_cast<uint32_t>(__builtin_ctz(points)) - 4;
    const uint32_t blocks = 1u << middle_bits;
    reverse[0] = 0;
    for (uint32_t m = 1; m < blocks; ++m) {
        reverse[m] = (reverse[m >> 1] >> 1) | static_cast<int32_t>((m & 1u) << (middle_bits - 1));
    }
    const uint32_t row_stride = points / 2;  // floats in a quarter of the array
    for (uint32_t m = 0; m < blocks; ++m) {
        const uint32_t r = static_cast<uint32_t>(reverse[m]);
        if (r < m) continue;
        __m256 first[4];
        TransposeReversed(x + 8 * m, row_stride, first);
        if (r == m) {
            StoreReversed(x + 8 * m, row_stride, first);
            continue;
        }
        __m256 second[4];
        TransposeReversed(x + 8 * r, row_stride, second);
        StoreReversed(x + 8 * r, row_stride, first);
        StoreReversed(x + 8 * m, row_stride, second);
    }
}

void ScaleCoefficientsAvx2(const int16_t* in, uint32_t count, float step, float* out) {
    const __m256 s = _mm256_set1_ps(step);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(v)), s));
    }
    for (; i < count; ++i) out[i] = static_cast<float>(in[i]) * step;
}

// Products in double, clipped, then converted with the current rounding mode
// (to nearest, ties to even) and packed to 16 bits.
void ConvertToPcmAvx2(const float* a, uint32_t n, float scale, int16_t* pcm) {
    const __m256d s = _mm256_set1_pd(scale);
    const __m256d lo = _mm256_set1_pd(-32768.0);
    const __m256d hi = _mm256_set1_pd(32767.0);
    uint32_t t = 0;
    for (; t + 8 <= n; t += 8) {
        const __m256d p0 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(a + t)), s);
        const __m256d p1 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(a + t + 4)), s);
        const __m128i i0 = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(p0, lo), hi));
        const __m128i i1 = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(p1, lo), hi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + t), _mm_packs_epi32(i0, i1));
    }
    if (t < n) ConvertToPcmPlain(a + t, n - t, scale, pcm + t);
}

// Blocks of eight (see block_split_radix.h). Lanes hold values 0, 1, 4, 5,
// 2, 3, 6, 7 of the block: the order one shuffle makes of interleaved pairs
// and one unpack undoes.
struct Avx2Blocks {
    using Vector = __m256;
    static constexpr uint32_t kLanes = 8;
    struct Block {
        __m256 re, im;
    };

    static __m256 Add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
    static __m256 Sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
    static __m256 Mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
    static __m256 FmAdd(__m256 a, __m256 b, __m256 c) { return _mm256_fmadd_ps(a, b, c); }
    static __m256 FmSub(__m256 a, __m256 b, __m256 c) { return _mm256_fmsub_ps(a, b, c); }

    [[gnu::always_inline]] static Block LoadBlock(const float* p) {
        return {_mm256_loadu_ps(p), _mm256_loadu_ps(p + 8)};
    }
    [[gnu::always_inline]] static Block LoadInterleavedBlock(const float* p) {
        const __m256 lo = _mm256_loadu_ps(p), hi = _mm256_loadu_ps(p + 8);
        return {_mm256_shuffle_ps(lo, hi, 0x88), _mm256_shuffle_ps(lo, hi, 0xDD)};
    }
    [[gnu::always_inline]] static void StoreBlock(float* p, __m256 re, __m256 im) {
        _mm256_storeu_ps(p, re);
        _mm256_storeu_ps(p + 8, im);
    }

    // The lane of value d of a block: bits 1 and 2 of d swapped.
    static constexpr uint32_t LaneOf(uint32_t d) { return (d & 1u) | (d & 2u) << 1 | (d & 4u) >> 1; }

    static void Leaf(float* x, uint32_t points) {
        if (points == 32) {
            Leaf32FromBlocksAvx2(x);
        } else {
            Leaf16FromBlocksAvx2(x);
        }
    }
};

using Avx2SplitRadix = BlockSplitRadix<Avx2Blocks>;
using Block = Avx2Blocks::Block;

// The sign bits of the lanes set in `lanes`.
template <int lanes>
inline __m256 Signs() {
    const auto sign = [](int lane) { return (lanes >> lane) & 1 ? -0.0f : 0.0f; };
    return _mm256_setr_ps(sign(0), sign(1), sign(2), sign(3), sign(4), sign(5), sign(6), sign(7));
}

// The first level of a 16-point leaf (Butterfly4Registers with its
// twiddles) on the blocks of values 0-7 and 8-15, which hold x0 and x2 in
// lanes 0, 1, 4, 5 and x1 and x3 in lanes 2, 3, 6, 7: lo keeps the sums, hi
// receives u w in lanes 0, 1, 4, 5 and v w3 in the others, so both stay in
// block order.
[[gnu::always_inline]] inline void Level16Blocks(Block* lo, Block* hi) {
    const __m256 dr = _mm256_sub_ps(lo->re, hi->re), di = _mm256_sub_ps(lo->im, hi->im);
    *lo = {_mm256_add_ps(lo->re, hi->re), _mm256_add_ps(lo->im, hi->im)};
    // Lanes 0, 1, 4, 5 of d hold a, the others b; the swapped copies the reverse.
    const __m256 sr = SwapPairs(dr), si = SwapPairs(di);
    const __m256 t1 = _mm256_sub_ps(dr, si);  // ur = ar - bi; the others br - ai = -vi
    const __m256 t2 = _mm256_add_ps(di, sr);  // ui = ai + br; the others bi + ar = vr
    const __m256 er = _mm256_blend_ps(t1, t2, 0xCC);
    const __m256 ei = _mm256_blend_ps(t2, _mm256_xor_ps(t1, Signs<0xCC>()), 0xCC);
    const __m256 wr = _mm256_setr_ps(1.0f, kCos8, 1.0f, kSin8, kHalfRoot2, kSin8, -kHalfRoot2, -kCos8);
    const __m256 wi = _mm256_setr_ps(0.0f, kSin8, 0.0f, kCos8, kHalfRoot2, kCos8, kHalfRoot2, -kSin8);
    *hi = {_mm256_fmsub_ps(er, wr, _mm256_mul_ps(ei, wi)), _mm256_fmadd_ps(ei, wr, _mm256_mul_ps(er, wi))};
}

// Dft4Register on the two four-point transforms of a block, values 0-3 in
// lanes 0, 1, 4, 5 and values 4-7 in lanes 2, 3, 6, 7; the results stay in
// those lanes (bit-reversed order within each transform).
[[gnu::always_inline]] inline void Dft4PairBlock(Block* b) {
    // Lanes 0-3: s02, s13 of each transform; lanes 4-7: d02, d13.
    const __m256 fr = _mm256_permute2f128_ps(b->re, b->re, 0x01);
    const __m256 fi = _mm256_permute2f128_ps(b->im, b->im, 0x01);
    const __m256 yr = _mm256_add_ps(fr, _mm256_xor_ps(b->re, Signs<0xF0>()));
    const __m256 yi = _mm256_add_ps(fi, _mm256_xor_ps(b->im, Signs<0xF0>()));
    // d13 becomes i d13.
    const __m256 zr = _mm256_blend_ps(yr, _mm256_xor_ps(yi, Signs<0xA0>()), 0xA0);
    const __m256 zi = _mm256_blend_ps(yi, yr, 0xA0);
    // Neighbouring lanes c0, c1 become c0 + c1, c0 - c1 (SwapParts swaps neighbours).
    *b = {_mm256_add_ps(SwapParts(zr), _mm256_xor_ps(zr, Signs<0xAA>())),
          _mm256_add_ps(SwapParts(zi), _mm256_xor_ps(zi, Signs<0xAA>()))};
}

}  // namespace

void Leaf32FromBlocksAvx2(float* x) {
    Avx2SplitRadix::Level<false>(x, 32);
    Leaf16FromBlocksAvx2(x);
    for (float* quarter : {x + 32, x + 48}) {
        const Avx2Blocks::Block b = Avx2Blocks::LoadBlock(quarter);
        __m256 r0 = _mm256_unpacklo_ps(b.re, b.im), r1 = _mm256_unpackhi_ps(b.re, b.im);
        Dft8Registers(&r0, &r1);
        _mm256_storeu_ps(quarter, r0);
        _mm256_storeu_ps(quarter + 8, r1);
    }
}

// Leaf16Registers' operations, those of the first level and of the two
// four-point transforms done on blocks, where they need fewer shuffles.
void Leaf16FromBlocksAvx2(float* x) {
    Block lo = Avx2Blocks::LoadBlock(x), hi = Avx2Blocks::LoadBlock(x + 16);
    Level16Blocks(&lo, &hi);
    __m256 r0 = _mm256_unpacklo_ps(lo.re, lo.im), r1 = _mm256_unpackhi_ps(lo.re, lo.im);
    Dft8Registers(&r0, &r1);
    Dft4PairBlock(&hi);
    _mm256_storeu_ps(x, r0);
    _mm256_storeu_ps(x + 8, r1);
    _mm256_storeu_ps(x + 16, _mm256_unpacklo_ps(hi.re, hi.im));
    _mm256_storeu_ps(x + 24, _mm256_unpackhi_ps(hi.re, hi.im));
}

const AudioKernels& Avx2AudioKernelTable() {
    static const AudioKernels kernels{
        "avx2",         Avx2SplitRadix::Transform, SplitLevelAvx2,  RealSplitAvx2, Leaf16Avx2, Leaf8Avx2,
        BitReverseAvx2, ScaleCoefficientsAvx2,     ConvertToPcmAvx2};
    return kernels;
}

}  // namespace zarn
