// Dequantisation tables: two sets (intra, inter) of 16 tables of 64 entries
// in raster order, folding the quantiser step, the base matrix and the
// inverse transform's scale factors into one multiplier per coefficient.
#pragma once

#include <cstdint>

namespace zarn {

const uint32_t* IntraQuantTable(unsigned q);  // q & 15
const uint32_t* InterQuantTable(unsigned q);

// All 16 tables of a set, for callers that look one up per block.
using QuantTables = uint32_t[16][64];
const QuantTables& IntraQuantTables();
const QuantTables& InterQuantTables();

}  // namespace zarn
