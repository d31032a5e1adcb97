// Packet loading: making a frame current and loading its packet.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

// Makes frame n current (0 counts as 1) and loads its packet from the
// whole-file block or through the reader.
void GotoFrame(Movie* movie, uint32_t n);

}  // namespace zarn
