// Two movies, each on its own handle, decoded and copied in two threads at
// once must give what each gives alone (and, under ThreadSanitizer, share
// nothing unguarded): copy formats 9 and 10, then 3 and 13.
#include <gtest/gtest.h>

#include <thread>

#include "tests/lib/lib_test_clips.h"

namespace zarn {
namespace {

struct Job {
    const std::vector<uint8_t>* image;
    uint32_t open_flags;
    zarn_format format;
};

// Every frame of the movie copied (changed blocks only) into one buffer,
// the buffer kept after each frame.
std::vector<std::vector<uint8_t>> CopyAll(const Job& job) {
    std::vector<std::vector<uint8_t>> out;
    zarn_movie* m = nullptr;
    if (zarn_open_memory(job.image->data(), job.image->size(), job.open_flags, &m) != ZARN_OK) return out;
    int32_t pitch = 0;
    std::vector<uint8_t> buffer(zarn_frame_bytes(m, job.format, &pitch));
    while (zarn_decode_frame(m) == ZARN_OK) {
        if (zarn_copy_frame(m, job.format, buffer.data(), pitch, ZARN_COPY_CHANGED_ONLY) != ZARN_OK) break;
        out.push_back(buffer);
    }
    zarn_close(m);
    return out;
}

TEST(TwoMovies, CopyInTwoThreadsAsTheyDoAlone) {
    const std::vector<uint8_t> a = test::EncodeLibClip(Clip::kPanZoom, 96, 64, 12, 'i');
    const std::vector<uint8_t> b = test::EncodeLibClip(Clip::kGradients, 80, 48, 12, 'g');
    // Display options 1 and 4 double rows: the copies use the scratch lines.
    const std::pair<zarn_format, zarn_format> rounds[] = {{ZARN_FORMAT_RGB555, ZARN_FORMAT_RGB565},
                                                          {ZARN_FORMAT_BGRX32, ZARN_FORMAT_YUY2}};
    for (const auto& [fa, fb] : rounds) {
        const Job ja{&a, ZARN_OPEN_DISPLAY_OPTION(1), fa}, jb{&b, ZARN_OPEN_DISPLAY_OPTION(4), fb};
        const auto alone_a = CopyAll(ja), alone_b = CopyAll(jb);
        ASSERT_EQ(alone_a.size(), 12u);
        ASSERT_EQ(alone_b.size(), 12u);
        std::vector<std::vector<uint8_t>> together_a, together_b;
        std::thread ta([&] { together_a = CopyAll(ja); });
        std::thread tb([&] { together_b = CopyAll(jb); });
        ta.join();
        tb.join();
        EXPECT_EQ(together_a, alone_a) << "format " << fa;
        EXPECT_EQ(together_b, alone_b) << "format " << fb;
    }
}

}  // namespace
}  // namespace zarn
