// Forward 8x8 DCT and quantiser matched to the decoder's dequantisation
// tables and integer inverse DCT.
#pragma once

#include <cstdint>

namespace zarn {

// Orthonormal 2-D DCT of an 8x8 block (raster order).
void ForwardDct8x8(const int16_t in[64], float out[64]);

// The coefficient step of quantiser q at each raster position: a coefficient
// value v decodes to about v * step of the orthonormal transform.
const float* QuantSteps(bool intra, unsigned q);

// Quantises the transform: out[0] from the DC (clamped to the DC bundle's
// range: 0..2047 intra, -1023..1023 inter), out[1..63] rounded with a dead
// zone (`rounding` in 0..0.5 is added to the magnitude before truncating).
void QuantiseBlock(const float dct[64], bool intra, unsigned q, float rounding, int16_t out[64]);

}  // namespace zarn
