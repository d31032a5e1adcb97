// Writing residue blocks: pixel-domain corrections as bit planes over the
// coefficient quad-tree, cut after a chosen number of changes (events).
#pragma once

#include <cstdint>

#include "encoder/field_list.h"

namespace zarn {

struct ResidueResult {
    size_t bits = 0;      // bits written (the plane count included, the event limit not)
    unsigned events = 0;  // changes made before the cut (or all of them)
};

// Writes the residue of `target` (raster order, each -127..127) as the
// decoder reads it after the 7-bit event limit `event_limit` (0..127); the
// decoder stops after change number `event_limit`. `decoded` receives the
// values the decoder ends with. `out` may be null to count only.
ResidueResult WriteResidue(const int16_t target[64], unsigned event_limit, FieldList* out,
                           int16_t decoded[64]);

// Every change of an uncut residue in order: where, the value it leaves
// there, and the bits written up to and including it.
struct ResidueTrace {
    static constexpr unsigned kMaxEvents = 64 * 8;
    unsigned count = 0;
    uint8_t position[kMaxEvents];
    int16_t value[kMaxEvents];
    uint32_t bits_after[kMaxEvents];
};

// Traces the residue of `target` with no cut; returns its total bits.
size_t TraceResidue(const int16_t target[64], ResidueTrace& trace);

}  // namespace zarn
