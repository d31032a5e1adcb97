// Tuning words of the row-twice method and of the left edge, and the
// scratch line pair.
#include <gtest/gtest.h>

#include <vector>

#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "base/cpu_features.h"
#include "convert/time_stamp_counter.h"
#include "convert/descriptors.h"
#include "convert/scratch_lines.h"
#include "convert/tuning.h"

namespace zarn {
namespace {

TEST(RowTwiceTuning, StartsAgesAndRestarts) {
    EXPECT_EQ(RowTwiceWordForCopy(0, 480), kRowTwiceStart);
    EXPECT_EQ(RowTwiceWordForCopy(1, 480), 1u + 4 * 480);
    EXPECT_EQ(RowTwiceWordForCopy(3, 100), 3u + 400);
    EXPECT_EQ(RowTwiceWordForCopy(8000 | 1, 100), kRowTwiceStart);             // growth passes 8192
    EXPECT_EQ(RowTwiceWordForCopy(0x12345678 & ~1u, 100), 0x12345678u & ~1u);  // measuring: unchanged
}

TEST(RowTwiceTuning, MethodOfEachState) {
    EXPECT_TRUE(RowTwiceUsesScratch(0, false));  // no counter: always (b)
    EXPECT_TRUE(RowTwiceUsesScratch(1, false));
    EXPECT_FALSE(RowTwiceUsesScratch(kRowTwiceStart, true));  // measuring, (a) first
    EXPECT_TRUE(RowTwiceUsesScratch(32 << 2, true));          // measuring, bit 1 clear: (b)
    EXPECT_FALSE(RowTwiceUsesScratch(1, true));               // settled on (a)
    EXPECT_TRUE(RowTwiceUsesScratch(3, true));                // settled on (b)
}

TEST(RowTwiceTuning, TimingSteps) {
    uint32_t w = RowTwiceAfterTiming(kRowTwiceStart, 1000);  // (a) timed
    EXPECT_EQ(w, (1000u << 8) | (32u << 2));
    EXPECT_EQ(RowTwiceAfterTiming(w, 999), (31u << 2) | 2);                // (b) faster
    EXPECT_EQ(RowTwiceAfterTiming(w, 1000), (33u << 2) | 2);               // (b) not faster
    EXPECT_EQ(RowTwiceAfterTiming(5u << 8, 4), 3u);                        // counter 0, faster: (b)
    EXPECT_EQ(RowTwiceAfterTiming((5u << 8) | (63u << 2), 9), 1u);         // counter 63, slower: (a)
    EXPECT_EQ(RowTwiceAfterTiming(0xFFFFFFFFu & ~3u, 1), (62u << 2) | 2);  // huge reference
}

// Runs a measurement to its end with (b) taking `b_cycles` against (a)'s 100.
uint32_t Settle(uint32_t (*after)(uint32_t, uint64_t), uint32_t start, bool (*uses_b)(uint32_t, bool),
                uint64_t b_cycles, int* rounds) {
    uint32_t w = start;
    *rounds = 0;
    while (!TuningSettled(w) && *rounds < 1000) {
        w = after(w, uses_b(w, true) ? b_cycles : 100);
        ++*rounds;
    }
    return w;
}

TEST(RowTwiceTuning, SettlesOnTheFasterMethod) {
    int rounds = 0;
    EXPECT_EQ(Settle(RowTwiceAfterTiming, kRowTwiceStart, RowTwiceUsesScratch, 50, &rounds), 3u);
    EXPECT_EQ(rounds, 2 * 33);
    EXPECT_EQ(Settle(RowTwiceAfterTiming, kRowTwiceStart, RowTwiceUsesScratch, 150, &rounds), 1u);
    EXPECT_EQ(rounds, 2 * 32);
}

TEST(EdgeTuning, StepsAndSettling) {
    EXPECT_EQ(EdgeWordForCopy(0, 10), kEdgeStart);
    EXPECT_EQ(EdgeWordForCopy(3, 10), 43u);
    EXPECT_EQ(EdgeWordForCopy(8191, 10), kEdgeStart);
    EXPECT_FALSE(EdgeUsesParity(kEdgeStart, true));
    EXPECT_FALSE(EdgeUsesParity(3, false));  // no counter: choice (a)
    EXPECT_TRUE(EdgeUsesParity(3, true));
    EXPECT_FALSE(EdgeUsesParity(1, true));
    const uint32_t w = EdgeAfterTiming(kEdgeStart, 700);
    EXPECT_EQ(w, (700u << 8) | (16u << 3) | 2);
    EXPECT_TRUE(EdgeUsesParity(w, true));
    EXPECT_EQ(EdgeAfterTiming(w, 699), 15u << 3);
    EXPECT_EQ(EdgeAfterTiming(w, 701), 17u << 3);
    int rounds = 0;
    EXPECT_EQ(Settle(EdgeAfterTiming, kEdgeStart, EdgeUsesParity, 10, &rounds), 3u);
    EXPECT_EQ(rounds, 2 * 17);
    EXPECT_EQ(Settle(EdgeAfterTiming, kEdgeStart, EdgeUsesParity, 1000, &rounds), 1u);
    EXPECT_EQ(rounds, 2 * 16);
}

class LiveTuning : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& d : g_descriptors)
            for (auto& t : d.tuning) t = 0;
        planes_.assign(size_t{64} * 64 * 3 / 2, 100);
        marks_.assign(17, 1);
        marks_.back() = 0;
    }
    void TearDown() override { OverrideTimeStampCounter(-1); }
    void Copy(uint32_t flags, uint32_t x) {
        FrameSource s{planes_.data(), nullptr, marks_.data(), 4, 16, 64, 64, 64, 64};
        std::vector<uint8_t> out(size_t{(x + 130) * 4} * 140);
        CopyFrame(s, out.data(), static_cast<int32_t>((x + 130) * 4), 140, x, 0, flags);
    }
    std::vector<uint8_t> planes_, marks_;
};

TEST_F(LiveTuning, WithoutCounterNothingIsTimed) {
    OverrideTimeStampCounter(0);
    Copy(3, 1);  // edges (a) 3 pixels and (b) 0 pixels differ
    const bool simd = InstalledKernelSet() != KernelSet::kPlain;
    EXPECT_EQ(g_descriptors[0].tuning[EdgeTuningIndex(false, false, simd)], 0u);
}

TEST_F(LiveTuning, WithCounterEdgeAndRowTwiceWordsMove) {
    if (!TimeStampCounterWorks()) GTEST_SKIP() << "no time-stamp counter";
    const bool simd = InstalledKernelSet() != KernelSet::kPlain;
    // A measuring word with a reference no row pair can reach: its next
    // timing of (b) must change it.
    const uint32_t edge_start = (0xFFFFFFu << 8) | (5u << 3) | 2;
    uint32_t& edge = g_descriptors[0].tuning[EdgeTuningIndex(false, false, simd)];
    edge = edge_start;
    Copy(3, 1);  // edges (a) 3 pixels and (b) 0 pixels differ
    EXPECT_NE(edge, edge_start);
    const uint32_t twice_start = (0xFFFFFFu << 8) | (5u << 2);
    uint32_t& twice = g_descriptors[0].tuning[RowTwiceTuningIndex(1, false, simd)];
    twice = twice_start;
    Copy(3 | (1u << kCopyScaleShift), 0);
    EXPECT_NE(twice, twice_start);
    // Copies with the plain flag use the plain words.
    uint32_t& plain = g_descriptors[0].tuning[RowTwiceTuningIndex(4, false, false)];
    plain = twice_start;
    Copy(3 | kCopyForcePlain | (4u << kCopyScaleShift), 0);
    EXPECT_NE(plain, twice_start);
    // 32 row pairs cannot settle a fresh row-twice word, and edge timing is
    // suspended while it measures: the edge word stays at its start value.
    for (auto& t : g_descriptors[4].tuning) t = 0;
    Copy(1 | (1u << kCopyScaleShift), 1);
    EXPECT_FALSE(TuningSettled(g_descriptors[4].tuning[RowTwiceTuningIndex(1, false, simd)]));
    EXPECT_EQ(g_descriptors[4].tuning[EdgeTuningIndex(false, false, simd)], kEdgeStart);
}

TEST(ScratchLines, GrowOnDemandNeverShrink) {
    const ScratchLines a = ScratchLinesFor(100);
    ASSERT_NE(a.line0, nullptr);
    EXPECT_GE(a.line1 - a.line0, 128);
    EXPECT_EQ((a.line1 - a.line0) % 32, 0);
    const ScratchLines b = ScratchLinesFor(50);
    EXPECT_EQ(b.line0, a.line0);
    const ScratchLines c = ScratchLinesFor(5000);
    ASSERT_NE(c.line0, nullptr);
    EXPECT_GE(c.line1 - c.line0, 5024 - 32 + 1);
    c.line1[5000 - 1] = 1;  // both lines are usable to their full length
    c.line0[5000 - 1] = 1;
    EXPECT_EQ(ScratchLinesFor(5000).line0, c.line0);
}

}  // namespace
}  // namespace zarn
