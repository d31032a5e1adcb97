// DCT coefficient decoding: a bit-plane code over a quad-tree of coded
// indexes, walked through a double-ended list of sets.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"

namespace zarn {

// Coded index of each raster position.
inline constexpr uint8_t kRasterToCoded[64] = {
    0,  1,  4,  5,  8,  9,  12, 13, 2,  3,  6,  7,  10, 11, 14, 15, 24, 25, 44, 45, 16, 17,
    20, 21, 26, 27, 46, 47, 18, 19, 22, 23, 28, 29, 32, 33, 48, 49, 52, 53, 30, 31, 34, 35,
    50, 51, 54, 55, 36, 37, 40, 41, 56, 57, 60, 61, 38, 39, 42, 43, 58, 59, 62, 63,
};

struct CodedOrder {
    uint8_t v[64];
};

constexpr CodedOrder InvertCodedOrder() {
    CodedOrder inv{};
    for (unsigned pos = 0; pos < 64; ++pos) inv.v[kRasterToCoded[pos]] = static_cast<uint8_t>(pos);
    return inv;
}

inline constexpr CodedOrder kCodedOrder = InvertCodedOrder();

// Raster position of each coded index 0..63 (a constant expression, so
// that tables built from it are too).
inline constexpr const uint8_t (&kCodedToRaster)[64] = kCodedOrder.v;

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
