// Little-endian loads and stores of 16-, 32- and 64-bit words at any
// address: the packet words, bundle and mark bytes read as words, rows
// written at once.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace zarn {

inline uint32_t LoadLe32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline uint64_t LoadLe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void StoreLe16(uint8_t* p, uint16_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    std::memcpy(p, &v, 2);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline void StoreLe64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

}  // namespace zarn
