#include "sound/wave_out_output.h"

#include <cstring>
#include <new>

#include "base/engine_memory.h"
#include "sound/sound_record.h"

namespace zarn {

namespace {

WaveSystem* g_wave_system = nullptr;

WaveOutState* State(SoundOutput* sound) { return static_cast<WaveOutState*>(sound->backend); }

uint32_t RoundUp32(uint64_t value) { return static_cast<uint32_t>((value + 31) & ~uint64_t{31}); }

bool DeviceOpen(SoundOutput* sound, WaveOutState* state) {
    const WaveSizes sizes = WaveOutSizes(sound->rate, sound->bits, sound->channels);
    state->header_size = sizes.header_size;
    state->prebuffer_bytes = sizes.prebuffer_bytes;
    state->started = 0;
    state->committed_bytes = 0;
    state->last_committed = -1;
    state->selected = -1;
    if (sizes.header_size == 0 || g_wave_system == nullptr) return false;

    const uint32_t areas = kWaveHeaderCount * state->header_size;
    void* block = EngineAllocate(areas + kWaveHeaderCount * sizeof(WaveHeader));
    if (block == nullptr) return false;
    state->data_block = static_cast<uint8_t*>(block);
    state->headers = reinterpret_cast<WaveHeader*>(state->data_block + areas);
    for (int32_t i = 0; i < kWaveHeaderCount; ++i) {
        new (&state->headers[i]) WaveHeader();
        state->headers[i].data = state->data_block + i * state->header_size;
    }
    std::memset(state->data_block, SilenceByte(sound->bits), areas);

    state->wave_handle = g_wave_system->Open(PcmFormat{sound->rate, sound->bits, sound->channels});
    if (state->wave_handle == nullptr) {
        EngineFree(state->data_block);
        state->data_block = nullptr;
        state->headers = nullptr;
        return false;
    }
    for (int32_t i = 0; i < kWaveHeaderCount; ++i) {
        state->headers[i].length = state->header_size;
        state->headers[i].flags.store(kWaveHeaderDone, std::memory_order_release);
    }
    return true;
}

void DeviceClose(WaveOutState* state) {
    if (state->wave_handle != nullptr) {
        state->wave_handle->Reset();
        for (int32_t i = 0; i < kWaveHeaderCount; ++i) {
            state->headers[i].length = state->header_size;
            state->headers[i].flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
        }
        state->wave_handle->Close();
        state->wave_handle = nullptr;
    }
    if (state->data_block != nullptr) {
        EngineFree(state->data_block);
        state->data_block = nullptr;
        state->headers = nullptr;
    }
}

void WriteHeader(WaveOutState* state, int32_t index, uint32_t length) {
    if (state->wave_handle == nullptr) return;
    WaveHeader& header = state->headers[index];
    header.length = length;
    header.flags.fetch_and(~kWaveHeaderDone, std::memory_order_relaxed);
    state->wave_handle->Write(&header);
}

bool AllHeadersDone(const WaveOutState* state) {
    for (int32_t i = 0; i < kWaveHeaderCount; ++i) {
        if (!WaveHeaderDone(state->headers[i])) return false;
    }
    return true;
}

void ApplyVolume(WaveOutState* state) {
    uint32_t left = state->volume;
    uint32_t right = state->volume;
    if (state->pan <= 32767) {
        right = state->volume * state->pan / 32767;
    } else {
        left = state->volume * (65536 - state->pan) / 32769;
    }
    if (state->wave_handle != nullptr) state->wave_handle->SetVolume(left | (right << 16));
}

int32_t Ready(SoundOutput* sound) {
    WaveOutState* state = State(sound);
    if (state == nullptr || state->device_paused || !sound->on || state->headers == nullptr) return 0;
    if (state->started && AllHeadersDone(state)) {
        // The device ran dry: collect half a second again before restarting.
        sound->underrun.store(1);
        state->started = 0;
        state->committed_bytes = 0;
        state->last_committed = -1;
        state->selected = -1;
    }
    const int32_t next = (state->last_committed + 1) % kWaveHeaderCount;
    if (!WaveHeaderDone(state->headers[next])) return 0;
    state->selected = next;
    return 1;
}

int32_t GetBuffer(SoundOutput* sound, uint8_t** address, uint32_t* size) {
    WaveOutState* state = State(sound);
    if (state == nullptr || state->selected < 0 || state->headers == nullptr) return 0;
    *address = state->headers[state->selected].data;
    *size = state->header_size;
    return 1;
}

int32_t Commit(SoundOutput* sound, uint32_t bytes) {
    WaveOutState* state = State(sound);
    if (state == nullptr || state->selected < 0 || state->headers == nullptr) return 0;
    if (bytes > state->header_size) bytes = state->header_size;
    state->last_committed = state->selected;
    state->committed_bytes += bytes;
    state->selected = -1;
    if (state->started) {
        WriteHeader(state, state->last_committed, bytes);
    } else if (state->committed_bytes > state->prebuffer_bytes) {
        // One write from area 0 covers every area filled so far; the areas
        // are back to back. It never reaches past the last area.
        state->started = 1;
        const uint32_t areas = kWaveHeaderCount * state->header_size;
        WriteHeader(state, 0, state->committed_bytes < areas ? state->committed_bytes : areas);
    }
    return 1;
}

void SetVolume(SoundOutput* sound, uint32_t volume) {
    WaveOutState* state = State(sound);
    if (state == nullptr) return;
    const uint32_t v = volume > 65535 ? 65535 : volume;
    state->volume = (v + 1) * 32767 / 65536;
    ApplyVolume(state);
}

void SetPan(SoundOutput* sound, uint32_t pan) {
    WaveOutState* state = State(sound);
    if (state == nullptr) return;
    state->pan = pan > 65536 ? 65536 : pan;
    ApplyVolume(state);
}

int32_t SetPaused(SoundOutput* sound, int32_t paused) {
    WaveOutState* state = State(sound);
    if (state == nullptr) return paused ? 1 : 0;
    if (paused) {
        if (state->wave_handle != nullptr) state->wave_handle->Pause();
        state->device_paused = 1;
        return 1;
    }
    if (state->wave_handle != nullptr) state->wave_handle->Restart();
    state->device_paused = 0;
    return 0;
}

int32_t SetOn(SoundOutput* sound, int32_t on) {
    WaveOutState* state = State(sound);
    if (state == nullptr) return static_cast<int32_t>(sound->on);
    if (on == 1) {
        if (!sound->on && DeviceOpen(sound, state)) sound->on = 1;
    } else if (on == 0) {
        if (sound->on == 1) {
            DeviceClose(state);
            sound->on = 0;
        }
    }
    return static_cast<int32_t>(sound->on);
}

void Close(SoundOutput* sound) {
    WaveOutState* state = State(sound);
    if (state == nullptr) return;
    DeviceClose(state);
    state->~WaveOutState();
    EngineFree(state);
    sound->backend = nullptr;
}

}  // namespace

WaveSizes WaveOutSizes(uint32_t rate, uint32_t bits, uint32_t channels) {
    const PcmFormat format{rate, bits, channels};
    WaveSizes sizes;
    if (!PcmFormatValid(format)) return sizes;
    const uint64_t per_second = PcmBytesPerSecond(format);
    sizes.header_size = RoundUp32(per_second * 1000 / 16000);
    sizes.prebuffer_bytes = RoundUp32(per_second * 1000 / 2000);
    return sizes;
}

SoundOpenOp StartWaveOut(void* device_or_null) {
    g_wave_system =
        device_or_null != nullptr ? static_cast<WaveSystem*>(device_or_null) : PlatformWaveSystem();
    return OpenWaveOutOutput;
}

int32_t OpenWaveOutOutput(SoundOutput* sound, uint32_t rate, uint32_t bits, uint32_t channels,
                          uint32_t /*flags*/, Movie* /*movie*/) {
    ClearSoundOutput(sound);
    sound->rate = rate;
    sound->bits = bits;
    sound->channels = channels;
    void* memory = EngineAllocate(sizeof(WaveOutState));
    if (memory == nullptr) return 0;
    auto* state = new (memory) WaveOutState();
    state->volume = state->pan = 32767;
    state->device_paused = 0;
    if (!DeviceOpen(sound, state)) {
        state->~WaveOutState();
        EngineFree(state);
        ClearSoundOutput(sound);
        return 0;
    }
    sound->backend = state;
    sound->on = 1;
    sound->ready = Ready;
    sound->get_buffer = GetBuffer;
    sound->commit = Commit;
    sound->set_volume = SetVolume;
    sound->set_pan = SetPan;
    sound->set_paused = SetPaused;
    sound->set_on = SetOn;
    sound->close = Close;
    sound->chunk_bytes = bits != 16 ? 2 * state->header_size : state->header_size;
    sound->latency_ms = 0;
    return 1;
}

}  // namespace zarn
