// Per-frame engine overhead: stepping frames whose packets carry no video,
// and feeding decoded audio through a sound device that takes everything.
#include <benchmark/benchmark.h>

#include <vector>

#include "encoder/container_writer.h"
#include "engine/audio_queue.h"
#include "engine/engine_settings.h"
#include "engine/engine_thread.h"
#include "engine/frame_control.h"
#include "engine/movie.h"

namespace zarn {
namespace {

std::vector<uint8_t> Image(uint32_t frames, bool sound) {
    ContainerSpec spec;
    spec.width = 640;
    spec.height = 480;
    if (sound)
        spec.tracks = {{262144, 44100 | kTrackFormatAudio | kTrackFormatStereo | kTrackFormatSixteenBit, 1}};
    ContainerWriter w(spec);
    for (uint32_t i = 0; i < frames; ++i) {
        FramePacket f;
        if (sound) f.audio.push_back({true, 7056, std::vector<uint8_t>(64, 0)});
        f.video.assign(2, 0);  // offsets stay even: bit 0 is the key-frame bit
        w.AddFrame(std::move(f));
    }
    return w.Build();
}

// A device with a free chunk whenever asked.
uint8_t g_chunk[4096];
int32_t Ready(SoundOutput*) { return 1; }
int32_t GetBuffer(SoundOutput*, uint8_t** address, uint32_t* size) {
    *address = g_chunk;
    *size = sizeof(g_chunk);
    return 1;
}
int32_t Commit(SoundOutput*, uint32_t) { return 1; }
int32_t SetOn(SoundOutput*, int32_t on) { return on; }
int32_t OpenSink(SoundOutput* s, uint32_t, uint32_t, uint32_t, uint32_t, Movie*) {
    s->ready = Ready;
    s->get_buffer = GetBuffer;
    s->commit = Commit;
    s->set_on = SetOn;
    s->chunk_bytes = 4096;
    s->latency_ms = 100;
    return 1;
}
SoundOpenOp StartSink(void*) { return OpenSink; }

void BM_DoFrameNextFrame(benchmark::State& state) {
    const std::vector<uint8_t> image = Image(250, false);
    Movie* m = OpenMovieFromImage(image.data(), image.size(), 0);
    if (!m) return state.SkipWithError("open failed");
    for (auto _ : state) {
        DoFrame(m);
        NextFrame(m);
    }
    CloseMovie(m);
}
BENCHMARK(BM_DoFrameNextFrame);

void BM_FeedSoundTwoChunks(benchmark::State& state) {
    ResetEngineSettings();
    SetSoundSystem(StartSink, nullptr);
    const std::vector<uint8_t> image = Image(250, true);
    Movie* m = OpenMovieFromImage(image.data(), image.size(), 0);
    if (!m || m->sound_track == -1) return state.SkipWithError("open with sound failed");
    StopBackgroundThread(*m);  // this loop alone feeds
    std::vector<uint8_t> pcm(8192 + 4096, 1);
    LockRingWaiting(*m);
    AppendToRing(*m, pcm.data(), 4096);  // stays queued: never more than a chunk
    UnlockRing(*m);
    for (auto _ : state) {
        LockRingWaiting(*m);
        AppendToRing(*m, pcm.data(), 8192);
        UnlockRing(*m);
        FeedSound(m);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 8192);
    CloseMovie(m);
    ResetEngineSettings();
}
BENCHMARK(BM_FeedSoundTwoChunks);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
