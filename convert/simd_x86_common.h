// Pieces shared by the SSE2 and AVX2 kernel files (included only by them):
// exact chroma terms, the grey level, and the stores that turn 16 pixels of
// component bytes into each output layout. Uses SSE2 instructions only; each
// including file compiles them with its own instruction set.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "convert/chroma_term_words.h"
#include "convert/colour_tables.h"
#include "convert/group_block.h"
#include "convert/kernel_types.h"

namespace zarn {
namespace simd_x86 {
// Internal linkage: each kernel file keeps its own copy, compiled for its set.
namespace {

struct Ops128 {
    using V = __m128i;
    static V Add(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    static V SignMask(V a) { return _mm_srai_epi16(a, 15); }
    static V MulHigh(V a, V b) { return _mm_mulhi_epi16(a, b); }
    static V Splat(short k) { return _mm_set1_epi16(k); }
};

using Terms = TermVectors<Ops128>;

// Chroma terms of eight chroma samples.
[[gnu::always_inline]] inline Terms TermsOf(__m128i v_bytes, __m128i u_bytes) {
    const __m128i zero = _mm_setzero_si128();
    return TermsOfWords<Ops128>(_mm_unpacklo_epi8(v_bytes, zero), _mm_unpacklo_epi8(u_bytes, zero));
}

// Luma term of the vector path: ((max(Y - 16, 0) * 4) * 19077) >> 16, on words.
[[gnu::always_inline]] inline __m128i LumaTerm(__m128i y_words) {
    return _mm_mulhi_epi16(_mm_slli_epi16(_mm_subs_epu16(y_words, _mm_set1_epi16(16)), 2),
                           _mm_set1_epi16(19077));
}

// Grey level of 16 luma bytes: floor(min(max(Y - 16, 0), 219) * 255 / 219).
[[gnu::always_inline]] inline __m128i GreyBytes(__m128i y) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i x =
        _mm_min_epu8(_mm_subs_epu8(y, _mm_set1_epi8(16)), _mm_set1_epi8(static_cast<char>(219)));
    const __m128i k255 = _mm_set1_epi16(255);
    const __m128i m = _mm_set1_epi16(static_cast<short>(38305));
    const __m128i lo =
        _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(_mm_unpacklo_epi8(x, zero), k255), m), 7);
    const __m128i hi =
        _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(_mm_unpackhi_epi8(x, zero), k255), m), 7);
    return _mm_packus_epi16(lo, hi);
}

[[gnu::always_inline]] inline void Store(uint8_t* d, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
}
[[gnu::always_inline]] inline __m128i Load16(const uint8_t* s) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
}
[[gnu::always_inline]] inline __m128i Load8(const uint8_t* s) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
}

// 16 pixels of one row as component bytes.
struct Pixels16 {
    __m128i b, g, r, a;
};

// Doubles every pixel: the first and second 16 of the 32 resulting pixels.
[[gnu::always_inline]] inline Pixels16 WideLow(const Pixels16& p) {
    return {_mm_unpacklo_epi8(p.b, p.b), _mm_unpacklo_epi8(p.g, p.g), _mm_unpacklo_epi8(p.r, p.r),
            _mm_unpacklo_epi8(p.a, p.a)};
}
[[gnu::always_inline]] inline Pixels16 WideHigh(const Pixels16& p) {
    return {_mm_unpackhi_epi8(p.b, p.b), _mm_unpackhi_epi8(p.g, p.g), _mm_unpackhi_epi8(p.r, p.r),
            _mm_unpackhi_epi8(p.a, p.a)};
}

// Four vectors of four 32-bit pixels: bytes c0, g, c2, c3.
struct Quads {
    __m128i q0, q1, q2, q3;
};

[[gnu::always_inline]] inline Quads Interleave32(__m128i c0, __m128i g, __m128i c2, __m128i c3) {
    const __m128i t0 = _mm_unpacklo_epi8(c0, g);
    const __m128i t1 = _mm_unpackhi_epi8(c0, g);
    const __m128i u0 = _mm_unpacklo_epi8(c2, c3);
    const __m128i u1 = _mm_unpackhi_epi8(c2, c3);
    return {_mm_unpacklo_epi16(t0, u0), _mm_unpackhi_epi16(t0, u0), _mm_unpacklo_epi16(t1, u1),
            _mm_unpackhi_epi16(t1, u1)};
}

template <bool kRgbOrder, bool kAlpha>
struct Store32 {
    static constexpr uint32_t kBytes = 4;
    static constexpr bool kUsesAlpha = kAlpha;
    static void Put(uint8_t* d, const Pixels16& p) {
        const Quads q = Interleave32(kRgbOrder ? p.r : p.b, p.g, kRgbOrder ? p.b : p.r,
                                     kAlpha ? p.a : _mm_setzero_si128());
        Store(d, q.q0);
        Store(d + 16, q.q1);
        Store(d + 32, q.q2);
        Store(d + 48, q.q3);
    }
};

// Keeps bytes 0-2, 4-6, 8-10, 12-14 packed into bytes 0-11; bytes 12-15 zero.
[[gnu::always_inline]] inline __m128i Compress24(__m128i p) {
    const __m128i lo24 = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i hi24 =
        _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF, static_cast<int>(0xFF000000u));
    const __m128i q = _mm_or_si128(_mm_and_si128(p, lo24), _mm_and_si128(_mm_srli_epi64(p, 8), hi24));
    const __m128i first6 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i next6 = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000u), 0);
    return _mm_or_si128(_mm_and_si128(q, first6), _mm_and_si128(_mm_srli_si128(q, 2), next6));
}

template <bool kRgbOrder>
struct Store24 {
    static constexpr uint32_t kBytes = 3;
    static constexpr bool kUsesAlpha = false;
    static void Put(uint8_t* d, const Pixels16& p) {
        const Quads q = Interleave32(kRgbOrder ? p.r : p.b, p.g, kRgbOrder ? p.b : p.r, _mm_setzero_si128());
        const __m128i c0 = Compress24(q.q0);
        const __m128i c1 = Compress24(q.q1);
        const __m128i c2 = Compress24(q.q2);
        const __m128i c3 = Compress24(q.q3);
        Store(d, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
        Store(d + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
        Store(d + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
    }
};

// Field shifts of the current 16-bit format: (c >> (8 - width)) << position.
struct FieldShifts {
    __m128i b_right, b_left, g_right, g_left, r_right, r_left, a_right, a_left;
};

[[gnu::always_inline]] inline FieldShifts CurrentFieldShifts() {
    const Field16Layout& f = g_format_tables.layout;
    auto right = [](uint32_t width) { return _mm_cvtsi32_si128(static_cast<int>(8 - width)); };
    auto left = [](uint32_t pos) { return _mm_cvtsi32_si128(static_cast<int>(pos)); };
    return {right(f.blue_width), left(f.blue_pos), right(f.green_width), left(f.green_pos),
            right(f.red_width),  left(f.red_pos),  right(f.alpha_width), left(f.alpha_pos)};
}

[[gnu::always_inline]] inline __m128i Field(__m128i words, __m128i right, __m128i left) {
    return _mm_sll_epi16(_mm_srl_epi16(words, right), left);
}

template <bool kAlpha>
struct Store16 {
    static constexpr uint32_t kBytes = 2;
    static constexpr bool kUsesAlpha = kAlpha;
    static void PutHalf(uint8_t* d, const FieldShifts& s, __m128i b, __m128i g, __m128i r, __m128i a) {
        __m128i w = _mm_or_si128(_mm_or_si128(Field(b, s.b_right, s.b_left), Field(g, s.g_right, s.g_left)),
                                 Field(r, s.r_right, s.r_left));
        if (kAlpha) w = _mm_or_si128(w, Field(a, s.a_right, s.a_left));
        Store(d, w);
    }
    static void Put(uint8_t* d, const Pixels16& p, const FieldShifts& s) {
        const __m128i z = _mm_setzero_si128();
        PutHalf(d, s, _mm_unpacklo_epi8(p.b, z), _mm_unpacklo_epi8(p.g, z), _mm_unpacklo_epi8(p.r, z),
                _mm_unpacklo_epi8(p.a, z));
        PutHalf(d + 16, s, _mm_unpackhi_epi8(p.b, z), _mm_unpackhi_epi8(p.g, z), _mm_unpackhi_epi8(p.r, z),
                _mm_unpackhi_epi8(p.a, z));
    }
};

// Writers with one signature: 16 pixels, optionally doubled to 32.
template <class S>
struct Writer {
    static constexpr uint32_t kBytes = S::kBytes;
    static constexpr bool kUsesAlpha = S::kUsesAlpha;
    struct State {};
    static State Begin() { return {}; }
    static void Put(uint8_t* d, const Pixels16& p, const State&) { S::Put(d, p); }
};

template <bool kAlpha>
struct Writer<Store16<kAlpha>> {
    static constexpr uint32_t kBytes = 2;
    static constexpr bool kUsesAlpha = kAlpha;
    using State = FieldShifts;
    static State Begin() { return CurrentFieldShifts(); }
    static void Put(uint8_t* d, const Pixels16& p, const State& s) { Store16<kAlpha>::Put(d, p, s); }
};

template <class W, bool kWide>
[[gnu::always_inline]] inline void PutRow(uint8_t* d, const Pixels16& p, const typename W::State& s) {
    if constexpr (kWide) {
        W::Put(d, WideLow(p), s);
        W::Put(d + 16 * W::kBytes, WideHigh(p), s);
    } else {
        W::Put(d, p, s);
    }
}

// Packed YUV, 16 pixels of a row pair per step; no arithmetic. Width-doubled
// pixels carry U in the first and V in the second copy.
template <bool kChromaFirst, bool kGrey, bool kWide>
void GroupPackedYuv(const KernelRows& k, uint32_t steps) {
    for (uint32_t s = 0; s < steps; ++s) {
        const __m128i grey = _mm_set1_epi8(static_cast<char>(128));
        const __m128i u = kGrey ? grey : Load8(k.u + s * 8);
        const __m128i v = kGrey ? grey : Load8(k.v + s * 8);
        const __m128i uv = _mm_unpacklo_epi8(u, v);
        for (int row = 0; row < 2; ++row) {
            const __m128i y = Load16((row ? k.luma1 : k.luma0) + s * 16);
            uint8_t* d = (row ? k.dest1 : k.dest0) + s * 16 * 2 * (kWide ? 2 : 1);
            if constexpr (kWide) {
                const __m128i yy0 = _mm_unpacklo_epi8(y, y);
                const __m128i yy1 = _mm_unpackhi_epi8(y, y);
                const __m128i c0 = _mm_unpacklo_epi16(uv, uv);
                const __m128i c1 = _mm_unpackhi_epi16(uv, uv);
                Store(d, kChromaFirst ? _mm_unpacklo_epi8(c0, yy0) : _mm_unpacklo_epi8(yy0, c0));
                Store(d + 16, kChromaFirst ? _mm_unpackhi_epi8(c0, yy0) : _mm_unpackhi_epi8(yy0, c0));
                Store(d + 32, kChromaFirst ? _mm_unpacklo_epi8(c1, yy1) : _mm_unpacklo_epi8(yy1, c1));
                Store(d + 48, kChromaFirst ? _mm_unpackhi_epi8(c1, yy1) : _mm_unpackhi_epi8(yy1, c1));
            } else {
                Store(d, kChromaFirst ? _mm_unpacklo_epi8(uv, y) : _mm_unpacklo_epi8(y, uv));
                Store(d + 16, kChromaFirst ? _mm_unpackhi_epi8(uv, y) : _mm_unpackhi_epi8(y, uv));
            }
        }
    }
}

// The entry of a colour group: its own block routine where it has one.
template <class G>
constexpr GroupEntry GroupEntryOf() {
    if constexpr (requires { &G::Block; })
        return {4, &G::Run, &G::Block};
    else
        return EntryOf<&G::Run>(4);
}

// Fills the six group slots of every descriptor from the colour and grey
// group templates of one instruction set. Step 4: 16 pixels per step.
template <template <class, bool, bool> class Colour, template <class, bool> class Grey>
void FillGroupsWith(GroupEntry (*out)[6]) {
    using B32 = Writer<Store32<false, false>>;
    using R32 = Writer<Store32<true, false>>;
    using BA32 = Writer<Store32<false, true>>;
    using RA32 = Writer<Store32<true, true>>;
    using B24 = Writer<Store24<false>>;
    using R24 = Writer<Store24<true>>;
    using F16 = Writer<Store16<false>>;
    using FA16 = Writer<Store16<true>>;
    auto fill = [&](int d, GroupEntry even, GroupEntry odd, GroupEntry grey, GroupEntry wide_even,
                    GroupEntry wide_odd, GroupEntry wide_grey) {
        out[d][kGroupColourEven] = even;
        out[d][kGroupColourOdd] = odd;
        out[d][kGroupGrey] = grey;
        out[d][kGroupWideColourEven] = wide_even;
        out[d][kGroupWideColourOdd] = wide_odd;
        out[d][kGroupWideGrey] = wide_grey;
    };
#define ZARN_COLOUR(W, odd, wide) GroupEntryOf<Colour<W, odd, wide>>()
#define ZARN_GREY(W, wide) EntryOf<&Grey<W, wide>::Run>(4)
    fill(kDescBgrx32, ZARN_COLOUR(B32, false, false), ZARN_COLOUR(B32, true, false), ZARN_GREY(B32, false),
         ZARN_COLOUR(B32, false, true), ZARN_COLOUR(B32, true, true), ZARN_GREY(B32, true));
    fill(kDescRgbx32, ZARN_COLOUR(R32, false, false), ZARN_COLOUR(R32, true, false), ZARN_GREY(B32, false),
         ZARN_COLOUR(R32, false, true), ZARN_COLOUR(R32, true, true), ZARN_GREY(B32, true));
    fill(kDescBgra32, ZARN_COLOUR(BA32, false, false), ZARN_COLOUR(BA32, true, false), ZARN_GREY(B32, false),
         ZARN_COLOUR(B32, false, true), ZARN_COLOUR(B32, true, true), ZARN_GREY(B32, true));
    fill(kDescRgba32, ZARN_COLOUR(RA32, false, false), ZARN_COLOUR(RA32, true, false), ZARN_GREY(B32, false),
         ZARN_COLOUR(R32, false, true), ZARN_COLOUR(R32, true, true), ZARN_GREY(B32, true));
    fill(kDescBgr24, ZARN_COLOUR(B24, false, false), ZARN_COLOUR(B24, true, false), ZARN_GREY(B24, false),
         ZARN_COLOUR(B24, false, true), ZARN_COLOUR(B24, true, true), ZARN_GREY(B24, true));
    fill(kDescRgb24, ZARN_COLOUR(R24, false, false), ZARN_COLOUR(R24, true, false), ZARN_GREY(B24, false),
         ZARN_COLOUR(R24, false, true), ZARN_COLOUR(R24, true, true), ZARN_GREY(B24, true));
    fill(kDescFields16, ZARN_COLOUR(F16, false, false), ZARN_COLOUR(F16, true, false), ZARN_GREY(F16, false),
         ZARN_COLOUR(F16, false, true), ZARN_COLOUR(F16, true, true), ZARN_GREY(F16, true));
    fill(kDescFields16Alpha4, ZARN_COLOUR(FA16, false, false), ZARN_COLOUR(FA16, true, false),
         ZARN_GREY(F16, false), ZARN_COLOUR(F16, false, true), ZARN_COLOUR(F16, true, true),
         ZARN_GREY(F16, true));
    fill(kDescFields16Alpha1, ZARN_COLOUR(FA16, false, false), ZARN_COLOUR(FA16, true, false),
         ZARN_GREY(F16, false), ZARN_COLOUR(F16, false, true), ZARN_COLOUR(F16, true, true),
         ZARN_GREY(F16, true));
#undef ZARN_COLOUR
#undef ZARN_GREY
    fill(kDescYuy2, EntryOf<&GroupPackedYuv<false, false, false>>(4),
         EntryOf<&GroupPackedYuv<false, false, false>>(4), EntryOf<&GroupPackedYuv<false, true, false>>(4),
         EntryOf<&GroupPackedYuv<false, false, true>>(4), EntryOf<&GroupPackedYuv<false, false, true>>(4),
         EntryOf<&GroupPackedYuv<false, true, true>>(4));
    fill(kDescUyvy, EntryOf<&GroupPackedYuv<true, false, false>>(4),
         EntryOf<&GroupPackedYuv<true, false, false>>(4), EntryOf<&GroupPackedYuv<true, true, false>>(4),
         EntryOf<&GroupPackedYuv<true, false, true>>(4), EntryOf<&GroupPackedYuv<true, false, true>>(4),
         EntryOf<&GroupPackedYuv<true, true, true>>(4));
}

}  // namespace
}  // namespace simd_x86
}  // namespace zarn
