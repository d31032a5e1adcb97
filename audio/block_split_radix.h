// The split-radix levels of the SIMD complex DFTs, on blocks: a block of
// Isa::kLanes complex values holds their real parts, then their imaginary
// parts, so that a level's butterflies are lane-wise arithmetic without
// shuffles. They do the operations of the AVX2 set's Butterfly4 (FMA complex
// products included), so every instruction set gets the same results bit for
// bit. Isa supplies the vector operations, the block loads, the lane order of
// a block and the leaves; each instruction-set file instantiates this with a
// type of its own unnamed namespace, so the copies compiled with different
// flags never mix.
//
// The levels read their twiddles from a copy of BuildDftTwiddles' values laid
// out as the blocks are, built once per instruction set: gathering and
// transposing table entries at every butterfly cost more shuffles than the
// butterflies themselves. Entry j of BuildDftTwiddles' table for P points has
// the bits of entry j * kMaxPoints / P of the largest table (the two angles are
// the same product, rounded alike), so the copy made from the largest table
// serves every table a caller passes.
#pragma once

#include <cstdint>

#include "audio/audio_kernels.h"
#include "audio/complex_dft.h"
#include "audio/dft_butterfly.h"
#include "audio/transform_tables.h"

namespace zarn {

template <class Isa>
struct BlockSplitRadix {
    using V = typename Isa::Vector;
    static constexpr uint32_t kLanes = Isa::kLanes;
    // Complex points of the largest transform the twiddle copy serves.
    static constexpr uint32_t kMaxPoints = kMaxTransformSize / 2;

    // For every level of L = 4 * kLanes .. kMaxPoints points, starting at
    // float L - 4 * kLanes: its L / 4 offsets in groups of kLanes, each group
    // the lanes of wr, wi, w3r, w3i in turn (L floats a level).
    struct LevelTable {
        float values[2 * kMaxPoints];
    };

    static LevelTable BuildLevelTable() {
        LevelTable table{};
        float entries[kMaxPoints / 2];
        BuildDftTwiddles(entries, kMaxPoints);
        for (uint32_t points = 4 * kLanes; points <= kMaxPoints; points *= 2) {
            float* level = table.values + points - 4 * kLanes;
            for (uint32_t m = 0; m < points / 4; ++m) {
                const TwiddlePair w = TwiddleAt(m, points, entries, kMaxPoints / points);
                float* group = level + 4 * (m - m % kLanes) + Isa::LaneOf(m % kLanes);
                group[0] = w.wr;
                group[kLanes] = w.wi;
                group[2 * kLanes] = w.w3r;
                group[3 * kLanes] = w.w3i;
            }
        }
        return table;
    }

    static const float* LevelTwiddles(uint32_t points) {
        static const LevelTable table = BuildLevelTable();
        return table.values + points - 4 * kLanes;
    }

    // The butterflies of the block of offsets at p0 (x0) and its partners a
    // quarter apart; the first level reads interleaved pairs.
    template <bool interleaved>
    [[gnu::always_inline]] static void Butterfly(float* p0, uint32_t quarter_floats, const float* twiddles) {
        float* p1 = p0 + quarter_floats;
        float* p2 = p1 + quarter_floats;
        float* p3 = p2 + quarter_floats;
        const auto w = Isa::LoadBlock(twiddles);
        const auto w3 = Isa::LoadBlock(twiddles + 2 * kLanes);
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
        Isa::StoreBlock(p2, Isa::FmSub(ur, w.re, Isa::Mul(ui, w.im)),
                        Isa::FmAdd(ui, w.re, Isa::Mul(ur, w.im)));
        Isa::StoreBlock(p3, Isa::FmSub(vr, w3.re, Isa::Mul(vi, w3.im)),
                        Isa::FmAdd(vi, w3.re, Isa::Mul(vr, w3.im)));
    }

    // One level of 4 * kLanes <= `points` <= kMaxPoints values.
    template <bool interleaved>
    static void Level(float* x, uint32_t points) {
        const uint32_t q = points / 4;
        const float* w = LevelTwiddles(points);
        for (uint32_t m = 0; m < q; m += kLanes, w += 4 * kLanes) Butterfly<interleaved>(x + 2 * m, 2 * q, w);
    }

    // The sub-transforms after a level of `points`.
    static void Children(float* x, uint32_t points) {
        Run(x, points / 2);
        Run(x + points, points / 4);
        Run(x + points + points / 2, points / 4);
    }

    // Bit-reversed-order result, interleaved.
    static void Run(float* x, uint32_t points) {
        if (points <= 32) {
            Isa::Leaf(x, points);
            return;
        }
        Level<false>(x, points);
        Children(x, points);
    }

    // The contract of ComplexDftPositive, with its order of operations.
    static void Transform(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                          uint32_t table_points, int32_t* scratch) {
        if (points < 64 || points > kMaxPoints) {
            ComplexDftPositive(kernels, x, points, twiddles, table_points, scratch);
            return;
        }
        Level<true>(x, points);
        Children(x, points);
        kernels.bit_reverse(x, points, scratch);
    }
};

}  // namespace zarn
