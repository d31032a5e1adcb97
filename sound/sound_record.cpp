#include "sound/sound_record.h"

namespace zarn {

void ClearSoundOutput(SoundOutput* sound) {
    sound->ready = nullptr;
    sound->get_buffer = nullptr;
    sound->commit = nullptr;
    sound->set_volume = nullptr;
    sound->set_pan = nullptr;
    sound->set_paused = nullptr;
    sound->set_on = nullptr;
    sound->close = nullptr;
    sound->chunk_bytes = 0;
    sound->underrun.store(0);
    sound->on = 0;
    sound->latency_ms = 0;
    sound->rate = 0;
    sound->bits = 0;
    sound->channels = 0;
    sound->backend = nullptr;
}

}  // namespace zarn
