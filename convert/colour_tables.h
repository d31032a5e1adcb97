// Tables that the conversion kernels read: the colour tables (built once
// for the process) and, per thread, the grey-scale table and the 16-bit
// field tables (rebuilt when that thread's output format changes), so that
// movies copied into different formats in different threads do not clash.
#pragma once

#include <cstdint>

namespace zarn {

// The clamp table covers every sum of a luma entry and chroma terms:
// index s + kClampOffset for s in [-kClampOffset, kClampSize - kClampOffset).
constexpr int kClampOffset = 384;
constexpr int kClampSize = 1024;

// Field layout of one 16-bit output format (widths 0 for other formats).
struct Field16Layout {
    uint32_t blue_width, blue_pos;
    uint32_t green_width, green_pos;
    uint32_t red_width, red_pos;
    uint32_t alpha_width, alpha_pos;  // alpha field of the alpha formats 7 and 8
    uint32_t unit;                    // one step of the coarsest field, in each field
    uint32_t mask;                    // packed mask word for two pixels
    uint32_t luma_gain;               // grey-scale gain word
};

struct ColourTables {
    int32_t luma[256];                 // L: studio-range luma scaled to 0..254
    int32_t red_v[256];                // Vr
    int32_t green_v[256];              // Vg
    int32_t green_u[256];              // Ug
    int32_t blue_u[256];               // Ub
    uint8_t clamp[kClampSize];         // indexed by sum + kClampOffset
    const uint8_t* luma_pointer[256];  // &clamp[L[i] + kClampOffset]
};

struct FormatTables {
    int32_t format;      // CopyFormat these were built for, -1 before the first
    uint32_t grey[256];  // output pixel (g, g, g) for each luma
    Field16Layout layout;
    // Field values for a clamped component, indexed by sum + kClampOffset.
    uint16_t red16[kClampSize];
    uint16_t green16[kClampSize];
    uint16_t blue16[kClampSize];
    uint16_t alpha16[256];  // alpha field for each alpha sample
};

extern ColourTables g_colour_tables;
// Code built for an executable reaches the tables at a fixed offset from the
// thread pointer, without a register to hold their address.
#if defined(__GNUC__) && (defined(__PIE__) || !defined(__PIC__))
#define ZARN_EXECUTABLE_TLS __attribute__((tls_model("local-exec")))
#else
#define ZARN_EXECUTABLE_TLS
#endif

extern constinit thread_local FormatTables g_format_tables ZARN_EXECUTABLE_TLS;

// Builds the colour tables on first use (once, whichever thread comes
// first); rebuilds this thread's per-format tables when `format` differs
// from the last one it prepared (a format of -1 only ensures the colour
// tables).
void PrepareConversionTables(int32_t format);

// Field layout of a CopyFormat (all zero for non-16-bit formats).
Field16Layout Field16LayoutOf(int32_t format);

// Grey level of a luma sample: 0 at 16 and below, 255 at 235 and above.
inline uint32_t GreyLevel(uint32_t luma) {
    const int32_t n = 255 * static_cast<int32_t>(luma) - 4080;
    if (n <= 0) return 0;
    if (n >= 55845) return 255;
    return static_cast<uint32_t>(n / 219);
}

}  // namespace zarn
