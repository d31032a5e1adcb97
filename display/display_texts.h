// The display output's error texts and the names of the blit styles, shared
// by every platform's targets.
#pragma once

namespace zarn {

inline constexpr char kDisplayNotAvailable[] = "DirectDraw is not available";
inline constexpr char kDisplay256Colours[] = "256 color mode not supported.";
inline constexpr char kDisplayNoDib[] = "Unable to create DIBSection.";
inline constexpr char kDisplayVideoMode[] = "Video mode not supported.";
inline constexpr char kDisplayNoStyle[] = "No capable blitting style available.";

}  // namespace zarn
