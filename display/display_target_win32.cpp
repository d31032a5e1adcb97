// Display targets on Win32 with GDI: the DIB section (style 2). DirectDraw is
// not part of this build yet, so the walk finds no DirectDraw object: the
// automatic style takes the DIB section and the other explicit styles fail
// with the DirectDraw text.
#include <windows.h>

#include <cstring>

#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_target.h"
#include "display/display_texts.h"
#include "display/gdi_state_win32.h"
#include "base/engine_memory.h"
#include "engine/movie.h"

namespace zarn {
namespace {

constexpr uint32_t kMaxSide = 16384;

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

HWND WindowOf(const DisplayTarget* t) { return static_cast<HWND>(t->native_window); }

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
    const uint32_t bytes = Gdi().bytes_per_pixel;
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
    std::memset(&h, 0, sizeof h);
    const uint32_t row_bytes = RoundUp(t->source_width * bytes, 32);
    h.width = int32_t(row_bytes / bytes);
    h.height = -int32_t(t->source_height);
    h.planes = 1;
    h.bit_count = uint16_t(8 * bytes);
    h.compression = bytes == 3 ? BI_RGB : BI_BITFIELDS;
    int copy_format = 0;
    if (bytes >= 3) {
        h.red_mask = 0xFF0000;
        h.green_mask = 0xFF00;
        h.blue_mask = 0xFF;
        copy_format = bytes == 3 ? 1 : 3;
    } else if (is565) {
        h.red_mask = 0xF800;
        h.green_mask = 0x7E0;
        h.blue_mask = 0x1F;
        copy_format = 10;
    } else {
        h.red_mask = 0x7C00;
        h.green_mask = 0x3E0;
        h.blue_mask = 0x1F;
        copy_format = 9;
    }

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
    HBITMAP dib = CreateDIBSection(memory_dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
    if (dib == nullptr || bits == nullptr) return false;
    t->dib_section = dib;
    t->dib_previous = SelectObject(memory_dc, dib);
    t->dib_bits = static_cast<uint8_t*>(bits);
    t->dib_pitch = RoundUp(uint32_t(h.width) * bytes, 4);
    std::memset(t->dib_bits, 0, size_t(t->dib_pitch) * t->source_height);
    t->copy_flags = uint32_t(copy_format);
    return true;
}

// Sizes, flags and placement of an accepted target.
void BuildTarget(DisplayTarget* t, uint32_t needed) {
    const GdiState& s = Gdi();
    if (needed != 0) t->copy_flags |= kTargetOneRect;
    t->screen_width = s.screen_width;
    t->screen_height = s.screen_height;
    t->display_bits = s.display_bits;
    RECT outer{}, client{};
    POINT origin{0, 0};
    if (GetWindowRect(WindowOf(t), &outer) && GetClientRect(WindowOf(t), &client) &&
        ClientToScreen(WindowOf(t), &origin)) {
        t->border_width = uint32_t((outer.right - outer.left) - (client.right - client.left));
        t->border_height = uint32_t((outer.bottom - outer.top) - (client.bottom - client.top));
        t->client_offset_x = origin.x - outer.left;
        t->client_offset_y = origin.y - outer.top;
    }
    t->outer_width = t->source_width + t->border_width;
    t->outer_height = t->source_height + t->border_height;
    t->dest_width = t->source_width;
    t->dest_height = t->source_height;
    SetDisplayPosition(t, 0, 0);
    t->copy_flags &= ~kTargetFullRedraw;
}

void GiveBackReferences(DisplayTarget* t) {
    if (t->holds_display_mode) ReleaseGdiDisplay();
    t->holds_display_mode = false;
}

}  // namespace

DisplayTarget* OpenDisplayTarget(NativeWindow window, uint32_t width, uint32_t height,
                                 uint32_t flags) {
    if (width == 0 || height == 0) return nullptr;
    SetDisplayError("");
    if (width > kMaxSide || height > kMaxSide || window == nullptr) {
        SetDisplayError(kDisplayNoStyle);
        return nullptr;
    }
    const uint32_t style = flags & kTargetStyleMask;
    if (style != kBlitAutomatic && style != kBlitDibSection) {
        SetDisplayError(kDisplayNotAvailable);
        return nullptr;
    }
    auto* t = static_cast<DisplayTarget*>(EngineAllocate(sizeof(DisplayTarget)));
    if (t == nullptr) {
        SetDisplayError(kDisplayNoDib);
        return nullptr;
    }
    std::memset(t, 0, sizeof *t);
    t->source_width = width;
    t->source_height = height;
    t->native_window = window;
    t->holds_display_mode = PrepareGdiDisplay(window, (flags & kTargetChangeMode) != 0) != 0;

    if (CreateDib(t)) {
        t->style = kBlitDibSection;
        t->allowed_classes = kScaleAll;
        BuildTarget(t, flags & kTargetClassMask);
        return t;
    }
    FreeDib(t);
    const GdiState& s = Gdi();
    if (style == kBlitDibSection)
        SetDisplayError(s.bytes_per_pixel == 1 ? kDisplay256Colours : kDisplayNoDib);
    else
        SetDisplayError(s.display_bits >= 1 && s.display_bits <= 8 ? kDisplay256Colours
                                                                   : kDisplayNoStyle);
    GiveBackReferences(t);
    EngineFree(t);
    return nullptr;
}

void CloseDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    FreeDib(t);
    GiveBackReferences(t);
    std::memset(t, 0, sizeof *t);
    EngineFree(t);
}

bool LockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0 || t->dib_bits == nullptr) return false;
    // The copy writes into the section: make GDI finish drawing from it first.
    GdiFlush();
    t->buffer = t->dib_bits;
    t->pitch = int32_t(t->dib_pitch);
    return true;
}

void UnlockDisplayTarget(DisplayTarget* t) {
    if (t == nullptr || t->source_width == 0) return;
    t->buffer = nullptr;
    t->pitch = 0;
    t->copy_flags &= ~kTargetFullRedraw;
}

void ClearDisplayTarget(DisplayTarget* t) {
    if (!LockDisplayTarget(t)) return;
    FillBlack(t->buffer, t->source_width, t->source_height, t->pitch, int(t->copy_flags & 0xF),
              Gdi().bytes_per_pixel);
    UnlockDisplayTarget(t);
}

bool ScaleClassesFor(DisplayTarget* t, uint32_t dest_width, uint32_t dest_height) {
    if (t == nullptr) return false;
    const ScaleResult r =
        ApplyScale(t->source_width, t->source_height, t->dest_width, t->dest_height,
                   t->allowed_classes, dest_width, dest_height, t->screen_width, t->screen_height);
    t->dest_width = r.dest_width;
    t->dest_height = r.dest_height;
    t->outer_width = t->dest_width + t->border_width;
    t->outer_height = t->dest_height + t->border_height;
    return r.allowed;
}

void AdjustDisplayPosition(const DisplayTarget* t, int32_t* x, int32_t* y) {
    if (t == nullptr || x == nullptr || y == nullptr) return;
    const PlacementInput in{t->is_primary,    t->client_offset_x, t->client_offset_y,
                            t->source_width,  t->source_height,   t->screen_width,
                            t->screen_height, Gdi().bytes_per_pixel};
    AdjustPosition(in, x, y);
}

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

// No overlays without DirectDraw.
void RefreshOverlay(DisplayTarget*, int) {}

void BlitDisplayTarget(DisplayTarget* t, const Rect* rects, int count) {
    if (t == nullptr || count <= 0 || t->source_width == 0 || t->dib_dc == nullptr) return;
    HDC dc = GetDC(WindowOf(t));
    if (dc == nullptr) return;
    SetStretchBltMode(dc, COLORONCOLOR);
    const Rect whole{0, 0, int32_t(t->source_width), int32_t(t->source_height)};
    if (rects == nullptr) {
        rects = &whole;
        count = 1;
    }
    for (int i = 0; i < count; ++i) {
        Box from{}, to{};
        if (!BlitBoxFor(rects[i].x, rects[i].y, rects[i].w, rects[i].h, t->source_width,
                        t->source_height, t->dest_width, t->dest_height, t->window_x, t->window_y,
                        &from, &to))
            continue;
        StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top,
                   static_cast<HDC>(t->dib_dc), from.left, from.top, from.right - from.left,
                   from.bottom - from.top, SRCCOPY);
    }
    ReleaseDC(WindowOf(t), dc);
}

}  // namespace zarn
