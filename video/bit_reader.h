// BitReader: reads a video packet as little-endian 32-bit words, the first
// bit read being bit 0 of the first word. Bits past the packet's end read as
// zero and nothing beyond `size` bytes is ever touched.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"

namespace zarn {

struct BitReader {
    const uint8_t* data = nullptr;  // first byte of the packet
    size_t size = 0;                // packet length in bytes
    size_t next = 0;                // byte offset of the next word to load (may pass size)
    uint32_t buffer = 0;            // unconsumed bits of the last word loaded, next bit in bit 0
    uint32_t count = 0;             // valid bits in buffer (0..32); bits above are zero
};

// A reader with an empty bit buffer at byte offset `start` of the packet.
inline BitReader MakeBitReader(const uint8_t* data, size_t size, size_t start) {
    BitReader r;
    r.data = data;
    r.size = size;
    r.next = start;
    return r;
}

// The 32-bit word at byte offset `next`, zero-filled past the packet's end.
inline uint32_t LoadWord(const uint8_t* data, size_t size, size_t next) {
    if (next < size && size - next >= 4) return LoadLe32(data + next);
    uint32_t w = 0;
    for (size_t i = 0; i < 4 && next + i < size; ++i) w |= static_cast<uint32_t>(data[next + i]) << (8 * i);
    return w;
}

// The word at the reader's next offset, zero-filled past the packet's end.
inline uint32_t PeekWord(const BitReader& r) { return LoadWord(r.data, r.size, r.next); }

// Reads an n-bit field, 1 <= n <= 16; the first bit read is bit 0 of the value.
inline uint32_t ReadBits(BitReader& r, unsigned n) {
    const uint32_t mask = (1u << n) - 1u;
    if (r.count >= n) {
        uint32_t v = r.buffer & mask;
        r.buffer >>= n;
        r.count -= n;
        return v;
    }
    uint32_t w = PeekWord(r);
    r.next += 4;
    uint32_t v = (r.buffer | (w << r.count)) & mask;
    unsigned used = n - r.count;
    r.buffer = w >> used;
    r.count = 32 - used;
    return v;
}

inline uint32_t ReadBit(BitReader& r) {
    if (r.count != 0) {
        uint32_t v = r.buffer & 1u;
        r.buffer >>= 1;
        --r.count;
        return v;
    }
    uint32_t w = PeekWord(r);
    r.next += 4;
    r.buffer = w >> 1;
    r.count = 31;
    return w & 1u;
}

// The next 7 bits without consuming them (looks at most one word ahead).
inline uint32_t Peek7Bits(const BitReader& r) {
    if (r.count >= 7) return r.buffer & 0x7fu;
    return (r.buffer | (PeekWord(r) << r.count)) & 0x7fu;
}

// BitCache: a reader's bits held 64 at a time for hot loops, which ask for
// the bits they need up front (`ensure`) and then consume without checks.
// Words may be loaded ahead; `ReleaseBits` gives back the exact reader
// state that reading the same fields through the BitReader would leave.
struct BitCache {
    const uint8_t* data;
    size_t size;
    size_t next;        // byte offset of the next word to load
    uint64_t bits;      // unconsumed bits, next bit in bit 0; bits above `avail` are zero
    unsigned avail;     // 0..63
    size_t whole_ends;  // a word at an offset below this lies inside the packet
};

inline BitCache AcquireBits(const BitReader& r) {
    return BitCache{r.data, r.size, r.next, r.buffer, r.count, r.size >= 4 ? r.size - 3 : 0};
}

// The next word, with one test on the hot path instead of two.
inline uint32_t CacheWord(const BitCache& c) {
    if (c.next < c.whole_ends) return LoadLe32(c.data + c.next);
    return LoadWord(c.data, c.size, c.next);
}

// Makes at least n bits available, 1 <= n <= 32.
inline void Ensure(BitCache& c, unsigned n) {
    if (c.avail >= n) return;
    c.bits |= static_cast<uint64_t>(CacheWord(c)) << c.avail;
    c.avail += 32;
    c.next += 4;
}

// Makes at least 32 bits available without a branch on the bits held: the
// next word is loaded every time and kept only when it is needed. For loops
// whose refills come at unpredictable points.
inline void Ensure32(BitCache& c) {
    const uint64_t word = CacheWord(c);
    const unsigned need = c.avail < 32;  // 0 or 1
    c.bits |= (word << c.avail) & (0 - uint64_t{need});
    c.next += 4 * need;
    c.avail += 32 * need;
}

// Consumes n available bits (n <= avail, n < 64); the first bit read is bit 0.
inline uint32_t TakeBits(BitCache& c, unsigned n) {
    const uint32_t v = static_cast<uint32_t>(c.bits & ((uint64_t{1} << n) - 1u));
    c.bits >>= n;
    c.avail -= n;
    return v;
}

inline void SkipBits(BitCache& c, unsigned n) {
    c.bits >>= n;
    c.avail -= n;
}

// The reader state after the bits consumed so far: a word none of whose
// bits were consumed is unloaded again.
inline void ReleaseBits(const BitCache& c, BitReader& r) {
    r.next = c.next;
    r.buffer = static_cast<uint32_t>(c.bits);
    r.count = c.avail;
    if (c.avail >= 32) {
        r.next -= 4;
        r.count = c.avail - 32;
        r.buffer = static_cast<uint32_t>(c.bits & ((uint64_t{1} << r.count) - 1u));
    }
}

}  // namespace zarn
