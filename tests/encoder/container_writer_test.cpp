#include "encoder/container_writer.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(ContainerWriter, LaysOutHeaderTracksIndexAndPackets) {
    ContainerSpec spec;
    spec.version = 'h';
    spec.width = 320;
    spec.height = 240;
    spec.rate_num = 30000;
    spec.rate_den = 1001;
    spec.tracks = {{4096, 22050 | kTrackFormatSixteenBit | kTrackFormatAudio, 7}};
    ContainerWriter w(spec);
    FramePacket f0;
    f0.audio = {{true, 100, {1, 2, 3, 4}}};
    f0.video = {9, 9, 9, 9, 9, 9, 9, 9};
    w.AddFrame(f0);
    FramePacket f1;
    f1.key = false;
    f1.video = {8, 8, 8, 8};
    w.AddFrame(f1);

    std::vector<uint8_t> img = w.Build();
    EXPECT_EQ(std::string(img.begin(), img.begin() + 4), "ZRNh");
    EXPECT_EQ(GetU32(img, header_offset::kSizeField), img.size() - 8);
    EXPECT_EQ(GetU32(img, header_offset::kFrameCount), 2u);
    EXPECT_EQ(GetU32(img, header_offset::kIndexCount), 2u);
    EXPECT_EQ(GetU32(img, header_offset::kAudioTracks), 1u);
    EXPECT_EQ(GetU32(img, 44), 4096u);
    EXPECT_EQ(GetU32(img, 52), 7u);
    // First packet: length 8 (count + 4 bytes), count 100, data, then video.
    const size_t first = FrameIndexOffset(1) + 12;
    EXPECT_EQ(GetU32(img, FrameIndexOffset(1)), first | 1u);
    EXPECT_EQ(GetU32(img, first), 8u);
    EXPECT_EQ(GetU32(img, first + 4), 100u);
    const size_t first_size = 4 + 8 + 8;
    EXPECT_EQ(GetU32(img, header_offset::kLargestFrame), first_size);
    // Second packet: absent audio (length 0), not a key frame.
    EXPECT_EQ(GetU32(img, FrameIndexOffset(1) + 4), first + first_size);
    EXPECT_EQ(GetU32(img, first + first_size), 0u);
    EXPECT_EQ(GetU32(img, FrameIndexOffset(1) + 8), img.size());
}

}  // namespace
}  // namespace zarn
