// The sixteen fixed prefix codes ("code shapes") over symbol indexes 0..15.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"

namespace zarn {

// Code words of symbol indexes 0..15 per shape, bits in the order read.
extern const char* const kCodeShapeWords[16];

// Lookup table of one shape, indexed by the next 7 bits (first bit read in
// bit 0): high nibble = code length, low nibble = symbol index.
struct CodeShapeTable {
    uint8_t longest;  // longest code length of the shape
    uint8_t entry[128];
};

const CodeShapeTable& CodeShapeTableFor(unsigned shape);

// Decodes one code word of `table`, consuming only its length.
inline unsigned DecodeCodeIndex(BitReader& r, const CodeShapeTable& table) {
    uint32_t e = table.entry[Peek7Bits(r)];
    ReadBits(r, e >> 4);
    return e & 15u;
}

// The same from a BitCache holding at least 7 bits.
inline unsigned DecodeCodeIndex(BitCache& c, const CodeShapeTable& table) {
    const uint32_t e = table.entry[c.bits & 0x7fu];
    SkipBits(c, e >> 4);
    return e & 15u;
}

}  // namespace zarn
