// The choice of a blit style for a new target: an explicit style is tried
// once, the automatic one walks primary, DIB section, then styles 3 to 10.
// No platform code: taking the shared instance, preparing GDI drawing and
// trying one style are the platform's operations.
#pragma once

#include <cstdint>
#include <functional>

#include "display/display_facts.h"
#include "display/display_target.h"

namespace zarn {

void SetDisplayError(const char* text);

struct StyleWalkOps {
    // PrepareGdiDisplay for the target's window (1 prepared, 0 refused).
    std::function<int(bool change_mode)> prepare_gdi;
    // Takes a reference on the shared instance; false when there is none.
    std::function<bool(bool change_mode)> acquire_instance;
    // Tries one DirectDraw style (1, 3-10).
    std::function<bool(uint32_t style)> try_style;
    // The DIB section in the display's depth (sets the copy format), and
    // freeing what a failed attempt left.
    std::function<bool()> create_dib;
    std::function<void()> free_dib;
};

// A cleared target record for a width x height picture from the engine's
// allocator, or null (0 sizes; too large or no memory, with the reason in the
// last error text). Clears the last error text first.
DisplayTarget* NewDisplayTarget(uint32_t width, uint32_t height);

// Sets the target's holds_instance / holds_display_mode marks as references
// are taken. Returns the accepted style (1-10), or 0 with the reason in the
// last error text (the caller then gives the references back).
// `facts` is the platform's display state, read as the walk changes it.
uint32_t WalkBlitStyles(DisplayTarget* t, uint32_t style, bool change_mode, const StyleWalkOps& ops,
                        const DisplayFacts& facts);

}  // namespace zarn
