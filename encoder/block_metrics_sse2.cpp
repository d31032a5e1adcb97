// SSE2 kernels of BlockMetrics.
#include "encoder/block_metrics.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zarn {

namespace {

inline __m128i TwoRows(const uint8_t* p, uint32_t stride) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride)));
}

uint32_t SadSse2(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    __m128i sum = _mm_setzero_si128();
    for (int r = 0; r < 8; r += 2, a += 2 * as, b += 2 * bs)
        sum = _mm_add_epi64(sum, _mm_sad_epu8(TwoRows(a, as), TwoRows(b, bs)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
}

uint32_t SseSse2(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r, a += as, b += bs) {
        const __m128i x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)), zero);
        const __m128i y = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)), zero);
        const __m128i d = _mm_sub_epi16(x, y);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(d, d));
    }
    sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
    sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 4));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
}

}  // namespace

const BlockMetrics* BlockMetricsSse2() {
    static const BlockMetrics m{SadSse2, SseSse2};
    return &m;
}

}  // namespace zarn

#else

namespace zarn {
const BlockMetrics* BlockMetricsSse2() { return nullptr; }
}  // namespace zarn

#endif
