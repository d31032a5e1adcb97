// DCT coefficient decoding: a bit-plane code over a quad-tree of coded
// indexes, walked through a double-ended list of sets.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"

namespace zarn {

// Raster position of each coded index 0..63.
extern const uint8_t kCodedToRaster[64];

// Double-ended list of unresolved sets. An entry is (first index x 4) + kind;
// 0 marks an entry already resolved.
enum SetKind : uint8_t { kGroup20 = 0, kGroup16 = 1, kGroup4 = 2, kSingle = 3 };

struct SetList {
    // Front additions (deferred singles) are at most 64, back additions at most 9.
    static constexpr unsigned kFrontRoom = 64;
    // Entries are written before they are read, so the list starts unfilled:
    // clearing it would cost more than a small block's whole decode.
    SetList() {}
    uint8_t entry[kFrontRoom + 16];
    unsigned head = kFrontRoom;
    unsigned tail = kFrontRoom;

    void PushBack(unsigned first, SetKind kind) { entry[tail++] = static_cast<uint8_t>(first * 4 + kind); }
    void PushFront(unsigned first, SetKind kind) { entry[--head] = static_cast<uint8_t>(first * 4 + kind); }
};

// Reads the AC coefficients into coef[1..63] (raster order; coef[0] is left
// alone). Returns true when any of them is non-zero.
bool DecodeAcCoefficients(BitReader& r, int16_t coef[64]);

}  // namespace zarn
