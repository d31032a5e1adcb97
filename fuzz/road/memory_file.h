// A file that lives in memory: fuzz inputs reach the code that opens files by
// name without touching the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zarn::fuzz {

// Replaces the content of this process's memory file (one per `slot`, 0..3)
// with `bytes` and returns a path that opens it; "" when no memory file can
// be made.
std::string WriteMemoryFile(int slot, const uint8_t* bytes, size_t size);

}  // namespace zarn::fuzz
