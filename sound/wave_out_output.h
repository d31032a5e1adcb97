// The header-queue back end: a ring of 16 headers, each with its own data
// area of about 62.5 ms. About half a second is collected before the device
// starts, as one write covering every area filled so far; after that each
// committed header is written at once and comes back into use when the
// device marks it done.
#pragma once

#include <cstdint>

#include "engine/sound_output.h"
#include "sound/wave_device.h"

namespace zarn {

constexpr int32_t kWaveHeaderCount = 16;

// The back end's state behind SoundOutput::backend.
struct WaveOutState {
    uint32_t volume = 0;   // 0..32767
    uint32_t pan = 0;      // 0..65536, 32768 centre
    uint32_t started = 0;  // prebuffering is over
    uint32_t device_paused = 0;
    int32_t selected = -1;
    int32_t last_committed = -1;
    uint32_t committed_bytes = 0;  // since prebuffering began
    uint32_t prebuffer_bytes = 0;
    uint32_t header_size = 0;
    WaveDevice* wave_handle = nullptr;
    WaveHeader* headers = nullptr;  // kWaveHeaderCount records inside data_block
    uint8_t* data_block = nullptr;
};

struct WaveSizes {
    uint32_t header_size = 0;      // about 62.5 ms, a multiple of 32
    uint32_t prebuffer_bytes = 0;  // about 500 ms, a multiple of 32
};

// Sizes for a format (zeros for an invalid one).
WaveSizes WaveOutSizes(uint32_t rate, uint32_t bits, uint32_t channels);

// Start operation. `device_or_null` is a WaveSystem* supplied by the caller,
// or null for the system's own device. Returns OpenWaveOutOutput.
SoundOpenOp StartWaveOut(void* device_or_null);

// Sound-open operation: fills the record; returns 1, or 0 when no device
// plays the format (the record is then left cleared).
int32_t OpenWaveOutOutput(SoundOutput* sound, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t flags,
                          Movie* movie);

}  // namespace zarn
