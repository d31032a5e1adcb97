// Split-radix decimation in frequency, recursive down to fixed small kernels,
// followed by a bit-reversal permutation. Each level of size L halves into an
// L/2 transform of the sums and two L/4 transforms of the twiddled differences;
// small levels stay in cache while the recursion works on them.
#include "audio/complex_dft.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "audio/dft_butterfly.h"

namespace zarn {
namespace {

// Bit-reversed-order result.
void SplitRadix(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    switch (points) {
        case 1: return;
        case 2: Dft2Plain(x); return;
        case 4: Dft4Plain(x); return;
        case 8: kernels.leaf8(x); return;
        case 16: kernels.leaf16(x); return;
        default: break;
    }
    kernels.split_level(x, points, twiddles, stride);
    SplitRadix(kernels, x, points / 2, twiddles, stride * 2);
    SplitRadix(kernels, x + points, points / 4, twiddles, stride * 4);
    SplitRadix(kernels, x + points + points / 2, points / 4, twiddles, stride * 4);
}

inline void SwapComplex(float* x, uint32_t i, uint32_t j) {
    uint64_t a, b;
    std::memcpy(&a, x + 2 * i, 8);
    std::memcpy(&b, x + 2 * j, 8);
    std::memcpy(x + 2 * i, &b, 8);
    std::memcpy(x + 2 * j, &a, 8);
}

// Index i = [hi: c bits][mid: 0 or 1 bit][lo: c bits] swaps with
// [rev lo][mid][rev hi]; enumerating hi < rev lo visits each pair once,
// without a data-dependent branch. `reverse` receives the c-bit reversal table.
void BitReverse(float* x, uint32_t points, int32_t* reverse) {
    if (points < 4) return;
    const uint32_t bits = static_cast<uint32_t>(std::countr_zero(points));
    const uint32_t c = bits / 2;
    const uint32_t mids = 1u << (bits - 2 * c);
    const uint32_t size = 1u << c;
    for (uint32_t k = 0; k < size; ++k) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < c; ++b) r |= ((k >> b) & 1u) << (c - 1 - b);
        reverse[k] = static_cast<int32_t>(r);
    }
    const uint32_t hi_step = size * mids;
    for (uint32_t u = 1; u < size; ++u) {
        const uint32_t lo_u = static_cast<uint32_t>(reverse[u]);
        for (uint32_t h = 0; h < u; ++h) {
            const uint32_t lo_h = static_cast<uint32_t>(reverse[h]);
            for (uint32_t mid = 0; mid < mids; ++mid) {
                SwapComplex(x, h * hi_step + mid * size + lo_u, u * hi_step + mid * size + lo_h);
            }
        }
    }
}

}  // namespace

void BuildDftTwiddles(float* twiddles, uint32_t points) {
    const double step = 2.0 * 3.14159265358979323846 / points;
    for (uint32_t j = 0; j < points / 8; ++j) {
        const double t = step * j;
        twiddles[4 * j + 0] = static_cast<float>(std::cos(t));
        twiddles[4 * j + 1] = static_cast<float>(std::sin(t));
        twiddles[4 * j + 2] = static_cast<float>(std::cos(3.0 * t));
        twiddles[4 * j + 3] = static_cast<float>(std::sin(3.0 * t));
    }
}

void ComplexDftPositive(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                        uint32_t table_points, int32_t* reverse_scratch) {
    SplitRadix(kernels, x, points, twiddles, table_points / points);
    BitReverse(x, points, reverse_scratch);
}

}  // namespace zarn
