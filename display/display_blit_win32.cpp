// Placement, the overlay and the per-frame blit of Win32 display targets:
// overlays are keyed onto the primary surface, off-screen surfaces are
// blitted to it through the window's clipper, DIB sections are stretched
// onto the window with GDI.
#include <cstring>

#include "display/display_geometry.h"
#include "display/display_state_win32.h"
#include "display/display_target.h"
#include "engine/movie.h"

namespace zarn {
namespace {

HWND WindowOf(const DisplayTarget* t) { return static_cast<HWND>(t->native_window); }
IDirectDrawSurface* SurfaceOf(const DisplayTarget* t) {
    return static_cast<IDirectDrawSurface*>(t->dd_surface);
}
RECT ToRect(const Box& b) { return RECT{b.left, b.top, b.right, b.bottom}; }

// Runs `draw` on the primary surface with the target's clipper attached.
template <typename Draw>
void WithClipper(const DisplayTarget* t, Draw draw) {
    IDirectDrawSurface* primary = Display().primary;
    if (primary == nullptr) return;
    primary->SetClipper(static_cast<IDirectDrawClipper*>(t->dd_clipper));
    draw(primary);
    primary->SetClipper(nullptr);
}

Box DestinationBox(const DisplayTarget* t) {
    return Box{t->screen_x, t->screen_y, t->screen_x + int32_t(t->dest_width),
               t->screen_y + int32_t(t->dest_height)};
}

void FillKey(IDirectDrawSurface* primary, const Box& box) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = Display().overlay_key;
    RECT r = ToRect(box);
    primary->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

void BlitOverlay(DisplayTarget* t, const Rect* rects, int count) {
    WithClipper(t, [&](IDirectDrawSurface* primary) {
        if (rects == nullptr) {
            FillKey(primary, DestinationBox(t));
            return;
        }
        for (int i = 0; i < count; ++i)
            FillKey(primary,
                    Box{rects[i].x + t->screen_x, rects[i].y + t->screen_y,
                        rects[i].x + rects[i].w + t->screen_x, rects[i].y + rects[i].h + t->screen_y});
    });
}

void BlitOffscreen(DisplayTarget* t, const Rect* rects, int count) {
    WithClipper(t, [&](IDirectDrawSurface* primary) {
        ForEachBlitBox(t, rects, count, t->screen_x, t->screen_y, [&](const Box& from, const Box& to) {
            RECT src = ToRect(from), dst = ToRect(to);
            primary->Blt(&dst, SurfaceOf(t), &src, DDBLT_WAIT, nullptr);
        });
    });
}

void BlitDib(DisplayTarget* t, const Rect* rects, int count) {
    if (t->dib_dc == nullptr) return;
    HDC dc = GetDC(WindowOf(t));
    if (dc == nullptr) return;
    SetStretchBltMode(dc, COLORONCOLOR);
    ForEachBlitBox(t, rects, count, t->window_x, t->window_y, [&](const Box& from, const Box& to) {
        StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, static_cast<HDC>(t->dib_dc),
                   from.left, from.top, from.right - from.left, from.bottom - from.top, SRCCOPY);
    });
    ReleaseDC(WindowOf(t), dc);
}

}  // namespace

void SetDisplayPosition(DisplayTarget* t, int32_t x, int32_t y) {
    if (t == nullptr) return;
    POINT origin{0, 0};
    ClientToScreen(WindowOf(t), &origin);
    t->window_x = x;
    t->window_y = y;
    t->screen_x = x + origin.x;
    t->screen_y = y + origin.y;
    t->copy_flags |= kTargetFullRedraw;
    RefreshOverlay(t, 0);
}

void RefreshOverlay(DisplayTarget* t, int mode) {
    if (t == nullptr || !t->is_overlay || t->dd_surface == nullptr) return;
    IDirectDrawSurface* primary = Display().primary;
    if (primary == nullptr) return;
    Box from{}, to{};
    const bool visible = IsWindowVisible(WindowOf(t)) &&
                         ClipOverlay(t->screen_x, t->screen_y, t->dest_width, t->dest_height, t->source_width,
                                     t->source_height, t->screen_width, t->screen_height, &from, &to);
    if (!visible) {
        SurfaceOf(t)->UpdateOverlay(nullptr, primary, nullptr, DDOVER_HIDE, nullptr);
        return;
    }
    if (mode == 1) t->overlay_shown = false;
    if (mode == 2) t->overlay_shown = true;
    DDOVERLAYFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dckDestColorkey.dwColorSpaceLowValue = Display().overlay_key;
    fx.dckDestColorkey.dwColorSpaceHighValue = Display().overlay_key;
    RECT src = ToRect(from), dst = ToRect(to);
    const DWORD show = t->overlay_shown ? DDOVER_SHOW : DDOVER_HIDE;
    SurfaceOf(t)->UpdateOverlay(&src, primary, &dst, show | DDOVER_KEYDESTOVERRIDE, &fx);
}

void BlitDisplayTarget(DisplayTarget* t, const Rect* rects, int count) {
    if (t == nullptr || count <= 0 || t->source_width == 0) return;
    if (t->is_overlay)
        BlitOverlay(t, rects, count);
    else if (t->is_offscreen)
        BlitOffscreen(t, rects, count);
    else if (t->style == kBlitDibSection)
        BlitDib(t, rects, count);
    else if (t->is_primary && rects == nullptr)
        // The window was painted over the picture, which lives only on the
        // screen: the next copy writes all of it, not just changed blocks
        // (a still or one-frame looped video has none).
        t->copy_flags |= kTargetFullRedraw;
}

}  // namespace zarn
