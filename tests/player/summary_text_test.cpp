#include "player/summary_text.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(DurationText, EveryRangeAndItsPlurals) {
    EXPECT_EQ(DurationText(0), "0 milliseconds");
    EXPECT_EQ(DurationText(1), "1 millisecond");
    EXPECT_EQ(DurationText(999), "999 milliseconds");
    EXPECT_EQ(DurationText(1000), "1 second");
    EXPECT_EQ(DurationText(59999), "59 seconds");
    EXPECT_EQ(DurationText(61000), "1 minute 1 second");
    EXPECT_EQ(DurationText(125000), "2 minutes 5 seconds");
    EXPECT_EQ(DurationText(3599999), "59 minutes 59 seconds");
    EXPECT_EQ(DurationText(3600000), "1 hour 0 minutes");
    EXPECT_EQ(DurationText(7200000), "2 hours 0 minutes");
    EXPECT_EQ(DurationText(3660000), "1 hour 1 minute");
}

PlaybackSummary TypicalSummary() {
    PlaybackSummary s{};
    s.width = 640;
    s.height = 360;
    s.play_ms = 10000;
    s.source_rate_num = 30000;
    s.source_rate_den = 1001;
    s.play_rate_num = 30000;
    s.play_rate_den = 1001;
    s.open_ms = 12;
    s.total_frames = 300;
    s.frames_played = 300;
    s.skipped_blits = 2;
    s.sound_skips = 1;
    s.blit_ms = 250;
    s.read_ms = 40;
    s.video_ms = 1234;
    s.audio_ms = 99;
    s.idle_read_ms = 7;
    s.background_read_ms = 3;
    s.device_speed = 5000000;
    s.slowest_ms = 16;
    s.second_slowest_ms = 0;
    s.slowest_frame = 17;
    s.second_slowest_frame = 4;
    s.average_data_rate = 123456;
    s.average_frame_bytes = 4115;
    s.memory_used = 2000000;
    s.input_memory = 65536;
    s.highest_input_memory = 61440;
    s.peak_data_rate = 200000;
    s.peak_data_rate_frame = 31;
    return s;
}

TEST(SummaryText, ExactTextOfATypicalPlayback) {
    const DisplaySummary display{"DIB Section", 1920, 1080, 32};
    EXPECT_EQ(SummaryText(TypicalSummary(), display),
              "Video: 640 x 360 at 29.9 frames/sec\n"
              "Total frames: 300\n"
              "\n"
              "Total frames played: 300\n"
              "Frame rate played: 29.9 frames/sec\n"
              "Frame rate obtained: 30.0 frames/sec\n"
              "Skipped frames: 0\n"
              "Skipped blits: 2\n"
              "Sound skips: 1\n"
              "\n"
              "Percentage spent decompressing video: 12.3\n"
              "Percentage spent decompressing audio: 0.9\n"
              "Percentage spent blitting: 2.5\n"
              "Percentage spent reading: 0.4\n"
              "Percentage spent reading while idle: 0.0\n"
              "Percentage spent reading in background: 0.0\n"
              "Speed of playback device: 5000000 bytes/sec\n"
              "\n"
              "Total playback time: 10 seconds\n"
              "Total open time: 12 milliseconds\n"
              "Slowest frame: 17 (62.5 frames/sec)\n"
              "Second slowest frame: 4 (1000.0 frames/sec)\n"
              "\n"
              "Average data rate: 123456\n"
              "Average frame size: 4115\n"
              "Peak data rate: 200000 bytes/sec (frame: 31)\n"
              "\n"
              "Total memory used: 2000000\n"
              "Total input memory: 65536\n"
              "Highest input memory used: 61440\n"
              "\n"
              "Blitting style: DIB Section\n"
              "Video mode: 1920 x 1080 at 32 bits\n");
}

TEST(SummaryText, FastPlaybackOneFrameAndNoFrames) {
    PlaybackSummary s = TypicalSummary();
    s.play_rate_num = s.play_rate_den = 0;
    s.frames_played = 1;
    s.slowest_ms = 0;
    const std::string text = SummaryText(s, {});
    EXPECT_NE(text.find("Frame rate played: As fast as possible\n"), std::string::npos);
    EXPECT_NE(text.find("Slowest frame: 17 (1000.0 frames/sec)\n\nAverage"), std::string::npos);
    EXPECT_EQ(text.find("Second slowest"), std::string::npos);
    s.frames_played = 0;
    EXPECT_EQ(SummaryText(s, {}), "");
}

TEST(StatisticsLine, ExactFiguresAndTheSizingSampleIsWider) {
    RealtimeStats r{};
    r.frame = 42;
    r.rate_num = 25;
    r.rate_den = 1;
    r.window = 24;
    r.span_ms = 960;
    r.video_ms = 96;
    r.audio_ms = 48;
    r.read_ms = 10;
    r.idle_read_ms = 38;
    r.background_read_ms = 9;
    r.blit_ms = 192;
    r.read_ahead_size = 65536;
    r.read_ahead_held = 32767;
    r.data_rate = 250000;
    EXPECT_EQ(StatisticsLine(r),
              "Fr: 42, FPS: 25.0, Buf: 50%, Vid: 10%, Aud: 5%, Blit: 20%, Read: 5%, Back: 0%, "
              "Rate: 250000");
    EXPECT_GT(std::string(kStatisticsSizingSample).size(), StatisticsLine(r).size());
}

}  // namespace
}  // namespace zarn
