// Shapes of the conversion kernels and the pointers they work on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

// The driver's pointers for one row pair. Chroma pointers address the
// chroma pair of the first pixel of the run; `v` is Cr and `u` is Cb.
// Alpha pointers are only read by the alpha layouts.
struct KernelRows {
    const uint8_t* luma0;
    const uint8_t* luma1;
    const uint8_t* v;
    const uint8_t* u;
    const uint8_t* alpha0;
    const uint8_t* alpha1;
    uint8_t* dest0;
    uint8_t* dest1;
    ptrdiff_t twin;  // height-doubled kinds also write each row at dest + twin
};

// Converts `steps` groups of pixels on both rows; the run starts at an even
// or odd source column according to the routine.
using GroupRoutine = void (*)(const KernelRows& rows, uint32_t steps);
// Converts `count` pixels of the upper row starting at source column `start_column`.
using RowRoutine = void (*)(const KernelRows& rows, uint32_t start_column, uint32_t count);
// Converts `count` pixels of both rows starting at source column `start_column`.
using EdgeRoutine = void (*)(const KernelRows& rows, uint32_t count, uint32_t start_column);

// Distances from one row pair to the next: two source rows, one chroma
// row, and the destination of two source rows.
struct PairStrides {
    ptrdiff_t luma;  // also the alpha distance
    ptrdiff_t chroma;
    ptrdiff_t dest;
};

// Converts `steps` groups on each of `pairs` consecutive row pairs; the
// changed-blocks copy converts a block's rows in one call.
using BlockRoutine = void (*)(const KernelRows& rows, uint32_t steps, uint32_t pairs,
                              const PairStrides& strides);

struct GroupEntry {
    uint32_t step;  // log2 of the pixels converted per step
    GroupRoutine routine;
    BlockRoutine block;  // the same routine over several row pairs
};

struct RowEdgePair {
    RowRoutine row;
    EdgeRoutine edge;
};

// The conversion descriptors, one per output layout. The 16-bit layouts
// share one descriptor whose field positions come from the format tables;
// the two alpha ones differ in the alpha field's width (4444 and 1555).
enum DescriptorSlot : int {
    kDescBgrx32 = 0,
    kDescRgbx32,
    kDescBgra32,
    kDescRgba32,
    kDescBgr24,
    kDescRgb24,
    kDescFields16,
    kDescFields16Alpha4,
    kDescFields16Alpha1,
    kDescYuy2,
    kDescUyvy,
    kDescriptorCount
};

// Whether a descriptor's layout carries the alpha plane.
constexpr bool DescriptorCarriesAlpha(int d) {
    return d == kDescBgra32 || d == kDescRgba32 || d == kDescFields16Alpha4 || d == kDescFields16Alpha1;
}

// Group slots within one set of six.
enum GroupSlot : int {
    kGroupColourEven = 0,
    kGroupColourOdd = 1,
    kGroupGrey = 2,
    kGroupWideColourEven = 3,
    kGroupWideColourOdd = 4,
    kGroupWideGrey = 5,
};

// Row/edge pair slots.
enum PairSlot : int {
    kPairColour = 0,
    kPairGrey = 1,
    kPairWideColour = 2,
    kPairWideGrey = 3,
    kPairTallColour = 4,
    kPairTallGrey = 5,
    kPairWideTallColour = 6,
    kPairWideTallGrey = 7,
};

// Orders the block routines' streaming stores before what follows; a copy
// that ran block routines calls it before it returns.
void FenceStreamingStores();

// Routine tables provided by each kernel file.
void FillPlainGroups(GroupEntry (*out)[6]);
void FillPlainPairs(RowEdgePair (*out)[8]);
// SIMD group routines; return false when the build lacks the instruction set.
bool FillSse2Groups(GroupEntry (*out)[6]);
bool FillAvx2Groups(GroupEntry (*out)[6]);
// Replaces block routines of AVX2 groups (filled first) with AVX-512 ones.
bool FillAvx512Blocks(GroupEntry (*out)[6]);

}  // namespace zarn
