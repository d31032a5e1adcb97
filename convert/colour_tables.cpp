#include "convert/colour_tables.h"

#include <mutex>

namespace zarn {

ColourTables g_colour_tables;
constinit thread_local FormatTables g_format_tables = {-1, {}, {}, {}, {}, {}, {}};

namespace {

std::once_flag g_colour_built;

int32_t TruncScaled(int32_t value, int32_t coefficient) {
    // Division truncating toward zero, as C++ integer division does.
    return value * coefficient / 32768;
}

void BuildColourTables(ColourTables& t) {
    for (int32_t i = 0; i < 256; ++i) {
        int32_t d = i - 16;
        if (d < 0) d = 0;
        if (d > 219) d = 219;
        t.luma[i] = TruncScaled(d, 38154);
        t.red_v[i] = TruncScaled(i - 128, 52299);
        t.green_v[i] = TruncScaled(128 - i, 26639);
        t.green_u[i] = TruncScaled(128 - i, 12837);
        t.blue_u[i] = TruncScaled(i - 128, 66101);
    }
    for (int32_t s = 0; s < kClampSize; ++s) {
        const int32_t v = s - kClampOffset;
        t.clamp[s] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    for (int32_t i = 0; i < 256; ++i) t.luma_pointer[i] = &t.clamp[t.luma[i] + kClampOffset];
}

uint32_t FieldValue(uint32_t component, uint32_t width, uint32_t pos) {
    if (width == 0) return 0;
    return (component >> (8 - width)) << pos;
}

void BuildFormatTables(FormatTables& t, int32_t format) {
    t.format = format;
    t.layout = Field16LayoutOf(format);
    const Field16Layout& f = t.layout;
    const bool sixteen = f.red_width != 0;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t g = GreyLevel(i);
        t.grey[i] = sixteen ? FieldValue(g, f.blue_width, f.blue_pos) |
                                  FieldValue(g, f.green_width, f.green_pos) |
                                  FieldValue(g, f.red_width, f.red_pos)
                            : g * 0x010101u;
        t.alpha16[i] = static_cast<uint16_t>(FieldValue(i, f.alpha_width, f.alpha_pos));
    }
    for (int32_t s = 0; s < kClampSize; ++s) {
        const uint32_t c = g_colour_tables.clamp[s];
        t.red16[s] = static_cast<uint16_t>(FieldValue(c, f.red_width, f.red_pos));
        t.green16[s] = static_cast<uint16_t>(FieldValue(c, f.green_width, f.green_pos));
        t.blue16[s] = static_cast<uint16_t>(FieldValue(c, f.blue_width, f.blue_pos));
    }
}

}  // namespace

Field16Layout Field16LayoutOf(int32_t format) {
    //                 blue    green   red     alpha   unit    mask         gain
    switch (format) {
    case 7: return {4, 0, 4, 4, 4, 8, 4, 12, 0x0111, 0x7FF07FF0u, 0x12A1};
    case 8: return {5, 0, 5, 5, 5, 10, 1, 15, 0x0421, 0x7FE07FE0u, 0x2542};
    case 9: return {5, 0, 5, 5, 5, 10, 0, 0, 0x0421, 0x7FE07FE0u, 0x2542};
    case 10: return {5, 0, 6, 5, 5, 11, 0, 0, 0x0841, 0x7FE07FE0u, 0x2542};
    // Formats 11 and 12 follow the surfaces that carry these numbers:
    // red 6 bits at 10 over green 5 at 5 and blue 5 at 0, and red 6 at 10
    // over green 6 at 4 and blue 4 at 0.
    case 11: return {5, 0, 5, 5, 6, 10, 0, 0, 0x0821, 0x7FE07FE0u, 0x2542};
    case 12: return {4, 0, 6, 4, 6, 10, 0, 0, 0x1041, 0x7FF07FF0u, 0x12A1};
    default: return {};
    }
}

void PrepareConversionTables(int32_t format) {
    std::call_once(g_colour_built, [] { BuildColourTables(g_colour_tables); });
    if (format == -1 || format == g_format_tables.format) return;
    BuildFormatTables(g_format_tables, format);
}

}  // namespace zarn
