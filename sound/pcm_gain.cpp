#include "sound/pcm_gain.h"

#include <cstring>

#include "sound/attenuation.h"

namespace zarn {

namespace {

inline int32_t Scale(int32_t sample, uint32_t gain) { return (sample * static_cast<int32_t>(gain)) >> 15; }

void Gains16(uint8_t* data, uint32_t bytes, uint32_t channels, uint32_t left, uint32_t right) {
    const uint32_t count = bytes / 2;
    for (uint32_t i = 0; i < count; ++i) {
        int16_t sample;
        std::memcpy(&sample, data + 2 * i, 2);
        const uint32_t gain = (channels == 2 && (i & 1)) ? right : left;
        const int16_t scaled = static_cast<int16_t>(Scale(sample, gain));
        std::memcpy(data + 2 * i, &scaled, 2);
    }
}

void Gains8(uint8_t* data, uint32_t bytes, uint32_t channels, uint32_t left, uint32_t right) {
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint32_t gain = (channels == 2 && (i & 1)) ? right : left;
        data[i] = static_cast<uint8_t>(Scale(static_cast<int32_t>(data[i]) - 128, gain) + 128);
    }
}

}  // namespace

void ApplyGains(uint8_t* data, uint32_t bytes, uint32_t bits, uint32_t channels, uint32_t left_gain,
                uint32_t right_gain) {
    if (left_gain > kUnityGain) left_gain = kUnityGain;
    if (right_gain > kUnityGain) right_gain = kUnityGain;
    if (channels == 1) right_gain = left_gain;
    if (left_gain == kUnityGain && right_gain == kUnityGain) return;
    if (bits == 16) {
        Gains16(data, bytes, channels, left_gain, right_gain);
    } else {
        Gains8(data, bytes, channels, left_gain, right_gain);
    }
}

}  // namespace zarn
