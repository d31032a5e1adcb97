#include "audio/audio_pcm.h"

#include "audio/audio_kernels.h"

#include <bit>

namespace zarn {

void ConvertToPcm(const float* a, uint32_t n, float scale, int16_t* pcm) {
    ActiveAudioKernels().convert_to_pcm(a, n, scale, pcm);
}

void CrossFade(int16_t* pcm, const int16_t* tail, uint32_t c) {
    const int shift = std::countr_zero(c);
    for (uint32_t i = 0; i < c; ++i) {
        const int32_t old_part = (tail[i] * static_cast<int32_t>(c - i)) >> shift;  // floor
        const int32_t new_part = (pcm[i] * static_cast<int32_t>(i)) >> shift;
        pcm[i] = static_cast<int16_t>(old_part + new_part);
    }
}

}  // namespace zarn
