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

struct GroupEntry {
  uint32_t step;  // log2 of the pixels converted per step
  GroupRoutine routine;
};

struct RowEdgePair {
  RowRoutine row;
  EdgeRoutine edge;
};

constexpr int kDescriptorCount = 11;

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

// Routine tables provided by each kernel file.
void FillPlainGroups(GroupEntry (*out)[6]);
void FillPlainPairs(RowEdgePair (*out)[8]);
// SIMD group routines; return false when the build lacks the instruction set.
bool FillSse2Groups(GroupEntry (*out)[6]);
bool FillAvx2Groups(GroupEntry (*out)[6]);

}  // namespace zarn
