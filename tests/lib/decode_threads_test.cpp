// Decoding on two threads (zarn_set_threads, zarn_video_decoder_set_threads)
// gives every frame's planes and status as one thread does: on the sample,
// on clips of every kind, and on files with damaged packets. Labelled
// "threads" (ThreadSanitizer runs it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/lib/lib_test_clips.h"

namespace zarn {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

struct Decoded {
    std::vector<zarn_status> statuses;  // of every zarn_decode_frame, the last one included
    std::vector<std::vector<uint8_t>> frames;
};

// Decodes the whole movie on `threads`; with `switch_at`, goes back to one
// thread at that frame and to `threads` again at the next.
Decoded DecodeAll(const std::vector<uint8_t>& image, uint32_t threads, uint32_t flags,
                  uint32_t switch_at = 0) {
    Decoded r;
    zarn_movie* m = nullptr;
    EXPECT_EQ(zarn_open_memory(image.data(), image.size(), flags, &m), ZARN_OK);
    if (!m) return r;
    EXPECT_EQ(zarn_set_threads(m, threads), ZARN_OK);
    for (uint32_t f = 0;; ++f) {
        if (switch_at && (f == switch_at || f == switch_at + 1)) {
            EXPECT_EQ(zarn_set_threads(m, f == switch_at ? 1 : threads), ZARN_OK);
        }
        const zarn_status s = zarn_decode_frame(m);
        r.statuses.push_back(s);
        if (s != ZARN_OK && s != ZARN_ERROR_CORRUPT_FRAME) break;
        r.frames.push_back(test::PlaneBytes(m));
    }
    zarn_close(m);
    return r;
}

std::vector<uint8_t> Sample() {
    const char* dir = std::getenv("ZARN_SAMPLES");
    std::ifstream in(std::string(dir ? dir : "samples") + "/demo.zrn", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DecodeThreads, SampleAndClipsDecodeAsOnOneThread) {
    const std::vector<uint8_t> sample = Sample();
    ASSERT_FALSE(sample.empty());
    const Decoded one = DecodeAll(sample, 1, 0), two = DecodeAll(sample, 2, 0, 5);
    ASSERT_GT(one.frames.size(), 5u);
    EXPECT_EQ(one.statuses, two.statuses);
    EXPECT_TRUE(one.frames == two.frames);

    // Older versions have no chroma start in their packets: one thread decodes them.
    for (char version : {'i', 'h'})
        for (Clip clip : {Clip::kPanZoom, Clip::kNoise, Clip::kSceneCut})
            for (uint32_t flags : {0u, unsigned{ZARN_OPEN_GREY}}) {
                SCOPED_TRACE(testing::Message()
                             << version << " clip " << static_cast<int>(clip) << " flags " << flags);
                const auto image = test::EncodeLibClip(clip, 157, 93, 12, version, 4);
                const Decoded a = DecodeAll(image, 1, flags), b = DecodeAll(image, 2, flags);
                ASSERT_EQ(a.frames.size(), 12u);
                EXPECT_EQ(a.statuses, b.statuses);
                EXPECT_TRUE(a.frames == b.frames);
            }

    zarn_movie* m = nullptr;
    ASSERT_EQ(zarn_open_memory(sample.data(), sample.size(), 0, &m), ZARN_OK);
    EXPECT_EQ(zarn_set_threads(nullptr, 2), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_set_threads(m, 0), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_set_threads(m, 8), ZARN_OK);  // taken as 2
    zarn_close(m);
}

TEST(DecodeThreads, DamagedPacketsDecodeAsOnOneThread) {
    const std::vector<uint8_t> image = test::EncodeLibClip(Clip::kSceneCut, 157, 93, 12, 'i', 4);
    zarn_header h{};
    ASSERT_EQ(zarn_parse_header(image.data(), image.size(), &h), ZARN_OK);
    ASSERT_EQ(h.audio_tracks, 0u);
    const uint8_t* index = image.data() + ZARN_HEADER_BYTES;
    const uint32_t first = Le32(index) & ~1u;
    std::mt19937 rng(5);
    int corrupt = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        // Bits flipped in the packets only: the file still opens, frames break.
        std::vector<uint8_t> damaged = image;
        for (int k = 0, n = 1 + static_cast<int>(rng() % 8); k < n; ++k)
            damaged[first + rng() % (damaged.size() - first)] ^= static_cast<uint8_t>(1u << (rng() % 8));
        const Decoded a = DecodeAll(damaged, 1, 0), b = DecodeAll(damaged, 2, 0);
        EXPECT_EQ(a.statuses, b.statuses);
        EXPECT_TRUE(a.frames == b.frames);
        for (zarn_status s : a.statuses) corrupt += s == ZARN_ERROR_CORRUPT_FRAME;

        // The packet-level decoder, on one thread and on two.
        zarn_video_decoder* d[2] = {};
        ASSERT_EQ(zarn_video_decoder_create(&h, 0, &d[0]), ZARN_OK);
        ASSERT_EQ(zarn_video_decoder_create(&h, 0, &d[1]), ZARN_OK);
        ASSERT_EQ(zarn_video_decoder_set_threads(d[1], 2), ZARN_OK);
        for (uint32_t f = 0; f < h.frame_count; ++f) {
            const uint32_t begin = Le32(index + 4 * f) & ~1u, end = Le32(index + 4 * f + 4) & ~1u;
            zarn_status status[2];
            std::vector<uint8_t> planes[2];
            for (int i = 0; i < 2; ++i) {
                status[i] = zarn_video_decoder_decode(d[i], damaged.data() + begin, end - begin,
                                                      Le32(index + 4 * f) & 1);
                zarn_planes p;
                ASSERT_EQ(zarn_video_decoder_get_planes(d[i], &p), ZARN_OK);
                planes[i] = test::PlaneBytes(p);
            }
            EXPECT_EQ(status[0], status[1]) << "frame " << f;
            EXPECT_TRUE(planes[0] == planes[1]) << "frame " << f;
        }
        EXPECT_EQ(zarn_video_decoder_set_threads(d[1], 0), ZARN_ERROR_BAD_ARGUMENT);
        zarn_video_decoder_free(d[0]);
        zarn_video_decoder_free(d[1]);
    }
    EXPECT_GT(corrupt, 5);
}

}  // namespace
}  // namespace zarn
