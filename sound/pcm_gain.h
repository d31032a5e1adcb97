// Scales device PCM in place by per-channel gains (what a mixer does for
// volume and pan). Runs on the device's own thread: no allocation.
#pragma once

#include <cstdint>

namespace zarn {

// `data` starts on a frame boundary. Gains are Q15 (32768 = unity, at most
// unity). Mono data uses the left gain. 8-bit data is unsigned around 0x80.
void ApplyGains(uint8_t* data, uint32_t bytes, uint32_t bits, uint32_t channels, uint32_t left_gain,
                uint32_t right_gain);

}  // namespace zarn
