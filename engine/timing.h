// Frame timing: when the next frame is due, the timing base, and the
// closing of the blit and frame intervals that the statistics count.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

// Milliseconds after the base at which the next frame is due:
// (frames_played - clock_base_frame) * 1000 * rate_den / rate_num, exact
// in 64 bits. Only meaningful when rate_num is not 0 (0 is returned then).
uint64_t FrameDueMs(const Movie& movie);

// Whether the playing sound paces the picture: a track plays and its
// device has not refused to switch back on.
bool PacedBySound(const Movie& movie);

// Makes `now` the timing base: the frame after the one just decoded is due
// one play period later.
void SetClockBase(Movie& movie, uint32_t now);

// Sets the base from the clock when there is none; returns the base.
uint32_t EnsureClockBase(Movie& movie);

// Adds the time since the end of the last DoFrame to blit_ms.
void CloseBlitInterval(Movie& movie, uint32_t now);

// Ends the frame being measured and keeps the two slowest durations.
void CloseFrameInterval(Movie& movie, uint32_t now);

void CloseIntervals(Movie& movie, uint32_t now);

}  // namespace zarn
