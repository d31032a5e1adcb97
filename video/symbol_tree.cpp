#include "video/symbol_tree.h"

namespace zarn {

namespace {

// Explicit list: k + 1 listed symbols, then the unlisted ones ascending.
void ReadExplicitMap(BitReader& r, uint8_t map[16]) {
    unsigned k = ReadBits(r, 3);
    bool listed[16] = {};
    unsigned n = 0;
    for (unsigned i = 0; i <= k; ++i) {
        uint8_t v = static_cast<uint8_t>(ReadBits(r, 4));
        map[n++] = v;
        listed[v] = true;
    }
    // A symbol listed twice leaves fewer than 16 values; the tail stays 0.
    for (unsigned v = 0; v < 16 && n < 16; ++v)
        if (!listed[v]) map[n++] = static_cast<uint8_t>(v);
    for (; n < 16; ++n) map[n] = 0;
}

// Merges two adjacent runs of `len` values each, one bit per choice while
// both runs have values left.
void MergeRuns(BitReader& r, const uint8_t* in, uint8_t* out, unsigned len) {
    const uint8_t* a = in;
    const uint8_t* b = in + len;
    unsigned ia = 0, ib = 0, o = 0;
    while (ia < len && ib < len) out[o++] = ReadBit(r) ? b[ib++] : a[ia++];
    while (ia < len) out[o++] = a[ia++];
    while (ib < len) out[o++] = b[ib++];
}

void ReadShuffleMap(BitReader& r, uint8_t map[16]) {
    unsigned levels = ReadBits(r, 2);
    for (unsigned j = 0; j < 16; j += 2) {
        bool swap = ReadBit(r) != 0;
        map[j] = static_cast<uint8_t>(swap ? j + 1 : j);
        map[j + 1] = static_cast<uint8_t>(swap ? j : j + 1);
    }
    uint8_t merged[16];
    for (unsigned level = 1, len = 2; level <= levels; ++level, len *= 2) {
        for (unsigned start = 0; start < 16; start += 2 * len) MergeRuns(r, map + start, merged + start, len);
        for (unsigned i = 0; i < 16; ++i) map[i] = merged[i];
    }
}

}  // namespace

SymbolTree ReadSymbolTree(BitReader& r) {
    SymbolTree t;
    unsigned shape = ReadBits(r, 4);
    t.shape = &CodeShapeTableFor(shape);
    if (shape == 0) {
        for (unsigned i = 0; i < 16; ++i) t.map[i] = static_cast<uint8_t>(i);
    } else if (ReadBit(r)) {
        ReadExplicitMap(r, t.map);
    } else {
        ReadShuffleMap(r, t.map);
    }
    return t;
}

}  // namespace zarn
