#include "display/display_state.h"

#include <SDL.h>

#include <cstring>

#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_mode_walk.h"

namespace zarn {

DisplayState& Display() {
    static DisplayState state{};
    return state;
}

void SetDisplayError(const char* text) {
    DisplayState& s = Display();
    std::strncpy(s.last_error, text, sizeof s.last_error - 1);
    s.last_error[sizeof s.last_error - 1] = '\0';
}

uint32_t BitsOfSdlFormat(uint32_t f) {
    if (f == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_FOURCC(f)) return 0;
    return SDL_BYTESPERPIXEL(f) * 8;
}

int CopyFormatForSdlFormat(uint32_t f) {
    PixelLayout layout{};
    if (SDL_ISPIXELFORMAT_FOURCC(f)) {
        layout.fourcc = f;
    } else {
        int bpp = 0;
        if (!SDL_PixelFormatEnumToMasks(f, &bpp, &layout.red_mask, &layout.green_mask, &layout.blue_mask,
                                        &layout.alpha_mask))
            return -1;
        layout.bits = BitsOfSdlFormat(f);
    }
    // The copy writes 11 and 12 in exactly the layouts these masks describe.
    return CopyFormatForLayout(layout);
}

void ReadDisplayFormat(SDL_Window* window) {
    DisplayState& s = Display();
    const uint32_t f = SDL_GetWindowPixelFormat(window);
    s.display_bits = BitsOfSdlFormat(f);
    s.bytes_per_pixel = s.display_bits / 8;
    SDL_Rect bounds{};
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        s.screen_width = uint32_t(bounds.w);
        s.screen_height = uint32_t(bounds.h);
    }
    int bpp = 0;
    uint32_t r = 0, g = 0, b = 0, a = 0;
    if (s.display_bits == 8) {
        s.overlay_key = 253;
    } else if (SDL_PixelFormatEnumToMasks(f, &bpp, &r, &g, &b, &a)) {
        s.overlay_key = (b & (~b + 1)) + (r & (~r + 1));
    }
}

namespace {

// Renderers scale by any factor on both axes.
void SurveyCapabilities() {
    DisplayState& s = Display();
    const ScaleCaps caps{true, true, true, true, true, true, true, true};
    s.overlay_classes = ScaleClassesFromCaps(caps);
    s.blit_classes = ScaleClassesFromCaps(caps);
}

}  // namespace

bool AcquireInstance(SDL_Window* window, bool exclusive) {
    DisplayState& s = Display();
    if (s.instance_count > 0) {
        ++s.instance_count;
        return true;
    }
    if (!s.unavailable && SDL_WasInit(SDL_INIT_VIDEO) == 0) s.unavailable = true;
    if (s.unavailable || window == nullptr) return false;
    s.instance_window = window;
    s.exclusive_mode = false;
    if (exclusive && s.mode_width != 0 && s.mode_height != 0 && s.mode_depth != 0) {
        s.exclusive_mode = WalkExclusiveModes(s.mode_width, s.mode_height, s.mode_depth,
                                              [window](uint32_t w, uint32_t h, uint32_t bits) {
                                                  return TryFullscreenMode(window, w, h, bits);
                                              });
        s.mode_width = s.mode_height = s.mode_depth = 0;
    }
    SurveyCapabilities();
    ReadDisplayFormat(window);
    ++s.instance_count;
    return true;
}

void ReleaseInstance() {
    DisplayState& s = Display();
    if (s.instance_count <= 0) return;
    if (--s.instance_count > 0) return;
    DropRenderer();
    if (s.exclusive_mode) LeaveModeChange(s.instance_window);
    s.exclusive_mode = false;
    s.instance_window = nullptr;
}

SDL_Renderer* UseRenderer(SDL_Window* window, bool software) {
    DisplayState& s = Display();
    if (s.renderer != nullptr && s.renderer_window == window && s.renderer_software == software)
        return s.renderer;
    DropRenderer();
    const uint32_t kind = software ? SDL_RENDERER_SOFTWARE : SDL_RENDERER_ACCELERATED;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, kind | SDL_RENDERER_TARGETTEXTURE);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, kind);
    if (renderer == nullptr) return nullptr;
    s.renderer = renderer;
    s.renderer_window = window;
    s.renderer_software = software;
    ++s.renderer_serial;
    return renderer;
}

void DropRenderer() {
    DisplayState& s = Display();
    if (s.renderer == nullptr) return;
    SDL_DestroyRenderer(s.renderer);  // also destroys every texture it made
    s.renderer = nullptr;
    s.renderer_window = nullptr;
    s.canvas = nullptr;
    s.canvas_width = s.canvas_height = 0;
    ++s.renderer_serial;
}

SDL_Surface* TakeWindowSurface(SDL_Window* window) {
    DisplayState& s = Display();
    if (window == nullptr) return nullptr;
    if (s.renderer != nullptr && s.renderer_window == window) DropRenderer();
    // The window's own surface must be its plain framebuffer, never one drawn
    // through a hidden renderer, so that a renderer can be made for it later.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return SDL_GetWindowSurface(window);
}

SDL_Texture* BeginCanvas(bool* fresh) {
    DisplayState& s = Display();
    *fresh = false;
    if (s.renderer == nullptr) return nullptr;
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(s.renderer, &w, &h) != 0 || w <= 0 || h <= 0) return nullptr;
    if (s.canvas == nullptr || s.canvas_width != w || s.canvas_height != h) {
        if (s.canvas != nullptr) SDL_DestroyTexture(s.canvas);
        s.canvas = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, w, h);
        s.canvas_width = w;
        s.canvas_height = h;
        if (s.canvas == nullptr) return nullptr;
        *fresh = true;
    }
    if (SDL_SetRenderTarget(s.renderer, s.canvas) != 0) return nullptr;
    if (*fresh) {
        SDL_SetRenderDrawColor(s.renderer, 0, 0, 0, 255);
        SDL_RenderClear(s.renderer);
    }
    return s.canvas;
}

void ClearCanvas(SDL_Window* window) {
    DisplayState& s = Display();
    if (s.renderer == nullptr || s.canvas == nullptr || s.renderer_window != window) return;
    if (SDL_SetRenderTarget(s.renderer, s.canvas) != 0) return;
    SDL_SetRenderDrawColor(s.renderer, 0, 0, 0, 255);
    SDL_RenderClear(s.renderer);
    SDL_SetRenderTarget(s.renderer, nullptr);
}

void PresentCanvas() {
    DisplayState& s = Display();
    if (s.renderer == nullptr) return;
    SDL_SetRenderTarget(s.renderer, nullptr);
    if (s.canvas != nullptr) SDL_RenderCopy(s.renderer, s.canvas, nullptr, nullptr);
    SDL_RenderPresent(s.renderer);
}

bool ReadDisplayPixels(SDL_Window* window, int x, int y, int width, int height, uint32_t* pixels) {
    DisplayState& s = Display();
    const SDL_Rect area{x, y, width, height};
    if (s.renderer != nullptr && s.renderer_window == window) {
        if (s.canvas == nullptr || SDL_SetRenderTarget(s.renderer, s.canvas) != 0) return false;
        const bool ok =
            SDL_RenderReadPixels(s.renderer, &area, SDL_PIXELFORMAT_ARGB8888, pixels, width * 4) == 0;
        SDL_SetRenderTarget(s.renderer, nullptr);
        return ok;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || x < 0 || y < 0 || x + width > surface->w || y + height > surface->h)
        return false;
    if (SDL_LockSurface(surface) != 0) return false;
    const uint8_t* from = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch +
                          x * surface->format->BytesPerPixel;
    const bool ok = SDL_ConvertPixels(width, height, surface->format->format, from, surface->pitch,
                                      SDL_PIXELFORMAT_ARGB8888, pixels, width * 4) == 0;
    SDL_UnlockSurface(surface);
    return ok;
}

}  // namespace zarn
