#include "encoder/bit_writer.h"

#include <cassert>

namespace zarn {

void BitWriter::Put(uint32_t value, unsigned bits) {
    assert(bits <= 32);
    if (bits == 0) return;
    uint64_t field = bits == 32 ? value : (value & ((1u << bits) - 1u));
    pending_ |= field << pending_bits_;
    pending_bits_ += bits;
    while (pending_bits_ >= 32) {
        uint32_t word = static_cast<uint32_t>(pending_);
        bytes_.push_back(static_cast<uint8_t>(word));
        bytes_.push_back(static_cast<uint8_t>(word >> 8));
        bytes_.push_back(static_cast<uint8_t>(word >> 16));
        bytes_.push_back(static_cast<uint8_t>(word >> 24));
        pending_ >>= 32;
        pending_bits_ -= 32;
    }
}

void BitWriter::AlignWord() {
    if (pending_bits_ != 0) Put(0, 32 - pending_bits_);
}

void BitWriter::AppendAligned(const std::vector<uint8_t>& bytes) {
    assert(pending_bits_ == 0 && bytes.size() % 4 == 0);
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> BitWriter::Finish() {
    AlignWord();
    std::vector<uint8_t> out;
    out.swap(bytes_);
    pending_ = 0;
    pending_bits_ = 0;
    return out;
}

}  // namespace zarn
