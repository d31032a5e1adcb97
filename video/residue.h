// Residue decoding: pixel-domain corrections coded as bit planes over the
// same quad-tree as the DCT coefficients, bounded by an event limit.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"

namespace zarn {

// Reads a residue block into out[64] (raster order, two's complement bytes).
// Decoding stops right after the event numbered `event_limit` (from 0).
void DecodeResidue(BitReader& r, unsigned event_limit, uint8_t out[64]);

}  // namespace zarn
