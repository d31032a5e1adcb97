// BitWriter: the one writer of Zarn bitstreams (video planes, audio blocks).
//
// Bits are packed into little-endian 32-bit words, the first bit written
// going to bit 0 of the first word. A field of n bits is written with its
// least significant bit first, which is exactly how the decoders read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn {

class BitWriter {
public:
    // Appends the low `bits` bits of `value` (0..32 bits), least significant first.
    void Put(uint32_t value, unsigned bits);
    void PutBit(bool bit) { Put(bit ? 1u : 0u, 1); }

    // Pads with zero bits up to the next 32-bit word boundary.
    void AlignWord();

    // Appends whole bytes; the writer must be word aligned.
    void AppendAligned(const std::vector<uint8_t>& bytes);

    // Number of bits written so far (padding included).
    size_t BitCount() const { return bytes_.size() * 8 + pending_bits_; }

    // Pads to a word boundary and returns the bytes (a multiple of 4).
    std::vector<uint8_t> Finish();

private:
    std::vector<uint8_t> bytes_;
    uint64_t pending_ = 0;       // bits not yet stored, next free bit at pending_bits_
    unsigned pending_bits_ = 0;  // 0..31 after every put
};

}  // namespace zarn
