#include "video/idct.h"

#include <bit>
#include <cstring>

#include "base/byte_order.h"

namespace zarn {

namespace {

// Unsigned arithmetic wraps like the 32-bit machine arithmetic it models;
// shifts go through int32_t to be arithmetic.
using u32 = uint32_t;

inline u32 Sar(u32 v, int s) { return static_cast<u32>(static_cast<int32_t>(v) >> s); }
inline u32 Mul11(u32 a, u32 k) { return Sar(a * k, 11); }

// The one-dimensional transform of x[0..7]. Inputs at and beyond `kInputs`
// are known to be zero; their arithmetic folds away (same results).
template <int kInputs, typename In, typename Out>
inline void Transform1d(const In& x, Out&& y) {
    const u32 x0 = x[0], x1 = kInputs > 1 ? x[1] : 0, x2 = kInputs > 2 ? x[2] : 0,
              x3 = kInputs > 3 ? x[3] : 0;
    const u32 x4 = kInputs > 4 ? x[4] : 0, x5 = kInputs > 5 ? x[5] : 0;
    const u32 x6 = kInputs > 6 ? x[6] : 0, x7 = kInputs > 7 ? x[7] : 0;
    const u32 a0 = x0 + x4, a1 = x0 - x4, a3 = x2 + x6;
    const u32 a2 = Mul11(x2 - x6, 2896) - a3;
    const u32 e0 = a0 + a3, e3 = a0 - a3, e1 = a1 + a2, e2 = a1 - a2;
    const u32 z13 = x5 + x3, z10 = x5 - x3, z11 = x1 + x7, z12 = x1 - x7;
    const u32 o7 = z11 + z13;
    const u32 z5 = Mul11(z10 + z12, 3784);
    const u32 o6 = Mul11(x3 - x5, 5352) + z5 - o7;
    const u32 o5 = Mul11(z11 - z13, 2896) - o6;
    const u32 o4 = Mul11(z12, 2217) - z5 + o5;
    y[0] = e0 + o7;
    y[7] = e0 - o7;
    y[1] = e1 + o6;
    y[6] = e1 - o6;
    y[2] = e2 + o5;
    y[5] = e2 - o5;
    y[4] = e3 + o4;
    y[3] = e3 - o4;
}

// One-dimensional transforms side by side, one per lane: x[k][lane] ->
// y[k][lane] for lanes 0..kLanes-1, written lane-parallel so that the
// compiler keeps the lanes in vector registers.
template <int kInputs, int kLanes, int kInWidth, int kOutWidth>
inline void TransformLanes(const u32 (&x)[8][kInWidth], u32 (&y)[8][kOutWidth]) {
    for (int l = 0; l < kLanes; ++l) {
        u32 in[8], out[8];
        for (int k = 0; k < kInputs; ++k) in[k] = x[k][l];
        Transform1d<kInputs>(in, out);
        for (int k = 0; k < 8; ++k) y[k][l] = out[k];
    }
}

inline u32 Dequantise(int16_t c, uint32_t q) { return Mul11(static_cast<u32>(static_cast<int32_t>(c)), q); }

// Transposes an 8x8 byte matrix held as eight little-endian 64-bit rows
// (byte j of row i is element (i, j)) by three rounds of masked swaps.
inline void TransposeBytes(uint64_t (&m)[8]) {
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

// Rounds the row pass results x[column][row], adds the DC term, and writes
// the 8x8 output bytes, rows `stride` apart.
inline void RoundOut(const u32 (&x)[8][8], u32 bias, uint8_t* out, ptrdiff_t stride) {
    uint8_t by_column[8][8];
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r) by_column[c][r] = static_cast<uint8_t>(Sar(x[c][r] + bias, 8));
    uint64_t m[8];
    for (int c = 0; c < 8; ++c) m[c] = LoadLe64(by_column[c]);
    TransposeBytes(m);
    for (int r = 0; r < 8; ++r) StoreLe64(out + r * stride, m[r]);
}

// Only row 0 has AC coefficients: every column pass output equals its
// input, so all rows of the row pass see the same values. One row transform.
void TransformFirstRow(const int16_t coef[64], const uint32_t table[64], u32 bias, uint8_t* out,
                       ptrdiff_t stride) {
    u32 x[8], y[8];
    x[0] = 0;
    for (int c = 1; c < 8; ++c) x[c] = Dequantise(coef[c], table[c]);
    Transform1d<8>(x, y);
    uint8_t row[8];
    for (int c = 0; c < 8; ++c) row[c] = static_cast<uint8_t>(Sar(y[c] + bias, 8));
    for (int r = 0; r < 8; ++r) std::memcpy(out + r * stride, row, 8);
}

// General block whose coefficient rows from kRows on and columns from
// kColumns on are zero (their arithmetic folds away): the column pass runs on
// the kColumns columns at once (lanes = columns), the row pass on all rows at
// once (lanes = rows).
template <int kRows, int kColumns>
void TransformColumnsRows(const int16_t coef[64], const uint32_t table[64], u32 bias, uint8_t* out,
                          ptrdiff_t stride) {
    u32 x[8][kColumns], y[8][kColumns], t[8][8], z[8][8];
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c) x[r][c] = Dequantise(coef[r * 8 + c], table[r * 8 + c]);
    x[0][0] = 0;
    TransformLanes<kRows, kColumns>(x, y);  // y[row][column]
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < kColumns; ++c) t[c][r] = y[r][c];  // t[column][row]
    TransformLanes<kColumns, 8>(t, z);                         // z[column][row]
    RoundOut(z, bias, out, stride);
}

// Full block transform into 8x8 output bytes, rows `stride` apart. The DC
// enters every output only additively (through x0 of the column transforms,
// then x0 of the row transforms), so it is added once at the rounding and the
// transforms run on the AC coefficients alone; the result is the same modulo
// 2^32. The shape of the AC coefficients picks the variant.
void TransformBlock(const int16_t coef[64], const uint32_t table[64], uint8_t* out, ptrdiff_t stride) {
    const u32 bias = Dequantise(coef[0], table[0]) + 127u;
    // Which coefficient rows and which column half hold AC coefficients.
    uint64_t w[16];
    std::memcpy(w, coef, sizeof w);
    w[0] &= std::endian::native == std::endian::little ? ~0xffffull : ~(0xffffull << 48);  // DC
    const uint64_t rows_1_2 = w[2] | w[3] | w[4] | w[5], row_3 = w[6] | w[7];
    const uint64_t rows_4_7 = w[8] | w[9] | w[10] | w[11] | w[12] | w[13] | w[14] | w[15];
    const uint64_t right = w[1] | w[3] | w[5] | w[7] | w[9] | w[11] | w[13] | w[15];
    if ((rows_1_2 | row_3 | rows_4_7) == 0) return TransformFirstRow(coef, table, bias, out, stride);
    if (right == 0) {
        if ((row_3 | rows_4_7) == 0)
            TransformColumnsRows<3, 4>(coef, table, bias, out, stride);
        else if (rows_4_7 == 0)
            TransformColumnsRows<4, 4>(coef, table, bias, out, stride);
        else
            TransformColumnsRows<8, 4>(coef, table, bias, out, stride);
    } else {
        if ((row_3 | rows_4_7) == 0)
            TransformColumnsRows<3, 8>(coef, table, bias, out, stride);
        else if (rows_4_7 == 0)
            TransformColumnsRows<4, 8>(coef, table, bias, out, stride);
        else
            TransformColumnsRows<8, 8>(coef, table, bias, out, stride);
    }
}

void PutPlain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    TransformBlock(coef, table, dst, stride);
}

void PutEnlargedPlain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    uint8_t out[64];
    TransformBlock(coef, table, out, 8);
    for (int r = 0; r < 8; ++r) {
        uint8_t row[16];
        for (int c = 0; c < 8; ++c) row[2 * c] = row[2 * c + 1] = out[r * 8 + c];
        std::memcpy(dst + (2 * r) * stride, row, 16);
        std::memcpy(dst + (2 * r + 1) * stride, row, 16);
    }
}

void AddFromPlain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
                  const uint8_t* pred, ptrdiff_t pred_stride) {
    uint8_t p[64], out[64];
    for (int r = 0; r < 8; ++r) std::memcpy(p + r * 8, pred + r * pred_stride, 8);
    TransformBlock(coef, table, out, 8);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) dst[r * stride + c] = static_cast<uint8_t>(p[r * 8 + c] + out[r * 8 + c]);
}

void AddPlain(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
              const uint8_t pred[64]) {
    AddFromPlain(dst, stride, coef, table, pred, 8);
}

}  // namespace

const IdctFunctions& IdctPlainFunctions() {
    static const IdctFunctions f{PutPlain, PutEnlargedPlain, AddPlain, AddFromPlain};
    return f;
}

}  // namespace zarn
