// Split-radix decimation in frequency, recursive down to fixed small kernels,
// followed by a bit-reversal permutation. Each level of size L halves into an
// L/2 transform of the sums and two L/4 transforms of the twiddled differences;
// small levels stay in cache while the recursion works on them.
#include "audio/complex_dft.h"

#include <cmath>

#include "audio/dft_butterfly.h"

namespace zarn {
namespace {

// Bit-reversed-order result.
void SplitRadix(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                uint32_t stride) {
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
    kernels.bit_reverse(x, points, reverse_scratch);
}

}  // namespace zarn
