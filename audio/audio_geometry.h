// Block geometry and critical-band layout of an audio track.
#pragma once

#include <cstdint>

namespace zarn {

constexpr uint32_t kMaxBands = 25;

struct AudioGeometry {
    uint32_t block_size;                 // n: values per block, channels interleaved
    uint32_t overlap;                    // c = n / 16: values cross-faded into the next block
    uint32_t band_count;                 // at most kMaxBands
    uint32_t band_edges[kMaxBands + 1];  // first bin of each band; band_edges[band_count] = n / 2
};

// rate in Hz, channels 1 or 2 (any other count is taken as 1 when 0, else 2).
AudioGeometry ComputeAudioGeometry(uint32_t rate, uint32_t channels);

}  // namespace zarn
