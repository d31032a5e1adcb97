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

// What a platform does for the walk.
struct TargetPlatformOps {
    // Takes a reference on the shared instance (sets holds_instance).
    bool (*acquire_instance)(DisplayTarget* t, bool change_mode);
    // Tries one DirectDraw style (1, 3-10).
    bool (*try_style)(DisplayTarget* t, uint32_t style, uint32_t needed);
    // The DIB section in the display's depth (sets the copy format), and
    // freeing what a failed attempt left.
    bool (*create_dib)(DisplayTarget* t);
    void (*free_dib)(DisplayTarget* t);
    // Fills sizes, flags and placement of the accepted target.
    void (*build)(DisplayTarget* t, uint32_t style, uint32_t needed);
    // Gives back what the target holds and frees the record.
    void (*discard)(DisplayTarget* t);
};

// Gives back the shared instance (through the platform's release) and the
// GDI display mode, where the target holds them.
void GiveBackTargetReferences(DisplayTarget* t, void (*release_instance)());

// OpenDisplayTarget over a platform: `facts` is the platform's display
// state, read as the walk changes it.
DisplayTarget* OpenTargetWith(NativeWindow window, uint32_t width, uint32_t height, uint32_t flags,
                              const TargetPlatformOps& ops, const DisplayFacts& facts);

}  // namespace zarn
