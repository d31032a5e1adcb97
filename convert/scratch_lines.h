// The scratch line pair of the row-twice method: one pair per thread (so
// movies copied in different threads never share it), grown on demand,
// never shrunk, freed when the thread ends.
#pragma once

#include <cstdint>

namespace zarn {

struct ScratchLines {
    uint8_t* line0;
    uint8_t* line1;
};

// Two lines of at least `line_bytes` each (rounded up to 32 bytes), or two
// null pointers when the memory cannot be had.
ScratchLines ScratchLinesFor(uint32_t line_bytes);

}  // namespace zarn
