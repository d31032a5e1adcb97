#include "engine/copy_to_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/audio_queue.h"
#include "engine/changed_rects.h"
#include "engine/frame_control.h"
#include "engine/frame_loading.h"
#include "tests/engine/engine_fixture.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;
using test::SoundRecipe;

class CopyLateness : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(sound.Install());
    }
    int32_t Copy(Movie* m, uint32_t copy_flags = 3) {
        return CopyToBuffer(m, buffer_.data(), 64 * 4, 48, 0, 0, copy_flags);
    }
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(64 * 48 * 4);
};

TEST_F(CopyLateness, LateCopyBehindSoundIsSkippedAndMarksCollect) {
    MovieRecipe r = SoundRecipe();
    r.video_bytes = 0;  // no video data: the decoder marks nothing itself
    Movie* m = Open(BuildMovie(r));
    ASSERT_EQ(DoFrame(m), 0);  // frame 1 at 1000; frame 2 due at 1040
    m->block_marks[5] = 1;     // what the decoder changed
    clock.Set(1120);           // 80 ms past due: on time
    EXPECT_EQ(Copy(m), 0);
    EXPECT_EQ(m->skip_pending, 0u);
    EXPECT_EQ(GetRects(*m, 0), 1);
    NextFrame(m);

    ASSERT_EQ(DoFrame(m), 0);  // frame 2; frame 3 due at 1080
    m->block_marks[5] = 0;
    m->block_marks[7] = 1;
    clock.Set(1161);  // 81 ms late
    EXPECT_EQ(Copy(m), 1);
    EXPECT_EQ(m->skipped_blits, 1u);
    EXPECT_EQ(m->skip_pending, 1u);
    EXPECT_EQ(GetRects(*m, 0), 0);
    NextFrame(m);

    // The next decode keeps the marks so the next copy covers both frames.
    ASSERT_EQ(DoFrame(m), 0);
    m->block_marks[9] = 1;
    EXPECT_EQ(m->block_marks[7], 1);
    clock.Set(1200);
    EXPECT_EQ(Copy(m), 0);
    EXPECT_EQ(m->skip_pending, 0u);
    ASSERT_EQ(GetRects(*m, kCopyOneRect), 1);
    // Blocks 7 (row 1, column 3) and 9 (row 2, column 1) of a 4-wide map.
    EXPECT_EQ(m->rects[0].x, 16);
    EXPECT_EQ(m->rects[0].y, 16);
    EXPECT_EQ(m->rects[0].w, 48);
    EXPECT_EQ(m->rects[0].h, 32);
    NextFrame(m);
    ASSERT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->block_marks[7], 0);  // on time again: cleared
    EXPECT_EQ(m->skipped_blits, 1u);
}

TEST_F(CopyLateness, OnlyACopyMadeWritesTheBuffer) {
    constexpr uint32_t kWholeFrame = 0x80000000u;
    Movie* m = Open(BuildMovie(SoundRecipe()));
    ASSERT_EQ(DoFrame(m), 0);
    std::fill(buffer_.begin(), buffer_.end(), 0xAB);
    clock.Set(1500);  // late: skipped
    EXPECT_EQ(Copy(m, 3 | kWholeFrame), 1);
    EXPECT_EQ(std::count(buffer_.begin(), buffer_.end(), 0xAB), std::ptrdiff_t(buffer_.size()));
    EXPECT_EQ(m->last_copy_flags, 3 | kWholeFrame);

    clock.Set(1100);  // on time: the whole frame is converted
    EXPECT_EQ(Copy(m, 3 | kWholeFrame), 0);
    EXPECT_EQ(std::count(buffer_.begin(), buffer_.end(), 0xAB), 0);

    // The movie's scaling mode joins the copy flags.
    Movie* d = Open(BuildMovie(SoundRecipe()), 3u << 28);
    ASSERT_EQ(DoFrame(d), 0);
    std::vector<uint8_t> wide(128 * 48 * 4);
    EXPECT_EQ(CopyToBuffer(d, wide.data(), 128 * 4, 48, 0, 0, 3), 0);
    EXPECT_EQ(d->last_copy_flags, 3u | (3u << 28));
}

// Past 4,294,968 frames on one base the frames-times-1000 product needs
// more than 32 bits: the due time must stay exact for waiting and copying.
TEST_F(CopyLateness, DueTimeStaysExactPastFourMillionFramesOnOneBase) {
    Movie* m = Open(BuildMovie(SoundRecipe()));  // 25 fps: 40 ms a frame
    ASSERT_EQ(DoFrame(m), 0);                    // base 1000, frame 1
    constexpr uint32_t kFrames = 4294968;        // * 1000 > 2^32
    m->frames_played = m->clock_base_frame + kFrames;
    const uint32_t due = 1000 + kFrames * 40;  // 171,799,720
    clock.Set(due - 1);
    EXPECT_EQ(ShouldWait(m), 1);
    clock.Set(due);
    EXPECT_EQ(ShouldWait(m), 0);
    clock.Set(due + 80);  // within the late limit: copied
    EXPECT_EQ(Copy(m), 0);
    EXPECT_EQ(m->skipped_blits, 0u);
}

// A device that will not switch back on at the loop: the movie goes on
// paced by the clock (no wait forever, no skipped copies) and the fault
// counts as a sound skip.
TEST_F(CopyLateness, RefusedSoundRestartPlaysOnByTheClock) {
    Movie* m = Open(BuildMovie(SoundRecipe(2)));
    ASSERT_EQ(m->sound_on, 1u);
    ASSERT_EQ(DoFrame(m), 0);
    NextFrame(m);
    ASSERT_EQ(DoFrame(m), 0);
    sound.set_on_answer = 0;
    NextFrame(m);  // back to frame 1: off, and on refused
    EXPECT_EQ(m->sound_on, 0u);
    EXPECT_EQ(m->sound_skips.load(), 1u);
    EXPECT_EQ(ShouldWait(m), 1);  // sets a new base at 1000
    clock.Set(1040);
    EXPECT_EQ(ShouldWait(m), 0);
    ASSERT_EQ(DoFrame(m), 0);
    clock.Set(2000);  // far behind: a clock-paced movie copies anyway
    EXPECT_EQ(Copy(m), 0);
    EXPECT_EQ(m->skipped_blits, 0u);
}

TEST_F(CopyLateness, NeverSkipCopiesLateFramesAndSaysSo) {
    Movie* m = Open(BuildMovie(SoundRecipe()));
    ASSERT_EQ(DoFrame(m), 0);
    clock.Set(1500);
    EXPECT_EQ(Copy(m, 3 | kFlagNeverSkip), 1);
    EXPECT_EQ(m->skipped_blits, 0u);
    EXPECT_EQ(m->skip_pending, 0u);
    m->rect_count = -1;
    m->block_marks[0] = 1;
    EXPECT_EQ(GetRects(*m, kFlagNeverSkip), 1);

    Movie* n = Open(BuildMovie(SoundRecipe()), kFlagNeverSkip);  // from the open flags
    ASSERT_EQ(DoFrame(n), 0);
    clock.Set(1500);
    EXPECT_EQ(Copy(n), 1);
    EXPECT_EQ(n->skipped_blits, 0u);
}

TEST_F(CopyLateness, WithoutSoundOrPacingNothingIsSkipped) {
    Movie* m = Open(BuildMovie({}));
    ASSERT_EQ(DoFrame(m), 0);
    clock.Set(5000);
    EXPECT_EQ(Copy(m), 0);
    EXPECT_EQ(m->skipped_blits, 0u);

    SetFrameRateOverride(0, 1);
    Movie* f = Open(BuildMovie(SoundRecipe()), kFlagRateOverride);
    ASSERT_EQ(DoFrame(f), 0);
    clock.Set(5000);
    EXPECT_EQ(Copy(f), 0);

    Movie* p = Open(BuildMovie(SoundRecipe()));
    ASSERT_EQ(DoFrame(p), 0);
    Pause(p, 1);
    clock.Set(5000);
    EXPECT_EQ(Copy(p), 0);

    EXPECT_EQ(CopyToBuffer(m, nullptr, 256, 48, 0, 0, 3), 0);
    EXPECT_EQ(CopyToBuffer(nullptr, buffer_.data(), 256, 48, 0, 0, 3), 0);
    EXPECT_EQ(m->reader.engine_busy.load(), 0u);
}

// A streaming movie whose read-ahead has run down below 10 %.
Movie* Starve(Movie* m) {
    GotoFrame(m, 6);
    EXPECT_LT(ReaderFillPercent(m->reader), 10u);
    return m;
}

TEST_F(CopyLateness, StarvedReaderIsRefilledBeforeTheNextFrame) {
    MovieRecipe r = SoundRecipe();
    r.video_bytes = 3000;
    Movie* m = OpenFile(BuildMovie(r), 16384);
    ASSERT_EQ(m->preloaded, nullptr);
    Starve(m);
    ASSERT_EQ(DoFrame(m), 0);
    clock.Set(1200);
    EXPECT_EQ(Copy(m), 1);
    EXPECT_EQ(m->skipped_blits, 1u);
    EXPECT_GE(ReaderFillPercent(m->reader), 40u);
    EXPECT_LT(ReaderFillPercent(m->reader), 90u);
    EXPECT_TRUE(sound.set_on_calls.empty());  // no underrun: no restart
    EXPECT_EQ(m->reader.engine_busy.load(), 0u);
}

TEST_F(CopyLateness, UnderrunWhileStarvedRestartsTheSound) {
    MovieRecipe r = SoundRecipe();
    r.video_bytes = 3000;
    Movie* m = OpenFile(BuildMovie(r), 16384);
    Starve(m);
    ASSERT_EQ(DoFrame(m), 0);
    m->sound.underrun = 1;
    clock.Set(1200);
    EXPECT_EQ(Copy(m), 1);
    EXPECT_EQ(m->sound.underrun.load(), 0u);
    EXPECT_EQ(sound.set_on_calls, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m->sound_skips.load(), 1u);
    EXPECT_GE(ReaderFillPercent(m->reader), 90u);
    EXPECT_EQ(m->ring_filled, m->prefill_bytes);  // silence queued at frame 6
    EXPECT_EQ(m->clock_base_ms.load(), 0u);
    EXPECT_EQ(m->ring_lock.load(), 0);
    EXPECT_EQ(m->sound_on, 1u);

    // At frame 1 (starved: positioning back on it empties the read-ahead)
    // an underrun is cleared but not handled.
    Movie* first = OpenFile(BuildMovie(r), 16384);
    GotoFrame(first, 1);
    sound.set_on_calls.clear();
    ASSERT_EQ(first->current_frame.load(), 1u);
    ASSERT_LT(ReaderFillPercent(first->reader), 10u);
    ASSERT_EQ(DoFrame(first), 0);
    first->sound.underrun = 1;
    clock.Set(1200);
    EXPECT_EQ(Copy(first), 1);
    EXPECT_EQ(first->sound.underrun.load(), 0u);
    EXPECT_GE(ReaderFillPercent(first->reader), 40u);
    EXPECT_TRUE(sound.set_on_calls.empty());
    EXPECT_EQ(first->sound_skips.load(), 0u);

    // Past audio_end_frame the queue holds the movie's last sound: an
    // underrun there restarts nothing either.
    Movie* last = OpenFile(BuildMovie(r), 16384);
    GotoFrame(last, last->audio_end_frame + 1);
    sound.set_on_calls.clear();
    ASSERT_LT(ReaderFillPercent(last->reader), 10u);
    ASSERT_EQ(DoFrame(last), 0);
    last->sound.underrun = 1;
    clock.Set(1200);
    EXPECT_EQ(Copy(last), 1);
    EXPECT_TRUE(sound.set_on_calls.empty());
    EXPECT_EQ(last->sound_skips.load(), 0u);
}

}  // namespace
}  // namespace zarn
