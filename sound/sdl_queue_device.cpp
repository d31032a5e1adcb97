#include "sound/sdl_queue_device.h"

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

// More slots than headers exist, so a write always finds one: a header is
// written only when done, and done is cleared by the write.
constexpr uint32_t kQueueSlots = 32;

class SdlQueueDevice final : public WaveDevice {
public:
    explicit SdlQueueDevice(const PcmFormat& format) : format_(format) {}

    bool Open() {
        device_ = OpenSdlPlayback(format_, Callback, this);
        if (device_ == 0) return false;
        running_.store(1, std::memory_order_release);
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    void Write(WaveHeader* header) override {
        const uint32_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= kQueueSlots) {
            header->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
            return;
        }
        slots_[head % kQueueSlots] = header;
        head_.store(head + 1, std::memory_order_release);
    }

    void Pause() override {
        running_.store(0, std::memory_order_release);
        SDL_PauseAudioDevice(device_, 1);
    }

    void Restart() override {
        running_.store(1, std::memory_order_release);
        SDL_PauseAudioDevice(device_, 0);
    }

    void Reset() override {
        // With the device locked the callback is not running; it owns the
        // consumer side of the queue otherwise.
        SDL_LockAudioDevice(device_);
        if (current_ != nullptr) current_->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
        current_ = nullptr;
        offset_ = 0;
        const uint32_t head = head_.load(std::memory_order_acquire);
        for (uint32_t tail = tail_.load(std::memory_order_relaxed); tail != head; ++tail) {
            slots_[tail % kQueueSlots]->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
        }
        tail_.store(head, std::memory_order_release);
        SDL_UnlockAudioDevice(device_);
    }

    void SetVolume(uint32_t left_right) override {
        left_gain_.store(LevelGain(left_right & 0xFFFF), std::memory_order_relaxed);
        right_gain_.store(LevelGain(left_right >> 16), std::memory_order_relaxed);
    }

    void Close() override {
        running_.store(0, std::memory_order_release);
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        this->~SdlQueueDevice();
        EngineFree(this);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    static uint32_t LevelGain(uint32_t level) {
        return static_cast<uint32_t>(uint64_t{level} * kUnityGain / 0xFFFF);
    }

    static void Callback(void* user, Uint8* stream, int length) {
        static_cast<SdlQueueDevice*>(user)->Fill(stream, static_cast<uint32_t>(length));
    }

    // The header being played, taking the next queued one when needed.
    WaveHeader* Current() {
        if (current_ != nullptr) return current_;
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) return nullptr;
        current_ = slots_[tail % kQueueSlots];
        offset_ = 0;
        tail_.store(tail + 1, std::memory_order_release);
        return current_;
    }

    void Fill(uint8_t* stream, uint32_t length) {
        uint32_t filled = 0;
        if (running_.load(std::memory_order_acquire)) {
            while (filled < length) {
                WaveHeader* header = Current();
                if (header == nullptr) break;
                const uint32_t remaining = header->length > offset_ ? header->length - offset_ : 0;
                const uint32_t piece = remaining < length - filled ? remaining : length - filled;
                std::memcpy(stream + filled, header->data + offset_, piece);
                filled += piece;
                offset_ += piece;
                if (offset_ >= header->length) {
                    current_ = nullptr;
                    header->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
                }
            }
        }
        std::memset(stream + filled, SilenceByte(format_.bits), length - filled);
        ApplyGains(stream, filled, format_.bits, format_.channels, left_gain_.load(std::memory_order_relaxed),
                   right_gain_.load(std::memory_order_relaxed));
    }

    PcmFormat format_;
    uint32_t device_ = 0;
    WaveHeader* slots_[kQueueSlots] = {};
    std::atomic<uint32_t> head_{0};  // written by the engine
    std::atomic<uint32_t> tail_{0};  // advanced by the callback
    WaveHeader* current_ = nullptr;  // callback only (or engine with the device locked)
    uint32_t offset_ = 0;
    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> left_gain_{kUnityGain};
    std::atomic<uint32_t> right_gain_{kUnityGain};
};

class SdlQueueSystem final : public WaveSystem {
public:
    WaveDevice* Open(const PcmFormat& format) override {
        if (!PcmFormatValid(format)) return nullptr;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
        void* memory = EngineAllocate(sizeof(SdlQueueDevice));
        if (memory == nullptr) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
        auto* device = new (memory) SdlQueueDevice(format);
        if (!device->Open()) {
            device->Close();
            return nullptr;
        }
        return device;
    }
};

}  // namespace

WaveSystem* SdlWaveSystem() {
    static SdlQueueSystem system;
    return &system;
}

WaveSystem* PlatformWaveSystem() { return SdlWaveSystem(); }

}  // namespace zarn
