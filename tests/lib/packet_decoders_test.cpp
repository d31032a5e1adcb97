// The packet-level interface: a caller that walks the container itself gets
// the same pictures and sound as the movie handle, and a status for damage.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/lib/lib_test_clips.h"
#include "zarn/zarn.h"

namespace zarn {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

std::vector<uint8_t> Planes(const zarn_planes& p) {
    std::vector<uint8_t> out;
    auto add = [&](const uint8_t* rows, int32_t stride, uint32_t w, uint32_t h) {
        for (uint32_t r = 0; r < h; ++r)
            out.insert(out.end(), rows + size_t{r} * stride, rows + size_t{r} * stride + w);
    };
    add(p.y, p.y_stride, p.width, p.height);
    add(p.u, p.uv_stride, p.chroma_width, p.chroma_height);
    add(p.v, p.uv_stride, p.chroma_width, p.chroma_height);
    return out;
}

TEST(PacketDecoders, SameFramesAndSoundAsTheMovieForEveryVersion) {
    for (char version : {'f', 'g', 'h', 'i'}) {
        SCOPED_TRACE(version);
        const std::vector<uint8_t> image =
            test::EncodeLibClip(Clip::kSceneCut, 157, 93, 12, version, 4, {MakeChord(22050, 2, 1.0)});
        zarn_header h{};
        ASSERT_EQ(zarn_parse_header(image.data(), image.size(), &h), ZARN_OK);
        EXPECT_EQ(h.version, version);
        EXPECT_EQ(h.width, 157u);
        EXPECT_EQ(h.frame_count, 12u);
        ASSERT_EQ(h.audio_tracks, 1u);
        const uint8_t* index = image.data() + ZARN_HEADER_BYTES + 12 * h.audio_tracks;
        const uint32_t format = Le32(image.data() + ZARN_HEADER_BYTES + 4);

        zarn_movie* movie = nullptr;
        ASSERT_EQ(zarn_open_memory(image.data(), image.size(), 0, &movie), ZARN_OK);
        ASSERT_EQ(zarn_select_audio_track(movie, 0), ZARN_OK);
        zarn_video_decoder* video = nullptr;
        zarn_audio_decoder* audio = nullptr;
        ASSERT_EQ(zarn_video_decoder_create(&h, 0, &video), ZARN_OK);
        ASSERT_EQ(zarn_audio_decoder_create(format & 0xFFFF, 2, &audio), ZARN_OK);
        std::vector<int16_t> ours, theirs;
        for (uint32_t f = 0; f < h.frame_count; ++f) {
            const uint32_t begin = Le32(index + 4 * f) & ~1u, end = Le32(index + 4 * f + 4) & ~1u;
            const uint8_t* packet = image.data() + begin;
            const uint8_t* chunk = nullptr;
            size_t size = 0, video_offset = 0;
            ASSERT_EQ(zarn_packet_audio(packet, end - begin, 1, 0, &chunk, &size, &video_offset), ZARN_OK);
            std::vector<int16_t> pcm(zarn_audio_packet_samples(chunk, size));
            size_t count = 0;
            EXPECT_EQ(zarn_audio_decoder_decode(audio, chunk, size, pcm.data(), pcm.size(), &count), ZARN_OK);
            ours.insert(ours.end(), pcm.begin(), pcm.begin() + count);
            EXPECT_EQ(zarn_video_decoder_decode(video, packet + video_offset, end - begin - video_offset,
                                                Le32(index + 4 * f) & 1),
                      ZARN_OK);

            ASSERT_EQ(zarn_decode_frame(movie), ZARN_OK);
            zarn_planes mine, movies;
            ASSERT_EQ(zarn_video_decoder_get_planes(video, &mine), ZARN_OK);
            ASSERT_EQ(zarn_get_planes(movie, &movies), ZARN_OK);
            EXPECT_EQ(Planes(mine), Planes(movies)) << "frame " << f;
            int16_t buffer[8192];
            size_t got = 0;
            while (zarn_read_audio(movie, buffer, 8192, &got) == ZARN_OK && got > 0)
                theirs.insert(theirs.end(), buffer, buffer + got);
        }
        EXPECT_FALSE(ours.empty());
        EXPECT_EQ(ours, theirs);

        // Damage: lengths past the packet, a chunk shorter than it says, no room.
        const uint8_t* packet = image.data() + (Le32(index) & ~1u);
        const uint8_t* chunk = nullptr;
        size_t size = 0;
        EXPECT_EQ(zarn_packet_audio(packet, 3, 1, 0, &chunk, &size, nullptr), ZARN_ERROR_CORRUPT_FRAME);
        EXPECT_EQ(zarn_packet_audio(packet, Le32(packet) + 3, 1, 0, &chunk, &size, nullptr),
                  ZARN_ERROR_CORRUPT_FRAME);
        ASSERT_EQ(zarn_packet_audio(packet, Le32(packet) + 4, 1, 0, &chunk, &size, nullptr), ZARN_OK);
        std::vector<int16_t> pcm(zarn_audio_packet_samples(chunk, size));
        size_t count = 0;
        ASSERT_EQ(zarn_audio_decoder_reset(audio), ZARN_OK);
        EXPECT_EQ(zarn_audio_decoder_decode(audio, chunk, size / 2, pcm.data(), pcm.size(), &count),
                  ZARN_ERROR_CORRUPT_FRAME);
        EXPECT_EQ(zarn_audio_decoder_decode(audio, chunk, size, pcm.data(), 1, &count),
                  ZARN_ERROR_BAD_ARGUMENT);
        zarn_video_decoder_reset(video);
        zarn_planes p;
        EXPECT_EQ(zarn_video_decoder_get_planes(video, &p), ZARN_ERROR_NO_FRAME);
        zarn_video_decoder_free(video);
        zarn_audio_decoder_free(audio);
        zarn_close(movie);
    }
    std::vector<uint8_t> bad(ZARN_HEADER_BYTES, 0);
    zarn_header h{};
    EXPECT_EQ(zarn_parse_header(bad.data(), bad.size(), &h), ZARN_ERROR_NOT_ZARN);
    std::memcpy(bad.data(), "ZRNi", 4);
    EXPECT_EQ(zarn_parse_header(bad.data(), bad.size(), &h), ZARN_ERROR_NO_FRAMES);
    bad[8] = 1;
    EXPECT_EQ(zarn_parse_header(bad.data(), bad.size(), &h), ZARN_ERROR_CORRUPT_FILE);
}

}  // namespace
}  // namespace zarn
