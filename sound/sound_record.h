// Helpers on the engine's SoundOutput record shared by both back ends.
#pragma once

#include "engine/sound_output.h"

namespace zarn {

// Sets every field of the record to zero / none.
void ClearSoundOutput(SoundOutput* sound);

}  // namespace zarn
