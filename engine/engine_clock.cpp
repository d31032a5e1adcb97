#include "engine/engine_clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace zarn {
namespace {

uint32_t RealNow(void*) {
    using namespace std::chrono;
    static const steady_clock::time_point base = steady_clock::now();
    // Counted from 1 so that a time taken at the first reading is never the
    // 0 that timing fields use for "none".
    return 1 + static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now() - base).count());
}

void RealSleep(void*, uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

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
