#include "video/idct.h"

#include <bit>
#include <cstring>

namespace zarn {

namespace {

// Unsigned arithmetic wraps like the 32-bit machine arithmetic it models;
// shifts go through int32_t to be arithmetic.
using u32 = uint32_t;

inline u32 sar(u32 v, int s) { return static_cast<u32>(static_cast<int32_t>(v) >> s); }
inline u32 mul11(u32 a, u32 k) { return sar(a * k, 11); }

// Eight one-dimensional transforms side by side: x[k][lane] -> y[k][lane].
// Written lane-parallel so that the compiler can keep the lanes in vector
// registers; every lane follows the scalar formulas exactly. With
// `upper_only` the inputs x[4..7] are known to be zero (the compiler drops
// their arithmetic; the results are the same).
template <bool upper_only>
inline void transform_lanes(const u32 (&x)[8][8], u32 (&y)[8][8]) {
    for (int l = 0; l < 8; ++l) {
        const u32 x0 = x[0][l], x1 = x[1][l], x2 = x[2][l], x3 = x[3][l];
        const u32 x4 = upper_only ? 0 : x[4][l], x5 = upper_only ? 0 : x[5][l];
        const u32 x6 = upper_only ? 0 : x[6][l], x7 = upper_only ? 0 : x[7][l];
        const u32 a0 = x0 + x4, a1 = x0 - x4, a3 = x2 + x6;
        const u32 a2 = mul11(x2 - x6, 2896) - a3;
        const u32 e0 = a0 + a3, e3 = a0 - a3, e1 = a1 + a2, e2 = a1 - a2;
        const u32 z13 = x5 + x3, z10 = x5 - x3, z11 = x1 + x7, z12 = x1 - x7;
        const u32 o7 = z11 + z13;
        const u32 z5 = mul11(z10 + z12, 3784);
        const u32 o6 = mul11(x3 - x5, 5352) + z5 - o7;
        const u32 o5 = mul11(z11 - z13, 2896) - o6;
        const u32 o4 = mul11(z12, 2217) - z5 + o5;
        y[0][l] = e0 + o7;
        y[7][l] = e0 - o7;
        y[1][l] = e1 + o6;
        y[6][l] = e1 - o6;
        y[2][l] = e2 + o5;
        y[5][l] = e2 - o5;
        y[4][l] = e3 + o4;
        y[3][l] = e3 - o4;
    }
}

// True when the 8-coefficient row is all zero.
inline bool row_is_zero(const int16_t* row) {
    uint64_t a, b;
    std::memcpy(&a, row, 8);
    std::memcpy(&b, row + 4, 8);
    return (a | b) == 0;
}

// Transposes an 8x8 byte matrix held as eight little-endian 64-bit rows
// (byte j of row i is element (i, j)) by three rounds of masked swaps.
inline void transpose_bytes(uint64_t (&m)[8]) {
    for (int i = 0; i < 8; i += 2) {
        const uint64_t t = ((m[i] >> 8) ^ m[i + 1]) & 0x00ff00ff00ff00ffull;
        m[i + 1] ^= t;
        m[i] ^= t << 8;
    }
    for (int k = 0; k < 4; ++k) {
        const int i = k + (k & 2);  // 0, 1, 4, 5
        const uint64_t t = ((m[i] >> 16) ^ m[i + 2]) & 0x0000ffff0000ffffull;
        m[i + 2] ^= t;
        m[i] ^= t << 16;
    }
    for (int i = 0; i < 4; ++i) {
        const uint64_t t = ((m[i] >> 32) ^ m[i + 4]) & 0x00000000ffffffffull;
        m[i + 4] ^= t;
        m[i] ^= t << 32;
    }
}

inline uint64_t load_le64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void store_le64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

// Full block transform into 64 output bytes (raster order): all columns at
// once (lanes = columns), then all rows at once (lanes = rows). Coefficient
// rows 4..7 and columns 4..7 are often all zero; those cases use the same
// formulas with the zero inputs folded away.
template <bool lower_rows_zero, bool right_columns_zero>
void transform_block_with(const int16_t coef[64], const uint32_t table[64], uint8_t out[64]) {
    u32 x[8][8], y[8][8], t[8][8];
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) x[r][c] = mul11(static_cast<u32>(static_cast<int32_t>(coef[r * 8 + c])), table[r * 8 + c]);
    transform_lanes<lower_rows_zero>(x, y);  // y[row][column]
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) t[c][r] = y[r][c];  // t[column][row]
    transform_lanes<right_columns_zero>(t, x);  // x[column][row]
    // Rounded in the column-major order the rows pass leaves, then transposed.
    uint8_t by_column[8][8];
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r) by_column[c][r] = static_cast<uint8_t>(sar(x[c][r] + 127u, 8));
    uint64_t m[8];
    for (int c = 0; c < 8; ++c) m[c] = load_le64(by_column[c]);
    transpose_bytes(m);
    for (int r = 0; r < 8; ++r) store_le64(out + r * 8, m[r]);
}

void transform_block(const int16_t coef[64], const uint32_t table[64], uint8_t out[64]) {
    const bool lower = row_is_zero(coef + 32) && row_is_zero(coef + 40) && row_is_zero(coef + 48) && row_is_zero(coef + 56);
    uint64_t right = 0;
    for (int r = 0; r < 8; ++r) {
        uint64_t v;
        std::memcpy(&v, coef + r * 8 + 4, 8);
        right |= v;
    }
    if (lower) {
        if (right == 0) transform_block_with<true, true>(coef, table, out);
        else transform_block_with<true, false>(coef, table, out);
    } else {
        if (right == 0) transform_block_with<false, true>(coef, table, out);
        else transform_block_with<false, false>(coef, table, out);
    }
}

void put_plain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    uint8_t out[64];
    transform_block(coef, table, out);
    for (int r = 0; r < 8; ++r) std::memcpy(dst + r * stride, out + r * 8, 8);
}

void put_enlarged_plain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    uint8_t out[64];
    transform_block(coef, table, out);
    for (int r = 0; r < 8; ++r) {
        uint8_t row[16];
        for (int c = 0; c < 8; ++c) row[2 * c] = row[2 * c + 1] = out[r * 8 + c];
        std::memcpy(dst + (2 * r) * stride, row, 16);
        std::memcpy(dst + (2 * r + 1) * stride, row, 16);
    }
}

void add_plain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
               const uint8_t pred[64]) {
    uint8_t out[64];
    transform_block(coef, table, out);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) dst[r * stride + c] = static_cast<uint8_t>(pred[r * 8 + c] + out[r * 8 + c]);
}

}  // namespace

const IdctFunctions& idct_plain_functions() {
    static const IdctFunctions f{put_plain, put_enlarged_plain, add_plain};
    return f;
}

}  // namespace zarn
