#include "convert/convert_changed_blocks.h"

#include <bit>

#include "base/byte_order.h"
#include "convert/convert_frame.h"
#include "convert/convert_walk.h"
#include "convert/copy_flags.h"
#include "base/cpu_features.h"
#include "convert/time_stamp_counter.h"
#include "convert/tuning.h"

namespace zarn {

namespace {

constexpr uint32_t kBlock = 16;
// Runs of joined blocks up to this many pixels wide go down the rows in one
// block routine call; longer ones are a row pair at a time, whose lines the
// processor's prefetch follows.
constexpr uint32_t kLongestBlockRun = 4 * kBlock;

struct BlockWalk {
    const RoutineChoice* choice;
    const SourcePlanes* planes;
    uint8_t* dest;  // destination of source pixel (0, 0)
    ptrdiff_t row_step;
    ptrdiff_t twin;
    PairStrides strides;  // from one row pair to the next
    ScratchLines scratch;
};

// Converts columns [column, column + count) of one macroblock row as eight
// row pairs of whole groups (columns and counts are multiples of 16); `row`
// holds the pointers of the macroblock row's first row pair. A short run
// walks down the rows, which the processor's stride prefetch follows; a long
// run is a row pair at a time anyway. Without row doubling the kernel set
// walks a short run itself, in one call.
void ConvertBlockRun(const BlockWalk& w, const PairPointers& row, uint32_t column, uint32_t count) {
    KernelRows k = RowsAt(row, *w.choice, column);
    const uint32_t steps = count >> w.choice->step;
    if (!w.choice->twice && count <= kLongestBlockRun) {
        w.choice->even_block(k, steps, kBlock / 2, w.strides);
        return;
    }
    for (uint32_t pair = 0; pair < kBlock / 2; ++pair) {
        RunGroups(*w.choice, k, w.choice->even, steps, w.scratch);
        AdvanceRowPair(k, *w.planes, w.row_step);
    }
}

// Marked columns of one macroblock row; adjacent marked blocks join into
// one run, converted when a gap ends it.
struct PendingRun {
    const BlockWalk* walk;
    PairPointers row;
    uint32_t column = 0, count = 0;

    void Add(uint32_t at, uint32_t pixels) {
        if (count != 0 && column + count == at) {
            count += pixels;
            return;
        }
        Flush();
        column = at;
        count = pixels;
    }
    void Flush() {
        if (count != 0) ConvertBlockRun(*walk, row, column, count);
        count = 0;
    }
};

}  // namespace

void ConvertChangedBlocks(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, const uint8_t* block_marks,
                          uint32_t mb_cols, const uint8_t* luma, uint32_t width, uint32_t height,
                          uint32_t luma_width, uint32_t luma_height, const uint8_t* alpha, uint32_t flags,
                          ConvertDescriptor& descriptor) {
    const bool simd_available = InstalledKernelSet() != KernelSet::kPlain;
    const RoutineChoice choice = ChooseRoutines(descriptor, flags, simd_available);
    const uint32_t rows = choice.mode == 6 ? height / 2 : height;  // converted source rows
    const uint32_t block_rows = rows / kBlock;
    const uint32_t block_cols = width / kBlock;
    const SourcePlanes planes = SourcePlanesOf(luma, alpha, luma_width, luma_height, flags);

    BlockWalk w{};
    w.choice = &choice;
    w.planes = &planes;
    w.row_step = static_cast<ptrdiff_t>(pitch) * RowSpan(choice.mode);
    w.twin = pitch;
    w.strides = StridesOf(planes, w.row_step);
    w.dest = buffer + static_cast<ptrdiff_t>(y) * pitch + static_cast<size_t>(x) * choice.bytes;
    w.scratch = ScratchLines{nullptr, nullptr};
    if (choice.twice && block_rows != 0 && block_cols != 0) {
        // No timing here: the whole-frame copies measure; use their current choice.
        // Adjacent marked blocks join into one run, up to a whole macroblock
        // row: the lines must hold the longest run, not one pair of blocks.
        if (RowTwiceUsesScratch(LoadTuningWord(choice.twice_word), TimeStampCounterWorks()))
            w.scratch = ScratchLinesFor(block_cols * kBlock * choice.wide * choice.bytes);
    }

    for (uint32_t r = 0; r < block_rows; ++r) {
        const uint32_t first_row = r * kBlock;
        PendingRun list{&w, PairAt(planes, first_row, w.dest + static_cast<ptrdiff_t>(first_row) * w.row_step,
                                   w.row_step, w.twin, 0)};
        // In mode 6 a destination band covers two source macroblock rows.
        const uint8_t* marks0 = block_marks + static_cast<size_t>(choice.mode == 6 ? 2 * r : r) * mb_cols;
        const uint8_t* marks1 = choice.mode == 6 ? marks0 + mb_cols : marks0;
        // Eight marks at a time: most words of a sparse frame are all clear.
        uint32_t c = 0;
        for (; c + 8 <= block_cols; c += 8) {
            uint64_t word = LoadLe64(marks0 + c) | LoadLe64(marks1 + c);  // the first mark in the low byte
            while (word != 0) {
                const uint32_t at = static_cast<uint32_t>(std::countr_zero(word)) / 8;
                list.Add((c + at) * kBlock, kBlock);
                word &= ~(uint64_t{0xff} << (8 * at));
            }
        }
        for (; c < block_cols; ++c)
            if ((marks0[c] | marks1[c]) != 0) list.Add(c * kBlock, kBlock);
        list.Flush();
    }
    FenceStreamingStores();

    // Strips beyond the whole macroblocks go through the whole-frame driver,
    // which applies mode 6 itself: give it source rows before halving.
    const uint32_t row_factor = choice.mode == 6 ? 2 : 1;
    const uint32_t whole_rows = block_rows * kBlock;
    const uint32_t whole_cols = block_cols * kBlock;
    if (whole_cols < width && whole_rows != 0) {
        ConvertFrame(buffer, x + whole_cols * choice.wide, y, pitch, luma, whole_cols, 0, width - whole_cols,
                     whole_rows * row_factor, luma_width, luma_height, alpha, flags, descriptor);
    }
    if (whole_rows < rows) {
        ConvertFrame(buffer, x, y + whole_rows * RowSpan(choice.mode), pitch, luma, 0,
                     whole_rows * row_factor, width, height - whole_rows * row_factor, luma_width,
                     luma_height, alpha, flags, descriptor);
    }
}

}  // namespace zarn
