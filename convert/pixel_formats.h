// Per-pixel writers of the plain kernels: one record per output layout.
// Colour pixels come from the colour tables (one lookup per component);
// grey pixels from the per-format grey table.
#pragma once

#include <cstdint>

#include "convert/colour_tables.h"

namespace zarn {

// Chroma terms of one chroma pair: the sums that luma is added to.
struct ChromaTerms {
    int32_t red;    // Vr[V]
    int32_t green;  // Ug[U] + Vg[V]
    int32_t blue;   // Ub[U]
    uint8_t u, v;   // raw samples for the packed YUV layouts
};

inline ChromaTerms ChromaTermsOf(uint8_t v, uint8_t u) {
    const ColourTables& t = g_colour_tables;
    return {t.red_v[v], t.green_u[u] + t.green_v[v], t.blue_u[u], u, v};
}

inline void Store16(uint8_t* d, uint32_t w) {
    d[0] = static_cast<uint8_t>(w);
    d[1] = static_cast<uint8_t>(w >> 8);
}

// 32-bit pixels: bytes B, G, R, x (or R, G, B, x); x is alpha or 0.
template <bool kRgbOrder, bool kAlpha>
struct Format32 {
    static constexpr uint32_t kBytes = 4;
    static constexpr bool kUsesAlpha = kAlpha;
    static void Put(uint8_t* d, const ChromaTerms& c, uint8_t y, uint8_t a, uint32_t) {
        const uint8_t* lp = g_colour_tables.luma_pointer[y];
        const uint8_t r = lp[c.red], g = lp[c.green], b = lp[c.blue];
        d[0] = kRgbOrder ? r : b;
        d[1] = g;
        d[2] = kRgbOrder ? b : r;
        d[3] = kAlpha ? a : 0;
    }
    static void PutGrey(uint8_t* d, uint8_t y, uint32_t) {
        const uint32_t g = g_format_tables.grey[y];
        d[0] = static_cast<uint8_t>(g);
        d[1] = static_cast<uint8_t>(g >> 8);
        d[2] = static_cast<uint8_t>(g >> 16);
        d[3] = 0;
    }
};

// 24-bit pixels: bytes B, G, R (or R, G, B).
template <bool kRgbOrder>
struct Format24 {
    static constexpr uint32_t kBytes = 3;
    static constexpr bool kUsesAlpha = false;
    static void Put(uint8_t* d, const ChromaTerms& c, uint8_t y, uint8_t, uint32_t) {
        const uint8_t* lp = g_colour_tables.luma_pointer[y];
        const uint8_t r = lp[c.red], g = lp[c.green], b = lp[c.blue];
        d[0] = kRgbOrder ? r : b;
        d[1] = g;
        d[2] = kRgbOrder ? b : r;
    }
    static void PutGrey(uint8_t* d, uint8_t y, uint32_t) {
        const uint32_t g = g_format_tables.grey[y];
        d[0] = static_cast<uint8_t>(g);
        d[1] = static_cast<uint8_t>(g >> 8);
        d[2] = static_cast<uint8_t>(g >> 16);
    }
};

// 16-bit pixels through the per-format field tables; the alpha layouts add
// the alpha field from the per-format alpha table.
template <bool kAlpha>
struct Format16 {
    static constexpr uint32_t kBytes = 2;
    static constexpr bool kUsesAlpha = kAlpha;
    static void Put(uint8_t* d, const ChromaTerms& c, uint8_t y, uint8_t a, uint32_t) {
        const FormatTables& f = g_format_tables;
        const int32_t base = g_colour_tables.luma[y] + kClampOffset;
        uint32_t w = f.red16[base + c.red] | f.green16[base + c.green] | f.blue16[base + c.blue];
        if (kAlpha) w |= f.alpha16[a];
        Store16(d, w);
    }
    static void PutGrey(uint8_t* d, uint8_t y, uint32_t) { Store16(d, g_format_tables.grey[y]); }
};

// Packed YUV: a pixel at an even position carries U, at an odd one V.
template <bool kChromaFirst>
struct FormatPackedYuv {
    static constexpr uint32_t kBytes = 2;
    static constexpr bool kUsesAlpha = false;
    static void Put(uint8_t* d, const ChromaTerms& c, uint8_t y, uint8_t, uint32_t parity) {
        const uint8_t chroma = parity ? c.v : c.u;
        d[kChromaFirst ? 1 : 0] = y;
        d[kChromaFirst ? 0 : 1] = chroma;
    }
    static void PutGrey(uint8_t* d, uint8_t y, uint32_t) {
        d[kChromaFirst ? 1 : 0] = y;
        d[kChromaFirst ? 0 : 1] = 128;
    }
};

using FormatBgrx = Format32<false, false>;
using FormatRgbx = Format32<true, false>;
using FormatBgra = Format32<false, true>;
using FormatRgba = Format32<true, true>;
using FormatBgr = Format24<false>;
using FormatRgb = Format24<true>;
using FormatFields = Format16<false>;
using FormatFieldsAlpha = Format16<true>;
using FormatYuy2 = FormatPackedYuv<false>;
using FormatUyvy = FormatPackedYuv<true>;

}  // namespace zarn
