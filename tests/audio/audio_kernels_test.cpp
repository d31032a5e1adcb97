// Every kernel set gives the same PCM and coefficient values as the portable one.
#include "audio/audio_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <random>
#include <vector>

namespace zarn {
namespace {

TEST(AudioKernelsTest, ActiveSetIsOneOfTheKnownSets) {
    const AudioKernels& active = ActiveAudioKernels();
    EXPECT_TRUE(&active == &PlainAudioKernels() || &active == Avx2AudioKernels()) << active.name;
    const char* forced = std::getenv("ZARN_CPU");
    if (forced != nullptr && std::string(forced) == "plain") {
        EXPECT_EQ(&active, &PlainAudioKernels());
    } else if (Avx2AudioKernels() != nullptr) {
        EXPECT_EQ(&active, Avx2AudioKernels());
    }
}

TEST(AudioKernelsTest, PcmConversionIdenticalAcrossSets) {
    const AudioKernels* avx2 = Avx2AudioKernels();
    if (avx2 == nullptr) GTEST_SKIP() << "no second kernel set on this processor";
    std::mt19937 rng(5);
    std::vector<float> a;
    for (float v :
         {2.5f, 3.5f, -2.5f, -3.5f, 0.5f, -0.5f, 32767.5f, -32768.5f, 40000.0f, -40000.0f, 1e25f, -1e25f})
        a.push_back(v);
    std::uniform_real_distribution<float> wide(-60000.0f, 60000.0f);
    while (a.size() < 4096 + 5) {
        // Halves and near-halves after scaling stress the rounding.
        const float v = wide(rng);
        a.push_back(v);
        a.push_back(std::nearbyint(v) + 0.5f);
    }
    for (float scale : {1.0f, 0.03125f, 0.044194173f, 0.7f}) {
        std::vector<int16_t> plain(a.size()), fast(a.size());
        PlainAudioKernels().convert_to_pcm(a.data(), static_cast<uint32_t>(a.size()), scale, plain.data());
        avx2->convert_to_pcm(a.data(), static_cast<uint32_t>(a.size()), scale, fast.data());
        ASSERT_EQ(plain, fast) << scale;
        if (scale == 1.0f) {
            const std::vector<int16_t> fixed = {2,     4,      -2,    -4,     0,     0,
                                                32767, -32768, 32767, -32768, 32767, -32768};
            EXPECT_EQ(std::vector<int16_t>(fast.begin(), fast.begin() + 12), fixed);
        }
    }
}

TEST(AudioKernelsTest, CoefficientScalingIdenticalAcrossSets) {
    const AudioKernels* avx2 = Avx2AudioKernels();
    if (avx2 == nullptr) GTEST_SKIP() << "no second kernel set on this processor";
    std::vector<int16_t> in(203);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int16_t>((static_cast<int>(i) * 7919) % 65536 - 32768);
    for (uint32_t count : {0u, 3u, 8u, 203u}) {
        std::vector<float> plain(count, -1.0f), fast(count, -2.0f);
        PlainAudioKernels().scale_coefficients(in.data(), count, 98.17f, plain.data());
        avx2->scale_coefficients(in.data(), count, 98.17f, fast.data());
        EXPECT_EQ(plain, fast) << count;
    }
}

}  // namespace
}  // namespace zarn
