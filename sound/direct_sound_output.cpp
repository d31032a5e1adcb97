#include "sound/direct_sound_output.h"

#include <cstring>
#include <new>

#include "base/engine_memory.h"
#include "sound/attenuation.h"
#include "sound/shared_sound_device.h"
#include "sound/sound_record.h"

namespace zarn {

namespace {

DirectSoundState* State(SoundOutput* sound) { return static_cast<DirectSoundState*>(sound->backend); }

int32_t NextChunk(int32_t chunk) { return (chunk + 1) & 3; }

void PlayBuffer(DirectSoundState* state) {
    state->ds_buffer->Play();
    state->device_paused = 0;
}

// The chunk the play cursor is in; false when the position is unknown.
bool CursorChunk(DirectSoundState* state, int32_t* chunk) {
    uint32_t position = 0;
    if (!state->ds_buffer->GetPosition(&position)) return false;
    *chunk = static_cast<int32_t>((position / state->chunk_size) % kRingChunkCount);
    return true;
}

void SilenceChunk(DirectSoundState* state, int32_t chunk) {
    uint8_t* address = nullptr;
    uint32_t bytes = 0;
    if (!state->ds_buffer->Lock(static_cast<uint32_t>(chunk) * state->chunk_size, state->chunk_size, &address,
                                &bytes)) {
        return;
    }
    std::memset(address, SilenceByte(state->bits), bytes);
    state->ds_buffer->Unlock(address, bytes);
}

void SilenceBuffer(DirectSoundState* state) {
    uint8_t* address = nullptr;
    uint32_t bytes = 0;
    if (!state->ds_buffer->Lock(0, state->buffer_bytes, &address, &bytes)) return;
    if (bytes == state->buffer_bytes) std::memset(address, SilenceByte(state->bits), bytes);
    state->ds_buffer->Unlock(address, bytes);
}

void ApplyVolumeAndPan(DirectSoundState* state) {
    state->ds_buffer->SetFrequency(state->rate);
    state->ds_buffer->SetPan(PanAttenuation(state->pan));
    state->ds_buffer->SetVolume(VolumeAttenuation(state->volume));
}

// Playing: compares the play cursor with where it was at the last look.
int32_t ReadyWhilePlaying(SoundOutput* sound, DirectSoundState* state) {
    int32_t cur = 0;
    if (!CursorChunk(state, &cur)) return 0;
    if (state->fill_chunk >= 0) {
        if (cur == state->play_chunk) return 1;
        // The selected chunk was not filled in time: it played stale data.
        // Silence it and move the selection on to the chunk just left.
        do {
            sound->underrun.store(1);
            SilenceChunk(state, state->fill_chunk);
            state->fill_chunk = NextChunk(state->fill_chunk);
            state->play_chunk = NextChunk(state->play_chunk);
        } while (state->play_chunk != cur);
        return 1;
    }
    if (cur == state->play_chunk) return 0;
    const int32_t skipped =
        cur > state->play_chunk ? cur - state->play_chunk - 1 : cur - state->play_chunk + 3;
    if (skipped > 0) {
        sound->underrun.store(1);
        for (int32_t i = 0; i < skipped; ++i) {
            SilenceChunk(state, state->play_chunk);
            state->play_chunk = NextChunk(state->play_chunk);
        }
    }
    state->fill_chunk = cur == 0 ? 3 : cur - 1;
    state->play_chunk = cur;
    return 1;
}

int32_t Ready(SoundOutput* sound) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return 0;
    if (state->device_paused && !sound->on) return 0;
    if (state->playing) return ReadyWhilePlaying(sound, state);
    if (state->fill_chunk >= 0) return 1;
    if (state->primed < kRingChunkCount) {
        state->fill_chunk = static_cast<int32_t>(state->primed++);
        return 1;
    }
    state->playing = 1;
    PlayBuffer(state);
    state->fill_chunk = -1;
    int32_t cur = 0;
    state->play_chunk = CursorChunk(state, &cur) ? cur : 0;
    return 0;
}

int32_t GetBuffer(SoundOutput* sound, uint8_t** address, uint32_t* size) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return 0;
    if (state->fill_chunk < 0 || state->locked_address != nullptr) return 0;
    uint8_t* locked = nullptr;
    uint32_t bytes = 0;
    if (!state->ds_buffer->Lock(static_cast<uint32_t>(state->fill_chunk) * state->chunk_size,
                                state->chunk_size, &locked, &bytes) ||
        locked == nullptr) {
        return 0;
    }
    state->locked_address = locked;
    state->locked_bytes = bytes;
    *address = locked;
    *size = bytes;
    return 1;
}

int32_t Commit(SoundOutput* sound, uint32_t bytes) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return 0;
    if (state->fill_chunk < 0 || state->locked_address == nullptr) return 0;
    if (bytes < state->locked_bytes) {
        std::memset(state->locked_address + bytes, SilenceByte(state->bits), state->locked_bytes - bytes);
    }
    state->ds_buffer->Unlock(state->locked_address, state->locked_bytes);
    state->fill_chunk = -1;
    state->locked_address = nullptr;
    state->locked_bytes = 0;
    return 1;
}

void SetVolume(SoundOutput* sound, uint32_t volume) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return;
    state->volume = volume > 32767 ? 32767 : volume;
    ApplyVolumeAndPan(state);
}

void SetPan(SoundOutput* sound, uint32_t pan) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return;
    state->pan = pan > 65536 ? 65536 : pan;
    ApplyVolumeAndPan(state);
}

int32_t SetPaused(SoundOutput* sound, int32_t paused) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return paused ? 1 : 0;
    if (paused) {
        state->ds_buffer->Stop();
        state->device_paused = 1;
        return 1;
    }
    if (state->playing) PlayBuffer(state);
    state->device_paused = 0;
    return 0;
}

int32_t SetOn(SoundOutput* sound, int32_t on) {
    DirectSoundState* state = State(sound);
    if (state == nullptr || state->ds_buffer == nullptr) return static_cast<int32_t>(sound->on);
    if (on == 1) {
        if (!sound->on) {
            state->play_chunk = -1;
            state->fill_chunk = -1;
            state->primed = 0;
            state->playing = 0;
            sound->on = 1;
        }
    } else if (on == 0) {
        if (sound->on == 1) {
            state->ds_buffer->Stop();
            state->ds_buffer->SetPosition(0);
            SilenceBuffer(state);
            sound->on = 0;
        }
    }
    return static_cast<int32_t>(sound->on);
}

}  // namespace

void CloseDirectSoundOutput(SoundOutput* sound) {
    DirectSoundState* state = State(sound);
    if (state == nullptr) return;
    if (state->ds_buffer != nullptr) {
        state->ds_buffer->Stop();
        state->device_paused = 1;
        state->ds_buffer->Release();
        state->ds_buffer = nullptr;
        ReleaseSharedDevice(&SharedDevice());
    }
    state->~DirectSoundState();
    EngineFree(state);
    sound->backend = nullptr;
}

uint32_t RingChunkSize(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t emulated) {
    const PcmFormat format{rate, bits, channels};
    if (!PcmFormatValid(format)) return 0;
    const uint64_t target = uint64_t{emulated ? 175u : 100u} * PcmBytesPerSecond(format) / 1000;
    uint32_t size = 1;
    while (size < target) size <<= 1;
    return size;
}

uint32_t RingLatencyMs(uint32_t chunk_size, uint32_t rate, uint32_t bits, uint32_t channels) {
    const uint32_t per_second = PcmBytesPerSecond(PcmFormat{rate, bits, channels});
    if (per_second == 0) return 0;
    return static_cast<uint32_t>(uint64_t{chunk_size} * 3000 / per_second);
}

SoundOpenOp StartDirectSound(void* device_or_null) {
    SharedSoundDevice& shared = SharedDevice();
    if (shared.users > 0) {
        // Records are open on the current system: keep it rather than lose
        // track of it; only the same choice succeeds.
        const bool same = device_or_null == nullptr ? shared.owned == 1 : device_or_null == shared.device;
        return same ? OpenDirectSoundOutput : nullptr;
    }
    shared.device = static_cast<RingSystem*>(device_or_null);
    shared.device_set = 1;
    if (device_or_null != nullptr) {
        shared.owned = 0;
        shared.create = nullptr;
    } else {
        shared.owned = 1;
        if (shared.create == nullptr) shared.create = CreatePlatformRingSystem;
    }
    if (!AcquireSharedDevice(&shared)) return nullptr;
    ReleaseSharedDevice(&shared);
    return OpenDirectSoundOutput;
}

int32_t OpenDirectSoundOutput(SoundOutput* sound, uint32_t rate, uint32_t bits, uint32_t channels,
                              uint32_t /*flags*/, Movie* /*movie*/) {
    ClearSoundOutput(sound);
    const PcmFormat format{rate, bits, channels};
    if (!PcmFormatValid(format)) return 0;
    SharedSoundDevice& shared = SharedDevice();
    if (!AcquireSharedDevice(&shared)) return 0;

    void* memory = EngineAllocate(sizeof(DirectSoundState));
    if (memory == nullptr) {
        ReleaseSharedDevice(&shared);
        return 0;
    }
    auto* state = new (memory) DirectSoundState();
    sound->rate = state->rate = rate;
    sound->bits = state->bits = bits;
    sound->channels = state->channels = channels;

    state->chunk_size = RingChunkSize(rate, bits, channels, shared.emulated);
    state->chunk_count = kRingChunkCount;
    state->buffer_bytes = kRingChunkCount * state->chunk_size;
    sound->latency_ms = RingLatencyMs(state->chunk_size, rate, bits, channels);

    state->ds_buffer = shared.device->CreateBuffer(format, state->buffer_bytes);
    if (state->ds_buffer == nullptr) {
        ReleaseSharedDevice(&shared);
        state->~DirectSoundState();
        EngineFree(state);
        ClearSoundOutput(sound);
        return 0;
    }
    sound->backend = state;
    sound->chunk_bytes = bits == 8 ? 2 * state->chunk_size : state->chunk_size;
    state->volume = state->pan = 32767;
    ApplyVolumeAndPan(state);
    SilenceBuffer(state);

    state->play_chunk = state->fill_chunk = -1;
    state->primed = state->playing = state->device_paused = 0;
    sound->underrun.store(0);
    sound->on = 1;
    sound->ready = Ready;
    sound->get_buffer = GetBuffer;
    sound->commit = Commit;
    sound->set_volume = SetVolume;
    sound->set_pan = SetPan;
    sound->set_paused = SetPaused;
    sound->set_on = SetOn;
    sound->close = CloseDirectSoundOutput;
    return 1;
}

}  // namespace zarn
