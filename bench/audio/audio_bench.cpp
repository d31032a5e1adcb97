// Inverse real transform against FFTW's single-precision complex-to-real
// transform, and audio block decoding of 44.1 kHz stereo.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_kernels.h"
#include "audio/inverse_real_dft.h"
#include "tests/audio/audio_block_builder.h"

namespace {

std::vector<float> RandomSpectrum(uint32_t n) {
    std::mt19937 rng(n);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> a(n);
    for (float& v : a) v = dist(rng);
    return a;
}

// One inverse transform of n = range(0) points, repeated, with `kernels`
// (nullptr: the set chosen at run time, as the decoder uses it).
void RunInverseRealDft(benchmark::State& state, const zarn::AudioKernels* kernels) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const std::vector<float> spectrum = RandomSpectrum(n);
    auto tables = std::make_unique<zarn::TransformTables>();
    alignas(64) static float a[zarn::kMaxTransformSize];
    const zarn::AudioKernels& set = kernels != nullptr ? *kernels : zarn::ActiveAudioKernels();
    state.SetLabel(set.name);
    std::memcpy(a, spectrum.data(), n * sizeof(float));
    zarn::InverseRealDftWith(set, n, a, tables.get());  // builds the tables
    for (auto _ : state) {
        std::memcpy(a, spectrum.data(), n * sizeof(float));
        zarn::InverseRealDftWith(set, n, a, tables.get());
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
}

// The kernel set chosen at run time (capped by ZARN_CPU).
void BM_InverseRealDft(benchmark::State& state) { RunInverseRealDft(state, nullptr); }

// Each level by name, whatever ZARN_CPU says, so one run compares them all.
void BM_InverseRealDftPlain(benchmark::State& state) { RunInverseRealDft(state, &zarn::PlainAudioKernels()); }

void BM_InverseRealDftAvx2(benchmark::State& state) {
    if (zarn::Avx2AudioKernels() == nullptr) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    RunInverseRealDft(state, zarn::Avx2AudioKernels());
}

void BM_InverseRealDftAvx512(benchmark::State& state) {
    if (zarn::Avx512AudioKernels() == nullptr) {
        state.SkipWithError("no AVX-512 on this processor");
        return;
    }
    RunInverseRealDft(state, zarn::Avx512AudioKernels());
}

// Same spectrum in FFTW's layout: n/2 + 1 complex bins, conjugated sine parts.
void BM_FftwComplexToReal(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const std::vector<float> spectrum = RandomSpectrum(n);
    auto* input = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (n / 2 + 1)));
    auto* scratch = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (n / 2 + 1)));
    auto* output = static_cast<float*>(fftwf_malloc(sizeof(float) * n));
    fftwf_plan plan = fftwf_plan_dft_c2r_1d(static_cast<int>(n), scratch, output, FFTW_MEASURE);
    input[0][0] = spectrum[0];
    input[0][1] = 0.0f;
    input[n / 2][0] = spectrum[1];
    input[n / 2][1] = 0.0f;
    for (uint32_t k = 1; k < n / 2; ++k) {
        input[k][0] = spectrum[2 * k];
        input[k][1] = -spectrum[2 * k + 1];
    }
    for (auto _ : state) {
        // The complex-to-real transform overwrites its input, as the in-place one does.
        std::memcpy(scratch, input, sizeof(fftwf_complex) * (n / 2 + 1));
        fftwf_execute(plan);
        benchmark::DoNotOptimize(output);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(output);
    fftwf_free(scratch);
    fftwf_free(input);
}

// Blocks with wide low bands and narrow high ones, about 1.3 KB each
// (a rich 240 kbit/s stream).
std::vector<std::vector<uint8_t>> StereoBlocks(const zarn::AudioDecoder* decoder, int count) {
    std::mt19937 rng(99);
    const uint32_t n = decoder->block_size;
    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < count; ++i) {
        zarn::test::BlockSpec spec;
        spec.dc_field = zarn::test::PackedFloatField(rng() & 0xFFF, 23, false);
        spec.nyquist_field = 0;
        for (uint32_t b = 0; b < decoder->band_count; ++b)
            spec.quantisers.push_back(static_cast<uint8_t>(10 + rng() % 20));
        spec.coefficients.assign(n, 0);
        for (uint32_t j = 2; j < n; ++j) {
            const int range = j < n / 8 ? 20 : (j < n / 2 ? 3 : 1);
            spec.coefficients[j] = static_cast<int16_t>(static_cast<int>(rng() % (2 * range + 1)) - range);
        }
        blocks.push_back(zarn::test::BuildBlock(spec));
    }
    return blocks;
}

void BM_DecodeAudioBlock44kStereo(benchmark::State& state) {
    zarn::AudioDecoder* decoder = zarn::CreateAudioDecoder(44100, 2, 1);
    const auto blocks = StereoBlocks(decoder, 16);
    size_t index = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const auto& block = blocks[index];
        index = (index + 1) % blocks.size();
        const int16_t* pcm = nullptr;
        uint32_t pcm_bytes = 0;
        const uint8_t* next = nullptr;
        zarn::DecodeAudioBlock(decoder, &pcm, &pcm_bytes, block.data(), block.data() + block.size(), &next);
        benchmark::DoNotOptimize(pcm);
        bytes += block.size();
    }
    // One block holds 1920 stereo frames: 1920 / 44100 s of sound.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1920.0 / 44100.0, benchmark::Counter::kIsRate);
    state.counters["block_bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
    zarn::FreeAudioDecoder(decoder);
}

// Every block size the decoder uses: 11025 Hz mono up to 44100 Hz stereo.
void EveryBlockSize(benchmark::internal::Benchmark* b) {
    for (int n : {512, 1024, 2048, 4096}) b->Arg(n);
}

BENCHMARK(BM_InverseRealDft)->Apply(EveryBlockSize);
BENCHMARK(BM_InverseRealDftPlain)->Apply(EveryBlockSize);
BENCHMARK(BM_InverseRealDftAvx2)->Apply(EveryBlockSize);
BENCHMARK(BM_InverseRealDftAvx512)->Apply(EveryBlockSize);
BENCHMARK(BM_FftwComplexToReal)->Apply(EveryBlockSize);
BENCHMARK(BM_DecodeAudioBlock44kStereo);

}  // namespace

BENCHMARK_MAIN();
