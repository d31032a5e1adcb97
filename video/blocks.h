// Block types: how each 8x8 block of a plane is rebuilt.
#pragma once

#include <cstdint>

#include "video/plane_state.h"

namespace zarn {

enum BlockType : uint8_t {
    kSkipBlock = 0,
    kScaledBlock = 1,
    kMotionBlock = 2,
    kRunBlock = 3,
    kResidueBlock = 4,
    kIntraBlock = 5,
    kFillBlock = 6,
    kInterBlock = 7,
    kPatternBlock = 8,
    kRawBlock = 9,
};

// Scan orders of run blocks: positions (row x 8 + column) in visiting order.
extern const uint8_t kScanOrders[16][64];

// Decodes the block at block row `row`, column `col`; returns the number of
// block columns it covered (1, or 2 for a scaled block).
unsigned DecodeBlock(PlaneState& s, uint32_t row, uint32_t col);

}  // namespace zarn
