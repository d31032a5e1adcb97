// Open flags: the 32-bit word given to OpenMovie and kept in Movie::flags.
#pragma once

#include <cstdint>

namespace zarn {

constexpr uint32_t kFlagRateOverride = 0x1000;     // use the frame-rate override setting
constexpr uint32_t kFlagPreload = 0x2000;          // keep the whole file in memory
constexpr uint32_t kFlagTrackById = 0x4000;        // choose the sound track by its ID
constexpr uint32_t kFlagVersionH = 0x8000;         // "f", "g" and "h" files
constexpr uint32_t kFlagVersionFG = 0x10000;       // "f" and "g" files (chroma order)
constexpr uint32_t kFlagGreyScale = 0x20000;       // decode and show luma only
constexpr uint32_t kFlagNeverSkip = 0x80000;       // never skip late copies
constexpr uint32_t kFlagAlpha = 0x100000;          // decode the alpha plane
constexpr uint32_t kFlagNoInitialFill = 0x200000;  // do not fill the read-ahead during open
constexpr uint32_t kFlagReadSpeed = 0x400000;      // use the simulated read speed setting
constexpr uint32_t kFlagFromHandle = 0x800000;     // source is an open descriptor
constexpr uint32_t kFlagReadAheadSize = 0x1000000; // use the read-ahead size setting
constexpr uint32_t kFlagFromMemory = 0x4000000;    // source is a file image in memory
constexpr uint32_t kFlagNoThread = 0x8000000;      // no background reading thread
constexpr uint32_t kDisplayOptionMask = 0x70000000;
constexpr int kDisplayOptionShift = 28;
constexpr uint32_t kDisplayOptionNone = 7;  // "force none"

// Display option (0..7) of a flags word.
constexpr uint32_t DisplayOption(uint32_t flags) {
    return (flags & kDisplayOptionMask) >> kDisplayOptionShift;
}

}  // namespace zarn
