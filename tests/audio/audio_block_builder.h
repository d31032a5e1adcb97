// Writes audio blocks for tests with the shared bit writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/bit_writer.h"

namespace zarn::test {

// Packed float field: mantissa m, exponent e, sign.
uint32_t PackedFloatField(uint32_t mantissa, uint32_t exponent, bool negative);

struct BlockSpec {
    uint32_t dc_field = 0;
    uint32_t nyquist_field = 0;
    std::vector<uint8_t> quantisers;    // one per band
    std::vector<int16_t> coefficients;  // n entries; 0 and 1 are not coded
};

// Coefficients 2..n-1 as plain groups of 8, each with the smallest width that
// holds its largest magnitude.
void WriteCoefficientGroups(BitWriter* writer, const std::vector<int16_t>& coefficients);

// The whole block, padded to a word boundary.
std::vector<uint8_t> BuildBlock(const BlockSpec& spec);

// A block of all-zero values: zero floats, zero quantisers, one long run of width 0.
std::vector<uint8_t> SilentBlock(uint32_t band_count);

// The decoded time signal of a block in double precision, straight from the
// sum definition of the inverse transform, then scaled, rounded and clipped.
std::vector<int32_t> ReferencePcm(const BlockSpec& spec, const std::vector<uint32_t>& band_edges,
                                  float pcm_scale);

// `count` values uniform in [-1, 1), the same for the same seed (spectra and
// complex inputs of the transform tests).
std::vector<float> RandomUnitFloats(size_t count, uint32_t seed);

}  // namespace zarn::test
