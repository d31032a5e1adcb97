// The display state shared by every Win32 target of the process (player's
// thread only): the display's format and size, the requested mode, the GDI
// mode change and its references, and the last error text.
#pragma once

#include <cstdint>

namespace zarn {

struct GdiState {
    uint32_t bytes_per_pixel;
    uint32_t display_bits;
    uint32_t screen_width;
    uint32_t screen_height;
    char last_error[256];
    uint32_t mode_width, mode_height, mode_depth;  // requested mode, 0 0 0 none
    bool mode_changed;
    int mode_refs;
};

GdiState& Gdi();
void SetDisplayError(const char* text);

}  // namespace zarn
