// The movie's current frame as 24-bit RGB, as the tools write it.
#pragma once

#include <cstdint>
#include <vector>

#include "zarn/zarn.h"

namespace zarn {

// Converts the current frame (whole, at the movie's output size) into
// `rgb`, rows of output_width * 3 bytes; `rgb` is resized. False when the
// library refuses the copy.
bool CurrentFrameRgb(zarn_movie* movie, std::vector<uint8_t>& rgb);

}  // namespace zarn
