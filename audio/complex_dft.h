// Complex DFT used inside the inverse real transform.
#pragma once

#include <cstdint>

#include "audio/audio_kernels.h"

namespace zarn {

// Fills the twiddle table for complex transforms of up to `points` values
// (a power of two): for j < points/8, four floats cos t, sin t, cos 3t, sin 3t
// with t = 2 pi j / points. That is points/2 floats.
void BuildDftTwiddles(float* twiddles, uint32_t points);

// In-place DFT of `points` complex values (interleaved re, im) with the kernel
// e^(+2 pi i p q / points), no scaling, result in natural order. `twiddles`
// was built for `table_points` >= points. reverse_scratch holds at least
// max(points / 16, sqrt(2 * points)) entries for the bit-reversal permutation.
void ComplexDftPositive(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                        uint32_t table_points, int32_t* reverse_scratch);

}  // namespace zarn
