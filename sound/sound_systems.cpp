#include "sound/default_sound_system.h"
#include "sound/direct_sound_output.h"
#include "sound/wave_out_output.h"

namespace zarn {

SoundStartOp DefaultSoundSystem(bool use_waveout) { return use_waveout ? StartWaveOut : StartDirectSound; }

}  // namespace zarn
