#include "fuzz/road/copy_options.h"

#include "convert/copy_flags.h"

namespace zarn::fuzz {

uint32_t CopyFlagsFromOption(uint8_t option, bool swapped) {
    uint32_t flags = option & kCopyFormatMask;
    if (option & 0x10) flags |= kCopyForcePlain;
    if (option & 0x20) flags |= kCopyWholeFrame;
    if (option & 0x40) flags |= kCopyNoRects;
    if (option & 0x80) flags |= kCopyOneRect;
    if (swapped) flags |= kCopyChromaSwapped;
    return flags;
}

uint32_t CopyPixelBytes(uint32_t copy_flags) {
    const uint32_t format = CopyFormatOf(copy_flags);
    if (format == kFormatPalette || format == kFormatYv12) return 1;
    if (format == kFormatBgr24 || format == kFormatRgb24) return 3;
    if (format >= kFormatBgrx32 && format <= kFormatRgba32) return 4;
    return 2;
}

bool IsPlanarCopy(uint32_t copy_flags) { return CopyFormatOf(copy_flags) == kFormatYv12; }

}  // namespace zarn::fuzz
