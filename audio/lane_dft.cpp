// Complex DFT of N points as four DFTs of N/4 points run side by side, then
// one radix-4 combining pass.
//
// Complex value 4p + l is lane l of "vector point" p: each block of eight
// floats holds the real parts of four consecutive values, then their
// imaginary parts. The four lanes are the four sub-sequences x[4p + l], so a
// split-radix DFT over the vector points transforms all four at once with
// scalar twiddles and no data movement between lanes; every lane loop is four
// independent, contiguous operations that the compiler turns into vector code.
// The combining pass transposes 4 x 4 tiles, applies the twiddles
// e^(2 pi i l k / N) and a four-point DFT, and writes natural order, which
// also undoes the bit-reversed order of the sub-transforms.
#include "audio/lane_dft.h"

#include <bit>

#include "audio/audio_kernels.h"
#include "audio/complex_dft.h"
#include "audio/dft_butterfly.h"

namespace zarn {
namespace {

constexpr uint32_t kLanes = 4;
constexpr uint32_t kBlock = 8;                 // floats per vector point
constexpr float kCos8 = 0.92387953251128676f;  // cos(pi/8)
constexpr float kSin8 = 0.38268343236508977f;  // sin(pi/8)

inline float* Point(float* x, uint32_t p) { return x + kBlock * p; }

// Reads a vector point stored in lanes, or as four interleaved (re, im)
// pairs when `interleaved` (the layout before the first level).
template <bool interleaved>
inline void LoadPoint(const float* __restrict p, float* __restrict re, float* __restrict im) {
    for (uint32_t l = 0; l < kLanes; ++l) {
        re[l] = interleaved ? p[2 * l] : p[l];
        im[l] = interleaved ? p[2 * l + 1] : p[kLanes + l];
    }
}

// Split-radix butterfly on four lanes (see SplitButterfly); the result is
// stored in lanes whatever the input layout.
template <bool interleaved = false>
[[gnu::always_inline]] inline void LaneButterfly(float* __restrict p0, float* __restrict p1,
                                                 float* __restrict p2, float* __restrict p3, float wr,
                                                 float wi, float w3r, float w3i) {
    float x0r[kLanes], x0i[kLanes], x1r[kLanes], x1i[kLanes], x2r[kLanes], x2i[kLanes], x3r[kLanes],
        x3i[kLanes];
    LoadPoint<interleaved>(p0, x0r, x0i);
    LoadPoint<interleaved>(p1, x1r, x1i);
    LoadPoint<interleaved>(p2, x2r, x2i);
    LoadPoint<interleaved>(p3, x3r, x3i);
    for (uint32_t l = 0; l < kLanes; ++l) {
        const float ar = x0r[l] - x2r[l], ai = x0i[l] - x2i[l];
        const float br = x1r[l] - x3r[l], bi = x1i[l] - x3i[l];
        p0[l] = x0r[l] + x2r[l];
        p0[l + kLanes] = x0i[l] + x2i[l];
        p1[l] = x1r[l] + x3r[l];
        p1[l + kLanes] = x1i[l] + x3i[l];
        const float ur = ar - bi, ui = ai + br;
        const float vr = ar + bi, vi = ai - br;
        p2[l] = ur * wr - ui * wi;
        p2[l + kLanes] = ur * wi + ui * wr;
        p3[l] = vr * w3r - vi * w3i;
        p3[l + kLanes] = vr * w3i + vi * w3r;
    }
}

// The butterfly at offset 0, where both twiddles are 1.
inline void LaneButterflyUnit(float* __restrict p0, float* __restrict p1, float* __restrict p2,
                              float* __restrict p3) {
    for (uint32_t l = 0; l < kLanes; ++l) {
        const float x0r = p0[l], x0i = p0[l + kLanes], x1r = p1[l], x1i = p1[l + kLanes];
        const float x2r = p2[l], x2i = p2[l + kLanes], x3r = p3[l], x3i = p3[l + kLanes];
        const float ar = x0r - x2r, ai = x0i - x2i;
        const float br = x1r - x3r, bi = x1i - x3i;
        p0[l] = x0r + x2r;
        p0[l + kLanes] = x0i + x2i;
        p1[l] = x1r + x3r;
        p1[l + kLanes] = x1i + x3i;
        p2[l] = ar - bi;
        p2[l + kLanes] = ai + br;
        p3[l] = ar + bi;
        p3[l + kLanes] = ai - br;
    }
}

template <bool interleaved = false>
[[gnu::always_inline]] inline void LaneButterflyAt(float* x, uint32_t q, uint32_t m, float wr, float wi,
                                                   float w3r, float w3i) {
    LaneButterfly<interleaved>(Point(x, m), Point(x, m + q), Point(x, m + 2 * q), Point(x, m + 3 * q), wr, wi,
                               w3r, w3i);
}

inline void LaneButterflyUnitAt(float* x, uint32_t q) {
    LaneButterflyUnit(Point(x, 0), Point(x, q), Point(x, 2 * q), Point(x, 3 * q));
}

inline void LaneDft2(float* __restrict p0, float* __restrict p1) {
    for (uint32_t l = 0; l < kBlock; ++l) {
        const float a = p0[l], b = p1[l];
        p0[l] = a + b;
        p1[l] = a - b;
    }
}

// Four vector points, bit-reversed order X0, X2, X1, X3.
inline void LaneDft4(float* x) {
    float* __restrict p0 = Point(x, 0);
    float* __restrict p1 = Point(x, 1);
    float* __restrict p2 = Point(x, 2);
    float* __restrict p3 = Point(x, 3);
    for (uint32_t l = 0; l < kLanes; ++l) {
        const float x0r = p0[l], x0i = p0[l + kLanes], x1r = p1[l], x1i = p1[l + kLanes];
        const float x2r = p2[l], x2i = p2[l + kLanes], x3r = p3[l], x3i = p3[l + kLanes];
        const float s02r = x0r + x2r, s02i = x0i + x2i, d02r = x0r - x2r, d02i = x0i - x2i;
        const float s13r = x1r + x3r, s13i = x1i + x3i, d13r = x1r - x3r, d13i = x1i - x3i;
        p0[l] = s02r + s13r;
        p0[l + kLanes] = s02i + s13i;
        p1[l] = s02r - s13r;
        p1[l + kLanes] = s02i - s13i;
        p2[l] = d02r - d13i;  // X1 = d02 + i d13
        p2[l + kLanes] = d02i + d13r;
        p3[l] = d02r + d13i;  // X3 = d02 - i d13
        p3[l + kLanes] = d02i - d13r;
    }
}

void LaneLeaf8(float* x) {
    LaneButterflyUnitAt(x, 2);
    LaneButterflyAt(x, 2, 1, kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
    LaneDft4(x);
    LaneDft2(Point(x, 4), Point(x, 5));
    LaneDft2(Point(x, 6), Point(x, 7));
}

void LaneLeaf16(float* x) {
    LaneButterflyUnitAt(x, 4);
    LaneButterflyAt(x, 4, 1, kCos8, kSin8, kSin8, kCos8);
    LaneButterflyAt(x, 4, 2, kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
    LaneButterflyAt(x, 4, 3, kSin8, kCos8, -kCos8, -kSin8);
    LaneLeaf8(x);
    LaneDft4(Point(x, 8));
    LaneDft4(Point(x, 12));
}

// One split-radix level of `points` >= 32 vector points (see SplitLevelPlain);
// the first level also turns the interleaved input into lanes.
template <bool interleaved>
void LaneLevel(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    const uint32_t q = points / 4;
    const uint32_t h = points / 8;
    LaneButterflyAt<interleaved>(x, q, 0, 1.0f, 0.0f, 1.0f, 0.0f);
    LaneButterflyAt<interleaved>(x, q, h, kHalfRoot2, kHalfRoot2, -kHalfRoot2, kHalfRoot2);
    const float* t = twiddles + 4 * stride;
    for (uint32_t m = 1; m < h; ++m, t += 4 * stride) {
        LaneButterflyAt<interleaved>(x, q, m, t[0], t[1], t[2], t[3]);
        LaneButterflyAt<interleaved>(x, q, q - m, t[1], t[0], -t[3], -t[2]);
    }
}

// Bit-reversed-order result, as SplitRadix.
void LaneSplitRadix(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
    switch (points) {
    case 1: return;
    case 2: LaneDft2(Point(x, 0), Point(x, 1)); return;
    case 4: LaneDft4(x); return;
    case 8: LaneLeaf8(x); return;
    case 16: LaneLeaf16(x); return;
    default: break;
    }
    LaneLevel<false>(x, points, twiddles, stride);
    LaneSplitRadix(x, points / 2, twiddles, stride * 2);
    LaneSplitRadix(Point(x, points / 2), points / 4, twiddles, stride * 4);
    LaneSplitRadix(Point(x, points / 2 + points / 4), points / 4, twiddles, stride * 4);
}

// out[2i] = a[i], out[2i + 1] = b[i] for i < count (vectorises as unpack).
template <uint32_t count>
inline void Interleave(const float* __restrict a, const float* __restrict b, float* __restrict out) {
    for (uint32_t i = 0; i < count; ++i) {
        out[2 * i] = a[i];
        out[2 * i + 1] = b[i];
    }
}

// a[i] = in[2i], b[i] = in[2i + 1] for i < count.
template <uint32_t count>
inline void Deinterleave(const float* __restrict in, float* __restrict a, float* __restrict b) {
    for (uint32_t i = 0; i < count; ++i) {
        a[i] = in[2 * i];
        b[i] = in[2 * i + 1];
    }
}

// Twiddles w^k and w^3k of k = k0 + d, d < 4; one branch per group.
inline void GroupTwiddles(uint32_t k0, uint32_t points, const float* twiddles, uint32_t stride, float* w1r,
                          float* w1i, float* w3r, float* w3i) {
    const uint32_t es = 4 * stride;
    if (stride == 1 && 8 * k0 != points) {
        // Four consecutive entries (c, s, c3, s3), split by two rounds of
        // deinterleaving; the mirrored half reads them in reverse.
        const bool mirrored = 8 * k0 > points;
        const float* e = mirrored ? twiddles + 4 * (points / 4 - k0 - 3) : twiddles + 4 * k0;
        float even[2 * kLanes], odd[2 * kLanes], c[kLanes], s[kLanes], c3[kLanes], s3[kLanes];
        Deinterleave<2 * kLanes>(e, even, odd);
        Deinterleave<kLanes>(even, c, c3);
        Deinterleave<kLanes>(odd, s, s3);
        if (!mirrored) {
            for (uint32_t d = 0; d < kLanes; ++d) {
                w1r[d] = c[d];
                w1i[d] = s[d];
                w3r[d] = c3[d];
                w3i[d] = s3[d];
            }
        } else {
            for (uint32_t d = 0; d < kLanes; ++d) {
                w1r[d] = s[3 - d];
                w1i[d] = c[3 - d];
                w3r[d] = -s3[3 - d];
                w3i[d] = -c3[3 - d];
            }
        }
    } else if (8 * (k0 + 3) < points) {
        const float* e = twiddles + k0 * es;
        for (uint32_t d = 0; d < kLanes; ++d) {
            w1r[d] = e[d * es];
            w1i[d] = e[d * es + 1];
            w3r[d] = e[d * es + 2];
            w3i[d] = e[d * es + 3];
        }
    } else if (8 * k0 > points) {
        const float* e = twiddles + (points / 4 - k0) * es;
        for (uint32_t d = 0; d < kLanes; ++d) {
            const float* f = e - d * es;
            w1r[d] = f[1];
            w1i[d] = f[0];
            w3r[d] = -f[3];
            w3i[d] = -f[2];
        }
    } else {
        for (uint32_t d = 0; d < kLanes; ++d) {
            const TwiddlePair w = TwiddleAt(k0 + d, points, twiddles, stride);
            w1r[d] = w.wr;
            w1i[d] = w.wi;
            w3r[d] = w.w3r;
            w3i[d] = w.w3i;
        }
    }
}

// The 4 x 4 tile of sub-transform values at k = 4g + d, d < 4: lane l of the
// vector point at position rev2(d) * groups + src is sub-transform l at k.
// Transposed by two rounds of interleaving so that re[l][d] is that value.
struct Tile {
    float re[kLanes][kLanes];
    float im[kLanes][kLanes];
};

inline void LoadTile(const float* x, uint32_t src, uint32_t groups, Tile* tile) {
    const float* p0 = x + kBlock * src;  // d = 0, 2, 1, 3 in this order
    const float* p1 = p0 + kBlock * groups;
    const float* p2 = p1 + kBlock * groups;
    const float* p3 = p2 + kBlock * groups;
    float ar[2 * kLanes], br[2 * kLanes], ai[2 * kLanes], bi[2 * kLanes];
    Interleave<kLanes>(p0, p1, ar);
    Interleave<kLanes>(p2, p3, br);
    Interleave<kLanes>(p0 + kLanes, p1 + kLanes, ai);
    Interleave<kLanes>(p2 + kLanes, p3 + kLanes, bi);
    Interleave<2 * kLanes>(ar, br, &tile->re[0][0]);
    Interleave<2 * kLanes>(ai, bi, &tile->im[0][0]);
}

// Values 4g + d + q * points / 4 (d, q < 4) from the tile of group g, stored
// interleaved in natural order: block g + q * groups holds d = 0..3.
void CombineTile(const Tile& tile, float* x, uint32_t g, uint32_t groups, uint32_t points,
                 const float* twiddles, uint32_t stride) {
    float w1r[kLanes], w1i[kLanes], w3r[kLanes], w3i[kLanes];
    GroupTwiddles(4 * g, points, twiddles, stride, w1r, w1i, w3r, w3i);
    float zr[kLanes][kLanes], zi[kLanes][kLanes];  // [q][d]
    for (uint32_t d = 0; d < kLanes; ++d) {
        const float w2r = w1r[d] * w1r[d] - w1i[d] * w1i[d];
        const float w2i = 2.0f * w1r[d] * w1i[d];
        const float t0r = tile.re[0][d], t0i = tile.im[0][d];
        const float t1r = tile.re[1][d] * w1r[d] - tile.im[1][d] * w1i[d];
        const float t1i = tile.re[1][d] * w1i[d] + tile.im[1][d] * w1r[d];
        const float t2r = tile.re[2][d] * w2r - tile.im[2][d] * w2i;
        const float t2i = tile.re[2][d] * w2i + tile.im[2][d] * w2r;
        const float t3r = tile.re[3][d] * w3r[d] - tile.im[3][d] * w3i[d];
        const float t3i = tile.re[3][d] * w3i[d] + tile.im[3][d] * w3r[d];
        const float s02r = t0r + t2r, s02i = t0i + t2i, d02r = t0r - t2r, d02i = t0i - t2i;
        const float s13r = t1r + t3r, s13i = t1i + t3i, d13r = t1r - t3r, d13i = t1i - t3i;
        zr[0][d] = s02r + s13r;
        zi[0][d] = s02i + s13i;
        zr[1][d] = d02r - d13i;  // d02 + i d13
        zi[1][d] = d02i + d13r;
        zr[2][d] = s02r - s13r;
        zi[2][d] = s02i - s13i;
        zr[3][d] = d02r + d13i;  // d02 - i d13
        zi[3][d] = d02i - d13r;
    }
    for (uint32_t q = 0; q < kLanes; ++q) Interleave<kLanes>(zr[q], zi[q], x + kBlock * (g + q * groups));
}

// Final pass over `points` complex values held as points / 4 vector points in
// bit-reversed order. Group g reads the tile at rev(g) and writes the blocks
// at g, so groups g and rev(g) load both tiles before storing. `reverse`
// receives the bit-reversal table of the groups.
void CombineLanes(float* x, uint32_t points, const float* twiddles, uint32_t stride, int32_t* reverse) {
    const uint32_t groups = points / 16;
    const uint32_t bits = static_cast<uint32_t>(std::countr_zero(groups));
    reverse[0] = 0;
    for (uint32_t g = 1; g < groups; ++g) {
        reverse[g] = (reverse[g >> 1] >> 1) | static_cast<int32_t>((g & 1u) << (bits - 1));
    }
    Tile first, second;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t r = static_cast<uint32_t>(reverse[g]);
        if (r < g) continue;
        LoadTile(x, r, groups, &first);
        if (r != g) LoadTile(x, g, groups, &second);
        CombineTile(first, x, g, groups, points, twiddles, stride);
        if (r != g) CombineTile(second, x, r, groups, points, twiddles, stride);
    }
}

}  // namespace

void LaneDft(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
             uint32_t table_points, int32_t* scratch) {
    if (points < 128) {  // the first level needs 32 vector points
        ComplexDftPositive(kernels, x, points, twiddles, table_points, scratch);
        return;
    }
    const uint32_t vector_points = points / kLanes;
    const uint32_t stride = table_points / vector_points;
    LaneLevel<true>(x, vector_points, twiddles, stride);
    LaneSplitRadix(x, vector_points / 2, twiddles, stride * 2);
    LaneSplitRadix(Point(x, vector_points / 2), vector_points / 4, twiddles, stride * 4);
    LaneSplitRadix(Point(x, vector_points / 2 + vector_points / 4), vector_points / 4, twiddles, stride * 4);
    CombineLanes(x, points, twiddles, table_points / points, scratch);
}

}  // namespace zarn
