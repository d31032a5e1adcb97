// Turning transform output into 16-bit PCM and joining consecutive blocks.
#pragma once

#include <cstdint>

namespace zarn {

// pcm[t] = a[t] * scale (product in double), rounded half to even, clipped to 16 bits.
void ConvertToPcm(const float* a, uint32_t n, float scale, int16_t* pcm);

// pcm[i] = floor(tail[i] * (c - i) / c) + floor(pcm[i] * i / c) for i < c, c a power of two.
void CrossFade(int16_t* pcm, const int16_t* tail, uint32_t c);

}  // namespace zarn
