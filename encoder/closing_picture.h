// The closing screen's picture: a complete one-frame Zarn file (224 x 252,
// 10 frames per second, no sound), generated at build time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

alignas(4) extern const uint8_t kClosingPicture[];
extern const size_t kClosingPictureSize;

}  // namespace zarn
