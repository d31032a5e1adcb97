// Packet layout: alpha section, chroma offset word, grey-scale, plane order.
#include <gtest/gtest.h>

#include "tests/video/plane_fixture.h"
#include "tests/video/stream_builder.h"
#include "video/decode_video_frame.h"

namespace zarn {
namespace {

using namespace zarn::test;

// Source 20 x 12: luma buffers 32 x 16 decoded 24 x 16; chroma 16 x 8 decoded 16 x 8.
constexpr uint32_t kW = 20, kH = 12;

std::vector<uint8_t> Fills(uint32_t w, uint32_t h, std::vector<uint8_t> colours, bool older) {
    PlaneBuilder b(w, h, older);
    size_t i = 0;
    for (uint32_t row = 0; row < h / 8; ++row) {
        if (row) b.NextRow();
        for (uint32_t col = 0; col < w / 8; ++col) b.Fill(colours[i++]);
    }
    return b.Bytes();
}

PacketParts Parts(bool older) {
    PacketParts p;
    p.older = older;
    p.luma = Fills(24, 16, {10, 20, 30, 40, 50, 60}, older);
    p.chroma1 = Fills(16, 8, {70, 80}, older);
    p.chroma2 = Fills(16, 8, {90, 100}, older);
    return p;
}

void ExpectLuma(FrameBuffers& f) {
    const uint8_t expect[6] = {10, 20, 30, 40, 50, 60};
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 32; ++x)
            ASSERT_EQ(f.Luma()[y * 32 + x], x < 24 ? expect[(y / 8) * 3 + x / 8] : 0xEE) << x << "," << y;
}

void ExpectChroma(FrameBuffers& f, bool decoded) {
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            ASSERT_EQ(f.Chroma(0)[y * 16 + x], decoded ? (x < 8 ? 70 : 80) : 0xEE);
            ASSERT_EQ(f.Chroma(1)[y * 16 + x], decoded ? (x < 8 ? 90 : 100) : 0xEE);
        }
}

TEST(Frame, LatestVersionFollowsTheChromaOffsetWord) {
    PacketParts p = Parts(false);
    // Two junk words between luma and chroma: only the offset word finds the chroma.
    BitWriter w;
    w.Put(static_cast<uint32_t>(4 + p.luma.size() + 8), 32);
    w.AppendAligned(p.luma);
    w.Put(0xFFFFFFFF, 32);
    w.Put(0xFFFFFFFF, 32);
    w.AppendAligned(p.chroma1);
    w.AppendAligned(p.chroma2);
    FrameBuffers f(kW, kH);
    ASSERT_EQ(f.luma_width, 32u);
    ASSERT_EQ(f.luma_height, 16u);
    f.Decode(w.Finish(), 0, 0);
    ExpectLuma(f);
    ExpectChroma(f, true);
    EXPECT_EQ(f.marks[0], 1);
    EXPECT_EQ(f.marks[1], 1);
    for (size_t i = 2; i < f.marks.size(); ++i) EXPECT_EQ(f.marks[i], 0);
}

TEST(Frame, OlderVersionsStartChromaAtTheEndOfLuma) {
    FrameBuffers f(kW, kH);
    f.Decode(BuildPacket(Parts(true)), kFlagVersionH, 0);
    ExpectLuma(f);
    ExpectChroma(f, true);
}

TEST(Frame, ChromaMarksOneMacroblockPerBlock) {
    PacketParts p = Parts(false);
    {
        PlaneBuilder b(24, 16, false);
        for (int i = 0; i < 3; ++i) b.Skip();
        b.NextRow();
        for (int i = 0; i < 3; ++i) b.Skip();
        p.luma = b.Bytes();
    }
    PlaneBuilder c(16, 8, false);
    c.Skip();
    c.Fill(1);
    p.chroma1 = c.Bytes();
    PlaneBuilder d(16, 8, false);
    d.Skip();
    d.Skip();
    p.chroma2 = d.Bytes();
    FrameBuffers f(kW, kH);
    f.Decode(BuildPacket(p), 0, 0);
    EXPECT_EQ(f.marks[0], 0);
    EXPECT_EQ(f.marks[1], 1);
}

TEST(Frame, AlphaSectionSkippedByItsLengthOrDecoded) {
    for (bool decode_alpha : {false, true}) {
        PacketParts p = Parts(false);
        p.has_alpha = true;
        p.alpha = Fills(24, 16, {1, 2, 3, 4, 5, 6}, false);
        if (!decode_alpha) p.alpha.assign(20, 0xFF);  // not a plane: must be skipped unread
        FrameBuffers f(kW, kH);
        f.Decode(BuildPacket(p), decode_alpha ? kFlagAlpha : 0, kVideoFlagAlpha);
        ExpectLuma(f);
        ExpectChroma(f, true);
        EXPECT_EQ(f.dest_alpha[0], decode_alpha ? 1 : 0xEE);
        EXPECT_EQ(f.dest_alpha[15 * 32 + 23], decode_alpha ? 6 : 0xEE);
        EXPECT_EQ(f.dest_alpha[15 * 32 + 24], 0xEE);
    }
}

TEST(Frame, GreyScaleLeavesChromaUntouched) {
    for (bool older : {false, true}) {
        FrameBuffers f(kW, kH);
        f.Decode(BuildPacket(Parts(older)), kVideoFlagGreyScale | (older ? kFlagVersionH : 0), 0);
        ExpectLuma(f);  // for the latest version the offset word was skipped
        ExpectChroma(f, false);
    }
}

TEST(Frame, PlanesEndOnWordBoundaries) {
    // A plane's end is the word after the last one its reader loaded.
    for (int extra : {0, 1, 31, 32, 33}) {
        PlaneFixture p(16, 8);
        PlaneBuilder b(16, 8, false);
        b.Fill(1);
        b.Fill(2);
        for (int i = 0; i < extra; ++i) b.Field(1, 1);  // read by nobody: trailing padding
        const size_t end = p.Decode(b);
        const size_t without = [&] {
            PlaneBuilder a(16, 8, false);
            a.Fill(1);
            a.Fill(2);
            return a.Bytes().size();
        }();
        EXPECT_EQ(end, without) << extra;
        EXPECT_EQ(end % 4, 0u);
    }
    // The next plane starts at that word even when the last word was only partly used.
    FrameBuffers f(kW, kH);
    PacketParts p = Parts(true);
    f.Decode(BuildPacket(p), kFlagVersionH, 0);
    ExpectChroma(f, true);
}

TEST(Frame, InPlaceDecodingWhenEveryFrameIsKey) {
    FrameBuffers f(kW, kH);
    auto packet = BuildPacket(Parts(false));
    DecodeVideoFrame(f.dest.data(), f.dest.data(), nullptr, nullptr, f.marks.data(), kW, kH, 32, 16,
                     packet.data(), static_cast<uint32_t>(packet.size()), 1, f.bundles, 0, 0);
    ExpectLuma(f);
    ExpectChroma(f, true);
}

TEST(Frame, BrokenLayoutsDecodeNothingOutsideThePacket) {
    {
        FrameBuffers f(kW, kH);  // alpha length past the packet: nothing after it is decoded
        PacketParts p = Parts(false);
        p.has_alpha = true;
        auto packet = BuildPacket(p);
        packet[0] = 0xFF;
        packet[1] = 0xFF;
        f.Decode(packet, 0, kVideoFlagAlpha);
        EXPECT_EQ(f.Luma()[0], 0xEE);
        ExpectChroma(f, false);
    }
    {
        FrameBuffers f(kW, kH);  // chroma offset past the packet: luma only
        auto packet = BuildPacket(Parts(false));
        packet[2] = 0x7F;
        f.Decode(packet, 0, 0);
        ExpectLuma(f);
        ExpectChroma(f, false);
    }
    {
        FrameBuffers f(kW, kH);  // buffers too small for the source size: nothing decoded
        auto packet = BuildPacket(Parts(false));
        DecodeVideoFrame(f.dest.data(), f.prev.data(), nullptr, nullptr, f.marks.data(), 40, kH, 32, 16,
                         packet.data(), static_cast<uint32_t>(packet.size()), 0, f.bundles, 0, 0);
        EXPECT_EQ(f.Luma()[0], 0xEE);
    }
    {
        FrameBuffers f(kW, kH);  // a packet cut short decodes what it has; the rest reads as zero bits
        auto packet = BuildPacket(Parts(true));
        f.Decode(std::vector<uint8_t>(packet.begin(), packet.begin() + 12), kFlagVersionH, 0);
        EXPECT_EQ(f.Chroma(0)[0], 0xEE);
    }
}

}  // namespace
}  // namespace zarn

namespace zarn {
namespace {

using namespace zarn::test;

// Random planes of every block type are read to their last bit: the decoder
// and the test-side writer agree on every field of every block type.
TEST(Frame, RandomPlanesAreReadToTheirEnd) {
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        for (PlaneMix mix : {PlaneMix::kIntra, PlaneMix::kInter, PlaneMix::kMixed}) {
            PlaneFixture p(64, 48);
            PlaneBuilder b = MakePlane(64, 48, mix, seed, seed % 2 == 0);
            const size_t end = p.Decode(b, seed % 2 == 0 ? kFlagVersionH : 0);
            ASSERT_EQ(end, p.packet.size()) << seed;
            if (mix == PlaneMix::kIntra) {
                for (int m = 0; m < 12; ++m) ASSERT_EQ(p.marks[m], 1) << seed;
            }
        }
    }
}

}  // namespace
}  // namespace zarn
