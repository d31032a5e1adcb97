// The shared DirectDraw instance: DDRAW.DLL loaded at run time, the object
// with its cooperative level (and, exclusive, the requested display mode),
// the primary surface, and the survey of scaling capabilities and formats.
#include <cstring>

#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_mode_walk.h"
#include "display/display_state_win32.h"

namespace zarn {
namespace {

using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

bool LoadDirectDraw(Win32Display& s) {
    if (s.direct_draw_create != nullptr) return true;
    if (s.ddraw_unavailable) return false;
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    s.ddraw_library = LoadLibraryA("DDRAW.DLL");
    SetErrorMode(previous);
    if (s.ddraw_library != nullptr)
        s.direct_draw_create = reinterpret_cast<DirectDrawCreateFn>(
            reinterpret_cast<void*>(GetProcAddress(s.ddraw_library, "DirectDrawCreate")));
    if (s.direct_draw_create == nullptr) s.ddraw_unavailable = true;
    return s.direct_draw_create != nullptr;
}

uint32_t LowestBit(uint32_t mask) { return mask & (~mask + 1); }

ScaleCaps CapsFrom(DWORD fx, bool overlay) {
    ScaleCaps c{};
    if (overlay) {
        c.h_stretch = (fx & DDFXCAPS_OVERLAYSTRETCHX) != 0;
        c.h_int_stretch = (fx & DDFXCAPS_OVERLAYSTRETCHXN) != 0;
        c.h_shrink = (fx & DDFXCAPS_OVERLAYSHRINKX) != 0;
        c.h_int_shrink = (fx & DDFXCAPS_OVERLAYSHRINKXN) != 0;
        c.v_stretch = (fx & DDFXCAPS_OVERLAYSTRETCHY) != 0;
        c.v_int_stretch = (fx & DDFXCAPS_OVERLAYSTRETCHYN) != 0;
        c.v_shrink = (fx & DDFXCAPS_OVERLAYSHRINKY) != 0;
        c.v_int_shrink = (fx & DDFXCAPS_OVERLAYSHRINKYN) != 0;
    } else {
        c.h_stretch = (fx & DDFXCAPS_BLTSTRETCHX) != 0;
        c.h_int_stretch = (fx & DDFXCAPS_BLTSTRETCHXN) != 0;
        c.h_shrink = (fx & DDFXCAPS_BLTSHRINKX) != 0;
        c.h_int_shrink = (fx & DDFXCAPS_BLTSHRINKXN) != 0;
        c.v_stretch = (fx & DDFXCAPS_BLTSTRETCHY) != 0;
        c.v_int_stretch = (fx & DDFXCAPS_BLTSTRETCHYN) != 0;
        c.v_shrink = (fx & DDFXCAPS_BLTSHRINKY) != 0;
        c.v_int_shrink = (fx & DDFXCAPS_BLTSHRINKYN) != 0;
    }
    return c;
}

void SurveyCapabilities(Win32Display& s) {
    DDCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    s.overlay_classes = s.blit_classes = 0;
    if (SUCCEEDED(s.direct_draw->GetCaps(&caps, nullptr))) {
        s.overlay_classes = ScaleClassesFromCaps(CapsFrom(caps.dwFXCaps, true));
        s.blit_classes = ScaleClassesFromCaps(CapsFrom(caps.dwFXCaps, false));
    }
    DDPIXELFORMAT format;
    std::memset(&format, 0, sizeof format);
    format.dwSize = sizeof format;
    s.bytes_per_pixel = 0;
    if (SUCCEEDED(s.primary->GetPixelFormat(&format))) s.bytes_per_pixel = format.dwRGBBitCount / 8;
    ReadScreenFormat();
    s.overlay_key = s.display_bits == 8 ? 253 : LowestBit(format.dwBBitMask) + LowestBit(format.dwRBitMask);
}

int SetMode(IDirectDraw* dd, uint32_t width, uint32_t height, uint32_t bits) {
    if (FAILED(dd->SetDisplayMode(width, height, bits))) return -1;
    DDSURFACEDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (FAILED(dd->GetDisplayMode(&desc))) return -1;
    return int(desc.ddpfPixelFormat.dwRGBBitCount);
}

void Forget(Win32Display& s) {
    if (s.primary != nullptr) s.primary->Release();
    if (s.direct_draw != nullptr) s.direct_draw->Release();
    s.primary = nullptr;
    s.direct_draw = nullptr;
}

}  // namespace

bool AcquireDirectDraw(HWND window, bool exclusive) {
    Win32Display& s = Display();
    if (s.instance_count > 0) {
        ++s.instance_count;
        return true;
    }
    if (!LoadDirectDraw(s)) return false;
    if (FAILED(s.direct_draw_create(nullptr, &s.direct_draw, nullptr))) {
        s.direct_draw = nullptr;
        return false;
    }
    exclusive = exclusive && s.mode_width != 0 && s.mode_height != 0 && s.mode_depth != 0;
    const DWORD level = exclusive ? DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN : DDSCL_NORMAL;
    if (FAILED(s.direct_draw->SetCooperativeLevel(window, level))) {
        Forget(s);
        return false;
    }
    if (exclusive) {
        IDirectDraw* dd = s.direct_draw;
        WalkExclusiveModes(s.mode_width, s.mode_height, s.mode_depth,
                           [dd](uint32_t w, uint32_t h, uint32_t bits) { return SetMode(dd, w, h, bits); });
        s.mode_width = s.mode_height = s.mode_depth = 0;
    }
    DDSURFACEDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(s.direct_draw->CreateSurface(&desc, &s.primary, nullptr))) {
        s.primary = nullptr;
        Forget(s);
        return false;
    }
    SurveyCapabilities(s);
    ++s.instance_count;
    return true;
}

void ReleaseDirectDraw() {
    Win32Display& s = Display();
    if (s.instance_count <= 0) return;
    if (--s.instance_count == 0) {
        // Leaving exclusive mode gives the display its own mode back.
        if (s.direct_draw != nullptr) s.direct_draw->RestoreDisplayMode();
        Forget(s);
    }
}

int SurfaceCopyFormat(IDirectDrawSurface* surface) {
    DDPIXELFORMAT f;
    std::memset(&f, 0, sizeof f);
    f.dwSize = sizeof f;
    if (FAILED(surface->GetPixelFormat(&f))) return -1;
    PixelLayout layout{};
    if (f.dwFlags & DDPF_FOURCC) layout.fourcc = f.dwFourCC;
    layout.bits = f.dwRGBBitCount;
    layout.red_mask = f.dwRBitMask;
    layout.green_mask = f.dwGBitMask;
    layout.blue_mask = f.dwBBitMask;
    layout.alpha_mask = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
    return CopyFormatForLayout(layout);
}

bool LockSurface(IDirectDrawSurface* surface, DDSURFACEDESC* desc, bool* restored) {
    // A driver whose restore "succeeds" on a surface that still cannot be
    // locked must not hold the player forever.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::memset(desc, 0, sizeof *desc);
        desc->dwSize = sizeof *desc;
        const HRESULT r = surface->Lock(nullptr, desc, DDLOCK_WAIT, nullptr);
        if (SUCCEEDED(r) && desc->lpSurface != nullptr) return true;
        if (restored != nullptr) *restored = true;
        if (FAILED(surface->Restore())) return false;
    }
    return false;
}

}  // namespace zarn
