// Plain conversion kernels: group, row and edge routines for every layout,
// built from the per-pixel writers.
#include "convert/group_block.h"
#include "convert/kernel_types.h"
#include "convert/pixel_formats.h"

namespace zarn {

namespace {

template <class F, bool kGrey, uint32_t kWide>
[[gnu::always_inline]] inline void PutPixel(uint8_t* d, const ChromaTerms& c, uint8_t y, uint8_t a,
                                            uint32_t parity) {
    if constexpr (kGrey) {
        F::PutGrey(d, y, parity);
        if constexpr (kWide == 2) F::PutGrey(d + F::kBytes, y, 1);
    } else if constexpr (kWide == 2) {
        F::Put(d, c, y, a, 0);
        F::Put(d + F::kBytes, c, y, a, 1);
    } else {
        F::Put(d, c, y, a, parity);
    }
}

// One row of `count` pixels from source column `start`; chroma advances
// after every odd column. Height-doubled kinds write the row twice.
template <class F, bool kGrey, uint32_t kWide, bool kTall>
[[gnu::always_inline]] inline void RunRow(const uint8_t* y, const uint8_t* v, const uint8_t* u,
                                          const uint8_t* a, uint8_t* d, ptrdiff_t twin, uint32_t start,
                                          uint32_t count) {
    ChromaTerms c{};
    uint32_t current = UINT32_MAX;
    for (uint32_t j = 0; j < count; ++j) {
        const uint32_t column = start + j;
        const uint32_t index = (column >> 1) - (start >> 1);
        if (!kGrey && index != current) {
            c = ChromaTermsOf(v[index], u[index]);
            current = index;
        }
        const uint8_t alpha = F::kUsesAlpha ? a[j] : 0;
        uint8_t* p = d + static_cast<size_t>(j) * kWide * F::kBytes;
        PutPixel<F, kGrey, kWide>(p, c, y[j], alpha, column & 1);
        if constexpr (kTall) PutPixel<F, kGrey, kWide>(p + twin, c, y[j], alpha, column & 1);
    }
}

template <class F, bool kGrey, uint32_t kWide, bool kTall>
void RowPlain(const KernelRows& k, uint32_t start_column, uint32_t count) {
    RunRow<F, kGrey, kWide, kTall>(k.luma0, k.v, k.u, k.alpha0, k.dest0, k.twin, start_column, count);
}

template <class F, bool kGrey, uint32_t kWide, bool kTall>
void EdgePlain(const KernelRows& k, uint32_t count, uint32_t start_column) {
    RunRow<F, kGrey, kWide, kTall>(k.luma0, k.v, k.u, k.alpha0, k.dest0, k.twin, start_column, count);
    RunRow<F, kGrey, kWide, kTall>(k.luma1, k.v, k.u, k.alpha1, k.dest1, k.twin, start_column, count);
}

// Group routine: 4 pixels per step on both rows, one chroma lookup per pair
// serving its four luma samples.
template <class F, bool kOdd, bool kGrey, uint32_t kWide>
void GroupPlain(const KernelRows& k, uint32_t steps) {
    const uint32_t n = steps * 4;
    constexpr size_t kStride = kWide * F::kBytes;
    const uint8_t* y0 = k.luma0;
    const uint8_t* y1 = k.luma1;
    const uint8_t* a0 = k.alpha0;
    const uint8_t* a1 = k.alpha1;
    auto alpha = [](const uint8_t* a, uint32_t j) -> uint8_t { return F::kUsesAlpha ? a[j] : 0; };
    if constexpr (kGrey) {
        const ChromaTerms none{};
        for (uint32_t j = 0; j < n; ++j) {
            PutPixel<F, true, kWide>(k.dest0 + j * kStride, none, y0[j], 0, (j + kOdd) & 1);
            PutPixel<F, true, kWide>(k.dest1 + j * kStride, none, y1[j], 0, (j + kOdd) & 1);
        }
    } else {
        uint32_t j = 0;
        uint32_t index = 0;
        if constexpr (kOdd) {
            const ChromaTerms c = ChromaTermsOf(k.v[0], k.u[0]);
            PutPixel<F, false, kWide>(k.dest0, c, y0[0], alpha(a0, 0), 1);
            PutPixel<F, false, kWide>(k.dest1, c, y1[0], alpha(a1, 0), 1);
            j = 1;
            index = 1;
        }
        for (; j + 1 < n; j += 2, ++index) {
            const ChromaTerms c = ChromaTermsOf(k.v[index], k.u[index]);
            PutPixel<F, false, kWide>(k.dest0 + j * kStride, c, y0[j], alpha(a0, j), 0);
            PutPixel<F, false, kWide>(k.dest0 + (j + 1) * kStride, c, y0[j + 1], alpha(a0, j + 1), 1);
            PutPixel<F, false, kWide>(k.dest1 + j * kStride, c, y1[j], alpha(a1, j), 0);
            PutPixel<F, false, kWide>(k.dest1 + (j + 1) * kStride, c, y1[j + 1], alpha(a1, j + 1), 1);
        }
        if (j < n) {
            const ChromaTerms c = ChromaTermsOf(k.v[index], k.u[index]);
            PutPixel<F, false, kWide>(k.dest0 + j * kStride, c, y0[j], alpha(a0, j), 0);
            PutPixel<F, false, kWide>(k.dest1 + j * kStride, c, y1[j], alpha(a1, j), 0);
        }
    }
}

// The six plain group routines of a descriptor: colour writer C, grey writer
// G, width-doubled colour writer W.
template <class C, class G, class W, bool kSharedParity>
void FillGroups(GroupEntry* out) {
    out[kGroupColourEven] = EntryOf<&GroupPlain<C, false, false, 1>>(2);
    out[kGroupColourOdd] = kSharedParity ? EntryOf<&GroupPlain<C, false, false, 1>>(2)
                                         : EntryOf<&GroupPlain<C, true, false, 1>>(2);
    out[kGroupGrey] = EntryOf<&GroupPlain<G, false, true, 1>>(2);
    out[kGroupWideColourEven] = EntryOf<&GroupPlain<W, false, false, 2>>(2);
    out[kGroupWideColourOdd] = kSharedParity ? EntryOf<&GroupPlain<W, false, false, 2>>(2)
                                             : EntryOf<&GroupPlain<W, true, false, 2>>(2);
    out[kGroupWideGrey] = EntryOf<&GroupPlain<G, false, true, 2>>(2);
}

template <class F, bool kGrey, uint32_t kWide, bool kTall>
constexpr RowEdgePair Pair() {
    return {&RowPlain<F, kGrey, kWide, kTall>, &EdgePlain<F, kGrey, kWide, kTall>};
}

template <class C, class G, class W>
void FillPairs(RowEdgePair* out) {
    out[kPairColour] = Pair<C, false, 1, false>();
    out[kPairGrey] = Pair<G, true, 1, false>();
    out[kPairWideColour] = Pair<W, false, 2, false>();
    out[kPairWideGrey] = Pair<G, true, 2, false>();
    out[kPairTallColour] = Pair<C, false, 1, true>();
    out[kPairTallGrey] = Pair<G, true, 1, true>();
    out[kPairWideTallColour] = Pair<W, false, 2, true>();
    out[kPairWideTallGrey] = Pair<G, true, 2, true>();
}

}  // namespace

void FillPlainGroups(GroupEntry (*out)[6]) {
    FillGroups<FormatBgrx, FormatBgrx, FormatBgrx, false>(out[kDescBgrx32]);
    FillGroups<FormatRgbx, FormatBgrx, FormatRgbx, false>(out[kDescRgbx32]);
    FillGroups<FormatBgra, FormatBgrx, FormatBgrx, false>(out[kDescBgra32]);  // width-doubled from 0
    FillGroups<FormatRgba, FormatBgrx, FormatRgbx, false>(out[kDescRgba32]);  // width-doubled from 1
    FillGroups<FormatBgr, FormatBgr, FormatBgr, false>(out[kDescBgr24]);
    FillGroups<FormatRgb, FormatBgr, FormatRgb, false>(out[kDescRgb24]);
    FillGroups<FormatFields, FormatFields, FormatFields, false>(out[kDescFields16]);
    FillGroups<FormatFieldsAlpha, FormatFields, FormatFields, false>(out[kDescFields16Alpha4]);
    FillGroups<FormatFieldsAlpha, FormatFields, FormatFields, false>(out[kDescFields16Alpha1]);
    FillGroups<FormatYuy2, FormatYuy2, FormatYuy2, true>(out[kDescYuy2]);
    FillGroups<FormatUyvy, FormatUyvy, FormatUyvy, true>(out[kDescUyvy]);
}

void FillPlainPairs(RowEdgePair (*out)[8]) {
    FillPairs<FormatBgrx, FormatBgrx, FormatBgrx>(out[kDescBgrx32]);
    FillPairs<FormatRgbx, FormatBgrx, FormatRgbx>(out[kDescRgbx32]);
    FillPairs<FormatBgra, FormatBgrx, FormatBgrx>(out[kDescBgra32]);
    FillPairs<FormatRgba, FormatBgrx, FormatRgbx>(out[kDescRgba32]);
    FillPairs<FormatBgr, FormatBgr, FormatBgr>(out[kDescBgr24]);
    FillPairs<FormatRgb, FormatBgr, FormatRgb>(out[kDescRgb24]);
    FillPairs<FormatFields, FormatFields, FormatFields>(out[kDescFields16]);
    FillPairs<FormatFieldsAlpha, FormatFields, FormatFields>(out[kDescFields16Alpha4]);
    FillPairs<FormatFieldsAlpha, FormatFields, FormatFields>(out[kDescFields16Alpha1]);
    FillPairs<FormatYuy2, FormatYuy2, FormatYuy2>(out[kDescYuy2]);
    FillPairs<FormatUyvy, FormatUyvy, FormatUyvy>(out[kDescUyvy]);
}

}  // namespace zarn
