// A sound back end for tests: every answer is under the test's control and
// every call is recorded.
//
// The device is a number of free chunks (`free_chunks`): `ready` says yes
// while one is free, `get_buffer` hands out `device_chunk` bytes, `commit`
// appends what was written to `played` and uses the chunk up. Install it
// with Install(); the engine then opens it for every movie with sound.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/engine_settings.h"
#include "engine/sound_output.h"

namespace zarn::test {

class ScriptedSound {
public:
    // Script.
    bool open_ok = true;
    uint32_t latency_ms = 50;
    uint32_t chunk_bytes = 4096;   // what the engine compares the queue with
    uint32_t device_chunk = 4096;  // bytes get_buffer hands out
    std::atomic<int32_t> free_chunks{0};
    bool get_buffer_ok = true;
    int32_t set_on_answer = -1;  // -1: answer what was asked

    // Record.
    std::atomic<int32_t> opens{0}, closes{0}, commits{0};
    uint32_t open_rate = 0, open_bits = 0, open_channels = 0, open_flags = 0;
    std::vector<int32_t> set_on_calls;
    std::vector<int32_t> set_paused_calls;

    // Makes this the installed back end; true when the engine took it.
    bool Install() {
        Current() = this;
        return SetSoundSystem(&Start, this) == 1;
    }
    ~ScriptedSound() {
        if (Current() == this) Current() = nullptr;
    }

    std::vector<uint8_t> Played() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return played_;
    }
    void ClearPlayed() {
        std::lock_guard<std::mutex> lock(mutex_);
        played_.clear();
        commits = 0;
    }

private:
    static ScriptedSound*& Current() {
        static ScriptedSound* current = nullptr;
        return current;
    }
    static ScriptedSound& Of(SoundOutput* s) { return *static_cast<ScriptedSound*>(s->backend); }

    static SoundOpenOp Start(void* argument) {
        Current() = static_cast<ScriptedSound*>(argument);
        return &Open;
    }
    static int32_t Open(SoundOutput* s, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t flags,
                        Movie*) {
        ScriptedSound* self = Current();
        if (!self) return 0;
        self->opens += 1;
        self->open_rate = rate;
        self->open_bits = bits;
        self->open_channels = channels;
        self->open_flags = flags;
        if (!self->open_ok) return 0;
        s->ready = &Ready;
        s->get_buffer = &GetBuffer;
        s->commit = &Commit;
        s->set_paused = &SetPaused;
        s->set_on = &SetOn;
        s->close = &Close;
        s->chunk_bytes = self->chunk_bytes;
        s->latency_ms = self->latency_ms;
        s->rate = rate;
        s->bits = bits;
        s->channels = channels;
        s->backend = self;
        return 1;
    }
    static int32_t Ready(SoundOutput* s) { return Of(s).free_chunks.load() > 0 ? 1 : 0; }
    static int32_t GetBuffer(SoundOutput* s, uint8_t** address, uint32_t* size) {
        ScriptedSound& self = Of(s);
        if (!self.get_buffer_ok) return 0;
        self.chunk_.assign(self.device_chunk, 0xCC);
        *address = self.chunk_.data();
        *size = self.device_chunk;
        return 1;
    }
    static int32_t Commit(SoundOutput* s, uint32_t bytes) {
        ScriptedSound& self = Of(s);
        {
            std::lock_guard<std::mutex> lock(self.mutex_);
            self.played_.insert(self.played_.end(), self.chunk_.begin(), self.chunk_.begin() + bytes);
        }
        self.commits += 1;
        self.free_chunks -= 1;
        return 1;
    }
    static int32_t SetPaused(SoundOutput* s, int32_t paused) {
        Of(s).set_paused_calls.push_back(paused);
        return 1;
    }
    static int32_t SetOn(SoundOutput* s, int32_t on) {
        ScriptedSound& self = Of(s);
        self.set_on_calls.push_back(on);
        return self.set_on_answer < 0 ? on : self.set_on_answer;
    }
    static void Close(SoundOutput* s) { Of(s).closes += 1; }

    mutable std::mutex mutex_;
    std::vector<uint8_t> played_;
    std::vector<uint8_t> chunk_;
};

}  // namespace zarn::test
