// One fuzz input played the way the player plays a file: opened through the
// engine, every frame through frame control, copied into a caller's buffer
// with its changed rectangles, then the statistics.
//
// Input: a file image followed by 4 option bytes (kMovieOptionBytes):
//   0: copy format (bits 0-3), plain kernels, whole frame, no rectangles, one rectangle
//   1: display option (bits 0-2), rate override, as fast as possible, grey, alpha, never skip
//   2: buffer layout (bits 0-1: exact, padded, bottom-up, padded bottom-up), open a file
//      rather than memory, misaligned image (with a file: a descriptor to a video
//      inside a larger file), sound cannot be switched on, track by ID, device full,
//      chroma swapped
//   3: position in a padded buffer (bits 0-5), clock step (bits 6-7); also the
//      statistics window, the read-ahead size and the track ID
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn::fuzz {

constexpr size_t kMovieOptionBytes = 4;

// Frames stepped per input: at most this many, and fewer for large pictures.
constexpr uint32_t kMaxFuzzFrames = 48;
constexpr uint64_t kFuzzPixelBudget = uint64_t{1} << 22;

// Plays the input. False when something the engine promises did not hold
// (rectangles outside the picture or too many, figures that cannot be).
bool PlayMovieInput(const uint8_t* data, size_t size);

}  // namespace zarn::fuzz
