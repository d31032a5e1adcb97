// The ring back end: the device is one looping buffer of four equal chunks.
// Chunks are handed to the engine in turn while priming; once all four are
// filled the buffer plays round and round, and each chunk the play cursor
// leaves is offered for refilling, three chunks ahead of what is heard.
#pragma once

#include <cstdint>

#include "engine/sound_output.h"
#include "sound/ring_device.h"

namespace zarn {

constexpr uint32_t kRingChunkCount = 4;

// The back end's state behind SoundOutput::backend.
struct DirectSoundState {
    RingBuffer* ds_buffer = nullptr;
    uint32_t buffer_bytes = 0;  // kRingChunkCount * chunk_size
    uint32_t chunk_count = kRingChunkCount;
    uint32_t chunk_size = 0;
    uint32_t rate = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint32_t volume = 0;  // 0..32767
    uint32_t pan = 0;     // 0..65536, 32768 centre
    uint32_t primed = 0;  // chunks handed out before playback started
    uint32_t playing = 0;
    int32_t play_chunk = -1;  // chunk the play cursor was in at the last look
    int32_t fill_chunk = -1;  // chunk selected for filling
    uint32_t device_paused = 0;
    uint32_t locked_bytes = 0;
    uint8_t* locked_address = nullptr;
};

// Chunk size in bytes for a format: the smallest power of two not below
// 100 ms of audio (175 ms on an emulated system); 0 for an invalid format.
uint32_t RingChunkSize(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t emulated);

// Milliseconds of audio in three chunks.
uint32_t RingLatencyMs(uint32_t chunk_size, uint32_t rate, uint32_t bits, uint32_t channels);

// Start operation. `device_or_null` is a RingSystem* supplied by the caller,
// or null to use (and own) the platform's sound system. Returns
// OpenDirectSoundOutput, or null when no sound system works. While records
// are open the system in use stays; asking for another one then fails.
SoundOpenOp StartDirectSound(void* device_or_null);

// Sound-open operation: fills the record; returns 1, or 0 when the device
// cannot play the format (the record is then left cleared).
int32_t OpenDirectSoundOutput(SoundOutput* sound, uint32_t rate, uint32_t bits, uint32_t channels,
                              uint32_t flags, Movie* movie);

// The record's close operation: stops and releases the buffer and the shared
// device, frees the state. Does nothing on a record without state.
void CloseDirectSoundOutput(SoundOutput* sound);

}  // namespace zarn
