// The last-error texts that opening a movie can leave.
#pragma once

namespace zarn {

inline constexpr const char* kErrorOpening = "Error opening file.";
inline constexpr const char* kErrorNotZarn = "Not a Zarn file.";
inline constexpr const char* kErrorNoFrames = "The file doesn't contain any compressed frames yet.";
inline constexpr const char* kErrorMemory = "Out of memory.";
inline constexpr const char* kErrorCorrupt = "Corrupt Zarn file.";

}  // namespace zarn
