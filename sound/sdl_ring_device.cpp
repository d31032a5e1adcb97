// CreatePlatformRingSystem on SDL: initialises the audio subsystem; each
// Release quits it once.
#include "sound/ring_device.h"

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <new>

#include "base/engine_memory.h"
#include "sound/attenuation.h"
#include "sound/pcm_gain.h"
#include "sound/sdl_playback.h"

namespace zarn {

namespace {

// Everything the callback reads is either the buffer memory (written by the
// engine only in chunks the cursor is not in) or an atomic.
class SdlRingBuffer final : public RingBuffer {
public:
    SdlRingBuffer(const PcmFormat& format, uint8_t* memory, uint32_t bytes)
        : format_(format), memory_(memory), bytes_(bytes) {}

    bool Open() {
        device_ = OpenSdlPlayback(format_, Callback, this);
        return device_ != 0;
    }

    int32_t Lock(uint32_t offset, uint32_t bytes, uint8_t** address, uint32_t* locked) override {
        if (offset > bytes_ || bytes > bytes_ - offset) return 0;
        *address = memory_ + offset;
        *locked = bytes;
        return 1;
    }

    void Unlock(uint8_t*, uint32_t) override {
        // Publishes the written bytes to the callback.
        published_.fetch_add(1, std::memory_order_release);
    }

    void Play() override {
        running_.store(1, std::memory_order_release);
        SDL_PauseAudioDevice(device_, 0);
    }

    void Stop() override {
        running_.store(0, std::memory_order_release);
        // Returns only once a callback in progress has finished; any later
        // callback sees `running_` clear and leaves the cursor alone.
        SDL_PauseAudioDevice(device_, 1);
    }

    int32_t GetPosition(uint32_t* play) override {
        *play = position_.load(std::memory_order_acquire);
        return 1;
    }

    void SetPosition(uint32_t play) override {
        SDL_LockAudioDevice(device_);
        position_.store(play < bytes_ ? play : 0, std::memory_order_release);
        SDL_UnlockAudioDevice(device_);
    }

    void SetVolume(int32_t hundredths) override {
        volume_ = hundredths;
        UpdateGains();
    }

    void SetPan(int32_t hundredths) override {
        pan_ = hundredths;
        UpdateGains();
    }

    void SetFrequency(uint32_t) override {}  // the device always plays at the opened rate

    void Release() override {
        running_.store(0, std::memory_order_release);
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        this->~SdlRingBuffer();
        EngineFree(this);
    }

private:
    void UpdateGains() {
        // A mono buffer has no position to pan to: only the volume applies.
        const ChannelGains gains = GainsForAttenuation(volume_, format_.channels == 2 ? pan_ : 0);
        left_gain_.store(gains.left, std::memory_order_relaxed);
        right_gain_.store(gains.right, std::memory_order_relaxed);
    }

    static void Callback(void* user, Uint8* stream, int length) {
        static_cast<SdlRingBuffer*>(user)->Fill(stream, static_cast<uint32_t>(length));
    }

    void Fill(uint8_t* stream, uint32_t length) {
        if (!running_.load(std::memory_order_acquire)) {
            std::memset(stream, SilenceByte(format_.bits), length);
            return;
        }
        published_.load(std::memory_order_acquire);
        uint32_t position = position_.load(std::memory_order_relaxed);
        uint8_t* out = stream;
        uint32_t left = length;
        while (left > 0) {
            const uint32_t piece = left < bytes_ - position ? left : bytes_ - position;
            std::memcpy(out, memory_ + position, piece);
            out += piece;
            left -= piece;
            position += piece;
            if (position == bytes_) position = 0;
        }
        ApplyGains(stream, length, format_.bits, format_.channels, left_gain_.load(std::memory_order_relaxed),
                   right_gain_.load(std::memory_order_relaxed));
        position_.store(position, std::memory_order_release);
    }

    PcmFormat format_;
    uint8_t* memory_;
    uint32_t bytes_;
    uint32_t device_ = 0;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
    std::atomic<uint32_t> position_{0};
    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> published_{0};
    std::atomic<uint32_t> left_gain_{kUnityGain};
    std::atomic<uint32_t> right_gain_{kUnityGain};
};

constexpr uint32_t kBufferOffset = (sizeof(SdlRingBuffer) + 31) & ~31u;

class SdlRingSystem final : public RingSystem {
public:
    RingBuffer* CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        if (!PcmFormatValid(format) || bytes == 0 || bytes > 0x40000000u) return nullptr;
        void* memory = EngineAllocate(kBufferOffset + bytes);
        if (memory == nullptr) return nullptr;
        auto* buffer =
            new (memory) SdlRingBuffer(format, static_cast<uint8_t*>(memory) + kBufferOffset, bytes);
        if (!buffer->Open()) {
            buffer->Release();
            return nullptr;
        }
        return buffer;
    }

    // SDL mixes in software on every platform, but with short callbacks:
    // the regular chunk sizes leave ample room, so it never counts as emulated.
    uint32_t Emulated() override { return 0; }

    void Release() override { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
};

}  // namespace

RingSystem* CreatePlatformRingSystem() {
    static SdlRingSystem system;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    return &system;
}

}  // namespace zarn
