// Display-mode changes through GDI (ChangeDisplaySettingsA), the display's
// format as GDI reports it, and the process-wide display state.
#include <cstring>

#include "display/display_mode_walk.h"
#include "display/display_state_win32.h"
#include "display/display_target.h"

namespace zarn {
namespace {

int TryMode(uint32_t width, uint32_t height, uint32_t bits) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (bits != 0) {
        mode.dmBitsPerPel = bits;
        mode.dmFields |= DM_BITSPERPEL;
    }
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return -1;
    return static_cast<int>(ScreenBits());
}

void RestoreMode() { ChangeDisplaySettingsA(nullptr, 0); }

}  // namespace

Win32Display& Display() {
    static Win32Display state{};
    return state;
}

void SetDisplayError(const char* text) {
    std::strncpy(Display().last_error, text, sizeof Display().last_error - 1);
}

const char* DisplayLastError() { return Display().last_error; }

uint32_t DisplayBytesPerPixel() { return Display().bytes_per_pixel; }

uint32_t ScreenBits() {
    HDC dc = GetDC(nullptr);
    const uint32_t bits = static_cast<uint32_t>(GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL));
    ReleaseDC(nullptr, dc);
    return bits;
}

void ReadScreenFormat() {
    Win32Display& s = Display();
    s.screen_width = static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN));
    s.screen_height = static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN));
    s.display_bits = ScreenBits();
}

void RequestDisplayMode(uint32_t width, uint32_t height, uint32_t depth_code) {
    Win32Display& s = Display();
    s.mode_width = width;
    s.mode_height = height;
    s.mode_depth = depth_code;
}

int PrepareGdiDisplay(NativeWindow, bool change_mode) {
    Win32Display& s = Display();
    if (s.instance_count > 0) return 0;
    if (change_mode && s.mode_width != 0 && s.mode_height != 0 && s.mode_depth != 0) {
        if (WalkDesktopModes(s.mode_width, s.mode_height, s.mode_depth, TryMode, RestoreMode))
            s.mode_changed = true;
        s.mode_width = s.mode_height = s.mode_depth = 0;
    }
    ReadScreenFormat();
    s.bytes_per_pixel = s.display_bits / 8;
    ++s.mode_refs;
    return 1;
}

void ReleaseGdiDisplay() {
    Win32Display& s = Display();
    if (s.mode_refs <= 0) return;
    if (s.mode_refs-- == 1 && s.mode_changed) {
        s.mode_changed = false;
        RestoreMode();
    }
}

}  // namespace zarn
