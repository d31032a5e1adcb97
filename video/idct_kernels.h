// Instruction-set kernels of the inverse transform (only for idct.cpp and tests).
#pragma once

#include "video/idct.h"

namespace zarn {

#if defined(ZARN_X86_KERNELS)
// Only to be called when the CPU has AVX2.
const IdctFunctions& IdctAvx2Functions();
#endif

}  // namespace zarn
