// The encoder's one way of running work on several threads.
#pragma once

#include <functional>

namespace zarn {

// Calls body(0) on the caller's thread and body(1) .. body(threads - 1) on
// threads of their own, and returns when all have returned. A thread that
// cannot be started is left out, so `body` must share its work out (by
// claiming it from shared counters) rather than count on every index.
void RunOnThreads(unsigned threads, const std::function<void(unsigned index)>& body);

}  // namespace zarn
