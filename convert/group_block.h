// A block routine made from a group routine: the same groups on several
// consecutive row pairs in one call. Included by each kernel file, so that
// the group routine inlines into a loop compiled for that file's set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/kernel_types.h"

namespace zarn {
// Internal linkage: each kernel file keeps its own copy, compiled for its set.
namespace {

[[gnu::always_inline]] inline void AdvanceRows(KernelRows& rows, const PairStrides& s) {
    rows.luma0 += s.luma;
    rows.luma1 += s.luma;
    rows.v += s.chroma;
    rows.u += s.chroma;
    if (rows.alpha0 != nullptr) {
        rows.alpha0 += s.luma;
        rows.alpha1 += s.luma;
    }
    rows.dest0 += s.dest;
    rows.dest1 += s.dest;
}

// Flattened: left as a call (GCC did not inline it), the group routine
// reloaded the row pointers from memory on every row pair, and the copy of
// scattered YUY2 blocks took a fifth longer.
template <GroupRoutine kGroup>
[[gnu::flatten]] void GroupBlock(const KernelRows& k, uint32_t steps, uint32_t pairs,
                                 const PairStrides& strides) {
    KernelRows rows = k;
    for (uint32_t p = 0; p < pairs; ++p) {
        kGroup(rows, steps);
        AdvanceRows(rows, strides);
    }
}

template <GroupRoutine kGroup>
constexpr GroupEntry EntryOf(uint32_t step) {
    return {step, kGroup, &GroupBlock<kGroup>};
}

}  // namespace
}  // namespace zarn
