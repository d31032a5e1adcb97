// Opens an SDL playback device in exactly the requested PCM format, driven
// by an audio callback. Shared by the SDL ring and header-queue devices.
#pragma once

#include <cstdint>

#include "sound/pcm_format.h"

namespace zarn {

using PlaybackCallback = void (*)(void* user, uint8_t* stream, int bytes);

// Returns the SDL device id (0 on failure). The device starts paused. The
// audio subsystem must be initialised.
uint32_t OpenSdlPlayback(const PcmFormat& format, PlaybackCallback callback, void* user);

// Frames per callback: the smallest power of two covering 20 ms.
uint32_t PlaybackFrames(uint32_t rate);

}  // namespace zarn
