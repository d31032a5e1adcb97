// The header-queue device on WINMM's waveOut. Each of the back end's headers
// gets a WAVEHDR of its own; the device's callback marks the header done when
// waveOut returns it (WOM_DONE), which is all a callback may do.
#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <new>

#include "base/engine_memory.h"
#include "sound/wave_device.h"

namespace zarn {
namespace {

constexpr int kSlots = 16;

struct Slot {
    WaveHeader* owner = nullptr;
    WAVEHDR header{};
    bool prepared = false;
};

void CALLBACK WaveDone(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != WOM_DONE) return;
    auto* header = reinterpret_cast<WAVEHDR*>(param1);
    reinterpret_cast<WaveHeader*>(header->dwUser)->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
}

class WaveOutDevice final : public WaveDevice {
public:
    explicit WaveOutDevice(HWAVEOUT handle) : handle_(handle) {}

    void Write(WaveHeader* header) override {
        Slot* slot = SlotFor(header);
        if (slot == nullptr) {
            header->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
            return;
        }
        if (slot->prepared) waveOutUnprepareHeader(handle_, &slot->header, sizeof(WAVEHDR));
        std::memset(&slot->header, 0, sizeof(WAVEHDR));
        slot->header.lpData = reinterpret_cast<LPSTR>(header->data);
        slot->header.dwBufferLength = header->length;
        slot->header.dwUser = reinterpret_cast<DWORD_PTR>(header);
        slot->prepared = waveOutPrepareHeader(handle_, &slot->header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
        if (!slot->prepared || waveOutWrite(handle_, &slot->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            header->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
    }
    void Pause() override { waveOutPause(handle_); }
    void Restart() override { waveOutRestart(handle_); }
    void Reset() override {
        waveOutReset(handle_);
        // Reset returns every header through the callback; mark them here
        // too, so no flag depends on its timing.
        for (Slot& s : slots_)
            if (s.owner != nullptr) s.owner->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
    }
    void SetVolume(uint32_t left_right) override { waveOutSetVolume(handle_, left_right); }
    void Close() override {
        waveOutReset(handle_);
        for (Slot& s : slots_)
            if (s.prepared) waveOutUnprepareHeader(handle_, &s.header, sizeof(WAVEHDR));
        waveOutClose(handle_);
        this->~WaveOutDevice();
        EngineFree(this);
    }

private:
    Slot* SlotFor(WaveHeader* header) {
        for (Slot& s : slots_)
            if (s.owner == header) return &s;
        for (Slot& s : slots_) {
            if (s.owner == nullptr) {
                s.owner = header;
                return &s;
            }
        }
        return nullptr;
    }

    HWAVEOUT handle_;
    Slot slots_[kSlots];
};

class WaveOutSystem final : public WaveSystem {
public:
    WaveDevice* Open(const PcmFormat& format) override {
        if (!PcmFormatValid(format)) return nullptr;
        WAVEFORMATEX wf;
        std::memset(&wf, 0, sizeof wf);
        wf.wFormatTag = WAVE_FORMAT_PCM;
        wf.nChannels = static_cast<WORD>(format.channels);
        wf.nSamplesPerSec = format.rate;
        wf.wBitsPerSample = static_cast<WORD>(format.bits);
        wf.nBlockAlign = static_cast<WORD>(format.channels * format.bits / 8);
        wf.nAvgBytesPerSec = format.rate * wf.nBlockAlign;
        HWAVEOUT handle = nullptr;
        if (waveOutOpen(&handle, WAVE_MAPPER, &wf, reinterpret_cast<DWORD_PTR>(WaveDone), 0,
                        CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
            return nullptr;
        void* memory = EngineAllocate(sizeof(WaveOutDevice));
        if (memory == nullptr) {
            waveOutClose(handle);
            return nullptr;
        }
        return new (memory) WaveOutDevice(handle);
    }
};

}  // namespace

WaveSystem* PlatformWaveSystem() {
    static WaveOutSystem system;
    return &system;
}

}  // namespace zarn
