// Display targets on Win32: the DirectDraw primary surface (1), the GDI DIB
// section (2), the YUV overlays (3-5) and the YUV and RGB off-screen surfaces
// (6-10), chosen by style or by the automatic walk.
#include <cstring>

#include "base/engine_memory.h"
#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_state_win32.h"
#include "display/display_style_walk.h"
#include "display/display_target.h"
#include "display/display_texts.h"

namespace zarn {
namespace {

constexpr uint32_t kStyleFourcc[3] = {kFourccYV12, kFourccYUY2, kFourccUYVY};
constexpr int kFourccFormat[3] = {15, 13, 14};

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

HWND WindowOf(const DisplayTarget* t) { return static_cast<HWND>(t->native_window); }
IDirectDrawSurface* SurfaceOf(const DisplayTarget* t) {
    return static_cast<IDirectDrawSurface*>(t->dd_surface);
}

// The bitmap header with room for the three colour masks behind it.
struct DibInfo {
    BITMAPINFOHEADER header;
    DWORD masks[256];
};

// Whether the display's 16-bit layout is 5-6-5: a 1 x 1 compatible bitmap is
// asked for its format, then for its bit fields.
bool DisplayIs565(HDC window_dc) {
    HBITMAP probe = CreateCompatibleBitmap(window_dc, 1, 1);
    if (probe == nullptr) return false;
    DibInfo info;
    std::memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    GetDIBits(window_dc, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    GetDIBits(window_dc, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(probe);
    return info.header.biCompression == BI_BITFIELDS && info.masks[0] == 0xF800;
}

void FreeDib(DisplayTarget* t) {
    if (t->dib_dc != nullptr) {
        if (t->dib_previous != nullptr)
            SelectObject(static_cast<HDC>(t->dib_dc), static_cast<HGDIOBJ>(t->dib_previous));
        DeleteDC(static_cast<HDC>(t->dib_dc));
    }
    if (t->dib_section != nullptr) DeleteObject(static_cast<HGDIOBJ>(t->dib_section));
    t->dib_dc = t->dib_section = t->dib_previous = nullptr;
    t->dib_bits = nullptr;
    EngineFree(t->dib_header);
    t->dib_header = nullptr;
}

// The DIB section in the display's depth, selected into a memory context.
// Sets the copy format in the target's flags.
bool CreateDib(DisplayTarget* t) {
    const uint32_t bytes = Display().bytes_per_pixel;
    if (bytes < 2 || bytes > 4) return false;
    HDC window_dc = GetDC(WindowOf(t));
    if (window_dc == nullptr) return false;
    HDC memory_dc = CreateCompatibleDC(window_dc);
    const bool is565 = bytes == 2 && DisplayIs565(window_dc);
    ReleaseDC(WindowOf(t), window_dc);
    if (memory_dc == nullptr) return false;
    t->dib_dc = memory_dc;

    // The header carries a colour-table area behind it.
    t->dib_header = static_cast<DibHeader*>(EngineAllocate(sizeof(DibHeader) + 1024));
    if (t->dib_header == nullptr) return false;
    DibHeader& h = *t->dib_header;
    const int copy_format = FillDibHeader(h, t->source_width, t->source_height, bytes, is565);

    DibInfo info;
    std::memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    info.header.biWidth = h.width;
    info.header.biHeight = h.height;
    info.header.biPlanes = h.planes;
    info.header.biBitCount = h.bit_count;
    info.header.biCompression = h.compression;
    info.masks[0] = h.red_mask;
    info.masks[1] = h.green_mask;
    info.masks[2] = h.blue_mask;
    void* bits = nullptr;
    HBITMAP dib =
        CreateDIBSection(memory_dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib == nullptr || bits == nullptr) return false;
    t->dib_section = dib;
    t->dib_previous = SelectObject(memory_dc, dib);
    t->dib_bits = static_cast<uint8_t*>(bits);
    t->dib_pitch = RoundUp(uint32_t(h.width) * bytes, 4);
    std::memset(t->dib_bits, 0, size_t(t->dib_pitch) * t->source_height);
    t->copy_flags = uint32_t(copy_format);
    return true;
}

void ReleaseSurface(DisplayTarget* t) {
    if (t->dd_surface != nullptr) SurfaceOf(t)->Release();
    t->dd_surface = nullptr;
}

// A new surface is locked once and filled black; a surface that cannot be
// locked is of no use.
bool BlackenSurface(DisplayTarget* t, int format) {
    DDSURFACEDESC desc;
    if (!LockSurface(SurfaceOf(t), &desc, nullptr)) return false;
    FillBlack(static_cast<uint8_t*>(desc.lpSurface), t->source_width, t->source_height, desc.lPitch, format,
              Display().bytes_per_pixel);
    SurfaceOf(t)->Unlock(desc.lpSurface);
    return true;
}

// An overlay (styles 3-5) or off-screen surface (6-10) of the video's size.
bool CreateSurface(DisplayTarget* t, uint32_t style) {
    DDSURFACEDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = t->source_width;
    desc.dwHeight = t->source_height;
    if (style <= kBlitOverlayUYVY)
        desc.ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
    else if (style == kBlitOffscreenSystem)
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    else
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    if (style <= kBlitOffscreenUYVY) {
        desc.dwFlags |= DDSD_PIXELFORMAT;
        desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
        desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
        desc.ddpfPixelFormat.dwFourCC = kStyleFourcc[(style - kBlitOverlayYV12) % 3];
    }
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(Display().direct_draw->CreateSurface(&desc, &surface, nullptr)) || surface == nullptr)
        return false;
    t->dd_surface = surface;
    return true;
}

bool TryPrimary(DisplayTarget* t, uint32_t needed) {
    const Win32Display& s = Display();
    if (needed != 0 || s.primary == nullptr) return false;
    const int format = SurfaceCopyFormat(s.primary);
    if (format < 0) {
        SetDisplayError(kDisplayVideoMode);
        return false;
    }
    if (format == 0) return false;
    t->copy_flags = uint32_t(format);
    t->hide_cursor = ProbeSoftwareCursor(s.primary, WindowOf(t)) == 1;
    t->is_primary = true;
    t->dd_surface = s.primary;
    s.primary->AddRef();
    return true;
}

// Styles 3-10: a surface of its own, shown by the overlay or by blits.
bool TrySurfaceStyle(DisplayTarget* t, uint32_t style, uint32_t needed) {
    const Win32Display& s = Display();
    const bool overlay = style <= kBlitOverlayUYVY;
    const uint32_t allowed = overlay ? s.overlay_classes : s.blit_classes;
    if ((needed & ~allowed) != 0 || !CreateSurface(t, style)) return false;
    int format = 0;
    if (style <= kBlitOffscreenUYVY) {
        format = kFourccFormat[(style - kBlitOverlayYV12) % 3];
    } else {
        format = SurfaceCopyFormat(SurfaceOf(t));
        if (format <= 0) {
            ReleaseSurface(t);
            if (format < 0) SetDisplayError(kDisplayVideoMode);
            return false;
        }
    }
    if (!BlackenSurface(t, format)) {
        ReleaseSurface(t);
        return false;
    }
    t->copy_flags = uint32_t(format);
    t->is_overlay = overlay;
    t->is_offscreen = !overlay;
    t->allowed_classes = allowed;
    return true;
}

bool TryStyle(DisplayTarget* t, uint32_t style, uint32_t needed) {
    if (Display().direct_draw == nullptr) return false;
    if (style == kBlitPrimary) return TryPrimary(t, needed);
    return TrySurfaceStyle(t, style, needed);
}

// Sizes, flags and placement of an accepted target.
void BuildTarget(DisplayTarget* t, uint32_t style, uint32_t needed) {
    const Win32Display& s = Display();
    if (style != kBlitDibSection) {
        t->style = style;
        IDirectDrawClipper* clipper = nullptr;
        if (SUCCEEDED(s.direct_draw->CreateClipper(0, &clipper, nullptr)) && clipper != nullptr) {
            clipper->SetHWnd(0, WindowOf(t));
            t->dd_clipper = clipper;
        }
    }
    WindowFrame frame;
    RECT outer{}, client{};
    POINT origin{0, 0};
    if (GetWindowRect(WindowOf(t), &outer) && GetClientRect(WindowOf(t), &client) &&
        ClientToScreen(WindowOf(t), &origin)) {
        frame = {uint32_t((outer.right - outer.left) - (client.right - client.left)),
                 uint32_t((outer.bottom - outer.top) - (client.bottom - client.top)),
                 int32_t(origin.x - outer.left), int32_t(origin.y - outer.top)};
    }
    SetUpAcceptedTarget(t, needed, s.screen_width, s.screen_height, s.display_bits, frame);
}

bool AcquireTargetInstance(DisplayTarget* t, bool change_mode) {
    return AcquireDirectDraw(WindowOf(t), change_mode);
}

void FreeTarget(DisplayTarget* t) {
    if (t->is_overlay) RefreshOverlay(t, 1);
    ReleaseSurface(t);
    if (t->dd_clipper != nullptr) static_cast<IDirectDrawClipper*>(t->dd_clipper)->Release();
    t->dd_clipper = nullptr;
    FreeDib(t);
    GiveBackTargetReferences(t, ReleaseDirectDraw);
    std::memset(t, 0, sizeof *t);
    EngineFree(t);
}

}  // namespace

DisplayTarget* OpenDisplayTarget(NativeWindow window, uint32_t width, uint32_t height, uint32_t flags) {
    static constexpr TargetPlatformOps kOps{AcquireTargetInstance, TryStyle,  CreateDib, FreeDib,
                                            BuildTarget,           FreeTarget};
    return OpenTargetWith(window, width, height, flags, kOps, Display());
}

void CloseDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    FreeTarget(t);
}

bool LockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return false;
    if (t->style == kBlitDibSection) {
        if (t->dib_bits == nullptr) return false;
        // The copy writes into the section: make GDI finish drawing from it first.
        GdiFlush();
        t->buffer = t->dib_bits;
        t->pitch = int32_t(t->dib_pitch);
        return true;
    }
    if (t->dd_surface == nullptr) return false;
    if (t->hide_cursor)
        t->cursor_hides =
            HideCursorOver(WindowOf(t), t->screen_x, t->screen_y, t->source_width, t->source_height);
    DDSURFACEDESC desc;
    bool restored = false;
    const bool locked = LockSurface(SurfaceOf(t), &desc, &restored);
    if (restored) t->copy_flags |= kTargetFullRedraw;
    uint8_t* memory = locked ? static_cast<uint8_t*>(desc.lpSurface) : nullptr;
    if (locked && t->is_primary) {
        // The copy writes the picture at its place on the screen: only while
        // all of it lies on the surface.
        const bool fits = t->screen_x >= 0 && t->screen_y >= 0 &&
                          int64_t(t->screen_x) + t->picture_width <= desc.dwWidth &&
                          int64_t(t->screen_y) + t->picture_height <= desc.dwHeight;
        if (!fits) {
            SurfaceOf(t)->Unlock(desc.lpSurface);
            memory = nullptr;
            t->copy_flags |= kTargetFullRedraw;
        }
    }
    if (memory == nullptr) {
        ShowCursorTimes(t->cursor_hides);
        t->cursor_hides = 0;
        return false;
    }
    t->locked_memory = memory;
    t->buffer = memory;
    if (t->is_primary)
        t->buffer += int64_t(t->screen_y) * desc.lPitch + int64_t(t->screen_x) * Display().bytes_per_pixel;
    t->pitch = desc.lPitch;
    return true;
}

void UnlockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    if (t->style != kBlitDibSection && t->locked_memory != nullptr) {
        SurfaceOf(t)->Unlock(t->locked_memory);
        t->locked_memory = nullptr;
        ShowCursorTimes(t->cursor_hides);
        t->cursor_hides = 0;
    }
    EndTargetUnlock(t);
}

void ClearDisplayTarget(DisplayTarget* t) {
    if (!LockDisplayTarget(t)) return;
    FillBlack(t->buffer, t->picture_width, t->picture_height, t->pitch, int(t->copy_flags & 0xF),
              Display().bytes_per_pixel);
    UnlockDisplayTarget(t);
}

}  // namespace zarn
