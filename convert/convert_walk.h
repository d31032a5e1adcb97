// Pieces shared by the whole-frame and changed-blocks drivers: choosing
// the routines of a copy, addressing the source planes and destination
// rows, and converting a run of one row pair.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/descriptors.h"
#include "convert/scratch_lines.h"

namespace zarn {

struct RoutineChoice {
    GroupRoutine even;
    GroupRoutine odd;
    BlockRoutine even_block;  // `even` over several row pairs
    uint32_t step;            // log2 of the group size in pixels
    RowRoutine row;
    EdgeRoutine edge;
    uint32_t mode;         // scaling mode
    uint32_t wide;         // destination pixels per source pixel (1 or 2)
    uint32_t bytes;        // bytes per destination pixel
    bool twice;            // modes 1 and 4: each source row fills two destination rows
    bool pairs_only;       // packed YUV: groups must start on an even column
    uint32_t* twice_word;  // tuning word of the row-twice method (twice only)
    uint32_t* edge_word;   // tuning word of the left-edge choice
};

RoutineChoice ChooseRoutines(ConvertDescriptor& descriptor, uint32_t flags, bool simd_available);

// Whether a copy with these flags runs the SIMD routines.
bool UsesSimd(uint32_t flags, bool simd_available);

// The source planes of a frame as one copy sees them: chroma order applied,
// and in mode 6 every other row (pitches doubled).
struct SourcePlanes {
    const uint8_t* luma;
    const uint8_t* v;
    const uint8_t* u;
    const uint8_t* alpha;
    ptrdiff_t luma_pitch;  // also the alpha pitch
    ptrdiff_t chroma_pitch;
};

SourcePlanes SourcePlanesOf(const uint8_t* luma, const uint8_t* alpha, uint32_t luma_width,
                            uint32_t luma_height, uint32_t flags);

// Pointers of one row pair (source row `row` and the next), source pointers
// at column 0; destination pointers at source column `origin`.
struct PairPointers {
    KernelRows rows;
    uint32_t origin;
};

// `dest_row0` is the destination of source row `row` at column `origin`;
// `row_step` the destination distance between consecutive source rows.
inline PairPointers PairAt(const SourcePlanes& planes, uint32_t row, uint8_t* dest_row0, ptrdiff_t row_step,
                           ptrdiff_t twin, uint32_t origin) {
    PairPointers p{};
    KernelRows& r = p.rows;
    r.luma0 = planes.luma + static_cast<ptrdiff_t>(row) * planes.luma_pitch;
    r.luma1 = r.luma0 + planes.luma_pitch;
    const ptrdiff_t chroma_offset = static_cast<ptrdiff_t>(row / 2) * planes.chroma_pitch;
    r.v = planes.v + chroma_offset;
    r.u = planes.u + chroma_offset;
    if (planes.alpha != nullptr) {
        r.alpha0 = planes.alpha + static_cast<ptrdiff_t>(row) * planes.luma_pitch;
        r.alpha1 = r.alpha0 + planes.luma_pitch;
    }
    r.dest0 = dest_row0;
    r.dest1 = dest_row0 + row_step;
    r.twin = twin;
    p.origin = origin;
    return p;
}

// Inline: built per row pair and read straight away, they stay in registers
// instead of passing through memory that the next loads must wait for.
inline KernelRows RowsAt(const PairPointers& p, const RoutineChoice& choice, uint32_t column) {
    const KernelRows& r = p.rows;
    KernelRows k = r;
    k.luma0 += column;
    k.luma1 += column;
    k.v += column / 2;
    k.u += column / 2;
    if (r.alpha0 != nullptr) {
        k.alpha0 += column;
        k.alpha1 += column;
    }
    const ptrdiff_t offset = static_cast<ptrdiff_t>(column - p.origin) * choice.wide * choice.bytes;
    k.dest0 += offset;
    k.dest1 += offset;
    return k;
}

// Converts `count` pixels from `column` of a row pair: `left` pixels through
// the edge routine, whole groups, then the rest through the edge routine.
// Twice modes write through the scratch lines when `scratch` has lines.
void ConvertPairRun(const RoutineChoice& choice, const PairPointers& p, uint32_t column, uint32_t count,
                    uint32_t left, const ScratchLines& scratch);

// Converts `steps` groups from the pointers of `rows` (twice modes: through
// the scratch lines when `scratch` has lines, else straight twice).
void RunGroups(const RoutineChoice& choice, const KernelRows& rows, GroupRoutine group, uint32_t steps,
               const ScratchLines& scratch);

// Distances of the kernel pointers from one row pair to the next.
PairStrides StridesOf(const SourcePlanes& planes, ptrdiff_t row_step);

// Moves kernel pointers down one row pair (two source rows, one chroma row).
void AdvanceRowPair(KernelRows& rows, const SourcePlanes& planes, ptrdiff_t row_step);

// Converts `count` pixels from `column` of a single row through the row routine.
void ConvertSingleRow(const RoutineChoice& choice, const PairPointers& p, uint32_t column, uint32_t count);

}  // namespace zarn
