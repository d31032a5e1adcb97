// Integer 8x8 inverse DCT with dequantisation, behind a function table so
// that instruction-set kernels can replace the plain ones at run time.
//
// Arithmetic is 32-bit and wraps; each product is shifted right by 11 at
// once; outputs are (y + 127) >> 8 kept to their low 8 bits (no clamping).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

struct IdctFunctions {
    // 8x8 output written to dst.
    void (*put)(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]);
    // Each output written as a 2x2 square of a 16x16 area.
    void (*put_enlarged)(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]);
    // Output added modulo 256 to an 8x8 prediction (stride 8) and written to dst.
    void (*add)(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
                const uint8_t pred[64]);
    // The same with the prediction read in place, rows `pred_stride` apart
    // (a motion source): the whole prediction is read before dst is
    // written, so the two may overlap.
    void (*add_from)(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
                     const uint8_t* pred, ptrdiff_t pred_stride);
};

// The plain C++ kernels (the reference every other kernel must match).
const IdctFunctions& IdctPlainFunctions();

// The kernels chosen for this CPU; env ZARN_CPU=plain forces the plain ones.
const IdctFunctions& ChosenIdctFunctions();

// Output of a block whose AC coefficients are all zero.
inline uint8_t IdctFlatValue(int16_t dc, uint32_t table0) {
    int32_t x0 = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(dc)) * table0) >> 11;
    return static_cast<uint8_t>(static_cast<int32_t>(static_cast<uint32_t>(x0) + 127u) >> 8);
}

}  // namespace zarn
