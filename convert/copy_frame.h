// Entry point of the frame copy: converts the current decoded frame into a
// caller's buffer in the CopyFormat and scaling mode of the copy flags.
#pragma once

#include <cstdint>

namespace zarn {

struct FrameSource {
    const uint8_t* frame;        // luma luma_width x luma_height, then first and second chroma plane
    const uint8_t* alpha;        // alpha plane (luma size) or nullptr when the movie has none
    const uint8_t* block_marks;  // mb_count bytes, then a 0 byte
    uint32_t mb_cols, mb_count;
    uint32_t source_width, source_height, luma_width, luma_height;
};

// caller flags | (movie flags & 0x70030000)
uint32_t MergeCopyFlags(uint32_t copy_flags, uint32_t movie_flags);

// Rebases a negative pitch, prepares tables, picks whole-frame / changed-blocks / YV12 path.
void CopyFrame(const FrameSource& source, uint8_t* buffer, int32_t pitch, uint32_t buffer_height, uint32_t x,
               uint32_t y, uint32_t merged_flags);

// Which path a copy takes (for tests and statistics).
enum class CopyPath { kNone, kWholeFrame, kChangedBlocks, kPlanes };
CopyPath ChooseCopyPath(const FrameSource& source, uint32_t merged_flags);

}  // namespace zarn
