// Attenuation in hundredths of a decibel: the table that maps volume and pan
// to attenuations, and the linear gains a mixer applies for them.
#pragma once

#include <cstdint>

namespace zarn {

constexpr int32_t kSilentAttenuation = -10000;  // treated as silence
constexpr int kAttenuationEntries = 128;
constexpr uint32_t kUnityGain = 32768;  // Q15 gain of 1.0

// Entry 0 is -10000; entry i (1..127) is 2000 * log10(i / 127) rounded.
const int32_t* AttenuationTable();

// Attenuation for a volume 0..32767 (larger values count as 32767).
int32_t VolumeAttenuation(uint32_t volume);

// Pan attenuation for a pan 0..65536 (32768 centre): negative attenuates the
// right channel, positive the left; values within +-25 become 0.
int32_t PanAttenuation(uint32_t pan);

// Q15 linear gain of an attenuation: 0 at -10000 or below, kUnityGain at 0
// or above.
uint32_t AttenuationGain(int32_t hundredths);

struct ChannelGains {
    uint32_t left = kUnityGain;
    uint32_t right = kUnityGain;
};

// Gains of the two channels for a volume attenuation and a pan attenuation.
ChannelGains GainsForAttenuation(int32_t volume, int32_t pan);

}  // namespace zarn
