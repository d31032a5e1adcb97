// Every kernel of every set against the portable one, each writing only
// inside its buffers: the PCM, coefficient and permutation kernels give
// identical values, the transform kernels agree to rounding, and the AVX-512
// set's whole transform equals the AVX2 set's bit for bit (so the decoded
// sound does not depend on which of the two runs).
#include "audio/audio_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/complex_dft.h"
#include "audio/inverse_real_dft.h"
#include "tests/audio/audio_block_builder.h"

namespace zarn {
namespace {

std::vector<const AudioKernels*> SimdSets() {
    std::vector<const AudioKernels*> sets;
    for (const AudioKernels* set : {Avx2AudioKernels(), Avx512AudioKernels()})
        if (set != nullptr) sets.push_back(set);
    return sets;
}

// `count` values with guard values on both sides, all set to a marker that
// no kernel writes.
template <class T>
class Guarded {
public:
    static constexpr size_t kGuard = 64;
    Guarded(size_t count, T marker) : storage_(count + 2 * kGuard, marker), count_(count), marker_(marker) {}
    T* Data() { return storage_.data() + kGuard; }
    std::vector<T> Values() const {
        return std::vector<T>(storage_.begin() + kGuard, storage_.begin() + kGuard + count_);
    }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (std::memcmp(&storage_[i], &marker_, sizeof(T)) != 0) return false;
            if (std::memcmp(&storage_[kGuard + count_ + i], &marker_, sizeof(T)) != 0) return false;
        }
        return true;
    }

private:
    std::vector<T> storage_;
    size_t count_;
    T marker_;
};

constexpr float kMarker = -12345.5f;
constexpr int32_t kScratchMarker = 0x5A5A5A5A;

Guarded<float> GuardedCopy(const std::vector<float>& values) {
    Guarded<float> g(values.size(), kMarker);
    std::copy(values.begin(), values.end(), g.Data());
    return g;
}

// Largest difference relative to the largest magnitude of the reference.
double RelativeError(const std::vector<float>& want, const std::vector<float>& got) {
    double worst = 0.0, scale = 1e-30;
    for (size_t i = 0; i < want.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(want[i]) - got[i]));
        scale = std::max(scale, std::fabs(static_cast<double>(want[i])));
    }
    return worst / scale;
}

uint32_t ScratchEntries(uint32_t points) {
    return std::max(points / 16, static_cast<uint32_t>(std::ceil(std::sqrt(2.0 * points))));
}

TEST(AudioKernelsTest, ActiveSetIsTheBestTheCapAllows) {
    const AudioKernels& active = ActiveAudioKernels();
    const char* forced = std::getenv("ZARN_CPU");
    const std::string cap = forced != nullptr ? forced : "";
    const AudioKernels* want = &PlainAudioKernels();
    if (cap != "plain" && cap != "sse2") {
        if (Avx2AudioKernels() != nullptr) want = Avx2AudioKernels();
        if (cap == "avx512" && Avx512AudioKernels() != nullptr) want = Avx512AudioKernels();
    }
    EXPECT_EQ(&active, want) << active.name << " under ZARN_CPU=" << cap;
    // AVX-512 machines have AVX2: the AVX-512 set may lean on AVX2 kernels.
    if (Avx512AudioKernels() != nullptr) {
        EXPECT_NE(Avx2AudioKernels(), nullptr);
    }
}

TEST(AudioKernelsTest, PcmConversionIdenticalAcrossSets) {
    if (SimdSets().empty()) GTEST_SKIP() << "no second kernel set on this processor";
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
    for (const AudioKernels* set : SimdSets()) {
        for (uint32_t count : {4096u + 5u, 4096u, 7u}) {
            for (float scale : {1.0f, 0.03125f, 0.044194173f, 0.7f}) {
                Guarded<int16_t> plain(count, 0x7A7A), fast(count, 0x7A7A);
                PlainAudioKernels().convert_to_pcm(a.data(), count, scale, plain.Data());
                set->convert_to_pcm(a.data(), count, scale, fast.Data());
                ASSERT_EQ(plain.Values(), fast.Values()) << set->name << " " << count << " " << scale;
                ASSERT_TRUE(fast.GuardsIntact()) << set->name << " " << count;
                if (scale == 1.0f) {
                    const std::vector<int16_t> fixed = {2,     4,      -2,    -4,     0,     0,
                                                        32767, -32768, 32767, -32768, 32767, -32768};
                    const std::vector<int16_t> got = fast.Values();
                    EXPECT_EQ(std::vector<int16_t>(got.begin(), got.begin() + 7),
                              std::vector<int16_t>(fixed.begin(), fixed.begin() + 7));
                }
            }
        }
    }
}

TEST(AudioKernelsTest, CoefficientScalingIdenticalAcrossSets) {
    if (SimdSets().empty()) GTEST_SKIP() << "no second kernel set on this processor";
    std::vector<int16_t> in(203);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int16_t>((static_cast<int>(i) * 7919) % 65536 - 32768);
    for (const AudioKernels* set : SimdSets()) {
        for (uint32_t count : {0u, 3u, 8u, 203u}) {
            Guarded<float> plain(count, kMarker), fast(count, kMarker);
            PlainAudioKernels().scale_coefficients(in.data(), count, 98.17f, plain.Data());
            set->scale_coefficients(in.data(), count, 98.17f, fast.Data());
            EXPECT_EQ(plain.Values(), fast.Values()) << set->name << " " << count;
            EXPECT_TRUE(fast.GuardsIntact()) << set->name << " " << count;
        }
    }
}

// The transform's kernels one by one, at every size they take and with
// tables built for larger sizes (read with a stride).
TEST(AudioKernelsTest, TransformKernelsAgreeWithPlainInsideTheirBuffers) {
    if (SimdSets().empty()) GTEST_SKIP() << "no second kernel set on this processor";
    constexpr uint32_t kLargest = 2048;  // complex points of the largest transform
    const AudioKernels& plain = PlainAudioKernels();
    std::vector<float> twiddles(kLargest / 2);
    std::vector<float> split_table(kMaxTransformSize / 4);
    for (const AudioKernels* set : SimdSets()) {
        SCOPED_TRACE(set->name);
        for (uint32_t points = 2; points <= kLargest; points *= 2) {
            for (uint32_t table_points : {points, kLargest}) {
                SCOPED_TRACE(testing::Message() << points << " points, table of " << table_points);
                BuildDftTwiddles(twiddles.data(), table_points);
                const std::vector<float> input = test::RandomUnitFloats(2 * points, points + table_points);
                const uint32_t scratch_entries = ScratchEntries(points);
                using Run = void (*)(const AudioKernels&, float*, const float*, uint32_t, uint32_t, int32_t*);
                struct Case {
                    const char* kernel;
                    bool applies;
                    bool exact;
                    Run run;
                };
                const Case cases[] = {
                    {"complex_dft", true, false,
                     [](const AudioKernels& k, float* x, const float* t, uint32_t p, uint32_t tp,
                        int32_t* s) { k.complex_dft(k, x, p, t, tp, s); }},
                    {"split_level", points >= 32, false,
                     [](const AudioKernels& k, float* x, const float* t, uint32_t p, uint32_t tp, int32_t*) {
                         k.split_level(x, p, t, tp / p);
                     }},
                    {"leaf16", points == 16, false,
                     [](const AudioKernels& k, float* x, const float*, uint32_t, uint32_t, int32_t*) {
                         k.leaf16(x);
                     }},
                    {"leaf8", points == 8, false,
                     [](const AudioKernels& k, float* x, const float*, uint32_t, uint32_t, int32_t*) {
                         k.leaf8(x);
                     }},
                    {"bit_reverse", true, true,
                     [](const AudioKernels& k, float* x, const float*, uint32_t p, uint32_t, int32_t* s) {
                         k.bit_reverse(x, p, s);
                     }},
                };
                for (const Case& c : cases) {
                    if (!c.applies) continue;
                    Guarded<float> want = GuardedCopy(input), got = GuardedCopy(input);
                    Guarded<int32_t> want_scratch(scratch_entries, kScratchMarker);
                    Guarded<int32_t> got_scratch(scratch_entries, kScratchMarker);
                    c.run(plain, want.Data(), twiddles.data(), points, table_points, want_scratch.Data());
                    c.run(*set, got.Data(), twiddles.data(), points, table_points, got_scratch.Data());
                    if (c.exact) {
                        EXPECT_EQ(want.Values(), got.Values()) << c.kernel;
                    } else {
                        EXPECT_LT(RelativeError(want.Values(), got.Values()), 1e-5) << c.kernel;
                    }
                    EXPECT_TRUE(got.GuardsIntact()) << c.kernel;
                    EXPECT_TRUE(got_scratch.GuardsIntact()) << c.kernel;
                }
            }
        }
        // The real split of n values, with half-cosine tables of n and of the largest size.
        for (uint32_t n = 8; n <= kMaxTransformSize; n *= 2) {
            for (uint32_t table_n : {n, kMaxTransformSize}) {
                const uint32_t quarter = table_n / 4;
                for (uint32_t k = 0; k < quarter; ++k)
                    split_table[k] =
                        static_cast<float>(0.5 * std::cos(2.0 * 3.14159265358979323846 * k / table_n));
                const std::vector<float> input = test::RandomUnitFloats(n, n + table_n);
                Guarded<float> want = GuardedCopy(input), got = GuardedCopy(input);
                plain.real_split(n, want.Data(), split_table.data(), quarter);
                set->real_split(n, got.Data(), split_table.data(), quarter);
                EXPECT_LT(RelativeError(want.Values(), got.Values()), 1e-5)
                    << "real_split " << n << " " << table_n;
                EXPECT_TRUE(got.GuardsIntact()) << "real_split " << n << " " << table_n;
            }
        }
    }
}

TEST(AudioKernelsTest, Avx512TransformEqualsAvx2BitForBit) {
    const AudioKernels* avx512 = Avx512AudioKernels();
    if (avx512 == nullptr) GTEST_SKIP() << "no AVX-512 on this processor";
    for (uint32_t n = 2; n <= kMaxTransformSize; n *= 2) {
        auto avx2_tables = std::make_unique<TransformTables>();
        auto avx512_tables = std::make_unique<TransformTables>();
        for (uint32_t seed = 0; seed < 3; ++seed) {
            const std::vector<float> input = test::RandomUnitFloats(n, 31 * n + seed);
            Guarded<float> want = GuardedCopy(input), got = GuardedCopy(input);
            InverseRealDftWith(*Avx2AudioKernels(), n, want.Data(), avx2_tables.get());
            InverseRealDftWith(*avx512, n, got.Data(), avx512_tables.get());
            ASSERT_EQ(want.Values(), got.Values()) << n;
            EXPECT_TRUE(got.GuardsIntact()) << n;
        }
    }
}

}  // namespace
}  // namespace zarn
