// AVX-512 block routines for the 32-bit layouts: a changed block's eight
// rows per pass, four rows to a 512-bit register (one row per 128-bit lane),
// each row written as one 64-byte line. The arithmetic is the AVX2 set's,
// four rows wide; everything else stays with the AVX2 set.
#include <immintrin.h>

#include "convert/simd_x86_common.h"

namespace zarn {

namespace {

using namespace simd_x86;

// The zero-masked forms with every lane kept: GCC 12 warns about the
// undefined sources the unmasked forms pass in.
constexpr __mmask8 kAll = 0xff;

// Chroma terms of 32 chroma samples (four chroma rows of eight), words, the
// same arithmetic as TermsOf.
struct Terms512 {
    __m512i red, green, blue;
};

[[gnu::always_inline]] inline __m512i SignOf512(__m512i q, __m512i mask) {
    return _mm512_sub_epi16(_mm512_xor_si512(q, mask), mask);
}
[[gnu::always_inline]] inline __m512i MinusSignOf512(__m512i q, __m512i mask) {
    return _mm512_sub_epi16(mask, _mm512_xor_si512(q, mask));
}

[[gnu::always_inline]] inline Terms512 TermsOf512(__m256i v_bytes, __m256i u_bytes) {
    const __m512i bias = _mm512_set1_epi16(128);
    const __m512i xv = _mm512_sub_epi16(_mm512_cvtepu8_epi16(v_bytes), bias);
    const __m512i xu = _mm512_sub_epi16(_mm512_cvtepu8_epi16(u_bytes), bias);
    const __m512i mv = _mm512_srai_epi16(xv, 15);
    const __m512i mu = _mm512_srai_epi16(xu, 15);
    const __m512i av = SignOf512(xv, mv);
    const __m512i au = SignOf512(xu, mu);
    const __m512i av2 = _mm512_add_epi16(av, av);
    const __m512i au2 = _mm512_add_epi16(au, au);
    const __m512i q_red = _mm512_add_epi16(av, _mm512_mulhi_epi16(av2, _mm512_set1_epi16(19531)));
    const __m512i q_green_v = _mm512_mulhi_epi16(av2, _mm512_set1_epi16(26639));
    const __m512i q_green_u = _mm512_mulhi_epi16(au2, _mm512_set1_epi16(12837));
    const __m512i q_blue = _mm512_add_epi16(au2, _mm512_mulhi_epi16(au2, _mm512_set1_epi16(565)));
    return {SignOf512(q_red, mv),
            _mm512_add_epi16(MinusSignOf512(q_green_v, mv), MinusSignOf512(q_green_u, mu)),
            SignOf512(q_blue, mu)};
}

// Eight bytes of each of four chroma rows, in row order; rows from `rows`
// on repeat the last one.
[[gnu::always_inline]] inline __m256i ChromaRows(const uint8_t* p, ptrdiff_t pitch, ptrdiff_t rows) {
    auto row = [&](ptrdiff_t i) { return Load8(p + (i < rows ? i : rows - 1) * pitch); };
    const __m128i lo = _mm_unpacklo_epi64(row(0), row(1));
    const __m128i hi = _mm_unpacklo_epi64(row(2), row(3));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// Four 16-byte rows, one per 128-bit lane.
[[gnu::always_inline]] inline __m512i FourRows(const uint8_t* r0, const uint8_t* r1, const uint8_t* r2,
                                               const uint8_t* r3) {
    const __m256i lo = _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(r0)), Load16(r1), 1);
    const __m256i hi = _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(r2)), Load16(r3), 1);
    return _mm512_maskz_inserti64x4(kAll, _mm512_castsi256_si512(lo), hi, 1);
}

// Word indexes that spread the terms of lanes `first` and `first + 1` over
// four lanes (each twice), every sample for two pixels: pixels 0-7 of a row
// from samples 0-3 (`half` 0), pixels 8-15 from samples 4-7 (`half` 1).
struct alignas(64) SpreadTable {
    uint16_t index[4][32];  // upper rows' pixels 0-7, 8-15; lower rows' the same
};

constexpr SpreadTable MakeSpreadTable() {
    SpreadTable t{};
    for (int spread = 0; spread < 4; ++spread) {
        const int first = spread / 2 * 2, half = spread % 2;
        for (int lane = 0; lane < 4; ++lane)
            for (int k = 0; k < 8; ++k)
                t.index[spread][lane * 8 + k] = static_cast<uint16_t>((first + lane / 2) * 8 + half * 4 + k / 2);
    }
    return t;
}

constexpr SpreadTable kSpread = MakeSpreadTable();

struct Spread {
    __m512i lo, hi;  // pixels 0-7 and 8-15 of each lane's row
};

struct PixelTerms512 {
    Spread red, green, blue;
};

[[gnu::always_inline]] inline PixelTerms512 PixelTermsOf(const Terms512& t, __m512i lo, __m512i hi) {
    return {{_mm512_permutexvar_epi16(lo, t.red), _mm512_permutexvar_epi16(hi, t.red)},
            {_mm512_permutexvar_epi16(lo, t.green), _mm512_permutexvar_epi16(hi, t.green)},
            {_mm512_permutexvar_epi16(lo, t.blue), _mm512_permutexvar_epi16(hi, t.blue)}};
}

// Component bytes of four rows of 16 pixels, one row per lane.
struct Pixels64 {
    __m512i b, g, r;
};

[[gnu::always_inline]] inline Pixels64 ColourRows(__m512i y, const PixelTerms512& c) {
    const __m512i zero = _mm512_setzero_si512();
    auto term = [](__m512i w) {
        return _mm512_mulhi_epi16(_mm512_slli_epi16(_mm512_subs_epu16(w, _mm512_set1_epi16(16)), 2),
                                  _mm512_set1_epi16(19077));
    };
    const __m512i l_lo = term(_mm512_unpacklo_epi8(y, zero));
    const __m512i l_hi = term(_mm512_unpackhi_epi8(y, zero));
    return {_mm512_packus_epi16(_mm512_add_epi16(l_lo, c.blue.lo), _mm512_add_epi16(l_hi, c.blue.hi)),
            _mm512_packus_epi16(_mm512_add_epi16(l_lo, c.green.lo), _mm512_add_epi16(l_hi, c.green.hi)),
            _mm512_packus_epi16(_mm512_add_epi16(l_lo, c.red.lo), _mm512_add_epi16(l_hi, c.red.hi))};
}

// Four rows of 16 pixels of bytes c0, g, c2, c3, one row per lane, written
// as 64-byte lines at d[0..3]; with kRows < 4 only the first kRows.
template <bool kStream, int kRows>
[[gnu::always_inline]] inline void StoreFourRows(uint8_t* const (&d)[4], __m512i c0, __m512i g, __m512i c2,
                                                 __m512i c3) {
    const __m512i t0 = _mm512_unpacklo_epi8(c0, g);
    const __m512i t1 = _mm512_unpackhi_epi8(c0, g);
    const __m512i u0 = _mm512_unpacklo_epi8(c2, c3);
    const __m512i u1 = _mm512_unpackhi_epi8(c2, c3);
    const __m512i q0 = _mm512_unpacklo_epi16(t0, u0);  // pixels 0-3 of each lane's row
    const __m512i q1 = _mm512_unpackhi_epi16(t0, u0);  // 4-7
    const __m512i q2 = _mm512_unpacklo_epi16(t1, u1);  // 8-11
    const __m512i q3 = _mm512_unpackhi_epi16(t1, u1);  // 12-15
    // Transpose the 4x4 of 128-bit pieces: row k's pieces into one register.
    const __m512i a = _mm512_maskz_shuffle_i64x2(kAll, q0, q1, _MM_SHUFFLE(1, 0, 1, 0));
    const __m512i b = _mm512_maskz_shuffle_i64x2(kAll, q2, q3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m512i c = _mm512_maskz_shuffle_i64x2(kAll, q0, q1, _MM_SHUFFLE(3, 2, 3, 2));
    const __m512i e = _mm512_maskz_shuffle_i64x2(kAll, q2, q3, _MM_SHUFFLE(3, 2, 3, 2));
    auto store = [](uint8_t* p, __m512i v) {
        if constexpr (kStream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(p), v);
        else
            _mm512_storeu_si512(p, v);
    };
    if constexpr (kRows > 0) store(d[0], _mm512_maskz_shuffle_i64x2(kAll, a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    if constexpr (kRows > 1) store(d[1], _mm512_maskz_shuffle_i64x2(kAll, a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    if constexpr (kRows > 2) store(d[2], _mm512_maskz_shuffle_i64x2(kAll, c, e, _MM_SHUFFLE(2, 0, 2, 0)));
    if constexpr (kRows > 3) store(d[3], _mm512_maskz_shuffle_i64x2(kAll, c, e, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Word indexes of the four spreads a pass needs.
struct SpreadIndexes {
    __m512i upper_lo, upper_hi, lower_lo, lower_hi;
};

inline SpreadIndexes LoadSpreadIndexes() {
    auto load = [](int spread) { return _mm512_load_si512(kSpread.index[spread]); };
    return {load(0), load(1), load(2), load(3)};
}

template <bool kRgbOrder, bool kAlpha>
struct Block32 {
    // kPairs (1-4) row pairs of one 16-pixel column: rows 0-3 in one register,
    // rows 4-7 in another. Rows past the pairs are read from the last pair
    // (inside the picture) and not written.
    template <bool kStream, uint32_t kPairs>
    [[gnu::always_inline]] static void Pass(const KernelRows& k, const PairStrides& s, const SpreadIndexes& x) {
        const uint8_t* luma[8];
        const uint8_t* alpha[8] = {};
        uint8_t* dest[8];
        for (uint32_t i = 0; i < 4; ++i) {
            const ptrdiff_t pair = static_cast<ptrdiff_t>(i < kPairs ? i : kPairs - 1);
            luma[2 * i] = k.luma0 + pair * s.luma;
            luma[2 * i + 1] = k.luma1 + pair * s.luma;
            if constexpr (kAlpha) {
                alpha[2 * i] = k.alpha0 + pair * s.luma;
                alpha[2 * i + 1] = k.alpha1 + pair * s.luma;
            }
            dest[2 * i] = k.dest0 + pair * s.dest;
            dest[2 * i + 1] = k.dest1 + pair * s.dest;
        }
        const Terms512 t = TermsOf512(ChromaRows(k.v, s.chroma, kPairs), ChromaRows(k.u, s.chroma, kPairs));
        auto put = [&](int half, const PixelTerms512& terms) {
            const Pixels64 p = ColourRows(FourRows(luma[4 * half], luma[4 * half + 1], luma[4 * half + 2],
                                                   luma[4 * half + 3]),
                                          terms);
            const __m512i a = kAlpha ? FourRows(alpha[4 * half], alpha[4 * half + 1], alpha[4 * half + 2],
                                                alpha[4 * half + 3])
                                     : _mm512_setzero_si512();
            uint8_t* const d[4] = {dest[4 * half], dest[4 * half + 1], dest[4 * half + 2], dest[4 * half + 3]};
            constexpr int kUpper = kPairs >= 2 ? 4 : 2 * static_cast<int>(kPairs);
            constexpr int kLower = kPairs >= 4 ? 4 : (kPairs == 3 ? 2 : 0);
            if (half == 0)
                StoreFourRows<kStream, kUpper>(d, kRgbOrder ? p.r : p.b, p.g, kRgbOrder ? p.b : p.r, a);
            else
                StoreFourRows<kStream, kLower>(d, kRgbOrder ? p.r : p.b, p.g, kRgbOrder ? p.b : p.r, a);
        };
        put(0, PixelTermsOf(t, x.upper_lo, x.upper_hi));
        if constexpr (kPairs > 2) put(1, PixelTermsOf(t, x.lower_lo, x.lower_hi));
    }

    template <bool kStream, uint32_t kPairs>
    static void Columns(KernelRows k, uint32_t steps, const PairStrides& s, const SpreadIndexes& x) {
        for (uint32_t c = 0; c < steps; ++c) {
            Pass<kStream, kPairs>(k, s, x);
            k.luma0 += 16;
            k.luma1 += 16;
            k.v += 8;
            k.u += 8;
            if constexpr (kAlpha) {
                k.alpha0 += 16;
                k.alpha1 += 16;
            }
            k.dest0 += 64;
            k.dest1 += 64;
        }
    }

    template <bool kStream>
    static void Walk(KernelRows k, uint32_t steps, uint32_t pairs, const PairStrides& s) {
        const SpreadIndexes x = LoadSpreadIndexes();
        uint32_t p = 0;
        for (; p + 4 <= pairs; p += 4) {
            Columns<kStream, 4>(k, steps, s, x);
            for (int i = 0; i < 4; ++i) AdvanceRows(k, s);
        }
        switch (pairs - p) {
        case 3: Columns<kStream, 3>(k, steps, s, x); break;
        case 2: Columns<kStream, 2>(k, steps, s, x); break;
        case 1: Columns<kStream, 1>(k, steps, s, x); break;
        default: break;
        }
    }

    // A block's rows are whole cache lines of a surface that is rarely in the
    // cache: streaming stores save reading them first. Weakly ordered: the
    // changed-blocks copy fences them once at its end.
    static void Run(const KernelRows& k, uint32_t steps, uint32_t pairs, const PairStrides& s) {
        const uintptr_t lines = reinterpret_cast<uintptr_t>(k.dest0) | reinterpret_cast<uintptr_t>(k.dest1) |
                                static_cast<uintptr_t>(s.dest);
        if ((lines & 63) == 0)
            Walk<true>(k, steps, pairs, s);
        else
            Walk<false>(k, steps, pairs, s);
    }
};

}  // namespace

bool FillAvx512Blocks(GroupEntry (*out)[6]) {
    out[kDescBgrx32][kGroupColourEven].block = &Block32<false, false>::Run;
    out[kDescRgbx32][kGroupColourEven].block = &Block32<true, false>::Run;
    out[kDescBgra32][kGroupColourEven].block = &Block32<false, true>::Run;
    out[kDescRgba32][kGroupColourEven].block = &Block32<true, true>::Run;
    return true;
}

}  // namespace zarn
