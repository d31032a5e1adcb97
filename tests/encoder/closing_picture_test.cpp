// The closing picture compiled into the program, and sound-file reading.
#include <gtest/gtest.h>

#include <sndfile.h>

#include "encoder/closing_picture.h"
#include "encoder/container_writer.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "encoder/wav_reader.h"
#include "tests/support/temp_file.h"
#include "video/decode_video_frame.h"

namespace zarn {
namespace {

TEST(ClosingPicture, IsAOneFrameKeyFrameFileThatDecodesToTheDrawnPicture) {
    const std::vector<uint8_t> image(kClosingPicture, kClosingPicture + kClosingPictureSize);
    ASSERT_GT(image.size(), 60u);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "ZRNi");
    EXPECT_EQ(GetU32(image, header_offset::kSizeField), image.size() - 8);
    EXPECT_EQ(GetU32(image, header_offset::kFrameCount), 1u);
    EXPECT_EQ(GetU32(image, header_offset::kWidth), 224u);
    EXPECT_EQ(GetU32(image, header_offset::kHeight), 252u);
    EXPECT_EQ(GetU32(image, header_offset::kRateNum), 10u);
    EXPECT_EQ(GetU32(image, header_offset::kRateDen), 1u);
    EXPECT_EQ(GetU32(image, header_offset::kVideoFlags), 0u);
    EXPECT_EQ(GetU32(image, header_offset::kAudioTracks), 0u);
    EXPECT_EQ(GetU32(image, FrameIndexOffset(0)), 52u | 1u);  // frame 0 at byte 52, key frame
    EXPECT_EQ(GetU32(image, FrameIndexOffset(0) + 4), image.size());

    // Decoded in place (a file of key frames only shares one buffer).
    const uint32_t lw = 224, lh = 256;
    std::vector<uint8_t> frame(lw * lh * 3 / 2, 0), marks(lw / 16 * lh / 16 + 16);
    std::vector<uint8_t> bundles(9 * ((512 + lw / 8 * 64) * 2 + 64));
    uint8_t* buffers[9];
    for (int i = 0; i < 9; ++i) buffers[i] = bundles.data() + i * (bundles.size() / 9);
    DecodeVideoFrame(frame.data(), frame.data(), nullptr, nullptr, marks.data(), 224, 252, lw, lh,
                     image.data() + 52, static_cast<uint32_t>(image.size() - 52), 1, buffers, 0, 0);
    const YuvPicture drawn = MakeClosingPicture();
    EXPECT_GT(PlanePsnr(drawn.y.data(), 224, frame.data(), lw, 224, 252), 40.0);
    EXPECT_GT(PlanePsnr(drawn.u.data(), 112, frame.data() + lw * lh + lw / 2 * lh / 2, lw / 2, 112, 126),
              40.0);
    EXPECT_GT(PlanePsnr(drawn.v.data(), 112, frame.data() + lw * lh, lw / 2, 112, 126), 40.0);
}

TEST(WavReader, ReadsSixteenBitAndConvertsOtherSampleFormats) {
    const PcmTrack stereo = MakeChord(22050, 2, 0.05);
    test::TempFile a({}, ".wav");
    ASSERT_TRUE(WriteWavFile(a.Path(), stereo));
    PcmTrack back;
    std::string error;
    ASSERT_TRUE(ReadWavFile(a.Path(), back, error)) << error;
    EXPECT_EQ(back.rate, 22050u);
    EXPECT_EQ(back.channels, 2u);
    EXPECT_EQ(back.samples, stereo.samples);

    // An 8-bit unsigned file comes back as 16-bit values.
    test::TempFile b({}, ".wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    SNDFILE* f = sf_open(b.Path().c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const short values[4] = {0, 16384, -16384, 32767};
    ASSERT_EQ(sf_writef_short(f, values, 4), 4);
    sf_close(f);
    ASSERT_TRUE(ReadWavFile(b.Path(), back, error)) << error;
    ASSERT_EQ(back.samples.size(), 4u);
    EXPECT_EQ(back.samples[0], 0);
    EXPECT_EQ(back.samples[1], 16384);
    EXPECT_EQ(back.samples[2], -16384);
    EXPECT_GT(back.samples[3], 32000);
}

}  // namespace
}  // namespace zarn
