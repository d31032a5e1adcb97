// The header-queue device that the wave back end writes to: the back end
// queues headers of PCM, the device plays them in order and marks each one
// done when it has played it. The SDL device implements it; tests implement
// it by hand to set the done flags themselves.
#pragma once

#include <atomic>
#include <cstdint>

#include "sound/pcm_format.h"

namespace zarn {

constexpr uint32_t kWaveHeaderDone = 1;

// One queued piece of PCM. The device reads `data`/`length` after a Write
// and sets kWaveHeaderDone in `flags` (release) once it has played them.
struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    std::atomic<uint32_t> flags{0};
    uint8_t reserved[24 - sizeof(uint8_t*)] = {};  // 32 bytes on 32- and 64-bit systems
};
static_assert(sizeof(WaveHeader) == 32, "headers are laid out 32 bytes each");

inline bool WaveHeaderDone(const WaveHeader& header) {
    return (header.flags.load(std::memory_order_acquire) & kWaveHeaderDone) != 0;
}

// One open device.
class WaveDevice {
public:
    // Queues the header behind those written before; plays at once unless paused.
    virtual void Write(WaveHeader* header) = 0;
    virtual void Pause() = 0;
    virtual void Restart() = 0;
    // Stops playback and marks every queued header done.
    virtual void Reset() = 0;
    // Low word the left level, high word the right (0xFFFF = full).
    virtual void SetVolume(uint32_t left_right) = 0;
    // Closes the device and frees it.
    virtual void Close() = 0;

protected:
    ~WaveDevice() = default;
};

// Opens devices.
class WaveSystem {
public:
    // A device playing `format`, or null (no device, refused format).
    virtual WaveDevice* Open(const PcmFormat& format) = 0;

protected:
    ~WaveSystem() = default;
};

// The system's own device: SDL's (sdl_queue_device.cpp) or waveOut's
// (waveout_win32.cpp), chosen at build time.
WaveSystem* PlatformWaveSystem();

}  // namespace zarn
