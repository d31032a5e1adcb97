// Output size classification: the picture size a /W or /H request gives
// along one axis, and the scaling class it needs.
#pragma once

#include <cstdint>

namespace zarn {

// Scaling-class base bits: horizontal and vertical arbitrary shrink. Integer
// stretch is base x 8, arbitrary stretch x 4, integer shrink x 2.
inline constexpr uint32_t kHorizontalClassBase = 0x10000000;
inline constexpr uint32_t kVerticalClassBase = 0x01000000;

// The size for request num/den along an axis with video size `video` and
// screen size `screen`; adds the class bit the size needs (if any) to
// *class_bits, from the axis' base bit.
uint32_t ClassifySize(int32_t num, int32_t den, uint32_t video, uint32_t screen, uint32_t base,
                      uint32_t* class_bits);

}  // namespace zarn
