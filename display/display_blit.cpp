// Placement, scaling, the overlay and the per-frame blit of display targets.
#include <SDL.h>

#include "display/display_geometry.h"
#include "display/display_state.h"
#include "display/display_target.h"
#include "engine/movie.h"

namespace zarn {

namespace {

SDL_Rect ToRect(const Box& b) { return SDL_Rect{b.left, b.top, b.right - b.left, b.bottom - b.top}; }

// The client area's top-left corner relative to the window's display.
void ClientOrigin(SDL_Window* window, int* x, int* y) {
    *x = *y = 0;
    if (window == nullptr) return;
    SDL_GetWindowPosition(window, x, y);
    SDL_Rect bounds{};
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        *x -= bounds.x;
        *y -= bounds.y;
    }
}

bool WindowVisible(SDL_Window* window) {
    const uint32_t f = SDL_GetWindowFlags(window);
    return (f & SDL_WINDOW_SHOWN) != 0 && (f & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) == 0;
}

bool RendererServes(const DisplayTarget* t) {
    const DisplayState& s = Display();
    return t->surface != nullptr && s.renderer != nullptr && s.renderer_window == t->window &&
           s.renderer_serial == t->renderer_serial;
}

// Draws changed rectangles of an off-screen texture into the canvas.
void BlitOffscreen(DisplayTarget* t, const Rect* rects, int count) {
    if (!RendererServes(t)) return;
    SDL_Renderer* renderer = Display().renderer;
    bool fresh = false;
    SDL_Texture* canvas = BeginCanvas(&fresh);
    if (canvas == nullptr) {  // no render targets: the whole picture each time
        SDL_SetRenderTarget(renderer, nullptr);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        rects = nullptr;
    }
    if (rects == nullptr || fresh) {
        const SDL_Rect dest{t->window_x, t->window_y, int(t->dest_width), int(t->dest_height)};
        SDL_RenderCopy(renderer, t->surface, nullptr, &dest);
    } else {
        ForEachBlitBox(t, rects, count, t->window_x, t->window_y, [&](const Box& from, const Box& to) {
            const SDL_Rect src = ToRect(from), dst = ToRect(to);
            SDL_RenderCopy(renderer, t->surface, &src, &dst);
        });
    }
    if (canvas != nullptr)
        PresentCanvas();
    else
        SDL_RenderPresent(renderer);
}

// Stretches changed rectangles of the DIB onto the window surface.
void BlitDib(DisplayTarget* t, const Rect* rects, int count) {
    const DisplayState& s = Display();
    if (t->dib_bitmap == nullptr || (s.renderer != nullptr && s.renderer_window == t->window)) return;
    SDL_Surface* screen = SDL_GetWindowSurface(t->window);
    if (screen == nullptr) return;
    constexpr int kMaxUpdates = 64;
    SDL_Rect updated[kMaxUpdates];
    int n = 0;
    ForEachBlitBox(t, rects, count, t->window_x, t->window_y, [&](const Box& from, const Box& to) {
        SDL_Rect src = ToRect(from), dst = ToRect(to);
        if (dst.w <= 0 || dst.h <= 0) return;
        if (SDL_BlitScaled(t->dib_bitmap, &src, screen, &dst) != 0) return;
        if (dst.w > 0 && dst.h > 0 && n < kMaxUpdates) updated[n++] = dst;
    });
    if (n > 0) SDL_UpdateWindowSurfaceRects(t->window, updated, n);
}

void ShowPrimary(DisplayTarget* t) {
    const DisplayState& s = Display();
    if (s.renderer != nullptr && s.renderer_window == t->window) return;
    SDL_Surface* screen = SDL_GetWindowSurface(t->window);
    if (screen == nullptr) return;
    SDL_Rect area{t->window_x, t->window_y, int(t->picture_width), int(t->picture_height)};
    const SDL_Rect bounds{0, 0, screen->w, screen->h};
    SDL_Rect clipped{};
    if (SDL_IntersectRect(&area, &bounds, &clipped)) SDL_UpdateWindowSurfaceRects(t->window, &clipped, 1);
}

}  // namespace

uint32_t DisplayBytesPerPixel() { return Display().bytes_per_pixel; }

void SetDisplayPosition(DisplayTarget* t, int32_t x, int32_t y) {
    if (t == nullptr) return;
    int ox = 0, oy = 0;
    ClientOrigin(t->window, &ox, &oy);
    t->window_x = x;
    t->window_y = y;
    t->screen_x = x + ox;
    t->screen_y = y + oy;
    t->copy_flags |= kTargetFullRedraw;
    RefreshOverlay(t, 0);
}

void RefreshOverlay(DisplayTarget* t, int mode) {
    if (t == nullptr || !t->is_overlay || !RendererServes(t)) return;
    Box from{}, to{};
    const bool visible = WindowVisible(t->window) &&
                         ClipOverlay(t->screen_x, t->screen_y, t->dest_width, t->dest_height, t->source_width,
                                     t->source_height, t->screen_width, t->screen_height, &from, &to);
    if (visible && mode == 1) t->overlay_shown = false;
    if (visible && mode == 2) t->overlay_shown = true;
    SDL_Renderer* renderer = Display().renderer;
    bool fresh = false;
    SDL_Texture* canvas = BeginCanvas(&fresh);
    if (canvas == nullptr) SDL_SetRenderTarget(renderer, nullptr);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (visible && t->overlay_shown) {
        // Screen coordinates to the window's: the client origin is screen - window.
        const SDL_Rect src = ToRect(from);
        SDL_Rect dst = ToRect(to);
        dst.x -= t->screen_x - t->window_x;
        dst.y -= t->screen_y - t->window_y;
        SDL_RenderCopy(renderer, t->surface, &src, &dst);
    }
    if (canvas != nullptr)
        PresentCanvas();
    else
        SDL_RenderPresent(renderer);
}

void BlitDisplayTarget(DisplayTarget* t, const Rect* rects, int count) {
    if (t == nullptr || count <= 0 || t->source_width == 0) return;
    if (t->is_overlay)
        RefreshOverlay(t, 0);
    else if (t->is_offscreen)
        BlitOffscreen(t, rects, count);
    else if (t->style == kBlitDibSection)
        BlitDib(t, rects, count);
    else if (t->is_primary && rects == nullptr)
        ShowPrimary(t);
}

}  // namespace zarn
