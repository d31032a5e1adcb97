// Inverse real discrete Fourier transform, single precision, in place.
#pragma once

#include <cstdint>

#include "audio/transform_tables.h"

namespace zarn {

// Turns the packed spectrum a[0..n-1] into n time samples:
//   x[t] = (R0 + Rh * (-1)^t) / 2 + sum_{k=1}^{n/2-1} (Rk cos(2 pi k t / n) + Ik sin(2 pi k t / n))
// with a[0] = R0, a[1] = Rh (bin n/2), a[2k] = Rk, a[2k+1] = Ik. No 1/n scaling.
// n must be a power of two from 2 to kMaxTransformSize; other sizes leave a untouched.
// tables must start with scratch[0] = scratch[1] = 0.
void InverseRealDft(uint32_t n, float* a, TransformTables* tables);

struct AudioKernels;
// The same with a chosen kernel set (for tests and benchmarks).
void InverseRealDftWith(const AudioKernels& kernels, uint32_t n, float* a, TransformTables* tables);

}  // namespace zarn
