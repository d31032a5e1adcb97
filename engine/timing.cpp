#include "engine/timing.h"

#include "engine/engine_clock.h"
#include "engine/movie.h"

namespace zarn {

uint64_t FrameDueMs(const Movie& m) {
    if (m.rate_num == 0) return 0;
    // In 64 bits throughout: a 32-bit product of frames and 1000 wraps after
    // about 4.29 million frames on one base, and every frame would be late.
    const uint64_t periods_ms = uint64_t{m.frames_played - m.clock_base_frame} * 1000u;
    // periods_ms * rate_den / rate_num without overflowing the product.
    const uint64_t whole = periods_ms / m.rate_num;
    const uint64_t rest = periods_ms % m.rate_num;
    if (whole > UINT64_MAX / 2 / m.rate_den) return UINT64_MAX / 2;
    return whole * m.rate_den + rest * m.rate_den / m.rate_num;
}

bool PacedBySound(const Movie& m) { return m.sound_track != -1 && !m.sound_lost; }

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
