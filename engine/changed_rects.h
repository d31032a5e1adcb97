// GetRects: at most 8 rectangles covering the 16 x 16 blocks that changed
// in the current frame, so that only those are put on the screen.
#pragma once

#include <cstdint>

#include "convert/copy_flags.h"  // kCopyNoRects, kCopyOneRect

namespace zarn {

struct Movie;

// Fills movie.rects (in output pixels, sorted by y then x, scaled by the
// last copy's scaling mode and clipped to the output size) and returns
// their count, 0 to 8. Computed once per decoded frame.
int32_t GetRects(Movie& movie, uint32_t copy_flags);

}  // namespace zarn
