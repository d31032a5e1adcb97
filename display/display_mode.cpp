// Display-mode changes on SDL: a full-screen window in the requested mode, and
// back to the desktop mode when the last reference goes.
#include <SDL.h>

#include "display/display_mode_walk.h"
#include "display/display_state.h"
#include "display/display_target.h"

namespace zarn {

namespace {

uint32_t SdlFormatForBits(uint32_t bits) {
    switch (bits) {
    case 8: return SDL_PIXELFORMAT_INDEX8;
    case 16: return SDL_PIXELFORMAT_RGB565;
    case 24: return SDL_PIXELFORMAT_RGB24;
    case 32: return SDL_PIXELFORMAT_RGB888;
    default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

}  // namespace

int TryFullscreenMode(SDL_Window* window, uint32_t width, uint32_t height, uint32_t bits) {
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) return -1;
    SDL_DisplayMode want{SdlFormatForBits(bits), int(width), int(height), 0, nullptr};
    SDL_DisplayMode got{};
    if (SDL_GetClosestDisplayMode(display, &want, &got) == nullptr) return -1;
    if (SDL_SetWindowDisplayMode(window, &got) != 0) return -1;
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) return -1;
    SDL_DisplayMode now{};
    if (SDL_GetCurrentDisplayMode(display, &now) != 0) return -1;
    return int(BitsOfSdlFormat(now.format));
}

void LeaveModeChange(SDL_Window* window) {
    if (window != nullptr) SDL_SetWindowFullscreen(window, 0);
}

void RequestDisplayMode(uint32_t width, uint32_t height, uint32_t depth_code) {
    DisplayState& s = Display();
    s.mode_width = width;
    s.mode_height = height;
    s.mode_depth = depth_code;
}

int PrepareGdiDisplay(NativeWindow native_window, bool change_mode) {
    SDL_Window* const window = static_cast<SDL_Window*>(native_window);
    DisplayState& s = Display();
    if (s.instance_count > 0) return 0;
    if (change_mode && s.mode_width != 0 && s.mode_height != 0 && s.mode_depth != 0 && window != nullptr) {
        const bool changed = WalkDesktopModes(
            s.mode_width, s.mode_height, s.mode_depth,
            [window](uint32_t w, uint32_t h, uint32_t bits) { return TryFullscreenMode(window, w, h, bits); },
            [window] { LeaveModeChange(window); });
        if (changed) {
            s.desktop_mode_changed = true;
            s.mode_window = window;
        }
        s.mode_width = s.mode_height = s.mode_depth = 0;
    }
    if (window != nullptr) ReadDisplayFormat(window);
    ++s.display_mode_refs;
    return 1;
}

void ReleaseGdiDisplay() {
    DisplayState& s = Display();
    if (s.display_mode_refs <= 0) return;
    if (s.display_mode_refs-- == 1 && s.desktop_mode_changed) {
        s.desktop_mode_changed = false;
        LeaveModeChange(s.mode_window);
        s.mode_window = nullptr;
    }
}

}  // namespace zarn
