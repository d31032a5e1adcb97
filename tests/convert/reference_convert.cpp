#include "tests/convert/reference_convert.h"

#include <algorithm>

namespace zarn_test {

namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

struct Layout16 {
    int bw, bp, gw, gp, rw, rp;
};

Layout16 LayoutOf(uint32_t format) {
    switch (format) {
    case 7: return {4, 0, 4, 4, 4, 8};
    case 8:
    case 9: return {5, 0, 5, 5, 5, 10};
    case 10: return {5, 0, 6, 5, 5, 11};
    case 11: return {5, 0, 5, 5, 6, 10};
    default: return {4, 0, 6, 4, 6, 10};  // 12
    }
}

int FieldOf(int c, int width, int pos) { return (c >> (8 - width)) << pos; }

}  // namespace

int RefLuma(int luma) { return std::clamp(luma - 16, 0, 219) * 38154 / 32768; }

int RefGrey(int luma) {
    const int n = 255 * luma - 4080;
    if (n <= 0) return 0;
    if (n >= 55845) return 255;
    return n / 219;
}

uint32_t RefBytesPerPixel(uint32_t format) {
    if (format == 1 || format == 2) return 3;
    if (format >= 3 && format <= 6) return 4;
    return 2;
}

void RefPixel(const RefCopy& c, uint8_t y, uint8_t u, uint8_t v, uint8_t a, uint32_t column, bool second,
              uint8_t* out) {
    const bool wide = c.mode == 3 || c.mode == 4 || c.mode == 5;
    if (c.format == 13 || c.format == 14) {
        const bool takes_v = wide ? second : (column & 1) != 0;
        const uint8_t chroma = c.grey ? 128 : (takes_v ? v : u);
        out[c.format == 13 ? 0 : 1] = y;
        out[c.format == 13 ? 1 : 0] = chroma;
        return;
    }
    int r, g, b;
    if (c.grey) {
        r = g = b = RefGrey(y);
    } else {
        const int l = c.vector_luma ? ((std::max(y - 16, 0) * 4) * 19077) >> 16 : RefLuma(y);
        r = Clamp255(l + (v - 128) * 52299 / 32768);
        g = Clamp255(l + (128 - u) * 12837 / 32768 + (128 - v) * 26639 / 32768);
        b = Clamp255(l + (u - 128) * 66101 / 32768);
    }
    const bool alpha = c.use_alpha && !c.grey && !wide;
    switch (c.format) {
    case 1:
    case 3:
    case 5:
        out[0] = static_cast<uint8_t>(b), out[1] = static_cast<uint8_t>(g), out[2] = static_cast<uint8_t>(r);
        break;
    case 2:
    case 4:
    case 6:
        out[0] = static_cast<uint8_t>(r), out[1] = static_cast<uint8_t>(g), out[2] = static_cast<uint8_t>(b);
        break;
    default: {
        const Layout16 l = LayoutOf(c.format);
        int w = FieldOf(b, l.bw, l.bp) | FieldOf(g, l.gw, l.gp) | FieldOf(r, l.rw, l.rp);
        if (alpha && c.format == 7) w |= (a & 0xF0) << 8;
        if (alpha && c.format == 8) w |= (a & 0x80) << 8;
        out[0] = static_cast<uint8_t>(w);
        out[1] = static_cast<uint8_t>(w >> 8);
        return;
    }
    }
    if (c.format >= 3) out[3] = alpha ? a : 0;
}

void RefConvert(const RefFrame& f, const RefCopy& c, uint8_t* buffer) {
    const bool wide = c.mode == 3 || c.mode == 4 || c.mode == 5;
    const bool twice = c.mode == 1 || c.mode == 4;
    const uint32_t span = (c.mode == 0 || c.mode == 3) ? 1 : 2;
    const uint32_t step = c.mode == 6 ? 2 : 1;  // real rows per converted row
    const uint32_t rows = c.mode == 6 ? c.height / 2 : c.height;
    const uint32_t first_row = c.mode == 6 ? c.source_y / 2 : c.source_y;
    const uint32_t bytes = RefBytesPerPixel(c.format);
    const uint32_t whole_cols = c.width / 16 * 16;
    const uint32_t whole_rows = rows / 16 * 16;
    const uint8_t* vplane = c.swapped ? f.Second() : f.First();
    const uint8_t* uplane = c.swapped ? f.First() : f.Second();
    for (uint32_t r = 0; r < rows; ++r) {
        const uint32_t vrow = first_row + r;            // converted-row index
        const uint32_t real = vrow * step;              // luma row in the frame
        const uint32_t chroma_row = (vrow / 2) * step;  // chroma row in the frame
        for (uint32_t i = 0; i < c.width; ++i) {
            const uint32_t col = c.source_x + i;
            if (c.block_marks != nullptr && i < whole_cols && r < whole_rows) {
                const uint32_t band = r / 16;
                const uint8_t* m0 = c.block_marks + (c.mode == 6 ? 2 * band : band) * c.mb_cols;
                const uint8_t* m1 = c.mode == 6 ? m0 + c.mb_cols : m0;
                if (!m0[i / 16] && !m1[i / 16]) continue;
            }
            const uint8_t yv = f.Luma()[size_t{real} * f.luma_width + col];
            const size_t ci = size_t{chroma_row} * (f.luma_width / 2) + col / 2;
            const uint8_t a = f.alpha.empty() ? 0 : f.alpha[size_t{real} * f.luma_width + col];
            for (uint32_t copy = 0; copy < (wide ? 2u : 1u); ++copy) {
                uint8_t px[4];
                RefPixel(c, yv, uplane[ci], vplane[ci], a, col, copy == 1, px);
                const uint32_t dx = c.x + i * (wide ? 2 : 1) + copy;
                for (uint32_t t = 0; t < (twice ? 2u : 1u); ++t) {
                    const uint32_t dy = c.y + r * span + t;  // destination row, top-down
                    const int64_t mem_row = c.pitch < 0 ? int64_t{c.buffer_height} - 1 - dy : dy;
                    uint8_t* d =
                        buffer + mem_row * (c.pitch < 0 ? -int64_t{c.pitch} : c.pitch) + int64_t{dx} * bytes;
                    for (uint32_t k = 0; k < bytes; ++k) d[k] = px[k];
                }
            }
        }
    }
}

}  // namespace zarn_test
