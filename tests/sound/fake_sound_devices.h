// Hand-driven stand-ins for the sound devices: the test moves the play
// cursor and sets the done flags itself, and reads back what the back end
// asked of the device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/ring_device.h"
#include "sound/wave_device.h"

namespace zarn::testing {

struct FakeRingBuffer final : RingBuffer {
    std::vector<uint8_t> memory;
    PcmFormat format;
    uint32_t position = 0;
    bool started = false;
    bool released = false;
    bool fail_position = false;
    bool fail_lock = false;
    int play_calls = 0;
    int stop_calls = 0;
    int unlock_calls = 0;
    int32_t volume = 12345;
    int32_t pan = 12345;
    uint32_t frequency = 0;

    int32_t Lock(uint32_t offset, uint32_t bytes, uint8_t** address, uint32_t* locked) override {
        if (fail_lock || offset + bytes > memory.size()) return 0;
        *address = memory.data() + offset;
        *locked = bytes;
        return 1;
    }
    void Unlock(uint8_t*, uint32_t) override { ++unlock_calls; }
    void Play() override {
        ++play_calls;
        started = true;
    }
    void Stop() override {
        ++stop_calls;
        started = false;
    }
    int32_t GetPosition(uint32_t* play) override {
        if (fail_position) return 0;
        *play = position;
        return 1;
    }
    void SetPosition(uint32_t play) override { position = play; }
    void SetVolume(int32_t hundredths) override { volume = hundredths; }
    void SetPan(int32_t hundredths) override { pan = hundredths; }
    void SetFrequency(uint32_t rate) override { frequency = rate; }
    void Release() override { released = true; }
};

struct FakeRingSystem final : RingSystem {
    std::vector<std::unique_ptr<FakeRingBuffer>> buffers;
    bool refuse = false;
    uint32_t emulated = 0;
    int release_calls = 0;

    RingBuffer* CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        if (refuse) return nullptr;
        auto buffer = std::make_unique<FakeRingBuffer>();
        buffer->memory.assign(bytes, 0xEE);  // not silence: the back end must clear it
        buffer->format = format;
        buffers.push_back(std::move(buffer));
        return buffers.back().get();
    }
    uint32_t Emulated() override { return emulated; }
    void Release() override { ++release_calls; }
    FakeRingBuffer& Last() { return *buffers.back(); }
};

struct FakeWrite {
    WaveHeader* header;
    uint32_t length;
};

struct FakeWaveDevice final : WaveDevice {
    PcmFormat format;
    std::vector<FakeWrite> writes;
    std::vector<uint32_t> volumes;
    bool paused = false;
    bool closed = false;
    int reset_calls = 0;

    void Write(WaveHeader* header) override { writes.push_back({header, header->length}); }
    void Pause() override { paused = true; }
    void Restart() override { paused = false; }
    void Reset() override {
        ++reset_calls;
        for (FakeWrite& write : writes) write.header->flags.fetch_or(kWaveHeaderDone);
    }
    void SetVolume(uint32_t left_right) override { volumes.push_back(left_right); }
    void Close() override { closed = true; }
    // Marks every header written so far as played.
    void PlayAll() {
        for (FakeWrite& write : writes) write.header->flags.fetch_or(kWaveHeaderDone);
    }
};

struct FakeWaveSystem final : WaveSystem {
    std::vector<std::unique_ptr<FakeWaveDevice>> devices;
    bool refuse = false;

    WaveDevice* Open(const PcmFormat& format) override {
        if (refuse) return nullptr;
        auto device = std::make_unique<FakeWaveDevice>();
        device->format = format;
        devices.push_back(std::move(device));
        return devices.back().get();
    }
    FakeWaveDevice& Last() { return *devices.back(); }
};

}  // namespace zarn::testing
