#include "engine/engine_clock.h"

#include <atomic>

#include "engine/system_clock.h"

namespace zarn {
namespace {

// Counted from 1 so that a time taken at the first reading is never the 0
// that timing fields use for "none".
uint32_t RealNow(void*) { return 1 + SystemMilliseconds(); }

void RealSleep(void*, uint32_t ms) { SystemSleep(ms); }

const ClockSource kRealClock{RealNow, RealSleep, nullptr};
std::atomic<const ClockSource*> g_source{&kRealClock};

}  // namespace

uint32_t EngineClock() {
    const ClockSource* s = g_source.load(std::memory_order_acquire);
    return s->now(s->context);
}

void EngineSleep(uint32_t ms) {
    const ClockSource* s = g_source.load(std::memory_order_acquire);
    s->sleep(s->context, ms);
}

void SetClockSource(const ClockSource* source) {
    g_source.store(source ? source : &kRealClock, std::memory_order_release);
}

}  // namespace zarn
