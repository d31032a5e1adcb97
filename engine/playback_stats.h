// Statistics records the engine fills on request: the summary at the end of
// playback and the running figures over the last frames.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

struct PlaybackSummary {
    uint32_t width, height;
    uint32_t play_ms;
    uint32_t source_rate_num, source_rate_den;
    uint32_t play_rate_num, play_rate_den;  // 0/0: as fast as possible
    uint32_t open_ms;
    uint32_t total_frames, frames_played, skipped_frames;
    uint32_t skipped_blits, sound_skips;
    uint32_t blit_ms, read_ms, video_ms, audio_ms, idle_read_ms, background_read_ms;
    uint32_t device_speed;  // bytes per second
    uint32_t slowest_ms, second_slowest_ms, slowest_frame, second_slowest_frame;
    uint32_t average_data_rate, average_frame_bytes;
    uint32_t memory_used, input_memory, highest_input_memory;
    uint32_t peak_data_rate, peak_data_rate_frame;
};
static_assert(sizeof(PlaybackSummary) == 31 * 4);

struct RealtimeStats {
    uint32_t frame;
    uint32_t rate_num, rate_den;
    uint32_t window;   // frames
    uint32_t span_ms;  // never 0
    uint32_t video_ms, audio_ms, read_ms, idle_read_ms, background_read_ms, blit_ms;
    uint32_t read_ahead_size, read_ahead_held;
    uint32_t data_rate;  // bytes per second
};
static_assert(sizeof(RealtimeStats) == 14 * 4);

// Fills the summary; 0 and nothing done for a null movie or record, else 1.
int32_t GetSummary(Movie* movie, PlaybackSummary* summary);

// Fills the figures over the last `window` frames (0: the default window).
void GetRealtimeStats(Movie& movie, RealtimeStats* stats, uint32_t window);

}  // namespace zarn
