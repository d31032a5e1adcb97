// What every platform's display state knows of the display: the scaling
// classes of its surfaces, the overlay key, the format and size of the
// screen, the last error text and the requested display mode.
#pragma once

#include <cstdint>

namespace zarn {

struct DisplayFacts {
    uint32_t overlay_classes;
    uint32_t blit_classes;
    uint32_t overlay_key;
    uint32_t bytes_per_pixel;
    uint32_t display_bits;
    uint32_t screen_width;
    uint32_t screen_height;
    char last_error[256];
    uint32_t mode_width, mode_height, mode_depth;  // requested mode, 0 0 0 none
};

}  // namespace zarn
