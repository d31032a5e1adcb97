// SSE2 group routines: 16 pixels of a row pair per step.
#include <emmintrin.h>

#include "convert/simd_x86_common.h"

namespace zarn {

namespace {

using namespace simd_x86;

// Chroma terms for 16 pixels: low and high 8 as words. An odd start gives
// pixel j the chroma pair of column start + j, i.e. sample (j + 1) / 2.
struct Terms16 {
    Terms lo, hi;
};

template <bool kOdd>
[[gnu::always_inline]] inline Terms16 Terms16At(const uint8_t* v, const uint8_t* u) {
    const Terms t = TermsOf(Load8(v), Load8(u));
    const Terms n = kOdd ? TermsOf(Load8(v + 1), Load8(u + 1)) : t;
    Terms16 r;
    r.lo = {_mm_unpacklo_epi16(t.red, n.red), _mm_unpacklo_epi16(t.green, n.green),
            _mm_unpacklo_epi16(t.blue, n.blue)};
    r.hi = {_mm_unpackhi_epi16(t.red, n.red), _mm_unpackhi_epi16(t.green, n.green),
            _mm_unpackhi_epi16(t.blue, n.blue)};
    return r;
}

[[gnu::always_inline]] inline Pixels16 ColourRow(const uint8_t* luma, const Terms16& c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i y = Load16(luma);
    const __m128i l_lo = LumaTerm(_mm_unpacklo_epi8(y, zero));
    const __m128i l_hi = LumaTerm(_mm_unpackhi_epi8(y, zero));
    Pixels16 p;
    p.b = _mm_packus_epi16(_mm_add_epi16(l_lo, c.lo.blue), _mm_add_epi16(l_hi, c.hi.blue));
    p.g = _mm_packus_epi16(_mm_add_epi16(l_lo, c.lo.green), _mm_add_epi16(l_hi, c.hi.green));
    p.r = _mm_packus_epi16(_mm_add_epi16(l_lo, c.lo.red), _mm_add_epi16(l_hi, c.hi.red));
    p.a = _mm_setzero_si128();
    return p;
}

template <class W, bool kOdd, bool kWide>
struct ColourGroup {
    static void Run(const KernelRows& k, uint32_t steps) {
        const typename W::State state = W::Begin();
        constexpr uint32_t kOut = 16 * W::kBytes * (kWide ? 2 : 1);
        for (uint32_t s = 0; s < steps; ++s) {
            const Terms16 c = Terms16At<kOdd>(k.v + s * 8, k.u + s * 8);
            Pixels16 p0 = ColourRow(k.luma0 + s * 16, c);
            Pixels16 p1 = ColourRow(k.luma1 + s * 16, c);
            if constexpr (W::kUsesAlpha) {
                p0.a = Load16(k.alpha0 + s * 16);
                p1.a = Load16(k.alpha1 + s * 16);
            }
            PutRow<W, kWide>(k.dest0 + s * kOut, p0, state);
            PutRow<W, kWide>(k.dest1 + s * kOut, p1, state);
        }
    }
};

template <class W, bool kWide>
struct GreyGroup {
    static void Run(const KernelRows& k, uint32_t steps) {
        const typename W::State state = W::Begin();
        constexpr uint32_t kOut = 16 * W::kBytes * (kWide ? 2 : 1);
        for (uint32_t s = 0; s < steps; ++s) {
            for (int row = 0; row < 2; ++row) {
                const __m128i g = GreyBytes(Load16((row ? k.luma1 : k.luma0) + s * 16));
                const Pixels16 p{g, g, g, _mm_setzero_si128()};
                PutRow<W, kWide>((row ? k.dest1 : k.dest0) + s * kOut, p, state);
            }
        }
    }
};

}  // namespace

void FenceStreamingStores() { _mm_sfence(); }

bool FillSse2Groups(GroupEntry (*out)[6]) {
    FillGroupsWith<ColourGroup, GreyGroup>(out);
    return true;
}

}  // namespace zarn
