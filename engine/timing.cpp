#include "engine/timing.h"

#include "engine/engine_clock.h"
#include "engine/movie.h"

namespace zarn {

uint32_t FrameDueMs(const Movie& m) {
    if (m.rate_num == 0) return 0;
    const uint32_t periods_ms = (m.frames_played - m.clock_base_frame) * 1000u;  // 32-bit
    return static_cast<uint32_t>(uint64_t{periods_ms} * m.rate_den / m.rate_num);
}

void SetClockBase(Movie& m, uint32_t now) {
    m.clock_base_frame = m.frames_played - 1;
    m.clock_base_ms.store(now, std::memory_order_release);
}

uint32_t EnsureClockBase(Movie& m) {
    uint32_t base = m.clock_base_ms.load(std::memory_order_acquire);
    if (base == 0) {
        base = EngineClock();
        SetClockBase(m, base);
    }
    return base;
}

void CloseBlitInterval(Movie& m, uint32_t now) {
    if (m.decode_end_ms == 0) return;
    m.blit_ms += now - m.decode_end_ms;
    m.decode_end_ms = 0;
}

void CloseFrameInterval(Movie& m, uint32_t now) {
    if (m.frame_start_ms == 0) return;
    const uint32_t d = now - m.frame_start_ms;
    m.frame_start_ms = 0;
    const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
    if (d > m.slowest_ms) {
        m.second_slowest_ms = m.slowest_ms;
        m.second_slowest_frame = m.slowest_frame;
        m.slowest_ms = d;
        m.slowest_frame = frame;
    } else if (d > m.second_slowest_ms) {
        m.second_slowest_ms = d;
        m.second_slowest_frame = frame;
    }
}

void CloseIntervals(Movie& m, uint32_t now) {
    CloseBlitInterval(m, now);
    CloseFrameInterval(m, now);
}

}  // namespace zarn
