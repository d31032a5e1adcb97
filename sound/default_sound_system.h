// The sound back end the player installs: waveOut when asked for (/Z), else
// the ring back end where this build has one.
#pragma once

#include "engine/sound_output.h"

namespace zarn {

// sound_systems_sdl.cpp or sound_systems_win32.cpp, chosen at build time.
SoundStartOp DefaultSoundSystem(bool use_waveout);

}  // namespace zarn
