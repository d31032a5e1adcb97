// Both back ends on a real SDL device: SDL's disk driver writes what it plays
// to a file, which must hold the fed PCM in order after the start-up silence.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sound/direct_sound_output.h"
#include "sound/attenuation.h"
#include "sound/pcm_format.h"
#include "sound/pcm_gain.h"
#include "sound/wave_out_output.h"

namespace zarn {
namespace {

constexpr uint32_t kRate = 8000;
// The disk driver waits this long per 32 ms callback: twice real time.
constexpr const char* kDiskDelayMs = "16";
constexpr double kSpeedUp = 2.0;

std::string UseDiskDriver(const char* tag) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/zarn_sound_" + tag + "_" +
                       std::to_string(getpid()) + ".raw";
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", kDiskDelayMs, 1);
    return path;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);
    std::remove(path.c_str());
    return bytes;
}

// Distinct, never-silent PCM: 16-bit frames count up from 100 (right channel
// negated), 8-bit bytes cycle through every value except 0x80.
std::vector<uint8_t> Pattern(uint32_t bits, uint32_t channels, uint32_t bytes) {
    std::vector<uint8_t> pcm(bytes);
    if (bits == 16) {
        for (uint32_t i = 0; i + 1 < bytes; i += 2) {
            const uint32_t frame = i / (2 * channels);
            const int32_t level = static_cast<int32_t>(frame) + 100;  // stays non-zero when halved
            const int16_t value = static_cast<int16_t>((i / 2) % channels ? -level : level);
            std::memcpy(&pcm[i], &value, 2);
        }
    } else {
        for (uint32_t i = 0; i < bytes; ++i) {
            const uint32_t v = i % 255;
            pcm[i] = static_cast<uint8_t>(v >= 0x80 ? v + 1 : v);
        }
    }
    return pcm;
}

// Feeds the record the way the engine does: whenever a chunk is offered,
// copy the next piece of `pcm` into it (silence once it has all gone) and
// commit. Runs for `wall_ms`; returns the number of underruns seen and sets
// *all_taken when the device took every byte.
uint32_t Feed(SoundOutput* sound, const std::vector<uint8_t>& pcm, uint32_t wall_ms, bool* all_taken) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wall_ms);
    size_t fed = 0;
    uint32_t underruns = 0;
    while (std::chrono::steady_clock::now() < end) {
        while (sound->ready(sound)) {
            if (sound->underrun.exchange(0)) ++underruns;
            uint8_t* address = nullptr;
            uint32_t size = 0;
            if (!sound->get_buffer(sound, &address, &size)) break;
            const size_t n = std::min<size_t>(size, pcm.size() - fed);
            std::memcpy(address, pcm.data() + fed, n);
            std::memset(address + n, SilenceByte(sound->bits), size - n);
            fed += n;
            sound->commit(sound, size);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    *all_taken = fed == pcm.size();
    return underruns;
}

// The written audio: silence, then exactly `pcm`, then only silence.
void ExpectPlayedInOrder(const std::vector<uint8_t>& played, const std::vector<uint8_t>& pcm, uint32_t bits) {
    const uint8_t silence = SilenceByte(bits);
    size_t start = 0;
    while (start < played.size() && played[start] == silence) ++start;
    ASSERT_LT(start, played.size()) << "nothing but silence was played";
    ASSERT_GE(played.size() - start, pcm.size()) << "the fed audio was cut short";
    for (size_t i = 0; i < pcm.size(); ++i) {
        ASSERT_EQ(played[start + i], pcm[i])
            << "byte " << i << " of the fed audio (played at " << start + i << ")";
    }
    for (size_t i = start + pcm.size(); i < played.size(); ++i) {
        ASSERT_EQ(played[i], silence) << "stale audio at " << i;
    }
}

struct Case {
    const char* tag;
    SoundStartOp start;
    uint32_t bits;
    uint32_t channels;
    uint32_t pattern_ms;
    // When set: pan hard left, and the gains the device must then apply.
    bool pan_left = false;
    uint32_t left_gain = kUnityGain;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.tag; }

class SdlDisk : public ::testing::TestWithParam<Case> {};

TEST_P(SdlDisk, PlaysTheFedAudioInOrder) {
    const Case& c = GetParam();
    const uint32_t per_second = PcmBytesPerSecond(PcmFormat{kRate, c.bits, c.channels});
    const std::vector<uint8_t> pcm = Pattern(c.bits, c.channels, per_second / 1000 * c.pattern_ms);
    const uint32_t audio_ms = c.pattern_ms + 700;  // the audio, the buffering ahead of it, a margin

    // The feeding runs against the device in real time: on a machine so busy
    // that the feeder is starved, the device rightly plays silence. Such a
    // run says nothing about the back end, so it is repeated.
    std::string path;
    bool clean_run = false;
    for (int attempt = 0; attempt < 3 && !clean_run; ++attempt) {
        path = UseDiskDriver(c.tag);
        SoundOpenOp open = c.start(nullptr);
        ASSERT_NE(open, nullptr) << "the disk driver did not initialise";
        SoundOutput sound;
        ASSERT_EQ(open(&sound, kRate, c.bits, c.channels, 0, nullptr), 1);
        if (c.pan_left) sound.set_pan(&sound, 0);
        bool all_taken = false;
        const uint32_t underruns = Feed(&sound, pcm, static_cast<uint32_t>(audio_ms / kSpeedUp), &all_taken);
        sound.close(&sound);
        clean_run = underruns == 0 && all_taken;
    }
    if (!clean_run) GTEST_SKIP() << "the feeder was starved in every attempt (machine too busy)";

    std::vector<uint8_t> expected = pcm;
    if (c.pan_left) {
        ApplyGains(expected.data(), static_cast<uint32_t>(expected.size()), c.bits, c.channels, c.left_gain,
                   0);
    }
    const std::vector<uint8_t> played = ReadFile(path);
    ExpectPlayedInOrder(played, expected, c.bits);
}

INSTANTIATE_TEST_SUITE_P(
    BothBackEnds, SdlDisk,
    ::testing::Values(
        // 0.8 s: more than the ring's four chunks and than the
        // prebuffer, so steady refilling is part of the run.
        Case{"ring16", StartDirectSound, 16, 2, 800}, Case{"ring8", StartDirectSound, 8, 1, 800},
        Case{"queue16", StartWaveOut, 16, 2, 800}, Case{"queue8", StartWaveOut, 8, 1, 800},
        // Hard left: the ring silences the right channel; the
        // queue also halves the left (levels stay within 0x7FFF).
        Case{"ring16left", StartDirectSound, 16, 2, 300, true, kUnityGain},
        Case{"queue16left", StartWaveOut, 16, 2, 300, true, 16383}),
    [](const ::testing::TestParamInfo<Case>& param_info) { return std::string(param_info.param.tag); });

TEST(SdlNoDevice, WithoutADriverTheMovieGoesSilent) {
    setenv("SDL_AUDIODRIVER", "zarn_no_such_driver", 1);
    EXPECT_EQ(StartDirectSound(nullptr), nullptr);
    SoundOpenOp open = StartWaveOut(nullptr);
    ASSERT_NE(open, nullptr);
    SoundOutput sound;
    EXPECT_EQ(open(&sound, 22050, 16, 2, 0, nullptr), 0);
    EXPECT_EQ(sound.ready, nullptr);
}

}  // namespace
}  // namespace zarn
