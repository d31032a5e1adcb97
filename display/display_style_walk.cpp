#include "display/display_style_walk.h"

#include "display/display_texts.h"

namespace zarn {

uint32_t WalkBlitStyles(DisplayTarget* t, uint32_t style, bool change_mode, const StyleWalkOps& ops) {
    bool prepared = false;
    uint32_t current = 0;
    if (style == kBlitDibSection) {
        if (ops.prepare_gdi(change_mode) != 0) {
            prepared = true;
            t->holds_display_mode = true;
        } else {
            t->holds_instance = ops.acquire_instance(change_mode);
        }
        current = kBlitDibSection;
    } else {
        t->holds_instance = ops.acquire_instance(change_mode);
        if (!t->holds_instance && style != kBlitAutomatic) {
            SetDisplayError(kDisplayNotAvailable);
            return 0;
        }
        if (!t->holds_instance) current = kBlitDibSection;
        else current = style == kBlitAutomatic ? kBlitPrimary : style;
    }

    const bool explicit_style = style != kBlitAutomatic;
    while (current >= 1 && current <= 10) {
        if (ops.try_style(current, explicit_style, &prepared)) return current;
        if (explicit_style) break;
        SetDisplayError("");
        current = current == kBlitPrimary ? kBlitDibSection : current + 1;
    }
    if (!explicit_style || DisplayLastError()[0] == '\0') {
        const uint32_t bits = ops.display_bits();
        SetDisplayError(bits >= 1 && bits <= 8 ? kDisplay256Colours : kDisplayNoStyle);
    }
    return 0;
}

}  // namespace zarn
