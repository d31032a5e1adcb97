// Engine memory: every block the engine (and the decoders it owns) uses.
//
// Blocks are 32-byte aligned. Grouped allocation puts many buffers into one
// block: callers reserve sub-blocks first, then allocate a main block that
// carries them behind it, staggered so that buffers used together do not
// share cache sets.
#pragma once

#include <cstdint>

namespace zarn {

// Returns a 32-byte aligned block of n zero bytes, or nullptr (also for n of
// 0 or 0xFFFFFFFF, and when the block would take the engine past its memory
// limit). The byte below the block holds its offset from the raw allocation
// (33..64), the byte below that the allocation kind (0), the four bytes at
// block - 8 its size. Large blocks come zeroed from the system without being
// touched, so memory that is never used is never made resident.
void* EngineAllocate(uint32_t bytes);
void EngineFree(void* block);

// The most bytes all engine blocks together may hold: half the machine's
// physical memory by default (unlimited where that is unknown), so that a
// file claiming a huge picture fails its open with "Out of memory." instead
// of drawing the system's out-of-memory killer. 0 sets the default again.
void SetEngineMemoryLimit(uint64_t bytes);
uint64_t EngineMemoryLimit();
// Bytes held by engine blocks now.
uint64_t EngineMemoryInUse();

// Reserves a sub-block of `bytes` whose address will be stored in *place by
// the next EngineAllocateMain. At most kMaxReservations are held.
// Returns false when the list is full.
constexpr int kMaxReservations = 128;
bool EngineReserve(void** place, uint32_t bytes);

// Allocates one block holding a main block of `bytes` followed by every
// reserved sub-block, stores the sub-block addresses and empties the list.
// *memory_used grows by bytes + the reserved total whether or not the
// allocation succeeds. Returns the main block or nullptr.
void* EngineAllocateMain(uint32_t* memory_used, uint32_t bytes);

// Drops every pending reservation (used on failure paths).
void EngineDropReservations();

// Total of the reserved sizes so far (for tests and accounting).
uint32_t EngineReservedTotal();

}  // namespace zarn
