// Video decoder speed: whole 1920x1080 frames of several block mixes (on one
// thread, and with chroma on a second thread beside luma), and the inverse
// transform alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "tests/video/stream_builder.h"
#include "video/chroma_thread.h"
#include "video/decode_video_frame.h"
#include "video/idct.h"
#include "video/quant_tables.h"

namespace {

using namespace zarn;
using namespace zarn::test;

struct StopThread {
    void operator()(ChromaThread* t) const { StopChromaThread(t); }
};

void DecodeFrames(benchmark::State& state, PlaneMix mix, int64_t threads = 1) {
    constexpr uint32_t kW = 1920, kH = 1080;
    const auto packet = MakeFramePacket(kW, kH, mix, 42, false);
    FrameBuffers f(kW, kH);
    std::unique_ptr<ChromaThread, StopThread> helper(
        threads > 1 ? StartChromaThread(f.luma_width, f.luma_height) : nullptr);
    if (threads > 1 && !helper) {
        state.SkipWithError("the second thread could not be started");
        return;
    }
    for (auto _ : state) {
        DecodeVideoFrame(f.dest.data(), f.prev.data(), nullptr, nullptr, f.marks.data(), kW, kH, f.luma_width,
                         f.luma_height, packet.data(), static_cast<uint32_t>(packet.size()), 0, f.bundles, 0,
                         0, helper.get());
        benchmark::DoNotOptimize(f.dest.data());
    }
    state.SetItemsProcessed(state.iterations());  // frames
    state.counters["packet_kB"] = static_cast<double>(packet.size()) / 1024.0;
}

void BM_DecodeIntra1080(benchmark::State& s) { DecodeFrames(s, PlaneMix::kIntra); }
void BM_DecodeInter1080(benchmark::State& s) { DecodeFrames(s, PlaneMix::kInter); }
void BM_DecodeMixed1080(benchmark::State& s) { DecodeFrames(s, PlaneMix::kMixed); }
BENCHMARK(BM_DecodeIntra1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeInter1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeMixed1080)->Unit(benchmark::kMillisecond);

// Arguments: the mix (0 intra, 1 inter, 2 mixed) and the threads (1, or 2
// with chroma beside luma). Wall-clock time: the second thread's work counts.
void BM_DecodeThreads1080(benchmark::State& s) {
    DecodeFrames(s, static_cast<PlaneMix>(s.range(0)), s.range(1));
}
BENCHMARK(BM_DecodeThreads1080)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"mix", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 256 blocks with a few low-frequency coefficients each.
struct Blocks {
    alignas(16) int16_t coef[256][64] = {};
    uint8_t pred[64];
    Blocks() {
        std::mt19937 rng(1);
        for (auto& b : coef) {
            b[0] = static_cast<int16_t>(600 + rng() % 800);
            for (int k = 0; k < 6; ++k)
                b[1 + rng() % 20] = static_cast<int16_t>(static_cast<int>(rng() % 81) - 40);
        }
        for (auto& p : pred) p = static_cast<uint8_t>(rng());
    }
};

// 256 blocks like the generated intra frames: 1..6 coefficients at raster
// positions 1..20, mostly +-1, some +-2..3, a few up to +-40, quantiser 2..7.
struct FrameLikeBlocks {
    alignas(16) int16_t coef[256][64] = {};
    const uint32_t* table[256];
    FrameLikeBlocks() {
        std::mt19937 rng(2);
        for (int b = 0; b < 256; ++b) {
            coef[b][0] = static_cast<int16_t>(700 + rng() % 600);
            const int count = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < count; ++k) {
                const unsigned pick = rng() % 10;
                const int mag = pick < 7   ? 1
                                : pick < 9 ? 2 + static_cast<int>(rng() % 2)
                                           : 1 + static_cast<int>(rng() % 40);
                coef[b][1 + rng() % 20] = static_cast<int16_t>(rng() % 2 ? -mag : mag);
            }
            table[b] = IntraQuantTable(2 + rng() % 6);
        }
    }
};

void BM_IdctPutFrameLike(benchmark::State& state) {
    static const FrameLikeBlocks blocks;
    const IdctFunctions& f = state.range(0) ? ChosenIdctFunctions() : IdctPlainFunctions();
    alignas(16) uint8_t out[64];
    for (auto _ : state) {
        for (int b = 0; b < 256; ++b) {
            f.put(out, 8, blocks.coef[b], blocks.table[b]);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);  // blocks
}
BENCHMARK(BM_IdctPutFrameLike)->Arg(0)->Arg(1);

enum class Variant { kPut, kPutEnlarged, kAdd };

void Idct(benchmark::State& state, Variant v) {
    static const Blocks blocks;
    const IdctFunctions& f = state.range(0) ? ChosenIdctFunctions() : IdctPlainFunctions();
    alignas(16) uint8_t out[16 * 16];
    const uint32_t* table = IntraQuantTable(4);
    for (auto _ : state) {
        for (const auto& c : blocks.coef) {
            switch (v) {
            case Variant::kPut: f.put(out, 8, c, table); break;
            case Variant::kPutEnlarged: f.put_enlarged(out, 16, c, table); break;
            case Variant::kAdd: f.add(out, 8, c, table, blocks.pred); break;
            }
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);  // blocks
}

void BM_IdctPut(benchmark::State& s) { Idct(s, Variant::kPut); }
void BM_IdctPutEnlarged(benchmark::State& s) { Idct(s, Variant::kPutEnlarged); }
void BM_IdctAdd(benchmark::State& s) { Idct(s, Variant::kAdd); }
// Argument 0: plain kernels; 1: the kernels chosen for this CPU.
BENCHMARK(BM_IdctPut)->Arg(0)->Arg(1);
BENCHMARK(BM_IdctPutEnlarged)->Arg(0)->Arg(1);
BENCHMARK(BM_IdctAdd)->Arg(0)->Arg(1);

}  // namespace
BENCHMARK_MAIN();
