#include "audio/audio_pcm.h"

#include <algorithm>
#include <bit>

namespace zarn {

void ConvertToPcm(const float* a, uint32_t n, float scale, int16_t* pcm) {
    // Adding and removing 1.5 * 2^52 rounds a double of magnitude below 2^51 to
    // an integer, ties to even, in the default rounding mode.
    constexpr double kRound = 6755399441055744.0;
    const double s = scale;
    for (uint32_t t = 0; t < n; ++t) {
        double p = static_cast<double>(a[t]) * s;  // exact: 24-bit by 24-bit mantissas
        p = std::min(32767.0, std::max(-32768.0, p));
        p = (p + kRound) - kRound;
        pcm[t] = static_cast<int16_t>(p);
    }
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
