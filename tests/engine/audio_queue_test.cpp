#include "engine/audio_queue.h"

#include <gtest/gtest.h>

#include <numeric>

#include "engine/frame_control.h"
#include "engine/frame_loading.h"
#include "tests/support/encoded_clip.h"
#include "tests/engine/engine_fixture.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;
using test::SoundRecipe;
using test::StereoTrack;

class AudioQueue : public test::EngineFixture {
protected:
    // Queues `n` bytes counting up from `first`.
    static std::vector<uint8_t> Queue(Movie* m, uint32_t n, uint8_t first = 0) {
        std::vector<uint8_t> bytes(n);
        std::iota(bytes.begin(), bytes.end(), first);
        LockRingWaiting(*m);
        const uint32_t appended = AppendToRing(*m, bytes.data(), n);
        UnlockRing(*m);
        EXPECT_EQ(appended, n & ~1u);
        return bytes;
    }
    Movie* OpenSound(MovieRecipe r = SoundRecipe(), uint32_t flags = 0) {
        EXPECT_TRUE(sound.Install());
        Movie* m = Open(BuildMovie(r), flags);
        EXPECT_NE(m->sound_track, -1);
        return m;
    }
};

TEST(NarrowSamples, SixteenBitToUnsignedEightBit) {
    const uint8_t in[] = {0x00, 0x80, 0x00, 0x00, 0xFF, 0x7F, 0xFF, 0xFF, 0x00, 0x01, 0x34, 0x12};
    uint8_t out[6] = {};
    EXPECT_EQ(NarrowSamples(out, in, sizeof(in)), out + 6);
    const uint8_t want[] = {0x00, 0x80, 0xFF, 0x7F, 0x81, 0x92};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(want, want + 6));
}

TEST_F(AudioQueue, OpenSetsUpTheDeviceAndTheQueue) {
    MovieRecipe r = SoundRecipe();
    r.tracks = {StereoTrack(22050, 100000)};
    Movie* m = OpenSound(r);
    EXPECT_EQ(sound.opens.load(), 1);
    EXPECT_EQ(sound.open_rate, 22050u);
    EXPECT_EQ(sound.open_bits, 16u);
    EXPECT_EQ(sound.open_channels, 2u);
    EXPECT_EQ(Settings().movies_with_sound, 1u);
    EXPECT_EQ(m->sound_on, 1u);
    EXPECT_EQ(m->to_8bit, 0u);
    EXPECT_EQ(m->ring_size, 100096u);  // rounded up to 256
    EXPECT_EQ(m->ring_end - m->ring_start, 100096);
    EXPECT_EQ(m->ring_read, m->ring_start);
    EXPECT_EQ(m->ring_filled, 0u);
    // (2 * 22050 * 2) bytes per second over 700 ms, a multiple of 4.
    EXPECT_EQ(m->prefill_bytes, 61740u);
    EXPECT_EQ(m->audio_end_frame, 50u - 18);  // 3/4 s at 25 fps
    EXPECT_NE(m->reader.wait_hook, nullptr);

    Pause(m, 1);
    Pause(m, 0);
    EXPECT_EQ(sound.set_paused_calls, (std::vector<int32_t>{1, 0}));
    Close(m);
    EXPECT_EQ(sound.closes.load(), 1);
    EXPECT_EQ(sound.set_paused_calls.back(), 1);  // close pauses first
}

TEST_F(AudioQueue, RateOverrideScalesTheSampleRate) {
    ASSERT_TRUE(sound.Install());
    SetFrameRateOverride(50, 1);  // twice the file's 25 fps
    MovieRecipe small = SoundRecipe();
    small.tracks = {StereoTrack(44100, 65536)};
    Movie* m = Open(BuildMovie(small), kFlagRateOverride);
    EXPECT_EQ(sound.open_rate, 88200u);
    // The prefill is capped by the ring.
    EXPECT_EQ(m->prefill_bytes, m->ring_size);

    // 65535 Hz at 100000 / 50000 fps: the product needs 64 bits.
    MovieRecipe r = SoundRecipe(3);
    r.rate_num = 50000;
    r.tracks = {StereoTrack(65535, 4096)};
    SetFrameRateOverride(100000, 1);
    m = Open(BuildMovie(r), kFlagRateOverride);
    EXPECT_EQ(sound.open_rate, 131070u);
    EXPECT_EQ(m->audio_end_frame, 0u);  // shorter than 3/4 s
}

TEST_F(AudioQueue, EightBitMonoDeviceAndMissingSound) {
    MovieRecipe r = SoundRecipe();
    r.tracks = {{4096, 11025 | kTrackFormatAudio, 7}, StereoTrack(44100, 4096, 9)};
    ASSERT_TRUE(sound.Install());
    SetSoundTrack(9);
    Movie* m = Open(BuildMovie(r), kFlagTrackById);
    EXPECT_EQ(m->sound_track, 1);
    EXPECT_EQ(sound.open_channels, 2u);
    m = Open(BuildMovie(r));
    EXPECT_EQ(m->sound_track, 0);
    EXPECT_EQ(m->to_8bit, 1u);
    EXPECT_EQ(sound.open_bits, 8u);
    EXPECT_EQ(sound.open_channels, 1u);

    SetSoundTrack(5);  // no track has it: silent
    m = Open(BuildMovie(r), kFlagTrackById);
    EXPECT_EQ(m->sound_track, -1);
    EXPECT_EQ(m->thread_state.load(), 0u);  // from memory: no thread without sound

    sound.open_ok = false;  // the device does not open: silent
    const int32_t opens = sound.opens.load();
    m = Open(BuildMovie(r));
    EXPECT_EQ(sound.opens.load(), opens + 1);
    EXPECT_EQ(m->sound_track, -1);
    EXPECT_EQ(m->ring_start, nullptr);

    // The device opens but the track asks for no queue: closed again, silent.
    sound.open_ok = true;
    r.tracks = {StereoTrack(44100, 0)};
    const int32_t closes = sound.closes.load();
    m = Open(BuildMovie(r));
    EXPECT_EQ(m->sound_track, -1);
    EXPECT_EQ(sound.closes.load(), closes + 1);

    // A track without the audio bit is never opened.
    r.tracks = {{4096, 44100, 1}};
    const int32_t before = sound.opens.load();
    m = Open(BuildMovie(r));
    EXPECT_EQ(sound.opens.load(), before);
    EXPECT_EQ(m->sound_track, -1);
}

TEST_F(AudioQueue, DoFrameQueuesTheAnnouncedDecodedBytes) {
    MovieRecipe r = SoundRecipe(5);
    r.tracks = {StereoTrack(22050, 4096, 1), StereoTrack(44100, 262144, 2)};
    r.audio_bytes = 200;
    SetSoundTrack(2);
    Movie* m = OpenSound(r, kFlagTrackById);  // its packet follows track 0's
    ASSERT_EQ(m->sound_track, 1);
    ASSERT_NE(m->audio_decoder, nullptr);
    ASSERT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->ring_filled, r.decoded_bytes);
    NextFrame(m);
    ASSERT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->ring_filled, 2 * r.decoded_bytes);
    EXPECT_EQ(m->ring_lock.load(), 0);

    // A queue too small for the packet keeps what fits.
    r.tracks = {StereoTrack(44100, 4096)};
    Movie* small = OpenSound(r);
    ASSERT_EQ(DoFrame(small), 0);
    EXPECT_EQ(small->ring_filled, 4096u);

    // Frames without an audio packet queue nothing.
    r.audio_bytes = 0;
    Movie* none = OpenSound(r);
    ASSERT_EQ(DoFrame(none), 0);
    EXPECT_EQ(none->ring_filled, 0u);
}

TEST_F(AudioQueue, AudioLengthsRunningPastThePacketStopTheWalk) {
    MovieRecipe r = SoundRecipe(3);
    r.tracks = {StereoTrack(22050, 4096, 1), StereoTrack(44100, 65536, 2)};
    std::vector<uint8_t> image = BuildMovie(r);
    const uint32_t first = GetU32(image, FrameIndexOffset(2)) & ~1u;
    const uint32_t second = GetU32(image, FrameIndexOffset(2) + 4) & ~1u;
    PutU32(image, first, 0xFFFFFFF0u);     // track 0 of frame 1: far too long
    PutU32(image, second + 52, 1u << 30);  // track 1 of frame 2 announces 1 GB decoded
    ASSERT_TRUE(sound.Install());
    SetSoundTrack(2);
    Movie* m = Open(image, kFlagTrackById);
    ASSERT_EQ(m->sound_track, 1);
    EXPECT_EQ(DoFrame(m), 0);
    EXPECT_EQ(m->ring_filled, 0u);  // the walk never reached track 1
    NextFrame(m);
    EXPECT_EQ(DoFrame(m), 0);  // decodes until the queue is full, no further
    EXPECT_EQ(m->ring_filled, m->ring_size);
    EXPECT_EQ(m->ring_lock.load(), 0);
}

TEST_F(AudioQueue, ShortQueueWaitsUntilNoMoreAudioComes) {
    MovieRecipe r = SoundRecipe();
    r.audio_bytes = 0;  // the frames queue nothing: the 100 bytes are the tail
    Movie* m = OpenSound(r);
    sound.free_chunks = 10;
    const std::vector<uint8_t> bytes = Queue(m, 100);
    ASSERT_LE(m->current_frame.load(), m->audio_end_frame);
    FeedSound(m);
    EXPECT_TRUE(sound.Played().empty());
    EXPECT_EQ(m->ring_filled, 100u);

    // In the last 0.75 s, and at the last frame before its audio is queued,
    // more may come: the short queue still waits.
    for (const uint32_t frame : {m->audio_end_frame + 1, m->frame_count}) {
        GotoFrame(m, frame);
        FeedSound(m);
        EXPECT_TRUE(sound.Played().empty()) << "frame " << frame;
    }
    ASSERT_EQ(DoFrame(m), 0);  // the last frame is decoded: the tail goes out in full
    EXPECT_EQ(sound.Played(), bytes);
    EXPECT_EQ(sound.commits.load(), 1);
    EXPECT_EQ(m->ring_filled, 0u);
}

// Frame by frame with a device that takes every chunk: until the last
// frame's audio is queued only whole chunks go out (a shorter one would be
// padded with silence in the middle of the sound); then the rest follows.
TEST_F(AudioQueue, TailGoesOutInWholeChunksUntilTheLastFrameIsQueued) {
    struct Walk {
        uint32_t frames, rate;
    };
    // 2 s; 0.4 s (no frame before the last 0.75 s); 1 fps (the last 0.75 s
    // holds no frame boundary).
    for (const Walk w : {Walk{50, 25}, Walk{10, 25}, Walk{5, 1}}) {
        SCOPED_TRACE(testing::Message() << w.frames << " frames at " << w.rate << " fps");
        MovieRecipe r = SoundRecipe(w.frames);
        r.rate_num = w.rate;
        sound.free_chunks = 0;
        Movie* m = OpenSound(r);
        sound.free_chunks = 1 << 20;
        for (uint32_t f = 1; f <= w.frames; ++f) {
            ASSERT_EQ(m->current_frame.load(), f);
            ASSERT_EQ(DoFrame(m), 0);
            const size_t played = sound.Played().size();
            ASSERT_EQ(played + m->ring_filled, size_t{f} * r.decoded_bytes) << "frame " << f;
            if (f == w.frames) break;
            EXPECT_EQ(played % 4096, 0u) << "frame " << f;
            EXPECT_GT(m->ring_filled, 0u) << "frame " << f;
            NextFrame(m);
        }
        EXPECT_EQ(m->ring_filled, 0u);
        EXPECT_EQ(sound.commits.load(), static_cast<int32_t>((w.frames * r.decoded_bytes + 4095) / 4096));

        // Looping to frame 1 flushes the queue; the movie's audio is to come
        // again, so a short queue waits once more.
        NextFrame(m);
        ASSERT_EQ(m->current_frame.load(), 1u);
        ASSERT_EQ(DoFrame(m), 0);
        EXPECT_EQ(m->ring_filled, r.decoded_bytes % 4096);

        // A read error ends the movie's audio: what is queued goes out.
        if (w.frames > 1) {
            NextFrame(m);
            m->read_error = 1;
            EXPECT_EQ(DoFrame(m), 1);
            FeedSound(m);
            EXPECT_EQ(m->ring_filled, 0u);
        }
        Close(m);
        sound.ClearPlayed();
    }
}

TEST_F(AudioQueue, FeedsWholeChunksWhileTheDeviceTakesThem) {
    Movie* m = OpenSound();
    const std::vector<uint8_t> bytes = Queue(m, 3 * 4096 + 10);
    sound.free_chunks = 2;
    FeedSound(m);
    EXPECT_EQ(sound.commits.load(), 2);
    EXPECT_EQ(m->ring_filled, 4096u + 10);
    // The rest is more than a chunk: one more chunk, then 10 bytes wait.
    sound.free_chunks = 5;
    FeedSound(m);
    EXPECT_EQ(m->ring_filled, 10u);
    const std::vector<uint8_t> played = sound.Played();
    EXPECT_EQ(played, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3 * 4096));
    // Without a chunk to write into, nothing moves and nothing spins.
    Queue(m, 8192);
    sound.get_buffer_ok = false;
    FeedSound(m);
    EXPECT_EQ(m->ring_filled, 8202u);
}

TEST_F(AudioQueue, EightBitDeviceTakesTwiceTheBytes) {
    MovieRecipe r = SoundRecipe();
    r.tracks = {{65536, 22050 | kTrackFormatAudio, 1}};
    Movie* m = OpenSound(r);
    ASSERT_EQ(m->to_8bit, 1u);
    std::vector<uint8_t> pcm(3 * 4096);
    for (size_t i = 0; i < pcm.size(); i += 2) {
        pcm[i] = 0x00;
        pcm[i + 1] = static_cast<uint8_t>(i / 2);  // high byte
    }
    LockRingWaiting(*m);
    AppendToRing(*m, pcm.data(), static_cast<uint32_t>(pcm.size()));
    UnlockRing(*m);
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->ring_filled, 4096u);  // 8192 queued bytes went into one chunk
    const std::vector<uint8_t> played = sound.Played();
    ASSERT_EQ(played.size(), 4096u);
    for (size_t i = 0; i < played.size(); ++i)
        ASSERT_EQ(played[i], static_cast<uint8_t>(static_cast<int8_t>(i) + 128)) << i;
}

TEST_F(AudioQueue, PositionsAtTheRingEndWrap) {
    MovieRecipe r = SoundRecipe();
    r.tracks = {StereoTrack(44100, 8192)};
    Movie* m = OpenSound(r);
    ASSERT_EQ(m->ring_size, 8192u);
    Queue(m, 8192);
    EXPECT_EQ(m->ring_write, m->ring_end);  // exactly at the end
    EXPECT_EQ(m->ring_filled, 8192u);
    EXPECT_EQ(AppendToRing(*m, m->ring_start, 2), 0u);  // full: dropped
    const std::vector<uint8_t> first(m->ring_start, m->ring_end);
    sound.device_chunk = 3000;
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->ring_read, m->ring_start + 3000);
    // The next write starts at ring_start.
    const std::vector<uint8_t> next = Queue(m, 3000, 7);
    EXPECT_EQ(m->ring_write, m->ring_start + 3000);
    EXPECT_EQ(m->ring_start[0], 7);
    // A read across the end comes out in order.
    sound.ClearPlayed();
    sound.device_chunk = 6000;
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->ring_read, m->ring_start + 808);
    std::vector<uint8_t> want(first.begin() + 3000, first.end());
    want.insert(want.end(), next.begin(), next.begin() + 808);
    EXPECT_EQ(sound.Played(), want);
}

TEST_F(AudioQueue, UnderrunsCountOnceIn750Ms) {
    Movie* m = OpenSound();
    GotoFrame(m, 10);
    Queue(m, 20000);
    m->clock_base_ms = 900;
    sound.free_chunks = 1;
    m->sound.underrun = 1;
    clock.Set(2000);
    FeedSound(m);
    EXPECT_EQ(m->sound_skips.load(), 1u);
    EXPECT_EQ(m->clock_base_ms.load(), 0u);
    EXPECT_EQ(m->next_sound_skip_ms.load(), 2750u);
    // Padded to prefill_bytes with silence ahead of the queued audio, then
    // one chunk of it played.
    EXPECT_EQ(m->ring_filled, m->prefill_bytes - 4096);
    const std::vector<uint8_t> played = sound.Played();
    EXPECT_EQ(played, std::vector<uint8_t>(4096, 0));

    m->clock_base_ms = 900;
    m->sound.underrun = 1;
    clock.Set(2500);  // 500 ms later: not counted again
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->sound_skips.load(), 1u);
    EXPECT_EQ(m->sound.underrun.load(), 0u);
    EXPECT_EQ(m->clock_base_ms.load(), 900u);

    m->sound.underrun = 1;
    clock.Set(2750);  // exactly 750 ms: still not counted
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->sound_skips.load(), 1u);

    m->sound.underrun = 1;
    clock.Set(2751);
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->sound_skips.load(), 2u);

    // The last frame that counts is audio_end_frame, three quarters of a
    // second before the end; the frame after it does not.
    ASSERT_EQ(m->audio_end_frame, 50u - 18u);
    for (uint32_t frame : {m->audio_end_frame, m->audio_end_frame + 1}) {
        GotoFrame(m, frame);
        Queue(m, 20000);
        m->sound.underrun = 1;
        clock.Advance(1000);
        sound.free_chunks = 1;
        FeedSound(m);
    }
    EXPECT_EQ(m->sound_skips.load(), 3u);

    // At frame 1 an underrun is not a skip.
    GotoFrame(m, 1);
    Queue(m, 20000);
    m->sound.underrun = 1;
    clock.Set(9000);
    sound.free_chunks = 1;
    FeedSound(m);
    EXPECT_EQ(m->sound_skips.load(), 3u);
}

TEST_F(AudioQueue, SoundBackOnQueuesSilenceExceptAtFrameOne) {
    Movie* m = OpenSound();
    Queue(m, 1000);
    EXPECT_EQ(SetSoundOn(m, 0), 0);
    EXPECT_EQ(m->sound_on, 0u);
    EXPECT_EQ(m->ring_filled, 0u);
    EXPECT_EQ(m->ring_read, m->ring_start);
    // Off, a sound track is selected: the movie waits.
    m->frames_played = 1;
    EXPECT_EQ(ShouldWait(m), 1);

    ASSERT_EQ(m->current_frame.load(), 1u);
    m->clock_base_ms = 500;
    EXPECT_EQ(SetSoundOn(m, 1), 1);
    EXPECT_EQ(m->sound_on, 1u);
    EXPECT_EQ(m->ring_filled, 0u);
    EXPECT_EQ(m->clock_base_ms.load(), 0u);

    GotoFrame(m, 10);
    SetSoundOn(m, 0);
    EXPECT_EQ(SetSoundOn(m, 1), 1);
    EXPECT_EQ(m->ring_filled, m->prefill_bytes);
    EXPECT_EQ(m->ring_write, m->ring_start + m->prefill_bytes);
    EXPECT_EQ(sound.set_on_calls, (std::vector<int32_t>{0, 1, 0, 1}));

    // A device that refuses to come back on leaves the sound off.
    sound.set_on_answer = 0;
    SetSoundOn(m, 0);
    EXPECT_EQ(SetSoundOn(m, 1), 0);
    EXPECT_EQ(m->sound_on, 0u);
}

TEST_F(AudioQueue, LoopingFlushesTheQueue) {
    Movie* m = OpenSound(SoundRecipe(3));
    GotoFrame(m, 3);
    Queue(m, 5000);
    sound.set_on_calls.clear();
    ASSERT_EQ(DoFrame(m), 0);
    NextFrame(m);
    EXPECT_EQ(m->current_frame.load(), 1u);
    EXPECT_EQ(sound.set_on_calls, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m->ring_filled, 0u);  // flushed, and no silence at the end
    EXPECT_EQ(m->sound_on, 1u);
}

TEST_F(AudioQueue, PadSilenceWrapsBelowTheStart) {
    MovieRecipe r = SoundRecipe();
    r.tracks = {StereoTrack(1000, 8192)};  // prefill 2 * 1000 * 2 * 0.7 = 2800
    Movie* m = OpenSound(r);
    ASSERT_EQ(m->prefill_bytes, 2800u);
    Queue(m, 1000, 1);
    LockRingWaiting(*m);
    m->ring_read = m->ring_start + 500;  // pretend 500 bytes were played
    m->ring_filled = 500;
    PadSilence(*m);
    UnlockRing(*m);
    EXPECT_EQ(m->ring_filled, 2800u);
    EXPECT_EQ(m->ring_read, m->ring_end - 1800);
    for (uint32_t i = 0; i < 1800; ++i) ASSERT_EQ(m->ring_end[-1 - int(i)], 0);
    for (uint32_t i = 0; i < 500; ++i) ASSERT_EQ(m->ring_start[i], 0);
    EXPECT_EQ(m->ring_start[500], static_cast<uint8_t>(501));
    // Already enough queued: nothing added.
    PadSilence(*m);
    EXPECT_EQ(m->ring_filled, 2800u);
}

TEST_F(AudioQueue, FeedingGivesUpWhileTheQueueIsHeld) {
    Movie* m = OpenSound();
    Queue(m, 10000);
    sound.free_chunks = 5;
    LockRingWaiting(*m);
    EXPECT_FALSE(TryLockRing(*m));
    FeedSound(m);
    EXPECT_EQ(m->ring_lock.load(), 1);
    EXPECT_TRUE(sound.Played().empty());
    UnlockRing(*m);
    EXPECT_TRUE(TryLockRing(*m));
    UnlockRing(*m);
    FeedSound(m);
    EXPECT_EQ(sound.Played().size(), 8192u);
    EXPECT_EQ(m->ring_lock.load(), 0);
}

// Takes everything queued (the device took nothing) and empties the queue.
std::vector<uint8_t> TakeQueued(Movie* m) {
    LockRingWaiting(*m);
    std::vector<uint8_t> out;
    uint8_t* r = m->ring_read;
    for (uint32_t i = 0; i < m->ring_filled; ++i) {
        if (r == m->ring_end) r = m->ring_start;
        out.push_back(*r++);
    }
    m->ring_read = m->ring_write;
    m->ring_filled = 0;
    UnlockRing(*m);
    return out;
}

// After a seek the queue holds the silence of a sound restart, then exactly
// the sound a decode from the start gives from the target frame on.
TEST_F(AudioQueue, SeekQueuesTheSoundOfTheTargetFrame) {
    EncodeSettings settings;
    settings.keyint = 20;
    const std::vector<uint8_t> image =
        test::EncodeClipImage(Clip::kGradients, 32, 32, 60, settings, {MakeSineSweep(22050, 2, 2.4)});
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(sound.Install());
    Movie* linear = Open(image, kFlagNoThread);
    ASSERT_NE(linear->sound_track, -1);
    std::vector<std::vector<uint8_t>> queued;
    for (uint32_t f = 1; f <= linear->frame_count; ++f) {
        TakeQueued(linear);
        ASSERT_EQ(DoFrame(linear), 0);
        queued.push_back(TakeQueued(linear));
        NextFrame(linear);
    }
    Movie* m = Open(image, kFlagNoThread);
    ASSERT_EQ(DoFrame(m), 0);
    NextFrame(m);
    for (uint32_t target : {45u, 21u, 40u}) {
        ASSERT_EQ(SeekToFrame(m, target), 0);
        const std::vector<uint8_t> restart = TakeQueued(m);
        EXPECT_EQ(restart, std::vector<uint8_t>(m->prefill_bytes, 0)) << target;
        for (uint32_t f = target; f < target + 3; ++f) {
            ASSERT_EQ(DoFrame(m), 0);
            EXPECT_EQ(TakeQueued(m), queued[f - 1]) << "frame " << f << " after a seek to " << target;
            NextFrame(m);
        }
    }
}

}  // namespace
}  // namespace zarn
