// FieldList: bit fields kept in order, to be appended to a BitWriter later.
//
// The plane encoder decides a whole row of blocks before it knows which
// bundle chunks precede that row in the bitstream, so each row's in-line
// fields (coefficients, quantiser indexes, run bits) wait here.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/bit_writer.h"

namespace zarn {

struct BitField {
    uint32_t value;
    uint32_t bits;  // 1..32
};

class FieldList {
public:
    void Put(uint32_t value, unsigned bits) {
        if (bits == 0) return;
        fields_.push_back({value, bits});
        bit_count_ += bits;
    }
    void PutBit(bool bit) { Put(bit ? 1u : 0u, 1); }
    void Append(const FieldList& other) {
        fields_.insert(fields_.end(), other.fields_.begin(), other.fields_.end());
        bit_count_ += other.bit_count_;
    }
    void Clear() {
        fields_.clear();
        bit_count_ = 0;
    }
    size_t BitCount() const { return bit_count_; }
    void WriteTo(BitWriter& w) const {
        for (const BitField& f : fields_) w.Put(f.value, f.bits);
    }

private:
    std::vector<BitField> fields_;
    size_t bit_count_ = 0;
};

}  // namespace zarn
