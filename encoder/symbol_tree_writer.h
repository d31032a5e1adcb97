// Choosing and writing the prefix code (code shape plus symbol map) of a
// bundle from the frequencies of the symbols it will carry.
#pragma once

#include <cstdint>

#include "encoder/bit_writer.h"

namespace zarn {

// Code word of one symbol index of a shape: `bits` long, first bit to write in bit 0.
struct CodeWord {
    uint32_t code;
    uint32_t bits;
};

// The sixteen code shapes as code words per symbol index.
const CodeWord (&CodeShapeWords(unsigned shape))[16];

struct TreeChoice {
    uint8_t shape = 0;
    uint8_t map[16] = {};       // map[index] = symbol
    uint8_t index_of[16] = {};  // index_of[symbol] = index
    enum class Form : uint8_t { kIdentity, kExplicit, kShuffle } form = Form::kIdentity;
    uint8_t param = 0;         // explicit: k; shuffle: merge levels d
    uint8_t listed[8] = {};    // explicit: map[0..k]
    uint64_t header_bits = 4;  // bits of the tree description
    uint64_t total_bits = 0;   // description plus the symbols at the given frequencies

    uint32_t SymbolBits(unsigned symbol) const { return CodeShapeWords(shape)[index_of[symbol & 15]].bits; }
};

// The tree costing the fewest bits for symbols of the given frequencies.
TreeChoice ChooseSymbolTree(const uint32_t freq[16]);

// The identity tree of shape 0 (a plain 4-bit field per symbol).
TreeChoice IdentityTree();

// Writes the tree's description as the decoder reads it.
void WriteSymbolTree(BitWriter& w, const TreeChoice& tree);

inline void WriteSymbol(BitWriter& w, const TreeChoice& tree, unsigned symbol) {
    const CodeWord& cw = CodeShapeWords(tree.shape)[tree.index_of[symbol & 15]];
    w.Put(cw.code, cw.bits);
}

}  // namespace zarn
