// Display output: the place the frame copy writes each decoded frame into, and
// the way that picture reaches the player's window.
//
// Blit styles on SDL2 (what stands in for each kind of surface):
//   1  primary surface   -> the window's own surface (SDL_GetWindowSurface). The
//                           copy writes straight into it at the picture's place
//                           in the window; presenting those pixels
//                           (SDL_UpdateWindowSurfaceRects, done by the unlock)
//                           is the blit. Never scaled.
//   2  DIB section       -> a memory SDL_Surface in the display's depth (32, 24,
//                           or 16 bits 5-6-5 / 5-5-5 as the window surface has
//                           it), stretched per rectangle onto the window surface
//                           (SDL_BlitScaled) and presented. Every scaling class.
//   3-5 YUV overlays     -> an accelerated SDL_Renderer with a streaming texture
//                           in YV12, YUY2 or UYVY, shown whole (clipped to the
//                           screen) after every unlock; no rectangles.
//   6-8 YUV off-screen   -> the same formats through the accelerated renderer,
//                           drawn per changed rectangle.
//   9  RGB off-screen (video memory)  -> a streaming texture in the window's
//                           pixel format on an accelerated renderer.
//   10 RGB off-screen (system memory) -> the same on a software renderer.
// The shared instance is the SDL video subsystem with the window it serves,
// the display's format and the one renderer a window can carry. Texture
// targets write into memory of their own that the unlock uploads, so the
// picture outside the changed blocks always keeps its previous pixels.
// Display modes: the exclusive change is a full-screen window in the requested
// mode (walking the depth order); the desktop change is the same through
// SDL_SetWindowDisplayMode with the desktop walk and its final any-depth try.
// Leaving full screen restores the mode. The screen is the bounds of the
// window's display; borders come from SDL_GetWindowBordersSize. There is no
// clipper: SDL clips to the window. The software-cursor probe answers 0 since
// the system draws the cursor.
//
// A window cannot use its own surface and a renderer at once: a target of one
// kind that follows a target of the other kind takes the window over (the
// renderer is destroyed before the window surface is taken), and the older
// target then draws nothing until it is closed.
#pragma once

#include <cstdint>
#include <functional>

#include "display/native_window.h"

struct SDL_Window;
struct SDL_Surface;
struct SDL_Texture;

namespace zarn {

// The engine's changed rectangle (engine/movie.h): x, y, w, h in source pixels.
struct Rect;
struct Box;

enum BlitStyle : uint32_t {
    kBlitAutomatic = 0,
    kBlitPrimary = 1,
    kBlitDibSection = 2,
    kBlitOverlayYV12 = 3,
    kBlitOverlayYUY2 = 4,
    kBlitOverlayUYVY = 5,
    kBlitOffscreenYV12 = 6,
    kBlitOffscreenYUY2 = 7,
    kBlitOffscreenUYVY = 8,
    kBlitOffscreenVideo = 9,
    kBlitOffscreenSystem = 10,
};

// Open flags of a target.
constexpr uint32_t kTargetStyleMask = 0x1F;
constexpr uint32_t kTargetChangeMode = 0x800000;
constexpr uint32_t kTargetClassMask = 0xFF000000;

// Copy flags a target hands to the engine (the same bits as the copy's own).
constexpr uint32_t kTargetNoRects = 0x4000000;
constexpr uint32_t kTargetOneRect = 0x8000000;
constexpr uint32_t kTargetFullRedraw = 0x80000000;

// Bitmap header of a DIB-section target (the memory picture of style 2).
struct DibHeader {
    int32_t width;   // row padded to a multiple of 32 bytes, in pixels
    int32_t height;  // minus the video height: rows run top-down
    uint16_t planes;
    uint16_t bit_count;
    uint32_t compression;  // 0 plain RGB, 3 bit fields
    uint32_t red_mask, green_mask, blue_mask;
};

// Fills the header of a DIB section `width` x `height` at `bytes` per
// pixel (2 is 5-5-5 unless `is565`); returns the copy format it takes.
int FillDibHeader(DibHeader& header, uint32_t width, uint32_t height, uint32_t bytes, bool is565);

struct DisplayTarget {
    uint32_t source_width;
    uint32_t source_height;
    uint32_t outer_width;
    uint32_t outer_height;
    uint32_t copy_flags;
    uint8_t* buffer;  // valid between lock and unlock
    int32_t pitch;
    int32_t client_offset_x;
    int32_t client_offset_y;
    uint32_t screen_width;
    uint32_t screen_height;
    uint32_t display_bits;
    uint32_t border_width;
    uint32_t border_height;
    uint32_t allowed_classes;
    uint32_t dest_width;
    uint32_t dest_height;
    // The part of the target at its top left that the copy writes: the
    // whole target unless a smaller picture is shown in it.
    uint32_t picture_width;
    uint32_t picture_height;
    SDL_Texture* surface;         // texture of overlay and off-screen styles
    SDL_Surface* window_surface;  // the window surface seen by the last lock (primary)
    int32_t screen_x;
    int32_t screen_y;
    int32_t window_x;
    int32_t window_y;
    SDL_Window* window;
    bool is_overlay;
    bool is_offscreen;
    bool overlay_shown;
    bool hide_cursor;
    int32_t cursor_hides;
    bool is_primary;
    bool holds_instance;
    bool holds_display_mode;
    uint8_t* locked_memory;
    uint32_t style;
    // DIB section.
    SDL_Surface* dib_bitmap;
    uint8_t* dib_bits;
    uint32_t dib_pitch;
    DibHeader* dib_header;
    // Texture targets: memory the copy writes into, uploaded by the unlock.
    uint8_t* texture_memory;
    int32_t texture_pitch;
    uint32_t texture_format;   // SDL pixel format of the texture
    uint32_t renderer_serial;  // which renderer made the texture
    // Win32: the window (HWND), the DirectDraw surface and clipper, and the
    // DIB section (HBITMAP) with its memory device context and the bitmap that
    // context held before.
    void* native_window;
    void* dd_surface;
    void* dd_clipper;
    void* dib_section;
    void* dib_dc;
    void* dib_previous;
};

// Opens a target for a width x height picture; flags: bits 0-4 the style,
// 0x800000 change the display mode, bits 24-31 the scaling classes needed.
// Returns nullptr with the reason in DisplayLastError().
DisplayTarget* OpenDisplayTarget(NativeWindow window, uint32_t width, uint32_t height, uint32_t flags);
void CloseDisplayTarget(DisplayTarget* target);
bool LockDisplayTarget(DisplayTarget* target);
void UnlockDisplayTarget(DisplayTarget* target);
void ClearDisplayTarget(DisplayTarget* target);
const char* BlitStyleName(const DisplayTarget* target);
const char* DisplayLastError();

void RequestDisplayMode(uint32_t width, uint32_t height, uint32_t depth_code);
int PrepareGdiDisplay(NativeWindow window, bool change_mode);
void ReleaseGdiDisplay();

// Takes dest_width x dest_height (0 = the screen's) for every axis the target
// can scale to; returns whether both axes were allowed.
bool ScaleClassesFor(DisplayTarget* target, uint32_t dest_width, uint32_t dest_height);
void AdjustDisplayPosition(const DisplayTarget* target, int32_t* x, int32_t* y);
// Bytes per pixel of the display as the shared state last read it.
uint32_t DisplayBytesPerPixel();
void SetDisplayPosition(DisplayTarget* target, int32_t x, int32_t y);
// The copy kinds an accepted target takes (`needed`: the scaling it must do).
void MarkTargetCopyKinds(DisplayTarget* target, uint32_t needed);
// After the borders are measured: the window holds the picture unscaled, at
// the screen's top left, and nothing waits to be redrawn.
void FitTargetToPicture(DisplayTarget* target);
// The window's frame around its client area, as the platform measures it.
struct WindowFrame {
    uint32_t border_width = 0, border_height = 0;
    int32_t client_offset_x = 0, client_offset_y = 0;
};
// An accepted target takes its copy kinds, the screen's facts and the
// window's frame, then fits the picture.
void SetUpAcceptedTarget(DisplayTarget* target, uint32_t needed, uint32_t screen_width,
                         uint32_t screen_height, uint32_t display_bits, const WindowFrame& frame);
// What every platform does once the locked memory is given back.
void EndTargetUnlock(DisplayTarget* target);
// A picture smaller than the target is shown in it (at most the target's size).
void SetDisplayPicture(DisplayTarget* target, uint32_t width, uint32_t height);
// mode 0 keep, 1 hide, 2 show.
void RefreshOverlay(DisplayTarget* target, int mode);
// rects == nullptr: the whole picture.
void BlitDisplayTarget(DisplayTarget* target, const Rect* rects, int count);

// Calls draw(source box, screen box) for each changed rectangle (the whole
// picture when rects is null), scaled to the destination size and moved by
// the origin; rectangles outside the picture are left out.
void ForEachBlitBox(const DisplayTarget* target, const Rect* rects, int count, int32_t origin_x,
                    int32_t origin_y, const std::function<void(const Box&, const Box&)>& draw);

}  // namespace zarn
