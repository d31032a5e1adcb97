// Pixel layouts of display surfaces and the copy formats they take, and the
// black picture of each copy format. No platform code.
#pragma once

#include <cstdint>

namespace zarn {

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kFourccYUY2 = MakeFourcc('Y', 'U', 'Y', '2');
constexpr uint32_t kFourccUYVY = MakeFourcc('U', 'Y', 'V', 'Y');
constexpr uint32_t kFourccYV12 = MakeFourcc('Y', 'V', '1', '2');

// A surface's pixel format: a FOURCC (0 for none) or a bit count with masks.
struct PixelLayout {
    uint32_t fourcc;
    uint32_t bits;
    uint32_t red_mask, green_mask, blue_mask, alpha_mask;
};

// The copy format number for a surface layout, or -1 when unusable.
int CopyFormatForLayout(const PixelLayout& layout);

// Fills a locked width x height area with black in copy format `format`.
// Formats 0, 1, 3, 9-12 clear width x bytes_per_pixel bytes per row;
// 13/14 write Y 0 with neutral chroma; 15 fills its three planes (luma 16,
// chroma 128, planes of pitch/2 following the luma plane); others untouched.
void FillBlack(uint8_t* buffer, uint32_t width, uint32_t height, int32_t pitch, int format,
               uint32_t bytes_per_pixel);

}  // namespace zarn
