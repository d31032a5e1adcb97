// Pieces of the AVX2 set that the AVX-512 set builds on (x86 builds only).
#pragma once

#include <cstdint>

#include "audio/audio_kernels.h"

namespace zarn {

const AudioKernels& Avx2AudioKernelTable();
const AudioKernels& Avx512AudioKernelTable();

// 32- and 16-point transforms of values held in blocks of eight (eight real
// parts in the lane order 0, 1, 4, 5, 2, 3, 6, 7, then the eight imaginary
// parts); the result is interleaved, in bit-reversed order.
void Leaf32FromBlocksAvx2(float* x);
void Leaf16FromBlocksAvx2(float* x);

// The real split of n values (table of n / 4 half-cosines) from bin
// `first_bin` (1 mod 4) on: the part the AVX-512 split leaves, done with the
// operations the AVX2 split uses for those bins.
void RealSplitAvx2From(uint32_t n, float* a, const float* c, uint32_t first_bin);

}  // namespace zarn
