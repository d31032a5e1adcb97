#include "engine/frame_loading.h"

#include "engine/movie.h"

namespace zarn {

void GotoFrame(Movie* movie, uint32_t n) {
    Movie& m = *movie;
    uint32_t i = n == 0 ? 0 : n - 1;
    if (i >= m.frame_count) i = m.frame_count - 1;
    m.previous_frame = m.current_frame;
    if (i == 0) m.clock_base_ms = 0;  // looping starts a new timing base
    const uint32_t from = m.frame_index[i] & ~1u;
    const uint32_t to = m.frame_index[i + 1] & ~1u;
    if (m.preloaded) {
        m.packet = m.preloaded + (from - (m.frame_index[0] & ~1u));
    } else {
        m.reader.read_frame(&m.reader, i, from, m.packet_buffer, to - from);
        m.packet = m.packet_buffer;
    }
    m.packet_bytes = to - from;
    m.current_frame = i + 1;
}

}  // namespace zarn
