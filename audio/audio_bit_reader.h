// Bit reader of audio blocks: little-endian 32-bit words, each field taken
// least significant bit first. Whole words are loaded ahead into a 64-bit
// buffer, but only words before the bound; a field that needs bits beyond the
// bound reads as 0 and marks the reader overrun. The words a block uses are
// the ones its consumed bits touch (AudioBitsEnd).
#pragma once

#include <cstdint>

namespace zarn {

struct AudioBitReader {
    const uint8_t* start;  // first word of the block
    const uint8_t* next;   // next word to load
    uint32_t words_left;   // whole words between next and the bound
    uint32_t count;        // unread bits held in `bits`
    uint64_t bits;         // unread bits, next one at bit 0
    bool overrun;
};

inline uint32_t LoadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Tops the buffer up to more than 32 bits while words remain.
inline void RefillAudioBits(AudioBitReader* reader) {
    if (reader->count <= 32 && reader->words_left != 0) {
        reader->bits |= static_cast<uint64_t>(LoadLittleEndian32(reader->next)) << reader->count;
        reader->next += 4;
        reader->words_left -= 1;
        reader->count += 32;
    }
}

inline AudioBitReader StartAudioBits(const uint8_t* block, const uint8_t* end) {
    AudioBitReader reader{};
    reader.start = block;
    reader.next = block;
    if (block != nullptr && end > block) reader.words_left = static_cast<uint32_t>((end - block) / 4);
    RefillAudioBits(&reader);
    return reader;
}

// Drops `bits` bits that the caller has already taken from reader->bits.
inline void SkipAudioBits(AudioBitReader* reader, uint32_t bits) {
    reader->bits >>= bits;
    reader->count -= bits;
}

// Reads a field of 1..31 bits.
inline uint32_t ReadAudioBits(AudioBitReader* reader, uint32_t bits) {
    RefillAudioBits(reader);
    if (reader->count < bits) {
        reader->overrun = true;
        return 0;
    }
    const uint32_t value = static_cast<uint32_t>(reader->bits) & ((1u << bits) - 1u);
    SkipAudioBits(reader, bits);
    return value;
}

// Address just after the last word holding a consumed bit.
inline const uint8_t* AudioBitsEnd(const AudioBitReader& reader) {
    const uint64_t loaded_bits = static_cast<uint64_t>(reader.next - reader.start) * 8;
    const uint64_t consumed = loaded_bits - reader.count;
    return reader.start + (consumed + 31) / 32 * 4;
}

}  // namespace zarn
