// The header-queue back end driven through its record against a device whose
// done flags the test sets by hand.
#include "sound/wave_out_output.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/sound/fake_sound_devices.h"

namespace zarn {
namespace {

using testing::FakeWaveDevice;
using testing::FakeWaveSystem;

class QueueBackEnd : public ::testing::Test {
protected:
    void Open(uint32_t rate, uint32_t bits, uint32_t channels) {
        SoundOpenOp open = StartWaveOut(&system_);
        ASSERT_EQ(open, &OpenWaveOutOutput);
        ASSERT_EQ(open(&sound_, rate, bits, channels, 0, nullptr), 1);
        sizes_ = WaveOutSizes(rate, bits, channels);
    }
    void TearDown() override {
        if (sound_.close != nullptr) {
            sound_.close(&sound_);
            EXPECT_TRUE(system_.Last().closed);
        }
    }
    FakeWaveDevice& Device() { return system_.Last(); }
    WaveOutState* State() { return static_cast<WaveOutState*>(sound_.backend); }

    // Fills the offered header with `value`; returns its index, or -1.
    int FillOffered(uint8_t value, uint32_t bytes = 0xFFFFFFFF) {
        if (!sound_.ready(&sound_)) return -1;
        uint8_t* address = nullptr;
        uint32_t size = 0;
        if (!sound_.get_buffer(&sound_, &address, &size)) return -1;
        EXPECT_EQ(size, sizes_.header_size);
        const uint32_t n = bytes < size ? bytes : size;
        std::memset(address, value, n);
        EXPECT_EQ(sound_.commit(&sound_, n), 1);
        return static_cast<int>((address - State()->data_block) / sizes_.header_size);
    }
    // Commits full headers until the device has been started.
    void Prebuffer() {
        for (int i = 0; Device().writes.empty(); ++i) {
            ASSERT_EQ(FillOffered(static_cast<uint8_t>(i + 1)), i);
        }
    }

    FakeWaveSystem system_;
    SoundOutput sound_;
    WaveSizes sizes_;
};

TEST(QueueSizes, HeaderAndPrebufferSizes) {
    struct Row {
        uint32_t rate, bits, channels, header, prebuffer;
    };
    const Row rows[] = {
        {44100, 16, 2, 11040, 88224}, {22050, 16, 2, 5536, 44128}, {44100, 16, 1, 5536, 44128},
        {22050, 16, 1, 2784, 22080},  {22050, 8, 1, 1408, 11040},  {11025, 8, 1, 704, 5536},
    };
    for (const Row& row : rows) {
        const WaveSizes sizes = WaveOutSizes(row.rate, row.bits, row.channels);
        EXPECT_EQ(sizes.header_size, row.header) << row.rate << " Hz " << row.bits << " bits";
        EXPECT_EQ(16 * sizes.header_size, 16 * row.header);
        EXPECT_EQ(sizes.prebuffer_bytes, row.prebuffer) << row.rate << " Hz " << row.bits << " bits";
    }
    EXPECT_EQ(WaveOutSizes(44100, 16, 0).header_size, 0u);
    EXPECT_EQ(WaveOutSizes(10, 16, 2).header_size, 0u);
}

TEST_F(QueueBackEnd, OpenFillsTheRecord) {
    Open(44100, 16, 2);
    EXPECT_EQ(sound_.chunk_bytes, 11040u);
    EXPECT_EQ(sound_.latency_ms, 0u);
    EXPECT_EQ(sound_.on, 1u);
    EXPECT_EQ(Device().format.rate, 44100u);
    EXPECT_TRUE(Device().volumes.empty());  // no volume is sent at open
    for (int i = 0; i < kWaveHeaderCount; ++i) {
        EXPECT_TRUE(WaveHeaderDone(State()->headers[i])) << i;
        EXPECT_EQ(State()->headers[i].data, State()->data_block + i * 11040) << i;
        for (uint32_t b = 0; b < 11040; b += 997) ASSERT_EQ(State()->headers[i].data[b], 0);
    }
}

TEST_F(QueueBackEnd, EightBitDeviceDoublesChunkBytes) {
    Open(22050, 8, 1);
    EXPECT_EQ(sound_.chunk_bytes, 2816u);
    EXPECT_EQ(State()->data_block[0], 0x80);
    EXPECT_EQ(State()->data_block[16 * 1408 - 1], 0x80);
}

TEST_F(QueueBackEnd, PrebuffersThenWritesHeaderZeroWithEverything) {
    Open(44100, 16, 2);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(FillOffered(static_cast<uint8_t>(i + 1)), i);
        EXPECT_TRUE(Device().writes.empty()) << i;
    }
    // The eighth full header: 8 * 11040 = 88320 > 88224.
    EXPECT_EQ(FillOffered(8), 7);
    ASSERT_EQ(Device().writes.size(), 1u);
    EXPECT_EQ(Device().writes[0].header, &State()->headers[0]);
    EXPECT_EQ(Device().writes[0].length, 88320u);
    EXPECT_FALSE(WaveHeaderDone(State()->headers[0]));
    for (int i = 1; i < 8; ++i) EXPECT_TRUE(WaveHeaderDone(State()->headers[i])) << i;
    // The written range holds the eight areas in order.
    for (uint32_t b = 0; b < 88320; b += 1000) ASSERT_EQ(State()->data_block[b], b / 11040 + 1) << b;

    // Streaming: each commit is written at once with its own length.
    EXPECT_EQ(FillOffered(9, 500), 8);
    ASSERT_EQ(Device().writes.size(), 2u);
    EXPECT_EQ(Device().writes[1].header, &State()->headers[8]);
    EXPECT_EQ(Device().writes[1].length, 500u);
    for (int i = 9; i < 16; ++i) EXPECT_EQ(FillOffered(0x20), i);
    // Header 0 still plays: the ring does not overtake it.
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_EQ(sound_.underrun.load(), 0u);
    State()->headers[0].flags.fetch_or(kWaveHeaderDone);
    EXPECT_EQ(FillOffered(0x21), 0);
    // Headers 1..7 were played as part of the first write and are free.
    EXPECT_EQ(FillOffered(0x22), 1);
    EXPECT_EQ(Device().writes.back().header, &State()->headers[1]);
}

TEST_F(QueueBackEnd, ShortCommitsNeverWriteBeyondTheAreas) {
    Open(22050, 16, 1);
    // Many small commits go round the ring before the threshold is passed.
    for (int i = 0; Device().writes.empty() && i < 200; ++i) {
        ASSERT_GE(FillOffered(1, 2000), 0) << i;
    }
    ASSERT_EQ(Device().writes.size(), 1u);
    EXPECT_LE(Device().writes[0].length, 16 * sizes_.header_size);
    EXPECT_GT(Device().writes[0].length, sizes_.prebuffer_bytes);
}

TEST_F(QueueBackEnd, ReadyAnswersZeroWhilePausedOrOff) {
    Open(22050, 16, 1);
    EXPECT_EQ(sound_.set_paused(&sound_, 1), 1);
    EXPECT_TRUE(Device().paused);
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_EQ(sound_.set_paused(&sound_, 0), 0);
    EXPECT_FALSE(Device().paused);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.set_on(&sound_, 0), 0);
    EXPECT_EQ(sound_.ready(&sound_), 0);
    uint8_t* address = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(sound_.get_buffer(&sound_, &address, &size), 0);
    EXPECT_EQ(sound_.commit(&sound_, 0), 0);
}

TEST_F(QueueBackEnd, RunningDryRaisesUnderrunAndPrebuffersAgain) {
    Open(44100, 16, 2);
    Prebuffer();
    EXPECT_EQ(FillOffered(0x30), 8);
    ASSERT_EQ(Device().writes.size(), 2u);
    EXPECT_EQ(sound_.ready(&sound_), 1);  // header 9 is free, but header 0 and 8 still play
    EXPECT_EQ(sound_.underrun.load(), 0u);
    Device().PlayAll();
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.underrun.load(), 1u);
    EXPECT_EQ(FillOffered(0x31), 0);
    EXPECT_EQ(Device().writes.size(), 2u);  // prebuffering again: nothing written
    for (int i = 1; i < 8; ++i) EXPECT_EQ(FillOffered(0x32), i);
    ASSERT_EQ(Device().writes.size(), 3u);
    EXPECT_EQ(Device().writes[2].header, &State()->headers[0]);
    EXPECT_EQ(Device().writes[2].length, 88320u);
}

TEST_F(QueueBackEnd, VolumeAndPanSetBothChannelLevels) {
    Open(44100, 16, 2);
    sound_.set_volume(&sound_, 65535);
    ASSERT_FALSE(Device().volumes.empty());
    EXPECT_EQ(Device().volumes.back(), 0x7FFF7FFFu);
    sound_.set_pan(&sound_, 0);
    EXPECT_EQ(Device().volumes.back(), 0x00007FFFu);
    sound_.set_pan(&sound_, 65536);
    EXPECT_EQ(Device().volumes.back(), 0x7FFF0000u);
    sound_.set_pan(&sound_, 49152);  // three quarters right: left at about half
    EXPECT_EQ(Device().volumes.back(), 0x7FFF0000u | (32767u * 16384 / 32769));
    sound_.set_volume(&sound_, 0);
    EXPECT_EQ(Device().volumes.back(), 0u);
    sound_.set_volume(&sound_, 0xFFFFFFFF);  // clamped to 65535
    EXPECT_EQ(Device().volumes.back(), 0x7FFF0000u | (32767u * 16384 / 32769));
}

TEST_F(QueueBackEnd, SwitchingOffAndOnReopensAndPrebuffers) {
    Open(44100, 16, 2);
    Prebuffer();
    FakeWaveDevice& first = Device();
    EXPECT_EQ(sound_.set_on(&sound_, 0), 0);
    EXPECT_EQ(first.reset_calls, 1);
    EXPECT_TRUE(first.closed);
    EXPECT_EQ(State()->data_block, nullptr);
    EXPECT_EQ(sound_.set_on(&sound_, 0), 0);
    EXPECT_EQ(sound_.set_on(&sound_, 2), 0);  // neither 0 nor 1: no change
    EXPECT_EQ(sound_.set_on(&sound_, 1), 1);
    ASSERT_EQ(system_.devices.size(), 2u);
    EXPECT_NE(State()->data_block, nullptr);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(FillOffered(0x40), i);
    EXPECT_TRUE(Device().writes.empty());
    EXPECT_EQ(FillOffered(0x41), 7);
    EXPECT_EQ(Device().writes.size(), 1u);

    // A refused reopen leaves the sound off.
    EXPECT_EQ(sound_.set_on(&sound_, 0), 0);
    system_.refuse = true;
    EXPECT_EQ(sound_.set_on(&sound_, 1), 0);
    EXPECT_EQ(sound_.ready(&sound_), 0);
    system_.refuse = false;
    EXPECT_EQ(sound_.set_on(&sound_, 1), 1);
}

TEST_F(QueueBackEnd, RefusedDeviceOrFormatFailsTheOpen) {
    SoundOpenOp open = StartWaveOut(&system_);
    system_.refuse = true;
    EXPECT_EQ(open(&sound_, 44100, 16, 2, 0, nullptr), 0);
    EXPECT_EQ(sound_.close, nullptr);
    EXPECT_EQ(sound_.backend, nullptr);
    system_.refuse = false;
    EXPECT_EQ(open(&sound_, 44100, 12, 2, 0, nullptr), 0);
    EXPECT_EQ(open(&sound_, 0, 16, 2, 0, nullptr), 0);
    EXPECT_TRUE(system_.devices.empty());
}

}  // namespace
}  // namespace zarn
