// The header-queue back end's device on SDL: written headers go into a
// single-producer single-consumer queue that the SDL audio callback plays
// in order, marking each header done once it has played it.
#pragma once

#include "sound/wave_device.h"

namespace zarn {

// The SDL system: each Open initialises SDL's audio subsystem and opens one
// SDL audio device; Close undoes both.
WaveSystem* SdlWaveSystem();

}  // namespace zarn
