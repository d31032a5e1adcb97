// EngineSettings: process-wide one-shot values the player sets before open.
//
// Each of the first four is used by the next open that is given its flag,
// and is then set back to -1 (the sound track by every open that gets as
// far as choosing a track).
#pragma once

#include <cstdint>

#include "engine/sound_output.h"

namespace zarn {

constexpr uint32_t kSettingUnset = 0xFFFFFFFFu;

struct EngineSettings {
    uint32_t rate_override_num = kSettingUnset;
    uint32_t rate_override_den = kSettingUnset;
    uint32_t read_ahead_size = kSettingUnset;
    uint32_t read_speed = kSettingUnset;
    uint32_t sound_track = kSettingUnset;
    SoundStartOp sound_start = nullptr;
    SoundOpenOp sound_open = nullptr;
    uint32_t movies_with_sound = 0;  // only ever grows
};

EngineSettings& Settings();

void SetFrameRateOverride(uint32_t numerator, uint32_t denominator);
void SetReadAheadSize(uint32_t bytes);
void SetSimulatedReadSpeed(uint32_t bytes_per_second);
void SetSoundTrack(uint32_t track_id);

// Installs a sound back end. Returns 1 when a sound-open operation is
// installed (now or from before), 0 otherwise. A different back end cannot
// replace one once any movie has opened sound.
int32_t SetSoundSystem(SoundStartOp start, void* argument);

// Puts every setting back to its state at process start (for tests).
void ResetEngineSettings();

}  // namespace zarn
