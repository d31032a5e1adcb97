#include "sound/attenuation.h"

#include <array>
#include <cmath>

namespace zarn {

namespace {

std::array<int32_t, kAttenuationEntries> BuildTable() {
    std::array<int32_t, kAttenuationEntries> table{};
    table[0] = kSilentAttenuation;
    for (int i = 1; i < kAttenuationEntries; ++i) {
        table[i] = static_cast<int32_t>(std::lround(2000.0 * std::log10(i / 127.0)));
    }
    return table;
}

}  // namespace

const int32_t* AttenuationTable() {
    static const std::array<int32_t, kAttenuationEntries> table = BuildTable();
    return table.data();
}

int32_t VolumeAttenuation(uint32_t volume) {
    const uint32_t v = volume > 32767 ? 32767 : volume;
    return AttenuationTable()[v * 127 / 32767];
}

int32_t PanAttenuation(uint32_t pan) {
    const int32_t* table = AttenuationTable();
    const uint64_t p = pan > 65536 ? 65536 : pan;
    const uint32_t c = static_cast<uint32_t>((p * 127 + 32768) / 65536);  // 0..127
    int32_t result = 0;
    if (c < 64) {
        result = table[2 * c];
    } else if (c > 64) {
        result = -table[2 * (127 - c)];
    }
    if (result > -25 && result < 25) result = 0;
    return result;
}

uint32_t AttenuationGain(int32_t hundredths) {
    if (hundredths <= kSilentAttenuation) return 0;
    if (hundredths >= 0) return kUnityGain;
    return static_cast<uint32_t>(std::lround(kUnityGain * std::pow(10.0, hundredths / 2000.0)));
}

ChannelGains GainsForAttenuation(int32_t volume, int32_t pan) {
    ChannelGains gains;
    gains.left = AttenuationGain(volume + (pan > 0 ? -pan : 0));
    gains.right = AttenuationGain(volume + (pan < 0 ? pan : 0));
    return gains;
}

}  // namespace zarn
