// The statistics records field by field: every source gets its own value,
// so a field filled from the wrong place, or a formula changed, shows.
#include "engine/playback_stats.h"

#include <gtest/gtest.h>

#include "engine/frame_control.h"
#include "tests/engine/engine_fixture.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;

class PlaybackStats : public test::EngineFixture {};

TEST_F(PlaybackStats, SummaryFieldsComeFromTheirSources) {
    MovieRecipe r;  // 10 frames of 100 bytes at 25 fps
    Movie* m = Open(BuildMovie(r));
    ASSERT_EQ(DoFrame(m), 0);
    m->skipped_blits = 12;
    m->sound_skips = 13;
    m->reader.foreground_ms = 15;
    m->reader.total_bytes = 200000;
    m->reader.read_ms = 99;  // 200000 * 1000 / (99 + 1)
    m->reader.buffer_size = 28000;
    m->reader.highest_held = 29000;
    m->densest_second = 30;

    PlaybackSummary s;
    ASSERT_EQ(GetSummary(m, &s), 1);
    EXPECT_EQ(s.skipped_blits, 12u);
    EXPECT_EQ(s.sound_skips, 13u);
    EXPECT_EQ(s.read_ms, 15u);
    EXPECT_EQ(s.device_speed, 2000000u);
    // The frame data is the 1000 bytes from the first frame to the end of
    // the file: 100 bytes a frame, 2500 bytes a second.
    EXPECT_EQ(s.average_frame_bytes, 100u);
    EXPECT_EQ(s.average_data_rate, 2500u);
    EXPECT_EQ(s.input_memory, 28000u);
    EXPECT_EQ(s.highest_input_memory, 29000u);
    EXPECT_EQ(s.peak_data_rate_frame, 31u);
}

TEST_F(PlaybackStats, RealtimeFieldsAndTheDataRateOverEmptyFrames) {
    MovieRecipe r;
    r.rate_num = 4;  // four history entries
    Movie* m = Open(BuildMovie(r));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(DoFrame(m), 0);
        NextFrame(m);
    }
    for (uint32_t k = 0; k < 7; ++k) {
        m->second_history[k][0] = 1000 + 100 * k;
        m->second_history[k][2] = 1000 + 10 * k;  // the window's far end
    }
    m->reader.usable = 1212;
    m->reader.held = 1313;
    RealtimeStats st;
    GetRealtimeStats(*m, &st, 2);
    EXPECT_EQ(st.window, 2u);
    EXPECT_EQ(st.audio_ms, 90u);   // history 1
    EXPECT_EQ(st.video_ms, 180u);  // history 2
    EXPECT_EQ(st.blit_ms, 270u);   // history 3
    EXPECT_EQ(st.read_ahead_size, 1212u);
    EXPECT_EQ(st.read_ahead_held, 1313u);
    EXPECT_EQ(st.data_rate, 400u);  // 200 bytes over 2 frames, 4 frames a second

    // Empty frames after a key frame: the offsets are equal and only the
    // key-frame bits differ. The rate is 0, not a wrapped difference.
    MovieRecipe empty = r;
    empty.rate_num = 5;
    empty.video_bytes = 0;
    empty.all_key = false;
    Movie* e = Open(BuildMovie(empty));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(DoFrame(e), 0);
        NextFrame(e);
    }
    GetRealtimeStats(*e, &st, 4);  // index entries 4 and 0, the key frame's
    EXPECT_EQ(st.window, 4u);
    EXPECT_EQ(st.data_rate, 0u);
}

}  // namespace
}  // namespace zarn
