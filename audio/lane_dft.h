// Portable complex DFT that keeps four interleaved sub-transforms side by side,
// so that plain loops over four lanes vectorise without shuffles.
#pragma once

#include <cstdint>

namespace zarn {

struct AudioKernels;

// Same contract as ComplexDftPositive (positive kernel, natural-order result,
// twiddle table of BuildDftTwiddles built for `table_points` >= points,
// `scratch` of at least max(points / 16, sqrt(2 * points)) entries).
// Sizes below 32 points go through the split-radix path of `kernels`.
void LaneDft(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
             uint32_t table_points, int32_t* scratch);

}  // namespace zarn
