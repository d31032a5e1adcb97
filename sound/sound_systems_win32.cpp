#include "sound/default_sound_system.h"
#include "sound/wave_out_output.h"

namespace zarn {

// The ring back end has no Win32 device yet: waveOut serves both choices.
SoundStartOp DefaultSoundSystem(bool) { return StartWaveOut; }

}  // namespace zarn
