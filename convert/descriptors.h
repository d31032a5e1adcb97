// The eleven conversion descriptors: bytes per pixel, group routines (six
// plain, six SIMD), tuning words and the row/edge routine pairs.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"
#include "convert/kernel_types.h"

namespace zarn {

struct ConvertDescriptor {
    uint32_t bytes_per_pixel;
    GroupEntry groups[12];  // [0..5] plain, [6..11] SIMD, slots as GroupSlot
    uint32_t tuning[16];    // row-twice words [0..7], left-edge words [8..15]
    RowEdgePair pairs[8];   // slots as PairSlot
};

extern ConvertDescriptor g_descriptors[kDescriptorCount];

// Fills every descriptor's routines, the SIMD slots from `set` (the plain
// routines when `set` is kPlain). Returns false, changing nothing, when the
// set is not supported here. Not to be called while another thread copies.
bool InstallKernelSet(KernelSet set);

// The installed set; installs DetectKernelSet() on first use (once, even
// when several threads make their first copy at the same time).
KernelSet InstalledKernelSet();

// Descriptor index for a CopyFormat, or -1 for formats without one (0, 15
// and above). Formats 5-8 take their alpha descriptors only with alpha planes.
int DescriptorForFormat(uint32_t format, bool has_alpha);

// Indexes of the tuning words.
inline int RowTwiceTuningIndex(uint32_t mode, bool grey, bool simd) {
    return (mode == 4 ? 4 : 0) + (grey ? 2 : 0) + (simd ? 1 : 0);
}
inline int EdgeTuningIndex(bool wide, bool grey, bool simd) {
    return 8 + (wide ? 4 : 0) + (grey ? 2 : 0) + (simd ? 1 : 0);
}

}  // namespace zarn
