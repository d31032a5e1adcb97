#include "display/display_mode_walk.h"

namespace zarn {

int DepthOrder(uint32_t depth_code, uint32_t depths[3]) {
    switch (depth_code) {
    case 1:
        depths[0] = 16;
        depths[1] = 32;
        depths[2] = 24;
        return 3;
    case 2:
        depths[0] = 32;
        depths[1] = 24;
        depths[2] = 16;
        return 3;
    case 3:
        depths[0] = 32;
        depths[1] = 24;
        return 2;
    case 8:
    case 16:
    case 24:
    case 32: depths[0] = depth_code; return 1;
    default: return 0;
    }
}

bool WalkDesktopModes(uint32_t width, uint32_t height, uint32_t depth_code, const TryModeFn& try_mode,
                      const RestoreModeFn& restore) {
    uint32_t depths[3];
    const int count = DepthOrder(depth_code, depths);
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        const int bits = try_mode(width, height, depths[i]);
        if (bits < 0) continue;
        changed = true;
        if (uint32_t(bits) == depths[i]) return true;
        restore();
    }
    if (try_mode(width, height, 0) >= 0) changed = true;
    return changed;
}

bool WalkExclusiveModes(uint32_t width, uint32_t height, uint32_t depth_code, const TryModeFn& try_mode) {
    uint32_t depths[3];
    const int count = DepthOrder(depth_code, depths);
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        const int bits = try_mode(width, height, depths[i]);
        if (bits < 0) continue;
        changed = true;
        if (uint32_t(bits) == depths[i]) break;
    }
    return changed;
}

}  // namespace zarn
