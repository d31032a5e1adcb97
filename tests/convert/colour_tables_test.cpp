// The conversion tables against their formulas.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/colour_tables.h"

namespace zarn {
namespace {

// trunc(a / 32768) computed in floating point.
int32_t Trunc(double numerator) { return static_cast<int32_t>(std::trunc(numerator / 32768.0)); }

TEST(ColourTables, MatchTheirFormulas) {
    PrepareConversionTables(-1);
    const ColourTables& t = g_colour_tables;
    for (int i = 0; i < 256; ++i) {
        const int d = i < 16 ? 0 : (i > 235 ? 219 : i - 16);
        EXPECT_EQ(t.luma[i], Trunc(d * 38154.0)) << i;
        EXPECT_EQ(t.red_v[i], Trunc((i - 128) * 52299.0)) << i;
        EXPECT_EQ(t.green_v[i], Trunc((128 - i) * 26639.0)) << i;
        EXPECT_EQ(t.green_u[i], Trunc((128 - i) * 12837.0)) << i;
        EXPECT_EQ(t.blue_u[i], Trunc((i - 128) * 66101.0)) << i;
        EXPECT_EQ(t.luma_pointer[i], &t.clamp[t.luma[i] + kClampOffset]) << i;
    }
    EXPECT_EQ(t.luma[16], 0);
    EXPECT_EQ(t.luma[235], 254);
    EXPECT_EQ(t.luma[255], 254);
    EXPECT_EQ(t.luma[128], 130);
    EXPECT_EQ(t.red_v[255], 202);
    EXPECT_EQ(t.green_v[255], -103);
}

TEST(ColourTables, ClampCoversEverySum) {
    PrepareConversionTables(-1);
    const ColourTables& t = g_colour_tables;
    int lowest = 0, highest = 0;
    for (int y = 0; y < 256; ++y) {
        for (int c = 0; c < 256; ++c) {
            for (int sum : {t.luma[y] + t.red_v[c], t.luma[y] + t.blue_u[c]}) {
                lowest = std::min(lowest, sum);
                highest = std::max(highest, sum);
            }
            for (int c2 = 0; c2 < 256; c2 += 5) {
                const int sum = t.luma[y] + t.green_u[c] + t.green_v[c2];
                lowest = std::min(lowest, sum);
                highest = std::max(highest, sum);
            }
        }
    }
    EXPECT_GE(lowest, -kClampOffset);
    EXPECT_LT(highest, kClampSize - kClampOffset);
    for (int s = -kClampOffset; s < kClampSize - kClampOffset; ++s)
        EXPECT_EQ(t.clamp[s + kClampOffset], s < 0 ? 0 : (s > 255 ? 255 : s)) << s;
}

TEST(ColourTables, GreyTable) {
    for (int format : {3, 1, 10}) {
        PrepareConversionTables(format);
        for (int i = 0; i < 256; ++i) {
            const int n = 255 * i - 4080;
            const uint32_t g = n <= 0 ? 0 : (n >= 55845 ? 255 : static_cast<uint32_t>(n / 219));
            ASSERT_EQ(GreyLevel(i), g) << i;
            const uint32_t expected =
                format == 10 ? ((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3) : g * 0x010101u;
            EXPECT_EQ(g_format_tables.grey[i], expected) << "format " << format << " luma " << i;
        }
    }
    EXPECT_EQ(GreyLevel(16), 0u);
    EXPECT_EQ(GreyLevel(235), 255u);
    EXPECT_EQ(GreyLevel(125), 126u);
}

struct Layout {
    int format;
    uint32_t bw, bp, gw, gp, rw, rp, aw, ap, unit, mask, gain;
};

TEST(ColourTables, SixteenBitFieldTablesAndConstants) {
    const Layout layouts[] = {
        {7, 4, 0, 4, 4, 4, 8, 4, 12, 0x0111, 0x7FF07FF0, 0x12A1},
        {8, 5, 0, 5, 5, 5, 10, 1, 15, 0x0421, 0x7FE07FE0, 0x2542},
        {9, 5, 0, 5, 5, 5, 10, 0, 0, 0x0421, 0x7FE07FE0, 0x2542},
        {10, 5, 0, 6, 5, 5, 11, 0, 0, 0x0841, 0x7FE07FE0, 0x2542},
        {11, 5, 0, 5, 5, 6, 10, 0, 0, 0x0821, 0x7FE07FE0, 0x2542},
        {12, 4, 0, 6, 4, 6, 10, 0, 0, 0x1041, 0x7FF07FF0, 0x12A1},
    };
    for (const Layout& l : layouts) {
        PrepareConversionTables(l.format);
        const FormatTables& f = g_format_tables;
        ASSERT_EQ(f.format, l.format);
        const Field16Layout& g = f.layout;
        EXPECT_EQ(g.blue_width, l.bw);
        EXPECT_EQ(g.blue_pos, l.bp);
        EXPECT_EQ(g.green_width, l.gw);
        EXPECT_EQ(g.green_pos, l.gp);
        EXPECT_EQ(g.red_width, l.rw);
        EXPECT_EQ(g.red_pos, l.rp);
        EXPECT_EQ(g.alpha_width, l.aw);
        EXPECT_EQ(g.alpha_pos, l.ap);
        EXPECT_EQ(g.unit, l.unit);
        EXPECT_EQ(g.mask, l.mask);
        EXPECT_EQ(g.luma_gain, l.gain);
        // The unit constant is one step of the coarsest field in every field.
        const uint32_t coarsest = std::min({l.bw, l.gw, l.rw});
        EXPECT_EQ(l.unit, (1u << (l.bp + l.bw - coarsest)) | (1u << (l.gp + l.gw - coarsest)) |
                              (1u << (l.rp + l.rw - coarsest)));
        // Fields fill the 16 bits without overlap.
        const uint32_t all = ((1u << l.bw) - 1) << l.bp | ((1u << l.gw) - 1) << l.gp |
                             ((1u << l.rw) - 1) << l.rp | (l.aw ? ((1u << l.aw) - 1) << l.ap : 0);
        EXPECT_EQ(l.bw + l.gw + l.rw + l.aw, static_cast<uint32_t>(__builtin_popcount(all)));
        for (int s = -kClampOffset; s < kClampSize - kClampOffset; ++s) {
            const uint32_t c = s < 0 ? 0 : (s > 255 ? 255 : s);
            ASSERT_EQ(f.red16[s + kClampOffset], (c >> (8 - l.rw)) << l.rp);
            ASSERT_EQ(f.green16[s + kClampOffset], (c >> (8 - l.gw)) << l.gp);
            ASSERT_EQ(f.blue16[s + kClampOffset], (c >> (8 - l.bw)) << l.bp);
        }
        for (uint32_t a = 0; a < 256; ++a) {
            const uint32_t expected = l.format == 7 ? (a & 0xF0) << 8 : (l.format == 8 ? (a & 0x80) << 8 : 0);
            ASSERT_EQ(f.alpha16[a], expected) << l.format;
        }
    }
    // Other formats clear the widths.
    PrepareConversionTables(3);
    EXPECT_EQ(g_format_tables.layout.red_width, 0u);
    EXPECT_EQ(g_format_tables.layout.unit, 0u);
}

TEST(ColourTables, FormatTablesRebuiltOnlyOnChange) {
    PrepareConversionTables(10);
    g_format_tables.grey[7] = 0xDEAD;  // marker survives a repeat of the same format
    PrepareConversionTables(10);
    EXPECT_EQ(g_format_tables.grey[7], 0xDEADu);
    PrepareConversionTables(-1);
    EXPECT_EQ(g_format_tables.grey[7], 0xDEADu);
    PrepareConversionTables(9);
    PrepareConversionTables(10);
    EXPECT_EQ(g_format_tables.grey[7], 0u);
}

}  // namespace
}  // namespace zarn
