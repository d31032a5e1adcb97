// Complex DFT used inside the inverse real transform.
#pragma once

#include <cstdint>

namespace zarn {

// Fills the twiddle table for complex transforms of up to `points` values
// (a power of two): for j < points/8, four floats cos t, sin t, cos 3t, sin 3t
// with t = 2 pi j / points. That is points/2 floats.
void BuildDftTwiddles(float* twiddles, uint32_t points);

// In-place DFT of `points` complex values (interleaved re, im) with the kernel
// e^(+2 pi i p q / points), no scaling, result in natural order. `twiddles`
// was built for `table_points` >= points.
void ComplexDftPositive(float* x, uint32_t points, const float* twiddles, uint32_t table_points);

}  // namespace zarn
