// The ring back end's device on SDL: a looping buffer in memory played round
// and round by the SDL audio callback from an atomic play cursor.
#pragma once

#include "sound/ring_device.h"

namespace zarn {

// Initialises SDL's audio subsystem and returns the SDL sound system, or
// null when no audio driver works. Each Release quits the subsystem once.
RingSystem* CreateSdlRingSystem();

}  // namespace zarn
