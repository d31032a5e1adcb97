// BitReader: reads a video packet as little-endian 32-bit words, the first
// bit read being bit 0 of the first word. Bits past the packet's end read as
// zero and nothing beyond `size` bytes is ever touched.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zarn {

struct BitReader {
    const uint8_t* data = nullptr;  // first byte of the packet
    size_t size = 0;                // packet length in bytes
    size_t next = 0;                // byte offset of the next word to load (may pass size)
    uint32_t buffer = 0;            // unconsumed bits of the last word loaded, next bit in bit 0
    uint32_t count = 0;             // valid bits in buffer (0..32); bits above are zero
};

// A reader with an empty bit buffer at byte offset `start` of the packet.
inline BitReader make_bit_reader(const uint8_t* data, size_t size, size_t start) {
    BitReader r;
    r.data = data;
    r.size = size;
    r.next = start;
    return r;
}

// The word at the reader's next offset, zero-filled past the packet's end.
inline uint32_t peek_word(const BitReader& r) {
    uint32_t w = 0;
    if (r.next < r.size && r.size - r.next >= 4) {
        std::memcpy(&w, r.data + r.next, 4);
        if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
        return w;
    }
    for (size_t i = 0; i < 4 && r.next + i < r.size; ++i)
        w |= static_cast<uint32_t>(r.data[r.next + i]) << (8 * i);
    return w;
}

// Reads an n-bit field, 1 <= n <= 16; the first bit read is bit 0 of the value.
inline uint32_t read_bits(BitReader& r, unsigned n) {
    const uint32_t mask = (1u << n) - 1u;
    if (r.count >= n) {
        uint32_t v = r.buffer & mask;
        r.buffer >>= n;
        r.count -= n;
        return v;
    }
    uint32_t w = peek_word(r);
    r.next += 4;
    uint32_t v = (r.buffer | (w << r.count)) & mask;
    unsigned used = n - r.count;
    r.buffer = w >> used;
    r.count = 32 - used;
    return v;
}

inline uint32_t read_bit(BitReader& r) {
    if (r.count != 0) {
        uint32_t v = r.buffer & 1u;
        r.buffer >>= 1;
        --r.count;
        return v;
    }
    uint32_t w = peek_word(r);
    r.next += 4;
    r.buffer = w >> 1;
    r.count = 31;
    return w & 1u;
}

// The next 7 bits without consuming them (looks at most one word ahead).
inline uint32_t peek_7_bits(const BitReader& r) {
    if (r.count >= 7) return r.buffer & 0x7fu;
    return (r.buffer | (peek_word(r) << r.count)) & 0x7fu;
}

}  // namespace zarn
