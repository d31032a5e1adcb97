// The ring back end driven through its record against a hand-moved cursor.
#include "sound/direct_sound_output.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sound/shared_sound_device.h"
#include "tests/sound/fake_sound_devices.h"

namespace zarn {
namespace {

using testing::FakeRingBuffer;
using testing::FakeRingSystem;

class RingBackEnd : public ::testing::Test {
protected:
    void Open(uint32_t rate, uint32_t bits, uint32_t channels) {
        SoundOpenOp open = StartDirectSound(&system_);
        ASSERT_EQ(open, &OpenDirectSoundOutput);
        ASSERT_EQ(open(&sound_, rate, bits, channels, 0, nullptr), 1);
        chunk_ = RingChunkSize(rate, bits, channels, 0);
    }
    void TearDown() override {
        if (sound_.close != nullptr) sound_.close(&sound_);
        EXPECT_EQ(SharedDevice().users, 0u);
    }
    FakeRingBuffer& Buffer() { return system_.Last(); }
    uint8_t* ChunkAt(uint32_t index) { return Buffer().memory.data() + index * chunk_; }

    // Asks for a chunk, fills it with `value` and hands it back; returns the
    // chunk index, or -1 when none was offered.
    int FillOffered(uint8_t value, uint32_t bytes = 0xFFFFFFFF) {
        if (!sound_.ready(&sound_)) return -1;
        uint8_t* address = nullptr;
        uint32_t size = 0;
        if (!sound_.get_buffer(&sound_, &address, &size)) return -1;
        EXPECT_EQ(size, chunk_);
        const uint32_t n = bytes < size ? bytes : size;
        std::memset(address, value, n);
        EXPECT_EQ(sound_.commit(&sound_, n), 1);
        return static_cast<int>((address - Buffer().memory.data()) / chunk_);
    }
    void PrimeAndStart() {
        for (int i = 0; i < 4; ++i) ASSERT_EQ(FillOffered(static_cast<uint8_t>(0x10 + i)), i);
        ASSERT_EQ(sound_.ready(&sound_), 0);
        ASSERT_TRUE(Buffer().started);
    }
    bool ChunkIs(uint32_t index, uint8_t value) {
        for (uint32_t i = 0; i < chunk_; ++i) {
            if (ChunkAt(index)[i] != value) return false;
        }
        return true;
    }
    void MoveCursorToChunk(uint32_t index) { Buffer().position = index * chunk_ + 7; }

    FakeRingSystem system_;
    SoundOutput sound_;
    uint32_t chunk_ = 0;
};

TEST(RingSizes, ChunkSizesAndLatencies) {
    struct Row {
        uint32_t rate, bits, channels, emulated, chunk, latency;
    };
    const Row rows[] = {
        {44100, 16, 2, 0, 32768, 557},  {44100, 16, 1, 0, 16384, 557}, {22050, 16, 2, 0, 16384, 557},
        {22050, 16, 1, 0, 8192, 557},   {22050, 8, 1, 0, 4096, 557},   {48000, 16, 2, 0, 32768, 512},
        {48000, 16, 2, 1, 65536, 1024}, {44100, 16, 2, 1, 32768, 557},
    };
    for (const Row& row : rows) {
        const uint32_t chunk = RingChunkSize(row.rate, row.bits, row.channels, row.emulated);
        EXPECT_EQ(chunk, row.chunk) << row.rate << " Hz " << row.bits << " bits " << row.channels << " ch";
        EXPECT_EQ(RingLatencyMs(chunk, row.rate, row.bits, row.channels), row.latency) << row.rate;
    }
    EXPECT_EQ(RingChunkSize(0, 16, 2, 0), 0u);
    EXPECT_EQ(RingChunkSize(44100, 12, 2, 0), 0u);
    EXPECT_EQ(RingChunkSize(44100, 16, 3, 0), 0u);
}

TEST_F(RingBackEnd, OpenFillsTheRecordAndClearsTheBuffer) {
    Open(44100, 16, 2);
    EXPECT_EQ(sound_.chunk_bytes, 32768u);
    EXPECT_EQ(sound_.latency_ms, 557u);
    EXPECT_EQ(sound_.on, 1u);
    EXPECT_EQ(sound_.rate, 44100u);
    EXPECT_EQ(Buffer().memory.size(), 4u * 32768u);
    EXPECT_EQ(Buffer().format.bits, 16u);
    EXPECT_EQ(Buffer().frequency, 44100u);
    EXPECT_EQ(Buffer().volume, 0);
    EXPECT_EQ(Buffer().pan, 0);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(ChunkIs(i, 0x00)) << i;
    EXPECT_FALSE(Buffer().started);
}

TEST_F(RingBackEnd, EightBitDeviceDoublesChunkBytesAndClearsTo0x80) {
    Open(22050, 8, 1);
    EXPECT_EQ(chunk_, 4096u);
    EXPECT_EQ(sound_.chunk_bytes, 8192u);
    EXPECT_EQ(sound_.latency_ms, 557u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(ChunkIs(i, 0x80)) << i;
}

TEST_F(RingBackEnd, EmulatedSystemUsesLargerChunks) {
    system_.emulated = 1;
    Open(48000, 16, 2);
    EXPECT_EQ(sound_.chunk_bytes, 65536u);
    EXPECT_EQ(sound_.latency_ms, 1024u);
    EXPECT_EQ(Buffer().memory.size(), 4u * 65536u);
}

TEST_F(RingBackEnd, PrimingOffersFourChunksThenStartsPlayback) {
    Open(22050, 16, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(FillOffered(static_cast<uint8_t>(0x10 + i)), i);
        EXPECT_FALSE(Buffer().started);
    }
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_TRUE(Buffer().started);
    EXPECT_EQ(Buffer().play_calls, 1);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(ChunkIs(i, static_cast<uint8_t>(0x10 + i))) << i;
    // The cursor has not left chunk 0 yet: nothing to fill.
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_EQ(sound_.underrun.load(), 0u);
}

TEST_F(RingBackEnd, ReadyKeepsOfferingTheSameChunkUntilCommitted) {
    Open(22050, 16, 1);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(FillOffered(1), 0);
    EXPECT_EQ(FillOffered(2), 1);
    EXPECT_EQ(FillOffered(3), 2);
    EXPECT_EQ(FillOffered(4), 3);
    EXPECT_EQ(sound_.ready(&sound_), 0);

    // Playing: the same selection survives repeated calls while the cursor stays.
    MoveCursorToChunk(1);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(FillOffered(5), 0);
    EXPECT_EQ(sound_.underrun.load(), 0u);
    // A second get_buffer without commit is refused.
    ASSERT_EQ(sound_.ready(&sound_), 0);
    MoveCursorToChunk(2);
    ASSERT_EQ(sound_.ready(&sound_), 1);
    uint8_t* address = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(sound_.get_buffer(&sound_, &address, &size), 1);
    EXPECT_EQ(sound_.get_buffer(&sound_, &address, &size), 0);
    EXPECT_EQ(sound_.commit(&sound_, size), 1);
    EXPECT_EQ(sound_.commit(&sound_, size), 0);
}

TEST_F(RingBackEnd, SteadyPlayOffersTheChunkJustLeftAroundTheRing) {
    Open(22050, 16, 1);
    PrimeAndStart();
    const uint32_t cursor[] = {1, 2, 3, 0, 1};
    const int offered[] = {0, 1, 2, 3, 0};
    for (int i = 0; i < 5; ++i) {
        MoveCursorToChunk(cursor[i]);
        EXPECT_EQ(FillOffered(static_cast<uint8_t>(0x20 + i)), offered[i]) << i;
        EXPECT_EQ(sound_.ready(&sound_), 0);
    }
    EXPECT_EQ(sound_.underrun.load(), 0u);
}

TEST_F(RingBackEnd, CursorTwoChunksAheadSilencesTheSkippedChunk) {
    Open(22050, 16, 1);
    PrimeAndStart();
    MoveCursorToChunk(2);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.underrun.load(), 1u);
    EXPECT_TRUE(ChunkIs(0, 0x00));  // passed without a refill
    EXPECT_TRUE(ChunkIs(1, 0x11));  // just left: offered, untouched
    EXPECT_TRUE(ChunkIs(2, 0x12));
    EXPECT_EQ(FillOffered(0x30), 1);

    // Wrapping round: cursor from 2 to 1 passes 2, 3 and 0 without refills.
    sound_.underrun.store(0);
    std::memset(ChunkAt(0), 0x44, chunk_);
    MoveCursorToChunk(1);
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.underrun.load(), 1u);
    EXPECT_TRUE(ChunkIs(2, 0x00));
    EXPECT_TRUE(ChunkIs(3, 0x00));
    EXPECT_TRUE(ChunkIs(0, 0x44));
    EXPECT_EQ(FillOffered(0x31), 0);
}

TEST_F(RingBackEnd, SelectedChunkNotFilledInTimeIsSilencedAndSelectionMoves) {
    Open(22050, 8, 2);
    PrimeAndStart();
    MoveCursorToChunk(1);
    ASSERT_EQ(sound_.ready(&sound_), 1);  // selects chunk 0
    MoveCursorToChunk(3);                 // the engine was too slow
    EXPECT_EQ(sound_.ready(&sound_), 1);
    EXPECT_EQ(sound_.underrun.load(), 1u);
    EXPECT_TRUE(ChunkIs(0, 0x80));
    EXPECT_TRUE(ChunkIs(1, 0x80));
    EXPECT_TRUE(ChunkIs(2, 0x12));
    EXPECT_EQ(FillOffered(0x50), 2);
}

TEST_F(RingBackEnd, ShortCommitPadsWithSilence) {
    for (uint32_t bits : {16u, 8u}) {
        SCOPED_TRACE(bits);
        Open(22050, bits, 1);
        EXPECT_EQ(FillOffered(0x55, 100), 0);
        const uint8_t silence = bits == 16 ? 0x00 : 0x80;
        for (uint32_t i = 0; i < chunk_; ++i) {
            ASSERT_EQ(ChunkAt(0)[i], i < 100 ? 0x55 : silence) << i;
        }
        // A commit claiming more than the chunk writes nothing past it.
        ASSERT_EQ(sound_.ready(&sound_), 1);
        uint8_t* address = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(sound_.get_buffer(&sound_, &address, &size), 1);
        EXPECT_EQ(sound_.commit(&sound_, size + 1000), 1);
        sound_.close(&sound_);
        EXPECT_TRUE(Buffer().released);
    }
}

TEST_F(RingBackEnd, VolumeAndPanBecomeAttenuations) {
    Open(44100, 16, 2);
    sound_.set_pan(&sound_, 32767);
    EXPECT_EQ(Buffer().pan, 0);
    sound_.set_pan(&sound_, 32768);
    EXPECT_EQ(Buffer().pan, 0);
    sound_.set_pan(&sound_, 0);
    EXPECT_EQ(Buffer().pan, -10000);
    sound_.set_pan(&sound_, 65536);
    EXPECT_EQ(Buffer().pan, 10000);
    sound_.set_pan(&sound_, 1000000);  // clamped to 65536
    EXPECT_EQ(Buffer().pan, 10000);
    sound_.set_volume(&sound_, 0);
    EXPECT_EQ(Buffer().volume, -10000);
    sound_.set_volume(&sound_, 32767);
    EXPECT_EQ(Buffer().volume, 0);
    sound_.set_volume(&sound_, 65535);
    EXPECT_EQ(Buffer().volume, 0);
    sound_.set_volume(&sound_, 16384);  // entry 63
    EXPECT_EQ(Buffer().volume, -609);
}

TEST_F(RingBackEnd, SwitchingOffAndOnRestartsPriming) {
    Open(22050, 16, 1);
    PrimeAndStart();
    MoveCursorToChunk(2);
    EXPECT_EQ(sound_.set_on(&sound_, 0), 0);
    EXPECT_FALSE(Buffer().started);
    EXPECT_EQ(Buffer().position, 0u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(ChunkIs(i, 0x00)) << i;
    EXPECT_EQ(sound_.set_on(&sound_, 7), 0);  // neither 0 nor 1: no change
    EXPECT_EQ(sound_.set_on(&sound_, 1), 1);
    EXPECT_EQ(sound_.on, 1u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(FillOffered(static_cast<uint8_t>(0x60 + i)), i);
        EXPECT_FALSE(Buffer().started);
    }
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_TRUE(Buffer().started);
    EXPECT_EQ(Buffer().play_calls, 2);
}

TEST_F(RingBackEnd, PauseHoldsAndResumeOnlyRestartsAPlayingBuffer) {
    Open(22050, 16, 1);
    EXPECT_EQ(sound_.set_paused(&sound_, 0), 0);
    EXPECT_EQ(Buffer().play_calls, 0);
    EXPECT_EQ(sound_.set_paused(&sound_, 1), 1);
    EXPECT_EQ(sound_.set_paused(&sound_, 0), 0);
    EXPECT_EQ(Buffer().play_calls, 0);
    PrimeAndStart();
    EXPECT_EQ(sound_.set_paused(&sound_, 1), 1);
    EXPECT_FALSE(Buffer().started);
    EXPECT_EQ(sound_.set_paused(&sound_, 0), 0);
    EXPECT_TRUE(Buffer().started);
    EXPECT_EQ(Buffer().play_calls, 2);
}

TEST_F(RingBackEnd, DeviceFailuresAnswerZeroAndChangeNothing) {
    Open(22050, 16, 1);
    PrimeAndStart();
    MoveCursorToChunk(2);
    Buffer().fail_position = true;
    EXPECT_EQ(sound_.ready(&sound_), 0);
    EXPECT_EQ(sound_.underrun.load(), 0u);
    Buffer().fail_position = false;
    ASSERT_EQ(sound_.ready(&sound_), 1);
    Buffer().fail_lock = true;
    uint8_t* address = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(sound_.get_buffer(&sound_, &address, &size), 0);
    EXPECT_EQ(sound_.commit(&sound_, 0), 0);
    Buffer().fail_lock = false;
    EXPECT_EQ(FillOffered(0x70), 1);
}

TEST_F(RingBackEnd, RefusedFormatsAndBuffersLeaveNothingOpen) {
    SoundOpenOp open = StartDirectSound(&system_);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open(&sound_, 0, 16, 2, 0, nullptr), 0);
    EXPECT_EQ(open(&sound_, 44100, 24, 2, 0, nullptr), 0);
    EXPECT_EQ(open(&sound_, 44100, 16, 6, 0, nullptr), 0);
    system_.refuse = true;
    EXPECT_EQ(open(&sound_, 44100, 16, 2, 0, nullptr), 0);
    EXPECT_EQ(sound_.ready, nullptr);
    EXPECT_EQ(sound_.backend, nullptr);
    EXPECT_EQ(SharedDevice().users, 0u);
}

// An owned system: created by the first user, released by the last.
FakeRingSystem* g_owned_system = nullptr;
int g_create_calls = 0;
RingSystem* CreateOwned() {
    ++g_create_calls;
    return g_owned_system;
}

TEST(RingSharedDevice, CountsUsersAndReleasesOnlyOnce) {
    FakeRingSystem system;
    g_owned_system = &system;
    SharedSoundDevice& shared = SharedDevice();
    shared.create = CreateOwned;
    ASSERT_EQ(StartDirectSound(nullptr), &OpenDirectSoundOutput);
    EXPECT_EQ(g_create_calls, 1);
    EXPECT_EQ(system.release_calls, 1);  // proved to work, then let go

    SoundOutput first;
    SoundOutput failed;
    ASSERT_EQ(OpenDirectSoundOutput(&first, 22050, 16, 1, 0, nullptr), 1);
    EXPECT_EQ(g_create_calls, 2);
    // Starting again while a record is open keeps the system in use.
    EXPECT_EQ(StartDirectSound(nullptr), &OpenDirectSoundOutput);
    FakeRingSystem other;
    EXPECT_EQ(StartDirectSound(&other), nullptr);
    EXPECT_EQ(shared.device, &system);
    EXPECT_EQ(g_create_calls, 2);
    system.refuse = true;
    EXPECT_EQ(OpenDirectSoundOutput(&failed, 22050, 16, 1, 0, nullptr), 0);
    EXPECT_EQ(shared.users, 1u);
    CloseDirectSoundOutput(&failed);  // nothing to release
    EXPECT_EQ(shared.users, 1u);
    EXPECT_EQ(system.release_calls, 1);
    first.close(&first);
    EXPECT_EQ(shared.users, 0u);
    EXPECT_EQ(system.release_calls, 2);
    EXPECT_TRUE(system.Last().released);
    first.close(&first);  // a second close is harmless
    EXPECT_EQ(system.release_calls, 2);

    // A system that cannot be created makes the start operation fail.
    g_owned_system = nullptr;
    EXPECT_EQ(StartDirectSound(nullptr), nullptr);
    EXPECT_EQ(shared.users, 0u);
    EXPECT_EQ(OpenDirectSoundOutput(&first, 22050, 16, 1, 0, nullptr), 0);
    shared.create = nullptr;
}

}  // namespace
}  // namespace zarn
