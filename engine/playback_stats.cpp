#include "engine/playback_stats.h"

#include <cstring>

#include "engine/engine_clock.h"
#include "engine/movie.h"
#include "engine/timing.h"

namespace zarn {

int32_t GetSummary(Movie* movie, PlaybackSummary* s) {
    if (!movie || !s) return 0;
    Movie& m = *movie;
    const uint32_t now = EngineClock();
    CloseIntervals(m, now);
    std::memset(s, 0, sizeof(*s));
    const FileReader& r = m.reader;
    // The bytes of frame data: from the first frame to the end of the file,
    // whose length is size_field + 8 (the field leaves out the signature
    // and itself). Without the 8 the averages fall short of what was read.
    const uint32_t first = m.frame_index[0] & ~1u;
    const uint64_t length = uint64_t{m.size_field} + 8;
    const uint64_t data = length > first ? length - first : 0;
    s->width = m.width;
    s->height = m.height;
    s->play_ms = now - m.play_start_ms;
    s->source_rate_num = m.source_rate_num;
    s->source_rate_den = m.source_rate_den;
    s->play_rate_num = m.rate_num;
    s->play_rate_den = m.rate_den;
    s->open_ms = m.open_time_ms;
    s->total_frames = m.frame_count;
    s->frames_played = m.frames_played;
    s->skipped_frames = 0;  // every frame is decoded
    s->skipped_blits = m.skipped_blits;
    s->sound_skips = m.sound_skips.load();
    s->blit_ms = m.blit_ms;
    s->read_ms = r.foreground_ms.load();
    s->video_ms = m.video_ms;
    s->audio_ms = m.audio_ms;
    s->idle_read_ms = r.idle_ms.load();
    s->background_read_ms = r.background_ms.load();
    s->device_speed =
        static_cast<uint32_t>(uint64_t{r.total_bytes.load()} * 1000 / (uint64_t{r.read_ms.load()} + 1));
    s->slowest_ms = m.slowest_ms;
    s->second_slowest_ms = m.second_slowest_ms;
    s->slowest_frame = m.slowest_frame;
    s->second_slowest_frame = m.second_slowest_frame;
    s->average_data_rate =
        static_cast<uint32_t>(data * m.source_rate_num / (uint64_t{m.source_rate_den} * m.frame_count));
    s->average_frame_bytes = static_cast<uint32_t>(data / m.frame_count);
    s->memory_used = m.memory_used;
    s->input_memory = r.buffer_size;
    s->highest_input_memory = r.highest_held.load();
    s->peak_data_rate = m.default_read_ahead;
    s->peak_data_rate_frame = m.densest_second + 1;
    return 1;
}

void GetRealtimeStats(Movie& m, RealtimeStats* s, uint32_t window) {
    CloseIntervals(m, EngineClock());
    const uint32_t c = m.current_frame.load(std::memory_order_relaxed);
    uint32_t n = window;
    if (n == 0 || n >= m.frames_per_second) n = m.frames_per_second - 1;
    if (n > c) n = c - 1 == 0 ? 1 : c - 1;
    // The history holds frames_per_second entries: with one frame per
    // second there is no window at all.
    if (n >= m.frames_per_second) n = m.frames_per_second - 1;
    auto diff = [&](int k) { return m.second_history[k][0] - m.second_history[k][n]; };
    s->frame = m.previous_frame;
    s->rate_num = m.rate_num;
    s->rate_den = m.rate_den;
    s->window = n;
    s->span_ms = diff(0) == 0 ? 1 : diff(0);
    s->video_ms = diff(2);
    s->audio_ms = diff(1);
    s->read_ms = diff(4);
    s->idle_read_ms = diff(5);
    s->background_read_ms = diff(6);
    s->blit_ms = diff(3);
    s->read_ahead_size = m.reader.usable.load();
    s->read_ahead_held = m.reader.held.load();
    // Offsets without their key-frame bits: over empty frames the raw
    // entries can differ by -1, which wrapped to some 4 GB.
    const uint32_t to = m.frame_index[c] & ~1u, from = m.frame_index[c - n] & ~1u;
    s->data_rate = n == 0 || to < from ? 0
                                       : static_cast<uint32_t>(uint64_t{to - from} * m.source_rate_num /
                                                               (uint64_t{m.source_rate_den} * n));
}

}  // namespace zarn
