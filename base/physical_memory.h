// The machine's physical memory, for the engine's memory limit.
#pragma once

#include <cstdint>

namespace zarn {

// Bytes of physical memory, or 0 when the system does not say.
uint64_t PhysicalMemoryBytes();

}  // namespace zarn
