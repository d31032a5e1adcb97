// CopyToBuffer: hands the newest decoded frame to the frame copy, unless
// playback behind a playing sound track is late and the copy is skipped.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

// Returns 0 when the frame was copied in time, 1 when playback was late
// (the copy was skipped, or made anyway under the never-skip bit 0x80000).
// A null movie or buffer returns 0.
int32_t CopyToBuffer(Movie* movie, uint8_t* buffer, int32_t pitch, uint32_t buffer_height, uint32_t x,
                     uint32_t y, uint32_t copy_flags);

}  // namespace zarn
