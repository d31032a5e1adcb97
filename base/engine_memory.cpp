#include "base/engine_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/physical_memory.h"

namespace zarn {
namespace {

std::atomic<uint64_t> g_in_use{0};
std::atomic<uint64_t> g_limit{0};  // 0: not yet set

uint64_t DefaultLimit() {
    const uint64_t physical = PhysicalMemoryBytes();
    return physical == 0 ? UINT64_MAX : physical / 2;
}

struct Reservation {
    void** place;
    uint32_t offset;  // from the end of the main block
};

// Reservations belong to the thread that is opening a movie; a movie is
// opened by one thread at a time, so this behaves as one list per process.
thread_local Reservation g_reservations[kMaxReservations];
thread_local int g_reservation_count = 0;
thread_local uint32_t g_reserved_total = 0;

}  // namespace

void SetEngineMemoryLimit(uint64_t bytes) { g_limit.store(bytes == 0 ? DefaultLimit() : bytes); }

uint64_t EngineMemoryLimit() {
    if (g_limit.load() == 0) SetEngineMemoryLimit(0);
    return g_limit.load();
}

uint64_t EngineMemoryInUse() { return g_in_use.load(); }

void* EngineAllocate(uint32_t bytes) {
    if (bytes == 0 || bytes == 0xFFFFFFFFu) return nullptr;
    const uint64_t limit = EngineMemoryLimit();
    if (g_in_use.fetch_add(bytes) + bytes > limit) {
        g_in_use.fetch_sub(bytes);
        return nullptr;
    }
    // calloc: large blocks arrive as fresh zero pages, not written here.
    auto* raw = static_cast<uint8_t*>(std::calloc(size_t{bytes} + 64, 1));
    if (!raw) {
        g_in_use.fetch_sub(bytes);
        return nullptr;
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(raw);
    const unsigned k = 64 - static_cast<unsigned>(address % 32);  // 33..64
    uint8_t* block = raw + k;
    block[-1] = static_cast<uint8_t>(k);
    block[-2] = 0;  // allocation kind
    std::memcpy(block - 8, &bytes, 4);
    return block;
}

void EngineFree(void* block) {
    if (!block) return;
    auto* p = static_cast<uint8_t*>(block);
    uint32_t bytes = 0;
    std::memcpy(&bytes, p - 8, 4);
    g_in_use.fetch_sub(bytes);
    std::free(p - p[-1]);
}

bool EngineReserve(void** place, uint32_t bytes) {
    if (g_reservation_count >= kMaxReservations) return false;
    const uint32_t p = (bytes + 15u) & ~15u;
    // Stagger each sub-block by whole 32-byte steps so that its position
    // modulo 1024 differs from the blocks reserved before it.
    const uint32_t stagger = 32u * (((g_reserved_total / 32u) - ((p / 32u) % 32u) + 1u) % 32u);
    const uint32_t reserved = p + stagger;
    g_reservations[g_reservation_count++] = {place, g_reserved_total};
    g_reserved_total += reserved;
    return true;
}

void EngineDropReservations() {
    g_reservation_count = 0;
    g_reserved_total = 0;
}

uint32_t EngineReservedTotal() { return g_reserved_total; }

void* EngineAllocateMain(uint32_t* memory_used, uint32_t bytes) {
    const uint32_t total = g_reserved_total;
    if (memory_used) *memory_used += bytes + total;
    const uint64_t main_size = (uint64_t{bytes} + 15u) & ~uint64_t{15};
    const uint64_t whole = main_size + total;
    auto* block =
        whole < 0xFFFFFFFFu ? static_cast<uint8_t*>(EngineAllocate(static_cast<uint32_t>(whole))) : nullptr;
    if (block) {
        for (int i = 0; i < g_reservation_count; ++i)
            *g_reservations[i].place = block + main_size + g_reservations[i].offset;
    }
    EngineDropReservations();
    return block;
}

}  // namespace zarn
