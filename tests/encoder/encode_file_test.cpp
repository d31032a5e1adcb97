// Whole files from EncodeMovie: container layout, every version letter, odd
// sizes, alpha and grey-scale; each frame decoded from the file must equal
// the encoder's reconstruction byte for byte.
#include <gtest/gtest.h>

#include "encoder/container_writer.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "video/decode_video_frame.h"

namespace zarn {
namespace {

PictureSource ClipSource(Clip clip, uint32_t w, uint32_t h, uint32_t frames, uint32_t& next) {
    PictureSource s;
    s.width = w;
    s.height = h;
    s.rate_num = 25;
    s.rate_den = 1;
    s.next = [clip, w, h, frames, &next](YuvPicture& p, std::string&) {
        if (next >= frames) return 0;
        p = MakeClipFrame(clip, w, h, next++);
        return 1;
    };
    return s;
}

// Decodes every frame of an image as a player would (two buffers taking
// turns) and returns the hash of each decoded picture.
std::vector<uint64_t> DecodeAll(const std::vector<uint8_t>& image, bool decode_alpha) {
    const char version = static_cast<char>(image[3]);
    const uint32_t frames = GetU32(image, header_offset::kFrameCount);
    const uint32_t w = GetU32(image, header_offset::kWidth), h = GetU32(image, header_offset::kHeight);
    const uint32_t video_flags = GetU32(image, header_offset::kVideoFlags);
    const uint32_t tracks = GetU32(image, header_offset::kAudioTracks);
    const uint32_t cw = ((w + 1) / 2 + 7) & ~7u, ch = ((h + 1) / 2 + 7) & ~7u;
    const uint32_t lw = 2 * cw, lh = 2 * ch;
    uint32_t flags = video_flags & (kVideoFlagGreyScale | (decode_alpha ? kFlagAlpha : 0u));
    if (version == 'f' || version == 'g') flags |= 0x18000;
    if (version == 'h') flags |= 0x8000;
    std::vector<uint8_t> buf[2], alpha[2];
    for (int i = 0; i < 2; ++i) {
        buf[i].assign(size_t{lw} * lh * 3 / 2, 0);
        alpha[i].assign(size_t{lw} * lh, 0);
    }
    std::vector<uint8_t> marks(size_t{lw / 16} * (lh / 16) + 16);
    std::vector<uint8_t> bundles(9 * ((512 + size_t{lw} / 8 * 64) * 2 + 64));
    uint8_t* buffers[9];
    for (int i = 0; i < 9; ++i) buffers[i] = bundles.data() + i * (bundles.size() / 9);
    const size_t index = FrameIndexOffset(tracks);
    std::vector<uint64_t> hashes;
    int cur = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        const uint32_t entry = GetU32(image, index + 4 * f);
        const uint32_t start = entry & ~1u, end = GetU32(image, index + 4 * (f + 1)) & ~1u;
        size_t pos = start;
        for (uint32_t t = 0; t < tracks; ++t) pos += 4 + GetU32(image, pos);
        const int next = cur ^ 1;
        DecodeVideoFrame(buf[next].data(), buf[cur].data(), alpha[next].data(), alpha[cur].data(),
                         marks.data(), w, h, lw, lh, image.data() + pos, static_cast<uint32_t>(end - pos),
                         entry & 1u, buffers, flags, video_flags);
        cur = next;
        hashes.push_back(HashFramePlanes(buf[cur].data(), decode_alpha ? alpha[cur].data() : nullptr, w, h,
                                         (video_flags & kVideoFlagGreyScale) != 0));
    }
    return hashes;
}

void ExpectRoundTrip(const EncodeResult& r, bool alpha) {
    ASSERT_TRUE(r.error.empty()) << r.error;
    const std::vector<uint64_t> hashes = DecodeAll(r.image, alpha);
    ASSERT_EQ(hashes.size(), r.frames.size());
    for (size_t i = 0; i < hashes.size(); ++i)
        EXPECT_EQ(hashes[i], r.frames[i].picture_hash) << "frame " << i;
}

TEST(EncodeFile, EveryVersionAndOddSizesRoundTrip) {
    struct Size {
        uint32_t w, h;
    } sizes[] = {{37, 29}, {8, 8}, {130, 66}};
    for (char version : {'f', 'g', 'h', 'i'})
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::string(1, version) + " " + std::to_string(s.w) + "x" + std::to_string(s.h));
            uint32_t next = 0;
            PictureSource src = ClipSource(Clip::kPanZoom, s.w, s.h, 4, next);
            EncodeSettings settings;
            settings.version = version;
            settings.keyint = 3;
            settings.measure = true;
            EncodeResult r = EncodeMovie(src, nullptr, {}, settings);
            ExpectRoundTrip(r, false);
            ASSERT_FALSE(r.image.empty());
            EXPECT_EQ(std::string(r.image.begin(), r.image.begin() + 4), std::string("ZRN") + version);
            EXPECT_EQ(GetU32(r.image, header_offset::kSizeField), r.image.size() - 8);
            EXPECT_EQ(GetU32(r.image, header_offset::kWidth), s.w);
            EXPECT_EQ(GetU32(r.image, header_offset::kHeight), s.h);
            // Key frames: the first, then every third frame at most.
            const size_t index = FrameIndexOffset(0);
            EXPECT_EQ(GetU32(r.image, index) & 1u, 1u);
            EXPECT_EQ(GetU32(r.image, index + 12) & 1u, 1u);
            EXPECT_EQ(GetU32(r.image, index + 16), r.image.size());
            for (const FrameReport& f : r.frames) EXPECT_GT(f.psnr[0], 30.0);
        }
}

TEST(EncodeFile, AlphaPlaneAndGreyScaleRoundTrip) {
    uint32_t next = 0, next_alpha = 0;
    PictureSource src = ClipSource(Clip::kSceneCut, 40, 24, 18, next);
    PictureSource alpha = ClipSource(Clip::kScrollingText, 40, 24, 18, next_alpha);
    EncodeSettings settings;
    settings.measure = true;
    EncodeResult r = EncodeMovie(src, &alpha, {}, settings);
    ExpectRoundTrip(r, true);
    EXPECT_EQ(GetU32(r.image, header_offset::kVideoFlags), kVideoFlagAlpha);
    // The scene cut at frame 15 starts a key frame.
    EXPECT_TRUE(r.frames[15].key);
    EXPECT_FALSE(r.frames[14].key);

    next = 0;
    settings.grey = true;
    settings.version = 'h';
    PictureSource grey_src = ClipSource(Clip::kGradients, 24, 20, 3, next);
    EncodeResult g = EncodeMovie(grey_src, nullptr, {}, settings);
    ExpectRoundTrip(g, false);
    EXPECT_EQ(GetU32(g.image, header_offset::kVideoFlags), kVideoFlagGreyScale);
}

TEST(EncodeFile, QualitySettingsOrderSizeAndFidelity) {
    double psnr[2];
    size_t bytes[2];
    int k = 0;
    for (unsigned q : {20u, 90u}) {
        uint32_t next = 0;
        PictureSource src = ClipSource(Clip::kPanZoom, 64, 48, 3, next);
        EncodeSettings settings;
        settings.quality = q;
        settings.measure = true;
        EncodeResult r = EncodeMovie(src, nullptr, {}, settings);
        ExpectRoundTrip(r, false);
        psnr[k] = r.frames[0].psnr[0];
        bytes[k++] = r.image.size();
    }
    EXPECT_LT(psnr[0], psnr[1]);
    EXPECT_LT(bytes[0], bytes[1]);
}

TEST(EncodeFile, TracksTablesAndPacketsFollowTheVideo) {
    uint32_t next = 0;
    PictureSource src = ClipSource(Clip::kGradients, 16, 16, 10, next);
    std::vector<PcmTrack> tracks = {MakeChord(11025, 1, 0.3), MakeSineSweep(44100, 2, 0.2)};
    EncodeResult r = EncodeMovie(src, nullptr, tracks, EncodeSettings{});
    ASSERT_TRUE(r.error.empty());
    ASSERT_EQ(GetU32(r.image, header_offset::kAudioTracks), 2u);
    const size_t tables = kHeaderBytes;
    EXPECT_GE(GetU32(r.image, tables), 11025u * 2);
    EXPECT_EQ(GetU32(r.image, tables + 8), 11025u | kTrackFormatAudio | kTrackFormatSixteenBit);
    EXPECT_EQ(GetU32(r.image, tables + 12),
              44100u | kTrackFormatAudio | kTrackFormatSixteenBit | kTrackFormatStereo);
    EXPECT_EQ(GetU32(r.image, tables + 16), 0u);
    EXPECT_EQ(GetU32(r.image, tables + 20), 1u);
    // Sum of each track's decoded-byte counts is the input's length.
    uint64_t decoded[2] = {};
    const size_t index = FrameIndexOffset(2);
    for (uint32_t f = 0; f < 10; ++f) {
        size_t pos = GetU32(r.image, index + 4 * f) & ~1u;
        for (int t = 0; t < 2; ++t) {
            const uint32_t len = GetU32(r.image, pos);
            if (len) decoded[t] += GetU32(r.image, pos + 4);
            pos += 4 + len;
        }
    }
    EXPECT_EQ(decoded[0], tracks[0].samples.size() * 2);
    EXPECT_EQ(decoded[1], tracks[1].samples.size() * 2);
}

}  // namespace
}  // namespace zarn
