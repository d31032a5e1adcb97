#include "engine/engine_settings.h"

namespace zarn {

EngineSettings& Settings() {
    static EngineSettings settings;
    return settings;
}

void SetFrameRateOverride(uint32_t numerator, uint32_t denominator) {
    Settings().rate_override_num = numerator;
    Settings().rate_override_den = denominator;
}

void SetReadAheadSize(uint32_t bytes) { Settings().read_ahead_size = bytes; }

void SetSimulatedReadSpeed(uint32_t bytes_per_second) { Settings().read_speed = bytes_per_second; }

void SetSoundTrack(uint32_t track_id) { Settings().sound_track = track_id; }

int32_t SetSoundSystem(SoundStartOp start, void* argument) {
    EngineSettings& s = Settings();
    if (!start) return 0;
    if (s.sound_start && s.sound_start != start && s.movies_with_sound > 0) return 0;
    s.sound_start = start;
    if (SoundOpenOp open = start(argument)) s.sound_open = open;
    return s.sound_open ? 1 : 0;
}

void ResetEngineSettings() { Settings() = EngineSettings{}; }

}  // namespace zarn
