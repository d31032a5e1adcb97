// A clock for tests: time moves only when a test (or a sleep) moves it.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/engine_clock.h"

namespace zarn::test {

class TestClock {
public:
    explicit TestClock(uint32_t start = 1000) : now_(start) {
        source_ = {Now, Sleep, this};
        SetClockSource(&source_);
    }
    ~TestClock() { SetClockSource(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    uint32_t Now() const { return now_.load(); }
    void Set(uint32_t ms) { now_.store(ms); }
    void Advance(uint32_t ms) { now_.fetch_add(ms); }
    uint32_t Slept() const { return slept_.load(); }

    // Extra time every reading of the clock takes (to simulate slow work).
    void SetCostPerRead(uint32_t ms) { cost_per_read_ = ms; }

private:
    static uint32_t Now(void* self) {
        auto* c = static_cast<TestClock*>(self);
        return c->now_.fetch_add(c->cost_per_read_) + c->cost_per_read_;
    }
    static void Sleep(void* self, uint32_t ms) {
        auto* c = static_cast<TestClock*>(self);
        c->now_.fetch_add(ms);
        c->slept_.fetch_add(ms);
    }

    std::atomic<uint32_t> now_;
    std::atomic<uint32_t> slept_{0};
    uint32_t cost_per_read_ = 0;
    ClockSource source_{};
};

}  // namespace zarn::test
