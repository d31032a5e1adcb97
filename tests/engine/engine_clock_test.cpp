#include "engine/engine_clock.h"

#include <gtest/gtest.h>

#include "engine/system_clock.h"

namespace zarn {
namespace {

TEST(EngineClock, RealClockCountsMillisecondsFromOneAndSleeps) {
    const uint32_t first = EngineClock();
    EXPECT_GE(first, 1u);  // 0 stays free for "no time"
    uint32_t last = first;
    for (int i = 0; i < 1000; ++i) {
        const uint32_t now = EngineClock();
        EXPECT_GE(now, last);
        last = now;
    }
    const uint32_t before = EngineClock();
    EngineSleep(60);
    const uint32_t slept = EngineClock() - before;
    EXPECT_GE(slept, 55u);
    EXPECT_LT(slept, 1000u);
}

TEST(EngineClock, CounterReadingsKeepTheirProductIn64Bits) {
    const uint64_t frequency = 10'000'000;  // a 10 MHz counter
    const uint64_t base = uint64_t{1} << 40;
    EXPECT_EQ(CounterMilliseconds(base + 3 * frequency + frequency / 2, base, frequency), 3500u);
    // 5,000,000 s: the milliseconds pass 32 bits and wrap like the clock.
    EXPECT_EQ(CounterMilliseconds(base + 5'000'000 * frequency, base, frequency),
              static_cast<uint32_t>(5'000'000'000ull));
    // An odd frequency truncates: 1 tick of 3 MHz is 0 ms, 3000 ticks 1 ms.
    EXPECT_EQ(CounterMilliseconds(base + 1, base, 3'000'000), 0u);
    EXPECT_EQ(CounterMilliseconds(base + 2999, base, 3'000'000), 0u);
    EXPECT_EQ(CounterMilliseconds(base + 3000, base, 3'000'000), 1u);
}

}  // namespace
}  // namespace zarn
