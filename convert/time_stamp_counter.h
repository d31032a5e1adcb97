// The time-stamp counter, with which the frame copy times its two methods;
// the kernel sets themselves are base/cpu_features.h's.
#pragma once

#include <cstdint>

namespace zarn {

// Whether reading the time-stamp counter works here (probed once).
bool TimeStampCounterWorks();
uint64_t ReadTimeStampCounter();

// Test hook: -1 restores the probe, 0 or 1 force the answer.
void OverrideTimeStampCounter(int works);

}  // namespace zarn
