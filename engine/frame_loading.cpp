#include "engine/frame_loading.h"

#include "engine/audio_queue.h"
#include "engine/movie.h"

namespace zarn {

void GotoFrame(Movie* movie, uint32_t n) {
    Movie& m = *movie;
    uint32_t i = n == 0 ? 0 : n - 1;
    if (i >= m.frame_count) i = m.frame_count - 1;
    const bool sound = m.sound_track != -1;
    if (sound) FeedSound(&m);
    m.previous_frame = m.current_frame;
    // Frames before the last follow: their audio is still to be queued.
    if (i + 1 < m.frame_count) m.audio_all_queued.store(0, std::memory_order_release);
    if (i == 0) {
        // Looping: flush the queue and start a new timing base.
        if (m.sound_on) {
            SetSoundOn(&m, 0);
            SetSoundOn(&m, 1);
        }
        m.clock_base_ms = 0;
    }
    const uint32_t from = m.frame_index[i] & ~1u;
    const uint32_t to = m.frame_index[i + 1] & ~1u;
    if (m.preloaded) {
        const uint32_t start = from - (m.frame_index[0] & ~1u);
        m.packet = m.preloaded + start;
        m.packet_short = uint64_t{start} + (to - from) > m.preloaded_bytes ? 1 : 0;
    } else {
        const uint32_t got = m.reader.read_frame(&m.reader, i, from, m.packet_buffer, to - from);
        m.packet = m.packet_buffer;
        m.packet_short = got < to - from ? 1 : 0;
    }
    m.packet_bytes = to - from;
    if (sound) FeedSound(&m);
    m.current_frame = i + 1;
}

}  // namespace zarn
