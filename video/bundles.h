// Bundles: per-kind value streams of a plane, refilled chunk by chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/zarn_format.h"
#include "video/bit_reader.h"
#include "video/symbol_tree.h"

namespace zarn {

// Bits of a chunk count for a plane whose decode width is `decode_width`.
unsigned BundleCountWidth(unsigned id, uint32_t decode_width);

struct Bundle {
    uint8_t* data = nullptr;  // the bundle buffer
    uint32_t pos = 0;         // element index of the next value
    uint32_t end = 0;         // one past the last value of the current chunk
    uint32_t capacity = 0;    // elements the buffer holds
    uint8_t count_width = 0;
    bool closed = false;
};

// Everything the chunk readers of one plane share.
struct PlaneBundles {
    Bundle bundle[kBundleCount];
    SymbolTree tree[kBundleCount];  // tree[kColours] is the low-nibble tree; DC entries unused
    SymbolTree colour_high[16];
    // The colour trees with their symbol maps folded in, indexed by the next
    // 7 bits: high nibble the code length, low nibble the symbol. Tables
    // 0..15 are the high-nibble trees, 16 the low-nibble tree.
    uint8_t colour_lookup[17][128];
    // Both nibbles of a colour whose two code words take at most 9 bits
    // together, per context, indexed by the next 9 bits: the length (0: not
    // in the table) and the colour byte above it. A context's table is built
    // the first time a long chunk needs it in the plane (bit k of
    // `colour_pairs_built`): colours form one dependent chain, and one step
    // per colour instead of two pays for the building only over many colours.
    static constexpr unsigned kColourPairBits = 9;
    uint16_t colour_pairs[16][1u << kColourPairBits];
    uint16_t colour_pairs_built = 0;
    // Both nibbles of a pattern byte whose two code words take at most 10
    // bits together, indexed by the next 10 bits: the length (0: not in the
    // table) and the byte above it, as in the colour pairs. Built when a long chunk first needs it
    // in the plane: one step per byte instead of two dependent ones.
    static constexpr unsigned kPatternPairBits = 10;
    uint16_t pattern_pairs[1u << kPatternPairBits];
    bool pattern_pairs_built = false;
    uint8_t colour_context = 0;
    bool offset_colours = false;  // older versions: colours are stored around 128
};

// Sets every bundle empty on its buffer with its capacity and count width.
void InitBundles(PlaneBundles& b, uint8_t* const buffers[kBundleCount], uint32_t luma_width,
                 uint32_t decode_width, bool offset_colours);

// Reads the plane's prefix codes in stream order.
void ReadBundleTrees(PlaneBundles& b, BitReader& r);

// Refills every empty, open bundle with one chunk each, in bundle order.
// Returns false when a chunk count exceeds its buffer's capacity (the rest
// of the plane cannot be decoded).
bool RefillBundles(PlaneBundles& b, BitReader& r);

// Takes the next value; from an empty or closed bundle it gives 0 and sets
// `failed` (the caller then abandons the plane).
inline uint8_t TakeByte(Bundle& b, bool& failed) {
    if (b.pos < b.end) return b.data[b.pos++];
    failed = true;
    return 0;
}

inline int8_t TakeSigned(Bundle& b, bool& failed) { return static_cast<int8_t>(TakeByte(b, failed)); }

inline int16_t TakeDc(Bundle& b, bool& failed) {
    if (b.pos < b.end) {
        int16_t v;
        std::memcpy(&v, b.data + 2 * size_t{b.pos}, 2);
        ++b.pos;
        return v;
    }
    failed = true;
    return 0;
}

// Takes n byte values at once; nullptr (and `failed`) when fewer are left.
inline const uint8_t* TakeBytes(Bundle& b, uint32_t n, bool& failed) {
    if (b.end - b.pos >= n) {
        const uint8_t* p = b.data + b.pos;
        b.pos += n;
        return p;
    }
    failed = true;
    return nullptr;
}

}  // namespace zarn
