// Time from a seek request to the new picture in the caller's buffer: the
// worst case of a 10 s key-frame interval at 25 frames a second (the frame
// just before the next key frame), at 640x360 and 1920x1080.
#include <benchmark/benchmark.h>

#include <map>
#include <vector>

#include "engine/copy_to_buffer.h"
#include "engine/engine_settings.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "tests/support/encoded_clip.h"

namespace zarn {
namespace {

constexpr uint32_t kKeyInterval = 250;  // 10 s at 25 frames a second

const std::vector<uint8_t>& ClipImage(uint32_t width, uint32_t height) {
    static std::map<uint32_t, std::vector<uint8_t>> clips;
    std::vector<uint8_t>& image = clips[width];
    if (image.empty()) {
        EncodeSettings settings;
        settings.keyint = kKeyInterval;
        image = test::EncodeClipImage(Clip::kPanZoom, width, height, kKeyInterval + 1, settings);
    }
    return image;
}

void BM_SeekToLastFrameBeforeTheNextKey(benchmark::State& state) {
    const uint32_t width = static_cast<uint32_t>(state.range(0));
    const uint32_t height = static_cast<uint32_t>(state.range(1));
    const std::vector<uint8_t>& image = ClipImage(width, height);
    ResetEngineSettings();
    Movie* m = OpenMovieFromImage(image.data(), image.size(), kFlagNoThread);
    if (!m) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<uint8_t> buffer(size_t{width} * height * 4);
    for (auto _ : state) {
        SeekToFrame(m, kKeyInterval);
        DoFrame(m);
        CopyToBuffer(m, buffer.data(), static_cast<int32_t>(width * 4), height, 0, 0, 3 | 0x80000000u);
        benchmark::DoNotOptimize(buffer.data());
    }
    CloseMovie(m);
}
BENCHMARK(BM_SeekToLastFrameBeforeTheNextKey)
    ->Args({640, 360})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
