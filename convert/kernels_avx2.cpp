// AVX2 group routines: 16 pixels of a row pair per step, each row's 16
// samples in one 256-bit register of words; stores shared with SSE2.
#include <immintrin.h>

#include "convert/simd_x86_common.h"

namespace zarn {

namespace {

using namespace simd_x86;

struct Terms256 {
  __m256i red, green, blue;
};

inline __m256i Join(__m128i lo, __m128i hi) { return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1); }

// Pixel j of the run takes chroma sample j / 2 (even start) or (j + 1) / 2 (odd).
template <bool kOdd>
inline Terms256 TermsAt(const uint8_t* v, const uint8_t* u) {
  const Terms t = TermsOf(Load8(v), Load8(u));
  const Terms n = kOdd ? TermsOf(Load8(v + 1), Load8(u + 1)) : t;
  return {Join(_mm_unpacklo_epi16(t.red, n.red), _mm_unpackhi_epi16(t.red, n.red)),
          Join(_mm_unpacklo_epi16(t.green, n.green), _mm_unpackhi_epi16(t.green, n.green)),
          Join(_mm_unpacklo_epi16(t.blue, n.blue), _mm_unpackhi_epi16(t.blue, n.blue))};
}

inline __m256i LumaTerm256(const uint8_t* luma) {
  const __m256i y = _mm256_cvtepu8_epi16(Load16(luma));
  return _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_subs_epu16(y, _mm256_set1_epi16(16)), 2),
                            _mm256_set1_epi16(19077));
}

// Packs the words of row 0 and row 1 to bytes: low lane row 0, high lane row 1.
inline __m256i PackRows(__m256i row0, __m256i row1) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(row0, row1), 0xD8);
}

template <class W, bool kOdd, bool kWide>
struct ColourGroup {
  static void Run(const KernelRows& k, uint32_t steps) {
    const typename W::State state = W::Begin();
    constexpr uint32_t kOut = 16 * W::kBytes * (kWide ? 2 : 1);
    for (uint32_t s = 0; s < steps; ++s) {
      const Terms256 c = TermsAt<kOdd>(k.v + s * 8, k.u + s * 8);
      const __m256i l0 = LumaTerm256(k.luma0 + s * 16);
      const __m256i l1 = LumaTerm256(k.luma1 + s * 16);
      const __m256i b = PackRows(_mm256_add_epi16(l0, c.blue), _mm256_add_epi16(l1, c.blue));
      const __m256i g = PackRows(_mm256_add_epi16(l0, c.green), _mm256_add_epi16(l1, c.green));
      const __m256i r = PackRows(_mm256_add_epi16(l0, c.red), _mm256_add_epi16(l1, c.red));
      Pixels16 p0{_mm256_castsi256_si128(b), _mm256_castsi256_si128(g), _mm256_castsi256_si128(r),
                  _mm_setzero_si128()};
      Pixels16 p1{_mm256_extracti128_si256(b, 1), _mm256_extracti128_si256(g, 1), _mm256_extracti128_si256(r, 1),
                  _mm_setzero_si128()};
      if constexpr (W::kUsesAlpha) {
        p0.a = Load16(k.alpha0 + s * 16);
        p1.a = Load16(k.alpha1 + s * 16);
      }
      PutRow<W, kWide>(k.dest0 + s * kOut, p0, state);
      PutRow<W, kWide>(k.dest1 + s * kOut, p1, state);
    }
  }
};

// Grey level of both rows: floor(min(max(Y - 16, 0), 219) * 255 / 219).
inline __m256i GreyRows(const uint8_t* luma0, const uint8_t* luma1) {
  const __m256i y = Join(Load16(luma0), Load16(luma1));
  const __m256i x = _mm256_min_epu8(_mm256_subs_epu8(y, _mm256_set1_epi8(16)),
                                    _mm256_set1_epi8(static_cast<char>(219)));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i k255 = _mm256_set1_epi16(255);
  const __m256i m = _mm256_set1_epi16(static_cast<short>(38305));
  const __m256i lo = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), k255), m), 7);
  const __m256i hi = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), k255), m), 7);
  return _mm256_packus_epi16(lo, hi);  // in-lane unpack and pack restore the order
}

template <class W, bool kWide>
struct GreyGroup {
  static void Run(const KernelRows& k, uint32_t steps) {
    const typename W::State state = W::Begin();
    constexpr uint32_t kOut = 16 * W::kBytes * (kWide ? 2 : 1);
    for (uint32_t s = 0; s < steps; ++s) {
      const __m256i g = GreyRows(k.luma0 + s * 16, k.luma1 + s * 16);
      const __m128i g0 = _mm256_castsi256_si128(g);
      const __m128i g1 = _mm256_extracti128_si256(g, 1);
      PutRow<W, kWide>(k.dest0 + s * kOut, Pixels16{g0, g0, g0, _mm_setzero_si128()}, state);
      PutRow<W, kWide>(k.dest1 + s * kOut, Pixels16{g1, g1, g1, _mm_setzero_si128()}, state);
    }
  }
};

}  // namespace

bool FillAvx2Groups(GroupEntry (*out)[6]) {
  FillGroupsWith<ColourGroup, GreyGroup>(out);
  return true;
}

}  // namespace zarn
