// ZARN_CPU=plain forces the plain routines into every descriptor.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/cpu_features.h"
#include "convert/descriptors.h"

namespace zarn {
namespace {

TEST(CpuSelection, EnvironmentForcesPlain) {
    // The set is probed once, on first use: this binary uses it here first.
    ASSERT_EQ(setenv("ZARN_CPU", "plain", 1), 0);
    EXPECT_EQ(DetectKernelSet(), KernelSet::kPlain);
    EXPECT_EQ(InstalledKernelSet(), KernelSet::kPlain);
    for (const ConvertDescriptor& d : g_descriptors) {
        for (int s = 0; s < 6; ++s) {
            EXPECT_EQ(d.groups[6 + s].routine, d.groups[s].routine);
            EXPECT_EQ(d.groups[6 + s].step, 2u);
        }
    }
    // An explicit install still reaches a supported SIMD set (tests, benchmarks).
    if (KernelSetSupported(KernelSet::kSse2)) {
        ASSERT_TRUE(InstallKernelSet(KernelSet::kSse2));
        EXPECT_NE(g_descriptors[0].groups[6].routine, g_descriptors[0].groups[0].routine);
        EXPECT_EQ(g_descriptors[0].groups[6].step, 4u);
    }
}

// One parser of ZARN_CPU for every stage: each value caps the features.
TEST(CpuSelection, EachCapValueAllowsItsFeatures) {
    EXPECT_EQ(AllowedFeatures("plain"), 0u);
    EXPECT_EQ(AllowedFeatures("sse2"), uint32_t{kCpuSse2});
    EXPECT_EQ(AllowedFeatures("avx2") & (kCpuSse2 | kCpuAvx2 | kCpuFma),
              uint32_t{kCpuSse2 | kCpuAvx2 | kCpuFma});
    EXPECT_EQ(AllowedFeatures("avx2") & kCpuAvx512, 0u);
    EXPECT_EQ(AllowedFeatures(nullptr), AllowedFeatures("avx512"));
    EXPECT_EQ(FeaturesOf(KernelSet::kAvx2), uint32_t{kCpuSse2 | kCpuAvx2});
    EXPECT_EQ(FeaturesOf(KernelSet::kAvx512), uint32_t{kCpuSse2 | kCpuAvx2 | kCpuAvx512});
}

TEST(CpuSelection, DescriptorSharing) {
    ASSERT_TRUE(InstallKernelSet(KernelSet::kPlain));
    const auto& d = g_descriptors;
    // Grey routines shared by the 32-bit descriptors, and by the 24-bit pair.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(d[i].groups[kGroupGrey].routine, d[0].groups[kGroupGrey].routine);
    EXPECT_EQ(d[5].groups[kGroupGrey].routine, d[4].groups[kGroupGrey].routine);
    // Width-doubled colour of the alpha layouts comes from their plain twins.
    EXPECT_EQ(d[2].groups[kGroupWideColourEven].routine, d[0].groups[kGroupWideColourEven].routine);
    EXPECT_EQ(d[3].groups[kGroupWideColourOdd].routine, d[1].groups[kGroupWideColourOdd].routine);
    EXPECT_EQ(d[7].groups[kGroupWideColourEven].routine, d[6].groups[kGroupWideColourEven].routine);
    EXPECT_EQ(d[8].pairs[kPairColour].edge, d[7].pairs[kPairColour].edge);
    EXPECT_EQ(d[3].pairs[kPairWideColour].edge, d[1].pairs[kPairWideColour].edge);
    // Packed YUV: one routine for even and odd starts.
    for (int i : {9, 10}) {
        EXPECT_EQ(d[i].groups[kGroupColourEven].routine, d[i].groups[kGroupColourOdd].routine);
        EXPECT_EQ(d[i].groups[kGroupWideColourEven].routine, d[i].groups[kGroupWideColourOdd].routine);
    }
    const uint32_t bytes[] = {4, 4, 4, 4, 3, 3, 2, 2, 2, 2, 2};
    for (int i = 0; i < kDescriptorCount; ++i) EXPECT_EQ(d[i].bytes_per_pixel, bytes[i]);
}

}  // namespace
}  // namespace zarn
