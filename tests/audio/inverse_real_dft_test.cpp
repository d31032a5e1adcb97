#include "audio/inverse_real_dft.h"

#include "audio/audio_kernels.h"
#include "tests/audio/audio_block_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace zarn {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The transform written out as its sum, in double precision.
std::vector<double> Definition(const std::vector<float>& a) {
    const size_t n = a.size();
    std::vector<double> x(n);
    for (size_t t = 0; t < n; ++t) {
        double sum = 0.5 * (a[0] + ((t & 1) ? -a[1] : a[1]));
        for (size_t k = 1; k < n / 2; ++k) {
            const double angle = 2.0 * kPi * static_cast<double>((k * t) % n) / static_cast<double>(n);
            sum += a[2 * k] * std::cos(angle) + a[2 * k + 1] * std::sin(angle);
        }
        x[t] = sum;
    }
    return x;
}

std::unique_ptr<TransformTables> FreshTables() {
    auto tables = std::make_unique<TransformTables>();
    *tables = TransformTables{};
    return tables;
}

std::vector<float> Transformed(std::vector<float> a, TransformTables* tables) {
    InverseRealDft(static_cast<uint32_t>(a.size()), a.data(), tables);
    return a;
}

std::vector<float> TransformedWith(const AudioKernels& kernels, std::vector<float> a,
                                   TransformTables* tables) {
    InverseRealDftWith(kernels, static_cast<uint32_t>(a.size()), a.data(), tables);
    return a;
}

// Every kernel set this processor can run.
std::vector<const AudioKernels*> KernelSets() {
    std::vector<const AudioKernels*> sets = {&PlainAudioKernels()};
    if (Avx2AudioKernels() != nullptr) sets.push_back(Avx2AudioKernels());
    if (Avx512AudioKernels() != nullptr) sets.push_back(Avx512AudioKernels());
    return sets;
}

std::vector<float> RandomSpectrum(uint32_t n, uint32_t seed) { return test::RandomUnitFloats(n, seed); }

// Largest error relative to the spectrum's energy scale: single precision
// carries about 1e-7 per operation and a transform of n points about log2 n stages.
void ExpectMatchesDefinition(const std::vector<float>& spectrum, const std::vector<float>& got) {
    const std::vector<double> want = Definition(spectrum);
    double scale = 0.0;
    for (float v : spectrum) scale += static_cast<double>(v) * v;
    scale = std::sqrt(scale);
    double worst = 0.0;
    for (size_t t = 0; t < want.size(); ++t) worst = std::max(worst, std::fabs(want[t] - got[t]));
    EXPECT_LT(worst / scale, 2e-6) << "n = " << spectrum.size();
}

TEST(InverseRealDftTest, SingleBinsGiveTheirWaves) {
    for (uint32_t n : {8u, 64u, 512u, 4096u}) {
        auto tables = FreshTables();
        std::vector<float> dc(n, 0.0f), nyquist(n, 0.0f), cosine(n, 0.0f), sine(n, 0.0f);
        dc[0] = 2.0f;
        nyquist[1] = 2.0f;
        cosine[2] = 1.0f;
        sine[3] = 1.0f;
        const auto x_dc = Transformed(dc, tables.get());
        const auto x_ny = Transformed(nyquist, tables.get());
        const auto x_cos = Transformed(cosine, tables.get());
        const auto x_sin = Transformed(sine, tables.get());
        for (uint32_t t = 0; t < n; ++t) {
            const double angle = 2.0 * kPi * t / n;
            ASSERT_NEAR(x_dc[t], 1.0, 1e-6) << n << " " << t;
            ASSERT_NEAR(x_ny[t], (t & 1) ? -1.0 : 1.0, 1e-6) << n << " " << t;
            ASSERT_NEAR(x_cos[t], std::cos(angle), 2e-6) << n << " " << t;
            ASSERT_NEAR(x_sin[t], std::sin(angle), 2e-6) << n << " " << t;
        }
        EXPECT_GT(x_sin[1], 0.0f);  // sine terms have a positive sign
    }
}

TEST(InverseRealDftTest, EveryPowerOfTwoAgreesWithTheSumForEveryKernelSet) {
    for (const AudioKernels* kernels : KernelSets()) {
        SCOPED_TRACE(kernels->name);
        for (uint32_t n = 2; n <= kMaxTransformSize; n *= 2) {
            auto tables = FreshTables();
            const auto spectrum = RandomSpectrum(n, n);
            ExpectMatchesDefinition(spectrum, TransformedWith(*kernels, spectrum, tables.get()));
        }
        // Tables built for the largest size serve every smaller one (strided).
        auto shared = FreshTables();
        TransformedWith(*kernels, RandomSpectrum(kMaxTransformSize, 1), shared.get());
        for (uint32_t n = 2; n < kMaxTransformSize; n *= 2) {
            const auto spectrum = RandomSpectrum(n, 3 * n);
            ExpectMatchesDefinition(spectrum, TransformedWith(*kernels, spectrum, shared.get()));
        }
    }
}

TEST(InverseRealDftTest, EightPointsExactCase) {
    auto tables = FreshTables();
    const std::vector<float> spectrum = {1.5f, -0.25f, 2.0f, -1.0f, 0.5f, 0.75f, -3.0f, 4.0f};
    const auto got = Transformed(spectrum, tables.get());
    const auto want = Definition(spectrum);
    for (size_t t = 0; t < 8; ++t) EXPECT_NEAR(got[t], want[t], 1e-5) << t;
}

TEST(InverseRealDftTest, TablesBuiltOncePerSizeAndRebuiltForLarger) {
    auto tables = FreshTables();
    const auto small = RandomSpectrum(512, 7);
    ExpectMatchesDefinition(small, Transformed(small, tables.get()));
    EXPECT_EQ(tables->scratch[0], 128);
    EXPECT_EQ(tables->scratch[1], 128);

    // A marked entry survives a second call of the same size (no rebuild).
    const float saved = tables->table[100];
    tables->table[100] = 1234.5f;
    Transformed(small, tables.get());
    EXPECT_EQ(tables->table[100], 1234.5f);
    tables->table[100] = saved;

    // Smaller sizes reuse the larger tables.
    const auto smaller = RandomSpectrum(64, 8);
    ExpectMatchesDefinition(smaller, Transformed(smaller, tables.get()));
    EXPECT_EQ(tables->scratch[0], 128);

    // A larger size rebuilds both tables, overwriting the mark.
    tables->table[100] = 1234.5f;
    const auto large = RandomSpectrum(4096, 9);
    ExpectMatchesDefinition(large, Transformed(large, tables.get()));
    EXPECT_EQ(tables->scratch[0], 1024);
    EXPECT_EQ(tables->scratch[1], 1024);
    EXPECT_NE(tables->table[100], 1234.5f);

    // After the rebuild every smaller size still agrees.
    for (uint32_t n = 2; n < 4096; n *= 2) {
        const auto spectrum = RandomSpectrum(n, n + 1);
        ExpectMatchesDefinition(spectrum, Transformed(spectrum, tables.get()));
    }
}

TEST(InverseRealDftTest, UnsupportedSizesLeaveDataAlone) {
    auto tables = FreshTables();
    for (uint32_t n : {0u, 1u, 3u, 12u, 8192u}) {
        std::vector<float> a(n, 1.0f);
        InverseRealDft(n, a.data(), tables.get());
        for (float v : a) EXPECT_EQ(v, 1.0f);
    }
    EXPECT_EQ(tables->scratch[0], 0);
}

}  // namespace
}  // namespace zarn
