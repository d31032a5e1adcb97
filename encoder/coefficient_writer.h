// Writing DCT coefficients as the bit-plane quad-tree code the decoder walks.
#pragma once

#include <cstdint>

#include "encoder/field_list.h"

namespace zarn {

// Appends the code of coef[1..63] (raster order; coef[0] is not coded):
// a 4-bit plane count, then significance, magnitude and sign bits.
// Magnitudes must be below 2^15. Returns the number of bits appended.
size_t WriteAcCoefficients(const int16_t coef[64], FieldList& out);

// The number of bits WriteAcCoefficients would append.
size_t CountAcCoefficientBits(const int16_t coef[64]);

}  // namespace zarn
