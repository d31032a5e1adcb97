// Scalar split-radix butterfly shared by every kernel set.
#pragma once

#include <cstdint>

namespace zarn {

// One butterfly at offset m of a level with quarter length q (complex values,
// interleaved): the sums stay in the first half, (a + ib) w and (a - ib) w3 go
// to the last two quarters, with a = x0 - x2 and b = x1 - x3.
inline void SplitButterfly(float* x, uint32_t q, uint32_t m, float wr, float wi, float w3r, float w3i) {
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

constexpr float kHalfRoot2 = 0.70710678118654752f;  // cos(pi/4)

// Butterfly at m = L/8: w = e^(i pi/4), w3 = e^(3 i pi/4).
inline void SplitButterflyEighth(float* x, uint32_t q, uint32_t m) {
    SplitButterfly(x, q, m, kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
}

// The partner offset L/4 - m of a table entry (c, s, c3, s3) uses
// w = (s, c) and w3 = (-s3, -c3).
inline void SplitButterflyMirrored(float* x, uint32_t q, uint32_t m, const float* entry) {
    SplitButterfly(x, q, m, entry[1], entry[0], -entry[3], -entry[2]);
}

// w = e^(2 pi i k / points) and w3 = w^3 of offset k < points / 4 of a level,
// from the table of BuildDftTwiddles (entry j holds angle 2 pi j / table_points,
// read with stride = table_points / points): entries below points / 8 directly,
// offset points / 8 as e^(i pi/4), the others mirrored from entry points / 4 - k.
struct TwiddlePair {
    float wr, wi, w3r, w3i;
};

inline TwiddlePair TwiddleAt(uint32_t k, uint32_t points, const float* twiddles, uint32_t stride) {
    if (8 * k < points) {
        const float* e = twiddles + 4 * k * stride;
        return {e[0], e[1], e[2], e[3]};
    }
    if (8 * k == points) return {kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2};
    const float* e = twiddles + 4 * (points / 4 - k) * stride;
    return {e[1], e[0], -e[3], -e[2]};
}

// One bin pair of the real split: lo = bin k, hi = bin n/2 - k (each a stored
// pair (R, I) = conj X), cw = cos(2 pi k / n) / 2, sw = sin(2 pi k / n) / 2.
// lo becomes S/2 + P and hi conj(S/2 - P), with S = X_k + conj X_{N-k},
// D = X_k - conj X_{N-k} and P = i (w/2) D.
inline void RealSplitPair(float* lo, float* hi, float cw, float sw) {
    const float rk = lo[0], ik = lo[1], rj = hi[0], ij = hi[1];
    const float sr = 0.5f * (rk + rj), si = 0.5f * (ij - ik);
    const float dr = rk - rj, di = -(ik + ij);
    const float pr = -(cw * di + sw * dr);
    const float pi = cw * dr - sw * di;
    lo[0] = sr + pr;
    lo[1] = si + pi;
    hi[0] = sr - pr;
    hi[1] = pi - si;
}

}  // namespace zarn
