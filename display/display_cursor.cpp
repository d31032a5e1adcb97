// The software-cursor handling of primary-surface targets. On SDL the system
// draws the cursor, so the probe answers 0 unless a test forces an answer.
#include <SDL.h>

#include "display/display_geometry.h"
#include "display/display_state.h"

namespace zarn {

namespace {

int forced_probe = -1;
constexpr int kCursorSize = 32;  // SDL has no query for the system cursor size
constexpr int kMaxHides = 16;

}  // namespace

void ForceCursorProbe(int result) { forced_probe = result; }

int ProbeSoftwareCursor(SDL_Window* /*window*/) { return forced_probe >= 0 ? forced_probe : 0; }

int HideCursorOver(SDL_Window* window, int32_t x, int32_t y, uint32_t width, uint32_t height) {
    int mx = 0, my = 0;
    SDL_GetGlobalMouseState(&mx, &my);
    SDL_Rect bounds{};
    const int display = window != nullptr ? SDL_GetWindowDisplayIndex(window) : -1;
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        mx -= bounds.x;
        my -= bounds.y;
    }
    const Box cursor{mx, my, mx + kCursorSize, my + kCursorSize};
    const Box picture{x, y, int32_t(x + int64_t(width)), int32_t(y + int64_t(height))};
    if (!BoxesOverlap(cursor, picture)) return 0;
    int hides = 0;
    while (hides < kMaxHides && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE) {
        SDL_ShowCursor(SDL_DISABLE);
        ++hides;
    }
    return hides;
}

void ShowCursorTimes(int count) {
    for (int i = 0; i < count; ++i) SDL_ShowCursor(SDL_ENABLE);
}

}  // namespace zarn
