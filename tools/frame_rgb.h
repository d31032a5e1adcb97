// The movie's current frame as 24-bit RGB, as the tools write it.
#pragma once

#include <cstdint>
#include <vector>

namespace zarn {

struct Movie;

// Converts the current frame buffer (whole frame, the movie's output size
// width x height) into `rgb`, rows of width * 3 bytes; `rgb` is resized.
void CurrentFrameRgb(const Movie& m, std::vector<uint8_t>& rgb);

}  // namespace zarn
