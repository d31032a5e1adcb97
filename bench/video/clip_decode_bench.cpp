// Decode speed of inter frames as the encoder makes them: 1920x1080 clips
// drawn by our own code, coded by the encoder `zarn encode` uses, decoded
// through the public interface as a player would. The frame mixes of
// video_bench are random by design (every block kind, random offsets and
// coefficients); these show what coded pictures cost.
// Arguments: clip (0 pan and zoom, 1 moving gradients, 2 scrolling text),
// quality, threads. Only the inter frames are timed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <tuple>

#include "tests/support/encoded_clip.h"
#include "zarn/zarn.h"

namespace zarn {
namespace {

constexpr uint32_t kW = 1920, kH = 1080, kFrames = 20;

struct CodedClip {
    std::vector<uint8_t> image;
    double inter_bpp = 0;
};

const CodedClip& Coded(Clip clip, unsigned quality) {
    static std::map<std::tuple<int, unsigned>, CodedClip> cache;
    CodedClip& coded = cache[{static_cast<int>(clip), quality}];
    if (!coded.image.empty()) return coded;
    EncodeSettings settings;
    settings.quality = quality;
    std::vector<FrameReport> reports;
    coded.image = test::EncodeClipImage(clip, kW, kH, kFrames, settings, {}, nullptr, &reports);
    double bits = 0;
    uint32_t inter = 0;
    for (const FrameReport& f : reports) {
        if (f.key) continue;
        bits += f.bytes * 8.0;
        ++inter;
    }
    coded.inter_bpp = inter ? bits / (double(inter) * kW * kH) : 0;
    return coded;
}

void BM_DecodeCodedClip1080(benchmark::State& state) {
    const Clip clips[] = {Clip::kPanZoom, Clip::kGradients, Clip::kScrollingText};
    const CodedClip& coded = Coded(clips[state.range(0)], static_cast<unsigned>(state.range(1)));
    zarn_movie* movie = nullptr;
    if (coded.image.empty() ||
        zarn_open_memory(coded.image.data(), coded.image.size(), 0, &movie) != ZARN_OK) {
        state.SkipWithError("the clip could not be coded or opened");
        return;
    }
    if (zarn_set_threads(movie, static_cast<uint32_t>(state.range(2))) != ZARN_OK) {
        zarn_close(movie);
        state.SkipWithError("the thread count was refused");
        return;
    }
    uint64_t inter_frames = 0;
    for (auto _ : state) {
        zarn_seek(movie, 0);
        std::chrono::steady_clock::duration spent{};
        for (uint32_t f = 0; f < kFrames; ++f) {
            const bool timed = zarn_is_key_frame(movie, f) == 0;
            const auto start = std::chrono::steady_clock::now();
            if (zarn_decode_frame(movie) != ZARN_OK) {
                state.SkipWithError("a frame did not decode");
                break;
            }
            if (!timed) continue;
            spent += std::chrono::steady_clock::now() - start;
            ++inter_frames;
        }
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
    }
    zarn_close(movie);
    state.counters["inter_bpp"] = coded.inter_bpp;
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(inter_frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeCodedClip1080)
    ->ArgsProduct({{0, 1, 2}, {60, 90}, {1, 2}})
    ->ArgNames({"clip", "q", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
