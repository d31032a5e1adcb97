// The sound back end the player installs: waveOut when asked for (/Z), else
// the ring back end (DirectSound on Windows, SDL elsewhere).
#pragma once

#include "engine/sound_output.h"

namespace zarn {

// waveOut with /Z, else the ring back end.
SoundStartOp DefaultSoundSystem(bool use_waveout);

}  // namespace zarn
