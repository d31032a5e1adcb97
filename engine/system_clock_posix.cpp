#include <chrono>
#include <thread>

#include "engine/system_clock.h"

namespace zarn {

uint32_t SystemMilliseconds() {
    using namespace std::chrono;
    static const steady_clock::time_point base = steady_clock::now();
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now() - base).count());
}

void SystemSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace zarn
