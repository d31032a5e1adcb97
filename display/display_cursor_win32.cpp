// The software-cursor guard of the primary surface: a probe that tells
// whether the cursor is painted into screen memory (and so would be damaged
// by the frame copy), and hiding the cursor while the picture is written.
#include <cstring>

#include "display/display_geometry.h"
#include "display/display_state_win32.h"

namespace zarn {
namespace {

constexpr const char* kProbeClass = "MouseTypeWind";

// Result of the last probe and what it depended on.
struct ProbeCache {
    bool valid;
    HCURSOR cursor;
    void* memory;
    uint32_t bits;
    int result;
};
ProbeCache g_probe{};

int HideAll() {
    int hides = 0;
    while (ShowCursor(FALSE) >= 0) ++hides;
    return hides + 1;
}

void ShowUntilVisible() {
    while (ShowCursor(TRUE) < 0) {
    }
}

void* PrimaryMemory(IDirectDrawSurface* primary, int32_t* pitch) {
    DDSURFACEDESC desc;
    if (!LockSurface(primary, &desc, nullptr)) return nullptr;
    void* memory = desc.lpSurface;
    *pitch = desc.lPitch;
    primary->Unlock(desc.lpSurface);
    return memory;
}

int RunProbe(IDirectDrawSurface* primary, HWND window, POINT at, int32_t pitch) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
    wc.lpszClassName = kProbeClass;
    RegisterClassA(&wc);
    HWND probe = CreateWindowExA(WS_EX_TOPMOST, kProbeClass, "", WS_POPUP | WS_VISIBLE, at.x - 16, at.y - 16,
                                 32, 32, nullptr, nullptr, instance, nullptr);
    UpdateWindow(probe);
    HCURSOR previous = GetCursor();
    HDC screen = GetDC(nullptr);
    int hides = HideAll();
    const COLORREF before = GetPixel(screen, at.x, at.y);
    SetCursor(wc.hCursor);
    ShowUntilVisible();

    const uint32_t bytes = Display().bytes_per_pixel;
    DDSURFACEDESC desc;
    if (LockSurface(primary, &desc, nullptr)) {
        auto* p = static_cast<uint8_t*>(desc.lpSurface) + int64_t(at.y) * pitch + int64_t(at.x) * bytes;
        *p = before == 0 ? 0xFF : 0;
        primary->Unlock(desc.lpSurface);
    }
    hides += HideAll();
    const COLORREF after = GetPixel(screen, at.x, at.y);
    int result = 1;
    if (after != before) {
        SetPixel(screen, at.x, at.y, before);
        result = 0;
    }
    ReleaseDC(nullptr, screen);
    if (probe != nullptr) DestroyWindow(probe);
    UnregisterClassA(kProbeClass, instance);
    // Back to the display count the cursor had before.
    for (int i = 0; i < hides; ++i) ShowCursor(TRUE);
    SetCursor(previous);
    return result;
}

}  // namespace

int ProbeSoftwareCursor(IDirectDrawSurface* primary, HWND window) {
    if (GetSystemMetrics(SM_MOUSEPRESENT) == 0 || primary == nullptr) return 0;
    int32_t pitch = 0;
    void* memory = PrimaryMemory(primary, &pitch);
    if (memory == nullptr) return 0;
    HCURSOR cursor = GetCursor();
    const uint32_t bits = Display().display_bits;
    if (g_probe.valid && g_probe.cursor == cursor && g_probe.memory == memory && g_probe.bits == bits)
        return g_probe.result;
    POINT at{};
    GetCursorPos(&at);
    const Win32Display& s = Display();
    if (at.x < 0 || at.y < 0 || uint32_t(at.x) >= s.screen_width || uint32_t(at.y) >= s.screen_height)
        return 0;
    g_probe = ProbeCache{true, cursor, memory, bits, RunProbe(primary, window, at, pitch)};
    return g_probe.result;
}

int HideCursorOver(HWND, int32_t x, int32_t y, uint32_t width, uint32_t height) {
    POINT at{};
    if (!GetCursorPos(&at)) return 0;
    const Box cursor{at.x, at.y, at.x + GetSystemMetrics(SM_CXCURSOR), at.y + GetSystemMetrics(SM_CYCURSOR)};
    const Box picture{x, y, x + int32_t(width), y + int32_t(height)};
    if (!BoxesOverlap(cursor, picture)) return 0;
    return HideAll();
}

void ShowCursorTimes(int count) {
    for (int i = 0; i < count; ++i) ShowCursor(TRUE);
}

}  // namespace zarn
