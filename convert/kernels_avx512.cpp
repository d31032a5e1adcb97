// AVX-512 block routines for the 32-bit layouts: a changed block's eight
// rows per pass, four rows to a 512-bit register, each row written as one
// 64-byte line. The four rows are held by pixel quarter: 128-bit lane k has
// pixels 4k to 4k + 3 of each row, so that the in-lane unpacks that build
// the pixels leave each row whole in one register. The arithmetic is the
// AVX2 set's; everything else stays with the AVX2 set.
#include <immintrin.h>

#include "convert/simd_x86_common.h"

namespace zarn {

namespace {

using namespace simd_x86;

// The zero-masked forms with every lane kept: GCC 12 warns about the
// undefined sources the unmasked forms pass in.
constexpr __mmask8 kAll = 0xff;
constexpr __mmask16 kAll32 = 0xffff;

struct Ops512 {
    using V = __m512i;
    static V Add(V a, V b) { return _mm512_add_epi16(a, b); }
    static V Sub(V a, V b) { return _mm512_sub_epi16(a, b); }
    static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
    static V SignMask(V a) { return _mm512_srai_epi16(a, 15); }
    static V MulHigh(V a, V b) { return _mm512_mulhi_epi16(a, b); }
    static V Splat(short k) { return _mm512_set1_epi16(k); }
};

// Chroma terms of 32 chroma samples (four chroma rows of eight), words.
using Terms512 = TermVectors<Ops512>;

[[gnu::always_inline]] inline Terms512 TermsOf512(__m256i v_bytes, __m256i u_bytes) {
    return TermsOfWords<Ops512>(_mm512_cvtepu8_epi16(v_bytes), _mm512_cvtepu8_epi16(u_bytes));
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

// The same four rows by pixel quarter: 32-bit piece j of lane k is pixels
// 4k to 4k + 3 of row j.
[[gnu::always_inline]] inline __m512i FourRowsByQuarter(const uint8_t* r0, const uint8_t* r1,
                                                        const uint8_t* r2, const uint8_t* r3) {
    const __m512i transpose = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    return _mm512_maskz_permutexvar_epi32(kAll32, transpose, FourRows(r0, r1, r2, r3));
}

// Word indexes that give each luma word of a half pass its chroma term. A
// half pass holds rows 4h to 4h + 3 by pixel quarter; unpacked to words, the
// low part of lane k is pixels 4k to 4k + 3 of rows 4h and 4h + 1 (chroma
// row 2h), the high part the same of rows 4h + 2 and 4h + 3 (chroma row
// 2h + 1). Pixel p takes sample p / 2 of its chroma row, whose terms are
// words 8 * row to 8 * row + 7 of the pass's terms.
struct alignas(64) SpreadTable {
    uint16_t index[4][32];  // half 0 low, half 0 high, half 1 low, half 1 high
};

constexpr SpreadTable MakeSpreadTable() {
    SpreadTable t{};
    for (int spread = 0; spread < 4; ++spread) {
        const int chroma_row = spread;  // 2h for the low part, 2h + 1 for the high one
        for (int lane = 0; lane < 4; ++lane)
            for (int w = 0; w < 8; ++w)
                t.index[spread][lane * 8 + w] =
                    static_cast<uint16_t>(chroma_row * 8 + (4 * lane + w % 4) / 2);
    }
    return t;
}

constexpr SpreadTable kSpread = MakeSpreadTable();

struct Spread {
    __m512i lo, hi;  // terms of the low and high words of each lane
};

struct PixelTerms512 {
    Spread red, green, blue;
};

[[gnu::always_inline]] inline PixelTerms512 PixelTermsOf(const Terms512& t, __m512i lo, __m512i hi) {
    return {{_mm512_permutexvar_epi16(lo, t.red), _mm512_permutexvar_epi16(hi, t.red)},
            {_mm512_permutexvar_epi16(lo, t.green), _mm512_permutexvar_epi16(hi, t.green)},
            {_mm512_permutexvar_epi16(lo, t.blue), _mm512_permutexvar_epi16(hi, t.blue)}};
}

// Component bytes of four rows of 16 pixels by pixel quarter.
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

// Four rows of 16 pixels of bytes c0, g, c2, c3 by pixel quarter, written as
// 64-byte lines at d[0..3]; with kRows < 4 only the first kRows.
template <bool kStream, int kRows>
[[gnu::always_inline]] inline void StoreFourRows(uint8_t* const (&d)[4], __m512i c0, __m512i g, __m512i c2,
                                                 __m512i c3) {
    const __m512i t0 = _mm512_unpacklo_epi8(c0, g);  // rows 0 and 1
    const __m512i t1 = _mm512_unpackhi_epi8(c0, g);  // rows 2 and 3
    const __m512i u0 = _mm512_unpacklo_epi8(c2, c3);
    const __m512i u1 = _mm512_unpackhi_epi8(c2, c3);
    auto store = [](uint8_t* p, __m512i v) {
        if constexpr (kStream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(p), v);
        else
            _mm512_storeu_si512(p, v);
    };
    if constexpr (kRows > 0) store(d[0], _mm512_unpacklo_epi16(t0, u0));
    if constexpr (kRows > 1) store(d[1], _mm512_unpackhi_epi16(t0, u0));
    if constexpr (kRows > 2) store(d[2], _mm512_unpacklo_epi16(t1, u1));
    if constexpr (kRows > 3) store(d[3], _mm512_unpackhi_epi16(t1, u1));
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
    // Row `row` (0-7) of a pass over kPairs row pairs, from the pointers of
    // its first pair's two rows; rows past the pairs repeat the last pair.
    template <uint32_t kPairs, class T>
    [[gnu::always_inline]] static T* RowOf(T* even, T* odd, ptrdiff_t pair_step, int row) {
        const ptrdiff_t pair = row / 2 < static_cast<int>(kPairs) ? row / 2 : kPairs - 1;
        return (row & 1 ? odd : even) + pair * pair_step;
    }

    // Rows 4 * kHalf to 4 * kHalf + 3 of a pass, in one register.
    template <bool kStream, uint32_t kPairs, int kHalf>
    [[gnu::always_inline]] static void PutHalf(const KernelRows& k, const PairStrides& s,
                                               const PixelTerms512& terms) {
        auto luma = [&](int i) { return RowOf<kPairs>(k.luma0, k.luma1, s.luma, 4 * kHalf + i); };
        const Pixels64 p = ColourRows(FourRowsByQuarter(luma(0), luma(1), luma(2), luma(3)), terms);
        __m512i a = _mm512_setzero_si512();
        if constexpr (kAlpha) {
            auto alpha = [&](int i) { return RowOf<kPairs>(k.alpha0, k.alpha1, s.luma, 4 * kHalf + i); };
            a = FourRowsByQuarter(alpha(0), alpha(1), alpha(2), alpha(3));
        }
        auto dest = [&](int i) { return RowOf<kPairs>(k.dest0, k.dest1, s.dest, 4 * kHalf + i); };
        uint8_t* const d[4] = {dest(0), dest(1), dest(2), dest(3)};
        // Rows of this half inside the pairs.
        constexpr int kRows = 2 * static_cast<int>(kPairs) - 4 * kHalf;
        StoreFourRows<kStream, (kRows < 4 ? kRows : 4)>(d, kRgbOrder ? p.r : p.b, p.g, kRgbOrder ? p.b : p.r,
                                                        a);
    }

    // kPairs (1-4) row pairs of one 16-pixel column: rows 0-3 in one register,
    // rows 4-7 in another, each by pixel quarter.
    template <bool kStream, uint32_t kPairs>
    [[gnu::always_inline]] static void Pass(const KernelRows& k, const PairStrides& s,
                                            const SpreadIndexes& x) {
        const Terms512 t = TermsOf512(ChromaRows(k.v, s.chroma, kPairs), ChromaRows(k.u, s.chroma, kPairs));
        PutHalf<kStream, kPairs, 0>(k, s, PixelTermsOf(t, x.upper_lo, x.upper_hi));
        if constexpr (kPairs > 2) PutHalf<kStream, kPairs, 1>(k, s, PixelTermsOf(t, x.lower_lo, x.lower_hi));
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
