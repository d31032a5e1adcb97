// Copy flags: the 32-bit word that selects the output pixel format, the
// scaling mode and the options of one frame copy.
#pragma once

#include <cstdint>

#include "format/zarn_format.h"

namespace zarn {

constexpr uint32_t kCopyFormatMask = 0x0000000Fu;
constexpr uint32_t kCopyChromaSwapped = 0x00010000u;  // first chroma plane holds U
constexpr uint32_t kCopyGreyScale = 0x00020000u;
constexpr uint32_t kCopyForcePlain = 0x00040000u;
constexpr uint32_t kCopyNeverSkip = 0x00080000u;
constexpr uint32_t kCopyNoRects = 0x04000000u;
constexpr uint32_t kCopyOneRect = 0x08000000u;
constexpr uint32_t kCopyScaleMask = 0x70000000u;
constexpr uint32_t kCopyScaleShift = 28;
constexpr uint32_t kCopyWholeFrame = 0x80000000u;

// Movie flags that always apply to a copy: scaling mode, chroma order, grey-scale.
constexpr uint32_t kMovieCopyFlagsMask = 0x70030000u;

// CopyFormat numbers.
enum CopyFormat : uint32_t {
    kFormatPalette = 0,
    kFormatBgr24 = 1,
    kFormatRgb24 = 2,
    kFormatBgrx32 = 3,
    kFormatRgbx32 = 4,
    kFormatBgra32 = 5,
    kFormatRgba32 = 6,
    kFormatArgb4444 = 7,
    kFormatArgb1555 = 8,
    kFormatRgb555 = 9,
    kFormatRgb565 = 10,
    kFormatRgb655 = 11,
    kFormatRgb664 = 12,
    kFormatYuy2 = 13,
    kFormatUyvy = 14,
    kFormatYv12 = 15,
};

inline uint32_t CopyFormatOf(uint32_t flags) { return flags & kCopyFormatMask; }
// Mode 7 is never passed; it is taken as no scaling.
inline uint32_t ScalingModeOf(uint32_t flags) {
    const uint32_t mode = (flags & kCopyScaleMask) >> kCopyScaleShift;
    return mode == 7 ? 0u : mode;
}

}  // namespace zarn
