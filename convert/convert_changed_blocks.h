// Changed-blocks driver: converts only the marked 16x16 macroblocks, and
// the strips beyond the last whole macroblock column and row.
#pragma once

#include <cstdint>

#include "convert/descriptors.h"

namespace zarn {

// `block_marks` holds mb_cols bytes per macroblock row (non-zero: changed).
// PrepareConversionTables(format) must have run for the copy's format.
void ConvertChangedBlocks(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, const uint8_t* block_marks,
                          uint32_t mb_cols, const uint8_t* luma, uint32_t width, uint32_t height,
                          uint32_t luma_width, uint32_t luma_height, const uint8_t* alpha, uint32_t flags,
                          ConvertDescriptor& descriptor);

}  // namespace zarn
