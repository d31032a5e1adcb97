#include "convert/convert_walk.h"

#include <cstring>

#include "convert/copy_flags.h"
#include "convert/group_block.h"

namespace zarn {

bool UsesSimd(uint32_t flags, bool simd_available) { return simd_available && !(flags & kCopyForcePlain); }

RoutineChoice ChooseRoutines(ConvertDescriptor& descriptor, uint32_t flags, bool simd_available) {
    const bool simd = UsesSimd(flags, simd_available);
    const bool grey = (flags & kCopyGreyScale) != 0;
    const uint32_t mode = ScalingModeOf(flags);
    const bool wide = WidthFactor(mode) == 2;
    const bool twice = mode == 1 || mode == 4;
    const GroupEntry* set = descriptor.groups + (simd ? 6 : 0);

    RoutineChoice c{};
    if (grey) {
        const GroupEntry& g = set[wide ? kGroupWideGrey : kGroupGrey];
        c.even = c.odd = g.routine;
        c.even_block = g.block;
        c.step = g.step;
    } else {
        const GroupEntry& e = set[wide ? kGroupWideColourEven : kGroupColourEven];
        const GroupEntry& o = set[wide ? kGroupWideColourOdd : kGroupColourOdd];
        c.even = e.routine;
        c.even_block = e.block;
        c.odd = o.routine;
        c.step = e.step > o.step ? e.step : o.step;
    }
    int pair = 0;
    switch (mode) {
    case 1: pair = kPairTallColour; break;
    case 3:
    case 5: pair = kPairWideColour; break;
    case 4: pair = kPairWideTallColour; break;
    default: pair = kPairColour; break;
    }
    if (grey) pair += 1;  // the grey pair follows its colour pair
    c.row = descriptor.pairs[pair].row;
    c.edge = descriptor.pairs[pair].edge;
    c.mode = mode;
    c.wide = wide ? 2 : 1;
    c.bytes = descriptor.bytes_per_pixel;
    c.twice = twice;
    c.pairs_only = set[kGroupColourEven].routine == set[kGroupColourOdd].routine;
    c.twice_word = twice ? &descriptor.tuning[RowTwiceTuningIndex(mode, grey, simd)] : nullptr;
    c.edge_word = &descriptor.tuning[EdgeTuningIndex(wide, grey, simd)];
    return c;
}

SourcePlanes SourcePlanesOf(const uint8_t* luma, const uint8_t* alpha, uint32_t luma_width,
                            uint32_t luma_height, uint32_t flags) {
    const size_t luma_size = static_cast<size_t>(luma_width) * luma_height;
    const uint8_t* first = luma + luma_size;
    const uint8_t* second = first + luma_size / 4;
    SourcePlanes s{};
    s.luma = luma;
    s.alpha = alpha;
    // The first chroma plane is V unless the flags say the order is swapped.
    s.v = (flags & kCopyChromaSwapped) ? second : first;
    s.u = (flags & kCopyChromaSwapped) ? first : second;
    s.luma_pitch = luma_width;
    s.chroma_pitch = luma_width / 2;
    if (ScalingModeOf(flags) == 6) {
        s.luma_pitch *= 2;
        s.chroma_pitch *= 2;
    }
    return s;
}

void RunGroups(const RoutineChoice& choice, const KernelRows& k, GroupRoutine group, uint32_t steps,
               const ScratchLines& scratch) {
    if (!choice.twice) {
        group(k, steps);
        return;
    }
    if (scratch.line0 == nullptr) {
        // Method (a): convert straight into each of the two destination rows.
        group(k, steps);
        KernelRows second = k;
        second.dest0 += k.twin;
        second.dest1 += k.twin;
        group(second, steps);
        return;
    }
    // Method (b): convert once into the scratch lines, copy each line twice.
    KernelRows s = k;
    s.dest0 = scratch.line0;
    s.dest1 = scratch.line1;
    group(s, steps);
    const size_t bytes = (static_cast<size_t>(steps) << choice.step) * choice.wide * choice.bytes;
    std::memcpy(k.dest0, scratch.line0, bytes);
    std::memcpy(k.dest0 + k.twin, scratch.line0, bytes);
    std::memcpy(k.dest1, scratch.line1, bytes);
    std::memcpy(k.dest1 + k.twin, scratch.line1, bytes);
}

PairStrides StridesOf(const SourcePlanes& planes, ptrdiff_t row_step) {
    return {2 * planes.luma_pitch, planes.chroma_pitch, 2 * row_step};
}

void AdvanceRowPair(KernelRows& rows, const SourcePlanes& planes, ptrdiff_t row_step) {
    AdvanceRows(rows, StridesOf(planes, row_step));
}

void ConvertPairRun(const RoutineChoice& choice, const PairPointers& p, uint32_t column, uint32_t count,
                    uint32_t left, const ScratchLines& scratch) {
    if (left > count) left = count;
    if (left != 0) choice.edge(RowsAt(p, choice, column), left, column);
    column += left;
    count -= left;
    const uint32_t steps = count >> choice.step;
    if (steps != 0) {
        const GroupRoutine group = (column & 1) ? choice.odd : choice.even;
        RunGroups(choice, RowsAt(p, choice, column), group, steps, scratch);
        column += steps << choice.step;
        count -= steps << choice.step;
    }
    if (count != 0) choice.edge(RowsAt(p, choice, column), count, column);
}

void ConvertSingleRow(const RoutineChoice& choice, const PairPointers& p, uint32_t column, uint32_t count) {
    if (count != 0) choice.row(RowsAt(p, choice, column), column, count);
}

}  // namespace zarn
