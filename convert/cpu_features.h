// Processor probes used to choose the conversion routines and to time them.
#pragma once

#include <cstdint>

namespace zarn {

enum class KernelSet : uint32_t { kPlain = 0, kSse2 = 1, kAvx2 = 2 };

const char* KernelSetName(KernelSet set);

// Whether this build and processor can run the set.
bool KernelSetSupported(KernelSet set);

// The best supported set, limited by the environment variable ZARN_CPU
// ("plain" or "sse2"); probed once.
KernelSet DetectKernelSet();

// Whether reading the time-stamp counter works here (probed once).
bool TimeStampCounterWorks();
uint64_t ReadTimeStampCounter();

// Test hook: -1 restores the probe, 0 or 1 force the answer.
void OverrideTimeStampCounter(int works);

}  // namespace zarn
