// The 44-byte header of a Zarn file, and the checks open makes on it.
#pragma once

#include <cstdint>

#include "format/zarn_format.h"

namespace zarn {

struct ContainerHeader {
    char version = 0;  // 'f', 'g', 'h' or 'i'
    uint32_t size_field = 0;
    uint32_t frame_count = 0;
    uint32_t largest_frame = 0;
    uint32_t index_count = 0;
    uint32_t width = 0, height = 0;
    uint32_t rate_num = 0, rate_den = 0;
    uint32_t video_flags = 0;
    uint32_t audio_tracks = 0;
};

// Reads the fields; false when the signature is not "ZRN" plus f-i.
bool ParseContainerHeader(const uint8_t bytes[kHeaderBytes], ContainerHeader* header);

// False for headers playback cannot rely on: a picture side of 0 or above
// kMaxPictureSide, a rate denominator of 0, an absurd frame rate, fewer index
// entries than frames, sizes that overflow, or a largest frame or tables that
// cannot fit in the file.
bool ContainerHeaderIsSound(const ContainerHeader& header);

// Offset of the first frame packet: header, track tables and index.
uint64_t ContainerDataStart(const ContainerHeader& header);

}  // namespace zarn
