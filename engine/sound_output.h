// SoundOutput: the record through which the engine plays sound.
//
// A sound back end fills it when the engine opens sound for a movie. The
// engine sees the device as a small ring of equal chunks: it asks whether a
// chunk may be filled (`ready`), gets its address (`get_buffer`), copies
// decoded audio into it and hands it back (`commit`). Calls on one record
// are serialised by the engine; only `underrun` is shared with the device's
// own thread, so it is atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

struct Movie;
struct SoundOutput;

using SoundReadyOp = int32_t (*)(SoundOutput* sound);
using SoundGetBufferOp = int32_t (*)(SoundOutput* sound, uint8_t** address, uint32_t* size);
using SoundCommitOp = int32_t (*)(SoundOutput* sound, uint32_t bytes);
using SoundSetVolumeOp = void (*)(SoundOutput* sound, uint32_t volume);
using SoundSetPanOp = void (*)(SoundOutput* sound, uint32_t pan);
using SoundSetPausedOp = int32_t (*)(SoundOutput* sound, int32_t paused);
using SoundSetOnOp = int32_t (*)(SoundOutput* sound, int32_t on);
using SoundCloseOp = void (*)(SoundOutput* sound);

// The sound-open operation a back end installs: fills the record and returns
// non-zero when the device is open.
using SoundOpenOp = int32_t (*)(SoundOutput* sound, uint32_t rate, uint32_t bits, uint32_t channels,
                                uint32_t flags, Movie* movie);
// A back end's start operation: returns its sound-open operation, or null.
using SoundStartOp = SoundOpenOp (*)(void* argument);

struct SoundOutput {
    SoundReadyOp ready = nullptr;
    SoundGetBufferOp get_buffer = nullptr;
    SoundCommitOp commit = nullptr;
    SoundSetVolumeOp set_volume = nullptr;
    SoundSetPanOp set_pan = nullptr;
    SoundSetPausedOp set_paused = nullptr;
    SoundSetOnOp set_on = nullptr;
    SoundCloseOp close = nullptr;
    uint32_t chunk_bytes = 0;  // bytes of 16-bit decoded audio that fill one device chunk
    std::atomic<uint32_t> underrun{0};
    uint32_t on = 0;
    uint32_t latency_ms = 0;
    uint32_t rate = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    // The back end's own state; the engine never touches it.
    void* backend = nullptr;
};

}  // namespace zarn
