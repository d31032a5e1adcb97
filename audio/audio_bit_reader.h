// Bit reader of audio blocks: little-endian 32-bit words, each field taken
// least significant bit first, a new word fetched only when a field needs it.
// It never touches a byte at or beyond its bound; a field that would need one
// reads as 0 and marks the reader overrun.
#pragma once

#include <cstdint>

namespace zarn {

struct AudioBitReader {
    const uint8_t* next;  // next word to fetch
    uint32_t words_left;  // whole words between next and the bound
    uint32_t count;       // unread bits held in `bits`
    uint64_t bits;        // unread bits, next one at bit 0
    bool overrun;
};

inline AudioBitReader StartAudioBits(const uint8_t* block, const uint8_t* end) {
    AudioBitReader reader{};
    reader.next = block;
    if (block != nullptr && end > block) reader.words_left = static_cast<uint32_t>((end - block) / 4);
    return reader;
}

inline uint32_t LoadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads a field of 1..31 bits.
inline uint32_t ReadAudioBits(AudioBitReader* reader, uint32_t bits) {
    if (reader->count < bits) {
        if (reader->words_left == 0) {
            reader->overrun = true;
            return 0;
        }
        reader->bits |= static_cast<uint64_t>(LoadLittleEndian32(reader->next)) << reader->count;
        reader->next += 4;
        reader->words_left -= 1;
        reader->count += 32;
    }
    const uint32_t value = static_cast<uint32_t>(reader->bits) & ((1u << bits) - 1u);
    reader->bits >>= bits;
    reader->count -= bits;
    return value;
}

}  // namespace zarn
