// Split-radix decimation in frequency, recursive down to fixed small kernels,
// followed by a bit-reversal permutation. Each level of size L halves into an
// L/2 transform of the sums and two L/4 transforms of the twiddled differences;
// small levels stay in cache while the recursion works on them.
#include "audio/complex_dft.h"

#include <cmath>
#include <utility>

namespace zarn {
namespace {

constexpr float kHalfRoot2 = 0.70710678118654752f;  // cos(pi/4)
constexpr float kCos8 = 0.92387953251128676f;       // cos(pi/8)
constexpr float kSin8 = 0.38268343236508977f;       // sin(pi/8)

// One split-radix butterfly at offset m of a level with quarter length q:
// the sums go to the first half, (a + ib) w and (a - ib) w3 to the last two quarters.
inline void Butterfly(float* x, uint32_t q, uint32_t m, float wr, float wi, float w3r, float w3i) {
    float* p0 = x + 2 * m;
    float* p1 = p0 + 2 * q;
    float* p2 = p1 + 2 * q;
    float* p3 = p2 + 2 * q;
    const float ar = p0[0] - p2[0], ai = p0[1] - p2[1];
    const float br = p1[0] - p3[0], bi = p1[1] - p3[1];
    p0[0] += p2[0];
    p0[1] += p2[1];
    p1[0] += p3[0];
    p1[1] += p3[1];
    const float ur = ar - bi, ui = ai + br;
    const float vr = ar + bi, vi = ai - br;
    p2[0] = ur * wr - ui * wi;
    p2[1] = ur * wi + ui * wr;
    p3[0] = vr * w3r - vi * w3i;
    p3[1] = vr * w3i + vi * w3r;
}

// Butterfly with w = w3 = 1.
inline void ButterflyUnit(float* x, uint32_t q) {
    float* p1 = x + 2 * q;
    float* p2 = p1 + 2 * q;
    float* p3 = p2 + 2 * q;
    const float ar = x[0] - p2[0], ai = x[1] - p2[1];
    const float br = p1[0] - p3[0], bi = p1[1] - p3[1];
    x[0] += p2[0];
    x[1] += p2[1];
    p1[0] += p3[0];
    p1[1] += p3[1];
    p2[0] = ar - bi;
    p2[1] = ai + br;
    p3[0] = ar + bi;
    p3[1] = ai - br;
}

// Butterfly at m = L/8: w = e^(i pi/4), w3 = e^(3 i pi/4).
inline void ButterflyEighth(float* x, uint32_t q, uint32_t m) {
    Butterfly(x, q, m, kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
}

void Dft2(float* x) {
    const float r = x[0] - x[2], i = x[1] - x[3];
    x[0] += x[2];
    x[1] += x[3];
    x[2] = r;
    x[3] = i;
}

// Four points, output in bit-reversed order X0, X2, X1, X3.
void Dft4(float* x) {
    const float s02r = x[0] + x[4], s02i = x[1] + x[5];
    const float d02r = x[0] - x[4], d02i = x[1] - x[5];
    const float s13r = x[2] + x[6], s13i = x[3] + x[7];
    const float d13r = x[2] - x[6], d13i = x[3] - x[7];
    x[0] = s02r + s13r;
    x[1] = s02i + s13i;
    x[2] = s02r - s13r;
    x[3] = s02i - s13i;
    x[4] = d02r - d13i;  // X1 = d02 + i d13
    x[5] = d02i + d13r;
    x[6] = d02r + d13i;  // X3 = d02 - i d13
    x[7] = d02i - d13r;
}

void Dft8(float* x) {
    ButterflyUnit(x, 2);
    ButterflyEighth(x, 2, 1);
    Dft4(x);
    Dft2(x + 8);
    Dft2(x + 12);
}

void Dft16(float* x) {
    ButterflyUnit(x, 4);
    Butterfly(x, 4, 1, kCos8, kSin8, kSin8, kCos8);
    ButterflyEighth(x, 4, 2);
    Butterfly(x, 4, 3, kSin8, kCos8, -kCos8, -kSin8);
    Dft8(x);
    Dft4(x + 16);
    Dft4(x + 24);
}

// One split-radix level of L >= 32 points; twiddle entry j * stride holds
// w^j and w^3j of this level. Offsets m and L/4 - m share one table entry.
void SplitLevel(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    const uint32_t q = points / 4;
    const uint32_t h = points / 8;
    ButterflyUnit(x, q);
    ButterflyEighth(x, q, h);
    const float* t = twiddles + 4 * stride;
    for (uint32_t m = 1; m < h; ++m, t += 4 * stride) {
        Butterfly(x, q, m, t[0], t[1], t[2], t[3]);
        Butterfly(x, q, q - m, t[1], t[0], -t[3], -t[2]);
    }
}

// Bit-reversed-order result.
void SplitRadix(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    switch (points) {
        case 1: return;
        case 2: Dft2(x); return;
        case 4: Dft4(x); return;
        case 8: Dft8(x); return;
        case 16: Dft16(x); return;
        default: break;
    }
    SplitLevel(x, points, twiddles, stride);
    SplitRadix(x, points / 2, twiddles, stride * 2);
    SplitRadix(x + points, points / 4, twiddles, stride * 4);
    SplitRadix(x + points + points / 2, points / 4, twiddles, stride * 4);
}

void BitReverse(float* x, uint32_t points) {
    uint32_t j = 0;
    for (uint32_t i = 0; i < points; ++i) {
        if (i < j) {
            std::swap(x[2 * i], x[2 * j]);
            std::swap(x[2 * i + 1], x[2 * j + 1]);
        }
        uint32_t bit = points >> 1;
        while (bit != 0 && (j & bit) != 0) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
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

void ComplexDftPositive(float* x, uint32_t points, const float* twiddles, uint32_t table_points) {
    SplitRadix(x, points, twiddles, table_points / points);
    BitReverse(x, points);
}

}  // namespace zarn
