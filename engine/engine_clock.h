// EngineClock: the engine's millisecond clock (unsigned 32-bit, wraps).
//
// Normally a monotonic clock counted from its first reading. Tests install a
// clock of their own, whose sleep advances it, so that every timing rule can
// be checked exactly and without real waiting.
#pragma once

#include <cstdint>

namespace zarn {

struct ClockSource {
    uint32_t (*now)(void* context);
    void (*sleep)(void* context, uint32_t ms);
    void* context;
};

uint32_t EngineClock();
void EngineSleep(uint32_t ms);

// Installs a clock for the whole process; nullptr restores the real one.
void SetClockSource(const ClockSource* source);

}  // namespace zarn
