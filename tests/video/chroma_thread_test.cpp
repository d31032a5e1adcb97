// Chroma decoded on a second thread beside luma gives the frame, the block
// marks and the result of a one-thread decode: on well-formed packets of
// every block mix, on the same packets damaged, and on the stored fuzzer
// inputs. Labelled "threads" (ThreadSanitizer runs it).
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "tests/support/stored_inputs.h"
#include "tests/video/packet_harness.h"
#include "tests/video/stream_builder.h"
#include "video/chroma_thread.h"

namespace zarn {
namespace {

using namespace zarn::test;

struct StopThread {
    void operator()(ChromaThread* t) const { StopChromaThread(t); }
};
using Helper = std::unique_ptr<ChromaThread, StopThread>;

// The packet and damaged copies of it: bits flipped anywhere (the offset
// word included), cut short, and chroma offsets pointing elsewhere.
std::vector<std::vector<uint8_t>> Damaged(const std::vector<uint8_t>& packet, uint32_t seed) {
    std::vector<std::vector<uint8_t>> out{packet};
    std::mt19937 rng(seed);
    for (int i = 0; i < 24; ++i) {
        std::vector<uint8_t> p = packet;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < flips; ++k) p[rng() % p.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        out.push_back(std::move(p));
    }
    for (size_t cut : {packet.size() / 5, packet.size() / 2, packet.size() - 3})
        out.emplace_back(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(cut));
    for (uint32_t offset : {0u, 4u, static_cast<uint32_t>(packet.size()), 0xFFFFFFF0u}) {
        std::vector<uint8_t> p = packet;
        for (int b = 0; b < 4; ++b) p[b] = static_cast<uint8_t>(offset >> (8 * b));
        out.push_back(std::move(p));
    }
    return out;
}

TEST(ChromaThread, PacketsWholeAndDamagedDecodeAsOnOneThread) {
    struct Case {
        uint32_t w, h;
        PlaneMix mix;
        uint32_t flags;
        bool alpha;
    };
    const Case cases[] = {{203, 117, PlaneMix::kIntra, 0, false},
                          {203, 117, PlaneMix::kInter, 0, false},
                          {203, 117, PlaneMix::kMixed, 0, false},
                          {96, 64, PlaneMix::kMixed, kFlagAlpha, true},
                          {96, 64, PlaneMix::kMixed, kFlagGreyScale, false}};
    Helper helper(StartChromaThread(208, 128));
    Helper small(StartChromaThread(32, 32));  // too small for these frames: one thread
    ASSERT_TRUE(helper && small);
    uint32_t damaged = 0;
    for (const Case& c : cases) {
        const uint32_t header_flags = c.alpha ? kVideoFlagAlpha : 0;
        std::vector<uint8_t> packet = MakeFramePacket(c.w, c.h, c.mix, 7, false);
        if (c.alpha) {
            PacketParts parts;
            parts.has_alpha = true;
            parts.alpha = MakePlane((c.w + 7) & ~7u, (c.h + 7) & ~7u, c.mix, 9, false).Bytes();
            const std::vector<uint8_t> alpha = BuildPacket(parts);  // length word, alpha, then an empty luma
            packet.insert(packet.begin(), alpha.begin(), alpha.begin() + 4 + parts.alpha.size());
        }
        for (ChromaThread* h : {helper.get(), small.get()}) {
            FrameBuffers one(c.w, c.h), two(c.w, c.h);
            bool first = true;
            for (const auto& p : Damaged(packet, c.w + static_cast<uint32_t>(c.mix))) {
                std::fill(one.marks.begin(), one.marks.end(), 0);
                std::fill(two.marks.begin(), two.marks.end(), 0);
                const uint32_t before = ChromaThreadFrames(*h);
                const bool whole_one = one.Decode(p, c.flags, header_flags);
                const bool whole_two = two.Decode(p, c.flags, header_flags, h);
                ASSERT_EQ(whole_one, whole_two);
                ASSERT_EQ(one.dest, two.dest);
                ASSERT_EQ(one.dest_alpha, two.dest_alpha);
                ASSERT_EQ(one.marks, two.marks);
                damaged += whole_one ? 0 : 1;
                // The well-formed packet: the helper takes its chroma unless grey or too small.
                if (first) {
                    EXPECT_TRUE(whole_one);
                    const bool taken = h == helper.get() && !(c.flags & kFlagGreyScale);
                    EXPECT_EQ(ChromaThreadFrames(*h) - before, taken ? 1u : 0u);
                }
                first = false;
                // Each frame predicts from the one before, as in playback.
                std::swap(one.dest, one.prev);
                std::swap(two.dest, two.prev);
                std::swap(one.dest_alpha, one.prev_alpha);
                std::swap(two.dest_alpha, two.prev_alpha);
            }
        }
    }
    EXPECT_GT(ChromaThreadFrames(*helper), 80u);
    EXPECT_EQ(ChromaThreadFrames(*small), 0u);
    EXPECT_GT(damaged, 20u);
}

TEST(ChromaThread, StoredFuzzInputsDecodeAsOnOneThread) {
    const std::vector<StoredInput> inputs = StoredFuzzInputs("video");
    // The harness's largest frame: 300 x 200 source pixels.
    Helper helper(StartChromaThread(304, 208));
    ASSERT_TRUE(helper);
    for (const StoredInput& input : inputs) {
        const PacketResult one = DecodePacketResult(input.bytes.data(), input.bytes.size(), nullptr);
        const PacketResult two = DecodePacketResult(input.bytes.data(), input.bytes.size(), helper.get());
        EXPECT_TRUE(two.within_buffers) << input.path;
        EXPECT_EQ(one.whole, two.whole) << input.path;
        EXPECT_TRUE(one.frame == two.frame && one.alpha == two.alpha && one.marks == two.marks) << input.path;
    }
    EXPECT_GT(inputs.size(), 0u);
    EXPECT_GT(ChromaThreadFrames(*helper), 0u);
}

}  // namespace
}  // namespace zarn
