// The system's millisecond clock and sleep under EngineClock. One
// implementation per system, chosen at build time (system_clock_posix.cpp,
// system_clock_win32.cpp).
#pragma once

#include <cstdint>

namespace zarn {

// Milliseconds from the first reading (starts at 0, unsigned, wraps).
uint32_t SystemMilliseconds();
void SystemSleep(uint32_t ms);

// A performance-counter reading in milliseconds since `base`: the product is
// formed in 64 bits before dividing, the result truncated to 32 bits.
inline uint32_t CounterMilliseconds(uint64_t counter, uint64_t base, uint64_t frequency) {
    return static_cast<uint32_t>((counter - base) * 1000 / frequency);
}

}  // namespace zarn
