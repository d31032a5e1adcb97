// The ring back end's device on DirectSound: DSOUND.DLL loaded at run time,
// one DirectSound object at the priority level (the primary buffer takes the
// first video's format), and a looping secondary buffer per record. A lost
// buffer is restored and the call retried every 10 ms.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstring>
#include <new>

#include "base/engine_memory.h"
#include "sound/ring_device.h"

namespace zarn {
namespace {

using DirectSoundCreateFn = HRESULT(WINAPI*)(const GUID*, IDirectSound**, IUnknown*);

constexpr DWORD kSecondaryFlags = 0x180E0;  // position 2, global focus, volume, pan, frequency
constexpr DWORD kCapsSize = 96;

struct DirectSoundLibrary {
    HMODULE module = nullptr;
    DirectSoundCreateFn create = nullptr;
    bool tried = false;
    HWND player_window = nullptr;
};

DirectSoundLibrary& Library() {
    static DirectSoundLibrary library;
    return library;
}

bool LoadDirectSound() {
    DirectSoundLibrary& l = Library();
    if (!l.tried) {
        l.tried = true;
        const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        l.module = LoadLibraryA("DSOUND.DLL");
        SetErrorMode(previous);
        if (reinterpret_cast<uintptr_t>(l.module) >= 32)
            l.create = reinterpret_cast<DirectSoundCreateFn>(
                reinterpret_cast<void*>(GetProcAddress(l.module, "DirectSoundCreate")));
    }
    return l.create != nullptr;
}

// The window for the cooperative level: the last top-level, non-child
// window of this module, else the first of this process, else the active one.
HWND FindPlayerWindow() {
    DirectSoundLibrary& l = Library();
    if (l.player_window != nullptr) return l.player_window;
    const DWORD process = GetCurrentProcessId();
    const HINSTANCE module = GetModuleHandleA(nullptr);
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != process) continue;
        const bool ours = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(w, GWLP_HINSTANCE)) == module &&
                          (GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD) == 0;
        if (ours || l.player_window == nullptr) l.player_window = w;
    }
    if (l.player_window == nullptr) return GetActiveWindow();
    return l.player_window;
}

// Runs `call` again after Sleep(10) and Restore while it reports a lost buffer.
template <typename Call>
HRESULT RetryLost(IDirectSoundBuffer* buffer, Call call) {
    HRESULT r = call();
    while (r == DSERR_BUFFERLOST) {
        Sleep(10);
        buffer->Restore();
        r = call();
    }
    return r;
}

WAVEFORMATEX WaveFormat(const PcmFormat& format) {
    WAVEFORMATEX wf;
    std::memset(&wf, 0, sizeof wf);
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = static_cast<WORD>(format.channels);
    wf.nSamplesPerSec = format.rate;
    wf.nBlockAlign = static_cast<WORD>(format.channels * format.bits / 8);
    wf.nAvgBytesPerSec = format.rate * wf.nBlockAlign;
    wf.wBitsPerSample = static_cast<WORD>(format.bits);
    return wf;
}

class DirectSoundRing final : public RingBuffer {
public:
    explicit DirectSoundRing(IDirectSoundBuffer* buffer) : buffer_(buffer) {}

    int32_t Lock(uint32_t offset, uint32_t bytes, uint8_t** address, uint32_t* locked) override {
        void* first = nullptr;
        void* second = nullptr;
        DWORD first_bytes = 0, second_bytes = 0;
        const HRESULT r = RetryLost(buffer_, [&] {
            return buffer_->Lock(offset, bytes, &first, &first_bytes, &second, &second_bytes, 0);
        });
        if (FAILED(r) || first == nullptr) return 0;
        *address = static_cast<uint8_t*>(first);
        *locked = first_bytes;
        return 1;
    }
    void Unlock(uint8_t* address, uint32_t bytes) override { buffer_->Unlock(address, bytes, nullptr, 0); }
    void Play() override {
        RetryLost(buffer_, [&] { return buffer_->Play(0, 0, DSBPLAY_LOOPING); });
    }
    void Stop() override { buffer_->Stop(); }
    int32_t GetPosition(uint32_t* play) override {
        DWORD position = 0, write = 0;
        if (FAILED(buffer_->GetCurrentPosition(&position, &write))) return 0;
        *play = position;
        return 1;
    }
    void SetPosition(uint32_t play) override { buffer_->SetCurrentPosition(play); }
    void SetVolume(int32_t hundredths) override { buffer_->SetVolume(hundredths); }
    void SetPan(int32_t hundredths) override { buffer_->SetPan(hundredths); }
    void SetFrequency(uint32_t rate) override { buffer_->SetFrequency(rate); }
    void Release() override {
        buffer_->Release();
        this->~DirectSoundRing();
        EngineFree(this);
    }

private:
    IDirectSoundBuffer* buffer_;
};

class DirectSoundSystem final : public RingSystem {
public:
    bool Open() {
        if (!LoadDirectSound() || FAILED(Library().create(nullptr, &device_, nullptr))) {
            device_ = nullptr;
            return false;
        }
        primary_pending_ = SUCCEEDED(device_->SetCooperativeLevel(FindPlayerWindow(), DSSCL_PRIORITY));
        DSCAPS caps;
        std::memset(&caps, 0, sizeof caps);
        caps.dwSize = kCapsSize;
        emulated_ = SUCCEEDED(device_->GetCaps(&caps)) && (caps.dwFlags & DSCAPS_EMULDRIVER) != 0;
        return true;
    }

    RingBuffer* CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        WAVEFORMATEX wf = WaveFormat(format);
        if (primary_pending_) SetPrimaryFormat(&wf);
        DSBUFFERDESC desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = kSecondaryFlags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &wf;
        IDirectSoundBuffer* buffer = nullptr;
        if (FAILED(device_->CreateSoundBuffer(&desc, &buffer, nullptr)) || buffer == nullptr) return nullptr;
        void* memory = EngineAllocate(sizeof(DirectSoundRing));
        if (memory == nullptr) {
            buffer->Release();
            return nullptr;
        }
        return new (memory) DirectSoundRing(buffer);
    }

    uint32_t Emulated() override { return emulated_ ? 1 : 0; }

    void Release() override {
        if (device_ != nullptr) device_->Release();
        device_ = nullptr;
    }

private:
    // The primary buffer plays the first video's format for the life of the
    // process; only the first buffer after the priority level asks for it.
    void SetPrimaryFormat(WAVEFORMATEX* wf) {
        primary_pending_ = false;
        DSBUFFERDESC desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        IDirectSoundBuffer* primary = nullptr;
        if (FAILED(device_->CreateSoundBuffer(&desc, &primary, nullptr)) || primary == nullptr) return;
        primary->SetFormat(wf);
        primary->Play(0, 0, DSBPLAY_LOOPING);
    }

    IDirectSound* device_ = nullptr;
    bool primary_pending_ = false;
    bool emulated_ = false;
};

}  // namespace

RingSystem* CreatePlatformRingSystem() {
    static DirectSoundSystem system;
    if (!system.Open()) return nullptr;
    return &system;
}

}  // namespace zarn
