// The PCM format a sound device is opened in, and its silence value.
#pragma once

#include <cstdint>

namespace zarn {

struct PcmFormat {
    uint32_t rate = 0;      // samples per second
    uint32_t bits = 0;      // 8 (unsigned) or 16 (signed, native order)
    uint32_t channels = 0;  // 1 or 2
};

// Lowest and highest sample rates a back end accepts; outside them the chunk
// sizes would degenerate (below a frame) or the buffers grow without bound.
constexpr uint32_t kMinSoundRate = 1000;
constexpr uint32_t kMaxSoundRate = 1000000;

inline bool PcmFormatValid(const PcmFormat& format) {
    return (format.bits == 8 || format.bits == 16) && (format.channels == 1 || format.channels == 2) &&
           format.rate >= kMinSoundRate && format.rate <= kMaxSoundRate;
}

// Bytes per second of the device format.
inline uint32_t PcmBytesPerSecond(const PcmFormat& format) {
    return format.rate * format.channels * (format.bits / 8);
}

// The byte that fills silence: 0 for signed 16-bit data, 0x80 for unsigned 8-bit.
inline uint8_t SilenceByte(uint32_t bits) { return bits == 16 ? 0x00 : 0x80; }

}  // namespace zarn
