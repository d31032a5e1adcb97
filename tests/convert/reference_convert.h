// Per-pixel reference of the frame copy, written from the conversion
// formulas without the library's tables or drivers. Used by the tests to
// check every path of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn_test {

struct RefFrame {
    uint32_t luma_width = 0, luma_height = 0;
    std::vector<uint8_t> planes;  // luma, first chroma, second chroma
    std::vector<uint8_t> alpha;   // empty when the movie has none
    const uint8_t* Luma() const { return planes.data(); }
    const uint8_t* First() const { return planes.data() + size_t{luma_width} * luma_height; }
    const uint8_t* Second() const { return First() + size_t{luma_width} * luma_height / 4; }
};

struct RefCopy {
    uint32_t format = 3;
    uint32_t mode = 0;
    bool grey = false;
    bool swapped = false;
    bool use_alpha = false;    // alpha layout chosen (format 5-8 with alpha planes)
    bool vector_luma = false;  // luma term of the vector path (no cap at 235)
    uint32_t x = 0, y = 0;     // destination of the part's top-left pixel
    uint32_t source_x = 0, source_y = 0, width = 0, height = 0;  // before mode 6 halving
    int32_t pitch = 0;                                           // negative: bottom-up
    uint32_t buffer_height = 0;
    // Changed-blocks selection: nullptr converts everything.
    const uint8_t* block_marks = nullptr;
    uint32_t mb_cols = 0;
};

uint32_t RefBytesPerPixel(uint32_t format);
// Output bytes of one pixel; `second` is the right copy of a doubled pixel.
void RefPixel(const RefCopy& c, uint8_t y, uint8_t u, uint8_t v, uint8_t a, uint32_t column, bool second,
              uint8_t* out);
// Applies the copy to `buffer` (which starts at the first row in memory).
void RefConvert(const RefFrame& f, const RefCopy& c, uint8_t* buffer);

int RefGrey(int luma);
int RefLuma(int luma);

}  // namespace zarn_test
