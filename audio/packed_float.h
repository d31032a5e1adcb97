// Packed float of audio blocks (29 bits): exponent e in bits 0-4, mantissa m in
// bits 5-27, sign in bit 28; value m * 2^(e - 23). Exponents above 23 have no
// defined multiplier and give 0.
#pragma once

#include <cstdint>

namespace zarn {

constexpr uint32_t kPackedFloatBits = 29;

inline float DecodePackedFloat(uint32_t field) {
    const uint32_t exponent = field & 31u;
    if (exponent > 23) return 0.0f;
    const uint32_t mantissa = (field >> 5) & 0x7FFFFFu;
    // 2^(e - 23) as an exact float: e - 23 lies in -23..0.
    const float multiplier = 1.0f / static_cast<float>(1u << (23 - exponent));
    const float value = static_cast<float>(mantissa) * multiplier;
    return (field >> 28) & 1u ? -value : value;
}

}  // namespace zarn
