#include "sound/sdl_playback.h"

#include <SDL.h>

namespace zarn {

uint32_t PlaybackFrames(uint32_t rate) {
    uint32_t frames = 64;
    while (frames < rate / 50 && frames < 16384) frames <<= 1;
    return frames;
}

uint32_t OpenSdlPlayback(const PcmFormat& format, PlaybackCallback callback, void* user) {
    if (!PcmFormatValid(format)) return 0;
    SDL_AudioSpec desired;
    SDL_zero(desired);
    desired.freq = static_cast<int>(format.rate);
    desired.format = format.bits == 16 ? AUDIO_S16SYS : AUDIO_U8;
    desired.channels = static_cast<Uint8>(format.channels);
    desired.samples = static_cast<Uint16>(PlaybackFrames(format.rate));
    desired.callback = callback;
    desired.userdata = user;
    SDL_AudioSpec obtained;
    // No allowed changes: SDL converts to whatever the hardware takes.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &desired, &obtained, 0);
    return id;
}

}  // namespace zarn
