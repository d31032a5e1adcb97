// The attenuation table, the volume and pan mappings and the gains a mixer
// applies for them.
#include "sound/attenuation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "sound/pcm_gain.h"

namespace zarn {
namespace {

TEST(Attenuation, TableFollowsItsFormula) {
    const int32_t* table = AttenuationTable();
    EXPECT_EQ(table[0], -10000);
    for (int i = 1; i < kAttenuationEntries; ++i) {
        const double exact = 2000.0 * std::log10(i / 127.0);
        EXPECT_LE(std::fabs(table[i] - exact), 0.5) << i;
        if (i > 1) {
            EXPECT_GT(table[i], table[i - 1]) << i;
        }
    }
    EXPECT_EQ(table[1], -4208);
    EXPECT_EQ(table[2], -3606);
    EXPECT_EQ(table[3], -3253);
    EXPECT_EQ(table[125], -14);
    EXPECT_EQ(table[126], -7);
    EXPECT_EQ(table[127], 0);
}

TEST(Attenuation, VolumeAndPanMappings) {
    EXPECT_EQ(VolumeAttenuation(0), -10000);
    EXPECT_EQ(VolumeAttenuation(258), -10000);  // 258 * 127 / 32767 = 0
    EXPECT_EQ(VolumeAttenuation(259), -4208);
    EXPECT_EQ(VolumeAttenuation(32767), 0);
    EXPECT_EQ(VolumeAttenuation(0xFFFFFFFF), 0);
    EXPECT_EQ(PanAttenuation(0), -10000);
    EXPECT_EQ(PanAttenuation(32767), 0);
    EXPECT_EQ(PanAttenuation(32768), 0);
    EXPECT_EQ(PanAttenuation(65536), 10000);
    EXPECT_EQ(PanAttenuation(0xFFFFFFFF), 10000);
    // c = 62 is entry 124 (-21): inside the dead zone. c = 61 is entry 122 (-35).
    EXPECT_EQ(PanAttenuation(62 * 65536 / 127), 0);
    EXPECT_EQ(PanAttenuation(61 * 65536 / 127), -35);
    EXPECT_EQ(PanAttenuation(65536 - 61 * 65536 / 127), 35);
    // Pan is symmetric around the centre.
    for (uint32_t p = 0; p <= 32768; p += 1024) {
        EXPECT_EQ(PanAttenuation(p), -PanAttenuation(65536 - p)) << p;
    }
}

TEST(Attenuation, GainsOfAttenuations) {
    EXPECT_EQ(AttenuationGain(0), kUnityGain);
    EXPECT_EQ(AttenuationGain(300), kUnityGain);
    EXPECT_EQ(AttenuationGain(-10000), 0u);
    EXPECT_EQ(AttenuationGain(-20000), 0u);
    EXPECT_EQ(AttenuationGain(-600), 16423u);  // -6 dB: about one half
    const ChannelGains left_only = GainsForAttenuation(0, -10000);
    EXPECT_EQ(left_only.left, kUnityGain);
    EXPECT_EQ(left_only.right, 0u);
    const ChannelGains right_only = GainsForAttenuation(-600, 10000);
    EXPECT_EQ(right_only.left, 0u);
    EXPECT_EQ(right_only.right, 16423u);
}

TEST(PcmGain, ScalesEachChannelAroundItsSilence) {
    const int16_t source[4] = {1000, -1000, 32767, -32768};
    int16_t samples[4];
    std::memcpy(samples, source, sizeof samples);
    ApplyGains(reinterpret_cast<uint8_t*>(samples), sizeof samples, 16, 2, kUnityGain / 2, 0);
    EXPECT_EQ(samples[0], 500);
    EXPECT_EQ(samples[1], 0);
    EXPECT_EQ(samples[2], 16383);
    EXPECT_EQ(samples[3], 0);

    std::memcpy(samples, source, sizeof samples);
    ApplyGains(reinterpret_cast<uint8_t*>(samples), sizeof samples, 16, 1, kUnityGain / 2, 0);
    EXPECT_EQ(samples[1], -500);  // mono: every sample takes the left gain
    EXPECT_EQ(samples[3], -16384);

    std::memcpy(samples, source, sizeof samples);
    ApplyGains(reinterpret_cast<uint8_t*>(samples), sizeof samples, 16, 2, kUnityGain, kUnityGain);
    EXPECT_EQ(std::memcmp(samples, source, sizeof samples), 0);

    uint8_t bytes[4] = {0x00, 0xFF, 0x80, 0xC0};
    ApplyGains(bytes, 4, 8, 2, kUnityGain / 2, 0);
    EXPECT_EQ(bytes[0], 0x40);
    EXPECT_EQ(bytes[1], 0x80);
    EXPECT_EQ(bytes[2], 0x80);
    EXPECT_EQ(bytes[3], 0x80);
}

}  // namespace
}  // namespace zarn
