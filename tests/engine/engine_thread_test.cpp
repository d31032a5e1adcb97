// The background thread against the real clock: opening and closing with
// the thread running, and the foreground stepping frames while the thread
// reads ahead (throttled) and feeds sound. Run under ThreadSanitizer by
// `make tsan` (label "threads").
#include "engine/engine_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/audio_queue.h"
#include "engine/changed_rects.h"
#include "engine/copy_to_buffer.h"
#include "engine/engine_settings.h"
#include "engine/frame_control.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "video/chroma_thread.h"
#include "tests/support/encoded_clip.h"
#include "tests/support/scripted_sound.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_movies.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;

class EngineThreads : public ::testing::Test {
protected:
    void SetUp() override {
        ResetEngineSettings();
        sound.free_chunks = 1 << 30;  // the device always takes more
        ASSERT_TRUE(sound.Install());
    }
    void TearDown() override { ResetEngineSettings(); }
    test::ScriptedSound sound;
};

TEST(EngineThread, RunsTheRoutineWithItsArguments) {
    std::atomic<int> seen{0};
    int second = 5;
    EngineThread* t = StartEngineThread(
        [](void* a, void* b) { static_cast<std::atomic<int>*>(a)->store(*static_cast<int*>(b)); }, &seen,
        &second);
    ASSERT_NE(t, nullptr);
    ReleaseEngineThread(t);
    EXPECT_EQ(seen.load(), 5);
    ReleaseEngineThread(nullptr);
}

TEST_F(EngineThreads, OpenAndCloseWithTheThreadRunning) {
    MovieRecipe r;
    r.frames = 40;
    r.video_bytes = 5000;
    test::TempFile silent(BuildMovie(r));
    r.tracks = {test::StereoTrack(22050, 65536)};
    r.audio_bytes = 16;
    r.decoded_bytes = 2000;  // decoded into the queue while the thread feeds
    test::TempFile with_sound(BuildMovie(r));
    for (int i = 0; i < 200; ++i) {
        const bool sounding = i % 2 == 1;
        SetReadAheadSize(16384);
        Movie* m = OpenMovie((sounding ? with_sound : silent).Path().c_str(), kFlagReadAheadSize);
        ASSERT_NE(m, nullptr) << EngineLastError();
        ASSERT_EQ(m->preloaded, nullptr);
        ASSERT_NE(m->reader_thread, nullptr);
        ASSERT_EQ(m->thread_state.load(), 1u);
        ASSERT_EQ(m->sound_track, sounding ? 0 : -1);
        if (i % 4 == 3) {
            // Some closes come while frames are being stepped.
            // ShouldWait steps the reader on this thread meanwhile.
            ASSERT_EQ(DoFrame(m), 0);
            for (int k = 0; k < 5; ++k) ShouldWait(m);
            NextFrame(m);
        }
        CloseMovie(m);
    }
    EXPECT_EQ(sound.opens.load(), 100);
    EXPECT_EQ(sound.closes.load(), 100);
}

TEST_F(EngineThreads, PreloadedMovieThreadOnlyFeedsSound) {
    MovieRecipe r;
    r.frames = 10;
    r.tracks = {test::StereoTrack(22050, 65536)};
    r.audio_bytes = 16;
    const std::vector<uint8_t> image = BuildMovie(r);
    for (int i = 0; i < 50; ++i) {
        Movie* m = OpenMovieFromImage(image.data(), image.size(), 0);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->background_reads, 0u);
        ASSERT_EQ(m->thread_state.load(), 1u);
        CloseMovie(m);
    }
}

TEST_F(EngineThreads, CloseDoesNotWaitForASlowSimulatedRead) {
    MovieRecipe r;
    r.frames = 20;
    r.video_bytes = 400;
    test::TempFile file(BuildMovie(r));
    SetReadAheadSize(4096);
    SetSimulatedReadSpeed(2048);  // 2 s per chunk (and 0.2 s for frame 1)
    Movie* m = OpenMovie(file.Path().c_str(), kFlagReadAheadSize | kFlagReadSpeed | kFlagNoInitialFill);
    ASSERT_NE(m, nullptr) << EngineLastError();
    // Let the thread read a chunk and start paying for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m->reader.total_bytes.load() < 400 + 4096 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(m->reader.total_bytes.load(), 400u + 4096);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    CloseMovie(m);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// Appends `n` bytes of a running byte count to the queue, as decoding does.
void QueueCount(Movie* m, uint32_t n, uint32_t* next) {
    std::vector<uint8_t> pcm(n);
    for (auto& b : pcm) b = static_cast<uint8_t>((*next)++);
    LockRingWaiting(*m);
    const uint32_t appended = AppendToRing(*m, pcm.data(), n);
    UnlockRing(*m);
    *next -= n - appended;
}

TEST_F(EngineThreads, ForegroundStepsWhileAThrottledReaderReads) {
    MovieRecipe r;
    r.frames = 60;
    r.rate_num = 200;  // 5 ms per frame
    r.video_bytes = 3000;
    r.tracks = {test::StereoTrack(22050, 262144)};
    r.audio_bytes = 16;
    const std::vector<uint8_t> image = BuildMovie(r);
    test::TempFile file(image);
    SetReadAheadSize(32768);
    SetSimulatedReadSpeed(2000000);  // about 2 ms per 4 KB chunk
    Movie* m = OpenMovie(file.Path().c_str(), kFlagReadAheadSize | kFlagReadSpeed | kFlagNoInitialFill);
    ASSERT_NE(m, nullptr) << EngineLastError();
    ASSERT_EQ(m->preloaded, nullptr);
    ASSERT_NE(m->sound_track, -1);

    std::vector<uint8_t> target(64 * 48 * 4);
    uint32_t queued = 0;
    uint32_t wrong_packets = 0;
    for (uint32_t frame = 1; frame <= r.frames; ++frame) {
        while (ShouldWait(m)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(DoFrame(m), 0) << frame;
        QueueCount(m, 2000, &queued);
        CopyToBuffer(m, target.data(), 64 * 4, 48, 0, 0, 3);
        GetRects(*m, 0);
        // The packet of this frame: 4 + 4 + 16 audio bytes, then the video.
        const uint8_t* video = m->packet + 24;
        for (uint32_t i = 0; i < r.video_bytes; i += 97)
            if (video[i] != static_cast<uint8_t>(frame - 1)) ++wrong_packets;
        if (frame < r.frames) NextFrame(m);
    }
    EXPECT_EQ(wrong_packets, 0u);
    EXPECT_EQ(m->frames_played, r.frames);
    // Past the end of the audio the thread drains the queue completely.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        LockRingWaiting(*m);
        const uint32_t left = m->ring_filled;
        UnlockRing(*m);
        if (left == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    CloseMovie(m);
    const std::vector<uint8_t> played = sound.Played();
    ASSERT_EQ(played.size(), queued);
    for (uint32_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<uint8_t>(i)) << i;
}

// The player's road on two cores: chroma on a second decoding thread while
// the background thread reads ahead gives the pictures and block marks of
// a one-thread decode, and the second thread takes every frame's chroma.
TEST_F(EngineThreads, ChromaThreadBesideTheReaderGivesTheOneThreadPictures) {
    EncodeSettings settings;
    settings.keyint = 8;
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kSceneCut, 157, 93, 30, settings);
    ASSERT_FALSE(image.empty());
    test::TempFile file(image);
    SetReadAheadSize(32768);
    Movie* one = OpenMovie(file.Path().c_str(), kFlagNoThread);
    Movie* two = OpenMovie(file.Path().c_str(), kFlagReadAheadSize);
    ASSERT_TRUE(one && two) << EngineLastError();
    ASSERT_TRUE(SetDecodeThreads(two, 2));
    const uint32_t bytes = FrameBufferBytes(*one);
    for (uint32_t frame = 1; frame <= one->frame_count; ++frame) {
        ASSERT_EQ(DoFrame(one), 0);
        ASSERT_EQ(DoFrame(two), 0);
        const uint8_t* a = one->frame_buffers[one->current_buffer];
        const uint8_t* b = two->frame_buffers[two->current_buffer];
        ASSERT_TRUE(std::equal(a, a + bytes, b)) << frame;
        ASSERT_TRUE(std::equal(one->block_marks, one->block_marks + one->mb_count, two->block_marks))
            << frame;
        EXPECT_EQ(one->frame_damaged, two->frame_damaged);
        if (frame < one->frame_count) {
            NextFrame(one);
            NextFrame(two);
        }
    }
    EXPECT_EQ(ChromaThreadFrames(*two->chroma_thread), one->frame_count);
    CloseMovie(one);
    CloseMovie(two);
}

}  // namespace
}  // namespace zarn
