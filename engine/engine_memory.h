// Engine memory: every block the engine (and the decoders it owns) uses.
//
// Blocks are 32-byte aligned. Grouped allocation puts many buffers into one
// block: callers reserve sub-blocks first, then allocate a main block that
// carries them behind it, staggered so that buffers used together do not
// share cache sets.
#pragma once

#include <cstdint>

namespace zarn {

// Returns a 32-byte aligned block of n bytes, or nullptr (also for n of 0 or
// 0xFFFFFFFF). The byte below the block holds its offset from the raw
// allocation (33..64), the byte below that the allocation kind (0).
void* EngineAllocate(uint32_t bytes);
void EngineFree(void* block);

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
