#include "display/display_formats.h"

#include <cstring>

namespace zarn {

namespace {

int CopyFormatFor16Bit(const PixelLayout& l) {
    const uint32_t r = l.red_mask, g = l.green_mask, b = l.blue_mask;
    if (r == 0xF800 && g == 0x07E0 && b == 0x001F) return 10;
    if (r == 0x7C00 && g == 0x03E0 && b == 0x001F) return l.alpha_mask == 0x8000 ? 8 : 9;
    if (r == 0xFC00 && g == 0x03E0 && b == 0x001F) return 11;
    if (r == 0xFC00 && g == 0x03F0 && b == 0x000F) return 12;
    if (l.alpha_mask == 0xF000 && r == 0x0F00 && g == 0x00F0 && b == 0x000F) return 7;
    return -1;
}

// Writes the repeating byte pair (a, b) over `pixels` two-byte pixels.
void FillPairs(uint8_t* row, uint32_t pixels, uint8_t a, uint8_t b) {
    for (uint32_t i = 0; i < pixels; ++i) {
        row[2 * i] = a;
        row[2 * i + 1] = b;
    }
}

void FillRows(uint8_t* buffer, uint32_t rows, uint32_t bytes, int32_t pitch, uint8_t value) {
    for (uint32_t y = 0; y < rows; ++y) std::memset(buffer + int64_t(y) * pitch, value, bytes);
}

}  // namespace

int CopyFormatForLayout(const PixelLayout& l) {
    if (l.fourcc == kFourccYUY2) return 13;
    if (l.fourcc == kFourccUYVY) return 14;
    if (l.fourcc == kFourccYV12) return 15;
    if (l.fourcc != 0) return -1;
    switch (l.bits) {
    case 8: return 0;
    case 24: return l.red_mask == 0xFF0000 ? 1 : 2;
    case 32:
        if (l.alpha_mask == 0) return l.red_mask == 0xFF0000 ? 3 : 4;
        return l.red_mask == 0xFF0000 ? 5 : 6;
    case 16: return CopyFormatFor16Bit(l);
    default: return -1;
    }
}

void FillBlack(uint8_t* buffer, uint32_t width, uint32_t height, int32_t pitch, int format,
               uint32_t bytes_per_pixel) {
    if (buffer == nullptr) return;
    switch (format) {
    case 0:
    case 1:
    case 3:
    case 9:
    case 10:
    case 11:
    case 12: FillRows(buffer, height, width * bytes_per_pixel, pitch, 0); return;
    case 13:  // Y0 U Y1 V
    case 14:  // U Y0 V Y1
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = buffer + int64_t(y) * pitch;
            if (format == 13)
                FillPairs(row, width, 0x00, 0x80);
            else
                FillPairs(row, width, 0x80, 0x00);
        }
        return;
    case 15: {
        FillRows(buffer, height, width, pitch, 16);
        const int32_t half_pitch = pitch / 2;
        uint8_t* plane = buffer + int64_t(pitch) * height;
        for (int p = 0; p < 2; ++p) {
            FillRows(plane, height / 2, width / 2, half_pitch, 128);
            plane += int64_t(half_pitch) * (height / 2);
        }
        return;
    }
    default: return;
    }
}

}  // namespace zarn
