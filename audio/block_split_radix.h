// The split-radix levels of the SIMD complex DFTs, on blocks: a block of
// Isa::kLanes complex values holds their real parts, then their imaginary
// parts, so that a level's butterflies are lane-wise arithmetic without
// shuffles. They do the operations of the AVX2 set's Butterfly4 (FMA complex
// products included), so every instruction set gets the same results bit for
// bit. Isa supplies the vector operations, the block loads, the twiddles and
// the leaves; each instruction-set file instantiates this with a type of its
// own unnamed namespace, so the copies compiled with different flags never mix.
#pragma once

#include <cstdint>

#include "audio/audio_kernels.h"
#include "audio/complex_dft.h"

namespace zarn {

template <class Isa>
struct BlockSplitRadix {
    using V = typename Isa::Vector;
    using Twiddles = typename Isa::Twiddles;
    static constexpr uint32_t kLanes = Isa::kLanes;

    // The butterflies of the block of offsets at p0 (x0) and its partners a
    // quarter apart; the first level reads interleaved pairs.
    template <bool interleaved>
    [[gnu::always_inline]] static void Butterfly(float* p0, uint32_t quarter_floats, const Twiddles& w) {
        float* p1 = p0 + quarter_floats;
        float* p2 = p1 + quarter_floats;
        float* p3 = p2 + quarter_floats;
        const auto x0 = interleaved ? Isa::LoadInterleavedBlock(p0) : Isa::LoadBlock(p0);
        const auto x1 = interleaved ? Isa::LoadInterleavedBlock(p1) : Isa::LoadBlock(p1);
        const auto x2 = interleaved ? Isa::LoadInterleavedBlock(p2) : Isa::LoadBlock(p2);
        const auto x3 = interleaved ? Isa::LoadInterleavedBlock(p3) : Isa::LoadBlock(p3);
        const V ar = Isa::Sub(x0.re, x2.re), ai = Isa::Sub(x0.im, x2.im);
        const V br = Isa::Sub(x1.re, x3.re), bi = Isa::Sub(x1.im, x3.im);
        Isa::StoreBlock(p0, Isa::Add(x0.re, x2.re), Isa::Add(x0.im, x2.im));
        Isa::StoreBlock(p1, Isa::Add(x1.re, x3.re), Isa::Add(x1.im, x3.im));
        // u = a + ib, v = a - ib; then u w and v w3.
        const V ur = Isa::Sub(ar, bi), ui = Isa::Add(ai, br);
        const V vr = Isa::Add(ar, bi), vi = Isa::Sub(ai, br);
        Isa::StoreBlock(p2, Isa::FmSub(ur, w.wr, Isa::Mul(ui, w.wi)),
                        Isa::FmAdd(ui, w.wr, Isa::Mul(ur, w.wi)));
        Isa::StoreBlock(p3, Isa::FmSub(vr, w.w3r, Isa::Mul(vi, w.w3i)),
                        Isa::FmAdd(vi, w.w3r, Isa::Mul(vr, w.w3i)));
    }

    // One level of `points` >= 4 * kLanes values. Offsets below points / 8
    // take table entries m (es floats apart), the others mirror entry q - m;
    // a level of a single block of offsets mixes both (Isa::OneBlockTwiddles).
    template <bool interleaved>
    static void Level(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
        const uint32_t q = points / 4;
        const uint32_t h = points / 8;
        const uint32_t es = 4 * stride;
        if (q == kLanes) {
            Butterfly<interleaved>(x, 2 * q, Isa::OneBlockTwiddles(twiddles, es));
            return;
        }
        for (uint32_t m = 0; m < h; m += kLanes)
            Butterfly<interleaved>(x + 2 * m, 2 * q, Isa::DirectTwiddles(twiddles, m, es));
        for (uint32_t m = h; m < q; m += kLanes)
            Butterfly<interleaved>(x + 2 * m, 2 * q, Isa::MirroredTwiddles(twiddles, m, q, es));
    }

    // The sub-transforms after a level of `points`.
    static void Children(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
        Run(x, points / 2, twiddles, 2 * stride);
        Run(x + points, points / 4, twiddles, 4 * stride);
        Run(x + points + points / 2, points / 4, twiddles, 4 * stride);
    }

    // Bit-reversed-order result, interleaved.
    static void Run(float* x, uint32_t points, const float* twiddles, uint32_t stride) {
        if (points <= 32) {
            Isa::Leaf(x, points, twiddles, stride);
            return;
        }
        Level<false>(x, points, twiddles, stride);
        Children(x, points, twiddles, stride);
    }

    // The contract of ComplexDftPositive, with its order of operations.
    static void Transform(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                          uint32_t table_points, int32_t* scratch) {
        if (points < 64) {
            ComplexDftPositive(kernels, x, points, twiddles, table_points, scratch);
            return;
        }
        const uint32_t stride = table_points / points;
        Level<true>(x, points, twiddles, stride);
        Children(x, points, twiddles, stride);
        kernels.bit_reverse(x, points, scratch);
    }
};

}  // namespace zarn
