// Opening, locking and closing display targets.
#include "display/display_target.h"

#include <SDL.h>

#include <cstring>

#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_state.h"
#include "display/display_style_walk.h"
#include "base/engine_memory.h"
#include "display/display_texts.h"

namespace zarn {

namespace {

const char* const kNotAvailable = kDisplayNotAvailable;
const char* const kVideoMode = kDisplayVideoMode;

constexpr uint32_t kYuvFormats[3] = {SDL_PIXELFORMAT_YV12, SDL_PIXELFORMAT_YUY2, SDL_PIXELFORMAT_UYVY};

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

int CopyFormatOf(const DisplayTarget* t) { return int(t->copy_flags & 0xF); }

// Whether the texture still belongs to the renderer the window carries.
bool TextureAlive(const DisplayTarget* t) {
    const DisplayState& s = Display();
    return t->surface != nullptr && s.renderer != nullptr && s.renderer_window == t->window &&
           s.renderer_serial == t->renderer_serial;
}

void UploadTexture(DisplayTarget* t) {
    if (!TextureAlive(t) || t->texture_memory == nullptr) return;
    const int pitch = t->texture_pitch;
    if (t->texture_format == SDL_PIXELFORMAT_YV12) {
        const uint8_t* y = t->texture_memory;
        const uint8_t* v = y + size_t(pitch) * t->source_height;
        const uint8_t* u = v + size_t(pitch / 2) * (t->source_height / 2);
        SDL_UpdateYUVTexture(t->surface, nullptr, y, pitch, u, pitch / 2, v, pitch / 2);
    } else {
        SDL_UpdateTexture(t->surface, nullptr, t->texture_memory, pitch);
    }
}

void FreeTexture(DisplayTarget* t) {
    if (TextureAlive(t)) SDL_DestroyTexture(t->surface);
    t->surface = nullptr;
    EngineFree(t->texture_memory);
    t->texture_memory = nullptr;
}

// A streaming texture of the video's size in `sdl_format` with memory of its
// own, filled black and uploaded. copy_format is the format the copy writes.
bool CreateTexture(DisplayTarget* t, SDL_Renderer* renderer, uint32_t sdl_format, int copy_format) {
    const DisplayState& s = Display();
    t->surface = SDL_CreateTexture(renderer, sdl_format, SDL_TEXTUREACCESS_STREAMING, int(t->source_width),
                                   int(t->source_height));
    if (t->surface == nullptr) return false;
    t->renderer_serial = s.renderer_serial;
    t->texture_format = sdl_format;
    const bool yv12 = sdl_format == SDL_PIXELFORMAT_YV12;
    const uint32_t bytes = yv12 ? 1 : SDL_BYTESPERPIXEL(sdl_format);
    const uint64_t pitch = RoundUp(t->source_width * bytes, 32);
    // Planar memory: luma, then two chroma planes of pitch/2 (and one spare
    // chroma row, read when the height is odd).
    const uint64_t size =
        yv12 ? pitch * t->source_height + pitch * (t->source_height / 2) + pitch : pitch * t->source_height;
    t->texture_memory = size < 0xFFFFFFF0u ? static_cast<uint8_t*>(EngineAllocate(uint32_t(size))) : nullptr;
    if (t->texture_memory == nullptr) {
        FreeTexture(t);
        return false;
    }
    std::memset(t->texture_memory, 0, size_t(size));
    t->texture_pitch = int32_t(pitch);
    FillBlack(t->texture_memory, t->source_width, t->source_height, t->texture_pitch, copy_format, bytes);
    UploadTexture(t);
    return true;
}

void FreeDib(DisplayTarget* t) {
    if (t->dib_bitmap != nullptr) SDL_FreeSurface(t->dib_bitmap);
    t->dib_bitmap = nullptr;
    EngineFree(t->dib_bits);
    t->dib_bits = nullptr;
    EngineFree(t->dib_header);
    t->dib_header = nullptr;
}

// The memory picture of the DIB style in the display's depth. Sets the copy
// format in the target's flags.
bool CreateDib(DisplayTarget* t) {
    const DisplayState& s = Display();
    const uint32_t bytes = s.bytes_per_pixel;
    SDL_Surface* screen = TakeWindowSurface(t->window);
    if (screen == nullptr || bytes < 2 || bytes > 4) return false;
    // The header carries a colour-table area behind it.
    t->dib_header = static_cast<DibHeader*>(EngineAllocate(sizeof(DibHeader) + 1024));
    if (t->dib_header == nullptr) return false;
    DibHeader& h = *t->dib_header;
    const int copy_format =
        FillDibHeader(h, t->source_width, t->source_height, bytes, screen->format->Rmask == 0xF800);
    const uint32_t sdl_format = copy_format == 1    ? SDL_PIXELFORMAT_BGR24
                                : copy_format == 3  ? SDL_PIXELFORMAT_RGB888
                                : copy_format == 10 ? SDL_PIXELFORMAT_RGB565
                                                    : SDL_PIXELFORMAT_RGB555;
    const uint32_t pitch = RoundUp(uint32_t(h.width) * bytes, 4);
    const uint64_t size = uint64_t(pitch) * t->source_height;
    if (size >= 0xFFFFFFF0u) return false;
    t->dib_bits = static_cast<uint8_t*>(EngineAllocate(uint32_t(size)));
    if (t->dib_bits == nullptr) return false;
    std::memset(t->dib_bits, 0, size_t(size));
    t->dib_bitmap = SDL_CreateRGBSurfaceWithFormatFrom(
        t->dib_bits, int(t->source_width), int(t->source_height), int(8 * bytes), int(pitch), sdl_format);
    if (t->dib_bitmap == nullptr) return false;
    SDL_SetSurfaceBlendMode(t->dib_bitmap, SDL_BLENDMODE_NONE);
    t->dib_pitch = pitch;
    t->copy_flags = uint32_t(copy_format);
    return true;
}

bool TryPrimary(DisplayTarget* t, uint32_t needed) {
    if (needed != 0 || !t->holds_instance) return false;
    SDL_Surface* screen = TakeWindowSurface(t->window);
    if (screen == nullptr) return false;
    const int format = CopyFormatForSdlFormat(screen->format->format);
    if (format < 0) {
        SetDisplayError(kVideoMode);
        return false;
    }
    if (format == 0) return false;
    t->window_surface = screen;
    t->copy_flags = uint32_t(format);
    t->hide_cursor = ProbeSoftwareCursor(t->window) == 1;
    t->is_primary = true;
    return true;
}

// Styles 3-10: a texture on the window's renderer.
bool TryTextureStyle(DisplayTarget* t, uint32_t style, uint32_t needed) {
    const DisplayState& s = Display();
    if (!t->holds_instance) return false;
    const bool overlay = style <= kBlitOverlayUYVY;
    if ((needed & ~(overlay ? s.overlay_classes : s.blit_classes)) != 0) return false;
    SDL_Renderer* renderer = UseRenderer(t->window, style == kBlitOffscreenSystem);
    if (renderer == nullptr) {
        SetDisplayError(kNotAvailable);
        return false;
    }
    uint32_t sdl_format = 0;
    if (style <= kBlitOffscreenUYVY) {
        sdl_format = kYuvFormats[(style - kBlitOverlayYV12) % 3];
    } else {
        sdl_format = SDL_GetWindowPixelFormat(t->window);
    }
    const int format = CopyFormatForSdlFormat(sdl_format);
    if (format <= 0) {
        if (format < 0) SetDisplayError(kVideoMode);
        return false;
    }
    if (!CreateTexture(t, renderer, sdl_format, format)) return false;
    t->copy_flags = uint32_t(format);
    t->is_overlay = overlay;
    t->is_offscreen = !overlay;
    t->allowed_classes = overlay ? s.overlay_classes : s.blit_classes;
    return true;
}

bool TryStyle(DisplayTarget* t, uint32_t style, uint32_t needed) {
    if (style == kBlitPrimary) return TryPrimary(t, needed);
    return TryTextureStyle(t, style, needed);
}

// Sizes, flags and placement of an accepted target.
void BuildTarget(DisplayTarget* t, uint32_t style, uint32_t needed) {
    const DisplayState& s = Display();
    if (style != kBlitDibSection) t->style = style;
    WindowFrame frame;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(t->window, &top, &left, &bottom, &right) == 0)
        frame = {uint32_t(left + right), uint32_t(top + bottom), left, top};
    SetUpAcceptedTarget(t, needed, s.screen_width, s.screen_height, s.display_bits, frame);
}

bool AcquireTargetInstance(DisplayTarget* t, bool change_mode) {
    return AcquireInstance(t->window, change_mode);
}

void DiscardTarget(DisplayTarget* t) {
    GiveBackTargetReferences(t, ReleaseInstance);
    EngineFree(t);
}

}  // namespace

const char* DisplayLastError() { return Display().last_error; }

DisplayTarget* OpenDisplayTarget(NativeWindow window, uint32_t width, uint32_t height, uint32_t flags) {
    static constexpr TargetPlatformOps kOps{AcquireTargetInstance, TryStyle,     CreateDib, FreeDib,
                                            BuildTarget,           DiscardTarget};
    return OpenTargetWith(window, width, height, flags, kOps, Display());
}

void CloseDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    if (t->is_overlay) RefreshOverlay(t, 1);
    FreeTexture(t);
    FreeDib(t);
    GiveBackTargetReferences(t, ReleaseInstance);
    std::memset(t, 0, sizeof *t);
    EngineFree(t);
}

bool LockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return false;
    if (t->style == kBlitDibSection) {
        t->buffer = t->dib_bits;
        t->pitch = int32_t(t->dib_pitch);
        return t->buffer != nullptr;
    }
    if (t->is_primary) {
        const DisplayState& s = Display();
        if (t->hide_cursor)
            t->cursor_hides =
                HideCursorOver(t->window, t->screen_x, t->screen_y, t->source_width, t->source_height);
        SDL_Surface* screen = nullptr;
        if (s.renderer == nullptr || s.renderer_window != t->window) screen = SDL_GetWindowSurface(t->window);
        // A new window surface is a restored one: its picture must be redrawn.
        if (screen != t->window_surface) t->copy_flags |= kTargetFullRedraw;
        t->window_surface = screen;
        // The copy writes the picture from the display position on.
        const bool fits = screen != nullptr && t->window_x >= 0 && t->window_y >= 0 &&
                          int64_t(t->window_x) + t->picture_width <= screen->w &&
                          int64_t(t->window_y) + t->picture_height <= screen->h;
        if (!fits || SDL_LockSurface(screen) != 0) {
            t->copy_flags |= kTargetFullRedraw;
            ShowCursorTimes(t->cursor_hides);
            t->cursor_hides = 0;
            return false;
        }
        t->locked_memory = static_cast<uint8_t*>(screen->pixels) + int64_t(t->window_y) * screen->pitch +
                           int64_t(t->window_x) * screen->format->BytesPerPixel;
        t->buffer = t->locked_memory;
        t->pitch = screen->pitch;
        return true;
    }
    if (!TextureAlive(t) || t->texture_memory == nullptr) {
        t->copy_flags |= kTargetFullRedraw;
        return false;
    }
    t->locked_memory = t->texture_memory;
    t->buffer = t->texture_memory;
    t->pitch = t->texture_pitch;
    return true;
}

void UnlockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    if (t->style != kBlitDibSection && t->locked_memory != nullptr) {
        if (t->is_primary) {
            SDL_UnlockSurface(t->window_surface);
            ShowCursorTimes(t->cursor_hides);
            t->cursor_hides = 0;
            // The copy wrote into the window's own pixels: show them.
            const SDL_Rect area{t->window_x, t->window_y, int(t->picture_width), int(t->picture_height)};
            SDL_UpdateWindowSurfaceRects(t->window, &area, 1);
        } else {
            UploadTexture(t);
        }
        t->locked_memory = nullptr;
    }
    EndTargetUnlock(t);
}

void ClearDisplayTarget(DisplayTarget* t) {
    if (!LockDisplayTarget(t)) return;
    uint32_t bytes = Display().bytes_per_pixel;
    if (t->texture_format != 0 && !SDL_ISPIXELFORMAT_FOURCC(t->texture_format))
        bytes = SDL_BYTESPERPIXEL(t->texture_format);
    FillBlack(t->buffer, t->source_width, t->source_height, t->pitch, CopyFormatOf(t), bytes);
    UnlockDisplayTarget(t);
}

}  // namespace zarn
