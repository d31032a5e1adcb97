#include "convert/scratch_lines.h"

#include "base/engine_memory.h"

namespace zarn {

namespace {

struct ScratchBlock {
    uint8_t* block = nullptr;
    uint32_t line_bytes = 0;
    ~ScratchBlock() { EngineFree(block); }
};

thread_local ScratchBlock t_scratch;

}  // namespace

ScratchLines ScratchLinesFor(uint32_t line_bytes) {
    uint8_t*& g_block = t_scratch.block;
    uint32_t& g_line_bytes = t_scratch.line_bytes;
    const uint64_t rounded = (static_cast<uint64_t>(line_bytes) + 31) & ~uint64_t{31};
    if (g_block == nullptr || rounded > g_line_bytes) {
        if (rounded * 2 >= 0xFFFFFFFFull) return {nullptr, nullptr};
        void* block = EngineAllocate(static_cast<uint32_t>(rounded * 2));
        if (block == nullptr) return {nullptr, nullptr};
        EngineFree(g_block);
        g_block = static_cast<uint8_t*>(block);
        g_line_bytes = static_cast<uint32_t>(rounded);
    }
    return {g_block, g_block + g_line_bytes};
}

}  // namespace zarn
