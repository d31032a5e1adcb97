// AVX2 group routines: 16 pixels of a row pair per step, each row's 16
// samples in one 256-bit register of words; stores shared with SSE2.
#include <immintrin.h>

#include <initializer_list>
#include <type_traits>

#include "convert/simd_x86_common.h"

namespace zarn {

namespace {

using namespace simd_x86;

struct Ops256 {
    using V = __m256i;
    static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V SignMask(V a) { return _mm256_srai_epi16(a, 15); }
    static V MulHigh(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    static V Splat(short k) { return _mm256_set1_epi16(k); }
};

// Chroma terms in 256 bits: of 16 pixels (TermsAt), or of 16 chroma samples
// for 32 pixels (TermsOf32).
using Terms256 = TermVectors<Ops256>;

[[gnu::always_inline]] inline __m256i Join(__m128i lo, __m128i hi) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// Pixel j of the run takes chroma sample j / 2 (even start) or (j + 1) / 2 (odd).
template <bool kOdd>
[[gnu::always_inline]] inline Terms256 TermsAt(const uint8_t* v, const uint8_t* u) {
    const Terms t = TermsOf(Load8(v), Load8(u));
    const Terms n = kOdd ? TermsOf(Load8(v + 1), Load8(u + 1)) : t;
    return {Join(_mm_unpacklo_epi16(t.red, n.red), _mm_unpackhi_epi16(t.red, n.red)),
            Join(_mm_unpacklo_epi16(t.green, n.green), _mm_unpackhi_epi16(t.green, n.green)),
            Join(_mm_unpacklo_epi16(t.blue, n.blue), _mm_unpackhi_epi16(t.blue, n.blue))};
}

[[gnu::always_inline]] inline __m256i LumaTerm256(const uint8_t* luma) {
    const __m256i y = _mm256_cvtepu8_epi16(Load16(luma));
    return _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_subs_epu16(y, _mm256_set1_epi16(16)), 2),
                              _mm256_set1_epi16(19077));
}

// Packs the words of row 0 and row 1 to bytes: low lane row 0, high lane row 1.
[[gnu::always_inline]] inline __m256i PackRows(__m256i row0, __m256i row1) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(row0, row1), 0xD8);
}

[[gnu::always_inline]] inline Terms256 TermsOf32(__m128i v_bytes, __m128i u_bytes) {
    return TermsOfWords<Ops256>(_mm256_cvtepu8_epi16(v_bytes), _mm256_cvtepu8_epi16(u_bytes));
}

// Per-pixel terms of 32 pixels in the in-lane order of unpacking 32 luma
// bytes: `lo` holds pixels 0-7 | 16-23, `hi` pixels 8-15 | 24-31.
struct PixelTerms32 {
    Terms256 lo, hi;
};

[[gnu::always_inline]] inline PixelTerms32 PixelTermsOf(const Terms256& t, const Terms256& n) {
    return {{_mm256_unpacklo_epi16(t.red, n.red), _mm256_unpacklo_epi16(t.green, n.green),
             _mm256_unpacklo_epi16(t.blue, n.blue)},
            {_mm256_unpackhi_epi16(t.red, n.red), _mm256_unpackhi_epi16(t.green, n.green),
             _mm256_unpackhi_epi16(t.blue, n.blue)}};
}

template <bool kOdd>
[[gnu::always_inline]] inline PixelTerms32 PixelTermsAt(const uint8_t* v, const uint8_t* u) {
    const Terms256 t = TermsOf32(Load16(v), Load16(u));
    const Terms256 n = kOdd ? TermsOf32(Load16(v + 1), Load16(u + 1)) : t;
    return PixelTermsOf(t, n);
}

// Terms of 16 pixels on each of two row pairs: low lane from the chroma row
// at `v`, `u`, high lane from the row `chroma` bytes on. The lanes then line
// up with luma rows loaded as (upper pair's row | lower pair's row).
[[gnu::always_inline]] inline PixelTerms32 PixelTermsOfTwoPairs(const uint8_t* v, const uint8_t* u,
                                                                ptrdiff_t chroma) {
    const Terms256 t = TermsOf32(_mm_unpacklo_epi64(Load8(v), Load8(v + chroma)),
                                 _mm_unpacklo_epi64(Load8(u), Load8(u + chroma)));
    return PixelTermsOf(t, t);
}

// 32 pixels of one row as component bytes in pixel order.
struct Pixels32 {
    __m256i b, g, r, a;
};

[[gnu::always_inline]] inline Pixels32 ColourRow32(__m256i y, const PixelTerms32& c) {
    const __m256i zero = _mm256_setzero_si256();
    auto term = [](__m256i w) {
        return _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_subs_epu16(w, _mm256_set1_epi16(16)), 2),
                                  _mm256_set1_epi16(19077));
    };
    const __m256i l_lo = term(_mm256_unpacklo_epi8(y, zero));
    const __m256i l_hi = term(_mm256_unpackhi_epi8(y, zero));
    // packus undoes the in-lane split: bytes come out in pixel order.
    return {_mm256_packus_epi16(_mm256_add_epi16(l_lo, c.lo.blue), _mm256_add_epi16(l_hi, c.hi.blue)),
            _mm256_packus_epi16(_mm256_add_epi16(l_lo, c.lo.green), _mm256_add_epi16(l_hi, c.hi.green)),
            _mm256_packus_epi16(_mm256_add_epi16(l_lo, c.lo.red), _mm256_add_epi16(l_hi, c.hi.red)), zero};
}

[[gnu::always_inline]] inline __m256i Load32(const uint8_t* s) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
}

// 32 pixels of 4 bytes: bytes c0, g, c2, c3 per pixel, four 32-byte stores;
// pixels 0-15 at `d`, pixels 16-31 at `d_hi`. Streaming stores need both on
// a 32-byte boundary.
template <bool kStream = false>
[[gnu::always_inline]] inline void Store32x32(uint8_t* d, uint8_t* d_hi, __m256i c0, __m256i g, __m256i c2,
                                              __m256i c3) {
    const __m256i t0 = _mm256_unpacklo_epi8(c0, g);  // pixels 0-7 | 16-23
    const __m256i t1 = _mm256_unpackhi_epi8(c0, g);  // pixels 8-15 | 24-31
    const __m256i u0 = _mm256_unpacklo_epi8(c2, c3);
    const __m256i u1 = _mm256_unpackhi_epi8(c2, c3);
    const __m256i q0 = _mm256_unpacklo_epi16(t0, u0);  // 0-3 | 16-19
    const __m256i q1 = _mm256_unpackhi_epi16(t0, u0);  // 4-7 | 20-23
    const __m256i q2 = _mm256_unpacklo_epi16(t1, u1);  // 8-11 | 24-27
    const __m256i q3 = _mm256_unpackhi_epi16(t1, u1);  // 12-15 | 28-31
    auto store = [](uint8_t* p, __m256i v) {
        if constexpr (kStream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(p), v);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    };
    store(d, _mm256_permute2x128_si256(q0, q1, 0x20));
    store(d + 32, _mm256_permute2x128_si256(q2, q3, 0x20));
    store(d_hi, _mm256_permute2x128_si256(q0, q1, 0x31));
    store(d_hi + 32, _mm256_permute2x128_si256(q2, q3, 0x31));
}

// 32 pixels of 3 bytes: bytes c0, g, c2 per pixel; three 32-byte stores, or
// with kSplit six of 16 bytes, pixels 16-31 at `d_hi`.
template <bool kSplit>
[[gnu::always_inline]] inline void Store24x32(uint8_t* d, uint8_t* d_hi, __m256i c0, __m256i g, __m256i c2) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i t0 = _mm256_unpacklo_epi8(c0, g);
    const __m256i t1 = _mm256_unpackhi_epi8(c0, g);
    const __m256i u0 = _mm256_unpacklo_epi8(c2, zero);
    const __m256i u1 = _mm256_unpackhi_epi8(c2, zero);
    // Drop every fourth byte: 12 bytes at the bottom of each lane, rest zero.
    const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                             4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i q0 = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(t0, u0), squeeze);  // 0-3 | 16-19
    const __m256i q1 = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(t0, u0), squeeze);  // 4-7 | 20-23
    const __m256i q2 = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(t1, u1), squeeze);  // 8-11 | 24-27
    const __m256i q3 = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(t1, u1), squeeze);  // 12-15 | 28-31
    // Per lane: 48 bytes of 16 pixels in three 16-byte pieces.
    const __m256i s0 = _mm256_or_si256(q0, _mm256_slli_si256(q1, 12));
    const __m256i s1 = _mm256_or_si256(_mm256_srli_si256(q1, 4), _mm256_slli_si256(q2, 8));
    const __m256i s2 = _mm256_or_si256(_mm256_srli_si256(q2, 8), _mm256_slli_si256(q3, 4));
    if constexpr (kSplit) {
        auto store = [](uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); };
        store(d, _mm256_castsi256_si128(s0));
        store(d + 16, _mm256_castsi256_si128(s1));
        store(d + 32, _mm256_castsi256_si128(s2));
        store(d_hi, _mm256_extracti128_si256(s0, 1));
        store(d_hi + 16, _mm256_extracti128_si256(s1, 1));
        store(d_hi + 32, _mm256_extracti128_si256(s2, 1));
    } else {
        auto store = [](uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); };
        store(d, _mm256_permute2x128_si256(s0, s1, 0x20));
        store(d + 32, _mm256_permute2x128_si256(s2, s0, 0x30));
        store(d + 64, _mm256_permute2x128_si256(s1, s2, 0x31));
    }
}

template <class W>
struct Is24Bit : std::false_type {};
template <bool kRgbOrder>
struct Is24Bit<Writer<Store24<kRgbOrder>>> : std::true_type {
    static constexpr bool kRgb = kRgbOrder;
};

template <class W>
struct Is32Bit : std::false_type {};
template <bool kRgbOrder, bool kAlpha>
struct Is32Bit<Writer<Store32<kRgbOrder, kAlpha>>> : std::true_type {
    static constexpr bool kRgb = kRgbOrder;
};

// Writes 32 pixels: 0-15 at `d`, 16-31 at `d_hi` (right after them on one
// row; on another row for a block's two row pairs).
// kSplit: `d_hi` may be anywhere (else it is the end of pixel 15).
template <class W, bool kWide, bool kSplit, bool kStream = false>
[[gnu::always_inline]] inline void PutRow32(uint8_t* d, uint8_t* d_hi, const Pixels32& p,
                                            const typename W::State& state) {
    if constexpr (!kWide && Is32Bit<W>::value) {
        Store32x32<kStream>(d, d_hi, Is32Bit<W>::kRgb ? p.r : p.b, p.g, Is32Bit<W>::kRgb ? p.b : p.r, p.a);
    } else if constexpr (!kWide && Is24Bit<W>::value) {
        Store24x32<kSplit>(d, d_hi, Is24Bit<W>::kRgb ? p.r : p.b, p.g, Is24Bit<W>::kRgb ? p.b : p.r);
    } else {
        auto half = [](__m256i v, int h) {
            return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
        };
        PutRow<W, kWide>(d, Pixels16{half(p.b, 0), half(p.g, 0), half(p.r, 0), half(p.a, 0)}, state);
        PutRow<W, kWide>(d_hi, Pixels16{half(p.b, 1), half(p.g, 1), half(p.r, 1), half(p.a, 1)}, state);
    }
}

template <class W, bool kOdd, bool kWide>
struct ColourGroup {
    static void Run(const KernelRows& k, uint32_t steps) {
        const typename W::State state = W::Begin();
        constexpr uint32_t kOut = 16 * W::kBytes * (kWide ? 2 : 1);
        uint32_t s = 0;
        // Two steps (32 pixels) at a time.
        for (; s + 2 <= steps; s += 2) {
            const PixelTerms32 c = PixelTermsAt<kOdd>(k.v + s * 8, k.u + s * 8);
            Pixels32 p0 = ColourRow32(Load32(k.luma0 + s * 16), c);
            Pixels32 p1 = ColourRow32(Load32(k.luma1 + s * 16), c);
            if constexpr (W::kUsesAlpha) {
                p0.a = Load32(k.alpha0 + s * 16);
                p1.a = Load32(k.alpha1 + s * 16);
            }
            PutRow32<W, kWide, false>(k.dest0 + s * kOut, k.dest0 + (s + 1) * kOut, p0, state);
            PutRow32<W, kWide, false>(k.dest1 + s * kOut, k.dest1 + (s + 1) * kOut, p1, state);
        }
        if (s < steps) {
            const Terms256 c = TermsAt<kOdd>(k.v + s * 8, k.u + s * 8);
            const __m256i l0 = LumaTerm256(k.luma0 + s * 16);
            const __m256i l1 = LumaTerm256(k.luma1 + s * 16);
            const __m256i b = PackRows(_mm256_add_epi16(l0, c.blue), _mm256_add_epi16(l1, c.blue));
            const __m256i g = PackRows(_mm256_add_epi16(l0, c.green), _mm256_add_epi16(l1, c.green));
            const __m256i r = PackRows(_mm256_add_epi16(l0, c.red), _mm256_add_epi16(l1, c.red));
            Pixels16 p0{_mm256_castsi256_si128(b), _mm256_castsi256_si128(g), _mm256_castsi256_si128(r),
                        _mm_setzero_si128()};
            Pixels16 p1{_mm256_extracti128_si256(b, 1), _mm256_extracti128_si256(g, 1),
                        _mm256_extracti128_si256(r, 1), _mm_setzero_si128()};
            if constexpr (W::kUsesAlpha) {
                p0.a = Load16(k.alpha0 + s * 16);
                p1.a = Load16(k.alpha1 + s * 16);
            }
            PutRow<W, kWide>(k.dest0 + s * kOut, p0, state);
            PutRow<W, kWide>(k.dest1 + s * kOut, p1, state);
        }
    }

    // One group wide (a changed block's column): two row pairs share each
    // 256-bit pass, the upper pair in the low lanes, as the 32-pixel steps
    // of a row would.
    static void Block(const KernelRows& k, uint32_t steps, uint32_t pairs, const PairStrides& strides) {
        if (kOdd || steps != 1) {
            GroupBlock<&Run>(k, steps, pairs, strides);
            return;
        }
        KernelRows r = k;
        if constexpr (!kWide && Is32Bit<W>::value) {
            // A block's rows are whole cache lines of a surface that is
            // rarely in the cache: streaming stores save reading them first.
            auto aligned = [](const void* p) { return (reinterpret_cast<uintptr_t>(p) & 31) == 0; };
            if (aligned(r.dest0) && aligned(r.dest1) && (strides.dest & 31) == 0) {
                // Weakly ordered: the changed-blocks copy fences them once at its end.
                if (BlockPairs<true>(r, pairs, strides) < pairs) Run(r, 1);
                return;
            }
        }
        if (BlockPairs<false>(r, pairs, strides) < pairs) Run(r, 1);
    }

    // Two row pairs at a time from `r`, which is left at the first pair not
    // converted; returns the pairs converted.
    template <bool kStream>
    static uint32_t BlockPairs(KernelRows& r, uint32_t pairs, const PairStrides& strides) {
        const typename W::State state = W::Begin();
        uint32_t p = 0;
        for (; p + 2 <= pairs; p += 2) {
            const PixelTerms32 c = PixelTermsOfTwoPairs(r.v, r.u, strides.chroma);
            Pixels32 p0 = ColourRow32(Join(Load16(r.luma0), Load16(r.luma0 + strides.luma)), c);
            Pixels32 p1 = ColourRow32(Join(Load16(r.luma1), Load16(r.luma1 + strides.luma)), c);
            if constexpr (W::kUsesAlpha) {
                p0.a = Join(Load16(r.alpha0), Load16(r.alpha0 + strides.luma));
                p1.a = Join(Load16(r.alpha1), Load16(r.alpha1 + strides.luma));
            }
            PutRow32<W, kWide, true, kStream>(r.dest0, r.dest0 + strides.dest, p0, state);
            PutRow32<W, kWide, true, kStream>(r.dest1, r.dest1 + strides.dest, p1, state);
            AdvanceRows(r, strides);
            AdvanceRows(r, strides);
        }
        return p;
    }
};

// Grey level of both rows: floor(min(max(Y - 16, 0), 219) * 255 / 219).
[[gnu::always_inline]] inline __m256i GreyRows(const uint8_t* luma0, const uint8_t* luma1) {
    const __m256i y = Join(Load16(luma0), Load16(luma1));
    const __m256i x =
        _mm256_min_epu8(_mm256_subs_epu8(y, _mm256_set1_epi8(16)), _mm256_set1_epi8(static_cast<char>(219)));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k255 = _mm256_set1_epi16(255);
    const __m256i m = _mm256_set1_epi16(static_cast<short>(38305));
    const __m256i lo =
        _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), k255), m), 7);
    const __m256i hi =
        _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), k255), m), 7);
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

// Packed YUV, two steps (32 pixels) at a time with 256-bit stores; width-
// doubled and single steps go through the shared 16-pixel form. Luma and
// chroma pairs are put in 64-bit quarter order 0, 2, 1, 3 so that the in-lane
// unpacks give the output in pixel order: one cross-lane move per row.
template <bool kChromaFirst, bool kGrey>
void PackedYuv32(const KernelRows& k, uint32_t steps) {
    const uint32_t pairs = steps / 2;
    for (int row = 0; row < 2; ++row) {
        const uint8_t* luma = row ? k.luma1 : k.luma0;
        uint8_t* dest = row ? k.dest1 : k.dest0;
        for (uint32_t i = 0; i < pairs; ++i) {
            const __m128i grey = _mm_set1_epi8(static_cast<char>(128));
            const __m128i u = kGrey ? grey : Load16(k.u + i * 16);
            const __m128i v = kGrey ? grey : Load16(k.v + i * 16);
            const __m256i uv =
                _mm256_permute4x64_epi64(Join(_mm_unpacklo_epi8(u, v), _mm_unpackhi_epi8(u, v)), 0xD8);
            const __m256i y = _mm256_permute4x64_epi64(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + i * 32)), 0xD8);
            uint8_t* d = dest + i * 64;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                                kChromaFirst ? _mm256_unpacklo_epi8(uv, y) : _mm256_unpacklo_epi8(y, uv));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32),
                                kChromaFirst ? _mm256_unpackhi_epi8(uv, y) : _mm256_unpackhi_epi8(y, uv));
        }
    }
    const uint32_t s = pairs * 2;
    if (s < steps) {
        KernelRows tail = k;
        tail.luma0 += s * 16;
        tail.luma1 += s * 16;
        tail.u += s * 8;
        tail.v += s * 8;
        tail.dest0 += s * 32;
        tail.dest1 += s * 32;
        GroupPackedYuv<kChromaFirst, kGrey, false>(tail, steps - s);
    }
    // The compiler may use 256-bit registers for the tail's pointers and then
    // return through the 128-bit routine without clearing the upper halves,
    // which makes the caller's non-VEX SSE code pay a state transition.
    _mm256_zeroupper();
}

}  // namespace

bool FillAvx2Groups(GroupEntry (*out)[6]) {
    FillGroupsWith<ColourGroup, GreyGroup>(out);
    for (int d : {kDescYuy2, kDescUyvy}) {
        const bool chroma_first = d == kDescUyvy;
        // Blocks take the 16-pixel form: a block's column is one group wide,
        // and the 32-pixel routine would only reach its tail.
        const GroupEntry colour =
            chroma_first
                ? GroupEntry{4, &PackedYuv32<true, false>, &GroupBlock<&GroupPackedYuv<true, false, false>>}
                : GroupEntry{4, &PackedYuv32<false, false>,
                             &GroupBlock<&GroupPackedYuv<false, false, false>>};
        out[d][kGroupColourEven] = out[d][kGroupColourOdd] = colour;
        out[d][kGroupGrey] =
            chroma_first
                ? GroupEntry{4, &PackedYuv32<true, true>, &GroupBlock<&GroupPackedYuv<true, true, false>>}
                : GroupEntry{4, &PackedYuv32<false, true>, &GroupBlock<&GroupPackedYuv<false, true, false>>};
    }
    return true;
}

}  // namespace zarn
