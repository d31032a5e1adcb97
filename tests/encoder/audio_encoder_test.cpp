// Audio tracks coded and then decoded by the project's decoder the way the
// engine takes packets: exact length, alignment with frame times, fidelity.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_decoder.h"
#include "encoder/audio_encoder.h"
#include "encoder/test_media.h"

namespace zarn {
namespace {

struct Decoded {
    std::vector<int16_t> samples;
    std::vector<uint64_t> after_frame;  // values decoded after each frame
};

Decoded DecodeTrack(const AudioTrackPackets& t, uint32_t rate, uint32_t channels) {
    Decoded d;
    AudioDecoder* dec = CreateAudioDecoder(rate, channels, 1);
    for (const AudioPacket& p : t.packets) {
        if (p.present) {
            const uint8_t* block = p.data.data();
            const uint8_t* end = p.data.data() + p.data.size();
            uint32_t due = p.decoded_bytes;
            while (due > 0) {
                const int16_t* pcm = nullptr;
                uint32_t bytes = 0;
                const uint8_t* next = nullptr;
                DecodeAudioBlock(dec, &pcm, &bytes, block, end, &next);
                const uint32_t take = std::min(bytes, due);
                d.samples.insert(d.samples.end(), pcm, pcm + take / 2);
                due -= take;
                block = next;
            }
            EXPECT_EQ(block, end) << "a packet holds exactly the blocks its count delivers";
        }
        d.after_frame.push_back(d.samples.size());
    }
    FreeAudioDecoder(dec);
    return d;
}

double SnrDb(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        signal += double(a[i]) * a[i];
        noise += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    }
    return noise == 0 ? 99.0 : 10 * std::log10(signal / noise);
}

TEST(AudioEncoder, EveryBlockSizeClassMonoAndStereo) {
    struct Case {
        uint32_t rate, channels;
    } cases[] = {{8000, 1}, {11025, 2}, {22050, 1}, {32000, 2}, {44100, 1}, {48000, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz x" + std::to_string(c.channels));
        const PcmTrack in = MakeSineSweep(c.rate, c.channels, 0.7);
        const uint32_t frames = 25;  // one second at 25 frames per second: longer than the sound
        const AudioTrackPackets t = EncodeAudioTrack(in, frames, 25, 1, 75);
        EXPECT_EQ(t.format & 0xFFFF, c.rate);
        EXPECT_EQ((t.format & kTrackFormatStereo) != 0, c.channels == 2);
        const Decoded d = DecodeTrack(t, c.rate, c.channels);
        ASSERT_EQ(d.samples.size(), in.samples.size());
        EXPECT_GT(SnrDb(in.samples, d.samples), 30.0);
        // After frame f the decoded audio reaches the end of frame f's time,
        // never more than one block ahead of it.
        const AudioBlockEncoder geometry(c.rate, c.channels, 75);
        for (uint32_t f = 0; f < frames; ++f) {
            const uint64_t due =
                std::min<uint64_t>(in.samples.size(), uint64_t{f + 1} * c.rate / 25 * c.channels);
            EXPECT_GE(d.after_frame[f], due);
            EXPECT_LT(d.after_frame[f], due + geometry.Step());
        }
        EXPECT_GE(t.buffer_size, c.rate * c.channels * 2);
        EXPECT_EQ(t.buffer_size % 256, 0u);
    }
}

TEST(AudioEncoder, QualityRaisesFidelityAndSilenceCostsLittle) {
    const PcmTrack chord = MakeChord(22050, 2, 0.5);
    double snr_low = 0, snr_high = 0;
    size_t bytes_low = 0, bytes_high = 0;
    for (unsigned q : {20u, 95u}) {
        const AudioTrackPackets t = EncodeAudioTrack(chord, 10, 20, 1, q);
        const Decoded d = DecodeTrack(t, 22050, 2);
        size_t bytes = 0;
        for (const AudioPacket& p : t.packets) bytes += p.data.size();
        (q == 20 ? snr_low : snr_high) = SnrDb(chord.samples, d.samples);
        (q == 20 ? bytes_low : bytes_high) = bytes;
    }
    EXPECT_GT(snr_high, snr_low + 10);
    EXPECT_GT(bytes_high, bytes_low);
    EXPECT_GT(snr_low, 10.0);

    PcmTrack silence{11025, 1, std::vector<int16_t>(11025, 0)};
    const AudioTrackPackets s = EncodeAudioTrack(silence, 5, 5, 1, 75);
    const Decoded d = DecodeTrack(s, 11025, 1);
    ASSERT_EQ(d.samples.size(), silence.samples.size());
    for (int16_t v : d.samples) ASSERT_EQ(v, 0);
    for (const AudioPacket& p : s.packets) {
        if (p.present) {
            EXPECT_LE(p.data.size(), 32u * ((p.decoded_bytes + 959) / 960 + 1));
        }
    }
}

TEST(AudioEncoder, SoundLongerThanTheVideoGoesIntoTheLastFrame) {
    const PcmTrack in = MakeChord(11025, 1, 1.0);
    const AudioTrackPackets t = EncodeAudioTrack(in, 3, 25, 1, 75);
    const Decoded d = DecodeTrack(t, 11025, 1);
    EXPECT_EQ(d.samples.size(), in.samples.size());
    EXPECT_EQ(d.after_frame.back(), in.samples.size());
    EXPECT_GE(t.buffer_size, t.packets.back().decoded_bytes);
}

}  // namespace
}  // namespace zarn
