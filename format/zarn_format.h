// The facts of the Zarn file format, in one place for every stage that
// reads or writes it: the container's layout, its flag bits, the video
// bundles and their capacities, and the display options (scaling modes).
// Header only: everything here is a constant or a formula.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

// ---- Container ---------------------------------------------------------

// The header: 44 bytes of little-endian 32-bit fields.
constexpr uint32_t kHeaderBytes = 44;
namespace header_offset {
constexpr size_t kSignature = 0, kSizeField = 4, kFrameCount = 8, kLargestFrame = 12, kIndexCount = 16,
                 kWidth = 20, kHeight = 24, kRateNum = 28, kRateDen = 32, kVideoFlags = 36, kAudioTracks = 40;
}

// The signature: "ZRN" and one version letter.
constexpr char kFirstVersion = 'f', kLastVersion = 'i';

// Offset of the first frame index entry: the header, then three arrays of
// one 32-bit entry per track (buffer sizes, formats, IDs).
constexpr size_t FrameIndexOffset(uint32_t tracks) { return kHeaderBytes + 12 * size_t{tracks}; }

// Bit 0 of a frame index entry: the frame is a key frame; the rest is its offset.
constexpr uint32_t kIndexKeyFrame = 1;

// Limits open holds a header to.
constexpr uint32_t kMaxPictureSide = 16384;
constexpr uint32_t kMaxFramesPerSecond = 100000;

// An audio track's format word: bits 0-15 the sample rate in Hz.
constexpr uint32_t kTrackFormatRateMask = 0xFFFF;
constexpr uint32_t kTrackFormatStereo = 0x20000000;
constexpr uint32_t kTrackFormatSixteenBit = 0x40000000;
constexpr uint32_t kTrackFormatAudio = 0x80000000;

// The header's video flags.
constexpr uint32_t kVideoFlagGreyScale = 0x20000;
constexpr uint32_t kVideoFlagAlpha = 0x100000;
constexpr uint32_t kVideoFlagDisplayOptionMask = 0x70000000;

// ---- Open flags --------------------------------------------------------

// The word given to open and kept as the movie's flags; the video decoder
// reads the version marks, grey-scale and alpha bits from it.
constexpr uint32_t kFlagRateOverride = 0x1000;      // use the frame-rate override setting
constexpr uint32_t kFlagPreload = 0x2000;           // keep the whole file in memory
constexpr uint32_t kFlagTrackById = 0x4000;         // choose the sound track by its ID
constexpr uint32_t kFlagVersionH = 0x8000;          // "f", "g" and "h" files
constexpr uint32_t kFlagVersionFG = 0x10000;        // "f" and "g" files (chroma order)
constexpr uint32_t kFlagGreyScale = 0x20000;        // decode and show luma only
constexpr uint32_t kFlagNeverSkip = 0x80000;        // never skip late copies
constexpr uint32_t kFlagAlpha = 0x100000;           // decode the alpha plane
constexpr uint32_t kFlagNoInitialFill = 0x200000;   // do not fill the read-ahead during open
constexpr uint32_t kFlagReadSpeed = 0x400000;       // use the simulated read speed setting
constexpr uint32_t kFlagFromHandle = 0x800000;      // source is an open descriptor
constexpr uint32_t kFlagReadAheadSize = 0x1000000;  // use the read-ahead size setting
constexpr uint32_t kFlagFromMemory = 0x4000000;     // source is a file image in memory
constexpr uint32_t kFlagNoThread = 0x8000000;       // no background reading thread
constexpr uint32_t kDisplayOptionMask = 0x70000000;
constexpr int kDisplayOptionShift = 28;

// Display option (0..7) of a flags word.
constexpr uint32_t DisplayOption(uint32_t flags) {
    return (flags & kDisplayOptionMask) >> kDisplayOptionShift;
}

// Chroma plane side for a picture side: half, rounded up to a multiple of 8.
constexpr uint32_t ChromaSize(uint32_t side) { return (((side + 1) >> 1) + 7) & ~7u; }

// ---- Video bundles -----------------------------------------------------

// The value streams of a plane, in stream order.
enum BundleId : unsigned {
    kBlockTypes = 0,
    kSubBlockTypes,
    kColours,
    kPatterns,
    kXOffsets,
    kYOffsets,
    kIntraDc,
    kInterDc,
    kRunLengths,
    kBundleCount
};

// Values a bundle holds per 8 columns of its plane, at most.
constexpr uint32_t kBundleMultiplier[kBundleCount] = {1, 1, 64, 8, 1, 1, 1, 1, 48};

// The DC bundles hold 16-bit values, the others bytes.
constexpr bool BundleHoldsWords(unsigned id) { return id == kIntraDc || id == kInterDc; }

// The most values of one chunk of bundle `id` in a plane `width` wide (the
// sub-block types count per 16 columns).
constexpr uint32_t BundleLargestCount(unsigned id, uint32_t width) {
    const uint32_t w = id == kSubBlockTypes ? width / 2 : width;
    return 511 + (w / 8) * kBundleMultiplier[id];
}

// Values a bundle buffer holds, and its bytes rounded up to 4.
constexpr uint32_t BundleCapacity(unsigned id, uint32_t width) { return BundleLargestCount(id, width) + 1; }
constexpr uint32_t BundleBufferBytes(unsigned id, uint32_t width) {
    return (BundleCapacity(id, width) * (BundleHoldsWords(id) ? 2u : 1u) + 3u) & ~3u;
}

// ---- Display options ---------------------------------------------------

// Display option 1-6 is a scaling mode of the frame copy: 1 height doubled,
// 2 height interlaced, 3 width doubled, 4 width doubled with each row
// written twice, 5 width doubled with rows at double pitch, 6 every other
// source row at double pitch; 7 forces none.
constexpr uint32_t kDisplayOptionNone = 7;  // "force none"

// Output pixels per source pixel across, and output rows per source row.
constexpr uint32_t WidthFactor(uint32_t mode) { return (mode == 3 || mode == 4 || mode == 5) ? 2u : 1u; }
constexpr uint32_t HeightFactor(uint32_t mode) {
    return (mode == 1 || mode == 2 || mode == 4 || mode == 5) ? 2u : 1u;
}
// Destination rows spanned per converted source row (written or skipped).
constexpr uint32_t RowSpan(uint32_t mode) { return (mode == 0 || mode == 3) ? 1u : 2u; }

}  // namespace zarn
