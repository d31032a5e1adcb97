// SymbolTree: a code shape plus a 16-entry symbol map.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"
#include "video/code_shapes.h"

namespace zarn {

struct SymbolTree {
    const CodeShapeTable* shape = nullptr;
    uint8_t map[16] = {};
};

// Reads a tree: a 4-bit shape, then (shape != 0) an explicit list or a shuffle.
SymbolTree ReadSymbolTree(BitReader& r);

inline uint8_t DecodeSymbol(BitReader& r, const SymbolTree& t) { return t.map[DecodeCodeIndex(r, *t.shape)]; }

// The same from a BitCache holding at least 7 bits.
inline uint8_t DecodeSymbol(BitCache& c, const SymbolTree& t) { return t.map[DecodeCodeIndex(c, *t.shape)]; }

}  // namespace zarn
