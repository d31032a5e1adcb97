// The choice of a blit style for a new target: an explicit style is tried
// once, the automatic one walks primary, DIB section, then styles 3 to 10.
// No platform code: taking the shared instance, preparing GDI drawing and
// trying one style are the platform's operations.
#pragma once

#include <cstdint>
#include <functional>

#include "display/display_target.h"

namespace zarn {

void SetDisplayError(const char* text);

struct StyleWalkOps {
    // PrepareGdiDisplay for the target's window (1 prepared, 0 refused).
    std::function<int(bool change_mode)> prepare_gdi;
    // Takes a reference on the shared instance; false when there is none.
    std::function<bool(bool change_mode)> acquire_instance;
    // Tries one style; `prepared` tells (and is set when) GDI drawing was prepared.
    std::function<bool(uint32_t style, bool explicit_style, bool* prepared)> try_style;
    // The display's bits per pixel, for the final message.
    std::function<uint32_t()> display_bits;
};

// Sets the target's holds_instance / holds_display_mode marks as references
// are taken. Returns the accepted style (1-10), or 0 with the reason in the
// last error text (the caller then gives the references back).
uint32_t WalkBlitStyles(DisplayTarget* t, uint32_t style, bool change_mode, const StyleWalkOps& ops);

}  // namespace zarn
