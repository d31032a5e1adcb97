// The one process-wide sound system shared by every ring back-end record: a
// reference count over the system, created on first use when owned here.
#pragma once

#include <cstdint>

#include "sound/ring_device.h"

namespace zarn {

struct SharedSoundDevice {
    RingSystem* device = nullptr;
    uint32_t device_set = 0;  // 0 until a start operation set `device`
    uint32_t owned = 0;       // the system is created and released here
    RingSystemCreate create = nullptr;
    uint32_t users = 0;
    uint32_t emulated = 0;
};

// The process-wide record (touched from one thread at a time).
SharedSoundDevice& SharedDevice();

// Counts one more user; creates the owned system for the first one.
// Returns false (and leaves no count behind) when no system is available.
bool AcquireSharedDevice(SharedSoundDevice* shared);

// Counts one user less; the last one releases an owned system.
void ReleaseSharedDevice(SharedSoundDevice* shared);

}  // namespace zarn
