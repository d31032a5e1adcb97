// AVX2 inverse transform: the eight one-dimensional transforms of a pass run
// side by side in the eight 32-bit lanes of a register, with the same
// wrapping 32-bit arithmetic as the plain kernels.
#include <immintrin.h>

#include <cstring>

#include "video/idct_kernels.h"

namespace zarn {

namespace {

inline __m256i Mul11(__m256i a, int k) {
    return _mm256_srai_epi32(_mm256_mullo_epi32(a, _mm256_set1_epi32(k)), 11);
}

// Inputs from x[kInputs] on are zero: their arithmetic folds away.
template <int kInputs = 8>
inline void Transform(const __m256i in[8], __m256i y[8]) {
    __m256i x[8];
    for (int k = 0; k < 8; ++k) x[k] = k < kInputs ? in[k] : _mm256_setzero_si256();
    const __m256i a0 = _mm256_add_epi32(x[0], x[4]), a1 = _mm256_sub_epi32(x[0], x[4]);
    const __m256i a3 = _mm256_add_epi32(x[2], x[6]);
    const __m256i a2 = _mm256_sub_epi32(Mul11(_mm256_sub_epi32(x[2], x[6]), 2896), a3);
    const __m256i e0 = _mm256_add_epi32(a0, a3), e3 = _mm256_sub_epi32(a0, a3);
    const __m256i e1 = _mm256_add_epi32(a1, a2), e2 = _mm256_sub_epi32(a1, a2);
    const __m256i z13 = _mm256_add_epi32(x[5], x[3]), z10 = _mm256_sub_epi32(x[5], x[3]);
    const __m256i z11 = _mm256_add_epi32(x[1], x[7]), z12 = _mm256_sub_epi32(x[1], x[7]);
    const __m256i o7 = _mm256_add_epi32(z11, z13);
    const __m256i z5 = Mul11(_mm256_add_epi32(z10, z12), 3784);
    const __m256i o6 = _mm256_sub_epi32(_mm256_add_epi32(Mul11(_mm256_sub_epi32(x[3], x[5]), 5352), z5), o7);
    const __m256i o5 = _mm256_sub_epi32(Mul11(_mm256_sub_epi32(z11, z13), 2896), o6);
    const __m256i o4 = _mm256_add_epi32(_mm256_sub_epi32(Mul11(z12, 2217), z5), o5);
    y[0] = _mm256_add_epi32(e0, o7);
    y[7] = _mm256_sub_epi32(e0, o7);
    y[1] = _mm256_add_epi32(e1, o6);
    y[6] = _mm256_sub_epi32(e1, o6);
    y[2] = _mm256_add_epi32(e2, o5);
    y[5] = _mm256_sub_epi32(e2, o5);
    y[4] = _mm256_add_epi32(e3, o4);
    y[3] = _mm256_sub_epi32(e3, o4);
}

inline void Transpose(__m256i r[8]) {
    const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
    const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
    const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
    const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    r[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
    r[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
    r[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
    r[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
    r[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
    r[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
    r[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
    r[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

// The 64 output bytes, as two registers of four 8-byte rows each: rows 0, 1,
// 4, 5 in `rows0145` and rows 2, 3, 6, 7 in `rows2367` (the order in which
// the last pass leaves them). Coefficient rows from kRows on are zero.
template <int kRows>
inline void TransformRows(const int16_t coef[64], const uint32_t table[64], __m256i& rows0145,
                          __m256i& rows2367) {
    __m256i x[8], y[8];
    for (int r = 0; r < kRows; ++r) {
        const __m256i c =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * r)));
        const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 8 * r));
        x[r] = _mm256_srai_epi32(_mm256_mullo_epi32(c, t), 11);
    }
    Transform<kRows>(x, y);  // y[row], lanes = columns
    Transpose(y);            // y[column], lanes = rows
    Transform(y, x);         // x[column], lanes = rows
    const __m256i bias = _mm256_set1_epi32(127), low = _mm256_set1_epi32(255);
    for (int c = 0; c < 8; ++c)
        x[c] = _mm256_and_si256(_mm256_srai_epi32(_mm256_add_epi32(x[c], bias), 8), low);
    // Values are 0..255: the packs cannot saturate. Each 128-bit half then
    // holds four columns of four rows (rows 0-3 low, 4-7 high), column by
    // column; a byte shuffle turns that 4x4 square row by row, and the
    // 32-bit interleave joins columns 0-3 with 4-7. No transpose of 32-bit
    // values is needed on the way out.
    const __m256i c0123 =
        _mm256_packus_epi16(_mm256_packus_epi32(x[0], x[1]), _mm256_packus_epi32(x[2], x[3]));
    const __m256i c4567 =
        _mm256_packus_epi16(_mm256_packus_epi32(x[4], x[5]), _mm256_packus_epi32(x[6], x[7]));
    const __m256i turn = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12,
                                          1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i left = _mm256_shuffle_epi8(c0123, turn), right = _mm256_shuffle_epi8(c4567, turn);
    rows0145 = _mm256_unpacklo_epi32(left, right);
    rows2367 = _mm256_unpackhi_epi32(left, right);
}

// Most blocks have coefficients in their first three rows only: their
// column pass then runs on three inputs.
inline void TransformBlock(const int16_t coef[64], const uint32_t table[64], __m256i& rows0145,
                           __m256i& rows2367) {
    const auto row = [coef](int r) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * r));
    };
    const __m128i rows_3_7 =
        _mm_or_si128(_mm_or_si128(_mm_or_si128(row(3), row(4)), _mm_or_si128(row(5), row(6))), row(7));
    if (_mm_testz_si128(rows_3_7, rows_3_7))
        TransformRows<3>(coef, table, rows0145, rows2367);
    else
        TransformRows<8>(coef, table, rows0145, rows2367);
}

void PutEnlargedAvx2(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    alignas(32) uint8_t out[64];  // rows 0, 1, 4, 5, 2, 3, 6, 7
    __m256i a, b;
    TransformBlock(coef, table, a, b);
    _mm256_store_si256(reinterpret_cast<__m256i*>(out), a);
    _mm256_store_si256(reinterpret_cast<__m256i*>(out + 32), b);
    static constexpr int kSlot[8] = {0, 1, 4, 5, 2, 3, 6, 7};
    for (int r = 0; r < 8; ++r) {
        const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(out + kSlot[r] * 8));
        const __m128i twice = _mm_unpacklo_epi8(row, row);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * r * stride), twice);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (2 * r + 1) * stride), twice);
    }
}

// Rows r, r + 1, r + 4 and r + 5 of 8 bytes, `stride` apart, as one
// register in that order (the transform's output order).
inline __m256i LoadRows4(const uint8_t* p, ptrdiff_t stride) {
    const auto row = [&](int r) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + r * stride)); };
    const __m128i r01 = _mm_unpacklo_epi64(row(0), row(1)), r45 = _mm_unpacklo_epi64(row(4), row(5));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(r01), r45, 1);
}

// Stores a register of rows r, r + 1, r + 4 and r + 5, `stride` apart.
inline void StoreRows4(uint8_t* p, ptrdiff_t stride, __m256i v) {
    const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + stride), _mm_unpackhi_epi64(lo, lo));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 4 * stride), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 5 * stride), _mm_unpackhi_epi64(hi, hi));
}

void PutAvx2(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64]) {
    __m256i a, b;
    TransformBlock(coef, table, a, b);
    StoreRows4(dst, stride, a);
    StoreRows4(dst + 2 * stride, stride, b);
}

void AddFromAvx2(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
                 const uint8_t* pred, ptrdiff_t pred_stride) {
    // The prediction is read whole before anything is stored.
    const __m256i p0 = LoadRows4(pred, pred_stride), p1 = LoadRows4(pred + 2 * pred_stride, pred_stride);
    __m256i a, b;
    TransformBlock(coef, table, a, b);
    StoreRows4(dst, stride, _mm256_add_epi8(a, p0));
    StoreRows4(dst + 2 * stride, stride, _mm256_add_epi8(b, p1));
}

void AddAvx2(uint8_t* dst, ptrdiff_t stride, const int16_t coef[64], const uint32_t table[64],
             const uint8_t pred[64]) {
    AddFromAvx2(dst, stride, coef, table, pred, 8);
}

}  // namespace

const IdctFunctions& IdctAvx2Functions() {
    static const IdctFunctions f{PutAvx2, PutEnlargedAvx2, AddAvx2, AddFromAvx2};
    return f;
}

}  // namespace zarn
