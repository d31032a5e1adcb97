// Copy flags and buffer sizes for the movie road target, kept apart from the
// engine headers (engine/changed_rects.h declares two of the same bits).
#pragma once

#include <cstdint>

namespace zarn::fuzz {

// Copy flags from an option byte: format (bits 0-3), plain kernels (4),
// whole frame (5), no rectangles (6), one rectangle (7); `swapped` adds the
// chroma-order bit.
uint32_t CopyFlagsFromOption(uint8_t option, bool swapped);

// Bytes per pixel of the flags' copy format; planar YV12 counts its luma
// plane only, and IsPlanarCopy says so.
uint32_t CopyPixelBytes(uint32_t copy_flags);
bool IsPlanarCopy(uint32_t copy_flags);

}  // namespace zarn::fuzz
