// A message box of the player's own for texts too tall for the system's:
// the same text, set small enough to fit the screen, with an OK button.
#pragma once

#include <cstdint>

namespace zarn {

struct TextBoxGeometry {
    int width = 0, height = 0;  // the box's client area
    int point_size = 0;
    int lines = 0;
};

// Whether the system's box would show `text` taller than `screen_height`.
bool TextNeedsOwnBox(const char* text, int screen_height);

// Shows the box and returns when it is closed (OK, Enter, Space, Escape or
// the close box); false when it could not be made. `shown` receives its
// geometry.
bool ShowTextBox(const char* title, const char* text, int screen_width, int screen_height,
                 TextBoxGeometry* shown);

}  // namespace zarn
