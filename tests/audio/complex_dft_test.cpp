// The complex DFT of every kernel set against its sum, for every size and for
// twiddle tables built for larger sizes (read with a stride).
#include "audio/complex_dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "audio/audio_kernels.h"

namespace zarn {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<std::complex<double>> PositiveDft(const std::vector<float>& x) {
    const size_t points = x.size() / 2;
    std::vector<std::complex<double>> out(points);
    for (size_t k = 0; k < points; ++k) {
        std::complex<double> sum = 0.0;
        for (size_t p = 0; p < points; ++p) {
            const double angle =
                2.0 * kPi * static_cast<double>((p * k) % points) / static_cast<double>(points);
            sum += std::complex<double>(x[2 * p], x[2 * p + 1]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

std::vector<const AudioKernels*> KernelSets() {
    std::vector<const AudioKernels*> sets = {&PlainAudioKernels()};
    if (Avx2AudioKernels() != nullptr) sets.push_back(Avx2AudioKernels());
    if (Avx512AudioKernels() != nullptr) sets.push_back(Avx512AudioKernels());
    return sets;
}

TEST(ComplexDftTest, EverySizeAndTableStrideAgreesWithTheSum) {
    constexpr uint32_t kLargest = 2048;
    std::vector<float> twiddles(kLargest / 2);
    std::vector<int32_t> scratch(254);
    for (const AudioKernels* kernels : KernelSets()) {
        SCOPED_TRACE(kernels->name);
        for (uint32_t points = 2; points <= kLargest; points *= 2) {
            for (uint32_t table_points : {points, kLargest}) {
                SCOPED_TRACE(testing::Message() << points << " points, table of " << table_points);
                BuildDftTwiddles(twiddles.data(), table_points);
                std::mt19937 rng(points + table_points);
                std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
                std::vector<float> x(2 * points);
                for (float& v : x) v = dist(rng);
                const auto want = PositiveDft(x);
                kernels->complex_dft(*kernels, x.data(), points, twiddles.data(), table_points,
                                     scratch.data());
                double worst = 0.0;
                for (uint32_t k = 0; k < points; ++k) {
                    worst = std::max(worst, std::abs(want[k] - std::complex<double>(x[2 * k], x[2 * k + 1])));
                }
                // Inputs of magnitude 1: outputs about sqrt(points), error a few units of 1e-7 per stage.
                EXPECT_LT(worst, 2e-6 * std::sqrt(static_cast<double>(points)) * std::log2(2.0 * points));
            }
        }
    }
}

// A SIMD set's whole-transform entry may run its own schedule, but the decoded
// sound must not change with it: its results equal, bit for bit, those of the
// generic split-radix path through the same set's butterflies and leaves.
// (The plain set's entry is a different factorisation, checked above.)
TEST(ComplexDftTest, SimdSchedulesEqualTheirGenericPathBitForBit) {
    constexpr uint32_t kLargest = 2048;
    std::vector<float> twiddles(kLargest / 2);
    std::vector<int32_t> scratch(254);
    for (const AudioKernels* kernels : KernelSets()) {
        if (kernels == &PlainAudioKernels()) continue;
        for (uint32_t points = 2; points <= kLargest; points *= 2) {
            for (uint32_t table_points : {points, kLargest}) {
                BuildDftTwiddles(twiddles.data(), table_points);
                std::mt19937 rng(7 * points + table_points);
                std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
                std::vector<float> fast(2 * points);
                for (float& v : fast) v = dist(rng);
                std::vector<float> generic = fast;
                kernels->complex_dft(*kernels, fast.data(), points, twiddles.data(), table_points,
                                     scratch.data());
                ComplexDftPositive(*kernels, generic.data(), points, twiddles.data(), table_points,
                                   scratch.data());
                ASSERT_EQ(fast, generic)
                    << kernels->name << " " << points << " points, table of " << table_points;
            }
        }
    }
}

TEST(ComplexDftTest, SingleImpulseGivesItsWaveInNaturalOrder) {
    constexpr uint32_t kPoints = 512;
    std::vector<float> twiddles(kPoints / 2);
    BuildDftTwiddles(twiddles.data(), kPoints);
    std::vector<int32_t> scratch(254);
    for (const AudioKernels* kernels : KernelSets()) {
        for (uint32_t position : {1u, 5u, 130u, 511u}) {
            std::vector<float> x(2 * kPoints, 0.0f);
            x[2 * position] = 1.0f;
            kernels->complex_dft(*kernels, x.data(), kPoints, twiddles.data(), kPoints, scratch.data());
            for (uint32_t k = 0; k < kPoints; ++k) {
                const double angle = 2.0 * kPi * ((position * k) % kPoints) / kPoints;
                ASSERT_NEAR(x[2 * k], std::cos(angle), 1e-5) << kernels->name << " " << position << " " << k;
                ASSERT_NEAR(x[2 * k + 1], std::sin(angle), 1e-5)
                    << kernels->name << " " << position << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace zarn
