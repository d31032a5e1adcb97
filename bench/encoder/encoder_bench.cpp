// Encoder quality and speed on clips drawn by our own code. Each run reports
// PSNR-Y and bits per pixel of the reconstruction, and frames per second of
// wall time (640 x 480 and 1920 x 1080; arguments: quality, then threads);
// the audio runs report SNR and bit rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <tuple>

#include "audio/audio_decoder.h"
#include "encoder/audio_encoder.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"

namespace zarn {
namespace {

constexpr uint32_t kFrames = 20;

const std::vector<YuvPicture>& Frames(Clip clip, uint32_t width, uint32_t height) {
    static std::map<std::tuple<int, uint32_t, uint32_t>, std::vector<YuvPicture>> cache;
    auto& frames = cache[{static_cast<int>(clip), width, height}];
    if (frames.empty())
        for (uint32_t i = 0; i < kFrames + (clip == Clip::kSceneCut ? 10 : 0); ++i)
            frames.push_back(MakeClipFrame(clip, width, height, i));
    return frames;
}

void EncodeClip(benchmark::State& state, Clip clip, uint32_t width = 640, uint32_t height = 480) {
    const auto& frames = Frames(clip, width, height);
    EncodeSettings settings;
    settings.quality = static_cast<unsigned>(state.range(0));
    settings.threads = static_cast<unsigned>(state.range(1));
    settings.measure = true;
    double psnr = 0, bits = 0;
    size_t coded = 0;
    for (auto _ : state) {
        size_t next = 0;
        PictureSource src;
        src.width = width;
        src.height = height;
        src.next = [&](YuvPicture& p, std::string&) {
            if (next >= frames.size()) return 0;
            p = frames[next++];
            return 1;
        };
        EncodeResult r = EncodeMovie(src, nullptr, {}, settings);
        psnr = bits = 0;
        for (const FrameReport& f : r.frames) {
            psnr += f.psnr[0];
            bits += f.bytes * 8.0;
        }
        psnr /= static_cast<double>(r.frames.size());
        coded += r.frames.size();
    }
    state.counters["psnr_y"] = psnr;
    state.counters["bpp"] = bits / (static_cast<double>(frames.size()) * width * height);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(coded), benchmark::Counter::kIsRate);
}

void BM_PanZoom(benchmark::State& s) { EncodeClip(s, Clip::kPanZoom); }
void BM_ScrollingText(benchmark::State& s) { EncodeClip(s, Clip::kScrollingText); }
void BM_Gradients(benchmark::State& s) { EncodeClip(s, Clip::kGradients); }
void BM_Noise(benchmark::State& s) { EncodeClip(s, Clip::kNoise); }
void BM_SceneCut(benchmark::State& s) { EncodeClip(s, Clip::kSceneCut); }
void BM_PanZoom1080(benchmark::State& s) { EncodeClip(s, Clip::kPanZoom, 1920, 1080); }
void BM_ScrollingText1080(benchmark::State& s) { EncodeClip(s, Clip::kScrollingText, 1920, 1080); }

// Wall time: the rate counts the frames of every thread's work.
#define ZARN_ONCE ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime()
#define ZARN_QUALITIES ->ArgsProduct({{30, 60, 90}, {1, 2}}) ZARN_ONCE
BENCHMARK(BM_PanZoom) ZARN_QUALITIES;
BENCHMARK(BM_ScrollingText) ZARN_QUALITIES;
BENCHMARK(BM_Gradients) ZARN_QUALITIES;
BENCHMARK(BM_Noise)->ArgsProduct({{60}, {1, 2}}) ZARN_ONCE;
BENCHMARK(BM_SceneCut) ZARN_QUALITIES;
BENCHMARK(BM_PanZoom1080)->ArgsProduct({{60}, {1, 2}}) ZARN_ONCE;
BENCHMARK(BM_ScrollingText1080)->ArgsProduct({{60}, {1, 2}}) ZARN_ONCE;

void EncodeSound(benchmark::State& state, const PcmTrack& track) {
    const unsigned quality = static_cast<unsigned>(state.range(0));
    const uint32_t frames =
        static_cast<uint32_t>(track.samples.size() / track.channels * 25 / track.rate + 1);
    double snr = 0, bytes = 0;
    for (auto _ : state) {
        AudioTrackPackets t = EncodeAudioTrack(track, frames, 25, 1, quality);
        AudioDecoder* dec = CreateAudioDecoder(track.rate, track.channels, 1);
        std::vector<int16_t> out;
        bytes = 0;
        for (const AudioPacket& p : t.packets) {
            if (!p.present) continue;
            bytes += static_cast<double>(p.data.size());
            const uint8_t* block = p.data.data();
            uint32_t due = p.decoded_bytes;
            while (due) {
                const int16_t* pcm;
                uint32_t n;
                const uint8_t* next;
                DecodeAudioBlock(dec, &pcm, &n, block, p.data.data() + p.data.size(), &next);
                n = std::min(n, due);
                out.insert(out.end(), pcm, pcm + n / 2);
                due -= n;
                block = next;
            }
        }
        FreeAudioDecoder(dec);
        double signal = 0, noise = 0;
        for (size_t i = 0; i < out.size() && i < track.samples.size(); ++i) {
            const double a = track.samples[i], d = a - out[i];
            signal += a * a;
            noise += d * d;
        }
        snr = 10 * std::log10(signal / std::max(noise, 1.0));
    }
    const double seconds = static_cast<double>(track.samples.size()) / track.channels / track.rate;
    state.counters["snr_db"] = snr;
    state.counters["kbit_per_s"] = bytes * 8 / seconds / 1000;
}

void BM_AudioSweep(benchmark::State& s) {
    static const PcmTrack t = MakeSineSweep(44100, 2, 4.0);
    EncodeSound(s, t);
}
void BM_AudioChord(benchmark::State& s) {
    static const PcmTrack t = MakeChord(44100, 2, 4.0);
    EncodeSound(s, t);
}
BENCHMARK(BM_AudioSweep)->Arg(30)->Arg(60)->Arg(90)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AudioChord)->Arg(30)->Arg(60)->Arg(90)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
