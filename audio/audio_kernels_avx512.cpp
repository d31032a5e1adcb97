// AVX-512 kernels of the audio decoder: the complex DFT's levels of 64 points
// and more on blocks of sixteen values, and the real split eight bins a pass;
// everything else is the AVX2 set's.
// GCC 12 warns of the deliberately undefined vectors inside its own
// AVX-512 intrinsics (unpack, insert); the warning points into the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // clang has no such warning and would warn of the name
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "audio/audio_kernels.h"
#include "audio/audio_kernels_x86.h"
#include "audio/block_split_radix.h"
#include "audio/complex_dft.h"
#include "audio/dft_butterfly.h"

namespace zarn {
namespace {

// Blocks of sixteen (see block_split_radix.h), lanes in natural order.
struct Avx512Blocks {
    using Vector = __m512;
    static constexpr uint32_t kLanes = 16;
    struct Block {
        __m512 re, im;
    };

    static __m512 Add(__m512 a, __m512 b) { return _mm512_add_ps(a, b); }
    static __m512 Sub(__m512 a, __m512 b) { return _mm512_sub_ps(a, b); }
    static __m512 Mul(__m512 a, __m512 b) { return _mm512_mul_ps(a, b); }
    static __m512 FmAdd(__m512 a, __m512 b, __m512 c) { return _mm512_fmadd_ps(a, b, c); }
    static __m512 FmSub(__m512 a, __m512 b, __m512 c) { return _mm512_fmsub_ps(a, b, c); }

    [[gnu::always_inline]] static Block LoadBlock(const float* p) {
        return {_mm512_loadu_ps(p), _mm512_loadu_ps(p + 16)};
    }
    [[gnu::always_inline]] static Block LoadInterleavedBlock(const float* p) {
        const __m512 lo = _mm512_loadu_ps(p), hi = _mm512_loadu_ps(p + 16);
        const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        return {_mm512_permutex2var_ps(lo, even, hi), _mm512_permutex2var_ps(lo, odd, hi)};
    }
    [[gnu::always_inline]] static void StoreBlock(float* p, __m512 re, __m512 im) {
        _mm512_storeu_ps(p, re);
        _mm512_storeu_ps(p + 16, im);
    }

    static constexpr uint32_t LaneOf(uint32_t d) { return d; }

    // A block as the two blocks of eight that the AVX2 leaves take, in place,
    // stored in halves as those load them (so the loads are forwarded).
    static void SplitIntoAvx2Blocks(float* p) {
        const Block b = LoadBlock(p);
        const __m512i first = _mm512_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7, 16, 17, 20, 21, 18, 19, 22, 23);
        const __m512i second =
            _mm512_setr_epi32(8, 9, 12, 13, 10, 11, 14, 15, 24, 25, 28, 29, 26, 27, 30, 31);
        const __m512 a = _mm512_permutex2var_ps(b.re, first, b.im);
        const __m512 c = _mm512_permutex2var_ps(b.re, second, b.im);
        _mm256_storeu_ps(p, _mm512_castps512_ps256(a));
        _mm256_storeu_ps(p + 8, _mm512_extractf32x8_ps(a, 1));
        _mm256_storeu_ps(p + 16, _mm512_castps512_ps256(c));
        _mm256_storeu_ps(p + 24, _mm512_extractf32x8_ps(c, 1));
    }

    static void Leaf(float* x, uint32_t points) {
        SplitIntoAvx2Blocks(x);
        if (points == 32) {
            SplitIntoAvx2Blocks(x + 32);
            Leaf32FromBlocksAvx2(x);
        } else {
            Leaf16FromBlocksAvx2(x);
        }
    }
};

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
        k.complex_dft = BlockSplitRadix<Avx512Blocks>::Transform;
        k.real_split = RealSplitAvx512;
        return k;
    }();
    return kernels;
}

}  // namespace zarn
