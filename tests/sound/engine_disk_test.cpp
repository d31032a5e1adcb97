// The whole sound path on a real SDL device: a short encoded video with a
// tone is played through the engine the way the player plays it, with SDL's
// disk driver writing what the device plays to a file. After the start-up
// silence that file must hold the track's decoded PCM (narrowed for an
// 8-bit device) byte for byte, without a gap or repeat to its last sample
// (the last 0.75 s too), then only silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "audio/audio_decoder.h"
#include "encoder/container_writer.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "engine/audio_queue.h"
#include "engine/engine_settings.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "sound/direct_sound_output.h"
#include "sound/pcm_format.h"
#include "sound/wave_out_output.h"

namespace zarn {
namespace {

constexpr uint32_t kFrames = 25;
constexpr uint32_t kFps = 20;  // 1.25 s of video
// After the last frame: the queued audio (at most about 750 ms) plays out.
constexpr int kTailMs = 1000;

std::string TempPath(const char* tag, const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/zarn_e2e_" + tag + "_" + std::to_string(getpid()) +
           suffix;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);
    return bytes;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
           uint32_t{bytes[offset + 3]} << 24;
}

// A 440 Hz tone (the right channel a fifth higher) starting at zero.
PcmTrack Tone(uint32_t rate, uint32_t channels, uint32_t video_frames = kFrames, double hz_left = 440.0) {
    PcmTrack track;
    track.rate = rate;
    track.channels = channels;
    const uint32_t frames = rate * video_frames / kFps;
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            const double hz = c == 0 ? hz_left : hz_left * 1.5;
            track.samples.push_back(static_cast<int16_t>(9000.0 * std::sin(2.0 * M_PI * hz * i / rate)));
        }
    }
    return track;
}

uint8_t FrameLuma(uint32_t index) { return static_cast<uint8_t>(16 + index % 110 * 2); }

// A 32x32 video of kFrames frames with the tone as its one track. With
// `eight_bit` the track's format says 8-bit samples, so the device is
// opened for 8 bits and the engine narrows the decoded audio.
// With `numbered`, frame k (from 0) is flat grey of luma FrameLuma(k).
std::vector<uint8_t> MakeVideo(const PcmTrack& tone, bool eight_bit, std::string& error,
                               uint32_t frames = kFrames, bool numbered = false) {
    PictureSource pictures;
    pictures.width = 32;
    pictures.height = 32;
    pictures.rate_num = kFps;
    pictures.rate_den = 1;
    uint32_t next = 0;
    pictures.next = [&next, frames, numbered](YuvPicture& picture, std::string&) {
        if (next == frames) return 0;
        picture = MakeClipFrame(Clip::kGradients, 32, 32, next);
        if (numbered) {
            std::fill(picture.y.begin(), picture.y.end(), FrameLuma(next));
            std::fill(picture.u.begin(), picture.u.end(), 128);
            std::fill(picture.v.begin(), picture.v.end(), 128);
        }
        ++next;
        return 1;
    };
    EncodeSettings settings;
    EncodeResult result = EncodeMovie(pictures, nullptr, {tone}, settings);
    error = result.error;
    if (eight_bit && !result.image.empty()) {
        const size_t at = kHeaderBytes + 4;  // the one track's format word
        const uint32_t format = GetU32(result.image, at) & ~kTrackFormatSixteenBit;
        for (int i = 0; i < 4; ++i) result.image[at + i] = static_cast<uint8_t>(format >> (8 * i));
    }
    return result.image;
}

// The track's audio as DoFrame queues it: each frame's packet decoded block
// by block until its decoded-byte count is reached; narrowed for 8 bits.
// The whole track as a decode from the start gives it; `packet_starts`, when
// given, gets the byte where each packet's sound begins.
std::vector<uint8_t> DecodeTrack(const std::vector<uint8_t>& image, uint32_t rate, uint32_t channels,
                                 bool eight_bit, std::vector<size_t>* packet_starts = nullptr) {
    std::vector<uint8_t> pcm;
    AudioDecoder* decoder = CreateAudioDecoder(rate, channels, 1);
    if (decoder == nullptr) return pcm;
    const uint32_t frames = GetU32(image, header_offset::kFrameCount);
    const size_t index = FrameIndexOffset(1);
    for (uint32_t f = 0; f < frames; ++f) {
        const size_t start = GetU32(image, index + 4 * f) & ~1u;
        if (packet_starts) packet_starts->push_back(pcm.size());
        const size_t length = GetU32(image, start);
        if (length < 4) continue;
        uint32_t decoded = GetU32(image, start + 4);
        const uint8_t* data = image.data() + start + 8;
        const uint8_t* end = image.data() + start + 4 + length;
        while (decoded > 0) {
            const int16_t* out = nullptr;
            uint32_t bytes = 0;
            const uint8_t* after = end;
            DecodeAudioBlock(decoder, &out, &bytes, data, end, &after);
            if (bytes == 0 || out == nullptr) break;
            const uint32_t n = std::min(bytes, decoded);
            const auto* from = reinterpret_cast<const uint8_t*>(out);
            pcm.insert(pcm.end(), from, from + n);
            decoded -= n;
            data = after;
        }
    }
    FreeAudioDecoder(decoder);
    if (eight_bit) {
        std::vector<uint8_t> narrow(pcm.size() / 2);
        NarrowSamples(narrow.data(), pcm.data(), static_cast<uint32_t>(pcm.size()));
        return narrow;
    }
    return pcm;
}

// The written audio: silence, then exactly `pcm`, then only silence. The
// decoded tone may itself begin with silent bytes; the two are lined up at
// their first sound.
void ExpectPlayedExactly(const std::vector<uint8_t>& played, const std::vector<uint8_t>& pcm, uint32_t bits) {
    const uint8_t silence = SilenceByte(bits);
    const size_t sample = bits / 8;
    size_t lead = 0;
    while (lead < pcm.size() && pcm[lead] == silence) ++lead;
    ASSERT_LT(lead, pcm.size()) << "the decoded track is silent";
    size_t heard = 0;
    while (heard < played.size() && played[heard] == silence) ++heard;
    ASSERT_LT(heard, played.size()) << "nothing but silence was played";
    ASSERT_GE(heard, lead) << "the played audio begins inside the track";
    const size_t start = heard - lead;
    ASSERT_EQ(start % sample, 0u) << "the played audio is not sample-aligned";
    ASSERT_GE(played.size() - start, pcm.size()) << "the track was cut short";
    for (size_t i = 0; i < pcm.size(); ++i) {
        ASSERT_EQ(played[start + i], pcm[i])
            << "byte " << i << " of " << pcm.size() << " of the track (played at " << start + i << ")";
    }
    for (size_t p = start + pcm.size(); p < played.size(); ++p)
        ASSERT_EQ(played[p], silence) << "stale audio at " << p;
}

// Plays the file as the player does: wait while the engine says so, decode,
// step; the last frame stays current while the tail plays out. Returns the
// movie's sound skips, or -1 when the movie could not be opened.
int PlayThrough(const std::string& video_path) {
    Movie* movie = OpenMovie(video_path.c_str(), 0);
    if (movie == nullptr) return -1;
    if (movie->sound_track == -1) {
        CloseMovie(movie);
        return -1;
    }
    for (uint32_t frame = 1; frame <= movie->frame_count; ++frame) {
        while (ShouldWait(movie) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(DoFrame(movie), 0) << "frame " << frame;
        if (frame < movie->frame_count) NextFrame(movie);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kTailMs));
    const int skips = static_cast<int>(movie->sound_skips.load());
    CloseMovie(movie);
    return skips;
}

struct Case {
    const char* tag;
    SoundStartOp start;
    uint32_t rate;
    uint32_t channels;
    bool eight_bit;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.tag; }

class EngineDisk : public ::testing::TestWithParam<Case> {};

TEST_P(EngineDisk, PlaysTheDecodedTrackInOrder) {
    const Case& c = GetParam();
    std::string error;
    const PcmTrack tone = Tone(c.rate, c.channels);
    const std::vector<uint8_t> image = MakeVideo(tone, c.eight_bit, error);
    ASSERT_FALSE(image.empty()) << error;
    const std::vector<uint8_t> expected = DecodeTrack(image, c.rate, c.channels, c.eight_bit);
    // The decoded track is as long as the tone.
    ASSERT_EQ(expected.size(), tone.samples.size() * (c.eight_bit ? 1 : 2));

    const std::string video_path = TempPath(c.tag, ".zrn");
    ASSERT_TRUE(WriteFile(video_path, image));
    const std::string sound_path = TempPath(c.tag, ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", sound_path.c_str(), 1);
    // The engine paces frames by its own clock, so the device plays in real
    // time (the driver's default delay).
    unsetenv("SDL_DISKAUDIODELAY");

    // On a machine so busy that feeding falls behind, the engine rightly
    // restarts the sound after silence; such a run says nothing about the
    // path and is repeated.
    bool clean_run = false;
    for (int attempt = 0; attempt < 3 && !clean_run; ++attempt) {
        std::remove(sound_path.c_str());
        ResetEngineSettings();
        ASSERT_EQ(SetSoundSystem(c.start, nullptr), 1) << "the disk driver did not initialise";
        const int skips = PlayThrough(video_path);
        ASSERT_GE(skips, 0) << "the movie did not open with sound";
        clean_run = skips == 0;
    }
    ResetEngineSettings();
    std::remove(video_path.c_str());
    const std::vector<uint8_t> played = ReadFile(sound_path);
    std::remove(sound_path.c_str());
    if (!clean_run) GTEST_SKIP() << "the sound was starved in every attempt (machine too busy)";
    ExpectPlayedExactly(played, expected, c.eight_bit ? 8 : 16);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, EngineDisk,
                         ::testing::Values(Case{"ring_mono", StartDirectSound, 11025, 1, false},
                                           Case{"ring_stereo", StartDirectSound, 8000, 2, false},
                                           Case{"ring_8bit", StartDirectSound, 8000, 1, true},
                                           Case{"queue_mono", StartWaveOut, 11025, 1, false},
                                           Case{"queue_stereo", StartWaveOut, 8000, 2, false},
                                           Case{"queue_8bit", StartWaveOut, 8000, 2, true}),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                             return std::string(param_info.param.tag);
                         });

// Right (5 s on) pressed at the very start of playback, on both back ends:
// the next frame shown is the one 5 s on, and after the pre-seek sound and
// the restart's silence the device plays the decoded track from where that
// frame's packet sound begins (as a play from the start would beside it; the
// packets' sound is cut in whole blocks, so this is not exactly 5 s) to its
// end, then only silence.
TEST(EngineDiskSeek, SoundAfterASeekIsTheTrackFromTheNewFrame) {
    constexpr uint32_t kRate = 8000, kVideoFrames = 120, kTarget = 1 + 5 * kFps;
    std::string error;
    // Not a whole number of cycles in 5 s: the track is not silent there.
    const std::vector<uint8_t> image =
        MakeVideo(Tone(kRate, 1, kVideoFrames, 440.3), false, error, kVideoFrames, true);
    ASSERT_FALSE(image.empty()) << error;
    std::vector<size_t> packet_starts;
    const std::vector<uint8_t> pcm = DecodeTrack(image, kRate, 1, false, &packet_starts);
    ASSERT_GE(packet_starts.size(), kTarget);
    const size_t from = packet_starts[kTarget - 1];
    ASSERT_GT(pcm.size(), from + kRate);
    const std::string video_path = TempPath("seek", ".zrn"), sound_path = TempPath("seek", ".raw");
    ASSERT_TRUE(WriteFile(video_path, image));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", sound_path.c_str(), 1);
    unsetenv("SDL_DISKAUDIODELAY");
    for (SoundStartOp start : {StartWaveOut, StartDirectSound}) {
        std::remove(sound_path.c_str());
        ResetEngineSettings();
        ASSERT_EQ(SetSoundSystem(start, nullptr), 1);
        Movie* movie = OpenMovie(video_path.c_str(), 0);
        ASSERT_NE(movie, nullptr);
        ASSERT_EQ(DoFrame(movie), 0);
        ASSERT_EQ(SeekToFrame(movie, kTarget), 0);
        for (uint32_t frame = kTarget; frame <= movie->frame_count; ++frame) {
            while (ShouldWait(movie) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_EQ(DoFrame(movie), 0);
            if (frame == kTarget) {
                EXPECT_EQ(movie->current_frame.load(), kTarget);
                EXPECT_EQ(movie->frame_buffers[movie->current_buffer][0], FrameLuma(kTarget - 1));
            }
            if (frame < movie->frame_count) NextFrame(movie);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kTailMs));
        const uint32_t skips = movie->sound_skips.load();
        CloseMovie(movie);
        const std::vector<uint8_t> played = ReadFile(sound_path);
        if (skips != 0) continue;  // starved by a busy machine: says nothing
        // 16-bit samples: silence is a zero sample.
        auto sample = [&played](size_t at) { return int16_t(played[at] | played[at + 1] << 8); };
        size_t at = 0;
        while (at + 1 < played.size() && sample(at) == 0) at += 2;
        size_t before = 0;  // the track's start, played before the seek stopped it
        while (at + 1 < played.size() && before < from && played[at] == pcm[before] &&
               played[at + 1] == pcm[before + 1]) {
            at += 2;
            before += 2;
        }
        while (at + 1 < played.size() && sample(at) == 0) at += 2;
        ASSERT_GE(played.size() - at, pcm.size() - from) << "the track after the seek was cut short";
        for (size_t i = from; i < pcm.size(); ++i, ++at)
            ASSERT_EQ(played[at], pcm[i])
                << "byte " << i - from << " after the seek (" << before << " bytes played before it)";
        for (; at < played.size(); ++at) ASSERT_EQ(played[at], 0) << "stale audio at " << at;
    }
    ResetEngineSettings();
    std::remove(video_path.c_str());
    std::remove(sound_path.c_str());
}

}  // namespace
}  // namespace zarn
