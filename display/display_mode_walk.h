// The order in which display depths are tried for a requested mode, and the two
// ways of walking it. No platform code: the mode change itself is a callback.
#pragma once

#include <cstdint>
#include <functional>

namespace zarn {

// Depths tried for a depth code: 1 -> 16, 32, 24; 2 -> 32, 24, 16; 3 -> 32, 24;
// 8, 16, 24, 32 -> that depth; anything else -> none. Returns the count.
int DepthOrder(uint32_t depth_code, uint32_t depths[3]);

// Sets the mode width x height at `bits` (0: any depth); returns the display's
// resulting bits per pixel, or -1 when the change was refused.
using TryModeFn = std::function<int(uint32_t width, uint32_t height, uint32_t bits)>;
using RestoreModeFn = std::function<void()>;

// Desktop walk: a change at the wrong depth is undone before the next depth;
// after the last depth fails, one more change sets width and height only.
// Returns whether any change succeeded (the mode-changed flag).
bool WalkDesktopModes(uint32_t width, uint32_t height, uint32_t depth_code, const TryModeFn& try_mode,
                      const RestoreModeFn& restore);

// Exclusive walk: a refused change or a wrong resulting depth tries the next
// depth; the last candidate stands. Returns whether any change succeeded.
bool WalkExclusiveModes(uint32_t width, uint32_t height, uint32_t depth_code, const TryModeFn& try_mode);

}  // namespace zarn
