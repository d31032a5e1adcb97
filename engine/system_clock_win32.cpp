#include <windows.h>
#include <mmsystem.h>

#include "engine/system_clock.h"

namespace zarn {
namespace {

struct Counter {
    uint64_t frequency = 0;  // 0: no high-resolution counter, timeGetTime serves
    uint64_t base = 0;
};

Counter FirstReading() {
    Counter c;
    LARGE_INTEGER f, now;
    if (QueryPerformanceFrequency(&f) && f.QuadPart > 0 && QueryPerformanceCounter(&now)) {
        c.frequency = static_cast<uint64_t>(f.QuadPart);
        c.base = static_cast<uint64_t>(now.QuadPart);
    }
    return c;
}

}  // namespace

uint32_t SystemMilliseconds() {
    static const Counter counter = FirstReading();
    if (counter.frequency == 0) {
        static const DWORD base = timeGetTime();
        return timeGetTime() - base;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterMilliseconds(static_cast<uint64_t>(now.QuadPart), counter.base, counter.frequency);
}

void SystemSleep(uint32_t ms) { Sleep(ms); }

}  // namespace zarn
