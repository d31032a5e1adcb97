#include "audio/audio_geometry.h"

namespace zarn {
namespace {

// Lower edges of the critical bands, in Hz.
constexpr uint32_t kBandEdgesHz[kMaxBands] = {0,    100,  200,  300,  400,  510,   630,  770,  920,
                                              1080, 1270, 1480, 1720, 2000, 2320,  2700, 3150, 3700,
                                              4400, 5300, 6400, 7700, 9500, 12000, 15500};

uint32_t BaseLength(uint32_t rate) {
    if (rate < 22050) return 512;
    if (rate < 44100) return 1024;
    return 2048;
}

}  // namespace

AudioGeometry ComputeAudioGeometry(uint32_t rate, uint32_t channels) {
    const uint32_t ch = channels >= 2 ? 2 : 1;
    AudioGeometry geometry{};
    geometry.block_size = BaseLength(rate) * ch;
    geometry.overlap = geometry.block_size >> 4;
    const uint64_t nyquist = (static_cast<uint64_t>(rate) * ch + 1) >> 1;
    const uint32_t half = geometry.block_size / 2;
    uint32_t count = 0;
    while (count < kMaxBands && kBandEdgesHz[count] < nyquist) {
        geometry.band_edges[count] = static_cast<uint32_t>(kBandEdgesHz[count] * uint64_t{half} / nyquist);
        ++count;
    }
    geometry.band_count = count;
    geometry.band_edges[count] = half;
    return geometry;
}

}  // namespace zarn
