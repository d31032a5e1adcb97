#include "video/code_shapes.h"

#include <array>

namespace zarn {

const char* const kCodeShapeWords[16] = {
    "0000 1000 0100 1100 0010 1010 0110 1110 0001 1001 0101 1101 0011 1011 0111 1111",
    "0 1000 11000 10100 11100 10010 11010 10110 11110 11001 10101 11101 10011 11011 10111 11111",
    "00 01 1000 1001 10100 10101 10110 10111 11000 11001 11010 11011 11100 11101 11110 11111",
    "00 010 011 1000 1001 1010 10110 10111 11000 11001 11010 11011 11100 11101 11110 11111",
    "000 001 010 011 1000 1001 1010 1011 11000 11001 11010 11011 11100 11101 11110 11111",
    "000 001 0100 0101 0110 0111 1000 1001 1010 1011 1100 1101 11100 11101 11110 11111",
    "00 0100 0101 0110 0111 1000 1001 1010 1011 1100 11010 11011 11100 11101 11110 11111",
    "0 100 101 11000 11001 11010 110110 110111 111000 111001 111010 111011 111100 111101 111110 111111",
    "0 10 11000 11001 110100 110101 110110 110111 111000 111001 111010 111011 111100 111101 111110 111111",
    "0 100 1010 1011 11000 11001 11010 11011 111000 111001 111010 111011 111100 111101 111110 111111",
    "00 01 100 1010 1011 11000 11001 11010 11011 11100 111010 111011 111100 111101 111110 111111",
    "0 1000 1001 1010 1011 11000 11001 11010 11011 11100 111010 111011 111100 111101 111110 111111",
    "00 01 10 11000 11001 11010 110110 110111 111000 111001 111010 111011 111100 111101 111110 111111",
    "0 100 101 110 111000 111001 111010 111011 1111000 1111001 1111010 1111011 1111100 1111101 1111110 "
    "1111111",
    "0 100 101 110 11100 111010 1110110 1110111 1111000 1111001 1111010 1111011 1111100 1111101 1111110 "
    "1111111",
    "00 01 100 101 110 111000 111001 111010 111011 111100 1111010 1111011 1111100 1111101 1111110 1111111",
};

namespace {

// Fills every 7-bit index whose low `len` bits equal the code word.
CodeShapeTable BuildCodeShapeTable(const char* words) {
    CodeShapeTable t{};
    unsigned symbol = 0;
    const char* p = words;
    while (*p != '\0' && symbol < 16) {
        while (*p == ' ') ++p;
        unsigned code = 0, len = 0;
        for (; *p == '0' || *p == '1'; ++p, ++len) code |= static_cast<unsigned>(*p - '0') << len;
        if (len == 0) break;
        if (len > t.longest) t.longest = static_cast<uint8_t>(len);
        for (unsigned high = 0; high < (128u >> len); ++high)
            t.entry[code | (high << len)] = static_cast<uint8_t>((len << 4) | symbol);
        ++symbol;
    }
    return t;
}

const std::array<CodeShapeTable, 16>& Tables() {
    static const std::array<CodeShapeTable, 16> all = [] {
        std::array<CodeShapeTable, 16> a{};
        for (unsigned s = 0; s < 16; ++s) a[s] = BuildCodeShapeTable(kCodeShapeWords[s]);
        return a;
    }();
    return all;
}

}  // namespace

const CodeShapeTable& CodeShapeTableFor(unsigned shape) { return Tables()[shape & 15u]; }

}  // namespace zarn
