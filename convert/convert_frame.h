// Whole-frame driver: converts a rectangle of the decoded frame (normally
// all of it) into the destination buffer, two luma rows at a time.
#pragma once

#include <cstdint>

#include "convert/descriptors.h"

namespace zarn {

// `buffer` is the top row of the destination (pitch may be negative for a
// bottom-up buffer already rebased); (x, y) the destination of the part's
// top-left pixel; (source_x, source_y, width, height) the part of the
// picture to convert, before the scaling mode is applied.
// PrepareConversionTables(format) must have run for the copy's format.
void ConvertFrame(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, const uint8_t* luma,
                  uint32_t source_x, uint32_t source_y, uint32_t width, uint32_t height, uint32_t luma_width,
                  uint32_t luma_height, const uint8_t* alpha, uint32_t flags, ConvertDescriptor& descriptor);

// Destination pixel x at which 4-pixel groups meet 4-byte boundaries: 3-byte
// pixels count from the 4-byte boundary below the base, 2-byte pixels from
// the 2-byte one.
uint32_t AlignedDestinationX(const uint8_t* buffer, uint32_t x, uint32_t bytes_per_pixel);

}  // namespace zarn
