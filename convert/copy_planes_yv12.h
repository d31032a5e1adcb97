// YV12 output: the three planes copied without conversion.
#pragma once

#include <cstdint>

namespace zarn {

// Destination: luma plane of `buffer_height` rows at `pitch`, then the V
// plane and the U plane, each of buffer_height / 2 rows at pitch / 2.
// Positions and sizes are made even first. Grey-scale fills chroma with 128.
void CopyPlanesYV12(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, uint32_t buffer_height,
                    const uint8_t* frame, uint32_t source_width, uint32_t source_height, uint32_t luma_width,
                    uint32_t luma_height, uint32_t flags);

}  // namespace zarn
