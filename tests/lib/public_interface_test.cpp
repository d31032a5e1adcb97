// The public C interface against the `zarn` command and against itself:
// the example program, copies, sound and facts agree with `zarn decode`;
// every way of opening and every seek give the same frames; each status is
// reached by a file built for it.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "encoder/container_writer.h"
#include "tests/lib/lib_test_clips.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_movies.h"

namespace zarn {
namespace {

using test::DecodeRest;
using test::EncodeLibClip;
using test::PlaneBytes;
using test::RunProgram;
using test::TempFile;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(PublicInterface, AgreesWithTheZarnCommand) {
    // An odd size and an older version (U stored first); a stereo track;
    // a still picture changing in places, then a scene cut.
    TempFile in(EncodeLibClip(Clip::kSceneCut, 157, 93, 20, 'f', 0, {MakeChord(22050, 2, 1.0)}));
    TempFile y4m_tool({}, ".y4m"), y4m_example({}, ".y4m"), raw({}, ".raw"), wav({}, ".wav");
    const auto tool = RunProgram(ZARN_TOOL, {"decode", in.Path(), "--y4m", y4m_tool.Path(), "--wav",
                                             wav.Path(), "--raw", raw.Path(), "--copy-format", "3"});
    ASSERT_EQ(tool.exit_code, 0) << tool.err;
    const std::vector<uint8_t> expected_y4m = ReadAll(y4m_tool.Path());
    ASSERT_GT(expected_y4m.size(), 20u * 157 * 93);
    for (const char* program : {ZARN_TO_Y4M, ZARN_TO_Y4M_STATIC}) {
        const auto example = RunProgram(program, {in.Path(), y4m_example.Path()});
        ASSERT_EQ(example.exit_code, 0) << program << ": " << example.err;
        EXPECT_EQ(ReadAll(y4m_example.Path()), expected_y4m) << program;
    }

    zarn_movie* m = nullptr;
    ASSERT_EQ(zarn_open_file(in.Path().c_str(), 0, &m), ZARN_OK);
    zarn_info info;
    ASSERT_EQ(zarn_get_info(m, &info), ZARN_OK);
    EXPECT_EQ(info.version, 'f');
    EXPECT_EQ(info.width, 157u);
    EXPECT_EQ(info.height, 93u);
    EXPECT_EQ(info.frame_count, 20u);
    EXPECT_EQ(info.rate_num * 1u, 25u * info.rate_den);
    EXPECT_GE(info.key_frames, 1u);
    uint32_t keys = 0;
    for (uint32_t f = 0; f < info.frame_count; ++f) keys += zarn_is_key_frame(m, f) == 1;
    EXPECT_EQ(keys, info.key_frames);
    EXPECT_EQ(zarn_is_key_frame(m, 0), 1);
    EXPECT_EQ(zarn_is_key_frame(m, info.frame_count), -1);
    EXPECT_EQ(info.file_size, std::filesystem::file_size(in.Path()));
    ASSERT_EQ(info.audio_tracks, 1u);
    zarn_track_info t;
    ASSERT_EQ(zarn_get_track_info(m, 0, &t), ZARN_OK);
    EXPECT_EQ(t.rate, 22050u);
    EXPECT_EQ(t.channels, 2u);
    EXPECT_EQ(t.has_audio, 1);
    ASSERT_EQ(zarn_select_audio_track(m, 0), ZARN_OK);

    // Changed-only copies into one buffer must build the same frames as
    // the command's whole copies; a bottom-up buffer holds the last upside down.
    int32_t pitch = 0;
    const size_t bytes = zarn_frame_bytes(m, ZARN_FORMAT_BGRX32, &pitch);
    ASSERT_EQ(pitch, 157 * 4);
    std::vector<uint8_t> frame(bytes), flipped(bytes), frames, sound;
    uint32_t rects_seen = 0;
    zarn_status s;
    while ((s = zarn_decode_frame(m)) == ZARN_OK) {
        ASSERT_EQ(zarn_copy_frame(m, ZARN_FORMAT_BGRX32, frame.data(), pitch, ZARN_COPY_CHANGED_ONLY),
                  ZARN_OK);
        frames.insert(frames.end(), frame.begin(), frame.end());
        zarn_rect rects[ZARN_MAX_RECTS];
        const int32_t n = zarn_get_changed_rects(m, rects, 0);
        ASSERT_GE(n, 0);
        for (int32_t i = 0; i < n; ++i) {
            EXPECT_LE(rects[i].x + rects[i].w, 157);
            EXPECT_LE(rects[i].y + rects[i].h, 93);
        }
        rects_seen += n > 0;
        int16_t samples[4096];
        size_t got = 0;
        do {
            ASSERT_EQ(zarn_read_audio(m, samples, 4096, &got), ZARN_OK);
            const auto* p = reinterpret_cast<const uint8_t*>(samples);
            sound.insert(sound.end(), p, p + 2 * got);
        } while (got == 4096);
    }
    EXPECT_EQ(s, ZARN_END_OF_FILE);
    EXPECT_GT(rects_seen, 10u);
    ASSERT_EQ(zarn_copy_frame(m, ZARN_FORMAT_BGRX32, flipped.data(), -pitch, 0), ZARN_OK);
    for (uint32_t r = 0; r < 93; ++r)
        ASSERT_EQ(std::memcmp(&frame[r * size_t(pitch)], &flipped[(92 - r) * size_t(pitch)], pitch), 0);
    EXPECT_EQ(frames, ReadAll(raw.Path()));
    const std::vector<uint8_t> wav_bytes = ReadAll(wav.Path());
    ASSERT_GT(wav_bytes.size(), 44u);
    EXPECT_EQ(sound, std::vector<uint8_t>(wav_bytes.begin() + 44, wav_bytes.end()));
    zarn_summary summary;
    ASSERT_EQ(zarn_get_summary(m, &summary), ZARN_OK);
    EXPECT_EQ(summary.frames_played, 20u);
    EXPECT_EQ(summary.total_frames, 20u);
    zarn_close(m);
}

// Reads a byte vector through the callbacks.
struct MemoryStream {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
    static int64_t Read(void* user, void* out, size_t n) {
        auto* s = static_cast<MemoryStream*>(user);
        const size_t k = std::min(n, s->bytes->size() - s->pos);
        std::memcpy(out, s->bytes->data() + s->pos, k);
        s->pos += k;
        return static_cast<int64_t>(k);
    }
    static int Seek(void* user, uint64_t position) {
        auto* s = static_cast<MemoryStream*>(user);
        if (position > s->bytes->size()) return -1;
        s->pos = position;
        return 0;
    }
};

TEST(PublicInterface, EverySourceAndSeekGiveTheSameFrames) {
    const std::vector<uint8_t> image = EncodeLibClip(Clip::kSceneCut, 48, 32, 24, 'i', 5);
    TempFile file(image);
    zarn_movie* m = nullptr;
    ASSERT_EQ(zarn_open_file(file.Path().c_str(), 0, &m), ZARN_OK);
    const auto reference = DecodeRest(m);
    zarn_close(m);
    ASSERT_EQ(reference.size(), 24u);

    std::vector<uint8_t> padded(37 + image.size(), 0x5A);
    std::copy(image.begin(), image.end(), padded.begin() + 37);
    TempFile embedded(padded);
    const int fd = ::open(embedded.Path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(zarn_open_fd(fd, 37, 0, &m), ZARN_OK);
    EXPECT_EQ(DecodeRest(m), reference);
    zarn_close(m);
    ::close(fd);

    MemoryStream stream{&image};
    const zarn_io io{MemoryStream::Read, MemoryStream::Seek, &stream};
    ASSERT_EQ(zarn_open_io(&io, 0, &m), ZARN_OK);
    EXPECT_EQ(DecodeRest(m), reference);
    // Seeks backwards and forwards, onto key frames and between them.
    for (uint32_t target : {13u, 2u, 23u, 0u, 7u, 7u, 16u}) {
        ASSERT_EQ(zarn_seek(m, target), ZARN_OK);
        ASSERT_EQ(zarn_decode_frame(m), ZARN_OK);
        EXPECT_EQ(zarn_current_frame(m), target);
        EXPECT_EQ(PlaneBytes(m), reference[target]) << "frame " << target;
    }
    zarn_close(m);

    for (uint32_t flags : {ZARN_OPEN_PRELOAD, ZARN_OPEN_FACTS_ONLY}) {
        ASSERT_EQ(zarn_open_memory(image.data(), image.size(), flags, &m), ZARN_OK);
        EXPECT_EQ(DecodeRest(m), reference) << "open flags " << flags;
        EXPECT_EQ(zarn_decode_frame(m), ZARN_END_OF_FILE);
        zarn_close(m);
    }
}

zarn_status OpenImage(const std::vector<uint8_t>& image, zarn_movie** m) {
    return zarn_open_memory(image.data(), image.size(), 0, m);
}

TEST(PublicInterface, EachStatusComesFromAFileBuiltForIt) {
    std::set<std::string> texts;
    for (int s = -9; s <= 1; ++s) texts.insert(zarn_status_text(static_cast<zarn_status>(s)));
    EXPECT_EQ(texts.size(), 11u);

    zarn_movie* m = reinterpret_cast<zarn_movie*>(1);
    EXPECT_EQ(zarn_open_file("/nonexistent/dir/clip.zrn", 0, &m), ZARN_ERROR_OPEN);
    EXPECT_EQ(m, nullptr);
    EXPECT_STRNE(zarn_error_text(nullptr), "");
    EXPECT_EQ(OpenImage(std::vector<uint8_t>(64, 'x'), &m), ZARN_ERROR_NOT_ZARN);
    ContainerSpec empty;
    empty.width = 32;
    empty.height = 32;
    EXPECT_EQ(OpenImage(ContainerWriter(empty).Build(), &m), ZARN_ERROR_NO_FRAMES);
    const std::vector<uint8_t> good = EncodeLibClip(Clip::kNoise, 64, 48, 12, 'i');
    EXPECT_EQ(OpenImage(std::vector<uint8_t>(good.begin(), good.begin() + 50), &m), ZARN_ERROR_CORRUPT_FILE);
    EXPECT_EQ(zarn_open_memory(nullptr, 10, 0, &m), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(OpenImage(good, nullptr), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_open_file("x.zrn", 0x80000000u, &m), ZARN_ERROR_BAD_ARGUMENT);

    ASSERT_EQ(OpenImage(good, &m), ZARN_OK);
    std::vector<uint8_t> buffer(64 * 48 * 4);
    EXPECT_EQ(zarn_copy_frame(m, ZARN_FORMAT_RGBA32, buffer.data(), 256, 0), ZARN_ERROR_NO_FRAME);
    EXPECT_EQ(zarn_seek(m, 12), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_select_audio_track(m, 0), ZARN_ERROR_BAD_ARGUMENT);  // no tracks
    ASSERT_EQ(zarn_decode_frame(m), ZARN_OK);
    EXPECT_EQ(zarn_copy_frame(m, static_cast<zarn_format>(16), buffer.data(), 256, 0),
              ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_copy_frame(m, ZARN_FORMAT_PALETTE, buffer.data(), 256, 0), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(zarn_copy_frame(m, ZARN_FORMAT_RGBA32, buffer.data(), 255, 0), ZARN_ERROR_BAD_ARGUMENT);
    EXPECT_STRNE(zarn_error_text(m), "");
    EXPECT_EQ(zarn_copy_frame(m, ZARN_FORMAT_RGBA32, buffer.data(), 256, 0), ZARN_OK);
    zarn_close(m);

    // The file ends inside its frames.
    TempFile cut(std::vector<uint8_t>(good.begin(), good.begin() + good.size() * 6 / 10));
    ASSERT_EQ(zarn_open_file(cut.Path().c_str(), 0, &m), ZARN_OK);
    zarn_status s;
    uint32_t decoded = 0;
    while ((s = zarn_decode_frame(m)) == ZARN_OK) ++decoded;
    EXPECT_EQ(s, ZARN_ERROR_READ);
    EXPECT_LT(decoded, 12u);
    EXPECT_EQ(zarn_decode_frame(m), ZARN_ERROR_READ);
    zarn_close(m);

    // Packets of filler bytes are no pictures: each frame is abandoned in
    // part, and decoding goes on to the end.
    test::MovieRecipe filler;
    filler.frames = 3;
    const std::vector<uint8_t> filler_image = test::BuildMovie(filler);
    ASSERT_EQ(OpenImage(filler_image, &m), ZARN_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(zarn_decode_frame(m), ZARN_ERROR_CORRUPT_FRAME);
        zarn_planes p;
        EXPECT_EQ(zarn_get_planes(m, &p), ZARN_OK);
    }
    EXPECT_EQ(zarn_decode_frame(m), ZARN_END_OF_FILE);
    zarn_close(m);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Opens `image` with the address space held to 16 MiB above its present
// use; exits 0 when the open fails for want of memory.
[[noreturn]] void OpenUnderMemoryLimit(const std::vector<uint8_t>& image) {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (16u << 20);
    const rlimit r{limit, limit};
    ::setrlimit(RLIMIT_AS, &r);
    zarn_movie* m = nullptr;
    const zarn_status s = OpenImage(image, &m);
    std::_Exit(s == ZARN_ERROR_OUT_OF_MEMORY && !m ? 0 : 1);
}

TEST(PublicInterface, OutOfMemoryWhenTheFramesDoNotFit) {
    if (kSanitized) GTEST_SKIP() << "address-space limits do not work under the sanitizers";
    // 4096 x 4096 with a predicted frame: two 24 MiB frame buffers.
    test::MovieRecipe big;
    big.width = big.height = 4096;
    big.frames = 2;
    big.all_key = false;
    const std::vector<uint8_t> image = test::BuildMovie(big);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(OpenUnderMemoryLimit(image), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zarn
