// Portable kernels of the audio decoder and its inverse real transform.
#include <bit>
#include <cstring>

#include "audio/audio_kernels.h"
#include "audio/dft_butterfly.h"

namespace zarn {

void Dft2Plain(float* x) {
    const float r = x[0] - x[2], i = x[1] - x[3];
    x[0] += x[2];
    x[1] += x[3];
    x[2] = r;
    x[3] = i;
}

constexpr float kCos8 = 0.92387953251128676f;  // cos(pi/8)
constexpr float kSin8 = 0.38268343236508977f;  // sin(pi/8)

// Four points, output in bit-reversed order X0, X2, X1, X3.
void Dft4Plain(float* x) {
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

void Leaf8Plain(float* x) {
    SplitButterfly(x, 2, 0, 1.0f, 0.0f, 1.0f, 0.0f);
    SplitButterflyEighth(x, 2, 1);
    Dft4Plain(x);
    Dft2Plain(x + 8);
    Dft2Plain(x + 12);
}

void Leaf16Plain(float* x) {
    SplitButterfly(x, 4, 0, 1.0f, 0.0f, 1.0f, 0.0f);
    SplitButterfly(x, 4, 1, kCos8, kSin8, kSin8, kCos8);
    SplitButterflyEighth(x, 4, 2);
    SplitButterfly(x, 4, 3, kSin8, kCos8, -kCos8, -kSin8);
    Leaf8Plain(x);
    Dft4Plain(x + 16);
    Dft4Plain(x + 24);
}

void SplitLevelPlain(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    const uint32_t q = points / 4;
    const uint32_t h = points / 8;
    SplitButterfly(x, q, 0, 1.0f, 0.0f, 1.0f, 0.0f);
    SplitButterflyEighth(x, q, h);
    const float* t = twiddles + 4 * stride;
    for (uint32_t m = 1; m < h; ++m, t += 4 * stride) {
        SplitButterfly(x, q, m, t[0], t[1], t[2], t[3]);
        SplitButterflyMirrored(x, q, q - m, t);
    }
}

// With X_k = Rk - i Ik, the even and odd samples form z[m] = x[2m] + i x[2m+1],
// the positive-kernel DFT of Z_k = S/2 + i w D/2 (see RealSplitPair) for
// N = n/2 points, w = e^(2 pi i k / n); bin N/2 stays as it is.
void RealSplitPlain(uint32_t n, float* a, const float* c, uint32_t table_quarter) {
    const uint32_t half = n / 2;
    const uint32_t stride = table_quarter / (n / 4);
    uint32_t k = 1;
    if (stride == 1) {
        // Four bins k..k+3 with their partners half-k-3..half-k (reversed),
        // gathered into lane arrays so that the arithmetic vectorises.
        for (; k + 4 <= half / 2; k += 4) {
            float* lo = a + 2 * k;
            float* hi = a + 2 * (half - k - 3);
            // The partners in the order of the bins they pair with: the four
            // (re, im) pairs reversed as 64-bit units.
            uint64_t stored[4], paired[4];
            std::memcpy(stored, hi, sizeof(stored));
            for (uint32_t d = 0; d < 4; ++d) paired[d] = stored[3 - d];
            float hv[8];
            std::memcpy(hv, paired, sizeof(hv));
            float rk[4], ik[4], rj[4], ij[4], cw[4], sw[4];
            for (uint32_t d = 0; d < 4; ++d) {
                rk[d] = lo[2 * d];
                ik[d] = lo[2 * d + 1];
                rj[d] = hv[2 * d];
                ij[d] = hv[2 * d + 1];
                cw[d] = c[k + d];
                sw[d] = c[table_quarter - k - d];
            }
            float lv[8];
            for (uint32_t d = 0; d < 4; ++d) {
                const float sr = 0.5f * (rk[d] + rj[d]), si = 0.5f * (ij[d] - ik[d]);
                const float dr = rk[d] - rj[d], di = -(ik[d] + ij[d]);
                const float pr = -(cw[d] * di + sw[d] * dr);
                const float pi = cw[d] * dr - sw[d] * di;
                lv[2 * d] = sr + pr;
                lv[2 * d + 1] = si + pi;
                hv[2 * d] = sr - pr;
                hv[2 * d + 1] = pi - si;
            }
            std::memcpy(lo, lv, sizeof(lv));
            std::memcpy(paired, hv, sizeof(hv));
            for (uint32_t d = 0; d < 4; ++d) stored[d] = paired[3 - d];
            std::memcpy(hi, stored, sizeof(stored));
        }
    }
    for (; k < half / 2; ++k) {
        RealSplitPair(a + 2 * k, a + 2 * (half - k), c[k * stride], c[table_quarter - k * stride]);
    }
}

namespace {

inline void SwapComplex(float* x, uint32_t i, uint32_t j) {
    uint64_t a, b;
    std::memcpy(&a, x + 2 * i, 8);
    std::memcpy(&b, x + 2 * j, 8);
    std::memcpy(x + 2 * i, &b, 8);
    std::memcpy(x + 2 * j, &a, 8);
}

}  // namespace

// Index i = [hi: c bits][mid: 0 or 1 bit][lo: c bits] swaps with
// [rev lo][mid][rev hi]; enumerating hi < rev lo visits each pair once,
// without a data-dependent branch. `reverse` receives the c-bit reversal table.
void BitReversePlain(float* x, uint32_t points, int32_t* reverse) {
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

// Chunks of a fixed count, which the compiler turns into vector code without
// needing a remainder of unknown length.
void ScaleCoefficientsPlain(const int16_t* in, uint32_t count, float step, float* out) {
    constexpr uint32_t kChunk = 8;
    uint32_t i = 0;
    for (; i + kChunk <= count; i += kChunk) {
        int16_t v[kChunk];
        float f[kChunk];
        std::memcpy(v, in + i, sizeof(v));
        for (uint32_t j = 0; j < kChunk; ++j) f[j] = static_cast<float>(v[j]) * step;
        std::memcpy(out + i, f, sizeof(f));
    }
    for (; i < count; ++i) out[i] = static_cast<float>(in[i]) * step;
}

void ConvertToPcmPlain(const float* a, uint32_t n, float scale, int16_t* pcm) {
    // Adding and removing 1.5 * 2^52 rounds a double of magnitude below 2^51 to
    // an integer, ties to even, in the default rounding mode.
    constexpr double kRound = 6755399441055744.0;
    const double s = scale;
    for (uint32_t t = 0; t < n; ++t) {
        double p = static_cast<double>(a[t]) * s;  // exact: 24-bit by 24-bit mantissas
        p = p > -32768.0 ? p : -32768.0;           // written so that it maps onto max / min
        p = p < 32767.0 ? p : 32767.0;
        p = (p + kRound) - kRound;
        pcm[t] = static_cast<int16_t>(p);
    }
}

}  // namespace zarn
