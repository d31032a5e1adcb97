#include "engine/frame_control.h"

#include <gtest/gtest.h>

#include "engine/changed_rects.h"
#include "engine/frame_loading.h"
#include "engine/playback_stats.h"
#include "tests/support/encoded_clip.h"
#include "tests/engine/engine_fixture.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;

class FrameControl : public test::EngineFixture {};

// Decodes, then makes the next frame current, at the clock's time.
void StepFrame(Movie* m) {
    ASSERT_EQ(DoFrame(m), 0);
    NextFrame(m);
}

TEST_F(FrameControl, FirstFrameIsShownAtOnceAndSetsTheBase) {
    Movie* m = Open(BuildMovie({}));
    clock.SetCostPerRead(1);  // any reading of the clock would show
    EXPECT_EQ(ShouldWait(m), 0);
    EXPECT_EQ(clock.Now(), 1000u);
    clock.SetCostPerRead(0);

    clock.Set(5000);
    ASSERT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->play_start_ms, 5000u);
    EXPECT_EQ(m->clock_base_ms.load(), 5000u);
    EXPECT_EQ(m->clock_base_frame, 0u);
    EXPECT_EQ(m->frames_played, 1u);
    EXPECT_EQ(m->rect_count, -1);
    // The first frame counts one source period in the history.
    EXPECT_EQ(m->second_history[0][0], 5000u);
    EXPECT_EQ(m->second_history[0][1], 4960u);

    // The same frame again decodes nothing.
    clock.Set(5100);
    EXPECT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->frames_played, 1u);
    EXPECT_EQ(m->decode_start_ms, 5000u);
    EXPECT_EQ(m->current_buffer, 1u);
}

TEST_F(FrameControl, WithoutSoundALateFrameMovesTheBase) {
    Movie* m = Open(BuildMovie({}));  // 25 fps: late limit 80 ms
    ASSERT_EQ(m->late_limit_ms, 80u);
    StepFrame(m);  // base 1000, frame 1
    clock.Set(1039);
    EXPECT_EQ(ShouldWait(m), 1);
    clock.Set(1040);  // one period after the base
    EXPECT_EQ(ShouldWait(m), 0);
    StepFrame(m);  // frame 2 decoded at 1040; frame 3 due at 1080

    // Exactly 80 ms late: still on the old base.
    clock.Set(1160);
    EXPECT_EQ(ShouldWait(m), 0);
    EXPECT_EQ(m->clock_base_ms.load(), 1000u);

    // 100 ms late: the base moves to now, one frame back.
    clock.Set(1180);
    EXPECT_EQ(ShouldWait(m), 0);
    EXPECT_EQ(m->clock_base_ms.load(), 1180u);
    EXPECT_EQ(m->clock_base_frame, 1u);
    StepFrame(m);  // decoded at once
    clock.Set(1259);
    EXPECT_EQ(ShouldWait(m), 1);
    clock.Set(1260);  // 80 ms after the new base
    EXPECT_EQ(ShouldWait(m), 0);
}

TEST_F(FrameControl, AsFastAsPossibleAndPaused) {
    SetFrameRateOverride(0, 0);
    Movie* m = Open(BuildMovie({}), kFlagRateOverride);
    ASSERT_EQ(m->rate_num, 0u);
    EXPECT_EQ(m->late_limit_ms, 2000u);
    StepFrame(m);
    EXPECT_EQ(ShouldWait(m), 0);  // never due late or early
    EXPECT_EQ(Pause(m, 1), 1);
    EXPECT_EQ(ShouldWait(m), 1);
    EXPECT_EQ(Pause(m, 0), 0);
    EXPECT_EQ(ShouldWait(m), 0);

    clock.Advance(500);
    PlaybackSummary s;
    ASSERT_EQ(GetSummary(m, &s), 1);
    EXPECT_EQ(s.play_rate_num, 0u);
    EXPECT_EQ(s.play_rate_den, 0u);
    EXPECT_EQ(s.source_rate_num, 25u);
    EXPECT_EQ(s.source_rate_den, 1u);
    EXPECT_EQ(s.play_ms, 500u);
    EXPECT_EQ(GetSummary(nullptr, &s), 0);
    EXPECT_EQ(GetSummary(m, nullptr), 0);
}

TEST_F(FrameControl, PauseAndResumeStartANewBase) {
    Movie* m = Open(BuildMovie({}));
    StepFrame(m);
    clock.Set(1040);
    ASSERT_EQ(Pause(m, 1), 1);
    EXPECT_EQ(ShouldWait(m), 1);  // due, but paused
    clock.Set(3000);
    EXPECT_EQ(Pause(m, 0), 0);
    EXPECT_EQ(m->clock_base_ms.load(), 0u);
    // The next ShouldWait sets the base; the frame is due a period later.
    EXPECT_EQ(ShouldWait(m), 1);
    EXPECT_EQ(m->clock_base_ms.load(), 3000u);
    clock.Set(3040);
    EXPECT_EQ(ShouldWait(m), 0);
    // Resuming a movie that is not paused keeps its base.
    EXPECT_EQ(Pause(m, 0), 0);
    EXPECT_EQ(m->clock_base_ms.load(), 3000u);
}

TEST_F(FrameControl, NullMovieIsIgnored) {
    EXPECT_EQ(ShouldWait(nullptr), 0);
    EXPECT_EQ(DoFrame(nullptr), 0);
    EXPECT_EQ(Pause(nullptr, 1), 0);
    NextFrame(nullptr);
}

TEST_F(FrameControl, NextFrameAfterTheLastLoopsToFrameOne) {
    MovieRecipe r;
    r.frames = 3;
    Movie* m = Open(BuildMovie(r));
    for (uint32_t f = 1; f <= 3; ++f) {
        EXPECT_EQ(m->current_frame.load(), f);
        EXPECT_EQ(m->packet[0], f - 1);  // frame i's bytes are i
        clock.Advance(40);
        StepFrame(m);
    }
    EXPECT_EQ(m->current_frame.load(), 1u);
    EXPECT_EQ(m->previous_frame, 3u);
    EXPECT_EQ(m->packet[0], 0);
    EXPECT_EQ(m->clock_base_ms.load(), 0u);  // looping starts a new base
    EXPECT_EQ(m->frames_played, 3u);
}

TEST_F(FrameControl, IntervalsFeedTheStatistics) {
    Movie* m = Open(BuildMovie({}));
    // Frame 1: decoded at 1000, copied and blitted for 7 ms.
    ASSERT_EQ(DoFrame(m), 0);
    clock.Advance(7);
    NextFrame(m);
    EXPECT_EQ(m->blit_ms, 7u);
    EXPECT_EQ(m->decode_end_ms, 0u);
    clock.Set(1030);
    ShouldWait(m);  // frame interval: 30 ms, recorded with frame 2
    EXPECT_EQ(m->slowest_ms, 30u);
    EXPECT_EQ(m->slowest_frame, 2u);

    // A longer frame moves the slowest into second place; an equal one
    // then replaces nothing.
    clock.Set(1040);
    StepFrame(m);
    clock.Set(1090);
    ShouldWait(m);
    EXPECT_EQ(m->slowest_ms, 50u);
    EXPECT_EQ(m->slowest_frame, 3u);
    EXPECT_EQ(m->second_slowest_ms, 30u);
    EXPECT_EQ(m->second_slowest_frame, 2u);
    clock.Set(1100);
    StepFrame(m);
    clock.Set(1130);
    ShouldWait(m);
    EXPECT_EQ(m->second_slowest_frame, 2u);

    PlaybackSummary s;
    GetSummary(m, &s);
    EXPECT_EQ(s.slowest_ms, 50u);
    EXPECT_EQ(s.second_slowest_ms, 30u);
    EXPECT_EQ(s.frames_played, 3u);
    EXPECT_EQ(s.total_frames, 10u);
    EXPECT_EQ(s.skipped_frames, 0u);
    EXPECT_EQ(s.blit_ms, 7u);  // later frames were stepped at once
    EXPECT_EQ(s.width, 64u);
    EXPECT_EQ(s.height, 48u);
}

TEST_F(FrameControl, HistoryKeepsTheNewestSamplesFirst) {
    MovieRecipe r;
    r.rate_num = 4;  // four entries per array
    Movie* m = Open(BuildMovie(r));
    ASSERT_EQ(m->frames_per_second, 4u);
    const uint32_t starts[] = {2000, 2250, 2500, 2750, 3000};
    for (uint32_t t : starts) {
        clock.Set(t);
        StepFrame(m);
    }
    EXPECT_EQ(m->second_history[0][0], 3000u);
    EXPECT_EQ(m->second_history[0][1], 2750u);
    EXPECT_EQ(m->second_history[0][3], 2250u);

    RealtimeStats st;
    GetRealtimeStats(*m, &st, 0);  // default window: frames_per_second - 1
    EXPECT_EQ(st.window, 3u);
    EXPECT_EQ(st.span_ms, 750u);
    EXPECT_EQ(st.frame, 5u);
    EXPECT_EQ(st.rate_num, 4u);
    // 3 frames of 100 bytes each, at 4 frames per second.
    EXPECT_EQ(st.data_rate, 3u * 100 * 4 / 3);
    GetRealtimeStats(*m, &st, 2);
    EXPECT_EQ(st.window, 2u);
    EXPECT_EQ(st.span_ms, 500u);
}

TEST_F(FrameControl, RealtimeStatsAfterTheFirstFrame) {
    Movie* m = Open(BuildMovie({}));
    StepFrame(m);
    RealtimeStats st;
    GetRealtimeStats(*m, &st, 0);
    EXPECT_EQ(st.window, 1u);
    EXPECT_EQ(st.span_ms, 40u);  // one source period
    EXPECT_EQ(st.frame, 1u);

    // A source period that rounds to 0 ms would make a span of 0.
    MovieRecipe fast;
    fast.rate_num = 2000;
    Movie* f = Open(BuildMovie(fast));
    StepFrame(f);
    GetRealtimeStats(*f, &st, 0);
    EXPECT_EQ(st.window, 1u);
    EXPECT_EQ(st.span_ms, 1u);

    // One frame per second: the history has a single entry and no window.
    MovieRecipe slow;
    slow.rate_num = 1;
    Movie* s = Open(BuildMovie(slow));
    StepFrame(s);
    StepFrame(s);
    GetRealtimeStats(*s, &st, 5);
    EXPECT_EQ(st.window, 0u);
    EXPECT_EQ(st.span_ms, 1u);
    EXPECT_EQ(st.data_rate, 0u);
}

TEST_F(FrameControl, WaitingLetsTheReaderReadAhead) {
    MovieRecipe r;
    r.video_bytes = 3000;
    for (uint32_t flags : {0u, kFlagNoThread}) {
        Movie* m = OpenFile(BuildMovie(r), 16384, flags);
        ASSERT_EQ(m->preloaded, nullptr);
        GotoFrame(m, 4);  // frames 2 to 4 taken out of the read-ahead
        const uint32_t held = m->reader.held.load();
        ASSERT_LT(ReaderFillPercent(m->reader), 75u);
        const uint32_t slept = clock.Slept();
        ASSERT_EQ(DoFrame(m), 0);
        // With a reader thread, decoding first gives it a millisecond.
        EXPECT_EQ(clock.Slept() - slept, flags ? 0u : 1u);
        clock.Set(1010);
        EXPECT_EQ(ShouldWait(m), 1);
        EXPECT_EQ(m->reader.held.load(), held + 4096);  // one step while waiting
        EXPECT_EQ(clock.Slept() - slept, flags ? 0u : 2u);
    }
}

TEST_F(FrameControl, ReadErrorStopsDecodingAndWaiting) {
    Movie* m = Open(BuildMovie({}));
    StepFrame(m);
    m->read_error = 1;
    EXPECT_EQ(DoFrame(m), 1);
    EXPECT_EQ(m->frames_played, 1u);
    EXPECT_EQ(ShouldWait(m), 0);
    EXPECT_EQ(m->reader.engine_busy.load(), 0u);
}

TEST_F(FrameControl, MarksAreClearedForEachDecodedFrame) {
    MovieRecipe r;
    r.video_bytes = 0;  // no video data: the decoder marks nothing itself
    Movie* m = Open(BuildMovie(r));
    m->block_marks[3] = 1;
    m->block_marks[m->mb_count - 1] = 1;
    ASSERT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->block_marks[3], 0);
    EXPECT_EQ(m->block_marks[m->mb_count - 1], 0);
    EXPECT_EQ(m->block_marks[m->mb_count], 0);  // the end mark stays
    EXPECT_EQ(GetRects(*m, 0), 0);
}

// Seeking lands on exactly the picture a decode from the start gives, in
// both directions, for every version letter; the frames on the way count
// nowhere, and the marks of the next frame cover every block that changed.
TEST_F(FrameControl, SeekGivesThePictureOfADecodeFromTheStart) {
    for (char version : {'f', 'h', 'i'}) {
        EncodeSettings settings;
        settings.version = version;
        settings.keyint = 12;
        const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kPanZoom, 64, 48, 40, settings);
        ASSERT_FALSE(image.empty());
        Movie* linear = Open(image, kFlagNoThread);
        const uint32_t bytes = FrameBufferBytes(*linear);
        std::vector<std::vector<uint8_t>> pictures;
        for (uint32_t f = 1; f <= linear->frame_count; ++f) {
            ASSERT_EQ(DoFrame(linear), 0);
            const uint8_t* p = linear->frame_buffers[linear->current_buffer];
            pictures.emplace_back(p, p + bytes);
            NextFrame(linear);
        }
        Movie* m = Open(image, kFlagNoThread);
        ASSERT_EQ(DoFrame(m), 0);
        NextFrame(m);
        uint32_t shown = 1;
        for (uint32_t target : {30u, 13u, 25u, 2u, 40u, 1u}) {
            ASSERT_EQ(SeekToFrame(m, target), 0);
            EXPECT_EQ(m->current_frame.load(), target);
            const uint32_t played = m->frames_played;
            ASSERT_EQ(DoFrame(m), 0);
            EXPECT_EQ(m->frames_played, played + 1) << "frames on the way are not played";
            const uint8_t* p = m->frame_buffers[m->current_buffer];
            EXPECT_TRUE(std::equal(p, p + bytes, pictures[target - 1].begin()))
                << "version " << version << " frame " << target;
            // Every block whose luma differs from the picture shown before is marked.
            const uint8_t* before = pictures[shown - 1].data();
            for (uint32_t b = 0; b < m->mb_count; ++b) {
                const uint32_t x0 = (b % m->mb_cols) * 16, y0 = (b / m->mb_cols) * 16;
                bool differs = false;
                for (uint32_t y = y0; y < y0 + 16; ++y)
                    differs =
                        differs || !std::equal(p + y * m->luma_width + x0, p + y * m->luma_width + x0 + 16,
                                               before + y * m->luma_width + x0);
                EXPECT_TRUE(!differs || m->block_marks[b]) << "frame " << target << " block " << b;
            }
            shown = target;
            NextFrame(m);
        }
        EXPECT_EQ(m->seeks, 6u);
        Close(linear);
        Close(m);
    }
}

}  // namespace
}  // namespace zarn
