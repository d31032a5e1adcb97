#include "display/display_style_walk.h"

#include <cstring>

#include "base/engine_memory.h"
#include "display/display_geometry.h"
#include "display/display_texts.h"

namespace zarn {
namespace {

// Larger pictures than this would overflow the 32-bit sizes of the surfaces.
constexpr uint32_t kMaxSide = 16384;

// The DIB step. GDI drawing is prepared here unless it already was, and if
// there is no DirectDraw instance or no known display format.
bool TryDib(DisplayTarget* t, bool explicit_style, bool change_mode, bool* prepared,
            const TargetPlatformOps& ops, const DisplayFacts& facts) {
    if (!*prepared && (!t->holds_instance || facts.bytes_per_pixel == 0) &&
        PrepareGdiDisplay(t->native_window, change_mode) != 0) {
        *prepared = true;
        t->holds_display_mode = true;
    }
    const uint32_t bytes = facts.bytes_per_pixel;
    if (bytes >= 2 && ops.create_dib(t)) {
        t->style = kBlitDibSection;
        t->allowed_classes = kScaleAll;
        return true;
    }
    ops.free_dib(t);
    if (explicit_style) SetDisplayError(bytes == 1 ? kDisplay256Colours : kDisplayNoDib);
    return false;
}

DisplayTarget* NewDisplayTarget(NativeWindow window, uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return nullptr;
    SetDisplayError("");
    DisplayTarget* t = nullptr;
    if (width <= kMaxSide && height <= kMaxSide)
        t = static_cast<DisplayTarget*>(EngineAllocate(sizeof(DisplayTarget)));
    if (t == nullptr) {
        SetDisplayError(kDisplayNoStyle);
        return nullptr;
    }
    std::memset(t, 0, sizeof *t);
    t->source_width = width;
    t->source_height = height;
    t->picture_width = width;
    t->picture_height = height;
    t->native_window = window;
    t->window = static_cast<SDL_Window*>(window);
    return t;
}

// The accepted style (1-10), or 0 with the reason in the last error text.
uint32_t WalkBlitStyles(DisplayTarget* t, uint32_t style, uint32_t needed, bool change_mode,
                        const TargetPlatformOps& ops, const DisplayFacts& facts) {
    bool prepared = false;
    uint32_t current = 0;
    if (style == kBlitDibSection) {
        if (PrepareGdiDisplay(t->native_window, change_mode) != 0) {
            prepared = true;
            t->holds_display_mode = true;
        } else {
            t->holds_instance = ops.acquire_instance(t, change_mode);
        }
        current = kBlitDibSection;
    } else {
        t->holds_instance = ops.acquire_instance(t, change_mode);
        if (!t->holds_instance && style != kBlitAutomatic) {
            SetDisplayError(kDisplayNotAvailable);
            return 0;
        }
        if (!t->holds_instance)
            current = kBlitDibSection;
        else
            current = style == kBlitAutomatic ? kBlitPrimary : style;
    }

    const bool explicit_style = style != kBlitAutomatic;
    while (current >= 1 && current <= 10) {
        const bool accepted = current == kBlitDibSection
                                  ? TryDib(t, explicit_style, change_mode, &prepared, ops, facts)
                                  : t->holds_instance && ops.try_style(t, current, needed);
        if (accepted) return current;
        if (explicit_style) break;
        SetDisplayError("");
        current = current == kBlitPrimary ? kBlitDibSection : current + 1;
    }
    if (!explicit_style || DisplayLastError()[0] == '\0') {
        const uint32_t bits = facts.display_bits;
        SetDisplayError(bits >= 1 && bits <= 8 ? kDisplay256Colours : kDisplayNoStyle);
    }
    return 0;
}

}  // namespace

DisplayTarget* OpenTargetWith(NativeWindow window, uint32_t width, uint32_t height, uint32_t flags,
                              const TargetPlatformOps& ops, const DisplayFacts& facts) {
    DisplayTarget* t = NewDisplayTarget(window, width, height);
    if (t == nullptr) return nullptr;
    const uint32_t needed = flags & kTargetClassMask;
    const uint32_t chosen =
        WalkBlitStyles(t, flags & kTargetStyleMask, needed, (flags & kTargetChangeMode) != 0, ops, facts);
    if (chosen == 0) {
        ops.discard(t);
        return nullptr;
    }
    ops.build(t, chosen, needed);
    return t;
}

void GiveBackTargetReferences(DisplayTarget* t, void (*release_instance)()) {
    if (t->holds_instance) release_instance();
    if (t->holds_display_mode) ReleaseGdiDisplay();
    t->holds_instance = false;
    t->holds_display_mode = false;
}

}  // namespace zarn
