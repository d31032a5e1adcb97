// A file that lives in memory: fuzz inputs reach the code that opens files by
// name without touching the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn::fuzz {

constexpr int kMemoryFileSlots = 8;

// Replaces the content of this process's memory file (one per `slot`) with
// `bytes` and returns a path that opens it; "" when no memory file can be
// made.
std::string WriteMemoryFile(int slot, const uint8_t* bytes, size_t size);

// What the memory file of `slot` holds now (written through its path, say).
std::vector<uint8_t> ReadMemoryFile(int slot);

}  // namespace zarn::fuzz
