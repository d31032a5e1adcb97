// The looping playback buffer that the ring back end streams into, and the
// sound system that creates such buffers. SDL and DirectSound implement them;
// tests implement them by hand to drive the play cursor.
#pragma once

#include <cstdint>

#include "sound/pcm_format.h"

namespace zarn {

// One looping buffer of device PCM. The device plays it round and round from
// its play cursor while started.
class RingBuffer {
public:
    // Gives the memory of `bytes` bytes at `offset`; 0 when that is outside
    // the buffer or the buffer cannot be written.
    virtual int32_t Lock(uint32_t offset, uint32_t bytes, uint8_t** address, uint32_t* locked) = 0;
    // Hands the locked bytes back to the device.
    virtual void Unlock(uint8_t* address, uint32_t bytes) = 0;
    // Starts (or resumes) looping playback from the play cursor.
    virtual void Play() = 0;
    // Stops playback; the play cursor stays where it is.
    virtual void Stop() = 0;
    // The play cursor as a byte offset into the buffer; 0 on failure.
    virtual int32_t GetPosition(uint32_t* play) = 0;
    virtual void SetPosition(uint32_t play) = 0;
    // Attenuations in hundredths of a decibel (pan: negative = left only).
    virtual void SetVolume(int32_t hundredths) = 0;
    virtual void SetPan(int32_t hundredths) = 0;
    virtual void SetFrequency(uint32_t rate) = 0;
    // Closes the device and frees the buffer.
    virtual void Release() = 0;

protected:
    ~RingBuffer() = default;
};

// A sound system: creates looping buffers on its device.
class RingSystem {
public:
    // A buffer of `bytes` bytes playing `format`, or null when refused.
    virtual RingBuffer* CreateBuffer(const PcmFormat& format, uint32_t bytes) = 0;
    // Non-zero when the system mixes through a slow software stand-in, which
    // calls for larger chunks.
    virtual uint32_t Emulated() = 0;
    // Drops the reference taken when the system was created here.
    virtual void Release() = 0;

protected:
    ~RingSystem() = default;
};

// Creates a system owned by the caller (null on failure).
using RingSystemCreate = RingSystem* (*)();

// The system's own sound system: SDL's (sdl_ring_device.cpp) or DirectSound
// (direct_sound_win32.cpp), chosen at build time.
RingSystem* CreatePlatformRingSystem();

}  // namespace zarn
