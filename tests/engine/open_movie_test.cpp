#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "encoder/container_writer.h"
#include "base/engine_memory.h"
#include "engine/engine_settings.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

// A file whose frames have the given packet sizes (video bytes only).
ContainerWriter MakeWriter(ContainerSpec spec, const std::vector<uint32_t>& sizes, bool all_key = true) {
    ContainerWriter w(std::move(spec));
    for (size_t i = 0; i < sizes.size(); ++i) {
        FramePacket f;
        f.video.assign(sizes[i], static_cast<uint8_t>(i));
        f.key = all_key || i == 0;
        w.AddFrame(std::move(f));
    }
    return w;
}

ContainerSpec Spec(uint32_t w, uint32_t h, uint32_t rate = 25, char version = 'i') {
    ContainerSpec s;
    s.version = version;
    s.width = w;
    s.height = h;
    s.rate_num = rate;
    s.rate_den = 1;
    return s;
}

class OpenMovieTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEngineSettings(); }
    void TearDown() override { ResetEngineSettings(); }
};

TEST_F(OpenMovieTest, StoredPictureExampleOpensFromMemory) {
    ContainerSpec spec = Spec(224, 252, 10);
    std::vector<uint8_t> img = MakeWriter(spec, {14796}).Build();
    ASSERT_EQ(img.size(), 14848u);
    EXPECT_EQ(GetU32(img, 4), 14840u);
    EXPECT_EQ(GetU32(img, 44), 0x35u);
    EXPECT_EQ(GetU32(img, 48), 0x3A00u);

    Movie* m = OpenMovieFromImage(img.data(), img.size(), kFlagFromMemory);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_EQ(m->width, 224u);
    EXPECT_EQ(m->height, 252u);
    EXPECT_EQ(m->frame_count, 1u);
    EXPECT_EQ(m->rate_num, 10u);
    EXPECT_EQ(m->luma_width, 224u);
    EXPECT_EQ(m->luma_height, 256u);
    EXPECT_EQ(m->chroma_width, 112u);
    EXPECT_EQ(m->chroma_height, 128u);
    EXPECT_EQ(m->mb_cols, 14u);
    EXPECT_EQ(m->mb_count, 224u);
    EXPECT_EQ(m->all_key_frames, 1u);
    EXPECT_EQ(m->frame_buffers[0], m->frame_buffers[1]);
    EXPECT_EQ(m->current_frame.load(), 1u);
    EXPECT_EQ(m->preloaded, img.data() + 52);
    EXPECT_EQ(m->packet, img.data() + 52);
    EXPECT_EQ(m->packet_bytes, 14796u);
    EXPECT_EQ(m->block_marks[m->mb_count], 0);
    EXPECT_EQ(m->late_limit_ms, 200u);
    EXPECT_EQ(m->flags & (kFlagVersionH | kFlagVersionFG), 0u);
    EXPECT_EQ(m->sound_track, -1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m) % 32, 0u);
    CloseMovie(m);
}

TEST_F(OpenMovieTest, EveryFailureLeavesItsMessage) {
    EXPECT_EQ(OpenMovie("/nonexistent/dir/clip.zrn", 0), nullptr);
    EXPECT_STREQ(EngineLastError(), "Error opening file.");

    std::vector<uint8_t> good = MakeWriter(Spec(32, 32), {40, 40}).Build();
    auto expect_failure = [&](std::vector<uint8_t> img, const char* text) {
        test::TempFile f(img);
        EXPECT_EQ(OpenMovie(f.Path().c_str(), 0), nullptr);
        EXPECT_STREQ(EngineLastError(), text);
        EXPECT_EQ(OpenMovieFromImage(img.data(), img.size(), 0), nullptr);
        EXPECT_STREQ(EngineLastError(), text);
    };
    std::vector<uint8_t> bad = good;
    bad[3] = 'j';
    expect_failure(bad, "Not a Zarn file.");
    expect_failure({'Z', 'R', 'N'}, "Not a Zarn file.");
    bad = good;
    PutU32(bad, header_offset::kFrameCount, 0);
    expect_failure(bad, "The file doesn't contain any compressed frames yet.");

    const char* corrupt = "Corrupt Zarn file.";
    bad = good;
    PutU32(bad, header_offset::kIndexCount, 1);  // below frame_count
    expect_failure(bad, corrupt);
    for (uint32_t side : {0u, 16385u}) {
        bad = good;
        PutU32(bad, header_offset::kWidth, side);
        expect_failure(bad, corrupt);
        bad = good;
        PutU32(bad, header_offset::kHeight, side);
        expect_failure(bad, corrupt);
    }
    bad = good;
    PutU32(bad, header_offset::kRateDen, 0);
    expect_failure(bad, corrupt);
    bad = good;
    PutU32(bad, header_offset::kLargestFrame, 39);  // smaller than a frame
    expect_failure(bad, corrupt);
    bad = good;
    PutU32(bad, header_offset::kSizeField, 0xFFFFFFFF);  // length overflows
    expect_failure(bad, corrupt);
    bad = good;
    PutU32(bad, FrameIndexOffset(0) + 4, GetU32(good, FrameIndexOffset(0)) - 2);  // decreasing
    expect_failure(bad, corrupt);
    bad = good;
    PutU32(bad, FrameIndexOffset(0) + 8, static_cast<uint32_t>(good.size() + 4));  // past the end
    expect_failure(bad, corrupt);
    bad = good;
    PutU32(bad, header_offset::kAudioTracks, 100000);  // tables run past the file
    expect_failure(bad, corrupt);
    bad.assign(good.begin(), good.begin() + 50);  // index cut short
    expect_failure(bad, corrupt);
}

TEST_F(OpenMovieTest, VersionLettersSetTheirMarks) {
    const std::pair<char, uint32_t> cases[] = {{'f', 0x18000}, {'g', 0x18000}, {'h', 0x8000}, {'i', 0}};
    for (auto [letter, marks] : cases) {
        std::vector<uint8_t> img = MakeWriter(Spec(16, 16, 25, letter), {8}).Build();
        Movie* m = OpenMovieFromImage(img.data(), img.size(), 0);
        ASSERT_NE(m, nullptr) << letter;
        EXPECT_EQ(m->flags & 0x18000u, marks) << letter;
        CloseMovie(m);
    }
}

TEST_F(OpenMovieTest, DisplayOptionFromCallerOrHeader) {
    ContainerSpec spec = Spec(100, 50);
    spec.video_flags = 1u << 28;  // header: height doubled
    std::vector<uint8_t> img = MakeWriter(spec, {8}).Build();

    Movie* m = OpenMovieFromImage(img.data(), img.size(), 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(DisplayOption(m->flags), 1u);
    EXPECT_EQ(m->height, 100u);
    EXPECT_EQ(m->source_height, 50u);
    CloseMovie(m);

    m = OpenMovieFromImage(img.data(), img.size(), 7u << 28);  // force none
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(DisplayOption(m->flags), 0u);
    EXPECT_EQ(m->height, 50u);
    CloseMovie(m);

    m = OpenMovieFromImage(img.data(), img.size(), 4u << 28);  // caller wins
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(DisplayOption(m->flags), 4u);
    EXPECT_EQ(m->width, 200u);
    EXPECT_EQ(m->height, 100u);
    CloseMovie(m);

    m = OpenMovieFromImage(img.data(), img.size(), 6u << 28);  // every other row: same size
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->width, 100u);
    EXPECT_EQ(m->height, 50u);
    CloseMovie(m);
}

TEST_F(OpenMovieTest, ReadAheadFromAverageOrDensestSecond) {
    // 3 frames at 25 fps: not more frames than the rounded rate, so the
    // average formula over the raw entries: the end entry has no key bit
    // and entry 0 has one, so the span is 600 - 1.
    std::vector<uint8_t> img = MakeWriter(Spec(16, 16), {100, 200, 300}).Build();
    Movie* m = OpenMovieFromImage(img.data(), img.size(), 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->default_read_ahead, 599u * 25 / 3);
    CloseMovie(m);

    // 6 frames at 2 fps: windows of two frames starting at 0..3; the densest
    // pair starts at frame index 2 (500 + 300); the equal pair at 3 does not
    // replace it, and the pair at 4 is not looked at.
    ContainerSpec spec = Spec(16, 16, 2);
    img = MakeWriter(spec, {100, 200, 500, 300, 500, 900}).Build();
    m = OpenMovieFromImage(img.data(), img.size(), 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->frames_per_second, 2u);
    // Raw entries include the key bits, which cancel in the difference.
    EXPECT_EQ(m->default_read_ahead, 800u);
    EXPECT_EQ(m->densest_second, 2u);
    CloseMovie(m);
}

TEST_F(OpenMovieTest, SmallFileIsPreloadedLargeReadAheadStreams) {
    std::vector<uint8_t> img = MakeWriter(Spec(16, 16), {3000, 3000, 3000, 3000}).Build();
    test::TempFile f(img);
    Movie* m = OpenMovie(f.Path().c_str(), 0);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_NE(m->flags & kFlagPreload, 0u);
    ASSERT_NE(m->preloaded, nullptr);
    EXPECT_EQ(std::memcmp(m->packet, img.data() + (GetU32(img, 44) & ~1u), 3000), 0);
    CloseMovie(m);

    // A read-ahead of one chunk holds far less than nine tenths: stream.
    SetReadAheadSize(4096);
    m = OpenMovie(f.Path().c_str(), kFlagReadAheadSize);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->flags & kFlagPreload, 0u);
    EXPECT_EQ(m->preloaded, nullptr);
    EXPECT_EQ(m->read_ahead_size, 4096u);
    EXPECT_EQ(Settings().read_ahead_size, kSettingUnset);  // one-shot
    EXPECT_EQ(std::memcmp(m->packet, img.data() + (GetU32(img, 44) & ~1u), 3000), 0);
    EXPECT_EQ(m->reader.held.load(), 4096u);  // filled during open
    CloseMovie(m);
}

TEST_F(OpenMovieTest, MemoryUsedCountsEveryBlock) {
    // 16 x 16 at 25 fps, one track, three frames (not all key frames): the
    // Movie block reserves block marks (17), seven histories (100 each), the
    // nine bundle buffers (516, 516, 640, 528, 516, 516, 1028, 1028, 608),
    // the index (16) and three track arrays (4 each): 14464 bytes with
    // padding to 16 and the 32-byte staggering. The frame block is one frame
    // of 384 bytes plus the second frame reserved behind it (1056). The small
    // file is then kept whole in memory.
    ContainerSpec spec = Spec(16, 16);
    spec.tracks = {{1024, 11025 | kTrackFormatAudio, 5}};
    std::vector<uint8_t> img = MakeWriter(spec, {100, 100, 100}, false).Build();
    test::TempFile f(img);
    Movie* m = OpenMovie(f.Path().c_str(), 0);
    ASSERT_NE(m, nullptr) << EngineLastError();
    ASSERT_NE(m->preloaded, nullptr);
    const uint32_t first = GetU32(img, FrameIndexOffset(1)) & ~1u;
    const uint32_t whole = static_cast<uint32_t>(img.size()) - first;
    EXPECT_EQ(m->memory_used, sizeof(Movie) + 14464 + 384 + 1056 + whole);
    EXPECT_NE(m->frame_buffers[0], m->frame_buffers[1]);
    EXPECT_EQ(m->track_id[0], 5u);
    EXPECT_EQ(m->track_format[0], 11025u | kTrackFormatAudio);
    CloseMovie(m);
}

// Resident memory of this process in bytes.
uint64_t ResidentBytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%lu %lu", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return uint64_t{resident} * static_cast<uint64_t>(sysconf(_SC_PAGE_SIZE));
}

// A header claiming 16384 x 16384 (two frames of 384 MiB and more): the
// open touches none of it, and a limit smaller than the need refuses the
// open with the memory text; the engine's count returns to 0 after close.
TEST_F(OpenMovieTest, HugePictureCostsNothingUntilDecodedAndALimitRefusesIt) {
    const std::vector<uint8_t> img = MakeWriter(Spec(16384, 16384), {100, 100}, false).Build();
    test::TempFile f(img);
    const uint64_t in_use = EngineMemoryInUse();
    const uint64_t before = ResidentBytes();
    Movie* m = OpenMovie(f.Path().c_str(), kFlagNoThread);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_GT(m->memory_used, 768u << 20);
    EXPECT_LT(ResidentBytes() - before, uint64_t{64} << 20);
    CloseMovie(m);
    EXPECT_EQ(EngineMemoryInUse(), in_use);

    SetEngineMemoryLimit(uint64_t{256} << 20);
    EXPECT_EQ(OpenMovie(f.Path().c_str(), kFlagNoThread), nullptr);
    EXPECT_STREQ(EngineLastError(), "Out of memory.");
    Movie* small = OpenMovie(test::TempFile(MakeWriter(Spec(64, 48), {100}).Build()).Path().c_str(), 0);
    EXPECT_NE(small, nullptr) << EngineLastError();
    CloseMovie(small);
    SetEngineMemoryLimit(0);
    EXPECT_EQ(EngineMemoryInUse(), in_use);
}

TEST_F(OpenMovieTest, OneShotSettingsAreConsumedOnlyUnderTheirFlag) {
    std::vector<uint8_t> img = MakeWriter(Spec(16, 16), {8}).Build();
    SetFrameRateOverride(50, 1);
    Movie* m = OpenMovieFromImage(img.data(), img.size(), 0);  // no 0x1000: unused
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->rate_num, 25u);
    CloseMovie(m);
    EXPECT_EQ(Settings().rate_override_num, 50u);

    m = OpenMovieFromImage(img.data(), img.size(), kFlagRateOverride);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->rate_num, 50u);
    EXPECT_EQ(m->source_rate_num, 25u);
    EXPECT_EQ(m->late_limit_ms, 40u);
    CloseMovie(m);
    EXPECT_EQ(Settings().rate_override_num, kSettingUnset);

    SetSoundTrack(99);  // reset by every open that chooses a track
    m = OpenMovieFromImage(img.data(), img.size(), kFlagTrackById);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Settings().sound_track, kSettingUnset);
    EXPECT_EQ(m->sound_track, -1);
    CloseMovie(m);
}

TEST_F(OpenMovieTest, TruncatedFileOpensAndReportsAReadError) {
    std::vector<uint8_t> img = MakeWriter(Spec(16, 16), {5000, 5000, 5000}).Build();
    img.resize(img.size() - 7000);  // tables whole, packets cut
    test::TempFile f(img);
    SetReadAheadSize(4096);
    // Without the initial fill (and no thread reading on) only frame 1 is
    // read, and it is whole.
    Movie* m = OpenMovie(f.Path().c_str(), kFlagReadAheadSize | kFlagNoInitialFill | kFlagNoThread);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_EQ(m->reader.read_error.load(), 0u);
    // Reading on meets the cut.
    while (m->reader.step(&m->reader) > 0) {
    }
    EXPECT_EQ(m->reader.read_error.load(), 1u);
    CloseMovie(m);

    img.resize(img.size() - 5000);  // now frame 1 is cut too
    test::TempFile g(img);
    m = OpenMovie(g.Path().c_str(), 0);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_EQ(m->reader.read_error.load(), 1u);
    CloseMovie(m);
}

TEST_F(OpenMovieTest, FramesWithEmptyPacketsOpenKeptWholeOrStreamed) {
    for (uint32_t frames : {1u, 2u, 3u, 5u, 8u}) {
        std::vector<uint8_t> img = MakeWriter(Spec(16, 16), std::vector<uint32_t>(frames, 0)).Build();
        test::TempFile f(img);
        Movie* m = OpenMovie(f.Path().c_str(), kFlagNoThread);
        ASSERT_NE(m, nullptr) << frames << ": " << EngineLastError();
        EXPECT_EQ(m->packet_bytes, 0u);
        CloseMovie(m);
        SetReadAheadSize(0);
        m = OpenMovie(f.Path().c_str(), kFlagNoThread | kFlagReadAheadSize);
        ASSERT_NE(m, nullptr) << frames << ": " << EngineLastError();
        CloseMovie(m);
    }
}

TEST_F(OpenMovieTest, VideoInsideALargerFileThroughADescriptor) {
    std::vector<uint8_t> img = MakeWriter(Spec(16, 16), {6000, 6000, 6000}).Build();
    std::vector<uint8_t> host(1000 + img.size() + 500, 0xEE);
    std::copy(img.begin(), img.end(), host.begin() + 1000);
    test::TempFile f(host, ".dat");
    const int fd = ::open(f.Path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 1000, SEEK_SET), 1000);
    SetReadAheadSize(4096);
    Movie* m = OpenMovieFromHandle(fd, kFlagReadAheadSize);
    ASSERT_NE(m, nullptr) << EngineLastError();
    EXPECT_EQ(m->reader.base_offset, 1000u);
    EXPECT_EQ(m->packet_bytes, 6000u);
    EXPECT_EQ(m->packet[0], 0);
    EXPECT_EQ(m->packet[5999], 0);
    CloseMovie(m);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);  // the caller's descriptor stays open
    ::close(fd);
}

}  // namespace
}  // namespace zarn
